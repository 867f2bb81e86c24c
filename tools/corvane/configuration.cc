#include "configuration.h"

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

}  // namespace

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

}  // namespace corvane::cli
