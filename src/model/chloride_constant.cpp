#include "model/chloride_constant.hpp"

#include <cmath>

#include "model/chloride_ingress.hpp"

namespace pellucor::model {

ChlorideConstantResult run_chloride_constant(const ChlorideConstantInput& in,
                                             IterationObserver<ChlorideConstantResult>* observer) {
  ChlorideConstantResult r;
  r.c = in.coverMm / 1000;
  r.d = in.dMm / 1000;
  r.x = in.xMm / 1000;
  r.D = in.Dcm2 / 10000;
  // The coefficient (unless typed), the critical profile argument, the erosion coefficient and
  // the initiation time.
  auto derive = [&]() -> std::optional<StopReason> {
    if (r.D == 0) {
      if (in.source == DiffusionSource::MeasuredProfile) {
        r.zx = fun_erf_fan(1 - in.Cx / in.Cs);
        if (!r.zx) return StopReason::NoInverse;
        r.D = diffusion_from_profile(r.x, in.t, *r.zx);
      } else {
        r.D = diffusion_from_water_cement(in.wc, in.T);
      }
      if (!(r.D > 0) || !model::printable(r.D)) return StopReason::InvalidDiffusion;
    }
    const auto zcr = fun_erf_fan(1 - in.Ccr / in.Cs);
    if (!zcr) return StopReason::NoInverse;
    r.zcr = *zcr;
    r.K = erosion_coefficient(r.zcr, r.D);
    r.ti = std::pow(r.c / r.K, 2);
    if (!model::printable({r.zcr, r.K, r.ti})) return StopReason::NotFinite;
    return std::nullopt;
  };
  FineProfilePass<ChlorideConstantResult, decltype(derive)> pass{in.Cs, r, derive};
  // Cover and diameter reach the propagation steps converted to metres and back (as the
  // sheet echoes them), which is not always the value typed.
  r.stop = iterate_chloride_model(in, RateScaling::DivideAfterKe, r.c * 1000, r.d * 1000, r, pass,
                                  observer);
  return r;
}

double chloride_constant_concentration(const ChlorideConstantInput& in,
                                       const ChlorideConstantResult& r, double x, double tau) {
  if (!(tau > 0)) return x > 0 ? 0.0 : in.Cs;
  return in.Cs * (1 - fine_profile_erf(x, r.D, tau));
}

}  // namespace pellucor::model
