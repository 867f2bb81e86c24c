// A small XML layer over pugixml, shaped like the classic DOM the activities rely
// on: a load that leaves the document empty on malformed text, XPath selection,
// child nodes, attributes by name and node text.
//
// A node handle may be Nothing (a selection that found nothing). Reading an
// attribute or selecting from Nothing raises 91, as using an unset object does;
// so does reading an attribute a node lacks. An invalid XPath expression raises
// kXPathErrorNumber with source kXmlSource.
#pragma once

#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

inline constexpr int32_t kXPathErrorNumber = static_cast<int32_t>(0x80004005);
inline constexpr std::string_view kXmlSource = "Corvane.XmlDocument";

class XmlNode {
 public:
  XmlNode() = default;
  explicit XmlNode(pugi::xml_node node) : node_(node) {}

  bool is_nothing() const { return !node_; }
  // The child nodes as the classic DOM keeps them: elements, non-blank text,
  // CDATA, comments and processing instructions, in document order.
  std::vector<XmlNode> ChildNodes() const;
  // The attribute's text. Raises 91 when this node is Nothing or has no such attribute.
  std::string Attribute(std::string_view name) const;
  // The same attribute's text without a copy; valid while the document lives.
  std::string_view AttributeView(std::string_view name) const;
  // The concatenated text of the node and its descendants. Raises 91 on Nothing.
  std::string Text() const;
  // First match of an XPath expression relative to this node (Nothing when none).
  XmlNode SelectSingleNode(std::string_view xpath) const;
  std::vector<XmlNode> SelectNodes(std::string_view xpath) const;

  pugi::xml_node native() const { return node_; }

 private:
  pugi::xml_node node_;
};

// Whether the text is a well-formed XML document, namespaces included.
bool IsWellFormed(std::string_view text);

// The two halves of IsWellFormed. The plain scan answers true only for a
// well-formed text in the plain XML item lists are written in (one root, ASCII
// names without prefixes, no document type or processing instruction); false
// means "not decided here". The full parser decides every text.
bool IsPlainWellFormed(std::string_view text);
bool IsWellFormedByFullParser(std::string_view text);

// How many times the full parser has parsed an internal entity's content on
// this thread (each entity's first reference and at most one more), for tests
// that measure its work.
uint64_t EntityContentParses();

// Whether the text is an XML element name as XPath reads one in a name test: a
// name without a colon, or a prefix and a local name joined by one colon.
bool IsXmlName(std::string_view text);

// Raises the error an invalid XPath expression raises, with `reason` in the
// description.
[[noreturn]] void RaiseInvalidXPath(std::string_view xpath, std::string_view reason);

class XmlDocument {
 public:
  XmlDocument() = default;
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Loads XML text. Malformed text leaves the document empty and returns false.
  bool LoadXml(std::string_view text);
  // The same, keeping the text itself as the tree's storage instead of a copy.
  bool LoadXml(std::string&& text);
  bool LoadXml(const char* text) { return LoadXml(std::string_view(text)); }
  XmlNode SelectSingleNode(std::string_view xpath) const;
  std::vector<XmlNode> SelectNodes(std::string_view xpath) const;
  XmlNode Root() const { return XmlNode(doc_); }

 private:
  std::string buffer_;  // the loaded text, parsed in place; the tree points into it
  pugi::xml_document doc_;
};

}  // namespace corvane
