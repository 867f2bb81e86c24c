// The twelve field-value classes: the Get, Set and Change families, each with a
// text, numeric, yes/no and date-time member. One class driven by two small
// tables: the family (where the value comes from, what a missing field does)
// and the member (how the value is converted).
#pragma once

#include "framework/activity.h"

namespace corvane {

// Get reads a field into "VALUE"; Set writes "VALUE" into it; Change writes the
// "FIELDVALUE" parameter and skips entities that lack the field.
enum class FieldFamily { kGet, kSet, kChange };
enum class FieldMember { kText, kNumeric, kYesNo, kDateTime };

// Creates the field class of one family and member for its catalogue row.
Activity* NewFieldActivity(const ClassInfo& info, FieldFamily family, FieldMember member);

template <FieldFamily family, FieldMember member>
Activity* NewFieldActivity(const ClassInfo& info) {
  return NewFieldActivity(info, family, member);
}

}  // namespace corvane
