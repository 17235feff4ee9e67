// The small statistics the inspection analyses share: mean and scatter of readings, quantiles
// of the Student t law (the normal law has its own home, normal_law.hpp), and the Anderson–Darling
// test of normality.
#pragma once

#include <cstddef>
#include <span>

#include "analysis/normal_law.hpp"

namespace pellucor::analysis::inspect {

struct Sample {
  std::size_t n = 0;
  double mean = 0;
  double sd = 0;  // with n - 1 in the denominator; 0 for a single reading
  double min = 0;
  double max = 0;

  double cov() const { return mean != 0 ? sd / mean : 0; }
};

Sample describe(std::span<const double> values);

// Quantile of Student's t law with `dof` degrees of freedom (dof > 0).
double t_quantile(double p, double dof);

// Anderson–Darling test that `values` come from a normal law whose mean and standard deviation
// are estimated from them (D'Agostino and Stephens, "Goodness-of-Fit Techniques", 1986,
// the tests for the normal law with both parameters estimated): the statistic A², the statistic
// modified for the sample size, A*² = A²·(1 + 0.75/n + 2.25/n²), and the p-value the table's
// formulas give for A*².
struct AndersonDarling {
  double a2 = 0;
  double modified = 0;
  double pValue = 0;
};

// The fewest readings for which the test is made.
inline constexpr std::size_t kAndersonDarlingMinimum = 8;

// Needs at least kAndersonDarlingMinimum values with a positive standard deviation.
AndersonDarling anderson_darling_normal(std::span<const double> values);

}  // namespace pellucor::analysis::inspect
