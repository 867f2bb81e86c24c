// What one step costs the host: Execute of a flag class and of a field class
// over an item list of N documents, through the simulator (whose journal and
// copies dominate; the library's own share is what the profile attributes to
// corvane code). Numbers are recorded in docs/performance.md.
#include <benchmark/benchmark.h>

#include <string>

#include "component/class_table.h"
#include "corvane/catalogue.h"
#include "corvane/platform.h"
#include "quiet_platform.h"
#include "simulator.h"

namespace corvane {
namespace {

std::string DocumentList(int n) {
  std::string items;
  for (int id = 1; id <= n; ++id)
    items += "<document id=\"" + std::to_string(id) + "\" name=\"Doc\"/>";
  return "<dmsobject entitytype=\"document\" dbid=\"7\" dbpath=\"\" dbtype=\"1\"><documents>" +
         items + "</documents></dmsobject>";
}

void RunStep(benchmark::State& state, std::string_view class_name,
             std::vector<sim::ParameterSpec> parameters, std::vector<sim::VariableSpec> variables) {
  const int n = static_cast<int>(state.range(0));
  bench::QuietPlatform platform;
  sim::Simulator sim;
  sim.SetProcess({.id = 12, .variables = {sim::ItemListVariable(DocumentList(n))}});
  sim::TaskSpec task{.task_id = 5,
                     .process_id = 12,
                     .parameters = std::move(parameters),
                     .variables = std::move(variables)};
  sim.AddTask(std::move(task));
  for (int id = 1; id <= n; ++id)
    sim.AddDocument(7, {.id = id, .fields = {sim::Field::Text("Title", "Contract")}});
  pelmark::ComPtr<pelmark::IActivityRuntime> step(CreateActivity(*FindClassByName(class_name)));
  for (auto _ : state) {
    pelmark::ITask* t = sim.Task(5);
    benchmark::DoNotOptimize(step->Execute(sim.Services(), t));
    state.PauseTiming();
    sim.ClearJournal();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_MarkAsVital(benchmark::State& state) {
  RunStep(state, "MarkAsVital", {{"REASON", "Quarterly review"}},
          {{.name = "MARKEDASRECORDON"}, {.name = "ISVITAL"}});
}
BENCHMARK(BM_MarkAsVital)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_SetFieldValue(benchmark::State& state) {
  RunStep(state, "SetFieldValue", {{"FIELDNAME", "Title"}}, {{.name = "VALUE", .value = "Signed"}});
}
BENCHMARK(BM_SetFieldValue)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvane
