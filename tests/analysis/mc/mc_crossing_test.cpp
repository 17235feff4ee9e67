// The crossing of a concentration with the critical one against hand-worked profiles.
#include <gtest/gtest.h>

#include <boost/math/special_functions/erf.hpp>
#include <cmath>

#include "analysis/mc/crossing.hpp"

namespace pellucor::analysis::mc {
namespace {

TEST(Crossing, ConstantSurfaceProfileCrossesWhereTheInverseErrorFunctionSays) {
  // C(t) = C_s (1 - erf(c / (2 sqrt(D t)))) reaches C_cr at t* = c^2 / (4 D z^2) with
  // z = erfinv(1 - C_cr / C_s). Cover 40 mm, D = 1.5 cm2/a, C_s = 5, C_cr = 1.4.
  const double c = 0.040, D = 1.5e-4, Cs = 5, Ccr = 1.4;
  const double z = boost::math::erf_inv(1 - Ccr / Cs);
  const double expected = c * c / (4 * D * z * z);
  const Crossing x = first_crossing(
      [&](double t) { return Cs * (1 - std::erf(c / (2 * std::sqrt(D * t)))); }, Ccr);
  ASSERT_EQ(x.kind, Crossing::Kind::Found);
  EXPECT_NEAR(x.age, expected, 1e-6);
  EXPECT_GE(x.age, expected);  // the upper end of the last bracket
  EXPECT_LT(x.evaluations, 100);
  // Independent of where the sheet's search would have started: no start value at all.
}

TEST(Crossing, TheFirstCrossingOfAProfileThatRisesFallsAndRises) {
  // A bump above the level between 2.2 and 2.8 a, then the level again from 9 a on.
  auto bumpy = [](double t) {
    if (t < 2.5) return t - 1.2;              // reaches 1 at 2.2
    if (t < 3) return 1.0 - (t - 2.5) * 2.5;  // falls below 1 after 2.5
    return t / 9;                             // 1 again at 9
  };
  const Crossing x = first_crossing(bumpy, 1.0);
  ASSERT_EQ(x.kind, Crossing::Kind::Found);
  EXPECT_NEAR(x.age, 2.2, 1e-6);
  // With a coarse scan the bump falls between two scan ages; the later crossing is found.
  const Crossing coarse = first_crossing(bumpy, 1.0, {.step = 2.0});
  EXPECT_NEAR(coarse.age, 9, 1e-6);
}

TEST(Crossing, NoCrossingWithinTheLimitOrNoNumberIsSaidSo) {
  const Crossing never =
      first_crossing([](double t) { return 1 - 1 / (1 + t); }, 1.0, {.step = 0.5, .limit = 100});
  EXPECT_EQ(never.kind, Crossing::Kind::NotByLimit);
  EXPECT_EQ(never.evaluations, 200);

  const Crossing nan = first_crossing([](double t) { return t < 3 ? 0.0 : std::nan(""); }, 1.0);
  EXPECT_EQ(nan.kind, Crossing::Kind::NotFinite);
  EXPECT_EQ(nan.age, 3);

  // Already above at the first scan age: the crossing lies between 0 and the step.
  const Crossing early = first_crossing([](double t) { return 10 * t; }, 1.0);
  ASSERT_EQ(early.kind, Crossing::Kind::Found);
  EXPECT_NEAR(early.age, 0.1, 1e-6);
}

}  // namespace
}  // namespace pellucor::analysis::mc
