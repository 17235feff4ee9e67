#include "modules/chloride_variable/chloride_variable_sheet.hpp"

#include "model/chloride_variable.hpp"
#include "modules/common/sheet_parts.hpp"

namespace pellucor::modules {

namespace {

using sheet::ChangeCheck;
using sheet::Control;
using sheet::LeaveCheck;

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

sheet::SheetTable make_table() {
  sheet::SheetTable s;
  s.number = 3;
  s.formName = "frm_main3";
  s.caption = "由氯离子侵蚀引起的钢筋腐蚀（扩散系数随时间变化）";
  s.cliName = "chloride-variable";
  s.menuCaption = "渗氯盐_变系数(&C)";

  s.fields = {
      field(parts::kEnvironment, Control::Text1, "environment",
            "local environment coefficient K_e, no unit", 0, 0),
      field(parts::kTemperature, Control::Text2, "temperature",
            "ambient temperature T, degrees Celsius", 0, 1),
      field(parts::kHumidity, Control::Text3, "humidity",
            "ambient relative humidity RH as a fraction", 0, 2),
      field(parts::kStrength, Control::Text4, "strength", "concrete strength f_cu, MPa", 1, 0),
      field(parts::kCover, Control::Text5, "cover", "cover thickness c, mm", 1, 1),
      field(parts::kInspectionAge, Control::Text6, "age",
            "inspection age t, years (the age at which the chloride profile was measured)", 1, 2),
      field(kExponent, Control::Text7, "exponent",
            "time-dependence exponent m of the diffusion coefficient, no unit", 2, 0),
      field(parts::kSurface, Control::Text8, "surface", "surface chloride concentration C_s, kg/m3",
            2, 1),
      field(parts::kCritical, Control::Text9, "critical",
            "critical chloride concentration C_cr, kg/m3", 2, 2),
      field(parts::kDepth, Control::Text10, "depth", "measuring depth x below the surface, mm", 3,
            0),
      field(parts::kMeasured, Control::Text11, "measured",
            "measured chloride concentration C_x at depth x at age t, kg/m3", 3, 1),
      field(parts::kAssumedCracking, Control::Text12, "cracking-time",
            "assumed cracking time t_c*, years: the start of the cracking-time iteration", 3, 2),
      field(parts::kDiameter, Control::Text13, "diameter", "steel diameter d, mm", 4, 0),
  };

  s.combo.box = {7320, 2220, 1755, 360};
  s.combo.labelRect = parts::label_beside(s.combo.box, s.combo.label);
  s.cmdCal = {9240, 480, 1400, 400};
  s.cmdSave = {9240, 1260, 1400, 400};
  s.cmdExit = {9240, 2040, 1400, 400};
  s.pane = {120, 2760, 10815, 5775};
  for (int n = 1; n <= 13; ++n) s.tabOrder.push_back(sheet::text_box(n));
  s.tabOrder.insert(s.tabOrder.end(), {Control::Combo1, Control::CmdCal, Control::CmdSave,
                                       Control::CmdExit, Control::Picture1});
  s.assumedTimeBox = Control::Text12;
  return s;
}

std::vector<std::string> result_lines(const model::ChlorideVariableResult& r) {
  using parts::result_line;
  const auto& p = r.prop;
  return {
      result_line("计算扩散系数:", r.D, " m^2/a"),
      result_line("氯侵蚀系数:", r.K, " mm/a^0.5"),
      result_line("钢筋开始锈蚀时间:", r.ti, " a"),
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

const sheet::SheetTable& ChlorideVariableSheet::table() const {
  static const sheet::SheetTable s = make_table();
  return s;
}

std::optional<sheet::CheckFailure> ChlorideVariableSheet::check(
    const sheet::SheetInputs& in) const {
  if (auto f = parts::first_missing(in, {{1, parts::kEnvironment.notEntered},
                                         {2, parts::kTemperature.notEntered},
                                         {3, parts::kHumidity.notEntered},
                                         {4, parts::kStrength.notEntered},
                                         {5, parts::kCover.notEntered},
                                         {6, parts::kInspectionAge.notEntered},
                                         {7, kExponent.notEntered},
                                         {8, parts::kSurface.notEntered},
                                         {9, parts::kCritical.notEntered},
                                         {10, parts::kDepth.notEntered},
                                         {11, parts::kMeasured.notEntered},
                                         {12, parts::kAssumedCracking.notEntered},
                                         {13, parts::kDiameter.notEntered}})) {
    return f;
  }
  if (auto f = parts::steel_kind_missing(in)) return f;
  return parts::concentrations_inconsistent(in.box(11), in.box(9), in.box(8));
}

sheet::CalculationOutcome ChlorideVariableSheet::calculate(const sheet::SheetInputs& in,
                                                           sheet::CalculationSink& sink) const {
  model::ChlorideVariableInput mi;
  mi.Ke = in.box(1);
  mi.T = in.box(2);
  mi.RH = in.box(3);
  mi.fcu = in.box(4);
  mi.coverMm = in.box(5);
  mi.t = in.box(6);
  mi.m = in.box(7);
  mi.Cs = in.box(8);
  mi.Ccr = in.box(9);
  mi.xMm = in.box(10);
  mi.Cx = in.box(11);
  mi.tcStart = in.box(12);
  mi.dMm = in.box(13);
  mi.kind = model::steel_kind_of(in.steelKind);

  parts::PassForwarder<model::ChlorideVariableResult, decltype(&result_lines)> forward(
      sink, &result_lines);
  const model::ChlorideVariableResult r = model::run_chloride_variable(mi, &forward);
  sheet::CalculationOutcome out;
  out.run = model::ChlorideVariableRun{mi, r};
  if (r.stop) {
    out.stop = r.stop;
    return out;
  }
  out.report.pane = result_lines(r);
  out.report.file = out.report.pane;
  out.report.echo = {
      parts::echo_climate(mi.Ke, mi.T, mi.RH),
      parts::echo_concrete(mi.fcu, r.c * 1000, mi.t),
      parts::EchoLine()("扩散系数时间依赖系数= ", mi.m)(",表面氯浓度（单位为kg/m^3）= ", mi.Cs)(
          ",氯临界浓度（单位为kg/m^3）= ", mi.Ccr)
          .str(),
      parts::EchoLine()("初设开裂时间（单位为a）= ", r.iteration.tcStar)(",钢筋直径(单位为mm) = ",
                                                                         r.d * 1000)
          .text(",钢筋种类 = ", in.steelName)
          .str(),
      parts::EchoLine()("距表面深度（单位为mm）= ", r.x * 1000)(",实测氯浓度单位为kg/m^3= ", mi.Cx)
          .str(),
  };
  return out;
}

}  // namespace pellucor::modules
