// The error function and its inverse as rectangle-rule sums with fixed steps.
//
// The values of these routines, not exact error-function values, enter every chloride
// result, so they are defined by their step-by-step loops:
//
//   fun_erf(x):     sum = 0, t = 0; while !(t > x) { sum += ((2/sqrt(3.14159)) / exp(t*t)) / N;
//                   t += h; } return sum;                      (fine: h = 2e-7, coarse: h = 2e-6)
//   fun_erf_fan(y): sum = 0, x = 0; while !(sum > y) { sum += ((2/sqrt(3.14)) / exp(x*x)) / 500000;
//                   x += 2e-6; } return x;
//
// The state after step k of a loop does not depend on the argument, so each routine resumes
// from a checkpoint below its argument (every K steps) in a table that the build fills by
// running the loop itself and compiles into the library. Once a term no longer changes the
// sum, no later term does, and the loop's value from there on is known. Results are the same
// doubles, bit for bit, as the plain loops. The tables are read-only: safe from any thread.
#pragma once

#include <cstddef>
#include <optional>

namespace pellucor::model {

enum class ErfStep {
  Fine,    // step 2e-7, used by the constant- and time-dependent-coefficient chloride models
  Coarse,  // step 2e-6, used by the marine-atmosphere model
};

// Rectangle-rule error function: 0 for x < 0; NaN for NaN.
double fun_erf(double x, ErfStep step);
inline double fun_erf_fine(double x) {
  return fun_erf(x, ErfStep::Fine);
}
inline double fun_erf_coarse(double x) {
  return fun_erf(x, ErfStep::Coarse);
}

// Rectangle-rule inverse error function: the grid abscissa just after the running sum first
// exceeds y; 0 for y < 0. Empty when the sum never exceeds y (y at or above the limit of the
// sum, sqrt(pi)/sqrt(3.14), just above 1, or NaN): the plain loop would never end.
std::optional<double> fun_erf_fan(double y);

// The largest y that still has an inverse: the value at which the inverse's sum stops growing.
double fun_erf_fan_limit();

// Bytes held by all checkpoint tables together.
std::size_t erf_table_bytes();

}  // namespace pellucor::model
