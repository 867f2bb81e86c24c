// What the Get, Set and Change families read and write.
#include <gtest/gtest.h>

#include "activity_fixture.h"

namespace corvane_test {
namespace {

using pelmark::Variant;
using sim::Field;

class FieldValuesTest : public ActivityTest {
 protected:
  // Documents 17 and 18 with the given fields, a FIELDNAME, and the task
  // variable "VALUE" holding `value`.
  void SetUpDocuments(std::vector<Field> fields17, std::vector<Field> fields18, Variant field_name,
                      Variant value = "", std::vector<sim::ParameterSpec> more = {}) {
    ResetSimulator();
    more.push_back({"FIELDNAME", std::move(field_name)});
    SetUpTask(DocumentList({17, 18}), std::move(more), {});
    sim.SetTaskVariable(kTaskId, {.name = "VALUE", .value = std::move(value)});
    sim.AddDocument(kDatabase, {.id = 17, .fields = std::move(fields17)});
    sim.AddDocument(kDatabase, {.id = 18, .fields = std::move(fields18)});
  }
  Variant Value() const { return sim.TaskVariable(kTaskId, "VALUE"); }
  Variant Stored(int32_t id, std::string_view field) const {
    return sim.FieldValue(kDatabase, "Document", id, field);
  }
};

TEST_F(FieldValuesTest, NullFieldGivesEmptyTextOrNullByMember) {
  struct {
    const char* class_name;
    Variant expected;
  } cases[] = {{"GetFieldValue", ""},
               {"GetNumericFieldValue", Variant::Null()},
               {"GetYesNoFieldValue", Variant::Null()},
               {"GetDateTimeFieldValue", Variant::Null()}};
  for (const auto& c : cases) {
    SetUpDocuments({Field::Null("Amount", sim::kDouble)}, {Field::Null("Amount", sim::kDouble)},
                   "Amount", "before");
    Execute(c.class_name);
    EXPECT_EQ(Value(), c.expected) << c.class_name;
  }
}

TEST_F(FieldValuesTest, TextMemberWritesByDataTypeAndTheLastItemWins) {
  struct {
    Field field;
    Variant expected;
  } cases[] = {
      {Field::Double("F", 2.5), "2.5"},
      {Field::Long("F", 42), "42"},
      {Field::Date("F", 46361.0), "12/5/2026"},
      {Field::Text("F", "abc", sim::kText), "abc"},
      {Field::Text("F", "long", sim::kLongText), "long"},
      {Field::YesNo("F", true), "Yes"},
      {Field::YesNo("F", false), "No"},
      {Field::Of("F", sim::kYesNo, 1), "No"},
      {Field::Of("F", 3, 7), "before"},
      {Field::Of("F", 202, "x"), "before"},
      {Field::Choice("F", 57, "Fifty-seven"), "before"},
  };
  for (const auto& c : cases) {
    SetUpDocuments({Field::Text("F", "first")}, {c.field}, "F", "before");
    Execute("GetFieldValue");
    // A data type the text member does not read leaves the first item's text.
    Variant expected = c.expected == Variant("before") ? Variant("first") : c.expected;
    EXPECT_EQ(Value(), expected) << sim::FormatVariant(c.field.value);
  }
}

TEST_F(FieldValuesTest, TypedGetMembersConvertWhateverTheDataType) {
  SetUpDocuments({Field::Text("F", "12.5")}, {Field::Text("F", "12.5")}, "F");
  Execute("GetNumericFieldValue");
  EXPECT_EQ(Value(), Variant(12.5));
  SetUpDocuments({Field::Text("F", "true")}, {Field::Long("F", 0)}, "F");
  Execute("GetYesNoFieldValue");
  EXPECT_EQ(Value(), Variant(false));
  SetUpDocuments({Field::Text("F", "12/5/2026")}, {Field::Text("F", "12/5/2026")}, "F");
  Execute("GetDateTimeFieldValue");
  EXPECT_EQ(Value(), Variant::Date(46361.0));
  SetUpDocuments({Field::Text("F", "twelve")}, {Field::Text("F", "12")}, "F");
  pelmark::Error e = ExecuteFailing("GetNumericFieldValue");
  EXPECT_EQ(e.number(), 13);
  EXPECT_EQ(e.source(),
            "Corvane => \r\nGetNumericFieldValue:ProcessDocument Ln 6"
            "\r\nGetNumericFieldValue: IActivityRuntime_Execute Function Ln 8");
}

TEST_F(FieldValuesTest, KeyedFieldsMeanSomethingOnlyOnRecordSeries) {
  SetUpTask(ItemList("recordseries", kDatabase, "recordserieslist",
                     "<recordseries id=\"3\" typecode=\"44\"/>"),
            {{"FIELDNAME", "Category"}}, {"VALUE"});
  sim.AddRecordSeries(
      kDatabase,
      {.id = 3, .type_code = 44, .fields = {Field::Choice("Category", 57, "Contracts")}});
  Execute("GetNumericFieldValue");
  EXPECT_EQ(Value(), Variant(57.0));
  Execute("GetFieldValue");
  EXPECT_EQ(Value(), Variant("Contracts"));

  SetUpDocuments({Field::Choice("Category", 57, "Contracts")},
                 {Field::Choice("Category", 57, "Contracts")}, "Category", "before");
  Execute("GetFieldValue");
  EXPECT_EQ(Value(), Variant("before"));
  Execute("GetNumericFieldValue");
  EXPECT_EQ(Value(), Variant(57.0)) << "converted from the field's Value";
}

TEST_F(FieldValuesTest, ProcessVariablesAreReadByTheirVariableType) {
  struct {
    int32_t variable_type;
    Variant value;
    Variant expected;
  } cases[] = {{1, "text", "text"}, {2, 2.5, "2.5"}, {3, true, "Yes"},
               {9, 7, "7"},         {10, 2.5, "2"},  {5, "ignored", "before"}};
  for (const auto& c : cases) {
    SetUpDocuments({}, {}, "process.Total", "before");
    sim.SetProcessVariable(
        kProcessId, {.name = "process.Total", .value = c.value, .variable_type = c.variable_type});
    Execute("GetFieldValue");
    EXPECT_EQ(Value(), c.expected) << c.variable_type;
    EXPECT_TRUE(sim.CallsTo("IDmsService.GetDocument").empty());
  }
  SetUpDocuments({}, {}, "process.Missing", "before");
  Execute("GetFieldValue");
  EXPECT_EQ(Value(), Variant(""));

  SetUpDocuments({}, {}, "process.Total", "before");
  sim.SetProcessVariable(kProcessId,
                         {.name = "process.Total", .value = Variant::Null(), .variable_type = 2});
  Execute("GetFieldValue");
  EXPECT_EQ(Value(), Variant(""));

  SetUpDocuments({}, {}, "process.Total", "before");
  sim.SetProcess({.id = kProcessId,
                  .variables = {sim::ItemListVariable(DocumentList({17}, -1)),
                                {.name = "process.Total", .value = 2.5, .variable_type = 2}}});
  Execute("GetFieldValue");
  EXPECT_EQ(Value(), Variant("before")) << "no connection, no process-variable branch";
}

TEST_F(FieldValuesTest, BlankInputClearsTheFieldInEveryMember) {
  for (const char* family : {"Set", "Change"}) {
    for (const char* member : {"", "Numeric", "YesNo", "DateTime"}) {
      for (const char* blank : {"", "   "}) {
        std::string class_name = std::string(family) + member + "FieldValue";
        SCOPED_TRACE(class_name + " '" + blank + "'");
        SetUpDocuments({Field::Of("F", 3, "x")}, {Field::Of("F", 3, "y")}, "F", blank,
                       {{"FIELDVALUE", blank}});
        EXPECT_EQ(Execute(class_name), 1);
        EXPECT_EQ(Stored(17, "F"), Variant::Null());
        EXPECT_EQ(Stored(18, "F"), Variant::Null());
      }
    }
  }
}

TEST_F(FieldValuesTest, TextMembersConvertByTheFieldsDataType) {
  for (const char* class_name : {"SetFieldValue", "ChangeFieldValue"}) {
    SCOPED_TRACE(class_name);
    struct {
      int32_t data_type;
      Variant expected;
    } cases[] = {{sim::kDouble, 42.0}, {sim::kLong, 42}, {sim::kString, "42"}, {3, "old"}};
    for (const auto& c : cases) {
      SetUpDocuments({Field::Of("F", c.data_type, "old")}, {Field::Of("F", c.data_type, "old")},
                     "F", "42", {{"FIELDVALUE", "42"}});
      Execute(class_name);
      EXPECT_EQ(Stored(17, "F"), c.expected) << c.data_type;
      EXPECT_EQ(sim.Saves().size(), 2u) << "stored even when nothing was written";
    }
  }
}

TEST_F(FieldValuesTest, NullInputFailsBeforeStoring) {
  SetUpDocuments({Field::Text("F", "old")}, {Field::Text("F", "old")}, "F", Variant::Null());
  pelmark::Error e = ExecuteFailing("SetFieldValue");
  EXPECT_EQ(e.number(), 94);
  EXPECT_EQ(e.source(),
            "Corvane => \r\nSetFieldValue:ProcessDocument Ln 6"
            "\r\nSetFieldValue: IActivityRuntime_Execute Function Ln 8");
  EXPECT_TRUE(sim.Saves().empty());
  EXPECT_EQ(platform.log.size(), 2u);
}

TEST_F(FieldValuesTest, ConversionFailureOnTheSecondItemKeepsTheFirstStored) {
  SetUpDocuments({Field::Of("F", sim::kString, "old")}, {Field::Of("F", sim::kDouble, 1.0)}, "F",
                 "abc");
  pelmark::Error e = ExecuteFailing("SetFieldValue");
  EXPECT_EQ(e.number(), 13);
  EXPECT_EQ(Stored(17, "F"), Variant("abc"));
  EXPECT_EQ(Stored(18, "F"), Variant(1.0));
  EXPECT_EQ(sim.Saves().size(), 1u);

  SetUpDocuments({Field::Date("When", 1.0)}, {Field::Date("When", 1.0)}, "When", "",
                 {{"FIELDVALUE", "12/5/2026"}});
  Execute("ChangeDateTimeFieldValue");
  EXPECT_EQ(Stored(18, "When"), Variant::Date(46361.0));
  SetUpDocuments({Field::Date("When", 1.0)}, {Field::Date("When", 1.0)}, "When", "",
                 {{"FIELDVALUE", "not a date"}});
  e = ExecuteFailing("ChangeDateTimeFieldValue");
  EXPECT_EQ(e.number(), 13);
  EXPECT_EQ(e.source(),
            "Corvane => \r\nChangeDateTimeFieldValue:ProcessDocument Ln 6"
            "\r\nChangeDateTimeFieldValue: IActivityRuntime_Execute Function Ln 8");
}

TEST_F(FieldValuesTest, ChangeSkipsEntitiesWithoutTheFieldButSetFails) {
  SetUpDocuments({Field::Text("Status", "Draft")}, {}, "Status", "Approved",
                 {{"FIELDVALUE", "Approved"}});
  EXPECT_EQ(Execute("ChangeFieldValue"), 1);
  EXPECT_EQ(Stored(17, "Status"), Variant("Approved"));
  ASSERT_EQ(sim.Saves().size(), 1u);
  EXPECT_TRUE(platform.log.empty());

  SetUpDocuments({}, {Field::Text("Status", "Draft")}, "Status", "Approved");
  pelmark::Error e = ExecuteFailing("SetFieldValue");
  EXPECT_EQ(e.number(), sim::kErrUnknownName);
  EXPECT_TRUE(sim.Saves().empty());
}

TEST_F(FieldValuesTest, EachTargetIsStoredWithItsOwnOperation) {
  // A document with a parent stores the parent; a loose one stores itself.
  SetUpTask(DocumentList({17, 18}), {{"FIELDNAME", "x.Status"}}, {});
  sim.SetTaskVariable(kTaskId, {.name = "VALUE", .value = "Done"});
  sim.AddDataEntity(kDatabase, {.id = 40, .type_code = 8, .fields = {Field::Text("Status", "s")}});
  sim.AddDocument(
      kDatabase,
      {.id = 17, .parent_id = 40, .parent_type_code = 8, .fields = {Field::Text("Status", "a")}});
  sim.AddDocument(kDatabase, {.id = 18, .fields = {Field::Text("Status", "b")}});
  Execute("SetFieldValue");
  std::vector<std::string> ops;
  for (const sim::SaveRecord& s : sim.Saves()) ops.push_back(s.op);
  EXPECT_EQ(ops, (std::vector<std::string>{"SaveDataEntity", "SaveDocument"}));
  EXPECT_EQ(sim.FieldValue(kDatabase, "DataEntity", 40, "Status"), Variant("Done"));
  EXPECT_EQ(sim.FieldValue(kDatabase, "Document", 17, "Status"), Variant("a"));

  // A stack's own field stores the stack; a prefixed name stores its documents only.
  SetUpTask(ItemList("stackitem", kDatabase, "stack", "<stackitem id=\"40\" typecode=\"8\"/>"),
            {{"FIELDNAME", "self.Status"}, {"FIELDVALUE", "Closed"}}, {"VALUE"});
  Execute("ChangeFieldValue");
  SetUpTask(ItemList("stackitem", kDatabase, "stack", "<stackitem id=\"40\" typecode=\"8\"/>"),
            {{"FIELDNAME", "x.Status"}, {"FIELDVALUE", "Filed"}}, {"VALUE"});
  Execute("ChangeFieldValue");
  ops.clear();
  for (const sim::SaveRecord& s : sim.Saves()) ops.push_back(s.op);
  EXPECT_EQ(ops, (std::vector<std::string>{"SaveDataEntity", "SaveDocument", "SaveDataEntity",
                                           "SaveDocument"}));

  // A record series stores itself; a prefixed name does nothing.
  SetUpTask(ItemList("recordseries", kDatabase, "recordserieslist",
                     "<recordseries id=\"3\" typecode=\"44\"/>"),
            {{"FIELDNAME", "self.Code"}, {"FIELDVALUE", "RS-2"}}, {"VALUE"});
  sim.AddRecordSeries(kDatabase,
                      {.id = 3, .type_code = 44, .fields = {Field::Text("Code", "RS-1")}});
  Execute("ChangeFieldValue");
  EXPECT_EQ(sim.Saves().back().op, "SaveRecordSeries");
  EXPECT_EQ(sim.FieldValue(kDatabase, "RecordSeries", 3, "Code"), Variant("RS-2"));
}

TEST_F(FieldValuesTest, ErrorChainsNameTheClassAndProcedure) {
  SetUpTask(ItemList("stackitem", kDatabase, "stack", "<stackitem id=\"40\" typecode=\"8\"/>"),
            {{"FIELDNAME", "Flag"}}, {"VALUE"});
  sim.SetTaskVariable(kTaskId, {.name = "VALUE", .value = "maybe"});
  sim.AddDataEntity(kDatabase, {.id = 40, .type_code = 8, .fields = {Field::YesNo("Flag", false)}});
  pelmark::Error e = ExecuteFailing("SetYesNoFieldValue");
  EXPECT_EQ(e.number(), 13);
  EXPECT_EQ(e.source(),
            "Corvane => \r\nSetYesNoFieldValue:ProcessStack Ln 4"
            "\r\nSetYesNoFieldValue: IActivityRuntime_Execute Function Ln 8");
}

}  // namespace
}  // namespace corvane_test
