// The case runner plays a member exactly as the sheet does and stops at its first message.
#include "analysis/batch/case_runner.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../../modules/module_test_support.hpp"
#include "analysis/batch/result_columns.hpp"
#include "sheet/number_form.hpp"

namespace pellucor::analysis::batch {
namespace {

using namespace pellucor::modules::testing;
using sheet::Control;

// The texts a user types for the inputs of a worked example.
std::vector<Entry> entries_of(const sheet::SheetTable& table, const sheet::SheetInputs& in) {
  std::vector<Entry> out;
  for (const auto& f : table.fields) {
    const double v = in.box(sheet::text_box_number(f.control));
    if (v != 0) out.push_back({f.control, sheet::general_digits(v, 15)});
  }
  for (const auto& g : table.groups) {
    for (const auto& o : g.options) {
      if (in.option(sheet::option_number(o.control))) out.push_back({o.control, "1"});
    }
  }
  if (!in.steelText.empty()) out.push_back({Control::Combo1, in.steelText});
  return out;
}

struct Example {
  int sheet;
  sheet::SheetInputs (*inputs)();
};
const Example kExamples[] = {{1, carbonation_example},
                             {2, chloride_constant_example},
                             {3, chloride_variable_example},
                             {4, marine_example},
                             {5, admixed_example}};

TEST(CaseRunner, PlaysEveryWorkedExampleToTheModelsOwnReport) {
  for (const auto& e : kExamples) {
    SCOPED_TRACE(e.sheet);
    const sheet::Module& m = sheet_module(e.sheet);
    RecordingSink sink;
    const auto direct = m.calculate(e.inputs(), sink);
    ASSERT_FALSE(direct.stop);
    // Entries given in reverse: the runner types them in tab order all the same.
    auto entries = entries_of(m.table(), e.inputs());
    std::reverse(entries.begin(), entries.end());
    const CaseResult r = run_case(m, entries);
    ASSERT_TRUE(r.done) << (r.message ? r.message->text : std::string());
    EXPECT_FALSE(r.message);
    // The runner formats no report; its record gives the sheet's own, line for line.
    const sheet::Report report = sheet::format_report(r.record);
    EXPECT_EQ(report.pane, direct.report.pane);
    EXPECT_EQ(report.file, direct.report.file);
    EXPECT_EQ(report.echo, direct.report.echo);
    EXPECT_FALSE(std::holds_alternative<std::monostate>(r.run));
  }
}

// The result columns are the report's values in order, each under its own label and unit
// (t_d under its one name, whatever the sheet's label), then t_d where the report prints none,
// and the remaining life.
TEST(ResultColumns, FollowTheReportLinesOfEverySheet) {
  for (const auto& e : kExamples) {
    SCOPED_TRACE(e.sheet);
    const sheet::Module& m = sheet_module(e.sheet);
    const CaseResult r = run_case(m, entries_of(m.table(), e.inputs()));
    ASSERT_TRUE(r.done);
    const auto& headers = result_headers(e.sheet);
    const auto cells = result_cells(r);
    const auto lines = sheet::result_lines(r.record);
    const std::string end = "耐久性终结时间 t_d (a)";
    EXPECT_EQ(std::count(headers.begin(), headers.end(), end), 1);
    EXPECT_EQ(headers.back(), "剩余寿命 t_d-t (a)");
    for (const std::string& h : headers) EXPECT_EQ(h.find("使用年限"), std::string::npos) << h;
    const bool printsEnd = r.record.find("td")->printed();
    ASSERT_EQ(headers.size(), lines.size() + (printsEnd ? 1 : 2));
    ASSERT_EQ(cells.size(), headers.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      if (headers[i] == end) {
        // The sheet's own label on the line; its figure is the cell.
        EXPECT_NE(line.find(cells[i]), std::string::npos) << line;
        continue;
      }
      const std::string label = headers[i].substr(0, headers[i].find(" ("));
      EXPECT_TRUE(line.starts_with(label + ":")) << line << " / " << headers[i];
      // The line carries the cell's digits after its label, then the unit of the header.
      EXPECT_EQ(line.find(cells[i], label.size() + 1),
                line.find_first_not_of(' ', label.size() + 1))
          << line;
      const auto open = headers[i].find(" (");
      if (open != std::string::npos) {
        const std::string unit = headers[i].substr(open + 2, headers[i].size() - open - 3);
        EXPECT_TRUE(line.ends_with(" " + unit)) << line << " / " << unit;
      }
    }
  }
}

TEST(ResultColumns, RemainingLifeIsTheEndOfDurabilityLessTheInspectionAge) {
  const sheet::Module& m = sheet_module(4);
  const CaseResult r = run_case(m, entries_of(m.table(), marine_example()));
  ASSERT_TRUE(r.done);
  const auto cells = result_cells(r);
  const auto& headers = result_headers(4);
  ASSERT_EQ(cells.size(), headers.size());
  // The marine report prints t_d as its service life (使用年限), inspected at 20 a: the column
  // under the one name holds it, once, and the last the remaining life.
  const auto end = std::find(headers.begin(), headers.end(), "耐久性终结时间 t_d (a)");
  ASSERT_NE(end, headers.end());
  EXPECT_EQ(end - headers.begin(), 8);
  EXPECT_EQ(cells[8], "29.86751");
  EXPECT_EQ(std::count(cells.begin(), cells.end(), "29.86751"), 1);
  EXPECT_EQ(headers.back(), "剩余寿命 t_d-t (a)");
  EXPECT_EQ(cells.back(), "9.867508");
}

// A cell holds what the report prints: a negative value with its sign, the text printed in
// place of the crack width of wall reinforcement.
TEST(ResultColumns, KeepTheSignsAndTheTextsInPlaceOfValues) {
  struct Case {
    int sheet;
    sheet::SheetInputs inputs;
    std::size_t cell;
    std::string text;
  };
  const Case cases[] = {
      {1, carbonation_example(), 9, "-1.097196"},  // the crack width formula below zero
      {2, with_steel(chloride_constant_example(), 3), 10, "不计算（墙板配筋）"},
      {5, with_steel(admixed_example(), 3), 7, "不计算（墙板配筋）"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sheet);
    const sheet::Module& m = sheet_module(c.sheet);
    const CaseResult r = run_case(m, entries_of(m.table(), c.inputs));
    ASSERT_TRUE(r.done);
    const auto cells = result_cells(r);
    ASSERT_GT(cells.size(), c.cell);
    EXPECT_EQ(cells[c.cell], c.text);
  }
}

struct StopCase {
  const char* name;
  int sheet;
  std::vector<Entry> change;  // typed after the worked example's entries
  std::vector<Control> drop;  // boxes of the example left empty
  std::string text;
  std::string title;
  Control control;
};

TEST(CaseRunner, StopsAtTheFirstMessageAndNamesItsControl) {
  const StopCase cases[] = {
      {"range check when the box is left",
       4,
       {{Control::Text5, "400"}},
       {},
       "您输入的保护层厚度不在有效范围！请输入 3--90 间的数!",
       "有效性验证",
       Control::Text5},
      {"the first of two bad boxes wins, in tab order",
       4,
       {{Control::Text14, "2"}, {Control::Text5, "400"}},
       {},
       "您输入的保护层厚度不在有效范围！请输入 3--90 间的数!",
       "有效性验证",
       Control::Text5},
      {"an empty cell keeps the default, found at Calculate",
       4,
       {},
       {Control::Text5},
       "您未输入保护层厚度，请输入 3--90 间的数!",
       "输入验证",
       Control::Text5},
      {"no steel kind",
       4,
       {},
       {Control::Combo1},
       std::string(sheet::kSteelKindNotEntered),
       "输入验证",
       Control::Combo1},
      {"the consistency stop names no control",
       2,
       {{Control::Text8, "1.2"}},
       {},
       "请您检查输入数据的合理性!",
       "输入验证",
       Control::None},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const sheet::Module& m = sheet_module(c.sheet);
    const auto example = c.sheet == 4 ? marine_example() : chloride_constant_example();
    std::vector<Entry> entries;
    for (const Entry& e : entries_of(m.table(), example)) {
      if (std::find(c.drop.begin(), c.drop.end(), e.control) == c.drop.end()) entries.push_back(e);
    }
    entries.insert(entries.end(), c.change.begin(), c.change.end());
    const CaseResult r = run_case(m, entries);
    EXPECT_FALSE(r.done);
    ASSERT_TRUE(r.message);
    EXPECT_EQ(r.message->text, c.text);
    EXPECT_EQ(r.message->title, c.title);
    EXPECT_EQ(r.message->control, c.control);
    EXPECT_TRUE(r.record.empty());
  }
}

// A box the sheet has disabled cannot be typed into; the case goes on without it.
TEST(CaseRunner, SkipsDisabledBoxesAndTellsAboutThem) {
  const sheet::Module& m = sheet_module(4);
  MemoryView view(m.table());
  std::vector<Control> skipped;
  CaseRunner::Options options;
  options.skippedDisabled = [&](Control c) { skipped.push_back(c); };
  CaseRunner runner(m, view, options);
  auto entries = entries_of(m.table(), marine_example());
  entries.push_back({Control::Text10, "25"});  // the typed diffusion coefficient locks it
  runner.type(entries);
  EXPECT_EQ(skipped, std::vector<Control>{Control::Text10});
  EXPECT_TRUE(runner.calculate().done());
  EXPECT_FALSE(runner.firstMessage());
}

// Without stopping at the first message, the case goes on as a user who clicks OK would.
TEST(CaseRunner, GoesOnAfterAMessageWhenAskedTo) {
  const sheet::Module& m = sheet_module(4);
  MemoryView view(m.table());
  CaseRunner::Options options;
  options.stopAtFirstMessage = false;
  CaseRunner runner(m, view, options);
  auto entries = entries_of(m.table(), marine_example());
  entries.push_back({Control::Text5, "400"});
  runner.type(entries);
  EXPECT_FALSE(runner.stopped());
  EXPECT_EQ(view.messageCount(), 1);
  EXPECT_EQ(view.text(Control::Text5), "");  // emptied by the range check
  const auto outcome = runner.calculate();
  EXPECT_EQ(outcome.status, sheet::CalculateOutcome::Status::CheckFailed);
  EXPECT_EQ(outcome.control, Control::Text5);
  EXPECT_EQ(view.messageCount(), 2);
  ASSERT_TRUE(runner.firstMessage());
  EXPECT_EQ(runner.firstMessage()->title, "有效性验证");
}

TEST(ControlByName, TakesNamesAliasesAndLabels) {
  const auto& marine = sheet_module(4).table();
  const auto& carbonation = sheet_module(1).table();
  const std::tuple<const sheet::SheetTable*, std::string, Control> cases[] = {
      {&marine, "Text5", Control::Text5},
      {&marine, "text5", Control::Text5},
      {&marine, "cover", Control::Text5},
      {&marine, "COVER", Control::Text5},
      {&marine, "保护层厚度", Control::Text5},
      {&marine, "由水灰比推算", Control::Option2},
      {&marine, "from-profile", Control::Option1},
      {&marine, "钢筋种类", Control::Combo1},
      {&marine, "steel", Control::Combo1},
      {&marine, "Option3", Control::None},  // the marine sheet has two options
      {&marine, "Text19", Control::None},
      {&marine, "", Control::None},
      {&carbonation, "Option4", Control::Option4},
      {&carbonation, "co2", Control::Text8},
  };
  for (const auto& [table, name, control] : cases) {
    EXPECT_EQ(control_by_name(*table, name), control) << name;
  }
  EXPECT_NE(group_by_name(marine, "扩散系数来源"), nullptr);
  EXPECT_EQ(group_by_name(marine, "Frame2"), nullptr);
}

}  // namespace
}  // namespace pellucor::analysis::batch
