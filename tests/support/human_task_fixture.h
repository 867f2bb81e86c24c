// Shared set-up for the human-task steps: a step with its tasks, an item list,
// distinct event codes per event name (a stored audit record names its event
// only by code), and readable summaries of the audit records and notes stored.
#pragma once

#include <string>
#include <vector>

#include "activity_fixture.h"

namespace corvane_test {

inline constexpr int32_t kCompleted = 134217729;  // &H08000001
inline constexpr const char* kAnswerVariables[] = {"APPROVED", "REVIEWED",     "COMMENTS",
                                                   "DETAILS",  "APPROVALDATE", "REVIEWDATE"};

struct TaskAnswer {
  pelmark::Variant status = kCompleted;
  pelmark::Variant approved = true;
  pelmark::Variant details = pelmark::Variant::Null();
};

class HumanTaskTest : public ActivityTest {
 protected:
  // The process (with `item_list`, the name "Case 9" and initiator "44"), the step
  // and its event codes. Tasks are added with AddAnswer / AddAnswers.
  void SetUpStep(const std::string& item_list, sim::ActivitySpec step = {}) {
    sim.SetProcess({.id = kProcessId,
                    .variables = {sim::ItemListVariable(item_list)},
                    .initiator_id = "44",
                    .initiator_name = "Ida Initiator",
                    .process_name = "Case 9"});
    step.process_id = kProcessId;
    sim.SetActivity(std::move(step));
    sim.AddDatabase(kDatabase);
    int32_t code = 100;
    for (const char* event :
         {"approval_request", "approval_response", "approved", "rejected", "review_request",
          "review_response", "review_acknowledge", "todo_request", "todo_response",
          "todo_conformed", "signature_request"}) {
      ++code;
      for (int32_t type_code : {2, 30}) sim.SetEventCode(type_code, event, code);
    }
  }

  // A task with every answer variable declared; returns its id.
  int32_t AddAnswer(const TaskAnswer& answer, std::vector<sim::ParameterSpec> parameters = {}) {
    int32_t id = next_task_id_++;
    sim::TaskSpec task{.task_id = id,
                       .process_id = kProcessId,
                       .resource_id = "17",
                       .resource_name = "Rita Reviewer",
                       .status = answer.status};
    task.parameters = std::move(parameters);
    for (const char* name : kAnswerVariables) task.variables.push_back({.name = name});
    task.variables[0].value = answer.approved;
    task.variables[3].value = answer.details;
    sim.AddTask(std::move(task));
    return id;
  }
  void AddAnswers(const std::vector<TaskAnswer>& answers) {
    for (const TaskAnswer& a : answers) AddAnswer(a);
  }

  // Starts again from an empty simulator, for tests that loop over cases.
  void Reset() {
    ResetSimulator();
    next_task_id_ = kTaskId;
  }

  void Initialize(std::string_view class_name) {
    NewActivity(class_name)->Initialize(sim.Services(), sim.Activity());
  }
  int32_t Evaluate(std::string_view class_name, int32_t task_id = kTaskId) {
    pelmark::ITask* task = sim.Task(task_id);
    return NewActivity(class_name)->EvaluateCompositeTask(sim.Services(), sim.Activity(), task);
  }

  // Each stored audit record as "code|result|group|user|comment|id/typecode v major.minor".
  std::vector<std::string> Audits() const {
    std::vector<std::string> out;
    for (const sim::StoredRecord& r : sim.AuditRecords()) {
      const sim::Entity& e = r.entity;
      const sim::Field* user = e.Find("Audit User");
      const sim::Field* item = e.Find("Audit Entity");
      out.push_back(sim::FormatVariant(e.Value("Event Code")) + "|" +
                    sim::FormatVariant(e.Value("Event Result")) + "|" +
                    sim::FormatVariant(e.Value("Event Group")) + "|" +
                    (user->is_null() ? "Null" : std::to_string(user->id)) + "|" +
                    e.Value("Comment").string_value() + "|" + std::to_string(item->id) + "/" +
                    std::to_string(item->type_code) + " v" + std::to_string(item->major_version) +
                    "." + std::to_string(item->minor_version));
    }
    return out;
  }

  // Each attached note as "EntityName id/typecode: text by user".
  std::vector<std::string> Notes() const {
    std::vector<std::string> out;
    for (const sim::Attachment& a : sim.Comments())
      out.push_back(a.item.entity_name + " " + std::to_string(a.item.id) + "/" +
                    std::to_string(a.item.type_code) + ": " +
                    a.entity.Value("Comment").string_value() + " by " +
                    std::to_string(a.entity.Find("CommentedBy")->id));
    return out;
  }

 private:
  int32_t next_task_id_ = kTaskId;
};

}  // namespace corvane_test
