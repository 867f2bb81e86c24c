// What the human-task steps read, write, raise and decide, as data for Describe
// and Check.
#include "tasks/tasks_reference.h"

#include <string>

#include "design/configuration_check.h"
#include "design/reference_parts.h"
#include "rules/variant_rules.h"

namespace corvane::design {
namespace {

const std::string kAuditSwitchMeaning =
    "Write audit events. Absent means True; when present, its value converted to Boolean.";

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
  std::vector<ParameterDoc> parameters = {
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
  parameters.back().compared_with_true = true;
  return parameters;
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

// The figures of the decision table that a design can already get wrong: a
// minimum no number of answers can reach, one that is missing or no number.
void CheckApprovalFigures(const ClassDescription&, const Configuration& c, Findings& out) {
  auto add = [&](std::string severity, const std::optional<NamedValue>& v, std::string message,
                 std::string suggestion) {
    out.Add({std::move(severity), "step", std::nullopt, "parameter", "MinApprovals",
             v ? v->text : std::string(), std::move(message), std::move(suggestion)});
  };
  double minimum = 0;
  if (c.min_approvals) {
    try {
      minimum = ToDouble(c.min_approvals->value);
    } catch (const pelmark::Error& e) {
      add("error", c.min_approvals,
          "MinApprovals " + c.min_approvals->text + " is no number: every evaluation raises " +
              std::to_string(e.number()) + " (" + e.description() + ")",
          "a whole number such as 2");
      return;
    }
  }
  if (minimum == 0) {
    add("warning", c.min_approvals,
        std::string(c.min_approvals ? "MinApprovals is 0" : "MinApprovals is not set") +
            ": the first approval approves the step, whatever the other answers",
        "set minapprovals to the approvals the step needs");
    return;
  }
  if (!c.request_count) return;
  double requests = 0;
  try {
    requests = ToDouble(c.request_count->value);
  } catch (const pelmark::Error&) {
    return;
  }
  if (minimum > requests)
    add("error", c.min_approvals,
        "MinApprovals " + c.min_approvals->text + " is more than the " + c.request_count->text +
            " requests: the step can never be approved and is rejected once too few answers "
            "are left",
        "at most " + c.request_count->text);
}

}  // namespace

ClassDescription DescribeHumanTaskClass(std::string_view name) {
  if (name == "DocApproval") {
    ClassDescription d = DocApproval();
    d.checks = &CheckApprovalFigures;
    return d;
  }
  if (name == "Review") return Review();
  if (name == "ToDo") return ToDo();
  throw std::invalid_argument("no human-task class " + std::string(name));
}

}  // namespace corvane::design
