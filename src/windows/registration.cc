// DllRegisterServer and DllUnregisterServer: the class values of
// RegistryValues (per class the CLSID key with InprocServer32, ThreadingModel
// Apartment, ProgID, TypeLib and Version, and the ProgID key), and the type
// library through RegisterTypeLib, which also writes the Interface keys of its
// dual interfaces. A registration holds a named mutex from start to end, so two
// run one after the other; one that fails part way takes back exactly what it
// did (component/registry_journal.h). Unregistration removes exactly those
// keys. Every failure goes to the event log with the key and its reason, since
// the entry points can only answer a code.
#include "windows/server.h"

// The rest after it: it reads the library's headers before windows.h.
#include <optional>
#include <string>
#include <vector>

#include "automation/com_objects.h"
#include "component/registry_journal.h"
#include "corvane/catalogue.h"
#include "corvane/platform.h"
#include "corvane/registry_entries.h"
#include "rules/windows/wide_text.h"
#include "rules/windows/win32.h"

namespace corvane::windows {
namespace {

std::wstring GuidText(const pelmark::GUID& guid) { return Wide(pelmark::GuidToString(guid)); }

std::wstring Version() {
  return std::to_wstring(kLibraryMajorVersion) + L"." + std::to_wstring(kLibraryMinorVersion);
}

std::wstring ProgId(const ClassInfo& c) { return Wide(kProgIdPrefix) + Wide(c.name); }

// A key of RegistryValues ("CLSID/{...}/InprocServer32") as the registry names it.
std::wstring KeyName(const std::string& key) {
  std::wstring name = Wide(key);
  for (wchar_t& c : name)
    if (c == L'/') c = L'\\';
  return name;
}

void Log(const std::string& what, const std::wstring& key, LSTATUS status) {
  Platform().LogError(what + " HKEY_CLASSES_ROOT\\" + Utf8(key) + ": " +
                      SystemMessage(static_cast<DWORD>(status)));
}

// A failure the event log already holds.
struct Logged {};

// HKEY_CLASSES_ROOT as the journal's store.
class ClassesRoot {
 public:
  std::vector<std::string> MakeKey(const std::string& key) {
    std::vector<std::string> made;
    std::string walked;
    for (size_t from = 0; from <= key.size();) {
      size_t slash = key.find('/', from);
      if (slash == std::string::npos) slash = key.size();
      walked = key.substr(0, slash);
      from = slash + 1;
      HKEY handle = nullptr;
      DWORD disposition = 0;
      LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, KeyName(walked).c_str(), 0, nullptr, 0,
                                       KEY_WRITE, nullptr, &handle, &disposition);
      if (status != ERROR_SUCCESS) Fail("Registration cannot write", KeyName(walked), status);
      RegCloseKey(handle);
      if (disposition == REG_CREATED_NEW_KEY) made.push_back(walked);
    }
    return made;
  }

  std::optional<std::string> Read(const std::string& key, const std::string& name) {
    HKEY handle = nullptr;
    LSTATUS status =
        RegOpenKeyExW(HKEY_CLASSES_ROOT, KeyName(key).c_str(), 0, KEY_QUERY_VALUE, &handle);
    if (status != ERROR_SUCCESS) Fail("Registration cannot read", KeyName(key), status);
    const std::wstring value_name = Wide(name);
    DWORD type = 0, bytes = 0;
    status = RegQueryValueExW(handle, value_name.c_str(), nullptr, &type, nullptr, &bytes);
    std::optional<std::string> out;
    if (status == ERROR_SUCCESS) {
      std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
      bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
      status = RegQueryValueExW(handle, value_name.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(text.data()), &bytes);
      text.resize(wcsnlen(text.c_str(), text.size()));
      out = Utf8(text);
    }
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      Fail("Registration cannot read", KeyName(key), status);
    return out;
  }

  void Write(const std::string& key, const std::string& name, const std::string& text) {
    if (LSTATUS status = Set(key, name, text))
      Fail("Registration cannot write", KeyName(key), status);
  }

  void Restore(const std::string& key, const std::string& name, const std::string& text) {
    if (LSTATUS status = Set(key, name, text))
      Log("Registration cannot restore", KeyName(key), status);
  }

  void RemoveValue(const std::string& key, const std::string& name) {
    HKEY handle = nullptr;
    LSTATUS status =
        RegOpenKeyExW(HKEY_CLASSES_ROOT, KeyName(key).c_str(), 0, KEY_SET_VALUE, &handle);
    if (status == ERROR_SUCCESS) {
      status = RegDeleteValueW(handle, Wide(name).c_str());
      RegCloseKey(handle);
    }
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      Log("Registration cannot remove", KeyName(key), status);
  }

  void RemoveKey(const std::string& key) {
    LSTATUS status = RegDeleteKeyW(HKEY_CLASSES_ROOT, KeyName(key).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      Log("Registration cannot remove", KeyName(key), status);
  }

 private:
  // Writes a string value (the default value for an empty name); 0 or the failure.
  static LSTATUS Set(const std::string& key, const std::string& name, const std::string& text) {
    HKEY handle = nullptr;
    LSTATUS status =
        RegOpenKeyExW(HKEY_CLASSES_ROOT, KeyName(key).c_str(), 0, KEY_SET_VALUE, &handle);
    if (status != ERROR_SUCCESS) return status;
    const std::wstring value = Wide(text);
    status = RegSetValueExW(handle, name.empty() ? nullptr : Wide(name).c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status;
  }

  [[noreturn]] static void Fail(const std::string& what, const std::wstring& key, LSTATUS status) {
    Log(what, key, status);
    throw Logged{};
  }
};

// Held from the start of a registration or unregistration to its end.
class RegistrationLock {
 public:
  RegistrationLock() : mutex_(CreateMutexW(nullptr, FALSE, L"Local\\Corvane.Registration")) {
    if (mutex_) WaitForSingleObject(mutex_, INFINITE);
  }
  ~RegistrationLock() {
    if (!mutex_) return;
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
  RegistrationLock(const RegistrationLock&) = delete;
  RegistrationLock& operator=(const RegistrationLock&) = delete;

 private:
  HANDLE mutex_;
};

// Removes a key and everything under it; a key that is not there is no failure.
bool RemoveKey(const std::wstring& key) {
  LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return true;
  Log("Unregistration cannot remove", key, status);
  return false;
}

bool UnregisterClasses() {
  bool removed = true;
  for (const ClassInfo& c : kCatalogue) {
    removed = RemoveKey(ProgId(c)) && removed;
    removed = RemoveKey(L"CLSID\\" + GuidText(c.clsid)) && removed;
  }
  return removed;
}

std::wstring LibraryVersionKey() { return L"TypeLib\\" + GuidText(kLibraryId) + L"\\" + Version(); }

bool KeyExists(const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return false;
  RegCloseKey(handle);
  return true;
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
  if (!KeyExists(LibraryVersionKey())) return true;
  Log("Unregistration cannot unregister the type library", LibraryVersionKey(), hr);
  return false;
}

}  // namespace
}  // namespace corvane::windows

using namespace corvane::windows;

// A registration that fails part way is taken back: what it replaced gets its
// old value again, what it created goes, and nothing else is touched.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::wstring module = ModulePath();
  if (module.empty()) return SELFREG_E_CLASS;
  RegistrationLock lock;
  ClassesRoot registry;
  corvane::RegistryJournal<ClassesRoot> journal(registry);
  try {
    for (const corvane::RegistryValue& v : corvane::RegistryValues(corvane::Utf8(module)))
      if (!v.type_library) journal.Write(v.key, v.name, v.value);
    const bool library_was_there = KeyExists(LibraryVersionKey());
    if (RegisterLibrary(module)) return S_OK;
    if (!library_was_there) UnregisterLibrary();
  } catch (const Logged&) {
  }
  journal.RollBack();
  return SELFREG_E_CLASS;
}

// Whatever cannot be removed stays and is named, with its reason, in the event log.
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  RegistrationLock lock;
  bool removed = UnregisterClasses();
  removed = UnregisterLibrary() && removed;
  return removed ? S_OK : SELFREG_E_CLASS;
}
