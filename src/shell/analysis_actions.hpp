// The entries of the analysis menu that show a sheet's results: 曲线图(&G) opens the chart
// window of the active sheet, 报告(&R)… writes its PDF report and offers to print it. The report
// includes the sheet's reliability analysis when one of its reliability windows holds a run.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>

class QAction;
class QWidget;

namespace pellucor::shell {

class ChartWindow;
class FileChooser;
class MainWindow;
class MessagePresenter;
class ReliabilityWindow;
class ReportDocument;

class AnalysisActions final : public QObject {
  Q_OBJECT

 public:
  AnalysisActions(MainWindow& window, MessagePresenter& messages, FileChooser& files);

  QAction* chartsAction() const { return charts_; }
  QAction* reportAction() const { return report_; }

  // Opens the chart window of sheet 1..5 (or brings the open one to the front); nullptr when
  // the sheet has never been opened.
  ChartWindow* showCharts(int sheet);
  // The open chart window of sheet 1..5, or nullptr.
  ChartWindow* chartWindow(int sheet) const;
  // The sheet the entries act on: the active sheet, or the sheet of the active chart or
  // reliability window.
  int targetSheet() const;
  // The reliability run the report of sheet 1..5 includes: of the sheet's reliability windows
  // with a completed run, one whose inputs are those of the sheet's last completed calculation
  // before one whose inputs differ; among these the active window, then the latest run.
  // nullptr when no window of the sheet holds a completed run.
  const ReliabilityWindow* reliabilityRun(int sheet) const;
  // The report of sheet 1..5: the sheet's last completed calculation and the reliability run
  // of `run` (by default the one reliabilityRun() picks), with a note when the run's inputs
  // differ from the sheet's.
  ReportDocument report(int sheet, const ReliabilityWindow* run = nullptr) const;
  // Writes the report of sheet 1..5; false after a message naming the path.
  bool writeReport(int sheet, const QString& path, const ReliabilityWindow* run = nullptr);
  // 报告 of a reliability window: asks for a file, writes the report of the window's sheet with
  // the window's run and offers to print it.
  void reportFrom(const ReliabilityWindow& run);

  // Offered once a report is written. By default a question box and then the platform's
  // print dialog; tests put their own in.
  std::function<void(QWidget* parent, const QString& path, const ReportDocument& report)>
      offerPrint;

 private:
  void chartsTriggered();
  void reportTriggered();
  // Asks for the file, writes the report and offers to print it.
  void saveReport(int sheet, const ReliabilityWindow* run);

  MainWindow& window_;
  MessagePresenter& messages_;
  FileChooser& files_;
  QAction* charts_ = nullptr;
  QAction* report_ = nullptr;
  std::array<QPointer<ChartWindow>, 5> windows_;
};

// The question box and the print dialog behind AnalysisActions::offerPrint.
void offer_print(QWidget* parent, const QString& path, const ReportDocument& report);

}  // namespace pellucor::shell
