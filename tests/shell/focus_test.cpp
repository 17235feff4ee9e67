// Focus and validation as a user meets them: leave checks by every way of leaving, change checks,
// the tab order, and typing into a box that has just got the focus.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <memory>

#include "sheet/sheet_table.hpp"
#include "shell/kit/sheet_layout.hpp"
#include "shell_fixture.hpp"

using pellucor::sheet::Control;
using pellucor::sheet::text_box;
using namespace pellucor::shell;
using namespace pellucor::shell::testing;
namespace sheet = pellucor::sheet;

Q_DECLARE_METATYPE(Control)

namespace {

QString controlName(Control c) {
  return qs(sheet::control_name(c));
}

QString focusedName(const QtSheetView* view) {
  return controlName(view->controlOf(QApplication::focusWidget()));
}

QStringList promptOf(const QtSheetView* view, Control c) {
  QStringList lines;
  for (const auto p : view->table().field(c)->prompts) lines << qs(p);
  return lines;
}

}  // namespace

class FocusTest : public SessionTest {
  Q_OBJECT

 private slots:
  // Leaving a box that holds its default: the message, the box emptied, the focus kept and the
  // prompt of the control that would have got the focus not printed - whichever way the user
  // tries to leave. Once the box holds a valid value, the same move goes through.
  void leaveCheckKeepsTheFocus_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<Control>("arrivesAt");
    QTest::newRow("Tab") << "tab" << Control::Text2;
    QTest::newRow("Shift+Tab") << "backtab" << Control::Picture1;
    QTest::newRow("click on another box") << "box" << Control::Text5;
    QTest::newRow("click from the window system") << "window" << Control::Text5;
    QTest::newRow("click on the list") << "combo" << Control::Combo1;
    QTest::newRow("click on the pane") << "pane" << Control::Picture1;
    QTest::newRow("click on Calculate") << "calculate" << Control::Text2;
  }

  void leaveCheckKeepsTheFocus() {
    QFETCH(QString, how);
    QFETCH(Control, arrivesAt);
    QtSheetView* view = s_->open(3);
    const QStringList text1Prompt = promptOf(view, Control::Text1);
    auto leave = [&] {
      if (how == "tab") press(Qt::Key_Tab);
      if (how == "backtab") press(Qt::Key_Backtab, Qt::ShiftModifier);
      if (how == "box") click(view, Control::Text5);
      if (how == "window") {
        // Through the top-level window, as a real click arrives (Qt's own focus-on-click
        // handling runs on this path before any widget sees the press).
        QWidget* target = control(view, Control::Text5);
        const QPoint at = target->mapTo(s_->window.get(), target->rect().center());
        QTest::mouseClick(s_->window->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
      }
      if (how == "combo") {
        click(view, Control::Combo1);
        // A press that reaches the list opens its popup; close it again.
        auto* combo = qobject_cast<QComboBox*>(control(view, Control::Combo1));
        if (combo->view()->isVisible()) combo->hidePopup();
      }
      if (how == "pane") click(view, Control::Picture1);
      if (how == "calculate") click(view, Control::CmdCal);
    };

    for (const QString before : {"0.000", ""}) {
      QCOMPARE(box(view, 1)->text(), before);
      leave();
      QCOMPARE(s_->dialogs.shown.size(), before.isEmpty() ? std::size_t{2} : std::size_t{1});
      QCOMPARE(s_->dialogs.shown.back().title, QString("有效性验证"));
      QCOMPARE(s_->dialogs.shown.back().text,
               QString("您输入的局部环境系数不在有效范围！请输入 1.0--5.5 的数!"));
      QCOMPARE(box(view, 1)->text(), QString());
      QCOMPARE(QApplication::focusWidget(), box(view, 1));
      QCOMPARE(view->controller().focused(), Control::Text1);
      QCOMPARE(view->paneLines(), text1Prompt);
    }

    typeHere("5.5");  // the upper limit is valid
    leave();
    QCOMPARE(focusedName(view), controlName(arrivesAt));
    if (how == "calculate") {
      // Calculate ran: its first not-entered check sends the focus to Text2.
      QCOMPARE(s_->dialogs.shown.size(), std::size_t{3});
      QCOMPARE(s_->dialogs.shown.back().title, QString("输入验证"));
      QCOMPARE(view->paneLines(), text1Prompt);
    } else {
      QCOMPARE(s_->dialogs.shown.size(), std::size_t{2});
      if (sheet::is_text_box(arrivesAt)) {
        QCOMPARE(view->paneLines(), promptOf(view, arrivesAt));
      } else if (arrivesAt == Control::Combo1) {
        QCOMPARE(view->paneLines(), QStringList{qs(sheet::kComboPrompt)});
      }
    }
  }

  void pressOnDisabledSaveRunsNoCheck() {
    QtSheetView* view = s_->open(3);
    click(view, Control::CmdSave);
    QVERIFY(s_->dialogs.shown.empty());
    QCOMPARE(box(view, 1)->text(), QString("0.000"));
    QCOMPARE(QApplication::focusWidget(), box(view, 1));
  }

  void steelKindCheckOnLeavingTheList() {
    QtSheetView* view = s_->open(5);
    fill(view, kAdmixedExample);
    press(Qt::Key_Tab);
    auto* combo = qobject_cast<QComboBox*>(control(view, Control::Combo1));
    QCOMPARE(QApplication::focusWidget(), combo);
    QCOMPARE(view->paneLines(), QStringList{qs(sheet::kComboPrompt)});
    QCOMPARE(combo->currentIndex(), -1);
    press(Qt::Key_Tab);
    QCOMPARE(s_->dialogs.shown.size(), std::size_t{1});
    QCOMPARE(s_->dialogs.shown.back().text, qs(sheet::kSteelKindMessage));
    QCOMPARE(combo->currentText(), QString("1 圆钢筋"));
    QCOMPARE(QApplication::focusWidget(), combo);
    press(Qt::Key_Tab);
    QCOMPARE(focusedName(view), QString("Cmd_cal"));
    QCOMPARE(s_->dialogs.shown.size(), std::size_t{1});
  }

  // Tab walks the sheet's tab order: a disabled box and Save are skipped, an option group is one
  // stop (its selected button), and the walk wraps round.
  void tabFollowsTheSheetsOrder() {
    QtSheetView* view = s_->open(1);
    const std::vector<std::pair<QString, QString>> typed = {
        {"Text1", "2"},  {"Text2", "15"}, {"Text3", "0.7"}, {"Text4", "30"},
        {"Text5", "30"}, {"Text6", "60"}, {"Text7", "12"},  {"Text9", "20"}};
    QStringList visited{focusedName(view)};
    for (const auto& [name, text] : typed) {
      QCOMPARE(focusedName(view), name);
      typeHere(text);
      press(Qt::Key_Tab);
      visited << focusedName(view);
    }
    QVERIFY(!box(view, 8)->isEnabled());  // the measured depth locks the CO2 coefficient
    QCOMPARE(view->paneLines(), QStringList{" 钢筋应力状态（受拉或受压），请中从选择一种!"});
    for (int i = 0; i < 2; ++i) {
      press(Qt::Key_Tab);
      visited << focusedName(view);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);  // first steel kind
    for (int i = 0; i < 4; ++i) {
      press(Qt::Key_Tab);
      visited << focusedName(view);
    }
    const QStringList expected = {"Text1",  "Text2",   "Text3",    "Text4",    "Text5",
                                  "Text6",  "Text7",   "Text9",    "Option1",  "Option3",
                                  "Combo1", "Cmd_cal", "Cmd_exit", "Picture1", "Text1"};
    QCOMPARE(visited, expected);
    QVERIFY(s_->dialogs.shown.empty());
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(focusedName(view), QString("Picture1"));
  }

  void keystrokeOutOfRangeEmptiesTheBox() {
    QtSheetView* view = s_->open(1);
    typeHere("6");
    QCOMPARE(s_->dialogs.shown.size(), std::size_t{1});
    QCOMPARE(s_->dialogs.shown.back().title, QString("有效性验证"));
    QCOMPARE(s_->dialogs.shown.back().text,
             QString("您输入的局部环境系数不在有效范围！请输入 1.0--5.5 的数!"));
    QCOMPARE(box(view, 1)->text(), QString());
    QCOMPARE(QApplication::focusWidget(), box(view, 1));
    QTest::keyClicks(box(view, 1), "5.5");
    QCOMPARE(box(view, 1)->text(), QString("5.5"));
    QCOMPARE(s_->dialogs.shown.size(), std::size_t{1});
  }

  // A typed diffusion coefficient clears and locks the three boxes it would be derived from.
  void coefficientLocksTheDerivationBoxes() {
    QtSheetView* view = s_->open(2);
    for (const char* v : {"1.5", "20", "0.8", "30", "40", "20"}) {
      typeHere(v);
      press(Qt::Key_Tab);
    }
    QCOMPARE(QApplication::focusWidget(), box(view, 7));
    auto derivation = [&] {
      QList<bool> enabled;
      for (int n = 10; n <= 12; ++n) enabled << box(view, n)->isEnabled();
      return enabled;
    };
    typeHere("0");
    QTest::keyClick(box(view, 7), Qt::Key_Period);
    QCOMPARE(derivation(), (QList<bool>{true, true, true}));
    QCOMPARE(box(view, 10)->text(), QString("0.000"));
    QTest::keyClick(box(view, 7), Qt::Key_5);
    QCOMPARE(derivation(), (QList<bool>{false, false, false}));
    for (int n = 10; n <= 12; ++n) QCOMPARE(box(view, n)->text(), QString());
    QVERIFY(s_->dialogs.shown.empty());

    // Tab now skips the locked boxes.
    for (const char* v : {"5", "1.4"}) {
      press(Qt::Key_Tab);
      typeHere(v);
    }
    press(Qt::Key_Tab);
    QCOMPARE(focusedName(view), QString("Text13"));
    typeHere("20");

    // Emptying the coefficient unlocks them again.
    click(view, Control::Text7);
    QCOMPARE(QApplication::focusWidget(), box(view, 7));
    QTest::keyClick(box(view, 7), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box(view, 7), Qt::Key_Delete);
    QCOMPARE(derivation(), (QList<bool>{true, true, true}));

    // An out-of-range coefficient: message, emptied, focus kept, the three boxes locked.
    QTest::keyClicks(box(view, 7), "9");
    QCOMPARE(s_->dialogs.shown.size(), std::size_t{1});
    QCOMPARE(s_->dialogs.shown.back().text,
             QString("您输入的氯离子扩散系数不在有效范围！请输入 0.2--8.0 间的数!"));
    QCOMPARE(box(view, 7)->text(), QString());
    QCOMPARE(QApplication::focusWidget(), box(view, 7));
    QCOMPARE(derivation(), (QList<bool>{false, false, false}));
  }

  // Whichever way a box gets the focus, its whole text is selected: typing replaces the default
  // "0.000" or the earlier value instead of being appended to it.
  void typingReplacesTheTextOfAFocusedBox_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<Control>("arrivesAt");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("messages");  // shown on the way, before the typing
    QTest::newRow("sheet opening") << "open" << Control::Text1 << "1.5" << 0;
    QTest::newRow("Tab") << "tab" << Control::Text2 << "25" << 0;
    QTest::newRow("Shift+Tab") << "backtab" << Control::Text1 << "2" << 0;
    QTest::newRow("click") << "click" << Control::Text5 << "30" << 0;
    QTest::newRow("not-entered check") << "calculate" << Control::Text2 << "20" << 1;
    QTest::newRow("refused leave") << "refused" << Control::Text1 << "2" << 1;
    QTest::newRow("window list") << "windowList" << Control::Text1 << "2" << 0;
  }
  void typingReplacesTheTextOfAFocusedBox() {
    QFETCH(QString, path);
    QFETCH(Control, arrivesAt);
    QFETCH(QString, typed);
    QFETCH(int, messages);
    // The carbonation sheet checks Text1 at every keystroke: the first digit typed after
    // "0.000" would already be out of range.
    QtSheetView* view = s_->open(path == "open" ? 1 : 3);
    QVERIFY(view);
    if (path == "tab") {
      typeHere("1");
      press(Qt::Key_Tab);
    } else if (path == "backtab") {
      typeHere("1");
      press(Qt::Key_Tab);
      typeHere("20");
      press(Qt::Key_Backtab, Qt::ShiftModifier);
    } else if (path == "click") {
      typeHere("1");
      click(view, Control::Text5);
    } else if (path == "calculate") {
      typeHere("1");
      click(view, Control::CmdCal);  // stops at the first box that still holds 0
      QCOMPARE(s_->dialogs.shown.back().title, QString("输入验证"));
    } else if (path == "refused") {
      typeHere("7");  // out of range: leaving is refused and the box emptied
      press(Qt::Key_Tab);
      QCOMPARE(s_->dialogs.shown.back().title, QString("有效性验证"));
    } else if (path == "windowList") {
      typeHere("1");
      s_->open(1);
      s_->windowList();
      s_->window->windowListActions().at(0)->trigger();  // back to the first sheet
      QApplication::processEvents();
      QCOMPARE(s_->window->activeSheet(), 3);
    }
    QCOMPARE(focusedName(view), controlName(arrivesAt));
    QCOMPARE(s_->dialogs.shown.size(), static_cast<std::size_t>(messages));
    QTest::keyClicks(QApplication::focusWidget(), typed);
    QCOMPARE(qobject_cast<QLineEdit*>(view->widget(arrivesAt))->text(), typed);
    QCOMPARE(s_->dialogs.shown.size(), static_cast<std::size_t>(messages));
  }

  // A click into the box that is being edited places the cursor and keeps the text; a drag
  // over part of a box that gets the focus keeps that part selected.
  void clickInTheBoxBeingEditedPlacesTheCursor() {
    QtSheetView* view = s_->open(1);
    QLineEdit* text1 = box(view, 1);
    QTest::keyClicks(text1, "2.5");
    QCOMPARE(text1->text(), QString("2.5"));
    click(view, Control::Text1);  // right of the text: the cursor goes to its end
    QVERIFY(!text1->hasSelectedText());
    QTest::keyClicks(text1, "0");
    QCOMPARE(text1->text(), QString("2.50"));

    QLineEdit* text2 = box(view, 2);
    const int y = text2->height() / 2;
    const QPoint from(2, y);
    const QPoint to(4 + QFontMetrics(text2->font()).horizontalAdvance("0.0"), y);
    QTest::mousePress(text2, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(text2, to);
    QTest::mouseRelease(text2, Qt::LeftButton, Qt::NoModifier, to);
    QCOMPARE(QApplication::focusWidget(), text2);
    QVERIFY(text2->hasSelectedText());
    QVERIFY(text2->selectedText() != text2->text());
    QVERIFY(s_->dialogs.shown.empty());
  }
};

PELLUCOR_SHELL_TEST_MAIN(FocusTest)
#include "focus_test.moc"
