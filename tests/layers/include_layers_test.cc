// Keeps the whole tree layered. In src/ the rules are the ground floor; the
// framework and the template engine sit on them, the shared procedures on
// those, the activity families on the shared procedures (never on one another),
// the class table above the families, and the Linux component server and the
// Windows COM server on top. The Windows automation layer sits on the rules
// alone, so that corvane.exe can use it without any class. Outside src/, each
// top-level folder may include only the src/ folders its list names: the
// simulator the rules, the tool the rules and the template engine, and so on.
// Read from the #include lines of every source; an include names a src/ folder
// when the header it names is in src/.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Folders = std::set<std::string>;

struct SourceFile {
  std::string path;  // from the source root: "src/records/flag_activities.cc"
  std::string text;
};

const Folders kFamilies = {"records", "flow", "tasks", "fields", "notify", "docops"};

Folders Plus(Folders folders, const Folders& more) {
  folders.insert(more.begin(), more.end());
  return folders;
}

// The src/ folders a place may include, besides its own src/ folder and the
// public headers. The longest place that starts a file's path is the file's.
const std::map<std::string, Folders>& Layers() {
  static const std::map<std::string, Folders> layers = [] {
    const Folders below_families = {"rules", "templates", "framework", "shared", "design"};
    const Folders library = Plus(Plus(below_families, kFamilies), {"component"});
    std::map<std::string, Folders> l = {
        {"src/rules", {}},
        {"src/templates", {"rules"}},
        {"src/framework", {"rules"}},
        {"src/shared", {"rules", "templates", "framework"}},
        // What the classes read and write, as data, and the checks over it.
        {"src/design", {"rules", "templates"}},
        {"src/component", Plus(below_families, kFamilies)},
        {"src/linux", library},
        {"src/automation", {"rules"}},
        {"src/windows", Plus(library, {"automation"})},
        // The simulator shares the case mapping with the library, nothing more.
        {"sim", {"rules"}},
        // The tool reaches the classes only through the module it loads; on
        // Windows it calls them through the automation layer.
        {"tools", {"rules", "templates", "design"}},
        {"tools/corvane/windows", {"rules", "templates", "design", "automation"}},
        // Benchmarks and fuzz targets drive the library in-process, below the
        // bindings.
        {"bench", library},
        {"fuzz", library},
        // Tests reach the bindings' servers only as a host does; the module and
        // tool tests meet both from outside, as hosts and users do.
        {"tests", Plus(library, {"automation"})},
        {"tests/module", {}},
        {"tests/cli", {}},
        // Built against the installed headers alone.
        {"examples", {}},
    };
    for (const std::string& family : kFamilies) l["src/" + family] = below_families;
    return l;
  }();
  return layers;
}

// The layer a file belongs to, or null when no layer knows its folder.
const std::pair<const std::string, Folders>* LayerOf(const std::string& path) {
  const std::pair<const std::string, Folders>* found = nullptr;
  for (const auto& layer : Layers()) {
    if (path.starts_with(layer.first + "/") && (!found || layer.first.size() > found->first.size()))
      found = &layer;
  }
  return found;
}

// The src/ folder a file is in ("records" for src/records/a.cc), or "".
std::string OwnFolder(const std::string& path) {
  if (!path.starts_with("src/")) return {};
  return path.substr(4, path.find('/', 4) - 4);
}

// One line per include that crosses the layers the wrong way, and one per file
// in a folder that has no layer.
std::vector<std::string> Violations(const std::vector<SourceFile>& files,
                                    const std::function<bool(const std::string&)>& in_src) {
  static const std::regex kInclude(R"re(^\s*#\s*include\s*"(([A-Za-z_]+)/[^"]+)")re");
  std::vector<std::string> found;
  for (const SourceFile& file : files) {
    const auto* layer = LayerOf(file.path);
    if (!layer) {
      found.push_back(file.path + ": no layer for its folder");
      continue;
    }
    const std::string own = OwnFolder(file.path);
    std::istringstream lines(file.text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
      ++number;
      std::smatch match;
      if (!std::regex_search(line, match, kInclude) || !in_src(match[1])) continue;
      const std::string folder = match[2];
      if (folder == own || layer->second.count(folder)) continue;
      found.push_back(file.path + ":" + std::to_string(number) + ": " + layer->first +
                      " includes " + folder);
    }
  }
  return found;
}

fs::path SourceRoot() {
#ifdef CORVANE_SOURCE_DIR
  return fs::path(CORVANE_SOURCE_DIR);
#endif
  fs::path self(__FILE__);
  if (self.is_relative()) self = fs::current_path() / self;
  return fs::weakly_canonical(self).parent_path().parent_path().parent_path();
}

// Every .cc and .h of the folders the layers cover, and of any other folder
// below src/.
std::vector<SourceFile> ReadSources(const fs::path& root) {
  std::vector<SourceFile> files;
  for (const char* top : {"src", "sim", "tools", "bench", "fuzz", "tests", "examples"}) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root / top)) {
      const fs::path& path = entry.path();
      if (!entry.is_regular_file() || (path.extension() != ".cc" && path.extension() != ".h"))
        continue;
      std::ifstream in(path);
      std::stringstream text;
      text << in.rdbuf();
      files.push_back({fs::relative(path, root).generic_string(), text.str()});
    }
  }
  return files;
}

TEST(IncludeLayersTest, CheckerFlagsWrongIncludesOnly) {
  static const struct {
    const char* path;
    const char* include;
    bool allowed;
  } kCases[] = {
      {"src/rules/a.cc", "framework/xml.h", false},
      {"src/framework/a.cc", "templates/format_engine.h", false},
      {"src/framework/a.cc", "rules/variant_rules.h", true},
      {"src/templates/a.cc", "shared/resources.h", false},
      {"src/shared/a.cc", "tasks/human_tasks.h", false},
      {"src/notify/a.cc", "tasks/human_tasks.h", false},
      {"src/notify/a.cc", "notify/sender_list.h", true},
      {"src/notify/a.cc", "shared/resources.h", true},
      {"src/tasks/a.cc", "component/class_table.h", false},
      {"src/component/a.cc", "linux/server.h", false},
      {"src/automation/a.cc", "component/class_table.h", false},
      {"src/automation/a.cc", "framework/activity.h", false},
      {"src/windows/a.cc", "automation/automation.h", true},
      {"src/windows/a.cc", "linux/server.h", false},
      {"sim/a.cc", "rules/case_mapping.h", true},
      {"sim/a.cc", "framework/xml.h", false},
      {"tools/corvane/a.cc", "templates/template_check.h", true},
      {"tools/corvane/a.cc", "component/class_table.h", false},
      {"tools/corvane/a.cc", "automation/automation.h", false},
      {"tools/corvane/windows/a.cc", "automation/automation.h", true},
      {"tools/corvane/windows/a.cc", "windows/server.h", false},
      {"bench/a.cc", "linux/server.h", false},
      {"tests/records/a.cc", "records/flag_activities.h", true},
      {"tests/module/a.cc", "component/class_table.h", false},
      {"examples/host/a.cc", "rules/variant_rules.h", false},
  };
  // Public headers, and headers that are not src/'s, are no layer's business.
  const auto in_src = [](const std::string& include) {
    return !include.starts_with("corvane/") && include != "templates/reference_render.h";
  };
  for (const auto& c : kCases) {
    const std::vector<SourceFile> file = {
        {c.path, std::string("#include \"") + c.include + "\"\n"}};
    EXPECT_EQ(Violations(file, in_src).empty(), c.allowed) << c.path << " includes " << c.include;
  }
  const std::vector<SourceFile> others = {
      {"tests/templates/a.cc", "#include \"templates/reference_render.h\"\n#include <vector>\n"},
      {"examples/host/a.cc", "#include \"corvane/loader.h\"\n"},
      {"src/extra/a.cc", "\n"},
  };
  EXPECT_EQ(Violations(others, in_src),
            (std::vector<std::string>{"src/extra/a.cc: no layer for its folder"}));
}

TEST(IncludeLayersTest, TreeIncludesOnlyWhatItsLayerAllows) {
  const fs::path root = SourceRoot();
  ASSERT_TRUE(fs::is_directory(root / "src" / "rules")) << "source tree not found at " << root;
  const std::vector<SourceFile> files = ReadSources(root);
  const auto in_src = [&](const std::string& include) {
    return fs::is_regular_file(root / "src" / include);
  };
  std::string listing;
  for (const std::string& v : Violations(files, in_src)) listing += v + "\n";
  EXPECT_TRUE(listing.empty()) << listing;
}

// An include that two headers could answer would be settled by the order of
// the include directories. Each include is looked up as the compiler does: in
// the including file's folder, then in the folders the build puts on the
// include path.
TEST(IncludeLayersTest, EachIncludeNamesOneHeader) {
  static const char* const kIncludePath[] = {"include", "src",           "sim",
                                             "tests",   "tools/corvane", "tools/corvane/windows"};
  static const std::regex kQuoted(R"re(^\s*#\s*include\s*"([^"]+)")re");
  const fs::path root = SourceRoot();
  std::set<std::string> listing;
  for (const SourceFile& file : ReadSources(root)) {
    std::istringstream lines(file.text);
    std::string line;
    while (std::getline(lines, line)) {
      std::smatch match;
      if (!std::regex_search(line, match, kQuoted)) continue;
      std::set<fs::path> found;
      const fs::path beside = (root / file.path).parent_path() / std::string(match[1]);
      if (fs::is_regular_file(beside)) found.insert(fs::weakly_canonical(beside));
      for (const char* folder : kIncludePath) {
        const fs::path candidate = root / folder / std::string(match[1]);
        if (fs::is_regular_file(candidate)) found.insert(fs::weakly_canonical(candidate));
      }
      if (found.size() > 1) listing.insert(file.path + ": \"" + std::string(match[1]) + "\"");
    }
  }
  std::string text;
  for (const std::string& l : listing) text += l + "\n";
  EXPECT_TRUE(text.empty()) << "included by a name two headers have:\n" << text;
}

}  // namespace
