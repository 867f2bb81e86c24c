// The same steps run both ways under Wine: once on the core linked into this
// program (the C++ contract, as the Linux module is called), once through
// Corvane.dll created by CoCreateInstance, with the simulator's host and DMS
// handed over as automation objects so that every call crosses COM. Each
// scenario must give the same result or error (number, source chain,
// description), the same host and DMS calls with the same arguments in the
// same order, and leave nothing held; a difference is a defect of one of the
// two bindings. Times of day written by a step are compared as "now".
//
// Usage: same_steps_test.exe (Corvane.dll registered). Prints the differences
// and a closing "N passed, M failed" line.
#include "component/class_table.h"

// The rest after it, since the library's headers are read before windows.h.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "automation/com_objects.h"
#include "automation/errors.h"
#include "rules/windows/wide_text.h"
#include "simulator.h"

// After the binding's headers, which read the library's before windows.h.
#include "automation/type_library.h"

namespace {

constexpr int32_t kProcessId = 12;
constexpr int32_t kTaskId = 5;
constexpr int32_t kDatabase = 7;
constexpr double kTaskCompleted = 134217729.0;

using pelmark::Variant;

int g_passed = 0;
int g_failed = 0;

struct Scenario {
  std::string name;
  std::string class_name;
  bool evaluate = false;  // EvaluateCompositeTask instead of Execute
  sim::Options options{};
  std::function<void(sim::Simulator&)> setup;
};

struct Outcome {
  int32_t result = 0;
  int32_t error = 0;
  std::string source;
  std::string description;
  std::vector<std::string> journal;
  std::vector<std::string> held;
};

double Today() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  double days = 0;
  SystemTimeToVariantTime(&now, &days);
  return days;
}

std::string Text(const Variant& value) {
  if (value.type() == pelmark::VarType::Date && std::fabs(value.date_value() - Today()) < 2)
    return "#now#";
  return sim::FormatVariant(value);
}

void Record(Outcome& out, sim::Simulator& simulator) {
  for (const sim::Call& call : simulator.Journal()) {
    std::string line = call.op + " " + call.target + "(";
    for (size_t i = 0; i < call.args.size(); ++i)
      line += (i ? ", " : "") + call.args[i].name + "=" + Text(call.args[i].value);
    line += ") -> " + (call.result_object.empty() ? Text(call.result) : call.result_object);
    if (call.error_number) line += " raised " + std::to_string(call.error_number);
    out.journal.push_back(line);
  }
  out.held = simulator.HeldReferences();
}

Outcome Direct(const Scenario& scenario) {
  sim::Simulator simulator(scenario.options);
  scenario.setup(simulator);
  Outcome out;
  {
    pelmark::ComPtr<pelmark::IActivityRuntime> step(
        corvane::CreateActivity(*corvane::FindClassByName(scenario.class_name)));
    try {
      pelmark::ITask* task = simulator.Task(kTaskId);
      out.result = scenario.evaluate ? step->EvaluateCompositeTask(simulator.Services(),
                                                                   simulator.Activity(), task)
                                     : step->Execute(simulator.Services(), task);
    } catch (const pelmark::Error& error) {
      out.error = error.number();
      out.source = error.source();
      out.description = error.description();
    }
  }
  Record(out, simulator);
  return out;
}

Outcome ThroughCom(const Scenario& scenario) {
  sim::Simulator simulator(scenario.options);
  scenario.setup(simulator);
  Outcome out;
  const corvane::ClassInfo* info = corvane::FindClassByName(scenario.class_name);
  IActivityRuntime* step = nullptr;
  HRESULT hr = CoCreateInstance(corvane::automation::ToWindowsGuid(info->clsid), nullptr,
                                CLSCTX_INPROC_SERVER, __uuidof(IActivityRuntime),
                                reinterpret_cast<void**>(&step));
  if (FAILED(hr)) {
    out.error = -1;
    out.description = "CoCreateInstance failed; is Corvane.dll registered?";
    return out;
  }
  IDispatch* services = corvane::automation::MakeLibraryDispatch(simulator.Services());
  IDispatch* task = corvane::automation::MakeLibraryDispatch(simulator.Task(kTaskId));
  IDispatch* activity =
      scenario.evaluate ? corvane::automation::MakeLibraryDispatch(simulator.Activity()) : nullptr;
  LONG result = 0;
  hr = scenario.evaluate ? step->EvaluateCompositeTask(services, activity, &task, &result)
                         : step->Execute(services, &task, &result);
  if (SUCCEEDED(hr)) {
    out.result = result;
  } else {
    out.error = corvane::automation::ErrorNumberOfHresult(hr);
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) == S_OK && error) {
      BSTR source = nullptr, description = nullptr;
      error->GetSource(&source);
      error->GetDescription(&description);
      out.source = corvane::Utf8(source ? source : L"");
      out.description = corvane::Utf8(description ? description : L"");
      SysFreeString(source);
      SysFreeString(description);
      error->Release();
    }
  }
  for (IDispatch* object : {services, task, activity})
    if (object) object->Release();
  step->Release();
  Record(out, simulator);
  return out;
}

void Compare(const Scenario& scenario) {
  const Outcome direct = Direct(scenario);
  const Outcome com = ThroughCom(scenario);
  std::vector<std::string> differences;
  if (direct.result != com.result)
    differences.push_back("result " + std::to_string(direct.result) + " / " +
                          std::to_string(com.result));
  if (direct.error != com.error || direct.source != com.source ||
      direct.description != com.description)
    differences.push_back("error " + std::to_string(direct.error) + " [" + direct.source + "] " +
                          direct.description + " / " + std::to_string(com.error) + " [" +
                          com.source + "] " + com.description);
  const size_t lines = std::max(direct.journal.size(), com.journal.size());
  for (size_t i = 0; i < lines; ++i) {
    const std::string a = i < direct.journal.size() ? direct.journal[i] : "(none)";
    const std::string b = i < com.journal.size() ? com.journal[i] : "(none)";
    if (a != b) {
      differences.push_back("call " + std::to_string(i + 1) + ": " + a + "\n      COM: " + b);
      break;
    }
  }
  if (!com.held.empty()) differences.push_back("held after the COM call: " + com.held.front());
  if (direct.journal.empty()) differences.push_back("the step made no call at all");
  if (differences.empty()) {
    ++g_passed;
    return;
  }
  ++g_failed;
  printf("FAILED: %s\n", scenario.name.c_str());
  for (const std::string& d : differences) printf("    %s\n", d.c_str());
}

// --- Scenarios ------------------------------------------------------------------

std::string DocumentList(const std::vector<int32_t>& ids) {
  std::string items;
  for (int32_t id : ids)
    items +=
        "<document id=\"" + std::to_string(id) + "\" name=\"Doc " + std::to_string(id) + "\"/>";
  return "<dmsobject entitytype=\"document\" dbid=\"" + std::to_string(kDatabase) +
         "\" dbpath=\"\" dbtype=\"1\"><documents>" + items + "</documents></dmsobject>";
}

void FlagStep(sim::Simulator& simulator) {
  simulator.SetProcess(
      {.id = kProcessId, .variables = {sim::ItemListVariable(DocumentList({17, -18, 19}))}});
  sim::TaskSpec task{.task_id = kTaskId, .process_id = kProcessId};
  task.parameters = {{"REASON", Variant("Retention review")}};
  task.variables = {{.name = "MARKEDASRECORDON"}, {.name = "ISVITAL"}};
  simulator.AddTask(std::move(task));
  simulator.AddDatabase(kDatabase);
  for (int32_t id : {17, -18, 19}) simulator.AddDocument(kDatabase, {.id = id});
}

void ApprovalStep(sim::Simulator& simulator, bool third_answered) {
  simulator.SetProcess({.id = kProcessId,
                        .variables = {sim::ItemListVariable(DocumentList({17}))},
                        .process_name = "Contract review"});
  simulator.SetActivity(
      {.process_id = kProcessId, .request_count = 3, .min_responses = 0, .min_approvals = "2"});
  struct Answer {
    int32_t id;
    bool answered;
    bool approved;
    const char* details;
  };
  for (Answer a :
       {Answer{kTaskId, true, true, "Mira approves. "}, Answer{6, true, false, "Jon rejects. "},
        Answer{7, third_answered, true, "Ada approves."}}) {
    sim::TaskSpec task{.task_id = a.id, .process_id = kProcessId, .activity_id = 3};
    task.status = a.answered ? Variant(kTaskCompleted) : Variant(int32_t{1});
    task.variables = {{.name = "APPROVED", .value = Variant(a.approved)},
                      {.name = "DETAILS", .value = Variant(a.details)},
                      {.name = "APPROVALDATE"}};
    simulator.AddTask(std::move(task));
  }
  simulator.AddDatabase(kDatabase);
  simulator.AddDocument(kDatabase, {.id = 17});
}

std::string Resource(const char* id, const char* type, const char* name) {
  return std::string("<resource><id>") + id + "</id><type>" + type + "</type><name>" + name +
         "</name></resource>";
}

void NotifyStep(sim::Simulator& simulator) {
  simulator.AddUser({.id = 1, .name = "ann", .full_name = "Ann Archer", .email = "ann@x.test"});
  simulator.AddUser({.id = 2, .name = "bob", .full_name = "Bob Baker", .email = "bob@x.test"});
  simulator.AddUser({.id = 3, .name = "cy", .full_name = "Cy Cole", .email = "cy@x.test"});
  simulator.AddGroup({.id = 10, .name = "Editors", .members = {2, 3}});
  simulator.SetSetting("General", "AdminEmailId", "admin@x.test");
  simulator.SetSetting("General", "AdminName", "Workflow Admin");
  simulator.SetProcess({.id = kProcessId,
                        .variables = {sim::ItemListVariable(DocumentList({17, 18}))},
                        .initiator_id = Variant("40"),
                        .initiator_type = "dms.user",
                        .initiator_name = "Ivy Initiator",
                        .process_name = "Contract review"});
  sim::TaskSpec task{.task_id = kTaskId, .process_id = kProcessId, .activity_id = 3};
  task.parameters = {
      {"SENDER_LIST", Variant("<resources>" + Resource("1", "dms.user", "Ann Archer") +
                              Resource("10", "dms.group", "Editors") + "</resources>")},
      {"MESSAGE_BODY", Variant("Hello {{\"\\0\",RESOURCENAME}}, please review {{\"\\0\","
                               "PROCESSNAME}}.")},
      {"SUBJECT", Variant("Please read {{\"\\0\",RESOURCENAME}}")}};
  simulator.AddTask(std::move(task));
  simulator.AddDatabase(kDatabase);
  for (int32_t id : {17, 18}) simulator.AddDocument(kDatabase, {.id = id});
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> all;
  all.push_back(
      {.name = "MarkAsVital over three documents", .class_name = "MarkAsVital", .setup = FlagStep});
  all.push_back({.name = "PutOnHold with the second item failing",
                 .class_name = "PutOnHold",
                 .setup = [](sim::Simulator& s) {
                   FlagStep(s);
                   s.InjectFault({.op = "IDmsService.PutOnHold", .skip = 1, .times = 1});
                 }});
  all.push_back({.name = "MarkAsRecord whose Connect fails",
                 .class_name = "MarkAsRecord",
                 .setup = [](sim::Simulator& s) {
                   FlagStep(s);
                   s.InjectFault({.op = "IDmsService.Connect",
                                  .number = 5000,
                                  .description = "database 7 is offline"});
                 }});
  all.push_back({.name = "DocApproval evaluation that stays open",
                 .class_name = "DocApproval",
                 .evaluate = true,
                 .setup = [](sim::Simulator& s) { ApprovalStep(s, false); }});
  all.push_back({.name = "DocApproval evaluation that completes, audited",
                 .class_name = "DocApproval",
                 .evaluate = true,
                 .setup = [](sim::Simulator& s) { ApprovalStep(s, true); }});
  all.push_back(
      {.name = "Notify to a user and a group", .class_name = "Notify", .setup = NotifyStep});
  all.push_back({.name = "Notify without a configuration service",
                 .class_name = "Notify",
                 .options = {.configuration_service = false},
                 .setup = NotifyStep});
  all.push_back({.name = "MarkAsVital without a DMS service",
                 .class_name = "MarkAsVital",
                 .options = {.dms_service = false},
                 .setup = FlagStep});
  return all;
}

}  // namespace

int wmain() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  for (const Scenario& scenario : Scenarios()) Compare(scenario);
  CoUninitialize();
  printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed ? 1 : 0;
}
