// The member table of a sheet: one row per member, the sheet's boxes as columns; paste from a
// spreadsheet, import and export CSV, export XLSX, run every row in a worker thread with
// progress and cancel, and open a row in the sheet to examine the member there. Its sources
// follow these jobs: the window, its rows, its runs and the assessment beside it here
// (batch_window.cpp); the clipboard (member_table_clipboard.cpp); imports and exports
// (member_table_files.cpp); the columns (member_columns.*) and the table's widgets
// (member_table_view.*).
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/assess/margin.hpp"
#include "analysis/batch/batch.hpp"
#include "analysis/batch/batch_job.hpp"
#include "analysis/batch/csv.hpp"
#include "analysis/batch/output_file.hpp"
#include "shell/kit/unsaved_work.hpp"
#include "shell/tables/member_columns.hpp"

class QAction;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace pellucor::shell {

class AssessmentPanel;
class BackgroundRun;
class Dialogs;
class FrozenColumn;
class MainWindow;
class QtSheetView;

class BatchWindow final : public QWidget, public UnsavedWork {
  Q_OBJECT

 public:
  BatchWindow(MainWindow& main, int sheet, Dialogs& dialogs, QWidget* parent = nullptr);
  ~BatchWindow() override;

  int sheet() const { return sheet_; }
  QTableWidget* table() const { return table_; }
  // The table's columns, by what they hold: member, the sheet's inputs, status, the results,
  // the state at the inspection age, the assessment.
  const MemberColumns& columns() const { return columns_; }
  QProgressBar* progressBar() const { return progress_; }
  AssessmentPanel* assessment() const { return assessment_; }
  bool isRunning() const { return worker_ != nullptr; }

  // Puts lines of tab-separated cells (a spreadsheet's copy) or CSV lines into the table from
  // the current cell on (rows are added as needed; nothing goes into the status and result
  // columns: cells that would are counted and said). A block whose first line names columns
  // (as an export or the console's table does) goes by those names into the rows from the
  // current row on.
  void paste(const QString& text);
  // The selected cells as tab-separated lines (the smallest block holding the selection).
  QString copySelection() const;
  // Whether computed rows have not been exported since the run.
  bool hasUnexportedResults() const { return unexported_; }
  void addRow();
  void deleteSelectedRows();
  // Takes the rows of a CSV file or of the first sheet of a workbook (.xlsx), its own exports
  // included: in place of the table's rows or after them (asked when the table holds rows);
  // what was computed before is cleared until 全部计算 runs again. False (after a warning in
  // Chinese) when it cannot, or when the user cancelled.
  bool importCsv(const QString& path);
  // Writes the table; the summary line then says where.
  bool exportCsv(const QString& path);
  bool exportXlsx(const QString& path);
  // The name an export is offered under (without its ending); by default the sheet's.
  void setExportName(const QString& name) { exportName_ = name; }
  const QString& exportName() const { return exportName_; }
  // Runs every row in a worker thread; finished() when it ends.
  void calculateAll();
  void cancel();
  // Types the row's texts into the sheet's window, opening it if needed.
  // Asks first when the sheet's window holds inputs of its own; the sheet's caption then names
  // the member.
  void openInSheet(int row);
  // The limit states a member counts by its name when they are its own (a project's member);
  // none: the assessment settings'. Used from the next run on.
  using MemberLimitStates =
      std::function<std::optional<std::vector<analysis::assess::LimitState>>(const QString& name)>;
  void setMemberLimitStates(MemberLimitStates limitStates);

  // Rows that live in a project (a member table opened from it): their results are the
  // project's to compute again, so closing never asks about them; `unsavedRows` says what the
  // table holds that the project does not (empty: nothing).
  void setRowsLiveIn(std::function<QStringList()> unsavedRows);

  // UnsavedWork: a run going on; computed rows not exported, or for a project's table rows
  // not saved to the project.
  QStringList unsavedWork() const override;
  void closeWithoutAsking() override { closeAgreed_ = true; }

 signals:
  void finished();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Asks before computed rows that were not exported, or a run going on, are dropped.
  void closeEvent(QCloseEvent* event) override;

 private:
  // The window's name in its messages.
  inline static const QString kTitle = QStringLiteral("批量计算");
  // The outcome of a row, kept on its status cell (the text is for the reader).
  static constexpr int kOutcomeRole = Qt::UserRole + 1;

  void buildColumns();
  // Puts the cells of one member into row `row` by the columns they were given in.
  void placeRow(int row, const std::vector<analysis::batch::InputColumn>& given,
                const std::vector<std::string>& cells);
  // "；N 个数值单元格不是数（…）…" for the rows from `fromRow` on; empty when there are none.
  QString notANumberNote(int fromRow) const;
  bool holdsRows() const;
  // The columns a pasted first line names; none when it is no header row.
  std::optional<std::vector<analysis::batch::InputColumn>> headerOf(const QStringList& line);
  bool rowHoldsInput(int row) const;
  // Every row's status and results, the grades and the summary, cleared.
  void clearComputed();
  std::vector<std::vector<std::string>> inputCells() const;
  void setRowCount(int rows);
  void setCell(int row, int column, const QString& text);
  void clearOutcome(int row);
  void applyOutcome(int row, const analysis::batch::RowOutcome& outcome);
  // The status of a row in Chinese, naming the input it concerns by its label.
  QString statusText(int row, const analysis::batch::RowOutcome& outcome) const;
  void runFinished(std::vector<analysis::batch::RowOutcome> outcomes,
                   analysis::batch::RunReport threads, const QString& error);
  void setRunning(bool running);
  analysis::batch::OutputTable outputTable() const;
  bool exportTable(const QString& path, analysis::batch::TableFormat format);
  std::vector<std::string> exportHeader() const;
  std::optional<QString> askSave(const QString& title, const QString& filter,
                                 const QString& suffix);
  // The members of a finished run handed to the assessment, and its columns filled.
  void assessRows(const std::vector<analysis::batch::RowOutcome>& outcomes);
  void showAssessment();

  MainWindow& main_;
  const int sheet_;
  const sheet::Module& module_;
  Dialogs& dialogs_;
  const MemberColumns columns_;
  MemberLimitStates memberLimitStates_;
  FrozenColumn* frozen_ = nullptr;
  bool unexported_ = false;
  bool closeAgreed_ = false;                  // the next close asks nothing
  std::function<QStringList()> unsavedRows_;  // set: the rows live in a project
  QString exportName_;
  QTableWidget* table_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* summary_ = nullptr;
  AssessmentPanel* assessment_ = nullptr;
  std::vector<QPushButton*> idleButtons_;  // disabled while a run goes on
  QPushButton* cancel_ = nullptr;
  std::atomic<bool> cancelRequested_{false};
  std::atomic<std::size_t> rowsDone_{0};
  std::unique_ptr<BackgroundRun> worker_;  // last: goes first
};

// Why a cell of input `name` cannot be typed into its sheet, in the table's words:
// "保护层厚度：'4O' 不是数".
QString refused_cell_text(const QString& name, const QString& cell, sheet::TypedValue::Why why);

// Adds 批量计算(&M)… to the main window's analysis menu: it opens the member table of the
// active sheet (or of the active member table's sheet). Disabled while neither is active.
QAction* install_batch_menu(MainWindow& main);

}  // namespace pellucor::shell
