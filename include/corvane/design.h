// The design-time interface: what a class reads, writes and decides, and what is
// wrong with a step's configuration before it runs. Every activity object answers
// QueryInterface for it, and late binding by the names "Describe" and "Check" on
// its dispatch interface; a host that never asks is unaffected.
//
// Threading: apartment, like IActivityRuntime. Neither method calls the host or
// the DMS, and neither reads or writes state shared with other objects.
#pragma once

#include <string>
#include <string_view>

#include "pelmark/com.h"

namespace corvane {

struct IActivityDesign : pelmark::IDispatch {
  PELMARK_INTERFACE(IActivityDesign, "{C0A7D35E-6B1F-4E8A-9D42-7F3B2E915A60}");
  // The class's reference as JSON text (UTF-8): parameters with type, default,
  // allowed values and meaning, template variables, variables read and written,
  // results, services, errors and, for the human-task steps, the decision table.
  virtual std::string Describe() = 0;
  // Findings about a configuration given as JSON text (docs/integrating.md shows
  // both shapes). Never throws: input it cannot read answers one finding of
  // severity "error" and kind "configuration".
  virtual std::string Check(std::string_view configuration) = 0;

 protected:
  ~IActivityDesign() = default;
};

// Dispatch ids of the two members on every activity object's dispatch interface
// (ExportToFolder's own members hold 0x60030000 and 0x60030001).
inline constexpr int32_t kDispDescribe = 0x60040000;
inline constexpr int32_t kDispCheck = 0x60040001;

}  // namespace corvane
