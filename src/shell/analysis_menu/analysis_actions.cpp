#include "shell/analysis_menu/analysis_actions.hpp"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPrinter>
#include <optional>
#include <tuple>

#include "analysis/curves/curves.hpp"
#include "analysis/mc/problem.hpp"
#include "sheet/controller.hpp"
#include "shell/charts/chart_window.hpp"
#include "shell/design/design_window.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/text.hpp"
#include "shell/reliability/reliability_window.hpp"
#include "shell/reports/pdf_report.hpp"
#include "shell/reports/reliability_section.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"
#include "shell/sheet_view/stale_inputs.hpp"
#include "shell/tables/batch_window.hpp"

namespace pellucor::shell {

namespace {

const QString kTitle = QStringLiteral("分析");

// Whether the run's means are what the sheet's boxes held when its last completed calculation
// ended (the assumed cracking time as the iteration left it in its box: a starting value, not
// a property of the member).
bool matches_sheet(const ReliabilityWindow& w, const sheet::SheetController& controller) {
  if (!controller.completedInputs() || !w.runMeans()) return false;
  return input_changes(controller.table(), *controller.completedInputs(), *w.runMeans()).empty();
}

// The note of a run whose inputs are not those of the sheet's last completed calculation:
// which inputs differ.
QString difference_note(const ReliabilityWindow& w, const sheet::SheetController& controller) {
  if (!controller.completedInputs()) {
    return QStringLiteral(
        "计算表尚无完成的计算；可靠度分析的均值取自打开可靠度分析窗口时"
        "计算表中的数值。");
  }
  QString note = QStringLiteral(
      "注意：可靠度分析所用的输入与计算表最近一次完成的计算不同，两者不可直接对照。");
  if (!w.runMeans()) return note;
  QStringList differences;
  for (const InputChange& c :
       input_changes(controller.table(), *controller.completedInputs(), *w.runMeans())) {
    differences << QStringLiteral("%1：计算表 %2，可靠度分析 %3").arg(c.name, c.before, c.now);
  }
  if (!differences.isEmpty())
    note += QStringLiteral("不同之处：") + differences.join(QStringLiteral("；")) +
            QStringLiteral("。");
  return note;
}

}  // namespace

AnalysisActions::AnalysisActions(MainWindow& window)
    : QObject(&window),
      window_(window),
      dialogs_(window.dialogs()),
      windows_(static_cast<std::size_t>(window.sheetCount())) {
  QMenu* menu = window.analysisMenu();
  charts_ = menu->addAction(QStringLiteral("曲线图(&G)"));
  charts_->setObjectName(QStringLiteral("menu_charts"));
  report_ = menu->addAction(QStringLiteral("报告(&R)…"));
  report_->setObjectName(QStringLiteral("menu_report"));
  batch_ = install_batch_menu(window);
  reliability_ = menu->addAction(QStringLiteral("可靠度分析(&P)…"));
  reliability_->setObjectName(QStringLiteral("menu_reliability"));
  install_design_menu(window);
  connect(charts_, &QAction::triggered, this, &AnalysisActions::chartsTriggered);
  connect(report_, &QAction::triggered, this, &AnalysisActions::reportTriggered);
  connect(reliability_, &QAction::triggered, this, &AnalysisActions::openReliability);
  connect(&window, &MainWindow::calculationFinished, this, [this](int sheet, bool completed) {
    if (ChartWindow* w = chartWindow(sheet)) w->calculationFinished(completed);
    // What the reader must know first, beside the pane's result (outside the pane).
    const sheet::SheetController* controller = window_.controller(sheet);
    QtSheetView* view = window_.sheetView(sheet);
    if (!completed || controller == nullptr || view == nullptr) return;
    QStringList notes;
    for (const auto& m : analysis::curves::must_read(controller->lastRun())) notes << qs(m.brief);
    view->setNote(notes.join(QStringLiteral("；")));
  });
}

AnalysisActions* install_analysis_menu(MainWindow& window) {
  return new AnalysisActions(window);
}

ChartWindow* AnalysisActions::chartWindow(int sheet) const {
  if (sheet < 1 || static_cast<std::size_t>(sheet) > windows_.size()) return nullptr;
  return windows_[static_cast<std::size_t>(sheet - 1)].data();
}

int AnalysisActions::targetSheet() const {
  if (const int s = window_.activeSheet()) return s;
  const QMdiSubWindow* active = window_.mdiArea()->activeSubWindow();
  if (!active) return 0;
  for (int s = 1; s <= window_.sheetCount(); ++s) {
    const ChartWindow* w = chartWindow(s);
    if (w && active->widget() == w) return s;
  }
  if (const auto* r = qobject_cast<const ReliabilityWindow*>(active->widget())) return r->sheet();
  return 0;
}

ReliabilityWindow* AnalysisActions::openReliability() {
  const int n = window_.activeSheet();
  QtSheetView* view = n == 0 ? nullptr : window_.sheetView(n);
  sheet::SheetController* controller = n == 0 ? nullptr : window_.controller(n);
  if (view == nullptr || controller == nullptr) {
    dialogs_.showWarning(&window_, QString::fromUtf8(kReliabilityTitle),
                         QStringLiteral("请先打开一个计算表，并使它成为活动窗口!"));
    return nullptr;
  }
  const sheet::Module& module = controller->module();
  auto* w = new ReliabilityWindow(module, analysis::mc::inputs_of(module.table(), *view), dialogs_);
  connect(w, &ReliabilityWindow::reportRequested, this, [this, w] { reportFrom(*w); });
  window_.addChildWindow(
      w, QString::fromUtf8(kReliabilityTitle) + QStringLiteral(" — ") + qs(module.table().caption));
  return w;
}

const ReliabilityWindow* AnalysisActions::reliabilityRun(int sheet) const {
  const sheet::SheetController* controller = window_.controller(sheet);
  const QMdiSubWindow* active = window_.mdiArea()->activeSubWindow();
  const ReliabilityWindow* best = nullptr;
  std::tuple<bool, bool, std::uint64_t> bestRank{};
  for (const QMdiSubWindow* sub : window_.mdiArea()->subWindowList()) {
    const auto* w = qobject_cast<const ReliabilityWindow*>(sub->widget());
    if (!w || w->sheet() != sheet || !w->report() || w->isRunning()) continue;
    const std::tuple<bool, bool, std::uint64_t> rank{controller && matches_sheet(*w, *controller),
                                                     sub == active, w->runOrder()};
    if (!best || rank > bestRank) {
      best = w;
      bestRank = rank;
    }
  }
  return best;
}

ReportDocument AnalysisActions::report(int sheet, const ReliabilityWindow* run) const {
  const sheet::SheetController* controller = window_.controller(sheet);
  if (!run) run = reliabilityRun(sheet);
  if (!controller) {
    // No such sheet: at most the run, under the caption it carries.
    ReportDocument doc(run && run->report() ? qs(run->report()->caption) : QString());
    if (run && run->report()) doc.addSection(reliability_section(*run->report()));
    if (run && run->updateResult()) doc.addSection(update_section(*run->updateResult()));
    return doc;
  }
  // Inputs changed in the sheet's boxes since its last completed calculation.
  QStringList changes;
  if (const QtSheetView* view = window_.sheetView(sheet)) {
    changes = change_lines(changed_inputs(*controller, *view));
  }
  ReportDocument doc = sheet_report(*controller, changes);
  doc.setDetails(remembered_report_details());
  if (run && run->report()) {
    QStringList notes;
    if (!matches_sheet(*run, *controller)) {
      notes << difference_note(*run, *controller);
      // Said on the first page too, where the reader starts.
      doc.addNotice(notes.back());
    }
    doc.addSection(reliability_section(*run->report(), notes));
    if (run->updateResult()) doc.addSection(update_section(*run->updateResult()));
  }
  return doc;
}

ChartWindow* AnalysisActions::showCharts(int sheet) {
  const sheet::SheetController* controller = window_.controller(sheet);
  if (!controller) return nullptr;
  if (ChartWindow* open = chartWindow(sheet)) {
    auto* sub = qobject_cast<QMdiSubWindow*>(open->parentWidget());
    if (sub) {
      if (sub->isMinimized()) sub->showNormal();
      window_.mdiArea()->setActiveSubWindow(sub);
    }
    return open;
  }
  auto* w = new ChartWindow(sheet, *controller, dialogs_);
  windows_[static_cast<std::size_t>(sheet - 1)] = w;
  window_.addChildWindow(w, QStringLiteral("曲线图 — ") + qs(controller->table().caption));
  return w;
}

bool AnalysisActions::writeReport(int sheet, const QString& path, const ReliabilityWindow* run) {
  const sheet::SheetController* controller = window_.controller(sheet);
  if (!run) run = reliabilityRun(sheet);
  const bool hasRun = run && run->report();
  if (!hasRun && (!controller || !controller->lastRecord())) return false;
  QString error;
  if (!report(sheet, run).writePdf(path, &error)) {
    dialogs_.showWarning(&window_, kTitle, error);
    return false;
  }
  if (hasRun) run->noteReportWritten();
  return true;
}

void AnalysisActions::chartsTriggered() {
  const int sheet = targetSheet();
  if (sheet == 0) {
    dialogs_.showWarning(&window_, kTitle,
                         QStringLiteral("请先打开一个计算窗口，曲线图画它的计算结果。"));
    return;
  }
  showCharts(sheet);
}

void AnalysisActions::reportTriggered() {
  const int sheet = targetSheet();
  const sheet::SheetController* controller = sheet ? window_.controller(sheet) : nullptr;
  // The active reliability window's own run, when it has one.
  const QMdiSubWindow* active = window_.mdiArea()->activeSubWindow();
  const auto* activeRun =
      active ? qobject_cast<const ReliabilityWindow*>(active->widget()) : nullptr;
  if (activeRun && !activeRun->report()) activeRun = nullptr;
  if (!activeRun && (!controller || !controller->lastRecord())) {
    dialogs_.showWarning(&window_, kTitle,
                         QStringLiteral("请先在一个计算窗口中完成计算，报告写它的计算结果。"));
    return;
  }
  saveReport(sheet, activeRun);
}

void AnalysisActions::reportFrom(const ReliabilityWindow& run) {
  if (!run.report() || run.isRunning()) return;
  saveReport(run.sheet(), &run);
}

void AnalysisActions::saveReport(int sheet, const ReliabilityWindow* run) {
  // The window may close while a dialog is up.
  const QPointer<const ReliabilityWindow> chosen(run);
  const sheet::SheetController* controller = window_.controller(sheet);
  const QtSheetView* view = window_.sheetView(sheet);
  // Results that no longer match the boxes are written only when the user says so.
  if (controller && controller->lastRecord() && view) {
    const auto changes = changed_inputs(*controller, *view);
    const QString action = QStringLiteral("写报告");
    if (!changes.empty() && dialogs_.ask(&window_, kTitle, stale_question(changes, action),
                                         stale_answers(action), 1) != 0) {
      return;
    }
  }
  ReportDetails initial = remembered_report_details();
  if (view = window_.sheetView(sheet); view) initial.member = view->memberName();
  if (detailsSource_) initial = detailsSource_(sheet, initial);
  const auto details = dialogs_.askReportDetails(&window_, initial);
  if (!details) return;
  remember_report_details(*details);
  // Named after what it reports: the structure, the member, the sheet.
  const QString caption =
      controller ? qs(controller->table().menuCaption).section(QStringLiteral("(&"), 0, 0)
                 : QString();
  const auto path = dialogs_.chooseSaveFile(
      &window_, QStringLiteral("保存报告"), QStringLiteral("*.pdf"), QStringLiteral("pdf"),
      SaveMode::Replace,
      file_name_of({details->structure.isEmpty() ? details->project : details->structure,
                    details->member, caption, QStringLiteral("报告")}) +
          QStringLiteral(".pdf"));
  if (!path) return;
  run = chosen.data();
  if (!run || !run->report()) run = reliabilityRun(sheet);
  ReportDocument doc = report(sheet, run);
  doc.setDetails(*details);
  QString error;
  if (!doc.writePdf(*path, &error)) {
    dialogs_.showWarning(&window_, kTitle, error);
    return;
  }
  if (run && run->report()) run->noteReportWritten();
  // Opening and printing are offered; neither is the default.
  offer_report(
      dialogs_, &window_, kTitle, *path, [&doc](QPrinter& printer) { doc.paint(printer); },
      doc.caption());
}

}  // namespace pellucor::shell
