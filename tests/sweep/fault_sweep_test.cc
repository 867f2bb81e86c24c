// The fault sweep: every class runs a realistic scenario once to learn which host
// and DMS calls it makes, then once more for each of those calls with that one
// call failing. Whatever fails, the host must see the injected error number and
// description unchanged, a source chain that starts at the injected source and
// ends at the class's entry method, one event-log entry per logged procedure the
// error passed through, and no simulator object still held. Where a class
// suppresses an error by design (per-item work in walks, missing fields), the
// call completes and nothing is logged.
#include "fault_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <regex>
#include <set>

#include "contract_operations.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

// Faults injected per class over the whole run, printed once at the end.
class FaultCounts : public ::testing::Environment {
 public:
  static void Add(const std::string& class_name, size_t count) { counts()[class_name] += count; }
  void TearDown() override {
    if (counts().empty()) return;
    size_t total = 0;
    std::cout << "Faults injected per class:\n";
    for (const auto& [name, count] : counts()) {
      std::cout << "  " << name << " " << count << "\n";
      total += count;
    }
    std::cout << "  total " << total << " in " << counts().size() << " classes\n";
  }

 private:
  static std::map<std::string, size_t>& counts() {
    static std::map<std::string, size_t> map;
    return map;
  }
};

[[maybe_unused]] ::testing::Environment* const kCounts =
    ::testing::AddGlobalTestEnvironment(new FaultCounts);

// --- What the source chain must look like -------------------------------------

// The prefix a class writes before its locations: the approval step writes
// "Approval", every other class its own name.
std::string OwnerOf(const std::string& class_name) {
  return class_name == "DocApproval" ? "Approval" : class_name;
}

// The location the entry method appends, as a pattern.
std::regex EntryLocation(const Scenario& s) {
  static const std::set<std::string> bracketed = {"DocApproval", "Review", "ToDo"};
  std::string method;
  switch (s.entry) {
    case Entry::kInitialize:
      method = "IActivityRuntime_Initialize Sub";
      break;
    case Entry::kExecute:
      method = "IActivityRuntime_Execute Function";
      break;
    case Entry::kEvaluate:
      method = "IActivityRuntime_EvaluateCompositeTask Function";
      break;
  }
  bool brackets = bracketed.count(s.class_name) > 0 ||
                  (s.class_name == "Signature" && s.entry == Entry::kInitialize);
  return std::regex(OwnerOf(s.class_name) + ": " + method +
                    (brackets ? " \\(\\d+\\)" : " Ln \\d+"));
}

// Procedures that report without an event-log entry, by owner; "*" means every
// procedure of that owner.
bool IsQuiet(const std::string& owner, const std::string& procedure) {
  static const std::set<std::string> human_task = {"AddNote",           "AuditEvent",
                                                   "Auditevent",        "AuditDocumentEvent",
                                                   "AuditStackEvent",   "AuditRecordSeriesEvent",
                                                   "SetObjectVariable", "ProcessDocument",
                                                   "ProcessStack"};
  static const std::map<std::string, std::set<std::string>> quiet = {
      {"DocApproval", human_task},
      {"Review", human_task},
      {"ToDo", human_task},
      {"Signature", {"Auditevent", "AuditDocumentEvent"}},
      {"Notify",
       {"GetSenderList", "AddGroupMembers", "AddMemberInRole", "FormatTemplate",
        "SetObjectVariable"}},
      {"CFormatParser", {"*"}},
      {"CVariable", {"*"}},
      {"CResources", {"*"}},
  };
  auto it = quiet.find(owner);
  return it != quiet.end() && (it->second.count("*") || it->second.count(procedure));
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos;
       start = at + separator.size())
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

// Checks the chain's shape and returns how many of its locations log.
size_t CheckChain(const Scenario& s, const std::string& chain, const std::string& injected_source) {
  static const std::regex public_form(R"(([A-Za-z]+): ([A-Za-z_]+) Function Ln \d+)");
  static const std::regex private_form(R"(([A-Za-z]+):([A-Za-z_]+) Ln \d+)");
  static const std::regex bracketed_form(R"(([A-Za-z]+): ?([A-Za-z_]+)( [A-Za-z]+)? \(\d+\))");
  constexpr std::string_view kArrow = " => ";
  std::vector<std::string> parts = Split(chain, "\r\n");
  EXPECT_GE(parts.size(), 2u) << "no location in " << ::testing::PrintToString(chain);
  std::string first = parts[0];
  bool arrow = first.ends_with(kArrow);
  if (arrow) first.resize(first.size() - kArrow.size());
  EXPECT_EQ(first, injected_source) << "the chain must start at the failing call";
  size_t logged = 0;
  for (size_t i = 1; i < parts.size(); ++i) {
    std::string location = parts[i];
    bool next_arrow = location.ends_with(kArrow);
    if (next_arrow) location.resize(location.size() - kArrow.size());
    std::smatch m;
    bool well_formed = arrow ? std::regex_match(location, m, private_form) ||
                                   std::regex_match(location, m, bracketed_form)
                             : std::regex_match(location, m, public_form);
    EXPECT_TRUE(well_formed) << "location " << i << " " << ::testing::PrintToString(location)
                             << (arrow ? " after \" => \"" : " without \" => \"");
    if (well_formed && !IsQuiet(m[1], m[2])) ++logged;
    arrow = next_arrow;
  }
  EXPECT_FALSE(arrow) << "the chain ends with a dangling \" => \"";
  EXPECT_TRUE(std::regex_match(parts.back(), EntryLocation(s)))
      << "the chain must end at the entry method: " << ::testing::PrintToString(parts.back());
  return logged;
}

// --- The sweep ------------------------------------------------------------------

// The fault that fails journal entry `index` of a run and no other call.
sim::Fault FaultAt(const std::vector<sim::Call>& journal, size_t index) {
  const sim::Call& call = journal[index];
  int32_t earlier = 0;
  for (size_t i = 0; i < index; ++i)
    if (journal[i].op == call.op && journal[i].target == call.target) ++earlier;
  // DMS objects answer with the DMS's source, host objects with the host's.
  static const std::vector<std::string_view> dms_interfaces = {
      "IDms", "IEntity", "IField", "ILookupField", "IChoiceField", "IQuery"};
  bool dms = false;
  for (std::string_view prefix : dms_interfaces) dms = dms || call.op.starts_with(prefix);
  return sim::Fault{
      .op = call.op,
      .target = call.target,
      .number = 7000 + static_cast<int32_t>(index),
      .source = std::string(dms ? sim::kDmsSource : sim::kHostSource),
      .description = "Injected failure of call " + std::to_string(index + 1) + " (" + call.op + ")",
      .skip = earlier,
      .times = 1};
}

class FaultSweepTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(FaultSweepTest, EveryFailingCallReachesTheHostIntactOrIsSuppressedByDesign) {
  const Scenario& s = GetParam();
  RunOutcome baseline = RunScenario(s, std::nullopt);
  ASSERT_TRUE(baseline.completed) << "the scenario itself fails: " << baseline.error_number << " "
                                  << baseline.error_source << " " << baseline.error_description;
  EXPECT_TRUE(baseline.log.empty()) << ::testing::PrintToString(baseline.log);
  EXPECT_TRUE(baseline.held.empty()) << ::testing::PrintToString(baseline.held);
  ASSERT_FALSE(baseline.journal.empty());
  // What the journal names, a scenario's fault can name too.
  for (const sim::Call& call : baseline.journal)
    EXPECT_TRUE(std::ranges::any_of(sim::kContractOperations,
                                    [&](const auto& op) { return op.name == call.op; }))
        << call.op << " is journaled but is no contract operation";

  size_t suppressed = 0;
  for (size_t index = 0; index < baseline.journal.size(); ++index) {
    sim::Fault fault = FaultAt(baseline.journal, index);
    SCOPED_TRACE("failing call " + std::to_string(index + 1) + " of " +
                 std::to_string(baseline.journal.size()) + ": " +
                 baseline.journal[index].ToString());
    RunOutcome run = RunScenario(s, fault);

    // The run repeats the scenario up to the failing call, which really failed.
    ASSERT_GT(run.journal.size(), index);
    for (size_t i = 0; i < index; ++i)
      ASSERT_EQ(run.journal[i].ToString(), baseline.journal[i].ToString()) << "call " << i + 1;
    ASSERT_EQ(run.journal[index].op, baseline.journal[index].op);
    ASSERT_EQ(run.journal[index].error_number, fault.number);

    EXPECT_TRUE(run.held.empty()) << ::testing::PrintToString(run.held);
    bool by_design = s.suppressed && s.suppressed(baseline.journal, index);
    if (by_design) {
      ++suppressed;
      EXPECT_TRUE(run.completed) << "a suppressed error failed the call: " << run.error_source;
      EXPECT_TRUE(run.log.empty())
          << "suppressed errors are not logged: " << ::testing::PrintToString(run.log);
      continue;
    }
    ASSERT_FALSE(run.completed) << "the failure was swallowed";
    EXPECT_EQ(run.error_number, fault.number);
    EXPECT_EQ(run.error_description, fault.description);
    size_t logged = CheckChain(s, run.error_source, fault.source);
    EXPECT_EQ(run.log, std::vector<std::string>(logged, fault.description))
        << "chain " << ::testing::PrintToString(run.error_source);
  }
  FaultCounts::Add(s.class_name, baseline.journal.size());
  std::cout << "[ sweep    ] " << s.class_name << " " << EntryName(s.entry) << ": "
            << baseline.journal.size() << " faults injected, " << suppressed
            << " suppressed by design\n";
}

INSTANTIATE_TEST_SUITE_P(AllClasses, FaultSweepTest, ::testing::ValuesIn(AllScenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                           return info.param.class_name + EntryName(info.param.entry);
                         });

TEST(FaultSweepCoverageTest, EveryClassOfTheCatalogueIsSwept) {
  std::set<std::string> swept;
  for (const Scenario& s : AllScenarios()) swept.insert(s.class_name);
  for (const corvane::ClassInfo& c : corvane::kCatalogue)
    EXPECT_TRUE(swept.count(std::string(c.name))) << c.name << " has no scenario";
}

}  // namespace
}  // namespace corvane_test
