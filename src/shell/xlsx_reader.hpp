// Reads the first worksheet of a workbook (.xlsx) as rows of texts: the member table's import
// of a workbook that a spreadsheet program or the export of the table wrote. Shared strings,
// inline strings and numbers; a number as its shortest decimal text of up to 15 significant
// digits (so that 0.1 typed in a spreadsheet comes back as "0.1").
#pragma once

#include <QString>
#include <string>
#include <vector>

namespace pellucor::shell {

struct SheetRows {
  std::vector<std::vector<std::string>> rows;  // UTF-8; a row's missing cells are empty
  std::vector<std::size_t> numbers;            // per row: its row number in the sheet (1-based)
};

// The rows of the first worksheet; throws std::runtime_error (a Chinese message naming the
// file) when the file is no workbook or cannot be read.
SheetRows read_first_worksheet(const QString& path);

}  // namespace pellucor::shell
