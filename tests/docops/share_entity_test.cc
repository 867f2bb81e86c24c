// ShareEntity: one access entry per call, granted per item and share-list entry.
#include <gtest/gtest.h>

#include "activity_fixture.h"
#include "shared/field_addressing.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

constexpr const char* kShareList =
    "<resources><resource><id>9</id><type>dms.user</type><name>Ann</name></resource>"
    "<resource><id>3</id><type>dms.group</type></resource>"
    "<resource><id>4</id><type>DMS.ROLE</type></resource>"
    "<resource><id>-2</id><type>DMS.USER</type></resource></resources>";

std::string StackList(std::string_view items) {
  return ItemList("stackitem", kDatabase, "stack", items);
}

class ShareEntityTest : public ActivityTest {
 protected:
  void SetUpShare(const std::string& item_list, Variant shared_with,
                  Variant child_inherits = false) {
    SetUpTask(item_list,
              {{"SHARED_WITH", shared_with},
               {"ALLOW_MODIFY", true},
               {"ALLOW_DELETE", "0"},
               {"CHILD_INHERITS", child_inherits}},
              {});
    sim.SetProcess(
        {.id = kProcessId, .variables = {sim::ItemListVariable(item_list)}, .initiator_id = "21"});
    for (int32_t id : {17, -5}) sim.AddDocument(kDatabase, {.id = id});
  }
  // "target -> principal" of each grant, in order.
  std::vector<std::string> Grants() const {
    std::vector<std::string> out;
    auto text = [](const sim::Ref& r) {
      return r.entity_name + " " + std::to_string(r.id) + " " + std::to_string(r.type_code);
    };
    for (const sim::AceGrant& g : sim.Aces())
      out.push_back(text(g.item) + " -> " + text(g.principal));
    return out;
  }
};

TEST_F(ShareEntityTest, GrantsEachListedEntryOnEachDocumentInOrder) {
  SetUpShare(DocumentList({17, -5}), kShareList);

  EXPECT_EQ(Execute("ShareEntity"), 1);

  EXPECT_EQ(Grants(), (std::vector<std::string>{
                          "Document 17 2 -> User 9 18", "Document 17 2 -> Group 3 31",
                          "Document 17 2 -> Group 4 31", "Document 17 2 -> User 21 18",
                          "Document -5 -2 -> User 9 18", "Document -5 -2 -> Group 3 31",
                          "Document -5 -2 -> Group 4 31", "Document -5 -2 -> User 21 18"}));
  EXPECT_EQ(sim.CallsTo("IDmsService.NewEntity").size(), 1u) << "one entry for every grant";
  for (const sim::Call& c : sim.CallsTo("IDmsService.AddAce")) {
    EXPECT_EQ(c.ArgValue("ace.EntityName"), Variant("Ace"));
    EXPECT_EQ(c.ArgValue("ace.TypeCode"), Variant(int32_t{45}));
    EXPECT_EQ(c.ArgValue("ace.ID"), Variant(int32_t{0}));
  }
  EXPECT_EQ(sim.Aces().back().ace.Value("Allow Modify"), Variant(true));
  EXPECT_EQ(sim.Aces().back().ace.Value("Allow Delete"), Variant("0")) << "passed as given";
}

TEST_F(ShareEntityTest, StackSharesItsDocumentsOnlyWhenChildrenInherit) {
  for (bool inherit : {false, true}) {
    ResetSimulator();
    SetUpShare(StackList("<stackitem id=\"30\" typecode=\"100\"/>"),
               "<resource><id>9</id><type>dms.user</type></resource>", inherit);
    sim.AddDataEntity(kDatabase, {.id = 30, .type_code = 100});
    sim.AddDocument(kDatabase, {.id = 41, .parent_id = 30, .parent_type_code = 100});
    sim.AddDocument(kDatabase,
                    {.id = -42, .doc_type_code = 7, .parent_id = 30, .parent_type_code = 100});
    SCOPED_TRACE(inherit);

    EXPECT_EQ(Execute("ShareEntity"), 1);

    std::vector<std::string> expected = {"DataEntity 30 100 -> User 9 18"};
    if (inherit) {
      expected.push_back("Document 41 2 -> User 9 18");
      expected.push_back("Document -42 -7 -> User 9 18");
      ASSERT_EQ(sim.CallsTo("IDmsService.QueryEntities").size(), 1u);
      EXPECT_EQ(sim.CallsTo("IDmsService.QueryEntities")[0].ArgValue("query"),
                Variant(corvane::StackDocumentsQuery(30, 100)));
    } else {
      EXPECT_TRUE(sim.CallsTo("IDmsService.GetDataEntity").empty());
    }
    EXPECT_EQ(Grants(), expected);
  }
}

TEST_F(ShareEntityTest, RecordSeriesAreGrantedWithTheirTypeCode) {
  SetUpShare(ItemList("RecordSeries", kDatabase, "recordserieslist",
                      "<recordseries id=\"60\" typecode=\"70\"/>"),
             "<resource><id>3</id><type>dms.group</type></resource>");
  sim.AddRecordSeries(kDatabase, {.id = 60, .type_code = 70});
  EXPECT_EQ(Execute("ShareEntity"), 1);
  EXPECT_EQ(Grants(), (std::vector<std::string>{"RecordSeries 60 70 -> Group 3 31"}));
}

TEST_F(ShareEntityTest, EmptyShareListGrantsNothing) {
  SetUpShare(DocumentList({17}), "");
  EXPECT_EQ(Execute("ShareEntity"), 1);
  EXPECT_TRUE(sim.Aces().empty());
}

TEST_F(ShareEntityTest, UnreadableEntriesFailTheStep) {
  const struct {
    const char* share_list;
    Variant initiator;
    int32_t error;
  } cases[] = {
      {"<resource><type>dms.user</type></resource>", "21", 91},  // no ./id
      {"<resource><id>9</id></resource>", "21", 91},             // no ./type
      {"<resource><id>nine</id><type>dms.user</type></resource>", "21", 13},
      {"<resource><id>9</id><type>dms.user</type></resource>", "", 13},  // initiator
  };
  for (const auto& c : cases) {
    ResetSimulator();
    platform.log.clear();
    SetUpShare(DocumentList({17}), c.share_list);
    sim.SetProcess({.id = kProcessId,
                    .variables = {sim::ItemListVariable(DocumentList({17}))},
                    .initiator_id = c.initiator});
    SCOPED_TRACE(c.share_list);
    pelmark::Error e = ExecuteFailing("ShareEntity");
    EXPECT_EQ(e.number(), c.error);
    EXPECT_EQ(e.source(),
              "Corvane => \r\nShareEntity:ProcessDocument Ln 5\r\n"
              "ShareEntity: IActivityRuntime_Execute Function Ln 8");
    EXPECT_EQ(platform.log.size(), 2u);
    EXPECT_TRUE(sim.Aces().empty());
  }
}

}  // namespace
}  // namespace corvane_test
