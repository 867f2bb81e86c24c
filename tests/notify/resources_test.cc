// The keyed, ordered resource pool: key and position look-up, uniqueness,
// removal, and the errors its members raise.
#include "shared/resources.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "errors.h"
#include "test_platform.h"

namespace corvane_test {
namespace {

using corvane::CResource;
using corvane::CResources;
using pelmark::Variant;

std::shared_ptr<CResource> Person(std::string id, std::string name = "") {
  auto r = std::make_shared<CResource>();
  r->SetResourceID(std::move(id));
  r->SetResourceName(std::move(name));
  return r;
}

std::vector<std::string> Ids(const CResources& pool) {
  std::vector<std::string> out;
  for (const auto& member : pool) out.push_back(member->ResourceID());
  return out;
}

class ResourcesTest : public ::testing::Test {
 protected:
  ResourcesTest() {
    pool.Add(Person("ABC", "first"));
    pool.Add(Person("17", "second"));
    pool.Add(Person("ÉMILE", "third"));
  }
  TestPlatform platform;
  CResources pool;
};

TEST_F(ResourcesTest, KeysIgnoreCaseAndPositionsFollowInsertion) {
  EXPECT_EQ(pool.Count(), 3);
  EXPECT_EQ(pool.Item(Variant("abc")).ResourceName(), "first");
  EXPECT_EQ(pool.Item(Variant("ABC")).ResourceName(), "first");
  EXPECT_EQ(pool.Item(Variant("émile")).ResourceName(), "third");
  EXPECT_EQ(pool.Item(Variant(int32_t{1})).ResourceName(), "first");
  EXPECT_EQ(pool.Item(Variant(3.0)).ResourceName(), "third");
  // The text "17" is a key, the number 17 a position.
  EXPECT_EQ(pool.Item(Variant("17")).ResourceName(), "second");
  EXPECT_FALSE(pool.Exist(Variant(int32_t{17})));
  EXPECT_EQ(Ids(pool), (std::vector<std::string>{"ABC", "17", "ÉMILE"}));
  // Item hands out the stored member itself.
  pool.Item(Variant("abc")).SetWeight(4);
  EXPECT_EQ(pool.Item(Variant(int32_t{1})).Weight(), 4);
}

TEST_F(ResourcesTest, ExistAnswersWithoutFailing) {
  struct {
    Variant argument;
    bool expected;
  } cases[] = {
      {Variant("Abc"), true},       {Variant("missing"), false},  {Variant(int32_t{3}), true},
      {Variant(int32_t{0}), false}, {Variant(int32_t{4}), false}, {Variant::Null(), false},
      {Variant(), false},           {Variant(1e20), false},       {Variant("aBc"), true},
      {Variant("Émile"), true},     {Variant("abcd"), false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(pool.Exist(c.argument), c.expected) << pelmark::VarTypeName(c.argument.type());
  EXPECT_TRUE(platform.log.empty());
}

TEST_F(ResourcesTest, ItemMissRaisesWithTheArgumentNamedAndItsLocation) {
  struct {
    Variant argument;
    int32_t number;
    const char* description;
  } cases[] = {
      {Variant("Nobody"), 5, "Attribute with the name 'nobody' does not exist."},
      {Variant(int32_t{4}), 9, "Attribute with the index '4' does not exist."},
      {Variant(int32_t{0}), 9, "Attribute with the index '0' does not exist."},
      {Variant(), 9, "Attribute with the index '' does not exist."},
      // Other failures keep their own number and description.
      {Variant::Null(), 94, "Invalid use of Null"},
      {Variant(1e20), 6, "Overflow"},
  };
  for (const auto& c : cases) {
    pelmark::Error e = ErrorOf([&] { pool.Item(c.argument); });
    EXPECT_EQ(e.number(), c.number);
    EXPECT_EQ(e.description(), c.description);
    EXPECT_EQ(e.source(), "Corvane => \r\nCResources: Item Property (1)");
  }
  EXPECT_TRUE(platform.log.empty());
}

TEST_F(ResourcesTest, AddRefusesAKeyPresentInAnyCase) {
  pelmark::Error e = ErrorOf([&] { pool.Add(Person("abc", "again")); });
  EXPECT_EQ(e.number(), 457);
  EXPECT_EQ(e.description(), "This key is already associated with an element of this collection");
  EXPECT_EQ(e.source(), "Corvane => \r\nCResources: Add Sub (2)");
  EXPECT_EQ(pool.Count(), 3);
  EXPECT_EQ(pool.Item(Variant("abc")).ResourceName(), "first");
  EXPECT_TRUE(platform.log.empty());
}

TEST_F(ResourcesTest, RemoveClosesTheGapAndFreesTheKey) {
  pool.Remove(Variant("abc"));
  EXPECT_EQ(Ids(pool), (std::vector<std::string>{"17", "ÉMILE"}));
  EXPECT_EQ(pool.Item(Variant(int32_t{1})).ResourceName(), "second");
  pool.Remove(Variant(int32_t{2}));
  EXPECT_EQ(Ids(pool), (std::vector<std::string>{"17"}));
  pool.Add(Person("Abc", "back"));
  EXPECT_EQ(pool.Item(Variant(int32_t{2})).ResourceName(), "back");

  pelmark::Error e = ErrorOf([&] { pool.Remove(Variant(int32_t{3})); });
  EXPECT_EQ(e.number(), 9);
  EXPECT_EQ(e.source(), "Corvane => \r\nCResources:Remove property (1)");
  EXPECT_EQ(pool.Count(), 2);
}

}  // namespace
}  // namespace corvane_test
