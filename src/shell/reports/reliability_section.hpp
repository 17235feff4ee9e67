// The section "可靠度分析" of a printed report, from a completed reliability run: what to read
// first, the inputs with their scatter and its source, the settings, how the samples ended, the
// statistics at the target age, the percentiles, the three charts, and the notes. The report of
// a sheet and the structure report both print it.
#pragma once

#include <QStringList>

#include "analysis/mc/report.hpp"
#include "analysis/update/update.hpp"
#include "shell/reports/pdf_report.hpp"

namespace pellucor::shell {

// `notes` come first among the notes (the sources of the defaults and the rules of the bounds
// follow them).
ReportSection reliability_section(const analysis::mc::Report& report, QStringList notes = {});

// The section "按检测数据更新的可靠度分析", after the run's own (its prior): what to read first (a
// run below its diagnostics said first: not graded), the sampler and its diagnostics, the
// measurements and their errors, prior against posterior, the percentiles, the inputs' means,
// CoVs and intervals, the posterior correlations; the posterior predictive curves with the
// measurements, the inputs' prior against posterior and the posterior probabilities as figures.
ReportSection update_section(const analysis::update::UpdateResult& result, QStringList notes = {});

}  // namespace pellucor::shell
