// Where Save puts a block: the result-file writer behind a small interface, so that the
// controller can be given another writer (a front end that keeps blocks in memory, a test
// that makes every kind of failure happen) and always learns why a block was not written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/write_failure.hpp"

namespace pellucor::sheet {

// Why a block was not written (see platform/write_failure.hpp). Whatever the reason, the file
// is as it was before the Save (unless `restored` says otherwise).
using WriteFailure = platform::WriteFailure;

// The reason that stands for a system error number.
using platform::reason_of_error;

// A few Chinese words that say why, e.g. "磁盘已满".
std::string reason_text(const WriteFailure& failure);

// The message Save shows (title "保存数据"): the path, why, and that nothing was saved.
std::string save_failure_message(std::string_view path, const WriteFailure& failure);

class ResultFileWriter {
 public:
  virtual ~ResultFileWriter() = default;

  // Appends `lines` (UTF-8) to the file at `path` as one block; nothing when it worked.
  // A failure leaves the file as it was: cut back to its earlier length, a file that this
  // call created removed. Never throws.
  virtual std::optional<WriteFailure> append(const std::string& path,
                                             const std::vector<std::string>& lines) = 0;
};

// The writer of the result files on disk (GBK, CR LF), shared by every controller.
ResultFileWriter& default_result_file_writer();

}  // namespace pellucor::sheet
