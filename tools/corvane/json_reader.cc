#include "json_reader.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <unordered_set>

#include "rules/nearest_name.h"
#include "rules/utf8_path.h"

namespace corvane::cli {
namespace {

// "line L, column C" of the last of the first `chars_read` characters.
std::string LineAndColumn(std::string_view text, size_t chars_read) {
  size_t line = 1, column = 1;
  for (size_t i = 0; i + 1 < chars_read && i < text.size(); ++i) {
    if (text[i] == '\n')
      ++line, column = 1;
    else
      ++column;
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The parser's messages quote the bytes it read last, which may be the very
// bytes that are not UTF-8; a message has to be valid text for the JSON report.
std::string ValidUtf8(const std::string& text) {
  const std::string quoted = Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
  return Json::parse(quoted).get<std::string>();
}

// Walks the text for the parser and remembers how far it has read, so that
// the checks made while parsing can name the place.
class CountingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  CountingIterator(const char* at, const char** reached) : at_(at), reached_(reached) {}
  reference operator*() const { return *at_; }
  CountingIterator& operator++() {
    *reached_ = ++at_;
    return *this;
  }
  CountingIterator operator++(int) {
    CountingIterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const CountingIterator& other) const { return at_ == other.at_; }

 private:
  const char* at_;
  const char** reached_;
};

// Builds the tree from the parser's events and checks it on the way: nesting
// depth, and keys given twice in one object. Members are appended as they come:
// Json's own insertion searches the members so far, which makes an object of n
// keys cost n squared, and these keys are known to differ once checked.
class CheckingTreeBuilder {
 public:
  CheckingTreeBuilder(Json& root, std::function<std::string()> here)
      : root_(root), here_(std::move(here)) {}

  bool null() { return Place(nullptr); }
  bool boolean(bool value) { return Place(value); }
  bool number_integer(Json::number_integer_t value) { return Place(value); }
  bool number_unsigned(Json::number_unsigned_t value) { return Place(value); }
  bool number_float(Json::number_float_t value, const std::string&) { return Place(value); }
  bool string(std::string& value) { return Place(std::move(value)); }
  bool binary(Json::binary_t& value) { return Place(std::move(value)); }

  bool start_object(std::size_t) { return Open(Json::object()); }
  bool start_array(std::size_t) { return Open(Json::array()); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }
  bool key(std::string& name) {
    if (!keys_.back().insert(name).second)
      throw ScenarioError(here_(), "the key \"" + name + "\" appears twice in the same object");
    key_ = std::move(name);
    return true;
  }

  template <class Exception>
  bool parse_error(std::size_t, const std::string&, const Exception& error) {
    throw error;
  }

 private:
  bool Place(Json value) {
    Add(std::move(value));
    return true;
  }

  Json* Add(Json value) {
    if (open_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json& parent = *open_.back();
    if (parent.is_array()) {
      Json::array_t& elements = parent.get_ref<Json::array_t&>();
      elements.push_back(std::move(value));
      return &elements.back();
    }
    Json::object_t& members = parent.get_ref<Json::object_t&>();
    members.emplace_back(std::move(key_), std::move(value));
    return &members.back().second;
  }

  bool Open(Json container) {
    if (open_.size() >= static_cast<size_t>(kMaxJsonDepth))
      throw ScenarioError(here_(), "nested more than " + std::to_string(kMaxJsonDepth) +
                                       " levels deep; a scenario never needs that many");
    open_.push_back(Add(std::move(container)));
    keys_.emplace_back();
    return true;
  }

  bool Close() {
    open_.pop_back();
    keys_.pop_back();
    return true;
  }

  Json& root_;
  std::function<std::string()> here_;
  std::vector<Json*> open_;  // the containers not yet closed, innermost last
  std::vector<std::unordered_set<std::string>> keys_;  // the keys seen in each of them
  std::string key_;                                    // the key of the next member
};

}  // namespace

void ObjectBuilder::Set(const std::string& name, Json value) {
  Json::object_t& members = object_.get_ref<Json::object_t&>();
  auto [at, added] = positions_.try_emplace(name, members.size());
  if (added)
    members.emplace_back(name, std::move(value));
  else
    (members.begin() + static_cast<std::ptrdiff_t>(at->second))->second = std::move(value);
}

MemberIndex::MemberIndex(const Json& object) {
  // The first of two equal names wins, as Json's own look-up finds it.
  if (!object.is_object()) return;
  for (auto it = object.begin(); it != object.end(); ++it)
    members_.try_emplace(it.key(), &it.value());
}

const Json* MemberIndex::Find(std::string_view name) const {
  auto it = members_.find(name);
  return it == members_.end() ? nullptr : it->second;
}

Json ParseScenarioJson(const std::string& text) {
  const char* reached = text.data();
  auto here = [&] { return LineAndColumn(text, static_cast<size_t>(reached - text.data())); };
  try {
    Json result;
    CheckingTreeBuilder builder(result, here);
    Json::sax_parse(CountingIterator(text.data(), &reached),
                    CountingIterator(text.data() + text.size(), &reached), &builder);
    return result;
  } catch (const Json::parse_error& e) {
    std::string why = e.what();
    if (size_t colon = why.find(": "); colon != std::string::npos) why = why.substr(colon + 2);
    throw ScenarioError(LineAndColumn(text, e.byte), "not valid JSON: " + ValidUtf8(why));
  } catch (const Json::out_of_range& e) {
    // The only one the parser raises: a number beyond the range of a double.
    std::string why = e.what();
    if (size_t bracket = why.find("] "); bracket != std::string::npos)
      why = why.substr(bracket + 2);
    throw ScenarioError(here(), ValidUtf8(why) + "; a number must fit a double (about 1.8e308)");
  }
}

Json ReadScenarioJson(const std::string& path) {
  std::ifstream in(PathOfUtf8(path), std::ios::binary);
  if (!in) throw ScenarioError("", "cannot open the file (does it exist and is it readable?)");
  std::ostringstream text;
  text << in.rdbuf();
  if (!in.good() && !in.eof()) throw ScenarioError("", "cannot read the file");
  return ParseScenarioJson(text.str());
}

std::string Suggestion(std::string_view wrong, std::span<const std::string_view> candidates) {
  std::string best = NearestName(wrong, candidates, 3);
  return best.empty() ? "" : " (did you mean \"" + best + "\"?)";
}

std::string JsonKind(const Json& j) {
  switch (j.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::boolean:
      return "true/false";
    case Json::value_t::string:
      return "a text";
    case Json::value_t::array:
      return "a list";
    case Json::value_t::object:
      return "an object";
    default:
      return "a number";
  }
}

void Node::Fail(const std::string& message) const { throw ScenarioError(place_, message); }

void Node::RequireObject(std::string_view what) const {
  if (!json_->is_object())
    Fail("expected " + std::string(what) + " (an object), found " + JsonKind(*json_));
}

void Node::Keys(std::span<const std::string_view> allowed) const {
  RequireObject("an object");
  for (const auto& [key, value] : json_->items()) {
    if (std::find(allowed.begin(), allowed.end(), key) != allowed.end()) continue;
    std::string list;
    for (std::string_view a : allowed) list += (list.empty() ? "" : ", ") + std::string(a);
    Node(value, Child(key))
        .Fail("unknown key \"" + key + "\"" + Suggestion(key, allowed) + "; the keys here are " +
              list);
  }
}

bool Node::Has(std::string_view key) const { return json_->is_object() && json_->contains(key); }

Node Node::At(std::string_view key) const {
  if (!Has(key)) Fail("the key \"" + std::string(key) + "\" is required here");
  return Node(json_->at(std::string(key)), Child(key));
}

std::vector<Node> Node::List() const {
  if (!json_->is_array()) Fail("expected a list [...], found " + JsonKind(*json_));
  std::vector<Node> out;
  for (size_t i = 0; i < json_->size(); ++i)
    out.emplace_back((*json_)[i], place_ + "[" + std::to_string(i) + "]");
  return out;
}

std::vector<std::pair<std::string, Node>> Node::Members(std::string_view what) const {
  RequireObject(what);
  std::vector<std::pair<std::string, Node>> out;
  for (const auto& [key, value] : json_->items()) out.emplace_back(key, Node(value, Child(key)));
  return out;
}

int32_t Node::Int() const {
  const Json& j = *json_;
  if (j.is_number_integer()) {
    int64_t n = j.get<int64_t>();
    if (n >= INT32_MIN && n <= INT32_MAX) return static_cast<int32_t>(n);
  }
  if (j.is_number_unsigned() && j.get<uint64_t>() <= UINT32_MAX)
    return static_cast<int32_t>(j.get<uint64_t>());  // 0x8004... written in decimal
  if (j.is_string()) {
    const std::string s = j.get<std::string>();
    if (s.starts_with("0x") || s.starts_with("0X")) {
      try {
        size_t used = 0;
        unsigned long long n = std::stoull(s.substr(2), &used, 16);
        if (used == s.size() - 2 && n <= UINT32_MAX) return static_cast<int32_t>(n);
      } catch (const std::exception&) {
      }
    }
  }
  Fail("expected a whole number (32 bits; hexadecimal as \"0x80041005\"), found " + j.dump());
}

int32_t Node::Id() const {
  const Json& j = *json_;
  if (j.is_number_integer()) {
    const int64_t n = j.get<int64_t>();
    if (n >= INT32_MIN && n <= INT32_MAX) return static_cast<int32_t>(n);
  }
  if (j.is_number_unsigned() && j.get<uint64_t>() <= INT32_MAX)
    return static_cast<int32_t>(j.get<uint64_t>());
  Fail("expected an id, a whole number from -2147483648 to 2147483647, found " + j.dump());
}

std::string Node::Text() const {
  if (!json_->is_string()) Fail("expected a text in double quotes, found " + JsonKind(*json_));
  return json_->get<std::string>();
}

bool Node::Bool() const {
  if (!json_->is_boolean()) Fail("expected true or false, found " + json_->dump());
  return json_->get<bool>();
}

double Node::Date() const {
  std::optional<double> days;
  if (json_->is_number()) days = json_->get<double>();
  if (json_->is_string()) days = ParseIsoDate(json_->get<std::string>());
  if (!days)
    Fail("expected a date \"yyyy-mm-dd\" or \"yyyy-mm-ddThh:mm:ss\", found " + json_->dump());
  if (!IsDateInRange(*days))
    Fail("the date " + json_->dump() +
         " is out of range: a date lies from year 100 to 9999 (as a day number, from " +
         "-657434 to 2958465.99999)");
  return *days;
}

}  // namespace corvane::cli
