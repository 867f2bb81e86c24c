#include "templates/text_replace.h"

#include "corvane/platform.h"
#include "rules/error_report.h"

namespace corvane {

size_t TemplateOutputLimit() { return Platform().TemplateOutputLimit(); }

void RaiseOutputLimit(size_t limit) {
  Raise(7, "The rendered template exceeds the output limit of " + std::to_string(limit) + " bytes");
}

bool ReplaceAll(std::string& text, std::string_view find, std::string_view with, size_t limit) {
  if (find.empty()) return false;
  size_t hit = text.find(find);
  if (hit == std::string::npos) return false;
  std::string out;
  out.reserve(text.size());
  size_t from = 0;
  for (; hit != std::string::npos; hit = text.find(find, from)) {
    out.append(text, from, hit - from);
    out.append(with);
    from = hit + find.size();
    // What is built so far is a prefix of the result.
    if (out.size() > limit) RaiseOutputLimit(limit);
  }
  out.append(text, from);
  if (out.size() > limit) RaiseOutputLimit(limit);
  text.swap(out);
  return true;
}

}  // namespace corvane
