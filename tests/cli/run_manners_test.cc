// `corvane run` as a CI job and a terminal see it: the closing summary line,
// the JUnit XML file (and what happens when it cannot be written), and colour
// only where a person is reading.
#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <regex>
#include <string>
#include <tuple>

#include "run_corvane.h"

namespace {

using namespace corvane::cli_test;

const fs::path kExamples = fs::path(CORVANE_SOURCE_DIR) / "examples";

std::string Example(const std::string& name) { return Quoted(kExamples / name); }

// The end-workflow example with its last expectation changed from 1 to 3, so
// that exactly one expectation fails.
fs::path FailingScenario() {
  std::string text = Slurp(kExamples / "flow/end-workflow.json");
  const std::string from = R"({"result": 1, "dms_calls": []})";
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << "the example changed; pick another expectation";
  if (at != std::string::npos) text.replace(at, from.size(), R"({"result": 3, "dms_calls": []})");
  return WriteScenario("failing.json", text);
}

fs::path UnreadableScenario() {
  return WriteScenario("broken.json", R"({"class": "EndWorkflow",)");
}

TEST(RunSummaryTest, SeveralScenariosEndWithOneCountedLine) {
  Outcome run = Corvane("run " + Example("flow/end-workflow.json") + " " +
                        Example("records/mark-as-vital.json") + " " + Quoted(FailingScenario()));
  EXPECT_EQ(run.status, 1) << run.err;
  ASSERT_FALSE(run.out.empty());
  std::string last = run.out.substr(0, run.out.size() - 1);
  last = last.substr(last.rfind('\n') + 1);
  EXPECT_EQ(last, "scenarios: 2 passed, 1 failed");
  // A bare "N passed, M failed" line would be taken for a test count by CI parsers.
  EXPECT_FALSE(std::regex_search(run.out, std::regex(R"((^|\n)\d+ passed, \d+ failed\n)")));

  Outcome with_broken =
      Corvane("run " + Example("flow/end-workflow.json") + " " + Quoted(UnreadableScenario()));
  EXPECT_EQ(with_broken.status, 2);
  EXPECT_NE(with_broken.out.find("scenarios: 1 passed, 0 failed, 1 could not run\n"),
            std::string::npos)
      << with_broken.out;
}

TEST(RunSummaryTest, OneScenarioOrJsonHasNoSummaryLine) {
  Outcome one = Corvane("run " + Example("flow/end-workflow.json"));
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(one.out.find("scenarios:"), std::string::npos);
  Outcome json =
      Corvane("run --json " + Example("flow/end-workflow.json") + " " + Quoted(FailingScenario()));
  EXPECT_EQ(json.status, 1);
  EXPECT_NO_THROW(Json::parse(json.out)) << "the summary line must not spoil the JSON";
}

TEST(JunitTest, OneTestCasePerScenarioWithTheFailedExpectation) {
  const fs::path xml = Scratch() / "results.xml";
  fs::remove(xml);
  Outcome run = Corvane("run --junit " + Quoted(xml) + " " + Example("flow/end-workflow.json") +
                        " " + Quoted(FailingScenario()) + " " + Quoted(UnreadableScenario()));
  EXPECT_EQ(run.status, 2) << run.err;
  pugi::xml_document document;
  ASSERT_TRUE(document.load_file(xml.c_str())) << "no well-formed JUnit file at " << xml;
  pugi::xml_node suite = document.child("testsuites").child("testsuite");
  EXPECT_EQ(suite.attribute("tests").as_int(), 3);
  EXPECT_EQ(suite.attribute("failures").as_int(), 1);
  EXPECT_EQ(suite.attribute("errors").as_int(), 1);
  std::map<std::string, pugi::xml_node> cases;
  for (pugi::xml_node c : suite.children("testcase"))
    cases[fs::path(c.attribute("name").value()).filename().string()] = c;
  ASSERT_EQ(cases.size(), 3u);
  EXPECT_FALSE(cases["end-workflow.json"].child("failure"));
  EXPECT_FALSE(cases["end-workflow.json"].child("error"));
  const std::string failure = cases["failing.json"].child("failure").text().get();
  EXPECT_NE(failure.find("call 3 (EvaluateCompositeTask): result: expected 3, actual 1"),
            std::string::npos)
      << failure;
  EXPECT_TRUE(cases["broken.json"].child("error")) << "an unreadable scenario is an error";
  for (const auto& e : fs::directory_iterator(Scratch()))
    EXPECT_EQ(e.path().string().find(".tmp-"), std::string::npos) << e.path();
}

TEST(ReportFileTest, AnUnwritablePathStopsTheRunAndLeavesNoFile) {
  for (auto [option, kind, name] : {std::tuple{"--junit", "JUnit", "results.xml"},
                                    std::tuple{"--html", "HTML", "report.html"}}) {
    const fs::path file = Scratch() / "no-such-directory" / name;
    Outcome run = Corvane(std::string("run ") + option + " " + Quoted(file) + " " +
                          Example("flow/end-workflow.json"));
    EXPECT_EQ(run.status, 2) << option;
    EXPECT_NE(run.err.find(std::string("cannot write the ") + kind + " file " + file.string()),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "") << "nothing runs when its results cannot be kept";
    EXPECT_FALSE(fs::exists(file.parent_path()));
  }

  Outcome no_value = Corvane("run " + Example("flow/end-workflow.json") + " --junit");
  EXPECT_EQ(no_value.status, 2);
  EXPECT_NE(no_value.err.find("--junit needs a value"), std::string::npos) << no_value.err;
}

// Runs corvane on a pseudo-terminal, as a person at a shell does.
// `args` must need no quoting: it goes inside script's own quoted command.
Outcome OnTerminal(const std::string& environment, const std::string& args) {
  const fs::path out = Scratch() / "terminal-out", err = Scratch() / "terminal-err";
  const std::string inner = environment + " " + std::string(CORVANE_CLI_PATH) + " " + args;
  const std::string command = "script -qec '" + inner + "' /dev/null >" + out.string() + " 2>" +
                              err.string() + " </dev/null";
  int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
}

TEST(ColourTest, OnlyOnATerminalAndNotWithNoColor) {
  const std::string args =
      "run " + (kExamples / "flow/end-workflow.json").string() + " " + FailingScenario().string();
  Outcome piped = Corvane(args);
  EXPECT_EQ(piped.out.find('\033'), std::string::npos);

  Outcome terminal = OnTerminal("env -u NO_COLOR", args);
  EXPECT_EQ(terminal.status, 1) << terminal.err;
  EXPECT_NE(terminal.out.find("\033[32mPASS "), std::string::npos) << terminal.out;
  EXPECT_NE(terminal.out.find("\033[1;31mFAIL "), std::string::npos) << terminal.out;

  Outcome no_color = OnTerminal("NO_COLOR=1", args);
  EXPECT_EQ(no_color.status, 1);
  EXPECT_NE(no_color.out.find("PASS "), std::string::npos) << no_color.out;
  EXPECT_EQ(no_color.out.find('\033'), std::string::npos);
}

}  // namespace
