// The chloride profile of a core: chloride contents of ground layers against depth, fitted
// with the error-function solution of the diffusion equation
//
//   C(x) = C_i + (C_s - C_i) * (1 - erf(x / (2 * sqrt(D_a * t))))
//
// by nonlinear least squares, after the conventions of ASTM C1556 and NT Build 443: each
// layer's content at the mid-depth of the layer, the outermost layer left out on request, at
// least six points in the regression, every point with the same weight, the background
// content C_i known, zero or fitted. The error function is the library's true one: the fit
// describes the measured concrete, it is not a result of a sheet.
//
// The fitted D_a and C_s feed the constant-coefficient chloride sheet (D in its cm²/a), and
// their standard errors the scatter of those boxes in a reliability analysis.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/curves/curves.hpp"
#include "analysis/inspect/refusal.hpp"
#include "analysis/inspect/transfer.hpp"

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
// Bound on the iterations of the least-squares solver.
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

// An estimate with its standard error and its 95 % interval.
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

struct ProfileFit {
  Estimate surface;                    // C_s, kg/m³
  Estimate diffusion;                  // D_a, mm²/a; its interval is symmetric in ln D_a
  std::optional<Estimate> background;  // C_i, kg/m³, when it was fitted
  double backgroundUsed = 0;           // C_i of the curve, kg/m³ (zero, given or fitted)
  double ageYears = 0;
  double rSquared = 0;    // 1 - SSR / SST over the points in the regression
  double residualSd = 0;  // sqrt(SSR / (n - p)), kg/m³
  int pointsUsed = 0;     // n
  int parameters = 0;     // p
  int iterations = 0;
  double tQuantile = 0;  // t(0.975, n - p) of the intervals
  std::vector<ProfilePoint> points;
  std::vector<std::string> notes;         // Chinese: what the user should know about this fit
  std::vector<std::string> notesEnglish;  // the same for the console

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
// analysis: D lognormal (its interval is symmetric in ln D), C_s normal, each with the CoV
// standard error / estimate.
SheetTransfer constant_sheet_transfer(const ProfileFit& fit);

}  // namespace pellucor::analysis::inspect
