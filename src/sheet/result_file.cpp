#include "sheet/result_file.hpp"

#include <fcntl.h>
#include <iconv.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <system_error>

namespace pellucor::sheet {

std::vector<std::string> result_file_block(const Report& report) {
  std::vector<std::string> lines;
  lines.reserve(report.echo.size() + report.file.size() + 5);
  lines.emplace_back(kEqualsLine);
  lines.emplace_back(kParametersHeader);
  lines.insert(lines.end(), report.echo.begin(), report.echo.end());
  lines.emplace_back(kHyphensLine);
  lines.emplace_back(kResultsHeader);
  lines.insert(lines.end(), report.file.begin(), report.file.end());
  lines.emplace_back(kEqualsLine);
  return lines;
}

WriteFailure::Reason reason_of_error(int error) {
  using R = WriteFailure::Reason;
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return R::MissingFolder;
    case EACCES:
    case EPERM:
      return R::NoPermission;
    case EROFS:
      return R::ReadOnlyDisk;
    case ENOSPC:
    case EDQUOT:
      return R::DiskFull;
    case EFBIG:
      return R::FileTooLarge;
    case ENXIO:  // a pipe or socket without a reader, a device without its driver
    case ENODEV:
      return R::NotRegularFile;
    case EISDIR:
      return R::Folder;
    case ENAMETOOLONG:
      return R::NameTooLong;
    case ELOOP:
      return R::LinkLoop;
    default:
      return R::Other;
  }
}

std::string reason_text(const WriteFailure& failure) {
  using R = WriteFailure::Reason;
  switch (failure.reason) {
    case R::MissingFolder:
      return "文件夹不存在";
    case R::NoPermission:
      return "没有写入权限";
    case R::ReadOnlyDisk:
      return "磁盘只读";
    case R::DiskFull:
      return "磁盘已满";
    case R::FileTooLarge:
      return "文件超过允许的大小";
    case R::NotRegularFile:
      return "不是普通文件";
    case R::Folder:
      return "这是一个文件夹";
    case R::NameTooLong:
      return "文件名过长";
    case R::NotGbk:
      return "第 " + std::to_string(failure.line) + " 行有 GBK 编码无法表示的字符";
    case R::NoConversion:
      return "无法转换为 GBK 编码";
    case R::HardLinked:
      return "文件有多个硬链接，替换会使它们分开";
    case R::OtherOwner:
      return "无法保留文件的所有者或属组";
    case R::Changed:
      return "写入期间文件被其他程序创建或替换";
    case R::LinkLoop:
      return "符号链接层数过多";
    case R::Other:
      break;
  }
  return failure.error != 0 ? "系统错误 " + std::to_string(failure.error) : "系统错误";
}

std::string save_failure_message(std::string_view path, const WriteFailure& failure) {
  std::string text = "无法写入文件 ";
  text += path;
  text += "（";
  text += reason_text(failure);
  text += failure.restored ? "），数据未保存!" : "），数据未保存，文件可能已不完整!";
  return text;
}

namespace {

std::string errno_text(int err) {
  return std::error_code(err, std::generic_category()).message();
}

WriteFailure system_failure(int err, const char* what) {
  WriteFailure f;
  f.reason = reason_of_error(err);
  f.error = err;
  f.detail = std::string(what) + ": " + errno_text(err);
  return f;
}

// Closes the conversion descriptor on every path out.
class Converter {
 public:
  Converter() : cd_(iconv_open("GBK", "UTF-8")) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const {
    return cd_ != reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
  }

  // Appends the GBK form of `utf8` to `out`; false when a character cannot be converted.
  bool append(const std::string& utf8, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    std::string in = utf8;
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char buf[256];
    // Every round that stops for want of room has converted something (a character never
    // needs more than a few bytes), so this ends after at most in.size() rounds.
    while (inLeft > 0) {
      char* outPtr = buf;
      std::size_t outLeft = sizeof buf;
      const std::size_t rc = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
      const int err = errno;
      out.append(buf, static_cast<std::size_t>(outPtr - buf));
      if (rc == static_cast<std::size_t>(-1) && err != E2BIG) return false;  // EILSEQ, EINVAL
    }
    char* outPtr = buf;
    std::size_t outLeft = sizeof buf;
    if (iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
      return false;
    }
    out.append(buf, static_cast<std::size_t>(outPtr - buf));
    return true;
  }

 private:
  iconv_t cd_;
};

// Opening never waits (a pipe without a reader fails with ENXIO instead of blocking) and
// never makes a terminal the controlling one.
constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
// An interrupted call is tried again, but not for ever.
constexpr int kMaxInterruptions = 100;

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The file as this Save found it, and how to put it back. Unless the block was written
// whole (commit), the file is put back however the Save is left.
class OpenFile {
 public:
  OpenFile() = default;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile() {
    if (fd_ >= 0 && !settled_) restore();
    if (fd_ >= 0) ::close(fd_);
  }

  // Opens an existing file, or creates it when there is none; nothing on success.
  std::optional<WriteFailure> open(const std::string& path) {
    path_ = path;
    createdPath_ = path;
    for (int attempt = 0; attempt < kMaxInterruptions; ++attempt) {
      fd_ = ::open(path.c_str(), kOpenFlags);
      if (fd_ >= 0) return std::nullopt;
      if (errno == EINTR) continue;
      if (errno != ENOENT) return system_failure(errno, "open");
      // Exclusive creation tells a file made by this Save from one found here.
      fd_ = ::open(path.c_str(), kOpenFlags | O_CREAT | O_EXCL, 0644);
      if (fd_ >= 0) {
        created_ = true;
        return std::nullopt;
      }
      if (errno != EEXIST && errno != EINTR) return system_failure(errno, "create");
      struct stat link {};
      if (errno == EEXIST && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // A link to a file that does not exist yet: the file is created where it points.
        fd_ = ::open(path.c_str(), kOpenFlags | O_CREAT, 0644);
        if (fd_ < 0) return system_failure(errno, "create");
        created_ = true;
        if (char* target = ::realpath(path.c_str(), nullptr)) {
          createdPath_ = target;
          std::free(target);  // NOLINT(cppcoreguidelines-no-malloc)
        }
        return std::nullopt;
      }
      // Someone created it in between: open it as an existing file.
    }
    return system_failure(EINTR, "open");
  }

  // Checks that the file is a plain file and records its length.
  std::optional<WriteFailure> check() {
    if (::fstat(fd_, &stat_) != 0) return system_failure(errno, "fstat");
    if (!S_ISREG(stat_.st_mode)) {
      WriteFailure f;
      f.reason = S_ISDIR(stat_.st_mode) ? WriteFailure::Reason::Folder
                                        : WriteFailure::Reason::NotRegularFile;
      f.detail = "not a regular file";
      return f;
    }
    regular_ = true;
    return std::nullopt;
  }

  int fd() const { return fd_; }
  off_t earlierSize() const { return stat_.st_size; }

  // Puts the file back as it was: cut back to its earlier length, or removed when this
  // Save created it. False when that did not work.
  bool restore() {
    settled_ = true;
    if (created_) {
      // Only the file that was created here, not one that has taken its name since.
      struct stat now {};
      if (::stat(createdPath_.c_str(), &now) != 0) return errno == ENOENT;
      if (!same_file(now, stat_)) return true;
      return ::unlink(createdPath_.c_str()) == 0;
    }
    if (!regular_) return true;  // refused before its first byte
    if (fd_ >= 0) return ::ftruncate(fd_, stat_.st_size) == 0;
    struct stat now {};
    if (::stat(path_.c_str(), &now) != 0 || !same_file(now, stat_)) return false;
    return ::truncate(path_.c_str(), stat_.st_size) == 0;
  }

  // Closes the file after the whole block was written; the error number when closing
  // failed (the file is then still put back by restore()).
  int commit() {
    settled_ = true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? 0 : errno;
  }

 private:
  std::string path_;
  std::string createdPath_;  // the file to remove again when this Save created it
  int fd_ = -1;
  bool created_ = false;
  bool regular_ = false;  // checked: a plain file
  bool settled_ = false;  // restored, or the block is in
  struct stat stat_ {};
};

}  // namespace

ssize_t PosixResultFileWriter::writeSome(int fd, const char* data, std::size_t size) {
  return ::write(fd, data, size);
}

std::optional<WriteFailure> PosixResultFileWriter::appendBytes(const std::string& path,
                                                               const std::string& block) {
  OpenFile file;
  if (auto failure = file.open(path)) return failure;
  // The file is put back first; the failure's texts are made afterwards.
  auto fail = [&file](int err, const char* what) {
    const bool restored = file.restore();
    WriteFailure f = system_failure(err, what);
    f.restored = restored;
    return f;
  };
  if (auto failure = file.check()) {
    failure->restored = file.restore();
    return failure;
  }

  // A block that would take the file past the size this process may write is refused
  // before its first byte: the write would be cut short and, unless the signal is ignored,
  // the process ended.
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    const auto earlier = static_cast<rlim_t>(file.earlierSize());
    if (earlier > limit.rlim_cur || block.size() > limit.rlim_cur - earlier) {
      return fail(EFBIG, "file size limit");
    }
  }

  const char* data = block.data();
  std::size_t left = block.size();
  int interruptions = 0;
  // Every round writes at least one byte or counts an interruption, so the loop ends.
  while (left > 0) {
    const ssize_t n = writeSome(file.fd(), data, left);
    if (n < 0) {
      const int err = errno;
      if (err == EINTR && ++interruptions < kMaxInterruptions) continue;
      return fail(err, "write");
    }
    if (n == 0) return fail(ENOSPC, "write (nothing written)");
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  // Space that the file system only claims when the data go out shows up here.
  if (::fdatasync(file.fd()) != 0 && errno != EINVAL) return fail(errno, "fdatasync");
  if (const int err = file.commit(); err != 0 && err != EINTR) return fail(err, "close");
  return std::nullopt;
}

std::optional<WriteFailure> PosixResultFileWriter::append(const std::string& path,
                                                          const std::vector<std::string>& lines) {
  try {
    std::string block;
    {
      Converter conv;
      if (!conv.ok()) {
        WriteFailure f = system_failure(errno, "iconv_open UTF-8 to GBK");
        f.reason = WriteFailure::Reason::NoConversion;
        return f;
      }
      for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!conv.append(lines[i], block)) {
          WriteFailure f;
          f.reason = WriteFailure::Reason::NotGbk;
          f.line = i + 1;
          f.detail = "line " + std::to_string(i + 1) + " cannot be written in GBK";
          return f;
        }
        block += "\r\n";
      }
    }
    return appendBytes(path, block);
  } catch (const std::bad_alloc&) {
    return system_failure(ENOMEM, "save");
  } catch (...) {
    WriteFailure f;
    f.detail = "save: unexpected exception";
    return f;
  }
}

std::optional<WriteFailure> append_block(const std::string& path,
                                         const std::vector<std::string>& lines) {
  return default_result_file_writer().append(path, lines);
}

ResultFileWriter& default_result_file_writer() {
  static PosixResultFileWriter writer;
  return writer;
}

}  // namespace pellucor::sheet
