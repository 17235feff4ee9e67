// The time course every model ends with, in one shape for all five sheets: initiation,
// pre-cracking rate, cover cracking, post-cracking rate, end of durability and the values at
// the inspection age. Curves, batches and reliability analysis read it from a model run.
#pragma once

#include <optional>

#include "model/model_run.hpp"

namespace pellucor::analysis {

struct Timeline {
  double ti = 0;       // initiation time, a (0 for chloride admixed at casting)
  double lambda0 = 0;  // pre-cracking rate, mm/a
  double t = 0;        // inspection age, a
  double coverMm = 0;  // cover thickness, mm
  model::SteelKind kind{};
  model::Propagation prop;  // cracking depth and time, post-cracking rate, end of durability,
                            // inspection depth and crack width
};

// The timeline of a run; none for an empty run or one that stopped.
std::optional<Timeline> timeline(const model::ModelRun& run);

}  // namespace pellucor::analysis
