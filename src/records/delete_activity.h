// Delete: deletes every item of the item list, stopping at the first failure.
#pragma once

#include "framework/activity.h"

namespace corvane {

// Creates Delete for its catalogue row; null for any other row.
Activity* CreateDeleteActivity(const ClassInfo& info);

}  // namespace corvane
