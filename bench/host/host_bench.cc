// Steps side by side on a host's threads: loads Corvane.so through the public
// loader, as a host does, and runs the same mix of steps (step_mix.h) on 1, 2,
// 4 and 8 threads of this process, each thread with its own objects and its
// own minimal host. Beside each thread count runs its floor: as many processes
// of one thread each, which share nothing. Reports the mixes per second of
// wall-clock time of both, their ratios to one thread, the CPU time per mix
// (flat when threads neither wait for nor disturb one another, however busy
// the machine is) and the threads' throughput over the processes'. A mix with
// a wrong result stops the run with exit status 1.
//
//   corvane_host_bench [--module PATH] [--seconds S] [--items N] [--threads 1,2,4,8]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "step_mix.h"

namespace {

using corvane::host_bench::BenchPlatform;
using corvane::host_bench::StepMix;
using Clock = std::chrono::steady_clock;

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

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

// CPU time, user and system, in seconds: of this process, or of its children
// that have been waited for.
double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

struct Round {
  long mixes = 0;
  double seconds = 0;
  double cpu_seconds = 0;
  std::string wrong;  // the first wrong result

  double Rate() const { return static_cast<double>(mixes) / seconds; }
  double CpuMsPerMix() const {
    return 1000 * cpu_seconds / static_cast<double>(std::max(mixes, 1L));
  }
};

Clock::duration Span(double seconds) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// Runs `threads` threads of this process for about `seconds`; each runs one
// mix to warm up before the clock starts, then mixes until told to stop.
Round RunThreads(const corvane::ComponentModule& module, const Options& o, int threads) {
  std::atomic<int> ready{0};
  std::atomic<bool> go{false}, stop{false};
  std::atomic<long> mixes{0};
  std::mutex wrong_mutex;  // taken only to keep the first failure's text
  Round round;
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      StepMix mix(module, o.items);
      std::string wrong = mix.Run();
      ++ready;
      while (!go) std::this_thread::yield();
      long done = 0;
      for (; wrong.empty() && !stop; ++done) wrong = mix.Run();
      mixes += wrong.empty() ? done : 0;
      if (wrong.empty()) return;
      std::lock_guard<std::mutex> hold(wrong_mutex);
      if (round.wrong.empty()) round.wrong = wrong;
      stop = true;
    });
  }
  while (ready < threads) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const Clock::time_point start = Clock::now();
  const double cpu_start = CpuSeconds(RUSAGE_SELF);
  go = true;
  while (!stop && Clock::now() < start + Span(o.seconds))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  stop = true;
  for (std::thread& w : workers) w.join();
  round.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  round.cpu_seconds = CpuSeconds(RUSAGE_SELF) - cpu_start;
  round.mixes = mixes;
  return round;
}

struct ChildReport {
  long mixes;
  bool right;
};

// A process of the floor: one mix to warm up, then mixes from the moment the
// parent closes `go` for `seconds`; a wrong result is written to standard error.
[[noreturn]] void RunChild(const corvane::ComponentModule& module, const Options& o, int ready,
                           int go, int report) {
  StepMix mix(module, o.items);
  std::string wrong = mix.Run();
  char byte = 1;
  (void)!::write(ready, &byte, 1);
  (void)!::read(go, &byte, 1);  // returns at the end of the file: the parent's close
  const Clock::time_point deadline = Clock::now() + Span(o.seconds);
  long done = 0;
  for (; wrong.empty() && Clock::now() < deadline; ++done) wrong = mix.Run();
  if (!wrong.empty()) std::fprintf(stderr, "corvane_host_bench: %s\n", wrong.c_str());
  const ChildReport r{wrong.empty() ? done : 0, wrong.empty()};
  (void)!::write(report, &r, sizeof r);
  ::_exit(0);
}

// The floor beside each thread count: as many processes of one thread each,
// forked from this one with the module loaded. They share nothing, so what the
// threads of one process fall short of them is what sharing a process costs.
Round RunProcesses(const corvane::ComponentModule& module, const Options& o, int processes) {
  int ready[2], go[2], report[2];
  if (::pipe(ready) != 0 || ::pipe(go) != 0 || ::pipe(report) != 0)
    throw pelmark::Error(75, "corvane_host_bench", "cannot make a pipe");
  const double cpu_start = CpuSeconds(RUSAGE_CHILDREN);
  std::vector<pid_t> children;
  for (int p = 0; p < processes; ++p) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(ready[0]);
      ::close(go[1]);
      ::close(report[0]);
      RunChild(module, o, ready[1], go[0], report[1]);
    }
    if (pid > 0) children.push_back(pid);
  }
  ::close(ready[1]);
  ::close(go[0]);
  ::close(report[1]);
  char byte;
  for (size_t p = 0; p < children.size() && ::read(ready[0], &byte, 1) == 1;) ++p;
  const Clock::time_point start = Clock::now();
  ::close(go[1]);
  Round round;
  int reports = 0;
  for (ChildReport r{}; ::read(report[0], &r, sizeof r) == sizeof r; ++reports) {
    round.mixes += r.mixes;
    if (!r.right) round.wrong = "a mix went wrong in a process of its own (above)";
  }
  for (pid_t pid : children) ::waitpid(pid, nullptr, 0);
  round.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  round.cpu_seconds = CpuSeconds(RUSAGE_CHILDREN) - cpu_start;
  if (reports != processes && round.wrong.empty()) round.wrong = "a process did not report";
  ::close(ready[0]);
  ::close(report[0]);
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
    std::printf("%8s | %-29s | %-29s | %s\n", "", "one process of N threads",
                "N processes of one thread", "threads");
    std::printf("%8s | %9s %8s %10s | %9s %8s %10s | %s\n", "N", "mixes/s", "ratio", "cpu ms/mix",
                "mixes/s", "ratio", "cpu ms/mix", "/processes");
    // A round that counts for nothing first: the process's heap and the
    // module's first-use tables are made once, not in the first measured round.
    Options warm_up = o;
    warm_up.seconds = std::min(o.seconds, 1.0);
    RunThreads(module, warm_up, 1);
    double one = 0, two = 0;
    for (int n : o.threads) {
      const Round threads = RunThreads(module, o, n);
      const Round processes = threads.wrong.empty() ? RunProcesses(module, o, n) : Round{};
      if (!threads.wrong.empty() || !processes.wrong.empty()) {
        std::fprintf(stderr, "corvane_host_bench: a mix went wrong with N = %d: %s\n", n,
                     (threads.wrong.empty() ? processes.wrong : threads.wrong).c_str());
        module.SetPlatform(nullptr);
        return 1;
      }
      if (one == 0) one = threads.Rate();
      if (n == 2) two = threads.Rate();
      std::printf("%8d | %9.1f %7.2fx %10.3f | %9.1f %7.2fx %10.3f | %9.2fx", n, threads.Rate(),
                  threads.Rate() / one, threads.CpuMsPerMix(), processes.Rate(),
                  processes.Rate() / one, processes.CpuMsPerMix(),
                  threads.Rate() / processes.Rate());
      if (n > 2 && two > 0) std::printf("  (%.2fx of 2 threads)", threads.Rate() / two);
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
