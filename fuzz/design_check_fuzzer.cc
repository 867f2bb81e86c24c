// A class's Check on arbitrary configuration text, through the design-time
// interface of the object a host creates. Besides crashes and sanitizer
// findings, the fuzzer checks what a host's designer relies on: Check never
// throws, its answer is JSON naming the class with a list of findings, and
// every finding has a severity of "error" or "warning". The first byte chooses
// the class.
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "../tests/support/test_platform.h"
#include "component/class_table.h"
#include "corvane/catalogue.h"
#include "corvane/design.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 8192) return 0;
  // Installed once and kept: the conversions a check makes read the locale through it.
  [[maybe_unused]] static corvane_test::TestPlatform* platform = new corvane_test::TestPlatform;
  const corvane::ClassInfo& info = corvane::kCatalogue[data[0] % corvane::kClassCount];
  pelmark::ComPtr<corvane::Activity> step(corvane::CreateActivity(info));
  auto design =
      pelmark::ComPtr<pelmark::IActivityRuntime>(step.get()).try_query<corvane::IActivityDesign>();
  Check(design != nullptr);
  const std::string answer =
      design->Check(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  const nlohmann::json json = nlohmann::json::parse(answer);
  Check(json["class"] == info.name);
  for (const nlohmann::json& f : json["findings"])
    Check(f["severity"] == "error" || f["severity"] == "warning");
  return 0;
}
