// Design for a target reliability: the whole search (scan, bisection, the answer written and
// checked) on the constant-coefficient chloride sheet, by the number of samples each value runs.
#include <benchmark/benchmark.h>

#include "analysis/assess/reliability_design.hpp"
#include "modules/registry.hpp"

namespace {

using namespace pellucor::analysis;
using pellucor::sheet::Control;

const std::vector<batch::Entry> kBeam = {
    {Control::Text1, "1.5"}, {Control::Text2, "20"},  {Control::Text3, "0.8"},
    {Control::Text4, "30"},  {Control::Text5, "40"},  {Control::Text6, "20"},
    {Control::Text7, "1.5"}, {Control::Text8, "5"},   {Control::Text9, "1.4"},
    {Control::Text13, "20"}, {Control::Text14, "20"}, {Control::Combo1, "2 变形钢筋"}};

void BM_ReliabilityDesignCover(benchmark::State& state) {
  assess::ReliabilityDesignRequest r;
  r.module = pellucor::modules::find_module("chloride-constant");
  r.member = kBeam;
  r.box = "cover";
  r.targetLife = 30;
  r.targetBeta = 0.5;
  r.samples = static_cast<std::uint64_t>(state.range(0));
  int evaluations = 0;
  for (auto _ : state) {
    const auto d = assess::design_for_target_beta(r);
    if (!d.ok() || d->design.solve.status != assess::SolveStatus::Solved) {
      state.SkipWithError("no answer");
    } else {
      evaluations = static_cast<int>(d->design.solve.evaluations.size());
    }
    benchmark::DoNotOptimize(d);
  }
  state.counters["values"] = evaluations;
}
BENCHMARK(BM_ReliabilityDesignCover)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
