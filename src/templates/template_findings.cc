// The designer's findings about a template: CheckTemplate says what the parser
// keeps and drops; this turns that into problems with their place and fix, and
// adds what only the rendering shows (text a single "}" swallows, placeholders
// no variable replaces, per-item names where no item fills them).
#include <algorithm>
#include <cctype>
#include <tuple>

#include "rules/nearest_name.h"
#include "templates/format_engine.h"
#include "templates/template_check.h"

namespace corvane {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return out;
}

// Up to `limit` bytes of `text` (whole characters), control characters escaped,
// as the designer would recognise them in a message.
std::string Excerpt(std::string_view text, size_t limit = 40) {
  std::string out;
  size_t i = 0;
  for (; i < text.size() && i < limit; ++i) {
    char c = text[i];
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else
      out += c;
  }
  while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) out += text[i++];
  if (i < text.size()) out += "...";
  return "\"" + out + "\"";
}

// The closest of `names` to `name` when it is close enough to be a slip.
std::string Closest(std::string_view name, std::span<const std::string> names) {
  return NearestName(name, names);
}

bool StartsWithItemOf(std::string_view name, std::string_view loop_object) {
  std::string prefix = Lower(loop_object) + ".";
  return name.size() > prefix.size() && Lower(name.substr(0, prefix.size())) == prefix;
}

// The fix for each reason CheckTemplate gives a dropped expression.
std::string FixFor(const std::string& reason) {
  static const std::pair<std::string_view, std::string_view> kFixes[] = {
      {"unescaped } inside", "write /} for a } in the format text"},
      {"no variable name", "name a variable after the format text: {{\"...\",NAME}}"},
      {"lower-case repeat mark", "write the repeat mark as a capital N: {{N:"},
      {"only spaces may come", "write {{ directly before N: or the opening \""},
      {"inside the repeat count", "a repeat count is digits only: {{N:3\"...\",NAME}}"},
      {"} inside the loop object", "write the format text after the loop object: {{N:dmsobject\""},
      {"} between the two opening",
       "leave out braces in plain text, or write them as /{ /} "
       "inside a format text"},
      {"} between the repeat mark", "write {{N: then a count or loop object"},
      {"unmatched }", "remove this }, or write }} if it ends an expression"},
  };
  for (const auto& [start, fix] : kFixes)
    if (reason.find(start) != std::string::npos) return std::string(fix);
  return "";
}

class Findings {
 public:
  explicit Findings(std::string_view text) : text_(text), where_(text) {}

  void Add(FindingSeverity severity, FindingKind kind, int32_t position, std::string subject,
           std::string message, std::string suggestion) {
    TemplateFinding& f = out_.emplace_back();
    f.severity = severity;
    f.kind = kind;
    f.position = std::max(position, 1);
    std::tie(f.line, f.column) = where_.At(f.position);
    f.subject = std::move(subject);
    f.message = std::move(message);
    f.suggestion = std::move(suggestion);
  }
  void Error(FindingKind kind, int32_t position, std::string message, std::string suggestion,
             std::string subject = "") {
    Add(FindingSeverity::kError, kind, position, std::move(subject), std::move(message),
        std::move(suggestion));
  }
  // "LINE:COL".
  std::string At(int32_t position) const {
    auto [line, column] = where_.At(position);
    return std::to_string(line) + ":" + std::to_string(column);
  }
  std::string_view text() const { return text_; }
  std::vector<TemplateFinding> Sorted() && {
    std::stable_sort(out_.begin(), out_.end(),
                     [](const auto& a, const auto& b) { return a.position < b.position; });
    return std::move(out_);
  }

 private:
  std::string_view text_;
  TextLocator where_;
  std::vector<TemplateFinding> out_;
};

std::string ParseErrorText(const pelmark::Error& e) {
  return "the template does not parse (error " + std::to_string(e.number()) + ", " +
         e.description() + ")";
}

// A format text whose closing quote is missing runs on over the variables to the
// "}}": what it took in, or nothing when the expression does not look like that.
std::string RunOnFormat(std::string_view text, const DroppedExpression& d) {
  if (d.start == 0 || d.reason != "unescaped } inside the format text") return "";
  if (static_cast<size_t>(d.at) >= text.size() || text[d.at] != '}') return "";
  std::string_view source = text.substr(d.start - 1, d.at - d.start);
  size_t quote = source.find('"');
  size_t comma = quote == std::string_view::npos ? quote : source.find(',', quote);
  return comma == std::string_view::npos ? "" : std::string(source.substr(comma));
}

std::string DroppedMessage(const Findings& f, const DroppedExpression& d, std::string& fix) {
  std::string reason = d.reason;
  fix = FixFor(reason);
  if (std::string run_on = RunOnFormat(f.text(), d); !run_on.empty()) {
    reason =
        "the format text has no closing \" and runs on over " + Excerpt(run_on) + " into the }}";
    fix = "close the format text with \" before the first variable";
  }
  std::string message =
      (d.start ? "expression dropped, it stays in the text as written: " : "syntax error: ") +
      reason;
  if (d.skipped_brace)
    message += "; the { at " + f.At(d.skipped_brace) +
               " is passed over, so an expression starting there is not recognised";
  return message;
}

// A kept expression whose first "}" is not followed by the second: the text in
// between belongs to the expression and is replaced with it.
struct Swallow {
  int32_t single_close = 0;  // position of the lone "}"
  std::string lost;
};

Swallow SwallowedBy(const KeptExpression& e) {
  const std::string& s = e.template_string;
  size_t first = s.size() >= 2 ? s.rfind('}', s.size() - 2) : std::string::npos;
  if (first == std::string::npos || first + 2 == s.size()) return {};
  return {e.start + static_cast<int32_t>(first), s.substr(first + 1, s.size() - first - 2)};
}

// The end of an expression that recovery passed over the "{" of.
size_t HiddenUntil(std::string_view text, int32_t skipped_brace) {
  size_t end = text.find("}}", static_cast<size_t>(skipped_brace) - 1);
  return end == std::string_view::npos ? text.size() : end + 2;
}

// The errors of the parse itself, each cause once: a dropped expression also
// hides the "{" recovery passes over, a lone "}" leaves the "}" meant for a later
// expression over, and what makes the whole parse fail is said where it stands.
void AddParseErrors(Findings& f, const TemplateCheck& check) {
  std::vector<int32_t> left_over;  // a "}" a swallowing expression left over
  if (!check.parse_error)
    for (const KeptExpression& e : check.kept)
      if (e.problem.empty() && !SwallowedBy(e).lost.empty()) left_over.push_back(e.end + 1);
  size_t hidden_until = 0;
  for (const DroppedExpression& d : check.dropped) {
    const int32_t at = d.at ? d.at : d.start;
    if (static_cast<size_t>(at) <= hidden_until) continue;
    if (d.skipped_brace) hidden_until = HiddenUntil(f.text(), d.skipped_brace);
    if (d.start == 0 && std::find(left_over.begin(), left_over.end(), at) != left_over.end())
      continue;  // part of the swallowing expression's finding
    std::string fix;
    std::string message = DroppedMessage(f, d, fix);
    // A missing quote belongs before the text it let the format run on over.
    std::string run_on = RunOnFormat(f.text(), d);
    f.Error(FindingKind::kDroppedExpression,
            run_on.empty() ? at : d.at - static_cast<int32_t>(run_on.size()), message, fix);
  }
  bool explained = false;
  for (const KeptExpression& e : check.kept)
    if (!e.problem.empty()) {
      std::string message = e.problem;
      if (check.parse_error) message += "; " + ParseErrorText(*check.parse_error);
      f.Error(FindingKind::kParseFails, e.start, message,
              e.problem.starts_with("two variables")
                  ? "give each variable of one expression its own name"
                  : "a repeat count is at most 2147483647");
      explained = true;
    }
  if (check.open_expression && !explained) {
    std::string message = "no closing braces before the end of the template";
    if (check.parse_error) message += "; " + ParseErrorText(*check.parse_error);
    f.Error(FindingKind::kParseFails, check.open_expression, message,
            check.open_after_close ? "write }} for the single } at " + f.At(check.open_after_close)
                                   : "close the expression with }}");
    explained = true;
  }
  if (check.parse_error && !explained)
    f.Error(FindingKind::kParseFails, 1, ParseErrorText(*check.parse_error), "");
}

void AddSwallowed(Findings& f, const TemplateCheck& check, const KeptExpression& e) {
  Swallow swallow = SwallowedBy(e);
  if (swallow.lost.empty()) return;
  std::string message =
      "a single } ends the variables here, so the text up to the next } is taken into the "
      "expression and lost: " +
      Excerpt(swallow.lost);
  for (const DroppedExpression& d : check.dropped)
    if (d.start == 0 && d.at == e.end + 1) {
      message += "; the } after it is left over as text";
      if (d.skipped_brace)
        message += " and the { at " + f.At(d.skipped_brace) +
                   " is passed over, so an expression starting there is not recognised";
    }
  f.Error(FindingKind::kSwallowedText, swallow.single_close, message, "write }} here");
}

// The placeholders an expression leaves in its rendering: renders it alone with
// every value empty and reads what "\<digits>" is left.
void AddPlaceholders(Findings& f, const KeptExpression& e) {
  CFormatParser parser;
  std::string rendered;
  try {
    std::optional<FormatExpressions> alone = parser.Parse(e.template_string);
    if (!alone || alone->empty()) return;
    CFormatExpression& expression = alone->front();
    for (CVariable& v : expression.Variables()) v.SetValue(1, "");
    expression.SetLoopCount(1);
    rendered = expression.ToString();
  } catch (const pelmark::Error&) {
    return;
  }
  const size_t count = e.variables.size();
  std::string named;
  for (const TemplateVariable& v : e.variables)
    named += (named.empty() ? "" : ", ") + ("\\" + std::to_string(v.position)) + " = " + v.name;
  std::vector<std::string> seen;
  for (size_t at = rendered.find('\\'); at != std::string::npos; at = rendered.find('\\', at + 1)) {
    size_t digits = at + 1;
    while (digits < rendered.size() && std::isdigit(static_cast<unsigned char>(rendered[digits])))
      ++digits;
    if (digits == at + 1 || digits - at > 10) continue;
    std::string placeholder = rendered.substr(at, digits - at);
    if (std::stoul(placeholder.substr(1)) < count) continue;
    if (std::find(seen.begin(), seen.end(), placeholder) != seen.end()) continue;
    seen.push_back(placeholder);
    size_t in_source = e.template_string.find(placeholder);
    int32_t position =
        e.start + (in_source == std::string::npos ? 0 : static_cast<int32_t>(in_source));
    f.Error(FindingKind::kPlaceholderWithoutVariable, position,
            placeholder + " has no variable: the expression names " + std::to_string(count) + " (" +
                named + "), so " + placeholder + " stays in the text as written",
            "add a variable for " + placeholder + " after the others, or use \\0" +
                (count > 1 ? " ... \\" + std::to_string(count - 1) : std::string()),
            placeholder);
  }
}

struct Vocabulary {
  bool names_known = false;
  std::span<const std::string> variables;
  std::span<const std::string> loop_objects;

  bool Provides(std::string_view name) const {
    return std::any_of(variables.begin(), variables.end(),
                       [&](const std::string& v) { return Lower(v) == Lower(name); });
  }
  // The per-item names the step fills: those of its variables, or the usual ones.
  std::span<const std::string> ItemFields() const {
    static const std::string kUsual[] = {"dmsobject.id", "dmsobject.name", "dmsobject.link"};
    return names_known ? variables : std::span<const std::string>(kUsual);
  }
  bool ItemField(std::string_view name) const {
    return std::any_of(ItemFields().begin(), ItemFields().end(),
                       [&](const std::string& v) { return Lower(v) == Lower(name); });
  }
  bool Loops(std::string_view loop_object) const {
    return std::any_of(loop_objects.begin(), loop_objects.end(),
                       [&](const std::string& l) { return Lower(l) == Lower(loop_object); });
  }
  const std::string* LoopOf(std::string_view name) const {
    for (const std::string& loop : loop_objects)
      if (StartsWithItemOf(name, loop)) return &loop;
    return nullptr;
  }
};

void AddLoopObject(Findings& f, const Vocabulary& known, const KeptExpression& e) {
  if (!e.repeat || e.loop_object.empty() || known.Loops(e.loop_object)) return;
  std::string fix = Closest(e.loop_object, known.loop_objects);
  if (fix.empty() && !known.loop_objects.empty()) fix = known.loop_objects[0];
  std::string items;
  for (const TemplateVariable& v : e.variables)
    if (StartsWithItemOf(v.name, e.loop_object)) items += (items.empty() ? "" : ", ") + v.name;
  std::string message = "the loop object " + e.loop_object + " is not " +
                        (known.loop_objects.empty() ? "one the step repeats over"
                                                    : "the item list " + known.loop_objects[0]) +
                        ": the step looks up a process variable of that name and fails where "
                        "there is none";
  if (!items.empty())
    message += ", and " + items +
               " gets no value, so rendering fails with error 9 (Subscript out of range) when "
               "the list has items";
  f.Add(FindingSeverity::kError, FindingKind::kUnknownLoopObject, e.start, e.loop_object, message,
        fix.empty() ? "" : "write {{N:" + fix + "\"");
}

// Per-item variables where no item fills them (one finding for the expression)
// and item fields the step does not fill.
void AddItemVariables(Findings& f, const Vocabulary& known, const KeptExpression& e) {
  // Over a loop object the step does not know, that finding says it all.
  if (e.repeat && !e.loop_object.empty() && !known.Loops(e.loop_object)) return;
  std::string outside;
  int outside_count = 0;
  const std::string* outside_loop = nullptr;
  for (const TemplateVariable& v : e.variables) {
    const std::string* loop = known.LoopOf(v.name);
    if (!loop) continue;
    if (!e.repeat || Lower(e.loop_object) != Lower(*loop)) {
      outside += (outside.empty() ? "" : ", ") + v.name;
      outside_loop = loop;
      ++outside_count;
    } else if (!known.ItemField(v.name)) {
      std::vector<std::string> fields;
      for (const std::string& name : known.ItemFields())
        if (StartsWithItemOf(name, *loop)) fields.push_back(name);
      std::string fix = Closest(v.name, fields);
      f.Error(FindingKind::kUnknownItemVariable, e.start,
              v.name +
                  " is no item field the step fills, so it has no value and rendering "
                  "fails with error 9 (Subscript out of range) when the list has items",
              fix.empty() ? "" : "did you mean " + fix + "?", v.name);
    }
  }
  if (!outside_loop) return;
  const std::string how = !e.repeat               ? "it is not repeated, so it renders once"
                          : e.loop_object.empty() ? "it repeats " + std::to_string(e.loop_count) +
                                                        " times, not per item"
                                                  : "it repeats over " + e.loop_object;
  f.Error(FindingKind::kItemVariableOutsideLoop, e.start,
          outside + (outside_count > 1 ? " have values" : " has a value") + " only per item of " +
              *outside_loop + ", in an expression repeated over it; " + how + ", with " +
              (outside_count > 1 ? "them" : "it") + " as empty text",
          "repeat the expression per item: {{N:" + *outside_loop + "\"...\"," +
              e.variables.front().name + "...}}",
          outside);
}

void AddUnknownVariables(Findings& f, const Vocabulary& known, const KeptExpression& e) {
  if (!known.names_known) return;
  for (const TemplateVariable& v : e.variables) {
    if (known.LoopOf(v.name) || known.Provides(v.name)) continue;
    std::string fix = Closest(v.name, known.variables);
    f.Add(FindingSeverity::kWarning, FindingKind::kUnknownVariable, e.start, v.name,
          "the step does not provide the variable " + (v.name.empty() ? "(empty name)" : v.name) +
              "; it renders as empty text",
          fix.empty() ? "" : "did you mean " + fix + "?");
  }
}

std::vector<TemplateFinding> Find(std::string_view text, const Vocabulary& known) {
  TemplateCheck check = CheckTemplate(text);
  Findings f(text);
  AddParseErrors(f, check);
  if (!check.parse_error) {
    for (const KeptExpression& e : check.kept) {
      if (!e.problem.empty()) continue;
      AddSwallowed(f, check, e);
      AddPlaceholders(f, e);
      AddLoopObject(f, known, e);
      AddItemVariables(f, known, e);
      AddUnknownVariables(f, known, e);
    }
  }
  return std::move(f).Sorted();
}

}  // namespace

std::vector<TemplateFinding> FindTemplateProblems(std::string_view text) {
  static const std::string kLoops[] = {std::string(kItemLoopObject)};
  return Find(text, {false, {}, kLoops});
}

std::vector<TemplateFinding> FindTemplateProblems(std::string_view text,
                                                  std::span<const std::string> variables,
                                                  std::span<const std::string> loop_objects) {
  return Find(text, {true, variables, loop_objects});
}

}  // namespace corvane
