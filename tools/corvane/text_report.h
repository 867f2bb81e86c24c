// The readable form of a run report: per call what it returned or raised (with
// the source chain), the task variables written, the DMS calls, what was stored,
// sent and logged, the DMS items it changed, and how its expectations fared.
#pragma once

#include <string>

#include "values.h"

namespace corvane::cli {

struct TextOptions {
  bool verbose = false;  // the whole journal, host calls included
};

std::string TextReport(const Json& report, const TextOptions& options);

}  // namespace corvane::cli
