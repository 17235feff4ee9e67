#include "shell/reports/reliability_section.hpp"

#include <QtCharts/QChart>
#include <memory>
#include <string>
#include <vector>

#include "analysis/crossing.hpp"
#include "analysis/update/update_report.hpp"
#include "modules/registry.hpp"
#include "sheet/control.hpp"
#include "shell/kit/quantity_names.hpp"
#include "shell/kit/text.hpp"
#include "shell/reliability/reliability_charts.hpp"
#include "shell/reliability/reliability_tables.hpp"
#include "shell/reliability/update_view.hpp"

namespace pellucor::shell {

namespace mc = analysis::mc;

namespace {

// The lines to read first as a table of their own (empty without any).
ReportTable first_notes(const std::vector<std::string>& lines) {
  ReportTable t;
  if (lines.empty()) return t;
  t.caption = QStringLiteral("首先请注意");
  t.header = {QStringLiteral("注意事项")};
  for (const auto& line : lines) {
    QString text = qs(line);
    if (text.startsWith(QStringLiteral("注意："))) text = text.mid(3);
    t.rows.append({text.trimmed()});
  }
  return t;
}

}  // namespace

ReportSection reliability_section(const mc::Report& r, QStringList notes) {
  const mc::Summary& s = r.summary;
  ReportSection section;
  section.title = QString::fromUtf8(kReliabilityTitle);

  // What to read first, above everything else of the run.
  section.table = first_notes(mc::warning_lines(r));

  ReportTable inputs;
  inputs.caption = QStringLiteral("输入参数的离散性");
  inputs.header = {
      QStringLiteral("输入参数"), QStringLiteral("均值"),     QStringLiteral("变异系数（标准差）"),
      QStringLiteral("分布"),     QStringLiteral("截断范围"), QStringLiteral("样本均值、变异系数"),
      QStringLiteral("来源")};
  QStringList sources;
  const sheet::Module* module = modules::find_module(std::to_string(r.sheet));
  for (const mc::ReportInput& in : r.inputs) {
    const bool scatters = in.scatter.scatters();
    // The unit corrected where the sheet's prompt misspells it (℃, MPa), as the window shows it.
    const sheet::FieldRow* f =
        module == nullptr ? nullptr : module->table().field(sheet::text_box(in.box));
    const QString unit =
        f != nullptr ? shown(sheet::ResultItem{&f->typed, sheet::ItemKind::Input, 0.0, {}}).unit
                     : raised_powers(qs(in.unit));
    QString name = qs(in.label);
    if (!unit.isEmpty()) name += QStringLiteral("（") + unit + QStringLiteral("）");
    QString scatter = in.scatter.sd > 0 ? short_digits(in.scatter.cov) + QStringLiteral("（") +
                                              digits(in.scatter.sd) + QStringLiteral("）")
                                        : digits(in.scatter.cov);
    QString samples;
    if (in.effect) {
      samples = short_digits(in.effect->truncatedMean) + QStringLiteral("，") +
                fixed(in.effect->truncatedCov, 3);
      if (in.effect->warn()) samples += QStringLiteral("（见首页注意）");
    }
    QString source;
    if (scatters) source = in.source ? source_name(*in.source) : QStringLiteral("输入");
    inputs.rows.append({name, digits(in.mean), scatter,
                        scatters ? distribution_text(in.scatter.dist) : QStringLiteral("定值"),
                        scatters ? digits(in.lo) + QStringLiteral("--") + digits(in.hi) : QString(),
                        samples, source});
    if (scatters && in.source)
      sources << qs(in.label) + QStringLiteral("：") + qs(in.source->chinese);
  }
  section.tables.push_back(std::move(inputs));

  ReportTable settings;
  settings.caption = QStringLiteral("计算设置");
  settings.header = {QStringLiteral("项目"), QStringLiteral("数值")};
  settings.rows = {
      {QStringLiteral("样本数"), QString::number(r.settings.samples)},
      {QStringLiteral("随机数种子"), QString::number(r.settings.seed)},
      {QStringLiteral("停止准则"),
       s.stopCov > 0 ? QStringLiteral("P(t_d ≤ τ) 的变异系数 < %1：%2")
                           .arg(s.stopCov)
                           .arg(s.stoppedByRule ? QStringLiteral("已满足")
                                                : QStringLiteral("在最多样本数内未满足"))
                     : QStringLiteral("不用")},
      {QStringLiteral("目标年龄 τ"), short_digits(s.atTarget.age) + QStringLiteral(" a")},
      {QStringLiteral("目标可靠指标 β"), QStringLiteral("t_i %1，t_c %2，t_d %3")
                                             .arg(s.targets[0])
                                             .arg(s.targets[1])
                                             .arg(s.targets[2])},
      {QStringLiteral("模型不确定性变异系数"), r.modelUncertainty.any()
                                                   ? QStringLiteral("t_i %1，t_c %2，t_d %3")
                                                         .arg(r.modelUncertainty.cov[0])
                                                         .arg(r.modelUncertainty.cov[1])
                                                         .arg(r.modelUncertainty.cov[2])
                                                   : QStringLiteral("不用")},
  };
  if (r.hasBinder)
    settings.rows.append({QStringLiteral("胶凝材料"), qs(mc::binder_text(r.binder))});
  if (s.hasVariants) {
    settings.rows.append({QStringLiteral("开始锈蚀时间"), qs(analysis::variant_text(s.variant))});
  }
  section.tables.push_back(std::move(settings));

  ReportTable outcomes;
  outcomes.caption = QStringLiteral("各样本的计算情况（共 %1 个，均计入概率）").arg(s.samples);
  outcomes.header = {QStringLiteral("样本数"), QStringLiteral("占比"), QStringLiteral("结果"),
                     QStringLiteral("如何计入概率")};
  outcomes.rows = stop_cells(r);
  section.tables.push_back(std::move(outcomes));

  const QStringList times = {qs(kTimeNames[0]), qs(kTimeNames[1]), qs(kTimeNames[2]),
                             QStringLiteral("剩余寿命")};
  ReportTable atTarget;
  atTarget.caption =
      QStringLiteral("目标年龄 τ = %1 a 时的失效概率与可靠指标").arg(short_digits(s.atTarget.age));
  atTarget.header = {QStringLiteral("时间"),     QStringLiteral("P（偏于安全）"),
                     QStringLiteral("P 下界"),   QStringLiteral("标准误差"),
                     QStringLiteral("变异系数"), QStringLiteral("95% 区间"),
                     QStringLiteral("β（目标）")};
  const QList<QStringList> atCells = at_target_cells(s);
  for (int i = 0; i < atCells.size(); ++i) atTarget.rows.append(QStringList{times[i]} + atCells[i]);
  section.tables.push_back(std::move(atTarget));

  ReportTable percentiles;
  percentiles.caption = QStringLiteral("分位值（偏于安全）与 β 低于目标的年龄");
  percentiles.header = {QStringLiteral("时间"), QStringLiteral("5% (a)"), QStringLiteral("50% (a)"),
                        QStringLiteral("95% (a)"), QStringLiteral("β 低于目标的年龄 (a)")};
  const QList<QStringList> cells = percentile_cells(s);
  for (int i = 0; i < cells.size() && i < times.size(); ++i) {
    QStringList row = cells[i];
    for (QString& cell : row) {
      if (cell.isEmpty()) cell = QStringLiteral("—");
    }
    row.prepend(times[i]);
    percentiles.rows.append(row);
  }
  section.tables.push_back(std::move(percentiles));

  // The report owns a copy of the run for its charts.
  auto report = std::make_shared<const mc::Report>(r);
  section.charts.push_back([report] {
    auto* chart = new QChart;
    draw_probability_chart(*chart, &report->summary);
    return chart;
  });
  section.charts.push_back([report] {
    auto* chart = new QChart;
    draw_beta_chart(*chart, &report->summary);
    return chart;
  });
  if (!s.tornado.empty()) {
    section.charts.push_back([report] {
      auto* chart = new QChart;
      draw_tornado_chart(*chart, report.get());
      return chart;
    });
  }

  notes << QStringLiteral(
      "每个样本都计入概率，没有舍弃：永远达不到极限状态的样本在各年龄均按未失效计；"
      "模型无法跟踪或计算前被检查拒绝的样本按最早可能失效的年龄计为失效，给出偏于安全的"
      "概率（图中曲线），按未失效计的下界在表中给出、在图中画为范围。");
  bool bound = false;
  for (const auto& b : s.atTarget.index) bound = bound || b.kind != mc::IndexValue::Kind::Exact;
  for (const auto& point : s.curve) {
    for (const auto& b : point.index) bound = bound || b.kind != mc::IndexValue::Kind::Exact;
  }
  if (bound) {
    notes << QStringLiteral("没有样本失效时 β 写作下界（“> 值”，图中三角形）：") +
                 qs(mc::kIndexBoundRuleText) + QStringLiteral("。");
  }
  if (s.hasVariants) {
    notes << (s.variant == analysis::InitiationVariant::Crossing
                  ? QStringLiteral(
                        "开始锈蚀时间按临界浓度交点：钢筋处氯离子浓度（计算表的同一公式与"
                        "误差函数）实际达到临界浓度的年龄，二分到 10⁻⁶ a，与初设锈蚀时间"
                        "无关。")
                  : QStringLiteral("开始锈蚀时间按表单算法：半年步长搜索，浓度与临界浓度相差不到 "
                                   "0.5 kg/m³ 即停止，结果随初设锈蚀时间而变。"));
  }
  if (!s.tornado.empty()) {
    notes << QStringLiteral("秩相关系数（Spearman）取自前 %1 个样本，不另行计算。")
                 .arg(s.tornadoSamples);
  }
  if (!sources.isEmpty()) {
    notes << QStringLiteral("默认离散的来源：");
    notes << sources;
  }
  section.notes = std::move(notes);
  return section;
}

ReportSection update_section(const analysis::update::UpdateResult& r, QStringList notes) {
  namespace update = analysis::update;
  ReportSection section;
  section.title = QStringLiteral("按检测数据更新的可靠度分析");
  section.newPage = true;
  section.table = first_notes(update::warning_lines(r));
  ReportTable diagnostics;
  diagnostics.caption = QStringLiteral("抽样、诊断与检测数据");
  diagnostics.header = {QStringLiteral("说明")};
  for (const QString& line : update_diagnostic_lines(r)) diagnostics.rows.append({line.trimmed()});
  section.tables.push_back(std::move(diagnostics));

  ReportTable compare;
  compare.caption = QStringLiteral("目标年龄时的失效概率与可靠指标：先验与后验");
  compare.header = update_comparison_header(r);
  compare.rows = update_comparison_cells(r);
  section.tables.push_back(std::move(compare));

  ReportTable percentiles;
  percentiles.caption = QStringLiteral("分位值：先验与后验");
  percentiles.header = {QStringLiteral("时间"), QStringLiteral("先验 5% / 50% / 95% (a)"),
                        QStringLiteral("后验 5% / 50% / 95% (a)")};
  percentiles.rows = update_percentile_cells(r);
  section.tables.push_back(std::move(percentiles));

  ReportTable inputs;
  inputs.caption = QStringLiteral("输入参数的均值、变异系数与 90% 区间：先验与后验");
  inputs.header = {QStringLiteral("输入参数"),     QStringLiteral("先验均值"),
                   QStringLiteral("先验变异系数"), QStringLiteral("先验 90% 区间"),
                   QStringLiteral("后验均值"),     QStringLiteral("后验变异系数"),
                   QStringLiteral("后验 90% 区间")};
  inputs.rows = update_input_cells(r);
  section.tables.push_back(std::move(inputs));

  if (r.inputs.size() > 1) {
    ReportTable correlations;
    correlations.caption = QStringLiteral("后验相关系数");
    correlations.header = {QString()};
    for (std::size_t i = 0; i < r.inputs.size(); ++i) {
      correlations.header << QStringLiteral("(%1)").arg(i + 1);
    }
    correlations.rows = update_correlation_cells(r);
    section.tables.push_back(std::move(correlations));
  }

  // The report owns a copy of the result for its charts.
  auto result = std::make_shared<const update::UpdateResult>(r);
  for (std::size_t c = 0; c < r.curves.size(); ++c) {
    section.charts.push_back([result, c] {
      auto* chart = new QChart;
      draw_predictive_chart(*chart, result->curves[c]);
      return chart;
    });
  }
  section.charts.push_back([result] {
    auto* chart = new QChart;
    draw_update_inputs_chart(*chart, *result);
    return chart;
  });
  section.charts.push_back([result] {
    auto* chart = new QChart;
    draw_probability_chart(*chart, &result->posterior);
    chart->setTitle(QStringLiteral("后验概率 P(t ≤ τ)（按检测数据更新）"));
    return chart;
  });
  notes << QStringLiteral(
      "先验为上一节的可靠度分析（同样的样本数与种子）；后验以构件的检测数据为条件。"
      "有效样本数按权重计（Kish）；诊断未通过的后验结果不据以评级。");
  section.notes = std::move(notes);
  return section;
}

}  // namespace pellucor::shell
