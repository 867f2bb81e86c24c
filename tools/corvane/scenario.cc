#include "scenario.h"

#include <algorithm>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include "corvane/catalogue.h"

namespace corvane::cli {
namespace {

using pelmark::Variant;
using pelmark::VarType;

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t up = row[j];
      bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                  std::tolower(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

// " (did you mean X?)" for the nearest candidate, or nothing.
template <class Range>
std::string Suggestion(std::string_view wrong, const Range& candidates) {
  std::string best;
  size_t best_distance = std::max<size_t>(3, wrong.size() / 3) + 1;
  for (std::string_view c : candidates) {
    size_t d = EditDistance(wrong, c);
    if (d < best_distance) best_distance = d, best = std::string(c);
  }
  return best.empty() ? "" : " (did you mean \"" + best + "\"?)";
}

std::string JsonKind(const Json& j) {
  switch (j.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::boolean:
      return "true/false";
    case Json::value_t::string:
      return "a text";
    case Json::value_t::array:
      return "a list";
    case Json::value_t::object:
      return "an object";
    default:
      return "a number";
  }
}

// A place in the scenario document, with checked accessors that name it.
class Node {
 public:
  Node(const Json& json, std::string place) : json_(json), place_(std::move(place)) {}
  const Json& json() const { return json_; }
  const std::string& place() const { return place_; }

  [[noreturn]] void Fail(const std::string& message) const { throw ScenarioError(place_, message); }

  void RequireObject(std::string_view what) const {
    if (!json_.is_object())
      Fail("expected " + std::string(what) + " (an object), found " + JsonKind(json_));
  }
  // REQUIRES: an object. Refuses keys outside `allowed`, which catches typos.
  void Keys(std::initializer_list<std::string_view> allowed) const {
    RequireObject("an object");
    for (const auto& [key, value] : json_.items()) {
      if (std::find(allowed.begin(), allowed.end(), key) != allowed.end()) continue;
      std::string list;
      for (std::string_view a : allowed) list += (list.empty() ? "" : ", ") + std::string(a);
      Node(value, Child(key))
          .Fail("unknown key \"" + key + "\"" + Suggestion(key, allowed) + "; the keys here are " +
                list);
    }
  }
  bool Has(std::string_view key) const { return json_.is_object() && json_.contains(key); }
  Node At(std::string_view key) const {
    if (!Has(key)) Fail("the key \"" + std::string(key) + "\" is required here");
    return Node(json_.at(std::string(key)), Child(key));
  }
  std::vector<Node> List() const {
    if (!json_.is_array()) Fail("expected a list [...], found " + JsonKind(json_));
    std::vector<Node> out;
    for (size_t i = 0; i < json_.size(); ++i)
      out.emplace_back(json_[i], place_ + "[" + std::to_string(i) + "]");
    return out;
  }
  // Object members in file order.
  std::vector<std::pair<std::string, Node>> Members(std::string_view what) const {
    RequireObject(what);
    std::vector<std::pair<std::string, Node>> out;
    for (const auto& [key, value] : json_.items()) out.emplace_back(key, Node(value, Child(key)));
    return out;
  }

  int32_t Int() const {
    if (json_.is_number_integer()) {
      int64_t n = json_.get<int64_t>();
      if (n >= INT32_MIN && n <= INT32_MAX) return static_cast<int32_t>(n);
    }
    if (json_.is_number_unsigned() && json_.get<uint64_t>() <= UINT32_MAX)
      return static_cast<int32_t>(json_.get<uint64_t>());  // 0x8004... written in decimal
    if (json_.is_string()) {
      const std::string s = json_.get<std::string>();
      if (s.starts_with("0x") || s.starts_with("0X")) {
        try {
          size_t used = 0;
          unsigned long long n = std::stoull(s.substr(2), &used, 16);
          if (used == s.size() - 2 && n <= UINT32_MAX) return static_cast<int32_t>(n);
        } catch (const std::exception&) {
        }
      }
    }
    Fail("expected a whole number (32 bits; hexadecimal as \"0x80041005\"), found " + json_.dump());
  }
  std::string Text() const {
    if (!json_.is_string()) Fail("expected a text in double quotes, found " + JsonKind(json_));
    return json_.get<std::string>();
  }
  bool Bool() const {
    if (!json_.is_boolean()) Fail("expected true or false, found " + json_.dump());
    return json_.get<bool>();
  }
  double Date() const {
    if (json_.is_number()) return json_.get<double>();
    if (json_.is_string())
      if (std::optional<double> d = ParseIsoDate(json_.get<std::string>())) return *d;
    Fail("expected a date \"yyyy-mm-dd\" or \"yyyy-mm-ddThh:mm:ss\", found " + json_.dump());
  }
  Variant Value() const { return ParseVariant(json_, place_); }

  int32_t IntOr(std::string_view key, int32_t fallback) const {
    return Has(key) ? At(key).Int() : fallback;
  }
  std::string TextOr(std::string_view key, std::string fallback) const {
    return Has(key) ? At(key).Text() : fallback;
  }
  bool BoolOr(std::string_view key, bool fallback) const {
    return Has(key) ? At(key).Bool() : fallback;
  }
  Variant ValueOr(std::string_view key, Variant fallback) const {
    return Has(key) ? At(key).Value() : fallback;
  }

 private:
  std::string Child(std::string_view key) const {
    return place_.empty() ? std::string(key) : place_ + "." + std::string(key);
  }
  const Json& json_;
  std::string place_;
};

// --- DMS content -----------------------------------------------------------

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
      if (j.is_string()) {
        if (std::optional<double> d = ParseIsoDate(j.get<std::string>())) return Variant::Date(*d);
      } else if (j.is_number()) {
        return Variant::Date(j.get<double>());
      }
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
      node.Fail("a keyed field (data type 24) needs \"key\" (a whole number) and \"text\"");
    sim::Field f = sim::Field::Choice(name, node.At("key").Int(), node.TextOr("text", ""));
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
  e.id = node.At("id").Int();
  e.type_code = node.IntOr("typecode", default_type_code);
  if (node.Has("fields")) e.fields = ParseFields(node.At("fields"));
  return e;
}

sim::UserSpec ParseUser(const Node& node) {
  node.Keys({"id", "name", "fullname", "email", "usertype"});
  return {.id = node.At("id").Int(),
          .name = node.ValueOr("name", ""),
          .full_name = node.ValueOr("fullname", ""),
          .email = node.ValueOr("email", ""),
          .user_type = node.IntOr("usertype", 0)};
}

sim::GroupSpec ParseGroup(const Node& node) {
  node.Keys({"id", "name", "members"});
  sim::GroupSpec g{.id = node.At("id").Int(), .name = node.TextOr("name", "")};
  if (node.Has("members"))
    for (const Node& m : node.At("members").List()) g.members.push_back(m.Int());
  return g;
}

void ParseDms(const Node& dms, Scenario& s) {
  dms.Keys({"databases", "documents", "stacks", "recordseries", "retentionlabels", "securitylabels",
            "users", "groups", "roles", "jobs", "eventcodes", "intervalcodes",
            "replace_intervalcodes", "templates"});
  if (dms.Has("databases"))
    for (const Node& n : dms.At("databases").List()) s.databases.push_back(n.Int());
  if (dms.Has("documents")) {
    for (const Node& n : dms.At("documents").List()) {
      n.Keys({"database", "id", "doctypecode", "stack", "version", "fields", "system_fields"});
      sim::DocumentSpec d;
      d.id = n.At("id").Int();
      d.doc_type_code = n.IntOr("doctypecode", sim::kDocumentTypeCode);
      if (n.Has("stack")) {
        Node stack = n.At("stack");
        stack.Keys({"id", "typecode"});
        d.parent_id = stack.At("id").Int();
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
      s.documents.push_back({n.At("database").Int(), std::move(d)});
    }
  }
  auto entities = [&](const char* key, auto& out, int32_t default_type_code) {
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
  };
  entities("stacks", s.stacks, 0);
  entities("recordseries", s.record_series, 0);
  entities("retentionlabels", s.retention_labels, sim::kRetentionLabelTypeCode);
  if (dms.Has("securitylabels")) {
    for (const Node& n : dms.At("securitylabels").List()) {
      n.Keys({"database", "name", "id", "typecode"});
      s.security_labels.push_back({n.At("database").Int(), n.At("name").Text(), n.At("id").Int(),
                                   n.IntOr("typecode", sim::kSecurityLabelTypeCode)});
    }
  }
  if (dms.Has("users"))
    for (const Node& n : dms.At("users").List()) s.users.push_back(ParseUser(n));
  if (dms.Has("groups"))
    for (const Node& n : dms.At("groups").List()) s.groups.push_back(ParseGroup(n));
  if (dms.Has("roles"))
    for (const Node& n : dms.At("roles").List()) s.roles.push_back(ParseGroup(n));
  if (dms.Has("jobs")) {
    for (const Node& n : dms.At("jobs").List()) {
      n.Keys({"id", "typecode", "startdate", "fields"});
      sim::Entity job;
      job.entity_name = "Job";
      job.id = n.At("id").Int();
      job.type_code = n.IntOr("typecode", sim::kJobTypeCode);
      if (n.Has("fields")) job.fields = ParseFields(n.At("fields"));
      if (n.Has("startdate"))
        job.fields.insert(job.fields.begin(),
                          sim::Field::Date("Start Date", n.At("startdate").Date()));
      s.jobs.push_back(std::move(job));
    }
  }
  if (dms.Has("eventcodes")) {
    for (const Node& n : dms.At("eventcodes").List()) {
      n.Keys({"typecode", "event", "code"});
      s.event_codes.push_back({n.At("typecode").Int(), n.At("event").Text(), n.At("code").Int()});
    }
  }
  if (dms.Has("intervalcodes"))
    for (auto& [text, code] : dms.At("intervalcodes").Members("interval texts to codes"))
      s.interval_codes.emplace_back(text, code.Int());
  s.replace_interval_codes = dms.BoolOr("replace_intervalcodes", false);
  if (dms.Has("templates")) {
    for (const Node& n : dms.At("templates").List()) {
      n.Keys({"entity", "typecode", "fields"});
      sim::Entity t;
      t.entity_name = n.At("entity").Text();
      t.type_code = n.IntOr("typecode", 0);
      if (n.Has("fields")) t.fields = ParseFields(n.At("fields"));
      s.entity_templates.push_back(std::move(t));
    }
  }
}

// --- Host content ------------------------------------------------------------

// An object that describes a parameter or variable rather than being its value:
// it names at least one of `keys`. Any other object is read as a typed value, so
// that a misspelt kind ({"dat": ...}) gets the message that lists the kinds.
bool IsSpecObject(const Json& j, std::initializer_list<std::string_view> keys) {
  if (!j.is_object() || IsTypedValue(j)) return false;
  for (std::string_view k : keys)
    if (j.contains(k)) return true;
  return j.empty();
}

std::vector<sim::ParameterSpec> ParseParameters(const Node& node) {
  std::vector<sim::ParameterSpec> out;
  for (auto& [name, value] : node.Members("the parameters, name to value")) {
    sim::ParameterSpec p{.name = name};
    if (IsSpecObject(value.json(), {"value", "isnull"})) {
      value.Keys({"value", "isnull"});
      p.value = value.ValueOr("value", Variant());
      if (value.Has("isnull")) p.is_null = value.At("isnull").Bool();
    } else {
      p.value = value.Value();
    }
    out.push_back(std::move(p));
  }
  return out;
}

std::vector<sim::VariableSpec> ParseVariables(const Node& node) {
  std::vector<sim::VariableSpec> out;
  for (auto& [name, value] : node.Members("the variables, name to value")) {
    sim::VariableSpec v{.name = name};
    if (IsSpecObject(value.json(), {"value", "typename", "variabletype", "isnull"})) {
      value.Keys({"value", "typename", "variabletype", "isnull"});
      v.value = value.ValueOr("value", Variant());
      v.type_name = value.TextOr("typename", "");
      v.variable_type = value.IntOr("variabletype", 1);
      if (value.Has("isnull")) v.is_null = value.At("isnull").Bool();
    } else {
      v.value = value.Value();
    }
    out.push_back(std::move(v));
  }
  return out;
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string AttributeText(const Node& node) {
  const Json& j = node.json();
  if (j.is_string()) return j.get<std::string>();
  if (j.is_number_integer() || j.is_number_unsigned()) return j.dump();
  node.Fail("an attribute is a text or a whole number, not " + j.dump());
}

// The item list as XML, from its raw text or from its structured form.
std::string ItemListXml(const Node& node) {
  if (node.json().is_string()) return node.Text();
  node.Keys({"entitytype", "dbid", "dbpath", "dbtype", "list", "items"});
  const std::string kind = node.At("entitytype").Text();
  std::string lower = kind;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string list = lower == "document"       ? "documents"
                     : lower == "stackitem"    ? "stack"
                     : lower == "recordseries" ? "recordserieslist"
                                               : "items";
  list = node.TextOr("list", list);
  std::string xml = "<dmsobject entitytype=\"" + XmlEscape(kind) + "\" dbid=\"" +
                    std::to_string(node.At("dbid").Int()) + "\" dbpath=\"" +
                    XmlEscape(node.TextOr("dbpath", "")) + "\" dbtype=\"" +
                    std::to_string(node.IntOr("dbtype", 0)) + "\"><" + list + ">";
  if (node.Has("items")) {
    for (const Node& item : node.At("items").List()) {
      xml += "<" + XmlEscape(lower.empty() ? "item" : kind);
      if (item.json().is_number()) {
        xml += " id=\"" + std::to_string(item.Int()) + "\"";
      } else {
        for (auto& [attribute, value] : item.Members("an item, attribute to value"))
          xml += " " + attribute + "=\"" + XmlEscape(AttributeText(value)) + "\"";
      }
      xml += "/>";
    }
  }
  return xml + "</" + list + "></dmsobject>";
}

sim::ProcessSpec ParseProcess(const Node& node) {
  node.Keys({"id", "name", "initiator", "itemlist", "variables"});
  sim::ProcessSpec p;
  p.id = node.At("id").Int();
  p.process_name = node.ValueOr("name", "");
  if (node.Has("initiator")) {
    Node in = node.At("initiator");
    in.Keys({"id", "type", "name", "comment"});
    p.initiator_id = in.ValueOr("id", "");
    p.initiator_type = in.ValueOr("type", "");
    p.initiator_name = in.ValueOr("name", "");
    p.initiator_comment = in.ValueOr("comment", "");
  }
  if (node.Has("itemlist"))
    p.variables.push_back(sim::ItemListVariable(ItemListXml(node.At("itemlist"))));
  if (node.Has("variables"))
    for (sim::VariableSpec& v : ParseVariables(node.At("variables")))
      p.variables.push_back(std::move(v));
  return p;
}

sim::TaskSpec ParseTask(const Node& node, int32_t process_id) {
  node.Keys({"id", "process", "activity", "index", "resource", "status", "date", "parameters",
             "variables"});
  sim::TaskSpec t;
  t.task_id = node.At("id").Int();
  t.process_id = node.IntOr("process", process_id);
  t.activity_id = node.IntOr("activity", 0);
  t.task_index = node.IntOr("index", 1);
  if (node.Has("resource")) {
    Node r = node.At("resource");
    r.Keys({"id", "type", "name"});
    t.resource_id = r.ValueOr("id", "");
    t.resource_type = r.ValueOr("type", "");
    t.resource_name = r.ValueOr("name", "");
  }
  t.status = node.ValueOr("status", 0);
  if (node.Has("date")) {
    Node d = node.At("date");
    t.task_date = d.json().is_string() ? Variant::Date(d.Date()) : d.Value();
  }
  if (node.Has("parameters")) t.parameters = ParseParameters(node.At("parameters"));
  if (node.Has("variables")) t.variables = ParseVariables(node.At("variables"));
  return t;
}

sim::Fault ParseFault(const Node& node) {
  node.Keys({"op", "target", "when", "number", "source", "description", "skip", "times"});
  sim::Fault f;
  f.op = node.At("op").Text();
  if (f.op.find('.') == std::string::npos)
    node.At("op").Fail(
        "name the operation as Interface.Method, for example "
        "\"IDmsService.MarkAsVital\" (the report's journal shows them)");
  f.target = node.TextOr("target", "");
  if (node.Has("when"))
    for (auto& [name, value] : node.At("when").Members("argument names to values"))
      f.when.push_back({name, value.Value()});
  f.number = node.IntOr("number", sim::kErrInjected);
  f.source = node.TextOr("source", f.source);
  f.description = node.TextOr("description", f.description);
  f.skip = node.IntOr("skip", 0);
  f.times = node.IntOr("times", -1);
  return f;
}

double AdvanceDays(const Node& node) {
  node.Keys({"days", "hours", "minutes", "seconds"});
  auto part = [&](const char* key) {
    if (!node.Has(key)) return 0.0;
    Node n = node.At(key);
    if (!n.json().is_number()) n.Fail("expected a number");
    return n.json().get<double>();
  };
  return part("days") + part("hours") / 24 + part("minutes") / 1440 + part("seconds") / 86400;
}

Method ParseMethod(const Node& node) {
  std::string name = node.Text();
  if (name == "Initialize") return Method::kInitialize;
  if (name == "Execute") return Method::kExecute;
  if (name == "EvaluateCompositeTask") return Method::kEvaluateCompositeTask;
  const std::string_view names[] = {"Initialize", "Execute", "EvaluateCompositeTask"};
  node.Fail("unknown method \"" + name + "\"" + Suggestion(name, names) +
            "; the methods are Initialize, Execute and EvaluateCompositeTask");
}

Json Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ScenarioError("", "cannot open the file (does it exist and is it readable?)");
  std::ostringstream text;
  text << in.rdbuf();
  const std::string content = text.str();
  try {
    return Json::parse(content);
  } catch (const Json::parse_error& e) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i + 1 < e.byte && i < content.size(); ++i) {
      if (content[i] == '\n')
        ++line, column = 1;
      else
        ++column;
    }
    std::string why = e.what();
    if (size_t colon = why.find(": "); colon != std::string::npos) why = why.substr(colon + 2);
    throw ScenarioError("line " + std::to_string(line) + ", column " + std::to_string(column),
                        "not valid JSON: " + why);
  }
}

}  // namespace

std::string_view MethodName(Method m) {
  switch (m) {
    case Method::kInitialize:
      return "Initialize";
    case Method::kExecute:
      return "Execute";
    case Method::kEvaluateCompositeTask:
      return "EvaluateCompositeTask";
  }
  return "?";
}

ClassRef ResolveClassReference(const std::string& reference, const std::string& place) {
  ClassRef out;
  out.reference = reference;
  const ClassInfo* info = nullptr;
  pelmark::CLSID clsid;
  if (pelmark::TryParseGuid(reference, &clsid)) {
    info = FindClassByClsid(clsid);
    out.by_clsid = true;
    if (!info)
      throw ScenarioError(place, "no class of the component has the CLSID " + reference +
                                     " (corvane classes lists them)");
  } else {
    info = reference.starts_with(kProgIdPrefix) ? FindClassByProgId(reference)
                                                : FindClassByName(reference);
    if (!info) {
      std::vector<std::string_view> names;
      for (const ClassInfo& c : kCatalogue) names.push_back(c.name);
      std::string bare =
          reference.starts_with(kProgIdPrefix) ? reference.substr(kProgIdPrefix.size()) : reference;
      throw ScenarioError(place, "unknown class \"" + reference + "\"" + Suggestion(bare, names) +
                                     "; give a class name (MarkAsVital), a ProgID "
                                     "(Corvane.MarkAsVital) or a CLSID; corvane classes lists "
                                     "the 32 classes");
    }
  }
  out.name = std::string(info->name);
  out.clsid = info->clsid;
  return out;
}

void ValidateExpect(const Json& expect, const std::string& place) {
  Node node(expect, place);
  node.Keys({"result", "error", "variables", "writes", "dms_calls", "journal_contains", "saves",
             "stored", "comments", "annotations", "aces", "labels", "operations", "exports",
             "messages", "event_log", "items", "jobs", "directories"});
  if (node.Has("result")) node.At("result").Int();
  if (node.Has("error")) {
    Node e = node.At("error");
    e.Keys({"number", "hex", "description", "source", "chain"});
    if (e.Has("number")) e.At("number").Int();
    if (e.Has("description")) e.At("description").Text();
    if (e.Has("hex")) e.At("hex").Text();
    if (e.Has("source")) e.At("source").Text();
    if (e.Has("chain"))
      for (const Node& line : e.At("chain").List()) line.Text();
  }
  if (node.Has("variables"))
    for (auto& [name, value] : node.At("variables").Members("variable names to values"))
      value.Value();
  if (node.Has("writes")) {
    for (const Node& w : node.At("writes").List()) {
      w.Keys({"owner", "name", "value"});
      w.At("name").Text();
      w.At("value").Value();
    }
  }
  for (const char* key : {"dms_calls", "journal_contains", "event_log", "directories"})
    if (node.Has(key))
      for (const Node& line : node.At(key).List()) line.Text();
  for (const char* key : {"saves", "stored", "comments", "annotations", "aces", "labels",
                          "operations", "exports", "messages", "items", "jobs"})
    if (node.Has(key)) node.At(key).List();
  if (node.Has("items")) {
    for (const Node& item : node.At("items").List()) {
      item.Keys({"entity", "database", "id", "typecode", "exists", "fields", "flags", "labels"});
      item.At("entity").Text();
      item.At("database").Int();
      item.At("id").Int();
      if (item.Has("fields"))
        for (auto& [name, value] : item.At("fields").Members("field names to values"))
          value.Value();
    }
  }
}

Scenario LoadScenario(const std::string& path) {
  Scenario s;
  s.file = path;
  const Json doc = Slurp(path);
  Node root(doc, "");
  if (!doc.is_object()) root.Fail("a scenario is a JSON object {...}, found " + JsonKind(doc));
  root.Keys({"description", "class", "now", "locale", "host", "settings", "dms", "process", "step",
             "tasks", "faults", "filesystem", "calls", "expect"});
  s.description = root.TextOr("description", "");
  s.step_class = ResolveClassReference(root.At("class").Text(), "class");
  if (root.Has("now")) s.now = root.At("now").Date();
  s.locale = root.TextOr("locale", "en-US");
  if (s.locale != "en-US" && s.locale != "de-DE")
    root.At("locale").Fail("unknown locale \"" + s.locale + "\"; the locales are en-US and de-DE");

  if (root.Has("host")) {
    Node host = root.At("host");
    host.Keys({"services", "require_connection", "case_sensitive_names"});
    if (host.Has("services")) {
      for (auto& [name, offered] : host.At("services").Members("service names to true/false")) {
        bool on = offered.Bool();
        if (name == "DmsService")
          s.options.dms_service = on;
        else if (name == "ConfigurationService")
          s.options.configuration_service = on;
        else if (name == "NotificationService")
          s.options.notification_service = on;
        else {
          const std::string_view names[] = {"DmsService", "ConfigurationService",
                                            "NotificationService"};
          offered.Fail("unknown service \"" + name + "\"" + Suggestion(name, names) +
                       "; the services are DmsService, ConfigurationService and "
                       "NotificationService");
        }
      }
    }
    s.options.require_connection = host.BoolOr("require_connection", true);
    s.options.case_sensitive_names = host.BoolOr("case_sensitive_names", false);
  }
  if (root.Has("settings")) {
    for (const Node& n : root.At("settings").List()) {
      n.Keys({"section", "key", "value"});
      s.settings.push_back({n.At("section").Text(), n.At("key").Text(), n.At("value").Text()});
    }
  }
  if (root.Has("dms")) ParseDms(root.At("dms"), s);
  if (root.Has("process")) s.process = ParseProcess(root.At("process"));
  const int32_t process_id = s.process ? s.process->id : 0;

  if (root.Has("step")) {
    Node step = root.At("step");
    step.Keys({"parameters", "requestcount", "minresponses", "minapprovals"});
    if (step.Has("parameters")) s.activity.parameters = ParseParameters(step.At("parameters"));
    s.activity.request_count = step.IntOr("requestcount", 0);
    s.activity.min_responses = step.IntOr("minresponses", 0);
    // MinApprovals is text holding a number; a JSON number is taken as its text.
    if (step.Has("minapprovals")) {
      Node m = step.At("minapprovals");
      s.activity.min_approvals = m.json().is_number_integer() ? std::to_string(m.Int()) : m.Text();
    }
  }
  s.activity.process_id = process_id;
  if (root.Has("tasks")) {
    for (const Node& n : root.At("tasks").List()) {
      n.RequireObject("a task");
      sim::TaskSpec task = ParseTask(n, process_id);
      for (const sim::TaskSpec& other : s.tasks)
        if (other.task_id == task.task_id)
          n.At("id").Fail("two tasks have the id " + std::to_string(task.task_id));
      s.tasks.push_back(std::move(task));
    }
  }
  if (root.Has("faults"))
    for (const Node& n : root.At("faults").List()) s.faults.push_back(ParseFault(n));
  if (root.Has("filesystem")) {
    Node fs = root.At("filesystem");
    fs.Keys({"directories"});
    if (fs.Has("directories"))
      for (const Node& d : fs.At("directories").List()) s.directories.push_back(d.Text());
  }

  auto task_ids = [&] {
    std::string ids;
    for (const sim::TaskSpec& t : s.tasks)
      ids += (ids.empty() ? "" : ", ") + std::to_string(t.task_id);
    return ids.empty() ? std::string("none (add a \"tasks\" list)") : ids;
  };
  if (root.Has("calls")) {
    if (root.Has("expect"))
      root.At("expect").Fail("with a \"calls\" list, put each \"expect\" block inside its call");
    for (const Node& n : root.At("calls").List()) {
      n.Keys({"method", "class", "task", "at", "advance", "expect"});
      CallSpec c;
      c.place = n.place();
      c.step_class = n.Has("class")
                         ? ResolveClassReference(n.At("class").Text(), n.place() + ".class")
                         : s.step_class;
      c.method = ParseMethod(n.At("method"));
      if (c.method != Method::kInitialize) {
        if (!n.Has("task") && s.tasks.size() != 1)
          n.Fail(std::string(MethodName(c.method)) +
                 " needs \"task\": the id of one of the tasks (" + task_ids() + ")");
        c.task_id = n.Has("task") ? n.At("task").Int() : s.tasks.front().task_id;
      } else if (n.Has("task")) {
        n.At("task").Fail("Initialize takes the step, not a task; remove \"task\"");
      }
      if (n.Has("at")) c.at = n.At("at").Date();
      if (n.Has("advance")) c.advance_days = AdvanceDays(n.At("advance"));
      if (n.Has("expect")) {
        ValidateExpect(n.At("expect").json(), n.place() + ".expect");
        c.expect = n.At("expect").json();
      }
      s.calls.push_back(std::move(c));
    }
  } else {
    if (s.tasks.empty())
      root.Fail(
          "nothing to call: add a \"tasks\" list (Execute runs the first task) or a "
          "\"calls\" list");
    CallSpec c;
    c.step_class = s.step_class;
    c.task_id = s.tasks.front().task_id;
    c.place = "expect";
    if (root.Has("expect")) {
      ValidateExpect(root.At("expect").json(), "expect");
      c.expect = root.At("expect").json();
    }
    s.calls.push_back(std::move(c));
  }
  for (const CallSpec& c : s.calls) {
    if (c.method == Method::kInitialize) continue;
    bool found = std::any_of(s.tasks.begin(), s.tasks.end(),
                             [&](const sim::TaskSpec& t) { return t.task_id == c.task_id; });
    if (!found)
      throw ScenarioError(c.place + ".task", "no task has the id " + std::to_string(c.task_id) +
                                                 "; the scenario's tasks are " + task_ids());
  }
  return s;
}

}  // namespace corvane::cli
