// The scatter of the inputs against answers computed another way: truncated moments and the
// mass cut off against numerical integration of the densities, the fast inverse normal against
// Boost.Math, the defaults against what their sources say.
#include <gtest/gtest.h>

#include <bit>
#include <boost/math/distributions/beta.hpp>
#include <boost/math/distributions/lognormal.hpp>
#include <boost/math/distributions/normal.hpp>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "analysis/mc/problem.hpp"
#include "analysis/mc/uncertainty.hpp"
#include "analysis/normal_law.hpp"
#include "module_test_support.hpp"

namespace pellucor::analysis::mc {
namespace {

// Composite Simpson rule of f over [a, b] with n (even) intervals.
double simpson(const std::function<double(double)>& f, double a, double b, int n) {
  const double h = (b - a) / n;
  double sum = f(a) + f(b);
  for (int i = 1; i < n; ++i) sum += f(a + i * h) * (i % 2 == 1 ? 4 : 2);
  return sum * h / 3;
}

TEST(Truncation, MomentsAndMassCutAgreeWithNumericalIntegration) {
  // The closed forms of a law truncated to a range, against Simpson's rule on its density.
  struct Case {
    const char* what;
    double mean;
    Scatter scatter;
    double lo, hi;
  };
  const Case cases[] = {
      {"critical chloride cut to a third", 1.4, {0.25, Distribution::Normal}, 1.2, 1.6},
      {"cover barely cut", 40, {0, Distribution::Normal, 8}, 3, 90},
      {"thin cover cut below", 10, {0, Distribution::Normal, 8}, 3, 90},
      {"surface chloride", 5, {0.5, Distribution::Lognormal}, 1, 13},
      {"environment at the lower end", 1.5, {0.5, Distribution::Lognormal}, 1, 5.5},
      {"strength", 30, {0.15, Distribution::Lognormal}, 10, 50},
      {"ageing exponent, Portland", 0.3, {0, Distribution::Beta, 0.12}, 0.1, 0.6},
      {"ageing exponent, slag", 0.45, {0, Distribution::Beta, 0.20}, 0.1, 0.6},
      // The range in the law's upper tail: its ends are kept as upper-tail probabilities.
      {"range far above the mean", 3.2, {0, Distribution::Normal, 0.2}, 3, 90},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const double sd = c.scatter.deviation(c.mean);
    std::function<double(double)> pdf;
    switch (c.scatter.dist) {
      case Distribution::Normal:
        pdf = [&](double x) { return boost::math::pdf(boost::math::normal(c.mean, sd), x); };
        break;
      case Distribution::Lognormal: {
        const double s = std::sqrt(std::log1p(sd * sd / c.mean / c.mean));
        const double m = std::log(c.mean) - 0.5 * s * s;
        pdf = [m, s](double x) { return boost::math::pdf(boost::math::lognormal(m, s), x); };
        break;
      }
      case Distribution::Beta: {
        const double k = c.mean * (1 - c.mean) / sd / sd - 1;
        const boost::math::beta_distribution<> law(c.mean * k, (1 - c.mean) * k);
        pdf = [law](double x) { return boost::math::pdf(law, x); };
        break;
      }
    }
    const int n = 20000;
    const double mass = simpson(pdf, c.lo, c.hi, n);
    const double m1 = simpson([&](double x) { return x * pdf(x); }, c.lo, c.hi, n) / mass;
    const double m2 = simpson([&](double x) { return x * x * pdf(x); }, c.lo, c.hi, n) / mass;
    const double cov = std::sqrt(m2 - m1 * m1) / m1;

    const TruncatedLaw law(c.mean, c.scatter, c.lo, c.hi);
    EXPECT_NEAR(law.massCut(), 1 - mass, 1e-9);
    EXPECT_NEAR(law.mean(), m1, 1e-9 * c.mean);
    EXPECT_NEAR(law.cov(), cov, 1e-8);
    EXPECT_NEAR(law.parentMean(), c.mean, 1e-12 * c.mean);
    EXPECT_NEAR(law.parentCov(), sd / c.mean, 1e-12);
    // The distribution function and the samples follow the density.
    const double mid = 0.5 * (c.lo + c.hi);
    EXPECT_NEAR(law.cdf(mid), simpson(pdf, c.lo, mid, n) / mass, 1e-9);
  }
  // The example of the critical chloride: a CoV of 0.25 inside 1.2-1.6 is one of about 0.08.
  EXPECT_NEAR(TruncatedLaw(1.4, {0.25, Distribution::Normal}, 1.2, 1.6).cov(), 0.081, 0.001);
}

// The moments of a truncated law from its distribution function alone:
// E[X] = lo + int (1 - F), E[X^2] = lo^2 + int 2x (1 - F), over [lo, hi].
std::pair<double, double> moments_from_cdf(const TruncatedLaw& law) {
  const int n = 200000;
  const double lo = law.lo(), hi = law.hi();
  const double m1 = lo + simpson([&](double x) { return 1 - law.cdf(x); }, lo, hi, n);
  const double m2 =
      lo * lo + simpson([&](double x) { return 2 * x * (1 - law.cdf(x)); }, lo, hi, n);
  return {m1, std::sqrt(m2 - m1 * m1) / m1};
}

TEST(Truncation, SamplesKeepTheSheetsValueAsMeanAndReachTheScatterWhereTheRangeAllows) {
  struct Case {
    const char* what;
    double mean;
    Scatter scatter;
    double lo, hi;
    bool reached;
    double cov;  // the CoV the samples have (where not reached: about)
  };
  const Case cases[] = {
      {"surface chloride", 5, {0.5, Distribution::Lognormal}, 1, 13, true, 0.5},
      {"surface chloride near the lower end",
       1.8,
       {0.5, Distribution::Lognormal},
       1,
       13,
       true,
       0.5},
      {"environment 2.0", 2, {0.5, Distribution::Lognormal}, 1, 5.5, true, 0.5},
      {"cover barely cut", 40, {0, Distribution::Normal, 8}, 3, 90, true, 0.2},
      {"ageing exponent, Portland", 0.3, {0, Distribution::Beta, 0.12}, 0.1, 0.6, true, 0.4},
      // Above 1 and at 1.5 the range cannot hold a CoV of 0.5 around 1.5 (about 0.41).
      {"environment 1.5", 1.5, {0.5, Distribution::Lognormal}, 1, 5.5, false, 0.41},
      // Nothing inside 1.2-1.6 scatters more around 1.4 than the flat law: 0.2 / sqrt(3) / 1.4.
      {"critical chloride",
       1.4,
       {0.25, Distribution::Normal},
       1.2,
       1.6,
       false,
       0.2 / std::sqrt(3.0) / 1.4},
      {"thin cover", 10, {0, Distribution::Normal, 8}, 3, 90, false, 0.68},
      {"ageing exponent, slag", 0.45, {0, Distribution::Beta, 0.20}, 0.1, 0.6, false, 0.25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TruncatedLaw law = TruncatedLaw::fitted(c.mean, c.scatter, c.lo, c.hi);
    EXPECT_EQ(law.reached(), c.reached);
    EXPECT_NEAR(law.mean(), c.mean, 1e-12 * c.mean);
    if (c.reached) {
      EXPECT_NEAR(law.cov(), c.scatter.deviation(c.mean) / c.mean, 1e-9);
    } else {
      EXPECT_NEAR(law.cov(), c.cov, 0.01);
      EXPECT_LT(law.cov(), 0.9 * c.scatter.deviation(c.mean) / c.mean);
    }
    // The closed forms are those of the law sampled: from its distribution function, and from
    // samples at evenly spread uniform numbers.
    const auto [m1, cov] = moments_from_cdf(law);
    EXPECT_NEAR(m1, c.mean, 1e-7 * c.mean);
    EXPECT_NEAR(cov, law.cov(), 1e-6);
    double sum = 0;
    const int n = 100000;
    std::vector<double> u(n), x(n);
    for (int i = 0; i < n; ++i) u[i] = (i + 0.5) / n;
    law.sample(u.data(), x.data(), u.size());
    for (int i = 0; i < n; ++i) {
      // The samples of a block are those of one uniform number at a time, bit for bit.
      if (i % 97 == 0) {
        ASSERT_EQ(x[i], law.sample(u[i])) << u[i];
      }
      sum += x[i];
    }
    EXPECT_NEAR(sum / n, c.mean, 2e-4 * c.mean);

    const TruncationEffect e = truncation_effect(c.mean, c.scatter, c.lo, c.hi);
    EXPECT_EQ(e.truncatedMean, law.mean());
    EXPECT_EQ(e.truncatedCov, law.cov());
    EXPECT_FALSE(e.meanMoves);
    EXPECT_EQ(e.covShrinks, !c.reached);
  }
  // A mean at an end of the range: no law inside it has that mean and any scatter. The law
  // before truncation takes the mean; the samples' mean moves inward, which is said.
  const TruncationEffect atEnd = truncation_effect(1.0, {0.5, Distribution::Lognormal}, 1, 5.5);
  EXPECT_TRUE(atEnd.meanMoves);
  EXPECT_GT(atEnd.truncatedMean, 1.4);
}

TEST(Truncation, SamplesOfABlockAreThoseOfOneUniformNumberAtATime) {
  // The block computes the central range of the inverse normal for all its numbers at once and
  // the rest one by one: every value must be that of sample(u), bit for bit, in both tails,
  // at the edges of the central range, at probability 0, and for ranges above the median
  // (drawn from the upper tail).
  struct Case {
    double mean;
    Scatter scatter;
    double lo, hi;
  };
  const Case cases[] = {
      {30, {0, Distribution::Normal, 8}, 3, 90},       // cover: barely truncated
      {5, {0.5, Distribution::Lognormal}, 1, 13},      // surface chloride: upper tail cut
      {1.4, {0.25, Distribution::Normal}, 1.2, 1.6},   // cut on both sides
      {40, {0, Distribution::Normal, 1}, 30.5, 1e6},   // the range above the median
      {3, {0.1, Distribution::Lognormal}, 2.9, 1e3},   // ditto, lognormal
      {30, {0, Distribution::Normal, 1}, -1e6, 30.0},  // F(lo) = 0: u * (F(hi) - F(lo)) can be 0
  };
  std::vector<double> u = {5e-324, 1e-300, 1e-17, 1e-9,     0.075,    0.0750000001,
                           0.5,    0.925,  0.93,  1 - 1e-9, 1 - 1e-16};
  std::mt19937_64 gen(11);
  std::uniform_real_distribution<double> uniform(0, 1);
  while (u.size() < 700) u.push_back(uniform(gen));  // more than two blocks, not whole ones
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << distribution_name(c.scatter.dist) << " " << c.mean << " in "
                                    << c.lo << ".." << c.hi);
    for (const TruncatedLaw& law : {TruncatedLaw(c.mean, c.scatter, c.lo, c.hi),
                                    TruncatedLaw::fitted(c.mean, c.scatter, c.lo, c.hi)}) {
      std::vector<double> x(u.size());
      law.sample(u.data(), x.data(), u.size());
      for (std::size_t i = 0; i < u.size(); ++i) {
        const double one = law.sample(u[i]);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(x[i]), std::bit_cast<std::uint64_t>(one))
            << "u = " << u[i] << ": " << x[i] << " against " << one;
      }
    }
  }
}

TEST(Truncation, BetaSamplesInvertItsDistributionFunction) {
  const TruncatedLaw law(0.3, {0, Distribution::Beta, 0.12}, 0.1, 0.6);
  const boost::math::beta_distribution<> beta(0.3 * (0.21 / 0.0144 - 1), 0.7 * (0.21 / 0.0144 - 1));
  const double f0 = boost::math::cdf(beta, 0.1), f1 = boost::math::cdf(beta, 0.6);
  for (double u : {1e-9, 0.1, 0.5, 0.9, 1 - 1e-9}) {
    const double x = law.sample(u);
    EXPECT_NEAR((boost::math::cdf(beta, x) - f0) / (f1 - f0), u, 1e-12) << u;
  }
  // A deviation the Beta law on [0, 1] cannot have at that mean.
  EXPECT_TRUE(scatter_problem(0.3, {0, Distribution::Beta, 0.5}));
  EXPECT_FALSE(scatter_problem(0.3, {0, Distribution::Beta, 0.12}));
}

TEST(InverseNormal, AgreesWithBoostMathAtAMillionPoints) {
  using Normal = boost::math::normal_distribution<
      double, boost::math::policies::policy<boost::math::policies::promote_double<false>>>;
  const Normal standard(0, 1);
  std::mt19937_64 gen(20261210);
  std::uniform_real_distribution<double> uniform(0, 1);
  double worst = 0;
  for (int i = 0; i < 1000000; ++i) {
    // Uniform points and, one in four, points spread over the tails down to 1e-300.
    double p = uniform(gen);
    if (i % 4 == 0) p = std::pow(10.0, -300 * uniform(gen));
    if (i % 8 == 0) p = 1 - p;
    if (!(p > 0 && p < 1)) continue;
    const double z = normal_quantile(p);
    const double ref =
        p > 0.5 ? -boost::math::quantile(standard, 1 - p) : boost::math::quantile(standard, p);
    // The upper half is computed from 1 - p like the reference: compare as values.
    const double err = std::fabs(z - ref) / std::max(std::fabs(ref), 1e-3);
    worst = std::max(worst, err);
    ASSERT_LE(err, 2e-15) << "p = " << p << ": " << z << " against " << ref;
  }
  RecordProperty("worst_relative_error", std::to_string(worst));
  EXPECT_EQ(normal_quantile(0.5), 0);
  EXPECT_EQ(normal_quantile(0), -INFINITY);
  EXPECT_EQ(normal_quantile(1), INFINITY);
}

TEST(Defaults, FollowTheirSourcesAndScaleAbsoluteDeviations) {
  struct Case {
    const char* alias;
    double mean;
    Distribution dist;
    double sd;   // 0: relative
    double cov;  // the CoV at the mean
  };
  const Case cases[] = {
      {"cover", 15, Distribution::Normal, 8, 8.0 / 15},
      {"cover", 80, Distribution::Normal, 8, 0.1},
      {"temperature", 4, Distribution::Normal, 2, 0.5},
      {"temperature", 28, Distribution::Normal, 2, 2.0 / 28},
      {"exponent", 0.3, Distribution::Beta, 0.12, 0.4},
      {"environment", 2, Distribution::Lognormal, 0, 0.5},
      {"surface", 5, Distribution::Lognormal, 0, 0.5},
      {"critical", 1.4, Distribution::Normal, 0, 0.25},
      {"age", 20, Distribution::Normal, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.alias << " " << c.mean);
    const DefaultScatter d = default_scatter(c.alias, c.mean);
    EXPECT_EQ(d.scatter.dist, c.dist);
    EXPECT_EQ(d.scatter.sd, c.sd);
    EXPECT_DOUBLE_EQ(d.scatter.cov, c.cov);
    EXPECT_DOUBLE_EQ(d.scatter.deviation(c.mean), c.sd > 0 ? c.sd : c.cov * c.mean);
    EXPECT_EQ(d.source != nullptr, c.cov > 0);
    if (d.source != nullptr) {
      EXPECT_FALSE(d.source->english.empty());
      EXPECT_FALSE(d.source->chinese.empty());
    }
  }
  EXPECT_EQ(default_scatter("exponent", 0.5, Binder::FlyAsh).scatter.sd, 0.15);
  EXPECT_EQ(default_scatter("exponent", 0.5, Binder::Slag).scatter.sd, 0.20);
  EXPECT_EQ(scatter_sources().size(), 11u);
}

}  // namespace
}  // namespace pellucor::analysis::mc
