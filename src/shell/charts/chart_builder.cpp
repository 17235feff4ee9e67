#include "shell/charts/chart_builder.hpp"

#include <QAreaSeries>
#include <QFontMetricsF>
#include <QGraphicsObject>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QPen>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

#include "shell/kit/quantity_names.hpp"
#include "shell/kit/text.hpp"
#include "shell/kit/window_kit.hpp"

namespace pellucor::shell {

namespace curves = pellucor::analysis::curves;

namespace {

QColor phase_colour(curves::Phase p) {
  switch (p) {
    case curves::Phase::Initiation:
      return QColor(160, 160, 160, 40);
    case curves::Phase::BeforeCracking:
      return QColor(80, 170, 80, 40);
    case curves::Phase::AfterCracking:
      return QColor(240, 160, 40, 50);
    case curves::Phase::PastEndOfDurability:
      return QColor(220, 50, 50, 45);
  }
  return QColor(0, 0, 0, 30);
}

QColor marker_colour(curves::Mark m) {
  switch (m) {
    case curves::Mark::Initiation:
      return QColor(30, 120, 30);
    case curves::Mark::Cracking:
      return QColor(200, 110, 0);
    case curves::Mark::EndOfDurability:
      return QColor(200, 30, 30);
    case curves::Mark::Inspection:
      return QColor(30, 60, 200);
    case curves::Mark::CriticalAtCover:
      return QColor(150, 30, 150);
    case curves::Mark::StableSurface:
      return QColor(0, 130, 130);
    case curves::Mark::CriticalCrossing:
      return QColor(90, 0, 200);
  }
  return Qt::black;
}

// The names of the marked points, each on a light box beside its point: never crossed by the
// lines under it, never cut at the edge of the plot, never on top of another name. A name that
// finds no free place is left to the legend, which carries every point with its values.
class MarkLabels final : public QGraphicsObject {
 public:
  struct Entry {
    QString text;
    QColor colour;
    QPointF value;
    QAbstractSeries* series = nullptr;
  };

  MarkLabels(QChart* chart, std::vector<Entry> entries)
      : QGraphicsObject(chart), chart_(chart), entries_(std::move(entries)) {
    setZValue(1000);
    connect(chart, &QChart::plotAreaChanged, this, [this] { place(); });
  }

  QRectF boundingRect() const override { return bounds_; }

  void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
    painter->setFont(font_);
    for (const Placed& p : placed_) {
      painter->setPen(QPen(p.colour, 0.8));
      painter->setBrush(QColor(255, 255, 255, 235));
      painter->drawRoundedRect(p.box, 2, 2);
      painter->setPen(p.colour);
      painter->drawText(p.box, Qt::AlignCenter, p.text);
    }
  }

  // The names placed, in chart coordinates (for tests).
  QList<QRectF> boxes() const {
    QList<QRectF> out;
    for (const Placed& p : placed_) out << p.box;
    return out;
  }

 private:
  struct Placed {
    QString text;
    QColor colour;
    QRectF box;
  };

  void place() {
    prepareGeometryChange();
    placed_.clear();
    bounds_ = QRectF();
    const QRectF plot = chart_->plotArea();
    if (plot.isEmpty()) return;
    const QFontMetricsF fm(font_);
    const qreal pad = 2;
    const qreal gap = 6;
    // The points themselves are not to be covered either.
    std::vector<QPointF> points;
    for (const Entry& e : entries_) points.push_back(chart_->mapToPosition(e.value, e.series));
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      const Entry& e = entries_[i];
      const QPointF at = points[i];
      const QSizeF size(fm.horizontalAdvance(e.text) + 2 * pad, fm.height() + 2 * pad);
      const QPointF corners[] = {
          {at.x() + gap, at.y() - gap - size.height()},                  // above right
          {at.x() - gap - size.width(), at.y() - gap - size.height()},   // above left
          {at.x() + gap, at.y() + gap},                                  // below right
          {at.x() - gap - size.width(), at.y() + gap},                   // below left
          {at.x() + 2 * gap, at.y() - size.height() / 2},                // right
          {at.x() - 2 * gap - size.width(), at.y() - size.height() / 2}  // left
      };
      for (const QPointF& corner : corners) {
        const QRectF box(corner, size);
        if (!plot.contains(box)) continue;
        const bool free =
            std::none_of(
                placed_.begin(), placed_.end(),
                [&](const Placed& p) { return p.box.adjusted(-2, -2, 2, 2).intersects(box); }) &&
            std::none_of(points.begin(), points.end(),
                         [&](const QPointF& p) { return box.adjusted(-4, -4, 4, 4).contains(p); });
        if (!free) continue;
        placed_.push_back({e.text, e.colour, box});
        bounds_ = bounds_.united(box);
        break;
      }
    }
    update();
  }

  QChart* chart_;
  std::vector<Entry> entries_;
  // In pixels of the scene: the same size on the screen and in the report, whose painter maps
  // the scene onto a page of another resolution.
  QFont font_ = [] {
    QFont f = cjk_font(8);
    f.setPixelSize(11);
    return f;
  }();
  std::vector<Placed> placed_;
  QRectF bounds_;
};

}  // namespace

QList<QRectF> marker_label_boxes(const QChart& chart) {
  for (QGraphicsItem* child : chart.childItems()) {
    if (auto* labels = dynamic_cast<MarkLabels*>(child)) return labels->boxes();
  }
  return {};
}

QFont cjk_font(qreal pointSize) {
  return report_font(pointSize);
}

QString marker_tag(const curves::Marker& m) {
  return qs(m.label).section(QLatin1Char(' '), 0, 0);
}

QString axis_title(const std::string& name, const std::string& unit) {
  if (unit.empty()) return qs(name);  // a quantity without a unit (a reliability index)
  return qs(name) + QStringLiteral(" (") + raised_powers(qs(unit)) + QStringLiteral(")");
}

QChart* make_chart(const curves::Chart& c) {
  auto* chart = new QChart;
  chart->setTitle(qs(c.title));
  chart->setTitleFont(cjk_font(11));
  chart->legend()->setFont(cjk_font(8));
  chart->legend()->setAlignment(Qt::AlignRight);
  // A line's legend entry is a piece of the line, dashes and all; a point's is its dot.
  chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
  chart->setAnimationOptions(QChart::NoAnimation);

  // The ranges take in the curves, the marked points and the reference lines.
  double xMin = 0;
  double xMax = 0;
  double yMin = 0;
  double yMax = 0;
  for (const auto& s : c.series) {
    for (const auto& p : s.points) {
      xMin = std::min(xMin, p.x);
      xMax = std::max(xMax, p.x);
      yMin = std::min(yMin, p.y);
      yMax = std::max(yMax, p.y);
    }
  }
  for (const auto& m : c.markers) {
    yMin = std::min(yMin, m.at.y);
    yMax = std::max(yMax, m.at.y);
  }
  for (const auto& g : c.guides) {
    if (g.orientation == curves::Guide::Orientation::Horizontal) {
      yMin = std::min(yMin, g.value);
      yMax = std::max(yMax, g.value);
    } else {
      xMax = std::max(xMax, g.value);
    }
  }
  if (!(xMax > xMin)) xMax = xMin + 1;
  if (!(yMax > yMin)) yMax = yMin + 1;
  // A quantity that never falls below zero starts its axis at zero: a value a rounding error
  // below zero (a concentration of -1e-17) does not pull the axis down by a whole step.
  const bool fromZero = yMin > -1e-9 * (yMax - yMin);
  if (fromZero) yMin = 0;
  yMax += 0.08 * (yMax - yMin);

  auto* xAxis = new QValueAxis;
  xAxis->setTitleText(axis_title(c.xName, c.xUnit));
  xAxis->setRange(xMin, xMax);
  auto* yAxis = new QValueAxis;
  yAxis->setTitleText(axis_title(c.yName, c.yUnit));
  yAxis->setRange(yMin, yMax);
  for (QValueAxis* a : {xAxis, yAxis}) {
    a->setTitleFont(cjk_font(9));
    a->setLabelsFont(cjk_font(8));
    a->setLabelFormat(QStringLiteral("%.4g"));
    a->setTickCount(6);
    a->applyNiceNumbers();
  }
  if (fromZero && yAxis->min() < 0) yAxis->setMin(0);
  // The shaded phases fill the plot from top to bottom.
  yMin = yAxis->min();
  yMax = yAxis->max();
  chart->addAxis(xAxis, Qt::AlignBottom);
  chart->addAxis(yAxis, Qt::AlignLeft);

  auto attach = [&](QAbstractSeries* s, const char* role) {
    s->setProperty(kRoleProperty, QString::fromLatin1(role));
    chart->addSeries(s);
    s->attachAxis(xAxis);
    s->attachAxis(yAxis);
  };

  // The phases first, so that everything else is drawn over them.
  for (const auto& b : c.bands) {
    auto* upper = new QLineSeries;
    auto* lower = new QLineSeries;
    // The last phase runs on to the end of the axis.
    const double to =
        b.phase == curves::Phase::PastEndOfDurability ? std::max(b.to, xAxis->max()) : b.to;
    upper->append(b.from, yMax);
    upper->append(to, yMax);
    lower->append(b.from, yMin);
    lower->append(to, yMin);
    auto* area = new QAreaSeries(upper, lower);
    upper->setParent(area);
    lower->setParent(area);
    area->setName(qs(b.label));
    area->setColor(phase_colour(b.phase));
    area->setBorderColor(Qt::transparent);
    area->setProperty("phase", static_cast<int>(b.phase));
    attach(area, kRolePhase);
    // The legend shows the shade as it looks over the white plot.
    const QColor c = phase_colour(b.phase);
    const double a = std::min(1.0, 2.5 * c.alphaF());
    const QColor opaque(static_cast<int>(255 - a * (255 - c.red())),
                        static_cast<int>(255 - a * (255 - c.green())),
                        static_cast<int>(255 - a * (255 - c.blue())));
    for (QLegendMarker* m : chart->legend()->markers(area)) {
      m->setShape(QLegend::MarkerShapeRectangle);
      m->setBrush(opaque);
      m->setPen(QPen(c.darker(160), 0.5));
    }
  }

  for (const auto& g : c.guides) {
    auto* line = new QLineSeries;
    if (g.orientation == curves::Guide::Orientation::Horizontal) {
      line->append(xAxis->min(), g.value);
      line->append(xAxis->max(), g.value);
    } else {
      line->append(g.value, yMin);
      line->append(g.value, yMax);
    }
    line->setName(qs(g.label));
    QPen pen(QColor(90, 90, 90));
    pen.setStyle(Qt::DashLine);
    pen.setWidthF(1.2);
    line->setPen(pen);
    attach(line, kRoleGuide);
  }

  static const QColor curveColours[] = {QColor(20, 70, 170), QColor(190, 60, 20),
                                        QColor(20, 140, 60)};
  int index = 0;
  for (const auto& s : c.series) {
    auto* line = new QLineSeries;
    line->setName(qs(s.name));
    QList<QPointF> pts;
    pts.reserve(static_cast<qsizetype>(s.points.size()));
    for (const auto& p : s.points) pts.append(QPointF(p.x, p.y));
    line->replace(pts);
    QPen pen(curveColours[index % 3]);
    pen.setWidthF(2.0);
    line->setPen(pen);
    attach(line, kRoleCurve);
    ++index;
  }

  std::vector<MarkLabels::Entry> names;
  for (const auto& m : c.markers) {
    auto* dot = new QScatterSeries;
    dot->setName(qs(m.label));
    dot->append(m.at.x, m.at.y);
    dot->setMarkerSize(9);
    dot->setColor(marker_colour(m.mark));
    dot->setBorderColor(Qt::white);
    dot->setProperty("mark", static_cast<int>(m.mark));
    attach(dot, kRoleMarker);  // named beside the point, with its values in the legend
    names.push_back({marker_tag(m), marker_colour(m.mark), QPointF(m.at.x, m.at.y), dot});
  }
  new MarkLabels(chart, std::move(names));
  return chart;
}

QString readout(const curves::Chart& chart, double x) {
  QStringList parts;
  for (const auto& s : chart.series) {
    const auto& p = s.points;
    if (p.size() < 2 || x < p.front().x || x > p.back().x) continue;
    auto it = std::lower_bound(p.begin(), p.end(), x,
                               [](const curves::Point& a, double v) { return a.x < v; });
    double y = it->y;
    if (it != p.begin() && it->x != x) {
      const auto& a = *(it - 1);
      const auto& b = *it;
      y = a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x);
    }
    parts << qs(s.name) + QStringLiteral(": ") + QString::number(y, 'g', 5) + QLatin1Char(' ') +
                 raised_powers(qs(chart.yUnit));
  }
  if (parts.isEmpty()) return {};
  return qs(chart.xName) + QStringLiteral(" ") + QString::number(x, 'g', 5) + QLatin1Char(' ') +
         raised_powers(qs(chart.xUnit)) + QLatin1Char('\n') + parts.join(QLatin1Char('\n'));
}

}  // namespace pellucor::shell
