// Parse + ToString on arbitrary templates. The input is the template; values
// are derived from it so that runs are reproducible. Values hold placeholders,
// pieces of the template and other expressions' source text, and repeat counts
// reach 120, so re-expansion and long loops are exercised; the output limit is
// lowered to 16 KB so that growth stops early with error 7 (at 64 KB the
// step-by-step renderer the output is compared with took most of the time of a
// run, on inputs that exercise nothing a 16 KB text does not). Besides crashes and
// sanitizer findings, the fuzzer checks that the renderer agrees with the
// step-by-step algorithm and that the diagnostics see what Parse sees.
//
// The same text is then rendered again and again as the notification step
// renders a body, with values that hold the text itself and the template's
// expressions and with every fixed repeat count kept (up to 2^31 - 1), one
// value repeated as the steps fill it: all passes count against one budget,
// which must bound them, and each pass agrees with the step-by-step algorithm
// where that can run.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "../tests/templates/reference_render.h"
#include "corvane/platform.h"
#include "templates/format_engine.h"
#include "templates/render_budget.h"
#include "templates/template_check.h"

namespace {

constexpr size_t kOutputLimit = 16 << 10;

class FuzzPlatform : public corvane::PlatformServices {
 public:
  double Now() override { return 46361.5; }
  const corvane::LocaleInfo& Locale() override { return corvane::LocaleInfo::EnUs(); }
  void LogError(std::string_view) override {}
  bool PathExists(std::string_view) override { return false; }
  void CreateDirectory(std::string_view) override {}
  std::string RegistryRoot() override { return "/nonexistent"; }
  size_t TemplateOutputLimit() override { return kOutputLimit; }
};

// Values made of placeholders, backslashes, digits, pieces of the template and
// whole expression sources.
std::string ValueFor(const std::string& text, const corvane::FormatExpressions& all,
                     uint32_t seed) {
  static const char* pieces[] = {"",  "\\", "0",  "1",   "\\0",    "\\1", "\\2", "\\10",
                                 "x", "{{", "}}", "\\t", "\\0\\0", "}",   "{",   "\\1\\0"};
  std::string v = pieces[seed % 16];
  if (!text.empty() && (seed & 16)) v += text.substr(seed % text.size(), 3);
  if ((seed & 96) == 96) v += all[(seed >> 7) % all.size()].TemplateString();
  return v;
}

std::string Outcome(auto&& call) {
  try {
    return call();
  } catch (const pelmark::Error& e) {
    return "error " + std::to_string(e.number());
  }
}

// Renders `text` pass after pass while it changes, at most 100 times, within
// one budget, as the notification step renders a body for one recipient.
void RenderPasses(const std::string& text, uint32_t seed) {
  corvane::RenderBudget call;
  const uint64_t before = corvane::RenderedBytes();
  std::string current = text;
  for (int pass = 0; pass < 100 && current.find("{{") != std::string::npos; ++pass) {
    corvane::CFormatParser parser;
    std::optional<corvane::FormatExpressions> expressions;
    try {
      expressions = parser.Parse(current);
    } catch (const pelmark::Error&) {
      break;
    }
    if (!expressions) break;
    bool comparable = true;
    for (corvane::CFormatExpression& e : *expressions) {
      if (!e.LoopObject().empty()) e.SetLoopCount(seed % 7);
      comparable = comparable && e.LoopCount() <= 120;
      for (corvane::CVariable& v : e.Variables()) {
        seed = seed * 1103515245u + 12345u;
        // The text itself, so that the next pass renders it again, or a value
        // as the first part makes them.
        v.SetValue(1, (seed >> 8) % 4 == 0 ? current : ValueFor(current, *expressions, seed >> 8));
        if (e.Repeat() && e.LoopObject().empty()) {
          try {
            v.RepeatFirstValue(e.LoopCount());
          } catch (const pelmark::Error& error) {
            if (error.number() != 6) std::abort();
            return;
          }
        }
        for (int32_t k = 2; !e.LoopObject().empty() && k <= e.LoopCount(); ++k)
          v.SetValue(k, ValueFor(current, *expressions, seed >> k));
      }
    }
    std::string next;
    try {
      next = parser.ToString(current, *expressions);
    } catch (const pelmark::Error& error) {
      if (error.number() != 7) std::abort();  // every value is there
      break;
    }
    if (comparable && next != corvane::reference::RenderTemplate(current, *expressions))
      std::abort();
    if (next == current) break;
    current = std::move(next);
  }
  if (corvane::RenderedBytes() - before > kOutputLimit) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzPlatform platform;
  static bool installed = (corvane::SetPlatform(&platform), true);
  (void)installed;
  if (size > 4096) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  corvane::CFormatParser parser;
  std::optional<corvane::FormatExpressions> expressions;
  try {
    expressions = parser.Parse(text);
  } catch (const pelmark::Error&) {
    if (!corvane::CheckTemplate(text).parse_error) std::abort();
    return 0;
  }
  corvane::TemplateCheck check = corvane::CheckTemplate(text);
  if (check.parse_error || check.has_expressions != expressions.has_value()) std::abort();
  if (!expressions) return 0;
  if (check.kept.size() != expressions->size()) std::abort();

  uint32_t seed = static_cast<uint32_t>(size) * 2654435761u;
  for (corvane::CFormatExpression& e : *expressions) {
    if (e.LoopCount() > 120 || !e.LoopObject().empty()) e.SetLoopCount(seed % 121);
    int32_t count = std::max(e.LoopCount(), 1);
    for (corvane::CVariable& v : e.Variables()) {
      for (int32_t k = 1; k <= count; ++k) {
        seed = seed * 1103515245u + 12345u;
        v.SetValue(k, ValueFor(text, *expressions, seed >> 8));
      }
    }
  }
  std::string fast = Outcome([&] { return parser.ToString(text, *expressions); });
  // Past the limit the step-by-step algorithm could grow without bound; below
  // it, every step it takes stays near the limit too.
  if (fast != "error 7") {
    if (fast.size() > kOutputLimit) std::abort();
    std::string slow =
        Outcome([&] { return corvane::reference::RenderTemplate(text, *expressions); });
    if (fast != slow) std::abort();
  }
  RenderPasses(text, seed);
  return 0;
}
