// GBK as the program writes it, on every system: each text of the sheets (labels, prompts,
// messages, captions, result and echo labels, units) and characters chosen for where code
// pages differ, converted both ways and held against the bytes iconv's GBK gives on Linux
// (gbk_golden.txt). On Windows the conversion is the system's code page 936; this is where a
// difference between the two would show.
//
// The golden file is written by iconv: after a change of the sheets' texts, run
//   PELLUCOR_WRITE_GBK_GOLDEN=1 build/…/tests/platform/platform_tests --gtest_filter='Gbk*'
// on Linux and commit tests/platform/gbk_golden.txt.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "modules/registry.hpp"
#include "platform/text_encoding.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::platform {
namespace {

using Direction = GbkConversion::Direction;

std::string hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s;
  for (const char c : bytes) {
    s += kDigits[static_cast<unsigned char>(c) >> 4];
    s += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return s;
}

std::string unhex(std::string_view h) {
  std::string s;
  for (std::size_t i = 0; i + 1 < h.size(); i += 2) {
    s += static_cast<char>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16));
  }
  return s;
}

// Characters where GBK and its neighbours disagree or that a best-fit mapping would change.
const std::vector<std::string> kChosen = {
    "·",          "—",
    "―",          "‖",
    "～",         "〜",
    "∶",          "€",
    "²",          "³",
    "μ",          "µ",
    "℃",          "°",
    "±",          "≤",
    "≥",          "×",
    "÷",          "√",
    "∞",          "∑",
    "Ω",          "Å",
    "é",          "ü",
    "①",          "Ⅱ",
    "ⅱ",          "〇",
    "々",         "〃",
    "￥",         "¥",
    "‰",          "（）：；，。！？、",
    "“引号”‘单’", "【括号】《书名》",
    "…",          "　",
    "ａＢ１",     "＃＠％",
    "锈蚀",       "氯离子",
    "碳化",       "墙板配筋",
    "钢绞线",     "𠀀",
    "\u00a0",     "\u2002",
    "\u200b",     "丂",
    "龥",         "",
};

// Every text the sheets give the program to write.
std::vector<std::string> program_texts() {
  std::set<std::string> texts(kChosen.begin(), kChosen.end());
  auto add = [&texts](std::string_view s) {
    if (!s.empty()) texts.emplace(s);
  };
  for (const auto item : sheet::kSteelItems) add(item);
  for (const auto s :
       {sheet::kComboPrompt, sheet::kSteelKindMessage, sheet::kSteelKindNotEntered,
        sheet::kTitleValidity, sheet::kTitleInput, sheet::kPlausibility, sheet::kWaitLine,
        sheet::kResultsHeader, sheet::kParametersHeader, sheet::kEqualsLine, sheet::kHyphensLine,
        sheet::kCaptionCalculate, sheet::kCaptionSave, sheet::kCaptionExit, sheet::kNoCrackWidth}) {
    add(s);
  }
  auto addItem = [&](const sheet::ItemText& t) {
    add(t.name);
    add(t.unit);
    add(t.label);
    add(t.after);
    if (t.fileAfter) add(*t.fileAfter);
  };
  for (const sheet::Module* m : modules::all_modules()) {
    const sheet::SheetTable& t = m->table();
    add(t.caption);
    add(t.menuCaption);
    add(t.combo.label);
    for (const auto& f : t.fields) {
      add(f.label);
      add(f.rangeMessage);
      for (const auto p : f.prompts) add(p);
      addItem(f.typed);
    }
    for (const auto& g : t.groups) {
      add(g.caption);
      for (const auto& o : g.options) {
        add(o.caption);
        add(o.prompt);
      }
    }
    for (const sheet::ItemText* r : t.results) {
      if (r != nullptr) addItem(*r);
    }
  }
  return {texts.begin(), texts.end()};
}

// Converts all of `in`; false when something in it does not convert.
bool convert(Direction d, std::string_view in, std::string& out) {
  GbkConversion c(d);
  if (!c.available()) return false;
  return c.convert(in, out) == in.size();
}

std::map<std::string, std::string> read_golden() {
  std::map<std::string, std::string> golden;
  std::ifstream in(PELLUCOR_GBK_GOLDEN, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    golden[unhex(line.substr(0, tab))] = line.substr(tab + 1);
  }
  return golden;
}

TEST(GbkProgramTexts, ConvertAsIconvDoesBothWays) {
  const std::vector<std::string> texts = program_texts();
  ASSERT_GT(texts.size(), 100U);
  if (std::getenv("PELLUCOR_WRITE_GBK_GOLDEN") != nullptr) {
    std::ofstream out(PELLUCOR_GBK_GOLDEN, std::ios::binary);
    for (const auto& t : texts) {
      std::string gbk;
      out << hex(t) << '\t' << (convert(Direction::ToGbk, t, gbk) ? hex(gbk) : "-") << '\n';
    }
    GTEST_SKIP() << "wrote " << PELLUCOR_GBK_GOLDEN;
  }
  const auto golden = read_golden();
  for (const auto& t : texts) {
    const auto it = golden.find(t);
    ASSERT_NE(it, golden.end()) << "'" << t << "' is not in the golden file: see the top of "
                                << __FILE__;
    std::string gbk;
    const bool converts = convert(Direction::ToGbk, t, gbk);
    if (it->second == "-") {
      EXPECT_FALSE(converts) << "'" << t << "' has no GBK form, yet became " << hex(gbk);
      continue;
    }
    ASSERT_TRUE(converts) << "'" << t << "' did not convert";
    EXPECT_EQ(hex(gbk), it->second) << t;
    std::string back;
    ASSERT_TRUE(convert(Direction::FromGbk, unhex(it->second), back)) << t;
    EXPECT_EQ(back, t);
  }
}

struct StopCase {
  const char* what;
  Direction direction;
  std::string in;
  std::size_t converted;  // bytes of `in` that convert
  std::string out;        // what they give
};

// A conversion stops exactly where iconv's would: before a sequence that is not valid, is cut
// off, or has no form in the other encoding; what comes before it is converted.
TEST(GbkConversion, StopsWhereTheTextStopsBeingConvertible) {
  const StopCase cases[] = {
      {"all of it", Direction::ToGbk, "保护层 40 mm", 15, "\xb1\xa3\xbb\xa4\xb2\xe3 40 mm"},
      {"a character GBK lacks", Direction::ToGbk, "厚度²", 6, "\xba\xf1\xb6\xc8"},
      {"a lone continuation byte", Direction::ToGbk, "a\x80z", 1, "a"},
      {"an overlong form", Direction::ToGbk, "ab\xc0\xaf", 2, "ab"},
      {"a surrogate", Direction::ToGbk, "x\xed\xa0\x80", 1, "x"},
      {"cut off", Direction::ToGbk, "钢\xe7\xad", 3, "\xb8\xd6"},
      {"gbk: all of it", Direction::FromGbk, "\xb8\xd6\xbd\xee 20", 7, "钢筋 20"},
      {"gbk: cut off", Direction::FromGbk, "\xb8\xd6\xbd", 2, "钢"},
      {"gbk: 0xFF", Direction::FromGbk, "a\xff", 1, "a"},
      {"gbk: a trail byte below 0x40", Direction::FromGbk, "\xb8\x30", 0, ""},
      {"gbk: the euro sign", Direction::FromGbk, "\x80", 1, "€"},
      {"empty", Direction::FromGbk, "", 0, ""},
  };
  for (const auto& c : cases) {
    GbkConversion conversion(c.direction);
    ASSERT_TRUE(conversion.available());
    std::string out;
    EXPECT_EQ(conversion.convert(c.in, out), c.converted) << c.what;
    EXPECT_EQ(out, c.out) << c.what;
  }
}

TEST(GbkConversion, ALongTextConvertsWhole) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "氯离子,";
  text += "ok";
  std::string gbk;
  ASSERT_TRUE(convert(Direction::ToGbk, text, gbk));
  EXPECT_EQ(gbk.size(), 20000U * 7 + 2);
  std::string back;
  ASSERT_TRUE(convert(Direction::FromGbk, gbk, back));
  EXPECT_EQ(back, text);
}

}  // namespace
}  // namespace pellucor::platform
