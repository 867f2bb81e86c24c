#include "templates/template_substitution.h"

#include <algorithm>
#include <bit>

#include "templates/text_replace.h"

namespace corvane {

namespace {

// Texts are compared through a polynomial hash first, then byte by byte, so a
// collision costs a comparison and never a wrong answer. A text's hash is the
// sum of its bytes times kBase to the power of their offset.
constexpr uint64_t kBase = 1000003;
constexpr uint64_t kBaseSquared = kBase * kBase;

// The inverse of kBase modulo 2^64 (kBase is odd), by Newton's iteration.
constexpr uint64_t Inverse(uint64_t odd) {
  uint64_t x = odd;
  for (int i = 0; i < 6; ++i) x *= 2 - odd * x;
  return x;
}
constexpr uint64_t kBaseInverse = Inverse(kBase);
static_assert(kBase * kBaseInverse == 1);

uint64_t Key(uint64_t hash, size_t length) {
  return hash ^ (static_cast<uint64_t>(length) * 0x9E3779B97F4A7C15ull);
}

}  // namespace

void TemplateSubstitution::Index::Reserve(size_t count) {
  size_t size = 16;
  while (size < count * 2) size *= 2;
  slots_.assign(size, Slot{});
  mask_ = size - 1;
  // Four filter bits per slot: 1/8 of the table's bytes.
  filter_.assign(size / 16, 0);
  filter_shift_ = 64 - std::countr_zero(size * 4);
}

void TemplateSubstitution::Index::Link(uint32_t e) {
  const uint64_t key = entries_[e].key;
  size_t slot = (key * 0x9E3779B97F4A7C15ull) >> 20 & mask_;
  while (slots_[slot].head && slots_[slot].key != key) slot = (slot + 1) & mask_;
  entries_[e].next = slots_[slot].head;
  slots_[slot] = {key, e + 1};
}

void TemplateSubstitution::Index::Filter(uint64_t key) {
  const uint64_t bit = FilterBit(key);
  filter_[bit / 64] |= uint64_t{1} << (bit % 64);
}

void TemplateSubstitution::Index::Insert(uint64_t key, uint32_t source) {
  entries_.push_back({key, source, 0});
  Filter(key);
  if (entries_.size() - linked_ == kPending) LinkPending();
}

void TemplateSubstitution::Index::LinkPending() {
  // Reading every first slot before linking lets their cache misses overlap;
  // an entry whose first slot is still empty then goes there at once.
  const size_t pending = entries_.size() - linked_;
  size_t home[kPending];
  bool empty[kPending];
  for (size_t i = 0; i < pending; ++i) {
    home[i] = (entries_[linked_ + i].key * 0x9E3779B97F4A7C15ull) >> 20 & mask_;
    empty[i] = slots_[home[i]].head == 0;
  }
  for (size_t i = 0; i < pending; ++i, ++linked_) {
    const uint32_t e = static_cast<uint32_t>(linked_);
    if (empty[i] && slots_[home[i]].head == 0) {
      slots_[home[i]] = {entries_[e].key, e + 1};
    } else {
      Link(e);
    }
  }
}

void TemplateSubstitution::Index::Build() {
  Reserve(entries_.size());
  for (uint32_t e = 0; e < entries_.size(); ++e) {
    Link(e);
    Filter(entries_[e].key);
  }
  linked_ = entries_.size();
}

bool TemplateSubstitution::Index::MayHold(uint64_t key) const {
  if (slots_.empty()) return false;
  const uint64_t bit = FilterBit(key);
  return filter_[bit / 64] >> (bit % 64) & 1;
}

bool TemplateSubstitution::Index::HomeEmpty(uint64_t key) const {
  return slots_[(key * 0x9E3779B97F4A7C15ull) >> 20 & mask_].head == 0;
}

template <class Each>
bool TemplateSubstitution::Index::Any(uint64_t key, Each&& each) const {
  if (!MayHold(key)) return false;
  size_t slot = (key * 0x9E3779B97F4A7C15ull) >> 20 & mask_;
  while (slots_[slot].head && slots_[slot].key != key) slot = (slot + 1) & mask_;
  for (uint32_t e = slots_[slot].head; e; e = entries_[e - 1].next) {
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
  std::vector<Tail> opens;         // the source's inner "{"
  std::vector<Tail> tails;
  for (size_t i = 0; i < expressions.size(); ++i) {
    std::string_view source = expressions[i].TemplateString();
    // One pass hashes the source and its text up to each "}", and notes the
    // hash of its text before each "{".
    uint64_t h = 0, power = 1;
    size_t closing = 0;
    prefixes.clear();
    opens.clear();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(source.data());
    auto brace = [](unsigned char c) { return c == '{' || c == '}'; };
    for (size_t u = 0; u < source.size(); ++u) {
      // Text without braces, two bytes a step where it can.
      while (u + 2 < source.size() && !brace(bytes[u]) && !brace(bytes[u + 1])) {
        h += (bytes[u] + kBase * bytes[u + 1]) * power;
        power *= kBaseSquared;
        u += 2;
      }
      if (source[u] == '{' && u > 0) opens.push_back({0, u, h, 0});
      h += bytes[u] * power;
      power *= kBase;
      if (source[u] != '}') continue;
      ++closing;
      if (u + 1 < source.size()) prefixes.push_back(Key(h, u + 1));
    }
    const uint64_t key = Key(h, source.size());
    uint32_t id = static_cast<uint32_t>(sources_.size());
    if (by_text_.MayHold(key)) by_text_.LinkPending();
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
    for (Tail& open : opens) tails.push_back({id, open.at, open.before, h});
    longest_ = std::max(longest_, source.size());
  }
  by_text_.LinkPending();
  by_start_.Build();
  powers_.resize(longest_ + 1);
  powers_[0] = 1;
  for (size_t n = 1; n <= longest_; ++n) powers_[n] = powers_[n - 1] * kBase;
  FindOccurrences();
  if (usable_) usable_ = !SourcesCanJoin(tails);
}

// Calls found(position, source) for every occurrence of every source in
// `text`, last first, until it returns false. A source with c closing braces
// runs from a "{" to the c-th "}" after it. Going backwards, the scan carries
// the hash of the text from the current position to the end, and the same
// hash after each of the next few "}"; the hash of the text between is their
// difference, the latter scaled by the text's length.
template <class Found>
void TemplateSubstitution::Scan(std::string_view text, Found&& found) const {
  size_t close_at[kMostClosingBraces + 1];       // [k]: the k-th "}" after the position
  uint64_t after_close[kMostClosingBraces + 1];  // [k]: the hash of the text after it
  size_t closes = 0;                             // how many of those exist
  const size_t most = most_closing_;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  auto brace = [](unsigned char c) { return c == '{' || c == '}'; };
  // Candidates are looked up a few at a time: their first probes, which miss
  // the cache when there are many sources, then overlap.
  struct Candidate {
    size_t at;
    uint64_t key;
    bool absent;
  };
  constexpr size_t kBatch = 16;
  Candidate batch[kBatch];
  size_t batched = 0;
  // True when found() asked to stop.
  auto flush = [&] {
    for (size_t b = 0; b < batched; ++b) batch[b].absent = by_text_.HomeEmpty(batch[b].key);
    for (size_t b = 0; b < batched; ++b) {
      if (batch[b].absent) continue;
      const size_t at = batch[b].at;
      if (by_text_.Any(batch[b].key, [&](uint32_t id) {
            std::string_view source = sources_[id];
            return text.substr(at, source.size()) == source && !found(at, id);
          }))
        return true;
    }
    batched = 0;
    return false;
  };
  uint64_t h = 0;
  size_t p = text.size();
  for (;;) {
    // Text without braces, two bytes a step where it can.
    while (p >= 2 && !brace(bytes[p - 1]) && !brace(bytes[p - 2])) {
      h = (bytes[p - 2] + kBase * bytes[p - 1]) + kBaseSquared * h;
      p -= 2;
    }
    if (p == 0) {
      flush();
      return;
    }
    const unsigned char c = bytes[--p];
    if (c == '}') {
      for (size_t k = most; k > 1; --k) {
        close_at[k] = close_at[k - 1];
        after_close[k] = after_close[k - 1];
      }
      close_at[1] = p;
      after_close[1] = h;
      closes = std::min(closes + 1, most);
    }
    h = c + kBase * h;
    if (c != '{') continue;
    for (size_t k = 1; k <= closes; ++k) {
      const size_t length = close_at[k] - p + 1;
      if (length > longest_) break;
      if (!(closing_counts_ & (1u << k))) continue;
      const uint64_t key = Key(h - powers_[length] * after_close[k], length);
      if (!by_text_.MayHold(key)) continue;
      batch[batched++] = {p, key, false};
      if (batched == kBatch && flush()) return;
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
bool TemplateSubstitution::SourcesCanJoin(const std::vector<Tail>& tails) const {
  std::vector<uint64_t> inverse_powers(longest_ + 1, 1);
  for (size_t n = 1; n <= longest_; ++n) inverse_powers[n] = inverse_powers[n - 1] * kBaseInverse;
  for (const Tail& tail : tails) {
    // The hash of the text from the "{" is the whole text's less the part
    // before, divided by kBase to the power of that part's length.
    std::string_view part = sources_[tail.source].substr(tail.at);
    const uint64_t hash = (tail.whole - tail.before) * inverse_powers[tail.at];
    if (by_start_.Any(Key(hash, part.size()),
                      [&](uint32_t id) { return sources_[id].starts_with(part); }))
      return true;
  }
  return false;
}

std::optional<std::string> TemplateSubstitution::Render(
    const std::vector<std::string>& renders) const {
  auto rendering = [&](uint32_t id) -> const std::string& {
    return renders[first_expression_[id]];
  };
  // The result's length, known before it is built: the template's own text
  // and the renderings put in. Each rendering counted when it was rendered, so
  // only its further copies count here.
  size_t kept = text_.size();
  size_t size = 0;
  for (size_t i = 0; i < source_of_.size(); ++i) {
    const uint32_t id = source_of_[i];
    if (first_expression_[id] != i) continue;
    const size_t rendered = rendering(id).size();
    RenderBudget::ChargeCopies(rendered, count_[id] - 1);
    kept -= count_[id] * sources_[id].size();
    size += count_[id] * rendered;
  }
  RenderBudget::Charge(kept);
  size += kept;

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
