#include "model/chloride_constant.hpp"

#include <cmath>

#include "model/erf.hpp"

namespace pellucor::model {

namespace {

struct ConstantPass {
  const ChlorideConstantInput& in;
  ChlorideConstantResult& r;
  bool derived = false;  // the pass-invariant values are computed in the first pass

  std::optional<StopReason> before(double, PropagationInput& p) {
    if (!derived) {
      if (r.D == 0) {
        if (in.source == DiffusionSource::MeasuredProfile) {
          r.zx = fun_erf_fan(1 - in.Cx / in.Cs);
          if (!r.zx) return StopReason::NoInverse;
          r.D = std::pow(r.x, 2) / (4 * in.t * std::pow(*r.zx, 2));
        } else {
          r.D = (7.08 * in.wc - 1.846) * (0.0447 * in.T - 0.052) / 10000;
        }
        if (!(r.D > 0) || !model::printable(r.D)) return StopReason::InvalidDiffusion;
      }
      const auto zcr = fun_erf_fan(1 - in.Ccr / in.Cs);
      if (!zcr) return StopReason::NoInverse;
      r.zcr = *zcr;
      r.K = 2 * r.zcr * std::sqrt(r.D);
      r.ti = std::pow(r.c / r.K, 2);
      if (!model::printable({r.zcr, r.K, r.ti})) return StopReason::NotFinite;
      derived = true;
    }
    p.ti = r.ti;
    return std::nullopt;
  }

  std::optional<StopReason> concentrations(double tcStar, RateInput& rate) {
    r.Cb = in.Cs * (1 - fun_erf_fine(r.c / (2 * std::sqrt(r.D * tcStar))));
    r.Cm = (in.Cs + r.Cb) / 2;
    rate.cr = r.Cm;
    rate.cl = r.Cb;
    return std::nullopt;
  }

  bool printable() const { return model::printable({r.D, r.K, r.ti, r.Cb, r.Cm}); }
};

}  // namespace

ChlorideConstantResult run_chloride_constant(const ChlorideConstantInput& in,
                                             IterationObserver<ChlorideConstantResult>* observer) {
  ChlorideConstantResult r;
  r.c = in.coverMm / 1000;
  r.d = in.dMm / 1000;
  r.x = in.xMm / 1000;
  r.D = in.Dcm2 / 10000;
  RateInput rate;
  rate.fcu = in.fcu;
  rate.T = in.T;
  rate.RH = in.RH;
  rate.Ke = in.Ke;
  PropagationInput p;
  p.c = r.c * 1000;
  p.d = r.d * 1000;
  p.fcu = in.fcu;
  p.t = in.t;
  p.kind = in.kind;
  ConstantPass pass{in, r};
  r.stop =
      iterate_cracking_time(in.tcStart, rate, RateScaling::DivideAfterKe, p, r, pass, observer);
  return r;
}

}  // namespace pellucor::model
