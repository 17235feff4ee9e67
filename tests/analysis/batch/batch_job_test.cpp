// The batch job end to end in memory: the same output for any block size as for the whole table
// at once, a member on which the program fails marked while the others run on, cells typed
// with a Chinese input method read as the sheet reads them, and a table the desktop's member
// table exported read back as the table it was made from.
#include "analysis/batch/batch_job.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/batch/output_file.hpp"
#include "analysis/batch/result_columns.hpp"
#include "analysis/batch/workbook_reader.hpp"
#include "modules/registry.hpp"
#include "sheet/safe_output.hpp"

namespace pellucor::analysis::batch {
namespace {

namespace fs = std::filesystem;

const sheet::Module& marine() {
  return *modules::find_module("marine");
}

const std::string kHeader =
    "member,environment,temperature,humidity,strength,cover,age,diffusion,surface,critical,"
    "cracking-time,diameter,accumulation,stable-time,initiation-time,t2,steel\n";

std::string row(const std::string& name, const std::string& cover, const std::string& age = "20") {
  return name + ",1.5,20,0.8,30," + cover + "," + age + ",1.5,5,1.4,20,20,1.0,25,10,5,2\n";
}

// Members that run, stop, are malformed, and span two lines.
std::string table() {
  std::string t = kHeader;
  for (int i = 0; i < 50; ++i) t += row("m" + std::to_string(i), std::to_string(2 + i * 2));
  t += "\"broken,1\n" + row("\"two\nlines\"", "40") + "short,1,2\n" + row("last", "40");
  return t;
}

std::string read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BatchJob, StreamsTheSameOutputForAnyBlockSizeAsTheWholeTable) {
  // The whole table at once.
  const auto records = parse_csv(table());
  const auto columns = resolve_columns(marine().table(), records[0].fields);
  const auto rows = member_rows(records, columns.size());
  const auto outcomes = run_members(marine(), columns, rows, {});
  const std::string whole =
      "\xEF\xBB\xBF" + csv_text(output_table(4, records[0].fields, columns, rows, outcomes));

  const fs::path out = fs::temp_directory_path() / ("pellucor-job-" + std::to_string(getpid()));
  for (std::size_t block : {1u, 3u, 16u, 4096u}) {
    SCOPED_TRACE(block);
    auto reader = MemberReader::of_text(table(), {});
    EXPECT_EQ(reader->members(), 54u);
    sheet::SafeOutput file;
    ASSERT_EQ(file.open(out.string()), std::nullopt);
    CsvTableWriter writer(file, Encoding::Utf8Bom);
    JobOptions options;
    options.block = block;
    options.jobs = 2;
    std::size_t last = 0;
    options.progress = [&](std::size_t done, std::optional<std::size_t> total) {
      EXPECT_GT(done, last);
      EXPECT_EQ(total, 54u);
      last = done;
    };
    const JobReport report = run_batch_job(marine(), columns, *reader, writer, options);
    writer.finish();
    EXPECT_EQ(read(out), whole);
    EXPECT_EQ(last, 54u);
    EXPECT_EQ(report.summary.rows, 54u);
    EXPECT_EQ(report.summary.malformed, 2u);
    EXPECT_EQ(report.summary.done + report.summary.stopped, 52u);
  }
  fs::remove(out);
}

// A module that fails (throws) on one cover, as a program error would.
class FailingMarine final : public sheet::Module {
 public:
  const sheet::SheetTable& table() const override { return marine().table(); }
  std::optional<sheet::CheckFailure> check(const sheet::SheetInputs& in) const override {
    return marine().check(in);
  }
  sheet::CalculationOutcome calculate(const sheet::SheetInputs& in,
                                      sheet::CalculationSink& sink) const override {
    if (in.box(5) == 13) throw std::runtime_error("out of memory, say");
    return marine().calculate(in, sink);
  }
};

TEST(BatchJob, AMemberOnWhichTheProgramFailsIsMarkedAndTheOthersRunOn) {
  const FailingMarine failing;
  const auto records = parse_csv(kHeader + row("a", "40") + row("b", "13") + row("c", "41"));
  const auto columns = resolve_columns(failing.table(), records[0].fields);
  RunOptions options;
  options.jobs = 3;
  const auto out = run_members(failing, columns, member_rows(records, columns.size()), options);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].status, RowOutcome::Status::Done);
  EXPECT_EQ(out[1].status, RowOutcome::Status::Failed);
  EXPECT_EQ(out[1].statusText, "program error: out of memory, say");
  EXPECT_EQ(out[2].status, RowOutcome::Status::Done);
  EXPECT_EQ(summary_line(summarize(out)),
            "3 members: 2 computed, 0 stopped at a message, 0 malformed, 1 failed (program error)");
}

TEST(BatchJob, CellsTypedInFullWidthAreReadAsTheSheetReadsThem) {
  const auto records = parse_csv(kHeader + row("half", "40") + row("full", "４０", "２０") +
                                 "full steel,1.5,20,0.8,30,40,20,1.5,5,1.4,20,20,1.0,25,10,5,２\n");
  const auto columns = resolve_columns(marine().table(), records[0].fields);
  const auto out = run_members(marine(), columns, member_rows(records, columns.size()), {});
  ASSERT_EQ(out.size(), 3u);
  for (const auto& o : out) {
    EXPECT_EQ(o.status, RowOutcome::Status::Done) << o.statusText;
    EXPECT_EQ(o.results, out[0].results);
  }
}

// The member table of the desktop program exports its members with the boxes' labels and units
// as column names (the long ones on several lines), the steel kind as its list item, its own
// status column, the results of its last run and the state at the inspection age after them;
// written by the export's own writer. The console's reader must run these members as the
// table of control aliases they were typed from, whatever the earlier results say.
TEST(BatchJob, ATableTheDesktopExportedRunsAsTheTableItWasTypedFrom) {
  const sheet::SheetTable& sheet = marine().table();
  const auto plain = parse_csv(table());
  const auto plainColumns = resolve_columns(sheet, plain[0].fields);

  OutputTable exported;
  exported.header.emplace_back("member");
  for (std::size_t c = 1; c < plainColumns.size(); ++c) {
    const sheet::Control control = plainColumns[c].control;
    const sheet::FieldRow* f = sheet.field(control);
    if (f == nullptr) {
      exported.header.emplace_back(sheet.combo.label);
      continue;
    }
    // The units as the desktop corrects them; a long name broken as its header shows it.
    std::string unit(f->typed.unit);
    if (unit == "摄示度") unit = "℃";
    if (unit == "mpa") unit = "MPa";
    std::string name(f->label);
    if (c % 3 == 0) name.insert(name.size() / 6 * 3, "\n");  // half-way, between characters
    exported.header.push_back(unit.empty() ? name
                                           : name + (c % 2 == 0 ? "\n(" : " (") + unit + ")");
  }
  exported.statusColumn = exported.header.size();
  exported.header.emplace_back("status");
  exported.firstResultColumn = exported.header.size();
  for (const std::string& h : result_headers(4)) exported.header.push_back(h);
  exported.header.emplace_back("检测时状态");
  exported.textColumns.assign(exported.header.size(), false);
  for (std::size_t r = 1; r < plain.size(); ++r) {
    if (!plain[r].error.empty() || plain[r].fields.size() != plainColumns.size()) continue;
    std::vector<std::string> cells = plain[r].fields;
    cells.back() = std::string(*sheet::steel_item(cells.back()));
    // What an earlier run left: a status and results that this run must not take over.
    cells.emplace_back("ok");
    for (std::size_t k = 0; k < result_headers(4).size(); ++k) cells.emplace_back("999");
    cells.emplace_back("已开裂");
    exported.rows.push_back(std::move(cells));
    exported.stopped.push_back(false);
    exported.lines.push_back(0);
  }
  ASSERT_GT(exported.rows.size(), 40u);

  const fs::path dir = fs::temp_directory_path() / ("pellucor-export-" + std::to_string(getpid()));
  fs::create_directories(dir);
  // Each table through the console's path: read, columns, job, CSV output.
  auto run = [&](MemberReader& reader, const char* name) {
    const auto columns = resolve_columns(sheet, reader.header());
    sheet::SafeOutput out;
    EXPECT_FALSE(out.open((dir / name).string()));
    CsvTableWriter writer(out, Encoding::Utf8);
    const JobReport report = run_batch_job(marine(), columns, reader, writer, {});
    writer.finish();
    return std::pair(report.summary, parse_csv(read(dir / name)));
  };
  ReadOptions options;
  options.sheet = &sheet;
  // The plain table without its malformed lines, as the export holds its members.
  std::string typed = kHeader;
  for (std::size_t r = 1; r < plain.size(); ++r) {
    if (plain[r].error.empty() && plain[r].fields.size() == plainColumns.size()) {
      append_csv_line(typed, plain[r].fields);
    }
  }
  auto fromTyped = MemberReader::of_text(typed, options);
  const auto [typedSummary, expected] = run(*fromTyped, "typed-out.csv");
  EXPECT_GT(typedSummary.done, 0u);
  EXPECT_GT(typedSummary.stopped, 0u);

  for (const TableFormat format : {TableFormat::Csv, TableFormat::Workbook}) {
    const bool book = format == TableFormat::Workbook;
    SCOPED_TRACE(book ? "workbook" : "CSV");
    const std::string path = (dir / (book ? "members.xlsx" : "members.csv")).string();
    write_table(path, exported, sheet.cliName, format);
    auto fromDesktop = book ? MemberReader::of_table(workbook_member_table(path))
                            : MemberReader::open(path, options);
    EXPECT_EQ(earlier_output_columns(fromDesktop->header()).size(),
              exported.header.size() - exported.statusColumn);
    const auto [desktopSummary, desktop] = run(*fromDesktop, "desktop-out.csv");
    EXPECT_EQ(desktopSummary.rows, exported.rows.size());
    EXPECT_EQ(desktopSummary.done, typedSummary.done);
    EXPECT_EQ(desktopSummary.stopped, typedSummary.stopped);
    // The output: the exported input columns, then one status column and this run's results.
    ASSERT_EQ(desktop.size(), expected.size());
    ASSERT_EQ(desktop[0].fields.size(), expected[0].fields.size());
    EXPECT_EQ(std::vector<std::string>(desktop[0].fields.begin(),
                                       desktop[0].fields.begin() + exported.statusColumn),
              std::vector<std::string>(exported.header.begin(),
                                       exported.header.begin() + exported.statusColumn));
    const auto from = [&](const CsvRecord& rec) {
      return std::vector<std::string>(
          rec.fields.begin() + static_cast<std::ptrdiff_t>(exported.statusColumn),
          rec.fields.end());
    };
    for (std::size_t r = 0; r < desktop.size(); ++r) {
      EXPECT_EQ(from(desktop[r]), from(expected[r])) << "row " << r;
    }
  }
  fs::remove_all(dir);
}

// A workbook's member table: rows numbered as in the sheet, empty rows left out, a row with
// cells beyond the header kept whole as a malformed one; a file that is no workbook refused.
TEST(BatchJob, AWorkbookIsReadAsItsFirstSheetsRows) {
  const fs::path dir = fs::temp_directory_path() / ("pellucor-book-" + std::to_string(getpid()));
  fs::create_directories(dir);
  OutputTable t;
  t.header = {"member", "cover", ""};
  t.rows = {{"a", "40", ""}, {"", "", ""}, {"b", "41", "x"}, {"00123", "0.1", ""}};
  t.textColumns = {true, false, false};
  t.stopped.assign(t.rows.size(), false);
  t.lines.assign(t.rows.size(), 0);
  const std::string book = (dir / "members.xlsx").string();
  write_table(book, t, "marine", TableFormat::Workbook);
  const MemberTable read = workbook_member_table(book);
  EXPECT_EQ(read.header, (std::vector<std::string>{"member", "cover"}));
  ASSERT_EQ(read.rows.size(), 3u);
  EXPECT_EQ(read.rows[0].cells, (std::vector<std::string>{"a", "40"}));
  EXPECT_EQ(read.rows[0].line, 2u);
  EXPECT_EQ(read.rows[1].line, 4u);
  EXPECT_EQ(read.rows[1].malformed, "malformed row (line 4): 3 fields where the header has 2");
  EXPECT_EQ(read.rows[1].raw, "b,41,x");
  EXPECT_EQ(read.rows[2].cells, (std::vector<std::string>{"00123", "0.1"}));

  const std::string notBook = (dir / "table.xlsx").string();
  std::ofstream(notBook) << "member,cover\na,40\n";
  try {
    workbook_member_table(notBook);
    ADD_FAILURE() << "a CSV file read as a workbook";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("不是工作簿或无法打开"), std::string::npos) << e.what();
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pellucor::analysis::batch
