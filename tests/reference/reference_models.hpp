// A second, deliberately plain implementation of the five calculation sheets' models, kept
// beside the tests: every formula written out where it is used, the error functions as their
// step-by-step loops, no tables, no shared state, nothing from the model library. It is slow
// and meant to be obviously right; the golden report table is produced by it.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace pellucor::reference {

// The inputs of one Calculate: box values in the units typed, the selected options and the
// steel kind chosen in the list (1..3).
struct SheetCase {
  std::string name;
  int sheet = 0;                 // 1 carbonation ... 5 admixed chloride
  std::array<double, 19> box{};  // box[n]: TextN
  std::array<bool, 5> option{};  // option[n]: OptionN selected
  int kind = 0;
};

// What the sheet shows for that Calculate.
struct SheetOutcome {
  std::vector<std::string> passes;  // text written into the assumed-cracking-time box, per pass
  bool stopped = false;             // ended with the plausibility message
  std::vector<std::string> pane;    // result lines of the output pane
  std::vector<std::string> file;    // result lines of the result file
  std::vector<std::string> echo;    // parameter-echo lines of the result file
};

SheetOutcome run_reference(const SheetCase& c);

// The steel name as the result file echoes it: the list item from its third character on,
// padded with blanks to ten characters.
std::string reference_steel_name(int kind);

}  // namespace pellucor::reference
