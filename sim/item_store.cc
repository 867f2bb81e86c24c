#include "item_store.h"

#include <algorithm>

namespace sim::internal {

Item& ItemStore::Add(Item item) {
  const uint64_t serial = next_serial_++;
  by_id_[IdKey{item.entity.entity_name, item.entity.id}].push_back(serial);
  by_kind_[item.entity.entity_name].insert(serial);
  return items_.emplace(serial, std::move(item)).first->second;
}

void ItemStore::Forget(uint64_t serial, const Item& item) {
  auto bucket = by_id_.find(IdKey{item.entity.entity_name, item.entity.id});
  if (bucket != by_id_.end()) {
    std::erase(bucket->second, serial);
    if (bucket->second.empty()) by_id_.erase(bucket);
  }
  auto kind = by_kind_.find(item.entity.entity_name);
  if (kind != by_kind_.end()) kind->second.erase(serial);
}

void ItemStore::Erase(const Item* item) {
  auto bucket = by_id_.find(IdKey{item->entity.entity_name, item->entity.id});
  if (bucket == by_id_.end()) return;
  auto held = std::find_if(bucket->second.begin(), bucket->second.end(),
                           [&](uint64_t serial) { return &items_.find(serial)->second == item; });
  if (held == bucket->second.end()) return;
  auto it = items_.find(*held);
  Forget(it->first, it->second);
  items_.erase(it);
}

void ItemStore::EraseIf(std::string_view entity_name,
                        const std::function<bool(const Item&)>& doomed) {
  auto kind = by_kind_.find(std::string(entity_name));
  if (kind == by_kind_.end()) return;
  std::vector<uint64_t> serials;
  for (uint64_t serial : kind->second)
    if (doomed(items_.find(serial)->second)) serials.push_back(serial);
  for (uint64_t serial : serials) {
    auto it = items_.find(serial);
    Forget(serial, it->second);
    items_.erase(it);
  }
}

}  // namespace sim::internal
