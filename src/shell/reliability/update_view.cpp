#include "shell/reliability/update_view.hpp"

#include <QtCharts/QAreaSeries>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>

#include "analysis/update/update_report.hpp"
#include "shell/charts/chart_builder.hpp"
#include "shell/kit/text.hpp"
#include "shell/reliability/reliability_charts.hpp"
#include "shell/reliability/reliability_tables.hpp"

namespace pellucor::shell {

namespace mc = analysis::mc;
namespace update = analysis::update;

namespace {

const QColor kPriorColour(120, 120, 120);
const QColor kPosteriorColour(20, 90, 190);
const QColor kMeasuredColour(200, 30, 30);

QString percentiles_text(const std::optional<mc::Percentiles>& p) {
  if (!p) return QStringLiteral("无样本");
  const double v[3] = {p->p5, p->p50, p->p95};
  QStringList parts;
  for (std::size_t j = 0; j < 3; ++j)
    parts << (p->never[j] ? QStringLiteral("永不") : fixed(v[j], 1));
  return parts.join(QStringLiteral(" / "));
}

QString below_target(const std::optional<double>& age) {
  return age ? fixed(*age, 1) : QStringLiteral("未达到");
}

QString interval(double lo, double hi) {
  return QStringLiteral("[") + short_digits(lo) + QStringLiteral(", ") + short_digits(hi) +
         QStringLiteral("]");
}

}  // namespace

QStringList update_diagnostic_lines(const update::UpdateResult& r) {
  const update::Diagnostics& d = r.diagnostics;
  QStringList lines;
  const double share = d.draws > 0 ? d.effective / static_cast<double>(d.draws) : 0;
  lines << QStringLiteral(
               "抽样方法：%1；后验样本 %2 个，有效样本数 %3（%4%），最大权重的 Pareto k %5。")
               .arg(qs(update::method_text(d.method)))
               .arg(d.draws)
               .arg(fixed(d.effective, 0))
               .arg(fixed(100 * share, 1))
               .arg(d.paretoK ? fixed(*d.paretoK, 3) : QStringLiteral("—（权重相等）"));
  if (d.method == update::Method::TemperedImportance) {
    lines << QStringLiteral(
                 "调温序贯蒙特卡罗：%1 个岛，每岛 %2 个粒子；各岛之间的 R̂ 最大 "
                 "%3；移动步的接受率最低 "
                 "%4；最后一次移动前后粒子的相关系数最大 %5。")
                 .arg(d.islands)
                 .arg(d.particles)
                 .arg(fixed(d.maxRHat, 4))
                 .arg(fixed(d.minAcceptance, 3))
                 .arg(fixed(d.lastCorrelation, 3));
  }
  if (d.passed) {
    const double needed =
        std::max(update::kMinEffective, update::kMinEffectiveShare * static_cast<double>(d.draws));
    QString limits = QStringLiteral("有效样本数不少于 %1，Pareto k 不大于 %2")
                         .arg(fixed(needed, 0), fixed(update::kMaxParetoK, 2));
    if (d.method == update::Method::TemperedImportance) {
      limits += QStringLiteral("，R̂ 不大于 %1，接受率不低于 %2")
                    .arg(fixed(update::kMaxRHat, 2), fixed(update::kMinAcceptance, 2));
    }
    lines << QStringLiteral("诊断通过（%1）：后验结果可据以评级。").arg(limits);
  } else {
    lines << QStringLiteral("诊断未通过，后验结果不可靠，不据以评级：");
    for (const auto& f : d.failures) lines << QStringLiteral("  ") + qs(f.zh);
  }
  for (const auto& l : update::measurement_lines(r.measurements)) lines << qs(l);
  if (r.cover) lines << qs(update::cover_line(*r.cover));
  return lines;
}

QStringList update_comparison_header(const update::UpdateResult& r) {
  const QString age = short_digits(r.posterior.atTarget.age);
  return {QStringLiteral("时间"),
          QStringLiteral("先验 P(t≤%1 a)").arg(age),
          QStringLiteral("后验 P(t≤%1 a)（标准误差）").arg(age),
          QStringLiteral("先验 β"),
          QStringLiteral("后验 β（目标）"),
          QStringLiteral("β 低于目标的年龄 (a) 先验"),
          QStringLiteral("后验")};
}

QList<QStringList> update_comparison_cells(const update::UpdateResult& r) {
  const mc::Summary& prior = r.prior.summary;
  const mc::Summary& post = r.posterior;
  QList<QStringList> rows;
  for (std::size_t k = 0; k < mc::kTimes; ++k) {
    rows.append({qs(kTimeNames[k]), fixed(prior.atTarget.p[k], 4),
                 fixed(post.atTarget.p[k], 4) + QStringLiteral("（") +
                     fixed(post.atTarget.se[k], 4) + QStringLiteral("）"),
                 qs(mc::index_text(prior.atTarget.index[k])),
                 qs(mc::index_text(post.atTarget.index[k])) + QStringLiteral("（") +
                     short_digits(post.targets[k]) + QStringLiteral("）"),
                 below_target(prior.targetAge[k]), below_target(post.targetAge[k])});
  }
  return rows;
}

QList<QStringList> update_percentile_cells(const update::UpdateResult& r) {
  const QStringList names = {qs(kTimeNames[0]), qs(kTimeNames[1]), qs(kTimeNames[2]),
                             QStringLiteral("剩余寿命")};
  QList<QStringList> rows;
  for (std::size_t k = 0; k < r.posterior.percentiles.size(); ++k) {
    rows.append({names[static_cast<int>(k)], percentiles_text(r.prior.summary.percentiles[k]),
                 percentiles_text(r.posterior.percentiles[k])});
  }
  return rows;
}

QList<QStringList> update_input_cells(const update::UpdateResult& r) {
  QList<QStringList> rows;
  for (const auto& in : r.inputs) {
    rows.append({qs(in.label), short_digits(in.mean[0]), fixed(in.cov[0], 3),
                 interval(in.p5[0], in.p95[0]), short_digits(in.mean[1]), fixed(in.cov[1], 3),
                 interval(in.p5[1], in.p95[1])});
  }
  return rows;
}

QList<QStringList> update_correlation_cells(const update::UpdateResult& r) {
  const std::size_t n = r.inputs.size();
  QList<QStringList> rows;
  if (r.correlation.size() != n * n) return rows;
  for (std::size_t a = 0; a < n; ++a) {
    QStringList row = {QStringLiteral("(%1) ").arg(a + 1) + qs(r.inputs[a].label)};
    for (std::size_t b = 0; b < n; ++b) row << fixed(r.correlation[a * n + b], 2);
    rows.append(row);
  }
  return rows;
}

void draw_predictive_chart(QChart& chart, const update::PredictiveCurve& c) {
  const bool depth = c.kind == update::PredictiveCurve::Kind::DepthAgainstAge;
  reset_chart(chart, depth ? QStringLiteral("碳化深度的后验预测")
                           : QStringLiteral("“%1”（%2 a）氯离子含量的后验预测")
                                 .arg(qs(c.name), short_digits(c.age)));
  if (c.points.empty()) return;
  double xHi = c.points.back().at, yHi = 0;
  for (const auto& p : c.points) {
    yHi = std::max({yHi, p.prior[2], p.posterior[2], p.measured[2]});
  }
  for (const auto& m : c.measured) {
    xHi = std::max(xHi, m[0]);
    yHi = std::max(yHi, m[1]);
  }
  if (!(yHi > 0) || !std::isfinite(yHi)) yHi = 1;
  auto* x = add_axis(chart, depth ? QStringLiteral("年龄 (a)") : QStringLiteral("深度 (mm)"),
                     std::min(0.0, c.points.front().at), xHi, Qt::AlignBottom);
  auto* y = add_axis(chart,
                     depth ? QStringLiteral("碳化深度 (mm)") : QStringLiteral("氯离子含量 (kg/m³)"),
                     0, 1.05 * yHi, Qt::AlignLeft);
  x->applyNiceNumbers();
  y->applyNiceNumbers();
  auto band = [&](const QString& name, const QColor& colour, bool posterior) {
    auto* upper = new QLineSeries;
    auto* lower = new QLineSeries;
    auto* median = new QLineSeries;
    for (const auto& p : c.points) {
      const auto& v = posterior ? p.posterior : p.prior;
      lower->append(p.at, v[0]);
      median->append(p.at, v[1]);
      upper->append(p.at, v[2]);
    }
    auto* area = new QAreaSeries(upper, lower);
    area->setName(name + QStringLiteral(" 5%–95%"));
    QColor fill = colour;
    fill.setAlpha(posterior ? 70 : 45);
    area->setBrush(fill);
    area->setPen(QPen(fill, 0));
    attach(chart, area, x, y);
    median->setName(name + QStringLiteral(" 中位数"));
    median->setPen(QPen(colour, 2, posterior ? Qt::SolidLine : Qt::DashLine));
    attach(chart, median, x, y);
  };
  band(QStringLiteral("先验"), kPriorColour, false);
  band(QStringLiteral("后验"), kPosteriorColour, true);
  auto* newLow = new QLineSeries;
  auto* newHigh = new QLineSeries;
  for (const auto& p : c.points) {
    newLow->append(p.at, p.measured[0]);
    newHigh->append(p.at, p.measured[2]);
  }
  newLow->setName(QStringLiteral("新测量值 5%–95%"));
  for (QLineSeries* s : {newLow, newHigh}) {
    s->setPen(QPen(kPosteriorColour, 1, Qt::DotLine));
    attach(chart, s, x, y);
  }
  chart.legend()->markers(newHigh).front()->setVisible(false);
  auto* used = new QScatterSeries;
  used->setName(QStringLiteral("测量值"));
  used->setColor(kMeasuredColour);
  used->setMarkerSize(7);
  auto* left = new QScatterSeries;
  left->setName(QStringLiteral("测量值（未计入）"));
  left->setColor(Qt::white);
  left->setBorderColor(kMeasuredColour);
  left->setMarkerSize(7);
  for (std::size_t i = 0; i < c.measured.size(); ++i) {
    const bool in = i < c.used.size() ? c.used[i] : true;
    (in ? used : left)->append(c.measured[i][0], c.measured[i][1]);
  }
  attach(chart, used, x, y);
  if (left->count() > 0) {
    attach(chart, left, x, y);
  } else {
    delete left;
  }
}

void draw_update_inputs_chart(QChart& chart, const update::UpdateResult& r) {
  reset_chart(chart, QStringLiteral("输入参数：先验与后验（90% 区间与均值，以先验均值为 1）"));
  const std::size_t n = r.inputs.size();
  if (n == 0) return;
  double lo = 1, hi = 1;
  auto relative = [&](const update::InputStatistics& in, double v) {
    return in.mean[0] != 0 ? v / in.mean[0] : v;
  };
  for (const auto& in : r.inputs) {
    for (std::size_t j = 0; j < 2; ++j) {
      lo = std::min(lo, relative(in, in.p5[j]));
      hi = std::max(hi, relative(in, in.p95[j]));
    }
  }
  if (!std::isfinite(lo) || !std::isfinite(hi)) lo = 0, hi = 2;
  const double pad = 0.05 * (hi - lo) + 1e-9;
  auto* x = add_axis(chart, QStringLiteral("相对于先验均值"), lo - pad, hi + pad, Qt::AlignBottom);
  x->applyNiceNumbers();
  auto* y = new QCategoryAxis;
  y->setLabelsFont(cjk_font(8));
  y->setRange(-0.5, static_cast<double>(n) - 0.5);
  y->setStartValue(-0.5);
  // Categories are appended from the bottom up, each ending half a row above its line.
  for (std::size_t i = n; i-- > 0;) {
    y->append(qs(r.inputs[i].label), static_cast<double>(n - 1 - i) + 0.5);
  }
  chart.addAxis(y, Qt::AlignLeft);
  auto* priorMeans = new QScatterSeries;
  priorMeans->setName(QStringLiteral("先验"));
  priorMeans->setColor(kPriorColour);
  priorMeans->setMarkerSize(8);
  auto* postMeans = new QScatterSeries;
  postMeans->setName(QStringLiteral("后验"));
  postMeans->setColor(kPosteriorColour);
  postMeans->setMarkerSize(8);
  for (std::size_t i = 0; i < n; ++i) {
    const auto& in = r.inputs[i];
    const double row = static_cast<double>(n - 1 - i);
    for (std::size_t j = 0; j < 2; ++j) {
      const double at = row + (j == 0 ? 0.15 : -0.15);
      auto* segment = new QLineSeries;
      segment->append(relative(in, in.p5[j]), at);
      segment->append(relative(in, in.p95[j]), at);
      segment->setPen(QPen(j == 0 ? kPriorColour : kPosteriorColour, 3));
      attach(chart, segment, x, y);
      chart.legend()->markers(segment).front()->setVisible(false);
      (j == 0 ? priorMeans : postMeans)->append(relative(in, in.mean[j]), at);
    }
  }
  attach(chart, priorMeans, x, y);
  attach(chart, postMeans, x, y);
}

}  // namespace pellucor::shell
