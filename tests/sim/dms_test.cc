// The simulated DMS: document look-up, connection, records management, stored
// records, saves, fault injection by argument and the notification service.
#include <gtest/gtest.h>

#include "errors.h"
#include "library_objects.h"
#include "simulator.h"

namespace {

using corvane_test::ErrorOf;

using pelmark::ComPtr;
using pelmark::Variant;
using sim_test::TestRef;
using sim_test::TestSession;

class SimDmsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s.AddDocument(7, {.id = 17, .fields = {sim::Field::Text("Title", "Report")}});
    s.AddDocument(7, {.id = -12, .doc_type_code = 7, .parent_id = 300, .parent_type_code = 44});
    s.AddDataEntity(7,
                    {.id = 300, .type_code = 44, .fields = {sim::Field::Text("Title", "Stack")}});
    s.AddRecordSeries(7, {.id = 500,
                          .type_code = 9,
                          .fields = {sim::Field::Choice("Status", 57, "Active"),
                                     sim::Field::Lookup("Retention Label", 3, 57, "Ten years")}});
    s.AddSecurityLabel(7, "Secret", 90);
    dms = ComPtr<pelmark::IService>(s.Services()->GetService("DmsService"))
              .try_query<pelmark::IDmsService>();
    ASSERT_TRUE(dms);
  }
  void Connect() { dms->Connect(7, &session); }

  sim::Simulator s;
  TestSession session;
  ComPtr<pelmark::IDmsService> dms;
};

TEST_F(SimDmsTest, DocumentsAreFoundByTwoOrTheirDocTypeCodeWithTheIdsSign) {
  Connect();
  static const struct {
    int32_t id, type_code;
    bool found;
  } cases[] = {
      {17, 2, true},   {17, -2, false}, {17, 5, false},  {-12, -2, true},
      {-12, -7, true}, {-12, 7, false}, {-12, 2, false}, {99, 2, false},
  };
  for (const auto& c : cases) {
    TestRef ref("Document", c.id, c.type_code);
    EXPECT_EQ(static_cast<bool>(dms->GetDocument(&ref)), c.found) << c.id << "/" << c.type_code;
  }
  TestRef wrong_kind("DataEntity", 17, 2);
  EXPECT_THROW(dms->GetDocument(&wrong_kind), pelmark::Error);
  EXPECT_EQ(session.refs, 0u);  // the session was read, not kept
}

TEST_F(SimDmsTest, ItemOperationsNeedAConnectionToAKnownDatabase) {
  TestRef ref("Document", 17, 2);
  pelmark::Error e = ErrorOf([&] { dms->GetDocument(&ref); });
  EXPECT_EQ(e.number(), sim::kErrNotConnected);
  EXPECT_EQ(e.source(), sim::kDmsSource);
  EXPECT_THROW(dms->Connect(8, &session), pelmark::Error);
  Connect();
  EXPECT_EQ(s.Connected(), 7);
  EXPECT_TRUE(dms->GetDocument(&ref));
  dms->Disconnect();
  EXPECT_FALSE(s.Connected());
  // Jobs, users and codes need no connection.
  EXPECT_EQ(dms->GetIntervalTypeCode("Days"), 4);
  EXPECT_EQ(dms->GetIntervalTypeCode("fortnight"), 0);
}

TEST_F(SimDmsTest, FieldsMatchWithoutCaseAndExposeTheirKinds) {
  Connect();
  TestRef ref("RecordSeries", 500, 9);
  ComPtr<pelmark::IEntity> series = dms->GetRecordSeries(&ref);
  ComPtr<pelmark::IFields> fields = series->Fields();
  ComPtr<pelmark::IField> status = fields->Item("status");
  ASSERT_TRUE(status);
  EXPECT_EQ(status->Name(), "Status");
  auto choice = status.try_query<pelmark::IChoiceField>();
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->KeyValue(), 57);
  EXPECT_EQ(choice->DisplayText(), "Active");
  EXPECT_FALSE(status.try_query<pelmark::ILookupField>());
  auto label = fields->Item("retention label").try_query<pelmark::ILookupField>();
  ASSERT_TRUE(label);
  EXPECT_EQ(label->Value(), Variant(3));
  EXPECT_EQ(label->DisplayValue(), "Ten years");
  pelmark::Error e = ErrorOf([&] { fields->Item("title"); });
  EXPECT_EQ(e.number(), sim::kErrUnknownName);
  EXPECT_EQ(fields->ItemAt(2)->Name(), "Retention Label");
  EXPECT_THROW(fields->ItemAt(3), pelmark::Error);
}

TEST_F(SimDmsTest, AKeyedFieldMayBeNull) {
  s.AddRecordSeries(7, {.id = 501, .type_code = 9, .fields = {sim::Field::NullChoice("Status")}});
  Connect();
  TestRef ref("RecordSeries", 501, 9);
  ComPtr<pelmark::IField> status = dms->GetRecordSeries(&ref)->Fields()->Item("Status");
  EXPECT_TRUE(status->IsNullValue());
  EXPECT_TRUE(status->Value().is_null());
  EXPECT_EQ(status->DataType(), sim::kKeyed);
  auto choice = status.try_query<pelmark::IChoiceField>();
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->KeyValue(), 0);
}

TEST_F(SimDmsTest, FieldWritesReachTheStoreOnlyWhenSaved) {
  Connect();
  TestRef ref("Document", 17, 2);
  ComPtr<pelmark::IEntity> doc = dms->GetDocument(&ref);
  doc->Fields()->Item("title")->SetValue(Variant(42.0));
  EXPECT_EQ(s.FieldValue(7, "Document", 17, "Title"), Variant("Report"));
  dms->SaveDocument(doc.get());
  EXPECT_EQ(s.FieldValue(7, "Document", 17, "Title"), Variant(42.0));
  ASSERT_EQ(s.Saves().size(), 1u);
  EXPECT_EQ(s.Saves()[0].op, "SaveDocument");
  EXPECT_THROW(dms->SaveDataEntity(doc.get()), pelmark::Error);  // wrong kind
}

TEST_F(SimDmsTest, RecordsManagementSetsFlagsAndJournalsTheReference) {
  Connect();
  TestRef ref("Document", -12, -2);
  EXPECT_TRUE(dms->MarkAsVital(&ref, "keep"));
  EXPECT_TRUE(s.FindItem(7, "Document", -12)->flags.at("Vital"));
  dms->UnmarkAsVital(&ref, "");
  EXPECT_FALSE(s.FindItem(7, "Document", -12)->flags.at("Vital"));

  sim::Call call = s.DmsCalls()[1];
  EXPECT_EQ(call.ToString(),
            "IDmsService.MarkAsVital [DmsService](item.EntityName=\"Document\", item.ID=-12, "
            "item.TypeCode=-2, reason=\"keep\") -> True");
  TestRef missing("Document", 18, 2);
  EXPECT_THROW(dms->PutOnHold(&missing, "x"), pelmark::Error);
}

TEST_F(SimDmsTest, FaultsMatchOnTheItemArgument) {
  Connect();
  s.AddDocument(7, {.id = 18});
  s.InjectFault({.op = "IDmsService.MarkAsRecord", .when = {{"item.ID", 18}}, .number = 1234});
  TestRef first("Document", 17, 2), second("Document", 18, 2);
  EXPECT_TRUE(dms->MarkAsRecord(&first, ""));
  pelmark::Error e = ErrorOf([&] { dms->MarkAsRecord(&second, ""); });
  EXPECT_EQ(e.number(), 1234);
  EXPECT_EQ(e.source(), sim::kDmsSource);
  // The failed call did nothing, and is journaled with its error.
  EXPECT_EQ(s.FindItem(7, "Document", 18)->flags.count("Record"), 0u);
  EXPECT_EQ(s.DmsCalls().back().error_number, 1234);
  EXPECT_EQ(s.ItemOperations().size(), 1u);
}

TEST_F(SimDmsTest, NewEntitiesAreStoredAsCopies) {
  ComPtr<pelmark::IEntity> record = dms->NewEntity("AuditRecord");
  record->SetID(0);
  record->Fields()->Item("Comment")->SetValue(Variant("first"));
  record->Fields()->Item("Audit User")->SetIsNullValue(true);
  auto entity = record->Fields()->Item("Audit Entity").try_query<pelmark::ILookupField>();
  entity->SetID(17);
  entity->SetTypeCode(2);
  int32_t id1 = dms->AddEntity(record.get());
  record->Fields()->Item("Comment")->SetValue(Variant("second"));
  int32_t id2 = dms->AddEntity(record.get());

  auto audits = s.AuditRecords();
  ASSERT_EQ(audits.size(), 2u);
  EXPECT_NE(id1, id2);
  EXPECT_EQ(audits[0].entity.id, id1);
  EXPECT_EQ(audits[0].entity.Value("Comment"), Variant("first"));
  EXPECT_EQ(audits[1].entity.Value("Comment"), Variant("second"));
  EXPECT_TRUE(audits[0].entity.Find("Audit User")->is_null());
  EXPECT_EQ(audits[0].entity.Find("Audit Entity")->type_code, 2);
  EXPECT_FALSE(audits[0].database);
  EXPECT_THROW(dms->NewEntity("Spaceship"), pelmark::Error);
}

TEST_F(SimDmsTest, StoredJobsAreFoundByGetJob) {
  ComPtr<pelmark::IEntity> job = dms->NewEntity("Job");
  job->Fields()->Item("Start Date")->SetValue(Variant::Date(45000.5));
  int32_t id = dms->AddEntity(job.get());
  TestRef ref("Job", id, 61);
  ComPtr<pelmark::IEntity> found = dms->GetJob(&ref);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->Fields()->Item("Start Date")->Value(), Variant::Date(45000.5));
  s.RemoveJob(id);
  EXPECT_FALSE(dms->GetJob(&ref));
}

TEST_F(SimDmsTest, AttachmentsLabelsAndPublishingAreRecorded) {
  Connect();
  TestRef doc("Document", 17, 2), stack("DataEntity", 300, 44);
  ComPtr<pelmark::IEntity> note = dms->NewEntity("Comment");
  note->Fields()->Item("Comment")->SetValue(Variant("ok"));
  dms->AddComment(&stack, note.get());
  EXPECT_THROW(dms->AddAnnotation(&stack, note.get()), pelmark::Error);  // documents only

  ComPtr<pelmark::IEntity> label = dms->GetSecurityLabel("SECRET");
  ASSERT_TRUE(label);
  TestRef label_ref(label->EntityName(), label->ID(), label->TypeCode());
  dms->ApplyLabel(&doc, &label_ref);
  TestRef minor("Document", 17, 2, 1);
  dms->PublishDocument(&minor);

  ASSERT_EQ(s.Comments().size(), 1u);
  EXPECT_EQ(s.Comments()[0].item, (sim::Ref{"DataEntity", 300, 44, 0}));
  EXPECT_EQ(s.Comments()[0].entity.Value("Comment"), Variant("ok"));
  ASSERT_EQ(s.LabelsApplied().size(), 1u);
  EXPECT_EQ(s.LabelsApplied()[0].label_name, "Secret");
  EXPECT_EQ(s.FindItem(7, "Document", 17)->labels, std::vector<std::string>{"Secret"});
  ASSERT_EQ(s.Publications().size(), 1u);
  EXPECT_EQ(s.Publications()[0].item.version_type, 1);
  EXPECT_EQ(s.FieldValue(7, "Document", 17, "MinorVersion"), Variant(1));
}

TEST_F(SimDmsTest, EachRecordNamesTheJournalEntryOfTheCallThatMadeIt) {
  Connect();
  TestRef doc("Document", 17, 2), principal("User", 25, 18);
  ComPtr<pelmark::IEntity> note = dms->NewEntity("Comment");
  dms->AddComment(&doc, note.get());
  dms->AddAnnotation(&doc, dms->NewEntity("Annotation").get());
  dms->AddAce(&doc, &principal, dms->NewEntity("Ace").get());
  dms->AddEntity(dms->NewEntity("AuditRecord").get());
  ComPtr<pelmark::IEntity> document = dms->GetDocument(&doc);
  document->Fields()->Item("Title")->SetValue(Variant("Renamed"));
  dms->SaveDocument(document.get());

  auto op_of = [&](size_t journal_index) { return std::string(s.JournalOp(journal_index)); };
  ASSERT_EQ(s.Comments().size(), 1u);
  EXPECT_EQ(op_of(s.Comments()[0].journal_index), "IDmsService.AddComment");
  ASSERT_EQ(s.Annotations().size(), 1u);
  EXPECT_EQ(op_of(s.Annotations()[0].journal_index), "IDmsService.AddAnnotation");
  ASSERT_EQ(s.Aces().size(), 1u);
  EXPECT_EQ(op_of(s.Aces()[0].journal_index), "IDmsService.AddAce");
  ASSERT_EQ(s.StoredRecords().size(), 1u);
  const sim::Call add = s.JournalEntry(s.StoredRecords()[0].journal_index);
  EXPECT_EQ(add.op, "IDmsService.AddEntity");
  EXPECT_EQ(add.result, Variant(s.StoredRecords()[0].entity.id));
  ASSERT_EQ(s.Saves().size(), 1u);
  EXPECT_EQ(op_of(s.Saves()[0].journal_index), "IDmsService.SaveDocument");
  EXPECT_EQ(s.Saves()[0].journal_index, s.JournalSize() - 1);
}

TEST_F(SimDmsTest, DeletingAStackWithChildrenRemovesItsDocuments) {
  Connect();
  TestRef stack("DataEntity", 300, 44);
  EXPECT_TRUE(dms->DeleteDataEntity(&stack, true, "done"));
  EXPECT_FALSE(s.FindItem(7, "DataEntity", 300));
  EXPECT_FALSE(s.FindItem(7, "Document", -12));
  EXPECT_TRUE(s.FindItem(7, "Document", 17));
  ASSERT_EQ(s.Deletions().size(), 1u);
  EXPECT_EQ(s.Deletions()[0].delete_child_items, true);
  EXPECT_FALSE(dms->GetDataEntity(&stack));
}

TEST_F(SimDmsTest, ExportAcceptsNothingAsTheItem) {
  Connect();
  ComPtr<pelmark::IExportResult> result = dms->ExportDocument(nullptr, "/tmp/out");
  EXPECT_TRUE(result);
  ASSERT_EQ(s.Exports().size(), 1u);
  EXPECT_FALSE(s.Exports()[0].item);
  EXPECT_EQ(s.DmsCalls().back().ArgValue("item"), Variant(ComPtr<pelmark::IUnknown>()));
}

TEST_F(SimDmsTest, NotificationMessagesAreCopiedWhenHandedOver) {
  auto notify = ComPtr<pelmark::IService>(s.Services()->GetService("NotificationService"))
                    .try_query<pelmark::INotificationService>();
  ComPtr<pelmark::INotificationMessage> message = notify->CreateMessage();
  message->SetBody(Variant("Hello"));
  message->AddRecipient(Variant("7"), Variant("dms.user"), Variant("Ann"), Variant("a@x"));
  int32_t id = notify->PostMessage(message.get());
  message->SetBody(Variant("Changed"));
  notify->SendEmail(message.get());
  EXPECT_THROW(notify->DeliverMessage(id + 100), pelmark::Error);
  notify->DeliverMessage(id);

  const auto& messages = s.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].delivery, "posted");
  EXPECT_TRUE(messages[0].delivered);
  EXPECT_EQ(messages[0].Property("Body"), Variant("Hello"));
  EXPECT_EQ(messages[1].delivery, "email");
  EXPECT_EQ(messages[1].Property("Body"), Variant("Changed"));
  EXPECT_EQ(messages[0].recipients[0].name, Variant("Ann"));
}

TEST_F(SimDmsTest, ObjectsHandedOutAreAllAccountedFor) {
  Connect();
  TestRef ref("Document", 17, 2);
  {
    ComPtr<pelmark::IEntity> doc = dms->GetDocument(&ref);
    ComPtr<pelmark::IField> title = doc->Fields()->Item("Title");
    EXPECT_EQ(s.HeldReferences().size(), 3u);  // the service, the entity and the field
  }
  dms.reset();
  EXPECT_TRUE(s.HeldReferences().empty());
  EXPECT_EQ(ref.refs, 0u);
}

}  // namespace
