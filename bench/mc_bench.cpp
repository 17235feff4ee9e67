// Reliability analysis of the marine-atmosphere sheet (the slowest model): time against the
// sample count (expected linear), and the peak memory of a run of 10^6 samples.
//   build/<dir>/bench/pellucor_mc_bench
// reports the wall time per run (all cores), the CPU time of all threads per run, the fitted
// complexity and the peak resident set size of the process.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <ctime>

#include "analysis/mc/engine.hpp"
#include "analysis/mc/problem.hpp"
#include "analysis/mc/summary.hpp"
#include "modules/registry.hpp"
#include "sheet/numeric.hpp"

namespace {

namespace mc = pellucor::analysis::mc;
namespace sheet = pellucor::sheet;

// The marine sheet's worked example with the default scatter (cover, diffusion coefficient,
// surface and critical chloride, strength, temperature, humidity).
mc::Problem marine_problem() {
  const sheet::Module& module = *pellucor::modules::find_module("marine");
  sheet::SheetInputs in;
  const std::pair<int, double> values[] = {{1, 1.5}, {2, 20},   {3, 0.8}, {4, 30},  {5, 40},
                                           {6, 20},  {7, 1.5},  {8, 5},   {9, 1.4}, {13, 20},
                                           {14, 20}, {15, 1.0}, {16, 25}, {17, 10}, {18, 5}};
  for (const auto& [n, v] : values) in.value[static_cast<std::size_t>(n)] = v;
  in.selected[1] = true;
  in.selected[3] = true;
  in.steelText = sheet::kSteelItems[1];
  in.steelKind = sheet::steel_kind(in.steelText);
  in.steelName = sheet::steel_name(in.steelText);
  return mc::with_defaults(module, in);
}

// CPU seconds of all the process's threads so far.
double process_cpu_s() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double peak_rss_mb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// Samples and summary, as the console and the window run them.
void BM_MarineMonteCarlo(benchmark::State& state) {
  const mc::Problem problem = marine_problem();
  mc::RunSettings settings;
  settings.samples = static_cast<std::uint64_t>(state.range(0));
  if (mc::validate(problem, settings)) {
    state.SkipWithError("the example does not validate");
    return;
  }
  const double cpuBefore = process_cpu_s();
  for (auto _ : state) {
    const mc::Samples samples = mc::run_samples(problem, settings);
    const mc::Summary summary = mc::summarize(samples, settings.targetBeta);
    benchmark::DoNotOptimize(summary.done);
  }
  // The CPU time of all threads per run: on an otherwise idle machine the wall time of a run
  // is this divided by the number of cores.
  state.counters["cpu_all_threads_ms"] =
      1e3 * (process_cpu_s() - cpuBefore) / static_cast<double>(state.iterations());
  state.SetComplexityN(state.range(0));
  state.counters["samples/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(settings.samples),
      benchmark::Counter::kIsRate);
  state.counters["peak_rss_MB"] = peak_rss_mb();
}
BENCHMARK(BM_MarineMonteCarlo)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);

// One run of 10^6 samples: the peak resident set size is the memory figure.
void BM_MarineMonteCarloMillion(benchmark::State& state) {
  BM_MarineMonteCarlo(state);
}
BENCHMARK(BM_MarineMonteCarloMillion)
    ->Arg(1000000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
