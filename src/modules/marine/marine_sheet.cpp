#include "modules/marine/marine_sheet.hpp"

#include "model/marine.hpp"
#include "modules/common/sheet_parts.hpp"

namespace pellucor::modules {

namespace {

using sheet::ChangeCheck;
using sheet::Control;
using sheet::LeaveCheck;

constexpr parts::Quantity kAccumulation{"累计系数",
                                        " 累计系数（单位为kg/a^0.5），请输入 0.5--5.0 间的数!",
                                        "您输入的累计系数不在有效范围！请输入 0.5--5.0 间的数!",
                                        "您未输入累计系数，请输入 0.5--5.0 间的数!",
                                        0.5,
                                        5.0};
constexpr parts::Quantity kStableTime{
    "稳定积累时间",
    " 混凝土表面氯离子积累到稳定值的时间（单位为a），请输入 5--30 间的数!",
    "您输入的混凝土表面氯离子积累到稳定值的时间不在有效范围！请输入 5--30 间的数!",
    "您未输入混凝土表面氯离子积累到稳定值的时间，请输入 5--30 间的数!",
    5,
    30};
constexpr parts::Quantity kAssumedInitiation{
    "初设锈蚀时间",
    " 初设钢筋开始锈蚀时间（单位为a），请输入 1--50 间的数!",
    "您输入的初设钢筋开始锈蚀时间不在有效范围！请输入 1--50 间的数!",
    "您未输入初设钢筋开始锈蚀时间，请输入 1--50 间的数!",
    1,
    50};
constexpr parts::Quantity kAssumedT2{"初设T2时间",
                                     " 初设T2时间（单位为a），请输入 1--50 间的数!",
                                     "您输入的初设T2时间不在有效范围！请输入 1--50 间的数!",
                                     "您未输入初设T2时间，请输入 1--50 间的数!",
                                     1,
                                     50};

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

sheet::SheetTable make_table() {
  sheet::SheetTable s;
  s.number = 4;
  s.formName = "frm_main4";
  s.caption = "近海大气侵蚀引起的钢筋腐蚀";
  s.cliName = "marine";
  s.menuCaption = "渗氯盐_近海大气(&D)";

  constexpr auto None = LeaveCheck::None;
  s.fields = {
      field(parts::kEnvironment, Control::Text1, "environment",
            "local environment coefficient, no unit", {0, 0, 480, 240}),
      field(parts::kTemperature, Control::Text2, "temperature",
            "ambient temperature, degrees Celsius", {0, 1, 3960, 240}),
      field(parts::kHumidity, Control::Text3, "humidity", "ambient relative humidity as a fraction",
            {0, 2, 6720, 240}),
      field(parts::kStrength, Control::Text4, "strength", "concrete strength, MPa",
            {1, 0, 720, 720}),
      field(parts::kCover, Control::Text5, "cover", "cover thickness, mm", {1, 1, 3720, 720}),
      field(parts::kInspectionAge, Control::Text6, "age",
            "inspection age (service time at inspection), years", {1, 2, 6720, 720}),
      field(parts::kDiffusion, Control::Text7, "diffusion",
            "chloride diffusion coefficient, cm2/a; leave empty to derive it", {2, 0, 480, 1215},
            LeaveCheck::ZeroBlankOnly, ChangeCheck::LockDerivation),
      field(parts::kSurface, Control::Text8, "surface",
            "surface chloride concentration (the stable value), kg/m3", {2, 1, 3720, 1215}),
      field(parts::kCritical, Control::Text9, "critical",
            "critical chloride concentration at the bar, kg/m3", {2, 2, 6480, 1215}),
      field(parts::kDepth, Control::Text10, "depth",
            "measuring depth below the surface, mm (no range check)", {3, 0, 720, 1695}, None),
      field(parts::kMeasured, Control::Text11, "measured",
            "measured chloride concentration at the measuring depth at the inspection age, "
            "kg/m3 (no range check)",
            {3, 1, 3720, 1695}, None),
      field(parts::kWaterCement, Control::Text12, "water-cement",
            "water-cement ratio as a fraction (no range check)", {3, 2, 6960, 1695}, None),
      field(parts::kAssumedCracking, Control::Text13, "cracking-time",
            "assumed cracking time, years: the start of the cracking-time iteration",
            {4, 0, 480, 2190}),
      field(parts::kDiameter, Control::Text14, "diameter", "steel diameter, mm",
            {4, 1, 3960, 2190}),
      field(kAccumulation, Control::Text15, "accumulation",
            "accumulation coefficient k of the surface chloride (grows as k sqrt(t)), "
            "kg/m3 per a^0.5",
            {4, 2, 6720, 2190}),
      field(kStableTime, Control::Text16, "stable-time",
            "age at which the surface chloride reaches its stable value, years", {5, 0, 480, 2670}),
      field(kAssumedInitiation, Control::Text17, "initiation-time",
            "assumed initiation time, years: the start of the initiation-time search",
            {5, 1, 3480, 2670}),
      field(kAssumedT2, Control::Text18, "t2",
            "assumed T2, years: the start of the search after the stable time", {5, 2, 6480, 2670}),
  };
  s.fields[6].locked = {Control::Text10, Control::Text11, Control::Text12};

  s.groups = {{"Frame1",
               "扩散系数来源",
               {480, 3000, 4935, 615},
               {{{Control::Option1,
                  "由实测氯浓度推算",
                  "from-profile",
                  kSourcePrompt,
                  {240, 240, 1935, 255}},
                 {Control::Option2,
                  "由水灰比推算",
                  "from-water-cement",
                  kSourcePrompt,
                  {2880, 240, 1935, 255}}}}}};
  s.combo.box = {7200, 3180, 1635, 360};
  s.combo.labelRect = {6120, 3240, parts::caption_width(s.combo.label), 240};

  s.cmdCal = {9360, 600, 1400, 400};
  s.cmdSave = {9360, 1620, 1400, 400};
  s.cmdExit = {9360, 2640, 1400, 400};
  s.pane = {120, 3720, 10815, 4815};
  for (int n = 1; n <= 18; ++n) s.tabOrder.push_back(sheet::text_box(n));
  s.tabOrder.insert(s.tabOrder.end(),
                    {Control::Option1, Control::Option2, Control::Combo1, Control::CmdCal,
                     Control::CmdSave, Control::CmdExit, Control::Picture1});
  s.enabledAfterCalculation = {Control::Text10, Control::Text11, Control::Text12};
  s.assumedTimeBox = Control::Text13;
  return s;
}

// Line 8 carries the post-cracking rate under a depth label with a length unit.
std::vector<std::string> result_lines(const model::MarineResult& r) {
  using parts::result_line;
  const auto& p = r.prop;
  return {
      result_line("计算扩散系数:", r.D, " m^2/a"),
      result_line("氯侵蚀系数:", r.K, " mm/a^0.5"),
      result_line("钢筋开始锈蚀时间:", r.ti, " a"),
      result_line("保护层开裂前钢筋锈蚀速度:", r.rate.lambda0, " mm/a"),
      result_line("保护层开裂前钢筋锈蚀深度:", p.dcr, " mm"),
      result_line("钢筋锈蚀时间:", p.tp, " a"),
      result_line("保护层开裂的时间:", p.tc, "a"),
      result_line("保护层开裂后钢筋锈蚀深度:", p.lambda1, " mm"),
      result_line("使用年限:", p.td, " a"),
      result_line("检测时的钢筋腐蚀深度:", p.dt, " mm"),
      parts::crack_width_line("检测时的裂缝宽度:", p.w, " mm"),
  };
}

}  // namespace

const sheet::SheetTable& MarineSheet::table() const {
  static const sheet::SheetTable s = make_table();
  return s;
}

std::optional<sheet::CheckFailure> MarineSheet::check(const sheet::SheetInputs& in) const {
  if (auto f = parts::derivable_coefficient_missing(in)) return f;
  if (auto f = parts::first_missing(in, {{13, parts::kAssumedCracking.notEntered},
                                         {14, parts::kDiameter.notEntered},
                                         {15, kAccumulation.notEntered},
                                         {16, kStableTime.notEntered},
                                         {17, kAssumedInitiation.notEntered},
                                         {18, kAssumedT2.notEntered}})) {
    return f;
  }
  if (auto f = parts::steel_kind_missing(in)) return f;
  return parts::concentrations_inconsistent(in.box(11), in.box(9), in.box(8));
}

sheet::CalculationOutcome MarineSheet::calculate(const sheet::SheetInputs& in,
                                                 sheet::CalculationSink& sink) const {
  model::MarineInput mi;
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
  mi.k = in.box(15);
  mi.ts = in.box(16);
  mi.tiStart = in.box(17);
  mi.T2Start = in.box(18);
  mi.kind = model::steel_kind_of(in.steelKind);
  const bool measured = in.option(1);
  mi.source =
      measured ? model::DiffusionSource::MeasuredProfile : model::DiffusionSource::WaterCementRatio;

  parts::PassForwarder<model::MarineResult, decltype(&result_lines)> forward(sink, &result_lines);
  const model::MarineResult r = model::run_marine(mi, &forward);
  sheet::CalculationOutcome out;
  out.run = model::MarineRun{mi, r};
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
      parts::EchoLine()("积累到稳定值的时间（单位为a）= ", mi.ts)(
          ",初设开始锈蚀时间（单位为a） = ", mi.tiStart)(",初设T2时间（单位为a） = ", mi.T2Start)
          .str(),
      parts::EchoLine()
          .text("扩散系数来源= ", measured ? parts::kSourceMeasured : parts::kSourceOther)(
              ",累计系数（单位为kg/a^0.5）= ", mi.k)
          .str(),
  };
  return out;
}

}  // namespace pellucor::modules
