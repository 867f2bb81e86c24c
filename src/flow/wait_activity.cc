#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "corvane/platform.h"
#include "flow/flow_activities.h"
#include "flow/job_records.h"
#include "framework/com_object.h"
#include "framework/host_access.h"
#include "framework/item_list.h"
#include "rules/variant_rules.h"

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

// Tells the platform how a call decided: the figures of the due time, then the
// job that decides while the due time is ahead.
void ExplainWait(std::string outcome, int32_t result, std::vector<DecisionFigure> figures) {
  Platform().ExplainDecision({.class_name = "Wait",
                              .method = "Execute",
                              .outcome = std::move(outcome),
                              .result = result,
                              .figures = std::move(figures)});
}

class WaitActivity final : public Activity {
 public:
  using Activity::Activity;

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    at(1);
    ComPtr<pelmark::IDmsService> dms = GetDmsService(services);
    if (!dms) {
      ExplainWait("waits: the host offers no DmsService", pelmark::kResultPending, {});
      return pelmark::kResultPending;
    }

    at(2);
    std::optional<double> starting_from = StartingFrom(task);
    at(3);
    double base;
    std::string_view base_from = "STARTING_FROM";
    if (starting_from) {
      base = *starting_from;
    } else {
      // The task's date is a day number; a task from an earlier day waits from
      // that day's midnight.
      double now = CurrentTime();
      double task_day = WholeDay(ToDate(Must(task)->TaskDate()));
      base = task_day < now ? task_day : now;
      base_from = task_day < now ? "the task's day" : "now";
    }

    at(4);
    int32_t interval = ToLong(TaskParameter(task, "INTERVAL"));
    at(5);
    int32_t code = IntervalTypeCode(dms.get(), task);
    at(6);
    const bool known_unit = code >= 1 && code <= 7;
    double due = known_unit ? DateAdd(kIntervalNames[code - 1], interval, base) : CurrentTime();
    at(7);
    int32_t offset = ToLong(TaskParameter(task, "OFFSET"));
    due = DateAdd("h", offset, due);

    std::vector<DecisionFigure> figures = {
        {"start", Variant::Date(base)},
        {"start from", std::string(base_from)},
        {"interval", interval},
        {"unit code", code},
        {"unit", known_unit ? std::string(kIntervalNames[code - 1])
                            : std::string("none: the due time is now")},
        {"offset hours", offset},
        {"due time", Variant::Date(due)},
    };
    at(8);
    const double now = CurrentTime();
    figures.push_back({"now", Variant::Date(now)});
    if (now >= due) {
      ExplainWait("complete: the due time has come", pelmark::kResultDone, std::move(figures));
      return pelmark::kResultDone;
    }

    // A job scheduled by an earlier call decides by its own start time; the job
    // is then forgotten, so a later call that is still early schedules afresh.
    ComPtr<pelmark::IEntity> job = FindScheduledJob(dms.get(), task, at, 9);
    bool reached = false;
    int32_t job_id = 0;
    if (job) {
      at(11);
      ComPtr<pelmark::IFields> fields = job->Fields();
      ComPtr<pelmark::IField> start = Must(fields)->Item("Start Date");
      const double job_start = ToDate(Must(start)->Value());
      const double checked_at = CurrentTime();
      reached = checked_at >= job_start;
      figures.push_back({"job", "the one JOBID names"});
      figures.push_back({"job start", Variant::Date(job_start)});
    } else {
      job_id = ScheduleJob(dms.get(), task,
                           {.job_id = 4,
                            .creator = JobKind::Creator::kProcess,
                            .creator_type_code = -11,
                            .creator_display_value = false,
                            .metadata_display_value = true,
                            .due_time = due},
                           at, 12);
      figures.push_back({"job", job_id});
    }
    at(22);
    SetTaskVariable(task, "JOBID", job_id);
    const int32_t result = reached ? pelmark::kResultDone : pelmark::kResultPending;
    ExplainWait(job ? (reached ? "complete: the job's start has come"
                               : "waits: the job's start is ahead; JOBID is cleared")
                    : "waits: a job is scheduled for the due time",
                result, std::move(figures));
    return result;
  }
};

}  // namespace

Activity* NewWaitActivity(const ClassInfo& info) { return new WaitActivity(info); }

}  // namespace corvane
