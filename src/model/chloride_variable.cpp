#include "model/chloride_variable.hpp"

#include <cmath>

#include "model/chloride_ingress.hpp"

namespace pellucor::model {

ChlorideVariableResult run_chloride_variable(const ChlorideVariableInput& in,
                                             IterationObserver<ChlorideVariableResult>* observer) {
  ChlorideVariableResult r;
  r.c = in.coverMm / 1000;
  r.d = in.dMm / 1000;
  r.x = in.xMm / 1000;
  // The apparent coefficient at the inspection age, the age exponent's initiation time and the
  // erosion coefficient.
  auto derive = [&]() -> std::optional<StopReason> {
    const auto zx = fun_erf_fan(1 - in.Cx / in.Cs);
    const auto zcr = fun_erf_fan(1 - in.Ccr / in.Cs);
    if (!zx || !zcr) return StopReason::NoInverse;
    r.zx = *zx;
    r.zcr = *zcr;
    r.D = diffusion_from_profile(r.x, in.t, r.zx);
    if (!(r.D > 0) || !model::printable(r.D)) return StopReason::InvalidDiffusion;
    r.g = 1 / (1 - in.m);
    r.ti = std::pow(std::pow(r.c, 2) / (4 * r.D * std::pow(in.t, in.m) * std::pow(r.zcr, 2) * r.g),
                    r.g);
    r.K = erosion_coefficient(r.zcr, r.D);
    if (!model::printable({r.g, r.ti, r.K})) return StopReason::NotFinite;
    return std::nullopt;
  };
  FineProfilePass<ChlorideVariableResult, decltype(derive)> pass{in.Cs, r, derive};
  // The cover and diameter typed, in millimetres.
  r.stop =
      iterate_chloride_model(in, RateScaling::DivideAfterKe, in.coverMm, in.dMm, r, pass, observer);
  return r;
}

double chloride_variable_concentration(const ChlorideVariableInput& in,
                                       const ChlorideVariableResult& r, double x, double tau) {
  if (!(tau > 0)) return x > 0 ? 0.0 : in.Cs;
  const double Dt = r.D * std::pow(in.t, in.m) * r.g;
  return in.Cs * (1 - fun_erf_fine(x / (2 * std::sqrt(Dt * std::pow(tau, 1 - in.m)))));
}

}  // namespace pellucor::model
