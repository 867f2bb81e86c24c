// How the sharing and labelling steps point references at their items: the
// listed items of each kind, and the documents filed in a stack.
#pragma once

#include <functional>
#include <string_view>

#include "framework/item_list.h"
#include "framework/xml.h"
#include "pelmark/dms.h"

namespace corvane {

// The per-kind procedure of a dispatch: its list selector and location text.
struct KindProcedure {
  ItemKind kind;
  std::string_view list;       // "//documents", "//stack", "//recordserieslist"
  std::string_view procedure;  // ":ProcessDocument Ln ", ...
};

// The procedure for an item kind; null for ItemKind::kOther.
const KindProcedure* ProcedureOfKind(ItemKind kind);

// Points `ref` at a listed item: a document by the sign of its id ("Document",
// -2 or 2), a stack ("DataEntity") or record series ("RecordSeries") by its
// "typecode". Nothing is fetched.
void PointAtListedItem(const XmlNode& item, ItemKind kind, pelmark::IEntityRef* ref);

// Fetches the stack `stack` names and, when it exists, points `document` at each
// document filed in it, in query order ("Document", its ID, its "DocTypeCode"
// negated for a negative id), calling `act` after each.
void ForEachStackDocument(pelmark::IDmsService* dms, pelmark::IEntityRef* stack,
                          pelmark::IEntityRef* document, const std::function<void()>& act);

}  // namespace corvane
