// The rows a human-task evaluation says decided it are the rows of its decision
// table in the class reference: each row reached returns that row's result and
// writes that row's APPROVED, and every row of the table is reached by some
// situation. The tool prints the reference's condition for the row a class
// names, so a table and a class that number their rows differently would
// explain a decision with the wrong condition.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "activity_fixture.h"
#include "class_descriptions.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

constexpr int32_t kCompleted = 134217729;

struct Situation {
  int32_t requests, min_responses;
  std::string min_approvals;
  std::vector<int> answers;  // per task: 0 open, 1 approved, 2 rejected
};

// Every small situation: up to three tasks, each open, approved or rejected.
std::vector<Situation> Situations() {
  std::vector<Situation> out;
  for (int tasks = 1; tasks <= 3; ++tasks) {
    int patterns = 1;
    for (int i = 0; i < tasks; ++i) patterns *= 3;
    for (int pattern = 0; pattern < patterns; ++pattern) {
      std::vector<int> answers;
      for (int i = 0, p = pattern; i < tasks; ++i, p /= 3) answers.push_back(p % 3);
      for (int32_t requests : {0, tasks})
        for (int32_t t = 0; t <= tasks; ++t)
          for (const char* m : {"-1", "0", "1", "2", "3"}) out.push_back({requests, t, m, answers});
    }
  }
  return out;
}

class DecisionRowsTest : public ActivityTest {
 protected:
  // Evaluates the first task of the situation; returns the result.
  int32_t Evaluate(std::string_view class_name, const Situation& s) {
    ResetSimulator();
    sim.SetProcess({.id = kProcessId});
    sim.SetActivity({.process_id = kProcessId,
                     .request_count = s.requests,
                     .min_responses = s.min_responses,
                     .min_approvals = s.min_approvals,
                     .parameters = {{"AUDIT_ACTIVITY", false}}});
    int32_t id = kTaskId;
    for (int answer : s.answers)
      sim.AddTask(
          {.task_id = id++,
           .process_id = kProcessId,
           .status = answer == 0 ? 0 : kCompleted,
           .variables = {
               {"APPROVED", answer == 1}, {"DETAILS", ""}, {"APPROVALDATE"}, {"REVIEWDATE"}}});
    pelmark::ITask* task = sim.Task(kTaskId);
    return NewActivity(class_name)->EvaluateCompositeTask(sim.Services(), sim.Activity(), task);
  }
};

TEST_F(DecisionRowsTest, EveryRowAClassNamesIsTheReferencesRowAndEachIsReached) {
  for (const char* class_name : {"DocApproval", "Review", "ToDo"}) {
    SCOPED_TRACE(class_name);
    const corvane::cli::ClassDescription* reference = corvane::cli::FindDescription(class_name);
    ASSERT_NE(reference, nullptr);
    const auto& table = reference->decision;
    ASSERT_FALSE(table.empty());
    std::set<int> reached;
    for (const Situation& s : Situations()) {
      const int32_t result = Evaluate(class_name, s);
      ASSERT_EQ(platform.decisions.size(), 1u);
      const corvane::Decision& d = platform.decisions[0];
      ASSERT_GE(d.row, 1);
      ASSERT_LE(static_cast<size_t>(d.row), table.size());
      const corvane::cli::DecisionRow& row = table[d.row - 1];
      SCOPED_TRACE("row " + std::to_string(d.row) + ": " + row.condition);
      EXPECT_EQ(d.result, result);
      EXPECT_EQ(row.result, result);
      EXPECT_EQ(d.outcome == "stays open", result == pelmark::kResultStaysOpen);
      if (row.approved == "True" || row.approved == "False") {
        const Variant approved = sim.TaskVariable(kTaskId, "APPROVED");
        EXPECT_EQ(approved, Variant(row.approved == "True"));
        EXPECT_EQ(d.outcome, result == pelmark::kResultStaysOpen ? "stays open"
                             : row.approved == "True"            ? "complete approved"
                                                                 : "complete rejected");
      }
      reached.insert(d.row);
    }
    EXPECT_EQ(reached.size(), table.size());
  }
}

}  // namespace
}  // namespace corvane_test
