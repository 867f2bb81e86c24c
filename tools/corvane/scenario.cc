#include "scenario.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "contract_operations.h"
#include "corvane/catalogue.h"
#include "expectations.h"
#include "scenario_parts.h"

namespace corvane::cli {
namespace {

// The contract operation of that name, or null.
const sim::ContractOperation* FindOperation(std::string_view name) {
  for (const sim::ContractOperation& op : sim::kContractOperations)
    if (op.name == name) return &op;
  return nullptr;
}

std::vector<std::string_view> OperationNames() {
  std::vector<std::string_view> names;
  for (const sim::ContractOperation& op : sim::kContractOperations) names.push_back(op.name);
  return names;
}

sim::Fault ParseFault(const Node& node) {
  node.Keys({"op", "target", "when", "number", "source", "description", "skip", "times",
             "answer_nothing"});
  sim::Fault f;
  f.op = node.At("op").Text();
  if (f.op.find('.') == std::string::npos)
    node.At("op").Fail(
        "name the operation as Interface.Method, for example "
        "\"IDmsService.MarkAsVital\" (the report's journal shows them)");
  // A fault on a call that never happens would pass silently.
  const sim::ContractOperation* op = FindOperation(f.op);
  if (!op)
    node.At("op").Fail("no operation of the host or DMS is named \"" + f.op + "\"" +
                       Suggestion(f.op, OperationNames()) +
                       "; name one as the report's journal shows it");
  f.target = node.TextOr("target", "");
  if (node.Has("when"))
    for (auto& [name, value] : node.At("when").Members("argument names to values"))
      f.when.push_back({name, value.Value()});
  f.answer_nothing = node.BoolOr("answer_nothing", false);
  if (f.answer_nothing) {
    if (!op->answers_object)
      node.At("answer_nothing")
          .Fail(f.op +
                " answers no object, so it cannot answer Nothing; a fault without "
                "\"answer_nothing\" makes it raise an error instead");
    for (const char* key : {"number", "source", "description"})
      if (node.Has(key))
        node.At(key).Fail("a fault that answers Nothing raises no error; remove \"" +
                          std::string(key) + "\" or \"answer_nothing\"");
  }
  f.number = node.IntOr("number", sim::kErrInjected);
  f.source = node.TextOr("source", f.source);
  f.description = node.TextOr("description", f.description);
  f.skip = node.IntOr("skip", 0);
  if (f.skip < 0) node.At("skip").Fail("expected how many matching calls pass first (0 or more)");
  f.times = node.IntOr("times", -1);
  if (f.times < -1)
    node.At("times").Fail("expected how many calls fail (0 or more), or -1 for every one");
  return f;
}

}  // namespace

double AdvanceDays(const Node& node) {
  node.Keys({"days", "hours", "minutes", "seconds"});
  auto part = [&](const char* key) {
    if (!node.Has(key)) return 0.0;
    Node n = node.At(key);
    if (!n.json().is_number()) n.Fail("expected a number");
    return n.json().get<double>();
  };
  const double days =
      part("days") + part("hours") / 24 + part("minutes") / 1440 + part("seconds") / 86400;
  // No step of a clock within the dates can be longer than their whole range.
  if (!(std::fabs(days) < 4e6))
    node.Fail("moves the clock by " + Json(days).dump() +
              " days, beyond any date (years 100 to 9999)");
  return days;
}

namespace {

Method ParseMethod(const Node& node) {
  std::string name = node.Text();
  if (name == "Initialize") return Method::kInitialize;
  if (name == "Execute") return Method::kExecute;
  if (name == "EvaluateCompositeTask") return Method::kEvaluateCompositeTask;
  const std::string_view names[] = {"Initialize", "Execute", "EvaluateCompositeTask"};
  node.Fail("unknown method \"" + name + "\"" + Suggestion(name, names) +
            "; the methods are Initialize, Execute and EvaluateCompositeTask");
}

}  // namespace

std::vector<const ClassRef*> ScenarioClasses(const Scenario& s) {
  std::vector<const ClassRef*> out = {&s.step_class};
  for (const CallSpec& c : s.calls)
    if (std::none_of(out.begin(), out.end(),
                     [&](const ClassRef* r) { return r->name == c.step_class.name; }))
      out.push_back(&c.step_class);
  return out;
}

std::vector<const ClassRef*> ClassesReadingTask(const Scenario& s, int32_t task_id) {
  std::vector<const ClassRef*> out;
  for (const CallSpec& c : s.calls) {
    if (c.method == Method::kInitialize || c.task_id != task_id) continue;
    bool seen = false;
    for (const ClassRef* r : out) seen = seen || r->name == c.step_class.name;
    if (!seen) out.push_back(&c.step_class);
  }
  if (out.empty()) out.push_back(&s.step_class);
  return out;
}

bool ReadsStep(const Scenario& s, const ClassRef& c) {
  if (c.name == s.step_class.name) return true;
  for (const CallSpec& call : s.calls)
    if (call.step_class.name == c.name && call.method != Method::kExecute) return true;
  return false;
}

std::string_view MethodName(Method m) {
  switch (m) {
    case Method::kInitialize:
      return "Initialize";
    case Method::kExecute:
      return "Execute";
    case Method::kEvaluateCompositeTask:
      return "EvaluateCompositeTask";
  }
  return "?";
}

ClassRef ResolveClassReference(const std::string& reference, const std::string& place) {
  ClassRef out;
  out.reference = reference;
  const ClassInfo* info = nullptr;
  pelmark::CLSID clsid;
  if (pelmark::TryParseGuid(reference, &clsid)) {
    info = FindClassByClsid(clsid);
    out.by_clsid = true;
    if (!info)
      throw ScenarioError(place, "no class of the component has the CLSID " + reference +
                                     " (corvane classes lists them)");
  } else {
    info = reference.starts_with(kProgIdPrefix) ? FindClassByProgId(reference)
                                                : FindClassByName(reference);
    if (!info) {
      std::vector<std::string_view> names;
      for (const ClassInfo& c : kCatalogue) names.push_back(c.name);
      std::string bare =
          reference.starts_with(kProgIdPrefix) ? reference.substr(kProgIdPrefix.size()) : reference;
      throw ScenarioError(place, "unknown class \"" + reference + "\"" + Suggestion(bare, names) +
                                     "; give a class name (MarkAsVital), a ProgID "
                                     "(Corvane.MarkAsVital) or a CLSID; corvane classes lists "
                                     "the 32 classes");
    }
  }
  out.name = std::string(info->name);
  out.clsid = info->clsid;
  return out;
}

namespace {

void ReadHost(const Node& host, sim::Options& options) {
  host.Keys({"services", "require_connection", "case_sensitive_names", "create_task_variables"});
  if (host.Has("services")) {
    for (auto& [name, offered] : host.At("services").Members("service names to true/false")) {
      bool on = offered.Bool();
      if (name == "DmsService")
        options.dms_service = on;
      else if (name == "ConfigurationService")
        options.configuration_service = on;
      else if (name == "NotificationService")
        options.notification_service = on;
      else
        offered.Fail(
            "unknown service \"" + name + "\"" +
            Suggestion(name, {"DmsService", "ConfigurationService", "NotificationService"}) +
            "; the services are DmsService, ConfigurationService and "
            "NotificationService");
    }
  }
  options.require_connection = host.BoolOr("require_connection", true);
  options.case_sensitive_names = host.BoolOr("case_sensitive_names", false);
  options.create_task_variables = host.BoolOr("create_task_variables", false);
}

}  // namespace

void ReadStep(const Node& step, sim::ActivitySpec& activity) {
  step.Keys({"parameters", "requestcount", "minresponses", "minapprovals"});
  if (step.Has("parameters")) activity.parameters = ParseParameters(step.At("parameters"));
  activity.request_count = step.IntOr("requestcount", 0);
  activity.min_responses = step.IntOr("minresponses", 0);
  // MinApprovals is text holding a number; a JSON number is taken as its text.
  if (step.Has("minapprovals")) {
    Node m = step.At("minapprovals");
    activity.min_approvals = m.json().is_number_integer() ? std::to_string(m.Int()) : m.Text();
  }
}

std::vector<sim::TaskSpec> ReadTasks(const Node& tasks, int32_t process_id) {
  std::vector<sim::TaskSpec> out;
  for (const Node& n : tasks.List()) {
    n.RequireObject("a task");
    sim::TaskSpec task = ParseTask(n, process_id);
    for (const sim::TaskSpec& other : out)
      if (other.task_id == task.task_id)
        n.At("id").Fail("two tasks have the id " + std::to_string(task.task_id));
    out.push_back(std::move(task));
  }
  return out;
}

namespace {

Scenario::File ReadFile(const Node& f, const std::vector<Scenario::File>& earlier) {
  Scenario::File file{.place = f.place()};
  if (f.json().is_string()) {
    file.path = f.Text();
  } else {
    f.RequireObject("a file: its path, or {\"path\", \"content\"}");
    f.Keys({"path", "content"});
    file.path = f.At("path").Text();
    file.content = f.TextOr("content", "");
  }
  if (file.path.find_first_not_of("/\\") == std::string::npos)
    f.Fail("a file needs a name below the sandbox's root, such as \"/exports/a.pdf\"");
  for (const Scenario::File& other : earlier)
    if (other.path == file.path) f.Fail("the file \"" + file.path + "\" is listed twice");
  return file;
}

void ReadFilesystem(const Node& fs, Scenario& s) {
  fs.Keys({"directories", "files"});
  if (fs.Has("directories"))
    for (const Node& d : fs.At("directories").List()) s.directories.push_back(d.Text());
  if (fs.Has("files"))
    for (const Node& f : fs.At("files").List()) s.files.push_back(ReadFile(f, s.files));
}

}  // namespace

std::string TaskIds(const Scenario& s) {
  std::string ids;
  for (const sim::TaskSpec& t : s.tasks)
    ids += (ids.empty() ? "" : ", ") + std::to_string(t.task_id);
  return ids.empty() ? std::string("none (add a \"tasks\" list)") : ids;
}

namespace {

CallSpec ReadCall(const Node& n, const Scenario& s) {
  n.Keys({"method", "class", "task", "at", "advance", "expect"});
  CallSpec c;
  c.place = n.place();
  c.step_class = n.Has("class") ? ResolveClassReference(n.At("class").Text(), n.place() + ".class")
                                : s.step_class;
  c.method = ParseMethod(n.At("method"));
  if (c.method != Method::kInitialize) {
    if (!n.Has("task") && s.tasks.size() != 1)
      n.Fail(std::string(MethodName(c.method)) + " needs \"task\": the id of one of the tasks (" +
             TaskIds(s) + ")");
    c.task_id = n.Has("task") ? n.At("task").Int() : s.tasks.front().task_id;
  } else if (n.Has("task")) {
    n.At("task").Fail("Initialize takes the step, not a task; remove \"task\"");
  }
  if (n.Has("at")) c.at = n.At("at").Date();
  if (n.Has("advance")) c.advance_days = AdvanceDays(n.At("advance"));
  if (n.Has("expect")) {
    ValidateExpect(n.At("expect").json(), n.place() + ".expect");
    c.expect = n.At("expect").json();
  }
  return c;
}

// The "calls" list; without one, Execute on the first task with the top-level
// "expect" block.
std::vector<CallSpec> ReadCalls(const Node& root, const Scenario& s) {
  std::vector<CallSpec> calls;
  if (root.Has("calls")) {
    if (root.Has("expect"))
      root.At("expect").Fail("with a \"calls\" list, put each \"expect\" block inside its call");
    for (const Node& n : root.At("calls").List()) calls.push_back(ReadCall(n, s));
    // A scenario that calls nothing would pass without having tried the step.
    if (calls.empty())
      root.At("calls").Fail(
          "an empty list calls nothing: add a call, or remove \"calls\" to run Execute on the "
          "first task");
    return calls;
  }
  if (s.tasks.empty())
    root.Fail(
        "nothing to call: add a \"tasks\" list (Execute runs the first task) or a "
        "\"calls\" list");
  CallSpec c;
  c.step_class = s.step_class;
  c.task_id = s.tasks.front().task_id;
  c.place = "expect";
  if (root.Has("expect")) {
    ValidateExpect(root.At("expect").json(), "expect");
    c.expect = root.At("expect").json();
  }
  calls.push_back(std::move(c));
  return calls;
}

void RequireCalledTasks(const Scenario& s) {
  for (const CallSpec& c : s.calls) {
    if (c.method == Method::kInitialize) continue;
    bool found = std::any_of(s.tasks.begin(), s.tasks.end(),
                             [&](const sim::TaskSpec& t) { return t.task_id == c.task_id; });
    if (!found)
      throw ScenarioError(c.place + ".task", "no task has the id " + std::to_string(c.task_id) +
                                                 "; the scenario's tasks are " + TaskIds(s));
  }
}

// The sections in the order they are read, so that the first mistake of a file
// is the one reported.
Scenario ReadScenario(const Json& doc, const std::string& file) {
  Scenario s;
  s.file = file;
  Node root(doc, "");
  if (!doc.is_object()) root.Fail("a scenario is a JSON object {...}, found " + JsonKind(doc));
  root.Keys({"$schema", "description", "class", "now", "locale", "host", "settings", "dms",
             "process", "step", "tasks", "faults", "filesystem", "calls", "expect", "workflow",
             "events"});
  // For an editor only: the schema it checks the file with.
  if (root.Has("$schema")) root.At("$schema").Text();
  s.description = root.TextOr("description", "");
  const bool workflow = root.Has("workflow");
  if (!workflow) s.step_class = ResolveClassReference(root.At("class").Text(), "class");
  if (root.Has("now")) s.now = root.At("now").Date();
  s.locale = root.TextOr("locale", "en-US");
  if (s.locale != "en-US" && s.locale != "de-DE")
    root.At("locale").Fail("unknown locale \"" + s.locale + "\"; the locales are en-US and de-DE");
  if (root.Has("host")) ReadHost(root.At("host"), s.options);
  if (root.Has("settings"))
    for (const Node& n : root.At("settings").List()) {
      n.Keys({"section", "key", "value"});
      s.settings.push_back({n.At("section").Text(), n.At("key").Text(), n.At("value").Text()});
    }
  if (root.Has("dms")) ParseDms(root.At("dms"), s);
  if (root.Has("process"))
    s.process = ParseProcess(root.At("process"), s.options.case_sensitive_names);
  const int32_t process_id = s.process ? s.process->id : 0;
  if (workflow) {
    ParseWorkflow(root, s, process_id);
  } else {
    if (root.Has("events"))
      root.At("events").Fail("events drive a workflow: add \"workflow\" with its steps");
    if (root.Has("step")) ReadStep(root.At("step"), s.activity);
    s.activity.process_id = process_id;
    if (root.Has("tasks")) s.tasks = ReadTasks(root.At("tasks"), process_id);
  }
  if (root.Has("faults"))
    for (const Node& n : root.At("faults").List()) s.faults.push_back(ParseFault(n));
  if (root.Has("filesystem")) ReadFilesystem(root.At("filesystem"), s);
  if (workflow) return s;
  s.calls = ReadCalls(root, s);
  RequireCalledTasks(s);
  return s;
}

}  // namespace

Scenario LoadScenario(const std::string& path) {
  return ReadScenario(ReadScenarioJson(path), path);
}

Scenario ParseScenario(const std::string& text, const std::string& file) {
  return ReadScenario(ParseScenarioJson(text), file);
}

void BuildSimulator(const Scenario& s, sim::Simulator& sim) {
  for (int32_t db : s.databases) sim.AddDatabase(db);
  for (const auto& d : s.documents) sim.AddDocument(d.database, d.value);
  for (const auto& e : s.stacks) sim.AddDataEntity(e.database, e.value);
  for (const auto& e : s.record_series) sim.AddRecordSeries(e.database, e.value);
  for (const auto& e : s.retention_labels) sim.AddRetentionLabel(e.database, e.value);
  for (const auto& l : s.security_labels)
    sim.AddSecurityLabel(l.database, l.name, l.id, l.type_code);
  for (const auto& u : s.users) sim.AddUser(u);
  for (const auto& g : s.groups) sim.AddGroup(g);
  for (const auto& r : s.roles) sim.AddRole(r);
  for (const auto& j : s.jobs) sim.AddJob(j);
  for (const auto& e : s.event_codes) sim.SetEventCode(e.type_code, e.event, e.code);
  if (s.replace_interval_codes) sim.ClearIntervalTypeCodes();
  for (const auto& [text, code] : s.interval_codes) sim.SetIntervalTypeCode(text, code);
  for (const auto& t : s.entity_templates) sim.DefineEntityTemplate(t);
  for (const auto& st : s.settings) sim.SetSetting(st.section, st.key, st.value);
  if (s.process) sim.SetProcess(*s.process);
  sim.SetActivity(s.activity);
  for (const auto& t : s.tasks) sim.AddTask(t);
  for (const auto& f : s.faults) sim.InjectFault(f);
}

}  // namespace corvane::cli
