// The worked example of each model, as its sheet hands it to the model, and a completed run
// of it: the inputs every benchmark measures with.
#pragma once

#include "model/admixed.hpp"
#include "model/carbonation.hpp"
#include "model/chloride_constant.hpp"
#include "model/chloride_variable.hpp"
#include "model/marine.hpp"
#include "model/model_run.hpp"

namespace pellucor::bench {

inline model::CarbonationInput carbonation_example() {
  return {.m = 2.0,
          .T = 15,
          .RH = 0.7,
          .fcu = 30,
          .c = 30,
          .t = 60,
          .kco2 = 1.5,
          .d = 20,
          .kind = model::SteelKind::PlainRound,
          .condition = model::WorkingCondition::Outdoor};
}

inline model::ChlorideConstantInput constant_example() {
  return {.Ke = 1.5,
          .T = 20,
          .RH = 0.8,
          .fcu = 30,
          .coverMm = 40,
          .t = 20,
          .Dcm2 = 1.5,
          .Cs = 5,
          .Ccr = 1.4,
          .tcStart = 20,
          .dMm = 20,
          .kind = model::SteelKind::Deformed,
          .source = model::DiffusionSource::MeasuredProfile};
}

inline model::ChlorideVariableInput variable_example() {
  return {.Ke = 1,
          .T = 20,
          .RH = 0.8,
          .fcu = 30,
          .coverMm = 30,
          .t = 10,
          .m = 0.3,
          .Cs = 5,
          .Ccr = 1.4,
          .xMm = 20,
          .Cx = 2,
          .tcStart = 20,
          .dMm = 20,
          .kind = model::SteelKind::Deformed};
}

inline model::MarineInput marine_example() {
  return {.Ke = 1.5,
          .T = 20,
          .RH = 0.8,
          .fcu = 30,
          .coverMm = 40,
          .t = 20,
          .Dcm2 = 1.5,
          .Cs = 5,
          .Ccr = 1.4,
          .tcStart = 20,
          .dMm = 20,
          .k = 1.0,
          .ts = 25,
          .tiStart = 10,
          .T2Start = 5,
          .kind = model::SteelKind::Deformed,
          .source = model::DiffusionSource::MeasuredProfile};
}

inline model::AdmixedInput admixed_example() {
  return {.Ke = 1,
          .T = 20,
          .RH = 0.8,
          .fcu = 30,
          .c = 30,
          .t = 30,
          .tcStart = 20,
          .C0 = 6,
          .d = 20,
          .kind = model::SteelKind::Deformed};
}

// Each example's inputs with their result, as a completed Calculate leaves them.
inline model::ModelRun carbonation_run() {
  const auto in = carbonation_example();
  return model::CarbonationRun{in, model::run_carbonation(in)};
}
inline model::ModelRun constant_run() {
  const auto in = constant_example();
  return model::ChlorideConstantRun{in, model::run_chloride_constant(in)};
}
inline model::ModelRun variable_run() {
  const auto in = variable_example();
  return model::ChlorideVariableRun{in, model::run_chloride_variable(in)};
}
inline model::ModelRun marine_run() {
  const auto in = marine_example();
  return model::MarineRun{in, model::run_marine(in)};
}
inline model::ModelRun admixed_run() {
  const auto in = admixed_example();
  return model::AdmixedRun{in, model::run_admixed(in)};
}

}  // namespace pellucor::bench
