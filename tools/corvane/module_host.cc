#include "module_host.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <system_error>

#include "pelmark/com.h"

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;

// The tool's own copies of the two locales the library knows, so that the tool
// needs nothing from the library but its entry points.
const LocaleInfo kEnUs{
    "en-US",
    ".",
    ",",
    "/",
    ":",
    LocaleInfo::DateOrder::kMonthDayYear,
    "M/d/yyyy",
    "h:mm:ss tt",
    "AM",
    "PM",
    {"January", "February", "March", "April", "May", "June", "July", "August", "September",
     "October", "November", "December"},
    {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
    {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
    {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"}};

const LocaleInfo kDeDe{
    "de-DE",
    ",",
    ".",
    ".",
    ":",
    LocaleInfo::DateOrder::kDayMonthYear,
    "dd.MM.yyyy",
    "HH:mm:ss",
    "",
    "",
    {"Januar", "Februar", "März", "April", "Mai", "Juni", "Juli", "August", "September", "Oktober",
     "November", "Dezember"},
    {"Jan", "Feb", "Mrz", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"},
    {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"},
    {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"}};

std::string MakeTempDirectory(const char* prefix) {
  std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
  if (!mkdtemp(pattern.data()))
    throw HostError("cannot make a temporary directory in " + fs::temp_directory_path().string() +
                    ": " + std::error_code(errno, std::generic_category()).message());
  return pattern;
}

using SetPlatformFn = PlatformServices* (*)(PlatformServices*);

}  // namespace

const LocaleInfo* FindLocale(std::string_view name) {
  if (name == "en-US") return &kEnUs;
  if (name == "de-DE") return &kDeDe;
  return nullptr;
}

double SystemNow() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  // Days since 1970 of the local wall-clock time, moved to the 1899 epoch.
  std::tm as_utc = local;
  time_t wall = timegm(&as_utc);
  return static_cast<double>(wall) / 86400.0 + 25569.0;
}

CliPlatform::CliPlatform() : now(SystemNow()), locale(&kEnUs) {}

fs::path CliPlatform::InSandbox(std::string_view path) const {
  std::string relative(path);
  std::replace(relative.begin(), relative.end(), '\\', '/');
  while (!relative.empty() && relative.front() == '/') relative.erase(relative.begin());
  return relative.empty() ? sandbox : sandbox / relative;
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
  std::error_code ec;
  if (!fs::is_directory(target.parent_path(), ec))
    throw pelmark::Error(76, "Corvane", "Path not found");
  if (!fs::create_directory(target, ec) && ec)
    throw pelmark::Error(75, "Corvane", "Path/File access error");
}

std::vector<std::string> CliPlatform::SandboxDirectories() const {
  std::vector<std::string> out;
  std::error_code ec;
  if (sandbox.empty()) return out;
  for (auto it = fs::recursive_directory_iterator(sandbox, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory()) out.push_back("/" + fs::relative(it->path(), sandbox).generic_string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string DefaultModulePath() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("Corvane.so") : (self.parent_path() / "Corvane.so").string();
}

void InstallPlatform(const pelmark::ComponentModule& module, PlatformServices* platform) {
  auto set_platform = reinterpret_cast<SetPlatformFn>(module.Symbol("CorvaneSetPlatform"));
  if (!set_platform)
    throw HostError(module.path() + " does not export CorvaneSetPlatform; it is no Corvane module");
  set_platform(platform);
}

ModuleHost::ModuleHost(HostOptions options)
    : module_path_(options.module_path.empty() ? DefaultModulePath() : options.module_path) {
  if (options.registry.empty()) {
    // No registry given: register the module into a directory of this run only.
    platform_.registry_root = MakeTempDirectory("corvane-registry-");
    temporary_registry_ = true;
    pelmark::HRESULT hr = Load(module_path_).RegisterServer();
    if (pelmark::Failed(hr))
      throw HostError("DllRegisterServer of " + module_path_ + " failed with " +
                      std::to_string(hr));
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
    auto it = modules_.find(module_path_);
    if (it != modules_.end()) it->second->UnregisterServer();
    std::error_code ec;
    fs::remove_all(platform_.registry_root, ec);
  }
  for (auto& [path, module] : modules_) InstallPlatform(*module, nullptr);
}

pelmark::ComponentModule& ModuleHost::Load(const std::string& path) {
  auto it = modules_.find(path);
  if (it != modules_.end()) return *it->second;
  std::unique_ptr<pelmark::ComponentModule> module;
  try {
    module = std::make_unique<pelmark::ComponentModule>(path);
  } catch (const pelmark::Error& e) {
    throw HostError(e.description() +
                    "\n(build it with: cmake --build <build dir> --target Corvane, or name it with "
                    "--module PATH)");
  }
  InstallPlatform(*module, &platform_);
  return *modules_.emplace(path, std::move(module)).first->second;
}

pelmark::ComPtr<pelmark::IActivityRuntime> ModuleHost::Create(const std::string& class_name,
                                                              const pelmark::CLSID& clsid,
                                                              bool by_clsid) {
  pelmark::Registry registry(platform_.registry_root);
  const std::string prog_id = "Corvane." + class_name;
  std::optional<pelmark::CLSID> resolved =
      by_clsid ? std::optional(clsid) : registry.ClsidOfProgId(prog_id);
  std::optional<pelmark::RegisteredClass> entry;
  if (resolved) entry = registry.Lookup(*resolved);
  if (!entry)
    throw HostError((by_clsid ? pelmark::GuidToString(clsid) : prog_id) + " is not registered in " +
                    platform_.registry_root +
                    "; register the component with: corvane register --registry " +
                    platform_.registry_root);
  pelmark::ComponentModule& module = Load(entry->module_path);
  try {
    return module.Create<pelmark::IActivityRuntime>(*resolved);
  } catch (const pelmark::Error& e) {
    throw HostError("cannot create " + prog_id + " from " + entry->module_path + ": " +
                    e.description() + " (" + std::to_string(e.number()) + ")");
  }
}

}  // namespace corvane::cli
