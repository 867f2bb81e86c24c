#include "framework/xml.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "rules/error_report.h"

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
  // Compared in place: every item's id is read through here.
  for (pugi::xml_attribute a = node_.first_attribute(); a; a = a.next_attribute()) {
    const char* candidate = a.name();
    size_t i = 0;
    while (i < name.size() && candidate[i] != '\0' && candidate[i] == name[i]) ++i;
    if (i == name.size() && candidate[i] == '\0') return a.value();
  }
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
// entity, an undeclared prefix pass), so the plain scan or libxml2 decides first.
bool IsWellFormed(std::string_view text) {
  if (text.size() > static_cast<size_t>(INT_MAX)) return false;
  return IsPlainWellFormed(text) || IsWellFormedByFullParser(text);
}

namespace {

// The full parser keeps no tree, so libxml2 cannot keep an internal entity's
// content either: it parses the content again, in a parser context of its own,
// at every further reference. That costs a context per reference (seconds for a
// list of a few hundred kilobytes), yet what it adds to the verdict is the same
// every time: the count of entity references that libxml2's amplification
// limits read, and whether the expansion passes the depth limit of 40. So the
// first parse again of each entity is watched and measured, and later
// references hand libxml2 a stand-in content (which it only tests for being
// there), add the measured count themselves and skip the parse, unless the
// depth limit could be reached from where they stand. libxml2's verdict is
// unchanged, and its cost is one parse of each entity's content.
thread_local uint64_t g_entity_content_parses = 0;

class EntityExpansions {
 public:
  static EntityExpansions& Of(void* context) {
    return *static_cast<EntityExpansions*>(static_cast<xmlParserCtxtPtr>(context)->_private);
  }

  // libxml2's getEntity, called for every reference to a declared entity.
  xmlEntityPtr Reference(xmlParserCtxtPtr context, const xmlChar* name) {
    xmlEntityPtr entity = xmlSAX2GetEntity(context, name);
    if (!entity || entity->etype != XML_INTERNAL_GENERAL_ENTITY) return entity;
    if (entity->children == &stand_in_) entity->children = nullptr;
    // Only a reference in content parses the entity's text; one in an
    // attribute value or the document type reads its replacement text.
    if (context->instate != XML_PARSER_CONTENT) return entity;
    const int depth = context->depth;
    Finish(depth);
    Reached(depth);
    if (entity->checked == 0) {  // first reference: libxml2 parses and checks it
      open_.push_back({context, entity, depth, depth, context->nbentities, false});
      ++g_entity_content_parses;
      return entity;
    }
    // Before parsing it again libxml2 counts what its first parse counted.
    const unsigned long counted = entity->checked != 1 ? entity->checked / 2 : 0;
    Facts& facts = facts_[entity];
    if (facts.measured && depth + facts.depth + 1 <= kMaxEntityDepth) {
      context->nbentities += facts.added;
      Reached(depth + facts.depth);
      entity->children = &stand_in_;
    } else {
      open_.push_back({context, entity, depth, depth, context->nbentities + counted, true});
      ++g_entity_content_parses;
    }
    return entity;
  }

  // libxml2's reference callback, called once a reference in content is done.
  void Done(xmlParserCtxtPtr context, const xmlChar* name) {
    const int depth = context->depth;
    Finish(depth + 1);
    if (open_.empty()) return;
    const Open& last = open_.back();
    if (last.context != context || !last.entity->name || !xmlStrEqual(last.entity->name, name))
      return;
    Facts& facts = facts_[last.entity];
    facts.depth = std::max(facts.depth, last.deepest - last.depth);
    if (last.again && !facts.measured) {
      facts.added = context->nbentities - last.count_before;
      facts.measured = true;
    }
    open_.pop_back();
  }

 private:
  // libxml2 refuses an expansion whose context would be deeper than this.
  static constexpr int kMaxEntityDepth = 40;

  struct Facts {
    bool measured = false;
    unsigned long added = 0;  // what parsing the content again adds to the count
    int depth = 0;            // how much deeper than its reference its expansion reaches
  };
  struct Open {
    xmlParserCtxtPtr context;
    xmlEntityPtr entity;
    int depth;    // of the referring context
    int deepest;  // the deepest context its expansion has reached
    unsigned long count_before;
    bool again;  // parsed again, not for the first time
  };

  // Expansions at `depth` or deeper have ended (an error can end one early).
  void Finish(int depth) {
    while (!open_.empty() && open_.back().depth >= depth) open_.pop_back();
  }
  void Reached(int depth) {
    for (Open& open : open_) open.deepest = std::max(open.deepest, depth);
  }

  std::unordered_map<xmlEntityPtr, Facts> facts_;
  std::vector<Open> open_;  // expansions under way, innermost last
  xmlNode stand_in_{};
};

xmlEntityPtr GetEntity(void* context, const xmlChar* name) {
  return EntityExpansions::Of(context).Reference(static_cast<xmlParserCtxtPtr>(context), name);
}

void EntityReferenceDone(void* context, const xmlChar* name) {
  EntityExpansions::Of(context).Done(static_cast<xmlParserCtxtPtr>(context), name);
}

// libxml2 reports a declaration that gives one of the five predefined entities
// another meaning without any parser context, so the report would reach the
// process's standard error. Such a declaration is left out here instead, as
// libxml2 leaves it out (returning no entity), so the report never happens.
bool RedeclaresPredefined(const xmlChar* name, int type, const xmlChar* content) {
  xmlEntityPtr predefined = xmlGetPredefinedEntity(name);
  if (!predefined) return false;
  if (type != XML_INTERNAL_GENERAL_ENTITY && type != XML_EXTERNAL_GENERAL_PARSED_ENTITY &&
      type != XML_EXTERNAL_GENERAL_UNPARSED_ENTITY)
    return false;
  if (type != XML_INTERNAL_GENERAL_ENTITY || !content) return true;
  // Allowed: the character itself (only for >, ' and "), or a character reference to it.
  const int c = predefined->content[0];
  if (content[0] == c && content[1] == 0 && (c == '>' || c == '\'' || c == '"')) return false;
  if (content[0] == '&' && content[1] == '#') {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const xmlChar hex[] = {static_cast<xmlChar>(kHex[c / 16 % 16]),
                           static_cast<xmlChar>(kHex[c % 16]), ';', 0};
    const xmlChar decimal[] = {static_cast<xmlChar>('0' + c / 10 % 10),
                               static_cast<xmlChar>('0' + c % 10), ';', 0};
    if (content[2] == 'x') return xmlStrcasecmp(&content[3], hex) != 0;
    return !xmlStrEqual(&content[2], decimal);
  }
  return true;
}

void EntityDeclaration(void* context, const xmlChar* name, int type, const xmlChar* public_id,
                       const xmlChar* system_id, xmlChar* content) {
  if (RedeclaresPredefined(name, type, content)) return;
  xmlSAX2EntityDecl(context, name, type, public_id, system_id, content);
}

void UnparsedEntityDeclaration(void* context, const xmlChar* name, const xmlChar* public_id,
                               const xmlChar* system_id, const xmlChar* notation) {
  if (RedeclaresPredefined(name, XML_EXTERNAL_GENERAL_UNPARSED_ENTITY, nullptr)) return;
  xmlSAX2UnparsedEntityDecl(context, name, public_id, system_id, notation);
}

// Errors are the verdict's business only; this context's reports go nowhere.
void IgnoreError(void*, xmlErrorPtr) {}

}  // namespace

// The text is read as UTF-8 whatever its declaration says, as a loaded string
// always is. Nothing is written to the process's standard error: the parser
// context reports its errors to a handler of its own.
bool IsWellFormedByFullParser(std::string_view text) {
  if (text.size() > static_cast<size_t>(INT_MAX)) return false;
  // libxml2 sets up its process-wide tables on first use, which is safe only
  // when one thread does it: the first call here does, once for the process.
  static const bool initialized = (xmlInitParser(), true);
  (void)initialized;
  xmlParserCtxtPtr context = xmlNewParserCtxt();
  if (!context) throw std::bad_alloc();
  EntityExpansions expansions;
  context->_private = &expansions;
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
  sax->getEntity = GetEntity;
  sax->reference = EntityReferenceDone;
  sax->entityDecl = EntityDeclaration;
  sax->unparsedEntityDecl = UnparsedEntityDeclaration;
  sax->serror = IgnoreError;
  xmlDocPtr doc =
      xmlCtxtReadMemory(context, text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
                        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  const bool well_formed = doc && context->wellFormed && context->nsWellFormed;
  if (doc) xmlFreeDoc(doc);
  xmlFreeParserCtxt(context);
  return well_formed;
}

uint64_t EntityContentParses() { return g_entity_content_parses; }

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

bool XmlDocument::LoadXml(std::string_view text) { return LoadXml(std::string(text)); }

bool XmlDocument::LoadXml(std::string&& text) {
  doc_.reset();
  buffer_.clear();
  if (!IsWellFormed(text)) return false;
  // The tree points into the text, which the document keeps: no second copy.
  buffer_ = std::move(text);
  pugi::xml_parse_result result =
      doc_.load_buffer_inplace(buffer_.data(), buffer_.size(), kParseOptions);
  if (!result) {
    doc_.reset();
    buffer_.clear();
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
