// pellucor-cli mc end to end: a run that agrees with the single-sheet calculation, the curves
// file, independence of the thread count, and the input it refuses without computing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli_support.hpp"

namespace {

using namespace pellucor::cli_testing;

const std::vector<std::string> kCarbonation = {
    "carbonation", "environment=2", "temperature=15", "humidity=0.7", "strength=30", "cover=30",
    "age=60",      "co2=1.5",       "diameter=20",    "outdoor=1",    "steel=1"};

class McCli : public CliTest {
 protected:
  // "mc", the carbonation example and `extra`; an extra NAME=TEXT replaces the example's.
  static std::vector<std::string> mc(std::vector<std::string> extra) {
    std::vector<std::string> args = {"mc"};
    for (const auto& a : kCarbonation) {
      const std::string name = a.substr(0, a.find('=') + 1);
      bool replaced = false;
      for (const auto& e : extra) replaced = replaced || (!name.empty() && e.starts_with(name));
      if (!replaced) args.push_back(a);
    }
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
};

// The line of `lines` that starts with `prefix` (after blanks), split at blanks.
std::vector<std::string> fields_of(const std::vector<std::string>& lines,
                                   const std::string& prefix) {
  for (const auto& line : lines) {
    if (line.find_first_not_of(' ') == std::string::npos) continue;
    if (line.substr(line.find_first_not_of(' ')).starts_with(prefix)) {
      std::istringstream in(line.substr(line.find_first_not_of(' ') + prefix.size()));
      std::vector<std::string> fields;
      for (std::string f; in >> f;) fields.push_back(f);
      return fields;
    }
  }
  ADD_FAILURE() << "no line starting with '" << prefix << "'";
  return {};
}

TEST_F(McCli, WithoutScatterThePercentilesAreTheSheetsOwnResult) {
  const Outcome single = run(kCarbonation);
  ASSERT_EQ(single.status, 0) << single.err;
  double ti = 0;
  for (const auto& line : lines_of(single.out)) {
    if (line.starts_with("钢筋开始锈蚀时间:")) {
      ti = std::strtod(line.c_str() + std::string("钢筋开始锈蚀时间:").size(), nullptr);
    }
  }
  ASSERT_GT(ti, 0);

  const Outcome r =
      run(mc({"--cov=environment=0", "--cov=temperature=0", "--cov=humidity=0", "--cov=strength=0",
              "--cov=cover=0", "--cov=co2=0", "--samples", "50"}));
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = lines_of(r.out);
  const auto percentiles = fields_of(lines, "initiation t_i");  // the percentile line
  ASSERT_EQ(percentiles.size(), 3u);
  for (const auto& p : percentiles) EXPECT_NEAR(std::strtod(p.c_str(), nullptr), ti, 0.006);
  EXPECT_NE(r.out.find("50 ran to the end"), std::string::npos) << r.out;
}

TEST_F(McCli, CurvesFileAndResultsDoNotDependOnTheThreads) {
  const fs::path one = dir_ / "one.csv";
  const fs::path two = dir_ / "two.csv";
  const Outcome a =
      run(mc({"--samples", "3000", "--seed", "11", "--threads", "1", "-o", one.string()}));
  const Outcome b = run(mc({"--samples=3000", "--seed=11", "--threads=2", "-o", two.string()}));
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  const auto aLines = lines_of(a.out), bLines = lines_of(b.out);
  ASSERT_EQ(aLines.size(), bLines.size());
  for (std::size_t i = 0; i + 1 < aLines.size(); ++i) EXPECT_EQ(aLines[i], bLines[i]);
  EXPECT_EQ(read_file(one), read_file(two));

  const auto csv = lines_of(read_file(one));
  ASSERT_EQ(csv.size(), 102u);  // header and 101 ages
  EXPECT_EQ(csv[0],
            "age_a,P_ti,SE_ti,beta_ti,beta_bound_ti,P_low_ti,P_tc,SE_tc,beta_tc,beta_bound_tc,"
            "P_low_tc,P_td,SE_td,beta_td,beta_bound_td,P_low_td");
  // No sample fails at age 0: beta is only bounded, by the binomial rule for 3000 samples.
  EXPECT_EQ(csv[1], "0,0,0,3.090803328,>,0,0,0,3.090803328,>,0,0,0,3.090803328,>,0");
  EXPECT_EQ(a.out.find("inf"), std::string::npos) << a.out;
  EXPECT_EQ(a.out.find("nan"), std::string::npos) << a.out;
  // The probabilities never fall with age and cracking never comes before initiation.
  double previous = 0;
  for (std::size_t i = 1; i < csv.size(); ++i) {
    std::vector<double> v;
    std::istringstream in(csv[i]);
    for (std::string cell; std::getline(in, cell, ',');)
      v.push_back(std::strtod(cell.c_str(), nullptr));
    ASSERT_EQ(v.size(), 16u) << csv[i];
    EXPECT_GE(v[1], previous);
    EXPECT_GE(v[1], v[6]);
    EXPECT_GE(v[6], v[11]);
    EXPECT_GE(v[1], v[5]);  // the headline at or above the lower bound
    previous = v[1];
  }
  EXPECT_GT(previous, 0.9);
  // Another seed, other samples.
  const Outcome c = run(mc({"--samples", "3000", "--seed", "12"}));
  EXPECT_NE(fields_of(lines_of(c.out), "initiation t_i"), fields_of(aLines, "initiation t_i"));
}

TEST_F(McCli, StoppedSamplesAreSaidFirstInChineseAndCountedInTheCurves) {
  // The marine example with a surface chloride close to the critical one: many samples have
  // C_cr >= C_s, which the sheet refuses; they never initiate.
  const fs::path csv = dir_ / "marine.csv";
  const Outcome r = run({"mc",
                         "marine",
                         "environment=1.5",
                         "temperature=20",
                         "humidity=0.8",
                         "strength=30",
                         "cover=40",
                         "age=20",
                         "diffusion=1.5",
                         "surface=1.8",
                         "critical=1.4",
                         "cracking-time=20",
                         "diameter=20",
                         "accumulation=1.0",
                         "stable-time=25",
                         "initiation-time=10",
                         "t2=5",
                         "steel=2",
                         "--samples=2000",
                         "-o",
                         csv.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = lines_of(r.out);
  ASSERT_GE(lines.size(), 3u);
  // Right under the sheet's caption, before the inputs and the results.
  EXPECT_TRUE(lines[1].starts_with("注意：2000 个样本中有 ")) << lines[1];
  EXPECT_NE(r.out.find("一致性检查：临界浓度不低于表面浓度：永远达不到开始锈蚀"), std::string::npos)
      << r.out;
  EXPECT_LT(r.out.find("注意："), r.out.find("inputs ("));
  EXPECT_NE(r.out.find("initiation time: 按临界浓度交点 (crossing)"), std::string::npos);
  EXPECT_EQ(r.out.find("inf"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("nan"), std::string::npos) << r.out;
  const auto curves = lines_of(read_file(csv));
  ASSERT_EQ(curves.size(), 102u);
  EXPECT_TRUE(curves[0].ends_with(",P_low_td,ti_method")) << curves[0];
  EXPECT_TRUE(curves[50].ends_with(",crossing")) << curves[50];
  EXPECT_EQ(read_file(csv).find("inf"), std::string::npos);
}

// The marine example; `initiation` is the start value of the sheet's search.
std::vector<std::string> marine_mc(const std::string& initiation) {
  return {"mc",
          "marine",
          "environment=1.5",
          "temperature=20",
          "humidity=0.8",
          "strength=30",
          "cover=40",
          "age=20",
          "diffusion=1.5",
          "surface=5",
          "critical=1.4",
          "cracking-time=20",
          "diameter=20",
          "accumulation=1.0",
          "stable-time=25",
          "initiation-time=" + initiation,
          "t2=5",
          "steel=2",
          "--samples=2000",
          "--seed=11"};
}

TEST_F(McCli, MarineInitiationAtTheCrossingDoesNotFollowTheSearchsStartValue) {
  auto with = [](std::vector<std::string> args, std::vector<std::string> extra) {
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  const Outcome crossing5 = run(marine_mc("5"));
  const Outcome crossing20 = run(with(marine_mc("20"), {"--initiation", "crossing"}));
  const Outcome search5 = run(with(marine_mc("5"), {"--initiation=sheet-search"}));
  const Outcome search20 = run(with(marine_mc("20"), {"--initiation=sheet-search"}));
  for (const Outcome* o : {&crossing5, &crossing20, &search5, &search20}) {
    ASSERT_EQ(o->status, 0) << o->err;
  }
  EXPECT_NE(crossing5.out.find("initiation time: 按临界浓度交点 (crossing)"), std::string::npos);
  EXPECT_NE(search5.out.find("initiation time: 按表单算法 (sheet-search)"), std::string::npos);
  const auto ti = [](const Outcome& o) { return fields_of(lines_of(o.out), "initiation t_i"); };
  EXPECT_EQ(ti(crossing5), ti(crossing20));
  EXPECT_NE(ti(search5), ti(search20));
  EXPECT_NE(ti(crossing5), ti(search5));
}

TEST_F(McCli, EverySettingOfTheAnalysisIsTakenAndShown) {
  const Outcome r = run({"mc",
                         "3",
                         "environment=1",
                         "temperature=20",
                         "humidity=0.8",
                         "strength=30",
                         "cover=30",
                         "age=10",
                         "exponent=0.3",
                         "surface=5",
                         "critical=1.4",
                         "depth=20",
                         "measured=2",
                         "cracking-time=20",
                         "diameter=20",
                         "steel=2",
                         "--binder=slag",
                         "--sd",
                         "cover=6",
                         "--cov=diameter=0.05",
                         "--model-cov",
                         "td=0.3",
                         "--model-cov=ti=0.1",
                         "--target-age=30",
                         "--target-beta-ti=2",
                         "--target-beta-tc=2.5",
                         "--target-beta=1.8",
                         "--stop-cov=0.05",
                         "--samples=64000"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string& o = r.out;
  for (const char* expected : {
           "Text5 (cover)                30  sd 6 normal in 3..90 (given)",
           "Text13 (diameter)            20  CoV 0.05 normal in 8..40 (given)",
           "Text7 (exponent)             0.3  sd 0.2 beta in 0.1..0.6 (default)",
           "binder (sets the default scatter of the ageing exponent): slag",
           "CoV t_i 0.100, t_c 0.000, t_d 0.300",
           "at the target age 30 a",
           "(t_i 2.00, t_c 2.50, t_d 1.80)",
           "stopping rule: CoV of P(t_d <= target age) below 0.050: met",
       }) {
    EXPECT_NE(o.find(expected), std::string::npos) << expected << "\n" << o;
  }
  // The rule stopped the run before the most samples, at a round's end (1000, 2000, 4000, ...).
  const auto samples = fields_of(lines_of(o), "samples");
  ASSERT_FALSE(samples.empty());
  const long n = std::strtol(samples[0].c_str(), nullptr, 10);
  EXPECT_LT(n, 64000);
  EXPECT_EQ(n % 1000, 0);
}

TEST_F(McCli, BadInputIsRefusedAndNothingIsComputed) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--cov=cover=-0.1"}, "coefficient of variation of Text5 (cover)"},
      {{"--cov=cover=abc"}, "'abc' is no valid number for --cov cover"},
      {{"--samples", "0"}, "sample count must lie between 1 and 10000000"},
      {{"--samples", "10000001"}, "sample count must lie between 1 and 10000000"},
      {{"cover=95"}, "您输入的保护层厚度不在有效范围！请输入 3--90 间的数!"},
      {{"--cov", "depth=0.1"}, "sheet 1 has no numeric input 'depth'"},
      {{"--dist=cover=uniform"}, "unknown distribution 'uniform'"},
      {{"colour=3"}, "unknown control or alias 'colour'"},
      {{"steel=4"}, "steel: '4' is no steel kind"},
      {{"Text5=30"}, "Text5 given twice"},
      {{"--binder=slag"}, "sheet 1 has no ageing exponent"},
      {{"--binder=lime"}, "unknown binder 'lime'"},
      {{"--initiation=crossing"}, "sheet 1 has one way to its initiation time"},
      {{"--model-cov=tx=0.2"}, "unknown time 'tx' for --model-cov"},
      {{"--model-cov=td=-0.2"}, "model-uncertainty factor must be a number of 0 or more"},
      {{"--cov=cover=0.1", "--sd=cover=5"}, "cover is given a scatter twice"},
      {{"--sd=cover=x"}, "'x' is no valid number for --sd cover"},
      {{"--target-age=0"}, "the target age must be a number above 0"},
      {{"--stop-cov=-1"}, "stopping rule must be a number of 0 or more"},
      {{"--target-beta-tc=x"}, "'x' is no valid number for --target-beta-tc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    std::vector<std::string> extra = c.args;
    extra.insert(extra.end(), {"-o", (dir_ / "curves.csv").string()});
    const Outcome r = run(mc(extra));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(dir_ / "curves.csv"));
  }
  // The sheet's own not-entered check: no steel kind chosen.
  std::vector<std::string> noSteel = {"mc"};
  noSteel.insert(noSteel.end(), kCarbonation.begin(), kCarbonation.end() - 1);
  const Outcome r = run(noSteel);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("您未选择钢筋种类，请从下拉列表中选择一种钢筋!"), std::string::npos)
      << r.err;
}

// ---- updated with the member's measurements ------------------------------------------------

// Twenty phenolphthalein depths at 42 a, as a CSV file with its header.
std::string depths_csv(int readings = 20) {
  std::string csv = "depth (mm)\n";
  for (int j = 0; j < readings; ++j) csv += std::to_string(7 + 0.25 * (j % 9)) + "\n";
  return csv;
}

TEST_F(McCli, UpdatedWithReadingsFilesPriorAgainstPosteriorWhateverTheThreads) {
  write_file(dir_ / "depths.csv", depths_csv());
  std::string first, firstCurves, firstPredictive;
  for (const char* threads : {"1", "3"}) {
    SCOPED_TRACE(threads);
    const Outcome r =
        run(mc({"--depths", (dir_ / "depths.csv").string(), "--depths-age", "42", "--samples",
                "2000", "--threads", threads, "-o", (dir_ / "curves.csv").string(), "--predictive",
                (dir_ / "predictive.csv").string()}));
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* expected : {
             "update with the member's measurements:",
             "  carbonation depths: 20 readings at 42 a; lognormal error (mean 1), CoV ",
             "(estimated from the scatter of the readings)",
             "diagnostics: met",
             "prior against posterior at the target age 60 a:",
             "inputs: mean, CoV and 90% interval, prior | posterior:",
             "posterior predictive carbonation depth, mm, against age",
         }) {
      EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
    // The readings (about 8 mm at 42 a) lie far below the prior's depths: initiation by 60 a
    // becomes much less probable.
    const auto p = fields_of(r.lines(), "P(t_i <= age)");
    ASSERT_GE(p.size(), 2u);
    EXPECT_LT(std::stod(p[1]), std::stod(p[0]) - 0.2);
    const std::string curves = read_file(dir_ / "curves.csv");
    EXPECT_TRUE(curves.starts_with("age_a,P_ti_prior,beta_ti_prior,beta_bound_ti_prior,"));
    const std::string predictive = read_file(dir_ / "predictive.csv");
    EXPECT_NE(predictive.find("carbonation depth,42,a,"), std::string::npos);
    EXPECT_NE(predictive.find(",mm,yes\r\n"), std::string::npos);
    if (first.empty()) {
      first = r.out;
      firstCurves = curves;
      firstPredictive = predictive;
    } else {
      EXPECT_EQ(r.out, first);
      EXPECT_EQ(curves, firstCurves);
      EXPECT_EQ(predictive, firstPredictive);
    }
  }
}

TEST_F(McCli, AnUpdateBelowItsDiagnosticsSaysSoFirstAndEndsWithTwo) {
  write_file(dir_ / "depths.csv", depths_csv(50));
  const Outcome r = run(
      mc({"--depths", (dir_ / "depths.csv").string(), "--depths-age", "42", "--samples", "30"}));
  EXPECT_EQ(r.status, 2);
  const auto lines = r.lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], "注意：按检测数据更新的诊断未通过，以下后验结果不可靠，不据以评级：");
  EXPECT_NE(r.out.find("diagnostics: NOT met; the posterior is not graded:"), std::string::npos);
  EXPECT_NE(r.err.find("does not meet its diagnostics"), std::string::npos) << r.err;
}

TEST_F(McCli, AnUpdateRefusesWhatItCannotTakeAndComputesNothing) {
  write_file(dir_ / "depths.csv", depths_csv());
  write_file(dir_ / "negative.csv", "depth\n5\n-1\n");
  write_file(dir_ / "width.csv", "width\n5\n6\n");
  write_file(dir_ / "core.csv", "depth,chloride\n2,4\n6,3\n10,2.2\n14,1.5\n18,1\n22,0.6\n26,0.4\n");
  const std::string depths = (dir_ / "depths.csv").string();
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--depths", depths, "--depths", depths, "--depths-age", "42"},
       "each --depths FILE needs its --depths-age"},
      {{"--depths", (dir_ / "none.csv").string(), "--depths-age", "42"}, "cannot read"},
      {{"--depths", (dir_ / "negative.csv").string(), "--depths-age", "42"},
       "reading 2 is not a number of 0 or more"},
      {{"--depths", (dir_ / "width.csv").string(), "--depths-age", "42"}, "width"},
      {{"--depths", depths, "--depths-age", "42", "--depth-cov", "0"},
       "the error's coefficient of variation must be above 0"},
      {{"--profile", (dir_ / "core.csv").string(), "--profile-age", "20"},
       "gives no chloride content"},
      {{"--corrosion-depth", "0.1"}, "--corrosion-depth and --corrosion-depth-sd go together"},
      {{"--member", "C1"}, "--update PROJECT and --member NAME go together"},
      {{"--depths", depths, "--depths-age", "42", "--samples", "1000001"}, "at most 1000000"},
      {{"--depths", depths, "--depths-age", "42", "--stop-cov", "0.1"},
       "--stop-cov does not apply to an update"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> extra = c.args;
    extra.insert(extra.end(), {"-o", (dir_ / "curves.csv").string()});
    const Outcome r = run(mc(extra));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(dir_ / "curves.csv"));
  }
}

// A project's member: its sheet, texts and scatter, and the readings of its inspection.
TEST_F(McCli, UpdatesAProjectsMemberWithItsInspectionData) {
  std::string depths;
  for (int j = 0; j < 30; ++j) depths += (j ? ", " : "") + std::to_string(8 + 0.2 * (j % 7));
  const std::string project = R"({"format": "pellucor-project", "schemaVersion": 1,
    "structure": {"name": "", "structure": "", "location": "", "owner": "", "engineer": "",
                  "date": "", "notes": ""},
    "assessment": {"assessmentAge": null, "targetLife": 50, "gamma": 1.0,
                   "thresholds": {"a": 1.8, "b": 1.0}, "limitStates": ["ti", "tc", "td"]},
    "reliability": {"samples": 1000, "seed": 1, "targetBeta": 1.3},
    "members": [
      {"name": "柱 C1", "sheet": "carbonation",
       "boxes": {"Text1": "2", "Text2": "15", "Text3": "0.7", "Text4": "30", "Text5": "30",
                 "Text6": "60", "Text8": "1.5", "Text9": "20"},
       "steel": "1 圆钢筋", "options": ["Option1", "Option4"], "limitStates": null,
       "scatter": {"Text8": {"cov": 0.2, "law": "lognormal"}},
       "inspection": {"profiles": [], "carbonation": {"ageYears": 42, "depthMm": [)" +
                              depths + R"(]},
                      "cover": {"readingsMm": [26, 28, 27, 30, 25, 29, 27, 28, 26, 31]}}}]})";
  write_file(dir_ / "p.pellucor", project);
  const std::string p = (dir_ / "p.pellucor").string();
  const Outcome r = run({"mc", "--update", p, "--member", "柱 C1", "--samples", "2000"});
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  for (const char* expected : {
           "Sheet 1: ",
           "member: 柱 C1",
           "Text8 (co2)                  1.5  CoV 0.2 lognormal",  // the member's own scatter
           "carbonation depths: 30 readings at 42 a",
           "cover: its law updated by 10 readings (mean 27.7 mm",
       }) {
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  }
  const Outcome wrongSheet = run({"mc", "marine", "--update", p, "--member", "柱 C1"});
  EXPECT_EQ(wrongSheet.status, 1);
  EXPECT_NE(wrongSheet.err.find("is on sheet carbonation, not marine"), std::string::npos);
  const Outcome texts = run({"mc", "1", "cover=40", "--update", p, "--member", "柱 C1"});
  EXPECT_EQ(texts.status, 1);
  EXPECT_NE(texts.err.find("the sheet's texts are the member's"), std::string::npos);
  const Outcome nobody = run({"mc", "--update", p, "--member", "梁 B9"});
  EXPECT_EQ(nobody.status, 1);
  EXPECT_NE(nobody.err.find("no member '梁 B9'"), std::string::npos);
}

}  // namespace
