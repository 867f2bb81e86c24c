// The real system on Linux: the local clock, en-US, syslog with ident "Corvane",
// std::filesystem, and the registry directory under /var/lib/pelmark.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
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

  // One entry as syslog(3) writes it with ident "Corvane" and LOG_PID, sent on
  // a socket of its own. openlog and closelog would set the process's one log
  // identity: a closelog on another thread between them would take "Corvane"
  // from this entry, and they would replace a host's own settings.
  void LogError(std::string_view description) override {
    description = description.substr(0, description.find('\0'));  // as "%s" stops
    const std::string entry = "<" + std::to_string(LOG_USER | LOG_ERR) + ">" + Timestamp() +
                              " Corvane[" + std::to_string(::getpid()) +
                              "]: " + std::string(description);
    sockaddr_un log{};
    log.sun_family = AF_UNIX;
    std::strcpy(log.sun_path, "/dev/log");
    // The log socket is a datagram socket, or on some systems a stream, where
    // a NUL ends each entry.
    for (int type : {SOCK_DGRAM, SOCK_STREAM}) {
      const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
      if (fd < 0) return;
      const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&log), sizeof log) == 0;
      const int error = errno;
      if (connected)
        (void)::send(fd, entry.c_str(), entry.size() + (type == SOCK_STREAM), MSG_NOSIGNAL);
      ::close(fd);
      if (connected || error != EPROTOTYPE) return;
    }
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

  // The root is opened once and each name below it is opened relative to the
  // one above, never following a symbolic link, so there is no moment between
  // a check and a use in which a swapped link could be followed.
  void CreateDirectoryBelow(std::string_view root, std::string_view below,
                            std::string_view path) override {
    if (below.empty()) return CreateDirectory(path);  // the root itself
    int dir = ::open(std::string(root).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) RaiseFor(errno);
    for (size_t from = 0;;) {
      size_t slash = below.find('/', from);
      const bool last = slash == std::string_view::npos;
      if (last) slash = below.size();
      const std::string name(below.substr(from, slash - from));
      from = slash + 1;
      if (name.empty()) {
        if (last) break;
        continue;
      }
      if (last) {
        const bool made = ::mkdirat(dir, name.c_str(), 0777) == 0;
        const int error = errno;
        struct stat st {};
        // An existing directory is no failure, as with CreateDirectory.
        const bool there = !made && error == EEXIST &&
                           ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                           S_ISDIR(st.st_mode);
        ::close(dir);
        if (made || there) return;
        RaiseFor(error);
      }
      const int next = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      const int error = errno;
      struct stat st {};
      const bool link = next < 0 && ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISLNK(st.st_mode);
      ::close(dir);
      if (link) Raise(70, "Permission denied");
      if (next < 0) RaiseFor(error);
      dir = next;
    }
    ::close(dir);
  }

  std::string RegistryRoot() override { return "/var/lib/pelmark/registry"; }

 private:
  // "Dec  5 09:03:07" in local time, with the English month names syslog(3)
  // uses whatever the process's locale.
  static std::string Timestamp() {
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%s %2d %02d:%02d:%02d", kMonths[local.tm_mon % 12],
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
  }

  // A missing level, or one that is a file, is 76 (Path not found), as
  // CreateDirectory raises and as Windows answers; anything else 75.
  [[noreturn]] static void RaiseFor(int error) {
    Raise(error == ENOENT || error == ENOTDIR ? 76 : 75);
  }
};

}  // namespace

PlatformServices& SystemPlatform() {
  static System system;
  return system;
}

}  // namespace corvane
