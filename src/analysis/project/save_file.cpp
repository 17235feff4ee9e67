#include "analysis/project/save_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <system_error>

#include "sheet/result_writer.hpp"
#include "sheet/safe_output.hpp"

namespace pellucor::analysis::project {

namespace {

[[noreturn]] void fail(const std::string& path, const sheet::WriteFailure& f) {
  throw SaveError("cannot save " + path + ": " + f.detail,
                  "无法保存 " + path + "（" + sheet::reason_text(f) + "），原文件未改动。");
}

sheet::WriteFailure system_failure(int err, const std::string& what) {
  sheet::WriteFailure f;
  f.reason = sheet::reason_of_error(err);
  f.error = err;
  f.detail = what + ": " + std::error_code(err, std::generic_category()).message();
  return f;
}

// The whole content of a file, or why it cannot be read.
std::optional<sheet::WriteFailure> read_all(const std::string& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return system_failure(errno, "read " + path);
  char buf[65536];
  int interruptions = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR && ++interruptions < 100) continue;
      const int err = errno;
      ::close(fd);
      return system_failure(err, "read " + path);
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return std::nullopt;
}

// Writes `bytes` into an opened output; commits when `commit`.
std::optional<sheet::WriteFailure> put(sheet::SafeOutput& out, std::string_view bytes,
                                       bool commit) {
  if (auto f = out.write(bytes)) return f;
  return commit ? out.commit() : std::nullopt;
}

}  // namespace

void save_file_keeping_backup(const std::string& path, std::string_view bytes) {
  sheet::SafeOutput out;
  if (auto f = out.open(path)) fail(path, *f);
  if (auto f = put(out, bytes, false)) fail(path, *f);

  if (out.kind() == sheet::SafeOutput::Kind::Replace) {
    const std::string& target = out.target();
    const std::string backupPath = target + std::string(kBackupSuffix);
    // A backup that is the file itself (a link from the backup's name to it) would stand in
    // the way of the new content; nothing is saved then.
    if (sheet::same_file(sheet::file_key(target), sheet::file_key(backupPath))) {
      sheet::WriteFailure f;
      f.reason = sheet::WriteFailure::Reason::HardLinked;
      f.detail = "the backup " + backupPath + " is the file itself";
      fail(path, f);
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) fail(path, system_failure(errno, "stat " + target));
    std::string old;
    if (auto f = read_all(target, old)) fail(path, *f);
    sheet::SafeOutput backup;
    if (auto f = backup.open(backupPath)) fail(path, *f);
    if (backup.kind() == sheet::SafeOutput::Kind::NewFile ||
        backup.kind() == sheet::SafeOutput::Kind::Replace) {
      // The old content no more readable than where it comes from, before any byte of it.
      if (::chmod(backup.writableName().c_str(), st.st_mode & 0777) != 0) {
        fail(path, system_failure(errno, "chmod " + backupPath));
      }
    }
    if (auto f = put(backup, old, true)) fail(path, *f);
  }
  if (auto f = out.commit()) fail(path, *f);
}

}  // namespace pellucor::analysis::project
