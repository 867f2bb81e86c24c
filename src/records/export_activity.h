// ExportToFolder: makes sure a folder exists, creating each missing level, and
// has the DMS export the listed document into it when the step asks for it.
#pragma once

#include "framework/activity.h"

namespace corvane {

// Creates ExportToFolder for its catalogue row.
Activity* NewExportActivity(const ClassInfo& info);

}  // namespace corvane
