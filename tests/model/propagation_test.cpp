#include "model/propagation.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace pellucor::model {
namespace {

PropagationInput input(SteelKind kind, double c, double d, double fcu, double ti, double lambda0,
                       double s, double t) {
  PropagationInput in;
  in.kind = kind;
  in.c = c;
  in.d = d;
  in.fcu = fcu;
  in.ti = ti;
  in.lambda0 = lambda0;
  in.s = s;
  in.t = t;
  return in;
}

// Expected values are hand calculations of the stated formulas for each case.
struct BarCase {
  const char* name;
  double t;
  bool afterCracking;
};

TEST(Propagation, BarBeforeAndAfterCrackingAndBeforeInitiation) {
  const double dcr = 0.012 * 30 / 20 + 0.00084 * 30 + 0.018;  // 0.0612
  const double tc = 10 + dcr / 0.01;                          // 16.12
  const double lambda1 = 4.24 * 0.01;
  const double dd = 0.255 + 0.012 * 30 / 20 + 0.00084 * 30;  // below the cap 0.52
  const BarCase cases[] = {{"after cracking", 40, true},
                           {"before cracking", 12, false},
                           {"before initiation", 5, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Propagation p;
    ASSERT_FALSE(propagate(input(SteelKind::PlainRound, 30, 20, 30, 10, 0.01, 26, c.t), p));
    EXPECT_DOUBLE_EQ(p.dcr, dcr);
    EXPECT_DOUBLE_EQ(p.tp, dcr / 0.01);
    EXPECT_DOUBLE_EQ(p.tc, tc);
    EXPECT_DOUBLE_EQ(p.eta, 4.24);
    EXPECT_DOUBLE_EQ(p.lambda1, lambda1);
    EXPECT_DOUBLE_EQ(p.dd, dd);
    EXPECT_DOUBLE_EQ(p.dtd, (dd - dcr) / lambda1);
    EXPECT_DOUBLE_EQ(p.td, tc + (dd - dcr) / lambda1);
    const double dt = c.afterCracking ? dcr + lambda1 * (c.t - tc) : 0.01 * (c.t - 10);
    EXPECT_DOUBLE_EQ(p.dt, dt);
    ASSERT_TRUE(p.w.has_value());
    EXPECT_DOUBLE_EQ(*p.w, (dt - 0.012 * 30 / 20 - 0.00084 * 30 - 0.08) / 0.07);
    EXPECT_EQ(*p.w > 0, c.afterCracking);
  }
}

TEST(Propagation, DeformedBarUsesItsOwnDepthAndWidth) {
  Propagation p;
  ASSERT_FALSE(propagate(input(SteelKind::Deformed, 40, 20, 30, 5, 0.006, 26, 40), p));
  EXPECT_DOUBLE_EQ(p.dcr, 0.012 * 40 / 20 + 0.00084 * 30 + 0.018);
  EXPECT_DOUBLE_EQ(p.dd, 0.273 + 0.008 * 40 / 20 + 0.00055 * 30);
  ASSERT_TRUE(p.w.has_value());
  EXPECT_DOUBLE_EQ(*p.w, (p.dt - 0.008 * 40 / 20 - 0.00055 * 30 - 0.015) / 0.086);
}

TEST(Propagation, WallReinforcementFloorCapAndNoWidth) {
  Propagation p;
  ASSERT_FALSE(propagate(input(SteelKind::WallOrSlab, 25, 10, 40, 5, 0.01, 340, 30), p));
  EXPECT_DOUBLE_EQ(p.dcr, 0.015 * std::pow(2.5, 1.55) + 0.0014 * 40 + 0.016);
  EXPECT_DOUBLE_EQ(p.eta, 1.8);  // 4.5 - 3.4 = 1.1 raised to the floor
  EXPECT_DOUBLE_EQ(p.lambda1, 1.8 * 0.01);
  EXPECT_DOUBLE_EQ(p.dd, 0.026 * 10);  // 0.3 capped
  EXPECT_GT(30, p.tc);
  EXPECT_DOUBLE_EQ(p.dt, p.dcr + p.lambda1 * (30 - p.tc));
  EXPECT_FALSE(p.w.has_value());
}

TEST(Propagation, EarlyEndOfDurability) {
  // Thin bar: L = 0.026*8 is below 0.3 and the cracking depth exceeds it.
  Propagation thin;
  ASSERT_FALSE(propagate(input(SteelKind::WallOrSlab, 90, 8, 50, 5, 0.01, 26, 30), thin));
  const double limit = 0.026 * 8;
  EXPECT_GE(thin.dcr, limit);
  EXPECT_DOUBLE_EQ(thin.td, 5 + limit / 0.01);
  EXPECT_DOUBLE_EQ(thin.dtd, (limit - thin.dcr) / thin.lambda1);
  EXPECT_LT(thin.dtd, 0);

  // Thick bar: L = 0.026*40 is above 0.3; the early end needs a cracking depth of 0.3.
  Propagation thick;
  ASSERT_FALSE(propagate(input(SteelKind::WallOrSlab, 90, 40, 50, 5, 0.01, 26, 30), thick));
  EXPECT_LT(thick.dcr, 0.3);
  EXPECT_DOUBLE_EQ(thick.td, thick.tc + thick.dtd);
  Propagation deep;
  ASSERT_FALSE(propagate(input(SteelKind::WallOrSlab, 90, 9, 50, 5, 0.01, 26, 30), deep));
  // 0.026*9 = 0.234 <= 0.3 and dcr = 0.015*10^1.55 + 0.086 > 0.234
  EXPECT_DOUBLE_EQ(deep.td, 5 + 0.026 * 9 / 0.01);
}

TEST(Propagation, ZeroRateStopsWithoutFaulting) {
  Propagation p;
  const auto stop = propagate(input(SteelKind::PlainRound, 30, 20, 30, 10, 0.0, 26, 40), p);
  ASSERT_TRUE(stop.has_value());
  EXPECT_EQ(*stop, StopReason::ZeroRate);
  EXPECT_DOUBLE_EQ(p.dcr, 0.012 * 30 / 20 + 0.00084 * 30 + 0.018);  // computed before the guard
}

// The steel-kind list is read by its numeric value, so any number can arrive: every kind that
// is not one of the two bars follows the wall-or-slab steps.
TEST(Propagation, KindsOutsideTheListFollowWallOrSlab) {
  Propagation wall;
  ASSERT_FALSE(propagate(input(SteelKind::WallOrSlab, 40, 16, 30, 5, 0.008, 26, 40), wall));
  for (const std::int16_t number : {0, 4, -1, 300}) {
    SCOPED_TRACE(number);
    Propagation p;
    ASSERT_FALSE(propagate(input(steel_kind_of(number), 40, 16, 30, 5, 0.008, 26, 40), p));
    EXPECT_EQ(p.dcr, wall.dcr);
    EXPECT_EQ(p.dd, wall.dd);
    EXPECT_EQ(p.td, wall.td);
    EXPECT_FALSE(p.w.has_value());
    EXPECT_EQ(steel_coefficients(steel_kind_of(number)).carbonationFactor, 1.0);
  }
  EXPECT_EQ(steel_coefficients(SteelKind::Deformed).carbonationFactor, 1.4);
  EXPECT_EQ(steel_coefficients(SteelKind::PlainRound).rateFactor, 1.6);
}

}  // namespace
}  // namespace pellucor::model
