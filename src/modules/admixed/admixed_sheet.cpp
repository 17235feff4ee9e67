#include "modules/admixed/admixed_sheet.hpp"

#include "model/admixed.hpp"
#include "modules/common/chloride_parts.hpp"

namespace pellucor::modules {

namespace {

using parts::control;
using sheet::ChangeCheck;
using sheet::Control;
using sheet::LeaveCheck;
using Box = AdmixedSheet::Box;

// This sheet's prompt names 5.0 as the upper end; the box accepts up to 5.5.
constexpr parts::Quantity kEnvironment{parts::kEnvironment.label,
                                       " 局部环境系数，请输入 1.0--5.0 间的数!",
                                       parts::kEnvironment.rangeMessage,
                                       parts::kEnvironment.notEntered,
                                       1.0,
                                       5.5};
constexpr parts::Quantity kAssumedCracking{
    "初设开裂时间",
    " 初设保护层开裂时间（单位为a），请输入 1--80 间的数!",
    "您输入的初设保护层开裂时间不在有效范围！请输入 1--80 间的数!",
    "您未输入初设保护层开裂时间，请输入 1--80 间的数!",
    1,
    80};
constexpr parts::Quantity kChlorideContent{
    "表面氯浓度",
    " 混凝土中（钢筋表面）氯离子浓度（单位为kg/m^3），请输入 1.0--13.0 间的数!",
    "您输入的混凝土中（钢筋表面）氯离子浓度不在有效范围！请输入 1.0--13.0 间的数!",
    "您未输入混凝土中（钢筋表面）氯离子浓度，请输入 1.0--13.0 间的数!",
    1.0,
    13.0};

constexpr int kColumns[3] = {2040, 4920, 7440};
constexpr int kWidths[3] = {1300, 1300, 1400};
constexpr int kRows[3] = {180, 780, 1380};

sheet::FieldRow field(const parts::Quantity& q, Control c, std::string_view alias,
                      std::string_view meaning, int row, int column) {
  const sheet::Rect box{kColumns[column], kRows[row], kWidths[column], 372};
  return parts::make_field(q, {c, alias, meaning, LeaveCheck::Range, ChangeCheck::None, box});
}

sheet::SheetTable make_table() {
  sheet::SheetTable s;
  s.number = 5;
  s.formName = "frm_main5";
  s.caption = "制备混凝土时含氯盐钢筋腐蚀";
  s.cliName = "admixed";
  s.menuCaption = "掺氯盐(&E)";

  s.fields = {
      field(kEnvironment, control(Box::Environment), "environment",
            "local environment coefficient K_e, no unit", 0, 0),
      field(parts::kTemperature, control(Box::Temperature), "temperature",
            "ambient temperature T, degrees Celsius", 0, 1),
      field(parts::kHumidity, control(Box::Humidity), "humidity",
            "ambient relative humidity RH as a fraction", 0, 2),
      field(parts::kStrength, control(Box::Strength), "strength", "concrete strength f_cu, MPa", 1,
            0),
      field(parts::kCover, control(Box::Cover), "cover", "cover thickness c, mm", 1, 1),
      field(parts::kInspectionAge, control(Box::Age), "age", "inspection age t, years", 1, 2),
      field(kAssumedCracking, control(Box::AssumedCracking), "cracking-time",
            "assumed cracking time t_c*, years: the start of the cracking-time iteration", 2, 0),
      field(kChlorideContent, control(Box::Chloride), "chloride",
            "chloride content C_0 mixed into the concrete (at the steel surface), kg/m3", 2, 1),
      field(parts::kDiameter, control(Box::Diameter), "diameter", "steel diameter d, mm", 2, 2),
  };

  s.combo.box = {2040, 1980, 1755, 360};
  s.combo.labelRect = parts::label_beside(s.combo.box, s.combo.label);
  s.cmdCal = {9240, 240, 1400, 400};
  s.cmdSave = {9240, 1020, 1400, 400};
  s.cmdExit = {9240, 1800, 1400, 400};
  s.pane = {120, 2520, 10815, 6015};
  s.tabOrder = parts::boxes_through(Box::Diameter);
  s.tabOrder.insert(s.tabOrder.end(), {Control::Combo1, Control::CmdCal, Control::CmdSave,
                                       Control::CmdExit, Control::Picture1});
  s.assumedTimeBox = control(Box::AssumedCracking);
  return s;
}

// The report speaks of severe loss of performance rather than of service life.
std::vector<std::string> result_lines(const model::AdmixedResult& r) {
  using parts::result_line;
  const auto& p = r.prop;
  return {
      result_line("保护层开裂前钢筋锈蚀速度:", r.rate.lambda0, " mm/a"),
      result_line("保护层开裂前钢筋锈蚀深度:", p.dcr, " mm"),
      result_line("保护层开裂的时间:", p.tc, " a"),
      result_line("保护层开裂后钢筋锈蚀速度:", p.lambda1, " mm/a"),
      result_line("性能严重退化时腐蚀深度: ", p.dd, " mm"),
      result_line("性能严重退化的时间:", p.td, " a"),
      result_line("检测时的钢筋腐蚀深度:", p.dt, " mm"),
      parts::crack_width_line("检测时的裂缝宽度:", p.w, " mm"),
  };
}

}  // namespace

const sheet::SheetTable& AdmixedSheet::table() const {
  static const sheet::SheetTable s = make_table();
  return s;
}

std::optional<sheet::CheckFailure> AdmixedSheet::check(const sheet::SheetInputs& in) const {
  if (auto f = parts::climate_and_concrete_missing<Box>(in, kEnvironment)) return f;
  if (auto f = parts::first_missing(in, {{Box::AssumedCracking, kAssumedCracking.notEntered},
                                         {Box::Chloride, kChlorideContent.notEntered},
                                         {Box::Diameter, parts::kDiameter.notEntered}})) {
    return f;
  }
  return parts::steel_kind_missing(in);
}

sheet::CalculationOutcome AdmixedSheet::calculate(const sheet::SheetInputs& in,
                                                  sheet::CalculationSink& sink) const {
  model::AdmixedInput mi;
  mi.Ke = in.box(Box::Environment);
  mi.T = in.box(Box::Temperature);
  mi.RH = in.box(Box::Humidity);
  mi.fcu = in.box(Box::Strength);
  mi.c = in.box(Box::Cover);
  mi.t = in.box(Box::Age);
  mi.tcStart = in.box(Box::AssumedCracking);
  mi.C0 = in.box(Box::Chloride);
  mi.d = in.box(Box::Diameter);
  mi.kind = model::steel_kind_of(in.steelKind);
  // Several labels of this sheet's echo have no blank after the equals sign, the diameter is
  // the value typed, and the chloride content stands on a line of its own that begins with a
  // comma.
  auto echo = [&](const model::AdmixedResult& r) -> std::vector<std::string> {
    return {
        parts::EchoLine()("局部环境系数= ", mi.Ke)(",环境温度（单位为摄示度）=", mi.T)(",环境湿度=",
                                                                                       mi.RH)
            .str(),
        parts::EchoLine()("混凝土强度（单位为mpa）=", mi.fcu)(",保护层厚度（单位为mm）=", mi.c)(
            ",结构使用（检测）时间（单位为a）=", mi.t)
            .str(),
        parts::echo_cracking_and_steel(r.iteration.tcStar, mi.d, in.steelName),
        parts::EchoLine()(",表面氯浓度（单位为kg/m^3）= ", mi.C0).str(),
    };
  };
  return parts::calculate_iterating(mi, &model::run_admixed, &result_lines, echo, sink);
}

}  // namespace pellucor::modules
