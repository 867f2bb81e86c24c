#include "shared/audit_notes.h"

#include <optional>
#include <string>

#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "framework/error_report.h"
#include "framework/item_list.h"
#include "framework/variant_rules.h"
#include "framework/xml.h"
#include "pelmark/dms.h"
#include "shared/field_addressing.h"

namespace corvane {
namespace {

constexpr int32_t kEventGroup = 6;
constexpr int32_t kCommentTypeCode = 17;

pelmark::ComPtr<pelmark::ILookupField> LookupOf(pelmark::IEntity* entity, std::string_view name) {
  pelmark::ComPtr<pelmark::IField> field = FieldOf(entity, name);
  Must(field);
  pelmark::ComPtr<pelmark::ILookupField> lookup = field.try_query<pelmark::ILookupField>();
  if (!lookup) Raise(438);
  return lookup;
}

void SetField(pelmark::IEntity* entity, std::string_view name, const pelmark::Variant& value) {
  Must(FieldOf(entity, name))->SetValue(value);
}

// What one audit walk records for every item.
struct AuditFacts {
  std::string_view event;
  std::string_view comment;
  int32_t event_result;
  std::string_view audit_user;  // a user id; empty stores the record with no user at all
};

// The record one walk stores again for each item, with the fields every item
// shares; `event_code` is written when the whole walk has one.
pelmark::ComPtr<pelmark::IEntity> NewAuditRecord(pelmark::IDmsService* dms, const AuditFacts& facts,
                                                 std::optional<int32_t> event_code) {
  pelmark::ComPtr<pelmark::IEntity> record = dms->NewEntity("AuditRecord");
  Must(record)->SetID(0);
  pelmark::ComPtr<pelmark::ILookupField> user = LookupOf(record.get(), "Audit User");
  if (facts.audit_user.empty()) {
    user->SetIsNullValue(true);
  } else {
    user->SetID(ToLong(pelmark::Variant(facts.audit_user)));
  }
  SetField(record.get(), "Event Result", facts.event_result);
  SetField(record.get(), "Event Group", kEventGroup);
  if (event_code) SetField(record.get(), "Event Code", *event_code);
  SetField(record.get(), "Comment", facts.comment);
  return record;
}

// Points one reference at each listed item in turn and hands it to `work`; the
// walks of this file number these statements 5 and 6.
template <class Work>
void PointAtEach(Line& at, const ListedItems& items, ItemKind kind, Work&& work) {
  pelmark::ComPtr<pelmark::IEntityRef> ref = NewEntityRef();
  for (const ListedItem& item : items) {
    at(5);
    item.PointAt(ref.get(), kind);
    at(6);
    work(ref.get());
  }
}

void AuditDocumentEvent(const AuditCopy& copy, const XmlDocument& doc, pelmark::IDmsService* dms,
                        const AuditFacts& facts) {
  const ItemKindRow& kind = RowOf(ItemKind::kDocument);
  Reported({kPrivate, copy.owner, kind.audit_procedure, kQuiet}, [&](Line& at) {
    at(1);
    const int32_t code = dms->GetEventCode(2, facts.event);
    if (code == 0) return;
    at(2);
    ListedItems items = ListedItems::Of(doc, kind.kind);
    if (items.absent()) return;
    at(3);
    pelmark::ComPtr<pelmark::IEntity> record = NewAuditRecord(dms, facts, code);
    at(4);
    PointAtEach(at, items, kind.kind, [&](pelmark::IEntityRef* ref) {
      pelmark::ComPtr<pelmark::IEntity> document = dms->GetDocument(ref);
      if (!document) return;
      at(7);
      pelmark::ComPtr<pelmark::ILookupField> audited = LookupOf(record.get(), "Audit Entity");
      const int32_t id = document->ID();
      audited->SetID(id);
      audited->SetTypeCode(DocumentTypeCode(id));
      audited->SetMajorVersion(
          ToLong(Must(FieldOf(document.get(), copy.major_version_field))->Value()));
      audited->SetMinorVersion(
          ToLong(Must(FieldOf(document.get(), copy.minor_version_field))->Value()));
      at(8);
      dms->AddEntity(record.get());
    });
  });
}

// The stack and record-series audits differ only in the list they walk. Each
// item's own type code decides its event code.
void AuditListEvent(const AuditCopy& copy, const ItemKindRow& kind, const XmlDocument& doc,
                    pelmark::IDmsService* dms, const AuditFacts& facts) {
  Reported({kPrivate, copy.owner, kind.audit_procedure, kQuiet}, [&](Line& at) {
    at(1);
    ListedItems items = ListedItems::Of(doc, kind.kind);
    if (items.absent()) return;
    at(2);
    pelmark::ComPtr<pelmark::IEntity> record = NewAuditRecord(dms, facts, std::nullopt);
    at(3);
    for (const ListedItem& item : items) {
      at(4);
      pelmark::ComPtr<pelmark::ILookupField> audited = LookupOf(record.get(), "Audit Entity");
      audited->SetID(item.Id());
      const int32_t type_code = item.TypeCode();
      audited->SetTypeCode(type_code);
      at(5);
      const int32_t code = dms->GetEventCode(type_code, facts.event);
      if (code == 0) continue;
      at(6);
      SetField(record.get(), "Event Code", code);
      audited->SetMajorVersion(0);
      audited->SetMinorVersion(0);
      at(7);
      dms->AddEntity(record.get());
    }
  });
}

// One note entity for the whole walk, attached to each item in turn. A refused
// attachment skips that item only.
void ProcessNoteWalk(const AuditCopy& copy, const ItemKindRow& kind, const XmlDocument& doc,
                     pelmark::IDmsService* dms, pelmark::ITask* task, std::string_view note) {
  const bool stack = kind.kind == ItemKind::kStack;
  Reported({kPrivate, copy.owner, kind.procedure, kQuiet}, [&](Line& at) {
    at(1);
    ListedItems items = ListedItems::Of(doc, kind.kind);
    if (items.absent()) return;
    at(2);
    pelmark::ComPtr<pelmark::IEntity> comment = dms->NewEntity("Comment");
    Must(comment);
    if (stack) {
      comment->SetEntityName("Comment");
      comment->SetTypeCode(kCommentTypeCode);
    }
    comment->SetID(0);
    at(3);
    SetField(comment.get(), "Comment", note);
    LookupOf(comment.get(), "CommentedBy")->SetID(ToLong(Must(task)->ResourceID()));
    at(4);
    PointAtEach(at, items, kind.kind, [&](pelmark::IEntityRef* ref) {
      Suppressed([&] { dms->AddComment(ref, comment.get()); });
    });
  });
}

}  // namespace

const AuditCopy& AuditCopyOf(std::string_view owner) {
  for (const AuditCopy& copy : kAuditCopies)
    if (copy.owner == owner) return copy;
  Raise(5);
}

void AuditEvent(const AuditCopy& copy, pelmark::IActivityServices* services,
                pelmark::IProcessInstance* instance, std::string_view comment,
                std::string_view event, int32_t event_result, std::string_view audit_user) {
  Reported({kPrivate, copy.owner, copy.dispatcher, kQuiet}, [&](Line& at) {
    at(1);
    pelmark::ComPtr<pelmark::IDmsService> dms = GetDmsService(services);
    if (!dms) return;
    at(2);
    XmlDocument doc;
    if (!LoadItemList(instance, doc)) return;
    at(3);
    // Only the kind and the database are read here; the path and type are not.
    XmlNode header = doc.SelectSingleNode("//dmsobject");
    const std::string kind = header.Attribute("entitytype");
    at(4);
    const int32_t dbid = ToLong(pelmark::Variant(header.Attribute("dbid")));
    if (dbid == -1) return;
    at(5);
    pelmark::ComPtr<pelmark::IDmsSession> session = NewDmsSession();
    dms->Connect(dbid, session.get());
    at(6);
    const AuditFacts facts{event, comment, event_result, audit_user};
    switch (KindOf(kind)) {
      case ItemKind::kDocument:
        AuditDocumentEvent(copy, doc, dms.get(), facts);
        break;
      case ItemKind::kStack:
        if (copy.audits_stacks)
          AuditListEvent(copy, RowOf(ItemKind::kStack), doc, dms.get(), facts);
        break;
      case ItemKind::kRecordSeries:
        if (copy.audits_record_series)
          AuditListEvent(copy, RowOf(ItemKind::kRecordSeries), doc, dms.get(), facts);
        break;
      case ItemKind::kOther:
        break;
    }
    at(7);
    dms->Disconnect();
  });
}

void AddNote(const AuditCopy& copy, pelmark::IActivityServices* services, pelmark::ITask* task,
             std::string_view note) {
  Reported({kPublic, copy.owner, ": AddNote Function Ln ", kQuiet}, [&](Line& at) {
    RunItemFront(services, task, at, [&](ItemContext& items) {
      at(8);
      // Record series get no notes.
      if (items.item_kind == ItemKind::kDocument || items.item_kind == ItemKind::kStack)
        ProcessNoteWalk(copy, RowOf(items.item_kind), items.doc, items.dms, task, note);
    });
  });
}

}  // namespace corvane
