// The simulated DMS and notification service as one conformance table: each row
// drives them on a fresh simulator holding a document, a draft filed in a stack,
// a record series with a choice and a lookup field and a security label, and
// reads back, as text, what the calls answered and what the simulator recorded.
// No row may leave an object held.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "errors.h"
#include "library_objects.h"
#include "rows.h"
#include "simulator.h"

namespace {

using corvane_test::RaisedBy;
using pelmark::ComPtr;
using pelmark::Variant;
using sim_test::TestRef;
using sim_test::TestSession;

struct Dms {
  Dms() {
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
  }
  void Connect() { dms->Connect(7, &session); }
  // "number source" of the error `call` raises, "-" when it returns.
  static std::string Raised(auto&& call) {
    std::optional<pelmark::Error> e = RaisedBy(call);
    return e ? std::to_string(e->number()) + " " + e->source() : "-";
  }
  std::string Flags(const char* entity, int32_t id) const {
    std::string out;
    for (const auto& [flag, on] : s.FindItem(7, entity, id)->flags)
      out += flag + "=" + (on ? "1 " : "0 ");
    return out;
  }

  sim::Simulator s;
  TestSession session;
  ComPtr<pelmark::IDmsService> dms;
};

struct Row {
  const char* behaviour;
  std::function<std::string(Dms&)> run;
  std::string expected;
};

// Names the row in test output.
void PrintTo(const Row& r, std::ostream* os) { *os << r.behaviour; }

const std::string kNotConnected = std::to_string(sim::kErrNotConnected);
const std::string kNotFound = std::to_string(sim::kErrNotFound);
const std::string kBadArgument = std::to_string(sim::kErrBadArgument);

const Row kRows[] = {
    {"documents are found by 2 or their doc type code with the id's sign; the session is read, "
     "not kept",
     [](Dms& d) {
       d.Connect();
       std::ostringstream out;
       for (auto [id, type_code] : {std::pair{17, 2},
                                    {17, -2},
                                    {17, 5},
                                    {-12, -2},
                                    {-12, -7},
                                    {-12, 7},
                                    {-12, 2},
                                    {99, 2}}) {
         TestRef ref("Document", id, type_code);
         out << !!d.dms->GetDocument(&ref);
       }
       TestRef wrong_kind("DataEntity", 17, 2);
       out << " " << d.Raised([&] { d.dms->GetDocument(&wrong_kind); }) << " " << d.session.refs;
       return out.str();
     },
     "10011000 " + kBadArgument + " Pelmark.Dms 0"},
    {"item operations need a connection to a known database; codes need none",
     [](Dms& d) {
       TestRef ref("Document", 17, 2);
       std::ostringstream out;
       out << d.Raised([&] { d.dms->GetDocument(&ref); }) << " | "
           << d.Raised([&] { d.dms->Connect(8, &d.session); }) << " | ";
       d.Connect();
       out << d.s.Connected().value_or(0) << " " << !!d.dms->GetDocument(&ref);
       d.dms->Disconnect();
       out << " " << d.s.Connected().has_value() << " " << d.dms->GetIntervalTypeCode("Days") << " "
           << d.dms->GetIntervalTypeCode("fortnight");
       return out.str();
     },
     kNotConnected + " Pelmark.Dms | " + kNotFound + " Pelmark.Dms | 7 1 0 4 0"},
    {"fields match without case and expose their kinds",
     [](Dms& d) {
       d.Connect();
       TestRef ref("RecordSeries", 500, 9);
       ComPtr<pelmark::IFields> fields = d.dms->GetRecordSeries(&ref)->Fields();
       ComPtr<pelmark::IField> status = fields->Item("status");
       auto choice = status.try_query<pelmark::IChoiceField>();
       auto label = fields->Item("retention label").try_query<pelmark::ILookupField>();
       std::ostringstream out;
       out << status->Name() << " " << choice->KeyValue() << " " << choice->DisplayText() << " "
           << !!status.try_query<pelmark::ILookupField>() << " | "
           << sim::FormatVariant(label->Value()) << " " << label->DisplayValue() << " | "
           << d.Raised([&] { fields->Item("title"); }) << " | " << fields->ItemAt(2)->Name()
           << " | " << d.Raised([&] { fields->ItemAt(3); });
       return out.str();
     },
     "Status 57 Active 0 | 3 Ten years | 5 Pelmark.Dms | Retention Label | 9 Pelmark.Dms"},
    {"a keyed field may be Null",
     [](Dms& d) {
       d.s.AddRecordSeries(
           7, {.id = 501, .type_code = 9, .fields = {sim::Field::NullChoice("Status")}});
       d.Connect();
       TestRef ref("RecordSeries", 501, 9);
       ComPtr<pelmark::IField> status = d.dms->GetRecordSeries(&ref)->Fields()->Item("Status");
       std::ostringstream out;
       out << status->IsNullValue() << status->Value().is_null() << " "
           << (status->DataType() == sim::kKeyed) << " "
           << status.try_query<pelmark::IChoiceField>()->KeyValue();
       return out.str();
     },
     "11 1 0"},
    {"field writes reach the store only when saved, by a save of the item's kind",
     [](Dms& d) {
       d.Connect();
       TestRef ref("Document", 17, 2);
       ComPtr<pelmark::IEntity> doc = d.dms->GetDocument(&ref);
       doc->Fields()->Item("title")->SetValue(Variant(42.0));
       std::string out = sim::FormatVariant(d.s.FieldValue(7, "Document", 17, "Title"));
       d.dms->SaveDocument(doc.get());
       out += " " + sim::FormatVariant(d.s.FieldValue(7, "Document", 17, "Title"));
       for (const auto& save : d.s.Saves()) out += " " + save.op;
       return out + " " + d.Raised([&] { d.dms->SaveDataEntity(doc.get()); });
     },
     "\"Report\" 42.0 SaveDocument " + kBadArgument + " Pelmark.Dms"},
    {"records management sets flags and journals the reference",
     [](Dms& d) {
       d.Connect();
       TestRef ref("Document", -12, -2), missing("Document", 18, 2);
       d.dms->MarkAsVital(&ref, "keep");
       std::string out = d.Flags("Document", -12) + "| ";
       d.dms->UnmarkAsVital(&ref, "");
       out += d.Flags("Document", -12) + "| " + d.s.DmsCalls()[1].ToString() + " | ";
       return out + d.Raised([&] { d.dms->PutOnHold(&missing, "x"); });
     },
     "Vital=1 | Vital=0 | IDmsService.MarkAsVital [DmsService](item.EntityName=\"Document\", "
     "item.ID=-12, item.TypeCode=-2, reason=\"keep\") -> True | " +
         kNotFound + " Pelmark.Dms"},
    {"a fault matches on the item argument; the failed call does nothing and is journaled",
     [](Dms& d) {
       d.Connect();
       d.s.AddDocument(7, {.id = 18});
       d.s.InjectFault(
           {.op = "IDmsService.MarkAsRecord", .when = {{"item.ID", 18}}, .number = 1234});
       TestRef first("Document", 17, 2), second("Document", 18, 2);
       std::ostringstream out;
       out << d.dms->MarkAsRecord(&first, "") << " "
           << d.Raised([&] { d.dms->MarkAsRecord(&second, ""); }) << " | "
           << d.s.FindItem(7, "Document", 18)->flags.count("Record") << " "
           << d.s.DmsCalls().back().error_number << " " << d.s.ItemOperations().size();
       return out.str();
     },
     "1 1234 Pelmark.Dms | 0 1234 1"},
    {"new entities are stored as copies",
     [](Dms& d) {
       ComPtr<pelmark::IEntity> record = d.dms->NewEntity("AuditRecord");
       record->SetID(0);
       record->Fields()->Item("Comment")->SetValue(Variant("first"));
       record->Fields()->Item("Audit User")->SetIsNullValue(true);
       auto entity = record->Fields()->Item("Audit Entity").try_query<pelmark::ILookupField>();
       entity->SetID(17);
       entity->SetTypeCode(2);
       int32_t id1 = d.dms->AddEntity(record.get());
       record->Fields()->Item("Comment")->SetValue(Variant("second"));
       int32_t id2 = d.dms->AddEntity(record.get());
       std::ostringstream out;
       out << (id1 != id2);
       for (const auto& a : d.s.AuditRecords())
         out << " "
             << (a.entity.id == id1   ? "id1"
                 : a.entity.id == id2 ? "id2"
                                      : "?")
             << ":" << sim::FormatVariant(a.entity.Value("Comment")) << ":"
             << a.entity.Find("Audit User")->is_null() << ":"
             << a.entity.Find("Audit Entity")->type_code << ":" << !!a.database;
       out << " " << d.Raised([&] { d.dms->NewEntity("Spaceship"); });
       return out.str();
     },
     "1 id1:\"first\":1:2:0 id2:\"second\":1:2:0 " + kBadArgument + " Pelmark.Dms"},
    {"stored jobs are found by GetJob until removed",
     [](Dms& d) {
       ComPtr<pelmark::IEntity> job = d.dms->NewEntity("Job");
       job->Fields()->Item("Start Date")->SetValue(Variant::Date(45000.5));
       int32_t id = d.dms->AddEntity(job.get());
       TestRef ref("Job", id, 61);
       std::string out =
           sim::FormatVariant(d.dms->GetJob(&ref)->Fields()->Item("Start Date")->Value());
       d.s.RemoveJob(id);
       return out + " " + std::to_string(!!d.dms->GetJob(&ref));
     },
     "#45000.5# 0"},
    {"notes, labels and publishing are recorded; annotations go on documents only",
     [](Dms& d) {
       d.Connect();
       TestRef doc("Document", 17, 2), stack("DataEntity", 300, 44), minor("Document", 17, 2, 1);
       ComPtr<pelmark::IEntity> note = d.dms->NewEntity("Comment");
       note->Fields()->Item("Comment")->SetValue(Variant("ok"));
       d.dms->AddComment(&stack, note.get());
       std::string out = d.Raised([&] { d.dms->AddAnnotation(&stack, note.get()); });
       ComPtr<pelmark::IEntity> label = d.dms->GetSecurityLabel("SECRET");
       TestRef label_ref(label->EntityName(), label->ID(), label->TypeCode());
       d.dms->ApplyLabel(&doc, &label_ref);
       d.dms->PublishDocument(&minor);
       for (const auto& c : d.s.Comments())
         out += " | note on " + c.item.entity_name + " " + std::to_string(c.item.id) + "/" +
                std::to_string(c.item.type_code) + " v" + std::to_string(c.item.version_type) +
                ": " + sim::FormatVariant(c.entity.Value("Comment"));
       for (const auto& l : d.s.LabelsApplied()) out += " | label " + l.label_name;
       for (const auto& l : d.s.FindItem(7, "Document", 17)->labels) out += " on 17: " + l;
       for (const auto& p : d.s.Publications())
         out += " | published v" + std::to_string(p.item.version_type);
       return out + " minor " +
              sim::FormatVariant(d.s.FieldValue(7, "Document", 17, "MinorVersion"));
     },
     kBadArgument +
         " Pelmark.Dms | note on DataEntity 300/44 v0: \"ok\" | label Secret on 17: Secret | "
         "published v1 minor 1"},
    {"each record names the journal entry of the call that made it",
     [](Dms& d) {
       d.Connect();
       TestRef doc("Document", 17, 2), principal("User", 25, 18);
       d.dms->AddComment(&doc, d.dms->NewEntity("Comment").get());
       d.dms->AddAnnotation(&doc, d.dms->NewEntity("Annotation").get());
       d.dms->AddAce(&doc, &principal, d.dms->NewEntity("Ace").get());
       d.dms->AddEntity(d.dms->NewEntity("AuditRecord").get());
       ComPtr<pelmark::IEntity> document = d.dms->GetDocument(&doc);
       document->Fields()->Item("Title")->SetValue(Variant("Renamed"));
       d.dms->SaveDocument(document.get());
       auto op = [&](size_t index) { return " " + std::string(d.s.JournalOp(index)); };
       std::string out;
       for (const auto& r : d.s.Comments()) out += op(r.journal_index);
       for (const auto& r : d.s.Annotations()) out += op(r.journal_index);
       for (const auto& r : d.s.Aces()) out += op(r.journal_index);
       for (const auto& r : d.s.StoredRecords()) {
         const sim::Call add = d.s.JournalEntry(r.journal_index);
         out += " " + add.op + (add.result == Variant(r.entity.id) ? " answering its id" : "");
       }
       for (const auto& r : d.s.Saves())
         out += op(r.journal_index) + (r.journal_index == d.s.JournalSize() - 1 ? " last" : "");
       return out;
     },
     " IDmsService.AddComment IDmsService.AddAnnotation IDmsService.AddAce IDmsService.AddEntity "
     "answering its id IDmsService.SaveDocument last"},
    {"deleting a stack with its children removes its documents",
     [](Dms& d) {
       d.Connect();
       TestRef stack("DataEntity", 300, 44);
       std::ostringstream out;
       out << d.dms->DeleteDataEntity(&stack, true, "done") << " "
           << !!d.s.FindItem(7, "DataEntity", 300) << !!d.s.FindItem(7, "Document", -12)
           << !!d.s.FindItem(7, "Document", 17) << " " << d.s.Deletions().size()
           << (d.s.Deletions()[0].delete_child_items == true) << " "
           << !!d.dms->GetDataEntity(&stack);
       return out.str();
     },
     "1 001 11 0"},
    {"an export accepts Nothing as the item",
     [](Dms& d) {
       d.Connect();
       ComPtr<pelmark::IExportResult> result = d.dms->ExportDocument(nullptr, "/tmp/out");
       std::ostringstream out;
       out << !!result << " " << d.s.Exports().size() << !!d.s.Exports()[0].item << " "
           << (d.s.DmsCalls().back().ArgValue("item") == Variant(ComPtr<pelmark::IUnknown>()));
       return out.str();
     },
     "1 10 1"},
    {"notification messages are copied when handed over",
     [](Dms& d) {
       auto notify = ComPtr<pelmark::IService>(d.s.Services()->GetService("NotificationService"))
                         .try_query<pelmark::INotificationService>();
       ComPtr<pelmark::INotificationMessage> message = notify->CreateMessage();
       message->SetBody(Variant("Hello"));
       message->AddRecipient(Variant("7"), Variant("dms.user"), Variant("Ann"), Variant("a@x"));
       int32_t id = notify->PostMessage(message.get());
       message->SetBody(Variant("Changed"));
       notify->SendEmail(message.get());
       std::string out = Dms::Raised([&] { notify->DeliverMessage(id + 100); });
       notify->DeliverMessage(id);
       for (const auto& m : d.s.Messages())
         out += " | " + m.delivery + (m.delivered ? " delivered " : " ") +
                sim::FormatVariant(m.Property("Body")) + " to " +
                sim::FormatVariant(m.recipients[0].name);
       return out;
     },
     kNotFound + " Pelmark.Dms | posted delivered \"Hello\" to \"Ann\" | email \"Changed\" to "
                 "\"Ann\""},
    {"objects handed out are all accounted for",
     [](Dms& d) {
       d.Connect();
       TestRef ref("Document", 17, 2);
       std::string out;
       {
         ComPtr<pelmark::IEntity> doc = d.dms->GetDocument(&ref);
         ComPtr<pelmark::IField> title = doc->Fields()->Item("Title");
         out = std::to_string(d.s.HeldReferences().size());  // the service, entity and field
       }
       d.dms.reset();
       return out + " " + std::to_string(ref.refs);
     },
     "3 0"},
};

class SimDmsTest : public ::testing::TestWithParam<Row> {};

TEST_P(SimDmsTest, Conforms) {
  Dms d;
  ASSERT_TRUE(d.dms);
  EXPECT_EQ(GetParam().run(d), GetParam().expected);
  d.dms.reset();
  EXPECT_TRUE(d.s.HeldReferences().empty()) << ::testing::PrintToString(d.s.HeldReferences());
}

INSTANTIATE_TEST_SUITE_P(Rows, SimDmsTest, ::testing::ValuesIn(kRows), [](const auto& info) {
  return corvane_test::RowName(info.param.behaviour);
});

}  // namespace
