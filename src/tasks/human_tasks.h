// The human-task steps: DocApproval judges approval answers against a minimum,
// Review waits for every reviewer's acknowledgement, ToDo for every
// confirmation. Each writes audit records when the step starts, as answers come
// in and when it completes; the approval and review steps also stamp the answer
// date, render the task's detail text from its template and store comments as
// notes. doc_approval.cc and review_todo.cc hold the classes, human_task_step.h
// the frame they share.
#pragma once

#include "framework/activity.h"

namespace corvane {

// Each creates its class for its catalogue row.
Activity* NewDocApproval(const ClassInfo& info);
Activity* NewReview(const ClassInfo& info);
Activity* NewToDo(const ClassInfo& info);

}  // namespace corvane
