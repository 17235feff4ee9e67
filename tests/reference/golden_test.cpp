// The sheets' reports held byte for byte against the golden table that the plain reference
// implementation wrote, and the reference held against its own table.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "../modules/module_test_support.hpp"
#include "golden_table.hpp"
#include "reference_models.hpp"

namespace pellucor::reference {
namespace {

const std::vector<GoldenEntry>& table() {
  static const std::vector<GoldenEntry> entries = [] {
    std::ifstream in(PELLUCOR_GOLDEN_TABLE, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << PELLUCOR_GOLDEN_TABLE;
    std::string error;
    auto read = read_table(in, error);
    EXPECT_EQ(error, "");
    return read;
  }();
  return entries;
}

sheet::SheetInputs sheet_inputs(const SheetCase& c) {
  sheet::SheetInputs in;
  for (std::size_t n = 1; n < c.box.size() && n < in.value.size(); ++n) in.value[n] = c.box[n];
  for (std::size_t n = 1; n < c.option.size(); ++n) in.selected[n] = c.option[n];
  return modules::testing::with_steel(in, c.kind);
}

// Lines compared one by one, so that a failure names the first line that differs.
void expect_lines(const char* what, const std::vector<std::string>& actual,
                  const std::vector<std::string>& expected) {
  for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
    const std::string a = i < actual.size() ? actual[i] : "(no line)";
    const std::string e = i < expected.size() ? expected[i] : "(no line)";
    if (a != e) {
      ADD_FAILURE() << what << " line " << i + 1 << "\n  sheet:    '" << a << "'\n  expected: '"
                    << e << "'";
      return;
    }
  }
}

void expect_outcome(const SheetOutcome& actual, const SheetOutcome& expected) {
  expect_lines("box text of pass", actual.passes, expected.passes);
  EXPECT_EQ(actual.stopped, expected.stopped) << "plausibility stop";
  expect_lines("pane", actual.pane, expected.pane);
  expect_lines("file", actual.file, expected.file);
  expect_lines("echo", actual.echo, expected.echo);
}

// What the sheet shows when Calculate runs on the case's inputs.
SheetOutcome sheet_outcome(const SheetCase& c) {
  const sheet::Module& module = modules::testing::sheet_module(c.sheet);
  const sheet::SheetInputs in = sheet_inputs(c);
  // Every case is one a user can calculate: the checks of Calculate let it through.
  const auto failed = module.check(in);
  EXPECT_FALSE(failed.has_value()) << (failed ? failed->message : "");
  modules::testing::RecordingSink sink;
  const sheet::CalculationOutcome run = module.calculate(in, sink);
  SheetOutcome out;
  for (double tc : sink.started) out.passes.push_back(sheet::box_text_single(tc));
  out.stopped = run.stop.has_value();
  out.pane = run.report.pane;
  out.file = run.report.file;
  out.echo = run.report.echo;
  if (!out.stopped && !sink.finished.empty()) {
    // The report left in the pane is the last pass's.
    EXPECT_EQ(sink.finished.back(), out.pane);
  }
  return out;
}

TEST(GoldenTable, ReadsAndHoldsBothReportsAndStopsForEverySheet) {
  ASSERT_FALSE(table().empty());
  for (int sheet = 1; sheet <= 5; ++sheet) {
    bool report = false;
    bool stop = false;
    for (const auto& e : table()) {
      if (e.input.sheet != sheet) continue;
      (e.expected.stopped ? stop : report) = true;
      if (!e.expected.stopped) {
        EXPECT_FALSE(e.expected.pane.empty()) << e.input.name;
        EXPECT_EQ(e.expected.echo.empty(), false) << e.input.name;
      }
    }
    EXPECT_TRUE(report) << "sheet " << sheet << " has no case that reports";
    // Within its ranges the admixed sheet has nothing that stops (its chloride is always
    // positive and its rate never zero).
    if (sheet != 5) {
      EXPECT_TRUE(stop) << "sheet " << sheet << " has no stop case";
    }
  }
}

class SheetAgainstTable : public ::testing::TestWithParam<int> {};

TEST_P(SheetAgainstTable, ReportsMatchByteForByte) {
  for (const auto& e : table()) {
    if (e.input.sheet != GetParam()) continue;
    SCOPED_TRACE(e.input.name);
    expect_outcome(sheet_outcome(e.input), e.expected);
  }
}

std::string sheet_name(const ::testing::TestParamInfo<int>& info) {
  const char* names[] = {"",       "Carbonation", "ChlorideConstant", "ChlorideVariable",
                         "Marine", "Admixed"};
  return names[info.param];
}
INSTANTIATE_TEST_SUITE_P(Sheets, SheetAgainstTable, ::testing::Values(1, 2, 3, 4, 5), sheet_name);

// The table is only as good as the reference that wrote it: the reference must still give
// the same reports. The sheets without the fine error function are cheap and run in full;
// of the two that use it, every seventh case that settles within a few passes.
TEST(GoldenTable, ReferenceStillReproducesItsTable) {
  int fine = 0;
  for (const auto& e : table()) {
    const bool expensive = e.input.sheet == 2 || e.input.sheet == 3;
    if (expensive && (fine++ % 7 != 0 || e.expected.passes.size() > 20)) continue;
    SCOPED_TRACE(e.input.name);
    expect_outcome(run_reference(e.input), e.expected);
  }
}

}  // namespace
}  // namespace pellucor::reference
