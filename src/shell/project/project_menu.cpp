#include "shell/project/project_menu.hpp"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <optional>

#include "shell/analysis_menu/analysis_actions.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/project/project_assessment_window.hpp"
#include "shell/project/project_session.hpp"
#include "shell/project/project_window.hpp"
#include "shell/reports/structure_report.hpp"

namespace pellucor::shell {

namespace {

const QString kTitle = QString::fromUtf8(kProjectTitle);

}  // namespace

ProjectSession* install_project_menu(MainWindow& main, AnalysisActions& analysis) {
  auto* session = new ProjectSession(main, analysis);
  auto* menu = new QMenu(QStringLiteral("工程(&G)"), &main);
  menu->setObjectName(QStringLiteral("projectMenu"));
  // Beside the analysis menu, after the sheets' entries: the specified entries keep their order.
  QAction* entry = main.menuBar()->insertMenu(main.analysisMenu()->menuAction(), menu);
  entry->setObjectName(QStringLiteral("menu_project"));

  auto add = [&](const QString& text, const char* name, auto slot) {
    QAction* a = menu->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    QObject::connect(a, &QAction::triggered, session, slot);
    return a;
  };
  // A new or opened project shows itself: the project is where the work lives.
  add(QStringLiteral("新建(&N)"), "projectNew", [session] {
    if (session->newProject()) show_project_window(*session);
  });
  add(QStringLiteral("打开(&O)…"), "projectOpen", [session] {
    if (session->open()) show_project_window(*session);
  });
  add(QStringLiteral("保存(&S)"), "projectSave", [session] { session->save(); });
  add(QStringLiteral("另存为(&A)…"), "projectSaveAs", [session] { session->saveAs(); });
  QMenu* recent = menu->addMenu(QStringLiteral("最近的工程(&R)"));
  recent->setObjectName(QStringLiteral("recentProjects"));
  session->setRecentMenu(recent);
  menu->addSeparator();
  add(QStringLiteral("工程与构件(&M)…"), "projectWindow",
      [session] { show_project_window(*session); });
  add(QStringLiteral("工程评估(&V)…"), "projectAssessment",
      [session] { ProjectAssessmentWindow::show(*session); });
  add(QStringLiteral("将当前表单存为构件(&E)"), "projectSaveSheet", [session] {
    const int sheet = session->mainWindow().activeSheet();
    if (sheet == 0) {
      session->mainWindow().dialogs().showWarning(
          &session->mainWindow(), kTitle,
          QStringLiteral("请先打开一个计算表，并使它成为活动窗口!"));
      return;
    }
    if (session->saveSheetAsMember(sheet)) show_project_window(*session);
  });
  // A report starts from the project's structure, the member its sheet holds and the engineer.
  analysis.setReportDetailsSource([session](int sheet, ReportDetails d) {
    const auto& s = session->project().structure;
    if (!s.name.empty()) d.project = QString::fromStdString(s.name);
    if (!s.structure.empty()) d.structure = QString::fromStdString(s.structure);
    if (!s.engineer.empty()) d.inspector = QString::fromStdString(s.engineer);
    if (const auto id = session->memberInSheet(sheet)) {
      d.member = QString::fromStdString(session->member(*id)->name);
    }
    return d;
  });
  // The main window's caption names the project once there is one (the program's own caption
  // alone before), with the mark of unsaved changes.
  const auto retitle = [session, &main] {
    const bool none =
        session->path().isEmpty() && !session->isModified() && session->project().members.empty();
    main.setWindowTitle(none ? QStringLiteral("Pellucor")
                             : QStringLiteral("Pellucor — ") + session->displayName() +
                                   QStringLiteral("[*]"));
    main.setWindowModified(session->isModified());
  };
  QObject::connect(session, &ProjectSession::stateChanged, &main, retitle);
  QObject::connect(session, &ProjectSession::projectChanged, &main, retitle);
  // A recent project opened shows itself too.
  if (QMenu* recentMenu = session->recentMenu()) {
    QObject::connect(recentMenu, &QMenu::triggered, session, [session](QAction* a) {
      const QString opened = QFileInfo(a->data().toString()).absoluteFilePath();
      if (opened == session->path() && !session->isModified()) show_project_window(*session);
    });
  }
  // The structure report of the project as it stands; a project file is asked for while the
  // session holds nothing (never saved, unchanged, no member).
  install_structure_report_menu(main, [session]() -> std::optional<OpenProject> {
    if (session->path().isEmpty() && !session->isModified() && session->project().members.empty()) {
      return std::nullopt;
    }
    return OpenProject{
        session->project(), session->skipped(), {session->path(), session->isModified()}};
  });
  return session;
}

}  // namespace pellucor::shell
