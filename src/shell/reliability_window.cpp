#include "shell/reliability_window.hpp"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "analysis/mc/engine.hpp"
#include "analysis/mc/summary.hpp"
#include "sheet/number_form.hpp"
#include "sheet/numeric.hpp"
#include "shell/background_run.hpp"
#include "shell/chart_builder.hpp"
#include "shell/dialogs.hpp"
#include "shell/safe_file.hpp"

namespace pellucor::shell {

namespace mc = analysis::mc;

namespace {

QString qs(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString digits(double v) {
  return qs((v < 0 ? "-" : "") + sheet::general_digits(std::fabs(v), 15));
}

const QString kTitleInput = QStringLiteral("输入验证");
const QString kNormal = QStringLiteral("正态");
const QString kLognormal = QStringLiteral("对数正态");
const char* const kTimeNames[] = {"钢筋开始锈蚀 t_i", "保护层开裂 t_c", "耐久性终结 t_d"};

QChartView* make_chart_view() {
  auto* view = new QChartView(new QChart);
  view->setRenderHint(QPainter::Antialiasing);
  view->setMinimumSize(360, 260);
  return view;
}

// Numbers completed runs in the order they end, over all reliability windows.
std::uint64_t next_run_order() {
  static std::uint64_t order = 0;
  return ++order;
}

}  // namespace

// One run: what the worker thread computes, and the thread. The worker writes `report` and
// `cancelled`; the window reads them once the run has told it that it ended.
struct ReliabilityWindow::Run {
  mc::Problem problem;
  mc::RunSettings settings;
  mc::RunControl control;
  std::optional<mc::Report> report;
  bool cancelled = false;
  std::unique_ptr<BackgroundRun> thread;  // last: goes first, after the cancel

  void compute() {
    const mc::Samples samples = mc::run_samples(problem, settings, &control);
    cancelled = samples.cancelled;
    if (!cancelled) {
      report = mc::make_report(problem, settings, mc::summarize(samples, settings.targetBeta));
    }
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
  inputs_->setHorizontalHeaderLabels({QStringLiteral("输入"), QStringLiteral("名称"),
                                      QStringLiteral("均值"), QStringLiteral("变异系数"),
                                      QStringLiteral("分布"), QStringLiteral("截断范围")});
  inputs_->verticalHeader()->hide();
  buildInputTable(means);
  inputs_->resizeColumnsToContents();
  layout->addWidget(inputs_, 3);

  auto* settings = new QHBoxLayout;
  auto addEdit = [&](const QString& label, const QString& text, const char* name) {
    settings->addWidget(new QLabel(label, this));
    auto* edit = new QLineEdit(text, this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaximumWidth(110);
    settings->addWidget(edit);
    return edit;
  };
  samples_ = addEdit(QStringLiteral("样本数"), QStringLiteral("10000"), "samples");
  seed_ = addEdit(QStringLiteral("随机数种子"), QStringLiteral("1"), "seed");
  target_ = addEdit(QStringLiteral("目标可靠指标 β"), QStringLiteral("1.3"), "targetBeta");
  calculate_ = new QPushButton(QStringLiteral("计算"), this);
  calculate_->setObjectName(QStringLiteral("calculate"));
  cancel_ = new QPushButton(QStringLiteral("取消"), this);
  cancel_->setObjectName(QStringLiteral("cancel"));
  export_ = new QPushButton(QStringLiteral("导出CSV"), this);
  export_->setObjectName(QStringLiteral("exportCsv"));
  settings->addWidget(calculate_);
  settings->addWidget(cancel_);
  settings->addWidget(export_);
  reportButton_ = new QPushButton(QStringLiteral("报告"), this);
  reportButton_->setObjectName(QStringLiteral("report"));
  reportButton_->setToolTip(QStringLiteral("写出计算表的PDF报告，含本次可靠度分析"));
  settings->addWidget(reportButton_);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  settings->addWidget(progress_, 1);
  layout->addLayout(settings);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  layout->addWidget(status_);

  auto* results = new QHBoxLayout;
  probabilityChart_ = make_chart_view();
  probabilityChart_->setObjectName(QStringLiteral("probabilityChart"));
  betaChart_ = make_chart_view();
  betaChart_->setObjectName(QStringLiteral("betaChart"));
  results->addWidget(probabilityChart_, 1);
  results->addWidget(betaChart_, 1);
  layout->addLayout(results, 4);

  percentiles_ = new QTableWidget(4, 4, this);
  percentiles_->setObjectName(QStringLiteral("percentileTable"));
  percentiles_->setHorizontalHeaderLabels({QStringLiteral("5% (a)"), QStringLiteral("50% (a)"),
                                           QStringLiteral("95% (a)"),
                                           QStringLiteral("β 低于目标的年龄 (a)")});
  percentiles_->setVerticalHeaderLabels(
      {qs(kTimeNames[0]), qs(kTimeNames[1]), qs(kTimeNames[2]), QStringLiteral("剩余寿命")});
  percentiles_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  percentiles_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  layout->addWidget(percentiles_, 2);

  connect(calculate_, &QPushButton::clicked, this, &ReliabilityWindow::calculate);
  connect(cancel_, &QPushButton::clicked, this, &ReliabilityWindow::cancel);
  connect(export_, &QPushButton::clicked, this, &ReliabilityWindow::exportCsv);
  connect(reportButton_, &QPushButton::clicked, this, &ReliabilityWindow::reportRequested);
  setRunning(false);
  showReport();
  resize(980, 820);
}

ReliabilityWindow::~ReliabilityWindow() = default;

void ReliabilityWindow::buildInputTable(const sheet::SheetInputs& means) {
  const mc::Problem defaults = mc::with_defaults(module_, means);
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
    inputs_->setItem(row, kLabel, fixedItem(qs(f.label)));
    inputs_->setItem(row, kName,
                     fixedItem(qs(sheet::control_name(f.control)) + " (" + qs(f.alias) + ")"));
    inputs_->setItem(row, kMean, new QTableWidgetItem(digits(means.box(n))));
    const mc::Scatter& s = defaults.scatter[static_cast<std::size_t>(n)];
    inputs_->setItem(row, kCov, new QTableWidgetItem(digits(s.cov)));
    auto* dist = new QComboBox(inputs_);
    dist->addItems({kNormal, kLognormal});
    dist->setCurrentIndex(s.dist == mc::Distribution::Lognormal ? 1 : 0);
    inputs_->setCellWidget(row, kDistribution, dist);
    inputs_->setItem(row, kRange, fixedItem(digits(f.lo) + "--" + digits(f.hi)));
  }
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
  for (int row = 0; row < inputs_->rowCount(); ++row) {
    const auto n = static_cast<std::size_t>(rowBoxes_[static_cast<std::size_t>(row)]);
    p.base.value[n] = sheet::numeric_prefix(inputs_->item(row, kMean)->text().toStdString());
    bool ok = false;
    const QString covText = inputs_->item(row, kCov)->text().trimmed();
    const double cov = covText.isEmpty() ? 0.0 : covText.toDouble(&ok);
    p.scatter[n].cov = covText.isEmpty() || ok ? cov : std::nan("");
    p.scatter[n].dist = distributionBox(row)->currentIndex() == 1 ? mc::Distribution::Lognormal
                                                                  : mc::Distribution::Normal;
  }
  bool ok = false;
  settings.samples = samples_->text().trimmed().toULongLong(&ok);
  if (!ok) settings.samples = 0;
  settings.seed = seed_->text().trimmed().toULongLong(&ok);
  if (!ok) {
    dialogs_.showWarning(this, kTitleInput, QStringLiteral("随机数种子必须是不小于 0 的整数!"));
    seed_->setFocus();
    return std::nullopt;
  }
  settings.targetBeta = target_->text().trimmed().toDouble(&ok);
  if (!ok) settings.targetBeta = std::nan("");

  if (const auto error = mc::validate(p, settings)) {
    dialogs_.showWarning(this, kTitleInput, qs(error->text));
    using Kind = mc::ProblemError::Kind;
    if (error->kind == Kind::SampleCount) {
      samples_->setFocus();
    } else if (error->kind == Kind::TargetBeta) {
      target_->setFocus();
    } else if (const int row = rowOf(error->box); row >= 0) {
      const bool covCell = error->kind == Kind::NegativeCov || error->kind == Kind::EmptyBox;
      inputs_->setCurrentCell(row, covCell ? kCov : kMean);
      inputs_->setFocus();
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
  report_.reset();
  runMeans_.reset();
  showReport();
  run_ = std::make_unique<Run>();
  run_->problem = std::move(*problem);
  run_->settings = settings;
  progress_->setRange(0, static_cast<int>(settings.samples));
  progress_->setValue(0);
  status_->setText(QStringLiteral("正在计算 %1 个样本……").arg(settings.samples));
  setRunning(true);
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
  if (!error.isEmpty()) {
    status_->setText(QStringLiteral("计算失败。"));
    dialogs_.showWarning(this, QString::fromUtf8(kReliabilityTitle), error);
  } else if (run->cancelled || !run->report) {
    status_->setText(QStringLiteral("已取消，完成 %1 / %2 个样本。")
                         .arg(run->control.done.load())
                         .arg(run->settings.samples));
  } else {
    report_ = std::move(run->report);
    runMeans_ = run->problem.base;
    runOrder_ = next_run_order();
    progress_->setValue(progress_->maximum());
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
  samples_->setEnabled(!running);
  seed_->setEnabled(!running);
  target_->setEnabled(!running);
}

void ReliabilityWindow::showReport() {
  const mc::Summary* summary = report_ ? &report_->summary : nullptr;
  draw_probability_chart(*static_cast<QChartView*>(probabilityChart_)->chart(), summary);
  draw_beta_chart(*static_cast<QChartView*>(betaChart_)->chart(), summary);
  for (int r = 0; r < percentiles_->rowCount(); ++r) {
    for (int c = 0; c < percentiles_->columnCount(); ++c) {
      percentiles_->setItem(r, c, new QTableWidgetItem(QString()));
    }
  }
  export_->setEnabled(report_.has_value() && !run_);
  reportButton_->setEnabled(report_.has_value() && !run_);
  if (!report_) return;
  const mc::Summary& s = report_->summary;
  status_->setText(QStringLiteral("样本 %1：计算到底 %2；合理性停止：模型中 %3，一致性检查 %4"
                                  "（不计入概率）。")
                       .arg(s.samples)
                       .arg(s.done)
                       .arg(s.stopped)
                       .arg(s.rejected));
  const QList<QStringList> cells = percentile_cells(s);
  for (int r = 0; r < cells.size() && r < percentiles_->rowCount(); ++r) {
    for (int c = 0; c < cells[r].size() && c < percentiles_->columnCount(); ++c) {
      percentiles_->item(r, c)->setText(cells[r][c]);
    }
  }
}

void ReliabilityWindow::exportCsv() {
  if (!report_ || run_) return;
  const auto path =
      dialogs_.chooseSaveFile(this, QStringLiteral("导出CSV"), QStringLiteral("*.csv"),
                              QStringLiteral("csv"), SaveMode::Replace);
  if (!path) return;
  std::ostringstream csv;
  mc::write_csv(csv, report_->summary);
  QString error;
  if (!write_whole_file(*path, QByteArray::fromStdString(csv.str()), &error)) {
    dialogs_.showWarning(this, QString::fromUtf8(kReliabilityTitle), error);
  }
}

namespace {

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

QString age_text(double age) {
  return QString::number(age, 'f', 2);
}

}  // namespace

void draw_probability_chart(QChart& chart, const mc::Summary* summary) {
  reset_chart(chart, QStringLiteral("概率 P(t ≤ τ)"));
  if (!summary || summary->curve.empty()) return;
  const mc::Summary& s = *summary;
  auto* x = add_axis(chart, QStringLiteral("年龄 τ (a)"), 0, s.curve.back().age, Qt::AlignBottom);
  auto* y = add_axis(chart, QStringLiteral("P"), 0, 1, Qt::AlignLeft);
  for (std::size_t i = 0; i < mc::kTimes; ++i) {
    auto* p = new QLineSeries;
    p->setName(qs(kTimeNames[i]));
    for (const auto& point : s.curve) p->append(point.age, point.p[i]);
    chart.addSeries(p);
    p->attachAxis(x);
    p->attachAxis(y);
  }
}

void draw_beta_chart(QChart& chart, const mc::Summary* summary) {
  reset_chart(chart, QStringLiteral("可靠指标 β(τ)"));
  if (!summary || summary->curve.empty()) return;
  const mc::Summary& s = *summary;
  const double top = s.curve.back().age;
  double lo = s.targetBeta, hi = s.targetBeta;
  for (const auto& point : s.curve) {
    for (double b : point.beta) {
      if (std::isfinite(b)) {
        lo = std::min(lo, b);
        hi = std::max(hi, b);
      }
    }
  }
  auto* x = add_axis(chart, QStringLiteral("年龄 τ (a)"), 0, top, Qt::AlignBottom);
  auto* y = add_axis(chart, QStringLiteral("β"), std::floor(lo - 0.5), std::ceil(hi + 0.5),
                     Qt::AlignLeft);
  for (std::size_t i = 0; i < mc::kTimes; ++i) {
    auto* b = new QLineSeries;
    b->setName(qs(kTimeNames[i]));
    for (const auto& point : s.curve) {
      // An index is finite only where the probability lies strictly between 0 and 1.
      if (std::isfinite(point.beta[i])) b->append(point.age, point.beta[i]);
    }
    chart.addSeries(b);
    b->attachAxis(x);
    b->attachAxis(y);
  }
  auto* target = new QLineSeries;
  target->setName(QStringLiteral("目标 β = %1").arg(s.targetBeta));
  target->append(0, s.targetBeta);
  target->append(top, s.targetBeta);
  QPen pen(Qt::DashLine);
  pen.setColor(Qt::red);
  target->setPen(pen);
  chart.addSeries(target);
  target->attachAxis(x);
  target->attachAxis(y);
}

QList<QStringList> percentile_cells(const mc::Summary& s) {
  QList<QStringList> rows;
  for (std::size_t i = 0; i < s.percentiles.size(); ++i) {
    QStringList row(4);
    if (const auto& p = s.percentiles[i]) {
      row[0] = age_text(p->p5);
      row[1] = age_text(p->p50);
      row[2] = age_text(p->p95);
    }
    if (i < s.targetAge.size()) {
      const auto& age = s.targetAge[i];
      row[3] = age ? age_text(*age) : QStringLiteral("未达到");
    }
    rows.append(row);
  }
  return rows;
}

ReportSection reliability_section(const mc::Report& r, QStringList notes) {
  const mc::Summary& s = r.summary;
  ReportSection section;
  section.title = QString::fromUtf8(kReliabilityTitle);

  ReportTable& inputs = section.table;
  inputs.caption = QStringLiteral("输入参数的离散性");
  inputs.header = {QStringLiteral("输入参数"), QStringLiteral("均值"), QStringLiteral("变异系数"),
                   QStringLiteral("分布"), QStringLiteral("截断范围")};
  for (const mc::ReportInput& in : r.inputs) {
    const bool scatters = in.scatter.cov > 0;
    inputs.rows.append(
        {qs(in.label), digits(in.mean), digits(in.scatter.cov),
         scatters ? (in.scatter.dist == mc::Distribution::Lognormal ? kLognormal : kNormal)
                  : QStringLiteral("定值"),
         scatters ? digits(in.lo) + QStringLiteral("--") + digits(in.hi) : QString()});
  }

  ReportTable settings;
  settings.caption = QStringLiteral("计算设置与样本");
  settings.header = {QStringLiteral("项目"), QStringLiteral("数值")};
  settings.rows = {
      {QStringLiteral("样本数"), QString::number(r.settings.samples)},
      {QStringLiteral("随机数种子"), QString::number(r.settings.seed)},
      {QStringLiteral("目标可靠指标 β"), QString::number(s.targetBeta)},
      {QStringLiteral("计算到底的样本"), QString::number(s.done)},
      {QStringLiteral("合理性停止：模型中"), QString::number(s.stopped)},
      {QStringLiteral("合理性停止：一致性检查"), QString::number(s.rejected)},
  };
  section.tables.push_back(std::move(settings));

  ReportTable percentiles;
  percentiles.caption = QStringLiteral("分位值与 β 低于目标的年龄");
  percentiles.header = {QStringLiteral("时间"), QStringLiteral("5% (a)"), QStringLiteral("50% (a)"),
                        QStringLiteral("95% (a)"), QStringLiteral("β 低于目标的年龄 (a)")};
  const QList<QStringList> cells = percentile_cells(s);
  const QString names[] = {qs(kTimeNames[0]), qs(kTimeNames[1]), qs(kTimeNames[2]),
                           QStringLiteral("剩余寿命")};
  for (int i = 0; i < cells.size() && i < 4; ++i) {
    QStringList row = cells[i];
    for (QString& cell : row) {
      if (cell.isEmpty()) cell = QStringLiteral("—");
    }
    row.prepend(names[i]);
    percentiles.rows.append(row);
  }
  section.tables.push_back(std::move(percentiles));

  // The report owns a copy of the summary for its charts.
  auto summary = std::make_shared<const mc::Summary>(s);
  section.charts.push_back([summary] {
    auto* chart = new QChart;
    draw_probability_chart(*chart, summary.get());
    return chart;
  });
  section.charts.push_back([summary] {
    auto* chart = new QChart;
    draw_beta_chart(*chart, summary.get());
    return chart;
  });

  notes << QStringLiteral("概率与分位值只计入计算到底的 %1 个样本；合理性停止的样本单独计数。")
               .arg(s.done);
  section.notes = std::move(notes);
  return section;
}

}  // namespace pellucor::shell
