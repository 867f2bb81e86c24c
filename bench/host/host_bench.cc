// Steps side by side on a host's threads: loads Corvane.so through the public
// loader, as a host does, and runs the same mix of steps (step_mix.h) on 1, 2,
// 4 and 8 threads of this process, each thread with its own objects and its
// own minimal host. Reports the mixes per second of wall-clock time for each
// thread count and its ratio to one thread, and the process's CPU time per mix
// (which stays flat when threads neither wait for nor disturb one another,
// however busy the machine is). A mix with a wrong result stops the run with
// exit status 1.
//
//   corvane_host_bench [--module PATH] [--seconds S] [--items N] [--threads 1,2,4,8]
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "corvane/loader.h"
#include "corvane/platform_override.h"
#include "step_mix.h"

namespace {

using corvane::host_bench::StepMix;
using Clock = std::chrono::steady_clock;

// The module's own services with a fixed clock and no system log: every
// thread reads them at once, and the checks expect the same time.
class BenchPlatform final : public corvane::PlatformOverride {
 public:
  using PlatformOverride::PlatformOverride;
  double Now() override { return corvane::host_bench::kNow; }
  void LogError(std::string_view) override {}
};

struct Options {
  std::string module = CORVANE_MODULE_PATH;
  double seconds = 3;
  int items = 10000;
  std::vector<int> threads = {1, 2, 4, 8};
};

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: corvane_host_bench [--module PATH] [--seconds S] [--items N] "
               "[--threads 1,2,4,8]\n");
  std::exit(2);
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) Usage();
    const std::string value = argv[++i];
    if (arg == "--module") {
      o.module = value;
    } else if (arg == "--seconds") {
      o.seconds = std::atof(value.c_str());
    } else if (arg == "--items") {
      o.items = std::atoi(value.c_str());
    } else if (arg == "--threads") {
      o.threads.clear();
      for (size_t from = 0; from <= value.size();) {
        const size_t comma = std::min(value.find(',', from), value.size());
        o.threads.push_back(std::atoi(value.substr(from, comma - from).c_str()));
        from = comma + 1;
      }
    } else {
      Usage();
    }
  }
  const bool bad_threads =
      std::any_of(o.threads.begin(), o.threads.end(), [](int n) { return n < 1 || n > 256; });
  if (o.seconds <= 0 || o.items < 1 || o.threads.empty() || bad_threads) Usage();
  return o;
}

// The process's CPU time, user and system, in seconds.
double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Round {
  long mixes = 0;
  double seconds = 0;
  double cpu_seconds = 0;
  std::string wrong;  // the first wrong result of any thread
};

// Runs `threads` threads for about `seconds`; each runs one mix to warm up
// before the clock starts, then mixes until told to stop.
Round RunRound(const corvane::ComponentModule& module, const Options& o, int threads) {
  std::atomic<int> ready{0};
  std::atomic<bool> go{false}, stop{false};
  std::atomic<long> mixes{0};
  std::mutex wrong_mutex;  // taken only to keep the first failure's text
  Round round;
  auto fail = [&](const std::string& what) {
    std::lock_guard<std::mutex> hold(wrong_mutex);
    if (round.wrong.empty()) round.wrong = what;
    stop = true;
  };
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      StepMix mix(module, o.items);
      std::string wrong = mix.Run();
      ++ready;
      while (!go) std::this_thread::yield();
      long done = 0;
      while (wrong.empty() && !stop) {
        wrong = mix.Run();
        if (wrong.empty()) ++done;
      }
      mixes += done;
      if (!wrong.empty()) fail(wrong);
    });
  }
  while (ready < threads) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const Clock::time_point start = Clock::now();
  const double cpu_start = ProcessCpuSeconds();
  go = true;
  const Clock::time_point deadline =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds));
  while (!stop && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  stop = true;
  for (std::thread& w : workers) w.join();
  round.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  round.cpu_seconds = ProcessCpuSeconds() - cpu_start;
  round.mixes = mixes;
  return round;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  try {
    corvane::ComponentModule module(o.module);
    BenchPlatform platform(module.SystemPlatform());
    module.SetPlatform(&platform);
    std::printf("Corvane %s, %s; %d items per walk, %.1f s per thread count, %u cores\n",
                module.ProductVersion().c_str(), o.module.c_str(), o.items, o.seconds,
                std::thread::hardware_concurrency());
    std::printf("%8s %8s %9s %10s %12s %9s\n", "threads", "mixes", "seconds", "mixes/s",
                "cpu ms/mix", "ratio");
    double one = 0, two = 0;
    for (int threads : o.threads) {
      const Round r = RunRound(module, o, threads);
      if (!r.wrong.empty()) {
        std::fprintf(stderr, "corvane_host_bench: a mix went wrong on %d threads: %s\n", threads,
                     r.wrong.c_str());
        module.SetPlatform(nullptr);
        return 1;
      }
      const double rate = static_cast<double>(r.mixes) / r.seconds;
      if (threads == 1) one = rate;
      if (threads == 2) two = rate;
      std::printf("%8d %8ld %9.2f %10.1f %12.3f", threads, r.mixes, r.seconds, rate,
                  1000 * r.cpu_seconds / static_cast<double>(std::max(r.mixes, 1L)));
      if (one > 0) std::printf(" %8.2fx", rate / one);
      if (threads == 8 && two > 0) std::printf("  (%.2fx of 2 threads)", rate / two);
      std::printf("\n");
    }
    module.SetPlatform(nullptr);
  } catch (const pelmark::Error& e) {
    std::fprintf(stderr, "corvane_host_bench: %s (error %d)\n", e.description().c_str(),
                 e.number());
    return 2;
  }
  return 0;
}
