// Why an output was not written, in terms every system shares.
#pragma once

#include <cstddef>
#include <string>

namespace pellucor::platform {

// Whatever the reason, the file is as it was before the write (unless `restored` says
// otherwise).
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
    InUse,           // another program holds the file open and lets no one replace it
    Other,           // any other system error (`error`)
  };

  Reason reason = Reason::Other;
  int error = 0;         // the error number (errno) behind it, 0 when there is none
  std::size_t line = 0;  // NotGbk: the offending line, counted from 1
  bool restored = true;  // false: the file could not be put back as it was
  std::string detail;    // what failed, in English, for a log ("write: No space left on device")

  bool operator==(const WriteFailure&) const = default;
};

// The reason that stands for an error number (errno).
WriteFailure::Reason reason_of_error(int error);

// A failure for an error number: its reason, and `what` with the system's words for it.
WriteFailure failure_of(int error, const std::string& what);

// A failure for a reason that no error number tells.
WriteFailure failure_for(WriteFailure::Reason reason, std::string detail);

}  // namespace pellucor::platform
