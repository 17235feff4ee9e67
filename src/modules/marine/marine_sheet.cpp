#include "modules/marine/marine_sheet.hpp"

#include "model/marine.hpp"
#include "modules/common/chloride_parts.hpp"

namespace pellucor::modules {

namespace {

using parts::control;
using sheet::ChangeCheck;
using sheet::Control;
using sheet::LeaveCheck;
using Box = MarineSheet::Box;

constexpr parts::Quantity kAccumulation{"累计系数",
                                        " 累计系数（单位为kg/a^0.5），请输入 0.5--5.0 间的数!",
                                        "您输入的累计系数不在有效范围！请输入 0.5--5.0 间的数!",
                                        "您未输入累计系数，请输入 0.5--5.0 间的数!",
                                        0.5,
                                        5.0,
                                        "kg/a^0.5"};
constexpr parts::Quantity kStableTime{
    "稳定积累时间",
    " 混凝土表面氯离子积累到稳定值的时间（单位为a），请输入 5--30 间的数!",
    "您输入的混凝土表面氯离子积累到稳定值的时间不在有效范围！请输入 5--30 间的数!",
    "您未输入混凝土表面氯离子积累到稳定值的时间，请输入 5--30 间的数!",
    5,
    30,
    "a"};
constexpr parts::Quantity kAssumedInitiation{
    "初设锈蚀时间",
    " 初设钢筋开始锈蚀时间（单位为a），请输入 1--50 间的数!",
    "您输入的初设钢筋开始锈蚀时间不在有效范围！请输入 1--50 间的数!",
    "您未输入初设钢筋开始锈蚀时间，请输入 1--50 间的数!",
    1,
    50,
    "a"};
constexpr parts::Quantity kAssumedT2{"初设T2时间",
                                     " 初设T2时间（单位为a），请输入 1--50 间的数!",
                                     "您输入的初设T2时间不在有效范围！请输入 1--50 间的数!",
                                     "您未输入初设T2时间，请输入 1--50 间的数!",
                                     1,
                                     50,
                                     "a"};

constexpr std::string_view kSourcePrompt =
    " 扩散系数来源（由实测氯浓度MX推算和由距表面深度WC推算），请从中选择一种!";

constexpr int kColumns[3] = {2040, 5040, 7800};
constexpr int kWidths[3] = {1300, 1300, 1400};
constexpr int kRows[6] = {180, 660, 1155, 1650, 2145, 2640};

struct Place {
  int row;
  int column;
  int labelLeft;  // the label's top left; its size follows from its caption
  int labelTop;
};

sheet::FieldRow field(const parts::Quantity& q, Control c, std::string_view alias,
                      std::string_view meaning, Place at, LeaveCheck leave = LeaveCheck::Range,
                      ChangeCheck change = ChangeCheck::None) {
  const sheet::Rect box{kColumns[at.column], kRows[at.row], kWidths[at.column], 372};
  const sheet::Rect label{at.labelLeft, at.labelTop, parts::caption_width(q.label), 240};
  return parts::make_field(q, {c, alias, meaning, leave, change, box}, label);
}

// The searches' inputs, then the source of the coefficient with the accumulation coefficient.
constexpr parts::ItemText kEchoStableTime{.key = "stable-time",
                                          .name = "积累到稳定值的时间",
                                          .unit = "a",
                                          .label = "积累到稳定值的时间（单位为a）= ",
                                          .line = 6};
constexpr parts::ItemText kEchoInitiation{.key = "initiation-time",
                                          .name = "初设开始锈蚀时间",
                                          .unit = "a",
                                          .label = ",初设开始锈蚀时间（单位为a） = ",
                                          .line = 6};
constexpr parts::ItemText kEchoT2{.key = "t2",
                                  .name = "初设T2时间",
                                  .unit = "a",
                                  .label = ",初设T2时间（单位为a） = ",
                                  .line = 6};
constexpr parts::ItemText kEchoAccumulation{.key = "accumulation",
                                            .name = "累计系数",
                                            .unit = "kg/a^0.5",
                                            .label = ",累计系数（单位为kg/a^0.5）= ",
                                            .line = 7};

using Result = model::MarineResult;

// The cracking time's unit has no blank; line 8 carries the post-cracking rate under a depth
// label with a length unit.
const std::vector<parts::ResultRow<Result>>& result_rows() {
  static const auto rows = parts::diffusion_result_rows<Result>(
      {.cracking = &parts::kResultTcNoBlank, .postRate = &parts::kResultLambda1AsDepth});
  return rows;
}

sheet::SheetTable make_table() {
  sheet::SheetTable s;
  s.number = 4;
  s.formName = "frm_main4";
  s.caption = "近海大气侵蚀引起的钢筋腐蚀";
  s.cliName = "marine";
  s.menuCaption = "渗氯盐_近海大气(&D)";

  constexpr auto None = LeaveCheck::None;
  s.fields = {
      field(parts::kEnvironment, control(Box::Environment), "environment",
            "local environment coefficient, no unit", {0, 0, 480, 240}),
      field(parts::kTemperature, control(Box::Temperature), "temperature",
            "ambient temperature, degrees Celsius", {0, 1, 3960, 240}),
      field(parts::kHumidity, control(Box::Humidity), "humidity",
            "ambient relative humidity as a fraction", {0, 2, 6720, 240}),
      field(parts::kStrength, control(Box::Strength), "strength", "concrete strength, MPa",
            {1, 0, 720, 720}),
      field(parts::kCover, control(Box::Cover), "cover", "cover thickness, mm", {1, 1, 3720, 720}),
      field(parts::kInspectionAge, control(Box::Age), "age",
            "inspection age (service time at inspection), years", {1, 2, 6720, 720}),
      field(parts::kDiffusion, control(Box::Diffusion), "diffusion",
            "chloride diffusion coefficient, cm2/a; leave empty to derive it", {2, 0, 480, 1215},
            LeaveCheck::ZeroBlankOnly, ChangeCheck::LockDerivation),
      field(parts::kSurface, control(Box::Surface), "surface",
            "surface chloride concentration (the stable value), kg/m3", {2, 1, 3720, 1215}),
      field(parts::kCritical, control(Box::Critical), "critical",
            "critical chloride concentration at the bar, kg/m3", {2, 2, 6480, 1215}),
      field(parts::kDepth, control(Box::Depth), "depth",
            "measuring depth below the surface, mm (no range check)", {3, 0, 720, 1695}, None),
      field(parts::kMeasured, control(Box::Measured), "measured",
            "measured chloride concentration at the measuring depth at the inspection age, "
            "kg/m3 (no range check)",
            {3, 1, 3720, 1695}, None),
      field(parts::kWaterCement, control(Box::WaterCement), "water-cement",
            "water-cement ratio as a fraction (no range check)", {3, 2, 6960, 1695}, None),
      field(parts::kAssumedCracking, control(Box::AssumedCracking), "cracking-time",
            "assumed cracking time, years: the start of the cracking-time iteration",
            {4, 0, 480, 2190}),
      field(parts::kDiameter, control(Box::Diameter), "diameter", "steel diameter, mm",
            {4, 1, 3960, 2190}),
      field(kAccumulation, control(Box::Accumulation), "accumulation",
            "accumulation coefficient k of the surface chloride (grows as k sqrt(t)), "
            "kg/m3 per a^0.5",
            {4, 2, 6720, 2190}),
      field(kStableTime, control(Box::StableTime), "stable-time",
            "age at which the surface chloride reaches its stable value, years", {5, 0, 480, 2670}),
      field(kAssumedInitiation, control(Box::AssumedInitiation), "initiation-time",
            "assumed initiation time, years: the start of the initiation-time search",
            {5, 1, 3480, 2670}),
      field(kAssumedT2, control(Box::AssumedT2), "t2",
            "assumed T2, years: the start of the search after the stable time", {5, 2, 6480, 2670}),
  };
  parts::add_derivation<Box>(s, {480, 3000, 4935, 615}, {240, 240, 1935, 255},
                             {2880, 240, 1935, 255}, kSourcePrompt);
  s.combo.box = {7200, 3180, 1635, 360};
  s.combo.labelRect = {6120, 3240, parts::caption_width(s.combo.label), 240};

  s.cmdCal = {9360, 600, 1400, 400};
  s.cmdSave = {9360, 1620, 1400, 400};
  s.cmdExit = {9360, 2640, 1400, 400};
  s.pane = {120, 3720, 10815, 4815};
  s.tabOrder = parts::boxes_through(Box::AssumedT2);
  s.tabOrder.insert(s.tabOrder.end(),
                    {Control::Option1, Control::Option2, Control::Combo1, Control::CmdCal,
                     Control::CmdSave, Control::CmdExit, Control::Picture1});
  s.assumedTimeBox = control(Box::AssumedCracking);
  parts::declare_roles<Box>(s, {{Box::Cover, sheet::BoxRole::Cover},
                                {Box::Age, sheet::BoxRole::InspectionAge},
                                {Box::Diffusion, sheet::BoxRole::Diffusion},
                                {Box::Surface, sheet::BoxRole::Surface},
                                {Box::Critical, sheet::BoxRole::Critical},
                                {Box::AssumedCracking, sheet::BoxRole::IterationStart},
                                {Box::AssumedInitiation, sheet::BoxRole::IterationStart},
                                {Box::AssumedT2, sheet::BoxRole::IterationStart}});
  s.front = sheet::FrontLaw::Marine;
  s.results = parts::forms(result_rows());
  return s;
}

}  // namespace

const sheet::SheetTable& MarineSheet::table() const {
  static const sheet::SheetTable s = make_table();
  return s;
}

std::optional<sheet::CheckFailure> MarineSheet::check(const sheet::SheetInputs& in) const {
  if (auto f = parts::derivable_coefficient_missing<Box>(in)) return f;
  return parts::profile_rest_missing<Box>(
      in, {{Box::AssumedCracking, parts::kAssumedCracking.notEntered},
           {Box::Diameter, parts::kDiameter.notEntered},
           {Box::Accumulation, kAccumulation.notEntered},
           {Box::StableTime, kStableTime.notEntered},
           {Box::AssumedInitiation, kAssumedInitiation.notEntered},
           {Box::AssumedT2, kAssumedT2.notEntered}});
}

model::MarineInput MarineSheet::bind(const sheet::SheetInputs& in) {
  model::MarineInput mi;
  parts::bind_derivable<Box>(in, mi);
  mi.k = in.box(Box::Accumulation);
  mi.ts = in.box(Box::StableTime);
  mi.tiStart = in.box(Box::AssumedInitiation);
  mi.T2Start = in.box(Box::AssumedT2);
  return mi;
}

sheet::CalculationOutcome MarineSheet::calculate(const sheet::SheetInputs& in,
                                                 sheet::CalculationSink& sink) const {
  const model::MarineInput mi = bind(in);
  auto record = [&](const Result& r) {
    sheet::ResultRecord rec = parts::new_record(sink);
    parts::add_derivable_echo(rec, mi, r, in);
    rec.input(kEchoStableTime, mi.ts).input(kEchoInitiation, mi.tiStart).input(kEchoT2, mi.T2Start);
    parts::add_choice(rec, parts::kEchoSource, parts::source_name(mi.source));
    rec.input(kEchoAccumulation, mi.k);
    parts::add_typed_inputs(rec, table(), in);
    parts::add_results(rec, result_rows(), r);
    return rec;
  };
  return parts::calculate_iterating(mi, &model::run_marine, record, sink);
}

}  // namespace pellucor::modules
