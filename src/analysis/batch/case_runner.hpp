// The case runner: one member's texts played into a sheet exactly as a user would — each
// text typed into its box in tab order and the box left with its leave check, then
// Calculate with the not-entered checks and the model. The console's single-sheet mode, the
// batch command and the desktop's member table all run sheets through it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/model_run.hpp"
#include "sheet/controller.hpp"
#include "sheet/sheet_table.hpp"
#include "sheet/view.hpp"

namespace pellucor::analysis::batch {

// One text to type. For a box: its text. For Combo1: the item text to choose. For an option
// button: any text (the option is chosen).
struct Entry {
  sheet::Control control = sheet::Control::None;
  std::string text;
};

// A message box that came up: its text, its title and the control it concerns (the box
// being typed or left, the control a check at Calculate focuses; None for the consistency
// and plausibility stops).
struct Message {
  std::string text;
  std::string title;
  sheet::Control control = sheet::Control::None;
};

// Types entries into a sheet whose controller is open on `view`, as a user would: each
// control gets the focus (after the leave check of the one that had it), its text is set in
// one change (like a paste) and its leave check runs. The desktop program types a member
// into an open sheet window with it; the case runner below is built on it.
class Typist {
 public:
  struct Options {
    // An empty text leaves its box as it is (a member's empty cell); otherwise it is typed.
    bool emptyLeavesBox = true;
    // Told about an entry whose control is disabled when its turn comes (its text is not
    // typed, as a user could not type it).
    std::function<void(sheet::Control)> skippedDisabled;
    // Told of the control that a message box coming up next would concern.
    std::function<void(sheet::Control)> concern;
    // True when typing must end (the first message ended the case); by default, when the
    // sheet is no longer open.
    std::function<bool()> stopped;
  };

  Typist(sheet::SheetController& controller, sheet::SheetView& view, Options options);

  // Types the entries in the sheet's tab order (entries for the same control in the order
  // given).
  void type(std::vector<Entry> entries);
  // Gives the focus to `target`, after the leave check of the control that had it (a check
  // runs once per visit: a user goes on even when it failed).
  void moveFocus(sheet::Control target);

 private:
  bool stopped() const;
  void concern(sheet::Control c) const;

  sheet::SheetController& controller_;
  sheet::SheetView& view_;
  Options options_;
  sheet::Control alreadyLeft_ = sheet::Control::None;
};

class CaseRunner {
 public:
  struct Options {
    // The first message box ends the case: the sheet is closed under it, as a user who
    // gives up on the member would, and nothing after it runs.
    bool stopAtFirstMessage = true;
    // An empty text leaves its box as it is (a member's empty cell); otherwise it is typed.
    bool emptyLeavesBox = true;
    // Told about an entry whose control is disabled when its turn comes.
    std::function<void(sheet::Control)> skippedDisabled;
  };

  // Opens the module's sheet on `view` (the runner keeps a reference to both).
  CaseRunner(const sheet::Module& module, sheet::SheetView& view, Options options);
  ~CaseRunner();
  CaseRunner(const CaseRunner&) = delete;
  CaseRunner& operator=(const CaseRunner&) = delete;

  // See Typist. An empty text leaves the box as it is (with emptyLeavesBox).
  void type(std::vector<Entry> entries);
  void moveFocus(sheet::Control target);
  // Moves to Calculate and presses it. After a stop at the first message, nothing runs and
  // the outcome says Closed.
  sheet::CalculateOutcome calculate();

  // The first message box, if any came up.
  const std::optional<Message>& firstMessage() const;
  // True once a message ended the case (stopAtFirstMessage).
  bool stopped() const;
  sheet::SheetController& controller();

 private:
  class Tap;
  std::unique_ptr<Tap> tap_;
  sheet::SheetController controller_;
  std::unique_ptr<Typist> typist_;
};

// A sheet held in memory: texts, enabled flags and option states; the output pane as lines;
// messages counted; the save dialog answered with a name fixed in advance.
class MemoryView : public sheet::SheetView {
 public:
  // Without `keepPane` the output pane's lines are not kept (a caller that reads only the
  // messages and the results saves their copies).
  explicit MemoryView(const sheet::SheetTable& table, bool keepPane = true);

  std::string text(sheet::Control c) const override;
  void setText(sheet::Control c, std::string_view text) override;
  void setEnabled(sheet::Control c, bool enabled) override;
  bool isEnabled(sheet::Control c) const override;
  void setFocus(sheet::Control c) override { focus_ = c; }
  bool isSelected(sheet::Control option) const override;
  void select(sheet::Control option) override;
  void clearPane() override { pane_.clear(); }
  void printLine(std::string_view line) override {
    if (keepPane_) pane_.emplace_back(line);
  }
  void showMessage(std::string_view, std::string_view) override { ++messageCount_; }
  std::optional<std::string> askSaveFileName(std::string_view, std::string_view,
                                             std::string_view) override {
    return saveAnswer_;
  }
  void close() override { closed_ = true; }

  void setSaveAnswer(std::optional<std::string> answer) { saveAnswer_ = std::move(answer); }
  const std::vector<std::string>& pane() const { return pane_; }
  int messageCount() const { return messageCount_; }
  sheet::Control focus() const { return focus_; }
  bool closed() const { return closed_; }

 private:
  const sheet::SheetTable& table_;
  bool keepPane_;
  std::string texts_[static_cast<int>(sheet::Control::Picture1) + 1];
  bool disabled_[static_cast<int>(sheet::Control::Picture1) + 1] = {};
  bool selected_[static_cast<int>(sheet::Control::Picture1) + 1] = {};
  std::vector<std::string> pane_;
  std::optional<std::string> saveAnswer_;
  sheet::Control focus_ = sheet::Control::None;
  int messageCount_ = 0;
  bool closed_ = false;
};

// What one member came to.
struct CaseResult {
  bool done = false;               // the calculation ran to its end
  std::optional<Message> message;  // otherwise: the first message box
  sheet::ResultRecord record;      // done: the inputs and results as data
  model::ModelRun run;             // done: the model's inputs and result
};

// Plays one member on a fresh sheet held in memory and stops at its first message. The sheet
// keeps its record and formats no report text.
CaseResult run_case(const sheet::Module& module, const std::vector<Entry>& entries);

// The control a column or argument name stands for on a sheet: a control name (Text1,
// Option2, Combo1), an alias ("cover", "steel") or the caption beside it (a box's label, an
// option's caption, "钢筋种类"); case-insensitive for ASCII. None when there is none.
sheet::Control control_by_name(const sheet::SheetTable& table, std::string_view name);

// The option group whose caption or frame name is `name`, if any.
const sheet::OptionGroupRow* group_by_name(const sheet::SheetTable& table, std::string_view name);

bool is_option_of(const sheet::SheetTable& table, sheet::Control c);

}  // namespace pellucor::analysis::batch
