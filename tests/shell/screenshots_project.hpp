// The project's windows for the screenshot program, each as it opens in the main window at its
// design size: the project with two members, the chloride profile fitted, the carbonation and cover
// readings computed, and the constant-coefficient sheet's members as a member table.
#pragma once

#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTabWidget>
#include <cmath>
#include <cstdio>

#include "analysis/project/project.hpp"
#include "screenshots_assessment.hpp"
#include "sheet_driver.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/project/fit_profile_window.hpp"
#include "shell/project/fit_readings.hpp"
#include "shell/project/fit_survey_windows.hpp"
#include "shell/project/project_menu.hpp"
#include "shell/project/project_session.hpp"
#include "shell/project/project_window.hpp"
#include "shell/tables/batch_window.hpp"
#include "worked_examples.hpp"

namespace pellucor::shell::testing {

// Writes the main window as a picture with `content`'s window in front, as it opened.
inline bool save_as_opened(MainWindow& window, QWidget* content, const QDir& folder,
                           const char* name) {
  auto* sub = content != nullptr ? qobject_cast<QMdiSubWindow*>(content->parentWidget()) : nullptr;
  if (sub == nullptr) {
    std::fprintf(stderr, "%s: no window\n", name);
    return false;
  }
  window.mdiArea()->setActiveSubWindow(sub);
  QApplication::processEvents();
  return save_picture(window, folder, QString::fromLatin1(name));
}

inline bool project_screenshots(MainWindow& window, AnalysisActions& actions, const QDir& folder) {
  namespace project = analysis::project;
  ProjectSession* session = install_project_menu(window, actions);
  window.mdiArea()->closeAllSubWindows();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  bool ok = true;
  // A beam from the constant-coefficient sheet's worked example.
  const WorkedExample& e = worked_examples().at(1);
  std::vector<analysis::batch::Entry> entries;
  for (const auto& [n, text] : e.boxes) entries.push_back({sheet::text_box(n), text.toStdString()});
  entries.push_back({sheet::Control::Combo1, "2 变形钢筋"});
  if (session->typeIntoSheet(2, entries) == nullptr) return false;
  const auto beam = session->saveSheetAsMember(2);
  if (!beam) return false;
  session->update([](project::Project& p) {
    p.structure = {
        "跨海大桥耐久性评估", "预应力混凝土连续梁桥", "浙江 舟山", "交通局", "张工", "2026年3月",
        "第二次检测"};
    p.members.front().name = "主梁 B1（北侧）";
  });
  project::Member column;
  column.name = "柱 C-3";
  column.sheet = "carbonation";
  const auto columnId = session->addMember(column);
  if (!columnId) return false;
  ProjectWindow* pw = show_project_window(*session);
  pw->selectMember(*beam);

  // The profile of a core, pasted and fitted.
  FitProfileWindow* fit = FitProfileWindow::show(*session, *beam);
  fit->ageEdit()->setText(QStringLiteral("20"));
  QString text;
  const double noise[] = {0.06, -0.05, 0.04, -0.03, 0.05, -0.02, 0.03, -0.04, 0.01};
  for (int i = 0; i < 9; ++i) {
    const double x = 2.0 + 4.0 * i;
    text += QStringLiteral("%1\t%2\n")
                .arg(x)
                .arg(0.3 + 4.2 * std::erfc(x / (2 * std::sqrt(25.0 * 20))) + noise[i], 0, 'f', 3);
  }
  fit->readings()->setCurrentCell(0, 0);
  QString refusal;
  ok = fit->readings()->paste(text, &refusal) && ok;
  fit->backgroundBox()->setCurrentIndex(2);
  ok = fit->fitProfile() && ok;
  ok = save_as_opened(window, fit, folder, "project-2-profile-fit.png") && ok;

  CarbonationWindow* carb = CarbonationWindow::show(*session, *columnId);
  carb->fieldEdit()->setText(QStringLiteral("25"));
  carb->readings()->setCurrentCell(0, 0);
  ok = carb->readings()->paste(QStringLiteral("12 14.5 9 0 16 11.5 13"), &refusal) && ok;
  ok = carb->calculate() && ok;
  ok = save_as_opened(window, carb, folder, "project-3-carbonation.png") && ok;

  CoverWindow* cover = CoverWindow::show(*session, *beam);
  cover->fieldEdit()->setText(QStringLiteral("40"));
  cover->readings()->setCurrentCell(0, 0);
  ok =
      cover->readings()->paste(QStringLiteral("38 41.5 36 44 40 35 42 39 37 43 45 41"), &refusal) &&
      ok;
  ok = cover->calculate() && ok;
  ok = save_as_opened(window, cover, folder, "project-4-cover.png") && ok;

  ok = save_as_opened(window, pw, folder, "project-1-project.png") && ok;
  BatchWindow* table = open_member_table(*session, 2);
  if (table != nullptr) {
    QSignalSpy finished(table, &BatchWindow::finished);
    table->calculateAll();
    if (table->isRunning() && !finished.wait(120000)) ok = false;
  }
  ok = save_as_opened(window, table, folder, "project-5-member-table.png") && ok;
  // The assessment settings the table's panel takes from the project.
  if (auto* tabs = table != nullptr
                       ? table->findChild<QTabWidget*>(QStringLiteral("assessmentTabs"))
                       : nullptr) {
    tabs->setCurrentIndex(tabs->count() - 1);
    ok = save_as_opened(window, table, folder, "project-6-assessment-settings.png") && ok;
  } else {
    std::fprintf(stderr, "project-6-assessment-settings.png: no settings tab\n");
    ok = false;
  }
  return ok;
}

}  // namespace pellucor::shell::testing
