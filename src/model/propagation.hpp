// Corrosion propagation and cover cracking: the steps every model ends with, from the
// initiation time and the pre-cracking rate to the inspection depth and crack width.
#pragma once

#include <cstdint>
#include <optional>

#include "model/stop.hpp"

namespace pellucor::model {

// Steel kinds, numbered as the steel-kind list numbers its items. The list's text is read by
// its numeric value, so any other number can arrive; the steps treat every kind that is not a
// bar like wall or slab reinforcement.
enum class SteelKind : std::int16_t {
  PlainRound = 1,
  Deformed = 2,
  WallOrSlab = 3,
};

// The steel kind of a number read from the steel-kind list (kept as it is, whatever it is).
constexpr SteelKind steel_kind_of(std::int16_t number) {
  return static_cast<SteelKind>(number);
}
constexpr std::int16_t steel_kind_number(SteelKind kind) {
  return static_cast<std::int16_t>(kind);
}

// The coefficients of the propagation steps (and of the carbonation factors) for one steel
// kind. With c the cover and d the diameter (mm) and f_cu the strength (MPa):
//   cracking depth     bar:  crack.ratio * c / d + crack.strength * f_cu + crack.constant
//                      else: crack.ratio * (c / d)^crack.power + crack.strength * f_cu + ...
//   end-of-durability  bar:  end.constant + end.ratio * c / d + end.strength * f_cu
//                      else: end.constant
//   crack width        bar:  (depth - width.ratio * c / d - width.strength * f_cu
//                             - width.constant) / width.divisor;  else none
// Each expression is evaluated in exactly this order.
struct SteelCoefficients {
  struct Terms {
    double ratio = 0;     // of c/d
    double strength = 0;  // of f_cu
    double constant = 0;
  };
  SteelKind kind = SteelKind::WallOrSlab;
  bool bar = false;
  Terms crack;
  double crackPower = 1;  // exponent of c/d in the cracking depth (walls and slabs)
  Terms end;
  Terms width;
  double widthDivisor = 0;
  double carbonationFactor = 1;  // K_s of the carbonation coefficient
  double rateFactor = 1;         // K_r of the carbonation corrosion rate
};

// The row of a steel kind; any kind that is not a bar gets the wall-or-slab row.
const SteelCoefficients& steel_coefficients(SteelKind kind);

struct PropagationInput {
  double ti = 0;       // initiation time, a
  double lambda0 = 0;  // pre-cracking rate, mm/a
  double s = 0;        // rate-factor slope, a/mm (340 carbonation, 26 chloride)
  double c = 0;        // cover thickness, mm
  double d = 0;        // steel diameter, mm
  double fcu = 0;      // concrete strength, MPa
  double t = 0;        // inspection age, a
  SteelKind kind{};
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

// The corrosion depth at age `tau` once the cracking time is known, as the inspection depth is
// computed: the pre-cracking rate from the initiation time until the cover cracks, the
// post-cracking rate after it (negative before initiation, as computed).
double corrosion_depth_at(const PropagationInput& in, const Propagation& p, double tau);
// The crack width at a corrosion depth; none for wall or slab reinforcement.
std::optional<double> crack_width_at(const PropagationInput& in, double depth);

// Runs the steps. On a stop, `out` keeps the values computed before it (the cracking depth,
// durations, rates and end-of-durability depth of the steps ahead of the zero-rate guard).
std::optional<StopReason> propagate(const PropagationInput& in, Propagation& out);

}  // namespace pellucor::model
