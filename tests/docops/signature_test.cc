// Signature: the signing annotation, its variables, and the request audit.
#include <gtest/gtest.h>

#include "activity_fixture.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

class SignatureTest : public ActivityTest {
 protected:
  void SetUpSigning(const std::string& item_list, Variant sign) {
    sim.SetProcess({.id = kProcessId, .variables = {sim::ItemListVariable(item_list)}});
    sim::TaskSpec task{.task_id = kTaskId,
                       .process_id = kProcessId,
                       .resource_id = "42",
                       .resource_name = "Mira Khan"};
    for (const char* p : {"LEFT", "TOP", "WIDTH", "HEIGHT", "PAGE_NUMBER"})
      task.parameters.push_back({p, 2});
    task.variables = {
        {.name = "SIGN", .value = std::move(sign)}, {.name = "SIGNEDON"}, {.name = "SIGNEDBY"}};
    sim.AddTask(std::move(task));
    sim.AddDatabase(kDatabase);
    for (int32_t id : {17, 18}) sim.AddDocument(kDatabase, {.id = id});
  }
  std::vector<std::string> WrittenNames() const {
    std::vector<std::string> out;
    for (const sim::VariableWrite& w : sim.TaskVariableWrites()) out.push_back(w.name);
    return out;
  }
};

TEST_F(SignatureTest, SignsEveryDocumentForTheAssignee) {
  SetUpSigning(DocumentList({17, 18}), true);
  EXPECT_EQ(Execute("Signature"), 1);
  ASSERT_EQ(sim.Annotations().size(), 2u);
  for (const sim::Attachment& a : sim.Annotations()) {
    EXPECT_EQ(a.entity.Value("User Id"), Variant("42"));
    EXPECT_EQ(a.entity.Value("Stamp Name"), Variant::Null());
    EXPECT_EQ(a.entity.Value("Type"), Variant(6));
  }
  EXPECT_EQ(WrittenNames(), (std::vector<std::string>{"SIGNEDON", "SIGNEDBY", "SIGNEDON"}));
  EXPECT_EQ(sim.TaskVariable(kTaskId, "SIGNEDBY"), Variant("Mira Khan"));
}

TEST_F(SignatureTest, OnlyAnExplicitNoSkipsTheStep) {
  for (Variant no : {Variant(false), Variant(0), Variant("False")}) {
    ResetSimulator();
    SetUpSigning(DocumentList({17}), no);
    EXPECT_EQ(Execute("Signature"), 1);
    EXPECT_TRUE(sim.TaskVariableWrites().empty()) << sim::FormatVariant(no);
    EXPECT_TRUE(sim.DmsCalls().empty());
  }
  // 1 is not False: the step signs.
  ResetSimulator();
  SetUpSigning(DocumentList({17}), 1);
  Execute("Signature");
  EXPECT_EQ(sim.Annotations().size(), 1u);
}

TEST_F(SignatureTest, WithoutADocumentListOnlyTheTimeIsWritten) {
  SetUpSigning(ItemList("stackitem", kDatabase, "stack", "<stackitem id=\"40\" typecode=\"8\"/>"),
               true);
  EXPECT_EQ(Execute("Signature"), 1);
  EXPECT_TRUE(sim.Annotations().empty());
  EXPECT_EQ(WrittenNames(), (std::vector<std::string>{"SIGNEDON"}));

  ResetSimulator();
  sim.options().dms_service = false;
  SetUpSigning(DocumentList({17}), true);
  EXPECT_EQ(Execute("Signature"), 1);
  EXPECT_EQ(WrittenNames(), (std::vector<std::string>{"SIGNEDON"}));
}

class SignatureInitializeTest : public ActivityTest {
 protected:
  void SetUpRequest(const std::string& item_list) {
    sim.SetProcess(
        {.id = kProcessId, .variables = {sim::ItemListVariable(item_list)}, .initiator_id = "21"});
    sim.SetActivity({.process_id = kProcessId});
    sim.AddDatabase(kDatabase);
    sim.SetEventCode(2, "signature_request", 88);
    sim.SetEventCode(8, "signature_request", 89);
    sim.AddDocument(kDatabase, {.id = 17,
                                .fields = {sim::Field::Long("Major Version", 3),
                                           sim::Field::Long("Minor Version", 1)}});
    sim.AddDataEntity(kDatabase, {.id = 40, .type_code = 8});
  }
  void Initialize() { NewActivity("Signature")->Initialize(sim.Services(), sim.Activity()); }
};

TEST_F(SignatureInitializeTest, AuditsTheRequestForDocumentsOnly) {
  SetUpRequest(DocumentList({17}));
  Initialize();
  std::vector<sim::StoredRecord> audits = sim.AuditRecords();
  ASSERT_EQ(audits.size(), 1u);
  const sim::Entity& record = audits[0].entity;
  EXPECT_EQ(record.Value("Event Code"), Variant(88));
  EXPECT_EQ(record.Value("Event Result"), Variant(1));
  EXPECT_EQ(record.Value("Comment"), Variant(""));
  EXPECT_EQ(record.Find("Audit User")->id, 21);
  EXPECT_EQ(record.Find("Audit Entity")->major_version, 3) << "read from \"Major Version\"";

  ResetSimulator();
  SetUpRequest(ItemList("stackitem", kDatabase, "stack", "<stackitem id=\"40\" typecode=\"8\"/>"));
  Initialize();
  EXPECT_TRUE(sim.AuditRecords().empty());
}

TEST_F(SignatureInitializeTest, FailuresAreReportedInTheBracketedForm) {
  SetUpRequest(DocumentList({17}));
  sim.InjectFault(
      {.op = "IDmsService.AddEntity", .number = 321, .description = "Audit store full"});
  pelmark::Error e = ErrorOf([&] { Initialize(); });
  EXPECT_EQ(e.number(), 321);
  EXPECT_TRUE(e.source().starts_with("Pelmark.Dms => \r\nSignature:AuditDocumentEvent Ln "))
      << e.source();
  EXPECT_NE(e.source().find(" => \r\nSignature:Auditevent Ln "), std::string::npos);
  EXPECT_TRUE(e.source().ends_with(" => \r\nSignature: IActivityRuntime_Initialize Sub (2)"));
  EXPECT_EQ(platform.log, (std::vector<std::string>{"Audit store full"}))
      << "the audit procedures are quiet; Initialize logs once";
}

}  // namespace
}  // namespace corvane_test
