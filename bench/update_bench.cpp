// The reliability analysis updated with a member's measurements, against the reliability
// analysis of the same member, on one core: a carbonation member with 50 depth readings and a
// chloride member with a 10-point profile, each at 10^5 effective posterior samples. And the
// marine crossing every marine sample solves: the evaluations of the chloride at the bar and
// the time per sample of the galloping search against the half-year scan it replaced, beside
// one deterministic run of the sheet's model.
//   build/<dir>/bench/pellucor_update_bench
// The figures are CPU seconds of the calling thread, the fastest of the runs, so that other
// work on the machine changes them little.
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <limits>
#include <vector>

#include "analysis/crossing.hpp"
#include "analysis/mc/engine.hpp"
#include "analysis/mc/problem.hpp"
#include "analysis/mc/summary.hpp"
#include "analysis/normal_law.hpp"
#include "analysis/update/update.hpp"
#include "examples.hpp"
#include "model/marine.hpp"
#include "modules/marine/marine_sheet.hpp"
#include "modules/registry.hpp"
#include "sheet/numeric.hpp"
#include "sheet_examples.hpp"

namespace {

namespace mc = pellucor::analysis::mc;
namespace update = pellucor::analysis::update;
namespace model = pellucor::model;
namespace sheet = pellucor::sheet;
using pellucor::analysis::Crossing;

double now_s() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// The carbonation sheet's worked example with the default scatter, and 50 depths read at 42 a
// (about 9 mm, a CoV of about 0.25, far below the prior's depths there).
using pellucor::analysis::normal_quantile;
using pellucor::bench::carbonation_problem;
update::Measurements carbonation_readings() {
  update::Measurements m;
  update::DepthReadings d;
  d.ageYears = 42;
  for (int j = 0; j < 50; ++j) {
    const double z = normal_quantile((j + 0.5) / 50);
    d.depthMm.push_back(9 * std::exp(0.25 * z - 0.03));
  }
  m.depths.push_back(d);
  return m;
}

// The constant-coefficient sheet's worked example with the default scatter, and a core of 11
// layers (the outermost left out: 10 points) at 20 a.
update::Measurements chloride_profile() {
  update::Measurements m;
  update::ProfileCore c;
  c.name = "core";
  c.input.ageYears = 20;
  for (int i = 0; i < 11; ++i) {
    const double x = 1.5 + 4 * i;
    c.input.depthMm.push_back(x);
    c.input.chloride.push_back(4 * std::erfc(x / (2 * std::sqrt(120.0 * 20))) +
                               0.05 * std::sin(1.7 * i));
  }
  m.cores.push_back(c);
  return m;
}

constexpr double kEffective = 100000;

// One core: the reliability analysis of the member at 10^5 samples, and its update at 10^5
// samples (its prior those of the analysis, its importance draws until 10^5 effective samples);
// the fastest of the runs of each.
void one_core(benchmark::State& state, const mc::Problem& problem,
              const update::Measurements& measurements) {
  update::UpdateSettings s;
  s.run.threads = 1;
  s.run.samples = static_cast<std::uint64_t>(kEffective);
  double fastestUpdate = std::numeric_limits<double>::infinity();
  double fastestPrior = std::numeric_limits<double>::infinity();
  double effective = 0, draws = 0;
  for (auto _ : state) {
    const double a = now_s();
    const auto r = update::run_update(problem, measurements, s);
    const double b = now_s();
    const mc::Summary summary = mc::summarize(mc::run_samples(problem, s.run), s.run);
    const double c = now_s();
    if (!r) {
      state.SkipWithError(r.refusal().message.c_str());
      return;
    }
    benchmark::DoNotOptimize(summary.done);
    effective = r->diagnostics.effective;
    draws = static_cast<double>(r->diagnostics.draws);
    fastestUpdate = std::min(fastestUpdate, b - a);
    fastestPrior = std::min(fastestPrior, c - b);
  }
  state.counters["draws"] = draws;
  state.counters["effective_samples"] = effective;
  state.counters["update_s"] = fastestUpdate;
  state.counters["reliability_s"] = fastestPrior;
  state.counters["ratio"] = fastestUpdate / fastestPrior;
}

void BM_UpdateCarbonationFiftyDepthsOneCore(benchmark::State& state) {
  one_core(state, carbonation_problem(), carbonation_readings());
}
BENCHMARK(BM_UpdateCarbonationFiftyDepthsOneCore)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_UpdateChlorideTenPointProfileOneCore(benchmark::State& state) {
  one_core(state, pellucor::bench::chloride_constant_problem(), chloride_profile());
}
BENCHMARK(BM_UpdateChlorideTenPointProfileOneCore)->Iterations(3)->Unit(benchmark::kMillisecond);

// The half-year scan the crossing was found with before the galloping search: every scan age
// from the first to the first at C_cr, then the bisection.
Crossing scanned_crossing(const model::MarineInput& in, double D) {
  using pellucor::analysis::first_crossing;
  const double c = in.coverMm / 1000;
  const double limit = pellucor::analysis::kCrossingLimit;
  const double growingLimit = std::min(in.ts, limit);
  Crossing first;
  if (growingLimit > 0) {
    first =
        first_crossing([&](double t) { return model::marine_growing_concentration(in.k, c, D, t); },
                       in.Ccr, {.step = 0.5, .limit = growingLimit});
    if (first.kind != Crossing::Kind::NotByLimit || !(limit > in.ts)) return first;
  }
  const double C1 = in.Cs * model::marine_profile_term(c, D, in.ts);
  Crossing second = first_crossing(
      [&](double t2) { return model::marine_stable_concentration(C1, in.Cs, c, D, t2); }, in.Ccr,
      {.step = 0.5, .limit = limit - in.ts});
  second.evaluations += first.evaluations;
  second.age = in.ts + second.age;
  return second;
}

// The marine worked example's inputs scattered as the reliability analysis scatters them: the
// crossing of each sample by both searches (the same age, bit for bit), the evaluations of the
// chloride at the bar and the time per sample; then one deterministic run of the sheet's model
// on the worked example, and the ratio of a sample with the crossing to it.
void BM_MarineCrossingPerSample(benchmark::State& state) {
  const mc::Problem problem = pellucor::bench::marine_problem();
  const mc::Sampler sampler(problem);
  std::vector<model::MarineInput> inputs;
  std::vector<double> D;
  for (std::uint64_t i = 0; i < 20000; ++i) {
    const model::MarineInput in = pellucor::modules::MarineSheet::bind(sampler.inputs(1, i));
    const model::MarineResult r = model::marine_coefficients(in);
    if (r.stop) continue;
    inputs.push_back(in);
    D.push_back(r.D);
  }
  double scanS = std::numeric_limits<double>::infinity();
  double gallopS = scanS, sampleS = scanS, deterministicS = scanS;
  long scanEvaluations = 0, gallopEvaluations = 0;
  std::size_t differ = 0;
  const auto n = static_cast<double>(inputs.size());
  for (auto _ : state) {
    scanEvaluations = gallopEvaluations = 0;
    differ = 0;
    double a = now_s();
    std::vector<double> ages(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      const Crossing x = scanned_crossing(inputs[i], D[i]);
      scanEvaluations += x.evaluations;
      ages[i] = x.age;
    }
    double b = now_s();
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      const Crossing x =
          pellucor::analysis::marine_crossing(inputs[i], D[i], pellucor::analysis::kCrossingLimit);
      gallopEvaluations += x.evaluations;
      differ += x.age != ages[i] ? 1 : 0;
    }
    double c = now_s();
    scanS = std::min(scanS, (b - a) / n);
    gallopS = std::min(gallopS, (c - b) / n);
    // A whole sample with the crossing (the model from its initiation there).
    a = now_s();
    for (const auto& in : inputs)
      benchmark::DoNotOptimize(pellucor::analysis::run_marine_crossing(in));
    b = now_s();
    sampleS = std::min(sampleS, (b - a) / n);
    // One deterministic run of the sheet's model on the worked example (its own searches).
    const model::MarineInput example = pellucor::bench::marine_example();
    constexpr int kRuns = 20000;
    a = now_s();
    for (int i = 0; i < kRuns; ++i) benchmark::DoNotOptimize(model::run_marine(example));
    b = now_s();
    deterministicS = std::min(deterministicS, (b - a) / kRuns);
  }
  state.counters["scan_evaluations_per_sample"] = static_cast<double>(scanEvaluations) / n;
  state.counters["gallop_evaluations_per_sample"] = static_cast<double>(gallopEvaluations) / n;
  state.counters["ages_that_differ"] = static_cast<double>(differ);
  state.counters["scan_ns"] = 1e9 * scanS;
  state.counters["gallop_ns"] = 1e9 * gallopS;
  state.counters["sample_model_ns"] = 1e9 * sampleS;
  state.counters["deterministic_run_ns"] = 1e9 * deterministicS;
  state.counters["sample_over_deterministic"] = sampleS / deterministicS;
}
BENCHMARK(BM_MarineCrossingPerSample)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
