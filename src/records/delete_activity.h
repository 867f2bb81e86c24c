// Delete: deletes every item of the item list, stopping at the first failure.
#pragma once

#include "framework/activity.h"

namespace corvane {

// Creates Delete for its catalogue row.
Activity* NewDeleteActivity(const ClassInfo& info);

}  // namespace corvane
