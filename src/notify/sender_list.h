// The builders of a notification step's resource pool: GetSenderList reads the
// resource list a workflow designer attached to the step ("resource" elements
// with "id", "type", "name" and, without a DMS, "email") and turns it into
// people; AddGroupMembers and AddMemberInRole expand a group or a role into its
// member users through the member queries on "tblUsers".
//
// The pool keeps the order in which people were first reached; someone reached
// again through a group or a role only gains Weight. Errors are raised again
// quietly with the locations "Notify:GetSenderList Ln ", "Notify:AddGroupMembers
// Ln " and "Notify:AddMemberInRole Ln ".
//
// Threading: apartment; called on the thread of the activity call.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "pelmark/dms.h"
#include "pelmark/host.h"
#include "shared/resources.h"

namespace corvane {

// The member query text of a group or a role id, as the DMS expects it.
std::string GroupMembersQuery(std::string_view group_id);
std::string RoleMembersQuery(std::string_view role_id);

// The pool of the resource list `resource_list_xml` (empty text: an empty pool).
// "-2" as a user id names the workflow's initiator, read from `instance`.
std::unique_ptr<CResources> GetSenderList(pelmark::IActivityServices* services,
                                          pelmark::IProcessInstance* instance,
                                          const std::string& resource_list_xml);

// Adds the member users of a group or role (`dms` null: nobody).
void AddGroupMembers(pelmark::IDmsService* dms, CResources& pool, const std::string& group_id);
void AddMemberInRole(pelmark::IDmsService* dms, CResources& pool, const std::string& role_id);

}  // namespace corvane
