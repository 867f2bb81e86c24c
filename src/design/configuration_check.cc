#include "design/configuration_check.h"

#include <cmath>
#include <limits>
#include <pugixml.hpp>
#include <stdexcept>

#include "rules/nearest_name.h"
#include "rules/variant_parts.h"
#include "rules/variant_rules.h"
#include "templates/template_check.h"

namespace corvane::design {
namespace {

using Json = nlohmann::ordered_json;

// The longest configuration read: far beyond any real step, small enough that a
// hostile one cannot make the host's designer wait.
constexpr size_t kMaxConfiguration = 4 << 20;

// --- Reading ---------------------------------------------------------------------

pelmark::Variant ValueOf(const Json& j, const std::string& where) {
  switch (j.type()) {
    case Json::value_t::string:
      return pelmark::Variant(j.get<std::string>());
    case Json::value_t::boolean:
      return pelmark::Variant(j.get<bool>());
    case Json::value_t::null:
      return pelmark::Variant::Null();
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
      if (j.get<double>() >= std::numeric_limits<int32_t>::min() &&
          j.get<double>() <= std::numeric_limits<int32_t>::max())
        return pelmark::Variant(j.get<int32_t>());
      return pelmark::Variant(j.get<double>());
    case Json::value_t::number_float:
      return pelmark::Variant(j.get<double>());
    case Json::value_t::object:
      if (j.size() == 1 && j.contains("empty") && j["empty"] == true) return pelmark::Variant();
      if (j.size() == 1 && j.contains("double") && j["double"].is_number())
        return pelmark::Variant(j["double"].get<double>());
      if (j.size() == 1 && j.contains("long") && j["long"].is_number_integer())
        return pelmark::Variant(j["long"].get<int32_t>());
      if (j.size() == 1 && j.contains("date") && j["date"].is_string()) {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
        const std::string t = j["date"].get<std::string>();
        if (std::sscanf(t.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) >= 3)
          return pelmark::Variant::Date(MakeDate(y, mo, d, h, mi, s));
      }
      break;
    default:
      break;
  }
  throw std::invalid_argument(where +
                              " is no value: write text, a number, true, false, null "
                              "or {\"date\": \"YYYY-MM-DDThh:mm:ss\"}");
}

// A value as the designer wrote it: text as it stands, a typed form by its value.
std::string WrittenText(const Json& value) {
  const Json& inner = value.is_object() && value.size() == 1 ? value.begin().value() : value;
  return inner.is_string() ? inner.get<std::string>() : inner.dump();
}

std::vector<NamedValue> ValuesOf(const Json& parent, const char* key, const std::string& where) {
  std::vector<NamedValue> out;
  auto it = parent.find(key);
  if (it == parent.end()) return out;
  if (!it->is_object()) throw std::invalid_argument(where + "." + key + " is no JSON object");
  for (auto& [name, value] : it->items())
    out.push_back({name, ValueOf(value, where + "." + key + "." + name), WrittenText(value)});
  return out;
}

std::optional<NamedValue> Property(const Json& step, const char* key) {
  auto it = step.find(key);
  if (it == step.end()) return std::nullopt;
  return NamedValue{key, ValueOf(*it, std::string("step.") + key), WrittenText(*it)};
}

const Json& ObjectMember(const Json& parent, const char* key, const Json& none) {
  auto it = parent.find(key);
  if (it == parent.end()) return none;
  if (!it->is_object()) throw std::invalid_argument(std::string(key) + " is no JSON object");
  return *it;
}

// --- Checking --------------------------------------------------------------------

struct Place {
  std::string scope;
  std::optional<int64_t> task;
};

std::string Where(const Place& at, std::string_view name) {
  if (at.scope == "task")
    return "task " + (at.task ? std::to_string(*at.task) : std::string("?")) + "'s parameter " +
           std::string(name);
  return at.scope + " parameter " + std::string(name);
}

void Add(Findings& out, const Place& at, std::string severity, std::string kind, std::string name,
         std::string value, std::string message, std::string suggestion = {}) {
  out.Add({std::move(severity), at.scope, at.task, std::move(kind), std::move(name),
           std::move(value), std::move(message), std::move(suggestion)});
}

std::string Quoted(const NamedValue& v) {
  return v.value.is_string() ? "\"" + v.text + "\"" : v.text;
}

std::string ErrorText(const pelmark::Error& e) {
  return std::to_string(e.number()) + " (" + e.description() + ")";
}

// A date written with another separator than the locale's and whose first two
// numbers fit either order: read as the locale reads it, perhaps not as meant.
void CheckDateText(const NamedValue& v, const Place& at, const LocaleInfo& loc, bool must_be_date,
                   const std::string& what, const std::string& kind, Findings& out) {
  // Blank text clears a field rather than being read as a date.
  if (!v.value.is_string() || Trim(v.text).empty()) return;
  int a = 0, b = 0, y = 0;
  char s1 = 0, s2 = 0;
  const bool date_shaped = std::sscanf(v.text.c_str(), " %d%c%d%c%d", &a, &s1, &b, &s2, &y) == 5 &&
                           s1 == s2 && (s1 == '/' || s1 == '.' || s1 == '-');
  std::optional<double> read = ParseDate(v.text, loc);
  if (!read) {
    if (must_be_date || date_shaped)
      Add(out, at, must_be_date ? "error" : "warning", kind, v.name, v.text,
          what + " " + Quoted(v) + " is no date under " + loc.name +
              (must_be_date ? ": the step raises 13 (Type mismatch) when it reads it"
                            : ": a date field given it raises 13 (Type mismatch)"),
          "write an existing date, for example as {\"date\": \"YYYY-MM-DDThh:mm:ss\"}");
    return;
  }
  if (!date_shaped || std::string(1, s1) == loc.date_separator || a == b || a > 12 || b > 12)
    return;
  const DateParts parts = SplitDate(*read);
  Add(out, at, "warning", kind, v.name, v.text,
      what + " " + Quoted(v) + " is read under " + loc.name + " as day " +
          std::to_string(parts.day) + ", month " + std::to_string(parts.month) +
          "; its first two numbers fit either order",
      "write the date as " + loc.name + " writes it, or as {\"date\": \"" +
          std::to_string(parts.year) + "-" + (parts.month < 10 ? "0" : "") +
          std::to_string(parts.month) + "-" + (parts.day < 10 ? "0" : "") +
          std::to_string(parts.day) + "T...\"} if that is what you meant");
}

// The template checker's findings, for the variables and loop objects the class
// gives its templates.
void CheckTemplateParameter(const ClassDescription& d, const ParameterDoc& p, const NamedValue& v,
                            const Place& at, Findings& out) {
  if (!v.value.is_string()) return;
  std::vector<std::string> variables;
  for (const TemplateVariableDoc& t : d.template_variables) variables.push_back(t.name);
  const std::vector<std::string> loop_objects = {std::string(kItemLoopObject)};
  const std::string what = Where(at, p.name);
  for (const TemplateFinding& f : FindTemplateProblems(v.text, variables, loop_objects)) {
    if (f.severity == FindingSeverity::kNote) continue;
    Add(out, at, f.severity == FindingSeverity::kError ? "error" : "warning", "template", p.name,
        f.subject,
        what + ", line " + std::to_string(f.line) + ", column " + std::to_string(f.column) + ": " +
            f.message,
        f.suggestion);
  }
}

void CheckValue(const ClassDescription& d, const ParameterDoc& p, const NamedValue& v,
                const Place& at, const LocaleInfo& loc, Findings& out) {
  const std::string what = Where(at, p.name);
  if (!p.choices.empty()) {
    const std::string text = v.value.is_string() ? v.text : std::string();
    for (const std::string& c : p.choices)
      if (EqualsNoCase(c, text)) return;
    std::string list;
    for (const std::string& c : p.choices) list += (list.empty() ? "" : ", ") + c;
    Add(out, at, "error", "parameter", p.name, v.text,
        what + " " + Quoted(v) + " is not one of " + list + ": " + p.allowed,
        NearestName(text, p.choices, 3));
    return;
  }
  try {
    if (p.compared_with_true) {
      if (v.value.type() != pelmark::VarType::Boolean && !EqualsTrue(v.value))
        Add(out, at, "warning", "parameter", p.name, v.text,
            what + " " + Quoted(v) +
                " is compared with True and is not equal to it: the step "
                "reads it as False",
            "true");
      return;
    }
    if (p.type == "Boolean") ToBoolean(v.value);
    if (p.type == "whole number") ToLong(v.value);
    if (p.type == "number") ToDouble(v.value);
  } catch (const pelmark::Error& e) {
    Add(out, at, "error", "parameter", p.name, v.text,
        what + " " + Quoted(v) + " does not convert to " + p.type + ": the step raises " +
            ErrorText(e) + " when it reads it",
        p.type == "Boolean" ? "true or false" : "");
    return;
  }
  if (p.type == "date and time" || p.type == "any")
    CheckDateText(v, at, loc, p.type == "date and time", what, "parameter", out);
  if (p.type == "format template") CheckTemplateParameter(d, p, v, at, out);
}

// The entity type of the configuration's item list ("document", "stack"); empty
// when there is none or it cannot be read.
std::string ItemListKind(const Configuration& c) {
  if (!c.item_list) return "";
  pugi::xml_document items;
  if (!items.load_string(c.item_list->c_str())) return "";
  return items.select_node("//dmsobject").node().attribute("entitytype").value();
}

// `executed`: whether a missing required parameter is read at all (a task only
// evaluated is not executed); `item_kind`: the item list's entity type, for
// parameters read only for one.
void CheckParameters(const ClassDescription& d, ParameterScope scope,
                     const std::vector<NamedValue>& given, const Place& at, const LocaleInfo& loc,
                     bool executed, std::string_view item_kind, Findings& out) {
  const std::vector<std::string>& own =
      scope == ParameterScope::kStep ? d.step_parameters : d.task_parameters;
  const std::vector<std::string>& other =
      scope == ParameterScope::kStep ? d.task_parameters : d.step_parameters;
  for (const NamedValue& v : given) {
    const ParameterDoc* doc = nullptr;
    for (const ParameterDoc& p : d.parameters)
      if (p.scope == scope && EqualsNoCase(p.name, v.name)) doc = &p;
    if (doc) {
      CheckValue(d, *doc, v, at, loc, out);
      continue;
    }
    std::string message = Where(at, v.name) + " is not read by " + d.name;
    std::string suggestion;
    bool elsewhere = false;
    for (const std::string& o : other) elsewhere = elsewhere || EqualsNoCase(o, v.name);
    if (elsewhere) {
      suggestion = v.name;
      message += scope == ParameterScope::kStep ? "; the class reads it from the task's parameters"
                                                : "; the class reads it from the step's parameters";
    } else if (suggestion = NearestName(v.name, own); !suggestion.empty()) {
      message += "; did you mean " + suggestion + "?";
    }
    Add(out, at, "warning", "parameter", v.name, v.text, message, suggestion);
  }
  for (const ParameterDoc& p : d.parameters)
    if (p.scope == scope && p.required && executed &&
        (p.read_for.empty() || EqualsNoCase(p.read_for, item_kind)) && !FindValue(given, p.name))
      Add(out, at, "error", "parameter", p.name, "",
          Where(at, p.name) + " is missing: the host refuses the name when the step reads it",
          "add " + p.name + " (" + p.allowed + ")");
}

void CheckVariables(const ClassDescription& d, const TaskConfiguration& task, const Place& at,
                    const LocaleInfo& loc, Findings& out) {
  for (const VariableDoc& read : d.reads) {
    const NamedValue* v = FindValue(task.variables, read.name);
    if (!v) continue;
    if (read.type == "Boolean") {
      // Compared with True or False as the step compares it: only text that is
      // neither a number nor a Boolean word fails.
      try {
        EqualsFalse(v->value);
      } catch (const pelmark::Error& e) {
        out.Add({"error", at.scope, at.task, "variable", read.name, v->text,
                 "task " + (task.id ? std::to_string(*task.id) : std::string("?")) +
                     "'s variable " + read.name + " " + Quoted(*v) +
                     " is neither a number nor True or False: the step raises " + ErrorText(e),
                 "true or false"});
      }
    }
    if (read.type == "any" || read.type == "date and time")
      CheckDateText(*v, at, loc, read.type == "date and time",
                    "task " + (task.id ? std::to_string(*task.id) : std::string("?")) +
                        "'s variable " + read.name,
                    "variable", out);
  }
}

std::string FindingsJson(const std::string& class_name, const std::vector<Finding>& findings) {
  Json list = Json::array();
  for (const Finding& f : findings)
    list.push_back({{"severity", f.severity},
                    {"scope", f.scope},
                    {"task", f.task ? Json(*f.task) : Json(nullptr)},
                    {"kind", f.kind},
                    {"name", f.name},
                    {"value", f.value},
                    {"message", f.message},
                    {"suggestion", f.suggestion}});
  return Json{{"class", class_name}, {"findings", list}}.dump(-1, ' ', false,
                                                              Json::error_handler_t::replace);
}

}  // namespace

const NamedValue* FindValue(const std::vector<NamedValue>& values, std::string_view name) {
  for (const NamedValue& v : values)
    if (EqualsNoCase(v.name, name)) return &v;
  return nullptr;
}

bool TemplateNames(std::string_view text, std::string_view name) {
  for (const KeptExpression& e : corvane::CheckTemplate(text).kept)
    for (const TemplateVariable& v : e.variables)
      if (EqualsNoCase(v.name, name)) return true;
  return false;
}

Configuration ReadConfiguration(std::string_view text) {
  if (text.size() > kMaxConfiguration)
    throw std::invalid_argument("the configuration is " + std::to_string(text.size()) +
                                " bytes long; at most " + std::to_string(kMaxConfiguration) +
                                " are read");
  Json json;
  try {
    json = Json::parse(text);
  } catch (const Json::exception& e) {
    throw std::invalid_argument(std::string("the configuration is not valid JSON: ") + e.what());
  }
  if (!json.is_object()) throw std::invalid_argument("the configuration is no JSON object");
  Configuration c;
  if (auto it = json.find("locale"); it != json.end()) {
    if (it->is_string() && EqualsNoCase(it->get<std::string>(), "de-DE"))
      c.locale = &LocaleInfo::DeDe();
    else if (!it->is_string() || !EqualsNoCase(it->get<std::string>(), "en-US"))
      throw std::invalid_argument("locale " + it->dump() + " is none of en-US, de-DE");
  }
  const Json none = Json::object();
  const Json& step = ObjectMember(json, "step", none);
  c.step_parameters = ValuesOf(step, "parameters", "step");
  c.request_count = Property(step, "requestcount");
  c.min_responses = Property(step, "minresponses");
  c.min_approvals = Property(step, "minapprovals");
  if (auto it = json.find("tasks"); it != json.end()) {
    if (!it->is_array()) throw std::invalid_argument("tasks is no JSON list");
    for (size_t i = 0; i < it->size(); ++i) {
      const Json& t = (*it)[i];
      const std::string where = "tasks[" + std::to_string(i) + "]";
      if (!t.is_object()) throw std::invalid_argument(where + " is no JSON object");
      TaskConfiguration task;
      if (auto id = t.find("id"); id != t.end() && id->is_number_integer())
        task.id = id->get<int64_t>();
      if (auto executed = t.find("executed"); executed != t.end()) {
        if (!executed->is_boolean())
          throw std::invalid_argument(where + ".executed is no true/false");
        task.executed = executed->get<bool>();
      }
      task.parameters = ValuesOf(t, "parameters", where);
      task.variables = ValuesOf(t, "variables", where);
      c.tasks.push_back(std::move(task));
    }
  }
  const Json& process = ObjectMember(json, "process", none);
  c.process_variables = ValuesOf(process, "variables", "process");
  if (auto it = process.find("itemlist"); it != process.end()) {
    if (!it->is_string()) throw std::invalid_argument("process.itemlist is no XML text");
    c.item_list = it->get<std::string>();
  }
  return c;
}

std::string CheckConfiguration(const ClassDescription& d, std::string_view json) {
  Findings out;
  try {
    const Configuration c = ReadConfiguration(json);
    const std::string item_kind = ItemListKind(c);
    CheckParameters(d, ParameterScope::kStep, c.step_parameters, {"step", std::nullopt}, *c.locale,
                    true, item_kind, out);
    for (const TaskConfiguration& task : c.tasks) {
      const Place at{"task", task.id};
      CheckParameters(d, ParameterScope::kTask, task.parameters, at, *c.locale, task.executed,
                      item_kind, out);
      CheckVariables(d, task, at, *c.locale, out);
    }
    if (d.checks) d.checks(d, c, out);
  } catch (const std::invalid_argument& e) {
    out = Findings();
    out.Add({"error", "configuration", std::nullopt, "configuration", "", "", e.what(),
             "give the configuration as docs/integrating.md shows"});
  } catch (const std::exception& e) {
    out = Findings();
    out.Add({"error", "configuration", std::nullopt, "configuration", "", "",
             std::string("the configuration could not be checked: ") + e.what(), ""});
  }
  return FindingsJson(d.name, out.list());
}

}  // namespace corvane::design
