// The worked examples of the five sheets, in one place for the module and analysis tests, the
// desktop's tests and the benchmarks: the boxes as a user types them, in order; the options
// clicked after them (those a sheet selects when it opens are not clicked); the steel kind
// chosen last.
#pragma once

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "modules/registry.hpp"
#include "sheet/numeric.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::examples {

struct WorkedExample {
  int sheet = 0;
  std::string_view name;  // the sheet's console name
  std::vector<std::pair<int, std::string_view>> boxes;
  std::vector<sheet::Control> options;
  int steelKind = 0;
};

inline const std::vector<WorkedExample>& worked_examples() {
  using sheet::Control;
  static const std::vector<WorkedExample> examples = {
      {1,
       "carbonation",  // the CO2 path, outdoor, plain round bar
       {{1, "2.0"}, {2, "15"}, {3, "0.7"}, {4, "30"}, {5, "30"}, {6, "60"}, {8, "1.5"}, {9, "20"}},
       {Control::Option4},
       1},
      {2,
       "chloride-constant",
       {{1, "1.5"},
        {2, "20"},
        {3, "0.8"},
        {4, "30"},
        {5, "40"},
        {6, "20"},
        {7, "1.5"},
        {8, "5"},
        {9, "1.4"},
        {13, "20"},
        {14, "20"}},
       {},
       2},
      {3,
       "chloride-variable",
       {{1, "1"},
        {2, "20"},
        {3, "0.8"},
        {4, "30"},
        {5, "30"},
        {6, "10"},
        {7, "0.3"},
        {8, "5"},
        {9, "1.4"},
        {10, "20"},
        {11, "2"},
        {12, "20"},
        {13, "20"}},
       {},
       2},
      {4,
       "marine",
       {{1, "1.5"},
        {2, "20"},
        {3, "0.8"},
        {4, "30"},
        {5, "40"},
        {6, "20"},
        {7, "1.5"},
        {8, "5"},
        {9, "1.4"},
        {13, "20"},
        {14, "20"},
        {15, "1.0"},
        {16, "25"},
        {17, "10"},
        {18, "5"}},
       {},
       2},
      {5,
       "admixed",
       {{1, "1"},
        {2, "20"},
        {3, "0.8"},
        {4, "30"},
        {5, "30"},
        {6, "30"},
        {7, "20"},
        {8, "6"},
        {9, "20"}},
       {},
       2},
  };
  return examples;
}

// The example of sheet `number` (1..5).
inline const WorkedExample& worked_example(int number) {
  return worked_examples().at(static_cast<std::size_t>(number - 1));
}

// What Calculate reads from the sheet with the example typed: the boxes by the numeric prefix
// rule, the options the sheet selects when it opens changed by those clicked, the steel kind.
inline sheet::SheetInputs example_inputs(const WorkedExample& e) {
  const sheet::SheetTable& table = modules::find_module(e.name)->table();
  sheet::SheetInputs in;
  for (const auto& [n, text] : e.boxes) {
    in.value[static_cast<std::size_t>(n)] = sheet::numeric_prefix(text);
  }
  for (const auto& group : table.groups) {
    const sheet::Control chosen =
        std::find(e.options.begin(), e.options.end(), group.options[1].control) != e.options.end()
            ? group.options[1].control
            : group.options[0].control;
    in.selected[static_cast<std::size_t>(sheet::option_number(chosen))] = true;
  }
  in.steelText = sheet::kSteelItems[static_cast<std::size_t>(e.steelKind - 1)];
  in.steelKind = sheet::steel_kind(in.steelText);
  in.steelName = sheet::steel_name(in.steelText);
  return in;
}

}  // namespace pellucor::examples
