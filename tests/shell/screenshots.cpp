// Writes one PNG per sheet as a user sees it: the main window with the sheet open, its worked
// example typed in through the widgets, after Calculate. Also the empty main window, and the
// whole screen with each of the real dialogs up: a message box, the save dialog and its question
// about an existing file. Then the reliability analysis of the time-dependent chloride sheet after
// a run with stopped samples, tab by tab, and its PDF report.
// Usage: pellucor_screenshots OUTPUT_FOLDER (under a real display server, e.g. xvfb-run).
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <vector>

#include "screenshots_assessment.hpp"
#include "screenshots_project.hpp"
#include "screenshots_update.hpp"
#include "sheet_driver.hpp"
#include "shell/analysis_menu/analysis_actions.hpp"
#include "shell/charts/chart_window.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/report_details.hpp"
#include "shell/reliability/reliability_window.hpp"
#include "shell/reports/pdf_report.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"
#include "shell/tables/batch_window.hpp"
#include "shell_fixture.hpp"
#include "worked_examples.hpp"

using pellucor::sheet::Control;
using namespace pellucor::shell;
using namespace pellucor::shell::testing;

namespace {

// The dialogs are either answered at once (while the sheets are filled) or the real ones.
class SwitchingDialogs final : public Dialogs {
 public:
  void showWarning(QWidget* parent, const QString& title, const QString& text) override {
    current().showWarning(parent, title, text);
  }
  std::optional<int> ask(QWidget* parent, const QString& title, const QString& text,
                         const QStringList& answers, int defaultAnswer) override {
    return current().ask(parent, title, text, answers, defaultAnswer);
  }
  std::optional<QString> chooseSaveFile(QWidget* parent, const QString& title,
                                        const QString& filter, const QString& defaultSuffix,
                                        SaveMode mode, const QString& suggested = {}) override {
    return current().chooseSaveFile(parent, title, filter, defaultSuffix, mode, suggested);
  }
  std::optional<QString> chooseOpenFile(QWidget* parent, const QString& title,
                                        const QString& filter) override {
    return current().chooseOpenFile(parent, title, filter);
  }
  std::unique_ptr<QPrinter> choosePrinter(QWidget* parent, const QString& name) override {
    return current().choosePrinter(parent, name);
  }
  std::optional<ReportDetails> askReportDetails(QWidget* parent,
                                                const ReportDetails& initial) override {
    return current().askReportDetails(parent, initial);
  }
  Dialogs& current() { return real ? static_cast<Dialogs&>(qt) : scripted; }

  bool real = false;
  ScriptedDialogs scripted;
  QtDialogs qt;
};

// The whole screen: the dialogs are windows of their own.
bool saveScreen(const QDir& folder, const char* name) {
  QTest::qWait(300);  // let the window system show and paint the dialog
  const QString path = folder.filePath(QString::fromLatin1(name));
  if (!QGuiApplication::primaryScreen()->grabWindow(0).save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

QPushButton* buttonNamed(QMessageBox* box, const QString& text) {
  for (QAbstractButton* b : box->buttons()) {
    if (b->text() == text) return qobject_cast<QPushButton*>(b);
  }
  return nullptr;
}

bool save(QWidget& window, const QDir& folder, const char* name) {
  return save_picture(window, folder, QString::fromLatin1(name));
}

// The member table of the sheet with a few members (one of them stopped by a check), after
// 全部计算, as it opens in the main window at its design size.
bool memberTable(MainWindow& window, const WorkedExample& e, const QDir& folder) {
  QAction* menu = window.findChild<QAction*>(QStringLiteral("menu_batch"));
  if (!menu) return false;
  menu->trigger();
  QApplication::processEvents();
  QMdiSubWindow* sub = window.mdiArea()->activeSubWindow();
  auto* table = sub ? qobject_cast<BatchWindow*>(sub->widget()) : nullptr;
  if (!table) {
    std::fprintf(stderr, "the member table did not open\n");
    return false;
  }
  const QStringList covers = {QStringLiteral("30"), QStringLiteral("40"), QStringLiteral("25"),
                              QStringLiteral("95")};
  QStringList lines;
  for (int m = 0; m < covers.size(); ++m) {
    QStringList cells(table->columns().status());
    cells[0] = QStringLiteral("梁 B-%1").arg(m + 1);
    for (const auto& [n, text] : e.boxes) {
      const int column = table->columns().of(pellucor::sheet::text_box(n));
      if (column >= 0) cells[column] = n == 5 ? covers[m] : text;
    }
    cells[table->columns().of(Control::Combo1)] = QStringLiteral("2 变形钢筋");
    lines << cells.join(QLatin1Char('\t'));
  }
  table->table()->setCurrentCell(0, 0);
  table->paste(lines.join(QLatin1Char('\n')));
  QSignalSpy done(table, &BatchWindow::finished);
  table->calculateAll();
  if (!done.wait(60000)) {
    std::fprintf(stderr, "the member table did not finish\n");
    return false;
  }
  QApplication::processEvents();
  const bool ok = save(window, folder, "member-table.png");
  sub->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return ok;
}

// The reliability analysis of the active sheet after a run, as it opens in the main window.
bool reliability(MainWindow& window, AnalysisActions& actions, const QDir& folder) {
  ReliabilityWindow* w = actions.openReliability();
  if (!w) {
    std::fprintf(stderr, "the reliability window did not open\n");
    return false;
  }
  w->samplesEdit()->setText(QStringLiteral("2000"));
  QSignalSpy ended(w, &ReliabilityWindow::runEnded);
  w->calculate();
  if (!ended.wait(120000) || !w->report()) {
    std::fprintf(stderr, "the reliability run did not finish\n");
    return false;
  }
  QApplication::processEvents();
  // Left open: the report of the sheet includes its run.
  return save(window, folder, "reliability.png");
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  prepare_application(app);
  // With a project file: only the reliability window updated with its members' measurements.
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: pellucor_screenshots OUTPUT_FOLDER [PROJECT.pellucor]\n");
    return 1;
  }
  // Neither the user's remembered window sizes nor report details: those of a first start.
  QTemporaryDir settingsFolder;
  if (!settingsFolder.isValid()) return 1;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder.path());
  QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(".")) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }

  SwitchingDialogs dialogs;
  std::vector<ScriptedDialogs::Message>& messages = dialogs.scripted.shown;
  MainWindow window(dialogs);
  AnalysisActions* actions = install_analysis_menu(window);
  window.show();
  // Without a window manager nothing activates the window for us.
  if (QTest::qWaitForWindowExposed(&window)) window.activateWindow();
  if (argc == 3) {
    ProjectSession* session = install_project_menu(window, *actions);
    return update_screenshots(window, *session, *actions, folder, QString::fromLocal8Bit(argv[2]))
               ? 0
               : 2;
  }
  if (!QTest::qWaitForWindowActive(&window)) {
    std::fprintf(stderr, "the main window did not become active\n");
    return 1;
  }
  // The design size of the client area: the smallest the windows must fit into.
  window.resize(window.designSize());
  QApplication::processEvents();
  bool ok = save(window, folder, "0-main-window.png");

  for (const WorkedExample& e : worked_examples()) {
    window.menuAction(e.sheet)->trigger();
    QApplication::processEvents();
    QtSheetView* view = window.sheetView(e.sheet);
    if (!view) {
      std::fprintf(stderr, "sheet %d did not open\n", e.sheet);
      return 1;
    }
    fill(view, e.boxes);
    for (const Control c : e.options) click(view, c);
    if (!chooseSteelKind(view, e.steelKind)) {
      std::fprintf(stderr, "sheet %d: the steel kind could not be chosen\n", e.sheet);
      ok = false;
    }
    click(view, Control::CmdCal);
    QApplication::processEvents();
    for (const auto& m : messages) {
      std::fprintf(stderr, "sheet %d: message \"%s\": %s\n", e.sheet, qPrintable(m.title),
                   qPrintable(m.text));
      ok = false;
    }
    messages.clear();
    if (!view->isEnabled(Control::CmdSave)) {
      std::fprintf(stderr, "sheet %d: the calculation did not finish\n", e.sheet);
      ok = false;
    }
    const QByteArray file =
        QStringLiteral("%1-%2.png").arg(e.sheet).arg(QLatin1String(e.name)).toUtf8();
    ok = save(window, folder, file.constData()) && ok;
    click(view, Control::CmdExit);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // The chart window of every sheet after its worked example (the corrosion-depth tab, which
  // carries every marked point and phase), and the PDF report of the marine sheet.
  for (const WorkedExample& e : worked_examples()) {
    window.menuAction(e.sheet)->trigger();
    QApplication::processEvents();
    QtSheetView* view = window.sheetView(e.sheet);
    if (!view) return 1;
    fill(view, e.boxes);
    for (const Control c : e.options) click(view, c);
    chooseSteelKind(view, e.steelKind);
    click(view, Control::CmdCal);
    QApplication::processEvents();
    ChartWindow* charts = actions->showCharts(e.sheet);
    if (!charts || charts->tabs()->count() == 0) {
      std::fprintf(stderr, "sheet %d: no charts\n", e.sheet);
      ok = false;
      continue;
    }
    for (int i = 0; i < charts->tabs()->count(); ++i) {
      if (charts->tabs()->tabText(i) == QStringLiteral("锈蚀深度"))
        charts->tabs()->setCurrentIndex(i);
    }
    QWidget* frame = charts->parentWidget();
    QApplication::processEvents();
    // The main window at its design size, the chart window as it opens there.
    const QByteArray name =
        QStringLiteral("charts-%1-%2.png").arg(e.sheet).arg(QLatin1String(e.name)).toUtf8();
    ok = save(window, folder, name.constData()) && ok;
    if (e.sheet == 4) {
      // The analyses of the marine sheet start from its window.
      for (int i = 0; i < charts->tabs()->count(); ++i) {
        if (charts->tabs()->tabText(i) == QStringLiteral("钢筋处氯离子浓度")) {
          charts->tabs()->setCurrentIndex(i);
          QApplication::processEvents();
          ok = save(window, folder, "charts-4-marine-bar.png") && ok;
        }
      }
      window.mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(view->parentWidget()));
      ok = memberTable(window, e, folder) && ok;
      window.mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(view->parentWidget()));
      ok = reliability(window, *actions, folder) && ok;
      const QString pdf = folder.filePath(QStringLiteral("report-marine.pdf"));
      if (actions->writeReport(e.sheet, pdf)) {
        std::printf("%s\n", qPrintable(pdf));
      } else {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(pdf));
        ok = false;
      }
    }
    frame->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  // The reliability analysis of the time-dependent chloride sheet's worked example after a run
  // in which samples stopped: the window on each of its tabs, and the PDF report with its
  // reliability section.
  for (const WorkedExample& e : worked_examples()) {
    if (e.sheet != 3) continue;
    window.menuAction(e.sheet)->trigger();
    QApplication::processEvents();
    QtSheetView* view = window.sheetView(e.sheet);
    if (!view) return 1;
    fill(view, e.boxes);
    for (const Control c : e.options) click(view, c);
    chooseSteelKind(view, e.steelKind);
    click(view, Control::CmdCal);
    QApplication::processEvents();
    ReliabilityWindow* analysis = actions->openReliability();
    if (!analysis) return 1;
    analysis->samplesEdit()->setText(QStringLiteral("20000"));
    QSignalSpy ended(analysis, &ReliabilityWindow::runEnded);
    QTest::mouseClick(analysis->calculateButton(), Qt::LeftButton);
    if (!ended.wait(120000) || !analysis->report()) {
      std::fprintf(stderr, "the reliability analysis did not finish\n");
      ok = false;
      break;
    }
    const char* const tabs[] = {"reliability-0-inputs.png", "reliability-1-results.png",
                                "reliability-2-probability.png", "reliability-3-beta.png",
                                "reliability-4-tornado.png"};
    for (int i = 0; i < analysis->resultTabs()->count() && i < 5; ++i) {
      analysis->resultTabs()->setCurrentIndex(i);
      QApplication::processEvents();
      ok = save(window, folder, tabs[i]) && ok;
    }
    analysis->resultTabs()->setCurrentIndex(0);
    const QString pdf = folder.filePath(QStringLiteral("report-reliability.pdf"));
    if (actions->writeReport(e.sheet, pdf, analysis)) {
      std::printf("%s\n", qPrintable(pdf));
    } else {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(pdf));
      ok = false;
    }
    qobject_cast<QWidget*>(analysis->parentWidget())->close();
    click(view, Control::CmdExit);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  // The real dialogs. A message box: leaving the first box of the time-dependent chloride sheet
  // while it still holds its default (the sheet is closed first, so that it opens afresh).
  {
    if (QtSheetView* earlier = window.sheetView(3)) {
      click(earlier, Control::CmdExit);
      QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    window.menuAction(3)->trigger();
    QApplication::processEvents();
    QtSheetView* view = window.sheetView(3);
    if (!view) return 2;
    dialogs.real = true;
    ModalScript script;
    script.then<QMessageBox>([&](QMessageBox* box) {
      ok = saveScreen(folder, "6-message-box.png") && ok;
      QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    if (!script.run([] { press(Qt::Key_Tab); })) {
      std::fprintf(stderr, "the message box did not come up\n");
      ok = false;
    }
    // Whatever happened, the way out must not wait for a real box.
    dialogs.real = false;
    // The window system gives the focus back to the main window after the box has gone.
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window) || QApplication::focusWidget() == nullptr) return 2;
    typeHere("1");
    click(view, Control::CmdExit);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  // The save dialog and its question about an existing file, answered 取消 and then Cancel.
  {
    QTemporaryDir dir;
    QFile earlier(dir.filePath("RESULT.DAT"));
    if (!dir.isValid() || !earlier.open(QIODevice::WriteOnly)) return 2;
    earlier.close();
    window.menuAction(5)->trigger();
    QApplication::processEvents();
    QtSheetView* view = window.sheetView(5);
    if (!view) return 2;
    fill(view, worked_examples().back().boxes);
    chooseSteelKind(view, worked_examples().back().steelKind);
    click(view, Control::CmdCal);
    if (!view->isEnabled(Control::CmdSave)) return 2;
    ModalScript script;
    script.then<QFileDialog>([&](QFileDialog* d) {
      d->setDirectory(dir.path());
      auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
      if (edit) edit->setText("RESULT.DAT");
      ok = saveScreen(folder, "7-save-dialog.png") && ok;
      if (edit) QTest::keyClick(edit, Qt::Key_Return);
    });
    script.then<QMessageBox>([&](QMessageBox* question) {
      ok = saveScreen(folder, "8-append-question.png") && ok;
      if (QPushButton* cancel = buttonNamed(question, QString::fromUtf8(kCancelButton))) {
        QTest::mouseClick(cancel, Qt::LeftButton);
      }
    });
    script.then<QFileDialog>([&](QFileDialog* d) {
      auto* buttons = d->findChild<QDialogButtonBox*>("buttonBox");
      if (buttons) QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    });
    dialogs.real = true;
    if (!script.run([&] { click(view, Control::CmdSave); })) {
      std::fprintf(stderr, "the save dialog and its question did not come up in turn\n");
      ok = false;
    }
    dialogs.real = false;

    // 报告: the details dialog, filled in as a user would, then cancelled.
    ModalScript details;
    details.then<ReportDetailsDialog>([&](ReportDetailsDialog* d) {
      const std::pair<const char*, const char*> fields[] = {{"project", "滨海大桥耐久性检测"},
                                                            {"structure", "引桥第三跨"},
                                                            {"member", "梁 B-12"},
                                                            {"inspector", "张工"},
                                                            {"checker", "李工"}};
      for (const auto& [name, text] : fields) {
        if (auto* edit = d->findChild<QLineEdit*>(QLatin1String(name))) {
          edit->setText(QString::fromUtf8(text));
        }
      }
      ok = saveScreen(folder, "9-report-details.png") && ok;
      d->reject();
    });
    window.mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(view->parentWidget()));
    dialogs.real = true;
    if (!details.run([&] { actions->reportAction()->trigger(); })) {
      std::fprintf(stderr, "the report's details dialog did not come up\n");
      ok = false;
    }
    dialogs.real = false;
  }
  ok = project_screenshots(window, *actions, folder) && ok;
  ok = assessment_screenshots(window, folder) && ok;
  return ok ? 0 : 2;
}
