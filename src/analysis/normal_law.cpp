#include "analysis/normal_law.hpp"

#include <boost/math/distributions/normal.hpp>
#include <cmath>
#include <limits>
#include <numbers>

namespace pellucor::analysis {

namespace {

// Double precision throughout (the default policy would compute in long double).
using Policy = boost::math::policies::policy<boost::math::policies::promote_double<false>>;
using Normal = boost::math::normal_distribution<double, Policy>;

const Normal& standard_normal() {
  static const Normal n(0.0, 1.0);
  return n;
}

}  // namespace

double normal_cdf(double z) {
  return boost::math::cdf(standard_normal(), z);
}

double normal_density(double z) {
  return std::exp(-0.5 * z * z) / std::sqrt(2 * std::numbers::pi);
}

double normal_quantile(double p) {
  if (!(p > 0)) return p == 0 ? -std::numeric_limits<double>::infinity() : std::nan("");
  if (!(p < 1)) return p == 1 ? std::numeric_limits<double>::infinity() : std::nan("");
  return as241::quantile_inside(p);
}

}  // namespace pellucor::analysis
