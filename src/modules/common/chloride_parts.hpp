// Pieces of the four chloride sheets: the checks, the binding of the boxes to the model input,
// the echo and the result lines that the sheets of chloride entering through the cover share
// (constant coefficient, time-dependent coefficient, marine atmosphere), and the run of an
// iterating model with its passes forwarded to the sheet. The boxes are named by each sheet's
// enumeration; the shared parts read the names they need from it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/model_run.hpp"
#include "modules/common/sheet_parts.hpp"

namespace pellucor::modules::parts {

// The options of the diffusion coefficient's source.
inline constexpr sheet::Control kFromProfile = sheet::Control::Option1;
inline constexpr sheet::Control kFromWaterCement = sheet::Control::Option2;

// The derivation of the coefficient on the two sheets that type or derive it: a typed
// coefficient locks the boxes it would be derived from (a finished calculation enables them
// again), and the option group of the source, its two options at `first` and `second`.
template <BoxName Box>
void add_derivation(sheet::SheetTable& s, const sheet::Rect& frame, const sheet::Rect& first,
                    const sheet::Rect& second, std::string_view prompt) {
  const std::vector<sheet::Control> from = {control(Box::Depth), control(Box::Measured),
                                            control(Box::WaterCement)};
  row(s, Box::Diffusion).locked = from;
  s.enabledAfterCalculation = from;
  s.groups = {{"Frame1",
               "扩散系数来源",
               frame,
               {{{kFromProfile, "由实测氯浓度推算", "from-profile", prompt, first},
                 {kFromWaterCement, "由水灰比推算", "from-water-cement", prompt, second}}}}};
}

// The not-entered checks of the two sheets whose diffusion coefficient is typed or derived
// (from the measured profile with kFromProfile, else from the water-cement ratio), up to the
// water-cement ratio.
template <BoxName Box>
std::optional<sheet::CheckFailure> derivable_coefficient_missing(const sheet::SheetInputs& in) {
  if (auto f = climate_and_concrete_missing<Box>(in)) return f;
  const bool typed = in.box(Box::Diffusion) != 0;
  // No coefficient and nothing to derive it from.
  if (!typed && in.box(Box::Depth) == 0 && in.box(Box::Measured) == 0 &&
      in.box(Box::WaterCement) == 0) {
    return sheet::CheckFailure{kDiffusion.notEntered, control(Box::Diffusion)};
  }
  if (auto f = first_missing(
          in, {{Box::Surface, kSurface.notEntered}, {Box::Critical, kCritical.notEntered}})) {
    return f;
  }
  if (typed) return std::nullopt;
  if (chosen(in, kFromProfile)) {
    return first_missing(in,
                         {{Box::Depth, kDepth.notEntered}, {Box::Measured, kMeasured.notEntered}});
  }
  return first_missing(in, {{Box::WaterCement, kWaterCement.notEntered}});
}

// The last checks of a diffusion sheet: its further boxes `more` in order, the steel kind,
// then the consistency of the measured and critical concentrations with the surface one.
template <BoxName Box>
std::optional<sheet::CheckFailure> profile_rest_missing(const sheet::SheetInputs& in,
                                                        std::initializer_list<Required> more) {
  if (auto f = first_missing(in, more)) return f;
  if (auto f = steel_kind_missing(in)) return f;
  return concentrations_inconsistent(in.box(Box::Measured), in.box(Box::Critical),
                                     in.box(Box::Surface));
}

// The boxes the three diffusion sheets share, into their model's input.
template <BoxName Box, class Input>
void bind_profile(const sheet::SheetInputs& in, Input& mi) {
  mi.Ke = in.box(Box::Environment);
  mi.T = in.box(Box::Temperature);
  mi.RH = in.box(Box::Humidity);
  mi.fcu = in.box(Box::Strength);
  mi.coverMm = in.box(Box::Cover);
  mi.t = in.box(Box::Age);
  mi.Cs = in.box(Box::Surface);
  mi.Ccr = in.box(Box::Critical);
  mi.xMm = in.box(Box::Depth);
  mi.Cx = in.box(Box::Measured);
  mi.tcStart = in.box(Box::AssumedCracking);
  mi.dMm = in.box(Box::Diameter);
  mi.kind = model::steel_kind_of(in.steelKind);
}

// The same with the coefficient typed or derived, and its source.
template <BoxName Box, class Input>
void bind_derivable(const sheet::SheetInputs& in, Input& mi) {
  bind_profile<Box>(in, mi);
  mi.Dcm2 = in.box(Box::Diffusion);
  mi.wc = in.box(Box::WaterCement);
  mi.source = chosen(in, kFromProfile) ? model::DiffusionSource::MeasuredProfile
                                       : model::DiffusionSource::WaterCementRatio;
}

// The echo of the assumed cracking time (as the last pass used it), the diameter and the
// steel's name.
std::string echo_cracking_and_steel(double tcStar, double diameterMm, std::string_view steelName);
// The echo of the measuring depth and the measured concentration, to be continued.
EchoLine echo_measurement(double depthMm, double Cx);
// The source of the coefficient as the echo names it.
std::string_view source_name(model::DiffusionSource source);

// Echo lines 1 to 5 of the two sheets whose coefficient is typed or derived: climate, concrete,
// the coefficient as used and the concentrations, the measurement and the water-cement ratio,
// the cracking time and the steel. Lengths pass through metres and back, as the model has them.
template <class Input, class Result>
std::vector<std::string> derivable_echo(const Input& mi, const Result& r,
                                        std::string_view steelName) {
  return {
      echo_climate(mi.Ke, mi.T, mi.RH),
      echo_concrete(mi.fcu, r.c * 1000, mi.t),
      EchoLine()("氯离子扩散系数（单位为cm^2/a）= ", r.D * 10000)(
          ",表面氯浓度（单位为kg/m^3）= ", mi.Cs)(",氯临界浓度（单位为kg/m^3）= ", mi.Ccr)
          .str(),
      echo_measurement(r.x * 1000, mi.Cx)(",水灰比= ", mi.wc).str(),
      echo_cracking_and_steel(r.iteration.tcStar, r.d * 1000, steelName),
  };
}

// Where the result lines of the three diffusion sheets differ, as their files have always
// carried them.
struct DiffusionReportStyle {
  std::string_view initiationUnit = " a";  // the constant-coefficient sheet has no blank: "a"
  std::string_view crackingUnit = " a";    // the marine sheet has no blank: "a"
  // The marine sheet labels the post-cracking rate as a depth, with a length unit.
  std::string_view postRateLabel = "保护层开裂后钢筋锈蚀速度:";
  std::string_view postRateUnit = " mm/a";
};

// The eleven result lines of a diffusion sheet.
template <class Result>
std::vector<std::string> diffusion_result_lines(const Result& r,
                                                const DiffusionReportStyle& style) {
  const auto& p = r.prop;
  return {
      result_line("计算扩散系数:", r.D, " m^2/a"),
      result_line("氯侵蚀系数:", r.K, " mm/a^0.5"),
      result_line("钢筋开始锈蚀时间:", r.ti, style.initiationUnit),
      result_line("保护层开裂前钢筋锈蚀速度:", r.rate.lambda0, " mm/a"),
      result_line("保护层开裂前钢筋锈蚀深度:", p.dcr, " mm"),
      result_line("钢筋锈蚀时间:", p.tp, " a"),
      result_line("保护层开裂的时间:", p.tc, style.crackingUnit),
      result_line(style.postRateLabel, p.lambda1, style.postRateUnit),
      result_line("使用年限:", p.td, " a"),
      result_line("检测时的钢筋腐蚀深度:", p.dt, " mm"),
      crack_width_line("检测时的裂缝宽度:", p.w, " mm"),
  };
}

// Runs an iterating chloride model on `mi` and reports every pass to the sink with the pass's
// result lines `lines(result)`. When the model ran to its end, pane and file carry the same
// result lines and the echo is `echo(result)`; on a stop only the stop and the run are set.
template <class Input, class Result, class Lines, class Echo>
sheet::CalculationOutcome calculate_iterating(
    const Input& mi, Result (*run)(const Input&, model::IterationObserver<Result>*), Lines lines,
    Echo echo, sheet::CalculationSink& sink) {
  PassForwarder<Result, Lines> forward(sink, lines);
  const Result r = run(mi, &forward);
  sheet::CalculationOutcome out;
  out.run = model::Run<Input, Result>{mi, r};
  if (r.stop) {
    out.stop = r.stop;
    return out;
  }
  if (!sink.wantsReport()) return out;
  out.report.pane = lines(r);
  out.report.file = out.report.pane;
  out.report.echo = echo(r);
  return out;
}

}  // namespace pellucor::modules::parts
