#include "commands.h"

#include <filesystem>
#include <iostream>
#include <map>

#include "class_descriptions.h"
#include "component_loader.h"
#include "corvane/catalogue.h"
#include "module_host.h"
#include "options.h"
#include "runner.h"
#include "scenario.h"
#include "text_report.h"

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kModuleHelp =
    "  --module PATH     the component module (default: Corvane.so next to corvane)\n";
constexpr const char* kRegistryHelp =
    "  --registry DIR    the registry directory to use (default: a temporary one,\n"
    "                    into which the module is registered for this run only)\n";

// Handles the parts every command shares: --help and usage errors.
template <class F>
int WithOptions(const Args& args, const std::set<std::string>& flags,
                const std::set<std::string>& with_value, const std::string& help, F body) {
  ParsedOptions options;
  try {
    std::set<std::string> all_flags = flags;
    all_flags.insert("--help");
    options = ParseOptions(args, all_flags, with_value);
  } catch (const UsageError& e) {
    std::cerr << "corvane: " << e.what() << "\n\n" << help;
    return kExitCannotRun;
  }
  if (options.Flag("--help")) {
    std::cout << help;
    return kExitOk;
  }
  try {
    return body(options);
  } catch (const UsageError& e) {
    std::cerr << "corvane: " << e.what() << "\n\n" << help;
    return kExitCannotRun;
  } catch (const HostError& e) {
    std::cerr << "corvane: " << e.what() << "\n";
    return kExitCannotRun;
  }
}

HostOptions HostOptionsOf(const ParsedOptions& o) {
  return {.module_path = o.Value("--module"), .registry = o.Value("--registry")};
}

std::string ScenarioMessage(const std::string& file, const ScenarioError& e) {
  return file + ": " + (e.place().empty() ? "" : "at " + e.place() + ": ") + e.what();
}

const char* kRunHelp =
    R"(Usage: corvane run [--json] [--verbose] [--module PATH] [--registry DIR] SCENARIO...

Runs each scenario file: builds the simulated host and DMS it describes, creates
its class through the component's entry points, makes its calls in order and
prints what each call returned or raised, the task variables written, the DMS
calls, what was saved, stored, sent and logged, and whether its expectations
hold. The file format is described in docs/scenarios.md.

Options:
  --json            print the report as JSON (every fact, one document)
  --verbose         list every call the step made, host calls included
)";

}  // namespace

int RunCommand(const Args& args) {
  const std::string help = std::string(kRunHelp) + kModuleHelp + kRegistryHelp +
                           "\nExit status: 0 when every expectation holds, 1 when one does not, "
                           "2 when a scenario\ncannot be read or run.\n";
  return WithOptions(
      args, {"--json", "--verbose"}, {"--module", "--registry"}, help, [&](const ParsedOptions& o) {
        if (o.positional.empty()) throw UsageError("name at least one scenario file");
        // Read every scenario first, so that a malformed one stops nothing half run.
        int status = kExitOk;
        Json reports = Json::array();
        std::vector<std::pair<std::string, std::optional<Scenario>>> scenarios;
        for (const std::string& file : o.positional) {
          try {
            scenarios.emplace_back(file, LoadScenario(file));
          } catch (const ScenarioError& e) {
            std::cerr << "corvane: " << ScenarioMessage(file, e) << "\n";
            reports.push_back({{"scenario", file},
                               {"error", {{"place", e.place()}, {"message", e.what()}}},
                               {"passed", false}});
            scenarios.emplace_back(file, std::nullopt);
            status = kExitCannotRun;
          }
        }
        ModuleHost host(HostOptionsOf(o));
        for (auto& [file, scenario] : scenarios) {
          if (!scenario) continue;
          Json report;
          try {
            report = RunScenario(*scenario, host);
          } catch (const ScenarioError& e) {
            std::cerr << "corvane: " << ScenarioMessage(file, e) << "\n";
            reports.push_back({{"scenario", file},
                               {"error", {{"place", e.place()}, {"message", e.what()}}},
                               {"passed", false}});
            status = kExitCannotRun;
            continue;
          }
          if (!report["passed"].get<bool>() && status == kExitOk) status = kExitFailed;
          if (!o.Flag("--json")) std::cout << TextReport(report, {.verbose = o.Flag("--verbose")});
          reports.push_back(std::move(report));
        }
        if (o.Flag("--json")) {
          Json out = {{"scenarios", reports}, {"status", status}};
          std::cout << out.dump(2) << "\n";
        }
        return status;
      });
}

int ClassesCommand(const Args& args) {
  const std::string help =
      std::string(
          "Usage: corvane classes [--json] [--module PATH] [--registry DIR]\n\n"
          "Lists the component's classes in type-library order, each with its ProgID,\n"
          "CLSID and default-interface IID as the registration records them. Without\n"
          "--registry nothing is written: the list is what registration would record.\n\n"
          "Options:\n  --json            print the list as JSON\n") +
      kModuleHelp + kRegistryHelp;
  return WithOptions(
      args, {"--json"}, {"--module", "--registry"}, help, [&](const ParsedOptions& o) {
        if (!o.positional.empty()) throw UsageError("classes takes no arguments");
        // Without --registry nothing is written: the list is what registration records.
        const bool from_catalogue = o.Value("--registry").empty();
        std::optional<ModuleHost> host;
        if (!from_catalogue) host.emplace(HostOptionsOf(o));
        const std::string root = from_catalogue ? std::string() : host->registry_root();
        pelmark::Registry registry(root);
        // Interface keys name the interface ("_MarkAsVital") in their default value.
        std::map<std::string, std::string> iid_of;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(fs::path(root) / "Interface", ec)) {
          std::string iid = e.path().filename().string();
          if (std::optional<std::string> name = registry.Value("Interface/" + iid))
            iid_of[*name] = iid;
        }
        Json list = Json::array();
        for (const ClassInfo& c : kCatalogue) {
          const std::string prog_id = std::string(kProgIdPrefix) + std::string(c.name);
          std::optional<pelmark::CLSID> clsid = registry.ClsidOfProgId(prog_id);
          std::optional<pelmark::RegisteredClass> entry;
          if (clsid) entry = registry.Lookup(*clsid);
          if (from_catalogue) {
            const std::string module = o.Value("--module");
            entry = {prog_id, c.clsid, module.empty() ? DefaultModulePath() : module,
                     std::string(kThreadingModel)};
            iid_of["_" + std::string(c.name)] = pelmark::GuidToString(c.default_iid);
          }
          Json j = {{"name", c.name}, {"progid", prog_id}, {"registered", entry.has_value()}};
          if (entry) {
            j["clsid"] = pelmark::GuidToString(entry->clsid);
            auto iid = iid_of.find("_" + std::string(c.name));
            j["iid"] = iid == iid_of.end() ? Json(nullptr) : Json(iid->second);
            j["module"] = entry->module_path;
            j["threading"] = entry->threading_model;
          }
          list.push_back(std::move(j));
        }
        if (o.Flag("--json")) {
          std::cout << Json{{"registry", from_catalogue ? "none" : root}, {"classes", list}}.dump(2)
                    << "\n";
        } else {
          std::printf("%-33s %-38s %s\n", "ProgID", "CLSID", "Default interface IID");
          for (const Json& j : list) {
            if (!j["registered"].get<bool>()) {
              std::printf("%-33s (not registered)\n", j["progid"].get<std::string>().c_str());
              continue;
            }
            std::printf(
                "%-33s %-38s %s\n", j["progid"].get<std::string>().c_str(),
                j["clsid"].get<std::string>().c_str(),
                j["iid"].is_null() ? "(no interface key)" : j["iid"].get<std::string>().c_str());
          }
        }
        for (const Json& j : list)
          if (!j["registered"].get<bool>()) return kExitFailed;
        return kExitOk;
      });
}

int RegisterCommand(const Args& args, bool unregister) {
  const std::string name = unregister ? "unregister" : "register";
  const std::string help =
      "Usage: corvane " + name + " [--module PATH] [--registry DIR]\n\n" +
      (unregister ? "Calls DllUnregisterServer: removes exactly the keys registration wrote.\n"
                  : "Calls DllRegisterServer: writes the type library, each class's CLSID, "
                    "ProgID,\ninterface, module path and threading model.\n") +
      "\nOptions:\n" + kModuleHelp +
      "  --registry DIR    the registry directory (default: the component's own, the\n"
      "                    system registry directory /var/lib/pelmark/registry)\n";
  return WithOptions(args, {}, {"--module", "--registry"}, help, [&](const ParsedOptions& o) {
    if (!o.positional.empty()) throw UsageError(name + " takes no arguments");
    std::string path = o.Value("--module").empty() ? DefaultModulePath() : o.Value("--module");
    std::unique_ptr<pelmark::ComponentModule> module;
    try {
      module = std::make_unique<pelmark::ComponentModule>(path);
    } catch (const pelmark::Error& e) {
      throw HostError(e.description());
    }
    CliPlatform platform;
    const std::string registry = o.Value("--registry");
    // Without --registry the module writes where it writes on its own.
    if (!registry.empty()) {
      platform.registry_root = registry;
      InstallPlatform(*module, &platform);
    }
    pelmark::HRESULT hr = unregister ? module->UnregisterServer() : module->RegisterServer();
    if (!registry.empty()) InstallPlatform(*module, nullptr);
    if (pelmark::Failed(hr)) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08X", static_cast<uint32_t>(hr));
      std::cerr << "corvane: Dll" << (unregister ? "Unregister" : "Register") << "Server of "
                << path << " failed with " << hex
                << (registry.empty() ? " (is the system registry directory writable? choose "
                                       "one with --registry DIR)"
                                     : "")
                << "\n";
      return kExitCannotRun;
    }
    std::cout << (unregister ? "Unregistered " : "Registered ") << path
              << (registry.empty() ? "" : (unregister ? " from " : " in ") + registry) << "\n";
    return kExitOk;
  });
}

int DescribeCommand(const Args& args) {
  const std::string help =
      "Usage: corvane describe [--json] CLASS\n\n"
      "Prints, for one class (a name such as MarkAsVital, or a ProgID), the step and\n"
      "task parameters it reads, the task variables it reads and writes, what its\n"
      "methods return and the services it asks the host for.\n"
      "  corvane describe --all --json   prints every class.\n\n"
      "Options:\n  --json            print the description as JSON\n"
      "  --all             every class\n";
  return WithOptions(args, {"--json", "--all"}, {}, help, [&](const ParsedOptions& o) {
    std::vector<const ClassDescription*> chosen;
    if (o.Flag("--all")) {
      for (const ClassDescription& d : ClassDescriptions()) chosen.push_back(&d);
    } else {
      if (o.positional.size() != 1) throw UsageError("name one class, for example MarkAsVital");
      const ClassDescription* d = FindDescription(o.positional[0]);
      if (!d) {
        std::cerr << "corvane: unknown class \"" << o.positional[0]
                  << "\"; corvane classes lists the 32 classes\n";
        return kExitCannotRun;
      }
      chosen.push_back(d);
    }
    if (o.Flag("--json")) {
      Json out = Json::array();
      for (const ClassDescription* d : chosen) out.push_back(DescriptionJson(*d));
      std::cout << (o.Flag("--all") ? out : out[0]).dump(2) << "\n";
    } else {
      for (size_t i = 0; i < chosen.size(); ++i)
        std::cout << (i ? "\n" : "") << DescriptionText(*chosen[i]);
    }
    return kExitOk;
  });
}

}  // namespace corvane::cli
