#include "modules/chloride_constant/chloride_constant_sheet.hpp"

#include "model/chloride_constant.hpp"
#include "modules/common/chloride_parts.hpp"

namespace pellucor::modules {

namespace {

using parts::control;
using sheet::ChangeCheck;
using sheet::Control;
using sheet::LeaveCheck;
using sheet::Rect;
using Box = ChlorideConstantSheet::Box;

constexpr std::string_view kSourcePrompt =
    " 扩散系数来源（由实测氯浓度推算和由距表面深度推算），请从中选择一种!";

constexpr int kBoxHeight = 372;

using Result = model::ChlorideConstantResult;

// The initiation time's unit has no blank.
const std::vector<parts::ResultRow<Result>>& result_rows() {
  static const auto rows =
      parts::diffusion_result_rows<Result>({.initiation = &parts::kResultTiNoBlank});
  return rows;
}

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
      make_field(
          parts::kEnvironment,
          {control(Box::Environment), "environment", "local environment coefficient K_e, no unit",
           R, N, Rect{2040, 180, 1300, kBoxHeight}},
          Rect{480, 240, 1440, 240}),
      make_field(
          parts::kTemperature,
          {control(Box::Temperature), "temperature", "ambient temperature T, degrees Celsius", R, N,
           Rect{4800, 180, 1300, kBoxHeight}},
          Rect{3720, 240, 960, 240}),
      make_field(parts::kHumidity,
                 {control(Box::Humidity), "humidity", "ambient relative humidity RH as a fraction",
                  R, N, Rect{7560, 180, 1400, kBoxHeight}},
                 Rect{6480, 240, 960, 240}),
      make_field(parts::kStrength,
                 {control(Box::Strength), "strength", "concrete strength f_cu, MPa", R, N,
                  Rect{2040, 690, 1300, kBoxHeight}},
                 Rect{720, 720, 1200, 240}),
      make_field(parts::kCover,
                 {control(Box::Cover), "cover", "cover thickness c, mm", R, N,
                  Rect{4800, 690, 1300, kBoxHeight}},
                 Rect{3480, 720, 1200, 240}),
      make_field(parts::kInspectionAge,
                 {control(Box::Age), "age",
                  "inspection age t, years (the age at which the chloride was measured)", R, N,
                  Rect{7560, 690, 1400, kBoxHeight}},
                 Rect{6480, 720, 960, 240}),
      make_field(parts::kDiffusion,
                 {control(Box::Diffusion), "diffusion",
                  "chloride diffusion coefficient D, cm2/a; leave empty to derive it",
                  LeaveCheck::ZeroBlankOnly, ChangeCheck::LockDerivation,
                  Rect{2040, 1200, 1300, kBoxHeight}},
                 Rect{480, 1200, 1440, 240}),
      make_field(parts::kSurface,
                 {control(Box::Surface), "surface", "surface chloride concentration C_s, kg/m3", R,
                  N, Rect{4800, 1200, 1300, kBoxHeight}},
                 Rect{3480, 1200, 1200, 240}),
      make_field(parts::kCritical,
                 {control(Box::Critical), "critical", "critical chloride concentration C_cr, kg/m3",
                  R, N, Rect{7560, 1200, 1400, kBoxHeight}},
                 Rect{6240, 1200, 1200, 240}),
      make_field(
          parts::kDepth,
          {control(Box::Depth), "depth", "measuring depth x below the surface, mm (no range check)",
           LeaveCheck::None, N, Rect{2040, 1710, 1300, kBoxHeight}},
          Rect{720, 1740, 1200, 240}),
      make_field(parts::kMeasured,
                 {control(Box::Measured), "measured",
                  "measured chloride concentration C_x at depth x at age t, kg/m3 (no range "
                  "check)",
                  LeaveCheck::None, N, Rect{4800, 1710, 1300, kBoxHeight}},
                 Rect{3480, 1740, 1200, 240}),
      make_field(
          parts::kWaterCement,
          {control(Box::WaterCement), "water-cement", "water-cement ratio w/c (no range check)",
           LeaveCheck::None, N, Rect{7560, 1710, 1400, kBoxHeight}},
          Rect{6720, 1740, 720, 240}),
      make_field(parts::kAssumedCracking,
                 {control(Box::AssumedCracking), "cracking-time",
                  "assumed cracking time t_c*, years: the start of the cracking-time iteration", R,
                  N, Rect{2040, 2220, 1300, kBoxHeight}},
                 Rect{480, 2280, 1440, 240}),
      make_field(parts::kDiameter,
                 {control(Box::Diameter), "diameter", "steel diameter d, mm", R, N,
                  Rect{4800, 2220, 1300, kBoxHeight}},
                 Rect{3720, 2280, 960, 240}),
  };
  parts::add_derivation<Box>(s, {480, 2640, 5175, 615}, {480, 240, 2295, 255},
                             {3000, 240, 2295, 255}, kSourcePrompt);
  s.combo.box = {7320, 2220, 1635, 360};
  s.combo.labelRect = {6240, 2280, 960, 240};

  s.cmdCal = {9240, 480, 1400, 400};
  s.cmdSave = {9240, 1500, 1400, 400};
  s.cmdExit = {9240, 2520, 1400, 400};
  s.pane = {120, 3360, 10815, 5175};
  s.tabOrder = parts::boxes_through(Box::Diameter);
  s.tabOrder.insert(s.tabOrder.end(),
                    {Control::Combo1, Control::Option1, Control::Option2, Control::CmdCal,
                     Control::CmdSave, Control::CmdExit, Control::Picture1});
  s.assumedTimeBox = control(Box::AssumedCracking);
  parts::declare_roles<Box>(s, {{Box::Cover, sheet::BoxRole::Cover},
                                {Box::Age, sheet::BoxRole::InspectionAge},
                                {Box::Diffusion, sheet::BoxRole::Diffusion},
                                {Box::Surface, sheet::BoxRole::Surface},
                                {Box::Critical, sheet::BoxRole::Critical},
                                {Box::AssumedCracking, sheet::BoxRole::IterationStart}});
  s.front = sheet::FrontLaw::ChlorideConstant;
  s.results = parts::forms(result_rows());
  return s;
}

}  // namespace

const sheet::SheetTable& ChlorideConstantSheet::table() const {
  static const sheet::SheetTable s = make_table();
  return s;
}

std::optional<sheet::CheckFailure> ChlorideConstantSheet::check(
    const sheet::SheetInputs& in) const {
  if (auto f = parts::derivable_coefficient_missing<Box>(in)) return f;
  return parts::profile_rest_missing<Box>(
      in, {{Box::AssumedCracking, parts::kAssumedCracking.notEntered},
           {Box::Diameter, parts::kDiameter.notEntered}});
}

model::ChlorideConstantInput ChlorideConstantSheet::bind(const sheet::SheetInputs& in) {
  model::ChlorideConstantInput mi;
  parts::bind_derivable<Box>(in, mi);
  return mi;
}

sheet::CalculationOutcome ChlorideConstantSheet::calculate(const sheet::SheetInputs& in,
                                                           sheet::CalculationSink& sink) const {
  const model::ChlorideConstantInput mi = bind(in);
  auto record = [&](const Result& r) {
    sheet::ResultRecord rec = parts::new_record(sink);
    parts::add_derivable_echo(rec, mi, r, in);
    parts::add_choice(rec, parts::kEchoSource, parts::source_name(mi.source));
    parts::add_typed_inputs(rec, table(), in);
    parts::add_results(rec, result_rows(), r);
    return rec;
  };
  return parts::calculate_iterating(mi, &model::run_chloride_constant, record, sink);
}

}  // namespace pellucor::modules
