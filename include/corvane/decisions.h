// What a class decided in one call, and what a step was reading when a call
// failed, for a host that shows designers why a step did what it did. The
// classes that decide (the human-task evaluations of DocApproval, Review and
// ToDo, and Wait's Execute) tell the installed DecisionObserver once per such
// call; no other class tells it anything. A call that ends in an error raised
// while the step read a parameter, a variable or a template's value tells it
// Raised with what was read; the error itself reaches the host unchanged.
//
// Threading: install the observer before creating activity objects, as the
// platform services. Decided runs on the thread that made the deciding call,
// after the decision and before the call returns; Raised runs on the failing
// call's thread just before the error leaves it. Calls on several threads reach
// the one observer concurrently.
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

// What a step was reading when it raised the error a call ends in, in parts a
// host puts in its own words: `action` `owner`'s `what` `value` `detail`, as in
// reading | task | parameter COMMENTSASNOTES | "yes" | as a yes/no value.
struct RaisedContext {
  std::string class_name;   // "DocApproval"
  std::string method;       // "Execute", "EvaluateCompositeTask", "Initialize"
  int32_t number = 0;       // the error the call raises, as the host sees it
  std::string description;  // "Type mismatch"
  std::string action;       // "reading", "rendering"
  std::string owner;        // "task" (the call's task), "step", "workflow", or empty
  std::string what;         // "parameter COMMENTSASNOTES", "template variable dmsobject.title"
  pelmark::Variant value;   // the value read; Empty when there is none to show
  std::string detail;       // "as a yes/no value"; may be empty
};

class DecisionObserver {
 public:
  virtual ~DecisionObserver() = default;

  // Told what a class decided. It makes no host or DMS call of its own and must
  // not call back into the library or the host, nor throw.
  virtual void Decided(const Decision& decision) = 0;

  // Told what the step was reading when the call's error was raised, once per
  // failing call and only when the step knows; the same rules as Decided. The
  // default ignores it.
  virtual void Raised(const RaisedContext& context) {}
};

// Installs `observer` (not owned; must outlive its use), or none for nullptr,
// the default. Returns the previous one.
DecisionObserver* SetDecisionObserver(DecisionObserver* observer);

}  // namespace corvane

// The same as corvane::SetDecisionObserver, exported from the loadable module so
// that a host that loads it can watch its decisions.
extern "C" PELMARK_EXPORT corvane::DecisionObserver* CorvaneSetDecisionObserver(
    corvane::DecisionObserver* observer);
