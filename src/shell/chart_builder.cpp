#include "shell/chart_builder.hpp"

#include <QAreaSeries>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

namespace pellucor::shell {

namespace curves = pellucor::analysis::curves;

namespace {

QString qs(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

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
  }
  return Qt::black;
}

}  // namespace

QFont cjk_font(qreal pointSize) {
  // A TrueType face first: the PDF writer embeds it as a searchable subset.
  QFont f;
  f.setFamilies({QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Sans CJK SC"),
                 QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("AR PL UKai CN")});
  f.setPointSizeF(pointSize);
  return f;
}

QString marker_tag(const curves::Marker& m) {
  return qs(m.label).section(QLatin1Char(' '), 0, 0);
}

QString axis_title(const std::string& name, const std::string& unit) {
  if (unit.empty()) return qs(name);  // a quantity without a unit (a reliability index)
  return qs(name) + QStringLiteral(" (") + qs(unit) + QStringLiteral(")");
}

QChart* make_chart(const curves::Chart& c) {
  auto* chart = new QChart;
  chart->setTitle(qs(c.title));
  chart->setTitleFont(cjk_font(11));
  chart->legend()->setFont(cjk_font(8));
  chart->legend()->setAlignment(Qt::AlignRight);
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
    for (QLegendMarker* m : chart->legend()->markers(area)) m->setBrush(opaque);
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

  // A name that would sit on top of another marked point's is left to the legend.
  std::vector<QPointF> named;  // positions as fractions of the axes
  auto crowded = [&](const curves::Point& at) {
    const QPointF f((at.x - xAxis->min()) / (xAxis->max() - xAxis->min()),
                    (at.y - yAxis->min()) / (yAxis->max() - yAxis->min()));
    for (const QPointF& n : named) {
      if (std::fabs(n.x() - f.x()) < 0.12 && std::fabs(n.y() - f.y()) < 0.06) return true;
    }
    named.push_back(f);
    return false;
  };
  for (const auto& m : c.markers) {
    auto* dot = new QScatterSeries;
    dot->setName(qs(m.label));
    dot->append(m.at.x, m.at.y);
    dot->setMarkerSize(9);
    dot->setColor(marker_colour(m.mark));
    dot->setBorderColor(Qt::white);
    dot->setPointLabelsFormat(marker_tag(m));
    dot->setPointLabelsVisible(!crowded(m.at));
    dot->setPointLabelsFont(cjk_font(8));
    dot->setPointLabelsColor(marker_colour(m.mark));
    dot->setPointLabelsClipping(false);
    dot->setProperty("mark", static_cast<int>(m.mark));
    attach(dot, kRoleMarker);  // named beside the point, with its values in the legend
  }
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
                 qs(chart.yUnit);
  }
  if (parts.isEmpty()) return {};
  return qs(chart.xName) + QStringLiteral(" ") + QString::number(x, 'g', 5) + QLatin1Char(' ') +
         qs(chart.xUnit) + QLatin1Char('\n') + parts.join(QLatin1Char('\n'));
}

}  // namespace pellucor::shell
