// Chloride ingress with a diffusion coefficient that falls with age as t^-m: apparent
// coefficient from a measured profile, initiation time with the age exponent, then the
// cracking-time iteration with the fine error function.
#pragma once

#include <optional>

#include "model/chloride_profile.hpp"

namespace pellucor::model {

// Inputs in the units typed; the model converts them as read.
struct ChlorideVariableInput {
  double Ke = 0;
  double T = 0;
  double RH = 0;
  double fcu = 0;
  double coverMm = 0;  // cover thickness, mm
  double t = 0;        // inspection age, a
  double m = 0;        // time-dependence exponent
  double Cs = 0;
  double Ccr = 0;
  double xMm = 0;  // measuring depth, mm
  double Cx = 0;
  double tcStart = 0;  // assumed cracking time, a
  double dMm = 0;      // steel diameter, mm
  SteelKind kind{};
};

// D is the apparent diffusion coefficient at the inspection age.
struct ChlorideVariableResult : ProfileResult {
  double zx = 0;  // profile argument at the measuring depth
  double g = 0;   // 1/(1 - m)
};

ChlorideVariableResult run_chloride_variable(
    const ChlorideVariableInput& in, IterationObserver<ChlorideVariableResult>* observer = nullptr);

// The chloride (kg/m3) at depth x (m) and age tau (a) of a completed run, with the fine error
// function. The coefficient falls with age as t^-m from its apparent value D at the inspection
// age; the profile follows its integral D t^m g tau^(1-m), as the initiation time does (the
// profile reaches C_cr at the cover at t_i). The passes of the iteration take the chloride at
// the bar with D itself. Before any time has passed only the surface holds chloride.
double chloride_variable_concentration(const ChlorideVariableInput& in,
                                       const ChlorideVariableResult& r, double x, double tau);

}  // namespace pellucor::model
