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
