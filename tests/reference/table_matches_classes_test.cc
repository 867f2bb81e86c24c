// The class reference against the classes themselves: each class, run through
// the simulator with the parameters its reference lists, asks the host for
// exactly those parameters and variables, and renders exactly the template
// variables its reference names.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <span>

#include "activity_fixture.h"
#include "class_descriptions.h"
#include "reference_probe.h"

namespace corvane_test {
namespace {

using corvane::cli::ClassDescription;
using corvane::cli::ClassDescriptions;
using corvane::cli::FindDescription;

std::set<std::string> SetOf(const std::vector<std::string>& names) {
  return {names.begin(), names.end()};
}

std::string Listed(const std::set<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out.empty() ? "none" : out;
}

// Everything a class asked for over the three item-list kinds.
struct ClassUse {
  ProbeUse all;
  std::map<std::string, std::vector<ProbeError>> errors;  // by item-list kind
};

ClassUse ProbeAllKinds(const ClassDescription& d, std::span<const ProbeKind> kinds = kProbeKinds) {
  ClassUse out;
  for (ProbeKind kind : kinds) {
    TestPlatform platform;
    sim::Simulator sim;
    SetUpProbe(sim, d, kind);
    ProbeUse use = RunProbe(sim, d);
    out.all.task_parameters.merge(use.task_parameters);
    out.all.step_parameters.merge(use.step_parameters);
    out.all.variables_read.merge(use.variables_read);
    out.all.variables_written.merge(use.variables_written);
    if (!use.errors.empty()) out.errors[ProbeKindName(kind)] = use.errors;
  }
  return out;
}

class ReferenceTableTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ReferenceTableTest, NamesExactlyTheParametersAndVariablesTheClassUses) {
  const ClassDescription& d = *FindDescription(GetParam());
  ClassUse use = ProbeAllKinds(d);
  // With every parameter at its sample value the class runs cleanly; otherwise
  // the comparison below would miss what it reads after the failure.
  for (const auto& [kind, errors] : use.errors)
    for (const ProbeError& e : errors)
      ADD_FAILURE() << d.name << " over " << kind << ": " << e.ToString();

  EXPECT_EQ(use.all.task_parameters, SetOf(d.task_parameters))
      << d.name << " reads the task parameters " << Listed(use.all.task_parameters);
  EXPECT_EQ(use.all.step_parameters, SetOf(d.step_parameters))
      << d.name << " reads the step parameters " << Listed(use.all.step_parameters);
  EXPECT_EQ(use.all.variables_written, SetOf(d.variables_written))
      << d.name << " writes " << Listed(use.all.variables_written);

  // Variables read by the class's own logic must be listed; a template may read
  // the answer variables too, which the template variables name.
  std::set<std::string> readable = SetOf(d.variables_read);
  for (const auto& t : d.template_variables) readable.insert(t.name);
  for (const std::string& name : d.variables_written) readable.insert(name);
  for (const std::string& name : use.all.variables_read)
    EXPECT_TRUE(readable.count(name))
        << d.name << " reads " << name << ", which its reference does not list";
  for (const std::string& name : d.variables_read)
    EXPECT_TRUE(use.all.variables_read.count(name))
        << d.name << "'s reference lists " << name << " as read, but no run reads it";
}

// Whether `element` of an error chain is `location` followed by its line number.
bool AtLocation(const std::string& element, const std::string& location) {
  if (!element.starts_with(location)) return false;
  std::string rest = element.substr(location.size());
  if (location.ends_with("(")) {
    if (!rest.ends_with(")")) return false;
    rest.pop_back();
  }
  return !rest.empty() && std::all_of(rest.begin(), rest.end(), ::isdigit);
}

// The template engine's own locations come before the class's; the engine's
// page documents them.
bool EngineLocation(const std::string& element) {
  return element.starts_with("CFormatParser:") || element.starts_with("CVariable:") ||
         element.starts_with("CResources");
}

void ExpectLocationsListed(const ClassDescription& d, const std::string& context,
                           const std::vector<ProbeError>& errors) {
  for (const ProbeError& e : errors)
    for (size_t i = 1; i < e.chain.size(); ++i) {
      if (EngineLocation(e.chain[i])) continue;
      bool listed = std::any_of(d.errors.begin(), d.errors.end(), [&](const auto& doc) {
        return AtLocation(e.chain[i], doc.location);
      });
      EXPECT_TRUE(listed) << d.name << " " << context << " raised through \"" << e.chain[i]
                          << "\", a location its reference does not list: " << e.ToString();
    }
}

TEST_P(ReferenceTableTest, RequiredParametersFailWhenAbsentAndOptionalOnesDoNot) {
  const ClassDescription& d = *FindDescription(GetParam());
  for (const auto& p : d.parameters) {
    ClassDescription without = d;
    std::erase_if(without.parameters, [&](const auto& other) {
      return other.name == p.name && other.scope == p.scope;
    });
    ClassUse use = ProbeAllKinds(without);
    std::vector<ProbeError> errors;
    for (const auto& [kind, list] : use.errors)
      errors.insert(errors.end(), list.begin(), list.end());
    const std::string context = "without " + p.name;
    if (!p.required) {
      for (const ProbeError& e : errors)
        ADD_FAILURE() << d.name << " " << context << " (optional, default " << p.default_value
                      << ") failed: " << e.ToString();
    } else if (d.family != "Records-management flags") {
      // The flag walk swallows the host's refusal item by item, as REASON's entry says.
      EXPECT_FALSE(errors.empty())
          << d.name << " runs " << context << ", which its reference calls required";
    }
    ExpectLocationsListed(d, context, errors);
  }
}

TEST_P(ReferenceTableTest, FaultyItemListsRaiseThroughListedLocations) {
  const ClassDescription& d = *FindDescription(GetParam());
  const ProbeKind faulty[] = {ProbeKind::kNoAttributes, ProbeKind::kUnknownKind};
  ClassUse use = ProbeAllKinds(d, faulty);
  for (const auto& [kind, errors] : use.errors) ExpectLocationsListed(d, "over " + kind, errors);
}

std::vector<std::string> ClassNames() {
  std::vector<std::string> out;
  for (const ClassDescription& d : ClassDescriptions()) out.push_back(d.name);
  return out;
}

INSTANTIATE_TEST_SUITE_P(EveryClass, ReferenceTableTest, ::testing::ValuesIn(ClassNames()),
                         [](const auto& info) { return info.param; });

// The probe itself must notice a parameter the table leaves out, or the
// comparison above proves nothing.
TEST(ReferenceProbeTest, NoticesAParameterMissingFromTheTable) {
  ClassDescription delete_step = *FindDescription("Delete");
  std::erase_if(delete_step.parameters, [](const auto& p) { return p.name == "REASON"; });
  TestPlatform platform;
  sim::Simulator sim;
  SetUpProbe(sim, delete_step, ProbeKind::kDocuments);
  ProbeUse use = RunProbe(sim, delete_step);
  EXPECT_TRUE(use.task_parameters.count("REASON"));
  ASSERT_EQ(use.errors.size(), 1u);
  EXPECT_EQ(use.errors[0].method, "Execute");
  EXPECT_EQ(use.errors[0].number, 5);
}

// --- Template variables ------------------------------------------------------------

// Every name any template resolver knows, so that a name a class provides but
// its reference leaves out is found as well as the reverse.
const std::vector<std::string> kEveryTemplateName = {
    "APPROVED",      "REVIEWED",      "COMMENTS",      "DETAILS",      "APPROVALDATE",
    "REVIEWDATE",    "RESOURCENAME",  "RESOURCEID",    "RESOURCETYPE", "TASKID",
    "TASKINDEX",     "PROCESSID",     "ACTIVITYID",    "PROCESSNAME",  "INITIATORCOMMENT",
    "INITIATORID",   "INITIATORNAME", "INITIATORTYPE", "dmsobject.id", "dmsobject.name",
    "dmsobject.link"};

std::string TemplateFor(const std::string& name) {
  if (name.starts_with("dmsobject.")) return "{{N:dmsobject\"[\\0]\"," + name + "}}";
  return "{{\"[\\0]\"," + name + "}}";
}

// What the class renders for a template naming one variable: DETAILS for the
// task steps, the message body for Notify.
std::string Rendered(const ClassDescription& d, const std::string& variable) {
  TestPlatform platform;
  sim::Simulator sim;
  ClassDescription configured = d;
  for (auto& p : configured.parameters)
    if (p.name == "DETAIL_FORMAT" || p.name == "MESSAGE_BODY") p.sample = TemplateFor(variable);
  for (auto& v : configured.reads)
    if (v.name == "DETAILS") v.sample = "Earlier details";
  // The review answer is read only through a template, so the table does not declare it.
  if (d.name == "Review") configured.reads.push_back({"REVIEWED", "Boolean", "", true});
  SetUpProbe(sim, configured, ProbeKind::kDocuments);
  pelmark::ComPtr<pelmark::IActivityRuntime> activity = NewActivity(d.name);
  pelmark::ITask* task = sim.Task(kTaskId);
  activity->Execute(sim.Services(), task);
  if (d.name == "Notify") return sim.Messages().at(0).Property("Body").string_value();
  for (const sim::VariableWrite& w : sim.TaskVariableWrites())
    if (w.name == "DETAILS") return w.value.string_value();
  throw std::logic_error(d.name + " wrote no DETAILS");
}

TEST(TemplateVariablesTest, EachClassRendersExactlyTheNamesItsReferenceLists) {
  for (const char* class_name : {"DocApproval", "Review", "Notify"}) {
    const ClassDescription& d = *FindDescription(class_name);
    std::set<std::string> listed;
    for (const auto& t : d.template_variables) listed.insert(t.name);
    for (const std::string& name : kEveryTemplateName) {
      SCOPED_TRACE(std::string(class_name) + " " + name);
      std::string text;
      try {
        text = Rendered(d, name);
      } catch (const std::exception& e) {
        ADD_FAILURE() << "Execute failed: " << e.what();
        continue;
      }
      if (listed.count(name))
        EXPECT_NE(text, "[]") << "listed but renders nothing";
      else
        EXPECT_EQ(text, "[]") << "renders a value its reference does not list";
    }
  }
}

}  // namespace
}  // namespace corvane_test
