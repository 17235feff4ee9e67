#include <gtest/gtest.h>

#include <cmath>

#include "model/chloride_rate.hpp"

namespace pellucor::model {
namespace {

TEST(RateBlock, StrengthFactorPieces) {
  const struct {
    double fcu, F;
  } cases[] = {{10, 5.6}, {30, 5.6}, {35, 8.35}, {40, 11.1}, {50, 11.1}, {31, 6.15}};
  for (const auto& c : cases) EXPECT_NEAR(strength_factor(c.fcu), c.F, 1e-12) << c.fcu;
}

TEST(RateBlock, ChlorideTermFloorHumidityAndCurrent) {
  // Hand calculation of every step with C_L = 2, f_cu = 30 (F = 5.6), T = 20, RH = 0.8 and
  // K_e = 1.5: R = 5.6 q + 0.4 + 4; ln i = 0.618 ln 2 + 8.617 - 3034/293 - 0.005 R.
  const struct {
    double cr, q, R, lnI, lambda0;
  } cases[] = {
      {4, -1.8, -5.68, -1.2811838478747037, 0.0048321251393709051},  // q raised to -1.8
      {3.6, -1.8, -5.68, -1.2811838478747037, 0.0048321251393709051},
      {1, 0.8, 8.88, -1.3539838478747037, 0.0044928460197007029},
      {1.8, 0, 4.4, -1.3315838478747037, 0.0045946213992607877},
  };
  for (const auto& c : cases) {
    Rate r;
    r.F = 5.6;
    RateInput in{c.cr, 2.0, 30, 20, 0.8, 1.5};
    ASSERT_FALSE(corrosion_rate(in, RateScaling::DivideAfterKe, r));
    EXPECT_NEAR(r.q, c.q, 1e-15) << c.cr;
    EXPECT_NEAR(r.R, c.R, 1e-12);
    EXPECT_NEAR(r.lnI, c.lnI, 1e-12);
    EXPECT_NEAR(r.lambda0, c.lambda0, 1e-15);
  }
  Rate saturated;
  saturated.F = 5.6;
  ASSERT_FALSE(corrosion_rate({1, 2, 30, 20, 1.0, 1}, RateScaling::DivideAfterKe, saturated));
  EXPECT_DOUBLE_EQ(saturated.R, 8.48);  // RH = 1: no humidity term, 5.6 * 0.8 + 4
}

TEST(RateBlock, AdmixedScalingAndNoLogarithmOfNonPositive) {
  Rate a, b;
  a.F = b.F = 5.6;
  ASSERT_FALSE(corrosion_rate({6, 3, 30, 20, 0.8, 2}, RateScaling::DivideAfterKe, a));
  ASSERT_FALSE(corrosion_rate({6, 3, 30, 20, 0.8, 2}, RateScaling::MilliBeforeKe, b));
  EXPECT_EQ(b.lambda0, 11.6 * b.i * 0.001 * 2);  // the order of the admixed sheet's factors
  // C_R = 6 holds q at -1.8 (R = -5.68); ln i = 0.618 ln 3 + 8.617 - 3034/293 + 0.0284.
  EXPECT_NEAR(b.lambda0, 0.0082775403708660149, 1e-15);
  EXPECT_NEAR(a.lambda0, b.lambda0, 1e-15);
  for (double cl : {0.0, -0.1}) {
    Rate r;
    const auto stop = corrosion_rate({1, cl, 30, 20, 0.8, 1}, RateScaling::DivideAfterKe, r);
    ASSERT_TRUE(stop.has_value());
    EXPECT_EQ(*stop, StopReason::NonPositiveConcentration);
  }
}

// A module whose initiation time alternates between two values never settles: the
// iteration must end at its bound with the stop, having reported every pass.
struct Alternating {
  int calls = 0;
  std::optional<StopReason> before(double, PropagationInput& p) {
    p.ti = (calls++ % 2 == 0) ? 5.0 : 50.0;
    return std::nullopt;
  }
  std::optional<StopReason> concentrations(double, RateInput& in) {
    in.cr = 2;
    in.cl = 2;
    return std::nullopt;
  }
  bool printable() const { return true; }
};
struct Record {
  Rate rate;
  PropagationInput propIn;
  Propagation prop;
  Iteration iteration;
};
struct Counter : IterationObserver<Record> {
  int started = 0, finished = 0;
  void passStarted(int, double) override { ++started; }
  void passFinished(int, const Record&) override { ++finished; }
};

TEST(CrackingTimeIteration, EndsAtItsBoundWhenPassesDoNotSettle) {
  Record r;
  Alternating pass;
  Counter counter;
  PropagationInput p;
  p.c = 30;
  p.d = 20;
  p.fcu = 30;
  p.t = 20;
  p.kind = SteelKind::Deformed;
  const auto stop = iterate_cracking_time(10.0, RateInput{0, 0, 30, 20, 0.8, 1},
                                          RateScaling::DivideAfterKe, p, r, pass, &counter);
  ASSERT_TRUE(stop.has_value());
  EXPECT_EQ(*stop, StopReason::PassLimit);
  EXPECT_EQ(r.iteration.passes, kMaxPasses);
  EXPECT_EQ(counter.started, kMaxPasses);
  EXPECT_EQ(counter.finished, kMaxPasses);
}

TEST(CrackingTimeIteration, ZeroOrNegativeAssumedTimeStopsBeforeTheReport) {
  for (double start : {0.0, -3.0}) {
    Record r;
    Alternating pass;
    Counter counter;
    PropagationInput p;
    p.kind = SteelKind::PlainRound;
    p.c = p.d = 20;
    const auto stop = iterate_cracking_time(start, RateInput{0, 0, 30, 20, 0.8, 1},
                                            RateScaling::DivideAfterKe, p, r, pass, &counter);
    ASSERT_TRUE(stop.has_value());
    EXPECT_EQ(*stop, StopReason::ZeroAssumedTime);
    EXPECT_EQ(counter.started, 1);
    EXPECT_EQ(counter.finished, 0);
    EXPECT_DOUBLE_EQ(r.rate.F, 5.6);  // the strength factor comes before the zero stop
  }
}

}  // namespace
}  // namespace pellucor::model
