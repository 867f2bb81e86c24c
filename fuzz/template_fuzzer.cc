// Parse + ToString on arbitrary templates. The input is the template; values
// are derived from it so that runs are reproducible. Besides crashes and
// sanitizer findings, the fuzzer checks that the renderer agrees with the
// step-by-step algorithm and that the diagnostics see what Parse sees.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../tests/templates/reference_render.h"
#include "templates/format_engine.h"
#include "templates/template_check.h"

namespace {

// Values made of pieces of the template itself, backslashes and digits.
std::string ValueFor(const std::string& text, uint32_t seed) {
  static const char* pieces[] = {"", "\\", "0", "1", "\\0", "\\1", "x", "{{", "}}", "\\t"};
  std::string v = pieces[seed % 10];
  if (!text.empty() && (seed & 16)) v += text.substr(seed % text.size(), 3);
  return v;
}

std::string Outcome(auto&& call) {
  try {
    return call();
  } catch (const pelmark::Error& e) {
    return "error " + std::to_string(e.number());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
    // Large counts would only measure memory; keep repetitions small.
    if (e.LoopCount() > 40 || !e.LoopObject().empty()) e.SetLoopCount(seed % 9);
    int32_t count = std::max(e.LoopCount(), 1);
    for (corvane::CVariable& v : e.Variables()) {
      for (int32_t k = 1; k <= count; ++k) {
        seed = seed * 1103515245u + 12345u;
        v.SetValue(k, ValueFor(text, seed >> 8));
      }
    }
  }
  std::string fast = Outcome([&] { return parser.ToString(text, *expressions); });
  std::string slow =
      Outcome([&] { return corvane::reference::RenderTemplate(text, *expressions); });
  if (fast != slow) std::abort();
  return 0;
}
