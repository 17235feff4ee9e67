// The texts a user types for the inputs of the sheets' worked examples.
#pragma once

#include <vector>

#include "../../modules/module_test_support.hpp"
#include "analysis/batch/case_runner.hpp"
#include "sheet/control_names.hpp"

namespace pellucor::analysis::assess::testing {

inline std::vector<batch::Entry> entries_of(const sheet::SheetTable& table,
                                            const sheet::SheetInputs& in) {
  std::vector<batch::Entry> out;
  for (const auto& f : table.fields) {
    const double v = in.box(sheet::text_box_number(f.control));
    if (v != 0) out.push_back({f.control, sheet::general_digits(v, 15)});
  }
  for (const auto& g : table.groups) {
    for (const auto& o : g.options) {
      if (in.option(sheet::option_number(o.control))) out.push_back({o.control, "1"});
    }
  }
  if (!in.steelText.empty()) out.push_back({sheet::Control::Combo1, in.steelText});
  return out;
}

}  // namespace pellucor::analysis::assess::testing
