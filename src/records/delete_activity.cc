#include "records/delete_activity.h"

#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "framework/host_access.h"
#include "framework/item_list.h"
#include "rules/variant_rules.h"

namespace corvane {
namespace {

class DeleteActivity final : public Activity {
 public:
  using Activity::Activity;

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    bool deleted = false;
    RunItemFront(services, task, at, [&](ItemContext& items) {
      at(8);
      // Without the parameter, child items go with their stack or record series.
      bool delete_child_items = TaskParameterExists(task, "DELETE_CHILD_ITEMS")
                                    ? ToBoolean(TaskParameter(task, "DELETE_CHILD_ITEMS"))
                                    : true;
      std::string reason = ToTextOrEmpty(TaskParameter(task, "REASON"));
      deleted = ProcessItems(items, delete_child_items, reason);
    });
    at(9);
    SetTaskVariable(task, "DELETED", deleted);
    at(10);
    SetTaskVariable(task, "DELETEDON", Now());
    return pelmark::kResultDone;
  }

  // Unlike the flag walk, the first failing delete ends the walk: items already
  // deleted stay deleted and later ones are not attempted.
  bool ProcessItems(const ItemContext& items, bool delete_child_items, const std::string& reason) {
    return Reported({kPrivate, info().name, ":ProcessItems Ln "}, [&](Line& at) {
      at(1);
      pelmark::ComPtr<pelmark::IEntityRef> ref = NewEntityRef();
      return WalkItems(items.doc, items.kind, ref.get(),
                       [&](const ListedItem&, pelmark::IEntityRef* item) {
                         at(2);
                         DeleteItem(items.item_kind, items.dms, item, delete_child_items, reason);
                       });
    });
  }

  static bool DeleteItem(ItemKind kind, pelmark::IDmsService* dms, pelmark::IEntityRef* item,
                         bool delete_child_items, const std::string& reason) {
    switch (kind) {
      case ItemKind::kDocument:
        return Must(dms)->DeleteDocument(item, reason);
      case ItemKind::kStack:
        return Must(dms)->DeleteDataEntity(item, delete_child_items, reason);
      case ItemKind::kRecordSeries:
        return Must(dms)->DeleteRecordSeries(item, delete_child_items, reason);
      case ItemKind::kOther:
        return false;
    }
    return false;
  }
};

}  // namespace

Activity* NewDeleteActivity(const ClassInfo& info) { return new DeleteActivity(info); }

}  // namespace corvane
