// The Set and Change families' action: the input converted by the member and
// written into the addressed field, or Null for a blank input. Set writes the
// task variable "VALUE" and fails on an entity without the field; Change writes
// the "FIELDVALUE" parameter and leaves such an entity alone. The walk then
// stores the entity, also when nothing was written to it.
#include <string>

#include "fields/field_action.h"
#include "framework/com_object.h"
#include "framework/host_access.h"
#include "rules/error_report.h"
#include "rules/variant_rules.h"
#include "shared/field_addressing.h"

namespace corvane {
namespace {

using pelmark::ComPtr;
using pelmark::IField;
using pelmark::Variant;

// Whether the value's text is empty once spaces are trimmed; a text value is
// looked at where it stands instead of being copied twice.
bool IsBlank(const Variant& value) {
  if (!value.is_string()) return Trim(ToText(value)).empty();
  return value.string_value().find_first_not_of(' ') == std::string::npos;
}

class WriteField : public FieldAction {
 public:
  explicit WriteField(FieldMember member) : member_(member) {}

  bool Act(pelmark::IEntity* entity, const std::string& name, FieldTarget,
           pelmark::ITask* task) const override {
    ComPtr<IField> field = Lookup(entity, name);
    if (!field) return false;
    Write(field.get(), task);
    return true;
  }

  bool stores() const override { return true; }
  bool reaches_retention_label() const override { return false; }

 protected:
  // The field to write; null when the entity is to be left alone.
  virtual ComPtr<IField> Lookup(pelmark::IEntity* entity, const std::string& name) const = 0;
  // The value to write, read afresh each time it is looked at.
  virtual Variant Input(pelmark::ITask* task) const = 0;
  // What Input reads: "variable VALUE".
  virtual const char* InputName() const = 0;

 private:
  void Write(IField* field, pelmark::ITask* task) const {
    Must(field);
    if (IsBlank(Input(task))) {
      field->SetValue(Variant::Null());
      return;
    }
    switch (member_) {
      case FieldMember::kText:
        WriteText(field, task);
        break;
      case FieldMember::kNumeric:
        field->SetValue(Converted(Input(task), kAsNumber, ToDouble));
        break;
      case FieldMember::kYesNo:
        field->SetValue(Converted(Input(task), kAsYesNo, ToBoolean));
        break;
      case FieldMember::kDateTime:
        field->SetValue(Variant::Date(Converted(Input(task), kAsDate, ToDate)));
        break;
    }
  }

  static constexpr const char* kAsNumber = "as a number";
  static constexpr const char* kAsYesNo = "as a yes/no value";
  static constexpr const char* kAsDate = "as a date";

  // convert(input), whose error names the input and its value.
  template <class Result>
  Result Converted(const Variant& input, const char* as, Result (*convert)(const Variant&)) const {
    return Noted(
        [&] {
          return RaiseNote{"reading", "task", InputName(), input, as};
        },
        [&] { return convert(input); });
  }

  // The text member converts by the field's data type; a type it does not
  // know is left as it is.
  void WriteText(IField* field, pelmark::ITask* task) const {
    const int32_t data_type = field->DataType();
    Variant input = Input(task);
    switch (data_type) {
      case kTypeDouble:
        field->SetValue(Converted(input, kAsNumber, ToDouble));
        break;
      case kTypeDate:
        field->SetValue(Variant::Date(Converted(input, kAsDate, ToDate)));
        break;
      case kTypeBoolean:
        field->SetValue(Converted(input, kAsYesNo, ToBoolean));
        break;
      case kTypeLong:
        field->SetValue(Converted(input, "as a whole number", ToLong));
        break;
      case kTypeText:
      case kTypeVarText:
      case kTypeLongText:
        // A text input is written as it came, without a copy of its text.
        if (input.is_string())
          field->SetValue(input);
        else
          field->SetValue(ToText(input));
        break;
      default:
        break;
    }
  }

  const FieldMember member_;
};

class SetField final : public WriteField {
 public:
  using WriteField::WriteField;

 private:
  ComPtr<IField> Lookup(pelmark::IEntity* entity, const std::string& name) const override {
    return FieldOf(entity, name);
  }
  Variant Input(pelmark::ITask* task) const override { return TaskVariable(task, "VALUE"); }
  const char* InputName() const override { return "variable VALUE"; }
};

class ChangeField final : public WriteField {
 public:
  using WriteField::WriteField;

 private:
  // A Change step applies to whichever entities have the field.
  ComPtr<IField> Lookup(pelmark::IEntity* entity, const std::string& name) const override {
    ComPtr<IField> field;
    Suppressed([&] { field = FieldOf(entity, name); });
    return field;
  }
  Variant Input(pelmark::ITask* task) const override { return TaskParameter(task, "FIELDVALUE"); }
  const char* InputName() const override { return "parameter FIELDVALUE"; }
};

}  // namespace

const FieldAction& SetFieldAction(FieldMember member) { return MemberAction<SetField>(member); }

const FieldAction& ChangeFieldAction(FieldMember member) {
  return MemberAction<ChangeField>(member);
}

}  // namespace corvane
