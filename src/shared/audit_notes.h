// The audit trail and comment notes of the steps that involve people: audit
// records ("AuditRecord") for every item of a workflow instance, and one comment
// note ("Comment") attached to every document or stack item.
//
// Each class that audits carries its own copy of these procedures; the copies
// differ only by the row of kAuditCopies that names the class in its error
// locations, the item kinds it audits and the document fields it reads the
// version numbers from. Every procedure reports failures quietly (no event-log
// entry); the calling entry point reports them again.
//
// Typical usage (inside an entry point of the approval step):
//   AuditEvent(AuditCopyOf("DocApproval"), services, instance.get(), comment,
//              "approved", 1, ToText(task->ResourceID()));
//
// Threading: apartment; called on the thread of the activity call.
#pragma once

#include <cstdint>
#include <string_view>

#include "pelmark/host.h"

namespace corvane {

// Where one class's copy of the audit and note procedures differs.
struct AuditCopy {
  std::string_view owner;       // class name in the error locations: "Review"
  std::string_view dispatcher;  // ":AuditEvent Ln " or ":Auditevent Ln "
  bool audits_stacks;
  bool audits_record_series;
  std::string_view major_version_field;  // of a document: "MajorVersion" or "Major Version"
  std::string_view minor_version_field;
};

// The copies of DocApproval, Review, ToDo and Signature.
inline constexpr AuditCopy kAuditCopies[] = {
    {"DocApproval", ":AuditEvent Ln ", true, true, "MajorVersion", "MinorVersion"},
    {"Review", ":Auditevent Ln ", true, true, "MajorVersion", "MinorVersion"},
    {"ToDo", ":Auditevent Ln ", true, false, "Major Version", "Minor Version"},
    {"Signature", ":Auditevent Ln ", false, false, "Major Version", "Minor Version"},
};

// The row of a class. REQUIRES: `owner` names one of kAuditCopies.
const AuditCopy& AuditCopyOf(std::string_view owner);

// Writes one audit record per item of the instance's item list: event group 6,
// the event code GetEventCode gives the item's type code and `event` (items
// whose code is 0 are skipped), `comment`, `event_result`, and the audit user
// `audit_user` as a user id (null when empty). Does nothing without a DMS
// service, an item list, or for dbid -1.
void AuditEvent(const AuditCopy& copy, pelmark::IActivityServices* services,
                pelmark::IProcessInstance* instance, std::string_view comment,
                std::string_view event, int32_t event_result, std::string_view audit_user);

// Attaches one comment note with `note`, commented by the task's resource, to
// every document or stack item of the task's workflow instance (record series
// get none). A failing AddComment skips that item.
// REQUIRES: the copy's class carries notes (DocApproval, Review).
void AddNote(const AuditCopy& copy, pelmark::IActivityServices* services, pelmark::ITask* task,
             std::string_view note);

}  // namespace corvane
