// What a designer sees of a step's decision (the counts and the row of an
// approval evaluation, a wait's due time) and the scenario keys for the
// situations real hosts create: files already in the sandbox, a task outside
// the step's collection on a strict host, another item-list name, a Null keyed
// field, and which calls a fault may make answer Nothing.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "run_corvane.h"

namespace {

using namespace corvane::cli_test;

// Three approvers, two approvals needed; the first approved, the second
// rejected, the third has not answered.
Json ApprovalScenario() {
  auto task = [](int id, int status, bool approved) {
    return Json{
        {"id", id},
        {"status", status},
        {"variables", {{"APPROVED", approved}, {"DETAILS", nullptr}, {"APPROVALDATE", nullptr}}}};
  };
  return {{"class", "DocApproval"},
          {"now", "2025-11-05T08:30:00"},
          {"process", {{"id", 12}}},
          {"step", {{"requestcount", 3}, {"minresponses", 0}, {"minapprovals", 2}}},
          {"tasks", {task(1, 134217729, true), task(2, 134217729, false), task(3, 0, false)}},
          {"calls", {{{"method", "EvaluateCompositeTask"}, {"task", 1}}}}};
}

Json RunJson(const std::string& name, const Json& scenario, int expected_status = 0) {
  Outcome run = Corvane("run --json " + Quoted(WriteScenario(name, scenario.dump())));
  EXPECT_EQ(run.status, expected_status) << run.err << run.out;
  Json report;
  try {
    report = Json::parse(run.out)["scenarios"][0];
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what() << ": " << run.out;
  }
  return report;
}

TEST(DecisionReportTest, ApprovalEvaluationStatesItsCountsAndTheRowThatDecided) {
  const fs::path file = WriteScenario("approval-open.json", ApprovalScenario().dump());
  Outcome text = Corvane("run " + Quoted(file));
  EXPECT_EQ(text.status, 0) << text.err;
  for (const char* line : {
           "   Returned 3\n   Decision: stays open (returns 3)\n",
           "      row 4 of DocApproval's decision table: T = 0 and M > 0 and A < M and M - A <= N "
           "- C\n",
           "      requests (N) = 3\n      answers (C) = 2\n      approvals (A) = 1\n"
           "      rejections = 1\n      outstanding = 1\n      min responses (T) = 0\n"
           "      min approvals (M) = 2\n",
       })
    EXPECT_NE(text.out.find(line), std::string::npos) << line << "\n" << text.out;

  const Json decision = RunJson("approval-open.json", ApprovalScenario())["calls"][0]["decision"];
  EXPECT_EQ(decision["class"], "DocApproval");
  EXPECT_EQ(decision["method"], "EvaluateCompositeTask");
  EXPECT_EQ(decision["row"], 4);
  EXPECT_EQ(decision["condition"], "T = 0 and M > 0 and A < M and M - A <= N - C");
  EXPECT_EQ(decision["outcome"], "stays open");
  EXPECT_EQ(decision["result"], 3);
  ASSERT_EQ(decision["figures"].size(), 7u) << decision;
  EXPECT_EQ(decision["figures"][2]["name"], "approvals");
  EXPECT_EQ(decision["figures"][2]["symbol"], "A");
  EXPECT_EQ(decision["figures"][2]["value"]["value"], 1);
}

TEST(DecisionReportTest, ADecisionExpectationHoldsOrNamesWhatDiffers) {
  Json scenario = ApprovalScenario();
  scenario["calls"][0]["expect"] = {
      {"decision", {{"row", 4}, {"outcome", "stays open"}, {"figures", {{"outstanding", 1}}}}}};
  EXPECT_TRUE(RunJson("decision-holds.json", scenario)["passed"].get<bool>());

  scenario["calls"][0]["expect"] = {
      {"decision", {{"row", 3}, {"figures", {{"approvals", 2}, {"quorum", 1}}}}}};
  const Json failures =
      RunJson("decision-differs.json", scenario, 1)["calls"][0]["expectations"]["failures"];
  ASSERT_EQ(failures.size(), 3u) << failures;
  EXPECT_EQ(failures[0]["what"], "decision.row");
  EXPECT_EQ(failures[0]["actual"], 4);
  EXPECT_EQ(failures[1]["what"], "decision.figures.approvals");
  EXPECT_EQ(failures[2]["what"], "decision.figures.quorum");
}

TEST(DecisionReportTest, CallsThatDecideNothingExplainNothing) {
  Json scenario = ApprovalScenario();
  scenario["step"]["parameters"] = {{"AUDIT_ACTIVITY", false}};
  scenario["tasks"][0]["parameters"] = {
      {"DETAIL_FORMAT", ""}, {"COMMENTSASNOTES", false}, {"AUDIT_ACTIVITY", false}};
  scenario["calls"] = {
      {{"method", "Initialize"}},
      {{"method", "Execute"}, {"task", 1}, {"expect", {{"decision", Json::object()}}}}};
  const Json report = RunJson("no-decision.json", scenario, 1);
  EXPECT_TRUE(report["calls"][0]["error"].is_null()) << report["calls"][0]["error"];
  EXPECT_TRUE(report["calls"][0]["decision"].is_null());
  EXPECT_EQ(report["calls"][1]["result"], 1);
  EXPECT_EQ(report["calls"][1]["expectations"]["failures"][0]["actual"],
            "(the call explained no decision)");
}

TEST(DecisionReportTest, WaitStatesItsDueTimeInText) {
  const Json scenario = {
      {"class", "Wait"},
      {"now", "2025-05-06T10:15:00"},
      {"process", {{"id", 12}}},
      {"tasks",
       {{{"id", 5},
         {"date", "2025-05-05"},
         {"parameters",
          {{"STARTING_FROM", nullptr}, {"INTERVAL", 3}, {"INTERVAL_TYPE", "days"}, {"OFFSET", 2}}},
         {"variables", {{"JOBID", nullptr}}}}}}};
  Outcome text = Corvane("run " + Quoted(WriteScenario("wait.json", scenario.dump())));
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("   Decision: waits: a job is scheduled for the due time (returns 2)\n"
                          "      start = 2025-05-05T00:00:00\n"
                          "      start from = the task's day\n"
                          "      interval = 3\n"
                          "      unit code = 4\n"
                          "      unit = d\n"
                          "      offset hours = 2\n"
                          "      due time = 2025-05-08T02:00:00\n"
                          "      now = 2025-05-06T10:15:00\n"
                          "      job = 1002\n"),
            std::string::npos)
      << text.out;
}

TEST(ScenarioFormatTest, FilesExistBeforehandAndAreListed) {
  const Json scenario = {
      {"class", "Wait"},
      {"host", {{"services", {{"DmsService", false}}}}},
      {"tasks", {{{"id", 5}}}},
      {"filesystem",
       {{"directories", {"/exports"}},
        {"files", {"/exports/2025/old.pdf", {{"path", "/readme.txt"}, {"content", "kept"}}}}}},
      {"expect", {{"files", {"/exports/2025/old.pdf", "/readme.txt"}}}}};
  const Json call = RunJson("files.json", scenario)["calls"][0];
  EXPECT_EQ(call["files"], Json({"/exports/2025/old.pdf", "/readme.txt"}));
  EXPECT_EQ(call["directories"], Json({"/exports", "/exports/2025"}));
  EXPECT_TRUE(call["expectations"]["failures"].empty()) << call["expectations"];

  Outcome text = Corvane("run " + Quoted(WriteScenario("files.json", scenario.dump())));
  EXPECT_NE(text.out.find("   Files in the sandbox:\n     1. /exports/2025/old.pdf\n"
                          "     2. /readme.txt\n"),
            std::string::npos)
      << text.out;
}

// A review whose evaluated task was handed in from outside the step, on the
// default host (the lenient one is an example's).
TEST(ScenarioFormatTest, AStrictHostRefusesTheWriteOfAVariableTheTaskLacks) {
  const Json scenario = {
      {"class", "Review"},
      {"process", {{"id", 12}}},
      {"step", {{"parameters", {{"AUDIT_ACTIVITY", false}}}}},
      {"tasks",
       {{{"id", 5}, {"in_step", false}},
        {{"id", 6}, {"status", 134217729}, {"variables", {{"DETAILS", "seen; "}}}}}},
      {"calls", {{{"method", "EvaluateCompositeTask"}, {"task", 5}}}}};
  const Json strict = RunJson("handed-in-strict.json", scenario);
  EXPECT_EQ(strict["calls"][0]["error"]["number"], 5);
  EXPECT_EQ(strict["warnings"][0]["kind"], "undeclared_variable");
}

TEST(ScenarioFormatTest, TheItemListVariableMayHaveAnotherName) {
  // The detail template repeats once per item of the variable its loop object names.
  auto scenario = [](const char* name) {
    Json s = {{"class", "Review"},
              {"process",
               {{"id", 12},
                {"itemlist", {{"entitytype", "document"}, {"dbid", 7}, {"items", {17, 18}}}}}},
              {"tasks",
               {{{"id", 5},
                 {"resource", {{"name", "Rita"}}},
                 {"parameters",
                  {{"DETAIL_FORMAT", "{{N:docs\"[\\0]\",RESOURCENAME}}"},
                   {"COMMENTSASNOTES", false},
                   {"AUDIT_ACTIVITY", false}}},
                 {"variables", {{"DETAILS", nullptr}, {"REVIEWDATE", nullptr}}}}}}};
    if (name) s["process"]["itemlist_name"] = name;
    return s;
  };
  EXPECT_EQ(RunJson("itemlist-docs.json",
                    scenario("docs"))["calls"][0]["task_variables"]["DETAILS"]["value"],
            "[Rita][Rita]");
  // Under the default name the process has no variable "docs".
  const Json call = RunJson("itemlist-default.json", scenario(nullptr))["calls"][0];
  EXPECT_EQ(call["error"]["number"], 5) << call["error"];
}

TEST(ScenarioFormatTest, AKeyedFieldMayBeNull) {
  const Json scenario = {
      {"class", "MarkAsVital"},
      {"tasks", {{{"id", 5}}}},
      {"dms",
       {{"recordseries",
         {{{"database", 4},
           {"id", 500},
           {"typecode", 9},
           {"fields",
            {{"Status", {{"datatype", "keyed"}, {"key", nullptr}, {"text", "none"}}}}}}}}}}};
  const Json status =
      RunJson("keyed-null.json", scenario)["calls"][0]["items"][0]["fields"]["Status"];
  EXPECT_EQ(status["type"], "Null") << status;
  EXPECT_EQ(status["datatype"], 24);
  EXPECT_EQ(status["key"], 0);
  EXPECT_EQ(status["display"], "none");
}

// Every operation the contract declares can be named in a fault (the reader's
// list knows them all); those with an object answer can be made to answer
// Nothing, and no other can.
TEST(ScenarioFormatTest, OnlyCallsThatAnswerAnObjectCanAnswerNothing) {
  const std::regex interface_start(R"(^struct (I[A-Za-z]+) : \w+ \{)");
  const std::regex method(R"(virtual ([^(]*?)\b([A-Z][A-Za-z]*)\()");
  Json objects = Json::array();
  std::string others;
  for (const char* header : {"include/pelmark/host.h", "include/pelmark/dms.h"}) {
    std::istringstream lines(Slurp(fs::path(CORVANE_SOURCE_DIR) / header));
    std::string line, interface;
    for (std::smatch m; std::getline(lines, line);) {
      if (std::regex_search(line, m, interface_start)) interface = m[1];
      if (line.starts_with("};")) interface.clear();
      if (interface.empty() || !std::regex_search(line, m, method)) continue;
      const Json fault = {
          {"op", interface + "." + m[2].str()}, {"answer_nothing", true}, {"times", 0}};
      if (m[1].str().starts_with("ComPtr<")) {
        objects.push_back(fault);
        continue;
      }
      const Json scenario = {
          {"class", "MarkAsVital"}, {"tasks", {{{"id", 5}}}}, {"faults", {fault}}};
      others += " " + Quoted(WriteScenario("nothing-" + interface + "." + m[2].str() + ".json",
                                           scenario.dump()));
    }
  }
  ASSERT_GT(objects.size(), 20u);
  const Json accepted = {{"class", "MarkAsVital"}, {"tasks", {{{"id", 5}}}}, {"faults", objects}};
  Outcome run = Corvane("run " + Quoted(WriteScenario("nothing-objects.json", accepted.dump())));
  EXPECT_NE(run.status, 2) << run.err;

  Outcome refused = Corvane("run --json" + others);
  EXPECT_EQ(refused.status, 2);
  const Json reports = Json::parse(refused.out)["scenarios"];
  ASSERT_GT(reports.size(), 80u);
  for (const Json& report : reports) {
    SCOPED_TRACE(report["scenario"].get<std::string>());
    ASSERT_TRUE(report.contains("error"));
    EXPECT_EQ(report["error"]["place"], "faults[0].answer_nothing");
  }
}

}  // namespace
