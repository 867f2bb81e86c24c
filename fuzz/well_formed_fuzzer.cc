// The plain well-formedness scan against libxml2 on arbitrary text. The scan
// may answer "not decided here" for any text, but it must never call a text
// well-formed that libxml2 refuses: that would let a step walk a list the
// classic DOM would have refused as a whole. Every text the scan accepts is also
// loaded, so that pugixml builds a tree for it. A text with a document type
// gets the full parser's verdict, which must be libxml2's own when it parses
// every entity reference again (for texts whose expansions stay few enough for
// that to run).
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "../tests/framework/reference_verdict.h"
#include "framework/xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (text.find("<!DOCTYPE") != std::string_view::npos &&
      corvane::reference::ExpansionBound(text) <= 2000 &&
      corvane::IsWellFormedByFullParser(text) != corvane::reference::IsWellFormedReparsing(text))
    std::abort();
  if (!corvane::IsPlainWellFormed(text)) return 0;
  if (!corvane::IsWellFormedByFullParser(text)) std::abort();
  corvane::XmlDocument doc;
  if (!doc.LoadXml(text)) std::abort();
  return 0;
}
