// The chloride-profile fit: known profiles recovered, intervals that hold at their stated
// rate, agreement with a solver of a different kind, the refusals, and what goes to the sheet.
#include "analysis/inspect/chloride_profile.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "analysis/batch/case_runner.hpp"
#include "modules/registry.hpp"
#include "sheet/numeric.hpp"

namespace pellucor::analysis::inspect {
namespace {

struct Truth {
  double cs = 0;  // kg/m³
  double d = 0;   // mm²/a
  double ci = 0;  // kg/m³
};

double curve(const Truth& p, double x, double t) {
  return p.ci + (p.cs - p.ci) * std::erfc(x / (2 * std::sqrt(p.d * t)));
}

// Layers 2 mm thick from the surface: mid-depths 1, 3, 5, ...
std::vector<double> layers(int n, double thickness = 2.0) {
  std::vector<double> x;
  for (int i = 0; i < n; ++i) x.push_back(thickness * (i + 0.5));
  return x;
}

ProfileInput profile(const Truth& p, double t, const std::vector<double>& x, Background bg) {
  ProfileInput in;
  in.depthMm = x;
  for (double xi : x) in.chloride.push_back(curve(p, xi, t));
  in.ageYears = t;
  in.background = bg;
  in.backgroundValue = bg == Background::Given ? p.ci : 0.0;
  return in;
}

// ---- An independent solver ---------------------------------------------------------------
// Variable projection: for a fixed D the curve is linear in C_s (and C_i), whose best values
// follow in closed form (C_i kept at 0 or above: where the free value falls below, the best
// curve through C_i = 0); what remains is a function of ln D alone, minimised by golden-section
// search inside the bracket around the best of a fine scan. No derivatives, no trust region.
struct Projected {
  double cs = 0, ci = 0, ssr = 0;
};

Projected project(const std::vector<double>& x, const std::vector<double>& y, double t, double D,
                  bool fitCi, double ci) {
  const std::size_t n = x.size();
  std::vector<double> e(n);
  for (std::size_t i = 0; i < n; ++i) e[i] = std::erfc(x[i] / (2 * std::sqrt(D * t)));
  Projected p;
  if (fitCi) {
    // Normal equations of y = ci + a * e.
    double s1 = 0, se = 0, see = 0, sy = 0, sey = 0;
    for (std::size_t i = 0; i < n; ++i) {
      s1 += 1;
      se += e[i];
      see += e[i] * e[i];
      sy += y[i];
      sey += e[i] * y[i];
    }
    const double det = s1 * see - se * se;
    const double a = (s1 * sey - se * sy) / det;
    p.ci = (sy - a * se) / s1;
    p.cs = p.ci + a;
    if (p.ci < 0) {
      p.ci = 0;
      p.cs = sey / see;
    }
  } else {
    double see = 0, sey = 0;
    for (std::size_t i = 0; i < n; ++i) {
      see += e[i] * e[i];
      sey += e[i] * (y[i] - ci);
    }
    p.ci = ci;
    p.cs = ci + sey / see;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const double r = p.ci + (p.cs - p.ci) * e[i] - y[i];
    p.ssr += r * r;
  }
  return p;
}

struct Reference {
  double cs = 0, d = 0, ci = 0;
};

Reference independent_fit(const std::vector<double>& x, const std::vector<double>& y, double t,
                          bool fitCi, double ci) {
  // A D so small that erfc vanishes at every point leaves no curve: no sum of squares there.
  auto ssr = [&](double lnD) {
    const double v = project(x, y, t, std::exp(lnD), fitCi, ci).ssr;
    return std::isnan(v) ? INFINITY : v;
  };
  double best = std::log(1e-3);
  for (double u = std::log(1e-3); u <= std::log(1e6); u += 0.01) {
    if (ssr(u) < ssr(best)) best = u;
  }
  double a = best - 0.01, b = best + 0.01;
  const double g = (std::sqrt(5.0) - 1) / 2;
  double c = b - g * (b - a), d = a + g * (b - a);
  for (int i = 0; i < 200; ++i) {
    if (ssr(c) < ssr(d)) {
      b = d;
    } else {
      a = c;
    }
    c = b - g * (b - a);
    d = a + g * (b - a);
  }
  const double D = std::exp((a + b) / 2);
  const Projected p = project(x, y, t, D, fitCi, ci);
  return {p.cs, D, p.ci};
}

::testing::AssertionResult near_rel(double actual, double expected, double rel) {
  if (std::fabs(actual - expected) <= rel * std::fabs(expected)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << actual << " differs from " << expected << " by more than " << rel << " relative";
}

// ---- Known profiles -------------------------------------------------------------------

TEST(ProfileFit, RecoversANoiseFreeProfileInEveryUnitAndBackgroundMode) {
  const Truth truth{6.0, 40.0, 0.4};
  const double t = 12.0;
  struct Case {
    ChlorideUnit unit;
    double factor;  // kg/m³ per unit
    Background bg;
    bool leaveOut;
  };
  const Case cases[] = {
      {ChlorideUnit::KgPerCubicMetre, 1.0, Background::Given, true},
      {ChlorideUnit::KgPerCubicMetre, 1.0, Background::Fitted, false},
      {ChlorideUnit::PercentOfConcrete, 2400.0 / 100, Background::Given, true},
      {ChlorideUnit::PercentOfBinder, 380.0 / 100, Background::Fitted, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.unit) * 10 + static_cast<int>(c.bg));
    ProfileInput in = profile(truth, t, layers(10), c.bg);
    for (double& v : in.chloride) v /= c.factor;
    in.backgroundValue /= c.factor;
    in.unit = c.unit;
    in.densityKgM3 = 2400;
    in.binderKgM3 = 380;
    in.leaveOutFirstLayer = c.leaveOut;
    const auto fit = fit_profile(in);
    ASSERT_TRUE(fit.ok()) << fit.refusal().message;
    EXPECT_TRUE(near_rel(fit->surface.value, truth.cs, 1e-7));
    EXPECT_TRUE(near_rel(fit->diffusion.value, truth.d, 1e-7));
    EXPECT_TRUE(near_rel(fit->backgroundUsed, truth.ci, 1e-6));
    EXPECT_EQ(fit->background.has_value(), c.bg == Background::Fitted);
    EXPECT_NEAR(fit->rSquared, 1.0, 1e-12);
    EXPECT_EQ(fit->pointsUsed, c.leaveOut ? 9 : 10);
    EXPECT_EQ(fit->parameters, c.bg == Background::Fitted ? 3 : 2);
    ASSERT_EQ(fit->points.size(), 10U);
    EXPECT_EQ(fit->points[0].used, !c.leaveOut);
    // Residuals are observed minus fitted, in kg/m³, for the point left out too.
    for (const auto& pt : fit->points) EXPECT_NEAR(pt.residual, 0.0, 1e-6);
  }
}

// With noise of known size the 95 % intervals hold the true values in about 95 % of the
// profiles, and the standard errors match the scatter of the estimates from profile to profile.
TEST(ProfileFit, IntervalsCoverTheTrueValuesAtTheStatedRate) {
  struct Case {
    Background bg;
    double sigma;
  };
  for (const Case c : {Case{Background::Given, 0.08}, Case{Background::Fitted, 0.05}}) {
    SCOPED_TRACE(static_cast<int>(c.bg));
    const Truth truth{5.0, 30.0, 0.3};
    const double t = 10.0;
    const std::vector<double> x = layers(12);
    std::mt19937_64 rng(20260);
    std::normal_distribution<double> noise(0.0, c.sigma);
    const int trials = 1000;
    int csIn = 0, dIn = 0, ciIn = 0;
    double sumCs = 0, sumCs2 = 0, sumSe = 0;
    for (int k = 0; k < trials; ++k) {
      ProfileInput in = profile(truth, t, x, c.bg);
      for (double& v : in.chloride) v = std::max(0.0, v + noise(rng));
      const auto fit = fit_profile(in);
      ASSERT_TRUE(fit.ok()) << fit.refusal().message;
      csIn += fit->surface.lower <= truth.cs && truth.cs <= fit->surface.upper;
      dIn += fit->diffusion.lower <= truth.d && truth.d <= fit->diffusion.upper;
      if (fit->background)
        ciIn += fit->background->lower <= truth.ci && truth.ci <= fit->background->upper;
      sumCs += fit->surface.value;
      sumCs2 += fit->surface.value * fit->surface.value;
      sumSe += fit->surface.standardError;
    }
    // 1000 trials: the coverage of a true 95 % interval lies within 0.95 +- 0.025 with a
    // probability above 0.999.
    EXPECT_NEAR(csIn / double(trials), 0.95, 0.025);
    EXPECT_NEAR(dIn / double(trials), 0.95, 0.025);
    if (c.bg == Background::Fitted) {
      // The true C_i lies two standard errors above its bound 0; where the interval reaches the
      // bound it cannot fall short below, so it holds the truth a little more often than 95 %
      // (never less).
      EXPECT_GE(ciIn / double(trials), 0.925);
      EXPECT_LE(ciIn / double(trials), 0.99);
    }
    const double mean = sumCs / trials;
    const double sd = std::sqrt(sumCs2 / trials - mean * mean);
    EXPECT_NEAR(sumSe / trials / sd, 1.0, 0.1);
    if (c.bg == Background::Fitted) {
      // Holding the background at 0 where the free fit would put it below pulls C_s up in
      // those profiles: a bias of a small part of its scatter, nothing more.
      EXPECT_NEAR(mean, truth.cs, 0.25 * sd);
    } else {
      EXPECT_NEAR(mean, truth.cs, 3 * sd / std::sqrt(double(trials)));
    }
  }
}

TEST(ProfileFit, AgreesWithAVariableProjectionSolverOnNoisyProfiles) {
  std::mt19937_64 rng(7);
  std::normal_distribution<double> noise(0.0, 0.15);
  const Truth truths[] = {{4.0, 15.0, 0.2}, {8.0, 120.0, 0.5}, {2.5, 5.0, 0.1}};
  for (const auto& truth : truths) {
    for (Background bg : {Background::Zero, Background::Given, Background::Fitted}) {
      SCOPED_TRACE(truth.d * 10 + static_cast<int>(bg));
      ProfileInput in = profile(truth, 20.0, layers(9, 3.0), bg);
      for (double& v : in.chloride) v = std::max(0.0, v + noise(rng));
      const auto fit = fit_profile(in);
      ASSERT_TRUE(fit.ok()) << fit.refusal().message;
      std::vector<double> xs(in.depthMm.begin() + 1, in.depthMm.end());
      std::vector<double> ys(in.chloride.begin() + 1, in.chloride.end());
      const Reference ref = independent_fit(xs, ys, 20.0, bg == Background::Fitted,
                                            bg == Background::Given ? truth.ci : 0.0);
      EXPECT_TRUE(near_rel(fit->surface.value, ref.cs, 1e-6));
      EXPECT_TRUE(near_rel(fit->diffusion.value, ref.d, 1e-6));
      EXPECT_NEAR(fit->backgroundUsed, ref.ci, 1e-6);
    }
  }
}

// ---- Refusals ---------------------------------------------------------------------------

TEST(ProfileFit, RefusesWhatItCannotFitWithAMessageAndNoNumber) {
  const Truth truth{5.0, 30.0, 0.3};
  const ProfileInput good = profile(truth, 10.0, layers(8), Background::Given);
  struct Case {
    const char* what;
    ProfileRefusal expected;
    void (*change)(ProfileInput&);
  };
  const Case cases[] = {
      {"no age", ProfileRefusal::NoAge, [](ProfileInput& in) { in.ageYears = 0; }},
      {"age not a number", ProfileRefusal::NoAge, [](ProfileInput& in) { in.ageYears = NAN; }},
      {"one content short", ProfileRefusal::LengthsDiffer,
       [](ProfileInput& in) { in.chloride.pop_back(); }},
      {"depth not a number", ProfileRefusal::NotANumber,
       [](ProfileInput& in) { in.depthMm[3] = INFINITY; }},
      {"negative depth", ProfileRefusal::NegativeDepth,
       [](ProfileInput& in) { in.depthMm[0] = -1; }},
      {"depth zero", ProfileRefusal::NegativeDepth, [](ProfileInput& in) { in.depthMm[0] = 0; }},
      {"depths repeat", ProfileRefusal::DepthsNotIncreasing,
       [](ProfileInput& in) { in.depthMm[4] = in.depthMm[3]; }},
      {"depths fall", ProfileRefusal::DepthsNotIncreasing,
       [](ProfileInput& in) { std::swap(in.depthMm[2], in.depthMm[5]); }},
      {"negative content", ProfileRefusal::NegativeContent,
       [](ProfileInput& in) { in.chloride[6] = -0.1; }},
      {"percent of concrete without density", ProfileRefusal::BadConversion,
       [](ProfileInput& in) { in.unit = ChlorideUnit::PercentOfConcrete; }},
      {"density typed in t/m3", ProfileRefusal::BadConversion,
       [](ProfileInput& in) {
         in.unit = ChlorideUnit::PercentOfConcrete;
         in.densityKgM3 = 2.4;
       }},
      {"percent of binder without binder", ProfileRefusal::BadConversion,
       [](ProfileInput& in) { in.unit = ChlorideUnit::PercentOfBinder; }},
      {"negative background", ProfileRefusal::BadBackground,
       [](ProfileInput& in) { in.backgroundValue = -0.2; }},
      {"minimum of 0", ProfileRefusal::BadMinimum, [](ProfileInput& in) { in.minimumPoints = 0; }},
      // Eight layers less the outermost leave seven; six are enough, eight are not.
      {"fewer points than the minimum", ProfileRefusal::TooFewPoints,
       [](ProfileInput& in) { in.minimumPoints = 8; }},
      // Six layers less the outermost leave five, one short of the conventional six.
      {"five points under the default minimum", ProfileRefusal::TooFewPoints,
       [](ProfileInput& in) {
         in.depthMm.resize(6);
         in.chloride.resize(6);
       }},
      {"two points for two parameters", ProfileRefusal::NotMorePointsThanParameters,
       [](ProfileInput& in) {
         in.depthMm.resize(3);
         in.chloride.resize(3);
         in.minimumPoints = 2;
       }},
      {"three points for three parameters", ProfileRefusal::NotMorePointsThanParameters,
       [](ProfileInput& in) {
         in.depthMm.resize(3);
         in.chloride.resize(3);
         in.leaveOutFirstLayer = false;
         in.background = Background::Fitted;
         in.minimumPoints = 3;
       }},
      {"rising profile", ProfileRefusal::DoesNotFall,
       [](ProfileInput& in) { std::reverse(in.chloride.begin(), in.chloride.end()); }},
      {"flat profile", ProfileRefusal::DoesNotFall,
       [](ProfileInput& in) { std::fill(in.chloride.begin(), in.chloride.end(), 2.0); }},
      {"everything below the given background", ProfileRefusal::DoesNotFall,
       [](ProfileInput& in) { in.backgroundValue = 6.0; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ProfileInput in = good;
    c.change(in);
    const auto fit = fit_profile(in);
    ASSERT_FALSE(fit.ok());
    EXPECT_EQ(fit.refusal().kind, c.expected);
    EXPECT_FALSE(fit.refusal().text.empty());
    EXPECT_FALSE(fit.refusal().message.empty());
  }
  // The good profile itself fits, with six of its seven points as the least it needs; so
  // do six points by the default minimum.
  EXPECT_TRUE(fit_profile(good).ok());
  ProfileInput six = good;
  six.depthMm.resize(7);
  six.chloride.resize(7);
  EXPECT_TRUE(fit_profile(six).ok());
}

// The intervals' quantile, worked by hand from a table of Student's t: t(0.975, 9) = 2.262 for
// eleven points and two parameters, t(0.975, 8) = 2.306 for three.
TEST(ProfileFit, IntervalsUseStudentsQuantileForTheDegreesOfFreedom) {
  struct Case {
    Background bg;
    double quantile;
  };
  for (const Case c : {Case{Background::Given, 2.262}, Case{Background::Fitted, 2.306}}) {
    ProfileInput in = profile({5.0, 30.0, 0.3}, 10.0, layers(12), c.bg);
    for (std::size_t i = 0; i < in.chloride.size(); ++i) in.chloride[i] += i % 2 ? 0.05 : -0.05;
    const auto fit = fit_profile(in);
    ASSERT_TRUE(fit.ok()) << fit.refusal().message;
    EXPECT_NEAR(fit->tQuantile, c.quantile, 5e-4);
  }
}

// A straight falling line with the background free: the unbounded fit runs off towards the
// line, C_s and C_i apart without end (C_i far below zero). The background is held at its
// bound 0 instead, the curve is the best one with C_i >= 0 (the independent solver's, which
// keeps that bound for every D), and the notes say so.
TEST(ProfileFit, HoldsTheBackgroundAtZeroWhereTheFreeFitWouldPutItBelow) {
  ProfileInput in;
  in.depthMm = layers(10);
  for (double x : in.depthMm) in.chloride.push_back(4.0 - 0.15 * x);
  in.ageYears = 10;
  in.background = Background::Fitted;
  const auto fit = fit_profile(in);
  ASSERT_TRUE(fit.ok()) << fit.refusal().message;
  EXPECT_TRUE(fit->backgroundAtBound);
  EXPECT_EQ(fit->backgroundUsed, 0.0);
  ASSERT_TRUE(fit->background);
  EXPECT_EQ(fit->background->lower, 0.0);
  EXPECT_GT(fit->background->upper, 0.0);
  EXPECT_EQ(fit->parameters, 3);
  std::vector<double> xs(in.depthMm.begin() + 1, in.depthMm.end());
  std::vector<double> ys(in.chloride.begin() + 1, in.chloride.end());
  const Reference ref = independent_fit(xs, ys, 10.0, true, 0.0);
  EXPECT_EQ(ref.ci, 0.0);
  EXPECT_TRUE(near_rel(fit->surface.value, ref.cs, 1e-6));
  EXPECT_TRUE(near_rel(fit->diffusion.value, ref.d, 1e-6));
  bool said = false;
  for (const auto& n : fit->notes) said = said || n.zh.find("取其下限 0") != std::string::npos;
  EXPECT_TRUE(said);
}

// A nearly flat profile: with the background zero any D from about 10⁴ mm²/a upwards fits the
// points within their noise (the unbounded estimate is ten times that, with R² about 0.1). The
// fit says that D is not determined and what to do, and hands nothing on.
TEST(ProfileFit, SaysWhenTheProfileDoesNotDetermineAParameter) {
  ProfileInput in;
  const double ys[] = {3.1, 2.9, 3.05, 2.95, 2.98, 3.02, 2.88, 2.97, 2.93, 2.9};
  for (int i = 0; i < 10; ++i) {
    in.depthMm.push_back(5.0 * (i + 0.5));
    in.chloride.push_back(ys[i]);
  }
  in.ageYears = 10;
  const auto fit = fit_profile(in);
  ASSERT_TRUE(fit.ok()) << fit.refusal().message;
  EXPECT_LT(fit->rSquared, 0.2);
  EXPECT_FALSE(fit->determined());
  EXPECT_TRUE(fit->diffusionOpen.above);
  EXPECT_FALSE(fit->diffusionOpen.below);
  EXPECT_FALSE(fit->surfaceOpen.any());
  EXPECT_EQ(fit->diffusion.upper, INFINITY);
  EXPECT_EQ(fit->diffusion.standardError, INFINITY);
  ASSERT_EQ(fit->verdict.size(), 2U);
  EXPECT_NE(fit->verdict[0].zh.find("无法确定表观扩散系数 D_a：大于"), std::string::npos)
      << fit->verdict[0].zh;
  EXPECT_NE(fit->verdict[1].zh.find("更深"), std::string::npos) << fit->verdict[1].zh;
  EXPECT_NE(fit->verdict[0].en.find("does not determine D_a"), std::string::npos);
  const SheetTransfer transfer = constant_sheet_transfer(*fit);
  EXPECT_TRUE(transfer.entries.empty());
  EXPECT_TRUE(transfer.scatter.empty());
  // With the background fitted the advice names it.
  in.background = Background::Fitted;
  in.chloride = {3.1, 2.9, 3.05, 2.95, 2.98, 3.02, 2.88, 2.97, 2.93, 2.5};
  const auto withBackground = fit_profile(in);
  if (withBackground.ok() && !withBackground->determined()) {
    EXPECT_NE(withBackground->verdict.back().zh.find("背景"), std::string::npos);
  }
}

// The set-up: three parameters, noise of 3 % of C_s, 8 to 12 layers down to 35-59 mm,
// over 300 cores. Every estimate equals the independent solver's to 1e-3; the background is
// never below zero; the 95 % intervals hold the true values of C_s, D and C_i at their stated
// rate (300 cores: a rate of 0.95 lies within 0.92-0.98 with a probability of 0.99; holding
// C_i at its bound makes the intervals a little conservative, hence up to 0.99); and a fit that
// does not determine its parameters hands nothing on.
TEST(ProfileFit, IntervalsCoverOnCoresWhoseProfileHardlyTellsTheParametersApart) {
  std::mt19937_64 rng(23);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const int cores = 300;
  int dIn = 0, csIn = 0, ciIn = 0, fitted = 0, atBound = 0;
  for (int k = 0; k < cores; ++k) {
    const Truth truth{3 + 5 * u(rng), 10 * std::pow(15.0, u(rng)), 0.05 + 0.45 * u(rng)};
    const double t = 5 + 25 * u(rng);
    const int n = 8 + static_cast<int>(u(rng) * 5);
    const double deepest = 35 + 24 * u(rng);
    std::normal_distribution<double> noise(0.0, 0.03 * truth.cs);
    ProfileInput in = profile(truth, t, layers(n, deepest / (n - 0.5)), Background::Fitted);
    for (double& v : in.chloride) v = std::max(0.0, v + noise(rng));
    const auto fit = fit_profile(in);
    ASSERT_TRUE(fit.ok()) << k << ": " << fit.refusal().message;
    ++fitted;
    SCOPED_TRACE(k);
    std::vector<double> xs(in.depthMm.begin() + 1, in.depthMm.end());
    std::vector<double> ys(in.chloride.begin() + 1, in.chloride.end());
    const Reference ref = independent_fit(xs, ys, t, true, 0.0);
    EXPECT_TRUE(near_rel(fit->surface.value, ref.cs, 1e-3));
    EXPECT_TRUE(near_rel(fit->diffusion.value, ref.d, 1e-3));
    EXPECT_NEAR(fit->backgroundUsed, ref.ci, 1e-3 * truth.cs);
    EXPECT_GE(fit->backgroundUsed, 0.0);
    ASSERT_TRUE(fit->background);
    EXPECT_GE(fit->background->lower, 0.0);
    atBound += fit->backgroundAtBound;
    dIn += fit->diffusion.lower <= truth.d && truth.d <= fit->diffusion.upper;
    csIn += fit->surface.lower <= truth.cs && truth.cs <= fit->surface.upper;
    ciIn += fit->background->lower <= truth.ci && truth.ci <= fit->background->upper;
    const SheetTransfer transfer = constant_sheet_transfer(*fit);
    EXPECT_EQ(transfer.scatter.empty(), !fit->determined());
  }
  for (int in : {dIn, csIn, ciIn}) {
    EXPECT_GE(in, 0.92 * fitted);
    EXPECT_LE(in, 0.99 * fitted);
  }
  // The bound is no rarity in this set-up: about a third of the cores.
  EXPECT_GT(atBound, cores / 10);
}

// ---- Output -------------------------------------------------------------------------------

TEST(ProfileFit, ChartsShowThePointsTheCurveAndTheResiduals) {
  const Truth truth{5.0, 30.0, 0.3};
  ProfileInput in = profile(truth, 10.0, layers(8), Background::Given);
  in.chloride[0] = 3.0;  // a washed-out outer layer, left out of the regression
  const auto fit = fit_profile(in);
  ASSERT_TRUE(fit.ok());
  const curves::Chart chart = profile_chart(*fit);
  ASSERT_EQ(chart.series.size(), 3U);
  EXPECT_EQ(chart.series[1].points.size(), 7U);
  ASSERT_EQ(chart.series[2].points.size(), 1U);
  EXPECT_EQ(chart.series[2].points[0].y, 3.0);
  for (const auto& p : chart.series[0].points) EXPECT_NEAR(p.y, curve(truth, p.x, 10.0), 1e-6);
  const curves::Chart residuals = residual_chart(*fit);
  ASSERT_EQ(residuals.series.size(), 2U);
  EXPECT_NEAR(residuals.series[1].points[0].y, 3.0 - curve(truth, in.depthMm[0], 10.0), 1e-6);
}

// The fitted D (cm²/a) and C_s typed into the constant-coefficient sheet reach its model as
// the fit gave them; a value outside a box's range is handed on with a note.
TEST(ProfileFit, FeedsTheConstantCoefficientSheet) {
  const sheet::Module& sheet = *modules::find_module("chloride-constant");
  const Truth truth{5.2, 85.0, 0.2};  // 0.85 cm²/a
  ProfileInput measured = profile(truth, 18.0, layers(10), Background::Given);
  for (std::size_t i = 0; i < measured.chloride.size(); ++i) {
    measured.chloride[i] += i % 2 ? 0.04 : -0.04;
  }
  const auto fit = fit_profile(measured);
  ASSERT_TRUE(fit.ok());
  ASSERT_TRUE(fit->determined());
  const SheetTransfer transfer = constant_sheet_transfer(*fit);
  EXPECT_TRUE(transfer.outOfRange.empty());
  ASSERT_EQ(transfer.entries.size(), 3U);
  ASSERT_EQ(transfer.scatter.size(), 2U);
  // The longer side of each interval over t; D's as the CoV of a lognormal law with that
  // deviation of ln D.
  const double q = fit->tQuantile;
  const double lnD = std::log(fit->diffusion.value);
  const double lnSd =
      std::max(lnD - std::log(fit->diffusion.lower), std::log(fit->diffusion.upper) - lnD) / q;
  EXPECT_NEAR(transfer.scatter[0].scatter.cov, std::sqrt(std::exp(lnSd * lnSd) - 1), 1e-12);
  EXPECT_EQ(transfer.scatter[0].scatter.dist, mc::Distribution::Lognormal);
  const double csSd =
      std::max(fit->surface.value - fit->surface.lower, fit->surface.upper - fit->surface.value) /
      q;
  EXPECT_NEAR(transfer.scatter[1].scatter.cov, csSd / fit->surface.value, 1e-12);
  EXPECT_GT(transfer.scatter[1].scatter.cov, 1e-3);

  using sheet::Control;
  std::vector<batch::Entry> member = {
      {Control::Text1, "1.5"}, {Control::Text2, "20"},  {Control::Text3, "0.8"},
      {Control::Text4, "30"},  {Control::Text5, "40"},  {Control::Text9, "1.4"},
      {Control::Text13, "20"}, {Control::Text14, "20"}, {Control::Combo1, "2 变形钢筋"}};
  member.insert(member.end(), transfer.entries.begin(), transfer.entries.end());
  const batch::CaseResult r = batch::run_case(sheet, member);
  ASSERT_TRUE(r.done) << (r.message ? r.message->text : "");
  const auto& run = std::get<model::ChlorideConstantRun>(r.run);
  EXPECT_NEAR(run.in.Dcm2, fit->diffusionCm2PerYear(), 5e-4 * fit->diffusionCm2PerYear());
  EXPECT_NEAR(run.in.Cs, fit->surface.value, 5e-4 * fit->surface.value);
  EXPECT_EQ(run.in.t, 18.0);

  // 12 cm²/a is beyond the box's 8.0: the text is handed on and the note says so.
  const auto fast =
      fit_profile(profile({5.0, 1200.0, 0.2}, 18.0, layers(10, 10.0), Background::Given));
  ASSERT_TRUE(fast.ok());
  const SheetTransfer refused = constant_sheet_transfer(*fast);
  ASSERT_EQ(refused.outOfRange.size(), 1U);
  EXPECT_NE(refused.outOfRange[0].zh.find("0.2--8"), std::string::npos) << refused.outOfRange[0].zh;
  EXPECT_EQ(sheet::numeric_prefix(refused.entries[1].text), 12.0);
}

}  // namespace
}  // namespace pellucor::analysis::inspect
