// Diagnostics for workflow designers: what the template engine will make of a
// template, without changing how it parses. The command-line host offers them as
// `corvane template check FILE` (CheckTemplate, then DescribeCheck) and
// `corvane template render FILE --var NAME=VALUE...` (RenderPreview).
//
// Positions are 1-based byte offsets into the template text, as the parser
// counts them; LineAndColumn turns one into a line and a character column, a
// TextLocator many of them in one pass over the text.
//
// Typical usage:
//   TemplateCheck check = CheckTemplate(text);
//   std::cout << DescribeCheck(text, check);
//   return check.parse_error || !check.dropped.empty() ? 1 : 0;
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pelmark/com.h"

namespace corvane {

// An expression the parser dropped (or a stray "}" in the text), with why.
struct DroppedExpression {
  int32_t start = 0;          // its first "{"; 0 when the error was outside any expression
  int32_t at = 0;             // the character that made it a syntax error
  std::string reason;         // for example "unescaped } inside the format text"
  int32_t skipped_brace = 0;  // a "{" the parser then passed over without reading it; 0 for none
};

struct TemplateVariable {
  std::string name;  // as the engine keys it: spaces removed
  int32_t position;  // the placeholder "\<position>"
};

// An expression the parser keeps.
struct KeptExpression {
  int32_t start = 0;  // its first "{"
  int32_t end = 0;    // its last "}"
  std::string template_string;
  std::string format_string;  // "/" escapes resolved
  bool repeat = false;
  int32_t loop_count = 0;  // the fixed count (0 for none, or for a loop object)
  std::string loop_object;
  std::vector<TemplateVariable> variables;  // in the order written
  // Why Parse fails because of this expression (two variables with one name, a
  // repeat count beyond 32 bits); empty when it does not.
  std::string problem;
};

struct TemplateCheck {
  std::vector<KeptExpression> kept;        // in order of appearance
  std::vector<DroppedExpression> dropped;  // in order of appearance
  int32_t open_expression = 0;             // the "{" of an expression open at the end; 0 for none
  // The one "}" that closed the open expression's variables, when it got that
  // far (the second "}" never came); 0 otherwise.
  int32_t open_after_close = 0;
  std::optional<pelmark::Error> parse_error;  // what Parse raises for the whole template
  bool has_expressions = false;               // Parse returns expressions (false: text used as is)
};

// Parses `text` as the engine does and lists what it kept and dropped.
TemplateCheck CheckTemplate(std::string_view text);

// A readable report of a check, one finding per line.
std::string DescribeCheck(std::string_view text, const TemplateCheck& check);

// The line (from 1) and column (characters from 1) of a byte position. It
// counts from the start of the text: to locate many positions of one text,
// use a TextLocator.
std::pair<int32_t, int32_t> LineAndColumn(std::string_view text, int32_t position);

// Lines and columns of any number of positions in one text, in any order: the
// state (line, column) is kept every 256 bytes, so a position costs at most
// that much counting however many a template has. The text must outlive it.
class TextLocator {
 public:
  explicit TextLocator(std::string_view text);
  // As LineAndColumn(text, position).
  std::pair<int32_t, int32_t> At(int32_t position) const;
  // "position P (line L, column C)".
  std::string Where(int32_t position) const;

 private:
  static constexpr size_t kStride = 256;
  struct Mark {
    int32_t line;
    int32_t column;  // characters since the line's start
  };
  static void Advance(Mark& state, char byte);

  std::string_view text_;
  std::vector<Mark> marks_;  // the state before byte k * kStride
};

// What a designer is told about a template: each problem with its place and
// the fix. `kind` says which check found it, for callers that phrase their own
// message (a class naming itself); `subject` is the variable, loop object or
// placeholder concerned, empty when there is none.
enum class FindingSeverity { kNote, kWarning, kError };

enum class FindingKind {
  kDroppedExpression,  // a syntax error: the expression stays in the text as written
  kParseFails,         // Parse raises for the whole template, nothing is rendered
  kSwallowedText,      // a single "}" takes the text up to the next "}" into the expression
  kPlaceholderWithoutVariable,  // "\N" with fewer than N + 1 variables stays as written
  kItemVariableOutsideLoop,     // a per-item variable in an expression not repeated over items
  kUnknownLoopObject,           // a loop object the step does not fill items for
  kUnknownItemVariable,         // "<loop object>.<field>" the step does not fill
  kUnknownVariable,             // a name the step does not provide: it renders as empty text
};

struct TemplateFinding {
  FindingSeverity severity = FindingSeverity::kError;
  FindingKind kind = FindingKind::kDroppedExpression;
  int32_t position = 1;  // 1-based byte offset into the template
  int32_t line = 1;      // of `position`, as LineAndColumn counts
  int32_t column = 1;
  std::string subject;
  std::string message;
  std::string suggestion;  // the fix, as the designer would write it
};

// The loop object whose items the steps fill per item ("dmsobject.id", ...).
inline constexpr std::string_view kItemLoopObject = "dmsobject";

// Findings about what the engine makes of `text`, in the order of the text:
// expressions it drops or that make it fail, text a single "}" swallows,
// placeholders without a variable, and per-item variables used where no item
// fills them (the loop object is kItemLoopObject). Variable names are not
// checked against any list.
std::vector<TemplateFinding> FindTemplateProblems(std::string_view text);

// As above for a step that provides `variables` (any case; per-item ones
// written "<loop object>.<field>") and fills items for `loop_objects`: a name it
// does not provide is a warning, an item field it does not fill and a loop
// object it does not know are findings too.
std::vector<TemplateFinding> FindTemplateProblems(std::string_view text,
                                                  std::span<const std::string> variables,
                                                  std::span<const std::string> loop_objects);

// Renders `text` as a step would, with values given by name (any case); a name
// given several times gives Value(1), Value(2), ... in that order. A repeating
// expression over a loop object runs once per value of its most-valued variable
// named "<loop object>.<field>"; a variable with fewer values than repetitions
// repeats its last value, and one without values renders empty text.
// Raises what Parse and ToString raise. With `renderings`, each expression's
// own rendering is stored there too, in the order of the text.
std::string RenderPreview(std::string_view text,
                          const std::vector<std::pair<std::string, std::string>>& values,
                          std::vector<std::string>* renderings = nullptr);

}  // namespace corvane
