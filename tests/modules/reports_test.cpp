// The calculations as the sheets run them: the passes handed to the sheet, the report lines
// (labels, unit texts, values worked out by hand) and the parameter echo of the result file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "model/erf.hpp"
#include "module_test_support.hpp"

namespace pellucor::modules {
namespace {

using sheet::SheetInputs;
using testing::line_values;
using testing::LineShape;
using testing::near_single;
using testing::RecordingSink;
using testing::sheet_module;

std::string nd(double v) {
  return sheet::number_double(v);
}

// The crack width of wall or slab reinforcement is not computed.
std::string no_crack_width(std::string_view label) {
  return std::string(label) + std::string(sheet::kNoCrackWidth);
}

// ---------------------------------------------------------------- carbonation

const std::vector<LineShape> kCarbonationPane = {
    {"碳化系数:", ""},
    {"碳化残量:", " mm"},
    {"钢筋开始锈蚀时间:", " a"},
    {"保护层开裂前的钢筋腐蚀速度:", " mm/a"},
    {"保护层开裂前的钢筋腐蚀深度:", " mm"},
    {"保护层开裂前的钢筋腐蚀时间:", " a"},
    {"保护层开裂时间:", "  a"},
    {"保护层开裂后的钢筋腐蚀速度:", " mm/a"},
    {"检测时钢筋的腐蚀深度:", "  mm"},
    {"检测时锈胀裂缝宽度:", " mm"},
    {"耐久性终结时的钢筋腐蚀深度:", " mm"},
    {"从保护层开裂到耐久性终结的时间:", " a"},
};

std::vector<LineShape> carbonation_file_shape() {
  auto shape = kCarbonationPane;
  shape[8].unit = " mm";
  shape[9].unit = "  mm";
  return shape;
}

TEST(CarbonationReport, WorkedExampleAgreesWithTheFormulasLineByLine) {
  const SheetInputs in = testing::carbonation_example();  // outdoor, CO2 path, kind 1
  RecordingSink sink;
  const auto out = sheet_module(1).calculate(in, sink);
  ASSERT_FALSE(out.stop.has_value());

  // One report, no iteration.
  EXPECT_TRUE(sink.started.empty());
  ASSERT_EQ(sink.finished.size(), 1U);
  EXPECT_EQ(sink.finished[0], out.report.pane);

  const auto v = line_values(out.report.pane, kCarbonationPane);
  const double k = 3 * 1.5 * 1.4 * 1.2 * 1.1 * std::pow(15.0, 0.25) * std::pow(0.7, 1.5) *
                   (1 - 0.7) * (58.0 / 30 - 0.76);
  ASSERT_GT(k, 3.3);  // the exponent of the corrected cover uses the cap
  const double cPrime = 30 + 0.066 * std::pow(30.0 - 28, 0.47 * 3.3);
  const double x0 = (1.2 - 0.35 * std::sqrt(k)) * cPrime - 6 * (1.5 + 0.84 * k) / (2 + 1.6);
  const double ti = std::pow((30 - x0) / k, 2);
  const double lambda0 = 7.53 * 1.6 * 2 * (0.75 + 0.0125 * 15) * std::pow(0.7 - 0.45, 2.0 / 3) *
                         std::pow(30.0, -1.8) * std::pow(30.0, -0.675);
  const double dcr = 0.012 * 30 / 20 + 0.00084 * 30 + 0.018;
  const double tc = ti + dcr / lambda0;
  const double lambda1 = std::max(4.5 - 340 * lambda0, 1.8) * lambda0;
  const double dd = std::min(0.255 + 0.012 * 30 / 20 + 0.00084 * 30, 0.026 * 20);
  ASSERT_LT(60, tc);  // inspected before the cover cracks
  const double dt = lambda0 * (60 - ti);
  EXPECT_TRUE(near_single(v[0], k));
  EXPECT_TRUE(near_single(v[1], x0));
  EXPECT_TRUE(near_single(v[2], ti));
  EXPECT_TRUE(near_single(v[3], lambda0));
  EXPECT_TRUE(near_single(v[4], dcr));
  EXPECT_TRUE(near_single(v[5], dcr / lambda0));
  EXPECT_TRUE(near_single(v[6], tc));
  EXPECT_TRUE(near_single(v[7], lambda1));
  EXPECT_TRUE(near_single(v[8], dt));
  EXPECT_TRUE(near_single(v[9], (dt - 0.012 * 30 / 20 - 0.00084 * 30 - 0.08) / 0.07));
  EXPECT_LT(v[9], 0);  // a negative width before cracking is printed as computed
  EXPECT_TRUE(near_single(v[10], dd));
  EXPECT_TRUE(near_single(v[11], (dd - dcr) / lambda1));

  // The file swaps the units of the inspection depth and of the crack width.
  const auto f = line_values(out.report.file, carbonation_file_shape());
  EXPECT_EQ(f, v);

  EXPECT_EQ(out.report.echo,
            (std::vector<std::string>{
                "局部环境系数=  2 ,环境温度（单位为摄示度）=  15 ,环境湿度=  0.7 ",
                "混凝土强度（单位为mpa）=  30 ,保护层厚度（单位为mm）=  30 ,"
                "结构使用（检测）时间（单位为a）=  60 ",
                "实测碳化深度（单位为mm）=  0 ,二氧化碳浓度系数=  1.5 ,钢筋直径（单位为mm）=  20 ",
                "钢筋种类= 圆钢筋       ,结构工作条件= 室外,钢筋应力状态= 受拉",
            }));
}

TEST(CarbonationReport, HumidityAboveTheCapIsEchoedAsTheRateUsedIt) {
  // Indoor, deformed bar, compression, cover below 28 mm.
  const SheetInputs in = testing::inputs(
      {{1, 2.0}, {2, 15}, {3, 0.85}, {4, 30}, {5, 25}, {6, 30}, {8, 2.0}, {9, 16}}, 2, {2, 3});
  RecordingSink sink;
  const auto out = sheet_module(1).calculate(in, sink);
  ASSERT_FALSE(out.stop.has_value());
  const auto v = line_values(out.report.pane, kCarbonationPane);
  const double k = 3 * 2.0 * 1.4 * 1.2 * 1.0 * std::pow(15.0, 0.25) * std::pow(0.85, 1.5) *
                   (1 - 0.85) * (58.0 / 30 - 0.76);
  const double x0 = (1.2 - 0.35 * std::sqrt(k)) * 25 - 6 * (1.5 + 0.84 * k) / (2 + 1.6);
  EXPECT_TRUE(near_single(v[0], k));
  EXPECT_TRUE(near_single(v[1], x0));
  EXPECT_TRUE(near_single(v[3], 5.38 * 1.6 * 2 * (0.75 + 0.0125 * 15) *
                                    std::pow(0.8 - 0.5, 2.0 / 3) * std::pow(30.0, -1.8) *
                                    std::pow(25.0, -0.675)));
  ASSERT_EQ(out.report.echo.size(), 4U);
  EXPECT_EQ(out.report.echo[0], "局部环境系数=  2 ,环境温度（单位为摄示度）=  15 ,环境湿度=  0.8 ");
  EXPECT_EQ(out.report.echo[3], "钢筋种类= 变形钢筋      ,结构工作条件= 室内,钢筋应力状态= 受压");
}

TEST(CarbonationReport, MeasuredDepthSetsTheCoefficient) {
  SheetInputs in = testing::carbonation_example();
  in.value[7] = 10;
  in.value[6] = 20;
  RecordingSink sink;
  const auto out = sheet_module(1).calculate(in, sink);
  ASSERT_FALSE(out.stop.has_value());
  const auto v = line_values(out.report.pane, kCarbonationPane);
  EXPECT_TRUE(near_single(v[0], std::sqrt(5.0)));
  const double cPrime = 30 + 0.066 * std::pow(2.0, 0.47 * std::sqrt(5.0));
  EXPECT_TRUE(near_single(v[1], (1.2 - 0.35 * std::sqrt(std::sqrt(5.0))) * cPrime -
                                    6 * (1.5 + 0.84 * std::sqrt(5.0)) / (2 + 1.6)));
}

TEST(CarbonationReport, WallReinforcementHasNoCrackWidthInPaneOrFile) {
  const SheetInputs in = testing::with_steel(testing::carbonation_example(), 3);
  RecordingSink sink;
  const auto out = sheet_module(1).calculate(in, sink);
  ASSERT_FALSE(out.stop.has_value());
  ASSERT_EQ(out.report.pane.size(), 12U);
  ASSERT_EQ(out.report.file.size(), 12U);
  EXPECT_EQ(out.report.pane[9], no_crack_width("检测时锈胀裂缝宽度:"));
  EXPECT_EQ(out.report.file[9], no_crack_width("检测时锈胀裂缝宽度:"));
  EXPECT_TRUE(
      near_single(testing::line_value(out.report.pane[4], "保护层开裂前的钢筋腐蚀深度:", " mm"),
                  0.015 * std::pow(30.0 / 20, 1.55) + 0.0014 * 30 + 0.016));
  EXPECT_EQ(out.report.echo[3], "钢筋种类= 墙板配筋      ,结构工作条件= 室外,钢筋应力状态= 受拉");
}

TEST(CarbonationReport, HumidityTooLowForTheRateStopsWithoutAReport) {
  struct Case {
    double rh;
    int condition;  // 3 indoor, 4 outdoor
  };
  for (const Case& c : {Case{0.45, 4}, Case{0.5, 3}, Case{0.42, 3}}) {
    const SheetInputs in = testing::inputs(
        {{1, 2.0}, {2, 15}, {3, c.rh}, {4, 30}, {5, 30}, {6, 60}, {8, 1.5}, {9, 20}}, 1,
        {1, c.condition});
    RecordingSink sink;
    const auto out = sheet_module(1).calculate(in, sink);
    EXPECT_TRUE(out.stop.has_value()) << c.rh;
    EXPECT_TRUE(sink.finished.empty());
    EXPECT_TRUE(out.report.pane.empty());
    EXPECT_TRUE(out.report.echo.empty());
  }
}

// ---------------------------------------------------------------- admixed chloride

const std::vector<LineShape> kAdmixedLines = {
    {"保护层开裂前钢筋锈蚀速度:", " mm/a"},
    {"保护层开裂前钢筋锈蚀深度:", " mm"},
    {"保护层开裂的时间:", " a"},
    {"保护层开裂后钢筋锈蚀速度:", " mm/a"},
    {"性能严重退化时腐蚀深度: ", " mm"},
    {"性能严重退化的时间:", " a"},
    {"检测时的钢筋腐蚀深度:", " mm"},
    {"检测时的裂缝宽度:", " mm"},
};

// Checks that every pass after the first starts from the cracking time the previous pass
// printed, and returns that printed cracking time of the last pass.
double check_passes(const RecordingSink& sink, std::size_t tcLine, std::string_view tcLabel,
                    std::string_view tcUnit) {
  EXPECT_EQ(sink.started.size(), sink.finished.size());
  for (std::size_t i = 1; i < sink.started.size(); ++i) {
    const double printed = testing::line_value(sink.finished[i - 1][tcLine], tcLabel, tcUnit);
    EXPECT_TRUE(near_single(sink.started[i], printed)) << "pass " << i + 1;
  }
  if (sink.finished.empty()) return 0;
  const double tc = testing::line_value(sink.finished.back()[tcLine], tcLabel, tcUnit);
  EXPECT_LT(std::fabs(tc - sink.started.back()), 0.01 + 1e-5);
  return tc;
}

TEST(AdmixedReport, WorkedExampleIteratesFivePassesAndAgreesWithTheRateBlock) {
  RecordingSink sink;
  const auto out = sheet_module(5).calculate(testing::admixed_example(), sink);
  ASSERT_FALSE(out.stop.has_value());
  ASSERT_EQ(sink.started.size(), 5U);
  EXPECT_EQ(sink.started.front(), 20);
  EXPECT_EQ(sink.finished.back(), out.report.pane);
  EXPECT_EQ(out.report.file, out.report.pane);
  check_passes(sink, 2, "保护层开裂的时间:", " a");

  const double tcStar = sink.started.back();
  const double ce = 6 * (0.368 + 11.1 / (std::pow(6.0, 0.9) * std::pow(tcStar, 0.93)));
  const double r = 5.6 * -1.8 + 10 * std::pow(1 - 0.8, 2) + 4;
  const double lnI = 0.618 * std::log(ce) + 8.617 - 3034 / (20.0 + 273) - 5 / 1e3 * r;
  const double lambda0 = 11.6 * std::exp(lnI) * 0.001 * 1;
  const double dcr = 0.012 * 30 / 20 + 0.00084 * 30 + 0.018;
  const double tc = dcr / lambda0;  // no initiation stage
  const double lambda1 = std::max(4.5 - 26 * lambda0, 1.8) * lambda0;
  const double dd = 0.273 + 0.008 * 30 / 20 + 0.00055 * 30;
  ASSERT_LT(tc, 30);  // inspected after the cover has cracked
  const double dt = dcr + lambda1 * (30 - tc);

  const auto v = line_values(out.report.pane, kAdmixedLines);
  EXPECT_TRUE(near_single(v[0], lambda0));
  EXPECT_TRUE(near_single(v[1], dcr));
  EXPECT_TRUE(near_single(v[2], tc));
  EXPECT_TRUE(near_single(v[3], lambda1));
  EXPECT_TRUE(near_single(v[4], dd));
  EXPECT_TRUE(near_single(v[5], tc + (dd - dcr) / lambda1));
  EXPECT_TRUE(near_single(v[6], dt));
  EXPECT_TRUE(near_single(v[7], (dt - 0.008 * 30 / 20 - 0.00055 * 30 - 0.015) / 0.086));

  EXPECT_EQ(out.report.echo, (std::vector<std::string>{
                                 "局部环境系数=  1 ,环境温度（单位为摄示度）= 20 ,环境湿度= 0.8 ",
                                 "混凝土强度（单位为mpa）= 30 ,保护层厚度（单位为mm）= 30 ,"
                                 "结构使用（检测）时间（单位为a）= 30 ",
                                 "初设开裂时间（单位为a）= " + nd(tcStar) +
                                     ",钢筋直径(单位为mm) =  20 ,钢筋种类 = 变形钢筋      ",
                                 ",表面氯浓度（单位为kg/m^3）=  6 ",
                             }));
}

TEST(AdmixedReport, StartValueChangesThePassesNotTheCrackingTime) {
  RecordingSink reference;
  const auto base = sheet_module(5).calculate(testing::admixed_example(), reference);
  const double tc = testing::line_value(base.report.pane[2], "保护层开裂的时间:", " a");
  struct Case {
    double start;
    std::size_t passes;
  };
  for (const Case& c : {Case{1, 7}, Case{80, 6}}) {
    SheetInputs in = testing::admixed_example();
    in.value[7] = c.start;
    RecordingSink sink;
    const auto out = sheet_module(5).calculate(in, sink);
    ASSERT_FALSE(out.stop.has_value());
    EXPECT_EQ(sink.started.size(), c.passes) << c.start;
    EXPECT_EQ(sink.started.front(), c.start);
    EXPECT_NEAR(testing::line_value(out.report.pane[2], "保护层开裂的时间:", " a"), tc, 0.01);
  }
}

TEST(AdmixedReport, WallReinforcementHasNoCrackWidth) {
  const SheetInputs in = testing::with_steel(testing::admixed_example(), 3);
  RecordingSink sink;
  const auto out = sheet_module(5).calculate(in, sink);
  ASSERT_FALSE(out.stop.has_value());
  ASSERT_EQ(out.report.pane.size(), 8U);
  EXPECT_EQ(out.report.pane.back(), no_crack_width("检测时的裂缝宽度:"));
  EXPECT_EQ(out.report.file.back(), no_crack_width("检测时的裂缝宽度:"));
  // Every pass prints the same line.
  for (const auto& pass : sink.finished) {
    EXPECT_EQ(pass.back(), no_crack_width("检测时的裂缝宽度:"));
  }
  EXPECT_TRUE(out.report.echo[2].ends_with(",钢筋种类 = 墙板配筋      ")) << out.report.echo[2];
}

// ---------------------------------------------------------------- diffusion-based chloride

const std::vector<LineShape> kConstantLines = {
    {"计算扩散系数:", " m^2/a"},
    {"氯侵蚀系数:", " mm/a^0.5"},
    {"钢筋开始锈蚀时间:", "a"},
    {"保护层开裂前钢筋锈蚀速度:", " mm/a"},
    {"保护层开裂前钢筋锈蚀深度:", " mm"},
    {"钢筋锈蚀时间:", " a"},
    {"保护层开裂的时间:", " a"},
    {"保护层开裂后钢筋锈蚀速度:", " mm/a"},
    {"使用年限:", " a"},
    {"检测时的钢筋腐蚀深度:", " mm"},
    {"检测时的裂缝宽度:", " mm"},
};

std::vector<LineShape> variable_lines() {
  auto shape = kConstantLines;
  shape[2].unit = " a";
  return shape;
}

std::vector<LineShape> marine_lines() {
  auto shape = variable_lines();
  shape[6].unit = "a";
  shape[7] = {"保护层开裂后钢筋锈蚀深度:", " mm"};  // carries the post-cracking rate
  return shape;
}

// Relations between the printed values that hold for every chloride report of a deformed bar
// (kind 2) with a cover of c mm, a 20 mm bar, 30 MPa and inspection age t.
void expect_propagation(const std::vector<double>& v, double c, double t) {
  constexpr double kRel = 1e-5;  // values derived from printed (rounded) values
  const double ti = v[2];
  const double lambda0 = v[3];
  const double dcr = 0.012 * c / 20 + 0.00084 * 30 + 0.018;
  EXPECT_TRUE(near_single(v[4], dcr));
  EXPECT_TRUE(near_single(v[5], dcr / lambda0, kRel));
  EXPECT_TRUE(near_single(v[6], ti + v[5], kRel));
  const double lambda1 = std::max(4.5 - 26 * lambda0, 1.8) * lambda0;
  EXPECT_TRUE(near_single(v[7], lambda1, kRel));
  const double dd = 0.273 + 0.008 * c / 20 + 0.00055 * 30;
  EXPECT_TRUE(near_single(v[8], v[6] + (dd - dcr) / lambda1, kRel));
  const double dt = t < v[6] ? lambda0 * (t - ti) : dcr + lambda1 * (t - v[6]);
  EXPECT_TRUE(near_single(v[9], dt, 1e-4));
  EXPECT_NEAR(v[10], (dt - 0.008 * c / 20 - 0.00055 * 30 - 0.015) / 0.086, 1e-5);
}

TEST(ChlorideConstantReport, WorkedExampleWithATypedCoefficient) {
  RecordingSink sink;
  const auto out = sheet_module(2).calculate(testing::chloride_constant_example(), sink);
  ASSERT_FALSE(out.stop.has_value());
  ASSERT_EQ(sink.started.size(), 5U);
  EXPECT_EQ(sink.started.front(), 20);
  EXPECT_EQ(sink.finished.back(), out.report.pane);
  EXPECT_EQ(out.report.file, out.report.pane);
  check_passes(sink, 6, "保护层开裂的时间:", " a");

  const auto v = line_values(out.report.pane, kConstantLines);
  EXPECT_TRUE(near_single(v[0], 1.5 / 10000));
  EXPECT_TRUE(near_single(v[2], std::pow(0.040 / v[1], 2), 1e-5));  // t_i = (c/K)^2, c in m
  EXPECT_LT(v[2], v[6]);
  EXPECT_LT(v[6], 20);  // cracked before the inspection
  expect_propagation(v, 40, 20);

  EXPECT_EQ(out.report.echo,
            (std::vector<std::string>{
                "局部环境系数=  1.5 ,环境温度（单位为摄示度）=  20 ,环境湿度=  0.8 ",
                "混凝土强度（单位为mpa）=  30 ,保护层厚度（单位为mm）=  40 ,"
                "结构使用（检测）时间（单位为a）=  20 ",
                "氯离子扩散系数（单位为cm^2/a）=  1.5 ,表面氯浓度（单位为kg/m^3）=  5 ,"
                "氯临界浓度（单位为kg/m^3）=  1.4 ",
                "距表面深度（单位为mm）=  0 ,实测氯浓度单位为kg/m^3=  0 ,水灰比=  0 ",
                "初设开裂时间（单位为a）= " + nd(sink.started.back()) +
                    ",钢筋直径(单位为mm) =  20 ,钢筋种类 = 变形钢筋      ",
                "扩散系数来源= 由实测氯浓度推算",
            }));
}

TEST(ChlorideConstantReport, CoefficientDerivedFromTheWaterCementRatioIsEchoedInCm2PerYear) {
  SheetInputs in = testing::chloride_constant_example();
  in.value[7] = 0;
  in.value[12] = 0.5;
  in.selected = {};
  in.selected[2] = true;
  RecordingSink sink;
  const auto out = sheet_module(2).calculate(in, sink);
  ASSERT_FALSE(out.stop.has_value());
  const double D = (7.08 * 0.5 - 1.846) * (0.0447 * 20 - 0.052) / 10000;
  const auto v = line_values(out.report.pane, kConstantLines);
  EXPECT_TRUE(near_single(v[0], D));
  ASSERT_EQ(out.report.echo.size(), 6U);
  EXPECT_TRUE(
      out.report.echo[2].starts_with("氯离子扩散系数（单位为cm^2/a）= " + nd(D * 10000) + ","))
      << out.report.echo[2];
  EXPECT_EQ(out.report.echo[3],
            "距表面深度（单位为mm）=  0 ,实测氯浓度单位为kg/m^3=  0 ,水灰比=  0.5 ");
  EXPECT_EQ(out.report.echo[5], "扩散系数来源= 由距表面深度推算");
}

TEST(ChlorideConstantReport, UnusableDerivedCoefficientStopsBeforeAnyReport) {
  SheetInputs in = testing::chloride_constant_example();
  in.value[7] = 0;
  in.value[12] = 0.2;  // below 1.846/7.08: the coefficient would be negative
  in.selected = {};
  in.selected[2] = true;
  RecordingSink sink;
  const auto out = sheet_module(2).calculate(in, sink);
  EXPECT_TRUE(out.stop.has_value());
  EXPECT_TRUE(sink.finished.empty());
  EXPECT_TRUE(out.report.pane.empty());
  EXPECT_TRUE(out.report.echo.empty());
}

TEST(ChlorideVariableReport, WorkedExampleDerivesTheCoefficientFromTheProfile) {
  RecordingSink sink;
  const auto out = sheet_module(3).calculate(testing::chloride_variable_example(), sink);
  ASSERT_FALSE(out.stop.has_value());
  ASSERT_EQ(sink.started.size(), 6U);
  EXPECT_EQ(sink.started.front(), 20);
  EXPECT_EQ(sink.finished.back(), out.report.pane);
  EXPECT_EQ(out.report.file, out.report.pane);
  check_passes(sink, 6, "保护层开裂的时间:", " a");

  const double zx = *model::fun_erf_fan(1 - 2.0 / 5);
  const double zcr = *model::fun_erf_fan(1 - 1.4 / 5);
  const double D = 0.020 * 0.020 / (4 * 10 * zx * zx);
  const double K = 2 * zcr * std::sqrt(D);
  const double ti =
      std::pow((1 - 0.3) * 0.030 * 0.030 / (K * K * std::pow(10.0, 0.3)), 1 / (1 - 0.3));
  const auto v = line_values(out.report.pane, variable_lines());
  EXPECT_TRUE(near_single(v[0], D));
  EXPECT_TRUE(near_single(v[1], K));
  EXPECT_TRUE(near_single(v[2], ti));
  EXPECT_LT(v[2], 10);  // corrosion has started at the inspection...
  EXPECT_GT(v[6], 10);  // ...but the cover has not cracked yet
  expect_propagation(v, 30, 10);

  EXPECT_EQ(out.report.echo, (std::vector<std::string>{
                                 "局部环境系数=  1 ,环境温度（单位为摄示度）=  20 ,环境湿度=  0.8 ",
                                 "混凝土强度（单位为mpa）=  30 ,保护层厚度（单位为mm）=  30 ,"
                                 "结构使用（检测）时间（单位为a）=  10 ",
                                 "扩散系数时间依赖系数=  0.3 ,表面氯浓度（单位为kg/m^3）=  5 ,"
                                 "氯临界浓度（单位为kg/m^3）=  1.4 ",
                                 "初设开裂时间（单位为a）= " + nd(sink.started.back()) +
                                     ",钢筋直径(单位为mm) =  20 ,钢筋种类 = 变形钢筋      ",
                                 "距表面深度（单位为mm）=  20 ,实测氯浓度单位为kg/m^3=  2 ",
                             }));
}

TEST(MarineReport, WorkedExampleWithoutASecondSearch) {
  RecordingSink sink;
  const auto out = sheet_module(4).calculate(testing::marine_example(), sink);
  ASSERT_FALSE(out.stop.has_value());
  ASSERT_EQ(sink.started.size(), 4U);
  EXPECT_EQ(sink.started.front(), 20);
  EXPECT_EQ(sink.finished.back(), out.report.pane);
  EXPECT_EQ(out.report.file, out.report.pane);
  check_passes(sink, 6, "保护层开裂的时间:", "a");

  ASSERT_EQ(out.report.pane.size(), 11U);
  EXPECT_EQ(out.report.pane[2], "钢筋开始锈蚀时间: 10.5  a");  // one half-year step from 10
  const auto v = line_values(out.report.pane, marine_lines());
  EXPECT_TRUE(near_single(v[0], 1.5 / 10000));
  EXPECT_GT(v[6], 20);  // the cover cracks after the inspection
  expect_propagation(v, 40, 20);

  EXPECT_EQ(out.report.echo,
            (std::vector<std::string>{
                "局部环境系数=  1.5 ,环境温度（单位为摄示度）=  20 ,环境湿度=  0.8 ",
                "混凝土强度（单位为mpa）=  30 ,保护层厚度（单位为mm）=  40 ,"
                "结构使用（检测）时间（单位为a）=  20 ",
                "氯离子扩散系数（单位为cm^2/a）=  1.5 ,表面氯浓度（单位为kg/m^3）=  5 ,"
                "氯临界浓度（单位为kg/m^3）=  1.4 ",
                "距表面深度（单位为mm）=  0 ,实测氯浓度单位为kg/m^3=  0 ,水灰比=  0 ",
                "初设开裂时间（单位为a）= " + nd(sink.started.back()) +
                    ",钢筋直径(单位为mm) =  20 ,钢筋种类 = 变形钢筋      ",
                "积累到稳定值的时间（单位为a）=  25 ,初设开始锈蚀时间（单位为a） =  10 ,"
                "初设T2时间（单位为a） =  5 ",
                "扩散系数来源= 由实测氯浓度推算,累计系数（单位为kg/a^0.5）=  1 ",
            }));
}

TEST(MarineReport, SecondSearchAfterTheStableTime) {
  SheetInputs in = testing::marine_example();
  in.value[15] = 2.0;
  in.value[16] = 5;
  in.value[17] = 20;
  in.value[18] = 1;
  RecordingSink sink;
  const auto out = sheet_module(4).calculate(in, sink);
  ASSERT_FALSE(out.stop.has_value());
  ASSERT_EQ(out.report.pane.size(), 11U);
  EXPECT_EQ(out.report.pane[2], "钢筋开始锈蚀时间: 6.5  a");  // t_s + T2 = 5 + 1.5
  EXPECT_EQ(sink.started.size(), 4U);
  const auto v = line_values(out.report.pane, marine_lines());
  EXPECT_LT(v[6], 20);  // the cover cracks before the inspection
  expect_propagation(v, 40, 20);
  EXPECT_EQ(out.report.echo[5],
            "积累到稳定值的时间（单位为a）=  5 ,初设开始锈蚀时间（单位为a） =  20 ,"
            "初设T2时间（单位为a） =  1 ");
  EXPECT_EQ(out.report.echo[6], "扩散系数来源= 由实测氯浓度推算,累计系数（单位为kg/a^0.5）=  2 ");
}

}  // namespace
}  // namespace pellucor::modules

namespace pellucor::modules::testing {
namespace {

// A caller that reads only the model's numbers gets the same numbers and no report text.
class NumbersOnlySink final : public sheet::CalculationSink {
 public:
  void passStarted(double t) override { started.push_back(t); }
  void passFinished(const std::vector<std::string>&) override { ++linesHandedOver; }
  bool wantsReport() const override { return false; }
  bool wantsRecord() const override { return record; }
  std::vector<double> started;
  int linesHandedOver = 0;
  bool record = true;
};

TEST(NumbersOnly, SameModelRunWithoutReportLines) {
  const std::pair<int, sheet::SheetInputs (*)()> examples[] = {{1, carbonation_example},
                                                               {2, chloride_constant_example},
                                                               {3, chloride_variable_example},
                                                               {4, marine_example},
                                                               {5, admixed_example}};
  for (const auto& [number, example] : examples) {
    SCOPED_TRACE(number);
    RecordingSink full;
    NumbersOnlySink numbers;
    const auto withReport = sheet_module(number).calculate(example(), full);
    const auto without = sheet_module(number).calculate(example(), numbers);
    ASSERT_FALSE(withReport.stop);
    ASSERT_FALSE(without.stop);
    EXPECT_FALSE(withReport.report.pane.empty());
    EXPECT_TRUE(without.report.pane.empty());
    EXPECT_TRUE(without.report.file.empty());
    EXPECT_TRUE(without.report.echo.empty());
    EXPECT_EQ(numbers.linesHandedOver, 0);
    // The passes still start at the same assumed times, and every number is the same: the
    // record item for item, and the model's run.
    EXPECT_EQ(numbers.started, full.started);
    ASSERT_EQ(without.record.items.size(), withReport.record.items.size());
    for (std::size_t i = 0; i < without.record.items.size(); ++i) {
      const auto& a = withReport.record.items[i];
      const auto& b = without.record.items[i];
      EXPECT_EQ(a.form, b.form);
      EXPECT_EQ(a.kind, b.kind);
      EXPECT_EQ(a.value, b.value) << a.key();
      EXPECT_EQ(a.text, b.text) << a.key();
    }
    // A caller that reads only the run gets no record either.
    NumbersOnlySink runOnly;
    runOnly.record = false;
    const auto bare = sheet_module(number).calculate(example(), runOnly);
    EXPECT_TRUE(bare.record.empty());
    EXPECT_FALSE(std::holds_alternative<std::monostate>(bare.run));
    std::visit(
        [&](const auto& a) {
          using R = std::decay_t<decltype(a)>;
          if constexpr (!std::is_same_v<R, std::monostate>) {
            const auto& b = std::get<R>(without.run);
            EXPECT_EQ(a.out.prop.tc, b.out.prop.tc);
            EXPECT_EQ(a.out.prop.td, b.out.prop.td);
            EXPECT_EQ(a.out.prop.dt, b.out.prop.dt);
            EXPECT_EQ(a.out.prop.w, b.out.prop.w);
          } else {
            ADD_FAILURE() << "no model run";
          }
        },
        withReport.run);
  }
}

}  // namespace
}  // namespace pellucor::modules::testing
