#include "shell/analysis_actions.hpp"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

#include "sheet/controller.hpp"
#include "shell/chart_window.hpp"
#include "shell/dialogs.hpp"
#include "shell/main_window.hpp"
#include "shell/pdf_report.hpp"

namespace pellucor::shell {

namespace {

const QString kTitle = QStringLiteral("分析");

QString qs(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

AnalysisActions::AnalysisActions(MainWindow& window, MessagePresenter& messages, FileChooser& files)
    : QObject(&window), window_(window), messages_(messages), files_(files) {
  setObjectName(QStringLiteral("analysisActions"));
  charts_ = window.analysisMenu()->addAction(QStringLiteral("曲线图(&G)"));
  charts_->setObjectName(QStringLiteral("menu_charts"));
  report_ = window.analysisMenu()->addAction(QStringLiteral("报告(&R)…"));
  report_->setObjectName(QStringLiteral("menu_report"));
  connect(charts_, &QAction::triggered, this, &AnalysisActions::chartsTriggered);
  connect(report_, &QAction::triggered, this, &AnalysisActions::reportTriggered);
  connect(&window, &MainWindow::calculationFinished, this, [this](int sheet, bool completed) {
    if (ChartWindow* w = chartWindow(sheet)) w->calculationFinished(completed);
  });
  offerPrint = offer_print;
}

ChartWindow* AnalysisActions::chartWindow(int sheet) const {
  if (sheet < 1 || sheet > 5) return nullptr;
  return windows_[static_cast<std::size_t>(sheet - 1)].data();
}

int AnalysisActions::targetSheet() const {
  if (const int s = window_.activeSheet()) return s;
  const QMdiSubWindow* active = window_.mdiArea()->activeSubWindow();
  for (int s = 1; s <= 5; ++s) {
    const ChartWindow* w = chartWindow(s);
    if (w && active && active->widget() == w) return s;
  }
  return 0;
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
  auto* w = new ChartWindow(sheet, *controller, messages_, files_);
  windows_[static_cast<std::size_t>(sheet - 1)] = w;
  window_.addChildWindow(w, QStringLiteral("曲线图 — ") + qs(controller->table().caption));
  return w;
}

bool AnalysisActions::writeReport(int sheet, const QString& path) {
  const sheet::SheetController* controller = window_.controller(sheet);
  if (!controller || !controller->lastReport()) return false;
  QString error;
  if (!sheet_report(*controller).writePdf(path, &error)) {
    messages_.showWarning(&window_, kTitle, error);
    return false;
  }
  return true;
}

void AnalysisActions::chartsTriggered() {
  const int sheet = targetSheet();
  if (sheet == 0) {
    messages_.showWarning(&window_, kTitle,
                          QStringLiteral("请先打开一个计算窗口，曲线图画它的计算结果。"));
    return;
  }
  showCharts(sheet);
}

void AnalysisActions::reportTriggered() {
  const int sheet = targetSheet();
  const sheet::SheetController* controller = sheet ? window_.controller(sheet) : nullptr;
  if (!controller || !controller->lastReport()) {
    messages_.showWarning(&window_, kTitle,
                          QStringLiteral("请先在一个计算窗口中完成计算，报告写它的计算结果。"));
    return;
  }
  const auto path = files_.chooseSaveFile(&window_, QStringLiteral("保存报告"),
                                          QStringLiteral("*.pdf"), QStringLiteral("pdf"));
  if (!path) return;
  if (!writeReport(sheet, *path)) return;
  if (offerPrint) offerPrint(&window_, *path, sheet_report(*controller));
}

void offer_print(QWidget* parent, const QString& path, const ReportDocument& report) {
  const auto answer = QMessageBox::question(
      parent, kTitle, QStringLiteral("报告已写入：%1\n是否打印报告？").arg(path),
      QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  if (answer != QMessageBox::Yes) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setDocName(report.caption());
  QPrintDialog dialog(&printer, parent);
  if (dialog.exec() != QDialog::Accepted) return;
  report.paint(printer);
}

}  // namespace pellucor::shell
