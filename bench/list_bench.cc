// Item lists inside the process, and the resource pool, against their floors.
//
// The strictness check is timed beside its floor in the same iteration:
// pugixml (the library's own build) loading the same list text and a walk
// reading each id as a whole number; "ratio" is the check's CPU time over the
// floor's. Item walks through the loaded module are measured from outside, by
// bench/host/walk_bench.cc.
// The memory benchmark counts every heap byte a step holds while it loads and
// walks a large list (operator new, pugixml's tree, libxml2 when it decides) and
// reports the peak over the list's size.
// The pool benchmark compares de-duplicating recipients with inserting the same
// keys into a hash map. Results are recorded in docs/performance.md.
#include <benchmark/benchmark.h>
#include <libxml/xmlmemory.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <pugixml.hpp>
#include <string>
#include <unordered_map>
#include <vector>

#include "corvane/catalogue.h"
#include "corvane/component.h"
#include "corvane/platform.h"
#include "framework/com_object.h"
#include "framework/xml.h"
#include "pelmark/dms.h"
#include "pelmark/host.h"
#include "quiet_platform.h"
#include "rules/variant_rules.h"
#include "shared/resources.h"

namespace corvane {
namespace {

// --- Counting the heap ---------------------------------------------------------

// Bytes held while counting is on, and their peak. Blocks are measured by their
// usable size, so a block freed during counting that was taken before lowers
// the figure a little; a load frees almost nothing it did not take itself.
namespace heap_count {
bool on = false;
int64_t live = 0;
int64_t peak = 0;

void Took(void* block) {
  if (!on || !block) return;
  live += static_cast<int64_t>(malloc_usable_size(block));
  peak = std::max(peak, live);
}
void Gave(void* block) {
  if (on && block) live -= static_cast<int64_t>(malloc_usable_size(block));
}
void* Malloc(size_t size) {
  void* block = std::malloc(size);
  Took(block);
  return block;
}
void Free(void* block) {
  Gave(block);
  std::free(block);
}
void* Realloc(void* block, size_t size) {
  Gave(block);
  void* moved = std::realloc(block, size);
  Took(moved ? moved : block);
  return moved;
}
char* Strdup(const char* text) {
  const size_t size = std::strlen(text) + 1;
  char* copy = static_cast<char*>(Malloc(size));
  if (copy) std::memcpy(copy, text, size);
  return copy;
}

// pugixml and libxml2 allocate through these from the start.
const bool installed = [] {
  pugi::set_memory_management_functions(Malloc, Free);
  xmlMemSetup(Free, Malloc, Realloc, Strdup);
  return true;
}();

// The peak bytes held while `work` runs, above what was held before it.
template <class Work>
int64_t PeakOf(Work&& work) {
  live = 0;
  peak = 0;
  on = true;
  work();
  on = false;
  return peak;
}
}  // namespace heap_count

using pelmark::ComPtr;
using pelmark::Variant;
// Time is the thread's CPU time, so that other processes on a shared machine
// do not stretch one side of a ratio and not the other.
struct ThreadCpuClock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<ThreadCpuClock>;
  static constexpr bool is_steady = true;
  static time_point now() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
  }
};
using Clock = ThreadCpuClock;

std::string DocumentList(int n) {
  std::string text =
      "<dmsobject entitytype=\"document\" dbid=\"7\" dbpath=\"\" dbtype=\"1\"><documents>";
  for (int id = 1; id <= n; ++id)
    text += "<document id=\"" + std::to_string(id) + "\" name=\"Doc\"/>";
  return text + "</documents></dmsobject>";
}

double PeakMib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The floor: parse the same text and read every item's id as a whole number.
int64_t ParseAndReadIds(const std::string& text) {
  pugi::xml_document doc;
  doc.load_buffer(text.data(), text.size());
  int64_t sum = 0;
  for (pugi::xml_node item : doc.child("dmsobject").child("documents").children())
    sum += item.attribute("id").as_int();
  return sum;
}

// --- A host that does nothing (for MarkAsVital) ----------------------------------

class CannedValue final : public ComObject<pelmark::IParameter> {
 public:
  explicit CannedValue(Variant value) : value_(std::move(value)) {}
  Variant Value() override { return value_; }
  bool IsNull() override { return false; }

 private:
  Variant value_;
};

class CannedParameters final : public ComObject<pelmark::IParameters> {
 public:
  ComPtr<pelmark::IParameter> Item(std::string_view) override { return reason_; }
  bool Exists(std::string_view) override { return true; }

 private:
  ComPtr<pelmark::IParameter> reason_ = MakeCom<CannedValue>(Variant("Quarterly review"));
};

class CannedVariable final : public ComObject<pelmark::IVariable> {
 public:
  CannedVariable(std::string type_name, Variant value)
      : type_name_(std::move(type_name)), value_(std::move(value)) {}
  std::string TypeName() override { return type_name_; }
  int32_t VariableType() override { return 0; }
  bool IsNull() override { return false; }
  Variant Value() override { return value_; }
  void SetValue(const Variant&) override {}

 private:
  std::string type_name_;
  Variant value_;
};

class CannedVariables final : public ComObject<pelmark::IVariables> {
 public:
  explicit CannedVariables(ComPtr<pelmark::IVariable> every) : every_(std::move(every)) {}
  int32_t Count() override { return 1; }
  ComPtr<pelmark::IVariable> Item(const Variant&) override { return every_; }
  bool Exists(std::string_view) override { return true; }

 private:
  ComPtr<pelmark::IVariable> every_;
};

class CannedTask final : public ComObject<pelmark::ITask> {
 public:
  ComPtr<pelmark::IVariables> Variables() override { return variables_; }
  ComPtr<pelmark::IParameters> Parameters() override { return parameters_; }
  int32_t ActivityID() override { return 3; }
  int32_t TaskID() override { return 5; }
  int32_t ProcessID() override { return 12; }
  int32_t TaskIndex() override { return 1; }
  Variant ResourceID() override { return Variant(int32_t{1}); }
  Variant ResourceType() override { return Variant("dms.user"); }
  Variant ResourceName() override { return Variant("user"); }
  Variant Status() override { return Variant(int32_t{1}); }
  Variant TaskDate() override { return Variant::Date(46361.5); }

 private:
  ComPtr<pelmark::IVariables> variables_ =
      MakeCom<CannedVariables>(MakeCom<CannedVariable>("string", Variant("Signed")));
  ComPtr<pelmark::IParameters> parameters_ = MakeCom<CannedParameters>();
};

class CannedInstance final : public ComObject<pelmark::IProcessInstance> {
 public:
  explicit CannedInstance(const std::string& list)
      : variables_(MakeCom<CannedVariables>(MakeCom<CannedVariable>("dms.object", Variant(list)))) {
  }
  ComPtr<pelmark::IVariables> Variables() override { return variables_; }
  Variant InitiatorID() override { return Variant(int32_t{1}); }
  Variant InitiatorType() override { return Variant("dms.user"); }
  Variant InitiatorName() override { return Variant("user"); }
  Variant InitiatorComment() override { return Variant(""); }
  Variant ProcessName() override { return Variant("process"); }

 private:
  ComPtr<pelmark::IVariables> variables_;
};

class CannedDms final : public ComObject<pelmark::IDmsService> {
 public:
  void Connect(int32_t, pelmark::IDmsSession*) override {}
  void Disconnect() override {}
  ComPtr<pelmark::IEntity> GetDocument(pelmark::IEntityRef*) override { return {}; }
  ComPtr<pelmark::IEntity> GetDataEntity(pelmark::IEntityRef*) override { return {}; }
  ComPtr<pelmark::IEntity> GetRecordSeries(pelmark::IEntityRef*) override { return {}; }
  ComPtr<pelmark::IEntity> GetRetentionLabel(pelmark::IEntityRef*) override { return {}; }
  ComPtr<pelmark::IEntity> GetJob(pelmark::IEntityRef*) override { return {}; }
  ComPtr<pelmark::IEntity> GetSecurityLabel(std::string_view) override { return {}; }
  ComPtr<pelmark::IEntityList> QueryEntities(pelmark::IQuery*) override { return {}; }
  ComPtr<pelmark::IEntityList> QueryRecords(pelmark::IQuery*) override { return {}; }
  std::string GetUserEmail(int32_t) override { return {}; }
  int32_t GetIntervalTypeCode(std::string_view) override { return 0; }
  ComPtr<pelmark::IEntity> NewEntity(std::string_view) override { return {}; }
  int32_t AddEntity(pelmark::IEntity*) override { return 1; }
  void SaveDocument(pelmark::IEntity*) override {}
  void SaveDataEntity(pelmark::IEntity*) override {}
  void SaveRecordSeries(pelmark::IEntity*) override {}
  void AddComment(pelmark::IEntityRef*, pelmark::IEntity*) override {}
  void AddAnnotation(pelmark::IEntityRef*, pelmark::IEntity*) override {}
  void AddAce(pelmark::IEntityRef*, pelmark::IEntityRef*, pelmark::IEntity*) override {}
  void ApplyLabel(pelmark::IEntityRef*, pelmark::IEntityRef*) override {}
  void PublishDocument(pelmark::IEntityRef*) override {}
  bool MarkAsArchive(pelmark::IEntityRef*, std::string_view) override { return true; }
  bool MarkAsRecord(pelmark::IEntityRef*, std::string_view) override { return true; }
  bool MarkAsVital(pelmark::IEntityRef*, std::string_view) override { return true; }
  bool PutOnHold(pelmark::IEntityRef*, std::string_view) override { return true; }
  bool ResetOnHold(pelmark::IEntityRef*, std::string_view) override { return true; }
  bool UnmarkAsVital(pelmark::IEntityRef*, std::string_view) override { return true; }
  bool UnmarkAsRecord(pelmark::IEntityRef*, std::string_view) override { return true; }
  bool DeleteDocument(pelmark::IEntityRef*, std::string_view) override { return true; }
  bool DeleteDataEntity(pelmark::IEntityRef*, bool, std::string_view) override { return true; }
  bool DeleteRecordSeries(pelmark::IEntityRef*, bool, std::string_view) override { return true; }
  ComPtr<pelmark::IExportResult> ExportDocument(pelmark::IEntityRef*, std::string_view) override {
    return {};
  }
  int32_t GetEventCode(int32_t, std::string_view) override { return 0; }
};

class CannedServices final : public ComObject<pelmark::IActivityServices> {
 public:
  explicit CannedServices(const std::string& list) : instance_(MakeCom<CannedInstance>(list)) {}
  ComPtr<pelmark::IProcessInstance> GetProcessInstance(int32_t) override { return instance_; }
  ComPtr<pelmark::IService> GetService(std::string_view name) override {
    if (name != "DmsService") return {};
    return ComPtr<pelmark::IService>(static_cast<pelmark::IService*>(dms_.get()));
  }

 private:
  ComPtr<pelmark::IProcessInstance> instance_;
  ComPtr<pelmark::IDmsService> dms_ = MakeCom<CannedDms>();
};

// The class's object, made the way a host makes it: class object, then instance.
ComPtr<pelmark::IActivityRuntime> CreateThroughFactory(std::string_view class_name) {
  const ClassInfo* info = FindClassByName(class_name);
  void* factory_out = nullptr;
  if (!info ||
      pelmark::Failed(DllGetClassObject(info->clsid, pelmark::IClassFactory::iid, &factory_out)))
    return {};
  ComPtr<pelmark::IClassFactory> factory(static_cast<pelmark::IClassFactory*>(factory_out));
  factory->Release();  // the ComPtr took its own reference
  void* object = nullptr;
  if (pelmark::Failed(factory->CreateInstance(nullptr, pelmark::IActivityRuntime::iid, &object)))
    return {};
  ComPtr<pelmark::IActivityRuntime> step(static_cast<pelmark::IActivityRuntime*>(object));
  step->Release();
  return step;
}

// Lists of 1k and 100k documents.
void ListSizes(benchmark::internal::Benchmark* b) {
  b->UseManualTime()->Unit(benchmark::kMillisecond)->Arg(1000)->Arg(100000);
}

// The strictness check alone against the floor: what the walks pay to refuse
// every text the classic DOM refuses.
void BM_StrictnessCheck(benchmark::State& state) {
  const std::string list = DocumentList(static_cast<int>(state.range(0)));
  double check_seconds = 0;
  double floor_seconds = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    benchmark::DoNotOptimize(ParseAndReadIds(list));
    const Clock::time_point floor_done = Clock::now();
    if (!IsWellFormed(list)) {
      state.SkipWithError("the list was refused");
      return;
    }
    const Clock::time_point done = Clock::now();
    const double check = std::chrono::duration<double>(done - floor_done).count();
    floor_seconds += std::chrono::duration<double>(floor_done - start).count();
    check_seconds += check;
    state.SetIterationTime(check);
  }
  state.counters["ratio"] = check_seconds / floor_seconds;
}
BENCHMARK(BM_StrictnessCheck)->Apply(ListSizes);

// --- Memory of loading a list -------------------------------------------------

// A list of about `megabytes` MB whose items look like real ones.
std::string LargeDocumentList(int megabytes) {
  const size_t size = static_cast<size_t>(megabytes) << 20;
  std::string text =
      "<dmsobject entitytype=\"document\" dbid=\"7\" dbpath=\"\" dbtype=\"1\"><documents>";
  for (int id = 1; text.size() < size; ++id)
    text += "<document id=\"" + std::to_string(id) + "\" name=\"Supply contract\"/>";
  return text + "</documents></dmsobject>";
}

// MarkAsVital's Execute over a large list: the heap it holds at its peak, over
// the list's size ("peak_per_byte"), beside the same figure for the library's
// load alone, from the text a host returns to the loaded document ("load_per_byte").
void BM_ListMemory(benchmark::State& state) {
  bench::QuietPlatform platform;
  const std::string list = LargeDocumentList(static_cast<int>(state.range(0)));
  ComPtr<pelmark::IActivityServices> services = MakeCom<CannedServices>(list);
  ComPtr<pelmark::ITask> task = MakeCom<CannedTask>();
  ComPtr<pelmark::IActivityRuntime> step = CreateThroughFactory("MarkAsVital");
  if (!step) {
    state.SkipWithError("the class factory made no object");
    return;
  }
  int64_t step_peak = 0;
  int64_t load_peak = 0;
  for (auto _ : state) {
    int32_t result = 0;
    pelmark::ITask* t = task.get();
    step_peak = heap_count::PeakOf([&] { result = step->Execute(services.get(), t); });
    if (result != pelmark::kResultDone) {
      state.SkipWithError("Execute did not finish");
      return;
    }
    bool loaded = false;
    load_peak = heap_count::PeakOf([&] {
      // As a step reads it: the host returns the text, the library converts it.
      std::string text = ToText(Variant(list));
      XmlDocument doc;
      loaded = doc.LoadXml(std::move(text));
    });
    if (!loaded) {
      state.SkipWithError("the list was refused");
      return;
    }
  }
  const double size = static_cast<double>(list.size());
  // The goal for a loaded list is under four times its size; a build that
  // passes it fails here rather than in a reader's arithmetic.
  if (static_cast<double>(step_peak) >= 4 * size) {
    state.SkipWithError("the step held four times the list's size or more at its peak");
    return;
  }
  state.counters["list_mib"] = size / (1 << 20);
  state.counters["heap_peak_mib"] = static_cast<double>(step_peak) / (1 << 20);
  state.counters["peak_per_byte"] = static_cast<double>(step_peak) / size;
  state.counters["load_per_byte"] = static_cast<double>(load_peak) / size;
}
BENCHMARK(BM_ListMemory)->Unit(benchmark::kMillisecond)->Arg(50)->Iterations(1);

// --- The resource pool ---------------------------------------------------------

// `n` recipients, the first half of them reached a second time.
std::vector<std::shared_ptr<CResource>> Recipients(int n) {
  std::vector<std::shared_ptr<CResource>> out;
  for (int i = 0; i < n; ++i) {
    auto member = std::make_shared<CResource>();
    member->SetResourceID(std::to_string(100000 + i));
    member->SetResourceType("dms.user");
    out.push_back(std::move(member));
  }
  for (int i = 0; i < n / 2; ++i) out.push_back(out[static_cast<size_t>(i)]);
  return out;
}

void BM_ResourcePoolAdd(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<std::shared_ptr<CResource>> recipients = Recipients(n);
  double pool_seconds = 0;
  double floor_seconds = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    {
      std::unordered_map<std::string, std::shared_ptr<CResource>> floor;
      for (const auto& member : recipients) floor.try_emplace(member->ResourceID(), member);
      benchmark::DoNotOptimize(floor.size());
    }
    const Clock::time_point floor_done = Clock::now();
    {
      // What a notification step does with each person it reaches.
      CResources pool;
      for (const auto& member : recipients) {
        const Variant key(LCase(member->ResourceID()));
        if (pool.Exist(key)) {
          CResource& present = pool.Item(key);
          present.SetWeight(present.Weight() + 1);
        } else {
          pool.Add(member);
        }
      }
      if (pool.Count() != n) {
        state.SkipWithError("the pool did not de-duplicate");
        return;
      }
    }
    const Clock::time_point done = Clock::now();
    const double pool_time = std::chrono::duration<double>(done - floor_done).count();
    floor_seconds += std::chrono::duration<double>(floor_done - start).count();
    pool_seconds += pool_time;
    state.SetIterationTime(pool_time);
  }
  state.counters["ratio"] = pool_seconds / floor_seconds;
  state.counters["peak_mib"] = PeakMib();
}
BENCHMARK(BM_ResourcePoolAdd)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Arg(1000)
    ->Arg(100000);

}  // namespace
}  // namespace corvane

// Every operator new of the binary goes through the counter (it counts only
// while the memory benchmark runs).
void* operator new(size_t size) {
  void* block = corvane::heap_count::Malloc(size == 0 ? 1 : size);
  if (!block) throw std::bad_alloc();
  return block;
}
void operator delete(void* block) noexcept { corvane::heap_count::Free(block); }
void operator delete(void* block, size_t) noexcept { corvane::heap_count::Free(block); }
