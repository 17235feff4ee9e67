// Reads the first worksheet of a workbook (.xlsx) as rows of texts: a member table that a
// spreadsheet program or the export of the desktop's member table wrote. Shared strings, inline
// strings and numbers; a number as its shortest decimal text of up to 15 significant digits
// (so that 0.1 typed in a spreadsheet comes back as "0.1"). The package is read with libzip,
// loaded when the first workbook is read (it pulls in compression and crypto libraries that
// most runs of the programs never need); its parts with expat.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/batch/batch_job.hpp"

namespace pellucor::analysis::batch {

struct WorksheetRows {
  std::vector<std::vector<std::string>> rows;  // UTF-8; a row's missing cells are empty
  std::vector<std::size_t> numbers;            // per row: its row number in the sheet (1-based)
};

// A workbook part larger than this is refused rather than read into memory.
inline constexpr std::size_t kMaxWorkbookPartBytes = std::size_t{256} << 20;

// The rows of the first worksheet; throws std::runtime_error (a Chinese message naming the
// file) when the file is no workbook or cannot be read.
WorksheetRows read_first_worksheet(const std::string& path);

// The member table of a workbook's first worksheet: the header is its first row that holds
// anything; empty rows between members are left out (as blank lines of a CSV file are); a row
// with cells beyond the header's last column is kept whole as a malformed row (its cells joined
// by commas, as a CSV line of too many fields). Rows are numbered as in the sheet.
MemberTable workbook_member_table(const std::string& path);

}  // namespace pellucor::analysis::batch
