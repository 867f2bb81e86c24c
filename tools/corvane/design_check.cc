#include "design_check.h"

#include "corvane/design.h"
#include "values.h"

namespace corvane::cli {
namespace {

using Json = nlohmann::ordered_json;

// A value in the configuration's typed forms (the scenario file's own).
Json ConfigurationValue(const pelmark::Variant& v) {
  switch (v.type()) {
    case pelmark::VarType::Empty:
      return {{"empty", true}};
    case pelmark::VarType::Null:
      return nullptr;
    case pelmark::VarType::Long:
      return {{"long", v.long_value()}};
    case pelmark::VarType::Double:
      return {{"double", v.double_value()}};
    case pelmark::VarType::Date:
      return {{"date", IsoDate(v.date_value())}};
    case pelmark::VarType::Boolean:
      return v.bool_value();
    case pelmark::VarType::String:
      return v.string_value();
    default:
      return nullptr;  // an object: no designer writes one
  }
}

template <class List>
Json Values(const List& list) {
  Json out = Json::object();
  for (const auto& item : list) out[item.name] = ConfigurationValue(item.value);
  return out;
}

Json ConfigurationOf(const Scenario& s) {
  Json tasks = Json::array();
  for (const sim::TaskSpec& t : s.tasks)
    tasks.push_back({{"id", t.task_id},
                     {"parameters", Values(t.parameters)},
                     {"variables", Values(t.variables)}});
  Json process = Json::object();
  if (s.process) {
    Json variables = Json::object();
    for (const sim::VariableSpec& v : s.process->variables) {
      if (v.type_name == "dms.object" && v.value.is_string() && !process.contains("itemlist"))
        process["itemlist"] = v.value.string_value();
      else
        variables[v.name] = ConfigurationValue(v.value);
    }
    process["variables"] = std::move(variables);
  }
  return {{"locale", s.locale},
          {"step",
           {{"parameters", Values(s.activity.parameters)},
            {"requestcount", s.activity.request_count},
            {"minresponses", s.activity.min_responses},
            {"minapprovals", s.activity.min_approvals}}},
          {"tasks", std::move(tasks)},
          {"process", std::move(process)}};
}

// Where in the scenario file a finding points.
std::string PathOf(const Scenario& s, const Json& f) {
  const std::string name = f.value("name", "");
  const std::string kind = f.value("kind", "");
  if (f["scope"] == "step")
    return name == "MinApprovals" ? "step.minapprovals" : "step.parameters." + name;
  if (f["scope"] == "task" && f["task"].is_number_integer()) {
    for (size_t i = 0; i < s.tasks.size(); ++i)
      if (s.tasks[i].task_id == f["task"].get<int64_t>())
        return "tasks[" + std::to_string(i) + "]." +
               (kind == "variable" ? "variables." : "parameters.") + name;
  }
  return f["scope"] == "process" ? "process" : "";
}

}  // namespace

std::vector<Json> CheckStep(const Scenario& s, ModuleHost& host) {
  auto step = host.Create(s.step_class.name, s.step_class.clsid, s.step_class.by_clsid);
  pelmark::ComPtr<IActivityDesign> design = step.try_query<IActivityDesign>();
  if (!design)
    throw HostError("the module " + host.module_path() + " cannot check " + s.step_class.name +
                    ": it answers no design-time interface");
  Json answer = Json::parse(design->Check(ConfigurationOf(s).dump()));
  std::vector<Json> out;
  for (Json& f : answer["findings"]) {
    f["path"] = PathOf(s, f);
    out.push_back(std::move(f));
  }
  return out;
}

std::string FindingLine(const std::string& file, const Json& f) {
  std::string line = file + ":" + f.value("path", "") + ": " + f.value("severity", "") + ": " +
                     f.value("message", "");
  if (!f.value("suggestion", "").empty())
    line += " (suggestion: " + f.value("suggestion", "") + ")";
  return line;
}

}  // namespace corvane::cli
