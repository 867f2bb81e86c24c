#include "fields/field_activities.h"

#include <string>

#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "framework/host_access.h"
#include "framework/item_list.h"
#include "rules/variant_rules.h"
#include "shared/field_addressing.h"

namespace corvane {
namespace {

using pelmark::ComPtr;
using pelmark::IEntity;
using pelmark::IEntityRef;
using pelmark::IField;
using pelmark::Variant;

using Family = FieldFamily;
using Member = FieldMember;

struct FieldClassRow {
  Family family;
  Member member;
};

// DMS field data types the text members know.
constexpr int32_t kTypeDouble = 5;
constexpr int32_t kTypeDate = 7;
constexpr int32_t kTypeBoolean = 11;
constexpr int32_t kTypeLong = 12;
constexpr int32_t kTypeText = 14;
constexpr int32_t kTypeKeyed = 24;
constexpr int32_t kTypeVarText = 200;
constexpr int32_t kTypeLongText = 201;
constexpr int32_t kRetentionLabelTypeCode = 57;

// Where the addressed entity came from: keyed fields mean something only on
// record series and their retention labels.
enum class Target { kDocument, kDataEntity, kRecordSeries };

class FieldActivity final : public Activity {
 public:
  FieldActivity(const ClassInfo& info, const FieldClassRow& row) : Activity(info), row_(row) {}

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    RunItemFront(services, task, at, [&](ItemContext& items) {
      at(8);
      if (row_.family == Family::kGet && row_.member == Member::kText &&
          Like(ToText(TaskParameter(task, "FIELDNAME")), "process.*")) {
        ProcessParameters(services, task);
        return;
      }
      switch (items.item_kind) {
        case ItemKind::kDocument:
          ProcessDocument(items.doc, items.dms, task);
          break;
        case ItemKind::kStack:
          ProcessStack(items.doc, items.dms, task);
          break;
        case ItemKind::kRecordSeries:
          ProcessRecordSeries(items.doc, items.dms, task);
          break;
        case ItemKind::kOther:
          break;
      }
    });
    return pelmark::kResultDone;
  }

  // --- The per-kind walks -------------------------------------------------

  void ProcessDocument(const XmlDocument& doc, pelmark::IDmsService* dms, pelmark::ITask* task) {
    const ItemKindRow& kind = RowOf(ItemKind::kDocument);
    Reported({kPrivate, info().name, kind.procedure}, [&](Line& at) {
      at(1);
      ComPtr<IEntityRef> ref = NewEntityRef();
      FieldAddressDeriver addresses;
      ListedItems items = ListedItems::Of(doc, kind.kind);
      if (items.absent()) return;
      for (const ListedItem& item : items) {
        at(2);
        const int32_t id = item.PointAt(ref.get(), kind.kind);
        ComPtr<IEntity> target = dms->GetDocument(ref.get());
        if (!target) continue;
        at(3);
        const FieldAddress& address = addresses.Derive(TaskParameter(task, "FIELDNAME"));
        if (address.own) {
          at(4);
          // A document of another document type is read again as that type.
          Variant doc_type = FieldOf(target.get(), "DocTypeCode")->Value();
          if (!doc_type.is_null()) {
            int32_t type_code = ToLong(doc_type);
            if (type_code != 2) {
              ref->SetTypeCode(SignedTypeCode(id, type_code));
              ref->SetID(id);
              target = dms->GetDocument(ref.get());
              if (!target) continue;
            }
          }
        } else {
          at(5);
          ComPtr<IField> parent_id = FieldOf(target.get(), "ParentDataEntityObjectID");
          if (!parent_id->IsNullValue()) {
            ref->SetID(ToLong(parent_id->Value()));
            ref->SetEntityName(RowOf(ItemKind::kStack).entity_name);
            ref->SetTypeCode(ToLong(FieldOf(target.get(), "ParentDataEntityTypeCode")->Value()));
            target = dms->GetDataEntity(ref.get());
            if (!target) continue;
          }
        }
        at(6);
        if (!Act(target.get(), address.bare, Target::kDocument, task)) continue;
        at(7);
        if (row_.family == Family::kGet) continue;
        if (target->EntityName() == RowOf(ItemKind::kDocument).entity_name)
          dms->SaveDocument(target.get());
        else
          dms->SaveDataEntity(target.get());
      }
    });
  }

  void ProcessRecordSeries(const XmlDocument& doc, pelmark::IDmsService* dms,
                           pelmark::ITask* task) {
    const ItemKindRow& kind = RowOf(ItemKind::kRecordSeries);
    Reported({kPrivate, info().name, kind.procedure}, [&](Line& at) {
      at(1);
      ComPtr<IEntityRef> ref = NewEntityRef();
      FieldAddressDeriver addresses;
      ListedItems items = ListedItems::Of(doc, kind.kind);
      if (items.absent()) return;
      for (const ListedItem& item : items) {
        at(2);
        item.PointAt(ref.get(), kind.kind);
        ComPtr<IEntity> target = dms->GetRecordSeries(ref.get());
        if (!target) continue;
        at(3);
        const FieldAddress& address = addresses.Derive(TaskParameter(task, "FIELDNAME"));
        if (!address.own) {
          // Only the Get family reaches the retention label; no other prefix means anything.
          if (row_.family != Family::kGet || !Like(address.name, "parent.*")) continue;
          at(4);
          ref->SetID(ToLong(FieldOf(target.get(), "Retention Label")->Value()));
          ref->SetEntityName("RetentionLabel");
          ref->SetTypeCode(kRetentionLabelTypeCode);
          target = dms->GetRetentionLabel(ref.get());
          Must(target);
        }
        at(5);
        if (!Act(target.get(), address.bare, Target::kRecordSeries, task)) continue;
        at(6);
        if (row_.family != Family::kGet) dms->SaveRecordSeries(target.get());
      }
    });
  }

  void ProcessStack(const XmlDocument& doc, pelmark::IDmsService* dms, pelmark::ITask* task) {
    const ItemKindRow& kind = RowOf(ItemKind::kStack);
    Reported({kPrivate, info().name, kind.procedure}, [&](Line& at) {
      at(1);
      ComPtr<IEntityRef> ref = NewEntityRef();
      FieldAddressDeriver addresses;
      ListedItems items = ListedItems::Of(doc, kind.kind);
      if (items.absent()) return;
      for (const ListedItem& item : items) {
        at(2);
        item.PointAt(ref.get(), kind.kind);
        ComPtr<IEntity> stack = dms->GetDataEntity(ref.get());
        if (!stack) continue;
        at(3);
        const FieldAddress& address = addresses.Derive(TaskParameter(task, "FIELDNAME"));
        if (address.own) {
          at(4);
          if (Act(stack.get(), address.bare, Target::kDataEntity, task) &&
              row_.family != Family::kGet)
            dms->SaveDataEntity(stack.get());
          continue;
        }
        at(5);
        ComPtr<pelmark::IQuery> query = NewQuery();
        query->LoadXml(StackDocumentsQuery(ref->ID(), ref->TypeCode()));
        ComPtr<pelmark::IEntityList> documents = dms->QueryEntities(query.get());
        if (Must(documents)->Count() < 1) continue;
        for (int32_t i = 1, n = documents->Count(); i <= n; ++i) {
          at(6);
          ComPtr<IEntity> found = documents->Item(i);
          // The document type is read but the document is fetched as a plain one.
          FieldOf(found.get(), "DocTypeCode")->Value();
          PointAtDocument(ref.get(), Must(found)->ID());
          ComPtr<IEntity> document = dms->GetDocument(ref.get());
          Must(document);
          at(7);
          if (Act(document.get(), address.bare, Target::kDocument, task) &&
              row_.family != Family::kGet)
            dms->SaveDocument(document.get());
        }
      }
    });
  }

  // --- The family's action on one addressed field -------------------------

  // Returns false when the entity is to be left alone (Change on a missing field).
  bool Act(IEntity* entity, const std::string& field_name, Target target, pelmark::ITask* task) {
    if (row_.family == Family::kGet) {
      ReadInto(FieldOf(entity, field_name).get(), target, task);
      return true;
    }
    ComPtr<IField> field;
    if (row_.family == Family::kSet) {
      field = FieldOf(entity, field_name);
    } else {
      // A Change step applies to whichever entities have the field.
      Suppressed([&] { field = FieldOf(entity, field_name); });
      if (!field) return false;
    }
    Write(field.get(), task);
    return true;
  }

  Variant Input(pelmark::ITask* task) const {
    return row_.family == Family::kSet ? TaskVariable(task, "VALUE")
                                       : TaskParameter(task, "FIELDVALUE");
  }

  // Whether the value's text is empty once spaces are trimmed; a text value is
  // looked at where it stands instead of being copied twice.
  static bool IsBlank(const Variant& value) {
    if (!value.is_string()) return Trim(ToText(value)).empty();
    return value.string_value().find_first_not_of(' ') == std::string::npos;
  }

  void Write(IField* field, pelmark::ITask* task) {
    Must(field);
    if (IsBlank(Input(task))) {
      field->SetValue(Variant::Null());
      return;
    }
    switch (row_.member) {
      case Member::kText: {
        int32_t data_type = field->DataType();
        Variant input = Input(task);
        switch (data_type) {
          case kTypeDouble:
            field->SetValue(ToDouble(input));
            break;
          case kTypeDate:
            field->SetValue(Variant::Date(ToDate(input)));
            break;
          case kTypeBoolean:
            field->SetValue(ToBoolean(input));
            break;
          case kTypeLong:
            field->SetValue(ToLong(input));
            break;
          case kTypeText:
          case kTypeVarText:
          case kTypeLongText:
            field->SetValue(ToText(input));
            break;
          default:
            break;  // unknown kinds are left as they are
        }
        break;
      }
      case Member::kNumeric:
        field->SetValue(ToDouble(Input(task)));
        break;
      case Member::kYesNo:
        field->SetValue(ToBoolean(Input(task)));
        break;
      case Member::kDateTime:
        field->SetValue(Variant::Date(ToDate(Input(task))));
        break;
    }
  }

  void ReadInto(IField* field, Target target, pelmark::ITask* task) {
    Must(field);
    if (field->IsNullValue()) {
      SetTaskVariable(task, "VALUE", row_.member == Member::kText ? Variant("") : Variant::Null());
      return;
    }
    const bool keyed_here = target == Target::kRecordSeries;
    switch (row_.member) {
      case Member::kText: {
        int32_t data_type = field->DataType();
        switch (data_type) {
          case kTypeDouble:
          case kTypeDate:
          case kTypeLong:
          case kTypeText:
          case kTypeVarText:
          case kTypeLongText:
            SetTaskVariable(task, "VALUE", ToText(field->Value()));
            break;
          case kTypeBoolean:
            SetTaskVariable(task, "VALUE", YesNoText(field->Value()));
            break;
          case kTypeKeyed:
            if (keyed_here) SetTaskVariable(task, "VALUE", ChoiceOf(field)->DisplayText());
            break;
          default:
            break;  // "VALUE" keeps what it held
        }
        break;
      }
      case Member::kNumeric:
        if (keyed_here && field->DataType() == kTypeKeyed)
          SetTaskVariable(task, "VALUE", static_cast<double>(ChoiceOf(field)->KeyValue()));
        else
          SetTaskVariable(task, "VALUE", ToDouble(field->Value()));
        break;
      case Member::kYesNo:
        SetTaskVariable(task, "VALUE", ToBoolean(field->Value()));
        break;
      case Member::kDateTime:
        SetTaskVariable(task, "VALUE", Variant::Date(ToDate(field->Value())));
        break;
    }
  }

  static ComPtr<pelmark::IChoiceField> ChoiceOf(IField* field) {
    return QueryOrRaise<pelmark::IChoiceField>(ComPtr<IField>(field));
  }

  // --- Process variables (GetFieldValue) ----------------------------------

  void ProcessParameters(pelmark::IActivityServices* services, pelmark::ITask* task) {
    Reported({kPublic, info().name, ": ProcessParameters Function Ln "}, [&](Line& at) {
      at(1);
      ComPtr<pelmark::IProcessInstance> instance =
          Must(services)->GetProcessInstance(Must(task)->ProcessID());
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

  const FieldClassRow row_;
};

}  // namespace

Activity* NewFieldActivity(const ClassInfo& info, FieldFamily family, FieldMember member) {
  return new FieldActivity(info, FieldClassRow{family, member});
}

}  // namespace corvane
