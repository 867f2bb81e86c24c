// A quiet platform for benchmarks: a fixed clock, no syslog, every folder
// present. Installed for its lifetime; one at a time, on the benchmark thread.
#pragma once

#include "corvane/platform.h"

namespace corvane::bench {

class QuietPlatform final : public PlatformServices {
 public:
  QuietPlatform() : previous_(SetPlatform(this)) {}
  ~QuietPlatform() override { SetPlatform(previous_); }
  QuietPlatform(const QuietPlatform&) = delete;
  QuietPlatform& operator=(const QuietPlatform&) = delete;

  double Now() override { return 46361.5; }
  const LocaleInfo& Locale() override { return LocaleInfo::EnUs(); }
  void LogError(std::string_view) override {}
  bool PathExists(std::string_view) override { return true; }
  void CreateDirectory(std::string_view) override {}
  std::string RegistryRoot() override { return "/nonexistent"; }

 private:
  PlatformServices* previous_;
};

}  // namespace corvane::bench
