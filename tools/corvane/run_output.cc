#include "run_output.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <pugixml.hpp>
#include <stdexcept>
#include <system_error>

#include "portable.h"

namespace corvane::cli {
namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

constexpr const char* kGreen = "\033[32m";
constexpr const char* kRed = "\033[1;31m";
constexpr const char* kYellow = "\033[33m";
constexpr const char* kReset = "\033[0m";

std::string Paint(const std::string& text, const char* colour) {
  return std::string(colour) + text + kReset;
}

std::string Text(const Json& value) {
  return value.is_string() ? value.get<std::string>() : value.dump();
}

// The failed expectations of a report, one per line, each naming its call.
std::string FailureLines(const Json& report, size_t& count) {
  std::string lines;
  count = 0;
  if (!report.contains("calls")) return lines;
  for (const Json& call : report["calls"]) {
    if (!call.contains("expectations")) continue;
    for (const Json& failure : call["expectations"]["failures"]) {
      ++count;
      lines += "call " + Text(call["index"]) + " (" + Text(call["method"]) +
               "): " + Text(failure["what"]) + ": expected " + Text(failure["expected"]) +
               ", actual " + Text(failure["actual"]) + "\n";
    }
  }
  return lines;
}

// The <failure> of a failed scenario: its failed expectations, then what
// --strict failed it for.
void AppendFailure(pugi::xml_node testcase, const Json& report) {
  size_t count = 0;
  std::string lines = FailureLines(report, count);
  std::string message = count ? std::to_string(count) + " expectation(s) failed" : "";
  const Json strict = report.value("strict_failures", Json::array());
  for (const Json& f : strict) lines += "--strict: " + Text(f) + "\n";
  if (!strict.empty())
    message += (message.empty() ? "" : "; ") + std::string("--strict: ") +
               std::to_string(strict.size()) + " problem(s)";
  pugi::xml_node node = testcase.append_child("failure");
  node.append_attribute("message") = message.c_str();
  node.append_attribute("type") = count ? "expectation" : "strict";
  node.text() = lines.c_str();
}

}  // namespace

bool StdoutWantsColour() {
  const char* no_colour = std::getenv("NO_COLOR");
  if (no_colour != nullptr && *no_colour != '\0') return false;
  return StdoutIsTerminal();
}

std::string ColourLine(const std::string& line) {
  if (line.starts_with("PASS ")) return Paint(line, kGreen);
  if (line.starts_with("FAIL ") || line.find("EXPECTATIONS FAILED") != std::string::npos ||
      line.find("FAILED UNDER --strict") != std::string::npos)
    return Paint(line, kRed);
  return line;
}

void JsonStream::Next(std::string_view key) {
  if (frames_.empty()) return;
  Frame& frame = frames_.back();
  out_ << (frame.count++ == 0 ? "\n" : ",\n") << std::string(frames_.size() * 2, ' ');
  if (frame.object) out_ << Json(key).dump() << ": ";
}

void JsonStream::BeginObject(std::string_view key) {
  Next(key);
  out_ << '{';
  frames_.push_back({true, 0});
}

void JsonStream::BeginArray(std::string_view key) {
  Next(key);
  out_ << '[';
  frames_.push_back({false, 0});
}

void JsonStream::Value(const Json& value, std::string_view key) {
  Next(key);
  std::string text = value.dump(2);
  if (!frames_.empty() && text.find('\n') != std::string::npos) {
    // A line break inside a dump is always one between members: texts escape theirs.
    const std::string indent = "\n" + std::string(frames_.size() * 2, ' ');
    std::string indented;
    indented.reserve(text.size() + text.size() / 8);
    for (char c : text) {
      if (c == '\n')
        indented += indent;
      else
        indented += c;
    }
    text = std::move(indented);
  }
  out_ << text;
}

void JsonStream::End() {
  const Frame frame = frames_.back();
  frames_.pop_back();
  if (frame.count != 0) out_ << "\n" << std::string(frames_.size() * 2, ' ');
  out_ << (frame.object ? '}' : ']');
}

void JsonReportSink::BeginReport(const Json& head, const std::string& module) {
  module_ = module;
  json_.BeginObject();
  for (const auto& [key, value] : head.items()) json_.Value(value, key);
  json_.BeginArray("calls");
}

void JsonReportSink::BeginCall(const Json& head) {
  json_.BeginObject();
  for (const auto& [key, value] : head.items()) json_.Value(value, key);
}

void JsonReportSink::Member(std::string_view key, const Json& value) { json_.Value(value, key); }

void JsonReportSink::BeginList(std::string_view key) { json_.BeginArray(key); }

void JsonReportSink::Element(const Json& element) { json_.Value(element); }

void JsonReportSink::EndList() { json_.End(); }

void JsonReportSink::EndCall() { json_.End(); }

// A workflow's report closes the (empty) "calls" list and holds its calls in
// "workflow": {"events": [{... "calls": [...] ...}], "summary": {...}}.
void JsonReportSink::BeginEvent(const Json& head) {
  if (!timeline_) {
    json_.End();  // calls
    json_.BeginObject("workflow");
    json_.BeginArray("events");
    timeline_ = true;
  }
  json_.BeginObject();
  for (const auto& [key, value] : head.items()) json_.Value(value, key);
  json_.BeginArray("calls");
}

void JsonReportSink::EndEvent(const Json& tail) {
  json_.End();  // calls
  for (const auto& [key, value] : tail.items()) json_.Value(value, key);
  json_.End();
}

void JsonReportSink::EndTimeline(const Json& summary) {
  json_.End();  // events
  json_.Value(summary, "summary");
  json_.End();  // workflow
}

void JsonReportSink::EndReport(const Json& tail) {
  if (!timeline_) json_.End();  // calls
  timeline_ = false;
  json_.Value(module_, "module");
  for (const auto& [key, value] : tail.items()) json_.Value(value, key);
  json_.End();
}

std::string SummaryLine(const Json& reports, bool colour) {
  int passed = 0, failed = 0, not_run = 0;
  for (const Json& report : reports) {
    if (report.contains("error"))
      ++not_run;
    else if (report["passed"].get<bool>())
      ++passed;
    else
      ++failed;
  }
  std::string passed_text = std::to_string(passed) + " passed";
  std::string failed_text = std::to_string(failed) + " failed";
  std::string not_run_text = not_run ? std::to_string(not_run) + " could not run" : "";
  if (colour) {
    if (passed) passed_text = Paint(passed_text, kGreen);
    if (failed) failed_text = Paint(failed_text, kRed);
    if (not_run) not_run_text = Paint(not_run_text, kYellow);
  }
  return "scenarios: " + passed_text + ", " + failed_text +
         (not_run ? ", " + not_run_text : std::string()) + "\n";
}

JunitFile::JunitFile(fs::path path) : path_(std::move(path)) {
  if (path_.empty()) throw std::runtime_error("--junit needs a file name");
  temporary_ = path_;
  temporary_ += ".tmp-" + std::to_string(ProcessId());
  std::ofstream probe(temporary_, std::ios::binary | std::ios::trunc);
  if (!probe)
    throw std::runtime_error("cannot write the JUnit file " + Utf8Of(path_) +
                             ": its directory does not exist or is not writable");
}

JunitFile::~JunitFile() {
  std::error_code ignored;
  fs::remove(temporary_, ignored);
}

void JunitFile::Write(const Json& reports) {
  pugi::xml_document document;
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  pugi::xml_node suites = document.append_child("testsuites");
  pugi::xml_node suite = suites.append_child("testsuite");
  suite.append_attribute("name") = "corvane";
  int failures = 0, errors = 0, tests = 0;
  for (const Json& report : reports) {
    ++tests;
    const std::string scenario = report["scenario"].get<std::string>();
    pugi::xml_node testcase = suite.append_child("testcase");
    // The scenario's directory is its class name, so that CI servers group
    // scenarios as the examples/ tree does.
    const std::string directory = Utf8Of(PathOfUtf8(scenario).parent_path(), true);
    testcase.append_attribute("classname") = directory.empty() ? "." : directory.c_str();
    testcase.append_attribute("name") = scenario.c_str();
    if (report.contains("error")) {
      ++errors;
      const Json& error = report["error"];
      std::string message = Text(error["message"]);
      if (!Text(error["place"]).empty()) message = "at " + Text(error["place"]) + ": " + message;
      pugi::xml_node node = testcase.append_child("error");
      node.append_attribute("message") = message.c_str();
      node.append_attribute("type") = "scenario";
      node.text() = message.c_str();
      continue;
    }
    if (report.contains("cases")) {
      // A workflow: its steps and expect blocks are cases of their own, and
      // the scenario's case fails only under --strict.
      for (const Json& c : report["cases"]) {
        pugi::xml_node step = suite.insert_child_before("testcase", testcase);
        step.append_attribute("classname") = scenario.c_str();
        step.append_attribute("name") = Text(c["name"]).c_str();
        ++tests;
        if (c.contains("failure")) {
          ++failures;
          pugi::xml_node node = step.append_child("failure");
          node.append_attribute("message") = Text(c["name"]).c_str();
          node.append_attribute("type") = "expectation";
          node.text() = Text(c["failure"]).c_str();
        } else if (c.contains("skipped")) {
          step.append_child("skipped").append_attribute("message") = Text(c["skipped"]).c_str();
        }
      }
      if (!report.value("strict_failures", Json::array()).empty()) {
        ++failures;
        AppendFailure(testcase, report);
      }
    } else if (!report["passed"].get<bool>()) {
      ++failures;
      AppendFailure(testcase, report);
    }
    // A CI server shows a case's output also when it passes: the warnings go there.
    std::string warnings;
    for (const Json& w : report.value("call_warnings", Json::array()))
      warnings += "warning: " + Text(w["message"]) + "\n";
    if (!warnings.empty()) testcase.append_child("system-out").text() = warnings.c_str();
  }
  for (pugi::xml_node node : {suites, suite}) {
    node.append_attribute("tests") = tests;
    node.append_attribute("failures") = failures;
    node.append_attribute("errors") = errors;
  }
  {
    std::ofstream out(temporary_, std::ios::binary | std::ios::trunc);
    document.save(out, "  ");
    out.close();
    if (!out) throw std::runtime_error("cannot write the JUnit file " + Utf8Of(path_));
  }
  std::error_code ec;
  fs::rename(temporary_, path_, ec);
  if (ec)
    throw std::runtime_error("cannot write the JUnit file " + Utf8Of(path_) + ": " + ec.message());
}

}  // namespace corvane::cli
