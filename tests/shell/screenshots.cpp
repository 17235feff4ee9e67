// Writes one PNG per sheet as a user sees it: the main window with the sheet open, its worked
// example typed in through the widgets, after Calculate. Also the empty main window, and the
// whole screen with each of the real dialogs up: a message box, the save dialog and its question
// about an existing file.
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
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <vector>

#include "screenshots_assessment.hpp"
#include "sheet_driver.hpp"
#include "shell/analysis_actions.hpp"
#include "shell/chart_window.hpp"
#include "shell/main_window.hpp"
#include "shell/pdf_report.hpp"
#include "shell/qt_sheet_view.hpp"
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
                                        SaveMode mode) override {
    return current().chooseSaveFile(parent, title, filter, defaultSuffix, mode);
  }
  std::optional<QString> chooseOpenFile(QWidget* parent, const QString& title,
                                        const QString& filter) override {
    return current().chooseOpenFile(parent, title, filter);
  }
  std::unique_ptr<QPrinter> choosePrinter(QWidget* parent, const QString& name) override {
    return current().choosePrinter(parent, name);
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
  const QString path = folder.filePath(QString::fromLatin1(name));
  if (!window.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  prepare_application(app);
  if (argc != 2) {
    std::fprintf(stderr, "usage: pellucor_screenshots OUTPUT_FOLDER\n");
    return 1;
  }
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
  if (!QTest::qWaitForWindowActive(&window)) {
    std::fprintf(stderr, "the main window did not become active\n");
    return 1;
  }
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
    frame->resize(900, 640);
    QApplication::processEvents();
    const QByteArray name =
        QStringLiteral("charts-%1-%2.png").arg(e.sheet).arg(QLatin1String(e.name)).toUtf8();
    ok = save(*frame, folder, name.constData()) && ok;
    if (e.sheet == 4) {
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
  }
  ok = assessment_screenshots(window, folder) && ok;
  return ok ? 0 : 2;
}
