#include "tasks/human_task_step.h"

#include <optional>
#include <string>
#include <utility>

#include "framework/com_object.h"
#include "framework/host_access.h"
#include "rules/variant_rules.h"
#include "templates/format_engine.h"
#include "templates/render_budget.h"

namespace corvane {
namespace {

// ITask.Status of a task whose resource has answered.
constexpr double kTaskCompleted = 134217729.0;  // &H08000001

// The audit switch of a parameter collection: on unless "AUDIT_ACTIVITY" says
// otherwise. `owner` is whose parameters they are ("task", "step").
bool AuditSwitch(pelmark::IParameters* parameters, const char* owner) {
  if (!Must(parameters)->Exists("AUDIT_ACTIVITY")) return true;
  pelmark::ComPtr<pelmark::IParameter> parameter = parameters->Item("AUDIT_ACTIVITY");
  const pelmark::Variant value = Must(parameter)->Value();
  return Noted(
      [&] {
        return RaiseNote{"reading", owner, "parameter AUDIT_ACTIVITY", value, "as a yes/no value"};
      },
      [&] { return ToBoolean(value); });
}

bool TaskAuditSwitch(pelmark::ITask* task) {
  pelmark::ComPtr<pelmark::IParameters> parameters = Must(task)->Parameters();
  return AuditSwitch(parameters.get(), "task");
}

// A status compares with the completed value as numbers; a null status is
// never completed.
bool IsCompleted(pelmark::ITask* task) {
  pelmark::Variant status = Must(task)->Status();
  if (status.is_null()) return false;
  return ToDouble(status) == kTaskCompleted;
}

// Who the audit records name: the workflow's initiator, the task's resource,
// or nobody.
enum class AuditUser { kInitiator, kTaskResource, kNobody };

// The audit block that closes the entry points of every human-task step, each
// statement under its own number: the workflow instance of `activity` (when
// `instance` is null), the comment "CaseID: " + process name + details(), the
// event decide() names, and one audit record per item.
void AuditCase(const AuditCopy& copy, pelmark::IActivityServices* services,
               pelmark::IActivity* activity, pelmark::ITask* task,
               pelmark::ComPtr<pelmark::IProcessInstance> instance, Line& at, AuditSteps steps,
               const std::function<std::string()>& details,
               const std::function<AuditedEvent()>& decide, AuditUser user) {
  if (steps.fetch) {
    at(steps.fetch);
    instance = Must(services)->GetProcessInstance(Must(activity)->ProcessID());
  }
  at(steps.comment);
  std::string comment = "CaseID: " + ToText(Must(instance)->ProcessName());
  comment += details();
  if (steps.decide) at(steps.decide);
  const AuditedEvent audited = decide();
  at(steps.write);
  std::string audit_user;
  if (user == AuditUser::kInitiator) audit_user = ToText(instance->InitiatorID());
  if (user == AuditUser::kTaskResource) audit_user = ToText(Must(task)->ResourceID());
  AuditEvent(copy, services, instance.get(), comment, audited.event, audited.result, audit_user);
}

}  // namespace

bool StepAuditSwitch(pelmark::IActivity* activity) {
  pelmark::ComPtr<pelmark::IParameters> parameters = Must(activity)->Parameters();
  return AuditSwitch(parameters.get(), "step");
}

Tally CountAnswers(pelmark::IActivity* activity, bool count_approvals, bool join_details) {
  Tally tally;
  pelmark::ComPtr<pelmark::ITasks> tasks = Must(activity)->Tasks();
  const int32_t count = Must(tasks)->Count();
  for (int32_t i = 1; i <= count; ++i) {
    pelmark::ComPtr<pelmark::ITask> task = tasks->Item(i);
    if (!IsCompleted(task.get())) continue;
    ++tally.answered;
    if (count_approvals && EqualsTrue(TaskVariable(task.get(), "APPROVED"))) ++tally.approvals;
    if (join_details) {
      pelmark::Variant details = TaskVariable(task.get(), "DETAILS");
      if (!details.is_null()) tally.details += ToText(details);
    }
  }
  return tally;
}

int32_t TaskCount(pelmark::IActivity* activity) {
  pelmark::ComPtr<pelmark::ITasks> tasks = Must(activity)->Tasks();
  return Must(tasks)->Count();
}

pelmark::ComPtr<pelmark::IProcessInstance> RecordAnswer(pelmark::IActivityServices* services,
                                                        const AuditCopy& copy,
                                                        const AnswerNames& answers,
                                                        pelmark::ITask* task, Line& at) {
  at(1);
  SetTaskVariable(task, answers.date, Now());
  at(2);
  std::string detail_format;
  if (TaskParameterExists(task, "DETAIL_FORMAT"))
    detail_format = ToText(TaskParameter(task, "DETAIL_FORMAT"));
  at(3);
  CFormatParser parser;
  std::optional<FormatExpressions> expressions = parser.Parse(detail_format);
  pelmark::ComPtr<pelmark::IProcessInstance> instance = ProcessInstanceOf(services, task);
  at(4);
  // Only single expressions are rendered, each replacing the text of the one
  // before; expressions come last-first, so the template's first one wins.
  std::string details;
  RenderBudget rendering;  // the expressions of one answer share one budget
  if (expressions) {
    const VariableResolver resolve = [&](const std::string& name) {
      return GetVariableValue(services, answers, name, task, instance);
    };
    for (CFormatExpression& expression : *expressions) {
      FillExpressionVariables(services, copy.owner, task, instance, expression, resolve);
      details = expression.ToString();
    }
  }
  at(5);
  const pelmark::Variant notes = TaskParameter(task, "COMMENTSASNOTES");
  if (Noted(
          [&] {
            return RaiseNote{"reading", "task", "parameter COMMENTSASNOTES", notes,
                             "as a yes/no value"};
          },
          [&] { return EqualsTrue(notes); })) {
    std::string comment = Trim(ToText(TaskVariable(task, "COMMENTS")));
    if (!comment.empty()) AddNote(copy, services, task, comment);
  }
  at(6);
  SetTaskVariable(task, "DETAILS", details);
  return instance;
}

std::function<AuditedEvent()> Always(std::string_view event) {
  return [event] { return AuditedEvent{event, 1}; };
}

int32_t HumanTaskStep::RunExecute(pelmark::IActivityServices* services, pelmark::ITask*& task) {
  pelmark::ComPtr<pelmark::IActivityRuntime> self(this);
  pelmark::ComPtr<pelmark::IActivityServices> held_services(services);
  return Reported({kBracketed, step_, ": IActivityRuntime_Execute Function ("},
                  [&](Line& at) { return ExecuteWork(services, task, at); });
}

void HumanTaskStep::RunInitialize(pelmark::IActivityServices* services,
                                  pelmark::IActivity* activity) {
  pelmark::ComPtr<pelmark::IActivityRuntime> self(this);
  pelmark::ComPtr<pelmark::IActivityServices> held_services(services);
  pelmark::ComPtr<pelmark::IActivity> held_activity(activity);
  Reported({kBracketed, step_, ": IActivityRuntime_Initialize Sub ("},
           [&](Line& at) { InitializeWork(services, activity, at); });
}

int32_t HumanTaskStep::RunEvaluateCompositeTask(pelmark::IActivityServices* services,
                                                pelmark::IActivity* activity,
                                                pelmark::ITask*& task) {
  pelmark::ComPtr<pelmark::IActivityRuntime> self(this);
  pelmark::ComPtr<pelmark::IActivityServices> held_services(services);
  pelmark::ComPtr<pelmark::IActivity> held_activity(activity);
  return Reported({kBracketed, step_, ": IActivityRuntime_EvaluateCompositeTask Function ("},
                  [&](Line& at) { return EvaluateWork(services, activity, task, at); });
}

void HumanTaskStep::AuditRequest(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                                 Line& at, AuditSteps steps,
                                 const std::function<std::string()>& details,
                                 std::string_view event) {
  AuditCase(audit(), services, activity, nullptr, nullptr, at, steps, details, Always(event),
            AuditUser::kInitiator);
}

void HumanTaskStep::AuditAnswer(pelmark::IActivityServices* services, pelmark::ITask* task,
                                pelmark::ComPtr<pelmark::IProcessInstance> instance, Line& at,
                                int switch_at, AuditSteps steps,
                                const std::function<AuditedEvent()>& decide) {
  at(switch_at);
  if (!TaskAuditSwitch(task)) return;
  AuditCase(
      audit(), services, nullptr, task, std::move(instance), at, steps,
      [] { return std::string(";"); }, decide, AuditUser::kTaskResource);
}

void HumanTaskStep::AuditResponse(pelmark::IActivityServices* services,
                                  pelmark::IActivity* activity, pelmark::ITask* task, Line& at,
                                  int switch_at, AuditSteps steps,
                                  const std::function<std::string()>& details,
                                  const std::function<AuditedEvent()>& decide) {
  at(switch_at);
  if (!StepAuditSwitch(activity)) return;
  AuditCase(audit(), services, activity, task, nullptr, at, steps, details, decide,
            AuditUser::kNobody);
}

}  // namespace corvane
