#include "model/admixed.hpp"

#include <cmath>

namespace pellucor::model {

namespace {

struct AdmixedPass {
  const AdmixedInput& in;
  AdmixedResult& r;

  std::optional<StopReason> before(double, PropagationInput& p) {
    p.ti = 0;  // the chloride is at the steel from the day of casting
    return std::nullopt;
  }
  std::optional<StopReason> concentrations(double tcStar, RateInput& rate) {
    r.Ce = in.C0 * (0.368 + 11.1 / (std::pow(in.C0, 0.9) * std::pow(tcStar, 0.93)));
    rate.cr = in.C0;
    rate.cl = r.Ce;
    return std::nullopt;
  }
  bool printable() const { return model::printable(r.Ce); }
};

}  // namespace

AdmixedResult run_admixed(const AdmixedInput& in, IterationObserver<AdmixedResult>* observer) {
  AdmixedResult r;
  AdmixedPass pass{in, r};
  r.stop = iterate_chloride_model(in, RateScaling::MilliBeforeKe, in.c, in.d, r, pass, observer);
  return r;
}

}  // namespace pellucor::model
