// What the windows of inspection data share: a table of readings as a user types or pastes
// them, the window's place in the project (its member), and the way its results go to a sheet
// and to a reliability analysis.
#pragma once

#include <QStringList>
#include <QTableWidget>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/inspect/readings.hpp"
#include "analysis/inspect/transfer.hpp"

namespace pellucor::shell {

class ProjectSession;
class ReliabilityWindow;

// A table of readings: input columns that take numbers only (as typed into a sheet's box:
// full-width digits, point and signs read as half-width; anything else is not taken), result
// columns that the window fills, a row more whenever the last one is used. Ctrl+V pastes what
// a spreadsheet copies (tab-separated lines), CSV or numbers separated by blanks, from the
// current cell on; a table of one column takes the cells of a line as successive readings.
class ReadingsTable final : public QTableWidget {
  Q_OBJECT

 public:
  ReadingsTable(std::span<const analysis::inspect::ReadingColumn> inputs, QStringList headers,
                QWidget* parent = nullptr);

  int inputColumns() const { return static_cast<int>(inputs_.size()); }
  // The rows of the input columns for read_readings (numbered from 1).
  std::vector<analysis::inspect::ReadingRow> rows() const;
  // Per input column, the values of the rows that hold anything (an empty cell: NaN).
  std::vector<std::vector<double>> values() const;
  // Puts the values in (NaN: an empty cell); the result columns are emptied.
  void setValues(const std::vector<std::vector<double>>& columns);
  // A cell of a result column (counted over all columns).
  void setResult(int row, int column, const QString& text);
  void clearResults();
  // Pastes `text` from the current cell on; when a cell is not a number nothing is pasted and
  // *refusal says which (Chinese). A first line of names only (a header) is not pasted; *note
  // then says so.
  bool paste(const QString& text, QString* refusal, QString* note = nullptr);

 signals:
  // An input cell was changed by the user (typed or pasted).
  void edited();
  // What a paste by the keyboard did not take, or left out (Chinese).
  void pasteMessage(const QString& text);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  static constexpr int kOpeningRows = 12;
  void appendRow();
  void ensureSpareRow();

  std::vector<analysis::inspect::ReadingColumn> inputs_;
  bool filling_ = false;  // the table is writing cells itself
};

// Types a transfer into sheet 1..n (opening its window), and tells the user of any value the
// sheet's range will refuse and of any box another input has disabled (its text is not
// typed). When the member is one of that sheet's and the sheet does not hold it, the member is
// opened in the sheet first (after asking, when the sheet holds other inputs), so that its
// values and the transfer are typed together. The entries typed; none when the sheet could
// not be opened or the user would not have its inputs replaced.
std::optional<std::vector<analysis::batch::Entry>> send_to_sheet(
    ProjectSession& session, std::uint64_t member, int sheet,
    const analysis::inspect::SheetTransfer& transfer, QWidget* parent, const QString& title);

// Opens a reliability analysis of sheet 1..n (its values as the means) with the transfer's
// scatter as the defaults of its boxes, `source` saying where they come from; nullptr when the
// sheet is not open.
ReliabilityWindow* open_reliability(ProjectSession& session, int sheet,
                                    const analysis::inspect::SheetTransfer& transfer,
                                    const QString& source);

}  // namespace pellucor::shell
