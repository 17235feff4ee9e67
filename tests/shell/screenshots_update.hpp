// The reliability window updated with a member's measurements, for the screenshot program: a
// project of two members (a column with 50 carbonation depths, a beam with two cores and a
// cover survey) opened from its file, each member's analysis opened from the project window
// and updated; every tab of the window at its design size and maximised, and the sheet's report
// with the update.
#pragma once

#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTabWidget>
#include <cstdio>

#include "analysis/project/project.hpp"
#include "shell/analysis_menu/analysis_actions.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/project/project_session.hpp"
#include "shell/project/project_window.hpp"
#include "shell/reliability/reliability_window.hpp"

namespace pellucor::shell::testing {

// `project` is the file to open (a project whose members hold inspection data).
inline bool update_screenshots(MainWindow& window, ProjectSession& session,
                               AnalysisActions& actions, const QDir& folder,
                               const QString& project) {
  window.mdiArea()->closeAllSubWindows();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  if (!session.openFile(project)) {
    std::fprintf(stderr, "cannot open %s\n", qPrintable(project));
    return false;
  }
  bool ok = true;
  for (std::size_t i = 0; i < session.project().members.size(); ++i) {
    const auto id = session.idAt(i);
    ProjectWindow* pw = show_project_window(session);
    pw->selectMember(*id);
    pw->openReliability();
    auto* sub = window.mdiArea()->activeSubWindow();
    auto* w = sub ? qobject_cast<ReliabilityWindow*>(sub->widget()) : nullptr;
    if (w == nullptr) {
      std::fprintf(stderr, "member %zu: no reliability window\n", i + 1);
      ok = false;
      continue;
    }
    w->samplesEdit()->setText(QStringLiteral("20000"));
    QSignalSpy ended(w, &ReliabilityWindow::runEnded);
    w->calculate();
    if (!ended.wait(300000) || !w->updateResult()) {
      std::fprintf(stderr, "member %zu: the update did not finish\n", i + 1);
      ok = false;
      continue;
    }
    const char* const names[] = {"inputs",  "results", "probability", "beta",
                                 "tornado", "update",  "charts"};
    // The project window stays open behind the analysis.
    window.mdiArea()->setActiveSubWindow(sub);
    for (bool maximised : {false, true}) {
      if (maximised) sub->showMaximized();
      for (int t = 0; t < w->resultTabs()->count() && t < 7; ++t) {
        if (!maximised && t >= 1 && t <= 4) continue;  // the run's own tabs as before
        w->resultTabs()->setCurrentIndex(t);
        QApplication::processEvents();
        const QString file = QStringLiteral("update-%1-%2%3.png")
                                 .arg(i + 1)
                                 .arg(QLatin1String(names[t]))
                                 .arg(maximised ? QStringLiteral("-max") : QString());
        const QString path = folder.filePath(file);
        if (!window.grab().save(path)) {
          std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
          ok = false;
        } else {
          std::printf("%s\n", qPrintable(path));
        }
      }
      if (maximised) sub->showNormal();
    }
    const QString pdf = folder.filePath(QStringLiteral("update-%1-report.pdf").arg(i + 1));
    if (actions.writeReport(w->sheet(), pdf, w)) {
      std::printf("%s\n", qPrintable(pdf));
    } else {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(pdf));
      ok = false;
    }
    w->noteReportWritten();
  }
  return ok;
}

}  // namespace pellucor::shell::testing
