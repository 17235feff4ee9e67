// A finished reliability analysis in plain values, for the console, the window and the
// printed report: the sheet, the inputs with their scatter, the settings and the summary.
#pragma once

#include <string>
#include <vector>

#include "analysis/mc/problem.hpp"
#include "analysis/mc/summary.hpp"

namespace pellucor::analysis::mc {

struct ReportInput {
  int box = 0;        // TextN
  std::string name;   // console alias, e.g. "cover"
  std::string label;  // the sheet's label, e.g. "保护层厚度"
  double mean = 0;    // the sheet's value
  Scatter scatter;    // CoV 0: as typed
  double lo = 0;      // range the samples are truncated to
  double hi = 0;
};

struct Report {
  int sheet = 0;                    // 1..5
  std::string caption;              // the sheet's caption
  std::vector<ReportInput> inputs;  // every box that holds a value, in box order
  RunSettings settings;
  Summary summary;
};

Report make_report(const Problem& problem, const RunSettings& settings, Summary summary);

// The percentile table and the ages at the target, as text lines (English, for the console).
std::vector<std::string> summary_lines(const Report& report);

}  // namespace pellucor::analysis::mc
