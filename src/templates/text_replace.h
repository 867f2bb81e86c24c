// Text replacement as the template engine's renderers use it: Basic's Replace,
// counted against the rendering budget (templates/render_budget.h).
//
// Threading: a free function over the caller's strings; the budget is the
// calling thread's.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "templates/render_budget.h"

namespace corvane {

// Replaces every occurrence of `find` in `text`, left to right and without
// overlap, by `with`; an empty `find` leaves the text as it is. Returns false
// when nothing matched. Counts the text it gives against the budget before
// building it (scanning a text that holds no match counts it too), less
// `counted`: bytes of `with` counted already, so that its first copy does not
// count twice.
bool ReplaceAll(std::string& text, std::string_view find, std::string_view with,
                size_t counted = 0);

}  // namespace corvane
