#include "analysis/curves/curves.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>
#include <utility>

#include "analysis/crossing.hpp"

namespace pellucor::analysis::curves {

namespace {

std::string end_of_life() {
  return std::string(kEndOfLifeName);
}

using model::PropagationInput;

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4g", v);
  return buf;
}

// The age grid from 0 to `end`, with the ages given added exactly.
std::vector<double> age_grid(double end, std::initializer_list<double> exact) {
  std::vector<double> grid;
  grid.reserve(kAgeIntervals + 1 + exact.size());
  for (int i = 0; i <= kAgeIntervals; ++i) grid.push_back(end * i / kAgeIntervals);
  for (double a : exact) {
    if (std::isfinite(a) && a >= 0 && a <= end) grid.push_back(a);
  }
  std::sort(grid.begin(), grid.end());
  grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
  return grid;
}

template <class F>
Series sample(std::string name, const std::vector<double>& xs, F f) {
  Series s{std::move(name), {}};
  s.points.reserve(xs.size());
  for (double x : xs) {
    const double y = f(x);
    if (std::isfinite(x) && std::isfinite(y)) s.points.push_back({x, y});
  }
  return s;
}

void add_marker(Chart& chart, Mark mark, std::string label, int series, Point at) {
  if (!std::isfinite(at.x) || !std::isfinite(at.y)) return;
  chart.markers.push_back({mark, std::move(label), series, at});
}

std::vector<Band> phases(const PropagationInput& in, const model::Propagation& p, double end) {
  std::vector<Band> bands;
  auto add = [&](Phase phase, double from, double to, std::string label) {
    from = std::clamp(from, 0.0, end);
    to = std::clamp(to, 0.0, end);
    if (to > from) bands.push_back({phase, from, to, std::move(label)});
  };
  const double stopCorroding = std::min(p.tc, p.td);
  add(Phase::Initiation, 0, in.ti, "锈蚀开始前");
  add(Phase::BeforeCracking, in.ti, stopCorroding, "保护层开裂前");
  add(Phase::AfterCracking, p.tc, p.td, "保护层开裂后");
  add(Phase::PastEndOfDurability, p.td, end, end_of_life() + "之后");
  return bands;
}

void age_axis(Chart& c) {
  c.xName = "龄期";
  c.xUnit = "a";
}

Chart depth_chart(const PropagationInput& in, const model::Propagation& p, double end,
                  const std::vector<double>& grid) {
  Chart c;
  c.kind = ChartKind::Depth;
  c.title = "锈蚀深度";
  age_axis(c);
  c.yName = "钢筋锈蚀深度";
  c.yUnit = "mm";
  c.series.push_back(
      sample("钢筋锈蚀深度", grid, [&](double tau) { return corrosion_depth(in, p, tau); }));
  add_marker(c, Mark::Initiation, "开始锈蚀 t_i=" + number(in.ti) + " a", 0, {in.ti, 0.0});
  add_marker(c, Mark::Cracking,
             "保护层开裂 t_c=" + number(p.tc) + " a, δcr=" + number(p.dcr) + " mm", 0,
             {p.tc, corrosion_depth(in, p, p.tc)});
  const double dEnd = corrosion_depth(in, p, p.td);
  add_marker(c, Mark::EndOfDurability,
             end_of_life() + " t_d=" + number(p.td) + " a, δ=" + number(dEnd) + " mm", 0,
             {p.td, dEnd});
  const double dInspect = corrosion_depth(in, p, in.t);
  add_marker(c, Mark::Inspection, "检测 t=" + number(in.t) + " a, δt=" + number(dInspect) + " mm",
             0, {in.t, dInspect});
  c.guides.push_back({Guide::Orientation::Horizontal, p.dd, "耐久性极限锈蚀深度 δd"});
  c.bands = phases(in, p, end);
  if (p.td < p.tc) c.notes.push_back(end_of_life() + "早于保护层开裂。");
  if (in.t < in.ti) {
    c.notes.push_back(
        "检测龄期早于钢筋开始锈蚀：图中锈蚀深度取0，报告中的检测锈蚀深度为按公式算得的负值。");
  }
  return c;
}

Chart width_chart(const PropagationInput& in, const model::Propagation& p, double end,
                  const std::vector<double>& grid) {
  Chart c;
  c.kind = ChartKind::Width;
  c.title = "裂缝宽度";
  age_axis(c);
  c.yName = "锈胀裂缝宽度";
  c.yUnit = "mm";
  // From cover cracking on; a width the formula gives below zero is drawn as no width.
  auto width = [&](double tau) {
    if (tau < p.tc) return std::nan("");
    return std::max(0.0, *crack_width(in, corrosion_depth(in, p, tau)));
  };
  c.series.push_back(sample("锈胀裂缝宽度", grid, width));
  add_marker(c, Mark::Cracking, "保护层开裂 t_c=" + number(p.tc) + " a", 0, {p.tc, width(p.tc)});
  if (p.td >= p.tc) {
    add_marker(c, Mark::EndOfDurability, end_of_life() + " t_d=" + number(p.td) + " a", 0,
               {p.td, width(p.td)});
  }
  if (in.t >= p.tc) {
    add_marker(c, Mark::Inspection,
               "检测 t=" + number(in.t) + " a, w=" + number(width(in.t)) + " mm", 0,
               {in.t, width(in.t)});
  } else {
    c.notes.push_back("检测龄期早于保护层开裂，检测时尚无锈胀裂缝。");
  }
  if (p.w && *p.w < 0) {
    c.notes.push_back("报告中的检测裂缝宽度为按公式算得的负值，图中不画负宽度。");
  }
  c.bands = phases(in, p, end);
  return c;
}

Chart carbonation_chart(const model::CarbonationRun& run, const PropagationInput& in,
                        const model::Propagation& p, double end, const std::vector<double>& grid) {
  const auto& r = run.out;
  Chart c;
  c.kind = ChartKind::Carbonation;
  c.title = "碳化深度";
  age_axis(c);
  c.yName = "碳化深度";
  c.yUnit = "mm";
  auto front = [&](double tau) { return r.k * std::sqrt(tau); };
  c.series.push_back(sample("碳化深度 x=k√t", grid, front));
  const double onset = run.in.c - r.x0;
  c.guides.push_back({Guide::Orientation::Horizontal, onset, "钢筋开始锈蚀的碳化深度 c−x0"});
  c.guides.push_back({Guide::Orientation::Horizontal, run.in.c, "保护层厚度 c"});
  add_marker(c, Mark::CriticalAtCover, "开始锈蚀 t_i=" + number(r.ti) + " a", 0,
             {r.ti, front(r.ti)});
  add_marker(c, Mark::Inspection, "检测 t=" + number(in.t) + " a", 0, {in.t, front(in.t)});
  if (!(onset > 0)) c.notes.push_back("碳化残量不小于保护层厚度。");
  c.bands = phases(in, p, end);
  return c;
}

struct ChlorideView {
  double cover = 0;  // m
  double Ccr = 0;
  double ti = 0;
  double td = 0;
  double t = 0;
  const CrossingRun* crossing = nullptr;  // marine sheet: the run from the real crossing
};

Chart profile_chart(const ChlorideView& v, const Ingress& conc) {
  Chart c;
  c.kind = ChartKind::Profile;
  c.title = "氯离子浓度分布";
  c.xName = "距混凝土表面深度";
  c.xUnit = "mm";
  c.yName = "氯离子浓度";
  c.yUnit = "kg/m³";
  std::vector<double> depths;  // m
  for (int i = 0; i <= kDepthIntervals; ++i) depths.push_back(2 * v.cover * i / kDepthIntervals);
  depths.push_back(v.cover);
  std::sort(depths.begin(), depths.end());
  depths.erase(std::unique(depths.begin(), depths.end()), depths.end());
  auto profile = [&](std::string name, double tau) {
    Series s{std::move(name), {}};
    for (double x : depths) {
      const double y = conc(x, tau);
      if (std::isfinite(y)) s.points.push_back({x * 1000, y});
    }
    return s;
  };
  c.series.push_back(profile("检测龄期 t=" + number(v.t) + " a", v.t));
  c.series.push_back(profile("开始锈蚀 t_i=" + number(v.ti) + " a", v.ti));
  c.guides.push_back({Guide::Orientation::Horizontal, v.Ccr, "临界氯离子浓度 Ccr"});
  c.guides.push_back({Guide::Orientation::Vertical, v.cover * 1000, "保护层厚度 c"});
  const double atInitiation = conc(v.cover, v.ti);
  const double atInspection = conc(v.cover, v.t);
  add_marker(c, Mark::CriticalAtCover, "达到临界浓度 钢筋处 C=" + number(atInitiation) + " kg/m³",
             1, {v.cover * 1000, atInitiation});
  add_marker(c, Mark::Inspection, "检测 钢筋处 C=" + number(atInspection) + " kg/m³", 0,
             {v.cover * 1000, atInspection});
  return c;
}

// The marine sheet's search stops within 0.5 kg/m3 of C_cr on a half-year grid: where it lies
// more than one search step from the age at which the chloride at the bar really reaches C_cr,
// the reader is told first, with the cracking and end of durability that follow from the real
// crossing.
std::optional<MustRead> crossing_apart(const CrossingRun& cr, double sheetTi, double sheetTd) {
  if (cr.crossing.evaluations == 0 || cr.crossing.kind != Crossing::Kind::Found) return {};
  const std::string sheetWay = std::string(variant_text(InitiationVariant::SheetSearch));
  const std::string crossingWay = std::string(variant_text(InitiationVariant::Crossing));
  const double age = cr.crossing.age;
  const double apart = std::fabs(age - sheetTi);
  if (!(apart > kSearchStep)) return {};
  MustRead m;
  m.text = sheetWay +
           "（半年步长搜索，浓度与临界浓度相差不到 0.5 kg/m³ 即停止）得到的开始锈蚀时间 t_i=" +
           number(sheetTi) + " a，与钢筋处浓度实际达到临界浓度的年龄 " + number(age) + " a（" +
           crossingWay + "）相差 " + number(apart) + " a，超过一个搜索步长 " + number(kSearchStep) +
           " a。";
  // Short enough for the sheet's status line at its design width, in the analyses' own term.
  m.brief = "注意：" + crossingWay + " t_i=" + number(age) + " a（表单 " + number(sheetTi) + " a）";
  if (cr.out.stop) {
    m.text += crossingWay + "时开裂时间迭代停止：" +
              std::string(model::describe_chinese(*cr.out.stop)) + "。";
    m.brief += "，其后开裂迭代停止";
  } else {
    m.text += crossingWay + "：保护层开裂 t_c=" + number(cr.out.prop.tc) + " a，" + end_of_life() +
              " t_d=" + number(cr.out.prop.td) + " a。";
    m.brief += "，t_d=" + number(cr.out.prop.td) + " a（表单 " + number(sheetTd) + " a）";
  }
  m.brief += "；见报告、曲线图";
  return m;
}

// The crossing marked on the bar's chart, and the notes about it.
template <class Bar>
void crossing_notes(Chart& c, const ChlorideView& v, const Bar& bar) {
  const CrossingRun& cr = *v.crossing;
  const std::string sheetWay = std::string(variant_text(InitiationVariant::SheetSearch));
  if (cr.crossing.evaluations == 0) return;  // not searched: the coefficients stopped
  if (cr.crossing.kind == Crossing::Kind::NotByLimit) {
    c.notes.push_back("钢筋处氯离子浓度在 " + number(kCrossingLimit) + " a 内达不到临界浓度；" +
                      sheetWay + "的开始锈蚀时间 t_i=" + number(v.ti) +
                      " a 是搜索在 0.5 kg/m³ 容差内停下的年龄。");
    return;
  }
  if (cr.crossing.kind != Crossing::Kind::Found) return;
  const double age = cr.crossing.age;
  add_marker(c, Mark::CriticalCrossing, "临界浓度交点 t_i=" + number(age) + " a", 0,
             {age, bar(age)});
  if (const auto m = crossing_apart(cr, v.ti, v.td)) c.notes.push_back(m->text);
}

Chart bar_chart(const ChlorideView& v, const Ingress& conc, const PropagationInput& in,
                const model::Propagation& p, double end, const std::vector<double>& grid) {
  Chart c;
  c.kind = ChartKind::BarConcentration;
  c.title = "钢筋处氯离子浓度";
  age_axis(c);
  c.yName = "钢筋处氯离子浓度";
  c.yUnit = "kg/m³";
  auto bar = [&](double tau) { return conc(v.cover, tau); };
  c.series.push_back(sample("钢筋处氯离子浓度", grid, bar));
  c.guides.push_back({Guide::Orientation::Horizontal, v.Ccr, "临界氯离子浓度 Ccr"});
  add_marker(c, Mark::CriticalAtCover, "达到临界浓度 t_i=" + number(v.ti) + " a", 0,
             {v.ti, bar(v.ti)});
  add_marker(c, Mark::Inspection, "检测 t=" + number(v.t) + " a", 0, {v.t, bar(v.t)});
  if (v.crossing != nullptr) crossing_notes(c, v, bar);
  c.bands = phases(in, p, end);
  return c;
}

Chart surface_chart(const model::MarineRun& run, const PropagationInput& in,
                    const model::Propagation& p, double end, const std::vector<double>& grid) {
  Chart c;
  c.kind = ChartKind::Surface;
  c.title = "表面氯离子浓度";
  age_axis(c);
  c.yName = "表面氯离子浓度";
  c.yUnit = "kg/m³";
  auto surface = [&](double tau) {
    return tau <= run.in.ts ? run.in.k * std::sqrt(tau) : run.in.Cs;
  };
  c.series.push_back(sample("表面氯离子浓度 k√t", grid, surface));
  add_marker(c, Mark::StableSurface, "达到稳定值 ts=" + number(run.in.ts) + " a", 0,
             {run.in.ts, surface(run.in.ts)});
  c.guides.push_back({Guide::Orientation::Horizontal, run.in.Cs, "稳定表面氯离子浓度 Cs"});
  c.bands = phases(in, p, end);
  return c;
}

}  // namespace

const Chart* Curves::find(ChartKind kind) const {
  for (const Chart& c : charts) {
    if (c.kind == kind) return &c;
  }
  return nullptr;
}

std::optional<PropagationInput> propagation_input(const model::ModelRun& run) {
  const auto tl = timeline(run);
  if (!tl) return std::nullopt;
  return tl->in;
}

double corrosion_depth(const PropagationInput& in, const model::Propagation& p, double tau) {
  if (tau < in.ti) return 0;  // no corrosion before initiation
  return model::corrosion_depth_at(in, p, tau);
}

std::optional<double> crack_width(const PropagationInput& in, double depth) {
  return model::crack_width_at(in, depth);
}

Ingress ingress(const model::ModelRun& run) {
  const auto chloride = chloride_ingress(run);
  if (!chloride) return {};
  return chloride->concentration;
}

std::optional<Curves> curves(const model::ModelRun& run) {
  const auto tl = timeline(run);
  if (!tl) return std::nullopt;
  const PropagationInput* pin = &tl->in;
  const model::Propagation& p = tl->prop;

  const double last = std::max({p.tc, p.td, pin->t, pin->ti});
  const double end = kAgeMargin * last;
  if (!std::isfinite(end) || !(end > 0)) return std::nullopt;
  const auto grid = age_grid(end, {pin->ti, p.tc, p.td, pin->t});
  // The marine sheet: where the chloride at the bar really reaches C_cr, on the bar's chart.
  std::optional<CrossingRun> crossing;
  auto barGrid = grid;
  if (const auto* r = std::get_if<model::MarineRun>(&run)) {
    crossing = run_marine_crossing(r->in);
    if (crossing->crossing.kind == Crossing::Kind::Found) {
      barGrid = age_grid(end, {pin->ti, p.tc, p.td, pin->t, crossing->crossing.age});
    }
  }

  Curves out;
  if (const auto* r = std::get_if<model::CarbonationRun>(&run)) {
    out.charts.push_back(carbonation_chart(*r, *pin, p, end, grid));
  }
  if (const auto chloride = chloride_ingress(run)) {
    const Ingress& conc = chloride->concentration;
    ChlorideView v;
    v.t = pin->t;
    v.ti = pin->ti;
    v.td = p.td;
    v.cover = chloride->barDepth;
    v.Ccr = chloride->Ccr;
    v.crossing = crossing ? &*crossing : nullptr;
    out.charts.push_back(profile_chart(v, conc));
    out.charts.push_back(bar_chart(v, conc, *pin, p, end, barGrid));
    if (const auto* r = std::get_if<model::MarineRun>(&run)) {
      out.charts.push_back(surface_chart(*r, *pin, p, end, age_grid(end, {r->in.ts})));
    }
  }
  out.charts.push_back(depth_chart(*pin, p, end, grid));
  if (crack_width(*pin, 0)) {
    out.charts.push_back(width_chart(*pin, p, end, grid));
  } else {
    out.notes.push_back("墙板配筋不计算锈胀裂缝宽度。");
  }
  if (crossing) {
    if (auto m = crossing_apart(*crossing, pin->ti, p.td)) out.mustRead.push_back(std::move(*m));
  }
  return out;
}

std::vector<MustRead> must_read(const model::ModelRun& run) {
  const auto* r = std::get_if<model::MarineRun>(&run);
  const auto tl = r != nullptr ? timeline(run) : std::nullopt;
  if (!tl) return {};
  const CrossingRun crossing = run_marine_crossing(r->in);
  if (auto m = crossing_apart(crossing, tl->in.ti, tl->prop.td)) return {std::move(*m)};
  return {};
}

namespace {

std::string csv_cell(const std::string& s) {
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string q = "\"";
  for (char ch : s) {
    if (ch == '"') q += '"';
    q += ch;
  }
  return q + "\"";
}

std::string csv_number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

}  // namespace

void write_csv(const Curves& curves, std::ostream& out) {
  struct Column {
    const Series* series;
    bool abscissa;
  };
  std::vector<Column> columns;
  std::string header;
  std::size_t rows = 0;
  for (const Chart& chart : curves.charts) {
    for (const Series& s : chart.series) {
      for (bool abscissa : {true, false}) {
        const std::string& name = abscissa ? chart.xName : chart.yName;
        const std::string& unit = abscissa ? chart.xUnit : chart.yUnit;
        if (!header.empty()) header += ',';
        header += csv_cell(chart.title + ": " + s.name + ": " + name + " (" + unit + ")");
        columns.push_back({&s, abscissa});
      }
      rows = std::max(rows, s.points.size());
    }
  }
  out << header << '\n';
  for (std::size_t i = 0; i < rows; ++i) {
    std::string line;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (c > 0) line += ',';
      const auto& pts = columns[c].series->points;
      if (i < pts.size()) line += csv_number(columns[c].abscissa ? pts[i].x : pts[i].y);
    }
    out << line << '\n';
  }
}

}  // namespace pellucor::analysis::curves
