// The resource pool: CResource is one person (or, while a resource list is read,
// one user, group or role entry) and CResources the de-duplicated, ordered,
// keyed collection of them that a notification step addresses.
//
// A member's key is its ResourceID lower-cased when it was added; keys compare
// without regard to case and appear once. Positions are 1-based, follow insertion
// order, and close up when a member is removed.
//
// Failures of Item, Add and Remove raise pelmark::Error with their location
// ("CResources: Item Property (" ...) added and never write the event log; Exist
// never fails.
//
// Threading: a pool lives inside one call on one thread; it has no locking.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pelmark/variant.h"

namespace corvane {

class CResource {
 public:
  // The user id in decimal, or on a list entry the group or role id; "-2" on a
  // list entry stands for the workflow's initiator.
  const std::string& ResourceID() const { return resource_id_; }
  void SetResourceID(std::string id) { resource_id_ = std::move(id); }

  const std::string& ResourceName() const { return resource_name_; }
  void SetResourceName(std::string name) { resource_name_ = std::move(name); }

  // "dms.user", "dms.group" or "dms.role"; every member of a built pool is a user.
  const std::string& ResourceType() const { return resource_type_; }
  void SetResourceType(std::string type) { resource_type_ = std::move(type); }

  const std::string& ResourceEmailID() const { return resource_email_id_; }
  void SetResourceEmailID(std::string email) { resource_email_id_ = std::move(email); }

  // How many more times the person was reached through a group or a role after
  // entering the pool.
  int32_t Weight() const { return weight_; }
  void SetWeight(int32_t weight) { weight_ = weight; }

  int32_t Workload() const { return workload_; }
  void SetWorkload(int32_t workload) { workload_ = workload; }

 private:
  std::string resource_id_;
  std::string resource_name_;
  std::string resource_type_;
  std::string resource_email_id_;
  int32_t weight_ = 0;
  int32_t workload_ = 0;
};

class CResources {
 public:
  using Members = std::vector<std::shared_ptr<CResource>>;

  CResources() = default;
  CResources(const CResources&) = delete;
  CResources& operator=(const CResources&) = delete;

  // A text argument is lower-cased and looked up as a key; any other argument is
  // a 1-based position. Nothing stored there raises 5 (unknown key) or 9
  // (position out of range) with an "Attribute with the ..." description.
  CResource& Item(const pelmark::Variant& key_or_index);
  // Whether a member is stored under the argument; never raises.
  bool Exist(const pelmark::Variant& key_or_index) const;
  int32_t Count() const { return static_cast<int32_t>(members_.size()); }
  // Appends `member` under its lower-cased ResourceID; a key already present
  // raises 457, Nothing raises 91.
  void Add(std::shared_ptr<CResource> member);
  // A text argument removes that key (5 when unknown); any other argument that
  // position (9 when out of range).
  void Remove(const pelmark::Variant& key_or_index);

  // The members in insertion order (what a for-each over the pool walks).
  Members::const_iterator begin() const { return members_.begin(); }
  Members::const_iterator end() const { return members_.end(); }

 private:
  // The member under a key or position; raises 5 or 9 (with the classic
  // descriptions) when there is none.
  const std::shared_ptr<CResource>& Find(const pelmark::Variant& key_or_index) const;

  // Hashes keys and the texts looked up against them alike, so a look-up needs
  // no copy of its text.
  struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
  };

  // The member stored under a text key, or null.
  const std::shared_ptr<CResource>* FindKey(std::string_view text) const;

  Members members_;
  // Key as added (the lower-cased ResourceID then) to member.
  std::unordered_map<std::string, std::shared_ptr<CResource>, KeyHash, std::equal_to<>> by_key_;
};

}  // namespace corvane
