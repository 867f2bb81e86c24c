// corvane: the command-line host of the Corvane component. It loads the module
// (Corvane.so, or Corvane.dll on Windows) through its entry points and runs scenario files against
// the simulated host and DMS, lists and registers the component's classes, and describes them.
#include <exception>
#include <iostream>
#include <string>

#include "commands.h"
#include "corvane/version.h"
#include "module_host.h"
#include "portable.h"

namespace {

// The list of commands; the module's file name is this system's.
std::string Usage() {
  return std::string(R"(Usage: corvane COMMAND [OPTIONS] [ARGUMENTS]

Commands:
  run SCENARIO...        run scenario files and report what each step did
  check SCENARIO...      the step's own checks of its configuration, run nothing
  classes                list the 32 classes with ProgID, CLSID and interface IID
  register               register the classes of )") +
         corvane::cli::kModuleFileName + R"(
  unregister             remove the registrations )" +
         corvane::cli::kModuleFileName + R"( made
  describe CLASS         the reference of a class: parameters, variables, errors
  new CLASS              write a scenario skeleton for a class that runs as it is
  template check FILE    what the template engine makes of a format template
  template render FILE   render a format template with --var NAME=VALUE values
  version                the tool's version and the module's (also --version)
  help [COMMAND]         this text, or the help of one command

Run `corvane COMMAND --help` for a command's options. Scenario files are
described in docs/scenarios.md; examples/ holds runnable ones:
  corvane run examples/records/mark-as-vital.json
)";
}

std::string VersionHelp() {
  return std::string(R"(Usage: corvane version [--module PATH]   (also corvane --version)

Prints the tool's version, then the module's: its product version, path,
contract version and ABI. Exit status 2 when no module can be loaded.

Options:
  --module PATH     the component module (default: )") +
         corvane::cli::kModuleFileName + " next to corvane)\n";
}

// Prints the product version of the tool and of the module it would load; the
// type library's own version (1.0) is a separate identity that never changes.
int VersionCommand(const corvane::cli::Args& args) {
  using namespace corvane::cli;
  std::string module_path = DefaultModulePath();
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::cout << VersionHelp();
      return kExitOk;
    }
    if (args[i] == "--module" && i + 1 < args.size())
      module_path = args[++i];
    else if (args[i].starts_with("--module="))
      module_path = args[i].substr(9);
    else {
      std::cerr << "corvane: version takes only --module PATH\n";
      return kExitCannotRun;
    }
  }
  std::cout << "corvane " << CORVANE_VERSION << "\n";
  try {
    corvane::ComponentModule module(module_path);
    std::cout << "module " << module.ProductVersion() << " (" << module.path() << ", contract "
              << module.ModuleContract().version << ", " << module.ModuleContract().abi << ")\n";
    return kExitOk;
  } catch (const pelmark::Error& e) {
    std::cout << "module: none loaded: " << Printable(e.description()) << "\n";
    return kExitCannotRun;
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace corvane::cli;
  Args args = ProgramArguments(argc, argv);
  if (args.empty()) {
    std::cerr << Usage();
    return kExitCannotRun;
  }
  const std::string command = args.front();
  args.erase(args.begin());
  try {
    if (command == "help" && args.size() == 1 && args[0] == "version")
      return VersionCommand({"--help"});
    if (command == "help") return HelpCommand(args, Usage());
    if (command == "--help" || command == "-h") {
      std::cout << Usage();
      return kExitOk;
    }
    if (command == "version" || command == "--version") return VersionCommand(args);
    if (command == "run") return RunCommand(args);
    if (command == "check") return CheckCommand(args);
    if (command == "classes") return ClassesCommand(args);
    if (command == "register") return RegisterCommand(args, false);
    if (command == "unregister") return RegisterCommand(args, true);
    if (command == "describe") return DescribeCommand(args);
    if (command == "template") return TemplateCommand(args);
    if (command == "new") return NewCommand(args);
    std::cerr << "corvane: unknown command \"" << Printable(command) << "\"\n\n" << Usage();
    return kExitCannotRun;
  } catch (const std::exception& e) {
    std::cerr << "corvane " << Printable(command) << ": " << Printable(e.what(), true) << "\n";
    return kExitCannotRun;
  }
}
