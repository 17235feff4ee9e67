#include "modules/carbonation/carbonation_sheet.hpp"

#include "model/carbonation.hpp"
#include "modules/common/sheet_parts.hpp"

namespace pellucor::modules {

namespace {

using parts::control;
using sheet::ChangeCheck;
using sheet::Control;
using sheet::LeaveCheck;
using Box = CarbonationSheet::Box;

// The option groups: the stress state (echoed only) and the working condition.
constexpr Control kTensionOption = Control::Option1;
constexpr Control kIndoorOption = Control::Option3;

// The either-or pair: the measured carbonation depth or the CO2 coefficient.
constexpr parts::Quantity kMeasuredDepth{"实测碳化深度",
                                         " 实测碳化深度（单位为mm），请输入 1--60 间的数或不输入!",
                                         "您输入的实测碳化深度不在有效范围！请输入 1--60 间的数!",
                                         "您未输入实测碳化深度或二氧化碳系数，请输入数据!",
                                         1,
                                         60,
                                         "mm"};
constexpr std::string_view kMeasuredDepthSecondPrompt = " 若不输入，则必须输入二氧化碳浓度系数!";
constexpr parts::Quantity kCo2{"二氧化碳系数",
                               " 二氧化碳浓度系数，请输入 1.0--3.5 间的数或不输入!",
                               "您输入的二氧化碳浓度系数不在有效范围！请输入 1.0--3.5 间的数!",
                               kMeasuredDepth.notEntered,
                               1.0,
                               3.5};
constexpr std::string_view kCo2SecondPrompt = " 若不输入，则必须输入实测碳化深度!";

constexpr std::string_view kIndoor = "室内";
constexpr std::string_view kOutdoor = "室外";
constexpr std::string_view kTension = "受拉";
constexpr std::string_view kCompression = "受压";

constexpr int kBoxWidth = 1095;
constexpr int kBoxHeight = 372;
constexpr int kColumns[3] = {2040, 4800, 7560};
constexpr int kRows[3] = {180, 780, 1380};

sheet::Rect box_at(int row, int column) {
  return {kColumns[column], kRows[row], kBoxWidth, kBoxHeight};
}

// The parameter echo: climate (the humidity as the rate used it, capped at 0.8), concrete, the
// carbonation inputs and the diameter, then the steel and the two option groups.
constexpr parts::ItemText kEchoHumidityUsed{
    .key = "humidity-used", .name = "环境湿度", .label = ",环境湿度= ", .line = 1};
constexpr parts::ItemText kEchoMeasuredDepth{.key = "carbonation-depth",
                                             .name = "实测碳化深度",
                                             .unit = "mm",
                                             .label = "实测碳化深度（单位为mm）= ",
                                             .line = 3};
constexpr parts::ItemText kEchoCo2{
    .key = "co2", .name = "二氧化碳浓度系数", .label = ",二氧化碳浓度系数= ", .line = 3};
constexpr parts::ItemText kEchoDiameter{.key = "diameter",
                                        .name = "钢筋直径",
                                        .unit = "mm",
                                        .label = ",钢筋直径（单位为mm）= ",
                                        .line = 3};
constexpr parts::ItemText kEchoSteel{
    .key = "steel", .name = "钢筋种类", .label = "钢筋种类= ", .line = 4};
constexpr parts::ItemText kEchoCondition{
    .key = "condition", .name = "结构工作条件", .label = ",结构工作条件= ", .line = 4};
constexpr parts::ItemText kEchoStress{
    .key = "stress", .name = "钢筋应力状态", .label = ",钢筋应力状态= ", .line = 4};

// The report. The result file writes the units of the inspection depth and of the crack width
// the other way round from the pane. The end of the durable life is not printed (the span from
// cracking to it is).
using Result = model::CarbonationResult;
constexpr parts::ItemText kK{.key = "k", .name = "碳化系数", .label = "碳化系数:"};
constexpr parts::ItemText kX0{
    .key = "x0", .name = "碳化残量", .unit = "mm", .label = "碳化残量:", .after = " mm"};
constexpr parts::ItemText kTi{.key = "ti",
                              .name = "钢筋开始锈蚀时间",
                              .unit = "a",
                              .label = "钢筋开始锈蚀时间:",
                              .after = " a"};
constexpr parts::ItemText kLambda0{.key = "lambda0",
                                   .name = "保护层开裂前的钢筋腐蚀速度",
                                   .unit = "mm/a",
                                   .label = "保护层开裂前的钢筋腐蚀速度:",
                                   .after = " mm/a"};
constexpr parts::ItemText kDcr{.key = "dcr",
                               .name = "保护层开裂前的钢筋腐蚀深度",
                               .unit = "mm",
                               .label = "保护层开裂前的钢筋腐蚀深度:",
                               .after = " mm"};
constexpr parts::ItemText kTp{.key = "tp",
                              .name = "保护层开裂前的钢筋腐蚀时间",
                              .unit = "a",
                              .label = "保护层开裂前的钢筋腐蚀时间:",
                              .after = " a"};
constexpr parts::ItemText kTc{
    .key = "tc", .name = "保护层开裂时间", .unit = "a", .label = "保护层开裂时间:", .after = "  a"};
constexpr parts::ItemText kLambda1{.key = "lambda1",
                                   .name = "保护层开裂后的钢筋腐蚀速度",
                                   .unit = "mm/a",
                                   .label = "保护层开裂后的钢筋腐蚀速度:",
                                   .after = " mm/a"};
constexpr parts::ItemText kDt{.key = "dt",
                              .name = "检测时钢筋的腐蚀深度",
                              .unit = "mm",
                              .label = "检测时钢筋的腐蚀深度:",
                              .after = "  mm",
                              .fileAfter = " mm"};
constexpr parts::ItemText kW{.key = "w",
                             .name = "检测时锈胀裂缝宽度",
                             .unit = "mm",
                             .label = "检测时锈胀裂缝宽度:",
                             .after = " mm",
                             .fileAfter = "  mm"};
constexpr parts::ItemText kDd{.key = "dd",
                              .name = "耐久性终结时的钢筋腐蚀深度",
                              .unit = "mm",
                              .label = "耐久性终结时的钢筋腐蚀深度:",
                              .after = " mm"};
constexpr parts::ItemText kDtd{.key = "dtd",
                               .name = "从保护层开裂到耐久性终结的时间",
                               .unit = "a",
                               .label = "从保护层开裂到耐久性终结的时间:",
                               .after = " a"};

const std::vector<parts::ResultRow<Result>>& result_rows() {
  static const std::vector<parts::ResultRow<Result>> rows = {
      {&kK, [](const Result& r) -> std::optional<double> { return r.k; }},
      {&kX0, [](const Result& r) -> std::optional<double> { return r.x0; }},
      {&kTi, [](const Result& r) -> std::optional<double> { return r.propIn.ti; }},
      {&kLambda0, [](const Result& r) -> std::optional<double> { return r.propIn.lambda0; }},
      {&kDcr, [](const Result& r) -> std::optional<double> { return r.prop.dcr; }},
      {&kTp, [](const Result& r) -> std::optional<double> { return r.prop.tp; }},
      {&kTc, [](const Result& r) -> std::optional<double> { return r.prop.tc; }},
      {&kLambda1, [](const Result& r) -> std::optional<double> { return r.prop.lambda1; }},
      {&kDt, [](const Result& r) -> std::optional<double> { return r.prop.dt; }},
      {&kW, [](const Result& r) { return r.prop.w; }},
      {&kDd, [](const Result& r) -> std::optional<double> { return r.prop.dd; }},
      {&kDtd, [](const Result& r) -> std::optional<double> { return r.prop.dtd; }},
      {&parts::kUnprintedTd, [](const Result& r) -> std::optional<double> { return r.prop.td; }},
  };
  return rows;
}

sheet::SheetTable make_table() {
  using parts::make_field;
  sheet::SheetTable s;
  s.number = 1;
  s.formName = "frm_main1";
  s.caption = "由中性化引起的钢筋腐蚀";
  s.cliName = "carbonation";
  s.menuCaption = "碳化(&A)";

  s.fields = {
      make_field(parts::kEnvironment, {control(Box::Environment), "environment",
                                       "local environment coefficient m, no unit", LeaveCheck::None,
                                       ChangeCheck::Range, box_at(0, 0)}),
      make_field(parts::kTemperature, {control(Box::Temperature), "temperature",
                                       "ambient temperature T, degrees Celsius", LeaveCheck::Range,
                                       ChangeCheck::None, box_at(0, 1)}),
      make_field(parts::kHumidity,
                 {control(Box::Humidity), "humidity", "ambient relative humidity RH as a fraction",
                  LeaveCheck::ZeroBlankThenRange, ChangeCheck::None, box_at(0, 2)}),
      make_field(parts::kStrength,
                 {control(Box::Strength), "strength", "concrete strength fcu, MPa",
                  LeaveCheck::ZeroBlankThenRange, ChangeCheck::None, box_at(1, 0)}),
      make_field(parts::kCover, {control(Box::Cover), "cover", "cover thickness c, mm",
                                 LeaveCheck::Range, ChangeCheck::None, box_at(1, 1)}),
      make_field(parts::kInspectionAge, {control(Box::Age), "age", "inspection age t, years",
                                         LeaveCheck::None, ChangeCheck::Range, box_at(1, 2)}),
      make_field(kMeasuredDepth,
                 {control(Box::CarbonationDepth), "carbonation-depth",
                  "measured carbonation depth x at the inspection age, mm; may be left empty "
                  "when the CO2 coefficient is given",
                  LeaveCheck::None, ChangeCheck::EitherOr, box_at(2, 0)}),
      make_field(kCo2, {control(Box::Co2), "co2",
                        "carbon dioxide concentration coefficient, no unit; may be left empty "
                        "when the measured carbonation depth is given",
                        LeaveCheck::None, ChangeCheck::EitherOr, box_at(2, 1)}),
      make_field(parts::kDiameter, {control(Box::Diameter), "diameter", "steel diameter d, mm",
                                    LeaveCheck::Range, ChangeCheck::None, box_at(2, 2)}),
  };
  parts::row(s, Box::CarbonationDepth).prompts.push_back(kMeasuredDepthSecondPrompt);
  parts::row(s, Box::CarbonationDepth).partner = control(Box::Co2);
  parts::row(s, Box::Co2).prompts.push_back(kCo2SecondPrompt);
  parts::row(s, Box::Co2).partner = control(Box::CarbonationDepth);

  s.groups = {
      {"Frame1",
       "钢筋应力状态",
       {360, 1920, 2175, 615},
       {{{kTensionOption,
          kTension,
          "tension",
          " 钢筋应力状态（受拉或受压），请中从选择一种!",
          {240, 240, 855, 255}},
         {Control::Option2,
          kCompression,
          "compression",
          " 钢筋应力状态（受拉或受压），请从中选择一种!",
          {1200, 240, 855, 255}}}}},
      {"Frame2",
       "结构工作条件",
       {3240, 1920, 2175, 615},
       {{{kIndoorOption,
          kIndoor,
          "indoor",
          " 结构工作条件（室内或室外），请中从选择一种!",
          {240, 240, 855, 255}},
         {Control::Option4,
          kOutdoor,
          "outdoor",
          " 结构工作条件（室内或室外），请从中选择一种!",
          {1200, 240, 855, 255}}}}},
  };
  s.combo.box = {7080, 1980, 1635, 360};
  s.combo.labelRect = parts::label_beside(s.combo.box, s.combo.label);

  s.cmdCal = {9240, 360, 1400, 400};
  s.cmdSave = {9240, 1140, 1400, 400};
  s.cmdExit = {9240, 1920, 1400, 400};
  s.pane = {120, 2640, 10815, 5895};
  s.tabOrder = parts::boxes_through(Box::Diameter);
  s.tabOrder.insert(s.tabOrder.end(), {Control::Option1, Control::Option2, Control::Option3,
                                       Control::Option4, Control::Combo1, Control::CmdCal,
                                       Control::CmdSave, Control::CmdExit, Control::Picture1});
  s.enabledAfterCalculation = {control(Box::CarbonationDepth), control(Box::Co2)};
  s.assumedTimeBox = Control::None;
  parts::declare_roles<Box>(s, {{Box::Cover, sheet::BoxRole::Cover},
                                {Box::Age, sheet::BoxRole::InspectionAge},
                                {Box::CarbonationDepth, sheet::BoxRole::MeasuredDepth}});
  s.front = sheet::FrontLaw::Carbonation;
  s.results = parts::forms(result_rows());
  return s;
}

}  // namespace

const sheet::SheetTable& CarbonationSheet::table() const {
  static const sheet::SheetTable s = make_table();
  return s;
}

std::optional<sheet::CheckFailure> CarbonationSheet::check(const sheet::SheetInputs& in) const {
  if (auto f = parts::climate_and_concrete_missing<Box>(in)) return f;
  // One of the pair is enough.
  if (in.box(Box::CarbonationDepth) == 0 && in.box(Box::Co2) == 0) {
    return sheet::CheckFailure{kMeasuredDepth.notEntered, control(Box::CarbonationDepth)};
  }
  if (auto f = parts::first_missing(in, {{Box::Diameter, parts::kDiameter.notEntered}})) return f;
  return parts::steel_kind_missing(in);
}

model::CarbonationInput CarbonationSheet::bind(const sheet::SheetInputs& in) {
  model::CarbonationInput mi;
  mi.m = in.box(Box::Environment);
  mi.T = in.box(Box::Temperature);
  mi.RH = in.box(Box::Humidity);
  mi.fcu = in.box(Box::Strength);
  mi.c = in.box(Box::Cover);
  mi.t = in.box(Box::Age);
  mi.x = in.box(Box::CarbonationDepth);
  mi.kco2 = in.box(Box::Co2);
  mi.d = in.box(Box::Diameter);
  mi.kind = model::steel_kind_of(in.steelKind);
  const bool indoor = parts::chosen(in, kIndoorOption);
  const bool tension = parts::chosen(in, kTensionOption);
  mi.condition = indoor ? model::WorkingCondition::Indoor : model::WorkingCondition::Outdoor;
  mi.stress = tension ? model::StressState::Tension : model::StressState::Compression;
  return mi;
}

sheet::CalculationOutcome CarbonationSheet::calculate(const sheet::SheetInputs& in,
                                                      sheet::CalculationSink& sink) const {
  const model::CarbonationInput mi = bind(in);
  const bool indoor = mi.condition == model::WorkingCondition::Indoor;
  const bool tension = mi.stress == model::StressState::Tension;

  sheet::CalculationOutcome out;
  // The run kept where the outcome holds it (the reliability analysis runs this many times).
  const model::CarbonationResult& r =
      out.run.emplace<model::CarbonationRun>(model::CarbonationRun{mi, model::run_carbonation(mi)})
          .out;
  if (r.stop) {
    out.stop = r.stop;
    return out;
  }
  if (!sink.wantsReport() && !sink.wantsRecord()) return out;

  sheet::ResultRecord record = parts::new_record(sink);
  record.input(parts::kEchoEnvironment, mi.m)
      .input(parts::kEchoTemperature, mi.T)
      .derived(kEchoHumidityUsed, r.RH)
      .input(parts::kEchoStrength, mi.fcu)
      .input(parts::kEchoCover, mi.c)
      .input(parts::kEchoAge, mi.t)
      .input(kEchoMeasuredDepth, mi.x)
      .input(kEchoCo2, mi.kco2)
      .input(kEchoDiameter, mi.d);
  parts::add_steel(record, kEchoSteel, in);
  parts::add_choice(record, kEchoCondition, indoor ? kIndoor : kOutdoor);
  parts::add_choice(record, kEchoStress, tension ? kTension : kCompression);
  parts::add_typed_inputs(record, table(), in);
  parts::add_results(record, result_rows(), r);
  parts::finish(out, std::move(record), sink);
  if (sink.wantsReport()) sink.passFinished(out.report.pane);
  return out;
}

}  // namespace pellucor::modules
