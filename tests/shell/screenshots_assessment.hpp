// The pictures of the assessment's windows for the screenshots program: the design window after
// a deterministic search (the constant-coefficient chloride sheet, cover for 50 years of
// durable life), after a search no value of the range can meet, and after a probabilistic
// search.
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
#include <cstdio>

#include "sheet_driver.hpp"
#include "shell/design_window.hpp"
#include "shell/main_window.hpp"
#include "worked_examples.hpp"

namespace pellucor::shell::testing {

inline bool save_picture(QWidget& window, const QDir& folder, const QString& name) {
  const QString path = folder.filePath(name);
  if (!window.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
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
  sub->resize(820, 700);
  const auto shoot = [&](const char* name) {
    QApplication::processEvents();
    ok = save_picture(*sub, folder, QString::fromLatin1(name)) && ok;
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
  return ok;
}

}  // namespace pellucor::shell::testing
