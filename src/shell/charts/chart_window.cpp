#include "shell/charts/chart_window.hpp"

#include <QBuffer>
#include <QComboBox>
#include <QFileInfo>
#include <QGraphicsLineItem>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <QTabWidget>
#include <QToolTip>
#include <QVBoxLayout>

#include "sheet/controller.hpp"
#include "shell/charts/chart_builder.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/safe_file.hpp"
#include "shell/kit/text.hpp"

namespace pellucor::shell {

namespace curves = pellucor::analysis::curves;

namespace {

const QString kNoCalculation =
    QStringLiteral("尚无完成的计算：在计算窗口中按“计算”后，这里画出曲线。");
const QString kShowing = QStringLiteral("最近一次完成的计算的曲线。");
// Typefaces after the program's own in an exported SVG.
const QString kSvgFallbackFonts = QStringLiteral(
    "'Noto Sans CJK SC', 'Source Han Sans SC', 'Microsoft YaHei', SimSun, 'PingFang SC', "
    "'WenQuanYi Zen Hei', sans-serif");
const QString kKeptAfterStop =
    QStringLiteral("最近一次计算未算完（输入检查或模型停止），图中仍为上一次完成的计算。");

}  // namespace

CurveChartView::CurveChartView(const curves::Chart& c, QWidget* parent)
    : QChartView(make_chart(c), parent), curves_(c) {
  setRenderHint(QPainter::Antialiasing);
  setMouseTracking(true);
  QPen pen(QColor(60, 60, 60, 160));
  pen.setStyle(Qt::DotLine);
  vertical_ = new QGraphicsLineItem;
  horizontal_ = new QGraphicsLineItem;
  for (QGraphicsLineItem* l : {vertical_, horizontal_}) {
    l->setPen(pen);
    l->setZValue(1000);
    l->hide();
    scene()->addItem(l);
  }
}

QString CurveChartView::readoutAt(const QPoint& pos) const {
  const QPointF scenePos = mapToScene(pos);
  const QPointF inChart = chart()->mapFromScene(scenePos);
  if (!chart()->plotArea().contains(inChart)) return {};
  const QPointF value = chart()->mapToValue(inChart);
  return readout(curves_, value.x());
}

void CurveChartView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const QPointF inChart = chart()->mapFromScene(mapToScene(pos));
  const QRectF plot = chart()->plotArea();
  if (plot.contains(inChart)) {
    const QPointF p = chart()->mapToScene(inChart);
    const QPointF topLeft = chart()->mapToScene(plot.topLeft());
    const QPointF bottomRight = chart()->mapToScene(plot.bottomRight());
    vertical_->setLine(p.x(), topLeft.y(), p.x(), bottomRight.y());
    horizontal_->setLine(topLeft.x(), p.y(), bottomRight.x(), p.y());
    vertical_->show();
    horizontal_->show();
    const QString text = readoutAt(pos);
    setToolTip(text);
    if (!text.isEmpty()) QToolTip::showText(event->globalPosition().toPoint(), text, this);
  } else {
    vertical_->hide();
    horizontal_->hide();
    QToolTip::hideText();
  }
  QChartView::mouseMoveEvent(event);
}

void CurveChartView::leaveEvent(QEvent* event) {
  vertical_->hide();
  horizontal_->hide();
  QChartView::leaveEvent(event);
}

ChartWindow::ChartWindow(int sheet, const sheet::SheetController& controller, Dialogs& dialogs,
                         QWidget* parent)
    : QWidget(parent), sheet_(sheet), controller_(controller), dialogs_(dialogs) {
  setObjectName(QStringLiteral("chartWindow%1").arg(sheet));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("chartStatus"));
  status_->setWordWrap(true);
  top->addWidget(status_, 1);
  auto* png = new QPushButton(QStringLiteral("导出PNG(&P)…"), this);
  png->setObjectName(QStringLiteral("exportPng"));
  auto* svg = new QPushButton(QStringLiteral("导出SVG(&S)…"), this);
  svg->setObjectName(QStringLiteral("exportSvg"));
  png_ = png;
  svg_ = svg;
  dpi_ = new QComboBox(this);
  dpi_->setObjectName(QStringLiteral("resolution"));
  for (const int dpi : {96, 150, 300, 600}) {
    dpi_->addItem(dpi == 96 ? QStringLiteral("96 dpi（屏幕）") : QStringLiteral("%1 dpi").arg(dpi),
                  dpi);
  }
  dpi_->setCurrentIndex(2);
  dpi_->setToolTip(QStringLiteral("导出PNG图片的分辨率；SVG 为矢量图，不受影响"));
  auto* dpiLabel = new QLabel(QStringLiteral("分辨率(&R)："), this);
  dpiLabel->setBuddy(dpi_);
  top->addWidget(dpiLabel);
  top->addWidget(dpi_);
  top->addWidget(png);
  top->addWidget(svg);
  layout->addLayout(top);
  tabs_ = new QTabWidget(this);
  layout->addWidget(tabs_, 1);
  connect(png, &QPushButton::clicked, this, [this] { exportCurrent(false); });
  connect(svg, &QPushButton::clicked, this, [this] { exportCurrent(true); });
  setMinimumSize(420, 320);
  resize(760, 560);
  redraw();
}

CurveChartView* ChartWindow::chartView(int tab) const {
  QWidget* page = tabs_->widget(tab);
  return page ? page->findChild<CurveChartView*>() : nullptr;
}

QString ChartWindow::status() const {
  return status_->text();
}

void ChartWindow::calculationFinished(bool completed) {
  if (completed) {
    redraw();
  } else if (curves_) {
    status_->setText(kKeptAfterStop);
  }
}

void ChartWindow::redraw() {
  auto fresh = curves::curves(controller_.lastRun());
  if (!fresh) {
    // Nothing new to draw: what is shown stays.
    if (!curves_) status_->setText(kNoCalculation);
    png_->setEnabled(tabs_->count() > 0);
    svg_->setEnabled(tabs_->count() > 0);
    return;
  }
  curves_ = std::move(fresh);
  const int current = tabs_->currentIndex();
  while (tabs_->count() > 0) {
    QWidget* page = tabs_->widget(0);
    tabs_->removeTab(0);
    delete page;
  }
  for (const auto& c : curves_->charts) {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(new CurveChartView(c, page), 1);
    QStringList notes;
    for (const auto& n : c.notes) notes << qs(n);
    for (const auto& n : curves_->notes) notes << qs(n);
    if (!notes.isEmpty()) {
      auto* label = new QLabel(notes.join(QLatin1Char('\n')), page);
      label->setObjectName(QStringLiteral("chartNotes"));
      label->setWordWrap(true);
      v->addWidget(label);
    }
    tabs_->addTab(page, qs(c.title));
  }
  if (current >= 0 && current < tabs_->count()) tabs_->setCurrentIndex(current);
  status_->setText(kShowing);
  png_->setEnabled(tabs_->count() > 0);
  svg_->setEnabled(tabs_->count() > 0);
}

bool ChartWindow::exportPng(int tab, const QString& path, int dpi) const {
  CurveChartView* view = chartView(tab);
  if (!view || dpi <= 0) return false;
  // The chart as shown, drawn again (as vector graphics) at the resolution asked for.
  const double scale = dpi / 96.0;
  QImage picture(view->size() * scale, QImage::Format_ARGB32);
  picture.fill(Qt::white);
  const int perMetre = static_cast<int>(std::lround(dpi / 0.0254));
  picture.setDotsPerMeterX(perMetre);
  picture.setDotsPerMeterY(perMetre);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  view->render(&painter, QRectF(QPointF(0, 0), QSizeF(picture.size())), view->rect());
  painter.end();
  QBuffer png;
  png.open(QIODevice::WriteOnly);
  return !picture.isNull() && picture.save(&png, "PNG") && write_whole_file(path, png.data());
}

QString ChartWindow::exportName(int tab) const {
  const CurveChartView* view = chartView(tab);
  return file_name_of({qs(controller_.table().menuCaption).section(QStringLiteral("(&"), 0, 0),
                       view ? qs(view->curves().title) : QString()});
}

bool ChartWindow::exportSvg(int tab, const QString& path) const {
  CurveChartView* view = chartView(tab);
  if (!view) return false;
  QBuffer bytes;
  bytes.open(QIODevice::WriteOnly);
  QSvgGenerator svg;
  svg.setOutputDevice(&bytes);
  // The size shown on the screen: the generator states the size in millimetres from its
  // resolution.
  svg.setResolution(view->logicalDpiX());
  svg.setSize(view->size());
  svg.setViewBox(QRect(QPoint(0, 0), view->size()));
  svg.setTitle(qs(view->curves().title));
  QPainter painter;
  if (!painter.begin(&svg)) return false;
  view->render(&painter);
  if (!painter.end() || bytes.data().isEmpty()) return false;
  // The program's typeface, then those a viewer is likely to have for Chinese text.
  static const QRegularExpression family(QStringLiteral("font-family=\"([^\"]*)\""));
  QString text = QString::fromUtf8(bytes.data());
  text.replace(family, QStringLiteral("font-family=\"\\1, %1\"").arg(kSvgFallbackFonts));
  return write_whole_file(path, text.toUtf8());
}

void ChartWindow::exportCurrent(bool svg) {
  const int tab = tabs_->currentIndex();
  if (tab < 0) return;
  const auto path = dialogs_.chooseSaveFile(
      this, svg ? QStringLiteral("导出SVG") : QStringLiteral("导出PNG"),
      svg ? QStringLiteral("*.svg") : QStringLiteral("*.png"),
      svg ? QStringLiteral("svg") : QStringLiteral("png"), SaveMode::Replace,
      exportName(tab) + (svg ? QStringLiteral(".svg") : QStringLiteral(".png")));
  if (!path) return;
  const bool ok = svg ? exportSvg(tab, *path) : exportPng(tab, *path, dpi_->currentData().toInt());
  if (!ok) {
    dialogs_.showWarning(this, QStringLiteral("导出"), QStringLiteral("无法写入文件：") + *path);
    return;
  }
  status_->setText(written_to(*path));
}

}  // namespace pellucor::shell
