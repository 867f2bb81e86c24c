// Which entity and field a "FIELDNAME" reaches on each kind of item.
#include "shared/field_addressing.h"

#include <gtest/gtest.h>

#include "activity_fixture.h"
#include "framework/com_object.h"

namespace corvane_test {
namespace {

using pelmark::Variant;
using sim::Field;

TEST(FieldAddressTest, NameScopeAndBareName) {
  struct {
    Variant raw;
    const char* name;
    bool own;
    const char* bare;
  } cases[] = {
      {"Title", "title", true, "title"},
      {"  TITLE  ", "title", true, "title"},
      {"self.Title", "self.title", true, "title"},
      {"Parent.Title", "parent.title", false, "title"},
      {"a.b.c", "a.b.c", false, "b.c"},
      {"x.", "x.", false, ""},
      {"\tTitle", "\ttitle", true, "\ttitle"},
      {42, "42", true, "42"},
  };
  for (const auto& c : cases) {
    corvane::FieldAddress a = corvane::DeriveFieldAddress(c.raw);
    EXPECT_EQ(a.name, c.name);
    EXPECT_EQ(a.own, c.own) << c.name;
    EXPECT_EQ(a.bare, c.bare) << c.name;
  }
  pelmark::Error e = ErrorOf([&] { corvane::DeriveFieldAddress(Variant::Null()); });
  EXPECT_EQ(e.number(), 94);
}

// An entity whose fields answer Nothing for every name, as a lax DMS may.
class NothingFields final : public corvane::ComObject<pelmark::IFields> {
  int32_t Count() override { return 0; }
  pelmark::ComPtr<pelmark::IField> Item(std::string_view) override { return {}; }
  pelmark::ComPtr<pelmark::IField> ItemAt(int32_t) override { return {}; }
};
class BareEntity final : public corvane::ComObject<pelmark::IEntity> {
  int32_t ID() override { return 1; }
  void SetID(int32_t) override {}
  std::string EntityName() override { return "Document"; }
  void SetEntityName(std::string_view) override {}
  int32_t TypeCode() override { return 2; }
  void SetTypeCode(int32_t) override {}
  pelmark::ComPtr<pelmark::IFields> Fields() override { return corvane::MakeCom<NothingFields>(); }
};

TEST(FieldAddressTest, AFieldAnsweredWithNothingIsAnUnsetObjectNotACrash) {
  pelmark::ComPtr<pelmark::IEntity> entity = corvane::MakeCom<BareEntity>();
  pelmark::Error e = ErrorOf([&] { corvane::FieldOf(entity.get(), "DocTypeCode"); });
  EXPECT_EQ(e.number(), 91);
}

class FieldAddressingTest : public ActivityTest {
 protected:
  void SetUpGet(const std::string& item_list, Variant field_name) {
    SetUpTask(item_list, {{"FIELDNAME", std::move(field_name)}}, {"VALUE"});
  }
  Variant Value() const { return sim.TaskVariable(kTaskId, "VALUE"); }
};

TEST_F(FieldAddressingTest, OwnScopeReadsTheItemItselfOnEveryKind) {
  for (const char* name : {"Title", " TITLE ", "self.Title"}) {
    SCOPED_TRACE(name);
    sim.ClearJournal();
    SetUpGet(DocumentList({17}), name);
    sim.AddDocument(kDatabase, {.id = 17, .fields = {Field::Text("Title", "Doc title")}});
    EXPECT_EQ(Execute("GetFieldValue"), 1);
    EXPECT_EQ(Value(), Variant("Doc title"));

    SetUpGet(ItemList("stackitem", kDatabase, "stack", "<stackitem id=\"40\" typecode=\"8\"/>"),
             name);
    sim.AddDataEntity(kDatabase,
                      {.id = 40, .type_code = 8, .fields = {Field::Text("Title", "Stack")}});
    Execute("GetFieldValue");
    EXPECT_EQ(Value(), Variant("Stack"));

    SetUpGet(ItemList("recordseries", kDatabase, "recordserieslist",
                      "<recordseries id=\"3\" typecode=\"44\"/>"),
             name);
    sim.AddRecordSeries(kDatabase,
                        {.id = 3, .type_code = 44, .fields = {Field::Text("Title", "RS")}});
    Execute("GetFieldValue");
    EXPECT_EQ(Value(), Variant("RS"));
  }
}

TEST_F(FieldAddressingTest, PrefixedNameOnADocumentReachesItsParentWhenItHasOne) {
  SetUpGet(DocumentList({17, 18}), "anything.Title");
  sim.AddDataEntity(kDatabase,
                    {.id = 40, .type_code = 8, .fields = {Field::Text("Title", "Stack")}});
  sim.AddDocument(kDatabase, {.id = 17,
                              .parent_id = 40,
                              .parent_type_code = 8,
                              .fields = {Field::Text("Title", "Filed")}});
  sim.AddDocument(kDatabase, {.id = 18, .fields = {Field::Text("Title", "Loose")}});

  Execute("GetFieldValue");
  std::vector<sim::VariableWrite> writes = sim.TaskVariableWrites();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].value, Variant("Stack")) << "the parent of document 17";
  EXPECT_EQ(writes[1].value, Variant("Loose")) << "document 18 has no parent";
  std::vector<sim::Call> fetches = sim.CallsTo("IDmsService.GetDataEntity");
  ASSERT_EQ(fetches.size(), 1u);
  EXPECT_EQ(fetches[0].ArgValue("item.ID"), Variant(40));
  EXPECT_EQ(fetches[0].ArgValue("item.TypeCode"), Variant(8));
}

TEST_F(FieldAddressingTest, DocumentOfAnotherTypeIsFetchedAgainWithItsTypeCode) {
  SetUpGet(DocumentList({-12, 17}), "Title");
  sim.AddDocument(kDatabase,
                  {.id = -12, .doc_type_code = 7, .fields = {Field::Text("Title", "T7")}});
  sim.AddDocument(kDatabase, {.id = 17, .fields = {Field::Text("Title", "T2")}});
  Execute("GetFieldValue");
  std::vector<std::string> codes;
  for (const sim::Call& c : sim.CallsTo("IDmsService.GetDocument"))
    codes.push_back(std::to_string(c.ArgValue("item.ID").long_value()) + "/" +
                    std::to_string(c.ArgValue("item.TypeCode").long_value()));
  EXPECT_EQ(codes, (std::vector<std::string>{"-12/-2", "-12/-7", "17/2"}));
}

TEST_F(FieldAddressingTest, RetentionLabelIsReachedOnlyByTheGetFamily) {
  const std::string list = ItemList("recordseries", kDatabase, "recordserieslist",
                                    "<recordseries id=\"3\" typecode=\"44\"/>");
  sim.AddRecordSeries(
      kDatabase, {.id = 3,
                  .type_code = 44,
                  .fields = {Field::Long("Retention Label", 9), Field::Text("Code", "RS-CODE")}});
  sim.AddRetentionLabel(kDatabase, {.id = 9, .fields = {Field::Text("Code", "LABEL-CODE")}});

  SetUpGet(list, "Parent.Code");
  Execute("GetFieldValue");
  EXPECT_EQ(Value(), Variant("LABEL-CODE"));
  std::vector<sim::Call> label = sim.CallsTo("IDmsService.GetRetentionLabel");
  ASSERT_EQ(label.size(), 1u);
  EXPECT_EQ(label[0].ArgValue("item.TypeCode"), Variant(57));

  SetUpTask(list, {{"FIELDNAME", "Parent.Code"}, {"FIELDVALUE", "New"}}, {"VALUE"});
  Execute("ChangeFieldValue");
  SetUpGet(list, "other.Code");
  sim.SetTaskVariable(kTaskId, {.name = "VALUE", .value = "untouched"});
  Execute("GetFieldValue");
  EXPECT_EQ(Value(), Variant("untouched"));
  EXPECT_TRUE(sim.Saves().empty());
  EXPECT_EQ(sim.FieldValue(kDatabase, "RetentionLabel", 9, "Code"), Variant("LABEL-CODE"));
}

TEST_F(FieldAddressingTest, RecordSeriesWithoutALabelFailsTheGetFamily) {
  SetUpGet(ItemList("recordseries", kDatabase, "recordserieslist",
                    "<recordseries id=\"3\" typecode=\"44\"/>"),
           "parent.Code");
  sim.AddRecordSeries(kDatabase,
                      {.id = 3, .type_code = 44, .fields = {Field::Text("Retention Label", "")}});
  pelmark::Error e = ExecuteFailing("GetFieldValue");
  EXPECT_EQ(e.number(), 13);
  EXPECT_EQ(e.source(),
            "Corvane => \r\nGetFieldValue:ProcessRecordSeries Ln 4"
            "\r\nGetFieldValue: IActivityRuntime_Execute Function Ln 8");
}

TEST_F(FieldAddressingTest, PrefixedNameOnAStackReachesItsDocumentsInQueryOrder) {
  SetUpGet(ItemList("stackitem", kDatabase, "stack",
                    "<stackitem id=\"40\" typecode=\"8\"/><stackitem id=\"41\" typecode=\"8\"/>"),
           "docs.Title");
  sim.AddDataEntity(kDatabase, {.id = 40, .type_code = 8});
  sim.AddDataEntity(kDatabase, {.id = 41, .type_code = 8});
  for (int32_t id : {22, 21})
    sim.AddDocument(kDatabase, {.id = id,
                                .parent_id = 40,
                                .parent_type_code = 8,
                                .fields = {Field::Text("Title", "D" + std::to_string(id))}});

  Execute("GetFieldValue");

  std::vector<sim::Call> queries = sim.CallsTo("IDmsService.QueryEntities");
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(queries[0].ArgValue("query"), Variant(corvane::StackDocumentsQuery(40, 8)));
  std::vector<std::string> read;
  for (const sim::VariableWrite& w : sim.TaskVariableWrites())
    read.push_back(w.value.string_value());
  std::vector<std::string> expected;
  for (const sim::Call& c : sim.CallsTo("IDmsService.GetDocument"))
    expected.push_back("D" + std::to_string(c.ArgValue("item.ID").long_value()));
  EXPECT_EQ(read, expected) << "one read per document, in the order the query listed them";
  EXPECT_EQ(read.size(), 2u) << "stack 41 has no documents";
}

}  // namespace
}  // namespace corvane_test
