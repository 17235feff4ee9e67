// Inputs, a recording sink and a result-line reader for the module tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "modules/registry.hpp"
#include "sheet/number_form.hpp"
#include "sheet/numeric.hpp"
#include "sheet/sheet_table.hpp"
#include "worked_example_table.hpp"

namespace pellucor::modules::testing {

struct Box {
  int n;
  double value;
};

// The same inputs with another item chosen in the steel-kind list.
inline sheet::SheetInputs with_steel(sheet::SheetInputs in, int kind) {
  in.steelText = sheet::kSteelItems[static_cast<std::size_t>(kind - 1)];
  in.steelKind = sheet::steel_kind(in.steelText);
  in.steelName = sheet::steel_name(in.steelText);
  return in;
}

// The inputs Calculate would read: box values in typed units, the selected options, and the
// steel kind with its name as the list gives them (kind 0: nothing chosen).
inline sheet::SheetInputs inputs(std::initializer_list<Box> boxes, int kind,
                                 std::initializer_list<int> options = {1, 3}) {
  sheet::SheetInputs in;
  for (const auto& b : boxes) in.value[static_cast<std::size_t>(b.n)] = b.value;
  for (int o : options) in.selected[static_cast<std::size_t>(o)] = true;
  return kind == 0 ? in : with_steel(in, kind);
}

inline const sheet::Module& sheet_module(int number) {
  const sheet::Module* m = find_module(std::to_string(number));
  if (m == nullptr) std::abort();
  return *m;
}

// The worked examples of the five sheets.
inline sheet::SheetInputs carbonation_example() {  // CO2 path, outdoor, plain round bar
  return examples::example_inputs(examples::worked_example(1));
}
inline sheet::SheetInputs chloride_constant_example() {
  return examples::example_inputs(examples::worked_example(2));
}
inline sheet::SheetInputs chloride_variable_example() {
  return examples::example_inputs(examples::worked_example(3));
}
inline sheet::SheetInputs marine_example() {
  return examples::example_inputs(examples::worked_example(4));
}
inline sheet::SheetInputs admixed_example() {
  return examples::example_inputs(examples::worked_example(5));
}

// Records what a calculation hands to the sheet.
class RecordingSink final : public sheet::CalculationSink {
 public:
  void passStarted(double assumedCrackingTime) override { started.push_back(assumedCrackingTime); }
  void passFinished(const std::vector<std::string>& paneLines) override {
    finished.push_back(paneLines);
  }
  std::vector<double> started;
  std::vector<std::vector<std::string>> finished;
};

// The value of a result line "label" + number form + "unit"; fails the test when the line
// does not have that frame.
inline double line_value(const std::string& line, std::string_view label, std::string_view unit) {
  const bool framed = line.size() > label.size() + unit.size() + 2 && line.starts_with(label) &&
                      line.ends_with(unit);
  EXPECT_TRUE(framed) << "line '" << line << "' is not '" << label << "' number '" << unit << "'";
  if (!framed) return 0;
  const std::string number = line.substr(label.size(), line.size() - label.size() - unit.size());
  const double value = std::strtod(number.c_str(), nullptr);
  // One blank (or the minus sign) before the digits and one blank after them.
  EXPECT_EQ(number, sheet::number_single(value)) << line;
  return value;
}

// A report's result lines read against their labels and units, in order.
struct LineShape {
  std::string_view label;
  std::string_view unit;
};
inline std::vector<double> line_values(const std::vector<std::string>& lines,
                                       const std::vector<LineShape>& shape) {
  EXPECT_EQ(lines.size(), shape.size());
  std::vector<double> values;
  for (std::size_t i = 0; i < std::min(lines.size(), shape.size()); ++i) {
    values.push_back(line_value(lines[i], shape[i].label, shape[i].unit));
  }
  values.resize(shape.size());
  return values;
}

// Relative closeness at single precision (the report prints single-precision values).
inline ::testing::AssertionResult near_single(double actual, double expected, double rel = 1e-6) {
  const double scale = std::max(std::fabs(expected), 1e-30);
  if (std::fabs(actual - expected) <= rel * scale) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << actual << " differs from " << expected;
}

}  // namespace pellucor::modules::testing
