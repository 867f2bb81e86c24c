// The scheduled job that brings a workflow back to a task: a "JobMetadata" record
// naming the workflow dispatcher and the task, and a "Job" record carrying the
// schedule, both stored with IDmsService.AddEntity. Wait and EndWorkflow differ
// only in the values a JobKind holds.
//
// These procedures have no error report of their own: a failure passes to the
// caller's Execute, whose report names the statement in `at`.
#pragma once

#include <cstdint>
#include <optional>

#include "pelmark/dms.h"
#include "pelmark/host.h"
#include "rules/error_report.h"

namespace corvane {

// What distinguishes one kind of scheduled job from another.
struct JobKind {
  // "Job Id" of the metadata: the dispatcher's action (4 wakes the task, 2 ends
  // the workflow instance).
  int32_t job_id;
  // The "CreatorObject" lookup: the process id (Wait) or the task id (EndWorkflow).
  enum class Creator { kProcess, kTask } creator;
  int32_t creator_type_code;
  // Whether the "CreatorObject" and "JobMetadata" lookups get an empty DisplayValue.
  bool creator_display_value;
  bool metadata_display_value;
  // "Start Date"; "End Date" is ten days later. Without a due time the clock is
  // read as each of the two fields is set.
  std::optional<double> due_time;
};

// The job named by the task variable "JOBID", or null when the variable is null
// or 0 or the job no longer exists. Statements are numbered `first` and `first + 1`.
pelmark::ComPtr<pelmark::IEntity> FindScheduledJob(pelmark::IDmsService* dms, pelmark::ITask* task,
                                                   Line& at, int32_t first);

// Creates and stores the "JobMetadata" record, then the "Job" record that refers
// to it; returns the id of the stored job. Statements are numbered from `first`
// (at most ten of them).
int32_t ScheduleJob(pelmark::IDmsService* dms, pelmark::ITask* task, const JobKind& kind, Line& at,
                    int32_t first);

}  // namespace corvane
