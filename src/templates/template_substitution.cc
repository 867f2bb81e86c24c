#include "templates/template_substitution.h"

#include <algorithm>

namespace corvane {

namespace {

// Texts are compared through a polynomial hash first, then byte by byte, so a
// collision costs a comparison and never a wrong answer.
constexpr uint64_t kBase = 1000003;

uint64_t Key(uint64_t hash, size_t length) {
  return hash ^ (static_cast<uint64_t>(length) * 0x9E3779B97F4A7C15ull);
}

uint64_t HashOf(std::string_view text) {
  uint64_t h = 0;
  for (size_t i = text.size(); i-- > 0;) h = static_cast<unsigned char>(text[i]) + kBase * h;
  return h;
}

bool IsBrace(char c) { return c == '{' || c == '}'; }

}  // namespace

TemplateSubstitution::TemplateSubstitution(std::string_view text,
                                           const FormatExpressions& expressions)
    : text_(text) {
  std::unordered_map<std::string_view, uint32_t> ids;
  source_of_.reserve(expressions.size());
  for (size_t i = 0; i < expressions.size(); ++i) {
    std::string_view source = expressions[i].TemplateString();
    auto [it, fresh] = ids.emplace(source, static_cast<uint32_t>(sources_.size()));
    if (fresh) {
      sources_.push_back(source);
      first_expression_.push_back(i);
    }
    source_of_.push_back(it->second);
  }
  for (uint32_t id = 0; id < sources_.size(); ++id) {
    std::string_view source = sources_[id];
    // The parser's sources run from a "{" to a "}"; a caller may have set others.
    if (source.size() < 2 || source.front() != '{' || source.back() != '}') {
      usable_ = false;
      return;
    }
    std::string_view head = source.substr(0, source.find('}') + 1);
    std::string_view tail = source.substr(source.rfind('{'));
    by_head_.emplace(Key(HashOf(head), head.size()), id);
    by_tail_.emplace(Key(HashOf(tail), tail.size()), id);
    longest_ = std::max(longest_, source.size());
  }
  FindOccurrences();
  if (usable_) usable_ = !SourcesCanJoin();
}

// Every occurrence of every source, found from the "{" it starts with: the text
// from there to the next "}" must be a source's head.
void TemplateSubstitution::FindOccurrences() {
  count_.assign(sources_.size(), 0);
  uint64_t h = 0;  // hash of the text from p to the next "}"
  size_t length = 0;
  bool closed = false;
  for (size_t p = text_.size(); p-- > 0;) {
    const char c = text_[p];
    if (c == '}') {
      h = static_cast<unsigned char>(c);
      length = 1;
      closed = true;
    } else if (closed) {
      h = static_cast<unsigned char>(c) + kBase * h;
      ++length;
    }
    if (c != '{' || !closed || length > longest_) continue;
    auto [first, last] = by_head_.equal_range(Key(h, length));
    for (auto it = first; it != last; ++it) {
      std::string_view source = sources_[it->second];
      if (text_.substr(p, source.size()) == source) {
        occurrences_.push_back({p, it->second});
        ++count_[it->second];
      }
    }
  }
  std::reverse(occurrences_.begin(), occurrences_.end());
  for (size_t k = 1; k < occurrences_.size(); ++k) {
    const Occurrence& before = occurrences_[k - 1];
    if (occurrences_[k].at < before.at + sources_[before.source].size()) usable_ = false;
  }
  // Every source the parser produced stands in the template at least once.
  for (size_t n : count_) usable_ = usable_ && n > 0;
}

// True when a source's text from an inner "{" begins another source, or its
// text up to an inner "}" ends another source: a replacement next to it could
// then complete that other source across the boundary.
bool TemplateSubstitution::SourcesCanJoin() const {
  for (std::string_view source : sources_) {
    uint64_t h = 0;
    size_t length = 0;
    bool closed = false;
    for (size_t p = source.size(); p-- > 1;) {
      const char c = source[p];
      if (c == '}') {
        h = static_cast<unsigned char>(c);
        length = 1;
        closed = true;
      } else if (closed) {
        h = static_cast<unsigned char>(c) + kBase * h;
        ++length;
      }
      if (c != '{' || !closed || length > longest_) continue;
      std::string_view rest = source.substr(p);
      auto [first, last] = by_head_.equal_range(Key(h, length));
      for (auto it = first; it != last; ++it) {
        std::string_view other = sources_[it->second];
        if (other.size() > rest.size() && other.starts_with(rest)) return true;
      }
    }
    uint64_t g = 0, power = 1;  // hash of the text from the last "{" to u
    length = 0;
    for (size_t u = 0; u + 1 < source.size(); ++u) {
      const char c = source[u];
      if (c == '{') {
        g = 0;
        power = 1;
        length = 0;
      }
      g += static_cast<unsigned char>(c) * power;
      power *= kBase;
      ++length;
      if (c != '}' || length > longest_) continue;
      std::string_view start = source.substr(0, u + 1);
      auto [first, last] = by_tail_.equal_range(Key(g, length));
      for (auto it = first; it != last; ++it) {
        std::string_view other = sources_[it->second];
        if (other.size() > start.size() && other.ends_with(start)) return true;
      }
    }
  }
  return false;
}

std::optional<std::string> TemplateSubstitution::Render(const std::vector<std::string>& renders,
                                                        size_t limit) const {
  auto rendering = [&](uint32_t id) -> const std::string& {
    return renders[first_expression_[id]];
  };
  // A rendering with a brace could start or end another source.
  for (uint32_t id = 0; id < sources_.size(); ++id) {
    const std::string& r = rendering(id);
    if (std::any_of(r.begin(), r.end(), IsBrace)) return std::nullopt;
  }
  // The text's length after each replacement in turn; the step that passes the
  // limit is the step-by-step replacement's to report.
  size_t size = text_.size();
  for (size_t i = 0; i < source_of_.size(); ++i) {
    const uint32_t id = source_of_[i];
    if (first_expression_[id] != i) continue;
    size = size - count_[id] * sources_[id].size() + count_[id] * rendering(id).size();
    if (size > limit) return std::nullopt;
  }

  std::string out;
  out.reserve(size);
  std::vector<std::pair<size_t, size_t>> inserted;  // [begin, end) of each rendering in `out`
  std::vector<size_t> opens, closes;                // braces of the template text kept in `out`
  auto keep = [&](size_t from, size_t to) {
    for (size_t q = from; q < to; ++q) {
      if (text_[q] == '{') opens.push_back(out.size() + q - from);
      if (text_[q] == '}') closes.push_back(out.size() + q - from);
    }
    out.append(text_, from, to - from);
  };
  size_t from = 0;
  for (const Occurrence& o : occurrences_) {
    keep(from, o.at);
    const size_t begin = out.size();
    out.append(rendering(o.source));
    inserted.emplace_back(begin, out.size());
    from = o.at + sources_[o.source].size();
  }
  keep(from, text_.size());

  // A source formed across a rendering would run from a kept "{" before it to a
  // kept "}" after it; none is near enough to fit.
  size_t open = 0, close = 0;
  for (auto [begin, end] : inserted) {
    while (open < opens.size() && opens[open] < begin) ++open;
    while (close < closes.size() && closes[close] < end) ++close;
    if (open > 0 && close < closes.size() && closes[close] - opens[open - 1] < longest_)
      return std::nullopt;
  }
  return out;
}

}  // namespace corvane
