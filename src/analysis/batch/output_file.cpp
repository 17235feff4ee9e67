#include "analysis/batch/output_file.hpp"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <type_traits>

namespace pellucor::analysis::batch {

namespace {

// The path of the temporary file being written (for a signal handler: a fixed buffer).
std::array<char, 4096> pendingPath{};
std::atomic<bool> pendingSet{false};

class Temporary {
 public:
  explicit Temporary(const std::string& target) {
    std::filesystem::path p(target);
    const std::string dir = p.has_parent_path() ? p.parent_path().string() : ".";
    name_ = dir + "/." + p.filename().string() + ".tmp-XXXXXX";
    if (name_.size() + 1 > pendingPath.size()) throw FileError("path too long: " + target);
    fd_ = mkstemp(name_.data());
    if (fd_ < 0) {
      throw FileError("cannot write in the folder of " + target + ": " + std::strerror(errno));
    }
    std::memcpy(pendingPath.data(), name_.c_str(), name_.size() + 1);
    pendingSet.store(true);
    // The mode a newly created file gets (mkstemp makes it private).
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
  }
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() {
    if (fd_ >= 0) close(fd_);
    if (!committed_) unlink(name_.c_str());
    pendingSet.store(false);
  }

  int fd() const { return fd_; }
  const std::string& name() const { return name_; }
  void closeFile() {
    if (fd_ >= 0 && close(fd_) != 0) {
      fd_ = -1;
      throw FileError("cannot write " + name_ + ": " + std::strerror(errno));
    }
    fd_ = -1;
  }
  void commit(const std::string& target) {
    closeFile();
    if (std::rename(name_.c_str(), target.c_str()) != 0) {
      throw FileError("cannot replace " + target + ": " + std::strerror(errno));
    }
    committed_ = true;
  }

 private:
  std::string name_;
  int fd_ = -1;
  bool committed_ = false;
};

// The workbook library, loaded when the first workbook is written: it pulls in a zip and a
// crypto library whose loading would otherwise cost every start of the programs, most of which
// never write a workbook.
struct WorkbookLibrary {
  decltype(&::workbook_new) workbook_new;
  decltype(&::workbook_add_worksheet) workbook_add_worksheet;
  decltype(&::workbook_add_format) workbook_add_format;
  decltype(&::workbook_close) workbook_close;
  decltype(&::format_set_bold) format_set_bold;
  decltype(&::format_set_font_color) format_set_font_color;
  decltype(&::format_set_bg_color) format_set_bg_color;
  decltype(&::worksheet_write_string) worksheet_write_string;
  decltype(&::worksheet_write_number) worksheet_write_number;
  decltype(&::worksheet_write_blank) worksheet_write_blank;
  decltype(&::worksheet_freeze_panes) worksheet_freeze_panes;
  decltype(&::lxw_strerror) lxw_strerror;
};

const WorkbookLibrary& workbook_library() {
  // The library stays loaded for the life of the process.
  static const std::optional<WorkbookLibrary> library = []() -> std::optional<WorkbookLibrary> {
    void* handle = nullptr;
    for (const char* name : {PELLUCOR_XLSXWRITER_PATH, "libxlsxwriter.so.4", "libxlsxwriter.so"}) {
      handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
      if (handle != nullptr) break;
    }
    if (handle == nullptr) return std::nullopt;
    WorkbookLibrary lib{};
    bool complete = true;
    auto load = [&](auto& function, const char* symbol) {
      function =
          reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, symbol));
      complete = complete && function != nullptr;
    };
    load(lib.workbook_new, "workbook_new");
    load(lib.workbook_add_worksheet, "workbook_add_worksheet");
    load(lib.workbook_add_format, "workbook_add_format");
    load(lib.workbook_close, "workbook_close");
    load(lib.format_set_bold, "format_set_bold");
    load(lib.format_set_font_color, "format_set_font_color");
    load(lib.format_set_bg_color, "format_set_bg_color");
    load(lib.worksheet_write_string, "worksheet_write_string");
    load(lib.worksheet_write_number, "worksheet_write_number");
    load(lib.worksheet_write_blank, "worksheet_write_blank");
    load(lib.worksheet_freeze_panes, "worksheet_freeze_panes");
    load(lib.lxw_strerror, "lxw_strerror");
    if (!complete) return std::nullopt;
    return lib;
  }();
  if (!library) {
    throw FileError("cannot write workbooks: the library libxlsxwriter cannot be loaded");
  }
  return *library;
}

}  // namespace

const char* pending_temporary_file() {
  return pendingSet.load() ? pendingPath.data() : nullptr;
}

void write_file_atomically(const std::string& path, std::string_view bytes) {
  Temporary temp(path);
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = write(temp.fd(), p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw FileError("cannot write " + path + ": " + std::strerror(errno));
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (fsync(temp.fd()) != 0 && errno != EINVAL) {
    throw FileError("cannot write " + path + ": " + std::strerror(errno));
  }
  temp.commit(path);
}

void write_xlsx(const std::string& path, const OutputTable& table, std::string_view sheetName) {
  const WorkbookLibrary& x = workbook_library();
  Temporary temp(path);
  temp.closeFile();  // the workbook library writes the file by its name
  lxw_workbook* book = x.workbook_new(temp.name().c_str());
  if (book == nullptr) throw FileError("cannot write " + path);
  lxw_worksheet* sheet = x.workbook_add_worksheet(book, std::string(sheetName).c_str());
  lxw_format* bold = x.workbook_add_format(book);
  x.format_set_bold(bold);
  lxw_format* stopped = x.workbook_add_format(book);
  x.format_set_font_color(stopped, LXW_COLOR_RED);
  x.format_set_bg_color(stopped, 0xFFE4E1);
  lxw_format* stoppedRow = x.workbook_add_format(book);
  x.format_set_bg_color(stoppedRow, 0xFFE4E1);

  for (std::size_t c = 0; c < table.header.size(); ++c) {
    x.worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), table.header[c].c_str(), bold);
  }
  x.worksheet_freeze_panes(sheet, 1, 0);
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    const auto row = static_cast<lxw_row_t>(r + 1);
    const bool isStopped = table.stopped[r];
    for (std::size_t c = 0; c < table.rows[r].size(); ++c) {
      const std::string& cell = table.rows[r][c];
      const auto col = static_cast<lxw_col_t>(c);
      lxw_format* format = nullptr;
      if (isStopped) format = c == table.statusColumn ? stopped : stoppedRow;
      double value = 0;
      if (cell.empty()) {
        if (format != nullptr) x.worksheet_write_blank(sheet, row, col, format);
      } else if (!table.textColumns[c] && number_cell(cell, &value)) {
        x.worksheet_write_number(sheet, row, col, value, format);
      } else {
        x.worksheet_write_string(sheet, row, col, cell.c_str(), format);
      }
    }
  }
  const lxw_error error = x.workbook_close(book);
  if (error != LXW_NO_ERROR) {
    throw FileError("cannot write " + path + ": " + x.lxw_strerror(error));
  }
  temp.commit(path);
}

}  // namespace pellucor::analysis::batch
