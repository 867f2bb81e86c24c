#include "reference_probe.h"

#include <chrono>
#include <stdexcept>

#include "activity_fixture.h"
#include "component/class_table.h"
#include "corvane/catalogue.h"

namespace corvane_test {

using corvane::cli::ClassDescription;
using corvane::cli::ParameterDoc;
using corvane::cli::ParameterScope;
using corvane::cli::VariableDoc;
using Json = nlohmann::ordered_json;

const char* ProbeKindName(ProbeKind kind) {
  switch (kind) {
    case ProbeKind::kDocuments:
      return "documents";
    case ProbeKind::kStack:
      return "stack";
    case ProbeKind::kRecordSeries:
      return "record series";
    case ProbeKind::kNoAttributes:
      return "a dmsobject without attributes";
    case ProbeKind::kUnknownKind:
      return "an unknown entitytype";
  }
  return "?";
}

std::string ProbeError::ToString() const {
  std::string out = method + ": " + std::to_string(number) + " " + description + " [";
  for (size_t i = 0; i < chain.size(); ++i) out += (i ? " | " : "") + chain[i];
  return out + "]";
}

pelmark::Variant SampleVariant(const Json& sample) {
  if (sample.is_null()) return pelmark::Variant::Null();
  if (sample.is_boolean()) return pelmark::Variant(sample.get<bool>());
  if (sample.is_number_integer()) return pelmark::Variant(sample.get<int32_t>());
  if (sample.is_number()) return pelmark::Variant(sample.get<double>());
  if (sample.is_string()) return pelmark::Variant(sample.get<std::string>());
  if (sample.is_object() && sample.contains("date")) {
    const std::string text = sample["date"];  // yyyy-mm-dd
    const std::chrono::year_month_day day{
        std::chrono::year{std::stoi(text.substr(0, 4))},
        std::chrono::month{static_cast<unsigned>(std::stoi(text.substr(5, 2)))},
        std::chrono::day{static_cast<unsigned>(std::stoi(text.substr(8, 2)))}};
    const std::chrono::sys_days epoch = std::chrono::year{1899} / 12 / 30;
    return pelmark::Variant::Date((std::chrono::sys_days(day) - epoch).count());
  }
  throw std::invalid_argument("no variant for the sample " + sample.dump());
}

namespace {

constexpr int32_t kStackId = 30, kStackType = 9, kSeriesId = 40, kSeriesType = 11;

std::string ItemListOf(ProbeKind kind) {
  switch (kind) {
    case ProbeKind::kDocuments:
      // With type codes, which a template's dmsobject.link needs.
      return ItemList("document", kDatabase, "documents",
                      "<document id=\"17\" typecode=\"2\" name=\"Supply contract\"/>"
                      "<document id=\"-17\" typecode=\"2\" name=\"Draft contract\"/>");
    case ProbeKind::kStack:
      return ItemList("stackitem", kDatabase, "stack",
                      "<stackitem id=\"30\" typecode=\"9\" name=\"Case file\"/>");
    case ProbeKind::kRecordSeries:
      return ItemList("recordseries", kDatabase, "recordserieslist",
                      "<recordseries id=\"40\" typecode=\"11\" name=\"Contracts\"/>");
    case ProbeKind::kNoAttributes:
      return "<dmsobject><documents><document id=\"17\"/></documents></dmsobject>";
    case ProbeKind::kUnknownKind:
      return ItemList("folder", kDatabase, "folders", "<folder id=\"17\"/>");
  }
  return "";
}

// A name in a parameter or variable call of the journal, when it names one.
std::optional<std::string> NameArgument(const sim::Call& call) {
  if (call.args.empty() || !call.args[0].value.is_string()) return std::nullopt;
  return call.args[0].value.string_value();
}

}  // namespace

void SetUpProbe(sim::Simulator& sim, const ClassDescription& d, ProbeKind kind) {
  // Exact names: a parameter spelt otherwise than the table spells it is refused.
  sim.options().case_sensitive_names = true;
  sim.SetProcess({.id = kProcessId,
                  .variables = {sim::ItemListVariable(ItemListOf(kind))},
                  .initiator_id = "20",
                  .initiator_type = "dms.user",
                  .initiator_name = "Ivo Stern",
                  .initiator_comment = "Please handle",
                  .process_name = "Sample case"});

  sim::ActivitySpec step{.process_id = kProcessId, .request_count = 1, .min_approvals = "1"};
  sim::TaskSpec task{.task_id = kTaskId,
                     .process_id = kProcessId,
                     .activity_id = 3,
                     .resource_id = "21",
                     .resource_type = "dms.user",
                     .resource_name = "Ann Lee",
                     .status = 134217729,
                     // Today, so that a wait computed from the task's date is still ahead.
                     .task_date = pelmark::Variant::Date(static_cast<int>(kFixedNow))};
  for (const ParameterDoc& p : d.parameters)
    (p.scope == ParameterScope::kStep ? step.parameters : task.parameters)
        .push_back({.name = p.name, .value = SampleVariant(p.sample)});
  auto declare = [&](const std::vector<VariableDoc>& list) {
    for (const VariableDoc& v : list) {
      bool known = false;
      for (const sim::VariableSpec& have : task.variables) known = known || have.name == v.name;
      if (!known) task.variables.push_back({.name = v.name, .value = SampleVariant(v.sample)});
    }
  };
  declare(d.reads);
  declare(d.writes);
  sim.SetActivity(std::move(step));
  sim.AddTask(std::move(task));

  // Every entity has a field of each kind the field classes' samples name.
  auto fields = [](std::string title) {
    return std::vector<sim::Field>{
        sim::Field::Text("Title", std::move(title)), sim::Field::Double("Amount", 1250.5),
        sim::Field::YesNo("Signed", true), sim::Field::Date("Due", 45748)};
  };
  sim.AddDocument(kDatabase, {.id = 17, .fields = fields("Supply contract")});
  sim.AddDocument(kDatabase, {.id = -17, .fields = fields("Draft contract")});
  sim.AddDocument(kDatabase, {.id = 18,
                              .parent_id = kStackId,
                              .parent_type_code = kStackType,
                              .fields = fields("Statement")});
  sim.AddDataEntity(kDatabase,
                    {.id = kStackId, .type_code = kStackType, .fields = fields("Case file")});
  sim.AddRecordSeries(kDatabase,
                      {.id = kSeriesId, .type_code = kSeriesType, .fields = fields("Contracts")});
  sim.AddSecurityLabel(kDatabase, "Confidential", 3);
  sim.AddUser({.id = 20, .name = "istern", .full_name = "Ivo Stern", .email = "ivo@example.com"});
  sim.AddUser({.id = 21, .name = "alee", .full_name = "Ann Lee", .email = "ann@example.com"});
  sim.SetSetting("Links", "document", "view?id=#");
}

ProbeUse RunProbe(sim::Simulator& sim, const ClassDescription& d) {
  sim.ClearJournal();
  ProbeUse use;
  pelmark::ComPtr<pelmark::IActivityRuntime> activity = NewActivity(d.name);
  auto attempt = [&](const char* method, auto call) {
    try {
      call();
    } catch (const pelmark::Error& e) {
      ProbeError error{method, e.number(), e.description(), {}};
      std::string source = e.source();
      for (size_t at; (at = source.find("\r\n")) != std::string::npos;) {
        std::string part = source.substr(0, at);
        if (part.ends_with(" => ")) part.resize(part.size() - 4);
        error.chain.push_back(part);
        source.erase(0, at + 2);
      }
      error.chain.push_back(source);
      use.errors.push_back(std::move(error));
    }
  };
  pelmark::ITask* task = sim.Task(kTaskId);
  attempt("Initialize", [&] { activity->Initialize(sim.Services(), sim.Activity()); });
  attempt("Execute", [&] { activity->Execute(sim.Services(), task); });
  attempt("EvaluateCompositeTask",
          [&] { activity->EvaluateCompositeTask(sim.Services(), sim.Activity(), task); });

  const std::string task_owner = "task " + std::to_string(kTaskId);
  const std::string variable_prefix = task_owner + " variable ";
  for (const sim::Call& call : sim.Journal()) {
    if (call.op == "IParameters.Item" || call.op == "IParameters.Exists") {
      std::optional<std::string> name = NameArgument(call);
      if (!name) continue;
      if (call.target == task_owner + " parameters")
        use.task_parameters.insert(*name);
      else if (call.target == "activity parameters")
        use.step_parameters.insert(*name);
    } else if (call.op == "IVariables.Item" && call.target == task_owner + " variables") {
      // A name the task lacks is refused before any IVariable call: count it as read.
      std::optional<std::string> name = NameArgument(call);
      if (name && call.error_number != 0) use.variables_read.insert(*name);
    } else if (call.target.starts_with(variable_prefix)) {
      const std::string name = call.target.substr(variable_prefix.size());
      if (call.op == "IVariable.SetValue")
        use.variables_written.insert(name);
      else if (call.op == "IVariable.Value" || call.op == "IVariable.IsNull")
        use.variables_read.insert(name);
    }
  }
  return use;
}

}  // namespace corvane_test
