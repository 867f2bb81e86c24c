// The item-list front and walk on arbitrary item-list text: the text becomes the
// workflow instance's "dmsobject" variable and one of three steps runs over it
// (the flag walk, which suppresses per-item errors, the document operations'
// walk or the field steps' walk). Besides crashes and sanitizer findings, the fuzzer checks
// what a host relies on: a step either completes or fails with a
// pelmark::Error whose source chain ends at the step's Execute, every reference
// it took is released, and no more items are operated on than the list has
// elements.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/support/test_platform.h"
#include "component/class_table.h"
#include "corvane/catalogue.h"
#include "simulator.h"

namespace {

constexpr int32_t kProcessId = 12;
constexpr int32_t kTaskId = 5;

void Check(bool condition) {
  if (!condition) std::abort();
}

void RunStep(std::string_view class_name, const std::string& item_list) {
  sim::Simulator sim;
  sim.SetProcess({.id = kProcessId, .variables = {sim::ItemListVariable(item_list)}});
  sim.AddTask({.task_id = kTaskId,
               .process_id = kProcessId,
               .parameters = {{"REASON", "fuzz"},
                              {"PUBLISH_AS_MAJOR_VERSION", true},
                              {"FIELDNAME", "Title"},
                              {"FIELDVALUE", "x"}},
               .variables = {{.name = "MARKEDASRECORDON"}, {.name = "ISVITAL"}}});
  // A small store keeps runs fast; items it lacks exercise the error paths.
  for (int32_t db : {-1, 7}) sim.AddDatabase(db);
  for (int32_t id : {-2, 17})
    sim.AddDocument(7, {.id = id, .fields = {sim::Field::Text("Title", "t")}});
  sim.AddDataEntity(7, {.id = 1, .type_code = 9});
  sim.AddRecordSeries(7, {.id = 1, .type_code = 12});
  const corvane::ClassInfo* info = corvane::FindClassByName(class_name);
  try {
    pelmark::ComPtr<pelmark::IActivityRuntime> activity(corvane::CreateActivity(*info));
    pelmark::ITask* task = sim.Task(kTaskId);
    Check(activity->Execute(sim.Services(), task) == 1);
  } catch (const pelmark::Error& e) {
    std::string entry =
        "\r\n" + std::string(class_name) + ": IActivityRuntime_Execute Function Ln ";
    Check(e.source().find(entry) != std::string::npos);
  }
  Check(sim.HeldReferences().empty());
  size_t elements = 0;
  for (char c : item_list) elements += c == '<';
  Check(sim.ItemOperations().size() <= elements);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  static corvane_test::TestPlatform* platform = new corvane_test::TestPlatform;
  const std::string item_list(reinterpret_cast<const char*>(data), size);
  // One step per input, chosen by its length, so that every walk is reached.
  static constexpr std::string_view kSteps[] = {"MarkAsVital", "Publish", "ChangeFieldValue"};
  RunStep(kSteps[size % 3], item_list);
  // Emptied before returning, so that the input frees what it allocated: an
  // input that ends with more allocations than frees makes libFuzzer run it
  // again under the leak checker.
  std::vector<std::string>().swap(platform->log);
  return 0;
}
