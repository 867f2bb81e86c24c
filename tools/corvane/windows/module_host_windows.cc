// The module host on Windows. Classes are resolved as a Windows host resolves
// them, through the system registry that regsvr32 wrote (a ProgID's CLSID, the
// CLSID's InprocServer32), and created with CoCreateInstance from the registered
// Corvane.dll. Every call then crosses COM: the simulator's host and DMS go to
// the step as automation objects and failures come back as an HRESULT with an
// error object. The tool's platform is installed in that same DLL before the
// first object is made, so that reports match those of the Linux tool.
#include "module_host.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "automation/automation.h"
#include "automation/com_objects.h"
#include "automation/errors.h"
#include "com_step.h"
#include "rules/utf8_path.h"
#include "rules/windows/wide_text.h"

// After the automation headers, which read the library's before windows.h.
#include "automation/type_library.h"

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

const char* const kRegisterAdvice = "; register the component with: regsvr32 Corvane.dll";

fs::path ExecutableDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return fs::path(path).parent_path();
    }
    path.resize(path.size() * 2);
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(PathOfUtf8(a), PathOfUtf8(b), ec);
}

}  // namespace

std::string DefaultModulePath() {
  // The environment's narrow copy is in the ANSI code page; the wide one is exact.
  if (const wchar_t* from_environment = _wgetenv(Wide(kModuleVariable).c_str());
      from_environment && *from_environment)
    return Utf8(from_environment);
  const fs::path directory = ExecutableDirectory();
  if (directory.empty()) return "Corvane.dll";
  return Utf8Of(directory / L"Corvane.dll");
}

void InstallPlatform(const ComponentModule& module, PlatformServices* platform) {
  module.SetPlatform(platform);
  // The rules linked into the tool (templates, value rules) see the same services.
  SetPlatform(platform);
}

std::unique_ptr<ComponentModule> OpenModule(const std::string& path) {
  try {
    return std::make_unique<ComponentModule>(path);
  } catch (const pelmark::Error& e) {
    throw HostError(e.description() + "\n(name the DLL with --module PATH or " + kModuleVariable +
                    "=PATH, or build it: cmake --build <build dir> --target CorvaneDll)");
  }
}

ModuleHost::ModuleHost(HostOptions options) : module_path_(options.module_path) {
  if (!options.registry.empty())
    throw HostError("on Windows classes are registered in the system registry, not in " +
                    options.registry +
                    ": leave out --registry and register the component "
                    "with: regsvr32 Corvane.dll");
  platform_.registry_root = "HKEY_CLASSES_ROOT";
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) throw HostError("cannot initialise COM: " + HresultText(hr));
}

ModuleHost::~ModuleHost() {
  // Every step is released by now; the DLL gets its own services back before
  // the tool's go away, and COM may unload it.
  for (auto& [path, module] : modules_) {
    InstallDecisionObserver(*module, nullptr);
    InstallPlatform(*module, nullptr);
  }
  modules_.clear();
  CoUninitialize();
}

pelmark::ComPtr<pelmark::IActivityRuntime> ModuleHost::Create(const std::string& class_name,
                                                              const pelmark::CLSID& clsid,
                                                              bool by_clsid) {
  const std::string prog_id = "Corvane." + class_name;
  CLSID windows_clsid = automation::ToWindowsGuid(clsid);
  if (!by_clsid && FAILED(CLSIDFromProgID(Wide(prog_id).c_str(), &windows_clsid)))
    throw HostError("cannot create " + prog_id + ": the ProgID is not registered" +
                    kRegisterAdvice + ", or check its spelling (corvane classes lists them)");
  const std::string clsid_text = pelmark::GuidToString(automation::FromWindowsGuid(windows_clsid));
  // The DLL CoCreateInstance will load is the one the registration names; the
  // tool's services are installed in it before it makes its first object.
  std::optional<RegisteredClass> entry =
      Registry(platform_.registry_root).Lookup(automation::FromWindowsGuid(windows_clsid));
  if (!entry)
    throw HostError("cannot create " + prog_id + ": the class " + clsid_text +
                    " has no InprocServer32 entry" + kRegisterAdvice);
  if (!module_path_.empty() && !SameFile(module_path_, entry->module_path))
    throw HostError("cannot create " + prog_id + " from " + module_path_ +
                    ": the registration names " + entry->module_path +
                    "; register the one you mean with: regsvr32 " + module_path_);
  module_path_ = entry->module_path;
  Load(entry->module_path);

  ::IActivityRuntime* step = nullptr;
  const HRESULT hr =
      CoCreateInstance(windows_clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(::IActivityRuntime),
                       reinterpret_cast<void**>(&step));
  if (hr == REGDB_E_CLASSNOTREG)
    throw HostError("cannot create " + prog_id + ": the class " + clsid_text +
                    " is not registered" + kRegisterAdvice);
  if (FAILED(hr) || !step)
    throw HostError("cannot create " + prog_id + " from " + entry->module_path +
                    ": CoCreateInstance failed with " + HresultText(hr));
  return WrapComStep(step);
}

}  // namespace corvane::cli
