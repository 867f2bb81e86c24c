#include "temporary_directories.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <utility>

#include "portable.h"

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;

// The directories of this process that an interrupt removes; changed only under
// the temporary files' lock.
std::vector<std::string>& Listed() {
  static std::vector<std::string> paths;
  return paths;
}

// What an interrupt does. It waits for a write in progress, but not for ever (a
// write that hangs must not keep the tool from ending; that write is then in a
// file-system call, not changing the list), and keeps the lock: the tool's next
// write waits until the process has ended.
void RemoveListed() {
  (void)LockTemporaryFiles(2);
  for (const std::string& path : Listed()) {
    std::error_code ignored;
    fs::remove_all(PathOfUtf8(path), ignored);
  }
}

// The process id in a name "<prefix><pid>-XXXXXX" of one of the tool's prefixes.
std::optional<int> OwnerOf(std::string_view name) {
  for (std::string_view prefix : {kRegistryPrefix, kSandboxPrefix}) {
    if (!name.starts_with(prefix)) continue;
    std::string_view rest = name.substr(prefix.size());
    int pid = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    if (error != std::errc() || pid <= 0) return std::nullopt;
    const std::string_view random = rest.substr(static_cast<size_t>(end - rest.data()));
    if (random.size() != 7 || random[0] != '-') return std::nullopt;
    return pid;
  }
  return std::nullopt;
}

}  // namespace

HoldInterrupt::HoldInterrupt() {
  LockTemporaryFiles();
  static bool installed = false;
  if (!installed) CallOnInterrupt(RemoveListed);
  installed = true;
}

HoldInterrupt::~HoldInterrupt() { UnlockTemporaryFiles(); }

TemporaryDirectory::TemporaryDirectory(std::string_view prefix, std::error_code& error) {
  const HoldInterrupt hold;
  path_ = MakeUniqueDirectory(std::string(prefix) + std::to_string(ProcessId()) + "-", error);
  if (!path_.empty()) Listed().push_back(path_);
}

TemporaryDirectory::TemporaryDirectory(TemporaryDirectory&& other) noexcept
    : path_(std::exchange(other.path_, {})) {}

TemporaryDirectory& TemporaryDirectory::operator=(TemporaryDirectory&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

void TemporaryDirectory::Remove() {
  if (path_.empty()) return;
  const HoldInterrupt hold;
  std::error_code ignored;
  fs::remove_all(PathOfUtf8(path_), ignored);
  std::erase(Listed(), path_);
  path_.clear();
}

std::vector<StaleDirectory> RemoveStaleDirectories() {
  std::vector<StaleDirectory> out;
  std::error_code error;
  const fs::path temporary = fs::temp_directory_path(error);
  if (error) return out;
  for (fs::directory_iterator it(temporary, error), end; !error && it != end; it.increment(error)) {
    const fs::path& path = it->path();
    const std::optional<int> pid = OwnerOf(Utf8Of(path.filename()));
    if (!pid || *pid == ProcessId() || ProcessIsRunning(*pid)) continue;
    std::error_code ignored;
    if (!fs::is_directory(fs::symlink_status(path, ignored)) || !OwnedByThisUser(path)) continue;
    StaleDirectory stale{.path = Utf8Of(path), .process_id = *pid};
    std::error_code removing;
    fs::remove_all(path, removing);
    if (removing) stale.error = removing.message();
    out.push_back(std::move(stale));
  }
  std::sort(out.begin(), out.end(),
            [](const StaleDirectory& a, const StaleDirectory& b) { return a.path < b.path; });
  return out;
}

}  // namespace corvane::cli
