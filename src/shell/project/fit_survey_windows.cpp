#include "shell/project/fit_survey_windows.hpp"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "analysis/inspect/export.hpp"
#include "analysis/project/project.hpp"
#include "modules/registry.hpp"
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

QString law_name(analysis::mc::Distribution d) {
  return d == analysis::mc::Distribution::Lognormal ? QStringLiteral("对数正态")
                                                    : QStringLiteral("正态");
}

QString percent(double share) {
  return number_text(share * 100, 3) + QStringLiteral(" %");
}

}  // namespace

// ---- What both windows share ----------------------------------------------------------------

SurveyWindow::SurveyWindow(ProjectSession& session, ProjectSession::MemberId member,
                           const QString& title, std::span<const inspect::ReadingColumn> columns,
                           QStringList headers, const QString& fieldLabel)
    : session_(session), member_(member), title_(title) {
  field_ = new QLineEdit(this);
  field_->setObjectName(QStringLiteral("field"));
  table_ = new ReadingsTable(columns, std::move(headers), this);
  table_->setToolTip(QStringLiteral("每行一个读数；可由电子表格复制后按 Ctrl+V 粘贴"));
  calculate_ = new QPushButton(QStringLiteral("计算(&F)"), this);
  calculate_->setObjectName(QStringLiteral("calculate"));
  toSheet_ = new QPushButton(QStringLiteral("送入计算表(&S)"), this);
  toSheet_->setObjectName(QStringLiteral("toSheet"));
  toReliability_ = new QPushButton(QStringLiteral("送入可靠度分析(&R)"), this);
  toReliability_->setObjectName(QStringLiteral("toReliability"));
  export_ = new QPushButton(QStringLiteral("导出(&O)…"), this);
  export_->setObjectName(QStringLiteral("export"));
  results_ = new QTableWidget(0, 3, this);
  results_->setObjectName(QStringLiteral("results"));
  results_->setHorizontalHeaderLabels(
      {QStringLiteral("量"), QStringLiteral("值"), QStringLiteral("单位")});
  results_->verticalHeader()->hide();
  results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The names in full ("Anderson–Darling（对数正态）A*² / p"), the values in the room left.
  results_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  results_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  results_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  notes_ = new QLabel(this);
  notes_->setObjectName(QStringLiteral("notes"));
  notes_->setWordWrap(true);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  status_->setWordWrap(true);

  auto* form = new QFormLayout;
  form->addRow(fieldLabel, field_);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {calculate_, toSheet_, toReliability_, export_}) buttons->addWidget(b);
  buttons->addStretch();
  auto* left = new QVBoxLayout;
  left->addLayout(form);
  left->addWidget(table_, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(results_, 1);
  right->addWidget(notes_);
  auto* top = new QHBoxLayout;
  top->addLayout(left, 2);
  top->addLayout(right, 3);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(buttons);
  layout->addWidget(status_);

  connect(field_, &QLineEdit::textEdited, this, &SurveyWindow::edited);
  connect(table_, &ReadingsTable::edited, this, &SurveyWindow::edited);
  connect(table_, &ReadingsTable::pasteMessage, status_, &QLabel::setText);
  connect(calculate_, &QPushButton::clicked, this, [this] { calculate(); });
  connect(toSheet_, &QPushButton::clicked, this, &SurveyWindow::sendToSheet);
  connect(toReliability_, &QPushButton::clicked, this, &SurveyWindow::sendToReliability);
  connect(export_, &QPushButton::clicked, this, &SurveyWindow::exportResult);
  connect(&session_, &ProjectSession::projectChanged, this, &SurveyWindow::retitle);
  updateEnabled(false);
  resize(820, 560);
}

void SurveyWindow::retitle() {
  const auto* m = session_.member(member_);
  if (m == nullptr) return;
  const QString title = title_ + QStringLiteral(" — ") + qs(m->name);
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->setWindowTitle(title);
  setWindowTitle(title);
}

double SurveyWindow::fieldValue(double empty) const {
  if (field_->text().trimmed().isEmpty()) return empty;
  double v = 0;
  return inspect::reading_value(field_->text().toStdString(), v) ? v : NAN;
}

void SurveyWindow::addResult(const QString& name, const QString& value, const QString& unit) {
  const int r = results_->rowCount();
  results_->insertRow(r);
  results_->setItem(r, 0, new QTableWidgetItem(name));
  results_->setItem(r, 1, new QTableWidgetItem(value));
  results_->setItem(r, 2, new QTableWidgetItem(unit));
}

void SurveyWindow::clearResults() {
  results_->setRowCount(0);
  notes_->clear();
  table_->clearResults();
}

void SurveyWindow::setNotes(const std::vector<analysis::text::Bilingual>& notes) {
  QStringList lines;
  for (const auto& n : notes) lines << qs(n.zh);
  notes_->setText(lines.join(QLatin1Char('\n')));
}

void SurveyWindow::refuse(const QString& text) {
  clearResults();
  status_->setText(text);
  updateEnabled(false);
  if (!quiet_) session_.mainWindow().dialogs().showWarning(this, title_, text);
}

void SurveyWindow::calculateQuietly() {
  quiet_ = true;
  calculate();
  quiet_ = false;
}

void SurveyWindow::updateEnabled(bool computed) {
  toSheet_->setEnabled(computed);
  toReliability_->setEnabled(computed);
  export_->setEnabled(computed);
  // Said before sending: a value the sheet's range will not take.
  const auto t = computed ? transfer() : std::nullopt;
  const QStringList refused = t ? refused_by_sheet(*t, targetSheet()) : QStringList();
  if (!refused.isEmpty()) {
    const int sheet = targetSheet();
    status_->setText(
        QStringLiteral("计算表“%1”不接受 %2；送入时可只送入其余的值。")
            .arg(
                qs(modules::all_modules().at(static_cast<std::size_t>(sheet - 1))->table().caption),
                refused.join(QStringLiteral("，"))));
  }
}

void SurveyWindow::edited() {
  if (filling_) return;
  store();
  if (stale()) {
    drop();
    clearResults();
    updateEnabled(false);
    status_->setText(QStringLiteral("读数已修改，原计算结果已清除；请重新计算。"));
  }
}

bool SurveyWindow::sendToSheet() {
  const auto t = transfer();
  if (!t) return false;
  const auto sent = send_to_sheet(session_, member_, targetSheet(), *t, this, title_);
  if (!sent) return false;
  keep_with_member(session_, member_, *sent, false);
  return true;
}

bool SurveyWindow::sendToReliability() {
  const auto t = transfer();
  if (!t) return false;
  const auto* m = session_.member(member_);
  const QString source =
      QStringLiteral("由%1的读数（%2）").arg(title_, m != nullptr ? qs(m->name) : QString());
  const auto sent = send_to_sheet(session_, member_, targetSheet(), *t, this, title_);
  if (!sent) return false;
  keep_with_member(session_, member_, *sent, true);
  return open_reliability(session_, *sent, source, this, title_) != nullptr;
}

bool SurveyWindow::exportResult() {
  if (!transfer()) return false;
  const auto* m = session_.member(member_);
  const auto path = session_.mainWindow().dialogs().chooseSaveFile(
      this, QStringLiteral("导出结果"), QStringLiteral("CSV (*.csv);;JSON (*.json)"),
      QStringLiteral("csv"), SaveMode::Replace,
      file_name_of({m != nullptr ? qs(m->name) : QString(), title_}) + QStringLiteral(".csv"));
  if (!path) return false;
  const bool json = path->endsWith(QStringLiteral(".json"), Qt::CaseInsensitive);
  QString error;
  if (!write_whole_file(*path, QByteArray::fromStdString(json ? exportJson() : exportCsv()),
                        &error)) {
    session_.mainWindow().dialogs().showWarning(this, title_, error);
    return false;
  }
  status_->setText(written_to(*path));
  return true;
}

template <class W>
W* show_survey_window(ProjectSession& session, ProjectSession::MemberId member) {
  MainWindow& main = session.mainWindow();
  for (QMdiSubWindow* sub : main.mdiArea()->subWindowList()) {
    auto* w = qobject_cast<W*>(sub->widget());
    if (w != nullptr && w->member() == member) {
      activate_child(w);
      return w;
    }
  }
  if (session.member(member) == nullptr) return nullptr;
  auto* w = new W(session, member);
  main.addChildWindow(w, QString());
  w->retitle();
  QObject::connect(&session, &ProjectSession::projectReplaced, w, [w] {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) sub->close();
  });
  QObject::connect(&session, &ProjectSession::projectChanged, w, [w, &session] {
    if (session.member(w->member()) != nullptr) return;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) sub->close();
  });
  return w;
}

// ---- Carbonation depths -----------------------------------------------------------------------

CarbonationWindow::CarbonationWindow(ProjectSession& session, ProjectSession::MemberId member,
                                     QWidget* parent)
    : SurveyWindow(session, member, QString::fromUtf8(kCarbonationSurveyTitle),
                   inspect::kCarbonationColumns,
                   {QStringLiteral("碳化深度 (mm)"), QStringLiteral("k = x/√t (mm/√a)")},
                   QStringLiteral("检测龄期 t (a)")) {
  setObjectName(QStringLiteral("carbonationWindow"));
  setParent(parent);
  toSheet_->setToolTip(
      QStringLiteral("把检测龄期与平均碳化深度输入“碳化”计算表（实测碳化深度框）"));
  toReliability_->setToolTip(QStringLiteral("以读数的变异系数作为实测碳化深度的变异系数"));
  load();
  if (session_.member(member_)->inspection.carbonation) calculateQuietly();
}

inspect::CarbonationInput CarbonationWindow::input() const {
  const auto values = table_->values();
  return {values[0], fieldValue(0)};
}

void CarbonationWindow::store() {
  const inspect::CarbonationInput in = input();
  session_.updateMember(member_, [&](project::Member& m) { m.inspection.carbonation = in; });
}

void CarbonationWindow::load() {
  const auto* m = session_.member(member_);
  if (m == nullptr) return;
  survey_.reset();
  clearResults();
  updateEnabled(false);
  if (!m->inspection.carbonation) {
    // New readings start from the member's inspection age.
    filling_ = true;
    field_->setText(member_number(session_, member_, "age"));
    filling_ = false;
    return;
  }
  const inspect::CarbonationInput& in = *m->inspection.carbonation;
  if (input() != in) {
    filling_ = true;
    field_->setText(std::isfinite(in.ageYears) && in.ageYears != 0
                        ? qs(inspect::shortest(in.ageYears))
                        : QString());
    table_->setValues({in.depthMm});
    filling_ = false;
  }
}

bool CarbonationWindow::calculate() {
  const auto r = inspect::read_readings(table_->rows(), inspect::kCarbonationColumns, false, "row");
  if (!r) {
    refuse(qs(r.refusal().text));
    return false;
  }
  const inspect::CarbonationInput in{r->columns[0], fieldValue(0)};
  const auto s = inspect::survey_carbonation(in);
  if (!s) {
    refuse(qs(s.refusal().text));
    return false;
  }
  store();
  survey_ = *s;
  surveyed_ = in;
  clearResults();
  status_->clear();
  const auto& v = *survey_;
  addResult(QStringLiteral("读数个数"), QString::number(v.depth.n));
  addResult(QStringLiteral("平均碳化深度"), number_text(v.depth.mean), QStringLiteral("mm"));
  addResult(QStringLiteral("碳化深度标准差"), number_text(v.depth.sd, 3), QStringLiteral("mm"));
  addResult(QStringLiteral("碳化深度变异系数"), number_text(v.depth.cov(), 3));
  addResult(QStringLiteral("最小 / 最大"),
            number_text(v.depth.min) + QStringLiteral(" / ") + number_text(v.depth.max),
            QStringLiteral("mm"));
  addResult(QStringLiteral("平均碳化系数 k"), number_text(v.k.mean), QStringLiteral("mm/√a"));
  addResult(QStringLiteral("k 的标准差"), number_text(v.k.sd, 3), QStringLiteral("mm/√a"));
  addResult(QStringLiteral("k 均值的 95% 区间"),
            number_text(v.kMeanInterval.lower) + QStringLiteral(" -- ") +
                number_text(v.kMeanInterval.upper),
            QStringLiteral("mm/√a"));
  addResult(QStringLiteral("读数为 0 的点"), QString::number(v.zeroReadings));
  setNotes(v.notes);
  // k beside each reading.
  int k = 0;
  for (const auto& row : table_->rows()) {
    if (QString::fromStdString(row.cells[0]).trimmed().isEmpty() ||
        k >= static_cast<int>(in.depthMm.size())) {
      continue;
    }
    table_->setResult(
        static_cast<int>(row.row) - 1, 1,
        number_text(in.depthMm[static_cast<std::size_t>(k++)] / std::sqrt(in.ageYears)));
  }
  updateEnabled(true);
  return true;
}

std::optional<inspect::SheetTransfer> CarbonationWindow::transfer() const {
  if (!survey_ || input() != surveyed_) return std::nullopt;
  return inspect::carbonation_sheet_transfer(*survey_);
}

int CarbonationWindow::targetSheet() const {
  return modules::find_module("carbonation")->table().number;
}

std::string CarbonationWindow::exportCsv() const {
  return inspect::carbonation_csv(*survey_);
}

std::string CarbonationWindow::exportJson() const {
  return inspect::carbonation_json(surveyed_, *survey_);
}

CarbonationWindow* CarbonationWindow::show(ProjectSession& session,
                                           ProjectSession::MemberId member) {
  return show_survey_window<CarbonationWindow>(session, member);
}

// ---- Cover thicknesses ------------------------------------------------------------------------

CoverWindow::CoverWindow(ProjectSession& session, ProjectSession::MemberId member, QWidget* parent)
    : SurveyWindow(session, member, QString::fromUtf8(kCoverSurveyTitle), inspect::kCoverColumns,
                   {QStringLiteral("保护层厚度 (mm)")},
                   QStringLiteral("设计保护层厚度 (mm，可不填)")) {
  setObjectName(QStringLiteral("coverWindow"));
  setParent(parent);
  toSheet_->setToolTip(QStringLiteral("把平均保护层厚度输入构件的计算表"));
  toReliability_->setToolTip(
      QStringLiteral("以读数的变异系数与拟合较好的分布作为保护层厚度的离散性"));
  load();
  if (session_.member(member_)->inspection.cover) calculateQuietly();
}

inspect::CoverInput CoverWindow::input() const {
  const auto values = table_->values();
  inspect::CoverInput in;
  in.readingsMm = values[0];
  if (!field_->text().trimmed().isEmpty()) in.designCoverMm = fieldValue(NAN);
  return in;
}

void CoverWindow::store() {
  const inspect::CoverInput in = input();
  session_.updateMember(member_, [&](project::Member& m) { m.inspection.cover = in; });
}

void CoverWindow::load() {
  const auto* m = session_.member(member_);
  if (m == nullptr) return;
  survey_.reset();
  clearResults();
  updateEnabled(false);
  if (!m->inspection.cover) {
    // New readings start from the member's design cover.
    filling_ = true;
    field_->setText(member_number(session_, member_, "cover"));
    filling_ = false;
    return;
  }
  const inspect::CoverInput& in = *m->inspection.cover;
  if (input() != in) {
    filling_ = true;
    field_->setText(in.designCoverMm && std::isfinite(*in.designCoverMm)
                        ? qs(inspect::shortest(*in.designCoverMm))
                        : QString());
    table_->setValues({in.readingsMm});
    filling_ = false;
  }
}

bool CoverWindow::calculate() {
  const auto r = inspect::read_readings(table_->rows(), inspect::kCoverColumns, false, "row");
  if (!r) {
    refuse(qs(r.refusal().text));
    return false;
  }
  inspect::CoverInput in = input();
  in.readingsMm = r->columns[0];
  const auto s = inspect::survey_cover(in);
  if (!s) {
    refuse(qs(s.refusal().text));
    return false;
  }
  store();
  survey_ = *s;
  surveyed_ = in;
  clearResults();
  status_->clear();
  const auto& v = *survey_;
  addResult(QStringLiteral("读数个数"), QString::number(v.sample.n));
  addResult(QStringLiteral("平均值"), number_text(v.sample.mean), QStringLiteral("mm"));
  addResult(QStringLiteral("标准差"), number_text(v.sample.sd, 3), QStringLiteral("mm"));
  addResult(QStringLiteral("变异系数"), number_text(v.sample.cov(), 3));
  addResult(QStringLiteral("最小 / 最大"),
            number_text(v.sample.min) + QStringLiteral(" / ") + number_text(v.sample.max),
            QStringLiteral("mm"));
  addResult(QStringLiteral("特征值系数 k_n"), number_text(v.kn));
  for (const inspect::CoverLaw* law : {&v.normal, &v.lognormal}) {
    addResult(QStringLiteral("5% 特征值（%1）").arg(law_name(law->law)),
              number_text(law->characteristic), QStringLiteral("mm"));
  }
  if (v.designCoverMm) {
    addResult(QStringLiteral("低于设计值 %1 mm 的读数").arg(number_text(*v.designCoverMm)),
              QStringLiteral("%1（%2）").arg(v.belowDesign).arg(percent(v.observedShareBelow())));
    for (const inspect::CoverLaw* law : {&v.normal, &v.lognormal}) {
      if (law->shareBelowDesign) {
        addResult(QStringLiteral("低于设计值的比例（%1）").arg(law_name(law->law)),
                  percent(*law->shareBelowDesign));
      }
    }
  }
  for (const inspect::CoverLaw* law : {&v.normal, &v.lognormal}) {
    if (law->test) {
      addResult(QStringLiteral("Anderson–Darling（%1）A*² / p").arg(law_name(law->law)),
                number_text(law->test->modified) + QStringLiteral(" / ") +
                    number_text(law->test->pValue, 3));
    }
  }
  addResult(QStringLiteral("采用的分布"),
            law_name(v.better) + (v.tested ? QString() : QStringLiteral("（未检验）")));
  setNotes(v.notes);
  updateEnabled(true);
  return true;
}

std::optional<inspect::SheetTransfer> CoverWindow::transfer() const {
  if (!survey_ || input() != surveyed_) return std::nullopt;
  const int number = targetSheet();
  return inspect::cover_sheet_transfer(
      *survey_, modules::all_modules().at(static_cast<std::size_t>(number - 1))->table());
}

int CoverWindow::targetSheet() const {
  const auto* m = session_.member(member_);
  const sheet::Module* module = m != nullptr ? project::module_of(*m) : nullptr;
  return module != nullptr ? module->table().number
                           : modules::find_module("carbonation")->table().number;
}

std::string CoverWindow::exportCsv() const {
  return inspect::cover_csv(*survey_);
}

std::string CoverWindow::exportJson() const {
  const int number = targetSheet();
  return inspect::cover_json(
      surveyed_, *survey_,
      &modules::all_modules().at(static_cast<std::size_t>(number - 1))->table());
}

CoverWindow* CoverWindow::show(ProjectSession& session, ProjectSession::MemberId member) {
  return show_survey_window<CoverWindow>(session, member);
}

}  // namespace pellucor::shell
