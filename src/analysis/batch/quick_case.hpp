// A member played the short way. Playing a member on a sheet (run_case) opens the sheet, types
// each text into its box with the focus, prompt, change and leave events of each, and presses
// Calculate; most members come through all of it without a single message box. For them the
// same events are followed here on a plain record of the sheet's texts, enabled flags and
// options — the same checks in the same order, with the same effects on the texts — and the
// model is run on the inputs Calculate would read, without the pane, the prompts or any report
// text. As soon as a message box would come up during the typing, or the model's passes would
// write into a box that checks its changes, the member is played the long way instead, so the
// message, its title and its control are the sheet's own. A check at Calculate or the
// plausibility stop gives the message the sheet shows there.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "analysis/batch/case_runner.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::analysis::batch {

// What run_case(module, entries) comes to, reached the short way where it can be; the record
// of a member done the short way holds its results and its inspection age only (all that the
// member table reads of it), that of the long way every item.
CaseResult run_case_quickly(const sheet::Module& module, const std::vector<Entry>& entries);

// An entry seen where its text is (a member's cell, a text of the program's own).
struct TypedText {
  sheet::Control control = sheet::Control::None;
  std::string_view text;
};
// The same for such entries; the entries of the long way are made from them only when it is
// taken.
CaseResult run_case_quickly(const sheet::Module& module, std::span<const TypedText> typed);

}  // namespace pellucor::analysis::batch
