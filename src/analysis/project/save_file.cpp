#include "analysis/project/save_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

namespace pellucor::analysis::project {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& what, const fs::path& p, int err) {
  const std::string reason = std::strerror(err);
  throw SaveError(what + " " + p.string() + ": " + reason,
                  "无法保存 " + p.string() + "（" + reason + "），原文件未改动。");
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting the error a delayed write may show only here.
  int close() {
    const int r = ::close(fd_);
    fd_ = -1;
    return r;
  }

 private:
  int fd_;
};

// A file created beside `target` under a fresh name; removed again unless kept.
class Temporary {
 public:
  explicit Temporary(const fs::path& target) {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = target.parent_path() /
              ("." + target.filename().string() + ".tmp" + std::to_string(rd() % 1000000000U));
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ >= 0 || errno != EEXIST) break;
    }
    if (fd_ < 0) fail("cannot create a file beside", target, errno);
  }
  ~Temporary() {
    if (fd_ >= 0) ::close(fd_);
    if (!kept_) ::unlink(path_.c_str());
  }
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;

  // Writes all bytes with the given permissions, flushes them to the disk, closes.
  void write(std::string_view bytes, const struct stat* like) {
    if (like != nullptr) {
      // Before any byte is written, so that no content is ever more readable than the file
      // it replaces.
      if (::fchmod(fd_, like->st_mode & 07777) != 0)
        fail("cannot set the permissions of", path_, errno);
      (void)!::fchown(fd_, like->st_uid, like->st_gid);  // possible only for the owner's group
    }
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
      const ssize_t n = ::write(fd_, p, left);
      if (n < 0) {
        if (errno == EINTR) continue;
        fail("cannot write", path_, errno);
      }
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd_) != 0) fail("cannot flush", path_, errno);
    const int r = ::close(fd_);
    fd_ = -1;
    if (r != 0) fail("cannot close", path_, errno);
  }
  // Renames the file to `to`, after which it is no longer removed.
  void rename_to(const fs::path& to) {
    if (::rename(path_.c_str(), to.c_str()) != 0) fail("cannot rename onto", to, errno);
    kept_ = true;
  }

 private:
  fs::path path_;
  int fd_ = -1;
  bool kept_ = false;
};

std::string read_all(const fs::path& p) {
  Fd fd(::open(p.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) fail("cannot read", p, errno);
  std::string out;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("cannot read", p, errno);
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

void sync_folder(const fs::path& folder) {
  Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) (void)::fsync(fd.get());
}

}  // namespace

void save_file_keeping_backup(const std::string& path, std::string_view bytes) {
  fs::path target = fs::absolute(path);
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    target = fs::canonical(target, ec);
    if (ec) fail("cannot follow the link", path, ec.value());
  }
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) fail("cannot look at", target, errno);
  if (exists && !S_ISREG(st.st_mode)) fail("not a regular file:", target, EISDIR);

  Temporary fresh(target);
  fresh.write(bytes, exists ? &st : nullptr);
  if (exists) {
    Temporary backup(target);
    backup.write(read_all(target), &st);
    fs::path bak = target;
    bak += std::string(kBackupSuffix);
    backup.rename_to(bak);
  }
  fresh.rename_to(target);
  sync_folder(target.parent_path());
}

}  // namespace pellucor::analysis::project
