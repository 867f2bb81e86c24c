// UTF-8 (the library's text) to UTF-16 (Windows' and Automation's text) and back,
// and the system's text for an error code. Every text that crosses a Win32 or
// Automation call is converted here, and so is every path (rules/utf8_path.h),
// so that nothing is ever read in the ANSI code page. It needs no windows.h.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

std::wstring Wide(std::string_view text);
std::string Utf8(std::wstring_view text);

// The system's description of a Win32 error code without its line break, or
// "error N" when the system has none.
std::string SystemMessage(unsigned long code);

}  // namespace corvane
