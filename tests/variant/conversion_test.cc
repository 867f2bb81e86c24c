// CStr, CDbl, CLng, CBool, the comparisons with True and False and the yes/no
// text, with the Automation results (Wine's oleaut32 test vectors) as the facts.
#include <cmath>
#include <limits>

#include "rules/variant_parts.h"
#include "variant_test_util.h"

namespace variant_test {
namespace {

using namespace corvane;

TEST_F(VariantTest, TextOfEveryKindInBothLocales) {
  static const struct {
    Variant value;
    const char* en;
    const char* de;
  } cases[] = {
      {Variant(), "", ""},
      {Variant(int32_t{-42}), "-42", "-42"},
      {Variant(1.5), "1.5", "1,5"},
      {Variant(0.1 + 0.2), "0.3", "0,3"},
      {Variant(1.0 / 3), "0.333333333333333", "0,333333333333333"},
      {Variant(123456789012345.0), "123456789012345", "123456789012345"},
      {Variant(1e15), "1E+15", "1E+15"},
      {Variant(0.0001), "0.0001", "0,0001"},
      {Variant(1e-5), "1E-05", "1E-05"},
      {Variant(-1.5e-7), "-1.5E-07", "-1,5E-07"},
      {Variant(-0.0), "0", "0"},
      {Variant(true), "True", "True"},
      {Variant(false), "False", "False"},
      {Variant("abc"), "abc", "abc"},
      {Variant::Date(0.0), "12:00:00 AM", "00:00:00"},
      {Variant::Date(0.75), "6:00:00 PM", "18:00:00"},
      {Variant::Date(3.34), "1/2/1900 8:09:36 AM", "02.01.1900 08:09:36"},
      {Variant::Date(365.0), "12/30/1900", "30.12.1900"},
      {Variant::Date(1461.5), "12/31/1903 12:00:00 PM", "31.12.1903 12:00:00"},
      {Variant::Date(-49192.24), "4/24/1765 5:45:36 AM", "24.04.1765 05:45:36"},
      {Variant::Date(-657434.0), "1/1/100", "01.01.100"},
      {Variant::Date(2958465.0), "12/31/9999", "31.12.9999"},
      {Variant::Date(kFriday), "12/4/2026 9:05:00 PM", "04.12.2026 21:05:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToText(c.value), c.en) << c.en;
  UseGerman();
  for (const auto& c : cases) EXPECT_EQ(ToText(c.value), c.de) << c.de;
}

TEST_F(VariantTest, TextOfNullFailsUnlessEmptyIsAsked) {
  EXPECT_EQ(ErrorOf([] { ToText(Variant::Null()); }), 94);
  EXPECT_EQ(ToTextOrEmpty(Variant::Null()), "");
  EXPECT_EQ(ToTextOrEmpty(Variant(2.5)), "2.5");
}

TEST_F(VariantTest, DoubleFromTextEnUs) {
  static const struct {
    const char* text;
    double expected;
  } cases[] = {
      {"0", 0},           {"-1.5", -1.5},  {"0.6", 0.6},        {"1e3", 1000},
      {" 12 ", 12},       {"\t7\r\n", 7},  {"+ 2", 2},          {".5", 0.5},
      {"5.", 5},          {"1.5E+2", 150}, {"1,234.5", 1234.5}, {"&HFF", 255},
      {"&hff", 255},      {"&HFFFF", -1},  {"&H8000", -32768},  {"&H10000", 65536},
      {"&HFFFFFFFF", -1}, {"&O17", 15},    {"-&H10", -16},      {"1e-94938484", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ToDouble(Variant(c.text)), c.expected) << c.text;
  // Text read from the head of a longer one ends where its view ends.
  double head = 0;
  EXPECT_EQ(ParseNumber(std::string_view("2e5").substr(0, 1), LocaleInfo::EnUs(), head),
            NumberStatus::kOk);
  EXPECT_EQ(head, 2);
}

TEST_F(VariantTest, DoubleFromBadTextFailsWithItsNumber) {
  static const struct {
    const char* text;
    int32_t error;
  } cases[] = {
      {"", 13},      {" ", 13},   {"abc", 13},  {"1e", 13},    {"True", 13},
      {"1.2.3", 13}, {"&H", 13},  {"&HG", 13},  {"&O8", 13},   {",5", 13},
      {"1 2", 13},   {"--1", 13}, {"1e400", 6}, {"-1e400", 6}, {"&H100000000", 6},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ErrorOf([&] { ToDouble(Variant(c.text)); }), c.error) << c.text;
}

TEST_F(VariantTest, DoubleFromTextDeDeUsesCommaDecimals) {
  UseGerman();
  EXPECT_EQ(ToDouble(Variant("1.234,5")), 1234.5);
  EXPECT_EQ(ToDouble(Variant("-1,5")), -1.5);
  EXPECT_EQ(ToDouble(Variant("1,5e2")), 150);
  EXPECT_EQ(ToDouble(Variant("1.5")), 15);  // thousands separator, as Automation reads it
  EXPECT_EQ(ErrorOf([] { ToDouble(Variant("1,234.5")); }), 13);
}

TEST_F(VariantTest, DoubleFromOtherKinds) {
  EXPECT_EQ(ToDouble(Variant()), 0);
  EXPECT_EQ(ToDouble(Variant(true)), -1);
  EXPECT_EQ(ToDouble(Variant(false)), 0);
  EXPECT_EQ(ToDouble(Variant(int32_t{7})), 7);
  EXPECT_EQ(ToDouble(Variant::Date(2.25)), 2.25);
  EXPECT_EQ(ErrorOf([] { ToDouble(Variant::Null()); }), 94);
}

TEST_F(VariantTest, LongRoundsHalfToEvenAndOverflowsAtTheEdges) {
  static const struct {
    double value;
    int32_t expected;  // 0 with error set
    int32_t error;
  } cases[] = {
      {0.5, 0, 0},
      {1.5, 2, 0},
      {2.5, 2, 0},
      {3.5, 4, 0},
      {-0.5, 0, 0},
      {-1.5, -2, 0},
      {-2.5, -2, 0},
      {0.4, 0, 0},
      {0.6, 1, 0},
      {-0.6, -1, 0},
      {-0.0, 0, 0},
      {2147483647.49, 2147483647, 0},
      {-2147483648.5, -2147483647 - 1, 0},
      {2147483647.5, 0, 6},
      {2147483648.0, 0, 6},
      {-2147483648.51, 0, 6},
      {-2147483649.0, 0, 6},
      {std::numeric_limits<double>::quiet_NaN(), 0, 6},
  };
  for (const auto& c : cases) {
    int32_t got = 0;
    EXPECT_EQ(ErrorOf([&] { got = ToLong(Variant(c.value)); }), c.error) << c.value;
    EXPECT_EQ(got, c.expected) << c.value;
  }
}

TEST_F(VariantTest, LongFromTextAndOtherKinds) {
  EXPECT_EQ(ToLong(Variant("2.5")), 2);
  EXPECT_EQ(ToLong(Variant(" 12 ")), 12);
  EXPECT_EQ(ToLong(Variant("1e3")), 1000);
  EXPECT_EQ(ToLong(Variant("&HFF")), 255);
  EXPECT_EQ(ToLong(Variant("1,234.5")), 1234);
  EXPECT_EQ(ToLong(Variant()), 0);
  EXPECT_EQ(ToLong(Variant(true)), -1);
  EXPECT_EQ(ToLong(Variant::Date(1.5)), 2);
  EXPECT_EQ(ErrorOf([] { ToLong(Variant("")); }), 13);
  EXPECT_EQ(ErrorOf([] { ToLong(Variant("x")); }), 13);
  EXPECT_EQ(ErrorOf([] { ToLong(Variant("3000000000")); }), 6);
  EXPECT_EQ(ErrorOf([] { ToLong(Variant::Null()); }), 94);
  UseGerman();
  EXPECT_EQ(ToLong(Variant("3,5")), 4);
}

TEST_F(VariantTest, BooleanFromEveryKind) {
  static const struct {
    Variant value;
    bool expected;
    int32_t error;
  } cases[] = {
      {Variant(), false, 0},        {Variant(int32_t{0}), false, 0}, {Variant(int32_t{1}), true, 0},
      {Variant(-0.0), false, 0},    {Variant(0.1), true, 0},         {Variant::Date(0), false, 0},
      {Variant("True"), true, 0},   {Variant("false"), false, 0},    {Variant("FALSE"), false, 0},
      {Variant(" true "), true, 0}, {Variant("#TRUE#"), true, 0},    {Variant("#FALSE#"), false, 0},
      {Variant("0"), false, 0},     {Variant("-1"), true, 0},        {Variant("+1"), true, 0},
      {Variant("0.1"), true, 0},    {Variant("#False#"), false, 13}, {Variant("Yes"), false, 13},
      {Variant("On"), false, 13},   {Variant(""), false, 13},        {Variant::Null(), false, 94},
  };
  for (const auto& c : cases) {
    bool got = false;
    EXPECT_EQ(ErrorOf([&] { got = ToBoolean(c.value); }), c.error) << ToTextOrEmpty(c.value);
    EXPECT_EQ(got, c.expected) << ToTextOrEmpty(c.value);
  }
}

TEST_F(VariantTest, EqualsTrueAndFalseCompareNumerically) {
  static const struct {
    Variant value;
    bool is_true;
    bool is_false;
  } cases[] = {
      {Variant(true), true, false},
      {Variant(false), false, true},
      {Variant(int32_t{-1}), true, false},
      {Variant(int32_t{1}), false, false},
      {Variant(int32_t{0}), false, true},
      {Variant(-1.0), true, false},
      {Variant(), false, true},
      {Variant::Null(), false, false},
      {Variant("true"), true, false},
      {Variant("FALSE"), false, true},
      {Variant("-1"), true, false},
      {Variant("1"), false, false},
      {Variant(" 0 "), false, true},
      {Variant::Date(0), false, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EqualsTrue(c.value), c.is_true) << ToTextOrEmpty(c.value);
    EXPECT_EQ(EqualsFalse(c.value), c.is_false) << ToTextOrEmpty(c.value);
  }
  for (const char* text : {"abc", "", "Yes"}) {
    EXPECT_EQ(ErrorOf([&] { EqualsTrue(Variant(text)); }), 13) << text;
    EXPECT_EQ(ErrorOf([&] { EqualsFalse(Variant(text)); }), 13) << text;
  }
}

TEST_F(VariantTest, YesNoTextIsYesOnlyForNegativeWholeNumbers) {
  EXPECT_EQ(YesNoText(Variant(true)), "Yes");
  EXPECT_EQ(YesNoText(Variant(false)), "No");
  EXPECT_EQ(YesNoText(Variant(int32_t{1})), "No");
  EXPECT_EQ(YesNoText(Variant(-5.0)), "Yes");
  EXPECT_EQ(YesNoText(Variant(-0.5)), "No");  // rounds to 0
  EXPECT_EQ(YesNoText(Variant("-1")), "Yes");
  EXPECT_EQ(ErrorOf([] { YesNoText(Variant("abc")); }), 13);
  EXPECT_EQ(ErrorOf([] { YesNoText(Variant::Null()); }), 94);
}

TEST_F(VariantTest, IsNumericNeverRaises) {
  EXPECT_TRUE(IsNumeric(Variant()));
  EXPECT_TRUE(IsNumeric(Variant(true)));
  EXPECT_TRUE(IsNumeric(Variant(" 1e3 ")));
  EXPECT_TRUE(IsNumeric(Variant("&HFF")));
  EXPECT_FALSE(IsNumeric(Variant::Null()));
  EXPECT_FALSE(IsNumeric(Variant::Date(1)));
  EXPECT_FALSE(IsNumeric(Variant("")));
  EXPECT_FALSE(IsNumeric(Variant("1e400")));
  EXPECT_FALSE(IsNumeric(Variant("week")));
}

}  // namespace
}  // namespace variant_test
