#include "records/flag_activities.h"

#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "framework/host_access.h"
#include "framework/item_list.h"
#include "rules/variant_rules.h"

namespace corvane {
namespace {

using FlagOperation = bool (pelmark::IDmsService::*)(pelmark::IEntityRef*, std::string_view);

struct FlagRow {
  FlagClass which;
  FlagOperation operation;
  std::string_view timestamp_variable;
  std::string_view result_variable;
  bool processes_record_series;
};

// MarkAsVital shares its time stamp with MarkAsRecord, and the hold classes keep
// the variable names workflows already read ("PUTOBHOLD").
constexpr FlagRow kFlagRows[] = {
    {FlagClass::kMarkAsArchive, &pelmark::IDmsService::MarkAsArchive, "ARCHIVEDON", "ARCHIVED",
     true},
    {FlagClass::kMarkAsRecord, &pelmark::IDmsService::MarkAsRecord, "MARKEDASRECORDON", "ISRECORD",
     true},
    {FlagClass::kMarkAsVital, &pelmark::IDmsService::MarkAsVital, "MARKEDASRECORDON", "ISVITAL",
     true},
    {FlagClass::kPutOnHold, &pelmark::IDmsService::PutOnHold, "PUTONHOLDON", "PUTOBHOLD", false},
    {FlagClass::kUnmarkAsVital, &pelmark::IDmsService::UnmarkAsVital, "UNMARKASVITALDON",
     "UNMARKASVITAL", true},
    {FlagClass::kUnmarkAsRecord, &pelmark::IDmsService::UnmarkAsRecord, "UNMARKASRECORDON",
     "UNMARKASRECORD", true},
    {FlagClass::kResetOnHold, &pelmark::IDmsService::ResetOnHold, "RESETPUTOBHOLDON",
     "RESETPUTOBHOLD", false},
};

class FlagActivity final : public Activity {
 public:
  FlagActivity(const ClassInfo& info, const FlagRow& row) : Activity(info), row_(row) {}

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    bool walked = false;
    RunItemFront(services, task, at, [&](ItemContext& items) {
      at(8);
      if (!row_.processes_record_series && items.item_kind == ItemKind::kRecordSeries) return;
      walked = ProcessItems(items.doc, items.dms, task, items.kind);
    });
    at(9);
    SetTaskVariable(task, row_.timestamp_variable, Now());
    at(10);
    SetTaskVariable(task, row_.result_variable, walked);
    return pelmark::kResultDone;
  }

  // Calls the operation once per item. A failing item must not stop the walk, so
  // each statement's error is dropped; the result says the list was walked.
  bool ProcessItems(const XmlDocument& doc, pelmark::IDmsService* dms, pelmark::ITask* task,
                    const std::string& kind) {
    const FlagOperation operation = row_.operation;
    return Reported({kPrivate, info().name, ":ProcessItems Ln "}, [&](Line& at) {
      at(1);
      ListedItems items = ListedItems::Of(doc, kind);
      if (items.absent()) return false;
      at(2);
      pelmark::ComPtr<pelmark::IEntityRef> ref = NewEntityRef();
      at(3);
      // The kind is the same for every item; its entity name is found once.
      const std::string entity_name = EntityNameOfKind(kind);
      for (const ListedItem& item : items) {
        bool id_read = Suppressed([&] {
          try {
            ref->SetID(item.Id());
          } catch (const pelmark::Error& e) {
            ReportUnreadItem(item, entity_name, e);
            throw;
          }
        });
        Suppressed([&] { ref->SetEntityName(entity_name); });
        Suppressed([&] { ref->SetTypeCode(ItemTypeCode(item, kind, ref.get())); });
        // An item without a readable id would act on the previous item again.
        if (!id_read) continue;
        // Reading the reason and calling the operation are one step: a refused
        // reason skips the operation for this item.
        Suppressed([&] {
          const pelmark::Variant reason = TaskParameter(task, "REASON");
          // A text reason is handed on as it is, without a copy.
          if (reason.is_string())
            (Must(dms)->*operation)(ref.get(), reason.string_value());
          else
            (Must(dms)->*operation)(ref.get(), ToTextOrEmpty(reason));
        });
      }
      at(5);
      return true;
    });
  }

  const FlagRow& row_;
};

}  // namespace

Activity* NewFlagActivity(const ClassInfo& info, FlagClass which) {
  for (const FlagRow& row : kFlagRows)
    if (row.which == which) return new FlagActivity(info, row);
  Raise(5);
}

}  // namespace corvane
