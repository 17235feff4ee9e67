// The error-function routines written as the plain step-by-step loops that define them.
// They are the reference the checkpointed routines must match bit for bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace pellucor::reference {

inline double plain_erf(double x, double h, double n) {
  double sum = 0;
  double t = 0;
  for (;;) {
    if (t > x) return sum;
    const double term = ((2 / std::sqrt(3.14159)) / std::exp(t * t)) / n;
    sum = sum + term;
    t = t + h;
  }
}
inline double plain_erf_fine(double x) {
  return plain_erf(x, 2e-7, 5000000);
}
inline double plain_erf_coarse(double x) {
  return plain_erf(x, 2e-6, 500000);
}

// Only for arguments that have a result (the loop never ends otherwise).
inline double plain_erf_fan(double y) {
  double sum = 0;
  double x = 0;
  for (;;) {
    if (sum > y) return x;
    const double term = ((2 / std::sqrt(3.14)) / std::exp(x * x)) / 500000;
    sum = sum + term;
    x = x + 2e-6;
  }
}

// State of a loop after `steps` steps: the abscissa and the running sum.
struct LoopState {
  double at;
  double sum;
};
inline LoopState plain_state(std::uint64_t steps, double h, double n, double pi) {
  LoopState s{0, 0};
  for (std::uint64_t k = 0; k < steps; ++k) {
    s.sum = s.sum + ((2 / std::sqrt(pi)) / std::exp(s.at * s.at)) / n;
    s.at = s.at + h;
  }
  return s;
}

inline std::uint64_t bits(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

}  // namespace pellucor::reference
