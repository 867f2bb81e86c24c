// Runs a class of the static core through the simulator the way its reference
// says it is configured: every parameter at its sample value, every task
// variable declared, one item list of a chosen kind. What the class then asks
// the host for (parameter and variable names) is what the reference tests
// compare with the table.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "class_descriptions.h"
#include "pelmark/variant.h"
#include "simulator.h"

namespace corvane_test {

// The item lists a probe can run over: the three kinds, and two faulty ones
// (a dmsobject element without attributes, an entitytype no class knows).
enum class ProbeKind { kDocuments, kStack, kRecordSeries, kNoAttributes, kUnknownKind };
inline constexpr ProbeKind kProbeKinds[] = {ProbeKind::kDocuments, ProbeKind::kStack,
                                            ProbeKind::kRecordSeries};
const char* ProbeKindName(ProbeKind kind);

// A scenario-style JSON value as a variant: null, Booleans, whole numbers
// (Long), other numbers (Double), text, and {"date": "yyyy-mm-dd"}.
pelmark::Variant SampleVariant(const nlohmann::ordered_json& sample);

struct ProbeError {
  std::string method;
  int32_t number = 0;
  std::string description;
  std::vector<std::string> chain;  // the source split at its CR LF: origin, then locations

  std::string ToString() const;
};

// What one run asked the host for.
struct ProbeUse {
  std::set<std::string> task_parameters;  // IParameters.Item or Exists on the task
  std::set<std::string> step_parameters;  // ... on the step definition
  std::set<std::string> variables_read;   // IVariable.Value or IsNull on a task variable
  std::set<std::string> variables_written;
  std::vector<ProbeError> errors;  // one for each call that raised
};

// Fills `sim` for the class: process 12 with the item list, task 5, the step,
// the DMS content the samples name (document 17 and -17, stack 30 holding
// document 18, record series 40, user 21, label "Confidential").
void SetUpProbe(sim::Simulator& sim, const corvane::cli::ClassDescription& d, ProbeKind kind);

// Calls Initialize, Execute and EvaluateCompositeTask on a new object of the
// class and collects what they asked for.
ProbeUse RunProbe(sim::Simulator& sim, const corvane::cli::ClassDescription& d);

}  // namespace corvane_test
