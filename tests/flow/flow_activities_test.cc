// Wait and EndWorkflow, driven through the simulator with the test platform's
// fixed clock (5 December 2026 14:30).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "activity_fixture.h"
#include "rules/variant_rules.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

constexpr double kToday = 46361.0;  // 5 December 2026 00:00
constexpr double kHour = 1.0 / 24;
constexpr double kSecond = 1.0 / 86400;
constexpr int32_t kFirstStoredId = 1001;

class FlowTest : public ActivityTest {
 protected:
  void SetUpFlowTask(std::vector<sim::ParameterSpec> parameters, Variant job_id = Variant::Null(),
                     Variant task_date = Variant::Date(kToday)) {
    sim.AddTask({.task_id = kTaskId,
                 .process_id = kProcessId,
                 .task_date = std::move(task_date),
                 .parameters = std::move(parameters),
                 .variables = {{.name = "JOBID", .value = std::move(job_id)}}});
  }

  static std::vector<sim::ParameterSpec> WaitParameters(Variant starting_from, Variant interval,
                                                        Variant type, Variant offset) {
    return {{"STARTING_FROM", std::move(starting_from)},
            {"INTERVAL", std::move(interval)},
            {"INTERVAL_TYPE", std::move(type)},
            {"OFFSET", std::move(offset)}};
  }

  // The one "Job" stored, its metadata stored before it and "JOBID" naming it.
  const sim::Entity& StoredJob() {
    const std::vector<sim::StoredRecord>& stored = sim.StoredRecords();
    EXPECT_EQ(stored.size(), 2u);
    if (stored.size() != 2u) throw std::runtime_error("no job stored");
    EXPECT_EQ(stored[0].entity.entity_name, "JobMetadata");
    EXPECT_EQ(stored[1].entity.entity_name, "Job");
    EXPECT_EQ(sim.TaskVariable(kTaskId, "JOBID"), Variant(stored[1].entity.id));
    return stored[1].entity;
  }

  double DateField(const sim::Entity& e, std::string_view name) {
    Variant v = e.Value(name);
    EXPECT_EQ(v.type(), pelmark::VarType::Date) << name;
    return v.type() == pelmark::VarType::Date ? v.date_value() : -1;
  }

  // Both records field by field; what differs between the two classes is passed in.
  void ExpectJobRecords(int32_t dispatcher_job_id, int32_t creator_id, int32_t creator_type,
                        double start, double end) {
    const sim::Entity& job = StoredJob();
    const sim::Entity& metadata = sim.StoredRecords()[0].entity;
    EXPECT_EQ(metadata.Value("Display Name"), Variant("W12-T5"));
    EXPECT_EQ(metadata.Value("Job Type Mask"), Variant(0));
    EXPECT_EQ(metadata.Value("Job Id"), Variant(dispatcher_job_id));
    EXPECT_EQ(metadata.Value("Dispature Id"), Variant("WORKFLOW_DISPATURE"));
    EXPECT_EQ(metadata.Value("Dispature Xml"), Variant("workflow.id=12;workflow.taskid=5"));

    const std::pair<const char*, Variant> plain[] = {{"Job Type", 1},
                                                     {"Status", 0},
                                                     {"State", 0},
                                                     {"Priority", 1},
                                                     {"CreatorType", 3},
                                                     {"DBGuid", ""},
                                                     {"Schedule", Variant::Null()},
                                                     {"Parameter Xml", ""},
                                                     {"Error Details", ""},
                                                     {"Failure Count", 0}};
    for (const auto& [name, value] : plain) EXPECT_EQ(job.Value(name), value) << name;
    EXPECT_EQ(job.Find("CreatorObject")->id, creator_id);
    EXPECT_EQ(job.Find("CreatorObject")->type_code, creator_type);
    EXPECT_EQ(job.Find("JobMetadata")->id, metadata.id);
    EXPECT_EQ(job.Find("JobMetadata")->type_code, 58);
    EXPECT_NEAR(DateField(job, "Start Date"), start, kSecond / 2);
    EXPECT_NEAR(DateField(job, "End Date"), end, kSecond / 2);
  }

  // The lookups that had their display value set, by field name.
  std::vector<std::string> DisplayValuesSet() const {
    std::vector<std::string> out;
    for (const sim::Call& c : sim.CallsTo("ILookupField.SetDisplayValue")) {
      EXPECT_EQ(c.ArgValue("text"), Variant(""));
      out.push_back(c.target.substr(c.target.rfind(' ') + 1));
    }
    return out;
  }
};

using WaitTest = FlowTest;
using EndWorkflowTest = FlowTest;

TEST_F(WaitTest, DueTimeComesFromTheParameters) {
  static const struct {
    const char* name;
    Variant starting_from;
    double task_date;
    Variant interval, type, offset;
    std::optional<double> start;  // the job's "Start Date"; none when the due time has passed
  } cases[] = {
      {"task date three days back, 3 days", Variant::Null(), kToday - 3 + 9 * kHour, 3, 4, 0, {}},
      {"task date three days back, 4 days", Variant::Null(), kToday - 3 + 9 * kHour, 4, 4, 0,
       kToday + 1},
      {"today's task waits from midnight", Variant::Null(), kToday + 9 * kHour, 15, 5, 0,
       kToday + 15 * kHour},
      {"a future task date waits from now", Variant::Null(), kToday + 9, 30, 6, 0,
       kToday + 15 * kHour},
      {"empty starting date is not given", Variant(), kToday, 15, 5, 0, kToday + 15 * kHour},
      {"zero starting date and day 0", Variant::Date(0), 0, 3, 4, 0, {}},
      {"month end is kept", Variant::Date(corvane::MakeDate(2027, 1, 31, 10)), kToday, 1, 2, 0,
       corvane::MakeDate(2027, 2, 28, 10)},
      {"starting date as text", "1/31/2027 10:00:00 AM", kToday, 1, 2, 0,
       corvane::MakeDate(2027, 2, 28, 10)},
      {"numeric type as text", Variant::Date(kToday), kToday, 15, "5", 0, kToday + 15 * kHour},
      {"unit name through the DMS", Variant::Date(kToday), kToday, 1, "Weeks", 0, kToday + 7},
      {"negative interval", Variant::Date(kToday + 2), kToday, -1, 4, 0, kToday + 1},
      {"negative offset", Variant::Date(kToday + 14.5 * kHour), kToday, 3, 5, -2,
       kToday + 15.5 * kHour},
      {"unknown code waits from now", Variant::Null(), kToday, 100, 9, 2, kToday + 16.5 * kHour},
      {"unknown code without offset is due now", Variant::Null(), kToday, 100, 9, 0, {}},
      {"unknown unit name is due now", Variant::Null(), kToday, 100, "fortnight", 1,
       kToday + 15.5 * kHour},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetSimulator();
    SetUpFlowTask(WaitParameters(c.starting_from, c.interval, c.type, c.offset), Variant::Null(),
                  Variant::Date(c.task_date));
    int32_t result = Execute("Wait");
    ASSERT_EQ(platform.decisions.size(), 1u);
    if (!c.start) {
      EXPECT_EQ(platform.decisions[0].outcome, "complete: the due time has come");
      EXPECT_LE(platform.Figure("due time").date_value(), kFixedNow);
      EXPECT_EQ(result, 1);
      EXPECT_TRUE(sim.StoredRecords().empty());
      EXPECT_TRUE(sim.TaskVariableWrites().empty());
      continue;
    }
    EXPECT_EQ(result, 2);
    if (sim.StoredRecords().size() != 2u) {
      ADD_FAILURE() << "no job stored";
      continue;
    }
    const sim::Entity& job = StoredJob();
    EXPECT_NEAR(DateField(job, "Start Date"), *c.start, kSecond / 2);
    EXPECT_NEAR(platform.Figure("due time").date_value(), *c.start, kSecond / 2);
    EXPECT_EQ(platform.Figure("job"), Variant(job.id));
  }
}

TEST_F(WaitTest, ExplainsTheDueTimeFromItsOwnFigures) {
  SetUpFlowTask(WaitParameters(Variant::Null(), 4, "Days", 3), Variant::Null(),
                Variant::Date(kToday - 3 + 9 * kHour));
  sim.SetIntervalTypeCode("Days", 4);
  EXPECT_EQ(Execute("Wait"), 2);
  ASSERT_EQ(platform.decisions.size(), 1u);
  const corvane::Decision& d = platform.decisions[0];
  EXPECT_EQ(d.class_name, "Wait");
  EXPECT_EQ(d.method, "Execute");
  EXPECT_EQ(d.row, 0);
  EXPECT_EQ(d.result, 2);
  EXPECT_EQ(d.outcome, "waits: a job is scheduled for the due time");
  EXPECT_EQ(platform.Figure("start"), Variant::Date(kToday - 3));
  EXPECT_EQ(platform.Figure("start from"), Variant("the task's day"));
  EXPECT_EQ(platform.Figure("interval"), Variant(4));
  EXPECT_EQ(platform.Figure("unit code"), Variant(4));
  EXPECT_EQ(platform.Figure("unit"), Variant("d"));
  EXPECT_EQ(platform.Figure("offset hours"), Variant(3));
  EXPECT_NEAR(platform.Figure("due time").date_value(), kToday + 1 + 3 * kHour, kSecond / 2);
  EXPECT_EQ(platform.Figure("now"), Variant::Date(kFixedNow));
  EXPECT_EQ(platform.Figure("job"), Variant(kFirstStoredId + 1));
}

TEST_F(WaitTest, ADueTimeAheadStoresMetadataThenJob) {
  SetUpFlowTask(WaitParameters(Variant::Date(kFixedNow), 1, 5, 0));
  EXPECT_EQ(Execute("Wait"), 2);
  EXPECT_EQ(DmsOps(), (std::vector<std::string>{"IDmsService.NewEntity", "IDmsService.AddEntity",
                                                "IDmsService.NewEntity", "IDmsService.NewEntity",
                                                "IDmsService.AddEntity"}))
      << "no GetJob for a null JOBID, no connection";
  ExpectJobRecords(4, kProcessId, -11, kFixedNow + kHour, kFixedNow + kHour + 10);
  EXPECT_EQ(DisplayValuesSet(), (std::vector<std::string>{"JobMetadata"}));
  EXPECT_EQ(sim.TaskVariable(kTaskId, "JOBID"), Variant(kFirstStoredId + 1));
}

TEST_F(WaitTest, AnEarlierJobDecidesWhileTheDueTimeIsAhead) {
  static const struct {
    const char* name;
    Variant job_id;
    std::optional<double> existing_start;  // a stored job 1500 with this "Start Date"
    int32_t result;
    bool schedules;
    bool looks_up;
  } cases[] = {
      {"null", Variant::Null(), kFixedNow - kHour, 2, true, false},
      {"zero", 0, kFixedNow - kHour, 2, true, false},
      {"job started", 1500, kFixedNow - kHour, 1, false, true},
      {"job still ahead", 1500, kFixedNow + kHour, 2, false, true},
      {"id as text", "1500", kFixedNow - kHour, 1, false, true},
      {"job gone", 1500, std::nullopt, 2, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetSimulator();
    SetUpFlowTask(WaitParameters(Variant::Null(), 1, 4, 0), c.job_id);
    if (c.existing_start) sim.AddJob(1500, *c.existing_start);
    EXPECT_EQ(Execute("Wait"), c.result);
    ASSERT_EQ(platform.decisions.size(), 1u);
    EXPECT_EQ(platform.decisions[0].outcome,
              c.schedules     ? "waits: a job is scheduled for the due time"
              : c.result == 1 ? "complete: the job's start has come"
                              : "waits: the job's start is ahead; JOBID is cleared");
    if (!c.schedules) {
      EXPECT_EQ(platform.Figure("job start"), Variant::Date(*c.existing_start));
    }
    std::vector<sim::Call> lookups = sim.CallsTo("IDmsService.GetJob");
    ASSERT_EQ(lookups.size(), c.looks_up ? 1u : 0u);
    if (c.looks_up) {
      EXPECT_EQ(lookups[0].ArgValue("item.ID"), Variant(1500));
      EXPECT_EQ(lookups[0].ArgValue("item.TypeCode"), Variant(61));
      EXPECT_EQ(lookups[0].ArgValue("item.EntityName"), Variant("Job"));
    }
    EXPECT_EQ(sim.StoredRecords().size(), c.schedules ? 2u : 0u);
    EXPECT_EQ(sim.TaskVariable(kTaskId, "JOBID"), Variant(c.schedules ? kFirstStoredId + 1 : 0));
  }
}

TEST_F(WaitTest, APassedDueTimeLeavesTheJobAlone) {
  SetUpFlowTask(WaitParameters(Variant::Null(), 1, 4, -48), 1500);
  sim.AddJob(1500, kFixedNow + kHour);
  EXPECT_EQ(Execute("Wait"), 1);
  EXPECT_TRUE(sim.DmsCalls().empty());
  EXPECT_TRUE(sim.TaskVariableWrites().empty());
  EXPECT_EQ(sim.TaskVariable(kTaskId, "JOBID"), Variant(1500));
}

TEST_F(WaitTest, WithoutTheDmsNothingIsReadOrScheduled) {
  sim.options().dms_service = false;
  SetUpFlowTask(WaitParameters(Variant::Null(), 1, 4, 0));
  EXPECT_EQ(Execute("Wait"), 2);
  ASSERT_EQ(platform.decisions.size(), 1u);
  EXPECT_EQ(platform.decisions[0].outcome, "waits: the host offers no DmsService");
  EXPECT_TRUE(sim.CallsTo("ITask.").empty());
  EXPECT_TRUE(sim.TaskVariableWrites().empty());
}

TEST_F(WaitTest, BadValuesFailWithTheStatementThatReadThem) {
  static const struct {
    const char* name;
    Variant starting_from, interval, type, offset;
    int32_t number;
    int32_t line;
  } cases[] = {
      {"starting date that is no date", "next week", 1, 4, 0, 13, 2},
      {"empty interval", Variant::Null(), "", 4, 0, 13, 4},
      {"null interval", Variant::Null(), Variant::Null(), 4, 0, 94, 4},
      {"due time after 9999", Variant::Null(), 8000, 1, 0, 5, 6},
      {"due time before year 100", Variant::Null(), -1927, 1, 0, 5, 6},
      {"offset that is no number", Variant::Null(), 1, 4, "two", 13, 7},
      {"offset past 9999", Variant::Date(corvane::MakeDate(9999, 12, 31)), 0, 4, 24, 5, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetSimulator();
    platform.log.clear();
    SetUpFlowTask(WaitParameters(c.starting_from, c.interval, c.type, c.offset));
    pelmark::Error e = ExecuteFailing("Wait");
    EXPECT_EQ(e.number(), c.number);
    EXPECT_EQ(e.source(),
              "Corvane\r\nWait: IActivityRuntime_Execute Function Ln " + std::to_string(c.line));
    EXPECT_EQ(platform.log, std::vector<std::string>{e.description()});
    EXPECT_TRUE(sim.StoredRecords().empty());
  }
}

TEST_F(WaitTest, DmsAndHostFailuresKeepTheirSource) {
  SetUpFlowTask(WaitParameters(Variant::Null(), 1, 4, 0));
  sim.InjectFault(
      {.op = "IDmsService.AddEntity", .number = 321, .description = "Job table full", .skip = 1});
  pelmark::Error e = ExecuteFailing("Wait");
  EXPECT_EQ(e.number(), 321);
  EXPECT_EQ(e.description(), "Job table full");
  EXPECT_EQ(e.source(), "Pelmark.Dms\r\nWait: IActivityRuntime_Execute Function Ln 21");
  EXPECT_EQ(platform.log, std::vector<std::string>{"Job table full"});
  EXPECT_TRUE(sim.TaskVariableWrites().empty());

  ResetSimulator();
  SetUpFlowTask({{"STARTING_FROM", Variant::Null()}, {"INTERVAL", 1}, {"INTERVAL_TYPE", 4}});
  e = ExecuteFailing("Wait");
  EXPECT_EQ(e.number(), sim::kErrUnknownName) << "parameters are read without an existence test";
  EXPECT_EQ(e.source().substr(0, 12), "Pelmark.Host");
}

TEST_F(EndWorkflowTest, SchedulesAnImmediateJobReadingTheClockForEachDate) {
  // A clock that moves on by a second at each reading.
  struct TickingPlatform : TestPlatform {
    double Now() override { return now + kSecond * ticks++; }
    int ticks = 0;
  } ticking;
  SetUpFlowTask({});
  EXPECT_EQ(Execute("EndWorkflow"), 2);
  ExpectJobRecords(2, kTaskId, -14, kFixedNow, kFixedNow + kSecond + 10);
  EXPECT_EQ(DisplayValuesSet(), (std::vector<std::string>{"CreatorObject"}));
  EXPECT_TRUE(sim.CallsTo("ITask.Parameters").empty());
}

TEST_F(EndWorkflowTest, JobIdKeepsTheJobScheduledOnce) {
  static const struct {
    const char* name;
    Variant job_id;
    bool job_exists;
    bool schedules;
  } cases[] = {
      {"null", Variant::Null(), false, true},
      {"zero", 0, true, true},
      {"existing job", 1500, true, false},
      {"job gone", 1500, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetSimulator();
    SetUpFlowTask({}, c.job_id);
    if (c.job_exists) sim.AddJob(1500, kFixedNow + 1);
    EXPECT_EQ(Execute("EndWorkflow"), 2);
    EXPECT_EQ(sim.StoredRecords().size(), c.schedules ? 2u : 0u);
    EXPECT_EQ(sim.TaskVariableWrites().size(), c.schedules ? 1u : 0u);
    if (c.schedules) {
      EXPECT_EQ(sim.TaskVariable(kTaskId, "JOBID"), Variant(kFirstStoredId + 1));
    }
  }

  ResetSimulator();
  sim.options().dms_service = false;
  SetUpFlowTask({});
  EXPECT_EQ(Execute("EndWorkflow"), 2);
  EXPECT_TRUE(sim.StoredRecords().empty());
  EXPECT_TRUE(sim.TaskVariableWrites().empty());
}

TEST_F(EndWorkflowTest, AFailingDmsLeavesTheMetadataAndNoJobId) {
  SetUpFlowTask({});
  sim.InjectFault({.op = "IDmsService.NewEntity",
                   .when = {{"name", "Job"}},
                   .number = 77,
                   .description = "No job template"});
  pelmark::Error e = ExecuteFailing("EndWorkflow");
  EXPECT_EQ(e.number(), 77);
  EXPECT_EQ(e.source(), "Pelmark.Dms\r\nEndWorkflow: IActivityRuntime_Execute Function Ln 8");
  EXPECT_EQ(platform.log, std::vector<std::string>{"No job template"});
  ASSERT_EQ(sim.StoredRecords().size(), 1u);
  EXPECT_EQ(sim.StoredRecords()[0].entity.entity_name, "JobMetadata");
  EXPECT_TRUE(sim.TaskVariableWrites().empty());
}

}  // namespace
}  // namespace corvane_test
