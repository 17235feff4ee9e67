// Writing a batch's output table, row block by row block, through a safe output (see
// sheet::SafeOutput: a file is complete or untouched, a stream is written as it goes): CSV in
// UTF-8 with BOM or GBK, or an XLSX workbook written in constant memory.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/batch.hpp"
#include "analysis/batch/csv.hpp"
#include "sheet/result_writer.hpp"
#include "sheet/safe_output.hpp"

namespace pellucor::analysis::batch {

// An output that cannot be written; `failure` says why in the words of the result file.
struct FileError : std::runtime_error {
  FileError(std::string path, sheet::WriteFailure f)
      : std::runtime_error(sheet::output_failure_message(path, f) + " (" + f.detail + ")"),
        failure(std::move(f)) {}
  // A problem that is not a system error (a table too large, a cell a workbook cannot hold).
  explicit FileError(const std::string& message) : std::runtime_error(message) {}
  sheet::WriteFailure failure;
};

// A workbook holds 1,048,576 rows and 16,384 columns; one row is the header.
inline constexpr std::size_t kWorkbookMembers = 1'048'575;
inline constexpr std::size_t kWorkbookColumns = 16'384;

class TableWriter {
 public:
  virtual ~TableWriter() = default;
  // The header row; `textColumns` and `statusColumn` as in OutputTable.
  virtual void header(const std::vector<std::string>& header, const std::vector<bool>& textColumns,
                      std::size_t statusColumn) = 0;
  // The next rows, in order; `stopped` per row; `lines` per row (input line, 0 for none).
  virtual void rows(const std::vector<std::vector<std::string>>& rows,
                    const std::vector<bool>& stopped, const std::vector<std::size_t>& lines) = 0;
  // The next members with what they came to, in order: each the row of output_cells().
  virtual void members(const std::vector<MemberRow>& rows, const std::vector<RowOutcome>& outcomes);
  // Puts the complete output in place. Throws FileError; the target is then as it was.
  virtual void finish() = 0;

 protected:
  // Set by header(): the status column (the number of input columns) and all columns.
  std::size_t statusColumn_ = 0;
  std::size_t columns_ = 0;
};

// CSV, CR LF; UTF-8 with BOM (Utf8Bom), without (Utf8) or GBK. A character GBK cannot hold is
// written as "?" and counted (lost()).
class CsvTableWriter final : public TableWriter {
 public:
  CsvTableWriter(sheet::SafeOutput& out, Encoding encoding) : out_(out), encoding_(encoding) {}
  void header(const std::vector<std::string>& header, const std::vector<bool>& textColumns,
              std::size_t statusColumn) override;
  void rows(const std::vector<std::vector<std::string>>& rows, const std::vector<bool>& stopped,
            const std::vector<std::size_t>& lines) override;
  void members(const std::vector<MemberRow>& rows,
               const std::vector<RowOutcome>& outcomes) override;
  void finish() override;
  std::size_t lost() const { return lost_; }

 private:
  void put(const std::string& utf8, bool first);

  sheet::SafeOutput& out_;
  Encoding encoding_;
  std::size_t lost_ = 0;
  std::string text_;
};

// An XLSX workbook: bold frozen header row, number cells as numbers (a text column always as
// text), the rows that were not computed marked (status cell red on a pale fill). Rows are
// written as they come and the library keeps only one in memory. Every call of the library is
// checked: a cell that cannot be stored (longer than 32,767 characters, a NUL character) is an
// error naming its row and column, never a cell left out.
class XlsxTableWriter final : public TableWriter {
 public:
  // Opens the workbook in the output's new content; the output must be a file, not a stream.
  XlsxTableWriter(sheet::SafeOutput& out, std::string_view sheetName);
  ~XlsxTableWriter() override;
  void header(const std::vector<std::string>& header, const std::vector<bool>& textColumns,
              std::size_t statusColumn) override;
  void rows(const std::vector<std::vector<std::string>>& rows, const std::vector<bool>& stopped,
            const std::vector<std::size_t>& lines) override;
  void finish() override;
  // A second sheet, "说明", of "what, text" lines (none for no lines).
  void about(const std::vector<std::pair<std::string, std::string>>& lines);

 private:
  struct Book;
  void cell(std::size_t row, std::size_t column, const std::string& text, void* format,
            std::size_t line);

  sheet::SafeOutput& out_;
  std::unique_ptr<Book> book_;
  std::vector<std::string> header_;
  std::vector<bool> textColumns_;
  std::size_t next_ = 1;  // the next row of the sheet (0 is the header)
};

// Refuses, before anything is written, a table a workbook cannot hold.
void check_fits_workbook(std::size_t members, std::size_t columns);

// The name of a spreadsheet column: A, B, ..., Z, AA, ...
std::string column_letters(std::size_t column);

// A whole table to a file (the desktop's export): CSV (UTF-8 with BOM) or a workbook. Throws
// FileError; the file is then as it was.
enum class TableFormat { Csv, Workbook };
void write_table(const std::string& path, const OutputTable& table, std::string_view sheetName,
                 TableFormat format);

// The format an output file's name asks for, in one place for every command that writes one:
// a name ending in ".xlsx" a workbook, one ending in ".json" (after at least one character)
// JSON, in any case; CSV otherwise.
enum class NamedFormat { Csv, Workbook, Json };
NamedFormat format_by_name(std::string_view path);
// True for a name that ends in ".xlsx" in any case.
bool is_workbook_name(std::string_view path);

}  // namespace pellucor::analysis::batch
