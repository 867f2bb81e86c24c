// Item walks measured from outside: loads Corvane.so through the public loader,
// as a host does, and times Execute of MarkAsVital, GetFieldValue and
// SetFieldValue over lists of N documents against the minimal host, whose every
// call answers at once. Beside each, in the same iteration and by the same clock
// (the thread's CPU time, so that other processes on a shared machine do not
// stretch one side and not the other), run three floors on the same list text:
//
//   floor 1: pugixml, built and used as an integrator would (the default build,
//            load_buffer with the default options), and a walk reading each id;
//   floor 2: floor 1 plus what the step must do per item: one entity reference,
//            made once and filled for each item (ID, EntityName, TypeCode), and
//            the step's DMS calls against the same host (MarkAsVital; GetDocument
//            and the field's read; GetDocument, the field's write and
//            SaveDocument);
//   floor 3: floor 2 plus every other host call the step makes, in its order:
//            the item list read from the workflow variable, and per item the
//            step parameter read ("REASON", "FIELDNAME"), the document's
//            "DocTypeCode", the variable "VALUE" read or written. What Execute
//            takes beyond it is the module's own work: the well-formedness
//            check, its tree and its bookkeeping.
//
// The time reported is Execute's; the counters are its ratios to the floors.
// Every run of each side is checked (the number of DMS calls, each call's item
// in list order up to the last, the variables and values written), so a fast
// wrong answer stops the benchmark with an error.
//
// Freed memory stays in the process's heap (no mmap, no trimming): otherwise a
// large list's tree is handed back to the system after every run and the next
// run pays its page faults again, on both sides alike.
//
//   corvane_walk_bench [--module=PATH] [Google Benchmark flags]
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "corvane/catalogue.h"
#include "corvane/loader.h"
#include "step_mix.h"

namespace corvane::host_bench {
namespace {

std::string g_module_path = CORVANE_MODULE_PATH;

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The module, loaded once with the fixed clock installed.
const ComponentModule& Module() {
  static ComponentModule module(g_module_path);
  static BenchPlatform platform(module.SystemPlatform());
  static const bool installed = (module.SetPlatform(&platform), true);
  (void)installed;
  return module;
}

// The floors' entity reference: what the module fills for every item.
class EntityRef final : public pelmark::HostObject<pelmark::IEntityRef> {
 public:
  std::string EntityName() override { return entity_name_; }
  void SetEntityName(std::string_view name) override { entity_name_ = name; }
  int32_t ID() override { return id_; }
  void SetID(int32_t id) override { id_ = id; }
  int32_t TypeCode() override { return type_code_; }
  void SetTypeCode(int32_t code) override { type_code_ = code; }
  int32_t VersionType() override { return 0; }
  void SetVersionType(int32_t) override {}

 private:
  std::string entity_name_;
  int32_t id_ = 0;
  int32_t type_code_ = 0;
};

// The pointer as the optimizer cannot see through it, so that every call stays
// a virtual call as it is in the module. (Google Benchmark's DoNotOptimize, with
// its "+m,r" constraint, made gcc 12 read such a pointer uninitialised in a lambda.)
template <class T>
T* Opaque(T* p) {
  asm volatile("" : "+r"(p));
  return p;
}

// What a floor's walk reached: how many items and the last id read.
struct Reached {
  int32_t items = 0;
  int32_t last_id = 0;
};

// Parses the list and calls per_item(id) for every item of its documents.
template <class PerItem>
Reached ParseAndWalk(const std::string& list, PerItem&& per_item) {
  pugi::xml_document doc;
  Reached reached;
  if (!doc.load_buffer(list.data(), list.size())) return reached;
  for (pugi::xml_node item : doc.child("dmsobject").child("documents").children()) {
    reached.last_id = item.attribute("id").as_int();
    ++reached.items;
    per_item(reached.last_id);
  }
  return reached;
}

// The classes the benchmark drives, and what each must leave behind.
enum class Walk { kMarkAsVital, kGetFieldValue, kSetFieldValue };

const char* ClassName(Walk walk) {
  switch (walk) {
    case Walk::kMarkAsVital:
      return "MarkAsVital";
    case Walk::kGetFieldValue:
      return "GetFieldValue";
    case Walk::kSetFieldValue:
      return "SetFieldValue";
  }
  return "";
}

TaskFacts FactsOf(Walk walk) {
  switch (walk) {
    case Walk::kMarkAsVital:
      return {.parameters = {{"REASON", Variant(std::string(kReason))}},
              .variables = {{"MARKEDASRECORDON", Variant::Null()}, {"ISVITAL", Variant(false)}},
              .date = kNow};
    case Walk::kGetFieldValue:
      return {.parameters = {{"FIELDNAME", Variant("Title")}},
              .variables = {{"VALUE", Variant("")}},
              .date = kNow};
    case Walk::kSetFieldValue:
      break;
  }
  return {.parameters = {{"FIELDNAME", Variant("Title")}},
          .variables = {{"VALUE", Variant("Reviewed")}},
          .date = kNow};
}

// One benchmark's host, list and checks; each side of an iteration runs on a
// fresh tally.
class WalkRun {
 public:
  WalkRun(Walk walk, int items)
      : walk_(walk),
        items_(items),
        list_(DocumentList(items)),
        dms_(MakeHostObject<Dms>(tally_, Journal(nullptr), std::string(kReason), kNow)),
        services_(
            MakeHostObject<Services>(MakeHostObject<Instance>(list_, Journal(nullptr)), dms_,
                                     MakeHostObject<Notifications>(tally_, Journal(nullptr)))),
        task_(MakeHostObject<Task>(FactsOf(walk), Journal(nullptr))) {}

  // Floor 1; returns what went wrong, or empty text.
  std::string Floor1() {
    const Reached reached = ParseAndWalk(list_, [](int32_t) {});
    return CheckReached(reached);
  }

  // Floor 2; returns what went wrong, or empty text.
  std::string Floor2() {
    tally_ = Tally{};
    // Called through the interfaces, as the module calls them: nothing is inlined.
    pelmark::IDmsService* dms = dms_.get();
    dms = Opaque(dms);
    ComPtr<EntityRef> made = MakeHostObject<EntityRef>();
    pelmark::IEntityRef* ref = made.get();
    ref = Opaque(ref);
    const Variant written("Reviewed");
    Variant read;
    Reached reached;
    auto fill = [&](int32_t id) {
      ref->SetID(id);
      ref->SetEntityName("Document");
      ref->SetTypeCode(id < 0 ? -2 : 2);
    };
    switch (walk_) {
      case Walk::kMarkAsVital:
        reached = ParseAndWalk(list_, [&](int32_t id) {
          fill(id);
          dms->MarkAsVital(ref, kReason);
        });
        break;
      case Walk::kGetFieldValue:
        reached = ParseAndWalk(list_, [&](int32_t id) {
          fill(id);
          ComPtr<pelmark::IEntity> doc = dms->GetDocument(ref);
          read = doc->Fields()->Item("Title")->Value();
        });
        if (read != Variant("Draft")) return "floor 2 read no title";
        break;
      case Walk::kSetFieldValue:
        reached = ParseAndWalk(list_, [&](int32_t id) {
          fill(id);
          ComPtr<pelmark::IEntity> doc = dms->GetDocument(ref);
          doc->Fields()->Item("Title")->SetValue(written);
          dms->SaveDocument(doc.get());
        });
        break;
    }
    if (std::string wrong = CheckReached(reached); !wrong.empty()) return wrong;
    return CheckCalls("floor 2");
  }

  // Floor 3; returns what went wrong, or empty text.
  std::string Floor3() {
    tally_ = Tally{};
    ResetVariables();
    pelmark::IActivityServices* services = services_.get();
    pelmark::ITask* task = task_.get();
    services = Opaque(services);
    task = Opaque(task);
    ComPtr<pelmark::IDmsService> dms =
        services->GetService("DmsService").try_query<pelmark::IDmsService>();
    ComPtr<pelmark::IVariables> instance_variables =
        services->GetProcessInstance(task->ProcessID())->Variables();
    ComPtr<pelmark::IVariable> first = instance_variables->Item(Variant(int32_t{1}));
    if (instance_variables->Count() < 1 || first->TypeName() != "dms.object" || first->IsNull())
      return "floor 3 found no item list";
    const Variant list = first->Value();
    ComPtr<EntityRef> made = MakeHostObject<EntityRef>();
    pelmark::IEntityRef* ref = made.get();
    ref = Opaque(ref);
    const auto parameter = [&](std::string_view name) {
      return task->Parameters()->Item(name)->Value();
    };
    const auto variable = [&](std::string_view name) {
      return task->Variables()->Item(Variant(name));
    };
    // What both field walks do first for every item: the document, the field
    // name and the document's type code.
    const auto document = [&](int32_t id) {
      ref->SetID(id);
      ref->SetEntityName("Document");
      ref->SetTypeCode(id < 0 ? -2 : 2);
      ComPtr<pelmark::IEntity> doc = dms->GetDocument(ref);
      benchmark::DoNotOptimize(parameter("FIELDNAME"));
      benchmark::DoNotOptimize(doc->Fields()->Item("DocTypeCode")->Value());
      return doc;
    };
    Reached reached;
    switch (walk_) {
      case Walk::kMarkAsVital:
        reached = ParseAndWalk(list.string_value(), [&](int32_t id) {
          ref->SetID(id);
          ref->SetEntityName("Document");
          ref->SetTypeCode(ref->ID() < 0 ? -2 : 2);
          const Variant reason = parameter("REASON");
          dms->MarkAsVital(ref, reason.string_value());
        });
        break;
      case Walk::kGetFieldValue:
        reached = ParseAndWalk(list.string_value(), [&](int32_t id) {
          ComPtr<pelmark::IEntity> doc = document(id);
          ComPtr<pelmark::IField> field = doc->Fields()->Item("Title");
          if (!field->IsNullValue() && field->DataType() == 200)
            variable("VALUE")->SetValue(field->Value());
        });
        break;
      case Walk::kSetFieldValue:
        reached = ParseAndWalk(list.string_value(), [&](int32_t id) {
          ComPtr<pelmark::IEntity> doc = document(id);
          ComPtr<pelmark::IField> field = doc->Fields()->Item("Title");
          benchmark::DoNotOptimize(variable("VALUE")->Value());
          if (field->DataType() == 200) field->SetValue(variable("VALUE")->Value());
          if (doc->EntityName() == "Document") dms->SaveDocument(doc.get());
        });
        break;
    }
    if (std::string wrong = CheckReached(reached); !wrong.empty()) return wrong;
    if (walk_ == Walk::kGetFieldValue && task_->Get("VALUE") != Variant("Draft"))
      return "floor 3 wrote no title";
    return CheckCalls("floor 3");
  }

  // A fresh object of the class, made through its class factory.
  ComPtr<pelmark::IActivityRuntime> NewStep() const {
    return Module().Create<pelmark::IActivityRuntime>(FindClassByName(ClassName(walk_))->clsid);
  }

  // Execute of `step`; returns what went wrong, or empty text.
  std::string Execute(pelmark::IActivityRuntime* step) {
    tally_ = Tally{};
    ResetVariables();
    pelmark::ITask* task = task_.get();
    int32_t result = 0;
    try {
      result = step->Execute(services_.get(), task);
    } catch (const pelmark::Error& e) {
      return "Execute raised " + std::to_string(e.number()) + ": " + e.description();
    }
    if (result != pelmark::kResultDone) return "Execute did not finish";
    if (std::string wrong = CheckCalls("Execute"); !wrong.empty()) return wrong;
    switch (walk_) {
      case Walk::kMarkAsVital:
        if (task_->Get("ISVITAL") != Variant(true) ||
            task_->Get("MARKEDASRECORDON") != Variant::Date(kNow))
          return "MarkAsVital did not write its variables";
        break;
      case Walk::kGetFieldValue:
        if (task_->Get("VALUE") != Variant("Draft")) return "GetFieldValue wrote no title";
        break;
      case Walk::kSetFieldValue:
        break;
    }
    return {};
  }

 private:
  std::string CheckReached(const Reached& reached) const {
    if (reached.items != items_ || reached.last_id != items_)
      return "a floor walked " + std::to_string(reached.items) + " items up to id " +
             std::to_string(reached.last_id);
    return {};
  }

  // Every item had its calls, in list order, with the expected arguments.
  std::string CheckCalls(const char* side) const {
    if (!tally_.wrong.empty()) return std::string(side) + ": " + tally_.wrong;
    const bool all = walk_ == Walk::kMarkAsVital
                         ? tally_.vital == items_
                         : tally_.fetched == items_ &&
                               tally_.saved == (walk_ == Walk::kSetFieldValue ? items_ : 0);
    if (!all)
      return std::string(side) + " made " + std::to_string(tally_.vital) + " MarkAsVital, " +
             std::to_string(tally_.fetched) + " GetDocument and " + std::to_string(tally_.saved) +
             " SaveDocument calls for " + std::to_string(items_) + " items";
    return {};
  }

  // What Execute writes is cleared first, so that a run that writes nothing fails.
  void ResetVariables() {
    ComPtr<pelmark::IVariables> variables = task_->Variables();
    switch (walk_) {
      case Walk::kMarkAsVital:
        variables->Item(Variant("ISVITAL"))->SetValue(Variant(false));
        variables->Item(Variant("MARKEDASRECORDON"))->SetValue(Variant::Null());
        break;
      case Walk::kGetFieldValue:
        variables->Item(Variant("VALUE"))->SetValue(Variant(""));
        break;
      case Walk::kSetFieldValue:
        break;
    }
  }

  Walk walk_;
  int items_;
  std::string list_;
  Tally tally_;
  ComPtr<Dms> dms_;
  ComPtr<Services> services_;
  ComPtr<Task> task_;
};

void RunWalk(benchmark::State& state, Walk walk) {
  WalkRun run(walk, static_cast<int>(state.range(0)));
  // Each side once before the clock: the heap grows to its size here, not in
  // the first timed iteration of whichever side runs first.
  std::string wrong = run.Floor1();
  if (wrong.empty()) wrong = run.Floor2();
  if (wrong.empty()) wrong = run.Floor3();
  if (wrong.empty()) wrong = run.Execute(run.NewStep().get());
  if (!wrong.empty()) {
    state.SkipWithError(wrong.c_str());
    return;
  }
  double floor1 = 0, floor2 = 0, floor3 = 0, execute = 0;
  for (auto _ : state) {
    ComPtr<pelmark::IActivityRuntime> step = run.NewStep();
    const double start = ThreadCpuSeconds();
    wrong = run.Floor1();
    const double floor1_done = ThreadCpuSeconds();
    if (wrong.empty()) wrong = run.Floor2();
    const double floor2_done = ThreadCpuSeconds();
    if (wrong.empty()) wrong = run.Floor3();
    const double floor3_done = ThreadCpuSeconds();
    if (wrong.empty()) wrong = run.Execute(step.get());
    const double done = ThreadCpuSeconds();
    if (!wrong.empty()) {
      state.SkipWithError(wrong.c_str());
      return;
    }
    floor1 += floor1_done - start;
    floor2 += floor2_done - floor1_done;
    floor3 += floor3_done - floor2_done;
    execute += done - floor3_done;
    state.SetIterationTime(done - floor3_done);
  }
  const double n = static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["floor1_ms"] = 1e3 * floor1 / n;
  state.counters["floor2_ms"] = 1e3 * floor2 / n;
  state.counters["floor3_ms"] = 1e3 * floor3 / n;
  state.counters["to_floor1"] = execute / floor1;
  state.counters["to_floor2"] = execute / floor2;
  state.counters["to_floor3"] = execute / floor3;
}

void BM_MarkAsVital(benchmark::State& state) { RunWalk(state, Walk::kMarkAsVital); }
void BM_GetFieldValue(benchmark::State& state) { RunWalk(state, Walk::kGetFieldValue); }
void BM_SetFieldValue(benchmark::State& state) { RunWalk(state, Walk::kSetFieldValue); }

// A million-item list runs three iterations; the smaller ones run freely.
void Sizes(benchmark::internal::Benchmark* b) {
  b->UseManualTime()->Unit(benchmark::kMillisecond)->Arg(1000)->Arg(100000);
}
void LargeSize(benchmark::internal::Benchmark* b) {
  b->UseManualTime()->Unit(benchmark::kMillisecond)->Arg(1000000)->Iterations(3);
}
BENCHMARK(BM_MarkAsVital)->Apply(Sizes);
BENCHMARK(BM_MarkAsVital)->Apply(LargeSize);
BENCHMARK(BM_GetFieldValue)->Apply(Sizes);
BENCHMARK(BM_GetFieldValue)->Apply(LargeSize);
BENCHMARK(BM_SetFieldValue)->Apply(Sizes);
BENCHMARK(BM_SetFieldValue)->Apply(LargeSize);

}  // namespace
}  // namespace corvane::host_bench

int main(int argc, char** argv) {
  // Before anything is allocated: every block from the heap, which never shrinks.
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--module=", 9) == 0)
      corvane::host_bench::g_module_path = argv[i] + 9;
  try {
    corvane::host_bench::Module();
  } catch (const pelmark::Error& e) {
    std::fprintf(stderr, "corvane_walk_bench: %s (error %d)\n", e.description().c_str(),
                 e.number());
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
