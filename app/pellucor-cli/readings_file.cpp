#include "readings_file.hpp"

#include "arguments.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace pellucor::cli {

namespace inspect = analysis::inspect;
namespace batch = analysis::batch;

std::string read_input(const std::string& path) {
  const bool stdinput = path == "-";
  const int fd = stdinput ? 0 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno) +
                             "; nothing was computed");
  }
  std::string bytes;
  char buf[65536];
  int interruptions = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR && ++interruptions < 100) continue;
    if (n < 0) {
      const int err = errno;
      if (!stdinput) ::close(fd);
      throw std::runtime_error("cannot read " + path + ": " + std::strerror(err) +
                               "; nothing was computed");
    }
    if (n == 0) break;
    bytes.append(buf, static_cast<std::size_t>(n));
  }
  if (!stdinput) ::close(fd);
  return bytes;
}

namespace {

std::vector<inspect::ReadingRow> rows_of(const std::string& utf8) {
  std::vector<inspect::ReadingRow> rows;
  for (auto& r : batch::parse_csv(utf8)) {
    if (!r.error.empty()) {
      throw std::runtime_error("line " + std::to_string(r.line) + " cannot be read as CSV (" +
                               r.error + "); nothing was computed");
    }
    rows.push_back({std::move(r.fields), r.line});
  }
  return rows;
}

}  // namespace

inspect::Readings read_table(const std::string& path, std::optional<batch::Encoding> given,
                             std::span<const inspect::ReadingColumn> columns) {
  const std::string bytes = read_input(path);
  std::string text;
  try {
    text = batch::decode_text(bytes, nullptr, given);
  } catch (const batch::EncodingError& e) {
    if (!e.asksForEncoding())
      throw std::runtime_error(std::string(e.what()) + "; nothing was computed");
    // Valid both ways: the reading in which the header names the columns, when only one does.
    std::optional<std::string> only;
    int readable = 0;
    for (auto encoding : {batch::Encoding::Utf8, batch::Encoding::Gbk}) {
      try {
        std::string t = batch::decode_text(bytes, nullptr, encoding);
        const auto r = inspect::read_readings(rows_of(t), columns, true);
        const bool headerKnown =
            r.ok() || (r.refusal().kind != inspect::ReadingsRefusal::UnknownColumn &&
                       r.refusal().kind != inspect::ReadingsRefusal::MissingColumn);
        if (headerKnown) {
          ++readable;
          only = std::move(t);
        }
      } catch (const std::exception&) {
      }
    }
    if (readable != 1) {
      throw std::runtime_error(std::string(e.what()) +
                               "; say which with --input-encoding utf-8 or gbk; nothing was "
                               "computed");
    }
    text = std::move(*only);
  }
  const auto r = inspect::read_readings(rows_of(text), columns, true);
  if (!r) {
    throw std::runtime_error(r.refusal().message + " (" + r.refusal().text +
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
