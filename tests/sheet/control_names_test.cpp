#include "sheet/control_names.hpp"

#include <gtest/gtest.h>

#include <string_view>

namespace pellucor::sheet {
namespace {

// Two boxes (one without alias and label), one option group and the steel list.
SheetTable small_sheet() {
  SheetTable t;
  t.number = 9;
  FieldRow cover;
  cover.control = Control::Text1;
  cover.label = "保护层厚度";
  cover.alias = "cover";
  FieldRow bare;
  bare.control = Control::Text2;
  t.fields = {cover, bare};
  OptionGroupRow g;
  g.name = "Frame1";
  g.caption = "扩散系数来源";
  g.options = {OptionRow{Control::Option1, "自然扩散", "natural", "", {}},
               OptionRow{Control::Option2, "实测值", "measured", "", {}}};
  t.groups = {g};
  return t;
}

TEST(ControlNames, IequalFoldsOnlyAsciiLetters) {
  struct Case {
    std::string_view a, b;
    bool equal;
  };
  const Case cases[] = {
      {"Text5", "tEXT5", true}, {"steel", "STEEL", true},   {"", "", true},
      {"Text5", "Text", false}, {"@", "`", false},          {"[", "{", false},
      {"Ä", "ä", false},        {"保护层", "保护层", true}, {"cover ", "cover", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(iequal(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(iequal(c.b, c.a), c.equal) << c.b << " / " << c.a;
  }
}

TEST(ControlNames, FindsEachKindOfNameOnlyWhenAccepted) {
  using enum NameKinds;
  struct Case {
    std::string_view name;
    NameKinds accepted;
    Control expected;
  };
  const Case cases[] = {
      // control names, any case
      {"Text1", ControlNames, Control::Text1},
      {"text2", Console, Control::Text2},
      {"OPTION2", All, Control::Option2},
      {"combo1", ControlNames, Control::Combo1},
      {"Text1", Aliases | Labels, Control::None},
      // console aliases, any case
      {"COVER", Aliases, Control::Text1},
      {"Natural", Console, Control::Option1},
      {"steel", Console, Control::Combo1},
      {"cover", ControlNames | Labels, Control::None},
      {"steel", ControlNames, Control::None},
      // labels and captions, exact, only where the caller takes them
      {"保护层厚度", All, Control::Text1},
      {"实测值", Labels, Control::Option2},
      {"钢筋种类", All, Control::Combo1},
      {"保护层厚度", Console, Control::None},
      {"钢筋种类", Console, Control::None},
      // not on this sheet, or no name at all
      {"Text9", All, Control::None},
      {"Option3", All, Control::None},
      {"Cmd_cal", All, Control::None},
      {"Frame1", All, Control::None},
      {"扩散系数来源", All, Control::None},
      {"cover1", All, Control::None},
      {"", All, Control::None},  // Text2 has neither alias nor label
      {"Text1", None, Control::None},
  };
  const SheetTable t = small_sheet();
  for (const Case& c : cases) {
    EXPECT_EQ(find_control(t, c.name, c.accepted), c.expected)
        << "'" << c.name << "' accepting " << static_cast<unsigned>(c.accepted);
  }
}

TEST(ControlNames, BoxesComeBeforeOptionsAndTheSteelList) {
  SheetTable t = small_sheet();
  t.fields[1].alias = "natural";   // clashes with Option1's alias
  t.fields[1].label = "钢筋种类";  // clashes with the steel list's label
  EXPECT_EQ(find_control(t, "natural", NameKinds::Console), Control::Text2);
  EXPECT_EQ(find_control(t, "钢筋种类", NameKinds::All), Control::Text2);
}

TEST(ControlNames, GroupOfAnOption) {
  const SheetTable t = small_sheet();
  EXPECT_EQ(group_of(t, Control::Option1), &t.groups[0]);
  EXPECT_EQ(group_of(t, Control::Option2), &t.groups[0]);
  EXPECT_EQ(group_of(t, Control::Option3), nullptr);
  EXPECT_EQ(group_of(t, Control::Text1), nullptr);
  EXPECT_EQ(group_of(t, Control::Combo1), nullptr);
}

}  // namespace
}  // namespace pellucor::sheet
