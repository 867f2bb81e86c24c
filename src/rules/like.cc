// Basic's Like operator with binary comparison: * ? # [list] [!list], over
// code points of UTF-8 text.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rules/case_mapping.h"
#include "rules/error_report.h"
#include "rules/variant_rules.h"

namespace corvane {
namespace {

struct LikeToken {
  enum Kind { kLiteral, kAny, kDigit, kStar, kSet } kind;
  char32_t ch = 0;
  bool negate = false;
  std::vector<std::pair<char32_t, char32_t>> ranges;
};

std::vector<char32_t> CodePoints(std::string_view s) {
  std::vector<char32_t> out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    bool valid;
    out.push_back(DecodeUtf8(s, i, valid));
  }
  return out;
}

[[noreturn]] void InvalidPattern() { Raise(93, "Invalid pattern string"); }

std::vector<LikeToken> CompileLike(std::string_view pattern) {
  const std::vector<char32_t> p = CodePoints(pattern);
  std::vector<LikeToken> tokens;
  for (size_t i = 0; i < p.size(); ++i) {
    LikeToken t;
    switch (p[i]) {
      case '*':
        if (!tokens.empty() && tokens.back().kind == LikeToken::kStar) continue;
        t.kind = LikeToken::kStar;
        break;
      case '?':
        t.kind = LikeToken::kAny;
        break;
      case '#':
        t.kind = LikeToken::kDigit;
        break;
      case '[': {
        size_t j = i + 1;
        t.kind = LikeToken::kSet;
        if (j < p.size() && p[j] == '!') {
          t.negate = true;
          ++j;
        }
        while (j < p.size() && p[j] != ']') {
          char32_t lo = p[j], hi = p[j];
          // A '-' between two characters makes a range; first or last it is itself.
          if (j + 2 < p.size() && p[j + 1] == '-' && p[j + 2] != ']') {
            hi = p[j + 2];
            if (hi < lo) InvalidPattern();
            j += 2;
          }
          t.ranges.emplace_back(lo, hi);
          ++j;
        }
        if (j >= p.size()) InvalidPattern();
        i = j;
        // "[]" matches the empty string, so it adds nothing to match.
        if (t.ranges.empty() && !t.negate) continue;
        break;
      }
      default:
        t.kind = LikeToken::kLiteral;
        t.ch = p[i];
        break;
    }
    tokens.push_back(std::move(t));
  }
  return tokens;
}

bool MatchesOne(const LikeToken& t, char32_t c) {
  switch (t.kind) {
    case LikeToken::kLiteral:
      return c == t.ch;
    case LikeToken::kAny:
      return true;
    case LikeToken::kDigit:
      return c >= '0' && c <= '9';
    case LikeToken::kSet: {
      bool in = false;
      for (auto [lo, hi] : t.ranges) in = in || (c >= lo && c <= hi);
      return in != t.negate;
    }
    case LikeToken::kStar:
      break;
  }
  return false;
}

}  // namespace

bool Like(std::string_view text, std::string_view pattern) {
  const std::vector<LikeToken> p = CompileLike(pattern);
  const std::vector<char32_t> t = CodePoints(text);
  // Every token but "*" takes exactly one character, so backtracking to the last
  // "*" is enough.
  size_t ti = 0, pi = 0;
  size_t star_p = SIZE_MAX, star_t = 0;
  while (ti < t.size()) {
    if (pi < p.size() && p[pi].kind == LikeToken::kStar) {
      star_p = pi++;
      star_t = ti;
    } else if (pi < p.size() && MatchesOne(p[pi], t[ti])) {
      ++pi;
      ++ti;
    } else if (star_p != SIZE_MAX) {
      pi = star_p + 1;
      ti = ++star_t;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi].kind == LikeToken::kStar) ++pi;
  return pi == p.size();
}

}  // namespace corvane
