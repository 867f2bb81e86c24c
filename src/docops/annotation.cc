#include "docops/annotation.h"

#include <cmath>

#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "framework/host_access.h"
#include "framework/item_list.h"
#include "rules/error_report.h"
#include "rules/variant_rules.h"

namespace corvane {
namespace {

using pelmark::ComPtr;
using pelmark::Variant;

// What an annotation field is set to; the mark is chosen by name separately.
enum class Source {
  kType,
  kTop,
  kLeft,
  kRight,
  kBottom,
  kColor,
  kBorderWidth,
  kUnit,
  kZorder,
  kPageNo
};

struct FieldRow {
  std::string_view name;  // compared exactly, case included
  Source source;
};

constexpr FieldRow kAnnotationFields[] = {
    {"Type", Source::kType},
    {"Top", Source::kTop},
    {"Left", Source::kLeft},
    {"Right", Source::kRight},
    {"Bottom", Source::kBottom},
    {"Color", Source::kColor},
    {"Border Width", Source::kBorderWidth},
    {"Unit", Source::kUnit},
    {"Zorder", Source::kZorder},
    {"Page No", Source::kPageNo},
};

constexpr int32_t kStampAnnotationType = 6;
constexpr int32_t kAnnotationColor = 0x1000000;

struct Placement {
  double top, left, right, bottom;
};

// `extent + edge` as Basic adds a variant to a Double: the extent is read as a
// number (numeric text included, never concatenated) and Null stays Null, which
// the conversion of the sum then refuses with 94.
double EdgeSum(const Variant& extent, double edge) {
  double sum = ToDouble(extent) + edge;
  if (!std::isfinite(sum)) Raise(6);
  return sum;
}

Placement ReadPlacement(pelmark::ITask* task) {
  Placement p{};
  p.left = ToDouble(TaskParameter(task, "LEFT"));
  p.top = ToDouble(TaskParameter(task, "TOP"));
  p.right = EdgeSum(TaskParameter(task, "WIDTH"), p.left);
  p.bottom = EdgeSum(TaskParameter(task, "HEIGHT"), p.top);
  return p;
}

// Sets one known field; a field of another name is left as the DMS made it.
void SetAnnotationField(pelmark::IField* field, const Placement& p, pelmark::ITask* task,
                        const AnnotationMark& mark) {
  std::string name = field->Name();
  if (name == mark.field) {
    field->SetValue(mark.value(task));
    return;
  }
  for (const FieldRow& row : kAnnotationFields) {
    if (row.name != name) continue;
    switch (row.source) {
      case Source::kType:
        field->SetValue(Variant(kStampAnnotationType));
        break;
      case Source::kTop:
        field->SetValue(Variant(p.top));
        break;
      case Source::kLeft:
        field->SetValue(Variant(p.left));
        break;
      case Source::kRight:
        field->SetValue(Variant(p.right));
        break;
      case Source::kBottom:
        field->SetValue(Variant(p.bottom));
        break;
      case Source::kColor:
        field->SetValue(Variant(kAnnotationColor));
        break;
      // The variant has no 16-bit kind; the whole numbers go as Long.
      case Source::kBorderWidth:
        field->SetValue(Variant(int32_t{1}));
        break;
      case Source::kZorder:
        field->SetValue(Variant(int32_t{0}));
        break;
      // Only the parameter's presence counts: any "UNIT" means inches.
      case Source::kUnit:
        if (TaskParameterExists(task, "UNIT")) field->SetValue(Variant("in"));
        break;
      case Source::kPageNo:
        field->SetValue(TaskParameter(task, "PAGE_NUMBER"));
        break;
    }
    return;
  }
}

Variant StampName(pelmark::ITask* task) { return TaskParameter(task, "STAMP_NAME"); }

}  // namespace

const AnnotationMark kStampNameMark{"Stamp Name", &StampName};

void ApplyAnnotation(std::string_view class_name, pelmark::IEntityRef* document,
                     pelmark::IDmsService* dms, pelmark::ITask* task, const AnnotationMark& mark) {
  Reported({kPrivate, class_name, ":ApplyAnnotation Ln "}, [&](Line& at) {
    at(1);
    Placement placement = ReadPlacement(task);
    at(2);
    ComPtr<pelmark::IEntity> annotation = Must(dms)->NewEntity("Annotation");
    at(3);
    ComPtr<pelmark::IFields> fields = Must(annotation)->Fields();
    for (int32_t i = 1, n = Must(fields)->Count(); i <= n; ++i) {
      at(4);
      ComPtr<pelmark::IField> field = fields->ItemAt(i);
      SetAnnotationField(Must(field), placement, task, mark);
    }
    at(5);
    dms->AddAnnotation(document, annotation.get());
  });
}

void ProcessAnnotatedDocuments(std::string_view class_name, const XmlDocument& doc,
                               pelmark::IDmsService* dms, pelmark::ITask* task,
                               const AnnotationMark& mark) {
  const ItemKindRow& kind = RowOf(ItemKind::kDocument);
  Reported({kPrivate, class_name, kind.procedure}, [&](Line& at) {
    at(1);
    ListedItems items = ListedItems::Of(doc, kind.kind);
    if (items.absent()) return;
    at(2);
    ComPtr<pelmark::IEntityRef> ref = NewEntityRef();
    for (const ListedItem& item : items) {
      at(3);
      item.PointAt(ref.get(), kind.kind);
      at(4);
      ComPtr<pelmark::IEntity> found = Must(dms)->GetDocument(ref.get());
      if (!found) continue;
      at(5);
      ApplyAnnotation(class_name, ref.get(), dms, task, mark);
    }
  });
}

}  // namespace corvane
