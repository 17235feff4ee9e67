// The result columns of a member: every value of the sheet's report, then the end of the
// durable life t_d and the remaining life t_d - t.
#pragma once

#include <string>
#include <vector>

#include "analysis/batch/case_runner.hpp"

namespace pellucor::analysis::batch {

// Headers of the result columns of sheet 1..5: the report's labels with their units.
const std::vector<std::string>& result_headers(int sheet);

// A value of a result line "label: value unit": the value's digits as the report prints them
// (or the text in place of a value, e.g. no crack width for wall reinforcement).
std::string report_value(const std::string& line);

// The result cells of a completed case, in the order of result_headers.
std::vector<std::string> result_cells(const CaseResult& result);

}  // namespace pellucor::analysis::batch
