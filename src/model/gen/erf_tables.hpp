// The checkpoint tables of the error-function loops, written by make_erf_tables at build
// time. Each table holds pairs of bit patterns {abscissa, sum}, the first pair {0, 0}; the
// saturation pair is the state at the first step whose term no longer changed the sum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pellucor::model::erf_tables {

struct Prebuilt {
  const std::uint64_t* pairs;  // 2 * count bit patterns
  std::size_t count;
  std::uint64_t saturationAt;
  std::uint64_t saturationSum;
};

extern const Prebuilt kFine;
extern const Prebuilt kCoarse;
extern const Prebuilt kInverse;

}  // namespace pellucor::model::erf_tables
