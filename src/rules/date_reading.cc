// Dates read from text under the variant rules: ISO 8601, and up to three date
// elements and one time in any order, under a locale (the table in
// variant_rules.cc, note 9).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rules/error_report.h"
#include "rules/variant_parts.h"

namespace corvane {
namespace {

struct DateToken {
  enum Kind { kNumber, kMonth, kMeridiem } kind;
  int value;   // the number, the month 1-12, or 0 for AM / 1 for PM
  int digits;  // digits written, for numbers
  // The separator before the token: ' ' (blanks or none), '/' (date) or ':' (time).
  char before;
};

// Matches a word against month, weekday and AM/PM names. Returns false for any
// other word.
bool ClassifyWord(std::string_view word, const LocaleInfo& loc, std::vector<DateToken>& out,
                  char before) {
  const LocaleInfo& en = LocaleInfo::EnUs();
  // A word with letters beyond ASCII is lowered once here rather than once for
  // each of the eighty-odd names it is compared with.
  const bool ascii = std::all_of(word.begin(), word.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  const std::string lowered = ascii ? std::string() : ToLower(word);
  auto is = [&](std::string_view name) {
    return ascii ? EqualsNoCase(word, name) : lowered == ToLower(name);
  };
  for (const LocaleInfo* l : {&loc, &en}) {
    for (int m = 0; m < 12; ++m) {
      if (is(l->month_names[m]) || is(l->month_abbreviations[m])) {
        out.push_back({DateToken::kMonth, m + 1, 0, before});
        return true;
      }
    }
  }
  for (const LocaleInfo* l : {&loc, &en}) {
    for (int d = 0; d < 7; ++d) {
      if (is(l->day_names[d]) || is(l->day_abbreviations[d]))
        return true;  // weekday names carry nothing the date does not
    }
  }
  const bool am = is("am") || is("a") || (!loc.am_designator.empty() && is(loc.am_designator));
  const bool pm = is("pm") || is("p") || (!loc.pm_designator.empty() && is(loc.pm_designator));
  if (!am && !pm) return false;
  out.push_back({DateToken::kMeridiem, pm ? 1 : 0, 0, before});
  return true;
}

bool Tokenize(std::string_view s, const LocaleInfo& loc, std::vector<DateToken>& tokens) {
  const bool dot_is_date = loc.date_separator == ".";
  char pending = ' ';  // the strongest separator since the last token
  bool pending_mark = false;
  bool seen_element = false;  // a skipped weekday name counts too
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsBlank(static_cast<char>(c))) {
      ++i;
      continue;
    }
    char sep = 0;
    if (c == ':' || StartsWith(s.substr(i), loc.time_separator))
      sep = ':';
    else if (c == '.')
      sep = dot_is_date ? '/' : ':';
    else if (c == '/' || c == '-' || c == ',' || StartsWith(s.substr(i), loc.date_separator))
      sep = '/';
    if (sep) {
      // One mark between two elements, never at either end.
      if (pending_mark || !seen_element) return false;
      pending = sep;
      pending_mark = true;
      i += (c == ':' || c == '.' || c == '/' || c == '-' || c == ',')
               ? 1
               : (sep == ':' ? loc.time_separator.size() : loc.date_separator.size());
      continue;
    }
    if (c >= '0' && c <= '9') {
      size_t j = i;
      int64_t value = 0;
      while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
        value = value * 10 + (s[j] - '0');
        if (j - i >= 9) return false;
        ++j;
      }
      tokens.push_back(
          {DateToken::kNumber, static_cast<int>(value), static_cast<int>(j - i), pending});
      i = j;
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80) {
      size_t j = i;
      while (j < s.size()) {
        const unsigned char d = static_cast<unsigned char>(s[j]);
        if (!((d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z') || d >= 0x80)) break;
        ++j;
      }
      if (!ClassifyWord(s.substr(i, j - i), loc, tokens, pending)) return false;
      i = j;
    } else {
      return false;
    }
    pending = ' ';
    pending_mark = false;
    seen_element = true;
  }
  return !pending_mark && !tokens.empty();
}

int WindowYear(int year, int digits) {
  if (digits > 2) return year;
  return year < 30 ? 2000 + year : 1900 + year;
}

bool ValidDate(int64_t y, int m, int d) {
  return y >= 100 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

int CurrentYear() { return PartsOf(ToDayTime(Platform().Now())).year; }

struct Element {
  int value;
  int digits;
};

// Resolves up to three date elements (see the table, note 9).
std::optional<int64_t> ResolveDate(const std::vector<Element>& nums, int month,
                                   const LocaleInfo& loc) {
  auto serial = [](int64_t y, int m, int d) -> std::optional<int64_t> {
    if (!ValidDate(y, m, d)) return std::nullopt;
    return SerialDay(y, m, d);
  };
  auto year_of = [](const Element& e) { return WindowYear(e.value, e.digits); };
  const bool day_first = loc.date_order == LocaleInfo::DateOrder::kDayMonthYear;

  if (month > 0) {
    if (nums.size() == 2) {
      // The element that cannot be a day is the year.
      const bool first_is_year = nums[0].digits > 2 || nums[0].value > 31;
      const Element& day = first_is_year ? nums[1] : nums[0];
      const Element& year = first_is_year ? nums[0] : nums[1];
      if (day.digits > 2) return std::nullopt;
      return serial(year_of(year), month, day.value);
    }
    if (nums.size() == 1) {
      const int year = CurrentYear();
      if (nums[0].digits <= 2 && nums[0].value >= 1 && nums[0].value <= DaysInMonth(year, month))
        return serial(year, month, nums[0].value);
      return serial(year_of(nums[0]), month, 1);
    }
    return std::nullopt;
  }
  if (nums.size() == 3) {
    enum Order { kMDY, kDMY, kYMD };
    const Order orders[] = {
        day_first ? kDMY : (loc.date_order == LocaleInfo::DateOrder::kYearMonthDay ? kYMD : kMDY),
        kYMD, kMDY, kDMY};
    for (Order o : orders) {
      std::optional<int64_t> r;
      const Element &a = nums[0], &b = nums[1], &c = nums[2];
      if (o == kMDY && a.digits <= 2 && b.digits <= 2) r = serial(year_of(c), a.value, b.value);
      if (o == kDMY && a.digits <= 2 && b.digits <= 2) r = serial(year_of(c), b.value, a.value);
      if (o == kYMD && b.digits <= 2 && c.digits <= 2) r = serial(year_of(a), b.value, c.value);
      if (r) return r;
    }
    return std::nullopt;
  }
  if (nums.size() == 2) {
    const Element &a = nums[0], &b = nums[1];
    if (a.digits <= 2 && b.digits <= 2) {
      const int year = CurrentYear();
      const Element& m1 = day_first ? b : a;
      const Element& d1 = day_first ? a : b;
      if (auto r = serial(year, m1.value, d1.value)) return r;
      if (auto r = serial(year, d1.value, m1.value)) return r;
    }
    if (a.digits <= 2)
      if (auto r = serial(year_of(b), a.value, 1)) return r;
    if (b.digits <= 2)
      if (auto r = serial(year_of(a), b.value, 1)) return r;
  }
  return std::nullopt;
}

// "yyyy-mm-dd" with an optional "Thh:mm[:ss]".
std::optional<double> ParseIsoDate(std::string_view s) {
  auto digits = [&](size_t at, size_t n, int& out) {
    if (at + n > s.size()) return false;
    out = 0;
    for (size_t i = at; i < at + n; ++i) {
      if (s[i] < '0' || s[i] > '9') return false;
      out = out * 10 + (s[i] - '0');
    }
    return true;
  };
  int y, m, d, h = 0, n = 0, sec = 0;
  if (s.size() < 11 || s[4] != '-' || s[7] != '-' || s[10] != 'T') return std::nullopt;
  if (!digits(0, 4, y) || !digits(5, 2, m) || !digits(8, 2, d) || !ValidDate(y, m, d))
    return std::nullopt;
  if (!digits(11, 2, h) || s.size() < 16 || s[13] != ':' || !digits(14, 2, n)) return std::nullopt;
  if (s.size() == 19 && s[16] == ':') {
    if (!digits(17, 2, sec)) return std::nullopt;
  } else if (s.size() != 16) {
    return std::nullopt;
  }
  if (h > 23 || n > 59 || sec > 59) return std::nullopt;
  return FromDayTime(SerialDay(y, m, d), h * 3600 + n * 60 + sec);
}

}  // namespace

std::optional<double> ParseDate(std::string_view text, const LocaleInfo& loc) {
  const std::string_view s = StripBlanks(text);
  if (auto iso = ParseIsoDate(s)) return iso;
  std::vector<DateToken> tokens;
  if (!Tokenize(s, loc, tokens)) return std::nullopt;

  std::vector<Element> date_numbers;
  int month = 0;
  std::optional<int64_t> time_seconds;
  for (size_t i = 0; i < tokens.size();) {
    const DateToken& t = tokens[i];
    if (t.kind == DateToken::kMeridiem) return std::nullopt;  // only after a time
    if (t.kind == DateToken::kMonth) {
      if (month) return std::nullopt;
      month = t.value;
      ++i;
      continue;
    }
    // A run of numbers joined by time separators is the time.
    size_t j = i + 1;
    while (j < tokens.size() && tokens[j].kind == DateToken::kNumber && tokens[j].before == ':')
      ++j;
    const size_t run = j - i;
    const bool meridiem = j < tokens.size() && tokens[j].kind == DateToken::kMeridiem;
    if (run == 1 && !meridiem) {
      if (i + 1 < tokens.size() && tokens[i + 1].before == ':') return std::nullopt;
      date_numbers.push_back({t.value, t.digits});
      ++i;
      continue;
    }
    if (time_seconds || run > 3) return std::nullopt;
    int h = tokens[i].value;
    const int n = run > 1 ? tokens[i + 1].value : 0;
    const int sec = run > 2 ? tokens[i + 2].value : 0;
    if (h > 23 || n > 59 || sec > 59) return std::nullopt;
    if (meridiem && h <= 12) {
      if (h == 12) h = 0;
      if (tokens[j].value == 1) h += 12;
    }
    time_seconds = h * 3600 + n * 60 + sec;
    i = j + (meridiem ? 1 : 0);
  }
  if (date_numbers.size() > 3) return std::nullopt;
  int64_t day = 0;
  if (month || !date_numbers.empty()) {
    auto resolved = ResolveDate(date_numbers, month, loc);
    if (!resolved) return std::nullopt;
    day = *resolved;
  } else if (!time_seconds) {
    return std::nullopt;
  }
  return FromDayTime(day, time_seconds.value_or(0));
}

double DateFromDouble(double x) {
  if (!std::isfinite(x) || x <= kFirstDay - 1.0 || x >= kLastDay + 1.0) Raise(6);
  return x;
}

}  // namespace corvane
