// The entries of the analysis menu that show a sheet's results: 曲线图(&G) opens the chart
// window of the active sheet, 报告(&R)… writes its PDF report and offers to print it.
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
  // The sheet the entries act on: the active sheet, or the sheet of the active chart window.
  int targetSheet() const;
  // Writes the report of sheet 1..5; false after a message naming the path.
  bool writeReport(int sheet, const QString& path);

  // Offered once a report is written. By default a question box and then the platform's
  // print dialog; tests put their own in.
  std::function<void(QWidget* parent, const QString& path, const ReportDocument& report)>
      offerPrint;

 private:
  void chartsTriggered();
  void reportTriggered();

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
