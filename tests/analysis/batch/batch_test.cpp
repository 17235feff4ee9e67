// Member tables: columns by name, rows run in any number of threads with the same outcome,
// malformed rows kept, output tables and files.
#include "analysis/batch/batch.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analysis/batch/output_file.hpp"
#include "analysis/batch/result_columns.hpp"
#include "modules/registry.hpp"

namespace pellucor::analysis::batch {
namespace {

namespace fs = std::filesystem;
using sheet::Control;

const sheet::Module& marine() {
  return *modules::find_module("marine");
}

const std::vector<std::string> kHeader = {
    "member",       "environment", "temperature",     "humidity", "strength",      "保护层厚度",
    "age",          "Text7",       "surface",         "critical", "cracking-time", "diameter",
    "accumulation", "stable-time", "initiation-time", "t2",       "钢筋种类"};

std::vector<std::string> member(const std::string& name, const std::string& cover,
                                const std::string& steel = "2") {
  return {name,  "1.5", "20", "0.8", "30", cover, "20", "1.5", "5",
          "1.4", "20",  "20", "1.0", "25", "10",  "5",  steel};
}

TEST(ResolveColumns, ByNameAliasLabelGroupAndMember) {
  const auto columns = resolve_columns(marine().table(), kHeader);
  ASSERT_EQ(columns.size(), kHeader.size());
  EXPECT_EQ(columns[0].kind, InputColumn::Kind::Member);
  EXPECT_EQ(columns[5].control, Control::Text5);
  EXPECT_EQ(columns[7].control, Control::Text7);
  EXPECT_EQ(columns[16].control, Control::Combo1);
  const auto group = resolve_columns(marine().table(), {"扩散系数来源", "Member"});
  EXPECT_EQ(group[0].kind, InputColumn::Kind::Group);
  EXPECT_EQ(group[1].kind, InputColumn::Kind::Member);
}

TEST(ResolveColumns, UnknownAndRepeatedColumnsAreErrorsNamingTheColumn) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"member", "cover", "colour"}, "unknown column 'colour'"},
      {{"cover", "Text5"}, "duplicated column 'Text5' (the same as 'cover')"},
      {{"保护层厚度", "COVER"}, "duplicated column 'COVER'"},
      {{"member", "member"}, "duplicated column 'member'"},
      {{"cover", ""}, "unknown column ''"},
      {{"Option3"}, "unknown column 'Option3'"},
  };
  for (const auto& [header, expected] : cases) {
    try {
      resolve_columns(marine().table(), header);
      ADD_FAILURE() << "no error for " << expected;
    } catch (const ColumnError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  }
}

// A header as the desktop's member table writes it names the box its label names: the unit in
// brackets (half- or full-width), line breaks and blanks set aside; the output columns of an
// earlier run (from the status column on) are not read. Names the console read before keep
// their meaning.
TEST(ResolveColumns, NamesAsTheDesktopsMemberTableWritesThem) {
  const struct {
    const char* name;
    Control control;
  } boxes[] = {
      {"保护层厚度 (mm)", Control::Text5},
      {"保护层厚度\n(mm)", Control::Text5},
      {"保护层厚\n度\n(mm)", Control::Text5},
      {"保护层厚度\r\n(mm)", Control::Text5},
      {"环境温度 (℃)", Control::Text2},
      {"混凝土强度（MPa）", Control::Text4},
      {" 离子扩散系数 (cm^2/a) ", Control::Text7},
      {"钢筋种类", Control::Combo1},
      {"cover", Control::Text5},
      {"Text5", Control::Text5},
  };
  for (const auto& b : boxes) {
    const auto columns = resolve_columns(marine().table(), {"member", b.name});
    ASSERT_EQ(columns.size(), 2u) << b.name;
    EXPECT_EQ(columns[1].kind, InputColumn::Kind::Control) << b.name;
    EXPECT_EQ(columns[1].control, b.control) << b.name;
    EXPECT_EQ(columns[1].header, b.name);
  }
  const auto group = resolve_columns(marine().table(), {"扩散系数\n来源"});
  ASSERT_EQ(group.size(), 1u);
  EXPECT_EQ(group[0].kind, InputColumn::Kind::Group);

  // The earlier run's columns end the inputs, whichever status column starts them.
  for (const char* status : {"status", "Status", "状态", "检测时状态", "检测时\n状态"}) {
    const std::vector<std::string> header = {"member", "保护层厚度 (mm)", status,
                                             "钢筋开始锈蚀时间 (a)", "检测时状态"};
    EXPECT_EQ(resolve_columns(marine().table(), header).size(), 2u) << status;
    EXPECT_EQ(earlier_output_columns(header).size(), 3u) << status;
  }
  EXPECT_TRUE(earlier_output_columns({"member", "cover"}).empty());

  // An older export, whose results called t_d 使用年限 and the remaining life 剩余使用年限,
  // reads back as a current one: its inputs the same, its results the earlier run's output.
  const std::vector<std::string> older = {"使用年限 (a)", "耐久性终结时间 t_d (a)",
                                          "剩余使用年限 t_d-t (a)"};
  for (const auto& results : {older, result_headers(4)}) {
    std::vector<std::string> header = {"member", "保护层厚度 (mm)", "状态"};
    header.insert(header.end(), results.begin(), results.end());
    const auto columns = resolve_columns(marine().table(), header);
    ASSERT_EQ(columns.size(), 2u) << results.front();
    EXPECT_EQ(columns[1].control, Control::Text5);
    EXPECT_EQ(earlier_output_columns(header).size(), results.size() + 1);
  }
}

TEST(ResolveColumns, WhatTheLooserNamesDoNotCover) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      // Only a unit in brackets at the end is set aside, and something must stand before it.
      {{"保护层厚度 (mm", "cover"}, "unknown column '保护层厚度 (mm'"},
      {{"(mm)"}, "unknown column '(mm)'"},
      {{"保护层 (mm) 厚度"}, "unknown column '保护层 (mm) 厚度'"},
      // Two names of one box, whatever their form.
      {{"cover", "保护层厚度\n(mm)"}, "duplicated column '保护层厚度\n(mm)' (the same as 'cover')"},
      // An input among an earlier run's output columns is not dropped unread.
      {{"member", "status", "cover"}, "column 'cover' stands after the status column 'status'"},
      {{"cover", "状态", "member"}, "column 'member' stands after the status column '状态'"},
  };
  for (const auto& [header, expected] : cases) {
    try {
      resolve_columns(marine().table(), header);
      ADD_FAILURE() << "no error for " << expected;
    } catch (const ColumnError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  }
}

std::vector<MemberRow> rows_of(const std::vector<std::vector<std::string>>& cells) {
  std::vector<MemberRow> rows;
  for (const auto& c : cells) rows.push_back({c, "", ""});
  return rows;
}

TEST(RunMembers, CellsTheSheetCannotTakeStopTheirRowOnly) {
  const auto columns = resolve_columns(marine().table(), kHeader);
  const auto rows = rows_of({member("ok", "40"), member("steel 9", "40", "9"),
                             member("name", "40", "墙板配筋"), member("empty steel", "40", "")});
  const auto out = run_members(marine(), columns, rows, {});
  EXPECT_EQ(out[0].status, RowOutcome::Status::Done);
  EXPECT_EQ(out[0].statusText, "ok");
  EXPECT_EQ(out[1].status, RowOutcome::Status::Stopped);
  EXPECT_EQ(out[1].control, Control::Combo1);
  EXPECT_TRUE(out[1].statusText.starts_with("钢筋种类: '9' is no steel kind")) << out[1].statusText;
  EXPECT_EQ(out[1].refused, sheet::TypedValue::Why::NoSteel);
  EXPECT_EQ(out[2].status, RowOutcome::Status::Done);  // chosen by the item's name
  EXPECT_EQ(out[2].results[10], "不计算（墙板配筋）");
  EXPECT_EQ(out[3].statusText, "钢筋种类: 您未选择钢筋种类，请从下拉列表中选择一种钢筋!");
  EXPECT_EQ(out[3].message, "您未选择钢筋种类，请从下拉列表中选择一种钢筋!");
  EXPECT_EQ(out[3].refused, sheet::TypedValue::Why::None);
}

// A box's cell says a number: one that is not wholly a number (after full-width forms are read
// as half-width and blanks around it set aside) stops its row, named by the box's label, and is
// never read by the sheet's prefix rule ("4O" as 4, "25mm" as 25, "1 2" as 12).
TEST(RunMembers, ABoxCellThatIsNotWhollyANumberIsRefusedAndNamed) {
  const auto columns = resolve_columns(marine().table(), kHeader);
  const auto reference = run_members(marine(), columns, rows_of({member("40", "40")}), {});
  ASSERT_EQ(reference[0].status, RowOutcome::Status::Done);
  const std::pair<std::string, bool> cases[] = {
      {"4O", false},  {"25mm", false}, {"1 2", false}, {"2,5", false}, {"40.", true},
      {"４０", true}, {" 40 ", true},  {"+40", true},  {"abc", false}, {"40\t", true},
  };
  for (const auto& [cell, taken] : cases) {
    const auto out = run_members(marine(), columns, rows_of({member("m", cell)}), {});
    if (taken) {
      EXPECT_EQ(out[0].status, RowOutcome::Status::Done) << cell << ": " << out[0].statusText;
      EXPECT_EQ(out[0].results, reference[0].results) << cell;
      continue;
    }
    EXPECT_EQ(out[0].status, RowOutcome::Status::Stopped) << cell;
    EXPECT_EQ(out[0].control, Control::Text5) << cell;
    EXPECT_EQ(out[0].refused, sheet::TypedValue::Why::NotANumber) << cell;
    EXPECT_EQ(out[0].statusText, "保护层厚度: '" + cell + "' is not a number");
    EXPECT_TRUE(out[0].results.empty()) << cell;
    // The same refusal when the row is typed into a sheet's window.
    RowOutcome refused;
    EXPECT_FALSE(row_entries(marine().table(), columns, member("m", cell), &refused)) << cell;
    EXPECT_EQ(refused.statusText, out[0].statusText);
  }
  // Blanks alone, like an empty cell, leave the box as the sheet opens it (then not entered).
  for (const std::string blank : {"", "  ", "\u3000"}) {
    const auto out = run_members(marine(), columns, rows_of({member("m", blank)}), {});
    EXPECT_EQ(out[0].refused, sheet::TypedValue::Why::None) << blank;
    EXPECT_EQ(out[0].message.rfind("您未输入", 0), 0u) << blank << ": " << out[0].statusText;
  }
  // A project's entries: the first box whose text is not a number.
  const std::vector<Entry> entries = {{Control::Text1, "1.5"},
                                      {Control::Text5, "4O"},
                                      {Control::Text6, "2O"},
                                      {Control::Combo1, "2 变形钢筋"}};
  ASSERT_NE(first_not_a_number(marine().table(), entries), nullptr);
  EXPECT_EQ(first_not_a_number(marine().table(), entries)->control, Control::Text5);
  EXPECT_EQ(first_not_a_number(marine().table(), {entries[0], entries[3]}), nullptr);
}

TEST(RunMembers, OptionGroupAndOptionColumns) {
  const auto columns = resolve_columns(
      marine().table(),
      {"environment", "temperature", "humidity", "strength", "cover", "age", "surface", "critical",
       "cracking-time", "diameter", "accumulation", "stable-time", "initiation-time", "t2", "steel",
       "water-cement", "扩散系数来源", "Option1"});
  auto row = [](const std::string& group, const std::string& option) {
    return std::vector<std::string>{"1.5", "20",  "0.8", "30", "40", "20", "5",   "1.4", "20",
                                    "20",  "1.0", "25",  "10", "5",  "2",  "0.5", group, option};
  };
  const auto out =
      run_members(marine(), columns,
                  rows_of({row("由水灰比推算", ""), row("2", "0"), row("from-water-cement", ""),
                           row("sideways", ""), row("", "yes"), row("", "")}),
                  {});
  for (int i : {0, 1, 2}) EXPECT_EQ(out[i].status, RowOutcome::Status::Done) << i;
  EXPECT_EQ(out[0].results, out[1].results);
  EXPECT_TRUE(
      out[3].statusText.starts_with("扩散系数来源: 'sideways' is no option of 扩散系数来源"))
      << out[3].statusText;
  EXPECT_TRUE(out[4].statusText.starts_with("扩散系数来源: 'yes' chooses nothing"))
      << out[4].statusText;
  // Left at the sheet's first option, the coefficient is derived from a profile never given.
  EXPECT_EQ(out[5].status, RowOutcome::Status::Stopped);
}

TEST(RunMembers, SameOutcomeWhateverTheNumberOfThreads) {
  const auto columns = resolve_columns(marine().table(), kHeader);
  std::vector<std::vector<std::string>> cells;
  for (int i = 0; i < 120; ++i) {
    cells.push_back(
        member("m" + std::to_string(i), std::to_string(5 + i % 100), std::to_string(1 + i % 4)));
  }
  const auto rows = rows_of(cells);
  RunOptions one;
  one.jobs = 1;
  const auto reference = run_members(marine(), columns, rows, one);
  std::size_t done = 0;
  for (const auto& o : reference) done += o.status == RowOutcome::Status::Done;
  EXPECT_GT(done, 30u);
  EXPECT_LT(done, 120u);  // the set holds stops as well
  for (unsigned jobs : {2u, 3u, 8u}) {
    RunOptions options;
    options.jobs = jobs;
    std::size_t last = 0;
    options.progress = [&](std::size_t n, std::size_t total) {
      EXPECT_GT(n, last);
      EXPECT_EQ(total, rows.size());
      last = n;
    };
    const auto out = run_members(marine(), columns, rows, options);
    EXPECT_EQ(last, rows.size());
    ASSERT_EQ(out.size(), reference.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i].statusText, reference[i].statusText) << jobs << " " << i;
      EXPECT_EQ(out[i].results, reference[i].results) << jobs << " " << i;
    }
  }
}

TEST(RunMembers, CancelledBeforeTheStartRunsNothing) {
  const auto columns = resolve_columns(marine().table(), kHeader);
  const std::atomic<bool> cancel{true};
  RunOptions options;
  options.cancel = &cancel;
  const auto out =
      run_members(marine(), columns, rows_of({member("a", "40"), member("b", "40")}), options);
  for (const auto& o : out) EXPECT_EQ(o.status, RowOutcome::Status::NotRun);
  EXPECT_EQ(summary_line(summarize(out)),
            "2 members: 0 computed, 0 stopped at a message, 0 malformed, 2 not run");
}

TEST(OutputTable, KeepsMalformedLinesWholeAndMarksStoppedRows) {
  const std::string text =
      "member,cover\n"
      "a,40\n"
      "b,\"40\n"
      "c,40,extra\n";
  const auto records = parse_csv(text);
  const auto columns = resolve_columns(marine().table(), records[0].fields);
  const auto rows = member_rows(records, columns.size());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].malformed, "malformed row (line 3): unbalanced quotes");
  EXPECT_EQ(rows[2].malformed, "malformed row (line 4): 3 fields where the header has 2");
  const auto outcomes = run_members(marine(), columns, rows, {});
  const OutputTable t = output_table(4, records[0].fields, columns, rows, outcomes);
  EXPECT_EQ(t.header[2], "status");
  EXPECT_EQ(t.header.size(), 3 + result_headers(4).size());
  EXPECT_EQ(t.rows[1][0], "b,\"40");
  EXPECT_EQ(t.rows[2][0], "c,40,extra");
  EXPECT_EQ(t.rows[2][2], rows[2].malformed);
  // Going from the first box to the cover runs the first box's leave check on its default.
  EXPECT_EQ(t.rows[0][2], "局部环境系数: 您输入的局部环境系数不在有效范围！请输入 1.0--5.5 的数!");
  EXPECT_EQ(t.stopped, (std::vector<bool>{true, true, true}));
  const std::string csv = csv_text(t);
  EXPECT_NE(csv.find("\r\n\"b,\"\"40\",,malformed row (line 3): unbalanced quotes,"),
            std::string::npos);
  const auto s = summarize(outcomes);
  EXPECT_EQ(s.stopped, 1u);
  EXPECT_EQ(s.malformed, 2u);
}

TEST(NumberCell, OnlyWholeFiniteNumbers) {
  const std::pair<std::string, bool> cases[] = {
      {"1.5", true},  {"-0.25", true}, {"1.5E-05", true}, {"40", true},
      {"", false},    {" 1.5", false}, {"1.5 ", false},   {"1.5mm", false},
      {"inf", false}, {"NAN", false},  {"+1", false},     {"不计算", false}};
  for (const auto& [text, number] : cases) EXPECT_EQ(number_cell(text), number) << text;
  double v = 0;
  ASSERT_TRUE(number_cell("2.5E+02", &v));
  EXPECT_EQ(v, 250.0);
}

class OutputFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("pellucor-batch-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  static std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }
  fs::path dir_;
};

OutputTable small_table() {
  OutputTable t;
  t.header = {"member", "cover", "status", "t"};
  t.rows = {{"a", "40", "ok", "1.5"}, {"b", "", "Text5: x", ""}};
  t.stopped = {false, true};
  t.statusColumn = 2;
  t.firstResultColumn = 3;
  t.textColumns = {true, false, true, false};
  return t;
}

TEST_F(OutputFile, ReplacesTheTargetWholeAndLeavesNoTemporaryFile) {
  const fs::path target = dir_ / "out.csv";
  std::ofstream(target) << "earlier results\n";
  write_table(target.string(), small_table(), "marine", TableFormat::Csv);
  EXPECT_EQ(read(target), "\xEF\xBB\xBF" + csv_text(small_table()));
  EXPECT_EQ(entries(), 1u);
}

TEST_F(OutputFile, AFailedWriteKeepsTheEarlierFileAndCleansUp) {
  // The target is a folder holding a file: refused before anything is written.
  const fs::path target = dir_ / "out.csv";
  fs::create_directories(target);
  std::ofstream(target / "keep") << "x";
  EXPECT_THROW(write_table(target.string(), small_table(), "marine", TableFormat::Csv), FileError);
  EXPECT_EQ(read(target / "keep"), "x");
  EXPECT_EQ(entries(), 1u);
  EXPECT_THROW(write_table((dir_ / "missing" / "out.csv").string(), small_table(), "marine",
                           TableFormat::Csv),
               FileError);
  EXPECT_EQ(entries(), 1u);
}

TEST_F(OutputFile, WorkbookIsAZipArchiveWrittenAtomically) {
  const fs::path target = dir_ / "out.xlsx";
  write_table(target.string(), small_table(), "marine", TableFormat::Workbook);
  const std::string bytes = read(target);
  ASSERT_GT(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 2), "PK");
  EXPECT_EQ(entries(), 1u);
}

}  // namespace
}  // namespace pellucor::analysis::batch
