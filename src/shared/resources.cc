#include "shared/resources.h"

#include <unordered_map>
#include <vector>

#include "framework/error_report.h"
#include "framework/variant_rules.h"

namespace corvane {
namespace {

constexpr std::string_view kOwner = "CResources";

}  // namespace

const std::shared_ptr<CResource>& CResources::Find(const pelmark::Variant& key_or_index) const {
  if (key_or_index.is_string()) {
    auto it = by_key_.find(LCase(key_or_index.string_value()));
    if (it == by_key_.end()) Raise(5);
    return it->second;
  }
  int32_t position = ToLong(key_or_index);
  if (position < 1 || position > Count()) Raise(9);
  return members_[static_cast<size_t>(position - 1)];
}

CResource& CResources::Item(const pelmark::Variant& key_or_index) {
  return Reported({kBracketed, kOwner, ": Item Property (", kQuiet}, [&](Line& at) -> CResource& {
    at(1);
    try {
      return *Find(key_or_index);
    } catch (const pelmark::Error& e) {
      // A miss names what was asked for; other failures keep their own text.
      if (e.number() != 5 && e.number() != 9) throw;
      if (key_or_index.is_string())
        Raise(e.number(), "Attribute with the name '" + LCase(key_or_index.string_value()) +
                              "' does not exist.");
      Raise(e.number(),
            "Attribute with the index '" + ToTextOrEmpty(key_or_index) + "' does not exist.");
    }
  });
}

bool CResources::Exist(const pelmark::Variant& key_or_index) const {
  // Answered by look-up rather than by catching Find's miss: a notification step
  // asks this once for every recipient, and most are new.
  if (key_or_index.is_string()) return by_key_.contains(LCase(key_or_index.string_value()));
  bool found = false;
  // A position that is no number at all still answers false rather than failing.
  Suppressed([&] {
    const int32_t position = ToLong(key_or_index);
    found = position >= 1 && position <= Count();
  });
  return found;
}

void CResources::Add(std::shared_ptr<CResource> member) {
  Reported({kBracketed, kOwner, ": Add Sub (", kQuiet}, [&](Line& at) {
    at(1);
    if (!member) Raise(91);
    std::string key = LCase(member->ResourceID());
    at(2);
    if (by_key_.count(key)) Raise(457);
    by_key_.emplace(std::move(key), member);
    members_.push_back(std::move(member));
  });
}

void CResources::Remove(const pelmark::Variant& key_or_index) {
  Reported({kBracketed, kOwner, ":Remove property (", kQuiet}, [&](Line& at) {
    at(1);
    std::shared_ptr<CResource> member = Find(key_or_index);
    at(2);
    // The key is the one the member was added under, whatever its ID says now.
    std::erase_if(by_key_, [&](const auto& entry) { return entry.second == member; });
    std::erase(members_, member);
  });
}

}  // namespace corvane
