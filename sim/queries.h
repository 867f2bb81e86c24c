// The two query texts the DMS understands: the documents filed in a stack
// (on "tblDocument", sent with QueryEntities) and the member users of a group
// or a role (on "tblUsers", sent with QueryRecords). The parsers check the whole
// structure (element names, every attribute and its value, child order) and
// take the values out; anything else is refused, since a DMS that guessed at a
// query it does not know would hide a malformed text. Whitespace between
// elements and around attributes does not matter; text outside the root
// element (for example surrounding double quotes) does.
#pragma once

#include <cstdint>
#include <string_view>

namespace sim {

struct StackDocumentsQuery {
  int32_t stack_id = 0;
  int32_t stack_type_code = 0;
};

struct MemberQuery {
  enum class Kind { kGroup, kRole };
  Kind kind = Kind::kGroup;
  int32_t id = 0;  // the group or role id
};

// Both throw pelmark::Error(kErrBadQuery, "Pelmark.Dms", why) for any other text.
StackDocumentsQuery ParseStackDocumentsQuery(std::string_view text);
MemberQuery ParseMemberQuery(std::string_view text);

}  // namespace sim
