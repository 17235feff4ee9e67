// Results are printed in single precision; a value that is not finite or lies outside the
// single-precision range cannot be, and ends a calculation with the plausibility stop.
#pragma once

#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>

namespace pellucor::model {

inline bool printable(double v) {
  return std::isfinite(v) && std::fabs(v) <= static_cast<double>(std::numeric_limits<float>::max());
}

inline bool printable(std::initializer_list<double> values) {
  for (double v : values) {
    if (!printable(v)) return false;
  }
  return true;
}

inline bool printable(const std::optional<double>& v) {
  return !v || printable(*v);
}

}  // namespace pellucor::model
