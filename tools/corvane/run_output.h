// What `corvane run` prints besides the reports themselves: colour for a
// terminal, the closing summary line and the JUnit XML file for a CI server.
// Each function is used from the one thread that runs the command.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

namespace corvane::cli {

// True when stdout is a terminal and NO_COLOR is unset or empty: colour codes
// in a file or a pipe only get in the way of whoever reads it next.
bool StdoutWantsColour();

// The text report with its PASS and FAIL lines and failed expectations in colour.
std::string ColourReport(const std::string& report);

// "scenarios: 3 passed, 1 failed" (and ", 2 could not run" when some could
// not be read or run), from the reports of one run; coloured when asked.
std::string SummaryLine(const nlohmann::ordered_json& reports, bool colour);

// A JUnit XML file written through a temporary file beside it, so that a path
// that cannot be written is found before anything runs and no half-written
// file is ever left behind.
class JunitFile {
 public:
  // Throws std::runtime_error naming the path when its directory is not writable.
  explicit JunitFile(std::filesystem::path path);
  ~JunitFile();
  JunitFile(const JunitFile&) = delete;
  JunitFile& operator=(const JunitFile&) = delete;

  // One testcase per report; a failed expectation or a scenario that could not
  // run becomes its failure or error. Throws std::runtime_error when the file
  // cannot be completed; the temporary file is removed either way.
  void Write(const nlohmann::ordered_json& reports);

 private:
  std::filesystem::path path_, temporary_;
};

}  // namespace corvane::cli
