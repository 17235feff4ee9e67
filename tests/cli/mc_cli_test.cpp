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

  fs::path dir_;
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

  const Outcome r = run(mc({"--cov=temperature=0", "--cov=humidity=0", "--cov=strength=0",
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
  const Outcome a = run(mc({"--samples", "3000", "--seed", "11", "--threads", "1", "-o", one}));
  const Outcome b = run(mc({"--samples=3000", "--seed=11", "--threads=2", "-o", two}));
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  const auto aLines = lines_of(a.out), bLines = lines_of(b.out);
  ASSERT_EQ(aLines.size(), bLines.size());
  for (std::size_t i = 0; i + 1 < aLines.size(); ++i) EXPECT_EQ(aLines[i], bLines[i]);
  EXPECT_EQ(read_file(one), read_file(two));

  const auto csv = lines_of(read_file(one));
  ASSERT_EQ(csv.size(), 102u);  // header and 101 ages
  EXPECT_EQ(csv[0], "age_a,P_ti,SE_ti,beta_ti,P_tc,SE_tc,beta_tc,P_td,SE_td,beta_td");
  EXPECT_EQ(csv[1], "0,0,0,inf,0,0,inf,0,0,inf");
  // The probabilities never fall with age and cracking never comes before initiation.
  double previous = 0;
  for (std::size_t i = 1; i < csv.size(); ++i) {
    std::vector<double> v;
    std::istringstream in(csv[i]);
    for (std::string cell; std::getline(in, cell, ',');)
      v.push_back(std::strtod(cell.c_str(), nullptr));
    ASSERT_EQ(v.size(), 10u) << csv[i];
    EXPECT_GE(v[1], previous);
    EXPECT_GE(v[1], v[4]);
    EXPECT_GE(v[4], v[7]);
    previous = v[1];
  }
  EXPECT_GT(previous, 0.9);
  // Another seed, other samples.
  const Outcome c = run(mc({"--samples", "3000", "--seed", "12"}));
  EXPECT_NE(fields_of(lines_of(c.out), "initiation t_i"), fields_of(aLines, "initiation t_i"));
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

}  // namespace
