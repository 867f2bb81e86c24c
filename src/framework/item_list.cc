#include "framework/item_list.h"

#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "framework/variant_rules.h"

namespace corvane {
namespace {

struct KindRow {
  std::string_view kind;
  ItemKind item_kind;
  std::string_view list_name;
  std::string_view entity_name;
};
constexpr KindRow kKinds[] = {
    {"document", ItemKind::kDocument, "documents", "Document"},
    {"stackitem", ItemKind::kStack, "stack", "DataEntity"},
    {"recordseries", ItemKind::kRecordSeries, "recordserieslist", "RecordSeries"},
};

const KindRow* FindKind(std::string_view kind) {
  std::string lower = LCase(kind);
  for (const KindRow& row : kKinds)
    if (row.kind == lower) return &row;
  return nullptr;
}

}  // namespace

std::string EntityNameOfKind(std::string_view kind) {
  const KindRow* row = FindKind(kind);
  return row ? std::string(row->entity_name) : std::string();
}

std::string ListNameOfKind(std::string_view kind) {
  const KindRow* row = FindKind(kind);
  return row ? std::string(row->list_name) : std::string();
}

ItemKind KindOf(std::string_view kind) {
  const KindRow* row = FindKind(kind);
  return row ? row->item_kind : ItemKind::kOther;
}

pelmark::ComPtr<pelmark::IDmsService> GetDmsService(pelmark::IActivityServices* services) {
  pelmark::ComPtr<pelmark::IService> service = Must(services)->GetService("DmsService");
  if (!service) return {};
  pelmark::ComPtr<pelmark::IDmsService> dms = service.try_query<pelmark::IDmsService>();
  if (!dms) Raise(13);
  return dms;
}

bool LoadItemList(pelmark::IProcessInstance* instance, XmlDocument& doc) {
  pelmark::ComPtr<pelmark::IVariables> variables = Must(instance)->Variables();
  if (Must(variables)->Count() == 0) return false;
  pelmark::ComPtr<pelmark::IVariable> first = variables->Item(pelmark::Variant(int32_t{1}));
  if (LCase(Must(first)->TypeName()) != "dms.object" || first->IsNull()) return false;
  // A malformed list leaves the document empty; the header read then fails.
  doc.LoadXml(ToText(first->Value()));
  return true;
}

void RunItemFront(pelmark::IActivityServices* services, pelmark::ITask* task, Line& at,
                  const std::function<void(ItemContext&)>& work) {
  at(1);
  pelmark::ComPtr<pelmark::IDmsService> dms = GetDmsService(services);
  if (!dms) return;
  at(2);
  pelmark::ComPtr<pelmark::IProcessInstance> instance =
      services->GetProcessInstance(Must(task)->ProcessID());
  at(3);
  XmlDocument doc;
  if (!LoadItemList(instance.get(), doc)) return;
  at(4);
  XmlNode header = doc.SelectSingleNode("//dmsobject");
  std::string kind = header.Attribute("entitytype");
  at(5);
  int32_t dbid = ToLong(pelmark::Variant(header.Attribute("dbid")));
  at(6);
  header.Attribute("dbpath");
  ToLong(pelmark::Variant(header.Attribute("dbtype")));
  if (dbid == -1) return;
  at(7);
  pelmark::ComPtr<pelmark::IDmsSession> session = NewDmsSession();
  dms->Connect(dbid, session.get());
  ItemContext context{doc, dms.get(), std::move(kind), dbid};
  work(context);
  at(7);
  dms->Disconnect();
}

int32_t ItemTypeCode(const XmlNode& item, std::string_view kind, pelmark::IEntityRef* ref) {
  // Only the exact lower-case spelling computes the code from the id.
  if (kind == "document") return Must(ref)->ID() < 0 ? -2 : 2;
  return ToLong(pelmark::Variant(item.Attribute("typecode")));
}

void FillItemRef(const XmlNode& item, std::string_view kind, pelmark::IEntityRef* ref) {
  Must(ref)->SetID(ToLong(pelmark::Variant(item.Attribute("id"))));
  ref->SetEntityName(EntityNameOfKind(kind));
  ref->SetTypeCode(ItemTypeCode(item, kind, ref));
}

bool WalkItems(const XmlDocument& doc, std::string_view kind, pelmark::IEntityRef* ref,
               const std::function<void(const XmlNode&, pelmark::IEntityRef*)>& per_item) {
  XmlNode list = doc.SelectSingleNode("//" + ListNameOfKind(kind));
  if (list.is_nothing()) return false;
  for (const XmlNode& item : list.ChildNodes()) {
    FillItemRef(item, kind, ref);
    per_item(item, ref);
  }
  return true;
}

}  // namespace corvane
