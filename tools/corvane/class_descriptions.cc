#include "class_descriptions.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "corvane/catalogue.h"
#include "corvane/design.h"
#include "module_host.h"

namespace corvane::cli {
namespace {

using Json = nlohmann::ordered_json;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string ScopeName(ParameterScope scope) {
  return scope == ParameterScope::kStep ? "step" : "task";
}

}  // namespace

std::span<const ClassDescription> ClassDescriptions() {
  static const std::vector<ClassDescription> table = [] {
    std::unique_ptr<ComponentModule> module = OpenModule(DefaultModulePath());
    std::vector<ClassDescription> t;
    for (const ClassInfo& info : kCatalogue) {
      try {
        auto step = module->Create<pelmark::IActivityRuntime>(info.clsid);
        pelmark::ComPtr<IActivityDesign> design = step.try_query<IActivityDesign>();
        if (!design)
          throw HostError("the module " + module->path() + " answers no reference for " +
                          std::string(info.name) + ": it is older than this tool");
        t.push_back(design::ReferenceFromJson(Json::parse(design->Describe())));
      } catch (const pelmark::Error& e) {
        throw HostError("the module cannot describe " + std::string(info.name) + ": " +
                        e.description());
      } catch (const std::exception& e) {
        throw HostError("the module's reference of " + std::string(info.name) +
                        " cannot be read: " + e.what());
      }
    }
    return t;
  }();
  return table;
}

const ClassDescription* FindDescription(std::string_view wanted_text) {
  std::string wanted = Lower(wanted_text);
  const std::string prefix = Lower(kProgIdPrefix);
  if (wanted.starts_with(prefix)) wanted = wanted.substr(prefix.size());
  std::string braced = wanted;
  if (!braced.starts_with("{")) braced = "{" + braced + "}";
  for (const ClassDescription& d : ClassDescriptions()) {
    if (Lower(d.name) == wanted) return &d;
    const ClassInfo* info = FindClassByName(d.name);
    if (info && Lower(pelmark::GuidToString(info->clsid)) == braced) return &d;
  }
  return nullptr;
}

Json DescriptionJson(const ClassDescription& d) { return design::ReferenceJson(d); }

namespace {

std::string NameList(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out.empty() ? "none" : out;
}

std::string DefaultText(const ParameterDoc& p) {
  return p.required ? "required" : "optional; absent: " + p.default_value;
}

}  // namespace

namespace {

// `prefix` then `text`, broken between words so that no line passes 100
// columns; continuation lines are indented by `indent` spaces.
std::string Wrapped(const std::string& prefix, std::string_view text, size_t indent) {
  constexpr size_t kWidth = 100;
  std::string out = prefix, word;
  size_t column = prefix.size();
  bool line_empty = true;
  auto flush = [&] {
    if (word.empty()) return;
    if (!line_empty && column + 1 + word.size() > kWidth) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
      line_empty = true;
    }
    if (!line_empty) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    line_empty = false;
    word.clear();
  };
  for (char c : text) {
    if (c == ' ')
      flush();
    else
      word += c;
  }
  flush();
  return out + "\n";
}

}  // namespace

std::string DescriptionText(const ClassDescription& d) {
  const ClassInfo* info = FindClassByName(d.name);
  std::string out;
  constexpr size_t kValueColumn = 22;
  auto line = [&](std::string_view label, std::string_view value) {
    std::string prefix(label);
    prefix.resize(std::max(kValueColumn, prefix.size() + 1), ' ');
    out += Wrapped(prefix, value, kValueColumn);
  };
  line("Class", std::string(kProgIdPrefix) + d.name);
  line("CLSID", pelmark::GuidToString(info->clsid));
  line("Default interface", "_" + d.name + " " + pelmark::GuidToString(info->default_iid));
  line("Family", d.family);
  line("What it does", d.summary);
  line("Step parameters", NameList(d.step_parameters));
  line("Task parameters", NameList(d.task_parameters));
  line("Variables read", NameList(d.variables_read));
  line("Variables written", NameList(d.variables_written));
  line("Services", NameList(d.services));
  line("Initialize", d.initialize);
  line("Execute returns", d.execute_results);
  line("Evaluate returns", d.evaluate_results);
  for (const ParameterDoc& p : d.parameters) {
    out += "\nParameter " + p.name + " (" + ScopeName(p.scope) + ", " + p.type + ", " +
           DefaultText(p) + ")\n";
    out += Wrapped("  Allowed: ", p.allowed, 4);
    out += Wrapped("  ", p.meaning, 2);
  }
  auto variables = [&](const char* title, const std::vector<VariableDoc>& list) {
    if (list.empty()) return;
    out += std::string("\n") + title + "\n";
    for (const VariableDoc& v : list)
      out += Wrapped("  " + v.name + " (" + v.type + "): ", v.meaning, 4);
  };
  variables("Task variables read", d.reads);
  variables("Task variables written", d.writes);
  if (!d.template_variables.empty()) {
    out += "\nTemplate variables\n" + Wrapped("  ", d.templates, 2);
    for (const TemplateVariableDoc& t : d.template_variables)
      out += Wrapped("  " + t.name + ": ", t.value, 4);
  }
  if (!d.decision.empty()) {
    out += "\nDecision (the first row that holds decides)\n" + Wrapped("  ", d.decision_counts, 2);
    for (size_t i = 0; i < d.decision.size(); ++i) {
      const DecisionRow& r = d.decision[i];
      out += Wrapped("  " + std::to_string(i + 1) + ". ",
                     r.condition + " -> result " + std::to_string(r.result) +
                         (r.approved.empty() ? "" : ", APPROVED " + r.approved),
                     6);
    }
  }
  out += "\nErrors (the location is added to the error's source, then the line number)\n";
  for (const ErrorDoc& e : d.errors) out += Wrapped("  \"" + e.location + "\": ", e.cause, 4);
  return out;
}

namespace {

// Prose for a page: "<resource>" would read as an HTML tag and vanish.
std::string Prose(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '<')
      out += "&lt;";
    else
      out += c;
  }
  return out;
}

// A table cell also cannot hold a bare "|".
std::string Cell(std::string_view text) {
  std::string out;
  for (char c : Prose(text)) {
    if (c == '|')
      out += "\\|";
    else
      out += c;
  }
  return out;
}

std::string Code(std::string_view text) { return "`" + std::string(text) + "`"; }

}  // namespace

std::string DescriptionMarkdown(const ClassDescription& d) {
  const ClassInfo* info = FindClassByName(d.name);
  std::string out = "# " + d.name + "\n\n";
  out +=
      "<!-- Generated by `corvane describe --all --write docs/classes`; edit the table in "
      "tools/corvane/class_descriptions.cc instead. -->\n\n";
  out += Prose(d.summary) + "\n\n";
  out += "| | |\n|---|---|\n";
  out += "| ProgID | " + Code(std::string(kProgIdPrefix) + d.name) + " |\n";
  out += "| CLSID | " + Code(pelmark::GuidToString(info->clsid)) + " |\n";
  out += "| Default interface | " + Code("_" + d.name) + " " +
         Code(pelmark::GuidToString(info->default_iid)) + " |\n";
  out += "| Family | " + d.family + " |\n";
  out += "| Services | " + Cell(NameList(d.services)) + " |\n";
  out += "| Initialize | " + Cell(d.initialize) + " |\n";
  out += "| Execute returns | " + Cell(d.execute_results) + " |\n";
  out += "| EvaluateCompositeTask returns | " + Cell(d.evaluate_results) + " |\n\n";

  out += "## Parameters\n\n";
  if (d.parameters.empty()) {
    out += "None.\n\n";
  } else {
    out +=
        "Step parameters are read from the step definition (`IActivity.Parameters`), task "
        "parameters from the task (`ITask.Parameters`).\n\n";
    out += "| Name | Read from | Type | Required | Default | Allowed values | What it does |\n";
    out += "|---|---|---|---|---|---|---|\n";
    for (const ParameterDoc& p : d.parameters)
      out += "| " + Code(p.name) + " | " + ScopeName(p.scope) + " | " + Cell(p.type) + " | " +
             (p.required ? "yes" : "no") + " | " + Cell(p.required ? "" : p.default_value) + " | " +
             Cell(p.allowed) + " | " + Cell(p.meaning) + " |\n";
    out += "\n";
  }
  auto variables = [&](const char* title, const std::vector<VariableDoc>& list) {
    out += std::string("## ") + title + "\n\n";
    if (list.empty()) {
      out += "None.\n\n";
      return;
    }
    out += "| Name | Type | Meaning |\n|---|---|---|\n";
    for (const VariableDoc& v : list)
      out += "| " + Code(v.name) + " | " + Cell(v.type) + " | " + Cell(v.meaning) + " |\n";
    out += "\n";
  };
  variables("Task variables read", d.reads);
  variables("Task variables written", d.writes);
  if (!d.template_variables.empty()) {
    out += "## Template variables\n\n" + Prose(d.templates) + "\n\n| Name | Value |\n|---|---|\n";
    for (const TemplateVariableDoc& t : d.template_variables)
      out += "| " + Code(t.name) + " | " + Cell(t.value) + " |\n";
    out += "\n";
  }
  if (!d.decision.empty()) {
    out += "## Decision\n\n" + Prose(d.decision_counts) +
           " The first row whose condition holds "
           "decides.\n\n";
    const bool approval = !d.decision.front().approved.empty();
    out += approval ? "| Row | Condition | APPROVED | Result |\n|---|---|---|---|\n"
                    : "| Row | Condition | Result |\n|---|---|---|\n";
    for (size_t i = 0; i < d.decision.size(); ++i) {
      const DecisionRow& r = d.decision[i];
      out += "| " + std::to_string(i + 1) + " | " + Cell(r.condition) + " | " +
             (approval ? Cell(r.approved) + " | " : "") + std::to_string(r.result) + " |\n";
    }
    out += "\n";
  }
  out +=
      "## Errors\n\nEach location is added to the error's source text, followed by the line "
      "number, as the error passes through; the number and description stay those of the "
      "cause. See [errors.md](../errors.md).\n\n| Location | Raised when |\n|---|---|\n";
  for (const ErrorDoc& e : d.errors)
    out += "| " + Code(e.location) + " | " + Cell(e.cause) + " |\n";
  return out;
}

std::string ReferenceIndexMarkdown() {
  std::string out =
      "# Class reference\n\n"
      "<!-- Generated by `corvane describe --all --write docs/classes`; edit the table in "
      "tools/corvane/class_descriptions.cc instead. -->\n\n"
      "One page per activity class: its parameters with type, default and allowed values, the "
      "template variables, the task variables it reads and writes, its results, services and "
      "errors. `corvane describe CLASS` prints the same from the built tool, and `corvane new "
      "CLASS` writes a scenario to start from. Beside each page, `<Class>.schema.json` is the JSON "
      "Schema of the class's parameters and task variables in a scenario file, which "
      "../scenario.schema.json applies (see [Editing with the "
      "schema](../scenarios.md#editing-with-the-schema)).\n\n"
      "| Class | Family | Parameters | Task variables read | Task variables written |\n"
      "|---|---|---|---|---|\n";
  for (const ClassDescription& d : ClassDescriptions()) {
    std::vector<std::string> names = d.step_parameters;
    names.insert(names.end(), d.task_parameters.begin(), d.task_parameters.end());
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    out += "| [" + d.name + "](" + d.name + ".md) | " + d.family + " | " + NameList(names) + " | " +
           NameList(d.variables_written) + " |\n";
  }
  return out;
}

Json ScenarioSkeleton(const ClassDescription& d) {
  const bool human_task = d.family == "Human tasks";
  const bool negative_ids = d.name == "Publish";  // only those are published
  const int document_id = negative_ids ? -17 : 17;
  Json document = {{"database", 7},
                   {"id", document_id},
                   {"fields",
                    {{"Title", "Supply contract"},
                     {"Amount", 1250.5},
                     {"Signed", true},
                     {"Due", {{"date", "2025-04-01"}}}}}};
  Json dms = {{"documents", Json::array({document})}};
  if (d.name == "ApplySecurityLabel")
    dms["securitylabels"] = Json::array({{{"database", 7}, {"name", "Confidential"}, {"id", 3}}});
  if (d.name == "Notify")
    dms["users"] = Json::array(
        {{{"id", 21}, {"name", "alee"}, {"fullname", "Ann Lee"}, {"email", "ann@example.com"}}});

  Json parameters = Json::object(), step_parameters = Json::object();
  for (const ParameterDoc& p : d.parameters)
    (p.scope == ParameterScope::kStep ? step_parameters : parameters)[p.name] = p.sample;
  Json variables = Json::object();
  for (const VariableDoc& v : d.reads) variables[v.name] = v.sample;
  for (const VariableDoc& v : d.writes)
    if (!variables.contains(v.name)) variables[v.name] = v.sample;

  Json task = {{"id", 5}};
  if (human_task || d.name == "Signature")
    task["resource"] = {{"id", "21"}, {"type", "dms.user"}, {"name", "Ann Lee"}};
  if (human_task) task["status"] = 134217729;  // answered
  task["parameters"] = parameters;
  task["variables"] = variables;

  Json scenario = {
      {"$schema", kScenarioSchemaId},
      {"description", "A starting point for a " + d.name +
                          " step, written by corvane new: every parameter at a sample value, the "
                          "variables it reads and writes declared, one document. Change the "
                          "values, then add expectations (docs/scenarios.md)."},
      {"class", d.name},
      {"now", "2025-03-14T09:30:00"},
  };
  // The sandbox holds the folder's parent, so the step creates one level.
  if (d.name == "ExportToFolder") scenario["filesystem"] = {{"directories", {"/exports"}}};
  scenario["dms"] = dms;
  scenario["process"] = {
      {"id", 12},
      {"name", "Sample case"},
      {"initiator", {{"id", "20"}, {"name", "Ivo Stern"}}},
      {"itemlist", {{"entitytype", "document"}, {"dbid", 7}, {"items", {document_id}}}}};
  if (human_task)
    scenario["step"] = {{"parameters", step_parameters},
                        {"requestcount", 1},
                        {"minresponses", 0},
                        {"minapprovals", "1"}};
  scenario["tasks"] = Json::array({task});
  if (human_task || d.name == "Signature") {
    Json calls = Json::array({{{"method", "Initialize"}}, {{"method", "Execute"}, {"task", 5}}});
    if (human_task) calls.push_back({{"method", "EvaluateCompositeTask"}, {"task", 5}});
    scenario["calls"] = calls;
  }
  return scenario;
}

}  // namespace corvane::cli
