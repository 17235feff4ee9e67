#include "shell/batch_window.hpp"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>

#include "analysis/batch/batch_job.hpp"
#include "analysis/batch/csv.hpp"
#include "analysis/batch/output_file.hpp"
#include "analysis/batch/result_columns.hpp"
#include "modules/registry.hpp"
#include "sheet/number_form.hpp"
#include "sheet/user_input.hpp"
#include "shell/assessment_panel.hpp"
#include "shell/background_run.hpp"
#include "shell/dialogs.hpp"
#include "shell/main_window.hpp"
#include "shell/qt_sheet_view.hpp"

namespace pellucor::shell {

namespace batch = analysis::batch;
using sheet::Control;

namespace {

QString qs(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string utf8(const QString& s) {
  return s.toStdString();
}

const QColor kStoppedRow(255, 228, 225);
const QColor kNamedCell(255, 214, 102);
// The grade cell keeps the member's place in the assessment under this role.
constexpr int kMemberRole = Qt::UserRole + 7;

const QString kTitle = QStringLiteral("批量计算");
constexpr std::string_view kMemberHeader = "member";

// The unit a prompt names ("（单位为mm）"), if any.
QString unit_of(std::string_view prompt) {
  const QString p = qs(prompt);
  const qsizetype at = p.indexOf(QStringLiteral("单位为"));
  if (at < 0) return {};
  const qsizetype start = at + 3;
  const qsizetype end = p.indexOf(QChar(0xFF09), start);  // full-width closing parenthesis
  return end < 0 ? QString() : p.mid(start, end - start).trimmed();
}

bool has_range(const sheet::FieldRow& f) {
  return f.leave == sheet::LeaveCheck::Range || f.leave == sheet::LeaveCheck::ZeroBlankThenRange ||
         f.change != sheet::ChangeCheck::None;
}

// A cell that sorts numbers by value and texts by text.
class Cell final : public QTableWidgetItem {
 public:
  explicit Cell(const QString& text = {}) : QTableWidgetItem(text) {}
  QTableWidgetItem* clone() const override { return new Cell(*this); }
  bool operator<(const QTableWidgetItem& other) const override {
    double a = 0;
    double b = 0;
    const bool an = batch::number_cell(utf8(text().trimmed()), &a);
    const bool bn = batch::number_cell(utf8(other.text().trimmed()), &b);
    if (an && bn) return a < b;
    if (an != bn) return an;  // numbers before texts and empty cells
    return text() < other.text();
  }
};

// Drop-down lists for the steel kind and the option groups.
class ChoiceDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void setChoices(int column, QStringList items) { choices_[column] = std::move(items); }

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    const auto it = choices_.find(index.column());
    if (it == choices_.end()) return QStyledItemDelegate::createEditor(parent, option, index);
    auto* box = new QComboBox(parent);
    box->addItem(QString());
    box->addItems(it->second);
    return box;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
      const int i = box->findText(index.data().toString());
      box->setCurrentIndex(i < 0 ? 0 : i);
      return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
      model->setData(index, box->currentText());
      return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
  }

 private:
  std::map<int, QStringList> choices_;
};

}  // namespace

BatchWindow::BatchWindow(MainWindow& main, int sheet, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      main_(main),
      sheet_(sheet),
      module_(*modules::all_modules().at(static_cast<std::size_t>(sheet - 1))),
      dialogs_(dialogs) {
  setObjectName(QStringLiteral("batchWindow"));
  table_ = new QTableWidget(this);
  table_->setObjectName(QStringLiteral("memberTable"));
  table_->setItemPrototype(new Cell);
  table_->setSelectionBehavior(QAbstractItemView::SelectItems);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  table_->horizontalHeader()->setSortIndicatorShown(true);
  table_->installEventFilter(this);
  buildColumns();

  auto button = [this](const QString& caption, const char* name) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(QString::fromLatin1(name));
    return b;
  };
  QPushButton* add = button(QStringLiteral("添加行"), "addRow");
  QPushButton* remove = button(QStringLiteral("删除行"), "deleteRows");
  QPushButton* importCsvButton = button(QStringLiteral("导入CSV…"), "importCsv");
  QPushButton* exportCsvButton = button(QStringLiteral("导出CSV…"), "exportCsv");
  QPushButton* exportXlsxButton = button(QStringLiteral("导出XLSX…"), "exportXlsx");
  QPushButton* run = button(QStringLiteral("全部计算"), "calculateAll");
  QPushButton* open = button(QStringLiteral("在表单中打开"), "openInSheet");
  cancel_ = button(QStringLiteral("取消"), "cancel");
  cancel_->setEnabled(false);
  idleButtons_ = {add, remove, importCsvButton, exportCsvButton, exportXlsxButton, run, open};
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setRange(0, 1);
  progress_->setValue(0);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("summary"));

  connect(add, &QPushButton::clicked, this, &BatchWindow::addRow);
  connect(remove, &QPushButton::clicked, this, &BatchWindow::deleteSelectedRows);
  connect(importCsvButton, &QPushButton::clicked, this, [this] {
    if (const auto name = dialogs_.chooseOpenFile(this, QStringLiteral("导入CSV"),
                                                  QStringLiteral("CSV (*.csv);;* (*)"))) {
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

  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : idleButtons_) buttons->addWidget(b);
  buttons->addWidget(cancel_);
  buttons->addStretch();
  auto* status = new QHBoxLayout;
  status->addWidget(progress_, 1);
  status->addWidget(summary_, 2);
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
  setRowCount(1);
  table_->setSortingEnabled(true);
  resize(960, 640);
}

BatchWindow::~BatchWindow() {
  cancelRequested_ = true;
  worker_.reset();
}

void BatchWindow::buildColumns() {
  const sheet::SheetTable& s = module_.table();
  batch::InputColumn member;
  member.kind = batch::InputColumn::Kind::Member;
  member.header = kMemberHeader;
  columns_.push_back(member);
  QStringList headers = {QStringLiteral("构件")};
  QStringList tips = {QStringLiteral("构件名称（原样保留）")};
  auto* delegate = new ChoiceDelegate(table_);
  for (Control c : s.tabOrder) {
    batch::InputColumn column;
    column.kind = batch::InputColumn::Kind::Control;
    column.control = c;
    if (const sheet::FieldRow* f = s.field(c)) {
      column.header = f->label;
      const QString unit = unit_of(f->prompts.empty() ? std::string_view() : f->prompts[0]);
      headers << (unit.isEmpty()
                      ? qs(f->label)
                      : qs(f->label) + QStringLiteral("\n(") + unit + QStringLiteral(")"));
      QString tip = has_range(*f) ? QStringLiteral("有效范围 %1--%2")
                                        .arg(qs(sheet::general_digits(f->lo, 15)),
                                             qs(sheet::general_digits(f->hi, 15)))
                                  : QStringLiteral("不检查范围");
      for (std::string_view p : f->prompts) tip += QStringLiteral("\n") + qs(p).trimmed();
      tips << tip;
    } else if (c == Control::Combo1) {
      column.header = s.combo.label;
      headers << qs(s.combo.label);
      tips << qs(sheet::kComboPrompt).trimmed();
      QStringList items;
      for (std::string_view item : sheet::kSteelItems) items << qs(item);
      delegate->setChoices(static_cast<int>(columns_.size()), items);
    } else {
      // An option: its group gets one column, at the place of its first option.
      const sheet::OptionGroupRow* group = nullptr;
      for (const auto& g : s.groups) {
        if (g.options[0].control == c) group = &g;
      }
      if (group == nullptr) continue;
      column.kind = batch::InputColumn::Kind::Group;
      column.control = Control::None;
      column.group = group;
      column.header = group->caption;
      headers << qs(group->caption);
      tips << qs(group->options[0].prompt).trimmed() + QStringLiteral("\n（空：") +
                  qs(group->options[0].caption) + QStringLiteral("）");
      delegate->setChoices(static_cast<int>(columns_.size()),
                           {qs(group->options[0].caption), qs(group->options[1].caption)});
    }
    columns_.push_back(column);
  }
  headers << QStringLiteral("状态");
  tips << QStringLiteral("ok，或计算停止时的提示及其控件");
  for (const std::string& h : batch::result_headers(sheet_)) {
    headers << qs(h);
    tips << qs(h);
  }
  for (const QString& h : AssessmentPanel::columnHeaders()) {
    headers << h;
    tips << QStringLiteral("按下方的评估设置：") + h;
  }
  table_->setColumnCount(static_cast<int>(headers.size()));
  for (int i = 0; i < headers.size(); ++i) {
    auto* item = new QTableWidgetItem(headers[i]);
    item->setToolTip(tips[i]);
    table_->setHorizontalHeaderItem(i, item);
  }
  table_->setItemDelegate(delegate);
}

int BatchWindow::columnOf(Control control) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const auto& c = columns_[i];
    if (c.kind == batch::InputColumn::Kind::Control && c.control == control) {
      return static_cast<int>(i);
    }
    if (c.kind == batch::InputColumn::Kind::Group &&
        (c.group->options[0].control == control || c.group->options[1].control == control)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void BatchWindow::setRowCount(int rows) {
  const int before = table_->rowCount();
  table_->setRowCount(rows);
  for (int r = before; r < rows; ++r) {
    for (int c = 0; c < table_->columnCount(); ++c) {
      auto* item = new Cell;
      if (c >= statusColumn()) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
      table_->setItem(r, c, item);
    }
  }
}

void BatchWindow::setCell(int row, int column, const QString& text) {
  QTableWidgetItem* item = table_->item(row, column);
  if (item == nullptr) {
    item = new Cell;
    table_->setItem(row, column, item);
  }
  item->setText(text);
}

std::vector<std::vector<std::string>> BatchWindow::inputCells() const {
  std::vector<std::vector<std::string>> rows(static_cast<std::size_t>(table_->rowCount()));
  for (int r = 0; r < table_->rowCount(); ++r) {
    auto& cells = rows[static_cast<std::size_t>(r)];
    for (int c = 0; c < static_cast<int>(columns_.size()); ++c) {
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

void BatchWindow::paste(const QString& text) {
  if (isRunning()) return;
  QStringList lines = text.split(QLatin1Char('\n'));
  for (QString& line : lines) {
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
  }
  while (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  if (lines.isEmpty()) return;
  const int top = std::max(0, table_->currentRow());
  const int left = std::max(0, table_->currentColumn());
  table_->setSortingEnabled(false);
  if (top + lines.size() > table_->rowCount()) setRowCount(top + static_cast<int>(lines.size()));
  for (int i = 0; i < lines.size(); ++i) {
    const QStringList cells = lines[i].split(QLatin1Char('\t'));
    for (int k = 0; k < cells.size(); ++k) {
      const int column = left + k;
      if (column >= statusColumn()) break;  // status and results are not typed
      setCell(top + i, column, cells[k].trimmed());
    }
    clearOutcome(top + i);
  }
  table_->setSortingEnabled(true);
}

bool BatchWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == table_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Paste)) {
      paste(QGuiApplication::clipboard()->text());
      return true;
    }
    // (While a cell is edited, its editor has the keys, not the table.)
    if (key->matches(QKeySequence::Delete)) {
      for (QTableWidgetItem* item : table_->selectedItems()) {
        if (item->column() < statusColumn()) item->setText(QString());
      }
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

namespace {

// The answers to the question which encoding an imported file is in.
const QStringList kEncodingAnswers = {QStringLiteral("UTF-8"), QStringLiteral("GBK"),
                                      QStringLiteral("取消")};

// What an encoding problem of an imported file means, in the table's words.
QString encoding_problem(const batch::EncodingError& e) {
  using Kind = batch::EncodingError::Kind;
  const QString line = QString::number(e.line);
  switch (e.kind) {
    case Kind::Ambiguous:
    case Kind::StrayBytes:
    case Kind::Mixed:
      return QStringLiteral(
                 "无法确定文件的编码（第 %1 行既可按 UTF-8 也可按 GBK 读取，或文件中"
                 "两种编码混用）。请选择文件的编码：")
          .arg(line);
    case Kind::Neither:
      return QStringLiteral("第 %1 行既不是 UTF-8 也不是 GBK 编码").arg(line);
    case Kind::NotValid:
      return QStringLiteral("第 %1 行不是所选的编码").arg(line);
    case Kind::TooLong:
      return QStringLiteral("文件中有超过 16 MiB 的行");
    case Kind::Unreadable:
      break;
  }
  return qs(e.what());
}

}  // namespace

bool BatchWindow::importCsv(const QString& path) {
  if (isRunning()) return false;
  batch::MemberTable read;
  std::vector<batch::InputColumn> given;
  std::optional<batch::Encoding> encoding;
  for (;;) {
    try {
      read = batch::read_member_table(utf8(path), encoding, &module_.table());
      break;
    } catch (const batch::EncodingError& e) {
      if (e.asksForEncoding() && !encoding) {
        // The answers in the order of kEncodingAnswers; none: nothing is imported.
        const auto answer = dialogs_.ask(this, kTitle, encoding_problem(e), kEncodingAnswers, 0);
        if (!answer || *answer >= 2) return false;
        encoding = *answer == 0 ? batch::Encoding::Utf8 : batch::Encoding::Gbk;
        continue;
      }
      dialogs_.showWarning(this, kTitle,
                           QStringLiteral("无法导入 %1：%2").arg(path, encoding_problem(e)));
      return false;
    } catch (const std::exception& e) {
      dialogs_.showWarning(this, kTitle, QStringLiteral("无法导入 %1：%2").arg(path, qs(e.what())));
      return false;
    }
  }
  try {
    // A table exported from here carries its status and results: they are not inputs.
    std::vector<std::string> header = read.header;
    const auto status = std::find(header.begin(), header.end(), std::string("status"));
    if (status != header.end()) {
      const std::size_t inputs = static_cast<std::size_t>(status - header.begin());
      header.resize(inputs);
      for (auto& r : read.rows) {
        if (r.malformed.empty()) r.cells.resize(inputs);
      }
    }
    given = batch::resolve_columns(module_.table(), header);
  } catch (const std::exception& e) {
    dialogs_.showWarning(this, kTitle, QStringLiteral("无法导入 %1：%2").arg(path, qs(e.what())));
    return false;
  }
  const std::vector<batch::MemberRow>& rows = read.rows;
  table_->setSortingEnabled(false);
  table_->setRowCount(0);
  setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const batch::MemberRow& row = rows[static_cast<std::size_t>(r)];
    if (!row.malformed.empty()) {
      // Nothing is lost: the line goes into the member cell, the status says why.
      setCell(r, 0, qs(row.raw));
      applyOutcome(
          r,
          {batch::RowOutcome::Status::Malformed, row.malformed, Control::None, {}, std::nullopt});
      continue;
    }
    for (std::size_t k = 0; k < given.size(); ++k) {
      const batch::InputColumn& source = given[k];
      const QString cell = qs(row.cells[k]);
      switch (source.kind) {
        case batch::InputColumn::Kind::Member:
          setCell(r, 0, cell);
          break;
        case batch::InputColumn::Kind::Group:
          setCell(r, columnOf(source.group->options[0].control), cell.trimmed());
          break;
        case batch::InputColumn::Kind::Control: {
          const int column = columnOf(source.control);
          if (column < 0) break;
          if (columns_[static_cast<std::size_t>(column)].kind == batch::InputColumn::Kind::Group) {
            // An option column: 1 chooses the option.
            if (sheet::option_flag(row.cells[k]).value_or(false)) {
              const auto* g = columns_[static_cast<std::size_t>(column)].group;
              const auto& o =
                  g->options[0].control == source.control ? g->options[0] : g->options[1];
              setCell(r, column, qs(o.caption));
            }
          } else if (source.control == Control::Combo1) {
            // The item the cell names, as the list shows it; anything else as it stands.
            const auto item = sheet::steel_item(row.cells[k]);
            setCell(r, column, item ? qs(*item) : cell.trimmed());
          } else {
            setCell(r, column, cell);
          }
          break;
        }
      }
    }
  }
  table_->setSortingEnabled(true);
  summary_->setText(QStringLiteral("导入 %1 行").arg(rows.size()));
  return true;
}

std::vector<std::string> BatchWindow::exportHeader() const {
  std::vector<std::string> header;
  for (const auto& c : columns_) header.push_back(c.header);
  return header;
}

batch::OutputTable BatchWindow::outputTable() const {
  batch::OutputTable t;
  t.header = exportHeader();
  t.statusColumn = t.header.size();
  t.header.emplace_back("status");
  t.firstResultColumn = t.header.size();
  for (const std::string& h : batch::result_headers(sheet_)) t.header.push_back(h);
  for (const QString& h : AssessmentPanel::columnHeaders()) t.header.push_back(utf8(h));
  t.textColumns = batch::text_columns(columns_);
  t.textColumns.resize(t.header.size(), false);
  t.textColumns[t.statusColumn] = true;
  // The governing limit state and the grade are words.
  t.textColumns[static_cast<std::size_t>(assessmentColumn())] = true;
  t.textColumns[static_cast<std::size_t>(assessmentColumn()) + 3] = true;
  for (int r = 0; r < table_->rowCount(); ++r) {
    std::vector<std::string> cells;
    for (int c = 0; c < table_->columnCount(); ++c) {
      const QTableWidgetItem* item = table_->item(r, c);
      cells.push_back(item == nullptr ? std::string() : utf8(item->text()));
    }
    const std::string& status = cells[t.statusColumn];
    t.stopped.push_back(!status.empty() && status != batch::kStatusOk);
    t.rows.push_back(std::move(cells));
  }
  return t;
}

std::optional<QString> BatchWindow::askSave(const QString& title, const QString& filter,
                                            const QString& suffix) {
  return dialogs_.chooseSaveFile(this, title, filter, suffix, SaveMode::Replace);
}

bool BatchWindow::exportCsv(const QString& path) {
  return exportTable(path, batch::TableFormat::Csv);
}

bool BatchWindow::exportXlsx(const QString& path) {
  return exportTable(path, batch::TableFormat::Workbook);
}

bool BatchWindow::exportTable(const QString& path, batch::TableFormat format) {
  try {
    batch::write_table(utf8(path), outputTable(), module_.table().cliName, format);
  } catch (const batch::FileError& e) {
    dialogs_.showWarning(this, kTitle, qs(e.what()));
    return false;
  } catch (const std::exception& e) {
    dialogs_.showWarning(this, kTitle,
                         QStringLiteral("无法写入文件 %1：%2").arg(path, qs(e.what())));
    return false;
  }
  return true;
}

void BatchWindow::clearOutcome(int row) {
  for (int c = 0; c < table_->columnCount(); ++c) {
    QTableWidgetItem* item = table_->item(row, c);
    if (item == nullptr) continue;
    item->setData(Qt::BackgroundRole, QVariant());
    item->setData(Qt::ForegroundRole, QVariant());
    item->setToolTip(QString());
    if (c >= statusColumn()) item->setText(QString());
    if (c >= assessmentColumn()) item->setData(kMemberRole, QVariant());
  }
}

void BatchWindow::applyOutcome(int row, const batch::RowOutcome& outcome) {
  clearOutcome(row);
  using Status = batch::RowOutcome::Status;
  if (outcome.status == Status::NotRun) {
    setCell(row, statusColumn(), QStringLiteral("未计算"));
    return;
  }
  setCell(row, statusColumn(), qs(outcome.statusText));
  if (outcome.status == Status::Done) {
    for (std::size_t k = 0; k < outcome.results.size(); ++k) {
      setCell(row, firstResultColumn() + static_cast<int>(k), qs(outcome.results[k]));
    }
    return;
  }
  // A row that stopped: marked, the named control's cell highlighted, the message its tip.
  for (int c = 0; c < table_->columnCount(); ++c) {
    if (QTableWidgetItem* item = table_->item(row, c)) item->setBackground(kStoppedRow);
  }
  QTableWidgetItem* status = table_->item(row, statusColumn());
  status->setForeground(Qt::red);
  status->setToolTip(qs(outcome.statusText));
  const int named = outcome.control == Control::None ? -1 : columnOf(outcome.control);
  if (named >= 0) {
    QTableWidgetItem* cell = table_->item(row, named);
    cell->setBackground(kNamedCell);
    cell->setToolTip(qs(outcome.statusText));
  }
}

void BatchWindow::setRunning(bool running) {
  for (QPushButton* b : idleButtons_) b->setEnabled(!running);
  cancel_->setEnabled(running);
  table_->setEditTriggers(running ? QAbstractItemView::NoEditTriggers
                                  : QAbstractItemView::DoubleClicked |
                                        QAbstractItemView::EditKeyPressed |
                                        QAbstractItemView::AnyKeyPressed);
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
        *outcomes = batch::run_members(module_, columns_, *rows, options, threads.get());
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
  const auto entries = batch::row_entries(columns_, cells, &refused);
  if (!entries) {
    dialogs_.showWarning(this, kTitle, qs(refused.statusText));
    return;
  }
  QtSheetView* view = main_.showSheet(sheet_);
  if (view == nullptr) return;
  sheet::SheetController& controller = view->controller();
  controller.open(*view);  // from the defaults, as a freshly opened sheet
  batch::Typist typist(controller, *view, {});
  typist.type(*entries);
}

int BatchWindow::assessmentColumn() const {
  return firstResultColumn() + static_cast<int>(batch::result_headers(sheet_).size());
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
    if (QTableWidgetItem* grade = table_->item(r, assessmentColumn() + 3)) {
      grade->setData(kMemberRole, r);
    }
  }
  assessment_->setMembers(std::move(members));
}

void BatchWindow::showAssessment() {
  const bool sorting = table_->isSortingEnabled();
  table_->setSortingEnabled(false);
  for (int r = 0; r < table_->rowCount(); ++r) {
    QTableWidgetItem* grade = table_->item(r, assessmentColumn() + 3);
    const QVariant index = grade != nullptr ? grade->data(kMemberRole) : QVariant();
    if (!index.isValid()) {
      table_->setRowHidden(r, assessment_->gradeFilter()->currentIndex() != 0);
      continue;
    }
    const auto member = static_cast<std::size_t>(index.toInt());
    const QStringList cells = assessment_->columnCells(member);
    for (int k = 0; k < cells.size(); ++k) {
      if (QTableWidgetItem* item = table_->item(r, assessmentColumn() + k)) {
        item->setText(cells[k]);
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
