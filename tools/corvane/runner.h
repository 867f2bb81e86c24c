// Runs a scenario: builds the simulator from it, creates the step's object
// through the module host, makes the listed calls in order and gathers, per
// call, every fact a designer or a test checks (result or error, variable writes,
// journal, stored entities, messages, event-log entries, references still held,
// the DMS items afterwards), then checks the call's expectations.
//
// The report (docs/scenarios.md, "The report") is handed to a ReportSink piece
// by piece, in the order of the JSON report's members, and each list one
// element at a time: a walk over 100,000 items journals several calls per item,
// and neither the report nor a call's journal is ever held whole. The JSON and
// the text report are both written from these pieces, so both carry the same
// facts.
#pragma once

#include <string>
#include <string_view>

#include "module_host.h"
#include "scenario.h"
#include "values.h"

namespace corvane::cli {

// Receives one scenario's report. Calls come in this order:
//   BeginReport, then per call BeginCall, Member / BeginList Element* EndList
//   (in the order of the call's JSON members), EndCall; then EndReport.
// A workflow's calls come inside its events: BeginEvent, the calls the event
// led to, EndEvent; after the last event, EndTimeline, then EndReport.
// Used from the one thread that runs the scenario.
class ReportSink {
 public:
  virtual ~ReportSink() = default;
  // `head` holds the report's members before "calls" (scenario ... warnings);
  // `module` is the path of the module the classes came from.
  virtual void BeginReport(const Json& head, const std::string& module) = 0;
  // `head` holds the call's members up to and including "error".
  virtual void BeginCall(const Json& head) = 0;
  // A member of the call whose value is small enough to hand over whole.
  virtual void Member(std::string_view key, const Json& value) = 0;
  // A list member of the call; its elements follow, then EndList.
  virtual void BeginList(std::string_view key) = 0;
  virtual void Element(const Json& element) = 0;
  virtual void EndList() = 0;
  virtual void EndCall() = 0;
  // `head` holds the event's "index", "time", "kind", "title" and "step".
  virtual void BeginEvent(const Json& head) = 0;
  // `tail` holds the instance's "state" and "current_step" after the event,
  // and the event's "expectations".
  virtual void EndEvent(const Json& tail) = 0;
  // The workflow's summary: steps run, decisions, messages, jobs, items
  // changed, simulated time elapsed and how the instance stands.
  virtual void EndTimeline(const Json& summary) = 0;
  // `tail` holds the report's members after "calls": "call_warnings" (calls
  // that raised an error no expectation covers), "strict_failures" (what fails
  // the scenario under --strict only) and "passed".
  virtual void EndReport(const Json& tail) = 0;
};

struct RunOptions {
  // Fail the scenario on a check finding of severity error and on a call that
  // raised an error no expectation covers, not only on failed expectations.
  bool strict = false;
};

// Runs `scenario`, handing its report to `sink`; throws ScenarioError when the
// simulator refuses its content and HostError when a class cannot be created,
// both before the sink has been given anything.
//
// Returns the report's summary: "scenario", "passed", "calls" holding, for
// each call whose expectations failed, its "index", "method" and
// "expectations", and the tail's "call_warnings" and "strict_failures". The
// summary line and the JUnit file are written from it.
Json RunScenario(const Scenario& scenario, ModuleHost& host, ReportSink& sink,
                 const RunOptions& options = {});

}  // namespace corvane::cli
