// Costs of the format template engine, each beside the cost of writing the same
// output once. Ratios are recorded in docs/performance.md.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "templates/format_engine.h"

namespace corvane {
namespace {

// `size` bytes of designer text: plain text, expressions, a dropped expression.
std::string LargeTemplate(size_t size) {
  return [size] {
    const std::string chunk =
        "Dear {{\"\\0 \\1\",FIRSTNAME,LASTNAME}}, the documents "
        "{{N:docs\"<li>\\0: \\1</li>\",docs.id,docs.name}} wait for your approval {since a while}. "
        "Kind regards, {{ N: 2 \"\\0/}\",SENDER}}\n";
    std::string t;
    while (t.size() < size) t += chunk;
    return t;
  }();
}

void BM_Parse(benchmark::State& state) {
  const std::string text = LargeTemplate(state.range(0));
  for (auto _ : state) {
    CFormatParser parser;
    auto expressions = parser.Parse(text);
    benchmark::DoNotOptimize(expressions);
  }
  state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_Parse)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

void BM_Parse_WriteOnce(benchmark::State& state) {
  const std::string text = LargeTemplate(state.range(0));
  for (auto _ : state) {
    std::string copy(text.size(), '\0');
    std::memcpy(copy.data(), text.data(), text.size());
    benchmark::DoNotOptimize(copy);
  }
  state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_Parse_WriteOnce)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

// A loop expression over `count` items. With `live` set, every id is "\1", a
// placeholder the next repetition replaces again, so the renderer must take the
// step-by-step path over the whole text built so far.
CFormatExpression LoopExpression(int32_t count, bool live) {
  CFormatParser parser;
  auto expressions = parser.Parse("{{N:docs\"<li>\\0: \\1</li>\",docs.id,docs.name}}");
  CFormatExpression e = std::move(expressions->front());
  e.SetLoopCount(count);
  for (int32_t k = 1; k <= count; ++k) {
    e.Variables().Find("docs.id")->SetValue(k, live ? "\\1" : std::to_string(k));
    e.Variables().Find("docs.name")->SetValue(k, "document " + std::to_string(k));
  }
  return e;
}

void BM_Loop(benchmark::State& state) {
  CFormatExpression e = LoopExpression(static_cast<int32_t>(state.range(0)), false);
  size_t bytes = 0;
  for (auto _ : state) {
    std::string out = e.ToString();
    bytes = out.size();
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_Loop)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_Loop_WriteOnce(benchmark::State& state) {
  const int32_t count = static_cast<int32_t>(state.range(0));
  std::vector<std::string> ids, names;
  for (int32_t k = 1; k <= count; ++k) {
    ids.push_back(std::to_string(k));
    names.push_back("document " + std::to_string(k));
  }
  size_t bytes = 0;
  for (auto _ : state) {
    std::string out;
    for (int32_t k = 0; k < count; ++k) {
      out += "<li>";
      out += ids[k];
      out += ": ";
      out += names[k];
      out += "</li>";
    }
    bytes = out.size();
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_Loop_WriteOnce)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_Loop_StepByStep(benchmark::State& state) {
  CFormatExpression e = LoopExpression(static_cast<int32_t>(state.range(0)), true);
  for (auto _ : state) {
    std::string out = e.ToString();
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_Loop_StepByStep)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane

BENCHMARK_MAIN();
