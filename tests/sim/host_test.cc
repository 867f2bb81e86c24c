// The simulated workflow host as one conformance table: each row drives the host
// through its interfaces on a fresh simulator and reads back, as text, what the
// library's tests rely on (strict names, variable writes, the journal, faults,
// options and reference accounting). No row may leave an object held.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "errors.h"
#include "rows.h"
#include "simulator.h"

namespace {

using corvane_test::ErrorOf;
using corvane_test::RaisedBy;
using corvane_test::RowName;
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

std::string N(int32_t number) { return std::to_string(number); }

// "number source" of the error `call` raises, "-" when it returns.
std::string Raised(auto&& call) {
  std::optional<pelmark::Error> e = RaisedBy(call);
  return e ? N(e->number()) + " " + e->source() : "-";
}

std::string Text(const Variant& v) { return sim::FormatVariant(v); }

struct Row {
  const char* behaviour;
  std::function<std::string(sim::Simulator&)> run;
  std::string expected;
};

// Names the row in test output.
void PrintTo(const Row& r, std::ostream* os) { *os << r.behaviour; }

const Row kRows[] = {
    {"unknown names and positions are refused by the host and journaled",
     [](sim::Simulator& s) {
       pelmark::ITask* task = s.Task(5);
       std::ostringstream out;
       out << Raised([&] { task->Parameters()->Item("FOLDER"); }) << "|"
           << Raised([&] { task->Variables()->Item(Variant("JOBID")); }) << "|"
           << Raised([&] { task->Variables()->Item(Variant(0)); }) << "|"
           << Raised([&] { task->Variables()->Item(Variant(3)); }) << "|"
           << Raised([&] { task->Variables()->Item(Variant::Null()); }) << "|"
           << Raised([&] { s.Services()->GetProcessInstance(99); }) << "|journaled "
           << s.CallsTo("IParameters.Item").back().error_number;
       return out.str();
     },
     "5 Pelmark.Host|5 Pelmark.Host|9 Pelmark.Host|9 Pelmark.Host|13 Pelmark.Host|" +
         N(sim::kErrNotFound) + " Pelmark.Host|journaled 5"},
    {"names ignore case unless asked not to",
     [](sim::Simulator& s) {
       std::string out = Text(s.Task(5)->Parameters()->Item("reason")->Value());
       s.options().case_sensitive_names = true;
       out += " " + N(s.Task(5)->Parameters()->Exists("reason"));
       return out + " " + Raised([&] { s.Task(5)->Variables()->Item(Variant("value")); });
     },
     "\"why\" 0 5 Pelmark.Host"},
    {"a parameter's Null flag and value are independent",
     [](sim::Simulator& s) {
       ComPtr<pelmark::IParameters> params = s.Task(5)->Parameters();
       std::string out =
           N(params->Item("STARTING_FROM")->IsNull()) + N(params->Item("REASON")->IsNull());
       s.SetTaskParameter(5, {"REASON", Variant::Null()});
       out += N(params->Item("REASON")->IsNull());
       s.RemoveTaskParameter(5, "REASON");
       return out + N(params->Exists("REASON"));
     },
     "1010"},
    {"variable writes are recorded in order and visible",
     [](sim::Simulator& s) {
       ComPtr<pelmark::IVariables> vars = s.Task(5)->Variables();
       ComPtr<pelmark::IVariable> value = vars->Item(Variant("VALUE"));
       std::string out = N(value->IsNull());
       value->SetValue(Variant("B"));
       vars->Item(Variant(2))->SetValue(Variant(true));
       value->SetValue(Variant(2.5));
       out += N(value->IsNull());
       for (const auto& w : s.TaskVariableWrites())
         out += " " + w.owner + ":" + w.name + "=" + Text(w.value);
       return out + " now " + Text(s.TaskVariable(5, "VALUE"));
     },
     "10 task 5:VALUE=\"B\" task 5:ISVITAL=True task 5:VALUE=2.5 now 2.5"},
    {"the journal keeps every call in order with arguments, results and targets",
     [](sim::Simulator& s) {
       pelmark::ITask* task = s.Task(5);
       ComPtr<pelmark::IProcessInstance> process =
           s.Services()->GetProcessInstance(task->ProcessID());
       process->Variables()->Item(Variant(1))->TypeName();
       std::string out;
       for (const sim::Call& c : s.Journal()) out += c.op + ";";
       const std::vector<sim::Call> j = s.Journal();
       return out + " " + Text(j[0].result) + " " + Text(j[1].ArgValue("process_id")) + " " +
              j[1].result_object + " | " + j[4].ToString();
     },
     "ITask.ProcessID;IActivityServices.GetProcessInstance;IProcessInstance.Variables;"
     "IVariables.Item;IVariable.TypeName; 12 12 IProcessInstance process 12 | "
     "IVariable.TypeName [process 12 variable dmsobject]() -> \"dms.object\""},
    {"services follow the options, answer their interfaces and match names exactly",
     [](sim::Simulator& s) {
       s.options().configuration_service = false;
       pelmark::IActivityServices* services = s.Services();
       ComPtr<pelmark::IService> dms = services->GetService("DmsService");
       std::ostringstream out;
       out << !!dms.try_query<pelmark::IDmsService>()
           << !!dms.try_query<pelmark::INotificationService>()
           << !!services->GetService("ConfigurationService") << !!services->GetService("dmsservice")
           << !!services->GetService("NotificationService")
                    .try_query<pelmark::INotificationService>()
           << " " << s.CallsTo("IActivityServices.GetService")[1].result_object;
       return out.str();
     },
     "10001 Nothing"},
    {"held references name what the caller forgot",
     [](sim::Simulator& s) {
       pelmark::IVariables* leaked = s.Task(5)->Variables().detach();  // never released
       std::string out;
       {
         ComPtr<pelmark::ITask> extra(s.Task(5));
         for (const std::string& h : s.HeldReferences()) out += h + "; ";
       }
       out += N(static_cast<int32_t>(s.HeldReferences().size()));
       leaked->Release();
       return out;
     },
     "ITask task 5: 2 reference(s), simulator holds 1; IVariables task 5 variables: 1 "
     "reference(s), simulator holds 0; 1"},
    {"a fault hits only matching calls, after its skip, as often as its times",
     [](sim::Simulator& s) {
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
       pelmark::Error e =
           ErrorOf([&] { vars->Item(Variant("ISVITAL"))->SetValue(Variant(false)); });
       vars->Item(Variant("ISVITAL"))->SetValue(Variant(false));  // times exhausted
       return N(e.number()) + " " + e.source() + " " + e.description() + " writes " +
              N(static_cast<int32_t>(s.TaskVariableWrites().size())) + " journaled " +
              N(s.CallsTo("IVariable.SetValue")[2].error_number);
     },
     "70 Host Permission denied writes 3 journaled 70"},
    {"a task outside the step is handed out but not listed",
     [](sim::Simulator& s) {
       s.AddTask({.task_id = 6, .process_id = 12, .in_step = false});
       s.AddTask({.task_id = 7, .process_id = 12});
       ComPtr<pelmark::ITasks> tasks = s.Activity()->Tasks();
       return N(tasks->Count()) + " " + N(tasks->Item(1)->TaskID()) + " " +
              N(tasks->Item(2)->TaskID()) + " " + Raised([&] { tasks->Item(3); }) + " " +
              N(s.Task(6)->ProcessID());
     },
     "2 5 7 9 Pelmark.Host 12"},
    {"a strict host refuses an undeclared task variable",
     [](sim::Simulator& s) {
       ComPtr<pelmark::IVariables> vars = s.Task(5)->Variables();
       return Raised([&] { vars->Item(Variant("JOBID")); }) + " writes " +
              N(static_cast<int32_t>(s.TaskVariableWrites().size()));
     },
     "5 Pelmark.Host writes 0"},
    {"a lenient host creates a task variable on its first write, process variables stay strict",
     [](sim::Simulator& s) {
       s.options().create_task_variables = true;
       ComPtr<pelmark::IVariables> vars = s.Task(5)->Variables();
       ComPtr<pelmark::IVariable> job = vars->Item(Variant("JOBID"));
       std::string out = Raised([&] { job->Value(); });
       out += " " + N(vars->Exists("JOBID"));
       job->SetValue(Variant(1002));
       out += N(vars->Exists("JOBID")) + " " + N(vars->Count()) + " " +
              Text(vars->Item(Variant("jobid"))->Value()) + " " + Text(s.TaskVariable(5, "JOBID"));
       for (const auto& w : s.TaskVariableWrites()) out += " " + w.name;
       ComPtr<pelmark::IVariables> process = s.Services()->GetProcessInstance(12)->Variables();
       return out + " " + Raised([&] { process->Item(Variant("JOBID")); });
     },
     "5 Pelmark.Host 01 3 1002 1002 JOBID 5 Pelmark.Host"},
    {"a fault may answer Nothing instead of raising, only where the call answers an object",
     [](sim::Simulator& s) {
       s.InjectFault({.op = "IActivityServices.GetService",
                      .when = {{"name", Variant("DmsService")}},
                      .times = 1,
                      .answer_nothing = true});
       s.InjectFault({.op = "ITask.TaskID", .answer_nothing = true});
       std::ostringstream out;
       out << !!s.Services()->GetService("DmsService") << !!s.Services()->GetService("DmsService")
           << !!s.Services()->GetService("ConfigurationService") << " " << s.Task(5)->TaskID();
       for (const sim::Call& c : s.CallsTo("IActivityServices.GetService"))
         out << (c.result_object == "Nothing" ? " Nothing/" : " object/") << c.error_number;
       return out.str();
     },
     "011 5 Nothing/0 object/0 object/0"},
};

class SimHostTest : public ::testing::TestWithParam<Row> {};

TEST_P(SimHostTest, Conforms) {
  sim::Simulator s = MakeHost();
  EXPECT_EQ(GetParam().run(s), GetParam().expected);
  EXPECT_TRUE(s.HeldReferences().empty()) << ::testing::PrintToString(s.HeldReferences());
}

INSTANTIATE_TEST_SUITE_P(Rows, SimHostTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return RowName(info.param.behaviour); });

TEST(SimJournalTest, GivesBackEveryKindOfValueAndTheErrorSource) {
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
