#include "expectations.h"

#include <string>
#include <string_view>
#include <vector>

#include "json_reader.h"

namespace corvane::cli {
namespace {

using pelmark::Variant;

// How an expectation is written and checked.
enum class Shape {
  kResult,        // a number; checked together with "error"
  kError,         // {"number", "hex", "description", "source", "chain"}
  kVariables,     // task variable names to values
  kWrites,        // [{"owner", "name", "value"}], exactly, in order
  kJournalLines,  // journal lines that appear in this order among others
  kLines,         // texts matched with the report's list of the same name
  kRecords,       // objects matched with the report's list of the same name
  kItems,         // DMS items found by entity, database and id
  kDecision,      // {"row", "outcome", "figures": {name: value}} of the call's decision
};

struct ExpectationKey {
  std::string_view name;
  Shape shape;
};

// Every key an expect block may hold, in the order they are checked (and so
// the order their failures are reported in).
constexpr ExpectationKey kExpectationKeys[] = {
    {"result", Shape::kResult},
    {"error", Shape::kError},
    {"variables", Shape::kVariables},
    {"writes", Shape::kWrites},
    {"journal_contains", Shape::kJournalLines},
    {"dms_calls", Shape::kLines},
    {"event_log", Shape::kLines},
    {"directories", Shape::kLines},
    {"files", Shape::kLines},
    {"saves", Shape::kRecords},
    {"stored", Shape::kRecords},
    {"comments", Shape::kRecords},
    {"annotations", Shape::kRecords},
    {"aces", Shape::kRecords},
    {"labels", Shape::kRecords},
    {"operations", Shape::kRecords},
    {"exports", Shape::kRecords},
    {"messages", Shape::kRecords},
    {"jobs", Shape::kRecords},
    {"items", Shape::kItems},
    {"decision", Shape::kDecision},
};

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
      const MemberIndex members(actual);
      for (const auto& [key, value] : expected.items()) {
        if (const Json* member = members.Find(key))
          Match(what + "." + key, value, *member);
        else
          Fail(what + "." + key, value, "(absent)");
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

// An expected DMS item against the item of the same entity, database and id.
void CheckItem(Checker& check, const Json& want, const Json& items) {
  const Json* found = nullptr;
  for (const Json& item : items)
    if (item["entity"] == want["entity"] && item["database"] == want["database"] &&
        item["id"] == want["id"])
      found = &item;
  std::string what = "items[" + want["entity"].get<std::string>() + " " + want["id"].dump() + "]";
  if (!found) return check.Fail(what, want, "(not an item of the scenario's dms)");
  Json rest = want;
  rest.erase("entity");
  rest.erase("database");
  rest.erase("id");
  check.Match(what, rest, *found);
}

// An expected decision against the one the call's class explained.
void CheckDecision(Checker& check, const Json& want, const Json& actual) {
  if (actual.is_null()) return check.Fail("decision", want, "(the call explained no decision)");
  for (const char* key : {"row", "outcome"})
    if (want.contains(key)) check.Match(std::string("decision.") + key, want[key], actual[key]);
  if (!want.contains("figures")) return;
  for (const auto& [name, value] : want["figures"].items()) {
    const Json* found = nullptr;
    for (const Json& figure : actual["figures"])
      if (figure["name"] == name) found = &figure;
    if (!found)
      check.Fail("decision.figures." + name, value, "(the decision has no such figure)");
    else
      check.Value("decision.figures." + name, value, (*found)["value"]);
  }
}

std::string ErrorText(const Json& error) {
  if (error.is_null()) return "no error";
  return "error " + std::to_string(error["number"].get<int32_t>()) + ": " +
         error["description"].get<std::string>();
}

// "result" and "error" together: each decides what the other means.
void CheckOutcome(Checker& check, const Json& e, const Json& call) {
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
}

void CheckVariables(Checker& check, const Json& want, const Json& call) {
  static const Json kNone = Json::object();
  const MemberIndex variables(call.contains("task_variables") ? call["task_variables"] : kNone);
  for (const auto& [variable, value] : want.items()) {
    if (const Json* actual = variables.Find(variable))
      check.Value("variables." + variable, value, *actual);
    else
      check.Fail("variables." + variable, value, "(the task has no such variable)");
  }
}

void CheckWrites(Checker& check, const Json& want, const Json& actual) {
  if (want.size() != actual.size()) {
    Json names = Json::array();
    for (const Json& w : actual) names.push_back(w["name"]);
    return check.Fail("writes (count)", want.size(), names);
  }
  for (size_t i = 0; i < actual.size(); ++i)
    check.Match("writes[" + std::to_string(i) + "]", want[i], actual[i]);
}

// Each line must appear in the journal, in this order; others may come between.
void CheckJournalLines(Checker& check, const std::string& name, const Json& want,
                       const Json& journal) {
  size_t at = 0;
  for (const Json& line : want) {
    while (at < journal.size() && journal[at]["text"] != line) ++at;
    if (at == journal.size())
      return check.Fail(name, line, "(not in the journal after the lines before it)");
    ++at;
  }
}

// One key of an expect block other than "result" and "error".
void CheckKey(Checker& check, const ExpectationKey& key, const Json& want, const Json& call) {
  const std::string name(key.name);
  switch (key.shape) {
    case Shape::kResult:
    case Shape::kError:
      break;  // CheckOutcome's
    case Shape::kVariables:
      CheckVariables(check, want, call);
      break;
    case Shape::kWrites:
      CheckWrites(check, want, call["variable_writes"]);
      break;
    case Shape::kJournalLines:
      CheckJournalLines(check, name, want, call["journal"]);
      break;
    case Shape::kLines:
    case Shape::kRecords:
      check.Match(name, want, call[name]);
      break;
    case Shape::kItems:
      for (const Json& item : want) CheckItem(check, item, call["items"]);
      break;
    case Shape::kDecision:
      CheckDecision(check, want, call["decision"]);
      break;
  }
}

}  // namespace

void ValidateExpect(const Json& expect, const std::string& place) {
  Node node(expect, place);
  std::vector<std::string_view> names;
  for (const ExpectationKey& key : kExpectationKeys) names.push_back(key.name);
  node.Keys(names);
  for (const ExpectationKey& key : kExpectationKeys) {
    if (!node.Has(key.name)) continue;
    const Node value = node.At(key.name);
    switch (key.shape) {
      case Shape::kResult:
        value.Int();
        break;
      case Shape::kError:
        value.Keys({"number", "hex", "description", "source", "chain"});
        if (value.Has("number")) value.At("number").Int();
        if (value.Has("description")) value.At("description").Text();
        if (value.Has("hex")) value.At("hex").Text();
        if (value.Has("source")) value.At("source").Text();
        if (value.Has("chain"))
          for (const Node& line : value.At("chain").List()) line.Text();
        break;
      case Shape::kVariables:
        for (auto& [name, v] : value.Members("variable names to values")) v.Value();
        break;
      case Shape::kWrites:
        for (const Node& w : value.List()) {
          w.Keys({"owner", "name", "value"});
          w.At("name").Text();
          w.At("value").Value();
        }
        break;
      case Shape::kJournalLines:
      case Shape::kLines:
        for (const Node& line : value.List()) line.Text();
        break;
      case Shape::kRecords:
        value.List();
        break;
      case Shape::kItems:
        for (const Node& item : value.List()) {
          item.Keys(
              {"entity", "database", "id", "typecode", "exists", "fields", "flags", "labels"});
          item.At("entity").Text();
          item.At("database").Int();
          item.At("id").Int();
          if (item.Has("fields"))
            for (auto& [name, v] : item.At("fields").Members("field names to values")) v.Value();
        }
        break;
      case Shape::kDecision:
        value.Keys({"row", "outcome", "figures"});
        if (value.Has("row")) value.At("row").Int();
        if (value.Has("outcome")) value.At("outcome").Text();
        if (value.Has("figures"))
          for (auto& [name, v] : value.At("figures").Members("figure names to values")) v.Value();
        break;
    }
  }
}

Json CheckExpectations(const std::optional<Json>& expect, const Json& call) {
  Json result = {{"checked", Json::array()}, {"failures", Json::array()}};
  Checker check(result["failures"]);
  if (!call["held_references"].empty())
    check.Fail("held_references", Json::array(), call["held_references"]);
  if (!expect) return result;

  for (const auto& [key, value] : expect->items()) result["checked"].push_back(key);
  CheckOutcome(check, *expect, call);
  const MemberIndex wanted(*expect);
  for (const ExpectationKey& key : kExpectationKeys)
    if (const Json* want = wanted.Find(key.name)) CheckKey(check, key, *want, call);
  return result;
}

void ValidateInstanceExpect(const Json& expect, const std::string& place) {
  Node node(expect, place);
  node.RequireObject("what the instance holds: {\"state\", \"variables\", \"items\", ...}");
  node.Keys({"state", "step", "variables", "task_variables", "decision", "items", "messages",
             "jobs", "stored", "comments", "event_log"});
  if (node.Has("state")) {
    const std::string state = node.At("state").Text();
    if (state != "running" && state != "ended" && state != "stopped")
      node.At("state").Fail("unknown state \"" + state +
                            "\"; an instance is running, ended or stopped");
  }
  if (node.Has("step") && !node.At("step").json().is_null()) node.At("step").Text();
  if (node.Has("variables"))
    for (auto& [name, v] : node.At("variables").Members("variable names to values")) v.Value();
  if (node.Has("task_variables"))
    for (auto& [id, vars] : node.At("task_variables").Members("task ids to their variables"))
      for (auto& [name, v] : vars.Members("variable names to values")) v.Value();
  // A null decision: no step has decided yet.
  if (node.Has("decision") && !node.At("decision").json().is_null()) {
    const Node d = node.At("decision");
    d.Keys({"step", "outcome", "branch", "next", "row", "figures"});
    if (d.Has("row")) d.At("row").Int();
    if (d.Has("figures"))
      for (auto& [name, v] : d.At("figures").Members("figure names to values")) v.Value();
  }
  Json lists = Json::object();
  for (const char* key : {"items", "messages", "jobs", "stored", "comments", "event_log"})
    if (expect.contains(key)) lists[key] = expect[key];
  ValidateExpect(lists, place);
}

Json CheckInstanceExpectations(const Json& expect, const Json& instance) {
  Json result = {{"checked", Json::array()}, {"failures", Json::array()}};
  Checker check(result["failures"]);
  for (const auto& [key, want] : expect.items()) {
    result["checked"].push_back(key);
    if (key == "variables" || key == "task_variables") {
      check.Match(key, want, instance[key]);
    } else if (key == "items") {
      for (const Json& item : want) CheckItem(check, item, instance["items"]);
    } else if (key == "decision") {
      const Json& actual = instance["decision"];
      if (want.is_null()) {
        if (!actual.is_null())
          check.Fail(
              "decision", want,
              actual["step"].get<std::string>() + ": " + actual["outcome"].get<std::string>());
        continue;
      }
      CheckDecision(check, want, actual);
      for (const char* name : {"step", "branch", "next"})
        if (want.contains(name) && !actual.is_null())
          check.Match(std::string("decision.") + name, want[name], actual[name]);
    } else {
      check.Match(key, want, instance[key]);
    }
  }
  return result;
}

}  // namespace corvane::cli
