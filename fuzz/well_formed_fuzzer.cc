// The plain well-formedness scan against libxml2 on arbitrary text. The scan
// may answer "not decided here" for any text, but it must never call a text
// well-formed that libxml2 refuses: that would let a step walk a list the
// classic DOM would have refused as a whole. Every text the scan accepts is also
// loaded, so that pugixml builds a tree for it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "framework/xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!corvane::IsPlainWellFormed(text)) return 0;
  if (!corvane::IsWellFormedByFullParser(text)) std::abort();
  corvane::XmlDocument doc;
  if (!doc.LoadXml(text)) std::abort();
  return 0;
}
