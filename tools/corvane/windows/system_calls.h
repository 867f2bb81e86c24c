// The Win32 calls of the tool's Windows loader, behind plain C++ types: the
// contract headers declare the COM entry points with their own types, which
// windows.h declares again with its own, so the two never meet in one file.
//
// Threading: safe from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane::cli::win32 {

// True when a file of that UTF-8 path exists.
bool FileExists(const std::string& path);
// LoadLibrary of a UTF-8 path: the module, or null with the system's reason in `why`.
void* LoadDll(const std::string& path, std::string& why);
// GetProcAddress: the exported symbol, or null.
void* DllSymbol(void* dll, const char* name);
void FreeDll(void* dll);

// A string value under HKEY_CLASSES_ROOT (a key's default value when `name` is
// empty), the key's parts separated by "/"; nullopt when absent.
std::optional<std::string> ClassesRootValue(std::string_view key, std::string_view name);

}  // namespace corvane::cli::win32
