// The mix of steps a host thread runs again and again: MarkAsVital and
// SetFieldValue over one workflow's item list, Notify to a group with a
// template, the evaluation of an approval whose three tasks are answered, and
// a Wait whose scheduled job has started. Each run makes its own objects
// through the loaded module and checks every result against what the steps
// must do, so that a fast wrong answer cannot pass for a fast right one.
//
// Threading: one StepMix per thread; the module may be shared.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "corvane/catalogue.h"
#include "corvane/loader.h"
#include "corvane/platform_override.h"
#include "minimal_host.h"

namespace corvane::host_bench {

// The clock every run sees (a Saturday, 5 December 2026, noon).
inline constexpr double kNow = 46361.5;
inline constexpr std::string_view kReason = "Quarterly review";
inline constexpr std::string_view kTemplate =
    R"(Dear {{"\0",RESOURCENAME}}, {{"\0",PROCESSNAME}} is ready for you.)";

// The module's own services with a fixed clock and no system log: every
// thread reads them at once, and the checks expect the same time.
class BenchPlatform final : public PlatformOverride {
 public:
  using PlatformOverride::PlatformOverride;
  double Now() override { return kNow; }
  void LogError(std::string_view) override {}
};

inline std::string DocumentList(int items) {
  std::string text =
      R"(<dmsobject entitytype="document" dbid="7" dbpath="" dbtype="1"><documents>)";
  for (int id = 1; id <= items; ++id)
    text += R"(<document id=")" + std::to_string(id) + R"(" name="Contract"/>)";
  return text + "</documents></dmsobject>";
}

class StepMix {
 public:
  // `journal`, when given, receives one line per host call of every run.
  StepMix(const ComponentModule& module, int items, std::vector<std::string>* journal = nullptr)
      : module_(module), items_(items), journal_(journal), list_(DocumentList(items)) {}

  // Runs the five steps once; returns what went wrong first, or empty text.
  std::string Run() {
    tally_ = Tally{};
    ComPtr<pelmark::IProcessInstance> instance = MakeHostObject<Instance>(list_, journal_);
    ComPtr<Services> services = MakeHostObject<Services>(
        instance, MakeHostObject<Dms>(tally_, journal_, std::string(kReason), kNow - 0.5),
        MakeHostObject<Notifications>(tally_, journal_));
    std::string wrong;
    try {
      wrong = RunSteps(services.get());
    } catch (const pelmark::Error& e) {
      wrong =
          "error " + std::to_string(e.number()) + ": " + e.description() + " (" + e.source() + ")";
    }
    if (wrong.empty()) wrong = tally_.wrong;
    return wrong;
  }

 private:
  std::string RunSteps(Services* services) {
    ComPtr<Task> vital = NewTask(
        {.parameters = {{"REASON", Variant(std::string(kReason))}},
         .variables = {{"MARKEDASRECORDON", Variant::Null()}, {"ISVITAL", Variant(false)}}});
    if (Execute("MarkAsVital", services, vital) != pelmark::kResultDone || tally_.vital != items_ ||
        vital->Get("ISVITAL") != Variant(true) ||
        vital->Get("MARKEDASRECORDON") != Variant::Date(kNow))
      return "MarkAsVital did not mark every item and write its variables";

    ComPtr<Task> field = NewTask({.parameters = {{"FIELDNAME", Variant("Title")}},
                                  .variables = {{"VALUE", Variant("Reviewed")}}});
    if (Execute("SetFieldValue", services, field) != pelmark::kResultDone || tally_.saved != items_)
      return "SetFieldValue did not store every document";

    std::string group = "<resources><resource><id>" + std::to_string(kGroupId) +
                        "</id><type>dms.group</type><name>Legal</name></resource></resources>";
    ComPtr<Task> notify = NewTask({.parameters = {{"SENDER_LIST", Variant(std::move(group))},
                                                  {"MESSAGE_BODY", Variant(kTemplate)},
                                                  {"SUBJECT", Variant("Ready")}},
                                   .variables = {}});
    if (Execute("Notify", services, notify) != pelmark::kResultDone || tally_.member_queries != 1 ||
        !EveryMemberToldByName())
      return "Notify did not post one rendered message to each member of the group";

    if (std::string wrong = Evaluate(services); !wrong.empty()) return wrong;

    ComPtr<Task> wait = NewTask({.parameters = {{"STARTING_FROM", Variant::Date(kNow - 1)},
                                                {"INTERVAL", Variant(int32_t{3})},
                                                {"INTERVAL_TYPE", Variant(int32_t{4})},
                                                {"OFFSET", Variant(int32_t{0})}},
                                 .variables = {{"JOBID", Variant(int32_t{77})}}});
    if (Execute("Wait", services, wait) != pelmark::kResultDone || tally_.jobs_read != 1 ||
        wait->Get("JOBID") != Variant(int32_t{0}))
      return "Wait did not complete by its started job";
    return {};
  }

  // Three answers, two of them approvals: the step is approved, and the task
  // given receives the decision, the time and every task's details.
  std::string Evaluate(Services* services) {
    std::vector<ComPtr<Task>> tasks;
    const char* names[] = {"Mira", "Tom", "Lena"};
    for (int32_t i = 0; i < 3; ++i) {
      const bool approved = i != 1;
      tasks.push_back(NewTask({.id = i + 1,
                               .parameters = {},
                               .variables = {{"APPROVED", Variant(approved)},
                                             {"COMMENTS", Variant("")},
                                             {"DETAILS", Variant(std::string(names[i]) + ": " +
                                                                 (approved ? "Yes; " : "No; "))},
                                             {"APPROVALDATE", Variant::Date(kNow - 1)}},
                               .resource_name = names[i],
                               .status = 0x08000001}));
    }
    ComPtr<Task> last = tasks.back();
    ComPtr<ApprovalStep> step = MakeHostObject<ApprovalStep>(
        MakeHostObject<TaskList>(tasks), Values{{"AUDIT_ACTIVITY", Variant(false)}});
    ComPtr<pelmark::IActivityRuntime> approval = Create("DocApproval");
    pelmark::ITask* given = last.get();
    if (approval->EvaluateCompositeTask(services, step.get(), given) != pelmark::kResultDone ||
        last->Get("APPROVED") != Variant(true) ||
        last->Get("APPROVALDATE") != Variant::Date(kNow) ||
        last->Get("DETAILS") != Variant("Mira: Yes; Tom: No; Lena: Yes; "))
      return "DocApproval's evaluation did not approve with every task's details";
    return {};
  }

  bool EveryMemberToldByName() const {
    if (tally_.posted.size() != static_cast<size_t>(kGroupMembers)) return false;
    for (int32_t i = 1; i <= kGroupMembers; ++i)
      if (tally_.posted[static_cast<size_t>(i - 1)] !=
          "Dear " + MemberName(i) + ", Contract review is ready for you.")
        return false;
    return true;
  }

  ComPtr<Task> NewTask(TaskFacts facts) {
    facts.date = kNow;
    return MakeHostObject<Task>(std::move(facts), journal_);
  }

  ComPtr<pelmark::IActivityRuntime> Create(std::string_view class_name) {
    return module_.Create<pelmark::IActivityRuntime>(FindClassByName(class_name)->clsid);
  }

  int32_t Execute(std::string_view class_name, Services* services, const ComPtr<Task>& task) {
    ComPtr<pelmark::IActivityRuntime> step = Create(class_name);
    pelmark::ITask* current = task.get();
    return step->Execute(services, current);
  }

  const ComponentModule& module_;
  int items_;
  Journal journal_;
  std::string list_;
  Tally tally_;
};

}  // namespace corvane::host_bench
