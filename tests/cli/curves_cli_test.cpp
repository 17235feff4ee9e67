// pellucor-cli --curves: the CSV of a completed calculation, the pane unchanged, and the
// files it refuses to write.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli_support.hpp"

namespace {

using namespace pellucor::cli_testing;

class CurvesCli : public CliTest {};

const std::vector<std::string> kMarine = {
    "4",        "Text1=1.5", "Text2=20",  "Text3=0.8", "Text4=30",  "Text5=40",
    "Text6=20", "Text7=1.5", "Text8=5",   "Text9=1.4", "Text13=20", "Text14=20",
    "Text15=1", "Text16=25", "Text17=10", "Text18=5",  "Combo1=2"};

std::vector<std::string> with(std::vector<std::string> args, const std::string& extra) {
  args.push_back(extra);
  return args;
}

TEST_F(CurvesCli, WritesTheCurvesAndLeavesThePaneAsItWas) {
  const fs::path csv = dir_ / "curves.csv";
  const Outcome plain = run(kMarine);
  const Outcome withCurves = run(with(with(kMarine, "--curves"), csv.string()));
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(withCurves.status, 0) << withCurves.err;
  EXPECT_EQ(withCurves.out, plain.out);
  EXPECT_EQ(withCurves.err, plain.err);

  std::istringstream in(read_file(csv));
  std::string header;
  ASSERT_TRUE(std::getline(in, header));
  // UTF-8 headings with units, for each chart of the marine sheet.
  for (const char* heading :
       {"氯离子浓度分布", "距混凝土表面深度 (mm)", "钢筋处氯离子浓度", "表面氯离子浓度", "锈蚀深度",
        "龄期 (a)", "钢筋锈蚀深度 (mm)", "锈胀裂缝宽度 (mm)"}) {
    EXPECT_NE(header.find(heading), std::string::npos) << heading;
  }
  const auto columns = std::count(header.begin(), header.end(), ',') + 1;
  int rows = 0;
  for (std::string line; std::getline(in, line); ++rows) {
    ASSERT_EQ(std::count(line.begin(), line.end(), ',') + 1, columns) << line;
  }
  EXPECT_GT(rows, 100);
}

TEST_F(CurvesCli, NoCurvesWithoutACompletedCalculationOrAWritableFile) {
  const fs::path csv = dir_ / "curves.csv";
  // Calculate stopped by a check (no steel kind chosen): no file, the usual stop status.
  std::vector<std::string> noSteel(kMarine.begin(), kMarine.end() - 1);
  const Outcome stopped = run(with(noSteel, "--curves=" + csv.string()));
  EXPECT_EQ(stopped.status, 2);
  EXPECT_FALSE(fs::exists(csv));
  EXPECT_NE(stopped.err.find(csv.string()), std::string::npos) << stopped.err;

  // A file that cannot be written is refused before the calculation, with the reason.
  const fs::path unwritable = dir_ / "no-such-folder" / "curves.csv";
  const Outcome failed = run(with(kMarine, "--curves=" + unwritable.string()));
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("无法写入文件 " + unwritable.string() + "（文件夹不存在）"),
            std::string::npos)
      << failed.err;
  EXPECT_EQ(failed.out, "");  // nothing computed

  EXPECT_EQ(run(with(kMarine, "--curves")).status, 1);
  EXPECT_EQ(run(with(with(kMarine, "--curves=a.csv"), "--curves=b.csv")).status, 1);
}

}  // namespace
