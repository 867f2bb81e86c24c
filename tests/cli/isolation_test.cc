// The `corvane` tool touches nothing it need not: every run stays inside its
// file-system sandbox (neither the scenario's own directories nor the folders a
// step makes can leave it through ".."), commands that need no registry write
// none, and no run leaves its temporary directories behind, also when it is
// interrupted or killed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "run_corvane.h"

namespace {

namespace fs = std::filesystem;
using corvane::cli_test::Json;
using corvane::cli_test::Outcome;

class ToolIsolationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_ = fs::temp_directory_path() / ("corvane-sandbox-test-" + std::to_string(::getpid()));
    fs::remove_all(scratch_);
    fs::create_directories(scratch_);
    // A name no run should ever create, next to the sandboxes in the temp directory.
    escape_name_ = "corvane-escaped-" + std::to_string(::getpid());
  }
  void TearDown() override {
    fs::remove_all(scratch_);
    fs::remove_all(fs::temp_directory_path() / escape_name_);
  }

  // Runs `corvane <args>` with `tmpdir` as its temporary directory.
  static Outcome Corvane(const std::string& args, const fs::path& tmpdir) {
    return corvane::cli_test::Corvane(args, "TMPDIR='" + tmpdir.string() + "' ");
  }

  Outcome Run(const Json& scenario) {
    const fs::path file = scratch_ / "scenario.json";
    std::ofstream(file) << scenario.dump();
    return corvane::cli_test::Corvane("run --json '" + file.string() + "'");
  }

  // An ExportToFolder step that makes `folder` and expects nothing in particular.
  Json ExportScenario(const std::string& folder, Json directories = Json::array()) {
    return {
        {"class", "ExportToFolder"},
        {"now", "2025-09-01T07:00:00"},
        {"filesystem", {{"directories", directories}}},
        {"dms", {{"documents", Json::array({{{"database", 4}, {"id", 81}}})}}},
        {"process",
         {{"id", 90},
          {"itemlist", {{"entitytype", "document"}, {"dbid", 4}, {"items", Json::array({81})}}}}},
        {"tasks", Json::array({{{"id", 1}, {"parameters", {{"FOLDER", folder}}}}})}};
  }

  bool Escaped() const { return fs::exists(fs::temp_directory_path() / escape_name_); }

  // The tool's directories in `tmp` ("corvane-registry-...", "corvane-files-...").
  static std::vector<std::string> ToolDirectories(const fs::path& tmp) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(tmp))
      if (entry.path().filename().string().starts_with("corvane-"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path scratch_;
  std::string escape_name_;
};

TEST_F(ToolIsolationTest, ScenarioDirectoriesOutsideTheSandboxStopTheScenario) {
  for (const std::string& name : {"../" + escape_name_, "/exports/../../" + escape_name_}) {
    Outcome o = Run(ExportScenario("/exports", Json::array({name})));
    EXPECT_EQ(o.status, 2) << name << "\n" << o.err;
    EXPECT_NE(o.err.find("filesystem.directories[0]"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("outside the run's file-system sandbox"), std::string::npos) << o.err;
    EXPECT_FALSE(Escaped()) << name;
  }
  Outcome nul = Run(ExportScenario("/exports", Json::array({std::string("/a\0b", 4)})));
  EXPECT_EQ(nul.status, 2) << nul.err;
  EXPECT_NE(nul.err.find("control characters or NUL"), std::string::npos) << nul.err;
}

TEST_F(ToolIsolationTest, AStepFolderOutsideTheSandboxFailsWithPermissionDenied) {
  for (const std::string& folder :
       {"/exports/../../" + escape_name_ + "/deep", "\\exports\\..\\..\\" + escape_name_}) {
    Outcome o = Run(ExportScenario(folder, Json::array({"/exports"})));
    ASSERT_NE(o.status, 2) << o.err;
    Json report = Json::parse(o.out);
    const Json& call = report["scenarios"][0]["calls"][0];
    ASSERT_TRUE(call["error"].is_object()) << call.dump(2);
    EXPECT_EQ(call["error"]["number"], 70);
    EXPECT_EQ(call["error"]["description"], "Permission denied");
    EXPECT_EQ(call["directories"], Json::array({"/exports"})) << "nothing new inside either";
    EXPECT_TRUE(call["exports"].empty());
    EXPECT_FALSE(Escaped()) << folder;
  }
}

TEST_F(ToolIsolationTest, CommandsThatNeedNoRegistryWriteNothing) {
  // A temporary directory that does not exist: any command that tried to write a
  // registry there would fail.
  const fs::path tmp = scratch_ / "no-such-tmp";
  const fs::path tpl = scratch_ / "hello.txt";
  std::ofstream(tpl) << "Please review the contract.";
  Outcome classes = Corvane("classes --json", tmp);
  ASSERT_EQ(classes.status, 0) << classes.err;
  Json list = Json::parse(classes.out)["classes"];
  ASSERT_EQ(list.size(), 32u);
  for (const Json& c : list) {
    EXPECT_TRUE(c["registered"].get<bool>()) << c.dump();
    EXPECT_EQ(c["iid"].get<std::string>().size(), 38u) << c.dump();
    EXPECT_EQ(c["threading"], "Apartment");
  }
  EXPECT_EQ(Corvane("describe MarkAsVital", tmp).status, 0);
  EXPECT_EQ(Corvane("template check '" + tpl.string() + "'", tmp).status, 0);
  EXPECT_EQ(Corvane("template render '" + tpl.string() + "' --var name=Ada", tmp).status, 0);
  EXPECT_FALSE(fs::exists(tmp));
}

TEST_F(ToolIsolationTest, AnInterruptedRunRemovesItsRegistryAndSandbox) {
  const fs::path tmp = scratch_ / "tmp";
  fs::create_directories(tmp);
  // The report of a document with many fields fills a pipe nobody reads, so the
  // run stays in the middle of its scenario until it is interrupted.
  Json scenario = ExportScenario("/exports");
  Json fields = Json::object();
  for (int i = 0; i < 3000; ++i) fields["Field " + std::to_string(i)] = std::string(40, 'x');
  scenario["dms"]["documents"][0]["fields"] = fields;
  const fs::path file = scratch_ / "big.json";
  std::ofstream(file) << scenario.dump();

  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t run = ::fork();
  ASSERT_GE(run, 0);
  if (run == 0) {
    ::dup2(report[1], STDOUT_FILENO);
    ::close(report[0]);
    ::setenv("TMPDIR", tmp.c_str(), 1);
    ::execl(CORVANE_CLI_PATH, "corvane", "run", "--json", file.c_str(), nullptr);
    ::_exit(127);
  }
  ::close(report[1]);
  // Both directories exist while the scenario runs.
  for (int tries = 0; tries < 3000 && ToolDirectories(tmp).size() < 2; ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(ToolDirectories(tmp).size(), 2u) << "the run never got into its scenario";
  ::kill(run, SIGINT);
  int status = 0;
  ::waitpid(run, &status, 0);
  ::close(report[0]);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_TRUE(ToolDirectories(tmp).empty()) << ::testing::PrintToString(ToolDirectories(tmp));
}

TEST_F(ToolIsolationTest, TheNextRunRemovesAndNamesWhatAKilledRunLeft) {
  const fs::path tmp = scratch_ / "tmp";
  fs::create_directories(tmp);
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const fs::path left = tmp / ("corvane-files-" + std::to_string(gone) + "-a1b2c3");
  fs::create_directories(left / "exports");
  // A directory of a process still running is that run's own.
  const std::string running = "corvane-registry-" + std::to_string(::getpid()) + "-a1b2c3";
  fs::create_directories(tmp / running);

  const fs::path file = scratch_ / "scenario.json";
  std::ofstream(file) << ExportScenario("/exports").dump();
  Outcome o = Corvane("run --json '" + file.string() + "'", tmp);
  EXPECT_NE(o.status, 2) << o.err;
  EXPECT_NE(
      o.err.find("corvane: removed " + left.string() +
                 ", left behind by a run that was killed (process " + std::to_string(gone) + ")"),
      std::string::npos)
      << o.err;
  EXPECT_EQ(ToolDirectories(tmp), std::vector<std::string>{running});
}

}  // namespace
