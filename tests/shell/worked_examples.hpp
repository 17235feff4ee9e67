// The worked examples of the five sheets as a user types them: boxes in order, options
// clicked after them, the steel kind chosen last.
#pragma once

#include <QString>
#include <utility>
#include <vector>

#include "sheet/control.hpp"

namespace pellucor::shell::testing {

struct WorkedExample {
  int sheet = 0;
  const char* name = "";
  std::vector<std::pair<int, QString>> boxes;
  std::vector<sheet::Control> options;
  int steelKind = 0;
};

inline const std::vector<WorkedExample>& worked_examples() {
  using sheet::Control;
  static const std::vector<WorkedExample> examples = {
      {1,
       "carbonation",
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

}  // namespace pellucor::shell::testing
