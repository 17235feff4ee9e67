// The record shared by the three models of chloride entering through the cover (constant and
// time-dependent coefficient, marine atmosphere): lengths in metres as the models use them,
// the diffusion and erosion coefficients, the initiation time and the chloride at the bar.
#pragma once

#include "model/chloride_rate.hpp"

namespace pellucor::model {

struct ProfileResult : IterationResult {
  double c = 0;    // cover, m
  double d = 0;    // diameter, m
  double x = 0;    // measuring depth, m
  double D = 0;    // diffusion coefficient as used, m2/a
  double zcr = 0;  // profile argument of the critical concentration
  double K = 0;    // chloride erosion coefficient, m/a^0.5
  double ti = 0;   // initiation time, a
  double Cb = 0;   // bar-surface chloride concentration at the assumed cracking time
  double Cm = 0;   // mean cover chloride concentration
};

}  // namespace pellucor::model
