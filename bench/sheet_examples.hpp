// The worked examples of the sheets (the tests' table) as a reliability analysis takes them:
// the sheet's inputs and the default scatter of every box that holds a value.
#pragma once

#include "analysis/mc/problem.hpp"
#include "modules/registry.hpp"
#include "worked_example_table.hpp"

namespace pellucor::bench {

namespace mc = analysis::mc;

inline mc::Problem example_problem(int sheet) {
  const examples::WorkedExample& e = examples::worked_example(sheet);
  return mc::with_defaults(*modules::find_module(e.name), examples::example_inputs(e));
}

// The carbonation sheet's worked example (CO2 path, outdoor, plain round bar) with the default
// scatter: environment, temperature, humidity, strength, cover, CO2 coefficient.
inline mc::Problem carbonation_problem() {
  return example_problem(1);
}

// The constant-coefficient sheet's worked example with the default scatter.
inline mc::Problem chloride_constant_problem() {
  return example_problem(2);
}

// The marine sheet's worked example with the default scatter (environment, temperature,
// humidity, strength, cover, diffusion coefficient, surface and critical chloride).
inline mc::Problem marine_problem() {
  return example_problem(4);
}

}  // namespace pellucor::bench
