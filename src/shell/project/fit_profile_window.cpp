#include "shell/project/fit_profile_window.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <cmath>
#include <optional>

#include "analysis/inspect/export.hpp"
#include "analysis/project/project.hpp"
#include "modules/registry.hpp"
#include "shell/charts/fit_chart.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/safe_file.hpp"
#include "shell/kit/text.hpp"
#include "shell/kit/window_kit.hpp"
#include "shell/project/fit_readings.hpp"

namespace pellucor::shell {

namespace inspect = analysis::inspect;
namespace project = analysis::project;

namespace {

const QString kTitle = QString::fromUtf8(kProfileFitTitle);
constexpr std::string_view kConstantSheet = "chloride-constant";

// The value of a field: empty is `empty`, a text that is not a number NaN (the fit says why).
double field_value(const QLineEdit* e, double empty = 0) {
  const std::string text = e->text().toStdString();
  if (e->text().trimmed().isEmpty()) return empty;
  double v = 0;
  return inspect::reading_value(text, v) ? v : NAN;
}

QString field_text(double v) {
  return std::isfinite(v) && v != 0 ? qs(inspect::shortest(v)) : QString();
}

QChartView* chart_view(const char* name) {
  auto* view = new QChartView(new QChart);
  view->setObjectName(QString::fromLatin1(name));
  view->setRenderHint(QPainter::Antialiasing);
  view->setMinimumSize(300, 220);
  return view;
}

int constant_sheet_number() {
  return modules::find_module(kConstantSheet)->table().number;
}

}  // namespace

FitProfileWindow::FitProfileWindow(ProjectSession& session, ProjectSession::MemberId member,
                                   QWidget* parent)
    : QWidget(parent), session_(session), member_(member) {
  setObjectName(QStringLiteral("profileFitWindow"));

  // The core.
  cores_ = new QComboBox(this);
  cores_->setObjectName(QStringLiteral("cores"));
  coreName_ = new QLineEdit(this);
  coreName_->setObjectName(QStringLiteral("coreName"));
  addCore_ = new QPushButton(QStringLiteral("新芯样(&K)"), this);
  addCore_->setObjectName(QStringLiteral("addCore"));
  removeCore_ = new QPushButton(QStringLiteral("删除芯样(&Y)"), this);
  removeCore_->setObjectName(QStringLiteral("removeCore"));
  auto* coreRow = new QHBoxLayout;
  coreRow->addWidget(new QLabel(QStringLiteral("芯样"), this));
  coreRow->addWidget(cores_, 1);
  coreRow->addWidget(new QLabel(QStringLiteral("名称"), this));
  coreRow->addWidget(coreName_, 1);
  coreRow->addWidget(addCore_);
  coreRow->addWidget(removeCore_);

  // The options.
  age_ = new QLineEdit(this);
  age_->setObjectName(QStringLiteral("age"));
  unit_ = new QComboBox(this);
  unit_->setObjectName(QStringLiteral("unit"));
  unit_->addItems({QStringLiteral("kg/m³ 混凝土"), QStringLiteral("占混凝土质量 %"),
                   QStringLiteral("占胶凝材料质量 %")});
  density_ = new QLineEdit(this);
  density_->setObjectName(QStringLiteral("density"));
  binder_ = new QLineEdit(this);
  binder_->setObjectName(QStringLiteral("binder"));
  background_ = new QComboBox(this);
  background_->setObjectName(QStringLiteral("background"));
  background_->addItems(
      {QStringLiteral("取 0"), QStringLiteral("给定值"), QStringLiteral("作为参数拟合")});
  backgroundValue_ = new QLineEdit(this);
  backgroundValue_->setObjectName(QStringLiteral("backgroundValue"));
  leaveOut_ = new QCheckBox(QStringLiteral("最外层不参与回归(&L)"), this);
  leaveOut_->setObjectName(QStringLiteral("leaveOutFirstLayer"));
  leaveOut_->setChecked(true);
  minPoints_ = new QSpinBox(this);
  minPoints_->setObjectName(QStringLiteral("minimumPoints"));
  minPoints_->setRange(inspect::kFewestPointsAllowed, 100);
  minPoints_->setValue(6);
  auto* options = new QGroupBox(QStringLiteral("取样与约定"), this);
  auto* form = new QFormLayout(options);
  form->addRow(QStringLiteral("取样时的暴露龄期 t (a)"), age_);
  form->addRow(QStringLiteral("氯离子含量单位"), unit_);
  form->addRow(QStringLiteral("混凝土密度 (kg/m³)"), density_);
  form->addRow(QStringLiteral("胶凝材料用量 (kg/m³)"), binder_);
  auto* bg = new QHBoxLayout;
  bg->addWidget(background_);
  bg->addWidget(backgroundValue_);
  form->addRow(QStringLiteral("背景氯离子含量 C_i"), bg);
  form->addRow(leaveOut_);
  form->addRow(QStringLiteral("回归至少点数"), minPoints_);

  table_ = new ReadingsTable(
      inspect::kProfileColumns,
      {QStringLiteral("深度\n(mm)"), QStringLiteral("含量"), QStringLiteral("换算\n(kg/m³)"),
       QStringLiteral("拟合\n(kg/m³)"), QStringLiteral("残差\n(kg/m³)"), QStringLiteral("回归")},
      this);
  const QStringList headerTips = {
      QStringLiteral("磨层中点距暴露面的深度 (mm)"), QStringLiteral("氯离子含量（所选单位）"),
      QStringLiteral("换算为 kg/m³ 的含量"),         QStringLiteral("拟合曲线在该深度的值 (kg/m³)"),
      QStringLiteral("实测 - 拟合 (kg/m³)"),         QStringLiteral("该点是否参与回归")};
  for (int c = 0; c < headerTips.size(); ++c) {
    table_->horizontalHeaderItem(c)->setToolTip(headerTips[c]);
  }
  table_->setToolTip(
      QStringLiteral("深度取各磨层中点距暴露面的距离 (mm)，由表面向内增大；可由电子表格复制后"
                     "按 Ctrl+V 粘贴"));

  fitButton_ = new QPushButton(QStringLiteral("拟合(&F)"), this);
  fitButton_->setObjectName(QStringLiteral("fit"));
  toSheet_ = new QPushButton(QStringLiteral("送入计算表(&S)"), this);
  toSheet_->setObjectName(QStringLiteral("toSheet"));
  toSheet_->setToolTip(
      QStringLiteral("把检测龄期、扩散系数 D (cm²/a) 与表面氯浓度 C_s 输入"
                     "“渗氯盐_常系数”计算表"));
  toReliability_ = new QPushButton(QStringLiteral("送入可靠度分析(&R)"), this);
  toReliability_->setObjectName(QStringLiteral("toReliability"));
  toReliability_->setToolTip(
      QStringLiteral("以 D 与 C_s 的标准误差/估计值作为可靠度分析中两者的变异系数"));
  export_ = new QPushButton(QStringLiteral("导出(&O)…"), this);
  export_->setObjectName(QStringLiteral("export"));
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {fitButton_, toSheet_, toReliability_, export_}) buttons->addWidget(b);
  buttons->addStretch();

  estimates_ = new QTableWidget(0, 6, this);
  estimates_->setObjectName(QStringLiteral("estimates"));
  estimates_->setHorizontalHeaderLabels({QStringLiteral("参数"), QStringLiteral("估计值"),
                                         QStringLiteral("标准\n误差"), QStringLiteral("95%\n下限"),
                                         QStringLiteral("95%\n上限"), QStringLiteral("单位")});
  estimates_->verticalHeader()->hide();
  estimates_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Each column as wide as its widest value (a stretched column cuts "-0.003872" short).
  estimates_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  estimates_->horizontalHeader()->setSectionResizeMode(5, QHeaderView::Stretch);
  // The header and the four estimates, without a scroll bar (the height is set again to the
  // rows as drawn when they are filled).
  estimates_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  estimates_->setMinimumHeight(estimates_->horizontalHeader()->sizeHint().height() +
                               4 * estimates_->verticalHeader()->defaultSectionSize() + 4);
  estimates_->setMaximumHeight(estimates_->minimumHeight());
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("summary"));
  summary_->setWordWrap(true);
  notes_ = new QLabel(this);
  notes_->setObjectName(QStringLiteral("notes"));
  notes_->setWordWrap(true);
  notes_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  status_->setWordWrap(true);
  profileChart_ = chart_view("profileChart");
  residualChart_ = chart_view("residualChart");

  auto* left = new QVBoxLayout;
  left->addLayout(coreRow);
  left->addWidget(options);
  left->addWidget(table_, 1);
  left->addLayout(buttons);
  auto* right = new QVBoxLayout;
  // The charts one at a time, each with the room there is; the notes on a tab of their own.
  charts_ = new QTabWidget(this);
  charts_->setObjectName(QStringLiteral("charts"));
  charts_->addTab(profileChart_, QStringLiteral("剖面与拟合曲线"));
  charts_->addTab(residualChart_, QStringLiteral("残差"));
  auto* notesPage = new QScrollArea(this);
  notesPage->setWidget(notes_);
  notesPage->setWidgetResizable(true);
  charts_->addTab(notesPage, QStringLiteral("说明"));
  right->addWidget(estimates_);
  right->addWidget(summary_);
  right->addWidget(charts_, 1);
  auto* top = new QHBoxLayout;
  top->addLayout(left, 1);
  top->addLayout(right, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addWidget(status_);

  for (QLineEdit* e : {age_, density_, binder_, backgroundValue_}) {
    connect(e, &QLineEdit::textEdited, this, &FitProfileWindow::edited);
  }
  connect(coreName_, &QLineEdit::textEdited, this, &FitProfileWindow::edited);
  for (QComboBox* c : {unit_, background_}) {
    connect(c, &QComboBox::currentIndexChanged, this, [this] {
      updateEnabled();
      edited();
    });
  }
  connect(leaveOut_, &QCheckBox::toggled, this, &FitProfileWindow::edited);
  connect(minPoints_, &QSpinBox::valueChanged, this, &FitProfileWindow::edited);
  connect(table_, &ReadingsTable::edited, this, &FitProfileWindow::edited);
  connect(table_, &ReadingsTable::pasteMessage, status_, &QLabel::setText);
  connect(cores_, &QComboBox::activated, this, &FitProfileWindow::showCore);
  connect(addCore_, &QPushButton::clicked, this, [this] {
    const auto* m = session_.member(member_);
    if (m == nullptr) return;
    const int n = static_cast<int>(m->inspection.profiles.size());
    session_.updateMember(member_, [n](project::Member& target) {
      project::ProfileRecord r;
      r.name = "芯样 " + std::to_string(n + 1);
      target.inspection.profiles.push_back(r);
    });
    buildCores();
    showCore(n);
  });
  connect(removeCore_, &QPushButton::clicked, this, [this] {
    const auto* m = session_.member(member_);
    if (m == nullptr || core_ < 0) return;
    const QString name = qs(m->inspection.profiles[static_cast<std::size_t>(core_)].name);
    if (session_.mainWindow().dialogs().ask(
            this, kTitle, QStringLiteral("删除芯样“%1”及其读数与拟合结果？").arg(name),
            {QStringLiteral("删除"), QStringLiteral("取消")}, 1) != 0) {
      return;
    }
    const int core = core_;
    session_.updateMember(member_, [core](project::Member& target) {
      auto& p = target.inspection.profiles;
      p.erase(p.begin() + core);
    });
    buildCores();
    showCore(std::max(0, core - 1));
  });
  connect(fitButton_, &QPushButton::clicked, this, &FitProfileWindow::fitProfile);
  connect(toSheet_, &QPushButton::clicked, this, &FitProfileWindow::sendToSheet);
  connect(toReliability_, &QPushButton::clicked, this, &FitProfileWindow::sendToReliability);
  connect(export_, &QPushButton::clicked, this, &FitProfileWindow::exportFit);
  connect(&session_, &ProjectSession::projectChanged, this, &FitProfileWindow::retitle);

  buildCores();
  showCore(0);
  resize(1100, 760);
}

void FitProfileWindow::retitle() {
  const auto* m = session_.member(member_);
  if (m == nullptr) return;
  const QString title = kTitle + QStringLiteral(" — ") + qs(m->name);
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->setWindowTitle(title);
  setWindowTitle(title);
}

void FitProfileWindow::buildCores() {
  const auto* m = session_.member(member_);
  cores_->clear();
  if (m == nullptr) return;
  for (const auto& p : m->inspection.profiles) cores_->addItem(qs(p.name));
  if (m->inspection.profiles.empty()) cores_->addItem(QStringLiteral("芯样 1"));
}

void FitProfileWindow::showCore(int index) {
  const auto* m = session_.member(member_);
  if (m == nullptr) return;
  const auto& profiles = m->inspection.profiles;
  filling_ = true;
  if (index >= 0 && index < static_cast<int>(profiles.size())) {
    core_ = index;
    const project::ProfileRecord& r = profiles[static_cast<std::size_t>(index)];
    coreName_->setText(qs(r.name));
    age_->setText(field_text(r.input.ageYears));
    unit_->setCurrentIndex(static_cast<int>(r.input.unit));
    density_->setText(field_text(r.input.densityKgM3));
    binder_->setText(field_text(r.input.binderKgM3));
    background_->setCurrentIndex(static_cast<int>(r.input.background));
    backgroundValue_->setText(r.input.background == inspect::Background::Given
                                  ? qs(inspect::shortest(r.input.backgroundValue))
                                  : QString());
    leaveOut_->setChecked(r.input.leaveOutFirstLayer);
    minPoints_->setValue(r.input.minimumPoints);
    table_->setValues({r.input.depthMm, r.input.chloride});
  } else {
    // A member without a profile yet: the first is kept once something is typed; the age
    // starts from the member's inspection age.
    core_ = -1;
    coreName_->setText(QStringLiteral("芯样 1"));
    age_->setText(member_number(session_, member_, "age"));
    table_->setValues({});
  }
  cores_->setCurrentIndex(std::max(0, core_));
  filling_ = false;
  updateEnabled();
  fit_.reset();
  showFit();
  status_->clear();
  // The last fit kept with the profile is made again, to show its residuals and charts.
  if (core_ >= 0 && profiles[static_cast<std::size_t>(core_)].fit) {
    const auto again = inspect::fit_profile(profiles[static_cast<std::size_t>(core_)].input);
    if (again.ok()) {
      fit_ = *again;
      fitted_ = profiles[static_cast<std::size_t>(core_)].input;
      showFit();
      updateEnabled();  // its commands as after the fit itself
    } else {
      status_->setText(QStringLiteral("工程中保存的拟合结果无法由这些数据重现：") +
                       qs(again.refusal().text));
    }
  }
}

void FitProfileWindow::updateEnabled() {
  density_->setEnabled(unit_->currentIndex() == 1);
  binder_->setEnabled(unit_->currentIndex() == 2);
  backgroundValue_->setEnabled(background_->currentIndex() == 1);
  // A fit that does not determine its parameters hands nothing on and writes nothing.
  const bool usable = fit_.has_value() && fit_->determined();
  toSheet_->setEnabled(usable);
  toReliability_->setEnabled(usable);
  export_->setEnabled(usable);
  removeCore_->setEnabled(core_ >= 0);
}

inspect::ProfileInput FitProfileWindow::input() const {
  inspect::ProfileInput in;
  const auto values = table_->values();
  in.depthMm = values[0];
  in.chloride = values[1];
  in.unit = static_cast<inspect::ChlorideUnit>(unit_->currentIndex());
  in.densityKgM3 = field_value(density_);
  in.binderKgM3 = field_value(binder_);
  in.ageYears = field_value(age_);
  in.background = static_cast<inspect::Background>(background_->currentIndex());
  in.backgroundValue =
      in.background == inspect::Background::Given ? field_value(backgroundValue_, NAN) : 0.0;
  in.leaveOutFirstLayer = leaveOut_->isChecked();
  in.minimumPoints = minPoints_->value();
  return in;
}

void FitProfileWindow::edited() {
  if (filling_) return;
  const inspect::ProfileInput in = input();
  const std::string name = coreName_->text().toStdString();
  if (core_ < 0) {
    const auto* m = session_.member(member_);
    if (m == nullptr) return;
    core_ = static_cast<int>(m->inspection.profiles.size());
    session_.updateMember(member_, [&](project::Member& target) {
      target.inspection.profiles.push_back({name, in, std::nullopt});
    });
  } else {
    const int core = core_;
    session_.updateMember(member_, [&](project::Member& target) {
      auto& r = target.inspection.profiles[static_cast<std::size_t>(core)];
      r.name = name;
      if (r.input != in) {
        r.input = in;
        r.fit.reset();  // the fit kept no longer belongs to these data
      }
    });
  }
  if (cores_->currentIndex() >= 0) cores_->setItemText(cores_->currentIndex(), coreName_->text());
  if (fit_ && fitted_ != in) {
    clearFit(QStringLiteral("读数或选项已修改，原拟合结果已清除；请重新拟合。"));
  }
  updateEnabled();
}

void FitProfileWindow::clearFit(const QString& status) {
  fit_.reset();
  showFit();
  status_->setText(status);
  updateEnabled();
}

bool FitProfileWindow::fitProfile() {
  const auto readings =
      inspect::read_readings(table_->rows(), inspect::kProfileColumns, false, "row");
  if (!readings) {
    session_.mainWindow().dialogs().showWarning(this, kTitle, qs(readings.refusal().text));
    return false;
  }
  edited();  // what is fitted is what the project keeps
  inspect::ProfileInput in = input();
  in.depthMm = readings->columns[0];
  in.chloride = readings->columns[1];
  const auto fit = inspect::fit_profile(in);
  if (!fit) {
    clearFit(qs(fit.refusal().text));
    showReadings();  // the points as read, so that the one at fault can be seen
    session_.mainWindow().dialogs().showWarning(this, kTitle, qs(fit.refusal().text));
    return false;
  }
  fit_ = *fit;
  fitted_ = input();
  const int core = core_;
  // The project keeps a fit only where the data determine it.
  std::optional<project::FitRecord> record;
  if (fit_->determined()) record = project::record_of(*fit_);
  session_.updateMember(member_, [&](project::Member& target) {
    target.inspection.profiles[static_cast<std::size_t>(core)].fit = record;
  });
  status_->clear();
  showFit();
  updateEnabled();
  if (!fit_->determined()) {
    session_.mainWindow().dialogs().showWarning(this, kTitle, status_->text());
    return false;
  }
  return true;
}

void FitProfileWindow::showFit() {
  estimates_->setRowCount(0);
  table_->clearResults();
  summary_->clear();
  notes_->clear();
  if (!fit_) {
    analysis::curves::Chart empty;
    empty.title = "氯离子剖面拟合";
    empty.xName = "距表面深度";
    empty.xUnit = "mm";
    empty.yName = "氯离子含量";
    empty.yUnit = "kg/m^3";
    show_fit_chart(*profileChart_, empty, {});
    empty.title = "拟合残差";
    empty.yName = "残差";
    show_fit_chart(*residualChart_, empty, {});
    return;
  }
  const inspect::ProfileFit& f = *fit_;
  // An end of an interval the data leave open has no number; a parameter with such an end
  // is not determined and shows no value.
  const auto end_text = [](double v) {
    return std::isfinite(v) ? number_text(v) : QStringLiteral("无界");
  };
  auto addRow = [this, &end_text](const QString& name, const inspect::Estimate* e, double value,
                                  const QString& unit, const inspect::OpenEnds& open) {
    const int r = estimates_->rowCount();
    estimates_->insertRow(r);
    const QStringList cells = {
        name,
        open.any() ? QStringLiteral("无法确定") : number_text(e != nullptr ? e->value : value),
        e != nullptr && !open.any() ? number_text(e->standardError, 3) : QStringLiteral("—"),
        e != nullptr ? (open.below ? QStringLiteral("无界") : end_text(e->lower))
                     : QStringLiteral("—"),
        e != nullptr ? (open.above ? QStringLiteral("无界") : end_text(e->upper))
                     : QStringLiteral("—"),
        unit};
    for (int c = 0; c < cells.size(); ++c)
      estimates_->setItem(r, c, new QTableWidgetItem(cells[c]));
  };
  const inspect::Estimate cm2{f.diffusion.value / 100, f.diffusion.standardError / 100,
                              f.diffusion.lower / 100, f.diffusion.upper / 100};
  addRow(QStringLiteral("C_s"), &f.surface, 0, QStringLiteral("kg/m³"), f.surfaceOpen);
  addRow(QStringLiteral("D_a"), &f.diffusion, 0, QStringLiteral("mm²/a"), f.diffusionOpen);
  addRow(QStringLiteral("D_a"), &cm2, 0, QStringLiteral("cm²/a"), f.diffusionOpen);
  addRow(QStringLiteral("C_i"), f.background ? &*f.background : nullptr, f.backgroundUsed,
         QStringLiteral("kg/m³"), f.backgroundOpen);
  const QStringList tips = {QStringLiteral("表面氯离子含量"), QStringLiteral("表观扩散系数"),
                            QStringLiteral("表观扩散系数（计算表的单位）"),
                            !f.background ? QStringLiteral("背景氯离子含量（取定，非拟合）")
                            : f.backgroundAtBound
                                ? QStringLiteral("背景氯离子含量（拟合，取其下限 0）")
                                : QStringLiteral("背景氯离子含量（拟合）")};
  for (int r = 0; r < estimates_->rowCount(); ++r) estimates_->item(r, 0)->setToolTip(tips[r]);
  // Every estimate in view: the header (two lines) and the rows as they are drawn now.
  int height =
      estimates_->horizontalHeader()->sizeHint().height() + 2 * estimates_->frameWidth() + 2;
  for (int r = 0; r < estimates_->rowCount(); ++r) height += estimates_->rowHeight(r);
  estimates_->setFixedHeight(std::max(height, estimates_->minimumHeight()));
  summary_->setText(QStringLiteral("R² = %1，残差标准差 = %2 kg/m³，参与回归 %3 点，参数 %4 个，"
                                   "t(0.975, %5) = %6，迭代 %7 次")
                        .arg(number_text(f.rSquared, 5), number_text(f.residualSd, 3))
                        .arg(f.pointsUsed)
                        .arg(f.parameters)
                        .arg(f.pointsUsed - f.parameters)
                        .arg(number_text(f.tQuantile, 4))
                        .arg(f.iterations));
  QStringList notes;
  for (const auto& n : f.notes) notes << qs(n.zh);
  notes_->setText(notes.join(QLatin1Char('\n')));
  // What the data do not determine, where the user looks first.
  QStringList verdict;
  for (const auto& v : f.verdict) verdict << qs(v.zh);
  // Said before sending: a value the sheet's range will not take.
  if (f.determined()) {
    const QStringList refused =
        refused_by_sheet(inspect::constant_sheet_transfer(f), constant_sheet_number());
    if (!refused.isEmpty()) {
      verdict << QStringLiteral("计算表“%1”不接受 %2；送入时可只送入其余的值。")
                     .arg(qs(modules::find_module(kConstantSheet)->table().caption),
                          refused.join(QStringLiteral("，")));
    }
  }
  if (!verdict.isEmpty()) status_->setText(verdict.join(QLatin1Char('\n')));
  // The residual of every point beside it. The rows that hold readings, in order.
  std::size_t k = 0;
  const auto rows = table_->rows();
  for (const auto& row : rows) {
    bool any = false;
    for (const auto& c : row.cells) any = any || !QString::fromStdString(c).trimmed().isEmpty();
    if (!any || k >= f.points.size()) continue;
    const auto& p = f.points[k++];
    const int r = static_cast<int>(row.row) - 1;
    table_->setResult(r, 2, number_text(p.observed, 5));
    table_->setResult(r, 3, number_text(p.fitted, 5));
    table_->setResult(r, 4, number_text(p.residual, 3));
    table_->setResult(r, 5, p.used ? QStringLiteral("是") : QStringLiteral("否"));
  }
  const auto pc = inspect::profile_chart(f);
  std::vector<bool> points(pc.series.size(), true);
  points[0] = false;  // the fitted curve
  show_fit_chart(*profileChart_, pc, points);
  const auto rc = inspect::residual_chart(f);
  show_fit_chart(*residualChart_, rc, std::vector<bool>(rc.series.size(), true));
}

void FitProfileWindow::showReadings() {
  analysis::curves::Chart c;
  c.title = "氯离子剖面（读数，未拟合）";
  c.xName = "距表面深度";
  c.xUnit = "mm";
  c.yName = "氯离子含量";
  c.yUnit = unit_->currentIndex() == 0 ? "kg/m^3" : "%";
  analysis::curves::Series points{"读数", {}};
  const auto values = table_->values();
  for (std::size_t i = 0; i < values[0].size() && i < values[1].size(); ++i) {
    if (std::isfinite(values[0][i]) && std::isfinite(values[1][i])) {
      points.points.push_back({values[0][i], values[1][i]});
    }
  }
  c.series.push_back(std::move(points));
  show_fit_chart(*profileChart_, c, {true});
}

bool FitProfileWindow::sendToSheet() {
  if (!fit_) return false;
  const auto sent = send_to_sheet(session_, member_, constant_sheet_number(),
                                  inspect::constant_sheet_transfer(*fit_), this, kTitle);
  if (!sent) return false;
  keep_with_member(session_, member_, *sent, false);
  return true;
}

bool FitProfileWindow::sendToReliability() {
  if (!fit_) return false;
  const auto* m = session_.member(member_);
  const QString source = QStringLiteral("由氯离子剖面拟合的标准误差（%1）")
                             .arg(m != nullptr ? qs(m->name) : QString());
  const auto sent = send_to_sheet(session_, member_, constant_sheet_number(),
                                  inspect::constant_sheet_transfer(*fit_), this, kTitle);
  if (!sent) return false;
  keep_with_member(session_, member_, *sent, true);
  return open_reliability(session_, *sent, source, this, kTitle) != nullptr;
}

bool FitProfileWindow::exportFit() {
  if (!fit_) return false;
  const auto* m = session_.member(member_);
  const auto path = session_.mainWindow().dialogs().chooseSaveFile(
      this, QStringLiteral("导出拟合结果"), QStringLiteral("CSV (*.csv);;JSON (*.json)"),
      QStringLiteral("csv"), SaveMode::Replace,
      file_name_of(
          {m != nullptr ? qs(m->name) : QString(), coreName_->text(), QStringLiteral("剖面拟合")}) +
          QStringLiteral(".csv"));
  if (!path) return false;
  const bool json = path->endsWith(QStringLiteral(".json"), Qt::CaseInsensitive);
  const std::string bytes =
      json ? inspect::profile_json(fitted_, *fit_) : inspect::profile_csv(*fit_);
  QString error;
  if (!write_whole_file(*path, QByteArray::fromStdString(bytes), &error)) {
    session_.mainWindow().dialogs().showWarning(this, kTitle, error);
    return false;
  }
  status_->setText(written_to(*path));
  return true;
}

FitProfileWindow* FitProfileWindow::show(ProjectSession& session, ProjectSession::MemberId member) {
  MainWindow& main = session.mainWindow();
  for (QMdiSubWindow* sub : main.mdiArea()->subWindowList()) {
    auto* w = qobject_cast<FitProfileWindow*>(sub->widget());
    if (w != nullptr && w->member() == member) {
      activate_child(w);
      return w;
    }
  }
  if (session.member(member) == nullptr) return nullptr;
  auto* w = new FitProfileWindow(session, member);
  main.addChildWindow(w, QString());
  w->retitle();
  // The window belongs to a member of this project.
  QObject::connect(&session, &ProjectSession::projectReplaced, w, [w] {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) sub->close();
  });
  QObject::connect(&session, &ProjectSession::projectChanged, w, [w, &session] {
    if (session.member(w->member()) != nullptr) return;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) sub->close();
  });
  return w;
}

}  // namespace pellucor::shell
