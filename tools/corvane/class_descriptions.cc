#include "class_descriptions.h"

#include <algorithm>
#include <string>

#include "corvane/catalogue.h"

namespace corvane::cli {
namespace {

constexpr std::string_view kNone[] = {""};
constexpr std::span<const std::string_view> kEmpty(kNone, 0);

constexpr std::string_view kDms[] = {"DmsService"};
constexpr std::string_view kDmsConfiguration[] = {"DmsService", "ConfigurationService"};
constexpr std::string_view kNotifyServices[] = {"DmsService", "ConfigurationService",
                                                "NotificationService"};

constexpr std::string_view kReason[] = {"REASON"};
constexpr std::string_view kFieldName[] = {"FIELDNAME"};
constexpr std::string_view kFieldNameValue[] = {"FIELDNAME", "FIELDVALUE"};
constexpr std::string_view kValue[] = {"VALUE"};
constexpr std::string_view kAudit[] = {"AUDIT_ACTIVITY"};
constexpr std::string_view kApprovalParameters[] = {"DETAIL_FORMAT", "COMMENTSASNOTES",
                                                    "AUDIT_ACTIVITY"};
constexpr std::string_view kApprovalRead[] = {"APPROVED", "COMMENTS"};
constexpr std::string_view kApprovalWritten[] = {"APPROVALDATE", "DETAILS", "APPROVED"};
constexpr std::string_view kReviewRead[] = {"REVIEWED", "COMMENTS"};
constexpr std::string_view kReviewWritten[] = {"REVIEWDATE", "DETAILS"};
constexpr std::string_view kNotifyParameters[] = {"SENDER_LIST", "MESSAGE_BODY", "SUBJECT", "MODE"};
constexpr std::string_view kNotifyRead[] = {"APPROVED", "COMMENTS"};
constexpr std::string_view kStampParameters[] = {"LEFT", "TOP",         "WIDTH",     "HEIGHT",
                                                 "UNIT", "PAGE_NUMBER", "STAMP_NAME"};
constexpr std::string_view kStampWritten[] = {"STAMPEDON", "STAMPNAME"};
constexpr std::string_view kSignParameters[] = {"LEFT",   "TOP",  "WIDTH",
                                                "HEIGHT", "UNIT", "PAGE_NUMBER"};
constexpr std::string_view kSignRead[] = {"SIGN"};
constexpr std::string_view kSignWritten[] = {"SIGNEDON", "SIGNEDBY"};
constexpr std::string_view kPublishParameters[] = {"PUBLISH_AS_MAJOR_VERSION"};
constexpr std::string_view kShareParameters[] = {"SHARED_WITH", "ALLOW_MODIFY", "ALLOW_DELETE",
                                                 "CHILD_INHERITS"};
constexpr std::string_view kLabelParameters[] = {"LABEL_NAME", "CHILD_INHERITS"};
constexpr std::string_view kLabelWritten[] = {"LABELNAME", "LABELAPPLIED"};
constexpr std::string_view kWaitParameters[] = {"STARTING_FROM", "INTERVAL", "INTERVAL_TYPE",
                                                "OFFSET"};
constexpr std::string_view kJobId[] = {"JOBID"};
constexpr std::string_view kDeleteParameters[] = {"DELETE_CHILD_ITEMS", "REASON"};
constexpr std::string_view kDeleteWritten[] = {"DELETED", "DELETEDON"};
constexpr std::string_view kExportParameters[] = {"FOLDER", "EXPORT_DOCUMENT"};

constexpr std::string_view kArchiveWritten[] = {"ARCHIVEDON", "ARCHIVED"};
constexpr std::string_view kRecordWritten[] = {"MARKEDASRECORDON", "ISRECORD"};
constexpr std::string_view kVitalWritten[] = {"MARKEDASRECORDON", "ISVITAL"};
constexpr std::string_view kHoldWritten[] = {"PUTONHOLDON", "PUTOBHOLD"};
constexpr std::string_view kUnvitalWritten[] = {"UNMARKASVITALDON", "UNMARKASVITAL"};
constexpr std::string_view kUnrecordWritten[] = {"UNMARKASRECORDON", "UNMARKASRECORD"};
constexpr std::string_view kResetHoldWritten[] = {"RESETPUTOBHOLDON", "RESETPUTOBHOLD"};

constexpr std::string_view kDone = "1 when the work is done";
constexpr std::string_view kAlwaysOne = "1, always, without reading the task";
constexpr std::string_view kNothing = "nothing: no host call";

constexpr std::string_view kFlags = "Records-management flags";
constexpr std::string_view kFields = "Field values";
constexpr std::string_view kDocOps = "Document operations";
constexpr std::string_view kTasks = "Human tasks";

ClassDescription Flag(std::string_view name, std::string_view summary,
                      std::span<const std::string_view> written) {
  return {name,    kFlags, summary,    kEmpty,   kReason, kEmpty,
          written, kDone,  kAlwaysOne, kNothing, kDms};
}

ClassDescription Get(std::string_view name, std::string_view summary) {
  return {name,   kFields, summary,    kEmpty,   kFieldName, kEmpty,
          kValue, kDone,   kAlwaysOne, kNothing, kDms};
}
ClassDescription Set(std::string_view name, std::string_view summary) {
  return {name,   kFields, summary,    kEmpty,   kFieldName, kValue,
          kEmpty, kDone,   kAlwaysOne, kNothing, kDms};
}
ClassDescription Change(std::string_view name, std::string_view summary) {
  return {name,  kFields,    summary,  kEmpty, kFieldNameValue, kEmpty, kEmpty,
          kDone, kAlwaysOne, kNothing, kDms};
}

// The table, in catalogue order.
const ClassDescription kDescriptions[] = {
    {"DocApproval", kTasks,
     "Approval step: stamps each answer, renders its details, stores comments as notes, "
     "audits, and decides approved, rejected or still open against the minimums.",
     kAudit, kApprovalParameters, kApprovalRead, kApprovalWritten, kDone,
     "1 when the step is complete, 3 while it waits for more answers",
     "writes the approval_request audit record for each item", kDmsConfiguration},
    {"Notify", "Notification",
     "Resolves the sender list into people and hands each a message rendered from the body "
     "template; optionally also an e-mail.",
     kEmpty, kNotifyParameters, kNotifyRead, kEmpty, kDone, kAlwaysOne, kNothing, kNotifyServices},
    Change("ChangeFieldValue",
           "Writes FIELDVALUE into the addressed field, converted by the field's data type; skips "
           "items without the field."),
    Get("GetFieldValue", "Reads the addressed field (or a process.* variable) into VALUE as text."),
    Set("SetFieldValue",
        "Writes VALUE into the addressed field, converted by the field's data type."),
    Set("SetNumericFieldValue", "Writes VALUE into the addressed field as a Double."),
    Change("ChangeNumericFieldValue", "Writes FIELDVALUE into the addressed field as a Double."),
    Get("GetNumericFieldValue", "Reads the addressed field into VALUE as a Double."),
    Set("SetYesNoFieldValue", "Writes VALUE into the addressed field as a Boolean."),
    Get("GetYesNoFieldValue", "Reads the addressed field into VALUE as a Boolean."),
    Change("ChangeYesNoFieldValue", "Writes FIELDVALUE into the addressed field as a Boolean."),
    Set("SetDateTimeFieldValue", "Writes VALUE into the addressed field as a Date."),
    Get("GetDateTimeFieldValue", "Reads the addressed field into VALUE as a Date."),
    Change("ChangeDateTimeFieldValue", "Writes FIELDVALUE into the addressed field as a Date."),
    {"AutoStamp", kDocOps, "Stamps every document with an annotation.", kEmpty, kStampParameters,
     kEmpty, kStampWritten, kDone, kAlwaysOne, kNothing, kDms},
    {"Publish", kDocOps, "Publishes the documents with a negative id as a major or minor version.",
     kEmpty, kPublishParameters, kEmpty, kEmpty, kDone, kAlwaysOne, kNothing, kDms},
    {"Signature", kDocOps, "Signs every document with an annotation naming the task's resource.",
     kEmpty, kSignParameters, kSignRead, kSignWritten, kDone, kAlwaysOne,
     "writes the signature_request audit record for each item", kDms},
    {"ShareEntity", kDocOps, "Grants access entries on every item to the users and groups listed.",
     kEmpty, kShareParameters, kEmpty, kEmpty, kDone, kAlwaysOne, kNothing, kDms},
    {"ApplySecurityLabel", kDocOps, "Applies a security label to every item.", kEmpty,
     kLabelParameters, kEmpty, kLabelWritten, kDone, kAlwaysOne, kNothing, kDms},
    {"Review", kTasks,
     "Review step: stamps each answer, renders its details, stores comments as notes and audits; "
     "complete when every reviewer has answered.",
     kAudit, kApprovalParameters, kReviewRead, kReviewWritten, kDone,
     "1 when the step is complete, 3 while it waits for more answers",
     "writes the review_request audit record for each item", kDmsConfiguration},
    {"ToDo", kTasks, "To-do step: counts confirmed tasks and audits.", kAudit, kAudit, kEmpty,
     kEmpty, kDone, "1 when every task is confirmed, 3 while it waits",
     "writes the todo_request audit record for each item", kDms},
    {"EndWorkflow", "Flow control",
     "Schedules a job that ends the workflow instance; JOBID keeps it so it is scheduled once.",
     kEmpty, kEmpty, kJobId, kJobId, "2 on every path that does not fail", kAlwaysOne, kNothing,
     kDms},
    {"Wait", "Flow control",
     "Holds the step until a due time computed from its parameters, scheduling a wake-up job.",
     kEmpty, kWaitParameters, kJobId, kJobId, "1 when the due time has come, 2 while pending",
     kAlwaysOne, kNothing, kDms},
    {"Delete", "Records-management actions", "Deletes every item; stops at the first failure.",
     kEmpty, kDeleteParameters, kEmpty, kDeleteWritten, kDone, kAlwaysOne, kNothing, kDms},
    {"ExportToFolder", "Records-management actions",
     "Makes sure a folder exists and, when asked, exports the item into it.", kEmpty,
     kExportParameters, kEmpty, kEmpty, kDone, kAlwaysOne, kNothing, kDms},
    Flag("MarkAsArchive", "Marks every item as archived.", kArchiveWritten),
    Flag("MarkAsRecord", "Marks every item as a record.", kRecordWritten),
    Flag("MarkAsVital", "Marks every item as vital.", kVitalWritten),
    Flag("PutOnHold", "Puts every document and stack on hold (record series are skipped).",
         kHoldWritten),
    Flag("UnmarkAsVital", "Clears the vital mark of every item.", kUnvitalWritten),
    Flag("UnmarkAsRecord", "Clears the record mark of every item.", kUnrecordWritten),
    Flag("ResetOnHold", "Takes every document and stack off hold (record series are skipped).",
         kResetHoldWritten),
};
static_assert(std::size(kDescriptions) == kClassCount);

Json NamesJson(std::span<const std::string_view> names) {
  Json out = Json::array();
  for (std::string_view n : names) out.push_back(n);
  return out;
}

std::string NamesText(std::span<const std::string_view> names) {
  std::string out;
  for (std::string_view n : names) out += (out.empty() ? "" : ", ") + std::string(n);
  return out.empty() ? "none" : out;
}

}  // namespace

std::span<const ClassDescription> ClassDescriptions() { return kDescriptions; }

const ClassDescription* FindDescription(std::string_view name) {
  auto lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  };
  std::string wanted = lower(name);
  if (wanted.starts_with("corvane.")) wanted = wanted.substr(8);
  for (const ClassDescription& d : kDescriptions)
    if (lower(d.name) == wanted) return &d;
  return nullptr;
}

Json DescriptionJson(const ClassDescription& d) {
  const ClassInfo* info = FindClassByName(d.name);
  return {{"name", d.name},
          {"progid", std::string(kProgIdPrefix) + std::string(d.name)},
          {"clsid", pelmark::GuidToString(info->clsid)},
          {"iid", pelmark::GuidToString(info->default_iid)},
          {"family", d.family},
          {"summary", d.summary},
          {"step_parameters", NamesJson(d.step_parameters)},
          {"task_parameters", NamesJson(d.task_parameters)},
          {"variables_read", NamesJson(d.variables_read)},
          {"variables_written", NamesJson(d.variables_written)},
          {"initialize", d.initialize},
          {"execute_results", d.execute_results},
          {"evaluate_results", d.evaluate_results},
          {"services", NamesJson(d.services)}};
}

std::string DescriptionText(const ClassDescription& d) {
  const ClassInfo* info = FindClassByName(d.name);
  std::string out;
  auto line = [&](std::string_view label, std::string_view value) {
    out += std::string(label) + std::string(22 - std::min<size_t>(21, label.size()), ' ') +
           std::string(value) + "\n";
  };
  line("Class", std::string(kProgIdPrefix) + std::string(d.name));
  line("CLSID", pelmark::GuidToString(info->clsid));
  line("Default interface",
       "_" + std::string(d.name) + " " + pelmark::GuidToString(info->default_iid));
  line("Family", d.family);
  line("What it does", d.summary);
  line("Step parameters", NamesText(d.step_parameters));
  line("Task parameters", NamesText(d.task_parameters));
  line("Variables read", NamesText(d.variables_read));
  line("Variables written", NamesText(d.variables_written));
  line("Services", NamesText(d.services));
  line("Initialize", d.initialize);
  line("Execute returns", d.execute_results);
  line("Evaluate returns", d.evaluate_results);
  return out;
}

}  // namespace corvane::cli
