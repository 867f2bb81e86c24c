// A resource list as a workflow designer attaches it to a step:
//   <resources><resource><id>7</id><type>dms.user</type><name>Ann</name></resource>...
// Each entry names a user, a group or a role by id; "-2" stands for the
// workflow's initiator. Notify turns its list into a resource pool
// (notify/sender_list.h); ShareEntity grants access to each entry as it stands.
// Entries are read one at a time, where a step reaches them, so an unreadable
// entry fails only after the entries before it were served.
//
// Threading: a list lives inside one call on one thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/xml.h"
#include "pelmark/host.h"

namespace corvane {

// The id a list entry gives the workflow's initiator.
inline constexpr std::string_view kInitiatorResourceId = "-2";

class ResourceList {
 public:
  // Text that is no XML names nobody.
  explicit ResourceList(const std::string& xml);
  ResourceList(const ResourceList&) = delete;
  ResourceList& operator=(const ResourceList&) = delete;

  // The "resource" elements, in document order.
  const std::vector<XmlNode>& nodes() const { return nodes_; }

 private:
  XmlDocument doc_;
  std::vector<XmlNode> nodes_;
};

struct ResourceEntry {
  std::string id;    // a user, group or role id as written
  std::string type;  // lower-cased: "dms.user", "dms.group", "dms.role" or anything else

  bool NamesInitiator() const { return id == kInitiatorResourceId; }
  bool IsUser() const { return type == "dms.user"; }
};

// The "id" and "type" of one "resource" element, read in that order; a missing
// element raises 91.
ResourceEntry ReadResourceEntry(const XmlNode& resource);

// The text of another child element ("name", "email"); a missing one raises 91.
std::string ResourceField(const XmlNode& resource, std::string_view name);

// The initiator's user id as a number: what "-2" stands for. Raises 13 when the
// host's initiator id is no number.
int32_t InitiatorUserId(pelmark::IProcessInstance* instance);

}  // namespace corvane
