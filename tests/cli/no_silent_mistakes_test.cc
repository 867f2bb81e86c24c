// What the tool tells a designer about mistakes that do not stop a step: a
// parameter the class never reads, a variable it writes that nobody declared,
// errors a walk caught and went past, and templates naming what does not exist.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "run_corvane.h"

namespace {

using namespace corvane::cli_test;

// The bundled MarkAsVital example with one change to its text.
std::string MarkAsVitalWith(const std::string& from, const std::string& to) {
  std::string text =
      Slurp(fs::path(CORVANE_SOURCE_DIR) / "examples" / "records" / "mark-as-vital.json");
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(RunWarningsTest, AMisspelledParameterIsNamedWithTheClosestOneTheClassReads) {
  fs::path file = WriteScenario("reson.json", MarkAsVitalWith("\"REASON\"", "\"RESON\""));
  Outcome text = Corvane("run " + Quoted(file));
  EXPECT_NE(text.out.find("warning: task 5's parameter RESON is not read by MarkAsVital; did you "
                          "mean REASON?"),
            std::string::npos)
      << text.out;

  Outcome json = Corvane("run --json " + Quoted(file));
  Json report = Json::parse(json.out)["scenarios"][0];
  ASSERT_EQ(report["warnings"].size(), 1u) << report["warnings"].dump();
  const Json& w = report["warnings"][0];
  EXPECT_EQ(w["kind"], "unread_parameter");
  EXPECT_EQ(w["scope"], "task");
  EXPECT_EQ(w["task"], 5);
  EXPECT_EQ(w["name"], "RESON");
  EXPECT_EQ(w["suggestion"], "REASON");

  // Without a reason every item's reading of it fails and the walk goes on: each
  // is shown as skipped with its error in the default report.
  const Json& skipped = report["calls"][0]["skipped"];
  ASSERT_EQ(skipped.size(), 3u) << report["calls"][0]["journal"].dump();
  EXPECT_EQ(skipped[2]["op"], "IParameters.Item");
  EXPECT_NE(skipped[2]["error"]["number"], 0);
  EXPECT_NE(skipped[2]["error"]["description"].get<std::string>().find("REASON"),
            std::string::npos);
  EXPECT_NE(text.out.find("Skipped: errors the step caught and went on past:\n     1. "
                          "IParameters.Item [task 5 parameters](name=\"REASON\"): error "),
            std::string::npos)
      << text.out;
}

// Ids a walk cannot read never reach the host; they are listed with the
// errors the step went past, in their place among the calls. An id beyond 32
// bits is one of them, not another document's id wrapped around.
TEST(RunWarningsTest, ItemsWhoseIdCannotBeReadAreListedAsSkipped) {
  const std::string text = MarkAsVitalWith(
      "\"items\": [17, 18, 19]",
      "\"items\": [17, 2147483648, 4294967295, 18446744073709551615, {\"id\": \"abc\"}, 18]");
  Outcome run = Corvane("run --json " + Quoted(WriteScenario("wide-ids.json", text)));
  ASSERT_LE(run.status, 1) << run.err;
  const Json call = Json::parse(run.out)["scenarios"][0]["calls"][0];
  std::vector<std::string> skipped;
  for (const Json& s : call["skipped"])
    skipped.push_back(s["item"].get<std::string>() + " " + s["error"]["number"].dump());
  EXPECT_EQ(skipped,
            (std::vector<std::string>{"Document 2147483648 6", "Document 4294967295 6",
                                      "Document 18446744073709551615 6", "Document abc 13"}));
  std::vector<std::string> marked;
  for (const Json& o : call["operations"]) marked.push_back(o["item"]["id"].dump());
  EXPECT_EQ(marked, (std::vector<std::string>{"17", "18"}));
}

TEST(RunWarningsTest, TheCorrectExampleHasNoWarningsAndNothingSkipped) {
  Outcome run = Corvane("run --json " + Quoted(fs::path(CORVANE_SOURCE_DIR) / "examples" /
                                               "records" / "mark-as-vital.json"));
  ASSERT_EQ(run.status, 0) << run.err;
  Json report = Json::parse(run.out)["scenarios"][0];
  EXPECT_TRUE(report["warnings"].empty()) << report["warnings"].dump();
  EXPECT_TRUE(report["calls"][0]["skipped"].empty());
}

TEST(RunWarningsTest, AnUndeclaredWrittenVariableAndAParameterInTheWrongPlaceAreNamed) {
  std::string text = MarkAsVitalWith("\"MARKEDASRECORDON\": null, ", "");
  text.replace(text.find("\"process\""), 0,
               "\"step\": {\"parameters\": {\"REASON\": \"x\", \"COLOUR\": \"red\"}},\n  ");
  Outcome run = Corvane("run --json " + Quoted(WriteScenario("undeclared.json", text)));
  ASSERT_LE(run.status, 1) << run.err;
  Json warnings = Json::parse(run.out)["scenarios"][0]["warnings"];
  std::string all = warnings.dump();
  EXPECT_NE(all.find("step parameter REASON is not read by MarkAsVital; the class reads it from "
                     "the task's parameters"),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("step parameter COLOUR is not read by MarkAsVital\""), std::string::npos)
      << all;
  EXPECT_NE(all.find("MarkAsVital writes the variable MARKEDASRECORDON, which task 5 does not "
                     "declare"),
            std::string::npos)
      << all;
}

// The example at examples/`example` with each `from` replaced by its `to`.
std::string ExampleWith(const std::string& example,
                        std::vector<std::pair<std::string, std::string>> changes) {
  std::string text = Slurp(fs::path(CORVANE_SOURCE_DIR) / "examples" / example);
  for (const auto& [from, to] : changes) {
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
  }
  return text;
}

// A step that raises while it reads a value says, in the report, which value and
// how it read it; the error the host sees keeps its classic number and text.
TEST(RunWarningsTest, ARaisedErrorNamesTheValueTheStepWasReading) {
  const std::string kApproval = "tasks/approval-of-a-contract.json";
  const std::string kNotify = "notify/notify-legal-team.json";
  const struct {
    std::string example;
    std::vector<std::pair<std::string, std::string>> changes;
    int number;
    std::string words;
  } rows[] = {
      {kApproval,
       {{R"("COMMENTSASNOTES": true})", R"("COMMENTSASNOTES": "yes"})"}},
       13,
       R"(reading task 1's parameter COMMENTSASNOTES "yes" as a yes/no value)"},
      {kApproval,
       {{R"("minapprovals": 2)", R"("minapprovals": "two")"}},
       13,
       R"(reading the step's MinApprovals "two" as a number)"},
      {kApproval,
       {{R"("COMMENTSASNOTES": true})", R"("COMMENTSASNOTES": true, "AUDIT_ACTIVITY": "ja"})"}},
       13,
       R"(reading task 1's parameter AUDIT_ACTIVITY "ja" as a yes/no value)"},
      {"fields/record-series-fields.json",
       {{R"("class": "GetFieldValue",)", R"("class": "GetFieldValue", "locale": "de-DE",)"},
        {R"("12/31/2031")", R"("31.11.2025")"}},
       13,
       R"(reading task 3's variable VALUE "31.11.2025" as a date)"},
      {kNotify,
       {{R"(\"[\\0] \",dmsobject.name)", R"(\"[\\0] \",dmsobject.title)"}},
       9,
       "rendering template variable dmsobject.title in repetition 1, which nothing filled; a "
       "loop over the item list fills only dmsobject.id, dmsobject.name and dmsobject.link"},
      {kNotify,
       {{R"(\"[\\0] \",dmsobject.name)", R"(\"[\\0] \",dmsobject.link)"},
        {R"("typecode": 2, )", ""},
        {R"("typecode": 2, )", ""}},
       91,
       "filling template variable dmsobject.link for item 1 of the workflow's variable dmsobject, "
       "which needs the item's id and typecode attributes"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.words);
    const fs::path file = WriteScenario("raised.json", ExampleWith(row.example, row.changes));
    Outcome json = Corvane("run --json " + Quoted(file));
    Json failed;
    const Json report = Json::parse(json.out);
    for (const Json& call : report["scenarios"][0]["calls"])
      if (!call["error"].is_null() && failed.is_null()) failed = call["error"];
    ASSERT_FALSE(failed.is_null()) << json.out;
    EXPECT_EQ(failed["number"], row.number);
    EXPECT_EQ(failed["description"], row.number == 13 ? "Type mismatch"
                                     : row.number == 9
                                         ? "Subscript out of range"
                                         : "Object variable or With block variable not set");
    EXPECT_EQ(failed["while"], row.words);
    Outcome text = Corvane("run " + Quoted(file));
    EXPECT_NE(text.out.find("): " + failed["description"].get<std::string>() + "\n   while " +
                            row.words + "\n   Source chain"),
              std::string::npos)
        << text.out;
  }
}

// A call that raised with no expectation about it passes with a warning; --strict
// fails it, and a check finding of severity error, in every report.
TEST(RunWarningsTest, AnUncoveredErrorWarnsAndStrictFailsItAndCheckErrors) {
  const std::string raises = R"({"class": "MarkAsVital",
    "dms": {"documents": [{"database": 7, "id": 17}]},
    "process": {"id": 12, "itemlist": {"entitytype": "document", "dbid": 7, "items": [17]}},
    "tasks": [{"id": 5, "parameters": {"REASON": "x"}, "variables": {"ISVITAL": false}}])";
  const fs::path uncovered = WriteScenario("uncovered.json", raises + "}");
  const fs::path covered =
      WriteScenario("covered.json", raises + R"(, "expect": {"error": {"number": 5}}})");
  const fs::path misconfigured = WriteScenario("e-mail.json", R"({"class": "Notify",
    "process": {"id": 12},
    "tasks": [{"id": 5, "parameters": {"SENDER_LIST": "", "MESSAGE_BODY": "Hi", "SUBJECT": "S",
               "MODE": "e-mail"}}],
    "expect": {"result": 1}})");
  const std::string warning =
      "warning: call 1 (MarkAsVital.Execute of task 5) raised error 5 (task 5 has no variable "
      "'MARKEDASRECORDON') and no expectation covers it";
  struct Case {
    fs::path file;
    const char* options;
    int status;
    std::string shown, absent;
  } const cases[] = {
      {uncovered, "", 0, warning, "FAILED UNDER"},
      {uncovered, "--strict", 1,
       "FAILED UNDER --strict (1):\n     call 1 raised error 5 (task 5 has no variable "
       "'MARKEDASRECORDON') that no expectation covers\n",
       ""},
      {covered, "--strict", 0, "PASS", "WARNINGS about the calls"},
      {misconfigured, "", 0, "PASS", "FAILED UNDER"},
      {misconfigured, "--strict", 1, "check error at tasks[0].parameters.MODE: task 5's parameter",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.filename().string() + " " + c.options);
    Outcome run = Corvane(std::string("run ") + c.options + " " + Quoted(c.file));
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_NE(run.out.find(c.shown), std::string::npos) << run.out;
    if (!c.absent.empty()) EXPECT_EQ(run.out.find(c.absent), std::string::npos) << run.out;
  }

  const fs::path junit = Scratch() / "strict.xml";
  Outcome json = Corvane("run --strict --json --junit " + Quoted(junit) + " " + Quoted(uncovered));
  EXPECT_EQ(json.status, 1);
  const Json report = Json::parse(json.out)["scenarios"][0];
  ASSERT_EQ(report["call_warnings"].size(), 1u) << report.dump(1);
  EXPECT_EQ(report["call_warnings"][0]["number"], 5);
  EXPECT_EQ(report["strict_failures"].size(), 1u);
  EXPECT_FALSE(report["passed"].get<bool>());
  const std::string xml = Slurp(junit);
  EXPECT_NE(xml.find("<failure message=\"--strict: 1 problem(s)\" type=\"strict\">"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<system-out>" + warning), std::string::npos) << xml;
}

}  // namespace

namespace {

using namespace corvane::cli_test;

fs::path Template(const std::string& name, const std::string& text) {
  return WriteScenario(name, text);
}

TEST(TemplateCheckTest, FindingsAreEditorLinesAndOneCauseGivesOneLine) {
  // A "}" inside the format text drops the first expression; the parser then
  // passes over the next "{", which is one cause and so one line.
  fs::path file = Template("dropped.tpl", "Dear {{\"a}b\", NAME}}\n{{\"\\0\", TITLE}}");
  Outcome check = Corvane("template check " + Quoted(file));
  EXPECT_EQ(check.status, 1) << check.out << check.err;
  std::istringstream lines(check.out);
  std::vector<std::string> errors;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_TRUE(line.starts_with(file.string() + ":")) << line;
    if (line.find(": error: ") != std::string::npos) errors.push_back(line);
  }
  ASSERT_EQ(errors.size(), 1u) << check.out;
  EXPECT_TRUE(errors[0].starts_with(file.string() + ":1:")) << errors[0];
  EXPECT_NE(errors[0].find("unescaped } inside the format text"), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("the { at 2:1 is passed over"), std::string::npos) << errors[0];

  // An expression left open is the cause of the parse failure: one line for both.
  Outcome open = Corvane("template check " + Quoted(Template("open.tpl", "Hi\n  {{\"x\", A")));
  EXPECT_EQ(open.status, 1);
  EXPECT_EQ(open.out, (Scratch() / "open.tpl").string() +
                          ":2:3: error: no closing braces before the end of the template; the "
                          "template does not parse (error 91, " +
                          open.out.substr(open.out.find("error 91, ") + 10));
  EXPECT_EQ(std::count(open.out.begin(), open.out.end(), '\n'), 1) << open.out;
}

TEST(TemplateCheckTest, WithAClassAnUnknownVariableIsAWarningAndAnUnknownClassIsRefused) {
  fs::path file = Template("approval.tpl", "Approved: {{\"\\0 by \\1\", APPROVED, RESOURCNAME}}");
  Outcome plain = Corvane("template check " + Quoted(file));
  EXPECT_EQ(plain.status, 0) << plain.out;
  EXPECT_EQ(plain.out.find("warning"), std::string::npos) << plain.out;

  Outcome with_class = Corvane("template check --class DocApproval " + Quoted(file));
  EXPECT_EQ(with_class.status, 0) << with_class.out;
  EXPECT_NE(with_class.out.find(file.string() +
                                ":1:11: warning: DocApproval does not provide the variable "
                                "RESOURCNAME"),
            std::string::npos)
      << with_class.out;
  EXPECT_EQ(with_class.out.find("variable APPROVED"), std::string::npos) << with_class.out;

  // The same names mean nothing to Notify, whose templates have no answer group.
  Outcome notify = Corvane("template check --class Corvane.Notify " + Quoted(file));
  EXPECT_NE(notify.out.find("Notify does not provide the variable APPROVED"), std::string::npos)
      << notify.out;

  Outcome unknown = Corvane("template check --class DocApprovel " + Quoted(file));
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown class DocApprovel"), std::string::npos) << unknown.err;
  EXPECT_TRUE(unknown.out.empty());
}

TEST(TemplateRenderTest, AMissingValueIsWarnedAndParseAndRenderFailuresDiffer) {
  fs::path file = Template("hello.tpl", "Hello {{\"\\0 and \\1\", NAME, OTHER}}");
  Outcome render = Corvane("template render " + Quoted(file) + " --var name=Ada");
  EXPECT_EQ(render.status, 0) << render.err;
  EXPECT_EQ(render.out, "Hello Ada and \n");
  EXPECT_NE(render.err.find(file.string() +
                            ":1:7: warning: the variable OTHER has no value (give one with --var)"),
            std::string::npos)
      << render.err;
  EXPECT_EQ(render.err.find("NAME"), std::string::npos) << render.err;

  Outcome broken = Corvane("template render " +
                           Quoted(Template("twice.tpl", "{{\"\\0\\1\", A, a}}")) + " --var A=1");
  EXPECT_EQ(broken.status, 3) << broken.err;
  EXPECT_TRUE(broken.out.empty()) << broken.out;
  EXPECT_NE(broken.err.find("error 457"), std::string::npos) << broken.err;

  // A value holding its own placeholder doubles the text at every repetition
  // until the output limit stops it: that is a rendering failure, not a parse one.
  Outcome exploding =
      Corvane("template render " + Quoted(Template("double.tpl", "{{N:60\"\\0\",X}}")) +
              " --var 'X=\\0\\0'");
  EXPECT_EQ(exploding.status, 1) << exploding.err;
  EXPECT_TRUE(exploding.out.empty()) << exploding.out.size();
  EXPECT_NE(exploding.err.find("rendering raised error 7: The rendered template exceeds the output "
                               "limit of 67108864 bytes"),
            std::string::npos)
      << exploding.err;
}

// Render names every expression the message would lose, at its place; only
// --strict turns that into a failed exit, after the text is written.
TEST(TemplateRenderTest, ADroppedOrEmptyExpressionIsNamedAndFailsOnlyWithStrict) {
  static const struct {
    const char* name;
    const char* text;
    const char* args;
    int status;
    const char* finding;  // empty: standard error stays empty
  } cases[] = {
      {"dropped, kept as raw text", "Hi {{n:2\"\\0\",X}}", "--var X=1 --strict", 1,
       ":1:6: error: expression dropped, it stays in the text as written: lower-case repeat "
       "mark; fix: write the repeat mark as a capital N"},
      {"dropped without --strict", "Hi {{n:2\"\\0\",X}}", "--var X=1", 0, ":1:6: error: "},
      {"renders empty", "Hi {{\"\\0\",X}}!", "--var X= --strict", 1,
       ":1:4: warning: the expression renders as empty text"},
      {"clean", "Hi {{\"\\0\",X}}!", "--var X=Ada --strict", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path file = Template("strict.tpl", c.text);
    Outcome render = Corvane("template render " + Quoted(file) + " " + c.args);
    EXPECT_EQ(render.status, c.status) << render.err;
    EXPECT_FALSE(render.out.empty());
    if (*c.finding)
      EXPECT_NE(render.err.find(file.string() + c.finding), std::string::npos) << render.err;
    else
      EXPECT_EQ(render.err, "");
  }
}

// A long template with many values missing: each is warned about at its own
// line and column, and the template still renders.
TEST(TemplateRenderTest, EachOfManyMissingValuesIsWarnedAtItsPlace) {
  constexpr int kLines = 20000;
  std::string text;
  for (int i = 0; i < kLines; ++i)
    text += "- {{\"\\0\", A" + std::to_string(i) + "}} {{\"\\0\", B" + std::to_string(i) + "}}\n";
  const fs::path file = Template("many.tpl", text);
  Outcome render = Corvane("template render " + Quoted(file));
  EXPECT_EQ(render.status, 0) << render.err.substr(0, 500);
  EXPECT_EQ(std::count(render.out.begin(), render.out.end(), '\n'), kLines + 1);
  EXPECT_EQ(std::count(render.err.begin(), render.err.end(), '\n'), 2 * kLines);
  const std::string last = std::to_string(kLines - 1);
  const std::string column = std::to_string(3 + 11 + last.size() + 1);
  EXPECT_TRUE(render.err.ends_with(file.string() + ":" + std::to_string(kLines) + ":" + column +
                                   ": warning: the variable B" + last +
                                   " has no value (give one with --var); it renders as empty "
                                   "text\n"))
      << render.err.substr(render.err.size() - 300);
}

// `corvane check` on a Notify step with four mistakes: one editor line per
// finding of the class, exit 1 for an error among them, and `run` shows every
// one of them, two on one parameter included. A scenario of four classes and
// a review that only evaluates its tasks are judged class by class, task by
// task, and have nothing to say.
TEST(CheckCommandTest, EachClassJudgesWhatItReadsAndRunShowsEveryFinding) {
  const fs::path source(CORVANE_SOURCE_DIR);
  const fs::path file = source / "tests/windows/scenarios/notify-design-mistakes.json";
  Outcome check = Corvane("check " + Quoted(file));
  EXPECT_EQ(check.status, 1) << check.err;
  const std::string at = file.string() + ":tasks[0].parameters.";
  for (const std::string& line :
       {at + "MESSAGE_BODY: warning: task 5's parameter MESSAGE_BODY, line 1, column 6: the step "
             "does not provide the variable RECIPIENTNAME; it renders as empty text\n",
        at + "MESSAGE_BODY: error: task 5's parameter MESSAGE_BODY, line 1, column 78: a single }",
        at + "MODE: error: task 5's parameter MODE \"e-mail\" is not one of email: \"email\" "
             "(any case); any other value sends no e-mail (suggestion: email)\n",
        at + "SENDER_LIST: warning: SENDER_LIST's resource Legal has type \"group\""})
    EXPECT_NE(check.out.find(line), std::string::npos) << line << "\n" << check.out;
  EXPECT_EQ(std::count(check.out.begin(), check.out.end(), '\n'), 4) << check.out;

  Json warnings =
      Json::parse(Corvane("run --json " + Quoted(file)).out)["scenarios"][0]["warnings"];
  std::vector<std::string> names;
  for (const Json& w : warnings)
    if (w["kind"] == "check") names.push_back(w["name"]);
  EXPECT_EQ(names,
            (std::vector<std::string>{"MESSAGE_BODY", "MESSAGE_BODY", "MODE", "SENDER_LIST"}))
      << warnings.dump();

  Outcome clean =
      Corvane("check " + Quoted(source / "examples/docops/approved-contracts.json") + " " +
              Quoted(source / "examples/tasks/review-handed-in-from-another-step.json"));
  EXPECT_EQ(clean.status, 0) << clean.out;
  EXPECT_EQ(clean.out, "");
}

}  // namespace
