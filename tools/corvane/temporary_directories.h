// The temporary directories of a run: its registry, when none is given, and its
// file-system sandbox. Each is named after the process that made it, removed when
// the run ends, removed too when the run is interrupted (SIGINT, SIGTERM or
// SIGHUP; Ctrl+C or a closed console on Windows), and removed by a later run when
// its process was killed before it could clean up.
//
// Typical usage:
//   std::error_code error;
//   TemporaryDirectory sandbox("corvane-files-", error);
//   if (sandbox.path().empty()) ...;  // `error` says why
//
// Threading: any thread may make and remove directories; an interrupt removes
// them from a thread of its own.
#pragma once

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace corvane::cli {

// The prefixes of the tool's temporary directories.
inline constexpr std::string_view kRegistryPrefix = "corvane-registry-";
inline constexpr std::string_view kSandboxPrefix = "corvane-files-";

// While one is held, an interrupt waits (a few seconds at most) before it
// removes the temporary directories, so that what is being written into them is
// removed with them rather than made again beside the removal. Hold one around
// each write into a temporary directory, and around nothing that may block for
// long. Once the tool is interrupted, making one waits for the end of the process.
class HoldInterrupt {
 public:
  HoldInterrupt();
  ~HoldInterrupt();
  HoldInterrupt(const HoldInterrupt&) = delete;
  HoldInterrupt& operator=(const HoldInterrupt&) = delete;
};

class TemporaryDirectory {
 public:
  TemporaryDirectory() = default;
  // Makes `prefix`<process id>-<six characters> in the system's temporary
  // directory. On failure path() is empty and `error` says why.
  TemporaryDirectory(std::string_view prefix, std::error_code& error);
  ~TemporaryDirectory() { Remove(); }
  TemporaryDirectory(TemporaryDirectory&& other) noexcept;
  TemporaryDirectory& operator=(TemporaryDirectory&& other) noexcept;

  const std::string& path() const { return path_; }
  // Removes the directory and everything in it now (also done on destruction).
  void Remove();

 private:
  std::string path_;
};

// A directory a killed run left behind, and whether it could be removed.
struct StaleDirectory {
  std::string path{};
  int process_id = 0;
  std::string error{};  // empty when removed
};

// Removes the tool's directories in the system's temporary directory whose
// process has ended, and answers them. Directories of running processes, and on
// Linux those of other users, are left alone.
std::vector<StaleDirectory> RemoveStaleDirectories();

}  // namespace corvane::cli
