#include "shell/charts/fit_chart.hpp"

#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>

#include "shell/charts/chart_builder.hpp"
#include "shell/kit/text.hpp"

namespace pellucor::shell {

QChart* fit_chart(const analysis::curves::Chart& c, const std::vector<bool>& asPoints) {
  auto* made = new QChart;
  QChart& chart = *made;
  chart.setTitle(qs(c.title));
  chart.setTitleFont(cjk_font(10));
  // Below the plot, small enough that every name shows whole in a chart half as wide as the
  // main window's smallest size (each entry gets an equal share of the row).
  chart.legend()->setFont(cjk_font(7));
  chart.legend()->setAlignment(Qt::AlignBottom);
  chart.legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
  auto* x = new QValueAxis;
  auto* y = new QValueAxis;
  x->setTitleText(axis_title(c.xName, c.xUnit));
  y->setTitleText(axis_title(c.yName, c.yUnit));
  x->setTitleFont(cjk_font(8));
  y->setTitleFont(cjk_font(8));
  chart.addAxis(x, Qt::AlignBottom);
  chart.addAxis(y, Qt::AlignLeft);
  double x0 = 0, x1 = 1, y0 = 0, y1 = 1;
  bool any = false;
  auto extend = [&](double px, double py) {
    if (!std::isfinite(px) || !std::isfinite(py)) return;
    if (!any) {
      x0 = x1 = px;
      y0 = y1 = py;
      any = true;
    }
    x0 = std::min(x0, px);
    x1 = std::max(x1, px);
    y0 = std::min(y0, py);
    y1 = std::max(y1, py);
  };
  for (std::size_t i = 0; i < c.series.size(); ++i) {
    const auto& series = c.series[i];
    QXYSeries* s = nullptr;
    if (i < asPoints.size() && asPoints[i]) {
      auto* points = new QScatterSeries;
      points->setMarkerSize(8);
      s = points;
    } else {
      s = new QLineSeries;
    }
    s->setName(qs(series.name));
    for (const auto& p : series.points) {
      s->append(p.x, p.y);
      extend(p.x, p.y);
    }
    chart.addSeries(s);
    s->attachAxis(x);
    s->attachAxis(y);
  }
  for (const auto& g : c.guides) {
    if (g.orientation == analysis::curves::Guide::Orientation::Horizontal) extend(x0, g.value);
  }
  x0 = std::min(x0, 0.0);
  y0 = std::min(y0, 0.0);
  const double ypad = (y1 - y0) * 0.08 + (y1 == y0 ? 1 : 0);
  for (const auto& g : c.guides) {
    auto* line = new QLineSeries;
    line->setName(qs(g.label));
    QPen pen = line->pen();
    pen.setStyle(Qt::DashLine);
    line->setPen(pen);
    if (g.orientation == analysis::curves::Guide::Orientation::Horizontal) {
      line->append(x0, g.value);
      line->append(x1, g.value);
    } else {
      line->append(g.value, y0);
      line->append(g.value, y1);
    }
    chart.addSeries(line);
    line->attachAxis(x);
    line->attachAxis(y);
  }
  x->setRange(x0, x1 > x0 ? x1 : x0 + 1);
  y->setRange(y0 - (y0 < 0 ? ypad : 0), y1 + ypad);
  // Ticks at round values (0, 10, 20 mm rather than 0, 9.8, 19.5).
  x->applyNiceNumbers();
  y->applyNiceNumbers();
  return made;
}

void show_fit_chart(QChartView& view, const analysis::curves::Chart& c,
                    const std::vector<bool>& asPoints) {
  QChart* old = view.chart();
  view.setChart(fit_chart(c, asPoints));
  delete old;
}

}  // namespace pellucor::shell
