// What the run report says about the simulator's journal: the source of a
// request that failed, the journal entry each saved or stored record came
// from, and reports of walks too long to hold whole.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "run_corvane.h"

namespace {

using namespace corvane::cli_test;

fs::path Example(const std::string& name) {
  return fs::path(CORVANE_SOURCE_DIR) / "examples" / name;
}

// The value of a journal entry's argument, or null when it has none of that name.
Json ArgValue(const Json& entry, const std::string& name) {
  for (const Json& a : entry["args"])
    if (a["name"] == name) return a["value"]["value"];
  return nullptr;
}

TEST(ReportJournalTest, AFailedRequestShowsItsSourceInTheJournalAndTheSkippedList) {
  Json scenario = Json::parse(Slurp(Example("records/mark-as-vital.json")));
  scenario.erase("expect");
  scenario["faults"] = {{{"op", "IDmsService.MarkAsVital"},
                         {"when", {{"item.ID", 18}}},
                         {"number", -2147217900},
                         {"source", "Archive.Gateway\r\nArchive.Lock"},
                         {"description", "Locked by another user"}}};
  const fs::path file = WriteScenario("locked.json", scenario.dump());

  Outcome text = Corvane("run " + Quoted(file));
  ASSERT_EQ(text.status, 0) << text.err << text.out;
  EXPECT_NE(text.out.find("Skipped: errors the step caught and went on past:\n     1. Document 18 "
                          "(IDmsService.MarkAsVital): error -2147217900, Locked by another user, "
                          "source Archive.Gateway | Archive.Lock\n"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("item.ID=18, item.TypeCode=2, reason=\"Contracts are vital records\") "
                          "!! error -2147217900 (Archive.Gateway | Archive.Lock): Locked by "
                          "another user\n"),
            std::string::npos)
      << text.out;

  Outcome json = Corvane("run --json " + Quoted(file));
  ASSERT_EQ(json.status, 0) << json.err;
  const Json call = Json::parse(json.out)["scenarios"][0]["calls"][0];
  ASSERT_EQ(call["skipped"].size(), 1u) << call["skipped"].dump();
  const Json& skipped = call["skipped"][0];
  EXPECT_EQ(skipped["item"], "Document 18");
  EXPECT_EQ(skipped["error"],
            Json({{"number", -2147217900}, {"description", "Locked by another user"}}));
  EXPECT_EQ(skipped["error_source"], "Archive.Gateway\r\nArchive.Lock");
  size_t failed = 0;
  for (const Json& entry : call["journal"]) {
    if (!entry.contains("error")) {
      EXPECT_FALSE(entry.contains("error_source")) << entry.dump();
      continue;
    }
    ++failed;
    EXPECT_EQ(ArgValue(entry, "item.ID"), 18);
    EXPECT_EQ(entry["error_source"], "Archive.Gateway\r\nArchive.Lock");
  }
  EXPECT_EQ(failed, 1u);
}

TEST(ReportJournalTest, EachSavedOrStoredRecordNamesTheJournalEntryThatMadeIt) {
  // Each list, the request that makes its records, and the argument naming
  // the item (or, for stored records, the id the request answered).
  static const struct {
    const char* list;
    const char* op;
    const char* id_argument;
  } kinds[] = {
      {"saves", "IDmsService.Save", "entity.ID"},
      {"stored", "IDmsService.AddEntity", nullptr},
      {"comments", "IDmsService.AddComment", "item.ID"},
      {"annotations", "IDmsService.AddAnnotation", "item.ID"},
      {"aces", "IDmsService.AddAce", "item.ID"},
  };
  std::map<std::string, size_t> checked;
  for (const char* example : {"docops/approved-contracts.json", "docops/sign-documents.json",
                              "fields/case-file-stack.json", "tasks/review-of-a-policy.json"}) {
    SCOPED_TRACE(example);
    Outcome json = Corvane("run --json " + Quoted(Example(example)));
    Outcome text = Corvane("run " + Quoted(Example(example)));
    ASSERT_EQ(json.status, 0) << json.err;
    ASSERT_EQ(text.status, 0) << text.err;
    size_t records = 0;
    const Json report = Json::parse(json.out)["scenarios"][0];
    for (const Json& call : report["calls"]) {
      const Json& journal = call["journal"];
      for (const auto& kind : kinds) {
        for (const Json& record : call[kind.list]) {
          ++records;
          ++checked[kind.list];
          ASSERT_TRUE(record.contains("journal_entry")) << kind.list << ": " << record.dump();
          const size_t n = record["journal_entry"].get<size_t>();
          ASSERT_GE(n, 1u);
          ASSERT_LE(n, journal.size());
          const Json& entry = journal[n - 1];
          EXPECT_TRUE(entry["op"].get<std::string>().starts_with(kind.op))
              << kind.list << " record names " << entry["text"];
          const Json& entity = record.contains("entity") ? record["entity"] : record["ace"];
          if (kind.id_argument) {
            const Json& item = record.contains("item") ? record["item"] : entity;
            EXPECT_EQ(ArgValue(entry, kind.id_argument), item["id"]) << entry["text"];
          } else {
            EXPECT_EQ(entry["result"]["value"], entity["id"]) << entry["text"];
          }
          // The text report names the same entry after the record.
          EXPECT_NE(text.out.find(" (journal entry " + std::to_string(n) + ")\n"),
                    std::string::npos)
              << kind.list << " " << n;
        }
      }
    }
    EXPECT_GT(records, 0u);
  }
  for (const auto& kind : kinds) EXPECT_GT(checked[kind.list], 0u) << kind.list;
}

TEST(ReportJournalTest, TheJsonReportIsOneDocumentInTheUsualLayout) {
  // The report is written piece by piece; it must read as if dumped whole.
  std::string files;
  for (const char* example : {"records/records-lifecycle.json", "tasks/review-of-a-policy.json",
                              "notify/notify-legal-team.json", "errors/unknown-entity-type.json"})
    files += " " + Quoted(Example(example));
  const fs::path broken = WriteScenario("broken.json", "{\"class\": \"MarkAsVital\"");
  Outcome json = Corvane("run --json" + files + " " + Quoted(broken));
  EXPECT_EQ(json.status, 2) << json.err;
  const Json document = Json::parse(json.out);
  EXPECT_EQ(json.out, document.dump(2) + "\n");
  ASSERT_EQ(document["scenarios"].size(), 5u);
  EXPECT_EQ(document["scenarios"][0]["scenario"], broken.string()) << "unreadable files come first";
  EXPECT_TRUE(document["scenarios"][0].contains("error"));
  EXPECT_EQ(document["status"], 2);
  for (size_t i = 1; i < 5; ++i) EXPECT_TRUE(document["scenarios"][i]["passed"].get<bool>());
}

#if !defined(CORVANE_SANITIZED) && !defined(__SANITIZE_THREAD__)
TEST(ReportJournalTest, AWalkOverTwentyThousandDocumentsFitsInAModestMemoryLimit) {
  // Holding the report whole took about 25 KB per document; written as it is
  // made, the run stays far below this limit.
  Json documents = Json::array(), ids = Json::array();
  for (int id = 1; id <= 20000; ++id) {
    documents.push_back({{"database", 7}, {"id", id}});
    ids.push_back(id);
  }
  Json scenario = {
      {"class", "MarkAsVital"},
      {"now", "2025-03-14T09:30:00"},
      {"dms", {{"documents", documents}}},
      {"process",
       {{"id", 12}, {"itemlist", {{"entitytype", "document"}, {"dbid", 7}, {"items", ids}}}}},
      {"tasks",
       {{{"id", 5},
         {"parameters", {{"REASON", "vital"}}},
         {"variables", {{"MARKEDASRECORDON", nullptr}, {"ISVITAL", false}}}}}},
      {"expect", {{"result", 1}}}};
  const fs::path file = WriteScenario("twenty-thousand.json", scenario.dump());
  Outcome run = Corvane("run " + Quoted(file), "ulimit -v 300000; ");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\n     20000. MarkAsVital Document 20000 (type 2), reason \"vital\"\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("\n     20000. Document 20000 in database 7; flags: Vital\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("\nPASS "), std::string::npos);
}
#endif

}  // namespace
