// The parts of the update against answers worked by hand or by the models themselves: weighted
// summaries, the sheets' laws, the likelihood, the measurements it refuses or names, the cover's
// law, the diagnostics and what a run that fails them says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "analysis/mc/problem.hpp"
#include "analysis/normal_law.hpp"
#include "analysis/timeline.hpp"
#include "analysis/update/importance.hpp"
#include "analysis/update/member_update.hpp"
#include "analysis/update/smc.hpp"
#include "analysis/update/update.hpp"
#include "analysis/update/update_report.hpp"
#include "analysis/update/weighted_summary.hpp"
#include "module_test_support.hpp"

namespace pellucor::analysis::update {
namespace {

using mc::Distribution;
using mc::TimeKnown;
using modules::testing::sheet_module;

mc::SampleResult sample(double ti, double tc, double td, std::array<TimeKnown, 3> known,
                        mc::SampleStatus status = mc::SampleStatus::Done) {
  mc::SampleResult r;
  r.ti = ti;
  r.tc = tc;
  r.td = td;
  r.t = 20;
  r.known = known;
  r.status = status;
  if (status != mc::SampleStatus::Done) r.cause.kind = mc::StopCause::Kind::Model;
  return r;
}

// Five samples worked by hand: three that ran (weights 1, 2, 3), a survivor that never
// initiates (weight 4), one the model could not follow after initiation at 2 a (weight 2).
TEST(WeightedSummary, CountsWeightsAsTheAnalysisCountsSamples) {
  using enum TimeKnown;
  mc::Samples s;
  s.results = {sample(5, 8, 10, {Known, Known, Known}), sample(10, 15, 20, {Known, Known, Known}),
               sample(15, 22, 30, {Known, Known, Known}),
               sample(0, 0, 0, {Never, Never, Never}, mc::SampleStatus::Survived),
               sample(2, 2, 2, {Known, Unknown, Unknown}, mc::SampleStatus::Stopped)};
  const std::vector<double> w = {1, 2, 3, 4, 2};
  mc::RunSettings settings;
  settings.targetAge = 25;
  const mc::Summary r = summarize_weighted(s, w, settings, {0, 6, 15, 25, 40});
  const double ess = 144.0 / 34;  // (sum w)^2 / sum w^2
  EXPECT_EQ(r.samples, 5u);
  EXPECT_EQ(r.done, 3u);
  EXPECT_EQ(r.survived, 1u);
  EXPECT_EQ(r.stopped, 1u);
  // t_d: the stopped sample failed from 2 a (headline), not at all (lower bound).
  EXPECT_DOUBLE_EQ(r.curve[2].p[mc::kEnd], 3.0 / 12);
  EXPECT_DOUBLE_EQ(r.curve[2].pLow[mc::kEnd], 1.0 / 12);
  EXPECT_DOUBLE_EQ(r.curve[2].se[mc::kEnd], std::sqrt(0.25 * 0.75 / ess));
  EXPECT_DOUBLE_EQ(r.curve[1].p[mc::kInitiation], 3.0 / 12);  // t_i at 2 and 5 by 6 a
  EXPECT_DOUBLE_EQ(r.curve[4].p[mc::kEnd], 8.0 / 12);         // the survivor never fails
  // At the target age 25 a: 5 of 12 failed, 3 in the lower bound.
  EXPECT_DOUBLE_EQ(r.atTarget.p[mc::kEnd], 5.0 / 12);
  EXPECT_DOUBLE_EQ(r.atTarget.pLow[mc::kEnd], 3.0 / 12);
  EXPECT_EQ(r.atTarget.failures[mc::kEnd], 2u);  // 5/12 of the effective 4.24 samples
  EXPECT_LT(r.atTarget.lo95[mc::kEnd], 5.0 / 12);
  EXPECT_GT(r.atTarget.hi95[mc::kEnd], 5.0 / 12);
  // Percentiles: each sample stands at the weight below it, the last at 12 - 4.
  ASSERT_TRUE(r.percentiles[mc::kEnd]);
  EXPECT_DOUBLE_EQ(r.percentiles[mc::kEnd]->p5, 2 + (0.4 / 2) * (10 - 2));  // h = 0.4
  EXPECT_DOUBLE_EQ(r.percentiles[mc::kEnd]->p50, 20 + 0.5 * (30 - 20));     // h = 4
  EXPECT_TRUE(r.percentiles[mc::kEnd]->never[2]);                           // among the never
  // The age at which beta falls below 1.3: the weight failed first exceeds Phi(-1.3) 12 at
  // 2 a (the stopped sample), at 20 a counting the known times only.
  EXPECT_EQ(r.targetAge[mc::kEnd], 2);
  EXPECT_EQ(r.targetAgeLow[mc::kEnd], 20);
  // Samples of weight 0 are not there at all.
  std::vector<double> w0 = w;
  w0[3] = 0;
  const mc::Summary z = summarize_weighted(s, w0, settings, {0, 6, 15, 25, 40});
  EXPECT_EQ(z.survived, 0u);
  EXPECT_DOUBLE_EQ(z.curve[4].p[mc::kEnd], 8.0 / 8);
}

TEST(WeightedSummary, IndexBoundsComeFromTheEffectiveSampleSize) {
  // Unit weights: the analysis's own rule, bit for bit.
  for (std::uint64_t failures : {0u, 1u, 37u, 100u}) {
    const auto a = mc::reliability_index(failures, 100);
    const auto b = weighted_index(static_cast<double>(failures), 100, 100);
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.value, b.value);
  }
  // No weight failed: the bound of an effective 50 samples, whatever the total weight.
  const auto bound = weighted_index(0, 7.5, 50);
  EXPECT_EQ(bound.kind, mc::IndexValue::Kind::Above);
  EXPECT_EQ(bound.value, mc::reliability_index(0, 50).value);
}

// The chloride law of each sheet is the model's own, bit for bit: the concentration a completed
// run gives at every depth and age, with the coefficient typed or derived as the model derives
// it; the carbonation coefficient is the run's.
TEST(SheetLaw, IsTheModelsOwnBitForBit) {
  struct Case {
    const char* what;
    int sheet;
    sheet::SheetInputs in;
  };
  sheet::SheetInputs fromProfile = modules::testing::chloride_constant_example();
  fromProfile.value[7] = 0;  // D derived from the measured point
  fromProfile.value[10] = 20;
  fromProfile.value[11] = 2;
  sheet::SheetInputs fromWaterCement = fromProfile;
  fromWaterCement.selected[1] = false;
  fromWaterCement.selected[2] = true;
  fromWaterCement.value[12] = 0.5;
  const Case cases[] = {
      {"constant, D typed", 2, modules::testing::chloride_constant_example()},
      {"constant, D from the measured point", 2, fromProfile},
      {"constant, D from the water-cement ratio", 2, fromWaterCement},
      {"time-dependent", 3, modules::testing::chloride_variable_example()},
      {"marine", 4, modules::testing::marine_example()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const sheet::Module& module = sheet_module(c.sheet);
    ASSERT_FALSE(module.check(c.in));
    modules::testing::RecordingSink sink;
    const auto outcome = module.calculate(c.in, sink);
    const auto ingress = chloride_ingress(outcome.run);
    ASSERT_TRUE(ingress);
    const auto law = SheetLaw(module).chlorideLaw(c.in);
    ASSERT_TRUE(std::holds_alternative<ChlorideLaw>(law));
    for (double x : {0.0, 0.004, 0.02, 0.06}) {
      for (double tau : {0.5, 5.0, 20.0, 31.0, 80.0}) {
        EXPECT_EQ(std::get<ChlorideLaw>(law).at(x, tau), ingress->concentration(x, tau))
            << x << " m, " << tau << " a";
      }
    }
  }
  for (double depth : {0.0, 12.0}) {
    sheet::SheetInputs in = modules::testing::carbonation_example();
    in.value[7] = depth;
    if (depth > 0) in.value[8] = 0;
    modules::testing::RecordingSink sink;
    const auto outcome = sheet_module(1).calculate(in, sink);
    EXPECT_EQ(SheetLaw(sheet_module(1)).carbonationCoefficient(in),
              std::get<model::CarbonationRun>(outcome.run).out.k);
  }
  sheet::SheetInputs admixed = modules::testing::admixed_example();
  EXPECT_EQ(std::get<ChlorideLaw>(SheetLaw(sheet_module(5)).chlorideLaw(admixed)).at(0.03, 7),
            admixed.value[8]);
}

// The likelihood of depths, one of them 0, against the densities written out: the readings
// above 0 lognormal about the model's depth (mean 1), the 0 as P(depth < 0.5 mm).
TEST(Likelihood, DepthsAndAReadingOfZeroAsWrittenOut) {
  const sheet::SheetInputs in = modules::testing::carbonation_example();
  Measurements m;
  m.depths.push_back({{5, 7.5, 0}, 42, 0.3});
  const auto prepared = prepare(sheet_module(1), in, m);
  ASSERT_TRUE(prepared.ok());
  const Likelihood l(sheet_module(1), *prepared, nullptr);
  double depth = 0;
  const double ll = l(in, {1, 1, 1}, &depth, nullptr);
  const double k = SheetLaw(sheet_module(1)).carbonationCoefficient(in);
  EXPECT_EQ(depth, k * std::sqrt(42.0));
  const double s = std::sqrt(std::log1p(0.09));
  const double mu = std::log(depth) - 0.5 * s * s;
  auto logDensity = [&](double y) {
    const double z = (std::log(y) - mu) / s;
    return -0.5 * z * z - std::log(y * s) - 0.5 * std::log(2 * std::numbers::pi);
  };
  const double zero = std::log(0.5 * std::erfc(-((std::log(0.5) - mu) / s) / std::sqrt(2.0)));
  EXPECT_NEAR(ll, logDensity(5) + logDensity(7.5) + zero, 1e-12);
  // Far in the tail, against 40-digit values, and where the two ways of computing it meet.
  EXPECT_NEAR(log_normal_cdf(-40), -804.6084420137537882, 1e-11);
  EXPECT_NEAR(log_normal_cdf(-30.0000001), -454.3212469596691688, 1e-9);
  EXPECT_NEAR(log_normal_cdf(-30), -454.3212439563431971, 1e-9);
}

// What cannot be compared is refused with the reason; nothing is dropped.
// A project member's measurements: its inspection readings, then what its update settings add
// (depths typed for the update, a corrosion depth at inspection), every depth with the error the
// settings give unless the caller types another.
TEST(Measurements, AMembersReadingsAndWhatItsUpdateSettingsAdd) {
  project::Member m;
  m.inspection.carbonation = inspect::CarbonationInput{{8.5, 9.1}, 30};
  project::UpdateRecord u;
  u.depthCov = 0.2;
  u.typedDepths = inspect::CarbonationInput{{11, 12.5, 10}, 42};
  u.corrosionDepth = project::MeasuredRecord{0.04, 0.01};
  m.update = u;
  const Measurements got = measurements_of(m);
  ASSERT_EQ(got.depths.size(), 2U);
  EXPECT_EQ(got.depths[0].depthMm, (std::vector<double>{8.5, 9.1}));
  EXPECT_EQ(got.depths[0].ageYears, 30);
  EXPECT_EQ(got.depths[1].depthMm, (std::vector<double>{11, 12.5, 10}));
  EXPECT_EQ(got.depths[1].ageYears, 42);
  for (const auto& d : got.depths) EXPECT_EQ(d.errorCov, std::optional<double>(0.2));
  ASSERT_TRUE(got.corrosionDepth.has_value());
  EXPECT_EQ(got.corrosionDepth->value, 0.04);
  // An error typed by the caller wins over the member's settings.
  TypedErrors typed;
  typed.depthCov = 0.1;
  for (const auto& d : measurements_of(m, typed).depths) {
    EXPECT_EQ(d.errorCov, std::optional<double>(0.1));
  }
  // The inspection alone (as the window takes it, the settings standing in its boxes).
  EXPECT_EQ(measurements_of(m.inspection).depths.size(), 1U);
}

TEST(Measurements, WhatTheSheetCannotCompareIsRefusedAndNamed) {
  auto core = [](int points, std::optional<double> sd) {
    ProfileCore c;
    c.name = "K1";
    c.input.ageYears = 20;
    for (int i = 0; i < points; ++i) {
      c.input.depthMm.push_back(2.5 + 5 * i);
      c.input.chloride.push_back(4 * std::erfc((2.5 + 5 * i) / 40) + 0.01 * (i % 2));
    }
    c.errorSd = sd;
    return c;
  };
  struct Case {
    const char* what;
    int sheet;
    int steel;
    Measurements m;
    std::optional<MeasurementRefusal> refusal;
  };
  Measurements depthsOnChloride, coresOnCarbonation, noAge, negative, oneReading, oneWithCov,
      zeroCov, shortCore, shortCoreTyped, fittedBackground, brokenCore, crackOnWall, crackOnBar,
      noSd, oneCover, zeroCover, ancient, tooDeep, hugeCov, tinySd, deepCorrosion;
  depthsOnChloride.depths.push_back({{5, 6}, 20, std::nullopt});
  coresOnCarbonation.cores.push_back(core(8, std::nullopt));
  noAge.depths.push_back({{5, 6}, 0, std::nullopt});
  negative.depths.push_back({{5, -1}, 20, std::nullopt});
  oneReading.depths.push_back({{5, 0}, 20, std::nullopt});
  oneWithCov.depths.push_back({{5, 0}, 20, 0.2});
  zeroCov.depths.push_back({{5, 6}, 20, 0.0});
  shortCore.cores.push_back(core(3, std::nullopt));
  shortCoreTyped.cores.push_back(core(3, 0.1));
  fittedBackground.cores.push_back(core(3, 0.1));
  fittedBackground.cores[0].input.background = inspect::Background::Fitted;
  brokenCore.cores.push_back(core(8, 0.1));
  brokenCore.cores[0].input.depthMm[2] = brokenCore.cores[0].input.depthMm[1];
  crackOnWall.crackWidth = AtInspection{0.2, 0.05};
  crackOnBar.crackWidth = AtInspection{0.2, 0.05};
  noSd.corrosionDepth = AtInspection{0.1, 0};
  oneCover.coverMm = {30};
  ancient.depths.push_back({{5, 6}, 1e300, std::nullopt});
  tooDeep.depths.push_back({{5, 1e300}, 20, std::nullopt});
  hugeCov.depths.push_back({{5, 6}, 20, 1e300});
  tinySd.cores.push_back(core(8, 1e-300));
  deepCorrosion.corrosionDepth = AtInspection{1e300, 0.1};
  zeroCover.coverMm = {30, 0};
  using R = MeasurementRefusal;
  const Case cases[] = {
      {"depths on a chloride sheet", 2, 2, depthsOnChloride, R::NotOnThisSheet},
      {"a core on the carbonation sheet", 1, 1, coresOnCarbonation, R::NotOnThisSheet},
      {"no age", 1, 1, noAge, R::NoAge},
      {"a negative reading", 1, 1, negative, R::BadReading},
      {"one reading above 0 and no error", 1, 1, oneReading, R::TooFewReadings},
      {"one reading above 0 with its error", 1, 1, oneWithCov, std::nullopt},
      {"an error of 0", 1, 1, zeroCov, R::BadError},
      {"a core the fit refuses, no error given", 2, 2, shortCore, R::CoreNotUsable},
      {"the same core with its error", 2, 2, shortCoreTyped, std::nullopt},
      {"a fitted background the fit cannot give", 2, 2, fittedBackground, R::CoreNotUsable},
      {"depths that do not increase", 2, 2, brokenCore, R::CoreNotUsable},
      {"a crack width on wall or slab reinforcement", 2, 3, crackOnWall, R::NoCrackWidth},
      {"a crack width on a bar", 2, 2, crackOnBar, std::nullopt},
      {"a corrosion depth without its error", 2, 2, noSd, R::BadError},
      {"one cover reading", 2, 2, oneCover, R::TooFewCoverReadings},
      {"a cover reading of 0", 2, 2, zeroCover, R::BadReading},
      // Numbers no measurement has, taken for slips of typing.
      {"an age of 1e300 a", 1, 1, ancient, R::NoAge},
      {"a depth of 1e300 mm", 1, 1, tooDeep, R::BadReading},
      {"an error's CoV of 1e300", 1, 1, hugeCov, R::BadError},
      {"an error's sd of 1e-300", 2, 2, tinySd, R::BadError},
      {"a corrosion depth of 1e300 mm", 2, 2, deepCorrosion, R::BadReading},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const sheet::SheetInputs in =
        modules::testing::with_steel(c.sheet == 1 ? modules::testing::carbonation_example()
                                                  : modules::testing::chloride_constant_example(),
                                     c.steel);
    const auto r = prepare(sheet_module(c.sheet), in, c.m);
    ASSERT_EQ(r.ok(), !c.refusal.has_value());
    if (!c.refusal) continue;
    EXPECT_EQ(r.refusal().kind, *c.refusal);
    EXPECT_FALSE(r.refusal().text.empty());
    EXPECT_FALSE(r.refusal().message.empty());
  }
}

// Prior samples whose inputs give no chloride profile are counted by reason and said first; a
// reading beyond every prior sample is named; where no prior sample can give the readings, the
// update is refused with the reason.
TEST(Update, SamplesThatCannotGiveTheMeasurementsAreCountedAndSaid) {
  // D derived from the sheet's measured point (20 mm, 2 kg/m3): a surface content drawn at or
  // below 2 gives no coefficient.
  sheet::SheetInputs in = modules::testing::chloride_constant_example();
  in.value[7] = 0;
  in.value[10] = 20;
  in.value[11] = 2;
  const mc::Problem p = mc::with_defaults(sheet_module(2), in);
  Measurements m;
  ProfileCore c;
  c.name = "K1";
  c.input.ageYears = 20;
  c.errorSd = 0.2;
  for (int i = 0; i < 8; ++i) {
    c.input.depthMm.push_back(2.5 + 5 * i);
    c.input.chloride.push_back(i == 3 ? 14.0 : 5 * std::erfc((2.5 + 5 * i) / 30));
  }
  m.cores.push_back(c);
  UpdateSettings s;
  s.run.samples = 4000;
  const auto r = run_update(p, m, s);
  ASSERT_TRUE(r.ok()) << r.refusal().message;
  EXPECT_GT(r->impossible[static_cast<std::size_t>(Impossible::NoInverse)], 0u);
  const auto lines = warning_lines(*r);
  auto said = [&lines](const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(said(impossible_text(Impossible::NoInverse)));
  // 14 kg/m3 at 17.5 mm: above every prior sample's law (C_s is at most 13).
  ASSERT_EQ(r->outOfReach.size(), 1u);
  EXPECT_NE(r->outOfReach[0].text.find("17.5"), std::string::npos);
  EXPECT_TRUE(said(r->outOfReach[0].text));

  // No carbonation at all (humidity 1.0 on the CO2 path) while depths were read.
  sheet::SheetInputs wet = modules::testing::carbonation_example();
  wet.value[3] = 1.0;
  mc::Problem q = mc::with_defaults(sheet_module(1), wet);
  q.scatter[3] = {};
  Measurements depths;
  depths.depths.push_back({{4, 5, 6}, 30, std::nullopt});
  const auto none = run_update(q, depths, s);
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.refusal().kind, UpdateRefusal::NoPosterior);
  EXPECT_NE(none.refusal().text.find(impossible_text(Impossible::NoCarbonation)),
            std::string::npos);
}

// A run below the diagnostics' limits says so first and in plain Chinese, and is not passed;
// a cancelled run gives no result.
TEST(Update, ARunBelowItsDiagnosticsSaysSoFirst) {
  const mc::Problem p = mc::with_defaults(sheet_module(1), modules::testing::carbonation_example());
  Measurements m;
  m.depths.push_back({{}, 42, std::nullopt});
  for (int j = 0; j < 50; ++j) m.depths[0].depthMm.push_back(8 + 0.1 * (j % 17));
  UpdateSettings s;
  s.run.samples = 30;  // at most 90 draws, so below the 100 effective samples the limit asks
  const auto r = run_update(p, m, s);
  ASSERT_TRUE(r.ok());
  EXPECT_FALSE(r->diagnostics.passed);
  const auto lines = warning_lines(*r);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind("注意：按检测数据更新的诊断未通过", 0), 0u) << lines[0];
  EXPECT_TRUE(std::any_of(lines.begin() + 1, lines.end(), [](const std::string& l) {
    return l.find("有效样本数") != std::string::npos;
  }));
  EXPECT_LE(r->diagnostics.draws, 90u);

  UpdateSettings rule = s;
  rule.run.stopCov = 0.05;
  const auto refused = run_update(p, m, rule);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.refusal().kind, UpdateRefusal::SampleCount);

  mc::RunControl control;
  control.cancel = true;
  const auto cancelled = run_update(p, m, s, &control);
  ASSERT_FALSE(cancelled.ok());
  EXPECT_EQ(cancelled.refusal().kind, UpdateRefusal::Cancelled);
}

// The measured corrosion depth at the inspection age enters through the whole calculation:
// its model value is the sheet's inspection depth; a larger one than the sheet's makes earlier
// initiation more probable.
TEST(Update, CorrosionDepthAtTheInspectionAgeComesFromTheTimeline) {
  const sheet::SheetInputs in = modules::testing::marine_example();
  const mc::Problem p = mc::with_defaults(sheet_module(4), in);
  const mc::Sampler runner(p);
  Measurements m;
  m.corrosionDepth = AtInspection{0.15, 0.02};
  m.crackWidth = AtInspection{0.0, 0.02};
  const auto prepared = prepare(sheet_module(4), in, m);
  ASSERT_TRUE(prepared.ok());
  const Likelihood l(sheet_module(4), *prepared, &runner);
  std::vector<double> values(l.observables());
  l(in, {1, 1, 1}, values.data(), nullptr);
  model::ModelRun run;
  runner.run(in, &run);
  const auto tl = timeline(run);
  ASSERT_TRUE(tl);
  ASSERT_LT(tl->t, tl->prop.tc);  // inspected before the cover cracks
  EXPECT_EQ(values[0], tl->prop.dt);
  EXPECT_EQ(values[1], 0);  // no crack yet (the sheet's formula would give a width)

  UpdateSettings s;
  s.run.samples = 3000;
  const auto r = run_update(p, m, s);
  ASSERT_TRUE(r.ok()) << r.refusal().message;
  EXPECT_GT(r->posterior.atTarget.p[mc::kInitiation], r->prior.summary.atTarget.p[mc::kInitiation]);
}

// The cover readings give the cover its own law: the normal-gamma update written out, the
// family the survey chooses, and thinner readings than the sheet's cover make every limit
// state come earlier.
TEST(CoverLaw, ReadingsUpdateTheCoversLawItself) {
  // Seven readings: too few for the goodness-of-fit test, the normal law.
  const std::vector<double> readings = {30, 32, 28, 35, 31, 29, 33};
  const CoverUpdate c = update_cover(readings, 40, {0, Distribution::Normal, 8}, 3, 90);
  EXPECT_EQ(c.family, Distribution::Normal);
  const double n = 7, ybar = 218.0 / 7;
  double ss = 0;
  for (double v : readings) ss += (v - ybar) * (v - ybar);
  const double kappa = 1 + n, mu = (40 + n * ybar) / kappa;
  const double alpha = 0.5 * (1 + n);
  const double beta = 0.5 * 64 + 0.5 * ss + n * (ybar - 40) * (ybar - 40) / (2 * kappa);
  EXPECT_DOUBLE_EQ(c.law.location(), mu);
  EXPECT_DOUBLE_EQ(c.law.scale(), std::sqrt(beta * (kappa + 1) / (alpha * kappa)));
  EXPECT_DOUBLE_EQ(c.law.dof(), 2 * alpha);
  EXPECT_FALSE(c.law.logarithm());
  // Skewed readings: the test prefers the lognormal law, on the logarithms.
  const std::vector<double> skewed = {20, 21, 22, 23, 24, 26, 28, 31, 36, 45, 60, 80};
  const CoverUpdate l = update_cover(skewed, 40, {0, Distribution::Normal, 8}, 3, 90);
  EXPECT_EQ(l.family, Distribution::Lognormal);
  EXPECT_TRUE(l.law.logarithm());
  EXPECT_NEAR(l.law.location(), std::log(30.0), 0.2);
  // Samples stay in the box's range.
  EXPECT_EQ(l.law.sample(1e-300), l.law.sample(1e-300));
  EXPECT_GE(l.law.sample(1e-12), 3);
  EXPECT_LE(l.law.sample(1 - 1e-12), 90);

  const mc::Problem p =
      mc::with_defaults(sheet_module(2), modules::testing::chloride_constant_example());
  Measurements m;
  m.coverMm = readings;  // the sheet says 40 mm
  UpdateSettings s;
  s.run.samples = 4000;
  const auto r = run_update(p, m, s);
  ASSERT_TRUE(r.ok());
  ASSERT_TRUE(r->cover);
  EXPECT_EQ(r->diagnostics.method, Method::Prior);  // the law changes, nothing is weighted
  for (const auto& in : r->inputs) {
    if (in.box != 5) continue;
    EXPECT_NEAR(in.mean[1], mu, 0.3);
    EXPECT_NEAR(in.mean[0], 40, 1e-9);  // the sheet's law: its mean kept
    EXPECT_NEAR(in.cov[0], 8.0 / 40, 1e-3);
  }
  for (std::size_t k = 0; k < mc::kTimes; ++k) {
    EXPECT_GT(r->posterior.atTarget.p[k], r->prior.summary.atTarget.p[k]) << k;
  }
}

// The Pareto k of weights whose tail is a Pareto law of known shape, and none for equal weights.
TEST(Diagnostics, ParetoKOfKnownTailsAndRHatOfGroups) {
  for (double k : {0.2, 0.5, 0.9}) {
    std::vector<double> lw;
    for (int i = 0; i < 20000; ++i) lw.push_back(-k * std::log((i + 0.5) / 20000));
    const auto estimate = pareto_k(lw);
    ASSERT_TRUE(estimate);
    EXPECT_NEAR(*estimate, k, 0.08) << k;
  }
  EXPECT_FALSE(pareto_k(std::vector<double>(1000, -3.0)));

  std::vector<double> same, apart;
  for (int g = 0; g < 4; ++g) {
    for (int i = 0; i < 500; ++i) {
      const double v = normal_quantile((i + 0.5) / 500);
      same.push_back(v);
      apart.push_back(v + (g == 3 ? 1.0 : 0.0));
    }
  }
  EXPECT_NEAR(r_hat(same, 4), 1.0, 2e-3);
  EXPECT_GT(r_hat(apart, 4), kMaxRHat);
}

}  // namespace
}  // namespace pellucor::analysis::update
