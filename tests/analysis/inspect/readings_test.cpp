// Readings typed or pasted into a table (no header) and read from a file (a header naming the
// columns): the cells a user types are numbers, an empty row is no reading, and a row that is
// partly empty, a cell that is no number or a cell beyond the columns is refused by its row.
#include "analysis/inspect/readings.hpp"

#include <gtest/gtest.h>

namespace pellucor::analysis::inspect {
namespace {

std::vector<ReadingRow> rows(std::vector<std::vector<std::string>> cells) {
  std::vector<ReadingRow> out;
  for (std::size_t i = 0; i < cells.size(); ++i) out.push_back({std::move(cells[i]), i + 1});
  return out;
}

TEST(Readings, ATableAsTypedWithEmptyRowsAndFullWidthDigits) {
  const auto r = read_readings(
      rows({{"1", "3.5"}, {"", ""}, {" ３ ", "２．５"}, {"+5", "1e0"}, {}, {"7", "0"}}),
      kProfileColumns, false, "row");
  ASSERT_TRUE(r.ok()) << r.refusal().message;
  EXPECT_EQ(r->columns[0], (std::vector<double>{1, 3, 5, 7}));
  EXPECT_EQ(r->columns[1], (std::vector<double>{3.5, 2.5, 1, 0}));
  EXPECT_EQ(r->rows, (std::vector<std::size_t>{1, 3, 4, 6}));
}

TEST(Readings, AHeaderNamesTheColumnsInAnyOrderWithUnits) {
  const auto r = read_readings(rows({{"Chloride", "深度（mm）"}, {"3", "1"}, {"2", "4"}}),
                               kProfileColumns, true);
  ASSERT_TRUE(r.ok()) << r.refusal().message;
  EXPECT_EQ(r->columns[0], (std::vector<double>{1, 4}));
  EXPECT_EQ(r->columns[1], (std::vector<double>{3, 2}));
}

TEST(Readings, RefusesWhatItCannotTakeNamingTheRow) {
  struct Case {
    std::vector<std::vector<std::string>> cells;
    bool header;
    ReadingsRefusal kind;
    std::string message;
  };
  const Case cases[] = {
      {{{"1", "2"}, {"3", ""}},
       false,
       ReadingsRefusal::EmptyCell,
       "row 2: the chloride is missing"},
      {{{"1", "2"}, {"3", "1,5"}},
       false,
       ReadingsRefusal::NotANumber,
       "row 2: the chloride '1,5' is not a number"},
      {{{"1", "2"}, {"3", "inf"}}, false, ReadingsRefusal::NotANumber, "'inf' is not a number"},
      {{{"1", "2", "9"}}, false, ReadingsRefusal::CellCount, "'9' belongs to none"},
      {{{"depth", "depth"}}, true, ReadingsRefusal::RepeatedColumn, "named twice"},
      {{{"depth"}, {"1"}},
       true,
       ReadingsRefusal::MissingColumn,
       "chloride (氯离子含量) is missing"},
      {{{""}, {}}, true, ReadingsRefusal::NoHeader, "no readings"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const auto r = read_readings(rows(c.cells), kProfileColumns, c.header, "row");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.refusal().kind, c.kind);
    EXPECT_NE(r.refusal().message.find(c.message), std::string::npos) << r.refusal().message;
    EXPECT_FALSE(r.refusal().text.empty());
  }
}

// A readings file as the console reads it: its encoding told from its bytes (GBK, UTF-8 with or
// without BOM) or from the header when the bytes read both ways; every refusal names the line.
TEST(Readings, AFileIsReadFromItsBytesWithinBounds) {
  const auto utf8 =
      read_readings_csv("\xEF\xBB\xBF深度,氯离子含量\r\n1,3\r\n3,2\r\n", kProfileColumns);
  ASSERT_TRUE(utf8.ok()) << utf8.refusal().message;
  EXPECT_EQ(utf8->columns[1], (std::vector<double>{3, 2}));
  const auto gbk = read_readings_csv("\xC9\xEE\xB6\xC8,chloride\n1,3\n", kProfileColumns);
  ASSERT_TRUE(gbk.ok()) << gbk.refusal().message;  // 深度 in GBK
  EXPECT_EQ(gbk->rows, (std::vector<std::size_t>{2}));

  struct Case {
    const char* what;
    std::string bytes;
    ReadingsRefusal kind;
    std::string message;
  };
  std::string rows = "depth,chloride\n";
  for (std::size_t i = 0; i <= kMaxReadingRows; ++i) rows += "1,2\n";
  const Case cases[] = {
      {"a quote not closed", "depth,chloride\n1,2\n\"3,4\n", ReadingsRefusal::NotCsv,
       "line 3 cannot be read as CSV"},
      {"neither UTF-8 nor GBK", "depth,chloride\n1,\xFF\n", ReadingsRefusal::Encoding, "line 2"},
      {"larger than a readings file", std::string(kMaxReadingsFileBytes + 1, '1'),
       ReadingsRefusal::TooLarge, "larger than 16 MiB"},
      {"more rows than an analysis takes", rows, ReadingsRefusal::TooMany,
       "line 100001: more than 100000 rows"},
      {"a cell no number", "depth,chloride\n1,1e400\n", ReadingsRefusal::NotANumber,
       "line 2: the chloride '1e400' is not a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto r = read_readings_csv(c.bytes, kProfileColumns);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.refusal().kind, c.kind);
    EXPECT_NE(r.refusal().message.find(c.message), std::string::npos) << r.refusal().message;
    EXPECT_FALSE(r.refusal().text.empty());
  }
}

}  // namespace
}  // namespace pellucor::analysis::inspect
