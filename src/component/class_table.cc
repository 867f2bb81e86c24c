#include "component/class_table.h"

#include "design/configuration_check.h"
#include "docops/docops_activities.h"
#include "docops/docops_reference.h"
#include "docops/signature_activity.h"
#include "fields/field_activities.h"
#include "fields/fields_reference.h"
#include "flow/flow_activities.h"
#include "flow/flow_reference.h"
#include "notify/notify_activity.h"
#include "notify/notify_reference.h"
#include "records/delete_activity.h"
#include "records/export_activity.h"
#include "records/flag_activities.h"
#include "records/records_reference.h"
#include "tasks/human_tasks.h"
#include "tasks/tasks_reference.h"

namespace corvane {
namespace {

using F = FieldFamily;
using M = FieldMember;

constexpr ClassTableRow kClassTable[] = {
    {"MarkAsArchive", &NewFlagActivity<FlagClass::kMarkAsArchive>, &design::DescribeRecordsClass},
    {"MarkAsRecord", &NewFlagActivity<FlagClass::kMarkAsRecord>, &design::DescribeRecordsClass},
    {"MarkAsVital", &NewFlagActivity<FlagClass::kMarkAsVital>, &design::DescribeRecordsClass},
    {"PutOnHold", &NewFlagActivity<FlagClass::kPutOnHold>, &design::DescribeRecordsClass},
    {"UnmarkAsVital", &NewFlagActivity<FlagClass::kUnmarkAsVital>, &design::DescribeRecordsClass},
    {"UnmarkAsRecord", &NewFlagActivity<FlagClass::kUnmarkAsRecord>, &design::DescribeRecordsClass},
    {"ResetOnHold", &NewFlagActivity<FlagClass::kResetOnHold>, &design::DescribeRecordsClass},
    {"Delete", &NewDeleteActivity, &design::DescribeRecordsClass},
    {"ExportToFolder", &NewExportActivity, &design::DescribeRecordsClass},
    {"Wait", &NewWaitActivity, &design::DescribeFlowClass},
    {"EndWorkflow", &NewEndWorkflowActivity, &design::DescribeFlowClass},
    {"DocApproval", &NewDocApproval, &design::DescribeHumanTaskClass},
    {"Review", &NewReview, &design::DescribeHumanTaskClass},
    {"ToDo", &NewToDo, &design::DescribeHumanTaskClass},
    {"GetFieldValue", &NewFieldActivity<F::kGet, M::kText>, &design::DescribeFieldClass},
    {"GetNumericFieldValue", &NewFieldActivity<F::kGet, M::kNumeric>, &design::DescribeFieldClass},
    {"GetYesNoFieldValue", &NewFieldActivity<F::kGet, M::kYesNo>, &design::DescribeFieldClass},
    {"GetDateTimeFieldValue", &NewFieldActivity<F::kGet, M::kDateTime>,
     &design::DescribeFieldClass},
    {"SetFieldValue", &NewFieldActivity<F::kSet, M::kText>, &design::DescribeFieldClass},
    {"SetNumericFieldValue", &NewFieldActivity<F::kSet, M::kNumeric>, &design::DescribeFieldClass},
    {"SetYesNoFieldValue", &NewFieldActivity<F::kSet, M::kYesNo>, &design::DescribeFieldClass},
    {"SetDateTimeFieldValue", &NewFieldActivity<F::kSet, M::kDateTime>,
     &design::DescribeFieldClass},
    {"ChangeFieldValue", &NewFieldActivity<F::kChange, M::kText>, &design::DescribeFieldClass},
    {"ChangeNumericFieldValue", &NewFieldActivity<F::kChange, M::kNumeric>,
     &design::DescribeFieldClass},
    {"ChangeYesNoFieldValue", &NewFieldActivity<F::kChange, M::kYesNo>,
     &design::DescribeFieldClass},
    {"ChangeDateTimeFieldValue", &NewFieldActivity<F::kChange, M::kDateTime>,
     &design::DescribeFieldClass},
    {"Notify", &NewNotifyActivity, &design::DescribeNotifyClass},
    {"AutoStamp", &NewAutoStamp, &design::DescribeDocumentClass},
    {"Publish", &NewPublish, &design::DescribeDocumentClass},
    {"ShareEntity", &NewShareEntity, &design::DescribeDocumentClass},
    {"ApplySecurityLabel", &NewApplySecurityLabel, &design::DescribeDocumentClass},
    {"Signature", &NewSignatureActivity, &design::DescribeDocumentClass},
};

// Every object's design-time answers: the class's reference, built afresh for
// each call so that nothing is shared between objects or threads.
class ModuleDesignAnswers final : public DesignAnswers {
 public:
  std::string Describe(const ClassInfo& info) const override {
    return design::ReferenceJson(DescribeClass(info.name))
        .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  }
  std::string Check(const ClassInfo& info, std::string_view configuration) const override {
    return design::CheckConfiguration(DescribeClass(info.name), configuration);
  }
};
const ModuleDesignAnswers kDesignAnswers;

}  // namespace

std::span<const ClassTableRow> ClassTable() { return kClassTable; }

Activity* CreateActivity(const ClassInfo& info) {
  for (const ClassTableRow& row : kClassTable) {
    if (row.name != info.name) continue;
    Activity* activity = row.create(info);
    if (activity) activity->set_design_answers(&kDesignAnswers);
    return activity;
  }
  return nullptr;
}

design::ClassDescription DescribeClass(std::string_view name) {
  for (const ClassTableRow& row : kClassTable) {
    if (row.name != name) continue;
    design::ClassDescription d = row.describe(name);
    design::DeriveNameLists(d);
    return d;
  }
  throw std::invalid_argument("no class " + std::string(name) + " in the class table");
}

}  // namespace corvane
