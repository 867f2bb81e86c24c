#include "shared/resources.h"

#include <unordered_map>
#include <vector>

#include "rules/error_report.h"
#include "rules/variant_rules.h"

namespace corvane {
namespace {

constexpr std::string_view kOwner = "CResources";

// Text in ASCII without capitals is its own lower-case form, as every user id is.
bool IsLowerCaseAscii(std::string_view text) {
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0x80) || (c >= 'A' && c <= 'Z')) return false;
  return true;
}

}  // namespace

const std::shared_ptr<CResource>* CResources::FindKey(std::string_view text) const {
  auto it = IsLowerCaseAscii(text) ? by_key_.find(text) : by_key_.find(LCase(text));
  return it == by_key_.end() ? nullptr : &it->second;
}

const std::shared_ptr<CResource>& CResources::Find(const pelmark::Variant& key_or_index) const {
  if (key_or_index.is_string()) {
    const std::shared_ptr<CResource>* member = FindKey(key_or_index.string_value());
    if (!member) Raise(5);
    return *member;
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
  if (key_or_index.is_string()) return FindKey(key_or_index.string_value()) != nullptr;
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
    const std::string& id = member->ResourceID();
    std::string key = IsLowerCaseAscii(id) ? id : LCase(id);
    at(2);
    // A key already present is left as it was: try_emplace takes nothing then.
    if (!by_key_.try_emplace(std::move(key), member).second) Raise(457);
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
