#include "platform/files.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "posix/paths.hpp"

namespace pellucor::platform {

namespace {

// Opening never waits (a pipe without a reader fails with ENXIO instead of blocking) and
// never makes a terminal the controlling one.
constexpr int kAppendFlags = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
// An interrupted call is tried again, but not for ever.
constexpr int kMaxInterruptions = 100;

FileKey key_of(const struct stat& st) {
  return FileKey{static_cast<std::uint64_t>(st.st_dev),
                 static_cast<std::uint64_t>(st.st_ino),
                 {},
                 S_ISREG(st.st_mode)};
}

}  // namespace

std::optional<FileKey> file_key_of(int stream) {
  struct stat st {};
  if (::fstat(stream, &st) != 0) return std::nullopt;
  return key_of(st);
}

std::optional<FileKey> file_key(const std::string& path) {
  const posix::Resolved r = posix::resolve(path);
  if (r.failure) return std::nullopt;
  if (r.stream != 0) return file_key_of(r.stream);
  struct stat st {};
  if (r.exists) {
    if (::stat(r.path.c_str(), &st) != 0) return std::nullopt;
    return key_of(st);
  }
  if (::stat(posix::folder_of(r.path).c_str(), &st) != 0) return std::nullopt;
  FileKey key = key_of(st);
  key.name = posix::name_of(r.path);
  key.regular = true;
  return key;
}

bool same_file(const std::optional<FileKey>& a, const std::optional<FileKey>& b) {
  return a && b && a->regular && b->regular && *a == *b;
}

int open_for_reading(const std::string& path, int& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  error = fd < 0 ? errno : 0;
  return fd;
}

std::ptrdiff_t read_some(int fd, void* data, std::size_t size) {
  return ::read(fd, data, size);
}

std::ptrdiff_t write_some(int fd, const void* data, std::size_t size) {
  return ::write(fd, data, size);
}

void close_file(int fd) {
  if (fd >= 0) ::close(fd);
}

std::int64_t regular_file_position(int fd) {
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return ::lseek(fd, 0, SEEK_CUR);
}

bool seek_file(int fd, std::int64_t at) {
  return ::lseek(fd, static_cast<off_t>(at), SEEK_SET) == static_cast<off_t>(at);
}

bool is_folder(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_terminal(int fd) {
  return ::isatty(fd) != 0;
}

std::optional<int> read_whole_file(const std::string& path, std::string& out) {
  int error = 0;
  const int fd = open_for_reading(path, error);
  if (fd < 0) return error;
  char buf[65536];
  int interruptions = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR && ++interruptions < kMaxInterruptions) continue;
      const int err = errno;
      ::close(fd);
      return err;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return std::nullopt;
}

void use_binary_standard_streams() {}

std::optional<std::uint64_t> file_size_limit() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(limit.rlim_cur);
}

// ---- appending a block ----------------------------------------------------------------------

AppendFile::~AppendFile() {
  if (fd_ >= 0 && !settled_) restore();
  if (fd_ >= 0) ::close(fd_);
}

std::optional<WriteFailure> AppendFile::open(const std::string& path) {
  path_ = path;
  createdPath_ = path;
  bool opened = false;
  for (int attempt = 0; attempt < kMaxInterruptions && !opened; ++attempt) {
    fd_ = ::open(path.c_str(), kAppendFlags);
    if (fd_ >= 0) {
      opened = true;
      break;
    }
    if (errno == EINTR) continue;
    if (errno != ENOENT) return failure_of(errno, "open");
    // Exclusive creation tells a file made here from one found here.
    fd_ = ::open(path.c_str(), kAppendFlags | O_CREAT | O_EXCL, 0644);
    if (fd_ >= 0) {
      created_ = true;
      opened = true;
      break;
    }
    if (errno != EEXIST && errno != EINTR) return failure_of(errno, "create");
    struct stat link {};
    if (errno == EEXIST && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
      // A link to a file that does not exist yet: the file is created where it points.
      fd_ = ::open(path.c_str(), kAppendFlags | O_CREAT, 0644);
      if (fd_ < 0) return failure_of(errno, "create");
      created_ = true;
      opened = true;
      if (char* target = ::realpath(path.c_str(), nullptr)) {
        createdPath_ = target;
        std::free(target);  // NOLINT(cppcoreguidelines-no-malloc)
      }
      break;
    }
    // Someone created it in between: open it as an existing file.
  }
  if (!opened) return failure_of(EINTR, "open");

  struct stat st {};
  if (::fstat(fd_, &st) != 0) return failure_of(errno, "fstat");
  identity_ = key_of(st);
  earlierSize_ = static_cast<std::uint64_t>(st.st_size);
  if (!S_ISREG(st.st_mode)) {
    return failure_for(
        S_ISDIR(st.st_mode) ? WriteFailure::Reason::Folder : WriteFailure::Reason::NotRegularFile,
        "not a regular file");
  }
  regular_ = true;
  return std::nullopt;
}

bool AppendFile::restore() {
  settled_ = true;
  if (created_) {
    // Only the file that was created here, not one that has taken its name since.
    struct stat now {};
    if (::stat(createdPath_.c_str(), &now) != 0) return errno == ENOENT;
    if (!same_file(key_of(now), identity_)) return true;
    return ::unlink(createdPath_.c_str()) == 0;
  }
  if (!regular_) return true;  // refused before its first byte
  if (fd_ >= 0) return ::ftruncate(fd_, static_cast<off_t>(earlierSize_)) == 0;
  struct stat now {};
  if (::stat(path_.c_str(), &now) != 0 || !same_file(key_of(now), identity_)) return false;
  return ::truncate(path_.c_str(), static_cast<off_t>(earlierSize_)) == 0;
}

int AppendFile::sync() {
  return ::fdatasync(fd_) != 0 && errno != EINVAL ? errno : 0;
}

int AppendFile::commit() {
  settled_ = true;
  const int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0 ? 0 : errno;
}

}  // namespace pellucor::platform
