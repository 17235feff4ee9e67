// The result columns of a member: every result the sheet's report prints (t_d under its one
// name, 耐久性终结时间), the record's t_d where the report prints none, and the remaining life
// t_d - t. Headers and cells are read from the sheet's
// record: the headers from its result items' names and units, the cells from the values.
#pragma once

#include <string>
#include <vector>

#include "analysis/batch/case_runner.hpp"

namespace pellucor::analysis::batch {

// Headers of the result columns of sheet 1..5: the report's labels with their units.
const std::vector<std::string>& result_headers(int sheet);

// The result cells of a completed case, in the order of result_headers: each value with the
// digits the report prints (or the text the report prints in its place, e.g. no crack width
// for wall reinforcement).
std::vector<std::string> result_cells(const CaseResult& result);
// The same into `cells`, whose strings are used again (none for a case not done).
void fill_result_cells(const CaseResult& result, std::vector<std::string>& cells);

}  // namespace pellucor::analysis::batch
