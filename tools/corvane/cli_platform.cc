// The tool's platform services, decision observer and module cache, the same on every system; the
// module host that installs them is posix/module_host_posix.cc on Linux and
// windows/module_host_windows.cc.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "module_host.h"
#include "pelmark/com.h"
#include "portable.h"

namespace corvane::cli {

namespace fs = std::filesystem;

const LocaleInfo* FindLocale(std::string_view name) {
  for (const LocaleInfo* locale : {&LocaleInfo::EnUs(), &LocaleInfo::DeDe()})
    if (locale->name == name) return locale;
  return nullptr;
}

double SystemNow() { return SystemPlatform().Now(); }

CliPlatform::CliPlatform() : now(SystemNow()), locale(&LocaleInfo::EnUs()) {}

fs::path CliPlatform::InSandbox(std::string_view path) const {
  std::string relative(path);
  std::replace(relative.begin(), relative.end(), '\\', '/');
  while (!relative.empty() && relative.front() == '/') relative.erase(relative.begin());
  return relative.empty() ? sandbox : sandbox / PathOfUtf8(relative);
}

bool CliPlatform::PathExists(std::string_view path) {
  std::error_code ec;
  fs::file_status st = fs::status(InSandbox(path), ec);
  if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
    throw pelmark::Error(75, "Corvane", "Path/File access error");
  return fs::exists(st);
}

void CliPlatform::CreateDirectory(std::string_view path) {
  fs::path target = InSandbox(path);
  const HoldInterrupt hold;
  std::error_code ec;
  if (!fs::is_directory(target.parent_path(), ec))
    throw pelmark::Error(76, "Corvane", "Path not found");
  if (!fs::create_directory(target, ec) && ec)
    throw pelmark::Error(75, "Corvane", "Path/File access error");
}

void CliPlatform::CreateDirectoryBelow(std::string_view root, std::string_view below,
                                       std::string_view path) {
  SystemPlatform().CreateDirectoryBelow(root, below, Utf8Of(InSandbox(path)));
}

void CliPlatform::ItemSkipped(std::string_view entity_name, std::string_view id_text,
                              const pelmark::Error& error) {
  std::string item;
  if (!id_text.empty())
    item = (entity_name.empty() ? "item" : std::string(entity_name)) + " " + std::string(id_text);
  skipped_items.push_back({journal_position ? journal_position() : 0, item, error});
}

namespace {

// The sandbox's entries that are (or are not) directories, sorted by name.
std::vector<std::string> SandboxEntries(const fs::path& sandbox, bool directories) {
  std::vector<std::string> out;
  std::error_code ec;
  if (sandbox.empty()) return out;
  for (auto it = fs::recursive_directory_iterator(sandbox, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code type_error;
    if (it->is_directory(type_error) == directories)
      out.push_back("/" + Utf8Of(fs::relative(it->path(), sandbox), true));
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

std::vector<std::string> CliPlatform::SandboxDirectories() const {
  return SandboxEntries(sandbox, true);
}

std::vector<std::string> CliPlatform::SandboxFiles() const {
  return SandboxEntries(sandbox, false);
}

void InstallDecisionObserver(const ComponentModule& module, DecisionObserver* observer) {
  using SetObserver = DecisionObserver* (*)(DecisionObserver*);
  auto set = reinterpret_cast<SetObserver>(module.Symbol("CorvaneSetDecisionObserver"));
  if (!set)
    throw HostError(module.path() +
                    " does not export CorvaneSetDecisionObserver; it is no Corvane module of this "
                    "release");
  set(observer);
}

// Each module is opened once and gets the tool's services as it is opened; how
// a module is opened is the platform's own (OpenModule).
ComponentModule& ModuleHost::Load(const std::string& path) {
  auto it = modules_.find(path);
  if (it != modules_.end()) return *it->second;
  std::unique_ptr<ComponentModule> module = OpenModule(path);
  InstallPlatform(*module, &platform_);
  InstallDecisionObserver(*module, &decision_log_);
  return *modules_.emplace(path, std::move(module)).first->second;
}

}  // namespace corvane::cli
