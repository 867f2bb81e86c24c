// DocApproval: judges the approval answers against the step's minimums with
// its decision table, and audits the request, each answer and the outcome.
#include <string>

#include "framework/com_object.h"
#include "framework/host_access.h"
#include "rules/variant_rules.h"
#include "shared/decision_report.h"
#include "tasks/human_task_step.h"
#include "tasks/human_tasks.h"

namespace corvane {
namespace {

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
          return "; Approval Request: " + std::to_string(requests) +
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
            return "; Approval Request: " + std::to_string(figures.requests) +
                   "; Min Approvals: " + MinApprovalsText(activity) +
                   "; User Approved:" + std::to_string(figures.approvals) +
                   "; User Rejected:" + std::to_string(figures.answers - figures.approvals) + ";";
          },
          [&] {
            return AuditedEvent{"approval_response",
                                EqualsFalse(TaskVariable(task, "APPROVED")) ? 5 : 4};
          });
    return decision.result();
  }

  // MinApprovals is converted wherever it is compared.
  static double MinApprovals(pelmark::IActivity* activity) {
    const pelmark::Variant value(activity->MinApprovals());
    return Noted(
        [&] {
          return RaiseNote{"reading", "step", "MinApprovals", value, "as a number"};
        },
        [&] { return ToDouble(value); });
  }
  static std::string MinApprovalsText(pelmark::IActivity* activity) {
    return ToText(pelmark::Variant(activity->MinApprovals()));
  }
};

}  // namespace

Activity* NewDocApproval(const ClassInfo& info) { return new DocApproval(info); }

}  // namespace corvane
