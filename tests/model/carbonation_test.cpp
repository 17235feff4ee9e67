#include "model/carbonation.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace pellucor::model {
namespace {

CarbonationInput example() {
  CarbonationInput in;
  in.m = 2.0;
  in.T = 15;
  in.RH = 0.7;
  in.fcu = 30;
  in.c = 30;
  in.t = 60;
  in.x = 0;
  in.kco2 = 1.5;
  in.d = 20;
  in.kind = SteelKind::PlainRound;
  in.condition = WorkingCondition::Outdoor;
  return in;
}

// Hand calculation of the carbonation steps for the three worked cases.
TEST(Carbonation, CoefficientAboveTheCapOnlyCapsTheExponent) {
  const auto r = run_carbonation(example());
  ASSERT_FALSE(r.stop);
  const double k = 3 * 1.5 * 1.4 * 1.2 * 1.1 * std::pow(15, 0.25) * std::pow(0.7, 1.5) * (1 - 0.7) *
                   (58.0 / 30 - 0.76);
  EXPECT_GT(k, 3.3);
  EXPECT_DOUBLE_EQ(r.k, k);
  EXPECT_DOUBLE_EQ(r.cPrime, 30 + 0.066 * std::pow(2, 0.47 * 3.3));
  const double x0 = (1.2 - 0.35 * std::sqrt(k)) * r.cPrime - 6 * (1.5 + 0.84 * k) / (2.0 + 1.6);
  EXPECT_DOUBLE_EQ(r.x0, x0);
  EXPECT_DOUBLE_EQ(r.ti, std::pow((30 - x0) / k, 2));
  const double lambda0 = 7.53 * 1.6 * 2.0 * (0.75 + 0.0125 * 15) * std::pow(0.7 - 0.45, 2.0 / 3) *
                         std::pow(30, -1.8) * std::pow(30, -0.675);
  EXPECT_DOUBLE_EQ(r.lambda0, lambda0);
  // Slope 340: 4.5 - 340*lambda0.
  EXPECT_DOUBLE_EQ(r.prop.eta, std::max(4.5 - 340 * lambda0, 1.8));
  // Inspection at 60 a falls before cracking: pre-cracking branch, negative width.
  EXPECT_LT(60, r.prop.tc);
  EXPECT_DOUBLE_EQ(r.prop.dt, lambda0 * (60 - r.ti));
  ASSERT_TRUE(r.prop.w.has_value());
  EXPECT_LT(*r.prop.w, 0);
}

TEST(Carbonation, MeasuredDepthWinsOverTheCo2Coefficient) {
  auto in = example();
  in.x = 10;
  in.t = 20;
  const auto r = run_carbonation(in);
  ASSERT_FALSE(r.stop);
  EXPECT_DOUBLE_EQ(r.k, 10 / std::sqrt(20.0));
  EXPECT_DOUBLE_EQ(r.cPrime, 30 + 0.066 * std::pow(2, 0.47 * std::sqrt(5.0)));
  // Neither the CO2 coefficient nor the climate enter k on this path.
  in.kco2 = 3.0;
  in.T = 25;
  in.fcu = 45;
  EXPECT_DOUBLE_EQ(run_carbonation(in).k, r.k);
}

TEST(Carbonation, HumidityCapIndoorThinCoverAndStressState) {
  CarbonationInput in;
  in.m = 2.0;
  in.T = 15;
  in.RH = 0.85;
  in.fcu = 30;
  in.c = 25;
  in.t = 30;
  in.kco2 = 2.0;
  in.d = 16;
  in.kind = SteelKind::Deformed;
  in.condition = WorkingCondition::Indoor;
  const auto r = run_carbonation(in);
  ASSERT_FALSE(r.stop);
  EXPECT_DOUBLE_EQ(r.k, 3 * 2.0 * 1.4 * 1.2 * 1.0 * std::pow(15, 0.25) * std::pow(0.85, 1.5) *
                            (1 - 0.85) * (58.0 / 30 - 0.76));
  EXPECT_DOUBLE_EQ(r.cPrime, 25);
  EXPECT_DOUBLE_EQ(r.RH, 0.8);
  EXPECT_DOUBLE_EQ(r.lambda0, 5.38 * 1.6 * 2.0 * (0.75 + 0.0125 * 15) *
                                  std::pow(0.8 - 0.5, 2.0 / 3) * std::pow(30, -1.8) *
                                  std::pow(25, -0.675));
  in.stress = StressState::Compression;
  const auto compressed = run_carbonation(in);
  EXPECT_EQ(compressed.prop.dt, r.prop.dt);
  EXPECT_EQ(compressed.prop.td, r.prop.td);
}

// Inputs the formulas leave undefined end in the stop, never in NaN or infinity.
TEST(Carbonation, UndefinedCasesStop) {
  struct Case {
    const char* name;
    void (*change)(CarbonationInput&);
    StopReason reason;
  };
  const Case cases[] = {
      {"humidity 1.0 on the CO2 path", [](CarbonationInput& in) { in.RH = 1.0; },
       StopReason::ZeroCarbonation},
      {"outdoor humidity 0.45", [](CarbonationInput& in) { in.RH = 0.45; },
       StopReason::InvalidHumidity},
      {"outdoor humidity 0.4", [](CarbonationInput& in) { in.RH = 0.4; },
       StopReason::InvalidHumidity},
      {"indoor humidity 0.5",
       [](CarbonationInput& in) {
         in.RH = 0.5;
         in.condition = WorkingCondition::Indoor;
       },
       StopReason::InvalidHumidity},
      {"zero diameter", [](CarbonationInput& in) { in.d = 0; }, StopReason::NotFinite},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto in = example();
    c.change(in);
    const auto r = run_carbonation(in);
    ASSERT_TRUE(r.stop.has_value());
    EXPECT_EQ(*r.stop, c.reason);
  }
  // With the measured depth, humidity 1.0 is fine for k; the rate uses 0.8.
  auto in = example();
  in.RH = 1.0;
  in.x = 10;
  EXPECT_FALSE(run_carbonation(in).stop);
}

}  // namespace
}  // namespace pellucor::model
