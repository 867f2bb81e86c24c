// The field class: Execute runs the item-list front and the walk of the list's
// kind; each walk finds, for every item, the entity "FIELDNAME" addresses and
// hands it to the family's action, then stores it when the family stores.
#include "fields/field_activities.h"

#include <string>
#include <utility>

#include "fields/field_action.h"
#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "framework/host_access.h"
#include "framework/item_list.h"
#include "framework/variant_rules.h"
#include "shared/field_addressing.h"

namespace corvane {
namespace {

using pelmark::ComPtr;
using pelmark::IEntity;
using pelmark::IEntityRef;
using pelmark::IField;
using pelmark::Variant;

constexpr int32_t kRetentionLabelTypeCode = 57;

class FieldActivity final : public Activity {
 public:
  FieldActivity(const ClassInfo& info, const FieldAction& action)
      : Activity(info), action_(action) {}

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    RunItemFront(services, task, at, [&](ItemContext& items) {
      at(8);
      if (action_.ReadProcessVariable(info().name, services, task)) return;
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

  // The loop every walk shares, inside its procedure's error report: for each
  // listed item of `kind` whose entity `fetch` finds, the field address is
  // derived afresh and `each` finds and acts on the target. `ref` is made once
  // per walk and reused.
  template <class Fetch, class Each>
  void ForEachItem(ItemKind kind_id, const XmlDocument& doc, pelmark::ITask* task, Fetch fetch,
                   Each each) {
    const ItemKindRow& kind = RowOf(kind_id);
    Reported({kPrivate, info().name, kind.procedure}, [&](Line& at) {
      at(1);
      ComPtr<IEntityRef> ref = NewEntityRef();
      FieldAddressDeriver addresses;
      ListedItems items = ListedItems::Of(doc, kind.kind);
      if (items.absent()) return;
      for (const ListedItem& item : items) {
        at(2);
        const int32_t id = item.PointAt(ref.get(), kind.kind);
        ComPtr<IEntity> entity = fetch(ref.get());
        if (!entity) continue;
        at(3);
        const FieldAddress& address = addresses.Derive(TaskParameter(task, "FIELDNAME"));
        each(at, ref.get(), id, std::move(entity), address);
      }
    });
  }

  // A document item addresses the document itself (read again as its own
  // document type) or, with any prefix but "self.", its parent data entity
  // when it has one.
  void ProcessDocument(const XmlDocument& doc, pelmark::IDmsService* dms, pelmark::ITask* task) {
    auto fetch = [&](IEntityRef* ref) { return dms->GetDocument(ref); };
    ForEachItem(
        ItemKind::kDocument, doc, task, fetch,
        [&](Line& at, IEntityRef* ref, int32_t id, ComPtr<IEntity> target,
            const FieldAddress& address) {
          if (address.own) {
            at(4);
            // A document of another document type is read again as that type.
            Variant doc_type = FieldOf(target.get(), "DocTypeCode")->Value();
            const int32_t type_code = doc_type.is_null() ? 2 : ToLong(doc_type);
            if (type_code != 2) {
              ref->SetTypeCode(SignedTypeCode(id, type_code));
              ref->SetID(id);
              target = dms->GetDocument(ref);
            }
          } else {
            at(5);
            ComPtr<IField> parent_id = FieldOf(target.get(), "ParentDataEntityObjectID");
            if (!parent_id->IsNullValue()) {
              ref->SetID(ToLong(parent_id->Value()));
              ref->SetEntityName(RowOf(ItemKind::kStack).entity_name);
              ref->SetTypeCode(ToLong(FieldOf(target.get(), "ParentDataEntityTypeCode")->Value()));
              target = dms->GetDataEntity(ref);
            }
          }
          if (!target) return;
          at(6);
          if (!action_.Act(target.get(), address.bare, FieldTarget::kDocument, task)) return;
          at(7);
          if (!action_.stores()) return;
          if (target->EntityName() == RowOf(ItemKind::kDocument).entity_name)
            dms->SaveDocument(target.get());
          else
            dms->SaveDataEntity(target.get());
        });
  }

  // A stack item addresses the stack itself or, with any prefix but "self.",
  // every document filed in it.
  void ProcessStack(const XmlDocument& doc, pelmark::IDmsService* dms, pelmark::ITask* task) {
    auto fetch = [&](IEntityRef* ref) { return dms->GetDataEntity(ref); };
    ForEachItem(ItemKind::kStack, doc, task, fetch,
                [&](Line& at, IEntityRef* ref, int32_t, ComPtr<IEntity> stack,
                    const FieldAddress& address) {
                  if (address.own) {
                    at(4);
                    if (action_.Act(stack.get(), address.bare, FieldTarget::kDataEntity, task) &&
                        action_.stores())
                      dms->SaveDataEntity(stack.get());
                    return;
                  }
                  at(5);
                  ComPtr<pelmark::IQuery> query = NewQuery();
                  query->LoadXml(StackDocumentsQuery(ref->ID(), ref->TypeCode()));
                  ComPtr<pelmark::IEntityList> documents = dms->QueryEntities(query.get());
                  if (Must(documents)->Count() < 1) return;
                  for (int32_t i = 1, n = documents->Count(); i <= n; ++i) {
                    at(6);
                    ComPtr<IEntity> found = documents->Item(i);
                    // The document type is read but the document is fetched as a plain one.
                    FieldOf(found.get(), "DocTypeCode")->Value();
                    PointAtDocument(ref, Must(found)->ID());
                    ComPtr<IEntity> document = dms->GetDocument(ref);
                    Must(document);
                    at(7);
                    if (action_.Act(document.get(), address.bare, FieldTarget::kDocument, task) &&
                        action_.stores())
                      dms->SaveDocument(document.get());
                  }
                });
  }

  // A record series item addresses the record series itself or, with "parent."
  // and an action that reaches it, its retention label; any other prefix skips
  // the item.
  void ProcessRecordSeries(const XmlDocument& doc, pelmark::IDmsService* dms,
                           pelmark::ITask* task) {
    auto fetch = [&](IEntityRef* ref) { return dms->GetRecordSeries(ref); };
    ForEachItem(ItemKind::kRecordSeries, doc, task, fetch,
                [&](Line& at, IEntityRef* ref, int32_t, ComPtr<IEntity> target,
                    const FieldAddress& address) {
                  if (!address.own) {
                    if (!action_.reaches_retention_label() || !Like(address.name, "parent.*"))
                      return;
                    at(4);
                    ref->SetID(ToLong(FieldOf(target.get(), "Retention Label")->Value()));
                    ref->SetEntityName("RetentionLabel");
                    ref->SetTypeCode(kRetentionLabelTypeCode);
                    target = dms->GetRetentionLabel(ref);
                    Must(target);
                  }
                  at(5);
                  if (!action_.Act(target.get(), address.bare, FieldTarget::kRecordSeries, task))
                    return;
                  at(6);
                  if (action_.stores()) dms->SaveRecordSeries(target.get());
                });
  }

  const FieldAction& action_;
};

const FieldAction& ActionOf(FieldFamily family, FieldMember member) {
  switch (family) {
    case FieldFamily::kGet:
      return ReadFieldAction(member);
    case FieldFamily::kSet:
      return SetFieldAction(member);
    case FieldFamily::kChange:
      break;
  }
  return ChangeFieldAction(member);
}

}  // namespace

Activity* NewFieldActivity(const ClassInfo& info, FieldFamily family, FieldMember member) {
  return new FieldActivity(info, ActionOf(family, member));
}

}  // namespace corvane
