// The two query texts: the exact texts are understood and executed, any other
// text is refused.
#include <gtest/gtest.h>

#include <string>

#include "errors.h"
#include "library_objects.h"
#include "queries.h"
#include "simulator.h"

namespace {

using corvane_test::ErrorOf;

using pelmark::ComPtr;
using pelmark::Variant;

std::string StackQuery(const std::string& id, const std::string& type_code) {
  return "<query entity=\"tblDocument\" maxrows=\"-1\" distinctmode=\"0\" "
         "columnset=\"0\"><columnset/>"
         "<criteria><conditionexpression logicaloperator=\"1\"><conditionexpressions/><conditions>"
         "<condition attributename=\"ParentDataEntityObjectID\" attributetype= \"0\" "
         "operator=\"1\" "
         "valuetype=\"0\" valuedatatype = \"2\" >" +
         id +
         "</condition><condition attributename=\"ParentDataEntityTypeCode\" attributetype= \"0\" "
         "operator=\"1\" valuetype=\"0\" valuedatatype = \"2\" >" +
         type_code +
         "</condition></conditions></conditionexpression></criteria><joins/><orderby/><parameters/>"
         "</query>";
}

std::string GroupPrefix() {
  return "<query entity=\"tblUsers\" maxrows=\"-1\" distinctmode=\"1\" columnset=\"0\" "
         "searchmode=\"1\"><columnset/><criteria><conditionexpression logicaloperator=\"1\">"
         "<conditionexpressions/><conditions><condition attributename=\"UserType\" attributetype= "
         "\"13\" operator=\"1\" valuetype=\"0\" valuedatatype = \"3\" >0</condition></conditions>"
         "</conditionexpression></criteria><joins><join primaryentity=\"Users\" "
         "primaryentityattribute=\"UserID\" primaryintermediateattribute=\"UserID\" "
         "relatedentity=\"Group\" relateentityattribute=\"GroupID\" jointype=\"0\" ><columnset/>"
         "<criteria><conditionexpression logicaloperator=\"1\"><conditionexpressions/><conditions>"
         "<condition attributename=\"GroupID\" attributetype= \"13\" operator=\"1\" "
         "valuetype=\"0\" "
         "valuedatatype = \"3\" >";
}

const char kMemberSuffix[] =
    "</condition></conditions></conditionexpression></criteria><joins/></join></joins><orderby/>"
    "<parameters/></query>";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string RolePrefix() {
  std::string t = Replace(GroupPrefix(), "relatedentity=\"Group\"", "relatedentity=\"Role\"");
  t = Replace(t, "relateentityattribute=\"GroupID\"", "relateentityattribute=\"RoleID\"");
  return Replace(t, "attributename=\"GroupID\"", "attributename=\"RoleID\"");
}

TEST(SimQueryTest, ExactTextsAreUnderstood) {
  sim::StackDocumentsQuery stack = sim::ParseStackDocumentsQuery(StackQuery("-300", "44"));
  EXPECT_EQ(stack.stack_id, -300);
  EXPECT_EQ(stack.stack_type_code, 44);
  sim::MemberQuery group = sim::ParseMemberQuery(GroupPrefix() + "12" + kMemberSuffix);
  EXPECT_EQ(group.kind, sim::MemberQuery::Kind::kGroup);
  EXPECT_EQ(group.id, 12);
  sim::MemberQuery role = sim::ParseMemberQuery(RolePrefix() + "4" + kMemberSuffix);
  EXPECT_EQ(role.kind, sim::MemberQuery::Kind::kRole);
  EXPECT_EQ(role.id, 4);
}

TEST(SimQueryTest, OtherStackTextsAreRefused) {
  const std::string good = StackQuery("300", "44");
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"outer quotes kept", "\"" + good + "\""},
      {"other table", Replace(good, "tblDocument", "tblDocuments")},
      {"other operator", Replace(good, "operator=\"1\"", "operator=\"2\"")},
      {"extra attribute", Replace(good, "columnset=\"0\">", "columnset=\"0\" top=\"1\">")},
      {"missing element", Replace(good, "<orderby/>", "")},
      {"blank in value", StackQuery(" 300", "44")},
      {"no number", StackQuery("", "44")},
      {"two roots", good + "<query/>"},
      {"malformed", good.substr(0, good.size() - 3)},
      {"member query", GroupPrefix() + "1" + kMemberSuffix},
  };
  for (const auto& c : cases) {
    pelmark::Error e = ErrorOf([&] { sim::ParseStackDocumentsQuery(c.text); });
    EXPECT_EQ(e.number(), sim::kErrBadQuery) << c.what;
  }
}

TEST(SimQueryTest, OtherMemberTextsAreRefused) {
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"role join with group condition",
       Replace(GroupPrefix(), "relatedentity=\"Group\"", "relatedentity=\"Role\"") + "1" +
           kMemberSuffix},
      {"user type 1",
       Replace(GroupPrefix(), ">0</condition>", ">1</condition>") + "1" + kMemberSuffix},
      {"text id", GroupPrefix() + "abc" + kMemberSuffix},
      {"no join", Replace(GroupPrefix(), "<joins><join", "<join") + "1" + kMemberSuffix},
      {"stack query", StackQuery("1", "2")},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(sim::ParseMemberQuery(c.text), pelmark::Error) << c.what;
  }
}

class SimQueryExecutionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s.AddDataEntity(7, {.id = 300, .type_code = 44});
    s.AddDocument(7, {.id = 21, .parent_id = 300, .parent_type_code = 44});
    s.AddDocument(7, {.id = 22});
    s.AddDocument(7, {.id = -23, .doc_type_code = 9, .parent_id = 300, .parent_type_code = 44});
    s.AddDocument(7, {.id = 24, .parent_id = 300, .parent_type_code = 45});
    s.AddUser({.id = 1, .name = "ann", .full_name = "Ann Lee", .email = "ann@x"});
    s.AddUser({.id = 2, .name = "bob", .full_name = Variant::Null(), .email = ""});
    s.AddUser({.id = 3, .name = "svc", .user_type = 2});
    s.AddGroup({.id = 12, .name = "Team", .members = {2, 3, 1, 2}});
    s.AddRole({.id = 12, .name = "Boss", .members = {1}});
    dms = ComPtr<pelmark::IService>(s.Services()->GetService("DmsService"))
              .try_query<pelmark::IDmsService>();
  }
  sim::Simulator s;
  ComPtr<pelmark::IDmsService> dms;
};

TEST_F(SimQueryExecutionTest, StackQueryFindsTheFiledDocumentsInOrder) {
  sim_test::TestSession session;
  dms->Connect(7, &session);
  sim_test::TestQuery query(StackQuery("300", "44"));
  ComPtr<pelmark::IEntityList> list = dms->QueryEntities(&query);
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Item(1)->ID(), 21);
  ComPtr<pelmark::IEntity> second = list->Item(2);
  EXPECT_EQ(second->ID(), -23);
  EXPECT_EQ(second->Fields()->Item("doctypecode")->Value(), Variant(9));
  EXPECT_EQ(query.refs, 0u);
}

TEST_F(SimQueryExecutionTest, MemberQueriesReturnActiveUsersOnceInMemberOrder) {
  sim_test::TestQuery group(GroupPrefix() + "12" + kMemberSuffix, true);
  ComPtr<pelmark::IEntityList> users = dms->QueryRecords(&group);
  ASSERT_EQ(users->Count(), 2);
  ComPtr<pelmark::IEntity> first = users->Item(1);
  EXPECT_EQ(first->ID(), 2);
  EXPECT_TRUE(first->Fields()->Item("Full Name")->IsNullValue());
  EXPECT_EQ(users->Item(2)->Fields()->Item("EmailID")->Value(), Variant("ann@x"));

  sim_test::TestQuery role(RolePrefix() + "12" + kMemberSuffix, true);
  EXPECT_EQ(dms->QueryRecords(&role)->Count(), 1);
  sim_test::TestQuery unknown(GroupPrefix() + "99" + kMemberSuffix, true);
  EXPECT_EQ(dms->QueryRecords(&unknown)->Count(), 0);
}

TEST_F(SimQueryExecutionTest, MemberQueryWithoutQueryFlagIsRefused) {
  sim_test::TestQuery group(GroupPrefix() + "12" + kMemberSuffix, false);
  pelmark::Error e = ErrorOf([&] { dms->QueryRecords(&group); });
  EXPECT_EQ(e.number(), sim::kErrBadQuery);
  EXPECT_EQ(s.DmsCalls().back().ArgValue("flag"), Variant(false));
}

}  // namespace
