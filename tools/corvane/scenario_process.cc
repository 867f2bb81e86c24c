#include <libxml/tree.h>

#include <cctype>
#include <initializer_list>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <string_view>

#include "scenario_parts.h"

namespace corvane::cli {
namespace {

using pelmark::Variant;

// An object that describes a parameter or variable rather than being its value:
// it names at least one of `keys`. Any other object is read as a typed value, so
// that a misspelt kind ({"dat": ...}) gets the message that lists the kinds.
bool IsSpecObject(const Json& j, std::initializer_list<std::string_view> keys) {
  if (!j.is_object() || IsTypedValue(j)) return false;
  for (std::string_view k : keys)
    if (j.contains(k)) return true;
  return j.empty();
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

// XML cannot carry a NUL character, which would silently cut a text short.
std::string WithoutNul(const Node& node, std::string text) {
  if (text.find('\0') != std::string::npos)
    node.Fail("an item list cannot hold a NUL character (\\u0000)");
  return text;
}

// A name the XML library will write as an element or attribute name: anything
// else would make the list unreadable, or read as something other than written.
std::string XmlName(const Node& node, std::string name) {
  if (xmlValidateName(reinterpret_cast<const xmlChar*>(WithoutNul(node, name).c_str()), 0) != 0)
    node.Fail("\"" + name +
              "\" is not an XML name (a letter or _ first, then letters, digits, . - _); "
              "give the item list as raw XML text to try other names");
  return name;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

std::string AttributeText(const Node& node) {
  const Json& j = node.json();
  if (j.is_string()) return WithoutNul(node, j.get<std::string>());
  if (j.is_number_integer() || j.is_number_unsigned()) return j.dump();
  node.Fail("an attribute is a text or a whole number, not " + j.dump());
}

// The item list as XML, from its raw text or from its structured form.
std::string ItemListXml(const Node& node) {
  if (node.json().is_string()) return node.Text();
  node.Keys({"entitytype", "dbid", "dbpath", "dbtype", "list", "items"});
  const std::string kind = WithoutNul(node.At("entitytype"), node.At("entitytype").Text());
  std::string lower = kind;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string list = lower == "document"       ? "documents"
                     : lower == "stackitem"    ? "stack"
                     : lower == "recordseries" ? "recordserieslist"
                                               : "items";
  if (node.Has("list")) list = XmlName(node.At("list"), node.At("list").Text());

  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("dmsobject");
  root.append_attribute("entitytype") = kind.c_str();
  root.append_attribute("dbid") = node.At("dbid").Int();
  root.append_attribute("dbpath") =
      node.Has("dbpath") ? WithoutNul(node.At("dbpath"), node.At("dbpath").Text()).c_str() : "";
  root.append_attribute("dbtype") = node.IntOr("dbtype", 0);
  pugi::xml_node items = root.append_child(list.c_str());
  // An empty list is written with its closing tag, as the host writes one.
  items.append_child(pugi::node_pcdata);
  if (node.Has("items")) {
    const std::string element = kind.empty() ? "item" : XmlName(node.At("entitytype"), kind);
    for (const Node& item : node.At("items").List()) {
      pugi::xml_node written = items.append_child(element.c_str());
      if (item.json().is_number()) {
        // Written as given: an id beyond 32 bits reaches the step, which
        // cannot read it, instead of wrapping to another document's id.
        written.append_attribute("id") = AttributeText(item).c_str();
        continue;
      }
      for (auto& [attribute, value] : item.Members("an item, attribute to value"))
        written.append_attribute(XmlName(value, attribute).c_str()) = AttributeText(value).c_str();
    }
  }
  std::ostringstream xml;
  doc.save(xml, "", pugi::format_raw | pugi::format_no_declaration);
  return xml.str();
}

}  // namespace

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

sim::ProcessSpec ParseProcess(const Node& node, bool case_sensitive_names) {
  node.Keys({"id", "name", "initiator", "itemlist", "itemlist_name", "variables"});
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
  std::string itemlist_name = kItemListName;
  if (node.Has("itemlist_name")) {
    Node name = node.At("itemlist_name");
    if (!node.Has("itemlist"))
      name.Fail("names the item-list variable, but the process has no \"itemlist\"");
    itemlist_name = name.Text();
    if (Trimmed(itemlist_name).empty()) name.Fail("the item-list variable needs a name");
  }
  if (node.Has("itemlist"))
    p.variables.push_back(sim::ItemListVariable(ItemListXml(node.At("itemlist")), itemlist_name));
  if (node.Has("variables")) {
    for (sim::VariableSpec& v : ParseVariables(node.At("variables"))) {
      // The host would answer the first of two variables of one name.
      const bool same =
          case_sensitive_names ? v.name == itemlist_name : sim::EqualsNoCase(v.name, itemlist_name);
      if (node.Has("itemlist") && same)
        node.At("variables")
            .At(v.name)
            .Fail("the item list is the process variable \"" + itemlist_name +
                  "\" already; give this one another name or set \"itemlist_name\"");
      p.variables.push_back(std::move(v));
    }
  }
  return p;
}

sim::TaskSpec ParseTask(const Node& node, int32_t process_id) {
  node.Keys({"id", "process", "activity", "index", "resource", "status", "date", "parameters",
             "variables", "in_step"});
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
  t.in_step = node.BoolOr("in_step", true);
  return t;
}

}  // namespace corvane::cli
