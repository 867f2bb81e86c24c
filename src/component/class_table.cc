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

using Factory = Activity* (*)(const ClassInfo&);

// Each family's factory answers for its own classes and null for the others.
constexpr Factory kFactories[] = {
    &CreateFlagActivity,   &CreateDeleteActivity,    &CreateExportActivity,
    &CreateFlowActivity,   &CreateHumanTaskActivity, &CreateFieldActivity,
    &CreateNotifyActivity, &CreateDocOpsActivity,    &CreateSignatureActivity,
};

}  // namespace

Activity* CreateActivity(const ClassInfo& info) {
  for (Factory factory : kFactories)
    if (Activity* activity = factory(info)) return activity;
  return nullptr;
}

}  // namespace corvane
