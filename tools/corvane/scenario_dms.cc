#include <initializer_list>
#include <string>
#include <string_view>

#include "scenario_parts.h"

namespace corvane::cli {
namespace {

using pelmark::Variant;
using pelmark::VarType;

struct DataTypeName {
  std::string_view name;
  int32_t code;
};
constexpr DataTypeName kDataTypes[] = {
    {"double", sim::kDouble},     {"date", sim::kDate},   {"yesno", sim::kYesNo},
    {"long", sim::kLong},         {"text", sim::kText},   {"string", sim::kString},
    {"longtext", sim::kLongText}, {"keyed", sim::kKeyed},
};

int32_t DataTypeOf(const Node& node) {
  if (node.json().is_string()) {
    std::string name = node.Text();
    for (const DataTypeName& t : kDataTypes)
      if (t.name == name) return t.code;
    std::vector<std::string_view> names;
    for (const DataTypeName& t : kDataTypes) names.push_back(t.name);
    node.Fail("unknown data type \"" + name + "\"" + Suggestion(name, names) +
              "; use a code (5, 7, 11, 12, 14, 200, 201, 24, ...) or one of double, date, "
              "yesno, long, text, string, longtext, keyed");
  }
  return node.Int();
}

int32_t InferredDataType(const Variant& v) {
  switch (v.type()) {
    case VarType::Long:
      return sim::kLong;
    case VarType::Double:
      return sim::kDouble;
    case VarType::Date:
      return sim::kDate;
    case VarType::Boolean:
      return sim::kYesNo;
    default:
      return sim::kString;
  }
}

// A plain JSON value for a field of a known data type, which must fit it; a
// typed value ({"string": "abc"}) is taken as written, to store odd values.
Variant FieldValueFor(const Node& node, int32_t data_type) {
  const Json& j = node.json();
  if (j.is_null() || IsTypedValue(j)) return node.Value();
  auto wrong = [&](std::string_view expected) {
    node.Fail("the value " + j.dump() + " does not fit a field of data type " +
              std::to_string(data_type) + "; give " + std::string(expected) +
              ", null, or a typed value such as {\"string\": ...} to store it anyway");
  };
  switch (data_type) {
    case sim::kDouble:
      if (!j.is_number()) wrong("a number");
      return Variant(j.get<double>());
    case sim::kLong:
      if (!j.is_number_integer() || j.get<int64_t>() < INT32_MIN || j.get<int64_t>() > INT32_MAX)
        wrong("a whole number");
      return Variant(static_cast<int32_t>(j.get<int64_t>()));
    case sim::kYesNo:
      if (!j.is_boolean()) wrong("true or false");
      return Variant(j.get<bool>());
    case sim::kDate:
      // Date() refuses a day number outside the years a Date can hold.
      if (j.is_number() || (j.is_string() && ParseIsoDate(j.get<std::string>())))
        return Variant::Date(node.Date());
      wrong("a date \"yyyy-mm-dd\" or \"yyyy-mm-ddThh:mm:ss\"");
      return Variant();  // not reached: wrong() throws
    case sim::kText:
    case sim::kString:
    case sim::kLongText:
      if (!j.is_string()) wrong("a text");
      return Variant(j.get<std::string>());
    default:
      return node.Value();
  }
}

sim::Field ParseField(const std::string& name, const Node& node) {
  const Json& j = node.json();
  if (!j.is_object() || IsTypedValue(j)) {
    Variant v = node.Value();
    sim::Field f = sim::Field::Of(name, InferredDataType(v), v);
    return f;
  }
  if (node.Has("lookup")) {
    node.Keys({"lookup"});
    Node lookup = node.At("lookup");
    if (lookup.json().is_null()) return sim::Field::NullLookup(name);
    lookup.Keys({"id", "typecode", "display", "major", "minor"});
    sim::Field f = sim::Field::Lookup(name, lookup.At("id").Int(), lookup.IntOr("typecode", 0),
                                      lookup.TextOr("display", ""));
    f.major_version = lookup.IntOr("major", 0);
    f.minor_version = lookup.IntOr("minor", 0);
    return f;
  }
  node.Keys({"datatype", "value", "key", "text"});
  int32_t data_type = node.Has("datatype") ? DataTypeOf(node.At("datatype")) : -1;
  if (node.Has("key") || data_type == sim::kKeyed) {
    if (!node.Has("key"))
      node.Fail(
          "a keyed field (data type 24) needs \"key\" (a whole number, or null for a Null "
          "value) and \"text\"");
    if (node.Has("value"))
      node.At("value").Fail("a keyed field's value is its \"key\"; remove \"value\"");
    sim::Field f = node.At("key").json().is_null()
                       ? sim::Field::NullChoice(name, node.TextOr("text", ""))
                       : sim::Field::Choice(name, node.At("key").Int(), node.TextOr("text", ""));
    if (data_type != -1) f.data_type = data_type;
    return f;
  }
  Node value = node.At("value");
  if (data_type == -1) return ParseField(name, value);
  return sim::Field::Of(name, data_type, FieldValueFor(value, data_type));
}

std::vector<sim::Field> ParseFields(const Node& node) {
  std::vector<sim::Field> out;
  for (auto& [name, value] : node.Members("the fields, name to value"))
    out.push_back(ParseField(name, value));
  return out;
}

sim::Entity ParseEntity(const Node& node, std::initializer_list<std::string_view> keys,
                        int32_t default_type_code) {
  node.Keys(keys);
  sim::Entity e;
  e.id = node.At("id").Id();
  e.type_code = node.IntOr("typecode", default_type_code);
  if (node.Has("fields")) e.fields = ParseFields(node.At("fields"));
  return e;
}

sim::UserSpec ParseUser(const Node& node) {
  node.Keys({"id", "name", "fullname", "email", "usertype"});
  return {.id = node.At("id").Id(),
          .name = node.ValueOr("name", ""),
          .full_name = node.ValueOr("fullname", ""),
          .email = node.ValueOr("email", ""),
          .user_type = node.IntOr("usertype", 0)};
}

sim::GroupSpec ParseGroup(const Node& node) {
  node.Keys({"id", "name", "members"});
  sim::GroupSpec g{.id = node.At("id").Id(), .name = node.TextOr("name", "")};
  if (node.Has("members"))
    for (const Node& m : node.At("members").List()) g.members.push_back(m.Id());
  return g;
}

InDatabase<sim::DocumentSpec> ParseDocument(const Node& n) {
  n.Keys({"database", "id", "doctypecode", "stack", "version", "fields", "system_fields"});
  sim::DocumentSpec d;
  d.id = n.At("id").Id();
  d.doc_type_code = n.IntOr("doctypecode", sim::kDocumentTypeCode);
  if (n.Has("stack")) {
    Node stack = n.At("stack");
    stack.Keys({"id", "typecode"});
    d.parent_id = stack.At("id").Id();
    d.parent_type_code = stack.At("typecode").Int();
  }
  if (n.Has("version")) {
    std::vector<Node> v = n.At("version").List();
    if (v.size() != 2) n.At("version").Fail("expected [major, minor], for example [1, 0]");
    d.major_version = v[0].Int();
    d.minor_version = v[1].Int();
  }
  if (n.Has("fields")) d.fields = ParseFields(n.At("fields"));
  d.system_fields = n.BoolOr("system_fields", true);
  return {n.At("database").Int(), std::move(d)};
}

// Stacks, record series and retention labels; a default type code of 0 means
// the scenario must give one.
void ParseItemEntities(const Node& dms, const char* key, int32_t default_type_code,
                       std::vector<InDatabase<sim::Entity>>& out) {
  if (!dms.Has(key)) return;
  for (const Node& n : dms.At(key).List()) {
    n.RequireObject("an entity");
    int32_t database = n.At("database").Int();
    out.push_back(
        {database, ParseEntity(n, {"database", "id", "typecode", "fields"}, default_type_code)});
    if (default_type_code == 0 && !n.Has("typecode"))
      n.Fail(
          "\"typecode\" is required: the item list names stacks and record series by "
          "id and type code");
  }
}

SecurityLabelSpec ParseSecurityLabel(const Node& n) {
  n.Keys({"database", "name", "id", "typecode"});
  return {n.At("database").Int(), n.At("name").Text(), n.At("id").Int(),
          n.IntOr("typecode", sim::kSecurityLabelTypeCode)};
}

sim::Entity ParseJob(const Node& n) {
  n.Keys({"id", "typecode", "startdate", "fields"});
  sim::Entity job;
  job.entity_name = "Job";
  job.id = n.At("id").Id();
  job.type_code = n.IntOr("typecode", sim::kJobTypeCode);
  if (n.Has("fields")) job.fields = ParseFields(n.At("fields"));
  if (n.Has("startdate"))
    job.fields.insert(job.fields.begin(), sim::Field::Date("Start Date", n.At("startdate").Date()));
  return job;
}

EventCodeSpec ParseEventCode(const Node& n) {
  n.Keys({"typecode", "event", "code"});
  return {n.At("typecode").Int(), n.At("event").Text(), n.At("code").Int()};
}

sim::Entity ParseTemplate(const Node& n) {
  n.Keys({"entity", "typecode", "fields"});
  sim::Entity t;
  t.entity_name = n.At("entity").Text();
  t.type_code = n.IntOr("typecode", 0);
  if (n.Has("fields")) t.fields = ParseFields(n.At("fields"));
  return t;
}

// Each element of the list under `key`, when there is one, read by `parse`.
template <class T, class Parse>
void ParseList(const Node& dms, const char* key, std::vector<T>& out, Parse parse) {
  if (dms.Has(key))
    for (const Node& n : dms.At(key).List()) out.push_back(parse(n));
}

}  // namespace

void ParseDms(const Node& dms, Scenario& s) {
  dms.Keys({"databases", "documents", "stacks", "recordseries", "retentionlabels", "securitylabels",
            "users", "groups", "roles", "jobs", "eventcodes", "intervalcodes",
            "replace_intervalcodes", "templates"});
  ParseList(dms, "databases", s.databases, [](const Node& n) { return n.Int(); });
  ParseList(dms, "documents", s.documents, ParseDocument);
  ParseItemEntities(dms, "stacks", 0, s.stacks);
  ParseItemEntities(dms, "recordseries", 0, s.record_series);
  ParseItemEntities(dms, "retentionlabels", sim::kRetentionLabelTypeCode, s.retention_labels);
  ParseList(dms, "securitylabels", s.security_labels, ParseSecurityLabel);
  ParseList(dms, "users", s.users, ParseUser);
  ParseList(dms, "groups", s.groups, ParseGroup);
  ParseList(dms, "roles", s.roles, ParseGroup);
  ParseList(dms, "jobs", s.jobs, ParseJob);
  ParseList(dms, "eventcodes", s.event_codes, ParseEventCode);
  if (dms.Has("intervalcodes"))
    for (auto& [text, code] : dms.At("intervalcodes").Members("interval texts to codes"))
      s.interval_codes.emplace_back(text, code.Int());
  s.replace_interval_codes = dms.BoolOr("replace_intervalcodes", false);
  ParseList(dms, "templates", s.entity_templates, ParseTemplate);
}

}  // namespace corvane::cli
