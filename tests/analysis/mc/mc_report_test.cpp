// What the console prints first: the plain-Chinese warnings about samples that did not run to
// the end and about truncated scatter, from hand-made summaries.
#include <gtest/gtest.h>

#include <string>

#include "analysis/mc/report.hpp"
#include "module_test_support.hpp"

namespace pellucor::analysis::mc {
namespace {

std::string joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

TEST(Warnings, StopsAreSaidAboveOnePercentWithHowEachCounts) {
  const Problem p =
      with_defaults(modules::testing::sheet_module(1), modules::testing::carbonation_example());
  struct Case {
    std::uint64_t samples, dry, followed;
    bool warns;
  };
  const Case cases[] = {
      {1000, 10, 0, false},  // exactly 1 %: not above it
      {1000, 11, 0, true},
      {1000, 0, 11, true},
      {1000, 5, 6, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dry << " dry, " << c.followed << " not followed");
    Summary s;
    s.samples = c.samples;
    s.survived = c.dry;
    s.stopped = c.followed;
    s.done = c.samples - c.dry - c.followed;
    if (c.dry > 0) {
      s.stops.push_back({SampleStatus::Survived,
                         {StopCause::Kind::Model, model::StopReason::InvalidHumidity, 0},
                         c.dry});
    }
    if (c.followed > 0) {
      s.stops.push_back({SampleStatus::Stopped,
                         {StopCause::Kind::Model, model::StopReason::PassLimit, 0},
                         c.followed});
    }
    Problem quiet = p;
    for (auto& sc : quiet.scatter) sc = {};  // no truncation warnings here
    const std::string text = joined(warning_lines(make_report(quiet, RunSettings{}, s)));
    EXPECT_EQ(text.find("未算到底") != std::string::npos, c.warns) << text;
    if (!c.warns) continue;
    EXPECT_EQ(text.find("锈蚀不发展") != std::string::npos, c.dry > 0) << text;
    EXPECT_EQ(text.find("开裂时间迭代不收敛：模型无法跟踪，按最早可能失效的年龄计为失效") !=
                  std::string::npos,
              c.followed > 0)
        << text;
    // The bounds are named only when some sample was not followed.
    EXPECT_EQ(text.find("偏于安全的上界") != std::string::npos, c.followed > 0) << text;
  }
}

TEST(Warnings, TruncationThatChangesTheScatterIsNamedWithItsFigures) {
  Problem p = with_defaults(modules::testing::sheet_module(2),
                            modules::testing::chloride_constant_example());
  for (auto& sc : p.scatter) sc = {};
  p.scatter[9] = {0.25, Distribution::Normal};  // critical chloride inside 1.2-1.6
  p.scatter[5] = {0, Distribution::Normal, 8};  // cover of 40 mm: barely cut
  const std::string text = joined(warning_lines(make_report(p, RunSettings{}, Summary{})));
  EXPECT_NE(text.find("注意：氯临界浓度的样本限于 1.2--1.6：均值 1.4（输入 1.4），变异系数 0.082"
                      "（要求 0.250）；在此范围内保持均值时变异系数不能更大"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("保护层厚度"), std::string::npos) << text;
}

}  // namespace
}  // namespace pellucor::analysis::mc
