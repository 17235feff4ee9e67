#include "analysis/batch/workbook_reader.hpp"

#include <expat.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <type_traits>

#include "platform/libraries.hpp"

namespace pellucor::analysis::batch {

namespace {

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
  throw std::runtime_error("无法读取工作簿 " + path + "：" + why);
}

// The zip library, loaded when the first workbook is read and kept for the life of the process.
struct ZipLibrary {
  decltype(&::zip_open) zip_open;
  decltype(&::zip_stat_init) zip_stat_init;
  decltype(&::zip_stat) zip_stat;
  decltype(&::zip_fopen) zip_fopen;
  decltype(&::zip_fread) zip_fread;
  decltype(&::zip_fclose) zip_fclose;
  decltype(&::zip_discard) zip_discard;
};

const ZipLibrary& zip_library(const std::string& path) {
  static const std::optional<ZipLibrary> library = []() -> std::optional<ZipLibrary> {
    void* handle = platform::load_library({PELLUCOR_LIBZIP_PATH, "libzip.so.4", "libzip.so"});
    if (handle == nullptr) return std::nullopt;
    ZipLibrary lib{};
    bool complete = true;
    auto load = [&](auto& function, const char* symbol) {
      function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
          platform::library_function(handle, symbol));
      complete = complete && function != nullptr;
    };
    load(lib.zip_open, "zip_open");
    load(lib.zip_stat_init, "zip_stat_init");
    load(lib.zip_stat, "zip_stat");
    load(lib.zip_fopen, "zip_fopen");
    load(lib.zip_fread, "zip_fread");
    load(lib.zip_fclose, "zip_fclose");
    load(lib.zip_discard, "zip_discard");
    if (!complete) return std::nullopt;
    return lib;
  }();
  if (!library) refuse(path, "无法载入读取工作簿的库 libzip");
  return *library;
}

// An open package; discarded (never written) when it goes.
class Package {
 public:
  explicit Package(const std::string& path) : path_(path), z_(zip_library(path)) {
    int error = 0;
    zip_ = z_.zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (zip_ == nullptr) refuse(path, "不是工作簿或无法打开");
  }
  ~Package() { z_.zip_discard(zip_); }
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  // One part of the package, or none when it is not there.
  std::optional<std::string> part(const std::string& name) const {
    zip_stat_t st;
    z_.zip_stat_init(&st);
    if (z_.zip_stat(zip_, name.c_str(), 0, &st) != 0) return std::nullopt;
    if ((st.valid & ZIP_STAT_SIZE) == 0 || st.size > kMaxWorkbookPartBytes) {
      refuse(path_, name + " 过大");
    }
    zip_file_t* file = z_.zip_fopen(zip_, name.c_str(), 0);
    if (file == nullptr) refuse(path_, "无法打开 " + name);
    std::string bytes(static_cast<std::size_t>(st.size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
      const zip_int64_t n = z_.zip_fread(file, bytes.data() + got, bytes.size() - got);
      if (n <= 0) {
        z_.zip_fclose(file);
        refuse(path_, name + " 读取出错");
      }
      got += static_cast<std::size_t>(n);
    }
    z_.zip_fclose(file);
    return bytes;
  }

 private:
  std::string path_;
  const ZipLibrary& z_;
  zip_t* zip_ = nullptr;
};

// The name without its namespace prefix ("x:row" -> "row").
std::string_view local(const XML_Char* name) {
  std::string_view n(name);
  const auto colon = n.rfind(':');
  return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

// An attribute by its local name; empty when there is none.
std::string_view attribute(const XML_Char** atts, std::string_view name) {
  for (std::size_t i = 0; atts[i] != nullptr; i += 2) {
    if (local(atts[i]) == name) return atts[i + 1];
  }
  return {};
}

// Reads one XML part, handing its elements and texts to a handler.
class XmlPart {
 public:
  virtual ~XmlPart() = default;

  // Throws (refuse) when the part is not well-formed XML.
  void parse(const std::string& bytes, const std::string& path, const std::string& what) {
    std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(
        XML_ParserCreate(nullptr), XML_ParserFree);
    if (!parser) refuse(path, "内存不足");
    XML_SetUserData(parser.get(), this);
    XML_SetElementHandler(
        parser.get(),
        [](void* self, const XML_Char* name, const XML_Char** atts) {
          static_cast<XmlPart*>(self)->start(local(name), atts);
        },
        [](void* self, const XML_Char* name) { static_cast<XmlPart*>(self)->end(local(name)); });
    XML_SetCharacterDataHandler(parser.get(), [](void* self, const XML_Char* s, int n) {
      static_cast<XmlPart*>(self)->text(std::string_view(s, static_cast<std::size_t>(n)));
    });
    // The part in pieces of at most 1 GiB (the length is an int).
    std::size_t at = 0;
    do {
      const std::size_t piece = std::min<std::size_t>(bytes.size() - at, std::size_t{1} << 30);
      const bool last = at + piece == bytes.size();
      if (XML_Parse(parser.get(), bytes.data() + at, static_cast<int>(piece), last ? 1 : 0) ==
          XML_STATUS_ERROR) {
        refuse(path, what + "不是完好的 XML（" + XML_ErrorString(XML_GetErrorCode(parser.get())) +
                         "，第 " + std::to_string(XML_GetCurrentLineNumber(parser.get())) +
                         " 行）");
      }
      at += piece;
    } while (at < bytes.size());
  }

 protected:
  virtual void start(std::string_view name, const XML_Char** atts) = 0;
  virtual void end(std::string_view name) = 0;
  virtual void text(std::string_view) {}
};

// The shared strings: the runs of each rich text, without their phonetic guides.
class SharedStrings final : public XmlPart {
 public:
  std::vector<std::string> strings;

 protected:
  void start(std::string_view name, const XML_Char**) override {
    if (name == "si") {
      inItem_ = true;
      strings.emplace_back();
    } else if (inItem_ && name == "rPh") {
      ++guide_;
    } else if (inItem_ && guide_ == 0 && name == "t") {
      inText_ = true;
    }
  }
  void end(std::string_view name) override {
    if (name == "si") {
      inItem_ = false;
    } else if (inItem_ && name == "rPh") {
      --guide_;
    } else if (name == "t") {
      inText_ = false;
    }
  }
  void text(std::string_view s) override {
    if (inItem_ && inText_ && guide_ == 0) strings.back() += s;
  }

 private:
  bool inItem_ = false;
  bool inText_ = false;
  int guide_ = 0;
};

// The id of the first sheet of workbook.xml.
class FirstSheet final : public XmlPart {
 public:
  std::string id;

 protected:
  void start(std::string_view name, const XML_Char** atts) override {
    if (id.empty() && name == "sheet") id = attribute(atts, "id");
  }
  void end(std::string_view) override {}
};

// The target of a relationship by its id.
class Relationship final : public XmlPart {
 public:
  explicit Relationship(std::string id) : id_(std::move(id)) {}
  std::optional<std::string> target;

 protected:
  void start(std::string_view name, const XML_Char** atts) override {
    if (!target && name == "Relationship" && attribute(atts, "Id") == id_) {
      target = std::string(attribute(atts, "Target"));
    }
  }
  void end(std::string_view) override {}

 private:
  std::string id_;
};

// "BC12" -> column 54 (0-based), from the letters.
int column_of(std::string_view reference) {
  int column = 0;
  for (const char c : reference) {
    if (c < 'A' || c > 'Z') break;
    column = column * 26 + (c - 'A' + 1);
    if (column > 1'000'000) break;
  }
  return column - 1;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() &&
         (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r')) {
    s.remove_prefix(1);
  }
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

// The cells of the sheet, row by row.
class SheetCells final : public XmlPart {
 public:
  SheetCells(const std::string& path, const std::vector<std::string>& shared)
      : path_(path), shared_(shared) {}
  WorksheetRows out;

 protected:
  void start(std::string_view name, const XML_Char** atts) override {
    if (name == "row") {
      std::size_t number = 0;
      const std::string_view r = attribute(atts, "r");
      std::from_chars(r.data(), r.data() + r.size(), number);
      if (number == 0) number = out.numbers.empty() ? 1 : out.numbers.back() + 1;
      // Rows left out of the sheet are empty rows of the table.
      while (!out.numbers.empty() && out.numbers.back() + 1 < number) {
        out.rows.emplace_back();
        out.numbers.push_back(out.numbers.back() + 1);
      }
      rowNumber_ = number;
    } else if (name == "c") {
      const std::string_view r = attribute(atts, "r");
      reference_ = r;
      column_ = !r.empty() ? column_of(r) : (cells_.empty() ? 0 : cells_.rbegin()->first + 1);
      type_ = attribute(atts, "t");
      value_.clear();
      inline_.clear();
      inCell_ = true;
    } else if (inCell_ && name == "v") {
      inValue_ = true;
    } else if (inCell_ && name == "is") {
      inInline_ = true;
    }
  }

  void end(std::string_view name) override {
    if (name == "row") {
      std::vector<std::string> row;
      if (!cells_.empty()) row.resize(static_cast<std::size_t>(cells_.rbegin()->first) + 1);
      for (auto& [c, text] : cells_) row[static_cast<std::size_t>(c)] = std::move(text);
      out.rows.push_back(std::move(row));
      out.numbers.push_back(rowNumber_);
      cells_.clear();
    } else if (name == "c" && inCell_) {
      inCell_ = false;
      // A cell is never left out unsaid: one that names no column of a worksheet is refused.
      if (column_ < 0 || column_ >= 16384) {
        refuse(path_, "第 " + std::to_string(rowNumber_) + " 行的单元格位置“" + reference_ +
                          "”不在工作表的列中");
      }
      cells_[column_] = cellText();
    } else if (name == "v") {
      inValue_ = false;
    } else if (name == "is") {
      inInline_ = false;
    }
  }

  void text(std::string_view s) override {
    if (inValue_) value_ += s;
    if (inInline_) inline_ += s;
  }

 private:
  std::string cellText() const {
    if (type_ == "s") {
      const std::string_view v = trimmed(value_);
      std::size_t i = 0;
      const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), i);
      if (ec != std::errc() || ptr != v.data() + v.size() || v.empty() || i >= shared_.size()) {
        refuse(path_, "单元格引用了不存在的字符串");
      }
      return shared_[i];
    }
    if (type_ == "inlineStr") return inline_;
    if (type_.empty() || type_ == "n") {
      const std::string_view v = trimmed(value_);
      double number = 0;
      const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), number);
      if (ec == std::errc() && ptr == v.data() + v.size() && !v.empty() && std::isfinite(number)) {
        std::array<char, 64> buf{};
        const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), number,
                                       std::chars_format::general, 15);
        return std::string(buf.data(), res.ptr);
      }
      return value_;
    }
    return value_;  // str (a formula's text), b (0 or 1), e (an error such as #DIV/0!)
  }

  const std::string& path_;
  const std::vector<std::string>& shared_;
  std::map<int, std::string> cells_;
  std::size_t rowNumber_ = 0;
  int column_ = 0;
  std::string reference_;
  std::string type_;
  std::string value_;
  std::string inline_;
  bool inCell_ = false;
  bool inValue_ = false;
  bool inInline_ = false;
};

// The part of the first sheet, as the workbook's relationships name it.
std::string first_sheet_part(const Package& package, const std::string& path) {
  const auto book = package.part("xl/workbook.xml");
  if (!book) refuse(path, "不是工作簿（缺少 xl/workbook.xml）");
  FirstSheet first;
  first.parse(*book, path, "xl/workbook.xml ");
  if (first.id.empty()) refuse(path, "工作簿中没有工作表");
  if (const auto rels = package.part("xl/_rels/workbook.xml.rels")) {
    Relationship r(first.id);
    r.parse(*rels, path, "xl/_rels/workbook.xml.rels ");
    if (r.target) {
      if (r.target->starts_with('/')) return r.target->substr(1);
      return "xl/" + *r.target;
    }
  }
  return "xl/worksheets/sheet1.xml";
}

bool empty_row(const std::vector<std::string>& cells) {
  return std::all_of(cells.begin(), cells.end(), [](const std::string& c) { return c.empty(); });
}

}  // namespace

WorksheetRows read_first_worksheet(const std::string& path) {
  const Package package(path);
  SharedStrings shared;
  if (const auto strings = package.part("xl/sharedStrings.xml")) {
    shared.parse(*strings, path, "xl/sharedStrings.xml ");
  }
  const std::string sheetName = first_sheet_part(package, path);
  const auto sheet = package.part(sheetName);
  if (!sheet) refuse(path, "缺少工作表 " + sheetName);
  SheetCells cells(path, shared.strings);
  cells.parse(*sheet, path, "工作表");
  return std::move(cells.out);
}

MemberTable workbook_member_table(const std::string& path) {
  WorksheetRows sheet = read_first_worksheet(path);
  MemberTable t;
  std::size_t first = 0;
  while (first < sheet.rows.size() && empty_row(sheet.rows[first])) ++first;
  if (first == sheet.rows.size()) throw std::runtime_error("工作簿的第一个工作表是空的");
  t.header = sheet.rows[first];
  while (!t.header.empty() && t.header.back().empty()) t.header.pop_back();
  for (std::size_t i = first + 1; i < sheet.rows.size(); ++i) {
    std::vector<std::string>& cells = sheet.rows[i];
    if (empty_row(cells)) continue;
    MemberRow row;
    row.line = sheet.numbers[i];
    const bool beyond =
        cells.size() > t.header.size() &&
        !empty_row({cells.begin() + static_cast<std::ptrdiff_t>(t.header.size()), cells.end()});
    if (beyond) {
      // Nothing is dropped: the row is kept whole and marked, as a CSV line of too many fields.
      for (std::size_t k = 0; k < cells.size(); ++k) {
        if (k > 0) row.raw += ',';
        row.raw += cells[k];
      }
      row.malformed = "malformed row (line " + std::to_string(row.line) +
                      "): " + std::to_string(cells.size()) + " fields where the header has " +
                      std::to_string(t.header.size());
    } else {
      cells.resize(t.header.size());
      row.cells = std::move(cells);
    }
    t.rows.push_back(std::move(row));
  }
  return t;
}

}  // namespace pellucor::analysis::batch
