#include "framework/item_list.h"

#include "corvane/platform.h"
#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "framework/host_access.h"
#include "rules/variant_rules.h"

namespace corvane {
namespace {

constexpr ItemKindRow kKinds[] = {
    {ItemKind::kDocument, "document", "//documents", "Document", ":ProcessDocument Ln ",
     ":AuditDocumentEvent Ln "},
    {ItemKind::kStack, "stackitem", "//stack", "DataEntity", ":ProcessStack Ln ",
     ":AuditStackEvent Ln "},
    {ItemKind::kRecordSeries, "recordseries", "//recordserieslist", "RecordSeries",
     ":ProcessRecordSeries Ln ", ":AuditRecordSeriesEvent Ln "},
};

const ItemKindRow* FindKind(std::string_view kind) {
  std::string lower = LCase(kind);
  for (const ItemKindRow& row : kKinds)
    if (row.name == lower) return &row;
  return nullptr;
}

// An unknown kind has no list element; "//" alone is no valid selection.
constexpr std::string_view kNoListSelector = "//";

}  // namespace

const ItemKindRow& RowOf(ItemKind kind) {
  for (const ItemKindRow& row : kKinds)
    if (row.kind == kind) return row;
  Raise(5);
}

ItemKind KindOf(std::string_view kind) {
  const ItemKindRow* row = FindKind(kind);
  return row ? row->kind : ItemKind::kOther;
}

std::string EntityNameOfKind(std::string_view kind) {
  const ItemKindRow* row = FindKind(kind);
  return row ? std::string(row->entity_name) : std::string();
}

std::string ItemElementSelector(std::string_view kind) {
  std::string selector = "//" + std::string(kind);
  if (!IsXmlName(kind)) RaiseInvalidXPath(selector, "the item kind is no XML name");
  return selector;
}

int32_t DocumentTypeCode(int32_t id) { return SignedTypeCode(id, 2); }

int32_t SignedTypeCode(int32_t id, int32_t type_code) { return id < 0 ? -type_code : type_code; }

void PointAtDocument(pelmark::IEntityRef* ref, int32_t id) {
  Must(ref)->SetID(id);
  ref->SetEntityName(RowOf(ItemKind::kDocument).entity_name);
  ref->SetTypeCode(DocumentTypeCode(id));
}

// --- The walk ----------------------------------------------------------------

namespace {

// A whole number as a list writes it: plain digits with an optional minus sign,
// short enough that it cannot overflow. Anything else (spaces, signs, decimals,
// hexadecimal) takes the full conversion, which also raises its errors.
std::optional<int32_t> PlainWholeNumber(std::string_view text) {
  std::string_view digits = text;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (negative) digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 9) return std::nullopt;
  int32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

int32_t WholeNumberAttribute(const XmlNode& node, std::string_view name) {
  const std::string_view text = node.AttributeView(name);
  if (std::optional<int32_t> value = PlainWholeNumber(text)) return *value;
  return ToLong(pelmark::Variant(std::string(text)));
}

}  // namespace

int32_t ListedItem::Id() const { return WholeNumberAttribute(node_, "id"); }

int32_t ListedItem::TypeCode() const { return WholeNumberAttribute(node_, "typecode"); }

int32_t ListedItem::PointAt(pelmark::IEntityRef* ref, ItemKind kind) const {
  const int32_t id = Id();
  if (kind == ItemKind::kDocument) {
    PointAtDocument(ref, id);
    return id;
  }
  Must(ref)->SetID(id);
  ref->SetEntityName(RowOf(kind).entity_name);
  ref->SetTypeCode(TypeCode());
  return id;
}

void ReportUnreadItem(const ListedItem& item, std::string_view entity_name,
                      const pelmark::Error& error) noexcept {
  Suppressed([&] {
    std::string_view id;
    // A comment or text node has no attributes at all.
    Suppressed([&] { id = item.node().AttributeView("id"); });
    Platform().ItemSkipped(entity_name, id, error);
  });
}

ListedItems ListedItems::Of(const XmlDocument& doc, ItemKind kind) {
  return ListedItems(doc.SelectSingleNode(RowOf(kind).list_selector));
}

ListedItems ListedItems::Of(const XmlDocument& doc, std::string_view kind) {
  const ItemKindRow* row = FindKind(kind);
  return ListedItems(doc.SelectSingleNode(row ? row->list_selector : kNoListSelector));
}

// --- The front of Execute ----------------------------------------------------

pelmark::ComPtr<pelmark::IDmsService> GetDmsService(pelmark::IActivityServices* services) {
  return ServiceAs<pelmark::IDmsService>(services, "DmsService");
}

std::optional<std::string> ItemListText(pelmark::IProcessInstance* instance) {
  pelmark::ComPtr<pelmark::IVariables> variables = Must(instance)->Variables();
  if (Must(variables)->Count() < 1) return std::nullopt;
  pelmark::ComPtr<pelmark::IVariable> first = variables->Item(pelmark::Variant(int32_t{1}));
  if (LCase(Must(first)->TypeName()) != "dms.object" || first->IsNull()) return std::nullopt;
  pelmark::Variant value = first->Value();
  // The value is ours and dies here: its text moves out instead of being copied,
  // which for a large list saves a copy of the whole text.
  if (value.is_string()) return std::move(const_cast<std::string&>(value.string_value()));
  return ToText(value);
}

bool LoadItemList(pelmark::IProcessInstance* instance, XmlDocument& doc) {
  std::optional<std::string> text = ItemListText(instance);
  if (!text) return false;
  // A malformed list leaves the document empty; the header read then fails.
  doc.LoadXml(std::move(*text));
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
  const ItemKind item_kind = KindOf(kind);
  ItemContext context{doc, dms.get(), std::move(kind), item_kind, dbid};
  work(context);
  at(7);
  dms->Disconnect();
}

// --- References from the kind text -------------------------------------------

int32_t ItemTypeCode(const ListedItem& item, std::string_view kind, pelmark::IEntityRef* ref) {
  // Only the exact lower-case spelling computes the code from the id.
  if (kind == RowOf(ItemKind::kDocument).name) return DocumentTypeCode(Must(ref)->ID());
  return item.TypeCode();
}

void FillItemRef(const ListedItem& item, std::string_view kind, pelmark::IEntityRef* ref) {
  Must(ref)->SetID(item.Id());
  ref->SetEntityName(EntityNameOfKind(kind));
  ref->SetTypeCode(ItemTypeCode(item, kind, ref));
}

bool WalkItems(const XmlDocument& doc, std::string_view kind, pelmark::IEntityRef* ref,
               const std::function<void(const ListedItem&, pelmark::IEntityRef*)>& per_item) {
  ListedItems items = ListedItems::Of(doc, kind);
  if (items.absent()) return false;
  for (const ListedItem& item : items) {
    FillItemRef(item, kind, ref);
    per_item(item, ref);
  }
  return true;
}

}  // namespace corvane
