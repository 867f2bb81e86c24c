// The in-process component server: class objects, unloading, registration into
// the registry directory, and the _IID_<CLASS> and type-library resources.
#include <dlfcn.h>

#include <array>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>

#include "component/class_table.h"
#include "corvane/catalogue.h"
#include "corvane/component.h"
#include "corvane/platform.h"
#include "framework/com_object.h"
#include "linux/registry_directory.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using pelmark::HRESULT;

std::atomic<int32_t> g_server_locks{0};

// A live class object keeps the module loaded, as a server lock does.
class ClassFactory final : public ComObject<pelmark::IClassFactory> {
 public:
  explicit ClassFactory(const ClassInfo& info) : info_(info) { ++g_server_locks; }

  HRESULT CreateInstance(pelmark::IUnknown* outer, const pelmark::IID& iid, void** out) override {
    if (!out) return pelmark::E_POINTER;
    *out = nullptr;
    if (outer) return pelmark::CLASS_E_NOAGGREGATION;
    try {
      pelmark::ComPtr<Activity> activity(CreateActivity(info_));
      if (!activity) return pelmark::CLASS_E_CLASSNOTAVAILABLE;
      return activity->QueryInterface(iid, out);
    } catch (const std::bad_alloc&) {
      return pelmark::E_OUTOFMEMORY;
    } catch (...) {
      return pelmark::E_UNEXPECTED;
    }
  }

  HRESULT LockServer(bool lock) override {
    if (lock)
      ++g_server_locks;
    else
      --g_server_locks;
    return pelmark::S_OK;
  }

 private:
  ~ClassFactory() override { --g_server_locks; }
  const ClassInfo& info_;
};

// --- Resources ------------------------------------------------------------

using IidResource = std::array<uint8_t, 20>;

// A 32-bit little-endian length (16) and the GUID in its binary layout.
constexpr IidResource MakeIidResource(const pelmark::GUID& g) {
  IidResource r{};
  r[0] = 16;
  for (int i = 0; i < 4; ++i) r[4 + i] = static_cast<uint8_t>(g.Data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) r[8 + i] = static_cast<uint8_t>(g.Data2 >> (8 * i));
  for (int i = 0; i < 2; ++i) r[10 + i] = static_cast<uint8_t>(g.Data3 >> (8 * i));
  for (int i = 0; i < 8; ++i) r[12 + i] = g.Data4[i];
  return r;
}

constexpr std::array<IidResource, kClassCount> MakeIidResources() {
  std::array<IidResource, kClassCount> all{};
  for (size_t i = 0; i < kClassCount; ++i) all[i] = MakeIidResource(kCatalogue[i].default_iid);
  return all;
}
constexpr std::array<IidResource, kClassCount> kIidResources = MakeIidResources();

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return UpperAscii(a) == UpperAscii(b);
}

// The type library as text: its identity, imports and every coclass with its
// default interface. Hosts read it to list the classes without creating one.
const std::string& TypeLibraryText() {
  static const std::string text = [] {
    std::string t = "library " + std::string(kLibraryName) + "\n";
    t += "uuid " + pelmark::GuidToString(kLibraryId) + "\n";
    t += "version " + std::to_string(kLibraryMajorVersion) + "." +
         std::to_string(kLibraryMinorVersion) + "\n";
    t += "lcid 0x0409\n";
    t += "helpstring " + std::string(kLibraryHelpString) + "\n";
    for (const ImportedLibrary& lib : kImportedLibraries)
      t += "importlib " + std::string(lib.file) + " " + pelmark::GuidToString(lib.id) + " " +
           std::string(lib.version) + "\n";
    t += "import IActivityRuntime " + pelmark::GuidToString(pelmark::IActivityRuntime::iid) + "\n";
    for (const ClassInfo& c : kCatalogue)
      t += "coclass " + std::string(c.name) + " " + pelmark::GuidToString(c.clsid) + " default _" +
           std::string(c.name) + " " + pelmark::GuidToString(c.default_iid) + " IActivityRuntime\n";
    return t;
  }();
  return text;
}

// --- Registration ---------------------------------------------------------

std::string ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) && info.dli_fname)
    return fs::absolute(info.dli_fname).string();
  return {};
}

}  // namespace
}  // namespace corvane

using corvane::ClassInfo;
using pelmark::HRESULT;

extern "C" HRESULT DllGetClassObject(const pelmark::CLSID& clsid, const pelmark::IID& iid,
                                     void** out) {
  if (!out) return pelmark::E_POINTER;
  *out = nullptr;
  const ClassInfo* info = corvane::FindClassByClsid(clsid);
  if (!info) return pelmark::CLASS_E_CLASSNOTAVAILABLE;
  try {
    return corvane::MakeCom<corvane::ClassFactory>(*info)->QueryInterface(iid, out);
  } catch (...) {
    return pelmark::E_OUTOFMEMORY;
  }
}

extern "C" HRESULT DllCanUnloadNow() {
  return corvane::Activity::LiveObjects() == 0 && corvane::g_server_locks == 0 ? pelmark::S_OK
                                                                               : pelmark::S_FALSE;
}

// A failed registration takes back what it wrote and leaves each failure, with
// its path and reason, in the event log.
extern "C" HRESULT DllRegisterServer() {
  try {
    return corvane::RegisterInto(corvane::Platform().RegistryRoot(), corvane::ModulePath())
               ? pelmark::S_OK
               : pelmark::SELFREG_E_CLASS;
  } catch (...) {
    corvane::Platform().LogError("Registration could not take back what it wrote");
  }
  return pelmark::SELFREG_E_CLASS;
}

// Whatever cannot be removed stays and is named, with its reason, in the event log.
extern "C" HRESULT DllUnregisterServer() {
  try {
    return corvane::UnregisterFrom(corvane::Platform().RegistryRoot()) ? pelmark::S_OK
                                                                       : pelmark::SELFREG_E_CLASS;
  } catch (const std::exception& e) {
    corvane::Platform().LogError(std::string("Unregistration failed: ") + e.what());
  } catch (...) {
    corvane::Platform().LogError("Unregistration failed");
  }
  return pelmark::SELFREG_E_CLASS;
}

extern "C" HRESULT CorvaneFindResource(const char* type, const char* name, uint32_t id,
                                       const uint8_t** data, uint32_t* size) {
  if (!type || !name || !data || !size) return pelmark::E_POINTER;
  *data = nullptr;
  *size = 0;
  if (id != 1) return pelmark::E_INVALIDARG;
  if (corvane::EqualsIgnoringAsciiCase(type, "TYPELIB") && std::strcmp(name, "1") == 0) {
    const std::string& text = corvane::TypeLibraryText();
    *data = reinterpret_cast<const uint8_t*>(text.data());
    *size = static_cast<uint32_t>(text.size());
    return pelmark::S_OK;
  }
  if (!corvane::EqualsIgnoringAsciiCase(type, "CUSTOM")) return pelmark::E_INVALIDARG;
  for (size_t i = 0; i < corvane::kClassCount; ++i) {
    if ("_IID_" + corvane::UpperAscii(corvane::kCatalogue[i].name) == name) {
      *data = corvane::kIidResources[i].data();
      *size = static_cast<uint32_t>(corvane::kIidResources[i].size());
      return pelmark::S_OK;
    }
  }
  return pelmark::E_INVALIDARG;
}
