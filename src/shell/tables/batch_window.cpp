#include "shell/tables/batch_window.hpp"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
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
#include <QRegularExpression>
#include <QScrollBar>
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
#include "analysis/batch/workbook_reader.hpp"
#include "modules/registry.hpp"
#include "sheet/number_form.hpp"
#include "sheet/user_input.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/background_run.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/text.hpp"
#include "shell/kit/window_kit.hpp"
#include "shell/reports/pdf_report.hpp"
#include "shell/reports/presentation.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"
#include "shell/tables/assessment_panel.hpp"

namespace pellucor::shell {

namespace batch = analysis::batch;
using sheet::Control;

namespace {

const QColor kStoppedRow(255, 228, 225);
const QColor kNamedCell(255, 214, 102);
// The grade cell keeps the member's place in the assessment under this role.
constexpr int kMemberRole = Qt::UserRole + 7;

const QString kTitle = QStringLiteral("批量计算");
const QString kStateHeader = QStringLiteral("检测时状态");
// The outcome of a row, kept on its status cell (the text is for the reader).
constexpr int kOutcomeRole = Qt::UserRole + 1;
constexpr std::string_view kMemberHeader = "member";

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

// A header on lines short enough for a narrow column: the name in pieces of up to seven
// characters, the unit on a line of its own.
QString wrapped_header(const QString& text) {
  QString name = text;
  QString unit;
  if (const qsizetype at = text.lastIndexOf(QStringLiteral(" (")); at > 0 && text.endsWith(')')) {
    name = text.left(at);
    unit = text.mid(at + 1);
  }
  // Words kept whole where they fit; a longer run of characters in pieces.
  QStringList lines;
  QString line;
  for (const QString& word : name.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    if (!line.isEmpty() && line.size() + 1 + word.size() <= 7) {
      line += QLatin1Char(' ') + word;
      continue;
    }
    if (!line.isEmpty()) lines << line;
    line = word;
    while (line.size() > 7) {
      const int pieces = static_cast<int>((line.size() + 6) / 7);
      const int each = static_cast<int>((line.size() + pieces - 1) / pieces);
      lines << line.left(each);
      line = line.mid(each);
    }
  }
  if (!line.isEmpty()) lines << line;
  if (!unit.isEmpty()) lines << unit;
  return lines.join(QLatin1Char('\n'));
}

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

// Drop-down lists for the steel kind and the option groups; numbers to the right, results with
// the digits an engineer reads (the cell keeps every digit: its tip, a copy and an export).
class ChoiceDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void setChoices(int column, QStringList items) { choices_[column] = std::move(items); }
  void setResultUnit(int column, std::string unit) { units_[column] = std::move(unit); }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    double v = 0;
    if (!batch::number_cell(utf8(option->text.trimmed()), &v)) return;
    option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
    if (const auto it = units_.find(index.column()); it != units_.end()) {
      option->text = engineer_digits(v, it->second);
    }
  }

 public:
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
  std::map<int, std::string> units_;
};

}  // namespace

// The member column laid over the table's left edge: it stays in view when the table scrolls
// to the right. The same cells (model and selection), the table's delegate.
class BatchWindow::FrozenColumn final : public QTableView {
 public:
  explicit FrozenColumn(QTableWidget& main) : QTableView(&main), main_(main) {
    setObjectName(QStringLiteral("frozenMemberColumn"));
    setModel(main.model());
    setSelectionModel(main.selectionModel());
    setItemDelegate(main.itemDelegate());
    setFocusPolicy(Qt::NoFocus);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setDefaultAlignment(main.horizontalHeader()->defaultAlignment());
    horizontalHeader()->setMinimumHeight(main.horizontalHeader()->minimumHeight());
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(main.verticalScrollMode());
    setSelectionBehavior(main.selectionBehavior());
    setSelectionMode(main.selectionMode());
    setEditTriggers(main.editTriggers());
    for (int c = 1; c < model()->columnCount(); ++c) setColumnHidden(c, true);
    setColumnWidth(0, main.columnWidth(0));
    setFrameStyle(QFrame::NoFrame);
    main.viewport()->stackUnder(this);
    connect(main.horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
              if (section == 0) {
                setColumnWidth(0, size);
                place();
              }
            });
    connect(main.verticalHeader(), &QHeaderView::sectionResized, this,
            [this](int row, int, int size) { setRowHeight(row, size); });
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, main.verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(main.verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
            &QAbstractSlider::setValue);
    // Its header sorts the table like the table's own.
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int) {
      const Qt::SortOrder order =
          main_.horizontalHeader()->sortIndicatorSection() == 0 &&
                  main_.horizontalHeader()->sortIndicatorOrder() == Qt::AscendingOrder
              ? Qt::DescendingOrder
              : Qt::AscendingOrder;
      if (main_.isSortingEnabled()) main_.sortByColumn(0, order);
    });
    place();
    show();
  }

  void place() {
    setGeometry(main_.verticalHeader()->width() + main_.frameWidth(), main_.frameWidth(),
                main_.columnWidth(0),
                main_.viewport()->height() + main_.horizontalHeader()->height());
    horizontalHeader()->setFixedHeight(main_.horizontalHeader()->height());
  }

 private:
  QTableWidget& main_;
};

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
  table_->setColumnWidth(statusColumn(), 220);
  frozen_ = new FrozenColumn(*table_);

  auto button = [this](const QString& caption, const char* name) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(QString::fromLatin1(name));
    return b;
  };
  QPushButton* add = button(with_access_key(QStringLiteral("添加行"), 'A'), "addRow");
  QPushButton* remove = button(with_access_key(QStringLiteral("删除行"), 'D'), "deleteRows");
  QPushButton* importCsvButton = button(with_access_key(QStringLiteral("导入…"), 'I'), "importCsv");
  QPushButton* exportCsvButton =
      button(with_access_key(QStringLiteral("导出CSV…"), 'E'), "exportCsv");
  QPushButton* exportXlsxButton =
      button(with_access_key(QStringLiteral("导出XLSX…"), 'X'), "exportXlsx");
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
      // The unit the prompt states, corrected where the sheet misspells it.
      const QString unit =
          shown(sheet::ResultItem{&f->typed, sheet::ItemKind::Input, 0.0, {}}).unit;
      inputUnits_[static_cast<int>(columns_.size())] = unit;
      headers << wrapped_header(unit.isEmpty() ? qs(f->label)
                                               : qs(f->label) + QStringLiteral(" (") + unit +
                                                     QStringLiteral(")"));
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
      headers << wrapped_header(qs(group->caption));
      tips << qs(group->options[0].prompt).trimmed() + QStringLiteral("\n（空：") +
                  qs(group->options[0].caption) + QStringLiteral("）");
      delegate->setChoices(static_cast<int>(columns_.size()),
                           {qs(group->options[0].caption), qs(group->options[1].caption)});
    }
    columns_.push_back(column);
  }
  headers << QStringLiteral("状态");
  tips << QStringLiteral("完成，或计算停止时的提示及其输入");
  // The results with the names and units they carry (corrected where a sheet's own label is
  // wrong for its value), then t_d and the remaining life, then the state at the inspection age.
  resultHeaders_.clear();
  std::vector<std::string> units;
  for (const sheet::ItemText* form : s.results) {
    if (form->label.empty()) continue;
    const Shown shownAs = shown(sheet::ResultItem{form, sheet::ItemKind::Result, 0.0, {}});
    resultHeaders_ << (shownAs.unit.isEmpty() ? shownAs.name
                                              : shownAs.name + QStringLiteral(" (") + shownAs.unit +
                                                    QStringLiteral(")"));
    units.push_back(utf8(shownAs.unit));
  }
  const auto& batchHeaders = batch::result_headers(sheet_);
  for (std::size_t k = resultHeaders_.size(); k < batchHeaders.size(); ++k) {
    resultHeaders_ << qs(batchHeaders[k]);
    units.emplace_back("a");
  }
  for (std::size_t k = 0; k < units.size(); ++k) {
    delegate->setResultUnit(static_cast<int>(columns_.size() + 1 + k), units[k]);
  }
  for (const QString& h : resultHeaders_) {
    headers << wrapped_header(h);
    tips << h;
  }
  headers << kStateHeader;
  tips << QStringLiteral("检测时构件所处的阶段：尚未锈蚀、锈蚀中未开裂、已开裂或耐久性已终结");
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
  // A block copied from a spreadsheet (cells separated by tabs), or CSV lines (commas, quotes
  // as a spreadsheet writes them); a line the CSV reader cannot split goes whole into the
  // first column, as an import keeps it.
  std::vector<QStringList> lines;
  if (text.contains(QLatin1Char('\t'))) {
    QStringList raw = text.split(QLatin1Char('\n'));
    for (QString& line : raw) {
      if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    }
    while (!raw.isEmpty() && raw.last().isEmpty()) raw.removeLast();
    for (const QString& line : raw) lines.push_back(line.split(QLatin1Char('\t')));
  } else {
    for (const batch::CsvRecord& r : batch::parse_csv(utf8(text))) {
      QStringList cells;
      if (r.error.empty()) {
        for (const std::string& f : r.fields) cells << qs(f);
      } else {
        cells << qs(r.raw);
      }
      lines.push_back(cells);
    }
  }
  if (lines.empty()) return;
  const int top = std::max(0, table_->currentRow());
  const int left = std::max(0, table_->currentColumn());
  const int count = static_cast<int>(lines.size());
  table_->setSortingEnabled(false);
  if (top + count > table_->rowCount()) setRowCount(top + count);
  int dropped = 0;
  for (int i = 0; i < count; ++i) {
    const QStringList& cells = lines[static_cast<std::size_t>(i)];
    for (int k = 0; k < cells.size(); ++k) {
      const int column = left + k;
      // Status and results are not typed: what would go there is counted and said.
      if (column >= statusColumn()) {
        if (!cells[k].trimmed().isEmpty()) ++dropped;
        continue;
      }
      setCell(top + i, column, cells[k].trimmed());
    }
    clearOutcome(top + i);
  }
  table_->setSortingEnabled(true);
  QString said = QStringLiteral("粘贴 %1 行").arg(count);
  if (dropped > 0) {
    said += QStringLiteral("；%1 个单元格落在输入列之外，未粘贴").arg(dropped);
    dialogs_.showWarning(this, kTitle,
                         QStringLiteral("有 %1 个单元格落在输入列之外（状态和结果列不能输入），"
                                        "未粘贴。请从构件列或所需的输入列开始粘贴。")
                             .arg(dropped));
  }
  summary_->setText(said);
}

QString BatchWindow::copySelection() const {
  // The smallest block that holds the selection, tab-separated as a spreadsheet takes it;
  // cells inside it that are not selected stay empty. The text shown in full digits.
  const QModelIndexList chosen = table_->selectionModel()->selectedIndexes();
  if (chosen.isEmpty()) return {};
  int top = chosen.front().row(), bottom = top, left = chosen.front().column(), right = left;
  for (const QModelIndex& i : chosen) {
    top = std::min(top, i.row());
    bottom = std::max(bottom, i.row());
    left = std::min(left, i.column());
    right = std::max(right, i.column());
  }
  QStringList out;
  for (int r = top; r <= bottom; ++r) {
    QStringList cells;
    for (int c = left; c <= right; ++c) {
      const QTableWidgetItem* item = table_->item(r, c);
      const bool in = table_->selectionModel()->isSelected(table_->model()->index(r, c));
      cells << (in && item ? item->text() : QString());
    }
    out << cells.join(QLatin1Char('\t'));
  }
  return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool BatchWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == table_ && event->type() == QEvent::Resize && frozen_) frozen_->place();
  if (watched == table_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Paste)) {
      paste(QGuiApplication::clipboard()->text());
      return true;
    }
    if (key->matches(QKeySequence::Copy)) {
      const QString text = copySelection();
      if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
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
      if (path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive)) {
        read = batch::workbook_member_table(utf8(path));
        break;
      }
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
    // A table exported from here names its boxes by their labels with units, and carries its
    // status and results after them: the columns stop there (see resolve_columns).
    given = batch::resolve_columns(module_.table(), read.header);
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
  // The boxes' labels with their units; an import here reads them back.
  std::vector<std::string> header;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const auto unit = inputUnits_.find(static_cast<int>(i));
    header.push_back(unit == inputUnits_.end() || unit->second.isEmpty()
                         ? std::string(columns_[i].header)
                         : std::string(columns_[i].header) + " (" + utf8(unit->second) + ")");
  }
  return header;
}

batch::OutputTable BatchWindow::outputTable() const {
  batch::OutputTable t;
  t.header = exportHeader();
  t.statusColumn = t.header.size();
  t.header.emplace_back("status");
  t.firstResultColumn = t.header.size();
  for (const QString& h : resultHeaders_) t.header.push_back(utf8(h));
  t.header.push_back(utf8(kStateHeader));
  for (const QString& h : AssessmentPanel::columnHeaders()) t.header.push_back(utf8(h));
  t.textColumns = batch::text_columns(columns_);
  t.textColumns.resize(t.header.size(), false);
  t.textColumns[t.statusColumn] = true;
  t.textColumns[static_cast<std::size_t>(stateColumn())] = true;
  // The governing limit state and the grade are words.
  t.textColumns[static_cast<std::size_t>(assessmentColumn())] = true;
  t.textColumns[static_cast<std::size_t>(assessmentColumn()) + 3] = true;
  // A workbook says what wrote it, when, and the units of its columns.
  t.about = {
      {"程序", utf8(program_title())},
      {"计算表", std::string(module_.table().caption)},
      {"导出时间", utf8(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")))},
      {"构件数", std::to_string(table_->rowCount())},
      {"单位", "各列的单位写在列名后的括号中；没有括号的列没有单位。"},
      {"数值", "结果列为七位有效数字，与计算窗口和结果文件相同。"}};
  for (int c = 0; c < table_->columnCount(); ++c) {
    const QString h = c < static_cast<int>(t.header.size())
                          ? qs(t.header[static_cast<std::size_t>(c)])
                          : QString();
    const qsizetype at = h.lastIndexOf(QStringLiteral(" ("));
    if (at > 0 && h.endsWith(QLatin1Char(')'))) {
      t.about.emplace_back(utf8(h.left(at)), utf8(h.mid(at + 2, h.size() - at - 3)));
    }
  }
  for (int r = 0; r < table_->rowCount(); ++r) {
    std::vector<std::string> cells;
    for (int c = 0; c < table_->columnCount(); ++c) {
      const QTableWidgetItem* item = table_->item(r, c);
      cells.push_back(item == nullptr ? std::string() : utf8(item->text()));
    }
    const QTableWidgetItem* status = table_->item(r, statusColumn());
    const QVariant outcome = status ? status->data(kOutcomeRole) : QVariant();
    t.stopped.push_back(outcome.isValid() &&
                        outcome.toInt() != static_cast<int>(batch::RowOutcome::Status::Done));
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
    unexported_ = false;
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
    if (c >= statusColumn()) {
      item->setText(QString());
      item->setData(kOutcomeRole, QVariant());
    }
    if (c >= assessmentColumn()) item->setData(kMemberRole, QVariant());
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
  std::string message = outcome.statusText;
  const std::string prefix = std::string(sheet::control_name(outcome.control)) + ": ";
  if (outcome.control != Control::None && message.rfind(prefix, 0) == 0) {
    message.erase(0, prefix.size());
  }
  const int column = outcome.control == Control::None ? -1 : columnOf(outcome.control);
  const QString name = column < 0 ? QString() : columnName(column);
  if (!message.empty() && message.front() == '\'') {
    const QString cell = column < 0 || table_->item(row, column) == nullptr
                             ? QString()
                             : table_->item(row, column)->text().trimmed();
    if (outcome.control == Control::Combo1) {
      return QStringLiteral("%1：“%2”不是钢筋种类（1、2、3 或列表中的一项）").arg(name, cell);
    }
    return QStringLiteral("%1：“%2”不是可选的一项").arg(name, cell);
  }
  if (message == "the calculation did not complete") message = "计算未完成";
  return name.isEmpty() ? qs(message) : name + QStringLiteral("：") + qs(message);
}

QString BatchWindow::columnName(int column) const {
  if (column < 0 || static_cast<std::size_t>(column) >= columns_.size()) return {};
  return qs(columns_[static_cast<std::size_t>(column)].header);
}

void BatchWindow::applyOutcome(int row, const batch::RowOutcome& outcome) {
  clearOutcome(row);
  using Status = batch::RowOutcome::Status;
  setCell(row, statusColumn(), statusText(row, outcome));
  table_->item(row, statusColumn())->setData(kOutcomeRole, static_cast<int>(outcome.status));
  if (outcome.status == Status::NotRun) return;
  if (outcome.status == Status::Done) {
    for (std::size_t k = 0; k < outcome.results.size(); ++k) {
      setCell(row, firstResultColumn() + static_cast<int>(k), qs(outcome.results[k]));
    }
    if (outcome.ages) {
      const auto& a = *outcome.ages;
      setCell(row, stateColumn(), state_name(member_state(a.t, a.ti, a.tc, a.td)));
    }
    return;
  }
  // A row that stopped: marked, the named control's cell highlighted, the message its tip.
  for (int c = 0; c < table_->columnCount(); ++c) {
    if (QTableWidgetItem* item = table_->item(row, c)) item->setBackground(kStoppedRow);
  }
  QTableWidgetItem* status = table_->item(row, statusColumn());
  status->setForeground(Qt::red);
  status->setToolTip(status->text());
  const int named = outcome.control == Control::None ? -1 : columnOf(outcome.control);
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
  // The member's name, its state and its assessment in full ("锈蚀中、未开裂", "已超过（9.5 a
  // 时达到）"), as far as a sensible width allows.
  std::vector<int> widen = {0, stateColumn()};
  for (int k = 0; k < 4; ++k) widen.push_back(assessmentColumn() + k);
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
  const auto entries = batch::row_entries(columns_, cells, &refused);
  if (!entries) {
    dialogs_.showWarning(this, kTitle, qs(refused.statusText));
    return;
  }
  const QTableWidgetItem* memberCell = table_->item(row, 0);
  const QString member = memberCell ? memberCell->text().trimmed() : QString();
  // A sheet whose boxes hold something of the user's is not replaced without asking.
  if (const QtSheetView* open = main_.sheetView(sheet_); open && holdsInputs(*open)) {
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

bool BatchWindow::holdsInputs(const QtSheetView& view) const {
  const sheet::SheetTable& s = module_.table();
  for (const auto& f : s.fields) {
    if (view.text(f.control) != sheet::kDefaultBoxText) return true;
  }
  for (const auto& g : s.groups) {
    if (!view.isSelected(g.options[0].control)) return true;
  }
  return !view.text(Control::Combo1).empty();
}

void BatchWindow::closeEvent(QCloseEvent* event) {
  // Computed rows not yet exported, or a run going on, are not lost without asking.
  QString question;
  QStringList answers;
  if (isRunning()) {
    question = QStringLiteral("构件正在计算。关闭窗口将取消计算，表中的结果不保留。");
    answers = {QStringLiteral("取消计算并关闭"), QStringLiteral("继续")};
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

int BatchWindow::assessmentColumn() const {
  return stateColumn() + 1;
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
    if (QTableWidgetItem* grade = table_->item(r, assessmentColumn() + 3)) {
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
