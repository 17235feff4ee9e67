#include "modules/chloride_variable/chloride_variable_sheet.hpp"

#include "model/chloride_variable.hpp"
#include "modules/common/chloride_parts.hpp"

namespace pellucor::modules {

namespace {

using parts::control;
using sheet::ChangeCheck;
using sheet::Control;
using sheet::LeaveCheck;
using Box = ChlorideVariableSheet::Box;

constexpr parts::Quantity kExponent{
    "时间依赖系数",
    " 氯离子扩散系数时间依赖系数，请输入 0.1--0.6 间的数!",
    "您输入的氯离子扩散系数时间依赖系数不在有效范围！请输入 0.1--0.6 间的数!",
    "您未输入氯离子扩散系数时间依赖系数，请输入 0.1--0.6 间的数!",
    0.1,
    0.6};

constexpr int kColumns[3] = {2040, 4800, 7755};
constexpr int kRows[5] = {180, 690, 1200, 1710, 2220};

sheet::Rect box_at(int row, int column) {
  return {kColumns[column], kRows[row], 1300, 372};
}

sheet::FieldRow field(const parts::Quantity& q, Control c, std::string_view alias,
                      std::string_view meaning, int row, int column) {
  return parts::make_field(
      q, {c, alias, meaning, LeaveCheck::Range, ChangeCheck::None, box_at(row, column)});
}

// The time-dependence exponent stands with the concentrations.
constexpr parts::ItemText kEchoExponent{.key = "exponent",
                                        .name = "扩散系数时间依赖系数",
                                        .label = "扩散系数时间依赖系数= ",
                                        .line = 3};

using Result = model::ChlorideVariableResult;

const std::vector<parts::ResultRow<Result>>& result_rows() {
  static const auto rows = parts::diffusion_result_rows<Result>({});
  return rows;
}

sheet::SheetTable make_table() {
  sheet::SheetTable s;
  s.number = 3;
  s.formName = "frm_main3";
  s.caption = "由氯离子侵蚀引起的钢筋腐蚀（扩散系数随时间变化）";
  s.cliName = "chloride-variable";
  s.menuCaption = "渗氯盐_变系数(&C)";

  s.fields = {
      field(parts::kEnvironment, control(Box::Environment), "environment",
            "local environment coefficient K_e, no unit", 0, 0),
      field(parts::kTemperature, control(Box::Temperature), "temperature",
            "ambient temperature T, degrees Celsius", 0, 1),
      field(parts::kHumidity, control(Box::Humidity), "humidity",
            "ambient relative humidity RH as a fraction", 0, 2),
      field(parts::kStrength, control(Box::Strength), "strength", "concrete strength f_cu, MPa", 1,
            0),
      field(parts::kCover, control(Box::Cover), "cover", "cover thickness c, mm", 1, 1),
      field(parts::kInspectionAge, control(Box::Age), "age",
            "inspection age t, years (the age at which the chloride profile was measured)", 1, 2),
      field(kExponent, control(Box::Exponent), "exponent",
            "time-dependence exponent m of the diffusion coefficient, no unit", 2, 0),
      field(parts::kSurface, control(Box::Surface), "surface",
            "surface chloride concentration C_s, kg/m3", 2, 1),
      field(parts::kCritical, control(Box::Critical), "critical",
            "critical chloride concentration C_cr, kg/m3", 2, 2),
      field(parts::kDepth, control(Box::Depth), "depth", "measuring depth x below the surface, mm",
            3, 0),
      field(parts::kMeasured, control(Box::Measured), "measured",
            "measured chloride concentration C_x at depth x at age t, kg/m3", 3, 1),
      field(parts::kAssumedCracking, control(Box::AssumedCracking), "cracking-time",
            "assumed cracking time t_c*, years: the start of the cracking-time iteration", 3, 2),
      field(parts::kDiameter, control(Box::Diameter), "diameter", "steel diameter d, mm", 4, 0),
  };

  s.combo.box = {7320, 2220, 1755, 360};
  s.combo.labelRect = parts::label_beside(s.combo.box, s.combo.label);
  s.cmdCal = {9240, 480, 1400, 400};
  s.cmdSave = {9240, 1260, 1400, 400};
  s.cmdExit = {9240, 2040, 1400, 400};
  s.pane = {120, 2760, 10815, 5775};
  s.tabOrder = parts::boxes_through(Box::Diameter);
  s.tabOrder.insert(s.tabOrder.end(), {Control::Combo1, Control::CmdCal, Control::CmdSave,
                                       Control::CmdExit, Control::Picture1});
  s.assumedTimeBox = control(Box::AssumedCracking);
  parts::declare_roles<Box>(s, {{Box::Cover, sheet::BoxRole::Cover},
                                {Box::Age, sheet::BoxRole::InspectionAge},
                                {Box::Exponent, sheet::BoxRole::AgeingExponent},
                                {Box::Surface, sheet::BoxRole::Surface},
                                {Box::Critical, sheet::BoxRole::Critical},
                                {Box::AssumedCracking, sheet::BoxRole::IterationStart}});
  s.front = sheet::FrontLaw::ChlorideVariable;
  s.results = parts::forms(result_rows());
  return s;
}

}  // namespace

const sheet::SheetTable& ChlorideVariableSheet::table() const {
  static const sheet::SheetTable s = make_table();
  return s;
}

std::optional<sheet::CheckFailure> ChlorideVariableSheet::check(
    const sheet::SheetInputs& in) const {
  if (auto f = parts::climate_and_concrete_missing<Box>(in)) return f;
  return parts::profile_rest_missing<Box>(
      in, {{Box::Exponent, kExponent.notEntered},
           {Box::Surface, parts::kSurface.notEntered},
           {Box::Critical, parts::kCritical.notEntered},
           {Box::Depth, parts::kDepth.notEntered},
           {Box::Measured, parts::kMeasured.notEntered},
           {Box::AssumedCracking, parts::kAssumedCracking.notEntered},
           {Box::Diameter, parts::kDiameter.notEntered}});
}

model::ChlorideVariableInput ChlorideVariableSheet::bind(const sheet::SheetInputs& in) {
  model::ChlorideVariableInput mi;
  parts::bind_profile<Box>(in, mi);
  mi.m = in.box(Box::Exponent);
  return mi;
}

sheet::CalculationOutcome ChlorideVariableSheet::calculate(const sheet::SheetInputs& in,
                                                           sheet::CalculationSink& sink) const {
  const model::ChlorideVariableInput mi = bind(in);
  // The measurement comes last, after the cracking time and the steel.
  auto record = [&](const Result& r) {
    sheet::ResultRecord rec = parts::new_record(sink);
    rec.input(parts::kEchoEnvironment, mi.Ke)
        .input(parts::kEchoTemperature, mi.T)
        .input(parts::kEchoHumidity, mi.RH)
        .input(parts::kEchoStrength, mi.fcu)
        .derived(parts::kEchoCoverUsed, r.c * 1000)
        .input(parts::kEchoAge, mi.t)
        .input(kEchoExponent, mi.m)
        .input(parts::kEchoSurface, mi.Cs)
        .input(parts::kEchoCritical, mi.Ccr)
        .derived(parts::kEchoCrackingUsed, r.iteration.tcStar)
        .derived(parts::kEchoDiameterUsed, r.d * 1000);
    parts::add_steel(rec, parts::kEchoSteel, in);
    rec.derived(parts::kEchoDepthUsed, r.x * 1000).input(parts::kEchoMeasured, mi.Cx);
    parts::add_typed_inputs(rec, table(), in);
    parts::add_results(rec, result_rows(), r);
    return rec;
  };
  return parts::calculate_iterating(mi, &model::run_chloride_variable, record, sink);
}

}  // namespace pellucor::modules
