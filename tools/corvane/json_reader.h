// The checked JSON reader under the scenario format: it parses a scenario's text
// strictly (no duplicate keys, bounded nesting, numbers that fit a double) and
// gives checked accessors that name the place of every mistake. Not thread-safe;
// a Node refers to JSON it does not own.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pelmark/variant.h"
#include "values.h"

namespace corvane::cli {

// Hashes std::string keys and the string_views looked up against them alike.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// Deeper documents are refused: no scenario needs more, and every later copy and
// comparison of the document recurses once per level.
inline constexpr int kMaxJsonDepth = 100;

// Parses a scenario's text. Throws ScenarioError placed at "line L, column C"
// for text that is not JSON, invalid UTF-8, a number beyond a double, a key
// written twice in one object, or nesting deeper than kMaxJsonDepth.
Json ParseScenarioJson(const std::string& text);

// Reads and parses a file; a file that cannot be read throws ScenarioError too.
Json ReadScenarioJson(const std::string& path);

// " (did you mean "X"?)" for the candidate nearest to `wrong`, or nothing when
// none is near enough to be a likely typo.
std::string Suggestion(std::string_view wrong, std::span<const std::string_view> candidates);
inline std::string Suggestion(std::string_view wrong,
                              std::initializer_list<std::string_view> candidates) {
  return Suggestion(wrong, std::span(candidates.begin(), candidates.size()));
}

// "a text", "a list", ...: how a message names the kind of a JSON value.
std::string JsonKind(const Json& j);

// A place in the scenario document, with checked accessors that name it.
class Node {
 public:
  Node(const Json& json, std::string place) : json_(&json), place_(std::move(place)) {}
  const Json& json() const { return *json_; }
  const std::string& place() const { return place_; }

  [[noreturn]] void Fail(const std::string& message) const;

  void RequireObject(std::string_view what) const;
  // REQUIRES: an object. Refuses keys outside `allowed`, which catches typos.
  void Keys(std::span<const std::string_view> allowed) const;
  void Keys(std::initializer_list<std::string_view> allowed) const {
    Keys(std::span(allowed.begin(), allowed.size()));
  }
  bool Has(std::string_view key) const;
  Node At(std::string_view key) const;
  std::vector<Node> List() const;
  // Object members in file order.
  std::vector<std::pair<std::string, Node>> Members(std::string_view what) const;

  // A 32-bit whole number, also written as hexadecimal text ("0x80041005").
  int32_t Int() const;
  // An id: a whole number from -2147483648 to 2147483647, never wrapped.
  int32_t Id() const;
  std::string Text() const;
  bool Bool() const;
  // Days since 30 December 1899, from "yyyy-mm-dd[Thh:mm[:ss]]" or a number;
  // only dates from year 100 to 9999 are taken.
  double Date() const;
  pelmark::Variant Value() const { return ParseVariant(*json_, place_); }

  int32_t IntOr(std::string_view key, int32_t fallback) const {
    return Has(key) ? At(key).Int() : fallback;
  }
  std::string TextOr(std::string_view key, std::string fallback) const {
    return Has(key) ? At(key).Text() : fallback;
  }
  bool BoolOr(std::string_view key, bool fallback) const {
    return Has(key) ? At(key).Bool() : fallback;
  }
  pelmark::Variant ValueOr(std::string_view key, pelmark::Variant fallback) const {
    return Has(key) ? At(key).Value() : fallback;
  }

 private:
  std::string Child(std::string_view key) const {
    return place_.empty() ? std::string(key) : place_ + "." + std::string(key);
  }
  const Json* json_;
  std::string place_;
};

// Builds a JSON object member by member in linear time (Json's operator[]
// searches the members written so far). A name set again keeps its place and
// takes the new value, as with operator[].
class ObjectBuilder {
 public:
  void Set(const std::string& name, Json value);
  bool Has(std::string_view name) const { return positions_.contains(name); }
  Json Take() { return std::move(object_); }

 private:
  Json object_ = Json::object();
  std::unordered_map<std::string, size_t, TextHash, std::equal_to<>> positions_;
};

// The members of one JSON object by name, found without searching it; the
// object must outlive the index and stay unchanged.
class MemberIndex {
 public:
  explicit MemberIndex(const Json& object);
  // The member's value, or null when the object has none of that name.
  const Json* Find(std::string_view name) const;

 private:
  std::unordered_map<std::string_view, const Json*> members_;
};

}  // namespace corvane::cli
