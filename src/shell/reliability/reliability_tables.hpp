// A reliability run as the window's tables and the printed report show it: the names of the three
// times, the laws and the sources of the scatter, and the cells of the tables of how the samples
// ended, the statistics at the target age and the percentiles.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "analysis/mc/report.hpp"

namespace pellucor::shell {

// The title of the reliability window and of the report's section.
inline constexpr const char* kReliabilityTitle = "可靠度分析";

// The three times in the order of the engine (t_i, t_c, t_d): named in full, and short.
inline constexpr const char* kTimeNames[] = {"钢筋开始锈蚀 t_i", "保护层开裂 t_c",
                                             "耐久性终结 t_d"};
inline constexpr const char* kTimeShort[] = {"t_i", "t_c", "t_d"};

// The name of a law: 正态, 对数正态, Beta.
QString distribution_text(analysis::mc::Distribution d);

// The source's name: its sentence up to the first full-width colon ("fib Bulletin 34（2006）").
QString source_name(const analysis::mc::ScatterSource& s);

// The percentile table as the window shows it: rows t_i, t_c, t_d, remaining life; columns
// 5 %, 50 %, 95 % ("永不" where the percentile falls among the samples that never reach the
// limit state) and the age at which beta falls below its target (with the age of the lower
// bound in brackets where it differs; "未达到" when it stays above; empty cells where there is
// no value, the remaining life has no such age).
QList<QStringList> percentile_cells(const analysis::mc::Summary& summary);

// The statistics at the target age: rows t_i, t_c, t_d; columns P, its lower bound, standard
// error, CoV, exact 95 % interval, beta (a bound written "> 4.107") with the target, marked
// "▼ 低于目标" where beta lies below it.
QList<QStringList> at_target_cells(const analysis::mc::Summary& summary);
// Whether beta of time i (0 t_i, 1 t_c, 2 t_d) at the target age lies below its target: an
// exact value below it, or a bound below it from every sample having failed.
bool below_target(const analysis::mc::Summary& summary, std::size_t i);
// The mark of an index below its target.
inline constexpr const char* kBelowTarget = "▼ 低于目标";

// How the samples ended: the samples that ran to the end, then each cause with its count, its
// share, what it is in plain Chinese and how it is counted.
QList<QStringList> stop_cells(const analysis::mc::Report& report);

}  // namespace pellucor::shell
