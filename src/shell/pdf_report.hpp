// The printable report of a calculation: program and version, date, the sheet's caption, the
// inputs and the results as tables, the charts as vector graphics, the notes, page numbers.
// Written as an A4 PDF with the Chinese fonts embedded, or sent to a printer.
//
// Other windows extend it: build the sheet's report with sheet_report() and append sections,
//   ReportDocument doc = sheet_report(controller);
//   ReportSection s;
//   s.title = "可靠度分析";
//   s.table = {{"项目", "数值"}, {{"失效概率", "0.012"}}};
//   s.charts = {factory};
//   doc.addSection(std::move(s));
// where each chart is a factory returning a new QChart (the report owns and deletes it).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QChart;
class QPagedPaintDevice;

namespace pellucor::sheet {
class SheetController;
struct ResultRecord;
}  // namespace pellucor::sheet

namespace pellucor::shell {

struct ReportTable {
  QStringList header;
  QList<QStringList> rows;
  QString caption;      // a line above the table, if any
  QList<qreal> widths;  // relative widths of the columns; empty: the default layout
  bool empty() const { return rows.isEmpty(); }
};

using ChartFactory = std::function<QChart*()>;

struct ReportSection {
  QString title;
  ReportTable table;                 // may be empty
  std::vector<ChartFactory> charts;  // drawn in order, each across the page width
  QStringList notes;                 // paragraphs after the charts
  std::vector<ReportTable> tables;   // further tables after `table`, before the charts
  bool newPage = false;              // starts on a page of its own
};

class ReportDocument {
 public:
  explicit ReportDocument(QString caption, QDateTime date = QDateTime::currentDateTime());

  const QString& caption() const { return caption_; }
  const std::vector<ReportSection>& sections() const { return sections_; }
  void addSection(ReportSection section);

  // Writes an A4 PDF. False when the file cannot be written; `error` then names the path.
  bool writePdf(const QString& path, QString* error = nullptr) const;
  // The A4 PDF in memory; false when it cannot be drawn.
  bool pdf(QByteArray& bytes) const;
  // Paints the pages onto a printer or another paged device (its page size as set up).
  bool paint(QPagedPaintDevice& device) const;
  // Pages the report takes on the device.
  int pageCount(QPagedPaintDevice& device) const;

 private:
  int layout(QPagedPaintDevice& device, bool draw, int totalPages) const;

  QString caption_;
  QDateTime date_;
  std::vector<ReportSection> sections_;
};

// The program's name and version as the report heads its first page.
QString program_title();

// The report of the sheet's last completed calculation, from its record: inputs (names, values
// and units as the result file echoes them), results (as the report prints them), charts and
// notes. Empty sections when the sheet has not completed a calculation.
ReportDocument sheet_report(const sheet::SheetController& controller);

// The rows "name, value, unit" of a record's printed inputs (the parameter echo) and of its
// printed results (the report lines); a text printed in place of a value has no unit.
ReportTable input_table(const sheet::ResultRecord& record);
ReportTable result_table(const sheet::ResultRecord& record);

}  // namespace pellucor::shell
