// The desktop side of the charts, offscreen: building the Qt charts of a sheet's curves and
// redrawing a chart window after Calculate (the marine sheet has the most charts).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QChart>
#include <memory>

#include "analysis/curves/curves.hpp"
#include "model/marine.hpp"
#include "model/model_run.hpp"
#include "shell/chart_builder.hpp"

namespace {

using namespace pellucor;

model::ModelRun marine_run() {
  model::MarineInput in;
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
  in.k = 1.0;
  in.ts = 25;
  in.tiStart = 10;
  in.T2Start = 5;
  in.kind = pellucor::model::SteelKind::Deformed;
  return model::MarineRun{in, model::run_marine(in)};
}

void BM_CurvesAndQtCharts(benchmark::State& state) {
  const auto run = marine_run();
  for (auto _ : state) {
    const auto curves = analysis::curves::curves(run);
    for (const auto& c : curves->charts) {
      std::unique_ptr<QChart> chart(shell::make_chart(c));
      benchmark::DoNotOptimize(chart.get());
    }
  }
}
BENCHMARK(BM_CurvesAndQtCharts)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
