// Corrosion propagation and cover cracking: the steps every model ends with, from the
// initiation time and the pre-cracking rate to the inspection depth and crack width.
#pragma once

#include <cstdint>
#include <optional>

#include "model/stop.hpp"

namespace pellucor::model {

// Steel kinds: 1 plain round bar, 2 deformed bar, 3 wall or slab reinforcement.
using SteelKind = std::int16_t;

struct PropagationInput {
  double ti = 0;       // initiation time, a
  double lambda0 = 0;  // pre-cracking rate, mm/a
  double s = 0;        // rate-factor slope, a/mm (340 carbonation, 26 chloride)
  double c = 0;        // cover thickness, mm
  double d = 0;        // steel diameter, mm
  double fcu = 0;      // concrete strength, MPa
  double t = 0;        // inspection age, a
  SteelKind kind = 0;
};

struct Propagation {
  double dcr = 0;           // cracking depth, mm
  double tp = 0;            // pre-cracking duration, a
  double tc = 0;            // cracking time, a
  double eta = 0;           // post-cracking rate factor
  double lambda1 = 0;       // post-cracking rate, mm/a
  double dd = 0;            // end-of-durability depth, mm
  double dtd = 0;           // post-cracking durability span, a
  double td = 0;            // end-of-durability time, a
  double dt = 0;            // inspection depth, mm
  std::optional<double> w;  // inspection crack width, mm; none for wall or slab reinforcement
};

// Runs the steps. On a stop, `out` keeps the values computed before it (the cracking depth,
// durations, rates and end-of-durability depth of the steps ahead of the zero-rate guard).
std::optional<StopReason> propagate(const PropagationInput& in, Propagation& out);

}  // namespace pellucor::model
