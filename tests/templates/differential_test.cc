// The renderer takes shortcuts (it renders only the newly appended copy of a
// repeated format text when the text before it cannot be touched again); these
// tests compare it with the step-by-step algorithm on generated templates and
// values chosen to hit backslashes, digits, nested placeholders and braces.
#include <gtest/gtest.h>

#include <random>

#include "templates/format_engine.h"
#include "templates/reference_render.h"

namespace corvane {
namespace {

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  std::string FromPieces(std::initializer_list<const char*> pieces, int count) {
    std::vector<const char*> list(pieces);
    std::string out;
    for (int i = 0; i < count; ++i) out += list[Pick(static_cast<int>(list.size()))];
    return out;
  }

  // A format text rich in placeholders, escapes and near-placeholders.
  std::string Format() {
    return FromPieces({"\\0", "\\1", "\\2", "\\1", "\\10", "\\11", "\\", "\\t", "\\n", "0",   "1",
                       "a",   " ",   "/\"", "/}",  "//",   "{",    ",",  ":",   "\\x", "\\-1"},
                      Pick(8));
  }

  std::string Value() {
    return FromPieces({"\\", "0", "1", "\\0", "\\1", "\\10", "v", "x", "", "{{", "}}", "\\t"},
                      Pick(4));
  }

  std::string Expression() {
    std::string e = Pick(8) == 0 ? "{x{" : "{{";
    int repeat = Pick(3);
    if (repeat == 1) e += " N: " + std::to_string(Pick(7)) + " ";
    if (repeat == 2) e += "N:list";
    e += "\"" + Format() + "\"";
    int variables = 1 + Pick(Pick(4) == 0 ? 12 : 3);
    for (int v = 0; v < variables; ++v)
      e += (repeat == 2 && Pick(2) ? ",list.v" : ",v") + std::to_string(v);
    e += Pick(6) == 0 ? "} }" : "}}";
    return e;
  }

  // Text rich in what makes Parse fail or recover: two names for one variable
  // (case ignored), repeat counts past 32 bits, open and stray braces.
  std::string ParseHeavyTemplate() {
    std::string t;
    int parts = 1 + Pick(6);
    for (int p = 0; p < parts; ++p) {
      switch (Pick(7)) {
        case 0:
          t += "{{\"\\0\",Name,NAME}}";
          break;
        case 1:
          t += "{{N: 99999999999 \"\\0\",v}}";
          break;
        case 2:
          t += FromPieces({"{", "}", "{{", "}}", "\"", ",", "N:", "x", " "}, 1 + Pick(3));
          break;
        default:
          t += Expression();
          break;
      }
    }
    return t;
  }

  std::string Template() {
    std::string t;
    int parts = 1 + Pick(4);
    for (int p = 0; p < parts; ++p) {
      switch (Pick(6)) {
        case 0:
          t += FromPieces({"a", " ", "{", "}", "\"", ",", "N", ":", "\\0"}, Pick(4));
          break;
        default:
          t += Expression();
          break;
      }
      if (Pick(5) == 0 && !t.empty()) t += t.substr(Pick(static_cast<int>(t.size())));
    }
    return t;
  }

 private:
  std::mt19937 rng_;
};

// Fills values for LoopCount repetitions, sometimes leaving the last one out.
// Some values hold another expression's source text (whole, or its head or
// tail), so that replacing the expressions in turn differs from one pass.
void Fill(Generator& g, CFormatExpression& e, const FormatExpressions& all) {
  if (!e.LoopObject().empty() || g.Pick(4) == 0) e.SetLoopCount(g.Pick(12) - 1);
  int32_t count = std::max<int32_t>(e.LoopCount(), 1);
  if (g.Pick(30) == 0) count = std::max(1, count - 5);
  for (CVariable& v : e.Variables()) {
    // A fixed count repeats one value, as the steps fill it.
    if (g.Pick(3) == 0) {
      v.SetValue(1, g.Value());
      v.RepeatFirstValue(count);
      continue;
    }
    for (int32_t k = 1; k <= count; ++k) {
      std::string value = g.Value();
      if (g.Pick(6) == 0) {
        const std::string& other = all[g.Pick(static_cast<int>(all.size()))].TemplateString();
        size_t cut = g.Pick(static_cast<int>(other.size()) + 1);
        value += g.Pick(3) == 0 ? other.substr(0, cut) : g.Pick(2) ? other.substr(cut) : other;
      }
      v.SetValue(k, value);
    }
  }
}

// The expression's settings and values, for a failure message.
std::string Describe(const CFormatExpression& e) {
  std::string out = e.TemplateString() + " LoopCount=" + std::to_string(e.LoopCount());
  for (const CVariable& v : e.Variables()) {
    out += " " + v.Name() + "@" + std::to_string(v.Position()) + "=";
    for (int32_t k = 1;; ++k) {
      try {
        out += "[" + v.Value(k) + "]";
      } catch (const pelmark::Error&) {
        break;
      }
    }
  }
  return out;
}

// The text or "error N" when rendering raises.
template <class Call>
std::string Outcome(Call&& call) {
  try {
    return call();
  } catch (const pelmark::Error& e) {
    return "error " + std::to_string(e.number());
  }
}

TEST(RenderDifferentialTest, GeneratedTemplatesRenderAsTheStepByStepAlgorithm) {
  Generator g(20240613);
  int rendered = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string text = g.Template();
    CFormatParser parser;
    std::optional<FormatExpressions> expressions;
    try {
      expressions = parser.Parse(text);
    } catch (const pelmark::Error&) {
      continue;  // duplicate names and open expressions are the parser's own tests
    }
    if (!expressions) continue;
    for (CFormatExpression& e : *expressions) Fill(g, e, *expressions);
    SCOPED_TRACE(text);
    for (const CFormatExpression& e : *expressions) {
      ASSERT_EQ(Outcome([&] { return e.ToString(); }),
                Outcome([&] { return reference::Render(e); }))
          << Describe(e);
    }
    ASSERT_EQ(Outcome([&] { return parser.ToString(text, *expressions); }),
              Outcome([&] { return reference::RenderTemplate(text, *expressions); }));
    ++rendered;
  }
  EXPECT_GT(rendered, 2000);  // the generator must mostly produce usable templates
}

// Values without a brace that complete another expression's source together
// with the template text around their own expression: only replacing in turn
// renders the completed source, whatever the distance from its "{".
TEST(RenderDifferentialTest, ValuesCompletingASourceWithTheTextAroundTheirExpression) {
  static const struct {
    const char* before;
    const char* value;
    const char* after;
  } cases[] = {
      {"{{", "\"b\",x", "}}"}, {"{{\"b", "\",x", "}}"}, {"{{\"b\",", "x", "}}"},
      {"{{\"b\",x", "", "}}"}, {"{{", "\"b\",x}", "}"}, {"{{\"b\",x}", "", "}"},
  };
  for (const auto& c : cases) {
    CFormatParser parser;
    FormatExpressions expressions;
    expressions.push_back(std::move(parser.Parse("{{\"\\0\",y}}")->front()));
    expressions.push_back(std::move(parser.Parse("{{\"b\",x}}")->front()));
    expressions[0].Variables()[0].SetValue(1, c.value);
    expressions[1].Variables()[0].SetValue(1, "unused");
    const std::string text = c.before + expressions[0].TemplateString() + c.after + " " +
                             expressions[1].TemplateString();
    const std::string rendered = parser.ToString(text, expressions);
    EXPECT_EQ(rendered, "b b") << text;
    EXPECT_EQ(rendered, reference::RenderTemplate(text, expressions)) << text;
  }
}

// Observes nothing, which makes the parser keep every scan's tokens until the
// end and build the expressions from there, last first.
class SilentObserver : public FormatParseObserver {
 public:
  void SyntaxError(const FormatSyntaxError&) override {}
  void Scanned(std::span<const FormatToken>, int32_t) override {}
};

// Everything a caller can read from a parse: each expression's parts, or the
// error with its source.
std::string ParseOutcome(CFormatParser& parser, const std::string& text) {
  try {
    std::optional<FormatExpressions> expressions = parser.Parse(text);
    if (!expressions) return "nothing";
    std::string out;
    for (const CFormatExpression& e : *expressions) {
      out += e.TemplateString() + " | " + e.FormatString() + " | " + std::to_string(e.LoopCount()) +
             " | " + e.LoopObject() + (e.Repeat() ? " | N" : " | -");
      for (const CVariable& v : e.Variables())
        out += " | " + v.Name() + "@" + std::to_string(v.Position());
      out += "\n";
    }
    return out;
  } catch (const pelmark::Error& e) {
    return "error " + std::to_string(e.number()) + " from " + e.source() + ": " + e.description();
  }
}

// Without an observer each scan is built as soon as it ends; the error raised
// must still be the one of the last failing expression (an expression left
// open at the end comes before every other).
TEST(ParseDifferentialTest, BuildingAsScansEndGivesTheExpressionsAndErrorsOfBuildingAtTheEnd) {
  Generator g(99);
  int failed = 0, kept = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::string text = g.ParseHeavyTemplate();
    CFormatParser plain;
    CFormatParser observed;
    SilentObserver observer;
    observed.SetObserver(&observer);
    const std::string expected = ParseOutcome(observed, text);
    ASSERT_EQ(ParseOutcome(plain, text), expected) << text;
    // A parser is used again after a failure.
    ASSERT_EQ(ParseOutcome(plain, text), expected) << text;
    failed += expected.starts_with("error");
    kept += !expected.starts_with("error") && expected != "nothing";
  }
  // Both outcomes must be common for the comparison to mean anything.
  EXPECT_GT(failed, 500);
  EXPECT_GT(kept, 500);
}

// Long loops whose text goes back and forth between holding a live backslash
// and not, and variables whose positions callers rewrote out of order.
TEST(RenderDifferentialTest, LongLoopsAndRewrittenPositions) {
  Generator g(7);
  for (int round = 0; round < 300; ++round) {
    CFormatExpression e;
    e.SetRepeat(true);
    e.SetFormatString(g.Format() + "\\0" + g.Format());
    int variables = 1 + g.Pick(4);
    for (int v = 0; v < variables; ++v) {
      CVariable variable;
      variable.SetName("v" + std::to_string(v));
      variable.SetPosition(g.Pick(5) == 0 ? g.Pick(13) - 1 : variables - 1 - v);
      if (e.Variables().Find(variable.Name())) continue;
      e.Variables().Add(variable);
    }
    e.SetLoopCount(g.Pick(60));
    for (CVariable& v : e.Variables()) {
      if (g.Pick(2) == 0) {  // one value for every repetition
        v.SetValue(1, g.Pick(3) == 0 ? g.Value() : "w");
        v.RepeatFirstValue(e.LoopCount());
        continue;
      }
      for (int32_t k = 1; k <= std::max(1, e.LoopCount()); ++k) {
        v.SetValue(k, g.Pick(10) == 0 ? g.Value() : "w");
      }
    }
    ASSERT_EQ(Outcome([&] { return e.ToString(); }), Outcome([&] { return reference::Render(e); }))
        << e.FormatString() << " " << Describe(e);
  }
}

}  // namespace
}  // namespace corvane
