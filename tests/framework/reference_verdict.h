// The full parser's verdict as libxml2 gives it when it parses an internal
// entity's content again at every reference (no content callbacks, nothing
// skipped). The library's full parser must refuse exactly the texts this
// refuses; the XML tests and the well-formedness fuzz target compare the two.
// Its cost grows with every expansion, so callers keep to texts whose
// expansions ExpansionBound counts small.
#pragma once

#include <libxml/parser.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace corvane::reference {

inline void IgnoreError(void*, xmlErrorPtr) {}
inline void IgnoreMessage(void*, const char*, ...) {}

inline bool IsWellFormedReparsing(std::string_view text) {
  // libxml2 reports a redeclared predefined entity without a parser context;
  // here, where the process is a test, its global handler may take it.
  xmlSetGenericErrorFunc(nullptr, IgnoreMessage);
  xmlParserCtxtPtr context = xmlNewParserCtxt();
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
  sax->serror = IgnoreError;
  xmlDocPtr doc =
      xmlCtxtReadMemory(context, text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
                        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  const bool well_formed = doc && context->wellFormed && context->nsWellFormed;
  if (doc) xmlFreeDoc(doc);
  xmlFreeParserCtxt(context);
  xmlSetGenericErrorFunc(nullptr, nullptr);
  return well_formed;
}

// A rough upper bound of the entity expansions a text asks for: each declared
// entity's references counted through its value, every reference in the text
// counted through them (a reference to itself counts as a huge number).
inline uint64_t ExpansionBound(std::string_view text) {
  std::map<std::string, std::string, std::less<>> values;
  for (size_t at = text.find("<!ENTITY"); at != std::string_view::npos;
       at = text.find("<!ENTITY", at + 1)) {
    size_t name = text.find_first_not_of(" \t\r\n%", at + 8);
    if (name == std::string_view::npos) break;
    size_t end = text.find_first_of(" \t\r\n", name);
    size_t quote = text.find_first_of("\"'", end);
    if (end == std::string_view::npos || quote == std::string_view::npos) break;
    size_t close = text.find(text[quote], quote + 1);
    if (close == std::string_view::npos) break;
    values.emplace(std::string(text.substr(name, end - name)),
                   std::string(text.substr(quote + 1, close - quote - 1)));
  }
  std::map<std::string, uint64_t, std::less<>> memo;
  constexpr uint64_t kHuge = uint64_t{1} << 40;
  auto count = [&](auto&& self, std::string_view value, int depth) -> uint64_t {
    uint64_t total = 0;
    for (size_t amp = value.find('&'); amp != std::string_view::npos;
         amp = value.find('&', amp + 1)) {
      size_t semi = value.find(';', amp);
      if (semi == std::string_view::npos) break;
      std::string_view name = value.substr(amp + 1, semi - amp - 1);
      auto found = values.find(name);
      if (found == values.end()) continue;
      uint64_t inner = kHuge;
      if (depth < 64) {
        auto known = memo.find(name);
        if (known == memo.end()) {
          memo[std::string(name)] = kHuge;  // a cycle meets this
          inner = self(self, found->second, depth + 1);
          memo[std::string(name)] = inner;
        } else {
          inner = known->second;
        }
      }
      total = std::min(kHuge, total + 1 + inner);
    }
    return total;
  };
  return count(count, text, 0);
}

}  // namespace corvane::reference
