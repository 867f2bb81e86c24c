// The real system on Linux: the local clock, en-US, syslog with ident "Corvane",
// std::filesystem, and the registry directory under /var/lib/pelmark.
#include <syslog.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

#include "corvane/platform.h"
#include "rules/error_report.h"

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

}  // namespace

PlatformServices& SystemPlatform() {
  static System system;
  return system;
}

}  // namespace corvane
