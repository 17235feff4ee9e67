// The desktop program: the main window with its five calculation sheets and the analysis menu;
// with --report, the structure report of a project written without a window.
#include <QApplication>
#include <QTextStream>

#include "shell/analysis_menu/analysis_actions.hpp"
#include "shell/frame/application.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/project/project_menu.hpp"
#include "shell/reports/structure_report.hpp"

int main(int argc, char** argv) {
  // The structure report from the command line needs no display: it is drawn offscreen unless
  // a platform is named.
  const bool report = pellucor::shell::report_requested(argc, argv);
  if (report && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  pellucor::shell::prepare_application(app);
  if (report) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    return pellucor::shell::run_report_command(QApplication::arguments(), out, err);
  }

  pellucor::shell::QtDialogs dialogs;
  pellucor::shell::MainWindow window(dialogs);
  pellucor::shell::AnalysisActions* analysis = pellucor::shell::install_analysis_menu(window);
  pellucor::shell::install_project_menu(window, *analysis);
  window.rememberGeometry();
  window.show();
  return QApplication::exec();
}
