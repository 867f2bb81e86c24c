// What registration records for each class and how a host reads it back, over
// any store of values: the registry directories corvane/loader.h reads on
// Linux and the system registry the Windows tool reads.
//
// Header-only, like the loader it serves.
//
// Threading: plain functions of their arguments; safe from any thread when the
// store's reads are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pelmark/com.h"

namespace corvane {

// Error numbers a loader raises, as the classic runtime numbers them.
inline constexpr int32_t kErrorFileNotFound = 53;         // no module at the path
inline constexpr int32_t kErrorLoadingModule = 48;        // not loadable or incompatible
inline constexpr int32_t kErrorCannotCreateObject = 429;  // not registered or not served

// One registered class as the registry lists it.
struct RegisteredClass {
  std::string prog_id;
  pelmark::CLSID clsid;
  std::string module_path;
  std::string threading_model;
};

// The CLSID a ProgID names, if registered. `store.Value(key)` answers a key's
// default value and `store.Value(key, name)` a named one, each if present;
// keys are named with "/" between their parts.
template <class Store>
std::optional<pelmark::CLSID> RegisteredClsid(const Store& store, std::string_view prog_id) {
  std::optional<std::string> text = store.Value(std::string(prog_id) + "/CLSID");
  pelmark::CLSID clsid;
  if (!text || !pelmark::TryParseGuid(*text, &clsid)) return std::nullopt;
  return clsid;
}

// The registration of a CLSID, if it names an in-process server.
template <class Store>
std::optional<RegisteredClass> RegisteredClassOf(const Store& store, const pelmark::CLSID& clsid) {
  const std::string key = "CLSID/" + pelmark::GuidToString(clsid);
  std::optional<std::string> module = store.Value(key + "/InprocServer32");
  if (!module) return std::nullopt;
  RegisteredClass c;
  c.clsid = clsid;
  c.module_path = *module;
  c.prog_id = store.Value(key + "/ProgID").value_or("");
  c.threading_model = store.Value(key + "/InprocServer32", "ThreadingModel").value_or("");
  return c;
}

}  // namespace corvane
