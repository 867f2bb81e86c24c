// A class checks a designer's configuration before the step runs: each row is a
// mistake designers make, and the finding that must name it (or none, for a
// configuration that is right). Through the object a host creates, as a host's
// designer asks.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "component/class_table.h"
#include "corvane/catalogue.h"
#include "corvane/design.h"

namespace {

using Json = nlohmann::json;

struct MistakeRow {
  const char* name;
  const char* class_name;
  const char* severity;  // of the finding expected; "" for none at all
  const char* subject;   // the parameter or variable it names
  const char* words;     // words its message holds
  const char* suggestion;
};

Json Check(const char* class_name, std::string_view configuration) {
  const corvane::ClassInfo* info = corvane::FindClassByName(class_name);
  pelmark::ComPtr<corvane::Activity> step(corvane::CreateActivity(*info));
  auto design =
      pelmark::ComPtr<pelmark::IActivityRuntime>(step.get()).try_query<corvane::IActivityDesign>();
  EXPECT_TRUE(design);
  return Json::parse(design->Check(configuration));
}

std::string Approval(const std::string& step, const std::string& task_parameters) {
  return R"({"step": {"requestcount": 3)" + step + R"(}, "tasks": [{"id": 1, "parameters": {)" +
         task_parameters + "}}]}";
}
std::string NotifyTask(const std::string& parameters, const std::string& item_list = "") {
  return R"({"tasks": [{"id": 4, "parameters": {"SUBJECT": "Contract", )" + parameters + "}}]" +
         (item_list.empty() ? "" : R"(, "process": {"itemlist": ")" + item_list + "\"}") + "}";
}
const std::string kUser =
    R"("SENDER_LIST": "<resources><resource><id>21</id><type>dms.user</type><name>Ann</name></resource></resources>")";
const std::string kPlainBody = R"("MESSAGE_BODY": "Dear {{\"\\0\",RESOURCENAME}}")";

const std::vector<std::pair<std::string, MistakeRow>>& Rows() {
  static const auto* rows = new std::vector<std::pair<std::string, MistakeRow>>{
      {Approval(R"(, "minapprovals": 2)", R"("COMMENTSASNOTES": true)"),
       {"ARightApprovalHasNoFinding", "DocApproval", "", "", "", ""}},
      {NotifyTask(kUser + ", " + kPlainBody + R"(, "MODE": "e-mail")"),
       {"NotifyModeOutsideItsValues", "Notify", "error", "MODE", "not one of email", "email"}},
      {Approval(R"(, "minapprovals": 2)", R"("COMMENTSASNOTES": 1)"),
       {"CommentsAsNotesOneIsNotTrue", "DocApproval", "warning", "COMMENTSASNOTES",
        "compared with True", "true"}},
      {Approval(R"(, "minapprovals": 2)", R"("COMMENTSASNOTES": "yes")"),
       {"CommentsAsNotesYesRaises", "DocApproval", "error", "COMMENTSASNOTES", "raises 13",
        "true or false"}},
      {Approval(R"(, "minapprovals": 4)", R"("COMMENTSASNOTES": true)"),
       {"MoreApprovalsThanRequests", "DocApproval", "error", "MinApprovals",
        "can never be approved", "at most 3"}},
      {Approval("", R"("COMMENTSASNOTES": true)"),
       {"MissingMinimumApprovesAtTheFirstAnswer", "DocApproval", "warning", "MinApprovals",
        "first approval approves", ""}},
      {Approval(R"(, "minapprovals": "two")", R"("COMMENTSASNOTES": true)"),
       {"MinimumInWordsRaises", "DocApproval", "error", "MinApprovals", "raises 13", ""}},
      {R"({"step": {"parameters": {"AUDIT_ACTIVITY": "ja"}}})",
       {"AuditSwitchInGermanRaises", "ToDo", "error", "AUDIT_ACTIVITY", "raises 13",
        "true or false"}},
      {R"({"tasks": [{"id": 3, "variables": {"SIGN": "ja"}}]})",
       {"SignInGermanRaises", "Signature", "error", "SIGN", "raises 13", "true or false"}},
      {R"({"locale": "de-DE", "tasks": [{"id": 2, "parameters": {"FIELDNAME": "Due"},
           "variables": {"VALUE": "11/04/2025 14:30"}}]})",
       {"GermanDateWithSlashesFitsEitherOrder", "SetFieldValue", "warning", "VALUE",
        "day 11, month 4", ""}},
      {R"({"locale": "de-DE", "tasks": [{"id": 2, "parameters": {"FIELDNAME": "Due"},
           "variables": {"VALUE": "31.11.2025"}}]})",
       {"DateThatDoesNotExist", "SetDateTimeFieldValue", "error", "VALUE", "is no date", ""}},
      {NotifyTask(
           R"("SENDER_LIST": "<resources><resource><id>5</id><type>group</type><name>Legal</name></resource></resources>", )" +
           kPlainBody),
       {"SenderOfATypeTheWalkSkips", "Notify", "warning", "SENDER_LIST", "is skipped",
        "dms.group"}},
      {NotifyTask(kUser + R"(, "MESSAGE_BODY": "Dear {{\"\\0\",RECIPIENTNAME}},")"),
       {"UnknownTemplateVariableRendersEmpty", "Notify", "warning", "MESSAGE_BODY",
        "renders as empty text", ""}},
      {NotifyTask(kUser +
                  R"(, "MESSAGE_BODY": "{{N:dmsobject\"- \\0\",dmsobject.name} Regards, {{\"\\0\",INITIATORNAME}}")"),
       {"LoopClosedWithOneBrace", "Notify", "error", "MESSAGE_BODY", "Regards", "write }} here"}},
      {NotifyTask(kUser + R"(, "MESSAGE_BODY": "{{n:dmsobject\"- \\0\",dmsobject.name}}")"),
       {"LowerCaseRepeatMark", "Notify", "error", "MESSAGE_BODY", "lower-case repeat mark",
        "write the repeat mark as a capital N: {{N:"}},
      {NotifyTask(kUser + R"(, "MESSAGE_BODY": "{{N:dmsobject\"- \\0,dmsobject.name}}")"),
       {"LoopFormatWithoutItsClosingQuote", "Notify", "error", "MESSAGE_BODY", "", ""}},
      {NotifyTask(kUser +
                  R"(, "MESSAGE_BODY": "{{N:dmsobject\"- \\0 (\\2)\",dmsobject.name,dmsobject.id}}")"),
       {"PlaceholderBeyondTheVariables", "Notify", "error", "MESSAGE_BODY", "\\2", ""}},
      {NotifyTask(kUser + R"(, "MESSAGE_BODY": "{{\"- \\0 (\\1)\",dmsobject.name,dmsobject.id}}")"),
       {"ItemVariablesOutsideALoop", "Notify", "error", "MESSAGE_BODY", "", ""}},
      {NotifyTask(kUser + R"(, "MESSAGE_BODY": "{{N:dmsobject\"- \\0\",dmsobject.title}}")"),
       {"ItemFieldTheWalkDoesNotFill", "Notify", "error", "MESSAGE_BODY", "error 9",
        "did you mean dmsobject.id?"}},
      {NotifyTask(
           kUser + R"(, "MESSAGE_BODY": "{{N:dmsobject\"\\0\",dmsobject.link}}")",
           R"(<dmsobject entitytype=\"document\" dbid=\"7\" dbpath=\"\" dbtype=\"1\"><documents><document id=\"17\"/></documents></dmsobject>)"),
       {"LinkOfItemsWithoutTypeCode", "Notify", "error", "dmsobject.link", "raises 91", ""}},
      {R"({"tasks": [{"id": 1, "parameters": {"FIELDNAM": "Title"}}]})",
       {"MisspeltParameterAndTheMissingOne", "GetFieldValue", "warning", "FIELDNAM",
        "did you mean FIELDNAME", "FIELDNAME"}},
      {R"({"tasks": [}])",
       {"MalformedJsonIsOneFinding", "Wait", "error", "", "not valid JSON", ""}},
  };
  return *rows;
}

class DesignerMistake : public testing::TestWithParam<size_t> {};

TEST_P(DesignerMistake, IsNamedWithItsFix) {
  const auto& [configuration, row] = Rows()[GetParam()];
  Json answer = Check(row.class_name, configuration);
  ASSERT_EQ(answer["class"], row.class_name);
  const Json& findings = answer["findings"];
  if (!*row.severity) {
    EXPECT_TRUE(findings.empty()) << findings.dump(1);
    return;
  }
  bool found = false;
  for (const Json& f : findings)
    if (f["severity"] == row.severity && f["name"] == row.subject &&
        f["message"].get<std::string>().find(row.words) != std::string::npos &&
        (!*row.suggestion || f["suggestion"] == row.suggestion))
      found = true;
  EXPECT_TRUE(found) << "no " << row.severity << " on " << row.subject << " saying \"" << row.words
                     << "\" in " << findings.dump(1);
}

INSTANTIATE_TEST_SUITE_P(Rows, DesignerMistake, testing::Range<size_t>(0, Rows().size()),
                         [](const auto& info) {
                           return std::string(Rows()[info.param].second.name);
                         });

// Late binding reaches the same two members by name, and a class's reference is
// the JSON a host's designer reads.
TEST(DesignInterface, AnswersByNameAndDescribesTheClass) {
  pelmark::ComPtr<corvane::Activity> step(
      corvane::CreateActivity(*corvane::FindClassByName("DocApproval")));
  const std::string_view names[] = {"describe"};
  int32_t id = 0;
  ASSERT_EQ(step->GetIDsOfNames(names, &id), pelmark::S_OK);
  pelmark::Variant result;
  ASSERT_EQ(step->Invoke(id, {}, &result), pelmark::S_OK);
  Json reference = Json::parse(result.string_value());
  EXPECT_EQ(reference["progid"], "Corvane.DocApproval");
  EXPECT_EQ(reference["decision"]["rows"].size(), 10u);
  EXPECT_EQ(reference["parameters"][1]["name"], "DETAIL_FORMAT");
  pelmark::Variant wrong[] = {pelmark::Variant(int32_t{3})};
  const std::string_view check[] = {"CHECK"};
  ASSERT_EQ(step->GetIDsOfNames(check, &id), pelmark::S_OK);
  EXPECT_EQ(step->Invoke(id, wrong, &result), pelmark::DISP_E_TYPEMISMATCH);
}

}  // namespace
