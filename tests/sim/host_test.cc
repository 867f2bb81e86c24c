// The simulated workflow host: strict names, variable writes, the journal and
// reference accounting, which the library's tests rely on.
#include <gtest/gtest.h>

#include <functional>

#include "errors.h"
#include "simulator.h"

namespace {

using corvane_test::ErrorOf;

using pelmark::ComPtr;
using pelmark::Variant;

sim::Simulator MakeHost() {
  sim::Simulator s;
  s.SetProcess({.id = 12,
                .variables = {sim::ItemListVariable("<dmsobject/>")},
                .initiator_id = "7",
                .process_name = "Case 1"});
  s.AddTask({.task_id = 5,
             .process_id = 12,
             .parameters = {{"REASON", "why"}, {"STARTING_FROM", Variant::Null(), true}},
             .variables = {{"VALUE", Variant::Null()}, {"ISVITAL", false}}});
  return s;
}

TEST(SimHostTest, UnknownNamesAndPositionsAreRefused) {
  sim::Simulator s = MakeHost();
  pelmark::ITask* task = s.Task(5);
  struct {
    const char* what;
    std::function<void()> call;
    int32_t number;
  } cases[] = {
      {"parameter", [&] { task->Parameters()->Item("FOLDER"); }, sim::kErrUnknownName},
      {"variable", [&] { task->Variables()->Item(Variant("JOBID")); }, sim::kErrUnknownName},
      {"position 0", [&] { task->Variables()->Item(Variant(0)); }, sim::kErrIndexOutOfRange},
      {"position 3", [&] { task->Variables()->Item(Variant(3)); }, sim::kErrIndexOutOfRange},
      {"Null index", [&] { task->Variables()->Item(Variant::Null()); }, sim::kErrTypeMismatch},
      {"process", [&] { s.Services()->GetProcessInstance(99); }, sim::kErrNotFound},
  };
  for (const auto& c : cases) {
    pelmark::Error e = ErrorOf(c.call);
    EXPECT_EQ(e.number(), c.number) << c.what;
    EXPECT_EQ(e.source(), sim::kHostSource) << c.what;
  }
  // The refusals are journaled with their error, and nothing is left held.
  EXPECT_EQ(s.CallsTo("IParameters.Item").back().error_number, sim::kErrUnknownName);
  EXPECT_TRUE(s.HeldReferences().empty());
}

TEST(SimHostTest, NamesIgnoreCaseUnlessAskedNot) {
  sim::Simulator s = MakeHost();
  EXPECT_EQ(s.Task(5)->Parameters()->Item("reason")->Value(), Variant("why"));
  s.options().case_sensitive_names = true;
  EXPECT_FALSE(s.Task(5)->Parameters()->Exists("reason"));
  EXPECT_THROW(s.Task(5)->Variables()->Item(Variant("value")), pelmark::Error);
}

TEST(SimHostTest, ParameterNullFlagAndValueAreIndependent) {
  sim::Simulator s = MakeHost();
  ComPtr<pelmark::IParameters> params = s.Task(5)->Parameters();
  EXPECT_TRUE(params->Item("STARTING_FROM")->IsNull());
  EXPECT_FALSE(params->Item("REASON")->IsNull());
  s.SetTaskParameter(5, {"REASON", Variant::Null()});
  EXPECT_TRUE(params->Item("REASON")->IsNull());
  s.RemoveTaskParameter(5, "REASON");
  EXPECT_FALSE(params->Exists("REASON"));
}

TEST(SimHostTest, VariableWritesAreRecordedInOrderAndVisible) {
  sim::Simulator s = MakeHost();
  ComPtr<pelmark::IVariables> vars = s.Task(5)->Variables();
  ComPtr<pelmark::IVariable> value = vars->Item(Variant("VALUE"));
  EXPECT_TRUE(value->IsNull());
  value->SetValue(Variant("B"));
  vars->Item(Variant(2))->SetValue(Variant(true));
  value->SetValue(Variant(2.5));
  EXPECT_FALSE(value->IsNull());

  const auto writes = s.TaskVariableWrites();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].name, "VALUE");
  EXPECT_EQ(writes[0].value, Variant("B"));
  EXPECT_EQ(writes[1].name, "ISVITAL");
  EXPECT_EQ(writes[1].value, Variant(true));
  EXPECT_EQ(writes[2].owner, "task 5");
  EXPECT_EQ(s.TaskVariable(5, "VALUE"), Variant(2.5));
}

TEST(SimHostTest, JournalKeepsEveryCallInOrder) {
  sim::Simulator s = MakeHost();
  pelmark::ITask* task = s.Task(5);
  ComPtr<pelmark::IProcessInstance> process = s.Services()->GetProcessInstance(task->ProcessID());
  ComPtr<pelmark::IVariable> first = process->Variables()->Item(Variant(1));
  first->TypeName();

  std::vector<std::string> ops;
  for (const auto& c : s.Journal()) ops.push_back(c.op);
  EXPECT_EQ(ops, (std::vector<std::string>{
                     "ITask.ProcessID", "IActivityServices.GetProcessInstance",
                     "IProcessInstance.Variables", "IVariables.Item", "IVariable.TypeName"}));
  EXPECT_EQ(s.Journal()[0].result, Variant(12));
  EXPECT_EQ(s.Journal()[1].ArgValue("process_id"), Variant(12));
  EXPECT_EQ(s.Journal()[1].result_object, "IProcessInstance process 12");
  EXPECT_EQ(s.Journal()[4].target, "process 12 variable dmsobject");
  EXPECT_EQ(s.Journal()[4].ToString(),
            "IVariable.TypeName [process 12 variable dmsobject]() -> \"dms.object\"");
}

TEST(SimHostTest, ServicesFollowOptionsAndAnswerTheirInterfaces) {
  sim::Simulator s;
  s.options().configuration_service = false;
  pelmark::IActivityServices* services = s.Services();
  ComPtr<pelmark::IService> dms = services->GetService("DmsService");
  ASSERT_TRUE(dms);
  EXPECT_TRUE(dms.try_query<pelmark::IDmsService>());
  EXPECT_FALSE(dms.try_query<pelmark::INotificationService>());
  EXPECT_FALSE(services->GetService("ConfigurationService"));
  EXPECT_FALSE(services->GetService("dmsservice"));  // names are exact
  EXPECT_TRUE(
      services->GetService("NotificationService").try_query<pelmark::INotificationService>());
  EXPECT_EQ(s.CallsTo("IActivityServices.GetService")[1].result_object, "Nothing");
}

TEST(SimHostTest, HeldReferencesNamesWhatTheCallerForgot) {
  sim::Simulator s = MakeHost();
  EXPECT_TRUE(s.HeldReferences().empty());
  pelmark::IVariables* leaked = s.Task(5)->Variables().detach();  // never released
  {
    ComPtr<pelmark::ITask> extra(s.Task(5));
    auto held = s.HeldReferences();
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0], "ITask task 5: 2 reference(s), simulator holds 1");
    EXPECT_EQ(held[1], "IVariables task 5 variables: 1 reference(s), simulator holds 0");
  }
  EXPECT_EQ(s.HeldReferences().size(), 1u);
  leaked->Release();
  EXPECT_TRUE(s.HeldReferences().empty());
}

TEST(SimHostTest, FaultsHitOnlyMatchingCalls) {
  sim::Simulator s = MakeHost();
  s.InjectFault({.op = "IVariable.SetValue",
                 .target = "task 5 variable ISVITAL",
                 .number = 70,
                 .source = "Host",
                 .description = "Permission denied",
                 .skip = 1,
                 .times = 1});
  ComPtr<pelmark::IVariables> vars = s.Task(5)->Variables();
  vars->Item(Variant("VALUE"))->SetValue(Variant(1));       // other target
  vars->Item(Variant("ISVITAL"))->SetValue(Variant(true));  // skipped once
  pelmark::Error e = ErrorOf([&] { vars->Item(Variant("ISVITAL"))->SetValue(Variant(false)); });
  EXPECT_EQ(e.number(), 70);
  EXPECT_EQ(e.source(), "Host");
  EXPECT_EQ(e.description(), "Permission denied");
  vars->Item(Variant("ISVITAL"))->SetValue(Variant(false));  // times exhausted
  EXPECT_EQ(s.TaskVariableWrites().size(), 3u);
  EXPECT_EQ(s.CallsTo("IVariable.SetValue")[2].error_number, 70);
}

TEST(SimHostTest, ATaskOutsideTheStepIsHandedOutButNotListed) {
  sim::Simulator s = MakeHost();
  s.AddTask({.task_id = 6, .process_id = 12, .in_step = false});
  s.AddTask({.task_id = 7, .process_id = 12});
  ComPtr<pelmark::ITasks> tasks = s.Activity()->Tasks();
  ASSERT_EQ(tasks->Count(), 2);
  EXPECT_EQ(tasks->Item(1)->TaskID(), 5);
  EXPECT_EQ(tasks->Item(2)->TaskID(), 7);
  EXPECT_EQ(ErrorOf([&] { tasks->Item(3); }).number(), sim::kErrIndexOutOfRange);
  EXPECT_EQ(s.Task(6)->ProcessID(), 12);
  tasks = nullptr;
  EXPECT_TRUE(s.HeldReferences().empty());
}

TEST(SimHostTest, ALenientHostCreatesATaskVariableOnItsFirstWrite) {
  for (bool create : {false, true}) {
    SCOPED_TRACE(create ? "lenient" : "strict");
    sim::Simulator s = MakeHost();
    s.options().create_task_variables = create;
    ComPtr<pelmark::IVariables> vars = s.Task(5)->Variables();
    if (!create) {
      EXPECT_EQ(ErrorOf([&] { vars->Item(Variant("JOBID")); }).number(), sim::kErrUnknownName);
      EXPECT_TRUE(s.TaskVariableWrites().empty());
      continue;
    }
    ComPtr<pelmark::IVariable> job = vars->Item(Variant("JOBID"));
    EXPECT_EQ(ErrorOf([&] { job->Value(); }).number(), sim::kErrUnknownName);
    EXPECT_FALSE(vars->Exists("JOBID"));
    job->SetValue(Variant(1002));
    EXPECT_TRUE(vars->Exists("JOBID"));
    EXPECT_EQ(vars->Count(), 3);
    EXPECT_EQ(vars->Item(Variant("jobid"))->Value(), Variant(1002));
    EXPECT_EQ(s.TaskVariable(5, "JOBID"), Variant(1002));
    ASSERT_EQ(s.TaskVariableWrites().size(), 1u);
    EXPECT_EQ(s.TaskVariableWrites()[0].name, "JOBID");
    // Process variables stay strict.
    ComPtr<pelmark::IVariables> process = s.Services()->GetProcessInstance(12)->Variables();
    EXPECT_EQ(ErrorOf([&] { process->Item(Variant("JOBID")); }).number(), sim::kErrUnknownName);
  }
}

TEST(SimHostTest, AFaultMayAnswerNothingInsteadOfRaising) {
  sim::Simulator s = MakeHost();
  s.InjectFault({.op = "IActivityServices.GetService",
                 .when = {{"name", Variant("DmsService")}},
                 .times = 1,
                 .answer_nothing = true});
  // Ignored where the call answers no object.
  s.InjectFault({.op = "ITask.TaskID", .answer_nothing = true});
  EXPECT_FALSE(s.Services()->GetService("DmsService"));
  EXPECT_TRUE(s.Services()->GetService("DmsService"));
  EXPECT_TRUE(s.Services()->GetService("ConfigurationService"));
  EXPECT_EQ(s.Task(5)->TaskID(), 5);
  const std::vector<sim::Call> calls = s.CallsTo("IActivityServices.GetService");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].result_object, "Nothing");
  EXPECT_EQ(calls[0].error_number, 0);
  EXPECT_NE(calls[1].result_object, "Nothing");
  EXPECT_TRUE(s.HeldReferences().empty());
}

TEST(SimHostTest, TheJournalGivesBackEveryKindOfValueAndTheErrorSource) {
  sim::Simulator s = MakeHost();
  ComPtr<pelmark::IVariable> value = s.Task(5)->Variables()->Item(Variant("VALUE"));
  const Variant written[] = {
      Variant(),     Variant::Null(), Variant(-7),           Variant(2.5), Variant::Date(45000.25),
      Variant(true), Variant(false),  Variant("a \"text\""), Variant(""),  Variant("a \"text\"")};
  for (const Variant& v : written) value->SetValue(v);
  // An object is journaled by its description, never by a reference.
  value->SetValue(Variant(ComPtr<pelmark::IUnknown>(value)));
  value->SetValue(Variant(ComPtr<pelmark::IUnknown>()));

  std::vector<sim::Call> sets = s.CallsTo("IVariable.SetValue");
  ASSERT_EQ(sets.size(), std::size(written) + 2);
  for (size_t i = 0; i < std::size(written); ++i) {
    EXPECT_EQ(sets[i].ArgValue("value"), written[i]) << i;
    EXPECT_EQ(sets[i].target, "task 5 variable VALUE");
  }
  EXPECT_EQ(sets[10].ArgValue("value"), Variant("[IVariable task 5 variable VALUE]"));
  EXPECT_TRUE(sets[11].ArgValue("value").is_object());
  EXPECT_FALSE(sets[11].ArgValue("value").object_value());

  s.InjectFault({.op = "IVariable.Value",
                 .number = 70,
                 .source = "Host.Store\r\nHost.Lock",
                 .description = "Permission denied"});
  ErrorOf([&] { value->Value(); });
  const sim::Call failed = s.Journal().back();
  EXPECT_EQ(failed.error_number, 70);
  EXPECT_EQ(failed.error_source, "Host.Store\r\nHost.Lock");
  EXPECT_EQ(failed.error_description, "Permission denied");
  EXPECT_EQ(failed.ToString(),
            "IVariable.Value [task 5 variable VALUE]() !! error 70 (Host.Store | Host.Lock): "
            "Permission denied");

  // After clearing, new calls read back as themselves, not as what was cleared.
  s.ClearJournal();
  EXPECT_EQ(s.JournalSize(), 0u);
  s.Task(5)->Parameters()->Item("REASON")->Value();
  ASSERT_EQ(s.JournalSize(), 3u);
  EXPECT_EQ(s.JournalOp(1), "IParameters.Item");
  EXPECT_EQ(s.JournalEntry(1).ArgValue("name"), Variant("REASON"));
  EXPECT_EQ(s.JournalEntry(2).result, Variant("why"));
  EXPECT_EQ(s.JournalEntry(2).error_number, 0);
  EXPECT_EQ(s.JournalEntry(2).error_source, "");
}

}  // namespace
