// A scenario file: the DMS content, the workflow instance and its item list, the
// step and its tasks, the faults to inject and the calls to make, with optional
// expectations per call. docs/scenarios.md describes every field.
//
// LoadScenario reads and checks the whole file before anything runs, so that a
// malformed scenario fails with one message naming the place, never halfway.
#pragma once

#include <cstdint>
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
  ClassRef step_class;         // the scenario's class unless the call names another
  int32_t task_id = 0;         // Execute and EvaluateCompositeTask
  std::optional<double> at;    // set the clock to this time first
  double advance_days = 0;     // then move it on by this much
  std::optional<Json> expect;  // checked after the call (validated at load)
  std::string place;           // "calls[1]", for messages
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
};

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
