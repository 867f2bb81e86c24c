#include "framework/xml.h"

#include <libxml/parser.h>

#include <climits>

#include "framework/error_report.h"

namespace corvane {
namespace {

constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_pi;

void RequireObject(pugi::xml_node node) {
  if (!node) Raise(91);
}

pugi::xpath_query Compile(std::string_view xpath) {
  std::string text(xpath);
  try {
    return pugi::xpath_query(text.c_str());
  } catch (const pugi::xpath_exception& e) {
    RaiseInvalidXPath(text, e.result().description());
  }
}

// Letters, "_" and every byte of a multi-byte character start a name; digits,
// "-" and "." may follow.
bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}
bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool IsNameWithoutColon(std::string_view text) {
  if (text.empty() || !IsNameStart(static_cast<unsigned char>(text.front()))) return false;
  for (char c : text)
    if (!IsNameChar(static_cast<unsigned char>(c))) return false;
  return true;
}

XmlNode SelectOne(pugi::xml_node from, std::string_view xpath) {
  pugi::xpath_query query = Compile(xpath);
  return XmlNode(from.select_node(query).node());
}

std::vector<XmlNode> SelectAll(pugi::xml_node from, std::string_view xpath) {
  pugi::xpath_query query = Compile(xpath);
  std::vector<XmlNode> out;
  for (const pugi::xpath_node& n : from.select_nodes(query))
    if (n.node()) out.emplace_back(n.node());
  return out;
}

void AppendText(pugi::xml_node node, std::string& out) {
  switch (node.type()) {
    case pugi::node_pcdata:
    case pugi::node_cdata:
      out.append(node.value());
      return;
    case pugi::node_element:
    case pugi::node_document:
      for (pugi::xml_node child : node.children()) AppendText(child, out);
      return;
    default:
      return;
  }
}

}  // namespace

std::vector<XmlNode> XmlNode::ChildNodes() const {
  RequireObject(node_);
  std::vector<XmlNode> out;
  for (pugi::xml_node child : node_.children()) out.emplace_back(child);
  return out;
}

std::string XmlNode::Attribute(std::string_view name) const {
  return std::string(AttributeView(name));
}

std::string_view XmlNode::AttributeView(std::string_view name) const {
  RequireObject(node_);
  for (pugi::xml_attribute a : node_.attributes())
    if (name == a.name()) return a.value();
  Raise(91);
}

std::string XmlNode::Text() const {
  RequireObject(node_);
  if (node_.type() == pugi::node_comment || node_.type() == pugi::node_pi) return node_.value();
  std::string out;
  AppendText(node_, out);
  return out;
}

XmlNode XmlNode::SelectSingleNode(std::string_view xpath) const {
  RequireObject(node_);
  return SelectOne(node_, xpath);
}

std::vector<XmlNode> XmlNode::SelectNodes(std::string_view xpath) const {
  RequireObject(node_);
  return SelectAll(node_, xpath);
}

// The classic DOM refuses any text that is not well-formed, namespaces
// included. pugixml is lenient (a second root, a repeated attribute, an unknown
// entity, an undeclared prefix pass), so libxml2 decides first. The text is
// read as UTF-8 whatever its declaration says, as a loaded string always is.
bool IsWellFormed(std::string_view text) {
  if (text.size() > static_cast<size_t>(INT_MAX)) return false;
  xmlParserCtxtPtr context = xmlNewParserCtxt();
  if (!context) throw std::bad_alloc();
  // Only the verdict is wanted, so the content callbacks are dropped and no
  // tree is built. The declaration callbacks stay: entities declared in the
  // document type must still be known when they are referred to.
  xmlSAXHandler* sax = context->sax;
  sax->startElementNs = nullptr;
  sax->endElementNs = nullptr;
  sax->startElement = nullptr;
  sax->endElement = nullptr;
  sax->characters = nullptr;
  sax->ignorableWhitespace = nullptr;
  sax->cdataBlock = nullptr;
  sax->comment = nullptr;
  sax->processingInstruction = nullptr;
  sax->reference = nullptr;
  xmlDocPtr doc =
      xmlCtxtReadMemory(context, text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
                        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  const bool well_formed = doc && context->wellFormed && context->nsWellFormed;
  if (doc) xmlFreeDoc(doc);
  xmlFreeParserCtxt(context);
  return well_formed;
}

bool IsXmlName(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return IsNameWithoutColon(text);
  return IsNameWithoutColon(text.substr(0, colon)) && IsNameWithoutColon(text.substr(colon + 1));
}

void RaiseInvalidXPath(std::string_view xpath, std::string_view reason) {
  throw pelmark::Error(
      kXPathErrorNumber, std::string(kXmlSource),
      "Invalid XPath expression \"" + std::string(xpath) + "\": " + std::string(reason));
}

bool XmlDocument::LoadXml(std::string_view text) {
  pugi::xml_parse_result result = doc_.load_buffer(text.data(), text.size(), kParseOptions);
  if (!result || !IsWellFormed(text)) {
    doc_.reset();
    return false;
  }
  return true;
}

XmlNode XmlDocument::SelectSingleNode(std::string_view xpath) const {
  return SelectOne(doc_, xpath);
}

std::vector<XmlNode> XmlDocument::SelectNodes(std::string_view xpath) const {
  return SelectAll(doc_, xpath);
}

}  // namespace corvane
