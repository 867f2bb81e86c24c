// The name a designer most likely meant: edit distance without regard to ASCII
// case, and the nearest of a list when it is near enough to be a slip.
//
// Threading: pure functions.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace corvane {

// Levenshtein distance, comparing ASCII letters without regard to case.
size_t EditDistance(std::string_view a, std::string_view b);

// The candidate nearest to `wrong` when fewer than max(floor, wrong's length / 3) + 1
// edits away; empty when none is. The first of equally near candidates wins.
std::string NearestName(std::string_view wrong, std::span<const std::string> candidates,
                        size_t floor = 2);
std::string NearestName(std::string_view wrong, std::span<const std::string_view> candidates,
                        size_t floor = 2);

}  // namespace corvane
