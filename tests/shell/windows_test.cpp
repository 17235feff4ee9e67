// The windows around the sheets as they open at the main window's design size: every analysis
// and project window wholly inside the client area with nothing cut or elided and an access key
// on every button, each key pressed running that window's own control (never the main menu's),
// sizes remembered between runs, the window menu's commands and its numbered list, and the end
// of the program asking once for everything unsaved.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <cmath>
#include <memory>

#include "shell/charts/chart_window.hpp"
#include "shell/kit/window_kit.hpp"
#include "shell/project/fit_profile_window.hpp"
#include "shell/project/fit_readings.hpp"
#include "shell/project/fit_survey_windows.hpp"
#include "shell/project/project_menu.hpp"
#include "shell/project/project_session.hpp"
#include "shell/project/project_window.hpp"
#include "shell/reliability/reliability_window.hpp"
#include "shell/tables/batch_window.hpp"
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
  // The project of the session's main window, with its menu (工程 on the menu bar).
  ProjectSession* project() {
    if (!project_ || project_->parent() != s_->window.get()) {
      project_ = install_project_menu(*s_->window, *s_->actions);
    }
    return project_;
  }
  QPointer<ProjectSession> project_;

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

  QWidget* openAnalysis(const QByteArray& which, QtSheetView* view) {
    activate(view);
    if (which == "charts") return s_->actions->showCharts(4);
    if (which == "reliability") return s_->actions->openReliability();
    if (which == "design") {
      s_->window->findChild<QAction*>(QStringLiteral("menu_design"))->trigger();
      return s_->window->mdiArea()->activeSubWindow()->widget();
    }
    if (which == "batch") {
      s_->actions->batchAction()->trigger();
      return s_->window->mdiArea()->activeSubWindow()->widget();
    }
    // The project's windows, for the sheet's member saved in the project.
    ProjectSession* session = project();
    const auto member = session->saveSheetAsMember(4);
    if (!member) return nullptr;
    if (which == "project") return show_project_window(*session);
    // The windows of inspection data with readings computed: their charts and tables full.
    QString refusal;
    if (which == "profile fit") {
      FitProfileWindow* fit = FitProfileWindow::show(*session, *member);
      fit->ageEdit()->setText(QStringLiteral("20"));
      QString text;
      const double noise[] = {0.06, -0.05, 0.04, -0.03, 0.05, -0.02, 0.03, -0.04, 0.01};
      for (int i = 0; i < 9; ++i) {
        const double x = 2.0 + 4.0 * i;
        text += QStringLiteral("%1\t%2\n")
                    .arg(x)
                    .arg(0.3 + 4.2 * std::erfc(x / (2 * std::sqrt(500.0))) + noise[i], 0, 'f', 3);
      }
      fit->readings()->setCurrentCell(0, 0);
      fit->backgroundBox()->setCurrentIndex(2);  // fitted: four estimates
      return fit->readings()->paste(text, &refusal) && fit->fitProfile() ? fit : nullptr;
    }
    if (which == "carbonation") {
      CarbonationWindow* w = CarbonationWindow::show(*session, *member);
      w->fieldEdit()->setText(QStringLiteral("25"));
      w->readings()->setCurrentCell(0, 0);
      return w->readings()->paste(QStringLiteral("12 14.5 9 0 16 11.5 13"), &refusal) &&
                     w->calculate()
                 ? w
                 : nullptr;
    }
    if (which == "cover") {
      CoverWindow* w = CoverWindow::show(*session, *member);
      w->fieldEdit()->setText(QStringLiteral("40"));
      w->readings()->setCurrentCell(0, 0);
      return w->readings()->paste(QStringLiteral("38 41.5 36 44 40 35 42 39 37 43 45 41"),
                                  &refusal) &&
                     w->calculate()
                 ? w
                 : nullptr;
    }
    if (which == "project member table") return open_member_table(*session, 4);
    return nullptr;
  }

  // The widgets of `w` that show less than they need: a visible button, label, box or table
  // header narrower or lower than its smallest size hint (a cut caption).
  static QStringList cutWidgets(QWidget* w) {
    QStringList out;
    for (QWidget* c : w->findChildren<QWidget*>()) {
      if (!c->isVisible()) continue;
      const bool text = qobject_cast<QAbstractButton*>(c) || qobject_cast<QComboBox*>(c) ||
                        (qobject_cast<QLabel*>(c) && !qobject_cast<QLabel*>(c)->wordWrap() &&
                         !qobject_cast<QLabel*>(c)->text().isEmpty());
      if (!text) continue;
      const QSize need = c->minimumSizeHint();
      if (c->width() < need.width() || c->height() < need.height()) {
        QString caption = c->objectName();
        if (auto* b = qobject_cast<QAbstractButton*>(c)) caption += QStringLiteral(" ") + b->text();
        if (auto* l = qobject_cast<QLabel*>(c)) caption += QStringLiteral(" ") + l->text();
        out << QStringLiteral("%1 %2x%3 < %4x%5")
                   .arg(caption)
                   .arg(c->width())
                   .arg(c->height())
                   .arg(need.width())
                   .arg(need.height());
      }
    }
    return out;
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
    QTest::newRow("design") << QByteArray("design");
    QTest::newRow("project") << QByteArray("project");
    QTest::newRow("profile fit") << QByteArray("profile fit");
    QTest::newRow("carbonation readings") << QByteArray("carbonation");
    QTest::newRow("cover readings") << QByteArray("cover");
    QTest::newRow("project member table") << QByteArray("project member table");
  }
  void analysisWindowsOpenInsideTheClientArea() {
    QFETCH(QByteArray, which);
    QtSheetView* view = marine();
    QVERIFY(view);
    QWidget* w = openAnalysis(which, view);
    QVERIFY(w);
    QApplication::processEvents();
    // Its size is remembered under its own name; every button has an access key of its own.
    QVERIFY(!w->objectName().isEmpty());
    const QMenuBar* bar = s_->window->menuBar();
    QVERIFY2(access_key_problems(*w, bar).isEmpty(),
             qPrintable(access_key_problems(*w, bar).join(", ")));
    // At least its layout's smallest size, nothing cut.
    QVERIFY2(
        w->width() >= w->minimumSizeHint().width() && w->height() >= w->minimumSizeHint().height(),
        qPrintable(QStringLiteral("%1x%2 below its layout's %3x%4")
                       .arg(w->width())
                       .arg(w->height())
                       .arg(w->minimumSizeHint().width())
                       .arg(w->minimumSizeHint().height())));
    QVERIFY2(cutWidgets(w).isEmpty(), qPrintable(cutWidgets(w).join("; ")));
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

  // Alt and each access key of a window, pressed with the focus in the window, runs that
  // window's own control: its button is pressed (enabled for the test, its actions set aside),
  // its label's buddy takes the focus, its tab is shown; no entry of the main menu bar acts.
  void everyAccessKeyRunsTheWindowsOwnControl_data() {
    analysisWindowsOpenInsideTheClientArea_data();
  }
  void everyAccessKeyRunsTheWindowsOwnControl() {
    QFETCH(QByteArray, which);
    project();  // the menu bar as the program has it
    QtSheetView* view = marine();
    QVERIFY(view);
    QWidget* w = openAnalysis(which, view);
    QVERIFY(w);
    auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    QVERIFY(sub);
    int menuActed = 0;
    for (QAction* a : s_->window->menuBar()->actions()) {
      connect(a, &QAction::triggered, this, [&menuActed] { ++menuActed; });
      if (a->menu()) connect(a->menu(), &QMenu::aboutToShow, this, [&menuActed] { ++menuActed; });
    }
    const std::vector<AccessKey> keys = access_keys(*w);
    QVERIFY(!keys.empty());
    for (const AccessKey& k : keys) {
      // Each press starts from the window active and the focus in it (a press may move it).
      s_->window->mdiArea()->setActiveSubWindow(sub);
      QWidget* start = nullptr;
      for (QWidget* c : w->findChildren<QWidget*>()) {
        if (c->isVisible() && c->isEnabled() && (c->focusPolicy() & Qt::TabFocus)) {
          start = c;
          break;
        }
      }
      QVERIFY(start);
      start->setFocus(Qt::OtherFocusReason);
      QVERIFY(sub->isAncestorOf(QApplication::focusWidget()));
      auto* button = qobject_cast<QAbstractButton*>(k.holder);
      std::unique_ptr<QSignalSpy> clicked;
      if (button) {
        disconnect(button, &QAbstractButton::clicked, nullptr, nullptr);
        button->setEnabled(true);
        clicked = std::make_unique<QSignalSpy>(button, &QAbstractButton::clicked);
      }
      auto* tabs = qobject_cast<QTabBar*>(k.holder);
      if (tabs) tabs->setCurrentIndex(k.tab == 0 ? tabs->count() - 1 : 0);
      QTest::keyClick(QApplication::focusWidget(), k.key.toLatin1(), Qt::AltModifier);
      if (button) {
        QTRY_VERIFY2(clicked->count() == 1, qPrintable(k.caption));
      } else if (auto* label = qobject_cast<QLabel*>(k.holder)) {
        QTRY_VERIFY2(QApplication::focusWidget() == label->buddy() ||
                         label->buddy()->isAncestorOf(QApplication::focusWidget()),
                     qPrintable(k.caption));
      } else if (tabs) {
        QTRY_VERIFY2(tabs->currentIndex() == k.tab, qPrintable(k.caption));
      }
      QVERIFY2(menuActed == 0, qPrintable(k.caption));
    }
  }

  // Closing the program asks once, naming everything that would be lost: the project's changes,
  // a member table's computed rows, a reliability run; 取消 keeps every window, 不保存，退出
  // closes them all with no other question.
  void closingTheProgramAsksOnceForEverythingUnsaved() {
    ProjectSession* session = project();
    QtSheetView* view = marine();
    QVERIFY(view);
    session->update([](pellucor::analysis::project::Project& p) { p.structure.name = "桥"; });
    auto* table = qobject_cast<BatchWindow*>(openAnalysis("batch", view));
    QVERIFY(table);
    QApplication::clipboard()->setText(
        QStringList{"B1", "1.5", "20", "0.8", "30",  "40", "20", "1.5", "5", "1.4",       "",
                    "",   "",    "20", "20",  "1.0", "25", "10", "5",   "",  "2 变形钢筋"}
            .join('\t'));
    table->table()->setCurrentCell(0, 0);
    QTest::keyClick(table->table(), Qt::Key_V, Qt::ControlModifier);
    QSignalSpy finished(table, &BatchWindow::finished);
    table->calculateAll();
    QVERIFY(finished.wait(60000));
    QVERIFY(table->hasUnexportedResults());
    auto* reliability = qobject_cast<ReliabilityWindow*>(openAnalysis("reliability", view));
    QVERIFY(reliability);
    reliability->samplesEdit()->setText(QStringLiteral("200"));
    QSignalSpy ended(reliability, &ReliabilityWindow::runEnded);
    reliability->calculate();
    QVERIFY(ended.wait(60000));
    QVERIFY(reliability->hasUnsavedRun());

    ScriptedDialogs& d = s_->dialogs;
    d.asked.clear();
    d.nextAnswer = 2;  // 取消
    s_->window->close();
    QVERIFY(s_->window->isVisible());
    QCOMPARE(d.asked.size(), std::size_t{1});
    const auto& q = d.asked.front();
    QCOMPARE(q.answers, (QStringList{"保存工程并退出", "不保存，退出", "取消"}));
    QVERIFY2(q.text.contains("工程“未命名工程”有尚未保存的修改") &&
                 q.text.contains(
                     "批量计算 — 近海大气侵蚀引起的钢筋腐蚀：表中有已计算、尚未导出的结果") &&
                 q.text.contains("可靠度分析 — 近海大气侵蚀引起的钢筋腐蚀：有已完成"),
             qPrintable(q.text));
    QCOMPARE(s_->window->mdiArea()->subWindowList().size(), 3);
    d.nextAnswer = 1;  // 不保存，退出
    s_->window->close();
    QVERIFY(!s_->window->isVisible());
    QCOMPARE(d.asked.size(), std::size_t{2});
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(s_->window->mdiArea()->subWindowList().isEmpty());
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

    // Tiled side by side: none covers another (two sheets and a chart are more than the area
    // holds at the sheets' design size; the workspace scrolls to the rest).
    s_->window->tileAction()->trigger();
    const QList<QMdiSubWindow*> subs = s_->window->mdiArea()->subWindowList();
    for (qsizetype i = 0; i < subs.size(); ++i) {
      QVERIFY(subs[i]->x() >= 0 && subs[i]->y() >= 0);
      for (qsizetype j = i + 1; j < subs.size(); ++j) {
        QVERIFY(!subs[i]->geometry().intersects(subs[j]->geometry()));
      }
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
