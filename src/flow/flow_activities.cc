#include "flow/flow_activities.h"

namespace corvane {

Activity* CreateFlowActivity(const ClassInfo& info) {
  if (info.name == "Wait") return NewWaitActivity(info);
  if (info.name == "EndWorkflow") return NewEndWorkflowActivity(info);
  return nullptr;
}

}  // namespace corvane
