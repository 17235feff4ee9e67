#include "shell/reports/pdf_report.hpp"

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
#include "sheet/number_form.hpp"
#include "sheet/result_record.hpp"
#include "shell/charts/chart_builder.hpp"
#include "shell/kit/safe_file.hpp"
#include "shell/kit/text.hpp"
#include "shell/reports/presentation.hpp"

#ifndef PELLUCOR_VERSION
#define PELLUCOR_VERSION "0"
#endif

namespace pellucor::shell {

namespace {

// The chart's design size; it is scaled to the page width as a vector drawing.
constexpr QSizeF kChartSize(860, 500);

// Draws the chart into `target`; returns its title, which the figure's caption carries instead.
QString render_chart(QPainter& painter, const ChartFactory& factory, const QRectF& target) {
  QGraphicsScene scene;
  QChart* chart = factory();
  if (!chart) return {};
  const QString title = chart->title();
  chart->setTitle(QString());
  scene.addItem(chart);  // the scene owns it now
  chart->setGeometry(QRectF(QPointF(0, 0), kChartSize));
  if (chart->layout()) chart->layout()->activate();
  scene.setSceneRect(QRectF(QPointF(0, 0), kChartSize));
  scene.render(&painter, target, scene.sceneRect(), Qt::KeepAspectRatio);
  return title;
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
    const bool headed = !t.header.isEmpty();
    const int columns =
        static_cast<int>(headed ? t.header.size() : (t.rows.isEmpty() ? 0 : t.rows[0].size()));
    if (columns == 0) return;
    // Label, value, unit: the label takes half the width; pairs of label and text alike.
    std::vector<qreal> widths(static_cast<std::size_t>(columns), width_ / columns);
    if (columns == 3) widths = {width_ * 0.5, width_ * 0.3, width_ * 0.2};
    if (!headed && columns == 4)
      widths = {width_ * 0.14, width_ * 0.36, width_ * 0.14, width_ * 0.36};
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
      if (need(h) && !header && headed) drawRow(t.header, rowHeight(t.header), widths, pad, true);
      drawRow(cells, h, widths, pad, header);
    };
    if (headed) row(t.header, true);
    for (const QStringList& r : t.rows) row(r, false);
    y_ += fm.height() * 0.6;
  }

  qreal chartHeight() const { return width_ * kChartSize.height() / kChartSize.width(); }

  // Starts a new page unless `h` more fits on this one (a heading stays with what follows).
  void keep(qreal h) { need(h); }

  // A chart across the page with its caption "图 n  caption" under it (the chart's own title
  // when `caption` is empty); the figure stays on one page.
  void chart(const ChartFactory& f, const QString& caption) {
    const qreal h = chartHeight();
    const QFontMetricsF fm(font(9), &device_);
    need(h + fm.height() * 1.6);
    ++figure_;
    QString title = caption;
    if (painter_) {
      const QString own = render_chart(*painter_, f, QRectF(0, y_, width_, h));
      if (title.isEmpty()) title = own;
      painter_->setFont(font(9));
      painter_->setPen(Qt::black);
      painter_->drawText(QRectF(0, y_ + h, width_, fm.height() * 1.2), Qt::AlignCenter,
                         QStringLiteral("图 %1　%2").arg(figure_).arg(title));
    }
    y_ += h + fm.height() * 2.0;
  }

  // Text in a frame on a light ground: what the reader must see first.
  void notice(const QString& s) {
    const QFont f = font(9.5, true);
    const QFontMetricsF fm(f, &device_);
    const qreal pad = fm.height() * 0.5;
    const QRectF box = fm.boundingRect(QRectF(0, 0, width_ - 2 * pad, 1e6), Qt::TextWordWrap, s);
    const qreal h = box.height() + 2 * pad;
    need(h);
    if (painter_) {
      const QRectF frame(0, y_, width_, h);
      painter_->fillRect(frame, QColor(255, 243, 205));
      painter_->setPen(QColor(200, 120, 0));
      painter_->drawRect(frame);
      painter_->setPen(Qt::black);
      painter_->setFont(f);
      painter_->drawText(frame.adjusted(pad, pad, -pad, -pad), Qt::TextWordWrap, s);
    }
    y_ += h + fm.height() * 0.6;
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
  int figure_ = 0;
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

void ReportDocument::setDetails(const ReportDetails& details) {
  details_ = details;
}

void ReportDocument::addNotice(const QString& text) {
  notices_ << text;
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
  const QDate day = details_.date.isValid() ? details_.date : date_.date();
  flow.text(QStringLiteral("报告日期：") + day.toString(QStringLiteral("yyyy-MM-dd")) +
                QStringLiteral("　（生成于 ") + date_.toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
                QStringLiteral("）"),
            flow.font(9), 1.0);
  flow.text(caption_, flow.font(16, true), 0.8);
  // The details two to a row, without the date (above already).
  ReportTable details;
  QStringList cells;
  for (const auto& [label, text] : details_.rows()) {
    if (label == QStringLiteral("日期")) continue;
    cells << label << text;
    if (cells.size() == 4) {
      details.rows.append(cells);
      cells.clear();
    }
  }
  if (!cells.isEmpty()) {
    while (cells.size() < 4) cells << QString();
    details.rows.append(cells);
  }
  if (!details.empty()) flow.table(details);
  for (const QString& n : notices_) flow.notice(n);
  std::size_t done = draw ? sections_.size() : 0;
  for (const ReportSection& s : sections_) {
    if (!told(done++)) {
      if (painter) painter->end();
      return 0;
    }
    if (s.newPage) flow.pageBreak();
    if (!s.title.isEmpty()) {
      const QFontMetricsF heading(flow.font(12, true), &device);
      if (s.table.empty() && s.paragraphs.isEmpty() && !s.charts.empty())
        flow.keep(heading.height() * 2 + flow.chartHeight());
      flow.text(s.title, flow.font(12, true));
    }
    for (const QString& p : s.paragraphs) flow.text(p, flow.font(9));
    if (!s.table.empty()) flow.table(s.table);
    for (const ReportTable& t : s.tables) {
      if (!t.empty()) flow.table(t);
    }
    for (std::size_t i = 0; i < s.charts.size(); ++i) {
      flow.chart(s.charts[i], s.chartCaptions.value(static_cast<qsizetype>(i)));
    }
    for (const QString& n : s.notes) flow.text(n, flow.font(9));
  }
  const int pages = flow.finish();
  if (painter && !painter->end()) return 0;
  return pages;
}

bool ReportDocument::told(std::size_t done) const {
  return !progress_ || progress_(done, 2 * sections_.size());
}

int ReportDocument::pageCount(QPagedPaintDevice& device) const {
  return layout(device, false, 0);
}

bool ReportDocument::paint(QPagedPaintDevice& device) const {
  const int pages = pageCount(device);
  return pages > 0 && layout(device, true, pages) == pages;
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

const QString kNegativeNotes[][2] = {
    {QStringLiteral("dt"),
     QStringLiteral("检测时的钢筋腐蚀深度为负值：检测时钢筋尚未开始锈蚀，其绝对值是按开裂前"
                    "锈蚀速度推算的、距开始锈蚀还差的深度。")},
    {QStringLiteral("w"),
     QStringLiteral("检测时的裂缝宽度为负值：检测时保护层尚未锈胀开裂，负值只是裂缝宽度公式"
                    "在开裂前的读数。")},
    {QStringLiteral("dtd"),
     QStringLiteral("从保护层开裂到耐久性终结的时间为负值：钢筋锈蚀深度在保护层开裂之前就已"
                    "达到耐久性极限深度，耐久性在开裂前终结。")},
    {QStringLiteral("x0"),
     QStringLiteral("碳化残量为负值：碳化前沿越过钢筋表面这一距离之后钢筋才开始锈蚀。")},
};

}  // namespace

ReportTable input_table(const sheet::ResultRecord& record) {
  ReportTable t;
  t.header = {QStringLiteral("输入参数"), QStringLiteral("数值"), QStringLiteral("单位")};
  for (const sheet::ResultItem& item : record.items) {
    if (!item.printed() || item.kind == sheet::ItemKind::Result) continue;
    const Shown s = shown(item);
    // Every box's range lies above 0: a value of 0 is a box left empty (an alternative input
    // not used), which the reader should not take for a measured zero.
    if (!item.isText() && *item.value == 0) {
      t.rows.append({s.name, QStringLiteral("未输入"), QString()});
      continue;
    }
    t.rows.append({s.name, shown_value(item), item.isText() ? QString() : s.unit});
  }
  return t;
}

ReportTable result_table(const sheet::ResultRecord& record) {
  ReportTable t;
  t.header = {QStringLiteral("计算结果"), QStringLiteral("数值"), QStringLiteral("单位")};
  bool endOfLife = false;
  for (const sheet::ResultItem& item : record.items) {
    if (!item.printed() || item.kind != sheet::ItemKind::Result) continue;
    const Shown s = shown(item);
    // A crack width below zero is the formula's reading before the cover cracks: said so, with
    // the figure beside it (the note below the table explains it).
    if (item.key() == "w" && item.value && *item.value < 0) {
      t.rows.append({s.name, QStringLiteral("未开裂（计算值 %1）").arg(shown_value(item)), s.unit});
      continue;
    }
    t.rows.append({s.name, shown_value(item), item.isText() ? QString() : s.unit});
    endOfLife = endOfLife || item.key() == kEndOfLifeKey;
  }
  // Every sheet's table ends its time course with t_d, printed or not.
  if (const sheet::ResultItem* td = record.find(kEndOfLifeKey); td && !endOfLife && td->value) {
    t.rows.append({end_of_life_name(), shown_value(*td), QStringLiteral("a")});
  }
  if (const auto state = member_state(record)) {
    const auto age = record.value("age");
    t.rows.append(
        {QStringLiteral("检测时（t = %1 a）构件的状态").arg(qs(sheet::general_digits(*age, 15))),
         state_name(*state), QString()});
  }
  return t;
}

QString method_text(int sheet) {
  static const QString models[] = {
      QStringLiteral("碳化模型：碳化系数 k 取实测碳化深度除以检测时间的平方根，未实测时由二氧化碳"
                     "浓度系数、环境温湿度和混凝土强度计算；由碳化系数与碳化残量 x0 求钢筋开始锈蚀"
                     "时间 t_i = ((c − x0)/k)²。开裂前锈蚀速度 λ0 由局部环境系数、环境温湿度、"
                     "混凝土强度和保护层厚度计算。"),
      QStringLiteral("氯离子扩散模型（扩散系数取常数）：按扩散方程的误差函数解，钢筋处氯离子浓度"
                     "达到临界浓度的时间为钢筋开始锈蚀时间 t_i；扩散系数取输入值，或由实测氯浓度"
                     "分布、或由水灰比推算。开裂前锈蚀速度 λ0 由钢筋处的氯离子浓度与环境、混凝土"
                     "参数计算，并对保护层开裂时间迭代，直到相邻两次相差小于 0.01 a。"),
      QStringLiteral("氯离子扩散模型（扩散系数随时间变化）：扩散系数由实测氯浓度分布推算，并按时间"
                     "依赖系数随龄期减小；钢筋处氯离子浓度达到临界浓度的时间为钢筋开始锈蚀时间 "
                     "t_i。开裂前锈蚀速度 λ0 由钢筋处的氯离子浓度与环境、混凝土参数计算，并对保护层"
                     "开裂时间迭代，直到相邻两次相差小于 0.01 a。"),
      QStringLiteral("近海大气模型：混凝土表面氯离子浓度按累计系数随龄期的平方根积累，到稳定积累"
                     "时间后保持稳定值；钢筋处氯离子浓度达到临界浓度的时间为钢筋开始锈蚀时间 t_i。"
                     "开裂前锈蚀速度 λ0 由钢筋处的氯离子浓度与环境、混凝土参数计算，并对保护层开裂"
                     "时间迭代，直到相邻两次相差小于 0.01 a。"),
      QStringLiteral(
          "掺氯盐模型：氯离子在浇筑时已掺入混凝土，钢筋自浇筑起即锈蚀（t_i = 0）。开裂"
          "前锈蚀速度 λ0 由混凝土中的氯离子浓度与环境、混凝土参数计算，并对保护层开裂时间"
          "迭代，直到相邻两次相差小于 0.01 a。本模块所称“性能严重退化”即耐久性终结。"),
  };
  const QString common = QStringLiteral(
      "各模型此后相同：保护层锈胀开裂时的钢筋锈蚀深度 δcr 由保护层厚度与钢筋直径之比和混凝土"
      "强度按钢筋种类计算，开裂时间 t_c = t_i + δcr/λ0；开裂后锈蚀加快为 λ1；锈蚀深度达到耐久性"
      "极限深度 δd 时耐久性终结，时间为 t_d。报告的三个极限状态是钢筋开始锈蚀（t_i）、保护层"
      "锈胀开裂（t_c）和耐久性终结（t_d）。");
  if (sheet < 1 || sheet > 5) return common;
  return models[sheet - 1] + common;
}

std::vector<ReportSection> sheet_sections(const sheet::SheetTable& table,
                                          const sheet::ResultRecord& record,
                                          const model::ModelRun& run) {
  std::vector<ReportSection> out;
  ReportSection method;
  method.title = QStringLiteral("计算方法");
  method.paragraphs << method_text(table.number);
  out.push_back(std::move(method));

  ReportSection inputs;
  inputs.title = QStringLiteral("输入参数");
  inputs.table = input_table(record);
  out.push_back(std::move(inputs));

  ReportSection results;
  results.title = QStringLiteral("计算结果");
  results.table = result_table(record);
  results.notes << QStringLiteral(
      "表中数值按工程常用的有效位数给出（龄期精确到 0.1 a，其余取三位有效数字）；计算窗口与"
      "结果文件中为七位有效数字。");
  // What the sheet prints instead of a value (e.g. no crack width for wall reinforcement).
  for (const sheet::ResultItem& item : record.items) {
    if (item.kind == sheet::ItemKind::Result && item.printed() && item.isText()) {
      results.notes << shown(item).name + QStringLiteral("：") + qs(sheet::value_text(item));
    }
  }
  for (const auto& [key, note] : kNegativeNotes) {
    const sheet::ResultItem* item = record.find(key.toStdString());
    if (item && item->printed() && item->value && *item->value < 0) {
      results.notes << note;
    }
  }
  out.push_back(std::move(results));

  if (const auto curves = analysis::curves::curves(run)) {
    ReportSection charts;
    charts.title = QStringLiteral("曲线图");
    for (const auto& c : curves->charts) {
      charts.charts.push_back([c] { return make_chart(c); });
      charts.chartCaptions << qs(c.title) + QStringLiteral("（") + axis_title(c.yName, c.yUnit) +
                                  QStringLiteral(" — ") + axis_title(c.xName, c.xUnit) +
                                  QStringLiteral("）");
      for (const auto& n : c.notes) charts.notes << qs(c.title) + QStringLiteral("：") + qs(n);
    }
    for (const auto& n : curves->notes) charts.notes << qs(n);
    out.push_back(std::move(charts));
  }
  return out;
}

ReportDocument sheet_report(const sheet::SheetController& controller, const QStringList& changes) {
  ReportDocument doc(qs(controller.table().caption));
  const auto& record = controller.lastRecord();
  if (!record) return doc;
  if (!changes.isEmpty()) {
    doc.addNotice(QStringLiteral("注意：本报告是计算表最近一次完成的计算。此后计算表中的输入已"
                                 "改动，与本报告不符：") +
                  changes.join(QStringLiteral("；")) + QStringLiteral("。"));
  }
  // What the reader must know before the results (the marine sheet's search against the real
  // crossing), framed on the first page with the other notes.
  for (const auto& m : analysis::curves::must_read(controller.lastRun())) {
    doc.addNotice(QStringLiteral("注意：") + qs(m.text));
  }
  for (ReportSection& s : sheet_sections(controller.table(), *record, controller.lastRun())) {
    doc.addSection(std::move(s));
  }
  return doc;
}

}  // namespace pellucor::shell
