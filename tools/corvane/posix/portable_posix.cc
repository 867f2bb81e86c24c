#include "portable.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace corvane::cli {

const char* const kModuleFileName = "Corvane.so";
const bool kRegistryIsDirectory = true;
const char* const kRegistryOptionHelp =
    "  --registry DIR    the registry directory to use (default: a temporary one,\n"
    "                    into which the module is registered for this run only)\n";
const char* const kRegisterRegistryHelp =
    "  --registry DIR    the registry directory (default: the component's own, the\n"
    "                    system registry directory /var/lib/pelmark/registry)\n";

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

int ProcessId() { return static_cast<int>(::getpid()); }

std::string MakeUniqueDirectory(std::string_view prefix, std::error_code& error) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
  if (!mkdtemp(pattern.data())) {
    error = std::error_code(errno, std::generic_category());
    return {};
  }
  error.clear();
  return pattern;
}

}  // namespace corvane::cli
