// A starting point for a host's own platform services: every member forwards to
// the module's defaults (local clock, en-US locale, syslog, the real file system,
// the system registry directory), and a host overrides only what it replaces.
//
// Threading: as PlatformServices: install before creating objects.
//
// Typical usage:
//   class FixedClock final : public corvane::PlatformOverride {
//    public:
//     using PlatformOverride::PlatformOverride;
//     double Now() override { return 45730.5; }
//   };
//   FixedClock clock(module.SystemPlatform());  // module: corvane::ComponentModule
//   module.SetPlatform(&clock);
#pragma once

#include <string>
#include <string_view>

#include "corvane/platform.h"

namespace corvane {

class PlatformOverride : public PlatformServices {
 public:
  // REQUIRES: `defaults` outlives this object (the module's own stay while it is loaded).
  explicit PlatformOverride(PlatformServices* defaults) : defaults_(defaults) {}

  double Now() override { return defaults_->Now(); }
  const LocaleInfo& Locale() override { return defaults_->Locale(); }
  void LogError(std::string_view description) override { defaults_->LogError(description); }
  bool PathExists(std::string_view path) override { return defaults_->PathExists(path); }
  void CreateDirectory(std::string_view path) override { defaults_->CreateDirectory(path); }
  std::string RegistryRoot() override { return defaults_->RegistryRoot(); }
  void CreateDirectoryBelow(std::string_view root, std::string_view below,
                            std::string_view path) override {
    defaults_->CreateDirectoryBelow(root, below, path);
  }
  void ItemSkipped(std::string_view entity_name, std::string_view id_text,
                   const pelmark::Error& error) override {
    defaults_->ItemSkipped(entity_name, id_text, error);
  }

 protected:
  PlatformServices& defaults() { return *defaults_; }

 private:
  PlatformServices* defaults_;
};

}  // namespace corvane
