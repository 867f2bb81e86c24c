// Costs of the format template engine, each beside a floor measured in the same
// run: every iteration runs the floor (untimed by the framework, timed by hand)
// and then the engine, and the counter "ratio" is the engine's time over the
// floor's. Ratios are recorded in docs/performance.md.
//
//   Parse floor:    one pass that finds every "{{ }}" and copies the text between.
//   ToString floor: one pass that finds every "{{ }}" and writes the template
//                   with each expression's placeholders substituted, producing
//                   the same bytes as the engine.
//   Loop floor:     appending the pieces of every repetition.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <string>
#include <vector>

#include "templates/format_engine.h"

namespace corvane {
namespace {

// The calling thread's CPU time: the machine may be shared, and wall time then
// measures the neighbours.
struct Clock {
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<Clock, duration>;
  static time_point now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return time_point(duration(int64_t{t.tv_sec} * 1000000000 + t.tv_nsec));
  }
};

// Times the floor and the engine alternately, the engine under the framework's
// clock, and reports their ratio.
class Alternating {
 public:
  explicit Alternating(benchmark::State& state) : state_(state) {}

  template <class Body>
  void Floor(Body&& floor) {
    state_.PauseTiming();
    auto start = Clock::now();
    floor();
    floor_ += Clock::now() - start;
    state_.ResumeTiming();
    engine_start_ = Clock::now();
  }
  void EngineDone() { engine_ += Clock::now() - engine_start_; }

  void Report() {
    const double n = static_cast<double>(state_.iterations());
    state_.counters["floor_ms"] = std::chrono::duration<double, std::milli>(floor_).count() / n;
    state_.counters["ratio"] = std::chrono::duration<double>(engine_).count() /
                               std::chrono::duration<double>(floor_).count();
  }

 private:
  benchmark::State& state_;
  Clock::duration floor_{}, engine_{};
  Clock::time_point engine_start_;
};

// Designer text of at least `size` bytes whose every expression is kept: plain
// text and, per paragraph, a greeting, a loop over three documents and a
// repeated signature, each naming variables of its own.
std::string LargeTemplate(size_t size, size_t* expressions) {
  std::string t;
  size_t count = 0;
  for (int k = 0; t.size() < size; ++k) {
    const std::string n = std::to_string(k);
    t += "Dear {{\"\\0 \\1\",FIRSTNAME" + n + ",LASTNAME" + n + "}}, the documents {{N:docs" + n +
         "\"<li>\\0: \\1<//li>\",docs" + n + ".id,docs" + n +
         ".name}} wait for your approval since Monday. Kind regards, {{ N: 2 \"\\0/}\",SENDER" + n +
         "}}\n";
    count += 3;
  }
  *expressions = count;
  return t;
}

constexpr int32_t kItems = 3;  // repetitions of each loop expression

// Values for every variable of every expression, as a caller sets them.
void Fill(FormatExpressions& expressions) {
  for (CFormatExpression& e : expressions) {
    if (!e.LoopObject().empty()) e.SetLoopCount(kItems);
    const int32_t repetitions = e.Repeat() ? std::max(e.LoopCount(), 1) : 1;
    for (CVariable& v : e.Variables()) {
      for (int32_t k = 1; k <= repetitions; ++k)
        v.SetValue(k, v.Name() + " value " + std::to_string(k));
    }
  }
}

// The Parse floor.
std::vector<std::string> CopyBetweenBraces(const std::string& text) {
  std::vector<std::string> pieces;
  for (size_t p = text.find("{{"); p != std::string::npos; p = text.find("{{", p)) {
    size_t end = text.find("}}", p + 2);
    if (end == std::string::npos) break;
    pieces.emplace_back(text, p + 2, end - p - 2);
    p = end + 2;
  }
  return pieces;
}

// The ToString floor: `in_order` holds the template's expressions in order of
// appearance; each "\<digit>" of a format text is its variable's value.
std::string SubstituteOnce(const std::string& text,
                           const std::vector<const CFormatExpression*>& in_order) {
  std::string out;
  out.reserve(text.size() * 2);
  size_t from = 0, next = 0;
  for (size_t p = text.find("{{"); p != std::string::npos; p = text.find("{{", from)) {
    size_t end = text.find("}}", p + 2);
    if (end == std::string::npos || next == in_order.size()) break;
    out.append(text, from, p - from);
    const CFormatExpression& e = *in_order[next++];
    const std::string& format = e.FormatString();
    const int32_t repetitions = e.Repeat() && e.LoopCount() != 1 ? e.LoopCount() : 1;
    const int32_t variables = e.Variables().Count();
    for (int32_t k = 1; k <= repetitions; ++k) {
      for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '\\' && i + 1 < format.size() && format[i + 1] >= '0' &&
            format[i + 1] - '0' < variables) {
          // Variables are kept last first: position d is at index count - 1 - d.
          out.append(e.Variables()[variables - 1 - (format[i + 1] - '0')].Value(k));
          ++i;
        } else {
          out.push_back(format[i]);
        }
      }
    }
    from = end + 2;
  }
  out.append(text, from);
  return out;
}

void BM_Parse(benchmark::State& state) {
  size_t expected = 0;
  const std::string text = LargeTemplate(state.range(0), &expected);
  Alternating timing(state);
  for (auto _ : state) {
    timing.Floor([&] { benchmark::DoNotOptimize(CopyBetweenBraces(text)); });
    CFormatParser parser;
    auto expressions = parser.Parse(text);
    benchmark::DoNotOptimize(expressions);
    timing.EngineDone();
    if (!expressions || expressions->size() != expected) {
      state.SkipWithError("the template must keep every expression");
      return;
    }
  }
  timing.Report();
  state.counters["expressions"] = static_cast<double>(expected);
  state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_Parse)->Arg(256 << 10)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

void BM_ToString(benchmark::State& state) {
  size_t expected = 0;
  const std::string text = LargeTemplate(state.range(0), &expected);
  CFormatParser parser;
  FormatExpressions expressions = *parser.Parse(text);
  if (expressions.size() != expected) {
    state.SkipWithError("the template must keep every expression");
    return;
  }
  Fill(expressions);
  std::vector<const CFormatExpression*> in_order;
  for (auto it = expressions.rbegin(); it != expressions.rend(); ++it) in_order.push_back(&*it);
  if (SubstituteOnce(text, in_order) != parser.ToString(text, expressions)) {
    state.SkipWithError("the floor must produce the engine's bytes");
    return;
  }
  Alternating timing(state);
  for (auto _ : state) {
    timing.Floor([&] { benchmark::DoNotOptimize(SubstituteOnce(text, in_order)); });
    std::string out = parser.ToString(text, expressions);
    benchmark::DoNotOptimize(out);
    timing.EngineDone();
  }
  timing.Report();
  state.counters["expressions"] = static_cast<double>(expected);
  state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_ToString)->Arg(256 << 10)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

// Values that hold another expression's source text: each greeting's first
// name is the source of the next paragraph's signature, which a later
// replacement then renders in place. Only replacing in turn gives that text,
// at a cost of one scan of the text per expression.
void BM_ToString_ValuesHoldingSources(benchmark::State& state) {
  size_t expected = 0;
  const std::string text = LargeTemplate(state.range(0), &expected);
  CFormatParser parser;
  FormatExpressions expressions = *parser.Parse(text);
  Fill(expressions);
  for (size_t i = 0; i + 3 < expressions.size(); i += 3) {
    // Last first: expressions[i] is a signature, [i + 2] the greeting before it.
    expressions[i + 2]
        .Variables()
        .Find("FIRSTNAME" + std::to_string(expressions.size() / 3 - i / 3 - 1))
        ->SetValue(1, expressions[i].TemplateString());
  }
  Alternating timing(state);
  size_t bytes = 0;
  for (auto _ : state) {
    timing.Floor([&] { benchmark::DoNotOptimize(text.find("{{")); });
    std::string out = parser.ToString(text, expressions);
    bytes = out.size();
    benchmark::DoNotOptimize(out);
    timing.EngineDone();
  }
  state.counters["expressions"] = static_cast<double>(expressions.size());
  state.counters["output_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ToString_ValuesHoldingSources)
    ->Arg(16 << 10)
    ->Arg(64 << 10)
    ->Arg(256 << 10)
    ->Unit(benchmark::kMillisecond);

// A loop expression over `count` items whose ids are `id(k)`.
template <class Id>
CFormatExpression LoopExpression(int32_t count, Id&& id) {
  CFormatParser parser;
  auto expressions = parser.Parse("{{N:docs\"<li>\\0: \\1<//li>\",docs.id,docs.name}}");
  CFormatExpression e = std::move(expressions->front());
  e.SetLoopCount(count);
  for (int32_t k = 1; k <= count; ++k) {
    e.Variables().Find("docs.id")->SetValue(k, id(k));
    e.Variables().Find("docs.name")->SetValue(k, "document " + std::to_string(k));
  }
  return e;
}

// The loop floor: the pieces of every repetition appended.
std::string AppendPieces(const CFormatExpression& e) {
  std::string out;
  const CVariable& id = *e.Variables().Find("docs.id");
  const CVariable& name = *e.Variables().Find("docs.name");
  for (int32_t k = 1; k <= e.LoopCount(); ++k) {
    out += "<li>";
    out += id.Value(k);
    out += ": ";
    out += name.Value(k);
    out += "</li>";
  }
  return out;
}

template <class Id>
void LoopBenchmark(benchmark::State& state, Id&& id, bool floor_matches) {
  CFormatExpression e = LoopExpression(static_cast<int32_t>(state.range(0)), id);
  if (floor_matches && AppendPieces(e) != e.ToString()) {
    state.SkipWithError("the floor must produce the engine's bytes");
    return;
  }
  Alternating timing(state);
  size_t bytes = 0;
  for (auto _ : state) {
    timing.Floor([&] { benchmark::DoNotOptimize(AppendPieces(e)); });
    std::string out = e.ToString();
    bytes = out.size();
    benchmark::DoNotOptimize(out);
    timing.EngineDone();
  }
  timing.Report();
  state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_Loop(benchmark::State& state) {
  LoopBenchmark(
      state, [](int32_t k) { return std::to_string(k); }, true);
}
BENCHMARK(BM_Loop)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Windows paths: every value ends with a backslash. (No backslash is followed
// by a digit, so that no later repetition replaces inside an earlier one and
// the floor's bytes are the engine's.)
void BM_Loop_Backslashes(benchmark::State& state) {
  LoopBenchmark(
      state, [](int32_t k) { return "C:\\Docs\\doc" + std::to_string(k) + "\\"; }, true);
}
BENCHMARK(BM_Loop_Backslashes)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Every id is "\1", which the next repetition replaces by its name.
void BM_Loop_StepByStep(benchmark::State& state) {
  LoopBenchmark(
      state, [](int32_t) { return std::string("\\1"); }, false);
}
BENCHMARK(BM_Loop_StepByStep)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Every id is "\0", its own placeholder: it stays live from the first item
// on, so every repetition renders the whole text again (bounded by the output
// limit).
void BM_Loop_SelfReplacing(benchmark::State& state) {
  LoopBenchmark(
      state, [](int32_t) { return std::string("\\0"); }, false);
}
BENCHMARK(BM_Loop_SelfReplacing)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane

BENCHMARK_MAIN();
