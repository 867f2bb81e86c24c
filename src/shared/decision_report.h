// The decisions of the classes that decide, as values, and the one reporter that
// narrates them for designers. A class reads its figures from the host, decides
// with a pure function that returns one of these records, applies the record
// (variables, audit, result) and hands it to ReportDecision, which tells the
// installed corvane::DecisionObserver the outcome in words and the named figures.
//
// Typical usage (inside Review's evaluation):
//   const AllAnsweredDecision decision = DecideAllAnswered(tasks, tally.answered);
//   ReportDecision(info().name, decision);
//   return decision.result();
//
// Threading: records are plain values; ReportDecision runs on the caller's
// thread and reads the installed observer once.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "pelmark/host.h"

namespace corvane {

// --- DocApproval's evaluation -------------------------------------------------

// What an approval evaluation counted and read, by the letters of its decision
// table. MinApprovals is read only when there are requests.
struct ApprovalFigures {
  int32_t answers = 0;                  // C: answered tasks
  int32_t approvals = 0;                // A: answered tasks whose "APPROVED" equals True
  int32_t requests = 0;                 // N: RequestCount
  int32_t min_responses = 0;            // T: MinResponses
  std::optional<double> min_approvals;  // M: MinApprovals
};

struct ApprovalDecision {
  enum class Outcome { kStaysOpen, kApproved, kRejected };

  int row = 1;  // the decision table's first row that held
  Outcome outcome = Outcome::kApproved;
  ApprovalFigures figures;

  // What "APPROVED" becomes: an open step is not approved.
  bool approved() const { return outcome == Outcome::kApproved; }
  int32_t result() const {
    return outcome == Outcome::kStaysOpen ? pelmark::kResultStaysOpen : pelmark::kResultDone;
  }
};

// --- Review's and ToDo's evaluations ------------------------------------------

// Complete (row 1) once every task has answered, open (row 2) until then.
struct AllAnsweredDecision {
  enum class Outcome { kComplete, kStaysOpen };

  int row = 1;
  Outcome outcome = Outcome::kComplete;
  int32_t tasks = 0;    // Tasks.Count
  int32_t answers = 0;  // answered tasks

  int32_t result() const {
    return outcome == Outcome::kComplete ? pelmark::kResultDone : pelmark::kResultStaysOpen;
  }
};

// --- Wait's Execute -----------------------------------------------------------

// The job that decides while the due time is ahead: the one "JOBID" names, by
// its start, or else one scheduled for the due time.
struct WaitJob {
  bool found = false;
  double start = 0;       // found: its "Start Date"
  double checked_at = 0;  // found: the clock compared with its start
  int32_t id = 0;         // scheduled: the new job's id
};

// What a wait worked out: the due time, how it came about and the clock.
struct WaitFigures {
  double start = 0;             // the base the interval is added to
  std::string_view start_from;  // "STARTING_FROM", "the task's day" or "now"
  int32_t interval = 0;
  int32_t unit_code = 0;
  std::string_view unit;  // the interval's name ("d"); empty when the code names none
  int32_t offset_hours = 0;
  double due = 0;
  double now = 0;
  std::optional<WaitJob> job;  // looked at only while the due time is ahead

  bool DueTimeHasCome() const { return now >= due; }
};

struct WaitDecision {
  enum class Outcome { kNoDmsService, kDueTimeCome, kJobStartCome, kJobStartAhead, kJobScheduled };

  Outcome outcome = Outcome::kNoDmsService;
  std::optional<WaitFigures> figures;  // none when the host offers no DMS

  int32_t result() const {
    return outcome == Outcome::kDueTimeCome || outcome == Outcome::kJobStartCome
               ? pelmark::kResultDone
               : pelmark::kResultPending;
  }
  // What "JOBID" becomes: the scheduled job, or 0 once a found job has decided;
  // nothing when no job was looked at.
  std::optional<int32_t> job_id() const {
    if (!figures || !figures->job) return std::nullopt;
    return figures->job->found ? 0 : figures->job->id;
  }
};

// --- The reporter ---------------------------------------------------------------

// Tells the installed observer, if any, what `class_name` decided: the outcome
// in words, the result and the named figures in the order they were decided.
void ReportDecision(std::string_view class_name, const ApprovalDecision& decision);
void ReportDecision(std::string_view class_name, const AllAnsweredDecision& decision);
void ReportDecision(std::string_view class_name, const WaitDecision& decision);

}  // namespace corvane
