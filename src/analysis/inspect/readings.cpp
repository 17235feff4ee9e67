#include "analysis/inspect/readings.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <optional>

#include "sheet/control_names.hpp"
#include "sheet/numeric.hpp"
#include "sheet/user_input.hpp"

namespace pellucor::analysis::inspect {

namespace {

using Refused = Refusal<ReadingsRefusal>;

// A header cell without a unit in brackets at its end: "depth (mm)" gives "depth".
std::string without_unit(std::string_view cell) {
  std::string name = sheet::trim_blanks_and_tabs(sheet::half_width(cell));
  if (!name.empty() && name.back() == ')') {
    const auto open = name.rfind('(');
    if (open != std::string::npos && open > 0) {
      name = sheet::trim_blanks_and_tabs(std::string_view(name).substr(0, open));
    }
  }
  return name;
}

std::optional<std::size_t> column_named(std::span<const ReadingColumn> columns,
                                        std::string_view name) {
  for (std::size_t k = 0; k < columns.size(); ++k) {
    if (sheet::iequal(name, columns[k].key) || name == columns[k].chinese) return k;
  }
  return std::nullopt;
}

std::string names_of(std::span<const ReadingColumn> columns) {
  std::string out;
  for (const auto& c : columns) {
    if (!out.empty()) out += ", ";
    out += std::string(c.key) + " (" + std::string(c.chinese) + ")";
  }
  return out;
}

bool blank(std::string_view cell) {
  return sheet::trim_blanks_and_tabs(sheet::half_width(cell)).empty();
}

}  // namespace

bool reading_value(std::string_view cell, double& value) {
  const auto v = sheet::typed_number(cell);
  if (v) value = *v;
  return v.has_value();
}

Outcome<Readings, ReadingsRefusal> read_readings(const std::vector<ReadingRow>& rows,
                                                 std::span<const ReadingColumn> columns,
                                                 bool header, std::string_view place) {
  const std::string where(place);
  // Where each column's cells stand in a row.
  std::vector<std::size_t> at(columns.size());
  for (std::size_t k = 0; k < columns.size(); ++k) at[k] = k;
  std::size_t width = columns.size();
  std::size_t first = 0;
  if (header) {
    while (first < rows.size() &&
           std::all_of(rows[first].cells.begin(), rows[first].cells.end(), blank)) {
      ++first;
    }
    if (first == rows.size()) {
      return Refused{
          ReadingsRefusal::NoHeader, "没有读数：首行须写明各列（" + names_of(columns) + "）。",
          "no readings: the first row must name the columns (" + names_of(columns) + ")"};
    }
    const ReadingRow& h = rows[first];
    std::vector<bool> named(columns.size(), false);
    width = h.cells.size();
    for (std::size_t c = 0; c < h.cells.size(); ++c) {
      const std::string name = without_unit(h.cells[c]);
      const auto k = column_named(columns, name);
      const std::string n = std::to_string(c + 1);
      if (!k) {
        double v = 0;
        const bool number = reading_value(h.cells[c], v);
        return Refused{ReadingsRefusal::UnknownColumn,
                       "第 " + std::to_string(h.row) + " 行第 " + n + " 列 '" + h.cells[c] +
                           "' 不是可识别的列名" + (number ? "（首行须写明各列）" : "") +
                           "；各列为：" + names_of(columns) + "。",
                       where + " " + std::to_string(h.row) + ", column " + n + ": '" + h.cells[c] +
                           "' names no column" +
                           (number ? " (the first row must name the columns)" : "") +
                           "; the columns are " + names_of(columns)};
      }
      if (named[*k]) {
        return Refused{ReadingsRefusal::RepeatedColumn,
                       "列“" + std::string(columns[*k].chinese) + "”出现了两次。",
                       "the column " + std::string(columns[*k].key) + " is named twice"};
      }
      named[*k] = true;
      at[*k] = c;
    }
    for (std::size_t k = 0; k < columns.size(); ++k) {
      if (!named[k]) {
        return Refused{ReadingsRefusal::MissingColumn,
                       "缺少列“" + std::string(columns[k].chinese) + "”（" +
                           std::string(columns[k].key) + "）。",
                       "the column " + std::string(columns[k].key) + " (" +
                           std::string(columns[k].chinese) + ") is missing"};
      }
    }
    ++first;
  }

  Readings out;
  out.columns.resize(columns.size());
  for (std::size_t i = first; i < rows.size(); ++i) {
    const ReadingRow& r = rows[i];
    if (std::all_of(r.cells.begin(), r.cells.end(), blank)) continue;
    const std::string n = std::to_string(r.row);
    // Cells beyond the columns must be empty: a value there would be left out.
    for (std::size_t c = width; c < r.cells.size(); ++c) {
      if (!blank(r.cells[c])) {
        return Refused{ReadingsRefusal::CellCount,
                       "第 " + n + " 行的格数多于列数（" + std::to_string(width) + "），'" +
                           r.cells[c] + "' 无所属的列。",
                       where + " " + n + " has more cells than there are columns (" +
                           std::to_string(width) + "): '" + r.cells[c] + "' belongs to none"};
      }
    }
    for (std::size_t k = 0; k < columns.size(); ++k) {
      const std::string cell = at[k] < r.cells.size() ? r.cells[at[k]] : std::string();
      const std::string name(columns[k].chinese);
      const std::string key(columns[k].key);
      if (blank(cell)) {
        return Refused{ReadingsRefusal::EmptyCell, "第 " + n + " 行缺少“" + name + "”。",
                       where + " " + n + ": the " + key + " is missing"};
      }
      double v = 0;
      if (!reading_value(cell, v)) {
        return Refused{ReadingsRefusal::NotANumber,
                       "第 " + n + " 行的“" + name + "” '" + cell + "' 不是数。",
                       where + " " + n + ": the " + key + " '" + cell + "' is not a number"};
      }
      out.columns[k].push_back(v);
    }
    out.rows.push_back(r.row);
  }
  return out;
}

namespace {

// The rows of CSV text, or the refusal of the first record that is not CSV.
Outcome<std::vector<ReadingRow>, ReadingsRefusal> csv_rows(const std::string& text) {
  std::vector<ReadingRow> rows;
  for (auto& r : batch::parse_csv(text)) {
    if (!r.error.empty()) {
      const std::string n = std::to_string(r.line);
      return Refused{ReadingsRefusal::NotCsv, "第 " + n + " 行不是有效的 CSV（" + r.error + "）。",
                     "line " + n + " cannot be read as CSV (" + r.error + ")"};
    }
    if (rows.size() == kMaxReadingRows) {
      return Refused{ReadingsRefusal::TooMany,
                     "第 " + std::to_string(r.line) + " 行：读数多于 " +
                         std::to_string(kMaxReadingRows) + " 行。",
                     "line " + std::to_string(r.line) + ": more than " +
                         std::to_string(kMaxReadingRows) + " rows of readings"};
    }
    rows.push_back({std::move(r.fields), r.line});
  }
  return rows;
}

Outcome<Readings, ReadingsRefusal> readings_of_text(const std::string& text,
                                                    std::span<const ReadingColumn> columns) {
  auto rows = csv_rows(text);
  if (!rows) return rows.refusal();
  return read_readings(*rows, columns, true);
}

}  // namespace

Outcome<Readings, ReadingsRefusal> read_readings_csv(std::string_view bytes,
                                                     std::span<const ReadingColumn> columns,
                                                     std::optional<batch::Encoding> given) {
  if (bytes.size() > kMaxReadingsFileBytes) {
    return Refused{ReadingsRefusal::TooLarge,
                   "文件大于 " + std::to_string(kMaxReadingsFileBytes >> 20) + " MiB，不是读数表。",
                   "the file is larger than " + std::to_string(kMaxReadingsFileBytes >> 20) +
                       " MiB, no table of readings"};
  }
  try {
    std::string text;
    try {
      text = batch::decode_text(bytes, nullptr, given);
    } catch (const batch::EncodingError& e) {
      if (!e.asksForEncoding()) {
        return Refused{ReadingsRefusal::Encoding, std::string("编码无法识别：") + e.what(),
                       e.what()};
      }
      // Valid both ways: the reading in which the header names the columns, when only one does.
      std::optional<std::string> only;
      int readable = 0;
      for (auto encoding : {batch::Encoding::Utf8, batch::Encoding::Gbk}) {
        try {
          std::string t = batch::decode_text(bytes, nullptr, encoding);
          const auto r = readings_of_text(t, columns);
          const bool headerKnown = r.ok() || (r.refusal().kind != ReadingsRefusal::UnknownColumn &&
                                              r.refusal().kind != ReadingsRefusal::MissingColumn &&
                                              r.refusal().kind != ReadingsRefusal::NotCsv);
          if (headerKnown) {
            ++readable;
            only = std::move(t);
          }
        } catch (const batch::EncodingError&) {
        }
      }
      if (readable != 1) {
        return Refused{ReadingsRefusal::Encoding,
                       std::string("编码无法确定（UTF-8 或 GBK）：") + e.what(),
                       std::string(e.what()) + "; say which with --input-encoding utf-8 or gbk"};
      }
      text = std::move(*only);
    }
    return readings_of_text(text, columns);
  } catch (const std::bad_alloc&) {
    return Refused{ReadingsRefusal::TooLarge, "内存不足，无法读取。",
                   "not enough memory to read the readings"};
  }
}

}  // namespace pellucor::analysis::inspect
