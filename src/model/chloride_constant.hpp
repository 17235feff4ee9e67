// Chloride ingress with a constant diffusion coefficient: the coefficient typed, or derived
// from a measured profile or from the water-cement ratio; erosion coefficient and initiation
// time; then the cracking-time iteration with the fine error function.
#pragma once

#include <optional>

#include "model/chloride_profile.hpp"

namespace pellucor::model {

enum class DiffusionSource { MeasuredProfile, WaterCementRatio };

// Inputs in the units typed; the model converts them (mm to m, cm2/a to m2/a) as read.
struct ChlorideConstantInput {
  double Ke = 0;       // local environment coefficient
  double T = 0;        // ambient temperature, deg C
  double RH = 0;       // relative humidity, fraction
  double fcu = 0;      // concrete strength, MPa
  double coverMm = 0;  // cover thickness, mm
  double t = 0;        // inspection age, a
  double Dcm2 = 0;     // diffusion coefficient, cm2/a (0: derive it)
  double Cs = 0;       // surface chloride concentration, kg/m3
  double Ccr = 0;      // critical chloride concentration, kg/m3
  double xMm = 0;      // measuring depth, mm
  double Cx = 0;       // measured chloride concentration, kg/m3
  double wc = 0;       // water-cement ratio
  double tcStart = 0;  // assumed cracking time, a
  double dMm = 0;      // steel diameter, mm
  SteelKind kind{};
  DiffusionSource source = DiffusionSource::MeasuredProfile;
};

struct ChlorideConstantResult : ProfileResult {
  std::optional<double> zx;  // profile argument at the measuring depth (when derived from it)
};

ChlorideConstantResult run_chloride_constant(
    const ChlorideConstantInput& in, IterationObserver<ChlorideConstantResult>* observer = nullptr);

// The chloride (kg/m3) at depth x (m) and age tau (a) of a completed run: C_s (1 - erf) with
// the fine error function at x / (2 sqrt(D tau)), the expression of the bar concentration in
// every pass. Before any time has passed only the surface holds chloride.
double chloride_constant_concentration(const ChlorideConstantInput& in,
                                       const ChlorideConstantResult& r, double x, double tau);

}  // namespace pellucor::model
