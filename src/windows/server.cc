// DllMain, the class objects and DllCanUnloadNow of Corvane.dll.
#include "windows/server.h"

#include <atomic>
#include <new>

#include "automation/com_objects.h"
#include "component/class_table.h"
#include "corvane/catalogue.h"
#include "rules/windows/win32.h"
#include "windows/activity_object.h"

namespace corvane::windows {
namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_locks{0};

class ClassFactory final : public automation::SingleInterfaceObject<IClassFactory> {
 public:
  explicit ClassFactory(const ClassInfo& info) : info_(info) {}

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      return CreateActivityObject(info_, iid, out);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

  STDMETHODIMP LockServer(BOOL lock) override {
    windows::LockServer(lock != FALSE);
    return S_OK;
  }

 private:
  const ClassInfo& info_;
};

}  // namespace

HMODULE ModuleHandle() { return g_module; }

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void LockServer(bool lock) { lock ? ++g_locks : --g_locks; }
long ServerLocks() { return g_locks; }

ITypeLib* LoadOwnTypeLibrary() {
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &library);
  if (FAILED(hr) || !library)
    throw pelmark::Error(static_cast<int32_t>(hr), "Corvane",
                         "the type library embedded in Corvane.dll cannot be loaded");
  return library;
}

ITypeInfo* TypeInfoOf(const GUID& iid) {
  // Loaded once per process and kept: type information is asked for by every
  // object, and the library lives in oleaut32, not in this DLL.
  static ITypeLib* const library = [] {
    try {
      return LoadOwnTypeLibrary();
    } catch (const pelmark::Error&) {
      return static_cast<ITypeLib*>(nullptr);
    }
  }();
  if (!library) return nullptr;
  ITypeInfo* info = nullptr;
  if (FAILED(library->GetTypeInfoOfGuid(iid, &info))) return nullptr;
  return info;
}

}  // namespace corvane::windows

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    corvane::windows::g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const corvane::ClassInfo* info =
      corvane::FindClassByClsid(corvane::automation::FromWindowsGuid(clsid));
  if (!info) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) corvane::windows::ClassFactory(*info);
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

// S_OK only when no object of the DLL is alive and no lock is held.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return corvane::automation::LiveObjects() == 0 && corvane::windows::ServerLocks() == 0 ? S_OK
                                                                                         : S_FALSE;
}
