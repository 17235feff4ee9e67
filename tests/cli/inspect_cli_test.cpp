// pellucor-cli fit and batch PROJECT end to end: a profile made from known C_s and D comes
// back as those values and its sheet line computes; readings the analyses refuse stop with the
// reason in English and Chinese and exit 1; the carbonation and cover surveys; the members of
// a project run as their sheets' member tables, what the file holds that cannot be taken named.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli_support.hpp"

namespace {

using namespace pellucor::cli_testing;

// The constant-coefficient sheet's inputs other than those a profile gives it.
const std::vector<std::string> kConstantRest = {
    "environment=1.5", "temperature=20",   "humidity=0.8", "strength=30", "cover=40",
    "critical=1.4",    "cracking-time=20", "diameter=20",  "steel=2"};

std::vector<std::string> split(const std::string& line, char sep) {
  std::vector<std::string> out;
  std::string cell;
  std::istringstream in(line);
  while (std::getline(in, cell, sep)) out.push_back(cell);
  if (!line.empty() && line.back() == sep) out.emplace_back();
  return out;
}

// The quantity rows of a CSV result: name (and unit, for a name given twice) to its cells.
std::map<std::string, std::vector<std::string>> quantities(const std::string& csv) {
  std::map<std::string, std::vector<std::string>> out;
  for (const auto& line : lines_of(csv)) {
    if (line.empty()) break;  // the points follow
    auto cells = split(line, ',');
    const std::string key = out.contains(cells[0]) ? cells[0] + " " + cells.back() : cells[0];
    out[key] = cells;
  }
  return out;
}

double value_of(const std::map<std::string, std::vector<std::string>>& q, const std::string& k,
                std::size_t column = 1) {
  const auto it = q.find(k);
  if (it == q.end() || it->second.size() <= column) {
    ADD_FAILURE() << "no " << k;
    return NAN;
  }
  return std::strtod(it->second[column].c_str(), nullptr);
}

// The words after `prefix` on the standard-error line that starts with it.
std::vector<std::string> words_after(const std::string& err, const std::string& prefix) {
  for (const auto& line : lines_of(err)) {
    if (!line.starts_with(prefix)) continue;
    std::istringstream in(line.substr(prefix.size()));
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
  }
  ADD_FAILURE() << "no line '" << prefix << "' in\n" << err;
  return {};
}

class FitCli : public CliTest {
 protected:
  // A profile of C_s = 4 kg/m³ and D = 30 mm²/a at 10 a, at the given depths.
  std::string exact_profile(const std::string& header = "depth (mm),chloride") {
    std::string csv = header + "\n";
    for (double x : {1.0, 3.0, 5.0, 7.0, 9.0, 11.0, 13.0, 15.0, 17.0}) {
      char line[64];
      std::snprintf(line, sizeof line, "%g,%.12g\n", x,
                    4.0 * std::erfc(x / (2 * std::sqrt(300.0))));
      csv += line;
    }
    return csv;
  }
};

TEST_F(FitCli, AnExactProfileGivesBackItsValuesAndItsSheetLineComputes) {
  write_file(dir_ / "p.csv", exact_profile());
  const Outcome r = run({"fit", "profile", (dir_ / "p.csv").string(), "--age", "10"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto q = quantities(r.out);
  EXPECT_NEAR(value_of(q, "C_s"), 4.0, 1e-8);
  EXPECT_NEAR(value_of(q, "D_a"), 30.0, 1e-6);
  EXPECT_NEAR(value_of(q, "D_a cm2/a"), 0.30, 1e-8);
  EXPECT_NEAR(value_of(q, "R2"), 1.0, 1e-12);
  EXPECT_EQ(value_of(q, "points_used"), 8);  // the outermost layer left out
  // The points table: nine points, the first out of the regression.
  const auto lines = lines_of(r.out);
  const auto points =
      std::find(lines.begin(), lines.end(),
                "depth_mm,observed_kg_m3,fitted_kg_m3,residual_kg_m3,in_regression");
  ASSERT_NE(points, lines.end());
  ASSERT_EQ(lines.end() - points, 10);
  EXPECT_TRUE(points[1].ends_with(",no"));
  EXPECT_TRUE(points[9].ends_with(",yes"));

  // The line for the sheet types age, D in cm²/a and C_s; with the member's other inputs the
  // sheet computes.
  auto args = words_after(r.err, "to the sheet: pellucor-cli ");
  ASSERT_FALSE(args.empty());
  EXPECT_EQ(args[0], "chloride-constant");
  EXPECT_EQ(args[1], "age=10");
  EXPECT_EQ(args[2], "diffusion=0.3");
  EXPECT_EQ(args[3], "surface=4");
  args.pop_back();  // "..."
  args.insert(args.end(), kConstantRest.begin(), kConstantRest.end());
  const Outcome sheet = run(args);
  EXPECT_EQ(sheet.status, 0) << sheet.err;
  // The scatter options for the reliability analysis: D lognormal, C_s normal.
  const auto mc = words_after(r.err, "to a reliability analysis: pellucor-cli mc ");
  EXPECT_NE(std::find(mc.begin(), mc.end(), "diffusion=lognormal"), mc.end());
  EXPECT_NE(std::find(mc.begin(), mc.end(), "surface=normal"), mc.end());

  // JSON holds the same estimates.
  const Outcome j = run({"fit", "profile", (dir_ / "p.csv").string(), "--age", "10", "-o",
                         (dir_ / "fit.json").string()});
  ASSERT_EQ(j.status, 0) << j.err;
  const std::string json = read_file(dir_ / "fit.json");
  EXPECT_NE(json.find("\"analysis\": \"chloride-profile\""), std::string::npos);
  EXPECT_NE(json.find("\"sheet\": \"chloride-constant\""), std::string::npos);
  EXPECT_NE(json.find("\"diffusion\": \"0.3\""), std::string::npos);
}

TEST_F(FitCli, ContentsInPercentOfConcreteAreConverted) {
  // 0.1 % of 2400 kg/m³ is 2.4 kg/m³: the profile scaled by 1/24 at that density.
  std::string csv = "深度（mm）,氯离子含量\n";
  for (double x : {2.0, 4.0, 6.0, 8.0, 10.0, 12.0, 14.0, 16.0}) {
    char line[64];
    std::snprintf(line, sizeof line, "%g,%.12g\n", x,
                  (0.5 + 3.5 * std::erfc(x / (2 * std::sqrt(20.0 * 8)))) / 24.0);
    csv += line;
  }
  write_file(dir_ / "p.csv", csv);
  const Outcome r =
      run({"fit", "profile", (dir_ / "p.csv").string(), "--age", "8", "--unit", "concrete",
           "--density", "2400", "--background", "fitted", "--keep-first-layer"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto q = quantities(r.out);
  EXPECT_NEAR(value_of(q, "C_s"), 4.0, 1e-6);
  EXPECT_NEAR(value_of(q, "C_i"), 0.5, 1e-6);
  EXPECT_NEAR(value_of(q, "D_a"), 20.0, 1e-4);
  EXPECT_EQ(value_of(q, "points_used"), 8);
  EXPECT_EQ(value_of(q, "parameters"), 3);
}

// Readings and options that give no estimate: the reason in English and Chinese, exit 1 and
// nothing written; a fit that runs but cannot settle is exit 2.
TEST_F(FitCli, RefusedReadingsSayWhyAndWriteNothing) {
  struct Case {
    std::string csv;
    std::vector<std::string> options;
    std::string english;
    std::string chinese;
  };
  const std::string flat =
      "depth,chloride\n1,1\n3,1.1\n5,1.2\n7,1.3\n9,1.4\n11,1.5\n13,1.6\n15,1.7\n";
  const std::string few = "depth,chloride\n1,3\n3,2.5\n5,2\n7,1.5\n9,1\n";
  const Case cases[] = {
      {flat, {"--age", "10"}, "does not fall with depth", "氯离子含量不随深度减小"},
      {few, {"--age", "10"}, "4 points in the regression", "至少需要 6 个"},
      {"depth,chloride\n1,3\n3,abc\n",
       {"--age", "10"},
       "line 3: the chloride 'abc' is not a number",
       "第 3 行的“氯离子含量” 'abc' 不是数"},
      {"depth,chloride\n1,3\n3,\n",
       {"--age", "10"},
       "line 3: the chloride is missing",
       "第 3 行缺少“氯离子含量”"},
      {"1,3\n3,2\n",
       {"--age", "10"},
       "names no column (the first row must name the columns)",
       "首行须写明各列"},
      {"depth,chlorine\n1,3\n", {"--age", "10"}, "'chlorine' names no column", "不是可识别的列名"},
      {"depth\n1\n", {"--age", "10"}, "the column chloride", "缺少列“氯离子含量”"},
      {"depth,chloride\n5,3\n3,2\n",
       {"--age", "10"},
       "does not exceed the previous",
       "不大于上一点"},
      {"depth,chloride\n1,3\n", {"--age", "0"}, "age at sampling must be", "暴露龄期"},
      {"depth,chloride\n1,3\n",
       {"--age", "10", "--unit", "binder"},
       "binder content of",
       "胶凝材料用量"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.english);
    write_file(dir_ / "p.csv", c.csv);
    std::vector<std::string> args = {"fit", "profile", (dir_ / "p.csv").string(), "-o",
                                     (dir_ / "out.csv").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.english), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.chinese), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "out.csv"));
  }
}

// Data that give numbers the analysis cannot stand behind: a nearly flat profile, whose D any
// value above about 10⁴ mm²/a fits (exit 2, the advice to take deeper layers), and cover
// readings whose sum overflows (exit 1). Neither writes a file or a line for a sheet or a
// reliability analysis.
TEST_F(FitCli, WhatTheDataDoNotDetermineIsSaidAndNothingIsHandedOn) {
  struct Case {
    std::string what;
    std::string csv;
    std::vector<std::string> options;
    int status;
    std::string english;
    std::string chinese;
  };
  const Case cases[] = {
      {"profile",
       "depth,chloride\n2.5,3.1\n7.5,2.9\n12.5,3.05\n17.5,2.95\n22.5,2.98\n27.5,3.02\n"
       "32.5,2.88\n37.5,2.97\n42.5,2.93\n47.5,2.9\n",
       {"--age", "10"},
       2,
       "the profile does not determine D_a: any value above",
       "请取更深（或更多）的磨层再拟合"},
      {"cover",
       "cover\n1.7e308\n1.7e308\n1.7e308\n",
       {},
       1,
       "their mean or scatter overflows",
       "读数过大"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.english);
    write_file(dir_ / "in.csv", c.csv);
    std::vector<std::string> args = {"fit", c.what, (dir_ / "in.csv").string(), "-o",
                                     (dir_ / "out.csv").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome r = run(args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.english), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.chinese), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("to the sheet: pellucor-cli"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("--cov"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "out.csv"));
  }
}

TEST_F(FitCli, UsageErrorsAreRefusedBeforeReading) {
  write_file(dir_ / "p.csv", exact_profile());
  const std::string in = (dir_ / "p.csv").string();
  const std::vector<std::vector<std::string>> cases = {
      {"fit", "profile", in},                                     // no age
      {"fit", "slope", in, "--age", "1"},                         // unknown analysis
      {"fit", "profile", in, "--age", "ten"},                     // not a number
      {"fit", "profile", in, "--age", "1", "--density", "2400"},  // density without its unit
      {"fit", "cover", in, "--age", "1"},                         // cover has no age
      {"fit", "carbonation", in, "--age", "1", "--unit", "binder"},
      {"fit", "profile", in, "--age", "1", "--format", "xml"},
      {"fit", "profile", in, "--age", "1", "-o", in},  // the output is the input
      // A workbook's name: the fit writes CSV or JSON, never CSV under a workbook's name.
      {"fit", "profile", in, "--age", "1", "-o", (dir_ / "fit.XLSX").string()},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args.back());
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Try 'pellucor-cli fit --help'"), std::string::npos) << r.err;
  }
  EXPECT_EQ(read_file(dir_ / "p.csv"), exact_profile());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "fit.XLSX"));
}

TEST_F(FitCli, CarbonationReadingsGiveTheMeanCoefficientAndTheSheetsDepth) {
  write_file(dir_ / "c.csv", "碳化深度\n12\n14.5\n9\n0\n16\n");
  const Outcome r = run({"fit", "carbonation", (dir_ / "c.csv").string(), "--age", "25"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto q = quantities(r.out);
  EXPECT_DOUBLE_EQ(value_of(q, "k_mean"), (12 + 14.5 + 9 + 0 + 16) / 5.0 / 5.0);
  EXPECT_DOUBLE_EQ(value_of(q, "depth_mean"), 10.3);
  EXPECT_EQ(value_of(q, "zero_readings"), 1);
  const auto args = words_after(r.err, "to the sheet: pellucor-cli ");
  ASSERT_GE(args.size(), 3U);
  EXPECT_EQ(args[0], "carbonation");
  EXPECT_EQ(args[1], "age=25");
  EXPECT_EQ(args[2], "carbonation-depth=10.3");
  EXPECT_NE(r.err.find("readings of 0"), std::string::npos);
}

TEST_F(FitCli, ACoverSurveyCountsTheReadingsBelowTheDesignCover) {
  write_file(dir_ / "c.csv", "cover\n38\n41.5\n36\n44\n40\n35\n42\n39\n37\n43\n");
  const Outcome r = run({"fit", "cover", (dir_ / "c.csv").string(), "--design-cover", "40",
                         "--sheet", "marine", "--format", "json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"readingsBelowDesign\": 5"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"shareBelowDesignCounted\": 0.5"), std::string::npos);
  EXPECT_NE(r.out.find("\"sheet\": \"marine\""), std::string::npos);
  EXPECT_NE(r.out.find("\"andersonDarling\": {"), std::string::npos);  // 10 readings: tested
  const auto args = words_after(r.err, "to the sheet: pellucor-cli ");
  ASSERT_GE(args.size(), 2U);
  EXPECT_EQ(args[0], "marine");
  EXPECT_EQ(args[1], "cover=39.55");
  // A reading at zero is refused.
  write_file(dir_ / "c.csv", "cover\n38\n0\n");
  const Outcome zero = run({"fit", "cover", (dir_ / "c.csv").string()});
  EXPECT_EQ(zero.status, 1);
  EXPECT_NE(zero.err.find("reading 2 is 0"), std::string::npos) << zero.err;
}

// ---- batch PROJECT ----------------------------------------------------------------------------

const char* const kProject = R"({
  "format": "pellucor-project",
  "schemaVersion": 1,
  "structure": {"name": "桥", "structure": "", "location": "", "owner": "", "engineer": "",
                "date": "", "notes": ""},
  "assessment": {"assessmentAge": null, "targetLife": 50, "gamma": 1,
                 "thresholds": {"a": 1.8, "b": 1}, "limitStates": ["ti", "tc", "td"]},
  "reliability": {"samples": 10000, "seed": 1, "targetBeta": 1.3},
  "members": [
    {"name": "主梁 B1", "sheet": "chloride-constant",
     "boxes": {"Text1": "1.5", "Text2": " 20", "Text3": "0.80", "Text4": "30", "Text5": "40 ",
               "Text6": "20", "Text7": "1.5", "Text8": "5", "Text9": "1.4", "Text10": "",
               "Text13": "20", "Text14": "20"},
     "steel": "2 变形钢筋", "options": ["Option1"], "limitStates": null, "scatter": {},
     "inspection": {"profiles": [], "carbonation": null, "cover": null}},
    {"name": "柱 C-3", "sheet": "carbonation",
     "boxes": {"Text1": "2", "Text2": "15", "Text3": "0.7", "Text4": "30", "Text5": "30",
               "Text6": "60", "Text7": "0.000", "Text8": "1.5", "Text9": "20"},
     "steel": "1 圆钢筋", "options": ["Option1", "Option4"], "limitStates": null, "scatter": {},
     "inspection": {"profiles": [], "carbonation": null, "cover": null}},
    {"name": "梁 B2", "sheet": "chloride-constant",
     "boxes": {"Text1": "1.5", "Text2": "20", "Text3": "0.80", "Text4": "30", "Text5": "50",
               "Text6": "20", "Text7": "1.5", "Text8": "5", "Text9": "1.4", "Text13": "20",
               "Text14": "20"},
     "steel": "2 变形钢筋", "options": [], "limitStates": null, "scatter": {},
     "inspection": {"profiles": [], "carbonation": null, "cover": null}}MORE
  ]
})";

std::string project(const std::string& more = {}) {
  std::string p = kProject;
  p.replace(p.find("MORE"), 4, more);
  return p;
}

class ProjectCli : public CliTest {};

TEST_F(ProjectCli, MembersRunAsTheirSheetsMemberTables) {
  write_file(dir_ / "桥.pellucor", project());
  const Outcome r = run({"batch", (dir_ / "桥.pellucor").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 8U) << r.out;
  EXPECT_EQ(lines[0],
            "\xEF\xBB\xBFsheet: chloride-constant (由氯离子侵蚀引起的钢筋腐蚀（扩散系数取常数）)");
  EXPECT_TRUE(lines[1].starts_with("member,Text1,"));
  EXPECT_TRUE(lines[2].starts_with("主梁 B1,1.5,\" 20\",0.80,"));
  EXPECT_TRUE(lines[3].starts_with("梁 B2,"));
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5], "sheet: carbonation (由中性化引起的钢筋腐蚀)");
  EXPECT_TRUE(lines[7].starts_with("柱 C-3,2,15,0.7,30,30,60,,1.5,20,1 圆钢筋,受拉,室外,ok,"));

  // One sheet's members: the same rows as the member table of that sheet, written as
  // `batch SHEET` writes it.
  const Outcome one = run({"batch", (dir_ / "桥.pellucor").string(), "--sheet", "2"});
  ASSERT_EQ(one.status, 0) << one.err;
  std::string table = "member";
  for (int i = 1; i <= 14; ++i) table += ",Text" + std::to_string(i);
  table +=
      ",Combo1,扩散系数来源\n主梁 B1,1.5, 20,0.80,30,40 ,20,1.5,5,1.4,,,,20,20,2 变形钢筋,"
      "由实测氯浓度推算\n梁 B2,1.5,20,0.80,30,50,20,1.5,5,1.4,,,,20,20,2 变形钢筋,\n";
  write_file(dir_ / "members.csv", table);
  const Outcome direct = run({"batch", "2", (dir_ / "members.csv").string()});
  ASSERT_EQ(direct.status, 0) << direct.err;
  const auto a = lines_of(one.out), b = lines_of(direct.out);
  ASSERT_EQ(a.size(), 3U);
  ASSERT_EQ(b.size(), 3U);
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(a[i].substr(a[i].find(",ok,")), b[i].substr(b[i].find(",ok,"))) << i;
  }
}

TEST_F(ProjectCli, WhatCannotBeTakenIsNamedAndTheStatusSaysSo) {
  write_file(dir_ / "p.pellucor", project(R"(, {"name": "X1", "sheet": "nosuch", "boxes": {}},
    {"name": "B9", "sheet": "chloride-constant", "boxes": {"Text5": "400", "Text19": "1"},
     "steel": "", "options": []})"));
  const Outcome r =
      run({"batch", (dir_ / "p.pellucor").string(), "-o", (dir_ / "out.csv").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("members[3] X1: unknown sheet 'nosuch'"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("members[4] B9/boxes/Text19: the sheet has no such box"), std::string::npos);
  EXPECT_NE(r.err.find("members[4] B9/Text5: the sheet does not take the text '400'"),
            std::string::npos);
  // The member the sheet stops at is in the table with its status.
  const std::string out = read_file(dir_ / "out.csv");
  EXPECT_NE(out.find("\nB9,"), std::string::npos);
  EXPECT_NE(r.err.find("4 members: 3 computed, 1 stopped"), std::string::npos) << r.err;

  // A damaged file and a workbook of several sheets are refused before anything runs.
  write_file(dir_ / "bad.pellucor", project().substr(0, 300));
  const Outcome bad = run({"batch", (dir_ / "bad.pellucor").string()});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("the file is damaged"), std::string::npos) << bad.err;
  const Outcome book =
      run({"batch", (dir_ / "p.pellucor").string(), "-o", (dir_ / "out.xlsx").string()});
  EXPECT_EQ(book.status, 1);
  EXPECT_NE(book.err.find("choose one with --sheet"), std::string::npos) << book.err;
  EXPECT_FALSE(fs::exists(dir_ / "out.xlsx"));
}

}  // namespace
