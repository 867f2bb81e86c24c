#include "templates/template_check.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(TemplateCheckTest, ListsDroppedExpressionsWithPositionAndReason) {
  static const struct {
    const char* text;
    int32_t start;
    int32_t at;
    const char* reason;
    int32_t skipped_brace;
  } cases[] = {
      {R"(x {{"a}b",X}})", 3, 7, "unescaped } inside the format text", 0},
      {R"({{"\0",}})", 1, 8, "no variable name", 0},
      {R"({{"text"}})", 1, 9, "no variable name", 0},
      {R"({{n:2"\0",V}})", 1, 3, "lower-case repeat mark", 0},
      {R"({{ x"\0",V}})", 1, 4,
       "only spaces may come between {{ and N or the opening quote, found \"x\"", 0},
      {R"({{N:1x"\0",V}})", 1, 6, "\"x\" inside the repeat count (digits and spaces only)", 0},
      {R"({{N:docs}"\0",V}})", 1, 9, "} inside the loop object name", 0},
      {R"(a {b} c {{"\0",X}})", 3, 5, "} between the two opening braces", 9},
      {R"(a} {{"\0",X}})", 0, 2, "unmatched } outside an expression", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TemplateCheck check = CheckTemplate(c.text);
    ASSERT_GE(check.dropped.size(), 1u);
    EXPECT_EQ(check.dropped[0].start, c.start);
    EXPECT_EQ(check.dropped[0].at, c.at);
    EXPECT_EQ(check.dropped[0].reason, c.reason);
    EXPECT_EQ(check.dropped[0].skipped_brace, c.skipped_brace);
    EXPECT_TRUE(check.kept.empty());
    EXPECT_FALSE(check.has_expressions);
    EXPECT_FALSE(check.parse_error);
  }
}

TEST(TemplateCheckTest, ListsKeptExpressionsWithTheirVariables) {
  const std::string text =
      "Dear {{\"\\0 \\1\",FIRST NAME,LAST}},\nitems: {{N:docs\"\\0\",docs.id}}";
  TemplateCheck check = CheckTemplate(text);
  ASSERT_EQ(check.kept.size(), 2u);
  EXPECT_TRUE(check.dropped.empty());
  EXPECT_TRUE(check.has_expressions);

  const KeptExpression& first = check.kept[0];
  EXPECT_EQ(first.start, 6);
  EXPECT_EQ(first.template_string, "{{\"\\0 \\1\",FIRST NAME,LAST}}");
  EXPECT_EQ(first.format_string, "\\0 \\1");
  ASSERT_EQ(first.variables.size(), 2u);
  EXPECT_EQ(first.variables[0].name, "FIRSTNAME");
  EXPECT_EQ(first.variables[0].position, 0);
  EXPECT_EQ(first.variables[1].name, "LAST");
  EXPECT_EQ(first.variables[1].position, 1);

  const KeptExpression& second = check.kept[1];
  EXPECT_TRUE(second.repeat);
  EXPECT_EQ(second.loop_object, "docs");
  EXPECT_EQ(LineAndColumn(text, second.start), std::make_pair(2, 8));

  std::string report = DescribeCheck(text, check);
  EXPECT_NE(report.find("\\1 = LAST"), std::string::npos) << report;
  EXPECT_NE(report.find("repeated once per item of docs"), std::string::npos) << report;
}

TEST(TemplateCheckTest, NamesTheExpressionThatMakesParseFail) {
  TemplateCheck duplicate = CheckTemplate(R"({{"\0",A}} {{"\0",x,X}})");
  ASSERT_TRUE(duplicate.parse_error);
  EXPECT_EQ(duplicate.parse_error->number(), 457);
  ASSERT_EQ(duplicate.kept.size(), 2u);
  EXPECT_EQ(duplicate.kept[0].problem, "");
  EXPECT_EQ(duplicate.kept[1].problem, "two variables with the same name (case ignored)");

  TemplateCheck open = CheckTemplate(R"({{"\0",A}} and {{"\0",B)");
  ASSERT_TRUE(open.parse_error);
  EXPECT_EQ(open.parse_error->number(), 91);
  EXPECT_EQ(open.open_expression, 16);
  EXPECT_NE(
      DescribeCheck(R"({{"\0",A}} and {{"\0",B)", open).find("open expression at position 16"),
      std::string::npos);
}

// Each finding is checked against what the engine renders for the same text
// (item values a, b), so the checker cannot claim a loss the engine does not make.
TEST(TemplateCheckTest, FindingsNameThePlaceWhatIsLostAndTheFix) {
  static const std::vector<std::string> kApprovalNames = {"RESOURCENAME", "dmsobject.id",
                                                          "dmsobject.name"};
  static const std::vector<std::string> kLoops = {"dmsobject"};
  static const struct {
    const char* name;
    const char* text;
    bool with_class;
    FindingKind kind;
    FindingSeverity severity;
    std::pair<int32_t, int32_t> place;
    const char* message;  // a part of it
    const char* fix;
    const char* rendered;  // with dmsobject.name a, b; nullptr: not the engine's doing
  } cases[] = {
      {"single } swallows the signature",
       "{{N:dmsobject\"-\\0\",dmsobject.name}\nRegards, Ann}",
       false,
       FindingKind::kSwallowedText,
       FindingSeverity::kError,
       {1, 34},
       "lost: \"\\nRegards, Ann\"",
       "write }} here",
       "-a-b"},
      {"left-over } hides the next expression",
       "{{N:dmsobject\"-\\0\",dmsobject.name} {{\"\\0\",X}}\n{{\"\\0\",Y}}",
       false,
       FindingKind::kSwallowedText,
       FindingSeverity::kError,
       {1, 34},
       "the { at 2:1 is passed over",
       "write }} here",
       "-a-b}\n{{\"\\0\",Y}}"},
      {"\\2 with two variables",
       "{{N:dmsobject\"\\0 (\\2)\",dmsobject.name,X}}",
       false,
       FindingKind::kPlaceholderWithoutVariable,
       FindingSeverity::kError,
       {1, 19},
       "\\2 stays in the text",
       "or use \\0 ... \\1",
       "a (\\2)b (\\2)"},
      {"loop format without N:dmsobject",
       "{{\"- \\0 ()\",dmsobject.name}}",
       false,
       FindingKind::kItemVariableOutsideLoop,
       FindingSeverity::kError,
       {1, 1},
       "it is not repeated, so it renders once",
       "{{N:dmsobject",
       "-  ()"},
      {"loop object unknown to the step",
       "{{N:docs\"\\0\",docs.name}}",
       false,
       FindingKind::kUnknownLoopObject,
       FindingSeverity::kError,
       {1, 1},
       "docs.name gets no value",
       "write {{N:dmsobject\"",
       ""},
      {"lower-case repeat mark",
       "x\n{{n:dmsobject\"\\0\",dmsobject.name}}",
       false,
       FindingKind::kDroppedExpression,
       FindingSeverity::kError,
       {2, 3},
       "lower-case repeat mark",
       "capital N",
       "x\n{{n:dmsobject\"\\0\",dmsobject.name}}"},
      {"missing closing quote",
       "{{N:dmsobject\"-\\0,dmsobject.name}} end",
       false,
       FindingKind::kDroppedExpression,
       FindingSeverity::kError,
       {1, 18},
       "no closing \" and runs on over \",dmsobject.name\"",
       "close the format text with \"",
       "{{N:dmsobject\"-\\0,dmsobject.name}} end"},
      {"item field the step does not fill",
       "{{N:dmsobject\"\\0\",dmsobject.nam}}",
       true,
       FindingKind::kUnknownItemVariable,
       FindingSeverity::kError,
       {1, 1},
       "error 9",
       "did you mean dmsobject.name?",
       nullptr},
      {"name the step does not provide",
       "Dear {{\"\\0\",RESOURCNAME}}",
       true,
       FindingKind::kUnknownVariable,
       FindingSeverity::kWarning,
       {1, 6},
       "renders as empty text",
       "did you mean RESOURCENAME?",
       "Dear "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TemplateFinding> found = c.with_class
                                             ? FindTemplateProblems(c.text, kApprovalNames, kLoops)
                                             : FindTemplateProblems(c.text);
    std::string all;
    for (const TemplateFinding& f : found) all += f.message + "\n";
    ASSERT_EQ(found.size(), 1u) << all;
    EXPECT_EQ(found[0].kind, c.kind);
    EXPECT_EQ(found[0].severity, c.severity);
    EXPECT_EQ(std::make_pair(found[0].line, found[0].column), c.place);
    EXPECT_NE(found[0].message.find(c.message), std::string::npos) << found[0].message;
    EXPECT_NE(found[0].suggestion.find(c.fix), std::string::npos) << found[0].suggestion;
    // The engine, filled as a step fills it: only the expression's own loop
    // gives item values.
    std::vector<std::pair<std::string, std::string>> items = {{"dmsobject.name", "a"},
                                                              {"dmsobject.name", "b"}};
    if (c.kind == FindingKind::kItemVariableOutsideLoop) items.clear();
    if (c.rendered) EXPECT_EQ(RenderPreview(c.text, items), c.rendered);
  }
}

TEST(TemplateCheckTest, PreviewFillsValuesByName) {
  static const struct {
    const char* text;
    std::vector<std::pair<std::string, std::string>> values;
    const char* expected;
  } cases[] = {
      {R"(Hi {{"\0",name}}!)", {{"NAME", "Ann"}}, "Hi Ann!"},
      {R"({{N:docs"[\0 \1]",docs.id,who}})",
       {{"docs.id", "1"}, {"Docs.ID", "2"}, {"who", "me"}},
       "[1 me][2 me]"},
      {R"({{N:3"\0",x}})", {{"x", "a"}, {"x", "b"}}, "abb"},
      {R"({{"\0",missing}}.)", {}, "."},
      {"no expressions", {{"x", "y"}}, "no expressions"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(RenderPreview(c.text, c.values), c.expected);
  }
}

}  // namespace
}  // namespace corvane
