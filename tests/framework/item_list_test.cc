// The item walk reads each listed id the way the full conversion of its text
// would, in document order, whatever form the number takes.
#include "framework/item_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errors.h"
#include "rules/variant_rules.h"

namespace corvane_test {
namespace {

using corvane::ItemKind;
using corvane::ListedItem;
using corvane::ListedItems;
using corvane::XmlDocument;

// The id's value, or the error number reading it raises.
struct Reading {
  int32_t value = 0;
  int32_t error = 0;
  bool operator==(const Reading&) const = default;
};

template <class Read>
Reading ReadingOf(Read read) {
  Reading r;
  r.error = ErrorNumberOf([&] { r.value = read(); });
  return r;
}

TEST(ItemListTest, IdsReadAsTheFullConversionReadsTheirText) {
  const std::vector<std::string> ids = {
      "12",          "-7",         "007",  "0",     "-0",  "999999999",  "1234567890", "2147483647",
      "-2147483648", "2147483648", " 12 ", "+5",    "1.5", "2.5",        "&H1F",       "1e3",
      "abc",         "",           "-",    "12abc", "--1", "99999999999"};
  std::string text = "<dmsobject><documents>";
  for (const std::string& id : ids)
    text += "<document id=\"" + (id.starts_with('&') ? "&amp;" + id.substr(1) : id) + "\"/>";
  text += "<document name=\"no id\"/></documents></dmsobject>";
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(text));

  std::vector<Reading> read;
  for (const ListedItem& item : ListedItems::Of(doc, ItemKind::kDocument))
    read.push_back(ReadingOf([&] { return item.Id(); }));
  ASSERT_EQ(read.size(), ids.size() + 1);
  for (size_t i = 0; i < ids.size(); ++i) {
    const Reading expected = ReadingOf([&] { return corvane::ToLong(pelmark::Variant(ids[i])); });
    EXPECT_EQ(read[i], expected) << "id \"" << ids[i] << "\"";
  }
  EXPECT_EQ(read[0].value, 12);
  EXPECT_EQ(read[1].value, -7);
  EXPECT_EQ(read[16].error, 13) << "a word is no number";
  EXPECT_EQ(read.back().error, 91) << "an item without an id";
}

}  // namespace
}  // namespace corvane_test
