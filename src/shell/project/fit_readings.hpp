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

// Types a transfer into sheet 1..n (opening its window). A value the sheet's range refuses is
// never typed: the user is told which and why before anything is typed, and chooses to send
// the rest (the box keeps what the sheet holds), to send everything to another sheet whose
// ranges take it (when one does), or nothing. An inspection age other than the one the sheet
// holds is asked about before it replaces it. When the member is one of that sheet's and the
// sheet does not hold it, the member is opened in the sheet first (after asking, when the
// sheet holds other inputs), so that its values and the transfer are typed together. A box
// another input has disabled is named (its text is not typed); a sheet that cannot compute
// afterwards says why. The entries typed and the sheet they went to; none when nothing was
// sent.
struct SentToSheet {
  int sheet = 0;
  std::vector<analysis::batch::Entry> entries;
  // The scatter of the boxes typed (for a reliability analysis).
  std::vector<analysis::inspect::SheetTransfer::BoxScatter> scatter;
};
std::optional<SentToSheet> send_to_sheet(ProjectSession& session, std::uint64_t member, int sheet,
                                         const analysis::inspect::SheetTransfer& transfer,
                                         QWidget* parent, const QString& title);

// A member of the sheet a transfer went to keeps what its sheet took: the texts typed, and with
// `scatter` their scatter for its reliability analysis. Nothing for a member of another sheet.
void keep_with_member(ProjectSession& session, std::uint64_t member, const SentToSheet& sent,
                      bool scatter);

// Why sheet 1..n's window cannot compute what it holds (the sheet's own message, naming the
// box); empty when it computes, or when the sheet is not open.
QString why_sheet_stops(ProjectSession& session, int sheet);

// The text of the member's box with the console name (alias) `alias` when it is a number (an
// inspection age, a design cover), for a readings window to start from; empty otherwise.
QString member_number(const ProjectSession& session, std::uint64_t member, std::string_view alias);

// What a transfer's values would meet on sheet 1..n: one line per value its range refuses
// ("D 0.1045 不在…"); empty when the sheet takes them all.
QStringList refused_by_sheet(const analysis::inspect::SheetTransfer& transfer, int sheet);

// Opens a reliability analysis of the sheet a transfer went to (its values as the means) with
// the scatter of the boxes typed as their defaults, `source` saying where they come from;
// nullptr when the sheet is not open, or (after a message saying why) when it cannot compute
// what it holds: a reliability analysis never opens on a sheet it cannot run.
ReliabilityWindow* open_reliability(ProjectSession& session, const SentToSheet& sent,
                                    const QString& source, QWidget* parent, const QString& title);

}  // namespace pellucor::shell
