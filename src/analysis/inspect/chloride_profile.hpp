// The chloride profile of a core: chloride contents of ground layers against depth, fitted
// with the error-function solution of the diffusion equation
//
//   C(x) = C_i + (C_s - C_i) * (1 - erf(x / (2 * sqrt(D_a * t))))
//
// by nonlinear least squares, after the conventions of ASTM C1556 and NT Build 443: each
// layer's content at the mid-depth of the layer, the outermost layer left out on request, at
// least six points in the regression, every point with the same weight, the background
// content C_i known, zero or fitted (and then never below zero: a fit that would put it there
// holds it at 0). The error function is the library's true one: the fit describes the measured
// concrete, it is not a result of a sheet.
//
// The 95 % intervals are profile-likelihood intervals (Bates and Watts, "Nonlinear Regression
// Analysis and Its Applications", 1988, the chapter on graphical summaries): a value of a parameter
// lies inside when, with the other parameters at their best for it, the sum of squared residuals
// exceeds the least one by no more than s² t²(0.975, n - p). They follow the curvature of the model
// where the symmetric interval estimate ± t·SE does not, and they show when the data do not
// determine a parameter: an interval that stays open on one side (any value beyond fits the
// points within their noise). Such a fit gives no value to a sheet and no scatter to a
// reliability analysis.
//
// The fitted D_a and C_s feed the constant-coefficient chloride sheet (D in its cm²/a), and
// their standard errors the scatter of those boxes in a reliability analysis.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/curves/curves.hpp"
#include "analysis/inspect/transfer.hpp"
#include "analysis/outcome.hpp"
#include "analysis/text/bilingual.hpp"

namespace pellucor::analysis::inspect {

// How the chloride contents were measured.
enum class ChlorideUnit {
  KgPerCubicMetre,    // kg of chloride per m³ of concrete
  PercentOfConcrete,  // % by mass of concrete: times the density / 100
  PercentOfBinder,    // % by mass of binder: times the binder content / 100
};

// What the background content C_i is.
enum class Background {
  Zero,    // none: C_i = 0
  Given,   // known (from concrete the chloride has not reached) and held fixed
  Fitted,  // a third parameter of the fit
};

struct ProfileInput {
  std::vector<double> depthMm;   // mid-depth of each ground layer below the exposed surface
  std::vector<double> chloride;  // content of each layer, in `unit`
  ChlorideUnit unit = ChlorideUnit::KgPerCubicMetre;
  double densityKgM3 = 0;  // concrete density, for PercentOfConcrete
  double binderKgM3 = 0;   // binder content, for PercentOfBinder
  double ageYears = 0;     // exposure time t when the core was taken
  Background background = Background::Zero;
  double backgroundValue = 0;      // Given: C_i in `unit`
  bool leaveOutFirstLayer = true;  // the outermost layer stays out of the regression
  int minimumPoints = 6;           // points in the regression at the least

  bool operator==(const ProfileInput&) const = default;
};

// Plausible concrete densities and binder contents; a value outside is taken for a typing
// slip and refused rather than turned into a profile.
inline constexpr double kDensityLow = 1500, kDensityHigh = 3000;  // kg/m³
inline constexpr double kBinderLow = 150, kBinderHigh = 1000;     // kg/m³
// The fewest points in the regression a user may ask for instead of the conventional six; a
// regression with no more points than parameters is refused on its own.
inline constexpr int kFewestPointsAllowed = 1;
// Bound on the iterations of the least-squares solver; a fit of two or three parameters from
// the scan's start settles in well under 50.
inline constexpr int kMaxIterations = 200;
// Seconds in a year of 365.25 days, for D in m²/s.
inline constexpr double kSecondsPerYear = 365.25 * 86400.0;

enum class ProfileRefusal {
  NoAge,                // the age is missing, zero, negative or not a number
  LengthsDiffer,        // not one content per depth
  NotANumber,           // a depth or a content is not a finite number
  NegativeDepth,        // a depth at or below zero
  DepthsNotIncreasing,  // depths do not increase from the surface inwards
  NegativeContent,      // a content below zero
  BadConversion,        // density or binder content missing or implausible
  BadBackground,        // a given background that is negative or not a number
  BadMinimum,           // a minimum number of points below kFewestPointsAllowed
  TooFewPoints,         // fewer points in the regression than the minimum
  NotMorePointsThanParameters,
  DoesNotFall,    // the profile does not fall with depth
  NoConvergence,  // the solver did not settle within its bound
  NotDetermined,  // the parameters cannot be told apart from this profile
};

// An estimate with its standard error and its 95 % interval (profile likelihood; an end the
// data leave open is an infinity, or 0 for D, see ProfileFit's open flags). The standard error
// is the one the interval implies: its width over 2 t(0.975, n - p), in the parameter's own
// scale (ln D for D, given as D times that of ln D). Where the curve is linear in a parameter it
// is the usual one from the curvature of the sum of squares; where it is not, it keeps the
// scatter handed to a reliability analysis in step with the interval shown.
struct Estimate {
  double value = 0;
  double standardError = 0;
  double lower = 0;
  double upper = 0;

  double cov() const { return value != 0 ? standardError / value : 0; }
  bool operator==(const Estimate&) const = default;
};

struct ProfilePoint {
  double depthMm = 0;
  double observed = 0;  // kg/m³
  double fitted = 0;    // kg/m³, the fitted curve at this depth (also for a point left out)
  double residual = 0;  // observed - fitted
  bool used = true;     // in the regression
};

// Which ends of a parameter's 95 % interval the data leave open: every value beyond the end
// of the range searched fits the points within their noise.
struct OpenEnds {
  bool below = false;
  bool above = false;

  bool any() const { return below || above; }
  bool operator==(const OpenEnds&) const = default;
};

// The parameters of the curve, in the order of the fit.
enum class ProfileParameter { Surface, Diffusion, Background };

struct ProfileFit {
  Estimate surface;                    // C_s, kg/m³
  Estimate diffusion;                  // D_a, mm²/a; its standard error from that of ln D_a
  std::optional<Estimate> background;  // C_i, kg/m³, when it was fitted
  double backgroundUsed = 0;           // C_i of the curve, kg/m³ (zero, given or fitted)
  // A fitted background that the unbounded fit puts below zero is held at 0: the curve is the
  // best one with C_i >= 0, and the interval of C_i starts at 0.
  bool backgroundAtBound = false;
  OpenEnds surfaceOpen;
  OpenEnds diffusionOpen;
  OpenEnds backgroundOpen;
  double ageYears = 0;
  double rSquared = 0;    // 1 - SSR / SST over the points in the regression
  double residualSd = 0;  // sqrt(SSR / (n - p)), kg/m³
  int pointsUsed = 0;     // n
  int parameters = 0;     // p
  int iterations = 0;
  double tQuantile = 0;  // t(0.975, n - p) of the intervals
  std::vector<ProfilePoint> points;
  std::vector<text::Bilingual> notes;  // what the user should know about this fit

  // What the data do not determine, with what to do about it: empty when every interval is
  // closed.
  std::vector<text::Bilingual> verdict;

  // Whether every parameter's interval is closed: only then does the fit hand values and
  // scatter on.
  bool determined() const {
    return !surfaceOpen.any() && !diffusionOpen.any() && !backgroundOpen.any();
  }
  // The standard error of ln D_a (the fit's parameter).
  double lnDiffusionSe() const {
    return diffusion.value > 0 ? diffusion.standardError / diffusion.value : 0;
  }
  double diffusionCm2PerYear() const { return diffusion.value / 100.0; }
  double diffusionM2PerSecond() const { return diffusion.value * 1e-6 / kSecondsPerYear; }
  // The fitted curve at a depth, kg/m³.
  double at(double depthMm) const;
};

Outcome<ProfileFit, ProfileRefusal> fit_profile(const ProfileInput& in);

// A content in the unit of the input converted to kg/m³ (the input's density or binder
// content, which fit_profile checks).
double to_kg_per_m3(const ProfileInput& in, double content);

// The chart of the points and the fitted curve against depth (the points left out as a
// series of their own), and the chart of the residuals.
curves::Chart profile_chart(const ProfileFit& fit);
curves::Chart residual_chart(const ProfileFit& fit);

// What the fit gives the constant-coefficient chloride sheet: the texts of its inspection-age,
// diffusion-coefficient and surface-concentration boxes (D and C_s to four significant digits,
// far finer than their standard errors), and the scatter of the last two for a reliability
// analysis, each from the longer side of its 95 % interval over t(0.975, n - p), so that the
// 95 % interval of the law handed on holds the whole interval of the fit (which need not be
// symmetric): C_s normal, CoV = that deviation / C_s; D lognormal, with the CoV of a lognormal
// law whose logarithm has that deviation in ln D, sqrt(exp(s²) - 1) (the analysis reads a
// lognormal CoV as that of the value, not of its logarithm). Nothing at all for a fit that does
// not determine its parameters (see ProfileFit::determined).
SheetTransfer constant_sheet_transfer(const ProfileFit& fit);

// The CoV of a lognormal law whose logarithm has the standard deviation `lnSd`.
double lognormal_cov(double lnSd);

}  // namespace pellucor::analysis::inspect
