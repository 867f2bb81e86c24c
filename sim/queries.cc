#include "queries.h"

#include <charconv>
#include <initializer_list>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "simulator.h"

namespace sim {
namespace {

// The expected form of one element: its name, its exact attribute set, and
// either its child elements in order or (leaf) one text that the caller wants.
struct Shape {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<Shape> children;
  bool has_text = false;
};

Shape Leaf(std::string name) { return {std::move(name), {}, {}, false}; }

[[noreturn]] void Refuse(const std::string& why) {
  throw pelmark::Error(kErrBadQuery, std::string(kDmsSource), "Query not understood: " + why);
}

// Checks `node` against `shape`, appending the texts of leaf elements to `texts`.
void Match(const pugi::xml_node& node, const Shape& shape, std::vector<std::string>& texts) {
  if (node.type() != pugi::node_element || shape.name != node.name())
    Refuse("expected <" + shape.name + "> but found <" + std::string(node.name()) + ">");
  size_t count = 0;
  for (const pugi::xml_attribute& a : node.attributes()) {
    ++count;
    bool known = false;
    for (const auto& [name, value] : shape.attributes) {
      if (name == a.name()) {
        if (value != a.value())
          Refuse("attribute " + name + " of <" + shape.name + "> is \"" + a.value() +
                 "\", expected \"" + value + "\"");
        known = true;
      }
    }
    if (!known)
      Refuse("unexpected attribute " + std::string(a.name()) + " on <" + shape.name + ">");
  }
  if (count != shape.attributes.size()) Refuse("missing attribute on <" + shape.name + ">");

  std::vector<pugi::xml_node> elements;
  std::string text;
  for (const pugi::xml_node& child : node.children()) {
    switch (child.type()) {
      case pugi::node_element:
        elements.push_back(child);
        break;
      case pugi::node_pcdata:
      case pugi::node_cdata:
        text += child.value();
        break;
      default:
        Refuse("unexpected node inside <" + shape.name + ">");
    }
  }
  if (shape.has_text) {
    if (!elements.empty()) Refuse("<" + shape.name + "> must hold only a value");
    texts.push_back(text);
    return;
  }
  if (text.find_first_not_of(" \t\r\n") != std::string::npos)
    Refuse("unexpected text inside <" + shape.name + ">");
  if (elements.size() != shape.children.size())
    Refuse("<" + shape.name + "> has " + std::to_string(elements.size()) +
           " child elements, expected " + std::to_string(shape.children.size()));
  for (size_t i = 0; i < elements.size(); ++i) Match(elements[i], shape.children[i], texts);
}

// Parses the text as one element (nothing but whitespace around it) and matches it.
std::vector<std::string> MatchText(std::string_view text, const Shape& shape) {
  pugi::xml_document doc;
  pugi::xml_parse_result parsed =
      doc.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_fragment);
  if (!parsed) Refuse(std::string("not well-formed XML (") + parsed.description() + ")");
  pugi::xml_node root;
  for (const pugi::xml_node& n : doc.children()) {
    if (n.type() == pugi::node_element && !root) {
      root = n;
    } else if (n.type() == pugi::node_pcdata &&
               std::string_view(n.value()).find_first_not_of(" \t\r\n") == std::string_view::npos) {
      continue;
    } else {
      Refuse("text or nodes outside the <query> element");
    }
  }
  if (!root) Refuse("no <query> element");
  std::vector<std::string> texts;
  Match(root, shape, texts);
  return texts;
}

int32_t ParseInteger(const std::string& text, const char* what) {
  int32_t value = 0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  auto [p, ec] = std::from_chars(begin, end, value);
  if (text.empty() || ec != std::errc() || p != end || text[0] == '+')
    Refuse(std::string(what) + " \"" + text + "\" is not a whole number");
  return value;
}

Shape Condition(std::string attribute, std::string attribute_type, std::string value_data_type) {
  Shape s{"condition",
          {{"attributename", std::move(attribute)},
           {"attributetype", std::move(attribute_type)},
           {"operator", "1"},
           {"valuetype", "0"},
           {"valuedatatype", std::move(value_data_type)}},
          {},
          true};
  return s;
}

Shape Criteria(std::vector<Shape> conditions) {
  return Shape{
      "criteria",
      {},
      {Shape{"conditionexpression",
             {{"logicaloperator", "1"}},
             {Leaf("conditionexpressions"), Shape{"conditions", {}, std::move(conditions)}}}}};
}

const Shape& StackShape() {
  static const Shape shape{
      "query",
      {{"entity", "tblDocument"}, {"maxrows", "-1"}, {"distinctmode", "0"}, {"columnset", "0"}},
      {Leaf("columnset"),
       Criteria({Condition("ParentDataEntityObjectID", "0", "2"),
                 Condition("ParentDataEntityTypeCode", "0", "2")}),
       Leaf("joins"), Leaf("orderby"), Leaf("parameters")}};
  return shape;
}

Shape MemberShape(const std::string& related) {
  std::string id_attribute = related + "ID";
  Shape join{"join",
             {{"primaryentity", "Users"},
              {"primaryentityattribute", "UserID"},
              {"primaryintermediateattribute", "UserID"},
              {"relatedentity", related},
              {"relateentityattribute", id_attribute},
              {"jointype", "0"}},
             {Leaf("columnset"), Criteria({Condition(id_attribute, "13", "3")}), Leaf("joins")}};
  return Shape{"query",
               {{"entity", "tblUsers"},
                {"maxrows", "-1"},
                {"distinctmode", "1"},
                {"columnset", "0"},
                {"searchmode", "1"}},
               {Leaf("columnset"), Criteria({Condition("UserType", "13", "3")}),
                Shape{"joins", {}, {join}}, Leaf("orderby"), Leaf("parameters")}};
}

}  // namespace

StackDocumentsQuery ParseStackDocumentsQuery(std::string_view text) {
  std::vector<std::string> values = MatchText(text, StackShape());
  return {ParseInteger(values[0], "ParentDataEntityObjectID"),
          ParseInteger(values[1], "ParentDataEntityTypeCode")};
}

MemberQuery ParseMemberQuery(std::string_view text) {
  static const Shape group = MemberShape("Group");
  static const Shape role = MemberShape("Role");
  // The join's relatedentity decides which form the text must have.
  std::vector<std::string> values;
  MemberQuery::Kind kind = MemberQuery::Kind::kGroup;
  pugi::xml_document probe;
  probe.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_fragment);
  if (std::string_view(
          probe.child("query").child("joins").child("join").attribute("relatedentity").value()) ==
      "Role") {
    values = MatchText(text, role);
    kind = MemberQuery::Kind::kRole;
  } else {
    values = MatchText(text, group);
  }
  if (ParseInteger(values[0], "UserType") != 0) Refuse("UserType condition must be 0");
  return {kind, ParseInteger(values[1], kind == MemberQuery::Kind::kGroup ? "GroupID" : "RoleID")};
}

}  // namespace sim
