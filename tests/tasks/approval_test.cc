// DocApproval through the simulator: the decision over all answers, the final
// audit, and what one answered task stamps, renders, notes and audits.
#include <gtest/gtest.h>

#include <optional>

#include "human_task_fixture.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

constexpr const char* kApprovalResponse = "102";
const TaskAnswer kApprove{.approved = true};
const TaskAnswer kReject{.approved = false};
const TaskAnswer kOpen{.status = 0, .approved = true};

struct DecisionCase {
  const char* name;
  int32_t n, t;
  const char* m;
  std::vector<TaskAnswer> answers;  // the first is the task evaluated
  bool approved;
  int32_t result;
  int32_t audit_result;  // of "approval_response"; 0 when nothing is audited
  int row;               // of the decision table in the class reference
};

TEST_F(HumanTaskTest, ApprovalDecisionFollowsTheFirstMatchingRow) {
  const DecisionCase cases[] = {
      {"no requests approves whatever the answers", 0, 0, "5", {kReject}, true, 1, 0, 1},
      {"no minimum: a first rejection ends rejected",
       3,
       0,
       "0",
       {kReject, kOpen, kOpen},
       false,
       1,
       5,
       2},
      {"no minimum: a first approval ends approved",
       3,
       0,
       "0",
       {kApprove, kOpen, kOpen},
       true,
       1,
       4,
       2},
      {"minimum still reachable stays open", 3, 0, "2", {kApprove, kReject, kOpen}, false, 3, 0, 4},
      {"minimum reached", 3, 0, "2", {kApprove, kReject, kApprove}, true, 1, 4, 3},
      {"minimum out of reach ends rejected", 3, 0, "3", {kReject, kOpen, kOpen}, false, 1, 5, 5},
      {"waiting for responses stays open",
       4,
       2,
       "1",
       {kApprove, kOpen, kOpen, kOpen},
       false,
       3,
       0,
       10},
      {"enough responses and approvals",
       4,
       2,
       "1",
       {kApprove, kReject, kOpen, kOpen},
       true,
       1,
       4,
       7},
      {"all answered below minimum", 2, 2, "2", {kApprove, kReject}, false, 1, 5, 6},
      {"responses in, approvals reachable",
       4,
       2,
       "2",
       {kReject, kReject, kOpen, kOpen},
       false,
       3,
       0,
       8},
      {"responses in, approvals out of reach",
       4,
       2,
       "3",
       {kReject, kReject, kOpen, kOpen},
       false,
       1,
       5,
       9},
      {"negative minimum goes to the response rows", 2, 0, "-1", {kReject, kOpen}, true, 1, 4, 7},
      // An answer of 1 is not equal to True, so it is no approval.
      {"approval must equal True", 1, 0, "1", {{.approved = 1}}, false, 1, 5, 5},
      {"unanswered approvals do not count", 2, 0, "1", {kReject, {.status = 7}}, false, 3, 0, 4},
      {"Null status: no answer", 2, 0, "1", {kReject, {.status = Variant::Null()}}, false, 3, 0, 4},
  };
  for (const DecisionCase& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    SetUpStep(DocumentList({17}),
              {.request_count = c.n, .min_responses = c.t, .min_approvals = c.m});
    sim.AddDocument(kDatabase, {.id = 17});
    AddAnswers(c.answers);

    EXPECT_EQ(Evaluate("DocApproval"), c.result);
    EXPECT_EQ(sim.TaskVariable(kTaskId, "APPROVED"), Variant(c.approved));
    ASSERT_EQ(platform.decisions.size(), 1u);
    const corvane::Decision& explained = platform.decisions.back();
    EXPECT_EQ(explained.row, c.row);
    EXPECT_EQ(explained.result, c.result);
    EXPECT_EQ(explained.outcome, c.result == 3 ? "stays open"
                                 : c.approved  ? "complete approved"
                                               : "complete rejected");
    EXPECT_EQ(sim.TaskVariable(kTaskId, "APPROVALDATE"), Variant::Date(kFixedNow));
    std::vector<std::string> audits = Audits();
    if (c.audit_result == 0) {
      EXPECT_TRUE(audits.empty());
    } else {
      ASSERT_EQ(audits.size(), 1u);
      EXPECT_EQ(audits[0].substr(0, 6),
                std::string(kApprovalResponse) + "|" + std::to_string(c.audit_result) + "|");
    }
  }
}

TEST_F(HumanTaskTest, ApprovalExplainsTheCountsItDecidedBy) {
  SetUpStep(DocumentList({17}), {.request_count = 4, .min_responses = 2, .min_approvals = "3"});
  sim.AddDocument(kDatabase, {.id = 17});
  AddAnswers({kReject, kApprove, kOpen, kReject});

  EXPECT_EQ(Evaluate("DocApproval"), 1);
  ASSERT_EQ(platform.decisions.size(), 1u);
  EXPECT_EQ(platform.decisions[0].class_name, "DocApproval");
  EXPECT_EQ(platform.decisions[0].method, "EvaluateCompositeTask");
  EXPECT_EQ(platform.decisions[0].row, 9);  // one open task cannot bring the two approvals missing
  EXPECT_EQ(platform.Figure("requests"), Variant(4));
  EXPECT_EQ(platform.Figure("answers"), Variant(3));
  EXPECT_EQ(platform.Figure("approvals"), Variant(1));
  EXPECT_EQ(platform.Figure("rejections"), Variant(2));
  EXPECT_EQ(platform.Figure("outstanding"), Variant(1));
  EXPECT_EQ(platform.Figure("min responses"), Variant(2));
  EXPECT_EQ(platform.Figure("min approvals"), Variant(3.0));
}

TEST_F(HumanTaskTest, ApprovalWithoutRequestsExplainsWithoutReadingMinApprovals) {
  SetUpStep(DocumentList({17}), {.request_count = 0, .min_approvals = "not a number"});
  sim.AddDocument(kDatabase, {.id = 17});
  AddAnswers({kReject});

  EXPECT_EQ(Evaluate("DocApproval"), 1);
  ASSERT_EQ(platform.decisions.size(), 1u);
  EXPECT_EQ(platform.decisions[0].row, 1);
  EXPECT_EQ(platform.decisions[0].outcome, "complete approved");
  EXPECT_TRUE(platform.Figure("min approvals").is_null());
  EXPECT_TRUE(sim.CallsTo("IActivity.MinApprovals").empty());
}

TEST_F(HumanTaskTest, CompletedApprovalAuditsTheCountsForEveryItem) {
  SetUpStep(DocumentList({17, 18}), {.request_count = 3, .min_approvals = "2.0"});
  sim.AddDocument(kDatabase, {.id = 17, .major_version = 2, .minor_version = 1});
  sim.AddDocument(kDatabase, {.id = 18});
  AddAnswers({{.approved = true, .details = "a;"},
              {.approved = false, .details = "b;"},
              {.approved = true}});

  EXPECT_EQ(Evaluate("DocApproval"), 1);

  EXPECT_EQ(sim.TaskVariable(kTaskId, "DETAILS"), Variant("a;b;"));
  const std::string comment =
      "CaseID: Case 9; Approval Request: 3; Min Approvals: 2.0; User Approved:2; User Rejected:1;";
  // MinApprovals is the designer's text, compared as a number but written as typed.
  // The final answer has no user: the record's user is null.
  EXPECT_EQ(Audits(), (std::vector<std::string>{"102|4|6|Null|" + comment + "|17/2 v2.1",
                                                "102|4|6|Null|" + comment + "|18/2 v1.0"}));
}

TEST_F(HumanTaskTest, MinApprovalsThatIsNoNumberFailsTheEvaluationAndExplainsNothing) {
  SetUpStep(DocumentList({17}), {.request_count = 3, .min_approvals = "two"});
  AddAnswers({{.approved = true}, {.status = 0}, {.status = 0}});
  EXPECT_EQ(ErrorOf([&] { Evaluate("DocApproval"); }).number(), 13);
  EXPECT_TRUE(platform.decisions.empty());
}

TEST_F(HumanTaskTest, OpenApprovalStillJoinsTheAnsweredDetails) {
  SetUpStep(DocumentList({17}), {.request_count = 3, .min_approvals = "3"});
  AddAnswers({{.approved = true, .details = "first "},
              {.status = 0, .details = "open "},
              {.approved = true, .details = "third"}});
  EXPECT_EQ(Evaluate("DocApproval"), 3);
  EXPECT_EQ(sim.TaskVariable(kTaskId, "DETAILS"), Variant("first third"));
}

TEST_F(HumanTaskTest, StepAuditSwitchSilencesInitializeAndTheFinalAnswer) {
  for (Variant audit : {Variant(false), Variant("false"), Variant(0)}) {
    Reset();
    SetUpStep(DocumentList({17}), {.request_count = 1, .parameters = {{"AUDIT_ACTIVITY", audit}}});
    sim.AddDocument(kDatabase, {.id = 17});
    AddAnswer(kApprove);
    Initialize("DocApproval");
    EXPECT_EQ(Evaluate("DocApproval"), 1);
    EXPECT_TRUE(Audits().empty()) << sim::FormatVariant(audit);
  }
}

TEST_F(HumanTaskTest, InitializeAuditsTheRequestPerDocumentSkippingMissingOnes) {
  SetUpStep(DocumentList({17, 99, -5}), {.request_count = 2, .min_approvals = "1"});
  sim.AddDocument(kDatabase, {.id = 17});
  sim.AddDocument(kDatabase, {.id = -5});
  Initialize("DocApproval");
  const std::string comment = "CaseID: Case 9; Approval Request: 2; Min Approvals: 1";
  EXPECT_EQ(Audits(), (std::vector<std::string>{"101|1|6|44|" + comment + "|17/2 v1.0",
                                                "101|1|6|44|" + comment + "|-5/-2 v1.0"}));

  // Without requests nothing is audited.
  Reset();
  SetUpStep(DocumentList({17}));
  sim.AddDocument(kDatabase, {.id = 17});
  Initialize("DocApproval");
  EXPECT_TRUE(Audits().empty());
}

// ---------------------------------------------------------------------------
// One answered task.

class ApprovalExecuteTest : public HumanTaskTest {
 protected:
  void SetUpAnswer(TaskAnswer answer, std::vector<sim::ParameterSpec> parameters,
                   Variant comments = "  Looks fine  ") {
    SetUpStep(DocumentList({17, 18}), {.request_count = 1});
    sim.AddDocument(kDatabase, {.id = 17});
    sim.AddDocument(kDatabase, {.id = 18});
    AddAnswer(answer, std::move(parameters));
    sim.SetTaskVariable(kTaskId, {.name = "COMMENTS", .value = comments});
  }
};

TEST_F(ApprovalExecuteTest, StampsRendersNotesAndAuditsTheAnswer) {
  SetUpAnswer(kApprove, {{"DETAIL_FORMAT",
                          "Intro {{\"\\0 by \\1\",APPROVED,RESOURCENAME}} tail "
                          "{{\"second\",X}}"},
                         {"COMMENTSASNOTES", true}});

  EXPECT_EQ(Execute("DocApproval"), 1);

  std::vector<sim::VariableWrite> writes = sim.TaskVariableWrites();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].name, "APPROVALDATE");
  EXPECT_EQ(writes[0].value, Variant::Date(kFixedNow));
  // Only the template's first expression makes the details.
  EXPECT_EQ(writes[1].name, "DETAILS");
  EXPECT_EQ(writes[1].value, Variant("Yes by Rita Reviewer"));
  EXPECT_EQ(Notes(), (std::vector<std::string>{"Document 17/2: Looks fine by 17",
                                               "Document 18/2: Looks fine by 17"}));
  EXPECT_EQ(Audits(), (std::vector<std::string>{"103|1|6|17|CaseID: Case 9;|17/2 v1.0",
                                                "103|1|6|17|CaseID: Case 9;|18/2 v1.0"}));
  EXPECT_TRUE(platform.log.empty());
}

TEST_F(ApprovalExecuteTest, SwitchesDecideNotesAndAudit) {
  // "COMMENTSASNOTES" must equal True; "AUDIT_ACTIVITY" and "APPROVED" are
  // converted to Boolean.
  struct Case {
    const char* name;
    Variant approved, notes;
    std::optional<Variant> audit;  // absent when nullopt
    Variant comments;
    size_t notes_added;
    const char* audit_code;  // "" for none
  };
  const Case cases[] = {
      {"rejection", false, false, true, "x", 0, "104"},
      {"notes switch 1 is not equal to True", true, 1, true, "x", 0, "103"},
      {"notes switch \"True\" text equals True", true, "True", true, "x", 2, "103"},
      {"blank comment adds no note", true, true, true, "   ", 0, "103"},
      {"audit switch \"0\" is off", true, false, "0", "x", 0, ""},
      {"audit switch 1 is on", true, false, 1, "x", 0, "103"},
      {"absent audit switch is on; approval 1 is True", 1, false, std::nullopt, "x", 0, "103"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    std::vector<sim::ParameterSpec> parameters = {{"COMMENTSASNOTES", c.notes}};
    if (c.audit) parameters.push_back({"AUDIT_ACTIVITY", *c.audit});
    SetUpAnswer({.approved = c.approved}, parameters, c.comments);
    EXPECT_EQ(Execute("DocApproval"), 1);
    EXPECT_EQ(Notes().size(), c.notes_added);
    std::vector<std::string> audits = Audits();
    if (*c.audit_code == 0) {
      EXPECT_TRUE(audits.empty());
    } else {
      ASSERT_EQ(audits.size(), 2u);
      EXPECT_EQ(audits[0].substr(0, 3), c.audit_code);
    }
  }
}

TEST_F(ApprovalExecuteTest, PlainTextTemplateGivesEmptyDetails) {
  SetUpAnswer(kApprove, {{"DETAIL_FORMAT", "no expressions"}, {"COMMENTSASNOTES", false}});
  EXPECT_EQ(Execute("DocApproval"), 1);
  EXPECT_EQ(sim.TaskVariable(kTaskId, "DETAILS"), Variant(""));
}

TEST_F(ApprovalExecuteTest, FailuresReachTheHostWithTheBracketedChain) {
  // A null comment cannot become text when notes are asked for.
  SetUpAnswer(kApprove, {{"COMMENTSASNOTES", true}}, Variant::Null());
  pelmark::Error null_comment = ExecuteFailing("DocApproval");
  EXPECT_EQ(null_comment.number(), 94);
  EXPECT_EQ(null_comment.source(),
            "Corvane => \r\nApproval: IActivityRuntime_Execute Function (5)");
  EXPECT_EQ(platform.log, (std::vector<std::string>{"Invalid use of Null"}));

  // The parameter is read without a presence test.
  Reset();
  platform.log.clear();
  SetUpAnswer(kApprove, {});
  EXPECT_EQ(ExecuteFailing("DocApproval").number(), sim::kErrUnknownName);

  // A failure inside the quiet audit procedures is logged once, by Execute.
  Reset();
  platform.log.clear();
  SetUpAnswer(kReject, {{"COMMENTSASNOTES", false}});
  sim.InjectFault({.op = "IDmsService.GetDocument", .description = "gone"});
  pelmark::Error audit = ExecuteFailing("DocApproval");
  EXPECT_EQ(audit.source(),
            "Pelmark.Dms => \r\nDocApproval:AuditDocumentEvent Ln 6 => \r\n"
            "DocApproval:AuditEvent Ln 6 => \r\nApproval: IActivityRuntime_Execute Function (10)");
  EXPECT_EQ(audit.description(), "gone");
  EXPECT_EQ(platform.log, (std::vector<std::string>{"gone"}));
}

}  // namespace
}  // namespace corvane_test
