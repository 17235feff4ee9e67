#include "platform/files.hpp"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "windows/common.hpp"

namespace pellucor::platform {

using windows::Handle;
using windows::wide;

namespace {

// Opens a name only to learn which file it is (a folder too), following links.
Handle open_for_identity(const std::string& path) {
  return Handle(CreateFileW(wide(path).c_str(), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::string lower(std::string_view utf8) {
  std::wstring w = wide(utf8);
  if (!w.empty()) CharLowerBuffW(w.data(), static_cast<DWORD>(w.size()));
  return windows::narrow(w);
}

}  // namespace

std::optional<FileKey> file_key_of(int stream) {
  const DWORD which = stream == 0   ? STD_INPUT_HANDLE
                      : stream == 1 ? STD_OUTPUT_HANDLE
                                    : STD_ERROR_HANDLE;
  const HANDLE h = GetStdHandle(which);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return std::nullopt;
  return windows::key_of_handle(h);
}

std::optional<FileKey> file_key(const std::string& path) {
  if (const int stream = windows::stream_of(path); stream != 0) return file_key_of(stream);
  const Handle h = open_for_identity(path);
  if (h.valid()) return windows::key_of_handle(h.get());
  const DWORD code = GetLastError();
  if (code != ERROR_FILE_NOT_FOUND) return std::nullopt;
  // A file still to be created: its folder and its name (names differ in case only are one).
  const Handle folder = open_for_identity(windows::folder_of(path));
  if (!folder.valid()) return std::nullopt;
  auto key = windows::key_of_handle(folder.get());
  if (!key) return std::nullopt;
  key->name = lower(windows::name_of(path));
  key->regular = true;
  return key;
}

bool same_file(const std::optional<FileKey>& a, const std::optional<FileKey>& b) {
  return a && b && a->regular && b->regular && *a == *b;
}

int open_for_reading(const std::string& path, int& error) {
  const int fd = _wopen(wide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  error = fd < 0 ? errno : 0;
  return fd;
}

namespace {
// The C library reads and writes at most INT_MAX bytes at once.
unsigned int chunk(std::size_t size) {
  return static_cast<unsigned int>(size > 0x40000000 ? 0x40000000 : size);
}
}  // namespace

std::ptrdiff_t read_some(int fd, void* data, std::size_t size) {
  return _read(fd, data, chunk(size));
}

std::ptrdiff_t write_some(int fd, const void* data, std::size_t size) {
  return _write(fd, data, chunk(size));
}

void close_file(int fd) {
  if (fd >= 0) _close(fd);
}

std::int64_t regular_file_position(int fd) {
  if (fd < 0) return -1;
  const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK) return -1;
  return _lseeki64(fd, 0, SEEK_CUR);
}

bool seek_file(int fd, std::int64_t at) {
  return _lseeki64(fd, at, SEEK_SET) == at;
}

bool is_folder(int fd) {
  struct _stat64 st {};
  return _fstat64(fd, &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFDIR;
}

bool is_terminal(int fd) {
  return _isatty(fd) != 0;
}

std::optional<int> read_whole_file(const std::string& path, std::string& out) {
  int error = 0;
  const int fd = open_for_reading(path, error);
  if (fd < 0) return error;
  char buf[65536];
  for (;;) {
    const int n = _read(fd, buf, sizeof buf);
    if (n < 0) {
      const int err = errno;
      _close(fd);
      return err;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  _close(fd);
  return std::nullopt;
}

void use_binary_standard_streams() {
  // Bytes as they are: no CR added before LF, no end at a Ctrl+Z in the input.
  _setmode(0, _O_BINARY);
  _setmode(1, _O_BINARY);
  _setmode(2, _O_BINARY);
  // A console shows the program's UTF-8 as such.
  if (_isatty(1) || _isatty(2)) SetConsoleOutputCP(CP_UTF8);
}

std::optional<std::uint64_t> file_size_limit() {
  return std::nullopt;  // Windows has no limit of a process's file size
}

// ---- appending a block ----------------------------------------------------------------------

AppendFile::~AppendFile() {
  if (fd_ >= 0 && !settled_) restore();
  if (fd_ >= 0) _close(fd_);
}

std::optional<WriteFailure> AppendFile::open(const std::string& path) {
  path_ = path;
  createdPath_ = path;
  if (auto f = windows::unwritable_name(path)) return f;
  const std::wstring name = wide(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return failure_for(WriteFailure::Reason::Folder, "not a regular file");
  }
  // A read-only file stays read-only, for an administrator too.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return failure_of(EACCES, "open");
  }
  // Others may go on reading and writing the file; one that holds it without letting anyone
  // write is a file in use.
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, kShare, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
    h = CreateFileW(name.c_str(), GENERIC_WRITE, kShare, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE) return windows::failure_of_code(GetLastError(), "create");
    created_ = true;
  } else if (h == INVALID_HANDLE_VALUE) {
    return windows::failure_of_code(GetLastError(), "open");
  }
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return failure_for(WriteFailure::Reason::NotRegularFile, "not a regular file");
  }
  identity_ = windows::key_of_handle(h);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h, &size)) {
    const DWORD code = GetLastError();
    CloseHandle(h);
    return windows::failure_of_code(code, "fstat");
  }
  earlierSize_ = static_cast<std::uint64_t>(size.QuadPart);
  fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_APPEND | _O_BINARY);
  if (fd_ < 0) {
    CloseHandle(h);
    return failure_of(EMFILE, "open");
  }
  regular_ = true;
  return std::nullopt;
}

bool AppendFile::restore() {
  settled_ = true;
  if (created_) {
    // Windows removes no open file: closed first. Only the file that was created here.
    if (fd_ >= 0) _close(fd_);
    fd_ = -1;
    if (!same_file(file_key(createdPath_), identity_)) return true;
    return DeleteFileW(wide(createdPath_).c_str()) != 0;
  }
  if (!regular_) return true;  // refused before its first byte
  if (fd_ >= 0) return _chsize_s(fd_, static_cast<long long>(earlierSize_)) == 0;
  if (!same_file(file_key(path_), identity_)) return false;
  const int fd = _wopen(wide(path_).c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return false;
  const bool cut = _chsize_s(fd, static_cast<long long>(earlierSize_)) == 0;
  _close(fd);
  return cut;
}

int AppendFile::sync() {
  return _commit(fd_) != 0 ? errno : 0;
}

int AppendFile::commit() {
  settled_ = true;
  const int rc = _close(fd_);
  fd_ = -1;
  return rc == 0 ? 0 : errno;
}

}  // namespace pellucor::platform
