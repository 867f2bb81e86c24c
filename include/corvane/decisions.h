// What a class decided in one call, for a host that shows designers why a step
// did what it did. The classes that decide (the human-task evaluations of
// DocApproval, Review and ToDo, and Wait's Execute) tell the installed
// DecisionObserver once per such call; no other class tells it anything.
//
// Threading: install the observer before creating activity objects, as the
// platform services. Decided runs on the thread that made the deciding call,
// after the decision and before the call returns; calls on several threads
// reach the one observer concurrently.
//
// Typical usage:
//   class Narrator final : public corvane::DecisionObserver {
//    public:
//     void Decided(const corvane::Decision& d) override { Show(d.outcome); }
//   };
//   Narrator narrator;
//   set_observer(&narrator);  // the module's CorvaneSetDecisionObserver
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pelmark/com.h"
#include "pelmark/variant.h"

namespace corvane {

// One figure a class decided by: "requests" = 3, "due time" = a Date.
struct DecisionFigure {
  std::string name;
  pelmark::Variant value;
};

// What a class decided in one call and the figures it used, as the class itself
// computed them: an approval evaluation's counts and the row of its decision
// table, a wait's base, interval, offset, due time and job.
struct Decision {
  std::string class_name;  // "DocApproval"
  std::string method;      // "EvaluateCompositeTask", "Execute"
  int row = 0;             // the decision table's row (1 is the first); 0 for a class without one
  std::string outcome;     // "complete approved", "complete rejected", "stays open", ...
  int32_t result = 0;      // what the call returns
  std::vector<DecisionFigure> figures;  // in the order they were decided
};

class DecisionObserver {
 public:
  virtual ~DecisionObserver() = default;

  // Told what a class decided. It makes no host or DMS call of its own and must
  // not call back into the library or the host, nor throw.
  virtual void Decided(const Decision& decision) = 0;
};

// Installs `observer` (not owned; must outlive its use), or none for nullptr,
// the default. Returns the previous one.
DecisionObserver* SetDecisionObserver(DecisionObserver* observer);

}  // namespace corvane

// The same as corvane::SetDecisionObserver, exported from the loadable module so
// that a host that loads it can watch its decisions.
extern "C" PELMARK_EXPORT corvane::DecisionObserver* CorvaneSetDecisionObserver(
    corvane::DecisionObserver* observer);
