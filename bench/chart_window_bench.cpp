// The desktop side of the charts, offscreen: building the Qt charts of a sheet's curves and
// redrawing a chart window after Calculate (the marine sheet has the most charts).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QChart>
#include <memory>

#include "analysis/curves/curves.hpp"
#include "examples.hpp"
#include "shell/charts/chart_builder.hpp"

namespace {

using namespace pellucor;

void BM_CurvesAndQtCharts(benchmark::State& state) {
  const auto run = bench::marine_run();
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
