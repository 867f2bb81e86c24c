// The fault sweep: every scenario of examples/ (and of tests/sweep/scenarios/,
// for walks no example takes), read by the tool's scenario reader, runs once to
// learn which host and DMS calls each of its calls makes, then once more for each
// of those calls with that one call failing (calls the scenario itself makes fail
// are left alone).
// Whatever fails, the host must see the injected error number and description
// unchanged, a source chain that starts at the injected source and ends at the
// class's entry method, one event-log entry per logged procedure the error passed
// through, and no simulator object still held. Where a class suppresses an error
// by design (per-item work in walks, missing fields), the call completes and
// nothing is logged. Each example's classes also answer the design-time
// interface with JSON: the example checks without an error finding, and with any
// one of its parameters or variables removed or of another type, Check still
// answers findings.
#include "fault_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <regex>
#include <set>

#include "component/class_table.h"
#include "configuration.h"
#include "contract_operations.h"
#include "corvane/design.h"

namespace corvane_test {
namespace {

namespace fs = std::filesystem;
using corvane::cli::Method;
using pelmark::Variant;

// Whether the class suppresses a failure of journal entry `index` by design.
using SuppressedBy = std::function<bool(const std::vector<sim::Call>& journal, size_t index)>;

// Faults injected per class over the whole run, printed once at the end.
class FaultCounts : public ::testing::Environment {
 public:
  static void Add(const std::string& class_name, size_t count) { counts()[class_name] += count; }
  void TearDown() override {
    if (counts().empty()) return;
    size_t total = 0;
    std::cout << "Faults injected per class:\n";
    for (const auto& [name, count] : counts()) {
      std::cout << "  " << name << " " << count << "\n";
      total += count;
    }
    std::cout << "  total " << total << " in " << counts().size() << " classes\n";
  }

 private:
  static std::map<std::string, size_t>& counts() {
    static std::map<std::string, size_t> map;
    return map;
  }
};

[[maybe_unused]] ::testing::Environment* const kCounts =
    ::testing::AddGlobalTestEnvironment(new FaultCounts);

// --- What the source chain must look like -------------------------------------

// The prefix a class writes before its locations: the approval step writes
// "Approval", every other class its own name.
std::string OwnerOf(const std::string& class_name) {
  return class_name == "DocApproval" ? "Approval" : class_name;
}

// The location the entry method appends, as a pattern.
std::regex EntryLocation(const CallOutcome& c) {
  static const std::set<std::string> bracketed = {"DocApproval", "Review", "ToDo"};
  std::string method;
  switch (c.method) {
    case Method::kInitialize:
      method = "IActivityRuntime_Initialize Sub";
      break;
    case Method::kExecute:
      method = "IActivityRuntime_Execute Function";
      break;
    case Method::kEvaluateCompositeTask:
      method = "IActivityRuntime_EvaluateCompositeTask Function";
      break;
  }
  bool brackets = bracketed.count(c.class_name) > 0 ||
                  (c.class_name == "Signature" && c.method == Method::kInitialize);
  return std::regex(OwnerOf(c.class_name) + ": " + method +
                    (brackets ? " \\(\\d+\\)" : " Ln \\d+"));
}

// Procedures that report without an event-log entry, by owner; "*" means every
// procedure of that owner.
bool IsQuiet(const std::string& owner, const std::string& procedure) {
  static const std::set<std::string> human_task = {"AddNote",           "AuditEvent",
                                                   "Auditevent",        "AuditDocumentEvent",
                                                   "AuditStackEvent",   "AuditRecordSeriesEvent",
                                                   "SetObjectVariable", "ProcessDocument",
                                                   "ProcessStack"};
  static const std::map<std::string, std::set<std::string>> quiet = {
      {"DocApproval", human_task},
      {"Review", human_task},
      {"ToDo", human_task},
      {"Signature", {"Auditevent", "AuditDocumentEvent"}},
      {"Notify",
       {"GetSenderList", "AddGroupMembers", "AddMemberInRole", "FormatTemplate",
        "SetObjectVariable"}},
      {"CFormatParser", {"*"}},
      {"CVariable", {"*"}},
      {"CResources", {"*"}},
  };
  auto it = quiet.find(owner);
  return it != quiet.end() && (it->second.count("*") || it->second.count(procedure));
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos;
       start = at + separator.size())
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

// Checks the chain's shape and returns how many of its locations log.
size_t CheckChain(const CallOutcome& s, const std::string& chain,
                  const std::string& injected_source) {
  static const std::regex public_form(R"(([A-Za-z]+): ([A-Za-z_]+) Function Ln \d+)");
  static const std::regex private_form(R"(([A-Za-z]+):([A-Za-z_]+) Ln \d+)");
  static const std::regex bracketed_form(R"(([A-Za-z]+): ?([A-Za-z_]+)( [A-Za-z]+)? \(\d+\))");
  constexpr std::string_view kArrow = " => ";
  std::vector<std::string> parts = Split(chain, "\r\n");
  EXPECT_GE(parts.size(), 2u) << "no location in " << ::testing::PrintToString(chain);
  std::string first = parts[0];
  bool arrow = first.ends_with(kArrow);
  if (arrow) first.resize(first.size() - kArrow.size());
  EXPECT_EQ(first, injected_source) << "the chain must start at the failing call";
  size_t logged = 0;
  for (size_t i = 1; i < parts.size(); ++i) {
    std::string location = parts[i];
    bool next_arrow = location.ends_with(kArrow);
    if (next_arrow) location.resize(location.size() - kArrow.size());
    std::smatch m;
    bool well_formed = arrow ? std::regex_match(location, m, private_form) ||
                                   std::regex_match(location, m, bracketed_form)
                             : std::regex_match(location, m, public_form);
    EXPECT_TRUE(well_formed) << "location " << i << " " << ::testing::PrintToString(location)
                             << (arrow ? " after \" => \"" : " without \" => \"");
    if (well_formed && !IsQuiet(m[1], m[2])) ++logged;
    arrow = next_arrow;
  }
  EXPECT_FALSE(arrow) << "the chain ends with a dangling \" => \"";
  EXPECT_TRUE(std::regex_match(parts.back(), EntryLocation(s)))
      << "the chain must end at the entry method: " << ::testing::PrintToString(parts.back());
  return logged;
}

// --- Errors suppressed by design -------------------------------------------------

// Any call of the flag walk: between Connect and Disconnect the walk suppresses
// every error, the reading of "REASON" as well as the operation itself.
SuppressedBy InsideTheWalk() {
  return [](const std::vector<sim::Call>& journal, size_t index) {
    bool connected = false;
    for (size_t i = 0; i < index; ++i)
      if (journal[i].op == "IDmsService.Connect") connected = true;
    if (!connected) return false;
    for (size_t i = index; i < journal.size(); ++i)
      if (journal[i].op == "IDmsService.Disconnect") return i > index;
    return false;
  };
}

// The lookup of the addressed field (IEntity.Fields, then IFields.Item with its
// name): the Change steps skip an item whose field cannot be found.
SuppressedBy FieldLookupFails(std::string field) {
  return [field](const std::vector<sim::Call>& journal, size_t index) {
    auto is_lookup = [&](size_t i) {
      return i < journal.size() && journal[i].op == "IFields.Item" &&
             journal[i].ArgValue("name").type() == pelmark::VarType::String &&
             sim::EqualsNoCase(journal[i].ArgValue("name").string_value(), field);
    };
    if (journal[index].op == "IEntity.Fields") return is_lookup(index + 1);
    return is_lookup(index);
  };
}

// The note on each document (IDmsService.AddComment) is attached item by item,
// a failure skipping only that item.
SuppressedBy NoteFails() {
  return [](const std::vector<sim::Call>& journal, size_t index) {
    return journal[index].op == "IDmsService.AddComment";
  };
}

// The reads that render a template variable's value (task answers, task and
// process properties): that procedure never fails, a failing read giving empty
// text. They are the calls of that kind in a run that directly follows reading
// the template text (but for the process instance fetched once before them) or
// directly precedes setting a message body.
bool IsValueRead(const sim::Call& c) {
  static const std::set<std::string> reads = {"ITask.ResourceName",
                                              "ITask.ResourceID",
                                              "ITask.ResourceType",
                                              "ITask.TaskID",
                                              "ITask.TaskIndex",
                                              "ITask.ProcessID",
                                              "ITask.ActivityID",
                                              "IActivityServices.GetProcessInstance",
                                              "IProcessInstance.ProcessName",
                                              "IProcessInstance.InitiatorComment",
                                              "IProcessInstance.InitiatorID",
                                              "IProcessInstance.InitiatorName",
                                              "IProcessInstance.InitiatorType"};
  if (reads.count(c.op)) return true;
  bool task_variable = c.target.starts_with("task ");
  return task_variable && (c.op == "ITask.Variables" || c.op == "IVariables.Item" ||
                           c.op == "IVariable.Value" || c.op == "IVariable.IsNull");
}

SuppressedBy TemplateValueReads() {
  return [](const std::vector<sim::Call>& journal, size_t index) {
    if (!IsValueRead(journal[index])) return false;
    size_t first = index, last = index;
    while (first > 0 && IsValueRead(journal[first - 1])) --first;
    while (last + 1 < journal.size() && IsValueRead(journal[last + 1])) ++last;
    bool after_template = first > 0 && journal[first - 1].op == "IParameter.Value" &&
                          (journal[first - 1].target.ends_with("DETAIL_FORMAT") ||
                           journal[first - 1].target.ends_with("MESSAGE_BODY"));
    bool before_body =
        last + 1 < journal.size() && journal[last + 1].op == "INotificationMessage.SetBody";
    // The process instance fetched once before the values are read is not one.
    bool prefetch = after_template && index <= first + 1 && first + 1 <= last &&
                    journal[first].op == "ITask.ProcessID" &&
                    journal[first + 1].op == "IActivityServices.GetProcessInstance";
    return (after_template && !prefetch) || before_body;
  };
}

SuppressedBy EitherOf(SuppressedBy a, SuppressedBy b) {
  return [a, b](const std::vector<sim::Call>& journal, size_t index) {
    return a(journal, index) || b(journal, index);
  };
}

// The bare field name a Change step looks up: its FIELDNAME without the level.
std::string LookedUp(const corvane::cli::Scenario& s, int32_t task_id) {
  for (const sim::TaskSpec& t : s.tasks)
    for (const sim::ParameterSpec& p : t.parameters)
      if (t.task_id == task_id && p.name == "FIELDNAME") {
        std::string name = p.value.string_value();
        name = name.substr(name.find('.') == std::string::npos ? 0 : name.find('.') + 1);
        name.erase(0, name.find_first_not_of(' '));
        return name.substr(0, name.find_last_not_of(' ') + 1);
      }
  return "";
}

SuppressedBy SuppressedFor(const corvane::cli::Scenario& s, const corvane::cli::CallSpec& c) {
  static const std::set<std::string> flag_walks = {
      "MarkAsArchive", "MarkAsRecord",   "MarkAsVital", "PutOnHold",
      "UnmarkAsVital", "UnmarkAsRecord", "ResetOnHold"};
  const std::string& name = c.step_class.name;
  if (flag_walks.count(name)) return InsideTheWalk();
  if (name.starts_with("Change")) return FieldLookupFails(LookedUp(s, c.task_id));
  if (name == "DocApproval" || name == "Review" || name == "ToDo")
    return EitherOf(NoteFails(), TemplateValueReads());
  if (name == "Notify") return TemplateValueReads();
  return [](const std::vector<sim::Call>&, size_t) { return false; };
}

// --- The sweep ------------------------------------------------------------------

std::vector<fs::path> ScenarioFiles() {
  std::vector<fs::path> out;
  for (const char* folder : {"examples", "tests/sweep/scenarios"})
    for (const auto& entry :
         fs::recursive_directory_iterator(fs::path(CORVANE_SOURCE_DIR) / folder))
      if (entry.path().extension() == ".json") out.push_back(entry.path());
  std::sort(out.begin(), out.end());
  return out;
}

class FaultSweepTest : public ::testing::TestWithParam<fs::path> {};

// The scenario, or each step of a workflow on its own.
std::vector<corvane::cli::Scenario> StepsOf(const corvane::cli::Scenario& s) {
  if (!s.workflow) return {s};
  std::vector<corvane::cli::Scenario> out;
  for (const corvane::cli::WorkflowStep& step : s.workflow->steps)
    out.push_back(corvane::cli::StepScenario(s, step));
  return out;
}

void SweepFaults(const corvane::cli::Scenario& s) {
  SCOPED_TRACE(s.step_class.name);
  ASSERT_TRUE(s.files.empty()) << "the test platform holds directories only";
  RunOutcome baseline = RunScenario(s, std::nullopt);
  EXPECT_TRUE(baseline.held.empty()) << ::testing::PrintToString(baseline.held);
  ASSERT_FALSE(baseline.journal.empty());
  // What the journal names, a scenario's fault can name too.
  for (const sim::Call& call : baseline.journal)
    EXPECT_TRUE(std::ranges::any_of(sim::kContractOperations,
                                    [&](const auto& op) { return op.name == call.op; }))
        << call.op << " is journaled but is no contract operation";

  for (size_t k = 0; k < baseline.calls.size(); ++k) {
    const CallOutcome& base = baseline.calls[k];
    // A call that fails by the scenario's design has nothing left to fail.
    if (!base.completed) continue;
    EXPECT_TRUE(base.log.empty()) << ::testing::PrintToString(base.log);
    SuppressedBy by_design = SuppressedFor(s, s.calls[k]);
    const std::vector<sim::Call> own(baseline.journal.begin() + base.journal_begin,
                                     baseline.journal.begin() + base.journal_end);
    size_t suppressed = 0, faults = 0;
    for (size_t index = base.journal_begin; index < base.journal_end; ++index) {
      if (FailedByScenario(baseline.journal[index], s.faults)) continue;
      ++faults;
      sim::Fault fault = FaultAt(baseline.journal, index, s.faults);
      SCOPED_TRACE("call " + std::to_string(k + 1) + ", failing journal entry " +
                   std::to_string(index + 1) + ": " + baseline.journal[index].ToString());
      RunOutcome run = RunScenario(s, fault, k);

      // The run repeats the scenario up to the failing call, which really failed.
      ASSERT_EQ(run.calls.size(), k + 1);
      ASSERT_GT(run.journal.size(), index);
      for (size_t i = 0; i < index; ++i)
        ASSERT_EQ(run.journal[i].ToString(), baseline.journal[i].ToString()) << "entry " << i + 1;
      ASSERT_EQ(run.journal[index].op, baseline.journal[index].op);
      ASSERT_EQ(run.journal[index].error_number, fault.number);

      const CallOutcome& faulted = run.calls[k];
      EXPECT_TRUE(run.held.empty()) << ::testing::PrintToString(run.held);
      if (by_design(own, index - base.journal_begin)) {
        ++suppressed;
        EXPECT_TRUE(faulted.completed)
            << "a suppressed error failed the call: " << faulted.error_source;
        EXPECT_TRUE(faulted.log.empty())
            << "suppressed errors are not logged: " << ::testing::PrintToString(faulted.log);
        continue;
      }
      ASSERT_FALSE(faulted.completed) << "the failure was swallowed";
      EXPECT_EQ(faulted.error_number, fault.number);
      EXPECT_EQ(faulted.error_description, fault.description);
      size_t logged = CheckChain(faulted, faulted.error_source, fault.source);
      EXPECT_EQ(faulted.log, std::vector<std::string>(logged, fault.description))
          << "chain " << ::testing::PrintToString(faulted.error_source);
    }
    FaultCounts::Add(base.class_name, faults);
    std::cout << "[ sweep    ] " << base.class_name << " " << corvane::cli::MethodName(base.method)
              << ": " << faults << " faults injected, " << suppressed << " suppressed by design\n";
  }
}

// The configuration with the value at `map`[`name`] removed, or replaced by one
// of another type.
std::vector<nlohmann::ordered_json> Mutants(const nlohmann::ordered_json& configuration) {
  std::vector<nlohmann::ordered_json> out;
  auto each = [&](const nlohmann::json::json_pointer& map) {
    for (const auto& [name, value] : configuration[map].items()) {
      out.push_back(configuration);
      out.back()[map].erase(name);
      out.push_back(configuration);
      out.back()[map][name] =
          value.is_string() ? nlohmann::ordered_json{{"long", 7}} : nlohmann::ordered_json("seven");
    }
  };
  if (configuration.contains("step")) each(nlohmann::json::json_pointer("/step/parameters"));
  for (size_t t = 0; t < configuration["tasks"].size(); ++t)
    for (const char* kind : {"parameters", "variables"})
      each(nlohmann::json::json_pointer("/tasks/" + std::to_string(t) + "/" + kind));
  return out;
}

TEST_P(FaultSweepTest, EveryFailingCallReachesTheHostIntactOrIsSuppressedByDesign) {
  for (const corvane::cli::Scenario& s : StepsOf(corvane::cli::LoadScenario(GetParam().string())))
    SweepFaults(s);
}

void DescribeAndCheck(const corvane::cli::Scenario& s) {
  auto design_of = [](const std::string& class_name) {
    pelmark::ComPtr<pelmark::IActivityRuntime> step(
        corvane::CreateActivity(*corvane::FindClassByName(class_name)));
    return step.try_query<corvane::IActivityDesign>();
  };
  for (const corvane::cli::ClassRef* c : corvane::cli::ScenarioClasses(s)) {
    pelmark::ComPtr<corvane::IActivityDesign> design = design_of(c->name);
    EXPECT_EQ(nlohmann::json::parse(design->Describe())["name"], c->name);
    // Each class checks the part of the scenario it reads.
    const nlohmann::ordered_json configuration = corvane::cli::ConfigurationOf(s, *c);
    const nlohmann::json findings =
        nlohmann::json::parse(design->Check(configuration.dump()))["findings"];
    for (const nlohmann::json& f : findings)
      EXPECT_NE(f["severity"], "error") << "the example is a correct design: " << f.dump();
    for (const nlohmann::ordered_json& mutant : Mutants(configuration)) {
      std::string answer;
      ASSERT_NO_THROW(answer = design->Check(mutant.dump())) << mutant.dump();
      EXPECT_TRUE(nlohmann::json::parse(answer)["findings"].is_array()) << answer;
    }
  }
}

TEST_P(FaultSweepTest, DescribeAndCheckAnswerJsonForTheExampleAndEachValueDroppedOrRetyped) {
  for (const corvane::cli::Scenario& s : StepsOf(corvane::cli::LoadScenario(GetParam().string())))
    DescribeAndCheck(s);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultSweepTest, ::testing::ValuesIn(ScenarioFiles()),
                         [](const ::testing::TestParamInfo<fs::path>& info) {
                           std::string name = info.param.parent_path().filename().string() + "_" +
                                              info.param.stem().string();
                           std::replace_if(
                               name.begin(), name.end(), [](char c) { return !std::isalnum(c); },
                               '_');
                           return name;
                         });

}  // namespace
}  // namespace corvane_test
