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
  // k = 3 * 1.5 * 1.4 * 1.2 * 1.1 * 15^0.25 * 0.7^1.5 * 0.3 * (58/30 - 0.76), above the cap 3.3.
  EXPECT_DOUBLE_EQ(r.k, 3.3738597013871821);
  EXPECT_GT(r.k, 3.3);
  EXPECT_DOUBLE_EQ(r.cPrime, 30.193393315448695);  // 30 + 0.066 * 2^(0.47 * 3.3)
  // x0 = (1.2 - 0.35 sqrt(k)) c' - 6 (1.5 + 0.84 k) / 3.6 with k itself, not the cap.
  EXPECT_DOUBLE_EQ(r.x0, 9.5978664584177409);
  EXPECT_DOUBLE_EQ(r.ti, 36.567656939595857);  // ((30 - x0) / k)^2
  // 7.53 * 1.6 * 2 * 0.9375 * 0.25^(2/3) * 30^-1.8 * 30^-0.675
  EXPECT_DOUBLE_EQ(r.lambda0, 0.0019800118887381419);
  EXPECT_DOUBLE_EQ(r.prop.eta, 3.8267959578290318);  // slope 340: 4.5 - 340 lambda0
  // Inspection at 60 a falls before cracking: pre-cracking branch, negative width.
  EXPECT_LT(60, r.prop.tc);
  EXPECT_DOUBLE_EQ(r.prop.dt, 0.046396317840590902);  // lambda0 (60 - t_i)
  ASSERT_TRUE(r.prop.w.has_value());
  EXPECT_LT(*r.prop.w, 0);
}

TEST(Carbonation, MeasuredDepthWinsOverTheCo2Coefficient) {
  auto in = example();
  in.x = 10;
  in.t = 20;
  const auto r = run_carbonation(in);
  ASSERT_FALSE(r.stop);
  EXPECT_DOUBLE_EQ(r.k, 2.2360679774997898);       // 10 / sqrt(20) = sqrt(5)
  EXPECT_DOUBLE_EQ(r.cPrime, 30.136745170262937);  // 30 + 0.066 * 2^(0.47 sqrt(5))
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
  // The humidity as entered: 0.85^1.5 * 0.15.
  EXPECT_DOUBLE_EQ(r.k, 2.7360523537728572);
  EXPECT_DOUBLE_EQ(r.cPrime, 25);
  EXPECT_DOUBLE_EQ(r.RH, 0.8);
  // The rate with the capped humidity: 5.38 * 1.6 * 2 * 0.9375 * 0.3^(2/3) * 30^-1.8 * 25^-0.675.
  EXPECT_DOUBLE_EQ(r.lambda0, 0.0018067161881605114);
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
