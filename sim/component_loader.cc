#include "component_loader.h"

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace pelmark {

namespace fs = std::filesystem;

std::optional<std::string> Registry::Value(std::string_view key_path, std::string_view name) const {
  std::ifstream in(fs::path(root_) / fs::path(std::string(key_path)) / std::string(name),
                   std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::optional<CLSID> Registry::ClsidOfProgId(std::string_view prog_id) const {
  std::optional<std::string> text = Value(std::string(prog_id) + "/CLSID");
  CLSID clsid;
  if (!text || !TryParseGuid(*text, &clsid)) return std::nullopt;
  return clsid;
}

std::optional<RegisteredClass> Registry::Lookup(const CLSID& clsid) const {
  const std::string key = "CLSID/" + GuidToString(clsid);
  std::optional<std::string> module = Value(key + "/InprocServer32");
  if (!module) return std::nullopt;
  RegisteredClass c;
  c.clsid = clsid;
  c.module_path = *module;
  c.prog_id = Value(key + "/ProgID").value_or("");
  c.threading_model = Value(key + "/InprocServer32", "ThreadingModel").value_or("");
  return c;
}

std::vector<RegisteredClass> Registry::Classes() const {
  std::vector<RegisteredClass> out;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(fs::path(root_) / "CLSID", ec)) {
    CLSID clsid;
    if (!TryParseGuid(e.path().filename().string(), &clsid)) continue;
    if (std::optional<RegisteredClass> c = Lookup(clsid)) out.push_back(*c);
  }
  std::sort(out.begin(), out.end(), [](const RegisteredClass& a, const RegisteredClass& b) {
    return a.prog_id < b.prog_id;
  });
  return out;
}

namespace {
template <class F>
F Resolve(void* handle, const char* name) {
  return reinterpret_cast<F>(dlsym(handle, name));
}
}  // namespace

ComponentModule::ComponentModule(const std::string& path) : path_(path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = dlerror();
    throw Error(53, "ComponentModule", "Cannot load " + path + ": " + (why ? why : "unknown"));
  }
  get_class_object_ = Resolve<decltype(get_class_object_)>(handle_, "DllGetClassObject");
  can_unload_now_ = Resolve<decltype(can_unload_now_)>(handle_, "DllCanUnloadNow");
  register_server_ = Resolve<decltype(register_server_)>(handle_, "DllRegisterServer");
  unregister_server_ = Resolve<decltype(unregister_server_)>(handle_, "DllUnregisterServer");
  find_resource_ = Resolve<decltype(find_resource_)>(handle_, "CorvaneFindResource");
  if (!get_class_object_ || !can_unload_now_ || !register_server_ || !unregister_server_) {
    dlclose(handle_);
    handle_ = nullptr;
    throw Error(53, "ComponentModule",
                path + " is not a component module: the four server entry points are missing");
  }
}

ComponentModule::~ComponentModule() {
  if (handle_) dlclose(handle_);
}

HRESULT ComponentModule::GetClassObject(const CLSID& clsid, const IID& iid, void** out) const {
  return get_class_object_(clsid, iid, out);
}
HRESULT ComponentModule::CanUnloadNow() const { return can_unload_now_(); }
HRESULT ComponentModule::RegisterServer() const { return register_server_(); }
HRESULT ComponentModule::UnregisterServer() const { return unregister_server_(); }

std::vector<uint8_t> ComponentModule::Resource(const char* type, const char* name,
                                               uint32_t id) const {
  if (!find_resource_) return {};
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  if (Failed(find_resource_(type, name, id, &data, &size)) || !data) return {};
  return std::vector<uint8_t>(data, data + size);
}

void* ComponentModule::Symbol(const char* name) const { return dlsym(handle_, name); }

}  // namespace pelmark
