// The simulator's journal of calls, kept compactly. A walk over 100,000 items
// makes several calls per item whose operation, target, argument names and most
// argument texts repeat, so each text is stored once and an entry holds only
// small numbers; a Call is rebuilt when someone reads an entry.
//
// Threading: single-threaded, like the simulator that owns it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "simulator.h"

namespace sim::internal {

// Each distinct text once, named by a small number. Numbers stay valid until
// Clear(); 0 is the empty text.
class TextPool {
 public:
  TextPool();
  uint32_t Intern(std::string_view text);
  std::string_view Text(uint32_t id) const { return texts_[id]; }
  void Clear();

 private:
  std::deque<std::string> texts_;  // a deque keeps the views in `ids_` valid
  std::unordered_map<std::string_view, uint32_t> ids_;
};

class CompactJournal {
 public:
  // Appends a call without result or error and returns its index.
  size_t Append(std::string_view op, std::string_view target, const std::vector<Arg>& args);
  void SetResult(size_t index, const Variant& value);
  void SetResultObject(size_t index, std::string_view description);
  void SetError(size_t index, int32_t number, std::string_view source,
                std::string_view description);

  size_t size() const { return entries_.size(); }
  std::string_view Op(size_t index) const { return texts_.Text(entries_[index].op); }
  Call At(size_t index) const;
  void Clear();

 private:
  // A journal value: its kind and either a number or the id of its text.
  // Objects never reach here (the journal holds descriptions, not references),
  // except Nothing, which is an Object kind without a text.
  struct Value {
    pelmark::VarType type = pelmark::VarType::Empty;
    union {
      int32_t long_value;
      double double_value;
      uint32_t text;
      bool bool_value;
    };
    Value() : double_value(0) {}
  };
  struct CompactArg {
    uint32_t name;
    Value value;
  };
  struct Error {
    int32_t number;
    uint32_t source;
    uint32_t description;
  };
  struct Entry {
    uint32_t op;
    uint32_t target;
    uint32_t first_arg;
    uint32_t arg_count;
    uint32_t result_object;  // 0: none
    uint32_t error;          // 0: none, else 1 + index into errors_
    Value result;
  };

  Value Compact(const Variant& value);
  Variant Expand(const Value& value) const;

  TextPool texts_;
  std::vector<Entry> entries_;
  std::vector<CompactArg> args_;
  std::vector<Error> errors_;
};

}  // namespace sim::internal
