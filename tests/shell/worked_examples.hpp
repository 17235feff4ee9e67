// The worked examples of the five sheets (modules/worked_example_table.hpp) with the texts the
// desktop's tests type.
#pragma once

#include <QString>
#include <utility>
#include <vector>

#include "sheet/control.hpp"
#include "worked_example_table.hpp"

namespace pellucor::shell::testing {

struct WorkedExample {
  int sheet = 0;
  const char* name = "";
  std::vector<std::pair<int, QString>> boxes;
  std::vector<sheet::Control> options;
  int steelKind = 0;
};

inline const std::vector<WorkedExample>& worked_examples() {
  static const std::vector<WorkedExample> examples = [] {
    std::vector<WorkedExample> out;
    for (const auto& e : examples::worked_examples()) {
      WorkedExample w{e.sheet, e.name.data(), {}, e.options, e.steelKind};
      for (const auto& [n, text] : e.boxes) {
        w.boxes.emplace_back(n,
                             QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
      }
      out.push_back(std::move(w));
    }
    return out;
  }();
  return examples;
}

}  // namespace pellucor::shell::testing
