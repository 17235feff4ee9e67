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
    80,
    "a"};
constexpr parts::Quantity kChlorideContent{
    "表面氯浓度",
    " 混凝土中（钢筋表面）氯离子浓度（单位为kg/m^3），请输入 1.0--13.0 间的数!",
    "您输入的混凝土中（钢筋表面）氯离子浓度不在有效范围！请输入 1.0--13.0 间的数!",
    "您未输入混凝土中（钢筋表面）氯离子浓度，请输入 1.0--13.0 间的数!",
    1.0,
    13.0,
    "kg/m^3"};

constexpr int kColumns[3] = {2040, 4920, 7440};
constexpr int kWidths[3] = {1300, 1300, 1400};
constexpr int kRows[3] = {180, 780, 1380};

sheet::FieldRow field(const parts::Quantity& q, Control c, std::string_view alias,
                      std::string_view meaning, int row, int column) {
  const sheet::Rect box{kColumns[column], kRows[row], kWidths[column], 372};
  return parts::make_field(q, {c, alias, meaning, LeaveCheck::Range, ChangeCheck::None, box});
}

// Several labels of this sheet's echo have no blank after the equals sign, the diameter is
// the value typed, and the chloride content stands on a line of its own that begins with a
// comma.
constexpr parts::ItemText kEchoTemperature{.key = "temperature",
                                           .name = "环境温度",
                                           .unit = "摄示度",
                                           .label = ",环境温度（单位为摄示度）=",
                                           .line = 1};
constexpr parts::ItemText kEchoHumidity{
    .key = "humidity", .name = "环境湿度", .label = ",环境湿度=", .line = 1};
constexpr parts::ItemText kEchoStrength{.key = "strength",
                                        .name = "混凝土强度",
                                        .unit = "mpa",
                                        .label = "混凝土强度（单位为mpa）=",
                                        .line = 2};
constexpr parts::ItemText kEchoCover{.key = "cover",
                                     .name = "保护层厚度",
                                     .unit = "mm",
                                     .label = ",保护层厚度（单位为mm）=",
                                     .line = 2};
constexpr parts::ItemText kEchoAge{.key = "age",
                                   .name = "结构使用（检测）时间",
                                   .unit = "a",
                                   .label = ",结构使用（检测）时间（单位为a）=",
                                   .line = 2};
constexpr parts::ItemText kEchoDiameter{.key = "diameter",
                                        .name = "钢筋直径",
                                        .unit = "mm",
                                        .label = ",钢筋直径(单位为mm) = ",
                                        .line = parts::kEchoSteel.line};
constexpr parts::ItemText kEchoChloride{.key = "chloride",
                                        .name = "表面氯浓度",
                                        .unit = "kg/m^3",
                                        .label = ",表面氯浓度（单位为kg/m^3）= ",
                                        .line = parts::kEchoSteel.line + 1};

// The report speaks of severe loss of performance rather than of service life. Corrosion
// starts at casting: the initiation time is 0, and the pre-cracking duration and the span
// after cracking are not printed.
using Result = model::AdmixedResult;
constexpr parts::ItemText kDd{.key = "dd",
                              .name = "性能严重退化时腐蚀深度",
                              .unit = "mm",
                              .label = "性能严重退化时腐蚀深度: ",
                              .after = " mm"};
constexpr parts::ItemText kTd{.key = "td",
                              .name = "性能严重退化的时间",
                              .unit = "a",
                              .label = "性能严重退化的时间:",
                              .after = " a"};

const std::vector<parts::ResultRow<Result>>& result_rows() {
  using V = std::optional<double>;
  static const std::vector<parts::ResultRow<Result>> rows = {
      {&parts::kResultLambda0, [](const Result& r) -> V { return r.propIn.lambda0; }},
      {&parts::kResultDcr, [](const Result& r) -> V { return r.prop.dcr; }},
      {&parts::kResultTc, [](const Result& r) -> V { return r.prop.tc; }},
      {&parts::kResultLambda1, [](const Result& r) -> V { return r.prop.lambda1; }},
      {&kDd, [](const Result& r) -> V { return r.prop.dd; }},
      {&kTd, [](const Result& r) -> V { return r.prop.td; }},
      {&parts::kResultDt, [](const Result& r) -> V { return r.prop.dt; }},
      {&parts::kResultW, [](const Result& r) { return r.prop.w; }},
      {&parts::kUnprintedTi, [](const Result& r) -> V { return r.propIn.ti; }},
      {&parts::kUnprintedTp, [](const Result& r) -> V { return r.prop.tp; }},
      {&parts::kUnprintedDtd, [](const Result& r) -> V { return r.prop.dtd; }},
  };
  return rows;
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
  parts::declare_roles<Box>(s, {{Box::Cover, sheet::BoxRole::Cover},
                                {Box::Age, sheet::BoxRole::InspectionAge},
                                {Box::AssumedCracking, sheet::BoxRole::IterationStart}});
  s.front = sheet::FrontLaw::ChlorideAtCasting;
  s.results = parts::forms(result_rows());
  // The chloride is in the concrete from the day it is cast: the steel corrodes from the start.
  s.zeroByConstruction = {{"ti", "氯盐在浇筑时掺入，钢筋自浇筑起即锈蚀"}};
  return s;
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

model::AdmixedInput AdmixedSheet::bind(const sheet::SheetInputs& in) {
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
  return mi;
}

sheet::CalculationOutcome AdmixedSheet::calculate(const sheet::SheetInputs& in,
                                                  sheet::CalculationSink& sink) const {
  const model::AdmixedInput mi = bind(in);
  auto record = [&](const Result& r) {
    sheet::ResultRecord rec = parts::new_record(sink);
    rec.input(parts::kEchoEnvironment, mi.Ke)
        .input(kEchoTemperature, mi.T)
        .input(kEchoHumidity, mi.RH)
        .input(kEchoStrength, mi.fcu)
        .input(kEchoCover, mi.c)
        .input(kEchoAge, mi.t)
        .derived(parts::kEchoCrackingUsed, r.iteration.tcStar)
        .input(kEchoDiameter, mi.d);
    parts::add_steel(rec, parts::kEchoSteel, in);
    rec.input(kEchoChloride, mi.C0);
    parts::add_typed_inputs(rec, table(), in);
    parts::add_results(rec, result_rows(), r);
    return rec;
  };
  return parts::calculate_iterating(mi, &model::run_admixed, record, sink);
}

}  // namespace pellucor::modules
