#include "templates/template_check.h"

#include <algorithm>

#include "templates/format_engine.h"

namespace corvane {

namespace {

std::string Quoted(const std::string& found) {
  if (found.empty()) return "the end of the template";
  if (found == " ") return "a space";
  return "\"" + found + "\"";
}

// Why a syntax error with `top` on the stack at `found` drops the expression.
std::string Reason(const FormatSyntaxError& e) {
  const bool brace = e.found == "}";
  switch (e.top) {
    case FormatTokenKind::kScanStart:
      return "unmatched } outside an expression";
    case FormatTokenKind::kFirstOpenBrace:
      return "} between the two opening braces";
    case FormatTokenKind::kSecondOpenBrace:
      if (e.found == "n") return "lower-case repeat mark";
      return "only spaces may come between {{ and N or the opening quote, found " + Quoted(e.found);
    case FormatTokenKind::kRepeatMark:
      return "} between the repeat mark and its :";
    case FormatTokenKind::kLoopObject:
      return "} inside the loop object name";
    case FormatTokenKind::kRepeatCount:
      if (brace) return "} inside the repeat count";
      return Quoted(e.found) + " inside the repeat count (digits and spaces only)";
    case FormatTokenKind::kFormatText:
      return "unescaped } inside the format text";
    case FormatTokenKind::kClosingQuote:
    case FormatTokenKind::kVariableName:
      return "no variable name";
    default:
      return "unexpected " + Quoted(e.found);
  }
}

class Recorder : public FormatParseObserver {
 public:
  Recorder(TemplateCheck& check, std::string_view text) : check_(check), text_(text) {}

  void SyntaxError(const FormatSyntaxError& e) override {
    check_.dropped.push_back({e.expression_start, e.at, Reason(e), e.skipped_brace});
  }

  void Scanned(std::span<const FormatToken> stack, int32_t) override {
    int32_t start = 0, end = 0;
    bool open = false;
    FormatTokenKind last = FormatTokenKind::kNone;
    for (const FormatToken& token : stack) {
      last = token.TokenType;
      switch (token.TokenType) {
        case FormatTokenKind::kFirstOpenBrace:
          start = token.Position;
          open = true;
          break;
        case FormatTokenKind::kSecondCloseBrace:
          end = token.Position;
          break;
        case FormatTokenKind::kExpressionEnd:
          check_.kept.emplace_back();
          check_.kept.back().start = start;
          check_.kept.back().end = end;
          open = false;
          break;
        default:
          break;
      }
    }
    if (open) check_.open_expression = start;
    if (open && last == FormatTokenKind::kFirstCloseBrace) {
      // Everything after the first "}" is ignored up to the next one, and none came.
      check_.open_after_close = static_cast<int32_t>(text_.rfind('}')) + 1;
    }
  }

 private:
  TemplateCheck& check_;
  std::string_view text_;
};

// The expression's own details, from parsing its text alone (which the scan
// reads exactly as it read it inside the template).
void Describe(std::string_view text, KeptExpression& kept) {
  kept.template_string = std::string(text.substr(kept.start - 1, kept.end - kept.start + 1));
  CFormatParser parser;
  try {
    std::optional<FormatExpressions> alone = parser.Parse(kept.template_string);
    if (!alone || alone->empty()) return;
    const CFormatExpression& e = alone->front();
    kept.format_string = e.FormatString();
    kept.repeat = e.Repeat();
    kept.loop_count = e.LoopCount();
    kept.loop_object = e.LoopObject();
    for (const CVariable& v : e.Variables()) kept.variables.push_back({v.Name(), v.Position()});
    std::reverse(kept.variables.begin(), kept.variables.end());
  } catch (const pelmark::Error& error) {
    kept.problem = error.number() == 457 ? "two variables with the same name (case ignored)"
                   : error.number() == 6 ? "repeat count too large"
                                         : error.description();
  }
}

}  // namespace

TextLocator::TextLocator(std::string_view text) : text_(text) {
  Mark state{1, 0};
  marks_.reserve(text.size() / kStride + 1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (i % kStride == 0) marks_.push_back(state);
    Advance(state, text[i]);
  }
  if (text.size() % kStride == 0) marks_.push_back(state);
}

std::pair<int32_t, int32_t> TextLocator::At(int32_t position) const {
  size_t last = std::min(text_.size(), static_cast<size_t>(std::max(position, 1)));
  size_t from = last / kStride * kStride;
  Mark state = marks_[last / kStride];
  for (size_t i = from; i < last; ++i) Advance(state, text_[i]);
  if (position > static_cast<int32_t>(text_.size()))
    state.column += position - static_cast<int32_t>(text_.size());
  return {state.line, std::max(state.column, 1)};
}

std::string TextLocator::Where(int32_t position) const {
  auto [line, column] = At(position);
  return "position " + std::to_string(position) + " (line " + std::to_string(line) + ", column " +
         std::to_string(column) + ")";
}

void TextLocator::Advance(Mark& state, char byte) {
  unsigned char c = static_cast<unsigned char>(byte);
  if (c == '\n') {
    ++state.line;
    state.column = 0;
  } else if ((c & 0xC0) != 0x80) {
    ++state.column;
  }
}

std::pair<int32_t, int32_t> LineAndColumn(std::string_view text, int32_t position) {
  return TextLocator(text).At(position);
}

TemplateCheck CheckTemplate(std::string_view text) {
  TemplateCheck check;
  Recorder recorder(check, text);
  CFormatParser parser;
  parser.SetObserver(&recorder);
  try {
    check.has_expressions = parser.Parse(text).has_value();
  } catch (const pelmark::Error& error) {
    check.parse_error = error;
  }
  // Errors are reported in scan order, which is the order of appearance.
  for (KeptExpression& kept : check.kept) Describe(text, kept);
  return check;
}

std::string DescribeCheck(std::string_view text, const TemplateCheck& check) {
  const TextLocator lines(text);
  std::string out;
  for (const KeptExpression& e : check.kept) {
    out += "kept at " + lines.Where(e.start) + ": " + e.template_string + "\n";
    if (!e.problem.empty()) {
      out += "  fails: " + e.problem + "\n";
      continue;
    }
    out += "  format \"" + e.format_string + "\"";
    if (e.repeat) {
      out += e.loop_object.empty() ? ", repeated " + std::to_string(e.loop_count) + " times"
                                   : ", repeated once per item of " + e.loop_object;
    }
    out += "\n";
    for (const TemplateVariable& v : e.variables) {
      out += "  \\" + std::to_string(v.position) + " = " +
             (v.name.empty() ? "(empty name)" : v.name) + "\n";
    }
  }
  for (const DroppedExpression& d : check.dropped) {
    out += d.start ? "dropped expression at " + lines.Where(d.start) + ": " : "syntax error: ";
    out += d.reason + " at " + lines.Where(d.at) + "\n";
    if (d.skipped_brace) {
      out += "  the { at " + lines.Where(d.skipped_brace) +
             " is passed over, so an expression starting there is not recognised\n";
    }
  }
  if (check.open_expression) {
    out += "open expression at " + lines.Where(check.open_expression) +
           ": no closing braces before the end of the template\n";
  }
  if (check.parse_error) {
    out += "Parse fails: error " + std::to_string(check.parse_error->number()) + " (" +
           check.parse_error->description() + ")\n";
  } else if (!check.has_expressions) {
    out += "no expressions: the template is used as it stands\n";
  }
  return out;
}

std::string RenderPreview(std::string_view text,
                          const std::vector<std::pair<std::string, std::string>>& values,
                          std::vector<std::string>* renderings) {
  CFormatParser parser;
  std::optional<FormatExpressions> expressions = parser.Parse(text);
  if (!expressions) return std::string(text);
  for (CFormatExpression& e : *expressions) {
    // The values given for each variable, in order.
    std::vector<std::vector<std::string>> given(e.Variables().Count());
    for (const auto& [name, value] : values) {
      if (const CVariable* found = e.Variables().Find(name)) {
        given[found - &e.Variables()[0]].push_back(value);
      }
    }
    if (e.Repeat() && !e.LoopObject().empty()) {
      const std::string prefix = e.LoopObject() + ".";
      size_t items = 0;
      for (int32_t v = 0; v < e.Variables().Count(); ++v) {
        std::string_view name = e.Variables()[v].Name();
        if (name.size() > prefix.size() && SameKey(name.substr(0, prefix.size()), prefix)) {
          items = std::max(items, given[v].size());
        }
      }
      e.SetLoopCount(static_cast<int32_t>(items));
    }
    int32_t repetitions = e.Repeat() ? std::max(e.LoopCount(), 1) : 1;
    for (int32_t v = 0; v < e.Variables().Count(); ++v) {
      for (int32_t k = 1; k <= repetitions; ++k) {
        const std::vector<std::string>& list = given[v];
        e.Variables()[v].SetValue(k,
                                  list.empty() ? "" : list[std::min<size_t>(k, list.size()) - 1]);
      }
    }
  }
  std::string rendered = parser.ToString(text, *expressions);
  if (renderings) {
    // Parse returns the last expression first.
    for (auto e = expressions->rbegin(); e != expressions->rend(); ++e)
      renderings->push_back(e->ToString());
  }
  return rendered;
}

}  // namespace corvane
