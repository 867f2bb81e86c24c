// The item list: the XML text in the workflow instance's first variable that
// names the documents, stacks or record series a step works on, the front of
// Execute that finds it and connects to its database, and the walk that turns each
// item into an entity reference.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "framework/error_report.h"
#include "framework/xml.h"
#include "pelmark/dms.h"
#include "pelmark/host.h"

namespace corvane {

// The entity name ("Document", "DataEntity", "RecordSeries") and list name
// ("documents", "stack", "recordserieslist") of an item kind, compared without
// regard to case; empty for any other kind.
std::string EntityNameOfKind(std::string_view kind);
std::string ListNameOfKind(std::string_view kind);

// The per-kind procedures a dispatch on the kind chooses between.
enum class ItemKind { kDocument, kStack, kRecordSeries, kOther };
ItemKind KindOf(std::string_view kind);

// What the front found, handed to the class's item work while connected.
struct ItemContext {
  XmlDocument& doc;
  pelmark::IDmsService* dms;
  std::string kind;  // the "entitytype" text as written
  int32_t dbid;
};

// The DMS service from the services object, or null when the host has none.
pelmark::ComPtr<pelmark::IDmsService> GetDmsService(pelmark::IActivityServices* services);

// Loads the workflow instance's item list into `doc` when its first variable is a
// non-null "dms.object"; false when there is none.
bool LoadItemList(pelmark::IProcessInstance* instance, XmlDocument& doc);

// The front of Execute: "DmsService", the workflow instance of the task, its item
// list, the "dmsobject" header, Connect (unless dbid is -1), `work`, Disconnect.
// Returns without calling `work` when there is no service or no item list.
// Numbers its statements 1 to 7 in `at`; `work` goes on from 8.
void RunItemFront(pelmark::IActivityServices* services, pelmark::ITask* task, Line& at,
                  const std::function<void(ItemContext&)>& work);

// The type code of an item: for kind text exactly "document", -2 for a negative
// id and 2 otherwise (the id is read back from the reference); for any other
// spelling, the item's "typecode" attribute.
int32_t ItemTypeCode(const XmlNode& item, std::string_view kind, pelmark::IEntityRef* ref);

// Fills `ref` from an item element: ID, EntityName, TypeCode.
void FillItemRef(const XmlNode& item, std::string_view kind, pelmark::IEntityRef* ref);

// Walks the items of the list of `kind`, filling one reference per item and
// calling per_item(item, ref). Returns false (and walks nothing) when the list
// element is absent. An unknown kind selects "//", which raises the XPath error.
bool WalkItems(const XmlDocument& doc, std::string_view kind, pelmark::IEntityRef* ref,
               const std::function<void(const XmlNode&, pelmark::IEntityRef*)>& per_item);

}  // namespace corvane
