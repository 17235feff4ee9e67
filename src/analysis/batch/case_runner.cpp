#include "analysis/batch/case_runner.hpp"

#include <algorithm>
#include <array>

#include "sheet/control_names.hpp"

namespace pellucor::analysis::batch {

using sheet::Control;

namespace {

std::size_t index(Control c) {
  return static_cast<std::size_t>(c);
}

}  // namespace

// Stands between the controller and the caller's view: forwards everything, and notes each
// message box with the control it concerns. When the case stops at its first message, the
// sheet is closed under the message, so that the controller ends what it was doing.
class CaseRunner::Tap final : public sheet::SheetView {
 public:
  Tap(sheet::SheetView& inner, sheet::SheetController& controller, bool stopAtFirst)
      : inner_(inner), controller_(controller), stopAtFirst_(stopAtFirst) {}

  std::string text(Control c) const override { return inner_.text(c); }
  void setText(Control c, std::string_view text) override { inner_.setText(c, text); }
  void setEnabled(Control c, bool enabled) override { inner_.setEnabled(c, enabled); }
  bool isEnabled(Control c) const override { return inner_.isEnabled(c); }
  void setFocus(Control c) override { inner_.setFocus(c); }
  bool isSelected(Control option) const override { return inner_.isSelected(option); }
  void select(Control option) override { inner_.select(option); }
  void clearPane() override { inner_.clearPane(); }
  void printLine(std::string_view line) override { inner_.printLine(line); }
  std::optional<std::string> askSaveFileName(std::string_view title, std::string_view filter,
                                             std::string_view extension) override {
    return inner_.askSaveFileName(title, filter, extension);
  }
  void close() override { inner_.close(); }

  void showMessage(std::string_view text, std::string_view title) override {
    inner_.showMessage(text, title);
    if (!first_) first_ = Message{std::string(text), std::string(title), concerned_};
    if (stopAtFirst_) {
      stopped_ = true;
      controller_.closed();
    }
  }

  // The control that messages from now on concern.
  void concern(Control c) { concerned_ = c; }

  void nameFirst(Control c) { first_->control = c; }
  const std::optional<Message>& first() const { return first_; }
  bool stopped() const { return stopped_; }

 private:
  sheet::SheetView& inner_;
  sheet::SheetController& controller_;
  bool stopAtFirst_;
  Control concerned_ = Control::None;
  std::optional<Message> first_;
  bool stopped_ = false;
};

Typist::Typist(sheet::SheetController& controller, sheet::SheetView& view, Options options)
    : controller_(controller), view_(view), options_(std::move(options)) {}

bool Typist::stopped() const {
  return options_.stopped ? options_.stopped() : !controller_.isOpen();
}

void Typist::concern(Control c) const {
  if (options_.concern) options_.concern(c);
}

void Typist::moveFocus(Control target) {
  if (stopped()) return;
  const Control from = controller_.focused();
  if (from != Control::None && from != target && from != alreadyLeft_) {
    concern(from);
    controller_.leaving(from);
    if (stopped()) return;
  }
  concern(target);
  controller_.focusGained(target);
  alreadyLeft_ = Control::None;
}

void Typist::type(std::vector<Entry> entries) {
  // Each control's place in the tab order (controls not in it after all others).
  const auto& order = controller_.table().tabOrder;
  std::array<std::size_t, static_cast<std::size_t>(Control::Picture1) + 1> rank{};
  rank.fill(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) rank[index(order[i])] = i;
  std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
    return rank[index(a.control)] < rank[index(b.control)];
  });
  for (const Entry& e : entries) {
    if (stopped()) return;
    const bool option = is_option_of(controller_.table(), e.control);
    if (options_.emptyLeavesBox && e.text.empty() && !option) continue;
    if (!view_.isEnabled(e.control)) {
      if (options_.skippedDisabled) options_.skippedDisabled(e.control);
      continue;
    }
    moveFocus(e.control);
    if (stopped()) return;
    if (option) {
      view_.select(e.control);
    } else if (view_.text(e.control) != e.text) {
      view_.setText(e.control, e.text);  // the whole text in one change, like a paste
      controller_.textChanged(e.control);
      if (stopped()) return;
    }
    concern(e.control);
    controller_.leaving(e.control);
    alreadyLeft_ = e.control;
  }
}

CaseRunner::CaseRunner(const sheet::Module& module, sheet::SheetView& view, Options options)
    : controller_(module) {
  tap_ = std::make_unique<Tap>(view, controller_, options.stopAtFirstMessage);
  controller_.open(*tap_);
  Typist::Options typing;
  typing.emptyLeavesBox = options.emptyLeavesBox;
  typing.skippedDisabled = std::move(options.skippedDisabled);
  Tap* tap = tap_.get();
  typing.concern = [tap](Control c) { tap->concern(c); };
  typing.stopped = [tap] { return tap->stopped(); };
  typist_ = std::make_unique<Typist>(controller_, *tap_, std::move(typing));
}

CaseRunner::~CaseRunner() = default;

const std::optional<Message>& CaseRunner::firstMessage() const {
  return tap_->first();
}
bool CaseRunner::stopped() const {
  return tap_->stopped();
}
sheet::SheetController& CaseRunner::controller() {
  return controller_;
}

void CaseRunner::moveFocus(Control target) {
  typist_->moveFocus(target);
}

void CaseRunner::type(std::vector<Entry> entries) {
  typist_->type(std::move(entries));
}

sheet::CalculateOutcome CaseRunner::calculate() {
  moveFocus(Control::CmdCal);
  if (stopped()) {
    sheet::CalculateOutcome closed;
    closed.status = sheet::CalculateOutcome::Status::Closed;
    return closed;
  }
  tap_->concern(Control::None);
  const bool messageBefore = tap_->first().has_value();
  const sheet::CalculateOutcome outcome = controller_.calculate();
  if (!messageBefore && tap_->first()) {
    // The message of a not-entered check names the control it focuses (also when the case
    // stopped at it and the outcome says Closed).
    tap_->nameFirst(outcome.control);
  }
  return outcome;
}

MemoryView::MemoryView(const sheet::SheetTable& table, bool keepPane)
    : table_(table), keepPane_(keepPane) {}

std::string MemoryView::text(Control c) const {
  return texts_[index(c)];
}
void MemoryView::setText(Control c, std::string_view text) {
  texts_[index(c)].assign(text);
}
void MemoryView::setEnabled(Control c, bool enabled) {
  disabled_[index(c)] = !enabled;
}
bool MemoryView::isEnabled(Control c) const {
  return !disabled_[index(c)];
}
bool MemoryView::isSelected(Control option) const {
  return selected_[index(option)];
}
void MemoryView::select(Control option) {
  // Selecting one option of a group deselects the other.
  for (const auto& g : table_.groups) {
    if (g.options[0].control == option || g.options[1].control == option) {
      selected_[index(g.options[0].control)] = false;
      selected_[index(g.options[1].control)] = false;
    }
  }
  selected_[index(option)] = true;
}

CaseResult run_case(const sheet::Module& module, const std::vector<Entry>& entries) {
  MemoryView view(module.table(), false);
  CaseRunner runner(module, view, {});
  runner.controller().setReportWanted(false);
  runner.type(entries);
  const sheet::CalculateOutcome outcome = runner.calculate();
  CaseResult result;
  result.message = runner.firstMessage();
  if (outcome.done() && !result.message) {
    result.done = true;
    result.record = *runner.controller().lastRecord();
    result.run = runner.controller().lastRun();
  }
  return result;
}

bool is_option_of(const sheet::SheetTable& table, Control c) {
  return sheet::group_of(table, c) != nullptr;
}

Control control_by_name(const sheet::SheetTable& table, std::string_view name) {
  return sheet::find_control(table, name, sheet::NameKinds::All);
}

const sheet::OptionGroupRow* group_by_name(const sheet::SheetTable& table, std::string_view name) {
  for (const auto& g : table.groups) {
    if (name == g.caption || sheet::iequal(name, g.name)) return &g;
  }
  return nullptr;
}

}  // namespace pellucor::analysis::batch
