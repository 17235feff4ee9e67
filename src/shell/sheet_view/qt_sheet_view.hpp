// The Qt window of a calculation sheet: widgets built from the module's layout table, driven by a
// SheetController.
//
// Focus and validation: the leave check of the control that holds the focus runs BEFORE another
// control of the sheet takes the focus, and a failed check keeps the focus where it is. Tab and
// Shift+Tab go through focusNextPrevChild(); a mouse press aimed at another control goes through
// the event filter, which swallows the press when the check fails. The controls therefore take the
// focus by Tab only (Qt::TabFocus); clicks are given the focus by the filter after the check has
// passed.
//
// A box that gets the focus, by whichever path, has its whole text selected, so that typing
// replaces the default "0.000" or the earlier value.
//
// Ctrl+Enter presses 计算 and Ctrl+S 保存数据 from anywhere in the sheet, as a click would (the
// leave check of the control that holds the focus runs first). After a plausibility stop the
// pane says why, once the message box has been answered. Before Save writes results that no
// longer match the boxes, the window asks.
//
// Below the sheet's design area, outside the specified pane, a status line says what the pane
// cannot: which texts Calculate read by the numeric prefix rule as another number than they
// show ("保护层厚度 '4O' 按 4 读入"), and any note the analyses add about the result.
#pragma once

#include <QWidget>
#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "sheet/controller.hpp"
#include "sheet/view.hpp"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace pellucor::shell {

class Dialogs;

class QtSheetView final : public QWidget, public sheet::SheetView {
  Q_OBJECT

 public:
  QtSheetView(sheet::SheetController& controller, Dialogs& dialogs, QWidget* parent = nullptr);
  ~QtSheetView() override;

  sheet::SheetController& controller() const { return controller_; }
  const sheet::SheetTable& table() const { return controller_.table(); }

  // The widget of a control; nullptr when the sheet has no such control.
  QWidget* widget(sheet::Control c) const;
  // The control a widget (or the pane's viewport) belongs to; None for anything else.
  sheet::Control controlOf(const QObject* object) const;
  // The control that holds the focus within this sheet (also while the sheet is inactive).
  sheet::Control focusedControl() const;
  // False once the window has been closed: events no longer reach the controller.
  bool isAttached() const { return attached_; }
  // Whether the boxes, the options or the steel list hold anything of the user's: anything but
  // what a freshly opened sheet shows. Whoever types a member in asks before replacing it.
  bool holdsInputs() const;

  // SheetView
  std::string text(sheet::Control c) const override;
  void setText(sheet::Control c, std::string_view text) override;
  void setEnabled(sheet::Control c, bool enabled) override;
  bool isEnabled(sheet::Control c) const override;
  void setFocus(sheet::Control c) override;
  bool isSelected(sheet::Control option) const override;
  void select(sheet::Control option) override;
  void clearPane() override;
  void printLine(std::string_view line) override;
  void showMessage(std::string_view text, std::string_view title) override;
  std::optional<std::string> askSaveFileName(std::string_view title, std::string_view filter,
                                             std::string_view defaultExtension) override;
  // Closes the hosting sub-window (Exit). Hides QWidget::close(), which still closes the widget.
  void close() override;

  // The lines the output pane shows.
  QStringList paneLines() const;

  // The status line below the sheet, whole (the line shows as much as fits, the rest in its
  // tip): how the last Calculate read texts that are not wholly a number, then the note.
  QString statusLine() const;
  QLabel* statusLabel() const { return status_; }
  // A note about the sheet's last result from elsewhere (empty: none), shown on the status line.
  void setNote(const QString& note);

  // Presses 计算, 保存数据 or 退 出 as a click does: the leave check of the focused control runs
  // first and may refuse. False when the button was not pressed.
  bool pressButton(sheet::Control button);

  // The member whose inputs the sheet holds, shown after the sheet's caption; empty for none.
  // Cleared when the user changes an input.
  void setMemberName(const QString& name);
  const QString& memberName() const { return member_; }

 signals:
  // Calculate has ended; `completed` when it ran to its end.
  void calculationFinished(bool completed);

 protected:
  bool focusNextPrevChild(bool next) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void build();
  void addControl(sheet::Control c, QWidget* w);
  bool isTabStop(sheet::Control c) const;
  sheet::Control nextInTabOrder(sheet::Control from, bool forward) const;
  // Runs the leave check of `from`; false when the focus must stay in it.
  bool mayLeave(sheet::Control from);
  bool handlePress(sheet::Control target);
  // Selects the whole text when `w` is a box.
  static void selectWhole(QWidget* w);
  // How the boxes' texts that are not wholly a number are read by the prefix rule.
  QStringList prefixReadings() const;
  void showStatus();
  void buttonClicked(sheet::Control button);
  void calculateClicked();
  void saveClicked();
  void inputEdited();

  sheet::SheetController& controller_;
  Dialogs& dialogs_;

  std::array<QWidget*, static_cast<std::size_t>(sheet::Control::Picture1) + 1> widgets_{};
  std::map<const QObject*, sheet::Control> controls_;
  QComboBox* combo_ = nullptr;
  QPlainTextEdit* pane_ = nullptr;
  bool paneEmpty_ = true;
  QLabel* status_ = nullptr;
  QStringList readings_;  // of the last Calculate
  QString note_;

  bool attached_ = true;
  // A controller call that may open a modal box is running: no second one starts.
  bool busy_ = false;
  // The controller is moving the focus itself: the resulting focus-in is not reported back.
  int settingFocus_ = 0;
  // The box that a mouse press has just given the focus: selected when the button is released.
  QLineEdit* selectOnRelease_ = nullptr;
  QString member_;
};

}  // namespace pellucor::shell
