// The Get family's action: the addressed field, converted by the member, into
// the task variable "VALUE"; GetFieldValue can read a process variable instead.
#include <string>

#include "fields/field_action.h"
#include "framework/com_object.h"
#include "framework/host_access.h"
#include "rules/variant_rules.h"
#include "shared/field_addressing.h"

namespace corvane {
namespace {

using pelmark::ComPtr;
using pelmark::IField;
using pelmark::Variant;

ComPtr<pelmark::IChoiceField> ChoiceOf(IField* field) {
  return QueryOrRaise<pelmark::IChoiceField>(ComPtr<IField>(field));
}

// The process variable "FIELDNAME" names, whole, by its variable type; the
// empty text when there is none or it is null.
void ProcessParameters(std::string_view class_name, pelmark::IActivityServices* services,
                       pelmark::ITask* task) {
  Reported({kPublic, class_name, ": ProcessParameters Function Ln "}, [&](Line& at) {
    at(1);
    ComPtr<pelmark::IProcessInstance> instance = ProcessInstanceOf(services, task);
    ComPtr<pelmark::IVariables> variables = Must(instance)->Variables();
    at(2);
    std::string key = ToText(TaskParameter(task, "FIELDNAME"));
    at(3);
    ComPtr<pelmark::IVariable> variable;
    if (Must(variables)->Exists(key)) {
      variable = variables->Item(Variant(key));
      if (Must(variable)->IsNull()) variable.reset();
    }
    if (!variable) {
      at(4);
      SetTaskVariable(task, "VALUE", "");
      return;
    }
    Variant value = variable->Value();
    switch (variable->VariableType()) {
      case 1:
      case 9:
        SetTaskVariable(task, "VALUE", ToText(value));
        break;
      case 2:
        SetTaskVariable(task, "VALUE", ToText(ToDouble(value)));
        break;
      case 3:
        SetTaskVariable(task, "VALUE", YesNoText(value));
        break;
      case 10:
        SetTaskVariable(task, "VALUE", ToText(ToLong(value)));
        break;
      default:
        break;
    }
  });
}

class ReadField final : public FieldAction {
 public:
  explicit ReadField(FieldMember member) : member_(member) {}

  bool Act(pelmark::IEntity* entity, const std::string& name, FieldTarget target,
           pelmark::ITask* task) const override {
    ReadInto(FieldOf(entity, name).get(), target == FieldTarget::kRecordSeries, task);
    return true;
  }

  bool stores() const override { return false; }
  bool reaches_retention_label() const override { return true; }

  // The "FIELDNAME" is matched as written, case and blanks kept.
  bool ReadProcessVariable(std::string_view class_name, pelmark::IActivityServices* services,
                           pelmark::ITask* task) const override {
    if (member_ != FieldMember::kText) return false;
    if (!Like(ToText(TaskParameter(task, "FIELDNAME")), "process.*")) return false;
    ProcessParameters(class_name, services, task);
    return true;
  }

 private:
  void ReadInto(IField* field, bool keyed_here, pelmark::ITask* task) const {
    Must(field);
    if (field->IsNullValue()) {
      SetTaskVariable(task, "VALUE", member_ == FieldMember::kText ? Variant("") : Variant::Null());
      return;
    }
    switch (member_) {
      case FieldMember::kText:
        ReadText(field, keyed_here, task);
        break;
      case FieldMember::kNumeric:
        if (keyed_here && field->DataType() == kTypeKeyed)
          SetTaskVariable(task, "VALUE", static_cast<double>(ChoiceOf(field)->KeyValue()));
        else
          SetTaskVariable(task, "VALUE", ToDouble(field->Value()));
        break;
      case FieldMember::kYesNo:
        SetTaskVariable(task, "VALUE", ToBoolean(field->Value()));
        break;
      case FieldMember::kDateTime:
        SetTaskVariable(task, "VALUE", Variant::Date(ToDate(field->Value())));
        break;
    }
  }

  // The text member goes by the field's data type; a type it does not know
  // leaves "VALUE" as it was.
  static void ReadText(IField* field, bool keyed_here, pelmark::ITask* task) {
    switch (field->DataType()) {
      case kTypeDouble:
      case kTypeDate:
      case kTypeLong:
      case kTypeText:
      case kTypeVarText:
      case kTypeLongText: {
        // A text value is written as it came, without a copy of its text.
        const Variant value = field->Value();
        if (value.is_string())
          SetTaskVariable(task, "VALUE", value);
        else
          SetTaskVariable(task, "VALUE", ToText(value));
        break;
      }
      case kTypeBoolean:
        SetTaskVariable(task, "VALUE", YesNoText(field->Value()));
        break;
      case kTypeKeyed:
        if (keyed_here) SetTaskVariable(task, "VALUE", ChoiceOf(field)->DisplayText());
        break;
      default:
        break;
    }
  }

  const FieldMember member_;
};

}  // namespace

const FieldAction& ReadFieldAction(FieldMember member) { return MemberAction<ReadField>(member); }

}  // namespace corvane
