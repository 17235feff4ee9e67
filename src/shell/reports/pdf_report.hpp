// The printable report of a calculation: program and version, the report's details (project,
// structure, member, inspected and checked by, date), the sheet's caption, what the reader must
// know first (inputs changed since the calculation), a short account of the method, the inputs
// and the results as tables, the charts as numbered figures with captions, the notes, page
// numbers; one type family throughout. Written as an A4 PDF with the font embedded, or sent to
// a printer.
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
#include <cstddef>
#include <functional>
#include <vector>

#include "model/model_run.hpp"
#include "shell/kit/report_details.hpp"

class QChart;
class QPagedPaintDevice;

namespace pellucor::sheet {
class SheetController;
struct ResultRecord;
struct SheetTable;
}  // namespace pellucor::sheet

namespace pellucor::shell {

struct ReportTable {
  QStringList header;  // empty: no heading row (the columns are those of the first row)
  QList<QStringList> rows;
  QString caption;      // a line above the table, if any
  QList<qreal> widths;  // relative widths of the columns; empty: the default layout
  bool empty() const { return rows.isEmpty(); }
};

using ChartFactory = std::function<QChart*()>;

struct ReportSection {
  QString title;
  QStringList paragraphs;            // text after the title, before the tables
  ReportTable table;                 // may be empty
  std::vector<ChartFactory> charts;  // drawn in order, each across the page width, as figures
                                     // numbered through the report
  QStringList chartCaptions;         // caption of chart i (empty or missing: the chart's title)
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
  // The details printed under the caption on the first page; their date is the report's.
  void setDetails(const ReportDetails& details);
  const ReportDetails& details() const { return details_; }
  // What the reader must see first: framed on the first page, before the sections.
  void addNotice(const QString& text);
  const QStringList& notices() const { return notices_; }

  // Told after each section is laid out (pages counted) and again after it is drawn: steps
  // done of 2 x sections. Returning false stops the report: nothing is written then.
  using Progress = std::function<bool(std::size_t done, std::size_t total)>;
  void setProgress(Progress progress) { progress_ = std::move(progress); }

  // Writes an A4 PDF. False when the file cannot be written (or the progress stopped it);
  // `error` then names the path.
  bool writePdf(const QString& path, QString* error = nullptr) const;
  // The A4 PDF in memory; false when it cannot be drawn.
  bool pdf(QByteArray& bytes) const;
  // Paints the pages onto a printer or another paged device (its page size as set up).
  bool paint(QPagedPaintDevice& device) const;
  // Pages the report takes on the device.
  int pageCount(QPagedPaintDevice& device) const;

 private:
  int layout(QPagedPaintDevice& device, bool draw, int totalPages) const;
  bool told(std::size_t done) const;

  QString caption_;
  QDateTime date_;
  ReportDetails details_;
  QStringList notices_;
  std::vector<ReportSection> sections_;
  Progress progress_;
};

// The program's name and version as the report heads its first page.
QString program_title();

// The sections of one sheet's calculation, from its record and its model run, for this report
// or another (a structure report puts several members' sections together):
//   the method: which model, which limit states;
//   the inputs: names, values and units as the result file echoes them;
//   the results: every printed result, the end of the durable life t_d, the member's state at
//   the inspection age, with corrected names and units and the digits an engineer reads, and
//   what negative values mean;
//   the charts of the run as figures with captions.
std::vector<ReportSection> sheet_sections(const sheet::SheetTable& table,
                                          const sheet::ResultRecord& record,
                                          const model::ModelRun& run);

// The report of the sheet's last completed calculation. `changes` are the inputs that the
// sheet's boxes no longer share with it ("保护层厚度：计算时 30，现在 35"): the first page says so.
// Empty sections when the sheet has not completed a calculation.
ReportDocument sheet_report(const sheet::SheetController& controller,
                            const QStringList& changes = {});

// The rows "name, value, unit" of a record's printed inputs (the parameter echo) and of its
// results: every printed result, then t_d where the sheet does not print it, then the state at
// the inspection age; a text printed in place of a value has no unit, an input of 0 (a box
// left empty) reads "未输入".
ReportTable input_table(const sheet::ResultRecord& record);
ReportTable result_table(const sheet::ResultRecord& record);

// The paragraph on the method of sheet 1..5.
QString method_text(int sheet);

}  // namespace pellucor::shell
