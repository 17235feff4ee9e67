#include "model/chloride_variable.hpp"

#include <cmath>

#include "model/erf.hpp"

namespace pellucor::model {

namespace {

struct VariablePass {
  const ChlorideVariableInput& in;
  ChlorideVariableResult& r;
  bool derived = false;  // the pass-invariant values are computed in the first pass

  std::optional<StopReason> before(double, PropagationInput& p) {
    if (!derived) {
      const auto zx = fun_erf_fan(1 - in.Cx / in.Cs);
      const auto zcr = fun_erf_fan(1 - in.Ccr / in.Cs);
      if (!zx || !zcr) return StopReason::NoInverse;
      r.zx = *zx;
      r.zcr = *zcr;
      r.D = std::pow(r.x, 2) / (4 * in.t * std::pow(r.zx, 2));
      if (!(r.D > 0) || !model::printable(r.D)) return StopReason::InvalidDiffusion;
      r.g = 1 / (1 - in.m);
      r.ti = std::pow(
          std::pow(r.c, 2) / (4 * r.D * std::pow(in.t, in.m) * std::pow(r.zcr, 2) * r.g), r.g);
      r.K = 2 * r.zcr * std::sqrt(r.D);
      if (!model::printable({r.g, r.ti, r.K})) return StopReason::NotFinite;
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

ChlorideVariableResult run_chloride_variable(const ChlorideVariableInput& in,
                                             IterationObserver<ChlorideVariableResult>* observer) {
  ChlorideVariableResult r;
  r.c = in.coverMm / 1000;
  r.d = in.dMm / 1000;
  r.x = in.xMm / 1000;
  RateInput rate;
  rate.fcu = in.fcu;
  rate.T = in.T;
  rate.RH = in.RH;
  rate.Ke = in.Ke;
  PropagationInput p;
  p.c = in.coverMm;  // the values typed, in millimetres
  p.d = in.dMm;
  p.fcu = in.fcu;
  p.t = in.t;
  p.kind = in.kind;
  VariablePass pass{in, r};
  r.stop =
      iterate_cracking_time(in.tcStart, rate, RateScaling::DivideAfterKe, p, r, pass, observer);
  return r;
}

}  // namespace pellucor::model
