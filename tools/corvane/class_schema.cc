// A JSON Schema per class, made from the class reference, so that an editor
// completes a scenario's parameter names and allowed values and flags a
// misspelt name or a value outside the allowed set where it is written.
#include <cctype>
#include <string>

#include "class_descriptions.h"
#include "corvane/catalogue.h"

namespace corvane::cli {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kSchemaDialect = "https://json-schema.org/draft/2020-12/schema";
// Where the scenario schema's own $id lives: the class schemas are named beside it.
const std::string kSchemaBase =
    std::string(kScenarioSchemaId.substr(0, kScenarioSchemaId.rfind('/') + 1));

// A regular expression (as editors' JavaScript reads it) that matches `text` exactly; with
// `any_case`, letters in either case: the host matches parameter names and the classes their
// choices without regard to case.
std::string Literal(std::string_view text, bool any_case = true) {
  std::string out;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (any_case && std::isalpha(u)) {
      out += '[';
      out += static_cast<char>(std::toupper(u));
      out += static_cast<char>(std::tolower(u));
      out += ']';
    } else if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Described(const ParameterDoc& p) {
  std::string text =
      p.type + (p.required ? ", required" : ", optional; absent: " + p.default_value);
  text += ". Allowed: " + p.allowed + ". " + p.meaning;
  return text;
}

// Text that is one of the choices, in any case; written plainly, as {"string": ...}
// or inside {"value": ...} as a scenario may write a parameter.
Json ChoiceValue(const ParameterDoc& p) {
  std::string alternatives;
  for (const std::string& c : p.choices)
    alternatives += (alternatives.empty() ? "" : "|") + Literal(c);
  const Json text = {{"type", "string"}, {"pattern", "^(?:" + alternatives + ")$"}};
  const Json typed = {
      {"type", "object"}, {"required", {"string"}}, {"properties", {{"string", text}}}};
  const Json either = {{"anyOf", {text, typed}}};
  return {{"anyOf",
           {text,
            typed,
            {{"type", "object"}, {"required", {"value"}}, {"properties", {{"value", either}}}}}}};
}

// The parameters object of the step or of a task: every name the class reads
// there, in any case, and no other.
Json ParametersSchema(const ClassDescription& d, ParameterScope scope) {
  Json properties = Json::object(), patterns = Json::object(), required = Json::array();
  // A required name is missing when no name matches it in any case; "required"
  // alone would refuse it written in another case, which the host takes.
  for (const ParameterDoc& p : d.parameters) {
    if (p.scope != scope) continue;
    Json shown = {{"description", Described(p)}};
    if (!p.choices.empty())
      shown["examples"] = p.choices;
    else if (p.type == "Boolean")
      shown["examples"] = {true, false};
    else if (!p.sample.is_null())
      shown["examples"] = Json::array({p.sample});
    properties[p.name] = std::move(shown);
    patterns["^" + Literal(p.name) + "$"] = p.choices.empty() ? Json(true) : ChoiceValue(p);
    if (p.required)
      required.push_back(
          {{"if", {{"propertyNames", {{"not", {{"pattern", "^" + Literal(p.name) + "$"}}}}}}},
           {"then", {{"required", {p.name}}}}});
  }
  Json schema = {{"type", "object"},
                 {"description", (scope == ParameterScope::kStep ? "The step parameters "
                                                                 : "The task parameters ") +
                                     d.name + " reads; names match without regard to case."},
                 {"properties", std::move(properties)},
                 {"patternProperties", std::move(patterns)},
                 {"additionalProperties", false}};
  if (!required.empty()) schema["allOf"] = std::move(required);
  return schema;
}

Json VariablesSchema(const ClassDescription& d) {
  Json properties = Json::object();
  auto add = [&](const VariableDoc& v, const char* how) {
    if (properties.contains(v.name)) {
      properties[v.name]["description"] =
          properties[v.name]["description"].get<std::string>() + " Also written: " + v.meaning;
      return;
    }
    Json shown = {{"description", v.type + ", " + how + " by " + d.name + ". " + v.meaning}};
    if (!v.sample.is_null()) shown["examples"] = Json::array({v.sample});
    properties[v.name] = std::move(shown);
  };
  for (const VariableDoc& v : d.reads) add(v, "read");
  for (const VariableDoc& v : d.writes) add(v, "written");
  // Other variables are allowed: a template may name any of the task's variables.
  return {{"type", "object"}, {"properties", std::move(properties)}};
}

}  // namespace

std::string ClassSchemaFile(const ClassDescription& d) { return d.name + ".schema.json"; }

Json ClassSchema(const ClassDescription& d) {
  // A task the step's collection does not list is never run by this class.
  const Json task = {
      {"type", "object"},
      {"if", {{"required", {"in_step"}}, {"properties", {{"in_step", {{"const", false}}}}}}},
      {"else",
       {{"properties",
         {{"parameters", {{"$ref", "#/$defs/taskParameters"}}},
          {"variables", {{"$ref", "#/$defs/taskVariables"}}}}}}}};
  const Json step = {{"type", "object"},
                     {"properties", {{"parameters", {{"$ref", "#/$defs/stepParameters"}}}}}};
  return {{"$schema", kSchemaDialect},
          {"$id", kSchemaBase + "classes/" + ClassSchemaFile(d)},
          {"title", d.name + " in a scenario file"},
          {"description", "The parameters and task variables of a " + d.name +
                              " step as a scenario file writes them. " + d.summary},
          {"type", "object"},
          {"properties", {{"step", step}, {"tasks", {{"type", "array"}, {"items", task}}}}},
          {"$defs",
           {{"stepParameters", ParametersSchema(d, ParameterScope::kStep)},
            {"taskParameters", ParametersSchema(d, ParameterScope::kTask)},
            {"taskVariables", VariablesSchema(d)}}}};
}

Json ClassSchemaIndex() {
  Json cases = Json::array();
  for (const ClassDescription& d : ClassDescriptions()) {
    const ClassInfo* info = FindClassByName(d.name);
    std::string clsid = pelmark::GuidToString(info->clsid);  // with braces
    const std::string bare = Literal(clsid.substr(1, clsid.size() - 2));
    const std::string pattern = "^(?:(?:" + Literal(kProgIdPrefix, false) + ")?" + d.name + "|\\{" +
                                bare + "\\}|" + bare + ")$";
    cases.push_back(
        {{"if", {{"required", {"class"}}, {"properties", {{"class", {{"pattern", pattern}}}}}}},
         {"then", {{"$ref", ClassSchemaFile(d)}}}});
  }
  return {{"$schema", kSchemaDialect},
          {"$id", kSchemaBase + "classes/classes.schema.json"},
          {"title", "Each class's parameters in a scenario file"},
          {"description",
           "Applies the schema of the scenario's class (docs/classes/<Class>.schema.json) to its "
           "step and task parameters and task variables. A scenario whose calls name classes of "
           "their own is left to corvane run's warnings."},
          {"if",
           {{"properties", {{"calls", {{"contains", {{"required", {"class"}}}}}}}},
            {"required", {"calls"}}}},
          {"else", {{"allOf", std::move(cases)}}}};
}

std::map<std::string, std::string> ReferenceFiles() {
  std::map<std::string, std::string> files;
  for (const ClassDescription& d : ClassDescriptions()) {
    files[d.name + ".md"] = DescriptionMarkdown(d);
    files[ClassSchemaFile(d)] = ClassSchema(d).dump(2) + "\n";
  }
  files["README.md"] = ReferenceIndexMarkdown();
  files["classes.schema.json"] = ClassSchemaIndex().dump(2) + "\n";
  return files;
}

}  // namespace corvane::cli
