// The desktop program: the main window with its five calculation sheets and the analysis menu;
// with --report, the structure report of a project written without a window.
#include <QApplication>
#include <QStringList>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <string_view>

#include "shell/analysis_menu/analysis_actions.hpp"
#include "shell/frame/application.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/window_kit.hpp"
#include "shell/project/project_menu.hpp"
#include "shell/project/project_session.hpp"
#include "shell/reports/structure_report.hpp"

namespace {

constexpr const char* kUsage =
    "Usage: pellucor [PROJECT.pellucor]\n"
    "       pellucor --report PROJECT.pellucor -o REPORT.pdf [--reliability]\n"
    "       pellucor --help\n"
    "\n"
    "Without arguments, opens the desktop program (its forms and reports are in Chinese);\n"
    "with a project file, opens the program with that project.\n"
    "--report writes the structure report of a project as a PDF without opening a window\n"
    "('pellucor --report --help' says more). The console program pellucor-cli runs the same\n"
    "sheets, member tables and analyses from the command line (pellucor-cli --help).\n"
    "The toolkit's own options (-platform NAME, -style NAME, ...) are taken as it takes them.\n";

bool help_asked(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a(argv[i]);
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // The structure report from the command line needs no display: it is drawn offscreen unless
  // a platform is named.
  const bool report = pellucor::shell::report_requested(argc, argv);
  // Help needs no display either, and opens no window.
  if (!report && help_asked(argc, argv)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
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
  // What the toolkit did not take as its own is a project file to open (a .pellucor file opened
  // from the file manager) or no argument of the program's.
  const QStringList arguments = QApplication::arguments();
  const bool projectNamed = arguments.size() == 2 && !arguments[1].startsWith(QLatin1Char('-'));
  if (arguments.size() > 1 && !projectNamed) {
    QTextStream err(stderr);
    // Either an option the program does not know, or a second name after the project's.
    const QString& unexpected =
        arguments[1].startsWith(QLatin1Char('-')) ? arguments[1] : arguments[2];
    err << "pellucor: unexpected argument '" << unexpected << "'\n\n" << kUsage;
    return 1;
  }

  pellucor::shell::QtDialogs dialogs;
  pellucor::shell::MainWindow window(dialogs);
  pellucor::shell::AnalysisActions* analysis = pellucor::shell::install_analysis_menu(window);
  pellucor::shell::ProjectSession* projects =
      pellucor::shell::install_project_menu(window, *analysis);
  window.rememberGeometry();
  window.show();
  // Settings the program cannot use are left alone, and the user is told once the window shows.
  if (const QString problem = pellucor::shell::settings_problem(); !problem.isEmpty()) {
    QTimer::singleShot(0, &window, [&window, &dialogs, problem] {
      dialogs.showWarning(&window, QStringLiteral("设置"),
                          problem + QStringLiteral("\n\n本次运行既不读取也不写入它：窗口位置、"
                                                   "最近的工程等设置只保留到程序结束。请删除或"
                                                   "改正该文件。"));
    });
  }
  if (projectNamed) {
    projects->openFile(arguments[1]);
  }
  return QApplication::exec();
}
