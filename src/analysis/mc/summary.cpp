#include "analysis/mc/summary.hpp"

#include <algorithm>
#include <boost/math/distributions/normal.hpp>
#include <cmath>
#include <limits>
#include <ostream>

namespace pellucor::analysis::mc {

namespace {

// Double precision throughout (the default policy would compute in long double).
using Normal = boost::math::normal_distribution<
    double, boost::math::policies::policy<boost::math::policies::promote_double<false>>>;

const Normal& standard_normal() {
  static const Normal n(0.0, 1.0);
  return n;
}

// Linear interpolation between the order statistics of sorted values.
double percentile(const std::vector<double>& sorted, double q) {
  const double h = q * static_cast<double>(sorted.size() - 1);
  const auto lo = static_cast<std::size_t>(std::floor(h));
  const std::size_t hi = std::min(lo + 1, sorted.size() - 1);
  return sorted[lo] + (h - static_cast<double>(lo)) * (sorted[hi] - sorted[lo]);
}

// The smallest of 1, 2, 5 times a power of ten at or above x.
double round_up(double x) {
  double scale = 1;
  while (scale * 10 <= x) scale *= 10;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * scale >= x) return m * scale;
  }
  return 10 * scale;
}

double time_of(const SampleResult& r, int which) {
  switch (which) {
    case kInitiation:
      return r.ti;
    case kCracking:
      return r.tc;
    case kEnd:
      return r.td;
    default:
      return std::max(0.0, r.td - r.t);
  }
}

void write_number(std::ostream& out, double v) {
  if (std::isinf(v)) {
    out << (v > 0 ? "inf" : "-inf");
  } else {
    out << v;
  }
}

}  // namespace

double reliability_index(double p) {
  if (!(p > 0)) return std::numeric_limits<double>::infinity();
  if (!(p < 1)) return -std::numeric_limits<double>::infinity();
  if (p > 0.5) return boost::math::quantile(standard_normal(), 1.0 - p);
  return -boost::math::quantile(standard_normal(), p);
}

std::vector<double> default_ages(const Samples& samples) {
  std::vector<double> td;
  double t = 0;
  for (const auto& r : samples.results) {
    if (r.status != SampleStatus::Done) continue;
    td.push_back(r.td);
    t = std::max(t, r.t);
  }
  double top = t;
  if (!td.empty()) {
    const auto k = static_cast<std::size_t>(0.95 * static_cast<double>(td.size() - 1));
    std::nth_element(td.begin(), td.begin() + static_cast<std::ptrdiff_t>(k), td.end());
    top = std::max(top, td[k]);
  }
  // Ages beyond 10^6 a say nothing about a structure; the grid stops there.
  top = round_up(std::clamp(top, 10.0, 1e6));
  std::vector<double> ages(101);
  for (std::size_t i = 0; i < ages.size(); ++i) ages[i] = top * static_cast<double>(i) / 100;
  return ages;
}

Summary summarize(const Samples& samples, double targetBeta, std::vector<double> ages) {
  Summary s;
  s.targetBeta = targetBeta;
  s.samples = samples.results.size();
  for (const auto& r : samples.results) {
    switch (r.status) {
      case SampleStatus::Done:
        ++s.done;
        break;
      case SampleStatus::Stopped:
        ++s.stopped;
        break;
      case SampleStatus::Rejected:
        ++s.rejected;
        break;
    }
  }
  if (ages.empty()) ages = default_ages(samples);
  s.curve.resize(ages.size());
  for (std::size_t a = 0; a < ages.size(); ++a) s.curve[a].age = ages[a];

  // P(beta < target) is P(time <= age) > Phi(-target).
  const double pTarget = boost::math::cdf(standard_normal(), -targetBeta);
  std::vector<double> values;
  values.reserve(s.done);
  for (int which = 0; which <= kRemaining; ++which) {
    values.clear();
    for (const auto& r : samples.results) {
      if (r.status == SampleStatus::Done) values.push_back(time_of(r, which));
    }
    if (values.empty()) continue;
    std::sort(values.begin(), values.end());
    s.percentiles[static_cast<std::size_t>(which)] =
        Percentiles{percentile(values, 0.05), percentile(values, 0.50), percentile(values, 0.95)};
    if (which == kRemaining) continue;

    const auto n = static_cast<double>(values.size());
    for (auto& point : s.curve) {
      const auto count = std::upper_bound(values.begin(), values.end(), point.age) - values.begin();
      const double p = static_cast<double>(count) / n;
      point.p[static_cast<std::size_t>(which)] = p;
      point.se[static_cast<std::size_t>(which)] = std::sqrt(p * (1 - p) / n);
      point.beta[static_cast<std::size_t>(which)] = reliability_index(p);
    }
    // The empirical probability first exceeds pTarget at the k-th smallest time, where k is
    // the least count above pTarget * n.
    const double k = std::floor(pTarget * n) + 1;
    if (k <= n) {
      s.targetAge[static_cast<std::size_t>(which)] = values[static_cast<std::size_t>(k) - 1];
    }
  }
  return s;
}

void write_csv(std::ostream& out, const Summary& summary) {
  out << "age_a,P_ti,SE_ti,beta_ti,P_tc,SE_tc,beta_tc,P_td,SE_td,beta_td\r\n";
  const auto precision = out.precision(10);
  for (const auto& point : summary.curve) {
    write_number(out, point.age);
    for (std::size_t i = 0; i < kTimes; ++i) {
      out << ',';
      write_number(out, point.p[i]);
      out << ',';
      write_number(out, point.se[i]);
      out << ',';
      write_number(out, point.beta[i]);
    }
    out << "\r\n";
  }
  out.precision(precision);
}

}  // namespace pellucor::analysis::mc
