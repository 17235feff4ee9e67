// The main window: its menu, the sheets' windows and the window list, the background picture,
// the program's icon, and a start over settings that are no file.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTest>
#include <chrono>
#include <future>
#include <memory>

#include "sheet/sheet_table.hpp"
#include "shell/kit/sheet_layout.hpp"
#include "shell/kit/window_kit.hpp"
#include "shell_fixture.hpp"

using pellucor::sheet::Control;
using pellucor::sheet::text_box;
using namespace pellucor::shell;
using namespace pellucor::shell::testing;
namespace sheet = pellucor::sheet;

class MainWindowTest : public SessionTest {
  Q_OBJECT

 private slots:
  void mainWindowHasTheSevenEntriesAndTheAnalysisMenu() {
    QCOMPARE(s_->window->windowTitle(), QString("Pellucor"));
    QCOMPARE(s_->window->objectName(), QString("MDI_calculate"));
    const QStringList expected = {
        "碳化(&A)",   "渗氯盐_常系数(&B)", "渗氯盐_变系数(&C)", "渗氯盐_近海大气(&D)",
        "掺氯盐(&E)", "分析(&N)",          "窗口(&W)",          "退出(&X)"};
    QStringList shown;
    for (QAction* a : s_->window->menuBar()->actions()) shown << a->text();
    QCOMPARE(shown, expected);
    // Only the analysis menu and the window list drop down; the other entries act directly.
    for (QAction* a : s_->window->menuBar()->actions()) {
      QCOMPARE(a->menu() != nullptr, a->text() == "窗口(&W)" || a->text() == "分析(&N)");
    }
    QVERIFY(s_->window->mdiArea()->subWindowList().isEmpty());
    // The bar and its drop-down menus in the sheets' typeface.
    const QFont sheets = sheet_font(SheetFont::Frame);
    QWidget* bar = s_->window->menuBar();
    QWidget* windowList = s_->window->findChild<QMenu*>("windowList");
    QWidget* analysis = s_->window->findChild<QMenu*>("analysisMenu");
    QVERIFY(windowList != nullptr && analysis != nullptr);
    for (QWidget* w : {bar, windowList, analysis}) {
      QCOMPARE(w->font().families(), sheets.families());
      QCOMPARE(w->font().pointSizeF(), sheets.pointSizeF());
    }
  }

  void accessKeyOpensSheet() {
    QTest::keyClick(s_->window.get(), Qt::Key_C, Qt::AltModifier);
    QApplication::processEvents();
    QtSheetView* view = s_->window->sheetView(3);
    QVERIFY(view);
    QCOMPARE(s_->window->mdiArea()->activeSubWindow()->windowTitle(),
             QString("由氯离子侵蚀引起的钢筋腐蚀（扩散系数随时间变化）"));
  }

  void openingTwiceGivesOneWindow() {
    QtSheetView* first = s_->open(1);
    QVERIFY(first);
    QCOMPARE(QApplication::focusWidget(), box(first, 1));
    QCOMPARE(first->paneLines(), QStringList{" 局部环境系数，请输入 1.0--5.5 的数!"});
    typeHere("2");
    s_->open(2);
    QtSheetView* again = s_->open(1);
    QCOMPARE(again, first);
    QCOMPARE(s_->window->mdiArea()->subWindowList().size(), 2);
    QCOMPARE(s_->window->mdiArea()->activeSubWindow()->widget(), first);
    QCOMPARE(box(first, 1)->text(), QString("2"));
  }

  void reopeningRestoresTheDefaults_data() {
    QTest::addColumn<bool>("byExitButton");
    QTest::newRow("Exit button") << true;
    QTest::newRow("sub-window closed") << false;
  }

  void reopeningRestoresTheDefaults() {
    QFETCH(bool, byExitButton);
    QtSheetView* view = s_->open(5);
    QVERIFY(fillAdmixedExample(view));
    click(view, Control::CmdCal);
    QVERIFY(s_->dialogs.shown.empty());
    QVERIFY(view->isEnabled(Control::CmdSave));
    sheet::SheetController* controller = s_->window->controller(5);
    QVERIFY(controller->lastReport().has_value());

    if (byExitButton) {
      click(view, Control::CmdExit);
    } else {
      s_->window->mdiArea()->activeSubWindow()->close();
    }
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!controller->isOpen());
    QVERIFY(s_->window->sheetView(5) == nullptr);
    QVERIFY(s_->window->mdiArea()->subWindowList().isEmpty());

    QtSheetView* reopened = s_->open(5);
    QVERIFY(reopened);
    QCOMPARE(s_->window->controller(5), controller);  // one instance for the whole run
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
    QCOMPARE(s_->windowList(), QStringList{});
    s_->open(1);
    s_->open(3);
    QtSheetView* fifth = s_->open(5);
    const QString first = "由中性化引起的钢筋腐蚀";
    const QString third = "由氯离子侵蚀引起的钢筋腐蚀（扩散系数随时间变化）";
    const QString fifthCaption = "制备混凝土时含氯盐钢筋腐蚀";
    QCOMPARE(s_->windowList(), (QStringList{first, third, fifthCaption}));

    // Choosing an entry activates that sheet.
    s_->window->windowListActions().at(0)->trigger();
    QCOMPARE(s_->window->mdiArea()->activeSubWindow()->widget(), s_->window->sheetView(1));
    s_->windowList();
    QList<bool> checked;
    for (QAction* a : s_->window->windowListActions()) checked << a->isChecked();
    QCOMPARE(checked, (QList<bool>{true, false, false}));

    s_->window->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(fifth->parentWidget()));
    // Exit goes through the leave check as well: Text1 still holds its default, the press is
    // refused and the sheet stays open.
    click(fifth, Control::CmdExit);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(s_->windowList(), (QStringList{first, third, fifthCaption}));
    QCOMPARE(s_->dialogs.shown.size(), std::size_t{1});
    typeHere("1");
    click(fifth, Control::CmdExit);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(s_->windowList(), (QStringList{first, third}));
  }

  // 层叠 puts each window one title bar right of and below the one before, every caption
  // showing, the active one on top; 平铺 lays them side by side with no two overlapping, the
  // sheets at their design size, the other windows sharing what is left.
  void cascadeStairsAndTileDoesNotOverlap() {
    s_->window->resize(1600, 1000);
    s_->window->show();
    QtSheetView* first = s_->open(1);
    s_->open(2);
    QtSheetView* third = s_->open(4);
    auto* other = new QWidget;
    other->setMinimumSize(200, 150);
    QMdiSubWindow* free = s_->window->mdiArea()->addSubWindow(other);
    free->show();
    s_->window->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(third->parentWidget()));
    const QList<QMdiSubWindow*> windows =
        s_->window->mdiArea()->subWindowList(QMdiArea::CreationOrder);
    QCOMPARE(windows.size(), 4);
    const QRect area = s_->window->mdiArea()->viewport()->rect();
    const QSize design = first->parentWidget()->size();

    s_->windowList();  // the menu dropped down: its commands act on the windows now open
    s_->window->cascadeAction()->trigger();
    QSet<int> lefts;
    QSet<int> tops;
    for (QMdiSubWindow* w : windows) {
      QVERIFY2(area.contains(w->geometry()), qPrintable(w->windowTitle()));
      lefts << w->x();
      tops << w->y();
    }
    QCOMPARE(lefts.size(), 4);
    QCOMPARE(tops.size(), 4);
    // The active window is the last step of the stair and stays active.
    QCOMPARE(s_->window->mdiArea()->activeSubWindow()->widget(), third);
    for (QMdiSubWindow* w : windows) QVERIFY(w->x() <= third->parentWidget()->x());
    // A sheet keeps its design size.
    QCOMPARE(first->parentWidget()->size(), design);

    s_->window->tileAction()->trigger();
    for (qsizetype i = 0; i < windows.size(); ++i) {
      for (qsizetype j = i + 1; j < windows.size(); ++j) {
        QVERIFY2(!windows[i]->geometry().intersects(windows[j]->geometry()),
                 qPrintable(windows[i]->windowTitle() + " / " + windows[j]->windowTitle()));
      }
    }
    QCOMPARE(first->parentWidget()->size(), design);
    // The window that can grow takes its cell of the area's 2×2 grid.
    QCOMPARE(free->width(), area.width() / 2);
  }

  // The layouts themselves, on areas that hold the windows and on ones that do not.
  void layoutsOfTheWindowMenu_data() {
    QTest::addColumn<QSize>("area");
    QTest::addColumn<int>("windows");
    QTest::addColumn<QSize>("least");
    QTest::addColumn<QSize>("most");
    const QSize any(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    QTest::newRow("one resizable fills the area") << QSize(800, 600) << 1 << QSize(10, 10) << any;
    QTest::newRow("five resizable") << QSize(900, 600) << 5 << QSize(10, 10) << any;
    QTest::newRow("fixed sheets fit")
        << QSize(1600, 1000) << 4 << QSize(700, 450) << QSize(700, 450);
    QTest::newRow("fixed sheets too large together")
        << QSize(800, 600) << 3 << QSize(700, 450) << QSize(700, 450);
    QTest::newRow("larger than the area") << QSize(400, 300) << 2 << QSize(700, 450) << any;
  }
  void layoutsOfTheWindowMenu() {
    QFETCH(QSize, area);
    QFETCH(int, windows);
    QFETCH(QSize, least);
    QFETCH(QSize, most);
    const QRect space(QPoint(0, 0), area);
    const std::vector<QSize> mins(static_cast<std::size_t>(windows), least);
    const std::vector<QSize> maxs(static_cast<std::size_t>(windows), most);
    const std::vector<QRect> tiles = tile_layout(space, mins, maxs);
    QCOMPARE(tiles.size(), mins.size());
    for (std::size_t i = 0; i < tiles.size(); ++i) {
      QVERIFY(tiles[i].width() >= least.width() && tiles[i].height() >= least.height());
      QVERIFY(tiles[i].width() <= most.width() && tiles[i].height() <= most.height());
      QVERIFY(tiles[i].left() >= 0 && tiles[i].top() >= 0);
      for (std::size_t j = i + 1; j < tiles.size(); ++j) QVERIFY(!tiles[i].intersects(tiles[j]));
    }
    if (windows == 1 && most.width() == QWIDGETSIZE_MAX) QCOMPARE(tiles[0], space);

    const std::vector<QRect> stair = cascade_layout(space, mins, 30);
    for (std::size_t i = 0; i < stair.size(); ++i) {
      QVERIFY(space.contains(stair[i]));
      if (i > 0 && stair[i].topLeft() != QPoint(0, 0)) {
        QCOMPARE(stair[i].topLeft(), stair[i - 1].topLeft() + QPoint(30, 30));
      }
    }
  }

  void exitEntryClosesEverythingWithoutAsking() {
    s_->open(1);
    s_->open(2);
    s_->window->menuAction(7)->trigger();
    QApplication::processEvents();
    QVERIFY(!s_->window->isVisible());
    QVERIFY(!s_->window->controller(1)->isOpen());
    QVERIFY(!s_->window->controller(2)->isOpen());
    QVERIFY(s_->dialogs.shown.empty());
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
    s_->window->resize(1200, 950);
    QApplication::processEvents();
    QWidget* viewport = s_->window->mdiArea()->viewport();
    QVERIFY(viewport->width() > 1022 && viewport->height() > 764);
    const QImage shot = viewport->grab().toImage();
    for (const QPoint p : {QPoint(0, 0), QPoint(1021, 763), QPoint(300, 560), QPoint(700, 100)}) {
      QCOMPARE(shot.pixel(p), picture.pixel(p));
    }
    const QRgb workspace = s_->window->mdiArea()->background().color().rgb();
    QCOMPARE(shot.pixel(1100, 10), workspace);
    QCOMPARE(shot.pixel(10, 800), workspace);

    // At the design size and far larger, the client area's far corner is painted: the picture
    // where it reaches, the workspace colour beyond it.
    for (const QSize size : {s_->window->designSize(), QSize(1900, 1400)}) {
      s_->window->resize(size);
      QApplication::processEvents();
      const QImage grabbed = viewport->grab().toImage();
      const QPoint corner(grabbed.width() - 1, grabbed.height() - 1);
      const QRgb expected = picture.rect().contains(corner) ? picture.pixel(corner) : workspace;
      QCOMPARE(grabbed.pixel(corner), expected);
    }
  }

  // The program's own icon, drawn by the generator, on the main window and on every sheet window
  // in each size it ships with; the desktop entry that the windows belong to is named.
  void windowsCarryTheProgramsIcon() {
    QCOMPARE(QGuiApplication::desktopFileName(), QString("pellucor"));
    QtSheetView* view = s_->open(2);
    QVERIFY(view);
    const QIcon mainIcon = s_->window->windowIcon();
    const QIcon sheetIcon = view->parentWidget()->windowIcon();
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
      const QImage drawn = QImage(QString(":/shell/icons/pellucor-%1.png").arg(size))
                               .convertToFormat(QImage::Format_ARGB32_Premultiplied);
      QCOMPARE(drawn.size(), QSize(size, size));
      for (const QIcon& icon : {mainIcon, sheetIcon}) {
        const QImage shown = icon.pixmap(QSize(size, size))
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(shown, drawn);
      }
    }
    // A tile with rounded corners: the corner is see-through, the middle is not.
    const QImage big(":/shell/icons/pellucor-256.png");
    QCOMPARE(qAlpha(big.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(big.pixel(128, 128)), 255);
  }

  // A settings file that is a pipe would make the start wait for ever (the settings are read
  // before the window shows), one of gigabytes read without end: neither is opened, the
  // program says why, and what it keeps goes to a file of its own for the run.
  void settingsThatAreNoFileDoNotHangTheStart() {
    const QString file = settings_file();
    QVERIFY(settings_problem().isEmpty());
    QFile::remove(file);
    QDir().mkpath(QFileInfo(file).path());
#ifndef _WIN32
    // (Windows has no pipe in a folder.)
    QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    // On a thread of its own: were the pipe opened, the test would free it by writing to it.
    auto read = std::async(std::launch::async, [] {
      program_settings()->setValue(QStringLiteral("probe"), 1);
      return program_settings()->value(QStringLiteral("probe")).toInt();
    });
    if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) ::close(fd);
      QFAIL("the settings waited for the pipe");
    }
    QCOMPARE(read.get(), 1);  // kept for the run
    QVERIFY(settings_problem().contains(QDir::toNativeSeparators(file)));
    QVERIFY(settings_problem().contains(QStringLiteral("不是普通文件")));
    QVERIFY(QFileInfo(file).exists() && !QFileInfo(file).isFile());  // left as it was
    {
      Session started;  // the main window starts over it, as the program starts it
      started.window->rememberGeometry();
      QVERIFY(started.active);
    }
    QVERIFY(QFile::remove(file));
#endif

    // A file larger than settings ever are: not read, not written.
    QFile huge(file);
    QVERIFY(huge.open(QIODevice::WriteOnly));
    QVERIFY(huge.resize(kMaxSettingsBytes + 1));
    huge.close();
    QVERIFY(settings_problem().contains(QStringLiteral("大于 1 MiB")));
    program_settings()->setValue(QStringLiteral("probe"), 2);
    QCOMPARE(QFileInfo(file).size(), kMaxSettingsBytes + 1);
    QVERIFY(QFile::remove(file));
    QVERIFY(settings_problem().isEmpty());
  }
};

PELLUCOR_SHELL_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
