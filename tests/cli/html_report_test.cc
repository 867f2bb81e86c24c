// `corvane run --html FILE`: the page carries the very document --json prints,
// safely inside its script element, and writing it changes neither what the
// run prints nor its exit status. The page as a browser draws it is checked in
// tests/report/.
#include <gtest/gtest.h>

#include <string>

#include "run_corvane.h"

namespace {

using namespace corvane::cli_test;

const fs::path kExamples = fs::path(CORVANE_SOURCE_DIR) / "examples";

// The JSON between the page's data element's tags, as written.
std::string EmbeddedData(const std::string& page) {
  const std::string open = R"(<script type="application/json" id="report-data">)";
  const size_t start = page.find(open);
  if (start == std::string::npos) return "";
  const size_t end = page.find("</script>", start);
  return page.substr(start + open.size(), end - start - open.size());
}

TEST(HtmlReportTest, ThePageHoldsTheJsonDocumentAndTheRunPrintsWhatItPrintedBefore) {
  // A description that would end the script element if it were written raw,
  // one failing expectation and one scenario that cannot be read: exit 2.
  std::string vital = Slurp(kExamples / "records/mark-as-vital.json");
  const std::string description = R"("description": ")";
  vital.insert(vital.find(description) + description.size(),
               R"(</script><script>document.title='x'<\/script><!-- )");
  const std::string scenarios = Quoted(WriteScenario("closing-tag.json", vital)) + " " +
                                Quoted(WriteScenario("broken.json", R"({"class": )")) + " " +
                                Quoted(kExamples / "flow/end-workflow.json");
  const fs::path page = Scratch() / "report.html";

  for (const std::string format : {"--json ", ""}) {
    fs::remove(page);
    Outcome plain = Corvane("run " + format + scenarios);
    Outcome with_page = Corvane("run " + format + "--html " + Quoted(page) + " " + scenarios);
    EXPECT_EQ(with_page.status, 2) << with_page.err;
    EXPECT_EQ(with_page.status, plain.status);
    EXPECT_EQ(with_page.out, plain.out) << "--html changed the " << format << "report";
    ASSERT_TRUE(fs::exists(page)) << with_page.err;

    const std::string html = Slurp(page);
    const std::string data = EmbeddedData(html);
    EXPECT_EQ(data.find('<'), std::string::npos) << "a '<' in the data can end its element";
    const Json document = Json::parse(data);
    if (!format.empty()) {
      EXPECT_EQ(document, Json::parse(plain.out));
    }
    // The scenario that cannot be read comes first, as in the JSON report.
    ASSERT_EQ(document["scenarios"].size(), 3u);
    EXPECT_TRUE(document["scenarios"][0].contains("error"));
    EXPECT_TRUE(document["scenarios"][1]["description"].get<std::string>().starts_with(
        "</script><script>"));
    EXPECT_EQ(document["status"], 2);
  }
  for (const auto& e : fs::directory_iterator(Scratch()))
    EXPECT_EQ(e.path().string().find(".tmp-"), std::string::npos) << e.path();
}

}  // namespace
