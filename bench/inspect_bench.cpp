// Inspection data, assessment and the project file: a chloride-profile fit, a design search
// on the sheet's own calculation, and a project of 500 members written and read again.
#include <benchmark/benchmark.h>

#include <cmath>

#include "analysis/assess/design.hpp"
#include "analysis/inspect/chloride_profile.hpp"
#include "analysis/project/project.hpp"
#include "modules/registry.hpp"

namespace {

using namespace pellucor::analysis;
using pellucor::sheet::Control;

inspect::ProfileInput profile(int layers) {
  inspect::ProfileInput in;
  for (int i = 0; i < layers; ++i) {
    const double x = 2.0 * i + 1;
    in.depthMm.push_back(x);
    // A smooth profile with a small alternating error, so that the residuals are not zero.
    in.chloride.push_back(0.3 + 4.7 * std::erfc(x / (2 * std::sqrt(30.0 * 12))) +
                          (i % 2 ? 0.05 : -0.05));
  }
  in.ageYears = 12;
  in.background = inspect::Background::Fitted;
  return in;
}

void BM_ProfileFit(benchmark::State& state) {
  const inspect::ProfileInput in = profile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto fit = inspect::fit_profile(in);
    if (!fit.ok()) state.SkipWithError("the profile was refused");
    benchmark::DoNotOptimize(fit);
  }
}
BENCHMARK(BM_ProfileFit)->Arg(8)->Arg(20)->Unit(benchmark::kMicrosecond);

const std::vector<batch::Entry> kBeam = {
    {Control::Text1, "1.5"}, {Control::Text2, "20"},  {Control::Text3, "0.8"},
    {Control::Text4, "30"},  {Control::Text5, "40"},  {Control::Text6, "20"},
    {Control::Text7, "1.5"}, {Control::Text8, "5"},   {Control::Text9, "1.4"},
    {Control::Text13, "20"}, {Control::Text14, "20"}, {Control::Combo1, "2 变形钢筋"}};

void BM_DesignCover(benchmark::State& state) {
  const auto* sheet = pellucor::modules::find_module("chloride-constant");
  for (auto _ : state) {
    auto d =
        assess::design_for_target_life({sheet, kBeam, "cover", assess::LimitState::EndOfLife, 50});
    if (!d.ok()) state.SkipWithError("the design was refused");
    benchmark::DoNotOptimize(d);
  }
}
BENCHMARK(BM_DesignCover)->Unit(benchmark::kMillisecond);

project::Project structure(int members) {
  project::Project p;
  p.structure.name = "跨海大桥";
  for (int i = 0; i < members; ++i) {
    project::Member m;
    m.name = "构件 " + std::to_string(i);
    m.sheet = "chloride-constant";
    for (const auto& e : kBeam) {
      if (e.control == Control::Combo1) {
        m.steel = e.text;
      } else {
        m.boxes[e.control] = e.text;
      }
    }
    m.options = {Control::Option1};
    m.inspection.profiles.push_back({"C1", profile(10), std::nullopt});
    p.members.push_back(std::move(m));
  }
  return p;
}

void BM_ProjectWrite(benchmark::State& state) {
  const project::Project p = structure(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(project::project_bytes(p));
}
BENCHMARK(BM_ProjectWrite)->Arg(500)->Unit(benchmark::kMillisecond);

// Reading includes typing every member into its sheet to name what the sheet would refuse.
void BM_ProjectRead(benchmark::State& state) {
  const std::string bytes = project::project_bytes(structure(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    auto r = project::parse_project(bytes);
    if (!r.ok() || !r->skipped.empty()) state.SkipWithError("the project did not read whole");
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_ProjectRead)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
