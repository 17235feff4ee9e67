#include "analysis/inspect/surveys.hpp"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <optional>

#include "analysis/text/digits.hpp"
#include "modules/registry.hpp"
#include "sheet/number_form.hpp"

namespace pellucor::analysis::inspect {

namespace {

using Refused = Refusal<SurveyRefusal>;

using text::num;

// Every reading a finite number; none below zero (or at zero, when `positive`).
std::optional<Refused> check_readings(const std::vector<double>& values, bool positive) {
  if (values.size() < 2) {
    return Refused{SurveyRefusal::TooFewReadings, "至少需要 2 个读数才能给出平均值和离散性。",
                   "at least 2 readings are needed for a mean and a scatter"};
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string row = std::to_string(i + 1);
    if (!std::isfinite(values[i])) {
      return Refused{SurveyRefusal::NotANumber, "第 " + row + " 个读数不是数。",
                     "reading " + row + " is not a number"};
    }
    if (values[i] < 0 || (positive && values[i] == 0)) {
      return Refused{SurveyRefusal::Negative,
                     "第 " + row + " 个读数为 " + num(values[i]) + "：读数须" +
                         (positive ? "大于 0。" : "不小于 0。"),
                     "reading " + row + " is " + num(values[i]) + "; readings must be " +
                         (positive ? "above 0" : "0 or more")};
    }
  }
  return std::nullopt;
}

// Readings so large that their sum or scatter overflows give no statistics: refused rather
// than reported as empty cells or as a scatter of nothing.
std::optional<Refused> check_finite(std::initializer_list<double> statistics) {
  for (double v : statistics) {
    if (!std::isfinite(v)) {
      return Refused{SurveyRefusal::TooLarge, "读数过大，其平均值或离散性超出可计算的范围。",
                     "the readings are too large: their mean or scatter overflows"};
    }
  }
  return std::nullopt;
}

Interval mean_interval(const Sample& s) {
  const double half =
      t_quantile(0.975, static_cast<double>(s.n - 1)) * s.sd / std::sqrt(static_cast<double>(s.n));
  return {s.mean - half, s.mean + half};
}

}  // namespace

Outcome<CarbonationSurvey, SurveyRefusal> survey_carbonation(const CarbonationInput& in) {
  if (!std::isfinite(in.ageYears) || !(in.ageYears > 0)) {
    return Refused{SurveyRefusal::NoAge, "请输入检测时的龄期（大于 0 的年数）。",
                   "the inspection age must be a number of years above 0"};
  }
  if (auto r = check_readings(in.depthMm, false)) return *r;
  CarbonationSurvey s;
  s.ageYears = in.ageYears;
  s.depth = describe(in.depthMm);
  if (s.depth.max == 0) {
    return Refused{SurveyRefusal::NoCarbonation, "所有读数均为 0：未测到碳化，无法求碳化系数。",
                   "every reading is 0: no carbonation was measured, so there is no coefficient"};
  }
  std::vector<double> k;
  for (double x : in.depthMm) {
    k.push_back(x / std::sqrt(in.ageYears));
    if (x == 0) ++s.zeroReadings;
  }
  s.k = describe(k);
  s.kMeanInterval = mean_interval(s.k);
  if (auto r = check_finite({s.depth.mean, s.depth.sd, s.depth.cov(), s.k.mean, s.k.sd,
                             s.kMeanInterval.lower, s.kMeanInterval.upper})) {
    return *r;
  }
  s.notes.push_back({"碳化系数 k = x/√t，t = " + num(in.ageYears) + " a；共 " +
                         std::to_string(s.depth.n) + " 个读数。",
                     "carbonation coefficient k = x/sqrt(t), t = " + num(in.ageYears) + " a; " +
                         std::to_string(s.depth.n) + " readings"});
  if (s.zeroReadings > 0) {
    s.notes.push_back({std::to_string(s.zeroReadings) + " 个读数为 0（该处未碳化），已计入平均值。",
                       std::to_string(s.zeroReadings) +
                           " readings of 0 (not carbonated there), counted in the mean"});
  }
  return s;
}

SheetTransfer carbonation_sheet_transfer(const CarbonationSurvey& survey) {
  const sheet::SheetTable& table = modules::find_module("carbonation")->table();
  SheetTransfer out;
  out.add(table, sheet::BoxRole::InspectionAge, survey.ageYears,
          sheet::general_digits(survey.ageYears, 15), std::nullopt, "检测龄期", "inspection age");
  out.add(table, sheet::BoxRole::MeasuredDepth, survey.depth.mean,
          sheet::general_digits(survey.depth.mean, 4),
          mc::Scatter{survey.depth.cov(), mc::Distribution::Normal}, "平均碳化深度",
          "mean carbonation depth");
  return out;
}

Outcome<CoverSurvey, SurveyRefusal> survey_cover(const CoverInput& in) {
  if (auto r = check_readings(in.readingsMm, true)) return *r;
  if (in.designCoverMm && !(std::isfinite(*in.designCoverMm) && *in.designCoverMm > 0)) {
    return Refused{SurveyRefusal::BadDesignCover, "设计保护层厚度须为大于 0 的数。",
                   "the design cover must be a number above 0"};
  }
  CoverSurvey s;
  s.sample = describe(in.readingsMm);
  const double n = static_cast<double>(s.sample.n);
  s.kn = t_quantile(0.95, n - 1) * std::sqrt(1.0 + 1.0 / n);
  std::vector<double> logs;
  for (double v : in.readingsMm) logs.push_back(std::log(v));
  const Sample ls = describe(logs);

  s.normal.law = mc::Distribution::Normal;
  s.normal.mu = s.sample.mean;
  s.normal.sigma = s.sample.sd;
  s.normal.characteristic = s.sample.mean - s.kn * s.sample.sd;
  s.lognormal.law = mc::Distribution::Lognormal;
  s.lognormal.mu = ls.mean;
  s.lognormal.sigma = ls.sd;
  s.lognormal.characteristic = std::exp(ls.mean - s.kn * ls.sd);
  if (auto r = check_finite({s.sample.mean, s.sample.sd, s.sample.cov(), s.normal.characteristic,
                             s.lognormal.characteristic})) {
    return *r;
  }

  s.designCoverMm = in.designCoverMm;
  if (in.designCoverMm) {
    const double cd = *in.designCoverMm;
    for (double v : in.readingsMm) {
      if (v < cd) ++s.belowDesign;
    }
    if (s.sample.sd > 0) {
      s.normal.shareBelowDesign = normal_cdf((cd - s.normal.mu) / s.normal.sigma);
      s.lognormal.shareBelowDesign =
          normal_cdf((std::log(cd) - s.lognormal.mu) / s.lognormal.sigma);
    } else {
      // No scatter: the law is a single value.
      const double share = s.sample.mean < cd ? 1.0 : 0.0;
      s.normal.shareBelowDesign = share;
      s.lognormal.shareBelowDesign = share;
    }
  }

  if (s.sample.n >= kAndersonDarlingMinimum && s.sample.sd > 0) {
    s.normal.test = anderson_darling_normal(in.readingsMm);
    s.lognormal.test = anderson_darling_normal(logs);
    s.tested = true;
    s.better = s.lognormal.test->pValue > s.normal.test->pValue ? mc::Distribution::Lognormal
                                                                : mc::Distribution::Normal;
    const bool lognormal = s.better == mc::Distribution::Lognormal;
    s.notes.push_back(
        {"拟合优度按 Anderson–Darling 检验（均值与标准差由读数估计）：正态 A*² = " +
             num(s.normal.test->modified) + "，p = " + num(s.normal.test->pValue, 3) +
             "；对数正态 A*² = " + num(s.lognormal.test->modified) +
             "，p = " + num(s.lognormal.test->pValue, 3) + "；取 p 值较大者：" +
             (lognormal ? "对数正态分布。" : "正态分布。"),
         "goodness of fit by the Anderson-Darling test (mean and standard deviation estimated "
         "from the readings): normal A*2 = " +
             num(s.normal.test->modified) + ", p = " + num(s.normal.test->pValue, 3) +
             "; lognormal A*2 = " + num(s.lognormal.test->modified) +
             ", p = " + num(s.lognormal.test->pValue, 3) +
             "; the larger p-value is taken: " + (lognormal ? "lognormal" : "normal")});
    for (const CoverLaw* law : {&s.normal, &s.lognormal}) {
      if (law->test->pValue < 0.05) {
        const bool isLog = law->law == mc::Distribution::Lognormal;
        s.notes.push_back(
            {std::string(isLog ? "对数正态" : "正态") + "分布在 5% 显著性水平下被拒绝。",
             std::string(isLog ? "the lognormal" : "the normal") +
                 " law is rejected at the 5% significance level"});
      }
    }
  } else if (s.sample.sd > 0) {
    s.notes.push_back({"读数少于 " + std::to_string(kAndersonDarlingMinimum) +
                           " 个，未作拟合优度检验，按正态分布。",
                       "fewer than " + std::to_string(kAndersonDarlingMinimum) +
                           " readings: no goodness-of-fit test, the normal law is taken"});
  } else {
    s.notes.push_back(
        {"读数全部相同，无离散性，未作拟合优度检验，按正态分布。",
         "all readings are the same: no scatter, no goodness-of-fit test, the normal law is "
         "taken"});
  }
  s.notes.push_back({"5% 特征值按 EN 1990 附录 D（方差未知）：k_n = " + num(s.kn) + "。",
                     "5% characteristic value after EN 1990 Annex D (variance unknown): "
                     "k_n = " +
                         num(s.kn)});
  return s;
}

SheetTransfer cover_sheet_transfer(const CoverSurvey& survey, const sheet::SheetTable& table) {
  SheetTransfer out;
  out.add(table, sheet::BoxRole::Cover, survey.sample.mean,
          sheet::general_digits(survey.sample.mean, 4),
          mc::Scatter{survey.sample.cov(), survey.better}, "平均保护层厚度", "mean cover");
  return out;
}

}  // namespace pellucor::analysis::inspect
