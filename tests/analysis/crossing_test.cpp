// The crossing of a concentration with the critical one against hand-worked profiles.
#include <gtest/gtest.h>

#include <boost/math/special_functions/erf.hpp>
#include <cmath>
#include <cstdint>
#include <optional>
#include <set>

#include "analysis/crossing.hpp"
#include "model/marine.hpp"

namespace pellucor::analysis {
namespace {

TEST(Crossing, ConstantSurfaceProfileCrossesWhereTheInverseErrorFunctionSays) {
  // C(t) = C_s (1 - erf(c / (2 sqrt(D t)))) reaches C_cr at t* = c^2 / (4 D z^2) with
  // z = erfinv(1 - C_cr / C_s). Cover 40 mm, D = 1.5 cm2/a, C_s = 5, C_cr = 1.4.
  const double c = 0.040, D = 1.5e-4, Cs = 5, Ccr = 1.4;
  const double z = boost::math::erf_inv(1 - Ccr / Cs);
  const double expected = c * c / (4 * D * z * z);
  const Crossing x = first_crossing(
      [&](double t) { return Cs * (1 - std::erf(c / (2 * std::sqrt(D * t)))); }, Ccr);
  ASSERT_EQ(x.kind, Crossing::Kind::Found);
  EXPECT_NEAR(x.age, expected, 1e-6);
  EXPECT_GE(x.age, expected);  // the upper end of the last bracket
  EXPECT_LT(x.evaluations, 100);
  // Independent of where the sheet's search would have started: no start value at all.
}

TEST(Crossing, TheFirstCrossingOfAProfileThatRisesFallsAndRises) {
  // A bump above the level between 2.2 and 2.8 a, then the level again from 9 a on.
  auto bumpy = [](double t) {
    if (t < 2.5) return t - 1.2;              // reaches 1 at 2.2
    if (t < 3) return 1.0 - (t - 2.5) * 2.5;  // falls below 1 after 2.5
    return t / 9;                             // 1 again at 9
  };
  const Crossing x = first_crossing(bumpy, 1.0);
  ASSERT_EQ(x.kind, Crossing::Kind::Found);
  EXPECT_NEAR(x.age, 2.2, 1e-6);
  // With a coarse scan the bump falls between two scan ages; the later crossing is found.
  const Crossing coarse = first_crossing(bumpy, 1.0, {.step = 2.0});
  EXPECT_NEAR(coarse.age, 9, 1e-6);
}

TEST(Crossing, NoCrossingWithinTheLimitOrNoNumberIsSaidSo) {
  const Crossing never =
      first_crossing([](double t) { return 1 - 1 / (1 + t); }, 1.0, {.step = 0.5, .limit = 100});
  EXPECT_EQ(never.kind, Crossing::Kind::NotByLimit);
  EXPECT_EQ(never.evaluations, 200);

  const Crossing nan = first_crossing([](double t) { return t < 3 ? 0.0 : std::nan(""); }, 1.0);
  EXPECT_EQ(nan.kind, Crossing::Kind::NotFinite);
  EXPECT_EQ(nan.age, 3);

  // Already above at the first scan age: the crossing lies between 0 and the step.
  const Crossing early = first_crossing([](double t) { return 10 * t; }, 1.0);
  ASSERT_EQ(early.kind, Crossing::Kind::Found);
  EXPECT_NEAR(early.age, 0.1, 1e-6);
}

// The galloping search stops at the scan's first bracket and bisects it as the scan does: for a
// concentration that rises, the same age bit for bit, with far fewer evaluations; the limit
// and a value that is no number are reported as by the scan.
TEST(RisingCrossing, FindsTheScansAgeWithFewerEvaluations) {
  struct Case {
    const char* what;
    double level;
    CrossingSearch search;
  };
  const double c = 0.040, D = 1.5e-4, Cs = 5;
  auto profile = [&](double t) { return Cs * (1 - std::erf(c / (2 * std::sqrt(D * t)))); };
  const Case cases[] = {
      {"within the first step", 0.01, {}},
      {"a few years", 1.4, {}},
      {"decades", 3.5, {}},
      {"at the limit itself", profile(37.25), {.step = 0.5, .limit = 37.25}},
      {"a step that does not divide the limit", 2.0, {.step = 0.7, .limit = 100}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    const Crossing scan = first_crossing(profile, k.level, k.search);
    const Crossing fast = rising_crossing(profile, k.level, k.search);
    ASSERT_EQ(scan.kind, Crossing::Kind::Found);
    EXPECT_EQ(fast.kind, scan.kind);
    EXPECT_EQ(fast.age, scan.age);
    EXPECT_LE(fast.evaluations, scan.evaluations);
  }

  const Crossing never =
      rising_crossing([](double t) { return 1 - 1 / (1 + t); }, 1.0, {.step = 0.5, .limit = 1000});
  EXPECT_EQ(never.kind, Crossing::Kind::NotByLimit);
  EXPECT_EQ(never.age, 1000);
  EXPECT_EQ(never.evaluations, 12);  // ages 0.5, 1, 2, ..., 512 and 1000 (the scan: 2000)

  const Crossing nan = rising_crossing([](double t) { return t < 3 ? 0.0 : std::nan(""); }, 1.0);
  EXPECT_EQ(nan.kind, Crossing::Kind::NotFinite);
  EXPECT_EQ(nan.age, 4);  // ages 0.5, 1, 2, 4
}

model::MarineInput marine_example() {
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
  in.kind = model::steel_kind_of(2);
  return in;
}

// The marine sheet's concentration at the bar reaches C_cr at the crossing and not a
// microyear earlier, with the formula of the phase it lies in (the surface growing, or stable
// after t_s); whatever the sheet's start values, which only move the sheet's own search.
TEST(MarineCrossing, IsWhereTheSheetsConcentrationReachesTheCriticalOneWhateverTheStartValues) {
  struct Case {
    const char* what;
    double k, ts;
    bool afterStableTime;
  };
  const Case cases[] = {{"surface still growing", 1.0, 25, false},
                        {"after the stable time", 2.0, 5, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    model::MarineInput in = marine_example();
    in.k = c.k;
    in.ts = c.ts;
    const double D = model::marine_coefficients(in).D;
    const double cover = in.coverMm / 1000;
    auto bar = [&](double tau) {
      if (tau <= in.ts) return model::marine_growing_concentration(in.k, cover, D, tau);
      const double C1 = in.Cs * model::marine_profile_term(cover, D, in.ts);
      return model::marine_stable_concentration(C1, in.Cs, cover, D, tau - in.ts);
    };
    std::optional<CrossingRun> first;
    std::set<double> sheetTimes;
    for (double tiStart : {5.0, 10.0, 20.0}) {
      for (double T2Start : {1.0, 5.0}) {
        in.tiStart = tiStart;
        in.T2Start = T2Start;
        const CrossingRun run = run_marine_crossing(in);
        ASSERT_EQ(run.crossing.kind, Crossing::Kind::Found);
        ASSERT_FALSE(run.out.stop);
        EXPECT_EQ(run.afterStableTime, c.afterStableTime);
        if (!first) first = run;
        EXPECT_EQ(run.out.ti, first->out.ti);
        EXPECT_EQ(run.out.prop.td, first->out.prop.td);
        const auto sheet = model::run_marine(in);
        if (!sheet.stop) sheetTimes.insert(sheet.ti);
      }
    }
    const double age = first->out.ti;
    EXPECT_GE(bar(age), in.Ccr);
    EXPECT_LT(bar(age - 1e-6), in.Ccr);
    EXPECT_EQ(age > in.ts, c.afterStableTime);
    // The sheet's search lands elsewhere for different start values.
    EXPECT_GT(sheetTimes.size(), 1u);
    // The rest of the run is the model's own iteration from that age.
    model::MarineResult r = model::marine_coefficients(in);
    model::run_marine_from(in, age, r);
    EXPECT_EQ(r.prop.tc, first->out.prop.tc);
    EXPECT_EQ(r.prop.td, first->out.prop.td);
  }
}

// The marine sheet's two formulas rise with age (to a staircase's steps of some 10^-5 a, far
// inside the half-year scan): its crossing by the galloping search is the scan's, bit for bit,
// over inputs spread as a reliability analysis spreads them.
TEST(MarineCrossing, GallopingFindsTheScansCrossingForScatteredInputs) {
  std::uint64_t state = 12345;
  auto uniform = [&state](double lo, double hi) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return lo + (hi - lo) * static_cast<double>(state >> 11) * 0x1p-53;
  };
  long scanEvaluations = 0, fastEvaluations = 0;
  int found = 0;
  for (int i = 0; i < 400; ++i) {
    model::MarineInput in = marine_example();
    in.coverMm = uniform(15, 80);
    in.Dcm2 = uniform(0.3, 6);
    in.Cs = uniform(1.5, 12);
    in.Ccr = uniform(1.2, 1.6);
    in.k = uniform(0.1, 3);
    in.ts = uniform(1, 60);
    const model::MarineResult r = model::marine_coefficients(in);
    ASSERT_FALSE(r.stop);
    const double cover = in.coverMm / 1000;
    const double C1 = in.Cs * model::marine_profile_term(cover, r.D, in.ts);
    auto growing = [&](double t) {
      return model::marine_growing_concentration(in.k, cover, r.D, t);
    };
    auto stable = [&](double t2) {
      return model::marine_stable_concentration(C1, in.Cs, cover, r.D, t2);
    };
    const CrossingSearch searches[] = {{.limit = in.ts}, {.limit = kCrossingLimit - in.ts}};
    for (int phase = 0; phase < 2; ++phase) {
      SCOPED_TRACE(testing::Message() << "input " << i << ", phase " << phase);
      const Crossing scan = phase == 0 ? first_crossing(growing, in.Ccr, searches[0])
                                       : first_crossing(stable, in.Ccr, searches[1]);
      const Crossing fast = phase == 0 ? rising_crossing(growing, in.Ccr, searches[0])
                                       : rising_crossing(stable, in.Ccr, searches[1]);
      ASSERT_EQ(fast.kind, scan.kind);
      ASSERT_EQ(fast.age, scan.age);
      // The bound the header states.
      const double steps = std::ceil(searches[phase].limit / searches[phase].step);
      EXPECT_LE(fast.evaluations,
                2 * std::log2(steps) + std::log2(searches[phase].step / 1e-6) + 3);
      if (scan.kind == Crossing::Kind::Found) ++found;
      scanEvaluations += scan.evaluations;
      fastEvaluations += fast.evaluations;
    }
  }
  EXPECT_GT(found, 400);  // both phases and both outcomes are represented
  EXPECT_LT(found, 800);
  EXPECT_LT(fastEvaluations, scanEvaluations * 3 / 5);
}

TEST(MarineCrossing, NoCrossingWithinTheLimitLeavesTheIterationUnrun) {
  model::MarineInput in = marine_example();
  in.Cs = 1.5;
  in.Ccr = 1.49;
  in.k = 0.5;
  const CrossingRun run = run_marine_crossing(in);
  EXPECT_EQ(run.crossing.kind, Crossing::Kind::NotByLimit);
  EXPECT_EQ(run.out.ti, kCrossingLimit);
  EXPECT_EQ(run.out.iteration.passes, 0);
  EXPECT_FALSE(run.out.stop);
}

}  // namespace
}  // namespace pellucor::analysis
