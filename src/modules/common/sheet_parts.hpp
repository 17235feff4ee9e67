// Pieces that the five calculation sheets share: the quantities that several sheets ask for
// (caption, prompt, range, messages), the placing of a label beside its box, and the items of
// the record that several sheets name and write alike (parameter echo and results).
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/chloride_rate.hpp"
#include "sheet/number_form.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::modules::parts {

// One quantity as a sheet asks for it. The texts are shown exactly as they stand.
struct Quantity {
  std::string_view label;         // caption of the label beside the box
  std::string_view prompt;        // printed into the output pane when the box gets the focus
  std::string_view rangeMessage;  // out-of-range message (empty: the box has no range check)
  std::string_view notEntered;    // message of the not-entered check at Calculate
  double lo = 0;
  double hi = 0;
  std::string_view unit = {};  // the unit the prompt states, empty when it states none
};

// Quantities asked for by more than one sheet.
inline constexpr Quantity kEnvironment{"局部环境系数",
                                       " 局部环境系数，请输入 1.0--5.5 的数!",
                                       "您输入的局部环境系数不在有效范围！请输入 1.0--5.5 的数!",
                                       "您未输入局部环境系数，请输入 1.0--5.5 间的数!",
                                       1.0,
                                       5.5};
inline constexpr Quantity kTemperature{"环境温度",
                                       " 环境温度（单位为摄示度），请输入 4--30 间的数!",
                                       "您输入的环境温度不在有效范围！请输入 4--30 间的数!",
                                       "您未输入环境温度，请输入 4--30 间的数!",
                                       4,
                                       30,
                                       "摄示度"};
inline constexpr Quantity kHumidity{"环境湿度",
                                    " 环境湿度（为小数形式的相对湿度），请输入 0.4--1.0 间的数!",
                                    "您输入的环境湿度不在有效范围！请输入  0.4--1.0 间的数!",
                                    "您未输入环境湿度，请输入 0.4--1.0 间的数!",
                                    0.4,
                                    1.0};
inline constexpr Quantity kStrength{"混凝土强度",
                                    " 混凝土强度（单位为mpa），请输入 10--50 间的数!",
                                    "您输入的混凝土强度不在有效范围！请输入 10--50 间的数!",
                                    "您未输入混凝土强度，请输入 10--50 间的数!",
                                    10,
                                    50,
                                    "mpa"};
inline constexpr Quantity kCover{"保护层厚度",
                                 " 保护层厚度（单位为mm），请输入 3--90 间的数!",
                                 "您输入的保护层厚度不在有效范围！请输入 3--90 间的数!",
                                 "您未输入保护层厚度，请输入 3--90 间的数!",
                                 3,
                                 90,
                                 "mm"};
inline constexpr Quantity kInspectionAge{
    "检测时间",
    " 结构使用（检测）时间（单位为a），请输入 1--80 间的数!",
    "您输入的结构使用（检测）时间不在有效范围！请输入 1--80 间的数!",
    "您未输入检测时间，请输入 1--80 间的数!",
    1,
    80,
    "a"};
inline constexpr Quantity kDiameter{"钢筋直径",
                                    " 钢筋直径（单位为mm），请输入 8--40间的数!",
                                    "您输入的钢筋直径不在有效范围！请输入 8--40间的数!",
                                    "您未输入钢筋直径，请输入 8--40 间的数!",
                                    8,
                                    40,
                                    "mm"};
inline constexpr Quantity kDiffusion{"离子扩散系数",
                                     " 氯离子扩散系数（单位为cm^2/a），请输入 0.2--8.0 间的数!",
                                     "您输入的氯离子扩散系数不在有效范围！请输入 0.2--8.0 间的数!",
                                     "您未输入氯离子扩散系数，请输入 0.2--8.0 间的数!",
                                     0.2,
                                     8.0,
                                     "cm^2/a"};
inline constexpr Quantity kSurface{
    "表面氯浓度",
    " 混凝土表面氯离子浓度（单位为kg/m^3），请输入 1.0--13.0 间的数!",
    "您输入的混凝土表面氯离子浓度不在有效范围！请输入 1.0--13.0 间的数!",
    "您未输入混凝表面氯离子浓度，请输入 1.0--13.0 间的数!",
    1.0,
    13.0,
    "kg/m^3"};
inline constexpr Quantity kCritical{"氯临界浓度",
                                    " 氯离子临界浓度（单位为kg/m^3），请输入 1.2--1.6 间的数!",
                                    "您输入的氯离子临界浓度不在有效范围！请输入 1.2--1.6 间的数!",
                                    "您未输入氯离子临界浓度，请输入 1.2--1.6 间的数!",
                                    1.2,
                                    1.6,
                                    "kg/m^3"};
inline constexpr Quantity kDepth{"距表面深度",
                                 " 距混凝土表面的深度（单位为mm），请输入 10--80 间的数!",
                                 "您输入的距混凝土表面的深度不在有效范围！请输入 10--80 间的数!",
                                 "您未输入距混凝土表面的深度，请输入 10--80 间的数!",
                                 10,
                                 80,
                                 "mm"};
inline constexpr Quantity kMeasured{
    "实测氯浓度",
    " 距混凝土表面深度YC处的氯离子浓度（单位为kg/m^3），请输入 1.0--13.0 间的数!",
    "您输入的距混凝土表面深度YC处的氯离子浓度-实测氯浓度不在有效范围！请输入 1.0--13.0 间的数!",
    "您未输入距混凝土表面深度YC处的氯离子浓度-实测氯浓度，请输入 1.0--13.0 间的数!",
    1.0,
    13.0,
    "kg/m^3"};
inline constexpr Quantity kWaterCement{"水灰比", " 水灰比（小数形式），请输入 0.35--0.7 间的数!",
                                       "",       "您未输入水灰比，请输入 0.35--0.7 间的数!",
                                       0.35,     0.7};
// The assumed cracking time of the chloride sheets whose box is Text12 or Text13.
inline constexpr Quantity kAssumedCracking{"初设开裂时间",
                                           " 初设开裂时间（单位为a），请输入 1--80 间的数!",
                                           "您输入的初设扩散时间不在有效范围！请输入 1--80 间的数!",
                                           "您未输入初设保护层开裂时间，请输入 1--80 间的数!",
                                           1,
                                           80,
                                           "a"};

// The source of the diffusion coefficient as the result file names it.
inline constexpr std::string_view kSourceMeasured = "由实测氯浓度推算";
inline constexpr std::string_view kSourceOther = "由距表面深度推算";

// A box of a sheet's field table: the texts of `q`, the checks and the position.
struct BoxSetup {
  sheet::Control control = sheet::Control::None;
  std::string_view alias;
  std::string_view meaning;
  sheet::LeaveCheck leave = sheet::LeaveCheck::Range;
  sheet::ChangeCheck change = sheet::ChangeCheck::None;
  sheet::Rect box;
};
// With the label placed beside the box, or at `label`.
sheet::FieldRow make_field(const Quantity& q, const BoxSetup& setup);
sheet::FieldRow make_field(const Quantity& q, const BoxSetup& setup, const sheet::Rect& label);

// Twips a caption needs: 240 a wide (CJK) character, 120 a narrow one.
int caption_width(std::string_view caption);
// A label just left of its box: right edge 120 twips before the box, top 60 below the box's
// top, 240 high, as wide as its caption.
sheet::Rect label_beside(const sheet::Rect& box, std::string_view caption);

using sheet::BoxName;

// The control of a named box.
template <BoxName Box>
constexpr sheet::Control control(Box b) {
  return sheet::text_box(static_cast<int>(b));
}
// The controls of the boxes Text1 to `last`, in order.
template <BoxName Box>
std::vector<sheet::Control> boxes_through(Box last) {
  std::vector<sheet::Control> out;
  for (int n = 1; n <= static_cast<int>(last); ++n) out.push_back(sheet::text_box(n));
  return out;
}
// The row of a named box in a field table being built.
sheet::FieldRow& row(sheet::SheetTable& s, sheet::Control c);
template <BoxName Box>
sheet::FieldRow& row(sheet::SheetTable& s, Box b) {
  return row(s, control(b));
}

// Declares what the boxes are to the analyses beyond the sheet (sheet::BoxRole).
template <BoxName Box>
struct Role {
  Box box;
  sheet::BoxRole role;
};
template <BoxName Box>
void declare_roles(sheet::SheetTable& s, std::initializer_list<Role<Box>> roles) {
  for (const auto& r : roles) row(s, r.box).role = r.role;
}

// The first box among `boxes` (in order) that reads 0, as a not-entered failure.
struct Required {
  template <BoxName Box>
  constexpr Required(Box b, std::string_view m) : box(static_cast<int>(b)), message(m) {}
  int box = 0;  // TextN
  std::string_view message;
};
std::optional<sheet::CheckFailure> first_missing(const sheet::SheetInputs& in,
                                                 std::initializer_list<Required> boxes);

// The climate and concrete boxes that every sheet asks for first, in this order.
template <BoxName Box>
std::optional<sheet::CheckFailure> climate_and_concrete_missing(
    const sheet::SheetInputs& in, const Quantity& environment = kEnvironment) {
  return first_missing(in, {{Box::Environment, environment.notEntered},
                            {Box::Temperature, kTemperature.notEntered},
                            {Box::Humidity, kHumidity.notEntered},
                            {Box::Strength, kStrength.notEntered},
                            {Box::Cover, kCover.notEntered},
                            {Box::Age, kInspectionAge.notEntered}});
}
// Whether an option button is chosen.
inline bool chosen(const sheet::SheetInputs& in, sheet::Control option) {
  return in.option(sheet::option_number(option));
}

// The steel-kind check at Calculate.
std::optional<sheet::CheckFailure> steel_kind_missing(const sheet::SheetInputs& in);
// The consistency of the chloride concentrations: a measured or critical concentration not
// below the surface concentration stops the calculation.
std::optional<sheet::CheckFailure> concentrations_inconsistent(double measured, double critical,
                                                               double surface);

// ------------------------------------------------------------------ the record

using sheet::ItemText;

// The climate and concrete items of the parameter echo of sheets 1 to 4: lines 1 and 2.
inline constexpr ItemText kEchoEnvironment{
    .key = "environment", .name = "局部环境系数", .label = "局部环境系数= ", .line = 1};
inline constexpr ItemText kEchoTemperature{.key = "temperature",
                                           .name = "环境温度",
                                           .unit = "摄示度",
                                           .label = ",环境温度（单位为摄示度）= ",
                                           .line = 1};
inline constexpr ItemText kEchoHumidity{
    .key = "humidity", .name = "环境湿度", .label = ",环境湿度= ", .line = 1};
inline constexpr ItemText kEchoStrength{.key = "strength",
                                        .name = "混凝土强度",
                                        .unit = "mpa",
                                        .label = "混凝土强度（单位为mpa）= ",
                                        .line = 2};
inline constexpr ItemText kEchoCover{.key = "cover",
                                     .name = "保护层厚度",
                                     .unit = "mm",
                                     .label = ",保护层厚度（单位为mm）= ",
                                     .line = 2};
inline constexpr ItemText kEchoAge{.key = "age",
                                   .name = "结构使用（检测）时间",
                                   .unit = "a",
                                   .label = ",结构使用（检测）时间（单位为a）= ",
                                   .line = 2};

// Results that a sheet keeps in its record without printing them, so that every record has
// the whole time course under the same keys.
inline constexpr ItemText kUnprintedTi{.key = "ti", .name = "钢筋开始锈蚀时间", .unit = "a"};
inline constexpr ItemText kUnprintedTp{
    .key = "tp", .name = "保护层开裂前钢筋锈蚀时间", .unit = "a"};
inline constexpr ItemText kUnprintedDd{
    .key = "dd", .name = "耐久性终结时的钢筋腐蚀深度", .unit = "mm"};
inline constexpr ItemText kUnprintedDtd{
    .key = "dtd", .name = "从保护层开裂到耐久性终结的时间", .unit = "a"};
inline constexpr ItemText kUnprintedTd{.key = "td", .name = "耐久性终结时间", .unit = "a"};

// A result item of a sheet and how to read it from the model's result `R`. The only result
// without a number is the crack width of wall or slab reinforcement: its line says so.
template <class R>
struct ResultRow {
  const ItemText* form;
  std::optional<double> (*value)(const R&);
};

// The forms of the rows, in order (a sheet table's `results`).
template <class R>
std::vector<const ItemText*> forms(const std::vector<ResultRow<R>>& rows) {
  std::vector<const ItemText*> out;
  out.reserve(rows.size());
  for (const auto& row : rows) out.push_back(row.form);
  return out;
}

// Adds the rows' results of `r` to the record.
template <class R>
void add_results(sheet::ResultRecord& record, const std::vector<ResultRow<R>>& rows, const R& r) {
  for (const auto& row : rows) {
    if (const auto v = row.value(r)) {
      record.result(*row.form, *v);
    } else {
      record.add(sheet::ItemKind::Result, *row.form, std::nullopt,
                 std::string(sheet::kNoCrackWidth));
    }
  }
}

// The steel kind as the echo writes it (its name of 10 characters, blanks included), with its
// number.
inline void add_steel(sheet::ResultRecord& record, const ItemText& form,
                      const sheet::SheetInputs& in) {
  if (record.resultsOnly) return;
  record.add(sheet::ItemKind::Input, form, in.steelKind, in.steelName);
}

// An option group's choice as the echo names it.
inline void add_choice(sheet::ResultRecord& record, const ItemText& form, std::string_view text) {
  if (record.resultsOnly) return;
  record.add(sheet::ItemKind::Input, form, std::nullopt, std::string(text));
}

// Every box of the sheet that the record does not hold yet as an input, as typed and not
// printed: the record then holds all the inputs Calculate read.
void add_typed_inputs(sheet::ResultRecord& record, const sheet::SheetTable& table,
                      const sheet::SheetInputs& in);

// An empty record for a calculation told to `sink`: of the results alone when the sink wants
// no inputs.
inline sheet::ResultRecord new_record(const sheet::CalculationSink& sink) {
  sheet::ResultRecord record;
  record.resultsOnly = !sink.wantsInputs();
  return record;
}

// Ends a calculation that ran to its end: the record, and the report formatted from it when
// the sink wants one.
void finish(sheet::CalculationOutcome& out, sheet::ResultRecord record,
            const sheet::CalculationSink& sink);

// Forwards the passes of a cracking-time iteration to the sheet: the assumed cracking time,
// then, when the sink wants a report, the result lines of the pass's record `record(values)`.
template <class Result, class Record>
class PassForwarder final : public model::IterationObserver<Result> {
 public:
  PassForwarder(sheet::CalculationSink& sink, Record record) : sink_(sink), record_(record) {}
  void passStarted(int, double assumedCrackingTime) override {
    sink_.passStarted(assumedCrackingTime);
  }
  void passFinished(int, const Result& values) override {
    if (sink_.wantsReport()) sink_.passFinished(sheet::result_lines(record_(values)));
  }

 private:
  sheet::CalculationSink& sink_;
  Record record_;
};

}  // namespace pellucor::modules::parts
