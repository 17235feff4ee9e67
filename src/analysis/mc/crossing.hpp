// The first age at which a concentration that grows with age reaches a level: scanned in
// steps to bracket the crossing, then bisected. Used for the initiation time as the age at
// which the chloride at the bar actually reaches the critical concentration, beside the
// sheet's own step search that ends within a band around it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace pellucor::analysis::mc {

struct CrossingSearch {
  double step = 0.5;        // a: the scan's step, from 0
  double limit = 1000;      // a: no crossing by this age is reported as none
  double tolerance = 1e-6;  // a: the width of the final bracket
};

struct Crossing {
  enum class Kind {
    Found,       // `age`: the level is reached there (within the tolerance, from above)
    NotByLimit,  // the concentration stays below the level up to the limit
    NotFinite,   // the concentration is not a finite number at `age`
  };
  Kind kind = Kind::NotByLimit;
  double age = 0;
  int evaluations = 0;
};

// The first age t in (0, limit] at which concentration(t) >= level, found by scanning
// step, 2 step, ... (concentration is not evaluated at 0) and bisecting the first bracket
// until it is narrower than the tolerance; the upper end of that bracket is the age. Bounded:
// at most limit / step + 64 evaluations.
Crossing first_crossing(const std::function<double(double)>& concentration, double level,
                        const CrossingSearch& search = {});

}  // namespace pellucor::analysis::mc
