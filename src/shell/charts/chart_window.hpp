// The chart window of a sheet: the curves of its last completed calculation in tabs, with a
// crosshair read-out under the mouse and export of each chart to PNG and SVG. It follows its
// sheet: every Calculate that runs to its end redraws it; one that stops keeps the last curves
// and says so.
#pragma once

#include <QChartView>
#include <QString>
#include <QWidget>
#include <optional>

#include "analysis/curves/curves.hpp"

class QGraphicsLineItem;
class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace pellucor::sheet {
class SheetController;
}

namespace pellucor::shell {

class Dialogs;

// A chart view with a crosshair and a tool-tip that shows the age (or depth) and the values
// of the curves under the mouse.
class CurveChartView final : public QChartView {
  Q_OBJECT

 public:
  CurveChartView(const analysis::curves::Chart& curves, QWidget* parent = nullptr);
  const analysis::curves::Chart& curves() const { return curves_; }
  // The read-out shown for a position in the view's coordinates; empty off the plot.
  QString readoutAt(const QPoint& pos) const;

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  analysis::curves::Chart curves_;
  QGraphicsLineItem* vertical_ = nullptr;
  QGraphicsLineItem* horizontal_ = nullptr;
};

class ChartWindow final : public QWidget {
  Q_OBJECT

 public:
  ChartWindow(int sheet, const sheet::SheetController& controller, Dialogs& dialogs,
              QWidget* parent = nullptr);

  int sheet() const { return sheet_; }
  // The curves drawn; none before the sheet's first completed calculation.
  const std::optional<analysis::curves::Curves>& curves() const { return curves_; }
  QTabWidget* tabs() const { return tabs_; }
  CurveChartView* chartView(int tab) const;
  // The line above the charts: what is shown, or why it is not the latest Calculate.
  QString status() const;

  // A Calculate on the sheet ended: redraws after one that ran to its end.
  void calculationFinished(bool completed);
  // Draws the curves of the controller's last completed calculation.
  void redraw();

  // Writes the chart of a tab; false when the file cannot be written. The PNG is the chart as
  // shown, drawn again at `dpi` dots per inch (the screen's 96 give the pixels shown; 300 by
  // default, as a printed page wants); the SVG has the size the chart is shown at, and names
  // typefaces that a viewer without the program's own can draw the Chinese texts in.
  bool exportPng(int tab, const QString& path, int dpi = 300) const;
  bool exportSvg(int tab, const QString& path) const;
  // The resolution a PNG is written at: 96, 150, 300 (the default) or 600 dpi.
  QComboBox* resolutionBox() const { return dpi_; }
  // The name an export of the chart of a tab is offered under: the sheet, the chart.
  QString exportName(int tab) const;

 private:
  void exportCurrent(bool svg);

  int sheet_;
  const sheet::SheetController& controller_;
  Dialogs& dialogs_;
  std::optional<analysis::curves::Curves> curves_;
  QLabel* status_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QPushButton* png_ = nullptr;
  QPushButton* svg_ = nullptr;
  QComboBox* dpi_ = nullptr;
};

}  // namespace pellucor::shell
