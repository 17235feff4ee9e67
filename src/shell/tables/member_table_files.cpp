// The member table's files: a CSV file (UTF-8 or GBK, asked when it cannot be told) or the
// first sheet of a workbook imported into the table, the table exported as CSV or as a workbook
// with its results, state and assessment.
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTableWidget>
#include <exception>
#include <optional>

#include "analysis/batch/csv.hpp"
#include "analysis/batch/output_file.hpp"
#include "analysis/batch/workbook_reader.hpp"
#include "sheet/user_input.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/text.hpp"
#include "shell/reports/pdf_report.hpp"
#include "shell/tables/assessment_panel.hpp"
#include "shell/tables/batch_window.hpp"

namespace pellucor::shell {

namespace batch = analysis::batch;
using sheet::Control;

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

QString column_problem(const batch::ColumnError& e) {
  switch (e.kind) {
    case batch::ColumnError::Kind::Unknown:
      return QStringLiteral("列名“%1”不是本计算表的输入（也不是“构件”或“状态”）").arg(qs(e.column));
    case batch::ColumnError::Kind::Repeated:
      return QStringLiteral("列“%1”与列“%2”是同一个输入").arg(qs(e.column), qs(e.other));
    case batch::ColumnError::Kind::AfterStatus:
      return QStringLiteral("输入列“%1”在状态列“%2”之后（状态列之后是上一次计算的结果）")
          .arg(qs(e.column), qs(e.other));
  }
  return qs(e.what());
}

}  // namespace

void BatchWindow::placeRow(int row, const std::vector<batch::InputColumn>& given,
                           const std::vector<std::string>& cells) {
  for (std::size_t k = 0; k < given.size() && k < cells.size(); ++k) {
    const batch::InputColumn& source = given[k];
    const QString cell = qs(cells[k]);
    switch (source.kind) {
      case batch::InputColumn::Kind::Member:
        setCell(row, 0, cell);
        break;
      case batch::InputColumn::Kind::Group:
        setCell(row, columns_.of(source.group->options[0].control), cell.trimmed());
        break;
      case batch::InputColumn::Kind::Control: {
        const int column = columns_.of(source.control);
        if (column < 0) break;
        if (columns_.inputs()[static_cast<std::size_t>(column)].kind ==
            batch::InputColumn::Kind::Group) {
          // An option column: 1 chooses the option.
          if (sheet::option_flag(cells[k]).value_or(false)) {
            const auto* g = columns_.inputs()[static_cast<std::size_t>(column)].group;
            const auto& o = g->options[0].control == source.control ? g->options[0] : g->options[1];
            setCell(row, column, qs(o.caption));
          }
        } else if (source.control == Control::Combo1) {
          // The item the cell names, as the list shows it; anything else as it stands.
          const auto item = sheet::steel_item(cells[k]);
          setCell(row, column, item ? qs(*item) : cell.trimmed());
        } else {
          setCell(row, column, cell);
        }
        break;
      }
    }
  }
}

QString BatchWindow::notANumberNote(int fromRow) const {
  // Cells of boxes that are not wholly a number are taken as they stand and named now; a run
  // stops those members there.
  int notNumbers = 0;
  QString first;
  for (int r = fromRow; r < table_->rowCount(); ++r) {
    for (int c = 1; c < columns_.status(); ++c) {
      const auto& input = columns_.inputs()[static_cast<std::size_t>(c)];
      const QTableWidgetItem* item = table_->item(r, c);
      if (input.kind != batch::InputColumn::Kind::Control || input.group != nullptr ||
          input.control == Control::Combo1 || item == nullptr || item->text().trimmed().isEmpty() ||
          typed_number(item->text())) {
        continue;
      }
      if (notNumbers++ == 0) {
        first = QStringLiteral("第 %1 行 %2")
                    .arg(r + 1)
                    .arg(refused_cell_text(columns_.name(c), item->text(),
                                           sheet::TypedValue::Why::NotANumber));
      }
    }
  }
  if (notNumbers == 0) return {};
  return QStringLiteral("；%1 个数值单元格不是数（%2%3），计算时这些构件停在该单元格，状态列指出")
      .arg(notNumbers)
      .arg(first, notNumbers > 1 ? QStringLiteral(" 等") : QString());
}

bool BatchWindow::rowHoldsInput(int row) const {
  for (int c = 0; c < columns_.status(); ++c) {
    if (const QTableWidgetItem* item = table_->item(row, c); item && !item->text().isEmpty()) {
      return true;
    }
  }
  return false;
}

bool BatchWindow::holdsRows() const {
  for (int r = 0; r < table_->rowCount(); ++r) {
    if (rowHoldsInput(r)) return true;
  }
  return false;
}

void BatchWindow::clearComputed() {
  for (int r = 0; r < table_->rowCount(); ++r) {
    clearOutcome(r);
    table_->setRowHidden(r, false);
  }
  assessment_->setMembers({});
  unexported_ = false;
}

bool BatchWindow::importCsv(const QString& path) {
  if (isRunning()) return false;
  batch::MemberTable read;
  std::vector<batch::InputColumn> given;
  std::optional<batch::Encoding> encoding;
  const QString shown = QDir::toNativeSeparators(path);
  if (const QFileInfo info(path); !info.exists() || !info.isFile() || !info.isReadable()) {
    dialogs_.showWarning(this, kTitle,
                         QStringLiteral("无法导入 %1：%2")
                             .arg(shown, !info.exists()   ? QStringLiteral("文件不存在")
                                         : !info.isFile() ? QStringLiteral("它不是文件")
                                                          : QStringLiteral("没有读取权限")));
    return false;
  } else if (info.size() == 0) {
    dialogs_.showWarning(this, kTitle,
                         QStringLiteral("无法导入 %1：文件是空的，没有列名行").arg(shown));
    return false;
  }
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
                           QStringLiteral("无法导入 %1：%2").arg(shown, encoding_problem(e)));
      return false;
    } catch (const std::exception& e) {
      dialogs_.showWarning(
          this, kTitle,
          QStringLiteral("无法导入 %1：文件无法按构件表读取（%2）").arg(shown, qs(e.what())));
      return false;
    }
  }
  try {
    // A table exported from here names its boxes by their labels with units, and carries its
    // status and results after them: the columns stop there (see resolve_columns).
    given = batch::resolve_columns(module_.table(), read.header);
  } catch (const batch::ColumnError& e) {
    dialogs_.showWarning(this, kTitle,
                         QStringLiteral("无法导入 %1：%2").arg(shown, column_problem(e)));
    return false;
  }
  // Replace the rows, or add to them: asked when the table holds rows of its own.
  bool append = false;
  if (holdsRows()) {
    const QString computed =
        unexported_ ? QStringLiteral("表中已计算、尚未导出的结果不再保留。") : QString();
    const auto answer =
        dialogs_.ask(this, kTitle,
                     QStringLiteral("表中已有构件。导入的 %1 行替换表中的全部行，还是追加在表末？%2"
                                    "已算出的状态、结果与等级都将清除，待“全部计算”后重新给出。")
                         .arg(read.rows.size())
                         .arg(computed),
                     {QStringLiteral("替换"), QStringLiteral("追加"), QStringLiteral("取消")}, 2);
    if (!answer || *answer == 2) return false;
    append = *answer == 1;
  }
  const std::vector<batch::MemberRow>& rows = read.rows;
  table_->setSortingEnabled(false);
  clearComputed();
  // Appended after the last row that holds anything (an empty last row is used).
  int first = 0;
  if (append) {
    first = table_->rowCount();
    while (first > 0 && !rowHoldsInput(first - 1)) --first;
  }
  table_->setRowCount(first);
  setRowCount(first + static_cast<int>(rows.size()));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const int r = first + i;
    const batch::MemberRow& row = rows[static_cast<std::size_t>(i)];
    if (!row.malformed.empty()) {
      // Nothing is lost: the line goes into the member cell, the status says why.
      setCell(r, 0, qs(row.raw));
      batch::RowOutcome malformed;
      malformed.status = batch::RowOutcome::Status::Malformed;
      malformed.statusText = row.malformed;
      applyOutcome(r, malformed);
      continue;
    }
    placeRow(r, given, row.cells);
  }
  table_->setSortingEnabled(true);
  QString said = append ? QStringLiteral("追加 %1 行").arg(rows.size())
                        : QStringLiteral("导入 %1 行").arg(rows.size());
  if (given.size() < read.header.size()) {
    said += QStringLiteral("；状态列及其后的 %1 列是上一次计算的结果，未读入")
                .arg(read.header.size() - given.size());
  }
  said += notANumberNote(first);
  summary_->setText(said);
  return true;
}

batch::OutputTable BatchWindow::outputTable() const {
  batch::OutputTable t;
  t.header = columns_.exportHeader();
  t.statusColumn = static_cast<std::size_t>(columns_.status());
  t.firstResultColumn = static_cast<std::size_t>(columns_.firstResult());
  t.textColumns = columns_.textColumns();
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
    const QTableWidgetItem* status = table_->item(r, columns_.status());
    const QVariant outcome = status ? status->data(kOutcomeRole) : QVariant();
    t.stopped.push_back(outcome.isValid() &&
                        outcome.toInt() != static_cast<int>(batch::RowOutcome::Status::Done));
    t.rows.push_back(std::move(cells));
  }
  return t;
}

std::optional<QString> BatchWindow::askSave(const QString& title, const QString& filter,
                                            const QString& suffix) {
  return dialogs_.chooseSaveFile(this, title, filter, suffix, SaveMode::Replace,
                                 exportName_ + QStringLiteral(".") + suffix);
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
    summary_->setText(written_to(path));
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

}  // namespace pellucor::shell
