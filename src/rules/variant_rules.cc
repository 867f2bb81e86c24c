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

#include <optional>
#include <string>

#include "corvane/platform.h"
#include "rules/case_mapping.h"
#include "rules/error_report.h"
#include "rules/variant_parts.h"

// The rules are spread over this file (the conversions, comparisons and text
// functions), calendar.cc, number_text.cc, date_text.cc, date_reading.cc and
// like.cc; rules/variant_parts.h joins them.

namespace corvane {

using pelmark::VarType;

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

Variant Now() { return Variant::Date(Platform().Now()); }

}  // namespace corvane
