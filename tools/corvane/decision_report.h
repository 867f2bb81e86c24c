// The "decision" of a call in a run report: what the class told the decision
// observer it decided (corvane::Decision), with the figures it decided by and, for a class
// with a decision table, the condition of the row that held, taken from the
// class reference so that report and reference name rows alike. Used from the
// one thread that runs the command.
#pragma once

#include <string>

#include "corvane/decisions.h"
#include "values.h"

namespace corvane::cli {

// {"class", "method", "row", "condition", "outcome", "result", "figures"}; a
// figure is {"name", "symbol" (the table's letter, or null), "value"}.
Json DecisionJson(const Decision& decision);

// The text report's "Decision:" block for a call's "decision"; empty for null.
std::string DecisionText(const Json& decision);

}  // namespace corvane::cli
