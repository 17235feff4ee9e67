// Speed and memory of the numerical core: the plain step loops against the checkpointed
// routines, and each chloride model's worked example end to end (the tables are
// filled at build time and compiled in).
#include <benchmark/benchmark.h>

#include <cmath>

#include "examples.hpp"
#include "model/erf.hpp"

namespace {

using namespace pellucor::model;
using namespace pellucor::bench;

double plain_erf(double x, double h, double n) {
  double sum = 0;
  double t = 0;
  while (!(t > x)) {
    sum = sum + ((2 / std::sqrt(3.14159)) / std::exp(t * t)) / n;
    t = t + h;
  }
  return sum;
}

double plain_erf_fan(double y) {
  double sum = 0;
  double x = 0;
  while (!(sum > y)) {
    sum = sum + ((2 / std::sqrt(3.14)) / std::exp(x * x)) / 500000;
    x = x + 2e-6;
  }
  return x;
}

// Arguments are passed in thousandths.
double arg(const benchmark::State& state) {
  return static_cast<double>(state.range(0)) / 1000;
}

void BM_PlainErfFine(benchmark::State& state) {
  const double x = arg(state);
  for (auto _ : state) benchmark::DoNotOptimize(plain_erf(x, 2e-7, 5000000));
}
void BM_FunErfFine(benchmark::State& state) {
  const double x = arg(state);
  fun_erf_fine(x);
  for (auto _ : state) benchmark::DoNotOptimize(fun_erf_fine(x));
}
void BM_FunErfCoarse(benchmark::State& state) {
  const double x = arg(state);
  fun_erf_coarse(x);
  for (auto _ : state) benchmark::DoNotOptimize(fun_erf_coarse(x));
}
void BM_PlainErfFan(benchmark::State& state) {
  const double y = arg(state);
  for (auto _ : state) benchmark::DoNotOptimize(plain_erf_fan(y));
}
void BM_FunErfFan(benchmark::State& state) {
  const double y = arg(state);
  fun_erf_fan(y);
  for (auto _ : state) benchmark::DoNotOptimize(fun_erf_fan(y));
}
BENCHMARK(BM_PlainErfFine)->Arg(100)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FunErfFine)->Arg(100)->Arg(500)->Arg(1000)->Arg(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FunErfCoarse)->Arg(500)->Arg(2360)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainErfFan)->Arg(500)->Arg(720)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FunErfFan)->Arg(500)->Arg(720)->Arg(1000)->Unit(benchmark::kMicrosecond);

template <class Run>
void run_model(benchmark::State& state, Run run) {
  for (auto _ : state) {
    auto r = run();
    if (r.stop) state.SkipWithError("the worked example stopped");
    benchmark::DoNotOptimize(r);
  }
  state.counters["table_bytes"] = static_cast<double>(erf_table_bytes());
}

void BM_ChlorideConstant(benchmark::State& state) {
  run_model(state, [] { return run_chloride_constant(constant_example()); });
}
void BM_ChlorideVariable(benchmark::State& state) {
  run_model(state, [] { return run_chloride_variable(variable_example()); });
}
void BM_Marine(benchmark::State& state) {
  run_model(state, [] { return run_marine(marine_example()); });
}
void BM_Admixed(benchmark::State& state) {
  run_model(state, [] { return run_admixed(admixed_example()); });
}
BENCHMARK(BM_ChlorideConstant)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChlorideVariable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Marine)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Admixed)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
