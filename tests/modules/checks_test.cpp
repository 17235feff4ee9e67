// The checks of Calculate: the not-entered order with its focus targets, the conditional
// checks of the coefficient sheets and the consistency of the concentrations.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "module_test_support.hpp"

namespace pellucor::modules {
namespace {

using sheet::CheckFailure;
using sheet::Control;
using sheet::SheetInputs;
using testing::inputs;
using testing::sheet_module;

// Carbonation with a measured depth and no CO2 coefficient.
SheetInputs carbonation_measured() {
  return inputs({{1, 2.0}, {2, 15}, {3, 0.7}, {4, 30}, {5, 30}, {6, 20}, {7, 10}, {9, 20}}, 1,
                {1, 4});
}

struct Walk {
  int sheet;
  SheetInputs complete;
  std::vector<Control> order;
};

std::vector<Control> boxes(std::initializer_list<int> numbers) {
  std::vector<Control> out;
  for (int n : numbers) out.push_back(sheet::text_box(n));
  return out;
}

std::vector<Walk> walks() {
  auto with_combo = [](std::vector<Control> v) {
    v.push_back(Control::Combo1);
    return v;
  };
  return {
      {1, carbonation_measured(), with_combo(boxes({1, 2, 3, 4, 5, 6, 7, 9}))},
      {2, testing::chloride_constant_example(),
       with_combo(boxes({1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 14}))},
      {3, testing::chloride_variable_example(),
       with_combo(boxes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}))},
      {4, testing::marine_example(),
       with_combo(boxes({1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 14, 15, 16, 17, 18}))},
      {5, testing::admixed_example(), with_combo(boxes({1, 2, 3, 4, 5, 6, 7, 8, 9}))},
  };
}

// Starting from an empty sheet, fill in whatever the last check asked for, as a user would,
// until Calculate would start.
TEST(NotEnteredChecks, FillingTheSheetWalksTheOrderWithTheRightFocusAndMessages) {
  for (const auto& walk : walks()) {
    SCOPED_TRACE(walk.sheet);
    const auto& module = sheet_module(walk.sheet);
    SheetInputs in;
    in.selected = walk.complete.selected;
    std::vector<Control> visited;
    std::set<std::string_view> messages;
    for (int step = 0; step < 30; ++step) {
      const auto failure = module.check(in);
      if (!failure) break;
      ASSERT_NE(failure->focus, Control::None) << failure->message;
      visited.push_back(failure->focus);
      EXPECT_TRUE(failure->message.starts_with("您未")) << failure->message;
      EXPECT_TRUE(messages.insert(failure->message).second)
          << "message repeated: " << failure->message;
      if (failure->focus == Control::Combo1) {
        EXPECT_EQ(failure->message, sheet::kSteelKindNotEntered);
        in.steelKind = walk.complete.steelKind;
        in.steelText = walk.complete.steelText;
        in.steelName = walk.complete.steelName;
      } else {
        const int n = sheet::text_box_number(failure->focus);
        ASSERT_NE(walk.complete.box(n), 0) << "the walk would not end at Text" << n;
        in.value[static_cast<std::size_t>(n)] = walk.complete.box(n);
      }
    }
    EXPECT_EQ(visited, walk.order);
    EXPECT_FALSE(module.check(walk.complete).has_value());
  }
}

TEST(NotEnteredChecks, AnEmptySheetFailsAtTheEnvironmentCoefficient) {
  for (int number = 1; number <= 5; ++number) {
    const auto failure = sheet_module(number).check(SheetInputs{});
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->message, "您未输入局部环境系数，请输入 1.0--5.5 间的数!");
    EXPECT_EQ(failure->focus, Control::Text1);
  }
}

// Only a value of exactly zero counts as not entered; ranges are not tested again.
TEST(NotEnteredChecks, ValuesOutsideTheirRangeAreNotCaughtAtCalculate) {
  const std::vector<SheetInputs> examples = {
      carbonation_measured(), testing::chloride_constant_example(),
      testing::chloride_variable_example(), testing::marine_example(), testing::admixed_example()};
  for (std::size_t i = 0; i < examples.size(); ++i) {
    SheetInputs in = examples[i];
    in.value[1] = -1;
    in.value[2] = 1e-9;
    EXPECT_FALSE(sheet_module(static_cast<int>(i) + 1).check(in).has_value()) << i + 1;
  }
}

TEST(CarbonationChecks, EitherTheMeasuredDepthOrTheCo2CoefficientIsEnough) {
  struct Case {
    double depth;
    double co2;
    bool passes;
  };
  const auto& module = sheet_module(1);
  for (const Case& c :
       {Case{0, 0, false}, Case{12, 0, true}, Case{0, 2.0, true}, Case{12, 2.0, true}}) {
    SheetInputs in = carbonation_measured();
    in.value[7] = c.depth;
    in.value[8] = c.co2;
    const auto failure = module.check(in);
    EXPECT_EQ(!failure.has_value(), c.passes) << c.depth << " " << c.co2;
    if (failure) {
      EXPECT_EQ(failure->message, "您未输入实测碳化深度或二氧化碳系数，请输入数据!");
      EXPECT_EQ(failure->focus, Control::Text7);
    }
  }
  // The pair comes after the inspection age and before the diameter.
  SheetInputs in = carbonation_measured();
  in.value[7] = 0;
  in.value[9] = 0;
  EXPECT_EQ(module.check(in)->focus, Control::Text7);
  in.value[6] = 0;
  EXPECT_EQ(module.check(in)->focus, Control::Text6);
}

// The checks that depend on whether a diffusion coefficient is typed and on the source
// chosen, the same on the constant-coefficient and the marine sheet.
struct DerivationCase {
  std::string name;
  double D, x, Cx, wc;
  int option;                      // 1: from the measured profile, 2: from the water-cement ratio
  std::vector<testing::Box> more;  // further changes to the example
  Control focus;                   // None: the checks pass
  std::string_view message;
};

class DerivationChecks : public ::testing::TestWithParam<int> {};

TEST_P(DerivationChecks, DependOnTheTypedCoefficientAndTheChosenSource) {
  const std::string_view noD = "您未输入氯离子扩散系数，请输入 0.2--8.0 间的数!";
  const std::string_view noDepth = "您未输入距混凝土表面的深度，请输入 10--80 间的数!";
  const std::string_view noCx =
      "您未输入距混凝土表面深度YC处的氯离子浓度-实测氯浓度，请输入 1.0--13.0 间的数!";
  const std::string_view noWc = "您未输入水灰比，请输入 0.35--0.7 间的数!";
  const std::vector<DerivationCase> cases = {
      {"typed coefficient needs no derivation data", 1.5, 0, 0, 0, 1, {}, Control::None, {}},
      {"typed coefficient, other source", 1.5, 0, 0, 0, 2, {}, Control::None, {}},
      {"nothing to take or derive it from", 0, 0, 0, 0, 1, {}, Control::Text7, noD},
      {"profile source without depth", 0, 0, 0, 0.5, 1, {}, Control::Text10, noDepth},
      {"profile source without concentration", 0, 30, 0, 0, 1, {}, Control::Text11, noCx},
      {"profile source complete", 0, 30, 2, 0, 1, {}, Control::None, {}},
      {"ratio source without ratio", 0, 30, 2, 0, 2, {}, Control::Text12, noWc},
      {"ratio source complete", 0, 0, 0, 0.5, 2, {}, Control::None, {}},
      {"critical concentration is checked first", 0, 0, 0, 0.5, 1, {{9, 0}}, Control::Text9, {}},
      {"assumed cracking time is checked after",
       0,
       0,
       0,
       0.5,
       1,
       {{13, 0}},
       Control::Text10,
       noDepth},
  };
  const auto& module = sheet_module(GetParam());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SheetInputs in =
        GetParam() == 2 ? testing::chloride_constant_example() : testing::marine_example();
    in.value[7] = c.D;
    in.value[10] = c.x;
    in.value[11] = c.Cx;
    in.value[12] = c.wc;
    in.selected = {};
    in.selected[static_cast<std::size_t>(c.option)] = true;
    for (const auto& b : c.more) in.value[static_cast<std::size_t>(b.n)] = b.value;
    const auto failure = module.check(in);
    if (c.focus == Control::None) {
      EXPECT_FALSE(failure.has_value()) << failure->message;
      continue;
    }
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->focus, c.focus);
    if (!c.message.empty()) {
      EXPECT_EQ(failure->message, c.message);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CoefficientSheets, DerivationChecks, ::testing::Values(2, 4));

// A measured or critical concentration not below the surface concentration stops the
// calculation with the plausibility message, without moving the focus.
TEST(ConsistencyCheck, ConcentrationsMustStayBelowTheSurfaceConcentration) {
  struct Case {
    double Cs, Ccr, Cx;
    bool plausible;
  };
  const std::vector<Case> cases = {
      {5, 1.4, 2, true},    {5, 1.4, 5, false},   {5, 1.4, 6, false},
      {1.4, 1.4, 1, false}, {1.3, 1.4, 1, false}, {1.41, 1.4, 1.409, true},
  };
  for (int number : {2, 3, 4}) {
    SCOPED_TRACE(number);
    const auto& module = sheet_module(number);
    for (const auto& c : cases) {
      SheetInputs in = number == 2   ? testing::chloride_constant_example()
                       : number == 3 ? testing::chloride_variable_example()
                                     : testing::marine_example();
      in.value[8] = c.Cs;
      in.value[9] = c.Ccr;
      in.value[11] = c.Cx;
      const auto failure = module.check(in);
      if (c.plausible) {
        EXPECT_FALSE(failure.has_value()) << c.Cs << " " << c.Ccr << " " << c.Cx;
        continue;
      }
      ASSERT_TRUE(failure.has_value()) << c.Cs << " " << c.Ccr << " " << c.Cx;
      EXPECT_EQ(failure->message, sheet::kPlausibility);
      EXPECT_EQ(failure->focus, Control::None);
      // The not-entered checks come first.
      in.steelKind = 0;
      EXPECT_EQ(module.check(in)->focus, Control::Combo1);
    }
  }
}

}  // namespace
}  // namespace pellucor::modules
