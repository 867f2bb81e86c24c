// How the sharing and labelling steps reach the documents filed in a listed
// stack.
#pragma once

#include <functional>
#include <string_view>

#include "framework/item_list.h"
#include "framework/xml.h"
#include "pelmark/dms.h"

namespace corvane {

// Fetches the stack `stack` names and, when it exists, points `document` at each
// document filed in it, in query order ("Document", its ID, its "DocTypeCode"
// negated for a negative id), calling `act` after each.
void ForEachStackDocument(pelmark::IDmsService* dms, pelmark::IEntityRef* stack,
                          pelmark::IEntityRef* document, const std::function<void()>& act);

}  // namespace corvane
