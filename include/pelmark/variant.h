// The variant value exchanged with the host and the DMS: empty, null, 32-bit
// integer, double, date, text, Boolean or object reference, tagged with the
// classic Automation type codes. Conversions between kinds live in the library
// (the variant rules), not here: this type only holds a value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "pelmark/com.h"

namespace pelmark {

// The Automation type codes of the kinds a Variant can hold.
enum class VarType : uint16_t {
  Empty = 0,
  Null = 1,
  Long = 3,
  Double = 5,
  Date = 7,
  String = 8,
  Object = 9,
  Boolean = 11,
};

// A date and time as days since 30 December 1899 00:00 (the fraction is the time
// of day, measured from midnight; before day 0 the fraction still counts forward).
struct DateValue {
  double days = 0;
  friend bool operator==(DateValue, DateValue) = default;
};

class Variant {
 public:
  Variant() noexcept = default;  // Empty
  Variant(int32_t v) noexcept : v_(v) {}
  Variant(double v) noexcept : v_(v) {}
  Variant(DateValue v) noexcept : v_(v) {}
  Variant(std::string v) noexcept : v_(std::move(v)) {}
  Variant(std::string_view v) : v_(std::string(v)) {}
  Variant(const char* v) : v_(std::string(v)) {}
  Variant(ComPtr<IUnknown> v) noexcept : v_(std::move(v)) {}
  // Only a real bool makes a Boolean; other integers stay numbers.
  template <class B>
  requires std::is_same_v<B, bool> Variant(B v)
  noexcept : v_(Bool{v}) {}

  static Variant Null() {
    Variant r;
    r.v_ = NullTag{};
    return r;
  }
  static Variant Date(double days) { return Variant(DateValue{days}); }

  VarType type() const noexcept {
    static constexpr VarType kTypes[] = {VarType::Empty,   VarType::Null,  VarType::Long,
                                         VarType::Double,  VarType::Date,  VarType::String,
                                         VarType::Boolean, VarType::Object};
    return kTypes[v_.index()];
  }
  bool is_empty() const noexcept { return type() == VarType::Empty; }
  bool is_null() const noexcept { return type() == VarType::Null; }
  bool is_string() const noexcept { return type() == VarType::String; }
  bool is_object() const noexcept { return type() == VarType::Object; }

  // Raw accessors. REQUIRES: type() is the kind asked for.
  int32_t long_value() const { return std::get<int32_t>(v_); }
  double double_value() const { return std::get<double>(v_); }
  double date_value() const { return std::get<DateValue>(v_).days; }
  const std::string& string_value() const { return std::get<std::string>(v_); }
  bool bool_value() const { return std::get<Bool>(v_).value; }
  const ComPtr<IUnknown>& object_value() const { return std::get<ComPtr<IUnknown>>(v_); }

  // Same kind and same value (objects by identity of the pointer held).
  friend bool operator==(const Variant& a, const Variant& b) { return a.v_ == b.v_; }

 private:
  struct NullTag {
    friend bool operator==(NullTag, NullTag) { return true; }
  };
  struct Bool {
    bool value;
    friend bool operator==(Bool, Bool) = default;
  };
  std::variant<std::monostate, NullTag, int32_t, double, DateValue, std::string, Bool,
               ComPtr<IUnknown>>
      v_;
};

// The name of a type code as Basic's TypeName gives it ("Empty", "Null", "Long",
// "Double", "Date", "String", "Object", "Boolean").
inline std::string_view VarTypeName(VarType t) {
  switch (t) {
    case VarType::Empty:
      return "Empty";
    case VarType::Null:
      return "Null";
    case VarType::Long:
      return "Long";
    case VarType::Double:
      return "Double";
    case VarType::Date:
      return "Date";
    case VarType::String:
      return "String";
    case VarType::Object:
      return "Object";
    case VarType::Boolean:
      return "Boolean";
  }
  return "Unknown";
}

}  // namespace pelmark
