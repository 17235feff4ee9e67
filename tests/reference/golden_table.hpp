// The golden report table: cases with the report the reference implementation gave for each.
//
// One block per case, one item per line, the tag first and the rest of the line verbatim
// (result lines keep their trailing blanks):
//   case <name>
//   sheet <n>
//   box <n> <value>        (only boxes that hold a value; shortest exact decimal form)
//   option <n>             (selected options)
//   steel <kind>
//   pass <box text>        (what the iteration writes into its box, one line per pass)
//   stop                   (the calculation ended with the plausibility message)
//   pane <line> / file <line> / echo <line>
//   end
// Lines starting with "#" are comments.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "reference_models.hpp"

namespace pellucor::reference {

struct GoldenEntry {
  SheetCase input;
  SheetOutcome expected;
};

void write_entry(std::ostream& out, const SheetCase& c, const SheetOutcome& o);

// Reads every entry; a malformed line ends the reading with `error` set.
std::vector<GoldenEntry> read_table(std::istream& in, std::string& error);

}  // namespace pellucor::reference
