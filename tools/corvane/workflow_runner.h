// Runs a workflow scenario as a host runs an instance: the first step starts at
// the scenario's "now", each event happens at its time (a person answers a
// task, a step runs, the clock moves), a Wait's job and a step's due time fire
// when the clock reaches them, and each step's outcome picks the step that
// follows. One simulator carries everything from step to step.
//
// The report is handed to the sink event by event (BeginEvent, the calls the
// event led to, EndEvent), then the summary (EndTimeline).
#pragma once

#include <map>
#include <string>

#include "module_host.h"
#include "runner.h"
#include "scenario.h"
#include "simulator.h"

namespace corvane::cli {

// What the workflow asks of the runner of single calls.
class StepCalls {
 public:
  virtual ~StepCalls() = default;
  // Makes call `c` on `step` and hands its report to the sink; answers the
  // call's head ("result", "error", "decision") with "failed": its failed
  // expectations, or null.
  virtual Json Call(const CallSpec& c, pelmark::IActivityRuntime* step) = 0;
  // The lists and values the instance expect block `expect` names, as they
  // stand ("items", "messages", "jobs", "stored", "comments", "event_log",
  // "variables", "task_variables").
  virtual Json Facts(const Json& expect) = 0;
  // How many of the scenario's DMS items differ from what they were at the start.
  virtual size_t ItemsChanged() = 0;
};

// One object per workflow step, by step name, as a host makes one per step.
using StepObjects = std::map<std::string, pelmark::ComPtr<pelmark::IActivityRuntime>>;

// Runs the workflow's events; answers "events": each event whose
// expectations failed (or whose calls missed theirs), with its "index", "title"
// and "expectations"; and "cases": a test case per step and per expect block,
// each with its "name" and, when it did not pass, "failure" or "skipped".
// Throws ScenarioError naming the event's place when an event cannot happen as
// the file says (an answer to a task whose step is not running, an event
// after the instance ended).
Json RunWorkflow(const Scenario& s, sim::Simulator& sim, CliPlatform& platform,
                 StepObjects& objects, StepCalls& calls, ReportSink& sink);

}  // namespace corvane::cli
