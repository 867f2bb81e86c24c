// The scenario reader against hostile and careless files: each is refused with
// one message naming the file and the place, exit 2, and a JSON error object
// under --json; nothing crashes, overflows or runs with a fault that cannot
// match. Valid structure reaches the step exactly as written.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "run_corvane.h"

namespace {

using namespace corvane::cli_test;

const char* const kTask = R"("tasks": [{"id": 5}])";

std::string Nested(int levels) { return std::string(levels, '[') + std::string(levels, ']'); }

TEST(HostileScenarioTest, EachIsRefusedWithOneMessageNamingFileAndPlaceInTextAndJson) {
  const struct {
    const char* name;
    std::string text;
    const char* place;
    const char* message;
  } cases[] = {
      {"deep.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) + R"(, "expect": {"saves": )" +
           Nested(70000) + "}}",
       "line 1, column ", "nested more than 100 levels deep"},
      {"huge-number.json", R"({"class": "MarkAsVital", "now": 1e400, )" + std::string(kTask) + "}",
       "line 1, column ", "number overflow parsing '1e400'"},
      {"bad-utf8.json",
       "{\"class\": \"MarkAsVital\", \"description\": \"caf\xc3\x28\", " + std::string(kTask) + "}",
       "line 1, column 46", "not valid JSON"},
      {"duplicate.json", R"({"class": "MarkAsVital", "tasks": [{"id": 5, "id": 6}]})",
       "line 1, column 49", "the key \"id\" appears twice in the same object"},
      {"now-overflow.json", R"({"class": "MarkAsVital", "now": 1e308, )" + std::string(kTask) + "}",
       "now", "the date 1e+308 is out of range"},
      {"at-overflow.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "calls": [{"method": "Execute", "at": -1e308}]})",
       "calls[0].at", "is out of range"},
      {"advance-overflow.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "calls": [{"method": "Execute", "advance": {"days": 1e300}}]})",
       "calls[0].advance", "beyond any date"},
      {"date-value-overflow.json",
       R"({"class": "MarkAsVital", "tasks": [{"id": 5, "variables": {"D": {"date": 1e308}}}]})",
       "tasks[0].variables.D.date", "years 100 to 9999"},
      {"unknown-op.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "faults": [{"op": "IDmsService.MarkAsVitl"}]})",
       "faults[0].op", "(did you mean \"IDmsService.MarkAsVital\"?)"},
      {"no-calls.json", R"({"class": "MarkAsVital", )" + std::string(kTask) + R"(, "calls": []})",
       "calls", "an empty list calls nothing"},
      {"negative-skip.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "faults": [{"op": "IDmsService.MarkAsVital", "skip": -1}]})",
       "faults[0].skip", "0 or more"},
      {"bad-attribute.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "process": {"id": 1, "itemlist": {"entitytype": "document", "dbid": 7,
              "items": [{"id": 17, "x=\"1\" y": "2"}]}}})",
       "process.itemlist.items[0].x=\"1\" y", "is not an XML name"},
      {"wide-document-id.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "dms": {"documents": [{"database": 7, "id": 2147483648}]}})",
       "dms.documents[0].id", "expected an id, a whole number from -2147483648 to 2147483647"},
      {"bad-entitytype.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "process": {"id": 1, "itemlist": {"entitytype": "a/b", "dbid": 7, "items": [1]}}})",
       "process.itemlist.entitytype", "is not an XML name"},
      {"bad-json.json", "{\"class\": \"MarkAsVital\",\n \"tasks\": [ {\"id\": 5,} ]}",
       "line 2, column 22", "not valid JSON"},
      {"unknown-class.json", R"({"class": "MarkAsVitl", "tasks": [{"id": 5}]})", "class",
       "unknown class \"MarkAsVitl\" (did you mean \"MarkAsVital\"?)"},
      {"missing-task.json",
       R"({"class": "MarkAsVital", "tasks": [{"id": 5}], "calls": [{"method": "Execute", "task": 9}]})",
       "calls[0].task", "no task has the id 9; the scenario's tasks are 5"},
      {"field-type.json",
       R"({"class": "GetFieldValue", "tasks": [{"id": 5}], "dms": {"documents": [
           {"database": 7, "id": 1, "fields": {"Amount": {"datatype": "long", "value": "abc"}}}]}})",
       "dms.documents[0].fields.Amount.value",
       "the value \"abc\" does not fit a field of data type 12"},
      {"typo.json", R"({"class": "MarkAsVital", "taks": []})", "taks",
       "unknown key \"taks\" (did you mean \"tasks\"?)"},
      {"bad-date.json", R"({"class": "MarkAsVital", "now": "14/03/2025", "tasks": [{"id": 5}]})",
       "now", "expected a date"},
      {"expect-typo.json",
       R"({"class": "MarkAsVital", "tasks": [{"id": 5}], "expect": {"dms_call": []}})",
       "expect.dms_call", "unknown key \"dms_call\" (did you mean \"dms_calls\"?)"},
      {"expect-shape.json",
       R"({"class": "MarkAsVital", "tasks": [{"id": 5}], "expect": {"event_log": [1]}})",
       "expect.event_log[0]", "expected a text"},
      {"bad-value.json",
       R"({"class": "MarkAsVital", "tasks": [{"id": 5, "variables": {"X": {"dat": 1}}}]})",
       "tasks[0].variables.X", "not a value: write a value as text, a number"},
      {"file-outside.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "filesystem": {"files": ["../../etc/x"]}})",
       "filesystem.files[0]", "outside the run's file-system sandbox"},
      {"file-root.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) + R"(, "filesystem": {"files": ["/"]}})",
       "filesystem.files[0]", "needs a name below the sandbox's root"},
      {"file-twice.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "filesystem": {"files": ["/a", {"path": "/a"}]}})",
       "filesystem.files[1]", "is listed twice"},
      {"file-on-directory.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "filesystem": {"directories": ["/exports"], "files": ["/exports"]}})",
       "filesystem.files[0]", "a directory or another file"},
      {"file-key.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "filesystem": {"files": [{"path": "/a", "size": 1}]}})",
       "filesystem.files[0].size", "unknown key"},
      {"file-kind.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) + R"(, "filesystem": {"files": [7]}})",
       "filesystem.files[0]", "a file: its path"},
      {"lenient-kind.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "host": {"create_task_variables": "yes"}})",
       "host.create_task_variables", "expected true or false"},
      {"in-step-kind.json", R"({"class": "MarkAsVital", "tasks": [{"id": 5, "in_step": 0}]})",
       "tasks[0].in_step", "expected true or false"},
      {"itemlist-name-alone.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "process": {"id": 1, "itemlist_name": "docs"}})",
       "process.itemlist_name", "has no \"itemlist\""},
      {"itemlist-name-blank.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "process": {"id": 1, "itemlist": "<dmsobject/>", "itemlist_name": "  "}})",
       "process.itemlist_name", "needs a name"},
      {"itemlist-name-clash.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "process": {"id": 1, "itemlist": "<dmsobject/>", "variables": {"DMSObject": 1}}})",
       "process.variables.DMSObject", "is the process variable \"dmsobject\" already"},
      {"keyed-value.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "dms": {"retentionlabels": [{"database": 4, "id": 88, "fields":
              {"Period": {"datatype": "keyed", "key": null, "value": 3}}}]}})",
       "dms.retentionlabels[0].fields.Period.value", "a keyed field's value is its \"key\""},
      {"nothing-not-object.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "faults": [{"op": "IDmsService.MarkAsVital", "answer_nothing": true}]})",
       "faults[0].answer_nothing", "answers no object"},
      {"nothing-with-number.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "faults": [{"op": "IDmsService.GetDocument", "answer_nothing": true, "number": 5}]})",
       "faults[0].number", "raises no error"},
      {"decision-key.json",
       R"({"class": "MarkAsVital", )" + std::string(kTask) +
           R"(, "expect": {"decision": {"rows": 3}}})",
       "expect.decision.rows", "(did you mean \"row\"?)"},
  };
  std::string files;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = WriteScenario(c.name, c.text);
    Outcome text = Corvane("run " + Quoted(file));
    EXPECT_EQ(text.status, 2) << text.err;
    const std::string where = std::string(c.name) + ": at " + c.place;
    const size_t at = text.err.find(where);
    ASSERT_NE(at, std::string::npos) << text.err;
    if (!where.ends_with(' ')) EXPECT_EQ(text.err[at + where.size()], ':') << text.err;
    EXPECT_NE(text.err.find(c.message), std::string::npos) << text.err;
    EXPECT_EQ(std::count(text.err.begin(), text.err.end(), '\n'), 1) << text.err;
    EXPECT_TRUE(text.out.empty()) << text.out;

    files += " " + Quoted(file);
  }
  // The JSON report of all of them at once: one error object per file.
  Outcome json = Corvane("run --json" + files);
  EXPECT_EQ(json.status, 2);
  Json report;
  ASSERT_NO_THROW(report = Json::parse(json.out)) << json.out;
  EXPECT_EQ(report["status"], 2);
  std::map<std::string, Json> errors;
  for (const Json& s : report["scenarios"])
    errors[fs::path(s["scenario"].get<std::string>()).filename().string()] = s["error"];
  ASSERT_EQ(errors.size(), std::size(cases));
  for (const auto& c : cases) {
    const Json& error = errors[c.name];
    EXPECT_TRUE(error["place"].get<std::string>().starts_with(c.place)) << c.name << error;
    EXPECT_NE(error["message"].get<std::string>().find(c.message), std::string::npos) << error;
  }
}

TEST(HostileScenarioTest, AMissingFileIsNamed) {
  Outcome missing = Corvane("run " + Quoted(Scratch() / "no-such-file.json"));
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("no-such-file.json: cannot open the file"), std::string::npos);
}

// A control character from a scenario or the command line goes into a message
// escaped: the message stays one line and cannot command a terminal.
TEST(HostileScenarioTest, ControlCharactersInMessagesAreEscaped) {
  const std::string text =
      R"({"class": "MarkAsVital", "tasks": [{"id": 5, "para\u0000\u001b[2J": 1}]})";
  Outcome run = Corvane("run " + Quoted(WriteScenario("control.json", text)));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find(R"(unknown key "para\0\x1b[2J")"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\0'), std::string::npos);
  EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;

  Outcome command = Corvane(R"x("$(printf 'run\t\001')")x");
  EXPECT_EQ(command.status, 2);
  EXPECT_NE(command.err.find(R"(unknown command "run\t\x01")"), std::string::npos) << command.err;
}

TEST(HostileScenarioTest, NestingUpToTheLimitIsRead) {
  // 2 levels for the scenario and its "expect", 98 for the value.
  const std::string text = R"({"class": "MarkAsVital", )" + std::string(kTask) +
                           R"(, "expect": {"saves": )" + Nested(98) + "}}";
  Outcome run = Corvane("run " + Quoted(WriteScenario("deep-enough.json", text)));
  EXPECT_NE(run.status, 2) << run.err;
  EXPECT_EQ(run.err.find("nested"), std::string::npos) << run.err;
}

TEST(ScenarioDatesTest, ADateBefore1900CountsItsTimeForward) {
  const std::string text = R"({"class": "MarkAsVital", "tasks": [{"id": 5, "variables": {
      "EARLY": {"date": "1899-12-29T06:00:00"}, "EPOCH": {"date": "1899-12-30T06:00:00"},
      "OLD": {"date": "1850-07-01T18:00:00"}, "LATE": {"date": "2025-03-14T09:30:00"}}}]})";
  Outcome run = Corvane("run --json " + Quoted(WriteScenario("early-dates.json", text)));
  ASSERT_NE(run.status, 2) << run.err;
  const Json vars = Json::parse(run.out)["scenarios"][0]["calls"][0]["task_variables"];
  const struct {
    const char* name;
    double days;
    const char* iso;
  } expected[] = {
      {"EARLY", -1.25, "1899-12-29T06:00:00"},
      {"EPOCH", 0.25, "1899-12-30T06:00:00"},
      {"OLD", -18079.75, "1850-07-01T18:00:00"},
      {"LATE", 45730.395833333336, "2025-03-14T09:30:00"},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(vars[e.name]["type"], "Date");
    EXPECT_NEAR(vars[e.name]["value"].get<double>(), e.days, 1e-9);
    EXPECT_EQ(vars[e.name]["iso"], e.iso);
  }
}

// The structured item list is the same XML as the text a host writes.
TEST(ItemListTest, StructuredListReachesTheStepAsTheEquivalentText) {
  Json scenario =
      Json::parse(Slurp(fs::path(CORVANE_SOURCE_DIR) / "examples/records/mark-as-vital.json"));
  Json itemlist = scenario["process"]["itemlist"];
  ASSERT_TRUE(itemlist.is_object());
  // Attribute values that need escaping, and an empty list, as text and as
  // structure (">" needs no escaping in an attribute).
  const struct {
    Json structured;
    const char* text;
  } cases[] = {
      {itemlist, nullptr},
      {{{"entitytype", "document"},
        {"dbid", 7},
        {"dbpath", "R&D \"main\" <db>"},
        {"items", {{{"id", 17}, {"note", "a<b & c>\"d\""}}, 19}}},
       R"(<dmsobject entitytype="document" dbid="7" dbpath="R&amp;D &quot;main&quot; &lt;db>" dbtype="0"><documents><document id="17" note="a&lt;b &amp; c>&quot;d&quot;"/><document id="19"/></documents></dmsobject>)"},
      {{{"entitytype", "document"}, {"dbid", 7}},
       R"(<dmsobject entitytype="document" dbid="7" dbpath="" dbtype="0"><documents></documents></dmsobject>)"},
  };
  std::string raw =
      "<dmsobject entitytype=\"document\" dbid=\"7\" dbpath=\"\" dbtype=\"0\"><documents>";
  for (const Json& id : itemlist["items"])
    raw += "<document id=\"" + std::to_string(id.get<int>()) + "\"/>";
  raw += "</documents></dmsobject>";
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    Json structured = scenario, text = scenario;
    structured["process"]["itemlist"] = cases[i].structured;
    text["process"]["itemlist"] = cases[i].text ? cases[i].text : raw;
    structured.erase("expect");
    text.erase("expect");
    Outcome a =
        Corvane("run --json " + Quoted(WriteScenario("structured.json", structured.dump())));
    Outcome b = Corvane("run --json " + Quoted(WriteScenario("text.json", text.dump())));
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    Json calls_a = Json::parse(a.out)["scenarios"][0]["calls"];
    Json calls_b = Json::parse(b.out)["scenarios"][0]["calls"];
    EXPECT_EQ(calls_a.dump(), calls_b.dump());
    EXPECT_GT(calls_a[0]["journal"].size(), 3u);
  }
}

#if !defined(CORVANE_SANITIZED) && !defined(__SANITIZE_THREAD__)
// A run that outgrows its memory ends with the message and exit 2, not with
// std::terminate while the half-built report is freed.
TEST(OutOfMemoryTest, ARunThatOutgrowsItsMemoryExitsWithAMessage) {
  // The report is written as it is made, so only the simulator's journal and
  // the item list grow with the list: 400,000 items need more than 300 MB.
  Json items = Json::array();
  for (int id = 1; id <= 400000; ++id) items.push_back(id);
  Json scenario = {
      {"class", "MarkAsVital"},
      {"now", "2025-03-14"},
      {"dms", {{"databases", {7}}}},
      {"process",
       {{"id", 12}, {"itemlist", {{"entitytype", "document"}, {"dbid", 7}, {"items", items}}}}},
      {"tasks",
       {{{"id", 5},
         {"parameters", {{"REASON", "x"}}},
         {"variables", {{"MARKEDASRECORDON", nullptr}, {"ISVITAL", false}}}}}}};
  const std::string limit = "ulimit -v 250000; ";
  const std::string example =
      Quoted(fs::path(CORVANE_SOURCE_DIR) / "examples/records/mark-as-vital.json");
  ASSERT_EQ(Corvane("run " + example, limit).status, 0) << "the limit leaves room for a small run";
  Outcome run = Corvane("run --json " + Quoted(WriteScenario("many.json", scenario.dump())), limit);
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_NE(run.err.find("out of memory"), std::string::npos) << run.err;
}
#endif

}  // namespace
