// The error report: location forms, chaining, logging and conversion of foreign
// exceptions.
#include "rules/error_report.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>

#include "errors.h"
#include "test_platform.h"

namespace corvane_test {
namespace {

using corvane::Location;
using corvane::Reported;

TEST(ErrorReportTest, EachFormExtendsTheSourceItsOwnWay) {
  struct {
    Location where;
    const char* expected;
  } cases[] = {
      {{corvane::kPublic, "MarkAsVital", ": IActivityRuntime_Execute Function Ln "},
       "Src\r\nMarkAsVital: IActivityRuntime_Execute Function Ln 12"},
      {{corvane::kPrivate, "MarkAsVital", ":ProcessItems Ln "},
       "Src => \r\nMarkAsVital:ProcessItems Ln 12"},
      {{corvane::kBracketed, "Approval: IActivityRuntime_Initialize Sub (", ""},
       "Src => \r\nApproval: IActivityRuntime_Initialize Sub (12)"},
  };
  for (const auto& c : cases) EXPECT_EQ(corvane::ExtendSource("Src", c.where, 12), c.expected);
}

TEST(ErrorReportTest, ChainsFromTheInnermostProcedureOutwardsAndLogsEachLoggedStep) {
  TestPlatform platform;
  try {
    Reported({corvane::kPublic, "Outer", ": IActivityRuntime_Execute Function Ln "},
             [&](corvane::Line& at) {
               at(3);
               Reported({corvane::kPrivate, "Outer", ":Middle Ln ", corvane::kQuiet},
                        [&](corvane::Line& at) {
                          at(2);
                          Reported({corvane::kPrivate, "Outer", ":Inner Ln "},
                                   [&](corvane::Line& at) {
                                     at(7);
                                     throw pelmark::Error(-5, "Dms", "Disk full");
                                   });
                        });
             });
    FAIL() << "no error";
  } catch (const pelmark::Error& e) {
    EXPECT_EQ(e.number(), -5);
    EXPECT_EQ(e.description(), "Disk full");
    EXPECT_EQ(e.source(),
              "Dms => \r\nOuter:Inner Ln 7 => \r\nOuter:Middle Ln 2"
              "\r\nOuter: IActivityRuntime_Execute Function Ln 3");
  }
  EXPECT_EQ(platform.log, (std::vector<std::string>{"Disk full", "Disk full"}))
      << "the quiet procedure writes no entry";
}

TEST(ErrorReportTest, LibraryErrorsCarryTheLibrarySourceAndClassicDescriptions) {
  TestPlatform platform;
  struct {
    int32_t number;
    const char* description;
  } cases[] = {{5, "Invalid procedure call or argument"},
               {6, "Overflow"},
               {9, "Subscript out of range"},
               {13, "Type mismatch"},
               {91, "Object variable or With block variable not set"},
               {94, "Invalid use of Null"},
               {457, "This key is already associated with an element of this collection"}};
  for (const auto& c : cases) {
    std::optional<pelmark::Error> e = RaisedBy([&] { corvane::Raise(c.number); });
    ASSERT_TRUE(e) << c.number;
    EXPECT_EQ(e->number(), c.number);
    EXPECT_EQ(e->source(), "Corvane");
    EXPECT_EQ(e->description(), c.description);
  }
}

TEST(ErrorReportTest, ForeignExceptionsBecomeContractErrors) {
  TestPlatform platform;
  std::optional<pelmark::Error> e = RaisedBy([] {
    Reported({corvane::kPrivate, "X", ":Y Ln "}, [](corvane::Line& at) {
      at(1);
      throw std::runtime_error("boom");
    });
  });
  ASSERT_TRUE(e) << "the foreign exception was swallowed";
  EXPECT_EQ(e->number(), 51);
  EXPECT_EQ(e->description(), "boom");
  EXPECT_EQ(e->source(), "Corvane => \r\nX:Y Ln 1");
  EXPECT_EQ(platform.log, (std::vector<std::string>{"boom"}));
}

TEST(ErrorReportTest, SuppressedReportsWhetherTheBodyRanToItsEnd) {
  EXPECT_TRUE(corvane::Suppressed([] {}));
  EXPECT_FALSE(corvane::Suppressed([] { corvane::Raise(13); }));
}

}  // namespace
}  // namespace corvane_test
