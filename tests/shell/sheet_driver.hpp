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
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "sheet/control.hpp"
#include "shell/dialogs.hpp"
#include "shell/qt_sheet_view.hpp"

namespace pellucor::shell::testing {

inline QString qs(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A message box that is answered at once; remembers what it was asked to show.
class RecordingPresenter final : public MessagePresenter {
 public:
  struct Message {
    QString title;
    QString text;
  };
  void showWarning(QWidget*, const QString& title, const QString& text) override {
    shown.push_back({title, text});
  }
  std::vector<Message> shown;
};

// A save dialog that returns the next prepared answer (Cancel when there is none).
class ScriptedChooser final : public FileChooser {
 public:
  struct Request {
    QString title;
    QString filter;
    QString defaultSuffix;
  };
  std::optional<QString> chooseSaveFile(QWidget*, const QString& title, const QString& filter,
                                        const QString& defaultSuffix) override {
    requests.push_back({title, filter, defaultSuffix});
    return std::exchange(next, std::nullopt);
  }
  std::optional<QString> next;
  std::vector<Request> requests;
};

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
