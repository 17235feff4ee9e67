// A batch: a table of members run through one sheet. The columns name the sheet's inputs;
// each row is a member, played by the case runner on its own sheet; rows run on several
// threads and the outcome keeps the order of the rows, whatever the number of threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "analysis/batch/case_runner.hpp"
#include "analysis/batch/csv.hpp"
#include "sheet/sheet_table.hpp"
#include "sheet/user_input.hpp"

namespace pellucor::analysis::batch {

// What a column of the member table feeds.
struct InputColumn {
  enum class Kind {
    Member,   // "member": the member's name, passed through
    Control,  // a box, an option button or the steel-kind list
    Group,    // an option group by its caption: the cell names the option
  };
  Kind kind = Kind::Member;
  sheet::Control control = sheet::Control::None;
  const sheet::OptionGroupRow* group = nullptr;
  std::string header;  // as given
};

// An unknown or repeated column name; the table cannot run. what() says it in English; the
// kind and the names let a window say it in its own words.
struct ColumnError : std::runtime_error {
  enum class Kind {
    Unknown,      // `column` names no input of the sheet
    Repeated,     // `column` feeds what `other` already feeds
    AfterStatus,  // `column` names an input after the status column `other`
  };
  ColumnError(Kind k, std::string c, std::string o, const std::string& message)
      : std::runtime_error(message), kind(k), column(std::move(c)), other(std::move(o)) {}
  Kind kind;
  std::string column;
  std::string other;
};

// The columns of a header row: "member" (or "构件", as the desktop's member table writes it),
// or any name sheet::find_input knows (a control name,
// alias or label, an option group's caption). A name it does not know may be written as the
// member table of the desktop program exports it: a label followed by its unit in brackets
// ("保护层厚度 (mm)", "环境温度（℃）"), on several lines; such a name stands for the input its
// label names once blanks, line breaks and the unit are set aside. The output columns of an
// earlier run (from a status column — "status", "状态" or "检测时状态" — to the end: the status,
// the results, the state at the inspection age) are no inputs: the columns returned stop before
// them (fewer than the header's names; see earlier_output_columns). Throws ColumnError naming
// the first column that is unknown, feeds a control (or group) that an earlier column already
// feeds, or names an input after the status column.
std::vector<InputColumn> resolve_columns(const sheet::SheetTable& table,
                                         const std::vector<std::string>& header);

// The input a header name stands for by the rules of resolve_columns ("member" and the
// status columns are no inputs: None).
sheet::InputTarget input_named(const sheet::SheetTable& table, std::string_view given);
// True for the name of a status column an earlier run wrote.
bool is_status_header(std::string_view given);
// The header's names from the first status column on (none when it has no such column).
std::vector<std::string> earlier_output_columns(const std::vector<std::string>& header);

// Per column: never a number (the member's name, a choice of the steel list or of an option
// group) — a workbook stores such a cell as text whatever it looks like ("00123", "2").
std::vector<bool> text_columns(const std::vector<InputColumn>& columns);

// One member: its cells, or the reason why its line could not be read.
struct MemberRow {
  std::vector<std::string> cells;  // one per column
  std::string malformed;           // not empty: the row is not run; the status says why
  std::string raw;                 // the line as it stands (kept for a malformed row)
  std::size_t line = 0;            // its first line in the input, 0 when not from a file
};

// The member rows of CSV records after the header record (records[0]); a record with the
// wrong number of fields or broken quotes becomes a malformed row.
std::vector<MemberRow> member_rows(const std::vector<CsvRecord>& records, std::size_t columns);
// One member row of a record (already UTF-8).
MemberRow member_row(CsvRecord record, std::size_t columns);
// The same into `row`, whose memory is used again: the record takes the row's earlier cells
// (to be filled by the next record).
void fill_member_row(MemberRow& row, CsvRecord& record, std::size_t columns);

// What one member came to.
struct RowOutcome {
  enum class Status {
    NotRun,     // cancelled before its turn
    Done,       // ran to its end
    Stopped,    // stopped at a message (or a cell the sheet cannot take)
    Malformed,  // its line could not be read
    Failed,     // the program failed on it (an error of the program, not of the member)
  };
  Status status = Status::NotRun;
  // "ok", or the message after the label of the input it concerns ("保护层厚度: 您输入的…",
  // "钢筋种类: '9' is no steel kind …"); a malformed row's or a failure's reason.
  std::string statusText;
  sheet::Control control = sheet::Control::None;  // Stopped: the control named, if any
  std::string message;                            // Stopped: the message alone
  // Stopped at a cell the sheet cannot take (before anything was typed): why.
  sheet::TypedValue::Why refused = sheet::TypedValue::Why::None;
  std::vector<std::string> results;  // Done: as result_headers
  // Done: the ages that place the member on its time course, a: the inspection age t, the
  // initiation t_i, the cover cracking t_c and the end of the durable life t_d.
  struct Ages {
    double t = 0, ti = 0, tc = 0, td = 0;
  };
  std::optional<Ages> ages;
};

inline constexpr std::string_view kStatusOk = "ok";
inline constexpr std::string_view kStatusNotRun = "not run";

// The entries a row's cells stand for, in column order; none, with the outcome saying why in
// *refused, when a box's cell is not wholly a number (a table says a number: "4O" is a slip,
// never a 4), a cell names no item of the steel list, no option, or chooses nothing.
std::optional<std::vector<Entry>> row_entries(const sheet::SheetTable& table,
                                              const std::vector<InputColumn>& columns,
                                              const std::vector<std::string>& cells,
                                              RowOutcome* refused = nullptr);

// The first entry for a box whose text is not wholly a number (see sheet::typed_number; an
// empty text or blanks leave the box as it is); nullptr when there is none. A project's box,
// like a table's cell, says a number: its text is never read by the sheet's prefix rule.
const Entry* first_not_a_number(const sheet::SheetTable& table, const std::vector<Entry>& entries);

// Plays a row on a fresh sheet (see run_case) and says what it came to.
RowOutcome run_member(const sheet::Module& module, const std::vector<InputColumn>& columns,
                      const MemberRow& row);
// The same into `outcome`, whose texts are used again.
void run_member(const sheet::Module& module, const std::vector<InputColumn>& columns,
                const MemberRow& row, RowOutcome& outcome);

struct RunOptions {
  unsigned jobs = 0;  // threads; 0: one per core
  // Told of progress now and then from a worker thread (rows finished, rows in all).
  std::function<void(std::size_t, std::size_t)> progress;
  // Set to stop: rows not yet started stay NotRun.
  const std::atomic<bool>* cancel = nullptr;
  // Starts a thread (see ParallelOptions::startThread); empty: std::thread.
  std::function<std::thread(std::function<void()>)> startThread;
};

// How a run of rows went on the threads.
struct RunReport {
  unsigned threads = 0;  // threads that ran rows
  unsigned refused = 0;  // threads asked for that the system would not start
};

// Runs the rows on the threads asked for (fewer when the system will not start them: see
// *report). A row on which the program itself fails (an exception) is Failed with the reason;
// the other rows run on.
std::vector<RowOutcome> run_members(const sheet::Module& module,
                                    const std::vector<InputColumn>& columns,
                                    const std::vector<MemberRow>& rows, const RunOptions& options,
                                    RunReport* report = nullptr);
// The same into `outcomes` (resized to the rows; its memory is used again).
void run_members(const sheet::Module& module, const std::vector<InputColumn>& columns,
                 const std::vector<MemberRow>& rows, const RunOptions& options, RunReport* report,
                 std::vector<RowOutcome>& outcomes);

// The output table: the input columns, "status", the result columns.
struct OutputTable {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  std::vector<bool> stopped;          // per row: not computed
  std::size_t firstResultColumn = 0;  // after "status"
  std::size_t statusColumn = 0;
  std::vector<bool> textColumns;   // per column: never a number (member, choices, status)
  std::vector<std::size_t> lines;  // per row: its line in the input (0: none)
  // A workbook's sheet "说明": what wrote it, when, the units (none: no such sheet; CSV never).
  std::vector<std::pair<std::string, std::string>> about;
};

// The header of the output: the input header, "status", the sheet's result headers.
std::vector<std::string> output_header(int sheet, const std::vector<std::string>& header);
// The output cells of a row: its input cells (a malformed row's line in the first column),
// its status, its results.
std::vector<std::string> output_cells(std::size_t inputColumns, const MemberRow& row,
                                      const RowOutcome& outcome, std::size_t resultColumns);
// The same, taking the row's cells and the outcome's texts along.
std::vector<std::string> output_cells(std::size_t inputColumns, MemberRow&& row,
                                      RowOutcome&& outcome, std::size_t resultColumns);

OutputTable output_table(int sheet, const std::vector<std::string>& header,
                         const std::vector<InputColumn>& columns,
                         const std::vector<MemberRow>& rows,
                         const std::vector<RowOutcome>& outcomes);

// The CSV text of the table (UTF-8, CR LF).
std::string csv_text(const OutputTable& table);

// Counts of a batch for its summary line.
struct Summary {
  std::size_t rows = 0, done = 0, stopped = 0, malformed = 0, notRun = 0, failed = 0;
  void add(const RowOutcome& outcome);
};
Summary summarize(const std::vector<RowOutcome>& outcomes);
std::string summary_line(const Summary& s);

}  // namespace pellucor::analysis::batch
