#include "flow/flow_activities.h"
#include "flow/job_records.h"
#include "framework/com_object.h"
#include "framework/host_access.h"
#include "framework/item_list.h"

namespace corvane {
namespace {

class EndWorkflowActivity final : public Activity {
 public:
  using Activity::Activity;

 private:
  // The step never completes by itself: the dispatcher's job ends the workflow
  // instance, and "JOBID" keeps a repeated call from scheduling a second job.
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    at(1);
    pelmark::ComPtr<pelmark::IDmsService> dms = GetDmsService(services);
    if (!dms) return pelmark::kResultPending;

    if (FindScheduledJob(dms.get(), task, at, 2)) return pelmark::kResultPending;

    int32_t job_id = ScheduleJob(dms.get(), task,
                                 {.job_id = 2,
                                  .creator = JobKind::Creator::kTask,
                                  .creator_type_code = -14,
                                  .creator_display_value = true,
                                  .metadata_display_value = false,
                                  .due_time = std::nullopt},
                                 at, 4);
    at(14);
    SetTaskVariable(task, "JOBID", job_id);
    return pelmark::kResultPending;
  }
};

}  // namespace

Activity* NewEndWorkflowActivity(const ClassInfo& info) { return new EndWorkflowActivity(info); }

}  // namespace corvane
