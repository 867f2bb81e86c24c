// A path from the UTF-8 text that steps, scenarios and reports speak, and back.
// A std::filesystem::path made from a std::string is read in the ANSI code page
// on Windows, so every path that crosses between text and the file system goes
// through these; on Windows they convert as every other Win32 text does.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#ifdef _WIN32
#include "rules/windows/wide_text.h"
#endif

namespace corvane {

inline std::filesystem::path PathOfUtf8(std::string_view utf8) {
#ifdef _WIN32
  return std::filesystem::path(Wide(utf8));
#else
  return std::filesystem::path(utf8);
#endif
}

// `generic` gives "/" between the names on every system.
inline std::string Utf8Of(const std::filesystem::path& path, bool generic = false) {
#ifdef _WIN32
  return Utf8(generic ? path.generic_wstring() : path.native());
#else
  return generic ? path.generic_string() : path.native();
#endif
}

}  // namespace corvane
