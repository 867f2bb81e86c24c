#include "tasks/human_tasks.h"

#include <optional>
#include <string>

#include "framework/com_object.h"
#include "framework/host_access.h"
#include "framework/variant_rules.h"
#include "shared/audit_notes.h"
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
    at(3);
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        Must(services)->GetProcessInstance(activity->ProcessID());
    at(4);
    const std::string comment = "CaseID: " + ToText(Must(instance)->ProcessName()) +
                                "; Approval Request: " + Decimal(requests) +
                                "; Min Approvals: " + MinApprovalsText(activity);
    at(5);
    AuditEvent(audit(), services, instance.get(), comment, "approval_request", 1,
               ToText(instance->InitiatorID()));
  }

  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        RecordAnswer(services, audit(), kApprovalAnswers, task, at);
    at(7);
    if (TaskAuditSwitch(task)) {
      at(8);
      const std::string comment = "CaseID: " + ToText(Must(instance)->ProcessName()) + ";";
      at(9);
      const bool approved = ToBoolean(TaskVariable(task, "APPROVED"));
      at(10);
      AuditEvent(audit(), services, instance.get(), comment, approved ? "approved" : "rejected", 1,
                 ToText(task->ResourceID()));
    }
    return pelmark::kResultDone;
  }

  int32_t EvaluateWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                       pelmark::ITask* task, Line& at) override {
    at(1);
    const Tally tally = CountAnswers(activity, true, true);
    at(2);
    const int32_t requests = activity->RequestCount();
    const int32_t min_responses = activity->MinResponses();
    bool approved = true;
    int32_t result = pelmark::kResultDone;
    if (requests != 0) Decide(activity, requests, min_responses, tally, approved, result);
    at(3);
    SetTaskVariable(Must(task), "APPROVED", approved);
    at(4);
    SetTaskVariable(task, "APPROVALDATE", Now());
    SetTaskVariable(task, "DETAILS", tally.details);
    if (requests > 0 && result == pelmark::kResultDone) {
      at(5);
      if (!StepAuditSwitch(activity)) return result;
      at(6);
      pelmark::ComPtr<pelmark::IProcessInstance> instance =
          Must(services)->GetProcessInstance(activity->ProcessID());
      at(7);
      const std::string comment = "CaseID: " + ToText(Must(instance)->ProcessName()) +
                                  "; Approval Request: " + Decimal(requests) +
                                  "; Min Approvals: " + MinApprovalsText(activity) +
                                  "; User Approved:" + Decimal(tally.approvals) +
                                  "; User Rejected:" + Decimal(tally.answered - tally.approvals) +
                                  ";";
      at(8);
      const int32_t event_result = EqualsFalse(TaskVariable(task, "APPROVED")) ? 5 : 4;
      at(9);
      AuditEvent(audit(), services, instance.get(), comment, "approval_response", event_result, "");
    }
    return result;
  }

  // The decision table for a step with requests: the first matching row sets
  // the decision and whether the step is complete (1) or stays open (3).
  static void Decide(pelmark::IActivity* activity, int32_t requests, int32_t min_responses,
                     const Tally& tally, bool& approved, int32_t& result) {
    const double n = requests;
    const double c = tally.answered;
    const double a = tally.approvals;
    const double m = MinApprovals(activity);
    const bool still_reachable = m - a <= n - c;  // open tasks could still supply the rest
    approved = false;
    result = pelmark::kResultDone;
    if (min_responses == 0 && m == 0) {
      approved = a > 0;
    } else if (min_responses == 0 && m > 0) {
      if (a >= m)
        approved = true;
      else if (still_reachable)
        result = pelmark::kResultStaysOpen;
    } else if (c == n) {
      approved = a >= m;
    } else if (c >= min_responses) {
      if (a >= m)
        approved = true;
      else if (still_reachable)
        result = pelmark::kResultStaysOpen;
    } else {
      result = pelmark::kResultStaysOpen;
    }
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
    at(2);
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        Must(services)->GetProcessInstance(activity->ProcessID());
    at(3);
    const std::string comment = "CaseID: " + ToText(Must(instance)->ProcessName()) +
                                "; Review Request: " + Decimal(TaskCount(activity)) + ";";
    at(4);
    AuditEvent(audit(), services, instance.get(), comment, "review_request", 1,
               ToText(instance->InitiatorID()));
  }

  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        RecordAnswer(services, audit(), kReviewAnswers, task, at);
    at(7);
    if (TaskAuditSwitch(task)) {
      at(8);
      const std::string comment = "CaseID: " + ToText(Must(instance)->ProcessName()) + ";";
      at(9);
      AuditEvent(audit(), services, instance.get(), comment, "review_acknowledge", 1,
                 ToText(task->ResourceID()));
    }
    return pelmark::kResultDone;
  }

  int32_t EvaluateWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                       pelmark::ITask* task, Line& at) override {
    at(1);
    const Tally tally = CountAnswers(activity, false, true);
    at(2);
    const int32_t result =
        tally.answered >= TaskCount(activity) ? pelmark::kResultDone : pelmark::kResultStaysOpen;
    at(3);
    SetTaskVariable(Must(task), "REVIEWDATE", Now());
    SetTaskVariable(task, "DETAILS", tally.details);
    if (result != pelmark::kResultDone) return result;
    at(4);
    if (!StepAuditSwitch(activity)) return result;
    at(5);
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        Must(services)->GetProcessInstance(activity->ProcessID());
    at(6);
    const std::string comment = "CaseID: " + ToText(Must(instance)->ProcessName()) +
                                "; Review Request: " + Decimal(tally.answered) +
                                "; Reviewer Acknolegements: " + Decimal(tally.answered);
    at(7);
    AuditEvent(audit(), services, instance.get(), comment, "review_response", 1, "");
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
    at(2);
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        Must(services)->GetProcessInstance(activity->ProcessID());
    at(3);
    const std::string comment = "CaseID: " + ToText(Must(instance)->ProcessName()) +
                                "; ToDo Request: " + Decimal(TaskCount(activity)) + ";";
    at(4);
    AuditEvent(audit(), services, instance.get(), comment, "todo_request", 1,
               ToText(instance->InitiatorID()));
  }

  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    at(1);
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        Must(services)->GetProcessInstance(Must(task)->ProcessID());
    at(2);
    if (TaskAuditSwitch(task)) {
      at(3);
      const std::string comment = "CaseID: " + ToText(Must(instance)->ProcessName()) + ";";
      at(4);
      AuditEvent(audit(), services, instance.get(), comment, "todo_conformed", 1,
                 ToText(task->ResourceID()));
    }
    return pelmark::kResultDone;
  }

  int32_t EvaluateWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                       pelmark::ITask* task, Line& at) override {
    at(1);
    const Tally tally = CountAnswers(activity, false, false);
    at(2);
    if (tally.answered < TaskCount(activity)) return pelmark::kResultStaysOpen;
    at(3);
    if (!StepAuditSwitch(activity)) return pelmark::kResultDone;
    at(4);
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        Must(services)->GetProcessInstance(activity->ProcessID());
    at(5);
    const std::string comment = "CaseID: " + ToText(Must(instance)->ProcessName()) +
                                "; ToDo Request: " + Decimal(tally.answered) +
                                "; Conformation: " + Decimal(tally.answered);
    at(6);
    AuditEvent(audit(), services, instance.get(), comment, "todo_response", 1, "");
    return pelmark::kResultDone;
  }
};

}  // namespace

Activity* CreateHumanTaskActivity(const ClassInfo& info) {
  if (info.name == std::string_view("DocApproval")) return new DocApproval(info);
  if (info.name == std::string_view("Review")) return new Review(info);
  if (info.name == std::string_view("ToDo")) return new ToDo(info);
  return nullptr;
}

}  // namespace corvane
