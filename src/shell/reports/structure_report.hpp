// One report for a whole structure, from its project: a cover page (project, structure,
// location, owner, engineer, date), the assessment settings used, the members counted by grade
// with the worst of them and the chart of their remaining lives, a table of every member
// (sheet, governing limit state, remaining life, margin, grade, β where a reliability run was
// made), then each member from a new page: its inputs, the fits of its inspection data, its
// results and margins, the chart of its time course, its reliability run when made.
//
// The desktop program writes it from 分析 → 结构评估报告 (the open project); without a display, the
// program writes it and ends:
//   pellucor --report PROJECT.pellucor -o REPORT.pdf [--reliability [--updated]]
// (--updated: the members with inspection data graded from their updated analyses, as
// `pellucor-cli assess --reliability --updated` grades them.)
#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "analysis/project/project.hpp"
#include "analysis/structure/structure.hpp"
#include "analysis/update/updated_grades.hpp"
#include "shell/reports/pdf_report.hpp"

class QAction;
class QChart;
class QTextStream;

namespace pellucor::shell {

class MainWindow;

// Where the reported project comes from, named on the cover: its file (empty: never saved) and
// whether the program held changes not saved to it.
struct ReportSource {
  QString file;
  bool unsaved = false;
};

// The report of an assessed project; `skipped`: what reading the project file left out, named
// on the first page. With `updated` (the members graded again from their updated analyses,
// `assessment` as grade_updated() left it), the summary says which grades come from a
// posterior, and each updated member's pages carry its update after its reliability run.
ReportDocument structure_report(const analysis::project::Project& project,
                                const analysis::assess::StructureAssessment& assessment,
                                const std::vector<analysis::project::Skipped>& skipped = {},
                                const ReportSource& source = {},
                                const analysis::update::UpdatedGrades* updated = nullptr);

// The chart of the remaining life of the governing limit state by member: the members that are
// assessed, shortest remaining life first, at most `members` of them (the title says when
// members are left out, and how many); a passed limit state shows as 0 with its grade.
inline constexpr std::size_t kChartMembers = 40;
QChart* remaining_life_chart(const analysis::assess::StructureAssessment& assessment,
                             std::size_t members = kChartMembers);

// `--report PROJECT -o FILE [--reliability]` among the program's arguments (the first is the
// program): the report is wanted and the program ends after writing it.
bool report_requested(int argc, char** argv);

// Writes the report the arguments ask for; messages go to `err`, what was written to `out`.
// Exit status: 0 written and every member assessed; 2 written with members not assessed (the
// report says why), or the file could not be written after the assessment; 1 usage error, a
// project that cannot be read (the message names the file and the place in it), one without
// members or with members that share a name, settings the file does not give as they would be
// used or without a meaning, or a file that cannot be created (nothing computed).
int run_report_command(const QStringList& arguments, QTextStream& out, QTextStream& err);

// The project open in the program as the menu entry reports it: the project as it stands
// (unsaved changes included), what opening its file left out, and where it comes from.
struct OpenProject {
  analysis::project::Project project;
  std::vector<analysis::project::Skipped> skipped;
  ReportSource source;
};
// Asked each time the entry is chosen: the open project, or none when no project is open.
using OpenProjectSource = std::function<std::optional<OpenProject>()>;

// Adds 结构评估报告(&S)… to the analysis menu: takes the project `openProject` gives (a
// project that has no member is refused with a message), or asks for a project file when it
// gives none; asks for the PDF (never the project's own file), assesses every member and writes
// the report under a progress dialog (object name "structureReportProgress") whose 取消 stops it
// with nothing written. The members are assessed on every core; the pages are drawn on one
// (the charts belong to the window's thread, and the PDF is written in page order): about
// 30 ms a member, see bench/structure_report_bench.cpp.
QAction* install_structure_report_menu(MainWindow& main, OpenProjectSource openProject);

}  // namespace pellucor::shell
