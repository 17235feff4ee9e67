// pellucor-cli design and assess end to end: the designed value meets the target on the
// sheet's own calculation and a slightly less favourable one does not; the closest end when
// none meets it; the probabilistic form with its error and values file; a project's members
// with their grades, the one the sheet stops listed and counted; the usage errors and
// refusals that compute nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_support.hpp"

namespace {

using namespace pellucor::cli_testing;

const std::vector<std::string> kChloride = {"Text1=1.5", "Text2=20",  "Text3=0.8", "Text4=30",
                                            "Text5=40",  "Text6=20",  "Text7=1.5", "Text8=5",
                                            "Text9=1.4", "Text13=20", "Text14=20", "Combo1=2"};

std::vector<std::string> design(std::vector<std::string> extra) {
  std::vector<std::string> args = {"design", "2"};
  args.insert(args.end(), kChloride.begin(), kChloride.end());
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

// The number after `before` on the line that holds it.
double number_after(const std::string& text, const std::string& before) {
  const auto at = text.find(before);
  EXPECT_NE(at, std::string::npos) << "no '" << before << "' in\n" << text;
  if (at == std::string::npos) return NAN;
  return std::strtod(text.c_str() + at + before.size(), nullptr);
}

class DesignCli : public CliTest {
 protected:
  // t_d of the chloride example with `cover`, by the single-sheet calculation.
  double end_of_life(double cover) {
    std::vector<std::string> args = {"2"};
    for (const auto& a : kChloride) {
      if (!a.starts_with("Text5=")) args.push_back(a);
    }
    char text[64];
    std::snprintf(text, sizeof text, "Text5=%.17g", cover);
    args.emplace_back(text);
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return number_after(r.out, "使用年限:");
  }
};

TEST_F(DesignCli, TheAnswerJustMeetsTheTargetOnTheSheetsOwnCalculation) {
  const Outcome r = run(design({"--solve", "cover", "--target-life", "50", "--limit", "td"}));
  ASSERT_EQ(r.status, 0) << r.err;
  const double answer = number_after(r.out, "cover of at least ");
  EXPECT_GE(end_of_life(answer), 50.0);
  EXPECT_LT(end_of_life(answer - 0.01), 50.0);
  EXPECT_NE(r.out.find("保护层厚度不小于"), std::string::npos);
  EXPECT_NE(r.out.find("status: solved"), std::string::npos);
}

TEST_F(DesignCli, SaysWhichEndComesClosestAndExitsTwo) {
  const Outcome r = run(design({"--solve", "Text5", "--target-life", "500"}));
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.out.find("the end 90 comes closest"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("最接近的是 90 端"), std::string::npos);
}

// The end of the durable life dips below 92.7 a near a humidity of 0.8 between two scan
// values that reach it: the console no longer says that every humidity meets the target
// (exit 0) but that there is no single answer (exit 2), and where the target is met.
TEST_F(DesignCli, ADipBetweenScanValuesIsFoundAndExitsTwo) {
  const Outcome r = run({"design", "1", "Text1=2", "Text2=15", "Text3=0.7", "Text4=30", "Text5=30",
                         "Text6=60", "Text8=1.5", "Text9=20", "Option1=1", "Option4=1", "Combo1=1",
                         "--solve", "humidity", "--target-life", "92.7"});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.out.find("every humidity"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("status: not monotone"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("among the values computed the target is met exactly at 0.77"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("the sheet gives results from 0.45001--"), std::string::npos) << r.out;
}

TEST_F(DesignCli, ProbabilisticDesignGivesItsErrorAndWritesTheValuesTried) {
  const fs::path csv = dir_ / "values.csv";
  const Outcome r = run(design({"--solve", "保护层厚度", "--target-life", "30", "--beta", "0.5",
                                "--samples", "1000", "--seed", "5", "-o", csv.string()}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Monte Carlo standard error of the answer about"), std::string::npos)
      << r.out;
  const auto lines = lines_of(read_file(csv));
  ASSERT_GT(lines.size(), 18U);  // the header, the 17 values of the scan, the bisection
  EXPECT_EQ(lines[0], "cover,beta,failure");
  EXPECT_EQ(lines[1].substr(0, 2), "3,");
  // The same seed gives the same answer; another seed another one.
  const Outcome again = run(design({"--solve", "cover", "--target-life", "30", "--beta", "0.5",
                                    "--samples", "1000", "--seed", "5"}));
  const Outcome other = run(design({"--solve", "cover", "--target-life", "30", "--beta", "0.5",
                                    "--samples", "1000", "--seed", "6"}));
  const double a = number_after(r.out, "cover of at least ");
  EXPECT_EQ(number_after(again.out, "cover of at least "), a);
  EXPECT_NE(number_after(other.out, "cover of at least "), a);
}

TEST_F(DesignCli, RefusesWithoutComputing) {
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const fs::path out = dir_ / "values.csv";
  const Case cases[] = {
      {design({}), "--solve names the input"},
      {design({"--solve", "colour"}), "has no numeric input 'colour'"},
      {design({"--solve", "cover", "--limit", "tx"}), "unknown limit state 'tx'"},
      {design({"--solve", "cover", "--samples", "100"}), "--samples applies to the probabilistic"},
      {design({"--solve", "cover", "--target-life", "fifty"}), "no valid number"},
      {design({"--solve", "cracking-time", "-o", out.string()}), "starting value of an iteration"},
      {design({"--solve", "cover", "--target-life", "-5"}), "target life must be a number"},
      {design({"--solve", "cover", "--beta", "1.3", "--cov", "surface=-0.2"}),
       "coefficient of variation"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    const Outcome r = run(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  EXPECT_FALSE(fs::exists(out));
}

// ---- assess ---------------------------------------------------------------------------------

// A project of three members: the carbonation example, the chloride example, and the chloride
// example without its critical concentration (its sheet stops).
constexpr const char* kProject = R"({
  "format": "pellucor-project",
  "schemaVersion": 1,
  "structure": {"name": "码头评估", "structure": "高桩码头", "location": "", "owner": "",
                "engineer": "李工", "date": "2026-12", "notes": ""},
  "assessment": {"assessmentAge": null, "targetLife": 100, "gamma": 1.0,
                 "thresholds": {"a": 1.8, "b": 1.0}, "limitStates": ["ti", "tc", "td"]},
  "reliability": {"samples": 1000, "seed": 1, "targetBeta": 1.3},
  "members": [
    {"name": "柱 C1", "sheet": "carbonation",
     "boxes": {"Text1": "2", "Text2": "15", "Text3": "0.7", "Text4": "30", "Text5": "30",
               "Text6": "60", "Text8": "1.5", "Text9": "20"},
     "steel": "1 圆钢筋", "options": ["Option1", "Option4"], "limitStates": ["td"],
     "scatter": {}, "inspection": {"profiles": [], "carbonation": null, "cover": null}},
    {"name": "梁 B1", "sheet": "chloride-constant",
     "boxes": {"Text1": "1.5", "Text2": "20", "Text3": "0.8", "Text4": "30", "Text5": "40",
               "Text6": "20", "Text7": "1.5", "Text8": "5", "Text9": "1.4", "Text13": "20",
               "Text14": "20"},
     "steel": "2 变形钢筋", "options": ["Option1"], "limitStates": null,
     "scatter": {}, "inspection": {"profiles": [], "carbonation": null, "cover": null}},
    {"name": "梁 B2", "sheet": "chloride-constant",
     "boxes": {"Text1": "1.5", "Text2": "20", "Text3": "0.8", "Text4": "30", "Text5": "40",
               "Text6": "20", "Text7": "1.5", "Text8": "5", "Text13": "20", "Text14": "20"},
     "steel": "2 变形钢筋", "options": ["Option1"], "limitStates": null,
     "scatter": {}, "inspection": {"profiles": [], "carbonation": null, "cover": null}}
  ]
})";

class AssessCli : public CliTest {
 protected:
  fs::path project() {
    const fs::path p = dir_ / "wharf.pellucor";
    write_file(p, kProject);
    return p;
  }
  // The tab-separated row of the member `name` in the printed table.
  std::vector<std::string> row_of(const std::string& out, const std::string& name) {
    for (const auto& line : lines_of(out)) {
      if (!line.starts_with(name + "\t")) continue;
      std::vector<std::string> cells;
      std::size_t start = 0;
      for (;;) {
        const auto tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
      }
      return cells;
    }
    ADD_FAILURE() << "no row of " << name << " in\n" << out;
    return {};
  }
};

TEST_F(AssessCli, GradesEveryMemberAndCountsTheOneItCannot) {
  const fs::path table = dir_ / "grades.csv";
  const Outcome r = run({"assess", project().string(), "-o", table.string()});
  EXPECT_EQ(r.status, 2) << r.err;  // one member not assessed
  // The chloride beam: its t_i of 3.99 a (the sheet's own report) came before t0 = 20 a.
  const auto beam = row_of(r.out, "梁 B1");
  ASSERT_EQ(beam.size(), 7U);
  EXPECT_EQ(beam[2], "钢筋开始锈蚀");
  EXPECT_EQ(beam[4], "已超过");
  EXPECT_EQ(beam[5], "c");
  // The column counts t_d only: its remaining life and margin against 100 - 60 = 40 a.
  const auto column = row_of(r.out, "柱 C1");
  ASSERT_EQ(column.size(), 7U);
  EXPECT_EQ(column[2], "耐久性终结");
  const double remaining = std::strtod(column[3].c_str(), nullptr);
  EXPECT_NEAR(std::strtod(column[4].c_str(), nullptr), remaining / 40, 0.006);
  const auto stopped = row_of(r.out, "梁 B2");
  EXPECT_EQ(stopped[5], "未评定");
  EXPECT_NE(stopped[6].find("您未输入氯离子临界浓度"), std::string::npos);
  EXPECT_NE(r.out.find("not assessed 1"), std::string::npos) << r.out;
  // The file holds the same table.
  const auto lines = lines_of(read_file(table));
  ASSERT_EQ(lines.size(), 4U);
  EXPECT_NE(lines[0].find("构件,计算表,控制极限状态"), std::string::npos) << lines[0];
}

TEST_F(AssessCli, OptionsReplaceTheProjectsSettingsForTheRun) {
  const fs::path p = project();
  const std::string before = read_file(p);
  const Outcome r =
      run({"assess", p.string(), "--limits", "td", "--target-life", "40", "--thresholds", "2,1"});
  const auto beam = row_of(r.out, "梁 B1");
  ASSERT_EQ(beam.size(), 7U);
  EXPECT_EQ(beam[2], "耐久性终结");
  EXPECT_NE(r.out.find("目标使用年限 T = 40 a"), std::string::npos);
  EXPECT_NE(r.out.find("ξ ≥ 2 为 a 级"), std::string::npos);
  EXPECT_EQ(read_file(p), before);  // the project file is not changed
}

TEST_F(AssessCli, ReliabilityRunsAddBetaColumns) {
  const Outcome r = run({"assess", project().string(), "--reliability", "--samples", "500"});
  const auto column = row_of(r.out, "柱 C1");
  ASSERT_EQ(column.size(), 11U);
  EXPECT_FALSE(column[6].empty());  // β at the target life
  EXPECT_EQ(column[7], "1.30");     // its target
  EXPECT_TRUE(column[8] == "a" || column[8] == "b" || column[8] == "c") << column[8];
  EXPECT_NE(r.out.find("reliability: 500 samples, seed 1"), std::string::npos);
}

// With --updated a member with inspection data is graded from its posterior beta, and every
// member's note says where its beta grade comes from.
TEST_F(AssessCli, UpdatedGradesFromThePosteriorAndSaysSo) {
  std::string project = kProject;
  std::string depths;
  for (int j = 0; j < 30; ++j) depths += (j ? ", " : "") + std::to_string(8 + 0.2 * (j % 7));
  const std::string none = R"("inspection": {"profiles": [], "carbonation": null, "cover": null})";
  project.replace(project.find(none), none.size(),
                  R"("inspection": {"profiles": [], "carbonation": {"ageYears": 42, "depthMm": [)" +
                      depths + "]}, \"cover\": null}");
  write_file(dir_ / "p.pellucor", project);
  const std::string p = (dir_ / "p.pellucor").string();
  const Outcome r = run({"assess", p, "--reliability", "--updated", "--samples", "1000"});
  EXPECT_EQ(r.status, 2) << r.err;  // 梁 B2 stops, as without --updated
  EXPECT_NE(r.out.find("按 β 的等级：有检测数据的 1 个构件按检测数据更新后的后验 β 评级，0 个更新后"
                       "未评级，1 个无检测数据，按先验 β 评级："),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  柱 C1：先验 "), std::string::npos);
  EXPECT_EQ(row_of(r.out, "柱 C1").back(), "按 β 的等级取自按检测数据更新后的后验");
  EXPECT_EQ(row_of(r.out, "梁 B1").back(), "无检测数据：按 β 的等级为先验");
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"assess", p, "--updated"}, {"assess", p, "--reliability", "--depth-cov", "0.2"}}) {
    const Outcome refused = run(args);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("applies to the"), std::string::npos) << refused.err;
  }
}

TEST_F(AssessCli, RefusesWithoutComputing) {
  const fs::path p = project();
  write_file(dir_ / "broken.pellucor", "{\"format\": \"pellucor-project\", ");
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"assess"}, "no project file given"},
      {{"assess", (dir_ / "none.pellucor").string()}, "cannot read"},
      {{"assess", (dir_ / "broken.pellucor").string()}, "damaged"},
      {{"assess", p.string(), "--gamma", "0"}, "gamma must be a number above 0"},
      {{"assess", p.string(), "--limits", "td,xx"}, "unknown limit state 'xx'"},
      {{"assess", p.string(), "--samples", "10"}, "--samples applies to the reliability runs"},
      {{"assess", p.string(), "-o", p.string()}, "are the same file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    const Outcome r = run(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
}

// Each of these files once ended the program, passed a number the data do not determine, or was
// graded as if it meant something: now each is refused (or its member not graded) with a message
// that names the file and the place in it, and the documented exit status.
TEST_F(AssessCli, RefusesHostileAndMeaninglessProjectsNamingTheFileAndThePlace) {
  const std::string good = kProject;
  auto changed = [&good](const std::string& from, const std::string& to) {
    std::string s = good;
    const auto at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) s.replace(at, from.size(), to);
    return s;
  };
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> options;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {"number out of range",
       R"({"format":"pellucor-project","schemaVersion":1,"assessment":{"targetLife":1e400}})",
       {},
       1,
       "line 1, column 75: the number 1e400 is out of range"},
      {"format a number", R"({"format": 5, "schemaVersion": 1})", {}, 1, "/format"},
      {"100 000 nested lists",
       changed(R"("options": ["Option1", "Option4"])",
               R"("options": )" + std::string(100000, '[') + std::string(100000, ']')),
       {},
       1,
       "nested more than 64 levels deep"},
      {"a key twice",
       changed(R"("seed": 1,)", R"("seed": 1, "seed": 2,)"),
       {},
       1,
       "(/reliability/seed): the key 'seed' is given twice in one object"},
      {"no member list",
       R"({"format": "pellucor-project", "schemaVersion": 1})",
       {},
       1,
       "the project holds no member to assess"},
      {"gamma 1e-308",
       changed(R"("gamma": 1.0)", R"("gamma": 1e-308)"),
       {},
       1,
       "(/assessment: the factor gamma must lie between 0.1 and 10"},
      {"target life 1e308",
       changed(R"("targetLife": 100)", R"("targetLife": 1e308)"),
       {},
       1,
       "the target service life must be at most 1000 a"},
      {"target beta 1e300",
       changed(R"("targetBeta": 1.3)", R"("targetBeta": 1e300)"),
       {"--reliability", "--samples", "100"},
       1,
       "target reliability index must lie between 0"},
      {"two members of one name",
       changed(R"("name": "梁 B2")", R"("name": "梁 B1")"),
       {},
       1,
       "members[2] 梁 B1: the member name '梁 B1' is already the name of members[1]"},
      {"a limit state twice",
       changed(R"("limitStates": ["td"])", R"("limitStates": ["td","td"])"),
       {},
       2,
       "members[0] 柱 C1/limitStates: the limit state td is given twice"},
      {"a name of 350 000 characters",
       changed("柱 C1", std::string(350000, 'x')),
       {},
       1,
       "members[0]/name: the member name of 350000 characters"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path p = dir_ / "hostile.pellucor";
    write_file(p, c.bytes);
    std::vector<std::string> args = {"assess", p.string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome r = run(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    if (c.status == 1) {
      EXPECT_NE(r.err.find(p.string() + ": "), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("nothing was computed"), std::string::npos) << r.err;
      EXPECT_TRUE(r.out.empty()) << r.out;
    }
  }
  // The same index given on the command line: a usage error.
  write_file(dir_ / "wharf.pellucor", good);
  const Outcome r = run(
      {"assess", (dir_ / "wharf.pellucor").string(), "--reliability", "--target-beta", "1e300"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--target-beta: the target reliability index must lie between 0"),
            std::string::npos)
      << r.err;
}

// A name is printed as what it holds: an escape cannot clear the screen, recolour the
// terminal, write over the line or turn the text round.
TEST_F(AssessCli, PrintsControlCharactersInNamesAsEscapes) {
  std::string bytes = kProject;
  bytes.replace(bytes.find("柱 C1"), std::string("柱 C1").size(), R"(\u001b[2J柱\r\u202e C1)");
  bytes.replace(bytes.find(R"("sheet": "carbonation",)"), 23,
                R"("sheet": "carbonation", "x\u001b": 1,)");
  const fs::path p = dir_ / "names.pellucor";
  write_file(p, bytes);
  const Outcome r = run({"assess", p.string()});
  EXPECT_EQ(r.status, 2) << r.err;  // a part of a member skipped, and one member not assessed
  for (const std::string* text : {&r.out, &r.err}) {
    EXPECT_EQ(text->find('\x1b'), std::string::npos);
    EXPECT_EQ(text->find('\r'), std::string::npos);
    EXPECT_EQ(text->find("\u202e"), std::string::npos);
  }
  EXPECT_NE(r.out.find("\\u001B[2J柱\\r\\u202E C1\t碳化"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("members[0] \\u001B[2J柱\\r\\u202E C1/x\\u001B: unknown entry"),
            std::string::npos)
      << r.err;
}

}  // namespace
