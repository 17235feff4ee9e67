// The member table and the clipboard: a block pasted from a spreadsheet or as CSV lines into the
// input columns, the selection copied as a spreadsheet takes it, Delete on the inputs.
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTableWidget>
#include <algorithm>

#include "analysis/batch/csv.hpp"
#include "sheet/control_names.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/text.hpp"
#include "shell/tables/batch_window.hpp"
#include "shell/tables/member_table_view.hpp"

namespace pellucor::shell {

namespace batch = analysis::batch;

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
  // A first line that names columns: the block goes by its names.
  if (std::optional<std::vector<batch::InputColumn>> given = headerOf(lines.front())) {
    const int count = static_cast<int>(lines.size()) - 1;
    table_->setSortingEnabled(false);
    if (top + count > table_->rowCount()) setRowCount(top + count);
    for (int i = 0; i < count; ++i) {
      std::vector<std::string> cells;
      for (const QString& c : lines[static_cast<std::size_t>(i) + 1]) cells.push_back(utf8(c));
      clearOutcome(top + i);
      placeRow(top + i, *given, cells);
    }
    table_->setSortingEnabled(true);
    QString said = QStringLiteral("粘贴 %1 行（按首行的列名）").arg(count);
    if (given->size() < static_cast<std::size_t>(lines.front().size())) {
      said += QStringLiteral("；状态列及其后的列是计算结果，未粘贴");
    }
    summary_->setText(said + notANumberNote(top));
    return;
  }
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
      if (!columns_.typed(column)) {
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

std::optional<std::vector<batch::InputColumn>> BatchWindow::headerOf(const QStringList& line) {
  // Names only: a member's name or a text typed into a box is no column name.
  bool named = false;
  for (const QString& cell : line) {
    const std::string name = utf8(cell.trimmed());
    if (name.empty()) continue;
    if (batch::input_named(module_.table(), name).kind == sheet::InputTarget::Kind::None &&
        !batch::is_status_header(name) && name != "构件" && !sheet::iequal(name, "member")) {
      // After a status column, an earlier run's results: their names are no inputs.
      if (!named) return std::nullopt;
      std::vector<std::string> header;
      for (const QString& c : line) header.push_back(utf8(c));
      if (batch::earlier_output_columns(header).empty()) return std::nullopt;
      break;
    }
    named = true;
  }
  if (!named) return std::nullopt;
  std::vector<std::string> header;
  for (const QString& c : line) header.push_back(utf8(c));
  try {
    return batch::resolve_columns(module_.table(), header);
  } catch (const batch::ColumnError&) {
    return std::nullopt;  // pasted by place, as any other block
  }
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
        if (columns_.typed(item->column())) item->setText(QString());
      }
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace pellucor::shell
