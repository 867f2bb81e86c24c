// Checks a call's expect block against the facts the runner gathered for that
// call. Each failure names what was checked, what the scenario expected and
// what happened, so that the report reads as a diff.
#pragma once

#include <optional>
#include <string>

#include "values.h"

namespace corvane::cli {

// Checks an expect block's shape and values when the scenario is read; throws
// ScenarioError naming the place inside `place` ("calls[1].expect").
void ValidateExpect(const Json& expect, const std::string& place);

// Returns {"checked": [keys], "failures": [{"what", "expected", "actual"}]}.
// References still held after the call always count as a failure: a step must
// release every host object it took, whatever the scenario expects.
Json CheckExpectations(const std::optional<Json>& expect, const Json& call);

// The same for what a workflow's events expect of the instance: "state",
// "step", process "variables", "task_variables" by task id, "decision" (the
// latest, with its "step" and "branch"), and the lists made so far ("items",
// "messages", "jobs", "stored", "comments", "event_log").
void ValidateInstanceExpect(const Json& expect, const std::string& place);

// Checks an instance's expect block against `instance`, the facts of the
// workflow instance as they stand; answers as CheckExpectations does.
Json CheckInstanceExpectations(const Json& expect, const Json& instance);

}  // namespace corvane::cli
