// The worked examples of the sheets as a reliability analysis takes them: the sheet's inputs and
// the default scatter of every box that holds a value.
#pragma once

#include <initializer_list>
#include <utility>

#include "analysis/mc/problem.hpp"
#include "modules/registry.hpp"
#include "sheet/numeric.hpp"

namespace pellucor::bench {

namespace mc = analysis::mc;

inline sheet::SheetInputs sheet_inputs(std::initializer_list<std::pair<int, double>> values,
                                       std::initializer_list<int> options, int steel) {
  sheet::SheetInputs in;
  for (const auto& [n, v] : values) in.value[static_cast<std::size_t>(n)] = v;
  for (int o : options) in.selected[static_cast<std::size_t>(o)] = true;
  in.steelText = sheet::kSteelItems[static_cast<std::size_t>(steel - 1)];
  in.steelKind = sheet::steel_kind(in.steelText);
  in.steelName = sheet::steel_name(in.steelText);
  return in;
}

// The marine sheet's worked example with the default scatter (environment, temperature,
// humidity, strength, cover, diffusion coefficient, surface and critical chloride).
inline mc::Problem marine_problem() {
  return mc::with_defaults(*modules::find_module("marine"), sheet_inputs({{1, 1.5},
                                                                          {2, 20},
                                                                          {3, 0.8},
                                                                          {4, 30},
                                                                          {5, 40},
                                                                          {6, 20},
                                                                          {7, 1.5},
                                                                          {8, 5},
                                                                          {9, 1.4},
                                                                          {13, 20},
                                                                          {14, 20},
                                                                          {15, 1.0},
                                                                          {16, 25},
                                                                          {17, 10},
                                                                          {18, 5}},
                                                                         {1, 3}, 2));
}

// The carbonation sheet's worked example (CO2 path, outdoor, plain round bar) with the default
// scatter: environment, temperature, humidity, strength, cover, CO2 coefficient.
inline mc::Problem carbonation_problem() {
  return mc::with_defaults(
      *modules::find_module("carbonation"),
      sheet_inputs({{1, 2.0}, {2, 15}, {3, 0.7}, {4, 30}, {5, 30}, {6, 60}, {8, 1.5}, {9, 20}},
                   {1, 4}, 1));
}

// The constant-coefficient sheet's worked example with the default scatter.
inline mc::Problem chloride_constant_problem() {
  return mc::with_defaults(*modules::find_module("chloride-constant"), sheet_inputs({{1, 1.5},
                                                                                     {2, 20},
                                                                                     {3, 0.8},
                                                                                     {4, 30},
                                                                                     {5, 40},
                                                                                     {6, 20},
                                                                                     {7, 1.5},
                                                                                     {8, 5},
                                                                                     {9, 1.4},
                                                                                     {13, 20},
                                                                                     {14, 20}},
                                                                                    {1}, 2));
}

}  // namespace pellucor::bench
