#include <optional>
#include <string>
#include <string_view>

#include "flow/flow_activities.h"
#include "flow/job_records.h"
#include "framework/com_object.h"
#include "framework/host_access.h"
#include "framework/item_list.h"
#include "framework/variant_rules.h"

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

class WaitActivity final : public Activity {
 public:
  using Activity::Activity;

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    at(1);
    ComPtr<pelmark::IDmsService> dms = GetDmsService(services);
    if (!dms) return pelmark::kResultPending;

    at(2);
    std::optional<double> starting_from = StartingFrom(task);
    at(3);
    double base;
    if (starting_from) {
      base = *starting_from;
    } else {
      // The task's date is a day number; a task from an earlier day waits from
      // that day's midnight.
      double now = CurrentTime();
      double task_day = WholeDay(ToDate(Must(task)->TaskDate()));
      base = task_day < now ? task_day : now;
    }

    at(4);
    int32_t interval = ToLong(TaskParameter(task, "INTERVAL"));
    at(5);
    int32_t code = IntervalTypeCode(dms.get(), task);
    at(6);
    double due =
        code >= 1 && code <= 7 ? DateAdd(kIntervalNames[code - 1], interval, base) : CurrentTime();
    at(7);
    int32_t offset = ToLong(TaskParameter(task, "OFFSET"));
    due = DateAdd("h", offset, due);

    at(8);
    if (CurrentTime() >= due) return pelmark::kResultDone;

    // A job scheduled by an earlier call decides by its own start time; the job
    // is then forgotten, so a later call that is still early schedules afresh.
    ComPtr<pelmark::IEntity> job = FindScheduledJob(dms.get(), task, at, 9);
    bool reached = false;
    int32_t job_id = 0;
    if (job) {
      at(11);
      ComPtr<pelmark::IFields> fields = job->Fields();
      ComPtr<pelmark::IField> start = Must(fields)->Item("Start Date");
      reached = CurrentTime() >= ToDate(Must(start)->Value());
    } else {
      job_id = ScheduleJob(dms.get(), task,
                           {.job_id = 4,
                            .creator = JobKind::Creator::kProcess,
                            .creator_type_code = -11,
                            .creator_display_value = false,
                            .metadata_display_value = true,
                            .due_time = due},
                           at, 12);
    }
    at(22);
    SetTaskVariable(task, "JOBID", job_id);
    return reached ? pelmark::kResultDone : pelmark::kResultPending;
  }
};

}  // namespace

Activity* NewWaitActivity(const ClassInfo& info) { return new WaitActivity(info); }

}  // namespace corvane
