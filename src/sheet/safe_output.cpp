#include "sheet/safe_output.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <vector>

namespace pellucor::sheet {

namespace {

// Symbolic links followed on the way to a file, as the system itself allows.
constexpr int kMaxLinks = 40;
// An interrupted call is tried again, but not for ever.
constexpr int kMaxInterruptions = 100;
// Random names tried for a hidden temporary file before giving up.
constexpr int kMaxNameTries = 100;
constexpr std::string_view kTemporaryPrefix = ".pellucor-";
constexpr std::string_view kAccessList = "system.posix_acl_access";

WriteFailure failure_of(int err, const std::string& what) {
  WriteFailure f;
  f.reason = reason_of_error(err);
  f.error = err;
  f.detail = what + ": " + std::error_code(err, std::generic_category()).message();
  return f;
}

WriteFailure failure_for(WriteFailure::Reason reason, std::string detail) {
  WriteFailure f;
  f.reason = reason;
  f.detail = std::move(detail);
  return f;
}

// SIGXFSZ would end the program in the middle of a write; ignored, the write fails with EFBIG
// instead. A handler the program installed itself is left alone.
void ignore_file_size_signal() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction current {};
    if (sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      std::signal(SIGXFSZ, SIG_IGN);
    }
  });
}

// The standard stream a name stands for: 1 or 2, 0 for none.
int stream_of(std::string_view path) {
  if (path == "-" || path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1") {
    return 1;
  }
  if (path == "/dev/stderr" || path == "/dev/fd/2" || path == "/proc/self/fd/2") return 2;
  return 0;
}

std::string folder_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a path leads after its symbolic links: the path of the file (existing or not), or why
// it cannot be followed.
struct Resolved {
  std::string path;
  bool exists = false;
  int stream = 0;  // the links led to a standard stream
  std::optional<WriteFailure> failure;
};

Resolved resolve(const std::string& given) {
  Resolved r;
  r.path = given;
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    if ((r.stream = stream_of(r.path)) != 0) return r;
    struct stat st {};
    if (::lstat(r.path.c_str(), &st) != 0) {
      if (errno == ENOENT) return r;  // to be created here
      r.failure = failure_of(errno, "lstat " + r.path);
      return r;
    }
    if (!S_ISLNK(st.st_mode)) {
      r.exists = true;
      return r;
    }
    std::vector<char> buffer(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlink(r.path.c_str(), buffer.data(), buffer.size());
    if (n < 0) {
      r.failure = failure_of(errno, "readlink " + r.path);
      return r;
    }
    if (static_cast<std::size_t>(n) >= buffer.size()) {
      r.failure = failure_of(ENAMETOOLONG, "readlink " + r.path);
      return r;
    }
    std::string link(buffer.data(), static_cast<std::size_t>(n));
    r.path = link.starts_with('/') ? link : folder_of(r.path) + "/" + link;
  }
  r.failure = failure_of(ELOOP, "follow " + given);
  return r;
}

bool in_group(gid_t gid) {
  if (gid == ::getegid()) return true;
  const int n = ::getgroups(0, nullptr);
  if (n <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(n));
  const int got = ::getgroups(n, groups.data());
  for (int i = 0; i < got; ++i) {
    if (groups[static_cast<std::size_t>(i)] == gid) return true;
  }
  return false;
}

// Whether the user may write the file. Root may write anything, so for root the owner's bit
// says whether the file is meant to be written: a read-only file stays read-only for everyone.
bool may_write(const std::string& path, const struct stat& st) {
  if (::geteuid() == 0) return (st.st_mode & S_IWUSR) != 0;
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

std::string random_suffix() {
  static std::atomic<unsigned long long> counter{0};
  unsigned long long x =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      (static_cast<unsigned long long>(::getpid()) << 32) ^
      (counter.fetch_add(1) * 0x9E3779B97F4A7C15ULL);
  static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string s;
  for (int i = 0; i < 8; ++i) {
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ULL;
    s += kDigits[x % 36];
  }
  return s;
}

// The temporary names a signal handler removes: fixed buffers, claimed and released with
// atomic flags.
constexpr std::size_t kSlots = 16;
constexpr std::size_t kSlotSize = 4096;
std::array<std::array<char, kSlotSize>, kSlots> pendingNames{};
std::array<std::atomic<bool>, kSlots> pendingUsed{};

int claim_slot(const std::string& name) {
  if (name.size() + 1 > kSlotSize) return -1;
  for (std::size_t i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (pendingUsed[i].compare_exchange_strong(expected, true)) {
      std::memcpy(pendingNames[i].data(), name.c_str(), name.size() + 1);
      return static_cast<int>(i);
    }
  }
  return -1;
}

void release_slot(int& slot) {
  if (slot >= 0) pendingUsed[static_cast<std::size_t>(slot)].store(false);
  slot = -1;
}

bool same_inode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string proc_name(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

SafeOutput::~SafeOutput() {
  abandon();
}

void SafeOutput::abandon() {
  if (ownsFd_ && fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ownsFd_ = false;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  release_slot(pendingSlot_);
  kind_ = Kind::None;
}

std::string SafeOutput::writableName() const {
  if (kind_ != Kind::NewFile && kind_ != Kind::Replace) return {};
  return unnamed_ ? proc_name(fd_) : temporary_;
}

std::optional<WriteFailure> SafeOutput::open(const std::string& path) {
  abandon();
  ignore_file_size_signal();
  written_ = 0;
  if (path.empty()) return failure_of(ENOENT, "open an empty name");
  const Resolved r = resolve(path);
  if (r.failure) return r.failure;
  if (r.stream != 0) {
    target_ = path;
    return openStream(r.stream, false);
  }
  return openFile(r.path);
}

std::optional<WriteFailure> SafeOutput::openStream(int fd, bool owned) {
  fd_ = fd;
  ownsFd_ = owned;
  kind_ = Kind::Stream;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const WriteFailure f = failure_of(errno, "fstat " + target_);
    abandon();
    return f;
  }
  return std::nullopt;
}

std::optional<WriteFailure> SafeOutput::openFile(const std::string& path) {
  target_ = path;
  folder_ = folder_of(path);
  const std::string name = name_of(path);
  if (name.empty() || name == "." || name == "..") {
    return failure_for(WriteFailure::Reason::Folder, "a folder: " + path);
  }
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return failure_of(errno, "stat " + path);
  if (exists) {
    if (S_ISCHR(st.st_mode)) {
      const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
      if (fd < 0) return failure_of(errno, "open " + path);
      return openStream(fd, true);
    }
    if (S_ISDIR(st.st_mode)) return failure_for(WriteFailure::Reason::Folder, "a folder: " + path);
    if (!S_ISREG(st.st_mode)) {
      // A pipe, a socket, a block device: refused at once, never waited on or replaced.
      return failure_for(WriteFailure::Reason::NotRegularFile, "not a regular file: " + path);
    }
    if (!may_write(path, st)) return failure_of(EACCES, "write " + path);
    if (st.st_nlink > 1) {
      return failure_for(WriteFailure::Reason::HardLinked,
                         std::to_string(st.st_nlink) + " hard links: " + path);
    }
    if (::geteuid() != 0 && (st.st_uid != ::geteuid() || !in_group(st.st_gid))) {
      return failure_for(WriteFailure::Reason::OtherOwner,
                         "owner or group cannot be kept: " + path);
    }
    original_ = st;
  }
  // The folder must take a new name (the new content is linked in under one).
  if (::faccessat(AT_FDCWD, folder_.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return failure_of(errno, "write in " + folder_);
  }
  errno = 0;
  const long maxName = ::pathconf(folder_.c_str(), _PC_NAME_MAX);
  if ((maxName > 0 && name.size() > static_cast<std::size_t>(maxName)) ||
      path.size() + kTemporaryPrefix.size() + 8 >= PATH_MAX) {
    return failure_of(ENAMETOOLONG, "name " + path);
  }
  kind_ = exists ? Kind::Replace : Kind::NewFile;
  // A replacement is private until it has the file's own owner and mode.
  if (auto f = createTemporary(folder_, exists ? 0600 : 0666)) {
    abandon();
    return f;
  }
  if (exists) {
    if (auto f = keepAttributes()) {
      abandon();
      return f;
    }
  }
  return std::nullopt;
}

std::optional<WriteFailure> SafeOutput::createTemporary(const std::string& folder, mode_t mode) {
  // An unnamed file needs /proc to be linked in by an unprivileged user.
  if (::access("/proc/self/fd", X_OK) == 0) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0) {
      fd_ = fd;
      ownsFd_ = true;
      unnamed_ = true;
      return std::nullopt;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
      return failure_of(errno, "create a file in " + folder);
    }
  }
  // No unnamed files here: a hidden name, removed again on every way out.
  unnamed_ = false;
  for (int attempt = 0; attempt < kMaxNameTries; ++attempt) {
    const std::string name = folder + "/" + std::string(kTemporaryPrefix) + random_suffix();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd >= 0) {
      fd_ = fd;
      ownsFd_ = true;
      temporary_ = name;
      pendingSlot_ = claim_slot(name);
      return std::nullopt;
    }
    if (errno != EEXIST && errno != EINTR) return failure_of(errno, "create " + name);
  }
  return failure_of(EEXIST, "create a temporary name in " + folder);
}

std::optional<WriteFailure> SafeOutput::keepAttributes() {
  const struct stat& st = original_;
  struct stat now {};
  if (::fstat(fd_, &now) != 0) return failure_of(errno, "fstat");
  if ((now.st_uid != st.st_uid || now.st_gid != st.st_gid) &&
      ::fchown(fd_, st.st_uid, st.st_gid) != 0) {
    WriteFailure f = failure_of(errno, "keep the owner of " + target_);
    f.reason = WriteFailure::Reason::OtherOwner;
    return f;
  }
  // After the owner: changing it clears the set-id bits.
  if (::fchmod(fd_, st.st_mode & 07777) != 0)
    return failure_of(errno, "keep the mode of " + target_);
  // The access list, where the file has one.
  const ssize_t size = ::getxattr(target_.c_str(), kAccessList.data(), nullptr, 0);
  if (size > 0) {
    std::vector<char> acl(static_cast<std::size_t>(size));
    const ssize_t got = ::getxattr(target_.c_str(), kAccessList.data(), acl.data(), acl.size());
    if (got < 0 ||
        ::fsetxattr(fd_, kAccessList.data(), acl.data(), static_cast<std::size_t>(got), 0) != 0) {
      WriteFailure f = failure_of(errno, "keep the access list of " + target_);
      f.reason = WriteFailure::Reason::OtherOwner;
      return f;
    }
  }
  return std::nullopt;
}

std::optional<WriteFailure> SafeOutput::write(std::string_view bytes) {
  if (kind_ == Kind::None || fd_ < 0) return failure_of(EBADF, "write");
  struct stat st {};
  // The size a process may give a file: a write beyond it would be cut short (or end the
  // program), so it is refused before its first byte.
  if (kind_ != Kind::Stream || (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode))) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
      off_t at = kind_ == Kind::Stream ? ::lseek(fd_, 0, SEEK_CUR) : static_cast<off_t>(written_);
      if (at < 0) at = 0;
      if (static_cast<rlim_t>(at) > limit.rlim_cur ||
          bytes.size() > limit.rlim_cur - static_cast<rlim_t>(at)) {
        return failure_of(EFBIG, "write " + target_);
      }
    }
  }
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  int interruptions = 0;
  while (left > 0) {
    const ssize_t n = ::write(fd_, data, left);
    if (n < 0) {
      const int err = errno;
      if (err == EINTR && ++interruptions < kMaxInterruptions) continue;
      if (err == EAGAIN || err == EWOULDBLOCK) {
        // A stream opened without waiting by someone else: wait until it takes more.
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, -1) >= 0 || errno == EINTR) continue;
      }
      return failure_of(err, "write " + target_);
    }
    if (n == 0) return failure_of(ENOSPC, "write " + target_ + " (nothing written)");
    data += n;
    left -= static_cast<std::size_t>(n);
    written_ += static_cast<std::size_t>(n);
  }
  return std::nullopt;
}

std::optional<WriteFailure> SafeOutput::linkIn() {
  const std::string source = unnamed_ ? proc_name(fd_) : temporary_;
  if (kind_ == Kind::NewFile) {
    const int rc =
        unnamed_ ? ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW)
                 : ::link(source.c_str(), target_.c_str());
    if (rc == 0) {
      if (!unnamed_) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
        release_slot(pendingSlot_);
      }
      return std::nullopt;
    }
    if (errno == EEXIST) {
      return failure_for(WriteFailure::Reason::Changed, "created meanwhile: " + target_);
    }
    if (unnamed_ || (errno != EPERM && errno != EOPNOTSUPP))
      return failure_of(errno, "link " + target_);
    // A file system without hard links: a rename that does not replace.
    if (::syscall(SYS_renameat2, AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(),
                  1 /* RENAME_NOREPLACE */) == 0) {
      temporary_.clear();
      release_slot(pendingSlot_);
      return std::nullopt;
    }
    if (errno == EEXIST) {
      return failure_for(WriteFailure::Reason::Changed, "created meanwhile: " + target_);
    }
    return failure_of(errno, "rename to " + target_);
  }

  // A replacement: the content gets a name beside the file, then takes the file's name.
  if (unnamed_) {
    for (int attempt = 0; attempt < kMaxNameTries && temporary_.empty(); ++attempt) {
      const std::string name = folder_ + "/" + std::string(kTemporaryPrefix) + random_suffix();
      pendingSlot_ = claim_slot(name);
      if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temporary_ = name;
      } else {
        const int err = errno;
        release_slot(pendingSlot_);
        if (err != EEXIST) return failure_of(err, "link in " + folder_);
      }
    }
    if (temporary_.empty()) return failure_of(EEXIST, "link in " + folder_);
  }
  struct stat now {};
  if (::lstat(target_.c_str(), &now) != 0 || !S_ISREG(now.st_mode) || !same_inode(now, original_)) {
    return failure_for(WriteFailure::Reason::Changed, "replaced meanwhile: " + target_);
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    return failure_of(errno, "rename to " + target_);
  }
  temporary_.clear();
  release_slot(pendingSlot_);
  return std::nullopt;
}

std::optional<WriteFailure> SafeOutput::commit() {
  if (kind_ == Kind::None) return failure_of(EBADF, "commit");
  if (kind_ == Kind::Stream) {
    if (ownsFd_ && ::close(fd_) != 0 && errno != EINTR) {
      const WriteFailure f = failure_of(errno, "close " + target_);
      fd_ = -1;
      abandon();
      return f;
    }
    fd_ = -1;
    ownsFd_ = false;
    kind_ = Kind::None;
    return std::nullopt;
  }
  // Space the file system only claims when the data go out shows up here.
  if (::fsync(fd_) != 0 && errno != EINVAL) {
    const WriteFailure f = failure_of(errno, "write " + target_);
    abandon();
    return f;
  }
  if (auto f = linkIn()) {
    abandon();
    return f;
  }
  ::close(fd_);
  fd_ = -1;
  ownsFd_ = false;
  // The new name is on disk too (best effort: not every file system syncs a folder).
  const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  kind_ = Kind::None;
  return std::nullopt;
}

std::optional<FileKey> file_key_of(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::nullopt;
  return FileKey{st.st_dev, st.st_ino, {}, S_ISREG(st.st_mode)};
}

std::optional<FileKey> file_key(const std::string& path) {
  const Resolved r = resolve(path);
  if (r.failure) return std::nullopt;
  if (r.stream != 0) return file_key_of(r.stream);
  struct stat st {};
  if (r.exists) {
    if (::stat(r.path.c_str(), &st) != 0) return std::nullopt;
    return FileKey{st.st_dev, st.st_ino, {}, S_ISREG(st.st_mode)};
  }
  if (::stat(folder_of(r.path).c_str(), &st) != 0) return std::nullopt;
  return FileKey{st.st_dev, st.st_ino, name_of(r.path), true};
}

bool same_file(const std::optional<FileKey>& a, const std::optional<FileKey>& b) {
  return a && b && a->regular && b->regular && *a == *b;
}

void remove_pending_temporaries() noexcept {
  for (std::size_t i = 0; i < kSlots; ++i) {
    if (pendingUsed[i].load()) ::unlink(pendingNames[i].data());
  }
}

std::string output_failure_message(std::string_view path, const WriteFailure& failure) {
  return save_failure_message(path, failure);
}

}  // namespace pellucor::sheet
