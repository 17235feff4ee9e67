// The short way of playing a member gives what the long way gives — done or not, the message
// with its title and control, the model's numbers — on random members of all five sheets:
// values in and out of range, zeros, empty and unreadable texts, every option and steel kind,
// boxes that empty and disable others, members that stop at a check or in the model.
#include "analysis/batch/quick_case.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "analysis/batch/result_columns.hpp"
#include "analysis/timeline.hpp"
#include "modules/registry.hpp"
#include "sheet/number_form.hpp"

namespace pellucor::analysis::batch {
namespace {

using sheet::Control;

// A random member: a text for each input, as a member table's cells would type it.
std::vector<Entry> random_member(const sheet::SheetTable& table, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<Entry> entries;
  auto number = [&](double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, u(rng) < 0.5 ? "%.2f" : "%.4g", v);
    return std::string(buf);
  };
  for (const auto& f : table.fields) {
    const double x = u(rng);
    std::string text;
    const bool ranged = f.hi > f.lo;
    if (x < 0.03) {
      text = "";
    } else if (x < 0.05) {
      text = "0";
    } else if (x < 0.06) {
      text = "abc";
    } else if (!ranged) {
      text = u(rng) < 0.7 ? "" : number(0.05 + 50 * u(rng));
    } else if (x < 0.09) {
      text = number(u(rng) < 0.5 ? f.lo * (0.5 + 0.49 * u(rng)) : f.hi * (1.01 + u(rng)));
    } else {
      text = number(f.lo + (f.hi - f.lo) * u(rng));
    }
    entries.push_back({f.control, text});
  }
  for (const auto& g : table.groups) {
    const double x = u(rng);
    if (x < 0.4) entries.push_back({g.options[x < 0.2 ? 0 : 1].control, "1"});
  }
  const double s = u(rng);
  if (s < 0.9) {
    entries.push_back(
        {Control::Combo1,
         std::string(
             sheet::kSteelItems[static_cast<std::size_t>(s * 3.3) % sheet::kSteelItems.size()])});
  } else if (s < 0.95) {
    entries.push_back({Control::Combo1, "4"});
  }
  std::shuffle(entries.begin(), entries.end(), rng);  // the order of a table's columns
  return entries;
}

TEST(QuickCase, GivesWhatPlayingTheSheetGivesOnRandomMembers) {
  std::mt19937_64 rng(20261210);
  std::size_t quickDone = 0, messages = 0, stops = 0;
  for (int sheet = 1; sheet <= 5; ++sheet) {
    const sheet::Module& module = *modules::find_module(std::to_string(sheet));
    for (int i = 0; i < 1500; ++i) {
      const auto entries = random_member(module.table(), rng);
      const CaseResult slow = run_case(module, entries);
      const CaseResult quick = run_case_quickly(module, entries);
      SCOPED_TRACE("sheet " + std::to_string(sheet) + " member " + std::to_string(i));
      ASSERT_EQ(quick.done, slow.done) << (slow.message ? slow.message->text : "");
      ASSERT_EQ(quick.message.has_value(), slow.message.has_value());
      if (slow.message) {
        EXPECT_EQ(quick.message->text, slow.message->text);
        EXPECT_EQ(quick.message->title, slow.message->title);
        EXPECT_EQ(quick.message->control, slow.message->control);
        ++messages;
        stops += slow.message->text == sheet::kPlausibility;
        continue;
      }
      const auto a = timeline(slow.run);
      const auto b = timeline(quick.run);
      ASSERT_TRUE(a && b);
      EXPECT_EQ(b->ti, a->ti);
      EXPECT_EQ(b->lambda0, a->lambda0);
      EXPECT_EQ(b->prop.tc, a->prop.tc);
      EXPECT_EQ(b->prop.td, a->prop.td);
      EXPECT_EQ(b->prop.w, a->prop.w);
      // The short way keeps what a member table reads of the record: the results and the
      // inspection age, as the sheet made them and in its order.
      std::vector<const sheet::ResultItem*> read;
      for (const auto& item : slow.record.items) {
        if (item.kind == sheet::ItemKind::Result || item.key() == "age") read.push_back(&item);
      }
      ASSERT_EQ(quick.record.items.size(), read.size());
      for (std::size_t k = 0; k < read.size(); ++k) {
        EXPECT_EQ(quick.record.items[k].key(), read[k]->key());
        EXPECT_EQ(quick.record.items[k].kind, read[k]->kind);
        EXPECT_EQ(quick.record.items[k].value, read[k]->value);
        EXPECT_EQ(quick.record.items[k].text, read[k]->text);
      }
      EXPECT_EQ(result_cells(quick), result_cells(slow));
      ++quickDone;
    }
  }
  // The sweep reaches every way out.
  EXPECT_GT(quickDone, 1000u);
  EXPECT_GT(messages, 1000u);
  EXPECT_GT(stops, 10u);
}

}  // namespace
}  // namespace pellucor::analysis::batch
