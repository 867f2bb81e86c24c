// The readable form of a run report: per call what it returned or raised (with
// the source chain), the task variables written, the DMS calls, what was stored,
// sent and logged, the DMS items it changed, and how its expectations fared.
// Written line by line as the runner hands the report over, so that a report of
// any length costs no more memory than its longest line.
//
// Threading: used from the one thread that runs the scenario.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "runner.h"
#include "values.h"

namespace corvane::cli {

struct TextOptions {
  bool verbose = false;  // the whole journal, host calls included
  bool colour = false;   // PASS, FAIL and failed expectations in colour
};

struct ListHeading;

class TextReportSink final : public ReportSink {
 public:
  TextReportSink(std::ostream& out, const TextOptions& options);

  void BeginReport(const Json& head, const std::string& module) override;
  void BeginCall(const Json& head) override;
  void Member(std::string_view key, const Json& value) override;
  void BeginList(std::string_view key) override;
  void Element(const Json& element) override;
  void EndList() override;
  void EndCall() override;
  void BeginEvent(const Json& head) override;
  void EndEvent(const Json& tail) override;
  void EndTimeline(const Json& summary) override;
  void EndReport(const Json& tail) override;

 private:
  void Line(int indent, const std::string& text);
  void Expectations(const Json& expectations, const std::string& what);

  std::ostream& out_;
  TextOptions options_;
  std::string scenario_;
  std::string list_key_;
  const ListHeading* list_heading_ = nullptr;  // null: the list is not shown
  int list_count_ = 0;
  std::vector<std::string> held_references_;
};

}  // namespace corvane::cli
