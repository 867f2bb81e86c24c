// Variant values in scenario files and reports. A scenario writes a value as
// plain JSON (text, number, true/false, null) or, to choose its kind, as a
// one-key object: {"empty": true}, {"null": true}, {"long": 5}, {"double": 42},
// {"date": "2025-03-14T09:30:00"}, {"string": "42"}, {"boolean": true}. A
// report writes every value as {"type", "value", "text"} (dates also "iso").
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "pelmark/variant.h"

namespace corvane::cli {

using Json = nlohmann::ordered_json;

// A scenario that cannot be read: the place (a dotted path such as
// "tasks[0].variables.VALUE", or "line 3, column 7") and what is wrong there.
class ScenarioError : public std::runtime_error {
 public:
  ScenarioError(std::string place, const std::string& message)
      : std::runtime_error(message), place_(std::move(place)), message_(message) {}
  const std::string& place() const { return place_; }
  // The whole message; what() ends at a NUL the message may quote.
  const std::string& message() const { return message_; }

 private:
  std::string place_;
  std::string message_;
};

// Days since 30 December 1899 from "yyyy-mm-dd", "yyyy-mm-ddThh:mm[:ss]" or
// "yyyy-mm-dd hh:mm[:ss]"; nullopt for any other text.
std::optional<double> ParseIsoDate(std::string_view text);
// "yyyy-mm-ddThh:mm:ss", rounded to the second.
std::string IsoDate(double days);
// True for a day number a Date can hold (1 January 100 to 31 December 9999).
bool IsDateInRange(double days);

// A scenario value; throws ScenarioError naming `place` when `json` is none.
pelmark::Variant ParseVariant(const Json& json, const std::string& place);
// True when `json` is a one-key typed value object.
bool IsTypedValue(const Json& json);

// A value as a report writes it.
Json VariantJson(const pelmark::Variant& v);
// True when `json` is a value a report wrote.
bool IsReportedVariant(const Json& json);
// The value back from its report form (objects come back as Nothing).
pelmark::Variant ReportedVariant(const Json& json);
// Readable text: 42, 42.0, "text", True, Null, Empty, #2025-03-14 09:30:00#.
std::string VariantText(const pelmark::Variant& v);
std::string VariantTypeName(const pelmark::Variant& v);
// Same kind and value; Doubles and Dates within a millionth (of a day).
bool SameVariant(const pelmark::Variant& a, const pelmark::Variant& b);

}  // namespace corvane::cli
