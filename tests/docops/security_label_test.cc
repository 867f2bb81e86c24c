// ApplySecurityLabel: one label look-up per item kind, and the two variables.
#include <gtest/gtest.h>

#include "activity_fixture.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

class SecurityLabelTest : public ActivityTest {
 protected:
  void SetUpLabel(const std::string& item_list, Variant label_name = "secret",
                  Variant child_inherits = false) {
    SetUpTask(item_list, {{"LABEL_NAME", label_name}, {"CHILD_INHERITS", child_inherits}},
              {"LABELNAME", "LABELAPPLIED"});
    sim.AddSecurityLabel(kDatabase, "Secret", 3);
    for (int32_t id : {17, -5}) sim.AddDocument(kDatabase, {.id = id});
  }
  std::vector<std::string> Labelled() const {
    std::vector<std::string> out;
    for (const sim::LabelApplied& l : sim.LabelsApplied())
      out.push_back(l.item.entity_name + " " + std::to_string(l.item.id) + " " +
                    std::to_string(l.item.type_code) + " " + l.label_name);
    return out;
  }
  void ExpectVariables(Variant name, bool applied) {
    std::vector<sim::VariableWrite> writes = sim.TaskVariableWrites();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].name, "LABELNAME");
    EXPECT_EQ(writes[0].value, name);
    EXPECT_EQ(writes[1].name, "LABELAPPLIED");
    EXPECT_EQ(writes[1].value, Variant(applied));
  }
};

TEST_F(SecurityLabelTest, LabelsEachDocumentWithTheLabelFoundByName) {
  SetUpLabel(DocumentList({17, -5}));
  EXPECT_EQ(Execute("ApplySecurityLabel"), 1);
  EXPECT_EQ(Labelled(),
            (std::vector<std::string>{"Document 17 2 Secret", "Document -5 -2 Secret"}));
  EXPECT_EQ(sim.CallsTo("IDmsService.GetSecurityLabel").size(), 1u);
  sim::Call apply = sim.CallsTo("IDmsService.ApplyLabel").at(0);
  EXPECT_EQ(apply.ArgValue("label.EntityName"), Variant("SecurityLabel"));
  EXPECT_EQ(apply.ArgValue("label.ID"), Variant(int32_t{3}));
  EXPECT_EQ(apply.ArgValue("label.TypeCode"), Variant(int32_t{53}));
  ExpectVariables("secret", true);
}

TEST_F(SecurityLabelTest, AppliedOnlyWhenTheLabelWasFoundForAListPresent) {
  const struct {
    const char* what;
    std::string item_list;
    const char* label;
    bool looked_up;
    bool applied;
    bool dms = true;
  } cases[] = {
      {"unknown label", DocumentList({17}), "Public", true, false},
      {"empty list", DocumentList({}), "secret", true, true},
      {"no list element",
       "<dmsobject entitytype=\"document\" dbid=\"7\" dbpath=\"\" dbtype=\"1\"/>", "secret", false,
       false},
      {"other kind", ItemList("folder", kDatabase, "documents", DocumentItems({17})), "secret",
       false, false},
      {"no DMS service", DocumentList({17}), "secret", false, false, false},
  };
  for (const auto& c : cases) {
    ResetSimulator();
    sim.options().dms_service = c.dms;
    SetUpLabel(c.item_list, c.label);
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Execute("ApplySecurityLabel"), 1);
    EXPECT_TRUE(sim.LabelsApplied().empty());
    EXPECT_EQ(sim.CallsTo("IDmsService.GetSecurityLabel").size(), c.looked_up ? 1u : 0u);
    ExpectVariables(c.label, c.applied);
  }
}

TEST_F(SecurityLabelTest, StacksLabelTheirDocumentsWhenChildrenInherit) {
  SetUpLabel(
      ItemList("stackitem", kDatabase, "stack",
               "<stackitem id=\"30\" typecode=\"100\"/><stackitem id=\"31\" typecode=\"100\"/>"),
      "secret", "True");
  sim.AddDataEntity(kDatabase, {.id = 30, .type_code = 100});
  sim.AddDataEntity(kDatabase, {.id = 31, .type_code = 100});
  sim.AddDocument(kDatabase,
                  {.id = 41, .doc_type_code = 7, .parent_id = 30, .parent_type_code = 100});
  sim.AddDocument(kDatabase, {.id = -42, .parent_id = 30, .parent_type_code = 100});

  EXPECT_EQ(Execute("ApplySecurityLabel"), 1);

  EXPECT_EQ(Labelled(),
            (std::vector<std::string>{"DataEntity 30 100 Secret", "Document 41 7 Secret",
                                      "Document -42 -2 Secret", "DataEntity 31 100 Secret"}));
  EXPECT_EQ(sim.CallsTo("IDmsService.GetSecurityLabel").size(), 1u) << "once per item kind";
  ExpectVariables("secret", true);
}

TEST_F(SecurityLabelTest, ErrorInTheWalkLeavesTheVariablesUnwritten) {
  SetUpLabel(ItemList("stackitem", kDatabase, "stack", "<stackitem id=\"30\" typecode=\"100\"/>"),
             "secret", "perhaps");
  sim.AddDataEntity(kDatabase, {.id = 30, .type_code = 100});
  pelmark::Error e = ExecuteFailing("ApplySecurityLabel");
  EXPECT_EQ(e.number(), 13);
  EXPECT_EQ(e.source(),
            "Corvane => \r\nApplySecurityLabel:ProcessStack Ln 5\r\n"
            "ApplySecurityLabel: IActivityRuntime_Execute Function Ln 8");
  EXPECT_EQ(Labelled(), (std::vector<std::string>{"DataEntity 30 100 Secret"}))
      << "the stack itself is labelled before the flag is read";
  EXPECT_TRUE(sim.TaskVariableWrites().empty());
}

}  // namespace
}  // namespace corvane_test
