// The in-process component server: class objects, unloading, registration into
// the registry directory, and the _IID_<CLASS> and type-library resources.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

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

std::string Reason(int error) { return std::error_code(error, std::generic_category()).message(); }

// The registry writes of one registration, kept so that a registration that fails
// part way can take back exactly what it did: directories it made are removed,
// values it replaced get their old text back. Every failure, and every step of the
// roll-back that fails too, goes to the event log with its path and reason, since
// the entry points can only answer a code.
void LogUnregistration(const fs::path& path, int error) {
  Platform().LogError("Unregistration cannot remove " + path.string() + ": " + Reason(error));
}

class RegistryWriter {
 public:
  // Writes the default value ("@") or a named value of a key.
  void WriteValue(const fs::path& key, std::string_view name, std::string_view value) {
    MakeKey(key);
    const fs::path file = key / std::string(name);
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0) {
      std::ifstream in(file, std::ios::binary);
      std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!in.good() && !in.eof()) Fail("cannot read", file, errno);
      replaced_.emplace_back(file, std::move(old));
    } else if (errno == ENOENT) {
      written_.push_back(file);
    } else {
      Fail("cannot write", file, errno);
    }
    errno = 0;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << value;
    out.close();
    if (!out) Fail("cannot write", file, errno ? errno : EIO);
  }

  // Takes back every write, newest first.
  void RollBack() {
    for (auto it = replaced_.rbegin(); it != replaced_.rend(); ++it) {
      std::ofstream out(it->first, std::ios::binary | std::ios::trunc);
      out << it->second;
      out.close();
      if (!out) Log("cannot restore", it->first, errno ? errno : EIO);
    }
    for (auto it = written_.rbegin(); it != written_.rend(); ++it)
      if (::unlink(it->c_str()) != 0 && errno != ENOENT) Log("cannot remove", *it, errno);
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
      if (::rmdir(it->c_str()) != 0 && errno != ENOENT) Log("cannot remove", *it, errno);
  }

 private:
  [[noreturn]] void Fail(const char* what, const fs::path& path, int error) {
    Log(what, path, error);
    throw std::system_error(error, std::generic_category(), path.string());
  }
  static void Log(const char* what, const fs::path& path, int error) {
    Platform().LogError(std::string("Registration ") + what + " " + path.string() + ": " +
                        Reason(error));
  }

  // Makes the key's directory and each missing parent, remembering those it made.
  void MakeKey(const fs::path& key) {
    std::vector<fs::path> missing;
    struct stat st {};
    fs::path at = key;
    while (!at.empty() && ::stat(at.c_str(), &st) != 0) {
      if (errno != ENOENT) Fail("cannot make the key", at, errno);
      missing.push_back(at);
      if (at == at.parent_path()) break;
      at = at.parent_path();
    }
    if (!at.empty() && missing.empty() && !S_ISDIR(st.st_mode))
      Fail("cannot make the key", at, ENOTDIR);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      if (::mkdir(it->c_str(), 0755) != 0) Fail("cannot make the key", *it, errno);
      made_.push_back(*it);
    }
  }

  std::vector<std::pair<fs::path, std::string>> replaced_;
  std::vector<fs::path> written_;
  std::vector<fs::path> made_;
};

std::string Version() {
  return std::to_string(kLibraryMajorVersion) + "." + std::to_string(kLibraryMinorVersion);
}

void RegisterAll(RegistryWriter& writer, const fs::path& root, const std::string& module) {
  const std::string libid = pelmark::GuidToString(kLibraryId);
  const fs::path typelib = root / "TypeLib" / libid / Version();
  writer.WriteValue(typelib, "@", kLibraryHelpString);
  writer.WriteValue(typelib / "0" / "linux64", "@", module);
  writer.WriteValue(typelib / "FLAGS", "@", "0");
  writer.WriteValue(typelib / "HELPDIR", "@", fs::path(module).parent_path().string());
  writer.WriteValue(typelib, "Name", kLibraryName);
  for (const ImportedLibrary& lib : kImportedLibraries)
    writer.WriteValue(typelib / "Imports" / pelmark::GuidToString(lib.id), "@",
                      std::string(lib.file) + " " + std::string(lib.version));

  for (const ClassInfo& c : kCatalogue) {
    const std::string prog_id = std::string(kProgIdPrefix) + std::string(c.name);
    const std::string clsid = pelmark::GuidToString(c.clsid);
    const std::string iid = pelmark::GuidToString(c.default_iid);

    writer.WriteValue(root / prog_id, "@", c.name);
    writer.WriteValue(root / prog_id / "CLSID", "@", clsid);

    const fs::path class_key = root / "CLSID" / clsid;
    writer.WriteValue(class_key, "@", prog_id);
    writer.WriteValue(class_key / "InprocServer32", "@", module);
    writer.WriteValue(class_key / "InprocServer32", "ThreadingModel", kThreadingModel);
    writer.WriteValue(class_key / "ProgID", "@", prog_id);
    writer.WriteValue(class_key / "TypeLib", "@", libid);
    writer.WriteValue(class_key / "Version", "@", Version());
    writer.WriteValue(class_key / "Implemented Categories", "@", "");

    const fs::path interface_key = root / "Interface" / iid;
    std::string interface_name = "_";
    interface_name.append(c.name);
    writer.WriteValue(interface_key, "@", interface_name);
    writer.WriteValue(interface_key / "TypeLib", "@", libid);
    writer.WriteValue(interface_key / "TypeLib", "Version", Version());
  }
}

// Removes one key with everything under it. Each entry that stays is logged with
// its path and reason; a directory that stays only because something in it
// stayed is not logged again. Returns true when nothing stays.
bool RemoveKey(const fs::path& key) {
  struct stat st {};
  if (::lstat(key.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    LogUnregistration(key, errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    if (::unlink(key.c_str()) == 0) return true;
    LogUnregistration(key, errno);
    return false;
  }
  bool emptied = true;
  std::error_code ec;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(key, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back(it->path());
  if (ec) {
    LogUnregistration(key, ec.value());
    return false;
  }
  for (const fs::path& entry : entries) emptied = RemoveKey(entry) && emptied;
  if (!emptied) return false;
  if (::rmdir(key.c_str()) == 0) return true;
  LogUnregistration(key, errno);
  return false;
}

// Removes a container key when it is an empty directory; anything else is left.
bool RemoveIfEmpty(const fs::path& key) {
  std::error_code ec;
  if (!fs::is_directory(fs::symlink_status(key, ec)) || !fs::is_empty(key, ec) || ec) return true;
  if (::rmdir(key.c_str()) == 0) return true;
  LogUnregistration(key, errno);
  return false;
}

// Removes exactly the keys RegisterAll writes, and the containers it leaves empty.
// Returns true when everything registration writes is gone.
bool UnregisterAll(const fs::path& root) {
  struct stat st {};
  if (::stat(root.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;  // nothing was ever registered there
    LogUnregistration(root, errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    LogUnregistration(root, ENOTDIR);
    return false;
  }
  bool removed = true;
  const fs::path typelib_key = root / "TypeLib" / pelmark::GuidToString(kLibraryId);
  removed = RemoveKey(typelib_key / Version()) && removed;
  removed = RemoveIfEmpty(typelib_key) && removed;  // only when no other version remains
  for (const ClassInfo& c : kCatalogue) {
    removed = RemoveKey(root / (std::string(kProgIdPrefix) + std::string(c.name))) && removed;
    removed = RemoveKey(root / "CLSID" / pelmark::GuidToString(c.clsid)) && removed;
    removed = RemoveKey(root / "Interface" / pelmark::GuidToString(c.default_iid)) && removed;
  }
  for (const char* container : {"TypeLib", "CLSID", "Interface"})
    removed = RemoveIfEmpty(root / container) && removed;
  return removed;
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
  corvane::RegistryWriter writer;
  try {
    corvane::RegisterAll(writer, corvane::Platform().RegistryRoot(), corvane::ModulePath());
    return pelmark::S_OK;
  } catch (const std::system_error&) {
    // Already logged with its path.
  } catch (const std::exception& e) {
    corvane::Platform().LogError(std::string("Registration failed: ") + e.what());
  } catch (...) {
    corvane::Platform().LogError("Registration failed");
  }
  try {
    writer.RollBack();
  } catch (...) {
    corvane::Platform().LogError("Registration could not take back what it wrote");
  }
  return pelmark::SELFREG_E_CLASS;
}

// Whatever cannot be removed stays and is named, with its reason, in the event log.
extern "C" HRESULT DllUnregisterServer() {
  try {
    return corvane::UnregisterAll(corvane::Platform().RegistryRoot()) ? pelmark::S_OK
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
