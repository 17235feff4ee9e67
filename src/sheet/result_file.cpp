#include "sheet/result_file.hpp"

#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
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

namespace {

std::string errno_text(int err) {
  return std::error_code(err, std::generic_category()).message();
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

}  // namespace

std::optional<std::string> append_block(const std::string& path,
                                        const std::vector<std::string>& lines) {
  try {
    std::string block;
    {
      Converter conv;
      if (!conv.ok()) return "no conversion from UTF-8 to GBK: " + errno_text(errno);
      for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!conv.append(lines[i], block)) {
          return "line " + std::to_string(i + 1) + " cannot be written in GBK";
        }
        block += "\r\n";
      }
    }

    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return "cannot open " + path + ": " + errno_text(errno);

    std::optional<std::string> error;
    const char* data = block.data();
    std::size_t left = block.size();
    while (left > 0) {
      const ssize_t n = ::write(fd, data, left);
      if (n < 0) {
        if (errno == EINTR) continue;
        error = "cannot write " + path + ": " + errno_text(errno);
        break;
      }
      if (n == 0) {
        error = "cannot write " + path + ": nothing was written";
        break;
      }
      data += n;
      left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && !error) error = "cannot close " + path + ": " + errno_text(errno);
    return error;
  } catch (const std::exception& e) {
    return std::string("cannot save: ") + e.what();
  } catch (...) {
    return std::string("cannot save");
  }
}

}  // namespace pellucor::sheet
