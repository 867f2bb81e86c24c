#include "text_report.h"

#include "commands.h"
#include "decision_report.h"
#include "run_output.h"

namespace corvane::cli {
namespace {

std::string Value(const Json& v) {
  if (!IsReportedVariant(v)) return v.dump();
  return v["text"].get<std::string>() + " (" + v["type"].get<std::string>() + ")";
}

std::string Ref(const Json& r) {
  if (r.is_null()) return "Nothing";
  return r["entity"].get<std::string>() + " " + std::to_string(r["id"].get<int32_t>()) + " (type " +
         std::to_string(r["typecode"].get<int32_t>()) + ")";
}

std::string Fields(const Json& fields) {
  std::string out;
  for (const auto& [name, value] : fields.items())
    out += (out.empty() ? "" : ", ") + name + " = " + value["text"].get<std::string>();
  return out.empty() ? "(no fields)" : out;
}

std::string Entity(const Json& e) {
  return e["entity"].get<std::string>() + " " + std::to_string(e["id"].get<int32_t>()) + ": " +
         Fields(e["fields"]);
}

// Which of the call's journal entries made a record, numbered as --verbose
// lists the journal.
std::string FromEntry(const Json& record) {
  return " (journal entry " + std::to_string(record["journal_entry"].get<size_t>()) + ")";
}

}  // namespace

// The heading of each list the text shows, and whether an empty list still
// gets a line ("Event log: none").
struct ListHeading {
  std::string_view key;
  std::string_view heading;
  bool show_empty;
};

constexpr ListHeading kListHeadings[] = {
    {"variable_writes", "Task variables written, in order", false},
    {"journal", "Every call the step made, in order", false},
    {"dms_calls", "DMS calls, in order", true},
    {"skipped", "Skipped: errors the step caught and went on past", false},
    {"operations", "Records-management operations", false},
    {"saves", "Entities saved", false},
    {"stored", "Records added", false},
    {"comments", "Comments", false},
    {"annotations", "Annotations", false},
    {"aces", "Access entries", false},
    {"labels", "Security labels applied", false},
    {"exports", "Exports", false},
    {"messages", "Messages", false},
    {"event_log", "Event log", true},
    {"files", "Files in the sandbox", false},
    {"items_changed", "DMS items changed", false},
};

namespace {

// One element of a list as its numbered line shows it.
std::string ElementLine(std::string_view key, const Json& x) {
  if (key == "variable_writes")
    return x["name"].get<std::string>() + " = " + Value(x["value"]) + " on " +
           x["owner"].get<std::string>();
  if (key == "journal") return x["text"].get<std::string>();
  if (key == "dms_calls" || key == "event_log" || key == "files") return x.get<std::string>();
  if (key == "skipped") {
    const Json& e = x["error"];
    std::string request = x["text"].get<std::string>();
    request = request.substr(0, request.find(" !! "));
    std::string s = x["item"].is_null()
                        ? request
                        : x["item"].get<std::string>() + " (" + x["op"].get<std::string>() + ")";
    s += ": error " + std::to_string(e["number"].get<int32_t>()) + ", " +
         e["description"].get<std::string>();
    std::string source = x["error_source"].get<std::string>();
    for (size_t at; (at = source.find("\r\n")) != std::string::npos;) source.replace(at, 2, " | ");
    if (!source.empty()) s += ", source " + source;
    return s;
  }
  if (key == "operations") {
    std::string s = x["op"].get<std::string>() + " " + Ref(x["item"]) + ", reason \"" +
                    x["reason"].get<std::string>() + "\"";
    if (x.contains("delete_child_items"))
      s += x["delete_child_items"].get<bool>() ? ", with child items" : ", without child items";
    return s;
  }
  if (key == "saves") return x["op"].get<std::string>() + " " + Entity(x["entity"]) + FromEntry(x);
  if (key == "stored") return Entity(x["entity"]) + FromEntry(x);
  if (key == "comments" || key == "annotations")
    return "on " + Ref(x["item"]) + ": " + Fields(x["entity"]["fields"]) + FromEntry(x);
  if (key == "aces")
    return Ref(x["principal"]) + " on " + Ref(x["item"]) + ": " + Fields(x["ace"]["fields"]) +
           FromEntry(x);
  if (key == "labels")
    return "\"" + x["name"].get<std::string>() + "\" " + Ref(x["label"]) + " on " + Ref(x["item"]);
  if (key == "exports") return Ref(x["item"]) + " to \"" + x["folder"].get<std::string>() + "\"";
  if (key == "messages") {
    std::string s =
        x["delivery"].get<std::string>() + " message " + std::to_string(x["id"].get<int>());
    for (const auto& [name, value] : x["properties"].items())
      s += "; " + name + " = " + value["text"].get<std::string>();
    for (const Json& r : x["recipients"])
      s += "; to " + r["name"]["text"].get<std::string>() + " <" +
           r["email"]["text"].get<std::string>() + ">";
    return s;
  }
  if (key == "items_changed") {
    std::string s = x["entity"].get<std::string>() + " " + std::to_string(x["id"].get<int32_t>()) +
                    " in database " + std::to_string(x["database"].get<int32_t>());
    if (!x["exists"].get<bool>()) return s + ": gone";
    std::string flags;
    for (const auto& [name, on] : x["flags"].items())
      flags += (flags.empty() ? "" : ", ") + name + (on.get<bool>() ? "" : " (cleared)");
    if (!flags.empty()) s += "; flags: " + flags;
    for (const auto& [name, change] : x["changed_fields"].items()) {
      s += "; " + name + ": ";
      s += change["before"].is_null() ? "(new)" : change["before"]["text"].get<std::string>();
      s += " -> " + change["after"]["text"].get<std::string>();
    }
    return s;
  }
  return x.dump();
}

}  // namespace

TextReportSink::TextReportSink(std::ostream& out, const TextOptions& options)
    : out_(out), options_(options) {}

void TextReportSink::Line(int indent, const std::string& text) {
  std::string line = std::string(indent, ' ') + Printable(text, true);
  if (!options_.colour) {
    out_ << line << "\n";
    return;
  }
  // A text may hold line breaks of its own; each line is painted by itself.
  size_t start = 0;
  while (true) {
    const size_t end = line.find('\n', start);
    out_ << ColourLine(line.substr(start, end == std::string::npos ? end : end - start)) << "\n";
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

void TextReportSink::BeginReport(const Json& report, const std::string& module) {
  scenario_ = report["scenario"].get<std::string>();
  Line(0, "== " + scenario_);
  if (!report["description"].get<std::string>().empty())
    Line(3, report["description"].get<std::string>());
  if (report.contains("steps")) {
    Line(3, "Workflow of " + std::to_string(report["steps"].size()) + " steps, through the " +
                report["registry"].get<std::string>() + " registry:");
    int n = 0;
    for (const Json& step : report["steps"]) {
      std::string next;
      for (const auto& [outcome, name] : step["next"].items())
        next += (next.empty() ? "" : ", ") + (outcome == "any" ? "" : outcome + " ") + "-> " +
                name.get<std::string>();
      Line(5, std::to_string(++n) + ". " + step["name"].get<std::string>() + ": " +
                  step["class"]["progid"].get<std::string>() + "; " +
                  (next.empty() ? "the instance ends after it" : next));
    }
  } else {
    const Json& c = report["class"];
    Line(3, "Class " + c["progid"].get<std::string>() + " " + c["clsid"].get<std::string>() +
                ", resolved by " + c["resolved_by"].get<std::string>() + " through the " +
                report["registry"].get<std::string>() + " registry");
  }
  Line(3, "Module " + module + "; locale " + report["locale"].get<std::string>() + "; clock " +
              (report["clock_fixed"].get<bool>() ? "fixed by the scenario" : "real time"));
  if (!report["warnings"].empty()) {
    Line(3, "WARNINGS (" + std::to_string(report["warnings"].size()) + "):");
    // The class's own findings keep their severity and suggestion, as `check` prints them.
    for (const Json& warning : report["warnings"]) {
      std::string line =
          warning.value("severity", "warning") + ": " + warning["message"].get<std::string>();
      const Json& suggestion = warning.value("suggestion", Json());
      if (warning.value("kind", "") == "check" && suggestion.is_string() &&
          !suggestion.get<std::string>().empty())
        line += " (suggestion: " + suggestion.get<std::string>() + ")";
      Line(5, line);
    }
  }
}

void TextReportSink::BeginCall(const Json& c) {
  std::string head = "-- Call " + std::to_string(c["index"].get<int>()) + ": " +
                     c["class"].get<std::string>() + "." + c["method"].get<std::string>();
  head += c.contains("task") ? "(task " + std::to_string(c["task"].get<int32_t>()) + ")" : "(step)";
  head += " at " + c["clock"]["iso"].get<std::string>();
  if (c.contains("step")) head += ", step \"" + c["step"].get<std::string>() + "\"";
  Line(0, "");
  Line(0, head);
  const Json& error = c["error"];
  if (error.is_null()) {
    Line(3, "Returned " + c["result"].dump());
  } else {
    Line(3, "Raised error " + std::to_string(error["number"].get<int32_t>()) + " (" +
                error["hex"].get<std::string>() + "): " + error["description"].get<std::string>());
    if (error.contains("while")) Line(3, "while " + error["while"].get<std::string>());
    Line(3, "Source chain, innermost first:");
    for (const Json& part : error["chain"]) Line(5, part.get<std::string>());
  }
  // The block is indented and ended already, one line at a time.
  if (c.contains("decision")) {
    const std::string block = DecisionText(c["decision"]);
    for (size_t start = 0; start < block.size();) {
      size_t end = block.find('\n', start);
      if (end == std::string::npos) end = block.size();
      Line(0, block.substr(start, end - start));
      start = end + 1;
    }
  }
  held_references_.clear();
}

void TextReportSink::BeginList(std::string_view key) {
  list_key_ = key;
  list_count_ = 0;
  list_heading_ = nullptr;
  if ((key == "journal" && !options_.verbose) || (key == "dms_calls" && options_.verbose)) return;
  for (const ListHeading& h : kListHeadings)
    if (h.key == key) list_heading_ = &h;
}

void TextReportSink::Element(const Json& element) {
  // References still held come after the items changed, though the JSON lists
  // them before; there are never many.
  if (list_key_ == "held_references") held_references_.push_back(element.get<std::string>());
  if (!list_heading_) return;
  if (list_count_ == 0) Line(3, std::string(list_heading_->heading) + ":");
  Line(5, std::to_string(++list_count_) + ". " + ElementLine(list_key_, element));
}

void TextReportSink::EndList() {
  if (list_heading_ && list_count_ == 0 && list_heading_->show_empty)
    Line(3, std::string(list_heading_->heading) + ": none");
  list_heading_ = nullptr;
  list_key_.clear();
}

void TextReportSink::Member(std::string_view key, const Json& value) {
  if (key != "expectations") return;
  if (held_references_.empty()) {
    Line(3, "References still held: none");
  } else {
    Line(3, "References still held:");
    int n = 0;
    for (const std::string& h : held_references_) Line(5, std::to_string(++n) + ". " + h);
  }
  Expectations(value, "Expectations");
}

void TextReportSink::Expectations(const Json& ex, const std::string& what) {
  if (ex["checked"].empty() && ex["failures"].empty()) {
    Line(3, what + ": none");
    return;
  }
  std::string checked;
  for (const Json& k : ex["checked"])
    checked += (checked.empty() ? "" : ", ") + k.get<std::string>();
  if (ex["failures"].empty()) {
    Line(3, what + " (" + checked + "): all hold");
    return;
  }
  Line(3, "EXPECTATIONS FAILED (" + std::to_string(ex["failures"].size()) + "):");
  for (const Json& f : ex["failures"]) {
    auto text = [](const Json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); };
    Line(5, f["what"].get<std::string>());
    Line(7, "expected: " + text(f["expected"]));
    Line(7, "actual:   " + text(f["actual"]));
  }
}

void TextReportSink::EndCall() {}

void TextReportSink::BeginEvent(const Json& e) {
  Line(0, "");
  Line(0, "=== Event " + e["index"].dump() + " at " + e["time"].get<std::string>() + ": " +
              e["title"].get<std::string>());
}

void TextReportSink::EndEvent(const Json& tail) {
  const std::string state = tail["state"].get<std::string>();
  Line(0, "");
  Line(3, "Instance: " + state +
              (tail["current_step"].is_null()
                   ? std::string()
                   : " at step \"" + tail["current_step"].get<std::string>() + "\""));
  if (!tail["expectations"]["checked"].empty())
    Expectations(tail["expectations"], "Expectations of the instance");
}

void TextReportSink::EndTimeline(const Json& s) {
  Line(0, "");
  Line(0, "== Workflow summary");
  Line(3, "Steps run: " + s["steps_run"].dump() + "; decisions: " +
              std::to_string(s["decisions"].size()) + "; messages: " + s["messages"].dump() +
              "; jobs: " + s["jobs"].dump() + "; DMS items changed: " + s["items_changed"].dump() +
              "; simulated time: " + s["elapsed"].get<std::string>());
  int n = 0;
  for (const Json& d : s["decisions"]) {
    std::string line = std::to_string(++n) + ". " + d["time"].get<std::string>() + " step \"" +
                       d["step"].get<std::string>() + "\": " + d["branch"].get<std::string>();
    if (d.contains("row")) line += " (row " + d["row"].dump() + ")";
    line += d["next"].is_null() ? ", no step follows"
                                : ", next \"" + d["next"].get<std::string>() + "\"";
    if (n == 1) Line(3, "Decisions:");
    Line(5, line);
  }
  std::string state = "Instance: " + s["state"].get<std::string>();
  if (!s["step"].is_null()) state += " at step \"" + s["step"].get<std::string>() + "\"";
  if (s.contains("stopped")) {
    const Json& stop = s["stopped"];
    state += " by error " + stop["error"]["number"].dump() + " (" +
             stop["error"]["description"].get<std::string>() + ") of step \"" +
             stop["step"].get<std::string>() + "\" in " + stop["method"].get<std::string>() +
             ", event " + stop["event"].dump();
  }
  Line(3, state);
}

void TextReportSink::EndReport(const Json& tail) {
  const Json& warnings = tail["call_warnings"];
  const Json& strict = tail["strict_failures"];
  if (!warnings.empty() || !strict.empty()) Line(0, "");
  if (!warnings.empty()) {
    Line(3, "WARNINGS about the calls (" + std::to_string(warnings.size()) + "):");
    for (const Json& w : warnings) Line(5, "warning: " + w["message"].get<std::string>());
  }
  if (!strict.empty()) {
    Line(3, "FAILED UNDER --strict (" + std::to_string(strict.size()) + "):");
    for (const Json& f : strict) Line(5, f.get<std::string>());
  }
  const bool passed = tail["passed"].get<bool>();
  Line(0, "");
  Line(0, (passed ? "PASS " : "FAIL ") + scenario_);
  out_.flush();
}

}  // namespace corvane::cli
