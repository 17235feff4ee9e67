// Drives the real widgets of a sheet window as a user does: mouse presses on controls, typing,
// Tab, choosing a steel kind with the keyboard. Shared by the shell tests and the screenshot
// program.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <QWidget>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "sheet/control.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/text.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"

namespace pellucor::shell::testing {

// Answers every dialog at once from a script and remembers what it was asked: a message is
// seen and closed, a question closed without an answer unless one is prepared, a file dialog
// returns the next prepared name (Cancel when there is none), the print dialog is cancelled.
class ScriptedDialogs final : public Dialogs {
 public:
  struct Message {
    QString title;
    QString text;
  };
  struct Request {
    QString title;
    QString filter;
    QString defaultSuffix;
    SaveMode mode = SaveMode::Append;
    QString suggested;  // the name the dialog offers
  };
  struct Question {
    QString title;
    QString text;
    QStringList answers;
    int defaultAnswer = 0;
  };
  void showWarning(QWidget*, const QString& title, const QString& text) override {
    shown.push_back({title, text});
  }
  std::optional<int> ask(QWidget*, const QString& title, const QString& text,
                         const QStringList& answers, int defaultAnswer) override {
    asked.push_back({title, text, answers, defaultAnswer});
    return std::exchange(nextAnswer, std::nullopt);
  }
  std::optional<QString> chooseSaveFile(QWidget*, const QString& title, const QString& filter,
                                        const QString& defaultSuffix, SaveMode mode,
                                        const QString& suggested = {}) override {
    requests.push_back({title, filter, defaultSuffix, mode, suggested});
    return std::exchange(next, std::nullopt);
  }
  std::optional<QString> chooseOpenFile(QWidget*, const QString&, const QString&) override {
    return std::exchange(nextOpen, std::nullopt);
  }
  std::unique_ptr<QPrinter> choosePrinter(QWidget*, const QString&) override {
    ++printDialogs;
    return nullptr;
  }
  bool openExternally(const QString& path) override {
    opened << path;
    return true;
  }
  // A line of text: the prepared text, else the text it opened with; none when asked to cancel.
  std::optional<QString> askText(QWidget*, const QString& title, const QString& label,
                                 const QString& initial) override {
    textsAsked.push_back({title, label, {initial}, 0});
    if (std::exchange(cancelText, false)) return std::nullopt;
    return nextText ? *std::exchange(nextText, std::nullopt) : initial;
  }
  // The details dialog of a report: the prepared details, else those it opened with; none
  // when asked to cancel.
  std::optional<ReportDetails> askReportDetails(QWidget*, const ReportDetails& initial) override {
    detailsAsked.push_back(initial);
    if (std::exchange(cancelDetails, false)) return std::nullopt;
    return nextDetails ? *std::exchange(nextDetails, std::nullopt) : initial;
  }

  std::vector<Message> shown;
  std::vector<Question> asked;
  std::optional<int> nextAnswer;
  std::optional<QString> next;  // the next name chosen for writing
  std::vector<Request> requests;
  std::optional<QString> nextOpen;  // the next name chosen for reading
  int printDialogs = 0;
  QStringList opened;                       // files opened in the desktop's programs
  std::vector<ReportDetails> detailsAsked;  // what the details dialog opened with
  std::vector<Question> textsAsked;         // the text asked for: title, label, initial text
  std::optional<QString> nextText;
  bool cancelText = false;
  std::optional<ReportDetails> nextDetails;
  bool cancelDetails = false;
};

// The question after a report is written.
inline QString print_offer(const QString& path) {
  return report_written_question(path);
}
// The texts of the questions asked.
inline QStringList questions(const ScriptedDialogs& d) {
  QStringList out;
  for (const auto& q : d.asked) out << q.text;
  return out;
}

inline QWidget* control(const QtSheetView* view, sheet::Control c) {
  return view->widget(c);
}

inline QLineEdit* box(const QtSheetView* view, int n) {
  return qobject_cast<QLineEdit*>(view->widget(sheet::text_box(n)));
}

// A left click in the middle of a control, delivered like a real one.
inline void click(QtSheetView* view, sheet::Control c) {
  QWidget* w = view->widget(c);
  QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
}

// A key pressed in whatever holds the focus.
inline void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWidget* target = QApplication::focusWidget();
  if (target) QTest::keyClick(target, key, modifiers);
}

// Clicks into box n, selects its text and types `text` key by key.
inline void typeInto(QtSheetView* view, int n, const QString& text) {
  click(view, sheet::text_box(n));
  QLineEdit* b = box(view, n);
  if (QApplication::focusWidget() != b) return;  // the click was refused
  QTest::keyClick(b, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(b, text);
}

// Moves to the steel-kind list with Tab (a click would open its popup) and picks item `kind`
// (1..3) with the keys. Returns false when a leave check on the way kept the focus.
inline bool chooseSteelKind(QtSheetView* view, int kind) {
  auto* combo = qobject_cast<QComboBox*>(view->widget(sheet::Control::Combo1));
  for (int guard = 0; QApplication::focusWidget() != combo && guard < 32; ++guard) {
    QWidget* before = QApplication::focusWidget();
    press(Qt::Key_Tab);
    if (QApplication::focusWidget() == before) return false;
  }
  if (QApplication::focusWidget() != combo) return false;
  QTest::keyClick(combo, Qt::Key_Home);
  for (int i = 1; i < kind; ++i) QTest::keyClick(combo, Qt::Key_Down);
  return combo->currentIndex() == kind - 1;
}

// Fills boxes in the order given, each by a click and typing.
inline void fill(QtSheetView* view, const std::vector<std::pair<int, QString>>& values) {
  for (const auto& [n, text] : values) typeInto(view, n, text);
}

}  // namespace pellucor::shell::testing
