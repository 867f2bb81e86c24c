// The rendering algorithm written out step by step, with no shortcut: every
// repetition replaces over the whole text built so far. The engine's renderer
// must give exactly the same text; the differential test and the fuzz target
// compare the two.
#pragma once

#include <string>

#include "templates/format_engine.h"

namespace corvane::reference {

// Basic's Replace: left to right, without overlap; the text between matches
// is copied as it stands.
inline std::string Replace(const std::string& text, const std::string& find,
                           const std::string& with) {
  if (find.empty()) return text;
  std::string out;
  size_t i = 0;
  for (size_t match = text.find(find); match != std::string::npos; match = text.find(find, i)) {
    out.append(text, i, match - i);
    out += with;
    i = match + find.size();
  }
  out.append(text, i, std::string::npos);
  return out;
}

inline std::string Placeholder(const CVariable& v) { return "\\" + std::to_string(v.Position()); }

inline std::string Render(const CFormatExpression& e) {
  std::string s = Replace(Replace(e.FormatString(), "\\t", "\t"), "\\n", "\r\n");
  if (e.Repeat() && e.LoopCount() != 1) {
    std::string f = s;
    s = "";
    for (int32_t k = 1; k <= e.LoopCount(); ++k) {
      s = s + f;
      for (const CVariable& v : e.Variables()) s = Replace(s, Placeholder(v), v.Value(k));
    }
    return s;
  }
  for (const CVariable& v : e.Variables()) s = Replace(s, Placeholder(v), v.Value(1));
  return s;
}

inline std::string RenderTemplate(const std::string& text, const FormatExpressions& expressions) {
  std::string result = text;
  for (const CFormatExpression& e : expressions) {
    result = Replace(result, e.TemplateString(), Render(e));
  }
  return result;
}

}  // namespace corvane::reference
