// Writing a whole output file (a member table, curves, a report, a picture, a project) so that
// it is complete, safe and where the user meant it:
// - a new file is written unnamed in its folder where the system offers unnamed files (and
//   linked in under its name only when complete), elsewhere under a hidden temporary name that
//   says what it is (".NAME.pellucor-tmp-XXXXXXXX" beside NAME) and is removed on every
//   failure (and by remove_pending_temporaries() from a signal handler);
// - an existing regular file gets its new content the same way, replaced whole, and keeps its
//   permissions (mode, owner, group and access list; on Windows its security descriptor); a
//   file with other hard links, one whose owner or group cannot be kept, or one the user may
//   not write (read-only for everyone, root too) is refused before anything is written; a
//   file that another program holds open so that it cannot be replaced is refused and left as
//   it was;
// - a symbolic link is followed: the file it points to is written (or created where a link
//   that points nowhere yet points), and the link stays as it is;
// - "-", /dev/stdout (/dev/fd/1, /proc/self/fd/1), /dev/stderr and character devices such as
//   /dev/null are written as streams;
// - a FIFO, a socket, a block device or a folder is refused at once;
// - the file-size limit is checked before every write, and SIGXFSZ is ignored from the first
//   open on, so that a limit shows up as a failure, never as the end of the program.
// Opening does all checks and creates the new content's file: call it before a long
// computation.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.hpp"
#include "platform/write_failure.hpp"

namespace pellucor::platform {

class SafeOutput {
 public:
  enum class Kind {
    None,     // not open
    NewFile,  // a file that did not exist
    Replace,  // an existing regular file, replaced whole at commit()
    Stream,   // standard output or a character device, written as it goes
  };

  // How an output is opened; the defaults are those described above.
  struct Options {
    // The new content takes the permissions (mode, owner, group, access list) of this existing
    // file instead of those of the file it replaces or the usual ones of a new file: a copy
    // of a file is never more readable than the file itself.
    std::string permissionsOf;
    // A symbolic link, a device, a FIFO or a socket under the name is replaced by the new
    // regular file instead of being followed, written as a stream or refused.
    bool replaceWhatIsNotAFile = false;
  };

  SafeOutput();
  ~SafeOutput();  // anything not committed is dropped; the target stays as it was
  SafeOutput(const SafeOutput&) = delete;
  SafeOutput& operator=(const SafeOutput&) = delete;

  // Checks the target and prepares the new content; nothing when the output can be written.
  std::optional<WriteFailure> open(const std::string& path);
  std::optional<WriteFailure> open(const std::string& path, const Options& options);
  // Appends bytes to the new content (to the stream).
  std::optional<WriteFailure> write(std::string_view bytes);
  // Puts the complete content in place. After a failure the target is as it was.
  std::optional<WriteFailure> commit();
  // Drops the new content.
  void abandon();

  Kind kind() const { return kind_; }
  // A stream on the program's own standard output or error.
  bool standardStream() const;
  // The file that is written (the end of any symbolic links), as given for a stream.
  const std::string& target() const { return target_; }
  // A name under which a library that writes files by name (and closes them) writes the new
  // content; empty for a stream. Valid until commit() or abandon().
  std::string writableName() const;
  // Bytes written so far through write().
  std::size_t written() const { return written_; }

  struct Impl;  // the system's own part

 private:
  Kind kind_ = Kind::None;
  std::string target_;
  std::size_t written_ = 0;
  std::unique_ptr<Impl> impl_;
};

// The hidden name of a new content's file beside `name` ("NAME" → ".NAME.pellucor-tmp-"
// followed by `suffix`), cut where a long name would make it longer than `maxBytes` (at a
// character's start).
std::string temporary_name(std::string_view name, std::string_view suffix, std::size_t maxBytes);

// Removes the temporary files of outputs not yet committed; for a signal handler (uses only
// async-signal-safe calls). The outputs themselves are left as they were.
void remove_pending_temporaries() noexcept;

}  // namespace pellucor::platform
