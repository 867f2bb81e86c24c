// The host side of the component model: loads a component module with dlopen,
// resolves a class by ProgID or CLSID through the registry directory, and creates
// objects through DllGetClassObject and the class factory, as a host written to
// COM conventions does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pelmark/com.h"

namespace pelmark {

// One registered class as the registry directory lists it.
struct RegisteredClass {
  std::string prog_id;
  CLSID clsid;
  std::string module_path;
  std::string threading_model;
};

// Reads the registry directory that component registration writes.
class Registry {
 public:
  explicit Registry(std::string root) : root_(std::move(root)) {}
  const std::string& root() const { return root_; }

  // The CLSID a ProgID names, if registered.
  std::optional<CLSID> ClsidOfProgId(std::string_view prog_id) const;
  // The registration of a CLSID, if registered.
  std::optional<RegisteredClass> Lookup(const CLSID& clsid) const;
  // Every registered class, ordered by ProgID.
  std::vector<RegisteredClass> Classes() const;
  // A value of a key ("@" for its default value); nullopt when absent.
  std::optional<std::string> Value(std::string_view key_path, std::string_view name = "@") const;

 private:
  std::string root_;
};

// A loaded component module. Unloads it (dlclose) on destruction, which the
// owner must not do while objects from it are alive.
class ComponentModule {
 public:
  // Loads the module; throws pelmark::Error (number 53, "File not found") with the
  // loader's message when it cannot be loaded or lacks the entry points.
  explicit ComponentModule(const std::string& path);
  ~ComponentModule();
  ComponentModule(const ComponentModule&) = delete;
  ComponentModule& operator=(const ComponentModule&) = delete;

  const std::string& path() const { return path_; }

  HRESULT GetClassObject(const CLSID& clsid, const IID& iid, void** out) const;
  HRESULT CanUnloadNow() const;
  HRESULT RegisterServer() const;
  HRESULT UnregisterServer() const;
  // A resource's bytes (empty when the module has none of that name).
  std::vector<uint8_t> Resource(const char* type, const char* name, uint32_t id = 1) const;
  // An exported symbol, or null.
  void* Symbol(const char* name) const;

  // Creates an object of a class through its class factory and asks it for
  // interface T; throws pelmark::Error with the failing HRESULT's number.
  template <class T>
  ComPtr<T> Create(const CLSID& clsid) const {
    void* out = nullptr;
    HRESULT hr = GetClassObject(clsid, IClassFactory::iid, &out);
    if (Failed(hr)) throw Error(hr, "ComponentModule", "DllGetClassObject failed");
    ComPtr<IClassFactory> factory = ComPtr<IClassFactory>::Attach(static_cast<IClassFactory*>(out));
    out = nullptr;
    hr = factory->CreateInstance(nullptr, T::iid, &out);
    if (Failed(hr)) throw Error(hr, "ComponentModule", "CreateInstance failed");
    return ComPtr<T>::Attach(static_cast<T*>(out));
  }

 private:
  std::string path_;
  void* handle_ = nullptr;
  HRESULT (*get_class_object_)(const CLSID&, const IID&, void**) = nullptr;
  HRESULT (*can_unload_now_)() = nullptr;
  HRESULT (*register_server_)() = nullptr;
  HRESULT (*unregister_server_)() = nullptr;
  HRESULT (*find_resource_)
  (const char*, const char*, uint32_t, const uint8_t**, uint32_t*) = nullptr;
};

}  // namespace pelmark
