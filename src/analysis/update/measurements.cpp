#include "analysis/update/measurements.hpp"

#include <cmath>
#include <cstdio>

#include "analysis/inspect/statistics.hpp"
#include "analysis/update/digits.hpp"
#include "analysis/update/sheet_law.hpp"
#include "model/propagation.hpp"

namespace pellucor::analysis::update {

namespace {

using Refused = Refusal<MeasurementRefusal>;

bool positive(double v) {
  return std::isfinite(v) && v > 0;
}

std::string source_text(ErrorSource s) {
  switch (s) {
    case ErrorSource::ReadingsScatter:
      return "由读数的离散性估计";
    case ErrorSource::FitResiduals:
      return "取剖面拟合的残差标准差";
    case ErrorSource::Typed:
      break;
  }
  return "输入值";
}

std::string source_english(ErrorSource s) {
  switch (s) {
    case ErrorSource::ReadingsScatter:
      return "estimated from the scatter of the readings";
    case ErrorSource::FitResiduals:
      return "the residual standard deviation of the profile fit";
    case ErrorSource::Typed:
      break;
  }
  return "as given";
}

// Whether a fit's refusal is about the input itself (always refused) or only about the
// regression (refused only where the error or the background needs the fit).
bool input_fault(inspect::ProfileRefusal kind) {
  using K = inspect::ProfileRefusal;
  switch (kind) {
    case K::TooFewPoints:
    case K::NotMorePointsThanParameters:
    case K::DoesNotFall:
    case K::NoConvergence:
    case K::NotDetermined:
      return false;
    default:
      break;
  }
  return true;
}

std::optional<Refused> prepare_depths(const DepthReadings& d, std::size_t set,
                                      PreparedDepths& out) {
  const std::string which = "第 " + std::to_string(set + 1) + " 组碳化深度";
  const std::string whichEnglish = "carbonation depths " + std::to_string(set + 1);
  if (!positive(d.ageYears) || d.ageYears > kMaxAgeYears) {
    return Refused{MeasurementRefusal::NoAge,
                   which + "的检测龄期须为大于 0、不超过 " + num(kMaxAgeYears) + " 的年数。",
                   whichEnglish + ": the age must be a number of years above 0 and at most " +
                       num(kMaxAgeYears)};
  }
  if (d.depthMm.empty()) {
    return Refused{MeasurementRefusal::TooFewReadings, which + "没有读数。",
                   whichEnglish + ": no readings"};
  }
  out.set = set;
  out.ageYears = d.ageYears;
  for (std::size_t i = 0; i < d.depthMm.size(); ++i) {
    const double v = d.depthMm[i];
    if (!std::isfinite(v) || v < 0 || v > kMaxDepthMm) {
      return Refused{MeasurementRefusal::BadReading,
                     which + "的第 " + std::to_string(i + 1) + " 个读数不是 0～" +
                         num(kMaxDepthMm) + " mm 之间的数。",
                     whichEnglish + ": reading " + std::to_string(i + 1) +
                         " is not a number of 0 or more (at most " + num(kMaxDepthMm) + " mm)"};
    }
    out.largest = std::max(out.largest, v);
    if (v == 0) {
      ++out.zeros;
    } else {
      out.logs.push_back(std::log(v));
    }
  }
  for (double ly : out.logs) out.mean += ly / static_cast<double>(out.logs.size());
  for (double ly : out.logs) out.deviations += (ly - out.mean) * (ly - out.mean);
  if (d.errorCov) {
    if (!positive(*d.errorCov) || *d.errorCov < kErrorCovLow || *d.errorCov > kErrorCovHigh) {
      return Refused{
          MeasurementRefusal::BadError,
          which + "的误差变异系数须在 " + num(kErrorCovLow) + "～" + num(kErrorCovHigh) + " 之间。",
          whichEnglish + ": the error's coefficient of variation must be above 0, " + "from " +
              num(kErrorCovLow) + " to " + num(kErrorCovHigh)};
    }
    out.cov = *d.errorCov;
    out.sigma = std::sqrt(std::log1p(out.cov * out.cov));
    out.source = ErrorSource::Typed;
    return std::nullopt;
  }
  const inspect::Sample logs = inspect::describe(out.logs);
  if (logs.n < 2 || !(logs.sd > 0)) {
    return Refused{
        MeasurementRefusal::TooFewReadings,
        which + "不足 2 个大于 0 且互不相同的读数，无法由离散性估计误差；请输入误差变异系数。",
        whichEnglish +
            ": fewer than 2 different readings above 0, so the scatter gives no error; "
            "give the error's coefficient of variation"};
  }
  out.sigma = logs.sd;
  out.cov = std::sqrt(std::expm1(out.sigma * out.sigma));
  out.source = ErrorSource::ReadingsScatter;
  return std::nullopt;
}

std::optional<Refused> prepare_core(const ProfileCore& c, std::size_t index, bool admixed,
                                    PreparedCore& out) {
  const std::string which = "芯样“" + c.name + "”";
  const std::string whichEnglish = "core '" + c.name + "'";
  const auto fit = inspect::fit_profile(c.input);
  if (!fit && input_fault(fit.refusal().kind)) {
    return Refused{MeasurementRefusal::CoreNotUsable, which + "：" + fit.refusal().text,
                   whichEnglish + ": " + fit.refusal().message};
  }
  if (c.errorSd &&
      (!positive(*c.errorSd) || *c.errorSd < kErrorSdLow || *c.errorSd > kErrorSdHigh)) {
    return Refused{MeasurementRefusal::BadError,
                   which + "的误差标准差须在 " + num(kErrorSdLow) + "～" + num(kErrorSdHigh) +
                       " kg/m^3 之间。",
                   whichEnglish + ": the error's standard deviation must be above 0, from " +
                       num(kErrorSdLow) + " to " + num(kErrorSdHigh) + " kg/m3"};
  }
  if (c.input.ageYears > kMaxAgeYears) {
    return Refused{MeasurementRefusal::NoAge, which + "的龄期超过 " + num(kMaxAgeYears) + " 年。",
                   whichEnglish + ": the age is above " + num(kMaxAgeYears) + " years"};
  }
  const inspect::ProfileInput& in = c.input;
  out.core = index;
  out.name = c.name;
  out.ageYears = in.ageYears;
  out.backgroundKind = in.background;
  for (std::size_t i = 0; i < in.depthMm.size(); ++i) {
    out.depthMm.push_back(in.depthMm[i]);
    out.content.push_back(inspect::to_kg_per_m3(in, in.chloride[i]));
    out.used.push_back(!(in.leaveOutFirstLayer && i == 0));
  }
  std::vector<double> used;
  for (std::size_t i = 0; i < out.content.size(); ++i) {
    if (out.used[i]) used.push_back(out.content[i]);
  }
  if (used.empty()) {
    return Refused{MeasurementRefusal::CoreNotUsable, which + "除去最外层后没有数据点。",
                   whichEnglish + ": no point is left once the outermost layer is left out"};
  }
  if (admixed) {
    // Chloride admixed at casting is the whole content of every layer.
    if (in.background != inspect::Background::Zero) {
      return Refused{MeasurementRefusal::CoreNotUsable,
                     which + "：掺入氯盐的含量即各层的全部含量，不另计背景含量；请将背景取为零。",
                     whichEnglish +
                         ": admixed chloride is the whole content of every layer; set the "
                         "background to zero"};
    }
    if (c.errorSd) {
      out.sd = *c.errorSd;
      out.source = ErrorSource::Typed;
      return std::nullopt;
    }
    const inspect::Sample s = inspect::describe(used);
    if (s.n < 2 || !(s.sd > 0)) {
      return Refused{MeasurementRefusal::TooFewReadings,
                     which + "少于 2 个互不相同的含量，无法由离散性估计误差；请输入误差标准差。",
                     whichEnglish +
                         ": fewer than 2 different contents, so the scatter gives no error; give "
                         "the error's standard deviation"};
    }
    out.sd = s.sd;
    out.source = ErrorSource::ReadingsScatter;
    out.fitPoints = static_cast<int>(s.n);
    return std::nullopt;
  }
  const bool needsFit = !c.errorSd || in.background == inspect::Background::Fitted;
  if (needsFit && !fit) {
    return Refused{MeasurementRefusal::CoreNotUsable,
                   which + "：" + fit.refusal().text +
                       (c.errorSd ? "背景含量取拟合值，须拟合成功。"
                                  : "误差标准差取拟合残差，须拟合成功；或请输入误差标准差。"),
                   whichEnglish + ": " + fit.refusal().message +
                       (c.errorSd ? "; the background is the fitted one, which needs the fit"
                                  : "; the error is the fit's residual deviation, which needs the "
                                    "fit, or give the error's standard deviation")};
  }
  if (in.background == inspect::Background::Given) {
    out.background = inspect::to_kg_per_m3(in, in.backgroundValue);
  } else if (in.background == inspect::Background::Fitted) {
    out.background = fit->backgroundUsed;
  }
  if (c.errorSd) {
    out.sd = *c.errorSd;
    out.source = ErrorSource::Typed;
  } else {
    if (!positive(fit->residualSd)) {
      return Refused{MeasurementRefusal::TooFewReadings,
                     which + "的拟合残差为 0，无法估计误差；请输入误差标准差。",
                     whichEnglish +
                         ": the fit leaves no residual, so it gives no error; give the error's "
                         "standard deviation"};
    }
    out.sd = fit->residualSd;
    out.source = ErrorSource::FitResiduals;
    out.fitPoints = fit->pointsUsed;
  }
  return std::nullopt;
}

std::optional<Refused> check_at_inspection(const AtInspection& a, const std::string& what,
                                           const std::string& english) {
  if (!std::isfinite(a.value) || a.value < 0 || a.value > kMaxAtInspectionMm) {
    return Refused{
        MeasurementRefusal::BadReading,
        what + "须为 0～" + num(kMaxAtInspectionMm) + " mm 之间的数。",
        english + " must be a number of 0 or more (at most " + num(kMaxAtInspectionMm) + " mm)"};
  }
  if (!positive(a.sd) || a.sd < kErrorSdLow || a.sd > kMaxAtInspectionMm) {
    return Refused{MeasurementRefusal::BadError,
                   what + "的误差标准差须在 " + num(kErrorSdLow) + "～" + num(kMaxAtInspectionMm) +
                       " mm 之间。",
                   english + ": the error's standard deviation must be above 0, from " +
                       num(kErrorSdLow) + " to " + num(kMaxAtInspectionMm) + " mm"};
  }
  return std::nullopt;
}

}  // namespace

Outcome<PreparedMeasurements, MeasurementRefusal> prepare(const sheet::Module& module,
                                                          const sheet::SheetInputs& inputs,
                                                          const Measurements& m) {
  const SheetLaw law(module);
  PreparedMeasurements out;
  if (!m.depths.empty() && !law.carbonation()) {
    return Refused{MeasurementRefusal::NotOnThisSheet,
                   "本计算表的模型不给出碳化深度，碳化深度读数不能用于更新。",
                   "this sheet's model gives no carbonation depth; the carbonation readings "
                   "cannot update it"};
  }
  if (!m.cores.empty() && !law.chloride()) {
    return Refused{MeasurementRefusal::NotOnThisSheet,
                   "碳化计算表的模型不给出氯离子含量，芯样的氯离子剖面不能用于更新。",
                   "the carbonation sheet's model gives no chloride content; the cores' profiles "
                   "cannot update it"};
  }
  for (std::size_t i = 0; i < m.depths.size(); ++i) {
    PreparedDepths d;
    if (auto r = prepare_depths(m.depths[i], i, d)) return *r;
    out.depths.push_back(std::move(d));
  }
  // The admixed sheet's law has no depth: its cores are read as the admixed content.
  const bool admixed = law.chloride() && !law.ingress();
  for (std::size_t i = 0; i < m.cores.size(); ++i) {
    PreparedCore c;
    if (auto r = prepare_core(m.cores[i], i, admixed, c)) return *r;
    out.cores.push_back(std::move(c));
  }
  if (!m.coverMm.empty()) {
    if (m.coverMm.size() < 2) {
      return Refused{MeasurementRefusal::TooFewCoverReadings,
                     "保护层厚度读数至少需要 2 个才能更新其分布。",
                     "the cover needs at least 2 readings to update its law"};
    }
    for (std::size_t i = 0; i < m.coverMm.size(); ++i) {
      if (!positive(m.coverMm[i])) {
        return Refused{MeasurementRefusal::BadReading,
                       "第 " + std::to_string(i + 1) + " 个保护层厚度读数不是大于 0 的数。",
                       "cover reading " + std::to_string(i + 1) + " is not a number above 0"};
      }
    }
    out.coverMm = m.coverMm;
  }
  if (m.corrosionDepth) {
    if (auto r = check_at_inspection(*m.corrosionDepth, "检测时实测钢筋锈蚀深度",
                                     "the measured corrosion depth")) {
      return *r;
    }
    out.corrosionDepth = m.corrosionDepth;
  }
  if (m.crackWidth) {
    if (auto r = check_at_inspection(*m.crackWidth, "检测时实测锈胀裂缝宽度",
                                     "the measured crack width")) {
      return *r;
    }
    const auto kind = model::steel_kind_of(inputs.steelKind);
    if (!model::steel_coefficients(kind).bar) {
      return Refused{MeasurementRefusal::NoCrackWidth,
                     "墙板配筋的模型不计算锈胀裂缝宽度，实测裂缝宽度不能用于更新。",
                     "the model gives no crack width for wall or slab reinforcement; the measured "
                     "width cannot update it"};
    }
    out.crackWidth = m.crackWidth;
  }
  return out;
}

std::vector<std::string> measurement_lines(const PreparedMeasurements& m) {
  std::vector<std::string> lines;
  for (const auto& d : m.depths) {
    std::string line = "碳化深度：" + std::to_string(d.logs.size() + d.zeros) + " 个读数，龄期 " +
                       num(d.ageYears) + " a；误差为对数正态（均值 1），变异系数 " + num(d.cov, 3) +
                       "（" + source_text(d.source) + "）";
    if (d.zeros > 0) {
      line += "；" + std::to_string(d.zeros) + " 个读数为 0，按碳化深度小于 " +
              num(kDepthResolutionMm) + " mm 计入";
    }
    lines.push_back(line + "。");
  }
  for (const auto& c : m.cores) {
    std::size_t used = 0;
    for (bool u : c.used) used += u ? 1 : 0;
    std::string line = "芯样“" + c.name + "”：" + std::to_string(used) + " 个数据点，龄期 " +
                       num(c.ageYears) + " a";
    if (used < c.used.size()) line += "，最外层不计入（与剖面拟合相同）";
    line += "；误差为正态，标准差 " + num(c.sd, 3) + " kg/m^3（" + source_text(c.source) + "）";
    if (c.backgroundKind != inspect::Background::Zero) {
      line += "；模型含量加背景含量 " + num(c.background, 3) + " kg/m^3（" +
              (c.backgroundKind == inspect::Background::Given ? "给定" : "拟合值") + "）";
    }
    lines.push_back(line + "。");
  }
  if (m.corrosionDepth) {
    lines.push_back("检测时钢筋锈蚀深度：实测 " + num(m.corrosionDepth->value) +
                    " mm，误差为正态，标准差 " + num(m.corrosionDepth->sd) + " mm（输入值）。");
  }
  if (m.crackWidth) {
    lines.push_back("检测时锈胀裂缝宽度：实测 " + num(m.crackWidth->value) +
                    " mm，误差为正态，标准差 " + num(m.crackWidth->sd) + " mm（输入值）。");
  }
  return lines;
}

std::vector<std::string> measurement_lines_english(const PreparedMeasurements& m) {
  std::vector<std::string> lines;
  for (const auto& d : m.depths) {
    std::string line = "carbonation depths: " + std::to_string(d.logs.size() + d.zeros) +
                       " readings at " + num(d.ageYears) + " a; lognormal error (mean 1), CoV " +
                       num(d.cov, 3) + " (" + source_english(d.source) + ")";
    if (d.zeros > 0) {
      line += "; " + std::to_string(d.zeros) + " readings of 0 taken as a depth below " +
              num(kDepthResolutionMm) + " mm";
    }
    lines.push_back(line);
  }
  for (const auto& c : m.cores) {
    std::size_t used = 0;
    for (bool u : c.used) used += u ? 1 : 0;
    std::string line =
        "core '" + c.name + "': " + std::to_string(used) + " points at " + num(c.ageYears) + " a";
    if (used < c.used.size()) line += ", the outermost layer left out as in the fit";
    line += "; normal error, sd " + num(c.sd, 3) + " kg/m3 (" + source_english(c.source) + ")";
    if (c.backgroundKind != inspect::Background::Zero) {
      line += "; the model's content plus a background of " + num(c.background, 3) + " kg/m3 (" +
              (c.backgroundKind == inspect::Background::Given ? "given" : "fitted") + ")";
    }
    lines.push_back(line);
  }
  if (m.corrosionDepth) {
    lines.push_back("corrosion depth at the inspection age: " + num(m.corrosionDepth->value) +
                    " mm measured, normal error sd " + num(m.corrosionDepth->sd) +
                    " mm (as given)");
  }
  if (m.crackWidth) {
    lines.push_back("crack width at the inspection age: " + num(m.crackWidth->value) +
                    " mm measured, normal error sd " + num(m.crackWidth->sd) + " mm (as given)");
  }
  return lines;
}

}  // namespace pellucor::analysis::update
