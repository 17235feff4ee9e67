// The sheet tables: registry, prompts, checks of the boxes, tab orders and layout.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "module_test_support.hpp"
#include "modules/admixed/admixed_sheet.hpp"
#include "modules/carbonation/carbonation_sheet.hpp"
#include "modules/chloride_constant/chloride_constant_sheet.hpp"
#include "modules/chloride_variable/chloride_variable_sheet.hpp"
#include "modules/marine/marine_sheet.hpp"
#include "sheet/control.hpp"

namespace pellucor::modules {
namespace {

using sheet::ChangeCheck;
using sheet::Control;
using sheet::LeaveCheck;
using sheet::Rect;
using testing::sheet_module;

TEST(Registry, ListsTheFiveSheetsInMenuOrderAndFindsThemByNumberOrName) {
  const std::vector<std::string_view> names = {"carbonation", "chloride-constant",
                                               "chloride-variable", "marine", "admixed"};
  const std::vector<std::string_view> forms = {"frm_main1", "frm_main2", "frm_main3", "frm_main4",
                                               "frm_main5"};
  const std::vector<std::string_view> menus = {"碳化(&A)", "渗氯盐_常系数(&B)", "渗氯盐_变系数(&C)",
                                               "渗氯盐_近海大气(&D)", "掺氯盐(&E)"};
  const auto& all = all_modules();
  ASSERT_EQ(all.size(), 5U);
  for (std::size_t i = 0; i < all.size(); ++i) {
    const auto& s = all[i]->table();
    EXPECT_EQ(s.number, static_cast<int>(i) + 1);
    EXPECT_EQ(s.cliName, names[i]);
    EXPECT_EQ(s.formName, forms[i]);
    EXPECT_EQ(s.menuCaption, menus[i]);
    EXPECT_FALSE(s.caption.empty());
    EXPECT_EQ(find_module(names[i]), all[i]);
    EXPECT_EQ(find_module(std::to_string(i + 1)), all[i]);
  }
  EXPECT_EQ(find_module("0"), nullptr);
  EXPECT_EQ(find_module("6"), nullptr);
  EXPECT_EQ(find_module("Carbonation"), nullptr);
  EXPECT_EQ(find_module(""), nullptr);
}

class EverySheet : public ::testing::TestWithParam<int> {
 protected:
  const sheet::SheetTable& table() const { return sheet_module(GetParam()).table(); }
};

TEST_P(EverySheet, EveryBoxOptionAndTheListPromptWithALeadingBlank) {
  for (const auto& f : table().fields) {
    ASSERT_FALSE(f.prompts.empty()) << sheet::control_name(f.control);
    for (auto p : f.prompts) EXPECT_TRUE(p.starts_with(" ")) << p;
    EXPECT_FALSE(f.label.empty());
    EXPECT_FALSE(f.meaning.empty());
  }
  for (const auto& g : table().groups) {
    EXPECT_FALSE(g.caption.empty());
    for (const auto& o : g.options) {
      EXPECT_TRUE(o.prompt.starts_with(" ")) << o.caption;
      EXPECT_FALSE(o.caption.empty());
    }
  }
  EXPECT_EQ(table().combo.label, "钢筋种类");
}

TEST_P(EverySheet, BoxesAreNumberedFromText1WithoutGaps) {
  const auto& fields = table().fields;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    EXPECT_EQ(fields[i].control, sheet::text_box(static_cast<int>(i) + 1));
    EXPECT_EQ(table().field(fields[i].control), &fields[i]);
  }
}

// The names the sheets give their boxes in code must be the boxes the console's aliases name
// (a name one box off would bind the wrong value to the model).
struct NamedBox {
  int sheet;
  int box;  // the enumerator's value
  std::string_view alias;
};

TEST(NamedBoxes, EveryNameIsTheBoxOfItsAlias) {
  using A = AdmixedSheet::Box;
  using C = CarbonationSheet::Box;
  using K = ChlorideConstantSheet::Box;
  using V = ChlorideVariableSheet::Box;
  using M = MarineSheet::Box;
  auto n = [](auto box) { return static_cast<int>(box); };
  const NamedBox cases[] = {
      {1, n(C::Environment), "environment"},
      {1, n(C::Age), "age"},
      {1, n(C::CarbonationDepth), "carbonation-depth"},
      {1, n(C::Co2), "co2"},
      {1, n(C::Diameter), "diameter"},
      {2, n(K::Cover), "cover"},
      {2, n(K::Diffusion), "diffusion"},
      {2, n(K::Surface), "surface"},
      {2, n(K::Critical), "critical"},
      {2, n(K::Depth), "depth"},
      {2, n(K::Measured), "measured"},
      {2, n(K::WaterCement), "water-cement"},
      {2, n(K::AssumedCracking), "cracking-time"},
      {2, n(K::Diameter), "diameter"},
      {3, n(V::Exponent), "exponent"},
      {3, n(V::Surface), "surface"},
      {3, n(V::Critical), "critical"},
      {3, n(V::Depth), "depth"},
      {3, n(V::Measured), "measured"},
      {3, n(V::AssumedCracking), "cracking-time"},
      {3, n(V::Diameter), "diameter"},
      {4, n(M::Humidity), "humidity"},
      {4, n(M::Diffusion), "diffusion"},
      {4, n(M::WaterCement), "water-cement"},
      {4, n(M::AssumedCracking), "cracking-time"},
      {4, n(M::Diameter), "diameter"},
      {4, n(M::Accumulation), "accumulation"},
      {4, n(M::StableTime), "stable-time"},
      {4, n(M::AssumedInitiation), "initiation-time"},
      {4, n(M::AssumedT2), "t2"},
      {5, n(A::Strength), "strength"},
      {5, n(A::AssumedCracking), "cracking-time"},
      {5, n(A::Chloride), "chloride"},
      {5, n(A::Diameter), "diameter"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "sheet " << c.sheet << ", " << c.alias);
    const sheet::FieldRow* f = sheet_module(c.sheet).table().field(sheet::text_box(c.box));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->alias, c.alias);
  }
  // The last name of each sheet is its last box.
  EXPECT_EQ(sheet_module(1).table().fields.size(), static_cast<std::size_t>(n(C::Diameter)));
  EXPECT_EQ(sheet_module(2).table().fields.size(), static_cast<std::size_t>(n(K::Diameter)));
  EXPECT_EQ(sheet_module(3).table().fields.size(), static_cast<std::size_t>(n(V::Diameter)));
  EXPECT_EQ(sheet_module(4).table().fields.size(), static_cast<std::size_t>(n(M::AssumedT2)));
  EXPECT_EQ(sheet_module(5).table().fields.size(), static_cast<std::size_t>(n(A::Diameter)));
}

TEST_P(EverySheet, RangeCheckedBoxesCarryTheirRangeAndMessageOthersNone) {
  for (const auto& f : table().fields) {
    const bool ranged = f.leave == LeaveCheck::Range || f.leave == LeaveCheck::ZeroBlankThenRange ||
                        f.change == ChangeCheck::Range || f.change == ChangeCheck::EitherOr ||
                        f.change == ChangeCheck::LockDerivation;
    if (ranged) {
      EXPECT_GT(f.lo, 0) << sheet::control_name(f.control);
      EXPECT_LT(f.lo, f.hi) << sheet::control_name(f.control);
      EXPECT_TRUE(f.rangeMessage.starts_with("您输入的")) << f.rangeMessage;
    } else {
      EXPECT_TRUE(f.rangeMessage.empty()) << sheet::control_name(f.control);
    }
    EXPECT_EQ(f.partner != Control::None, f.change == ChangeCheck::EitherOr);
    EXPECT_EQ(!f.locked.empty(), f.change == ChangeCheck::LockDerivation);
  }
}

TEST_P(EverySheet, AliasesAreUniqueAndNoControlName) {
  std::set<std::string_view> seen;
  for (const auto& f : table().fields) {
    EXPECT_FALSE(f.alias.empty());
    EXPECT_TRUE(seen.insert(f.alias).second) << f.alias;
    EXPECT_FALSE(sheet::control_from_name(f.alias).has_value()) << f.alias;
  }
  for (const auto& g : table().groups) {
    for (const auto& o : g.options) {
      EXPECT_TRUE(seen.insert(o.alias).second) << o.alias;
      EXPECT_FALSE(sheet::control_from_name(o.alias).has_value()) << o.alias;
    }
  }
  EXPECT_FALSE(seen.contains("steel"));  // the console's name of the steel-kind list
}

TEST_P(EverySheet, TabOrderRunsThroughTheBoxesByNumberThenTheChoicesThenTheButtons) {
  const auto& tab = table().tabOrder;
  const std::size_t boxes = table().fields.size();
  ASSERT_GE(tab.size(), boxes + 5);
  for (std::size_t i = 0; i < boxes; ++i) {
    EXPECT_EQ(tab[i], sheet::text_box(static_cast<int>(i) + 1));
  }
  std::set<Control> choices(tab.begin() + static_cast<std::ptrdiff_t>(boxes), tab.end() - 4);
  std::set<Control> expected = {Control::Combo1};
  for (const auto& g : table().groups) {
    for (const auto& o : g.options) expected.insert(o.control);
  }
  EXPECT_EQ(choices, expected);
  EXPECT_EQ(tab.size(), boxes + expected.size() + 4);
  const std::vector<Control> tail(tab.end() - 4, tab.end());
  EXPECT_EQ(tail, (std::vector<Control>{Control::CmdCal, Control::CmdSave, Control::CmdExit,
                                        Control::Picture1}));
}

// Whether two rectangles share more than a pixel (15 twips) in both directions.
bool overlap(const Rect& a, const Rect& b) {
  constexpr int kPixel = 15;
  return a.left + kPixel < b.left + b.width && b.left + kPixel < a.left + a.width &&
         a.top + kPixel < b.top + b.height && b.top + kPixel < a.top + a.height;
}

bool inside(const Rect& r, int width, int height) {
  return r.left >= 0 && r.top >= 0 && r.width > 0 && r.height > 0 && r.left + r.width <= width &&
         r.top + r.height <= height;
}

TEST_P(EverySheet, LayoutKeepsLabelsBesideTheirBoxesAndNothingOverlaps) {
  const auto& s = table();
  std::vector<std::pair<std::string, Rect>> placed;
  for (const auto& f : s.fields) {
    const std::string name(sheet::control_name(f.control));
    EXPECT_EQ(f.box.height, 372) << name;
    const int gap = f.box.left - (f.labelRect.left + f.labelRect.width);
    EXPECT_GE(gap, 120) << name;
    EXPECT_LE(gap, 240) << name;
    EXPECT_GE(f.labelRect.top, f.box.top) << name;
    EXPECT_LT(f.labelRect.top, f.box.top + f.box.height) << name;
    EXPECT_EQ(f.labelRect.height, 240) << name;
    placed.emplace_back(name, f.box);
    placed.emplace_back(name + " label", f.labelRect);
  }
  placed.emplace_back("Combo1", s.combo.box);
  placed.emplace_back("Combo1 label", s.combo.labelRect);
  EXPECT_GE(s.combo.box.left - (s.combo.labelRect.left + s.combo.labelRect.width), 120);
  for (const auto& g : s.groups) {
    placed.emplace_back(std::string(g.name), g.frame);
    // An option starts inside its frame (the frame clips what reaches beyond it).
    for (const auto& o : g.options) {
      EXPECT_TRUE(
          inside({o.rect.left, o.rect.top, 1, o.rect.height}, g.frame.width, g.frame.height))
          << o.caption;
    }
    EXPECT_FALSE(overlap(g.options[0].rect, g.options[1].rect)) << g.name;
  }
  for (const Rect& button : {s.cmdCal, s.cmdSave, s.cmdExit}) {
    EXPECT_EQ(button.width, 1400);
    EXPECT_EQ(button.height, 400);
    placed.emplace_back("button", button);
  }
  EXPECT_EQ(s.pane.left, 120);
  EXPECT_EQ(s.pane.width, 10815);
  // The pane fills the rest of the sheet, up to a small margin at the bottom.
  EXPECT_LE(s.pane.top + s.pane.height, s.height);
  EXPECT_GE(s.pane.top + s.pane.height, s.height - 120);
  placed.emplace_back("Picture1", s.pane);
  for (std::size_t i = 0; i < placed.size(); ++i) {
    EXPECT_TRUE(inside(placed[i].second, s.width, s.height)) << placed[i].first;
    for (std::size_t j = i + 1; j < placed.size(); ++j) {
      EXPECT_FALSE(overlap(placed[i].second, placed[j].second))
          << placed[i].first << " overlaps " << placed[j].first;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sheets, EverySheet, ::testing::Values(1, 2, 3, 4, 5));

// What differs from sheet to sheet: the choices' place in the tab order, the boxes a finished
// calculation enables and the box of the assumed cracking time.
struct SheetShape {
  int number;
  std::vector<Control> choicesInTabOrder;
  std::vector<Control> enabledAfterCalculation;
  Control assumedTimeBox;
  std::size_t boxes;
};

TEST(SheetShapes, ChoicesEnabledBoxesAndAssumedTimeBoxPerSheet) {
  const std::vector<SheetShape> shapes = {
      {1,
       {Control::Option1, Control::Option2, Control::Option3, Control::Option4, Control::Combo1},
       {Control::Text7, Control::Text8},
       Control::None,
       9},
      {2,
       {Control::Combo1, Control::Option1, Control::Option2},
       {Control::Text10, Control::Text11, Control::Text12},
       Control::Text13,
       14},
      {3, {Control::Combo1}, {}, Control::Text12, 13},
      {4,
       {Control::Option1, Control::Option2, Control::Combo1},
       {Control::Text10, Control::Text11, Control::Text12},
       Control::Text13,
       18},
      {5, {Control::Combo1}, {}, Control::Text7, 9},
  };
  for (const auto& shape : shapes) {
    SCOPED_TRACE(shape.number);
    const auto& s = sheet_module(shape.number).table();
    ASSERT_EQ(s.fields.size(), shape.boxes);
    const std::vector<Control> choices(
        s.tabOrder.begin() + static_cast<std::ptrdiff_t>(shape.boxes), s.tabOrder.end() - 4);
    EXPECT_EQ(choices, shape.choicesInTabOrder);
    EXPECT_EQ(s.enabledAfterCalculation, shape.enabledAfterCalculation);
    EXPECT_EQ(s.assumedTimeBox, shape.assumedTimeBox);
  }
}

// What the boxes are to the analyses beyond the sheet, and the law each sheet's front follows:
// the reliability analysis, design, the fits and the update find boxes by these roles alone.
struct SheetRoles {
  int number;
  sheet::FrontLaw front;
  std::vector<std::pair<Control, sheet::BoxRole>> roles;  // every box with a role
};

TEST(SheetRoles, EachSheetDeclaresTheRolesOfItsBoxesAndItsFrontLaw) {
  using R = sheet::BoxRole;
  const std::vector<SheetRoles> sheets = {
      {1,
       sheet::FrontLaw::Carbonation,
       {{Control::Text5, R::Cover},
        {Control::Text6, R::InspectionAge},
        {Control::Text7, R::MeasuredDepth}}},
      {2,
       sheet::FrontLaw::ChlorideConstant,
       {{Control::Text5, R::Cover},
        {Control::Text6, R::InspectionAge},
        {Control::Text7, R::Diffusion},
        {Control::Text8, R::Surface},
        {Control::Text9, R::Critical},
        {Control::Text13, R::IterationStart}}},
      {3,
       sheet::FrontLaw::ChlorideVariable,
       {{Control::Text5, R::Cover},
        {Control::Text6, R::InspectionAge},
        {Control::Text7, R::AgeingExponent},
        {Control::Text8, R::Surface},
        {Control::Text9, R::Critical},
        {Control::Text12, R::IterationStart}}},
      {4,
       sheet::FrontLaw::Marine,
       {{Control::Text5, R::Cover},
        {Control::Text6, R::InspectionAge},
        {Control::Text7, R::Diffusion},
        {Control::Text8, R::Surface},
        {Control::Text9, R::Critical},
        {Control::Text13, R::IterationStart},
        {Control::Text17, R::IterationStart},
        {Control::Text18, R::IterationStart}}},
      {5,
       sheet::FrontLaw::ChlorideAtCasting,
       {{Control::Text5, R::Cover},
        {Control::Text6, R::InspectionAge},
        {Control::Text7, R::IterationStart}}},
  };
  for (const auto& expected : sheets) {
    SCOPED_TRACE(expected.number);
    const auto& s = sheet_module(expected.number).table();
    EXPECT_EQ(s.front, expected.front);
    std::vector<std::pair<Control, sheet::BoxRole>> roles;
    for (const auto& f : s.fields) {
      if (f.role != R::None) roles.emplace_back(f.control, f.role);
    }
    EXPECT_EQ(roles, expected.roles);
    // A role names one box (the starting values of iterations aside), and the box whose
    // running value an iteration writes is one of those starting values.
    for (const auto& [control, role] : roles) {
      if (role == R::IterationStart) continue;
      EXPECT_EQ(s.withRole(role)->control, control);
    }
    if (s.assumedTimeBox != Control::None) {
      EXPECT_EQ(s.field(s.assumedTimeBox)->role, R::IterationStart);
    }
  }
}

// The special checks of boxes: typed and derived coefficients, the either-or pair.
TEST(SpecialBoxes, CarbonationChecksTheEnvironmentAndAgeOnChangeAndPairsDepthWithCo2) {
  const auto& s = sheet_module(1).table();
  for (int n : {1, 6}) {
    EXPECT_EQ(s.fields[n - 1].change, ChangeCheck::Range);
    EXPECT_EQ(s.fields[n - 1].leave, LeaveCheck::None);
  }
  for (int n : {3, 4}) EXPECT_EQ(s.fields[n - 1].leave, LeaveCheck::ZeroBlankThenRange);
  for (int n : {2, 5, 9}) EXPECT_EQ(s.fields[n - 1].leave, LeaveCheck::Range);
  EXPECT_EQ(s.fields[6].partner, Control::Text8);
  EXPECT_EQ(s.fields[7].partner, Control::Text7);
  EXPECT_EQ(s.fields[6].prompts.size(), 2U);
  EXPECT_EQ(s.fields[7].prompts.size(), 2U);
  EXPECT_DOUBLE_EQ(s.fields[6].hi, 60);
  EXPECT_DOUBLE_EQ(s.fields[7].hi, 3.5);
}

TEST(SpecialBoxes, TypedDiffusionCoefficientLocksTheBoxesItWouldBeDerivedFrom) {
  for (int number : {2, 4}) {
    SCOPED_TRACE(number);
    const auto& s = sheet_module(number).table();
    const auto* d = s.field(Control::Text7);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->change, ChangeCheck::LockDerivation);
    EXPECT_EQ(d->leave, LeaveCheck::ZeroBlankOnly);
    EXPECT_EQ(d->locked, (std::vector<Control>{Control::Text10, Control::Text11, Control::Text12}));
    EXPECT_DOUBLE_EQ(d->lo, 0.2);
    EXPECT_DOUBLE_EQ(d->hi, 8.0);
    for (Control c : d->locked) {
      EXPECT_EQ(s.field(c)->leave, LeaveCheck::None);
      EXPECT_EQ(s.field(c)->change, ChangeCheck::None);
    }
  }
  // The time-dependent sheet checks its depth and concentration like any other box.
  const auto& s3 = sheet_module(3).table();
  for (const auto& f : s3.fields) {
    EXPECT_EQ(f.leave, LeaveCheck::Range) << sheet::control_name(f.control);
    EXPECT_EQ(f.change, ChangeCheck::None) << sheet::control_name(f.control);
  }
}

TEST(SpecialBoxes, AdmixedEnvironmentPromptNamesFiveWhileTheBoxAcceptsFivePointFive) {
  const auto& f = sheet_module(5).table().fields[0];
  EXPECT_EQ(f.prompts.front(), " 局部环境系数，请输入 1.0--5.0 间的数!");
  EXPECT_DOUBLE_EQ(f.hi, 5.5);
  EXPECT_EQ(f.rangeMessage, "您输入的局部环境系数不在有效范围！请输入 1.0--5.5 的数!");
}

}  // namespace
}  // namespace pellucor::modules
