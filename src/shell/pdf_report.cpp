#include "shell/pdf_report.hpp"

#include <QBuffer>
#include <QChart>
#include <QFile>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <memory>

#include "analysis/curves/curves.hpp"
#include "sheet/controller.hpp"
#include "sheet/result_record.hpp"
#include "shell/chart_builder.hpp"
#include "shell/safe_file.hpp"

#ifndef PELLUCOR_VERSION
#define PELLUCOR_VERSION "0"
#endif

namespace pellucor::shell {

namespace {

QString qs(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The chart's design size; it is scaled to the page width as a vector drawing.
constexpr QSizeF kChartSize(860, 500);

void render_chart(QPainter& painter, const ChartFactory& factory, const QRectF& target) {
  QGraphicsScene scene;
  QChart* chart = factory();
  if (!chart) return;
  scene.addItem(chart);  // the scene owns it now
  chart->setGeometry(QRectF(QPointF(0, 0), kChartSize));
  if (chart->layout()) chart->layout()->activate();
  scene.setSceneRect(QRectF(QPointF(0, 0), kChartSize));
  scene.render(&painter, target, scene.sceneRect(), Qt::KeepAspectRatio);
}

// One pass over the report: measures (and, when asked, draws) every block, page by page.
class Flow {
 public:
  Flow(QPagedPaintDevice& device, QPainter* painter, int totalPages)
      : device_(device), painter_(painter), totalPages_(totalPages) {
    width_ = device.width();
    const QFontMetricsF footer(font(8), &device_);
    footerHeight_ = footer.height() * 2;
    height_ = device.height() - footerHeight_;
  }

  QFont font(qreal points, bool bold = false) const {
    QFont f = cjk_font(points);
    f.setBold(bold);
    return f;
  }

  // Paragraph text across the page width.
  void text(const QString& s, const QFont& f, qreal spaceAfter = 0.4) {
    const QFontMetricsF fm(f, &device_);
    const QRectF box = fm.boundingRect(QRectF(0, 0, width_, 1e6), Qt::TextWordWrap, s);
    need(box.height());
    if (painter_) {
      painter_->setFont(f);
      painter_->drawText(QRectF(0, y_, width_, box.height() + 1), Qt::TextWordWrap, s);
    }
    y_ += box.height() + spaceAfter * fm.height();
  }

  void table(const ReportTable& t) {
    if (!t.caption.isEmpty()) {
      // The caption stays with the header row and the first row.
      keep(QFontMetricsF(font(9, true), &device_).height() * 4.5);
      text(t.caption, font(9, true), 0.2);
    }
    const QFont body = font(9);
    const QFont head = font(9, true);
    const QFontMetricsF fm(body, &device_);
    const int columns = static_cast<int>(t.header.size());
    if (columns == 0) return;
    // Label, value, unit: the label takes half the width.
    std::vector<qreal> widths(static_cast<std::size_t>(columns), width_ / columns);
    if (columns == 3) widths = {width_ * 0.5, width_ * 0.3, width_ * 0.2};
    if (t.widths.size() == columns) {
      qreal sum = 0;
      for (qreal w : t.widths) sum += w;
      for (int c = 0; c < columns && sum > 0; ++c) {
        widths[static_cast<std::size_t>(c)] = width_ * t.widths[c] / sum;
      }
    }
    const qreal pad = fm.height() * 0.3;
    auto rowHeight = [&](const QStringList& cells) {
      qreal h = fm.height();
      for (int c = 0; c < columns && c < cells.size(); ++c) {
        const QRectF r =
            fm.boundingRect(QRectF(0, 0, widths[static_cast<std::size_t>(c)] - 2 * pad, 1e6),
                            Qt::TextWordWrap, cells[c]);
        h = std::max(h, r.height());
      }
      return h + 2 * pad;
    };
    auto row = [&](const QStringList& cells, bool header) {
      const qreal h = rowHeight(cells);
      if (need(h) && !header) drawRow(t.header, rowHeight(t.header), widths, pad, true);
      drawRow(cells, h, widths, pad, header);
    };
    row(t.header, true);
    for (const QStringList& r : t.rows) row(r, false);
    y_ += fm.height() * 0.6;
  }

  qreal chartHeight() const { return width_ * kChartSize.height() / kChartSize.width(); }

  // Starts a new page unless `h` more fits on this one (a heading stays with what follows).
  void keep(qreal h) { need(h); }

  void chart(const ChartFactory& f) {
    const qreal h = chartHeight();
    need(h);
    if (painter_) render_chart(*painter_, f, QRectF(0, y_, width_, h));
    y_ += h + QFontMetricsF(font(9), &device_).height() * 0.6;
  }

  // Goes on on a new page (unless nothing is on this one yet).
  void pageBreak() {
    if (y_ == 0) return;
    footer();
    if (painter_) device_.newPage();
    ++page_;
    y_ = 0;
  }

  // Ends the last page with its number; the number of pages drawn.
  int finish() {
    footer();
    return page_;
  }

 private:
  void drawRow(const QStringList& cells, qreal h, const std::vector<qreal>& widths, qreal pad,
               bool header) {
    if (painter_) {
      painter_->setFont(font(9, header));
      qreal x = 0;
      for (std::size_t c = 0; c < widths.size(); ++c) {
        const QRectF cell(x, y_, widths[c], h);
        if (header) painter_->fillRect(cell, QColor(230, 236, 245));
        painter_->setPen(QColor(120, 120, 120));
        painter_->drawRect(cell);
        painter_->setPen(Qt::black);
        const int i = static_cast<int>(c);
        if (i < cells.size()) {
          painter_->drawText(cell.adjusted(pad, pad, -pad, -pad),
                             Qt::TextWordWrap | Qt::AlignVCenter, cells[i]);
        }
        x += widths[c];
      }
    }
    y_ += h;
  }

  // Starts a new page when `h` does not fit on this one; true when it did.
  bool need(qreal h) {
    if (y_ + h <= height_ || y_ == 0) return false;
    footer();
    if (painter_) device_.newPage();
    ++page_;
    y_ = 0;
    return true;
  }

  void footer() {
    if (!painter_) return;
    painter_->setFont(font(8));
    painter_->setPen(Qt::black);
    const QString text = QStringLiteral("第 %1 页，共 %2 页").arg(page_).arg(totalPages_);
    painter_->drawText(QRectF(0, height_, width_, footerHeight_), Qt::AlignCenter, text);
  }

  QPagedPaintDevice& device_;
  QPainter* painter_;
  int totalPages_;
  qreal width_ = 0;
  qreal height_ = 0;
  qreal footerHeight_ = 0;
  qreal y_ = 0;
  int page_ = 1;
};

}  // namespace

QString program_title() {
  return QStringLiteral("Pellucor %1").arg(QStringLiteral(PELLUCOR_VERSION));
}

ReportDocument::ReportDocument(QString caption, QDateTime date)
    : caption_(std::move(caption)), date_(std::move(date)) {}

void ReportDocument::addSection(ReportSection section) {
  sections_.push_back(std::move(section));
}

int ReportDocument::layout(QPagedPaintDevice& device, bool draw, int totalPages) const {
  std::unique_ptr<QPainter> painter;
  if (draw) {
    painter = std::make_unique<QPainter>();
    if (!painter->begin(&device)) return 0;
    painter->setRenderHint(QPainter::Antialiasing);
  }
  Flow flow(device, painter.get(), totalPages);
  flow.text(program_title() + QStringLiteral("　耐久性计算报告"), flow.font(10));
  flow.text(QStringLiteral("报告日期：") + date_.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
            flow.font(9), 1.0);
  flow.text(caption_, flow.font(16, true), 0.8);
  for (const ReportSection& s : sections_) {
    if (s.newPage) flow.pageBreak();
    if (!s.title.isEmpty()) {
      const QFontMetricsF heading(flow.font(12, true), &device);
      if (s.table.empty() && !s.charts.empty())
        flow.keep(heading.height() * 2 + flow.chartHeight());
      flow.text(s.title, flow.font(12, true));
    }
    if (!s.table.empty()) flow.table(s.table);
    for (const ReportTable& t : s.tables) {
      if (!t.empty()) flow.table(t);
    }
    for (const ChartFactory& f : s.charts) flow.chart(f);
    for (const QString& n : s.notes) flow.text(n, flow.font(9));
  }
  const int pages = flow.finish();
  if (painter && !painter->end()) return 0;
  return pages;
}

int ReportDocument::pageCount(QPagedPaintDevice& device) const {
  return layout(device, false, 0);
}

bool ReportDocument::paint(QPagedPaintDevice& device) const {
  const int pages = pageCount(device);
  return layout(device, true, pages) == pages && pages > 0;
}

bool ReportDocument::pdf(QByteArray& bytes) const {
  QBuffer pdf(&bytes);
  pdf.open(QIODevice::WriteOnly);
  QPdfWriter writer(&pdf);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(18, 18, 18, 14), QPageLayout::Millimeter);
  writer.setResolution(300);
  writer.setTitle(caption_);
  writer.setCreator(program_title());
  return paint(writer);
}

bool ReportDocument::writePdf(const QString& path, QString* error) const {
  // Made in memory and written whole: an earlier file stays as it was until the report is
  // complete, and is kept when it cannot be replaced.
  QByteArray bytes;
  if (!pdf(bytes)) {
    if (error) *error = QStringLiteral("无法写入报告文件：") + path;
    return false;
  }
  QString reason;
  if (!write_whole_file(path, bytes, &reason)) {
    if (error) *error = reason;
    return false;
  }
  return true;
}

namespace {

ReportTable record_table(const sheet::ResultRecord& record, bool inputs, const QString& heading) {
  ReportTable t;
  t.header = {heading, QStringLiteral("数值"), QStringLiteral("单位")};
  for (const sheet::ResultItem& item : record.items) {
    if (!item.printed() || (item.kind == sheet::ItemKind::Result) == inputs) continue;
    t.rows.append({qs(item.name()), qs(sheet::value_text(item)),
                   item.isText() ? QString() : qs(item.unit())});
  }
  return t;
}

}  // namespace

ReportTable input_table(const sheet::ResultRecord& record) {
  return record_table(record, true, QStringLiteral("输入参数"));
}

ReportTable result_table(const sheet::ResultRecord& record) {
  return record_table(record, false, QStringLiteral("计算结果"));
}

ReportDocument sheet_report(const sheet::SheetController& controller) {
  ReportDocument doc(qs(controller.table().caption));
  const auto& record = controller.lastRecord();
  if (!record) return doc;
  ReportSection inputs;
  inputs.title = QStringLiteral("输入参数");
  inputs.table = input_table(*record);
  doc.addSection(std::move(inputs));
  ReportSection results;
  results.title = QStringLiteral("计算结果");
  results.table = result_table(*record);
  // What the sheet prints instead of a value (e.g. no crack width for wall reinforcement).
  for (const sheet::ResultItem& item : record->items) {
    if (item.kind == sheet::ItemKind::Result && item.printed() && item.isText()) {
      results.notes << qs(item.name()) + QStringLiteral("：") + qs(sheet::value_text(item));
    }
  }
  doc.addSection(results);
  if (const auto curves = analysis::curves::curves(controller.lastRun())) {
    ReportSection charts;
    charts.title = QStringLiteral("曲线图");
    for (const auto& c : curves->charts) {
      charts.charts.push_back([c] { return make_chart(c); });
      for (const auto& n : c.notes) charts.notes << qs(c.title) + QStringLiteral("：") + qs(n);
    }
    for (const auto& n : curves->notes) charts.notes << qs(n);
    doc.addSection(std::move(charts));
  }
  return doc;
}

}  // namespace pellucor::shell
