// Where Save puts a block: the result-file writer behind a small interface, so that the
// controller can be given another writer (a front end that keeps blocks in memory, a test
// that makes every kind of failure happen) and always learns why a block was not written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellucor::sheet {

// Why a block was not written. Whatever the reason, the file is as it was before the Save
// (unless `restored` says otherwise).
struct WriteFailure {
  enum class Reason {
    MissingFolder,   // a folder on the path does not exist (or is a file)
    NoPermission,    // the file or its folder may not be written
    ReadOnlyDisk,    // the file system is mounted read-only
    DiskFull,        // no space left (or the disk quota is used up)
    FileTooLarge,    // the file would grow past the size allowed to this process
    NotRegularFile,  // a pipe, a socket, a device ...: only plain files are written
    Folder,          // the path names a folder
    NameTooLong,     // the path or one of its names is too long
    NotGbk,          // a line holds a character that GBK cannot hold (`line`)
    NoConversion,    // the system offers no conversion from UTF-8 to GBK
    HardLinked,      // an existing file with other names (hard links) that a new file would cut
    OtherOwner,      // an existing file whose owner or group the new one could not keep
    Changed,         // the file was created or replaced by someone else while it was written
    LinkLoop,        // too many symbolic links on the way to the file
    Other,           // any other system error (`error`)
  };

  Reason reason = Reason::Other;
  int error = 0;         // the system's error number behind it, 0 when there is none
  std::size_t line = 0;  // NotGbk: the offending line, counted from 1
  bool restored = true;  // false: the file could not be put back as it was
  std::string detail;    // what failed, in English, for a log ("write: No space left on device")

  bool operator==(const WriteFailure&) const = default;
};

// The reason that stands for a system error number.
WriteFailure::Reason reason_of_error(int error);

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
