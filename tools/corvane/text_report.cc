#include "text_report.h"

#include <sstream>

#include "decision_report.h"

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

class Writer {
 public:
  void Line(int indent, const std::string& text) {
    out_ << std::string(indent, ' ') << text << "\n";
  }
  // A heading and one line per element; nothing when the list is empty.
  template <class F>
  void List(const std::string& heading, const Json& list, F line, bool show_empty = false) {
    if (list.empty()) {
      if (show_empty) Line(3, heading + ": none");
      return;
    }
    Line(3, heading + ":");
    int n = 0;
    for (const Json& e : list) Line(5, std::to_string(++n) + ". " + line(e));
  }
  // Text already indented and ended, line by line.
  void Raw(const std::string& lines) { out_ << lines; }
  std::string str() const { return out_.str(); }

 private:
  std::ostringstream out_;
};

void Call(Writer& w, const Json& c, const TextOptions& options) {
  std::string head = "-- Call " + std::to_string(c["index"].get<int>()) + ": " +
                     c["class"].get<std::string>() + "." + c["method"].get<std::string>();
  head += c.contains("task") ? "(task " + std::to_string(c["task"].get<int32_t>()) + ")" : "(step)";
  head += " at " + c["clock"]["iso"].get<std::string>();
  w.Line(0, "");
  w.Line(0, head);
  const Json& error = c["error"];
  if (error.is_null()) {
    w.Line(3, "Returned " + c["result"].dump());
  } else {
    w.Line(3, "Raised error " + std::to_string(error["number"].get<int32_t>()) + " (" +
                  error["hex"].get<std::string>() +
                  "): " + error["description"].get<std::string>());
    w.Line(3, "Source chain, innermost first:");
    for (const Json& part : error["chain"]) w.Line(5, part.get<std::string>());
  }
  if (c.contains("decision")) w.Raw(DecisionText(c["decision"]));
  w.List("Task variables written, in order", c["variable_writes"], [](const Json& x) {
    return x["name"].get<std::string>() + " = " + Value(x["value"]) + " on " +
           x["owner"].get<std::string>();
  });
  if (options.verbose) {
    w.List("Every call the step made, in order", c["journal"],
           [](const Json& x) { return x["text"].get<std::string>(); });
  } else {
    w.List(
        "DMS calls, in order", c["dms_calls"], [](const Json& x) { return x.get<std::string>(); },
        true);
  }
  w.List("Skipped: errors the step caught and went on past", c["skipped"], [](const Json& x) {
    const Json& e = x["error"];
    std::string request = x["text"].get<std::string>();
    request = request.substr(0, request.find(" !! "));
    std::string s = x["item"].is_null()
                        ? request
                        : x["item"].get<std::string>() + " (" + x["op"].get<std::string>() + ")";
    s += ": error " + std::to_string(e["number"].get<int32_t>()) + ", " +
         e["description"].get<std::string>();
    std::string source = e.contains("source") ? e["source"].get<std::string>() : "";
    for (size_t at; (at = source.find("\r\n")) != std::string::npos;) source.replace(at, 2, " | ");
    if (!source.empty()) s += ", source " + source;
    return s;
  });
  w.List("Records-management operations", c["operations"], [](const Json& x) {
    std::string s = x["op"].get<std::string>() + " " + Ref(x["item"]) + ", reason \"" +
                    x["reason"].get<std::string>() + "\"";
    if (x.contains("delete_child_items"))
      s += x["delete_child_items"].get<bool>() ? ", with child items" : ", without child items";
    return s;
  });
  w.List("Entities saved", c["saves"],
         [](const Json& x) { return x["op"].get<std::string>() + " " + Entity(x["entity"]); });
  w.List("Records added", c["stored"], [](const Json& x) { return Entity(x["entity"]); });
  w.List("Comments", c["comments"], [](const Json& x) {
    return "on " + Ref(x["item"]) + ": " + Fields(x["entity"]["fields"]);
  });
  w.List("Annotations", c["annotations"], [](const Json& x) {
    return "on " + Ref(x["item"]) + ": " + Fields(x["entity"]["fields"]);
  });
  w.List("Access entries", c["aces"], [](const Json& x) {
    return Ref(x["principal"]) + " on " + Ref(x["item"]) + ": " + Fields(x["ace"]["fields"]);
  });
  w.List("Security labels applied", c["labels"], [](const Json& x) {
    return "\"" + x["name"].get<std::string>() + "\" " + Ref(x["label"]) + " on " + Ref(x["item"]);
  });
  w.List("Exports", c["exports"], [](const Json& x) {
    return Ref(x["item"]) + " to \"" + x["folder"].get<std::string>() + "\"";
  });
  w.List("Messages", c["messages"], [](const Json& x) {
    std::string s =
        x["delivery"].get<std::string>() + " message " + std::to_string(x["id"].get<int>());
    for (const auto& [name, value] : x["properties"].items())
      s += "; " + name + " = " + value["text"].get<std::string>();
    for (const Json& r : x["recipients"])
      s += "; to " + r["name"]["text"].get<std::string>() + " <" +
           r["email"]["text"].get<std::string>() + ">";
    return s;
  });
  if (c.contains("files"))
    w.List("Files in the sandbox", c["files"], [](const Json& x) { return x.get<std::string>(); });
  w.List(
      "Event log", c["event_log"], [](const Json& x) { return x.get<std::string>(); }, true);
  w.List("DMS items changed", c["items_changed"], [](const Json& x) {
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
  });
  w.List(
      "References still held", c["held_references"],
      [](const Json& x) { return x.get<std::string>(); }, true);

  const Json& ex = c["expectations"];
  if (ex["checked"].empty() && ex["failures"].empty()) {
    w.Line(3, "Expectations: none");
    return;
  }
  std::string checked;
  for (const Json& k : ex["checked"])
    checked += (checked.empty() ? "" : ", ") + k.get<std::string>();
  if (ex["failures"].empty()) {
    w.Line(3, "Expectations (" + checked + "): all hold");
    return;
  }
  w.Line(3, "EXPECTATIONS FAILED (" + std::to_string(ex["failures"].size()) + "):");
  for (const Json& f : ex["failures"]) {
    auto text = [](const Json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); };
    w.Line(5, f["what"].get<std::string>());
    w.Line(7, "expected: " + text(f["expected"]));
    w.Line(7, "actual:   " + text(f["actual"]));
  }
}

}  // namespace

std::string TextReport(const Json& report, const TextOptions& options) {
  Writer w;
  w.Line(0, "== " + report["scenario"].get<std::string>());
  if (!report["description"].get<std::string>().empty())
    w.Line(3, report["description"].get<std::string>());
  const Json& c = report["class"];
  w.Line(3, "Class " + c["progid"].get<std::string>() + " " + c["clsid"].get<std::string>() +
                ", resolved by " + c["resolved_by"].get<std::string>() + " through the " +
                report["registry"].get<std::string>() + " registry");
  w.Line(3, "Module " + report["module"].get<std::string>() + "; locale " +
                report["locale"].get<std::string>() + "; clock " +
                (report["clock_fixed"].get<bool>() ? "fixed by the scenario" : "real time"));
  if (!report["warnings"].empty()) {
    w.Line(3, "WARNINGS (" + std::to_string(report["warnings"].size()) + "):");
    for (const Json& warning : report["warnings"])
      w.Line(5, "warning: " + warning["message"].get<std::string>());
  }
  for (const Json& call : report["calls"]) Call(w, call, options);
  w.Line(0, "");
  w.Line(0, report["passed"].get<bool>() ? "PASS " + report["scenario"].get<std::string>()
                                         : "FAIL " + report["scenario"].get<std::string>());
  return w.str();
}

}  // namespace corvane::cli
