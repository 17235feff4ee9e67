// The result file: one block per Save, appended in GBK with CR LF line ends.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "sheet/result_writer.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::sheet {

// The lines of one saved block: the equals line, the parameters header, the echo lines, the
// hyphens line, the results header, the file result lines, the equals line.
std::vector<std::string> result_file_block(const Report& report);

// The writer of result files on disk. Every line is converted to GBK and ended with CR LF,
// the whole block is converted before the file is touched and written at the end of the
// file. A missing file is created (mode 0644, less the umask); earlier content is never
// changed. Only plain files are written: the file is opened without waiting (a pipe without
// a reader is refused at once) and checked before the first byte. When a write fails part
// way, the file is cut back to its earlier length, or removed when this Save created it.
// The path is used whole, whatever its length.
class DiskResultFileWriter : public ResultFileWriter {
 public:
  std::optional<WriteFailure> append(const std::string& path,
                                     const std::vector<std::string>& lines) override;

 protected:
  // One write of the block's bytes (the bytes written, -1 with errno set); a test puts a
  // failing disk here.
  virtual std::ptrdiff_t writeSome(int fd, const char* data, std::size_t size);

 private:
  std::optional<WriteFailure> appendBytes(const std::string& path, const std::string& block);
};

// Appends with the writer above.
std::optional<WriteFailure> append_block(const std::string& path,
                                         const std::vector<std::string>& lines);

}  // namespace pellucor::sheet
