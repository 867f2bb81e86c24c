// The fault sweep's means: a scenario file of the tool run on the static core
// with a test platform, with or without one injected fault, and the fault that
// fails exactly one recorded call.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "activity_fixture.h"
#include "scenario.h"

namespace corvane_test {

// What one call of a run left behind.
struct CallOutcome {
  std::string class_name{};
  corvane::cli::Method method{};
  bool completed = false;
  int32_t error_number = 0;
  std::string error_source{}, error_description{};
  size_t journal_begin = 0, journal_end = 0;  // the call's part of the run's journal
  std::vector<std::string> log{};             // event-log entries the call wrote
};

// What one run of a scenario left behind.
struct RunOutcome {
  std::vector<CallOutcome> calls{};
  std::vector<sim::Call> journal{};
  std::vector<std::string> held{};  // references still held once the steps are released
};

// Runs the scenario's calls in order on a fresh simulator and platform, with
// `fault` injected, up to and including call `last` (or all of them).
inline RunOutcome RunScenario(const corvane::cli::Scenario& s,
                              const std::optional<sim::Fault>& fault,
                              size_t last = static_cast<size_t>(-1)) {
  RunOutcome out;
  TestPlatform platform;
  platform.now = s.now.value_or(kFixedNow);
  platform.locale =
      s.locale == "de-DE" ? &corvane::LocaleInfo::DeDe() : &corvane::LocaleInfo::EnUs();
  platform.paths = {"/"};
  for (const std::string& d : s.directories)
    for (size_t at = d.find('/', 1);; at = d.find('/', at + 1)) {
      platform.paths.insert(d.substr(0, at));
      if (at == std::string::npos) break;
    }
  sim::Simulator sim(s.options);
  corvane::cli::BuildSimulator(s, sim);
  if (fault) sim.InjectFault(*fault);
  {
    std::map<std::string, pelmark::ComPtr<pelmark::IActivityRuntime>> steps;
    for (size_t i = 0; i < s.calls.size() && i <= last; ++i) {
      const corvane::cli::CallSpec& c = s.calls[i];
      CallOutcome call{.class_name = c.step_class.name, .method = c.method};
      auto& step = steps[c.step_class.name];
      if (!step) step = NewActivity(c.step_class.name);
      if (c.at) platform.now = *c.at;
      platform.now += c.advance_days;
      call.journal_begin = sim.JournalSize();
      size_t log_begin = platform.log.size();
      try {
        switch (c.method) {
          case corvane::cli::Method::kInitialize:
            step->Initialize(sim.Services(), sim.Activity());
            break;
          case corvane::cli::Method::kExecute: {
            pelmark::ITask* task = sim.Task(c.task_id);
            step->Execute(sim.Services(), task);
            break;
          }
          case corvane::cli::Method::kEvaluateCompositeTask: {
            pelmark::ITask* task = sim.Task(c.task_id);
            step->EvaluateCompositeTask(sim.Services(), sim.Activity(), task);
            break;
          }
        }
        call.completed = true;
      } catch (const pelmark::Error& e) {
        call.error_number = e.number();
        call.error_source = e.source();
        call.error_description = e.description();
      }
      call.journal_end = sim.JournalSize();
      call.log.assign(platform.log.begin() + log_begin, platform.log.end());
      out.calls.push_back(std::move(call));
    }
  }
  out.journal = sim.Journal();
  out.held = sim.HeldReferences();
  return out;
}

// Whether a fault of the scenario itself made the call fail: such a call never
// reaches a fault injected after the scenario's.
inline bool FailedByScenario(const sim::Call& call, const std::vector<sim::Fault>& faults) {
  return call.error_number && std::ranges::any_of(faults, [&](const sim::Fault& f) {
           return f.number == call.error_number && f.description == call.error_description;
         });
}

// The fault that fails journal entry `index` of a run of a scenario with
// `faults`, and no other call.
inline sim::Fault FaultAt(const std::vector<sim::Call>& journal, size_t index,
                          const std::vector<sim::Fault>& faults) {
  const sim::Call& call = journal[index];
  int32_t earlier = 0;
  for (size_t i = 0; i < index; ++i)
    if (journal[i].op == call.op && journal[i].target == call.target &&
        !FailedByScenario(journal[i], faults))
      ++earlier;
  // DMS objects answer with the DMS's source, host objects with the host's.
  bool dms = false;
  for (std::string_view prefix :
       {"IDms", "IEntity", "IField", "ILookupField", "IChoiceField", "IQuery"})
    dms = dms || call.op.starts_with(prefix);
  return sim::Fault{
      .op = call.op,
      .target = call.target,
      .number = 7000 + static_cast<int32_t>(index),
      .source = std::string(dms ? sim::kDmsSource : sim::kHostSource),
      .description = "Injected failure of call " + std::to_string(index + 1) + " (" + call.op + ")",
      .skip = earlier,
      .times = 1};
}

}  // namespace corvane_test
