// The resource-list builder of the notification step on arbitrary list text,
// with a directory of users, a group and a role behind it, once with the DMS
// and once without. Besides crashes and sanitizer findings, the fuzzer checks
// what the step relies on: the pool holds users only, each person once (keys
// compare without regard to case), errors are pelmark::Error raised through
// the builder's location, and every reference taken is released.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "../tests/support/test_platform.h"
#include "notify/sender_list.h"
#include "rules/variant_rules.h"
#include "shared/resources.h"
#include "simulator.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void Build(const std::string& list, bool with_dms) {
  sim::Simulator sim(sim::Options{.dms_service = with_dms});
  sim.SetProcess({.id = 12, .initiator_id = "4", .initiator_name = "Ivy Initiator"});
  sim.AddUser({.id = 1, .name = "ann", .full_name = "Ann Archer", .email = "ann@x.test"});
  sim.AddUser({.id = 2, .name = "bob", .full_name = "  ", .email = ""});
  sim.AddUser({.id = 3, .name = "cy", .full_name = pelmark::Variant::Null(), .email = "c@x"});
  sim.AddUser({.id = 4, .name = "ivy", .full_name = "Ivy Initiator", .email = "ivy@x.test"});
  sim.AddGroup({.id = 10, .name = "Editors", .members = {2, 3}});
  sim.AddRole({.id = 20, .name = "Approvers", .members = {3, 1}});
  {
    pelmark::ComPtr<pelmark::IProcessInstance> instance = sim.Services()->GetProcessInstance(12);
    try {
      std::unique_ptr<corvane::CResources> pool =
          corvane::GetSenderList(sim.Services(), instance.get(), list);
      std::set<std::string> keys;
      for (const auto& member : *pool) {
        Check(member->ResourceType() == "dms.user");
        keys.insert(corvane::LCase(member->ResourceID()));
      }
      Check(static_cast<int32_t>(keys.size()) == pool->Count());
    } catch (const pelmark::Error& e) {
      Check(e.source().find("Notify:GetSenderList Ln ") != std::string::npos);
    }
  }
  Check(sim.HeldReferences().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  static corvane_test::TestPlatform* platform = new corvane_test::TestPlatform;
  const std::string list(reinterpret_cast<const char*>(data), size);
  Build(list, true);
  Build(list, false);
  // Emptied before returning, so that the input frees what it allocated: an
  // input that ends with more allocations than frees makes libFuzzer run it
  // again under the leak checker.
  std::vector<std::string>().swap(platform->log);
  return 0;
}
