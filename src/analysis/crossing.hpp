// The first age at which a concentration that grows with age reaches a level: scanned in
// steps (or, for one that rises, galloped over the same steps) to bracket the crossing, then
// bisected. Used for the marine sheet's initiation time as the age at which the chloride at the
// bar actually reaches the critical concentration, beside the sheet's own step search that ends
// within a band around it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

#include "model/marine.hpp"

namespace pellucor::analysis {

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

namespace detail {

// The evaluations of a crossing search: each counted, and the first that is not a finite number
// ends the search at its age.
template <class Concentration>
struct CrossingProbe {
  const Concentration& concentration;
  Crossing& out;

  bool at(double t, double& c) {
    ++out.evaluations;
    c = concentration(t);
    if (std::isfinite(c)) return true;
    out.kind = Crossing::Kind::NotFinite;
    out.age = t;
    return false;
  }
  // Bisects the bracket (`below` below the level, `above` at or above it) until it is narrower
  // than the tolerance; its upper end is the age found. False where a value was no number.
  bool bisect(double below, double above, double level, double tolerance) {
    for (int i = 0; i < 64 && above - below > tolerance; ++i) {
      const double mid = 0.5 * (below + above);
      if (!(mid > below && mid < above)) break;  // the doubles cannot split the bracket further
      double c = 0;
      if (!at(mid, c)) return false;
      (c >= level ? above : below) = mid;
    }
    out.kind = Crossing::Kind::Found;
    out.age = above;
    return true;
  }
};

}  // namespace detail

// The first age t in (0, limit] at which concentration(t) >= level, found by scanning
// step, 2 step, ... (concentration is not evaluated at 0) and bisecting the first bracket
// until it is narrower than the tolerance; the upper end of that bracket is the age. Bounded:
// at most limit / step + 64 evaluations.
template <class Concentration>
Crossing first_crossing(const Concentration& concentration, double level,
                        const CrossingSearch& search = {}) {
  Crossing out;
  detail::CrossingProbe<Concentration> probe{concentration, out};
  auto at = [&probe](double t, double& c) { return probe.at(t, c); };
  const auto steps = static_cast<std::int64_t>(std::ceil(search.limit / search.step));
  double below = 0;  // the age 0 counts as below the level
  double above = 0;
  bool found = false;
  for (std::int64_t k = 1; k <= steps; ++k) {
    // Each age from its own index, so that no rounding accumulates along the scan.
    const double t = std::min(search.limit, static_cast<double>(k) * search.step);
    double c = 0;
    if (!at(t, c)) return out;
    if (c >= level) {
      above = t;
      found = true;
      break;
    }
    below = t;
  }
  if (!found) {
    out.kind = Crossing::Kind::NotByLimit;
    out.age = search.limit;
    return out;
  }
  probe.bisect(below, above, level, search.tolerance);
  return out;
}

// The same first scan age for a concentration that rises with age, found with fewer
// evaluations: the scan ages k step are tried at k = 1, 2, 4, 8, ... until one reaches the level,
// then the bracket of indices is halved down to the first k that does (where the values rise,
// the k the scan stops at), and that bracket is bisected as above. For a rising concentration
// the age is the one first_crossing finds, bit for bit: the same first bracket, bisected the
// same way. Bounded: at most 2 log2(limit / step) + log2(step / tolerance) + 3 evaluations. A
// value that is not a finite number at an age tried is reported at that age (which need not be
// the first scan age that has one).
//
// Why the last bracket is bisected, not narrowed by interpolation (regula falsi, ITP): the marine
// sheet's concentration is computed with a staircase error function and crosses the level
// several times within some 10^-5 a; any other choice of points ends at another of those
// crossings (to the tolerance), and the initiation times would no longer be the same.
template <class Concentration>
Crossing rising_crossing(const Concentration& concentration, double level,
                         const CrossingSearch& search = {}) {
  Crossing out;
  detail::CrossingProbe<Concentration> probe{concentration, out};
  auto at = [&probe](double t, double& c) { return probe.at(t, c); };
  const auto steps = static_cast<std::int64_t>(std::ceil(search.limit / search.step));
  // Each age from its own index, as the scan computes it.
  auto age = [&](std::int64_t k) {
    return std::min(search.limit, static_cast<double>(k) * search.step);
  };
  // Galloping: the last index known below the level (0: the age 0, which counts as below) and
  // the first known at or above it.
  std::int64_t lo = 0, hi = 0;
  for (std::int64_t k = 1; hi == 0; k = std::min(2 * k, steps)) {
    double c = 0;
    if (!at(age(k), c)) return out;
    if (c >= level) {
      hi = k;
    } else if (k == steps) {
      out.kind = Crossing::Kind::NotByLimit;
      out.age = search.limit;
      return out;
    } else {
      lo = k;
    }
  }
  while (hi - lo > 1) {
    const std::int64_t mid = lo + (hi - lo) / 2;
    double c = 0;
    if (!at(age(mid), c)) return out;
    (c >= level ? hi : lo) = mid;
  }
  probe.bisect(age(lo), age(hi), level, search.tolerance);
  return out;
}

// How the marine sheet's initiation time is found: by the sheet's own half-year step search
// ("按表单算法"), which ends within 0.5 kg/m3 of the critical concentration and so depends on
// its start value, or as the age at which the sheet's concentration at the bar actually reaches
// the critical concentration ("按临界浓度交点"). The other sheets have one way.
enum class InitiationVariant { SheetSearch, Crossing };

std::string_view variant_name(InitiationVariant v);  // "sheet-search", "crossing"
std::string_view variant_text(InitiationVariant v);  // "按表单算法", "按临界浓度交点"

// The step of the sheet's searches: the two ways are said to differ when their initiation times
// lie further apart than this.
inline constexpr double kSearchStep = 0.5;  // a

// The marine model with its initiation time at the crossing.
struct CrossingRun {
  // The coefficients, then (when the crossing was found) the cracking-time iteration and the
  // propagation from t_i = the crossing, as run_marine_from gives them; `stop` as the model's.
  model::MarineResult out;
  // How the crossing search ended; NotByLimit and NotFinite leave the iteration unrun (out.ti
  // holds the age reached). Not searched when the coefficients stopped (out.stop set).
  Crossing crossing;
  bool afterStableTime = false;  // the crossing lies after the stable time
};

// The age at which the chloride at the bar (depth in.coverMm, coefficient D in m2/a) reaches
// in.Ccr: with the surface growing as k sqrt(t) up to the stable time, the formula of the
// sheet's first search, scanned from 0 to t_s (t_s itself included); after it the formula of
// the second search, scanned in the time after t_s. Both with the searches' error function; the
// age is t_s + T2 as the sheet adds them. Both formulas rise with age, so the scans are run as
// rising_crossing runs them (the same ages, with fewer evaluations). `limit` bounds the age:
// NotByLimit gives it as the age.
Crossing marine_crossing(const model::MarineInput& in, double D, double limit,
                         bool* afterStableTime = nullptr);

// No structure lives this long: a crossing later than this is reported as none by then.
inline constexpr double kCrossingLimit = 1000;  // a

// run_marine with the initiation time at the crossing instead of the searches'.
CrossingRun run_marine_crossing(const model::MarineInput& in);

}  // namespace pellucor::analysis
