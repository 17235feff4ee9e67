#include "sheet/controller.hpp"

#include <utility>

#include "sheet/number_form.hpp"
#include "sheet/numeric.hpp"
#include "sheet/result_file.hpp"

namespace pellucor::sheet {

namespace {

// The change checks of the sheets nest one level deep (a check that empties its own box or
// its partner runs once more for the empty text). The bound only guards against a field
// table whose checks would feed each other for ever.
constexpr int kMaxChangeDepth = 8;

bool in_range(const FieldRow& f, double v) {
  return f.lo <= v && v <= f.hi;
}

const OptionRow* find_option(const SheetTable& table, Control c) {
  for (const auto& g : table.groups) {
    for (const auto& o : g.options) {
      if (o.control == c) return &o;
    }
  }
  return nullptr;
}

std::string trim_blanks(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return std::string(s.substr(first, last - first + 1));
}

}  // namespace

// Receives the passes of a calculation: writes the running assumed cracking time into its
// box and reprints the report of every pass.
class SheetController::PassSink final : public CalculationSink {
 public:
  explicit PassSink(SheetController& owner) : owner_(owner) {}

  void passStarted(double assumedCrackingTime) override {
    const Control box = owner_.table().assumedTimeBox;
    if (owner_.view_ != nullptr && box != Control::None) {
      owner_.setText(box, box_text_single(assumedCrackingTime));
    }
  }

  void passFinished(const std::vector<std::string>& paneLines) override {
    if (owner_.view_ == nullptr) return;
    owner_.printReport(paneLines);
    printed_ = paneLines;
  }

  bool wantsReport() const override { return owner_.reportWanted_; }

  // The lines of the last report printed, if any.
  const std::optional<std::vector<std::string>>& printed() const { return printed_; }

 private:
  SheetController& owner_;
  std::optional<std::vector<std::string>> printed_;
};

SheetController::SheetController(const Module& module, ResultFileWriter& writer)
    : module_(module), writer_(writer) {}

void SheetController::open(SheetView& view) {
  view_ = &view;
  const SheetTable& s = table();
  // The defaults go straight into the view: no change check runs for them.
  for (const auto& f : s.fields) {
    view.setText(f.control, kDefaultBoxText);
    view.setEnabled(f.control, true);
  }
  for (const auto& g : s.groups) {
    for (const auto& o : g.options) view.setEnabled(o.control, true);
    view.select(g.options[0].control);
  }
  view.setText(Control::Combo1, "");
  view.setEnabled(Control::Combo1, true);
  view.setEnabled(Control::CmdCal, true);
  view.setEnabled(Control::CmdSave, false);
  view.setEnabled(Control::CmdExit, true);
  view.clearPane();
  setFocus(Control::Text1);
  printPrompt(Control::Text1);
}

void SheetController::closed() {
  view_ = nullptr;
  focused_ = Control::None;
}

void SheetController::focusGained(Control c) {
  if (view_ == nullptr || c == focused_) return;
  focused_ = c;
  printPrompt(c);
}

bool SheetController::leaving(Control c) {
  if (view_ == nullptr) return true;
  if (c == Control::Combo1) {
    // The steel-kind check.
    const double v = value(c);
    if (v >= 1 && v <= 3) return true;
    if (!message(kSteelKindMessage, kTitleValidity)) return true;
    setText(c, kSteelItems[0]);
    setFocus(c);
    return false;
  }
  const FieldRow* f = table().field(c);
  if (f == nullptr) return true;
  const double v = value(c);
  switch (f->leave) {
    case LeaveCheck::None:
      return true;
    case LeaveCheck::ZeroBlankOnly:
      if (v == 0) setText(c, "");
      return true;
    case LeaveCheck::ZeroBlankThenRange:
      if (v == 0) {
        setText(c, "");
        return true;
      }
      break;
    case LeaveCheck::Range:
      break;
  }
  if (in_range(*f, v)) return true;
  if (!message(f->rangeMessage, kTitleValidity)) return true;
  setText(c, "");
  setFocus(c);
  return false;
}

void SheetController::textChanged(Control c) {
  if (view_ == nullptr) return;
  runChangeCheck(c);
}

void SheetController::runChangeCheck(Control c) {
  const FieldRow* f = table().field(c);
  if (f == nullptr || f->change == ChangeCheck::None || view_ == nullptr) return;
  if (changeDepth_ >= kMaxChangeDepth) return;
  struct Depth {
    int& d;
    explicit Depth(int& depth) : d(depth) { ++d; }
    ~Depth() { --d; }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;
  } depth(changeDepth_);

  const double v = value(c);
  if (v == 0) {
    switch (f->change) {
      case ChangeCheck::Range:
        setText(c, "");
        break;
      case ChangeCheck::EitherOr:
        setText(c, "");
        if (view_ != nullptr && f->partner != Control::None) view_->setEnabled(f->partner, true);
        break;
      case ChangeCheck::LockDerivation:
        for (Control l : f->locked) view_->setEnabled(l, true);
        break;
      case ChangeCheck::None:
        break;
    }
    return;
  }

  if (!in_range(*f, v)) {
    if (!message(f->rangeMessage, kTitleValidity)) return;
    setText(c, "");  // runs this check again, nested, for the empty text
    if (view_ == nullptr) return;
    setFocus(c);
  }
  // The module's own actions for a value, in range or not.
  switch (f->change) {
    case ChangeCheck::EitherOr:
      if (f->partner != Control::None) {
        setText(f->partner, "");  // the partner's own check runs, nested
        if (view_ != nullptr) view_->setEnabled(f->partner, false);
      }
      break;
    case ChangeCheck::LockDerivation:
      for (Control l : f->locked) {
        setText(l, "");
        if (view_ != nullptr) view_->setEnabled(l, false);
      }
      break;
    case ChangeCheck::Range:
    case ChangeCheck::None:
      break;
  }
}

void SheetController::setText(Control c, std::string_view text) {
  if (view_ == nullptr || view_->text(c) == text) return;
  view_->setText(c, text);
  runChangeCheck(c);
}

void SheetController::setFocus(Control c) {
  if (view_ == nullptr) return;
  view_->setFocus(c);
  focused_ = c;
}

void SheetController::printPrompt(Control c) {
  if (view_ == nullptr) return;
  if (const FieldRow* f = table().field(c)) {
    view_->clearPane();
    for (std::string_view line : f->prompts) view_->printLine(line);
  } else if (const OptionRow* o = find_option(table(), c)) {
    view_->clearPane();
    view_->printLine(o->prompt);
  } else if (c == Control::Combo1) {
    view_->clearPane();
    view_->printLine(kComboPrompt);
  }
}

void SheetController::printReport(const std::vector<std::string>& lines) {
  if (view_ == nullptr) return;
  view_->clearPane();
  view_->printLine(kResultsHeader);
  view_->printLine(kEqualsLine);
  for (const auto& line : lines) view_->printLine(line);
}

double SheetController::value(Control c) const {
  return numeric_prefix(view_->text(c));
}

bool SheetController::message(std::string_view text, std::string_view title) {
  view_->showMessage(text, title);
  return view_ != nullptr;
}

void SheetController::readInputs() {
  SheetInputs in;
  const SheetTable& s = table();
  for (const auto& f : s.fields) {
    const int n = text_box_number(f.control);
    if (n > 0) in.value[static_cast<std::size_t>(n)] = value(f.control);
  }
  for (const auto& g : s.groups) {
    for (const auto& o : g.options) {
      const int n = option_number(o.control);
      if (n > 0) in.selected[static_cast<std::size_t>(n)] = view_->isSelected(o.control);
    }
  }
  in.steelText = view_->text(Control::Combo1);
  in.steelKind = steel_kind(in.steelText);
  in.steelName = steel_name(in.steelText);
  inputs_ = std::move(in);
}

CalculateOutcome SheetController::calculate() {
  CalculateOutcome result;
  if (view_ == nullptr) return result;
  // Everything is read into the record before the first check.
  readInputs();
  if (const auto failure = module_.check(inputs_)) {
    result.status = CalculateOutcome::Status::CheckFailed;
    result.control = failure->focus;
    result.message = failure->message;
    result.title = kTitleInput;
    if (!message(failure->message, kTitleInput)) {
      result.status = CalculateOutcome::Status::Closed;
      return result;
    }
    if (failure->focus != Control::None) setFocus(failure->focus);
    return result;  // pane, Save and the last results untouched
  }

  view_->clearPane();
  view_->printLine(kWaitLine);
  PassSink sink(*this);
  CalculationOutcome outcome = module_.calculate(inputs_, sink);
  if (view_ == nullptr) {
    result.status = CalculateOutcome::Status::Closed;
    return result;
  }
  if (outcome.stop) {
    result.status = CalculateOutcome::Status::Stopped;
    result.message = kPlausibility;
    result.title = kTitleInput;
    result.reason = outcome.stop;
    // The pane keeps what it shows, the focus stays, Save keeps its state.
    if (!message(kPlausibility, kTitleInput)) result.status = CalculateOutcome::Status::Closed;
    return result;
  }
  // A calculation without passes has printed nothing yet; after passes the pane shows the
  // last pass's report, which is the final one.
  if (reportWanted_ && (!sink.printed() || *sink.printed() != outcome.report.pane)) {
    printReport(outcome.report.pane);
  }
  lastRecord_ = std::move(outcome.record);
  lastRun_ = std::move(outcome.run);
  view_->setEnabled(Control::CmdSave, true);
  for (Control c : table().enabledAfterCalculation) view_->setEnabled(c, true);
  result.status = CalculateOutcome::Status::Done;
  return result;
}

SaveOutcome SheetController::save() {
  SaveOutcome result;
  if (view_ == nullptr) return result;
  if (!lastRecord_) {
    result.status = SaveOutcome::Status::NothingToSave;
    return result;
  }
  const auto answer =
      view_->askSaveFileName(kSaveDialogTitle, kSaveDialogFilter, kSaveDialogExtension);
  if (view_ == nullptr) {
    result.status = SaveOutcome::Status::Closed;
    return result;
  }
  std::string name;
  if (answer) {
    fileName_ = trim_blanks(*answer);
    name = fileName_;
  }
  result.status = SaveOutcome::Status::Cancelled;
  if (!name.empty()) {
    result.path = name;
    // The block comes from the record of the last completed calculation: its echo and
    // results belong together even when a later Calculate stopped at a check.
    result.failure = writer_.append(name, result_file_block(format_report(*lastRecord_)));
    if (result.failure) {
      result.status = SaveOutcome::Status::Failed;
      result.message = save_failure_message(name, *result.failure);
      result.title = kSaveDialogTitle;
      if (!message(result.message, kSaveDialogTitle)) {
        result.status = SaveOutcome::Status::Closed;
        return result;
      }
    } else {
      result.status = SaveOutcome::Status::Saved;
    }
  }
  printReport(result_lines(*lastRecord_));
  return result;
}

std::optional<Report> SheetController::lastReport() const {
  if (!lastRecord_) return std::nullopt;
  return format_report(*lastRecord_);
}

bool SheetController::exit() {
  if (view_ == nullptr) return false;
  view_->close();
  closed();
  return true;
}

}  // namespace pellucor::sheet
