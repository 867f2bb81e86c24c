// Delete and ExportToFolder, driven through the simulator and the test platform.
#include <gtest/gtest.h>

#include "activity_fixture.h"
#include "corvane/component.h"
#include "framework/xml.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

class DeleteTest : public ActivityTest {
 protected:
  void SetUpStacks(std::vector<sim::ParameterSpec> parameters) {
    SetUpTask(ItemList("stackitem", kDatabase, "stack",
                       "<stackitem id=\"40\" typecode=\"8\"/><stackitem id=\"41\" typecode=\"8\"/>"
                       "<stackitem id=\"42\" typecode=\"8\"/>"),
              std::move(parameters), {"DELETED", "DELETEDON"});
    for (int32_t id : {40, 41, 42}) sim.AddDataEntity(kDatabase, {.id = id, .type_code = 8});
  }
};

TEST_F(DeleteTest, ChildItemsGoWithTheirStackUnlessTheStepSaysOtherwise) {
  SetUpStacks({{"REASON", "retention ended"}});
  EXPECT_EQ(Execute("Delete"), 1);
  std::vector<sim::ItemOperation> deletions = sim.Deletions();
  ASSERT_EQ(deletions.size(), 3u);
  for (const sim::ItemOperation& d : deletions) {
    EXPECT_EQ(d.op, "DeleteDataEntity");
    EXPECT_EQ(d.delete_child_items, true);
    EXPECT_EQ(d.reason, "retention ended");
  }
  std::vector<sim::VariableWrite> writes = sim.TaskVariableWrites();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].name, "DELETED");
  EXPECT_EQ(writes[0].value, Variant(true));
  EXPECT_EQ(writes[1].name, "DELETEDON");
  EXPECT_EQ(writes[1].value, Variant::Date(kFixedNow));

  SetUpStacks({{"REASON", Variant::Null()}, {"DELETE_CHILD_ITEMS", false}});
  sim.ClearJournal();
  Execute("Delete");
  for (const sim::Call& c : sim.CallsTo("IDmsService.DeleteDataEntity")) {
    EXPECT_EQ(c.ArgValue("delete_child_items"), Variant(false));
    EXPECT_EQ(c.ArgValue("reason"), Variant(""));
  }
}

TEST_F(DeleteTest, DocumentsAreDeletedWithoutTheChildFlag) {
  SetUpTask(DocumentList({17, -5}), {{"REASON", "r"}, {"DELETE_CHILD_ITEMS", "False"}},
            {"DELETED", "DELETEDON"});
  sim.AddDocument(kDatabase, {.id = 17});
  sim.AddDocument(kDatabase, {.id = -5});
  Execute("Delete");
  std::vector<sim::ItemOperation> deletions = sim.Deletions();
  ASSERT_EQ(deletions.size(), 2u);
  EXPECT_EQ(deletions[0].op, "DeleteDocument");
  EXPECT_FALSE(deletions[0].delete_child_items.has_value());
  EXPECT_EQ(deletions[1].item.type_code, -2);
}

TEST_F(DeleteTest, TheFirstFailingDeleteEndsTheStep) {
  SetUpStacks({{"REASON", "r"}});
  sim.InjectFault({.op = "IDmsService.DeleteDataEntity",
                   .when = {{"item.ID", 41}},
                   .number = 77,
                   .description = "Locked"});
  pelmark::Error e = ExecuteFailing("Delete");
  EXPECT_EQ(e.number(), 77);
  EXPECT_EQ(e.description(), "Locked");
  EXPECT_EQ(e.source(),
            "Pelmark.Dms => \r\nDelete:ProcessItems Ln 2"
            "\r\nDelete: IActivityRuntime_Execute Function Ln 8");
  EXPECT_EQ(platform.log.size(), 2u);
  EXPECT_EQ(sim.Deletions().size(), 1u) << "40 is gone, 42 is not attempted";
  EXPECT_EQ(sim.CallsTo("IDmsService.DeleteDataEntity").size(), 2u);
  EXPECT_TRUE(sim.TaskVariableWrites().empty());
}

TEST_F(DeleteTest, NothingIsDeletedWithoutAServiceAndAnUnknownKindFails) {
  sim.options().dms_service = false;
  SetUpStacks({{"REASON", "r"}});
  EXPECT_EQ(Execute("Delete"), 1);
  EXPECT_EQ(sim.TaskVariable(kTaskId, "DELETED"), Variant(false));
  EXPECT_EQ(sim.TaskVariable(kTaskId, "DELETEDON"), Variant::Date(kFixedNow));

  sim.options().dms_service = true;
  SetUpTask(ItemList("folder", kDatabase, "folders", "<folder id=\"1\"/>"), {{"REASON", "r"}},
            {"DELETED", "DELETEDON"});
  pelmark::Error e = ExecuteFailing("Delete");
  EXPECT_EQ(e.number(), corvane::kXPathErrorNumber);
  EXPECT_TRUE(sim.Deletions().empty());
}

class ExportTest : public ActivityTest {
 protected:
  void SetUpExport(const std::string& item_list, std::vector<sim::ParameterSpec> parameters) {
    SetUpTask(item_list, std::move(parameters), {});
    for (int32_t id : {17, 18, 19}) sim.AddDocument(kDatabase, {.id = id});
  }
};

TEST_F(ExportTest, CreatesEachMissingLevelOutermostFirstAndExportsTheLastItem) {
  platform.paths = {"/", "/srv"};
  SetUpExport(DocumentList({17, 18, 19}),
              {{"FOLDER", "\\srv\\exports\\2026\\"}, {"EXPORT_DOCUMENT", false}});
  EXPECT_EQ(Execute("ExportToFolder"), 1);
  EXPECT_EQ(platform.created, (std::vector<std::string>{"/srv/exports", "/srv/exports/2026"}));
  ASSERT_EQ(sim.Exports().size(), 1u) << "the value of EXPORT_DOCUMENT is never read";
  EXPECT_EQ(sim.Exports()[0].item->id, 19);
  EXPECT_EQ(sim.Exports()[0].folder, "\\srv\\exports\\2026");
}

TEST_F(ExportTest, AnExistingFolderWithTwoTrailingSeparatorsLosesOnlyOne) {
  platform.paths = {"/", "/data", "/data/out"};
  SetUpExport(DocumentList({17}), {{"FOLDER", "/data/out//"}, {"EXPORT_DOCUMENT", true}});
  Execute("ExportToFolder");
  EXPECT_TRUE(platform.created.empty());
  ASSERT_EQ(sim.Exports().size(), 1u);
  EXPECT_EQ(sim.Exports()[0].folder, "/data/out/");
}

TEST_F(ExportTest, APlainFileWhereTheFolderShouldBeCountsAsExisting) {
  platform.paths = {"/", "/out", "/out/report.pdf"};
  SetUpExport(DocumentList({17}), {{"FOLDER", "/out/report.pdf"}, {"EXPORT_DOCUMENT", ""}});
  EXPECT_EQ(Execute("ExportToFolder"), 1);
  EXPECT_TRUE(platform.created.empty());
  ASSERT_EQ(sim.Exports().size(), 1u);
  EXPECT_EQ(sim.Exports()[0].folder, "/out/report.pdf");
}

TEST_F(ExportTest, WithoutTheParameterNothingIsExportedButTheFolderIsMade) {
  platform.paths = {"/"};
  SetUpExport(DocumentList({17}), {{"FOLDER", "/out"}});
  Execute("ExportToFolder");
  EXPECT_EQ(platform.created, (std::vector<std::string>{"/out"}));
  EXPECT_TRUE(sim.Exports().empty());
}

TEST_F(ExportTest, AMissingListStillExportsWithNoReference) {
  platform.paths = {"/", "/out"};
  SetUpExport(ItemList("document", kDatabase, "stack", ""),
              {{"FOLDER", "/out"}, {"EXPORT_DOCUMENT", ""}});
  Execute("ExportToFolder");
  ASSERT_EQ(sim.Exports().size(), 1u);
  EXPECT_FALSE(sim.Exports()[0].item.has_value());
}

TEST_F(ExportTest, NoServiceOrDatabaseMinusOneTouchesNothing) {
  SetUpExport(DocumentList({17}, -1), {{"FOLDER", "/out"}, {"EXPORT_DOCUMENT", ""}});
  EXPECT_EQ(Execute("ExportToFolder"), 1);
  sim.options().dms_service = false;
  EXPECT_EQ(Execute("ExportToFolder"), 1);
  EXPECT_TRUE(platform.created.empty());
  EXPECT_TRUE(sim.Exports().empty());
}

TEST_F(ExportTest, PublicMembersAnswerOnTheDefaultInterfaceAndByName) {
  platform.paths = {"/", "/a", "/a/file.txt"};
  pelmark::ComPtr<pelmark::IActivityRuntime> activity = NewActivity("ExportToFolder");
  auto folder = activity.try_query<corvane::_ExportToFolder>();
  ASSERT_TRUE(folder);
  EXPECT_TRUE(folder->DirectoryExists("\\a\\file.txt")) << "a plain file counts";
  EXPECT_FALSE(folder->DirectoryExists("/a/missing"));
  folder->MakeDirectory("/a/b/c");
  EXPECT_EQ(platform.created, (std::vector<std::string>{"/a/b", "/a/b/c"}));

  auto call_by_name = [&](std::string_view name, const char* path) {
    std::string_view names[] = {name};
    int32_t dispid = 0;
    EXPECT_EQ(folder->GetIDsOfNames(names, &dispid), pelmark::S_OK) << name;
    std::vector<Variant> args{Variant(path)};
    Variant result;
    EXPECT_EQ(folder->Invoke(dispid, args, &result), pelmark::S_OK) << name;
    return result;
  };
  EXPECT_EQ(call_by_name("directoryexists", "/a/b"), Variant(true));
  call_by_name("MAKEDIRECTORY", "/a/d");
  EXPECT_EQ(platform.created, (std::vector<std::string>{"/a/b", "/a/b/c", "/a/d"}));
  // Positions are 16-bit: a separator at 32767 overflows before its level is made.
  EXPECT_EQ(ErrorNumberOf([&] { folder->MakeDirectory("/" + std::string(32766, 'a')); }), 6);
}

// A platform that reports success but makes nothing: the walk over the levels
// ends at the last one instead of going round for ever.
TEST_F(ExportTest, AFolderThePlatformNeverMakesEndsTheWalk) {
  struct ForgetfulPlatform : TestPlatform {
    void CreateDirectory(std::string_view path) override { created.emplace_back(path); }
  } forgetful;
  forgetful.paths = {"/"};
  SetUpExport(DocumentList({17}), {{"FOLDER", "/a/b"}, {"EXPORT_DOCUMENT", ""}});
  EXPECT_EQ(Execute("ExportToFolder"), 1);
  EXPECT_EQ(forgetful.created, (std::vector<std::string>{"/a", "/a/b"}));
  ASSERT_EQ(sim.Exports().size(), 1u);
  EXPECT_EQ(sim.Exports()[0].folder, "/a/b");
}

TEST_F(ExportTest, AFolderThatCannotBeMadeFailsTheStep) {
  struct RefusingPlatform : TestPlatform {
    void CreateDirectory(std::string_view) override { corvane::Raise(75); }
  } refusing;
  refusing.paths = {"/"};
  SetUpExport(DocumentList({17}), {{"FOLDER", "/locked/out"}, {"EXPORT_DOCUMENT", ""}});
  pelmark::Error e = ExecuteFailing("ExportToFolder");
  EXPECT_EQ(e.number(), 75);
  EXPECT_EQ(e.source(), "Corvane\r\nExportToFolder: IActivityRuntime_Execute Function Ln 11");
  EXPECT_TRUE(sim.Exports().empty());
}

}  // namespace
}  // namespace corvane_test
