#include "tasks/human_tasks.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "corvane/platform.h"
#include "framework/com_object.h"
#include "framework/host_access.h"
#include "framework/variant_rules.h"
#include "shared/audit_notes.h"
#include "shared/template_variables.h"
#include "templates/format_engine.h"
#include "templates/render_budget.h"

namespace corvane {
namespace {

// ITask.Status of a task whose resource has answered.
constexpr double kTaskCompleted = 134217729.0;  // &H08000001

// The audit switch of a parameter collection: on unless "AUDIT_ACTIVITY" says
// otherwise.
bool AuditSwitch(pelmark::IParameters* parameters) {
  if (!Must(parameters)->Exists("AUDIT_ACTIVITY")) return true;
  pelmark::ComPtr<pelmark::IParameter> parameter = parameters->Item("AUDIT_ACTIVITY");
  return ToBoolean(Must(parameter)->Value());
}

bool StepAuditSwitch(pelmark::IActivity* activity) {
  pelmark::ComPtr<pelmark::IParameters> parameters = Must(activity)->Parameters();
  return AuditSwitch(parameters.get());
}

bool TaskAuditSwitch(pelmark::ITask* task) {
  pelmark::ComPtr<pelmark::IParameters> parameters = Must(task)->Parameters();
  return AuditSwitch(parameters.get());
}

// A status compares with the completed value as numbers; a null status is
// never completed.
bool IsCompleted(pelmark::ITask* task) {
  pelmark::Variant status = Must(task)->Status();
  if (status.is_null()) return false;
  return ToDouble(status) == kTaskCompleted;
}

std::string Decimal(int32_t n) { return std::to_string(n); }

// Tells the platform what an evaluation decided, from the figures it decided by.
void ExplainEvaluation(std::string_view class_name, int row, std::string outcome, int32_t result,
                       std::vector<DecisionFigure> figures) {
  Platform().ExplainDecision({.class_name = std::string(class_name),
                              .method = "EvaluateCompositeTask",
                              .row = row,
                              .outcome = std::move(outcome),
                              .result = result,
                              .figures = std::move(figures)});
}

// Review and ToDo complete once every task has answered (row 1) and wait
// otherwise (row 2).
void ExplainAllAnswered(std::string_view class_name, int32_t tasks, int32_t answered,
                        int32_t result) {
  const bool complete = result == pelmark::kResultDone;
  ExplainEvaluation(class_name, complete ? 1 : 2, complete ? "complete" : "stays open", result,
                    {{"tasks", tasks}, {"answers", answered}, {"outstanding", tasks - answered}});
}

// What an evaluation counts over the step's tasks, in the host's order.
struct Tally {
  int32_t answered = 0;   // C
  int32_t approvals = 0;  // A
  std::string details;    // D: the answered tasks' details, joined without separator
};

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

// The statement numbers of one audit block; 0 where the block has no such
// statement (the workflow instance already at hand, an event known in advance).
struct AuditSteps {
  int fetch = 0;    // the workflow instance
  int comment = 0;  // "CaseID: <process name>" and the details
  int decide = 0;   // what the event depends on
  int write = 0;    // the audit records
};

struct AuditedEvent {
  std::string_view event;
  int32_t result = 1;
};

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

AuditedEvent Always(std::string_view event) { return {event, 1}; }

// Base of the three steps: each entry point runs inside the bracketed error
// report "<Step>: IActivityRuntime_... (" and holds its arguments for the call.
class HumanTaskStep : public Activity {
 public:
  HumanTaskStep(const ClassInfo& info, std::string_view step) : Activity(info), step_(step) {}

  int32_t Execute(pelmark::IActivityServices* services, pelmark::ITask*& task) override {
    pelmark::ComPtr<pelmark::IActivityRuntime> self(this);
    pelmark::ComPtr<pelmark::IActivityServices> held_services(services);
    return Reported({kBracketed, step_, ": IActivityRuntime_Execute Function ("},
                    [&](Line& at) { return ExecuteWork(services, task, at); });
  }

  void Initialize(pelmark::IActivityServices* services, pelmark::IActivity* activity) override {
    pelmark::ComPtr<pelmark::IActivityRuntime> self(this);
    pelmark::ComPtr<pelmark::IActivityServices> held_services(services);
    pelmark::ComPtr<pelmark::IActivity> held_activity(activity);
    Reported({kBracketed, step_, ": IActivityRuntime_Initialize Sub ("},
             [&](Line& at) { InitializeWork(services, activity, at); });
  }

  int32_t EvaluateCompositeTask(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                                pelmark::ITask*& task) override {
    pelmark::ComPtr<pelmark::IActivityRuntime> self(this);
    pelmark::ComPtr<pelmark::IActivityServices> held_services(services);
    pelmark::ComPtr<pelmark::IActivity> held_activity(activity);
    return Reported({kBracketed, step_, ": IActivityRuntime_EvaluateCompositeTask Function ("},
                    [&](Line& at) { return EvaluateWork(services, activity, task, at); });
  }

 protected:
  virtual void InitializeWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                              Line& at) = 0;
  virtual int32_t EvaluateWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                               pelmark::ITask* task, Line& at) = 0;

  const AuditCopy& audit() const { return AuditCopyOf(info().name); }

 private:
  std::string_view step_;
};

// The shared work of an answered approval or review task: the answer date, the
// detail text rendered from "DETAIL_FORMAT", the comment note, "DETAILS".
// Returns the process instance for the audit that follows.
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
  pelmark::ComPtr<pelmark::IProcessInstance> instance =
      Must(services)->GetProcessInstance(task->ProcessID());
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
  if (EqualsTrue(TaskParameter(task, "COMMENTSASNOTES"))) {
    std::string comment = Trim(ToText(TaskVariable(task, "COMMENTS")));
    if (!comment.empty()) AddNote(copy, services, task, comment);
  }
  at(6);
  SetTaskVariable(task, "DETAILS", details);
  return instance;
}

// ---------------------------------------------------------------------------

class DocApproval final : public HumanTaskStep {
 public:
  explicit DocApproval(const ClassInfo& info) : HumanTaskStep(info, "Approval") {}

 private:
  void InitializeWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                      Line& at) override {
    at(1);
    const bool audit_on = StepAuditSwitch(activity);
    at(2);
    const int32_t requests = activity->RequestCount();
    if (requests < 1 || !audit_on) return;
    AuditCase(
        audit(), services, activity, nullptr, nullptr, at, {.fetch = 3, .comment = 4, .write = 5},
        [&] {
          return "; Approval Request: " + Decimal(requests) +
                 "; Min Approvals: " + MinApprovalsText(activity);
        },
        [] { return Always("approval_request"); }, AuditUser::kInitiator);
  }

  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        RecordAnswer(services, audit(), kApprovalAnswers, task, at);
    at(7);
    if (!TaskAuditSwitch(task)) return pelmark::kResultDone;
    AuditCase(
        audit(), services, nullptr, task, instance, at, {.comment = 8, .decide = 9, .write = 10},
        [] { return std::string(";"); },
        [&] {
          const bool approved = ToBoolean(TaskVariable(task, "APPROVED"));
          return Always(approved ? "approved" : "rejected");
        },
        AuditUser::kTaskResource);
    return pelmark::kResultDone;
  }

  int32_t EvaluateWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                       pelmark::ITask* task, Line& at) override {
    at(1);
    const Tally tally = CountAnswers(activity, true, true);
    at(2);
    const int32_t requests = activity->RequestCount();
    const int32_t min_responses = activity->MinResponses();
    Verdict decision;
    if (requests != 0) decision = Decide(activity, requests, min_responses, tally);
    const bool approved = decision.approved;
    const int32_t result = decision.result;
    ExplainEvaluation(
        info().name, decision.row,
        result != pelmark::kResultDone ? "stays open"
        : approved                     ? "complete approved"
                                       : "complete rejected",
        result,
        {{"requests", requests},
         {"answers", tally.answered},
         {"approvals", tally.approvals},
         {"rejections", tally.answered - tally.approvals},
         {"outstanding", requests - tally.answered},
         {"min responses", min_responses},
         // MinApprovals is read only when there are requests.
         {"min approvals", decision.min_approvals ? pelmark::Variant(*decision.min_approvals)
                                                  : pelmark::Variant::Null()}});
    at(3);
    SetTaskVariable(Must(task), "APPROVED", approved);
    at(4);
    SetTaskVariable(task, "APPROVALDATE", Now());
    SetTaskVariable(task, "DETAILS", tally.details);
    if (requests > 0 && result == pelmark::kResultDone) {
      at(5);
      if (!StepAuditSwitch(activity)) return result;
      AuditCase(
          audit(), services, activity, task, nullptr, at,
          {.fetch = 6, .comment = 7, .decide = 8, .write = 9},
          [&] {
            return "; Approval Request: " + Decimal(requests) +
                   "; Min Approvals: " + MinApprovalsText(activity) +
                   "; User Approved:" + Decimal(tally.approvals) +
                   "; User Rejected:" + Decimal(tally.answered - tally.approvals) + ";";
          },
          [&] {
            return AuditedEvent{"approval_response",
                                EqualsFalse(TaskVariable(task, "APPROVED")) ? 5 : 4};
          },
          AuditUser::kNobody);
    }
    return result;
  }

  // What the decision table decided: APPROVED, complete (1) or open (3), the
  // row that held and the MinApprovals it compared with (when it read it). Row 1,
  // a step without requests, is approved without reading anything.
  struct Verdict {
    bool approved = true;
    int32_t result = pelmark::kResultDone;
    int row = 1;
    std::optional<double> min_approvals;
  };

  // The decision table for a step with requests: the first matching row sets
  // the decision and whether the step is complete (1) or stays open (3).
  static Verdict Decide(pelmark::IActivity* activity, int32_t requests, int32_t min_responses,
                        const Tally& tally) {
    const double n = requests;
    const double c = tally.answered;
    const double a = tally.approvals;
    const double m = MinApprovals(activity);
    const bool still_reachable = m - a <= n - c;  // open tasks could still supply the rest
    Verdict d{.approved = false, .min_approvals = m};
    auto row = [&](int number, bool approved, int32_t result) {
      d.row = number;
      d.approved = approved;
      d.result = result;
      return d;
    };
    if (min_responses == 0 && m == 0) return row(2, a > 0, pelmark::kResultDone);
    if (min_responses == 0 && m > 0) {
      if (a >= m) return row(3, true, pelmark::kResultDone);
      if (still_reachable) return row(4, false, pelmark::kResultStaysOpen);
      return row(5, false, pelmark::kResultDone);
    }
    if (c == n) return row(6, a >= m, pelmark::kResultDone);
    if (c >= min_responses) {
      if (a >= m) return row(7, true, pelmark::kResultDone);
      if (still_reachable) return row(8, false, pelmark::kResultStaysOpen);
      return row(9, false, pelmark::kResultDone);
    }
    return row(10, false, pelmark::kResultStaysOpen);
  }

  // MinApprovals is converted wherever it is compared.
  static double MinApprovals(pelmark::IActivity* activity) {
    return ToDouble(pelmark::Variant(activity->MinApprovals()));
  }
  static std::string MinApprovalsText(pelmark::IActivity* activity) {
    return ToText(pelmark::Variant(activity->MinApprovals()));
  }
};

// ---------------------------------------------------------------------------

class Review final : public HumanTaskStep {
 public:
  explicit Review(const ClassInfo& info) : HumanTaskStep(info, "Review") {}

 private:
  void InitializeWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                      Line& at) override {
    at(1);
    if (!StepAuditSwitch(activity)) return;
    AuditCase(
        audit(), services, activity, nullptr, nullptr, at, {.fetch = 2, .comment = 3, .write = 4},
        [&] { return "; Review Request: " + Decimal(TaskCount(activity)) + ";"; },
        [] { return Always("review_request"); }, AuditUser::kInitiator);
  }

  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        RecordAnswer(services, audit(), kReviewAnswers, task, at);
    at(7);
    if (!TaskAuditSwitch(task)) return pelmark::kResultDone;
    AuditCase(
        audit(), services, nullptr, task, instance, at, {.comment = 8, .write = 9},
        [] { return std::string(";"); }, [] { return Always("review_acknowledge"); },
        AuditUser::kTaskResource);
    return pelmark::kResultDone;
  }

  int32_t EvaluateWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                       pelmark::ITask* task, Line& at) override {
    at(1);
    const Tally tally = CountAnswers(activity, false, true);
    at(2);
    const int32_t tasks = TaskCount(activity);
    const int32_t result =
        tally.answered >= tasks ? pelmark::kResultDone : pelmark::kResultStaysOpen;
    ExplainAllAnswered(info().name, tasks, tally.answered, result);
    at(3);
    SetTaskVariable(Must(task), "REVIEWDATE", Now());
    SetTaskVariable(task, "DETAILS", tally.details);
    if (result != pelmark::kResultDone) return result;
    at(4);
    if (!StepAuditSwitch(activity)) return result;
    AuditCase(
        audit(), services, activity, task, nullptr, at, {.fetch = 5, .comment = 6, .write = 7},
        [&] {
          return "; Review Request: " + Decimal(tally.answered) +
                 "; Reviewer Acknolegements: " + Decimal(tally.answered);
        },
        [] { return Always("review_response"); }, AuditUser::kNobody);
    return result;
  }
};

// ---------------------------------------------------------------------------

class ToDo final : public HumanTaskStep {
 public:
  explicit ToDo(const ClassInfo& info) : HumanTaskStep(info, "ToDo") {}

 private:
  void InitializeWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                      Line& at) override {
    at(1);
    if (!StepAuditSwitch(activity)) return;
    AuditCase(
        audit(), services, activity, nullptr, nullptr, at, {.fetch = 2, .comment = 3, .write = 4},
        [&] { return "; ToDo Request: " + Decimal(TaskCount(activity)) + ";"; },
        [] { return Always("todo_request"); }, AuditUser::kInitiator);
  }

  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    at(1);
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        Must(services)->GetProcessInstance(Must(task)->ProcessID());
    at(2);
    if (!TaskAuditSwitch(task)) return pelmark::kResultDone;
    AuditCase(
        audit(), services, nullptr, task, instance, at, {.comment = 3, .write = 4},
        [] { return std::string(";"); }, [] { return Always("todo_conformed"); },
        AuditUser::kTaskResource);
    return pelmark::kResultDone;
  }

  int32_t EvaluateWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                       pelmark::ITask* task, Line& at) override {
    at(1);
    const Tally tally = CountAnswers(activity, false, false);
    at(2);
    const int32_t tasks = TaskCount(activity);
    const int32_t result =
        tally.answered >= tasks ? pelmark::kResultDone : pelmark::kResultStaysOpen;
    ExplainAllAnswered(info().name, tasks, tally.answered, result);
    if (result != pelmark::kResultDone) return result;
    at(3);
    if (!StepAuditSwitch(activity)) return pelmark::kResultDone;
    AuditCase(
        audit(), services, activity, task, nullptr, at, {.fetch = 4, .comment = 5, .write = 6},
        [&] {
          return "; ToDo Request: " + Decimal(tally.answered) +
                 "; Conformation: " + Decimal(tally.answered);
        },
        [] { return Always("todo_response"); }, AuditUser::kNobody);
    return pelmark::kResultDone;
  }
};

}  // namespace

Activity* NewDocApproval(const ClassInfo& info) { return new DocApproval(info); }
Activity* NewReview(const ClassInfo& info) { return new Review(info); }
Activity* NewToDo(const ClassInfo& info) { return new ToDo(info); }

}  // namespace corvane
