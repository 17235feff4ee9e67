// The pictures of the assessment's windows for the screenshots program: the design window after
// a deterministic search (the constant-coefficient chloride sheet, cover for 50 years of
// durable life), after a search no value of the range can meet, and after a probabilistic
// search; the assessment panel of a few members; the structure report of a project of five
// members, one of each sheet, one with a core and one stopped by its sheet (the script turns
// its pages into pictures).
#pragma once

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <cstdio>

#include "analysis/project/project.hpp"
#include "analysis/structure/structure.hpp"
#include "sheet_driver.hpp"
#include "shell/design/design_window.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/reports/structure_report.hpp"
#include "shell/tables/assessment_panel.hpp"
#include "shell/tables/batch_window.hpp"
#include "worked_examples.hpp"

namespace pellucor::shell::testing {

// Writes `window` as a picture NAME.png; in a main window, also with its active window
// maximised (NAME-max.png), which is then put back as it was.
inline bool save_picture(QWidget& window, const QDir& folder, const QString& name) {
  const QString path = folder.filePath(name);
  if (!window.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  auto* area =
      qobject_cast<MainWindow*>(&window) != nullptr ? window.findChild<QMdiArea*>() : nullptr;
  QMdiSubWindow* active = area != nullptr ? area->activeSubWindow() : nullptr;
  if (active == nullptr || active->isMaximized()) return true;
  active->showMaximized();
  QApplication::processEvents();
  QString maximised = path;
  maximised.replace(QStringLiteral(".png"), QStringLiteral("-max.png"));
  const bool ok = window.grab().save(maximised);
  active->showNormal();
  QApplication::processEvents();
  if (!ok) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(maximised));
    return false;
  }
  std::printf("%s\n", qPrintable(maximised));
  return true;
}

inline bool design_search(DesignWindow* w) {
  QSignalSpy ended(w, &DesignWindow::searchEnded);
  w->solve();
  return w->isRunning() ? ended.wait(120000) : !ended.isEmpty();
}

inline bool assessment_screenshots(MainWindow& window, const QDir& folder) {
  bool ok = true;
  const WorkedExample& e = worked_examples().at(1);  // constant-coefficient chloride
  window.menuAction(e.sheet)->trigger();
  QApplication::processEvents();
  QtSheetView* view = window.sheetView(e.sheet);
  if (!view) return false;
  fill(view, e.boxes);
  chooseSteelKind(view, e.steelKind);
  window.findChild<QAction*>(QStringLiteral("menu_design"))->trigger();
  QMdiSubWindow* sub = window.mdiArea()->activeSubWindow();
  auto* design = sub ? qobject_cast<DesignWindow*>(sub->widget()) : nullptr;
  if (!design) {
    std::fprintf(stderr, "the design window did not open\n");
    return false;
  }
  // As it opens in the main window at its design size.
  const auto shoot = [&](const char* name) {
    QApplication::processEvents();
    ok = save_picture(window, folder, QString::fromLatin1(name)) && ok;
  };
  if (!design_search(design) || !design->result()) {
    std::fprintf(stderr, "the design search gave no answer\n");
    ok = false;
  }
  shoot("design-cover-50a.png");
  design->targetLifeEdit()->setText(QStringLiteral("500"));
  ok = design_search(design) && ok;
  shoot("design-none-meets.png");
  design->probabilisticButton()->setChecked(true);
  design->targetLifeEdit()->setText(QStringLiteral("30"));
  design->betaEdit()->setText(QStringLiteral("0.5"));
  design->samplesEdit()->setText(QStringLiteral("2000"));
  ok = design_search(design) && ok;
  shoot("design-probabilistic.png");
  sub->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  // The member table of the marine sheet with covers from 20 to 90 mm, computed and graded.
  {
    window.menuAction(4)->trigger();
    QApplication::processEvents();
    window.findChild<QAction*>(QStringLiteral("menu_batch"))->trigger();
    QMdiSubWindow* tableSub = window.mdiArea()->activeSubWindow();
    auto* table = tableSub ? qobject_cast<BatchWindow*>(tableSub->widget()) : nullptr;
    if (!table) return false;
    QStringList rows;
    for (int cover = 20; cover <= 90; cover += 10) {
      rows << QStringList{QStringLiteral("梁 %1").arg(cover / 10),
                          "1.5",
                          "20",
                          "0.8",
                          "30",
                          QString::number(cover),
                          "20",
                          "1.5",
                          "5",
                          "1.4",
                          "",
                          "",
                          "",
                          "20",
                          "20",
                          "1.0",
                          "25",
                          "10",
                          "5",
                          "",
                          "2 变形钢筋"}
                  .join('\t');
    }
    table->table()->setCurrentCell(0, 0);
    table->paste(rows.join('\n'));
    QSignalSpy finished(table, &BatchWindow::finished);
    table->calculateAll();
    if (table->isRunning() && !finished.wait(120000)) ok = false;
    table->table()->scrollToItem(table->table()->item(0, table->columns().governing()));
    QApplication::processEvents();
    ok = save_picture(window, folder, QStringLiteral("member-table-grades.png")) && ok;
    tableSub->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // A project of one member per sheet (covers from 20 to 40 mm), a core on the chloride beam,
  // one member its sheet stops.
  namespace project = pellucor::analysis::project;
  project::Project p;
  p.structure = {"码头耐久性评估", "高桩码头", "宁波", "港务局", "李工", "2026年12月", ""};
  p.assessment.targetLife = 100;
  for (const WorkedExample& ex : worked_examples()) {
    project::Member m;
    m.name = std::string("构件 ") + ex.name;
    m.sheet = ex.name;
    for (const auto& [n, text] : ex.boxes) {
      m.boxes[static_cast<sheet::Control>(static_cast<int>(sheet::Control::Text1) + n - 1)] =
          text.toStdString();
    }
    m.steel = std::string(sheet::kSteelItems[static_cast<std::size_t>(ex.steelKind - 1)]);
    if (ex.sheet == 1) m.options = {sheet::Control::Option1, sheet::Control::Option4};
    if (ex.sheet == 2) m.options = {sheet::Control::Option1};
    p.members.push_back(m);
  }
  pellucor::analysis::inspect::ProfileInput core;
  core.depthMm = {1, 3, 5, 7, 9, 11, 13, 15};
  core.chloride = {5.1, 4.6, 3.7, 2.8, 2.0, 1.3, 0.9, 0.6};
  core.ageYears = 20;
  p.members[1].inspection.profiles.push_back({"芯样 K1", core, std::nullopt});
  p.members[1].inspection.cover =
      pellucor::analysis::inspect::CoverInput{{38, 41.5, 36, 44, 40}, 40.0};
  p.members[0].inspection.carbonation =
      pellucor::analysis::inspect::CarbonationInput{{12, 14.5, 9, 11}, 60};
  project::Member stopped = p.members[1];
  stopped.name = "构件 无临界浓度";
  stopped.boxes.erase(sheet::Control::Text9);
  stopped.inspection = {};
  p.members.push_back(stopped);
  const auto assessed = pellucor::analysis::assess::assess_structure(p);
  if (!assessed) return false;
  const QString pdf = folder.filePath(QStringLiteral("report-structure.pdf"));
  QString error;
  if (structure_report(p, *assessed).writePdf(pdf, &error)) {
    std::printf("%s\n", qPrintable(pdf));
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    ok = false;
  }

  // The assessment panel of the same members.
  AssessmentPanel panel;
  std::vector<AssessmentPanel::Member> members;
  for (const auto& m : assessed->members) {
    AssessmentPanel::Member pm;
    pm.name = QString::fromStdString(m.name);
    pm.module = m.module;
    if (m.run) pm.times = pellucor::analysis::timeline(m.run->run);
    pm.failure = QString::fromStdString(m.failure);
    members.push_back(pm);
  }
  panel.setSettings(p.assessment);
  panel.setMembers(members);
  panel.resize(980, 420);
  panel.show();
  QApplication::processEvents();
  ok = save_picture(panel, folder, QStringLiteral("assessment-panel.png")) && ok;
  return ok;
}

}  // namespace pellucor::shell::testing
