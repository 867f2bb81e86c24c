// The HTML report of `corvane run --html FILE`: one page that holds its style
// sheet, its script and the very document `corvane run --json` prints, and draws
// the report in the reader's browser with nothing loaded from anywhere else.
// The page's own files are in tools/corvane/report/.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

#include "run_output.h"
#include "runner.h"

namespace corvane::cli {

// The page before and after the place of the report's data; built into the
// tool from tools/corvane/report/ (report_page.cc is generated).
extern const std::string_view kReportPageBeforeData;
extern const std::string_view kReportPageAfterData;

// Hands every piece of a report to two sinks, in the same order.
class BothSinks final : public ReportSink {
 public:
  BothSinks(ReportSink& first, ReportSink& second) : first_(first), second_(second) {}

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
  ReportSink& first_;
  ReportSink& second_;
};

// The page, written as the scenarios run through a temporary file beside it,
// so that a path that cannot be written is found before anything runs and a
// run that stops half way leaves no half page behind.
//
// Typical usage:
//   HtmlReportFile html(path);          // throws when path cannot be written
//   html.Begin(reports_so_far);         // once the module is loaded
//   BothSinks both(text_sink, html.sink());
//   ... RunScenario(scenario, host, both) ... html.json().Value(error_report) ...
//   html.Finish(status);
class HtmlReportFile {
 public:
  // Throws std::runtime_error naming the path when its directory is not writable.
  explicit HtmlReportFile(std::filesystem::path path);
  ~HtmlReportFile();
  HtmlReportFile(const HtmlReportFile&) = delete;
  HtmlReportFile& operator=(const HtmlReportFile&) = delete;

  // Writes the page up to the document's "scenarios" list and the reports
  // already made (of scenarios that could not be read).
  void Begin(const Json& reports);
  bool started() const { return started_; }
  // The document as `--json` writes it, inside the page.
  JsonStream& json() { return *json_; }
  ReportSink& sink() { return *sink_; }

  // Closes the document with `status`, ends the page and puts it in place.
  // Throws std::runtime_error when the file cannot be completed.
  void Finish(int status);

 private:
  // Writes JSON text so that it cannot end the script element that holds it:
  // every "<" (which JSON has only inside strings) is written as \u003c.
  class ScriptSafeBuffer final : public std::streambuf {
   public:
    explicit ScriptSafeBuffer(std::streambuf* out) : out_(out) {}

   protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;

   private:
    std::streambuf* out_;
  };

  std::filesystem::path path_, temporary_;
  std::ofstream file_;
  std::unique_ptr<ScriptSafeBuffer> safe_buffer_;
  std::unique_ptr<std::ostream> safe_;
  std::unique_ptr<JsonStream> json_;
  std::unique_ptr<JsonReportSink> sink_;
  bool started_ = false;
};

}  // namespace corvane::cli
