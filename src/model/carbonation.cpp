#include "model/carbonation.hpp"

#include <algorithm>
#include <cmath>

#include "model/chloride_rate.hpp"
#include "model/printable.hpp"

namespace pellucor::model {

double carbonation_coefficient(const CarbonationInput& in) {
  // The measured depth wins over the CO2 coefficient.
  if (in.x != 0) return in.x / std::sqrt(in.t);
  const double Ks = steel_coefficients(in.kind).carbonationFactor;
  const double Kw = in.condition == WorkingCondition::Indoor ? 1.0 : 1.1;
  return 3 * in.kco2 * Ks * 1.2 * Kw * std::pow(in.T, 0.25) * std::pow(in.RH, 1.5) * (1 - in.RH) *
         (58 / in.fcu - 0.76);
}

CarbonationResult run_carbonation(const CarbonationInput& in) {
  CarbonationResult r;
  const SteelCoefficients& steel = steel_coefficients(in.kind);
  const bool indoor = in.condition == WorkingCondition::Indoor;
  r.Ks = steel.carbonationFactor;
  r.Kr = steel.rateFactor;
  r.Kw = indoor ? 1.0 : 1.1;
  r.RH = in.RH;

  r.k = carbonation_coefficient(in);
  // k = 0 (humidity 1.0 on the CO2 path) makes the initiation time divide by zero.
  if (!(r.k > 0) || !printable(r.k)) {
    r.stop = StopReason::ZeroCarbonation;
    return r;
  }

  // Corrected cover; the cap on k applies only inside the exponent.
  if (in.c <= 28) {
    r.cPrime = in.c;
  } else {
    r.cPrime = in.c + 0.066 * std::pow(in.c - 28, 0.47 * std::min(r.k, 3.3));
  }
  r.x0 = (1.2 - 0.35 * std::sqrt(r.k)) * r.cPrime - 6 * (1.5 + 0.84 * r.k) / (in.m + 1.6);
  r.ti = std::pow((in.c - r.x0) / r.k, 2);

  // The rate uses the humidity capped at 0.8.
  if (r.RH > 0.8) r.RH = 0.8;
  const double base = indoor ? r.RH - 0.5 : r.RH - 0.45;
  if (!(base > 0)) {
    r.stop = StopReason::InvalidHumidity;
    return r;
  }
  const double front = indoor ? 5.38 : 7.53;
  r.lambda0 = front * r.Kr * in.m * (0.75 + 0.0125 * in.T) * std::pow(base, 2.0 / 3.0) *
              std::pow(in.fcu, -1.8) * std::pow(in.c, -0.675);

  PropagationInput p;
  p.ti = r.ti;
  p.lambda0 = r.lambda0;
  p.s = kCarbonationSlope;
  p.c = in.c;
  p.d = in.d;
  p.fcu = in.fcu;
  p.t = in.t;
  p.kind = in.kind;
  r.propIn = p;
  if (auto stop = propagate(p, r.prop)) {
    r.stop = stop;
    return r;
  }
  if (!printable({r.k, r.cPrime, r.x0, r.ti, r.lambda0}) || !printable(r.prop)) {
    r.stop = StopReason::NotFinite;
  }
  return r;
}

}  // namespace pellucor::model
