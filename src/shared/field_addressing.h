// How the field classes address a DMS field: the "FIELDNAME" address (scope and
// bare name), the query that finds the documents filed in a stack, and field
// look-ups on entities.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "pelmark/dms.h"

namespace corvane {

struct FieldAddress {
  std::string name;  // lower-cased, trimmed
  bool own = false;  // no "." at all, or "self." first
  std::string bare;  // behind the first ".", or the whole name
};

// Derives the address from the raw "FIELDNAME" value (Null raises 94).
FieldAddress DeriveFieldAddress(const pelmark::Variant& raw);

// Derives the addresses of one walk, which reads "FIELDNAME" again for every
// item: a value whose text is unchanged is not derived again.
// Threading: one walk on one thread.
class FieldAddressDeriver {
 public:
  // The address of `raw` (Null raises 94); valid until the next call.
  const FieldAddress& Derive(const pelmark::Variant& raw);

 private:
  std::optional<std::string> text_;
  FieldAddress address_;
};

// The query text that lists the documents filed in a stack, byte for byte.
std::string StackDocumentsQuery(int32_t stack_id, int32_t stack_type_code);

// entity.Fields.Item(name); raises 91 when the entity, its fields or the field
// itself come back as Nothing.
pelmark::ComPtr<pelmark::IField> FieldOf(pelmark::IEntity* entity, std::string_view name);

}  // namespace corvane
