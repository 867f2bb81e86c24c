// The host side of the command-line tool: loads the component (Corvane.so through
// the installed loader, corvane/loader.h; on Windows the registered Corvane.dll
// through COM), installs the tool's platform services in it (a fixed clock, a
// kept event log, a chosen locale, a registry directory, a file-system sandbox)
// and a decision observer that keeps what the classes decided, and creates activity objects by
// resolving the class through the registry as a real host does. posix/module_host_posix.cc is the
// Linux host, windows/module_host_windows.cc the Windows one; the rest of the tool is the same on
// both.
//
// Typical usage:
//   ModuleHost host({.module_path = "", .registry = ""});  // a temporary registry
//   pelmark::ComPtr<pelmark::IActivityRuntime> step = host.Create(scenario);
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "corvane/decisions.h"
#include "corvane/platform.h"
#include "pelmark/host.h"
// The registry reader and module loader: the installed one on Linux, the one
// over the system registry and LoadLibrary on Windows, with the same names.
#ifdef _WIN32
#include "component_loader_windows.h"
#else
#include "corvane/loader.h"
#endif
#include "temporary_directories.h"

namespace corvane::cli {

// Something outside the scenario stops the tool: the module cannot be loaded,
// the class is not registered, a registry directory cannot be made.
class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The platform the loaded module sees while the tool runs.
class CliPlatform : public PlatformServices {
 public:
  CliPlatform();

  double Now() override { return now; }
  const LocaleInfo& Locale() override { return *locale; }
  void LogError(std::string_view description) override { event_log.emplace_back(description); }
  // Paths are taken inside the sandbox: "/exports/2025" is <sandbox>/exports/2025.
  bool PathExists(std::string_view path) override;
  void CreateDirectory(std::string_view path) override;
  std::string RegistryRoot() override { return registry_root; }
  std::string ExportRoot() override { return export_root; }
  std::string HostPath(std::string_view path) override { return InSandbox(path).string(); }
  // Made through the system's walk down from the sandbox, which follows no link.
  void CreateDirectoryBelow(std::string_view root, std::string_view below,
                            std::string_view path) override;
  void ItemSkipped(std::string_view entity_name, std::string_view id_text,
                   const pelmark::Error& error) override;

  // The directories inside the sandbox, as the library names them ("/exports").
  std::vector<std::string> SandboxDirectories() const;
  // The other entries (plain files, links...) inside the sandbox, named alike.
  std::vector<std::string> SandboxFiles() const;
  std::filesystem::path InSandbox(std::string_view path) const;

  double now = 0;
  const LocaleInfo* locale = nullptr;
  std::vector<std::string> event_log;
  // An item a walk went past because its id could not be read.
  struct SkippedItem {
    size_t journal_position;  // the simulator's journal size when it was skipped
    std::string item;         // "Document 2147483648"; empty when it had no id
    pelmark::Error error;
  };
  std::vector<SkippedItem> skipped_items;
  // The simulator's journal size now, for placing a skipped item among its calls.
  std::function<size_t()> journal_position;
  std::string registry_root;
  std::filesystem::path sandbox;
  std::string export_root;  // the sandbox while a scenario runs
};

// What the loaded module's classes decided, in call order, and what a step was
// reading when a call failed.
class DecisionLog final : public DecisionObserver {
 public:
  void Decided(const Decision& decision) override { decisions.push_back(decision); }
  void Raised(const RaisedContext& context) override { raised.push_back(context); }

  std::vector<Decision> decisions;
  std::vector<RaisedContext> raised;
};

// The locales the tool offers by name (en-US, de-DE); null for any other.
const LocaleInfo* FindLocale(std::string_view name);
// The local date and time now, as days since 30 December 1899.
double SystemNow();

// The environment variable naming the module; --module wins over it.
inline constexpr const char* kModuleVariable = "CORVANE_MODULE";

struct HostOptions {
  std::string module_path;  // empty: DefaultModulePath()
  std::string registry;     // empty: a temporary registry, registered on the fly
};

class ModuleHost {
 public:
  explicit ModuleHost(HostOptions options);
  ~ModuleHost();
  ModuleHost(const ModuleHost&) = delete;
  ModuleHost& operator=(const ModuleHost&) = delete;

  CliPlatform& platform() { return platform_; }
  // What the classes decided since the last clear(), in call order.
  std::vector<Decision>& decisions() { return decision_log_.decisions; }
  // What failing calls were reading as they raised, since the last clear().
  std::vector<RaisedContext>& raised() { return decision_log_.raised; }
  const std::string& registry_root() const { return platform_.registry_root; }
  bool temporary_registry() const { return temporary_registry_; }
  // The module a class resolves to (loaded on first use).
  const std::string& module_path() const { return module_path_; }

  // Resolves the class through the registry (by ProgID, or by CLSID when
  // `by_clsid`), loads the module its registration names and creates the object.
  // Throws HostError when the class is not registered or cannot be created.
  pelmark::ComPtr<pelmark::IActivityRuntime> Create(const std::string& class_name,
                                                    const pelmark::CLSID& clsid, bool by_clsid);

 private:
  ComponentModule& Load(const std::string& path);

  CliPlatform platform_;
  DecisionLog decision_log_;
  std::string module_path_;
  bool temporary_registry_ = false;
  TemporaryDirectory registry_directory_;  // the temporary registry, when there is one
  std::map<std::string, std::unique_ptr<ComponentModule>> modules_;
};

// $CORVANE_MODULE when set; else Corvane.so next to the running executable (a
// build tree) or, failing that, the installed module relative to it.
std::string DefaultModulePath();
// Loads the module at `path` (checking its contract) or throws HostError with
// what to do about it.
std::unique_ptr<ComponentModule> OpenModule(const std::string& path);
// Installs `platform` in a loaded module and in the rules the tool links, so the
// process has one set of services; throws HostError when the module lacks the
// CorvaneSetPlatform entry point.
void InstallPlatform(const ComponentModule& module, PlatformServices* platform);
// Installs `observer` in a loaded module (nullptr: none); throws HostError when
// the module lacks the CorvaneSetDecisionObserver entry point.
void InstallDecisionObserver(const ComponentModule& module, DecisionObserver* observer);

}  // namespace corvane::cli
