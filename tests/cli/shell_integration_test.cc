// What corvane installs around itself: the manual page, generated from the
// help texts and kept in step with them, and the bash completion, which
// completes commands, options and scenario files from the built tool.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "run_corvane.h"

namespace {

using namespace corvane::cli_test;

const fs::path kSource = CORVANE_SOURCE_DIR;

Outcome Shell(const std::string& script) {
  const fs::path file = Scratch() / "shell-script.sh";
  std::ofstream(file) << script;
  const fs::path out = Scratch() / "shell-out", err = Scratch() / "shell-err";
  std::string command = "bash " + Quoted(file) + " >" + out.string() + " 2>" + err.string();
  int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
}

// What bash offers for the words typed so far; the last word is the one completed.
std::set<std::string> Completions(const std::string& words) {
  Outcome o = Shell("source " + Quoted(kSource / "tools/corvane/corvane.bash") + "\nCOMP_WORDS=(" +
                    std::string(CORVANE_CLI_PATH) + " " + words +
                    ")\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                    "[[ \"" +
                    words + "\" == *\" \" || -z \"" + words +
                    "\" ]] && { COMP_WORDS+=(\"\"); COMP_CWORD=$((COMP_CWORD + 1)); }\n"
                    "_corvane\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n");
  EXPECT_EQ(o.status, 0) << o.err;
  std::set<std::string> out;
  std::istringstream lines(o.out);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) out.insert(line);
  return out;
}

TEST(ManPageTest, TheInstalledPageIsTheOneTheHelpTextsMake) {
  const fs::path generated = Scratch() / "corvane.1";
  Outcome o = Shell("python3 " + Quoted(kSource / "scripts/generate-man.py") + " " +
                    std::string(CORVANE_CLI_PATH) + " " + Quoted(generated));
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string page = Slurp(generated);
  EXPECT_EQ(page, Slurp(kSource / "docs/corvane.1"))
      << "docs/corvane.1 is out of date; run scripts/generate-man.py build/corvane docs/corvane.1";
  for (const char* command : {"run", "classes", "register", "describe", "template", "version"})
    EXPECT_NE(page.find(std::string(".SS ") + command + "\n"), std::string::npos) << command;
  EXPECT_NE(page.find("\\-\\-junit FILE"), std::string::npos) << "run's options come from its help";
}

TEST(BashCompletionTest, CompletesCommandsOptionsAndScenarioFiles) {
  std::set<std::string> commands = Completions("");
  for (const char* c : {"run", "classes", "register", "unregister", "describe", "new", "template",
                        "version", "help", "--version"})
    EXPECT_TRUE(commands.count(c)) << c;
  EXPECT_EQ(Completions("de"), std::set<std::string>{"describe"});
  EXPECT_EQ(Completions("run --j"), (std::set<std::string>{"--json", "--junit"}));
  EXPECT_EQ(Completions("help te"), std::set<std::string>{"template"});
  EXPECT_EQ(Completions("template ch"), std::set<std::string>{"check"});

  const fs::path dir = Scratch() / "completion";
  fs::create_directories(dir);
  std::ofstream(dir / "approve.json") << "{}";
  std::ofstream(dir / "approve.txt") << "";
  EXPECT_EQ(Completions("run " + (dir / "appr").string()),
            std::set<std::string>{(dir / "approve.json").string()});
}

}  // namespace
