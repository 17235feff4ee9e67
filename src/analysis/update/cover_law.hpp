// The member's cover after its cover-meter readings. The readings are cover values of the same
// member, so they update the law of its cover itself rather than enter as a likelihood of the
// other inputs: the mean and deviation of that law (of the values, or of their logarithms where
// the survey found the lognormal law the better) get a normal-gamma prior centred on the
// sheet's cover with the box's deviation, worth one reading (kappa0 = nu0 = 1), and the
// readings update it (Gelman et al., Bayesian Data Analysis, 3rd ed., on the normal model with
// unknown mean and variance). The cover at the bar then follows the posterior predictive law, a
// Student t with n + 1 degrees of freedom, truncated to the box's range as every sample is.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/mc/uncertainty.hpp"

namespace pellucor::analysis::update {

// A Student t law (of the value, or of its logarithm for `logarithm`), truncated to [lo, hi];
// sampled by its inverse distribution function like the reliability analysis's laws.
class TruncatedStudent {
 public:
  TruncatedStudent(double dof, double location, double scale, bool logarithm, double lo, double hi);
  // The value for a uniform number u in (0, 1); increasing in u.
  double sample(double u) const;
  double dof() const { return dof_; }
  double location() const { return location_; }
  double scale() const { return scale_; }
  bool logarithm() const { return logarithm_; }

 private:
  double dof_, location_, scale_;
  bool logarithm_;
  double lo_, hi_;
  double flo_ = 0, fhi_ = 1;  // the distribution function at the ends (of their logarithms)
};

struct CoverUpdate {
  mc::Distribution family = mc::Distribution::Normal;  // as the survey chose
  bool tested = false;  // chosen by the Anderson-Darling test (else the normal law: too few)
  std::size_t readings = 0;
  double readingsMean = 0;  // mm
  double readingsSd = 0;    // mm
  double priorMean = 0;     // the sheet's cover, mm
  double priorSd = 0;       // the box's deviation (or the default's where the box is fixed), mm
  bool priorFromDefault = false;
  TruncatedStudent law;
};

// The cover law after `readings` (at least 2, each above 0) for a box holding `mean` with
// `scatter` (its default where it does not scatter), truncated to [lo, hi].
CoverUpdate update_cover(const std::vector<double>& readings, double mean,
                         const mc::Scatter& scatter, double lo, double hi);

// One line on the updated law (Chinese, and English for the console).
std::string cover_line(const CoverUpdate& c);
std::string cover_line_english(const CoverUpdate& c);

}  // namespace pellucor::analysis::update
