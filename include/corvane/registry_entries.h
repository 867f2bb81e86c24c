// What registration records for each class and how a host reads it back, over
// any store of values: the registry directories corvane/loader.h reads on
// Linux and the system registry the Windows tool reads. RegistryValues lists
// every value both bindings write; the readers below find the same keys.
//
// Header-only, like the loader it serves.
//
// Threading: plain functions of their arguments; safe from any thread when the
// store's reads are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/catalogue.h"
#include "pelmark/com.h"

namespace corvane {

// Error numbers a loader raises, as the classic runtime numbers them.
inline constexpr int32_t kErrorFileNotFound = 53;         // no module at the path
inline constexpr int32_t kErrorLoadingModule = 48;        // not loadable or incompatible
inline constexpr int32_t kErrorCannotCreateObject = 429;  // not registered or not served

// The most bytes a registry value may hold: a module path, a GUID or a name.
// A larger value is refused rather than read.
inline constexpr size_t kMaxRegistryValueBytes = 64 * 1024;

// One registered class as the registry lists it.
struct RegisteredClass {
  std::string prog_id;
  pelmark::CLSID clsid;
  std::string module_path;
  std::string threading_model;
};

// The keys a host reads, named with "/" between their parts.
inline std::string ProgIdClsidKey(std::string_view prog_id) {
  return std::string(prog_id) + "/CLSID";
}
inline std::string ClassKey(const pelmark::CLSID& clsid) {
  return "CLSID/" + pelmark::GuidToString(clsid);
}
inline std::string ServerKey(const pelmark::CLSID& clsid) {
  return ClassKey(clsid) + "/InprocServer32";
}
inline std::string ClassProgIdKey(const pelmark::CLSID& clsid) {
  return ClassKey(clsid) + "/ProgID";
}
inline constexpr std::string_view kThreadingModelName = "ThreadingModel";

// The CLSID a ProgID names, if registered. `store.Value(key)` answers a key's
// default value and `store.Value(key, name)` a named one, each if present;
// keys are named with "/" between their parts.
template <class Store>
std::optional<pelmark::CLSID> RegisteredClsid(const Store& store, std::string_view prog_id) {
  std::optional<std::string> text = store.Value(ProgIdClsidKey(prog_id));
  pelmark::CLSID clsid;
  if (!text || !pelmark::TryParseGuid(*text, &clsid)) return std::nullopt;
  return clsid;
}

// The registration of a CLSID, if it names an in-process server.
template <class Store>
std::optional<RegisteredClass> RegisteredClassOf(const Store& store, const pelmark::CLSID& clsid) {
  std::optional<std::string> module = store.Value(ServerKey(clsid));
  if (!module) return std::nullopt;
  RegisteredClass c;
  c.clsid = clsid;
  c.module_path = *module;
  c.prog_id = store.Value(ClassProgIdKey(clsid)).value_or("");
  c.threading_model = store.Value(ServerKey(clsid), kThreadingModelName).value_or("");
  return c;
}

// One value registration writes.
struct RegistryValue {
  std::string key;   // parts joined by "/"
  std::string name;  // empty for the key's default value
  std::string value;
  // A TypeLib or Interface value: on Windows the system's type-library
  // registration writes these itself, so only the Linux binding writes them.
  bool type_library = false;
};

// Every value registration writes for the type library and each class of the
// catalogue, in the order it writes them, for a module at `module_path`.
inline std::vector<RegistryValue> RegistryValues(std::string_view module_path) {
  const std::string module(module_path);
  const std::string version =
      std::to_string(kLibraryMajorVersion) + "." + std::to_string(kLibraryMinorVersion);
  const std::string libid = pelmark::GuidToString(kLibraryId);
  const std::string typelib = "TypeLib/" + libid + "/" + version;
  const size_t slash = module.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : module.substr(0, slash);

  std::vector<RegistryValue> out = {
      {typelib, "", std::string(kLibraryHelpString), true},
      {typelib + "/0/linux64", "", module, true},
      {typelib + "/FLAGS", "", "0", true},
      {typelib + "/HELPDIR", "", slash == 0 ? "/" : folder, true},
      {typelib, "Name", std::string(kLibraryName), true},
  };
  for (const ImportedLibrary& lib : kImportedLibraries)
    out.push_back({typelib + "/Imports/" + pelmark::GuidToString(lib.id), "",
                   std::string(lib.file) + " " + std::string(lib.version), true});

  for (const ClassInfo& c : kCatalogue) {
    const std::string prog_id = std::string(kProgIdPrefix) + std::string(c.name);
    const std::string interface_key = "Interface/" + pelmark::GuidToString(c.default_iid);
    const std::string class_key = ClassKey(c.clsid);
    out.push_back({prog_id, "", std::string(c.name)});
    out.push_back({ProgIdClsidKey(prog_id), "", pelmark::GuidToString(c.clsid)});
    out.push_back({class_key, "", prog_id});
    out.push_back({ServerKey(c.clsid), "", module});
    out.push_back(
        {ServerKey(c.clsid), std::string(kThreadingModelName), std::string(kThreadingModel)});
    out.push_back({ClassProgIdKey(c.clsid), "", prog_id});
    out.push_back({class_key + "/TypeLib", "", libid});
    out.push_back({class_key + "/Version", "", version});
    out.push_back({class_key + "/Implemented Categories", "", ""});
    out.push_back({interface_key, "", "_" + std::string(c.name), true});
    out.push_back({interface_key + "/TypeLib", "", libid, true});
    out.push_back({interface_key + "/TypeLib", "Version", version, true});
  }
  return out;
}

}  // namespace corvane
