// Shared set-up for the notification tests: resource-list XML, a directory of
// users, groups and roles in the simulator, and a Notify task.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "activity_fixture.h"

namespace corvane_test {

// One "resource" element; `email` is left out when null.
inline std::string Resource(std::string_view id, std::string_view type, std::string_view name,
                            const char* email = nullptr) {
  std::string out = "<resource><id>" + std::string(id) + "</id><type>" + std::string(type) +
                    "</type><name>" + std::string(name) + "</name>";
  if (email) out += "<email>" + std::string(email) + "</email>";
  return out + "</resource>";
}

inline std::string ResourceList(const std::vector<std::string>& resources) {
  std::string out = "<resources>";
  for (const std::string& r : resources) out += r;
  return out + "</resources>";
}

inline constexpr int32_t kInitiatorId = 40;

class NotifyTest : public ActivityTest {
 protected:
  // Users 1-4 and the initiator 40; group 10 = {2, 3}, group 11 = {3, 4},
  // role 20 = {4, 1}.
  void SetUpDirectory() {
    sim.AddUser({.id = 1, .name = "ann", .full_name = "Ann Archer", .email = "ann@x.test"});
    sim.AddUser({.id = 2, .name = "bob", .full_name = "Bob Baker", .email = "bob@x.test"});
    sim.AddUser({.id = 3, .name = "cy", .full_name = "  ", .email = ""});
    sim.AddUser({.id = 4, .name = "dee", .full_name = Variant::Null(), .email = "dee@x.test"});
    sim.AddUser(
        {.id = kInitiatorId, .name = "ivy", .full_name = "Ivy Initiator", .email = "ivy@x.test"});
    sim.AddGroup({.id = 10, .name = "Editors", .members = {2, 3}});
    sim.AddGroup({.id = 11, .name = "Readers", .members = {3, 4}});
    sim.AddRole({.id = 20, .name = "Approvers", .members = {4, 1}});
  }

  // A Notify task whose process carries `process_variables`.
  void SetUpNotify(const std::string& sender_list, std::string body,
                   std::vector<sim::ParameterSpec> extra = {},
                   std::vector<sim::VariableSpec> process_variables = {
                       sim::ItemListVariable(DocumentList({17, 18}))}) {
    sim.SetProcess({.id = kProcessId,
                    .variables = std::move(process_variables),
                    .initiator_id = Variant(std::to_string(kInitiatorId)),
                    .initiator_type = "dms.user",
                    .initiator_name = "Ivy Initiator",
                    .initiator_comment = "please look",
                    .process_name = "Contract review"});
    sim::TaskSpec task{.task_id = kTaskId, .process_id = kProcessId, .activity_id = 3};
    task.parameters = {{"SENDER_LIST", sender_list},
                       {"MESSAGE_BODY", std::move(body)},
                       {"SUBJECT", "Please read {{\"\\0\",RESOURCENAME}}"}};
    for (sim::ParameterSpec& p : extra) task.parameters.push_back(std::move(p));
    sim.AddTask(std::move(task));
  }

  using Variant = pelmark::Variant;
};

}  // namespace corvane_test
