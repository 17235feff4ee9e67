#include "platform/safe_output.hpp"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <mutex>
#include <vector>

#include "posix/paths.hpp"

namespace pellucor::platform {

using posix::folder_of;
using posix::name_of;

namespace {

// An interrupted call is tried again, but not for ever.
constexpr int kMaxInterruptions = 100;
// Random names tried for a hidden temporary file before giving up.
constexpr int kMaxNameTries = 100;
// The part of a temporary's name beside its target's name.
constexpr std::size_t kSuffixLength = 8;
constexpr std::string_view kAccessList = "system.posix_acl_access";

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
  for (std::size_t i = 0; i < kSuffixLength; ++i) {
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ULL;
    s += kDigits[x % 36];
  }
  return s;
}

// The longest name a file may have in `folder`.
std::size_t name_max(const std::string& folder) {
  errno = 0;
  const long n = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  return n > 0 ? static_cast<std::size_t>(n) : 255;
}

// A fresh hidden name beside `target` in `folder`.
std::string temporary_path(const std::string& folder, const std::string& target) {
  return folder + "/" + temporary_name(name_of(target), random_suffix(), name_max(folder));
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

struct SafeOutput::Impl {
  int fd = -1;
  bool ownsFd = false;
  bool unnamed = false;     // O_TMPFILE: linked in at commit
  std::string temporary;    // the hidden temporary name, when not unnamed
  int pendingSlot = -1;     // its place in the list a signal handler cleans up
  std::string folder;       // the target's folder
  struct stat original {};  // Replace: the file (or what stands under its name) as found
  // Whose permissions the new content takes: the replaced file's, or those named by the
  // options; none for a new file with the usual ones.
  std::string permissionsPath;
  struct stat permissions {};
  bool takesPermissions = false;

  std::optional<WriteFailure> openStream(SafeOutput& out, int stream, bool owned);
  std::optional<WriteFailure> openFile(SafeOutput& out, const std::string& path,
                                       const Options& options);
  std::optional<WriteFailure> createTemporary(const std::string& target, mode_t mode);
  std::optional<WriteFailure> keepAttributes(const std::string& target);
  std::optional<WriteFailure> linkIn(Kind kind, const std::string& target);
  void drop();
};

SafeOutput::SafeOutput() : impl_(std::make_unique<Impl>()) {}

SafeOutput::~SafeOutput() {
  abandon();
}

void SafeOutput::Impl::drop() {
  if (ownsFd && fd >= 0) ::close(fd);
  fd = -1;
  ownsFd = false;
  if (!temporary.empty()) ::unlink(temporary.c_str());
  temporary.clear();
  release_slot(pendingSlot);
}

void SafeOutput::abandon() {
  impl_->drop();
  kind_ = Kind::None;
}

bool SafeOutput::standardStream() const {
  return kind_ == Kind::Stream && !impl_->ownsFd;
}

std::string SafeOutput::writableName() const {
  if (kind_ != Kind::NewFile && kind_ != Kind::Replace) return {};
  return impl_->unnamed ? proc_name(impl_->fd) : impl_->temporary;
}

std::optional<WriteFailure> SafeOutput::open(const std::string& path) {
  return open(path, Options{});
}

std::optional<WriteFailure> SafeOutput::open(const std::string& path, const Options& options) {
  abandon();
  ignore_file_size_signal();
  written_ = 0;
  impl_ = std::make_unique<Impl>();
  if (path.empty()) return failure_of(ENOENT, "open an empty name");
  if (options.replaceWhatIsNotAFile) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
      return impl_->openFile(*this, path, options);
    }
  }
  const posix::Resolved r = posix::resolve(path);
  if (r.failure) return r.failure;
  if (r.stream != 0) {
    target_ = path;
    return impl_->openStream(*this, r.stream, false);
  }
  return impl_->openFile(*this, r.path, options);
}

std::optional<WriteFailure> SafeOutput::Impl::openStream(SafeOutput& out, int stream, bool owned) {
  fd = stream;
  ownsFd = owned;
  out.kind_ = Kind::Stream;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const WriteFailure f = failure_of(errno, "fstat " + out.target_);
    out.abandon();
    return f;
  }
  return std::nullopt;
}

std::optional<WriteFailure> SafeOutput::Impl::openFile(SafeOutput& out, const std::string& path,
                                                       const Options& options) {
  out.target_ = path;
  folder = folder_of(path);
  const std::string name = name_of(path);
  if (name.empty() || name == "." || name == "..") {
    return failure_for(WriteFailure::Reason::Folder, "a folder: " + path);
  }
  struct stat st {};
  bool exists = false;
  bool replacesOther = false;  // what stands under the name is replaced, not followed
  if (options.replaceWhatIsNotAFile && ::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
      !S_ISDIR(st.st_mode)) {
    exists = true;
    replacesOther = true;
  } else {
    exists = ::stat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return failure_of(errno, "stat " + path);
  }
  if (exists && !replacesOther) {
    if (S_ISCHR(st.st_mode)) {
      const int device = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
      if (device < 0) return failure_of(errno, "open " + path);
      return openStream(out, device, true);
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
  }
  if (exists) {
    original = st;
    permissionsPath = path;
    permissions = st;
    takesPermissions = !replacesOther;
  }
  if (!options.permissionsOf.empty()) {
    if (::stat(options.permissionsOf.c_str(), &permissions) != 0) {
      return failure_of(errno, "stat " + options.permissionsOf);
    }
    permissionsPath = options.permissionsOf;
    takesPermissions = true;
  }
  // The folder must take a new name (the new content is linked in under one).
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return failure_of(errno, "write in " + folder);
  }
  if (name.size() > name_max(folder) || path.size() + 30 >= PATH_MAX) {
    return failure_of(ENAMETOOLONG, "name " + path);
  }
  out.kind_ = exists ? Kind::Replace : Kind::NewFile;
  // Content that takes permissions is private until it has them.
  if (auto f = createTemporary(path, takesPermissions ? 0600 : 0666)) {
    out.abandon();
    return f;
  }
  if (takesPermissions) {
    if (auto f = keepAttributes(path)) {
      out.abandon();
      return f;
    }
  }
  return std::nullopt;
}

std::optional<WriteFailure> SafeOutput::Impl::createTemporary(const std::string& target,
                                                              mode_t mode) {
  // An unnamed file needs /proc to be linked in by an unprivileged user.
  if (::access("/proc/self/fd", X_OK) == 0) {
    const int created = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (created >= 0) {
      fd = created;
      ownsFd = true;
      unnamed = true;
      return std::nullopt;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
      return failure_of(errno, "create a file in " + folder);
    }
  }
  // No unnamed files here: a hidden name that says what it is, removed again on every way out.
  unnamed = false;
  for (int attempt = 0; attempt < kMaxNameTries; ++attempt) {
    const std::string name = temporary_path(folder, target);
    const int created =
        ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (created >= 0) {
      fd = created;
      ownsFd = true;
      temporary = name;
      pendingSlot = claim_slot(name);
      return std::nullopt;
    }
    if (errno != EEXIST && errno != EINTR) return failure_of(errno, "create " + name);
  }
  return failure_of(EEXIST, "create a temporary name in " + folder);
}

std::optional<WriteFailure> SafeOutput::Impl::keepAttributes(const std::string& target) {
  const struct stat& st = permissions;
  struct stat now {};
  if (::fstat(fd, &now) != 0) return failure_of(errno, "fstat");
  if ((now.st_uid != st.st_uid || now.st_gid != st.st_gid) &&
      ::fchown(fd, st.st_uid, st.st_gid) != 0) {
    WriteFailure f = failure_of(errno, "keep the owner of " + target);
    f.reason = WriteFailure::Reason::OtherOwner;
    return f;
  }
  // After the owner: changing it clears the set-id bits.
  if (::fchmod(fd, st.st_mode & 07777) != 0) {
    return failure_of(errno, "keep the mode of " + target);
  }
  // The access list, where the file has one; none where it has none (a list the folder hands
  // down to new files would otherwise stay).
  const ssize_t size = ::getxattr(permissionsPath.c_str(), kAccessList.data(), nullptr, 0);
  if (size > 0) {
    std::vector<char> acl(static_cast<std::size_t>(size));
    const ssize_t got =
        ::getxattr(permissionsPath.c_str(), kAccessList.data(), acl.data(), acl.size());
    if (got < 0 ||
        ::fsetxattr(fd, kAccessList.data(), acl.data(), static_cast<std::size_t>(got), 0) != 0) {
      WriteFailure f = failure_of(errno, "keep the access list of " + target);
      f.reason = WriteFailure::Reason::OtherOwner;
      return f;
    }
  } else if (::fremovexattr(fd, kAccessList.data()) != 0 && errno != ENODATA && errno != ENOTSUP) {
    WriteFailure f = failure_of(errno, "keep the access list of " + target);
    f.reason = WriteFailure::Reason::OtherOwner;
    return f;
  }
  return std::nullopt;
}

std::optional<WriteFailure> SafeOutput::write(std::string_view bytes) {
  Impl& m = *impl_;
  if (kind_ == Kind::None || m.fd < 0) return failure_of(EBADF, "write");
  struct stat st {};
  // The size a process may give a file: a write beyond it would be cut short (or end the
  // program), so it is refused before its first byte.
  if (kind_ != Kind::Stream || (::fstat(m.fd, &st) == 0 && S_ISREG(st.st_mode))) {
    if (const auto limit = file_size_limit()) {
      off_t at = kind_ == Kind::Stream ? ::lseek(m.fd, 0, SEEK_CUR) : static_cast<off_t>(written_);
      if (at < 0) at = 0;
      if (static_cast<std::uint64_t>(at) > *limit ||
          bytes.size() > *limit - static_cast<std::uint64_t>(at)) {
        return failure_of(EFBIG, "write " + target_);
      }
    }
  }
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  int interruptions = 0;
  while (left > 0) {
    const ssize_t n = ::write(m.fd, data, left);
    if (n < 0) {
      const int err = errno;
      if (err == EINTR && ++interruptions < kMaxInterruptions) continue;
      if (err == EAGAIN || err == EWOULDBLOCK) {
        // A stream opened without waiting by someone else: wait until it takes more.
        pollfd p{m.fd, POLLOUT, 0};
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

std::optional<WriteFailure> SafeOutput::Impl::linkIn(Kind kind, const std::string& target) {
  const std::string source = unnamed ? proc_name(fd) : temporary;
  if (kind == Kind::NewFile) {
    const int rc =
        unnamed ? ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW)
                : ::link(source.c_str(), target.c_str());
    if (rc == 0) {
      if (!unnamed) {
        ::unlink(temporary.c_str());
        temporary.clear();
        release_slot(pendingSlot);
      }
      return std::nullopt;
    }
    if (errno == EEXIST) {
      return failure_for(WriteFailure::Reason::Changed, "created meanwhile: " + target);
    }
    if (unnamed || (errno != EPERM && errno != EOPNOTSUPP)) {
      return failure_of(errno, "link " + target);
    }
    // A file system without hard links: a rename that does not replace.
    if (::syscall(SYS_renameat2, AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(),
                  1 /* RENAME_NOREPLACE */) == 0) {
      temporary.clear();
      release_slot(pendingSlot);
      return std::nullopt;
    }
    if (errno == EEXIST) {
      return failure_for(WriteFailure::Reason::Changed, "created meanwhile: " + target);
    }
    return failure_of(errno, "rename to " + target);
  }

  // A replacement: the content gets a name beside the file, then takes the file's name.
  if (unnamed) {
    for (int attempt = 0; attempt < kMaxNameTries && temporary.empty(); ++attempt) {
      const std::string name = temporary_path(folder, target);
      pendingSlot = claim_slot(name);
      if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temporary = name;
      } else {
        const int err = errno;
        release_slot(pendingSlot);
        if (err != EEXIST) return failure_of(err, "link in " + folder);
      }
    }
    if (temporary.empty()) return failure_of(EEXIST, "link in " + folder);
  }
  struct stat now {};
  if (::lstat(target.c_str(), &now) != 0 || (now.st_mode & S_IFMT) != (original.st_mode & S_IFMT) ||
      !same_inode(now, original)) {
    return failure_for(WriteFailure::Reason::Changed, "replaced meanwhile: " + target);
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    return failure_of(errno, "rename to " + target);
  }
  temporary.clear();
  release_slot(pendingSlot);
  return std::nullopt;
}

std::optional<WriteFailure> SafeOutput::commit() {
  Impl& m = *impl_;
  if (kind_ == Kind::None) return failure_of(EBADF, "commit");
  if (kind_ == Kind::Stream) {
    if (m.ownsFd && ::close(m.fd) != 0 && errno != EINTR) {
      const WriteFailure f = failure_of(errno, "close " + target_);
      m.fd = -1;
      abandon();
      return f;
    }
    m.fd = -1;
    m.ownsFd = false;
    kind_ = Kind::None;
    return std::nullopt;
  }
  // Space the file system only claims when the data go out shows up here.
  if (::fsync(m.fd) != 0 && errno != EINVAL) {
    const WriteFailure f = failure_of(errno, "write " + target_);
    abandon();
    return f;
  }
  if (auto f = m.linkIn(kind_, target_)) {
    abandon();
    return f;
  }
  ::close(m.fd);
  m.fd = -1;
  m.ownsFd = false;
  // The new name is on disk too (best effort: not every file system syncs a folder).
  const int dir = ::open(m.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  kind_ = Kind::None;
  return std::nullopt;
}

void remove_pending_temporaries() noexcept {
  for (std::size_t i = 0; i < kSlots; ++i) {
    if (pendingUsed[i].load()) ::unlink(pendingNames[i].data());
  }
}

}  // namespace pellucor::platform
