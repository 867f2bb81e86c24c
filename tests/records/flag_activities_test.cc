// The records-management flag classes, driven through the simulator.
#include <gtest/gtest.h>

#include "activity_fixture.h"
#include "framework/xml.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

struct FlagCase {
  const char* class_name;
  const char* operation;
  const char* timestamp_variable;
  const char* result_variable;
};

constexpr FlagCase kFlagCases[] = {
    {"MarkAsArchive", "IDmsService.MarkAsArchive", "ARCHIVEDON", "ARCHIVED"},
    {"MarkAsRecord", "IDmsService.MarkAsRecord", "MARKEDASRECORDON", "ISRECORD"},
    {"MarkAsVital", "IDmsService.MarkAsVital", "MARKEDASRECORDON", "ISVITAL"},
    {"PutOnHold", "IDmsService.PutOnHold", "PUTONHOLDON", "PUTOBHOLD"},
    {"UnmarkAsVital", "IDmsService.UnmarkAsVital", "UNMARKASVITALDON", "UNMARKASVITAL"},
    {"UnmarkAsRecord", "IDmsService.UnmarkAsRecord", "UNMARKASRECORDON", "UNMARKASRECORD"},
    {"ResetOnHold", "IDmsService.ResetOnHold", "RESETPUTOBHOLDON", "RESETPUTOBHOLD"},
};

class FlagActivityTest : public ActivityTest {
 protected:
  void SetUpVital(const std::string& item_list,
                  std::vector<sim::ParameterSpec> parameters = {{"REASON", "Quarterly review"}}) {
    SetUpTask(item_list, std::move(parameters), {"MARKEDASRECORDON", "ISVITAL"});
    for (int32_t id : {17, 18, 19, -5, 0}) sim.AddDocument(kDatabase, {.id = id});
  }

  // The items the operation was called for, as "EntityName id typecode".
  std::vector<std::string> OperatedItems(std::string_view op) const {
    std::vector<std::string> out;
    for (const sim::Call& c : sim.CallsTo(op)) {
      if (c.error_number != 0) continue;
      out.push_back(c.ArgValue("item.EntityName").string_value() + " " +
                    std::to_string(c.ArgValue("item.ID").long_value()) + " " +
                    std::to_string(c.ArgValue("item.TypeCode").long_value()));
    }
    return out;
  }
};

class EveryFlagClassTest : public FlagActivityTest,
                           public ::testing::WithParamInterface<FlagCase> {};

TEST_P(EveryFlagClassTest, CallsItsOperationOncePerItemAndWritesItsVariables) {
  const FlagCase& c = GetParam();
  SetUpTask(DocumentList({17, 18, 19}), {{"REASON", "Quarterly review"}},
            {c.timestamp_variable, c.result_variable});
  for (int32_t id : {17, 18, 19}) sim.AddDocument(kDatabase, {.id = id});

  EXPECT_EQ(Execute(c.class_name), 1);

  EXPECT_EQ(OperatedItems(c.operation),
            (std::vector<std::string>{"Document 17 2", "Document 18 2", "Document 19 2"}));
  for (const sim::Call& call : sim.CallsTo(c.operation))
    EXPECT_EQ(call.ArgValue("reason"), Variant("Quarterly review"));
  std::vector<sim::VariableWrite> writes = sim.TaskVariableWrites();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].name, c.timestamp_variable);
  EXPECT_EQ(writes[0].value, Variant::Date(kFixedNow));
  EXPECT_EQ(writes[1].name, c.result_variable);
  EXPECT_EQ(writes[1].value, Variant(true));
  EXPECT_TRUE(platform.log.empty());
}

INSTANTIATE_TEST_SUITE_P(AllFlagClasses, EveryFlagClassTest, ::testing::ValuesIn(kFlagCases),
                         [](const auto& info) { return std::string(info.param.class_name); });

TEST_F(FlagActivityTest, ConnectsWalksAndDisconnectsInOrder) {
  SetUpVital(DocumentList({17, 18, 19}));
  EXPECT_EQ(Execute("MarkAsVital"), 1);
  EXPECT_EQ(DmsOps(),
            (std::vector<std::string>{"IDmsService.Connect", "IDmsService.MarkAsVital",
                                      "IDmsService.MarkAsVital", "IDmsService.MarkAsVital",
                                      "IDmsService.Disconnect"}));
  EXPECT_EQ(sim.DmsCalls()[0].ArgValue("database"), Variant(kDatabase));
  EXPECT_TRUE(sim.FindItem(kDatabase, "Document", 18)->flags.at("Vital"));
}

TEST_F(FlagActivityTest, FailingItemIsSkippedAndTheWalkGoesOn) {
  SetUpVital(DocumentList({17, 18, 19}));
  sim.InjectFault({.op = "IDmsService.MarkAsVital", .when = {{"item.ID", 18}}, .number = 1234});

  EXPECT_EQ(Execute("MarkAsVital"), 1);

  EXPECT_EQ(OperatedItems("IDmsService.MarkAsVital"),
            (std::vector<std::string>{"Document 17 2", "Document 19 2"}));
  EXPECT_EQ(sim.TaskVariable(kTaskId, "ISVITAL"), Variant(true));
  EXPECT_TRUE(platform.log.empty()) << "suppressed item errors are not logged";
}

TEST_F(FlagActivityTest, NoDmsServiceStillWritesTheClosingVariables) {
  sim.options().dms_service = false;
  SetUpVital(DocumentList({17}));
  EXPECT_EQ(Execute("MarkAsVital"), 1);
  EXPECT_TRUE(sim.CallsTo("IDmsService.").empty());
  EXPECT_TRUE(sim.CallsTo("IActivityServices.GetProcessInstance").empty());
  EXPECT_EQ(sim.TaskVariable(kTaskId, "MARKEDASRECORDON"), Variant::Date(kFixedNow));
  EXPECT_EQ(sim.TaskVariable(kTaskId, "ISVITAL"), Variant(false));
}

TEST_F(FlagActivityTest, DatabaseMinusOneSkipsTheConnectionButOtherNegativesConnect) {
  SetUpVital(DocumentList({17}, -1));
  EXPECT_EQ(Execute("MarkAsVital"), 1);
  EXPECT_TRUE(sim.DmsCalls().empty());
  EXPECT_EQ(sim.TaskVariable(kTaskId, "ISVITAL"), Variant(false));

  sim.ClearJournal();
  sim.SetProcess({.id = kProcessId, .variables = {sim::ItemListVariable(DocumentList({17}, -5))}});
  sim.AddDocument(-5, {.id = 17});
  EXPECT_EQ(Execute("MarkAsVital"), 1);
  EXPECT_EQ(DmsOps(), (std::vector<std::string>{"IDmsService.Connect", "IDmsService.MarkAsVital",
                                                "IDmsService.Disconnect"}));
  EXPECT_EQ(sim.DmsCalls()[0].ArgValue("database"), Variant(-5));
}

TEST_F(FlagActivityTest, FirstVariableMustBeANonNullItemList) {
  SetUpVital(DocumentList({17}));
  sim.SetProcess(
      {.id = kProcessId,
       .variables = {{.name = "other", .value = DocumentList({17}), .type_name = "text"}}});
  EXPECT_EQ(Execute("MarkAsVital"), 1);
  EXPECT_TRUE(sim.DmsCalls().empty());

  sim.SetProcess(
      {.id = kProcessId,
       .variables = {{.name = "dmsobject", .value = Variant::Null(), .type_name = "DMS.Object"}}});
  EXPECT_EQ(Execute("MarkAsVital"), 1);
  EXPECT_TRUE(sim.DmsCalls().empty());
  EXPECT_EQ(sim.TaskVariable(kTaskId, "ISVITAL"), Variant(false));
}

TEST_F(FlagActivityTest, DocumentTypeCodeFollowsTheSignOfTheId) {
  SetUpVital(DocumentList({-5, 0}));
  EXPECT_EQ(Execute("MarkAsVital"), 1);
  EXPECT_EQ(OperatedItems("IDmsService.MarkAsVital"),
            (std::vector<std::string>{"Document -5 -2", "Document 0 2"}));
}

TEST_F(FlagActivityTest, CapitalisedKindReadsTheTypeCodeAttribute) {
  SetUpVital(ItemList("Document", kDatabase, "documents",
                      "<document id=\"17\" typecode=\"9\"/><document id=\"-5\" typecode=\"4\"/>"));
  EXPECT_EQ(Execute("MarkAsVital"), 1);
  std::vector<std::string> attempted;
  for (const sim::Call& c : sim.CallsTo("IDmsService.MarkAsVital"))
    attempted.push_back(std::to_string(c.ArgValue("item.ID").long_value()) + " " +
                        std::to_string(c.ArgValue("item.TypeCode").long_value()));
  EXPECT_EQ(attempted, (std::vector<std::string>{"17 9", "-5 4"}));
}

TEST_F(FlagActivityTest, HoldClassesSkipRecordSeriesButStillConnect) {
  for (const char* result_variable : {"PUTOBHOLD", "RESETPUTOBHOLD"}) {
    const char* class_name = result_variable[0] == 'P' ? "PutOnHold" : "ResetOnHold";
    SCOPED_TRACE(class_name);
    sim.ClearJournal();
    SetUpTask(ItemList("RecordSeries", kDatabase, "recordserieslist",
                       "<recordseries id=\"3\" typecode=\"44\"/>"),
              {{"REASON", "x"}},
              {"PUTONHOLDON", "PUTOBHOLD", "RESETPUTOBHOLDON", "RESETPUTOBHOLD"});
    sim.AddRecordSeries(kDatabase, {.id = 3, .type_code = 44});
    EXPECT_EQ(Execute(class_name), 1);
    EXPECT_EQ(DmsOps(),
              (std::vector<std::string>{"IDmsService.Connect", "IDmsService.Disconnect"}));
    EXPECT_EQ(sim.TaskVariable(kTaskId, result_variable), Variant(false));
  }
}

TEST_F(FlagActivityTest, RecordSeriesAreMarkedByTheOtherClasses) {
  SetUpTask(ItemList("recordseries", kDatabase, "recordserieslist",
                     "<recordseries id=\"3\" typecode=\"44\"/>"),
            {{"REASON", "x"}}, {"ARCHIVEDON", "ARCHIVED"});
  sim.AddRecordSeries(kDatabase, {.id = 3, .type_code = 44});
  EXPECT_EQ(Execute("MarkAsArchive"), 1);
  EXPECT_EQ(OperatedItems("IDmsService.MarkAsArchive"),
            (std::vector<std::string>{"RecordSeries 3 44"}));
}

TEST_F(FlagActivityTest, MissingListElementMeansNothingWalked) {
  SetUpVital(ItemList("document", kDatabase, "stack", "<document id=\"17\"/>"));
  EXPECT_EQ(Execute("MarkAsVital"), 1);
  EXPECT_EQ(DmsOps(), (std::vector<std::string>{"IDmsService.Connect", "IDmsService.Disconnect"}));
  EXPECT_EQ(sim.TaskVariable(kTaskId, "ISVITAL"), Variant(false));
}

TEST_F(FlagActivityTest, ReasonNullGivesEmptyTextAndARefusedReasonSkipsTheOperation) {
  SetUpVital(DocumentList({17}), {{"REASON", Variant::Null()}});
  Execute("MarkAsVital");
  ASSERT_EQ(sim.CallsTo("IDmsService.MarkAsVital").size(), 1u);
  EXPECT_EQ(sim.CallsTo("IDmsService.MarkAsVital")[0].ArgValue("reason"), Variant(""));

  sim.ClearJournal();
  sim.RemoveTaskParameter(kTaskId, "REASON");
  EXPECT_EQ(Execute("MarkAsVital"), 1);
  EXPECT_TRUE(sim.CallsTo("IDmsService.MarkAsVital").empty());
  EXPECT_EQ(sim.TaskVariable(kTaskId, "ISVITAL"), Variant(true)) << "the list was still walked";
}

TEST_F(FlagActivityTest, NodesWithoutAnIdDoNotRepeatThePreviousItem) {
  SetUpVital(ItemList("document", kDatabase, "documents",
                      "<document id=\"17\"/><!-- note --><document name=\"no id\"/>"
                      "<document id=\"x\"/><document id=\"19\"/>"));
  EXPECT_EQ(Execute("MarkAsVital"), 1);
  EXPECT_EQ(OperatedItems("IDmsService.MarkAsVital"),
            (std::vector<std::string>{"Document 17 2", "Document 19 2"}));
}

TEST_F(FlagActivityTest, UnknownKindFailsWithTheXPathErrorChain) {
  SetUpVital(ItemList("folder", kDatabase, "folders", "<folder id=\"1\"/>"));
  pelmark::Error e = ExecuteFailing("MarkAsVital");

  EXPECT_EQ(e.number(), corvane::kXPathErrorNumber);
  EXPECT_EQ(e.source(),
            "Corvane.XmlDocument => \r\nMarkAsVital:ProcessItems Ln 1"
            "\r\nMarkAsVital: IActivityRuntime_Execute Function Ln 8");
  ASSERT_EQ(platform.log.size(), 2u) << "logged by ProcessItems and by Execute";
  EXPECT_EQ(platform.log[0], e.description());
  EXPECT_EQ(platform.log[1], e.description());
  EXPECT_TRUE(sim.TaskVariableWrites().empty());
  EXPECT_EQ(DmsOps(), (std::vector<std::string>{"IDmsService.Connect"}))
      << "the error path leaves before Disconnect";
}

TEST_F(FlagActivityTest, MalformedItemListFailsAtTheHeaderWithTheLibrarySource) {
  SetUpVital("<dmsobject entitytype=\"document\" dbid=\"7\"><documents>");
  pelmark::Error e = ExecuteFailing("MarkAsVital");
  EXPECT_EQ(e.number(), 91);
  EXPECT_EQ(e.description(), "Object variable or With block variable not set");
  EXPECT_EQ(e.source(), "Corvane\r\nMarkAsVital: IActivityRuntime_Execute Function Ln 4");
  EXPECT_EQ(platform.log, (std::vector<std::string>{e.description()}));
  EXPECT_TRUE(sim.DmsCalls().empty());
}

TEST_F(FlagActivityTest, NonNumericDatabaseTypeIsATypeMismatch) {
  SetUpVital("<dmsobject entitytype=\"document\" dbid=\"7\" dbpath=\"p\" dbtype=\"abc\"/>");
  pelmark::Error e = ExecuteFailing("MarkAsVital");
  EXPECT_EQ(e.number(), 13);
  EXPECT_EQ(e.source(), "Corvane\r\nMarkAsVital: IActivityRuntime_Execute Function Ln 6");
}

}  // namespace
}  // namespace corvane_test
