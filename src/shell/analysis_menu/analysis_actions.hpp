// The analysis menu and the entries that show a sheet's results: 曲线图(&G) opens the chart
// window of the active sheet, 报告(&R)… writes its PDF report and offers to print it (the report
// includes the sheet's reliability analysis when one of its reliability windows holds a run),
// 批量计算(&M)… opens the member table, 可靠度分析(&P)… the reliability analysis.
// install_analysis_menu() fills the menu with the entries of the analysis windows (the main
// window knows none of them); the project adds 结构评估报告 after them (install_project_menu).
// Whoever opens an analysis window from elsewhere is given the AnalysisActions it returns.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <vector>

#include "shell/kit/report_details.hpp"

class QAction;

namespace pellucor::shell {

class ChartWindow;
class Dialogs;
class MainWindow;
class ReliabilityWindow;
class ReportDocument;

class AnalysisActions final : public QObject {
  Q_OBJECT

 public:
  // The entries of `window`'s analysis menu, in order; the window owns them.
  explicit AnalysisActions(MainWindow& window);

  QAction* chartsAction() const { return charts_; }
  QAction* reportAction() const { return report_; }
  QAction* batchAction() const { return batch_; }
  QAction* reliabilityAction() const { return reliability_; }

  // Opens the chart window of sheet 1..n (or brings the open one to the front); nullptr when
  // the sheet has never been opened.
  ChartWindow* showCharts(int sheet);
  // The open chart window of sheet 1..n, or nullptr.
  ChartWindow* chartWindow(int sheet) const;
  // The sheet the entries act on: the active sheet, or the sheet of the active chart or
  // reliability window.
  int targetSheet() const;
  // Opens the reliability analysis of the active sheet as a child window, titled
  // "可靠度分析 — " + the sheet's caption, with the sheet's values as its means; a message and
  // nullptr when no sheet window is active.
  ReliabilityWindow* openReliability();
  // The reliability run the report of sheet 1..n includes: of the sheet's reliability windows
  // with a completed run, one whose inputs are those of the sheet's last completed calculation
  // before one whose inputs differ; among these the active window, then the latest run.
  // nullptr when no window of the sheet holds a completed run.
  const ReliabilityWindow* reliabilityRun(int sheet) const;
  // The report of sheet 1..n: the sheet's last completed calculation and the reliability run
  // of `run` (by default the one reliabilityRun() picks), with a note when the run's inputs
  // differ from the sheet's.
  ReportDocument report(int sheet, const ReliabilityWindow* run = nullptr) const;
  // Writes the report of sheet 1..n; false after a message naming the path.
  bool writeReport(int sheet, const QString& path, const ReliabilityWindow* run = nullptr);
  // 报告 of a reliability window: asks for a file, writes the report of the window's sheet with
  // the window's run and offers to print it.
  void reportFrom(const ReliabilityWindow& run);

  // Where the details a report of sheet 1..n starts from come from besides those remembered
  // (the open project: its structure, the member the sheet holds, its engineer): given the
  // remembered ones, the details to offer.
  using ReportDetailsSource = std::function<ReportDetails(int sheet, ReportDetails remembered)>;
  void setReportDetailsSource(ReportDetailsSource source) { detailsSource_ = std::move(source); }

 private:
  void chartsTriggered();
  void reportTriggered();
  // Asks for the file, writes the report and offers to print it.
  void saveReport(int sheet, const ReliabilityWindow* run);

  MainWindow& window_;
  Dialogs& dialogs_;
  QAction* charts_ = nullptr;
  QAction* report_ = nullptr;
  QAction* batch_ = nullptr;
  QAction* reliability_ = nullptr;
  std::vector<QPointer<ChartWindow>> windows_;  // one per sheet
  ReportDetailsSource detailsSource_;
};

// Fills `window`'s analysis menu: 曲线图 and 报告 first, then the analyses that run many
// calculations (the member table, the reliability analysis), then 设计. Returns what acts
// behind them (the window owns it).
AnalysisActions* install_analysis_menu(MainWindow& window);

}  // namespace pellucor::shell
