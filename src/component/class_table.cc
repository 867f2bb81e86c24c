#include "component/class_table.h"

#include "docops/docops_activities.h"
#include "docops/signature_activity.h"
#include "fields/field_activities.h"
#include "flow/flow_activities.h"
#include "notify/notify_activity.h"
#include "records/delete_activity.h"
#include "records/export_activity.h"
#include "records/flag_activities.h"
#include "tasks/human_tasks.h"

namespace corvane {
namespace {

using F = FieldFamily;
using M = FieldMember;

constexpr ClassTableRow kClassTable[] = {
    {"MarkAsArchive", &NewFlagActivity<FlagClass::kMarkAsArchive>},
    {"MarkAsRecord", &NewFlagActivity<FlagClass::kMarkAsRecord>},
    {"MarkAsVital", &NewFlagActivity<FlagClass::kMarkAsVital>},
    {"PutOnHold", &NewFlagActivity<FlagClass::kPutOnHold>},
    {"UnmarkAsVital", &NewFlagActivity<FlagClass::kUnmarkAsVital>},
    {"UnmarkAsRecord", &NewFlagActivity<FlagClass::kUnmarkAsRecord>},
    {"ResetOnHold", &NewFlagActivity<FlagClass::kResetOnHold>},
    {"Delete", &NewDeleteActivity},
    {"ExportToFolder", &NewExportActivity},
    {"Wait", &NewWaitActivity},
    {"EndWorkflow", &NewEndWorkflowActivity},
    {"DocApproval", &NewDocApproval},
    {"Review", &NewReview},
    {"ToDo", &NewToDo},
    {"GetFieldValue", &NewFieldActivity<F::kGet, M::kText>},
    {"GetNumericFieldValue", &NewFieldActivity<F::kGet, M::kNumeric>},
    {"GetYesNoFieldValue", &NewFieldActivity<F::kGet, M::kYesNo>},
    {"GetDateTimeFieldValue", &NewFieldActivity<F::kGet, M::kDateTime>},
    {"SetFieldValue", &NewFieldActivity<F::kSet, M::kText>},
    {"SetNumericFieldValue", &NewFieldActivity<F::kSet, M::kNumeric>},
    {"SetYesNoFieldValue", &NewFieldActivity<F::kSet, M::kYesNo>},
    {"SetDateTimeFieldValue", &NewFieldActivity<F::kSet, M::kDateTime>},
    {"ChangeFieldValue", &NewFieldActivity<F::kChange, M::kText>},
    {"ChangeNumericFieldValue", &NewFieldActivity<F::kChange, M::kNumeric>},
    {"ChangeYesNoFieldValue", &NewFieldActivity<F::kChange, M::kYesNo>},
    {"ChangeDateTimeFieldValue", &NewFieldActivity<F::kChange, M::kDateTime>},
    {"Notify", &NewNotifyActivity},
    {"AutoStamp", &NewAutoStamp},
    {"Publish", &NewPublish},
    {"ShareEntity", &NewShareEntity},
    {"ApplySecurityLabel", &NewApplySecurityLabel},
    {"Signature", &NewSignatureActivity},
};

}  // namespace

std::span<const ClassTableRow> ClassTable() { return kClassTable; }

Activity* CreateActivity(const ClassInfo& info) {
  for (const ClassTableRow& row : kClassTable)
    if (row.name == info.name) return row.create(info);
  return nullptr;
}

}  // namespace corvane
