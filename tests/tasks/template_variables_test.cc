// The values a task detail template sees: the standard names of the approval
// and review steps and the per-item variables of a repeating expression.
#include "shared/template_variables.h"

#include <gtest/gtest.h>

#include "framework/xml.h"
#include "human_task_fixture.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

class TemplateVariablesTest : public HumanTaskTest {
 protected:
  // One answered task of `class_name` whose details come from `detail_format`.
  std::string Details(std::string_view class_name, const std::string& item_list,
                      const std::string& detail_format, Variant approved = true) {
    SetUpStep(item_list);
    AddAnswer(
        {.approved = approved},
        {{"DETAIL_FORMAT", detail_format}, {"COMMENTSASNOTES", false}, {"AUDIT_ACTIVITY", false}});
    sim.SetTaskVariable(kTaskId, {.name = "COMMENTS", .value = "Looks fine"});
    sim.SetTaskVariable(kTaskId, {.name = "REVIEWED", .value = false});
    EXPECT_EQ(Execute(class_name), 1);
    return sim.TaskVariable(kTaskId, "DETAILS").string_value();
  }
};

TEST_F(TemplateVariablesTest, StandardNamesResolveByGroup) {
  struct Case {
    const char* class_name;
    const char* name;
    Variant approved;
    const char* text;
  };
  const Case cases[] = {
      {"DocApproval", "APPROVED", true, "Yes"},
      {"DocApproval", "approved", false, "No"},
      {"DocApproval", "APPROVED", Variant::Null(), "-"},
      {"DocApproval", "APPROVALDATE", true, "Sat,Dec 5 2026 2:30 PM"},
      {"DocApproval", "COMMENTS", true, "Looks fine"},
      {"DocApproval", "DETAILS", true, "-"},
      {"DocApproval", "REVIEWED", true, ""},
      {"DocApproval", "ROVED", true, ""},  // part of the answer list, no such variable
      {"DocApproval", "TASK", true, ""},   // part of the task list, no such name
      {"DocApproval", "RESOURCENAME", true, "Rita Reviewer"},
      {"DocApproval", "RESOURCEID", true, "17"},
      {"DocApproval", "TASKID", true, "5"},
      {"DocApproval", "TASKINDEX", true, "1"},
      {"DocApproval", "PROCESSID", true, "12"},
      {"DocApproval", "PROCESSNAME", true, "Case 9"},
      {"DocApproval", "INITIATORID", true, "44"},
      {"DocApproval", "INITIATORNAME", true, "Ida Initiator"},
      {"DocApproval", "INITIATOR", true, ""},
      {"DocApproval", "UNKNOWN", true, ""},
      {"Review", "REVIEWED", true, "No"},
      {"Review", "REVIEWDATE", true, "Sat,Dec 5 2026 2:30 PM"},
      {"Review", "APPROVED", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.class_name) + " " + c.name);
    Reset();
    EXPECT_EQ(Details(c.class_name, DocumentList({17}), "{{\"<\\0>\"," + std::string(c.name) + "}}",
                      c.approved),
              std::string("<") + c.text + ">");
  }
}

const std::string kTypedDocuments =
    ItemList("document", kDatabase, "documents",
             "<document id=\"17\" name=\"Doc 17\" typecode=\"2\"/>"
             "<document id=\"18\" name=\"Doc 18\" typecode=\"-2\"/>");
const std::string kPerItem =
    "{{N:dmsobject\"[\\0 \\1 \\2 \\3]\",dmsobject.id,dmsobject.name,dmsobject.link,RESOURCEID}}";

TEST_F(TemplateVariablesTest, RepeatingExpressionGetsOneRepetitionPerItem) {
  sim.SetSetting("Links", "document", "view?doc=#&type=$&db=!&again=#");
  EXPECT_EQ(Details("Review", kTypedDocuments, kPerItem),
            "[17 Doc 17 view?doc=17&type=2&db=7&again=17 17]"
            "[18 Doc 18 view?doc=18&type=-2&db=7&again=18 17]");
  bool asked = false;
  for (const sim::Call& c : sim.CallsTo("IConfigurationService.GetSetting"))
    asked = c.ArgValue("section") == Variant("Links") && c.ArgValue("key") == Variant("document");
  EXPECT_TRUE(asked);
}

TEST_F(TemplateVariablesTest, WithoutConfigurationServiceLinksAreEmpty) {
  sim.options().configuration_service = false;
  EXPECT_EQ(Details("DocApproval", kTypedDocuments, kPerItem), "[17 Doc 17  17][18 Doc 18  17]");
}

TEST_F(TemplateVariablesTest, LoopObjectThatIsNoItemListRepeatsZeroTimes) {
  struct Case {
    const char* name;
    sim::VariableSpec variable;
    const char* details;
  };
  const Case cases[] = {
      {"item list", {"other", DocumentList({17, 18}), "dms.object"}, "<17><17>"},
      {"null", {"other", Variant::Null(), "dms.object"}, ""},
      {"other type", {"other", DocumentList({17}), "string"}, ""},
      {"not XML", {"other", "<dmsobject", "DMS.Object"}, ""},
      {"no dmsobject", {"other", "<documents/>", "dms.object"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    SetUpStep(DocumentList({17}));
    sim.SetProcessVariable(kProcessId, c.variable);
    AddAnswer({}, {{"DETAIL_FORMAT", "{{N:other\"<\\0>\",RESOURCEID}}"},
                   {"COMMENTSASNOTES", false},
                   {"AUDIT_ACTIVITY", false}});
    EXPECT_EQ(Execute("DocApproval"), 1);
    EXPECT_EQ(sim.TaskVariable(kTaskId, "DETAILS"), Variant(c.details));
  }
}

TEST_F(TemplateVariablesTest, LinkItemWithoutTypeCodeFailsQuietlyThenLoudly) {
  sim.options().configuration_service = false;
  SetUpStep(DocumentList({17}));
  AddAnswer(
      {}, {{"DETAIL_FORMAT", "{{N:dmsobject\"\\0\",dmsobject.link}}"}, {"COMMENTSASNOTES", false}});
  pelmark::Error e = ExecuteFailing("Review");
  EXPECT_EQ(e.number(), 91);
  EXPECT_EQ(e.source(),
            "Corvane => \r\nReview:SetObjectVariable Ln 7 => \r\n"
            "Review: IActivityRuntime_Execute Function (4)");
  EXPECT_EQ(platform.log.size(), 1u);
}

// The kind text becomes part of a selection only as a name: any other text is
// refused as an invalid selection would be, never evaluated.
TEST_F(TemplateVariablesTest, KindThatIsNoNameIsNeverEvaluated) {
  struct Case {
    const char* entity_type;
    const char* details;  // empty when the step fails
  };
  const Case cases[] = {
      {"document", "<17><18>"},
      {"Document", ""},  // a name, case kept: no such elements
      {"x:document", ""},
      {"*", nullptr},
      {"document | //documents", nullptr},
      {"document[@id='18']", nullptr},
      {"//document", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entity_type);
    Reset();
    SetUpStep(ItemList(c.entity_type, kDatabase, "documents", DocumentItems({17, 18})));
    AddAnswer({}, {{"DETAIL_FORMAT", "{{N:dmsobject\"<\\0>\",dmsobject.id}}"},
                   {"COMMENTSASNOTES", false},
                   {"AUDIT_ACTIVITY", false}});
    if (c.details) {
      EXPECT_EQ(Execute("Review"), 1);
      EXPECT_EQ(sim.TaskVariable(kTaskId, "DETAILS"), Variant(c.details));
      continue;
    }
    pelmark::Error e = ExecuteFailing("Review");
    EXPECT_EQ(e.number(), corvane::kXPathErrorNumber);
    EXPECT_EQ(e.source(),
              "Corvane.XmlDocument => \r\nReview:SetObjectVariable Ln 5 => \r\n"
              "Review: IActivityRuntime_Execute Function (4)");
    EXPECT_NE(e.description().find(std::string("\"//") + c.entity_type + "\""), std::string::npos)
        << e.description();
  }
}

// The notification step calls the same procedure under its own name.
TEST_F(TemplateVariablesTest, SetObjectVariableFetchesTheInstanceAndNamesItsOwner) {
  SetUpStep(kTypedDocuments);
  AddAnswer({});
  corvane::CFormatParser parser;
  auto expressions = parser.Parse("{{N:dmsobject\"\\0,\",dmsobject.name}}");
  ASSERT_TRUE(expressions);
  pelmark::ComPtr<pelmark::IProcessInstance> instance;
  EXPECT_EQ(corvane::SetObjectVariable(sim.Services(), "Notify", "dmsobject", sim.Task(kTaskId),
                                       instance, expressions->front()),
            2);
  EXPECT_TRUE(instance);
  instance.reset();
  expressions->front().SetLoopCount(2);
  EXPECT_EQ(expressions->front().ToString(), "Doc 17,Doc 18,");

  sim.InjectFault({.op = "IActivityServices.GetProcessInstance", .number = 5});
  pelmark::Error e = ErrorOf([&] {
    corvane::SetObjectVariable(sim.Services(), "Notify", "dmsobject", sim.Task(kTaskId), instance,
                               expressions->front());
  });
  EXPECT_EQ(e.source(), "Pelmark.Dms => \r\nNotify:SetObjectVariable Ln 1");
  EXPECT_TRUE(platform.log.empty());
}

}  // namespace
}  // namespace corvane_test
