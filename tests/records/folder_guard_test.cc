// The library's guard in front of the file system, on real directories: folder
// names with NUL or control characters, and folders that leave the host's export
// root through ".." or a symbolic link (also one swapped in after the check),
// are refused before anything is created.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "activity_fixture.h"
#include "corvane/component.h"

namespace corvane_test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// The test platform with the real file system underneath and an export root.
class RealFolders : public TestPlatform {
 public:
  bool PathExists(std::string_view path) override {
    return corvane::SystemPlatform().PathExists(path);
  }
  void CreateDirectory(std::string_view path) override {
    created.emplace_back(path);
    corvane::SystemPlatform().CreateDirectory(path);
  }
  void CreateDirectoryBelow(std::string_view root, std::string_view below,
                            std::string_view path) override {
    created.emplace_back(path);
    corvane::SystemPlatform().CreateDirectoryBelow(root, below, path);
  }
  std::string ExportRoot() override { return export_root; }

  std::string export_root;
};

class FolderGuardTest : public ActivityTest {
 protected:
  void SetUp() override {
    scratch_ = fs::temp_directory_path() / ("corvane-folder-guard-" + std::to_string(::getpid()));
    fs::remove_all(scratch_);
    fs::create_directories(root() / "exports");
    fs::create_directories(outside());
    folders_.export_root = root().string();
  }
  void TearDown() override {
    ActivityTest::TearDown();
    fs::remove_all(scratch_);
  }

  fs::path root() const { return scratch_ / "root"; }
  fs::path outside() const { return scratch_ / "outside"; }

  pelmark::ComPtr<corvane::_ExportToFolder> Folders() {
    activity_ = NewActivity("ExportToFolder");
    return activity_.try_query<corvane::_ExportToFolder>();
  }

  RealFolders folders_;  // installed after the fixture's own platform, so it is in force

 private:
  fs::path scratch_;
  pelmark::ComPtr<pelmark::IActivityRuntime> activity_;
};

TEST_F(FolderGuardTest, FoldersInsideTheRootAreMadeAsBefore) {
  auto folders = Folders();
  folders->MakeDirectory((root() / "exports" / "2026" / "march").string());
  EXPECT_TRUE(fs::is_directory(root() / "exports" / "2026" / "march"));
  EXPECT_TRUE(folders->DirectoryExists((root() / "exports" / "2026").string()));
  EXPECT_TRUE(folders->DirectoryExists((root() / "exports" / ".." / "exports").string()))
      << "a '..' that stays inside is allowed";
  EXPECT_TRUE(folders->DirectoryExists(root().parent_path().string()))
      << "the walk down from the top may ask about the root's parents";
  std::ofstream(root() / "exports" / "file.txt") << "x";
  EXPECT_FALSE(folders->DirectoryExists((root() / "exports" / "file.txt" / "x").string()))
      << "a level that is a file";
  // A folder another step made in the meantime is no failure.
  EXPECT_NO_THROW(corvane::SystemPlatform().CreateDirectoryBelow(
      root().string(), "exports/2026", (root() / "exports" / "2026").string()));
}

TEST_F(FolderGuardTest, DotDotOutOfTheRootIsRefusedAndNothingIsMade) {
  auto folders = Folders();
  const std::string escape = (root() / "exports" / ".." / ".." / "outside" / "stolen").string();
  EXPECT_EQ(ErrorNumberOf([&] { folders->MakeDirectory(escape); }), 70);
  EXPECT_FALSE(fs::exists(outside() / "stolen"));
  EXPECT_EQ(ErrorNumberOf([&] { folders->DirectoryExists(outside().string()); }), 70)
      << "not even the existence of an outside folder is answered";
  // Backslashes are separators here, so a design written for another platform
  // cannot slip past either.
  const std::string backslashed = root().string() + "\\exports\\..\\..\\outside\\stolen";
  EXPECT_EQ(ErrorNumberOf([&] { folders->MakeDirectory(backslashed); }), 70);
  EXPECT_FALSE(fs::exists(outside() / "stolen"));
  // A path that leaves the root and comes back ends inside it, yet would make the
  // folder it passes through outside: that level is refused.
  const std::string round_trip =
      (root() / ".." / "outside" / "new" / ".." / ".." / "root" / "x").string();
  EXPECT_EQ(ErrorNumberOf([&] { folders->MakeDirectory(round_trip); }), 70);
  EXPECT_FALSE(fs::exists(outside() / "new"));
}

TEST_F(FolderGuardTest, ASymbolicLinkOutOfTheRootIsRefusedAndNothingIsMade) {
  fs::create_directory_symlink(outside(), root() / "exports" / "link");
  auto folders = Folders();
  EXPECT_EQ(ErrorNumberOf(
                [&] { folders->MakeDirectory((root() / "exports" / "link" / "stolen").string()); }),
            70);
  EXPECT_FALSE(fs::exists(outside() / "stolen"));
  EXPECT_TRUE(folders_.created.empty());
}

TEST_F(FolderGuardTest, TheRootsParentsAreRefusedAsTargetsAndNothingIsExported) {
  for (const std::string& folder :
       {"/"s, ""s, ".."s, root().string() + "/..", root().string() + "\\..\\"}) {
    SCOPED_TRACE(folder);
    ResetSimulator();
    SetUpTask(DocumentList({17}), {{"FOLDER", folder}, {"EXPORT_DOCUMENT", ""}}, {});
    sim.AddDocument(kDatabase, {.id = 17});
    EXPECT_EQ(ExecuteFailing("ExportToFolder").number(), 70);
    EXPECT_TRUE(sim.Exports().empty());
  }
  EXPECT_TRUE(folders_.created.empty());
  // The root itself is inside.
  ResetSimulator();
  SetUpTask(DocumentList({17}), {{"FOLDER", root().string() + "/"}, {"EXPORT_DOCUMENT", ""}}, {});
  sim.AddDocument(kDatabase, {.id = 17});
  EXPECT_EQ(Execute("ExportToFolder"), 1);
  ASSERT_EQ(sim.Exports().size(), 1u);
  EXPECT_EQ(sim.Exports()[0].folder, root().string());
}

// A thread swaps a directory under the root with a link to a directory
// outside it, back and forth, while folders are made below that name: a check
// that passed never carries a folder outside, whatever the timing.
TEST_F(FolderGuardTest, ALinkSwappedInWhileFoldersAreMadeNeverCarriesOneOutside) {
  const fs::path place = root() / "exports" / "swapped";
  const fs::path other = root() / "exports" / "other";
  fs::create_directory(place);
  fs::create_directory_symlink(outside(), other);
  std::atomic<bool> stop{false};
  std::thread swapper([&] {
    while (!stop) ::renameat2(AT_FDCWD, place.c_str(), AT_FDCWD, other.c_str(), RENAME_EXCHANGE);
  });
  auto folders = Folders();
  int made = 0, refused = 0;
  for (int round = 0; round < 3000; ++round) {
    try {
      folders->MakeDirectory((place / ("r" + std::to_string(round)) / "x").string());
      ++made;
    } catch (const pelmark::Error& e) {
      ++refused;
      EXPECT_TRUE(e.number() == 70 || e.number() == 75 || e.number() == 76) << e.number();
    }
  }
  stop = true;
  swapper.join();
  EXPECT_TRUE(fs::is_empty(outside())) << "a folder was made outside the root";
  EXPECT_GT(made, 0);
  EXPECT_GT(refused, 0);
}

TEST_F(FolderGuardTest, NulAndControlCharactersAreRefusedWithOrWithoutARoot) {
  for (bool with_root : {true, false}) {
    folders_.export_root = with_root ? root().string() : "";
    auto folders = Folders();
    const std::string nul = (root() / "exports").string() + "/a\0b"s;
    EXPECT_EQ(ErrorNumberOf([&] { folders->MakeDirectory(nul); }), 52);
    EXPECT_FALSE(fs::exists(root() / "exports" / "a")) << "the name is not cut short at the NUL";
    EXPECT_EQ(ErrorNumberOf([&] { folders->DirectoryExists(nul); }), 52);
    const std::string tab = (root() / "exports").string() + "/a\tb";
    EXPECT_EQ(ErrorNumberOf([&] { folders->MakeDirectory(tab); }), 52);
    EXPECT_TRUE(folders_.created.empty());
  }
}

TEST_F(FolderGuardTest, TheStepReportsTheRefusalWithItsChainAndExportsNothing) {
  SetUpTask(DocumentList({17}),
            {{"FOLDER", root().string() + "/../outside/x"}, {"EXPORT_DOCUMENT", ""}}, {});
  sim.AddDocument(kDatabase, {.id = 17});
  pelmark::Error e = ExecuteFailing("ExportToFolder");
  EXPECT_EQ(e.number(), 70);
  EXPECT_EQ(e.description(), "Permission denied");
  EXPECT_EQ(e.source(), "Corvane\r\nExportToFolder: IActivityRuntime_Execute Function Ln 11");
  EXPECT_TRUE(sim.Exports().empty());
  EXPECT_FALSE(fs::exists(outside() / "x"));
  ASSERT_EQ(folders_.log.size(), 1u);
  EXPECT_EQ(folders_.log[0], "Permission denied");
}

}  // namespace
}  // namespace corvane_test
