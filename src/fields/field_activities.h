// The twelve field-value classes: the Get, Set and Change families, each with a
// text, numeric, yes/no and date-time member. One class walks the item list and
// finds the entity whose field "FIELDNAME" addresses (field_activities.cc); what
// it does with that field is its family's action (field_action.h), chosen once
// when the class is created: Get reads the field into "VALUE" (read_field.cc),
// Set writes "VALUE" into it and Change the "FIELDVALUE" parameter
// (write_field.cc). The member says how the value is converted.
#pragma once

#include "framework/activity.h"

namespace corvane {

enum class FieldFamily { kGet, kSet, kChange };
enum class FieldMember { kText, kNumeric, kYesNo, kDateTime };

// Creates the field class of one family and member for its catalogue row.
Activity* NewFieldActivity(const ClassInfo& info, FieldFamily family, FieldMember member);

template <FieldFamily family, FieldMember member>
Activity* NewFieldActivity(const ClassInfo& info) {
  return NewFieldActivity(info, family, member);
}

}  // namespace corvane
