#include "templates/format_engine.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "errors.h"
#include "pelmark/com.h"

namespace corvane {
namespace {

using corvane_test::ErrorOf;

// Records the token stack the scan leaves behind.
class StackRecorder : public FormatParseObserver {
 public:
  void SyntaxError(const FormatSyntaxError& error) override { errors.push_back(error); }
  void Scanned(std::span<const FormatToken> stack, int32_t next_position) override {
    tokens.assign(stack.begin(), stack.end());
    next = next_position;
  }
  std::vector<FormatToken> tokens;
  std::vector<FormatSyntaxError> errors;
  int32_t next = 0;
};

using Values = std::map<std::string, std::vector<std::string>>;

// Fills every variable from `values` (by name, Value(1) ... Value(n)) and, where
// given, sets LoopCount, as a caller does between Parse and ToString.
void Fill(FormatExpressions& expressions, const Values& values, int32_t loop_count = -1) {
  for (CFormatExpression& e : expressions) {
    if (loop_count >= 0) e.SetLoopCount(loop_count);
    for (CVariable& v : e.Variables()) {
      auto it = values.find(v.Name());
      if (it == values.end()) continue;
      for (size_t k = 0; k < it->second.size(); ++k)
        v.SetValue(static_cast<int32_t>(k + 1), it->second[k]);
    }
  }
}

std::string Render(const std::string& text, const Values& values, int32_t loop_count = -1) {
  CFormatParser parser;
  std::optional<FormatExpressions> expressions = parser.Parse(text);
  if (!expressions) return text;
  Fill(*expressions, values, loop_count);
  return parser.ToString(text, *expressions);
}

TEST(FormatParserTest, WorkedExampleLeavesTheDocumentedTokenStack) {
  const std::string text = R"({{"\0",X}})";
  CFormatParser parser;
  StackRecorder recorder;
  parser.SetObserver(&recorder);
  std::optional<FormatExpressions> expressions = parser.Parse(text);

  struct {
    int32_t type;
    const char* text;
    int32_t position;
  } expected[] = {{-1, "$", -1},  {1, "{", 1},   {2, "{", -1},  {7, "\"", -1},
                  {8, "\\0", -1}, {9, "\"", -1}, {10, ",", -1}, {11, "X", 0},
                  {12, "}", -1},  {13, "}", 10}, {-2, "^", -1}};
  ASSERT_EQ(recorder.tokens.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(static_cast<int32_t>(recorder.tokens[i].TokenType), expected[i].type);
    EXPECT_EQ(recorder.tokens[i].Text, expected[i].text);
    EXPECT_EQ(recorder.tokens[i].Position, expected[i].position);
  }
  EXPECT_EQ(recorder.next, 11);
  EXPECT_TRUE(recorder.errors.empty());

  ASSERT_TRUE(expressions);
  ASSERT_EQ(expressions->size(), 1u);
  const CFormatExpression& e = (*expressions)[0];
  EXPECT_EQ(e.TemplateString(), text);
  EXPECT_EQ(e.FormatString(), "\\0");
  ASSERT_EQ(e.Variables().Count(), 1);
  EXPECT_EQ(e.Variables()[0].Name(), "X");
  EXPECT_EQ(e.Variables()[0].Position(), 0);
  EXPECT_FALSE(e.Repeat());
  EXPECT_EQ(e.LoopCount(), 0);
  EXPECT_EQ(e.LoopObject(), "");
}

TEST(FormatParserTest, ExpressionsAndVariablesComeLastFirst) {
  const std::string text = R"(A {{N: 3 "\0",P,Q}} B {{N:my list"x", my list.id , Z }} C)";
  CFormatParser parser;
  std::optional<FormatExpressions> expressions = parser.Parse(text);
  ASSERT_TRUE(expressions);
  ASSERT_EQ(expressions->size(), 2u);
  const CFormatExpression& last = (*expressions)[0];
  EXPECT_EQ(last.TemplateString(), R"({{N:my list"x", my list.id , Z }})");
  EXPECT_TRUE(last.Repeat());
  EXPECT_EQ(last.LoopObject(), "mylist");
  EXPECT_EQ(last.LoopCount(), 0);
  ASSERT_EQ(last.Variables().Count(), 2);
  EXPECT_EQ(last.Variables()[0].Name(), "Z");
  EXPECT_EQ(last.Variables()[0].Position(), 1);
  EXPECT_EQ(last.Variables()[1].Name(), "mylist.id");
  EXPECT_EQ(last.Variables()[1].Position(), 0);
  EXPECT_NE(last.Variables().Find("MYLIST.ID"), nullptr);
  EXPECT_EQ(last.Variables().Find("other"), nullptr);

  const CFormatExpression& first = (*expressions)[1];
  EXPECT_EQ(first.TemplateString(), R"({{N: 3 "\0",P,Q}})");
  EXPECT_EQ(first.LoopCount(), 3);
  EXPECT_EQ(first.LoopObject(), "");
  EXPECT_EQ(first.Variables()[0].Name(), "Q");
  EXPECT_EQ(first.Variables()[1].Name(), "P");

  // The parser can be used again; each Parse starts from an empty stack.
  std::optional<FormatExpressions> again = parser.Parse(R"({{"\0",X}})");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->size(), 1u);
}

TEST(FormatParserTest, RendersTheDocumentedTemplates) {
  std::vector<std::string> eleven_names;
  Values eleven;
  std::string eleven_text = R"({{"\10|\1|\0")";
  for (int k = 0; k <= 10; ++k) {
    eleven_text += ",V" + std::to_string(k);
    eleven["V" + std::to_string(k)] = {"v" + std::to_string(k)};
  }
  eleven_text += "}}";

  static const struct {
    const char* name;
    std::string text;
    Values values;
    int32_t loop_count;
    std::string expected;
  } cases[] = {
      {"greeting",
       R"(Dear {{"\0 \1",FIRSTNAME,LASTNAME}},)",
       {{"FIRSTNAME", {"first"}}, {"LASTNAME", {"last"}}},
       -1,
       "Dear first last,"},
      {"fixed count", R"({{N:3"-\0",X}})", {{"X", {"a", "a", "a"}}}, -1, "-a-a-a"},
      {"no braces", "plain text", {}, -1, "plain text"},
      {"empty variable", R"(a {{"\0",}} b)", {}, -1, R"(a {{"\0",}} b)"},
      {"no variable", R"({{"text"}})", {}, -1, R"({{"text"}})"},
      {"unescaped brace", R"({{"a}b",X}})", {{"X", {"x"}}}, -1, R"({{"a}b",X}})"},
      {"escaped brace", R"({{"a/}b",X}})", {{"X", {"x"}}}, -1, "a}b"},
      {"escaped quotes", R"({{"say /"hi/"",X}})", {{"X", {"x"}}}, -1, R"(say "hi")"},
      {"escaped slash", R"({{"a//b{:,",X}})", {{"X", {"x"}}}, -1, "a/b{:,"},
      {"two variables", R"({{"\0\1",A,B}})", {{"A", {"x"}}, {"B", {"y"}}}, -1, "xy"},
      {"eleven variables", eleven_text, eleven, -1, "v10|v1|v0"},
      {"spaced count", R"({{ N: 2 "<\0>",X}})", {{"X", {"a", "b"}}}, -1, "<a><b>"},
      {"text between repeat mark and colon", R"({{N x:2"\0",X}})", {{"X", {"a", "b"}}}, -1, "ab"},
      {"count of zero", R"({{N:0"x\0",V}})", {{"V", {"v"}}}, -1, "xv"},
      {"empty loop", R"(<{{N:docs"\0",docs.name}}>)", {{"docs.name", {"a"}}}, -1, "<>"},
      {"loop of two", R"({{N:docs"[\0]",docs.name}})", {{"docs.name", {"a", "b"}}}, 2, "[a][b]"},
      {"lower-case repeat mark", R"({{n:2"\0",V}})", {{"V", {"v"}}}, -1, R"({{n:2"\0",V}})"},
      {"recovery passes over a brace",
       R"(a {b} c {{"\0",X}})",
       {{"X", {"x"}}},
       -1,
       R"(a {b} c {{"\0",X}})"},
      {"stray closing brace",
       R"(a} {{"\0",X}} {{"\0",Y}})",
       {{"X", {"x"}}, {"Y", {"y"}}},
       -1,
       R"(a} {{"\0",X}} {{"\0",Y}})"},
      {"tab and line break", R"({{"x\ty\n",V}})", {{"V", {"v"}}}, -1, "x\ty\r\n"},
      {"value substituted again", R"({{"\1\0",A,B}})", {{"A", {"a"}}, {"B", {"\\0"}}}, -1, "aa"},
      // C's value and the B after it form A, which holds B's head: in turn, A goes first.
      {"value forming a source that holds another's head",
       R"({{"\0",c}}{{"\0",y}z} {{"a",b}{{"\0",y} {{"\0",c}})",
       {{"c", {R"({{"a",b})"}}, {"y", {"B"}}, {"b", {"-"}}},
       -1,
       R"(az} a {{"a",b})"},
      {"value substituted in the next repetition",
       R"({{N:2"\0",A,B}})",
       {{"A", {"\\1", "x"}}, {"B", {"p", "q"}}},
       -1,
       "qx"},
      {"unknown placeholder kept", R"({{"C:\path\9\0",A}})", {{"A", {"a"}}}, -1, R"(C:\path\9a)"},
      {"ignored characters",
       R"({x{"\0"junk,X}y} {{"\0",Y}tail})",
       {{"X", {"1"}}, {"Y", {"2"}}},
       -1,
       "1 2"},
      {"names keep quotes and colons", R"({{"\0",a"b:c{d}})", {{"a\"b:c{d", {"q"}}}, -1, "q"},
      {"empty name between commas", R"({{"\1",,X}})", {{"X", {"x"}}, {"", {""}}}, -1, "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Render(c.text, c.values, c.loop_count), c.expected);
  }
}

TEST(FormatParserTest, TheSameExpressionTwiceIsReplacedByTheLaterOne) {
  const std::string text = R"({{"\0",X}} and {{"\0",X}})";
  CFormatParser parser;
  std::optional<FormatExpressions> expressions = parser.Parse(text);
  ASSERT_TRUE(expressions);
  ASSERT_EQ(expressions->size(), 2u);
  (*expressions)[0].Variables()[0].SetValue(1, "late");
  (*expressions)[1].Variables()[0].SetValue(1, "early");
  EXPECT_EQ(parser.ToString(text, *expressions), "late and late");
}

TEST(FormatParserTest, ParseFailuresCarryTheParseLocation) {
  static const struct {
    const char* text;
    int32_t number;
  } cases[] = {
      {R"({{"\0",X,x}})", 457},          // names differ only by case
      {R"({{"\0",Ab, a b}})", 457},      // spaces are dropped before comparing
      {R"({{N:2147483648"\0",X}})", 6},  // the count does not fit 32 bits
      {R"({{N:99999999999999999999"x",X}})", 6},
      {R"(text {{"\0",X)", 91},  // open at the end
      {R"({{"abc)", 91},
      {R"({{"a/)", 91},
      {"a { b", 91},  // a lone "{" that no "}" follows
      {"ab{", 91},
      {"{", 91},               // too short to scan, still open
      {R"({{"\0",X}}{)", 91},  // after the last expression, never scanned
      {"a } {", 91},           // passed over by recovery
      {R"({{N:)", 91},
      {R"({{"\0",X}} {{N: 1)", 91},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    CFormatParser parser;
    pelmark::Error e = ErrorOf([&] { parser.Parse(c.text); });
    EXPECT_EQ(e.number(), c.number);
    EXPECT_EQ(e.source(), "Corvane => \r\nCFormatParser:Parse Ln 4");
  }
  CFormatParser parser;
  std::optional<FormatExpressions> largest = parser.Parse(R"({{N:2147483647"x",X}})");
  ASSERT_TRUE(largest);
  EXPECT_EQ((*largest)[0].LoopCount(), 2147483647);
}

TEST(FormatParserTest, AMissingValueFailsRendering) {
  const std::string text = R"({{N:6"\0",X,Unused}})";
  CFormatParser parser;
  std::optional<FormatExpressions> expressions = parser.Parse(text);
  ASSERT_TRUE(expressions);
  CVariables& variables = (*expressions)[0].Variables();
  for (int32_t k = 1; k <= 6; ++k) variables.Find("X")->SetValue(k, std::to_string(k));
  variables.Find("Unused")->SetValue(1, "u");  // values 1 ... 5 exist, 6 does not

  // A variable the format text never names still needs a value for every repetition.
  pelmark::Error whole = ErrorOf([&] { parser.ToString(text, *expressions); });
  EXPECT_EQ(whole.number(), 9);
  EXPECT_EQ(whole.description(), "Subscript out of range");
  EXPECT_EQ(whole.source(),
            "Corvane => \r\nCVariable:Value Ln 1 => \r\nCFormatParser:ToString Ln 2");

  // The expression's own ToString has no trap of its own.
  pelmark::Error single = ErrorOf([&] { (*expressions)[0].ToString(); });
  EXPECT_EQ(single.source(), "Corvane => \r\nCVariable:Value Ln 1");

  variables.Find("Unused")->SetValue(6, "u");
  EXPECT_EQ(parser.ToString(text, *expressions), "123456");
}

TEST(VariableTest, ValuesGrowByFiveAtATime) {
  CVariable v;
  EXPECT_EQ(ErrorOf([&] { v.Value(1); }).number(), 9);  // read before any write
  v.SetValue(3, "three");                               // capacity becomes 5
  EXPECT_EQ(v.Value(1), "");
  EXPECT_EQ(v.Value(3), "three");
  EXPECT_EQ(ErrorOf([&] { v.Value(6); }).number(), 9);
  EXPECT_EQ(ErrorOf([&] { v.Value(0); }).number(), 9);
  v.SetValue(10, "ten");  // 5 < 10: grows once to 10
  EXPECT_EQ(v.Value(10), "ten");
  pelmark::Error beyond = ErrorOf([&] { v.SetValue(16, "x"); });  // grows to 15 only
  EXPECT_EQ(beyond.number(), 9);
  EXPECT_EQ(beyond.source(), "Corvane => \r\nCVariable:Value Ln 2");
  EXPECT_EQ(ErrorOf([&] { v.SetValue(0, "x"); }).number(), 9);
  EXPECT_EQ(v.Value(15), "");  // the failed write still grew the values
}

TEST(VariableTest, KeysIgnoreCase) {
  CVariables variables;
  CVariable a;
  a.SetName("Name");
  variables.Add(a);
  CVariable b;
  b.SetName("NAME");
  pelmark::Error e = ErrorOf([&] { variables.Add(b); });
  EXPECT_EQ(e.number(), 457);
  EXPECT_EQ(variables.Count(), 1);
  EXPECT_EQ(variables.Find("nAmE"), &variables[0]);
  CVariable accented;
  accented.SetName("\xC3\x89t\xC3\xA9");  // "Été"
  variables.Add(accented);
  EXPECT_EQ(variables.Find("\xC3\xA9T\xC3\x89"), &variables[1]);  // "éTÉ"
}

// Expressions rarely name more than a few variables; one that names many must
// still refuse a name given twice and find each by any case, copies included.
TEST(VariableTest, ManyVariablesKeepTheirKeys) {
  std::string many = "{{\"\\0\"";
  for (int k = 0; k < 12; ++k) many += ",Var" + std::to_string(k) + "\xC3\x89";
  CFormatParser parser;
  std::optional<FormatExpressions> parsed = parser.Parse(many + "}}");
  ASSERT_TRUE(parsed);
  const CVariables copy = parsed->front().Variables();
  ASSERT_EQ(copy.Count(), 12);
  for (int k = 0; k < 12; ++k) {
    const CVariable* found = copy.Find("VAR" + std::to_string(k) + "\xC3\xA9");
    ASSERT_NE(found, nullptr) << k;
    EXPECT_EQ(found->Position(), k);
  }
  EXPECT_EQ(copy.Find("Var12\xC3\x89"), nullptr);
  EXPECT_EQ(ErrorOf([&] { parser.Parse(many + ",vAR3\xC3\xA9}}"); }).number(), 457);
}

}  // namespace
}  // namespace corvane
