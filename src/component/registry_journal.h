// The one roll-back policy of registration, for both bindings: a registration
// that fails part way takes back exactly what it did and nothing else. Values
// it replaced get their old text back, values it created are removed, keys it
// made are removed; whatever was there before it started, and whatever it did
// not touch, stays as it was.
//
// The store is the binding's registry: the registry directory on Linux, the
// system registry on Windows. It must offer
//   std::vector<std::string> MakeKey(const std::string& key);  // keys it made, outermost first
//   std::optional<std::string> Read(const std::string& key, const std::string& name);
//   void Write(const std::string& key, const std::string& name, const std::string& text);
//   void Restore(key, name, text); void RemoveValue(key, name); void RemoveKey(key);
// where the first three throw after logging their failure, and the last three,
// used while rolling back, log theirs and go on.
//
// Typical usage:
//   RegistryJournal journal(store);
//   try {
//     for (const RegistryValue& v : RegistryValues(module)) journal.Write(v.key, v.name, v.value);
//   } catch (...) {
//     journal.RollBack();
//   }
//
// Threading: one journal per registration; the store's own lock keeps two
// registrations apart.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvane {

template <class Store>
class RegistryJournal {
 public:
  explicit RegistryJournal(Store& store) : store_(store) {}
  RegistryJournal(const RegistryJournal&) = delete;
  RegistryJournal& operator=(const RegistryJournal&) = delete;

  // Writes one value, making its key, and remembers what the write replaced or
  // created before writing, so that a write that fails half way is taken back too.
  void Write(const std::string& key, const std::string& name, const std::string& text) {
    for (std::string& made : store_.MakeKey(key)) made_.push_back(std::move(made));
    std::optional<std::string> old = store_.Read(key, name);
    if (old)
      replaced_.push_back({key, name, std::move(*old)});
    else
      created_.push_back({key, name, {}});
    store_.Write(key, name, text);
  }

  // Takes back every write, newest first: restores what was replaced, removes
  // the values and then the keys this registration created.
  void RollBack() {
    for (auto it = replaced_.rbegin(); it != replaced_.rend(); ++it)
      store_.Restore(it->key, it->name, it->text);
    for (auto it = created_.rbegin(); it != created_.rend(); ++it)
      store_.RemoveValue(it->key, it->name);
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) store_.RemoveKey(*it);
  }

 private:
  struct Entry {
    std::string key;
    std::string name;
    std::string text;
  };

  Store& store_;
  std::vector<Entry> replaced_;
  std::vector<Entry> created_;
  std::vector<std::string> made_;
};

}  // namespace corvane
