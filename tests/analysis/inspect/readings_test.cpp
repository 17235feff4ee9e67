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

}  // namespace
}  // namespace pellucor::analysis::inspect
