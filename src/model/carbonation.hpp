// Carbonation model: carbonation coefficient (from climate and concrete, or from a measured
// depth), corrected cover, carbonation residual, initiation time and pre-cracking rate, then
// the propagation steps with the slope 340.
#pragma once

#include <optional>

#include "model/propagation.hpp"
#include "model/stop.hpp"

namespace pellucor::model {

enum class WorkingCondition { Indoor, Outdoor };
enum class StressState { Tension, Compression };

struct CarbonationInput {
  double m = 0;     // local environment coefficient
  double T = 0;     // ambient temperature, deg C
  double RH = 0;    // ambient relative humidity, fraction
  double fcu = 0;   // concrete strength, MPa
  double c = 0;     // cover thickness, mm
  double t = 0;     // inspection age, a
  double x = 0;     // measured carbonation depth, mm (0: not measured)
  double kco2 = 0;  // CO2 concentration coefficient (0: not given)
  double d = 0;     // steel diameter, mm
  SteelKind kind{};
  WorkingCondition condition = WorkingCondition::Indoor;
  StressState stress = StressState::Tension;  // echoed only
};

inline constexpr double kCarbonationSlope = 340.0;  // a/mm

struct CarbonationResult {
  double Ks = 0;            // carbonation steel-kind factor
  double Kw = 0;            // working-condition factor
  double Kr = 0;            // rate steel-kind factor
  double k = 0;             // carbonation coefficient, mm/a^0.5
  double cPrime = 0;        // corrected cover, mm
  double x0 = 0;            // carbonation residual, mm
  double ti = 0;            // initiation time, a
  double RH = 0;            // humidity as used by the rate (capped at 0.8)
  double lambda0 = 0;       // pre-cracking rate, mm/a
  PropagationInput propIn;  // what the model handed to the propagation steps
  Propagation prop;
  std::optional<StopReason> stop;  // set when the calculation gave up; values before it kept
};

CarbonationResult run_carbonation(const CarbonationInput& in);

// The model's first step alone: the carbonation coefficient k, mm/a^0.5 (from the measured
// depth, else from climate and concrete), as run_carbonation computes it.
double carbonation_coefficient(const CarbonationInput& in);

}  // namespace pellucor::model
