// Member tables as text: the encodings a spreadsheet program writes (UTF-8 with or without BOM,
// GBK) and how they are told apart, CSV records read line by line (a quoted cell may hold line
// breaks, as a spreadsheet writes Alt+Enter), and the CSV text of a table with every text cell
// that a spreadsheet would take for a formula made harmless.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_encoding.hpp"

namespace pellucor::analysis::batch {

enum class Encoding {
  Utf8,     // UTF-8 without BOM
  Utf8Bom,  // UTF-8 with a byte-order mark
  Gbk,      // GBK (code page 936)
};

// Bytes that cannot be read as text. The message (English) names the line; `line` and `kind`
// let a front end say it in its own words and ask for the encoding where that helps.
struct EncodingError : std::runtime_error {
  enum class Kind {
    Ambiguous,   // valid both as UTF-8 and as GBK, with text other than ASCII
    StrayBytes,  // UTF-8 lines and a line that is not (a UTF-8 file with stray bytes, or GBK)
    Mixed,       // some lines only UTF-8, others only GBK
    Neither,     // a line that is neither UTF-8 nor GBK
    NotValid,    // a line not valid in the encoding given (or marked by a BOM)
    TooLong,     // a line longer than kMaxLineBytes
    Unreadable,  // the input cannot be read
  };
  EncodingError(Kind k, std::size_t at, const std::string& message)
      : std::runtime_error(message), kind(k), line(at) {}
  Kind kind;
  std::size_t line;  // 1-based, 0 when no line is concerned
  // True when giving the encoding would settle it.
  bool asksForEncoding() const {
    return kind == Kind::Ambiguous || kind == Kind::StrayBytes || kind == Kind::Mixed;
  }
};

// Told every physical line of an input (without its line feed), it decides the encoding the
// way a careful reader would, or says why it cannot:
// - a BOM means UTF-8, and every line must then be UTF-8;
// - with `given`, every line must be valid in that encoding;
// - otherwise: UTF-8 when the whole input is UTF-8 and not GBK; GBK when the whole input is GBK,
//   not UTF-8, and no line with other characters than ASCII also reads as UTF-8; ASCII alone
//   reads either way. Input valid both ways is read in the one encoding in which everything the
//   reader knows (column names, list choices) is known, when the other reading makes some of
//   it unknown (see unknownUnder); and a GBK input with a line that also reads as UTF-8 likewise
//   only when its UTF-8 reading makes something known unknown. Anything else (valid both ways
//   with no such difference, a UTF-8 input with a stray byte, a mix, bytes that are neither) is
//   not sure: the decision names the line and asks for the encoding to be given.
class EncodingDetector {
 public:
  explicit EncodingDetector(std::optional<Encoding> given = std::nullopt);
  ~EncodingDetector();
  EncodingDetector(const EncodingDetector&) = delete;
  EncodingDetector& operator=(const EncodingDetector&) = delete;

  void line(std::string_view bytes);
  // A name or choice that reads as something known in one encoding reads as nothing known in
  // `encoding`: that reading is not the input's.
  void unknownUnder(Encoding encoding);
  // The encoding to read the input in; throws EncodingError when it cannot be told.
  Encoding decide() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// Decodes text of a known encoding to UTF-8 (a BOM already removed); reuses its converter.
class Decoder {
 public:
  explicit Decoder(Encoding encoding);
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // False when the bytes are not valid in the encoding.
  bool decode(std::string_view bytes, std::string& utf8);
  // The same, the text replaced by its UTF-8 (left as it is when it is UTF-8 already).
  bool decodeInPlace(std::string& text);

 private:
  Encoding encoding_;
  std::unique_ptr<platform::GbkConversion> gbk_;  // Gbk only
  std::string scratch_;
};

// The bytes of a whole file as UTF-8, and what they were (see EncodingDetector). Throws
// EncodingError naming the line when the encoding cannot be told or the bytes do not fit it.
std::string decode_text(std::string_view bytes, Encoding* detected = nullptr,
                        std::optional<Encoding> given = std::nullopt);

// UTF-8 text in `encoding` (with the BOM for Utf8Bom). A character GBK cannot hold becomes
// "?" and is counted in *lost.
std::string encode_text(std::string_view utf8, Encoding encoding, std::size_t* lost = nullptr);

// Where lines come from: a file, standard input, or text in memory.
class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next physical line without its line feed (a carriage return before it is kept); false
  // at the end. Throws EncodingError for a line longer than kMaxLineBytes.
  virtual bool next(std::string& line) = 0;
};

// A line longer than this is refused (it would hold a whole file in memory).
inline constexpr std::size_t kMaxLineBytes = std::size_t{16} << 20;

class MemoryLines final : public LineSource {
 public:
  explicit MemoryLines(std::string_view text) : text_(text) {}
  bool next(std::string& line) override;

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// Reads lines from an open file descriptor (not closed here), through a buffer.
class FileLines final : public LineSource {
 public:
  explicit FileLines(int fd) : fd_(fd), buffer_(1 << 16) {}
  bool next(std::string& line) override;

 private:
  int fd_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0, end_ = 0;
  bool eof_ = false;
  std::size_t lines_ = 0;  // returned so far
};

// One CSV record: its fields (in the bytes of the input, not yet decoded), or the reason why it
// could not be read. A record is one line, or several when a quoted cell holds line breaks.
struct CsvRecord {
  std::size_t line = 0;  // 1-based number of its first line in the input
  std::vector<std::string> fields;
  std::string raw;    // the record as it stands, without its final line end
  std::string error;  // empty: well formed
};

// Splits the lines of a source into records. Blank lines between records are skipped. A quote
// left open at the end of a line carries the cell on to the next line; when the record then does
// not close well (no closing quote within kMaxRecordLines lines or kMaxRecordBytes, text after a
// closing quote) or, once a field count is set, has another number of fields, only its first
// line is taken, as a malformed record ("unbalanced quotes"), and reading goes on with the line
// after it: a stray quote never swallows the members that follow.
class CsvReader {
 public:
  static constexpr std::size_t kMaxRecordLines = 1000;
  static constexpr std::size_t kMaxRecordBytes = std::size_t{1} << 20;

  explicit CsvReader(LineSource& source) : source_(source) {}
  // The number of fields a record spanning several lines must have (0: any).
  void expectFields(std::size_t n) { expected_ = n; }
  // The next record; false at the end of the input. The first line loses a leading BOM.
  bool next(CsvRecord& record);
  // Physical lines read so far.
  std::size_t lines() const { return lineNumber_; }
  // For a pass that only counts records and looks into the non-ASCII ones: a record after the
  // first that is one line of ASCII text is then handed out without its fields and raw text
  // (its line number set, its error empty).
  void countAsciiOnly(bool on) { countAsciiOnly_ = on; }

 private:
  bool pull(std::string& line);

  LineSource& source_;
  std::size_t expected_ = 0;
  std::size_t lineNumber_ = 0;           // of the last line handed out by pull()
  std::vector<std::string> pushedBack_;  // lines to read again, the next one last
  std::string first_;                    // the first line of the record being read
  bool countAsciiOnly_ = false;
  std::size_t records_ = 0;  // records handed out so far
};

// Splits one record's text into fields; `error` says what is wrong with a malformed one.
void split_record(std::string_view text, std::vector<std::string>& fields, std::string& error);

// The records of a whole text (already UTF-8): the first record sets the field count.
std::vector<CsvRecord> parse_csv(std::string_view text);

// A number cell: the whole text is a finite number (as the C locale writes it; no "+").
bool number_cell(std::string_view text, double* value = nullptr);

// True when a spreadsheet would take the cell for a formula: text (not a number) that starts
// with "=", "+", "-", "@", a tab or a carriage return.
bool formula_like(std::string_view cell);

// One CSV line of `fields`, ended by CR LF: a field that holds a comma, a quote, a line break
// or leading/trailing blanks is quoted; a formula-like field is written after an apostrophe
// ("'=SUM(A1)"), so that a spreadsheet shows it as text; numbers are never changed.
std::string csv_line(const std::vector<std::string>& fields);
void append_csv_line(std::string& out, const std::vector<std::string>& fields);
// One field of such a line (without the comma before it).
void append_csv_field(std::string& out, std::string_view field);

}  // namespace pellucor::analysis::batch
