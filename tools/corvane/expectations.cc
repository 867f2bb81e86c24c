#include "expectations.h"

#include <string>

namespace corvane::cli {
namespace {

using pelmark::Variant;

class Checker {
 public:
  explicit Checker(Json& failures) : failures_(failures) {}

  void Fail(const std::string& what, Json expected, Json actual) {
    failures_.push_back(
        {{"what", what}, {"expected", std::move(expected)}, {"actual", std::move(actual)}});
  }

  // A value written in the scenario against a value the report holds.
  void Value(const std::string& what, const Json& expected, const Json& actual) {
    if (!IsReportedVariant(actual)) return Fail(what, expected, actual);
    Variant want = ParseVariant(expected, what);
    Variant got = ReportedVariant(actual);
    if (!SameVariant(want, got))
      Fail(what, VariantText(want) + " (" + VariantTypeName(want) + ")",
           VariantText(got) + " (" + VariantTypeName(got) + ")");
  }

  // Expected objects match when every key they name matches (others are not
  // checked); lists match element by element and must be as long; values match
  // by kind and value.
  void Match(const std::string& what, const Json& expected, const Json& actual) {
    if (IsReportedVariant(actual) && (!expected.is_object() || IsTypedValue(expected)))
      return Value(what, expected, actual);
    if (expected.is_object()) {
      if (!actual.is_object()) return Fail(what, expected, actual);
      for (const auto& [key, value] : expected.items()) {
        if (!actual.contains(key)) {
          Fail(what + "." + key, value, "(absent)");
          continue;
        }
        Match(what + "." + key, value, actual.at(key));
      }
      return;
    }
    if (expected.is_array()) {
      if (!actual.is_array()) return Fail(what, expected, actual);
      if (expected.size() != actual.size()) {
        Fail(what + " (count)", expected.size(), actual.size());
        return;
      }
      for (size_t i = 0; i < expected.size(); ++i)
        Match(what + "[" + std::to_string(i) + "]", expected[i], actual[i]);
      return;
    }
    if (expected.is_number() && actual.is_number()) {
      if (expected.get<double>() != actual.get<double>()) Fail(what, expected, actual);
      return;
    }
    if (expected != actual) Fail(what, expected, actual);
  }

 private:
  Json& failures_;
};

std::string ErrorText(const Json& error) {
  if (error.is_null()) return "no error";
  return "error " + std::to_string(error["number"].get<int32_t>()) + ": " +
         error["description"].get<std::string>();
}

}  // namespace

Json CheckExpectations(const std::optional<Json>& expect, const Json& call) {
  Json result = {{"checked", Json::array()}, {"failures", Json::array()}};
  Json& failures = result["failures"];
  Checker check(failures);
  if (!call["held_references"].empty())
    check.Fail("held_references", Json::array(), call["held_references"]);
  if (!expect) return result;

  for (const auto& [key, value] : expect->items()) result["checked"].push_back(key);
  const Json& e = *expect;
  const Json& error = call["error"];
  if (e.contains("error")) {
    if (error.is_null()) {
      check.Fail("error", e["error"], "no error; the call returned " + call["result"].dump());
    } else {
      check.Match("error", e["error"], error);
    }
  } else if (!error.is_null()) {
    check.Fail("result", e.contains("result") ? e["result"] : Json("no error"), ErrorText(error));
  }
  if (e.contains("result") && error.is_null()) check.Match("result", e["result"], call["result"]);

  if (e.contains("variables")) {
    for (const auto& [name, value] : e["variables"].items()) {
      const Json& vars = call.contains("task_variables") ? call["task_variables"] : Json::object();
      if (!vars.contains(name)) {
        check.Fail("variables." + name, value, "(the task has no such variable)");
        continue;
      }
      check.Value("variables." + name, value, vars[name]);
    }
  }
  if (e.contains("writes")) {
    const Json& actual = call["variable_writes"];
    if (e["writes"].size() != actual.size()) {
      Json names = Json::array();
      for (const Json& w : actual) names.push_back(w["name"]);
      check.Fail("writes (count)", e["writes"].size(), names);
    } else {
      for (size_t i = 0; i < actual.size(); ++i)
        check.Match("writes[" + std::to_string(i) + "]", e["writes"][i], actual[i]);
    }
  }
  if (e.contains("journal_contains")) {
    // Each line must appear in the journal, in this order, others may come between.
    size_t at = 0;
    const Json& journal = call["journal"];
    for (const Json& line : e["journal_contains"]) {
      while (at < journal.size() && journal[at]["text"] != line) ++at;
      if (at == journal.size()) {
        check.Fail("journal_contains", line, "(not in the journal after the lines before it)");
        break;
      }
      ++at;
    }
  }
  for (const char* key :
       {"dms_calls", "event_log", "directories", "saves", "stored", "comments", "annotations",
        "aces", "labels", "operations", "exports", "messages", "jobs"})
    if (e.contains(key)) check.Match(key, e[key], call[key]);

  if (e.contains("items")) {
    for (const Json& want : e["items"]) {
      const Json* found = nullptr;
      for (const Json& item : call["items"])
        if (item["entity"] == want["entity"] && item["database"] == want["database"] &&
            item["id"] == want["id"])
          found = &item;
      std::string what = "items[" + want["entity"].get<std::string>() + " " +
                         std::to_string(want["id"].get<int32_t>()) + "]";
      if (!found) {
        check.Fail(what, want, "(not an item of the scenario's dms)");
        continue;
      }
      Json rest = want;
      rest.erase("entity");
      rest.erase("database");
      rest.erase("id");
      check.Match(what, rest, *found);
    }
  }
  return result;
}

}  // namespace corvane::cli
