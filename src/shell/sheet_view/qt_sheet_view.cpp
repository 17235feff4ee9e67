#include "shell/sheet_view/qt_sheet_view.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <utility>

#include "sheet/numeric.hpp"
#include "sheet/user_input.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/sheet_layout.hpp"
#include "shell/kit/text.hpp"
#include "shell/sheet_view/stale_inputs.hpp"
#include "shell/sheet_view/stop_reasons.hpp"

namespace pellucor::shell {

using sheet::Control;

namespace {

// Height of the steel-kind list when the layout gives none.
constexpr int kDefaultComboHeightTwips = 360;

std::size_t slot(Control c) {
  return static_cast<std::size_t>(c);
}

// Restores a flag on every way out of a scope.
class FlagGuard {
 public:
  explicit FlagGuard(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
  ~FlagGuard() { flag_ = old_; }
  FlagGuard(const FlagGuard&) = delete;
  FlagGuard& operator=(const FlagGuard&) = delete;

 private:
  bool& flag_;
  bool old_;
};

}  // namespace

QtSheetView::QtSheetView(sheet::SheetController& controller, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), controller_(controller), dialogs_(dialogs) {
  build();
}

QtSheetView::~QtSheetView() = default;

void QtSheetView::build() {
  const auto& s = table();
  setObjectName(qs(s.formName));
  setWindowTitle(qs(s.caption));
  setFont(sheet_font(SheetFont::Sheet));
  setFocusPolicy(Qt::NoFocus);

  const double dx = logicalDpiX();
  const double dy = logicalDpiY();
  setFixedSize(to_pixels(s.width, s.height, dx, dy));

  // A label stands left of its box; when the typeface needs more room than the design width, the
  // label grows to the left so that it still ends where the design ends it.
  auto addLabel = [&](std::string_view caption, const sheet::Rect& r) {
    auto* label = new QLabel(qs(caption), this);
    QRect g = to_pixels(r, dx, dy);
    const QFontMetrics fm(label->font());
    const int need = fm.horizontalAdvance(label->text()) + 2;
    if (need > g.width()) g.setLeft(std::max(0, g.right() + 1 - need));
    if (fm.height() > g.height()) g.setHeight(fm.height());
    label->setGeometry(g);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
  };

  for (const auto& f : s.fields) {
    addLabel(f.label, f.labelRect);
    auto* box = new QLineEdit(this);
    box->setGeometry(to_pixels(f.box, dx, dy));
    const Control c = f.control;
    connect(box, &QLineEdit::textEdited, this, [this, c](const QString&) {
      // Every user edit (keystroke, paste, cut); texts the program sets do not come here, the
      // controller checks those itself.
      inputEdited();
      if (attached_) controller_.textChanged(c);
    });
    addControl(c, box);
  }

  for (const auto& g : s.groups) {
    auto* frame = new QGroupBox(qs(g.caption), this);
    frame->setObjectName(qs(g.name));
    frame->setFont(sheet_font(SheetFont::Frame));
    frame->setGeometry(to_pixels(g.frame, dx, dy));
    frame->setFocusPolicy(Qt::NoFocus);
    for (const auto& o : g.options) {
      auto* option = new QRadioButton(qs(o.caption), frame);
      option->setFont(sheet_font(SheetFont::Frame));
      QRect r = to_pixels(o.rect, dx, dy);
      r.setHeight(std::max(r.height(), option->sizeHint().height()));
      option->setGeometry(r);
      connect(option, &QRadioButton::clicked, this, &QtSheetView::inputEdited);
      addControl(o.control, option);
    }
  }

  addLabel(s.combo.label, s.combo.labelRect);
  combo_ = new QComboBox(this);
  for (const auto item : sheet::kSteelItems) combo_->addItem(qs(item));
  combo_->setEditable(false);
  combo_->setCurrentIndex(-1);
  {
    sheet::Rect r = s.combo.box;
    if (r.height <= 0) r.height = kDefaultComboHeightTwips;
    combo_->setGeometry(to_pixels(r, dx, dy));
  }
  addControl(Control::Combo1, combo_);
  connect(combo_, &QComboBox::activated, this, &QtSheetView::inputEdited);

  const std::array<std::pair<Control, std::pair<sheet::Rect, std::string_view>>, 3> buttons = {{
      {Control::CmdCal, {s.cmdCal, sheet::kCaptionCalculate}},
      {Control::CmdSave, {s.cmdSave, sheet::kCaptionSave}},
      {Control::CmdExit, {s.cmdExit, sheet::kCaptionExit}},
  }};
  for (const auto& [c, rc] : buttons) {
    auto* button = new QPushButton(qs(rc.second), this);
    button->setFont(sheet_font(SheetFont::Button));
    button->setAutoDefault(false);
    button->setGeometry(to_pixels(rc.first, dx, dy));
    const Control which = c;
    connect(button, &QPushButton::clicked, this, [this, which] { buttonClicked(which); });
    addControl(c, button);
  }
  // The keys of 计算 and 保存数据, from any control of the sheet; the captions stay as they are.
  widget(Control::CmdCal)->setToolTip(QStringLiteral("计算（Ctrl+Enter）"));
  widget(Control::CmdSave)->setToolTip(QStringLiteral("保存数据（Ctrl+S）"));
  const std::array<std::pair<QKeySequence, Control>, 3> keys = {{
      {QKeySequence(Qt::CTRL | Qt::Key_Return), Control::CmdCal},
      {QKeySequence(Qt::CTRL | Qt::Key_Enter), Control::CmdCal},
      {QKeySequence(Qt::CTRL | Qt::Key_S), Control::CmdSave},
  }};
  for (const auto& [sequence, button] : keys) {
    auto* shortcut = new QShortcut(sequence, this);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    const Control which = button;
    connect(shortcut, &QShortcut::activated, this, [this, which] { pressButton(which); });
  }

  pane_ = new QPlainTextEdit(this);
  pane_->setReadOnly(true);
  pane_->setUndoRedoEnabled(false);
  pane_->setLineWrapMode(QPlainTextEdit::NoWrap);
  pane_->setWordWrapMode(QTextOption::NoWrap);
  pane_->setTabChangesFocus(true);
  pane_->setGeometry(to_pixels(s.pane, dx, dy));
  addControl(Control::Picture1, pane_);
  pane_->viewport()->installEventFilter(this);
  controls_[pane_->viewport()] = Control::Picture1;

  // The status line below the design area: the sheet keeps its design and grows by one line.
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("sheetStatus"));
  status_->setFont(sheet_font(SheetFont::Frame));
  status_->setFocusPolicy(Qt::NoFocus);
  const QRect pane = pane_->geometry();
  const int line = QFontMetrics(status_->font()).height() + 4;
  const QSize design = size();
  status_->setGeometry(pane.left(), design.height(), pane.width(), line);
  setFixedSize(design.width(), design.height() + line);

  // Qt's own focus chain in the sheet's tab order as well (used when the sub-window is activated).
  QWidget* previous = nullptr;
  for (const Control c : s.tabOrder) {
    QWidget* w = widget(c);
    if (!w) continue;
    if (previous) QWidget::setTabOrder(previous, w);
    previous = w;
  }
}

void QtSheetView::addControl(Control c, QWidget* w) {
  w->setObjectName(qs(sheet::control_name(c)));
  // Tab only: a click takes the focus through the event filter, after the leave check.
  w->setFocusPolicy(Qt::TabFocus);
  w->installEventFilter(this);
  widgets_[slot(c)] = w;
  controls_[w] = c;
}

QWidget* QtSheetView::widget(Control c) const {
  const std::size_t i = slot(c);
  return i < widgets_.size() ? widgets_[i] : nullptr;
}

Control QtSheetView::controlOf(const QObject* object) const {
  const auto it = controls_.find(object);
  return it == controls_.end() ? Control::None : it->second;
}

Control QtSheetView::focusedControl() const {
  QWidget* f = QApplication::focusWidget();
  if (!f || !isAncestorOf(f)) f = focusWidget();
  return f ? controlOf(f) : Control::None;
}

// ---- SheetView ------------------------------------------------------------------------------

std::string QtSheetView::text(Control c) const {
  if (c == Control::Combo1) {
    return combo_->currentIndex() < 0 ? std::string() : combo_->currentText().toStdString();
  }
  if (auto* box = qobject_cast<QLineEdit*>(widget(c))) return box->text().toStdString();
  return {};
}

void QtSheetView::setText(Control c, std::string_view text) {
  if (c == Control::Combo1) {
    // A drop-down list shows one of its items or nothing.
    combo_->setCurrentIndex(text.empty() ? -1 : combo_->findText(qs(text)));
    return;
  }
  // QLineEdit::setText does not emit textEdited, so this does not come back to the controller.
  if (auto* box = qobject_cast<QLineEdit*>(widget(c))) box->setText(qs(text));
}

void QtSheetView::setEnabled(Control c, bool enabled) {
  if (QWidget* w = widget(c)) w->setEnabled(enabled);
}

bool QtSheetView::isEnabled(Control c) const {
  const QWidget* w = widget(c);
  return w && w->isEnabled();
}

void QtSheetView::setFocus(Control c) {
  QWidget* w = widget(c);
  if (!w) return;
  ++settingFocus_;
  w->setFocus(Qt::OtherFocusReason);
  --settingFocus_;
  // Also when the box already holds the focus (a check that sends it back to its own box).
  selectWhole(w);
}

bool QtSheetView::holdsInputs() const {
  const sheet::SheetTable& s = table();
  for (const auto& f : s.fields) {
    if (text(f.control) != sheet::kDefaultBoxText) return true;
  }
  for (const auto& g : s.groups) {
    if (!isSelected(g.options[0].control)) return true;
  }
  return !text(Control::Combo1).empty();
}

bool QtSheetView::isSelected(Control option) const {
  const auto* b = qobject_cast<const QRadioButton*>(widget(option));
  return b && b->isChecked();
}

void QtSheetView::select(Control option) {
  if (auto* b = qobject_cast<QRadioButton*>(widget(option))) b->setChecked(true);
}

void QtSheetView::clearPane() {
  pane_->clear();
  paneEmpty_ = true;
  pane_->verticalScrollBar()->setValue(0);
  pane_->horizontalScrollBar()->setValue(0);
}

void QtSheetView::printLine(std::string_view line) {
  // Written through a cursor of its own, so the view stays at the top like a console that prints
  // from the top left; the edit's own cursor (and scroll position) is left alone.
  QTextCursor cursor(pane_->document());
  cursor.movePosition(QTextCursor::End);
  if (!paneEmpty_) cursor.insertBlock();
  cursor.insertText(qs(line));
  paneEmpty_ = false;
  // A calculation runs inside its button's click for seconds; the wait line must show meanwhile.
  if (pane_->isVisible()) pane_->viewport()->repaint();
}

QStringList QtSheetView::prefixReadings() const {
  QStringList out;
  for (const auto& f : table().fields) {
    const std::string t = text(f.control);
    if (sheet::trim_blanks_and_tabs(sheet::half_width(t)).empty() || typed_number(qs(t))) continue;
    out << QStringLiteral("%1 '%2' 按 %3 读入")
               .arg(qs(f.label), qs(t), digits(sheet::numeric_prefix(t)));
  }
  return out;
}

void QtSheetView::showStatus() {
  QStringList parts;
  if (!readings_.isEmpty()) {
    parts << QStringLiteral("输入读法：") + readings_.join(QStringLiteral("；"));
  }
  if (!note_.isEmpty()) parts << note_;
  const QString whole = parts.join(QStringLiteral("　"));
  // A note about the result is to be read first: in the colour of the other windows' warnings.
  status_->setStyleSheet(note_.isEmpty() ? QString() : QStringLiteral("color: #8a1c00"));
  status_->setToolTip(whole);
  status_->setText(status_->fontMetrics().elidedText(whole, Qt::ElideRight, status_->width()));
}

QString QtSheetView::statusLine() const {
  return status_->toolTip();
}

void QtSheetView::setNote(const QString& note) {
  note_ = note;
  showStatus();
}

QStringList QtSheetView::paneLines() const {
  QStringList lines;
  if (paneEmpty_) return lines;
  for (QTextBlock b = pane_->document()->begin(); b.isValid(); b = b.next()) lines << b.text();
  return lines;
}

void QtSheetView::showMessage(std::string_view text, std::string_view title) {
  dialogs_.showWarning(this, qs(title), qs(text));
}

std::optional<std::string> QtSheetView::askSaveFileName(std::string_view title,
                                                        std::string_view filter,
                                                        std::string_view defaultExtension) {
  const auto chosen =
      dialogs_.chooseSaveFile(this, qs(title), qs(filter), qs(defaultExtension), SaveMode::Append);
  if (!chosen) return std::nullopt;
  return chosen->toStdString();
}

void QtSheetView::close() {
  // The controller closes the sheet (Exit) and marks itself closed; nothing goes back to it.
  attached_ = false;
  for (QWidget* p = parentWidget(); p; p = p->parentWidget()) {
    if (auto* host = qobject_cast<QMdiSubWindow*>(p)) {
      host->close();
      return;
    }
  }
  QWidget::close();
}

void QtSheetView::closeEvent(QCloseEvent* event) {
  // Closed by the user (the sub-window's close button) or with the main window.
  event->accept();
  if (attached_) {
    attached_ = false;
    controller_.closed();
  }
}

// ---- focus and validation ---------------------------------------------------------------------

bool QtSheetView::isTabStop(Control c) const {
  const QWidget* w = widget(c);
  if (!w || !w->isEnabled() || !w->isVisibleTo(this)) return false;
  // An option group is one stop: its selected button.
  if (const auto* option = qobject_cast<const QRadioButton*>(w)) {
    if (option->isChecked()) return true;
    const auto siblings = option->parentWidget()->findChildren<QRadioButton*>();
    return std::none_of(siblings.begin(), siblings.end(),
                        [](const QRadioButton* b) { return b->isChecked(); });
  }
  return true;
}

Control QtSheetView::nextInTabOrder(Control from, bool forward) const {
  const auto& order = table().tabOrder;
  const auto n = static_cast<std::ptrdiff_t>(order.size());
  if (n == 0) return Control::None;
  auto at = std::find(order.begin(), order.end(), from);
  // A control outside the tab order (the pane on some sheets) continues from the start.
  std::ptrdiff_t i = at == order.end() ? (forward ? -1 : n) : at - order.begin();
  for (std::ptrdiff_t step = 0; step < n; ++step) {
    i = forward ? (i + 1) % n : (i - 1 + n) % n;
    const Control c = order[static_cast<std::size_t>(i)];
    if (c == from) return Control::None;
    if (isTabStop(c)) return c;
  }
  return Control::None;
}

bool QtSheetView::mayLeave(Control from) {
  if (from == Control::None) return true;
  const FlagGuard guard(busy_);
  return controller_.leaving(from);
}

bool QtSheetView::focusNextPrevChild(bool next) {
  const Control from = focusedControl();
  if (!attached_ || from == Control::None) return QWidget::focusNextPrevChild(next);
  // While a check's message box is up nothing moves.
  if (busy_) return true;
  const Control to = nextInTabOrder(from, next);
  if (to == Control::None) return true;
  if (!mayLeave(from) || !attached_) return true;
  // The check may have changed what can take the focus (it disables and enables boxes).
  const Control target = isTabStop(to) ? to : nextInTabOrder(from, next);
  if (target != Control::None) {
    widget(target)->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  }
  return true;
}

void QtSheetView::selectWhole(QWidget* w) {
  if (auto* box = qobject_cast<QLineEdit*>(w)) box->selectAll();
}

bool QtSheetView::handlePress(Control target) {
  QWidget* w = widget(target);
  // A disabled control takes no focus and runs no check.
  if (!w->isEnabled()) return false;
  if (busy_) return true;
  selectOnRelease_ = nullptr;
  const Control from = focusedControl();
  if (from != Control::None && from != target) {
    if (!mayLeave(from)) return true;  // the press is swallowed; the focus stays
    if (!attached_ || !w->isEnabled()) return true;
  }
  if (QApplication::focusWidget() != w) {
    w->setFocus(Qt::MouseFocusReason);
    // A click that brings the focus into a box selects its whole text when the button is
    // released, unless the user dragged over a part of it. A click into the box being edited
    // only places the cursor.
    selectOnRelease_ = qobject_cast<QLineEdit*>(w);
  }
  return false;
}

bool QtSheetView::eventFilter(QObject* watched, QEvent* event) {
  const Control c = controlOf(watched);
  if (c == Control::None || !attached_) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::FocusIn:
      // Typing into a box that has just got the focus replaces its text: by Tab, by the
      // controller (opening, checks), by activating the window. A click selects on release.
      if (static_cast<QFocusEvent*>(event)->reason() != Qt::MouseFocusReason) {
        selectWhole(static_cast<QWidget*>(watched));
      }
      // The controller prints the prompt unless it moved the focus itself.
      if (settingFocus_ == 0 && watched != pane_->viewport()) controller_.focusGained(c);
      break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (event->type() == QEvent::MouseButtonDblClick) selectOnRelease_ = nullptr;
      return handlePress(c);
    case QEvent::MouseButtonRelease:
      if (selectOnRelease_ != nullptr && watched == selectOnRelease_) {
        QLineEdit* clicked = std::exchange(selectOnRelease_, nullptr);
        if (!clicked->hasSelectedText()) clicked->selectAll();
      }
      break;
    case QEvent::Wheel:
      // The wheel must not change the steel kind of a list that does not hold the focus.
      if (c == Control::Combo1 && !combo_->hasFocus()) return true;
      break;
    case QEvent::KeyPress: {
      // Enter on a push button presses it, like Space.
      auto* key = static_cast<QKeyEvent*>(event);
      auto* button = qobject_cast<QPushButton*>(watched);
      if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
          key->modifiers() == Qt::NoModifier) {
        button->click();
        return true;
      }
      break;
    }
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

bool QtSheetView::pressButton(Control button) {
  auto* w = qobject_cast<QPushButton*>(widget(button));
  if (w == nullptr || !attached_ || busy_ || !w->isEnabled() || !w->isVisibleTo(this)) {
    return false;
  }
  // As a click: the focused control is left first, and its check may keep the focus.
  if (handlePress(button)) return false;
  selectOnRelease_ = nullptr;
  if (!attached_ || !w->isEnabled()) return false;
  w->click();
  return true;
}

void QtSheetView::setMemberName(const QString& name) {
  member_ = name;
  const QString caption = qs(table().caption);
  setWindowTitle(name.isEmpty() ? caption : caption + QStringLiteral(" — 构件 ") + name);
  for (QWidget* p = parentWidget(); p; p = p->parentWidget()) {
    if (auto* host = qobject_cast<QMdiSubWindow*>(p)) {
      host->setWindowTitle(windowTitle());
      break;
    }
  }
}

void QtSheetView::inputEdited() {
  // The boxes no longer hold the member's inputs alone.
  if (!member_.isEmpty()) setMemberName(QString());
}

void QtSheetView::calculateClicked() {
  // Read before the iteration writes its running value back into its box.
  readings_ = prefixReadings();
  note_.clear();
  showStatus();
  const sheet::CalculateOutcome outcome = controller_.calculate();
  using Status = sheet::CalculateOutcome::Status;
  // The plausibility message has been answered; the pane then says what made the model give up
  // instead of keeping the wait line (or the report of an unfinished pass).
  const bool consistency = outcome.status == Status::CheckFailed &&
                           outcome.message == sheet::kPlausibility &&
                           outcome.control == Control::None;
  if (attached_ && (outcome.status == Status::Stopped || consistency)) {
    const Control assumed = table().assumedTimeBox;
    const QString assumedText = assumed == Control::None ? QString() : qs(text(assumed)).trimmed();
    clearPane();
    for (const QString& line :
         stop_explanation(table(), controller_.inputs(),
                          consistency ? std::nullopt : outcome.reason, assumedText)) {
      printLine(line.toStdString());
    }
  }
  emit calculationFinished(outcome.done());
}

void QtSheetView::saveClicked() {
  // Results that no longer match the boxes are written only when the user says so.
  const auto changes = changed_inputs(controller_, *this);
  if (!changes.empty() && controller_.lastRecord()) {
    const QString action = QStringLiteral("保存");
    const auto answer = dialogs_.ask(this, qs(sheet::kSaveDialogTitle),
                                     stale_question(changes, action), stale_answers(action), 1);
    if (answer != 0 || !attached_) return;
  }
  controller_.save();
}

void QtSheetView::buttonClicked(Control button) {
  if (!attached_ || busy_) return;
  const FlagGuard guard(busy_);
  switch (button) {
    case Control::CmdCal:
      calculateClicked();
      break;
    case Control::CmdSave:
      saveClicked();
      break;
    case Control::CmdExit:
      controller_.exit();
      break;
    default:
      break;
  }
}

}  // namespace pellucor::shell
