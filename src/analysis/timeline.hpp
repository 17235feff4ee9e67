// The time course every model ends with, in one shape for all five sheets: what the model
// handed to the propagation steps (initiation, pre-cracking rate, cover, diameter, strength,
// inspection age, steel kind) and what they returned (cover cracking, post-cracking rate, end of
// durability, the values at the inspection age); and, for the sheets whose chloride enters
// through the cover, the model's own ingress. Curves, batches and reliability analysis read
// them from a model run; this is the one place that tells the runs apart.
#pragma once

#include <functional>
#include <optional>

#include "model/model_run.hpp"

namespace pellucor::analysis {

// Chloride concentration (kg/m3) at depth `x` (m) and age `tau` (a) as the sheet's model sees
// its ingress, with the model's own formula and error-function routine.
using Ingress = std::function<double(double x, double tau)>;

struct Timeline {
  model::PropagationInput in;  // exactly as the model handed it to the propagation steps
                               // (lengths in millimetres, converted as the model converts them)
  model::Propagation prop;     // cracking depth and time, post-cracking rate, end of durability,
                               // inspection depth and crack width
  double ti = 0;               // initiation time, a (0 for chloride admixed at casting): in.ti
  double lambda0 = 0;          // pre-cracking rate, mm/a: in.lambda0
  double t = 0;                // inspection age, a: in.t
  model::SteelKind kind{};     // in.kind
};

// The timeline of a run; none for an empty run or one that stopped.
std::optional<Timeline> timeline(const model::ModelRun& run);

// The chloride ingress of a run whose chloride enters through the cover.
struct ChlorideIngress {
  Ingress concentration;
  double barDepth = 0;  // the cover as the model takes the chloride at the bar, m
  double Ccr = 0;       // the critical chloride concentration, kg/m3
};

// The ingress of a completed run; none for the sheets without one, and as for timeline().
std::optional<ChlorideIngress> chloride_ingress(const model::ModelRun& run);

}  // namespace pellucor::analysis
