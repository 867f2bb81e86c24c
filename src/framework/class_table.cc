#include "framework/class_table.h"

#include <string>

#include "docops/docops_activities.h"
#include "fields/field_activities.h"
#include "flow/flow_activities.h"
#include "records/delete_activity.h"
#include "records/export_activity.h"
#include "records/flag_activities.h"

namespace corvane {
namespace {

// A catalogue class whose behaviour this build does not have yet. It registers and
// can be created like the others, but every call fails loudly and names the class.
class UnbuiltActivity final : public Activity {
 public:
  using Activity::Activity;

  int32_t EvaluateCompositeTask(pelmark::IActivityServices* services,
                                pelmark::IActivity* activity, pelmark::ITask*& task) override {
    if (!HasOwnFrame()) return Activity::EvaluateCompositeTask(services, activity, task);
    return Reported({kPublic, info().name, ": IActivityRuntime_EvaluateCompositeTask Function Ln "},
                    [&](Line&) -> int32_t { Fail(); });
  }
  void Initialize(pelmark::IActivityServices* services, pelmark::IActivity* activity) override {
    if (!HasOwnFrame()) return Activity::Initialize(services, activity);
    Reported({kPublic, info().name, ": IActivityRuntime_Initialize Sub Ln "},
             [&](Line&) { Fail(); });
  }

 private:
  int32_t ExecuteWork(pelmark::IActivityServices*, pelmark::ITask*, Line&) override { Fail(); }

  // The human-task classes and Signature do work of their own beyond Execute.
  bool HasOwnFrame() const {
    std::string_view n = info().name;
    return n == "DocApproval" || n == "Review" || n == "ToDo" || n == "Signature";
  }

  [[noreturn]] void Fail() const {
    Raise(445, "Corvane." + std::string(info().name) +
                   " is registered but not implemented in this build");
  }
};

using Factory = Activity* (*)(const ClassInfo&);

// Each family's factory answers for its own classes and null for the others.
constexpr Factory kFactories[] = {
    &CreateFlagActivity,
    &CreateFieldActivity,
    &CreateDeleteActivity,
    &CreateExportActivity,
    &CreateFlowActivity,
    &CreateDocOpsActivity,
};

}  // namespace

Activity* CreateActivity(const ClassInfo& info) {
  for (Factory factory : kFactories)
    if (Activity* activity = factory(info)) return activity;
  return new UnbuiltActivity(info);
}

}  // namespace corvane
