#include "analysis/batch/output_file.hpp"

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
  Temporary temp(path);
  temp.closeFile();  // the workbook library writes the file by its name
  lxw_workbook* book = workbook_new(temp.name().c_str());
  if (book == nullptr) throw FileError("cannot write " + path);
  lxw_worksheet* sheet = workbook_add_worksheet(book, std::string(sheetName).c_str());
  lxw_format* bold = workbook_add_format(book);
  format_set_bold(bold);
  lxw_format* stopped = workbook_add_format(book);
  format_set_font_color(stopped, LXW_COLOR_RED);
  format_set_bg_color(stopped, 0xFFE4E1);
  lxw_format* stoppedRow = workbook_add_format(book);
  format_set_bg_color(stoppedRow, 0xFFE4E1);

  for (std::size_t c = 0; c < table.header.size(); ++c) {
    worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), table.header[c].c_str(), bold);
  }
  worksheet_freeze_panes(sheet, 1, 0);
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
        if (format != nullptr) worksheet_write_blank(sheet, row, col, format);
      } else if (!table.textColumns[c] && number_cell(cell, &value)) {
        worksheet_write_number(sheet, row, col, value, format);
      } else {
        worksheet_write_string(sheet, row, col, cell.c_str(), format);
      }
    }
  }
  const lxw_error error = workbook_close(book);
  if (error != LXW_NO_ERROR) {
    throw FileError("cannot write " + path + ": " + lxw_strerror(error));
  }
  temp.commit(path);
}

}  // namespace pellucor::analysis::batch
