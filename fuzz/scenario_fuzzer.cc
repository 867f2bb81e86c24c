// The scenario reader on arbitrary text. A scenario that cannot be read must
// fail with ScenarioError (a place and a message that is valid UTF-8, as the
// JSON report prints it); anything else escaping, a crash or a sanitizer
// finding is a defect. A scenario that is read must name its class and calls.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 64 * 1024) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    corvane::cli::Scenario s = corvane::cli::ParseScenario(text, "fuzz.json");
    if (s.step_class.name.empty() || s.calls.empty()) std::abort();
  } catch (const corvane::cli::ScenarioError& e) {
    // The JSON report carries the place and the message; dump() throws on
    // invalid UTF-8, which would lose the error.
    corvane::cli::Json error = {{"place", e.place()}, {"message", e.what()}};
    (void)error.dump();
  }
  return 0;
}
