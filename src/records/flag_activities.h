// The records-management flag classes (MarkAsArchive, MarkAsRecord, MarkAsVital,
// PutOnHold, UnmarkAsVital, UnmarkAsRecord, ResetOnHold): one class driven by a
// table row that names the DMS operation and the two task variables.
#pragma once

#include "framework/activity.h"

namespace corvane {

enum class FlagClass {
  kMarkAsArchive,
  kMarkAsRecord,
  kMarkAsVital,
  kPutOnHold,
  kUnmarkAsVital,
  kUnmarkAsRecord,
  kResetOnHold,
};

// Creates the flag class `which` for its catalogue row.
Activity* NewFlagActivity(const ClassInfo& info, FlagClass which);

template <FlagClass which>
Activity* NewFlagActivity(const ClassInfo& info) {
  return NewFlagActivity(info, which);
}

}  // namespace corvane
