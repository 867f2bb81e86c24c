// A scenario's step configuration in the form a class's IActivityDesign::Check
// reads: the locale, the step's parameters and figures, each task's parameters
// and variables, and the process's item list and variables, values in the
// scenario file's own typed forms.
#pragma once

#include <nlohmann/json.hpp>

#include "scenario.h"

namespace corvane::cli {

nlohmann::ordered_json ConfigurationOf(const Scenario& s);

}  // namespace corvane::cli
