// The desktop program: the main window with its five calculation sheets and the analysis menu;
// with --report, the structure report of a project written without a window.
#include <QApplication>
#include <QStringList>
#include <QTextStream>

#include "shell/analysis_actions.hpp"
#include "shell/application.hpp"
#include "shell/dialogs.hpp"
#include "shell/main_window.hpp"
#include "shell/project_session.hpp"
#include "shell/structure_report.hpp"

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
  pellucor::shell::install_analysis_menu(window);
  auto* projects = pellucor::shell::install_project_menu(window);
  window.rememberGeometry();
  window.show();
  // A project named on the command line: a .pellucor file opened from the file manager.
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() == 2 && !arguments[1].startsWith(QLatin1Char('-'))) {
    projects->openFile(arguments[1]);
  }
  return QApplication::exec();
}
