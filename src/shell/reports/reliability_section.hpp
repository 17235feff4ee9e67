// The section "可靠度分析" of a printed report, from a completed reliability run: what to read
// first, the inputs with their scatter and its source, the settings, how the samples ended, the
// statistics at the target age, the percentiles, the three charts, and the notes. The report of
// a sheet and the structure report both print it.
#pragma once

#include <QStringList>

#include "analysis/mc/report.hpp"
#include "shell/reports/pdf_report.hpp"

namespace pellucor::shell {

// `notes` come first among the notes (the sources of the defaults and the rules of the bounds
// follow them).
ReportSection reliability_section(const analysis::mc::Report& report, QStringList notes = {});

}  // namespace pellucor::shell
