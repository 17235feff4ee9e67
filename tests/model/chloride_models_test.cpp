// The chloride models on the worked examples (pass counts, branches, start-value
// independence) and on the inputs they cannot use (each ends in the stop).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/admixed.hpp"
#include "model/chloride_constant.hpp"
#include "model/chloride_ingress.hpp"
#include "model/chloride_variable.hpp"
#include "model/erf.hpp"
#include "model/marine.hpp"

namespace pellucor::model {
namespace {

ChlorideConstantInput constant_example() {
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
  in.kind = SteelKind::Deformed;
  return in;
}

ChlorideVariableInput variable_example() {
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
  in.kind = SteelKind::Deformed;
  return in;
}

MarineInput marine_example() {
  MarineInput in;
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
  in.kind = SteelKind::Deformed;
  return in;
}

AdmixedInput admixed_example() {
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
  in.kind = SteelKind::Deformed;
  return in;
}

// Records every pass, to check the frame: each pass after the first starts from the cracking
// time the previous pass found, and the last one is within the tolerance.
template <class R>
struct Recorder : IterationObserver<R> {
  std::vector<double> assumed;
  std::vector<double> found;
  std::vector<double> cm;
  std::vector<double> resistance;
  void passStarted(int pass, double tcStar) override {
    EXPECT_EQ(pass, static_cast<int>(assumed.size()) + 1);
    assumed.push_back(tcStar);
  }
  void passFinished(int, const R& r) override {
    found.push_back(r.prop.tc);
    if constexpr (requires { r.Cm; }) cm.push_back(r.Cm);
    resistance.push_back(r.rate.R);
  }
  void expect_chain(double start) const {
    ASSERT_FALSE(assumed.empty());
    ASSERT_EQ(assumed.size(), found.size());
    EXPECT_EQ(assumed.front(), start);
    for (std::size_t i = 1; i < assumed.size(); ++i) EXPECT_EQ(assumed[i], found[i - 1]);
    EXPECT_LT(std::fabs(found.back() - assumed.back()), 0.01);
    for (std::size_t i = 0; i + 1 < found.size(); ++i) {
      EXPECT_GE(std::fabs(found[i] - assumed[i]), 0.01);
    }
  }
};

TEST(ChlorideConstant, WorkedExample) {
  Recorder<ChlorideConstantResult> rec;
  const auto r = run_chloride_constant(constant_example(), &rec);
  ASSERT_FALSE(r.stop);
  EXPECT_EQ(r.iteration.passes, 5);
  rec.expect_chain(20);
  // Values of the plain step-by-step loops and formulas for this example.
  EXPECT_DOUBLE_EQ(r.D, 0.00015);
  EXPECT_DOUBLE_EQ(r.zcr, 0.76361199999340557);  // the inverse at 0.72
  EXPECT_DOUBLE_EQ(r.K, 0.018704597614499951);   // 2 z_cr sqrt(D)
  EXPECT_DOUBLE_EQ(r.ti, 4.5732320984122987);    // (0.04 / K)^2
  // The cracking time lies between initiation and inspection: post-cracking branch.
  EXPECT_LT(r.ti, r.prop.tc);
  EXPECT_LT(r.prop.tc, 20);
  EXPECT_DOUBLE_EQ(r.prop.tc, 15.846285532712169);
  EXPECT_DOUBLE_EQ(r.prop.dt, 0.17478586612327071);  // delta_cr + lambda1 (20 - t_c)
  // C_m stays above 3.6 in every pass, so q is held at -1.8 and R = -5.68 throughout.
  for (double cm : rec.cm) EXPECT_GT(cm, 3.6);
  for (double R : rec.resistance) EXPECT_NEAR(R, -5.68, 1e-12);
  EXPECT_DOUBLE_EQ(r.rate.q, -1.8);
  EXPECT_DOUBLE_EQ(r.iteration.tcStar, 15.848454589400056);
  EXPECT_DOUBLE_EQ(r.Cb, 2.8092208104138425);  // 5 (1 - erf(0.04 / (2 sqrt(D t_c*))))
}

TEST(ChlorideConstant, DerivedCoefficients) {
  auto in = constant_example();
  in.Dcm2 = 0;
  in.source = DiffusionSource::WaterCementRatio;
  in.wc = 0.5;
  auto r = run_chloride_constant(in);
  ASSERT_FALSE(r.stop);
  EXPECT_DOUBLE_EQ(r.D, 0.0001426348);  // (3.54 - 1.846) * (0.894 - 0.052) / 10000

  in.source = DiffusionSource::MeasuredProfile;
  in.xMm = 30;
  in.Cx = 2;
  r = run_chloride_constant(in);
  ASSERT_FALSE(r.stop);
  ASSERT_TRUE(r.zx.has_value());
  EXPECT_DOUBLE_EQ(*r.zx, 0.5949239999979189);    // the inverse at 0.6
  EXPECT_DOUBLE_EQ(r.D, 3.1785536333285592e-05);  // 0.03^2 / (4 * 20 * z_x^2)
}

// The profile formulas the three diffusion models share, against values worked by hand.
TEST(ChlorideProfile, SharedCoefficientsByHand) {
  // (7.08 * 0.5 - 1.846) * (0.0447 * 20 - 0.052) = 1.694 * 0.842 = 1.426348
  EXPECT_NEAR(diffusion_from_water_cement(0.5, 20), 1.426348e-4, 1e-16);
  // 0.03^2 / (4 * 20 * 0.5^2) = 0.0009 / 20
  EXPECT_NEAR(diffusion_from_profile(0.03, 20, 0.5), 4.5e-5, 1e-18);
  // 2 * 0.5 * sqrt(4.5e-5)
  EXPECT_NEAR(erosion_coefficient(0.5, 4.5e-5), 0.00670820393249937, 1e-16);

  // Both models that derive from the water-cement ratio use it.
  auto constant = constant_example();
  constant.Dcm2 = 0;
  constant.source = DiffusionSource::WaterCementRatio;
  constant.wc = 0.5;
  auto marine = marine_example();
  marine.Dcm2 = 0;
  marine.source = DiffusionSource::WaterCementRatio;
  marine.wc = 0.5;
  EXPECT_NEAR(run_chloride_constant(constant).D, 1.426348e-4, 1e-16);
  EXPECT_NEAR(run_marine(marine).D, 1.426348e-4, 1e-16);
}

TEST(ChlorideVariable, WorkedExample) {
  Recorder<ChlorideVariableResult> rec;
  const auto r = run_chloride_variable(variable_example(), &rec);
  ASSERT_FALSE(r.stop);
  EXPECT_EQ(r.iteration.passes, 6);
  rec.expect_chain(20);
  EXPECT_DOUBLE_EQ(r.zx, 0.5949239999979189);    // the inverse at 0.6
  EXPECT_DOUBLE_EQ(r.zcr, 0.76361199999340557);  // the inverse at 0.72
  EXPECT_DOUBLE_EQ(r.D, 2.825381007403164e-05);  // 0.02^2 / (4 * 10 * z_x^2)
  EXPECT_DOUBLE_EQ(r.g, 1.4285714285714286);     // 1 / 0.7
  // (0.03^2 / (4 D 10^0.3 z_cr^2 g))^g
  EXPECT_NEAR(r.ti, 9.3774104368282636, 1e-9 * r.ti);
  // Inspection (10 a) after initiation and before cracking: pre-cracking branch.
  EXPECT_LT(r.ti, 10);
  EXPECT_LT(10, r.prop.tc);
  EXPECT_DOUBLE_EQ(r.prop.tc, 27.186905716046915);
  EXPECT_DOUBLE_EQ(r.prop.dt, 0.0021394475625915619);  // lambda0 (10 - t_i)
}

TEST(Marine, WorkedExampleWithoutSecondSearch) {
  Recorder<MarineResult> rec;
  const auto r = run_marine(marine_example(), &rec);
  ASSERT_FALSE(r.stop);
  EXPECT_EQ(r.searchRounds, 1);
  EXPECT_EQ(r.ti, 10.5);
  EXPECT_FALSE(r.T2.has_value());
  EXPECT_EQ(r.iteration.passes, 4);
  rec.expect_chain(20);
  EXPECT_DOUBLE_EQ(r.prop.dcr, 0.0672);  // 0.024 + 0.0252 + 0.018
  EXPECT_DOUBLE_EQ(r.prop.dd, 0.3055);   // 0.273 + 0.016 + 0.0165
  EXPECT_DOUBLE_EQ(r.prop.tc, 21.154172459621378);
  EXPECT_LT(20, r.prop.tc);
  EXPECT_DOUBLE_EQ(r.prop.dt, 0.059920186426444158);  // lambda0 (20 - 10.5)
  // With a typed coefficient the profile argument is still computed, at 1.
  EXPECT_EQ(r.zx, *fun_erf_fan(1.0));
}

TEST(Marine, WorkedExampleWithSecondSearch) {
  auto in = marine_example();
  in.k = 2.0;
  in.ts = 5;
  in.tiStart = 20;
  in.T2Start = 1;
  const auto r = run_marine(in);
  ASSERT_FALSE(r.stop);
  EXPECT_EQ(r.searchRounds, 25);  // 20.5 down to 8.5
  ASSERT_TRUE(r.T2.has_value());
  EXPECT_EQ(r.secondSearchRounds, 1);
  EXPECT_EQ(*r.T2, 1.5);
  EXPECT_EQ(r.ti, 6.5);
  EXPECT_EQ(r.iteration.passes, 4);
  EXPECT_LT(r.prop.tc, 20);
  EXPECT_DOUBLE_EQ(r.prop.dt, 0.13225570136266962);  // delta_cr + lambda1 (20 - t_c)
}

// The concentration at the bar as a function of age is the one the searches compared with
// C_cr: where they stopped it lies within their tolerance, and after the stable time it starts
// from the concentration the second search started from.
TEST(Marine, BarConcentrationIsWhatTheSearchesCompared) {
  auto second = marine_example();
  second.k = 2.0;
  second.ts = 5;
  second.tiStart = 20;
  second.T2Start = 1;
  for (const MarineInput& in : {marine_example(), second}) {
    const auto r = run_marine(in);
    ASSERT_FALSE(r.stop);
    EXPECT_LT(std::fabs(marine_bar_concentration(in, r, r.ti) - in.Ccr), 0.5);
    if (!r.T2) {
      EXPECT_LE(r.ti, in.ts);
      continue;
    }
    // The first search ended beyond the stable time, with the surface still growing.
    const double firstEnd = in.tiStart - 0.5 * (r.searchRounds - 1) + 0.5;
    EXPECT_GT(firstEnd, in.ts);
    EXPECT_LT(std::fabs(marine_growing_concentration(in.k, r.c, r.D, firstEnd) - in.Ccr), 0.5);
    EXPECT_EQ(marine_bar_concentration(in, r, in.ts + 1e-9), *r.C1);
    EXPECT_EQ(r.ti, in.ts + *r.T2);
  }
  // No chloride before any time has passed; the surface value at the surface after ts.
  const auto in = marine_example();
  const auto r = run_marine(in);
  EXPECT_EQ(marine_bar_concentration(in, r, 0), 0.0);
  EXPECT_NEAR(marine_concentration(in, r.D, 0, 60), in.Cs, 1e-12);
}

// The run split in two (coefficients, then the iteration from a given initiation time) is
// the run: from the searches' t_i every value comes out the same bits; from another t_i only
// the iteration moves.
TEST(Marine, RunFromTheSearchesInitiationTimeIsTheRun) {
  auto second = marine_example();
  second.k = 2.0;
  second.ts = 5;
  second.tiStart = 20;
  second.T2Start = 1;
  for (const MarineInput& in : {marine_example(), second}) {
    const auto whole = run_marine(in);
    ASSERT_FALSE(whole.stop);
    MarineResult r = marine_coefficients(in);
    ASSERT_FALSE(r.stop);
    EXPECT_EQ(r.D, whole.D);
    EXPECT_EQ(r.K, whole.K);
    EXPECT_EQ(r.zcr, whole.zcr);
    Recorder<MarineResult> rec;
    run_marine_from(in, whole.ti, r, &rec);
    ASSERT_FALSE(r.stop);
    rec.expect_chain(in.tcStart);
    EXPECT_EQ(r.ti, whole.ti);
    EXPECT_EQ(r.iteration.passes, whole.iteration.passes);
    EXPECT_EQ(r.iteration.tcStar, whole.iteration.tcStar);
    EXPECT_EQ(r.Cb, whole.Cb);
    EXPECT_EQ(r.rate.lambda0, whole.rate.lambda0);
    for (auto field : {&Propagation::dcr, &Propagation::tp, &Propagation::tc, &Propagation::lambda1,
                       &Propagation::dd, &Propagation::td, &Propagation::dt}) {
      EXPECT_EQ(r.prop.*field, whole.prop.*field);
    }
    EXPECT_EQ(r.prop.w, whole.prop.w);

    // Three years later: only the iteration moves; the cover cracks later.
    MarineResult later = marine_coefficients(in);
    run_marine_from(in, whole.ti + 3, later);
    ASSERT_FALSE(later.stop);
    EXPECT_EQ(later.ti, whole.ti + 3);
    EXPECT_EQ(later.prop.tc, later.ti + later.prop.tp);
    EXPECT_GT(later.prop.tc, whole.prop.tc);
  }
  // A coefficient that cannot be computed stops before any initiation time is needed.
  auto bad = marine_example();
  bad.Dcm2 = 0;
  bad.source = DiffusionSource::WaterCementRatio;
  bad.wc = 0.2;
  EXPECT_EQ(marine_coefficients(bad).stop, StopReason::InvalidDiffusion);
}

TEST(Admixed, WorkedExample) {
  Recorder<AdmixedResult> rec;
  const auto r = run_admixed(admixed_example(), &rec);
  ASSERT_FALSE(r.stop);
  EXPECT_EQ(r.iteration.passes, 5);
  rec.expect_chain(20);
  EXPECT_DOUBLE_EQ(r.rate.q, -1.8);
  EXPECT_NEAR(r.rate.R, -5.68, 1e-12);
  EXPECT_DOUBLE_EQ(r.prop.tc, r.prop.tp);  // no initiation stage
  EXPECT_DOUBLE_EQ(r.prop.dcr, 0.0612);    // 0.018 + 0.0252 + 0.018
  EXPECT_DOUBLE_EQ(r.prop.dd, 0.3015);     // 0.273 + 0.012 + 0.0165
  EXPECT_DOUBLE_EQ(r.prop.tc, 13.771493666688782);
  EXPECT_LT(r.prop.tc, 30);
  EXPECT_DOUBLE_EQ(r.prop.dt, 0.37740209111827328);  // delta_cr + lambda1 (30 - t_c)
  EXPECT_DOUBLE_EQ(r.Ce, 3.3660436182910223);        // 6 (0.368 + 11.1 / (6^0.9 t_c*^0.93))
}

// Other start values reach the same cracking time within the tolerance, in other numbers of
// passes (the admixed example: seven from 1 a, six from 80 a).
TEST(CrackingTimeIteration, StartValueChangesPassesNotTheResult) {
  const auto base = run_chloride_constant(constant_example());
  const auto vbase = run_chloride_variable(variable_example());
  const auto abase = run_admixed(admixed_example());
  const auto mbase = run_marine(marine_example());
  for (double start : {1.0, 5.0, 40.0, 80.0}) {
    SCOPED_TRACE(start);
    auto in = constant_example();
    in.tcStart = start;
    const auto r = run_chloride_constant(in);
    ASSERT_FALSE(r.stop);
    EXPECT_NEAR(r.prop.tc, base.prop.tc, 0.01);
    auto vin = variable_example();
    vin.tcStart = start;
    const auto v = run_chloride_variable(vin);
    ASSERT_FALSE(v.stop);
    EXPECT_NEAR(v.prop.tc, vbase.prop.tc, 0.01);
    auto ain = admixed_example();
    ain.tcStart = start;
    const auto a = run_admixed(ain);
    ASSERT_FALSE(a.stop);
    EXPECT_NEAR(a.prop.tc, abase.prop.tc, 0.01);
    auto min = marine_example();
    min.tcStart = start;
    const auto m = run_marine(min);
    ASSERT_FALSE(m.stop);
    EXPECT_NEAR(m.prop.tc, mbase.prop.tc, 0.01);
  }
  auto ain = admixed_example();
  ain.tcStart = 1;
  EXPECT_EQ(run_admixed(ain).iteration.passes, 7);
  ain.tcStart = 80;
  EXPECT_EQ(run_admixed(ain).iteration.passes, 6);
  // Starting at a cracking time the model reproduces ends after one pass.
  auto again = constant_example();
  again.tcStart = base.prop.tc;
  EXPECT_EQ(run_chloride_constant(again).iteration.passes, 1);
}

// Inputs the models cannot use: each ends in the stop, with no NaN or infinity reported.
TEST(ChlorideModels, UndefinedInputsStop) {
  {
    SCOPED_TRACE("water-cement ratio too low: derived D <= 0");
    auto in = constant_example();
    in.Dcm2 = 0;
    in.source = DiffusionSource::WaterCementRatio;
    in.wc = 0.2;
    auto r = run_chloride_constant(in);
    ASSERT_TRUE(r.stop);
    EXPECT_EQ(*r.stop, StopReason::InvalidDiffusion);
    EXPECT_EQ(r.iteration.passes, 1);
    // At the root the coefficient is zero up to rounding: whatever is left of it, the
    // calculation must still end in the stop rather than in an unprintable report.
    in.wc = 1.846 / 7.08;
    r = run_chloride_constant(in);
    ASSERT_TRUE(r.stop);
  }
  {
    SCOPED_TRACE("negative measured concentration: inverse argument above its limit");
    auto in = constant_example();
    in.Dcm2 = 0;
    in.xMm = 30;
    in.Cx = -1;
    const auto r = run_chloride_constant(in);
    ASSERT_TRUE(r.stop);
    EXPECT_EQ(*r.stop, StopReason::NoInverse);
  }
  {
    SCOPED_TRACE("thick cover, small D t: C_b not positive");
    auto in = constant_example();
    in.coverMm = 90;
    in.Dcm2 = 0.2;
    in.tcStart = 1;
    Recorder<ChlorideConstantResult> rec;
    const auto r = run_chloride_constant(in, &rec);
    ASSERT_TRUE(r.stop);
    EXPECT_EQ(*r.stop, StopReason::NonPositiveConcentration);
    EXPECT_TRUE(rec.found.empty());  // no report of the failing pass
    EXPECT_DOUBLE_EQ(r.D, 2e-05);    // 0.2 cm2/a; values computed before the stop are kept
  }
  {
    SCOPED_TRACE("time exponent 1");
    auto in = variable_example();
    in.m = 1;
    const auto r = run_chloride_variable(in);
    ASSERT_TRUE(r.stop);
  }
  {
    SCOPED_TRACE("marine: derived D <= 0");
    auto in = marine_example();
    in.Dcm2 = 0;
    in.source = DiffusionSource::WaterCementRatio;
    in.wc = 0.2;
    const auto r = run_marine(in);
    ASSERT_TRUE(r.stop);
    EXPECT_EQ(*r.stop, StopReason::InvalidDiffusion);
  }
}

// The search steps 1 -> 1.5 -> 1.0 -> 0.5 -> 0 when the concentration stays far above C_cr;
// a start value off the half-year grid steps past zero instead of onto it.
TEST(Marine, SearchReachingZeroOrBelowStops) {
  for (double start : {1.0, 0.7}) {
    SCOPED_TRACE(start);
    auto in = marine_example();
    in.coverMm = 3;
    in.k = 5;
    in.Dcm2 = 8;
    in.Ccr = 1.2;
    in.tiStart = start;
    const auto r = run_marine(in);
    ASSERT_TRUE(r.stop);
    EXPECT_EQ(*r.stop, StopReason::SearchTimeNotPositive);
    EXPECT_EQ(r.searchRounds, 4);   // 1.5, 1.0, 0.5, 0 or 1.2, 0.7, 0.2, -0.3
    EXPECT_DOUBLE_EQ(r.D, 0.0008);  // 8 cm2/a, kept from before the stop
  }
}

// A concentration that jumps across the band around C_cr from one half-year step to the
// next (a very steep accumulation) oscillates for ever: the bound ends it.
TEST(Marine, OscillatingSearchEndsAtItsBound) {
  auto in = marine_example();
  in.coverMm = 10;
  in.Dcm2 = 0.2;
  in.k = 50;
  in.Ccr = 1.2;
  in.tiStart = 1;
  const auto r = run_marine(in);
  ASSERT_TRUE(r.stop);
  EXPECT_EQ(*r.stop, StopReason::SearchLimit);
  EXPECT_EQ(r.searchRounds, kMaxSearchRounds);
}

}  // namespace
}  // namespace pellucor::model
