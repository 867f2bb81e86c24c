// What a field class does with the one field it addressed: its family's action.
// The item walks find the entity and hand it over; everything that differs by
// family is answered here, once, by the action the class was created with.
//
// Threading: an action holds only its member and is shared, unchanged, by every
// object of its class.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fields/field_activities.h"
#include "pelmark/dms.h"
#include "pelmark/host.h"

namespace corvane {

// DMS field data types (IField.DataType) the text members know.
inline constexpr int32_t kTypeDouble = 5;
inline constexpr int32_t kTypeDate = 7;
inline constexpr int32_t kTypeBoolean = 11;
inline constexpr int32_t kTypeLong = 12;
inline constexpr int32_t kTypeText = 14;
inline constexpr int32_t kTypeKeyed = 24;  // a key with a display text (IChoiceField)
inline constexpr int32_t kTypeVarText = 200;
inline constexpr int32_t kTypeLongText = 201;

// Where the addressed entity came from: keyed fields mean something only on
// record series and their retention labels.
enum class FieldTarget { kDocument, kDataEntity, kRecordSeries };

class FieldAction {
 public:
  virtual ~FieldAction() = default;

  // Acts on the field `name` of `entity`. Returns false when the entity is to
  // be left alone (Change, on an entity that lacks the field).
  virtual bool Act(pelmark::IEntity* entity, const std::string& name, FieldTarget target,
                   pelmark::ITask* task) const = 0;

  // Whether the walk stores an entity the action has acted on (Set, Change).
  virtual bool stores() const = 0;
  // Whether a "parent." name on a record series reaches its retention label
  // (Get); otherwise every prefixed name skips a record series.
  virtual bool reaches_retention_label() const = 0;

  // Runs in place of the item walk when "FIELDNAME" names a process variable
  // ("process.*", GetFieldValue only) and returns true; the other classes read
  // nothing here and return false.
  virtual bool ReadProcessVariable(std::string_view class_name,
                                   pelmark::IActivityServices* services,
                                   pelmark::ITask* task) const {
    return false;
  }
};

// One action of type `A` for each member, made once and shared.
template <class A>
const FieldAction& MemberAction(FieldMember member) {
  static const A kActions[] = {A(FieldMember::kText), A(FieldMember::kNumeric),
                               A(FieldMember::kYesNo), A(FieldMember::kDateTime)};
  return kActions[static_cast<int>(member)];  // in FieldMember's order
}

// The families' actions for each member.
const FieldAction& ReadFieldAction(FieldMember member);    // Get
const FieldAction& SetFieldAction(FieldMember member);     // Set
const FieldAction& ChangeFieldAction(FieldMember member);  // Change

}  // namespace corvane
