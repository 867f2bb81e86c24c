#include "values.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "framework/variant_rules.h"
#include "simulator.h"

namespace corvane::cli {
namespace {

using pelmark::Variant;
using pelmark::VarType;

constexpr const char* kTypedValueHelp =
    "write a value as text, a number, true/false or null, or choose its kind with one of "
    "{\"empty\": true}, {\"null\": true}, {\"long\": 5}, {\"double\": 42}, "
    "{\"date\": \"2025-03-14T09:30:00\"}, {\"string\": \"42\"}, {\"boolean\": true}";

}  // namespace

std::optional<double> ParseIsoDate(std::string_view text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
  std::string t(text);
  if (std::sscanf(t.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &used) != 3 || used != 10)
    return std::nullopt;
  if (t.size() > 10) {
    if (t[10] != 'T' && t[10] != ' ') return std::nullopt;
    int more = 0;
    std::string rest = t.substr(11);
    if (std::sscanf(rest.c_str(), "%2d:%2d:%2d%n", &h, &mi, &s, &more) == 3 &&
        more == static_cast<int>(rest.size())) {
    } else if (s = 0; std::sscanf(rest.c_str(), "%2d:%2d%n", &h, &mi, &more) == 2 &&
                      more == static_cast<int>(rest.size())) {
    } else {
      return std::nullopt;
    }
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return std::nullopt;
  // The library's calendar rolls 31 April over into May; a scenario date must not.
  try {
    const double date = MakeDate(y, mo, d, h, mi, s);
    if (SplitDate(date).month != mo) return std::nullopt;
    return date;
  } catch (const pelmark::Error&) {
    return std::nullopt;  // outside the years 100 to 9999
  }
}

bool IsDateInRange(double days) { return days >= -657434.0 && days < 2958466.0; }

std::string IsoDate(double days) {
  DateParts p;
  try {
    p = SplitDate(days);
  } catch (const pelmark::Error&) {
    return std::to_string(days);  // no calendar date: the raw day count
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return buf;
}

bool IsTypedValue(const Json& json) {
  if (!json.is_object() || json.size() != 1) return false;
  const std::string& key = json.begin().key();
  return key == "empty" || key == "null" || key == "long" || key == "double" || key == "date" ||
         key == "string" || key == "boolean";
}

Variant ParseVariant(const Json& json, const std::string& place) {
  switch (json.type()) {
    case Json::value_t::null:
      return Variant::Null();
    case Json::value_t::boolean:
      return Variant(json.get<bool>());
    case Json::value_t::string:
      return Variant(json.get<std::string>());
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: {
      if (json.is_number_unsigned() && json.get<uint64_t>() > INT32_MAX)
        return Variant(json.get<double>());
      int64_t n = json.get<int64_t>();
      if (n < INT32_MIN || n > INT32_MAX) return Variant(static_cast<double>(n));
      return Variant(static_cast<int32_t>(n));
    }
    case Json::value_t::number_float:
      return Variant(json.get<double>());
    default:
      break;
  }
  if (!IsTypedValue(json))
    throw ScenarioError(place, std::string("not a value: ") + kTypedValueHelp);
  const std::string& kind = json.begin().key();
  const Json& v = json.begin().value();
  const std::string at = place + "." + kind;
  if (kind == "empty") return Variant();
  if (kind == "null") return Variant::Null();
  if (kind == "long") {
    if (!v.is_number_integer() || v.get<int64_t>() < INT32_MIN || v.get<int64_t>() > INT32_MAX)
      throw ScenarioError(
          at, "a Long is a whole number from -2147483648 to 2147483647, not " + v.dump());
    return Variant(static_cast<int32_t>(v.get<int64_t>()));
  }
  if (kind == "double") {
    if (!v.is_number()) throw ScenarioError(at, "a Double is a number, not " + v.dump());
    return Variant(v.get<double>());
  }
  if (kind == "boolean") {
    if (!v.is_boolean()) throw ScenarioError(at, "a Boolean is true or false, not " + v.dump());
    return Variant(v.get<bool>());
  }
  if (kind == "string") {
    if (!v.is_string())
      throw ScenarioError(at, "a String is written in double quotes, not " + v.dump());
    return Variant(v.get<std::string>());
  }
  // date
  if (v.is_number() && IsDateInRange(v.get<double>())) return Variant::Date(v.get<double>());
  if (v.is_string()) {
    std::optional<double> days = ParseIsoDate(v.get<std::string>());
    if (days && IsDateInRange(*days)) return Variant::Date(*days);
  }
  throw ScenarioError(at,
                      "a Date is \"yyyy-mm-dd\" or \"yyyy-mm-ddThh:mm:ss\" (or days since "
                      "30 December 1899 as a number, years 100 to 9999), not " +
                          v.dump());
}

std::string VariantTypeName(const Variant& v) {
  return std::string(pelmark::VarTypeName(v.type()));
}

std::string VariantText(const Variant& v) {
  if (v.type() == VarType::Date) {
    std::string iso = IsoDate(v.date_value());
    if (iso.size() > 10 && iso[10] == 'T') iso[10] = ' ';
    return "#" + iso + "#";
  }
  return sim::FormatVariant(v);
}

namespace {

// The "value" member of a reported value.
Json PlainValue(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
      return nullptr;
    case VarType::Long:
      return v.long_value();
    case VarType::Double:
      return v.double_value();
    case VarType::Date:
      return v.date_value();
    case VarType::String:
      return v.string_value();
    case VarType::Boolean:
      return v.bool_value();
    case VarType::Object:
      return v.object_value() ? "Object" : "Nothing";
  }
  return nullptr;
}

}  // namespace

Json VariantJson(const Variant& v) {
  Json out = Json::object();
  out["type"] = VariantTypeName(v);
  out["value"] = PlainValue(v);
  if (v.type() == VarType::Date) out["iso"] = IsoDate(v.date_value());
  out["text"] = VariantText(v);
  return out;
}

bool IsReportedVariant(const Json& json) {
  return json.is_object() && json.contains("type") && json.contains("text") &&
         json.contains("value");
}

Variant ReportedVariant(const Json& json) {
  const std::string type = json.at("type").get<std::string>();
  const Json& v = json.at("value");
  if (type == "Empty") return Variant();
  if (type == "Null") return Variant::Null();
  if (type == "Long") return Variant(v.get<int32_t>());
  if (type == "Double") return Variant(v.get<double>());
  if (type == "Date") return Variant::Date(v.get<double>());
  if (type == "String") return Variant(v.get<std::string>());
  if (type == "Boolean") return Variant(v.get<bool>());
  return Variant(pelmark::ComPtr<pelmark::IUnknown>());
}

bool SameVariant(const Variant& a, const Variant& b) {
  if (a.type() != b.type()) return false;
  if (a.type() == VarType::Double)
    return std::fabs(a.double_value() - b.double_value()) <=
           1e-12 * std::max(1.0, std::fabs(a.double_value()));
  if (a.type() == VarType::Date) return std::fabs(a.date_value() - b.date_value()) < 1e-6;
  if (a.type() == VarType::Object) return true;
  return a == b;
}

}  // namespace corvane::cli
