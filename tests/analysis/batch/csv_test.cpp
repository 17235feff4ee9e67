// CSV records line by line, the encodings spreadsheet programs write, and quoting on output.
#include "analysis/batch/csv.hpp"

#include <gtest/gtest.h>

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
