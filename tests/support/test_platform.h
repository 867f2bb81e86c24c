// A platform for tests: a fixed clock, a chosen locale, an event log that keeps
// its entries, an in-memory file system and a registry root of the test's own;
// it also keeps, as the decision observer, what the classes decided. Installing
// it is scoped: the previous platform and observer come back on destruction.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/decisions.h"
#include "corvane/platform.h"

namespace corvane_test {

// 5 December 2026 14:30:00, as days since 30 December 1899.
inline constexpr double kFixedNow = 46361.0 + 14.5 / 24.0;

class TestPlatform : public corvane::PlatformServices, public corvane::DecisionObserver {
 public:
  TestPlatform()
      : previous_(corvane::SetPlatform(this)),
        previous_observer_(corvane::SetDecisionObserver(this)) {}
  ~TestPlatform() override {
    corvane::SetDecisionObserver(previous_observer_);
    corvane::SetPlatform(previous_);
  }
  TestPlatform(const TestPlatform&) = delete;
  TestPlatform& operator=(const TestPlatform&) = delete;

  double Now() override { return now; }
  const corvane::LocaleInfo& Locale() override { return *locale; }
  void LogError(std::string_view description) override { log.emplace_back(description); }
  bool PathExists(std::string_view path) override { return paths.count(std::string(path)) > 0; }
  void CreateDirectory(std::string_view path) override {
    created.emplace_back(path);
    paths.insert(std::string(path));
  }
  std::string RegistryRoot() override { return registry_root; }
  size_t TemplateOutputLimit() override { return template_output_limit; }
  void Decided(const corvane::Decision& decision) override { decisions.push_back(decision); }

  // The value of a figure of the last decision explained; Empty when it has none.
  pelmark::Variant Figure(std::string_view name) const {
    if (decisions.empty()) return {};
    for (const corvane::DecisionFigure& f : decisions.back().figures)
      if (f.name == name) return f.value;
    return {};
  }

  double now = kFixedNow;
  const corvane::LocaleInfo* locale = &corvane::LocaleInfo::EnUs();
  std::vector<std::string> log;
  std::set<std::string> paths;
  std::vector<std::string> created;
  std::string registry_root = "/nonexistent/registry";
  size_t template_output_limit = size_t{64} << 20;
  std::vector<corvane::Decision> decisions;

 private:
  corvane::PlatformServices* previous_;
  corvane::DecisionObserver* previous_observer_;
};

}  // namespace corvane_test
