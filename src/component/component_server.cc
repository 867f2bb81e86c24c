// The in-process component server: class objects, unloading, registration into
// the registry directory, and the _IID_<CLASS> and type-library resources.
#include <dlfcn.h>

#include <array>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "component/class_table.h"
#include "corvane/catalogue.h"
#include "corvane/component.h"
#include "corvane/platform.h"
#include "framework/com_object.h"

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

// Writes the default value ("@") or a named value of a key.
void WriteValue(const fs::path& key, std::string_view name, std::string_view value) {
  fs::create_directories(key);
  std::ofstream out(key / std::string(name), std::ios::binary | std::ios::trunc);
  out << value;
  if (!out) throw std::system_error(errno, std::generic_category(), (key / name).string());
}

std::string Version() {
  return std::to_string(kLibraryMajorVersion) + "." + std::to_string(kLibraryMinorVersion);
}

void RegisterAll(const fs::path& root, const std::string& module) {
  const std::string libid = pelmark::GuidToString(kLibraryId);
  const fs::path typelib = root / "TypeLib" / libid / Version();
  WriteValue(typelib, "@", kLibraryHelpString);
  WriteValue(typelib / "0" / "linux64", "@", module);
  WriteValue(typelib / "FLAGS", "@", "0");
  WriteValue(typelib / "HELPDIR", "@", fs::path(module).parent_path().string());
  WriteValue(typelib, "Name", kLibraryName);
  for (const ImportedLibrary& lib : kImportedLibraries)
    WriteValue(typelib / "Imports" / pelmark::GuidToString(lib.id), "@",
               std::string(lib.file) + " " + std::string(lib.version));

  for (const ClassInfo& c : kCatalogue) {
    const std::string prog_id = std::string(kProgIdPrefix) + std::string(c.name);
    const std::string clsid = pelmark::GuidToString(c.clsid);
    const std::string iid = pelmark::GuidToString(c.default_iid);

    WriteValue(root / prog_id, "@", c.name);
    WriteValue(root / prog_id / "CLSID", "@", clsid);

    const fs::path class_key = root / "CLSID" / clsid;
    WriteValue(class_key, "@", prog_id);
    WriteValue(class_key / "InprocServer32", "@", module);
    WriteValue(class_key / "InprocServer32", "ThreadingModel", kThreadingModel);
    WriteValue(class_key / "ProgID", "@", prog_id);
    WriteValue(class_key / "TypeLib", "@", libid);
    WriteValue(class_key / "Version", "@", Version());
    WriteValue(class_key / "Implemented Categories", "@", "");

    const fs::path interface_key = root / "Interface" / iid;
    std::string interface_name = "_";
    interface_name.append(c.name);
    WriteValue(interface_key, "@", interface_name);
    WriteValue(interface_key / "TypeLib", "@", libid);
    WriteValue(interface_key / "TypeLib", "Version", Version());
  }
}

// Removes exactly the keys RegisterAll writes, and the containers it leaves empty.
void UnregisterAll(const fs::path& root) {
  std::error_code ec;
  const fs::path typelib_key = root / "TypeLib" / pelmark::GuidToString(kLibraryId);
  fs::remove_all(typelib_key / Version(), ec);
  fs::remove(typelib_key, ec);  // only when no other version remains
  for (const ClassInfo& c : kCatalogue) {
    fs::remove_all(root / (std::string(kProgIdPrefix) + std::string(c.name)), ec);
    fs::remove_all(root / "CLSID" / pelmark::GuidToString(c.clsid), ec);
    fs::remove_all(root / "Interface" / pelmark::GuidToString(c.default_iid), ec);
  }
  for (const char* container : {"TypeLib", "CLSID", "Interface"}) fs::remove(root / container, ec);
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

extern "C" HRESULT DllRegisterServer() {
  try {
    corvane::RegisterAll(corvane::Platform().RegistryRoot(), corvane::ModulePath());
    return pelmark::S_OK;
  } catch (...) {
    return pelmark::SELFREG_E_CLASS;
  }
}

extern "C" HRESULT DllUnregisterServer() {
  try {
    corvane::UnregisterAll(corvane::Platform().RegistryRoot());
    return pelmark::S_OK;
  } catch (...) {
    return pelmark::SELFREG_E_CLASS;
  }
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
