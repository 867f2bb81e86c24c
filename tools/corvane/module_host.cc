// The module host on Linux: Corvane.so loaded with dlopen through the installed
// loader, classes resolved through a registry directory.
#include "module_host.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "pelmark/com.h"

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

}  // namespace

std::string DefaultModulePath() {
  if (const char* from_environment = std::getenv(kModuleVariable);
      from_environment && *from_environment)
    return from_environment;
  std::error_code ec;
  fs::path bindir = fs::read_symlink("/proc/self/exe", ec).parent_path();
  if (ec) return "Corvane.so";
  // A build tree keeps the module next to the tool; an installed (or unpacked)
  // tree keeps it in the library directory.
  fs::path next_to_tool = bindir / "Corvane.so";
  fs::path installed = (bindir / CORVANE_MODULE_FROM_BINDIR).lexically_normal();
  if (IsFile(next_to_tool) || !IsFile(installed)) return next_to_tool.string();
  return installed.string();
}

void InstallPlatform(const pelmark::ComponentModule& module, PlatformServices* platform) {
  if (!module.Symbol("CorvaneSetPlatform"))
    throw HostError(module.path() + " does not export CorvaneSetPlatform; it is no Corvane module");
  module.SetPlatform(platform);
  // The rules linked into the tool (templates, value rules) see the same services.
  SetPlatform(platform);
}

ModuleHost::ModuleHost(HostOptions options)
    : module_path_(options.module_path.empty() ? DefaultModulePath() : options.module_path) {
  if (options.registry.empty()) {
    // No registry given: register the module into a directory of this run only.
    std::error_code error;
    registry_directory_ = TemporaryDirectory(kRegistryPrefix, error);
    if (registry_directory_.path().empty())
      throw HostError("cannot make a temporary directory in " + fs::temp_directory_path().string() +
                      ": " + error.message());
    platform_.registry_root = registry_directory_.path();
    temporary_registry_ = true;
    pelmark::HRESULT hr;
    {
      const HoldInterrupt hold;
      hr = Load(module_path_).RegisterServer();
    }
    if (pelmark::Failed(hr)) {
      std::string message =
          "DllRegisterServer of " + module_path_ + " failed with " + std::to_string(hr);
      // The module names each path it could not write, and why, in the event log.
      for (const std::string& entry : platform_.event_log) message += "\n" + entry;
      throw HostError(message);
    }
  } else {
    platform_.registry_root = options.registry;
    if (!fs::is_directory(options.registry))
      throw HostError("the registry directory " + options.registry +
                      " does not exist; make it with: corvane register --registry " +
                      options.registry);
  }
}

ModuleHost::~ModuleHost() {
  if (temporary_registry_) {
    const HoldInterrupt hold;
    auto it = modules_.find(module_path_);
    if (it != modules_.end()) it->second->UnregisterServer();
    registry_directory_.Remove();
  }
  for (auto& [path, module] : modules_) {
    InstallDecisionObserver(*module, nullptr);
    InstallPlatform(*module, nullptr);
  }
}

std::unique_ptr<pelmark::ComponentModule> OpenModule(const std::string& path) {
  try {
    return std::make_unique<pelmark::ComponentModule>(path);
  } catch (const pelmark::Error& e) {
    throw HostError(e.description() + "\n(name the module with --module PATH or " +
                    kModuleVariable +
                    "=PATH, or build it: cmake --build <build dir> --target "
                    "Corvane)");
  }
}

pelmark::ComPtr<pelmark::IActivityRuntime> ModuleHost::Create(const std::string& class_name,
                                                              const pelmark::CLSID& clsid,
                                                              bool by_clsid) {
  pelmark::Registry registry(platform_.registry_root);
  const std::string prog_id = "Corvane." + class_name;
  try {
    pelmark::RegisteredClass entry =
        registry.Resolve(by_clsid ? pelmark::GuidToString(clsid) : prog_id);
    return Load(entry.module_path).Create<pelmark::IActivityRuntime>(entry.clsid);
  } catch (const pelmark::Error& e) {
    throw HostError("cannot create " + prog_id + ": " + e.description());
  }
}

}  // namespace corvane::cli
