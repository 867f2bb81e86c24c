// The readers of the scenario format's sections, one file each: the DMS
// content (scenario_dms.cc) and the process with its tasks
// (scenario_process.cc), a workflow's steps and events (scenario_workflow.cc).
// LoadScenario in scenario.cc puts them together.
#pragma once

#include <cstdint>
#include <vector>

#include "json_reader.h"
#include "scenario.h"

namespace corvane::cli {

// The "dms" section: databases, documents, stacks, users, jobs and the rest.
void ParseDms(const Node& dms, Scenario& s);

// The name the item-list process variable has unless "itemlist_name" says otherwise.
inline constexpr const char* kItemListName = "dmsobject";

// The "process" section, with its item list made the first process variable.
// Variable names clash as the host compares them (`case_sensitive_names`).
sim::ProcessSpec ParseProcess(const Node& node, bool case_sensitive_names);

// One of "tasks"; a task belongs to `process_id` unless it names another.
sim::TaskSpec ParseTask(const Node& node, int32_t process_id);

// The "step" section: the step's parameters and counts.
void ReadStep(const Node& step, sim::ActivitySpec& activity);

// A "tasks" list, each id once.
std::vector<sim::TaskSpec> ReadTasks(const Node& tasks, int32_t process_id);

// The ids of the scenario's tasks, for messages: "1, 2, 3".
std::string TaskIds(const Scenario& s);

// A duration {"days", "hours", "minutes", "seconds"} in days.
double AdvanceDays(const Node& node);

// The "workflow" and "events" sections and the instance's final "expect"
// (scenario_workflow.cc).
void ParseWorkflow(const Node& root, Scenario& s, int32_t process_id);

// Parameters of a task or of the step, name to value or to {"value", "isnull"}.
std::vector<sim::ParameterSpec> ParseParameters(const Node& node);

}  // namespace corvane::cli
