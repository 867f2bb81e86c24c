// The simulated DMS at scale and in other scripts: items are found by index in a
// large store with the same answers a walk in insertion order gives (first match
// wins, deletions leave no trace), and names match by the same Unicode case
// mapping the library uses.
#include <gtest/gtest.h>

#include "library_objects.h"
#include "rules/variant_rules.h"
#include "simulator.h"

namespace {

using pelmark::ComPtr;
using pelmark::Variant;
using sim_test::TestRef;
using sim_test::TestSession;

class SimStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dms = ComPtr<pelmark::IService>(s.Services()->GetService("DmsService"))
              .try_query<pelmark::IDmsService>();
    ASSERT_TRUE(dms);
  }

  sim::Simulator s;
  TestSession session;
  ComPtr<pelmark::IDmsService> dms;
};

TEST_F(SimStoreTest, ALargeStoreAnswersEveryItemAndOnlyItsOwn) {
  constexpr int32_t kCount = 20000;
  for (int32_t id = 1; id <= kCount; ++id)
    s.AddDocument(7, {.id = id, .fields = {sim::Field::Long("Serial", id * 3)}});
  s.AddDocument(8, {.id = 5, .fields = {sim::Field::Long("Serial", -1)}});
  dms->Connect(7, &session);
  for (int32_t id : {1, 2, 777, kCount - 1, kCount}) {
    TestRef ref("Document", id, 2);
    ComPtr<pelmark::IEntity> doc = dms->GetDocument(&ref);
    ASSERT_TRUE(doc) << id;
    EXPECT_EQ(doc->Fields()->Item("Serial")->Value(), Variant(id * 3));
    EXPECT_TRUE(dms->MarkAsVital(&ref, "keep"));
  }
  TestRef beyond("Document", kCount + 1, 2);
  EXPECT_FALSE(dms->GetDocument(&beyond));
  EXPECT_TRUE(s.FindItem(7, "Document", 777)->flags.at("Vital"));
  EXPECT_TRUE(s.FindItem(7, "Document", 778)->flags.empty());
  // The same id in another database is another item, unseen while 7 is connected.
  EXPECT_EQ(s.FieldValue(8, "Document", 5, "Serial"), Variant(-1));
  TestRef five("Document", 5, 2);
  EXPECT_EQ(dms->GetDocument(&five)->Fields()->Item("Serial")->Value(), Variant(15));
}

TEST_F(SimStoreTest, TheFirstItemAddedWinsAndADeletedOneIsGoneEverywhere) {
  // Two stacks of one id but different type codes, and a document of the same id.
  s.AddDataEntity(7, {.id = 40, .type_code = 8, .fields = {sim::Field::Text("Title", "eight")}});
  s.AddDataEntity(7, {.id = 40, .type_code = 9, .fields = {sim::Field::Text("Title", "nine")}});
  s.AddDataEntity(7, {.id = 40, .type_code = 8, .fields = {sim::Field::Text("Title", "later")}});
  s.AddDocument(7, {.id = 40, .parent_id = 40, .parent_type_code = 9});
  s.AddDocument(7, {.id = 41, .parent_id = 40, .parent_type_code = 8});
  dms->Connect(7, &session);
  TestRef eight("DataEntity", 40, 8), nine("DataEntity", 40, 9);
  EXPECT_EQ(dms->GetDataEntity(&eight)->Fields()->Item("Title")->Value(), Variant("eight"));
  EXPECT_EQ(dms->GetDataEntity(&nine)->Fields()->Item("Title")->Value(), Variant("nine"));

  EXPECT_TRUE(dms->DeleteDataEntity(&nine, true, "gone"));
  EXPECT_FALSE(s.FindItem(7, "DataEntity", 40, 9));
  EXPECT_FALSE(s.FindItem(7, "Document", 40)) << "its filed document went with it";
  EXPECT_TRUE(s.FindItem(7, "Document", 41)) << "another stack's document stays";
  EXPECT_EQ(dms->GetDataEntity(&eight)->Fields()->Item("Title")->Value(), Variant("eight"));

  // Deleting the first of two equal references uncovers the second.
  EXPECT_TRUE(dms->DeleteDataEntity(&eight, false, "gone"));
  EXPECT_EQ(dms->GetDataEntity(&eight)->Fields()->Item("Title")->Value(), Variant("later"));
  EXPECT_TRUE(dms->DeleteDataEntity(&eight, false, "gone"));
  EXPECT_FALSE(dms->GetDataEntity(&eight));
  EXPECT_THROW(dms->DeleteDataEntity(&eight, false, "twice"), pelmark::Error);

  // Added again after deletion, it is found again.
  s.AddDataEntity(7, {.id = 40, .type_code = 8, .fields = {sim::Field::Text("Title", "anew")}});
  EXPECT_EQ(dms->GetDataEntity(&eight)->Fields()->Item("Title")->Value(), Variant("anew"));
}

TEST(SimCaseTest, FoldsEveryLetterAsTheLibraryLowersIt) {
  static const struct {
    const char* text;
    const char* lowered;
  } cases[] = {
      {"İSTANBUL", "istanbul"},  // U+0130 lowers to a plain i
      {"ΣΟΦΊΑ", "σοφία"},        // Greek with tonos
      {"ЁЛКА", "ёлка"},          // Cyrillic outside the basic block
      {"ẞ", "ß"},                // capital sharp s
      {"ǄUNGLA", "ǆungla"},      // a digraph letter
      {"ԱՐԵՎ", "արեվ"},          // Armenian
      {"ＡＢＣ", "ａｂｃ"},      // fullwidth Latin
      {"ÆØÅ ÇĞŞ", "æøå çğş"},    // Latin-1 and Latin Extended-A
      {"\xC0\xAF", "\xC0\xAF"},  // an overlong "/" is no letter and stays as bytes
      {"A\xFFZ", "a\xFFz"},      // a byte that starts nothing stays as it is
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sim::FoldCase(c.text), c.lowered) << c.text;
    EXPECT_EQ(sim::FoldCase(c.text), corvane::LCase(c.text)) << c.text;
  }
  EXPECT_TRUE(sim::EqualsNoCase("İD", "id"));
  EXPECT_FALSE(sim::EqualsNoCase("ID", "ıd")) << "a dotless i lowers to nothing else";
  EXPECT_FALSE(sim::EqualsNoCase("/", "\xC0\xAF"));
}

TEST(SimCaseTest, HostAndDmsNamesMatchAcrossScripts) {
  sim::Simulator s;
  s.AddDocument(7, {.id = 17, .fields = {sim::Field::Text("İMZA TARİHİ", "2026")}});
  s.AddSecurityLabel(7, "GİZLİ", 90);
  s.SetProcess({.id = 12});
  s.AddTask({.task_id = 5,
             .process_id = 12,
             .parameters = {{"ÖNEMLİ", "evet"}},
             .variables = {{.name = "ΚΑΤΆΣΤΑΣΗ"}}});
  EXPECT_EQ(s.Task(5)->Parameters()->Item("önemli")->Value(), Variant("evet"));
  s.Task(5)->Variables()->Item(Variant("κατάσταση"))->SetValue(Variant("ok"));
  EXPECT_EQ(s.TaskVariable(5, "ΚΑΤΆΣΤΑΣΗ"), Variant("ok"));

  TestSession session;
  auto dms = ComPtr<pelmark::IService>(s.Services()->GetService("DmsService"))
                 .try_query<pelmark::IDmsService>();
  dms->Connect(7, &session);
  TestRef ref("Document", 17, 2);
  EXPECT_EQ(dms->GetDocument(&ref)->Fields()->Item("imza tarihi")->Value(), Variant("2026"));
  ComPtr<pelmark::IEntity> label = dms->GetSecurityLabel("gizli");
  ASSERT_TRUE(label);
  EXPECT_EQ(label->ID(), 90);
}

}  // namespace
