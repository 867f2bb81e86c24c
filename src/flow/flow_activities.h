// The flow-control classes: Wait holds a step until a due time computed from its
// parameters, EndWorkflow hands the end of the workflow instance to the DMS's job
// dispatcher. Both schedule their work as a job for the dispatcher and remember it
// in the task variable "JOBID".
#pragma once

#include "framework/activity.h"

namespace corvane {

// Each creates its class for its catalogue row; one class per file.
Activity* NewWaitActivity(const ClassInfo& info);
Activity* NewEndWorkflowActivity(const ClassInfo& info);

}  // namespace corvane
