// What `corvane run` prints besides the text report: the JSON report written
// as it is made, colour for a terminal, the closing summary line and the JUnit
// XML file for a CI server. Each is used from the one thread that runs the
// command.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "runner.h"

namespace corvane::cli {

// True when stdout is a terminal and NO_COLOR is unset or empty: colour codes
// in a file or a pipe only get in the way of whoever reads it next.
bool StdoutWantsColour();

// One line of the text report, painted when it is a PASS or FAIL line or
// announces failed expectations.
std::string ColourLine(const std::string& line);

// Writes one JSON document piece by piece, byte for byte as nlohmann's dump(2)
// writes the whole document, so that a report is never held whole.
//
// Typical usage:
//   JsonStream json(std::cout);
//   json.BeginObject();
//   json.BeginArray("scenarios");
//   json.Value(report);
//   json.End();
//   json.Value(status, "status");
//   json.End();
class JsonStream {
 public:
  explicit JsonStream(std::ostream& out) : out_(out) {}
  JsonStream(const JsonStream&) = delete;
  JsonStream& operator=(const JsonStream&) = delete;

  // `key` names the member inside an object and is ignored inside an array.
  void BeginObject(std::string_view key = {});
  void BeginArray(std::string_view key = {});
  void Value(const nlohmann::ordered_json& value, std::string_view key = {});
  // Closes the innermost object or array.
  void End();

 private:
  void Next(std::string_view key);

  struct Frame {
    bool object;
    size_t count;
  };
  std::ostream& out_;
  std::vector<Frame> frames_;
};

// Writes each report as one element of the array `json` is in.
class JsonReportSink final : public ReportSink {
 public:
  explicit JsonReportSink(JsonStream& json) : json_(json) {}

  void BeginReport(const nlohmann::ordered_json& head, const std::string& module) override;
  void BeginCall(const nlohmann::ordered_json& head) override;
  void Member(std::string_view key, const nlohmann::ordered_json& value) override;
  void BeginList(std::string_view key) override;
  void Element(const nlohmann::ordered_json& element) override;
  void EndList() override;
  void EndCall() override;
  void BeginEvent(const nlohmann::ordered_json& head) override;
  void EndEvent(const nlohmann::ordered_json& tail) override;
  void EndTimeline(const nlohmann::ordered_json& summary) override;
  void EndReport(const nlohmann::ordered_json& tail) override;

 private:
  JsonStream& json_;
  std::string module_;
  bool timeline_ = false;  // inside a workflow's events
};

// "scenarios: 3 passed, 1 failed" (and ", 2 could not run" when some could
// not be read or run), from the summaries of one run's reports (RunScenario's,
// or the error report of a scenario that could not run); coloured when asked.
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

  // One testcase per report summary; a failed expectation or a scenario that could not
  // run becomes its failure or error. Throws std::runtime_error when the file
  // cannot be completed; the temporary file is removed either way.
  void Write(const nlohmann::ordered_json& reports);

 private:
  std::filesystem::path path_, temporary_;
};

}  // namespace corvane::cli
