#include "linux/registry_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "component/registry_journal.h"
#include "corvane/platform.h"
#include "corvane/registry_entries.h"

namespace corvane {
namespace {

std::string Reason(int error) { return std::error_code(error, std::generic_category()).message(); }

// Why an entry cannot be used where a key or value should stand; empty when
// it is a directory or a regular file.
std::string Refusal(const struct stat& st) {
  if (S_ISLNK(st.st_mode))
    return "it is a symbolic link, and the registry never follows one; remove it";
  if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode))
    return "it is neither a directory nor a regular file; remove it";
  return {};
}

// A file descriptor closed when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

std::vector<std::string> Parts(const std::string& key) {
  std::vector<std::string> parts;
  for (size_t from = 0; from <= key.size();) {
    size_t slash = key.find('/', from);
    if (slash == std::string::npos) slash = key.size();
    if (slash > from) parts.push_back(key.substr(from, slash - from));
    from = slash + 1;
  }
  return parts;
}

// A failure the event log already holds.
struct Logged {};

// The registry directory, opened and locked for one registration or
// unregistration; the store of a RegistryJournal.
class RegistryDirectory {
 public:
  RegistryDirectory(std::string root, std::string verb) : root_(std::move(root)), verb_(verb) {}

  // Opens and locks the root, making it and its missing parents when `make`.
  // False when it does not exist (and !make). Throws Logged.
  bool Open(bool make) {
    for (;;) {
      chain_.clear();
      if (make) MakeRoot();
      fd_ = Fd(::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (!fd_) {
        if (errno == ENOENT && !make) return false;
        Fail(make ? "cannot make the key" : "cannot remove", root_, Reason(errno));
      }
      while (::flock(fd_.get(), LOCK_EX) != 0)
        if (errno != EINTR) Fail("cannot lock the registry", root_, Reason(errno));
      // A registration that made the root and then failed removes it again,
      // possibly while this one waited for the lock: then it starts anew.
      struct stat held {
      }, named{};
      if (::fstat(fd_.get(), &held) == 0 && ::stat(root_.c_str(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        return true;
      if (!make && ::stat(root_.c_str(), &named) != 0 && errno == ENOENT) return false;
    }
  }

  // After a failed registration: the root and the parents this run made.
  void RemoveMadeRoot() {
    chain_.clear();
    for (auto it = made_root_.rbegin(); it != made_root_.rend(); ++it)
      if (::rmdir(it->c_str()) != 0 && errno != ENOENT) Log("cannot remove", *it, Reason(errno));
  }

  // --- The journal's store ---

  std::vector<std::string> MakeKey(const std::string& key) {
    std::vector<std::string> made;
    std::string why;
    if (Reach(key, &made, &why) < 0) Fail("cannot make the key", KeyPath(key), why);
    return made;
  }

  std::optional<std::string> Read(const std::string& key, const std::string& name) {
    const std::string path = ValuePath(key, name);
    std::string why;
    const int dir = Reach(key, nullptr, &why);
    if (dir < 0) Fail("cannot read", path, why);
    Fd file(::openat(dir, FileName(name).c_str(),
                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file) {
      if (errno == ENOENT) return std::nullopt;
      Fail("cannot read", path, WhyNot(dir, FileName(name), errno));
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) Fail("cannot read", path, Reason(errno));
    if (std::string refusal = Refusal(st); !refusal.empty()) Fail("cannot read", path, refusal);
    std::string text;
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) Fail("cannot read", path, Reason(errno));
      if (got == 0) return text;
      text.append(buffer, static_cast<size_t>(got));
      if (text.size() > kMaxRegistryValueBytes)
        Fail("cannot read", path,
             "it holds more than " + std::to_string(kMaxRegistryValueBytes) +
                 " bytes, more than any registry value");
    }
  }

  void Write(const std::string& key, const std::string& name, const std::string& text) {
    if (int error = Replace(key, name, text))
      Fail("cannot write", ValuePath(key, name), Reason(error));
  }

  void Restore(const std::string& key, const std::string& name, const std::string& text) {
    if (int error = Replace(key, name, text))
      Log("cannot restore", ValuePath(key, name), Reason(error));
  }

  void RemoveValue(const std::string& key, const std::string& name) {
    const int dir = Reach(key, nullptr, nullptr);
    if (dir >= 0 && ::unlinkat(dir, FileName(name).c_str(), 0) == 0) return;
    if (errno != ENOENT) Log("cannot remove", ValuePath(key, name), Reason(errno));
  }

  void RemoveKey(const std::string& key) {
    const size_t slash = key.rfind('/');
    const int parent =
        Reach(slash == std::string::npos ? "" : key.substr(0, slash), nullptr, nullptr);
    const std::string last = slash == std::string::npos ? key : key.substr(slash + 1);
    const int error = parent < 0                                            ? errno
                      : ::unlinkat(parent, last.c_str(), AT_REMOVEDIR) == 0 ? 0
                                                                            : errno;
    chain_.clear();  // the key may have been open in it
    if (error != 0 && error != ENOENT) Log("cannot remove", KeyPath(key), Reason(error));
  }

  // --- Unregistration ---

  // Removes one key with everything under it. Each entry that stays is logged;
  // a key that stays only because something in it stayed is not logged again.
  bool RemoveTree(const std::string& key) {
    const size_t slash = key.rfind('/');
    std::string why;
    Fd parent(::dup(fd_.get()));
    if (slash != std::string::npos) {
      const int reached = Reach(key.substr(0, slash), nullptr, &why);
      if (reached < 0) {
        if (errno == ENOENT) return true;
        Log("cannot remove", KeyPath(key), why);
        return false;
      }
      parent = Fd(::dup(reached));
    }
    chain_.clear();
    return RemoveEntry(parent.get(), slash == std::string::npos ? key : key.substr(slash + 1),
                       KeyPath(key));
  }

  // Removes a container key when it is an empty directory; anything else is left.
  bool RemoveIfEmpty(const std::string& key) {
    chain_.clear();
    Fd dir(::openat(fd_.get(), key.c_str(), kKeyFlags));
    DIR* listing = dir ? ::fdopendir(::dup(dir.get())) : nullptr;
    if (!listing) return true;  // gone, or no key of ours
    bool empty = true;
    while (const dirent* e = ::readdir(listing))
      empty = empty && (std::string_view(e->d_name) == "." || std::string_view(e->d_name) == "..");
    ::closedir(listing);
    if (!empty) return true;
    if (::unlinkat(fd_.get(), key.c_str(), AT_REMOVEDIR) == 0 || errno == ENOTEMPTY ||
        errno == EEXIST || errno == ENOENT)
      return true;
    Log("cannot remove", KeyPath(key), Reason(errno));
    return false;
  }

 private:
  static std::string FileName(const std::string& name) { return name.empty() ? "@" : name; }

  std::string KeyPath(const std::string& key) const {
    std::string path = root_;
    if (!key.empty()) path += (path.empty() || path.back() == '/' ? "" : "/") + key;
    return path;
  }
  std::string ValuePath(const std::string& key, const std::string& name) const {
    return KeyPath(key) + "/" + FileName(name);
  }

  void Log(const std::string& what, const std::string& path, const std::string& why) const {
    Platform().LogError(verb_ + " " + what + " " + path + ": " + why);
  }
  [[noreturn]] void Fail(const std::string& what, const std::string& path,
                         const std::string& why) const {
    Log(what, path, why);
    throw Logged{};
  }

  // Why `name` in `dir` could not be opened as asked: a symbolic link or a
  // special file is named as such, anything else by the system's reason.
  static std::string WhyNot(int dir, const std::string& name, int error) {
    struct stat st {};
    if ((error == ELOOP || error == ENOTDIR || error == ENXIO) &&
        ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (std::string refusal = Refusal(st); !refusal.empty()) return refusal;
    }
    return Reason(error);
  }

  // Makes the root and each missing parent, remembering those it made.
  void MakeRoot() {
    std::vector<std::string> missing;
    std::string at = root_;
    while (!at.empty() && at != "/") {
      struct stat st {};
      if (::stat(at.c_str(), &st) == 0) {
        if (missing.empty() && !S_ISDIR(st.st_mode))
          Fail("cannot make the key", at, Reason(ENOTDIR));
        break;
      }
      if (errno != ENOENT) Fail("cannot make the key", at, Reason(errno));
      missing.push_back(at);
      const size_t slash = at.find_last_of('/', at.size() - 2);
      at = slash == std::string::npos ? "" : slash == 0 ? "/" : at.substr(0, slash);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      if (::mkdir(it->c_str(), 0755) != 0 && errno != EEXIST)
        Fail("cannot make the key", *it, Reason(errno));
      made_root_.push_back(*it);
    }
  }

  // The key's directory, reached from the root one name at a time without
  // following a link, or -1 with errno set and, when `why` is given, the
  // reason naming the entry in the way. Missing keys are made and listed in
  // `made` (outermost first) when it is given. The directories of the last
  // key reached stay open, so that the next key under the same parent opens
  // only its own name.
  int Reach(const std::string& key, std::vector<std::string>* made, std::string* why) {
    const std::vector<std::string> parts = Parts(key);
    size_t kept = 0;
    while (kept < chain_.size() && kept < parts.size() && chain_[kept].first == parts[kept]) ++kept;
    chain_.resize(kept);
    std::string walked;
    for (size_t i = 0; i < kept; ++i) walked += (i ? "/" : "") + parts[i];
    for (size_t i = kept; i < parts.size(); ++i) {
      const std::string& part = parts[i];
      walked += (i ? "/" : "") + part;
      const int dir = chain_.empty() ? fd_.get() : chain_.back().second.get();
      Fd next(::openat(dir, part.c_str(), kKeyFlags));
      if (!next && errno == ENOENT && made) {
        const bool made_here = ::mkdirat(dir, part.c_str(), 0755) == 0;
        if (made_here) made->push_back(walked);
        if (made_here || errno == EEXIST) next = Fd(::openat(dir, part.c_str(), kKeyFlags));
      }
      if (!next) {
        const int error = errno;
        if (why) {
          // The entry in the way is named when it is not the key itself.
          *why = WhyNot(dir, part, error);
          if (walked != key) *why = KeyPath(walked) + ": " + *why;
        }
        errno = error;
        return -1;
      }
      chain_.emplace_back(part, std::move(next));
    }
    return chain_.empty() ? fd_.get() : chain_.back().second.get();
  }

  // Writes a value's file whole: a new file renamed over the old name, so that
  // a reader never sees half a value and a link standing there is replaced,
  // not followed. Returns 0 or the error.
  int Replace(const std::string& key, const std::string& name, const std::string& text) {
    const int dir = Reach(key, nullptr, nullptr);
    if (dir < 0) return errno;
    const std::string file = FileName(name);
    // A file of this name left by a run that was killed is written over.
    const std::string fresh = "." + file + ".new";
    Fd out(
        ::openat(dir, fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out) return errno;
    for (size_t done = 0; done < text.size();) {
      const ssize_t wrote = ::write(out.get(), text.data() + done, text.size() - done);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote < 0) {
        const int error = errno;
        ::unlinkat(dir, fresh.c_str(), 0);
        return error;
      }
      done += static_cast<size_t>(wrote);
    }
    if (::renameat(dir, fresh.c_str(), dir, file.c_str()) != 0) {
      const int error = errno;
      ::unlinkat(dir, fresh.c_str(), 0);
      return error;
    }
    return 0;
  }

  bool RemoveEntry(int parent, const std::string& name, const std::string& path) {
    struct stat st {};
    if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) return true;
      Log("cannot remove", path, Reason(errno));
      return false;
    }
    if (!S_ISDIR(st.st_mode)) {
      // A link or a special file goes as it is, never what it points to.
      if (::unlinkat(parent, name.c_str(), 0) == 0 || errno == ENOENT) return true;
      Log("cannot remove", path, Reason(errno));
      return false;
    }
    Fd dir(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    DIR* listing = dir ? ::fdopendir(::dup(dir.get())) : nullptr;
    if (!listing) {
      Log("cannot remove", path, Reason(errno));
      return false;
    }
    std::vector<std::string> entries;
    while (const dirent* e = ::readdir(listing)) {
      const std::string entry = e->d_name;
      if (entry != "." && entry != "..") entries.push_back(entry);
    }
    ::closedir(listing);
    bool emptied = true;
    for (const std::string& entry : entries)
      emptied = RemoveEntry(dir.get(), entry, path + "/" + entry) && emptied;
    if (!emptied) return false;
    if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) return true;
    Log("cannot remove", path, Reason(errno));
    return false;
  }

  static constexpr int kKeyFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

  std::string root_;
  std::string verb_;  // "Registration" or "Unregistration", for the log
  Fd fd_;
  std::vector<std::string> made_root_;
  std::vector<std::pair<std::string, Fd>> chain_;  // the last key reached, root's child first
};

std::string Version() {
  return std::to_string(kLibraryMajorVersion) + "." + std::to_string(kLibraryMinorVersion);
}

}  // namespace

bool RegisterInto(const std::string& root, const std::string& module_path) {
  RegistryDirectory registry(root, "Registration");
  RegistryJournal<RegistryDirectory> journal(registry);
  try {
    registry.Open(/*make=*/true);
    for (const RegistryValue& v : RegistryValues(module_path))
      journal.Write(v.key, v.name, v.value);
    return true;
  } catch (const Logged&) {
  } catch (const std::exception& e) {
    Platform().LogError(std::string("Registration failed: ") + e.what());
  }
  journal.RollBack();
  registry.RemoveMadeRoot();
  return false;
}

bool UnregisterFrom(const std::string& root) {
  RegistryDirectory registry(root, "Unregistration");
  try {
    if (!registry.Open(/*make=*/false)) return true;  // nothing was ever registered there
  } catch (const Logged&) {
    return false;
  }
  bool removed = true;
  const std::string typelib_key = "TypeLib/" + pelmark::GuidToString(kLibraryId);
  removed = registry.RemoveTree(typelib_key + "/" + Version()) && removed;
  removed = registry.RemoveIfEmpty(typelib_key) && removed;  // only when no other version remains
  for (const ClassInfo& c : kCatalogue) {
    removed = registry.RemoveTree(std::string(kProgIdPrefix) + std::string(c.name)) && removed;
    removed = registry.RemoveTree(ClassKey(c.clsid)) && removed;
    removed = registry.RemoveTree("Interface/" + pelmark::GuidToString(c.default_iid)) && removed;
  }
  for (const char* container : {"TypeLib", "CLSID", "Interface"})
    removed = registry.RemoveIfEmpty(container) && removed;
  return removed;
}

}  // namespace corvane
