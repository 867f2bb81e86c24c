#include "decision_report.h"

#include <cstdio>
#include <string_view>

#include "class_descriptions.h"

namespace corvane::cli {
namespace {

// The letters the decision tables of the class reference write the figures as.
struct FigureSymbol {
  std::string_view name, symbol;
};
constexpr FigureSymbol kSymbols[] = {
    {"requests", "N"},      {"answers", "C"},       {"approvals", "A"},
    {"min responses", "T"}, {"min approvals", "M"}, {"tasks", "Tasks.Count"},
};

Json Symbol(std::string_view figure) {
  for (const FigureSymbol& s : kSymbols)
    if (s.name == figure) return std::string(s.symbol);
  return nullptr;
}

// A figure as a designer reads it: numbers as numbers (2, not 2.0), texts
// without quotes, dates in the report's one format.
std::string FigureText(const Json& value) {
  const std::string type = value["type"].get<std::string>();
  if (type == "Null") return "not read";
  if (type == "Date") return value["iso"].get<std::string>();
  if (type == "String") return value["value"].get<std::string>();
  if (type == "Double") {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value["value"].get<double>());
    return text;
  }
  return value["text"].get<std::string>();
}

}  // namespace

Json DecisionJson(const Decision& decision) {
  Json out = {{"class", decision.class_name},
              {"method", decision.method},
              {"row", decision.row == 0 ? Json(nullptr) : Json(decision.row)},
              {"condition", nullptr},
              {"outcome", decision.outcome},
              {"result", decision.result}};
  const ClassDescription* reference = FindDescription(decision.class_name);
  if (reference && decision.row >= 1 &&
      static_cast<size_t>(decision.row) <= reference->decision.size())
    out["condition"] = reference->decision[decision.row - 1].condition;
  Json figures = Json::array();
  for (const DecisionFigure& f : decision.figures)
    figures.push_back(
        {{"name", f.name}, {"symbol", Symbol(f.name)}, {"value", VariantJson(f.value)}});
  out["figures"] = std::move(figures);
  return out;
}

std::string DecisionText(const Json& decision) {
  if (decision.is_null()) return {};
  std::string out = "   Decision: " + decision["outcome"].get<std::string>() + " (returns " +
                    std::to_string(decision["result"].get<int32_t>()) + ")\n";
  if (!decision["row"].is_null()) {
    out += "      row " + std::to_string(decision["row"].get<int>()) + " of " +
           decision["class"].get<std::string>() + "'s decision table";
    if (decision["condition"].is_string()) out += ": " + decision["condition"].get<std::string>();
    out += "\n";
  }
  for (const Json& f : decision["figures"]) {
    std::string name = f["name"].get<std::string>();
    if (f["symbol"].is_string()) name += " (" + f["symbol"].get<std::string>() + ")";
    out += "      " + name + " = " + FigureText(f["value"]) + "\n";
  }
  return out;
}

}  // namespace corvane::cli
