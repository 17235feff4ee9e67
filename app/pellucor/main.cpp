// The desktop program: the main window with its five calculation sheets.
#include <QApplication>

#include "shell/application.hpp"
#include "shell/batch_window.hpp"
#include "shell/dialogs.hpp"
#include "shell/main_window.hpp"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  pellucor::shell::prepare_application(app);

  pellucor::shell::QtMessagePresenter messages;
  pellucor::shell::QtFileChooser files;
  pellucor::shell::QtBatchDialogs batchDialogs;
  pellucor::shell::MainWindow window(messages, files);
  pellucor::shell::install_batch_menu(window, batchDialogs);
  window.show();
  return QApplication::exec();
}
