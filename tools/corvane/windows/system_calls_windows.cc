#include "system_calls.h"

#include <string>

#include "rules/windows/wide_text.h"
#include "rules/windows/win32.h"

namespace corvane::cli::win32 {

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void* LoadDll(const std::string& path, std::string& why) {
  HMODULE dll = LoadLibraryW(Wide(path).c_str());
  if (!dll) {
    // It ends a sentence of the tool's own.
    why = SystemMessage(GetLastError());
    while (!why.empty() && why.back() == '.') why.pop_back();
  }
  return reinterpret_cast<void*>(dll);
}

void* DllSymbol(void* dll, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(dll), name));
}

void FreeDll(void* dll) { FreeLibrary(static_cast<HMODULE>(dll)); }

std::optional<std::string> ClassesRootValue(std::string_view key, std::string_view name) {
  std::wstring key_name = Wide(key);
  for (wchar_t& c : key_name)
    if (c == L'/') c = L'\\';
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key_name.c_str(), 0, KEY_QUERY_VALUE, &opened) !=
      ERROR_SUCCESS)
    return std::nullopt;
  const std::wstring value_name = Wide(name);
  const wchar_t* value = name.empty() ? nullptr : value_name.c_str();
  DWORD type = 0, bytes = 0;
  std::optional<std::string> out;
  if (RegQueryValueExW(opened, value, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(opened, value, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                         &bytes) == ERROR_SUCCESS) {
      text.resize(wcsnlen(text.c_str(), text.size()));
      out = Utf8(text);
    }
  }
  RegCloseKey(opened);
  return out;
}

}  // namespace corvane::cli::win32
