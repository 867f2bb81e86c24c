// Runs a scenario: builds the simulator from it, creates the step's object
// through the module host, makes the listed calls in order and gathers, per
// call, every fact a designer or a test checks (result or error, variable writes,
// journal, stored entities, messages, event-log entries, references still held,
// the DMS items afterwards), then checks the call's expectations.
//
// The report is JSON (docs/scenarios.md, "The report"); the text report is
// written from it, so both carry the same facts.
#pragma once

#include "module_host.h"
#include "scenario.h"
#include "values.h"

namespace corvane::cli {

// Runs `scenario`; throws ScenarioError when the simulator refuses its content
// and HostError when the class cannot be created. The report's "passed" tells
// whether every expectation held.
Json RunScenario(const Scenario& scenario, ModuleHost& host);

}  // namespace corvane::cli
