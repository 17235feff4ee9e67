#include "analysis/update/cover_law.hpp"

#include <algorithm>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <cstdio>

#include "analysis/inspect/surveys.hpp"
#include "analysis/update/digits.hpp"

namespace pellucor::analysis::update {

namespace {

using Policy = boost::math::policies::policy<boost::math::policies::promote_double<false>>;
using Student = boost::math::students_t_distribution<double, Policy>;

}  // namespace

TruncatedStudent::TruncatedStudent(double dof, double location, double scale, bool logarithm,
                                   double lo, double hi)
    : dof_(dof), location_(location), scale_(scale), logarithm_(logarithm), lo_(lo), hi_(hi) {
  const Student t(dof_);
  auto cdf = [&](double x) {
    const double v = logarithm_ ? (x > 0 ? std::log(x) : -INFINITY) : x;
    if (!std::isfinite(v)) return v > 0 ? 1.0 : 0.0;
    return boost::math::cdf(t, (v - location_) / scale_);
  };
  flo_ = cdf(lo_);
  fhi_ = cdf(hi_);
}

double TruncatedStudent::sample(double u) const {
  const double p = flo_ + u * (fhi_ - flo_);
  if (!(p > 0)) return lo_;
  if (!(p < 1)) return hi_;
  const double v = location_ + scale_ * boost::math::quantile(Student(dof_), p);
  // Rounding in the quantile must not carry a sample past an end of the range.
  return std::clamp(logarithm_ ? std::exp(v) : v, lo_, hi_);
}

CoverUpdate update_cover(const std::vector<double>& readings, double mean,
                         const mc::Scatter& scatter, double lo, double hi) {
  const auto survey = inspect::survey_cover({readings, std::nullopt});
  const bool log = survey && survey->better == mc::Distribution::Lognormal;
  double sd = scatter.deviation(mean);
  bool fromDefault = false;
  if (!(sd > 0)) {
    sd = mc::default_scatter("cover", mean).scatter.deviation(mean);
    fromDefault = true;
  }
  // The prior of the law's location and spread, on the scale of the family.
  double mu0 = mean, s0 = sd;
  if (log) {
    const double v = sd / mean;
    s0 = std::sqrt(std::log1p(v * v));
    mu0 = std::log(mean) - 0.5 * s0 * s0;
  }
  std::vector<double> y;
  for (double r : readings) y.push_back(log ? std::log(r) : r);
  const auto n = static_cast<double>(y.size());
  double ybar = 0;
  for (double v : y) ybar += v;
  ybar /= n;
  double ss = 0;
  for (double v : y) ss += (v - ybar) * (v - ybar);
  constexpr double kappa0 = 1, nu0 = 1;
  const double kappa = kappa0 + n;
  const double mu = (kappa0 * mu0 + n * ybar) / kappa;
  const double alpha = 0.5 * (nu0 + n);
  const double beta =
      0.5 * nu0 * s0 * s0 + 0.5 * ss + kappa0 * n * (ybar - mu0) * (ybar - mu0) / (2 * kappa);
  const double scale = std::sqrt(beta * (kappa + 1) / (alpha * kappa));
  CoverUpdate c{.family = log ? mc::Distribution::Lognormal : mc::Distribution::Normal,
                .tested = survey && survey->tested,
                .readings = readings.size(),
                .readingsMean = survey ? survey->sample.mean : 0,
                .readingsSd = survey ? survey->sample.sd : 0,
                .priorMean = mean,
                .priorSd = sd,
                .priorFromDefault = fromDefault,
                .law = TruncatedStudent(2 * alpha, mu, scale, log, lo, hi)};
  return c;
}

std::string cover_line(const CoverUpdate& c) {
  const bool log = c.family == mc::Distribution::Lognormal;
  return "保护层厚度按 " + std::to_string(c.readings) + " 个实测读数（均值 " + num(c.readingsMean) +
         " mm，标准差 " + num(c.readingsSd) + " mm）更新其分布：" + (log ? "对数正态" : "正态") +
         (c.tested ? "（按 Anderson–Darling 检验选定）" : "（读数不足 8 个，按正态）") +
         "，先验以表中数值 " + num(c.priorMean) + " mm、标准差 " + num(c.priorSd) + " mm" +
         (c.priorFromDefault ? "（默认离散）" : "") +
         " 计为一个读数；更新后为学生 t 预测分布（自由度 " + num(c.law.dof()) + "，" +
         (log ? "对数" : "") + "位置 " + num(c.law.location()) + "，" + (log ? "对数" : "") +
         "尺度 " + num(c.law.scale()) + "），截于本框的有效范围。";
}

std::string cover_line_english(const CoverUpdate& c) {
  const bool log = c.family == mc::Distribution::Lognormal;
  return "cover: its law updated by " + std::to_string(c.readings) + " readings (mean " +
         num(c.readingsMean) + " mm, sd " + num(c.readingsSd) + " mm), " +
         (log ? "lognormal" : "normal") +
         (c.tested ? " (by the Anderson-Darling test)" : " (fewer than 8 readings: normal)") +
         ", the sheet's " + num(c.priorMean) + " mm with sd " + num(c.priorSd) + " mm" +
         (c.priorFromDefault ? " (the default scatter)" : "") +
         " counted as one reading; the predictive law is Student t with " + num(c.law.dof()) +
         " degrees of freedom, " + (log ? "log-" : "") + "location " + num(c.law.location()) +
         ", " + (log ? "log-" : "") + "scale " + num(c.law.scale()) +
         ", truncated to the box's range";
}

}  // namespace pellucor::analysis::update
