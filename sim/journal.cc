#include "journal.h"

#include <limits>
#include <stdexcept>

#include "internal.h"

namespace sim::internal {

using pelmark::VarType;

TextPool::TextPool() { Intern(""); }

uint32_t TextPool::Intern(std::string_view text) {
  if (auto it = ids_.find(text); it != ids_.end()) return it->second;
  if (texts_.size() >= std::numeric_limits<uint32_t>::max())
    throw std::length_error("the simulator's journal holds too many distinct texts");
  const auto id = static_cast<uint32_t>(texts_.size());
  const std::string& stored = texts_.emplace_back(text);
  ids_.emplace(stored, id);
  return id;
}

void TextPool::Clear() {
  ids_ = decltype(ids_)();
  texts_ = decltype(texts_)();
  Intern("");
}

CompactJournal::Value CompactJournal::Compact(const Variant& value) {
  Value out;
  out.type = value.type();
  switch (out.type) {
    case VarType::Long:
      out.long_value = value.long_value();
      break;
    case VarType::Double:
      out.double_value = value.double_value();
      break;
    case VarType::Date:
      out.double_value = value.date_value();
      break;
    case VarType::Boolean:
      out.bool_value = value.bool_value();
      break;
    case VarType::String:
      out.text = texts_.Intern(value.string_value());
      break;
    case VarType::Object:
      if (value.object_value()) {
        // A reference is never kept: the object becomes its description.
        out.type = VarType::String;
        out.text = texts_.Intern(JournalValue(value).string_value());
      }
      break;
    case VarType::Empty:
    case VarType::Null:
      break;
  }
  return out;
}

Variant CompactJournal::Expand(const Value& value) const {
  switch (value.type) {
    case VarType::Empty:
      return Variant();
    case VarType::Null:
      return Variant::Null();
    case VarType::Long:
      return Variant(value.long_value);
    case VarType::Double:
      return Variant(value.double_value);
    case VarType::Date:
      return Variant::Date(value.double_value);
    case VarType::Boolean:
      return Variant(value.bool_value);
    case VarType::String:
      return Variant(std::string(texts_.Text(value.text)));
    case VarType::Object:
      return Nothing();
  }
  return Variant();
}

size_t CompactJournal::Append(std::string_view op, std::string_view target,
                              const std::vector<Arg>& args) {
  Entry entry{};
  entry.op = texts_.Intern(op);
  entry.target = texts_.Intern(target);
  entry.first_arg = static_cast<uint32_t>(args_.size());
  entry.arg_count = static_cast<uint32_t>(args.size());
  for (const Arg& a : args) args_.push_back({texts_.Intern(a.name), Compact(a.value)});
  entries_.push_back(entry);
  return entries_.size() - 1;
}

void CompactJournal::SetResult(size_t index, const Variant& value) {
  entries_[index].result = Compact(value);
}

void CompactJournal::SetResultObject(size_t index, std::string_view description) {
  entries_[index].result_object = texts_.Intern(description);
}

void CompactJournal::SetError(size_t index, int32_t number, std::string_view source,
                              std::string_view description) {
  errors_.push_back({number, texts_.Intern(source), texts_.Intern(description)});
  entries_[index].error = static_cast<uint32_t>(errors_.size());
}

Call CompactJournal::At(size_t index) const {
  const Entry& e = entries_.at(index);
  Call call;
  call.op = texts_.Text(e.op);
  call.target = texts_.Text(e.target);
  call.args.reserve(e.arg_count);
  for (uint32_t i = 0; i < e.arg_count; ++i) {
    const CompactArg& a = args_[e.first_arg + i];
    call.args.push_back({std::string(texts_.Text(a.name)), Expand(a.value)});
  }
  call.result = Expand(e.result);
  call.result_object = texts_.Text(e.result_object);
  if (e.error != 0) {
    const Error& error = errors_[e.error - 1];
    call.error_number = error.number;
    call.error_source = texts_.Text(error.source);
    call.error_description = texts_.Text(error.description);
  }
  return call;
}

void CompactJournal::Clear() {
  // Moving empty containers in gives their memory back; clear() would keep it.
  entries_ = decltype(entries_)();
  args_ = decltype(args_)();
  errors_ = decltype(errors_)();
  texts_.Clear();
}

}  // namespace sim::internal
