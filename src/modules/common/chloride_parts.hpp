// Pieces of the four chloride sheets: the checks, the binding of the boxes to the model input,
// the echo and result items that the sheets of chloride entering through the cover share
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

// The source of the coefficient as the echo names it.
std::string_view source_name(model::DiffusionSource source);

// ------------------------------------------------------------------ the record
//
// The echo items below carry the line of the echo of the constant-coefficient sheet; the other
// sheets print them in their own order, and the line numbers only tell one line from the next.

// The cover, diameter and measuring depth as the models hold them (metres) written back in
// millimetres, the coefficient as used (typed or derived) in cm2/a, the assumed cracking time of
// the last pass.
inline constexpr ItemText kEchoCoverUsed{.key = "cover-used",
                                         .name = "保护层厚度",
                                         .unit = "mm",
                                         .label = ",保护层厚度（单位为mm）= ",
                                         .line = 2};
inline constexpr ItemText kEchoDiffusionUsed{.key = "diffusion-used",
                                             .name = "氯离子扩散系数",
                                             .unit = "cm^2/a",
                                             .label = "氯离子扩散系数（单位为cm^2/a）= ",
                                             .line = 3};
inline constexpr ItemText kEchoSurface{.key = "surface",
                                       .name = "表面氯浓度",
                                       .unit = "kg/m^3",
                                       .label = ",表面氯浓度（单位为kg/m^3）= ",
                                       .line = 3};
inline constexpr ItemText kEchoCritical{.key = "critical",
                                        .name = "氯临界浓度",
                                        .unit = "kg/m^3",
                                        .label = ",氯临界浓度（单位为kg/m^3）= ",
                                        .line = 3};
inline constexpr ItemText kEchoDepthUsed{.key = "depth-used",
                                         .name = "距表面深度",
                                         .unit = "mm",
                                         .label = "距表面深度（单位为mm）= ",
                                         .line = 4};
inline constexpr ItemText kEchoMeasured{.key = "measured",
                                        .name = "实测氯浓度",
                                        .unit = "kg/m^3",
                                        .label = ",实测氯浓度单位为kg/m^3= ",
                                        .line = 4};
inline constexpr ItemText kEchoWaterCement{
    .key = "water-cement", .name = "水灰比", .label = ",水灰比= ", .line = 4};
inline constexpr ItemText kEchoCrackingUsed{.key = "cracking-time-used",
                                            .name = "初设开裂时间",
                                            .unit = "a",
                                            .label = "初设开裂时间（单位为a）= ",
                                            .line = 5};
inline constexpr ItemText kEchoDiameterUsed{.key = "diameter-used",
                                            .name = "钢筋直径",
                                            .unit = "mm",
                                            .label = ",钢筋直径(单位为mm) = ",
                                            .line = 5};
inline constexpr ItemText kEchoSteel{
    .key = "steel", .name = "钢筋种类", .label = ",钢筋种类 = ", .line = 5};
inline constexpr ItemText kEchoSource{
    .key = "source", .name = "扩散系数来源", .label = "扩散系数来源= ", .line = 7};

// Echo lines 1 to 5 of the two sheets whose coefficient is typed or derived: climate, concrete,
// the coefficient as used and the concentrations, the measurement and the water-cement ratio,
// the cracking time and the steel. Lengths pass through metres and back, as the model has them.
template <class Input, class Result>
void add_derivable_echo(sheet::ResultRecord& record, const Input& mi, const Result& r,
                        const sheet::SheetInputs& in) {
  record.input(kEchoEnvironment, mi.Ke)
      .input(kEchoTemperature, mi.T)
      .input(kEchoHumidity, mi.RH)
      .input(kEchoStrength, mi.fcu)
      .derived(kEchoCoverUsed, r.c * 1000)
      .input(kEchoAge, mi.t)
      .derived(kEchoDiffusionUsed, r.D * 10000)
      .input(kEchoSurface, mi.Cs)
      .input(kEchoCritical, mi.Ccr)
      .derived(kEchoDepthUsed, r.x * 1000)
      .input(kEchoMeasured, mi.Cx)
      .input(kEchoWaterCement, mi.wc)
      .derived(kEchoCrackingUsed, r.iteration.tcStar)
      .derived(kEchoDiameterUsed, r.d * 1000);
  add_steel(record, kEchoSteel, in);
}

// The result items of the chloride sheets. The marine sheet and the constant-coefficient sheet
// write some units without a blank; the marine sheet labels the post-cracking rate as a depth,
// with a length unit.
inline constexpr ItemText kResultD{.key = "D",
                                   .name = "计算扩散系数",
                                   .unit = "m^2/a",
                                   .label = "计算扩散系数:",
                                   .after = " m^2/a"};
inline constexpr ItemText kResultK{.key = "K",
                                   .name = "氯侵蚀系数",
                                   .unit = "mm/a^0.5",
                                   .label = "氯侵蚀系数:",
                                   .after = " mm/a^0.5"};
inline constexpr ItemText kResultTi{.key = "ti",
                                    .name = "钢筋开始锈蚀时间",
                                    .unit = "a",
                                    .label = "钢筋开始锈蚀时间:",
                                    .after = " a"};
inline constexpr ItemText kResultTiNoBlank{.key = "ti",
                                           .name = "钢筋开始锈蚀时间",
                                           .unit = "a",
                                           .label = "钢筋开始锈蚀时间:",
                                           .after = "a"};
inline constexpr ItemText kResultLambda0{.key = "lambda0",
                                         .name = "保护层开裂前钢筋锈蚀速度",
                                         .unit = "mm/a",
                                         .label = "保护层开裂前钢筋锈蚀速度:",
                                         .after = " mm/a"};
inline constexpr ItemText kResultDcr{.key = "dcr",
                                     .name = "保护层开裂前钢筋锈蚀深度",
                                     .unit = "mm",
                                     .label = "保护层开裂前钢筋锈蚀深度:",
                                     .after = " mm"};
inline constexpr ItemText kResultTp{
    .key = "tp", .name = "钢筋锈蚀时间", .unit = "a", .label = "钢筋锈蚀时间:", .after = " a"};
inline constexpr ItemText kResultTc{.key = "tc",
                                    .name = "保护层开裂的时间",
                                    .unit = "a",
                                    .label = "保护层开裂的时间:",
                                    .after = " a"};
inline constexpr ItemText kResultTcNoBlank{.key = "tc",
                                           .name = "保护层开裂的时间",
                                           .unit = "a",
                                           .label = "保护层开裂的时间:",
                                           .after = "a"};
inline constexpr ItemText kResultLambda1{.key = "lambda1",
                                         .name = "保护层开裂后钢筋锈蚀速度",
                                         .unit = "mm/a",
                                         .label = "保护层开裂后钢筋锈蚀速度:",
                                         .after = " mm/a"};
inline constexpr ItemText kResultLambda1AsDepth{.key = "lambda1",
                                                .name = "保护层开裂后钢筋锈蚀深度",
                                                .unit = "mm",
                                                .label = "保护层开裂后钢筋锈蚀深度:",
                                                .after = " mm"};
inline constexpr ItemText kResultTd{
    .key = "td", .name = "使用年限", .unit = "a", .label = "使用年限:", .after = " a"};
inline constexpr ItemText kResultDt{.key = "dt",
                                    .name = "检测时的钢筋腐蚀深度",
                                    .unit = "mm",
                                    .label = "检测时的钢筋腐蚀深度:",
                                    .after = " mm"};
inline constexpr ItemText kResultW{.key = "w",
                                   .name = "检测时的裂缝宽度",
                                   .unit = "mm",
                                   .label = "检测时的裂缝宽度:",
                                   .after = " mm"};

// Where the result lines of the three diffusion sheets differ, as their files have always
// carried them.
struct DiffusionReportStyle {
  const ItemText* initiation = &kResultTi;  // the constant-coefficient sheet: no blank
  const ItemText* cracking = &kResultTc;    // the marine sheet: no blank
  const ItemText* postRate = &kResultLambda1;
};

// The eleven result lines of a diffusion sheet, then the end-of-durability depth and the span
// from cracking to it, which these sheets do not print.
template <class Result>
std::vector<ResultRow<Result>> diffusion_result_rows(const DiffusionReportStyle& style) {
  using V = std::optional<double>;
  return {
      {&kResultD, [](const Result& r) -> V { return r.D; }},
      {&kResultK, [](const Result& r) -> V { return r.K; }},
      {style.initiation, [](const Result& r) -> V { return r.propIn.ti; }},
      {&kResultLambda0, [](const Result& r) -> V { return r.propIn.lambda0; }},
      {&kResultDcr, [](const Result& r) -> V { return r.prop.dcr; }},
      {&kResultTp, [](const Result& r) -> V { return r.prop.tp; }},
      {style.cracking, [](const Result& r) -> V { return r.prop.tc; }},
      {style.postRate, [](const Result& r) -> V { return r.prop.lambda1; }},
      {&kResultTd, [](const Result& r) -> V { return r.prop.td; }},
      {&kResultDt, [](const Result& r) -> V { return r.prop.dt; }},
      {&kResultW, [](const Result& r) { return r.prop.w; }},
      {&kUnprintedDd, [](const Result& r) -> V { return r.prop.dd; }},
      {&kUnprintedDtd, [](const Result& r) -> V { return r.prop.dtd; }},
  };
}

// Runs an iterating chloride model on `mi` and reports every pass to the sheet: its assumed
// cracking time, and (when the sink wants a report) the result lines of `record(result)`. When
// the model ran to its end, the outcome holds the record and the report made from it; on a
// stop only the stop and the run are set.
template <class Input, class Result, class Record>
sheet::CalculationOutcome calculate_iterating(const Input& mi,
                                              Result (*run)(const Input&,
                                                            model::IterationObserver<Result>*),
                                              Record record, sheet::CalculationSink& sink) {
  PassForwarder<Result, Record> forward(sink, record);
  const Result r = run(mi, &forward);
  sheet::CalculationOutcome out;
  out.run = model::Run<Input, Result>{mi, r};
  if (r.stop) {
    out.stop = r.stop;
    return out;
  }
  if (!sink.wantsReport() && !sink.wantsRecord()) return out;
  finish(out, record(r), sink);
  return out;
}

}  // namespace pellucor::modules::parts
