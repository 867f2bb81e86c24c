#include "corvane/platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "rules/error_report.h"
#include "rules/file_system.h"
#include "rules/utf8_path.h"

namespace corvane {
namespace {

// Read by every call on every thread; a host may install services while steps
// run on other threads, and each call then sees the old or the new ones whole.
std::atomic<PlatformServices*> g_installed{nullptr};

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

// Where a folder lies in the export root, with ".." and symbolic links
// resolved as far as it exists.
struct Placement {
  std::filesystem::path root;   // the root, resolved
  std::filesystem::path below;  // the folder's names under it; empty for the root itself
  bool inside = false;          // the folder is the root or lies under it
  bool above = false;           // the folder is one of the root's own parents
};

Placement Place(PlatformServices& platform, const std::string& root, std::string_view path) {
  namespace fs = std::filesystem;
  std::error_code root_error, path_error;
  Placement p;
  p.root = fs::weakly_canonical(fs::absolute(PathOfUtf8(root), root_error), root_error);
  fs::path target = fs::weakly_canonical(
      fs::absolute(PathOfUtf8(platform.HostPath(path)), path_error), path_error);
  if (root_error || path_error) Raise(75);
  // "/srv/exports/" ends in an empty element that would never match.
  auto trim = [](fs::path& p) {
    if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
  };
  trim(p.root);
  trim(target);
  auto [in_root, in_target] =
      std::mismatch(p.root.begin(), p.root.end(), target.begin(), target.end());
  p.inside = in_root == p.root.end();
  p.above = !p.inside && in_target == target.end();
  for (; p.inside && in_target != target.end(); ++in_target) p.below /= *in_target;
  return p;
}

}  // namespace

bool FolderExists(std::string_view path) {
  PlatformServices& platform = Platform();
  CheckFolderName(path);
  // The walk down from the top may ask whether one of the root's own parents exists.
  if (const std::string root = platform.ExportRoot(); !root.empty()) {
    Placement p = Place(platform, root, path);
    if (!p.inside && !p.above) Raise(70, "Permission denied");
  }
  return platform.PathExists(path);
}

void CheckFolderInsideRoot(std::string_view path) {
  PlatformServices& platform = Platform();
  CheckFolderName(path);
  if (const std::string root = platform.ExportRoot(); !root.empty()) {
    if (!Place(platform, root, path).inside) Raise(70, "Permission denied");
  }
}

void CreateFolder(std::string_view path) {
  PlatformServices& platform = Platform();
  CheckFolderName(path);
  const std::string root = platform.ExportRoot();
  if (root.empty()) return platform.CreateDirectory(path);
  Placement p = Place(platform, root, path);
  if (!p.inside) Raise(70, "Permission denied");
  platform.CreateDirectoryBelow(Utf8Of(p.root), Utf8Of(p.below, true), path);
}

PlatformServices& Platform() {
  PlatformServices* installed = g_installed.load(std::memory_order_acquire);
  return installed ? *installed : SystemPlatform();
}

PlatformServices* SetPlatform(PlatformServices* services) {
  return g_installed.exchange(services, std::memory_order_acq_rel);
}

}  // namespace corvane

extern "C" corvane::PlatformServices* CorvaneSetPlatform(corvane::PlatformServices* services) {
  return corvane::SetPlatform(services);
}
