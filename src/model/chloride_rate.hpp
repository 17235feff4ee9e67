// The chloride corrosion rate and the cracking-time iteration shared by the four chloride
// models: the rate block turns two chloride concentrations and the climate and concrete
// values into the pre-cracking rate; the iteration repeats rate and propagation with the
// cracking time found until guess and result agree within 0.01 a.
#pragma once

#include <cmath>
#include <optional>

#include "model/printable.hpp"
#include "model/propagation.hpp"
#include "model/stop.hpp"

namespace pellucor::model {

struct RateInput {
  double cr = 0;   // resistance-term concentration C_R, kg/m3
  double cl = 0;   // logarithm concentration C_L, kg/m3
  double fcu = 0;  // concrete strength, MPa
  double T = 0;    // ambient temperature, deg C
  double RH = 0;   // relative humidity, fraction
  double Ke = 0;   // local environment coefficient
};

// How the last step of the rate block scales 11.6 i: divided by 1000 after K_e, or by 0.001
// before it (the admixed-chloride model).
enum class RateScaling { DivideAfterKe, MilliBeforeKe };

struct Rate {
  double F = 0;        // strength factor
  double q = 0;        // chloride term of the resistance
  double R = 0;        // resistance term
  double lnI = 0;      // natural logarithm of the corrosion current density
  double i = 0;        // corrosion current density, uA/cm2
  double lambda0 = 0;  // pre-cracking rate, mm/a
};

double strength_factor(double fcu);

// Steps 2 to 6 of the rate block (F already in `out`). C_L <= 0 has no logarithm: stop.
std::optional<StopReason> corrosion_rate(const RateInput& in, RateScaling scaling, Rate& out);

inline constexpr double kCrackingTolerance = 0.01;  // a
inline constexpr int kMaxPasses = 1000;
inline constexpr double kChlorideSlope = 26.0;  // a/mm

// The iteration's running values, common to the four chloride models.
struct Iteration {
  double tcStar = 0;  // assumed cracking time of the last pass, a
  int passes = 0;     // passes begun
};

// What a chloride model's cracking-time iteration leaves in the model's record.
struct IterationResult {
  Rate rate;
  PropagationInput propIn;  // what the last pass handed to the propagation steps
  Propagation prop;
  Iteration iteration;
  std::optional<StopReason> stop;  // set when the calculation gave up; values before it kept
};

// Receives every pass of a cracking-time iteration: its start (the assumed cracking time the
// sheet writes into its box) and its end (the values the sheet reprints its report with).
template <class Result>
class IterationObserver {
 public:
  virtual ~IterationObserver() = default;
  virtual void passStarted(int pass, double assumedCrackingTime) = 0;
  virtual void passFinished(int pass, const Result& values) = 0;
};

inline bool printable(const Rate& r) {
  return model::printable({r.F, r.q, r.R, r.lnI, r.i, r.lambda0});
}
inline bool printable(const Propagation& p) {
  return model::printable({p.dcr, p.tp, p.tc, p.eta, p.lambda1, p.dd, p.dtd, p.td, p.dt}) &&
         model::printable(p.w);
}

// The frame of the cracking-time iteration. `Result` is the module's record (an
// IterationResult); `pass` supplies the module's steps:
//   before(tcStar, propagationInput) - steps ahead of the rate; sets propagationInput.ti
//   concentrations(tcStar, rateInput) - sets C_R and C_L for this assumed cracking time
//   printable()                       - whether every value of the record can be printed
// Each may return a stop, which ends the iteration with the values computed before it.
template <class Result, class Pass>
std::optional<StopReason> iterate_cracking_time(double tcStart, const RateInput& rateBase,
                                                RateScaling scaling,
                                                const PropagationInput& propagationBase, Result& r,
                                                Pass& pass, IterationObserver<Result>* observer) {
  double tc = tcStart;
  r.iteration.passes = 0;
  for (;;) {
    if (r.iteration.passes >= kMaxPasses) return StopReason::PassLimit;
    ++r.iteration.passes;
    r.iteration.tcStar = tc;
    const double tcStar = tc;
    if (observer) observer->passStarted(r.iteration.passes, tcStar);
    PropagationInput p = propagationBase;
    if (auto stop = pass.before(tcStar, p)) return stop;
    r.rate.F = strength_factor(rateBase.fcu);
    // The zero stop; a running value below zero (or not a number) has no meaning either.
    if (!(tcStar > 0.0)) return StopReason::ZeroAssumedTime;
    RateInput in = rateBase;
    if (auto stop = pass.concentrations(tcStar, in)) return stop;
    if (auto stop = corrosion_rate(in, scaling, r.rate)) return stop;
    p.lambda0 = r.rate.lambda0;
    p.s = kChlorideSlope;
    r.propIn = p;
    if (auto stop = propagate(p, r.prop)) return stop;
    if (!printable(r.rate) || !printable(r.prop) || !pass.printable()) return StopReason::NotFinite;
    if (observer) observer->passFinished(r.iteration.passes, r);
    tc = r.prop.tc;
    if (!(std::fabs(tc - tcStar) >= kCrackingTolerance)) break;
  }
  return std::nullopt;
}

// A chloride model's iteration with the fixed values taken from its input (members Ke, T, RH,
// fcu, t, kind and tcStart): climate and strength for the rate block; the cover and diameter
// in millimetres as the model hands them on, strength, inspection age and steel kind for the
// propagation steps; the input's assumed cracking time as the first guess.
template <class Input, class Result, class Pass>
std::optional<StopReason> iterate_chloride_model(const Input& in, RateScaling scaling,
                                                 double coverMm, double diameterMm, Result& r,
                                                 Pass& pass, IterationObserver<Result>* observer) {
  RateInput rate;
  rate.fcu = in.fcu;
  rate.T = in.T;
  rate.RH = in.RH;
  rate.Ke = in.Ke;
  PropagationInput p;
  p.c = coverMm;
  p.d = diameterMm;
  p.fcu = in.fcu;
  p.t = in.t;
  p.kind = in.kind;
  return iterate_cracking_time(in.tcStart, rate, scaling, p, r, pass, observer);
}

}  // namespace pellucor::model
