#include "shell/tables/assessment_panel.hpp"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <algorithm>
#include <cmath>

#include "analysis/structure/assessment_table.hpp"
#include "modules/registry.hpp"
#include "sheet/number_form.hpp"
#include "shell/kit/text.hpp"
#include "shell/reports/structure_report.hpp"

namespace pellucor::shell {

namespace assess = analysis::assess;

namespace {

// A cell that sorts by the key it keeps, not by its text.
class SortItem final : public QTableWidgetItem {
 public:
  SortItem(const QString& text, double key) : QTableWidgetItem(text) {
    setData(Qt::UserRole, key);
    setFlags(flags() & ~Qt::ItemIsEditable);
  }
  bool operator<(const QTableWidgetItem& other) const override {
    return data(Qt::UserRole).toDouble() < other.data(Qt::UserRole).toDouble();
  }
};

const char* const kFilters[] = {"全部", "a 级", "b 级", "c 级", "未评定"};

// A sheet by its menu caption without the access key: "渗氯盐_常系数".
QString sheet_name(const sheet::Module& m) {
  QString caption = qs(m.table().menuCaption);
  const qsizetype key = caption.indexOf(QStringLiteral("(&"));
  return key > 0 ? caption.left(key) : caption;
}

}  // namespace

AssessmentPanel::AssessmentPanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("assessmentPanel"));
  // The summary beside tabs of the grades, the chart and the settings: each table gets the
  // panel's whole width, so that the main window's smallest size shows its columns.
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName(QStringLiteral("assessmentTabs"));
  auto* settingsPage = new QWidget(tabs);
  auto* settingsLayout = new QVBoxLayout(settingsPage);

  settingsTable_ = new QTableWidget(0, 3, settingsPage);
  settingsTable_->setObjectName(QStringLiteral("assessmentSettings"));
  settingsTable_->setHorizontalHeaderLabels(
      {QStringLiteral("评估设置"), QStringLiteral("数值"), QStringLiteral("默认值")});
  settingsTable_->verticalHeader()->hide();
  const QStringList names = {QStringLiteral("评估龄期 t0 (a)"),
                             QStringLiteral("目标使用年限 T (a)"),
                             QStringLiteral("剩余目标年限系数 γ"),
                             QStringLiteral("a 级界限（ξ ≥）"), QStringLiteral("b 级界限（ξ ≥）")};
  const assess::Settings defaults;
  const QStringList defaultTexts = {QStringLiteral("各构件的检测龄期"), digits(defaults.targetLife),
                                    digits(defaults.gamma), digits(defaults.thresholdA),
                                    digits(defaults.thresholdB)};
  const auto fixedItem = [](const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
  };
  for (int r = 0; r < names.size(); ++r) {
    settingsTable_->insertRow(r);
    settingsTable_->setItem(r, 0, fixedItem(names[r]));
    settingsTable_->setItem(r, 1, new QTableWidgetItem);
    settingsTable_->setItem(r, 2, fixedItem(defaultTexts[r]));
  }
  for (assess::LimitState s : assess::kAllLimitStates) {
    const int r = settingsTable_->rowCount();
    settingsTable_->insertRow(r);
    settingsTable_->setItem(r, 0,
                            fixedItem(QStringLiteral("计入：") + qs(assess::limit_state_name(s))));
    auto* check = new QTableWidgetItem;
    check->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    settingsTable_->setItem(r, 1, check);
    settingsTable_->setItem(r, 2, fixedItem(QStringLiteral("计入")));
  }
  settingsTable_->resizeColumnsToContents();
  settingsTable_->setColumnWidth(1, std::max(settingsTable_->columnWidth(1), 90));
  settingsTable_->horizontalHeader()->setStretchLastSection(true);
  settingsLayout->addWidget(settingsTable_, 1);

  message_ = new QLabel(settingsPage);
  message_->setObjectName(QStringLiteral("settingsMessage"));
  message_->setWordWrap(true);
  message_->setStyleSheet(QStringLiteral("color: #b02020"));
  settingsLayout->addWidget(message_);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("gradeSummary"));
  summary_->setWordWrap(true);
  summary_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* summaryScroll = new QScrollArea(this);
  summaryScroll->setWidget(summary_);
  summaryScroll->setWidgetResizable(true);
  summaryScroll->setFrameShape(QFrame::NoFrame);
  layout->addWidget(summaryScroll, 1);

  auto* list = new QWidget(tabs);
  auto* listLayout = new QVBoxLayout(list);
  filter_ = new QComboBox(list);
  filter_->setObjectName(QStringLiteral("gradeFilter"));
  for (const char* f : kFilters) filter_->addItem(QString::fromUtf8(f));
  auto* filterLabel = new QLabel(QStringLiteral("显示(&F)："), list);
  filterLabel->setBuddy(filter_);
  auto* filterRow = new QHBoxLayout;
  filterRow->setObjectName(QStringLiteral("filterRow"));
  filterRow->addWidget(filterLabel);
  filterRow->addWidget(filter_);
  filterRow->addStretch(1);
  listLayout->addLayout(filterRow);
  grades_ = new QTableWidget(0, 6, list);
  grades_->setObjectName(QStringLiteral("gradeTable"));
  grades_->setHorizontalHeaderLabels({QStringLiteral("构件"), QStringLiteral("控制极限状态"),
                                      QStringLiteral("剩余寿命 (a)"), QStringLiteral("裕度 ξ"),
                                      QStringLiteral("等级"), QStringLiteral("说明")});
  grades_->verticalHeader()->hide();
  grades_->horizontalHeader()->setStretchLastSection(true);
  grades_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listLayout->addWidget(grades_);
  tabs->addTab(list, QStringLiteral("构件等级"));
  chart_ = new QChartView(new QChart, tabs);
  chart_->setObjectName(QStringLiteral("remainingLifeChart"));
  chart_->setRenderHint(QPainter::Antialiasing);
  chart_->setMinimumSize(320, 240);
  tabs->addTab(chart_, QStringLiteral("剩余寿命图"));
  tabs->addTab(settingsPage, QStringLiteral("评估设置"));
  tabs->setTabToolTip(2, QStringLiteral("评估龄期、目标使用年限、γ、等级界限与计入的极限状态；"
                                        "成员表来自工程时，随工程保存"));
  layout->addWidget(tabs, 3);

  connect(settingsTable_, &QTableWidget::itemChanged, this, [this] {
    if (!showing_) settingEdited();
  });
  connect(filter_, &QComboBox::currentIndexChanged, this, [this] {
    applyFilter();
    emit assessed();
  });
  showSettings();
  assess();
}

QStringList AssessmentPanel::columnHeaders() {
  return {QStringLiteral("控制极限状态"), QStringLiteral("剩余寿命 (a)"), QStringLiteral("裕度 ξ"),
          QStringLiteral("等级")};
}

QStringList AssessmentPanel::columnCells(std::size_t member) const {
  if (member >= assessment_.members.size()) return {QString(), QString(), QString(), QString()};
  const assess::MemberResult& m = assessment_.members[member];
  if (!m.assessment) {
    return {QString(), QString(), QString(),
            m.failure.empty() ? QString() : QStringLiteral("未评定")};
  }
  const assess::MemberAssessment& a = *m.assessment;
  return {qs(assess::limit_state_name(a.governing)), qs(assess::remaining_cell(a)),
          qs(assess::margin_cell(a)), qs(assess::grade_name(a.grade))};
}

void AssessmentPanel::showSheets() {
  if (sheetFilter_ != nullptr) return;
  grades_->insertColumn(1);
  grades_->setHorizontalHeaderItem(1, new QTableWidgetItem(QStringLiteral("计算表")));
  sheetFilter_ = new QComboBox(grades_->parentWidget());
  sheetFilter_->setObjectName(QStringLiteral("sheetFilter"));
  sheetFilter_->addItem(QStringLiteral("全部计算表"));
  for (const sheet::Module* m : modules::all_modules()) {
    sheetFilter_->addItem(sheet_name(*m), QVariant::fromValue(static_cast<int>(m->table().number)));
  }
  if (auto* row = grades_->parentWidget()->findChild<QHBoxLayout*>(QStringLiteral("filterRow"))) {
    auto* label = new QLabel(QStringLiteral("计算表(&J)："), grades_->parentWidget());
    label->setBuddy(sheetFilter_);
    row->insertWidget(2, label);
    row->insertWidget(3, sheetFilter_);
  }
  connect(sheetFilter_, &QComboBox::currentIndexChanged, this, [this] {
    applyFilter();
    emit assessed();
  });
  showGrades();
}

void AssessmentPanel::setMembers(std::vector<Member> members) {
  members_ = std::move(members);
  assess();
}

void AssessmentPanel::setSettings(const assess::Settings& settings) {
  settings_ = settings;
  message_->clear();
  showSettings();
  assess();
}

void AssessmentPanel::showSettings() {
  showing_ = true;
  settingsTable_->item(kAge, 1)->setText(settings_.assessmentAge ? digits(*settings_.assessmentAge)
                                                                 : QString());
  settingsTable_->item(kTarget, 1)->setText(digits(settings_.targetLife));
  settingsTable_->item(kGamma, 1)->setText(digits(settings_.gamma));
  settingsTable_->item(kThresholdA, 1)->setText(digits(settings_.thresholdA));
  settingsTable_->item(kThresholdB, 1)->setText(digits(settings_.thresholdB));
  int r = kFirstLimitState;
  for (assess::LimitState s : assess::kAllLimitStates) {
    const bool counted = std::find(settings_.limitStates.begin(), settings_.limitStates.end(), s) !=
                         settings_.limitStates.end();
    settingsTable_->item(r++, 1)->setCheckState(counted ? Qt::Checked : Qt::Unchecked);
  }
  showing_ = false;
}

void AssessmentPanel::settingEdited() {
  assess::Settings s;
  const auto read = [this](int row, double& out) {
    const std::optional<double> typed = typed_number(settingsTable_->item(row, 1)->text());
    out = typed.value_or(0);
    if (!typed) {
      message_->setText(QStringLiteral("“%1”须为数；仍按上一组有效的设置评定。")
                            .arg(settingsTable_->item(row, 0)->text()));
      return false;
    }
    return true;
  };
  const QString age = settingsTable_->item(kAge, 1)->text().trimmed();
  if (!age.isEmpty()) {
    double t0 = 0;
    if (!read(kAge, t0)) return;
    s.assessmentAge = t0;
  }
  if (!read(kTarget, s.targetLife) || !read(kGamma, s.gamma) || !read(kThresholdA, s.thresholdA) ||
      !read(kThresholdB, s.thresholdB)) {
    return;
  }
  s.limitStates.clear();
  int r = kFirstLimitState;
  for (assess::LimitState state : assess::kAllLimitStates) {
    if (settingsTable_->item(r++, 1)->checkState() == Qt::Checked) s.limitStates.push_back(state);
  }
  // Without an age of assessment the target must at least lie above 0.
  assess::Settings check = s;
  if (!check.assessmentAge) check.assessmentAge = 0;
  if (const auto refused = assess::check_settings(check)) {
    message_->setText(qs(refused->text) + QStringLiteral("仍按上一组有效的设置评定。"));
    return;
  }
  message_->clear();
  if (s == settings_) return;
  settings_ = s;
  assess();
  emit settingsChanged(settings_);
}

void AssessmentPanel::assess() {
  assessment_ = {};
  assessment_.settings = settings_;
  for (const Member& m : members_) {
    assess::MemberResult r;
    r.name = m.name.toStdString();
    r.module = m.module;
    if (m.module != nullptr) r.sheetName = std::string(m.module->table().cliName);
    if (!m.times) {
      r.failure = m.failure.toStdString();
    } else if (auto a = assess::assess_member(*m.times, settings_, m.limitStates,
                                              m.module != nullptr ? &m.module->table() : nullptr)) {
      r.assessment = *a;
    } else {
      r.failure = a.refusal().text;
    }
    assessment_.members.push_back(std::move(r));
  }
  assessment_.summary = assess::summarize_grades(assessment_.members);
  showGrades();
  emit assessed();
}

void AssessmentPanel::showGrades() {
  QStringList lines;
  for (const std::string& l : assess::grade_summary_lines(assessment_)) lines << qs(l);
  summary_->setText(lines.join(QLatin1Char('\n')));

  grades_->setSortingEnabled(false);
  grades_->setRowCount(static_cast<int>(assessment_.members.size()));
  // The grade column sorts worst first: by the members' order from the worst.
  std::vector<std::size_t> order(assessment_.members.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
    return assess::worse_than(assessment_.members[a], assessment_.members[b]);
  });
  std::vector<double> rank(order.size());
  for (std::size_t k = 0; k < order.size(); ++k) rank[order[k]] = static_cast<double>(k);
  for (std::size_t i = 0; i < assessment_.members.size(); ++i) {
    const assess::MemberResult& m = assessment_.members[i];
    const int row = static_cast<int>(i);
    const QStringList cells = columnCells(i);
    auto* name = new SortItem(qs(m.name), static_cast<double>(i));
    grades_->setItem(row, 0, name);
    // The sheet's column, when shown, sorts by the sheet's number; the others follow it.
    const int at = sheetFilter_ != nullptr ? 1 : 0;
    if (at == 1) {
      grades_->setItem(row, 1,
                       new SortItem(m.module != nullptr ? sheet_name(*m.module) : qs(m.sheetName),
                                    m.module != nullptr ? m.module->table().number : 99));
    }
    // A member without an assessment sorts with the worst.
    double remaining = -1e300;
    double margin = -1e300;
    if (m.assessment) {
      const assess::LimitStateMargin& g = m.assessment->governingState();
      remaining = g.remaining;
      margin = g.margin.value_or(-1);
    }
    grades_->setItem(
        row, at + 1,
        new SortItem(cells[0], m.assessment ? static_cast<double>(m.assessment->governing) : 9));
    grades_->setItem(row, at + 2, new SortItem(cells[1], remaining));
    grades_->setItem(row, at + 3, new SortItem(cells[2], margin));
    grades_->setItem(row, at + 4, new SortItem(cells[3], rank[i]));
    QString note = qs(m.failure);
    if (m.assessment) {
      for (const auto& n : m.assessment->notes) note += qs(n);
    }
    auto* noteItem = new SortItem(note, static_cast<double>(i));
    noteItem->setToolTip(note);  // whole, where the column cuts it short
    grades_->setItem(row, at + 5, noteItem);
  }
  grades_->setSortingEnabled(true);
  if (!sortedOnce_) {
    // Worst first until the user sorts otherwise.
    grades_->sortItems((sheetFilter_ != nullptr ? 1 : 0) + 4, Qt::AscendingOrder);
    sortedOnce_ = true;
  }
  grades_->resizeColumnsToContents();

  QChart* old = chart_->chart();
  chart_->setChart(remaining_life_chart(assessment_));
  delete old;
  applyFilter();
}

bool AssessmentPanel::passesFilter(std::size_t member) const {
  if (member >= assessment_.members.size()) return true;
  const assess::MemberResult& m = assessment_.members[member];
  if (sheetFilter_ != nullptr && sheetFilter_->currentIndex() > 0 &&
      (m.module == nullptr || m.module->table().number != sheetFilter_->currentData().toInt())) {
    return false;
  }
  switch (filter_->currentIndex()) {
    case 0:
      return true;
    case 4:
      return !m.assessment;
    default:
      return m.assessment && static_cast<int>(m.assessment->grade) == filter_->currentIndex() - 1;
  }
}

void AssessmentPanel::applyFilter() {
  for (int row = 0; row < grades_->rowCount(); ++row) {
    const QTableWidgetItem* name = grades_->item(row, 0);
    const auto member = static_cast<std::size_t>(name ? name->data(Qt::UserRole).toDouble() : 0);
    grades_->setRowHidden(row, !passesFilter(member));
  }
}

}  // namespace pellucor::shell
