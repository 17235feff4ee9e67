// The record of one run of a module model: the inputs it was given and the result it
// returned. The sheets hand it on with their report so that analysis above the sheets
// (curves, batches, reliability) works on the model's own numbers, not on printed text.
#pragma once

#include <variant>

#include "model/admixed.hpp"
#include "model/carbonation.hpp"
#include "model/chloride_constant.hpp"
#include "model/chloride_variable.hpp"
#include "model/marine.hpp"

namespace pellucor::model {

template <class Input, class Result>
struct Run {
  Input in;
  Result out;
};

using CarbonationRun = Run<CarbonationInput, CarbonationResult>;
using ChlorideConstantRun = Run<ChlorideConstantInput, ChlorideConstantResult>;
using ChlorideVariableRun = Run<ChlorideVariableInput, ChlorideVariableResult>;
using MarineRun = Run<MarineInput, MarineResult>;
using AdmixedRun = Run<AdmixedInput, AdmixedResult>;

// Empty (monostate) when no model ran, e.g. a calculation stopped by a check.
using ModelRun = std::variant<std::monostate, CarbonationRun, ChlorideConstantRun,
                              ChlorideVariableRun, MarineRun, AdmixedRun>;

// The chloride ingress of the runs whose chloride enters through the cover: the concentration
// (kg/m3) at depth x (m) and age tau (a), with the model's own formula and error function.
inline double concentration(const ChlorideConstantRun& r, double x, double tau) {
  return chloride_constant_concentration(r.in, r.out, x, tau);
}
inline double concentration(const ChlorideVariableRun& r, double x, double tau) {
  return chloride_variable_concentration(r.in, r.out, x, tau);
}
inline double concentration(const MarineRun& r, double x, double tau) {
  return marine_concentration(r.in, r.out.D, x, tau);
}

}  // namespace pellucor::model
