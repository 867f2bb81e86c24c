#include "design_check.h"

#include "configuration.h"
#include "corvane/design.h"

namespace corvane::cli {
namespace {

using Json = nlohmann::ordered_json;

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

std::vector<Json> CheckOneStep(const Scenario& s, ModuleHost& host) {
  // Each class of the scenario checks the part it reads, the scenario's class first.
  std::vector<Json> out;
  for (const ClassRef* c : ScenarioClasses(s)) {
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

}  // namespace

std::vector<Json> CheckStep(const Scenario& s, ModuleHost& host) {
  if (!s.workflow) return CheckOneStep(s, host);
  // A workflow's steps each check their own part; paths point into the step.
  std::vector<Json> out;
  for (const WorkflowStep& step : s.workflow->steps)
    for (Json& f : CheckOneStep(StepScenario(s, step), host)) {
      const std::string path = f.value("path", "");
      f["path"] = step.place + (path.empty() ? "" : "." + path);
      f["message"] = "step \"" + step.name + "\": " + f.value("message", "");
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
