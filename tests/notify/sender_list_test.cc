// Building the pool from a resource list: order, de-duplication, group and role
// expansion with the member queries, e-mail look-up and the initiator.
#include "notify/sender_list.h"

#include <gtest/gtest.h>

#include "notify_fixture.h"

namespace corvane_test {
namespace {

using corvane::CResources;

// The whole member query of group 10, as the DMS must receive it.
constexpr std::string_view kGroup10Query =
    R"(<query entity="tblUsers" maxrows="-1" distinctmode="1" columnset="0" searchmode="1"><columnset/><criteria><conditionexpression logicaloperator="1"><conditionexpressions/><conditions><condition attributename="UserType" attributetype= "13" operator="1" valuetype="0" valuedatatype = "3" >0</condition></conditions></conditionexpression></criteria><joins><join primaryentity="Users" primaryentityattribute="UserID" primaryintermediateattribute="UserID" relatedentity="Group" relateentityattribute="GroupID" jointype="0" ><columnset/><criteria><conditionexpression logicaloperator="1"><conditionexpressions/><conditions><condition attributename="GroupID" attributetype= "13" operator="1" valuetype="0" valuedatatype = "3" >10</condition></conditions></conditionexpression></criteria><joins/></join></joins><orderby/><parameters/></query>)";
constexpr std::string_view kRole20Query =
    R"(<query entity="tblUsers" maxrows="-1" distinctmode="1" columnset="0" searchmode="1"><columnset/><criteria><conditionexpression logicaloperator="1"><conditionexpressions/><conditions><condition attributename="UserType" attributetype= "13" operator="1" valuetype="0" valuedatatype = "3" >0</condition></conditions></conditionexpression></criteria><joins><join primaryentity="Users" primaryentityattribute="UserID" primaryintermediateattribute="UserID" relatedentity="Role" relateentityattribute="RoleID" jointype="0" ><columnset/><criteria><conditionexpression logicaloperator="1"><conditionexpressions/><conditions><condition attributename="RoleID" attributetype= "13" operator="1" valuetype="0" valuedatatype = "3" >20</condition></conditions></conditionexpression></criteria><joins/></join></joins><orderby/><parameters/></query>)";

// A member as "id|type|name|email|weight".
std::vector<std::string> Describe(const CResources& pool) {
  std::vector<std::string> out;
  for (const auto& m : pool)
    out.push_back(m->ResourceID() + "|" + m->ResourceType() + "|" + m->ResourceName() + "|" +
                  m->ResourceEmailID() + "|" + std::to_string(m->Weight()));
  return out;
}

class SenderListTest : public NotifyTest {
 protected:
  void SetUp() override {
    SetUpDirectory();
    SetUpNotify("", "");
  }

  std::unique_ptr<CResources> Build(const std::string& list) {
    pelmark::ComPtr<pelmark::IProcessInstance> instance =
        sim.Services()->GetProcessInstance(kProcessId);
    sim.ClearJournal();
    return corvane::GetSenderList(sim.Services(), instance.get(), list);
  }

  pelmark::Error BuildFailing(const std::string& list) {
    return ErrorOf([&] { Build(list); });
  }
};

TEST_F(SenderListTest, PoolKeepsFirstReachedOrderAndCountsLaterReaches) {
  std::unique_ptr<CResources> pool = Build(ResourceList({
      Resource("1", "dms.user", "Ann (listed)"),
      Resource("10", "dms.group", "Editors"),
      Resource("2", "dms.user", "Bob (listed)"),
      Resource("20", "DMS.Role", "Approvers"),
      Resource("11", "DMS.GROUP", "Readers"),
      Resource("-2", "dms.user", "initiator"),
  }));

  EXPECT_EQ(Describe(*pool), (std::vector<std::string>{
                                 // Listed directly, reached again through role 20.
                                 "1|dms.user|Ann (listed)|ann@x.test|1",
                                 // First reached through group 10; the later listing is dropped.
                                 "2|dms.user|Bob Baker|bob@x.test|0",
                                 // A blank full name falls back to "Name"; reached via 10 and 11.
                                 "3|dms.user|cy||1",
                                 // A Null full name falls back to "Name" too.
                                 "4|dms.user|dee|dee@x.test|1",
                                 "40|dms.user|Ivy Initiator|ivy@x.test|0",
                             }));
  EXPECT_TRUE(platform.log.empty());
}

TEST_F(SenderListTest, SendsTheMemberQueriesAndEmailLookUpsInListOrder) {
  Build(ResourceList({
      Resource("1", "dms.user", "Ann"),
      Resource("10", "dms.group", "Editors"),
      Resource("20", "dms.role", "Approvers"),
      Resource("-2", "dms.user", "initiator"),
  }));

  std::vector<sim::Call> calls = sim.DmsCalls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].op, "IDmsService.GetUserEmail");
  EXPECT_EQ(calls[0].ArgValue("user_id"), Variant(int32_t{1}));
  EXPECT_EQ(calls[1].op, "IDmsService.QueryRecords");
  EXPECT_EQ(calls[1].ArgValue("flag"), Variant(true));
  EXPECT_EQ(calls[2].op, "IDmsService.QueryRecords");
  EXPECT_EQ(calls[2].ArgValue("flag"), Variant(true));
  // The initiator's e-mail is looked up by the process's InitiatorID.
  EXPECT_EQ(calls[3].op, "IDmsService.GetUserEmail");
  EXPECT_EQ(calls[3].ArgValue("user_id"), Variant(kInitiatorId));
  // The texts the walk sends, also as the library's own functions make them.
  EXPECT_EQ(calls[1].ArgValue("query"), Variant(kGroup10Query));
  EXPECT_EQ(calls[2].ArgValue("query"), Variant(kRole20Query));
  EXPECT_EQ(corvane::GroupMembersQuery("10"), kGroup10Query);
  EXPECT_EQ(corvane::RoleMembersQuery("20"), kRole20Query);
}

TEST_F(SenderListTest, EmptyOrUnreadableListsNameNobody) {
  EXPECT_EQ(Build("")->Count(), 0);
  EXPECT_TRUE(sim.CallsTo("IActivityServices.GetService").empty());
  EXPECT_EQ(Build("<resources>")->Count(), 0);
  EXPECT_EQ(Build(ResourceList({Resource("5", "dms.team", "unknown kind")}))->Count(), 0);
  EXPECT_TRUE(sim.DmsCalls().empty());
}

TEST_F(SenderListTest, WithoutDmsUsersTakeTheirListedEmailAndGroupsAddNobody) {
  sim.options().dms_service = false;
  std::unique_ptr<CResources> pool = Build(ResourceList({
      Resource("abc", "dms.user", "Ann", "ann@list.test"),
      Resource("10", "dms.group", "Editors"),
      Resource("ABC", "dms.user", "Ann again", "other@list.test"),
      Resource("20", "dms.role", "Approvers"),
      Resource("-2", "dms.user", "initiator", "boss@list.test"),
  }));
  EXPECT_EQ(Describe(*pool),
            (std::vector<std::string>{"abc|dms.user|Ann|ann@list.test|0",
                                      "40|dms.user|Ivy Initiator|boss@list.test|0"}));
}

TEST_F(SenderListTest, UnreadableEntriesAndMemberDataFailQuietlyWithTheirLocation) {
  struct {
    const char* what;
    bool dms;
    std::string list;
    int32_t number;
    std::string source;
  } cases[] = {
      {"entry without id", true,
       ResourceList({"<resource><type>dms.user</type><name>x</name></resource>"}), 91,
       "Corvane => \r\nNotify:GetSenderList Ln 3"},
      {"entry without name", true,
       ResourceList({"<resource><id>10</id><type>dms.group</type></resource>"}), 91,
       "Corvane => \r\nNotify:GetSenderList Ln 3"},
      {"no DMS and no email", false, ResourceList({Resource("1", "dms.user", "Ann")}), 91,
       "Corvane => \r\nNotify:GetSenderList Ln 5"},
      {"id that is no number", true, ResourceList({Resource("x1", "dms.user", "Ann")}), 13,
       "Corvane => \r\nNotify:GetSenderList Ln 5"},
      {"unknown user", true, ResourceList({Resource("99", "dms.user", "Nobody")}),
       sim::kErrNotFound, "Pelmark.Dms => \r\nNotify:GetSenderList Ln 5"},
      {"member with Null name", true, ResourceList({Resource("12", "dms.group", "G")}), 94,
       "Corvane => \r\nNotify:AddGroupMembers Ln 6 => \r\nNotify:GetSenderList Ln 8"},
      {"member with Null e-mail", true, ResourceList({Resource("21", "dms.role", "R")}), 94,
       "Corvane => \r\nNotify:AddMemberInRole Ln 7 => \r\nNotify:GetSenderList Ln 9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetSimulator();
    SetUpDirectory();
    sim.AddUser({.id = 5, .name = Variant::Null(), .full_name = "", .email = "e@x.test"});
    sim.AddUser({.id = 6, .name = "f", .full_name = "Fay", .email = Variant::Null()});
    sim.AddGroup({.id = 12, .name = "G", .members = {1, 5}});
    sim.AddRole({.id = 21, .name = "R", .members = {6}});
    SetUpNotify("", "");
    sim.options().dms_service = c.dms;
    pelmark::Error e = BuildFailing(c.list);
    EXPECT_EQ(e.number(), c.number);
    EXPECT_EQ(e.source(), c.source);
  }
  EXPECT_TRUE(platform.log.empty());
}

}  // namespace
}  // namespace corvane_test
