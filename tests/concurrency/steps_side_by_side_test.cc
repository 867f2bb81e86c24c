// The built Corvane.so on a host's many threads: steps run side by side, each
// thread with its own objects and host, while another thread registers and
// unregisters the classes and another reads and reinstalls the platform
// services. Built with CORVANE_TSAN=ON, the same test runs under
// ThreadSanitizer, which fails it on any data race.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "corvane/loader.h"
#include "corvane/platform_override.h"
#include "step_mix.h"

namespace {

namespace fs = std::filesystem;
using corvane::host_bench::StepMix;

// The module's own services with a fixed clock, a registry directory of the
// test's own and an event log that only counts (nothing should be logged).
class TestPlatform final : public corvane::PlatformOverride {
 public:
  TestPlatform(corvane::PlatformServices* defaults, std::string root)
      : PlatformOverride(defaults), root_(std::move(root)) {}
  double Now() override { return corvane::host_bench::kNow; }
  void LogError(std::string_view) override { ++logged; }
  std::string RegistryRoot() override { return root_; }

  std::atomic<int> logged{0};

 private:
  const std::string root_;
};

constexpr int kStepThreads = 4;
constexpr int kMixesPerThread = 3;
constexpr int kItems = 40;

TEST(StepsSideBySideTest, EachThreadSeesWhatASingleThreadSeesWhileRegistrationRuns) {
  corvane::ComponentModule module(CORVANE_MODULE_PATH);
  const fs::path root =
      fs::temp_directory_path() / ("corvane-concurrency-" + std::to_string(::getpid()));
  fs::remove_all(root);
  TestPlatform platform(module.SystemPlatform(), root.string());
  module.SetPlatform(&platform);

  std::vector<std::string> alone;
  ASSERT_EQ(StepMix(module, kItems, &alone).Run(), "");
  ASSERT_GT(alone.size(), static_cast<size_t>(2 * kItems));

  std::atomic<int> running{kStepThreads};
  std::vector<std::string> wrong(kStepThreads);  // each thread's first difference
  std::vector<std::thread> threads;
  for (int t = 0; t < kStepThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kMixesPerThread && wrong[t].empty(); ++round) {
        std::vector<std::string> journal;
        wrong[t] = StepMix(module, kItems, &journal).Run();
        if (wrong[t].empty() && journal != alone)
          wrong[t] = "round " + std::to_string(round) + " made other host calls";
      }
      --running;
    });
  }

  int registrations = 0, failed_registrations = 0;
  std::thread registrar([&] {
    do {
      failed_registrations += module.RegisterServer() != pelmark::S_OK;
      failed_registrations += module.UnregisterServer() != pelmark::S_OK;
      ++registrations;
    } while (running > 0);
  });

  int seam_reads = 0, seam_differences = 0;
  std::thread reader([&] {
    corvane::PlatformServices* system = module.SystemPlatform();
    do {
      // Reinstalling the services in force must not disturb calls under way.
      module.SetPlatform(&platform);
      seam_differences +=
          system->Locale().name != "en-US" || module.Locale("de-DE")->decimal_separator != "," ||
          platform.Now() != corvane::host_bench::kNow || platform.RegistryRoot() != root.string();
      ++seam_reads;
    } while (running > 0);
  });

  for (std::thread& t : threads) t.join();
  registrar.join();
  reader.join();
  for (int t = 0; t < kStepThreads; ++t) EXPECT_EQ(wrong[t], "") << "thread " << t;
  EXPECT_GT(registrations, 0);
  EXPECT_EQ(failed_registrations, 0);
  EXPECT_GT(seam_reads, 0);
  EXPECT_EQ(seam_differences, 0);
  EXPECT_EQ(platform.logged, 0);

  // The last unregistration left nothing; a registration now is whole.
  EXPECT_TRUE(!fs::exists(root) || fs::is_empty(root));
  ASSERT_EQ(module.RegisterServer(), pelmark::S_OK);
  EXPECT_EQ(corvane::Registry(root.string()).Classes().size(), 32u);
  module.SetPlatform(nullptr);
  fs::remove_all(root);
}

}  // namespace
