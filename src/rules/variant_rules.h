// The classic Basic/Automation rules for variant values, in one place: the
// conversions (CStr, CDbl, CLng, CBool, CDate), comparisons with True and False,
// Trim and casing, the Like operator, date arithmetic and the named formats.
// Text of numbers and dates follows the locale of the platform seam.
//
// Failures raise pelmark::Error with source "Corvane" and the classic numbers:
// 13 type mismatch, 6 overflow, 94 invalid use of Null, 5 invalid argument,
// 93 invalid pattern string.
// (The rule table is in variant_rules.cc's header comment.)
//
// Threading: the functions keep no state of their own; they read the platform
// seam (locale, clock) on the calling thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pelmark/variant.h"

namespace corvane {

using pelmark::Variant;

// CStr. Null raises 94; Empty gives "". Objects raise 13.
std::string ToText(const Variant& v);
// CStr, except that Null gives "" (where a step says a null value gives the empty string).
std::string ToTextOrEmpty(const Variant& v);
// CDbl. Text is read with the locale's separators; Null raises 94; Empty is 0.
double ToDouble(const Variant& v);
// CLng: banker's rounding; out of range raises 6.
int32_t ToLong(const Variant& v);
// CBool: any non-zero number is True; "True"/"False" in any case or numeric text.
bool ToBoolean(const Variant& v);
// CDate, as days since 30 December 1899.
double ToDate(const Variant& v);

// Whether `v` equals True (-1) as a classic comparison does: numeric, Null is
// unknown (false), Empty equals False. Text that is no number raises 13 unless it
// is "True"/"False" in any case.
bool EqualsTrue(const Variant& v);
bool EqualsFalse(const Variant& v);

// IsNumeric: Empty, numbers and Booleans are; Null, dates and objects are not;
// text is when CDbl would read it. Never raises.
bool IsNumeric(const Variant& v);
// IsDate: dates are; text is when CDate would read it as text. Never raises.
bool IsDate(const Variant& v);

// The value as a 32-bit whole number (CLng) formatted with "\N\o;\Y\e\s": "Yes"
// for a negative number (True is -1), "No" for zero and positive ones.
std::string YesNoText(const Variant& v);

// Trim: spaces (U+0020) only, at both ends.
std::string Trim(std::string_view s);
// Simple Unicode case mapping, independent of the locale. UTF-8 in and out.
std::string LCase(std::string_view s);
std::string UCase(std::string_view s);

// Basic's Like with binary comparison: * ? # [list] [!list]. A malformed
// pattern (an unclosed "[" or a descending range) raises 93.
bool Like(std::string_view text, std::string_view pattern);

// The local date and time now (from the platform clock), as a Date variant.
Variant Now();

// ---- Dates (days since 30 December 1899; the fraction is the time of day, which
// counts forward from midnight also before day 0: -1.25 is 29 December 1899 06:00).

// A date split into its calendar parts, rounded to the nearest second.
struct DateParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// A date outside 1 January 100 to 31 December 9999 raises 5.
DateParts SplitDate(double date);
// DateSerial + TimeSerial: months and days out of their range roll over into the
// neighbouring ones (month 13 is January of the next year, day 0 the last day of
// the month before). A result outside the years 100 to 9999 raises 5.
double MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

int Year(double date);
int Month(double date);
int Day(double date);
int Hour(double date);
int Minute(double date);
int Second(double date);
// 1 for Sunday to 7 for Saturday.
int Weekday(double date);
// The date's own day at 00:00 (the time of day dropped).
double WholeDay(double date);

// DateAdd: `number` units of `interval` ("yyyy", "q", "m", "y", "d", "w", "ww",
// "h", "n", "s"; any case) added to `date`. Adding months keeps the day of the
// month where it exists, otherwise takes the month's last day. An unknown
// interval or a result outside the years 100 to 9999 raises 5.
double DateAdd(std::string_view interval, int32_t number, double date);

// Format with a named date pattern, as Basic's Format does for dates: d dd ddd
// dddd, m mm mmm mmmm (minutes after h or before s), n nn, y yy yyyy, h hh, s ss,
// w, q, AM/PM am/pm A/P a/p AMPM, "/" and ":" as the locale's separators,
// "\x" and "text" as literals. Names come from the platform locale, for example
// "ddd,mmm d yyyy h:mm AM/PM" gives "Fri,Dec 4 2026 9:05 PM" in en-US.
std::string FormatDate(double date, std::string_view format);

}  // namespace corvane
