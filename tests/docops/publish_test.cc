// Publish: only document items with a negative id reach the service.
#include <gtest/gtest.h>

#include <optional>

#include "activity_fixture.h"

namespace corvane_test {
namespace {

using pelmark::Variant;

class PublishTest : public ActivityTest {
 protected:
  void SetUpPublish(const std::string& item_list, std::vector<sim::ParameterSpec> parameters) {
    SetUpTask(item_list, std::move(parameters), {});
    for (int32_t id : {-7, 0, 5, -9}) sim.AddDocument(kDatabase, {.id = id});
  }
  // "ID TypeCode VersionType" of each PublishDocument call.
  std::vector<std::string> Published() const {
    std::vector<std::string> out;
    for (const sim::Call& c : sim.CallsTo("IDmsService.PublishDocument"))
      out.push_back(std::to_string(c.ArgValue("item.ID").long_value()) + " " +
                    std::to_string(c.ArgValue("item.TypeCode").long_value()) + " " +
                    std::to_string(c.ArgValue("item.VersionType").long_value()));
    return out;
  }
};

TEST_F(PublishTest, VersionTypeFollowsTheMajorVersionParameter) {
  const struct {
    std::optional<Variant> major;
    std::string version_type;  // empty: the step fails
    int32_t error;
  } cases[] = {
      {std::nullopt, "0", 0}, {true, "0", 0},       {false, "1", 0},           {"false", "1", 0},
      {"0", "1", 0},          {int32_t{2}, "0", 0}, {Variant::Null(), "", 94}, {"maybe", "", 13},
  };
  for (const auto& c : cases) {
    ResetSimulator();
    std::vector<sim::ParameterSpec> parameters;
    if (c.major) parameters.push_back({"PUBLISH_AS_MAJOR_VERSION", *c.major});
    SetUpPublish(DocumentList({-7, 0, 5, -9}), parameters);
    SCOPED_TRACE(c.major ? sim::FormatVariant(*c.major) : "absent");
    if (c.error != 0) {
      pelmark::Error e = ExecuteFailing("Publish");
      EXPECT_EQ(e.number(), c.error);
      EXPECT_EQ(e.source(),
                "Corvane => \r\nPublish:ProcessDocument Ln 4\r\n"
                "Publish: IActivityRuntime_Execute Function Ln 8");
      EXPECT_TRUE(Published().empty());
      continue;
    }
    EXPECT_EQ(Execute("Publish"), 1);
    EXPECT_EQ(Published(),
              (std::vector<std::string>{"-7 -2 " + c.version_type, "-9 -2 " + c.version_type}))
        << "ids 0 and 5 are not published";
  }
}

TEST_F(PublishTest, MissingDocumentGoesToTheServiceAndEndsTheWalk) {
  SetUpPublish(DocumentList({-7, -99, -9}), {});
  pelmark::Error e = ExecuteFailing("Publish");
  EXPECT_EQ(e.number(), sim::kErrNotFound);
  EXPECT_EQ(e.source(),
            "Pelmark.Dms => \r\nPublish:ProcessDocument Ln 6\r\n"
            "Publish: IActivityRuntime_Execute Function Ln 8");
  EXPECT_EQ(Published(), (std::vector<std::string>{"-7 -2 0", "-99 -2 0"}));
  EXPECT_EQ(sim.FieldValue(kDatabase, "Document", -7, "MajorVersion"), Variant(int32_t{2}))
      << "what was published stays published";
  EXPECT_TRUE(sim.CallsTo("IDmsService.GetDocument").empty()) << "nothing is fetched first";
}

TEST_F(PublishTest, StacksAndRecordSeriesAreLeftAlone) {
  SetUpPublish(ItemList("stackitem", kDatabase, "stack", "<stackitem id=\"-3\" typecode=\"9\"/>"),
               {});
  EXPECT_EQ(Execute("Publish"), 1);
  EXPECT_EQ(DmsOps(), (std::vector<std::string>{"IDmsService.Connect", "IDmsService.Disconnect"}));
}

}  // namespace
}  // namespace corvane_test
