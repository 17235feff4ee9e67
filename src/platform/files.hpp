// Files as the program meets them: which file a name stands for, reading a file whole, and a
// file that a block is appended to and that is put back as it was when the block does not get
// in whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/write_failure.hpp"

namespace pellucor::platform {

// An identity of a file for comparing two names: an existing file by its volume and its number
// on it (device and inode; volume serial number and file index), a file still to be created by
// its folder's identity and its own name. None when the name cannot be resolved (a missing
// folder, no permission).
struct FileKey {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  std::string name;      // empty: an existing file
  bool regular = false;  // an existing regular file, or a file still to be created

  bool operator==(const FileKey&) const = default;
};
// The key of what `path` names, following symbolic links; "-" and /dev/stdout name standard
// output (whatever it is connected to).
std::optional<FileKey> file_key(const std::string& path);
// The key of an open standard stream: 0 (input), 1 (output) or 2 (error).
std::optional<FileKey> file_key_of(int stream);
// True when two keys name the same file. Only files count: two streams that share a
// terminal or a pipe are not the same file.
bool same_file(const std::optional<FileKey>& a, const std::optional<FileKey>& b);

// A file descriptor opened for reading ("-" is not a name here); -1 with `error` (errno) set
// when it cannot be opened. Read with read_some, close with close_file.
int open_for_reading(const std::string& path, int& error);
// One read or write of a descriptor: the bytes read or written, -1 with errno set.
std::ptrdiff_t read_some(int fd, void* data, std::size_t size);
std::ptrdiff_t write_some(int fd, const void* data, std::size_t size);
void close_file(int fd);
// Where in its file a descriptor of a regular file stands; -1 for anything else (a pipe, a
// terminal, a device), which cannot be read twice.
std::int64_t regular_file_position(int fd);
// Moves a descriptor to a place in its file; false when it cannot be.
bool seek_file(int fd, std::int64_t at);
// True when the descriptor is a folder (which opens for reading on some systems).
bool is_folder(int fd);
// True when the descriptor is a terminal (a console).
bool is_terminal(int fd);
// The whole content of a file; the error number when it cannot be read.
std::optional<int> read_whole_file(const std::string& path, std::string& out);

// Standard input, output and error carry bytes as they are: no line-end translation. Called
// once at the start of every program.
void use_binary_standard_streams();

// The size a file may grow to in this process (the file-size limit); none without a limit.
std::optional<std::uint64_t> file_size_limit();

// A file opened to append one block: an existing file, or one created for it. Unless the
// block got in whole (commit), the file is put back however this is left: cut back to its
// earlier length, or removed when it was created here. Only plain files are written: opening
// never waits (a pipe without a reader is refused at once) and the file is checked before its
// first byte.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens an existing file, or creates it (mode 0644 less the umask) when there is none, and
  // checks that it is a plain file; nothing on success.
  std::optional<WriteFailure> open(const std::string& path);
  // The descriptor to write the block to (with write_some).
  int fd() const { return fd_; }
  std::uint64_t earlierSize() const { return earlierSize_; }
  // Puts the file back as it was; false when that did not work.
  bool restore();
  // Sends the data written so far to the disk: 0, or the error number.
  int sync();
  // The block is in: its data go out to the disk and the file is closed. The error number
  // when that failed (the file is then still put back by restore()).
  int commit();

 private:
  std::string path_;
  std::string createdPath_;  // the file to remove again when it was created here
  int fd_ = -1;
  bool created_ = false;
  bool regular_ = false;  // checked: a plain file
  bool settled_ = false;  // restored, or the block is in
  std::uint64_t earlierSize_ = 0;
  std::optional<FileKey> identity_;
};

}  // namespace pellucor::platform
