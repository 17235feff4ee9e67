#include "analysis/batch/output_file.hpp"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>

#include "platform/libraries.hpp"

namespace pellucor::analysis::batch {

namespace {

// The workbook library, loaded when the first workbook is written: it pulls in a zip and a
// crypto library whose loading would otherwise cost every start of the programs, most of which
// never write a workbook.
struct WorkbookLibrary {
  decltype(&::workbook_new_opt) workbook_new_opt;
  decltype(&::workbook_add_worksheet) workbook_add_worksheet;
  decltype(&::workbook_add_format) workbook_add_format;
  decltype(&::workbook_close) workbook_close;
  decltype(&::lxw_workbook_free) lxw_workbook_free;
  decltype(&::format_set_bold) format_set_bold;
  decltype(&::format_set_font_color) format_set_font_color;
  decltype(&::format_set_bg_color) format_set_bg_color;
  decltype(&::worksheet_write_string) worksheet_write_string;
  decltype(&::worksheet_write_number) worksheet_write_number;
  decltype(&::worksheet_write_blank) worksheet_write_blank;
  decltype(&::worksheet_freeze_panes) worksheet_freeze_panes;
  decltype(&::worksheet_set_column) worksheet_set_column;
  decltype(&::lxw_strerror) lxw_strerror;
};

const WorkbookLibrary& workbook_library() {
  // The library stays loaded for the life of the process.
  static const std::optional<WorkbookLibrary> library = []() -> std::optional<WorkbookLibrary> {
    void* handle = platform::load_library(
        {PELLUCOR_XLSXWRITER_PATH, "libxlsxwriter.so.4", "libxlsxwriter.so"});
    if (handle == nullptr) return std::nullopt;
    WorkbookLibrary lib{};
    bool complete = true;
    auto load = [&](auto& function, const char* symbol) {
      function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
          platform::library_function(handle, symbol));
      complete = complete && function != nullptr;
    };
    load(lib.workbook_new_opt, "workbook_new_opt");
    load(lib.workbook_add_worksheet, "workbook_add_worksheet");
    load(lib.workbook_add_format, "workbook_add_format");
    load(lib.workbook_close, "workbook_close");
    load(lib.lxw_workbook_free, "lxw_workbook_free");
    load(lib.format_set_bold, "format_set_bold");
    load(lib.format_set_font_color, "format_set_font_color");
    load(lib.format_set_bg_color, "format_set_bg_color");
    load(lib.worksheet_write_string, "worksheet_write_string");
    load(lib.worksheet_write_number, "worksheet_write_number");
    load(lib.worksheet_write_blank, "worksheet_write_blank");
    load(lib.worksheet_freeze_panes, "worksheet_freeze_panes");
    load(lib.worksheet_set_column, "worksheet_set_column");
    load(lib.lxw_strerror, "lxw_strerror");
    if (!complete) return std::nullopt;
    return lib;
  }();
  if (!library) {
    throw FileError("cannot write workbooks: the library libxlsxwriter cannot be loaded");
  }
  return *library;
}

// The characters (code points) of a UTF-8 text, as the workbook library counts them.
std::size_t characters(std::string_view utf8) {
  std::size_t n = 0;
  for (char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

constexpr std::size_t kCellCharacters = 32'767;

}  // namespace

std::string column_letters(std::size_t column) {
  std::string s;
  for (std::size_t n = column + 1; n > 0; n = (n - 1) / 26) {
    s.insert(s.begin(), static_cast<char>('A' + (n - 1) % 26));
  }
  return s;
}

NamedFormat format_by_name(std::string_view path) {
  if (path.size() < 5) return NamedFormat::Csv;
  std::string tail(path.substr(path.size() - 5));
  for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (tail == ".xlsx") return NamedFormat::Workbook;
  if (tail == ".json" && path.size() > 5) return NamedFormat::Json;
  return NamedFormat::Csv;
}

bool is_workbook_name(std::string_view path) {
  return format_by_name(path) == NamedFormat::Workbook;
}

void check_fits_workbook(std::size_t members, std::size_t columns) {
  if (members > kWorkbookMembers) {
    throw FileError("the table has " + std::to_string(members) +
                    " members, but a workbook holds at most 1048575 (1048576 rows, one of "
                    "them the header); nothing was written: write CSV, or split the table");
  }
  if (columns > kWorkbookColumns) {
    throw FileError("the table has " + std::to_string(columns) +
                    " columns, but a workbook holds at most 16384; nothing was written");
  }
}

// ---- CSV ------------------------------------------------------------------------------------

void CsvTableWriter::put(const std::string& utf8, bool first) {
  std::optional<sheet::WriteFailure> failure;
  if (encoding_ == Encoding::Gbk) {
    std::size_t lost = 0;
    failure = out_.write(encode_text(utf8, Encoding::Gbk, &lost));
    lost_ += lost;
  } else {
    if (first && encoding_ == Encoding::Utf8Bom) failure = out_.write("\xEF\xBB\xBF");
    if (!failure) failure = out_.write(utf8);
  }
  if (failure) throw FileError(out_.target(), *failure);
}

void TableWriter::members(const std::vector<MemberRow>& rows,
                          const std::vector<RowOutcome>& outcomes) {
  std::vector<std::vector<std::string>> cells;
  std::vector<bool> stopped;
  std::vector<std::size_t> lines;
  const std::size_t results = columns_ - statusColumn_ - 1;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    cells.push_back(output_cells(statusColumn_, rows[i], outcomes[i], results));
    stopped.push_back(outcomes[i].status != RowOutcome::Status::Done);
    lines.push_back(rows[i].line);
  }
  this->rows(cells, stopped, lines);
}

void CsvTableWriter::header(const std::vector<std::string>& header, const std::vector<bool>&,
                            std::size_t statusColumn) {
  statusColumn_ = statusColumn;
  columns_ = header.size();
  put(csv_line(header), true);
}

void CsvTableWriter::members(const std::vector<MemberRow>& rows,
                             const std::vector<RowOutcome>& outcomes) {
  // The cells of output_cells(), written where they are.
  const std::size_t results = columns_ - statusColumn_ - 1;
  text_.clear();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const MemberRow& r = rows[i];
    const RowOutcome& o = outcomes[i];
    bool first = true;
    auto field = [&](std::string_view f) {
      if (!first) text_ += ',';
      first = false;
      append_csv_field(text_, f);
    };
    for (std::size_t k = 0; k < statusColumn_; ++k) {
      if (!r.malformed.empty()) {
        field(k == 0 ? std::string_view(r.raw) : std::string_view());
      } else {
        field(k < r.cells.size() ? std::string_view(r.cells[k]) : std::string_view());
      }
    }
    field(o.status == RowOutcome::Status::NotRun ? kStatusNotRun : std::string_view(o.statusText));
    for (std::size_t k = 0; k < results; ++k) {
      field(k < o.results.size() ? std::string_view(o.results[k]) : std::string_view());
    }
    text_ += "\r\n";
  }
  put(text_, false);
}

void CsvTableWriter::rows(const std::vector<std::vector<std::string>>& rows,
                          const std::vector<bool>&, const std::vector<std::size_t>&) {
  text_.clear();
  for (const auto& r : rows) append_csv_line(text_, r);
  put(text_, false);
}

void CsvTableWriter::finish() {
  if (auto f = out_.commit()) throw FileError(out_.target(), *f);
}

// ---- XLSX -----------------------------------------------------------------------------------

namespace {

// Columns a text takes in a spreadsheet: two for a character beyond U+2E7F (Chinese), one for
// any other (counted from the UTF-8 lead bytes).
std::size_t display_width(std::string_view utf8) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    std::uint32_t code = 0;
    if (length == 3 && i + 2 < utf8.size()) {
      code = ((b & 0x0Fu) << 12) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6) |
             (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
    }
    width += length >= 3 && (length == 4 || code >= 0x2E80) ? 2 : 1;
    i += length;
  }
  return width;
}

}  // namespace

struct XlsxTableWriter::Book {
  const WorkbookLibrary& x;
  lxw_workbook* book = nullptr;
  lxw_worksheet* sheet = nullptr;
  lxw_format* bold = nullptr;
  lxw_format* stopped = nullptr;
  lxw_format* stoppedRow = nullptr;
  std::string name;  // where the library writes

  explicit Book(const WorkbookLibrary& library) : x(library) {}
  ~Book() {
    if (book != nullptr) x.lxw_workbook_free(book);
  }
  Book(const Book&) = delete;
  Book& operator=(const Book&) = delete;
};

XlsxTableWriter::XlsxTableWriter(sheet::SafeOutput& out, std::string_view sheetName) : out_(out) {
  const WorkbookLibrary& x = workbook_library();
  if (out_.kind() != sheet::SafeOutput::Kind::NewFile &&
      out_.kind() != sheet::SafeOutput::Kind::Replace) {
    throw FileError("a workbook cannot be written to a stream (" + out_.target() +
                    "); give a file name ending in .xlsx");
  }
  book_ = std::make_unique<Book>(x);
  book_->name = out_.writableName();
  // Constant memory: each row goes to disk when the next one starts.
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  book_->book = x.workbook_new_opt(book_->name.c_str(), &options);
  if (book_->book == nullptr) throw FileError("cannot start a workbook for " + out_.target());
  auto fail = [this](const char* what) {
    throw FileError("cannot start a workbook for " + out_.target() + ": " + what);
  };
  book_->sheet = x.workbook_add_worksheet(book_->book, std::string(sheetName).c_str());
  if (book_->sheet == nullptr) fail("no worksheet");
  book_->bold = x.workbook_add_format(book_->book);
  book_->stopped = x.workbook_add_format(book_->book);
  book_->stoppedRow = x.workbook_add_format(book_->book);
  if (book_->bold == nullptr || book_->stopped == nullptr || book_->stoppedRow == nullptr) {
    fail("no cell format");
  }
  x.format_set_bold(book_->bold);
  x.format_set_font_color(book_->stopped, LXW_COLOR_RED);
  x.format_set_bg_color(book_->stopped, 0xFFE4E1);
  x.format_set_bg_color(book_->stoppedRow, 0xFFE4E1);
}

XlsxTableWriter::~XlsxTableWriter() = default;

void XlsxTableWriter::cell(std::size_t row, std::size_t column, const std::string& text,
                           void* format, std::size_t line) {
  const WorkbookLibrary& x = book_->x;
  const auto r = static_cast<lxw_row_t>(row);
  const auto c = static_cast<lxw_col_t>(column);
  auto where = [&] {
    std::string s = "workbook row " + std::to_string(row + 1);
    if (line != 0) s += " (input line " + std::to_string(line) + ")";
    s += ", column " + column_letters(column);
    if (column < header_.size()) s += " '" + header_[column] + "'";
    return s;
  };
  auto* f = static_cast<lxw_format*>(format);
  double value = 0;
  lxw_error error = LXW_NO_ERROR;
  if (text.empty()) {
    if (f != nullptr) error = x.worksheet_write_blank(book_->sheet, r, c, f);
  } else if (row > 0 && !textColumns_[column] && number_cell(text, &value)) {
    error = x.worksheet_write_number(book_->sheet, r, c, value, f);
  } else {
    if (text.find('\0') != std::string::npos) {
      throw FileError(where() +
                      ": the text holds a NUL character, which a workbook cannot "
                      "store; nothing was written");
    }
    if (characters(text) > kCellCharacters) {
      throw FileError(where() + ": a text of " + std::to_string(characters(text)) +
                      " characters, but a workbook cell holds at most 32767; nothing was written");
    }
    error = x.worksheet_write_string(book_->sheet, r, c, text.c_str(), f);
  }
  if (error != LXW_NO_ERROR) {
    throw FileError(where() + ": " + x.lxw_strerror(error) + "; nothing was written");
  }
}

void XlsxTableWriter::header(const std::vector<std::string>& header,
                             const std::vector<bool>& textColumns, std::size_t statusColumn) {
  check_fits_workbook(0, header.size());
  header_ = header;
  textColumns_ = textColumns;
  textColumns_.resize(header.size(), false);
  statusColumn_ = statusColumn;
  columns_ = header.size();
  // Columns as wide as their headers (a Chinese character takes two), within bounds; before
  // the first row, as a workbook written row by row needs them.
  for (std::size_t c = 0; c < header.size(); ++c) {
    const double width = std::clamp(static_cast<double>(display_width(header[c])) + 2.0, 9.0, 40.0);
    book_->x.worksheet_set_column(book_->sheet, static_cast<lxw_col_t>(c),
                                  static_cast<lxw_col_t>(c), width, nullptr);
  }
  for (std::size_t c = 0; c < header.size(); ++c) cell(0, c, header[c], book_->bold, 0);
  book_->x.worksheet_freeze_panes(book_->sheet, 1, 0);
}

void XlsxTableWriter::about(const std::vector<std::pair<std::string, std::string>>& lines) {
  if (lines.empty()) return;
  const WorkbookLibrary& x = book_->x;
  lxw_worksheet* sheet = x.workbook_add_worksheet(book_->book, "说明");
  if (sheet == nullptr) throw FileError("cannot add the sheet of notes to " + out_.target());
  std::size_t wide = 8;
  for (const auto& [what, text] : lines) wide = std::max(wide, display_width(what));
  x.worksheet_set_column(sheet, 0, 0, static_cast<double>(wide) + 2.0, nullptr);
  x.worksheet_set_column(sheet, 1, 1, 60.0, nullptr);
  for (std::size_t r = 0; r < lines.size(); ++r) {
    const auto row = static_cast<lxw_row_t>(r);
    lxw_error error = x.worksheet_write_string(sheet, row, 0, lines[r].first.c_str(), book_->bold);
    if (error == LXW_NO_ERROR) {
      error = x.worksheet_write_string(sheet, row, 1, lines[r].second.c_str(), nullptr);
    }
    if (error != LXW_NO_ERROR) {
      throw FileError("the sheet of notes of " + out_.target() + ": " + x.lxw_strerror(error));
    }
  }
}

void XlsxTableWriter::rows(const std::vector<std::vector<std::string>>& rows,
                           const std::vector<bool>& stopped,
                           const std::vector<std::size_t>& lines) {
  if (next_ - 1 + rows.size() > kWorkbookMembers) check_fits_workbook(next_ - 1 + rows.size(), 0);
  for (std::size_t i = 0; i < rows.size(); ++i, ++next_) {
    const bool isStopped = i < stopped.size() && stopped[i];
    const std::size_t line = i < lines.size() ? lines[i] : 0;
    for (std::size_t c = 0; c < rows[i].size(); ++c) {
      lxw_format* format = nullptr;
      if (isStopped) format = c == statusColumn_ ? book_->stopped : book_->stoppedRow;
      cell(next_, c, rows[i][c], format, line);
    }
  }
}

void XlsxTableWriter::finish() {
  const WorkbookLibrary& x = book_->x;
  errno = 0;
  const lxw_error error = x.workbook_close(book_->book);  // frees the workbook
  const int err = errno;
  book_->book = nullptr;
  if (error != LXW_NO_ERROR) {
    sheet::WriteFailure f;
    f.reason = sheet::reason_of_error(err);
    f.error = err;
    f.detail = std::string("workbook: ") + x.lxw_strerror(error);
    if (err == 0) f.reason = sheet::WriteFailure::Reason::Other;
    throw FileError(out_.target(), f);
  }
  if (auto f = out_.commit()) throw FileError(out_.target(), *f);
}

void write_table(const std::string& path, const OutputTable& table, std::string_view sheetName,
                 TableFormat format) {
  if (format == TableFormat::Workbook) check_fits_workbook(table.rows.size(), table.header.size());
  sheet::SafeOutput out;
  if (auto f = out.open(path)) throw FileError(path, *f);
  if (format == TableFormat::Workbook) {
    XlsxTableWriter writer(out, sheetName);
    writer.header(table.header, table.textColumns, table.statusColumn);
    writer.rows(table.rows, table.stopped, table.lines);
    writer.about(table.about);
    writer.finish();
  } else {
    CsvTableWriter writer(out, Encoding::Utf8Bom);
    writer.header(table.header, table.textColumns, table.statusColumn);
    writer.rows(table.rows, table.stopped, table.lines);
    writer.finish();
  }
}

}  // namespace pellucor::analysis::batch
