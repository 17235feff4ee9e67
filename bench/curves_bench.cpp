// The curves of each sheet's worked example from a completed run, warm (the error-function
// tables already filled by the run itself, as after a Calculate).
#include <benchmark/benchmark.h>

#include "analysis/curves/curves.hpp"
#include "model/model_run.hpp"

namespace {

using namespace pellucor::model;

ModelRun carbonation_run() {
  CarbonationInput in;
  in.m = 2.0;
  in.T = 15;
  in.RH = 0.7;
  in.fcu = 30;
  in.c = 30;
  in.t = 60;
  in.kco2 = 1.5;
  in.d = 20;
  in.kind = pellucor::model::SteelKind::PlainRound;
  in.condition = WorkingCondition::Outdoor;
  return CarbonationRun{in, run_carbonation(in)};
}

ChlorideConstantInput constant_input() {
  ChlorideConstantInput in;
  in.Ke = 1.5;
  in.T = 20;
  in.RH = 0.8;
  in.fcu = 30;
  in.coverMm = 40;
  in.t = 20;
  in.Dcm2 = 1.5;
  in.Cs = 5;
  in.Ccr = 1.4;
  in.tcStart = 20;
  in.dMm = 20;
  in.kind = pellucor::model::SteelKind::Deformed;
  return in;
}

ModelRun constant_run() {
  const auto in = constant_input();
  return ChlorideConstantRun{in, run_chloride_constant(in)};
}

ModelRun variable_run() {
  ChlorideVariableInput in;
  in.Ke = 1;
  in.T = 20;
  in.RH = 0.8;
  in.fcu = 30;
  in.coverMm = 30;
  in.t = 10;
  in.m = 0.3;
  in.Cs = 5;
  in.Ccr = 1.4;
  in.xMm = 20;
  in.Cx = 2;
  in.tcStart = 20;
  in.dMm = 20;
  in.kind = pellucor::model::SteelKind::Deformed;
  return ChlorideVariableRun{in, run_chloride_variable(in)};
}

ModelRun marine_run() {
  MarineInput in;
  const auto c = constant_input();
  in.Ke = c.Ke;
  in.T = c.T;
  in.RH = c.RH;
  in.fcu = c.fcu;
  in.coverMm = c.coverMm;
  in.t = c.t;
  in.Dcm2 = c.Dcm2;
  in.Cs = c.Cs;
  in.Ccr = c.Ccr;
  in.tcStart = c.tcStart;
  in.dMm = c.dMm;
  in.k = 1.0;
  in.ts = 25;
  in.tiStart = 10;
  in.T2Start = 5;
  in.kind = pellucor::model::SteelKind::Deformed;
  return MarineRun{in, run_marine(in)};
}

ModelRun admixed_run() {
  AdmixedInput in;
  in.Ke = 1;
  in.T = 20;
  in.RH = 0.8;
  in.fcu = 30;
  in.c = 30;
  in.t = 30;
  in.tcStart = 20;
  in.C0 = 6;
  in.d = 20;
  in.kind = pellucor::model::SteelKind::Deformed;
  return AdmixedRun{in, run_admixed(in)};
}

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
