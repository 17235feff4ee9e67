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

namespace {

// The box's label with the unit its prompt states, corrected where the sheet misspells it:
// "保护层厚度（mm）", "环境温度（℃）".
QString label_with_unit(const sheet::FieldRow& f) {
  QString s = qs(f.label);
  const QString unit = shown(sheet::ResultItem{&f.typed, sheet::ItemKind::Input, 0.0, {}}).unit;
  if (!unit.isEmpty()) s += QStringLiteral("（") + unit + QStringLiteral("）");
  return s;
}

// Numbers completed runs in the order they end, over all reliability windows.
std::uint64_t next_run_order() {
  static std::uint64_t order = 0;
  return ++order;
}

// A number typed in a settings box: empty gives `empty`, anything but a number NaN (which the
// checks of the run refuse with their own message).
double number_or(const QLineEdit& edit, double empty) {
  const QString text = edit.text().trimmed();
  if (text.isEmpty()) return empty;
  return typed_number(text).value_or(std::nan(""));
}

// A CoV or deviation typed into the input table: empty is 0 (no scatter), anything but a
// number NaN (which the checks of the run refuse with their own message).
double scatter_cell(const QString& text) {
  if (text.trimmed().isEmpty()) return 0;
  return typed_number(text).value_or(std::nan(""));
}

}  // namespace

// One run: what the worker thread computes, and the thread. The worker writes `report` and
// `cancelled`; the window reads them once the run has told it that it ended.
struct ReliabilityWindow::Run {
  mc::Problem problem;
  mc::RunSettings settings;
  mc::RunControl control;
  std::optional<update::Measurements> measurements;  // an update with these
  analysis::project::UpdateRecord record;            // the settings typed for it
  std::optional<mc::Report> report;
  std::optional<update::UpdateResult> updated;
  QString refusal;  // why the update could not run
  bool cancelled = false;
  std::unique_ptr<BackgroundRun> thread;  // last: goes first, after the cancel

  void compute() {
    if (measurements) {
      update::UpdateSettings u;
      u.run = settings;
      auto r = update::run_update(problem, *measurements, u, &control);
      if (!r) {
        cancelled = r.refusal().kind == update::UpdateRefusal::Cancelled;
        if (!cancelled) refusal = qs(r.refusal().text);
        return;
      }
      report = r->prior;
      updated = *r;
      return;
    }
    const mc::Samples samples = mc::run_samples(problem, settings, &control);
    cancelled = samples.cancelled;
    if (!cancelled) report = mc::make_report(problem, settings, mc::summarize(samples, settings));
  }
  ~Run() {
    control.cancel = true;
    thread.reset();
  }
};

ReliabilityWindow::ReliabilityWindow(const sheet::Module& module, const sheet::SheetInputs& means,
                                     Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), module_(module), means_(means), dialogs_(dialogs) {
  setObjectName(QStringLiteral("reliabilityWindow"));
  auto* layout = new QVBoxLayout(this);

  inputs_ = new QTableWidget(0, kColumns, this);
  inputs_->setObjectName(QStringLiteral("inputTable"));
  inputs_->setHorizontalHeaderLabels(
      {QStringLiteral("输入参数"), QStringLiteral("均值"), QStringLiteral("变异系数"),
       QStringLiteral("标准差"), QStringLiteral("分布"), QStringLiteral("截断范围"),
       QStringLiteral("样本的均值、变异系数"), QStringLiteral("离散来源")});
  inputs_->horizontalHeaderItem(kSd)->setToolTip(
      QStringLiteral("绝对标准差（与输入同单位）；填写后代替变异系数"));
  inputs_->horizontalHeaderItem(kSamples)->setToolTip(
      QStringLiteral("样本限于截断范围内，保持表中均值；范围容不下所要求的离散时，"
                     "变异系数取该范围内能达到的最大值，并标红"));
  inputs_->verticalHeader()->hide();
  hiddenRows_ = new QLabel(this);
  hiddenRows_->setObjectName(QStringLiteral("hiddenRows"));
  hiddenRows_->setWordWrap(true);
  buildInputTable();
  inputs_->resizeColumnsToContents();

  auto* buttons = new QHBoxLayout;
  calculate_ = new QPushButton(QStringLiteral("计算(&J)"), this);
  calculate_->setObjectName(QStringLiteral("calculate"));
  cancel_ = new QPushButton(QStringLiteral("取消(&Q)"), this);
  cancel_->setObjectName(QStringLiteral("cancel"));
  export_ = new QPushButton(QStringLiteral("导出CSV(&V)…"), this);
  export_->setObjectName(QStringLiteral("exportCsv"));
  reportButton_ = new QPushButton(QStringLiteral("报告(&R)…"), this);
  reportButton_->setObjectName(QStringLiteral("report"));
  reportButton_->setToolTip(QStringLiteral("写出计算表的PDF报告，含本次可靠度分析"));
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  for (QPushButton* b : {calculate_, cancel_, export_, reportButton_}) buttons->addWidget(b);
  buttons->addWidget(progress_, 1);
  layout->addLayout(buttons);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  status_->setWordWrap(true);
  layout->addWidget(status_);

  // What an engineer reads first, above the results.
  warnings_ = new QLabel(this);
  warnings_->setObjectName(QStringLiteral("warnings"));
  warnings_->setWordWrap(true);
  warnings_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  warnings_->setStyleSheet(QStringLiteral(
      "QLabel { color: #8a1c00; background: #fff4d6; border: 1px solid #e0b040; padding: 4px; }"));
  warnings_->hide();
  layout->addWidget(warnings_);

  // The inputs and settings on one page, each kind of result on its own: every page has the
  // window's whole height.
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("results"));
  auto* setup = new QWidget(tabs_);
  auto* setupLayout = new QVBoxLayout(setup);
  setupLayout->setContentsMargins(0, 0, 0, 0);
  inputs_->setParent(setup);
  setupLayout->addWidget(inputs_, 1);
  hiddenRows_->setParent(setup);
  setupLayout->addWidget(hiddenRows_);
  setupLayout->addWidget(buildSettings());
  setupLayout->addWidget(buildUpdateSettings());
  // At the window's default size the inputs keep room for several rows and every note its
  // whole height: the page scrolls rather than squeezing them.
  inputs_->setMinimumHeight(inputs_->horizontalHeader()->sizeHint().height() +
                            6 * inputs_->verticalHeader()->defaultSectionSize() +
                            2 * inputs_->frameWidth());
  auto* setupScroll = new QScrollArea(tabs_);
  setupScroll->setObjectName(QStringLiteral("setupScroll"));
  setupScroll->setWidgetResizable(true);
  setupScroll->setFrameShape(QFrame::NoFrame);
  setupScroll->setWidget(setup);
  tabs_->addTab(setupScroll, QStringLiteral("输入与设置"));

  auto* scroll = new QScrollArea(tabs_);
  scroll->setObjectName(QStringLiteral("resultScroll"));
  scroll->setWidgetResizable(true);
  auto* tables = new QWidget(scroll);
  auto* tablesLayout = new QVBoxLayout(tables);
  atTarget_ = make_result_table(
      7,
      {QStringLiteral("时间"), QStringLiteral("P（偏于安全）"), QStringLiteral("P 下界"),
       QStringLiteral("标准误差"), QStringLiteral("变异系数"), QStringLiteral("95% 区间"),
       QStringLiteral("β（目标）")},
      "atTargetTable", tables);
  percentiles_ = make_result_table(
      5,
      {QStringLiteral("时间"), QStringLiteral("5% (a)"), QStringLiteral("50% (a)"),
       QStringLiteral("95% (a)"), QStringLiteral("β 低于目标的年龄 (a)")},
      "percentileTable", tables);
  stops_ = make_result_table(4,
                             {QStringLiteral("样本数"), QStringLiteral("占比"),
                              QStringLiteral("结果"), QStringLiteral("如何计入概率")},
                             "stopsTable", tables);
  // The explanations whole: the page scrolls sideways rather than cut them short.
  stops_->horizontalHeader()->setStretchLastSection(false);
  auto* atTargetCaption = new QLabel(QStringLiteral("目标年龄时的失效概率与可靠指标"), tables);
  atTargetCaption->setObjectName(QStringLiteral("atTargetCaption"));
  tablesLayout->addWidget(atTargetCaption);
  tablesLayout->addWidget(atTarget_);
  tablesLayout->addWidget(new QLabel(QStringLiteral("分位值（偏于安全）"), tables));
  tablesLayout->addWidget(percentiles_);
  tablesLayout->addWidget(new QLabel(QStringLiteral("各样本的计算情况"), tables));
  tablesLayout->addWidget(stops_);
  tablesLayout->addStretch(1);
  scroll->setWidget(tables);
  tabs_->addTab(scroll, QStringLiteral("结果"));
  probabilityChart_ = make_chart_view();
  probabilityChart_->setObjectName(QStringLiteral("probabilityChart"));
  betaChart_ = make_chart_view();
  betaChart_->setObjectName(QStringLiteral("betaChart"));
  tornadoChart_ = make_chart_view();
  tornadoChart_->setObjectName(QStringLiteral("tornadoChart"));
  tabs_->addTab(probabilityChart_, QStringLiteral("概率 P(t≤τ)"));
  tabs_->addTab(betaChart_, QStringLiteral("可靠指标 β(τ)"));
  tabs_->addTab(tornadoChart_, QStringLiteral("敏感性"));
  tabs_->addTab(buildUpdatePage(), QStringLiteral("先验与后验"));
  // The update's charts on one page that scrolls: the predictive curves (one per set of
  // depths or core), the inputs' prior against posterior, the posterior probabilities.
  auto* chartScroll = new QScrollArea(tabs_);
  chartScroll->setObjectName(QStringLiteral("predictivePage"));
  chartScroll->setWidgetResizable(true);
  predictivePage_ = chartScroll;
  auto* chartPage = new QWidget(chartScroll);
  auto* chartPageLayout = new QVBoxLayout(chartPage);
  predictiveHolder_ = new QWidget(chartPage);
  new QVBoxLayout(predictiveHolder_);
  predictiveHolder_->layout()->setContentsMargins(0, 0, 0, 0);
  chartPageLayout->addWidget(predictiveHolder_);
  updateInputsChart_ = make_chart_view();
  updateInputsChart_->setObjectName(QStringLiteral("updateInputsChart"));
  updateInputsChart_->setMinimumHeight(360);
  chartPageLayout->addWidget(updateInputsChart_);
  posteriorProbabilityChart_ = make_chart_view();
  posteriorProbabilityChart_->setObjectName(QStringLiteral("posteriorProbabilityChart"));
  posteriorProbabilityChart_->setMinimumHeight(360);
  chartPageLayout->addWidget(posteriorProbabilityChart_);
  chartScroll->setWidget(chartPage);
  tabs_->addTab(chartScroll, QStringLiteral("更新图表"));
  layout->addWidget(tabs_, 1);

  connect(calculate_, &QPushButton::clicked, this, &ReliabilityWindow::calculate);
  connect(cancel_, &QPushButton::clicked, this, &ReliabilityWindow::cancel);
  connect(export_, &QPushButton::clicked, this, &ReliabilityWindow::exportCsv);
  connect(reportButton_, &QPushButton::clicked, this, &ReliabilityWindow::reportRequested);
  connect(inputs_, &QTableWidget::cellChanged, this, &ReliabilityWindow::cellChanged);
  setRunning(false);
  showReport();
}

ReliabilityWindow::~ReliabilityWindow() = default;

QSize ReliabilityWindow::sizeHint() const {
  return {1000, 860};
}

void ReliabilityWindow::buildInputTable() {
  updating_ = true;
  const mc::Problem defaults = mc::with_defaults(module_, means_);
  for (const auto& f : module_.table().fields) {
    const int n = sheet::text_box_number(f.control);
    const int row = inputs_->rowCount();
    inputs_->insertRow(row);
    rowBoxes_.push_back(n);
    auto fixedItem = [](const QString& text) {
      auto* item = new QTableWidgetItem(text);
      item->setFlags(item->flags() & ~Qt::ItemIsEditable);
      return item;
    };
    auto* label = fixedItem(label_with_unit(f));
    // The console's names of the box, for one who moves between the two.
    label->setToolTip(qs(sheet::control_name(f.control)) + QStringLiteral(" (") + qs(f.alias) +
                      QStringLiteral(")"));
    inputs_->setItem(row, kLabel, label);
    inputs_->setItem(row, kMean, new QTableWidgetItem(digits(means_.box(n))));
    inputs_->setItem(row, kCov, new QTableWidgetItem);
    inputs_->setItem(row, kSd, new QTableWidgetItem);
    auto* dist = new QComboBox(inputs_);
    dist->addItems({distribution_text(mc::Distribution::Normal),
                    distribution_text(mc::Distribution::Lognormal),
                    distribution_text(mc::Distribution::Beta)});
    inputs_->setCellWidget(row, kDistribution, dist);
    inputs_->setItem(row, kRange, fixedItem(digits(f.lo) + "--" + digits(f.hi)));
    inputs_->setItem(row, kSamples, fixedItem(QString()));
    inputs_->setItem(row, kSource, fixedItem(QString()));
    setRowScatter(row, defaults.scatter[static_cast<std::size_t>(n)]);
    connect(dist, &QComboBox::currentIndexChanged, this, [this, row] {
      if (!updating_) refreshRow(row);
    });
  }
  updating_ = false;
  for (int row = 0; row < inputs_->rowCount(); ++row) refreshRow(row);
  // A box the sheet leaves empty takes no part in its calculation under the options chosen
  // (an alternative input, a derivation not used): its row is not shown, and the window says so.
  QStringList unused;
  for (int row = 0; row < inputs_->rowCount(); ++row) {
    const int n = rowBoxes_[static_cast<std::size_t>(row)];
    if (means_.box(n) != 0) continue;
    inputs_->setRowHidden(row, true);
    unused << qs(module_.table().field(sheet::text_box(n))->label);
  }
  if (!unused.isEmpty()) {
    hiddenRows_->setText(QStringLiteral("计算表中未填写的输入不参与计算，未列出：%1。")
                             .arg(unused.join(QStringLiteral("、"))));
  }
  hiddenRows_->setVisible(!unused.isEmpty());
}

QWidget* ReliabilityWindow::buildSettings() {
  auto* box = new QGroupBox(QStringLiteral("计算设置"), this);
  auto* grid = new QGridLayout(box);
  auto edit = [&](const QString& text, const char* name, const QString& tip) {
    auto* e = new QLineEdit(text, box);
    e->setObjectName(QString::fromLatin1(name));
    e->setToolTip(tip);
    // Wide enough for the most samples, 10000000, whatever the font.
    const int digits = e->fontMetrics().horizontalAdvance(QStringLiteral("10000000")) + 16;
    e->setMinimumWidth(digits);
    e->setMaximumWidth(digits + digits / 2);
    return e;
  };
  auto label = [&](const QString& text, int row, int column) {
    grid->addWidget(new QLabel(text, box), row, column);
  };
  samples_ = edit(QStringLiteral("10000"), "samples",
                  QStringLiteral("样本数；有停止准则时为最多的样本数"));
  seed_ = edit(QStringLiteral("1"), "seed",
               QStringLiteral("随机数种子：同样的种子、同样的输入给出同样的结果"));
  stopCov_ = edit(QStringLiteral("0"), "stopCov",
                  QStringLiteral("停止准则：样本按轮次加倍，直到目标年龄时 P(t_d ≤ τ) 的变异系数"
                                 "低于此值，或达到样本数；0 表示不用"));
  targetAge_ = edit(QString(), "targetAge",
                    QStringLiteral("给出 P、标准误差、变异系数和 95% 区间的年龄；空：检测时间"));
  // Three boxes with their labels to a row at most: the window's width at the main window's
  // design size shows every label whole.
  label(QStringLiteral("样本数"), 0, 0);
  grid->addWidget(samples_, 0, 1);
  label(QStringLiteral("随机数种子"), 0, 2);
  grid->addWidget(seed_, 0, 3);
  label(QStringLiteral("目标年龄 τ (a)"), 0, 4);
  grid->addWidget(targetAge_, 0, 5);
  label(QStringLiteral("停止准则 P 的变异系数"), 3, 0);
  grid->addWidget(stopCov_, 3, 1);

  const QString targetTips[] = {
      QStringLiteral("钢筋开始锈蚀（去钝化）的目标可靠指标；fib Bulletin 34 取 1.3"),
      QStringLiteral("保护层开裂（不可逆的正常使用极限状态）的目标可靠指标；EN 1990 取 1.5"),
      QStringLiteral("耐久性终结的目标可靠指标（可编辑）；默认 1.3")};
  const char* const defaultsOfTargets[] = {"1.3", "1.5", "1.3"};
  label(QStringLiteral("目标可靠指标 β"), 1, 0);
  for (int k = 0; k < kTimes; ++k) {
    label(QString::fromLatin1(kTimeShort[k]), 1, 1 + 2 * k);
    targets_[static_cast<std::size_t>(k)] =
        edit(QString::fromLatin1(defaultsOfTargets[k]),
             k == 2 ? "targetBeta" : (k == 0 ? "targetBetaInitiation" : "targetBetaCracking"),
             targetTips[k]);
    grid->addWidget(targets_[static_cast<std::size_t>(k)], 1, 2 + 2 * k);
  }
  const QString modelTip = QStringLiteral(
      "JCSS 概率模型规范：模型不确定性系数服从均值为 1 的对数正态分布；"
      "t_i 的系数乘开始锈蚀前的时间，t_c 的乘开始锈蚀到开裂的时间，t_d 的乘开裂到"
      "耐久性终结的时间；0 表示不用");
  label(QStringLiteral("模型不确定性变异系数"), 2, 0);
  const char* const modelNames[] = {"modelCovInitiation", "modelCovCracking", "modelCovEnd"};
  for (int k = 0; k < kTimes; ++k) {
    label(QString::fromLatin1(kTimeShort[k]), 2, 1 + 2 * k);
    modelCovs_[static_cast<std::size_t>(k)] = edit(QStringLiteral("0"), modelNames[k], modelTip);
    grid->addWidget(modelCovs_[static_cast<std::size_t>(k)], 2, 2 + 2 * k);
  }

  mc::Problem probe;
  probe.module = &module_;
  int column = 0;
  if (probe.hasBinder()) {
    binder_ = new QComboBox(box);
    binder_->setObjectName(QStringLiteral("binder"));
    for (mc::Binder b : {mc::Binder::Portland, mc::Binder::FlyAsh, mc::Binder::Slag}) {
      binder_->addItem(qs(mc::binder_text(b)), static_cast<int>(b));
    }
    binder_->setToolTip(
        QStringLiteral("决定龄期系数（时间依赖系数）的默认离散：fib Bulletin 34 "
                       "的 Beta 分布，硅酸盐水泥 ±0.12，掺粉煤灰 ±0.15，掺矿渣 "
                       "±0.20；选择后该行取新的默认值"));
    label(QStringLiteral("胶凝材料"), 4, column);
    grid->addWidget(binder_, 4, column + 1, 1, 2);
    column += 3;
    connect(binder_, &QComboBox::currentIndexChanged, this, &ReliabilityWindow::binderChanged);
  }
  if (probe.hasVariants()) {
    variant_ = new QComboBox(box);
    variant_->setObjectName(QStringLiteral("variant"));
    variant_->addItem(qs(analysis::variant_text(analysis::InitiationVariant::Crossing)),
                      static_cast<int>(analysis::InitiationVariant::Crossing));
    variant_->addItem(qs(analysis::variant_text(analysis::InitiationVariant::SheetSearch)),
                      static_cast<int>(analysis::InitiationVariant::SheetSearch));
    variant_->setToolTip(
        QStringLiteral("按临界浓度交点（默认）：钢筋处氯离子浓度实际达到临界浓度的年龄（二分到 "
                       "10⁻⁶ a），与初设锈蚀时间无关；按表单算法：计算表的半年步长搜索，浓度与"
                       "临界浓度相差不到 0.5 kg/m³ 即停止，结果随初设锈蚀时间而变"));
    label(QStringLiteral("开始锈蚀时间"), 4, column);
    grid->addWidget(variant_, 4, column + 1, 1, 3);
  }
  grid->setColumnStretch(8, 1);
  return box;
}

void ReliabilityWindow::setRowScatter(int row, const mc::Scatter& s) {
  const bool was = updating_;
  updating_ = true;
  // Beside a deviation the CoV is only its equivalent at the mean: shown as an engineer reads it.
  inputs_->item(row, kCov)->setText(s.sd > 0 ? short_digits(s.cov) : digits(s.cov));
  inputs_->item(row, kSd)->setText(s.sd > 0 ? digits(s.sd) : QString());
  distributionBox(row)->setCurrentIndex(s.dist == mc::Distribution::Lognormal ? 1
                                        : s.dist == mc::Distribution::Beta    ? 2
                                                                              : 0);
  updating_ = was;
}

void ReliabilityWindow::cellChanged(int row, int column) {
  if (updating_) return;
  updating_ = true;
  const double mean =
      sheet::numeric_prefix(inputs_->item(row, kMean)->text().trimmed().toStdString());
  const std::optional<double> sd = typed_number(inputs_->item(row, kSd)->text());
  if (column == kCov) {
    // A coefficient of variation typed replaces an absolute deviation.
    inputs_->item(row, kSd)->setText(QString());
  } else if ((column == kSd || column == kMean) && sd && *sd > 0 && mean > 0) {
    // The CoV shown beside a deviation is its equivalent at the mean.
    inputs_->item(row, kCov)->setText(short_digits(*sd / mean));
  }
  updating_ = false;
  refreshRow(row);
}

void ReliabilityWindow::binderChanged() {
  const sheet::FieldRow* exponent = module_.table().withRole(sheet::BoxRole::AgeingExponent);
  const int row = exponent == nullptr ? -1 : rowOf(sheet::text_box_number(exponent->control));
  if (row < 0 || !binder_) return;
  const auto binder = static_cast<mc::Binder>(binder_->currentData().toInt());
  const double mean =
      sheet::numeric_prefix(inputs_->item(row, kMean)->text().trimmed().toStdString());
  setRowScatter(row, mc::default_scatter(exponent->alias, mean, binder).scatter);
  refreshRow(row);
}

void ReliabilityWindow::refreshRow(int row) {
  const int n = rowBoxes_[static_cast<std::size_t>(row)];
  const sheet::FieldRow& f = *module_.table().field(sheet::text_box(n));
  const double mean =
      sheet::numeric_prefix(inputs_->item(row, kMean)->text().trimmed().toStdString());
  const QString covText = inputs_->item(row, kCov)->text().trimmed();
  const QString sdText = inputs_->item(row, kSd)->text().trimmed();
  mc::Scatter s;
  s.cov = scatter_cell(covText);
  s.sd = scatter_cell(sdText);
  const int dist = distributionBox(row)->currentIndex();
  s.dist = dist == 1   ? mc::Distribution::Lognormal
           : dist == 2 ? mc::Distribution::Beta
                       : mc::Distribution::Normal;
  const mc::Binder binder =
      binder_ ? static_cast<mc::Binder>(binder_->currentData().toInt()) : mc::Binder::Portland;
  const mc::DefaultScatter d = mc::default_scatter(f.alias, mean, binder);

  QTableWidgetItem* samples = inputs_->item(row, kSamples);
  QTableWidgetItem* source = inputs_->item(row, kSource);
  const bool was = updating_;
  updating_ = true;
  samples->setForeground(palette().text());
  samples->setToolTip(QString());
  const bool valid = std::isfinite(s.cov) && std::isfinite(s.sd) && s.cov >= 0 && s.sd >= 0;
  if (!valid || !s.scatters()) {
    samples->setText(valid ? QStringLiteral("定值") : QStringLiteral("—"));
  } else if (mean > 0 && f.lo <= mean && mean <= f.hi && !mc::scatter_problem(mean, s)) {
    const mc::TruncationEffect e = mc::truncation_effect(mean, s, f.lo, f.hi);
    samples->setText(short_digits(e.truncatedMean) + QStringLiteral("，") +
                     fixed(e.truncatedCov, 3));
    if (e.warn()) {
      samples->setForeground(QColor(170, 30, 0));
      samples->setToolTip(
          e.meanMoves ? QStringLiteral("均值在范围端点，样本均值只能向内移动（要求变异系数 %1）")
                            .arg(fixed(e.cov, 3))
                      : QStringLiteral("在 %1--%2 之间保持均值时变异系数不能更大（要求 %3）")
                            .arg(digits(f.lo), digits(f.hi), fixed(e.cov, 3)));
    }
  } else {
    samples->setText(QStringLiteral("—"));
  }
  // The default as the cells show it: a deviation (the CoV beside it is only its equivalent),
  // or a CoV with the deviation's cell empty.
  const bool asDefault = d.source != nullptr && s.dist == d.scatter.dist &&
                         (d.scatter.sd > 0 ? sdText == digits(d.scatter.sd)
                                           : sdText.isEmpty() && covText == digits(d.scatter.cov));
  if (!s.scatters() && valid) {
    source->setText(QString());
    source->setToolTip(d.source ? QStringLiteral("默认离散：") + qs(d.source->chinese) : QString());
  } else if (asDefault) {
    source->setText(source_name(*d.source));
    source->setToolTip(qs(d.source->chinese));
  } else {
    source->setText(QStringLiteral("输入"));
    source->setToolTip(d.source ? QStringLiteral("默认离散：") + qs(d.source->chinese) : QString());
  }
  inputs_->item(row, kLabel)->setData(Qt::UserRole, asDefault);
  updating_ = was;
}

int ReliabilityWindow::rowOf(int box) const {
  const auto it = std::find(rowBoxes_.begin(), rowBoxes_.end(), box);
  return it == rowBoxes_.end() ? -1 : static_cast<int>(it - rowBoxes_.begin());
}

bool ReliabilityWindow::setScatter(int box, const mc::Scatter& scatter, const QString& source) {
  const int row = rowOf(box);
  if (row < 0) return false;
  QTableWidgetItem* cov = inputs_->item(row, kCov);
  cov->setText(digits(scatter.cov));
  cov->setToolTip(source);
  distributionBox(row)->setCurrentIndex(scatter.dist == mc::Distribution::Lognormal ? 1 : 0);
  return true;
}

QComboBox* ReliabilityWindow::distributionBox(int row) const {
  return qobject_cast<QComboBox*>(inputs_->cellWidget(row, kDistribution));
}

bool ReliabilityWindow::isRunning() const {
  return run_ != nullptr;
}

int ReliabilityWindow::sheet() const {
  return module_.table().number;
}

std::optional<mc::Problem> ReliabilityWindow::problemFromTable(mc::RunSettings& settings) {
  mc::Problem p;
  p.module = &module_;
  p.base = means_;
  if (binder_) p.binder = static_cast<mc::Binder>(binder_->currentData().toInt());
  if (variant_) {
    p.variant = static_cast<analysis::InitiationVariant>(variant_->currentData().toInt());
  }
  for (int row = 0; row < inputs_->rowCount(); ++row) {
    const auto n = static_cast<std::size_t>(rowBoxes_[static_cast<std::size_t>(row)]);
    p.base.value[n] = sheet::numeric_prefix(inputs_->item(row, kMean)->text().toStdString());
    p.scatter[n].cov = scatter_cell(inputs_->item(row, kCov)->text());
    p.scatter[n].sd = scatter_cell(inputs_->item(row, kSd)->text());
    const int dist = distributionBox(row)->currentIndex();
    p.scatter[n].dist = dist == 1   ? mc::Distribution::Lognormal
                        : dist == 2 ? mc::Distribution::Beta
                                    : mc::Distribution::Normal;
  }
  for (int k = 0; k < kTimes; ++k) {
    p.modelUncertainty.cov[static_cast<std::size_t>(k)] =
        number_or(*modelCovs_[static_cast<std::size_t>(k)], 0);
  }
  // A sample count that is no whole number is 0, which the checks of the run refuse.
  settings.samples = typed_count(samples_->text()).value_or(0);
  const std::optional<std::uint64_t> seed = typed_count(seed_->text());
  settings.seed = seed.value_or(0);
  if (!seed) {
    dialogs_.showWarning(this, kInputCheckTitle,
                         QStringLiteral("随机数种子必须是不小于 0 的整数!"));
    seed_->setFocus();
    return std::nullopt;
  }
  settings.targetBetaInitiation = number_or(*targets_[0], std::nan(""));
  settings.targetBetaCracking = number_or(*targets_[1], std::nan(""));
  settings.targetBeta = number_or(*targets_[2], std::nan(""));
  settings.stopCov = number_or(*stopCov_, 0);
  if (!targetAge_->text().trimmed().isEmpty()) {
    settings.targetAge = number_or(*targetAge_, std::nan(""));
  }

  if (const auto error = mc::validate(p, settings)) {
    dialogs_.showWarning(this, kInputCheckTitle, qs(error->text));
    using Kind = mc::ProblemError::Kind;
    auto firstNotNumber = [](const std::array<QLineEdit*, kTimes>& edits, bool negativeToo) {
      for (QLineEdit* e : edits) {
        const double v = number_or(*e, 0);
        if (!std::isfinite(v) || (negativeToo && v < 0)) return e;
      }
      return edits[0];
    };
    switch (error->kind) {
      case Kind::SampleCount:
        samples_->setFocus();
        break;
      case Kind::TargetBeta:
        firstNotNumber(targets_, false)->setFocus();
        break;
      case Kind::TargetAge:
        targetAge_->setFocus();
        break;
      case Kind::StopCov:
        stopCov_->setFocus();
        break;
      case Kind::ModelFactor:
        firstNotNumber(modelCovs_, true)->setFocus();
        break;
      default:
        if (const int row = rowOf(error->box); row >= 0) {
          const bool covCell = error->kind == Kind::NegativeCov || error->kind == Kind::EmptyBox;
          inputs_->setCurrentCell(row, covCell ? kCov : kMean);
          inputs_->setFocus();
        }
        break;
    }
    return std::nullopt;
  }
  return p;
}

void ReliabilityWindow::calculate() {
  if (run_) return;
  mc::RunSettings settings;
  auto problem = problemFromTable(settings);
  if (!problem) return;
  std::optional<update::Measurements> measurements;
  if (updateSwitch_->isChecked()) {
    measurements = measurementsToUse();
    if (!measurements) return;
  }
  cancelNote_.clear();
  run_ = std::make_unique<Run>();
  run_->problem = std::move(*problem);
  run_->settings = settings;
  if (measurements) run_->record = typedRecord_;
  run_->measurements = std::move(measurements);
  progress_->setRange(0, static_cast<int>(settings.samples));
  progress_->setValue(0);
  setRunning(true);
  showReport();
  Run* run = run_.get();
  run_->thread = std::make_unique<BackgroundRun>(
      this, [run] { run->compute(); }, [this](const QString& error) { runFinished(error); },
      [this, run] { progress_->setValue(static_cast<int>(run->control.done.load())); });
}

void ReliabilityWindow::cancel() {
  if (run_) run_->control.cancel = true;
}

void ReliabilityWindow::runFinished(const QString& error) {
  std::unique_ptr<Run> run = std::move(run_);
  run->thread.reset();
  setRunning(false);
  const QString previous = report_ ? QStringLiteral("下面仍是上一次完成的计算（%1 个样本）的结果。")
                                         .arg(report_->summary.samples)
                                   : QStringLiteral("尚无完成的计算结果。");
  if (!error.isEmpty() || !run->refusal.isEmpty()) {
    cancelNote_ = (error.isEmpty() ? QStringLiteral("按检测数据更新未能运行。")
                                   : QStringLiteral("计算失败。")) +
                  previous;
    dialogs_.showWarning(this, QString::fromUtf8(kReliabilityTitle),
                         error.isEmpty() ? run->refusal : error);
  } else if (run->cancelled || !run->report) {
    cancelNote_ = QStringLiteral("已取消，完成 %1 / %2 个样本，未得出结果；")
                      .arg(run->control.done.load())
                      .arg(run->settings.samples) +
                  previous;
    // The bar starts afresh: the part of a run that gave no result is no progress.
    progress_->setRange(0, 1);
    progress_->setValue(0);
  } else {
    report_ = std::move(run->report);
    updated_ = std::move(run->updated);
    updatedRecord_.reset();
    if (updated_) {
      updatedRecord_ = run->record;
      updatedRecord_->last = update::outcome_record(*updated_);
    }
    handedOver_ = false;
    runMeans_ = run->problem.base;
    runOrder_ = next_run_order();
    progress_->setValue(progress_->maximum());
    if (tabs_->currentIndex() == 0) tabs_->setCurrentIndex(1);  // the results, now there are some
  }
  showReport();
  emit runEnded();
}

void ReliabilityWindow::setRunning(bool running) {
  calculate_->setEnabled(!running);
  cancel_->setEnabled(running);
  export_->setEnabled(!running && report_.has_value());
  reportButton_->setEnabled(!running && report_.has_value());
  inputs_->setEnabled(!running);
  for (QLineEdit* e : {samples_, seed_, stopCov_, targetAge_}) e->setEnabled(!running);
  for (QLineEdit* e : targets_) e->setEnabled(!running);
  for (QLineEdit* e : modelCovs_) e->setEnabled(!running);
  if (binder_) binder_->setEnabled(!running);
  if (variant_) variant_->setEnabled(!running);
  updateSwitch_->setEnabled(!running);
  for (QLineEdit* e : {depthReadings_, depthAge_, depthCov_, profileSd_, corrosionDepth_,
                       corrosionSd_, crackWidth_, crackSd_}) {
    e->setEnabled(!running);
  }
}

void ReliabilityWindow::showReport() {
  const mc::Summary* summary = report_ ? &report_->summary : nullptr;
  draw_probability_chart(*static_cast<QChartView*>(probabilityChart_)->chart(), summary);
  draw_beta_chart(*static_cast<QChartView*>(betaChart_)->chart(), summary);
  draw_tornado_chart(*static_cast<QChartView*>(tornadoChart_)->chart(),
                     report_ ? &*report_ : nullptr);
  export_->setEnabled(report_.has_value() && !run_);
  reportButton_->setEnabled(report_.has_value() && !run_);
  showUpdate();

  QString status;
  if (run_) {
    status = QStringLiteral("正在计算 %1 个样本……").arg(run_->settings.samples);
    if (report_) status += QStringLiteral("下面是上一次完成的计算的结果。");
  } else if (!cancelNote_.isEmpty()) {
    status = cancelNote_;
  }
  if (!report_) {
    status_->setText(status);
    warnings_->clear();
    warnings_->hide();
    fill_table(*atTarget_, {});
    fill_table(*percentiles_, {});
    fill_table(*stops_, {});
    return;
  }
  const mc::Report& r = *report_;
  const mc::Summary& s = r.summary;
  if (!status.isEmpty()) status += QLatin1Char(' ');
  status += QStringLiteral(
                "样本 %1（种子 %2）：计算到底 %3；永远达不到极限状态 %4（按未失效计）；"
                "模型无法跟踪 %5、计算前检查拒绝 %6（偏于安全：按最早可能失效的年龄计为"
                "失效）。")
                .arg(s.samples)
                .arg(r.settings.seed)
                .arg(s.done)
                .arg(s.survived)
                .arg(s.stopped)
                .arg(s.rejected);
  if (s.hasVariants) {
    status += QStringLiteral("开始锈蚀时间：") + qs(analysis::variant_text(s.variant)) +
              QStringLiteral("。");
  }
  if (s.stopCov > 0) {
    status +=
        s.stoppedByRule
            ? QStringLiteral("停止准则（变异系数 < %1）已满足。").arg(s.stopCov)
            : QStringLiteral("停止准则（变异系数 < %1）在最多样本数内未满足。").arg(s.stopCov);
  }
  if (updated_) {
    status += updated_->diagnostics.passed
                  ? QStringLiteral(
                        "已按检测数据更新（诊断通过）：“结果”和前三幅图为先验，"
                        "对比见“先验与后验”和“更新图表”。")
                  : QStringLiteral("已按检测数据更新，但诊断未通过：后验结果不可靠，不据以评级。");
  }
  status_->setText(status);

  // An update's own warnings first: a run below its diagnostics is said before anything else.
  std::vector<std::string> lines =
      updated_ ? update::warning_lines(*updated_) : std::vector<std::string>{};
  for (auto& line : mc::warning_lines(r)) lines.push_back(std::move(line));
  QStringList warnings;
  for (const auto& line : lines) warnings << qs(line).toHtmlEscaped();
  warnings_->setText(warnings.join(QStringLiteral("<br>")));
  warnings_->setVisible(!warnings.isEmpty());

  auto withNames = [](QList<QStringList> rows, const QStringList& names) {
    for (int i = 0; i < rows.size() && i < names.size(); ++i) rows[i].prepend(names[i]);
    return rows;
  };
  const QStringList times = {qs(kTimeNames[0]), qs(kTimeNames[1]), qs(kTimeNames[2]),
                             QStringLiteral("剩余寿命")};
  atTarget_->horizontalHeaderItem(0)->setText(
      QStringLiteral("时间（τ = %1 a）").arg(short_digits(s.atTarget.age)));
  fill_table(*atTarget_, withNames(at_target_cells(s), times));
  // An index below its target stands out.
  for (std::size_t i = 0; i < mc::kTimes; ++i) {
    QTableWidgetItem* beta = atTarget_->item(static_cast<int>(i), atTarget_->columnCount() - 1);
    if (beta != nullptr && below_target(s, i)) beta->setForeground(QColor(176, 32, 32));
  }
  fill_table(*percentiles_, withNames(percentile_cells(s), times));
  fill_table(*stops_, stop_cells(r));
}

void ReliabilityWindow::exportCsv() {
  if (!report_ || run_) return;
  const auto path = dialogs_.chooseSaveFile(
      this, QStringLiteral("导出CSV"), QStringLiteral("*.csv"), QStringLiteral("csv"),
      SaveMode::Replace,
      file_name_of({qs(module_.table().menuCaption).section(QStringLiteral("(&"), 0, 0),
                    QString::fromUtf8(kReliabilityTitle)}) +
          QStringLiteral(".csv"));
  if (!path) return;
  std::ostringstream csv;
  if (updated_) {
    update::write_update_csv(csv, *updated_);
  } else {
    mc::write_csv(csv, report_->summary);
  }
  QString error;
  if (!write_whole_file(*path, QByteArray::fromStdString(csv.str()), &error)) {
    dialogs_.showWarning(this, QString::fromUtf8(kReliabilityTitle), error);
    return;
  }
  handedOver_ = true;
  status_->setText(status_->text() + QLatin1Char('\n') + written_to(*path));
}

QStringList ReliabilityWindow::unsavedWork() const {
  if (run_) return {QStringLiteral("正在计算（将取消计算）")};
  if (hasUnsavedRun()) return {QStringLiteral("有已完成、尚未导出CSV也未写入报告的计算结果")};
  return {};
}

void ReliabilityWindow::closeEvent(QCloseEvent* event) {
  QString question;
  QStringList answers;
  if (closeAgreed_) {
    // Asked for already, with the other windows.
  } else if (run_) {
    question = QStringLiteral("可靠度分析正在计算。关闭窗口将取消计算，结果不保留。");
    answers = {QStringLiteral("取消计算并关闭"), QStringLiteral("继续")};
  } else if (hasUnsavedRun()) {
    question = QStringLiteral(
        "本窗口有已完成、尚未导出CSV也未写入报告的计算结果。"
        "关闭窗口后这些结果不保留。");
    answers = {QStringLiteral("关闭"), QStringLiteral("取消")};
  }
  if (!question.isEmpty() &&
      dialogs_.ask(this, QString::fromUtf8(kReliabilityTitle), question, answers, 1) != 0) {
    event->ignore();
    return;
  }
  if (run_) run_->control.cancel = true;
  event->accept();
}

}  // namespace pellucor::shell
