// The windows around the sheets as they open at the main window's design size: every analysis
// window wholly inside the client area with nothing elided, sizes remembered between runs, the
// window menu's commands and its numbered list.
#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QGraphicsTextItem>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTest>

#include "shell/batch_window.hpp"
#include "shell/chart_window.hpp"
#include "shell/reliability_window.hpp"
#include "shell/window_kit.hpp"
#include "shell_fixture.hpp"

using pellucor::sheet::Control;
using namespace pellucor::shell;
using namespace pellucor::shell::testing;

namespace {

// The texts of a chart view's scene that the toolkit cut short.
QStringList elidedTexts(QChartView* view) {
  QStringList out;
  for (QGraphicsItem* item : view->scene()->items()) {
    if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && text->isVisible()) {
      const QString t = text->toPlainText();
      if (t.contains(QStringLiteral("…")) || t.contains(QStringLiteral("..."))) out << t;
    }
  }
  return out;
}

}  // namespace

class WindowsTest : public SessionTest {
  Q_OBJECT

 private:
  // Sheet 4 opened and calculated with its worked example, the main window at its design size.
  QtSheetView* marine() {
    s_->window->resize(s_->window->designSize());
    QApplication::processEvents();
    const WorkedExample& e = worked_examples().at(3);
    QtSheetView* view = s_->open(e.sheet);
    fill(view, e.boxes);
    if (!chooseSteelKind(view, e.steelKind)) return nullptr;
    click(view, Control::CmdCal);
    return view->controller().lastRecord() ? view : nullptr;
  }

  void activate(QtSheetView* view) {
    s_->window->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(view->parentWidget()));
  }

  QWidget* openAnalysis(const char* which, QtSheetView* view) {
    activate(view);
    if (QByteArray(which) == "charts") return s_->actions->showCharts(4);
    if (QByteArray(which) == "reliability") return s_->actions->openReliability();
    s_->actions->batchAction()->trigger();
    return s_->window->mdiArea()->activeSubWindow()->widget();
  }

  // The window's frame lies wholly in the visible client area.
  static bool inside(const QWidget* content) {
    auto* sub = qobject_cast<const QMdiSubWindow*>(content->parentWidget());
    return sub && sub->mdiArea()->viewport()->rect().contains(sub->geometry());
  }

 private slots:
  void analysisWindowsOpenInsideTheClientArea_data() {
    QTest::addColumn<QByteArray>("which");
    QTest::newRow("charts") << QByteArray("charts");
    QTest::newRow("member table") << QByteArray("batch");
    QTest::newRow("reliability") << QByteArray("reliability");
  }
  void analysisWindowsOpenInsideTheClientArea() {
    QFETCH(QByteArray, which);
    QtSheetView* view = marine();
    QVERIFY(view);
    QWidget* w = openAnalysis(which.constData(), view);
    QVERIFY(w);
    QApplication::processEvents();
    QVERIFY2(inside(w),
             qPrintable(QStringLiteral("%1 in %2")
                            .arg(QVariant(w->parentWidget()->geometry()).toString(),
                                 QVariant(s_->window->mdiArea()->viewport()->rect()).toString())));
    // Every chart the window shows: no title or axis title cut short.
    if (auto* charts = qobject_cast<ChartWindow*>(w)) {
      for (int i = 0; i < charts->tabs()->count(); ++i) {
        charts->tabs()->setCurrentIndex(i);
        QCoreApplication::processEvents();
        QTRY_VERIFY(charts->chartView(i)->chart()->plotArea().height() > 100);
        QVERIFY2(elidedTexts(charts->chartView(i)).isEmpty(),
                 qPrintable(elidedTexts(charts->chartView(i)).join(", ")));
      }
    }
    for (QChartView* chart : w->findChildren<QChartView*>()) {
      if (chart->isVisible()) {
        QVERIFY2(elidedTexts(chart).isEmpty(), qPrintable(elidedTexts(chart).join(", ")));
      }
    }
    // Maximised and restored, it comes back inside.
    auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    sub->showMaximized();
    sub->showNormal();
    QApplication::processEvents();
    QVERIFY(inside(w));
  }

  // A window kind opens at the size it was last left at, and never larger than the area.
  void sizesAreRemembered() {
    QtSheetView* view = marine();
    QVERIFY(view);
    auto* sub = qobject_cast<QMdiSubWindow*>(openAnalysis("charts", view)->parentWidget());
    sub->resize(520, 400);
    sub->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(remembered_size(QStringLiteral("chartWindow4"), {}), QSize(520, 400));
    sub = qobject_cast<QMdiSubWindow*>(openAnalysis("charts", view)->parentWidget());
    QCOMPARE(sub->size(), QSize(520, 400));
    sub->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    remember_size(QStringLiteral("chartWindow4"), QSize(3000, 2000));
    QVERIFY(inside(openAnalysis("charts", view)));
  }

  // The main window opens at least at its design size, and where and as large as it was left
  // when it remembers that.
  void mainWindowComesBackAsItWasLeft() {
    const QSize design = s_->window->designSize();
    QVERIFY(s_->window->width() >= design.width() && s_->window->height() >= design.height());
    {
      MainWindow first(s_->dialogs);
      first.rememberGeometry();
      first.show();
      first.setGeometry(40, 50, design.width() + 60, design.height() + 30);
      QApplication::processEvents();
      first.close();
    }
    MainWindow second(s_->dialogs);
    second.rememberGeometry();
    second.show();
    QApplication::processEvents();
    QCOMPARE(second.size(), QSize(design.width() + 60, design.height() + 30));
  }

  // Cascade, tile, close and close all act on the open windows; the list numbers them.
  void windowMenuCommands() {
    QtSheetView* view = marine();
    QVERIFY(view);
    openAnalysis("charts", view);
    s_->open(1);
    QCOMPARE(s_->windowList(),
             (QStringList{"近海大气侵蚀引起的钢筋腐蚀", "曲线图 — 近海大气侵蚀引起的钢筋腐蚀",
                          "由中性化引起的钢筋腐蚀"}));
    QStringList texts;
    for (QAction* a : s_->window->windowListActions()) texts << a->text();
    QCOMPARE(texts.value(0), QString("&1 近海大气侵蚀引起的钢筋腐蚀"));
    QCOMPARE(texts.value(2), QString("&3 由中性化引起的钢筋腐蚀"));
    const QStringList commands = {"层叠(&C)", "平铺(&T)", "关闭(&O)", "全部关闭(&L)"};
    QStringList shown;
    for (QAction* a : s_->window->windowMenu()->actions()) {
      if (!a->isSeparator() && !s_->window->windowListActions().contains(a)) shown << a->text();
    }
    QCOMPARE(shown, commands);

    s_->window->tileAction()->trigger();
    for (QMdiSubWindow* sub : s_->window->mdiArea()->subWindowList()) {
      QVERIFY(s_->window->mdiArea()->viewport()->rect().contains(sub->geometry()));
    }
    // Ctrl+F4 closes the active window (the carbonation sheet, opened last).
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F4, Qt::ControlModifier);
    QApplication::processEvents();
    QVERIFY(s_->window->sheetView(1) == nullptr);
    QCOMPARE(s_->windowList().size(), 2);
    s_->window->closeAllAction()->trigger();
    QApplication::processEvents();
    QCOMPARE(s_->windowList(), QStringList{});
  }
};

PELLUCOR_SHELL_TEST_MAIN(WindowsTest)
#include "windows_test.moc"
