#include "shell/project/fit_readings.hpp"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStyledItemDelegate>
#include <QValidator>
#include <algorithm>
#include <cmath>

#include "analysis/inspect/export.hpp"
#include "analysis/project/project.hpp"
#include "modules/registry.hpp"
#include "sheet/control_names.hpp"
#include "sheet/numeric.hpp"
#include "sheet/user_input.hpp"
#include "shell/analysis_menu/analysis_actions.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/text.hpp"
#include "shell/project/project_session.hpp"
#include "shell/reliability/reliability_window.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"

namespace pellucor::shell {

namespace inspect = analysis::inspect;

namespace {

// A cell takes what may become a number as it is typed; the text is a number when it is
// acceptable.
class NumberValidator final : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    const std::string text = sheet::trim_blanks_and_tabs(sheet::half_width(input.toStdString()));
    if (text.empty()) return Acceptable;
    double v = 0;
    if (inspect::reading_value(text, v)) return Acceptable;
    // Part of a number: a sign, digits with a point, an exponent being written.
    static const QRegularExpression partial(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d*)?([eE][+-]?\\d*)?$"));
    return partial.match(QString::fromStdString(text)).hasMatch() ? Intermediate : Invalid;
  }
};

class NumberDelegate final : public QStyledItemDelegate {
 public:
  NumberDelegate(int inputs, QObject* parent) : QStyledItemDelegate(parent), inputs_(inputs) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor); line && index.column() < inputs_) {
      line->setValidator(new NumberValidator(line));
    }
    return editor;
  }

 private:
  int inputs_;
};

bool blank_cell(const QString& cell) {
  return sheet::trim_blanks_and_tabs(sheet::half_width(cell.toStdString())).empty();
}

// The cells of a pasted line: tab-separated as a spreadsheet copies, else CSV, else numbers
// separated by blanks.
QStringList cells_of(const QString& line, QChar separator) {
  if (separator == QLatin1Char(' ')) {
    return line.split(QRegularExpression(QStringLiteral("[ \\x{3000}]+")), Qt::SkipEmptyParts);
  }
  return line.split(separator);
}

}  // namespace

ReadingsTable::ReadingsTable(std::span<const inspect::ReadingColumn> inputs, QStringList headers,
                             QWidget* parent)
    : QTableWidget(0, static_cast<int>(headers.size()), parent),
      inputs_(inputs.begin(), inputs.end()) {
  setObjectName(QStringLiteral("readings"));
  setHorizontalHeaderLabels(headers);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  setItemDelegate(new NumberDelegate(inputColumns(), this));
  while (rowCount() < kOpeningRows) appendRow();
  connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (filling_ || item->column() >= inputColumns()) return;
    ensureSpareRow();
    emit edited();
  });
}

void ReadingsTable::appendRow() {
  const int r = rowCount();
  insertRow(r);
  for (int c = 0; c < columnCount(); ++c) {
    auto* cell = new QTableWidgetItem;
    if (c >= inputColumns()) cell->setFlags(cell->flags() & ~Qt::ItemIsEditable);
    setItem(r, c, cell);
  }
}

void ReadingsTable::ensureSpareRow() {
  const bool wasFilling = std::exchange(filling_, true);
  auto used = [this](int r) {
    for (int c = 0; c < inputColumns(); ++c) {
      if (item(r, c) != nullptr && !blank_cell(item(r, c)->text())) return true;
    }
    return false;
  };
  if (rowCount() == 0 || used(rowCount() - 1)) appendRow();
  filling_ = wasFilling;
}

std::vector<inspect::ReadingRow> ReadingsTable::rows() const {
  std::vector<inspect::ReadingRow> out;
  for (int r = 0; r < rowCount(); ++r) {
    inspect::ReadingRow row;
    row.row = static_cast<std::size_t>(r + 1);
    for (int c = 0; c < inputColumns(); ++c) {
      row.cells.push_back(item(r, c) != nullptr ? item(r, c)->text().toStdString() : std::string());
    }
    out.push_back(std::move(row));
  }
  return out;
}

std::vector<std::vector<double>> ReadingsTable::values() const {
  std::vector<std::vector<double>> out(inputs_.size());
  for (const auto& row : rows()) {
    bool any = false;
    for (const auto& c : row.cells) any = any || !blank_cell(QString::fromStdString(c));
    if (!any) continue;
    for (std::size_t k = 0; k < inputs_.size(); ++k) {
      double v = NAN;
      if (!inspect::reading_value(row.cells[k], v)) v = NAN;
      out[k].push_back(v);
    }
  }
  return out;
}

void ReadingsTable::setValues(const std::vector<std::vector<double>>& columns) {
  const bool wasFilling = std::exchange(filling_, true);
  std::size_t n = 0;
  for (const auto& c : columns) n = std::max(n, c.size());
  for (int r = 0; r < rowCount(); ++r) {
    for (int c = 0; c < columnCount(); ++c) item(r, c)->setText(QString());
  }
  while (rowCount() < std::max(static_cast<int>(n) + 1, kOpeningRows)) appendRow();
  for (std::size_t k = 0; k < columns.size() && k < inputs_.size(); ++k) {
    for (std::size_t i = 0; i < columns[k].size(); ++i) {
      const double v = columns[k][i];
      item(static_cast<int>(i), static_cast<int>(k))
          ->setText(std::isfinite(v) ? qs(inspect::shortest(v)) : QString());
    }
  }
  filling_ = wasFilling;
}

void ReadingsTable::setResult(int row, int column, const QString& text) {
  if (row < 0 || row >= rowCount() || column < inputColumns() || column >= columnCount()) return;
  const bool wasFilling = std::exchange(filling_, true);
  item(row, column)->setText(text);
  filling_ = wasFilling;
}

void ReadingsTable::clearResults() {
  const bool wasFilling = std::exchange(filling_, true);
  for (int r = 0; r < rowCount(); ++r) {
    for (int c = inputColumns(); c < columnCount(); ++c) item(r, c)->setText(QString());
  }
  filling_ = wasFilling;
}

bool ReadingsTable::paste(const QString& text, QString* refusal, QString* note) {
  QStringList lines = text.split(QLatin1Char('\n'));
  for (QString& l : lines) {
    if (l.endsWith(QLatin1Char('\r'))) l.chop(1);
  }
  while (!lines.isEmpty() && lines.back().trimmed().isEmpty()) lines.removeLast();
  if (lines.isEmpty()) return true;
  const QChar separator = text.contains(QLatin1Char('\t'))  ? QLatin1Char('\t')
                          : text.contains(QLatin1Char(',')) ? QLatin1Char(',')
                          : text.contains(QLatin1Char(';')) ? QLatin1Char(';')
                                                            : QLatin1Char(' ');
  std::vector<QStringList> cells;
  for (const QString& l : lines) cells.push_back(cells_of(l, separator));
  // A first line of names (a header) is no reading.
  auto number = [](const QString& c) {
    double v = 0;
    return inspect::reading_value(c.toStdString(), v);
  };
  bool header = true;
  for (const QString& c : cells.front()) header = header && !blank_cell(c) && !number(c);
  if (header) {
    if (note != nullptr) {
      *note = QStringLiteral("首行“%1”是列名，未粘贴。").arg(lines.front().trimmed());
    }
    cells.erase(cells.begin());
  }
  // A table of one column takes a row of readings too (a spreadsheet's row, numbers separated
  // by blanks): each cell in turn, line by line.
  if (inputColumns() == 1) {
    std::vector<QStringList> flat;
    for (const QStringList& line : cells) {
      for (const QString& c : line) {
        if (!blank_cell(c)) flat.push_back({c});
      }
    }
    cells = std::move(flat);
  }
  const int startRow = std::max(0, currentRow());
  const int startColumn = std::clamp(currentColumn(), 0, inputColumns() - 1);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const int line = static_cast<int>(i) + (header ? 2 : 1);
    if (startColumn + cells[i].size() > inputColumns()) {
      bool extra = false;
      for (qsizetype c = inputColumns() - startColumn; c < cells[i].size(); ++c) {
        extra = extra || !blank_cell(cells[i][c]);
      }
      if (extra) {
        *refusal = QStringLiteral("粘贴内容第 %1 行的列数多于表格能放下的 %2 列，未粘贴。")
                       .arg(line)
                       .arg(inputColumns() - startColumn);
        return false;
      }
    }
    for (const QString& c : cells[i]) {
      if (!blank_cell(c) && !number(c)) {
        *refusal =
            QStringLiteral("粘贴内容第 %1 行的“%2”不是数，未粘贴。").arg(line).arg(c.trimmed());
        return false;
      }
    }
  }
  const bool wasFilling = std::exchange(filling_, true);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const int r = startRow + static_cast<int>(i);
    while (rowCount() <= r) appendRow();
    for (int c = 0; c < cells[i].size() && startColumn + c < inputColumns(); ++c) {
      item(r, startColumn + c)->setText(cells[i][c].trimmed());
    }
  }
  ensureSpareRow();
  filling_ = wasFilling;
  emit edited();
  return true;
}

void ReadingsTable::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste)) {
    QString refusal;
    QString note;
    if (!paste(QApplication::clipboard()->text(), &refusal, &note)) {
      emit pasteMessage(refusal);
    } else if (!note.isEmpty()) {
      emit pasteMessage(note);
    }
    return;
  }
  if (event->key() == Qt::Key_Delete && state() != QAbstractItemView::EditingState) {
    for (QTableWidgetItem* i : selectedItems()) {
      if (i->column() < inputColumns() && !i->text().isEmpty()) i->setText(QString());
    }
    return;
  }
  QTableWidget::keyPressEvent(event);
}

// ---- Sending results -----------------------------------------------------------------------

std::optional<std::vector<analysis::batch::Entry>> send_to_sheet(
    ProjectSession& session, std::uint64_t member, int sheet,
    const inspect::SheetTransfer& transfer, QWidget* parent, const QString& title) {
  const auto* m = session.member(member);
  const sheet::Module* module = m != nullptr ? analysis::project::module_of(*m) : nullptr;
  if (module != nullptr && module->table().number == sheet &&
      session.memberInSheet(sheet) != member && session.openInSheet(member) == nullptr) {
    return std::nullopt;
  }
  std::vector<sheet::Control> skipped;
  QtSheetView* view = session.typeIntoSheet(sheet, transfer.entries, &skipped);
  if (view == nullptr) return std::nullopt;
  QStringList notes;
  for (const auto& n : transfer.outOfRange) notes << qs(n);
  std::vector<analysis::batch::Entry> typed;
  for (const auto& e : transfer.entries) {
    if (std::find(skipped.begin(), skipped.end(), e.control) == skipped.end()) {
      typed.push_back(e);
      continue;
    }
    const sheet::FieldRow* f = view->table().field(e.control);
    notes << QStringLiteral("“%1”被计算表的另一输入禁用，%2 未能输入。")
                 .arg(f != nullptr ? qs(f->label) : qs(sheet::control_name(e.control)), qs(e.text));
  }
  if (!notes.isEmpty()) {
    session.mainWindow().dialogs().showWarning(parent, title, notes.join(QLatin1Char('\n')));
  }
  return typed;
}

ReliabilityWindow* open_reliability(ProjectSession& session, int sheet,
                                    const inspect::SheetTransfer& transfer, const QString& source) {
  MainWindow& main = session.mainWindow();
  if (main.showSheet(sheet) == nullptr) return nullptr;  // active: its values are the means
  ReliabilityWindow* w = session.analysis().openReliability();
  if (w == nullptr) return nullptr;
  for (const auto& s : transfer.scatter) {
    w->setScatter(sheet::text_box_number(s.box), s.scatter, source);
  }
  return w;
}

}  // namespace pellucor::shell
