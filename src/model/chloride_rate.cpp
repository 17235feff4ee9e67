#include "model/chloride_rate.hpp"

#include <cmath>

namespace pellucor::model {

double strength_factor(double fcu) {
  if (fcu >= 40) return 11.1;
  if (fcu <= 30) return 5.6;
  return 5.6 + 0.55 * (fcu - 30);
}

std::optional<StopReason> corrosion_rate(const RateInput& in, RateScaling scaling, Rate& out) {
  out.q = 1.8 - in.cr;
  if (out.q < -1.8) out.q = -1.8;
  out.R = out.F * out.q + 10 * std::pow(1 - in.RH, 2) + 4;
  if (!(in.cl > 0.0)) return StopReason::NonPositiveConcentration;
  out.lnI = 0.618 * std::log(in.cl) + 8.617 - 3034 / (in.T + 273) - (5 / std::pow(10.0, 3)) * out.R;
  out.i = std::exp(out.lnI);
  if (scaling == RateScaling::DivideAfterKe) {
    out.lambda0 = 11.6 * out.i * in.Ke / 1000;
  } else {
    out.lambda0 = 11.6 * out.i * 0.001 * in.Ke;
  }
  return std::nullopt;
}

}  // namespace pellucor::model
