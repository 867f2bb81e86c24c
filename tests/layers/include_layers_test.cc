// Keeps the source folders layered: the framework is the ground floor, the
// template engine and the shared procedures sit on it, the activity families on
// those (never on one another), the component folder above them, and the two
// platform bindings (linux, windows) on top, never including each other. A folder
// may include only folders below it, read from the #include lines of every source.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct SourceFile {
  std::string folder;  // "framework", "records", ...
  std::string path;    // for messages
  std::string text;
};

const std::set<std::string> kFamilies = {"records", "flow", "tasks", "fields", "notify", "docops"};
const std::set<std::string> kBindings = {"linux", "windows"};

// The folders each folder may include besides itself and the public headers.
std::set<std::string> AllowedBelow(const std::string& folder) {
  if (folder == "framework") return {};
  if (folder == "templates") return {"framework"};
  if (folder == "shared") return {"framework", "templates"};
  if (kFamilies.count(folder)) return {"framework", "templates", "shared"};
  if (folder == "component" || kBindings.count(folder)) {
    std::set<std::string> all = kFamilies;
    all.insert({"framework", "templates", "shared"});
    if (kBindings.count(folder)) all.insert("component");
    return all;
  }
  return {};
}

// One line per include that crosses the layers the wrong way.
std::vector<std::string> Violations(const std::vector<SourceFile>& files) {
  static const std::regex kInclude(R"(^\s*#\s*include\s*"([A-Za-z_]+)/[^"]+")");
  std::vector<std::string> found;
  for (const SourceFile& file : files) {
    std::istringstream lines(file.text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
      ++number;
      std::smatch match;
      if (!std::regex_search(line, match, kInclude)) continue;
      const std::string target = match[1];
      if (target == file.folder || target == "pelmark" || target == "corvane") continue;
      if (AllowedBelow(file.folder).count(target)) continue;
      found.push_back(file.path + ":" + std::to_string(number) + ": " + file.folder + " includes " +
                      target);
    }
  }
  return found;
}

// The source tree: named by the build, or else found from this file's own path,
// which the compiler sees absolute or relative to the build folder.
fs::path SourceRoot() {
#ifdef CORVANE_SOURCE_DIR
  return fs::path(CORVANE_SOURCE_DIR);
#endif
  fs::path self(__FILE__);
  if (self.is_relative()) self = fs::current_path() / self;
  return fs::weakly_canonical(self).parent_path().parent_path().parent_path();
}

std::vector<SourceFile> ReadSources(const fs::path& src) {
  std::vector<SourceFile> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(src)) {
    const fs::path& path = entry.path();
    if (!entry.is_regular_file() || (path.extension() != ".cc" && path.extension() != ".h"))
      continue;
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    files.push_back({fs::relative(path, src).begin()->string(),
                     fs::relative(path, src.parent_path()).string(), text.str()});
  }
  return files;
}

TEST(IncludeLayersTest, CheckerFlagsEachWrongDirection) {
  const std::vector<SourceFile> files = {
      {"framework", "src/framework/a.cc", "#include \"records/x.h\"\n#include \"shared/y.h\"\n"},
      {"framework", "src/framework/b.cc", "#include \"templates/z.h\"\n"},
      {"framework", "src/framework/c.cc", "#include \"component/class_table.h\"\n"},
      {"shared", "src/shared/d.cc", "#include \"tasks/human_tasks.h\"\n"},
      {"notify", "src/notify/e.cc", "#include \"tasks/x.h\"\n"},
      {"tasks", "src/tasks/f.cc", "#include \"component/class_table.h\"\n"},
      {"templates", "src/templates/g.cc", "#include \"shared/x.h\"\n"},
      {"component", "src/component/h.cc", "#include \"linux/x.h\"\n"},
      {"windows", "src/windows/i.cc", "#include \"linux/x.h\"\n"},
  };
  EXPECT_EQ(Violations(files), (std::vector<std::string>{
                                   "src/framework/a.cc:1: framework includes records",
                                   "src/framework/a.cc:2: framework includes shared",
                                   "src/framework/b.cc:1: framework includes templates",
                                   "src/framework/c.cc:1: framework includes component",
                                   "src/shared/d.cc:1: shared includes tasks",
                                   "src/notify/e.cc:1: notify includes tasks",
                                   "src/tasks/f.cc:1: tasks includes component",
                                   "src/templates/g.cc:1: templates includes shared",
                                   "src/component/h.cc:1: component includes linux",
                                   "src/windows/i.cc:1: windows includes linux",
                               }));
}

TEST(IncludeLayersTest, CheckerAcceptsDownwardIncludes) {
  const std::vector<SourceFile> files = {
      {"component", "src/component/a.cc",
       "#include \"records/x.h\"\n#include \"docops/y.h\"\n#include \"framework/z.h\"\n"},
      {"notify", "src/notify/b.cc",
       "#include \"shared/resources.h\"\n#include \"templates/f.h\"\n#include <vector>\n"},
      {"shared", "src/shared/c.cc", "#include \"templates/format_engine.h\"\n"},
      {"windows", "src/windows/e.cc",
       "#include \"component/class_table.h\"\n#include \"framework/activity.h\"\n"},
      {"framework", "src/framework/d.cc",
       "#include \"corvane/platform.h\"\n#include \"pelmark/com.h\"\n"},
  };
  EXPECT_TRUE(Violations(files).empty());
}

TEST(IncludeLayersTest, LibrarySourcesIncludeOnlyLowerLayers) {
  const fs::path src = SourceRoot() / "src";
  ASSERT_TRUE(fs::is_directory(src / "framework")) << "source tree not found at " << src;
  const std::vector<SourceFile> files = ReadSources(src);
  std::set<std::string> folders;
  for (const SourceFile& file : files) folders.insert(file.folder);
  // Every folder the library has is one the layers know.
  for (const std::string& folder : folders)
    EXPECT_TRUE(folder == "framework" || !AllowedBelow(folder).empty())
        << "folder " << folder << " has no place in the layers";
  EXPECT_TRUE(folders.count("component") && folders.count("shared") && folders.count("framework"));
  const std::vector<std::string> violations = Violations(files);
  std::string listing;
  for (const std::string& v : violations) listing += v + "\n";
  EXPECT_TRUE(violations.empty()) << listing;
}

}  // namespace
