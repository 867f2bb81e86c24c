#include "docops/signature_activity.h"

#include "docops/annotation.h"
#include "framework/com_object.h"
#include "framework/host_access.h"
#include "framework/item_list.h"
#include "rules/variant_rules.h"
#include "shared/audit_notes.h"

namespace corvane {
namespace {

// A signature differs from a stamp in one field: the signer's user id.
const AnnotationMark kSignerMark{"User Id", [](pelmark::ITask* task) {
                                   return pelmark::Variant(ToText(Must(task)->ResourceID()));
                                 }};

class SignatureActivity final : public Activity {
 public:
  using Activity::Activity;

  // Audits the signature request for the documents of the workflow instance.
  void RunInitialize(pelmark::IActivityServices* services, pelmark::IActivity* activity) override {
    pelmark::ComPtr<pelmark::IActivityRuntime> self(this);
    pelmark::ComPtr<pelmark::IActivityServices> held_services(services);
    pelmark::ComPtr<pelmark::IActivity> held_activity(activity);
    Reported({kBracketed, "Signature: IActivityRuntime_Initialize Sub (", ""}, [&](Line& at) {
      at(1);
      pelmark::ComPtr<pelmark::IProcessInstance> instance =
          Must(services)->GetProcessInstance(Must(activity)->ProcessID());
      std::string initiator = ToText(Must(instance)->InitiatorID());
      at(2);
      AuditEvent(AuditCopyOf("Signature"), services, instance.get(), "", "signature_request", 1,
                 initiator);
    });
  }

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    at(20);
    // Only an explicit "no" skips the step; anything else signs.
    if (EqualsFalse(TaskVariable(task, "SIGN"))) return pelmark::kResultDone;
    at(21);
    SetTaskVariable(task, "SIGNEDON", Now());
    RunItemFront(services, task, at, [&](ItemContext& items) {
      at(8);
      if (items.item_kind != ItemKind::kDocument) return;
      ProcessAnnotatedDocuments(info().name, items.doc, items.dms, task, kSignerMark);
      at(9);
      SetTaskVariable(task, "SIGNEDBY", Must(task)->ResourceName());
      at(10);
      SetTaskVariable(task, "SIGNEDON", Now());
    });
    return pelmark::kResultDone;
  }
};

}  // namespace

Activity* NewSignatureActivity(const ClassInfo& info) { return new SignatureActivity(info); }

}  // namespace corvane
