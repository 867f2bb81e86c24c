// The item list: the XML text in the workflow instance's first variable that
// names the documents, stacks or record series a step works on, the table of
// item kinds, the front of Execute that finds the list and connects to its
// database, and the walk over the listed items that every class uses.
//
// Typical usage (inside a class's per-kind procedure):
//   ListedItems items = ListedItems::Of(doc, ItemKind::kDocument);
//   if (items.absent()) return;
//   for (const ListedItem& item : items) {
//     at(2);
//     item.PointAt(ref.get(), ItemKind::kDocument);
//     ...
//   }
//
// Threading: apartment; a walk reads a document no one changes meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "framework/xml.h"
#include "pelmark/dms.h"
#include "pelmark/host.h"
#include "rules/error_report.h"

namespace corvane {

// --- The kinds of items ------------------------------------------------------

enum class ItemKind { kDocument, kStack, kRecordSeries, kOther };

// What the library knows of one item kind.
struct ItemKindRow {
  ItemKind kind;
  std::string_view name;             // the "entitytype" text, compared without case
  std::string_view list_selector;    // the list element: "//documents"
  std::string_view entity_name;      // the DMS entity: "Document"
  std::string_view procedure;        // the per-kind procedure's location: ":ProcessDocument Ln "
  std::string_view audit_procedure;  // the per-kind audit's location: ":AuditDocumentEvent Ln "
};

// The row of a kind. REQUIRES: kind is not ItemKind::kOther.
const ItemKindRow& RowOf(ItemKind kind);

// The kind an "entitytype" text names, compared without regard to case.
ItemKind KindOf(std::string_view kind);

// The entity name ("Document", "DataEntity", "RecordSeries") of a kind text;
// empty for any other kind.
std::string EntityNameOfKind(std::string_view kind);

// The selector of every item element of a kind, wherever it stands: "//" and
// the kind text as written, case kept. A kind that is no XML name is never
// evaluated as an expression: it raises the error an invalid selection raises,
// as the empty kind always has.
std::string ItemElementSelector(std::string_view kind);

// A document's type code follows the sign of its id: -2 or 2.
int32_t DocumentTypeCode(int32_t id);

// A type code given with the sign of `id`: negated for a negative id.
int32_t SignedTypeCode(int32_t id, int32_t type_code);

// Points `ref` at document `id`: "Document", the id, -2 or 2 by its sign.
void PointAtDocument(pelmark::IEntityRef* ref, int32_t id);

// --- The walk ----------------------------------------------------------------

// One listed item: a child node of the kind's list element, with the reads the
// walks make of it. Reading from a comment or text node raises 91.
class ListedItem {
 public:
  explicit ListedItem(XmlNode node) : node_(node) {}

  const XmlNode& node() const { return node_; }
  std::string Attribute(std::string_view name) const { return node_.Attribute(name); }
  // "id" as a whole number (91 when absent, 13 when no number).
  int32_t Id() const;
  // "typecode" as a whole number.
  int32_t TypeCode() const;
  // Points `ref` at the item and returns its id: a document by the sign of its
  // id, a stack or record series by its "typecode". Nothing is fetched.
  int32_t PointAt(pelmark::IEntityRef* ref, ItemKind kind) const;

 private:
  XmlNode node_;
};

// Tells the platform (PlatformServices::ItemSkipped) that a walk goes past
// `item` because reading its id raised `error`; never raises.
void ReportUnreadItem(const ListedItem& item, std::string_view entity_name,
                      const pelmark::Error& error) noexcept;

// The items of one kind's list, in document order, as the classic DOM keeps
// them. The list element is selected once; iterating reads no further selection.
class ListedItems {
 public:
  class Iterator {
   public:
    using value_type = ListedItem;
    using difference_type = std::ptrdiff_t;
    Iterator() = default;
    explicit Iterator(pugi::xml_node node) : node_(node) {}
    ListedItem operator*() const { return ListedItem(XmlNode(node_)); }
    Iterator& operator++() {
      node_ = node_.next_sibling();
      return *this;
    }
    bool operator==(const Iterator& other) const { return node_ == other.node_; }

   private:
    pugi::xml_node node_;
  };

  // The list of `kind` ("//documents" and so on).
  static ListedItems Of(const XmlDocument& doc, ItemKind kind);
  // The list of a kind text as written; an unknown kind selects "//", which
  // raises the invalid-selection error.
  static ListedItems Of(const XmlDocument& doc, std::string_view kind);

  // True when the item list has no list element of this kind.
  bool absent() const { return list_.is_nothing(); }
  Iterator begin() const { return Iterator(list_.native().first_child()); }
  Iterator end() const { return Iterator(); }

 private:
  explicit ListedItems(XmlNode list) : list_(list) {}
  XmlNode list_;
};

// --- The front of Execute ----------------------------------------------------

// What the front found, handed to the class's item work while connected.
struct ItemContext {
  XmlDocument& doc;
  pelmark::IDmsService* dms;
  std::string kind;  // the "entitytype" text as written
  ItemKind item_kind;
  int32_t dbid;
};

// The DMS service from the services object, or null when the host has none.
pelmark::ComPtr<pelmark::IDmsService> GetDmsService(pelmark::IActivityServices* services);

// The item-list text when the instance's first variable is a non-null
// "dms.object"; nothing otherwise.
std::optional<std::string> ItemListText(pelmark::IProcessInstance* instance);

// Loads the workflow instance's item list into `doc` when its first variable is a
// non-null "dms.object"; false when there is none.
bool LoadItemList(pelmark::IProcessInstance* instance, XmlDocument& doc);

// The front of Execute: "DmsService", the workflow instance of the task, its item
// list, the "dmsobject" header, Connect (unless dbid is -1), `work`, Disconnect.
// Returns without calling `work` when there is no service or no item list.
// Numbers its statements 1 to 7 in `at`; `work` goes on from 8.
void RunItemFront(pelmark::IActivityServices* services, pelmark::ITask* task, Line& at,
                  const std::function<void(ItemContext&)>& work);

// --- References from the kind text (the flag classes, Delete, ExportToFolder) -

// The type code of an item: for kind text exactly "document", -2 for a negative
// id and 2 otherwise (the id is read back from the reference); for any other
// spelling, the item's "typecode" attribute.
int32_t ItemTypeCode(const ListedItem& item, std::string_view kind, pelmark::IEntityRef* ref);

// Fills `ref` from an item element: ID, EntityName, TypeCode.
void FillItemRef(const ListedItem& item, std::string_view kind, pelmark::IEntityRef* ref);

// Walks the items of the list of `kind`, filling one reference per item and
// calling per_item(item, ref). Returns false (and walks nothing) when the list
// element is absent. An unknown kind selects "//", which raises the XPath error.
bool WalkItems(const XmlDocument& doc, std::string_view kind, pelmark::IEntityRef* ref,
               const std::function<void(const ListedItem&, pelmark::IEntityRef*)>& per_item);

}  // namespace corvane
