// Text replacement as the template engine's renderers use it: Basic's Replace,
// stopped by the platform's template output limit.
//
// Threading: free functions over the caller's strings; the limit is read from
// the platform services in force on the calling thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// The most bytes a rendered text may hold (the platform's TemplateOutputLimit).
size_t TemplateOutputLimit();

// Raises 7 with a description that names the limit.
[[noreturn]] void RaiseOutputLimit(size_t limit);

// Replaces every occurrence of `find` in `text`, left to right and without
// overlap, by `with`; an empty `find` leaves the text as it is. Returns false,
// without touching the text, when nothing matches. Raises 7 when the result
// would hold more than `limit` bytes.
bool ReplaceAll(std::string& text, std::string_view find, std::string_view with, size_t limit);

}  // namespace corvane
