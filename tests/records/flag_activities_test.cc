// The records-management flag classes, driven through the simulator.
#include <gtest/gtest.h>

#include <functional>

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

// What a walk did with the item list it was given: the DMS calls in order, each
// item operation with its item ("MarkAsVital Document 17 2", "!" when it failed),
// and the result variable written at the end.
struct WalkRow {
  const char* name;
  std::string item_list;
  std::string expected;
  const char* class_name = "MarkAsVital";
  const char* result_variable = "ISVITAL";
  std::function<void(sim::Simulator&)> setup = nullptr;
};

// Names the row in test output.
void PrintTo(const WalkRow& r, std::ostream* os) { *os << r.name; }

const WalkRow kWalkRows[] = {
    {"AFailingItemIsSkippedAndTheWalkGoesOnUnlogged", DocumentList({17, 18, 19}),
     "Connect 7; MarkAsVital Document 17 2; MarkAsVital Document 18 2 !; MarkAsVital Document 19 "
     "2; Disconnect; ISVITAL=True",
     "MarkAsVital", "ISVITAL",
     [](sim::Simulator& s) {
       s.InjectFault({.op = "IDmsService.MarkAsVital", .when = {{"item.ID", 18}}, .number = 1234});
     }},
    {"DatabaseMinusOneSkipsTheConnection", DocumentList({17}, -1), "ISVITAL=False"},
    {"OtherNegativeDatabasesConnect", DocumentList({17}, -5),
     "Connect -5; MarkAsVital Document 17 2; Disconnect; ISVITAL=True", "MarkAsVital", "ISVITAL",
     [](sim::Simulator& s) { s.AddDocument(-5, {.id = 17}); }},
    {"AFirstVariableThatIsNoItemListWalksNothing", "", "ISVITAL=False", "MarkAsVital", "ISVITAL",
     [](sim::Simulator& s) {
       s.SetProcess(
           {.id = kProcessId,
            .variables = {{.name = "other", .value = DocumentList({17}), .type_name = "text"}}});
     }},
    {"ANullItemListWalksNothing", "", "ISVITAL=False", "MarkAsVital", "ISVITAL",
     [](sim::Simulator& s) {
       s.SetProcess({.id = kProcessId,
                     .variables = {{.name = "dmsobject",
                                    .value = pelmark::Variant::Null(),
                                    .type_name = "DMS.Object"}}});
     }},
    {"TheDocumentTypeCodeFollowsTheSignOfTheId", DocumentList({-5, 0}),
     "Connect 7; MarkAsVital Document -5 -2; MarkAsVital Document 0 2; Disconnect; ISVITAL=True"},
    {"ACapitalisedKindReadsTheTypeCodeAttribute",
     ItemList("Document", kDatabase, "documents",
              "<document id=\"17\" typecode=\"9\"/><document id=\"-5\" typecode=\"4\"/>"),
     "Connect 7; MarkAsVital Document 17 9 !; MarkAsVital Document -5 4 !; Disconnect; "
     "ISVITAL=True"},
    {"AMissingListElementMeansNothingWalked",
     ItemList("document", kDatabase, "stack", "<document id=\"17\"/>"),
     "Connect 7; Disconnect; ISVITAL=False"},
    {"NodesWithoutAnIdDoNotRepeatThePreviousItem",
     ItemList("document", kDatabase, "documents",
              "<document id=\"17\"/><!-- note --><document name=\"no id\"/>"
              "<document id=\"x\"/><document id=\"19\"/>"),
     "Connect 7; MarkAsVital Document 17 2; MarkAsVital Document 19 2; Disconnect; ISVITAL=True"},
    {"PutOnHoldSkipsRecordSeriesButStillConnects",
     ItemList("RecordSeries", kDatabase, "recordserieslist",
              "<recordseries id=\"3\" typecode=\"44\"/>"),
     "Connect 7; Disconnect; PUTOBHOLD=False", "PutOnHold", "PUTOBHOLD"},
    {"ResetOnHoldSkipsRecordSeriesButStillConnects",
     ItemList("RecordSeries", kDatabase, "recordserieslist",
              "<recordseries id=\"3\" typecode=\"44\"/>"),
     "Connect 7; Disconnect; RESETPUTOBHOLD=False", "ResetOnHold", "RESETPUTOBHOLD"},
    {"RecordSeriesAreMarkedByTheOtherClasses",
     ItemList("recordseries", kDatabase, "recordserieslist",
              "<recordseries id=\"3\" typecode=\"44\"/>"),
     "Connect 7; MarkAsArchive RecordSeries 3 44; Disconnect; ARCHIVED=True", "MarkAsArchive",
     "ARCHIVED"},
};

class WalkTest : public FlagActivityTest, public ::testing::WithParamInterface<WalkRow> {};

TEST_P(WalkTest, WalksTheItemsItCanAndWritesItsResult) {
  const WalkRow& r = GetParam();
  std::vector<std::string> variables;
  for (const FlagCase& c : kFlagCases)
    if (c.result_variable == std::string_view(r.result_variable))
      variables = {c.timestamp_variable, c.result_variable};
  SetUpTask(r.item_list, {{"REASON", "Quarterly review"}}, variables);
  for (int32_t id : {17, 18, 19, -5, 0}) sim.AddDocument(kDatabase, {.id = id});
  sim.AddRecordSeries(kDatabase, {.id = 3, .type_code = 44});
  if (r.setup) r.setup(sim);

  EXPECT_EQ(Execute(r.class_name), 1);
  std::string walk;
  for (const sim::Call& c : sim.DmsCalls()) {
    walk += c.op.substr(c.op.find('.') + 1);
    if (c.op == "IDmsService.Connect") walk += " " + sim::FormatVariant(c.ArgValue("database"));
    if (!c.ArgValue("item.ID").is_empty())
      walk += " " + c.ArgValue("item.EntityName").string_value() + " " +
              std::to_string(c.ArgValue("item.ID").long_value()) + " " +
              std::to_string(c.ArgValue("item.TypeCode").long_value());
    walk += c.error_number ? " !; " : "; ";
  }
  walk += std::string(r.result_variable) + "=" +
          sim::FormatVariant(sim.TaskVariable(kTaskId, r.result_variable));
  EXPECT_EQ(walk, r.expected);
  EXPECT_TRUE(platform.log.empty()) << "item errors are not logged";
}

INSTANTIATE_TEST_SUITE_P(ItemLists, WalkTest, ::testing::ValuesIn(kWalkRows),
                         [](const auto& info) { return std::string(info.param.name); });

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
