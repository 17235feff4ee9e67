#include "shell/tables/batch_window.hpp"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "analysis/batch/batch_job.hpp"
#include "analysis/batch/csv.hpp"
#include "analysis/batch/output_file.hpp"
#include "modules/registry.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/background_run.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/text.hpp"
#include "shell/kit/window_kit.hpp"
#include "shell/reports/presentation.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"
#include "shell/tables/assessment_panel.hpp"
#include "shell/tables/member_table_view.hpp"

namespace pellucor::shell {

namespace batch = analysis::batch;
using sheet::Control;

namespace {

const QColor kStoppedRow(255, 228, 225);
const QColor kNamedCell(255, 214, 102);
// The grade cell keeps the member's place in the assessment under this role.
constexpr int kMemberRole = Qt::UserRole + 7;

}  // namespace

QString refused_cell_text(const QString& name, const QString& cell, sheet::TypedValue::Why why) {
  using Why = sheet::TypedValue::Why;
  switch (why) {
    case Why::NotANumber:
      return QStringLiteral("%1：'%2' 不是数").arg(name, cell.trimmed());
    case Why::NoSteel:
      return QStringLiteral("%1：“%2”不是钢筋种类（1、2、3 或列表中的一项）")
          .arg(name, cell.trimmed());
    case Why::NoChoice:
    case Why::NoOption:
      return QStringLiteral("%1：“%2”不是可选的一项").arg(name, cell.trimmed());
    case Why::NoInput:
    case Why::None:
      break;
  }
  return QStringLiteral("%1：“%2”无法输入").arg(name, cell.trimmed());
}

namespace {

// Why a line of a member table could not be read, in Chinese: "第 3 行无法读取：引号不成对".
QString malformed_text(const std::string& reason) {
  static const QRegularExpression form(QStringLiteral("^malformed row \\(line (\\d+)\\): (.*)$"));
  static const QRegularExpression fields(
      QStringLiteral("^(\\d+) fields where the header has (\\d+)$"));
  const auto m = form.match(qs(reason));
  if (!m.hasMatch()) return QStringLiteral("该行无法读取：") + qs(reason);
  const QString why = m.captured(2);
  QString said = why;
  if (why == QStringLiteral("unbalanced quotes")) {
    said = QStringLiteral("引号不成对");
  } else if (why == QStringLiteral("text after a closing quote")) {
    said = QStringLiteral("右引号之后还有文字");
  } else if (const auto f = fields.match(why); f.hasMatch()) {
    said = QStringLiteral("有 %1 个单元格，表头有 %2 列").arg(f.captured(1), f.captured(2));
  }
  return QStringLiteral("第 %1 行无法读取：%2").arg(m.captured(1), said);
}

}  // namespace

BatchWindow::BatchWindow(MainWindow& main, int sheet, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      main_(main),
      sheet_(sheet),
      module_(*modules::all_modules().at(static_cast<std::size_t>(sheet - 1))),
      dialogs_(dialogs),
      columns_(sheet) {
  setObjectName(QStringLiteral("batchWindow"));
  exportName_ = file_name_of({qs(module_.table().menuCaption).section(QStringLiteral("(&"), 0, 0),
                              QStringLiteral("构件表")});
  table_ = new QTableWidget(this);
  table_->setObjectName(QStringLiteral("memberTable"));
  table_->setItemPrototype(new MemberCell);
  table_->setSelectionBehavior(QAbstractItemView::SelectItems);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  table_->horizontalHeader()->setSortIndicatorShown(true);
  table_->installEventFilter(this);
  buildColumns();
  // Headers in full on up to three lines; numbers to the right; the member's column stays in
  // view when the table scrolls to the right.
  QHeaderView* header = table_->horizontalHeader();
  header->setDefaultAlignment(Qt::AlignCenter);
  for (int c = 0; c < table_->columnCount(); ++c) {
    const QString text = table_->horizontalHeaderItem(c)->text();
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
      widest = std::max(widest, header->fontMetrics().horizontalAdvance(line));
    }
    table_->setColumnWidth(c, std::clamp(widest + 16, 64, 200));
  }
  table_->setColumnWidth(columns_.status(), 220);
  frozen_ = new FrozenColumn(*table_);

  auto button = [this](const QString& caption, const char* name) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(QString::fromLatin1(name));
    return b;
  };
  QPushButton* add = button(with_access_key(QStringLiteral("添加行"), 'T'), "addRow");
  QPushButton* remove = button(with_access_key(QStringLiteral("删除行"), 'S'), "deleteRows");
  QPushButton* importCsvButton = button(with_access_key(QStringLiteral("导入…"), 'I'), "importCsv");
  QPushButton* exportCsvButton =
      button(with_access_key(QStringLiteral("导出CSV…"), 'V'), "exportCsv");
  QPushButton* exportXlsxButton =
      button(with_access_key(QStringLiteral("导出XLSX…"), 'L'), "exportXlsx");
  QPushButton* run = button(with_access_key(QStringLiteral("全部计算"), 'R'), "calculateAll");
  QPushButton* open = button(with_access_key(QStringLiteral("在表单中打开"), 'O'), "openInSheet");
  cancel_ = button(with_access_key(QStringLiteral("取消"), 'Q'), "cancel");
  cancel_->setEnabled(false);
  idleButtons_ = {add, remove, importCsvButton, exportCsvButton, exportXlsxButton, run, open};
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setRange(0, 1);
  progress_->setValue(0);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("summary"));
  summary_->setWordWrap(true);

  connect(add, &QPushButton::clicked, this, &BatchWindow::addRow);
  connect(remove, &QPushButton::clicked, this, &BatchWindow::deleteSelectedRows);
  connect(importCsvButton, &QPushButton::clicked, this, [this] {
    if (const auto name = dialogs_.chooseOpenFile(
            this, QStringLiteral("导入构件表"),
            QStringLiteral("构件表 (*.csv *.xlsx);;CSV (*.csv);;Excel (*.xlsx);;* (*)"))) {
      importCsv(*name);
    }
  });
  connect(exportCsvButton, &QPushButton::clicked, this, [this] {
    if (const auto name = askSave(QStringLiteral("导出CSV"), QStringLiteral("CSV (*.csv)"),
                                  QStringLiteral("csv"))) {
      exportCsv(*name);
    }
  });
  connect(exportXlsxButton, &QPushButton::clicked, this, [this] {
    if (const auto name = askSave(QStringLiteral("导出XLSX"), QStringLiteral("Excel (*.xlsx)"),
                                  QStringLiteral("xlsx"))) {
      exportXlsx(*name);
    }
  });
  connect(run, &QPushButton::clicked, this, &BatchWindow::calculateAll);
  connect(cancel_, &QPushButton::clicked, this, &BatchWindow::cancel);
  connect(open, &QPushButton::clicked, this, [this] {
    if (table_->currentRow() >= 0) openInSheet(table_->currentRow());
  });

  // The rows and files above the table; the run below it, with its progress.
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {add, remove, importCsvButton, exportCsvButton, exportXlsxButton}) {
    buttons->addWidget(b);
  }
  buttons->addStretch();
  auto* status = new QHBoxLayout;
  for (QPushButton* b : {run, cancel_, open}) status->addWidget(b);
  status->addWidget(progress_, 1);
  // The assessment of the computed members below the table.
  assessment_ = new AssessmentPanel(this);
  connect(assessment_, &AssessmentPanel::assessed, this, &BatchWindow::showAssessment);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(table_);
  split->addWidget(assessment_);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(split, 1);
  layout->addLayout(status);
  layout->addWidget(summary_);
  setRowCount(1);
  table_->setSortingEnabled(true);
  setMinimumSize(480, 300);
  resize(960, 640);
}

BatchWindow::~BatchWindow() {
  cancelRequested_ = true;
  worker_.reset();
}

void BatchWindow::buildColumns() {
  table_->setColumnCount(columns_.count());
  for (int i = 0; i < columns_.count(); ++i) {
    auto* item = new QTableWidgetItem(columns_.headers()[i]);
    item->setToolTip(columns_.tips()[i]);
    table_->setHorizontalHeaderItem(i, item);
  }
  table_->setItemDelegate(new ChoiceDelegate(columns_, table_));
}

void BatchWindow::setRowCount(int rows) {
  const int before = table_->rowCount();
  table_->setRowCount(rows);
  for (int r = before; r < rows; ++r) {
    for (int c = 0; c < table_->columnCount(); ++c) {
      auto* item = new MemberCell;
      if (!columns_.typed(c)) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
      table_->setItem(r, c, item);
    }
  }
}

void BatchWindow::setCell(int row, int column, const QString& text) {
  QTableWidgetItem* item = table_->item(row, column);
  if (item == nullptr) {
    item = new MemberCell;
    table_->setItem(row, column, item);
  }
  item->setText(text);
}

std::vector<std::vector<std::string>> BatchWindow::inputCells() const {
  std::vector<std::vector<std::string>> rows(static_cast<std::size_t>(table_->rowCount()));
  for (int r = 0; r < table_->rowCount(); ++r) {
    auto& cells = rows[static_cast<std::size_t>(r)];
    for (int c = 0; c < columns_.status(); ++c) {
      const QTableWidgetItem* item = table_->item(r, c);
      cells.push_back(item == nullptr ? std::string() : utf8(item->text()));
    }
  }
  return rows;
}

void BatchWindow::addRow() {
  if (isRunning()) return;
  table_->setSortingEnabled(false);
  setRowCount(table_->rowCount() + 1);
  table_->setSortingEnabled(true);
  table_->setCurrentCell(table_->rowCount() - 1, 0);
}

void BatchWindow::deleteSelectedRows() {
  if (isRunning()) return;
  std::vector<int> rows;
  for (const QModelIndex& index : table_->selectionModel()->selectedIndexes()) {
    rows.push_back(index.row());
  }
  if (rows.empty() && table_->currentRow() >= 0) rows.push_back(table_->currentRow());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) table_->removeRow(*it);
}

void BatchWindow::clearOutcome(int row) {
  for (int c = 0; c < table_->columnCount(); ++c) {
    QTableWidgetItem* item = table_->item(row, c);
    if (item == nullptr) continue;
    item->setData(Qt::BackgroundRole, QVariant());
    item->setData(Qt::ForegroundRole, QVariant());
    item->setToolTip(QString());
    if (c >= columns_.status()) {
      item->setText(QString());
      item->setData(kOutcomeRole, QVariant());
      item->setData(MemberCell::kSortValueRole, QVariant());
    }
    if (c >= columns_.governing()) item->setData(kMemberRole, QVariant());
  }
}

QString BatchWindow::statusText(int row, const batch::RowOutcome& outcome) const {
  using Status = batch::RowOutcome::Status;
  switch (outcome.status) {
    case Status::NotRun:
      return QStringLiteral("未计算");
    case Status::Done:
      return QStringLiteral("完成");
    case Status::Malformed:
      return malformed_text(outcome.statusText);
    case Status::Failed:
      return QStringLiteral("程序出错，未完成：%1").arg(qs(outcome.statusText));
    case Status::Stopped:
      break;
  }
  // The sheet's own message (Chinese) after the name of the box it concerns; a cell that the
  // sheet cannot take, said in its words.
  const int column = outcome.control == Control::None ? -1 : columns_.of(outcome.control);
  const QString name = columns_.name(column);
  if (outcome.refused != sheet::TypedValue::Why::None) {
    const QString cell = column < 0 || table_->item(row, column) == nullptr
                             ? QString()
                             : table_->item(row, column)->text();
    return refused_cell_text(name, cell, outcome.refused);
  }
  std::string message = outcome.message;
  if (message == "the calculation did not complete") message = "计算未完成";
  return name.isEmpty() ? qs(message) : name + QStringLiteral("：") + qs(message);
}

void BatchWindow::applyOutcome(int row, const batch::RowOutcome& outcome) {
  clearOutcome(row);
  using Status = batch::RowOutcome::Status;
  setCell(row, columns_.status(), statusText(row, outcome));
  table_->item(row, columns_.status())->setData(kOutcomeRole, static_cast<int>(outcome.status));
  if (outcome.status == Status::NotRun) return;
  if (outcome.status == Status::Done) {
    for (int k = 0; k < columns_.results(); ++k) {
      const std::size_t source = columns_.resultSource(k);
      if (source < outcome.results.size()) {
        setCell(row, columns_.firstResult() + k, qs(outcome.results[source]));
      }
    }
    // A crack width below zero is the model's way of saying the cover has not cracked yet.
    const int width = columns_.result("w");
    if (QTableWidgetItem* w = width >= 0 ? table_->item(row, width) : nullptr) {
      bool number = false;
      const double value = w->text().toDouble(&number);
      if (number && value < 0) {
        w->setToolTip(QStringLiteral("计算值 %1 mm 小于零：检测时保护层尚未开裂").arg(w->text()));
        w->setText(QStringLiteral("未开裂"));
        w->setData(MemberCell::kSortValueRole, value);
      }
    }
    if (outcome.ages) {
      const auto& a = *outcome.ages;
      setCell(row, columns_.state(), state_name(member_state(a.t, a.ti, a.tc, a.td)));
    }
    return;
  }
  // A row that stopped: marked, the named control's cell highlighted, the message its tip.
  for (int c = 0; c < table_->columnCount(); ++c) {
    if (QTableWidgetItem* item = table_->item(row, c)) item->setBackground(kStoppedRow);
  }
  QTableWidgetItem* status = table_->item(row, columns_.status());
  status->setForeground(Qt::red);
  status->setToolTip(status->text());
  const int named = outcome.control == Control::None ? -1 : columns_.of(outcome.control);
  if (named >= 0) {
    QTableWidgetItem* cell = table_->item(row, named);
    cell->setBackground(kNamedCell);
    cell->setToolTip(status->text());
  }
}

void BatchWindow::setRunning(bool running) {
  for (QPushButton* b : idleButtons_) b->setEnabled(!running);
  cancel_->setEnabled(running);
  table_->setEditTriggers(running ? QAbstractItemView::NoEditTriggers
                                  : QAbstractItemView::DoubleClicked |
                                        QAbstractItemView::EditKeyPressed |
                                        QAbstractItemView::AnyKeyPressed);
  if (frozen_) frozen_->setEditTriggers(table_->editTriggers());
}

void BatchWindow::calculateAll() {
  if (isRunning()) return;
  // Rows stay where they are until the run is over.
  table_->setSortingEnabled(false);
  const auto cells = inputCells();
  auto rows = std::make_shared<std::vector<batch::MemberRow>>();
  for (const auto& c : cells) rows->push_back({c, "", ""});
  for (int r = 0; r < table_->rowCount(); ++r) clearOutcome(r);
  progress_->setRange(0, std::max(1, static_cast<int>(rows->size())));
  progress_->setValue(0);
  summary_->setText(QStringLiteral("正在计算…"));
  cancelRequested_ = false;
  rowsDone_ = 0;
  setRunning(true);
  auto outcomes = std::make_shared<std::vector<batch::RowOutcome>>();
  auto threads = std::make_shared<batch::RunReport>();
  worker_ = std::make_unique<BackgroundRun>(
      this,
      [this, rows, outcomes, threads] {
        batch::RunOptions options;
        options.cancel = &cancelRequested_;
        options.progress = [this](std::size_t done, std::size_t) { rowsDone_ = done; };
        *outcomes = batch::run_members(module_, columns_.inputs(), *rows, options, threads.get());
      },
      [this, outcomes, threads](const QString& error) {
        runFinished(std::move(*outcomes), *threads, error);
      },
      [this] { progress_->setValue(static_cast<int>(rowsDone_.load())); });
}

void BatchWindow::runFinished(std::vector<batch::RowOutcome> outcomes, batch::RunReport threads,
                              const QString& error) {
  worker_.reset();
  for (int r = 0; r < static_cast<int>(outcomes.size()) && r < table_->rowCount(); ++r) {
    applyOutcome(r, outcomes[static_cast<std::size_t>(r)]);
  }
  assessRows(outcomes);
  // The member's name, its state and its assessment in full ("锈蚀中、未开裂", "已超过（9.5 a
  // 时达到）"), as far as a sensible width allows.
  std::vector<int> widen = {columns_.member(), columns_.state()};
  for (int c : columns_.assessment()) widen.push_back(c);
  for (int c : widen) {
    const int before = table_->columnWidth(c);
    table_->resizeColumnToContents(c);
    table_->setColumnWidth(c, std::clamp(table_->columnWidth(c), before, std::max(before, 260)));
  }
  const batch::Summary s = batch::summarize(outcomes);
  progress_->setValue(static_cast<int>(s.rows - s.notRun));
  QString text;
  if (!error.isEmpty()) {
    text = QStringLiteral("计算失败：%1").arg(error);
  } else {
    text = QStringLiteral("%1 个构件：%2 个完成，%3 个停止")
               .arg(s.rows)
               .arg(s.done)
               .arg(s.stopped + s.malformed);
    if (s.failed > 0) text += QStringLiteral("，%1 个因程序错误未完成").arg(s.failed);
    if (s.notRun > 0) text += QStringLiteral("，%1 个未计算（已取消）").arg(s.notRun);
    if (threads.refused > 0) {
      text += QStringLiteral("（系统只允许启动 %1 个线程，结果不受影响）").arg(threads.threads);
    }
  }
  summary_->setText(text);
  if (s.done > 0) unexported_ = true;
  setRunning(false);
  table_->setSortingEnabled(true);
  if (!error.isEmpty()) dialogs_.showWarning(this, kTitle, text);
  emit finished();
}

void BatchWindow::cancel() {
  cancelRequested_ = true;
}

void BatchWindow::openInSheet(int row) {
  if (isRunning() || row < 0 || row >= table_->rowCount()) return;
  const auto cells = inputCells()[static_cast<std::size_t>(row)];
  batch::RowOutcome refused;
  const auto entries = batch::row_entries(module_.table(), columns_.inputs(), cells, &refused);
  if (!entries) {
    dialogs_.showWarning(this, kTitle, statusText(row, refused));
    return;
  }
  const QTableWidgetItem* memberCell = table_->item(row, 0);
  const QString member = memberCell ? memberCell->text().trimmed() : QString();
  // A sheet whose boxes hold something of the user's is not replaced without asking.
  if (const QtSheetView* open = main_.sheetView(sheet_); open && open->holdsInputs()) {
    const QString question =
        QStringLiteral("计算表“%1”中已有输入。用构件%2的输入替换计算表中的全部输入吗？")
            .arg(qs(module_.table().caption),
                 member.isEmpty() ? QString() : QStringLiteral("“%1”").arg(member));
    if (dialogs_.ask(this, kTitle, question, {QStringLiteral("替换"), QStringLiteral("取消")}, 1) !=
        0) {
      return;
    }
  }
  QtSheetView* view = main_.showSheet(sheet_);
  if (view == nullptr) return;
  sheet::SheetController& controller = view->controller();
  controller.open(*view);  // from the defaults, as a freshly opened sheet
  batch::Typist typist(controller, *view, {});
  typist.type(*entries);
  view->setMemberName(member.isEmpty() ? QStringLiteral("第 %1 行").arg(row + 1) : member);
}

void BatchWindow::setRowsLiveIn(std::function<QStringList()> unsavedRows) {
  unsavedRows_ = std::move(unsavedRows);
}

QStringList BatchWindow::unsavedWork() const {
  if (isRunning()) return {QStringLiteral("构件正在计算（将取消计算）")};
  if (unsavedRows_) return unsavedRows_();
  if (unexported_) return {QStringLiteral("表中有已计算、尚未导出的结果")};
  return {};
}

void BatchWindow::closeEvent(QCloseEvent* event) {
  // Computed rows not yet exported, or a run going on, are not lost without asking.
  QString question;
  QStringList answers;
  if (closeAgreed_) {
    // Asked for already, with the other windows.
  } else if (isRunning()) {
    question = QStringLiteral("构件正在计算。关闭窗口将取消计算，表中的结果不保留。");
    answers = {QStringLiteral("取消计算并关闭"), QStringLiteral("继续")};
  } else if (unsavedRows_) {
    // The results are the project's to compute again; only rows not saved to it are lost.
    if (const QStringList lost = unsavedRows_(); !lost.isEmpty()) {
      question = lost.join(QStringLiteral("；")) + QStringLiteral("。关闭窗口后这些修改不保留。");
      answers = {QStringLiteral("关闭"), QStringLiteral("取消")};
    }
  } else if (unexported_) {
    question = QStringLiteral("表中有已计算、尚未导出的结果。关闭窗口后这些结果不保留。");
    answers = {QStringLiteral("关闭"), QStringLiteral("取消")};
  }
  if (!question.isEmpty() && dialogs_.ask(this, kTitle, question, answers, 1) != 0) {
    event->ignore();
    return;
  }
  cancelRequested_ = true;
  event->accept();
}

void BatchWindow::assessRows(const std::vector<batch::RowOutcome>& outcomes) {
  std::vector<AssessmentPanel::Member> members;
  const int rows = std::min(static_cast<int>(outcomes.size()), table_->rowCount());
  for (int r = 0; r < rows; ++r) {
    const batch::RowOutcome& o = outcomes[static_cast<std::size_t>(r)];
    AssessmentPanel::Member m;
    const QTableWidgetItem* name = table_->item(r, 0);
    m.name = name != nullptr && !name->text().isEmpty() ? name->text()
                                                        : QStringLiteral("第 %1 行").arg(r + 1);
    m.module = &module_;
    if (memberLimitStates_) m.limitStates = memberLimitStates_(m.name);
    if (o.ages) {
      analysis::Timeline tl;
      tl.t = o.ages->t;
      tl.ti = o.ages->ti;
      tl.prop.tc = o.ages->tc;
      tl.prop.td = o.ages->td;
      m.times = tl;
    } else {
      m.failure = o.status == batch::RowOutcome::Status::NotRun ? QStringLiteral("未计算")
                                                                : qs(o.statusText);
    }
    members.push_back(m);
    // The member's place in the assessment travels with its row when the table is sorted.
    if (QTableWidgetItem* grade = table_->item(r, columns_.grade())) {
      grade->setData(kMemberRole, r);
    }
  }
  assessment_->setMembers(std::move(members));
}

void BatchWindow::setMemberLimitStates(MemberLimitStates limitStates) {
  memberLimitStates_ = std::move(limitStates);
}

void BatchWindow::showAssessment() {
  const bool sorting = table_->isSortingEnabled();
  table_->setSortingEnabled(false);
  for (int r = 0; r < table_->rowCount(); ++r) {
    QTableWidgetItem* grade = table_->item(r, columns_.grade());
    const QVariant index = grade != nullptr ? grade->data(kMemberRole) : QVariant();
    if (!index.isValid()) {
      table_->setRowHidden(r, assessment_->gradeFilter()->currentIndex() != 0);
      continue;
    }
    const auto member = static_cast<std::size_t>(index.toInt());
    const QStringList cells = assessment_->columnCells(member);
    const auto columns = columns_.assessment();
    for (std::size_t k = 0; k < columns.size() && k < static_cast<std::size_t>(cells.size()); ++k) {
      if (QTableWidgetItem* item = table_->item(r, columns[k])) {
        item->setText(cells[static_cast<qsizetype>(k)]);
      }
    }
    table_->setRowHidden(r, !assessment_->passesFilter(member));
  }
  table_->setSortingEnabled(sorting);
}

QAction* install_batch_menu(MainWindow& main) {
  auto* action = main.analysisMenu()->addAction(QStringLiteral("批量计算(&M)…"));
  action->setObjectName(QStringLiteral("menu_batch"));
  action->setStatusTip(QStringLiteral("成批计算当前表单的多个构件"));
  auto target = [&main]() -> int {
    if (const int n = main.activeSheet()) return n;
    if (const QMdiSubWindow* w = main.mdiArea()->activeSubWindow()) {
      if (const auto* b = qobject_cast<const BatchWindow*>(w->widget())) return b->sheet();
    }
    return 0;
  };
  auto update = [action, target] { action->setEnabled(target() != 0); };
  QObject::connect(main.mdiArea(), &QMdiArea::subWindowActivated, action, update);
  update();
  QObject::connect(action, &QAction::triggered, &main, [&main, target] {
    const int n = target();
    if (n == 0) return;
    auto* window = new BatchWindow(main, n, main.dialogs());
    const auto& caption =
        modules::all_modules().at(static_cast<std::size_t>(n - 1))->table().caption;
    main.addChildWindow(window, QStringLiteral("批量计算 — ") + qs(caption));
  });
  return action;
}

}  // namespace pellucor::shell
