#include "sheet/result_file.hpp"

#include <cerrno>
#include <cstddef>
#include <new>

#include "platform/files.hpp"
#include "platform/text_encoding.hpp"

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
    case R::InUse:
      return "文件正被其他程序打开，请关闭后再试";
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

// An interrupted call is tried again, but not for ever.
constexpr int kMaxInterruptions = 100;

}  // namespace

std::ptrdiff_t DiskResultFileWriter::writeSome(int fd, const char* data, std::size_t size) {
  return platform::write_some(fd, data, size);
}

std::optional<WriteFailure> DiskResultFileWriter::appendBytes(const std::string& path,
                                                              const std::string& block) {
  platform::AppendFile file;
  if (auto failure = file.open(path)) {
    failure->restored = file.restore();
    return failure;
  }
  // The file is put back first; the failure's texts are made afterwards.
  auto fail = [&file](int err, const char* what) {
    const bool restored = file.restore();
    WriteFailure f = platform::failure_of(err, what);
    f.restored = restored;
    return f;
  };

  // A block that would take the file past the size this process may write is refused
  // before its first byte: the write would be cut short and, unless the signal is ignored,
  // the process ended.
  if (const auto limit = platform::file_size_limit()) {
    const std::uint64_t earlier = file.earlierSize();
    if (earlier > *limit || block.size() > *limit - earlier) return fail(EFBIG, "file size limit");
  }

  const char* data = block.data();
  std::size_t left = block.size();
  int interruptions = 0;
  // Every round writes at least one byte or counts an interruption, so the loop ends.
  while (left > 0) {
    const std::ptrdiff_t n = writeSome(file.fd(), data, left);
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
  if (const int err = file.sync(); err != 0) return fail(err, "fdatasync");
  if (const int err = file.commit(); err != 0 && err != EINTR) return fail(err, "close");
  return std::nullopt;
}

std::optional<WriteFailure> DiskResultFileWriter::append(const std::string& path,
                                                         const std::vector<std::string>& lines) {
  try {
    std::string block;
    {
      platform::GbkConversion conv(platform::GbkConversion::Direction::ToGbk);
      if (!conv.available()) {
        WriteFailure f = platform::failure_of(errno, "iconv_open UTF-8 to GBK");
        f.reason = WriteFailure::Reason::NoConversion;
        return f;
      }
      for (std::size_t i = 0; i < lines.size(); ++i) {
        if (conv.convert(lines[i], block) != lines[i].size()) {
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
    return platform::failure_of(ENOMEM, "save");
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
  static DiskResultFileWriter writer;
  return writer;
}

}  // namespace pellucor::sheet
