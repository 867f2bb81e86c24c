#include "values.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "simulator.h"

namespace corvane::cli {
namespace {

using pelmark::Variant;
using pelmark::VarType;

// Days from 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y += m <= 2;
}

// 30 December 1899 counted from 1970-01-01.
const int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

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
  int64_t y2 = 0;
  unsigned m2 = 0, d2 = 0;
  const int64_t day = DaysFromCivil(y, mo, d);
  CivilFromDays(day, y2, m2, d2);
  if (m2 != static_cast<unsigned>(mo)) return std::nullopt;  // 31 April and its like
  // Before 30 December 1899 the day counts back and the time of day forward
  // from it, so 29 December 1899 06:00 is -1.25.
  const double days = static_cast<double>(day - kEpochOffset);
  const double time = (h * 3600 + mi * 60 + s) / 86400.0;
  return days < 0 ? days - time : days + time;
}

bool IsDateInRange(double days) { return days >= -657434.0 && days < 2958466.0; }

std::string IsoDate(double days) {
  if (!IsDateInRange(days)) return "(out of range)";
  double whole = std::trunc(days);  // -1.25 is day -1 at 06:00
  int64_t seconds = std::llround(std::fabs(days - whole) * 86400.0);
  if (seconds >= 86400) {
    whole += 1;
    seconds -= 86400;
  }
  int64_t y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(static_cast<int64_t>(whole) + kEpochOffset, y, m, d);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02d", static_cast<long long>(y), m, d,
                static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60));
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
    iso[10] = ' ';
    return "#" + iso + "#";
  }
  return sim::FormatVariant(v);
}

Json VariantJson(const Variant& v) {
  Json out = Json::object();
  out["type"] = VariantTypeName(v);
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
      out["value"] = nullptr;
      break;
    case VarType::Long:
      out["value"] = v.long_value();
      break;
    case VarType::Double:
      out["value"] = v.double_value();
      break;
    case VarType::Date:
      out["value"] = v.date_value();
      out["iso"] = IsoDate(v.date_value());
      break;
    case VarType::String:
      out["value"] = v.string_value();
      break;
    case VarType::Boolean:
      out["value"] = v.bool_value();
      break;
    case VarType::Object:
      out["value"] = v.object_value() ? "Object" : "Nothing";
      break;
  }
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
