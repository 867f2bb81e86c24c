// Signature: signs the documents of the item list for the task's assignee with
// an annotation, and audits the signature request when the step is set up.
#pragma once

#include "framework/activity.h"

namespace corvane {

// Creates Signature for its catalogue row.
Activity* NewSignatureActivity(const ClassInfo& info);

}  // namespace corvane
