// AutoStamp: the stamp annotation, its placement and its variables.
#include <gtest/gtest.h>

#include "activity_fixture.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

std::vector<sim::ParameterSpec> Placement(Variant width = int32_t{3}) {
  return {{"LEFT", int32_t{1}},   {"TOP", int32_t{2}},         {"WIDTH", width},
          {"HEIGHT", int32_t{4}}, {"PAGE_NUMBER", int32_t{3}}, {"STAMP_NAME", "Approved"}};
}

class AutoStampTest : public ActivityTest {
 protected:
  void SetUpStamp(const std::string& item_list, std::vector<sim::ParameterSpec> parameters) {
    SetUpTask(item_list, std::move(parameters), {"STAMPEDON", "STAMPNAME"});
    for (int32_t id : {17, -5}) sim.AddDocument(kDatabase, {.id = id});
  }
  Variant Stamped(size_t n, std::string_view field) const {
    return sim.Annotations().at(n).entity.Value(field);
  }
};

TEST_F(AutoStampTest, StampsEveryFoundDocumentAndRecordsTheStamp) {
  SetUpStamp(DocumentList({17, 99, -5}), Placement());

  EXPECT_EQ(Execute("AutoStamp"), 1);

  ASSERT_EQ(sim.Annotations().size(), 2u) << "document 99 does not exist and is skipped";
  EXPECT_EQ(sim.Annotations()[0].item, (sim::Ref{"Document", 17, 2}));
  EXPECT_EQ(sim.Annotations()[1].item, (sim::Ref{"Document", -5, -2}));
  const std::pair<const char*, Variant> expected[] = {{"Type", int32_t{6}},
                                                      {"Top", 2.0},
                                                      {"Left", 1.0},
                                                      {"Right", 4.0},
                                                      {"Bottom", 6.0},
                                                      {"Color", int32_t{16777216}},
                                                      {"Border Width", int32_t{1}},
                                                      {"Unit", "px"},
                                                      {"Zorder", int32_t{0}},
                                                      {"Page No", int32_t{3}},
                                                      {"Stamp Name", "Approved"},
                                                      {"User Id", Variant::Null()}};
  for (const auto& [field, value] : expected) EXPECT_EQ(Stamped(1, field), value) << field;

  std::vector<sim::VariableWrite> writes = sim.TaskVariableWrites();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].name, "STAMPEDON");
  EXPECT_EQ(writes[0].value, Variant::Date(kFixedNow));
  EXPECT_EQ(writes[1].name, "STAMPNAME");
  EXPECT_EQ(writes[1].value, Variant("Approved"));
  EXPECT_EQ(sim.Journal().front().op, "ITask.Variables") << "the time stamp comes first";
}

TEST_F(AutoStampTest, AnyUnitParameterMeansInches) {
  std::vector<sim::ParameterSpec> parameters = Placement();
  parameters.push_back({"UNIT", "cm"});
  SetUpStamp(DocumentList({17}), parameters);
  EXPECT_EQ(Execute("AutoStamp"), 1);
  EXPECT_EQ(Stamped(0, "Unit"), Variant("in"));
}

// The extents are added to the edges as numbers: text is read, never appended.
TEST_F(AutoStampTest, WidthIsAddedNumericallyToLeft) {
  const struct {
    Variant width;
    double right;
    int32_t error;
  } cases[] = {
      {int32_t{3}, 4.0, 0}, {"3", 4.0, 0},       {"2.5", 3.5, 0},
      {true, 0.0, 0},       {Variant(), 1.0, 0}, {Variant::Null(), 0, 94},
      {"wide", 0, 13},
  };
  for (const auto& c : cases) {
    ResetSimulator();
    platform.log.clear();
    SetUpStamp(DocumentList({17}), Placement(c.width));
    SCOPED_TRACE(sim::FormatVariant(c.width));
    if (c.error == 0) {
      EXPECT_EQ(Execute("AutoStamp"), 1);
      EXPECT_EQ(Stamped(0, "Right"), Variant(c.right));
      continue;
    }
    pelmark::Error e = ExecuteFailing("AutoStamp");
    EXPECT_EQ(e.number(), c.error);
    EXPECT_EQ(e.source(),
              "Corvane => \r\nAutoStamp:ApplyAnnotation Ln 1 => \r\nAutoStamp:ProcessDocument Ln 5"
              "\r\nAutoStamp: IActivityRuntime_Execute Function Ln 8");
    EXPECT_EQ(platform.log.size(), 3u);
    EXPECT_TRUE(sim.Annotations().empty());
    EXPECT_EQ(sim.TaskVariableWrites().size(), 1u) << "STAMPNAME is not reached";
  }
}

TEST_F(AutoStampTest, OnlyDocumentListsAreStampedButTheTimeIsAlwaysWritten) {
  for (const std::string& list :
       {ItemList("stackitem", kDatabase, "stack", "<stackitem id=\"30\" typecode=\"100\"/>"),
        ItemList("recordseries", kDatabase, "recordserieslist", "")}) {
    ResetSimulator();
    SetUpStamp(list, Placement());
    EXPECT_EQ(Execute("AutoStamp"), 1);
    EXPECT_TRUE(sim.Annotations().empty());
    ASSERT_EQ(sim.TaskVariableWrites().size(), 1u);
    EXPECT_EQ(sim.TaskVariableWrites()[0].name, "STAMPEDON");
  }
  ResetSimulator();
  sim.options().dms_service = false;
  SetUpStamp(DocumentList({17}), Placement());
  EXPECT_EQ(Execute("AutoStamp"), 1);
  EXPECT_EQ(sim.TaskVariable(kTaskId, "STAMPEDON"), Variant::Date(kFixedNow));
}

// Only the fields the annotation has are set; an unknown one is left alone and
// a parameter whose field is missing is not even read.
TEST_F(AutoStampTest, SetsOnlyTheFieldsTheAnnotationHas) {
  std::vector<sim::ParameterSpec> parameters = Placement();
  parameters.erase(parameters.begin() + 4);  // no PAGE_NUMBER
  SetUpStamp(DocumentList({17}), parameters);
  sim.DefineEntityTemplate(
      {.entity_name = "Annotation",
       .type_code = 40,
       .fields = {sim::Field::Null("Left", sim::kDouble), sim::Field::Text("Opacity", "0.5"),
                  sim::Field::Null("stamp name")}});
  EXPECT_EQ(Execute("AutoStamp"), 1);
  EXPECT_EQ(Stamped(0, "Left"), Variant(1.0));
  EXPECT_EQ(Stamped(0, "Opacity"), Variant("0.5"));
  EXPECT_EQ(Stamped(0, "stamp name"), Variant::Null()) << "names are compared exactly";
}

TEST_F(AutoStampTest, MissingPlacementParameterFailsTheStep) {
  std::vector<sim::ParameterSpec> parameters = Placement();
  parameters.erase(parameters.begin() + 3);  // no HEIGHT
  SetUpStamp(DocumentList({17}), parameters);
  pelmark::Error e = ExecuteFailing("AutoStamp");
  EXPECT_EQ(e.number(), sim::kErrUnknownName);
  EXPECT_EQ(e.source(),
            "Pelmark.Host => \r\nAutoStamp:ApplyAnnotation Ln 1 => \r\nAutoStamp:ProcessDocument "
            "Ln 5\r\nAutoStamp: IActivityRuntime_Execute Function Ln 8");
}

}  // namespace
}  // namespace corvane_test
