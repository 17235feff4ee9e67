#include "analysis/batch/csv.hpp"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace pellucor::analysis::batch {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool valid_utf8(std::string_view s) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (std::size_t k = 1; k < len; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    // No overlong forms, no surrogates, nothing beyond U+10FFFF.
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
        (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
      return false;
    }
    i += len;
  }
  return true;
}

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using Converter = std::unique_ptr<void, IconvCloser>;

Converter open_converter(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw EncodingError(std::string("no conversion from ") + from + " to " + to);
  }
  return Converter(cd);
}

// Converts all of `in`; on a sequence that cannot be converted, `invalid` decides: return
// false to fail, or true after writing a replacement and skipping `skip` input bytes.
template <class Invalid>
bool convert(void* cd, std::string_view in, std::string& out, Invalid invalid) {
  auto* inPtr = const_cast<char*>(in.data());
  std::size_t inLeft = in.size();
  char buffer[8192];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t r = iconv(static_cast<iconv_t>(cd), &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      std::size_t skip = 0;
      if (!invalid(std::string_view(inPtr, inLeft), out, skip)) return false;
      inPtr += skip;
      inLeft -= skip;
    }
  }
  return true;
}

std::size_t utf8_length(unsigned char c) {
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) return 2;
  if ((c & 0xF0) == 0xE0) return 3;
  if ((c & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

std::string decode_text(std::string_view bytes, Encoding* detected) {
  if (bytes.substr(0, kBom.size()) == kBom) {
    bytes.remove_prefix(kBom.size());
    if (!valid_utf8(bytes))
      throw EncodingError("the file starts with a UTF-8 mark but is not UTF-8");
    if (detected != nullptr) *detected = Encoding::Utf8Bom;
    return std::string(bytes);
  }
  if (valid_utf8(bytes)) {
    if (detected != nullptr) *detected = Encoding::Utf8;
    return std::string(bytes);
  }
  const Converter cd = open_converter("UTF-8", "GBK");
  std::string out;
  out.reserve(bytes.size() * 3 / 2);
  const bool ok = convert(cd.get(), bytes, out,
                          [](std::string_view, std::string&, std::size_t&) { return false; });
  if (!ok) throw EncodingError("the file is neither UTF-8 nor GBK");
  if (detected != nullptr) *detected = Encoding::Gbk;
  return out;
}

std::string encode_text(std::string_view utf8, Encoding encoding, std::size_t* lost) {
  if (lost != nullptr) *lost = 0;
  switch (encoding) {
    case Encoding::Utf8:
      return std::string(utf8);
    case Encoding::Utf8Bom:
      return std::string(kBom) + std::string(utf8);
    case Encoding::Gbk:
      break;
  }
  const Converter cd = open_converter("GBK", "UTF-8");
  std::string out;
  out.reserve(utf8.size());
  convert(cd.get(), utf8, out, [lost](std::string_view rest, std::string& o, std::size_t& skip) {
    o += '?';
    skip = std::min(rest.size(), utf8_length(static_cast<unsigned char>(rest[0])));
    if (lost != nullptr) ++*lost;
    return true;
  });
  return out;
}

std::vector<CsvRecord> parse_csv(std::string_view text) {
  std::vector<CsvRecord> records;
  std::size_t pos = 0;
  std::size_t lineNumber = 0;
  while (pos < text.size()) {
    auto end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;

    CsvRecord r;
    r.line = lineNumber;
    r.raw = std::string(line);
    std::string field;
    bool quoted = false;     // inside quotes
    bool wasQuoted = false;  // the field had quotes (they closed)
    for (std::size_t i = 0; i < line.size() && r.error.empty(); ++i) {
      const char c = line[i];
      if (quoted) {
        if (c != '"') {
          field += c;
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          quoted = false;
          wasQuoted = true;
        }
      } else if (c == ',') {
        r.fields.push_back(std::move(field));
        field.clear();
        wasQuoted = false;
      } else if (wasQuoted) {
        r.error = "text after a closing quote";
      } else if (c == '"' && field.empty()) {
        quoted = true;
      } else {
        field += c;
      }
    }
    if (quoted && r.error.empty()) r.error = "unbalanced quotes";
    r.fields.push_back(std::move(field));
    records.push_back(std::move(r));
  }
  return records;
}

std::string csv_line(const std::vector<std::string>& fields) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    const std::string& f = fields[i];
    const bool quote = f.find_first_of(",\"\r\n") != std::string::npos ||
                       (!f.empty() && (f.front() == ' ' || f.back() == ' '));
    if (!quote) {
      out += f;
      continue;
    }
    out += '"';
    for (char c : f) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  out += "\r\n";
  return out;
}

}  // namespace pellucor::analysis::batch
