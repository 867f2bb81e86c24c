// The format template engine: CFormatParser cuts a designer's template into
// double-brace expressions, CFormatExpression holds one expression and renders
// it, CVariable holds one variable of an expression with one value per
// repetition.
//
//   {{ [N : repeat] "format text" , variable [, variable ...] }}
//
// The engine knows nothing about where values come from. A caller parses,
// fills every variable's values, then renders the whole template with
// CFormatParser::ToString or single expressions with CFormatExpression::ToString.
//
// Typical usage:
//   CFormatParser parser;
//   std::optional<FormatExpressions> expressions = parser.Parse(text);
//   if (!expressions) return text;
//   for (CFormatExpression& e : *expressions)
//     for (CVariable& v : e.Variables()) v.SetValue(1, Lookup(v.Name()));
//   return parser.ToString(text, *expressions);
//
// Failures raise pelmark::Error. CFormatParser's procedures and CVariable::Value
// add their location to the error's source and never write the event log; the
// other accessors pass errors on unchanged.
//
// Threading: objects are apartment-threaded; use each one on one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pelmark/com.h"

namespace corvane {

// One variable of an expression: its name, its placeholder number and its
// values, Value(1) ... Value(capacity).
class CVariable {
 public:
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // The placeholder "\" followed by this number in decimal stands for the variable.
  int32_t Position() const { return position_; }
  void SetPosition(int32_t position) { position_ = position; }

  // The value for repetition `index`. An index outside 1 ... capacity raises 9.
  const std::string& Value(int32_t index) const {
    if (index >= 1 && index <= capacity_) {
      if (index <= static_cast<int32_t>(values_.size())) return values_[index - 1];
      return index <= same_through_ ? same_ : kNoValue;
    }
    return ValueOutOfRange(index);
  }
  // Stores the value for repetition `index`, growing the values by 5 when
  // index is beyond them; an index still beyond them (or below 1) raises 9.
  void SetValue(int32_t index, std::string text);
  // Gives Value(2) ... Value(count) the text of Value(1), as storing it at each
  // index in turn would (an overflow of the capacity raises 6), but keeps one
  // copy for all of them: a fixed repeat count may be two billion.
  void RepeatFirstValue(int32_t count);
  // The last index from `index` on whose value is the very text stored for
  // `index` (all of them filled by one RepeatFirstValue, or never stored);
  // `index` itself when the next one holds a text of its own.
  // REQUIRES: 1 <= index <= capacity.
  int32_t SameValueThrough(int32_t index) const;

 private:
  friend class CVariables;
  [[noreturn]] const std::string& ValueOutOfRange(int32_t index) const;
  void ResizeArray();

  static const std::string kNoValue;  // a slot within the capacity never stored

  std::string name_;
  std::string key_;  // the name it was added to a collection under
  int32_t position_ = 0;
  int32_t capacity_ = 0;
  // The values stored one by one: values_[i - 1] is Value(i). Beyond them,
  // Value(i) is same_ up to same_through_ and kNoValue after that.
  std::vector<std::string> values_;
  std::string same_;
  int32_t same_through_ = 0;
};

// True when two names are the same collection key (case is ignored).
bool SameKey(std::string_view a, std::string_view b);

// An expression's variables in collection order (descending Position after
// Parse), keyed by Name without regard to case.
class CVariables {
 public:
  CVariables() = default;
  CVariables(const CVariables& other);
  CVariables& operator=(const CVariables& other);
  CVariables(CVariables&&) noexcept = default;
  CVariables& operator=(CVariables&&) noexcept = default;

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // REQUIRES: 0 <= i < Count(). Zero-based, in collection order.
  CVariable& operator[](size_t i) { return items_[i]; }
  const CVariable& operator[](size_t i) const { return items_[i]; }
  // The variable under `name` (any case), or nullptr.
  CVariable* Find(std::string_view name);
  const CVariable* Find(std::string_view name) const;
  // Adds under key variable.Name(); a key already present (any case) raises 457.
  void Add(CVariable variable);

  auto begin() { return items_.begin(); }
  auto end() { return items_.end(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  // Makes room for `count` variables in all.
  void Reserve(size_t count);

 private:
  // Expressions name one to three variables as a rule: a collection this small
  // is searched in order, a larger one through an index of folded keys.
  static constexpr size_t kIndexedFrom = 9;

  size_t IndexOf(std::string_view name) const;  // npos when absent

  std::vector<CVariable> items_;
  // Folded key -> items_ index; only for a collection of kIndexedFrom or more.
  std::unique_ptr<std::unordered_map<std::string, size_t>> index_;
};

// One expression of a template.
class CFormatExpression {
 public:
  // The format text between the quotes, "/" escapes resolved.
  const std::string& FormatString() const { return format_string_; }
  void SetFormatString(std::string text) { format_string_ = std::move(text); }

  CVariables& Variables() { return variables_; }
  const CVariables& Variables() const { return variables_; }

  int32_t LoopCount() const { return loop_count_; }
  void SetLoopCount(int32_t count) { loop_count_ = count; }

  // The list the expression repeats over; empty for a fixed count.
  const std::string& LoopObject() const { return loop_object_; }
  void SetLoopObject(std::string name) { loop_object_ = std::move(name); }

  // True when the expression carries the repeat mark "N".
  bool Repeat() const { return repeat_; }
  void SetRepeat(bool repeat) { repeat_ = repeat; }

  // The expression's exact source text, from its first "{" to its last "}".
  const std::string& TemplateString() const { return template_string_; }
  void SetTemplateString(std::string text) { template_string_ = std::move(text); }

  // Renders the expression with the variables' current values: "\t" and "\n"
  // resolved, then every placeholder replaced, once or per repetition. A missing
  // value raises 9 (from CVariable::Value).
  std::string ToString() const;

 private:
  std::string template_string_;
  std::string format_string_;
  CVariables variables_;
  int32_t loop_count_ = 0;
  std::string loop_object_;
  bool repeat_ = false;
};

// The collection Parse returns: the template's expressions, last one first.
using FormatExpressions = std::vector<CFormatExpression>;

// The kinds of token the parser stacks while it scans. The numbers are part of
// the token stack a FormatParseObserver sees. "Collects" means later characters
// are appended to the token's Text while it is on top of the stack.
enum class FormatTokenKind : int32_t {
  kExpressionEnd = -2,    // "^": a complete expression ends here
  kScanStart = -1,        // "$": a scan (or error recovery) starts
  kNone = 0,              // an emptied stack slot
  kFirstOpenBrace = 1,    // Position: where the expression starts
  kSecondOpenBrace = 2,   //
  kRepeatMark = 3,        // "N"
  kRepeatColon = 4,       // ":" after the repeat mark
  kLoopObject = 5,        // collects the loop object's name
  kRepeatCount = 6,       // collects the repeat count's digits
  kOpeningQuote = 7,      //
  kFormatText = 8,        // collects the format text, "/" escapes resolved
  kClosingQuote = 9,      //
  kComma = 10,            // "," before a variable name
  kVariableName = 11,     // collects a name; Position: the variable's index
  kFirstCloseBrace = 12,  //
  kSecondCloseBrace = 13  // Position: where the expression ends
};

// One entry of the parser's token stack.
struct FormatToken {
  FormatTokenKind TokenType = FormatTokenKind::kNone;
  std::string Text;
  int32_t Position = 0;
};

// What a scan dropped: the syntax error that started error recovery.
struct FormatSyntaxError {
  int32_t expression_start = 0;  // position of the dropped expression's first "{"; 0 for none
  int32_t at = 0;                // position of the offending character (past the end: Length + 1)
  FormatTokenKind top = FormatTokenKind::kNone;  // the token on top of the stack at the error
  std::string found;                             // the offending character; empty past the end
  int32_t skipped_brace = 0;  // position of the "{" recovery passed over; 0 for none
};

// Watches a parse without changing it (the designers' diagnostics use it).
class FormatParseObserver {
 public:
  virtual ~FormatParseObserver() = default;
  virtual void SyntaxError(const FormatSyntaxError& error) = 0;
  // The token stack after scanning, bottom first, before the expressions are
  // built from it; `next` is the position the last scan returned.
  virtual void Scanned(std::span<const FormatToken> stack, int32_t next) = 0;
};

class CFormatParser {
 public:
  CFormatParser() = default;
  CFormatParser(const CFormatParser&) = delete;
  CFormatParser& operator=(const CFormatParser&) = delete;

  // Cuts the template into expressions, the last one first; nullopt when it
  // holds no complete expression. Raises for two variables of one expression
  // with the same name (457), a repeat count beyond 32 bits (6) and an
  // expression left open at the end of the template (91).
  std::optional<FormatExpressions> Parse(std::string_view Template);

  // The template with every occurrence of each expression's TemplateString
  // replaced by that expression's rendering, in collection order.
  std::string ToString(std::string_view Template, const FormatExpressions& Expressions);

  // Not owned; nullptr for none.
  void SetObserver(FormatParseObserver* observer) { observer_ = observer; }

 private:
  struct Scan;

  void Push(FormatTokenKind TokenType, std::string_view Text, int32_t Position);
  FormatToken Pop();
  void ResizeArray();
  void ReportedPush(FormatTokenKind TokenType, std::string_view Text, int32_t Position);
  FormatToken ReportedPop();
  int32_t GetNextToken(std::string_view Template, int32_t Length, int32_t Start);
  // Appends the expression of the scan whose tokens are tokens_[base ... top),
  // read from the top down, if the scan kept one; on failure appends nothing.
  void Build(std::string_view Template, int32_t base, int32_t top, FormatExpressions& into);

  // The steps of one scan, one per character that has a rule of its own; each
  // returns false when the character is a syntax error.
  FormatTokenKind Top() const;
  bool OpenBrace(Scan& scan);
  bool StartFormat(Scan& scan);
  bool Colon(Scan& scan);
  bool Quote(Scan& scan);
  bool Comma(Scan& scan);
  bool CloseBrace(Scan& scan);
  bool Other(Scan& scan);
  void Recover(Scan& scan);

  std::vector<FormatToken> tokens_;  // indexes 0 ... capacity_
  int32_t capacity_ = 0;
  int32_t count_ = 0;
  FormatParseObserver* observer_ = nullptr;
};

}  // namespace corvane
