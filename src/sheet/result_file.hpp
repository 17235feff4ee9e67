// The result file: one block per Save, appended in GBK with CR LF line ends.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sheet/sheet_table.hpp"

namespace pellucor::sheet {

// The lines of one saved block: the equals line, the parameters header, the echo lines, the
// hyphens line, the results header, the file result lines, the equals line.
std::vector<std::string> result_file_block(const Report& report);

// Appends `lines` (UTF-8) to the file at `path`: every line converted to GBK and ended with
// CR LF, the whole block written at the end of the file in one write. A missing file is
// created (mode 0644); earlier content is never touched. The path is used whole, whatever
// its length. Returns the reason when the path cannot be opened or written or a line has a
// character that GBK cannot hold (then nothing is written); never throws.
std::optional<std::string> append_block(const std::string& path,
                                        const std::vector<std::string>& lines);

}  // namespace pellucor::sheet
