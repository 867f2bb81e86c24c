#include "corvane/platform.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "rules/error_report.h"
#include "rules/file_system.h"

namespace corvane {
namespace {

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
