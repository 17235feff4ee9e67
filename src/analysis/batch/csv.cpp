#include "analysis/batch/csv.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <charconv>
#include <cmath>

#include "platform/files.hpp"

namespace pellucor::analysis::batch {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool ascii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

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

using platform::GbkConversion;

std::unique_ptr<GbkConversion> open_converter(GbkConversion::Direction direction) {
  auto conversion = std::make_unique<GbkConversion>(direction);
  if (!conversion->available()) {
    throw EncodingError(EncodingError::Kind::Unreadable, 0,
                        direction == GbkConversion::Direction::ToGbk
                            ? "the system has no conversion from UTF-8 to GBK"
                            : "the system has no conversion from GBK to UTF-8");
  }
  return conversion;
}

// Converts all of `in`; on a sequence that cannot be converted, `invalid` decides: return
// false to fail, or true after writing a replacement and skipping `skip` input bytes (at least
// one, so that every round gets on).
template <class Invalid>
bool convert(GbkConversion& conversion, std::string_view in, std::string& out, Invalid invalid) {
  while (!in.empty()) {
    const std::size_t done = conversion.convert(in, out);
    if (done == in.size()) return true;
    const std::string_view rest = in.substr(done);
    std::size_t skip = 0;
    if (!invalid(rest, out, skip)) return false;
    skip = std::clamp<std::size_t>(skip, 1, rest.size());
    in = rest.substr(skip);
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

std::string_view without_cr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::string line_text(std::size_t n) {
  return "line " + std::to_string(n);
}

}  // namespace

// ---- encodings ------------------------------------------------------------------------------

struct EncodingDetector::State {
  std::optional<Encoding> given;
  std::unique_ptr<GbkConversion> gbk;
  std::string scratch;
  std::size_t line = 0;
  bool bom = false;
  bool nonAscii = false;
  bool unknownUtf8 = false;  // something known reads as nothing known in UTF-8
  bool unknownGbk = false;
  std::size_t notUtf8 = 0, notGbk = 0, neither = 0, both = 0, utf8Only = 0, gbkOnly = 0;

  bool validGbk(std::string_view s) {
    if (!gbk) gbk = open_converter(GbkConversion::Direction::FromGbk);
    scratch.clear();
    return convert(*gbk, s, scratch,
                   [](std::string_view, std::string&, std::size_t&) { return false; });
  }
};

EncodingDetector::EncodingDetector(std::optional<Encoding> given) : s_(std::make_unique<State>()) {
  s_->given = given;
  if (given == Encoding::Utf8Bom) s_->given = Encoding::Utf8;
}

EncodingDetector::~EncodingDetector() = default;

void EncodingDetector::unknownUnder(Encoding encoding) {
  (encoding == Encoding::Gbk ? s_->unknownGbk : s_->unknownUtf8) = true;
}

void EncodingDetector::line(std::string_view bytes) {
  State& s = *s_;
  if (++s.line == 1 && bytes.starts_with(kBom)) {
    s.bom = true;
    bytes.remove_prefix(kBom.size());
  }
  bytes = without_cr(bytes);
  if (ascii(bytes)) return;
  s.nonAscii = true;
  auto first = [&s](std::size_t& at) {
    if (at == 0) at = s.line;
  };
  const bool wantUtf8 = s.bom || s.given != Encoding::Gbk;
  const bool wantGbk = !s.bom && s.given != Encoding::Utf8;
  const bool u = wantUtf8 && valid_utf8(bytes);
  const bool g = wantGbk && s.validGbk(bytes);
  if (wantUtf8 && !u) first(s.notUtf8);
  if (wantGbk && !g) first(s.notGbk);
  if (wantUtf8 && wantGbk) {
    if (u && g) first(s.both);
    if (u && !g) first(s.utf8Only);
    if (!u && g) first(s.gbkOnly);
    if (!u && !g) first(s.neither);
  }
}

Encoding EncodingDetector::decide() const {
  using Kind = EncodingError::Kind;
  const State& s = *s_;
  if (s.bom) {
    if (s.notUtf8 != 0) {
      throw EncodingError(
          Kind::NotValid, s.notUtf8,
          line_text(s.notUtf8) +
              " is not UTF-8, though the input starts with a UTF-8 byte-order mark");
    }
    return Encoding::Utf8Bom;
  }
  if (s.given == Encoding::Utf8 || s.given == Encoding::Gbk) {
    const std::size_t bad = *s.given == Encoding::Gbk ? s.notGbk : s.notUtf8;
    if (bad != 0) {
      throw EncodingError(Kind::NotValid, bad,
                          line_text(bad) + " is not " +
                              (*s.given == Encoding::Gbk ? "GBK" : "UTF-8") +
                              ", the encoding given for the input");
    }
    return *s.given;
  }
  if (!s.nonAscii) return Encoding::Utf8;
  const bool allUtf8 = s.notUtf8 == 0;
  const bool allGbk = s.notGbk == 0;
  if (allUtf8 && !allGbk) return Encoding::Utf8;
  if (!allUtf8 && allGbk && s.both == 0) return Encoding::Gbk;
  // What the lines mean tells the readings apart where the bytes do not.
  if (allUtf8 && allGbk && s.unknownGbk != s.unknownUtf8) {
    return s.unknownGbk ? Encoding::Utf8 : Encoding::Gbk;
  }
  if (!allUtf8 && allGbk && s.unknownUtf8 && !s.unknownGbk) return Encoding::Gbk;
  if (allUtf8 && allGbk) {
    throw EncodingError(Kind::Ambiguous, s.both,
                        "cannot tell the encoding of the input: it reads both as UTF-8 and as "
                        "GBK (" +
                            line_text(s.both) + " is the first with text other than ASCII)");
  }
  if (allGbk) {
    throw EncodingError(Kind::StrayBytes, s.gbkOnly,
                        "cannot tell the encoding of the input: " + line_text(s.both) +
                            " reads as UTF-8 but " + line_text(s.gbkOnly) +
                            " only as GBK (a UTF-8 file with stray bytes, or a GBK file)");
  }
  if (s.neither != 0) {
    throw EncodingError(Kind::Neither, s.neither,
                        line_text(s.neither) + " is neither UTF-8 nor GBK");
  }
  throw EncodingError(Kind::Mixed, s.gbkOnly,
                      "the input mixes encodings: " + line_text(s.utf8Only) + " is only UTF-8, " +
                          line_text(s.gbkOnly) + " only GBK");
}

Decoder::Decoder(Encoding encoding) : encoding_(encoding) {
  if (encoding_ == Encoding::Gbk) gbk_ = open_converter(GbkConversion::Direction::FromGbk);
}

Decoder::~Decoder() = default;

bool Decoder::decode(std::string_view bytes, std::string& utf8) {
  utf8.clear();
  if (encoding_ != Encoding::Gbk || ascii(bytes)) {
    if (!valid_utf8(bytes)) return false;
    utf8.assign(bytes);
    return true;
  }
  return convert(*gbk_, bytes, utf8,
                 [](std::string_view, std::string&, std::size_t&) { return false; });
}

bool Decoder::decodeInPlace(std::string& text) {
  if (encoding_ != Encoding::Gbk || ascii(text)) return valid_utf8(text);
  if (!decode(text, scratch_)) return false;
  text.swap(scratch_);
  return true;
}

std::string decode_text(std::string_view bytes, Encoding* detected, std::optional<Encoding> given) {
  EncodingDetector detector(given);
  {
    MemoryLines lines(bytes);
    for (std::string line; lines.next(line);) detector.line(line);
  }
  const Encoding e = detector.decide();
  if (detected != nullptr) *detected = e;
  if (e == Encoding::Utf8Bom) bytes.remove_prefix(kBom.size());
  if (e != Encoding::Gbk) return std::string(bytes);
  Decoder decoder(e);
  std::string out;
  if (!decoder.decode(bytes, out)) {
    throw EncodingError(EncodingError::Kind::NotValid, 0, "the input is not GBK");
  }
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
  if (ascii(utf8)) return std::string(utf8);
  const auto conversion = open_converter(GbkConversion::Direction::ToGbk);
  std::string out;
  out.reserve(utf8.size());
  convert(*conversion, utf8, out, [lost](std::string_view rest, std::string& o, std::size_t& skip) {
    o += '?';
    skip = std::min(rest.size(), utf8_length(static_cast<unsigned char>(rest[0])));
    if (lost != nullptr) ++*lost;
    return true;
  });
  return out;
}

// ---- lines ----------------------------------------------------------------------------------

bool MemoryLines::next(std::string& line) {
  if (pos_ >= text_.size()) return false;
  auto end = text_.find('\n', pos_);
  if (end == std::string_view::npos) end = text_.size();
  line.assign(text_.substr(pos_, end - pos_));
  pos_ = end + 1;
  return true;
}

bool FileLines::next(std::string& line) {
  line.clear();
  for (;;) {
    if (begin_ < end_) {
      const char* from = buffer_.data() + begin_;
      const void* nl = std::memchr(from, '\n', end_ - begin_);
      const std::size_t take = nl == nullptr
                                   ? end_ - begin_
                                   : static_cast<std::size_t>(static_cast<const char*>(nl) - from);
      if (line.size() + take > kMaxLineBytes) {
        throw EncodingError(
            EncodingError::Kind::TooLong, lines_ + 1,
            "line " + std::to_string(lines_ + 1) + " of the input is longer than 16 MiB");
      }
      line.append(from, take);
      begin_ += take;
      if (nl != nullptr) {
        ++begin_;
        ++lines_;
        return true;
      }
    }
    if (eof_) {
      if (line.empty()) return false;
      ++lines_;
      return true;
    }
    std::ptrdiff_t n = 0;
    do {
      n = platform::read_some(fd_, buffer_.data(), buffer_.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      throw EncodingError(
          EncodingError::Kind::Unreadable, 0,
          "cannot read the input: " + std::error_code(errno, std::generic_category()).message());
    }
    begin_ = 0;
    end_ = static_cast<std::size_t>(n);
    if (n == 0) eof_ = true;
  }
}

// ---- records --------------------------------------------------------------------------------

namespace {

// Follows the quotes of a record as its lines come, to tell whether a line end falls inside a
// quoted cell. The same rules as split_record().
struct QuoteScan {
  bool quoted = false;      // inside a quoted cell
  bool afterQuote = false;  // a quoted cell closed; a comma must follow
  bool cellStart = true;
  bool broken = false;  // text after a closing quote

  void feed(std::string_view s) {
    for (std::size_t i = 0; i < s.size() && !broken; ++i) {
      const char c = s[i];
      if (quoted) {
        if (c != '"') continue;
        if (i + 1 < s.size() && s[i + 1] == '"') {
          ++i;
        } else {
          quoted = false;
          afterQuote = true;
        }
      } else if (c == ',') {
        afterQuote = false;
        cellStart = true;
      } else if (afterQuote) {
        broken = true;
      } else if (c == '"' && cellStart) {
        quoted = true;
        cellStart = false;
      } else {
        cellStart = false;
      }
    }
  }
};

constexpr std::string_view kUnbalanced = "unbalanced quotes";

}  // namespace

void split_record(std::string_view text, std::vector<std::string>& fields, std::string& error) {
  fields.clear();
  error.clear();
  const std::size_t n = text.size();
  std::size_t i = 0;
  for (;;) {
    if (i < n && text[i] == '"') {
      // A quoted field: doubled quotes stand for one; a comma or the end must follow it.
      std::string field;
      ++i;
      bool closed = false;
      while (i < n) {
        const void* q = std::memchr(text.data() + i, '"', n - i);
        const std::size_t k =
            q == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(q) - text.data());
        field.append(text.substr(i, k - i));
        if (q == nullptr) {
          i = n;
          break;
        }
        if (k + 1 < n && text[k + 1] == '"') {
          field += '"';
          i = k + 2;
          continue;
        }
        i = k + 1;
        closed = true;
        break;
      }
      fields.push_back(std::move(field));
      if (!closed) {
        error = kUnbalanced;
        return;
      }
      if (i == n) return;
      if (text[i] != ',') {
        error = "text after a closing quote";
        return;
      }
      ++i;
      continue;
    }
    // A plain field: everything up to the next comma (a quote inside is a character).
    const void* c = std::memchr(text.data() + i, ',', n - i);
    const std::size_t k =
        c == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(c) - text.data());
    fields.emplace_back(text.substr(i, k - i));
    if (c == nullptr) return;
    i = k + 1;
  }
}

bool CsvReader::pull(std::string& line) {
  if (!pushedBack_.empty()) {
    line = std::move(pushedBack_.back());
    pushedBack_.pop_back();
    ++lineNumber_;
    return true;
  }
  if (!source_.next(line)) return false;
  if (++lineNumber_ == 1 && std::string_view(line).starts_with(kBom)) {
    line.erase(0, kBom.size());
  }
  return true;
}

bool CsvReader::next(CsvRecord& record) {
  std::string& first = first_;
  do {
    if (!pull(first)) return false;
  } while (without_cr(first).empty());
  record.line = lineNumber_;
  record.error.clear();
  const std::string_view firstText = without_cr(first);
  QuoteScan scan;
  scan.feed(firstText);
  ++records_;
  if (!scan.quoted || scan.broken) {
    if (countAsciiOnly_ && records_ > 1 && ascii(firstText)) {
      record.raw.clear();
      record.fields.clear();
      return true;
    }
    record.raw.assign(firstText);
    split_record(record.raw, record.fields, record.error);
    return true;
  }

  // A quoted cell goes on to the next line.
  std::vector<std::string> taken;
  std::string text(firstText);
  bool crlf = firstText.size() != first.size();
  while (scan.quoted && !scan.broken && taken.size() + 1 < kMaxRecordLines &&
         text.size() < kMaxRecordBytes) {
    std::string more;
    if (!pull(more)) break;
    const std::string_view moreText = without_cr(more);
    const std::string_view lineBreak = crlf ? "\r\n" : "\n";
    text += lineBreak;
    text += moreText;
    scan.feed(lineBreak);
    scan.feed(moreText);
    crlf = moreText.size() != more.size();
    taken.push_back(std::move(more));
  }
  if (!scan.quoted && !scan.broken) {
    split_record(text, record.fields, record.error);
    if (record.error.empty() && (expected_ == 0 || record.fields.size() == expected_)) {
      record.raw = std::move(text);
      return true;
    }
  }
  // The record does not close well: only its first line is taken, as a malformed one.
  for (auto it = taken.rbegin(); it != taken.rend(); ++it) pushedBack_.push_back(std::move(*it));
  lineNumber_ -= taken.size();
  record.raw.assign(firstText);
  split_record(record.raw, record.fields, record.error);
  record.error = kUnbalanced;
  return true;
}

std::vector<CsvRecord> parse_csv(std::string_view text) {
  std::vector<CsvRecord> records;
  MemoryLines lines(text);
  CsvReader reader(lines);
  for (CsvRecord r; reader.next(r);) {
    if (records.empty() && r.error.empty()) reader.expectFields(r.fields.size());
    records.push_back(r);
  }
  return records;
}

// ---- output ---------------------------------------------------------------------------------

bool number_cell(std::string_view text, double* value) {
  if (text.empty()) return false;
  // Independent of the C locale (the desktop program runs under the user's).
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (*begin == '+') return false;
  double v = 0;
  const auto [ptr, ec] = std::from_chars(begin, end, v);
  if (ec != std::errc() || ptr != end || !std::isfinite(v)) return false;
  if (value != nullptr) *value = v;
  return true;
}

bool formula_like(std::string_view cell) {
  if (cell.empty()) return false;
  const char c = cell.front();
  if (c != '=' && c != '+' && c != '-' && c != '@' && c != '\t' && c != '\r') return false;
  return !number_cell(cell);
}

void append_csv_field(std::string& out, std::string_view f) {
  const bool neutralise = formula_like(f);
  bool quote = !f.empty() && (f.front() == ' ' || f.back() == ' ');
  for (std::size_t i = 0; i < f.size() && !quote; ++i) {
    const char c = f[i];
    quote = c == ',' || c == '"' || c == '\r' || c == '\n';
  }
  if (!quote) {
    if (neutralise) out += '\'';
    out += f;
    return;
  }
  out += '"';
  if (neutralise) out += '\'';
  for (char c : f) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void append_csv_line(std::string& out, const std::vector<std::string>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    append_csv_field(out, fields[i]);
  }
  out += "\r\n";
}

std::string csv_line(const std::vector<std::string>& fields) {
  std::string out;
  append_csv_line(out, fields);
  return out;
}

}  // namespace pellucor::analysis::batch
