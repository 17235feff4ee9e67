#include "readings_file.hpp"

#include "arguments.hpp"
#include "platform/files.hpp"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace pellucor::cli {

namespace inspect = analysis::inspect;
namespace batch = analysis::batch;

// The whole input, from a file or standard input, up to one byte more than a file of readings
// may hold (the reader refuses it then: a pipe without end, a device, a huge file never fill
// the memory).
std::string read_input(const std::string& path) {
  const bool stdinput = path == "-";
  int openError = 0;
  const int fd = stdinput ? 0 : platform::open_for_reading(path, openError);
  if (fd < 0) {
    throw std::runtime_error("cannot read " + path + ": " + std::strerror(openError) +
                             "; nothing was computed");
  }
  std::string bytes;
  char buf[65536];
  int interruptions = 0;
  while (bytes.size() <= inspect::kMaxReadingsFileBytes) {
    const std::ptrdiff_t n = platform::read_some(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR && ++interruptions < 100) continue;
    if (n < 0) {
      const int err = errno;
      if (!stdinput) platform::close_file(fd);
      throw std::runtime_error("cannot read " + path + ": " + std::strerror(err) +
                               "; nothing was computed");
    }
    if (n == 0) break;
    bytes.append(buf, static_cast<std::size_t>(n));
  }
  if (!stdinput) platform::close_file(fd);
  return bytes;
}

inspect::Readings read_table(const std::string& path, std::optional<batch::Encoding> given,
                             std::span<const inspect::ReadingColumn> columns) {
  const auto r = inspect::read_readings_csv(read_input(path), columns, given);
  if (!r) {
    throw std::runtime_error((path == "-" ? std::string("standard input") : path) + ": " +
                             r.refusal().message + " (" + r.refusal().text +
                             "); nothing was computed");
  }
  return *r;
}

std::optional<batch::Encoding> input_encoding(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  std::string v = *value;
  for (char& c : v) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (v == "gbk" || v == "cp936") return batch::Encoding::Gbk;
  if (v == "utf-8" || v == "utf8") return batch::Encoding::Utf8;
  throw UsageError("unknown encoding '" + *value + "' for --input-encoding (utf-8 or gbk)");
}

}  // namespace pellucor::cli
