// The assessment of a structure and its report, offscreen: a project of members of all five
// sheets (each chloride member with a profile to fit, each carbonation member with its
// readings) assessed, and its whole PDF drawn in memory. The report of 500 members must take
// well under a minute.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QPageSize>
#include <QPdfWriter>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/project/project.hpp"
#include "analysis/structure/structure.hpp"
#include "shell/reports/structure_report.hpp"

namespace {

using namespace pellucor::analysis;
using pellucor::sheet::Control;

struct Kind {
  const char* sheet;
  std::vector<std::pair<Control, const char*>> boxes;
  const char* steel;
  std::vector<Control> options;
};

// The worked example of each sheet, as typed.
const std::vector<Kind> kKinds = {
    {"carbonation",
     {{Control::Text1, "2"},
      {Control::Text2, "15"},
      {Control::Text3, "0.7"},
      {Control::Text4, "30"},
      {Control::Text5, "30"},
      {Control::Text6, "60"},
      {Control::Text8, "1.5"},
      {Control::Text9, "20"}},
     "1 圆钢筋",
     {Control::Option1, Control::Option4}},
    {"chloride-constant",
     {{Control::Text1, "1.5"},
      {Control::Text2, "20"},
      {Control::Text3, "0.8"},
      {Control::Text4, "30"},
      {Control::Text5, "40"},
      {Control::Text6, "20"},
      {Control::Text7, "1.5"},
      {Control::Text8, "5"},
      {Control::Text9, "1.4"},
      {Control::Text13, "20"},
      {Control::Text14, "20"}},
     "2 变形钢筋",
     {Control::Option1}},
    {"chloride-variable",
     {{Control::Text1, "1"},
      {Control::Text2, "20"},
      {Control::Text3, "0.8"},
      {Control::Text4, "30"},
      {Control::Text5, "30"},
      {Control::Text6, "10"},
      {Control::Text7, "0.3"},
      {Control::Text8, "5"},
      {Control::Text9, "1.4"},
      {Control::Text10, "20"},
      {Control::Text11, "2"},
      {Control::Text12, "20"},
      {Control::Text13, "20"}},
     "2 变形钢筋",
     {}},
    {"marine",
     {{Control::Text1, "1.5"},
      {Control::Text2, "20"},
      {Control::Text3, "0.8"},
      {Control::Text4, "30"},
      {Control::Text5, "40"},
      {Control::Text6, "20"},
      {Control::Text7, "1.5"},
      {Control::Text8, "5"},
      {Control::Text9, "1.4"},
      {Control::Text13, "20"},
      {Control::Text14, "20"},
      {Control::Text15, "1.0"},
      {Control::Text16, "25"},
      {Control::Text17, "10"},
      {Control::Text18, "5"}},
     "2 变形钢筋",
     {}},
    {"admixed",
     {{Control::Text1, "1"},
      {Control::Text2, "20"},
      {Control::Text3, "0.8"},
      {Control::Text4, "30"},
      {Control::Text5, "30"},
      {Control::Text6, "30"},
      {Control::Text7, "20"},
      {Control::Text8, "6"},
      {Control::Text9, "20"}},
     "2 变形钢筋",
     {}},
};

inspect::ProfileInput profile() {
  inspect::ProfileInput in;
  for (int i = 0; i < 10; ++i) {
    const double x = 2.0 * i + 1;
    in.depthMm.push_back(x);
    in.chloride.push_back(0.3 + 4.7 * std::erfc(x / (2 * std::sqrt(30.0 * 12))) +
                          (i % 2 ? 0.05 : -0.05));
  }
  in.ageYears = 12;
  in.background = inspect::Background::Fitted;
  return in;
}

project::Project structure(int members) {
  project::Project p;
  p.structure = {"跨海大桥", "预应力混凝土连续梁桥", "舟山", "交通局", "张工", "2026-12", ""};
  p.assessment.targetLife = 100;
  for (int i = 0; i < members; ++i) {
    const Kind& k = kKinds[static_cast<std::size_t>(i) % kKinds.size()];
    project::Member m;
    m.name = "构件 " + std::to_string(i + 1);
    m.sheet = k.sheet;
    for (const auto& [c, text] : k.boxes) m.boxes[c] = text;
    // Covers from 20 to 69 mm: the grades differ from member to member.
    m.boxes[Control::Text5] = std::to_string(20 + i % 50);
    m.steel = k.steel;
    m.options = k.options;
    if (m.sheet == "carbonation") {
      m.inspection.carbonation = inspect::CarbonationInput{{12, 14.5, 9, 11}, 60};
    } else if (m.sheet != "admixed") {
      m.inspection.profiles.push_back({"C1", profile(), std::nullopt});
    }
    p.members.push_back(std::move(m));
  }
  return p;
}

void BM_AssessStructure(benchmark::State& state) {
  const project::Project p = structure(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const auto s = assess::assess_structure(p);
    if (!s.ok() || s->summary.notAssessed != 0) state.SkipWithError("a member was not assessed");
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_AssessStructure)->Arg(500)->Unit(benchmark::kMillisecond);

// From the project to the PDF's bytes: the assessment, the report's sections, every page drawn.
void BM_StructureReportPdf(benchmark::State& state) {
  const project::Project p = structure(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const auto s = assess::assess_structure(p);
    if (!s.ok()) state.SkipWithError("the assessment was refused");
    QByteArray pdf;
    if (!pellucor::shell::structure_report(p, *s).pdf(pdf)) {
      state.SkipWithError("the report was not drawn");
    }
    state.counters["MB"] = static_cast<double>(pdf.size()) / 1e6;
    benchmark::DoNotOptimize(pdf);
  }
}
BENCHMARK(BM_StructureReportPdf)->Arg(3)->Arg(500)->Unit(benchmark::kMillisecond)->Iterations(1);

// The report's stages apart, per member: the sections (the members' own reports, the fits of
// their readings made again), then the pages counted (every text measured, no chart drawn),
// then the pages drawn (the text again and every chart).
void BM_StructureReportStages(benchmark::State& state) {
  const auto members = static_cast<int>(state.range(0));
  const project::Project p = structure(members);
  const auto s = assess::assess_structure(p);
  if (!s.ok()) state.SkipWithError("the assessment was refused");
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    const auto seconds = [&start] {
      const auto now = std::chrono::steady_clock::now();
      const double d = std::chrono::duration<double>(now - start).count();
      start = now;
      return d;
    };
    const pellucor::shell::ReportDocument doc = pellucor::shell::structure_report(p, *s);
    const double sections = seconds();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(300);
    const int pages = doc.pageCount(writer);
    const double counted = seconds();
    QByteArray pdf;
    if (!doc.pdf(pdf)) state.SkipWithError("the report was not drawn");
    const double whole = seconds();
    state.counters["sections_ms_per_member"] = 1e3 * sections / members;
    state.counters["count_ms_per_member"] = 1e3 * counted / members;
    state.counters["count_and_draw_ms_per_member"] = 1e3 * whole / members;
    state.counters["pages"] = pages;
  }
}
BENCHMARK(BM_StructureReportStages)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
