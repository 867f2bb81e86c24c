// The classic Basic/Automation value rules. Each conversion switches over every
// kind of value; the table below is the contract the rest of the library codes
// against (a number alone, such as 94, is the run-time error raised).
//
// clang-format off
// kind    | text (CStr)    | CDbl       | CLng       | CBool        | CDate         | = True/False
// --------+----------------+------------+------------+--------------+---------------+-------------
// Empty   | ""             | 0          | 0          | False        | 0             | no / yes
// Null    | 94 (1)         | 94         | 94         | 94           | 94            | no / no (2)
// Long    | digits         | itself     | itself     | <> 0         | serial (3)    | = -1 / = 0
// Double  | 15 digits (4)  | itself     | round (5)  | <> 0         | serial (3)    | = -1 / = 0
// Boolean | "True"/"False" | -1 / 0     | -1 / 0     | itself       | -1 / 0        | itself
// Date    | general (6)    | serial     | round (5)  | <> 0         | itself        | = -1 / = 0
// String  | itself         | number (7) | CDbl, then | word (8), or | date text (9) | word (8), or
//         |                | or 13      | round (5)  | CDbl <> 0    | or 13         | CDbl; 13
// Object  | 13             | 13         | 13         | 13           | 13            | 13
// clang-format on
//
// (1) ToTextOrEmpty gives "" instead, for the steps that say so.
// (2) Null compares as unknown: the condition is false, with no error.
// (3) A day serial (days since 30 December 1899); outside 1 January 100 to
//     31 December 9999 it overflows (6).
// (4) Up to 15 significant digits, no trailing zeros, the locale's decimal
//     separator, E-notation from 1E+15 up and below 0.0001 ("1E-05", "-1.5E-07").
//     -0 is "0".
// (5) Half to even (0.5 -> 0, 1.5 -> 2, 2.5 -> 2, -0.5 -> 0); a result outside the
//     32-bit range overflows (6), so 2147483647.5 does and -2147483648.5 does not.
// (6) The general date: the date alone at midnight, the time alone on day 0,
//     otherwise both, by the locale's short date and long time patterns
//     ("M/d/yyyy h:mm:ss tt" in en-US, "dd.MM.yyyy HH:mm:ss" in de-DE).
// (7) Number text: blanks (space, tab, CR, LF) around, a sign (blanks may follow
//     it), digits with the locale's thousands separator anywhere after the first
//     digit of the whole part (so "1.5" reads as 15 in de-DE, as in Automation), the
//     locale's decimal separator, an exponent "e"/"E" with an optional sign; or a
//     "&H" (hex) / "&O" (octal) prefix, read as a Basic literal: up to 4 hex digits
//     are an Integer (&HFFFF is -1), up to 8 a Long (&HFFFFFFFF is -1), more
//     overflow (6). A value too large for a Double overflows (6); one too small is
//     0. Boolean words are no numbers here (13).
// (8) Boolean words (our choice where a comparison meets text; the rules leave it
//     open): "True"/"False" in any case with blanks around, or "#TRUE#"/"#FALSE#"
//     exactly. So "true" equals True and "FALSE" equals False, "Yes" raises 13.
// (9) Date text: "yyyy-mm-ddThh:mm[:ss]" (ISO 8601), or up to three date elements
//     and one time in any order. Date elements are numbers and month names (the
//     locale's or English, full or abbreviated, any case), separated by blanks,
//     "/", "-", ",", or the locale's date separator; weekday names are skipped.
//     Three numbers are tried in the locale's order (M/D/Y in en-US, D.M.Y in
//     de-DE), then Y-M-D, M/D/Y and D/M/Y ("2020-01-11" is therefore ISO too); two
//     numbers are a month and day of the current year, else a month and a year
//     (day 1). A two-digit year 0-29 is 20xx, 30-99 is 19xx. The time is h:m[:s]
//     with ":" (also "." where it is not the date separator, as Automation reads
//     en-US text) and an optional AM/PM (ignored for hours above 12), or a lone
//     hour with AM/PM. A number alone is no date ("45000" raises 13).
#include "rules/variant_rules.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <vector>

#include "corvane/platform.h"
#include "rules/case_mapping.h"
#include "rules/error_report.h"

namespace corvane {
namespace {

using pelmark::VarType;

// ---------------------------------------------------------------- calendar

// Serial day numbers of 1 January 100 and 31 December 9999, the range of a date.
constexpr int64_t kFirstDay = -657434;
constexpr int64_t kLastDay = 2958465;
constexpr int64_t kSecondsPerDay = 86400;
// Serial day 0 (30 December 1899) counted from 1 January 1970.
constexpr int64_t kEpochShift = 25569;

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// The serial day of a proleptic Gregorian date (civil-from-days arithmetic).
int64_t SerialDay(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + kEpochShift;
}

void CivilDate(int64_t serial, int64_t& y, int& m, int& d) {
  const int64_t z = serial - kEpochShift + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// A date as a calendar day and the seconds since its midnight.
struct DayTime {
  int64_t day;
  int64_t seconds;
};

// Splits a serial: the whole part names the day, the fraction (always counted
// forward) the time, rounded to the nearest second.
DayTime ToDayTime(double date) {
  if (!std::isfinite(date) || date <= kFirstDay - 1.0 || date >= kLastDay + 1.0) Raise(5);
  const double whole = std::trunc(date);
  DayTime r{static_cast<int64_t>(whole),
            static_cast<int64_t>(std::llround(std::fabs(date - whole) * kSecondsPerDay))};
  if (r.seconds >= kSecondsPerDay) {
    ++r.day;
    r.seconds -= kSecondsPerDay;
  }
  return r;
}

double FromDayTime(int64_t day, int64_t seconds) {
  if (day < kFirstDay || day > kLastDay) Raise(5);
  const double t = static_cast<double>(seconds) / kSecondsPerDay;
  return day >= 0 ? static_cast<double>(day) + t : static_cast<double>(day) - t;
}

// Seconds on one continuous time line, so that hours can be added across midnight
// and across day 0.
int64_t LinearSeconds(const DayTime& dt) { return dt.day * kSecondsPerDay + dt.seconds; }

double FromLinearSeconds(int64_t s) {
  const int64_t day = FloorDiv(s, kSecondsPerDay);
  return FromDayTime(day, s - day * kSecondsPerDay);
}

DateParts PartsOf(const DayTime& dt) {
  DateParts p;
  int64_t y;
  CivilDate(dt.day, y, p.month, p.day);
  p.year = static_cast<int>(y);
  p.hour = static_cast<int>(dt.seconds / 3600);
  p.minute = static_cast<int>(dt.seconds / 60 % 60);
  p.second = static_cast<int>(dt.seconds % 60);
  return p;
}

int WeekdayOf(int64_t serial_day) {
  // Day 0 was a Saturday (7).
  return static_cast<int>(((serial_day % 7) + 7 + 6) % 7) + 1;
}

// ---------------------------------------------------------------- text helpers

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view StripBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) { return EqualsIgnoringCase(a, b); }

// False for an empty prefix, so that a locale without a separator matches nothing.
bool StartsWith(std::string_view s, std::string_view prefix) {
  return !prefix.empty() && s.substr(0, prefix.size()) == prefix;
}

void AppendNumber(std::string& out, int64_t n, int min_digits = 1) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, n < 0 ? -n : n);
  if (n < 0) out.push_back('-');
  for (int i = static_cast<int>(r.ptr - buf); i < min_digits; ++i) out.push_back('0');
  out.append(buf, r.ptr);
}

const LocaleInfo& CurrentLocale() { return Platform().Locale(); }

// ---------------------------------------------------------------- numbers

enum class NumberStatus { kOk, kNotANumber, kOverflow };

// Reads number text under `loc` (see the table, note *). Never throws.
NumberStatus ParseNumber(std::string_view text, const LocaleInfo& loc, double& out) {
  std::string_view s = StripBlanks(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s = StripBlanks(s.substr(1));
  }
  if (s.empty()) return NumberStatus::kNotANumber;

  if (s.size() >= 2 && s[0] == '&' && (AsciiLower(s[1]) == 'h' || AsciiLower(s[1]) == 'o')) {
    const int base = AsciiLower(s[1]) == 'h' ? 16 : 8;
    std::string_view digits = s.substr(2);
    if (digits.empty()) return NumberStatus::kNotANumber;
    uint64_t value = 0;
    for (char c : digits) {
      int v = -1;
      if (c >= '0' && c <= '9')
        v = c - '0';
      else if (base == 16 && AsciiLower(c) >= 'a' && AsciiLower(c) <= 'f')
        v = AsciiLower(c) - 'a' + 10;
      if (v < 0 || v >= base) return NumberStatus::kNotANumber;
      value = value * base + static_cast<uint64_t>(v);
      if (value > 0xFFFFFFFFull) return NumberStatus::kOverflow;
    }
    // A Basic literal: what fits 16 bits is an Integer, else a Long, sign bit kept.
    double result = value <= 0xFFFF ? static_cast<int16_t>(static_cast<uint16_t>(value))
                                    : static_cast<int32_t>(static_cast<uint32_t>(value));
    out = negative ? -result : result;
    return NumberStatus::kOk;
  }

  // Rebuild a plain ASCII number for from_chars, which ignores the process locale.
  std::string clean;
  clean.reserve(s.size() + 2);
  int whole_digits = 0, frac_digits = 0;
  bool saw_decimal = false;
  size_t i = 0;
  const std::string& dec = loc.decimal_separator;
  const std::string& thou = loc.thousands_separator;
  while (i < s.size()) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      clean.push_back(c);
      (saw_decimal ? frac_digits : whole_digits)++;
      ++i;
    } else if (!saw_decimal && !dec.empty() && StartsWith(s.substr(i), dec)) {
      saw_decimal = true;
      clean.push_back('.');
      i += dec.size();
    } else if (!saw_decimal && whole_digits > 0 && !thou.empty() && StartsWith(s.substr(i), thou)) {
      i += thou.size();
    } else {
      break;
    }
  }
  if (whole_digits + frac_digits == 0) return NumberStatus::kNotANumber;
  int64_t exponent = 0;
  if (i < s.size() && AsciiLower(s[i]) == 'e') {
    size_t j = i + 1;
    bool exp_negative = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) exp_negative = s[j++] == '-';
    size_t start = j;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
      if (exponent < 100000000) exponent = exponent * 10 + (s[j] - '0');
      ++j;
    }
    if (j == start) return NumberStatus::kNotANumber;
    if (exp_negative) exponent = -exponent;
    clean.push_back('e');
    AppendNumber(clean, exponent);
    i = j;
  }
  if (i != s.size()) return NumberStatus::kNotANumber;

  double value = 0;
  auto r = std::from_chars(clean.data(), clean.data() + clean.size(), value);
  if (r.ec == std::errc::result_out_of_range) {
    // Decide between too large and too small by the position of the first digit.
    size_t first = clean.find_first_of("123456789");
    size_t point = clean.find('.');
    if (point == std::string::npos) point = clean.find('e');
    if (point == std::string::npos) point = clean.size();
    int64_t magnitude = exponent + (first == std::string::npos ? -400
                                                               : static_cast<int64_t>(point) -
                                                                     static_cast<int64_t>(first));
    if (magnitude > 0) return NumberStatus::kOverflow;
    value = 0;
  } else if (r.ec != std::errc() || r.ptr != clean.data() + clean.size()) {
    return NumberStatus::kNotANumber;
  }
  out = negative ? -value : value;
  return NumberStatus::kOk;
}

double NumberFromText(std::string_view text) {
  double value = 0;
  switch (ParseNumber(text, CurrentLocale(), value)) {
    case NumberStatus::kOk:
      return value;
    case NumberStatus::kOverflow:
      Raise(6);
    case NumberStatus::kNotANumber:
      break;
  }
  Raise(13);
}

std::string DoubleText(double x, const LocaleInfo& loc) {
  if (x == 0) return "0";  // also -0
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 15);
  std::string out;
  out.reserve(static_cast<size_t>(r.ptr - buf) + 2);
  for (const char* p = buf; p != r.ptr; ++p) {
    if (*p == '.')
      out += loc.decimal_separator;
    else if (*p == 'e')
      out.push_back('E');
    else
      out.push_back(*p);
  }
  return out;
}

// Round half to even, as CLng and the integer conversions do.
double RoundHalfEven(double x) {
  const double floor = std::floor(x);
  const double diff = x - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

int32_t LongFromDouble(double x) {
  if (std::isnan(x)) Raise(6);
  const double r = RoundHalfEven(x);
  if (r < -2147483648.0 || r > 2147483647.0) Raise(6);
  return static_cast<int32_t>(r);
}

// "True"/"False" in any case (blanks around), or "#TRUE#"/"#FALSE#" exactly.
std::optional<bool> BooleanWord(std::string_view text) {
  if (text == "#TRUE#") return true;
  if (text == "#FALSE#") return false;
  std::string_view s = StripBlanks(text);
  if (s.size() == 4 && EqualsNoCase(s, "true")) return true;
  if (s.size() == 5 && EqualsNoCase(s, "false")) return false;
  return std::nullopt;
}

// ---------------------------------------------------------------- dates to text

int TwelveHour(int hour) { return hour % 12 == 0 ? 12 : hour % 12; }

// Formats with a locale pattern ("M/d/yyyy", "h:mm:ss tt", "dd.MM.yyyy").
void AppendLocalePattern(std::string& out, std::string_view pattern, const DateParts& p,
                         const LocaleInfo& loc) {
  for (size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    size_t n = 1;
    while (i + n < pattern.size() && pattern[i + n] == c) ++n;
    switch (c) {
      case 'd':
        AppendNumber(out, p.day, static_cast<int>(std::min<size_t>(n, 2)));
        break;
      case 'M':
        if (n >= 4)
          out += loc.month_names[p.month - 1];
        else if (n == 3)
          out += loc.month_abbreviations[p.month - 1];
        else
          AppendNumber(out, p.month, static_cast<int>(n));
        break;
      case 'y':
        // "yyyy" writes the year as it is (1/1/100), as Automation's date text does.
        if (n <= 2)
          AppendNumber(out, p.year % 100, static_cast<int>(n));
        else
          AppendNumber(out, p.year);
        break;
      case 'h':
        AppendNumber(out, TwelveHour(p.hour), static_cast<int>(std::min<size_t>(n, 2)));
        break;
      case 'H':
        AppendNumber(out, p.hour, static_cast<int>(std::min<size_t>(n, 2)));
        break;
      case 'm':
        AppendNumber(out, p.minute, static_cast<int>(std::min<size_t>(n, 2)));
        break;
      case 's':
        AppendNumber(out, p.second, static_cast<int>(std::min<size_t>(n, 2)));
        break;
      case 't':
        out += p.hour < 12 ? loc.am_designator : loc.pm_designator;
        break;
      case '\'': {
        size_t end = pattern.find('\'', i + 1);
        if (end == std::string_view::npos) end = pattern.size();
        out.append(pattern.substr(i + 1, end - i - 1));
        n = end + 1 - i;
        break;
      }
      default:
        out.append(n, c);
        break;
    }
    i += n;
  }
  // A pattern ending in an empty designator ("HH:mm:ss" needs none) leaves no blank.
  while (!out.empty() && out.back() == ' ') out.pop_back();
}

std::string GeneralDateText(double date) {
  const LocaleInfo& loc = CurrentLocale();
  const DayTime dt = ToDayTime(date);
  const DateParts p = PartsOf(dt);
  std::string out;
  if (dt.day != 0) AppendLocalePattern(out, loc.short_date_pattern, p, loc);
  if (dt.day == 0 || dt.seconds != 0) {
    if (!out.empty()) out.push_back(' ');
    AppendLocalePattern(out, loc.long_time_pattern, p, loc);
  }
  return out;
}

// ---------------------------------------------------------------- date text

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

// Resolves up to three date elements (see the table, note **).
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

// Reads date text (see the table, note **). Never throws for bad text.
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

// ---------------------------------------------------------------- Like

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

// ---------------------------------------------------------------- Format for dates

std::string FormatDateWith(double date, std::string_view f, const LocaleInfo& loc) {
  const DayTime dt = ToDayTime(date);
  const DateParts p = PartsOf(dt);
  // A 12-hour clock when the format has an AM/PM section anywhere.
  const std::string lower = LCase(f);
  const bool twelve = lower.find("am/pm") != std::string::npos ||
                      lower.find("a/p") != std::string::npos ||
                      lower.find("ampm") != std::string::npos;
  const int hour = twelve ? TwelveHour(p.hour) : p.hour;
  std::string out;
  bool after_hour = false;  // an "m" right after an hour is the minutes
  for (size_t i = 0; i < f.size();) {
    const char c = f[i];
    const char lc = AsciiLower(c);
    size_t n = 1;
    while (i + n < f.size() && AsciiLower(f[i + n]) == lc && lc != '\\' && lc != '"') ++n;
    if (c == '\\' && i + 1 < f.size()) {
      out.push_back(f[i + 1]);
      i += 2;
      continue;
    }
    if (c == '"') {
      size_t end = f.find('"', i + 1);
      if (end == std::string_view::npos) end = f.size();
      out.append(f.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    std::string_view rest = f.substr(i);
    auto starts_no_case = [&](std::string_view word) {
      return rest.size() >= word.size() && EqualsNoCase(rest.substr(0, word.size()), word);
    };
    if (starts_no_case("am/pm")) {
      const bool upper = rest[0] == 'A';
      out += p.hour < 12 ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
      i += 5;
      continue;
    }
    if (starts_no_case("a/p")) {
      const bool upper = rest[0] == 'A';
      out += p.hour < 12 ? (upper ? "A" : "a") : (upper ? "P" : "p");
      i += 3;
      continue;
    }
    if (starts_no_case("ampm")) {
      out += p.hour < 12 ? loc.am_designator : loc.pm_designator;
      i += 4;
      continue;
    }
    bool minutes_here = false;
    if (lc == 'm' && n <= 2) {
      // Minutes after an hour, or before seconds (blanks and separators between).
      size_t k = i + n;
      while (k < f.size() && !std::isalpha(static_cast<unsigned char>(f[k]))) ++k;
      minutes_here = after_hour || (k < f.size() && AsciiLower(f[k]) == 's');
    }
    switch (lc) {
      case 'd':
        if (n == 1 || n == 2)
          AppendNumber(out, p.day, static_cast<int>(n));
        else if (n == 3)
          out += loc.day_abbreviations[WeekdayOf(dt.day) - 1];
        else
          out += loc.day_names[WeekdayOf(dt.day) - 1];
        after_hour = false;
        break;
      case 'm':
        if (minutes_here)
          AppendNumber(out, p.minute, static_cast<int>(n));
        else if (n <= 2)
          AppendNumber(out, p.month, static_cast<int>(n));
        else if (n == 3)
          out += loc.month_abbreviations[p.month - 1];
        else
          out += loc.month_names[p.month - 1];
        after_hour = false;
        break;
      case 'n':
        AppendNumber(out, p.minute, static_cast<int>(std::min<size_t>(n, 2)));
        break;
      case 'y':
        if (n >= 3)
          AppendNumber(out, p.year, 4);
        else if (n == 2)
          AppendNumber(out, p.year % 100, 2);
        else
          AppendNumber(out, dt.day - SerialDay(p.year, 1, 1) + 1);
        after_hour = false;
        break;
      case 'h':
        AppendNumber(out, hour, static_cast<int>(std::min<size_t>(n, 2)));
        after_hour = true;
        break;
      case 's':
        AppendNumber(out, p.second, static_cast<int>(std::min<size_t>(n, 2)));
        break;
      case 'w':
        AppendNumber(out, WeekdayOf(dt.day));
        break;
      case 'q':
        AppendNumber(out, (p.month - 1) / 3 + 1);
        break;
      case ':':
        for (size_t k = 0; k < n; ++k) out += loc.time_separator;
        break;
      case '/':
        for (size_t k = 0; k < n; ++k) out += loc.date_separator;
        break;
      default:
        out.append(f.substr(i, n));
        break;
    }
    i += n;
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------- conversions

std::string ToText(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
      return {};
    case VarType::Null:
      Raise(94);
    case VarType::Long: {
      std::string out;
      AppendNumber(out, v.long_value());
      return out;
    }
    case VarType::Double:
      return DoubleText(v.double_value(), CurrentLocale());
    case VarType::Date:
      return GeneralDateText(v.date_value());
    case VarType::String:
      return v.string_value();
    case VarType::Boolean:
      return v.bool_value() ? "True" : "False";
    case VarType::Object:
      break;
  }
  Raise(13);
}

std::string ToTextOrEmpty(const Variant& v) { return v.is_null() ? std::string() : ToText(v); }

double ToDouble(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
      return 0;
    case VarType::Null:
      Raise(94);
    case VarType::Long:
      return v.long_value();
    case VarType::Double:
      return v.double_value();
    case VarType::Date:
      return v.date_value();
    case VarType::String:
      return NumberFromText(v.string_value());
    case VarType::Boolean:
      return v.bool_value() ? -1 : 0;
    case VarType::Object:
      break;
  }
  Raise(13);
}

int32_t ToLong(const Variant& v) {
  switch (v.type()) {
    case VarType::Long:
      return v.long_value();
    case VarType::Boolean:
      return v.bool_value() ? -1 : 0;
    default:
      return LongFromDouble(ToDouble(v));
  }
}

bool ToBoolean(const Variant& v) {
  switch (v.type()) {
    case VarType::Boolean:
      return v.bool_value();
    case VarType::String:
      if (auto word = BooleanWord(v.string_value())) return *word;
      return NumberFromText(v.string_value()) != 0;
    default:
      return ToDouble(v) != 0;
  }
}

double ToDate(const Variant& v) {
  switch (v.type()) {
    case VarType::Date:
      return v.date_value();
    case VarType::String:
      if (auto date = ParseDate(v.string_value(), CurrentLocale())) return *date;
      Raise(13);
    default:
      return DateFromDouble(ToDouble(v));
  }
}

namespace {

// The value a comparison with True or False sees; nullopt for Null (unknown).
std::optional<double> ComparedValue(const Variant& v) {
  switch (v.type()) {
    case VarType::Null:
      return std::nullopt;
    case VarType::String:
      if (auto word = BooleanWord(v.string_value())) return *word ? -1.0 : 0.0;
      return NumberFromText(v.string_value());
    default:
      return ToDouble(v);
  }
}

}  // namespace

bool EqualsTrue(const Variant& v) {
  auto value = ComparedValue(v);
  return value && *value == -1.0;
}

bool EqualsFalse(const Variant& v) {
  auto value = ComparedValue(v);
  return value && *value == 0.0;
}

bool IsNumeric(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Long:
    case VarType::Double:
    case VarType::Boolean:
      return true;
    case VarType::String: {
      double ignored;
      return ParseNumber(v.string_value(), CurrentLocale(), ignored) == NumberStatus::kOk;
    }
    default:
      return false;
  }
}

bool IsDate(const Variant& v) {
  if (v.type() == VarType::Date) return true;
  return v.is_string() && ParseDate(v.string_value(), CurrentLocale()).has_value();
}

std::string YesNoText(const Variant& v) { return ToLong(v) < 0 ? "Yes" : "No"; }

// ---------------------------------------------------------------- text

std::string Trim(std::string_view s) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

std::string LCase(std::string_view s) { return ToLower(s); }
std::string UCase(std::string_view s) { return ToUpper(s); }

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

Variant Now() { return Variant::Date(Platform().Now()); }

// ---------------------------------------------------------------- dates

DateParts SplitDate(double date) { return PartsOf(ToDayTime(date)); }

double MakeDate(int year, int month, int day, int hour, int minute, int second) {
  // Months roll into years first, then days and times move along the time line.
  const int64_t months = static_cast<int64_t>(year) * 12 + (month - 1);
  const int64_t y = FloorDiv(months, 12);
  const int m = static_cast<int>(months - y * 12) + 1;
  if (y < 100 || y > 9999) Raise(5);
  const int64_t first = SerialDay(y, m, 1);
  const int64_t seconds =
      (first + day - 1) * kSecondsPerDay + int64_t{hour} * 3600 + int64_t{minute} * 60 + second;
  return FromLinearSeconds(seconds);
}

int Year(double date) { return SplitDate(date).year; }
int Month(double date) { return SplitDate(date).month; }
int Day(double date) { return SplitDate(date).day; }
int Hour(double date) { return SplitDate(date).hour; }
int Minute(double date) { return SplitDate(date).minute; }
int Second(double date) { return SplitDate(date).second; }
int Weekday(double date) { return WeekdayOf(ToDayTime(date).day); }
double WholeDay(double date) { return FromDayTime(ToDayTime(date).day, 0); }

double DateAdd(std::string_view interval, int32_t number, double date) {
  const std::string unit = LCase(interval);
  const DayTime dt = ToDayTime(date);
  int64_t months = 0, seconds = 0;
  if (unit == "yyyy")
    months = int64_t{number} * 12;
  else if (unit == "q")
    months = int64_t{number} * 3;
  else if (unit == "m")
    months = number;
  else if (unit == "y" || unit == "d" || unit == "w")
    seconds = int64_t{number} * kSecondsPerDay;
  else if (unit == "ww")
    seconds = int64_t{number} * 7 * kSecondsPerDay;
  else if (unit == "h")
    seconds = int64_t{number} * 3600;
  else if (unit == "n")
    seconds = int64_t{number} * 60;
  else if (unit == "s")
    seconds = number;
  else
    Raise(5);

  if (months == 0) return FromLinearSeconds(LinearSeconds(dt) + seconds);
  const DateParts p = PartsOf(dt);
  const int64_t total = int64_t{p.year} * 12 + (p.month - 1) + months;
  const int64_t y = FloorDiv(total, 12);
  const int m = static_cast<int>(total - y * 12) + 1;
  if (y < 100 || y > 9999) Raise(5);
  return FromDayTime(SerialDay(y, m, std::min(p.day, DaysInMonth(y, m))), dt.seconds);
}

std::string FormatDate(double date, std::string_view format) {
  return FormatDateWith(date, format, CurrentLocale());
}

}  // namespace corvane
