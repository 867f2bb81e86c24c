// The reference as a designer meets it: the pages in docs/classes are the ones
// the table makes, and `corvane describe --all` checks and repairs them.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "class_descriptions.h"
#include "corvane/catalogue.h"
#include "run_corvane.h"

namespace {

namespace fs = std::filesystem;
using corvane::cli::ClassDescription;
using corvane::cli::ClassDescriptions;
using namespace corvane::cli_test;

const fs::path kPages = fs::path(CORVANE_SOURCE_DIR) / "docs" / "classes";

TEST(ReferencePagesTest, CommittedPagesAndSchemasAreThoseTheTableMakes) {
  const std::map<std::string, std::string> files = corvane::cli::ReferenceFiles();
  for (const auto& [name, text] : files)
    EXPECT_EQ(Slurp(kPages / name), text)
        << name << " is out of date: corvane describe --all --write docs/classes";
  for (const auto& e : fs::directory_iterator(kPages))
    EXPECT_TRUE(files.count(e.path().filename().string()))
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
  EXPECT_EQ(write.out, "Wrote 33 pages and 33 schemas to " + dir.string() + "\n");
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

}  // namespace
