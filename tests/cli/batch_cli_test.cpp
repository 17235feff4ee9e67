// pellucor-cli batch end to end: column naming, encodings in and out, the workbook, malformed
// rows, the atomic write, the same bytes for any number of jobs and for a file split into
// pieces with GNU parallel and joined again.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli_support.hpp"

namespace {

using namespace pellucor::cli_testing;

const std::string kBom = "\xEF\xBB\xBF";

// The fields of a simple CSV line (no quotes).
std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> out;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, ',')) out.push_back(field);
  if (!line.empty() && line.back() == ',') out.emplace_back();
  return out;
}

class Batch : public CliTest {
 protected:
  // Runs a bash script in the test's folder, with $CLI the program.
  Outcome shell(const std::string& script) {
    // Beside the folder, so that the script sees only its own files.
    const fs::path outPath = dir_.string() + ".stdout";
    const fs::path errPath = dir_.string() + ".stderr";
    const std::string full =
        "cd '" + dir_.string() + "' && export CLI='" + PELLUCOR_CLI + "' && { " + script + "; }";
    Outcome r = pellucor::cli_testing::spawn({"/bin/bash", "-c", full}, outPath, errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return r;
  }
  // Runs the program's batch command in the test's folder with the words of `args`.
  Outcome batch(const std::string& args) {
    std::vector<std::string> all = {PELLUCOR_CLI, "batch"};
    std::istringstream words(args);
    for (std::string w; words >> w;) all.push_back(w);
    const fs::path outPath = dir_.string() + ".stdout";
    const fs::path errPath = dir_.string() + ".stderr";
    Outcome r = pellucor::cli_testing::spawn(all, outPath, errPath, std::nullopt, dir_);
    fs::remove(outPath);
    fs::remove(errPath);
    return r;
  }
};

// The marine worked example with the inputs in the order of the boxes; three ways to name
// the columns.
const std::string kValues = "1.5,20,0.8,30,40,20,1.5,5,1.4,20,20,1.0,25,10,5,2";
const std::string kByName =
    "Text1,Text2,Text3,Text4,Text5,Text6,Text7,Text8,Text9,Text13,Text14,Text15,Text16,Text17,"
    "Text18,Combo1";
const std::string kByAlias =
    "environment,temperature,humidity,strength,cover,age,diffusion,surface,critical,"
    "cracking-time,diameter,accumulation,stable-time,initiation-time,t2,steel";
const std::string kByLabel =
    "局部环境系数,环境温度,环境湿度,混凝土强度,保护层厚度,检测时间,离子扩散系数,表面氯浓度,"
    "氯临界浓度,初设开裂时间,钢筋直径,累计系数,稳定积累时间,初设锈蚀时间,初设T2时间,钢筋种类";

TEST_F(Batch, ColumnsByControlNameAliasOrLabelGiveTheSameResults) {
  std::vector<std::string> results;
  for (const std::string& header : {kByName, kByAlias, kByLabel}) {
    write_file(dir_ / "in.csv", "member," + header + "\nB-1," + kValues + "\n");
    const Outcome r = batch("marine in.csv -o out.csv");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "pellucor-cli: 1 member: 1 computed, 0 stopped at a message, 0 malformed\n");
    const std::string out = read_file(dir_ / "out.csv");
    ASSERT_TRUE(out.starts_with(kBom + "member," + header + ",status,计算扩散系数 (m^2/a),"))
        << out;
    const auto lines = lines_of(out.substr(kBom.size()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[1].starts_with("B-1," + kValues + ",ok,")) << lines[1];
    results.push_back(lines[1]);
  }
  EXPECT_EQ(results[0], results[1]);
  EXPECT_EQ(results[0], results[2]);
  // The report's values with its digits, t_d among them (the sheet prints it), then the
  // remaining life (inspected at 20 a).
  const auto cells = fields_of(results[0]);
  ASSERT_EQ(cells.size(), 1 + 16 + 1 + 12u);
  EXPECT_EQ(cells[18], "0.00015");
  EXPECT_EQ(cells[26], "29.86751");
  EXPECT_EQ(cells[29], "9.867508");
}

TEST_F(Batch, UnknownOrRepeatedColumnStopsBeforeAnyRow) {
  write_file(dir_ / "out.csv", "earlier");
  const std::pair<std::string, std::string> cases[] = {
      {"member,cover,colour\nb,40,red\n", "unknown column 'colour'"},
      {"member,cover,保护层厚度\nb,40,40\n", "duplicated column '保护层厚度'"},
  };
  for (const auto& [input, message] : cases) {
    write_file(dir_ / "in.csv", input);
    const Outcome r = batch("marine in.csv -o out.csv");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("members"), std::string::npos) << r.err;  // no summary: nothing ran
    EXPECT_EQ(read_file(dir_ / "out.csv"), "earlier");
  }
}

TEST_F(Batch, UsageAndFileErrorsExitWithOne) {
  EXPECT_EQ(batch("").status, 1);
  EXPECT_EQ(batch("tides in.csv").status, 1);
  EXPECT_EQ(batch("marine missing.csv").status, 1);
  // A count of threads is a whole number from 1 to 1024, written as such.
  for (const char* jobs : {"0", "1025", "-1", "+2", "2x", "1.5", "18446744073709551617"}) {
    const Outcome r = batch(std::string("marine --jobs ") + jobs + " in.csv");
    EXPECT_EQ(r.status, 1) << jobs;
    EXPECT_NE(r.err.find("--jobs needs a number from 1 to 1024, not '" + std::string(jobs) + "'"),
              std::string::npos)
        << r.err;
  }
  EXPECT_EQ(batch("marine in.csv -o out.xlsx --encoding gbk").status, 1);
  const Outcome help = batch("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("pellucor-cli batch SHEET"), std::string::npos);
}

// "保护层厚度" and "梁" in GBK.
const std::string kCoverGbk = "\xB1\xA3\xBB\xA4\xB2\xE3\xBA\xF1\xB6\xC8";
const std::string kBeamGbk = "\xC1\xBA";

TEST_F(Batch, ReadsUtf8WithOrWithoutBomAndGbkAndWritesBomOrGbk) {
  const std::string header = "member,environment,temperature,humidity,strength,";
  const std::string rest =
      ",age,diffusion,surface,critical,cracking-time,diameter,accumulation,stable-time,"
      "initiation-time,t2,steel\n";
  write_file(dir_ / "bom.csv", kBom + header + "保护层厚度" + rest + "梁," + kValues + "\n");
  write_file(dir_ / "plain.csv", header + "保护层厚度" + rest + "梁," + kValues + "\n");
  write_file(dir_ / "gbk.csv", header + kCoverGbk + rest + kBeamGbk + "," + kValues + "\n");
  std::vector<std::string> outs;
  for (const char* in : {"bom.csv", "plain.csv", "gbk.csv"}) {
    const Outcome r = batch(std::string("marine ") + in);  // to standard output
    EXPECT_EQ(r.status, 0) << in << r.err;
    outs.push_back(r.out);
  }
  EXPECT_EQ(outs[0], outs[1]);
  EXPECT_EQ(outs[0], outs[2]);
  ASSERT_TRUE(outs[0].starts_with(kBom + "member,environment")) << outs[0];
  EXPECT_NE(outs[0].find("\r\n梁,1.5,"), std::string::npos);

  const Outcome gbk = batch("marine gbk.csv --encoding gbk -o out-gbk.csv");
  ASSERT_EQ(gbk.status, 0) << gbk.err;
  const std::string bytes = read_file(dir_ / "out-gbk.csv");
  EXPECT_TRUE(bytes.starts_with("member,environment,temperature,humidity,strength," + kCoverGbk))
      << "no BOM, GBK header";
  EXPECT_NE(bytes.find("\r\n" + kBeamGbk + ",1.5,"), std::string::npos);
  // "耐久性终结时间 t_d (a)" in GBK among the result headers.
  EXPECT_NE(bytes.find("\xC4\xCD\xBE\xC3\xD0\xD4\xD6\xD5\xBD\xE1\xCA\xB1\xBC\xE4"
                       " t_d (a)"),
            std::string::npos);
}

TEST_F(Batch, MalformedRowsGetTheirStatusAndTheRestGoOn) {
  write_file(dir_ / "in.csv", "member," + kByAlias + "\n" + "good-1," + kValues + "\n" +
                                  "\"broken," + kValues + "\n" + "short,1.5,20\n" +
                                  "stopped,1.5,20,0.8,30,400,20,1.5,5,1.4,20,20,1.0,25,10,5,2\n" +
                                  "good-2," + kValues + "\n");
  const Outcome r = batch("marine in.csv -o out.csv");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "pellucor-cli: 5 members: 2 computed, 1 stopped at a message, 2 malformed\n");
  const auto lines = lines_of(read_file(dir_ / "out.csv"));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_TRUE(lines[1].starts_with("good-1,")) << lines[1];
  EXPECT_TRUE(lines[2].starts_with("\"\"\"broken,1.5,20,")) << lines[2];
  EXPECT_NE(lines[2].find(",malformed row (line 3): unbalanced quotes,"), std::string::npos);
  EXPECT_NE(lines[3].find(",malformed row (line 4): 3 fields where the header has 17,"),
            std::string::npos);
  // The status names the box by its label, as the desktop's member table does.
  EXPECT_NE(lines[4].find(",保护层厚度: 您输入的保护层厚度不在有效范围！请输入 3--90 间的数!,"),
            std::string::npos);
  EXPECT_TRUE(lines[5].starts_with("good-2," + kValues + ",ok,")) << lines[5];
}

// A cell of a box that is not wholly a number stops its member, named by the box's label; the
// other members run on. Full-width digits and blanks around a number are a number.
TEST_F(Batch, ACellThatIsNotANumberStopsItsMemberNamed) {
  write_file(dir_ / "in.csv", "member," + kByAlias + "\n" +
                                  "letter-O,1.5,20,0.8,30,4O,20,1.5,5,1.4,20,20,1.0,25,10,5,2\n" +
                                  "unit,1.5,20,0.8,30,40mm,20,1.5,5,1.4,20,20,1.0,25,10,5,2\n" +
                                  "wide,1.5,20,0.8,30, ４０ ,20,1.5,5,1.4,20,20,1.0,25,10,5,2\n");
  const Outcome r = batch("marine in.csv -o out.csv --input-encoding utf-8");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "pellucor-cli: 3 members: 1 computed, 2 stopped at a message, 0 malformed\n");
  const auto lines = lines_of(read_file(dir_ / "out.csv"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[1].find(",保护层厚度: '4O' is not a number,"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find(",保护层厚度: '40mm' is not a number,"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find(",ok,"), std::string::npos) << lines[3];
}

TEST_F(Batch, WorkbookHasABoldFrozenHeaderNumbersAsNumbersAndStoppedRowsMarked) {
  PELLUCOR_SKIP_WITHOUT_POSIX_TOOLS("unzip");
  write_file(dir_ / "in.csv", "member," + kByAlias + "\nB1," + kValues +
                                  "\nB2,1.5,20,0.8,30,400,20,1.5,5,1.4,20,20,1.0,25,10,5,2\n");
  const Outcome r = batch("marine in.csv -o out.xlsx");
  EXPECT_EQ(r.status, 2) << r.err;
  const Outcome xml = shell("unzip -p out.xlsx xl/worksheets/sheet1.xml");
  ASSERT_EQ(xml.status, 0) << xml.err;
  EXPECT_NE(xml.out.find("state=\"frozen\""), std::string::npos);
  EXPECT_NE(xml.out.find("ySplit=\"1\""), std::string::npos);
  // Row 2: the cover (F) and the first result (S) are numbers; the member (A) a string.
  EXPECT_NE(xml.out.find("<c r=\"F2\"><v>40</v></c>"), std::string::npos) << xml.out;
  EXPECT_NE(xml.out.find("<c r=\"S2\"><v>0.00015</v></c>"), std::string::npos);
  EXPECT_NE(xml.out.find("<c r=\"A2\" t=\"inlineStr\"><is><t>B1</t></is></c>"), std::string::npos);
  // Row 3 stopped: its cells carry a style of their own, its status cell another.
  const auto row3 = xml.out.find("<row r=\"3\"");
  ASSERT_NE(row3, std::string::npos);
  EXPECT_NE(xml.out.find("<c r=\"A3\" s=\"", row3), std::string::npos);
  EXPECT_NE(xml.out.find("<c r=\"R3\" s=\"", row3), std::string::npos);
  EXPECT_NE(xml.out.find("保护层厚度: 您输入的保护层厚度不在有效范围", row3), std::string::npos);
  EXPECT_NE(xml.out.find("<t>剩余寿命 t_d-t (a)</t>"), std::string::npos);
  const Outcome styles = shell("unzip -p out.xlsx xl/styles.xml");
  EXPECT_NE(styles.out.find("<b/>"), std::string::npos);  // the header's bold font
}

// GBK bytes of "陆路" and "墓": they form valid UTF-8 as well ("½·", "Ĺ").
const std::string kLuluGbk = "\xC2\xBD\xC2\xB7";
const std::string kMuGbk = "\xC4\xB9";

TEST_F(Batch, AnInputWhoseEncodingCannotBeToldStopsNamesTheLineAndAsks) {
  struct Case {
    std::string name;
    std::string body;  // the rows after the header
    std::string stop;  // in the message without --input-encoding
    std::string given;
    std::string readAs;  // what the given encoding reads ("" : refused, exit 1)
  };
  const std::vector<Case> cases = {
      {"GBK that is valid UTF-8", kLuluGbk + "-1," + kValues + "\n" + kMuGbk + "-2," + kValues,
       "reads both as UTF-8 and as GBK (line 2 ", "gbk", "陆路-1"},
      {"UTF-8 with a stray byte pair", "梁一," + kValues + "\nx\xB1\xA3," + kValues,
       "line 2 reads as UTF-8 but line 3 only as GBK", "utf-8", ""},
      {"UTF-8 that is valid GBK", "梁一," + kValues, "reads both as UTF-8 and as GBK (line 2 ",
       "utf-8", "梁一"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir_ / "in.csv", "member," + kByAlias + "\n" + c.body + "\n");
    write_file(dir_ / "out.csv", "earlier");
    const Outcome unsure = batch("marine in.csv -o out.csv");
    EXPECT_EQ(unsure.status, 1);
    EXPECT_NE(unsure.err.find(c.stop), std::string::npos) << unsure.err;
    EXPECT_NE(unsure.err.find("--input-encoding utf-8 or gbk"), std::string::npos);
    EXPECT_EQ(read_file(dir_ / "out.csv"), "earlier");
    const Outcome given = batch("marine in.csv --input-encoding " + c.given + " -o out.csv");
    if (c.readAs.empty()) {
      EXPECT_EQ(given.status, 1);
      EXPECT_NE(given.err.find("line 3 is not UTF-8"), std::string::npos) << given.err;
      EXPECT_EQ(read_file(dir_ / "out.csv"), "earlier");
    } else {
      EXPECT_EQ(given.status, 0) << given.err;
      EXPECT_NE(read_file(dir_ / "out.csv").find("\r\n" + c.readAs + ",1.5,"), std::string::npos);
    }
  }
}

// A member table that cannot be read is refused with its name and the line: an encoding that
// cannot be told, a line longer than any member's (a file of one 17 MiB line).
TEST_F(Batch, AnInputItCannotReadIsNamedWithTheLine) {
  write_file(dir_ / "in.csv",
             "member," + kByAlias + "\n梁一," + kValues + "\nx\xB1\xA3," + kValues + "\n");
  const Outcome mixed = batch("marine in.csv -o out.csv");
  EXPECT_EQ(mixed.status, 1);
  EXPECT_NE(mixed.err.find("in.csv: cannot tell the encoding of the input: line 2 reads as UTF-8"),
            std::string::npos)
      << mixed.err;
  write_file(dir_ / "long.csv", "member," + kByAlias + "\n" + std::string(17 << 20, 'a') + "\n");
  const Outcome longLine = batch("marine long.csv -o out.csv");
  EXPECT_EQ(longLine.status, 1);
  EXPECT_NE(longLine.err.find("long.csv: line 2 of the input is longer than 16 MiB"),
            std::string::npos)
      << longLine.err;
  EXPECT_FALSE(fs::exists(dir_ / "out.csv"));
}

// Bytes that read both ways are read in the encoding in which the table's column names and
// list choices mean something: UTF-8 steel names and labels need no flag.
TEST_F(Batch, WhatTheColumnsAndChoicesMeanTellsTheEncodingApart) {
  // "墙板配筋" and "钢筋种类" in UTF-8 are valid GBK as well (of no steel kind or label there).
  const std::string valuesWithoutSteel = kValues.substr(0, kValues.rfind(','));
  write_file(dir_ / "in.csv", "member," + kByAlias.substr(0, kByAlias.rfind(',')) +
                                  ",钢筋种类\nB-1," + valuesWithoutSteel + ",墙板配筋\n");
  const Outcome r = batch("marine in.csv -o out.csv");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(read_file(dir_ / "out.csv").find(",墙板配筋,ok,"), std::string::npos);
}

// A cell with a line break, as a spreadsheet writes Alt+Enter: one member, not a malformed row
// and a phantom member.
TEST_F(Batch, AQuotedCellMayHoldALineBreak) {
  write_file(dir_ / "in.csv",
             "member," + kByAlias + "\r\n\"梁\n一\"," + kValues + "\r\nB-2," + kValues + "\r\n");
  const Outcome r = batch("marine in.csv -o out.csv");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "pellucor-cli: 2 members: 2 computed, 0 stopped at a message, 0 malformed\n");
  const std::string out = read_file(dir_ / "out.csv");
  EXPECT_NE(out.find("\r\n\"梁\n一\"," + kValues + ",ok,"), std::string::npos) << out;
  EXPECT_NE(out.find("\r\nB-2," + kValues + ",ok,"), std::string::npos);
}

// Member names that a spreadsheet would evaluate are written after an apostrophe, in UTF-8 and
// in GBK, and so is a malformed row's line; numbers stay as they are.
TEST_F(Batch, FormulaLikeTextIsWrittenAsTextAndNumbersAreLeftAlone) {
  const std::string stopped = "1.5,20,0.8,30,-5,20,1.5,5,1.4,20,20,1.0,25,10,5,2";
  write_file(dir_ / "in.csv",
             "member," + kByAlias + "\n" + "\"=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"," + kValues +
                 "\n" + "+cmd|' /C calc'!A0," + kValues + "\n" + "@SUM(1)," + kValues + "\n" +
                 "-2+3," + stopped + "\n" + "\t梁," + kValues + "\n" + "=1+1,2\n");
  for (const std::string encoding : {"utf-8", "gbk"}) {
    SCOPED_TRACE(encoding);
    const Outcome r = batch("marine in.csv --encoding " + encoding + " -o out.csv");
    EXPECT_EQ(r.status, 2) << r.err;
    std::string out = read_file(dir_ / "out.csv");
    if (encoding == "gbk") {
      EXPECT_EQ(out.find("梁"), std::string::npos);  // written in GBK
    } else {
      out = out.substr(kBom.size());
    }
    const auto lines = lines_of(out);
    ASSERT_EQ(lines.size(), 7u) << out;
    EXPECT_TRUE(lines[1].starts_with("\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",1.5,"))
        << lines[1];
    EXPECT_TRUE(lines[2].starts_with("'+cmd|' /C calc'!A0,1.5,")) << lines[2];
    EXPECT_TRUE(lines[3].starts_with("'@SUM(1),1.5,")) << lines[3];
    EXPECT_TRUE(lines[4].starts_with("'-2+3,1.5,20,0.8,30,-5,20,")) << lines[4];  // -5: a number
    EXPECT_TRUE(lines[5].starts_with("'\t")) << lines[5];
    EXPECT_TRUE(lines[6].starts_with("\"'=1+1,2\",")) << lines[6];
  }
}

// A workbook stores names and choices as text, whatever they look like ("00123" stays
// "00123", a formula stays its text), and refuses what it cannot hold before or while writing,
// naming the row and the column, never leaving a cell out.
TEST_F(Batch, AWorkbookKeepsNamesAsTextAndRefusesWhatItCannotHold) {
  PELLUCOR_SKIP_WITHOUT_POSIX_TOOLS("unzip");
  write_file(dir_ / "in.csv",
             "member," + kByAlias + "\n00123," + kValues + "\n=SUM(1)," + kValues + "\n");
  ASSERT_EQ(batch("marine in.csv -o out.xlsx").status, 0);
  const Outcome xml = shell("unzip -p out.xlsx xl/worksheets/sheet1.xml");
  EXPECT_NE(xml.out.find("<c r=\"A2\" t=\"inlineStr\"><is><t>00123</t></is></c>"),
            std::string::npos)
      << xml.out;
  EXPECT_NE(xml.out.find("<c r=\"A3\" t=\"inlineStr\"><is><t>=SUM(1)</t></is></c>"),
            std::string::npos);
  EXPECT_NE(xml.out.find("<c r=\"Q2\" t=\"inlineStr\"><is><t>2</t></is></c>"),
            std::string::npos);  // the steel kind is a choice, not a quantity
  EXPECT_EQ(xml.out.find("<f>"), std::string::npos);

  const std::pair<std::string, std::string> cells[] = {
      {std::string(40000, 'x'),
       "workbook row 2 (input line 2), column A 'member': a text of "
       "40000 characters, but a workbook cell holds at most 32767"},
      {std::string("AB\0CD", 5),
       "workbook row 2 (input line 2), column A 'member': the text "
       "holds a NUL character"},
  };
  for (const auto& [name, message] : cells) {
    write_file(dir_ / "in.csv", "member," + kByAlias + "\n" + name + "," + kValues + "\n");
    write_file(dir_ / "out.xlsx", "earlier");
    const Outcome r = batch("marine in.csv -o out.xlsx");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err.substr(0, 300);
    EXPECT_EQ(read_file(dir_ / "out.xlsx"), "earlier");
    // As CSV the name goes through whole.
    ASSERT_EQ(batch("marine in.csv -o out.csv").status, 0);
    EXPECT_NE(read_file(dir_ / "out.csv").find("\r\n" + name + ",1.5,"), std::string::npos);
  }

  // One member more than a workbook holds: refused before any member runs.
  shell(
      "awk 'BEGIN { print \"member,cover\"; for (i = 0; i < 1048576; i++) print \"m\" i \",40\" "
      "}' > big.csv");
  const Outcome big = batch("marine big.csv -o big.xlsx");
  EXPECT_EQ(big.status, 1);
  EXPECT_NE(big.err.find("the table has 1048576 members, but a workbook holds at most 1048575"),
            std::string::npos)
      << big.err;
  EXPECT_EQ(big.err.find("members:"), std::string::npos);  // no summary: nothing ran
  EXPECT_FALSE(fs::exists(dir_ / "big.xlsx"));
}

// A generated inventory: the marine example with varied cover, strength, age and steel, a few
// members stopped at a check.
std::string inventory(int members) {
  std::string text = kBom + "member," + kByAlias + "\n";
  for (int i = 0; i < members; ++i) {
    text += "M" + std::to_string(i) + ",1.5,20,0.8," + std::to_string(10 + i % 41) + "," +
            std::to_string(3 + (i * 7) % 95) + "," + std::to_string(1 + i % 80) +
            ",1.5,5,1.4,20,20,1.0,25,10,5," + std::to_string(1 + i % 3) + "\n";
  }
  return text;
}

TEST_F(Batch, SameBytesWhateverTheNumberOfJobs) {
  write_file(dir_ / "in.csv", inventory(400));
  const Outcome one = batch("marine in.csv --jobs 1 -o one.csv");
  const Outcome four = batch("marine in.csv --jobs 4 -o four.csv");
  const Outcome all = batch("marine in.csv -o all.csv");
  EXPECT_EQ(one.status, 2);  // covers beyond 90 mm stop at their range check
  EXPECT_EQ(one.err, four.err);
  const std::string reference = read_file(dir_ / "one.csv");
  EXPECT_EQ(lines_of(reference).size(), 401u);
  EXPECT_EQ(read_file(dir_ / "four.csv"), reference);
  EXPECT_EQ(read_file(dir_ / "all.csv"), reference);
}

// The progress bar goes to a terminal only; the output is the same either way.
TEST_F(Batch, ProgressBarOnlyOnATerminal) {
  PELLUCOR_SKIP_WITHOUT_POSIX_TOOLS("script");
  write_file(dir_ / "in.csv", inventory(60));
  const Outcome plain = batch("marine in.csv -o plain.csv");
  EXPECT_EQ(plain.err.find('\r'), std::string::npos) << plain.err;
  // script(1) runs the program on a pseudo-terminal.
  const Outcome tty = shell("script -qec '\"$CLI\" batch marine in.csv -o tty.csv' /dev/null");
  EXPECT_NE(tty.out.find("\r[########################################] 100% 60/60"),
            std::string::npos)
      << tty.out;
  EXPECT_NE(tty.out.find("pellucor-cli: 60 members: "), std::string::npos);
  EXPECT_EQ(read_file(dir_ / "tty.csv"), read_file(dir_ / "plain.csv"));
}

// A batch is a pure function of each row: split by GNU parallel into pieces run apart, the
// joined output (the first piece whole, the header line dropped from the others) is the
// output of one run, byte for byte.
TEST_F(Batch, SplitWithGnuParallelAndJoinedIsByteIdentical) {
  PELLUCOR_SKIP_WITHOUT_POSIX_TOOLS("GNU parallel and bash");
  write_file(dir_ / "in.csv", inventory(500));
  ASSERT_EQ(batch("marine in.csv -o whole.csv").status, 2);
  const Outcome split = shell(
      "parallel --will-cite --pipe --header 1 -N 60 -j 3 "
      "'\"$CLI\" batch marine - -o piece-{#}.csv' < in.csv; ls piece-*.csv | wc -l");
  EXPECT_EQ(split.out, "9\n") << split.err;
  std::string joined;
  for (int k = 1; k <= 9; ++k) {
    const std::string piece = read_file(dir_ / ("piece-" + std::to_string(k) + ".csv"));
    joined += k == 1 ? piece : piece.substr(piece.find("\r\n") + 2);
  }
  EXPECT_EQ(joined, read_file(dir_ / "whole.csv"));
}

// A write that fails part way (here the file-size limit) leaves the earlier output as it was
// and no temporary file beside it; the members ran, but nothing was saved.
TEST_F(Batch, AFailedWriteLeavesTheEarlierOutputWhole) {
  PELLUCOR_SKIP_WITHOUT_POSIX_TOOLS("bash with ulimit");
  write_file(dir_ / "in.csv", inventory(300));
  write_file(dir_ / "out.csv", "earlier results\n");
  const Outcome r = shell("ulimit -f 4; \"$CLI\" batch marine in.csv -o out.csv");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("无法写入文件 out.csv（文件超过允许的大小），数据未保存!"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(read_file(dir_ / "out.csv"), "earlier results\n");
  const Outcome listing = shell("ls -A");
  EXPECT_EQ(listing.out, "in.csv\nout.csv\n");
}

}  // namespace
