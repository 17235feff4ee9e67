// Readings given to the console as files (or standard input): the bytes read whole, their
// encoding detected (or given), the rows read as readings of the columns asked for. The fit
// command and the reliability analysis's update take readings this way.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "analysis/batch/csv.hpp"
#include "analysis/inspect/readings.hpp"

namespace pellucor::cli {

// The whole input, from a file or standard input ("-"); throws std::runtime_error saying why
// it cannot be read.
std::string read_input(const std::string& path);

// The readings of a CSV input: UTF-8 or GBK, detected (or `given`; where both read and only one
// of them names the columns, that one); its first row names the columns. Throws
// std::runtime_error with the reason (English and Chinese) when it cannot be read as readings.
analysis::inspect::Readings read_table(const std::string& path,
                                       std::optional<analysis::batch::Encoding> given,
                                       std::span<const analysis::inspect::ReadingColumn> columns);

// The encoding an --input-encoding value names (utf-8 or gbk, either case; none when not
// given); throws UsageError for any other.
std::optional<analysis::batch::Encoding> input_encoding(const std::optional<std::string>& value);

}  // namespace pellucor::cli
