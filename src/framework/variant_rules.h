// The classic Basic/Automation rules for variant values, in one place: the
// conversions (CStr, CDbl, CLng, CBool, CDate), comparisons with True and False,
// Trim and casing, the Like operator, date arithmetic and the named formats.
// Text of numbers and dates follows the locale of the platform seam.
//
// Failures raise pelmark::Error with source "Corvane" and the classic numbers:
// 13 type mismatch, 6 overflow, 94 invalid use of Null, 5 invalid argument.
// (The rule table is in variant_rules.cc's header comment.)
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

// Trim: spaces (U+0020) only, at both ends.
std::string Trim(std::string_view s);
// Simple Unicode case mapping, independent of the locale. UTF-8 in and out.
std::string LCase(std::string_view s);
std::string UCase(std::string_view s);

// Basic's Like with binary comparison: * ? # [list] [!list].
bool Like(std::string_view text, std::string_view pattern);

// The local date and time now (from the platform clock), as a Date variant.
Variant Now();

}  // namespace corvane
