// The timeline read from a model run carries the numbers the sheet's report prints.
#include "analysis/timeline.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../modules/module_test_support.hpp"

namespace pellucor::analysis {
namespace {

using namespace pellucor::modules::testing;

struct Example {
  int sheet;
  sheet::SheetInputs (*inputs)();
};

bool printed(const std::vector<std::string>& lines, double value) {
  const std::string form = sheet::number_single(value);
  for (const auto& l : lines) {
    if (l.find(form) != std::string::npos) return true;
  }
  return false;
}

TEST(Timeline, CarriesTheReportedValuesOfEveryWorkedExample) {
  const Example examples[] = {{1, carbonation_example},
                              {2, chloride_constant_example},
                              {3, chloride_variable_example},
                              {4, marine_example},
                              {5, admixed_example}};
  for (const auto& e : examples) {
    SCOPED_TRACE(e.sheet);
    RecordingSink sink;
    const auto outcome = sheet_module(e.sheet).calculate(e.inputs(), sink);
    ASSERT_FALSE(outcome.stop);
    const auto tl = timeline(outcome.run);
    ASSERT_TRUE(tl.has_value());
    const auto& lines = outcome.report.pane;
    EXPECT_TRUE(printed(lines, tl->lambda0));
    EXPECT_TRUE(printed(lines, tl->prop.tc));
    // The carbonation report prints the span from cracking to the end of durability instead
    // of the end-of-durability age.
    EXPECT_TRUE(printed(lines, e.sheet == 1 ? tl->prop.dtd : tl->prop.td));
    EXPECT_TRUE(printed(lines, tl->prop.dt));
    if (e.sheet == 5) {
      EXPECT_EQ(tl->ti, 0.0);
    } else {
      EXPECT_TRUE(printed(lines, tl->ti));
    }
    EXPECT_EQ(tl->t, e.inputs().box(6));
    EXPECT_EQ(tl->in.c, e.inputs().box(5));
    EXPECT_EQ(tl->kind, model::steel_kind_of(e.inputs().steelKind));
  }
}

TEST(Timeline, NoneForAnEmptyOrStoppedRun) {
  EXPECT_FALSE(timeline(model::ModelRun{}).has_value());
  model::CarbonationRun stopped;
  stopped.out.stop = model::StopReason::ZeroRate;
  EXPECT_FALSE(timeline(model::ModelRun{stopped}).has_value());
}

}  // namespace
}  // namespace pellucor::analysis
