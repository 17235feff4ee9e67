// The likelihood of a member's measurements for one set of its inputs, through the sheet's own
// model at each measurement's age:
//
//   carbonation depths x_j at age t:  ln x_j ~ N(ln(k sqrt(t)) - s^2/2, s^2), the model's depth
//     times a lognormal error of mean 1 (s^2 = ln(1 + CoV^2)); a reading of 0 as a depth below
//     the reading's resolution, P(depth < 0.5 mm);
//   a core's layers y_i at depths x_i and the core's age t:  y_i ~ N(C(x_i, t) + C_i, sd^2) with
//     C the sheet's chloride law and C_i the background (zero, given or fitted);
//   the corrosion depth and crack width at the inspection age:  normal errors about the model's
//     values there (the timeline with its model-uncertainty factors; no corrosion before
//     initiation, no crack before the cover cracks).
//
// Inputs that cannot give the measurements (no chloride law, no carbonation while depths were
// read, a model that cannot follow the sample to the inspection age) have likelihood 0; the
// reason is handed back so that the samples can be counted by it.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>

#include "analysis/mc/engine.hpp"
#include "analysis/update/measurements.hpp"
#include "analysis/update/sheet_law.hpp"

namespace pellucor::analysis::update {

enum class Impossible : std::uint8_t {
  None,
  NoInverse,      // the measured concentration the coefficient is derived from is not below C_s
  NoDiffusion,    // the derived diffusion coefficient is no number above 0
  NoCarbonation,  // k = 0 (or no number) while depths above 0 were read
  NotFollowed,    // the model cannot follow the sample to the inspection age
};
inline constexpr int kImpossibleKinds = 5;

std::string impossible_text(Impossible why);  // Chinese
std::string impossible_english(Impossible why);

class Likelihood {
 public:
  // `runner`: the reliability analysis's sampler of the same problem, which runs the sheet's
  // whole calculation for the measurements at the inspection age (none needed without them).
  Likelihood(const sheet::Module& module, const PreparedMeasurements& m, const mc::Sampler* runner);

  // Whether any measurement enters.
  bool active() const { return active_; }
  // The model values each evaluation compares with the measurements, in this order: per depth
  // set the model's depth at its age; per core the content at each of its points (all points,
  // those left out too); the corrosion depth; the crack width.
  std::size_t observables() const { return observables_; }

  // The log-likelihood of these inputs and model-uncertainty factors (minus infinity where
  // they cannot give the measurements, `why` then says why); `values`, when given, receives the
  // model values (NaN where there is none).
  double operator()(const sheet::SheetInputs& in, const std::array<double, mc::kTimes>& factors,
                    double* values, Impossible* why) const;

 private:
  SheetLaw law_;
  const PreparedMeasurements* m_;
  const mc::Sampler* runner_;
  bool active_ = false;
  std::size_t observables_ = 0;
  double constant_ = 0;  // the normalising terms of the densities, which do not depend on inputs
};

// log Phi(z), accurate far into the lower tail.
double log_normal_cdf(double z);

inline constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

}  // namespace pellucor::analysis::update
