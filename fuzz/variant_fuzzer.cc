// The variant conversions on arbitrary text and on numbers and dates made of
// the input's bytes. Besides crashes and sanitizer findings, the fuzzer checks
// the rules the steps rely on: failures are pelmark::Error with one of the
// classic numbers, IsNumeric and IsDate never raise and agree with CDbl and
// CDate, whole numbers survive CStr then CLng, and dates CDate accepts can be
// split and formatted.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../tests/support/test_platform.h"
#include "rules/variant_rules.h"

namespace {

using corvane::Variant;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Runs `call`; a failure must carry a number the conversions document.
template <class Call>
bool Tried(Call&& call) {
  try {
    call();
    return true;
  } catch (const pelmark::Error& e) {
    const int32_t n = e.number();
    Check(n == 5 || n == 6 || n == 13 || n == 93 || n == 94);
    Check(e.source() == "Corvane");
    return false;
  }
}

void Conversions(const Variant& v) {
  const bool numeric = corvane::IsNumeric(v);
  const bool date = corvane::IsDate(v);
  Tried([&] { corvane::ToText(v); });
  Tried([&] { corvane::ToTextOrEmpty(v); });
  bool read = Tried([&] { corvane::ToDouble(v); });
  if (numeric) Check(read);
  Tried([&] { corvane::ToLong(v); });
  Tried([&] { corvane::ToBoolean(v); });
  Tried([&] { corvane::EqualsTrue(v); });
  Tried([&] { corvane::EqualsFalse(v); });
  Tried([&] { corvane::YesNoText(v); });
  double days = 0;
  bool dated = Tried([&] { days = corvane::ToDate(v); });
  if (date && v.type() == pelmark::VarType::String) Check(dated);
  if (dated && std::isfinite(days)) {
    Tried([&] { corvane::SplitDate(days); });
    Tried([&] { corvane::FormatDate(days, "ddd,mmm d yyyy h:mm AM/PM"); });
    Tried([&] { corvane::DateAdd("m", 1, days); });
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1024) return 0;
  // Installed once and kept: the conversions read the clock and locale through it.
  [[maybe_unused]] static corvane_test::TestPlatform* platform = new corvane_test::TestPlatform;
  const std::string text(reinterpret_cast<const char*>(data), size);

  Conversions(Variant(text));
  Check(corvane::Trim(text).size() <= text.size());
  Check(corvane::LCase(text).size() <= 2 * text.size() + 8);
  Check(corvane::UCase(text).size() <= 2 * text.size() + 8);
  // The text's first half as the subject, the rest as the pattern.
  Tried([&] { corvane::Like(text.substr(0, size / 2), text.substr(size / 2)); });
  Tried([&] { corvane::FormatDate(corvane_test::kFixedNow, text); });

  if (size >= sizeof(double)) {
    double d;
    std::memcpy(&d, data, sizeof d);
    Conversions(Variant(d));
    Conversions(Variant::Date(d));
  }
  if (size >= sizeof(int32_t)) {
    int32_t n;
    std::memcpy(&n, data, sizeof n);
    Conversions(Variant(n));
    // A whole number comes back from its own text.
    Check(corvane::ToLong(Variant(corvane::ToText(Variant(n)))) == n);
    Tried([&] { corvane::DateAdd(text.substr(4, 4), n, 45000.5); });
  }
  return 0;
}
