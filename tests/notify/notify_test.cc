// Notify through the simulator: one message per person with its members in the
// order the notification service expects, rendering per person, the e-mail
// mode, missing services and the errors the host sees.
#include <gtest/gtest.h>

#include <functional>

#include "notify/notify_activity.h"
#include "notify_fixture.h"
#include "templates/render_budget.h"

namespace corvane_test {
namespace {

using sim::MessageRecord;

const std::string kItems = DocumentList({17, 18});

// The notification and configuration calls in order, without their targets.
std::vector<std::string> MessageOps(const sim::Simulator& s) {
  std::vector<std::string> out;
  for (const sim::Call& c : s.Journal()) {
    if (c.op.rfind("INotification", 0) == 0 || c.op.rfind("IConfigurationService", 0) == 0)
      out.push_back(c.op.substr(c.op.find('.') + 1));
  }
  return out;
}

std::vector<std::string> Bodies(const sim::Simulator& s, std::string_view delivery) {
  std::vector<std::string> out;
  for (const MessageRecord& m : s.Messages())
    if (m.delivery == delivery) out.push_back(m.Property("Body").string_value());
  return out;
}

// "id|type|name|email" per recipient.
std::vector<std::string> Recipients(const MessageRecord& m) {
  std::vector<std::string> out;
  for (const auto& r : m.recipients)
    out.push_back(r.id.string_value() + "|" + r.type.string_value() + "|" + r.name.string_value() +
                  "|" + r.email_id.string_value());
  return out;
}

// "Name=value" per property set, values as the journal writes them.
std::vector<std::string> Properties(const MessageRecord& m) {
  std::vector<std::string> out;
  for (const sim::Arg& p : m.properties) out.push_back(p.name + "=" + sim::FormatVariant(p.value));
  return out;
}

class NotifyExecuteTest : public NotifyTest {
 protected:
  void SetUp() override { SetUpDirectoryAndSettings(); }

  void SetUpDirectoryAndSettings() {
    SetUpDirectory();
    sim.SetSetting("General", "AdminEmailId", "workflow@x.test");
    sim.SetSetting("General", "AdminName", "Workflow");
  }
};

TEST_F(NotifyExecuteTest, PostsAndDeliversOneMessagePerPersonWithMembersInOrder) {
  SetUpNotify(ResourceList({Resource("1", "dms.user", "Ann"), Resource("10", "dms.group", "E")}),
              "Dear {{\"\\0\",RESOURCENAME}}");

  EXPECT_EQ(Execute("Notify"), 1);

  const std::vector<std::string> per_message = {
      "CreateMessage", "SetBody",         "SetSubject",      "GetSetting",    "SetSenderEmailID",
      "SetSenderID",   "SetSenderType",   "GetSetting",      "SetSenderName", "SetMessageCode1",
      "SetCreatedOn",  "SetMessageCode2", "SetMessageCode3", "AddAttachment", "AddRecipient",
      "PostMessage",   "DeliverMessage"};
  std::vector<std::string> expected;
  for (int i = 0; i < 3; ++i)
    expected.insert(expected.end(), per_message.begin(), per_message.end());
  EXPECT_EQ(MessageOps(sim), expected);

  ASSERT_EQ(sim.Messages().size(), 3u);
  const MessageRecord& first = sim.Messages()[0];
  EXPECT_EQ(first.delivery, "posted");
  EXPECT_TRUE(first.delivered);
  EXPECT_EQ(Properties(first), (std::vector<std::string>{
                                   "Body=\"Dear Ann\"",
                                   // The subject is never rendered.
                                   "Subject=\"Please read {{\\\"\\\\0\\\",RESOURCENAME}}\"",
                                   "SenderEmailID=\"workflow@x.test\"",
                                   "SenderID=\"0\"",
                                   "SenderType=\"System\"",
                                   "SenderName=\"Workflow\"",
                                   "MessageCode1=0",
                                   "CreatedOn=" + sim::FormatVariant(Variant::Date(kFixedNow)),
                                   "MessageCode2=1",
                                   "MessageCode3=0",
                               }));
  ASSERT_EQ(first.attachments.size(), 1u);
  EXPECT_EQ(first.attachments[0].content_type, Variant("text/xml"));
  EXPECT_EQ(first.attachments[0].name, Variant(""));
  EXPECT_EQ(first.attachments[0].content, Variant(kItems));
  EXPECT_EQ(Recipients(first), std::vector<std::string>{"1|dms.user|Ann|ann@x.test"});

  EXPECT_EQ(Bodies(sim, "posted"),
            (std::vector<std::string>{"Dear Ann", "Dear Bob Baker", "Dear cy"}));
  EXPECT_EQ(Recipients(sim.Messages()[2]), std::vector<std::string>{"3|dms.user|cy|"});
  EXPECT_TRUE(platform.log.empty());
}

TEST_F(NotifyExecuteTest, UnsetSettingsFallBackToTheirDefaults) {
  ResetSimulator();
  SetUpDirectory();
  SetUpNotify(ResourceList({Resource("1", "dms.user", "Ann")}), "Hello");
  EXPECT_EQ(Execute("Notify"), 1);
  ASSERT_EQ(sim.Messages().size(), 1u);
  EXPECT_EQ(sim.Messages()[0].Property("SenderEmailID"), Variant(corvane::kDefaultAdminEmail));
  EXPECT_EQ(sim.Messages()[0].Property("SenderName"), Variant("System"));
  std::vector<sim::Call> settings = sim.CallsTo("IConfigurationService.GetSetting");
  ASSERT_EQ(settings.size(), 2u);
  EXPECT_EQ(settings[0].ArgValue("key"), Variant("AdminEmailId"));
  EXPECT_EQ(settings[1].ArgValue("key"), Variant("AdminName"));
  EXPECT_EQ(settings[1].ArgValue("default"), Variant("System"));
}

TEST_F(NotifyExecuteTest, ResolvesVariableNamesForTheRecipient) {
  struct {
    const char* name;
    const char* expected;
  } cases[] = {
      // The recipient answers the resource names; the task and process names
      // the approval step shares are its table's rows.
      {"RESOURCENAME", "Ivy Initiator"},
      {"resourceid", "40"},
      {"ResourceType", "dms.user"},
      {"ACTIVITYID", "3"},
      {"INITIATORTYPE", "dms.user"},
      {"INITIATORCOMMENT", "please look"},
      // No answer variables in a notification.
      {"APPROVED", ""},
      {"COMMENTS", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetSimulator();
    SetUpDirectory();
    SetUpNotify(ResourceList({Resource("-2", "dms.user", "boss")}),
                std::string("[{{\"\\0\",") + c.name + "}}]");
    EXPECT_EQ(Execute("Notify"), 1);
    EXPECT_EQ(Bodies(sim, "posted"), std::vector<std::string>{std::string("[") + c.expected + "]"});
  }
}

TEST_F(NotifyExecuteTest, RendersRepeatedExpressionsOncePerItem) {
  SetUpNotify(ResourceList({Resource("1", "dms.user", "Ann"), Resource("2", "dms.user", "Bo")}),
              "{{N:dmsobject\"<\\0 for \\1>\",dmsobject.id,RESOURCENAME}}");
  EXPECT_EQ(Execute("Notify"), 1);
  EXPECT_EQ(Bodies(sim, "posted"),
            (std::vector<std::string>{"<17 for Ann><18 for Ann>", "<17 for Bo><18 for Bo>"}));
}

TEST_F(NotifyExecuteTest, RendersAgainWhileValuesBringNewExpressions) {
  struct {
    const char* what;
    std::string process_name;
    std::string body;
    std::string expected;
    size_t passes_reading_name;
  } cases[] = {
      // The trailing "{" would make the parser fail: a body without "{{" is
      // never parsed.
      {"body without double braces", "x", "Hi {there} }{", "Hi {there} }{", 0},
      {"closed braces that are no expression", "x", "Hi {{oops}}", "Hi {{oops}}", 0},
      {"value holding an expression", "{{\"<\\0>\",RESOURCEID}}", "{{\"\\0\",PROCESSNAME}}!",
       "<1>!", 1},
      {"value rendering to itself", "{{\"\\0\",PROCESSNAME}}", "{{\"\\0\",PROCESSNAME}}",
       "{{\"\\0\",PROCESSNAME}}", 1},
      {"value that grows stops after 100 passes", "x{{\"\\0\",PROCESSNAME}}",
       "{{\"\\0\",PROCESSNAME}}", std::string(100, 'x') + "{{\"\\0\",PROCESSNAME}}", 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetSimulator();
    SetUpDirectory();
    SetUpNotify(ResourceList({Resource("1", "dms.user", "Ann")}), c.body);
    sim.SetProcess({.id = kProcessId,
                    .variables = {sim::ItemListVariable(kItems)},
                    .process_name = Variant(c.process_name)});
    EXPECT_EQ(Execute("Notify"), 1);
    EXPECT_EQ(Bodies(sim, "posted"), std::vector<std::string>{c.expected});
    EXPECT_EQ(sim.CallsTo("IProcessInstance.ProcessName").size(), c.passes_reading_name);
  }
}

// Values written by whoever started the workflow are rendered again on the
// next pass. Whatever they hold, the call ends having rendered no more than
// the rendering limit, every pass for every recipient counted, and within a
// few passes.
TEST_F(NotifyExecuteTest, HostileValuesEndWithinTheRenderingLimitOfTheCall) {
  constexpr size_t kLimit = 4 << 20;
  const std::string renders_comment = R"(Comment: {{"\0",INITIATORCOMMENT}})";
  struct {
    const char* what;
    std::string body;
    std::string comment;
    int32_t error;     // 0: the step completes
    const char* sent;  // the body sent when it completes
    size_t most_passes;
  } cases[] = {
      {"a comment that repeats itself 2,000 times", renders_comment,
       R"({{N:2000"\0",INITIATORCOMMENT}})", 7, nullptr, 2},
      {"a 600 KB comment holding the expression that renders it", renders_comment,
       R"({{"\0",INITIATORCOMMENT}})" + std::string(600000, 'a'), 7, nullptr, 4},
      {"65,536 repetitions of a value holding its own placeholder",
       R"({{N:65536"\0",INITIATORCOMMENT}})", R"(\0)", 7, nullptr, 1},
      {"a repeat count of 2^31 - 1", R"({{N:2147483647"",INITIATORNAME}})", "", 6, nullptr, 0},
      {"a repeat count just short of overflowing", R"(<{{N:2147483645"",INITIATORNAME}}>)", "", 0,
       "<>", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetSimulator();
    SetUpDirectoryAndSettings();
    platform.template_output_limit = kLimit;
    SetUpNotify(ResourceList({Resource("1", "dms.user", "Ann"), Resource("2", "dms.user", "Bo")}),
                c.body);
    sim.SetProcess({.id = kProcessId, .initiator_name = "Ivy", .initiator_comment = c.comment});
    const uint64_t before = corvane::RenderedBytes();
    if (c.error) {
      pelmark::Error e = ExecuteFailing("Notify");
      EXPECT_EQ(e.number(), c.error) << e.description();
      EXPECT_TRUE(e.source().ends_with("Notify: IActivityRuntime_Execute Function Ln 6"))
          << e.source();
    } else {
      EXPECT_EQ(Execute("Notify"), 1);
      EXPECT_EQ(Bodies(sim, "posted"), (std::vector<std::string>{c.sent, c.sent}));
    }
    EXPECT_LE(corvane::RenderedBytes() - before, kLimit);
    EXPECT_LE(sim.CallsTo("IProcessInstance.InitiatorComment").size(), c.most_passes);
  }
}

TEST_F(NotifyExecuteTest, AttachesTheItemListOnlyWhenThereIsOne) {
  struct {
    const char* what;
    std::vector<sim::VariableSpec> variables;
    size_t attachments;
  } cases[] = {
      {"item list", {sim::ItemListVariable(kItems)}, 1},
      {"type name in capitals", {{.name = "d", .value = kItems, .type_name = "DMS.Object"}}, 1},
      {"no variables", {}, 0},
      {"first variable of another type",
       {{.name = "n", .value = "x", .type_name = "text"}, sim::ItemListVariable(kItems)},
       0},
      {"null item list", {{.name = "d", .value = Variant::Null(), .type_name = "dms.object"}}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetSimulator();
    SetUpDirectory();
    SetUpNotify(ResourceList({Resource("1", "dms.user", "Ann")}), "Hello", {}, c.variables);
    EXPECT_EQ(Execute("Notify"), 1);
    ASSERT_EQ(sim.Messages().size(), 1u);
    EXPECT_EQ(sim.Messages()[0].attachments.size(), c.attachments);
  }
}

TEST_F(NotifyExecuteTest, EmailModeSendsTheBodyAsWrittenToEveryoneWithAnAddress) {
  struct {
    const char* mode;  // nullptr: no "MODE" parameter
    bool email;
  } cases[] = {{"email", true}, {"EMAIL", true}, {"Email", true},
               {"mail", false}, {"", false},     {nullptr, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode ? c.mode : "no MODE");
    ResetSimulator();
    SetUpDirectoryAndSettings();
    std::vector<sim::ParameterSpec> extra;
    if (c.mode) extra.push_back({"MODE", c.mode});
    // User 3 has no e-mail address.
    SetUpNotify(ResourceList({Resource("10", "dms.group", "E"), Resource("1", "dms.user", "A")}),
                "To {{\"\\0\",RESOURCENAME}}", extra);
    EXPECT_EQ(Execute("Notify"), 1);

    EXPECT_EQ(Bodies(sim, "posted"), (std::vector<std::string>{"To Bob Baker", "To cy", "To A"}));
    if (!c.email) {
      EXPECT_TRUE(sim.CallsTo("INotificationService.SendEmail").empty());
      continue;
    }
    ASSERT_EQ(sim.Messages().size(), 4u);
    const MessageRecord& email = sim.Messages()[3];
    EXPECT_EQ(email.delivery, "email");
    EXPECT_EQ(email.Property("Body"), Variant("To {{\"\\0\",RESOURCENAME}}"));
    // Everything but the body as on the per-person messages.
    std::vector<std::string> email_properties = Properties(email);
    std::vector<std::string> posted_properties = Properties(sim.Messages()[0]);
    email_properties.erase(email_properties.begin());
    posted_properties.erase(posted_properties.begin());
    EXPECT_EQ(email_properties, posted_properties);
    EXPECT_TRUE(email.attachments.empty());
    EXPECT_EQ(Recipients(email), (std::vector<std::string>{"2|dms.user|Bob Baker|bob@x.test",
                                                           "1|dms.user|A|ann@x.test"}));
    EXPECT_EQ(MessageOps(sim).back(), "SendEmail");
  }
}

TEST_F(NotifyExecuteTest, EmptySenderListStillSendsTheEmailWithoutRecipients) {
  SetUpNotify("   ", "Hello", {{"MODE", "email"}});
  EXPECT_EQ(Execute("Notify"), 1);
  ASSERT_EQ(sim.Messages().size(), 1u);
  EXPECT_EQ(sim.Messages()[0].delivery, "email");
  EXPECT_TRUE(sim.Messages()[0].recipients.empty());
  EXPECT_TRUE(sim.DmsCalls().empty());
}

TEST_F(NotifyExecuteTest, WithoutNotificationServiceBuildsThePoolAndSendsNothing) {
  sim.options().notification_service = false;
  SetUpNotify(ResourceList({Resource("10", "dms.group", "E")}), "Hello", {{"MODE", "email"}});
  EXPECT_EQ(Execute("Notify"), 1);
  EXPECT_EQ(DmsOps(), std::vector<std::string>{"IDmsService.QueryRecords"});
  EXPECT_TRUE(sim.Messages().empty());
  EXPECT_TRUE(sim.CallsTo("IConfigurationService").empty());
}

TEST_F(NotifyExecuteTest, FailuresReachTheHostWithTheirLocationsAndOneLogEntry) {
  struct {
    const char* what;
    std::function<void(sim::Simulator&)> arrange;
    std::string body;
    int32_t number;
    std::string source;
    size_t messages_sent;
  } cases[] = {
      {"no configuration service",
       [](sim::Simulator& s) { s.options().configuration_service = false; }, "Hello", 91,
       "Corvane\r\nNotify: IActivityRuntime_Execute Function Ln 7", 0},
      {"member with Null name",
       [](sim::Simulator& s) {
         s.AddUser({.id = 5, .name = Variant::Null(), .email = "e@x.test"});
         s.AddGroup({.id = 10, .name = "E", .members = {5}});
       },
       "Hello", 94,
       "Corvane => \r\nNotify:AddGroupMembers Ln 6 => \r\nNotify:GetSenderList Ln 8\r\n"
       "Notify: IActivityRuntime_Execute Function Ln 2",
       0},
      {"expression left open", [](sim::Simulator&) {}, "Hi {{\"\\0\",RESOURCENAME}} {", 91,
       "Corvane => \r\nCFormatParser:Parse Ln 4 => \r\nNotify:FormatTemplate Ln 1\r\n"
       "Notify: IActivityRuntime_Execute Function Ln 6",
       0},
      {"link of an item without typecode", [](sim::Simulator&) {},
       "{{N:dmsobject\"\\0\",dmsobject.link}}", 91,
       "Corvane => \r\nNotify:SetObjectVariable Ln 7 => \r\nNotify:FormatTemplate Ln 2\r\n"
       "Notify: IActivityRuntime_Execute Function Ln 6",
       0},
      {"second post refused",
       [](sim::Simulator& s) {
         s.InjectFault({.op = "INotificationService.PostMessage", .number = 1234, .skip = 1});
       },
       "Hello", 1234,
       std::string(sim::kDmsSource) + "\r\nNotify: IActivityRuntime_Execute Function Ln 10", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetSimulator();
    SetUpDirectory();
    platform.log.clear();
    c.arrange(sim);
    SetUpNotify(ResourceList({Resource("1", "dms.user", "Ann"), Resource("10", "dms.group", "E")}),
                c.body);
    pelmark::Error e = ExecuteFailing("Notify");
    EXPECT_EQ(e.number(), c.number);
    EXPECT_EQ(e.source(), c.source);
    EXPECT_EQ(platform.log, std::vector<std::string>{e.description()});
    // Messages already handed over stay sent.
    EXPECT_EQ(sim.Messages().size(), c.messages_sent);
  }
}

}  // namespace
}  // namespace corvane_test
