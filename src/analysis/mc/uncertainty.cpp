#include "analysis/mc/uncertainty.hpp"

#include <algorithm>
#include <array>
#include <boost/math/distributions/normal.hpp>
#include <cmath>
#include <stdexcept>

namespace pellucor::analysis::mc {

namespace {

struct DefaultRow {
  std::string_view alias;
  Scatter scatter;
};

// Default scatter of the usual quantities, after the probabilistic durability models of
// fib Bulletin 34 "Model Code for Service Life Design" (2006), the DuraCrete project report
// R17 (2000) and the JCSS Probabilistic Model Code (2001):
// - cover: normal, standard deviation 6 to 10 mm for ordinary execution (fib 34), about
//   0.2 of the usual 30 to 50 mm;
// - chloride diffusion coefficient: normal, CoV 0.2 (fib 34, migration coefficient);
// - surface chloride concentration: lognormal, CoV 0.5 (DuraCrete, fib 34 give 0.5 and more);
// - critical chloride concentration: CoV 0.25 (fib 34: mean 0.6, deviation 0.15 % by mass of
//   cement), taken normal;
// - concrete strength: lognormal, CoV 0.15 (JCSS, in-situ compressive strength);
// - CO2 concentration coefficient: normal, CoV 0.12 (fib 34: atmospheric CO2, mean
//   0.00082 kg/m3, deviation 0.0001);
// - ageing exponent of the diffusion coefficient: normal, CoV 0.3 (fib 34: 0.30 +- 0.12 for
//   Portland, 0.60 +- 0.15 with fly ash);
// - ambient temperature and humidity: normal, CoV 0.1 and 0.05, typical of the weather-station
//   records fib 34 builds these variables from.
// Ages, diameters, measuring data and the starting values of the iterations stay as typed.
constexpr std::array<DefaultRow, 10> kDefaults = {{
    {"cover", {0.20, Distribution::Normal}},
    {"diffusion", {0.20, Distribution::Normal}},
    {"surface", {0.50, Distribution::Lognormal}},
    {"critical", {0.25, Distribution::Normal}},
    {"strength", {0.15, Distribution::Lognormal}},
    {"co2", {0.12, Distribution::Normal}},
    {"exponent", {0.30, Distribution::Normal}},
    {"temperature", {0.10, Distribution::Normal}},
    {"humidity", {0.05, Distribution::Normal}},
    {"carbonation-depth", {0.20, Distribution::Normal}},
}};

// Double precision throughout (the default policy would compute in long double).
using Normal = boost::math::normal_distribution<
    double, boost::math::policies::policy<boost::math::policies::promote_double<false>>>;

const Normal& standard_normal() {
  static const Normal n(0.0, 1.0);
  return n;
}

double phi(double z) {
  return boost::math::cdf(standard_normal(), z);
}

// The standard normal quantile, with the upper half taken from the complement so that the
// tail keeps its precision.
double phi_inverse(double p) {
  if (p > 0.5) return -boost::math::quantile(standard_normal(), 1.0 - p);
  return boost::math::quantile(standard_normal(), p);
}

}  // namespace

std::string_view distribution_name(Distribution d) {
  return d == Distribution::Lognormal ? "lognormal" : "normal";
}

std::optional<Distribution> distribution_from_name(std::string_view name) {
  if (name == "normal") return Distribution::Normal;
  if (name == "lognormal") return Distribution::Lognormal;
  return std::nullopt;
}

Scatter default_scatter(std::string_view alias) {
  for (const auto& row : kDefaults) {
    if (row.alias == alias) return row.scatter;
  }
  return {};
}

bool range_checked(const sheet::FieldRow& f) {
  return f.leave == sheet::LeaveCheck::Range || f.leave == sheet::LeaveCheck::ZeroBlankThenRange ||
         f.change != sheet::ChangeCheck::None;
}

TruncatedLaw::TruncatedLaw(double mean, Scatter scatter, double lo, double hi)
    : dist_(scatter.dist), lo_(lo), hi_(hi) {
  if (!(scatter.cov > 0) || !(mean > 0) || !(lo <= mean && mean <= hi)) {
    throw std::invalid_argument("a scattering box needs a positive mean inside its range");
  }
  if (dist_ == Distribution::Normal) {
    mu_ = mean;
    sigma_ = scatter.cov * mean;
  } else {
    sigma_ = std::sqrt(std::log1p(scatter.cov * scatter.cov));
    mu_ = std::log(mean) - 0.5 * sigma_ * sigma_;
  }
  if (!std::isfinite(mu_) || !std::isfinite(sigma_)) {
    flo_ = fhi_ = 0;  // flat
    return;
  }
  flo_ = untruncatedCdf(lo_);
  fhi_ = untruncatedCdf(hi_);
}

double TruncatedLaw::untruncatedCdf(double x) const {
  if (dist_ == Distribution::Normal) return phi((x - mu_) / sigma_);
  if (!(x > 0)) return 0;
  return phi((std::log(x) - mu_) / sigma_);
}

// A scatter so wide that the range holds no probability the doubles can tell apart: the law
// is flat over the range (the limit of a truncated normal law as its deviation grows).
bool TruncatedLaw::flat() const {
  return !(fhi_ > flo_) || hi_ == lo_;
}

double TruncatedLaw::cdf(double x) const {
  if (x < lo_) return 0;
  if (x >= hi_) return 1;
  if (flat()) return (x - lo_) / (hi_ - lo_);
  return (untruncatedCdf(x) - flo_) / (fhi_ - flo_);
}

double TruncatedLaw::sample(double u) const {
  if (flat()) return std::clamp(lo_ + u * (hi_ - lo_), lo_, hi_);
  const double p = flo_ + u * (fhi_ - flo_);
  double x = 0;
  if (!(p > 0)) {
    x = lo_;
  } else if (!(p < 1)) {
    x = hi_;
  } else {
    const double z = phi_inverse(p);
    x = dist_ == Distribution::Normal ? mu_ + sigma_ * z : std::exp(mu_ + sigma_ * z);
  }
  // Rounding in the quantile must not carry a sample past an end of the range.
  return std::clamp(x, lo_, hi_);
}

}  // namespace pellucor::analysis::mc
