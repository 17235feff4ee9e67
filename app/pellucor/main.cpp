// The desktop program: the main window with its five calculation sheets and the analysis menu.
#include <QApplication>

#include "shell/analysis_actions.hpp"
#include "shell/application.hpp"
#include "shell/dialogs.hpp"
#include "shell/main_window.hpp"
#include "shell/project_session.hpp"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  pellucor::shell::prepare_application(app);

  pellucor::shell::QtDialogs dialogs;
  pellucor::shell::MainWindow window(dialogs);
  pellucor::shell::install_analysis_menu(window);
  pellucor::shell::install_project_menu(window);
  window.rememberGeometry();
  window.show();
  return QApplication::exec();
}
