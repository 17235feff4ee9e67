// Member tables as text: CSV records (one physical line each, so that a file can be cut at
// any line break and the pieces run apart), the encodings a spreadsheet program writes
// (UTF-8 with or without BOM, GBK), and the CSV text of a table.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pellucor::analysis::batch {

enum class Encoding {
  Utf8,     // UTF-8 without BOM
  Utf8Bom,  // UTF-8 with a byte-order mark
  Gbk,      // GBK (code page 936)
};

struct EncodingError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The bytes of a file as UTF-8, and what they were: a BOM means UTF-8; valid UTF-8 is UTF-8;
// otherwise GBK. Throws EncodingError when the bytes are neither.
std::string decode_text(std::string_view bytes, Encoding* detected = nullptr);

// UTF-8 text in `encoding` (with the BOM for Utf8Bom). A character GBK cannot hold becomes
// "?" and is counted in *lost.
std::string encode_text(std::string_view utf8, Encoding encoding, std::size_t* lost = nullptr);

// One line of a CSV file split into its fields. A malformed line (a quote left open at the
// end of the line, text after a closing quote) keeps its raw text and says what is wrong.
struct CsvRecord {
  std::size_t line = 0;  // 1-based line number in the file
  std::vector<std::string> fields;
  std::string raw;    // the line as it stands, without its line end
  std::string error;  // empty: well formed
};

// The records of a CSV text: fields separated by commas, a field in double quotes may hold
// commas and doubled quotes; lines end in LF or CR LF; blank lines are skipped.
std::vector<CsvRecord> parse_csv(std::string_view utf8);

// One CSV line of `fields`, ended by CR LF: a field that holds a comma, a quote, a line
// break or leading/trailing blanks is quoted.
std::string csv_line(const std::vector<std::string>& fields);

}  // namespace pellucor::analysis::batch
