// The built `corvane` binary, run as a user runs it: every bundled example passes,
// failures show the whole source chain, malformed scenarios give one message and
// exit 2, the JSON report carries the text report's facts, and `describe` agrees
// with what the classes actually read and write.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "corvane/catalogue.h"
#include "run_corvane.h"

namespace {

using namespace corvane::cli_test;

std::vector<fs::path> Examples(const char* folder = "examples") {
  std::vector<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(fs::path(CORVANE_SOURCE_DIR) / folder))
    if (e.path().extension() == ".json") out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

std::set<std::string> Names(const Json& list) {
  std::set<std::string> out;
  for (const Json& n : list) out.insert(n.get<std::string>());
  return out;
}

TEST(ExamplesTest, EveryExamplePassesAndStaysWithinWhatDescribeLists) {
  Outcome describe = Corvane("describe --all --json");
  ASSERT_EQ(describe.status, 0) << describe.err;
  std::map<std::string, Json> described;
  for (const Json& d : Json::parse(describe.out)) described[d["name"]] = d;
  ASSERT_EQ(described.size(), corvane::kClassCount);

  std::vector<fs::path> examples = Examples();
  ASSERT_GE(examples.size(), 5u);
  // The Windows check compares these with the DLL; here they must pass as written.
  for (const fs::path& scenario : Examples("tests/windows/scenarios")) examples.push_back(scenario);
  std::set<std::string> classes_run;
  for (const fs::path& example : examples) {
    SCOPED_TRACE(example.string());
    Outcome run = Corvane("run --json " + Quoted(example));
    ASSERT_EQ(run.status, 0) << run.err << run.out.substr(0, 4000);
    Json report = Json::parse(run.out)["scenarios"][0];
    ASSERT_TRUE(report["passed"].get<bool>());
    std::vector<Json> calls(report["calls"].begin(), report["calls"].end());
    if (report.contains("workflow"))
      for (const Json& event : report["workflow"]["events"])
        calls.insert(calls.end(), event["calls"].begin(), event["calls"].end());
    for (const Json& call : calls) {
      const std::string name = call["class"];
      classes_run.insert(name);
      const Json& d = described.at(name);
      std::set<std::string> task_parameters = Names(d["task_parameters"]);
      std::set<std::string> step_parameters = Names(d["step_parameters"]);
      std::set<std::string> written = Names(d["variables_written"]);
      std::set<std::string> variables = Names(d["variables_read"]);
      variables.insert(written.begin(), written.end());
      for (const Json& entry : call["journal"]) {
        const std::string op = entry["op"], target = entry["target"];
        if (op != "IParameters.Item" && op != "IParameters.Exists" && op != "IVariables.Item")
          continue;
        const Json& arg = entry["args"][0]["value"];
        if (arg["type"] != "String") continue;  // the item list is read by position
        const std::string used = arg["value"];
        if (op == "IVariables.Item") {
          if (target.starts_with("task ")) {
            EXPECT_TRUE(variables.count(used)) << name << " uses variable " << used;
          }
        } else if (target.starts_with("task ")) {
          EXPECT_TRUE(task_parameters.count(used)) << name << " reads task parameter " << used;
        } else {
          EXPECT_TRUE(step_parameters.count(used)) << name << " reads step parameter " << used;
        }
      }
      for (const Json& w : call["variable_writes"])
        EXPECT_TRUE(written.count(w["name"])) << name << " writes " << w["name"];
    }
  }
  // Every catalogue class runs in some example.
  for (const corvane::ClassInfo& c : corvane::kCatalogue)
    EXPECT_TRUE(classes_run.count(std::string(c.name))) << "no example runs " << c.name;
}

TEST(FailingStepTest, ReportShowsNumberDescriptionAndEveryLocationOfTheChain) {
  const fs::path example =
      fs::path(CORVANE_SOURCE_DIR) / "examples/errors/unknown-entity-type.json";
  Outcome run = Corvane("run " + Quoted(example));
  EXPECT_EQ(run.status, 0) << "the example expects the failure";
  EXPECT_NE(run.out.find("Raised error -2147467259 (0x80004005): Invalid XPath expression"),
            std::string::npos)
      << run.out;
  for (const char* location :
       {"     Corvane.XmlDocument\n", "     MarkAsRecord:ProcessItems Ln 1\n",
        "     MarkAsRecord: IActivityRuntime_Execute Function Ln 8\n"})
    EXPECT_NE(run.out.find(location), std::string::npos) << location;

  // The same step with an expectation that does not hold: exit 1 and a diff.
  Json scenario = Json::parse(Slurp(example));
  scenario["expect"]["error"]["chain"][1] = "MarkAsRecord:ProcessItems Ln 99";
  Outcome failed = Corvane("run " + Quoted(WriteScenario("wrong-chain.json", scenario.dump())));
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.out.find("error.chain[1]\n       expected: MarkAsRecord:ProcessItems Ln 99\n"
                            "       actual:   MarkAsRecord:ProcessItems Ln 1"),
            std::string::npos)
      << failed.out;
}

TEST(FailingStepTest, AStepThatRaisesWithoutAnErrorExpectationFails) {
  Json scenario =
      Json::parse(Slurp(fs::path(CORVANE_SOURCE_DIR) / "examples/errors/unknown-entity-type.json"));
  scenario["expect"] = {{"result", 1}};
  Outcome run = Corvane("run " + Quoted(WriteScenario("unexpected-error.json", scenario.dump())));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("actual:   error -2147467259"), std::string::npos) << run.out;
}

TEST(JsonReportTest, HoldsTheFactsOfTheTextReport) {
  const std::string example =
      Quoted(fs::path(CORVANE_SOURCE_DIR) / "examples/records/records-lifecycle.json");
  Outcome text = Corvane("run " + example);
  Outcome json = Corvane("run --json " + example);
  ASSERT_EQ(text.status, 0);
  ASSERT_EQ(json.status, 0);
  Json report = Json::parse(json.out)["scenarios"][0];
  ASSERT_EQ(report["calls"].size(), 3u);
  size_t facts = 0;
  for (const Json& call : report["calls"]) {
    for (const Json& line : call["dms_calls"]) {
      EXPECT_NE(text.out.find(line.get<std::string>()), std::string::npos) << line;
      ++facts;
    }
    for (const Json& w : call["variable_writes"]) {
      std::string shown =
          w["name"].get<std::string>() + " = " + w["value"]["text"].get<std::string>() + " (" +
          w["value"]["type"].get<std::string>() + ") on " + w["owner"].get<std::string>();
      EXPECT_NE(text.out.find(shown), std::string::npos) << shown;
      ++facts;
    }
    EXPECT_TRUE(call["held_references"].empty());
  }
  // Per call: Connect, one operation per document, Disconnect, and two writes.
  EXPECT_EQ(facts, 3u * (5 + 2));
  // The fault on document 18 shows in the journal with its error.
  const Json& journal = report["calls"][0]["journal"];
  bool refused = false;
  for (const Json& e : journal)
    refused |= e.contains("error") && e["error"]["description"] == "Document 18 is checked out";
  EXPECT_TRUE(refused);
}

TEST(ClassesTest, RegistrationListsEveryCatalogueClassAndUnregistrationRemovesThem) {
  Outcome classes = Corvane("classes --json");
  ASSERT_EQ(classes.status, 0) << classes.err;
  Json list = Json::parse(classes.out)["classes"];
  ASSERT_EQ(list.size(), corvane::kClassCount);
  for (size_t i = 0; i < list.size(); ++i) {
    const corvane::ClassInfo& c = corvane::kCatalogue[i];
    EXPECT_EQ(list[i]["progid"], "Corvane." + std::string(c.name));
    EXPECT_EQ(list[i]["clsid"], pelmark::GuidToString(c.clsid));
    EXPECT_EQ(list[i]["iid"], pelmark::GuidToString(c.default_iid));
  }

  const fs::path registry = Scratch() / "registry";
  fs::remove_all(registry);
  EXPECT_EQ(Corvane("register --registry " + Quoted(registry)).status, 0);
  Outcome registered = Corvane("classes --registry " + Quoted(registry));
  EXPECT_EQ(registered.status, 0) << registered.out;
  EXPECT_NE(registered.out.find("Corvane.ResetOnHold"), std::string::npos);
  Outcome run =
      Corvane("run --registry " + Quoted(registry) + " " +
              Quoted(fs::path(CORVANE_SOURCE_DIR) / "examples/records/mark-as-vital.json"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Corvane("unregister --registry " + Quoted(registry)).status, 0);
  Outcome gone = Corvane("classes --registry " + Quoted(registry));
  EXPECT_EQ(gone.status, 1);
  EXPECT_NE(gone.out.find("Corvane.ResetOnHold"), std::string::npos);
  EXPECT_NE(gone.out.find("(not registered)"), std::string::npos);
  Outcome unregistered_run =
      Corvane("run --registry " + Quoted(registry) + " " +
              Quoted(fs::path(CORVANE_SOURCE_DIR) / "examples/records/mark-as-vital.json"));
  EXPECT_EQ(unregistered_run.status, 2);
  EXPECT_NE(unregistered_run.err.find("Corvane.MarkAsVital is not registered"), std::string::npos);
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(RegistrationTest, FailuresNameThePathAndTheReasonAndExitTwo) {
  // A registry below a plain file can be neither written nor read, even by root.
  const fs::path file = Scratch() / "plain-file";
  std::ofstream(file) << "a file";
  for (const char* command : {"register", "unregister"}) {
    Outcome outcome = Corvane(std::string(command) + " --registry " + Quoted(file / "registry"));
    EXPECT_EQ(outcome.status, 2) << command << ": " << outcome.out;
    EXPECT_NE(outcome.err.find((file / "registry").string()), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("Not a directory"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out, "");
  }
}

// A read-only registry: a read-only bind mount in a private mount namespace, the
// one way to stop root from removing files. Hosts without user namespaces skip it.
// The scratch path has no spaces or quotes, so it goes unquoted inside sh -c '...'.
TEST(RegistrationTest, UnregisteringFromAReadOnlyRegistryNamesEveryEntryItLeaves) {
  const fs::path registry = Scratch() / "read-only-registry";
  fs::remove_all(registry);
  fs::create_directories(registry);
  const std::string mount_read_only = "unshare -rm sh -c 'mount --bind " + registry.string() + " " +
                                      registry.string() + " && mount -o remount,ro,bind " +
                                      registry.string() + " " + registry.string() + " && ";
  if (std::system(
          (mount_read_only + "! touch " + (registry / "probe").string() + "' >/dev/null 2>&1")
              .c_str()) != 0)
    GTEST_SKIP() << "no private mount namespace for a read-only registry here";

  ASSERT_EQ(Corvane("register --registry " + Quoted(registry)).status, 0);
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(registry))
    if (e.is_regular_file()) files.push_back(e.path().string());
  ASSERT_GT(files.size(), corvane::kClassCount * 10);

  Outcome outcome =
      Corvane("unregister --registry " + registry.string() + "'", mount_read_only + "exec ");
  EXPECT_EQ(outcome.status, 2) << outcome.out;
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(Occurrences(outcome.err, "Read-only file system"), files.size()) << outcome.err;
  for (const std::string& f : files)
    EXPECT_NE(outcome.err.find("cannot remove " + f + ": "), std::string::npos) << f;
  size_t still_there = 0;
  for (const std::string& f : files) still_there += fs::exists(f);
  EXPECT_EQ(still_there, files.size());

  // Once writable again, unregistration removes it all.
  EXPECT_EQ(Corvane("unregister --registry " + Quoted(registry)).status, 0);
  EXPECT_TRUE(fs::is_empty(registry));
}

TEST(ClassesTest, DescribeFindsAClassByNameProgIdOrClsidInAnyCase) {
  Outcome put_on_hold = Corvane("describe PutOnHold");
  ASSERT_EQ(put_on_hold.status, 0);
  EXPECT_NE(put_on_hold.out.find("Task parameters       REASON\n"), std::string::npos)
      << put_on_hold.out;
  EXPECT_NE(put_on_hold.out.find("Variables written     PUTONHOLDON, PUTOBHOLD\n"),
            std::string::npos);
  Outcome by_name = Corvane("describe MarkAsVital");
  ASSERT_EQ(by_name.status, 0) << by_name.err;
  EXPECT_NE(by_name.out.find("Parameter REASON (task, text, required)"), std::string::npos)
      << by_name.out;
  EXPECT_NE(by_name.out.find("\"MarkAsVital:ProcessItems Ln \""), std::string::npos);
  for (const char* spelling :
       {"corvane.markasvital", "{3077EE4C-C191-4082-97D0-06A0B6A3C68C}",
        "3077ee4c-c191-4082-97d0-06a0b6a3c68c", "'{3077ee4c-c191-4082-97d0-06a0b6a3c68c}'"}) {
    SCOPED_TRACE(spelling);
    Outcome other = Corvane(std::string("describe ") + spelling);
    EXPECT_EQ(other.status, 0) << other.err;
    EXPECT_EQ(other.out, by_name.out);
  }
  EXPECT_EQ(Corvane("describe NoSuchClass").status, 2);
  Outcome unknown = Corvane("describe {00000000-0000-0000-0000-000000000000}");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown class"), std::string::npos) << unknown.err;
  EXPECT_TRUE(unknown.out.empty());

  Outcome json = Corvane("describe --json Wait");
  ASSERT_EQ(json.status, 0);
  Json wait = Json::parse(json.out);
  EXPECT_EQ(wait["clsid"], "{DC2B4C72-9AD7-446F-9BA4-A1E0D60E4B98}");
  ASSERT_EQ(wait["parameters"].size(), 4u);
  EXPECT_EQ(wait["parameters"][2]["name"], "INTERVAL_TYPE");
  EXPECT_EQ(wait["parameters"][2]["required"], true);

  Outcome markdown = Corvane("describe --markdown Notify");
  EXPECT_EQ(markdown.out, Slurp(fs::path(CORVANE_SOURCE_DIR) / "docs/classes/Notify.md"));
  EXPECT_EQ(Corvane("describe --json --markdown Notify").status, 2);
}

TEST(HelpTest, EveryCommandAnswersHelpAlsoThroughTheHelpCommand) {
  for (const char* command :
       {"run", "classes", "register", "unregister", "describe", "new", "template"}) {
    SCOPED_TRACE(command);
    Outcome help = Corvane(std::string(command) + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: corvane")) << help.out;
    Outcome through_help = Corvane(std::string("help ") + command);
    EXPECT_EQ(through_help.status, 0);
    EXPECT_EQ(through_help.out, help.out);
  }
  for (const char* command : {"--help", "help"}) {
    Outcome help = Corvane(command);
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: corvane")) << command;
  }
  Outcome wrong = Corvane("run --jsno x.json");
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("unknown option --jsno"), std::string::npos);
  Outcome unknown = Corvane("help frobnicate");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("no command \"frobnicate\""), std::string::npos);
}

TEST(NewScenarioTest, EverySkeletonRunsAsItIs) {
  std::string files;
  for (const corvane::ClassInfo& c : corvane::kCatalogue) {
    const std::string name(c.name);
    SCOPED_TRACE(name);
    const fs::path file = Scratch() / (name + ".json");
    Outcome made = Corvane("new --output " + file.string() + " " + name);
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(Json::parse(Slurp(file))["class"], name);
    files += " " + file.string();
  }
  // One run for all: loading the module is the slow part.
  Outcome run = Corvane("run --json" + files);
  EXPECT_EQ(run.status, 0) << run.err;
  Json reports = Json::parse(run.out)["scenarios"];
  ASSERT_EQ(reports.size(), corvane::kClassCount);
  for (const Json& report : reports) {
    EXPECT_TRUE(report["passed"].get<bool>()) << report.dump(1).substr(0, 3000);
    // A skeleton has no expectations, so a call that raised would still pass.
    for (const Json& call : report["calls"])
      EXPECT_TRUE(call["error"].is_null())
          << call["class"] << "." << call["method"] << ": " << call["error"].dump();
  }

  // The skeleton declares what the class writes, so a designer sees the writes.
  Json vital = Json::parse(Corvane("new MarkAsVital").out);
  EXPECT_EQ(vital["tasks"][0]["parameters"].size(), 1u);
  EXPECT_TRUE(vital["tasks"][0]["variables"].contains("ISVITAL"));
  EXPECT_TRUE(vital["tasks"][0]["variables"].contains("MARKEDASRECORDON"));

  // An existing file is kept unless --force; an unknown class writes nothing.
  const fs::path kept = Scratch() / "kept.json";
  std::ofstream(kept) << "mine";
  EXPECT_EQ(Corvane("new --output " + kept.string() + " Wait").status, 2);
  EXPECT_EQ(Slurp(kept), "mine");
  EXPECT_EQ(Corvane("new --force --output " + kept.string() + " Wait").status, 0);
  EXPECT_NE(Slurp(kept), "mine");
  const fs::path none = Scratch() / "none.json";
  EXPECT_EQ(Corvane("new --output " + none.string() + " Waitt").status, 2);
  EXPECT_FALSE(fs::exists(none));
}

}  // namespace
