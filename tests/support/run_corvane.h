// Runs the built `corvane` binary as a user would, in a scratch directory of
// the test process, and captures its exit status and output.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

namespace corvane::cli_test {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

struct Outcome {
  int status = -1;
  std::string out, err;
};

inline std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A scratch directory of this test process, removed when the process ends.
inline fs::path Scratch() {
  static const struct Dir {
    fs::path path = fs::temp_directory_path() / ("corvane-cli-test-" + std::to_string(::getpid()));
    Dir() { fs::create_directories(path); }
    ~Dir() { fs::remove_all(path); }
  } dir;
  return dir.path;
}

// `shell_prefix` runs first in the same shell, for example "ulimit -v 200000;".
inline Outcome Corvane(const std::string& args, const std::string& shell_prefix = "") {
  const fs::path out = Scratch() / "stdout", err = Scratch() / "stderr";
  std::string command = shell_prefix + std::string(CORVANE_CLI_PATH) + " " + args + " >" +
                        out.string() + " 2>" + err.string() + " </dev/null";
  int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), Slurp(out), Slurp(err)};
}

inline std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }

inline fs::path WriteScenario(const std::string& name, const std::string& text) {
  fs::path p = Scratch() / name;
  std::ofstream(p) << text;
  return p;
}

}  // namespace corvane::cli_test
