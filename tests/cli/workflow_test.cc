// Workflow scenarios: a file that cannot happen as written is refused at its
// place, and a step that raises stops the instance where the report says.
// The examples in examples/workflows run with every other example.
#include <gtest/gtest.h>

#include <functional>

#include "run_corvane.h"

namespace {

using namespace corvane::cli_test;

Json ApprovedExample() {
  return Json::parse(
      Slurp(fs::path(CORVANE_SOURCE_DIR) / "examples/workflows/contract-approved.json"));
}

Json& StepNamed(Json& w, const std::string& name) {
  for (Json& step : w["workflow"]["steps"])
    if (step["name"] == name) return step;
  throw std::runtime_error("no step " + name);
}

TEST(WorkflowFileTest, WhatCannotHappenIsRefusedAtItsPlace) {
  const struct {
    const char* name;
    std::function<void(Json&)> change;
    const char* place;
    const char* message;
  } rows[] = {
      {"answer-to-no-task", [](Json& w) { w["events"][0]["answer"]["task"] = 9; },
       "events[0].answer.task",
       "no task has the id 9; the workflow's tasks are 1, 2, 3, 10, 20, 30"},
      {"answer-to-a-step-nobody-answers", [](Json& w) { w["events"][0]["answer"]["task"] = 10; },
       "events[0].answer.task",
       "belongs to step \"tell-initiator\" (Notify), which nobody answers"},
      {"clock-backwards", [](Json& w) { w["events"][1]["at"] = "2025-11-03T08:00:00"; },
       "events[1].at", "the clock would move backwards, from 2025-11-03T11:20:00"},
      {"branch-to-no-step", [](Json& w) { StepNamed(w, "approval")["next"]["rejected"] = "ende"; },
       "workflow.steps[0].next.rejected", "no step is called \"ende\" (did you mean \"end\"?)"},
      {"cycle", [](Json& w) { StepNamed(w, "set-status")["next"] = "tell-initiator"; },
       "workflow.steps[1].next", "(tell-initiator -> set-status -> tell-initiator)"},
      {"answer-after-the-decision",
       [](Json& w) {
         w["events"].push_back({{"after", {{"hours", 1}}}, {"answer", {{"task", 3}}}});
       },
       "events[2]", "the instance ended at 2025-11-04T14:30:00 (step \"end\" ended the workflow)"},
      {"answer-before-its-step-runs",
       [](Json& w) {
         StepNamed(w, "approval")["next"] = {{"approved", "review"}, {"rejected", "end"}};
         Json review = StepNamed(w, "approval");
         review["name"] = "review";
         review["next"] = {{"approved", "tell-initiator"}, {"rejected", "end"}};
         for (Json& task : review["tasks"]) task["id"] = task["id"].get<int>() + 100;
         w["workflow"]["steps"].push_back(review);
         w["events"][0]["answer"]["task"] = 101;
       },
       "events[0].answer.task",
       "task 101 belongs to step \"review\", which is not running at 2025-11-03T11:20:00 (step "
       "\"approval\" is)"},
      {"single-step-key", [](Json& w) { w["class"] = "DocApproval"; }, "class",
       "a workflow's steps hold their own class"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Json w = ApprovedExample();
    row.change(w);
    const fs::path file = WriteScenario(std::string(row.name) + ".json", w.dump());
    Outcome run = Corvane("run " + Quoted(file));
    EXPECT_EQ(run.status, 2) << run.out.substr(0, 2000);
    EXPECT_NE(run.err.find(std::string(row.name) + ".json: at " + row.place + ": "),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty()) << "a refused workflow reports nothing: " << run.out;
  }
}

// The contract's Status cannot be saved: the set-status step raises, the host
// stops the instance, the workflow's end never runs, and every report says so.
TEST(WorkflowRunTest, AStepThatRaisesStopsTheInstanceWhereTheReportSays) {
  Json w = ApprovedExample();
  w["faults"] = {{{"op", "IDmsService.SaveDocument"}, {"number", 70}, {"description", "Denied"}}};
  w["events"][1]["expect"] = {{"state", "stopped"}, {"step", "set-status"}};
  const fs::path file = WriteScenario("stopped.json", w.dump());
  const fs::path junit = Scratch() / "stopped.xml";

  Outcome json = Corvane("run --json --junit " + Quoted(junit) + " " + Quoted(file));
  ASSERT_EQ(json.status, 0) << json.err;
  const Json report = Json::parse(json.out)["scenarios"][0];
  const Json& summary = report["workflow"]["summary"];
  EXPECT_EQ(summary["state"], "stopped");
  EXPECT_EQ(summary["steps_run"], 3);
  EXPECT_EQ(summary["stopped"]["step"], "set-status");
  EXPECT_EQ(summary["stopped"]["method"], "Execute");
  EXPECT_EQ(summary["stopped"]["error"]["number"], 70);
  EXPECT_EQ(summary["stopped"]["event"], 3);
  const Json& last = report["workflow"]["events"].back();
  EXPECT_EQ(last["calls"].back()["step"], "set-status");
  EXPECT_EQ(last["calls"].back()["error"]["number"], 70);
  ASSERT_EQ(report["call_warnings"].size(), 1u);
  EXPECT_NE(report["call_warnings"][0]["message"].get<std::string>().find(
                "step \"set-status\" raised error 70 (Denied) in call 9 (Execute), which stopped "
                "the instance"),
            std::string::npos);

  const std::string xml = Slurp(junit);
  EXPECT_NE(xml.find("<testcase classname=\"" + file.string() +
                     "\" name=\"step set-status (SetFieldValue)\">\n      <failure"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("name=\"step end (EndWorkflow)\">\n      <skipped"), std::string::npos);
  EXPECT_NE(xml.find("tests=\"7\" failures=\"1\""), std::string::npos) << xml;

  Outcome text = Corvane("run " + Quoted(file));
  EXPECT_NE(text.out.find("   Steps run: 3; decisions: 1; messages: 2; jobs: 0; DMS items "
                          "changed: 0; simulated time: 1 day 5 hours 30 minutes\n"
                          "   Decisions:\n"
                          "     1. 2025-11-04T14:30:00 step \"approval\": approved (row 3), next "
                          "\"tell-initiator\"\n"
                          "   Instance: stopped at step \"set-status\" by error 70 (Denied) of "
                          "step \"set-status\" in Execute, event 3\n"),
            std::string::npos)
      << text.out;
  EXPECT_EQ(Corvane("run --strict " + Quoted(file)).status, 1);
}

}  // namespace
