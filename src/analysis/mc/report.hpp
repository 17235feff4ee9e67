// A finished reliability analysis in plain values, for the console, the window and the
// printed report: the sheet, the inputs with their scatter and what truncation made of it,
// the settings and the summary; and the lines the console prints.
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
  std::string unit;   // the unit its prompt states, e.g. "mm"; empty for none
  double mean = 0;    // the sheet's value
  Scatter scatter;    // as typed when it does not scatter
  double lo = 0;      // range the samples are truncated to
  double hi = 0;
  std::optional<TruncationEffect> effect;  // for a box that scatters
  // The source of the box's default scatter, when the box scatters as its default says (none
  // for a scatter typed, and for boxes that have no default).
  const ScatterSource* source = nullptr;
};

struct Report {
  int sheet = 0;                    // 1..5
  std::string caption;              // the sheet's caption
  std::vector<ReportInput> inputs;  // every box that holds a value, in box order
  ModelUncertainty modelUncertainty;
  bool hasBinder = false;  // the sheet has an ageing exponent: `binder` chose its default
  Binder binder = Binder::Portland;
  RunSettings settings;
  Summary summary;
};

Report make_report(const Problem& problem, const RunSettings& settings, Summary summary);

// Why samples stopped, in plain Chinese and in English.
std::string cause_text(const Report& report, const StopCount& stop);
std::string cause_english(const Report& report, const StopCount& stop);

// What an engineer reads first, in plain Chinese: the stopped samples when more than 1 % of
// them did not run to the end, how they are counted, and each input whose truncation shrinks
// its scatter or moves its mean. Empty when there is nothing to warn of.
std::vector<std::string> warning_lines(const Report& report);

// The inputs with their scatter, truncation and source (English, for the console).
std::vector<std::string> input_lines(const Report& report);

// The counts, the stops by cause, the percentile table, the statistics at the target age, the
// ages at the targets and the rank correlations, as text lines (English, for the console).
std::vector<std::string> summary_lines(const Report& report);

}  // namespace pellucor::analysis::mc
