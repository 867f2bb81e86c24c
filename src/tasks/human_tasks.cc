#include "tasks/human_tasks.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "framework/com_object.h"
#include "framework/host_access.h"
#include "framework/variant_rules.h"
#include "shared/audit_notes.h"
#include "shared/decision_report.h"
#include "shared/template_variables.h"
#include "templates/format_engine.h"

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

std::function<AuditedEvent()> Always(std::string_view event) {
  return [event] { return AuditedEvent{event, 1}; };
}

// Base of the three steps: each entry point runs inside the bracketed error
// report "<Step>: IActivityRuntime_... (" and holds its arguments for the call.
// The audit blocks each step closes its entry points with are here too.
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

  // Initialize's record of the request, under the step's workflow instance and
  // in the name of its initiator.
  void AuditRequest(pelmark::IActivityServices* services, pelmark::IActivity* activity, Line& at,
                    AuditSteps steps, const std::function<std::string()>& details,
                    std::string_view event) {
    AuditCase(audit(), services, activity, nullptr, nullptr, at, steps, details, Always(event),
              AuditUser::kInitiator);
  }

  // Execute's record of one answer, in the name of the task's resource, when
  // the task's audit switch (read at `switch_at`) is on.
  void AuditAnswer(pelmark::IActivityServices* services, pelmark::ITask* task,
                   pelmark::ComPtr<pelmark::IProcessInstance> instance, Line& at, int switch_at,
                   AuditSteps steps, const std::function<AuditedEvent()>& decide) {
    at(switch_at);
    if (!TaskAuditSwitch(task)) return;
    AuditCase(
        audit(), services, nullptr, task, std::move(instance), at, steps,
        [] { return std::string(";"); }, decide, AuditUser::kTaskResource);
  }

  // The evaluation's record of the step's response, in nobody's name, when the
  // step's audit switch (read at `switch_at`) is on.
  void AuditResponse(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                     pelmark::ITask* task, Line& at, int switch_at, AuditSteps steps,
                     const std::function<std::string()>& details,
                     const std::function<AuditedEvent()>& decide) {
    at(switch_at);
    if (!StepAuditSwitch(activity)) return;
    AuditCase(audit(), services, activity, task, nullptr, at, steps, details, decide,
              AuditUser::kNobody);
  }

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
  pelmark::ComPtr<pelmark::IProcessInstance> instance = ProcessInstanceOf(services, task);
  at(4);
  // Only single expressions are rendered, each replacing the text of the one
  // before; expressions come last-first, so the template's first one wins.
  std::string details;
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

// The approval decision table: the first row that holds decides whether the
// step is approved and whether it completes. Row 1, a step without requests, is
// approved without looking further.
ApprovalDecision DecideApproval(const ApprovalFigures& f) {
  using Outcome = ApprovalDecision::Outcome;
  auto row = [&](int number, Outcome outcome) { return ApprovalDecision{number, outcome, f}; };
  auto complete = [](bool approved) { return approved ? Outcome::kApproved : Outcome::kRejected; };
  if (f.requests == 0) return row(1, Outcome::kApproved);
  const double n = f.requests;
  const double c = f.answers;
  const double a = f.approvals;
  const double m = f.min_approvals.value_or(0);
  const bool still_reachable = m - a <= n - c;  // open tasks could still supply the rest
  if (f.min_responses == 0 && m == 0) return row(2, complete(a > 0));
  if (f.min_responses == 0 && m > 0) {
    if (a >= m) return row(3, Outcome::kApproved);
    if (still_reachable) return row(4, Outcome::kStaysOpen);
    return row(5, Outcome::kRejected);
  }
  if (c == n) return row(6, complete(a >= m));
  if (c >= f.min_responses) {
    if (a >= m) return row(7, Outcome::kApproved);
    if (still_reachable) return row(8, Outcome::kStaysOpen);
    return row(9, Outcome::kRejected);
  }
  return row(10, Outcome::kStaysOpen);
}

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
    AuditRequest(
        services, activity, at, {.fetch = 3, .comment = 4, .write = 5},
        [&] {
          return "; Approval Request: " + Decimal(requests) +
                 "; Min Approvals: " + MinApprovalsText(activity);
        },
        "approval_request");
  }

  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        RecordAnswer(services, audit(), kApprovalAnswers, task, at);
    AuditAnswer(services, task, instance, at, 7, {.comment = 8, .decide = 9, .write = 10}, [&] {
      const bool approved = ToBoolean(TaskVariable(task, "APPROVED"));
      return AuditedEvent{approved ? "approved" : "rejected", 1};
    });
    return pelmark::kResultDone;
  }

  // Counts the answers, reads the step's figures (MinApprovals only when there
  // are requests), decides, and writes "APPROVED", the date and the details.
  int32_t EvaluateWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                       pelmark::ITask* task, Line& at) override {
    at(1);
    const Tally tally = CountAnswers(activity, true, true);
    at(2);
    ApprovalFigures figures;
    figures.answers = tally.answered;
    figures.approvals = tally.approvals;
    figures.requests = activity->RequestCount();
    figures.min_responses = activity->MinResponses();
    if (figures.requests != 0) figures.min_approvals = MinApprovals(activity);
    const ApprovalDecision decision = DecideApproval(figures);
    ReportDecision(info().name, decision);
    at(3);
    SetTaskVariable(Must(task), "APPROVED", decision.approved());
    at(4);
    SetTaskVariable(task, "APPROVALDATE", Now());
    SetTaskVariable(task, "DETAILS", tally.details);
    if (figures.requests > 0 && decision.result() == pelmark::kResultDone)
      AuditResponse(
          services, activity, task, at, 5, {.fetch = 6, .comment = 7, .decide = 8, .write = 9},
          [&] {
            return "; Approval Request: " + Decimal(figures.requests) +
                   "; Min Approvals: " + MinApprovalsText(activity) +
                   "; User Approved:" + Decimal(figures.approvals) +
                   "; User Rejected:" + Decimal(figures.answers - figures.approvals) + ";";
          },
          [&] {
            return AuditedEvent{"approval_response",
                                EqualsFalse(TaskVariable(task, "APPROVED")) ? 5 : 4};
          });
    return decision.result();
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

// Review and ToDo complete once every task has answered.
AllAnsweredDecision DecideAllAnswered(int32_t tasks, int32_t answers) {
  const bool complete = answers >= tasks;
  return {.row = complete ? 1 : 2,
          .outcome = complete ? AllAnsweredDecision::Outcome::kComplete
                              : AllAnsweredDecision::Outcome::kStaysOpen,
          .tasks = tasks,
          .answers = answers};
}

// What Review and ToDo name differently in their audit records.
struct AllAnsweredNames {
  std::string_view step;            // "Review": the error report's and the comments' name
  std::string_view answers;         // "Reviewer Acknolegements", "Conformation"
  std::string_view request_event;   // "review_request"
  std::string_view response_event;  // "review_response"
};

// Base of Review and ToDo: the request audited when the step starts, and the
// evaluation's count, decision and closing audit.
class AllAnsweredStep : public HumanTaskStep {
 public:
  AllAnsweredStep(const ClassInfo& info, const AllAnsweredNames& names)
      : HumanTaskStep(info, names.step), names_(names) {}

 protected:
  void InitializeWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                      Line& at) override {
    at(1);
    if (!StepAuditSwitch(activity)) return;
    AuditRequest(
        services, activity, at, {.fetch = 2, .comment = 3, .write = 4},
        [&] { return RequestText(TaskCount(activity)) + ";"; }, names_.request_event);
  }

  // Counts the answered tasks (with their details when `join_details`) and
  // decides against the step's task count.
  std::pair<Tally, AllAnsweredDecision> CountAndDecide(pelmark::IActivity* activity,
                                                       bool join_details, Line& at) {
    at(1);
    Tally tally = CountAnswers(activity, false, join_details);
    at(2);
    const AllAnsweredDecision decision = DecideAllAnswered(TaskCount(activity), tally.answered);
    ReportDecision(info().name, decision);
    return {std::move(tally), decision};
  }

  // The audit of a complete step: both numbers are the answered tasks.
  void AuditCompletion(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                       pelmark::ITask* task, Line& at, int switch_at, int32_t answered) {
    AuditResponse(
        services, activity, task, at, switch_at,
        {.fetch = switch_at + 1, .comment = switch_at + 2, .write = switch_at + 3},
        [&] {
          return RequestText(answered) + "; " + std::string(names_.answers) + ": " +
                 Decimal(answered);
        },
        Always(names_.response_event));
  }

 private:
  std::string RequestText(int32_t count) const {
    return "; " + std::string(names_.step) + " Request: " + Decimal(count);
  }

  const AllAnsweredNames& names_;
};

constexpr AllAnsweredNames kReviewNames{"Review", "Reviewer Acknolegements", "review_request",
                                        "review_response"};
constexpr AllAnsweredNames kToDoNames{"ToDo", "Conformation", "todo_request", "todo_response"};

class Review final : public AllAnsweredStep {
 public:
  explicit Review(const ClassInfo& info) : AllAnsweredStep(info, kReviewNames) {}

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        RecordAnswer(services, audit(), kReviewAnswers, task, at);
    AuditAnswer(services, task, instance, at, 7, {.comment = 8, .write = 9},
                Always("review_acknowledge"));
    return pelmark::kResultDone;
  }

  int32_t EvaluateWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                       pelmark::ITask* task, Line& at) override {
    const auto [tally, decision] = CountAndDecide(activity, true, at);
    at(3);
    SetTaskVariable(Must(task), "REVIEWDATE", Now());
    SetTaskVariable(task, "DETAILS", tally.details);
    if (decision.result() == pelmark::kResultDone)
      AuditCompletion(services, activity, task, at, 4, tally.answered);
    return decision.result();
  }
};

class ToDo final : public AllAnsweredStep {
 public:
  explicit ToDo(const ClassInfo& info) : AllAnsweredStep(info, kToDoNames) {}

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    at(1);
    AuditAnswer(services, task, ProcessInstanceOf(services, task), at, 2,
                {.comment = 3, .write = 4}, Always("todo_conformed"));
    return pelmark::kResultDone;
  }

  int32_t EvaluateWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                       pelmark::ITask* task, Line& at) override {
    const auto [tally, decision] = CountAndDecide(activity, false, at);
    if (decision.result() == pelmark::kResultDone)
      AuditCompletion(services, activity, task, at, 3, tally.answered);
    return decision.result();
  }
};

}  // namespace

Activity* NewDocApproval(const ClassInfo& info) { return new DocApproval(info); }
Activity* NewReview(const ClassInfo& info) { return new Review(info); }
Activity* NewToDo(const ClassInfo& info) { return new ToDo(info); }

}  // namespace corvane
