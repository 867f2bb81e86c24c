// The records-management flag classes (MarkAsArchive, MarkAsRecord, MarkAsVital,
// PutOnHold, UnmarkAsVital, UnmarkAsRecord, ResetOnHold): one class driven by a
// table row that names the DMS operation and the two task variables.
#pragma once

#include "framework/activity.h"

namespace corvane {

// Creates the flag class of a catalogue row; null when the row is no flag class.
Activity* CreateFlagActivity(const ClassInfo& info);

}  // namespace corvane
