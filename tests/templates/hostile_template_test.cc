// Templates and values a careless designer or a hostile field value can bring:
// re-expanding placeholders, long loops over values with backslashes, and
// templates full of syntax errors.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "errors.h"
#include "templates/format_engine.h"
#include "templates/reference_render.h"
#include "templates/render_budget.h"
#include "templates/template_check.h"
#include "test_platform.h"

namespace corvane {
namespace {

using corvane_test::ErrorOf;

class LimitedPlatform : public corvane_test::TestPlatform {
 public:
  explicit LimitedPlatform(size_t limit) : limit_(limit) {}
  size_t TemplateOutputLimit() override { return limit_; }

 private:
  size_t limit_;
};

// Parses `text`, gives every variable of every expression `values` (Value(1),
// Value(2), ...) and renders the whole template.
std::string Render(const std::string& text, const std::vector<std::string>& values,
                   int32_t loop_count = -1) {
  CFormatParser parser;
  std::optional<FormatExpressions> expressions = parser.Parse(text);
  if (!expressions) return text;
  for (CFormatExpression& e : *expressions) {
    if (loop_count >= 0) e.SetLoopCount(loop_count);
    for (CVariable& v : e.Variables()) {
      for (size_t k = 0; k < values.size(); ++k) v.SetValue(static_cast<int32_t>(k + 1), values[k]);
    }
  }
  return parser.ToString(text, *expressions);
}

pelmark::Error RenderFailure(const std::string& text, const std::vector<std::string>& values,
                             int32_t loop_count = -1) {
  return ErrorOf([&] { Render(text, values, loop_count); });
}

// Each placeholder's value holds ten copies of the next lower placeholder, so
// each replacement in turn multiplies the text by ten.
std::string Chain(int links) {
  std::string text = "{{\"\\" + std::to_string(links - 1) + "\"";
  for (int v = 0; v < links; ++v) text += ",V" + std::to_string(v);
  return text + "}}";
}

TEST(TemplateOutputLimitTest, ReExpandingValuesStopWithError7AtTheLimit) {
  LimitedPlatform platform(1 << 20);
  // Every value is the same: ten copies of "\<n>" for n from links-2 down to 0
  // would need one value per variable; one value holding all of them expands
  // again at every later variable.
  std::string value;
  for (int n = 4; n >= 0; --n) value += std::string(10, ' ') + "\\" + std::to_string(n);
  value = std::string(10, 'x');
  for (int n = 0; n < 10; ++n) value += "\\0\\1\\2\\3";

  pelmark::Error e = RenderFailure(Chain(5), {value});
  EXPECT_EQ(e.number(), 7);
  EXPECT_EQ(e.description(), "The rendered template exceeds the output limit of 1048576 bytes");
  EXPECT_EQ(e.source(), "Corvane => \r\nCFormatParser:ToString Ln 2");

  // A loop whose value holds its own placeholder doubles the text at every
  // repetition; it stops at the limit instead of growing for 60 repetitions.
  pelmark::Error loop = RenderFailure(R"({{N:60"\0",X}})", std::vector<std::string>(60, "\\0\\0"));
  EXPECT_EQ(loop.number(), 7);

  // Below the limit the same kinds of template render as the step-by-step
  // algorithm does.
  const std::string small = Chain(3);
  CFormatParser parser;
  std::optional<FormatExpressions> expressions = parser.Parse(small);
  ASSERT_TRUE(expressions);
  for (CVariable& v : (*expressions)[0].Variables()) v.SetValue(1, "a\\0\\1b");
  std::string rendered = parser.ToString(small, *expressions);
  EXPECT_EQ(rendered, reference::RenderTemplate(small, *expressions));
  EXPECT_EQ(rendered,
            "aa\\0\\1ba"
            "a\\0\\1b\\1bb");
}

TEST(TemplateOutputLimitTest, TheLimitItselfIsAllowed) {
  LimitedPlatform platform(100);
  const std::string text = R"(12345{{"\0",X}})";
  EXPECT_EQ(Render(text, {std::string(95, 'v')}).size(), 100u);
  EXPECT_EQ(RenderFailure(text, {std::string(96, 'v')}).number(), 7);
  // The same for a repeated expression and for a template longer than the limit.
  EXPECT_EQ(Render(R"({{N:4"\0",X}})", std::vector<std::string>(4, std::string(25, 'v'))).size(),
            100u);
  EXPECT_EQ(
      RenderFailure(R"({{N:4"\0",X}})", std::vector<std::string>(4, std::string(26, 'v'))).number(),
      7);
  EXPECT_EQ(RenderFailure(std::string(101, 'a') + R"({{"\0",X}})", {""}).number(), 7);
  // Replacing four expressions in turn would count about 110 bytes; in one pass,
  // also with eight braces in a source, only the 10 of the result count.
  EXPECT_EQ(Render(R"({{"/}/}/}/}/}/}\0",A}}{{"\0",B}}{{"\0",C}}{{"\0",D}})", {"v"}), "}}}}}}vvvv");
  // A single expression rendered on its own is held to the same limit.
  CFormatParser parser;
  std::optional<FormatExpressions> expressions = parser.Parse(R"({{N:200"ab",X}})");
  ASSERT_TRUE(expressions);
  for (int32_t k = 1; k <= 200; ++k) (*expressions)[0].Variables()[0].SetValue(k, "");
  pelmark::Error e = ErrorOf([&] { (*expressions)[0].ToString(); });
  EXPECT_EQ(e.number(), 7);
  EXPECT_EQ(e.source(), "Corvane");
}

// The work of a fixed repeat of one value is bounded by the limit whatever the
// count and the value: each case ends with its result or error 7 having
// counted no more than the limit, and repeats that render the same text again
// are not rendered again.
TEST(RenderBudgetTest, FixedRepeatsOfOneValueCountAtMostTheLimit) {
  constexpr size_t kLimit = 1 << 20;
  LimitedPlatform platform(kLimit);
  struct {
    const char* what;
    int32_t count;
    const char* value;
    const char* format;
    std::optional<size_t> size;  // nullopt: error 7
    size_t most_counted;
  } cases[] = {
      // Each repetition replaces over the whole text again, which keeps growing:
      // the result would be 128 KB, the work gigabytes.
      {"value holding its own placeholder", 65536, "\\0", "\\0", std::nullopt, kLimit},
      {"a count near 2^31 with an empty text", 2147483645, "abc", "", 0, 0},
      // The first two repetitions are rendered before the repeat is recognised.
      {"a count near 2^31 past the limit before copying", 2147483645, "abc", "\\0", std::nullopt,
       6},
      // The trailing backslash stays live, yet every repetition settles the same
      // text before it: "a\a\a\...\".
      {"the same live text at every repetition", 100000, "a\\", "\\0", 200000, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CFormatParser parser;
    const std::string text = "{{N:" + std::to_string(c.count) + "\"" + c.format + "\",X}}";
    std::optional<FormatExpressions> expressions = parser.Parse(text);
    ASSERT_TRUE(expressions);
    CVariable& x = (*expressions)[0].Variables()[0];
    x.SetValue(1, c.value);
    x.RepeatFirstValue(c.count);
    const uint64_t before = RenderedBytes();
    try {
      std::string rendered = parser.ToString(text, *expressions);
      ASSERT_TRUE(c.size) << "rendered " << rendered.size() << " bytes";
      EXPECT_EQ(rendered.size(), *c.size);
    } catch (const pelmark::Error& e) {
      EXPECT_FALSE(c.size) << e.description();
      EXPECT_EQ(e.number(), 7);
    }
    EXPECT_LE(RenderedBytes() - before, c.size.value_or(0) + c.most_counted);
  }
}

TEST(RenderBudgetTest, RepeatingAValuePastTheCapacityOverflowsAsStoringEachWould) {
  CVariable v;
  v.SetValue(1, "x");
  v.RepeatFirstValue(2147483645);
  EXPECT_EQ(v.Value(2147483645), "x");
  EXPECT_EQ(v.SameValueThrough(2), 2147483645);
  CVariable w;
  w.SetValue(1, "x");
  pelmark::Error e = ErrorOf([&] { w.RepeatFirstValue(2147483646); });
  EXPECT_EQ(e.number(), 6);
  EXPECT_EQ(e.source(), "Corvane => \r\nCVariable:Value Ln 1");
}

TEST(TemplateLoopTest, ManyValuesWithBackslashesRenderEveryItem) {
  // Windows paths end with a backslash that stays live until the next copy is
  // appended; the text before it never changes again.
  const int32_t items = 200000;
  std::vector<std::string> paths;
  std::string expected;
  for (int32_t k = 1; k <= items; ++k) {
    paths.push_back("C:\\Docs\\" + std::to_string(k) + "\\");
    expected += "[" + paths.back() + "]";
  }
  std::string rendered = Render(R"({{N:docs"[\0]",docs.path}})", paths, items);
  EXPECT_EQ(rendered.size(), expected.size());
  EXPECT_TRUE(rendered == expected);
}

TEST(TemplateLoopTest, AValueHoldingAPlaceholderIsReplacedByTheNextRepetition) {
  // Every id is "\1": the next repetition replaces it by that repetition's
  // name, so each item shows the following item's name.
  const int32_t items = 50000;
  CFormatParser parser;
  std::optional<FormatExpressions> expressions =
      parser.Parse(R"({{N:docs"[\0: \1]",docs.id,docs.name}})");
  ASSERT_TRUE(expressions);
  CFormatExpression& e = (*expressions)[0];
  e.SetLoopCount(items);
  std::string expected;
  for (int32_t k = 1; k <= items; ++k) {
    e.Variables().Find("docs.id")->SetValue(k, "\\1");
    e.Variables().Find("docs.name")->SetValue(k, "n" + std::to_string(k));
    expected +=
        "[" + (k < items ? "n" + std::to_string(k + 1) : "\\1") + ": n" + std::to_string(k) + "]";
  }
  std::string rendered = e.ToString();
  EXPECT_EQ(rendered.size(), expected.size());
  EXPECT_TRUE(rendered == expected);
}

TEST(TemplateCheckTest, DescribesEveryFindingOfATemplateFullOfOpenBraces) {
  // "{{{" over and over: the scan drops an expression at nearly every brace.
  std::string text = "first line\n";
  for (int32_t k = 0; k < 200000; ++k) text += "{{{";
  text += "}";
  TemplateCheck check = CheckTemplate(text);
  ASSERT_GT(check.dropped.size(), 100000u);
  std::string report = DescribeCheck(text, check);
  size_t lines = 0;
  for (const char* finding : {"dropped expression at ", "syntax error: "}) {
    for (size_t at = report.find(finding); at != std::string::npos;
         at = report.find(finding, at + 1))
      ++lines;
  }
  EXPECT_EQ(lines, check.dropped.size());
  EXPECT_EQ(report.find("dropped expression at "),
            report.find("dropped expression at position 12 (line 2, column 1)"));
  for (const DroppedExpression& d : {check.dropped[1], check.dropped[5000], check.dropped.back()}) {
    auto [line, column] = LineAndColumn(text, d.at);
    EXPECT_EQ(line, 2);
    EXPECT_EQ(column, d.at - 11);
    EXPECT_NE(report.find(" at position " + std::to_string(d.at) + " (line 2, column " +
                          std::to_string(column) + ")\n"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace corvane
