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

// Expected values are hand calculations for each case (c/d = 1.5, fcu = 30, t_i = 10,
// lambda0 = 0.01): delta_cr = 0.018 + 0.0252 + 0.018 = 0.0612, t_c = 10 + 6.12, eta = 4.5 - 0.26,
// delta_d = 0.255 + 0.018 + 0.0252 = 0.2982, and w = (delta_t - 0.1232) / 0.07.
struct BarCase {
  const char* name;
  double t;
  double dt;  // inspection depth
  double w;   // crack width
};

TEST(Propagation, BarBeforeAndAfterCrackingAndBeforeInitiation) {
  const BarCase cases[] = {
      {"after cracking", 40, 1.073712, 13.578742857142857},  // 0.0612 + 0.0424 * 23.88
      {"before cracking", 12, 0.02, -1.4742857142857143},    // 0.01 * (12 - 10)
      {"before initiation", 5, -0.05, -2.4742857142857143},  // 0.01 * (5 - 10)
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Propagation p;
    ASSERT_FALSE(propagate(input(SteelKind::PlainRound, 30, 20, 30, 10, 0.01, 26, c.t), p));
    EXPECT_DOUBLE_EQ(p.dcr, 0.0612);
    EXPECT_DOUBLE_EQ(p.tp, 6.12);
    EXPECT_DOUBLE_EQ(p.tc, 16.12);
    EXPECT_DOUBLE_EQ(p.eta, 4.24);
    EXPECT_DOUBLE_EQ(p.lambda1, 0.0424);
    EXPECT_DOUBLE_EQ(p.dd, 0.2982);               // below the cap 0.52
    EXPECT_DOUBLE_EQ(p.dtd, 5.5896226415094340);  // 0.237 / 0.0424
    EXPECT_DOUBLE_EQ(p.td, 21.709622641509434);
    EXPECT_NEAR(p.dt, c.dt, 1e-15);
    ASSERT_TRUE(p.w.has_value());
    EXPECT_NEAR(*p.w, c.w, 1e-13);
  }
}

TEST(Propagation, DeformedBarUsesItsOwnDepthAndWidth) {
  Propagation p;
  ASSERT_FALSE(propagate(input(SteelKind::Deformed, 40, 20, 30, 5, 0.006, 26, 40), p));
  EXPECT_DOUBLE_EQ(p.dcr, 0.0672);  // 0.024 + 0.0252 + 0.018, the bar formula
  EXPECT_DOUBLE_EQ(p.dd, 0.3055);   // 0.273 + 0.016 + 0.0165
  // t_c = 5 + 11.2; lambda1 = (4.5 - 0.156) * 0.006; delta_t = 0.0672 + 0.026064 * 23.8.
  EXPECT_DOUBLE_EQ(p.dt, 0.6875232);
  ASSERT_TRUE(p.w.has_value());
  EXPECT_DOUBLE_EQ(*p.w, 7.4421302325581395);  // (0.6875232 - 0.0475) / 0.086
}

TEST(Propagation, WallReinforcementFloorCapAndNoWidth) {
  Propagation p;
  ASSERT_FALSE(propagate(input(SteelKind::WallOrSlab, 25, 10, 40, 5, 0.01, 340, 30), p));
  EXPECT_DOUBLE_EQ(p.dcr, 0.13407236212385937);  // 0.015 * 2.5^1.55 + 0.056 + 0.016
  EXPECT_DOUBLE_EQ(p.eta, 1.8);                  // 4.5 - 3.4 = 1.1 raised to the floor
  EXPECT_DOUBLE_EQ(p.lambda1, 1.8 * 0.01);
  EXPECT_DOUBLE_EQ(p.dd, 0.026 * 10);  // 0.3 capped
  EXPECT_GT(30, p.tc);
  EXPECT_DOUBLE_EQ(p.dt, 0.34274211030091256);  // post-cracking: delta_cr + 0.018 (30 - t_c)
  EXPECT_FALSE(p.w.has_value());
}

TEST(Propagation, EarlyEndOfDurability) {
  // Thin bar: L = 0.026*8 is below 0.3 and the cracking depth exceeds it.
  Propagation thin;
  ASSERT_FALSE(propagate(input(SteelKind::WallOrSlab, 90, 8, 50, 5, 0.01, 26, 30), thin));
  const double limit = 0.026 * 8;
  EXPECT_GE(thin.dcr, limit);
  EXPECT_DOUBLE_EQ(thin.dcr, 0.72481877088327007);
  EXPECT_DOUBLE_EQ(thin.td, 25.8);                  // 5 + 0.208 / 0.01
  EXPECT_DOUBLE_EQ(thin.dtd, -12.189121954794107);  // (0.208 - delta_cr) / 0.0424

  // Thick bar: L = 0.026*40 is above 0.3; the early end needs a cracking depth of 0.3.
  Propagation thick;
  ASSERT_FALSE(propagate(input(SteelKind::WallOrSlab, 90, 40, 50, 5, 0.01, 26, 30), thick));
  EXPECT_LT(thick.dcr, 0.3);
  EXPECT_DOUBLE_EQ(thick.td, 22.675762087461205);  // t_c + (0.3 - delta_cr) / 0.0424
  Propagation deep;
  ASSERT_FALSE(propagate(input(SteelKind::WallOrSlab, 90, 9, 50, 5, 0.01, 26, 30), deep));
  // 0.026*9 = 0.234 <= 0.3 and dcr = 0.015*10^1.55 + 0.086 > 0.234
  EXPECT_DOUBLE_EQ(deep.td, 28.4);  // 5 + 0.234 / 0.01
}

// A cracking depth exactly at the depth limit ends the durable life early. With a bar and a
// diameter of 12 the limit 0.026 d is 0.312, above 0.3, so the early end needs delta_cr >= 0.3;
// c = 240, fcu = 50 give delta_cr = 0.24 + 0.042 + 0.018 = 0.3 exactly (also in doubles).
// With a diameter of 6 the limit is 0.156 and c = 48 gives delta_cr = 0.156 exactly; the
// end-of-durability depth is then capped to the same value, so both readings of the rule give
// t_d = t_c.
TEST(Propagation, CrackingDepthExactlyAtTheLimitEndsEarly) {
  Propagation at03;
  ASSERT_FALSE(propagate(input(SteelKind::PlainRound, 240, 12, 50, 3, 0.01, 26, 40), at03));
  ASSERT_EQ(at03.dcr, 0.3);
  EXPECT_DOUBLE_EQ(at03.td, 33);  // 3 + 0.3 / 0.01, not t_c + (0.312 - 0.3) / 0.0424 = 33.283
  EXPECT_NEAR(at03.dtd, 0.283018867924528, 1e-12);  // (0.312 - 0.3) / 0.0424, kept

  Propagation atLimit;
  ASSERT_FALSE(propagate(input(SteelKind::PlainRound, 48, 6, 50, 3, 0.01, 26, 40), atLimit));
  ASSERT_EQ(atLimit.dcr, 0.026 * 6);
  EXPECT_DOUBLE_EQ(atLimit.td, 18.6);  // 3 + 0.156 / 0.01
  EXPECT_EQ(atLimit.dtd, 0);
}

TEST(Propagation, ZeroRateStopsWithoutFaulting) {
  Propagation p;
  const auto stop = propagate(input(SteelKind::PlainRound, 30, 20, 30, 10, 0.0, 26, 40), p);
  ASSERT_TRUE(stop.has_value());
  EXPECT_EQ(*stop, StopReason::ZeroRate);
  EXPECT_DOUBLE_EQ(p.dcr, 0.0612);  // computed before the guard
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
