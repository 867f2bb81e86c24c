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

// The part of the scenario class `c` reads: the tasks its calls name (or every
// task no call names), and the step's parameters and counts when it reads the step.
Json ConfigurationOf(const Scenario& s, const ClassRef& c) {
  Json tasks = Json::array();
  for (const sim::TaskSpec& t : s.tasks) {
    bool read = false;
    for (const ClassRef* r : ClassesReadingTask(s, t.task_id)) read = read || r->name == c.name;
    if (!read) continue;
    // Only a task a call executes has its parameters read; the others are answers
    // the host holds, whose values are still checked.
    bool executed = false;
    for (const CallSpec& call : s.calls)
      executed = executed || (call.method == Method::kExecute && call.task_id == t.task_id &&
                              call.step_class.name == c.name);
    tasks.push_back({{"id", t.task_id},
                     {"parameters", Values(t.parameters)},
                     {"variables", Values(t.variables)},
                     {"executed", executed}});
  }
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
  Json configuration = {{"locale", s.locale}};
  if (ReadsStep(s, c))
    configuration["step"] = {{"parameters", Values(s.activity.parameters)},
                             {"requestcount", s.activity.request_count},
                             {"minresponses", s.activity.min_responses},
                             {"minapprovals", s.activity.min_approvals}};
  configuration["tasks"] = std::move(tasks);
  configuration["process"] = std::move(process);
  return configuration;
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
  // Each class of the scenario checks the part it reads, the scenario's class first.
  std::vector<const ClassRef*> classes = {&s.step_class};
  for (const CallSpec& c : s.calls) {
    bool seen = false;
    for (const ClassRef* r : classes) seen = seen || r->name == c.step_class.name;
    if (!seen) classes.push_back(&c.step_class);
  }
  std::vector<Json> out;
  for (const ClassRef* c : classes) {
    auto step = host.Create(c->name, c->clsid, c->by_clsid);
    pelmark::ComPtr<IActivityDesign> design = step.try_query<IActivityDesign>();
    if (!design)
      throw HostError("the module " + host.module_path() + " cannot check " + c->name +
                      ": it answers no design-time interface");
    Json answer = Json::parse(design->Check(ConfigurationOf(s, *c).dump()));
    for (Json& f : answer["findings"]) {
      f["path"] = PathOf(s, f);
      out.push_back(std::move(f));
    }
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
