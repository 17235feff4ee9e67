// What a module tells the sheet pattern about its sheet: the field table (texts, ranges,
// checks), the option groups, the layout in twips, the tab order, and the calculation
// binding (checks at Calculate, the model run, the report and file-echo lines).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "model/model_run.hpp"
#include "model/stop.hpp"
#include "sheet/control.hpp"
#include "sheet/result_record.hpp"

namespace pellucor::sheet {

// Position and size in twips (15 twips are one pixel at 96 dpi).
struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// When a box is range-tested on leaving it.
enum class LeaveCheck {
  None,                // no check (the box reaches the model with whatever was typed)
  Range,               // range check; 0 and empty fail it
  ZeroBlankThenRange,  // a value of 0 empties the box silently, otherwise the range check
  ZeroBlankOnly,       // a value of 0 empties the box silently; no range check
};

// What runs after every change of a box's text (keystrokes and the program's own writes).
enum class ChangeCheck {
  None,
  Range,           // 0 empties the box; out of range: message, empty, focus back
  EitherOr,        // with `partner`: a value empties and disables the partner (both ways)
  LockDerivation,  // a value clears and disables `locked`; 0 enables them again
};

// What a box is to the analyses beyond the sheet (the reliability analysis and its update,
// design, the inspection fits, the member tables): they find a box by its role, never by its
// sheet's name or its own.
enum class BoxRole {
  None,            // a property the analyses treat like any other
  Cover,           // concrete cover, mm: the cover readings update its law
  Diffusion,       // chloride diffusion coefficient: a profile fit gives it
  Surface,         // surface chloride content: a profile fit gives it
  Critical,        // critical chloride content at the steel
  InspectionAge,   // the member's age at inspection, a
  MeasuredDepth,   // a measured carbonation depth: a carbonation survey gives it
  AgeingExponent,  // the ageing exponent of the diffusion coefficient (its scatter by binder)
  IterationStart,  // the starting value of an iteration: not a property of the member
};

// The law a sheet's front (the carbonation depth, the chloride content) follows with depth and
// age: what measurements of a member are compared with.
enum class FrontLaw {
  Carbonation,        // depth k·√t
  ChlorideConstant,   // Fick's second law, constant coefficient
  ChlorideVariable,   // Fick's second law, coefficient falling with age
  Marine,             // the marine atmosphere's accumulating surface content
  ChlorideAtCasting,  // chloride mixed in at casting: no front, the steel corrodes from the start
};

struct FieldRow {
  Control control = Control::None;
  BoxRole role = BoxRole::None;
  std::string_view label;    // caption of the label beside the box
  std::string_view alias;    // readable console name, e.g. "cover"
  std::string_view meaning;  // English meaning and unit, for the console help
  double lo = 0;             // valid range, both ends valid
  double hi = 0;
  LeaveCheck leave = LeaveCheck::None;
  ChangeCheck change = ChangeCheck::None;
  std::vector<std::string_view> prompts;  // printed on focus, one line each
  std::string_view rangeMessage;          // out-of-range message (title "有效性验证")
  Control partner = Control::None;        // EitherOr
  std::vector<Control> locked;            // LockDerivation
  Rect labelRect;
  Rect box;
  // The box as a record item of kind Input: key the alias, name the label, unit as the
  // prompt states it (the value is the one typed).
  ItemText typed;
};

struct OptionRow {
  Control control = Control::None;
  std::string_view caption;
  std::string_view alias;   // console name
  std::string_view prompt;  // printed on focus
  Rect rect;                // relative to the frame
};

struct OptionGroupRow {
  std::string_view name;  // "Frame1", "Frame2"
  std::string_view caption;
  Rect frame;
  std::array<OptionRow, 2> options;  // the first is selected when the sheet opens
};

struct ComboRow {
  std::string_view label = "钢筋种类";
  Rect labelRect;
  Rect box;
};

inline constexpr std::array<std::string_view, 3> kSteelItems = {"1 圆钢筋", "2 变形钢筋",
                                                                "3 墙板配筋"};
inline constexpr std::string_view kComboPrompt =
    " 钢筋种类（圆钢筋、变形钢筋、墙板配筋），请从下拉列表中选择一种!";
inline constexpr std::string_view kSteelKindMessage = "您没有选择钢筋种类！请从下拉列表中选择一种!";
inline constexpr std::string_view kSteelKindNotEntered =
    "您未选择钢筋种类，请从下拉列表中选择一种钢筋!";
inline constexpr std::string_view kTitleValidity = "有效性验证";
inline constexpr std::string_view kTitleInput = "输入验证";
inline constexpr std::string_view kPlausibility = "请您检查输入数据的合理性!";
inline constexpr std::string_view kWaitLine = "正在计算，请稍候………………";
inline constexpr std::string_view kResultsHeader = "计算结果如下:";
inline constexpr std::string_view kParametersHeader = "计算参数如下:";
inline constexpr std::string_view kEqualsLine =
    "===========================================================";
inline constexpr std::string_view kHyphensLine =
    "-----------------------------------------------------------";
inline constexpr std::string_view kCaptionCalculate = "计 算";
inline constexpr std::string_view kCaptionSave = "保存数据";
inline constexpr std::string_view kCaptionExit = "退 出";
inline constexpr std::string_view kSaveDialogTitle = "保存数据";
inline constexpr std::string_view kSaveDialogFilter = "*.DAT";
inline constexpr std::string_view kSaveDialogExtension = "DAT";
inline constexpr std::string_view kDefaultBoxText = "0.000";
// Shown instead of a crack width for wall or slab reinforcement.
inline constexpr std::string_view kNoCrackWidth = " 不计算（墙板配筋）";

struct SheetTable {
  int number = 0;                // 1..5
  std::string_view formName;     // "frm_main1"
  std::string_view caption;      // window caption
  std::string_view cliName;      // "carbonation"
  std::string_view menuCaption;  // "碳化(&A)"
  std::vector<FieldRow> fields;
  std::vector<OptionGroupRow> groups;
  ComboRow combo;
  Rect cmdCal;
  Rect cmdSave;
  Rect cmdExit;
  Rect pane;
  int width = 11055;  // client area, twips
  int height = 8595;
  std::vector<Control> tabOrder;
  std::vector<Control> enabledAfterCalculation;  // boxes a finished calculation enables
  Control assumedTimeBox = Control::None;        // box the iteration writes its running value to
  // The result items of the sheet's record in order, printed or not (the report prints those
  // with a label): what a finished calculation's record holds after its inputs.
  std::vector<const ItemText*> results;
  // Results the sheet's model gives as 0 whatever its inputs, by the record's key, with the
  // reason (Chinese): an assessment does not grade a member on them unless asked to.
  struct ZeroResult {
    std::string_view key;
    std::string_view reason;
  };
  std::vector<ZeroResult> zeroByConstruction;
  FrontLaw front = FrontLaw::Carbonation;

  const FieldRow* field(Control c) const {
    for (const auto& f : fields) {
      if (f.control == c) return &f;
    }
    return nullptr;
  }
  // The box with `role`; none when the sheet has no such box.
  const FieldRow* withRole(BoxRole role) const {
    for (const auto& f : fields) {
      if (f.role == role) return &f;
    }
    return nullptr;
  }
};

// A sheet names its boxes with an enumeration whose values are the box numbers (TextN).
template <class Box>
concept BoxName = std::is_enum_v<Box> && !std::is_same_v<Box, Control>;

// What Calculate reads from the controls, before any check.
struct SheetInputs {
  std::array<double, kMaxTextBoxes + 1> value{};  // value[n]: TextN by the numeric prefix rule
  std::array<bool, 5> selected{};                 // selected[n]: OptionN
  std::int16_t steelKind = 0;
  std::string steelText;  // Combo1's text
  std::string steelName;  // from its third character on, 10 characters, blank padded

  double box(int n) const { return value[static_cast<std::size_t>(n)]; }
  // By a sheet's name for the box.
  template <BoxName Box>
  double box(Box b) const {
    return box(static_cast<int>(b));
  }
  bool option(int n) const { return selected[static_cast<std::size_t>(n)]; }
};

// A failed check at Calculate: a not-entered message that focuses its control, or (focus
// None) the plausibility stop, which leaves the focus where it is. Title "输入验证".
struct CheckFailure {
  std::string_view message;
  Control focus = Control::None;
};

// Receives the passes of a calculation that iterates on the cracking time.
class CalculationSink {
 public:
  virtual ~CalculationSink() = default;
  // The pass's assumed cracking time, to be written into the module's box.
  virtual void passStarted(double assumedCrackingTime) = 0;
  // The pass's result lines, to be printed as the report.
  virtual void passFinished(const std::vector<std::string>& paneLines) = 0;
  // False for a caller that reads only numbers (CalculationOutcome::record and ::run), such as
  // a reliability analysis running the sheet many times or a member table: the sheet then
  // formats no report lines, neither per pass nor at the end. The numbers are the same.
  virtual bool wantsReport() const { return true; }
  // False for a caller that reads only the model's numbers (CalculationOutcome::run), such as
  // the samples of a reliability analysis: the sheet then builds no record either.
  virtual bool wantsRecord() const { return true; }
  // False for a caller that reads only the results of the record and the inspection age, such
  // as a member table: the record then holds no other input (see ResultRecord::resultsOnly).
  virtual bool wantsInputs() const { return true; }
};

struct CalculationOutcome {
  std::optional<model::StopReason> stop;  // set: the plausibility stop ended the calculation
  ResultRecord record;  // complete when the calculation ran to its end (and the sink wants it)
  Report report;        // formatted from the record when the sink wants a report
  model::ModelRun run;  // the model's inputs and result (also on a stop)
};

// One module: its sheet and its calculation.
class Module {
 public:
  virtual ~Module() = default;
  virtual const SheetTable& table() const = 0;
  // The checks of Calculate in the module's order (not-entered checks, then consistency).
  virtual std::optional<CheckFailure> check(const SheetInputs& in) const = 0;
  // Runs the model on checked inputs; reports every pass to the sink.
  virtual CalculationOutcome calculate(const SheetInputs& in, CalculationSink& sink) const = 0;
};

}  // namespace pellucor::sheet
