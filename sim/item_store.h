// The simulator's DMS items, kept in the order they were added and indexed by
// entity name and id, so that every call that names an item finds it without
// walking the whole store. A DMS holding 100,000 documents answers each look-up
// as fast as one holding ten.
//
// Threading: single-threaded, like the simulator.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "simulator.h"

namespace sim::internal {

class ItemStore {
 public:
  ItemStore() = default;
  ItemStore(const ItemStore&) = delete;
  ItemStore& operator=(const ItemStore&) = delete;

  // Adds the item after every other; the reference stays valid until it is erased.
  Item& Add(Item item);

  // The first item (in the order added) of that entity name and id for which
  // `accept` answers true; null when none does.
  template <class Accept>
  Item* FindFirst(std::string_view entity_name, int32_t id, Accept&& accept) const;

  // Calls `visit` for every item of that entity name, in the order added.
  template <class Visit>
  void ForEachOfKind(std::string_view entity_name, Visit&& visit) const;

  // REQUIRES: `item` is held by this store.
  void Erase(const Item* item);
  // Erases every item of that entity name for which `doomed` answers true.
  void EraseIf(std::string_view entity_name, const std::function<bool(const Item&)>& doomed);

  size_t size() const { return items_.size(); }

 private:
  struct IdKey {
    std::string entity_name;
    int32_t id;
    friend bool operator==(const IdKey&, const IdKey&) = default;
  };
  struct IdKeyHash {
    size_t operator()(const IdKey& k) const {
      return std::hash<std::string>()(k.entity_name) * 31 + std::hash<int32_t>()(k.id);
    }
  };

  void Forget(uint64_t serial, const Item& item);

  // Serials grow with each addition, so walking a map or set of them keeps the
  // order in which items were added.
  uint64_t next_serial_ = 1;
  mutable std::map<uint64_t, Item> items_;
  std::unordered_map<IdKey, std::vector<uint64_t>, IdKeyHash> by_id_;
  std::unordered_map<std::string, std::set<uint64_t>> by_kind_;
};

template <class Accept>
Item* ItemStore::FindFirst(std::string_view entity_name, int32_t id, Accept&& accept) const {
  auto bucket = by_id_.find(IdKey{std::string(entity_name), id});
  if (bucket == by_id_.end()) return nullptr;
  for (uint64_t serial : bucket->second) {
    Item& item = items_.find(serial)->second;
    if (accept(item)) return &item;
  }
  return nullptr;
}

template <class Visit>
void ItemStore::ForEachOfKind(std::string_view entity_name, Visit&& visit) const {
  auto kind = by_kind_.find(std::string(entity_name));
  if (kind == by_kind_.end()) return;
  for (uint64_t serial : kind->second) visit(items_.find(serial)->second);
}

}  // namespace sim::internal
