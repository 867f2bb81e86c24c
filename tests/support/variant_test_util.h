// Shared helpers of the variant rule tests: a scoped platform with a fixed clock
// and a chosen locale, and the error number a call raises.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "corvane/platform.h"
#include "errors.h"
#include "pelmark/com.h"
#include "rules/variant_rules.h"
#include "test_platform.h"

namespace variant_test {

using corvane::LocaleInfo;
using pelmark::Variant;

// 4 December 2026 21:05:00 (a Friday).
inline constexpr double kFriday = 46360.0 + (21 * 60 + 5) / 1440.0;

// Runs `f` and returns the number of the pelmark::Error it raises (0 when none),
// checking that the library raised it as itself.
template <class F>
int32_t ErrorOf(F&& f) {
  std::optional<pelmark::Error> e = corvane_test::RaisedBy(std::forward<F>(f));
  if (e) EXPECT_EQ(e->source(), "Corvane");
  return e ? e->number() : 0;
}

// Installs a test platform in en-US with the clock at kFriday; `UseGerman()`
// switches to de-DE.
class VariantTest : public ::testing::Test {
 protected:
  VariantTest() { platform_.now = kFriday; }
  void UseGerman() { platform_.locale = &LocaleInfo::DeDe(); }

  corvane_test::TestPlatform platform_;
};

}  // namespace variant_test
