#include "templates/format_engine.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <exception>
#include <unordered_set>

#include "rules/case_mapping.h"
#include "rules/error_report.h"
#include "rules/variant_rules.h"
#include "templates/template_substitution.h"
#include "templates/text_replace.h"

namespace corvane {

namespace {

using Kind = FormatTokenKind;

constexpr std::string_view kParser = "CFormatParser";
constexpr std::string_view kVariable = "CVariable";

// Collection keys compare without regard to case, non-ASCII letters included.
std::string FoldKey(std::string_view name) { return LCase(name); }

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// A set of bytes, for finding the end of a run of characters a scan treats alike.
class CharSet {
 public:
  constexpr explicit CharSet(std::string_view chars) : has_{} {
    for (char c : chars) has_[static_cast<unsigned char>(c)] = true;
  }
  constexpr bool Has(char c) const { return has_[static_cast<unsigned char>(c)]; }

 private:
  bool has_[256];
};

// CLng of a repeat count, which holds decimal digits only.
int32_t RepeatCount(std::string_view digits) {
  if (digits.empty()) Raise(13);
  int64_t value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
    if (value > INT32_MAX) Raise(6);
  }
  return static_cast<int32_t>(value);
}

struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// A fixed number of items, kept inline when they are few (an expression names
// one to three variables as a rule), so that rendering one allocates nothing.
template <class T>
class FewOrMany {
 public:
  static constexpr size_t kFew = 8;
  explicit FewOrMany(size_t size) : size_(size) {
    if (size > kFew) many_.resize(size);
  }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](size_t i) { return size_ > kFew ? many_[i] : few_[i]; }
  const T& operator[](size_t i) const { return size_ > kFew ? many_[i] : few_[i]; }
  std::span<const T> view() const { return {size_ > kFew ? many_.data() : few_.data(), size_}; }

 private:
  std::array<T, kFew> few_{};
  std::vector<T> many_;
  size_t size_;
};

// The placeholders of one expression's variables, for rendering without
// rescanning the text built so far. A placeholder is "\" followed by a
// variable's Position in decimal; where several variables' placeholders start
// at one backslash, the replacement done first (collection order) wins.
class Placeholders {
 public:
  Placeholders(const Placeholders&) = delete;
  Placeholders& operator=(const Placeholders&) = delete;
  explicit Placeholders(const CVariables& variables)
      : texts_(static_cast<size_t>(variables.Count())) {
    const size_t count = texts_.size();
    for (size_t k = 0; k < count; ++k) {
      std::string& text = texts_[k];
      text.push_back('\\');
      text += std::to_string(variables[k].Position());
      longest_ = std::max(longest_, text.size() - 1);
    }
    if (count < kIndexedFrom) return;
    for (size_t k = 0; k < count; ++k) {
      std::string_view number = Number(k);
      for (size_t len = 0; len < number.size(); ++len)
        proper_prefixes_.emplace(number.substr(0, len));
      first_.emplace(number, k);
    }
  }

  const std::string& Text(size_t k) const { return texts_[k]; }

  // The variable whose placeholder the backslash at text[b] starts, and the
  // length of its number; npos when none does.
  std::pair<size_t, size_t> At(std::string_view text, size_t b) const {
    const std::string_view after = text.substr(b + 1);
    if (first_.empty()) {
      for (size_t k = 0; k < texts_.size(); ++k) {
        if (after.starts_with(Number(k))) return {k, Number(k).size()};
      }
      return {std::string_view::npos, 0};
    }
    size_t best = std::string_view::npos, best_len = 0;
    size_t available = std::min(longest_, after.size());
    for (size_t len = 1; len <= available; ++len) {
      auto it = first_.find(after.substr(0, len));
      if (it != first_.end() && it->second < best) {
        best = it->second;
        best_len = len;
      }
    }
    return {best, best_len};
  }

  // The first backslash at or after `from` where a replacement may match now
  // or later, or npos. A backslash is settled when no placeholder number
  // begins the text after it and that text cannot grow: it is followed, before
  // the next backslash or the end, by as many characters as the longest number
  // or by text no number begins with. Nothing before the first live backslash
  // ever changes again, since every match starts at a backslash.
  size_t FirstLive(std::string_view text, size_t from) const {
    for (size_t b = text.find('\\', from); b != std::string_view::npos;
         b = text.find('\\', b + 1)) {
      if (At(text, b).first != std::string_view::npos) return b;
      size_t end = std::min(text.size(), b + 1 + longest_);
      size_t stop = text.find('\\', b + 1);
      bool open = stop == std::string_view::npos ? end == text.size() : stop < end;
      if (open) end = std::min(end, stop);
      std::string_view window = text.substr(b + 1, end - b - 1);
      if (open && window.size() < longest_ && BeginsNumber(window)) return b;
    }
    return std::string_view::npos;
  }

  // True when replacing one placeholder of `format` cannot join the text
  // before it into another: no backslash is followed, up to the next backslash,
  // by the beginning of a placeholder's number.
  bool Separable(std::string_view format) const {
    size_t b = format.find('\\');
    while (b != std::string_view::npos) {
      size_t next = format.find('\\', b + 1);
      if (next == std::string_view::npos) break;
      std::string_view between = format.substr(b + 1, next - b - 1);
      if (between.size() < longest_ && BeginsNumber(between)) return false;
      b = next;
    }
    return true;
  }

  // Appends `format` with every placeholder replaced by values[k], as the
  // variable-by-variable replacements over `format` alone would leave it,
  // counting what it writes against the rendering budget first.
  void AppendRendered(std::string& out, std::string_view format,
                      std::span<const std::string* const> values, bool plain) const {
    if (!plain) {
      // A value holding a backslash, or a value put between a backslash and
      // digits, can form a new placeholder; only the step-by-step replacement
      // gives that text. Each replacement counts the text it gives.
      std::string s(format);
      for (size_t k = 0; k < values.size(); ++k) ReplaceAll(s, texts_[k], *values[k]);
      out.append(s);
      return;
    }
    size_t from = 0;
    for (size_t b = format.find('\\'); b != std::string_view::npos; b = format.find('\\', b + 1)) {
      auto [k, len] = At(format, b);
      if (k == std::string_view::npos) continue;
      RenderBudget::Charge(b - from);
      RenderBudget::Charge(values[k]->size());
      out.append(format, from, b - from);
      out.append(*values[k]);
      from = b + 1 + len;
      b = from - 1;
    }
    RenderBudget::Charge(format.size() - from);
    out.append(format.substr(from));
  }

 private:
  // An expression names one to three variables as a rule; that few are
  // compared in turn, more through hash tables.
  static constexpr size_t kIndexedFrom = FewOrMany<std::string>::kFew + 1;

  std::string_view Number(size_t k) const { return std::string_view(texts_[k]).substr(1); }

  // True when `part` is a proper beginning of some placeholder's number.
  bool BeginsNumber(std::string_view part) const {
    if (!first_.empty()) return proper_prefixes_.contains(part);
    for (size_t k = 0; k < texts_.size(); ++k) {
      if (Number(k).size() > part.size() && Number(k).starts_with(part)) return true;
    }
    return false;
  }

  FewOrMany<std::string> texts_;  // "\\" and the number, per variable
  std::unordered_map<std::string_view, size_t, TextHash, std::equal_to<>> first_;
  std::unordered_set<std::string_view, TextHash, std::equal_to<>> proper_prefixes_;
  size_t longest_ = 0;
};

}  // namespace

// --- CVariable

const std::string& CVariable::ValueOutOfRange(int32_t index) const {
  Noted(
      [&] {
        // Only a loop over an item list fills item variables, and only these three.
        const bool item = LCase(Name()).starts_with("dmsobject.");
        return RaiseNote{"rendering",
                         "",
                         "template variable " + Name(),
                         {},
                         "in repetition " + std::to_string(index) + ", which nothing filled" +
                             (item ? "; a loop over the item list fills only dmsobject.id, "
                                     "dmsobject.name and dmsobject.link"
                                   : "")};
      },
      [] {
        Reported({kPrivate, kVariable, ":Value Ln ", kQuiet}, [](Line& at) {
          at(1);
          Raise(9);
        });
      });
  std::abort();  // Reported raises the error again
}

const std::string CVariable::kNoValue;

void CVariable::SetValue(int32_t index, std::string text) {
  Reported({kPrivate, kVariable, ":Value Ln ", kQuiet}, [&](Line& at) {
    at(1);
    if (capacity_ < index) ResizeArray();
    at(2);
    if (index < 1 || index > capacity_) Raise(9);
    const size_t slot = static_cast<size_t>(index);
    if (slot > values_.size()) {
      // The slots before it keep what they held.
      if (slot > values_.size() + 1) values_.reserve(slot);
      while (values_.size() + 1 < slot)
        values_.push_back(Value(static_cast<int32_t>(values_.size() + 1)));
      values_.push_back(std::move(text));
    } else {
      values_[slot - 1] = std::move(text);
    }
  });
}

void CVariable::RepeatFirstValue(int32_t count) {
  if (count < 2) return;
  const std::string& first = Value(1);
  Reported({kPrivate, kVariable, ":Value Ln ", kQuiet}, [&](Line& at) {
    at(1);
    // Storing at count grows the capacity by 5 at a time until it holds count;
    // the first step past INT32_MAX - 5 overflows.
    int64_t capacity = capacity_;
    if (capacity < count) {
      const int64_t steps = (count - capacity + 4) / 5;
      const int64_t allowed = capacity > INT32_MAX - 5 ? 0 : (INT32_MAX - 5 - capacity) / 5 + 1;
      if (steps > allowed) {
        capacity_ = static_cast<int32_t>(capacity + 5 * allowed);
        same_ = first;
        same_through_ = capacity_;
        Raise(6);
      }
      capacity_ = static_cast<int32_t>(capacity + 5 * steps);
    }
    for (size_t k = 1; k < values_.size() && k < static_cast<size_t>(count); ++k)
      values_[k] = first;
    same_ = first;
    same_through_ = std::max(same_through_, count);
  });
}

int32_t CVariable::SameValueThrough(int32_t index) const {
  if (index <= static_cast<int32_t>(values_.size())) return index;
  return index <= same_through_ ? same_through_ : capacity_;
}

void CVariable::ResizeArray() {
  if (capacity_ > INT32_MAX - 5) Raise(6);
  capacity_ += 5;
}

// --- CVariables

bool SameKey(std::string_view a, std::string_view b) { return EqualsIgnoringCase(a, b); }

CVariables::CVariables(const CVariables& other)
    : items_(other.items_),
      index_(other.index_ ? std::make_unique<std::unordered_map<std::string, size_t>>(*other.index_)
                          : nullptr) {}

CVariables& CVariables::operator=(const CVariables& other) {
  if (this != &other) *this = CVariables(other);
  return *this;
}

size_t CVariables::IndexOf(std::string_view name) const {
  if (!index_) {
    for (size_t k = 0; k < items_.size(); ++k) {
      if (SameKey(items_[k].key_, name)) return k;
    }
    return std::string_view::npos;
  }
  auto it = index_->find(FoldKey(name));
  return it == index_->end() ? std::string_view::npos : it->second;
}

CVariable* CVariables::Find(std::string_view name) {
  const size_t k = IndexOf(name);
  return k == std::string_view::npos ? nullptr : &items_[k];
}

const CVariable* CVariables::Find(std::string_view name) const {
  const size_t k = IndexOf(name);
  return k == std::string_view::npos ? nullptr : &items_[k];
}

void CVariables::Reserve(size_t count) { items_.reserve(count); }

void CVariables::Add(CVariable variable) {
  if (IndexOf(variable.Name()) != std::string_view::npos) Raise(457);
  const size_t k = items_.size();
  if (k + 1 == kIndexedFrom) {
    auto index = std::make_unique<std::unordered_map<std::string, size_t>>();
    for (size_t j = 0; j < k; ++j) index->emplace(FoldKey(items_[j].key_), j);
    index_ = std::move(index);
  }
  if (index_) index_->emplace(FoldKey(variable.Name()), k);
  variable.key_ = variable.name_;
  items_.push_back(std::move(variable));
}

// --- CFormatExpression

namespace {

// Basic's Replace for the escapes of a format text, which never make it longer.
std::string ReplaceEscape(std::string text, std::string_view find, std::string_view with) {
  std::string out;
  size_t from = 0;
  for (size_t hit = text.find(find); hit != std::string::npos; hit = text.find(find, from)) {
    out.append(text, from, hit - from);
    out.append(with);
    from = hit + find.size();
  }
  if (from == 0) return text;
  out.append(text, from);
  return out;
}

// Appends `copies` more copies of `piece` (not a view into `out`), charged to
// the call's rendering budget before anything is appended.
void AppendCopies(std::string& out, const std::string& piece, uint64_t copies) {
  RenderBudget::ChargeCopies(piece.size(), copies);
  out.reserve(out.size() + piece.size() * copies);
  for (uint64_t c = 0; c < copies && !piece.empty(); ++c) out.append(piece);
}

// Appends repetitions 1 to `loop_count` of `format` to `out`. `read(k)` reads
// every variable's value for repetition k into `values` and is true when one
// pass gives the replacements' result; `same_through(k)` is the last
// repetition that reads the very values repetition k reads.
//
// Each repetition replaces over the whole text built so far, but a match can
// only start at a live backslash: the text before the first one is settled,
// and only the text from there on (usually just the new copy) is rendered.
// Repetitions that read the same values as the one before (a fixed count
// repeats one value) and find the same live text repeat its work exactly:
// they are not rendered again, their settled text is copied.
template <class Read, class SameThrough>
void AppendRepetitions(std::string& out, std::string_view format, const Placeholders& placeholders,
                       const FewOrMany<const std::string*>& values, int64_t loop_count, Read read,
                       SameThrough same_through) {
  size_t live = std::string::npos;
  for (int64_t k = 1; k <= loop_count; ++k) {
    const bool plain = read(static_cast<int32_t>(k));
    const int64_t same = same_through(static_cast<int32_t>(k));
    if (live == std::string::npos) {
      const size_t mark = out.size();
      placeholders.AppendRendered(out, format, values.view(), plain);
      live = placeholders.FirstLive(out, mark);
      if (live != std::string::npos || same == k) continue;
      // Nothing this repetition wrote stays live, so each of the next ones
      // appends the same text.
      AppendCopies(out, out.substr(mark), static_cast<uint64_t>(same - k));
      k = same;
      continue;
    }
    const std::string tail = out.substr(live);
    RenderBudget::Charge(tail.size() + format.size());
    std::string rest = tail + std::string(format);
    for (size_t v = 0; v < values.size(); ++v) ReplaceAll(rest, placeholders.Text(v), *values[v]);
    out.resize(live);
    out.append(rest);
    const size_t next = placeholders.FirstLive(out, live);
    if (next == std::string::npos || same == k || out.compare(next, std::string::npos, tail) != 0) {
      live = next;
      continue;
    }
    // The live text came out as it went in: each of the next repetitions
    // settles the same text before it again.
    const std::string settled = out.substr(live, next - live);
    out.resize(next);
    AppendCopies(out, settled, static_cast<uint64_t>(same - k));
    live = out.size();
    out.append(tail);
    k = same;
  }
}

}  // namespace

std::string CFormatExpression::ToString() const {
  RenderBudget budget;
  std::string resolved;
  std::string_view format = format_string_;
  bool escapes = false;
  for (size_t b = 0; b + 1 < format.size() && !escapes; ++b)
    escapes = format[b] == '\\' && (format[b + 1] == 't' || format[b + 1] == 'n');
  if (escapes) {
    resolved = ReplaceEscape(ReplaceEscape(format_string_, "\\t", "\t"), "\\n", "\r\n");
    format = resolved;
  }
  const Placeholders placeholders(variables_);
  const bool separable = placeholders.Separable(format);
  FewOrMany<const std::string*> values(static_cast<size_t>(variables_.Count()));
  // Reads every variable's value for repetition k, as each replacement does
  // whether or not its placeholder occurs; true when one pass over the format
  // text gives the replacements' result (no value holds a backslash).
  auto read = [&](int32_t k) {
    bool plain = separable;
    for (size_t v = 0; v < values.size(); ++v) {
      values[v] = &variables_[v].Value(k);
      if (values[v]->find('\\') != std::string::npos) plain = false;
    }
    return plain;
  };
  // The last repetition from k on that reads the very values repetition k reads.
  auto same_through = [&](int32_t k) {
    int32_t last = loop_count_;
    for (size_t v = 0; v < values.size(); ++v)
      last = std::min(last, variables_[v].SameValueThrough(k));
    return last;
  };

  std::string out;
  if (!(repeat_ && loop_count_ != 1)) {
    bool plain = read(1);
    out.reserve(format.size());
    placeholders.AppendRendered(out, format, values.view(), plain);
    return out;
  }
  if (values.empty()) {
    if (loop_count_ <= 0 || format.empty()) return out;
    AppendCopies(out, std::string(format), static_cast<uint64_t>(loop_count_));
    return out;
  }
  AppendRepetitions(out, format, placeholders, values, loop_count_, read, same_through);
  return out;
}

// --- CFormatParser

void CFormatParser::ResizeArray() {
  Reported({kBracketed, kParser, ":ResizeArray Sub (", kQuiet}, [&](Line& at) {
    at(1);
    if (capacity_ > INT32_MAX - 50) Raise(6);
    capacity_ += 50;
    at(2);
    tokens_.resize(static_cast<size_t>(capacity_) + 1);
  });
}

// Pushing and popping fail only when the stack cannot grow or is empty; those
// calls go through the error report, the others need no frame of their own.
void CFormatParser::Push(FormatTokenKind TokenType, std::string_view Text, int32_t Position) {
  if (capacity_ < count_) return ReportedPush(TokenType, Text, Position);
  FormatToken& slot = tokens_[count_];
  slot.TokenType = TokenType;
  // A token's own mark ("{", "N", ...) is read by an observer only.
  if (Text.empty()) {
    slot.Text.clear();
  } else if (observer_) {
    slot.Text.clear();
    slot.Text.append(Text);
  }
  slot.Position = Position;
  ++count_;
}

void CFormatParser::ReportedPush(FormatTokenKind TokenType, std::string_view Text,
                                 int32_t Position) {
  Reported({kPrivate, kParser, ":Push Ln ", kQuiet}, [&](Line& at) {
    at(1);
    if (capacity_ < count_) ResizeArray();
    at(2);
    FormatToken& slot = tokens_[count_];
    slot.TokenType = TokenType;
    slot.Text.clear();
    slot.Text.append(Text);
    slot.Position = Position;
    at(3);
    ++count_;
  });
}

FormatToken CFormatParser::Pop() {
  if (count_ < 1) return ReportedPop();
  --count_;
  FormatToken& slot = tokens_[count_];
  FormatToken token{slot.TokenType, std::move(slot.Text), slot.Position};
  slot.TokenType = Kind::kNone;
  slot.Text.clear();
  return token;
}

FormatToken CFormatParser::ReportedPop() {
  return Reported({kPrivate, kParser, ":Pop Ln ", kQuiet}, [&](Line& at) -> FormatToken {
    at(1);
    if (count_ < 1) Raise(9);
    return Pop();
  });
}

// Where one scan stands: the 1-based position i of the character c being read
// and the index v of the expression's last variable.
struct CFormatParser::Scan {
  std::string_view text;
  int32_t length;
  int32_t i;
  int32_t v;
  int c;
  Line& at;

  // The character at 1-based position p, or -1 past the end.
  int CharAt(int32_t p) const {
    if (p < 1 || p > length || static_cast<size_t>(p) > text.size()) return -1;
    return static_cast<unsigned char>(text[p - 1]);
  }

  // The first position after i whose character is in `stops`, or the end + 1.
  int32_t RunEnd(const CharSet& stops) const {
    const int32_t last = std::min<int32_t>(length, static_cast<int32_t>(text.size()));
    int32_t j = i + 1;
    while (j <= last && !stops.Has(text[j - 1])) ++j;
    return j;
  }
};

FormatTokenKind CFormatParser::Top() const {
  return count_ > 0 ? tokens_[count_ - 1].TokenType : Kind::kNone;
}

// "{" opens an expression, or follows its first brace.
bool CFormatParser::OpenBrace(Scan& scan) {
  switch (Top()) {
    case Kind::kScanStart:
      Push(Kind::kFirstOpenBrace, "{", scan.i);
      return true;
    case Kind::kFirstOpenBrace:
      Push(Kind::kSecondOpenBrace, "{", -1);
      return StartFormat(scan);
    default:
      return Other(scan);
  }
}

// After "{{" only spaces may come before the repeat mark or the opening quote.
bool CFormatParser::StartFormat(Scan& scan) {
  while (++scan.i <= scan.length) {
    const int d = scan.CharAt(scan.i);
    if (d == 'N') {
      Push(Kind::kRepeatMark, "N", -1);
      return true;
    }
    if (d == '"') {
      Push(Kind::kOpeningQuote, "\"", -1);
      Push(Kind::kFormatText, "", -1);
      return true;
    }
    if (d != ' ') {
      scan.c = d;
      return false;
    }
  }
  return true;
}

// ":" after the repeat mark; the first character after it that is not a space
// decides between a repeat count (a digit) and a loop object.
bool CFormatParser::Colon(Scan& scan) {
  if (Top() != Kind::kRepeatMark) return Other(scan);
  Push(Kind::kRepeatColon, ":", -1);
  int32_t j = scan.i + 1;
  while (j <= scan.length && scan.CharAt(j) == ' ') ++j;
  if (j <= scan.length)
    Push(IsDigit(scan.CharAt(j)) ? Kind::kRepeatCount : Kind::kLoopObject, "", -1);
  return true;
}

// A double quote opens the format text after a repeat, or closes it.
bool CFormatParser::Quote(Scan& scan) {
  switch (Top()) {
    case Kind::kLoopObject:
    case Kind::kRepeatCount:
      Push(Kind::kOpeningQuote, "\"", -1);
      Push(Kind::kFormatText, "", -1);
      return true;
    case Kind::kFormatText:
      Push(Kind::kClosingQuote, "\"", -1);
      return true;
    default:
      return Other(scan);
  }
}

// "," starts the next variable name.
bool CFormatParser::Comma(Scan& scan) {
  const Kind top = Top();
  if (top != Kind::kClosingQuote && top != Kind::kVariableName) return Other(scan);
  Push(Kind::kComma, ",", -1);
  ++scan.v;
  Push(Kind::kVariableName, "", scan.v);
  return true;
}

// "}" closes a named expression; anywhere else it is a syntax error.
bool CFormatParser::CloseBrace(Scan& scan) {
  const Kind top = Top();
  if (top == Kind::kVariableName && !tokens_[count_ - 1].Text.empty()) {
    Push(Kind::kFirstCloseBrace, "}", -1);
    return true;
  }
  if (top == Kind::kFirstCloseBrace) {
    Push(Kind::kSecondCloseBrace, "}", scan.i);
    Push(Kind::kExpressionEnd, "^", -1);
    return true;
  }
  return false;
}

// Every character without a rule of its own: collected into the token on top,
// or ignored. A run of such characters is taken at once.
bool CFormatParser::Other(Scan& scan) {
  static constexpr CharSet kFormatStops("\"}/");
  static constexpr CharSet kNameStops(",} ");
  static constexpr CharSet kLoopObjectStops("\"} ");
  static constexpr CharSet kOutsideStops("{}");
  static constexpr CharSet kBetweenBracesStops("{}");
  static constexpr CharSet kAfterRepeatMarkStops(":}");
  static constexpr CharSet kAfterFormatStops(",}");
  static constexpr CharSet kBetweenClosingStops("}");

  // Appends the run that starts at the current character and moves onto its end.
  auto collect = [&](const CharSet& stops) {
    const int32_t end = scan.RunEnd(stops);
    tokens_[count_ - 1].Text.append(scan.text.substr(scan.i - 1, end - scan.i));
    scan.i = end - 1;
  };
  auto ignore = [&](const CharSet& stops) { scan.i = scan.RunEnd(stops) - 1; };

  switch (Top()) {
    case Kind::kFormatText:
      if (scan.c == '/') {
        scan.c = scan.CharAt(++scan.i);
        if (scan.c >= 0) tokens_[count_ - 1].Text.push_back(static_cast<char>(scan.c));
      } else {
        collect(kFormatStops);
      }
      return true;
    case Kind::kVariableName:
      if (scan.c != ' ') collect(kNameStops);
      return true;
    case Kind::kLoopObject:
      if (scan.c != ' ') collect(kLoopObjectStops);
      return true;
    case Kind::kRepeatCount:
      if (scan.c == ' ') return true;
      if (!IsDigit(scan.c)) return false;
      tokens_[count_ - 1].Text.push_back(static_cast<char>(scan.c));
      return true;
    case Kind::kScanStart:
      ignore(kOutsideStops);
      return true;
    case Kind::kFirstOpenBrace:
      ignore(kBetweenBracesStops);
      return true;
    case Kind::kRepeatMark:
      ignore(kAfterRepeatMarkStops);
      return true;
    case Kind::kClosingQuote:
      ignore(kAfterFormatStops);
      return true;
    case Kind::kFirstCloseBrace:
      ignore(kBetweenClosingStops);
      return true;
    default:
      return true;
  }
}

// A syntax error drops the expression: the stack goes back to the scan's
// start, then the scan moves on past the next "{", which is therefore not read
// as a brace.
void CFormatParser::Recover(Scan& scan) {
  scan.at(3);
  FormatSyntaxError dropped{0, scan.i, Top(),
                            scan.c >= 0 ? std::string(1, static_cast<char>(scan.c)) : ""};
  while (count_ > 0) {
    FormatToken token = Pop();
    if (token.TokenType == Kind::kFirstOpenBrace) dropped.expression_start = token.Position;
    if (token.TokenType == Kind::kScanStart) break;
  }
  scan.at(4);
  Push(Kind::kScanStart, "$", -1);
  scan.v = -1;
  scan.at(5);
  do {
    ++scan.i;
  } while (scan.i < scan.length && scan.CharAt(scan.i) != '{');
  if (observer_) {
    if (scan.CharAt(scan.i) == '{') dropped.skipped_brace = scan.i;
    observer_->SyntaxError(dropped);
  }
}

int32_t CFormatParser::GetNextToken(std::string_view Template, int32_t Length, int32_t Start) {
  return Reported({kPrivate, kParser, ":GetNextToken Ln ", kQuiet}, [&](Line& at) {
    Scan scan{Template, Length, Start, -1, 0, at};
    for (;;) {
      at(1);
      if (scan.i > Length || Top() == Kind::kExpressionEnd) break;
      at(2);
      scan.c = scan.CharAt(scan.i);
      bool well_formed;
      switch (scan.c) {
        case '{':
          well_formed = OpenBrace(scan);
          break;
        case ':':
          well_formed = Colon(scan);
          break;
        case '"':
          well_formed = Quote(scan);
          break;
        case ',':
          well_formed = Comma(scan);
          break;
        case '}':
          well_formed = CloseBrace(scan);
          break;
        default:
          well_formed = Other(scan);
          break;
      }
      if (!well_formed) Recover(scan);
      ++scan.i;
    }
    return scan.i;
  });
}

void CFormatParser::Build(std::string_view Template, int32_t base, int32_t top,
                          FormatExpressions& into) {
  CFormatExpression* current = nullptr;
  auto need = [&]() -> CFormatExpression& {
    if (!current) Raise(91);
    return *current;
  };
  int32_t e = 0;
  try {
    for (int32_t t = top; t-- > base;) {
      FormatToken& token = tokens_[t];
      switch (token.TokenType) {
        case Kind::kExpressionEnd: {
          current = &into.emplace_back();
          e = 0;
          break;
        }
        case Kind::kSecondCloseBrace:
          e = token.Position;
          break;
        case Kind::kVariableName: {
          // The last name comes first; its index is the number of the others.
          if (current && current->Variables().Count() == 0 && token.Position < top - base)
            current->Variables().Reserve(static_cast<size_t>(token.Position) + 1);
          CVariable variable;
          variable.SetName(std::move(token.Text));
          variable.SetPosition(token.Position);
          need().Variables().Add(std::move(variable));
          break;
        }
        case Kind::kFormatText:
          need().SetFormatString(std::move(token.Text));
          break;
        case Kind::kRepeatCount: {
          int32_t count = RepeatCount(token.Text);
          need().SetLoopCount(count == 0 ? 1 : count);
          break;
        }
        case Kind::kLoopObject:
          need().SetLoopObject(std::move(token.Text));
          break;
        case Kind::kRepeatMark:
          need().SetRepeat(true);
          break;
        case Kind::kFirstOpenBrace: {
          CFormatExpression& expression = need();
          if (e < token.Position) Raise(5);
          expression.SetTemplateString(
              std::string(Template.substr(token.Position - 1, e - token.Position + 1)));
          break;
        }
        default:
          break;
      }
    }
  } catch (...) {
    if (current) into.pop_back();
    throw;
  }
}

std::optional<FormatExpressions> CFormatParser::Parse(std::string_view Template) {
  return Reported(
      {kPrivate, kParser, ":Parse Ln ", kQuiet}, [&](Line& at) -> std::optional<FormatExpressions> {
        at(1);
        ResizeArray();
        count_ = 0;
        at(2);
        if (Template.size() > static_cast<size_t>(INT32_MAX) - 2) Raise(6);
        const int32_t n = static_cast<int32_t>(Template.size());
        int32_t i = 1;
        FormatExpressions result;
        // Each expression ends with two "}" of its own.
        result.reserve(std::min<size_t>(std::count(Template.begin(), Template.end(), '}') / 2,
                                        Template.size() / 64));
        // Expressions are built from the last scan back to the first, and the
        // first failure stops the build. Without an observer, which sees the
        // whole stack, each scan is built as soon as it ends and its tokens are
        // dropped; the failure of the latest scan is the one raised.
        std::exception_ptr failure;
        while (i < n) {
          Push(Kind::kScanStart, "$", -1);
          i = GetNextToken(Template, n, i);
          if (observer_) continue;
          try {
            Build(Template, 0, count_, result);
          } catch (...) {
            failure = std::current_exception();
          }
          count_ = 0;
        }
        if (observer_) {
          observer_->Scanned(std::span<const FormatToken>(tokens_.data(), count_), i);
        }
        at(3);
        at(4);
        if (failure) std::rethrow_exception(failure);
        if (observer_) {
          for (int32_t top = count_; top > 0;) {
            int32_t base = top - 1;
            while (base > 0 && tokens_[base].TokenType != Kind::kScanStart) --base;
            Build(Template, base, top, result);
            top = base;
          }
          count_ = 0;
        } else {
          std::reverse(result.begin(), result.end());
        }
        // A "{" that no "}" follows leaves an expression open even where the scan
        // never reached it (a one-character template, a brace after the last
        // complete expression, or one passed over by error recovery).
        size_t last_open = Template.rfind('{');
        size_t last_close = Template.rfind('}');
        if (last_open != std::string_view::npos &&
            (last_close == std::string_view::npos || last_open > last_close))
          Raise(91);
        at(5);
        if (result.empty()) return std::nullopt;
        return result;
      });
}

namespace {

// Replaces each expression's source over the whole text in turn, with
// `renders[i]` for the expressions already rendered and rendering the others
// on the way. Each step scans the text once and counts the text it gives, less
// the rendering it puts in, which counted when it was rendered.
std::string ReplaceInTurn(std::string_view text, const FormatExpressions& expressions,
                          std::vector<std::string>& renders, size_t steps) {
  std::string result(text);
  for (size_t i = 0; i < steps; ++i) {
    std::string rendered = i < renders.size() ? std::move(renders[i]) : expressions[i].ToString();
    ReplaceAll(result, expressions[i].TemplateString(), rendered, rendered.size());
  }
  return result;
}

}  // namespace

std::string CFormatParser::ToString(std::string_view Template,
                                    const FormatExpressions& Expressions) {
  return Reported({kPrivate, kParser, ":ToString Ln ", kQuiet}, [&](Line& at) {
    at(1);
    RenderBudget budget;
    const size_t limit = TemplateOutputLimit();
    if (Template.size() > limit) RaiseOutputLimit(limit);
    at(2);
    std::vector<std::string> renders;
    const TemplateSubstitution plan(Template, Expressions);
    if (plan.Usable()) {
      renders.reserve(Expressions.size());
      for (const CFormatExpression& expression : Expressions) {
        try {
          renders.push_back(expression.ToString());
        } catch (...) {
          // The replacements before the failing expression come first.
          ReplaceInTurn(Template, Expressions, renders, renders.size());
          throw;
        }
      }
      if (std::optional<std::string> result = plan.Render(renders)) return *result;
    }
    std::string result = ReplaceInTurn(Template, Expressions, renders, Expressions.size());
    at(3);
    return result;
  });
}

}  // namespace corvane
