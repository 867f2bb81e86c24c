#include "shared/item_refs.h"

#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "rules/variant_rules.h"
#include "shared/field_addressing.h"

namespace corvane {

void ForEachStackDocument(pelmark::IDmsService* dms, pelmark::IEntityRef* stack,
                          pelmark::IEntityRef* document, const std::function<void()>& act) {
  pelmark::ComPtr<pelmark::IEntity> found = Must(dms)->GetDataEntity(stack);
  if (!found) return;
  pelmark::ComPtr<pelmark::IQuery> query = NewQuery();
  query->LoadXml(StackDocumentsQuery(stack->ID(), stack->TypeCode()));
  pelmark::ComPtr<pelmark::IEntityList> documents = dms->QueryEntities(query.get());
  for (int32_t i = 1, n = Must(documents)->Count(); i <= n; ++i) {
    pelmark::ComPtr<pelmark::IEntity> filed = documents->Item(i);
    int32_t id = Must(filed)->ID();
    // Unlike the field classes, these steps address the document as its own type.
    int32_t doc_type = ToLong(FieldOf(filed.get(), "DocTypeCode")->Value());
    document->SetID(id);
    document->SetEntityName(RowOf(ItemKind::kDocument).entity_name);
    document->SetTypeCode(SignedTypeCode(id, doc_type));
    act();
  }
}

}  // namespace corvane
