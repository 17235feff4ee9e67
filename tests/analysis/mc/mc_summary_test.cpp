// Summaries of a small fixture of samples whose answers are known by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "analysis/mc/summary.hpp"

namespace pellucor::analysis::mc {
namespace {

// Ten samples that ran (t_i = 1..10, t_c = 2 t_i, t_d = 3 t_i, inspected at 20 a), two that
// stopped and one the sheet refused, the stopped ones with times that would count if they
// were taken for failures.
Samples fixture() {
  Samples s;
  for (int i = 1; i <= 10; ++i) {
    s.results.push_back({SampleStatus::Done, double(i), 2.0 * i, 3.0 * i, 20});
  }
  s.results.push_back({SampleStatus::Stopped, 0, 0, 0, 20});
  s.results.push_back({SampleStatus::Stopped, 0, 0, 0, 20});
  s.results.push_back({SampleStatus::Rejected, 0, 0, 0, 20});
  return s;
}

TEST(Summary, CountsPercentilesAndProbabilitiesOverTheSamplesThatRan) {
  const Summary s = summarize(fixture(), 1.3, {0, 3, 6, 30});
  EXPECT_EQ(s.samples, 13u);
  EXPECT_EQ(s.done, 10u);
  EXPECT_EQ(s.stopped, 2u);
  EXPECT_EQ(s.rejected, 1u);

  // Linear interpolation between order statistics: 1 + 0.45, 1 + 4.5, 1 + 8.55.
  ASSERT_TRUE(s.percentiles[kInitiation]);
  EXPECT_DOUBLE_EQ(s.percentiles[kInitiation]->p5, 1.45);
  EXPECT_DOUBLE_EQ(s.percentiles[kInitiation]->p50, 5.5);
  EXPECT_DOUBLE_EQ(s.percentiles[kInitiation]->p95, 9.55);
  EXPECT_DOUBLE_EQ(s.percentiles[kEnd]->p50, 16.5);
  // Remaining life max(0, t_d - 20): 0 0 0 0 0 0 1 4 7 10.
  ASSERT_TRUE(s.percentiles[kRemaining]);
  EXPECT_DOUBLE_EQ(s.percentiles[kRemaining]->p50, 0);
  EXPECT_DOUBLE_EQ(s.percentiles[kRemaining]->p95, 8.65);

  ASSERT_EQ(s.curve.size(), 4u);
  const CurvePoint& at3 = s.curve[1];
  EXPECT_EQ(at3.age, 3);
  EXPECT_DOUBLE_EQ(at3.p[kInitiation], 0.3);  // t_i = 1, 2, 3 of ten
  EXPECT_DOUBLE_EQ(at3.p[kCracking], 0.1);    // t_c = 2
  EXPECT_DOUBLE_EQ(at3.p[kEnd], 0.1);         // t_d = 3
  EXPECT_DOUBLE_EQ(at3.se[kInitiation], std::sqrt(0.3 * 0.7 / 10));
  EXPECT_NEAR(at3.beta[kInitiation], 0.524400512708041, 1e-12);
  EXPECT_NEAR(at3.beta[kCracking], 1.281551565544601, 1e-12);
  // No sample by age 0, every one by age 30: no finite index either way.
  EXPECT_EQ(s.curve[0].p[kInitiation], 0);
  EXPECT_EQ(s.curve[0].se[kInitiation], 0);
  EXPECT_EQ(s.curve[0].beta[kInitiation], INFINITY);
  EXPECT_EQ(s.curve[3].p[kEnd], 1);
  EXPECT_EQ(s.curve[3].beta[kEnd], -INFINITY);
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
    const Summary s = summarize(fixture(), c.target, {0, 10});
    ASSERT_TRUE(s.targetAge[kInitiation]);
    EXPECT_EQ(*s.targetAge[kInitiation], c.initiationAge);
    ASSERT_TRUE(s.targetAge[kCracking]);
    EXPECT_EQ(*s.targetAge[kCracking], 2 * c.initiationAge);
  }
  // A target below every index the samples can show is never reached.
  EXPECT_FALSE(summarize(fixture(), -10, {0}).targetAge[kEnd]);
}

TEST(Summary, NothingRanNothingToSay) {
  Samples s;
  s.results.assign(5, {SampleStatus::Stopped, 0, 0, 0, 10});
  const Summary sum = summarize(s, 1.3);
  EXPECT_EQ(sum.stopped, 5u);
  EXPECT_EQ(sum.done, 0u);
  EXPECT_FALSE(sum.percentiles[kInitiation]);
  EXPECT_FALSE(sum.targetAge[kInitiation]);
  ASSERT_FALSE(sum.curve.empty());
  for (const auto& point : sum.curve) EXPECT_EQ(point.p[kEnd], 0);
}

TEST(Summary, DefaultGridReachesPastMostLivesInRoundSteps) {
  const std::vector<double> ages = default_ages(fixture());
  ASSERT_EQ(ages.size(), 101u);
  EXPECT_EQ(ages.front(), 0);
  EXPECT_EQ(ages.back(), 50);  // 95th percentile of t_d is 28.65: next of 1, 2, 5 x 10^k
  EXPECT_EQ(ages[1], 0.5);
}

TEST(Summary, CsvHasOneLinePerAgeWithTheInfiniteIndicesSpelledOut) {
  std::ostringstream out;
  write_csv(out, summarize(fixture(), 1.3, {0, 3}));
  EXPECT_EQ(out.str(),
            "age_a,P_ti,SE_ti,beta_ti,P_tc,SE_tc,beta_tc,P_td,SE_td,beta_td\r\n"
            "0,0,0,inf,0,0,inf,0,0,inf\r\n"
            "3,0.3,0.1449137675,0.5244005127,0.1,0.09486832981,1.281551566,0.1,0.09486832981,"
            "1.281551566\r\n");
}

}  // namespace
}  // namespace pellucor::analysis::mc
