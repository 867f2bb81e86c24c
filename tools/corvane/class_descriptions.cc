#include "class_descriptions.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "corvane/catalogue.h"

namespace corvane::cli {
namespace {

using Json = nlohmann::ordered_json;

// --- Pieces several classes share ----------------------------------------------

const std::string kFrontErrors =
    "the item list has no dmsobject element or lacks one of its attributes entitytype, dbid, "
    "dbpath or dbtype (91), or dbid or dbtype is no number (13); errors the DMS raises on "
    "Connect";
const std::string kSelectorError =
    "an entitytype other than document, stackitem or recordseries: the list selector is \"//\" "
    "alone, which is no valid XPath expression (-2147467259, source Corvane.XmlDocument)";
const std::string kUnknownParameter =
    "a parameter the step does not have: the host refuses the name";
const std::string kUnknownVariable = "a task variable the task does not have: the host refuses it";
const std::string kDefaultInitialize = "nothing: no host call";
const std::string kDefaultEvaluate = "1, always, without reading the task";
const std::string kDone = "1 when the work is done";
// What a parameter converted to Boolean accepts.
const std::string kBooleanValues =
    "True or False; numbers convert too (0 is False, any other True), and the texts \"True\" and "
    "\"False\" in any case; Null or other text fails (94, 13)";
const std::string kDoneSummary =
    "Every item of the item list (the first process variable, of type dms.object) is handled; "
    "without a DmsService, an item list, or with dbid -1, no item is touched.";

ParameterDoc TaskParameter(std::string name, std::string type, bool required,
                           std::string default_value, std::string allowed, std::string meaning,
                           Json sample) {
  return {std::move(name),          ParameterScope::kTask, std::move(type),    required,
          std::move(default_value), std::move(allowed),    std::move(meaning), std::move(sample)};
}

ParameterDoc StepParameter(std::string name, std::string type, bool required,
                           std::string default_value, std::string allowed, std::string meaning,
                           Json sample) {
  ParameterDoc p =
      TaskParameter(std::move(name), std::move(type), required, std::move(default_value),
                    std::move(allowed), std::move(meaning), std::move(sample));
  p.scope = ParameterScope::kStep;
  return p;
}

ErrorDoc ExecuteError(const std::string& class_name, std::string cause) {
  return {class_name + ": IActivityRuntime_Execute Function Ln ", std::move(cause)};
}
ErrorDoc PrivateError(const std::string& class_name, const std::string& procedure,
                      std::string cause) {
  return {class_name + ":" + procedure + " Ln ", std::move(cause)};
}

// --- Records-management flags --------------------------------------------------

ClassDescription Flag(std::string name, std::string operation, std::string stamp_variable,
                      std::string result_variable, bool record_series) {
  ClassDescription d;
  d.name = name;
  d.family = "Records-management flags";
  d.summary =
      "Calls the DMS operation " + operation +
      " once for every item of the item list, with the reason from REASON, then records "
      "in " +
      stamp_variable + " when it ran and in " + result_variable +
      " whether it walked a list. An error on one item is skipped and the walk goes on "
      "with the next; " +
      result_variable + " says that the list was walked, not that each item succeeded." +
      (record_series ? ""
                     : " Record series are not processed: for an item list of kind recordseries "
                       "the DMS is connected and disconnected, and nothing else happens.");
  d.parameters = {TaskParameter(
      "REASON", "text", true, "", "any text; Null gives the empty text",
      "The reason passed to " + operation +
          " for every item. It is read once per item, together with the call: when the step has "
          "no REASON (a misspelt name, for instance) the read fails, the error is skipped like "
          "any per-item error, and no item is processed, although " +
          result_variable + " still becomes True.",
      "Kept for the retention schedule")};
  d.writes = {{stamp_variable, "date and time", "the current date and time, set on every run"},
              {result_variable, "Boolean",
               "True when the item list's list element was found and walked; False without a "
               "DmsService, an item list, a connection (dbid -1) or the list element" +
                   std::string(record_series ? "" : ", and for record series")}};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone + " (also when items failed)";
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {
      ExecuteError(name, kFrontErrors + "; " + kUnknownVariable + " (" + stamp_variable + ", " +
                             result_variable + "); the task variables are then not written"),
      PrivateError(name, "ProcessItems",
                   kSelectorError +
                       ". Errors inside the item walk (the DMS operation, REASON, an item without "
                       "a readable id) are skipped item by item and never reach the host"),
  };
  return d;
}

// --- Field values ---------------------------------------------------------------

const std::string kFieldNameMeaning =
    "The field to address, on every item. Lower-cased and trimmed. A name without a full stop, "
    "or beginning with \"self.\", is the item's own field. Any other prefix (\"parent.\", "
    "\"docs.\", ...) addresses, on a document, the field of its parent data entity (the "
    "document itself when it is filed in none); on a stack, the field of every document filed "
    "in it; on a record series";

// A field of the kind the member reads or writes, which the skeleton's document has.
std::string SampleField(const std::string& class_name) {
  if (class_name.find("Numeric") != std::string::npos) return "Amount";
  if (class_name.find("YesNo") != std::string::npos) return "Signed";
  if (class_name.find("DateTime") != std::string::npos) return "Due";
  return "Title";
}

ParameterDoc FieldName(const std::string& class_name, bool get_family, bool text_member) {
  std::string meaning = kFieldNameMeaning +
                        (get_family ? ", with \"parent.\", the field of its retention label "
                                      "(other prefixes do nothing)"
                                    : ", nothing (record series are skipped)") +
                        ". The part behind the first full stop is the field name.";
  if (text_member)
    meaning +=
        " A name matching \"process.*\" (case-sensitive) reads the process variable of that "
        "whole name instead of a field.";
  return TaskParameter("FIELDNAME", "text", true, "",
                       "a field name, optionally with a prefix: Title, self.Title, parent.Title" +
                           std::string(text_member ? ", process.Total" : ""),
                       meaning, SampleField(class_name));
}

std::vector<ErrorDoc> FieldErrors(const std::string& name, const std::string& conversion) {
  std::string per_item = "a field name the entity does not have (" +
                         std::string(name.starts_with("Change") ? "the item is skipped, no error"
                                                                : "the DMS's error") +
                         "); " + conversion +
                         "; a fetch that must find an entity and finds Nothing (91); errors the "
                         "DMS raises. The procedure stops at that item";
  std::vector<ErrorDoc> errors = {
      ExecuteError(name, kFrontErrors + "; " + kUnknownParameter + " (FIELDNAME)"),
      PrivateError(name, "ProcessDocument", per_item),
      PrivateError(name, "ProcessRecordSeries", per_item),
      PrivateError(name, "ProcessStack", per_item),
  };
  if (name == "GetFieldValue")
    errors.push_back({"GetFieldValue: ProcessParameters Function Ln ",
                      "errors reading the process variable named by a process.* FIELDNAME"});
  return errors;
}

ClassDescription Get(std::string name, std::string converts, std::string null_output) {
  ClassDescription d;
  d.name = name;
  d.family = "Field values";
  d.summary = "Reads the field FIELDNAME addresses on every item into the task variable VALUE " +
              converts + "; with several items the last one's value remains. " + kDoneSummary;
  const bool text = name == "GetFieldValue";
  d.parameters = {FieldName(name, true, text)};
  d.writes = {
      {"VALUE", text ? "text" : null_output,
       "the field's value " + converts + "; when nothing is addressed, VALUE keeps what it held"}};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = FieldErrors(name, text ? "a yes/no field whose value is no number (13)"
                                    : "a value that does not convert (13), such as text that is "
                                      "no number, Boolean or date");
  d.errors.front().cause += "; " + kUnknownVariable + " (VALUE)";
  return d;
}

ClassDescription Set(std::string name, std::string converts, bool change, Json sample) {
  ClassDescription d;
  d.name = name;
  d.family = "Field values";
  const std::string source = change ? "the parameter FIELDVALUE" : "the task variable VALUE";
  d.summary = "Writes " + source + " into the field FIELDNAME addresses on every item, " +
              converts + ", and stores the entity; a blank value clears the field (Null)." +
              (change ? " An item whose entity lacks the field is skipped without an error." : "") +
              " " + kDoneSummary;
  d.parameters = {FieldName(name, false, false)};
  if (change)
    d.parameters.push_back(TaskParameter(
        "FIELDVALUE", "any", true, "", "a value that converts as described; blank clears the field",
        "The value written, " + converts +
            ". Read afresh for every addressed field and used as written: no template "
            "expansion. Text that is blank after trimming sets the field to Null.",
        sample));
  else
    d.reads = {{"VALUE", "any",
                "the value written, " + converts + "; read afresh for every addressed field",
                sample}};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = FieldErrors(name, "a value that does not convert (13); a Null value (94)");
  if (!change) d.errors.front().cause += "; " + kUnknownVariable + " (VALUE)";
  return d;
}

const std::string kByDataType =
    "converted by the field's data type (5 Double, 7 Date, 11 Boolean, 12 Long, 14, 200 and 201 "
    "text; other types are left alone but the entity is still stored)";

// --- Document operations -------------------------------------------------------

std::vector<ParameterDoc> RectangleParameters(const std::string& what) {
  return {
      TaskParameter("LEFT", "number", true, "", "a number", "Left edge of the " + what + ".", 1),
      TaskParameter("TOP", "number", true, "", "a number", "Top edge of the " + what + ".", 1),
      TaskParameter("WIDTH", "number", true, "", "a number",
                    "Width: the right edge is LEFT + WIDTH, added as numbers.", 2),
      TaskParameter("HEIGHT", "number", true, "", "a number",
                    "Height: the bottom edge is TOP + HEIGHT, added as numbers.", 1),
      TaskParameter("UNIT", "any", false, "the unit the DMS gives new annotations",
                    "any value; only its presence counts",
                    "When present, the annotation's unit is \"in\" (inches), whatever the value.",
                    "in"),
      TaskParameter("PAGE_NUMBER", "whole number", true, "", "a page number",
                    "The page that carries the " + what + ", written as given.", 1),
  };
}

ParameterDoc ChildInherits(const std::string& what) {
  return TaskParameter("CHILD_INHERITS", "Boolean", true, "", kBooleanValues,
                       "Stack item lists only: when True, the documents filed in each stack " +
                           what + " too, after the stack. Read only for stacks.",
                       false);
}

// --- Human tasks ----------------------------------------------------------------

const std::string kAuditSwitchMeaning =
    "Write audit events. Absent means True; when present, its value converted to Boolean.";

// The task's identity, the process instance and the per-item names: the same
// for the human-task steps and Notify.
void AppendTaskAndProcessVariables(std::vector<TemplateVariableDoc>& variables,
                                   const std::string& link_note) {
  std::vector<TemplateVariableDoc> shared = {
      {"TASKID", "the task's TaskID"},
      {"TASKINDEX", "the task's TaskIndex"},
      {"PROCESSID", "the task's ProcessID"},
      {"ACTIVITYID", "the task's ActivityID"},
      {"PROCESSNAME", "the process instance's ProcessName"},
      {"INITIATORCOMMENT", "the process instance's InitiatorComment"},
      {"INITIATORID", "the process instance's InitiatorID"},
      {"INITIATORNAME", "the process instance's InitiatorName"},
      {"INITIATORTYPE", "the process instance's InitiatorType"},
      {"dmsobject.id",
       "in an expression repeated over a dms.object process variable: the item's "
       "id"},
      {"dmsobject.name", "likewise: the item's name"},
      {"dmsobject.link",
       "likewise: the ConfigurationService setting Links/<entitytype> with =# replaced by =id, "
       "=$ by =typecode and =! by =dbid" +
           link_note},
  };
  variables.insert(variables.end(), shared.begin(), shared.end());
}

std::vector<TemplateVariableDoc> TaskTemplateVariables(const std::string& flag,
                                                       const std::string& date) {
  std::vector<TemplateVariableDoc> variables = {
      {flag, "\"Yes\" when the task variable " + flag + " is True, \"No\" when False"},
      {"COMMENTS", "the task variable COMMENTS as text"},
      {"DETAILS", "the task variable DETAILS as text"},
      {date, "the task variable " + date +
                 " as \"ddd,mmm d yyyy h:mm AM/PM\" (Fri,Dec 4 2026 9:05 PM); each of these four "
                 "gives \"-\" when its variable is null"},
      {"RESOURCENAME", "the task's ResourceName"},
      {"RESOURCEID", "the task's ResourceID"},
      {"RESOURCETYPE", "the task's ResourceType"},
  };
  AppendTaskAndProcessVariables(variables, "; empty without a ConfigurationService");
  return variables;
}

const std::string kTaskTemplates =
    "DETAIL_FORMAT is a format template ({{\"format\", VARIABLE, ...}}). Names are upper-cased "
    "and looked up below; any other name gives empty text and never an error. DETAILS receives "
    "the rendering of the template's first expression only: text outside expressions is not "
    "part of it, and a template without expressions gives empty DETAILS.";

std::vector<ErrorDoc> HumanTaskErrors(const std::string& owner, const std::string& step, bool notes,
                                      bool record_series, const std::string& audit_dispatcher) {
  std::vector<ErrorDoc> errors = {
      {step + ": IActivityRuntime_Initialize Sub (",
       "a step AUDIT_ACTIVITY that does not convert to Boolean (13); errors of the audit"},
      {step + ": IActivityRuntime_Execute Function (",
       notes ? "a missing COMMENTSASNOTES (the host refuses the name); " + kUnknownVariable +
                   "; a DETAIL_FORMAT the template engine cannot parse (its "
                   "CFormatParser location comes first); a Null COMMENTS with notes on (94); "
                   "errors of the notes and the audit"
             : "a task AUDIT_ACTIVITY that does not convert to Boolean (13); errors of the audit"},
      {step + ": IActivityRuntime_EvaluateCompositeTask Function (",
       std::string(step == "Approval" ? "a MinApprovals that is no number (13); " : "") +
           (notes ? kUnknownVariable + "; " : "") + "errors of the audit"},
  };
  if (notes) {
    errors.push_back({owner + ": AddNote Function Ln ", "errors finding the item list for notes"});
    errors.push_back(PrivateError(owner, "ProcessDocument",
                                  "errors of the document note walk; AddComment errors are "
                                  "skipped item by item"));
    errors.push_back(PrivateError(owner, "ProcessStack",
                                  "errors of the stack note walk; AddComment errors are skipped "
                                  "item by item"));
    errors.push_back(PrivateError(owner, "SetObjectVariable",
                                  "a dmsobject.link variable and an item without a typecode "
                                  "(91)"));
  }
  errors.push_back(PrivateError(
      owner, audit_dispatcher,
      kFrontErrors.substr(0, kFrontErrors.find(';')) + " (only entitytype and dbid are read)"));
  errors.push_back(PrivateError(owner, "AuditDocumentEvent",
                                "errors storing audit records or reading a document's version "
                                "fields"));
  errors.push_back(PrivateError(owner, "AuditStackEvent", "errors storing audit records"));
  if (record_series)
    errors.push_back(PrivateError(owner, "AuditRecordSeriesEvent", "errors storing audit records"));
  return errors;
}

std::vector<ParameterDoc> DetailParameters() {
  return {
      TaskParameter("DETAIL_FORMAT", "format template", false, "empty text (empty DETAILS)",
                    "a format template; see Template variables",
                    "Renders the task's detail text into DETAILS when the task is answered.",
                    "{{\"\\0: \\1\", RESOURCENAME, COMMENTS}}"),
      TaskParameter("COMMENTSASNOTES", "Boolean", true, "",
                    "True or False; compared as equal to True (the number 1 is not True)",
                    "When True, the resource's COMMENTS, trimmed, is attached as a comment note "
                    "to every document and stack item (record series get none); blank comments "
                    "add no note.",
                    false),
  };
}

ClassDescription DocApproval() {
  ClassDescription d;
  d.name = "DocApproval";
  d.family = "Human tasks";
  d.summary =
      "Approval step. Initialize audits the request; Execute handles one answered task: stamps "
      "APPROVALDATE, renders DETAILS from DETAIL_FORMAT, optionally stores COMMENTS as a note on "
      "the items and audits approved or rejected; EvaluateCompositeTask counts the answers of "
      "every task of the step and decides by the table below whether the step is approved, "
      "rejected or still open.";
  d.parameters = {StepParameter("AUDIT_ACTIVITY", "Boolean", false, "True", kBooleanValues,
                                kAuditSwitchMeaning +
                                    " Read by Initialize (approval_request, only when "
                                    "RequestCount >= 1) and by the final evaluation "
                                    "(approval_response).",
                                true)};
  for (ParameterDoc& p : DetailParameters()) d.parameters.push_back(std::move(p));
  d.parameters.push_back(TaskParameter("AUDIT_ACTIVITY", "Boolean", false, "True", kBooleanValues,
                                       kAuditSwitchMeaning +
                                           " Read by Execute (approved or rejected, by the "
                                           "task's APPROVED).",
                                       true));
  d.templates = kTaskTemplates;
  d.template_variables = TaskTemplateVariables("APPROVED", "APPROVALDATE");
  d.reads = {{"APPROVED", "Boolean",
              "the resource's answer (True = approved): chooses the audit event in Execute and "
              "counts as an approval in the evaluation",
              true},
             {"COMMENTS", "text", "the resource's comment; read when COMMENTSASNOTES is True",
              "Looks good"},
             {"DETAILS", "text", "of every answered task, joined by the evaluation"}};
  d.writes = {{"APPROVALDATE", "date and time", "now, by Execute and by the evaluation"},
              {"DETAILS", "text",
               "Execute: this task's rendered details; evaluation: the details of every answered "
               "task joined in task order, for every result"},
              {"APPROVED", "Boolean", "the evaluation's decision, on the task it is given"}};
  d.initialize =
      "audits approval_request for every item when RequestCount >= 1 and the step's "
      "AUDIT_ACTIVITY is on; comment \"CaseID: <ProcessName>; Approval Request: <N>; Min "
      "Approvals: <MinApprovals>\", audit user the initiator";
  d.execute_results = "1, always, when the call completes";
  d.evaluate_results = "1 when the step is complete (approved or rejected), 3 while it waits";
  d.services = {"DmsService", "ConfigurationService"};
  d.errors = HumanTaskErrors("DocApproval", "Approval", true, true, "AuditEvent");
  d.decision_counts =
      "N = the step's RequestCount; T = MinResponses (answers to wait for; 0 decides at every "
      "answer); M = MinApprovals as a number; C = tasks whose Status is completed (0x08000001); "
      "A = those of them whose APPROVED equals True. APPROVED is written on the task passed in.";
  d.decision = {
      {"N = 0", "True", 1},
      {"T = 0 and M = 0", "True if A > 0, else False", 1},
      {"T = 0 and M > 0 and A >= M", "True", 1},
      {"T = 0 and M > 0 and A < M and M - A <= N - C", "False", 3},
      {"T = 0 and M > 0 and A < M and M - A > N - C", "False", 1},
      {"C = N", "True if A >= M, else False", 1},
      {"C >= T and A >= M", "True", 1},
      {"C >= T and A < M and M - A <= N - C", "False", 3},
      {"C >= T and A < M and M - A > N - C", "False", 1},
      {"otherwise (C < T)", "False", 3},
  };
  return d;
}

ClassDescription Review() {
  ClassDescription d;
  d.name = "Review";
  d.family = "Human tasks";
  d.summary =
      "Review step. Initialize audits the request; Execute handles one answered task: stamps "
      "REVIEWDATE, renders DETAILS from DETAIL_FORMAT, optionally stores COMMENTS as a note and "
      "audits the acknowledgement; EvaluateCompositeTask completes the step when every task is "
      "answered. There is no approval decision and no minimum.";
  d.parameters = {StepParameter("AUDIT_ACTIVITY", "Boolean", false, "True", kBooleanValues,
                                kAuditSwitchMeaning +
                                    " Read by Initialize (review_request, also for a step "
                                    "without tasks) and by the final evaluation "
                                    "(review_response).",
                                true)};
  for (ParameterDoc& p : DetailParameters()) d.parameters.push_back(std::move(p));
  d.parameters.push_back(
      TaskParameter("AUDIT_ACTIVITY", "Boolean", false, "True", kBooleanValues,
                    kAuditSwitchMeaning + " Read by Execute (review_acknowledge).", true));
  d.templates = kTaskTemplates;
  d.template_variables = TaskTemplateVariables("REVIEWED", "REVIEWDATE");
  d.reads = {{"COMMENTS", "text", "the resource's comment; read when COMMENTSASNOTES is True",
              "Looks good"},
             {"DETAILS", "text", "of every answered task, joined by the evaluation"}};
  d.writes = {{"REVIEWDATE", "date and time", "now, by Execute and by the evaluation"},
              {"DETAILS", "text",
               "Execute: this task's rendered details; evaluation: the details of every answered "
               "task joined in task order, for every result"}};
  d.initialize =
      "audits review_request for every item when the step's AUDIT_ACTIVITY is on; comment "
      "\"CaseID: <ProcessName>; Review Request: <Tasks.Count>;\", audit user the initiator";
  d.execute_results = "1, always, when the call completes";
  d.evaluate_results = "1 when every task is answered, 3 while it waits";
  d.services = {"DmsService", "ConfigurationService"};
  d.errors = HumanTaskErrors("Review", "Review", true, true, "Auditevent");
  d.decision_counts =
      "C = tasks of the step whose Status is completed (0x08000001); Tasks.Count = all tasks of "
      "the step.";
  d.decision = {{"C >= Tasks.Count", "", 1}, {"otherwise", "", 3}};
  return d;
}

ClassDescription ToDo() {
  ClassDescription d;
  d.name = "ToDo";
  d.family = "Human tasks";
  d.summary =
      "To-do step: counts confirmed tasks and audits. Initialize audits the request, Execute "
      "audits one confirmation, EvaluateCompositeTask completes the step when every task is "
      "confirmed. No template, no notes, no task variables; record series are not audited.";
  d.parameters = {
      StepParameter("AUDIT_ACTIVITY", "Boolean", false, "True", kBooleanValues,
                    kAuditSwitchMeaning +
                        " Read by Initialize (todo_request) and by the final evaluation "
                        "(todo_response).",
                    true),
      TaskParameter("AUDIT_ACTIVITY", "Boolean", false, "True", kBooleanValues,
                    kAuditSwitchMeaning + " Read by Execute (todo_conformed).", true),
  };
  d.initialize =
      "audits todo_request for every document and stack item when the step's AUDIT_ACTIVITY is "
      "on; comment \"CaseID: <ProcessName>; ToDo Request: <Tasks.Count>;\", audit user the "
      "initiator";
  d.execute_results = "1, always, when the call completes";
  d.evaluate_results = "1 when every task is confirmed, 3 while it waits";
  d.services = {"DmsService"};
  d.errors = HumanTaskErrors("ToDo", "ToDo", false, false, "Auditevent");
  d.decision_counts =
      "C = tasks of the step whose Status is completed (0x08000001); Tasks.Count = all tasks of "
      "the step. No task variable is written.";
  d.decision = {{"C >= Tasks.Count", "", 1}, {"otherwise", "", 3}};
  return d;
}

// --- The rest, one by one -------------------------------------------------------

ClassDescription Notify() {
  ClassDescription d;
  d.name = "Notify";
  d.family = "Notification";
  d.summary =
      "Resolves SENDER_LIST into a pool of users (groups and roles expanded, each person once, "
      "in the order first reached) and posts and delivers to each a message whose body is "
      "MESSAGE_BODY rendered for that person; with MODE email, one more e-mail message with the "
      "body as written goes to every person that has an e-mail address.";
  d.parameters = {
      TaskParameter(
          "SENDER_LIST", "XML text", true, "",
          "<resource> elements, each with <id>, <type> (dms.user, dms.group or dms.role, any "
          "case) and <name>; <email> is used when there is no DmsService. The id -2 stands for "
          "the process initiator",
          "Who receives the message. Trimmed; empty gives nobody. Users are taken as listed "
          "(their e-mail from the DMS), groups and roles add their member users; other types "
          "are skipped.",
          "<resources><resource><id>21</id><type>dms.user</type><name>Ann Lee</name>"
          "<email>ann@example.com</email></resource></resources>"),
      TaskParameter("MESSAGE_BODY", "format template", true, "",
                    "text, optionally with format expressions; see Template variables",
                    "The message body, rendered for each person (re-rendered while the result "
                    "still holds \"{{\", at most 100 times). Not trimmed.",
                    "Dear {{\"\\0\", RESOURCENAME}}, please see {{\"\\0\", PROCESSNAME}}."),
      TaskParameter("SUBJECT", "text", true, "", "any text",
                    "The message subject, used as written: never rendered as a template. Read "
                    "for each message, so a run that sends none does not miss it.",
                    "Documents to read"),
      TaskParameter("MODE", "text", false, "no e-mail message",
                    "\"email\" (any case); any other value sends no e-mail",
                    "With \"email\", one more message, with the body as written (not rendered) "
                    "and no attachment, is handed to SendEmail for every pool member with an "
                    "e-mail address.",
                    "email"),
  };
  d.templates =
      "MESSAGE_BODY is a format template, rendered once for every person of the pool. Names "
      "are upper-cased and looked up below; any other name gives empty text. Unlike the "
      "approval and review steps there is no answer group: APPROVED, REVIEWED, COMMENTS, "
      "DETAILS, APPROVALDATE and REVIEWDATE give empty text, and the resource names are the "
      "recipient's, not the task's.";
  d.template_variables = {
      {"RESOURCENAME", "the recipient's name"},
      {"RESOURCEID", "the recipient's user id"},
      {"RESOURCETYPE", "the recipient's type (dms.user)"},
  };
  AppendTaskAndProcessVariables(d.template_variables, "");
  d.initialize = kDefaultInitialize;
  d.execute_results =
      "1 when the call completes (also without a NotificationService: then nothing is sent)";
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"NotificationService", "ConfigurationService", "DmsService"};
  d.errors = {
      ExecuteError("Notify", kUnknownParameter +
                                 " (SENDER_LIST, MESSAGE_BODY, SUBJECT); without a "
                                 "ConfigurationService the first setting read (91); errors of "
                                 "the notification service. Messages already sent stay sent"),
      PrivateError("Notify", "GetSenderList",
                   "a resource without <id>, <type> or <name> (91), or without <email> when there "
                   "is no DmsService (91); an id that is no number (13)"),
      PrivateError("Notify", "AddGroupMembers", "errors of the member query"),
      PrivateError("Notify", "AddMemberInRole", "errors of the member query"),
      PrivateError("Notify", "FormatTemplate",
                   "a MESSAGE_BODY the template engine cannot parse or render (its CFormatParser "
                   "or CVariable location comes first)"),
      PrivateError("Notify", "SetObjectVariable",
                   "a dmsobject.link variable and an item without a typecode (91)"),
  };
  return d;
}

ClassDescription AutoStamp() {
  ClassDescription d;
  d.name = "AutoStamp";
  d.family = "Document operations";
  d.summary =
      "Stamps every document of a document item list with an annotation (type 6) in the "
      "rectangle the parameters give, carrying STAMP_NAME. Stack items and record series are "
      "not stamped.";
  d.parameters = RectangleParameters("stamp");
  d.parameters.push_back(TaskParameter(
      "STAMP_NAME", "text", true, "", "the name of a stamp the DMS knows",
      "Written to the annotation's \"Stamp Name\" field and, after a document list, to STAMPNAME.",
      "Approved"));
  d.writes = {{"STAMPEDON", "date and time", "now, first thing on every run"},
              {"STAMPNAME", "text", "STAMP_NAME as given, after a document item list"}};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {
      ExecuteError("AutoStamp", kFrontErrors + "; " + kUnknownVariable +
                                    " (STAMPEDON, STAMPNAME). Annotations already stored stay"),
      PrivateError("AutoStamp", "ProcessDocument", "an item id that is no number (13)"),
      PrivateError("AutoStamp", "ApplyAnnotation",
                   kUnknownParameter +
                       " (LEFT, TOP, WIDTH, HEIGHT, PAGE_NUMBER, STAMP_NAME); a LEFT, TOP, WIDTH "
                       "or HEIGHT that is no number (13) or Null (94); errors storing the "
                       "annotation"),
  };
  return d;
}

ClassDescription Signature() {
  ClassDescription d;
  d.name = "Signature";
  d.family = "Document operations";
  d.summary =
      "Unless the task variable SIGN equals False, signs every document of a document item list "
      "with an annotation whose \"User Id\" is the task's ResourceID, and records who signed and "
      "when. Initialize audits signature_request for the documents.";
  d.parameters = RectangleParameters("signature");
  d.reads = {{"SIGN", "Boolean",
              "when it equals False (False, 0 or Empty) the step does nothing at all; any other "
              "value, Null included, signs",
              true}};
  d.writes = {{"SIGNEDON", "date and time", "now, before and again after signing"},
              {"SIGNEDBY", "text", "the task's ResourceName, after a document item list"}};
  d.initialize =
      "audits signature_request (empty comment, audit user the initiator) for every document; "
      "for other kinds nothing is audited";
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {
      {"Signature: IActivityRuntime_Initialize Sub (", "errors of the audit"},
      ExecuteError("Signature", kFrontErrors + "; " + kUnknownVariable +
                                    " (SIGN, SIGNEDON, "
                                    "SIGNEDBY)"),
      PrivateError("Signature", "ProcessDocument", "an item id that is no number (13)"),
      PrivateError("Signature", "ApplyAnnotation",
                   kUnknownParameter +
                       " (LEFT, TOP, WIDTH, HEIGHT, PAGE_NUMBER); a rectangle value that is no "
                       "number (13) or Null (94); errors storing the annotation"),
      PrivateError("Signature", "Auditevent", "errors finding the item list for the audit"),
      PrivateError("Signature", "AuditDocumentEvent",
                   "errors storing audit records or reading \"Major Version\" and \"Minor "
                   "Version\""),
  };
  return d;
}

ClassDescription Publish() {
  ClassDescription d;
  d.name = "Publish";
  d.family = "Document operations";
  d.summary =
      "Publishes every document of a document item list whose id is negative (type code -2), "
      "as a major or a minor version. Other documents, stack items and record series are left "
      "alone; the document is not fetched first.";
  d.parameters = {TaskParameter(
      "PUBLISH_AS_MAJOR_VERSION", "Boolean", false, "True (a major version)", kBooleanValues,
      "True publishes a major version (VersionType 0), False a minor version (VersionType 1). "
      "Read for every document published.",
      true)};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {
      ExecuteError("Publish", kFrontErrors),
      PrivateError("Publish", "ProcessDocument",
                   "a PUBLISH_AS_MAJOR_VERSION that does not convert to Boolean (13); errors of "
                   "PublishDocument. Documents already published stay published"),
  };
  return d;
}

ClassDescription ShareEntity() {
  ClassDescription d;
  d.name = "ShareEntity";
  d.family = "Document operations";
  d.summary =
      "Grants an access entry (\"Ace\", type 45) on every item to every user and group of "
      "SHARED_WITH, with the modify and delete rights the parameters give; on request also on "
      "the documents filed in each stack.";
  d.parameters = {
      TaskParameter("SHARED_WITH", "XML text", true, "",
                    "<resource> elements with <id> and <type>; type dms.user (any case) is a "
                    "user (18), every other type a group (31); the id -2 is the initiator",
                    "Who receives the grants, in document order; no de-duplication, no "
                    "expansion of groups or roles. Empty grants nothing.",
                    "<resources><resource><id>21</id><type>dms.user</type></resource>"
                    "</resources>"),
      TaskParameter("ALLOW_MODIFY", "Boolean", true, "", "passed as given",
                    "The access entry's \"Allow Modify\" field.", true),
      TaskParameter("ALLOW_DELETE", "Boolean", true, "", "passed as given",
                    "The access entry's \"Allow Delete\" field.", false),
      ChildInherits("are shared"),
  };
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  const std::string per_item =
      kUnknownParameter +
      " (SHARED_WITH, ALLOW_MODIFY, ALLOW_DELETE, CHILD_INHERITS for stacks); a resource without "
      "<id> or <type> (91); an id or an initiator id that is no number (13); a CHILD_INHERITS "
      "that does not convert to Boolean (13); errors of AddAce. Grants already made stay";
  d.errors = {ExecuteError("ShareEntity", kFrontErrors),
              PrivateError("ShareEntity", "ProcessDocument", per_item),
              PrivateError("ShareEntity", "ProcessStack", per_item),
              PrivateError("ShareEntity", "ProcessRecordSeries", per_item)};
  return d;
}

ClassDescription ApplySecurityLabel() {
  ClassDescription d;
  d.name = "ApplySecurityLabel";
  d.family = "Document operations";
  d.summary =
      "Looks the security label LABEL_NAME up and applies it to every item (and, on request, "
      "to the documents filed in each stack); an unknown label labels nothing and is no error.";
  d.parameters = {
      TaskParameter("LABEL_NAME", "text", true, "", "the name of a security label",
                    "The label to apply, looked up once per run; also written to LABELNAME.",
                    "Confidential"),
      ChildInherits("are labelled"),
  };
  d.writes = {{"LABELNAME", "text", "LABEL_NAME as given, at the end of every run"},
              {"LABELAPPLIED", "Boolean",
               "True when the label was found and the items walked; False without a "
               "connection, list element or label, or for an unknown entitytype"}};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  const std::string per_item =
      kUnknownParameter +
      " (LABEL_NAME, CHILD_INHERITS for stacks); a CHILD_INHERITS that does not convert to "
      "Boolean (13); errors of ApplyLabel. LABELNAME and LABELAPPLIED are then not written";
  d.errors = {ExecuteError("ApplySecurityLabel",
                           kFrontErrors + "; " + kUnknownVariable + " (LABELNAME, LABELAPPLIED)"),
              PrivateError("ApplySecurityLabel", "ProcessDocument", per_item),
              PrivateError("ApplySecurityLabel", "ProcessRecordSeries", per_item),
              PrivateError("ApplySecurityLabel", "ProcessStack", per_item)};
  return d;
}

ClassDescription EndWorkflow() {
  ClassDescription d;
  d.name = "EndWorkflow";
  d.family = "Flow control";
  d.summary =
      "Schedules a job (JobMetadata with Job Id 2, and a Job starting now) that has the DMS's "
      "workflow dispatcher end the workflow instance. JOBID keeps the job, so a repeated call "
      "schedules nothing while the job exists. The step never reports itself complete.";
  d.reads = {{"JOBID", "whole number", "the job of an earlier call; null or 0 when none"}};
  d.writes = {{"JOBID", "whole number", "the id of the job scheduled"}};
  d.initialize = kDefaultInitialize;
  d.execute_results = "2 on every path that does not fail (also without a DmsService)";
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {ExecuteError("EndWorkflow", kUnknownVariable +
                                              " (JOBID); errors the DMS raises while the job "
                                              "records are made or stored")};
  return d;
}

ClassDescription Wait() {
  ClassDescription d;
  d.name = "Wait";
  d.family = "Flow control";
  d.summary =
      "Holds the step until a due time: the base (STARTING_FROM, or else the earlier of now and "
      "the task's date at 00:00) plus INTERVAL units of INTERVAL_TYPE, plus OFFSET hours. While "
      "the time is ahead it schedules a wake-up job (JOBID) and returns 2; once it has come it "
      "returns 1.";
  d.parameters = {
      TaskParameter("STARTING_FROM", "date and time", true, "",
                    "a date; Null, Empty or the zero date (30 December 1899 00:00) mean \"not "
                    "given\"",
                    "Base of the wait. When not given, the base is the earlier of now and the "
                    "task's TaskDate (that day at 00:00).",
                    nullptr),
      TaskParameter("INTERVAL", "whole number", true, "", "a whole number, may be negative",
                    "Number of units to wait.", 3),
      TaskParameter("INTERVAL_TYPE", "whole number or text", true, "",
                    "1 years, 2 months, 3 weeks, 4 days, 5 hours, 6 minutes, 7 seconds; a text "
                    "that is no number is turned into a code by the DMS (GetIntervalTypeCode); "
                    "any other code makes the due time now",
                    "The unit of INTERVAL. Adding months keeps the day of the month where it "
                    "exists, otherwise the month's last day.",
                    4),
      TaskParameter("OFFSET", "whole number", true, "", "a whole number of hours, may be negative",
                    "Hours added after the interval.", 0),
  };
  d.reads = {{"JOBID", "whole number", "the job of an earlier call; null or 0 when none"}};
  d.writes = {{"JOBID", "whole number",
               "the id of the job scheduled, or 0 when an existing job was found; left alone "
               "when the due time has come"}};
  d.initialize = kDefaultInitialize;
  d.execute_results =
      "1 when the due time has come (or the existing job's Start Date has), 2 while pending "
      "and without a DmsService";
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {ExecuteError(
      "Wait", kUnknownParameter +
                  " (all four are read without a presence test); a STARTING_FROM that is no "
                  "date (13); an INTERVAL or OFFSET that is empty or no number (13) or out of "
                  "range (6); a due time before year 100 or after 9999 (5); " +
                  kUnknownVariable + " (JOBID); errors the DMS raises on the job records")};
  return d;
}

ClassDescription Delete() {
  ClassDescription d;
  d.name = "Delete";
  d.family = "Records-management actions";
  d.summary =
      "Deletes every item of the item list (DeleteDocument, DeleteDataEntity or "
      "DeleteRecordSeries by kind), then records whether it walked the list and when. Unlike "
      "the flag classes it stops at the first item that fails.";
  d.parameters = {
      TaskParameter("DELETE_CHILD_ITEMS", "Boolean", false, "True", kBooleanValues,
                    "Whether stack items and record series are deleted with their child items. "
                    "Documents never receive it.",
                    true),
      TaskParameter("REASON", "text", true, "", "any text; Null gives the empty text",
                    "The reason passed to every delete operation.", "Retention period ended"),
  };
  d.writes = {{"DELETED", "Boolean", "True when the item list was found and walked to its end"},
              {"DELETEDON", "date and time", "now"}};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {
      ExecuteError("Delete", kFrontErrors +
                                 "; a DELETE_CHILD_ITEMS that does not convert to "
                                 "Boolean (13); " +
                                 kUnknownParameter + " (REASON); " + kUnknownVariable +
                                 " (DELETED, DELETEDON)"),
      PrivateError("Delete", "ProcessItems",
                   kSelectorError +
                       "; the first delete that fails: earlier items stay deleted, later ones "
                       "are not attempted, DELETED and DELETEDON are not written"),
  };
  return d;
}

ClassDescription ExportToFolder() {
  ClassDescription d;
  d.name = "ExportToFolder";
  d.family = "Records-management actions";
  d.summary =
      "Makes sure the folder FOLDER exists, creating each missing level, and when "
      "EXPORT_DOCUMENT is present has the DMS export the last item of the list into it. Its "
      "default interface also offers DirectoryExists and MakeDirectory.";
  d.parameters = {
      TaskParameter("FOLDER", "text", true, "",
                    "a folder path; \"/\" separates levels (a \"\\\" is read as one); Null gives "
                    "the empty text",
                    "The target folder. One trailing separator is dropped; every missing level "
                    "is created, parent first, whether or not the export runs.",
                    "exports/contracts"),
      TaskParameter("EXPORT_DOCUMENT", "any", false, "no export",
                    "any value; only its presence counts (False exports too)",
                    "When present, ExportDocument is called once, for the last item of the "
                    "list, with the folder.",
                    true),
  };
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {
      ExecuteError("ExportToFolder",
                   kFrontErrors + "; " + kUnknownParameter +
                       " (FOLDER); a folder that cannot be created or a path the file system "
                       "refuses (75, 76); errors of ExportDocument"),
      PrivateError("ExportToFolder", "GetEntityLookupType",
                   kSelectorError + "; an item id that is no number (13)"),
  };
  return d;
}

std::vector<std::string> NamesOf(const std::vector<VariableDoc>& variables) {
  std::vector<std::string> out;
  for (const VariableDoc& v : variables) out.push_back(v.name);
  return out;
}

std::vector<ClassDescription> BuildTable() {
  const std::string kGetText = "as text (yes/no fields as \"Yes\" or \"No\")";
  std::vector<ClassDescription> table = {
      DocApproval(),
      Notify(),
      Set("ChangeFieldValue", kByDataType, true, "Approved"),
      Get("GetFieldValue", kGetText, "text"),
      Set("SetFieldValue", kByDataType, false, "Approved"),
      Set("SetNumericFieldValue", "converted to Double", false, "42.5"),
      Set("ChangeNumericFieldValue", "converted to Double", true, "42.5"),
      Get("GetNumericFieldValue", "converted to Double (Null for a null field)", "Double"),
      Set("SetYesNoFieldValue", "converted to Boolean", false, true),
      Get("GetYesNoFieldValue", "converted to Boolean (Null for a null field)", "Boolean"),
      Set("ChangeYesNoFieldValue", "converted to Boolean", true, true),
      Set("SetDateTimeFieldValue", "converted to Date", false, Json{{"date", "2025-03-14"}}),
      Get("GetDateTimeFieldValue", "converted to Date (Null for a null field)", "date and time"),
      Set("ChangeDateTimeFieldValue", "converted to Date", true, Json{{"date", "2025-03-14"}}),
      AutoStamp(),
      Publish(),
      Signature(),
      ShareEntity(),
      ApplySecurityLabel(),
      Review(),
      ToDo(),
      EndWorkflow(),
      Wait(),
      Delete(),
      ExportToFolder(),
      Flag("MarkAsArchive", "MarkAsArchive", "ARCHIVEDON", "ARCHIVED", true),
      Flag("MarkAsRecord", "MarkAsRecord", "MARKEDASRECORDON", "ISRECORD", true),
      Flag("MarkAsVital", "MarkAsVital", "MARKEDASRECORDON", "ISVITAL", true),
      Flag("PutOnHold", "PutOnHold", "PUTONHOLDON", "PUTOBHOLD", false),
      Flag("UnmarkAsVital", "UnmarkAsVital", "UNMARKASVITALDON", "UNMARKASVITAL", true),
      Flag("UnmarkAsRecord", "UnmarkAsRecord", "UNMARKASRECORDON", "UNMARKASRECORD", true),
      Flag("ResetOnHold", "ResetOnHold", "RESETPUTOBHOLDON", "RESETPUTOBHOLD", false),
  };
  for (ClassDescription& d : table) {
    for (const ParameterDoc& p : d.parameters)
      (p.scope == ParameterScope::kStep ? d.step_parameters : d.task_parameters).push_back(p.name);
    d.variables_read = NamesOf(d.reads);
    d.variables_written = NamesOf(d.writes);
  }
  return table;
}

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
    std::vector<ClassDescription> t = BuildTable();
    if (t.size() != kClassCount)
      throw std::logic_error("the class reference has " + std::to_string(t.size()) + " rows for " +
                             std::to_string(kClassCount) + " classes");
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

Json DescriptionJson(const ClassDescription& d) {
  const ClassInfo* info = FindClassByName(d.name);
  Json parameters = Json::array();
  for (const ParameterDoc& p : d.parameters)
    parameters.push_back({{"name", p.name},
                          {"scope", ScopeName(p.scope)},
                          {"type", p.type},
                          {"required", p.required},
                          {"default", p.required ? Json(nullptr) : Json(p.default_value)},
                          {"allowed", p.allowed},
                          {"meaning", p.meaning},
                          {"sample", p.sample}});
  auto variables = [](const std::vector<VariableDoc>& list) {
    Json out = Json::array();
    for (const VariableDoc& v : list)
      out.push_back({{"name", v.name}, {"type", v.type}, {"meaning", v.meaning}});
    return out;
  };
  Json templates = Json::array();
  for (const TemplateVariableDoc& t : d.template_variables)
    templates.push_back({{"name", t.name}, {"value", t.value}});
  Json errors = Json::array();
  for (const ErrorDoc& e : d.errors)
    errors.push_back({{"location", e.location}, {"cause", e.cause}});
  Json out = {{"name", d.name},
              {"progid", std::string(kProgIdPrefix) + d.name},
              {"clsid", pelmark::GuidToString(info->clsid)},
              {"iid", pelmark::GuidToString(info->default_iid)},
              {"family", d.family},
              {"summary", d.summary},
              {"step_parameters", d.step_parameters},
              {"task_parameters", d.task_parameters},
              {"variables_read", d.variables_read},
              {"variables_written", d.variables_written},
              {"parameters", parameters},
              {"templates", d.templates},
              {"template_variables", templates},
              {"reads", variables(d.reads)},
              {"writes", variables(d.writes)},
              {"initialize", d.initialize},
              {"execute_results", d.execute_results},
              {"evaluate_results", d.evaluate_results},
              {"services", d.services},
              {"errors", errors}};
  if (!d.decision.empty()) {
    Json rows = Json::array();
    for (size_t i = 0; i < d.decision.size(); ++i)
      rows.push_back({{"row", i + 1},
                      {"condition", d.decision[i].condition},
                      {"approved", d.decision[i].approved.empty() ? Json(nullptr)
                                                                  : Json(d.decision[i].approved)},
                      {"result", d.decision[i].result}});
    out["decision"] = {{"counts", d.decision_counts}, {"rows", rows}};
  }
  return out;
}

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
      "CLASS` writes a scenario to start from.\n\n"
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
