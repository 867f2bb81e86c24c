#include "design/class_reference.h"

#include <stdexcept>

#include "corvane/catalogue.h"

namespace corvane::design {
namespace {

using Json = nlohmann::ordered_json;

std::vector<std::string> NamesOf(const std::vector<VariableDoc>& variables) {
  std::vector<std::string> out;
  for (const VariableDoc& v : variables) out.push_back(v.name);
  return out;
}

Json VariablesJson(const std::vector<VariableDoc>& list) {
  Json out = Json::array();
  for (const VariableDoc& v : list) {
    Json one = {{"name", v.name}, {"type", v.type}, {"meaning", v.meaning}};
    if (!v.sample.is_null()) one["sample"] = v.sample;
    out.push_back(std::move(one));
  }
  return out;
}

// The member `key` of `json`, which must be of the kind `is` tests.
const Json& Member(const Json& json, const char* key, bool (Json::*is)() const noexcept,
                   const char* kind) {
  auto it = json.find(key);
  if (it == json.end() || !((*it).*is)())
    throw std::invalid_argument(std::string("the reference's member \"") + key +
                                "\" is missing or no " + kind);
  return *it;
}
std::string Text(const Json& json, const char* key) {
  return Member(json, key, &Json::is_string, "text").get<std::string>();
}
const Json& List(const Json& json, const char* key) {
  return Member(json, key, &Json::is_array, "list");
}

std::vector<VariableDoc> VariablesOf(const Json& list) {
  std::vector<VariableDoc> out;
  for (const Json& v : list)
    out.push_back(
        {Text(v, "name"), Text(v, "type"), Text(v, "meaning"), v.value("sample", Json())});
  return out;
}

}  // namespace

void DeriveNameLists(ClassDescription& d) {
  d.step_parameters.clear();
  d.task_parameters.clear();
  for (const ParameterDoc& p : d.parameters)
    (p.scope == ParameterScope::kStep ? d.step_parameters : d.task_parameters).push_back(p.name);
  d.variables_read = NamesOf(d.reads);
  d.variables_written = NamesOf(d.writes);
}

Json ReferenceJson(const ClassDescription& d) {
  const ClassInfo* info = FindClassByName(d.name);
  if (!info) throw std::invalid_argument("no catalogue class " + d.name);
  Json parameters = Json::array();
  for (const ParameterDoc& p : d.parameters)
    parameters.push_back({{"name", p.name},
                          {"scope", p.scope == ParameterScope::kStep ? "step" : "task"},
                          {"type", p.type},
                          {"required", p.required},
                          {"default", p.required ? Json(nullptr) : Json(p.default_value)},
                          {"allowed", p.allowed},
                          {"meaning", p.meaning},
                          {"sample", p.sample}});
  for (size_t i = 0; i < d.parameters.size(); ++i) {
    if (!d.parameters[i].choices.empty()) parameters[i]["choices"] = d.parameters[i].choices;
    if (d.parameters[i].compared_with_true) parameters[i]["compared_with_true"] = true;
    if (!d.parameters[i].read_for.empty()) parameters[i]["read_for"] = d.parameters[i].read_for;
  }
  Json templates = Json::array();
  for (const TemplateVariableDoc& t : d.template_variables)
    templates.push_back({{"name", t.name}, {"value", t.value}});
  Json errors = Json::array();
  for (const ErrorDoc& e : d.errors)
    errors.push_back({{"location", e.location}, {"cause", e.cause}});
  Json out = {{"name", d.name},
              {"progid", std::string(kProgIdPrefix) + d.name},
              {"clsid", pelmark::GuidToString(info->clsid)},
              {"iid", pelmark::GuidToString(info->default_iid)},
              {"family", d.family},
              {"summary", d.summary},
              {"step_parameters", d.step_parameters},
              {"task_parameters", d.task_parameters},
              {"variables_read", d.variables_read},
              {"variables_written", d.variables_written},
              {"parameters", parameters},
              {"templates", d.templates},
              {"template_variables", templates},
              {"reads", VariablesJson(d.reads)},
              {"writes", VariablesJson(d.writes)},
              {"initialize", d.initialize},
              {"execute_results", d.execute_results},
              {"evaluate_results", d.evaluate_results},
              {"services", d.services},
              {"errors", errors}};
  if (!d.decision.empty()) {
    Json rows = Json::array();
    for (size_t i = 0; i < d.decision.size(); ++i)
      rows.push_back({{"row", i + 1},
                      {"condition", d.decision[i].condition},
                      {"approved", d.decision[i].approved.empty() ? Json(nullptr)
                                                                  : Json(d.decision[i].approved)},
                      {"result", d.decision[i].result}});
    out["decision"] = {{"counts", d.decision_counts}, {"rows", rows}};
  }
  return out;
}

ClassDescription ReferenceFromJson(const Json& json) {
  if (!json.is_object()) throw std::invalid_argument("the reference is no JSON object");
  ClassDescription d;
  d.name = Text(json, "name");
  d.family = Text(json, "family");
  d.summary = Text(json, "summary");
  for (const Json& p : List(json, "parameters")) {
    const Json& required = Member(p, "required", &Json::is_boolean, "Boolean");
    d.parameters.push_back(
        {Text(p, "name"),
         Text(p, "scope") == "step" ? ParameterScope::kStep : ParameterScope::kTask,
         Text(p, "type"), required.get<bool>(),
         required.get<bool>() ? std::string() : Text(p, "default"), Text(p, "allowed"),
         Text(p, "meaning"), p.value("sample", Json())});
    d.parameters.back().choices = p.value("choices", std::vector<std::string>());
    d.parameters.back().compared_with_true = p.value("compared_with_true", false);
    d.parameters.back().read_for = p.value("read_for", "");
  }
  d.templates = Text(json, "templates");
  for (const Json& t : List(json, "template_variables"))
    d.template_variables.push_back({Text(t, "name"), Text(t, "value")});
  d.reads = VariablesOf(List(json, "reads"));
  d.writes = VariablesOf(List(json, "writes"));
  d.initialize = Text(json, "initialize");
  d.execute_results = Text(json, "execute_results");
  d.evaluate_results = Text(json, "evaluate_results");
  for (const Json& s : List(json, "services")) d.services.push_back(s.get<std::string>());
  for (const Json& e : List(json, "errors"))
    d.errors.push_back({Text(e, "location"), Text(e, "cause")});
  if (auto decision = json.find("decision"); decision != json.end()) {
    d.decision_counts = Text(*decision, "counts");
    for (const Json& row : List(*decision, "rows"))
      d.decision.push_back(
          {Text(row, "condition"),
           row.value("approved", Json()).is_string() ? row["approved"].get<std::string>()
                                                     : std::string(),
           Member(row, "result", &Json::is_number_integer, "whole number").get<int>()});
  }
  DeriveNameLists(d);
  return d;
}

}  // namespace corvane::design
