// docs/scenario.schema.json, the schema editors use to complete and check
// scenario files: every bundled example and a new skeleton satisfy it, scenarios
// the reader refuses are refused by the schema too, at the same place, and so
// are parameters the scenario's class does not take (docs/classes/*.schema.json).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_corvane.h"

namespace {

using namespace corvane::cli_test;

const fs::path kSource = CORVANE_SOURCE_DIR;

struct Validation {
  int status;
  std::string out, err;
};

Validation Validate(const std::vector<fs::path>& files) {
  const fs::path out = Scratch() / "schema-out", err = Scratch() / "schema-err";
  std::string command = "python3 " + Quoted(kSource / "tests/cli/validate_scenarios.py") + " " +
                        Quoted(kSource / "docs/scenario.schema.json");
  for (const fs::path& f : files) command += " " + Quoted(f);
  command += " >" + out.string() + " 2>" + err.string();
  int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
}

TEST(ScenarioSchemaTest, EveryExampleIsValid) {
  std::vector<fs::path> examples;
  for (const auto& e : fs::recursive_directory_iterator(kSource / "examples"))
    if (e.path().extension() == ".json") examples.push_back(e.path());
  ASSERT_GT(examples.size(), 10u);
  // What `corvane new` writes, "$schema" and each sample value included.
  const fs::path skeleton = Scratch() / "skeleton-notify.json";
  ASSERT_EQ(Corvane("new --output " + Quoted(skeleton) + " Notify").status, 0);
  examples.push_back(skeleton);
  Validation v = Validate(examples);
  ASSERT_NE(v.status, 2) << "the schema check could not run: " << v.err;
  EXPECT_EQ(v.status, 0) << v.out;
  size_t ok = 0;
  for (size_t at = v.out.find("ok "); at != std::string::npos; at = v.out.find("\nok ", at + 1))
    ++ok;
  EXPECT_EQ(ok, examples.size()) << v.out;
}

TEST(ScenarioSchemaTest, ScenariosTheReaderRefusesFailTheSchemaAtTheSamePlace) {
  struct Bad {
    const char* name;
    const char* text;
    const char* place;  // as the schema check writes it
    bool read = false;  // the reader takes it: only the class's schema refuses it
  };
  const Bad cases[] = {
      {"misspelt-key.json", R"({"class": "MarkAsVital", "taks": []})", "(top): Additional"},
      {"no-class.json", R"({"tasks": [{"id": 5}]})", "(top): 'class' is a required"},
      {"bad-method.json",
       R"({"class": "MarkAsVital", "tasks": [{"id": 5}], "calls": [{"method": "Run"}]})",
       "calls.0.method"},
      {"bad-kind.json",
       R"({"class": "MarkAsVital", "tasks": [{"id": 5, "parameters": {"REASON": {"long": "x"}}}]})",
       "tasks.0.parameters.REASON"},
      {"bad-date.json", R"({"class": "MarkAsVital", "now": "14.03.2025"})", "now"},
      {"expect-beside-calls.json",
       R"({"class": "MarkAsVital", "tasks": [{"id": 5}], "calls": [{"method": "Execute"}],
           "expect": {"result": 1}})",
       "(top)"},
      {"negative-skip.json",
       R"({"class": "MarkAsVital", "faults": [{"op": "IDmsService.MarkAsVital", "skip": -1}]})",
       "faults.0.skip"},
      {"workflow-event-typo.json",
       R"({"now": "2025-01-01", "workflow": {"steps": [{"name": "a", "class": "Wait",
           "tasks": [{"id": 1}]}]}, "events": [{"after": {"days": 1}, "anser": {"task": 1}}]})",
       "events.0: Additional"},
      {"schema-not-text.json", R"({"$schema": 5, "class": "MarkAsVital", "tasks": [{"id": 5}]})",
       "$schema"},
      {"misspelt-parameter.json",
       R"({"class": "Corvane.MarkAsVital", "tasks": [{"id": 5, "parameters": {"RESON": "x"}}]})",
       "tasks.0.parameters: 'RESON'", true},
      {"choice-outside.json",
       R"({"class": "Notify", "tasks": [{"id": 5, "parameters": {"SENDER_LIST": "",
           "MESSAGE_BODY": "Hi", "subject": "S", "Mode": {"string": "e-mail"}}}]})",
       "tasks.0.parameters.Mode", true},
  };
  // One run of the schema check for all of them: it prints a line per file.
  std::vector<fs::path> files;
  for (const Bad& bad : cases) files.push_back(WriteScenario(bad.name, bad.text));
  Validation v = Validate(files);
  ASSERT_NE(v.status, 2) << "the schema check could not run: " << v.err;
  EXPECT_EQ(v.status, 1);
  for (size_t i = 0; i < files.size(); ++i) {
    const Bad& bad = cases[i];
    EXPECT_EQ(v.out.find("ok " + files[i].string() + "\n"), std::string::npos)
        << bad.name << " passed the schema";
    EXPECT_NE(v.out.find(files[i].string() + ": " + bad.place), std::string::npos)
        << bad.name << ":\n"
        << v.out;
    EXPECT_EQ(Corvane("run " + Quoted(files[i])).status == 2, !bad.read)
        << bad.name << (bad.read ? " is refused" : " is read") << " by corvane";
  }
}

}  // namespace
