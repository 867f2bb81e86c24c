// A scenario file: the DMS content, the workflow instance and its item list, the
// step and its tasks, the faults to inject and the calls to make, with optional
// expectations per call. docs/scenarios.md describes every field.
//
// LoadScenario reads and checks the whole file before anything runs, so that a
// malformed scenario fails with one message naming the place, never halfway.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pelmark/com.h"
#include "simulator.h"
#include "values.h"

namespace corvane::cli {

enum class Method { kInitialize, kExecute, kEvaluateCompositeTask };
std::string_view MethodName(Method m);

// A class of the component as a scenario or a call names it.
struct ClassRef {
  std::string reference;  // as written: a name, a ProgID or a CLSID
  std::string name;       // the catalogue name
  pelmark::CLSID clsid{};
  bool by_clsid = false;
};

struct CallSpec {
  Method method = Method::kExecute;
  ClassRef step_class{};         // the scenario's class unless the call names another
  int32_t task_id = 0;           // Execute and EvaluateCompositeTask
  std::optional<double> at{};    // set the clock to this time first
  double advance_days = 0;       // then move it on by this much
  std::optional<Json> expect{};  // checked after the call (validated at load)
  std::string place{};           // "calls[1]", for messages
  std::string step{};            // the workflow step it belongs to, if any
};

template <class T>
struct InDatabase {
  int32_t database = 0;
  T value;
};

struct SecurityLabelSpec {
  int32_t database = 0;
  std::string name;
  int32_t id = 0;
  int32_t type_code = sim::kSecurityLabelTypeCode;
};

struct EventCodeSpec {
  int32_t type_code = 0;
  std::string event;
  int32_t code = 0;
};

struct SettingSpec {
  std::string section, key, value;
};

// One step of a workflow: its class, its own parameters and tasks, and the step
// that follows it for each outcome ("" for any outcome).
struct WorkflowStep {
  std::string name;
  ClassRef step_class;
  sim::ActivitySpec activity;
  std::vector<int32_t> task_ids;  // its tasks, in the order the step lists them
  // The task a step people answer is evaluated with: the step's own, apart from
  // the answers, so that the result it writes (APPROVED) overwrites no answer.
  int32_t evaluation_task = 0;
  std::optional<double> due_days;  // its tasks fall due this long after it starts
  std::map<std::string, std::string> next;
  std::string place;  // "workflow.steps[1]"
};

// What happens to a workflow instance at one point of simulated time.
struct WorkflowEvent {
  enum class Kind { kAnswer, kClock, kRun };
  Kind kind = Kind::kClock;
  double time = 0;  // fixed when the file is read: events never move the clock back
  // An answer: the task, and what the person said.
  int32_t task_id = 0;
  std::optional<bool> approved;
  std::optional<std::string> comment;
  std::vector<sim::VariableSpec> variables;
  std::string step;            // a step run on request
  std::optional<Json> expect;  // the instance after the event
  std::string place;           // "events[2]"
};

struct Workflow {
  std::vector<WorkflowStep> steps;  // the first one starts the instance
  std::vector<WorkflowEvent> events;
  std::optional<Json> expect;  // the instance once every event has happened
};

struct Scenario {
  std::string file;
  std::string description;
  ClassRef step_class;  // the class of the step; a call may name another

  std::optional<double> now;  // fixed clock; the real clock at the start when absent
  std::string locale = "en-US";
  sim::Options options;

  std::vector<int32_t> databases;
  std::vector<InDatabase<sim::DocumentSpec>> documents;
  std::vector<InDatabase<sim::Entity>> stacks, record_series, retention_labels;
  std::vector<SecurityLabelSpec> security_labels;
  std::vector<sim::UserSpec> users;
  std::vector<sim::GroupSpec> groups, roles;
  std::vector<sim::Entity> jobs;
  std::vector<EventCodeSpec> event_codes;
  bool replace_interval_codes = false;
  std::vector<std::pair<std::string, int32_t>> interval_codes;
  std::vector<sim::Entity> entity_templates;
  std::vector<SettingSpec> settings;

  std::optional<sim::ProcessSpec> process;
  sim::ActivitySpec activity;
  std::vector<sim::TaskSpec> tasks;
  std::vector<sim::Fault> faults;
  std::vector<std::string> directories;  // made in the run's file-system sandbox
  struct File {
    std::string path{};     // as the library names it ("/exports/2025/a.pdf")
    std::string content{};  // written as given
    std::string place{};    // "filesystem.files[0]", for messages
  };
  std::vector<File> files;  // plain files there before the calls

  std::vector<CallSpec> calls;

  // A workflow instance of several steps instead of one step: then `tasks`
  // holds every step's tasks, `calls` is empty and `step_class` is the first
  // step's class.
  std::optional<Workflow> workflow;
};

// The scenario of one workflow step on its own: its class, parameters, tasks
// and the calls a host makes of it, for the checks made step by step.
Scenario StepScenario(const Scenario& s, const WorkflowStep& step);

// The step of a workflow that has task `task_id`; null when none has.
const WorkflowStep* StepOfTask(const Workflow& w, int32_t task_id);

// The workflow step called `name`; null when there is none.
const WorkflowStep* FindStep(const Workflow& w, std::string_view name);

// Whether a class is a step people answer (its evaluation decides), rather
// than one that does its work when it runs.
bool IsHumanTaskClass(std::string_view class_name);

// The classes a scenario calls, each once: the scenario's class first, then
// those its calls name, in the order they first appear.
std::vector<const ClassRef*> ScenarioClasses(const Scenario& s);

// The classes whose calls read task `task_id` (an Execute or an evaluation of
// it), in the order the calls name them; the scenario's class for a task no call
// names. A scenario of several classes is checked task by task against these.
std::vector<const ClassRef*> ClassesReadingTask(const Scenario& s, int32_t task_id);

// Whether class `c` reads the step's own parameters and counts: the scenario's
// class, and a class called to initialize or to evaluate.
bool ReadsStep(const Scenario& s, const ClassRef& c);

// Reads and checks a scenario; throws ScenarioError (place and message) for a
// file that cannot be read, is no JSON, or does not follow the schema.
Scenario LoadScenario(const std::string& path);

// The same for a scenario's text; `file` only names it in the scenario.
Scenario ParseScenario(const std::string& text, const std::string& file);

// Puts the scenario's DMS content, process, step, tasks and faults into `sim`
// (the run and the fault sweep build their simulators alike).
void BuildSimulator(const Scenario& s, sim::Simulator& sim);

// The catalogue class a name, ProgID or CLSID names; throws ScenarioError with
// a suggestion when there is none.
ClassRef ResolveClassReference(const std::string& reference, const std::string& place);

}  // namespace corvane::cli
