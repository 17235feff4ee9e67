// CSV records line by line, the encodings spreadsheet programs write, and quoting on output.
#include "analysis/batch/csv.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace pellucor::analysis::batch {
namespace {

using Fields = std::vector<std::string>;

TEST(ParseCsv, SplitsFieldsAndHonoursQuotes) {
  const struct {
    std::string line;
    Fields fields;
  } cases[] = {
      {"a,b,c", {"a", "b", "c"}},
      {"a,,c,", {"a", "", "c", ""}},
      {"\"x,y\",2", {"x,y", "2"}},
      {"\"say \"\"hi\"\"\",z", {"say \"hi\"", "z"}},
      {"\"\",1", {"", "1"}},
      {"ab\"c,d", {"ab\"c", "d"}},  // a quote inside an unquoted field is a character
      {" 1.5 ,梁-3", {" 1.5 ", "梁-3"}},
  };
  for (const auto& c : cases) {
    const auto records = parse_csv(c.line);
    ASSERT_EQ(records.size(), 1u) << c.line;
    EXPECT_TRUE(records[0].error.empty()) << c.line;
    EXPECT_EQ(records[0].fields, c.fields) << c.line;
  }
}

TEST(ParseCsv, OneRecordPerLineWithLineNumbersAndMalformedLinesMarked) {
  const std::string text =
      "h1,h2\r\n"
      "1,2\r\n"
      "\r\n"
      "\"open,3\n"
      "\"a\"b,4\n"
      "5,6";  // no line end at the end of the file
  const auto r = parse_csv(text);
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[1].fields, (Fields{"1", "2"}));
  EXPECT_EQ(r[1].line, 2u);
  EXPECT_EQ(r[2].line, 4u);  // the blank line is skipped, not counted as a record
  EXPECT_EQ(r[2].error, "unbalanced quotes");
  EXPECT_EQ(r[2].raw, "\"open,3");
  EXPECT_EQ(r[3].error, "text after a closing quote");
  EXPECT_EQ(r[4].fields, (Fields{"5", "6"}));
  EXPECT_TRUE(r[4].error.empty());
}

TEST(CsvLine, QuotesWhatNeedsItAndReadsBackTheSame) {
  const Fields fields = {"plain", "a,b", "say \"hi\"", " pad", "", "保护层厚度 (mm)", "1.5E-05"};
  const std::string line = csv_line(fields);
  EXPECT_EQ(line, "plain,\"a,b\",\"say \"\"hi\"\"\",\" pad\",,保护层厚度 (mm),1.5E-05\r\n");
  const auto back = parse_csv(line);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].fields, fields);
}

// A quoted cell may hold line breaks (a spreadsheet's Alt+Enter); a quote that never closes
// well takes only its own line, and the members after it are read as ever.
TEST(ParseCsv, QuotedCellsMaySpanLinesAndAStrayQuoteSwallowsNothing) {
  const std::string text =
      "member,cover\r\n"
      "\"梁\n一\",40\r\n"        // a line break inside the quotes: one record
      "\"two\r\nlines\",41\r\n"  // a CR LF inside: kept as it stands
      "\"stray,42\r\n"           // never closes: only this line, malformed
      "b,43\r\n"
      "\"c\n\"d,44\r\n"  // closes, then text: only the first line, malformed
      "e,45\r\n"
      "\"f\nx\",1,2\r\n"  // closes well but has three fields: only the first line
      "g,46\r\n";
  const auto r = parse_csv(text);
  ASSERT_EQ(r.size(), 11u);
  EXPECT_EQ(r[1].fields, (Fields{"梁\n一", "40"}));
  EXPECT_EQ(r[1].line, 2u);
  EXPECT_EQ(r[1].raw, "\"梁\n一\",40");
  EXPECT_EQ(r[2].fields, (Fields{"two\r\nlines", "41"}));
  EXPECT_EQ(r[2].line, 4u);
  EXPECT_EQ(r[3].error, "unbalanced quotes");
  EXPECT_EQ(r[3].raw, "\"stray,42");
  EXPECT_EQ(r[3].line, 6u);
  EXPECT_EQ(r[4].fields, (Fields{"b", "43"}));
  EXPECT_EQ(r[4].line, 7u);
  EXPECT_EQ(r[5].error, "unbalanced quotes");
  EXPECT_EQ(r[5].raw, "\"c");
  EXPECT_EQ(r[6].error, "unbalanced quotes");  // "d,44 read on its own opens a quote again
  EXPECT_EQ(r[6].raw, "\"d,44");
  EXPECT_EQ(r[7].fields, (Fields{"e", "45"}));
  EXPECT_EQ(r[8].error, "unbalanced quotes");
  EXPECT_EQ(r[8].raw, "\"f");
  EXPECT_EQ(r[9].fields, (Fields{"x\"", "1", "2"}));
  EXPECT_EQ(r[10].fields, (Fields{"g", "46"}));
  EXPECT_EQ(r[10].line, 13u);
}

TEST(ParseCsv, AQuoteOpenForTooManyLinesIsBounded) {
  std::string text = "member,cover\n\"open,1\n";
  for (std::size_t i = 0; i < CsvReader::kMaxRecordLines + 10; ++i) text += "m,2\n";
  text += "\"\n";
  const auto r = parse_csv(text);
  ASSERT_EQ(r.size(), CsvReader::kMaxRecordLines + 13);
  EXPECT_EQ(r[1].error, "unbalanced quotes");
  EXPECT_EQ(r[2].fields, (Fields{"m", "2"}));
}

// Cells a spreadsheet would evaluate get an apostrophe; numbers never do.
TEST(CsvLine, FormulaLikeTextGetsAnApostropheNumbersDoNot) {
  const std::pair<std::string, std::string> cases[] = {
      {"=SUM(A1)", "'=SUM(A1)"},
      {"+cmd", "'+cmd"},
      {"-2+3", "'-2+3"},
      {"@SUM(1)", "'@SUM(1)"},
      {"\tx", "'\tx"},
      {"-5", "-5"},
      {"-1.5E-05", "-1.5E-05"},
      {"1=1", "1=1"},
      {"", ""},
      {"-inf", "'-inf"},
      {"=a,b", "\"'=a,b\""},
      {"\rx", "\"'\rx\""},
      {"+5", "'+5"},  // not how the program writes a number: text
  };
  for (const auto& [cell, written] : cases) {
    EXPECT_EQ(csv_line({cell}), written + "\r\n") << cell;
  }
}

// What the encoding detector decides, or the line it names when it cannot.
TEST(EncodingDetector, DecidesOnlyWhenSure) {
  using Kind = EncodingError::Kind;
  const std::string utf8 = "\xE6\xA2\x81\xE4\xB8\x80";  // 梁一: also valid GBK
  const std::string gbkAlsoUtf8 = "\xC2\xBD\xC2\xB7";   // 陆路 in GBK: also valid UTF-8
  const std::string gbkOnly = "\xB1\xA3\xBB\xA4";       // 保护 in GBK
  const std::string utf8Only = "\xE4\xBF\x9D";          // 保 in UTF-8, then a comma
  struct Case {
    std::string name;
    std::vector<std::string> lines;
    std::optional<Encoding> given;
    std::optional<Encoding> decided;  // none: refused
    Kind kind;
    std::size_t line;
    std::vector<Encoding> unknownUnder = {};  // readings that make a known name unknown
  };
  const std::vector<Case> cases = {
      {"ASCII", {"a,b", "1,2"}, {}, Encoding::Utf8, {}, 0},
      {"UTF-8 only", {"h", utf8Only + ",1", utf8 + ",2"}, {}, Encoding::Utf8, {}, 0},
      {"GBK only", {"h", gbkOnly + ",1"}, {}, Encoding::Gbk, {}, 0},
      {"BOM", {"\xEF\xBB\xBFh", utf8 + ",1"}, {}, Encoding::Utf8Bom, {}, 0},
      {"both ways", {"h", "a", utf8 + ",1"}, {}, {}, Kind::Ambiguous, 3},
      {"GBK valid as UTF-8", {"h", gbkAlsoUtf8 + ",1"}, {}, {}, Kind::Ambiguous, 2},
      {"GBK with a line valid as UTF-8",
       {"h", gbkOnly + ",1", gbkAlsoUtf8 + ",2"},
       {},
       {},
       Kind::StrayBytes,
       2},
      {"UTF-8 with a stray pair", {"h", utf8 + ",1", "x\xB1\xA3,2"}, {}, {}, Kind::StrayBytes, 3},
      {"mixed", {"h", utf8Only + ",1", gbkOnly + ",2"}, {}, {}, Kind::Mixed, 3},
      {"neither", {"h", "a\xFF\xFF"}, {}, {}, Kind::Neither, 2},
      {"BOM, then GBK", {"\xEF\xBB\xBFh", gbkOnly + ",1"}, {}, {}, Kind::NotValid, 2},
      {"given GBK", {"h", gbkAlsoUtf8 + ",1"}, Encoding::Gbk, Encoding::Gbk, {}, 0},
      {"given UTF-8", {"h", utf8 + ",1"}, Encoding::Utf8, Encoding::Utf8, {}, 0},
      {"given UTF-8, a GBK line",
       {"h", utf8 + ",1", gbkOnly},
       Encoding::Utf8,
       {},
       Kind::NotValid,
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EncodingDetector d(c.given);
    for (const auto& l : c.lines) d.line(l);
    for (const Encoding e : c.unknownUnder) d.unknownUnder(e);
    if (c.decided) {
      EXPECT_EQ(d.decide(), *c.decided);
      continue;
    }
    try {
      d.decide();
      ADD_FAILURE() << "decided";
    } catch (const EncodingError& e) {
      EXPECT_EQ(e.kind, c.kind) << e.what();
      EXPECT_EQ(e.line, c.line) << e.what();
      EXPECT_NE(std::string(e.what()).find("line " + std::to_string(c.line)), std::string::npos)
          << e.what();
    }
  }
}

// "保护层" in UTF-8 and in GBK.
const std::string kUtf8 = "\xE4\xBF\x9D\xE6\x8A\xA4\xE5\xB1\x82";
const std::string kGbk = "\xB1\xA3\xBB\xA4\xB2\xE3";

TEST(Encoding, DetectsUtf8WithAndWithoutBomAndGbk) {
  Encoding e{};
  EXPECT_EQ(decode_text("\xEF\xBB\xBF" + kUtf8 + ",1", &e), kUtf8 + ",1");
  EXPECT_EQ(e, Encoding::Utf8Bom);
  EXPECT_EQ(decode_text(kUtf8 + ",1", &e), kUtf8 + ",1");
  EXPECT_EQ(e, Encoding::Utf8);
  EXPECT_EQ(decode_text("cover," + kGbk, &e), "cover," + kUtf8);
  EXPECT_EQ(e, Encoding::Gbk);
  EXPECT_EQ(decode_text("plain ascii", &e), "plain ascii");
  EXPECT_EQ(e, Encoding::Utf8);
}

TEST(Encoding, RejectsBytesThatAreNeitherUtf8NorGbk) {
  EXPECT_THROW(decode_text("a\xFF\xFF"), EncodingError);
  EXPECT_THROW(decode_text("\xEF\xBB\xBF"
                           "a\xB1\xA3"),
               EncodingError);                         // marked UTF-8, is GBK
  EXPECT_THROW(decode_text("ab\xB1"), EncodingError);  // a GBK character cut short
}

TEST(Encoding, WritesBomOrGbkAndCountsWhatGbkCannotHold) {
  EXPECT_EQ(encode_text(kUtf8, Encoding::Utf8Bom), "\xEF\xBB\xBF" + kUtf8);
  EXPECT_EQ(encode_text(kUtf8, Encoding::Utf8), kUtf8);
  std::size_t lost = 99;
  EXPECT_EQ(encode_text("x" + kUtf8 + "\r\n", Encoding::Gbk, &lost), "x" + kGbk + "\r\n");
  EXPECT_EQ(lost, 0u);
  // U+1F600 (an emoji) has no GBK form.
  EXPECT_EQ(encode_text("a\xF0\x9F\x98\x80"
                        "b" +
                            kUtf8,
                        Encoding::Gbk, &lost),
            "a?b" + kGbk);
  EXPECT_EQ(lost, 1u);
}

}  // namespace
}  // namespace pellucor::analysis::batch
