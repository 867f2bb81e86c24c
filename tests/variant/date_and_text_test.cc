// CDate, the date helpers (parts, DateAdd, Format), Trim, casing and Like.
#include <cmath>

#include "variant_test_util.h"

namespace variant_test {
namespace {

using namespace corvane;

constexpr double kSecond = 1.0 / 86400;

TEST_F(VariantTest, DateFromTextEnUs) {
  static const struct {
    const char* text;
    double expected;
  } cases[] = {
      {"1/2/1970", 25570},
      {"2 January, 1970", 25570},
      {"2-Jan-1970", 25570},
      {"2/jan/1970", 25570},
      {"13-1-1970", 25581},
      {"1970-1-13", 25581},
      {"2020-01-11", 43841},
      {"1 2 3", 37623},
      {"14 2 3", 41673},
      {"2 14 3", 37666},
      {"32 2 3", 11722},
      {"1 2 29", 47120},
      {"1 2 30", 10960},
      {"1 2 31", 11325},
      {"30 2", 10990},
      {"Jan 35", 12785},
      {"35/Jan", 12785},
      {"1 2", 46024},
      {"Jan 14", 46036},
      {"14 1", 46036},
      {"1 am", 1 / 24.0},
      {"3:5", 0.1284722222222222},
      {"2.5", 0.0868055555555556},
      {"1.5.2", 0.0451620370370370},
      {"00:00 pm", 0.5},
      {"12:59 AM", 0.0409722222222222},
      {"13:00 AM", 0.5416666666666666},
      {"1 2 3 4.5.6", 37623.17020833334},
      {"3 am 1 2", 46024.125},
      {"12/4/2026 9:05:00 PM", kFriday},
      {"Fri,Dec 4 2026 9:05 PM", kFriday},
      {" 2026-12-04T21:05 ", kFriday},
      {"2026-12-04T21:05:30", kFriday + 30 * kSecond},
      {"2026-12-04T23:59:59", kFriday + (2 * 3600 + 54 * 60 + 59) * kSecond},
  };
  for (const auto& c : cases) EXPECT_NEAR(ToDate(Variant(c.text)), c.expected, 1e-9) << c.text;
}

TEST_F(VariantTest, DateFromBadTextIsTypeMismatch) {
  for (const char* text : {"",        "True",      "0",          "1",        "45000",
                           "0.60",    "24:00",     "0:60",       "1 2 am",   "1 am 2",
                           "1;2;3",   "(1:2)",     "32 49",      "0 49",     "-1.1",
                           "1.1-",    "0.",        ".0",         "1.2.3.4",  "1 2 3 4",
                           "1.2 3.4", "2/30/2020", "02.01.1970", "Smarch 3", "2026-13-01T10:00"})
    EXPECT_EQ(ErrorOf([&] { ToDate(Variant(text)); }), 13) << text;
  EXPECT_EQ(ErrorOf([] { ToDate(Variant("2026-12-04T24:00")); }), 13);
  EXPECT_EQ(ErrorOf([] { ToDate(Variant("2026-12-04T21.05")); }), 13);
}

TEST_F(VariantTest, DateFromTextDeDe) {
  UseGerman();
  static const struct {
    const char* text;
    double expected;
  } cases[] = {
      {"02.01.1970", 25570},       {"02.13.1970", 25612},   {"02-13-1970", 25612},
      {"2020-01-11", 43841},       {"2173-10-14", 100000},  {"02.01.1970 00:00:00", 25570},
      {"4. Dezember 2026", 46360}, {"4. März 2026", 46085}, {"04.12.2026 21:05:00", kFriday},
      {"4. MÄRZ 2026", 46085},     {"4. märz 2026", 46085}, {"4. mÄrZ 2026", 46085},
  };
  for (const auto& c : cases) EXPECT_NEAR(ToDate(Variant(c.text)), c.expected, 1e-9) << c.text;
  // A word beyond ASCII that names no month is no date.
  for (const char* text : {"4. Mörz 2026", "4. Märzz 2026", "4. März 2026 ü"})
    EXPECT_EQ(ErrorOf([&] { ToDate(Variant(text)); }), 13) << text;
}

TEST_F(VariantTest, DateFromOtherKinds) {
  EXPECT_EQ(ToDate(Variant(1.5)), 1.5);
  EXPECT_EQ(ToDate(Variant(int32_t{2})), 2);
  EXPECT_EQ(ToDate(Variant(true)), -1);
  EXPECT_EQ(ToDate(Variant()), 0);
  EXPECT_EQ(ToDate(Variant(-657434.0)), -657434.0);
  EXPECT_EQ(ErrorOf([] { ToDate(Variant(2958466.0)); }), 6);
  EXPECT_EQ(ErrorOf([] { ToDate(Variant(-657435.0)); }), 6);
  EXPECT_EQ(ErrorOf([] { ToDate(Variant::Null()); }), 94);
  EXPECT_TRUE(IsDate(Variant("1/2/1970")));
  EXPECT_TRUE(IsDate(Variant::Date(45000.0)));
  EXPECT_FALSE(IsDate(Variant("45000")));
  EXPECT_FALSE(IsDate(Variant(45000.0)));
}

TEST_F(VariantTest, DateTextReadsBackInBothLocales) {
  const double dates[] = {kFriday, 0.75, 365, -49192.25, 2958465 + 86399 * kSecond, 36525.5};
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) UseGerman();
    for (double d : dates) {
      const std::string text = ToText(Variant::Date(d));
      EXPECT_NEAR(ToDate(Variant(text)), d, 1e-9) << text;
    }
  }
}

TEST_F(VariantTest, NowIsThePlatformClock) {
  const Variant now = Now();
  ASSERT_EQ(now.type(), pelmark::VarType::Date);
  EXPECT_EQ(now.date_value(), kFriday);
}

TEST_F(VariantTest, DatePartsCountTheTimeForwardBeforeDayZero) {
  const DateParts p = SplitDate(-1.25);
  EXPECT_EQ(std::tie(p.year, p.month, p.day, p.hour), std::make_tuple(1899, 12, 29, 6));
  EXPECT_EQ(Year(kFriday), 2026);
  EXPECT_EQ(Month(kFriday), 12);
  EXPECT_EQ(Day(kFriday), 4);
  EXPECT_EQ(Hour(kFriday), 21);
  EXPECT_EQ(Minute(kFriday), 5);
  EXPECT_EQ(Second(kFriday + 59.6 * kSecond), 0);  // rounds into the next minute
  EXPECT_EQ(Weekday(kFriday), 6);
  EXPECT_EQ(Weekday(0), 7);
  EXPECT_EQ(WholeDay(kFriday), 46360);
  EXPECT_EQ(WholeDay(-1.25), -1);
  EXPECT_EQ(MakeDate(2026, 12, 4, 21, 5), kFriday);
  EXPECT_EQ(MakeDate(2024, 13, 1), MakeDate(2025, 1, 1));
  EXPECT_EQ(MakeDate(2024, 3, 0), MakeDate(2024, 2, 29));
  EXPECT_EQ(ErrorOf([] { MakeDate(99, 12, 31); }), 5);
  EXPECT_EQ(ErrorOf([] { SplitDate(2958466); }), 5);
}

TEST_F(VariantTest, DateAddByEveryInterval) {
  static const struct {
    const char* unit;
    int32_t number;
    int from[6];
    int to[6];
  } cases[] = {
      {"m", 1, {2024, 1, 31, 10, 0, 0}, {2024, 2, 29, 10, 0, 0}},
      {"m", 1, {2023, 1, 31, 0, 0, 0}, {2023, 2, 28, 0, 0, 0}},
      {"M", -13, {2024, 3, 31, 0, 0, 0}, {2023, 2, 28, 0, 0, 0}},
      {"yyyy", 1, {2024, 2, 29, 8, 0, 0}, {2025, 2, 28, 8, 0, 0}},
      {"q", 1, {2024, 11, 30, 0, 0, 0}, {2025, 2, 28, 0, 0, 0}},
      {"d", 3, {2024, 12, 30, 12, 0, 0}, {2025, 1, 2, 12, 0, 0}},
      {"y", 1, {2024, 12, 31, 0, 0, 0}, {2025, 1, 1, 0, 0, 0}},
      {"w", -1, {2024, 3, 1, 0, 0, 0}, {2024, 2, 29, 0, 0, 0}},
      {"ww", 2, {2024, 2, 20, 0, 0, 0}, {2024, 3, 5, 0, 0, 0}},
      {"h", -2, {2024, 3, 1, 1, 0, 0}, {2024, 2, 29, 23, 0, 0}},
      {"n", 90, {2024, 1, 1, 23, 0, 0}, {2024, 1, 2, 0, 30, 0}},
      {"s", -1, {2000, 1, 1, 0, 0, 0}, {1999, 12, 31, 23, 59, 59}},
      {"h", 1, {1899, 12, 29, 23, 30, 0}, {1899, 12, 30, 0, 30, 0}},
      {"h", 12, {1899, 12, 28, 6, 0, 0}, {1899, 12, 28, 18, 0, 0}},
  };
  for (const auto& c : cases) {
    const double from = MakeDate(c.from[0], c.from[1], c.from[2], c.from[3], c.from[4], c.from[5]);
    const DateParts p = SplitDate(DateAdd(c.unit, c.number, from));
    EXPECT_EQ(std::vector<int>({p.year, p.month, p.day, p.hour, p.minute, p.second}),
              std::vector<int>(std::begin(c.to), std::end(c.to)))
        << c.unit << " " << c.number;
  }
}

TEST_F(VariantTest, DateAddOutsideTheYearRangeOrUnknownUnitIsInvalid) {
  EXPECT_EQ(ErrorOf([] { DateAdd("x", 1, kFriday); }), 5);
  EXPECT_EQ(ErrorOf([] { DateAdd("yyyy", 1, MakeDate(9999, 6, 1)); }), 5);
  EXPECT_EQ(ErrorOf([] { DateAdd("d", -1, MakeDate(100, 1, 1)); }), 5);
  EXPECT_EQ(ErrorOf([] { DateAdd("s", 1, MakeDate(9999, 12, 31, 23, 59, 59)); }), 5);
  EXPECT_EQ(DateAdd("d", 0, MakeDate(100, 1, 1)), -657434);
}

TEST_F(VariantTest, FormatDateWithNamedPatterns) {
  const char* kApproval = "ddd,mmm d yyyy h:mm AM/PM";
  EXPECT_EQ(FormatDate(kFriday, kApproval), "Fri,Dec 4 2026 9:05 PM");
  EXPECT_EQ(FormatDate(MakeDate(2027, 1, 1, 0, 7), kApproval), "Fri,Jan 1 2027 12:07 AM");
  EXPECT_EQ(FormatDate(MakeDate(2027, 3, 15, 12, 0), kApproval), "Mon,Mar 15 2027 12:00 PM");
  EXPECT_EQ(FormatDate(kFriday, "yyyy-mm-dd hh:nn:ss"), "2026-12-04 21:05:00");
  EXPECT_EQ(FormatDate(kFriday, "dddd d mmmm yy, h:mm a/p"), "Friday 4 December 26, 9:05 p");
  EXPECT_EQ(FormatDate(kFriday, "\\Q q \"w\" w"), "Q 4 w 6");
  EXPECT_EQ(FormatDate(kFriday, "h:mm mm/dd/yyyy"), "21:05 12/04/2026");  // minutes, then the month
  UseGerman();
  EXPECT_EQ(FormatDate(kFriday, kApproval), "Fr,Dez 4 2026 9:05 PM");
  EXPECT_EQ(FormatDate(kFriday, "dd/mm/yy hh:mm"), "04.12.26 21:05");
}

TEST_F(VariantTest, TrimRemovesSpacesOnly) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("\tx\t"), "\tx\t");
  EXPECT_EQ(Trim("    "), "");
  EXPECT_EQ(Trim(""), "");
}

TEST_F(VariantTest, CasingUsesSimpleUnicodeMappings) {
  static const struct {
    const char* upper;
    const char* lower;
  } pairs[] = {
      {"MIXED 123 ABC", "mixed 123 abc"},
      {"ÄÖÜ", "äöü"},
      {"ΑΒΓΣ", "αβγσ"},
      {"ПРИВЕТ", "привет"},
      {"ÀÉÎÕÇ", "àéîõç"},
      {"𐐀𐐁", "𐐨𐐩"},
  };
  for (const auto& p : pairs) {
    EXPECT_EQ(LCase(p.upper), p.lower);
    EXPECT_EQ(UCase(p.lower), p.upper);
  }
  EXPECT_EQ(UCase("ß"), "ß");  // no single-letter capital in the simple mapping
  EXPECT_EQ(LCase("ẞ"), "ß");
  EXPECT_EQ(LCase("İ"), "i");
  EXPECT_EQ(UCase("ǆ"), "Ǆ");
  EXPECT_EQ(LCase("A\xFF"
                  "B\xC3"),
            "a\xFF"
            "b\xC3");  // malformed bytes pass through
  // 0xF5 would lead a character beyond U+10FFFF: it passes through too.
  EXPECT_EQ(LCase("\xF5\x80\x80"), "\xF5\x80\x80");
  UseGerman();
  EXPECT_EQ(UCase("straße"), "STRAßE");
}

TEST_F(VariantTest, LikeMatchesClassicPatterns) {
  static const struct {
    const char* text;
    const char* pattern;
    bool matches;
  } cases[] = {
      {"abc", "a*", true},
      {"abc", "A*", false},
      {"abc", "a?c", true},
      {"ac", "a?c", false},
      {"a1c", "a#c", true},
      {"abc", "a#c", false},
      {"b", "[a-c]", true},
      {"d", "[a-c]", false},
      {"d", "[!a-c]", true},
      {"b", "[!a-c]", false},
      {"", "*", true},
      {"", "?", false},
      {"a*b", "a[*]b", true},
      {"axb", "a[*]b", false},
      {"abcabc", "*b*c", true},
      {"abcab", "*b*c", false},
      {"ab", "a[]b", true},
      {"a-", "a[-]", true},
      {"é", "?", true},
      {"xé", "x[é]", true},
      {"process.total", "process.*", true},
      {"process", "process.*", false},
      {"a[b", "a[[]b", true},
      {"abc", "abc", true},
      {"abcd", "abc", false},
      {"za", "[a-cx-z]a", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Like(c.text, c.pattern), c.matches) << c.text << " " << c.pattern;
  EXPECT_EQ(ErrorOf([] { Like("a", "[a"); }), 93);
  EXPECT_EQ(ErrorOf([] { Like("a", "[z-a]"); }), 93);
}

}  // namespace
}  // namespace variant_test
