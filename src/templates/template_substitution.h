// Renders a whole template in one pass over its text, where that gives exactly
// the text that replacing each expression's source over the whole template in
// turn gives.
//
// Replacing in turn can differ from one pass only when a rendered text helps
// form another expression's source (a value holding braces or another
// expression's text), or when expression sources overlap in the template. The
// plan finds every occurrence of every expression source once, up front, and
// checks what could make the two differ; where it cannot rule that out, the
// caller replaces in turn.
//
// Threading: a plan reads the template and expressions it was made from; use
// it on one thread while they live.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "templates/format_engine.h"

namespace corvane {

class TemplateSubstitution {
 public:
  TemplateSubstitution(std::string_view text, const FormatExpressions& expressions);

  // False when the sources overlap in the template, when one may grow into
  // another, or when a source is not one the parser could have produced.
  bool Usable() const { return usable_; }

  // The template with every expression replaced in one pass; nullopt when an
  // expression source stands in that text (a rendering formed it, and
  // replacing in turn decides what becomes of it). Counts the text it writes
  // against the rendering budget before writing it (each rendering's first
  // copy counted when it was rendered), and raises 7 when it does not fit.
  // REQUIRES: Usable(); renders[i] is expressions[i].ToString() for every i.
  std::optional<std::string> Render(const std::vector<std::string>& renders) const;

 private:
  // Sources with more "}" than this (escaped in their format text) are
  // replaced in turn.
  static constexpr size_t kMostClosingBraces = 8;

  struct Occurrence {
    size_t at;
    uint32_t source;
  };

  // An inner "{" of a source: its offset, the hash of the text before it and
  // of the whole source.
  struct Tail {
    uint32_t source;
    size_t at;
    uint64_t before;
    uint64_t whole;
  };

  template <class Found>
  void Scan(std::string_view text, Found&& found) const;
  void FindOccurrences();
  bool SourcesCanJoin(const std::vector<Tail>& tails) const;

  std::string_view text_;
  std::vector<std::string_view> sources_;  // distinct TemplateStrings
  std::vector<size_t> first_expression_;   // the expression each source first comes from
  std::vector<size_t> count_;              // occurrences of each source in the template
  std::vector<uint32_t> source_of_;        // the source of each expression
  std::vector<Occurrence> occurrences_;    // in order of position
  // Sources by a key: open addressing over distinct keys, each slot holding a
  // chain of the sources added under its key.
  class Index {
   public:
    // Either Add every entry and then Build, or Reserve room for every entry
    // and Insert each, which can be found at once.
    void Add(uint64_t key, uint32_t source) { entries_.push_back({key, source, 0}); }
    void Build();
    void Reserve(size_t count);
    void Insert(uint64_t key, uint32_t source);
    // Inserted entries are linked into the table a few at a time; Any finds
    // them once this has run. MayHold knows them at once.
    void LinkPending();
    // False when no source was added under `key`; true when one may have been.
    bool MayHold(uint64_t key) const;
    // True when no source was added under `key`, judged by its first slot.
    // REQUIRES: MayHold(key).
    bool HomeEmpty(uint64_t key) const;
    // Calls each(source) for every source added under `key` until it returns true.
    template <class Each>
    bool Any(uint64_t key, Each&& each) const;

   private:
    static constexpr size_t kPending = 16;

    void Link(uint32_t entry);
    void Filter(uint64_t key);

    struct Entry {
      uint64_t key;
      uint32_t source;
      uint32_t next = 0;  // the next entry with this key, + 1; 0 for none
    };
    // A slot holds its key, so that a probe reads one place.
    struct Slot {
      uint64_t key = 0;
      uint32_t head = 0;  // index into entries_ + 1; 0 for empty
    };
    // A key's bit in filter_; a clear bit spares a probe into the table,
    // which for many sources no longer stays in the cache.
    uint64_t FilterBit(uint64_t key) const {
      return (key * 0xC2B2AE3D27D4EB4Full) >> filter_shift_;
    }

    std::vector<Entry> entries_;
    std::vector<Slot> slots_;
    std::vector<uint64_t> filter_;
    int filter_shift_ = 64;
    size_t linked_ = 0;  // entries_ before this are in the table
    size_t mask_ = 0;
  };

  // Sources by the hash of their text and of their text up to each inner "}".
  Index by_text_;
  Index by_start_;
  size_t most_closing_ = 0;      // the most "}" in one source
  uint32_t closing_counts_ = 0;  // bit c: a source has c closing braces
  size_t longest_ = 0;
  std::vector<uint64_t> powers_;  // [n]: the hash's base to the power n, up to longest_
  bool usable_ = true;
};

}  // namespace corvane
