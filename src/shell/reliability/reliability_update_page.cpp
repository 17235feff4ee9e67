// The reliability window's update with the member's measurements: its settings, its page of
// results, the measurements it uses and the record a project keeps of it.
#include "shell/reliability/reliability_window.hpp"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>

#include "analysis/mc/engine.hpp"
#include "analysis/mc/summary.hpp"
#include "analysis/update/member_update.hpp"
#include "analysis/update/update_report.hpp"
#include "sheet/control_names.hpp"
#include "sheet/number_form.hpp"
#include "sheet/numeric.hpp"
#include "sheet/result_record.hpp"
#include "shell/charts/chart_builder.hpp"
#include "shell/kit/background_run.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/quantity_names.hpp"
#include "shell/kit/safe_file.hpp"
#include "shell/kit/text.hpp"
#include "shell/reliability/reliability_charts.hpp"
#include "shell/reliability/reliability_widgets.hpp"
#include "shell/reliability/update_view.hpp"

namespace pellucor::shell {

namespace mc = analysis::mc;
namespace update = analysis::update;

QWidget* ReliabilityWindow::buildUpdateSettings() {
  auto* box = new QGroupBox(QStringLiteral("检测数据"), this);
  box->setObjectName(QStringLiteral("updateSettings"));
  auto* grid = new QGridLayout(box);
  auto edit = [&](const char* name, const QString& tip) {
    auto* e = new QLineEdit(box);
    e->setObjectName(QString::fromLatin1(name));
    e->setToolTip(tip);
    return e;
  };
  auto label = [&](const QString& text, int row, int column) {
    grid->addWidget(new QLabel(text, box), row, column);
  };
  updateSwitch_ = new QCheckBox(QStringLiteral("按检测数据更新"), box);
  updateSwitch_->setObjectName(QStringLiteral("updateSwitch"));
  updateSwitch_->setToolTip(
      QStringLiteral("以构件的检测数据（碳化深度、氯离子剖面、保护层厚度、检测时的锈蚀深度或"
                     "裂缝宽度）更新输入参数的分布，给出先验与后验的对比"));
  measurementNote_ = new QLabel(box);
  measurementNote_->setObjectName(QStringLiteral("measurementNote"));
  measurementNote_->setWordWrap(true);
  // Two lines at least: a wrapped label in a grid is otherwise given the height of one.
  measurementNote_->setMinimumHeight(2 * measurementNote_->fontMetrics().lineSpacing() + 2);
  grid->addWidget(updateSwitch_, 0, 0);
  grid->addWidget(measurementNote_, 0, 1, 1, 7);

  depthReadings_ =
      edit("depthReadings", QStringLiteral("酚酞法测得的碳化深度（mm），以空格、逗号或分号分隔；"
                                           "0 表示未见碳化（浅于 0.5 mm）"));
  depthAge_ = edit("depthAge", QStringLiteral("测读碳化深度时构件的年龄 (a)"));
  depthCov_ = edit("depthCov", QStringLiteral("碳化深度的测量与模型误差（对数正态，均值 1）的变异"
                                              "系数；空：由读数的离散估计"));
  profileSd_ = edit("profileSd", QStringLiteral("氯离子含量的测量与模型误差（正态）的标准差 "
                                                "(kg/m³)；空：取剖面拟合的残差标准差"));
  corrosionDepth_ = edit("corrosionDepth", QStringLiteral("检测时测得的锈蚀深度 (mm)；空：无"));
  corrosionSd_ = edit("corrosionSd", QStringLiteral("锈蚀深度测量的标准差 (mm)"));
  crackWidth_ = edit("crackWidth", QStringLiteral("检测时测得的裂缝宽度 (mm)；空：无"));
  crackSd_ = edit("crackSd", QStringLiteral("裂缝宽度测量的标准差 (mm)"));
  label(QStringLiteral("碳化深度读数 (mm)"), 1, 0);
  grid->addWidget(depthReadings_, 1, 1, 1, 5);
  label(QStringLiteral("读数时的年龄 (a)"), 1, 6);
  grid->addWidget(depthAge_, 1, 7);
  label(QStringLiteral("碳化深度误差变异系数"), 2, 0);
  grid->addWidget(depthCov_, 2, 1);
  label(QStringLiteral("氯离子误差标准差 (kg/m³)"), 2, 2);
  grid->addWidget(profileSd_, 2, 3);
  label(QStringLiteral("检测时锈蚀深度 (mm)"), 3, 0);
  grid->addWidget(corrosionDepth_, 3, 1);
  label(QStringLiteral("标准差"), 3, 2);
  grid->addWidget(corrosionSd_, 3, 3);
  label(QStringLiteral("检测时裂缝宽度 (mm)"), 3, 4);
  grid->addWidget(crackWidth_, 3, 5);
  label(QStringLiteral("标准差"), 3, 6);
  grid->addWidget(crackSd_, 3, 7);
  setMeasurements({}, {});
  return box;
}

QWidget* ReliabilityWindow::buildUpdatePage() {
  auto* scroll = new QScrollArea(tabs_);
  scroll->setObjectName(QStringLiteral("updateScroll"));
  scroll->setWidgetResizable(true);
  auto* page = new QWidget(scroll);
  auto* layout = new QVBoxLayout(page);
  diagnostics_ = new QLabel(page);
  diagnostics_->setObjectName(QStringLiteral("updateDiagnostics"));
  diagnostics_->setWordWrap(true);
  diagnostics_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(diagnostics_);
  updateCompare_ = make_result_table(7, {}, "updateTable", page);
  updatePercentiles_ =
      make_result_table(3,
                        {QStringLiteral("时间"), QStringLiteral("先验 5% / 50% / 95% (a)"),
                         QStringLiteral("后验 5% / 50% / 95% (a)")},
                        "updatePercentileTable", page);
  updateInputs_ = make_result_table(
      7,
      {QStringLiteral("输入参数"), QStringLiteral("先验均值"), QStringLiteral("先验变异系数"),
       QStringLiteral("先验 90% 区间"), QStringLiteral("后验均值"), QStringLiteral("后验变异系数"),
       QStringLiteral("后验 90% 区间")},
      "updateInputTable", page);
  correlations_ = make_result_table(1, {}, "correlationTable", page);
  layout->addWidget(new QLabel(QStringLiteral("目标年龄时的失效概率与可靠指标：先验与后验"), page));
  layout->addWidget(updateCompare_);
  layout->addWidget(new QLabel(QStringLiteral("分位值：先验与后验"), page));
  layout->addWidget(updatePercentiles_);
  layout->addWidget(new QLabel(QStringLiteral("输入参数的均值、变异系数与 90% 区间"), page));
  layout->addWidget(updateInputs_);
  layout->addWidget(new QLabel(QStringLiteral("后验相关系数"), page));
  layout->addWidget(correlations_);
  layout->addStretch(1);
  scroll->setWidget(page);
  return scroll;
}

void ReliabilityWindow::setMeasurements(const update::Measurements& m, const QString& source) {
  memberMeasurements_ = m;
  measurementSource_ = source;
  QStringList kinds;
  for (const auto& d : m.depths) {
    kinds << QStringLiteral("%1 个碳化深度读数（%2 a）")
                 .arg(d.depthMm.size())
                 .arg(short_digits(d.ageYears));
  }
  if (!m.cores.empty()) kinds << QStringLiteral("%1 个氯离子剖面芯样").arg(m.cores.size());
  if (!m.coverMm.empty()) kinds << QStringLiteral("%1 个保护层厚度读数").arg(m.coverMm.size());
  if (m.empty()) {
    measurementNote_->setText(QStringLiteral(
        "无构件的检测数据（从工程的构件打开本窗口时带入）；可在下面输入碳化深度读数，或检测时的"
        "锈蚀深度、裂缝宽度。"));
  } else {
    measurementNote_->setText(source + QStringLiteral("：") + kinds.join(QStringLiteral("，")) +
                              QStringLiteral("。"));
  }
  updateSwitch_->setChecked(!m.empty());
}

std::optional<update::Measurements> ReliabilityWindow::measurementsToUse() {
  update::Measurements m = memberMeasurements_;
  auto refuse = [&](QLineEdit* edit, const QString& text) {
    dialogs_.showWarning(this, kInputCheckTitle, text);
    tabs_->setCurrentIndex(0);
    edit->setFocus();
    return std::nullopt;
  };
  // An empty box: none; anything but a number: refused here, naming the box.
  auto optional = [](QLineEdit* e) -> std::optional<std::optional<double>> {
    const QString text = e->text().trimmed();
    if (text.isEmpty()) return std::optional<double>{};
    const auto v = typed_number(text);
    if (!v) return std::nullopt;
    return v;
  };
  const QString readings = depthReadings_->text().trimmed();
  std::optional<analysis::inspect::CarbonationInput> typedDepths;
  if (!readings.isEmpty()) {
    update::DepthReadings d;
    static const QRegularExpression separators(QStringLiteral("[\\s,;，；、]+"));
    for (const QString& word : readings.split(separators, Qt::SkipEmptyParts)) {
      const auto v = typed_number(word);
      if (!v) return refuse(depthReadings_, QStringLiteral("碳化深度读数“%1”不是数字!").arg(word));
      d.depthMm.push_back(*v);
    }
    const auto age = optional(depthAge_);
    if (!age || !*age) {
      return refuse(depthAge_, QStringLiteral("请输入测读碳化深度时构件的年龄 (a)!"));
    }
    d.ageYears = **age;
    typedDepths = analysis::inspect::CarbonationInput{d.depthMm, d.ageYears};
    m.depths.push_back(std::move(d));
  }
  const auto depthCov = optional(depthCov_);
  if (!depthCov) return refuse(depthCov_, QStringLiteral("碳化深度误差的变异系数必须是数字!"));
  const auto profileSd = optional(profileSd_);
  if (!profileSd) return refuse(profileSd_, QStringLiteral("氯离子误差的标准差必须是数字!"));
  for (auto& d : m.depths) {
    if (*depthCov) d.errorCov = *depthCov;
  }
  for (auto& c : m.cores) {
    if (*profileSd) c.errorSd = *profileSd;
  }
  auto atInspection = [&](QLineEdit* value, QLineEdit* sd, const QString& what,
                          std::optional<update::AtInspection>& into) {
    const auto v = optional(value);
    if (!v) return refuse(value, what + QStringLiteral("必须是数字!")), false;
    if (!*v) return true;
    const auto d = optional(sd);
    if (!d || !*d) {
      return refuse(sd, QStringLiteral("请输入%1测量的标准差!").arg(what)), false;
    }
    into = update::AtInspection{**v, **d};
    return true;
  };
  if (!atInspection(corrosionDepth_, corrosionSd_, QStringLiteral("检测时的锈蚀深度"),
                    m.corrosionDepth) ||
      !atInspection(crackWidth_, crackSd_, QStringLiteral("检测时的裂缝宽度"), m.crackWidth)) {
    return std::nullopt;
  }
  typedRecord_ = {};
  typedRecord_.depthCov = *depthCov;
  typedRecord_.profileSd = *profileSd;
  typedRecord_.typedDepths = typedDepths;
  if (m.corrosionDepth && !memberMeasurements_.corrosionDepth) {
    typedRecord_.corrosionDepth =
        analysis::project::MeasuredRecord{m.corrosionDepth->value, m.corrosionDepth->sd};
  }
  if (m.crackWidth && !memberMeasurements_.crackWidth) {
    typedRecord_.crackWidth =
        analysis::project::MeasuredRecord{m.crackWidth->value, m.crackWidth->sd};
  }
  if (m.empty()) {
    return refuse(depthReadings_,
                  QStringLiteral("没有可用于更新的检测数据：请从工程中有检测数据的构件打开本窗口，"
                                 "或输入碳化深度读数，或关闭“按检测数据更新”。"));
  }
  return m;
}

void ReliabilityWindow::setUpdateRecord(const analysis::project::UpdateRecord& record) {
  auto text = [](const std::optional<double>& v) { return v ? digits(*v) : QString(); };
  depthCov_->setText(text(record.depthCov));
  profileSd_->setText(text(record.profileSd));
  auto measured = [&](const std::optional<analysis::project::MeasuredRecord>& m, QLineEdit* value,
                      QLineEdit* sd) {
    value->setText(m ? digits(m->value) : QString());
    sd->setText(m ? digits(m->sd) : QString());
  };
  measured(record.corrosionDepth, corrosionDepth_, corrosionSd_);
  measured(record.crackWidth, crackWidth_, crackSd_);
  // Depths typed for an earlier update stand in their boxes again, where they can be changed.
  QStringList depths;
  if (record.typedDepths) {
    for (double d : record.typedDepths->depthMm) depths << digits(d);
  }
  depthReadings_->setText(depths.join(QStringLiteral(", ")));
  depthAge_->setText(record.typedDepths ? digits(record.typedDepths->ageYears) : QString());
  if (record.typedDepths) updateSwitch_->setChecked(true);
}

std::optional<analysis::project::UpdateRecord> ReliabilityWindow::updateRecord() const {
  return updatedRecord_;
}

QList<QWidget*> ReliabilityWindow::predictiveCharts() const {
  QList<QWidget*> charts;
  for (QChartView* v : predictiveHolder_->findChildren<QChartView*>()) charts << v;
  return charts;
}

void ReliabilityWindow::showUpdate() {
  // The predictive charts made again: those of the last update go.
  for (QWidget* old : predictiveHolder_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    delete old;
  }
  auto* charts = predictiveHolder_;
  auto* chartLayout = static_cast<QVBoxLayout*>(predictiveHolder_->layout());
  if (updated_) {
    for (const auto& c : updated_->curves) {
      auto* view = make_chart_view();
      view->setMinimumHeight(360);
      draw_predictive_chart(*view->chart(), c);
      chartLayout->addWidget(view);
    }
  }
  if (!updated_ || updated_->curves.empty()) {
    chartLayout->addWidget(new QLabel(updated_
                                          ? QStringLiteral("检测数据中没有可画预测曲线的测量。")
                                          : QStringLiteral("尚无按检测数据更新的结果。"),
                                      charts));
  }

  auto* inputsView = static_cast<QChartView*>(updateInputsChart_);
  auto* postView = static_cast<QChartView*>(posteriorProbabilityChart_);
  if (!updated_) {
    inputsView->chart()->removeAllSeries();
    for (QAbstractAxis* a : inputsView->chart()->axes()) {
      inputsView->chart()->removeAxis(a);
      delete a;
    }
    draw_probability_chart(*postView->chart(), nullptr);
    postView->chart()->setTitle(QStringLiteral("后验概率 P(t ≤ τ)"));
    diagnostics_->setText(
        QStringLiteral("尚无按检测数据更新的结果：在“输入与设置”中打开"
                       "“按检测数据更新”再计算。"));
    fill_table(*updateCompare_, {});
    fill_table(*updatePercentiles_, {});
    fill_table(*updateInputs_, {});
    fill_table(*correlations_, {});
    return;
  }
  const update::UpdateResult& r = *updated_;
  draw_update_inputs_chart(*inputsView->chart(), r);
  draw_probability_chart(*postView->chart(), &r.posterior);
  postView->chart()->setTitle(QStringLiteral("后验概率 P(t ≤ τ)（按检测数据更新）"));
  QStringList lines;
  for (const QString& l : update_diagnostic_lines(r)) lines << l.toHtmlEscaped();
  diagnostics_->setText(lines.join(QStringLiteral("<br>")));
  updateCompare_->setHorizontalHeaderLabels(update_comparison_header(r));
  fill_table(*updateCompare_, update_comparison_cells(r));
  fill_table(*updatePercentiles_, update_percentile_cells(r));
  fill_table(*updateInputs_, update_input_cells(r));
  const int n = static_cast<int>(r.inputs.size());
  correlations_->setColumnCount(n + 1);
  QStringList header = {QString()};
  for (int i = 0; i < n; ++i) header << QStringLiteral("(%1)").arg(i + 1);
  correlations_->setHorizontalHeaderLabels(header);
  fill_table(*correlations_, update_correlation_cells(r));
}

}  // namespace pellucor::shell
