// The batch job end to end in memory: the same output for any block size as for the whole table
// at once, a member on which the program fails marked while the others run on, and cells typed
// with a Chinese input method read as the sheet reads them.
#include "analysis/batch/batch_job.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "modules/registry.hpp"

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

}  // namespace
}  // namespace pellucor::analysis::batch
