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

}  // namespace

void TemplateSubstitution::Index::Build() {
  size_t size = 16;
  while (size < entries_.size() * 2) size *= 2;
  slots_.assign(size, 0);
  mask_ = size - 1;
  for (uint32_t e = 0; e < entries_.size(); ++e) {
    size_t slot = (entries_[e].key * 0x9E3779B97F4A7C15ull) >> 20 & mask_;
    while (slots_[slot] && entries_[slots_[slot] - 1].key != entries_[e].key)
      slot = (slot + 1) & mask_;
    entries_[e].next = slots_[slot];
    slots_[slot] = e + 1;
  }
}

template <class Each>
bool TemplateSubstitution::Index::Any(uint64_t key, Each&& each) const {
  if (slots_.empty()) return false;
  size_t slot = (key * 0x9E3779B97F4A7C15ull) >> 20 & mask_;
  while (slots_[slot] && entries_[slots_[slot] - 1].key != key) slot = (slot + 1) & mask_;
  for (uint32_t e = slots_[slot]; e; e = entries_[e - 1].next) {
    if (each(entries_[e - 1].source)) return true;
  }
  return false;
}

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
    const size_t closing = std::count(source.begin(), source.end(), '}');
    if (source.size() < 2 || source.front() != '{' || source.back() != '}' ||
        closing > kMostClosingBraces) {
      usable_ = false;
      return;
    }
    closing_counts_ |= 1u << closing;
    most_closing_ = std::max(most_closing_, closing);
    by_text_.Add(Key(HashOf(source), source.size()), id);
    for (size_t u = 0; u + 1 < source.size(); ++u) {
      if (source[u] == '}') by_start_.Add(Key(HashOf(source.substr(0, u + 1)), u + 1), id);
    }
    for (size_t t = 1; t < source.size(); ++t) {
      if (source[t] == '{') by_end_.Add(Key(HashOf(source.substr(t)), source.size() - t), id);
    }
    longest_ = std::max(longest_, source.size());
  }
  by_text_.Build();
  by_start_.Build();
  by_end_.Build();
  FindOccurrences();
  if (usable_) usable_ = !SourcesCanJoin();
}

// Calls found(position, source) for every occurrence of every source in
// `text`, last first, until it returns false. A source with c closing braces
// runs from a "{" to the c-th "}" after it; the hashes of the text from the
// current position to each of the next few "}" are carried along backwards.
template <class Found>
void TemplateSubstitution::Scan(std::string_view text, Found&& found) const {
  uint64_t h[kMostClosingBraces + 1] = {};
  size_t length[kMostClosingBraces + 1] = {};  // 0: no such "}" within reach
  const size_t most = most_closing_;
  for (size_t p = text.size(); p-- > 0;) {
    const char c = text[p];
    const uint64_t byte = static_cast<unsigned char>(c);
    if (c == '}') {
      for (size_t k = most; k > 1; --k) {
        length[k] = length[k - 1] ? length[k - 1] + 1 : 0;
        h[k] = byte + kBase * h[k - 1];
      }
      h[1] = byte;
      length[1] = 1;
    } else {
      for (size_t k = 1; k <= most; ++k) {
        if (!length[k]) continue;
        h[k] = byte + kBase * h[k];
        if (++length[k] > longest_) length[k] = 0;
      }
    }
    if (c != '{') continue;
    for (size_t k = 1; k <= most; ++k) {
      if (!length[k] || !(closing_counts_ & (1u << k))) continue;
      bool stop = by_text_.Any(Key(h[k], length[k]), [&](uint32_t id) {
        std::string_view source = sources_[id];
        return text.substr(p, source.size()) == source && !found(p, id);
      });
      if (stop) return;
    }
  }
}

void TemplateSubstitution::FindOccurrences() {
  count_.assign(sources_.size(), 0);
  Scan(text_, [&](size_t at, uint32_t source) {
    occurrences_.push_back({at, source});
    ++count_[source];
    return true;
  });
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
  auto any = [&](const Index& index, std::string_view part, bool at_start) {
    return index.Any(Key(HashOf(part), part.size()), [&](uint32_t id) {
      std::string_view other = sources_[id];
      return at_start ? other.starts_with(part) : other.ends_with(part);
    });
  };
  for (std::string_view source : sources_) {
    for (size_t t = 1; t < source.size(); ++t) {
      if (source[t] == '{' && any(by_start_, source.substr(t), true)) return true;
    }
    for (size_t u = 0; u + 1 < source.size(); ++u) {
      if (source[u] == '}' && any(by_end_, source.substr(0, u + 1), false)) return true;
    }
  }
  return false;
}

std::optional<std::string> TemplateSubstitution::Render(const std::vector<std::string>& renders,
                                                        size_t limit) const {
  auto rendering = [&](uint32_t id) -> const std::string& {
    return renders[first_expression_[id]];
  };
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
  size_t from = 0;
  for (const Occurrence& o : occurrences_) {
    out.append(text_, from, o.at - from);
    out.append(rendering(o.source));
    from = o.at + sources_[o.source].size();
  }
  out.append(text_, from);

  // The template's own occurrences are all replaced, so a source in the result
  // was formed by a rendering, alone or with the text around it; a later
  // replacement in turn would have replaced it.
  bool formed = false;
  Scan(out, [&](size_t, uint32_t) {
    formed = true;
    return false;
  });
  if (formed) return std::nullopt;
  return out;
}

}  // namespace corvane
