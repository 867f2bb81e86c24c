// A scenario's step configuration checked by its own class before anything runs:
// the scenario's locale, step, tasks and process given to the class's
// IActivityDesign::Check, and each finding placed back in the scenario file.
// `corvane check` prints them; `corvane run` shows them under WARNINGS.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "module_host.h"
#include "scenario.h"

namespace corvane::cli {

// The findings of the scenario's step class, each with "path": the place in the
// scenario file it is about ("tasks[0].parameters.MODE", "step.minapprovals").
// Throws HostError when the class answers no design-time interface.
std::vector<nlohmann::ordered_json> CheckStep(const Scenario& s, ModuleHost& host);

// "FILE:PATH: severity: message (suggestion: X)", one line per finding.
std::string FindingLine(const std::string& file, const nlohmann::ordered_json& finding);

}  // namespace corvane::cli
