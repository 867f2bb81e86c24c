// How the simulated DMS finds an item as the store grows: GetDocument and
// MarkAsVital through IDmsService over a DMS holding N documents, each beside a
// floor measured in the same run (looking the same ids up in an unordered_map
// of the same size). The time per look-up should stay flat from 1k to 100k
// documents; the ratio to the floor is the simulator's own overhead per call
// (journal entry, reference object, copy of the entity). Recorded in
// docs/performance.md, "Simulator and tool".
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "simulator.h"

namespace {

using pelmark::ComPtr;

// An entity reference as a library makes one.
class BenchRef final : public pelmark::IEntityRef {
 public:
  pelmark::HRESULT QueryInterface(const pelmark::IID& iid, void** out) override {
    if (iid == pelmark::IUnknown::iid || iid == pelmark::IEntityRef::iid) {
      *out = this;
      return pelmark::S_OK;
    }
    *out = nullptr;
    return pelmark::E_NOINTERFACE;
  }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  std::string EntityName() override { return "Document"; }
  void SetEntityName(std::string_view) override {}
  int32_t ID() override { return id; }
  void SetID(int32_t value) override { id = value; }
  int32_t TypeCode() override { return 2; }
  void SetTypeCode(int32_t) override {}
  int32_t VersionType() override { return 0; }
  void SetVersionType(int32_t) override {}

  int32_t id = 0;
};

class BenchSession final : public pelmark::IDmsSession {
 public:
  pelmark::HRESULT QueryInterface(const pelmark::IID& iid, void** out) override {
    *out = nullptr;
    return pelmark::E_NOINTERFACE;
  }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
};

// The ids asked for, spread over the whole store.
std::vector<int32_t> Probes(int32_t n) {
  std::vector<int32_t> out;
  for (int32_t k = 0; k < 1024; ++k) out.push_back(1 + static_cast<int32_t>((k * 7919LL) % n));
  return out;
}

template <class Call>
void OverSimulator(benchmark::State& state, Call call) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  sim::Simulator sim;
  for (int32_t id = 1; id <= n; ++id) sim.AddDocument(7, {.id = id});
  auto dms = ComPtr<pelmark::IService>(sim.Services()->GetService("DmsService"))
                 .try_query<pelmark::IDmsService>();
  BenchSession session;
  dms->Connect(7, &session);
  const std::vector<int32_t> probes = Probes(n);
  BenchRef ref;
  size_t k = 0;
  for (auto _ : state) {
    ref.id = probes[k++ % probes.size()];
    call(*dms, ref);
    if (k % probes.size() == 0) {
      state.PauseTiming();
      sim.ClearJournal();
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_SimGetDocument(benchmark::State& state) {
  OverSimulator(state, [](pelmark::IDmsService& dms, BenchRef& ref) {
    benchmark::DoNotOptimize(dms.GetDocument(&ref));
  });
}
BENCHMARK(BM_SimGetDocument)->Arg(1000)->Arg(10000)->Arg(100000);

void BM_SimMarkAsVital(benchmark::State& state) {
  OverSimulator(state, [](pelmark::IDmsService& dms, BenchRef& ref) {
    benchmark::DoNotOptimize(dms.MarkAsVital(&ref, "vital"));
  });
}
BENCHMARK(BM_SimMarkAsVital)->Arg(1000)->Arg(10000)->Arg(100000);

// The floor: the same look-ups in a hash map of the same size.
void BM_SimFloor_HashMapLookup(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  std::unordered_map<int32_t, sim::Item> items;
  for (int32_t id = 1; id <= n; ++id) items[id].entity.id = id;
  const std::vector<int32_t> probes = Probes(n);
  size_t k = 0;
  for (auto _ : state) benchmark::DoNotOptimize(&items.find(probes[k++ % probes.size()])->second);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SimFloor_HashMapLookup)->Arg(1000)->Arg(10000)->Arg(100000);

// Bytes the process has allocated now (small blocks and mapped ones).
size_t AllocatedBytes() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// What the journal costs per call: MarkAsVital over N documents, the bytes the
// journal gives back when it is cleared, beside the same entries rebuilt as
// sim::Call objects (how the journal held them before it was made compact),
// measured in the same run. The tool's memory per journaled call follows from it
// (docs/reliability.md).
void BM_SimJournalBytesPerCall(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  sim::Simulator sim;
  for (int32_t id = 1; id <= n; ++id) sim.AddDocument(7, {.id = id});
  auto dms = ComPtr<pelmark::IService>(sim.Services()->GetService("DmsService"))
                 .try_query<pelmark::IDmsService>();
  BenchSession session;
  BenchRef ref;
  double compact = 0, objects = 0, calls = 0;
  for (auto _ : state) {
    dms->Connect(7, &session);
    for (int32_t id = 1; id <= n; ++id) {
      ref.id = id;
      benchmark::DoNotOptimize(dms->MarkAsVital(&ref, "kept as a vital record"));
    }
    state.PauseTiming();
    calls = static_cast<double>(sim.JournalSize());
    const size_t with_journal = AllocatedBytes();
    {
      const std::vector<sim::Call> rebuilt = sim.Journal();
      objects = static_cast<double>(AllocatedBytes() - with_journal);
    }
    sim.ClearJournal();
    compact = static_cast<double>(with_journal - AllocatedBytes());
    state.ResumeTiming();
  }
  state.counters["journal_bytes_per_call"] = compact / calls;
  state.counters["call_objects_bytes_per_call"] = objects / calls;
  state.counters["ratio"] = compact / objects;
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_SimJournalBytesPerCall)->Arg(10000)->Arg(100000)->Iterations(3);

}  // namespace
