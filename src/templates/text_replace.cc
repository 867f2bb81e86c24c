#include "templates/text_replace.h"

#include <algorithm>

#include "corvane/platform.h"
#include "rules/error_report.h"

namespace corvane {

bool ReplaceAll(std::string& text, std::string_view find, std::string_view with, size_t counted) {
  if (find.empty()) return false;
  size_t hit = text.find(find);
  if (hit == std::string::npos) {
    RenderBudget::Charge(text.size());
    return false;
  }
  // The result's size is known before anything is copied.
  size_t matches = 0;
  for (size_t at = hit; at != std::string::npos; at = text.find(find, at + find.size())) ++matches;
  const size_t kept = text.size() - matches * find.size();
  const size_t credit = std::min(counted, with.size());
  if (!with.empty() && matches > (RenderBudget::Room() + credit) / with.size())
    RaiseOutputLimit(RenderBudget::Limit());
  RenderBudget::Charge(kept + matches * with.size() - credit);
  std::string out;
  out.reserve(kept + matches * with.size());
  size_t from = 0;
  for (; hit != std::string::npos; hit = text.find(find, from)) {
    out.append(text, from, hit - from);
    out.append(with);
    from = hit + find.size();
  }
  out.append(text, from);
  text.swap(out);
  return true;
}

}  // namespace corvane
