#include "templates/template_substitution.h"

#include <algorithm>

namespace corvane {

namespace {

// Texts are compared through a polynomial hash first, then byte by byte, so a
// collision costs a comparison and never a wrong answer. A text's hash is the
// sum of its bytes times kBase to the power of their offset.
constexpr uint64_t kBase = 1000003;

uint64_t Key(uint64_t hash, size_t length) {
  return hash ^ (static_cast<uint64_t>(length) * 0x9E3779B97F4A7C15ull);
}

}  // namespace

void TemplateSubstitution::Index::Reserve(size_t count) {
  size_t size = 16;
  while (size < count * 2) size *= 2;
  slots_.assign(size, 0);
  mask_ = size - 1;
}

void TemplateSubstitution::Index::Link(uint32_t e) {
  size_t slot = (entries_[e].key * 0x9E3779B97F4A7C15ull) >> 20 & mask_;
  while (slots_[slot] && entries_[slots_[slot] - 1].key != entries_[e].key)
    slot = (slot + 1) & mask_;
  entries_[e].next = slots_[slot];
  slots_[slot] = e + 1;
}

void TemplateSubstitution::Index::Insert(uint64_t key, uint32_t source) {
  entries_.push_back({key, source, 0});
  Link(static_cast<uint32_t>(entries_.size() - 1));
}

void TemplateSubstitution::Index::Build() {
  Reserve(entries_.size());
  for (uint32_t e = 0; e < entries_.size(); ++e) Link(e);
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
  source_of_.reserve(expressions.size());
  by_text_.Reserve(expressions.size());
  std::vector<uint64_t> prefixes;  // keys of the source's text up to each inner "}"
  for (size_t i = 0; i < expressions.size(); ++i) {
    std::string_view source = expressions[i].TemplateString();
    // One pass hashes the source and its text up to each "}".
    uint64_t h = 0, power = 1;
    size_t closing = 0;
    prefixes.clear();
    for (size_t u = 0; u < source.size(); ++u) {
      h += static_cast<unsigned char>(source[u]) * power;
      power *= kBase;
      if (source[u] != '}') continue;
      ++closing;
      if (u + 1 < source.size()) prefixes.push_back(Key(h, u + 1));
    }
    const uint64_t key = Key(h, source.size());
    uint32_t id = static_cast<uint32_t>(sources_.size());
    by_text_.Any(key, [&](uint32_t known) {
      if (sources_[known] != source) return false;
      id = known;
      return true;
    });
    source_of_.push_back(id);
    if (id != sources_.size()) continue;
    sources_.push_back(source);
    first_expression_.push_back(i);
    // The parser's sources run from a "{" to a "}"; a caller may have set others.
    if (source.size() < 2 || source.front() != '{' || source.back() != '}' ||
        closing > kMostClosingBraces) {
      usable_ = false;
      return;
    }
    closing_counts_ |= 1u << closing;
    most_closing_ = std::max(most_closing_, closing);
    by_text_.Insert(key, id);
    for (uint64_t prefix : prefixes) by_start_.Add(prefix, id);
    longest_ = std::max(longest_, source.size());
  }
  by_start_.Build();
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

// True when a source's text from an inner "{" begins another source (up to
// one of its inner "}"): a replacement next to either could then complete the
// other across the boundary. (The same pairs are those where a source's text
// up to an inner "}" ends another from one of its inner "{".)
bool TemplateSubstitution::SourcesCanJoin() const {
  for (std::string_view source : sources_) {
    uint64_t h = 0;
    for (size_t t = source.size(); t-- > 1;) {
      h = static_cast<unsigned char>(source[t]) + kBase * h;
      if (source[t] != '{') continue;
      std::string_view part = source.substr(t);
      if (by_start_.Any(Key(h, part.size()),
                        [&](uint32_t id) { return sources_[id].starts_with(part); }))
        return true;
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

  // A source formed in the result must take in part of a rendering. Where no
  // rendering holds a "{", the source's "{" stands in the template's text less
  // than a source's length before a rendering; where no "{" stands there
  // either, the result needs no scan.
  std::vector<int8_t> braced(sources_.size(), -1);
  bool near = false;
  size_t last_open = std::string::npos;  // in `out`
  std::string out;
  out.reserve(size);
  size_t from = 0;
  for (const Occurrence& o : occurrences_) {
    const std::string_view kept = text_.substr(from, o.at - from);
    if (size_t open = kept.rfind('{'); open != std::string_view::npos)
      last_open = out.size() + open;
    out.append(kept);
    if (last_open != std::string::npos && out.size() - last_open < longest_) near = true;
    const std::string& rendered = rendering(o.source);
    int8_t& has_brace = braced[o.source];
    if (has_brace < 0) has_brace = rendered.find('{') != std::string::npos;
    near = near || has_brace;
    out.append(rendered);
    from = o.at + sources_[o.source].size();
  }
  out.append(text_, from);
  if (!near) return out;

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
