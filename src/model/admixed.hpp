// Chloride admixed at casting: no initiation stage; the effective chloride content at the
// assumed cracking time sets the rate; the cracking-time iteration settles the cracking time.
#pragma once

#include <optional>

#include "model/chloride_rate.hpp"

namespace pellucor::model {

struct AdmixedInput {
  double Ke = 0;
  double T = 0;
  double RH = 0;
  double fcu = 0;
  double c = 0;        // cover thickness, mm
  double t = 0;        // inspection age, a
  double tcStart = 0;  // assumed cracking time, a
  double C0 = 0;       // chloride content at the steel surface, kg/m3
  double d = 0;        // steel diameter, mm
  SteelKind kind{};
};

struct AdmixedResult : IterationResult {
  double Ce = 0;  // effective chloride content at the assumed cracking time
};

AdmixedResult run_admixed(const AdmixedInput& in,
                          IterationObserver<AdmixedResult>* observer = nullptr);

}  // namespace pellucor::model
