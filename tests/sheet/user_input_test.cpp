// What a user types outside a box's text, read the same way by every front end: the steel kind
// (number, item or name, full-width too), options, groups, NAME=TEXT.
#include "sheet/user_input.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace pellucor::sheet {
namespace {

SheetTable small_sheet() {
  SheetTable t;
  t.number = 9;
  FieldRow cover;
  cover.control = Control::Text1;
  cover.label = "保护层厚度";
  cover.alias = "cover";
  t.fields = {cover};
  OptionGroupRow g;
  g.name = "Frame1";
  g.caption = "扩散系数来源";
  g.options = {OptionRow{Control::Option1, "自然扩散", "natural", "", {}},
               OptionRow{Control::Option2, "实测值", "measured", "", {}}};
  t.groups = {g};
  return t;
}

TEST(SteelItem, TheNumberTheItemOrTheSteelNameFullWidthTooAndNothingElse) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"1", "1 圆钢筋"},
      {"2", "2 变形钢筋"},
      {"3", "3 墙板配筋"},
      {" 3 ", "3 墙板配筋"},
      {"３", "3 墙板配筋"},
      {"2 变形钢筋", "2 变形钢筋"},
      {"变形钢筋", "2 变形钢筋"},
      {"墙板配筋", "3 墙板配筋"},
      {"\t圆钢筋 ", "1 圆钢筋"},
      {"0", ""},
      {"4", ""},
      {"2.0", ""},
      {"", ""},
      {"钢筋", ""},
      {"2变形钢筋", ""},
  };
  for (const auto& [typed, item] : cases) {
    const auto got = steel_item(typed);
    EXPECT_EQ(got.value_or(""), item) << '"' << typed << '"';
  }
}

// What a setting, a scatter or a reading takes: the whole text a number, full-width as typed
// under a Chinese input method; never the numeric prefix that a sheet's box reads.
TEST(TypedNumber, TheWholeTextAFiniteNumberFullWidthTooAndNothingElse) {
  const std::pair<std::string_view, std::optional<double>> cases[] = {
      {"1.5", 1.5},
      {" 40\t", 40},
      {"-2", -2},
      {"+3", 3},
      {".5", 0.5},
      {"5.", 5},
      {"3e-2", 0.03},
      {"1E3", 1000},
      {"１．５", 1.5},
      {"\u3000５０\u3000", 50},
      {"－０.２", -0.2},
      {"＋７", 7},
      {"0.2。", std::nullopt},  // the ideographic full stop is a point: two of them
      {"０。２", 0.2},
      {"", std::nullopt},
      {"  ", std::nullopt},
      {"4O", std::nullopt},
      {"40mm", std::nullopt},
      {"1,5", std::nullopt},
      {"1 000", std::nullopt},
      {"1e", std::nullopt},
      {"++3", std::nullopt},
      {"+-3", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {"0x10", std::nullopt},
      {"inf", std::nullopt},
      {"nan", std::nullopt},
      {"1e999", std::nullopt},
  };
  for (const auto& [typed, value] : cases) {
    EXPECT_EQ(typed_number(typed), value) << '"' << typed << '"';
  }
}

TEST(TypedCount, TheDigitsOfAWholeNumberInRange) {
  const std::pair<std::string_view, std::optional<std::uint64_t>> cases[] = {
      {"0", 0},
      {"20000", 20000},
      {" +12 ", 12},
      {"２０２６", 2026},
      {"18446744073709551615", UINT64_MAX},
      {"18446744073709551616", std::nullopt},
      {"-1", std::nullopt},
      {"1.0", std::nullopt},
      {"1e4", std::nullopt},
      {"12a", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [typed, value] : cases) {
    EXPECT_EQ(typed_count(typed), value) << '"' << typed << '"';
  }
}

TEST(OptionFlag, OneChoosesZeroOrEmptyLeavesAnythingElseIsRefused) {
  EXPECT_EQ(option_flag("1"), true);
  EXPECT_EQ(option_flag(" １ "), true);
  EXPECT_EQ(option_flag("0"), false);
  EXPECT_EQ(option_flag(""), false);
  EXPECT_EQ(option_flag("yes"), std::nullopt);
  EXPECT_EQ(option_flag("2"), std::nullopt);
}

TEST(FindInput, BoxesOptionsSteelAndGroupsByEveryName) {
  const SheetTable t = small_sheet();
  using K = InputTarget::Kind;
  const struct {
    std::string_view name;
    K kind;
    Control control;
  } cases[] = {
      {"Text1", K::Box, Control::Text1},
      {"COVER", K::Box, Control::Text1},
      {"保护层厚度", K::Box, Control::Text1},
      {"measured", K::Option, Control::Option2},
      {"实测值", K::Option, Control::Option2},
      {"steel", K::Steel, Control::Combo1},
      {"钢筋种类", K::Steel, Control::Combo1},
      {"扩散系数来源", K::Group, Control::None},
      {"frame1", K::Group, Control::None},
      {"Text2", K::None, Control::None},
      {"", K::None, Control::None},
  };
  for (const auto& c : cases) {
    const InputTarget got = find_input(t, c.name);
    EXPECT_EQ(got.kind, c.kind) << c.name;
    EXPECT_EQ(got.control, c.control) << c.name;
  }
  EXPECT_EQ(find_input(t, "measured").group, &t.groups[0]);
}

TEST(TypedValue, WhatAValueDoesToTheSheet) {
  const SheetTable t = small_sheet();
  using V = TypedValue::Kind;
  const struct {
    std::string_view name, text;
    bool emptyTypesNothing;
    V kind;
    Control control;
    std::string_view result;
  } cases[] = {
      {"cover", "40", true, V::Type, Control::Text1, "40"},
      {"cover", " ４０ ", true, V::Type, Control::Text1, " ４０ "},  // typed as it stands
      {"cover", "", true, V::Nothing, Control::None, ""},
      {"cover", "", false, V::Type, Control::Text1, ""},
      {"steel", "墙板配筋", true, V::Type, Control::Combo1, "3 墙板配筋"},
      {"steel", " ", true, V::Nothing, Control::None, ""},
      {"steel", "9", true, V::Refused, Control::Combo1,
       "'9' is no steel kind (1, 2, 3 or an item of the list)"},
      {"measured", "1", true, V::Type, Control::Option2, "1"},
      {"measured", "0", true, V::Nothing, Control::None, ""},
      {"measured", "yes", true, V::Refused, Control::Option2,
       "'yes' chooses nothing (1 chooses the option, 0 or empty not)"},
      {"扩散系数来源", "实测值", true, V::Type, Control::Option2, "1"},
      {"扩散系数来源", "1", true, V::Type, Control::Option1, "1"},
      {"扩散系数来源", "NATURAL", true, V::Type, Control::Option1, "1"},
      {"扩散系数来源", "sideways", true, V::Refused, Control::Option1,
       "'sideways' is no option of 扩散系数来源"},
  };
  for (const auto& c : cases) {
    const TypedValue v = typed_value(find_input(t, c.name), c.text, c.emptyTypesNothing);
    EXPECT_EQ(v.kind, c.kind) << c.name << "=" << c.text;
    EXPECT_EQ(v.control, c.control) << c.name << "=" << c.text;
    EXPECT_EQ(v.kind == TypedValue::Kind::Refused ? std::string_view(v.refusal) : v.text, c.result)
        << c.name << "=" << c.text;
  }
}

TEST(SplitNamedText, AtTheFirstEqualsSign) {
  const auto a = split_named_text("cover=4=0");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->name, "cover");
  EXPECT_EQ(a->text, "4=0");
  const auto empty = split_named_text("cover=");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->text, "");
  EXPECT_FALSE(split_named_text("=40"));
  EXPECT_FALSE(split_named_text("cover"));
}

}  // namespace
}  // namespace pellucor::sheet
