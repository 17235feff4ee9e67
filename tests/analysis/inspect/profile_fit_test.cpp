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
// follow in closed form; what remains is a function of ln D alone, minimised by golden-section
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
  auto ssr = [&](double lnD) { return project(x, y, t, std::exp(lnD), fitCi, ci).ssr; };
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
      EXPECT_NEAR(ciIn / double(trials), 0.95, 0.025);
    }
    const double mean = sumCs / trials;
    const double sd = std::sqrt(sumCs2 / trials - mean * mean);
    EXPECT_NEAR(sumSe / trials / sd, 1.0, 0.1);
    EXPECT_NEAR(mean, truth.cs, 3 * sd / std::sqrt(double(trials)));
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
  // The good profile itself fits, with six of its seven points as the least it needs.
  EXPECT_TRUE(fit_profile(good).ok());
}

// A straight falling line with the background free: the diffusion coefficient runs away to
// infinity while C_s and C_i run apart, so no estimate exists.
TEST(ProfileFit, RefusesAProfileWhoseParametersCannotBeToldApart) {
  ProfileInput in;
  in.depthMm = layers(10);
  for (double x : in.depthMm) in.chloride.push_back(4.0 - 0.15 * x);
  in.ageYears = 10;
  in.background = Background::Fitted;
  const auto fit = fit_profile(in);
  ASSERT_FALSE(fit.ok());
  EXPECT_TRUE(fit.refusal().kind == ProfileRefusal::NotDetermined ||
              fit.refusal().kind == ProfileRefusal::NoConvergence)
      << fit.refusal().message;
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
  const auto fit = fit_profile(profile(truth, 18.0, layers(10), Background::Given));
  ASSERT_TRUE(fit.ok());
  const SheetTransfer transfer = constant_sheet_transfer(*fit);
  EXPECT_TRUE(transfer.outOfRange.empty());
  ASSERT_EQ(transfer.entries.size(), 3U);
  ASSERT_EQ(transfer.scatter.size(), 2U);
  EXPECT_NEAR(transfer.scatter[0].scatter.cov, fit->diffusion.cov(), 1e-15);

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
  EXPECT_NE(refused.outOfRange[0].find("0.2--8"), std::string::npos) << refused.outOfRange[0];
  EXPECT_EQ(sheet::numeric_prefix(refused.entries[1].text), 12.0);
}

}  // namespace
}  // namespace pellucor::analysis::inspect
