#include "docops/docops_activities.h"

#include <string>
#include <vector>

#include "docops/annotation.h"
#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "framework/host_access.h"
#include "framework/item_list.h"
#include "framework/variant_rules.h"
#include "shared/field_addressing.h"
#include "shared/item_refs.h"
#include "shared/resource_list.h"

namespace corvane {
namespace {

using pelmark::ComPtr;
using pelmark::IEntity;
using pelmark::IEntityRef;
using pelmark::Variant;

constexpr int32_t kUserTypeCode = 18;
constexpr int32_t kGroupTypeCode = 31;
constexpr int32_t kAceTypeCode = 45;
constexpr int32_t kMajorVersion = 0;
constexpr int32_t kMinorVersion = 1;

// A class whose whole step is one walk of the listed items, from the item front.
using ItemWalk = void (*)(std::string_view class_name, ItemContext& items,
                          pelmark::IActivityServices* services, pelmark::ITask* task);

template <ItemWalk kWalk>
class ItemWalkActivity final : public Activity {
 public:
  using Activity::Activity;

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    RunItemFront(services, task, at, [&](ItemContext& items) {
      at(8);
      kWalk(info().name, items, services, task);
    });
    return pelmark::kResultDone;
  }
};

// --- AutoStamp ----------------------------------------------------------------

class AutoStamp final : public Activity {
 public:
  using Activity::Activity;

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    // The time stamp comes before everything else, so it is numbered after the
    // front's statements to keep one number per statement.
    at(10);
    SetTaskVariable(task, "STAMPEDON", Now());
    RunItemFront(services, task, at, [&](ItemContext& items) {
      at(8);
      if (items.item_kind != ItemKind::kDocument) return;
      ProcessAnnotatedDocuments(info().name, items.doc, items.dms, task, kStampNameMark);
      at(9);
      SetTaskVariable(task, "STAMPNAME", TaskParameter(task, "STAMP_NAME"));
    });
    return pelmark::kResultDone;
  }
};

// --- Publish ------------------------------------------------------------------

// Publishes the listed documents whose id is negative; the others are left alone
// without a service call, and nothing is fetched first.
void PublishDocuments(std::string_view class_name, const XmlDocument& doc,
                      pelmark::IDmsService* dms, pelmark::ITask* task) {
  const ItemKindRow& kind = RowOf(ItemKind::kDocument);
  Reported({kPrivate, class_name, kind.procedure}, [&](Line& at) {
    at(1);
    ListedItems items = ListedItems::Of(doc, kind.kind);
    if (items.absent()) return;
    ComPtr<IEntityRef> ref = NewEntityRef();
    for (const ListedItem& item : items) {
      at(2);
      const int32_t id = item.Id();
      if (id >= 0) continue;
      at(3);
      PointAtDocument(ref.get(), id);
      at(4);
      bool major = true;
      if (TaskParameterExists(task, "PUBLISH_AS_MAJOR_VERSION"))
        major = ToBoolean(TaskParameter(task, "PUBLISH_AS_MAJOR_VERSION"));
      at(5);
      ref->SetVersionType(major ? kMajorVersion : kMinorVersion);
      at(6);
      Must(dms)->PublishDocument(ref.get());
    }
  });
}

void PublishWalk(std::string_view class_name, ItemContext& items,
                 pelmark::IActivityServices* /*services*/, pelmark::ITask* task) {
  if (items.item_kind == ItemKind::kDocument)
    PublishDocuments(class_name, items.doc, items.dms, task);
}

// --- ShareEntity --------------------------------------------------------------

// Grants `entry` on `target` to each share-list entry, in list order. Entries
// are taken as they stand: a role goes to the DMS as a group.
void GrantToEach(const ResourceList& share_list, pelmark::IProcessInstance* instance,
                 IEntityRef* target, IEntity* entry, pelmark::IDmsService* dms) {
  for (const XmlNode& resource : share_list.nodes()) {
    const ResourceEntry listed = ReadResourceEntry(resource);
    ComPtr<IEntityRef> principal = NewEntityRef();
    // Both ids are converted before one is chosen, so a non-numeric initiator
    // fails every entry.
    const int32_t listed_id = ToLong(Variant(listed.id));
    const int32_t initiator_id = InitiatorUserId(instance);
    principal->SetID(listed.NamesInitiator() ? initiator_id : listed_id);
    principal->SetEntityName(listed.IsUser() ? "User" : "Group");
    principal->SetTypeCode(listed.IsUser() ? kUserTypeCode : kGroupTypeCode);
    dms->AddAce(target, principal.get(), entry);
  }
}

// The access entry every grant of one procedure call uses.
ComPtr<IEntity> NewAccessEntry(pelmark::IDmsService* dms, pelmark::ITask* task) {
  ComPtr<IEntity> entry = Must(dms)->NewEntity("Ace");
  Must(entry)->SetEntityName("Ace");
  entry->SetTypeCode(kAceTypeCode);
  entry->SetID(0);
  Must(FieldOf(entry.get(), "Allow Modify"))->SetValue(TaskParameter(task, "ALLOW_MODIFY"));
  Must(FieldOf(entry.get(), "Allow Delete"))->SetValue(TaskParameter(task, "ALLOW_DELETE"));
  return entry;
}

void ShareItems(std::string_view class_name, const ItemKindRow& kind, const XmlDocument& doc,
                pelmark::IDmsService* dms, pelmark::IActivityServices* services,
                pelmark::ITask* task) {
  Reported({kPrivate, class_name, kind.procedure}, [&](Line& at) {
    at(1);
    ListedItems items = ListedItems::Of(doc, kind.kind);
    if (items.absent()) return;
    at(2);
    ComPtr<IEntity> entry = NewAccessEntry(dms, task);
    at(3);
    const ResourceList shared_with(ToText(TaskParameter(task, "SHARED_WITH")));
    ComPtr<pelmark::IProcessInstance> instance = ProcessInstanceOf(services, task);
    ComPtr<IEntityRef> target = NewEntityRef();
    ComPtr<IEntityRef> filed = NewEntityRef();
    for (const ListedItem& item : items) {
      at(4);
      item.PointAt(target.get(), kind.kind);
      at(5);
      GrantToEach(shared_with, instance.get(), target.get(), entry.get(), dms);
      if (kind.kind != ItemKind::kStack) continue;
      at(6);
      if (!ToBoolean(TaskParameter(task, "CHILD_INHERITS"))) continue;
      at(7);
      ForEachStackDocument(dms, target.get(), filed.get(), [&] {
        GrantToEach(shared_with, instance.get(), filed.get(), entry.get(), dms);
      });
    }
  });
}

void ShareWalk(std::string_view class_name, ItemContext& items,
               pelmark::IActivityServices* services, pelmark::ITask* task) {
  if (items.item_kind != ItemKind::kOther)
    ShareItems(class_name, RowOf(items.item_kind), items.doc, items.dms, services, task);
}

// --- ApplySecurityLabel -------------------------------------------------------

// Labels the items of one kind; false when the list or the label is missing.
bool LabelItems(std::string_view class_name, const ItemKindRow& kind, const XmlDocument& doc,
                pelmark::IDmsService* dms, pelmark::ITask* task) {
  return Reported({kPrivate, class_name, kind.procedure}, [&](Line& at) {
    at(1);
    ListedItems items = ListedItems::Of(doc, kind.kind);
    if (items.absent()) return false;
    at(2);
    ComPtr<IEntity> label = Must(dms)->GetSecurityLabel(ToText(TaskParameter(task, "LABEL_NAME")));
    if (!label) return false;
    at(3);
    ComPtr<IEntityRef> label_ref = NewEntityRef();
    label_ref->SetID(label->ID());
    label_ref->SetEntityName(label->EntityName());
    label_ref->SetTypeCode(label->TypeCode());
    ComPtr<IEntityRef> item_ref = NewEntityRef();
    ComPtr<IEntityRef> filed = NewEntityRef();
    for (const ListedItem& item : items) {
      at(4);
      item.PointAt(item_ref.get(), kind.kind);
      dms->ApplyLabel(item_ref.get(), label_ref.get());
      if (kind.kind != ItemKind::kStack) continue;
      at(5);
      if (!ToBoolean(TaskParameter(task, "CHILD_INHERITS"))) continue;
      at(6);
      ForEachStackDocument(dms, item_ref.get(), filed.get(),
                           [&] { dms->ApplyLabel(filed.get(), label_ref.get()); });
    }
    return true;
  });
}

class ApplySecurityLabel final : public Activity {
 public:
  using Activity::Activity;

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    bool applied = false;
    RunItemFront(services, task, at, [&](ItemContext& items) {
      at(8);
      if (items.item_kind != ItemKind::kOther)
        applied = LabelItems(info().name, RowOf(items.item_kind), items.doc, items.dms, task);
    });
    at(9);
    SetTaskVariable(task, "LABELNAME", TaskParameter(task, "LABEL_NAME"));
    at(10);
    SetTaskVariable(task, "LABELAPPLIED", applied);
    return pelmark::kResultDone;
  }
};

}  // namespace

Activity* NewAutoStamp(const ClassInfo& info) { return new AutoStamp(info); }
Activity* NewPublish(const ClassInfo& info) { return new ItemWalkActivity<PublishWalk>(info); }
Activity* NewShareEntity(const ClassInfo& info) { return new ItemWalkActivity<ShareWalk>(info); }
Activity* NewApplySecurityLabel(const ClassInfo& info) { return new ApplySecurityLabel(info); }

}  // namespace corvane
