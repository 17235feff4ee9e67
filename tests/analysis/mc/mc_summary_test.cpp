// Summaries of small fixtures of samples whose answers are known by hand, and the rules behind
// the statistics (binomial bounds and intervals).
#include <gtest/gtest.h>

#include <algorithm>
#include <boost/math/distributions/binomial.hpp>
#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <sstream>

#include "analysis/mc/summary.hpp"
#include "analysis/normal_law.hpp"

namespace pellucor::analysis::mc {
namespace {

using enum TimeKnown;

SampleResult done(double ti, double tc, double td, double t = 20) {
  SampleResult r;
  r.ti = ti;
  r.tc = tc;
  r.td = td;
  r.t = t;
  return r;
}

// Ten samples that ran (t_i = 1..10, t_c = 2 t_i, t_d = 3 t_i, inspected at 20 a).
Samples ten() {
  Samples s;
  for (int i = 1; i <= 10; ++i) s.results.push_back(done(i, 2.0 * i, 3.0 * i));
  return s;
}

// The ten, and: a survivor that never initiates (C_cr >= C_s); a carbonation sample that
// initiates at 4 a but never corrodes; a sample the model could not follow after finding
// t_i = 2.5 (cracking may come at any age from 2.5 on); one the model could not follow at all
// (from age 0); one a check refused (from age 0).
Samples fixture() {
  Samples s = ten();
  SampleResult never;
  never.status = SampleStatus::Survived;
  never.t = 20;
  never.cause = {StopCause::Kind::Check, {}, 0};
  never.known = {Never, Never, Never};
  s.results.push_back(never);

  SampleResult dry = done(4, 0, 0);
  dry.status = SampleStatus::Survived;
  dry.cause = {StopCause::Kind::Model, model::StopReason::InvalidHumidity, 0};
  dry.known = {Known, Never, Never};
  s.results.push_back(dry);

  SampleResult iteration = done(2.5, 2.5, 2.5);
  iteration.status = SampleStatus::Stopped;
  iteration.cause = {StopCause::Kind::Model, model::StopReason::PassLimit, 0};
  iteration.known = {Known, Unknown, Unknown};
  s.results.push_back(iteration);

  SampleResult search = done(0, 0, 0);
  search.status = SampleStatus::Stopped;
  search.cause = {StopCause::Kind::Model, model::StopReason::SearchTimeNotPositive, 0};
  search.known = {Unknown, Unknown, Unknown};
  s.results.push_back(search);

  SampleResult refused = search;
  refused.status = SampleStatus::Rejected;
  refused.cause = {StopCause::Kind::Check, {}, 9};
  s.results.push_back(refused);
  return s;
}

TEST(Summary, EverySampleCountsAndTheStopsGiveExactBounds) {
  const Summary s = summarize(fixture(), 1.3, {0, 3, 6, 30, 100});
  EXPECT_EQ(s.samples, 15u);
  EXPECT_EQ(s.done, 10u);
  EXPECT_EQ(s.survived, 2u);
  EXPECT_EQ(s.stopped, 2u);
  EXPECT_EQ(s.rejected, 1u);
  ASSERT_EQ(s.stops.size(), 5u);  // five causes, one sample each
  EXPECT_NEAR(s.notDoneShare(), 5.0 / 15, 1e-15);

  struct Row {
    std::size_t at;
    int which;
    double high, low;  // counts over 15
  };
  const Row rows[] = {
      // Age 0: the two samples not followed from 0 fail in the headline only.
      {0, kInitiation, 2, 0},
      {0, kCracking, 2, 0},
      // Age 3: t_i 1, 2, 3, the t_i 2.5 of the iteration stop, plus the two from 0.
      {1, kInitiation, 6, 4},
      {1, kCracking, 4, 1},  // t_c = 2 known; the iteration stop (from 2.5) and the two from 0
      {1, kEnd, 4, 1},
      // Age 30: every known time (the dry sample's t_i = 4 and the iteration stop's 2.5 too).
      {3, kInitiation, 14, 12},
      {3, kEnd, 13, 10},
      // Age 100: the survivors still count as not failed.
      {4, kInitiation, 14, 12},
      {4, kCracking, 13, 10},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << "age " << s.curve[r.at].age << " time " << r.which);
    EXPECT_DOUBLE_EQ(s.curve[r.at].p[static_cast<std::size_t>(r.which)], r.high / 15);
    EXPECT_DOUBLE_EQ(s.curve[r.at].pLow[static_cast<std::size_t>(r.which)], r.low / 15);
  }
  // No probability reaches 1 while survivors exist: a finite index everywhere.
  for (const auto& point : s.curve) {
    for (std::size_t i = 0; i < kTimes; ++i) EXPECT_TRUE(std::isfinite(point.index[i].value));
  }
}

TEST(Summary, PercentilesCountSurvivorsAsNeverAndStopsAtTheirEarliestAge) {
  // Conservative t_i over 15: 0, 0, 1, 2, 2.5, 3, 4 (dry), 4, 5, ..., 10, then one survivor.
  const Summary s = summarize(fixture(), 1.3, {0});
  ASSERT_TRUE(s.percentiles[kInitiation]);
  // h = 0.5 * 14 = 7: the 8th smallest, 4.
  EXPECT_DOUBLE_EQ(s.percentiles[kInitiation]->p50, 4);
  // h = 0.95 * 14 = 13.3 lies between 10 and the survivor: no age.
  EXPECT_TRUE(s.percentiles[kInitiation]->never[2]);
  EXPECT_FALSE(s.percentiles[kInitiation]->never[1]);
  // h = 0.05 * 14 = 0.7 between 0 and 0.
  EXPECT_DOUBLE_EQ(s.percentiles[kInitiation]->p5, 0);

  // Over the ten that ran alone the interpolation is the textbook one.
  const Summary t = summarize(ten(), 1.3, {0});
  EXPECT_DOUBLE_EQ(t.percentiles[kInitiation]->p5, 1.45);
  EXPECT_DOUBLE_EQ(t.percentiles[kInitiation]->p50, 5.5);
  EXPECT_DOUBLE_EQ(t.percentiles[kInitiation]->p95, 9.55);
  // Remaining life max(0, t_d - 20): 0 0 0 0 0 0 1 4 7 10.
  EXPECT_DOUBLE_EQ(t.percentiles[kRemaining]->p50, 0);
  EXPECT_DOUBLE_EQ(t.percentiles[kRemaining]->p95, 8.65);
}

TEST(Summary, SelectedPercentilesAreThoseOfTheSortedValues) {
  // Random times with ties and survivors: the selection must give what a sort gives.
  std::mt19937_64 gen(7);
  for (int n : {1, 2, 3, 19, 20, 21, 1000, 4097}) {
    for (int survivors : {0, 1, n / 20, n / 2}) {
      SCOPED_TRACE(testing::Message() << n << " samples, " << survivors << " survivors");
      Samples s;
      std::vector<double> sorted;
      for (int i = 0; i < n; ++i) {
        SampleResult r = done(static_cast<double>(gen() % 50) / 4, 1, 1);
        if (i < survivors) {
          r.status = SampleStatus::Survived;
          r.known[kInitiation] = Never;
        } else {
          sorted.push_back(r.ti);
        }
        s.results.push_back(r);
      }
      std::sort(sorted.begin(), sorted.end());
      const auto p = summarize(s, 1.3, {0}).percentiles[kInitiation];
      if (sorted.empty()) {
        EXPECT_FALSE(p);
        continue;
      }
      ASSERT_TRUE(p);
      const double got[3] = {p->p5, p->p50, p->p95};
      const double qs[3] = {0.05, 0.5, 0.95};
      for (int i = 0; i < 3; ++i) {
        const double h = qs[i] * (n - 1);
        const auto lo = static_cast<std::size_t>(h);
        const double f = h - static_cast<double>(lo);
        const bool never = lo >= sorted.size() || (f > 0 && lo + 1 >= sorted.size());
        EXPECT_EQ(p->never[static_cast<std::size_t>(i)], never) << qs[i];
        if (!never) {
          const double expected =
              f > 0 ? sorted[lo] + f * (sorted[lo + 1] - sorted[lo]) : sorted[lo];
          EXPECT_DOUBLE_EQ(got[i], expected) << qs[i];
        }
      }
    }
  }
}

TEST(Summary, OrderStatisticsAndCountsHoldForValuesOfAnySpread) {
  // The order statistics come from buckets spread over the values' range and a selection in
  // them, the counts from the age grid; both must give what a sort and a count give, for
  // values all equal, clustered, spread over hundreds of orders of magnitude, and with zeros.
  std::mt19937_64 gen(3);
  std::uniform_real_distribution<double> uniform(0, 1);
  struct Case {
    const char* name;
    std::function<double(int)> value;
  };
  const Case cases[] = {
      {"all equal", [](int) { return 12.5; }},
      {"zeros and one other", [](int i) { return i % 7 == 0 ? 3.0 : 0.0; }},
      {"clustered with outliers",
       [&](int i) { return i % 100 == 0 ? 1e6 * uniform(gen) : 40 + 1e-9 * uniform(gen); }},
      {"orders of magnitude", [&](int) { return std::pow(10.0, 600 * uniform(gen) - 300); }},
      {"smooth", [&](int) { return 200 * uniform(gen); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Samples s;
    std::vector<double> sorted;
    for (int i = 0; i < 5001; ++i) {
      const double td = c.value(i);
      s.results.push_back(done(1, 1, td));
      sorted.push_back(td);
    }
    std::sort(sorted.begin(), sorted.end());
    const std::vector<double> ages = {0, 1e-300, 3, 12.5, 40, 40 + 5e-10, 100, 1e300};
    const Summary summary = summarize(s, 1.3, ages);
    const auto& p = summary.percentiles[kEnd];
    ASSERT_TRUE(p);
    const double n = static_cast<double>(sorted.size());
    const double qs[3] = {0.05, 0.5, 0.95};
    const double got[3] = {p->p5, p->p50, p->p95};
    for (int i = 0; i < 3; ++i) {
      const double h = qs[i] * (n - 1);
      const auto lo = static_cast<std::size_t>(h);
      const double f = h - static_cast<double>(lo);
      const double expected = f > 0 ? sorted[lo] + f * (sorted[lo + 1] - sorted[lo]) : sorted[lo];
      EXPECT_EQ(got[i], expected) << qs[i];
    }
    for (std::size_t a = 0; a < ages.size(); ++a) {
      const auto below = std::upper_bound(sorted.begin(), sorted.end(), ages[a]) - sorted.begin();
      EXPECT_EQ(summary.curve[a].p[kEnd], static_cast<double>(below) / n) << "age " << ages[a];
    }
    // The age where beta falls below 1.3: the m-th smallest value, m the least count above
    // Phi(-1.3) n.
    const auto m = static_cast<std::size_t>(std::floor(normal_cdf(-1.3) * n)) + 1;
    EXPECT_EQ(summary.targetAge[kEnd], sorted[m - 1]);
  }
}

TEST(Summary, RankCorrelationsShareTiedRanks) {
  // Inputs and times with many ties: the Spearman coefficient is the Pearson coefficient of
  // the average ranks, ties sharing the mean of their places (computed here by a sort).
  auto averageRanks = [](const std::vector<double>& v) {
    std::vector<std::size_t> order(v.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&v](std::size_t a, std::size_t b) { return v[a] < v[b]; });
    std::vector<double> r(v.size());
    for (std::size_t i = 0; i < order.size();) {
      std::size_t j = i;
      while (j < order.size() && v[order[j]] == v[order[i]]) ++j;
      for (std::size_t k = i; k < j; ++k) r[order[k]] = 0.5 * static_cast<double>(i + 1 + j);
      i = j;
    }
    return r;
  };
  auto pearson = [](const std::vector<double>& x, const std::vector<double>& y) {
    const double n = static_cast<double>(x.size());
    const double mx = std::accumulate(x.begin(), x.end(), 0.0) / n;
    const double my = std::accumulate(y.begin(), y.end(), 0.0) / n;
    double sxy = 0, sxx = 0, syy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
      sxy += (x[i] - mx) * (y[i] - my);
      sxx += (x[i] - mx) * (x[i] - mx);
      syy += (y[i] - my) * (y[i] - my);
    }
    return sxy / std::sqrt(sxx * syy);
  };
  std::mt19937_64 gen(5);
  Samples s;
  s.boxes = {1, 2};
  std::vector<double> a, b, td;
  for (int i = 0; i < 3000; ++i) {
    const double x = static_cast<double>(gen() % 13);                              // heavy ties
    const double y = i % 2 == 0 ? -0.0 : static_cast<double>(gen() % 1000) - 500;  // with zeros
    const double t = 10 + x + static_cast<double>(gen() % 5);
    s.results.push_back(done(1 + x, 2 + x, t));
    s.draws.insert(s.draws.end(), {x, y});
    a.push_back(x);
    b.push_back(y);
    td.push_back(t);
  }
  const Summary summary = summarize(s, 1.3);
  ASSERT_EQ(summary.tornado.size(), 2u);
  const std::vector<double> rt = averageRanks(td);
  EXPECT_NEAR(*summary.tornado[0].rho[kEnd], pearson(averageRanks(a), rt), 1e-12);
  EXPECT_NEAR(*summary.tornado[1].rho[kEnd], pearson(averageRanks(b), rt), 1e-12);
  EXPECT_GT(*summary.tornado[0].rho[kEnd], 0.5);
}

TEST(Summary, RemainingLifeIsCountedFromEachSamplesOwnInspectionAge) {
  // t_d = 10 .. 29 with inspection ages 0, 5, 10, 15 in turn (a scattering age box): remaining
  // lives 10, 6, 2, 0, 14, 10, 6, 2, ..., then with one age the same from t_d mapped.
  Samples s;
  std::vector<double> remaining;
  for (int i = 0; i < 20; ++i) {
    const double td = 10 + i, t = 5.0 * (i % 4);
    s.results.push_back(done(1, 2, td, t));
    remaining.push_back(std::max(0.0, td - t));
  }
  std::sort(remaining.begin(), remaining.end());
  const auto p = summarize(s, 1.3, {0}).percentiles[kRemaining];
  ASSERT_TRUE(p);
  // h = 0.5 * 19 = 9.5 and 0.95 * 19 = 18.05.
  EXPECT_DOUBLE_EQ(p->p50, remaining[9] + 0.5 * (remaining[10] - remaining[9]));
  EXPECT_DOUBLE_EQ(p->p95, remaining[18] + 0.05 * (remaining[19] - remaining[18]));
  for (auto& r : s.results) r.t = 20;
  const auto one = summarize(s, 1.3, {0}).percentiles[kRemaining];
  // t_d - 20 for t_d = 10 .. 29: 0 (ten times), 0, 1, ..., 9; h = 9.5 between two zeros.
  EXPECT_DOUBLE_EQ(one->p50, 0);
  EXPECT_DOUBLE_EQ(one->p95, 8 + 0.05 * 1);
}

TEST(Summary, AgeAtTheTargetIndexIsWhereTheProbabilityFirstExceedsItsBound) {
  struct Case {
    double target;
    double initiationAge;
  };
  // P(t_i <= age) steps by 0.1 at each integer age; beta < target once P > Phi(-target).
  const Case cases[] = {
      {1.3, 1},    // Phi(-1.3) = 0.097: the first sample already exceeds it
      {0.0, 6},    // P must exceed 0.5: at 6 it is 0.6 (at 5 it is exactly 0.5)
      {-1.0, 9},   // Phi(1) = 0.841: 0.9 at 9
      {-1.5, 10},  // Phi(1.5) = 0.933: only the last sample takes P above it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    RunSettings settings;
    settings.targetBetaInitiation = settings.targetBetaCracking = settings.targetBeta = c.target;
    const Summary s = summarize(ten(), settings, {0, 10});
    ASSERT_TRUE(s.targetAge[kInitiation]);
    EXPECT_EQ(*s.targetAge[kInitiation], c.initiationAge);
    ASSERT_TRUE(s.targetAge[kCracking]);
    EXPECT_EQ(*s.targetAge[kCracking], 2 * c.initiationAge);
  }
  // Each limit state has its own target: 1.5 for cracking needs P > 0.067, the first sample.
  const Summary s = summarize(ten(), RunSettings{}, {0});
  EXPECT_EQ(s.targets[kCracking], 1.5);
  EXPECT_EQ(*s.targetAge[kCracking], 2);
  // A target below every index the samples can show is never reached.
  EXPECT_FALSE(summarize(ten(), -10, {0}).targetAge[kEnd]);
  // With the stops, P must exceed Phi(-1.3) 15 = 1.45 samples: the headline reaches the target
  // at 0 with the two samples not followed from 0, the lower bound at the second known t_i.
  const Summary f = summarize(fixture(), 1.3, {0});
  EXPECT_EQ(*f.targetAge[kInitiation], 0);
  EXPECT_EQ(*f.targetAgeLow[kInitiation], 2);
}

TEST(ReliabilityIndex, BoundsWhereNoSampleOrEverySampleFailedFollowTheBinomialRule) {
  for (std::uint64_t n : {1ull, 10ull, 1000ull, 100000ull, 10000000ull}) {
    SCOPED_TRACE(n);
    const IndexValue above = reliability_index(0, n);
    ASSERT_EQ(above.kind, IndexValue::Kind::Above);
    // At P = Phi(-beta) no failure in n samples has probability 5 %.
    const boost::math::binomial_distribution<double> none(static_cast<double>(n),
                                                          normal_cdf(-above.value));
    EXPECT_NEAR(boost::math::pdf(none, 0.0), 0.05, 1e-9);
    const IndexValue below = reliability_index(n, n);
    ASSERT_EQ(below.kind, IndexValue::Kind::Below);
    EXPECT_NEAR(std::pow(normal_cdf(-below.value), static_cast<double>(n)), 0.05, 1e-9);
    EXPECT_NEAR(below.value, -above.value, 1e-12);
  }
  // 10^5 samples without failure: beta > 4.01.
  EXPECT_EQ(index_text(reliability_index(0, 100000)), "> 4.013");
  const IndexValue some = reliability_index(3, 10);
  EXPECT_EQ(some.kind, IndexValue::Kind::Exact);
  EXPECT_NEAR(some.value, 0.524400512708041, 1e-12);
}

TEST(Summary, AtTheTargetAgeIntervalIsTheExactBinomialOne) {
  // Inspected at 20 a: t_d <= 20 for t_d = 3, 6, ..., 18 (six of ten).
  const Summary s = summarize(ten(), 1.3, {0});
  const AtAge& at = s.atTarget;
  EXPECT_EQ(at.age, 20);
  EXPECT_EQ(at.failures[kEnd], 6u);
  EXPECT_DOUBLE_EQ(at.p[kEnd], 0.6);
  EXPECT_DOUBLE_EQ(at.se[kEnd], std::sqrt(0.6 * 0.4 / 10));
  ASSERT_TRUE(at.cov[kEnd]);
  EXPECT_DOUBLE_EQ(*at.cov[kEnd], std::sqrt(0.6 * 0.4 / 10) / 0.6);
  // Clopper-Pearson: at the lower end 6 or more failures have probability 2.5 %, at the upper
  // end 6 or fewer.
  const boost::math::binomial_distribution<double> lo(10, at.lo95[kEnd]), hi(10, at.hi95[kEnd]);
  EXPECT_NEAR(boost::math::cdf(boost::math::complement(lo, 5.0)), 0.025, 1e-12);
  EXPECT_NEAR(boost::math::cdf(hi, 6.0), 0.025, 1e-12);
  // Every t_i is at or below 20: P = 1, beta only bounded, the interval closed at 1.
  EXPECT_EQ(at.p[kInitiation], 1);
  EXPECT_EQ(at.index[kInitiation].kind, IndexValue::Kind::Below);
  EXPECT_EQ(at.hi95[kInitiation], 1);

  RunSettings early;
  early.targetAge = 0.5;
  const AtAge none = summarize(ten(), early, {0}).atTarget;
  EXPECT_EQ(none.p[kInitiation], 0);
  EXPECT_FALSE(none.cov[kInitiation]);
  EXPECT_EQ(none.lo95[kInitiation], 0);
  EXPECT_EQ(none.index[kInitiation].kind, IndexValue::Kind::Above);
}

TEST(Summary, NothingRanTheStopsStillCount) {
  Samples s;
  SampleResult r;
  r.status = SampleStatus::Stopped;
  r.t = 10;
  r.known = {Unknown, Unknown, Unknown};
  s.results.assign(5, r);
  const Summary sum = summarize(s, 1.3);
  EXPECT_EQ(sum.stopped, 5u);
  EXPECT_EQ(sum.done, 0u);
  ASSERT_FALSE(sum.curve.empty());
  for (const auto& point : sum.curve) {
    EXPECT_EQ(point.p[kEnd], 1);  // failed from age 0 in the headline
    EXPECT_EQ(point.pLow[kEnd], 0);
  }
  EXPECT_EQ(*sum.targetAge[kEnd], 0);
  EXPECT_FALSE(sum.targetAgeLow[kEnd]);
}

TEST(Summary, DefaultGridReachesPastMostLivesInRoundSteps) {
  const std::vector<double> ages = default_ages(ten());
  ASSERT_EQ(ages.size(), 101u);
  EXPECT_EQ(ages.front(), 0);
  EXPECT_EQ(ages.back(), 50);  // 95th percentile of t_d is 28.65: next of 1, 2, 5 x 10^k
  EXPECT_EQ(ages[1], 0.5);
  // Counting on the even grid agrees with counting by comparison, also at the grid ages.
  Samples s;
  for (int i = 0; i <= 400; ++i) s.results.push_back(done(i * 0.125, i * 0.125, i * 0.125));
  const Summary sum = summarize(s, 1.3);
  for (const auto& point : sum.curve) {
    const auto n = std::count_if(s.results.begin(), s.results.end(),
                                 [&](const SampleResult& r) { return r.ti <= point.age; });
    EXPECT_EQ(point.p[kInitiation], static_cast<double>(n) / 401) << point.age;
  }
}

TEST(Summary, CsvHasNoInfiniteIndexButABoundColumn) {
  std::ostringstream out;
  write_csv(out, summarize(ten(), 1.3, {0, 3}));
  EXPECT_EQ(out.str(),
            "age_a,P_ti,SE_ti,beta_ti,beta_bound_ti,P_low_ti,P_tc,SE_tc,beta_tc,beta_bound_tc,"
            "P_low_tc,P_td,SE_td,beta_td,beta_bound_td,P_low_td\r\n"
            // No failure in ten samples: P < 1 - 0.05^(1/10) = 0.2589, beta > 0.6468.
            "0,0,0,0.646846797,>,0,0,0,0.646846797,>,0,0,0,0.646846797,>,0\r\n"
            "3,0.3,0.1449137675,0.5244005127,,0.3,0.1,0.09486832981,1.281551566,,0.1,0.1,"
            "0.09486832981,1.281551566,,0.1\r\n");
}

}  // namespace
}  // namespace pellucor::analysis::mc
