#include "portable.h"

#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <thread>

namespace corvane::cli {

const char* const kModuleFileName = "Corvane.so";
const bool kRegistryIsDirectory = true;
const char* const kRegistryOptionHelp =
    "  --registry DIR    the registry directory to use (default: a temporary one,\n"
    "                    into which the module is registered for this run only)\n";
const char* const kRegisterRegistryHelp =
    "  --registry DIR    the registry directory (default: the component's own, the\n"
    "                    system registry directory /var/lib/pelmark/registry)\n";

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

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

void CallOnInterrupt(void (*action)()) {
  static std::once_flag once;
  std::call_once(once, [action] {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interrupts, signal);
    // Blocked here, and so in every thread started later, the interrupts reach
    // only the waiting thread, which may do what a signal handler may not.
    pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);
    std::thread([interrupts, action] {
      int signal = 0;
      if (sigwait(&interrupts, &signal) != 0) return;
      action();
      std::signal(signal, SIG_DFL);
      sigset_t just_this;
      sigemptyset(&just_this);
      sigaddset(&just_this, signal);
      pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr);
      raise(signal);
    }).detach();
  });
}

namespace {
std::recursive_timed_mutex& TemporaryFilesLock() {
  static std::recursive_timed_mutex lock;
  return lock;
}
}  // namespace

void LockTemporaryFiles() { TemporaryFilesLock().lock(); }
bool LockTemporaryFiles(int seconds) {
  return TemporaryFilesLock().try_lock_for(std::chrono::seconds(seconds));
}
void UnlockTemporaryFiles() { TemporaryFilesLock().unlock(); }

bool ProcessIsRunning(int process_id) {
  return ::kill(static_cast<pid_t>(process_id), 0) == 0 || errno == EPERM;
}

bool OwnedByThisUser(const std::filesystem::path& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && info.st_uid == ::getuid();
}

}  // namespace corvane::cli
