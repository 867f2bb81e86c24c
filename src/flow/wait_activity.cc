// Wait: holds a step until a due time worked out from its parameters. Each call
// reads the figures (the due time, the clock and, while the due time is ahead,
// the job that decides), decides with DecideWait and applies the decision.
#include <optional>
#include <string_view>
#include <utility>

#include "flow/flow_activities.h"
#include "flow/job_records.h"
#include "framework/com_object.h"
#include "framework/host_access.h"
#include "framework/item_list.h"
#include "framework/variant_rules.h"
#include "shared/decision_report.h"

namespace corvane {
namespace {

using pelmark::ComPtr;
using pelmark::Variant;

// The date-arithmetic interval of each "INTERVAL_TYPE" code 1 to 7.
constexpr std::string_view kIntervalNames[] = {"yyyy", "m", "ww", "d", "h", "n", "s"};

double CurrentTime() { return ToDate(Now()); }

// "STARTING_FROM" as a date, or nothing when the designer left it out: a null
// parameter, an empty value or the zero date all mean "from the task's day".
std::optional<double> StartingFrom(pelmark::ITask* task) {
  ComPtr<pelmark::IParameters> parameters = Must(task)->Parameters();
  ComPtr<pelmark::IParameter> parameter = Must(parameters)->Item("STARTING_FROM");
  if (Must(parameter)->IsNull()) return std::nullopt;
  Variant value = parameter->Value();
  if (value.is_null() || value.is_empty()) return std::nullopt;
  double date = ToDate(value);
  if (date == 0) return std::nullopt;
  return date;
}

// The interval code: a numeric "INTERVAL_TYPE" is the code itself, any other text
// is a unit name the DMS translates.
int32_t IntervalTypeCode(pelmark::IDmsService* dms, pelmark::ITask* task) {
  Variant text(ToText(TaskParameter(task, "INTERVAL_TYPE")));
  if (IsNumeric(text)) return ToLong(text);
  return Must(dms)->GetIntervalTypeCode(text.string_value());
}

// The due time: the base ("STARTING_FROM", else the earlier of the task's day
// and now), plus "INTERVAL" units of "INTERVAL_TYPE" (none: now), plus "OFFSET"
// hours. Each read and sum stands under its own statement number.
WaitFigures DueTime(pelmark::IDmsService* dms, pelmark::ITask* task, Line& at) {
  WaitFigures f;
  at(2);
  std::optional<double> starting_from = StartingFrom(task);
  at(3);
  if (starting_from) {
    f.start = *starting_from;
    f.start_from = "STARTING_FROM";
  } else {
    // The task's date is a day number; a task from an earlier day waits from
    // that day's midnight.
    double now = CurrentTime();
    double task_day = WholeDay(ToDate(Must(task)->TaskDate()));
    f.start = task_day < now ? task_day : now;
    f.start_from = task_day < now ? "the task's day" : "now";
  }
  at(4);
  f.interval = ToLong(TaskParameter(task, "INTERVAL"));
  at(5);
  f.unit_code = IntervalTypeCode(dms, task);
  at(6);
  if (f.unit_code >= 1 && f.unit_code <= 7) f.unit = kIntervalNames[f.unit_code - 1];
  f.due = f.unit.empty() ? CurrentTime() : DateAdd(f.unit, f.interval, f.start);
  at(7);
  f.offset_hours = ToLong(TaskParameter(task, "OFFSET"));
  f.due = DateAdd("h", f.offset_hours, f.due);
  return f;
}

// The job that decides while the due time is ahead: the one an earlier call
// scheduled, by its start time, or else a new one scheduled for the due time.
WaitJob CheckJob(pelmark::IDmsService* dms, pelmark::ITask* task, double due, Line& at) {
  ComPtr<pelmark::IEntity> job = FindScheduledJob(dms, task, at, 9);
  if (!job)
    return {.id = ScheduleJob(dms, task,
                              {.job_id = 4,
                               .creator = JobKind::Creator::kProcess,
                               .creator_type_code = -11,
                               .creator_display_value = false,
                               .metadata_display_value = true,
                               .due_time = due},
                              at, 12)};
  at(11);
  ComPtr<pelmark::IFields> fields = job->Fields();
  ComPtr<pelmark::IField> start = Must(fields)->Item("Start Date");
  WaitJob found{.found = true, .start = ToDate(Must(start)->Value())};
  found.checked_at = CurrentTime();
  return found;
}

// The decision from the figures: without a DMS the step waits; a due time that
// has come completes it; otherwise the job decides. A found job decides by its
// own start and is then forgotten, so a later call that is still early
// schedules afresh. REQUIRES: figures with a due time ahead carry the job.
WaitDecision DecideWait(std::optional<WaitFigures> figures) {
  using Outcome = WaitDecision::Outcome;
  if (!figures) return {Outcome::kNoDmsService, std::nullopt};
  const WaitFigures& f = *figures;
  Outcome outcome;
  if (f.DueTimeHasCome())
    outcome = Outcome::kDueTimeCome;
  else if (!f.job->found)
    outcome = Outcome::kJobScheduled;
  else if (f.job->checked_at >= f.job->start)
    outcome = Outcome::kJobStartCome;
  else
    outcome = Outcome::kJobStartAhead;
  return {outcome, std::move(figures)};
}

class WaitActivity final : public Activity {
 public:
  using Activity::Activity;

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    at(1);
    ComPtr<pelmark::IDmsService> dms = GetDmsService(services);
    if (!dms) return Apply(task, DecideWait(std::nullopt), at);
    WaitFigures figures = DueTime(dms.get(), task, at);
    at(8);
    figures.now = CurrentTime();
    if (!figures.DueTimeHasCome()) figures.job = CheckJob(dms.get(), task, figures.due, at);
    return Apply(task, DecideWait(std::move(figures)), at);
  }

  // Writes "JOBID" once a job was looked at, tells the observer, and returns
  // the decision's result.
  int32_t Apply(pelmark::ITask* task, const WaitDecision& decision, Line& at) {
    if (std::optional<int32_t> job_id = decision.job_id()) {
      at(22);
      SetTaskVariable(task, "JOBID", *job_id);
    }
    ReportDecision(info().name, decision);
    return decision.result();
  }
};

}  // namespace

Activity* NewWaitActivity(const ClassInfo& info) { return new WaitActivity(info); }

}  // namespace corvane
