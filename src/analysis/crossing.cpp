#include "analysis/crossing.hpp"

#include <algorithm>

#include "model/marine.hpp"

namespace pellucor::analysis {

std::string_view variant_name(InitiationVariant v) {
  return v == InitiationVariant::Crossing ? "crossing" : "sheet-search";
}

std::string_view variant_text(InitiationVariant v) {
  return v == InitiationVariant::Crossing ? "按临界浓度交点" : "按表单算法";
}

Crossing marine_crossing(const model::MarineInput& in, double D, double limit,
                         bool* afterStableTime) {
  const double c = in.coverMm / 1000;  // as the model converts it
  if (afterStableTime) *afterStableTime = false;
  // While the surface grows: the first search's formula up to the stable time.
  const double growingLimit = std::min(in.ts, limit);
  Crossing first;
  if (growingLimit > 0) {
    first = rising_crossing(
        [&](double t) { return model::marine_growing_concentration(in.k, c, D, t); }, in.Ccr,
        {.step = kSearchStep, .limit = growingLimit});
    if (first.kind != Crossing::Kind::NotByLimit || !(limit > in.ts)) return first;
  }
  // After it: the second search's formula, in the time after the stable time.
  const double C1 = in.Cs * model::marine_profile_term(c, D, in.ts);
  Crossing second = rising_crossing(
      [&](double t2) { return model::marine_stable_concentration(C1, in.Cs, c, D, t2); }, in.Ccr,
      {.step = kSearchStep, .limit = limit - in.ts});
  second.evaluations += first.evaluations;
  if (afterStableTime) *afterStableTime = true;
  second.age = in.ts + second.age;
  return second;
}

CrossingRun run_marine_crossing(const model::MarineInput& in) {
  CrossingRun run;
  run.out = model::marine_coefficients(in);
  if (run.out.stop) return run;
  run.crossing = marine_crossing(in, run.out.D, kCrossingLimit, &run.afterStableTime);
  if (run.crossing.kind != Crossing::Kind::Found) {
    run.out.ti = run.crossing.age;
    return run;
  }
  model::run_marine_from(in, run.crossing.age, run.out);
  return run;
}

}  // namespace pellucor::analysis
