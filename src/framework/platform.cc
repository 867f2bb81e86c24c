#include "corvane/platform.h"

#include <syslog.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

#include "framework/error_report.h"
#include "framework/file_system.h"

namespace corvane {
namespace {

// Days from 30 December 1899 to 1 January 1970.
constexpr double kUnixEpochDays = 25569.0;

class System final : public PlatformServices {
 public:
  double Now() override {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    // Local wall-clock seconds since the epoch, whole seconds as the classic clock has.
    double seconds = static_cast<double>(t) + static_cast<double>(local.tm_gmtoff);
    return kUnixEpochDays + seconds / 86400.0;
  }

  const LocaleInfo& Locale() override { return LocaleInfo::EnUs(); }

  void LogError(std::string_view description) override {
    openlog("Corvane", LOG_PID, LOG_USER);
    syslog(LOG_ERR, "%.*s", static_cast<int>(description.size()), description.data());
    closelog();
  }

  bool PathExists(std::string_view path) override {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::file_status st = fs::status(fs::path(std::string(path)), ec);
    if (!ec) return st.type() != fs::file_type::not_found;
    if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory)
      return false;
    Raise(75);
  }

  void CreateDirectory(std::string_view path) override {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directory(fs::path(std::string(path)), ec);
    if (!ec) return;
    if (ec == std::errc::no_such_file_or_directory) Raise(76);
    Raise(75);
  }

  std::string RegistryRoot() override { return "/var/lib/pelmark/registry"; }
};

PlatformServices* g_installed = nullptr;

// A file name may hold any byte but NUL on this system, yet a NUL cuts the name
// short in every system call and control characters are refused where designs
// come from; both mean a name that went wrong.
void CheckFolderName(std::string_view path) {
  bool bad = std::any_of(path.begin(), path.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
  if (bad) Raise(52, "Bad file name or number");
}

// The folder, with ".." and symbolic links resolved as far as it exists, must
// lie inside the export root. Asking whether one of the root's own parents
// exists is allowed, since creating a folder walks down from the top.
void CheckInsideExportRoot(PlatformServices& platform, std::string_view path,
                           bool parents_allowed) {
  const std::string root = platform.ExportRoot();
  if (root.empty()) return;
  namespace fs = std::filesystem;
  std::error_code root_error, path_error;
  fs::path base = fs::weakly_canonical(fs::absolute(fs::path(root), root_error), root_error);
  fs::path target =
      fs::weakly_canonical(fs::absolute(fs::path(platform.HostPath(path)), path_error), path_error);
  if (root_error || path_error) Raise(75);
  // "/srv/exports/" ends in an empty element that would never match.
  auto trim = [](fs::path& p) {
    if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
  };
  trim(base);
  trim(target);
  auto [in_base, in_target] = std::mismatch(base.begin(), base.end(), target.begin(), target.end());
  if (in_base == base.end()) return;
  if (parents_allowed && in_target == target.end()) return;
  Raise(70, "Permission denied");
}

}  // namespace

bool FolderExists(std::string_view path) {
  PlatformServices& platform = Platform();
  CheckFolderName(path);
  CheckInsideExportRoot(platform, path, /*parents_allowed=*/true);
  return platform.PathExists(path);
}

void CreateFolder(std::string_view path) {
  PlatformServices& platform = Platform();
  CheckFolderName(path);
  CheckInsideExportRoot(platform, path, /*parents_allowed=*/false);
  platform.CreateDirectory(path);
}

PlatformServices& SystemPlatform() {
  static System system;
  return system;
}

PlatformServices& Platform() { return g_installed ? *g_installed : SystemPlatform(); }

PlatformServices* SetPlatform(PlatformServices* services) {
  PlatformServices* previous = g_installed;
  g_installed = services;
  return previous;
}

}  // namespace corvane

extern "C" corvane::PlatformServices* CorvaneSetPlatform(corvane::PlatformServices* services) {
  return corvane::SetPlatform(services);
}
