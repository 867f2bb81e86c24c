#include "shared/field_addressing.h"

#include "framework/com_object.h"
#include "rules/variant_rules.h"

namespace corvane {

namespace {

FieldAddress AddressOfText(std::string_view text) {
  FieldAddress a;
  a.name = Trim(LCase(text));
  a.own = !Like(a.name, "*.*") || Like(a.name, "self.*");
  size_t dot = a.name.find('.');
  a.bare = dot == std::string::npos ? a.name : a.name.substr(dot + 1);
  return a;
}

}  // namespace

FieldAddress DeriveFieldAddress(const pelmark::Variant& raw) { return AddressOfText(ToText(raw)); }

const FieldAddress& FieldAddressDeriver::Derive(const pelmark::Variant& raw) {
  // The same text as the previous item's is the usual case: compared without a copy.
  if (text_ && raw.is_string() && *text_ == raw.string_value()) return address_;
  std::string text = ToText(raw);
  if (text_ && *text_ == text) return address_;
  address_ = AddressOfText(text);
  text_ = std::move(text);
  return address_;
}

std::string StackDocumentsQuery(int32_t stack_id, int32_t stack_type_code) {
  std::string q =
      "<query entity=\"tblDocument\" maxrows=\"-1\" distinctmode=\"0\" columnset=\"0\"><columnset/>"
      "<criteria><conditionexpression logicaloperator=\"1\"><conditionexpressions/><conditions>"
      "<condition attributename=\"ParentDataEntityObjectID\" attributetype= \"0\" operator=\"1\" "
      "valuetype=\"0\" valuedatatype = \"2\" >";
  q += std::to_string(stack_id);
  q += "</condition><condition attributename=\"ParentDataEntityTypeCode\" attributetype= \"0\" "
       "operator=\"1\" valuetype=\"0\" valuedatatype = \"2\" >";
  q += std::to_string(stack_type_code);
  q += "</condition></conditions></conditionexpression></criteria><joins/><orderby/><parameters/>"
       "</query>";
  return q;
}

pelmark::ComPtr<pelmark::IField> FieldOf(pelmark::IEntity* entity, std::string_view name) {
  pelmark::ComPtr<pelmark::IFields> fields = Must(entity)->Fields();
  pelmark::ComPtr<pelmark::IField> field = Must(fields)->Item(name);
  Must(field);
  return field;
}

}  // namespace corvane
