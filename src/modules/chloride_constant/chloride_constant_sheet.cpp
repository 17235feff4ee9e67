#include "modules/chloride_constant/chloride_constant_sheet.hpp"

#include "model/chloride_constant.hpp"
#include "modules/common/sheet_parts.hpp"

namespace pellucor::modules {

namespace {

using sheet::ChangeCheck;
using sheet::Control;
using sheet::LeaveCheck;
using sheet::Rect;

constexpr std::string_view kSourcePrompt =
    " 扩散系数来源（由实测氯浓度推算和由距表面深度推算），请从中选择一种!";

constexpr int kBoxHeight = 372;

sheet::SheetTable make_table() {
  using parts::make_field;
  sheet::SheetTable s;
  s.number = 2;
  s.formName = "frm_main2";
  s.caption = "由氯离子侵蚀引起的钢筋腐蚀（扩散系数取常数）";
  s.cliName = "chloride-constant";
  s.menuCaption = "渗氯盐_常系数(&B)";

  constexpr auto R = LeaveCheck::Range;
  constexpr auto N = ChangeCheck::None;
  s.fields = {
      make_field(parts::kEnvironment,
                 {Control::Text1, "environment", "local environment coefficient K_e, no unit", R, N,
                  Rect{2040, 180, 1300, kBoxHeight}},
                 Rect{480, 240, 1440, 240}),
      make_field(parts::kTemperature,
                 {Control::Text2, "temperature", "ambient temperature T, degrees Celsius", R, N,
                  Rect{4800, 180, 1300, kBoxHeight}},
                 Rect{3720, 240, 960, 240}),
      make_field(parts::kHumidity,
                 {Control::Text3, "humidity", "ambient relative humidity RH as a fraction", R, N,
                  Rect{7560, 180, 1400, kBoxHeight}},
                 Rect{6480, 240, 960, 240}),
      make_field(parts::kStrength,
                 {Control::Text4, "strength", "concrete strength f_cu, MPa", R, N,
                  Rect{2040, 690, 1300, kBoxHeight}},
                 Rect{720, 720, 1200, 240}),
      make_field(parts::kCover,
                 {Control::Text5, "cover", "cover thickness c, mm", R, N,
                  Rect{4800, 690, 1300, kBoxHeight}},
                 Rect{3480, 720, 1200, 240}),
      make_field(parts::kInspectionAge,
                 {Control::Text6, "age",
                  "inspection age t, years (the age at which the chloride was measured)", R, N,
                  Rect{7560, 690, 1400, kBoxHeight}},
                 Rect{6480, 720, 960, 240}),
      make_field(parts::kDiffusion,
                 {Control::Text7, "diffusion",
                  "chloride diffusion coefficient D, cm2/a; leave empty to derive it",
                  LeaveCheck::ZeroBlankOnly, ChangeCheck::LockDerivation,
                  Rect{2040, 1200, 1300, kBoxHeight}},
                 Rect{480, 1200, 1440, 240}),
      make_field(parts::kSurface,
                 {Control::Text8, "surface", "surface chloride concentration C_s, kg/m3", R, N,
                  Rect{4800, 1200, 1300, kBoxHeight}},
                 Rect{3480, 1200, 1200, 240}),
      make_field(parts::kCritical,
                 {Control::Text9, "critical", "critical chloride concentration C_cr, kg/m3", R, N,
                  Rect{7560, 1200, 1400, kBoxHeight}},
                 Rect{6240, 1200, 1200, 240}),
      make_field(
          parts::kDepth,
          {Control::Text10, "depth", "measuring depth x below the surface, mm (no range check)",
           LeaveCheck::None, N, Rect{2040, 1710, 1300, kBoxHeight}},
          Rect{720, 1740, 1200, 240}),
      make_field(parts::kMeasured,
                 {Control::Text11, "measured",
                  "measured chloride concentration C_x at depth x at age t, kg/m3 (no range "
                  "check)",
                  LeaveCheck::None, N, Rect{4800, 1710, 1300, kBoxHeight}},
                 Rect{3480, 1740, 1200, 240}),
      make_field(parts::kWaterCement,
                 {Control::Text12, "water-cement", "water-cement ratio w/c (no range check)",
                  LeaveCheck::None, N, Rect{7560, 1710, 1400, kBoxHeight}},
                 Rect{6720, 1740, 720, 240}),
      make_field(parts::kAssumedCracking,
                 {Control::Text13, "cracking-time",
                  "assumed cracking time t_c*, years: the start of the cracking-time iteration", R,
                  N, Rect{2040, 2220, 1300, kBoxHeight}},
                 Rect{480, 2280, 1440, 240}),
      make_field(parts::kDiameter,
                 {Control::Text14, "diameter", "steel diameter d, mm", R, N,
                  Rect{4800, 2220, 1300, kBoxHeight}},
                 Rect{3720, 2280, 960, 240}),
  };
  s.fields[6].locked = {Control::Text10, Control::Text11, Control::Text12};

  s.groups = {{"Frame1",
               "扩散系数来源",
               {480, 2640, 5175, 615},
               {{{Control::Option1,
                  "由实测氯浓度推算",
                  "from-profile",
                  kSourcePrompt,
                  {480, 240, 2295, 255}},
                 {Control::Option2,
                  "由水灰比推算",
                  "from-water-cement",
                  kSourcePrompt,
                  {3000, 240, 2295, 255}}}}}};
  s.combo.box = {7320, 2220, 1635, 360};
  s.combo.labelRect = {6240, 2280, 960, 240};

  s.cmdCal = {9240, 480, 1400, 400};
  s.cmdSave = {9240, 1500, 1400, 400};
  s.cmdExit = {9240, 2520, 1400, 400};
  s.pane = {120, 3360, 10815, 5175};
  s.tabOrder = {Control::Text1,   Control::Text2,  Control::Text3,   Control::Text4,
                Control::Text5,   Control::Text6,  Control::Text7,   Control::Text8,
                Control::Text9,   Control::Text10, Control::Text11,  Control::Text12,
                Control::Text13,  Control::Text14, Control::Combo1,  Control::Option1,
                Control::Option2, Control::CmdCal, Control::CmdSave, Control::CmdExit,
                Control::Picture1};
  s.enabledAfterCalculation = {Control::Text10, Control::Text11, Control::Text12};
  s.assumedTimeBox = Control::Text13;
  return s;
}

std::vector<std::string> result_lines(const model::ChlorideConstantResult& r) {
  using parts::result_line;
  const auto& p = r.prop;
  return {
      result_line("计算扩散系数:", r.D, " m^2/a"),
      result_line("氯侵蚀系数:", r.K, " mm/a^0.5"),
      result_line("钢筋开始锈蚀时间:", r.ti, "a"),
      result_line("保护层开裂前钢筋锈蚀速度:", r.rate.lambda0, " mm/a"),
      result_line("保护层开裂前钢筋锈蚀深度:", p.dcr, " mm"),
      result_line("钢筋锈蚀时间:", p.tp, " a"),
      result_line("保护层开裂的时间:", p.tc, " a"),
      result_line("保护层开裂后钢筋锈蚀速度:", p.lambda1, " mm/a"),
      result_line("使用年限:", p.td, " a"),
      result_line("检测时的钢筋腐蚀深度:", p.dt, " mm"),
      parts::crack_width_line("检测时的裂缝宽度:", p.w, " mm"),
  };
}

}  // namespace

const sheet::SheetTable& ChlorideConstantSheet::table() const {
  static const sheet::SheetTable s = make_table();
  return s;
}

std::optional<sheet::CheckFailure> ChlorideConstantSheet::check(
    const sheet::SheetInputs& in) const {
  if (auto f = parts::derivable_coefficient_missing(in)) return f;
  if (auto f = parts::first_missing(
          in, {{13, parts::kAssumedCracking.notEntered}, {14, parts::kDiameter.notEntered}})) {
    return f;
  }
  if (auto f = parts::steel_kind_missing(in)) return f;
  return parts::concentrations_inconsistent(in.box(11), in.box(9), in.box(8));
}

sheet::CalculationOutcome ChlorideConstantSheet::calculate(const sheet::SheetInputs& in,
                                                           sheet::CalculationSink& sink) const {
  model::ChlorideConstantInput mi;
  mi.Ke = in.box(1);
  mi.T = in.box(2);
  mi.RH = in.box(3);
  mi.fcu = in.box(4);
  mi.coverMm = in.box(5);
  mi.t = in.box(6);
  mi.Dcm2 = in.box(7);
  mi.Cs = in.box(8);
  mi.Ccr = in.box(9);
  mi.xMm = in.box(10);
  mi.Cx = in.box(11);
  mi.wc = in.box(12);
  mi.tcStart = in.box(13);
  mi.dMm = in.box(14);
  mi.kind = model::steel_kind_of(in.steelKind);
  const bool measured = in.option(1);
  mi.source =
      measured ? model::DiffusionSource::MeasuredProfile : model::DiffusionSource::WaterCementRatio;

  parts::PassForwarder<model::ChlorideConstantResult, decltype(&result_lines)> forward(
      sink, &result_lines);
  const model::ChlorideConstantResult r = model::run_chloride_constant(mi, &forward);
  sheet::CalculationOutcome out;
  out.run = model::ChlorideConstantRun{mi, r};
  if (r.stop) {
    out.stop = r.stop;
    return out;
  }
  out.report.pane = result_lines(r);
  out.report.file = out.report.pane;
  out.report.echo = {
      parts::echo_climate(mi.Ke, mi.T, mi.RH),
      parts::echo_concrete(mi.fcu, r.c * 1000, mi.t),
      parts::EchoLine()("氯离子扩散系数（单位为cm^2/a）= ", r.D * 10000)(
          ",表面氯浓度（单位为kg/m^3）= ", mi.Cs)(",氯临界浓度（单位为kg/m^3）= ", mi.Ccr)
          .str(),
      parts::EchoLine()("距表面深度（单位为mm）= ", r.x * 1000)(",实测氯浓度单位为kg/m^3= ", mi.Cx)(
          ",水灰比= ", mi.wc)
          .str(),
      parts::EchoLine()("初设开裂时间（单位为a）= ", r.iteration.tcStar)(",钢筋直径(单位为mm) = ",
                                                                         r.d * 1000)
          .text(",钢筋种类 = ", in.steelName)
          .str(),
      parts::EchoLine()
          .text("扩散系数来源= ", measured ? parts::kSourceMeasured : parts::kSourceOther)
          .str(),
  };
  return out;
}

}  // namespace pellucor::modules
