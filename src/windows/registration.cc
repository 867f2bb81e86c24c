// DllRegisterServer and DllUnregisterServer: per class the CLSID key (ProgID,
// InprocServer32 with ThreadingModel Apartment, TypeLib, Version) and the
// ProgID key, and the type library through RegisterTypeLib, which also writes
// the Interface keys of its dual interfaces. Unregistration removes exactly
// those keys. Every failure goes to the event log with the key and its reason,
// since the entry points can only answer a code.
#include "windows/server.h"

// The rest after it: it reads the library's headers before windows.h.
#include <string>
#include <vector>

#include "automation/com_objects.h"
#include "corvane/catalogue.h"
#include "corvane/platform.h"
#include "rules/windows/wide_text.h"
#include "rules/windows/win32.h"

namespace corvane::windows {
namespace {

std::wstring GuidText(const pelmark::GUID& guid) { return Wide(pelmark::GuidToString(guid)); }

std::wstring Version() {
  return std::to_wstring(kLibraryMajorVersion) + L"." + std::to_wstring(kLibraryMinorVersion);
}

std::wstring ProgId(const ClassInfo& c) { return Wide(kProgIdPrefix) + Wide(c.name); }

void Log(const std::string& what, const std::wstring& key, LSTATUS status) {
  Platform().LogError(what + " HKEY_CLASSES_ROOT\\" + Utf8(key) + ": " +
                      SystemMessage(static_cast<DWORD>(status)));
}

// Writes a string value (the default value for an empty name), making the key.
bool WriteValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE,
                                   nullptr, &handle, nullptr);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
  }
  if (status != ERROR_SUCCESS) Log("Registration cannot write", key, status);
  return status == ERROR_SUCCESS;
}

// Removes a key and everything under it; a key that is not there is no failure.
bool RemoveKey(const std::wstring& key) {
  LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return true;
  Log("Unregistration cannot remove", key, status);
  return false;
}

bool RegisterClasses(const std::wstring& module) {
  const std::wstring libid = GuidText(kLibraryId);
  for (const ClassInfo& c : kCatalogue) {
    const std::wstring prog_id = ProgId(c);
    const std::wstring class_key = L"CLSID\\" + GuidText(c.clsid);
    bool written =
        WriteValue(prog_id, nullptr, Wide(c.name)) &&
        WriteValue(prog_id + L"\\CLSID", nullptr, GuidText(c.clsid)) &&
        WriteValue(class_key, nullptr, prog_id) &&
        WriteValue(class_key + L"\\InprocServer32", nullptr, module) &&
        WriteValue(class_key + L"\\InprocServer32", L"ThreadingModel", Wide(kThreadingModel)) &&
        WriteValue(class_key + L"\\ProgID", nullptr, prog_id) &&
        WriteValue(class_key + L"\\TypeLib", nullptr, libid) &&
        WriteValue(class_key + L"\\Version", nullptr, Version());
    if (!written) return false;
  }
  return true;
}

bool UnregisterClasses() {
  bool removed = true;
  for (const ClassInfo& c : kCatalogue) {
    removed = RemoveKey(ProgId(c)) && removed;
    removed = RemoveKey(L"CLSID\\" + GuidText(c.clsid)) && removed;
  }
  return removed;
}

bool RegisterLibrary(const std::wstring& module) {
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(module.c_str(), REGKIND_NONE, &library);
  if (SUCCEEDED(hr)) {
    std::wstring path = module;
    std::wstring folder = module.substr(0, module.find_last_of(L"\\/"));
    hr = RegisterTypeLib(library, path.data(), folder.data());
    library->Release();
  }
  if (FAILED(hr)) Log("Registration cannot register the type library of", module, hr);
  return SUCCEEDED(hr);
}

// Done when the library's version key is gone, whatever UnRegisterTypeLib
// answers: it also fails for a library that was not registered at all.
bool UnregisterLibrary() {
  GUID libid = automation::ToWindowsGuid(kLibraryId);
  HRESULT hr = UnRegisterTypeLib(libid, kLibraryMajorVersion, kLibraryMinorVersion, kLibraryLocale,
                                 SYS_WIN64);
  const std::wstring key = L"TypeLib\\" + GuidText(kLibraryId) + L"\\" + Version();
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return true;
  RegCloseKey(handle);
  Log("Unregistration cannot unregister the type library", key, hr);
  return false;
}

}  // namespace
}  // namespace corvane::windows

using namespace corvane::windows;

// A registration that fails part way is taken back, so nothing half-written stays.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::wstring module = ModulePath();
  if (module.empty()) return SELFREG_E_CLASS;
  if (RegisterClasses(module) && RegisterLibrary(module)) return S_OK;
  UnregisterClasses();
  UnregisterLibrary();
  return SELFREG_E_CLASS;
}

// Whatever cannot be removed stays and is named, with its reason, in the event log.
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  bool removed = UnregisterClasses();
  removed = UnregisterLibrary() && removed;
  return removed ? S_OK : SELFREG_E_CLASS;
}
