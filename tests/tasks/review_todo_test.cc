// Review and ToDo through the simulator: complete when every task is answered,
// with their request, answer and final audit records.
#include <gtest/gtest.h>

#include <algorithm>

#include "human_task_fixture.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

TEST_F(HumanTaskTest, InitializeAuditsTheRequestWithTheTaskCount) {
  struct Case {
    const char* class_name;
    int32_t tasks;
    const char* audit;
  };
  const Case cases[] = {
      {"Review", 2, "105|1|6|44|CaseID: Case 9; Review Request: 2;|17/2 v1.0"},
      {"Review", 0, "105|1|6|44|CaseID: Case 9; Review Request: 0;|17/2 v1.0"},
      {"ToDo", 2, "108|1|6|44|CaseID: Case 9; ToDo Request: 2;|17/2 v1.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.class_name);
    Reset();
    SetUpStep(DocumentList({17}));
    sim.AddDocument(kDatabase, {.id = 17});
    for (int32_t i = 0; i < c.tasks; ++i) AddAnswer({});
    Initialize(c.class_name);
    EXPECT_EQ(Audits(), (std::vector<std::string>{c.audit}));
  }
}

TEST_F(HumanTaskTest, EvaluationCompletesWhenEveryTaskIsAnswered) {
  struct Case {
    const char* class_name;
    std::vector<TaskAnswer> answers;
    int32_t result;
    std::vector<std::string> writes;  // task variables written, in order
    const char* details;              // "DETAILS" of the task evaluated
    const char* audit;                // "" for none
  };
  const TaskAnswer open{.status = 0, .details = "open"};
  const TaskAnswer done{.details = "done;"};
  const Case cases[] = {
      {"Review", {done, open, done}, 3, {"REVIEWDATE", "DETAILS"}, "done;done;", ""},
      {"Review",
       {done, done, done},
       1,
       {"REVIEWDATE", "DETAILS"},
       "done;done;done;",
       "106|1|6|Null|CaseID: Case 9; Review Request: 3; Reviewer Acknolegements: 3|17/2 v1.0"},
      {"ToDo", {done, open}, 3, {}, "", ""},
      {"ToDo",
       {done, done},
       1,
       {},
       "",
       "109|1|6|Null|CaseID: Case 9; ToDo Request: 2; Conformation: 2|17/2 v1.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.class_name) + " " + std::to_string(c.answers.size()));
    Reset();
    SetUpStep(DocumentList({17}));
    sim.AddDocument(kDatabase, {.id = 17});
    AddAnswers(c.answers);
    EXPECT_EQ(Evaluate(c.class_name), c.result);
    ASSERT_EQ(platform.decisions.size(), 1u);
    EXPECT_EQ(platform.decisions[0].class_name, c.class_name);
    EXPECT_EQ(platform.decisions[0].row, c.result == 1 ? 1 : 2);
    EXPECT_EQ(platform.decisions[0].outcome, c.result == 1 ? "complete" : "stays open");
    const auto answered = std::count_if(c.answers.begin(), c.answers.end(),
                                        [](const TaskAnswer& a) { return a.status == kCompleted; });
    EXPECT_EQ(platform.Figure("tasks"), Variant(static_cast<int32_t>(c.answers.size())));
    EXPECT_EQ(platform.Figure("answers"), Variant(static_cast<int32_t>(answered)));
    EXPECT_EQ(platform.Figure("outstanding"),
              Variant(static_cast<int32_t>(c.answers.size() - answered)));
    std::vector<std::string> writes;
    for (const sim::VariableWrite& w : sim.TaskVariableWrites()) writes.push_back(w.name);
    EXPECT_EQ(writes, c.writes);
    if (!c.writes.empty()) {
      EXPECT_EQ(sim.TaskVariable(kTaskId, "DETAILS"), Variant(c.details));
    }
    EXPECT_EQ(Audits(), *c.audit ? std::vector<std::string>{c.audit} : std::vector<std::string>{});
  }
}

// A step without tasks is complete at once: 0 answered is at least 0 tasks. The
// task evaluated comes from another host, so the step's own list stays empty.
TEST_F(HumanTaskTest, ReviewWithoutTasksCompletesAtOnce) {
  SetUpStep(DocumentList({17}));
  sim.AddDocument(kDatabase, {.id = 17});
  sim::Simulator other;
  other.AddTask({.task_id = kTaskId, .variables = {{"REVIEWDATE"}, {"DETAILS"}}});
  pelmark::ITask* task = other.Task(kTaskId);
  EXPECT_EQ(NewActivity("Review")->EvaluateCompositeTask(sim.Services(), sim.Activity(), task), 1);
  EXPECT_EQ(other.TaskVariable(kTaskId, "DETAILS"), Variant(""));
  EXPECT_EQ(Audits(), (std::vector<std::string>{"106|1|6|Null|CaseID: Case 9; Review Request: 0; "
                                                "Reviewer Acknolegements: 0|17/2 v1.0"}));
  EXPECT_TRUE(other.HeldReferences().empty());
}

TEST_F(HumanTaskTest, AnswerAuditsAcknowledgeAndConfirmWithoutExaminingTheAnswer) {
  SetUpStep(DocumentList({17}));
  sim.AddDocument(kDatabase, {.id = 17});
  AddAnswer({.approved = Variant::Null()}, {{"COMMENTSASNOTES", false}});
  EXPECT_EQ(Execute("Review"), 1);
  EXPECT_EQ(sim.TaskVariable(kTaskId, "REVIEWDATE"), Variant::Date(kFixedNow));
  EXPECT_EQ(Execute("ToDo"), 1);
  EXPECT_EQ(Audits(), (std::vector<std::string>{"107|1|6|17|CaseID: Case 9;|17/2 v1.0",
                                                "110|1|6|17|CaseID: Case 9;|17/2 v1.0"}));
}

TEST_F(HumanTaskTest, ToDoWithAuditOffDoesNothingVisible) {
  SetUpStep(DocumentList({17}));
  sim.AddDocument(kDatabase, {.id = 17});
  AddAnswer({}, {{"AUDIT_ACTIVITY", false}});
  EXPECT_EQ(Execute("ToDo"), 1);
  EXPECT_TRUE(sim.TaskVariableWrites().empty());
  EXPECT_TRUE(DmsOps().empty());
}

TEST_F(HumanTaskTest, EntryPointsReportWithTheirBracketedLocation) {
  SetUpStep(DocumentList({17}));
  AddAnswer({});
  sim.AddTask({.task_id = kTaskId, .process_id = kProcessId, .status = "abc"});
  pelmark::Error evaluate = ErrorOf([&] { Evaluate("ToDo"); });
  EXPECT_EQ(evaluate.number(), 13);
  EXPECT_EQ(evaluate.source(),
            "Corvane => \r\nToDo: IActivityRuntime_EvaluateCompositeTask Function (1)");

  sim.InjectFault({.op = "IActivityServices.GetProcessInstance", .source = "Pelmark.Host"});
  pelmark::Error initialize = ErrorOf([&] { Initialize("Review"); });
  EXPECT_EQ(initialize.source(), "Pelmark.Host => \r\nReview: IActivityRuntime_Initialize Sub (2)");
  EXPECT_EQ(platform.log.size(), 2u);
}

}  // namespace
}  // namespace corvane_test
