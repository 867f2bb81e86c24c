#include "rules/nearest_name.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace corvane {
namespace {

template <class Name>
std::string Nearest(std::string_view wrong, std::span<const Name> candidates, size_t floor) {
  std::string best;
  size_t best_distance = std::max<size_t>(floor, wrong.size() / 3) + 1;
  for (const Name& c : candidates) {
    size_t d = EditDistance(wrong, c);
    if (d < best_distance) best_distance = d, best = std::string(c);
  }
  return best;
}

}  // namespace

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t up = row[j];
      bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                  std::tolower(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

std::string NearestName(std::string_view wrong, std::span<const std::string> candidates,
                        size_t floor) {
  return Nearest(wrong, candidates, floor);
}
std::string NearestName(std::string_view wrong, std::span<const std::string_view> candidates,
                        size_t floor) {
  return Nearest(wrong, candidates, floor);
}

}  // namespace corvane
