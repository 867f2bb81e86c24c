#include "component_loader_windows.h"

#include <string>

#include "com_step.h"
#include "corvane/component.h"
#include "system_calls.h"

namespace corvane {
namespace {

namespace win32 = corvane::cli::win32;

template <class F>
F Entry(void* dll, const char* name) {
  return reinterpret_cast<F>(win32::DllSymbol(dll, name));
}

using ServerEntry = pelmark::HRESULT(__stdcall*)();

}  // namespace

std::optional<std::string> Registry::Value(std::string_view key, std::string_view name) const {
  return win32::ClassesRootValue(key, name);
}

std::optional<pelmark::CLSID> Registry::ClsidOfProgId(std::string_view prog_id) const {
  return RegisteredClsid(*this, prog_id);
}

std::optional<RegisteredClass> Registry::Lookup(const pelmark::CLSID& clsid) const {
  return RegisteredClassOf(*this, clsid);
}

ComponentModule::ComponentModule(const std::string& path) : path_(path) {
  if (!win32::FileExists(path))
    throw pelmark::Error(kErrorFileNotFound, "ComponentModule",
                         "the module " + path + " does not exist; give the path of Corvane.dll");
  std::string why;
  handle_ = win32::LoadDll(path, why);
  if (!handle_)
    throw pelmark::Error(kErrorLoadingModule, "ComponentModule",
                         "cannot load " + path + ": " + why);
  const bool is_server = Symbol("DllGetClassObject") && Symbol("DllCanUnloadNow") &&
                         Symbol("DllRegisterServer") && Symbol("DllUnregisterServer");
  auto get_contract = Entry<const CorvaneContract* (*)()>(handle_, "CorvaneGetContract");
  if (!is_server) {
    Unload();
    throw pelmark::Error(
        kErrorLoadingModule, "ComponentModule",
        path + " is not a component module: the four server entry points are missing");
  }
  if (!get_contract || !Symbol("CorvaneSetPlatform")) {
    Unload();
    throw pelmark::Error(
        kErrorLoadingModule, "ComponentModule",
        "refusing to use " + path +
            ": it exports no CorvaneGetContract or CorvaneSetPlatform, so it predates "
            "contract version " +
            std::to_string(PELMARK_CONTRACT_VERSION) +
            " of this tool; use a Corvane.dll of the same release");
  }
  contract_ = get_contract();
  std::string mismatch = ContractMismatch(path, ModuleContract(), HostContract());
  if (!mismatch.empty()) {
    Unload();
    throw pelmark::Error(kErrorLoadingModule, "ComponentModule", mismatch);
  }
}

ComponentModule::~ComponentModule() { Unload(); }

std::string ComponentModule::ProductVersion() const { return contract_->product_version; }

ContractSide ComponentModule::ModuleContract() const {
  return {contract_->contract_version, contract_->abi};
}

corvane::PlatformServices* ComponentModule::SystemPlatform() const {
  return contract_->system_platform;
}

void ComponentModule::Unload() {
  if (handle_) win32::FreeDll(handle_);
  handle_ = nullptr;
}

void* ComponentModule::Symbol(const char* name) const { return win32::DllSymbol(handle_, name); }

pelmark::ComPtr<pelmark::IActivityRuntime> ComponentModule::CreateStep(
    const pelmark::CLSID& clsid) const {
  return cli::CreateComStep(Symbol("DllGetClassObject"), clsid, path_);
}

pelmark::HRESULT ComponentModule::CanUnloadNow() const {
  return Entry<ServerEntry>(handle_, "DllCanUnloadNow")();
}

pelmark::HRESULT ComponentModule::RegisterServer() const {
  return Entry<ServerEntry>(handle_, "DllRegisterServer")();
}

pelmark::HRESULT ComponentModule::UnregisterServer() const {
  return Entry<ServerEntry>(handle_, "DllUnregisterServer")();
}

corvane::PlatformServices* ComponentModule::SetPlatform(corvane::PlatformServices* services) const {
  auto set = Entry<corvane::PlatformServices* (*)(corvane::PlatformServices*)>(
      handle_, "CorvaneSetPlatform");
  return set(services);
}

}  // namespace corvane
