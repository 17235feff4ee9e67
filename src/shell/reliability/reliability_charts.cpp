#include "shell/reliability/reliability_charts.hpp"

#include <QtCharts/QAreaSeries>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QHorizontalBarSeries>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "sheet/control_names.hpp"
#include "shell/charts/chart_builder.hpp"
#include "shell/kit/text.hpp"
#include "shell/reliability/reliability_tables.hpp"

namespace pellucor::shell {

namespace mc = analysis::mc;

namespace {

// The legend's names of the times (the chart's title says the rest).
const char* const kTimeLegend[] = {"开始锈蚀 t_i", "开裂 t_c", "耐久性终结 t_d"};
// The colours of the three times in every chart.
const QColor kTimeColours[] = {QColor(30, 120, 30), QColor(200, 110, 0), QColor(200, 30, 30)};

}  // namespace

// Empties a chart of its series and axes and gives it its title.
void reset_chart(QChart& chart, const QString& title) {
  chart.removeAllSeries();
  for (QAbstractAxis* a : chart.axes()) {
    chart.removeAxis(a);
    delete a;
  }
  chart.setTitle(title);
  chart.setTitleFont(cjk_font(11));
  chart.legend()->setFont(cjk_font(8));
  chart.legend()->setAlignment(Qt::AlignBottom);
  chart.legend()->setShowToolTips(true);  // a name the legend has to shorten, in full
}

QValueAxis* add_axis(QChart& chart, const QString& title, double lo, double hi,
                     Qt::Alignment side) {
  auto* a = new QValueAxis;
  a->setTitleText(title);
  a->setTitleFont(cjk_font(9));
  a->setLabelsFont(cjk_font(8));
  a->setRange(lo, hi);
  chart.addAxis(a, side);
  return a;
}

void attach(QChart& chart, QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y) {
  chart.addSeries(series);
  series->attachAxis(x);
  series->attachAxis(y);
}

void draw_probability_chart(QChart& chart, const mc::Summary* summary) {
  reset_chart(chart, QStringLiteral("概率 P(t ≤ τ)"));
  if (!summary || summary->curve.empty()) return;
  const mc::Summary& s = *summary;
  auto* x = add_axis(chart, QStringLiteral("年龄 τ (a)"), 0, s.curve.back().age, Qt::AlignBottom);
  auto* y = add_axis(chart, QStringLiteral("P"), 0, 1, Qt::AlignLeft);
  for (std::size_t i = 0; i < mc::kTimes; ++i) {
    const QColor colour = kTimeColours[i];
    const bool band = std::any_of(s.curve.begin(), s.curve.end(),
                                  [i](const mc::CurvePoint& p) { return p.pLow[i] != p.p[i]; });
    if (band) {
      // Between the lower bound (samples not followed counted as not failed) and the headline.
      auto* upper = new QLineSeries;
      auto* lower = new QLineSeries;
      for (const auto& point : s.curve) {
        upper->append(point.age, point.p[i]);
        lower->append(point.age, point.pLow[i]);
      }
      auto* area = new QAreaSeries(upper, lower);
      area->setName(QString::fromLatin1(kTimeShort[i]) + QStringLiteral(" 下界至上界"));
      QColor fill = colour;
      fill.setAlpha(60);
      area->setBrush(fill);
      area->setPen(QPen(fill, 0));
      attach(chart, area, x, y);
      // The band in its time's colour needs no entry of its own: the notes above the results
      // say what it is, and the legend keeps room for every name whole.
      for (QLegendMarker* m : chart.legend()->markers(area)) m->setVisible(false);
    }
    auto* p = new QLineSeries;
    p->setName(qs(kTimeLegend[i]));
    p->setPen(QPen(colour, 2));
    for (const auto& point : s.curve) p->append(point.age, point.p[i]);
    attach(chart, p, x, y);
  }
  // The target age at which the tables give P.
  const double tau = s.atTarget.age;
  if (std::isfinite(tau) && tau > 0 && tau <= s.curve.back().age) {
    auto* line = new QLineSeries;
    line->setName(QStringLiteral("目标年龄 τ = %1 a").arg(short_digits(tau)));
    line->append(tau, 0);
    line->append(tau, 1);
    QPen pen(Qt::DashLine);
    pen.setColor(Qt::darkGray);
    line->setPen(pen);
    attach(chart, line, x, y);
  }
}

void draw_beta_chart(QChart& chart, const mc::Summary* summary) {
  reset_chart(chart, QStringLiteral("可靠指标 β(τ)"));
  if (!summary || summary->curve.empty()) return;
  const mc::Summary& s = *summary;
  const double top = s.curve.back().age;
  double lo = 0, hi = 0;
  bool any = false;
  auto widen = [&](double b) {
    if (!std::isfinite(b)) return;
    lo = any ? std::min(lo, b) : b;
    hi = any ? std::max(hi, b) : b;
    any = true;
  };
  for (double t : s.targets) widen(t);
  for (const auto& point : s.curve) {
    for (const auto& b : point.index) widen(b.value);
  }
  auto* x = add_axis(chart, QStringLiteral("年龄 τ (a)"), 0, top, Qt::AlignBottom);
  auto* y = add_axis(chart, QStringLiteral("β"), std::floor(lo - 0.5), std::ceil(hi + 0.5),
                     Qt::AlignLeft);
  for (std::size_t i = 0; i < mc::kTimes; ++i) {
    const QColor colour = kTimeColours[i];
    auto* exact = new QLineSeries;
    exact->setName(qs(kTimeLegend[i]));
    exact->setPen(QPen(colour, 2));
    auto* bounds = new QScatterSeries;
    bounds->setName(QString::fromLatin1(kTimeShort[i]) + QStringLiteral(" 的界 ▲：β 更大"));
    bounds->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
    bounds->setMarkerSize(7);
    bounds->setColor(colour);
    bounds->setBorderColor(colour);
    bool anyBelow = false;
    for (const auto& point : s.curve) {
      const mc::IndexValue& b = point.index[i];
      if (b.kind == mc::IndexValue::Kind::Exact) {
        exact->append(point.age, b.value);
      } else {
        // A bound from the sample size: no sample failed (above), or every one (below).
        bounds->append(point.age, b.value);
        anyBelow = anyBelow || b.kind == mc::IndexValue::Kind::Below;
      }
    }
    if (anyBelow) bounds->setName(QString::fromLatin1(kTimeShort[i]) + QStringLiteral(" 的界 ▲"));
    attach(chart, exact, x, y);
    if (bounds->count() > 0) {
      attach(chart, bounds, x, y);
    } else {
      delete bounds;
    }
  }
  // The targets, one line per value.
  std::vector<std::pair<double, QStringList>> targets;
  for (std::size_t i = 0; i < mc::kTimes; ++i) {
    const double t = s.targets[i];
    auto it = std::find_if(targets.begin(), targets.end(),
                           [t](const auto& entry) { return entry.first == t; });
    if (it == targets.end()) {
      targets.push_back({t, {QString::fromLatin1(kTimeShort[i])}});
    } else {
      it->second << QString::fromLatin1(kTimeShort[i]);
    }
  }
  for (const auto& [value, times] : targets) {
    auto* line = new QLineSeries;
    line->setName(
        QStringLiteral("目标 β = %1（%2）").arg(value).arg(times.join(QStringLiteral("、"))));
    line->append(0, value);
    line->append(top, value);
    QPen pen(Qt::DashLine);
    pen.setColor(Qt::darkGray);
    line->setPen(pen);
    attach(chart, line, x, y);
  }
}

void draw_tornado_chart(QChart& chart, const mc::Report* report) {
  reset_chart(chart, QStringLiteral("敏感性：输入与 t_i、t_c、t_d 的秩相关系数"));
  if (!report || report->summary.tornado.empty()) return;
  const mc::Summary& s = report->summary;
  chart.setTitle(QStringLiteral("敏感性：输入与 t_i、t_c、t_d 的秩相关系数（前 %1 个样本）")
                     .arg(s.tornadoSamples));
  // The inputs that matter most on top: sorted by the largest size of their correlations (a
  // horizontal bar chart lists its categories from the bottom).
  std::vector<const mc::RankCorrelation*> order;
  for (const auto& rc : s.tornado) order.push_back(&rc);
  auto weight = [](const mc::RankCorrelation* rc) {
    double w = 0;
    for (const auto& rho : rc->rho) w = std::max(w, rho ? std::fabs(*rho) : 0.0);
    return w;
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](const auto* a, const auto* b) { return weight(a) < weight(b); });
  QStringList categories;
  for (const auto* rc : order) {
    QString name = qs(sheet::control_name(sheet::text_box(rc->box)));
    for (const auto& in : report->inputs) {
      if (in.box == rc->box) name = qs(in.label);
    }
    categories << name;
  }
  auto* series = new QHorizontalBarSeries;
  for (int k = 0; k < mc::kTimes; ++k) {
    auto* set = new QBarSet(qs(kTimeLegend[k]));
    set->setColor(kTimeColours[k]);
    for (const auto* rc : order) {
      // A correlation that cannot be told (a time no sample has) is drawn as none.
      const auto& rho = rc->rho[static_cast<std::size_t>(k)];
      set->append(rho ? *rho : 0.0);
    }
    series->append(set);
  }
  chart.addSeries(series);
  auto* y = new QBarCategoryAxis;
  y->append(categories);
  y->setLabelsFont(cjk_font(8));
  chart.addAxis(y, Qt::AlignLeft);
  series->attachAxis(y);
  auto* x = add_axis(chart, QStringLiteral("秩相关系数 ρ（Spearman）"), -1, 1, Qt::AlignBottom);
  series->attachAxis(x);
}

}  // namespace pellucor::shell
