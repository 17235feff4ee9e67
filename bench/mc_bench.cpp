// Reliability analysis: time against the sample count (expected linear), the peak memory of a
// run of 10^6 samples, and the cost per sample on one core with the model's share.
//   build/<dir>/bench/pellucor_mc_bench
// reports the wall time per run, the CPU time of all threads per run, the fitted complexity,
// the peak resident set size, and for the one-core runs the nanoseconds per sample of the
// fastest run, of its sampling and its summary, and of the model alone on the same inputs
// (CPU time of the one thread, so that other work on the machine changes them little).
//
// The yardstick of the carbonation run is bench/mc_carbonation_numpy.py, the same model and
// summary as a vectorised numpy script (run it with Debian's python3-numpy on one core); the
// goal is three times its speed at 10^6 samples. Compare on a quiet machine, e.g.
//   build/bench/bench/pellucor_mc_bench --benchmark_filter=OneCore
//   /usr/bin/python3 bench/mc_carbonation_numpy.py
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <boost/math/distributions/normal.hpp>

#include <cstdint>
#include <ctime>
#include <limits>
#include <vector>

#include "analysis/crossing.hpp"
#include "analysis/mc/engine.hpp"
#include "analysis/mc/problem.hpp"
#include "analysis/mc/summary.hpp"
#include "analysis/mc/uncertainty.hpp"
#include "analysis/normal_law.hpp"
#include "model/carbonation.hpp"
#include "model/marine.hpp"
#include "modules/registry.hpp"
#include "sheet/numeric.hpp"
#include "sheet_examples.hpp"

namespace {

namespace mc = pellucor::analysis::mc;
namespace model = pellucor::model;
namespace sheet = pellucor::sheet;

using pellucor::analysis::normal_quantile;
using pellucor::bench::carbonation_problem;
using pellucor::bench::marine_problem;

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

// CPU seconds of the calling thread: the one-core figures do not depend on what else the
// machine runs.
double now_s() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
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
    const mc::Summary summary = mc::summarize(samples, settings);
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

// The model of a sheet alone, on the inputs the sheet binds for each sample; on the marine
// sheet with the initiation time found the way the problem asks for.
template <class Run>
double model_seconds(const mc::Problem& problem, const mc::RunSettings& settings) {
  const mc::Sampler sampler(problem);
  struct Sink final : sheet::CalculationSink {
    void passStarted(double) override {}
    void passFinished(const std::vector<std::string>&) override {}
    bool wantsReport() const override { return false; }
  } sink;
  std::vector<decltype(Run::in)> inputs;
  inputs.reserve(settings.samples);
  for (std::uint64_t i = 0; i < settings.samples; ++i) {
    const auto outcome = problem.module->calculate(sampler.inputs(settings.seed, i), sink);
    if (const auto* run = std::get_if<Run>(&outcome.run)) inputs.push_back(run->in);
  }
  const bool crossing =
      problem.hasVariants() && problem.variant == pellucor::analysis::InitiationVariant::Crossing;
  const double start = now_s();
  for (const auto& in : inputs) {
    if constexpr (std::is_same_v<Run, model::CarbonationRun>) {
      benchmark::DoNotOptimize(model::run_carbonation(in));
    } else if (crossing) {
      benchmark::DoNotOptimize(pellucor::analysis::run_marine_crossing(in));
    } else {
      benchmark::DoNotOptimize(model::run_marine(in));
    }
  }
  return now_s() - start;
}

// One core: samples, summary, and the model's share of them.
template <class Run>
void one_core(benchmark::State& state, const mc::Problem& problem) {
  mc::RunSettings settings;
  settings.samples = static_cast<std::uint64_t>(state.range(0));
  settings.threads = 1;
  if (mc::validate(problem, settings)) {
    state.SkipWithError("the example does not validate");
    return;
  }
  // The fastest run: what the code costs when the machine's other work leaves it alone (the
  // numpy yardstick reports its fastest of three runs too).
  double sampling = 0, summarising = 0;
  double fastest = std::numeric_limits<double>::infinity();
  for (auto _ : state) {
    const double start = now_s();
    const mc::Samples samples = mc::run_samples(problem, settings);
    const double middle = now_s();
    const mc::Summary summary = mc::summarize(samples, settings);
    const double end = now_s();
    benchmark::DoNotOptimize(summary.done);
    if (end - start < fastest) {
      fastest = end - start;
      sampling = middle - start;
      summarising = end - middle;
    }
  }
  const double n = static_cast<double>(settings.samples);
  const double modelS = model_seconds<Run>(problem, settings);
  state.counters["ns_per_sample"] = 1e9 * fastest / n;
  state.counters["model_ns_per_sample"] = 1e9 * modelS / n;
  state.counters["summary_ns_per_sample"] = 1e9 * summarising / n;
  state.counters["sampling_ns_per_sample"] = 1e9 * sampling / n;
  state.counters["model_share"] = modelS / fastest;
  state.counters["samples/s"] = n / fastest;
}

// The carbonation sheet at 10^6 samples on one core (compare bench/mc_carbonation_numpy.py).
void BM_CarbonationMonteCarloOneCore(benchmark::State& state) {
  one_core<model::CarbonationRun>(state, carbonation_problem());
}
BENCHMARK(BM_CarbonationMonteCarloOneCore)
    ->Arg(1000000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The marine sheet on one core: its model is the error function's work. Argument 1: the
// initiation time at the crossing of the critical concentration (the analysis's default), 0:
// the sheet's search.
void BM_MarineMonteCarloOneCore(benchmark::State& state) {
  mc::Problem problem = marine_problem();
  problem.variant = state.range(1) != 0 ? pellucor::analysis::InitiationVariant::Crossing
                                        : pellucor::analysis::InitiationVariant::SheetSearch;
  one_core<model::MarineRun>(state, problem);
}
BENCHMARK(BM_MarineMonteCarloOneCore)
    ->Args({100000, 1})
    ->Args({100000, 0})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The inverse normal of the sampling, per call, against Boost.Math's.
void BM_NormalQuantile(benchmark::State& state) {
  std::vector<double> p(4096);
  for (std::size_t i = 0; i < p.size(); ++i) p[i] = (static_cast<double>(i) + 0.5) / 4096;
  for (auto _ : state) {
    double sum = 0;
    for (double x : p) sum += normal_quantile(x);
    benchmark::DoNotOptimize(sum);
  }
  state.counters["ns_per_call"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * 4096,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_NormalQuantile);

void BM_NormalQuantileBoost(benchmark::State& state) {
  using Normal = boost::math::normal_distribution<
      double, boost::math::policies::policy<boost::math::policies::promote_double<false>>>;
  const Normal standard(0, 1);
  std::vector<double> p(4096);
  for (std::size_t i = 0; i < p.size(); ++i) p[i] = (static_cast<double>(i) + 0.5) / 4096;
  for (auto _ : state) {
    double sum = 0;
    for (double x : p) sum += boost::math::quantile(standard, x);
    benchmark::DoNotOptimize(sum);
  }
  state.counters["ns_per_call"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * 4096,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_NormalQuantileBoost);

}  // namespace

BENCHMARK_MAIN();
