// Dates written as text under the variant rules: the general date of CStr,
// by the locale's own patterns, and Format with a named date pattern.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "rules/variant_parts.h"
#include "rules/variant_rules.h"

namespace corvane {
namespace {

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

// ---------------------------------------------------------------- Format for dates

// What a date format is writing: the date's parts and the text so far.
struct FormatState {
  DayTime dt;
  DateParts p;
  const LocaleInfo& loc;
  int hour;                 // on a 12-hour clock when the format has an AM/PM section
  bool after_hour = false;  // an "m" right after an hour is the minutes
  std::string out;
};

// Writes the literal ("\x", "text") or the AM/PM section that starts at f[i]
// and answers how many characters it took, or 0 when none starts there.
size_t WriteLiteralOrDesignator(std::string_view f, size_t i, FormatState& s) {
  if (f[i] == '\\' && i + 1 < f.size()) {
    s.out.push_back(f[i + 1]);
    return 2;
  }
  if (f[i] == '"') {
    size_t end = f.find('"', i + 1);
    if (end == std::string_view::npos) end = f.size();
    s.out.append(f.substr(i + 1, end - i - 1));
    return end + 1 - i;
  }
  std::string_view rest = f.substr(i);
  auto starts_no_case = [&](std::string_view word) {
    return rest.size() >= word.size() && EqualsNoCase(rest.substr(0, word.size()), word);
  };
  const bool upper = rest[0] == 'A';
  if (starts_no_case("am/pm")) {
    s.out += s.p.hour < 12 ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
    return 5;
  }
  if (starts_no_case("a/p")) {
    s.out += s.p.hour < 12 ? (upper ? "A" : "a") : (upper ? "P" : "p");
    return 3;
  }
  if (starts_no_case("ampm")) {
    s.out += s.p.hour < 12 ? s.loc.am_designator : s.loc.pm_designator;
    return 4;
  }
  return 0;
}

// Whether the run of n "m"s at f[i] means minutes: after an hour, or before
// seconds (blanks and separators between).
bool MinutesAt(std::string_view f, size_t i, size_t n, const FormatState& s) {
  if (n > 2) return false;
  size_t k = i + n;
  while (k < f.size() && !std::isalpha(static_cast<unsigned char>(f[k]))) ++k;
  return s.after_hour || (k < f.size() && AsciiLower(f[k]) == 's');
}

// Writes one run of a format letter (`run` holds it as written, lowered `lc`).
void WriteField(char lc, std::string_view run, bool minutes, FormatState& s) {
  const size_t n = run.size();
  const DateParts& p = s.p;
  switch (lc) {
    case 'd':
      if (n == 1 || n == 2)
        AppendNumber(s.out, p.day, static_cast<int>(n));
      else if (n == 3)
        s.out += s.loc.day_abbreviations[WeekdayOf(s.dt.day) - 1];
      else
        s.out += s.loc.day_names[WeekdayOf(s.dt.day) - 1];
      s.after_hour = false;
      break;
    case 'm':
      if (minutes)
        AppendNumber(s.out, p.minute, static_cast<int>(n));
      else if (n <= 2)
        AppendNumber(s.out, p.month, static_cast<int>(n));
      else if (n == 3)
        s.out += s.loc.month_abbreviations[p.month - 1];
      else
        s.out += s.loc.month_names[p.month - 1];
      s.after_hour = false;
      break;
    case 'n':
      AppendNumber(s.out, p.minute, static_cast<int>(std::min<size_t>(n, 2)));
      break;
    case 'y':
      if (n >= 3)
        AppendNumber(s.out, p.year, 4);
      else if (n == 2)
        AppendNumber(s.out, p.year % 100, 2);
      else
        AppendNumber(s.out, s.dt.day - SerialDay(p.year, 1, 1) + 1);
      s.after_hour = false;
      break;
    case 'h':
      AppendNumber(s.out, s.hour, static_cast<int>(std::min<size_t>(n, 2)));
      s.after_hour = true;
      break;
    case 's':
      AppendNumber(s.out, p.second, static_cast<int>(std::min<size_t>(n, 2)));
      break;
    case 'w':
      AppendNumber(s.out, WeekdayOf(s.dt.day));
      break;
    case 'q':
      AppendNumber(s.out, (p.month - 1) / 3 + 1);
      break;
    case ':':
      for (size_t k = 0; k < n; ++k) s.out += s.loc.time_separator;
      break;
    case '/':
      for (size_t k = 0; k < n; ++k) s.out += s.loc.date_separator;
      break;
    default:
      s.out.append(run);
      break;
  }
}

std::string FormatDateWith(double date, std::string_view f, const LocaleInfo& loc) {
  const DayTime dt = ToDayTime(date);
  const DateParts p = PartsOf(dt);
  // A 12-hour clock when the format has an AM/PM section anywhere.
  const std::string lower = LCase(f);
  const bool twelve = lower.find("am/pm") != std::string::npos ||
                      lower.find("a/p") != std::string::npos ||
                      lower.find("ampm") != std::string::npos;
  FormatState s{dt, p, loc, twelve ? TwelveHour(p.hour) : p.hour, false, {}};
  for (size_t i = 0; i < f.size();) {
    const char lc = AsciiLower(f[i]);
    size_t n = 1;
    while (i + n < f.size() && AsciiLower(f[i + n]) == lc && lc != '\\' && lc != '"') ++n;
    if (const size_t taken = WriteLiteralOrDesignator(f, i, s)) {
      i += taken;
      continue;
    }
    WriteField(lc, f.substr(i, n), lc == 'm' && MinutesAt(f, i, n, s), s);
    i += n;
  }
  return s.out;
}

}  // namespace

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

std::string FormatDate(double date, std::string_view format) {
  return FormatDateWith(date, format, CurrentLocale());
}

}  // namespace corvane
