// The audit records and comment notes of the human-task steps (and the
// signature step's copy): which items each class audits, what a record holds,
// and how notes reach documents and stacks.
#include "shared/audit_notes.h"

#include <gtest/gtest.h>

#include "human_task_fixture.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

const std::string kStackItems =
    ItemList("stackitem", kDatabase, "stack",
             "<stackitem id=\"501\" typecode=\"30\"/><stackitem id=\"502\" typecode=\"31\"/>"
             "<stackitem id=\"503\" typecode=\"30\"/>");
const std::string kRecordSeries = ItemList("recordseries", kDatabase, "recordserieslist",
                                           "<recordseries id=\"601\" typecode=\"30\"/>");

class AuditNotesTest : public HumanTaskTest {
 protected:
  // Calls a class's copy of the audit dispatcher directly, as its entry points do.
  void Audit(std::string_view owner, std::string_view user = "17") {
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        sim.Services()->GetProcessInstance(kProcessId);
    corvane::AuditEvent(corvane::AuditCopyOf(owner), sim.Services(), instance.get(), "c",
                        "approved", 1, user);
  }
};

TEST_F(AuditNotesTest, EachCopyAuditsItsKindsAndReadsItsVersionFields) {
  struct Case {
    const char* owner;
    const std::string* list;
    std::vector<std::string> audited;  // "id/typecode vMajor.Minor"
  };
  const std::string documents = DocumentList({17});
  const Case cases[] = {
      {"DocApproval", &documents, {"17/2 v2.1"}},
      {"Review", &documents, {"17/2 v2.1"}},
      {"ToDo", &documents, {"17/2 v7.3"}},
      {"Signature", &documents, {"17/2 v7.3"}},
      // Stack items of type 31 have no event code; the others get versions 0.
      {"DocApproval", &kStackItems, {"501/30 v0.0", "503/30 v0.0"}},
      {"ToDo", &kStackItems, {"501/30 v0.0", "503/30 v0.0"}},
      {"Signature", &kStackItems, {}},
      {"Review", &kRecordSeries, {"601/30 v0.0"}},
      {"ToDo", &kRecordSeries, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.owner) + " " + *c.list);
    Reset();
    SetUpStep(*c.list);
    sim.AddDocument(kDatabase, {.id = 17,
                                .major_version = 2,
                                .minor_version = 1,
                                .fields = {sim::Field::Long("Major Version", 7),
                                           sim::Field::Long("Minor Version", 3)}});
    Audit(c.owner);
    std::vector<std::string> audited;
    for (const std::string& a : Audits()) {
      EXPECT_EQ(a.substr(0, a.rfind('|') + 1), "103|1|6|17|c|");
      audited.push_back(a.substr(a.rfind('|') + 1));
    }
    EXPECT_EQ(audited, c.audited);
    EXPECT_EQ(sim.Connected(), std::nullopt);
  }
}

TEST_F(AuditNotesTest, NoEventCodeMeansNothingIsReadOrStored) {
  SetUpStep(DocumentList({17}));
  sim.AddDocument(kDatabase, {.id = 17});
  sim.SetEventCode(2, "approved", 0);
  Audit("DocApproval");
  EXPECT_EQ(DmsOps(), (std::vector<std::string>{"IDmsService.Connect", "IDmsService.GetEventCode",
                                                "IDmsService.Disconnect"}));
}

TEST_F(AuditNotesTest, EmptyUserStoresRecordsWithoutUser) {
  SetUpStep(kStackItems);
  Audit("Review", "");
  EXPECT_EQ(Audits(),
            (std::vector<std::string>{"103|1|6|Null|c|501/30 v0.0", "103|1|6|Null|c|503/30 v0.0"}));
}

TEST_F(AuditNotesTest, NothingIsAuditedWithoutServiceOrDatabase) {
  SetUpStep(DocumentList({17}, -1));
  Audit("DocApproval");
  EXPECT_TRUE(DmsOps().empty());
  Reset();
  sim.options().dms_service = false;
  SetUpStep(DocumentList({17}));
  Audit("DocApproval");
  EXPECT_TRUE(sim.AuditRecords().empty());
}

TEST_F(AuditNotesTest, CommentNotesReachDocumentsAndStacksButNotRecordSeries) {
  struct Case {
    const std::string list;
    std::vector<std::string> notes;
    const char* note_entity;  // entity name and type code of the note, "" when none
  };
  const Case cases[] = {
      {DocumentList({17, -5, 18}),
       {"Document 17/2: ok by 17", "Document -5/-2: ok by 17", "Document 18/2: ok by 17"},
       "Comment 17"},
      {kStackItems,
       {"DataEntity 501/30: ok by 17", "DataEntity 502/31: ok by 17",
        "DataEntity 503/30: ok by 17"},
       "Comment 17"},
      {kRecordSeries, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    Reset();
    SetUpStep(c.list);
    for (int32_t id : {17, -5, 18}) sim.AddDocument(kDatabase, {.id = id});
    for (int32_t id : {501, 502, 503})
      sim.AddDataEntity(kDatabase, {.id = id, .type_code = id == 502 ? 31 : 30});
    AddAnswer({}, {{"COMMENTSASNOTES", true}, {"AUDIT_ACTIVITY", false}});
    sim.SetTaskVariable(kTaskId, {.name = "COMMENTS", .value = " ok "});
    // A refused attachment skips its item only.
    sim.InjectFault({.op = "IDmsService.AddComment", .skip = 1, .times = 1});
    EXPECT_EQ(Execute("Review"), 1);
    std::vector<std::string> expected = c.notes;
    if (!expected.empty()) expected.erase(expected.begin() + 1);
    EXPECT_EQ(Notes(), expected);
    for (const sim::Attachment& a : sim.Comments())
      EXPECT_EQ(a.entity.entity_name + " " + std::to_string(a.entity.type_code), c.note_entity);
  }
}

TEST_F(AuditNotesTest, NoteFailureIsReportedQuietlyThroughAddNote) {
  SetUpStep(DocumentList({17}));
  AddAnswer({}, {{"COMMENTSASNOTES", true}});
  sim.SetTaskVariable(kTaskId, {.name = "COMMENTS", .value = "ok"});
  sim.InjectFault({.op = "IDmsService.NewEntity", .description = "no template"});
  pelmark::Error e = ExecuteFailing("DocApproval");
  EXPECT_EQ(e.source(),
            "Pelmark.Dms => \r\nDocApproval:ProcessDocument Ln 2\r\n"
            "DocApproval: AddNote Function Ln 8 => \r\n"
            "Approval: IActivityRuntime_Execute Function (5)");
  EXPECT_EQ(platform.log, (std::vector<std::string>{"no template"}));
}

}  // namespace
}  // namespace corvane_test
