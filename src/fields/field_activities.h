// The twelve field-value classes: the Get, Set and Change families, each with a
// text, numeric, yes/no and date-time member. One class driven by two small
// tables: the family (where the value comes from, what a missing field does)
// and the member (how the value is converted).
#pragma once

#include "framework/activity.h"

namespace corvane {

// Creates the field class of a catalogue row; null when the row is no field class.
Activity* CreateFieldActivity(const ClassInfo& info);

}  // namespace corvane
