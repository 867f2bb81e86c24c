// The sweep's scenarios, modelled on the examples: a records workflow over
// documents, stacks and record series, field steps over invoices, a case file and
// a record series, document operations over draft contracts, the human-task
// steps with their audit trail and notes, the wait and end steps, and a
// notification to users, a group, a role and the initiator.
#include <set>
#include <string>
#include <vector>

#include "fault_sweep.h"

namespace corvane_test {

using pelmark::Variant;
using sim::Field;

std::string EntryName(Entry entry) {
  switch (entry) {
    case Entry::kInitialize:
      return "Initialize";
    case Entry::kExecute:
      return "Execute";
    case Entry::kEvaluate:
      return "Evaluate";
  }
  return "?";
}

RunOutcome RunScenario(const Scenario& scenario, const std::optional<sim::Fault>& fault) {
  RunOutcome out;
  TestPlatform platform;
  sim::Simulator sim;
  scenario.setup(sim, platform);
  if (fault) sim.InjectFault(*fault);
  try {
    pelmark::ComPtr<pelmark::IActivityRuntime> activity = NewActivity(scenario.class_name);
    switch (scenario.entry) {
      case Entry::kInitialize:
        activity->Initialize(sim.Services(), sim.Activity());
        break;
      case Entry::kExecute: {
        pelmark::ITask* task = sim.Task(scenario.task_id);
        out.result = activity->Execute(sim.Services(), task);
        break;
      }
      case Entry::kEvaluate: {
        pelmark::ITask* task = sim.Task(scenario.task_id);
        out.result = activity->EvaluateCompositeTask(sim.Services(), sim.Activity(), task);
        break;
      }
    }
    out.completed = true;
  } catch (const pelmark::Error& e) {
    out.error_number = e.number();
    out.error_source = e.source();
    out.error_description = e.description();
  }
  out.log = platform.log;
  out.journal = sim.Journal();
  out.held = sim.HeldReferences();
  return out;
}

namespace {

constexpr int32_t kDb = 7;
constexpr int32_t kStackType = 9;
constexpr int32_t kSeriesType = 12;
constexpr int32_t kCompletedStatus = 134217729;  // &H08000001

std::string Stacks(const std::vector<int32_t>& ids) {
  std::string items;
  for (int32_t id : ids) items += "<stackitem id=\"" + std::to_string(id) + "\" typecode=\"9\"/>";
  return ItemList("stackitem", kDb, "stack", items);
}

std::string Series(const std::vector<int32_t>& ids) {
  std::string items;
  for (int32_t id : ids)
    items += "<recordseries id=\"" + std::to_string(id) + "\" typecode=\"12\"/>";
  return ItemList("recordseries", kDb, "recordserieslist", items);
}

// A process holding `item_list` and one task with its parameters and variables.
void Step(sim::Simulator& sim, const std::string& item_list,
          std::vector<sim::ParameterSpec> parameters, std::vector<std::string> variables) {
  sim.SetProcess({.id = kProcessId,
                  .variables = {sim::ItemListVariable(item_list)},
                  .initiator_id = "21",
                  .initiator_type = "dms.user",
                  .initiator_name = "Owen Park",
                  .process_name = "Supply contract 2026"});
  sim::TaskSpec task{.task_id = kTaskId, .process_id = kProcessId, .activity_id = 3};
  task.parameters = std::move(parameters);
  for (std::string& name : variables) task.variables.push_back({.name = std::move(name)});
  sim.AddTask(std::move(task));
  sim.AddDatabase(kDb);
}

// Documents 17, 18 and -7 (a draft), two case files with two documents each and
// two record series.
void AddRecords(sim::Simulator& sim) {
  for (int32_t id : {17, 18, -7})
    sim.AddDocument(kDb, {.id = id, .fields = {Field::Text("Title", "Minutes")}});
  for (int32_t stack : {501, 502}) {
    sim.AddDataEntity(kDb, {.id = stack,
                            .type_code = kStackType,
                            .fields = {Field::Text("Case", "Harlow v. Corvane")}});
    for (int32_t doc : {stack * 10 + 1, stack * 10 + 2})
      sim.AddDocument(kDb, {.id = doc, .parent_id = stack, .parent_type_code = kStackType});
  }
  for (int32_t id : {300, 301}) sim.AddRecordSeries(kDb, {.id = id, .type_code = kSeriesType});
}

// Invoices 210 and 211 (211 has no Status), case file 600 holding documents 610
// and 611, record series 700 whose retention label is 88.
void AddFieldData(sim::Simulator& sim) {
  sim.AddDocument(
      kDb, {.id = 210,
            .fields = {Field::Text("Vendor", "Acme Supplies"), Field::Double("Amount", 1250.5),
                       Field::Date("Due Date", 45777), Field::YesNo("Paid", false),
                       Field::Text("Status", "Received")}});
  sim.AddDocument(kDb, {.id = 211,
                        .fields = {Field::Text("Vendor", "Globex"), Field::Double("Amount", 310),
                                   Field::Date("Due Date", 45792), Field::YesNo("Paid", false)}});
  sim.AddDataEntity(kDb,
                    {.id = 600,
                     .type_code = kStackType,
                     .fields = {Field::Double("Case Total", 0), Field::YesNo("Closed", false)}});
  for (int32_t id : {610, 611})
    sim.AddDocument(kDb,
                    {.id = id,
                     .parent_id = 600,
                     .parent_type_code = kStackType,
                     .fields = {Field::Null("Review Date", sim::kDate), Field::Long("Pages", 3)}});
  sim.AddRecordSeries(
      kDb, {.id = 700,
            .type_code = kSeriesType,
            .fields = {Field::Lookup("Retention Label", 88, 57),
                       Field::Null("Review Date", sim::kDate), Field::Text("Code", "HR-01")}});
  sim.AddRetentionLabel(kDb, {.id = 88, .fields = {Field::Choice("Period", 7, "Seven years")}});
}

const std::string kInvoices = DocumentList({210, 211}, kDb);
const std::string kCaseFile =
    ItemList("stackitem", kDb, "stack", "<stackitem id=\"600\" typecode=\"9\"/>");
const std::string kSeries700 =
    ItemList("recordseries", kDb, "recordserieslist", "<recordseries id=\"700\" typecode=\"12\"/>");

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

std::vector<Scenario> FlagScenarios() {
  struct Row {
    const char* class_name;
    const char* time_variable;
    const char* result_variable;
    std::string list;
  };
  const Row rows[] = {
      {"MarkAsArchive", "ARCHIVEDON", "ARCHIVED", Series({300, 301})},
      {"MarkAsRecord", "MARKEDASRECORDON", "ISRECORD", DocumentList({17, 18, -7}, kDb)},
      {"MarkAsVital", "MARKEDASRECORDON", "ISVITAL", DocumentList({17, -7}, kDb)},
      {"PutOnHold", "PUTONHOLDON", "PUTOBHOLD", Stacks({501, 502})},
      {"UnmarkAsVital", "UNMARKASVITALDON", "UNMARKASVITAL", DocumentList({17, 18}, kDb)},
      {"UnmarkAsRecord", "UNMARKASRECORDON", "UNMARKASRECORD", Series({300})},
      {"ResetOnHold", "RESETPUTOBHOLDON", "RESETPUTOBHOLD", Stacks({501, 502})},
  };
  std::vector<Scenario> out;
  for (const Row& r : rows) {
    std::string list = r.list;
    std::vector<std::string> variables = {r.time_variable, r.result_variable};
    out.push_back({.class_name = r.class_name,
                   .setup =
                       [list, variables](sim::Simulator& sim, TestPlatform&) {
                         Step(sim, list, {{"REASON", "Retention period reached"}}, variables);
                         AddRecords(sim);
                       },
                   .suppressed = InsideTheWalk()});
  }
  return out;
}

std::vector<Scenario> RecordsScenarios() {
  return {
      {.class_name = "Delete",
       .setup =
           [](sim::Simulator& sim, TestPlatform&) {
             Step(sim, Stacks({501, 502}),
                  {{"REASON", "Retention ended"}, {"DELETE_CHILD_ITEMS", true}},
                  {"DELETED", "DELETEDON"});
             AddRecords(sim);
           }},
      {.class_name = "ExportToFolder",
       .setup =
           [](sim::Simulator& sim, TestPlatform& platform) {
             platform.paths = {"/", "/exports"};
             Step(sim, DocumentList({17, 18}, kDb),
                  {{"FOLDER", "\\exports\\2025\\harlow\\"}, {"EXPORT_DOCUMENT", false}}, {});
             AddRecords(sim);
           }},
  };
}

std::vector<Scenario> FlowScenarios() {
  auto flow_step = [](std::vector<sim::ParameterSpec> parameters) {
    return [parameters](sim::Simulator& sim, TestPlatform&) {
      sim.SetProcess(
          {.id = kProcessId, .variables = {sim::ItemListVariable(DocumentList({17}, kDb))}});
      sim.AddTask({.task_id = kTaskId,
                   .process_id = kProcessId,
                   .task_date = Variant::Date(kFixedNow - 1),
                   .parameters = parameters,
                   .variables = {{.name = "JOBID", .value = Variant::Null()}}});
      sim.AddDatabase(kDb);
    };
  };
  return {
      {.class_name = "EndWorkflow", .setup = flow_step({})},
      {.class_name = "Wait",
       .setup = flow_step({{"STARTING_FROM", Variant::Null()},
                           {"INTERVAL", 3},
                           {"INTERVAL_TYPE", "days"},
                           {"OFFSET", 2}})},
  };
}

std::vector<Scenario> FieldScenarios() {
  struct Row {
    const char* class_name;
    std::string list;
    const char* field_name;
    std::optional<Variant> field_value;  // FIELDVALUE for the Change steps
    Variant value;                       // VALUE for the Get and Set steps
    const char* looked_up;               // the bare name the Change steps look up
  };
  const Row rows[] = {
      {"GetFieldValue", kSeries700, "parent.Period", {}, Variant::Null(), nullptr},
      {"GetNumericFieldValue", kInvoices, "Amount", {}, Variant::Null(), nullptr},
      {"GetDateTimeFieldValue", kInvoices, "Due Date", {}, Variant::Null(), nullptr},
      {"GetYesNoFieldValue", kInvoices, " self.PAID ", {}, Variant::Null(), nullptr},
      {"SetFieldValue", kSeries700, "Code", {}, 42, nullptr},
      {"SetNumericFieldValue", kCaseFile, "Case Total", {}, "1,250.75", nullptr},
      {"SetYesNoFieldValue", kInvoices, "Paid", {}, "True", nullptr},
      {"SetDateTimeFieldValue", kSeries700, "self.Review Date", {}, "12/31/2031", nullptr},
      {"ChangeFieldValue", kInvoices, "Status", "Approved", Variant::Null(), "Status"},
      {"ChangeNumericFieldValue", kCaseFile, "docs.Pages", "12", Variant::Null(), "Pages"},
      {"ChangeDateTimeFieldValue", kCaseFile, "docs.Review Date", "9/1/2025", Variant::Null(),
       "Review Date"},
      {"ChangeYesNoFieldValue", kCaseFile, "Closed", "True", Variant::Null(), "Closed"},
  };
  std::vector<Scenario> out;
  for (const Row& r : rows) {
    std::vector<sim::ParameterSpec> parameters = {{"FIELDNAME", r.field_name}};
    std::vector<std::string> variables;
    if (r.field_value)
      parameters.push_back({"FIELDVALUE", *r.field_value});
    else
      variables.push_back("VALUE");
    std::string list = r.list;
    Variant value = r.value;
    Scenario s{.class_name = r.class_name,
               .setup = [list, parameters, variables, value](sim::Simulator& sim, TestPlatform&) {
                 Step(sim, list, parameters, variables);
                 if (!variables.empty())
                   sim.SetTaskVariable(kTaskId, {.name = "VALUE", .value = value});
                 AddFieldData(sim);
               }};
    if (r.looked_up) s.suppressed = FieldLookupFails(r.looked_up);
    out.push_back(std::move(s));
  }
  return out;
}

void AddContracts(sim::Simulator& sim) {
  sim.AddDocument(kDb, {.id = -31, .major_version = 1, .minor_version = 3});
  sim.AddDocument(kDb, {.id = -32, .major_version = 2, .minor_version = 1});
  sim.AddDataEntity(kDb, {.id = 501, .type_code = kStackType});
  for (int32_t doc : {5011, 5012})
    sim.AddDocument(kDb, {.id = doc, .parent_id = 501, .parent_type_code = kStackType});
  sim.AddSecurityLabel(kDb, "Confidential", 3);
  sim.AddUser({.id = 18, .name = "mkhan", .full_name = "Mira Khan", .email = "mira@example.org"});
  sim.AddUser({.id = 21, .name = "opark", .full_name = "Owen Park", .email = "owen@example.org"});
  sim.AddGroup({.id = 40, .name = "Legal", .members = {18}});
}

const std::string kContracts = DocumentList({-31, -32}, kDb);
const std::string kShareList =
    "<resources><resource><id>40</id><type>DMS.GROUP</type></resource>"
    "<resource><id>18</id><type>DMS.USER</type></resource>"
    "<resource><id>-2</id><type>dms.user</type></resource></resources>";

std::vector<Scenario> DocOpsScenarios() {
  auto docops_step = [](std::string list, std::vector<sim::ParameterSpec> parameters,
                        std::vector<std::string> variables) {
    return [list, parameters, variables](sim::Simulator& sim, TestPlatform&) {
      Step(sim, list, parameters, variables);
      AddContracts(sim);
    };
  };
  std::vector<Scenario> out = {
      {.class_name = "AutoStamp",
       .setup = docops_step(kContracts,
                            {{"LEFT", 1},
                             {"TOP", 0.5},
                             {"WIDTH", "3"},
                             {"HEIGHT", 1.5},
                             {"UNIT", ""},
                             {"PAGE_NUMBER", 1},
                             {"STAMP_NAME", "APPROVED"}},
                            {"STAMPEDON", "STAMPNAME"})},
      {.class_name = "Publish",
       .setup = docops_step(kContracts, {{"PUBLISH_AS_MAJOR_VERSION", true}}, {})},
      {.class_name = "ApplySecurityLabel",
       .setup =
           docops_step(Stacks({501}), {{"LABEL_NAME", "Confidential"}, {"CHILD_INHERITS", true}},
                       {"LABELNAME", "LABELAPPLIED"})},
      {.class_name = "ShareEntity",
       .setup = docops_step(Stacks({501}),
                            {{"SHARED_WITH", kShareList},
                             {"ALLOW_MODIFY", true},
                             {"ALLOW_DELETE", false},
                             {"CHILD_INHERITS", true}},
                            {})},
  };
  return out;
}

// The human-task steps: a step with two answered tasks over two documents (or
// a case file for ToDo), every event code set.
void HumanStep(sim::Simulator& sim, const std::string& item_list, const char* answer_variable,
               const char* date_variable, bool with_format) {
  sim.SetProcess({.id = kProcessId,
                  .variables = {sim::ItemListVariable(item_list)},
                  .initiator_id = "21",
                  .initiator_name = "Owen Park",
                  .process_name = "Supply contract 2026"});
  sim.SetActivity({.process_id = kProcessId, .request_count = 2, .min_approvals = "1"});
  sim.AddDatabase(kDb);
  int32_t code = 300;
  for (const char* event :
       {"approval_request", "approval_response", "approved", "rejected", "review_request",
        "review_response", "review_acknowledge", "todo_request", "todo_response", "todo_conformed",
        "signature_request"}) {
    ++code;
    for (int32_t type_code : {2, kStackType}) sim.SetEventCode(type_code, event, code);
  }
  const struct {
    int32_t id;
    const char* resource;
    const char* name;
    bool answer;
    const char* comment;
  } answers[] = {{kTaskId, "18", "Mira Khan", true, " Penalty clause 7 is too weak. "},
                 {kTaskId + 1, "19", "Tom Reyes", false, "Fine"}};
  for (const auto& a : answers) {
    sim::TaskSpec task{.task_id = a.id,
                       .process_id = kProcessId,
                       .resource_id = a.resource,
                       .resource_type = "dms.user",
                       .resource_name = a.name,
                       .status = kCompletedStatus};
    if (with_format) {
      task.parameters = {
          {"DETAIL_FORMAT", "{{\"\\0: \\1 (\\2); \",RESOURCENAME," + std::string(answer_variable) +
                                "," + date_variable + "}}"},
          {"COMMENTSASNOTES", true}};
      task.variables = {{.name = answer_variable, .value = a.answer},
                        {.name = "COMMENTS", .value = a.comment},
                        {.name = "DETAILS"},
                        {.name = date_variable}};
    }
    sim.AddTask(std::move(task));
  }
  for (int32_t id : {17, 18})
    sim.AddDocument(kDb, {.id = id, .major_version = 1, .minor_version = 2});
  sim.AddDataEntity(kDb, {.id = 501, .type_code = kStackType});
}

std::vector<Scenario> HumanTaskScenarios() {
  std::vector<Scenario> out;
  const struct {
    const char* class_name;
    std::string list;
    const char* answer;
    const char* date;
    bool with_format;
  } rows[] = {
      {"DocApproval", DocumentList({17, 18}, kDb), "APPROVED", "APPROVALDATE", true},
      {"Review", DocumentList({17, 18}, kDb), "REVIEWED", "REVIEWDATE", true},
      {"ToDo", Stacks({501}), "", "", false},
  };
  for (const auto& r : rows) {
    std::string list = r.list, answer = r.answer, date = r.date;
    bool with_format = r.with_format;
    auto setup = [list, answer, date, with_format](sim::Simulator& sim, TestPlatform&) {
      HumanStep(sim, list, answer.c_str(), date.c_str(), with_format);
    };
    for (Entry entry : {Entry::kInitialize, Entry::kExecute, Entry::kEvaluate})
      out.push_back({.class_name = r.class_name,
                     .entry = entry,
                     .task_id = kTaskId + 1,
                     .setup = setup,
                     .suppressed = EitherOf(NoteFails(), TemplateValueReads())});
  }
  auto signature = [](sim::Simulator& sim, TestPlatform&) {
    HumanStep(sim, DocumentList({17, 18}, kDb), "", "", false);
    sim.SetTaskVariable(kTaskId, {.name = "SIGN", .value = true});
    sim.SetTaskVariable(kTaskId, {.name = "SIGNEDON"});
    sim.SetTaskVariable(kTaskId, {.name = "SIGNEDBY"});
    for (sim::ParameterSpec p : std::vector<sim::ParameterSpec>{{"LEFT", 4.5},
                                                                {"TOP", 9},
                                                                {"WIDTH", 2},
                                                                {"HEIGHT", 0.75},
                                                                {"UNIT", "in"},
                                                                {"PAGE_NUMBER", 3}})
      sim.SetTaskParameter(kTaskId, std::move(p));
  };
  out.push_back({.class_name = "Signature", .entry = Entry::kInitialize, .setup = signature});
  out.push_back({.class_name = "Signature", .entry = Entry::kExecute, .setup = signature});
  return out;
}

Scenario NotifyScenario() {
  return {.class_name = "Notify",
          .setup =
              [](sim::Simulator& sim, TestPlatform&) {
                sim.SetSetting("General", "AdminEmailId", "workflow@corvane.example");
                sim.SetSetting("General", "AdminName", "Contract Workflow");
                sim.AddUser(
                    {.id = 18, .name = "mkhan", .full_name = "Mira Khan", .email = "mira@x.test"});
                sim.AddUser(
                    {.id = 19, .name = "treyes", .full_name = "Tom Reyes", .email = "tom@x.test"});
                sim.AddUser({.id = 22, .name = "asilva", .full_name = "Ana Silva", .email = ""});
                sim.AddUser(
                    {.id = 21, .name = "opark", .full_name = "Owen Park", .email = "owen@x.test"});
                sim.AddGroup({.id = 40, .name = "Legal", .members = {18, 19}});
                sim.AddRole({.id = 50, .name = "Contract manager", .members = {19, 22}});
                std::string items =
                    "<document id=\"17\" typecode=\"2\" name=\"Supply contract\"/>"
                    "<document id=\"18\" typecode=\"2\" name=\"Annex B\"/>";
                Step(sim, ItemList("document", kDb, "documents", items),
                     {{"SENDER_LIST",
                       "<resources><resource><id>18</id><type>dms.user</type><name>Mira Khan</name>"
                       "</resource><resource><id>40</id><type>dms.group</type><name>Legal</name>"
                       "</resource><resource><id>50</id><type>dms.role</type><name>Contract "
                       "manager</name></resource><resource><id>-2</id><type>dms.user</type>"
                       "<name>Initiator</name></resource></resources>"},
                      {"MESSAGE_BODY",
                       "Dear {{\"\\0\",RESOURCENAME}}, \"{{\"\\0\",PROCESSNAME}}\" is approved: "
                       "{{N:dmsobject\"[\\0] \",dmsobject.name}}"},
                      {"SUBJECT", "Supply contract 2026 approved"},
                      {"MODE", "Email"}},
                     {});
              },
          .suppressed = TemplateValueReads()};
}

}  // namespace

std::vector<Scenario> AllScenarios() {
  std::vector<Scenario> out;
  for (auto* family : {&FlagScenarios, &RecordsScenarios, &FlowScenarios, &FieldScenarios,
                       &DocOpsScenarios, &HumanTaskScenarios})
    for (Scenario& s : (*family)()) out.push_back(std::move(s));
  out.push_back(NotifyScenario());
  return out;
}

}  // namespace corvane_test
