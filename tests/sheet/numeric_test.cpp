#include "sheet/numeric.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "sheet/control.hpp"

namespace pellucor::sheet {
namespace {

struct PrefixCase {
  const char* text;
  double value;
};

TEST(NumericPrefix, Table) {
  const PrefixCase cases[] = {
      {"", 0},
      {"0.000", 0},
      {"25mm", 25},
      {"2,5", 2},
      {"1 2.5", 12.5},
      {" 3.5", 3.5},
      {"3 .5", 3.5},
      {"\t4\n", 4},
      {"abc", 0},
      {"12abc", 12},
      {"-3", -3},
      {"+5", 5},
      {"- 7", -7},
      {"--1", 0},
      {"+-1", 0},
      {".5", 0.5},
      {"5.", 5},
      {".", 0},
      {"-.", 0},
      {"1.2.3", 1.2},
      {"1e3", 1000},
      {"1E-2", 0.01},
      {"2.5e+1x", 25},
      {"1 e 2", 100},
      {"1e", 1},
      {"1e+", 1},
      {"1e-x", 1},
      {"e5", 0},
      {"1d2", 1},
      {"0x1A", 0},
      {"007", 7},
      {"2 变形钢筋", 2},
      {"变形钢筋", 0},
      {"1e-400", 0},
      {"0.0000000000000000000000000000000000000000000000000001e-300", 0},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(numeric_prefix(k.text), k.value) << '"' << k.text << '"';
  }
}

// What a Chinese input method types: full-width digits, point, signs, blanks and the
// ideographic full stop are read as their half-width forms before the prefix rule.
TEST(NumericPrefix, ReadsFullWidthFormsAsHalfWidth) {
  const PrefixCase cases[] = {
      {"２", 2},
      {"２０．５", 20.5},
      {"－３", -3},
      {"＋５", 5},
      {"１　２．５", 12.5},  // an ideographic blank
      {"２０。５", 20.5},    // the point key under Chinese punctuation
      {"１Ｅ３", 1000},
      {"１ｅ－２", 0.01},
      {"２，５", 2},  // a comma ends the number, full-width or not
      {"2５", 25},
      {"４０ｍｍ", 40},
      {"２ 变形钢筋", 2},
      {"（２）", 0},  // a parenthesis is no number, full-width or not
  };
  for (const auto& k : cases) {
    EXPECT_EQ(numeric_prefix(k.text), k.value) << '"' << k.text << '"';
  }
  EXPECT_EQ(half_width("保护层 ４０．５ｍｍ"), "保护层 40.5mm");
  EXPECT_EQ(half_width("钢筋"), "钢筋");  // other characters stay as they are
  EXPECT_EQ(steel_kind("３ 墙板配筋"), 3);
}

TEST(NumericPrefix, OverflowGivesInfinityWithItsSign) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(numeric_prefix("1e400"), inf);
  EXPECT_EQ(numeric_prefix("-1e400"), -inf);
  EXPECT_EQ(numeric_prefix("1" + std::string(400, '0')), inf);
  EXPECT_EQ(numeric_prefix("0.001e99999999999999999999"), inf);
  EXPECT_EQ(numeric_prefix("-1e-99999999999999999999"), 0.0);
}

TEST(SteelKind, RoundsHalvesToEvenAndGivesZeroOutsideSixteenBits) {
  const std::pair<const char*, int> cases[] = {
      {"", 0},       {"1 圆钢筋", 1},  {"2 变形钢筋", 2}, {"3 墙板配筋", 3},  {"2.5", 2},
      {"3.5", 4},    {"0.5", 0},       {"1.5", 2},        {"-2.5", -2},       {"2.4999", 2},
      {"2.5001", 3}, {"32767", 32767}, {"32767.5", 0},    {"-32768", -32768}, {"-32768.5", -32768},
      {"-32769", 0}, {"1e9", 0},       {"1e400", 0},      {"-1e400", 0},      {"abc", 0},
  };
  for (const auto& [text, kind] : cases) {
    EXPECT_EQ(steel_kind(text), kind) << '"' << text << '"';
  }
}

TEST(SteelName, FromTheThirdCharacterCutAndPaddedToTen) {
  const std::pair<const char*, const char*> cases[] = {
      {"1 圆钢筋", "圆钢筋       "},
      {"2 变形钢筋", "变形钢筋      "},
      {"3 墙板配筋", "墙板配筋      "},
      {"", "          "},
      {"1", "          "},
      {"12", "          "},
      {"钢筋x", "x         "},
      {"1 abcdefghijklmn", "abcdefghij"},
      {"1 一二三四五六七八九十十一", "一二三四五六七八九十"},
  };
  for (const auto& [text, name] : cases) {
    EXPECT_EQ(steel_name(text), name) << '"' << text << '"';
  }
}

TEST(SteelName, MalformedBytesCountAsOneCharacterEach) {
  EXPECT_EQ(steel_name("\xff\xfe\xe5\x8f"), std::string("\xe5\x8f") + std::string(8, ' '));
}

TEST(ControlNames, RoundTripAndRejectUnknownNames) {
  for (int i = static_cast<int>(Control::Text1); i <= static_cast<int>(Control::Picture1); ++i) {
    const auto c = static_cast<Control>(i);
    const auto name = control_name(c);
    ASSERT_FALSE(name.empty()) << i;
    EXPECT_EQ(control_from_name(name), c) << name;
  }
  EXPECT_EQ(control_name(Control::CmdCal), "Cmd_cal");
  EXPECT_EQ(control_name(text_box(18)), "Text18");
  EXPECT_EQ(control_name(option_button(4)), "Option4");
  for (const char* bad : {"", "Text0", "Text19", "text1", "Cmd_Cal", "Combo2", "Option5"}) {
    EXPECT_FALSE(control_from_name(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace pellucor::sheet
