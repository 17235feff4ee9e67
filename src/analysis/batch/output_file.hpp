// Writing a batch's output: a file is written beside its target under a temporary name and
// renamed over the target only when complete, so that an interrupted run never leaves a
// half-written file over an earlier one.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "analysis/batch/batch.hpp"

namespace pellucor::analysis::batch {

struct FileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Writes `bytes` to `path` atomically (temporary file in the same folder, then rename).
// Throws FileError; the target is untouched and no temporary file is left on failure.
void write_file_atomically(const std::string& path, std::string_view bytes);

// Writes the table as an XLSX workbook, atomically: bold frozen header row, number cells as
// numbers, the rows that were not computed marked (status cell in red on a pale fill).
void write_xlsx(const std::string& path, const OutputTable& table, std::string_view sheetName);

// The temporary file being written, if any: removed by the caller's signal handler when the
// run is interrupted (the path stays valid while the file exists).
const char* pending_temporary_file();

}  // namespace pellucor::analysis::batch
