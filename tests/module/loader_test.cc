// The installed host contract against the built Corvane.so: the loader's
// refusals and messages, the contract check, the host base classes, the
// platform defaults a host starts from, and the integrator's guide checked
// against `corvane describe`.
#include "corvane/loader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "corvane/catalogue.h"
#include "corvane/platform_override.h"
#include "corvane/version.h"
#include "errors.h"
#include "pelmark/host_bases.h"
#include "run_corvane.h"

namespace {

using corvane::cli_test::Slurp;
using corvane_test::ErrorOf;

namespace fs = std::filesystem;
using pelmark::ComPtr;

// A scratch directory of the test's own, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    path_ = fs::temp_directory_path() /
            ("corvane-loader-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDir() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

TEST(LoaderTest, EachBadInputGetsOneMessageNamingTheThingAndWhatToDo) {
  ScratchDir scratch;
  pelmark::Error missing = ErrorOf([&] { corvane::ComponentModule m(scratch / "None.so"); });
  EXPECT_EQ(missing.number(), 53);
  EXPECT_EQ(missing.description(), "the module " + (scratch / "None.so") +
                                       " does not exist; install the corvane package or give "
                                       "the module's path");

  WriteFile(scratch.path() / "Text.so", "not a shared object");
  pelmark::Error not_loadable = ErrorOf([&] { corvane::ComponentModule m(scratch / "Text.so"); });
  EXPECT_EQ(not_loadable.number(), 48);
  EXPECT_TRUE(not_loadable.description().starts_with("cannot load " + (scratch / "Text.so")))
      << not_loadable.description();

  corvane::Registry absent(scratch / "no-registry");
  pelmark::Error no_registry = ErrorOf([&] { absent.Resolve("Corvane.MarkAsVital"); });
  EXPECT_EQ(no_registry.number(), 75);
  EXPECT_EQ(no_registry.description(),
            "the registry directory " + (scratch / "no-registry") +
                " does not exist; register the component into it first (corvane register "
                "--registry " +
                (scratch / "no-registry") + ")");

  corvane::Registry empty(scratch.path().string());
  pelmark::Error unregistered = ErrorOf([&] { empty.Resolve("Corvane.MarkAsVitel"); });
  EXPECT_EQ(unregistered.number(), 429);
  EXPECT_TRUE(unregistered.description().starts_with("Corvane.MarkAsVitel is not registered in " +
                                                     scratch.path().string()))
      << unregistered.description();
  EXPECT_FALSE(fs::exists(scratch / "no-registry")) << "resolving creates nothing";
}

TEST(LoaderTest, AStaleRegistrationForAClassTheModuleDoesNotServeIsNamed) {
  ScratchDir scratch;
  const std::string clsid = "{0BADC0DE-0000-4000-8000-000000000001}";
  WriteFile(scratch.path() / "Corvane.Gone" / "CLSID" / "@", clsid);
  WriteFile(scratch.path() / "CLSID" / clsid / "InprocServer32" / "@", CORVANE_MODULE_PATH);

  corvane::Registry registry(scratch.path().string());
  corvane::RegisteredClass entry = registry.Resolve("Corvane.Gone");
  EXPECT_EQ(entry.module_path, CORVANE_MODULE_PATH);
  EXPECT_EQ(registry.Resolve(clsid).clsid, entry.clsid) << "a CLSID resolves as well";

  corvane::ComponentModule module(entry.module_path);
  pelmark::Error stale = ErrorOf([&] { module.Create<pelmark::IActivityRuntime>(entry.clsid); });
  EXPECT_EQ(stale.number(), 429);
  EXPECT_EQ(stale.description(),
            std::string(CORVANE_MODULE_PATH) + " does not serve the class " + clsid +
                "; the registry entry that named it is stale: register the component again");
}

TEST(LoaderTest, TheContractNamesBothSidesWhenVersionOrAbiDiffer) {
  corvane::ComponentModule module(CORVANE_MODULE_PATH);
  const corvane::ContractSide ours = module.ModuleContract();
  EXPECT_EQ(ours.version, static_cast<uint32_t>(PELMARK_CONTRACT_VERSION));
  EXPECT_EQ(ours.abi, corvane::HostContract().abi) << "this test and the module share a build";
  EXPECT_EQ(module.ProductVersion(), CORVANE_VERSION);
  EXPECT_EQ(corvane::ContractMismatch("M.so", ours, corvane::HostContract()), "");

  corvane::ContractSide older{ours.version - 1, ours.abi};
  EXPECT_EQ(corvane::ContractMismatch("M.so", ours, older),
            "refusing to use M.so: the module was built for contract version " +
                std::to_string(ours.version) + ", " + ours.abi +
                ", this host for contract version " + std::to_string(ours.version - 1) + ", " +
                ours.abi + "; build the host against the headers installed with this module");
  corvane::ContractSide other_abi{ours.version, "libc++, C++20"};
  EXPECT_NE(corvane::ContractMismatch("M.so", ours, other_abi)
                .find("this host for contract version " + std::to_string(ours.version) +
                      ", libc++, C++20; build the host with the same standard library"),
            std::string::npos);
}

// A DMS that offers only Connect and Disconnect: every other member is the base's.
class ConnectOnlyDms final : public pelmark::DmsServiceBase {
 public:
  void Connect(int32_t, pelmark::IDmsSession*) override { ++connects; }
  void Disconnect() override {}
  int connects = 0;
};

TEST(HostBasesTest, UnimplementedMembersRaise438NamingThemAndObjectsCountReferences) {
  ComPtr<ConnectOnlyDms> dms = pelmark::MakeHostObject<ConnectOnlyDms>();
  dms->Connect(7, nullptr);
  EXPECT_EQ(dms->connects, 1);
  pelmark::Error e = ErrorOf([&] { dms->GetSecurityLabel("Confidential"); });
  EXPECT_EQ(e.number(), 438);
  EXPECT_EQ(e.description(),
            "IDmsService::GetSecurityLabel is not supported by this host (Object doesn't "
            "support this property or method)");

  ComPtr<pelmark::IService> as_service = dms.try_query<pelmark::IService>();
  ASSERT_TRUE(as_service) << "the module asks a service for IService, then IDmsService";
  EXPECT_TRUE(as_service.try_query<pelmark::IDmsService>());
  EXPECT_FALSE(as_service.try_query<pelmark::INotificationService>());
  EXPECT_EQ(dms->AddRef(), 3u) << "dms, as_service and this call";
  EXPECT_EQ(dms->Release(), 2u);
}

// Only the event log replaced; the rest comes from the module.
class KeptLog final : public corvane::PlatformOverride {
 public:
  using PlatformOverride::PlatformOverride;
  void LogError(std::string_view text) override { log.emplace_back(text); }
  std::vector<std::string> log;
};

TEST(PlatformOverrideTest, AHostReplacesOneServiceAndKeepsTheModulesOthers) {
  corvane::ComponentModule module(CORVANE_MODULE_PATH);
  KeptLog platform(module.SystemPlatform());
  EXPECT_EQ(platform.Locale().name, "en-US");
  EXPECT_EQ(platform.RegistryRoot(), "/var/lib/pelmark/registry");
  EXPECT_GT(platform.Now(), 45000.0) << "the real clock, well after 2023";
  platform.LogError("kept");
  EXPECT_EQ(platform.log, std::vector<std::string>{"kept"});
  ASSERT_NE(module.Locale("de-DE"), nullptr);
  EXPECT_EQ(module.Locale("de-DE")->month_names[2], "März");
  EXPECT_EQ(module.Locale("fr-FR"), nullptr);
}

TEST(IntegratorGuideTest, ServicesColumnMatchesCorvaneDescribe) {
  const std::string out =
      (fs::temp_directory_path() / ("corvane-describe-" + std::to_string(::getpid()) + ".json"))
          .string();
  ASSERT_EQ(std::system((std::string(CORVANE_CLI_PATH) + " describe --all --json >" + out).c_str()),
            0);
  nlohmann::json described = nlohmann::json::parse(Slurp(out));
  fs::remove(out);

  std::map<std::string, std::string> guide;
  std::istringstream lines(Slurp(fs::path(CORVANE_SOURCE_DIR) / "docs/integrating.md"));
  const std::regex row(R"(^\| (\w+) \| ((?:\w+Service(?:, )?)+) \|)");
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_search(line, m, row)) guide[m[1]] = m[2];
  }
  ASSERT_EQ(described.size(), corvane::kClassCount);
  for (const nlohmann::json& c : described) {
    const std::string name = c["name"];
    std::string services;
    for (const nlohmann::json& s : c["services"])
      services += (services.empty() ? "" : ", ") + s.get<std::string>();
    ASSERT_TRUE(guide.count(name)) << name << " has no row in docs/integrating.md";
    EXPECT_EQ(guide[name], services) << name;
  }
}

}  // namespace
