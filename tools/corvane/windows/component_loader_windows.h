// The registry reader and module loader of the tool on Windows: the same names as
// corvane/loader.h offers on Linux, reading the system registry (as written by
// regsvr32) and loading Corvane.dll with LoadLibrary, so that the tool's
// commands are one source on both systems. The module host creates a scenario's
// objects with CoCreateInstance, as a Windows host does; Create here makes them
// through the DLL's own class factory, for what needs no registration (the
// class reference).
//
// Threading: a Registry may be shared between threads (it only reads). A
// ComponentModule is created and destroyed on one thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "corvane/contract_check.h"
#include "corvane/platform.h"
#include "corvane/registry_entries.h"
#include "pelmark/com.h"
#include "pelmark/host.h"

// Defined by corvane/component.h, which is not read here: it declares the COM
// entry points as the contract types them, and windows.h declares them again.
struct CorvaneContract;

namespace corvane {

// Reads HKEY_CLASSES_ROOT. Keys are named with "/" between their parts
// ("CLSID/{...}/InprocServer32"), as in the registry directories of Linux. The
// root is only reported: Windows has one registry.
class Registry {
 public:
  explicit Registry(std::string root) : root_(std::move(root)) {}
  const std::string& root() const { return root_; }

  // The CLSID a ProgID names, if registered.
  std::optional<pelmark::CLSID> ClsidOfProgId(std::string_view prog_id) const;
  // The registration of a CLSID, if it names an in-process server.
  std::optional<RegisteredClass> Lookup(const pelmark::CLSID& clsid) const;
  // A value of a key (its default value when `name` is empty), if present.
  std::optional<std::string> Value(std::string_view key, std::string_view name = {}) const;

 private:
  std::string root_;
};

// A Corvane.dll loaded with LoadLibrary, its contract checked against the
// tool's. Unloads it (FreeLibrary) on destruction; the DLL stays loaded while
// COM still holds it.
class ComponentModule {
 public:
  // Throws pelmark::Error 53 when there is no file at `path`, 48 when it cannot
  // be loaded, is no Corvane.dll, or was built to another contract.
  explicit ComponentModule(const std::string& path);
  ~ComponentModule();
  ComponentModule(const ComponentModule&) = delete;
  ComponentModule& operator=(const ComponentModule&) = delete;

  const std::string& path() const { return path_; }
  // The DLL's product version ("2.0.0") and its build contract.
  std::string ProductVersion() const;
  ContractSide ModuleContract() const;

  pelmark::HRESULT CanUnloadNow() const;
  // DllRegisterServer and DllUnregisterServer: they write the system registry.
  pelmark::HRESULT RegisterServer() const;
  pelmark::HRESULT UnregisterServer() const;

  // Installs the services the DLL uses (nullptr: its own); returns the previous.
  corvane::PlatformServices* SetPlatform(corvane::PlatformServices* services) const;
  // The DLL's own services (the real clock, en-US, the Application log).
  corvane::PlatformServices* SystemPlatform() const;

  // An exported symbol, or null.
  void* Symbol(const char* name) const;

  // Creates an object of a class through the DLL's class factory and asks it for
  // interface T (IActivityRuntime, or IActivityDesign). The object must be
  // released before the module. Throws pelmark::Error 429 naming the class and
  // the module.
  template <class T>
  pelmark::ComPtr<T> Create(const pelmark::CLSID& clsid) const {
    pelmark::ComPtr<T> typed = CreateStep(clsid).template try_query<T>();
    if (!typed)
      throw pelmark::Error(kErrorCannotCreateObject, "ComponentModule",
                           "the object of " + pelmark::GuidToString(clsid) + " made by " + path_ +
                               " has no interface " + pelmark::GuidToString(T::iid));
    return typed;
  }

 private:
  void Unload();
  pelmark::ComPtr<pelmark::IActivityRuntime> CreateStep(const pelmark::CLSID& clsid) const;

  std::string path_;
  void* handle_ = nullptr;
  const CorvaneContract* contract_ = nullptr;
};

}  // namespace corvane
