// A scenario's step configuration in the form a class's IActivityDesign::Check
// reads: the locale, the step's parameters and figures, each task's parameters
// and variables, and the process's item list and variables, values in the
// scenario file's own typed forms. A scenario of several classes gives each
// class the part it reads.
#pragma once

#include <nlohmann/json.hpp>

#include "scenario.h"

namespace corvane::cli {

// The part of the scenario class `c` reads: the tasks its calls name (or every
// task no call names), and the step's parameters and counts when it reads the step.
nlohmann::ordered_json ConfigurationOf(const Scenario& s, const ClassRef& c);

}  // namespace corvane::cli
