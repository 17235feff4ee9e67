// Writing a whole output file (a member table, curves, a report, a picture) so that it is
// complete, safe and where the user meant it:
// - a new file is written unnamed (O_TMPFILE) in its folder and linked in under its name only
//   when complete; where the system offers no unnamed files, under a hidden temporary name
//   that is removed on every failure (and by remove_pending_temporaries() from a signal
//   handler);
// - an existing regular file gets its new content the same way and keeps its mode, owner,
//   group and access list; a file with other hard links, one whose owner or group cannot be
//   kept, or one the user may not write (by its permission bits, for root too) is refused
//   before anything is written;
// - a symbolic link is followed: the file it points to is written (or created where a link
//   that points nowhere yet points), and the link stays as it is;
// - "-", /dev/stdout (/dev/fd/1, /proc/self/fd/1), /dev/stderr and character devices such as
//   /dev/null are written as streams;
// - a FIFO, a socket, a block device or a folder is refused at once;
// - the file-size limit is checked before every write, and SIGXFSZ is ignored from the first
//   open on, so that a limit shows up as a failure ("文件超过允许的大小"), never as the end of
//   the program.
// Opening does all checks and creates the unnamed file: call it before a long computation.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "sheet/result_writer.hpp"

namespace pellucor::sheet {

class SafeOutput {
 public:
  enum class Kind {
    None,     // not open
    NewFile,  // a file that did not exist
    Replace,  // an existing regular file, replaced whole at commit()
    Stream,   // standard output or a character device, written as it goes
  };

  SafeOutput() = default;
  ~SafeOutput();  // anything not committed is dropped; the target stays as it was
  SafeOutput(const SafeOutput&) = delete;
  SafeOutput& operator=(const SafeOutput&) = delete;

  // Checks the target and prepares the new content; nothing when the output can be written.
  std::optional<WriteFailure> open(const std::string& path);
  // Appends bytes to the new content (to the stream).
  std::optional<WriteFailure> write(std::string_view bytes);
  // Puts the complete content in place. After a failure the target is as it was.
  std::optional<WriteFailure> commit();
  // Drops the new content.
  void abandon();

  Kind kind() const { return kind_; }
  // A stream on the program's own standard output or error.
  bool standardStream() const { return kind_ == Kind::Stream && !ownsFd_; }
  // The file that is written (the end of any symbolic links), as given for a stream.
  const std::string& target() const { return target_; }
  // A name under which a library that writes files by name (and closes them) writes the new
  // content; empty for a stream. Valid until commit() or abandon().
  std::string writableName() const;
  // Bytes written so far through write().
  std::size_t written() const { return written_; }

 private:
  std::optional<WriteFailure> openStream(int fd, bool owned);
  std::optional<WriteFailure> openFile(const std::string& path);
  std::optional<WriteFailure> createTemporary(const std::string& folder, mode_t mode);
  std::optional<WriteFailure> keepAttributes();
  std::optional<WriteFailure> linkIn();

  Kind kind_ = Kind::None;
  int fd_ = -1;
  bool ownsFd_ = false;
  bool unnamed_ = false;   // O_TMPFILE: linked in at commit
  std::string temporary_;  // the hidden temporary name, when not unnamed
  int pendingSlot_ = -1;   // its place in the list a signal handler cleans up
  std::string folder_;     // the target's folder
  std::string target_;
  std::size_t written_ = 0;
  struct stat original_ {};  // Replace: the file as found
};

// An identity of a file for comparing two names: an existing file by device and inode, a file
// still to be created by its folder's device and inode and its own name. None when the name
// cannot be resolved (a missing folder, no permission).
struct FileKey {
  dev_t dev = 0;
  ino_t ino = 0;
  std::string name;      // empty: an existing file
  bool regular = false;  // an existing regular file, or a file still to be created

  bool operator==(const FileKey&) const = default;
};
// The key of what `path` names, following symbolic links; "-" and /dev/stdout name standard
// output (whatever it is connected to).
std::optional<FileKey> file_key(const std::string& path);
// The key of an open file descriptor (standard input or output).
std::optional<FileKey> file_key_of(int fd);
// True when two keys name the same file. Only files count: two streams that share a
// terminal or a pipe are not the same file.
bool same_file(const std::optional<FileKey>& a, const std::optional<FileKey>& b);

// Removes the temporary files of outputs not yet committed; for a signal handler (uses only
// async-signal-safe calls). The outputs themselves are left as they were.
void remove_pending_temporaries() noexcept;

// The message of a failed output in the words of the result file's Save: "无法写入文件 PATH
// （REASON），数据未保存!".
std::string output_failure_message(std::string_view path, const WriteFailure& failure);

}  // namespace pellucor::sheet
