// Scenarios for the fault sweep: one per class and entry method, each a small
// but realistic workflow step (documents, stacks with documents filed in them,
// record series), and the means to run one with or without an injected fault.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "activity_fixture.h"

namespace corvane_test {

enum class Entry { kInitialize, kExecute, kEvaluate };

std::string EntryName(Entry entry);

// Whether the class suppresses a failure of journal entry `index` by design.
using SuppressedBy = std::function<bool(const std::vector<sim::Call>& journal, size_t index)>;

struct Scenario {
  std::string class_name{};
  Entry entry = Entry::kExecute;
  int32_t task_id = kTaskId;
  std::function<void(sim::Simulator&, TestPlatform&)> setup{};
  SuppressedBy suppressed{};
};

// Names the scenario in test output.
inline void PrintTo(const Scenario& s, std::ostream* os) { *os << s.class_name; }

// What one run left behind.
struct RunOutcome {
  bool completed = false;
  int32_t result = 0;
  int32_t error_number = 0;
  std::string error_source{};
  std::string error_description{};
  std::vector<std::string> log{};
  std::vector<sim::Call> journal{};
  std::vector<std::string> held{};  // references still held after the call
};

// Runs the scenario on a fresh simulator and platform, with `fault` injected.
RunOutcome RunScenario(const Scenario& scenario, const std::optional<sim::Fault>& fault);

std::vector<Scenario> AllScenarios();

}  // namespace corvane_test
