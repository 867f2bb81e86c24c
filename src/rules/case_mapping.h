// UTF-8 decoding and simple Unicode case mapping (the one-to-one mappings of the
// Unicode Character Database), independent of any locale. The library's LCase,
// UCase and case-insensitive comparisons and the simulator's name matching all
// use these, so that both sides agree on every letter ("İ" lowers to "i" in both).
// A malformed UTF-8 byte is never a letter: it passes through unchanged.
//
// Threading: pure functions; safe from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// Decodes one UTF-8 sequence at s[i] and moves i past it. A malformed byte
// (a stray continuation, an overlong form, a surrogate, a truncated sequence)
// comes back as itself with `valid` false, and i moves by one.
// REQUIRES: i < s.size().
char32_t DecodeUtf8(std::string_view s, size_t& i, bool& valid);
// Appends `c` encoded as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// Each letter lowered (raised) by its simple mapping; everything else as it is.
std::string ToLower(std::string_view s);
std::string ToUpper(std::string_view s);

// True when both texts lower to the same text.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace corvane
