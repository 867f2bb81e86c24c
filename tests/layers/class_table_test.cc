// The class table names each catalogue class exactly once, and nothing else.
#include "component/class_table.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "corvane/catalogue.h"

namespace corvane_test {
namespace {

TEST(ClassTableTest, EveryCatalogueClassHasExactlyOneRow) {
  std::map<std::string, int> rows;
  for (const corvane::ClassTableRow& row : corvane::ClassTable()) ++rows[std::string(row.name)];
  for (const corvane::ClassInfo& c : corvane::kCatalogue)
    EXPECT_EQ(rows[std::string(c.name)], 1) << c.name;
  EXPECT_EQ(rows.size(), corvane::kClassCount) << "a row names a class the catalogue lacks";
}

TEST(ClassTableTest, EveryCatalogueClassCanBeCreatedAndNoOther) {
  for (const corvane::ClassInfo& c : corvane::kCatalogue) {
    pelmark::ComPtr<corvane::Activity> activity(corvane::CreateActivity(c));
    EXPECT_TRUE(activity) << c.name;
  }
  corvane::ClassInfo unknown = corvane::kCatalogue[0];
  unknown.name = "NoSuchClass";
  EXPECT_EQ(corvane::CreateActivity(unknown), nullptr);
}

}  // namespace
}  // namespace corvane_test
