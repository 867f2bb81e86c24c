// Names the rows of a conformance table in test output: "a fault may answer
// Nothing" becomes AFaultMayAnswerNothing.
#pragma once

#include <cctype>
#include <string>

namespace corvane_test {

inline std::string RowName(const char* behaviour) {
  std::string name;
  bool upper = true;
  for (const char* c = behaviour; *c; ++c) {
    if (!std::isalnum(static_cast<unsigned char>(*c))) {
      upper = true;
      continue;
    }
    name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(*c))) : *c;
    upper = false;
  }
  return name;
}

}  // namespace corvane_test
