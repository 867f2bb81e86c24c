// Review and ToDo: complete once every task has answered. Review records each
// answer (date, detail text, comment note); ToDo only counts confirmations.
// Both audit the request, each answer and the completion.
#include <string>
#include <string_view>
#include <utility>

#include "framework/com_object.h"
#include "framework/host_access.h"
#include "framework/variant_rules.h"
#include "shared/decision_report.h"
#include "tasks/human_task_step.h"
#include "tasks/human_tasks.h"

namespace corvane {
namespace {

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
                 std::to_string(answered);
        },
        Always(names_.response_event));
  }

 private:
  std::string RequestText(int32_t count) const {
    return "; " + std::string(names_.step) + " Request: " + std::to_string(count);
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

Activity* NewReview(const ClassInfo& info) { return new Review(info); }
Activity* NewToDo(const ClassInfo& info) { return new ToDo(info); }

}  // namespace corvane
