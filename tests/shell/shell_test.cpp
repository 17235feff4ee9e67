// The desktop program driven through its real widgets (offscreen): the main window's menu and
// sheet registry, focus and validation as a user meets them, Calculate, Save and the real
// message box.
#include <iconv.h>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "sheet/sheet_table.hpp"
#include "sheet_driver.hpp"
#include "shell/main_window.hpp"
#include "shell/qt_sheet_view.hpp"
#include "shell/sheet_layout.hpp"

using pellucor::sheet::Control;
using pellucor::sheet::text_box;
using namespace pellucor::shell;
using namespace pellucor::shell::testing;
namespace sheet = pellucor::sheet;

Q_DECLARE_METATYPE(Control)

namespace {

// The worked example of the admixed-chloride sheet: K_e 1, T 20, RH 0.8, f_cu 30, cover 30,
// t 30, t_c* 20, C_0 6, d 20, deformed bars.
const std::vector<std::pair<int, QString>> kAdmixedExample = {{1, "1"},  {2, "20"}, {3, "0.8"},
                                                              {4, "30"}, {5, "30"}, {6, "30"},
                                                              {7, "20"}, {8, "6"},  {9, "20"}};

QString controlName(Control c) {
  return qs(sheet::control_name(c));
}

QString focusedName(const QtSheetView* view) {
  return controlName(view->controlOf(QApplication::focusWidget()));
}

// Selects the focused box's text and types `text` over it.
void typeHere(const QString& text) {
  QWidget* w = QApplication::focusWidget();
  QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(w, text);
}

QStringList promptOf(const QtSheetView* view, Control c) {
  QStringList lines;
  for (const auto p : view->table().field(c)->prompts) lines << qs(p);
  return lines;
}

// The result file is GBK text.
QString fromGbk(const QByteArray& bytes) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  QByteArray in = bytes;
  QByteArray out(bytes.size() * 2 + 16, '\0');
  char* src = in.data();
  char* dst = out.data();
  std::size_t srcLeft = static_cast<std::size_t>(in.size());
  std::size_t dstLeft = static_cast<std::size_t>(out.size());
  const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1)) return {};
  out.truncate(out.size() - static_cast<qsizetype>(dstLeft));
  return QString::fromUtf8(out);
}

}  // namespace

class ShellTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<RecordingPresenter> messages_;
  std::unique_ptr<ScriptedChooser> files_;
  std::unique_ptr<QtMessagePresenter> realMessages_;
  std::unique_ptr<MainWindow> window_;

  void makeWindow(MessagePresenter& messages) {
    window_ = std::make_unique<MainWindow>(messages, *files_);
    window_->show();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  }

  // Opens sheet n through its menu entry, as the user does.
  QtSheetView* open(int n) {
    window_->menuAction(n)->trigger();
    QApplication::processEvents();
    return window_->sheetView(n);
  }

  QStringList windowList() {
    emit window_->windowMenu()->aboutToShow();
    QStringList texts;
    for (QAction* a : window_->windowMenu()->actions()) texts << a->text();
    return texts;
  }

  // Fills the admixed sheet with its worked example and chooses deformed bars.
  void fillAdmixedExample(QtSheetView* view) {
    fill(view, kAdmixedExample);
    QVERIFY(chooseSteelKind(view, 2));
  }

 private slots:
  void init() {
    messages_ = std::make_unique<RecordingPresenter>();
    files_ = std::make_unique<ScriptedChooser>();
    realMessages_ = std::make_unique<QtMessagePresenter>();
    makeWindow(*messages_);
  }

  void cleanup() {
    window_.reset();
    QApplication::processEvents();
  }

  void mainWindowHasTheSevenEntriesAndTheAnalysisMenu() {
    QCOMPARE(window_->windowTitle(), QString("Pellucor"));
    QCOMPARE(window_->objectName(), QString("MDI_calculate"));
    const QStringList expected = {
        "碳化(&A)",   "渗氯盐_常系数(&B)", "渗氯盐_变系数(&C)", "渗氯盐_近海大气(&D)",
        "掺氯盐(&E)", "分析(&N)",          "窗口(&W)",          "退出(&X)"};
    QStringList shown;
    for (QAction* a : window_->menuBar()->actions()) shown << a->text();
    QCOMPARE(shown, expected);
    // Only the analysis menu and the window list drop down; the other entries act directly.
    for (QAction* a : window_->menuBar()->actions()) {
      QCOMPARE(a->menu() != nullptr, a->text() == "窗口(&W)" || a->text() == "分析(&N)");
    }
    QVERIFY(window_->mdiArea()->subWindowList().isEmpty());
  }

  void accessKeyOpensSheet() {
    QTest::keyClick(window_.get(), Qt::Key_C, Qt::AltModifier);
    QApplication::processEvents();
    QtSheetView* view = window_->sheetView(3);
    QVERIFY(view);
    QCOMPARE(window_->mdiArea()->activeSubWindow()->windowTitle(),
             QString("由氯离子侵蚀引起的钢筋腐蚀（扩散系数随时间变化）"));
  }

  void openingTwiceGivesOneWindow() {
    QtSheetView* first = open(1);
    QVERIFY(first);
    QCOMPARE(QApplication::focusWidget(), box(first, 1));
    QCOMPARE(first->paneLines(), QStringList{" 局部环境系数，请输入 1.0--5.5 的数!"});
    typeHere("2");
    open(2);
    QtSheetView* again = open(1);
    QCOMPARE(again, first);
    QCOMPARE(window_->mdiArea()->subWindowList().size(), 2);
    QCOMPARE(window_->mdiArea()->activeSubWindow()->widget(), first);
    QCOMPARE(box(first, 1)->text(), QString("2"));
  }

  void reopeningRestoresTheDefaults_data() {
    QTest::addColumn<bool>("byExitButton");
    QTest::newRow("Exit button") << true;
    QTest::newRow("sub-window closed") << false;
  }
  void reopeningRestoresTheDefaults() {
    QFETCH(bool, byExitButton);
    QtSheetView* view = open(5);
    fillAdmixedExample(view);
    click(view, Control::CmdCal);
    QVERIFY(messages_->shown.empty());
    QVERIFY(view->isEnabled(Control::CmdSave));
    sheet::SheetController* controller = window_->controller(5);
    QVERIFY(controller->lastReport().has_value());

    if (byExitButton) {
      click(view, Control::CmdExit);
    } else {
      window_->mdiArea()->activeSubWindow()->close();
    }
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!controller->isOpen());
    QVERIFY(window_->sheetView(5) == nullptr);
    QVERIFY(window_->mdiArea()->subWindowList().isEmpty());

    QtSheetView* reopened = open(5);
    QVERIFY(reopened);
    QCOMPARE(window_->controller(5), controller);  // one instance for the whole run
    for (int n = 1; n <= 9; ++n) {
      QCOMPARE(box(reopened, n)->text(), QString("0.000"));
      QVERIFY(box(reopened, n)->isEnabled());
    }
    QCOMPARE(qobject_cast<QComboBox*>(control(reopened, Control::Combo1))->currentIndex(), -1);
    QVERIFY(!control(reopened, Control::CmdSave)->isEnabled());
    QCOMPARE(QApplication::focusWidget(), box(reopened, 1));
    QCOMPARE(reopened->paneLines(), QStringList{" 局部环境系数，请输入 1.0--5.0 间的数!"});
    // The sheet's record outlives its window.
    QVERIFY(controller->lastReport().has_value());
  }

  void windowListListsTheOpenSheets() {
    QCOMPARE(windowList(), QStringList{});
    open(1);
    open(3);
    QtSheetView* fifth = open(5);
    const QString first = "由中性化引起的钢筋腐蚀";
    const QString third = "由氯离子侵蚀引起的钢筋腐蚀（扩散系数随时间变化）";
    const QString fifthCaption = "制备混凝土时含氯盐钢筋腐蚀";
    QCOMPARE(windowList(), (QStringList{first, third, fifthCaption}));

    // Choosing an entry activates that sheet.
    window_->windowMenu()->actions().at(0)->trigger();
    QCOMPARE(window_->mdiArea()->activeSubWindow()->widget(), window_->sheetView(1));
    windowList();
    QList<bool> checked;
    for (QAction* a : window_->windowMenu()->actions()) checked << a->isChecked();
    QCOMPARE(checked, (QList<bool>{true, false, false}));

    window_->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(fifth->parentWidget()));
    // Exit goes through the leave check as well: Text1 still holds its default, the press is
    // refused and the sheet stays open.
    click(fifth, Control::CmdExit);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(windowList(), (QStringList{first, third, fifthCaption}));
    QCOMPARE(messages_->shown.size(), std::size_t{1});
    typeHere("1");
    click(fifth, Control::CmdExit);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(windowList(), (QStringList{first, third}));
  }

  void exitEntryClosesEverythingWithoutAsking() {
    open(1);
    open(2);
    window_->menuAction(7)->trigger();
    QApplication::processEvents();
    QVERIFY(!window_->isVisible());
    QVERIFY(!window_->controller(1)->isOpen());
    QVERIFY(!window_->controller(2)->isOpen());
    QVERIFY(messages_->shown.empty());
  }

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
    QtSheetView* view = open(3);
    const QStringList text1Prompt = promptOf(view, Control::Text1);
    auto leave = [&] {
      if (how == "tab") press(Qt::Key_Tab);
      if (how == "backtab") press(Qt::Key_Backtab, Qt::ShiftModifier);
      if (how == "box") click(view, Control::Text5);
      if (how == "window") {
        // Through the top-level window, as a real click arrives (Qt's own focus-on-click
        // handling runs on this path before any widget sees the press).
        QWidget* target = control(view, Control::Text5);
        const QPoint at = target->mapTo(window_.get(), target->rect().center());
        QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
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
      QCOMPARE(messages_->shown.size(), before.isEmpty() ? std::size_t{2} : std::size_t{1});
      QCOMPARE(messages_->shown.back().title, QString("有效性验证"));
      QCOMPARE(messages_->shown.back().text,
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
      QCOMPARE(messages_->shown.size(), std::size_t{3});
      QCOMPARE(messages_->shown.back().title, QString("输入验证"));
      QCOMPARE(view->paneLines(), text1Prompt);
    } else {
      QCOMPARE(messages_->shown.size(), std::size_t{2});
      if (sheet::is_text_box(arrivesAt)) {
        QCOMPARE(view->paneLines(), promptOf(view, arrivesAt));
      } else if (arrivesAt == Control::Combo1) {
        QCOMPARE(view->paneLines(), QStringList{qs(sheet::kComboPrompt)});
      }
    }
  }

  void pressOnDisabledSaveRunsNoCheck() {
    QtSheetView* view = open(3);
    click(view, Control::CmdSave);
    QVERIFY(messages_->shown.empty());
    QCOMPARE(box(view, 1)->text(), QString("0.000"));
    QCOMPARE(QApplication::focusWidget(), box(view, 1));
  }

  void steelKindCheckOnLeavingTheList() {
    QtSheetView* view = open(5);
    fill(view, kAdmixedExample);
    press(Qt::Key_Tab);
    auto* combo = qobject_cast<QComboBox*>(control(view, Control::Combo1));
    QCOMPARE(QApplication::focusWidget(), combo);
    QCOMPARE(view->paneLines(), QStringList{qs(sheet::kComboPrompt)});
    QCOMPARE(combo->currentIndex(), -1);
    press(Qt::Key_Tab);
    QCOMPARE(messages_->shown.size(), std::size_t{1});
    QCOMPARE(messages_->shown.back().text, qs(sheet::kSteelKindMessage));
    QCOMPARE(combo->currentText(), QString("1 圆钢筋"));
    QCOMPARE(QApplication::focusWidget(), combo);
    press(Qt::Key_Tab);
    QCOMPARE(focusedName(view), QString("Cmd_cal"));
    QCOMPARE(messages_->shown.size(), std::size_t{1});
  }

  // Tab walks the sheet's tab order: a disabled box and Save are skipped, an option group is one
  // stop (its selected button), and the walk wraps round.
  void tabFollowsTheSheetsOrder() {
    QtSheetView* view = open(1);
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
    QVERIFY(messages_->shown.empty());
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(focusedName(view), QString("Picture1"));
  }

  void keystrokeOutOfRangeEmptiesTheBox() {
    QtSheetView* view = open(1);
    typeHere("6");
    QCOMPARE(messages_->shown.size(), std::size_t{1});
    QCOMPARE(messages_->shown.back().title, QString("有效性验证"));
    QCOMPARE(messages_->shown.back().text,
             QString("您输入的局部环境系数不在有效范围！请输入 1.0--5.5 的数!"));
    QCOMPARE(box(view, 1)->text(), QString());
    QCOMPARE(QApplication::focusWidget(), box(view, 1));
    QTest::keyClicks(box(view, 1), "5.5");
    QCOMPARE(box(view, 1)->text(), QString("5.5"));
    QCOMPARE(messages_->shown.size(), std::size_t{1});
  }

  // A typed diffusion coefficient clears and locks the three boxes it would be derived from.
  void coefficientLocksTheDerivationBoxes() {
    QtSheetView* view = open(2);
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
    QVERIFY(messages_->shown.empty());

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
    QCOMPARE(messages_->shown.size(), std::size_t{1});
    QCOMPARE(messages_->shown.back().text,
             QString("您输入的氯离子扩散系数不在有效范围！请输入 0.2--8.0 间的数!"));
    QCOMPARE(box(view, 7)->text(), QString());
    QCOMPARE(QApplication::focusWidget(), box(view, 7));
    QCOMPARE(derivation(), (QList<bool>{false, false, false}));
  }

  void calculateShowsTheReport() {
    QtSheetView* view = open(5);
    fillAdmixedExample(view);
    click(view, Control::CmdCal);
    QVERIFY(messages_->shown.empty());
    const auto& report = view->controller().lastReport();
    QVERIFY(report.has_value());
    QStringList expected{qs(sheet::kResultsHeader), qs(sheet::kEqualsLine)};
    for (const auto& line : report->pane) expected << qs(line);
    QCOMPARE(view->paneLines(), expected);
    QVERIFY(!view->paneLines().contains(qs(sheet::kWaitLine)));
    QVERIFY(view->isEnabled(Control::CmdSave));
    // The iteration wrote its last assumed cracking time back, with a leading blank.
    QVERIFY(box(view, 7)->text().startsWith(' '));
    QVERIFY(box(view, 7)->text() != QString("20"));
  }

  void saveAppendsTheBlockToTheChosenFile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("RESULT.DAT");
    {
      QFile f(path);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("earlier\r\n");
    }
    QtSheetView* view = open(5);
    fillAdmixedExample(view);
    click(view, Control::CmdCal);
    QVERIFY(view->isEnabled(Control::CmdSave));

    for (int round = 1; round <= 2; ++round) {
      files_->next = path;
      click(view, Control::CmdSave);
    }
    files_->next.reset();
    click(view, Control::CmdSave);  // cancelled: nothing written
    QVERIFY(messages_->shown.empty());
    QCOMPARE(files_->requests.size(), std::size_t{3});
    QCOMPARE(files_->requests.front().title, QString("保存数据"));
    QCOMPARE(files_->requests.front().filter, QString("*.DAT"));
    QCOMPARE(files_->requests.front().defaultSuffix, QString("DAT"));

    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("earlier\r\n"));
    const QString text = fromGbk(bytes.mid(9));
    QVERIFY(!text.isEmpty());
    QVERIFY(text.endsWith(qs(sheet::kEqualsLine) + "\r\n"));
    const QStringList lines = text.chopped(2).split("\r\n");
    const auto& report = view->controller().lastReport();
    QStringList block{qs(sheet::kEqualsLine), qs(sheet::kParametersHeader)};
    for (const auto& l : report->echo) block << qs(l);
    block << qs(sheet::kHyphensLine) << qs(sheet::kResultsHeader);
    for (const auto& l : report->file) block << qs(l);
    block << qs(sheet::kEqualsLine);
    QCOMPARE(lines, block + block);

    // After Save the pane shows the results again, without the wait line.
    QCOMPARE(view->paneLines().front(), qs(sheet::kResultsHeader));
    QCOMPARE(view->paneLines().size(), static_cast<qsizetype>(report->pane.size() + 2));
  }

  void realMessageBoxAppears() {
    window_.reset();
    makeWindow(*realMessages_);
    QtSheetView* view = open(3);

    struct Seen {
      bool found = false;
      QMessageBox::Icon icon = QMessageBox::NoIcon;
      QString title;
      QString text;
      QMessageBox::StandardButtons buttons;
    } seen;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      seen = {true, box->icon(), box->windowTitle(), box->text(), box->standardButtons()};
      poll.stop();
      box->button(QMessageBox::Ok)->click();
    });
    poll.start();
    press(Qt::Key_Tab);
    poll.stop();

    QVERIFY(seen.found);
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.title, QString("有效性验证"));
    QCOMPARE(seen.text, QString("您输入的局部环境系数不在有效范围！请输入 1.0--5.5 的数!"));
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box(view, 1)->text(), QString());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
  }

  // The picture sits unscaled at the top left; beyond it the workspace colour shows.
  void backgroundIsDrawnUnscaledAtTheTopLeft() {
    QFile file(":/shell/background.bmp");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray header = file.read(54);
    auto u32 = [&](int at) {
      return static_cast<quint32>(static_cast<quint8>(header[at])) |
             static_cast<quint32>(static_cast<quint8>(header[at + 1])) << 8 |
             static_cast<quint32>(static_cast<quint8>(header[at + 2])) << 16 |
             static_cast<quint32>(static_cast<quint8>(header[at + 3])) << 24;
    };
    QCOMPARE(header.left(2), QByteArray("BM"));
    QCOMPARE(u32(18), 1022u);         // width
    QCOMPARE(u32(22), 764u);          // height
    QCOMPARE(u32(28) & 0xFFFF, 24u);  // bits per pixel
    QCOMPARE(u32(30), 0u);            // no compression

    const QImage picture(":/shell/background.bmp");
    window_->resize(1200, 950);
    QApplication::processEvents();
    QWidget* viewport = window_->mdiArea()->viewport();
    QVERIFY(viewport->width() > 1022 && viewport->height() > 764);
    const QImage shot = viewport->grab().toImage();
    for (const QPoint p : {QPoint(0, 0), QPoint(1021, 763), QPoint(300, 560), QPoint(700, 100)}) {
      QCOMPARE(shot.pixel(p), picture.pixel(p));
    }
    const QRgb workspace = window_->mdiArea()->background().color().rgb();
    QCOMPARE(shot.pixel(1100, 10), workspace);
    QCOMPARE(shot.pixel(10, 800), workspace);
  }

  // The design faces are Windows fonts; the fallbacks must give faces that have the glyphs.
  void sheetFontsResolveToInstalledFaces() {
    const QStringList chinese = {
        "宋体", "SimSun", "隶书", "LiSu", "AR PL UMing CN", "AR PL UKai CN", "Noto Serif CJK SC"};
    for (const SheetFont kind : {SheetFont::Sheet, SheetFont::Frame, SheetFont::Button}) {
      const QFontInfo info(sheet_font(kind));
      QVERIFY2(chinese.contains(info.family()), qPrintable(info.family()));
      QVERIFY(QFontMetrics(sheet_font(kind)).inFont(QChar(0x8BA1)));  // 计
    }
  }
};

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
