#include "model/propagation.hpp"

#include <cmath>

namespace pellucor::model {

std::optional<StopReason> propagate(const PropagationInput& in, Propagation& out) {
  out = Propagation{};
  const bool bar = in.kind == 1 || in.kind == 2;
  const double c = in.c;
  const double d = in.d;

  // Cracking depth.
  if (bar) {
    out.dcr = 0.012 * c / d + 0.00084 * in.fcu + 0.018;
  } else {
    out.dcr = 0.015 * std::pow(c / d, 1.55) + 0.0014 * in.fcu + 0.016;
  }

  // Pre-cracking duration and cracking time (a zero rate only leads to the guard below).
  out.tp = out.dcr / in.lambda0;
  out.tc = in.ti + out.tp;

  // Post-cracking rate, its factor never below 1.8.
  out.eta = 4.5 - in.s * in.lambda0;
  if (out.eta < 1.8) out.eta = 1.8;
  out.lambda1 = out.eta * in.lambda0;

  // End-of-durability depth, capped at 0.026 d.
  if (in.kind == 1) {
    out.dd = 0.255 + 0.012 * c / d + 0.00084 * in.fcu;
  } else if (in.kind == 2) {
    out.dd = 0.273 + 0.008 * c / d + 0.00055 * in.fcu;
  } else {
    out.dd = 0.3;
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
  if (in.t < out.tc) {
    out.dt = in.lambda0 * (in.t - in.ti);
  } else {
    out.dt = out.dcr + out.lambda1 * (in.t - out.tc);
  }
  if (in.kind == 1) {
    out.w = (out.dt - 0.012 * c / d - 0.00084 * in.fcu - 0.08) / 0.07;
  } else if (in.kind == 2) {
    out.w = (out.dt - 0.008 * c / d - 0.00055 * in.fcu - 0.015) / 0.086;
  }
  return std::nullopt;
}

}  // namespace pellucor::model
