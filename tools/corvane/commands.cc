#include "commands.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "class_descriptions.h"
#include "corvane/catalogue.h"
#include "design_check.h"
#include "html_report.h"
#include "module_host.h"
#include "options.h"
#include "portable.h"
#include "run_output.h"
#include "runner.h"
#include "scenario.h"
#include "temporary_directories.h"
#include "text_report.h"

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;

std::string ModuleHelp() {
  return std::string("  --module PATH     the component module (default: ") + kModuleFileName +
         " next to corvane)\n";
}

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
    std::cerr << "corvane: " << Printable(e.what()) << "\n\n" << help;
    return kExitCannotRun;
  }
  if (options.Flag("--help")) {
    std::cout << help;
    return kExitOk;
  }
  try {
    return body(options);
  } catch (const UsageError& e) {
    std::cerr << "corvane: " << Printable(e.what()) << "\n\n" << help;
    return kExitCannotRun;
  } catch (const HostError& e) {
    std::cerr << "corvane: " << Printable(e.what(), true) << "\n";
    return kExitCannotRun;
  }
}

HostOptions HostOptionsOf(const ParsedOptions& o) {
  return {.module_path = o.Value("--module"), .registry = o.Value("--registry")};
}

std::string ScenarioMessage(const std::string& file, const ScenarioError& e) {
  return Printable(file + ": " + (e.place().empty() ? "" : "at " + e.place() + ": ") + e.message());
}

// Removes the temporary directories of runs that were killed before they could
// clean up, and says so: a person may wonder where they went.
void ReportStaleDirectories() {
  for (const StaleDirectory& stale : RemoveStaleDirectories()) {
    const std::string left =
        ", left behind by a run that was killed (process " + std::to_string(stale.process_id) + ")";
    if (stale.error.empty())
      std::cerr << "corvane: removed " << Printable(stale.path) << left << "\n";
    else
      std::cerr << "corvane: cannot remove " << Printable(stale.path) << left << ": " << stale.error
                << "\n";
  }
}

const char* kRunHelp =
    R"(Usage: corvane run [--json] [--verbose] [--strict] [--junit FILE] [--html FILE]
                  [--module PATH] [--registry DIR] SCENARIO...

Runs each scenario file: builds the simulated host and DMS it describes, creates
its class through the component's entry points, makes its calls in order and
prints what each call returned or raised, the task variables written, the DMS
calls, what was saved, stored, sent and logged, and whether its expectations
hold. The file format is described in docs/scenarios.md.

A workflow file (one with "workflow" and "events") runs a whole instance over
simulated time: its steps follow one another by their outcome as people answer
tasks and the clock moves, Wait jobs fire when they come due, and the report
goes event by event, with a summary of the steps run, decisions, messages, jobs
and items changed.

The report warns about parameters the class never reads (with the nearest name
it does read), about variables it writes that the scenario does not declare,
about what the class's own check finds (as corvane check does) and about a call
that raised an error no expectation covers (a call without an expect block); it
lists the errors a step skipped (an item a walk went past) with the item and the
error. Warnings do not fail a scenario unless --strict is given.

Options:
  --json            print the report as JSON (every fact, one document)
  --verbose         list every call the step made, host calls included
  --strict          also fail a scenario (exit 1) on a check finding of severity
                    error and on a call that raised an error no expectation
                    covers
  --junit FILE      also write JUnit XML, one test case per scenario (and per
                    workflow step and expect block), for a CI server; an
                    unwritable FILE stops the run before it starts
  --html FILE       also write the report as one HTML page to look at in a
                    browser (self-contained: it loads nothing); an unwritable
                    FILE stops the run before it starts
)";

// Runs `write`, a step that opens or writes one of the run's report files;
// false, with the reason on stderr, when the file cannot be written.
template <class Write>
bool ReportFileWritten(Write&& write) {
  try {
    write();
    return true;
  } catch (const std::runtime_error& e) {
    std::cerr << "corvane: " << Printable(e.what()) << "\n";
    return false;
  }
}

// `corvane run`: each report is written as its scenario runs; only its summary
// is kept, for the closing line and the JUnit file.
int RunScenarioFiles(const ParsedOptions& o) {
  if (o.positional.empty()) throw UsageError("name at least one scenario file");
  std::optional<JunitFile> junit;
  if (o.values.count("--junit") &&
      !ReportFileWritten([&] { junit.emplace(PathOfUtf8(o.Value("--junit"))); }))
    return kExitCannotRun;
  std::optional<HtmlReportFile> html;
  if (o.values.count("--html") &&
      !ReportFileWritten([&] { html.emplace(PathOfUtf8(o.Value("--html"))); }))
    return kExitCannotRun;
  const bool json = o.Flag("--json");
  const bool colour = !json && StdoutWantsColour();
  int status = kExitOk;
  Json reports = Json::array();
  JsonStream json_out(std::cout);
  bool json_started = false;
  auto could_not_run = [&](const std::string& file, const ScenarioError& e) {
    std::cerr << "corvane: " << ScenarioMessage(file, e) << "\n";
    Json report = {{"scenario", file},
                   {"error", {{"place", e.place()}, {"message", e.message()}}},
                   {"passed", false}};
    if (json_started) json_out.Value(report);
    if (html && html->started()) html->json().Value(report);
    reports.push_back(std::move(report));
    status = kExitCannotRun;
  };
  // Read every scenario first, so that a malformed one stops nothing half run.
  std::vector<std::pair<std::string, std::optional<Scenario>>> scenarios;
  for (const std::string& file : o.positional) {
    try {
      scenarios.emplace_back(file, LoadScenario(file));
    } catch (const ScenarioError& e) {
      could_not_run(file, e);
      scenarios.emplace_back(file, std::nullopt);
    }
  }
  ReportStaleDirectories();
  ModuleHost host(HostOptionsOf(o));
  if (html) html->Begin(reports);
  if (json) {
    // Started only once the module is loaded: a module that cannot be loaded
    // leaves stdout empty.
    json_out.BeginObject();
    json_out.BeginArray("scenarios");
    for (const Json& report : reports) json_out.Value(report);
    json_started = true;
  }
  JsonReportSink json_sink(json_out);
  TextReportSink text_sink(std::cout, {.verbose = o.Flag("--verbose"), .colour = colour});
  ReportSink& report_sink = json ? static_cast<ReportSink&>(json_sink) : text_sink;
  std::optional<BothSinks> with_html;
  if (html) with_html.emplace(report_sink, html->sink());
  ReportSink& sink = html ? static_cast<ReportSink&>(*with_html) : report_sink;
  for (auto& [file, scenario] : scenarios) {
    if (!scenario) continue;
    Json summary;
    try {
      summary = RunScenario(*scenario, host, sink, {.strict = o.Flag("--strict")});
    } catch (const ScenarioError& e) {
      could_not_run(file, e);
      continue;
    }
    if (!summary["passed"].get<bool>() && status == kExitOk) status = kExitFailed;
    reports.push_back(std::move(summary));
  }
  if (json) {
    json_out.End();
    json_out.Value(status, "status");
    json_out.End();
    std::cout << "\n";
  } else if (o.positional.size() > 1) {
    std::cout << "\n" << SummaryLine(reports, colour);
  }
  if (html && !ReportFileWritten([&] { html->Finish(status); })) return kExitCannotRun;
  if (junit && !ReportFileWritten([&] { junit->Write(reports); })) return kExitCannotRun;
  return status;
}

constexpr const char* kCheckHelp = R"(Usage: corvane check [--json] SCENARIO...

Checks each scenario's step configuration without running anything: the
step's class itself (through the module's design-time interface) names the
parameters it does not read, required ones missing, values it will refuse or
read otherwise than meant, templates that lose text, minimums no answers can
reach and resources it skips. One line per finding:
  FILE:PATH: severity: message (suggestion: FIX)
PATH is the place in the scenario file, such as tasks[0].parameters.MODE.

Options:
  --json            print {"files": [{"scenario", "findings": [...]}], "status"}
)";

// `corvane check`: the class's own findings for each scenario's step.
int CheckScenarioFiles(const ParsedOptions& o) {
  if (o.positional.empty()) throw UsageError("name at least one scenario file");
  std::vector<std::pair<std::string, Scenario>> scenarios;
  for (const std::string& file : o.positional) {
    try {
      scenarios.emplace_back(file, LoadScenario(file));
    } catch (const ScenarioError& e) {
      std::cerr << "corvane: " << ScenarioMessage(file, e) << "\n";
      return kExitCannotRun;
    }
  }
  ModuleHost host(HostOptionsOf(o));
  int status = kExitOk;
  Json files = Json::array();
  for (const auto& [file, scenario] : scenarios) {
    std::vector<Json> findings = CheckStep(scenario, host);
    for (const Json& f : findings) {
      if (f["severity"] == "error") status = kExitFailed;
      if (!o.Flag("--json")) std::cout << Printable(FindingLine(file, f)) << "\n";
    }
    files.push_back({{"scenario", file}, {"findings", findings}});
  }
  if (o.Flag("--json")) std::cout << Json{{"files", files}, {"status", status}}.dump(2) << "\n";
  return status;
}

}  // namespace

std::string Printable(std::string_view text, bool keep_line_breaks) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if ((byte >= 0x20 && byte != 0x7F) || (c == '\n' && keep_line_breaks)) {
      out.push_back(c);
      continue;
    }
    switch (c) {
      case '\0':
        out += "\\0";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default: {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02x", byte);
        out += escape;
      }
    }
  }
  return out;
}

int RunCommand(const Args& args) {
  const std::string help =
      std::string(kRunHelp) + ModuleHelp() + kRegistryOptionHelp +
      "\nExit status: 0 when every expectation holds, 1 when one does not (or, with "
      "--strict,\nwhen a check finds an error or a raised error is not expected), "
      "2 when a scenario\ncannot be read or run or the JUnit or HTML file "
      "cannot be written.\nColour is used on a terminal unless NO_COLOR is set.\n";
  return WithOptions(args, {"--json", "--verbose", "--strict"},
                     {"--module", "--registry", "--junit", "--html"}, help, RunScenarioFiles);
}

int CheckCommand(const Args& args) {
  const std::string help = std::string(kCheckHelp) + ModuleHelp() + kRegistryOptionHelp +
                           "\nExit status: 0 when no finding is an error, 1 when one is, 2 when a "
                           "scenario\ncannot be read or the module cannot be loaded.\n";
  return WithOptions(args, {"--json"}, {"--module", "--registry"}, help, CheckScenarioFiles);
}

int ClassesCommand(const Args& args) {
  const std::string help =
      std::string(
          "Usage: corvane classes [--json] [--module PATH] [--registry DIR]\n\n"
          "Lists the component's classes in type-library order, each with its ProgID,\n"
          "CLSID and default-interface IID as the registration records them. Without\n"
          "--registry nothing is written: the list is what registration would record.\n\n"
          "Options:\n  --json            print the list as JSON\n") +
      ModuleHelp() + kRegistryOptionHelp;
  return WithOptions(
      args, {"--json"}, {"--module", "--registry"}, help, [&](const ParsedOptions& o) {
        if (!o.positional.empty()) throw UsageError("classes takes no arguments");
        // Without --registry nothing is written: the list is what registration records.
        const bool from_catalogue = o.Value("--registry").empty();
        std::optional<ModuleHost> host;
        std::string module_path = o.Value("--module");
        if (module_path.empty()) module_path = DefaultModulePath();
        // The module is still loaded, so that a missing or incompatible one is
        // named here rather than at the first step.
        if (from_catalogue) OpenModule(module_path);
        if (!from_catalogue) host.emplace(HostOptionsOf(o));
        const std::string root = from_catalogue ? std::string() : host->registry_root();
        Registry registry(root);
        // Interface keys name the interface ("_MarkAsVital") in their default value.
        std::map<std::string, std::string> iid_of;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(PathOfUtf8(root) / "Interface", ec)) {
          std::string iid = Utf8Of(e.path().filename());
          if (std::optional<std::string> name = registry.Value("Interface/" + iid))
            iid_of[*name] = iid;
        }
        Json list = Json::array();
        for (const ClassInfo& c : kCatalogue) {
          const std::string prog_id = std::string(kProgIdPrefix) + std::string(c.name);
          std::optional<pelmark::CLSID> clsid = registry.ClsidOfProgId(prog_id);
          std::optional<RegisteredClass> entry;
          if (clsid) entry = registry.Lookup(*clsid);
          if (from_catalogue) {
            entry = {prog_id, c.clsid, module_path, std::string(kThreadingModel)};
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
      "\nOptions:\n" + ModuleHelp() + kRegisterRegistryHelp;
  return WithOptions(args, {}, {"--module", "--registry"}, help, [&](const ParsedOptions& o) {
    if (!o.positional.empty()) throw UsageError(name + " takes no arguments");
    if (!kRegistryIsDirectory && !o.Value("--registry").empty())
      throw UsageError(
          "on Windows the module registers itself under HKEY_CLASSES_ROOT; leave "
          "out --registry");
    std::string path = o.Value("--module").empty() ? DefaultModulePath() : o.Value("--module");
    std::unique_ptr<ComponentModule> module;
    try {
      module = std::make_unique<ComponentModule>(path);
    } catch (const pelmark::Error& e) {
      throw HostError(e.description());
    }
    // The tool's own services keep the event log, where the module names each
    // path it could not write or remove and why.
    CliPlatform platform;
    const std::string registry = o.Value("--registry");
    // Without --registry the module writes where it writes on its own.
    platform.registry_root = registry.empty() && module->SystemPlatform()
                                 ? module->SystemPlatform()->RegistryRoot()
                                 : registry;
    InstallPlatform(*module, &platform);
    pelmark::HRESULT hr = unregister ? module->UnregisterServer() : module->RegisterServer();
    InstallPlatform(*module, nullptr);
    for (const std::string& entry : platform.event_log)
      std::cerr << "corvane: " << Printable(entry) << "\n";
    if (pelmark::Failed(hr)) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08X", static_cast<uint32_t>(hr));
      std::cerr << "corvane: Dll" << (unregister ? "Unregister" : "Register") << "Server of "
                << Printable(path) << " failed with " << hex << " in "
                << Printable(platform.registry_root)
                << (unregister ? "; the entries named above are still registered"
                               : "; what it wrote was taken back, but for anything named above")
                << (registry.empty() && kRegistryIsDirectory
                        ? " (choose a registry directory with --registry DIR)"
                        : "")
                << "\n";
      return kExitCannotRun;
    }
    std::cout << (unregister ? "Unregistered " : "Registered ") << path
              << (registry.empty() ? "" : (unregister ? " from " : " in ") + registry) << "\n";
    return kExitOk;
  });
}

namespace {

const char* kDescribeHelp =
    R"(Usage: corvane describe [--json | --markdown] CLASS
       corvane describe --all [--json]
       corvane describe --all --write DIR
       corvane describe --all --check DIR

Prints the reference of one class: each step and task parameter with its type,
whether it is required, its default, its allowed values and what it does; the
template variables its templates can name; the task variables it reads and
writes; its results, the services it asks the host for, the errors it can raise
with their location texts and, for DocApproval, Review and ToDo, the decision
table. CLASS is a class name (MarkAsVital), a ProgID (Corvane.MarkAsVital) or a
CLSID ({3077EE4C-C191-4082-97D0-06A0B6A3C68C}, braces optional), in any case.

Options:
  --json            print the reference as JSON
  --markdown        print the class's page of docs/classes
  --all             every class
  --write DIR       with --all: write one page and one JSON Schema per class,
                    README.md and classes.schema.json into DIR
  --check DIR       with --all: compare DIR with the files the table makes; exit 1
                    and name each file that differs or is missing
)";

std::string ReadFileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int WriteReference(const std::string& dir) {
  const fs::path folder = PathOfUtf8(dir);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder))
    throw HostError("cannot create the directory " + dir +
                    (ec ? ": " + ec.message() : std::string()));
  const std::map<std::string, std::string> pages = ReferenceFiles();
  // Each page goes to a temporary file first and is renamed into place, so an
  // interrupted write leaves no half page behind.
  for (const auto& [name, text] : pages) {
    const fs::path target = folder / name;
    const fs::path temporary = folder / ("." + name + ".tmp");
    std::ofstream out(temporary, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
      fs::remove(temporary, ec);
      throw HostError("cannot write " + Utf8Of(target));
    }
    fs::rename(temporary, target, ec);
    if (ec) {
      fs::remove(temporary, ec);
      throw HostError("cannot write " + Utf8Of(target) + ": " + ec.message());
    }
  }
  size_t schemas = 0;
  for (const auto& [name, text] : pages) schemas += name.ends_with(".schema.json");
  std::cout << "Wrote " << pages.size() - schemas << " pages and " << schemas << " schemas to "
            << dir << "\n";
  return kExitOk;
}

int CheckReference(const std::string& dir) {
  const fs::path folder = PathOfUtf8(dir);
  if (!fs::is_directory(folder)) throw HostError("no directory " + dir);
  int differing = 0;
  for (const auto& [name, text] : ReferenceFiles()) {
    const fs::path page = folder / name;
    if (!fs::exists(page)) {
      std::cout << Utf8Of(page) << ": missing\n";
      ++differing;
    } else if (ReadFileText(page) != text) {
      std::cout << Utf8Of(page) << ": differs from the class table\n";
      ++differing;
    }
  }
  if (differing)
    std::cout << differing << " page(s) out of date; corvane describe --all --write " << dir
              << " rewrites them\n";
  return differing ? kExitFailed : kExitOk;
}

const ClassDescription& DescriptionOrThrow(const std::string& name) {
  const ClassDescription* d = FindDescription(name);
  if (!d)
    throw HostError("unknown class \"" + name +
                    "\": name a class (MarkAsVital), a ProgID (Corvane.MarkAsVital) or a CLSID; "
                    "corvane classes lists the 32 classes");
  return *d;
}

}  // namespace

int DescribeCommand(const Args& args) {
  return WithOptions(args, {"--json", "--all", "--markdown"}, {"--write", "--check"}, kDescribeHelp,
                     [&](const ParsedOptions& o) {
                       const bool all = o.Flag("--all");
                       const std::string write = o.Value("--write"), check = o.Value("--check");
                       if (o.Flag("--json") && o.Flag("--markdown"))
                         throw UsageError("choose --json or --markdown, not both");
                       if ((!write.empty() || !check.empty()) && !all)
                         throw UsageError("--write and --check go with --all");
                       if (!write.empty() && !check.empty())
                         throw UsageError("choose --write or --check, not both");
                       if (all && !o.positional.empty())
                         throw UsageError("--all describes every class; leave out the class name");
                       if (all && o.Flag("--markdown") && write.empty() && check.empty())
                         throw UsageError("--all --markdown: say --write DIR to write the pages");
                       if (!write.empty()) return WriteReference(write);
                       if (!check.empty()) return CheckReference(check);

                       std::vector<const ClassDescription*> chosen;
                       if (all) {
                         for (const ClassDescription& d : ClassDescriptions()) chosen.push_back(&d);
                       } else {
                         if (o.positional.size() != 1)
                           throw UsageError("name one class, for example MarkAsVital");
                         chosen.push_back(&DescriptionOrThrow(o.positional[0]));
                       }
                       if (o.Flag("--json")) {
                         Json out = Json::array();
                         for (const ClassDescription* d : chosen)
                           out.push_back(DescriptionJson(*d));
                         std::cout << (all ? out : out[0]).dump(2) << "\n";
                       } else if (o.Flag("--markdown")) {
                         std::cout << DescriptionMarkdown(*chosen[0]);
                       } else {
                         for (size_t i = 0; i < chosen.size(); ++i)
                           std::cout << (i ? "\n" : "") << DescriptionText(*chosen[i]);
                       }
                       return kExitOk;
                     });
}

int NewCommand(const Args& args) {
  const std::string help =
      "Usage: corvane new [--output FILE] [--force] CLASS\n\n"
      "Writes a scenario skeleton for the class from its reference: every parameter at a\n"
      "sample value, the task variables it reads and writes declared, one document in the\n"
      "item list, and for the human-task steps and Signature their Initialize call. It\n"
      "runs as it is (corvane run FILE); change the values and add expectations from there.\n"
      "CLASS is a class name, ProgID or CLSID.\n\n"
      "Options:\n"
      "  --output FILE     write the scenario to FILE instead of printing it\n"
      "  --force           overwrite FILE when it exists\n";
  return WithOptions(args, {"--force"}, {"--output"}, help, [&](const ParsedOptions& o) {
    if (o.positional.size() != 1) throw UsageError("name one class, for example MarkAsVital");
    const ClassDescription& d = DescriptionOrThrow(o.positional[0]);
    const std::string text = ScenarioSkeleton(d).dump(2) + "\n";
    const std::string output = o.Value("--output");
    if (output.empty()) {
      std::cout << text;
      return kExitOk;
    }
    const fs::path target = PathOfUtf8(output);
    if (fs::exists(target) && !o.Flag("--force"))
      throw HostError(output + " exists; say --force to overwrite it");
    fs::path temporary = target;
    temporary += ".tmp";
    std::ofstream out(temporary, std::ios::binary);
    out << text;
    out.close();
    std::error_code ec;
    if (out) fs::rename(temporary, target, ec);
    if (!out || ec) {
      fs::remove(temporary, ec);
      throw HostError("cannot write " + output);
    }
    std::cout << "Wrote " << output << "; run it with corvane run " << output << "\n";
    return kExitOk;
  });
}

int HelpCommand(const Args& args, const std::string& usage) {
  if (args.empty()) {
    std::cout << usage;
    return kExitOk;
  }
  if (args.size() > 1) {
    std::cerr << "corvane: help takes one command name\n\n" << usage;
    return kExitCannotRun;
  }
  const std::string& command = args[0];
  const Args help = {"--help"};
  if (command == "run") return RunCommand(help);
  if (command == "check") return CheckCommand(help);
  if (command == "classes") return ClassesCommand(help);
  if (command == "register") return RegisterCommand(help, false);
  if (command == "unregister") return RegisterCommand(help, true);
  if (command == "describe") return DescribeCommand(help);
  if (command == "template") return TemplateCommand(help);
  if (command == "new") return NewCommand(help);
  if (command == "help") {
    std::cout << "Usage: corvane help [COMMAND]\n\nPrints the list of commands, or the help "
                 "of one command (the same as corvane COMMAND --help).\n";
    return kExitOk;
  }
  std::cerr << "corvane: no command \"" << Printable(command) << "\"\n\n" << usage;
  return kExitCannotRun;
}

}  // namespace corvane::cli
