// The curves of each sheet's worked example from a completed run, warm (the error-function
// tables already filled by the run itself, as after a Calculate).
#include <benchmark/benchmark.h>

#include "analysis/curves/curves.hpp"
#include "examples.hpp"

namespace {

using namespace pellucor::model;
using namespace pellucor::bench;

void BM_Curves(benchmark::State& state, ModelRun (*make)()) {
  const ModelRun run = make();
  auto first = pellucor::analysis::curves::curves(run);  // warms the tables
  if (!first) state.SkipWithError("the worked example stopped");
  for (auto _ : state) {
    auto curves = pellucor::analysis::curves::curves(run);
    benchmark::DoNotOptimize(curves);
  }
}

BENCHMARK_CAPTURE(BM_Curves, carbonation, carbonation_run)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Curves, chloride_constant, constant_run)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Curves, chloride_variable, variable_run)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Curves, marine, marine_run)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Curves, admixed, admixed_run)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
