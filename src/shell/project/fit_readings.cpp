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

namespace {

const sheet::SheetTable& table_of(int sheet) {
  return modules::all_modules().at(static_cast<std::size_t>(sheet - 1))->table();
}

QString caption_of(int sheet) {
  return qs(table_of(sheet).caption);
}

// Whether the text lies outside the range of the box it goes into.
bool out_of_range(const sheet::FieldRow& f, const std::string& text) {
  const auto v = sheet::typed_number(text);
  return v && (*v < f.lo || *v > f.hi);
}

// The transfer with its boxes on sheet `to`, found by their console names; none when `to`
// lacks one of them.
std::optional<inspect::SheetTransfer> retargeted(const inspect::SheetTransfer& t, int from,
                                                 int to) {
  inspect::SheetTransfer out;
  auto moved = [&](sheet::Control c) -> std::optional<sheet::Control> {
    const sheet::FieldRow* f = table_of(from).field(c);
    if (f == nullptr) return std::nullopt;
    const sheet::Control there = analysis::batch::control_by_name(table_of(to), f->alias);
    if (table_of(to).field(there) == nullptr) return std::nullopt;
    return there;
  };
  for (const auto& e : t.entries) {
    const auto c = moved(e.control);
    if (!c) return std::nullopt;
    out.entries.push_back({*c, e.text});
  }
  for (const auto& s : t.scatter) {
    const auto c = moved(s.box);
    if (!c) return std::nullopt;
    out.scatter.push_back({*c, s.scatter});
  }
  return out;
}

// The text the sheet holds in box c now: the open window's, else the member's when the member
// belongs to that sheet; empty when neither.
std::string held_text(ProjectSession& session, std::uint64_t member, int sheet, sheet::Control c) {
  const auto* m = session.member(member);
  const sheet::Module* module = m != nullptr ? analysis::project::module_of(*m) : nullptr;
  if (module != nullptr && module->table().number == sheet &&
      session.memberInSheet(sheet) != member) {
    const auto it = m->boxes.find(c);
    return it == m->boxes.end() ? std::string() : it->second;
  }
  if (const QtSheetView* view = session.mainWindow().sheetView(sheet)) return view->text(c);
  return {};
}

}  // namespace

void keep_with_member(ProjectSession& session, std::uint64_t member, const SentToSheet& sent,
                      bool scatter) {
  const auto* m = session.member(member);
  const sheet::Module* module = m != nullptr ? analysis::project::module_of(*m) : nullptr;
  if (module == nullptr || module->table().number != sent.sheet) return;
  session.updateMember(member, [&](analysis::project::Member& target) {
    for (const auto& e : sent.entries) target.boxes[e.control] = e.text;
    if (!scatter) return;
    for (const auto& s : sent.scatter) target.scatter[s.box] = {s.scatter.cov, s.scatter.dist};
  });
}

QStringList refused_by_sheet(const inspect::SheetTransfer& transfer, int sheet) {
  QStringList out;
  for (const auto& e : transfer.entries) {
    const sheet::FieldRow* f = table_of(sheet).field(e.control);
    if (f == nullptr || !out_of_range(*f, e.text)) continue;
    out << QStringLiteral("%1 %2 不在有效范围 %3--%4 内")
               .arg(qs(f->label), qs(e.text), digits(f->lo), digits(f->hi));
  }
  return out;
}

QString member_number(const ProjectSession& session, std::uint64_t member, std::string_view alias) {
  const auto* m = session.member(member);
  const sheet::Module* module = m != nullptr ? analysis::project::module_of(*m) : nullptr;
  if (module == nullptr) return {};
  const sheet::Control c = analysis::batch::control_by_name(module->table(), alias);
  const auto it = m->boxes.find(c);
  if (it == m->boxes.end()) return {};
  const auto v = sheet::typed_number(it->second);
  return v && *v > 0 ? qs(inspect::shortest(*v)) : QString();
}

QString why_sheet_stops(ProjectSession& session, int sheet) {
  const QtSheetView* view = session.mainWindow().sheetView(sheet);
  if (view == nullptr) return {};
  // The window's boxes, choices and locks as they stand, calculated aside: its checks at
  // Calculate and its model say what it lacks, and nothing shows in the window.
  const sheet::Module& module = view->controller().module();
  const sheet::SheetTable& table = module.table();
  analysis::batch::MemoryView aside(table, false);
  sheet::SheetController controller(module);
  controller.open(aside);
  controller.setReportWanted(false);
  for (const auto& f : table.fields) {
    aside.setText(f.control, view->text(f.control));
    aside.setEnabled(f.control, view->isEnabled(f.control));
  }
  aside.setText(sheet::Control::Combo1, view->text(sheet::Control::Combo1));
  for (const auto& g : table.groups) {
    for (const auto& o : g.options) {
      if (view->isSelected(o.control)) aside.select(o.control);
    }
  }
  const sheet::CalculateOutcome outcome = controller.calculate();
  if (outcome.done()) return {};
  if (outcome.message.empty()) return QStringLiteral("计算未完成");
  const sheet::Control c = outcome.control;
  return (c == sheet::Control::None ||
                  outcome.status != sheet::CalculateOutcome::Status::CheckFailed
              ? QString()
              : qs(sheet::input_label(table, c)) + QStringLiteral("：")) +
         qs(outcome.message);
}

std::optional<SentToSheet> send_to_sheet(ProjectSession& session, std::uint64_t member, int sheet,
                                         const inspect::SheetTransfer& transfer, QWidget* parent,
                                         const QString& title) {
  Dialogs& dialogs = session.mainWindow().dialogs();
  const sheet::SheetTable& table = table_of(sheet);
  // A value the sheet's range refuses is never typed: asked about first.
  std::vector<analysis::batch::Entry> entries;
  QStringList kept;
  for (const auto& e : transfer.entries) {
    const sheet::FieldRow* f = table.field(e.control);
    if (f != nullptr && out_of_range(*f, e.text)) continue;
    entries.push_back(e);
    if (f != nullptr) kept << QStringLiteral("%1 %2").arg(qs(f->label), qs(e.text));
  }
  if (const QStringList refused = refused_by_sheet(transfer, sheet); !refused.isEmpty()) {
    // Another sheet whose boxes of the same names take every value.
    int other = 0;
    for (const sheet::Module* m : modules::all_modules()) {
      const int n = m->table().number;
      if (n == sheet || other != 0) continue;
      if (const auto t = retargeted(transfer, sheet, n); t && refused_by_sheet(*t, n).isEmpty()) {
        other = n;
      }
    }
    QStringList answers;
    if (!entries.empty()) answers << QStringLiteral("只送入其余的值");
    if (other != 0) answers << QStringLiteral("送入“%1”").arg(caption_of(other));
    answers << QStringLiteral("取消");
    QString text = QStringLiteral("计算表“%1”不接受：\n· %2\n\n")
                       .arg(caption_of(sheet), refused.join(QStringLiteral("\n· ")));
    text += entries.empty()
                ? QStringLiteral("没有它能接受的值。")
                : QStringLiteral("可以只送入其余的值（%1）：超出范围的框保持计算表中原有的内容。")
                      .arg(kept.join(QStringLiteral("，")));
    if (other != 0) {
      text += QStringLiteral("\n计算表“%1”的有效范围能接受全部的值。").arg(caption_of(other));
    }
    const auto answer = dialogs.ask(parent, title, text, answers, answers.size() - 1);
    if (!answer || *answer == answers.size() - 1) return std::nullopt;
    if (answers[*answer] != QStringLiteral("只送入其余的值")) {
      return send_to_sheet(session, member, other, *retargeted(transfer, sheet, other), parent,
                           title);
    }
  }
  // An inspection age other than the sheet's is asked about before it replaces it.
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    const sheet::FieldRow* f = table.field(it->control);
    if (f == nullptr || f->alias != "age") continue;
    const std::string held = held_text(session, member, sheet, it->control);
    const auto before = sheet::typed_number(held);
    const auto now = sheet::typed_number(it->text);
    if (!before || *before <= 0 || !now || *before == *now) continue;
    const QString was = qs(held).trimmed();
    const QString sent = qs(it->text);
    const auto answer = dialogs.ask(parent, title,
                                    QStringLiteral("读数的龄期 %1 a 与计算表“%2”中的%3 %4 a 不同。")
                                        .arg(sent, caption_of(sheet), qs(f->label), was),
                                    {QStringLiteral("改为 %1 a").arg(sent),
                                     QStringLiteral("保留 %1 a").arg(was), QStringLiteral("取消")},
                                    2);
    if (!answer || *answer == 2) return std::nullopt;
    if (*answer == 1) entries.erase(it);
    break;
  }
  const auto* m = session.member(member);
  const sheet::Module* module = m != nullptr ? analysis::project::module_of(*m) : nullptr;
  if (module != nullptr && module->table().number == sheet &&
      session.memberInSheet(sheet) != member && session.openInSheet(member) == nullptr) {
    return std::nullopt;
  }
  std::vector<sheet::Control> skipped;
  QtSheetView* view = session.typeIntoSheet(sheet, entries, &skipped);
  if (view == nullptr) return std::nullopt;
  QStringList notes;
  SentToSheet sent{sheet, {}, {}};
  for (const auto& e : entries) {
    if (std::find(skipped.begin(), skipped.end(), e.control) == skipped.end()) {
      sent.entries.push_back(e);
      for (const auto& s : transfer.scatter) {
        if (s.box == e.control) sent.scatter.push_back(s);
      }
      continue;
    }
    notes << QStringLiteral("“%1”被计算表的另一输入禁用，%2 未能输入。")
                 .arg(qs(sheet::input_label(table, e.control)), qs(e.text));
  }
  // What the sheet still lacks, said now rather than at its Calculate.
  if (const QString stop = why_sheet_stops(session, sheet); !stop.isEmpty()) {
    notes << QStringLiteral("计算表“%1”现在还不能计算：%2").arg(caption_of(sheet), stop);
  }
  if (!notes.isEmpty()) dialogs.showWarning(parent, title, notes.join(QLatin1Char('\n')));
  return sent;
}

ReliabilityWindow* open_reliability(ProjectSession& session, const SentToSheet& sent,
                                    const QString& source, QWidget* parent, const QString& title) {
  MainWindow& main = session.mainWindow();
  if (main.showSheet(sent.sheet) == nullptr) return nullptr;  // active: its values are the means
  // The run takes the sheet's values as its means: a sheet that stops cannot give them.
  if (const QString stop = why_sheet_stops(session, sent.sheet); !stop.isEmpty()) {
    main.dialogs().showWarning(
        parent, title,
        QStringLiteral("可靠度分析未打开：它以计算表的值为均值，而计算表“%1”还不能计算（%2）。")
            .arg(caption_of(sent.sheet), stop));
    return nullptr;
  }
  ReliabilityWindow* w = session.analysis().openReliability();
  if (w == nullptr) return nullptr;
  for (const auto& s : sent.scatter) {
    w->setScatter(sheet::text_box_number(s.box), s.scatter, source);
  }
  return w;
}

}  // namespace pellucor::shell
