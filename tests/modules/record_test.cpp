// The record of a calculation: every input as read, the inputs as the model used them, the
// whole time course under the same keys on every sheet, and names and units that agree with
// the texts the sheet prints.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "module_test_support.hpp"

namespace pellucor::modules::testing {
namespace {

using sheet::ItemKind;
using sheet::ResultRecord;
using sheet::SheetInputs;

struct Case {
  int sheet;
  SheetInputs inputs;
};

// The worked examples with each steel kind, and input sets drawn inside every box's range
// (those that run to their end).
std::vector<Case> completed_cases() {
  SheetInputs (*const examples[])() = {carbonation_example, chloride_constant_example,
                                       chloride_variable_example, marine_example, admixed_example};
  std::vector<Case> out;
  for (int sheet = 1; sheet <= 5; ++sheet) {
    for (int kind = 1; kind <= 3; ++kind) {
      out.push_back({sheet, with_steel(examples[sheet - 1](), kind)});
    }
  }
  std::mt19937 rng(7);
  for (int sheet = 1; sheet <= 5; ++sheet) {
    const sheet::Module& m = sheet_module(sheet);
    for (int i = 0; i < 60; ++i) {
      SheetInputs in = examples[sheet - 1]();
      for (const auto& f : m.table().fields) {
        const int n = sheet::text_box_number(f.control);
        // Boxes without a range keep the example's value; a typed coefficient is sometimes
        // left to be derived.
        if (f.hi > f.lo && in.box(n) != 0) {
          in.value[static_cast<std::size_t>(n)] =
              std::uniform_real_distribution<double>(f.lo, f.hi)(rng);
        }
      }
      if (sheet == 2 || sheet == 4) {
        if (rng() % 2 == 0) in.value[7] = 0;
        in.selected[1] = rng() % 2 == 0;
        in.selected[2] = !in.selected[1];
      }
      in = with_steel(in, static_cast<int>(rng() % 3) + 1);
      if (m.check(in)) continue;
      RecordingSink sink;
      if (m.calculate(in, sink).stop) continue;
      out.push_back({sheet, in});
    }
  }
  return out;
}

// The time course the model handed on and returned.
struct TimeCourse {
  model::PropagationInput in;
  model::Propagation prop;
};
TimeCourse time_course(const model::ModelRun& run) {
  return std::visit(
      [](const auto& r) -> TimeCourse {
        if constexpr (std::is_same_v<std::decay_t<decltype(r)>, std::monostate>) {
          ADD_FAILURE() << "no model run";
          return {};
        } else {
          return {r.out.propIn, r.out.prop};
        }
      },
      run);
}

TEST(Record, HoldsEveryInputAsReadAndTheWholeTimeCourse) {
  const auto cases = completed_cases();
  std::set<int> sheets;
  for (const auto& c : cases) sheets.insert(c.sheet);
  ASSERT_EQ(sheets.size(), 5U);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sheet);
    const sheet::Module& m = sheet_module(c.sheet);
    RecordingSink sink;
    const auto out = m.calculate(c.inputs, sink);
    ASSERT_FALSE(out.stop);
    const ResultRecord& r = out.record;

    std::set<std::string_view> keys;
    for (const auto& item : r.items) {
      EXPECT_TRUE(keys.insert(item.key()).second) << "twice: " << item.key();
      EXPECT_FALSE(item.name().empty()) << item.key();
      EXPECT_TRUE(item.value || !item.text.empty()) << item.key();
    }
    // Every box as typed, under its console alias; the steel kind with its name.
    for (const auto& f : m.table().fields) {
      const sheet::ResultItem* item = r.find(f.alias);
      ASSERT_NE(item, nullptr) << f.alias;
      EXPECT_EQ(item->kind, ItemKind::Input);
      EXPECT_EQ(item->value, c.inputs.box(sheet::text_box_number(f.control))) << f.alias;
    }
    const sheet::ResultItem* steel = r.find("steel");
    ASSERT_NE(steel, nullptr);
    EXPECT_EQ(steel->value, c.inputs.steelKind);
    EXPECT_EQ(steel->text, c.inputs.steelName);

    // The results in the order the sheet's table gives, printed or not.
    std::vector<const sheet::ItemText*> results;
    for (const auto& item : r.items) {
      if (item.kind == ItemKind::Result) results.push_back(item.form);
    }
    EXPECT_EQ(results, m.table().results);

    // The whole time course on every sheet, bit for bit the model's.
    const TimeCourse tc = time_course(out.run);
    const std::pair<const char*, double> course[] = {
        {"ti", tc.in.ti},   {"lambda0", tc.in.lambda0}, {"dcr", tc.prop.dcr},
        {"tp", tc.prop.tp}, {"tc", tc.prop.tc},         {"lambda1", tc.prop.lambda1},
        {"dd", tc.prop.dd}, {"dtd", tc.prop.dtd},       {"td", tc.prop.td},
        {"dt", tc.prop.dt},
    };
    for (const auto& [key, value] : course) EXPECT_EQ(r.value(key), value) << key;
    EXPECT_EQ(r.value("w"), tc.prop.w);
    if (!tc.prop.w) {
      EXPECT_EQ(r.find("w")->text, sheet::kNoCrackWidth);
    }
  }
}

// Tables and column headers show an item's name and unit instead of its printed label: they
// must say what the printed texts say.
TEST(Record, NamesAndUnitsAreThoseOfThePrintedTexts) {
  for (const auto& c : completed_cases()) {
    if (c.inputs.steelKind == 1) continue;  // the examples with kinds 2 and 3 cover the texts
    SCOPED_TRACE(c.sheet);
    RecordingSink sink;
    const auto out = sheet_module(c.sheet).calculate(c.inputs, sink);
    for (const auto& item : out.record.items) {
      if (!item.printed()) continue;
      const std::string_view label = item.label();
      const std::string unit(item.unit());
      EXPECT_NE(label.find(item.name()), std::string_view::npos) << label;
      if (item.kind == ItemKind::Result) {
        auto trimmed = [](std::string_view s) {
          while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
          return std::string(s);
        };
        EXPECT_EQ(trimmed(item.form->after), unit) << label;
        if (item.form->fileAfter) {
          EXPECT_EQ(trimmed(*item.form->fileAfter), unit) << label;
        }
      } else if (unit.empty()) {
        EXPECT_EQ(label.find("单位为"), std::string_view::npos) << label;
      } else {
        EXPECT_NE(label.find("单位为" + unit), std::string_view::npos) << label;
      }
    }
  }
}

// "Are these the same inputs?" is answered from the inputs as read, not from the echo: on the
// carbonation sheet the echo writes the humidity capped at 0.8, which the carbonation
// coefficient does not use.
TEST(Record, InputDifferencesNameTheInputsThatDiffer) {
  struct Change {
    const char* what;
    int sheet;
    SheetInputs (*example)();
    void (*change)(SheetInputs&);
    std::vector<std::string> keys;
  };
  const Change changes[] = {
      {"nothing", 4, marine_example, [](SheetInputs&) {}, {}},
      {"humidity above the cap",
       1,
       carbonation_example,
       [](SheetInputs& in) { in.value[3] = 0.9; },
       {"humidity"}},
      {"steel kind",
       2,
       chloride_constant_example,
       [](SheetInputs& in) { in = with_steel(in, 3); },
       {"steel"}},
      {"working condition",
       1,
       carbonation_example,
       [](SheetInputs& in) {
         in.selected[3] = true;
         in.selected[4] = false;
       },
       {"condition"}},
      {"a box the echo writes through metres, and the assumed cracking time",
       3,
       chloride_variable_example,
       [](SheetInputs& in) {
         in.value[5] = 31;
         in.value[12] = 25;
       },
       {"cover", "cracking-time"}},
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.what);
    SheetInputs base = c.example();
    if (c.sheet == 1) base.value[3] = 0.85;
    SheetInputs changed = base;
    c.change(changed);
    RecordingSink sink;
    const auto a = sheet_module(c.sheet).calculate(base, sink);
    const auto b = sheet_module(c.sheet).calculate(changed, sink);
    ASSERT_FALSE(a.stop || b.stop);
    std::vector<std::string> keys;
    for (const auto& [x, y] : sheet::input_differences(a.record, b.record)) {
      ASSERT_TRUE(x && y);
      keys.emplace_back(x->key());
    }
    EXPECT_EQ(keys, c.keys);
    EXPECT_EQ(sheet::same_inputs(a.record, b.record), c.keys.empty());
  }
  // The case the echo could not tell apart.
  SheetInputs low = carbonation_example();
  low.value[3] = 0.85;
  SheetInputs high = low;
  high.value[3] = 0.9;
  RecordingSink sink;
  EXPECT_EQ(sheet_module(1).calculate(low, sink).report.echo,
            sheet_module(1).calculate(high, sink).report.echo);
}

}  // namespace
}  // namespace pellucor::modules::testing
