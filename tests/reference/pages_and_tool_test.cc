// The reference as a designer meets it: the pages in docs/classes are the ones
// the table makes, `corvane describe` finds a class by name, ProgID or CLSID,
// and `corvane new` writes a scenario that runs as it is.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "class_descriptions.h"
#include "corvane/catalogue.h"

namespace {

namespace fs = std::filesystem;
using corvane::cli::ClassDescription;
using corvane::cli::ClassDescriptions;
using Json = nlohmann::ordered_json;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

fs::path Scratch() {
  static const fs::path dir = [] {
    fs::path d =
        fs::temp_directory_path() / ("corvane-reference-test-" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

Outcome Corvane(const std::string& args) {
  const fs::path out = Scratch() / "stdout", err = Scratch() / "stderr";
  const std::string command = std::string(CORVANE_CLI_PATH) + " " + args + " >" + out.string() +
                              " 2>" + err.string() + " </dev/null";
  int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), Slurp(out), Slurp(err)};
}

const fs::path kPages = fs::path(CORVANE_SOURCE_DIR) / "docs" / "classes";

TEST(ReferencePagesTest, CommittedPagesAreThoseTheTableMakes) {
  std::set<std::string> expected = {"README.md"};
  for (const ClassDescription& d : ClassDescriptions()) {
    expected.insert(d.name + ".md");
    EXPECT_EQ(Slurp(kPages / (d.name + ".md")), corvane::cli::DescriptionMarkdown(d))
        << d.name << ".md is out of date: corvane describe --all --write docs/classes";
  }
  EXPECT_EQ(Slurp(kPages / "README.md"), corvane::cli::ReferenceIndexMarkdown());
  for (const auto& e : fs::directory_iterator(kPages))
    EXPECT_TRUE(expected.count(e.path().filename().string()))
        << e.path() << " is no page of the table";
}

TEST(ReferencePagesTest, EveryPageHasEachSectionAndTheTaskStepsTheirDecision) {
  for (const ClassDescription& d : ClassDescriptions()) {
    SCOPED_TRACE(d.name);
    const std::string page = corvane::cli::DescriptionMarkdown(d);
    for (const char* section :
         {"## Parameters", "## Task variables read", "## Task variables written", "## Errors"})
      EXPECT_NE(page.find(section), std::string::npos) << section;
    for (const auto& p : d.parameters)
      EXPECT_NE(page.find("| `" + p.name + "` |"), std::string::npos);
    const bool decides = d.name == "DocApproval" || d.name == "Review" || d.name == "ToDo";
    EXPECT_EQ(page.find("## Decision") != std::string::npos, decides);
  }
  // The approval step's ten rows, in order, with the counts they use.
  const ClassDescription& approval = *corvane::cli::FindDescription("DocApproval");
  ASSERT_EQ(approval.decision.size(), 10u);
  EXPECT_EQ(approval.decision[3].condition, "T = 0 and M > 0 and A < M and M - A <= N - C");
  EXPECT_EQ(approval.decision[3].result, 3);
  EXPECT_EQ(approval.decision[5].approved, "True if A >= M, else False");
}

TEST(ReferenceToolTest, CheckFindsAStalePageAndWriteRepairsIt) {
  const fs::path dir = Scratch() / "pages";
  Outcome write = Corvane("describe --all --write " + dir.string());
  ASSERT_EQ(write.status, 0) << write.err;
  EXPECT_EQ(write.out, "Wrote 33 pages to " + dir.string() + "\n");
  EXPECT_EQ(Corvane("describe --all --check " + dir.string()).status, 0);
  EXPECT_EQ(Corvane("describe --all --check " + kPages.string()).status, 0);

  std::ofstream(dir / "Wait.md", std::ios::app) << "\nA local edit.\n";
  fs::remove(dir / "Notify.md");
  Outcome check = Corvane("describe --all --check " + dir.string());
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.out.find("Wait.md: differs from the class table"), std::string::npos)
      << check.out;
  EXPECT_NE(check.out.find("Notify.md: missing"), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("2 page(s) out of date"), std::string::npos) << check.out;

  // A directory that cannot be made: a message, exit 2, no files.
  std::ofstream(Scratch() / "plain-file") << "x";
  Outcome bad = Corvane("describe --all --write " + (Scratch() / "plain-file" / "pages").string());
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("cannot create the directory"), std::string::npos) << bad.err;
}

TEST(ReferenceToolTest, DescribeFindsAClassByNameProgIdOrClsidInAnyCase) {
  Outcome by_name = Corvane("describe MarkAsVital");
  ASSERT_EQ(by_name.status, 0) << by_name.err;
  EXPECT_NE(by_name.out.find("Parameter REASON (task, text, required)"), std::string::npos)
      << by_name.out;
  EXPECT_NE(by_name.out.find("\"MarkAsVital:ProcessItems Ln \""), std::string::npos);
  for (const char* spelling :
       {"corvane.markasvital", "{3077EE4C-C191-4082-97D0-06A0B6A3C68C}",
        "3077ee4c-c191-4082-97d0-06a0b6a3c68c", "'{3077ee4c-c191-4082-97d0-06a0b6a3c68c}'"}) {
    SCOPED_TRACE(spelling);
    Outcome other = Corvane(std::string("describe ") + spelling);
    EXPECT_EQ(other.status, 0) << other.err;
    EXPECT_EQ(other.out, by_name.out);
  }
  Outcome unknown = Corvane("describe {00000000-0000-0000-0000-000000000000}");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown class"), std::string::npos) << unknown.err;
  EXPECT_TRUE(unknown.out.empty());

  Outcome json = Corvane("describe --json Wait");
  ASSERT_EQ(json.status, 0);
  Json wait = Json::parse(json.out);
  EXPECT_EQ(wait["clsid"], "{DC2B4C72-9AD7-446F-9BA4-A1E0D60E4B98}");
  ASSERT_EQ(wait["parameters"].size(), 4u);
  EXPECT_EQ(wait["parameters"][2]["name"], "INTERVAL_TYPE");
  EXPECT_EQ(wait["parameters"][2]["required"], true);

  Outcome markdown = Corvane("describe --markdown Notify");
  EXPECT_EQ(markdown.out, Slurp(kPages / "Notify.md"));
  EXPECT_EQ(Corvane("describe --json --markdown Notify").status, 2);
}

TEST(NewScenarioTest, EverySkeletonRunsAsItIs) {
  std::string files;
  for (const corvane::ClassInfo& c : corvane::kCatalogue) {
    const std::string name(c.name);
    SCOPED_TRACE(name);
    const fs::path file = Scratch() / (name + ".json");
    Outcome made = Corvane("new --output " + file.string() + " " + name);
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(Json::parse(Slurp(file))["class"], name);
    files += " " + file.string();
  }
  // One run for all: loading the module is the slow part.
  Outcome run = Corvane("run --json" + files);
  EXPECT_EQ(run.status, 0) << run.err;
  Json reports = Json::parse(run.out)["scenarios"];
  ASSERT_EQ(reports.size(), corvane::kClassCount);
  for (const Json& report : reports) {
    EXPECT_TRUE(report["passed"].get<bool>()) << report.dump(1).substr(0, 3000);
    // A skeleton has no expectations, so a call that raised would still pass.
    for (const Json& call : report["calls"])
      EXPECT_TRUE(call["error"].is_null())
          << call["class"] << "." << call["method"] << ": " << call["error"].dump();
  }

  // The skeleton declares what the class writes, so a designer sees the writes.
  Json vital = Json::parse(Corvane("new MarkAsVital").out);
  EXPECT_EQ(vital["tasks"][0]["parameters"].size(), 1u);
  EXPECT_TRUE(vital["tasks"][0]["variables"].contains("ISVITAL"));
  EXPECT_TRUE(vital["tasks"][0]["variables"].contains("MARKEDASRECORDON"));

  // An existing file is kept unless --force; an unknown class writes nothing.
  const fs::path kept = Scratch() / "kept.json";
  std::ofstream(kept) << "mine";
  EXPECT_EQ(Corvane("new --output " + kept.string() + " Wait").status, 2);
  EXPECT_EQ(Slurp(kept), "mine");
  EXPECT_EQ(Corvane("new --force --output " + kept.string() + " Wait").status, 0);
  EXPECT_NE(Slurp(kept), "mine");
  const fs::path none = Scratch() / "none.json";
  EXPECT_EQ(Corvane("new --output " + none.string() + " Waitt").status, 2);
  EXPECT_FALSE(fs::exists(none));
}

TEST(HelpCommandTest, HelpWithACommandPrintsThatCommandsHelp) {
  for (const char* command : {"run", "classes", "describe", "new", "template", "register"}) {
    SCOPED_TRACE(command);
    Outcome help = Corvane(std::string("help ") + command);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, Corvane(std::string(command) + " --help").out);
  }
  Outcome unknown = Corvane("help frobnicate");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("no command \"frobnicate\""), std::string::npos);
}

}  // namespace
