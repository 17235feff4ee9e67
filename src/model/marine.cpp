#include "model/marine.hpp"

#include <cmath>

#include "model/chloride_ingress.hpp"

namespace pellucor::model {

namespace {

// The searches cut the error function off above this argument and take 1 instead.
constexpr double kSearchErfCutoff = 2.36;
constexpr double kSearchStep = 0.5;       // a
constexpr double kSearchTolerance = 0.5;  // kg/m3

}  // namespace

double marine_search_erf(double u) {
  return u <= kSearchErfCutoff ? fun_erf_coarse(u) : 1;
}

double marine_profile_term(double x, double D, double tau) {
  const double u = 0.5 * x / std::sqrt(D * tau);
  const double e = marine_search_erf(u);
  return std::exp(-0.25 * x * x / D / tau) - std::sqrt(3.14159) * u * (1 - e);
}

double marine_growing_concentration(double k, double x, double D, double tau) {
  return k * std::sqrt(tau) * marine_profile_term(x, D, tau);
}

double marine_stable_concentration(double C1, double Cs, double x, double D, double t2) {
  const double u2 = 0.5 * x / std::sqrt(D * t2);
  const double e2 = marine_search_erf(u2);
  return C1 + (Cs - C1) * (1 - e2);
}

double marine_concentration(const MarineInput& in, double D, double x, double tau) {
  if (!(tau > 0)) return 0.0;  // no chloride has arrived, nor at the surface
  if (tau <= in.ts) return marine_growing_concentration(in.k, x, D, tau);
  const double C1 = in.Cs * marine_profile_term(x, D, in.ts);
  const double t2 = tau - in.ts;
  if (!(t2 > 0)) return C1;
  return marine_stable_concentration(C1, in.Cs, x, D, t2);
}

double marine_bar_concentration(const MarineInput& in, const MarineResult& r, double tau) {
  return marine_concentration(in, r.D, r.c, tau);
}

namespace {

// One half-year step search: moves `time` down while the concentration is above C_cr and up
// otherwise, until the concentration is within 0.5 kg/m3 of C_cr.
template <class Concentration>
std::optional<StopReason> search(double& time, int& rounds, double ccr, Concentration conc) {
  double c = 0;
  rounds = 0;
  do {
    if (rounds >= kMaxSearchRounds) return StopReason::SearchLimit;
    ++rounds;
    if (c > ccr) {
      time = time - kSearchStep;
    } else {
      time = time + kSearchStep;
    }
    // Zero ends the search; a time that stepped past zero has no square root either.
    if (!(time > 0)) return StopReason::SearchTimeNotPositive;
    c = conc(time);
    if (!printable(c)) return StopReason::NotFinite;
  } while (!(std::fabs(ccr - c) < kSearchTolerance));
  return std::nullopt;
}

struct MarinePass {
  MarineResult& r;
  double Cs;

  std::optional<StopReason> before(double, PropagationInput& p) {
    p.ti = r.ti;
    return std::nullopt;
  }
  // The coarse error function, its argument's root taken as the power 0.5.
  std::optional<StopReason> concentrations(double tcStar, RateInput& rate) {
    bar_concentrations(Cs, fun_erf_coarse(r.c / (2 * std::pow(r.D * tcStar, 0.5))), r, rate);
    return std::nullopt;
  }
  bool printable() const { return model::printable({r.Cb, r.Cm}); }
};

// Initiation time by the two searches, from the coefficients in `r`.
std::optional<StopReason> search_initiation(const MarineInput& in, MarineResult& r) {
  // First search: surface concentration growing as k sqrt(t).
  const double c = r.c;
  const double D = r.D;
  r.ti = in.tiStart;
  if (auto stop = search(r.ti, r.searchRounds, in.Ccr,
                         [&](double ti) { return marine_growing_concentration(in.k, c, D, ti); })) {
    return stop;
  }

  // Second search, when the first ended beyond the stable time: constant surface value.
  if (r.ti > in.ts) {
    const double C1 = in.Cs * marine_profile_term(c, D, in.ts);
    r.C1 = C1;
    double T2 = in.T2Start;
    auto stop = search(T2, r.secondSearchRounds, in.Ccr,
                       [&](double t2) { return marine_stable_concentration(C1, in.Cs, c, D, t2); });
    r.T2 = T2;
    if (stop) return stop;
    r.ti = in.ts + T2;
  }
  return std::nullopt;
}

}  // namespace

MarineResult marine_coefficients(const MarineInput& in) {
  MarineResult r;
  r.c = in.coverMm / 1000;
  r.d = in.dMm / 1000;
  r.x = in.xMm / 1000;
  r.D = in.Dcm2 / 10000;
  // Both profile arguments are computed whether or not they are used.
  const auto zx = fun_erf_fan(1 - in.Cx / in.Cs);
  const auto zcr = fun_erf_fan(1 - in.Ccr / in.Cs);
  if (!zx || !zcr) {
    r.stop = StopReason::NoInverse;
    return r;
  }
  r.zx = *zx;
  r.zcr = *zcr;

  if (r.D == 0) {
    if (in.source == DiffusionSource::MeasuredProfile) {
      r.D = diffusion_from_profile(r.x, in.t, r.zx);
    } else {
      r.D = diffusion_from_water_cement(in.wc, in.T);
    }
  }
  if (!(r.D > 0) || !printable(r.D)) {
    r.stop = StopReason::InvalidDiffusion;
    return r;
  }
  r.K = 2 * std::sqrt(r.D) * r.zcr;  // this order of the factors, not erosion_coefficient's
  return r;
}

void run_marine_from(const MarineInput& in, double ti, MarineResult& r,
                     IterationObserver<MarineResult>* observer) {
  r.ti = ti;
  if (!printable({r.K, r.ti})) {
    r.stop = StopReason::NotFinite;
    return;
  }
  MarinePass pass{r, in.Cs};
  // Cover and diameter converted to metres and back, as in the constant-coefficient model.
  r.stop = iterate_chloride_model(in, RateScaling::DivideAfterKe, r.c * 1000, r.d * 1000, r, pass,
                                  observer);
}

MarineResult run_marine(const MarineInput& in, IterationObserver<MarineResult>* observer) {
  MarineResult r = marine_coefficients(in);
  if (r.stop) return r;
  if (auto stop = search_initiation(in, r)) {
    r.stop = stop;
    return r;
  }
  run_marine_from(in, r.ti, r, observer);
  return r;
}

}  // namespace pellucor::model
