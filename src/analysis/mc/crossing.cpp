#include "analysis/mc/crossing.hpp"

#include <algorithm>
#include <cmath>

namespace pellucor::analysis::mc {

Crossing first_crossing(const std::function<double(double)>& concentration, double level,
                        const CrossingSearch& search) {
  Crossing out;
  auto at = [&](double t, double& c) {
    ++out.evaluations;
    c = concentration(t);
    if (std::isfinite(c)) return true;
    out.kind = Crossing::Kind::NotFinite;
    out.age = t;
    return false;
  };
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
  // Bisection: `below` stays below the level, `above` at or above it.
  for (int i = 0; i < 64 && above - below > search.tolerance; ++i) {
    const double mid = 0.5 * (below + above);
    if (!(mid > below && mid < above)) break;  // the doubles cannot split the bracket further
    double c = 0;
    if (!at(mid, c)) return out;
    (c >= level ? above : below) = mid;
  }
  out.kind = Crossing::Kind::Found;
  out.age = above;
  return out;
}

}  // namespace pellucor::analysis::mc
