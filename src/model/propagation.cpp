#include "model/propagation.hpp"

#include <cmath>

namespace pellucor::model {

namespace {

// clang-format off
constexpr SteelCoefficients kSteelTable[] = {
//   kind                   bar    crack: c/d, f_cu, const   power  end: c/d, f_cu, const
//                                 width: c/d, f_cu, const   divisor                     K_s  K_r
    {SteelKind::PlainRound, true,  {0.012, 0.00084, 0.018},  1,     {0.012, 0.00084, 0.255},
                                   {0.012, 0.00084, 0.08},   0.07,                       1.4, 1.6},
    {SteelKind::Deformed,   true,  {0.012, 0.00084, 0.018},  1,     {0.008, 0.00055, 0.273},
                                   {0.008, 0.00055, 0.015},  0.086,                      1.4, 1.6},
    {SteelKind::WallOrSlab, false, {0.015, 0.0014,  0.016},  1.55,  {0,     0,       0.3},
                                   {0,     0,       0},      0,                          1.0, 1.0},
};
// clang-format on

}  // namespace

const SteelCoefficients& steel_coefficients(SteelKind kind) {
  for (const auto& row : kSteelTable) {
    if (row.kind == kind) return row;
  }
  return kSteelTable[2];
}

double corrosion_depth_at(const PropagationInput& in, const Propagation& p, double tau) {
  if (tau < p.tc) return in.lambda0 * (tau - in.ti);
  return p.dcr + p.lambda1 * (tau - p.tc);
}

std::optional<double> crack_width_at(const PropagationInput& in, double depth) {
  const SteelCoefficients& k = steel_coefficients(in.kind);
  if (!k.bar) return std::nullopt;
  return (depth - k.width.ratio * in.c / in.d - k.width.strength * in.fcu - k.width.constant) /
         k.widthDivisor;
}

std::optional<StopReason> propagate(const PropagationInput& in, Propagation& out) {
  out = Propagation{};
  const SteelCoefficients& k = steel_coefficients(in.kind);
  const double c = in.c;
  const double d = in.d;

  // Cracking depth.
  if (k.bar) {
    out.dcr = k.crack.ratio * c / d + k.crack.strength * in.fcu + k.crack.constant;
  } else {
    out.dcr = k.crack.ratio * std::pow(c / d, k.crackPower) + k.crack.strength * in.fcu +
              k.crack.constant;
  }

  // Pre-cracking duration and cracking time (a zero rate only leads to the guard below).
  out.tp = out.dcr / in.lambda0;
  out.tc = in.ti + out.tp;

  // Post-cracking rate, its factor never below 1.8.
  out.eta = 4.5 - in.s * in.lambda0;
  if (out.eta < 1.8) out.eta = 1.8;
  out.lambda1 = out.eta * in.lambda0;

  // End-of-durability depth, capped at 0.026 d.
  if (k.bar) {
    out.dd = k.end.constant + k.end.ratio * c / d + k.end.strength * in.fcu;
  } else {
    out.dd = k.end.constant;
  }
  if (out.dd > 0.026 * d) out.dd = 0.026 * d;

  // Zero-rate guard.
  if (out.lambda1 == 0) return StopReason::ZeroRate;

  out.dtd = (out.dd - out.dcr) / out.lambda1;
  out.td = out.tc + out.dtd;

  // The durable life may end before the cover cracks.
  const double limit = 0.026 * d;
  if (limit <= 0.3 && out.dcr >= limit) {
    out.td = in.ti + limit / in.lambda0;
  } else if (limit > 0.3 && out.dcr >= 0.3) {
    out.td = in.ti + 0.3 / in.lambda0;
  }

  // Inspection depth and crack width.
  out.dt = corrosion_depth_at(in, out, in.t);
  out.w = crack_width_at(in, out.dt);
  return std::nullopt;
}

}  // namespace pellucor::model
