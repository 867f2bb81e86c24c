// Where the values of a task detail template come from. SetObjectVariable gives
// a repeating expression one repetition per item of the workflow instance's item
// list and fills the per-item variables "dmsobject.id", "dmsobject.name" and
// "dmsobject.link"; GetVariableValue turns one standard name (answer, task and
// resource, process) into text for the approval and review steps.
//
// The notification step uses the same names without the answer group, and with
// the resource names meaning the person its message is for. The owner argument
// ("DocApproval", "Review", "Notify") names the class in the error location
// "<owner>:SetObjectVariable Ln ", which is quiet for all three.
//
// Typical usage (inside an Execute):
//   pelmark::ComPtr<pelmark::IProcessInstance> instance = ...;
//   for (CFormatExpression& e : *expressions)
//     FillExpressionVariables(services, "Review", task, instance, e,
//                             [&](const std::string& upper_name) {
//                               return GetVariableValue(services, kReviewAnswers, upper_name,
//                                                       task, instance);
//                             });
//
// Threading: apartment; called on the thread of the activity call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "pelmark/com.h"
#include "pelmark/host.h"
#include "shared/resources.h"
#include "templates/format_engine.h"

namespace corvane {

// Fills the per-item variables of `expression` from the item list held in the
// process variable named `loop_object` and returns the number of items (0 when
// that variable is null, not a "dms.object", not XML or has no "dmsobject").
// Fetches `instance` through the task's ProcessID when it is null on entry and
// hands it back. Errors are raised again quietly with the location
// "<owner>:SetObjectVariable Ln ".
// REQUIRES: `owner` outlives the call.
int32_t SetObjectVariable(pelmark::IActivityServices* services, std::string_view owner,
                          std::string_view loop_object, pelmark::ITask* task,
                          pelmark::ComPtr<pelmark::IProcessInstance>& instance,
                          CFormatExpression& expression);

// Resolves one upper-cased variable name to its text.
using VariableResolver = std::function<std::string(const std::string& upper_name)>;

// Fills every variable of one parsed expression in the order the task steps use:
// a repeating expression with a loop object first gets its loop variables and
// LoopCount from SetObjectVariable; every variable whose lower-cased name is not
// Like lower-cased LoopObject + ".*" gets Value(1) from `resolve`, copied into
// Value(2) ... Value(LoopCount) for a repeating expression.
void FillExpressionVariables(pelmark::IActivityServices* services, std::string_view owner,
                             pelmark::ITask* task,
                             pelmark::ComPtr<pelmark::IProcessInstance>& instance,
                             CFormatExpression& expression, const VariableResolver& resolve);

// The answer variables of a step: the flag ("APPROVED"/"REVIEWED"), the date
// ("APPROVALDATE"/"REVIEWDATE") and the group's list text used for the
// substring membership test.
struct AnswerNames {
  std::string_view flag;
  std::string_view date;
  std::string_view list;
};
inline constexpr AnswerNames kApprovalAnswers{"APPROVED", "APPROVALDATE",
                                              "APPROVED,COMMENTS,DETAILS,APPROVALDATE"};
inline constexpr AnswerNames kReviewAnswers{"REVIEWED", "REVIEWDATE",
                                            "REVIEWED,COMMENTS,DETAILS,REVIEWDATE"};

// The text of a standard variable name (already upper-cased) for the approval and
// review steps: answer variables of the task ("Yes"/"No", the date as
// "ddd,mmm d yyyy h:mm AM/PM", "-" for null), task and resource properties,
// process properties (fetching `instance` when first needed). Never fails: any
// error gives empty text.
std::string GetVariableValue(pelmark::IActivityServices* services, const AnswerNames& answers,
                             const std::string& name, pelmark::ITask* task,
                             pelmark::ComPtr<pelmark::IProcessInstance>& instance);

// The same for a notification: there are no answer variables (those names give
// empty text), and RESOURCENAME, RESOURCEID and RESOURCETYPE are `recipient`'s,
// the person the message is for, rather than the task's. Never fails.
std::string GetVariableValue(pelmark::IActivityServices* services, const std::string& name,
                             pelmark::ITask* task,
                             pelmark::ComPtr<pelmark::IProcessInstance>& instance,
                             const CResource& recipient);

}  // namespace corvane
