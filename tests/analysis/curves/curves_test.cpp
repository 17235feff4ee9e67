// The curves of a completed calculation pass through what the model reports, follow the
// physics where it fixes a direction, and never carry a value that is not finite.
#include "analysis/curves/curves.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/assess/margin.hpp"
#include "analysis/crossing.hpp"
#include "model/erf.hpp"

namespace pellucor::analysis::curves {
namespace {

using namespace pellucor::model;

CarbonationInput carbonation(int kind, double c, double d, double t) {
  CarbonationInput in;
  in.m = 2.0;
  in.T = 15;
  in.RH = 0.7;
  in.fcu = 30;
  in.c = c;
  in.t = t;
  in.kco2 = 1.5;
  in.d = d;
  in.kind = model::steel_kind_of(static_cast<std::int16_t>(kind));
  in.condition = WorkingCondition::Outdoor;
  return in;
}

ChlorideConstantInput constant(int kind, double t) {
  ChlorideConstantInput in;
  in.Ke = 1.5;
  in.T = 20;
  in.RH = 0.8;
  in.fcu = 30;
  in.coverMm = 40;
  in.t = t;
  in.Dcm2 = 1.5;
  in.Cs = 5;
  in.Ccr = 1.4;
  in.tcStart = 20;
  in.dMm = 20;
  in.kind = model::steel_kind_of(static_cast<std::int16_t>(kind));
  return in;
}

ChlorideVariableInput variable(int kind) {
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
  in.kind = model::steel_kind_of(static_cast<std::int16_t>(kind));
  return in;
}

MarineInput marine(double k, double ts, double coverMm) {
  MarineInput in;
  in.Ke = 1.5;
  in.T = 20;
  in.RH = 0.8;
  in.fcu = 30;
  in.coverMm = coverMm;
  in.t = 20;
  in.Dcm2 = 1.5;
  in.Cs = 5;
  in.Ccr = 1.4;
  in.tcStart = 20;
  in.dMm = 20;
  in.k = k;
  in.ts = ts;
  in.tiStart = 10;
  in.T2Start = 5;
  in.kind = model::SteelKind::Deformed;
  return in;
}

AdmixedInput admixed(int kind, double t) {
  AdmixedInput in;
  in.Ke = 1;
  in.T = 20;
  in.RH = 0.8;
  in.fcu = 30;
  in.c = 30;
  in.t = t;
  in.tcStart = 20;
  in.C0 = 6;
  in.d = 20;
  in.kind = model::steel_kind_of(static_cast<std::int16_t>(kind));
  return in;
}

template <class In, class Out>
ModelRun run(const In& in, Out (*model)(const In&)) {
  return Run<In, Out>{in, model(in)};
}
template <class In, class Out, class Obs>
ModelRun run(const In& in, Out (*model)(const In&, Obs*)) {
  return Run<In, Out>{in, model(in, nullptr)};
}

struct Case {
  const char* name;
  ModelRun run;
};

// The worked examples of the five sheets and the branches the curves follow: kinds 1 to 3,
// inspection before initiation, before and after cracking, the durable life ending before the
// cover cracks, the marine initiation found before and after the stable time.
std::vector<Case> cases() {
  return {
      {"carbonation example, plain bar", run(carbonation(1, 30, 20, 60), run_carbonation)},
      {"carbonation, wall reinforcement", run(carbonation(3, 25, 10, 30), run_carbonation)},
      {"carbonation, inspection before initiation",
       run(carbonation(2, 40, 20, 2), run_carbonation)},
      {"carbonation, life ends before cracking", run(carbonation(3, 90, 8, 40), run_carbonation)},
      {"constant example, deformed bar", run(constant(2, 20), run_chloride_constant)},
      {"constant, inspection after cracking", run(constant(1, 80), run_chloride_constant)},
      {"constant, inspection before initiation", run(constant(2, 1), run_chloride_constant)},
      {"variable example, deformed bar", run(variable(2), run_chloride_variable)},
      {"variable, wall reinforcement", run(variable(3), run_chloride_variable)},
      {"marine example", run(marine(1.0, 25, 40), run_marine)},
      {"marine, initiation after the stable time", run(marine(0.8, 5, 60), run_marine)},
      {"admixed example, deformed bar", run(admixed(2, 30), run_admixed)},
      {"admixed, plain bar after cracking", run(admixed(1, 80), run_admixed)},
  };
}

const Propagation& propagation_of(const ModelRun& r) {
  return std::visit(
      [](const auto& x) -> const Propagation& {
        if constexpr (std::is_same_v<std::decay_t<decltype(x)>, std::monostate>) {
          static const Propagation none;
          return none;
        } else {
          return x.out.prop;
        }
      },
      r);
}

const Marker* find_marker(const Chart& c, Mark m) {
  for (const auto& mk : c.markers) {
    if (mk.mark == m) return &mk;
  }
  return nullptr;
}

// The marker is one of the points of its series, bit for bit.
bool on_series(const Chart& c, const Marker& m) {
  const auto& pts = c.series.at(static_cast<std::size_t>(m.series)).points;
  return std::any_of(pts.begin(), pts.end(),
                     [&](const Point& p) { return p.x == m.at.x && p.y == m.at.y; });
}

bool nondecreasing(const Series& s, double slack = 0) {
  for (std::size_t i = 1; i < s.points.size(); ++i) {
    if (s.points[i].x < s.points[i - 1].x) return false;
    if (s.points[i].y < s.points[i - 1].y - slack) {
      ADD_FAILURE() << s.name << " falls at " << s.points[i].x << ": " << s.points[i - 1].y
                    << " to " << s.points[i].y;
      return false;
    }
  }
  return true;
}

// The curves name the end of the durable life as the assessment does, in one word everywhere.
TEST(Curves, NameTheEndOfTheDurableLifeAsTheAssessmentDoes) {
  EXPECT_EQ(kEndOfLifeName, assess::limit_state_name(assess::LimitState::EndOfLife));
}

TEST(Curves, CasesRunToTheirEndAndReachEveryBranch) {
  bool beforeInitiation = false, afterCracking = false, endsBeforeCracking = false;
  bool secondSearch = false, negativeWidth = false;
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    std::visit(
        [&](const auto& r) {
          if constexpr (!std::is_same_v<std::decay_t<decltype(r)>, std::monostate>) {
            EXPECT_FALSE(r.out.stop.has_value());
            if constexpr (std::is_same_v<std::decay_t<decltype(r)>, MarineRun>) {
              secondSearch = secondSearch || r.out.T2.has_value();
            }
          }
        },
        c.run);
    const auto in = *propagation_input(c.run);
    const Propagation& p = propagation_of(c.run);
    beforeInitiation = beforeInitiation || in.t < in.ti;
    afterCracking = afterCracking || in.t >= p.tc;
    endsBeforeCracking = endsBeforeCracking || p.td < p.tc;
    negativeWidth = negativeWidth || (p.w && *p.w < 0);
  }
  EXPECT_TRUE(beforeInitiation && afterCracking && endsBeforeCracking && secondSearch &&
              negativeWidth);
}

TEST(Curves, PropagationInputIsTheOneTheModelUsed) {
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    const auto in = propagation_input(c.run);
    ASSERT_TRUE(in.has_value());
    Propagation again;
    ASSERT_FALSE(propagate(*in, again).has_value());
    const Propagation& p = propagation_of(c.run);
    for (auto [a, b] : {std::pair{again.dcr, p.dcr},
                        {again.tc, p.tc},
                        {again.lambda1, p.lambda1},
                        {again.dd, p.dd},
                        {again.td, p.td},
                        {again.dt, p.dt}}) {
      EXPECT_EQ(a, b);
    }
    EXPECT_EQ(again.w, p.w);
  }
}

TEST(Curves, DepthCurvePassesThroughTheReportedTimeCourse) {
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    const auto curves = analysis::curves::curves(c.run);
    ASSERT_TRUE(curves.has_value());
    const auto in = *propagation_input(c.run);
    const Propagation& p = propagation_of(c.run);
    const Chart* depth = curves->find(ChartKind::Depth);
    ASSERT_NE(depth, nullptr);
    ASSERT_EQ(depth->series.size(), 1u);
    EXPECT_TRUE(nondecreasing(depth->series[0]));
    EXPECT_EQ(depth->series[0].points.front().y, 0.0);
    EXPECT_GE(depth->series[0].points.back().x, std::max(p.td, in.t));
    for (const auto& m : depth->markers) EXPECT_TRUE(on_series(*depth, m)) << m.label;

    const Marker* ti = find_marker(*depth, Mark::Initiation);
    const Marker* tc = find_marker(*depth, Mark::Cracking);
    const Marker* td = find_marker(*depth, Mark::EndOfDurability);
    const Marker* t = find_marker(*depth, Mark::Inspection);
    ASSERT_TRUE(ti && tc && td && t);
    EXPECT_EQ(ti->at.x, in.ti);
    EXPECT_EQ(ti->at.y, 0.0);
    EXPECT_EQ(tc->at.x, p.tc);
    EXPECT_EQ(tc->at.y, p.dcr);
    EXPECT_EQ(t->at.x, in.t);
    // The inspection depth is the model's own, bit for bit, except before initiation, where
    // the curve stays at zero and says so.
    const bool early = in.t < in.ti;
    EXPECT_EQ(t->at.y, early ? 0.0 : p.dt);
    EXPECT_EQ(early,
              !depth->notes.empty() && depth->notes.back().find("负值") != std::string::npos);
    // The end of durability: at δd, or at the depth limit when the life ends before cracking.
    EXPECT_EQ(td->at.x, p.td);
    const double limit = 0.026 * in.d;
    const double expected = p.td >= p.tc ? p.dd : (limit <= 0.3 ? limit : 0.3);
    EXPECT_NEAR(td->at.y, expected, 1e-12 * expected);
  }
}

TEST(Curves, WidthCurveStartsAtCrackingAndMatchesTheInspectionWidth) {
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    const auto curves = analysis::curves::curves(c.run);
    ASSERT_TRUE(curves.has_value());
    const auto in = *propagation_input(c.run);
    const Propagation& p = propagation_of(c.run);
    const Chart* width = curves->find(ChartKind::Width);
    if (in.kind == model::SteelKind::WallOrSlab) {
      EXPECT_EQ(width, nullptr);
      EXPECT_FALSE(curves->notes.empty());
      continue;
    }
    ASSERT_NE(width, nullptr);
    const Series& s = width->series.at(0);
    ASSERT_FALSE(s.points.empty());
    EXPECT_EQ(s.points.front().x, p.tc);
    EXPECT_TRUE(nondecreasing(s));
    for (const auto& pt : s.points) EXPECT_GE(pt.y, 0.0);
    const Marker* t = find_marker(*width, Mark::Inspection);
    if (in.t >= p.tc) {
      ASSERT_NE(t, nullptr);
      EXPECT_TRUE(on_series(*width, *t));
      EXPECT_EQ(t->at.y, std::max(0.0, *p.w));
    } else {
      EXPECT_EQ(t, nullptr);
      EXPECT_FALSE(width->notes.empty());
    }
  }
}

TEST(Curves, AgeChartsShadeThePhasesInOrder) {
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    const auto curves = analysis::curves::curves(c.run);
    const Chart* depth = curves->find(ChartKind::Depth);
    const auto& bands = depth->bands;
    ASSERT_FALSE(bands.empty());
    EXPECT_EQ(bands.back().phase, Phase::PastEndOfDurability);
    EXPECT_EQ(bands.back().from, propagation_of(c.run).td);
    for (const auto& b : bands) EXPECT_LT(b.from, b.to);
  }
}

// Every mark and every phase of the charts against age stands at its own age: the
// inspection mark at t, the cracking mark and the start of the after-cracking phase at t_c, the
// end of durability at t_d, initiation at t_i (each clipped to the axis).
TEST(Curves, MarksAndPhasesStandAtTheirOwnAges) {
  bool distinct = false;
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    const auto curves = analysis::curves::curves(c.run);
    ASSERT_TRUE(curves.has_value());
    const auto in = *propagation_input(c.run);
    const Propagation& p = propagation_of(c.run);
    distinct = distinct || (in.ti != in.t && in.ti != p.tc && in.t != p.tc);
    for (const Chart& chart : curves->charts) {
      if (chart.bands.empty()) continue;  // the profile is drawn against depth
      SCOPED_TRACE(chart.title);
      const double end = chart.bands.back().to;
      auto clip = [end](double a) { return std::clamp(a, 0.0, end); };
      const std::pair<Phase, std::pair<double, double>> expected[] = {
          {Phase::Initiation, {0.0, in.ti}},
          {Phase::BeforeCracking, {in.ti, std::min(p.tc, p.td)}},
          {Phase::AfterCracking, {p.tc, p.td}},
          {Phase::PastEndOfDurability, {p.td, end}},
      };
      for (const auto& [phase, span] : expected) {
        const auto band = std::find_if(chart.bands.begin(), chart.bands.end(),
                                       [phase](const Band& b) { return b.phase == phase; });
        if (clip(span.second) > clip(span.first)) {
          ASSERT_NE(band, chart.bands.end()) << static_cast<int>(phase);
          EXPECT_EQ(band->from, clip(span.first)) << static_cast<int>(phase);
          EXPECT_EQ(band->to, clip(span.second)) << static_cast<int>(phase);
        } else {
          EXPECT_EQ(band, chart.bands.end()) << static_cast<int>(phase);
        }
      }
      for (const Marker& m : chart.markers) {
        switch (m.mark) {
          case Mark::Inspection:
            EXPECT_EQ(m.at.x, in.t);
            break;
          case Mark::Cracking:
            EXPECT_EQ(m.at.x, p.tc);
            break;
          case Mark::EndOfDurability:
            EXPECT_EQ(m.at.x, p.td);
            break;
          case Mark::Initiation:
          case Mark::CriticalAtCover:
            EXPECT_EQ(m.at.x, in.ti);
            break;
          case Mark::StableSurface:
          case Mark::CriticalCrossing:
            break;
        }
      }
      if (chart.kind == ChartKind::BarConcentration) {
        // The chloride at the bar at the inspection age, on the curve.
        const auto chloride = analysis::chloride_ingress(c.run);
        const Marker* t = find_marker(chart, Mark::Inspection);
        ASSERT_NE(t, nullptr);
        EXPECT_TRUE(on_series(chart, *t));
        EXPECT_EQ(t->at.y, chloride->concentration(chloride->barDepth, in.t));
      }
    }
  }
  EXPECT_TRUE(distinct);
}

TEST(Curves, CarbonationFrontReachesTheOnsetDepthAtInitiation) {
  for (const auto& c : cases()) {
    const auto* r = std::get_if<CarbonationRun>(&c.run);
    if (!r) continue;
    SCOPED_TRACE(c.name);
    const auto curves = analysis::curves::curves(c.run);
    const Chart* chart = curves->find(ChartKind::Carbonation);
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(nondecreasing(chart->series.at(0)));
    const Marker* ti = find_marker(*chart, Mark::CriticalAtCover);
    ASSERT_NE(ti, nullptr);
    EXPECT_TRUE(on_series(*chart, *ti));
    EXPECT_EQ(ti->at.x, r->out.ti);
    // t_i = ((c - x0)/k)^2 and back through k sqrt(t_i): a few roundings apart.
    const double onset = r->in.c - r->out.x0;
    EXPECT_NEAR(ti->at.y, onset, 1e-12 * r->in.c);
  }
}

TEST(Curves, ChlorideProfilesCrossTheCriticalConcentrationAtTheCoverAtInitiation) {
  for (const auto& c : cases()) {
    const bool marine = std::holds_alternative<MarineRun>(c.run);
    if (!std::holds_alternative<ChlorideConstantRun>(c.run) &&
        !std::holds_alternative<ChlorideVariableRun>(c.run) && !marine) {
      EXPECT_EQ(ingress(c.run), nullptr);
      continue;
    }
    SCOPED_TRACE(c.name);
    const auto curves = analysis::curves::curves(c.run);
    const Chart* profile = curves->find(ChartKind::Profile);
    const Chart* bar = curves->find(ChartKind::BarConcentration);
    ASSERT_TRUE(profile && bar);
    EXPECT_EQ(marine, curves->find(ChartKind::Surface) != nullptr);
    double Cs = 0;
    double Ccr = 0;
    double coverMm = 0;
    std::visit(
        [&](const auto& r) {
          if constexpr (requires { r.in.Ccr; }) {
            Cs = r.in.Cs;
            Ccr = r.in.Ccr;
            coverMm = r.out.c * 1000;
          }
        },
        c.run);
    // The inverse error function sums with 2/sqrt(3.14) on a 2e-6 grid, the error function
    // with 2/sqrt(3.14159): the profile reaches C_cr at the cover within C_s * 3e-4. The
    // marine searches stop within 0.5 kg/m3 of C_cr.
    const double tolerance = marine ? 0.5 : 3e-4 * Cs;
    const Marker* cross = find_marker(*profile, Mark::CriticalAtCover);
    ASSERT_NE(cross, nullptr);
    EXPECT_TRUE(on_series(*profile, *cross));
    EXPECT_EQ(cross->at.x, coverMm);
    EXPECT_NEAR(cross->at.y, Ccr, tolerance);
    const Marker* crossAge = find_marker(*bar, Mark::CriticalAtCover);
    ASSERT_NE(crossAge, nullptr);
    EXPECT_TRUE(on_series(*bar, *crossAge));
    EXPECT_EQ(crossAge->at.x, propagation_input(c.run)->ti);
    EXPECT_EQ(crossAge->at.y, cross->at.y);
    // Chloride falls with depth and, at the bar, rises with age.
    for (const Series& s : profile->series) {
      EXPECT_DOUBLE_EQ(s.points.back().x, 2 * coverMm);
      for (std::size_t i = 1; i < s.points.size(); ++i) {
        EXPECT_LE(s.points[i].y, s.points[i - 1].y);
      }
    }
    // Where almost no chloride has arrived the model's numerics show through: the rectangle
    // sum of the error function ends a little above 1 (a concentration of about -3e-6 C_s),
    // and the marine searches cut the error function off above 2.36 (a step of about
    // 5e-4 C_s). Beyond those the bar concentration never falls.
    EXPECT_TRUE(nondecreasing(bar->series.at(0), 1e-3 * Cs));
  }
}

TEST(Curves, BarConcentrationIsTheModelsOwnExpression) {
  // The constant-coefficient model computes its bar concentration at the assumed cracking
  // time with the same expression and the fine error function.
  const auto r = run(constant(2, 20), run_chloride_constant);
  const auto& c = std::get<ChlorideConstantRun>(r);
  const Ingress conc = ingress(r);
  EXPECT_EQ(conc(c.out.c, c.out.iteration.tcStar), c.out.Cb);
  // The fine routine, not the coarse one: they differ at the last bits.
  const double u = c.out.c / (2 * std::sqrt(c.out.D * c.in.t));
  EXPECT_EQ(conc(c.out.c, c.in.t), c.in.Cs * (1 - fun_erf_fine(u)));
  EXPECT_NE(fun_erf_fine(u), fun_erf_coarse(u));
}

TEST(Curves, MarineSurfaceBuildsUpToItsStableValue) {
  const auto r = run(marine(1.0, 25, 40), run_marine);
  const auto curves = analysis::curves::curves(r);
  const Chart* surface = curves->find(ChartKind::Surface);
  ASSERT_NE(surface, nullptr);
  const Series& s = surface->series.at(0);
  EXPECT_TRUE(nondecreasing(s));
  EXPECT_EQ(s.points.front().y, 0.0);
  EXPECT_EQ(s.points.back().y, 5.0);
  const Marker* stable = find_marker(*surface, Mark::StableSurface);
  ASSERT_NE(stable, nullptr);
  EXPECT_EQ(stable->at.x, 25.0);
  EXPECT_EQ(stable->at.y, 1.0 * std::sqrt(25.0));
  EXPECT_TRUE(on_series(*surface, *stable));
}

// The marine sheet's search stops within 0.5 kg/m3 of C_cr: the bar's chart marks where the
// chloride really reaches it, and says so when the sheet's t_i lies more than one search step
// away, with the cracking and end of durability from there.
TEST(Curves, MarineBarChartMarksTheRealCrossingAndSaysWhenTheSearchIsFarFromIt) {
  struct Case {
    double tiStart;
    bool farApart;
  };
  for (const Case c : {Case{10, true}, Case{12, false}}) {
    SCOPED_TRACE(c.tiStart);
    MarineInput in = marine(1.0, 25, 40);
    in.tiStart = c.tiStart;
    const auto r = run(in, run_marine);
    const auto& sheetRun = std::get<MarineRun>(r);
    const CrossingRun crossing = run_marine_crossing(in);
    ASSERT_EQ(crossing.crossing.kind, Crossing::Kind::Found);
    EXPECT_EQ(std::fabs(crossing.out.ti - sheetRun.out.ti) > kSearchStep, c.farApart);

    const auto curves = analysis::curves::curves(r);
    const Chart* bar = curves->find(ChartKind::BarConcentration);
    ASSERT_NE(bar, nullptr);
    const Marker* real = find_marker(*bar, Mark::CriticalCrossing);
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(real->at.x, crossing.out.ti);
    EXPECT_TRUE(on_series(*bar, *real));
    EXPECT_GE(real->at.y, in.Ccr);
    EXPECT_LT(real->at.y, in.Ccr + 1e-4);
    // The sheet's own marker stays where the sheet put t_i.
    EXPECT_EQ(find_marker(*bar, Mark::CriticalAtCover)->at.x, sheetRun.out.ti);
    std::string notes;
    for (const auto& n : bar->notes) notes += n;
    EXPECT_EQ(notes.find("超过一个搜索步长 0.5 a") != std::string::npos, c.farApart) << notes;
    if (c.farApart) {
      char td[32];
      std::snprintf(td, sizeof td, "%.4g", crossing.out.prop.td);
      EXPECT_NE(notes.find(std::string("按临界浓度交点：保护层开裂 t_c=")), std::string::npos);
      EXPECT_NE(notes.find(std::string("耐久性终结 t_d=") + td + " a"), std::string::npos) << notes;
    }
    // What the reader must know first: the same note, for the report's first page and (briefly)
    // beside the sheet's result; the same with or without the curves.
    const auto first = analysis::curves::must_read(r);
    ASSERT_EQ(first.size(), c.farApart ? 1U : 0U);
    ASSERT_EQ(curves->mustRead.size(), first.size());
    if (c.farApart) {
      EXPECT_NE(notes.find(first[0].text), std::string::npos);
      EXPECT_EQ(curves->mustRead[0].text, first[0].text);
      char ti[32];
      std::snprintf(ti, sizeof ti, "%.4g", crossing.out.ti);
      EXPECT_NE(first[0].brief.find(std::string("按临界浓度交点 t_i=") + ti + " a"),
                std::string::npos)
          << first[0].brief;
    }
  }
  // The other sheets have no such note.
  for (const auto& c : cases()) {
    if (!std::holds_alternative<MarineRun>(c.run)) {
      EXPECT_TRUE(analysis::curves::must_read(c.run).empty()) << c.name;
    }
  }
}

TEST(Curves, EveryPointIsFinite) {
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    const auto curves = analysis::curves::curves(c.run);
    ASSERT_TRUE(curves.has_value());
    for (const Chart& chart : curves->charts) {
      for (const Series& s : chart.series) {
        EXPECT_FALSE(s.points.empty()) << chart.title << " " << s.name;
        for (const auto& p : s.points) EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
      }
      for (const auto& m : chart.markers) {
        EXPECT_TRUE(std::isfinite(m.at.x) && std::isfinite(m.at.y));
      }
    }
  }
}

TEST(Curves, NoneForAnEmptyOrStoppedRun) {
  EXPECT_FALSE(curves(ModelRun{}).has_value());
  auto in = constant(2, 20);
  in.tcStart = 0;  // the zero stop
  const auto stopped = run(in, run_chloride_constant);
  ASSERT_TRUE(std::get<ChlorideConstantRun>(stopped).out.stop.has_value());
  EXPECT_FALSE(curves(stopped).has_value());
  EXPECT_FALSE(propagation_input(stopped).has_value());
}

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> cells;
  std::string cell;
  std::istringstream in(line);
  while (std::getline(in, cell, ',')) cells.push_back(cell);
  if (!line.empty() && line.back() == ',') cells.emplace_back();
  return cells;
}

TEST(Curves, CsvCarriesEverySeriesWithItsUnitsAndExactValues) {
  const auto curves = analysis::curves::curves(run(marine(1.0, 25, 40), run_marine));
  std::ostringstream out;
  write_csv(*curves, out);
  std::istringstream in(out.str());
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  const auto header = split(line);
  std::size_t series = 0;
  std::size_t rows = 0;
  for (const Chart& c : curves->charts) {
    series += c.series.size();
    for (const Series& s : c.series) rows = std::max(rows, s.points.size());
  }
  ASSERT_EQ(header.size(), 2 * series);
  EXPECT_NE(header[0].find("(mm)"), std::string::npos);  // the first chart is the profile
  EXPECT_NE(header[1].find("氯离子浓度 (kg/m³)"), std::string::npos);
  std::vector<std::vector<std::string>> body;
  while (std::getline(in, line)) body.push_back(split(line));
  ASSERT_EQ(body.size(), rows);
  // Every value reads back to the same double, column by column; shorter series end in
  // empty cells.
  std::size_t column = 0;
  for (const Chart& c : curves->charts) {
    for (const Series& s : c.series) {
      for (std::size_t i = 0; i < rows; ++i) {
        ASSERT_EQ(body[i].size(), header.size());
        if (i < s.points.size()) {
          EXPECT_EQ(std::stod(body[i][column]), s.points[i].x);
          EXPECT_EQ(std::stod(body[i][column + 1]), s.points[i].y);
        } else {
          EXPECT_TRUE(body[i][column].empty() && body[i][column + 1].empty());
        }
      }
      column += 2;
    }
  }
}

}  // namespace
}  // namespace pellucor::analysis::curves
