// The pieces the variant rules share between their files: calendar arithmetic
// (calendar.cc), number text (number_text.cc), dates written as text
// (date_text.cc) and read from text (date_reading.cc), and small text helpers.
// Private to src/rules/: the rest of the library uses rules/variant_rules.h.
//
// Threading: as rules/variant_rules.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "corvane/platform.h"
#include "rules/case_mapping.h"
#include "rules/variant_rules.h"

namespace corvane {

// ---------------------------------------------------------------- calendar

// Serial day numbers of 1 January 100 and 31 December 9999, the range of a date.
inline constexpr int64_t kFirstDay = -657434;
inline constexpr int64_t kLastDay = 2958465;
inline constexpr int64_t kSecondsPerDay = 86400;

int DaysInMonth(int64_t y, int m);
// The serial day of a proleptic Gregorian date (civil-from-days arithmetic).
int64_t SerialDay(int64_t y, int m, int d);

// A date as a calendar day and the seconds since its midnight.
struct DayTime {
  int64_t day;
  int64_t seconds;
};

// Splits a serial: the whole part names the day, the fraction (always counted
// forward) the time, rounded to the nearest second. Outside the range of a date
// it raises 5.
DayTime ToDayTime(double date);
// The serial of a day and a time of day; a day outside the range raises 5.
double FromDayTime(int64_t day, int64_t seconds);
DateParts PartsOf(const DayTime& dt);
// 1 for Sunday to 7 for Saturday.
int WeekdayOf(int64_t serial_day);

// ---------------------------------------------------------------- text helpers

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline std::string_view StripBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  return EqualsIgnoringCase(a, b);
}

// False for an empty prefix, so that a locale without a separator matches nothing.
inline bool StartsWith(std::string_view s, std::string_view prefix) {
  return !prefix.empty() && s.substr(0, prefix.size()) == prefix;
}

// Appends `n` in decimal, with leading zeros up to `min_digits`.
void AppendNumber(std::string& out, int64_t n, int min_digits = 1);

inline const LocaleInfo& CurrentLocale() { return Platform().Locale(); }

// ---------------------------------------------------------------- numbers

enum class NumberStatus { kOk, kNotANumber, kOverflow };

// Reads number text under `loc` (see the table in variant_rules.cc, note 7).
// Never throws.
NumberStatus ParseNumber(std::string_view text, const LocaleInfo& loc, double& out);
// The number the text reads as under the current locale: 13 when it is none,
// 6 when it is too large.
double NumberFromText(std::string_view text);
// Up to 15 significant digits with the locale's decimal separator (note 4).
std::string DoubleText(double x, const LocaleInfo& loc);
// Half to even; outside the 32-bit range (or NaN) raises 6.
int32_t LongFromDouble(double x);
// "True"/"False" in any case (blanks around), or "#TRUE#"/"#FALSE#" exactly.
std::optional<bool> BooleanWord(std::string_view text);

// ---------------------------------------------------------------- dates and text

// The general date (note 6) under the current locale.
std::string GeneralDateText(double date);
// Reads date text (note 9). Never throws for bad text.
std::optional<double> ParseDate(std::string_view text, const LocaleInfo& loc);
// A number as a date; outside the range of a date it overflows (6).
double DateFromDouble(double x);

}  // namespace corvane
