// Readings as a table of cells, read the same way by every front end: a CSV file given to the
// console (its first row naming the columns), or the rows a user typed or pasted into a window
// (in the columns' order, without a header). Every cell must be a number; a row left wholly
// empty is no reading and is passed over, a row with some cells empty is refused and named.
//
//   const auto r = read_readings(rows, kProfileColumns, true);
//   if (!r) show(r.refusal().text);            // Chinese; .message in English
//   r->columns[0]                               // the depths, in the order of the rows
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/csv.hpp"
#include "analysis/outcome.hpp"

namespace pellucor::analysis::inspect {

// A column of readings: its name in a header (English or Chinese, either case for the English
// one; a unit in brackets after it is allowed: "depth (mm)", "深度（mm）") and what it holds.
struct ReadingColumn {
  std::string_view key;      // "depth"
  std::string_view chinese;  // "深度"
  std::string_view meaning;  // English, for the console's help
};

inline constexpr ReadingColumn kProfileColumns[] = {
    {"depth", "深度", "mid-depth of the ground layer below the exposed surface, mm"},
    {"chloride", "氯离子含量", "chloride content of the layer, in the unit chosen"},
};
inline constexpr ReadingColumn kCarbonationColumns[] = {
    {"depth", "碳化深度", "carbonation depth measured at the inspection age, mm"},
};
inline constexpr ReadingColumn kCoverColumns[] = {
    {"cover", "保护层厚度", "cover-meter reading, mm"},
};

enum class ReadingsRefusal {
  NoHeader,        // no row naming the columns
  UnknownColumn,   // a header cell that names no column
  RepeatedColumn,  // a column named twice
  MissingColumn,   // a column the readings need is not named
  CellCount,       // a row with more cells than there are columns
  EmptyCell,       // a row with some of its cells empty
  NotANumber,      // a cell that is not a number
  // Of a file's bytes (read_readings_csv):
  TooLarge,  // more bytes than a file of readings holds
  Encoding,  // neither UTF-8 nor GBK, or both and the header does not tell which
  NotCsv,    // a record that is not CSV (a quote not closed)
  TooMany,   // more readings than an analysis takes
};

// What a file of readings may hold: far more than any survey (a core has tens of layers, a
// member hundreds of cover readings), far less than would make an analysis slow.
inline constexpr std::size_t kMaxReadingsFileBytes = std::size_t{16} << 20;
inline constexpr std::size_t kMaxReadingRows = 100'000;

struct Readings {
  std::vector<std::vector<double>> columns;  // one per column, in the order asked for
  std::vector<std::size_t> rows;             // per reading: its row (a line of a file, from 1)
};

// One row of cells (UTF-8) and where it stands: its line in a file or its row in a table.
struct ReadingRow {
  std::vector<std::string> cells;
  std::size_t row = 0;
};

// Reads `rows` as readings of `columns`. With `header`, the first row names the columns (any
// order); without, the cells are in the columns' order. A cell is a number as typed in a box:
// blanks around it ignored, full-width digits, point and signs read as their half-width forms,
// the whole text a finite number ("12.5", "-3", "1e-3"). The English messages call a row a
// "line" (of a file) or a "row" (of a table), as `place` says; the Chinese ones say "第 N 行".
Outcome<Readings, ReadingsRefusal> read_readings(const std::vector<ReadingRow>& rows,
                                                 std::span<const ReadingColumn> columns,
                                                 bool header, std::string_view place = "line");

// Readings from the bytes of a CSV file whose first row names the columns: UTF-8 (with or
// without BOM) or GBK, detected, or as `given`; when the bytes read both ways, the one in
// which the header names the columns (refused, asking for the encoding, when both or neither
// do). Refused, naming the line, for a file larger than kMaxReadingsFileBytes, more rows than
// kMaxReadingRows, a record that is not CSV, and everything read_readings refuses. Never throws
// for anything the bytes hold.
Outcome<Readings, ReadingsRefusal> read_readings_csv(std::string_view bytes,
                                                     std::span<const ReadingColumn> columns,
                                                     std::optional<batch::Encoding> given = {});

// A cell as a number, read as every typed number is (sheet::typed_number); false when it is not
// one (an empty cell is not).
bool reading_value(std::string_view cell, double& value);

}  // namespace pellucor::analysis::inspect
