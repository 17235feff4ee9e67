// The chloride profile shared by the three models of chloride entering through the cover
// (constant and time-dependent coefficient, marine atmosphere): the diffusion coefficient
// derived from a measured profile or from the water-cement ratio, the erosion coefficient, and
// the chloride at the bar that drives the corrosion rate in every pass.
#pragma once

#include <cmath>
#include <optional>

#include "model/chloride_rate.hpp"
#include "model/erf.hpp"

namespace pellucor::model {

// D = x^2 / (4 t z_x^2), m2/a, from the measuring depth x (m), the inspection age t (a) and the
// profile argument z_x at that depth.
double diffusion_from_profile(double x, double t, double zx);
// D = (7.08 w/c - 1.846)(0.0447 T - 0.052) / 10000, m2/a.
double diffusion_from_water_cement(double wc, double T);
// K = 2 z_cr sqrt(D), m/a^0.5.
double erosion_coefficient(double zcr, double D);

// The chloride at the bar for one assumed cracking time, from the error function's value at
// the bar: C_b = C_s (1 - erf), the mean over the cover C_m = (C_s + C_b) / 2. C_m enters the
// resistance term of the rate, C_b its logarithm. `Result` has members Cb and Cm.
template <class Result>
void bar_concentrations(double Cs, double erfAtBar, Result& r, RateInput& rate) {
  r.Cb = Cs * (1 - erfAtBar);
  r.Cm = (Cs + r.Cb) / 2;
  rate.cr = r.Cm;
  rate.cl = r.Cb;
}

// The error function of the profile at depth x (m) after tau years with the coefficient D
// (m2/a): the fine routine at x / (2 sqrt(D tau)), as the passes take the chloride at the bar.
inline double fine_profile_erf(double x, double D, double tau) {
  return fun_erf_fine(x / (2 * std::sqrt(D * tau)));
}

// The pass of the two models whose profile values are derived inside the first pass (after the
// pass has begun, so that a stop there still shows the assumed cracking time): `derive` runs
// once and sets D, K and t_i of the record; every pass then takes the chloride at the bar
// with the fine error function at c / (2 sqrt(D t_c*)).
template <class Result, class Derive>
struct FineProfilePass {
  double Cs = 0;
  Result& r;
  Derive derive;
  bool derived = false;

  std::optional<StopReason> before(double, PropagationInput& p) {
    if (!derived) {
      if (auto stop = derive()) return stop;
      derived = true;
    }
    p.ti = r.ti;
    return std::nullopt;
  }
  std::optional<StopReason> concentrations(double tcStar, RateInput& rate) {
    bar_concentrations(Cs, fine_profile_erf(r.c, r.D, tcStar), r, rate);
    return std::nullopt;
  }
  bool printable() const { return model::printable({r.D, r.K, r.ti, r.Cb, r.Cm}); }
};

}  // namespace pellucor::model
