#include "shared/decision_report.h"

#include <string>
#include <utility>
#include <vector>

#include "corvane/decisions.h"
#include "rules/raise_context.h"

namespace corvane {
namespace {

using pelmark::Variant;

// Hands the narration to the observer; builds it only when someone listens.
template <class Narrate>
void Tell(Narrate narrate) {
  if (DecisionObserver* observer = InstalledObserver()) observer->Decided(narrate());
}

Decision Evaluation(std::string_view class_name, int row, std::string outcome, int32_t result,
                    std::vector<DecisionFigure> figures) {
  return {.class_name = std::string(class_name),
          .method = "EvaluateCompositeTask",
          .row = row,
          .outcome = std::move(outcome),
          .result = result,
          .figures = std::move(figures)};
}

std::string ApprovalOutcome(ApprovalDecision::Outcome outcome) {
  switch (outcome) {
    case ApprovalDecision::Outcome::kStaysOpen:
      return "stays open";
    case ApprovalDecision::Outcome::kApproved:
      return "complete approved";
    case ApprovalDecision::Outcome::kRejected:
      return "complete rejected";
  }
  return {};
}

std::string WaitOutcome(WaitDecision::Outcome outcome) {
  switch (outcome) {
    case WaitDecision::Outcome::kNoDmsService:
      return "waits: the host offers no DmsService";
    case WaitDecision::Outcome::kDueTimeCome:
      return "complete: the due time has come";
    case WaitDecision::Outcome::kJobStartCome:
      return "complete: the job's start has come";
    case WaitDecision::Outcome::kJobStartAhead:
      return "waits: the job's start is ahead; JOBID is cleared";
    case WaitDecision::Outcome::kJobScheduled:
      return "waits: a job is scheduled for the due time";
  }
  return {};
}

// The due time's figures, then the clock, then the job that decided.
std::vector<DecisionFigure> WaitFigureList(const WaitFigures& f) {
  std::vector<DecisionFigure> out = {
      {"start", Variant::Date(f.start)},
      {"start from", f.start_from},
      {"interval", f.interval},
      {"unit code", f.unit_code},
      {"unit", f.unit.empty() ? Variant("none: the due time is now") : Variant(f.unit)},
      {"offset hours", f.offset_hours},
      {"due time", Variant::Date(f.due)},
      {"now", Variant::Date(f.now)},
  };
  if (f.job && f.job->found) {
    out.push_back({"job", "the one JOBID names"});
    out.push_back({"job start", Variant::Date(f.job->start)});
  } else if (f.job) {
    out.push_back({"job", f.job->id});
  }
  return out;
}

}  // namespace

void ReportDecision(std::string_view class_name, const ApprovalDecision& decision) {
  Tell([&] {
    const ApprovalFigures& f = decision.figures;
    return Evaluation(
        class_name, decision.row, ApprovalOutcome(decision.outcome), decision.result(),
        {{"requests", f.requests},
         {"answers", f.answers},
         {"approvals", f.approvals},
         {"rejections", f.answers - f.approvals},
         {"outstanding", f.requests - f.answers},
         {"min responses", f.min_responses},
         {"min approvals", f.min_approvals ? Variant(*f.min_approvals) : Variant::Null()}});
  });
}

void ReportDecision(std::string_view class_name, const AllAnsweredDecision& decision) {
  Tell([&] {
    const bool complete = decision.outcome == AllAnsweredDecision::Outcome::kComplete;
    return Evaluation(class_name, decision.row, complete ? "complete" : "stays open",
                      decision.result(),
                      {{"tasks", decision.tasks},
                       {"answers", decision.answers},
                       {"outstanding", decision.tasks - decision.answers}});
  });
}

void ReportDecision(std::string_view class_name, const WaitDecision& decision) {
  Tell([&] {
    return Decision{.class_name = std::string(class_name),
                    .method = "Execute",
                    .outcome = WaitOutcome(decision.outcome),
                    .result = decision.result(),
                    .figures = decision.figures ? WaitFigureList(*decision.figures)
                                                : std::vector<DecisionFigure>{}};
  });
}

}  // namespace corvane

extern "C" corvane::DecisionObserver* CorvaneSetDecisionObserver(
    corvane::DecisionObserver* observer) {
  return corvane::SetDecisionObserver(observer);
}
