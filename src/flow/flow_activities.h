// The flow-control classes: Wait holds a step until a due time computed from its
// parameters, EndWorkflow hands the end of the workflow instance to the DMS's job
// dispatcher. Both schedule their work as a job for the dispatcher and remember it
// in the task variable "JOBID".
#pragma once

#include "framework/activity.h"

namespace corvane {

// Creates Wait or EndWorkflow for its catalogue row; null for any other row.
Activity* CreateFlowActivity(const ClassInfo& info);

// The two classes, one per file.
Activity* NewWaitActivity(const ClassInfo& info);
Activity* NewEndWorkflowActivity(const ClassInfo& info);

}  // namespace corvane
