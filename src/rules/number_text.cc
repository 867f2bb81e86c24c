// Numbers as text under the variant rules: reading number text under a locale
// (decimal and thousands separators, exponents, Basic's &H and &O literals),
// writing a Double with up to 15 significant digits, rounding to a Long, and
// the Boolean words.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

#include "rules/error_report.h"
#include "rules/variant_parts.h"

namespace corvane {
namespace {

// "&H..." or "&O..." after the sign: a Basic literal, where what fits 16 bits
// is an Integer and more a Long, the sign bit kept.
NumberStatus ParseBasicLiteral(std::string_view s, bool negative, double& out) {
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
  double result = value <= 0xFFFF ? static_cast<int16_t>(static_cast<uint16_t>(value))
                                  : static_cast<int32_t>(static_cast<uint32_t>(value));
  out = negative ? -result : result;
  return NumberStatus::kOk;
}

// Copies the digits and the decimal separator of s (from its start) into
// `clean` as plain ASCII, for from_chars, which ignores the process locale;
// thousands separators after the first digit are dropped. Leaves `i` on the
// first character that is none of these; false when there was no digit.
bool ReadMantissa(std::string_view s, const LocaleInfo& loc, std::string& clean, size_t& i) {
  int whole_digits = 0, frac_digits = 0;
  bool saw_decimal = false;
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
  return whole_digits + frac_digits > 0;
}

// An exponent ("e"/"E", an optional sign, digits) at s[i], appended to `clean`
// and kept in `exponent`; false when an "e" has no digits.
bool ReadExponent(std::string_view s, std::string& clean, size_t& i, int64_t& exponent) {
  if (i >= s.size() || AsciiLower(s[i]) != 'e') return true;
  size_t j = i + 1;
  bool exp_negative = false;
  if (j < s.size() && (s[j] == '+' || s[j] == '-')) exp_negative = s[j++] == '-';
  size_t start = j;
  while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
    if (exponent < 100000000) exponent = exponent * 10 + (s[j] - '0');
    ++j;
  }
  if (j == start) return false;
  if (exp_negative) exponent = -exponent;
  clean.push_back('e');
  AppendNumber(clean, exponent);
  i = j;
  return true;
}

// The value of the plain ASCII number text; a value too large overflows, one
// too small is 0.
NumberStatus ConvertClean(const std::string& clean, int64_t exponent, double& value) {
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
  return NumberStatus::kOk;
}

// Round half to even, as CLng and the integer conversions do.
double RoundHalfEven(double x) {
  const double floor = std::floor(x);
  const double diff = x - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

}  // namespace

void AppendNumber(std::string& out, int64_t n, int min_digits) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, n < 0 ? -n : n);
  if (n < 0) out.push_back('-');
  for (int i = static_cast<int>(r.ptr - buf); i < min_digits; ++i) out.push_back('0');
  out.append(buf, r.ptr);
}

NumberStatus ParseNumber(std::string_view text, const LocaleInfo& loc, double& out) {
  std::string_view s = StripBlanks(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s = StripBlanks(s.substr(1));
  }
  if (s.empty()) return NumberStatus::kNotANumber;
  if (s.size() >= 2 && s[0] == '&' && (AsciiLower(s[1]) == 'h' || AsciiLower(s[1]) == 'o'))
    return ParseBasicLiteral(s, negative, out);

  std::string clean;
  clean.reserve(s.size() + 2);
  size_t i = 0;
  int64_t exponent = 0;
  if (!ReadMantissa(s, loc, clean, i)) return NumberStatus::kNotANumber;
  if (!ReadExponent(s, clean, i, exponent)) return NumberStatus::kNotANumber;
  if (i != s.size()) return NumberStatus::kNotANumber;
  double value = 0;
  const NumberStatus status = ConvertClean(clean, exponent, value);
  if (status == NumberStatus::kOk) out = negative ? -value : value;
  return status;
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

}  // namespace corvane
