// What an analysis of inspection data hands to a sheet: the texts to type into its boxes,
// the scatter of those boxes for a reliability analysis, and a note for every value the box's
// range would refuse (the value is handed on all the same: the sheet's own range check then
// tells the user, nothing is cut to fit).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/case_runner.hpp"
#include "analysis/mc/uncertainty.hpp"
#include "analysis/text/bilingual.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::analysis::inspect {

struct SheetTransfer {
  struct BoxScatter {
    sheet::Control box = sheet::Control::None;
    mc::Scatter scatter;
  };
  std::vector<batch::Entry> entries;
  std::vector<BoxScatter> scatter;
  std::vector<text::Bilingual> outOfRange;  // one per value outside its range

  // Adds the text of the box with `role` on `table` (and its scatter); notes a value outside
  // the box's range. `name` and `english` name the value in the notes.
  void add(const sheet::SheetTable& table, sheet::BoxRole role, double value, std::string text,
           std::optional<mc::Scatter> boxScatter, std::string_view name, std::string_view english);
};

}  // namespace pellucor::analysis::inspect
