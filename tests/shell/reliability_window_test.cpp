// The reliability analysis window driven through its widgets (offscreen): opened from the
// analysis menu for the active sheet, a run in the background that gives what the engine
// gives, cancel, export, the input it refuses while staying usable, and its section of the
// PDF report (read back with pdftotext and pdffonts).
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChartView>
#include <QtCharts/QHorizontalBarSeries>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>

#include "analysis/mc/engine.hpp"
#include "analysis/mc/summary.hpp"
#include "sheet_driver.hpp"
#include "shell/analysis_menu/analysis_actions.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/window_kit.hpp"
#include "shell/reliability/reliability_tables.hpp"
#include "shell/reliability/reliability_window.hpp"
#include "shell/reports/pdf_report.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"
#include "shell_fixture.hpp"

using namespace pellucor::shell;
using namespace pellucor::shell::testing;
namespace mc = pellucor::analysis::mc;
namespace sheet = pellucor::sheet;

namespace {

// The carbonation example: m 2, T 15, RH 0.7, f_cu 30, cover 30, t 60, CO2 1.5, d 20, tension,
// outdoor, plain round bar.
const std::vector<std::pair<int, QString>> kCarbonation = {
    {1, "2"}, {2, "15"}, {3, "0.7"}, {4, "30"}, {5, "30"}, {6, "60"}, {8, "1.5"}, {9, "20"}};

// The time-dependent chloride example: with the default scatter some samples have a measured
// concentration at or above the surface one (refused, not followed) and some a critical one at
// or above it (never initiate).
const std::vector<std::pair<int, QString>> kVariable = {
    {1, "1"}, {2, "20"},  {3, "0.8"}, {4, "30"}, {5, "30"},  {6, "10"}, {7, "0.3"},
    {8, "5"}, {9, "1.4"}, {10, "20"}, {11, "2"}, {12, "20"}, {13, "20"}};

// The marine example (coefficient typed, no second search).
const std::vector<std::pair<int, QString>> kMarine = {
    {1, "1.5"}, {2, "20"},  {3, "0.8"}, {4, "30"}, {5, "40"},  {6, "20"},  {7, "1.5"}, {8, "5"},
    {9, "1.4"}, {13, "20"}, {14, "20"}, {15, "1"}, {16, "25"}, {17, "10"}, {18, "5"}};

QString runTool(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    return QStringLiteral("<%1 failed: %2>")
        .arg(program, QString::fromUtf8(p.readAllStandardError()));
  }
  return QString::fromUtf8(p.readAllStandardOutput());
}

// The text of a PDF without blanks and line breaks (pdftotext spaces CJK text freely).
QString pdfText(const QString& pdf) {
  return runTool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")})
      .remove(QRegularExpression(QStringLiteral("\\s")));
}

QString squeezed(QString s) {
  return s.remove(QRegularExpression(QStringLiteral("\\s")));
}

}  // namespace

class ReliabilityWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<ScriptedDialogs> dialogs_;
  std::unique_ptr<MainWindow> main_;

  AnalysisActions* actions_ = nullptr;

  // Opens the carbonation sheet with its example typed in and the analysis from the menu;
  // with `calculate`, the sheet calculates its example first.
  ReliabilityWindow* openAnalysis(bool calculate = false) {
    QtSheetView* view = main_->showSheet(1);
    fill(view, kCarbonation);
    click(view, sheet::Control::Option4);
    if (!chooseSteelKind(view, 1)) return nullptr;
    if (calculate) {
      click(view, sheet::Control::CmdCal);
      if (!main_->controller(1)->lastReport()) return nullptr;
    }
    return openAnalysisWindow();
  }

  // The analysis of sheet `number` with `values` typed in and steel kind 2.
  ReliabilityWindow* openSheetAnalysis(int number,
                                       const std::vector<std::pair<int, QString>>& values) {
    QtSheetView* view = main_->showSheet(number);
    fill(view, values);
    if (!chooseSteelKind(view, 2)) return nullptr;
    main_->findChild<QAction*>(QStringLiteral("menu_reliability"))->trigger();
    return qobject_cast<ReliabilityWindow*>(main_->mdiArea()->activeSubWindow()->widget());
  }

  // One more analysis window of the carbonation sheet, opened with the sheet active.
  ReliabilityWindow* openAnalysisWindow() {
    main_->showSheet(1);
    main_->findChild<QAction*>(QStringLiteral("menu_reliability"))->trigger();
    return qobject_cast<ReliabilityWindow*>(main_->mdiArea()->activeSubWindow()->widget());
  }

  AnalysisActions* actions() const { return actions_; }

  // 报告(&R)… of the analysis menu with `window` active, into `pdf`.
  void reportThroughMenu(QWidget* window, const QString& pdf) {
    for (QMdiSubWindow* sub : main_->mdiArea()->subWindowList()) {
      if (sub->widget() == window) main_->mdiArea()->setActiveSubWindow(sub);
    }
    dialogs_->next = pdf;
    main_->findChild<QAction*>(QStringLiteral("menu_report"))->trigger();
  }

  static bool runSmall(ReliabilityWindow* w, const QString& samples) {
    w->samplesEdit()->setText(samples);
    QTest::mouseClick(w->calculateButton(), Qt::LeftButton);
    return waitForRun(w) && w->report().has_value();
  }

  static bool waitForRun(ReliabilityWindow* w) {
    QSignalSpy ended(w, &ReliabilityWindow::runEnded);
    return w->isRunning() ? ended.wait(60000) : false;
  }

  static void setCell(ReliabilityWindow* w, int box, int column, const QString& text) {
    w->inputTable()->item(w->rowOf(box), column)->setText(text);
  }

 private slots:
  void init() {
    dialogs_ = std::make_unique<ScriptedDialogs>();
    main_ = std::make_unique<MainWindow>(*dialogs_);
    actions_ = install_analysis_menu(*main_);
    main_->show();
    QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
  }
  void cleanup() { main_.reset(); }

  void menuOpensTheActiveSheetsInputsWithDefaultScatter() {
    // No sheet window: a message, no window.
    main_->findChild<QAction*>(QStringLiteral("menu_reliability"))->trigger();
    QCOMPARE(dialogs_->shown.size(), std::size_t{1});
    QCOMPARE(dialogs_->shown[0].title, QStringLiteral("可靠度分析"));
    QCOMPARE(main_->mdiArea()->subWindowList().size(), 0);

    ReliabilityWindow* w = openAnalysis();
    QVERIFY(w != nullptr);
    QCOMPARE(main_->mdiArea()->activeSubWindow()->windowTitle(),
             QStringLiteral("可靠度分析 — 由中性化引起的钢筋腐蚀"));
    QTableWidget* t = w->inputTable();
    QCOMPARE(t->rowCount(), 9);
    const int cover = w->rowOf(5);
    // The box's label with its unit; the console's names in the tool-tip.
    QCOMPARE(t->item(cover, ReliabilityWindow::kLabel)->text(), QStringLiteral("保护层厚度（mm）"));
    QCOMPARE(t->item(cover, ReliabilityWindow::kLabel)->toolTip(), QStringLiteral("Text5 (cover)"));
    // The units as an engineer writes them, not as the sheet's prompts misspell them.
    QStringList labels;
    for (int row = 0; row < t->rowCount(); ++row) {
      labels << t->item(row, ReliabilityWindow::kLabel)->text();
    }
    const QString all = labels.join('|');
    QVERIFY2(all.contains("（℃）") && all.contains("（MPa）"), qPrintable(all));
    QVERIFY2(!all.contains("摄示度") && !all.contains("mpa"), qPrintable(all));
    QCOMPARE(t->item(cover, ReliabilityWindow::kMean)->text(), QStringLiteral("30"));
    // The cover's default is an absolute deviation of 8 mm: a CoV of 8/30 at this mean.
    QCOMPARE(t->item(cover, ReliabilityWindow::kSd)->text(), QStringLiteral("8"));
    QCOMPARE(t->item(cover, ReliabilityWindow::kCov)->text(), QStringLiteral("0.266667"));
    QCOMPARE(t->item(cover, ReliabilityWindow::kRange)->text(), QStringLiteral("3--90"));
    QCOMPARE(t->item(cover, ReliabilityWindow::kSamples)->text(), QStringLiteral("30，0.267"));
    // Each default names its source, and says what the source says in its tool-tip.
    QCOMPARE(t->item(cover, ReliabilityWindow::kSource)->text(),
             QStringLiteral("fib Bulletin 34（2006）"));
    QVERIFY(
        t->item(cover, ReliabilityWindow::kSource)->toolTip().contains(QStringLiteral("8～10 mm")));
    QCOMPARE(w->distributionBox(w->rowOf(4))->currentText(), QStringLiteral("对数正态"));
    QCOMPARE(t->item(w->rowOf(4), ReliabilityWindow::kSource)->text(),
             QStringLiteral("JCSS 概率模型规范（2001）"));
    // The inspection age and the empty measured depth stay as typed.
    QCOMPARE(t->item(w->rowOf(6), ReliabilityWindow::kCov)->text(), QStringLiteral("0"));
    QCOMPARE(t->item(w->rowOf(6), ReliabilityWindow::kSamples)->text(), QStringLiteral("定值"));
    QCOMPARE(t->item(w->rowOf(7), ReliabilityWindow::kMean)->text(), QStringLiteral("0"));
    QCOMPARE(t->item(w->rowOf(7), ReliabilityWindow::kCov)->text(), QStringLiteral("0"));
    // A box the sheet leaves empty takes no part in the calculation: not shown, and said.
    for (int row = 0; row < t->rowCount(); ++row) {
      QCOMPARE(t->isRowHidden(row), row == w->rowOf(7));
    }
    QVERIFY(!w->hiddenRowsLabel()->isHidden());
    QCOMPARE(w->hiddenRowsLabel()->text(),
             QStringLiteral("计算表中未填写的输入不参与计算，未列出：实测碳化深度。"));
    QCOMPARE(w->samplesEdit()->text(), QStringLiteral("10000"));
    QCOMPARE(w->targetEdit(0)->text(), QStringLiteral("1.3"));
    QCOMPARE(w->targetEdit(1)->text(), QStringLiteral("1.5"));
    QCOMPARE(w->targetEdit()->text(), QStringLiteral("1.3"));
    QCOMPARE(w->stopCovEdit()->text(), QStringLiteral("0"));
    QVERIFY(w->targetAgeEdit()->text().isEmpty());
    // The carbonation sheet has neither an ageing exponent nor two ways to its initiation.
    QVERIFY(w->binderBox() == nullptr);
    QVERIFY(w->variantBox() == nullptr);
    QVERIFY(!w->exportButton()->isEnabled());
    QVERIFY(w->warningLabel()->isHidden());

    // A CoV typed replaces the deviation; a deviation typed shows its CoV at the mean; the
    // row then names no source.
    t->item(cover, ReliabilityWindow::kCov)->setText(QStringLiteral("0.1"));
    QCOMPARE(t->item(cover, ReliabilityWindow::kSd)->text(), QString());
    QCOMPARE(t->item(cover, ReliabilityWindow::kSamples)->text(), QStringLiteral("30，0.100"));
    QCOMPARE(t->item(cover, ReliabilityWindow::kSource)->text(), QStringLiteral("输入"));
    t->item(cover, ReliabilityWindow::kSd)->setText(QStringLiteral("6"));
    QCOMPARE(t->item(cover, ReliabilityWindow::kCov)->text(), QStringLiteral("0.2"));
    // A scatter the range cannot carry around the mean: the samples' CoV in red.
    const int environment = w->rowOf(1);
    t->item(environment, ReliabilityWindow::kMean)->setText(QStringLiteral("1.5"));
    QCOMPARE(t->item(environment, ReliabilityWindow::kSamples)->text(),
             QStringLiteral("1.5，0.413"));
    QVERIFY(!t->item(environment, ReliabilityWindow::kSamples)->toolTip().isEmpty());
  }

  void runGivesTheEnginesResultAndExportsItsCurves() {
    ReliabilityWindow* w = openAnalysis();
    QVERIFY(w != nullptr);
    w->samplesEdit()->setText(QStringLiteral("3000"));
    w->seedEdit()->setText(QStringLiteral("42"));
    setCell(w, 5, ReliabilityWindow::kCov, QStringLiteral("0.25"));
    w->distributionBox(w->rowOf(5))->setCurrentIndex(1);
    QTest::mouseClick(w->calculateButton(), Qt::LeftButton);
    QVERIFY(w->isRunning());
    QVERIFY(!w->calculateButton()->isEnabled());
    QVERIFY(waitForRun(w));
    QVERIFY(w->report().has_value());
    QVERIFY(dialogs_->shown.empty());
    QCOMPARE(w->progressBar()->value(), 3000);

    // The same problem through the engine directly, from the example as typed.
    sheet::SheetInputs typed;
    for (const auto& [n, text] : kCarbonation) typed.value[std::size_t(n)] = text.toDouble();
    typed.selected[1] = typed.selected[4] = true;
    typed.steelText = sheet::kSteelItems[0];
    typed.steelKind = 1;
    typed.steelName = "圆钢筋      ";
    mc::Problem p = mc::with_defaults(main_->controller(1)->module(), typed);
    p.scatter[5] = {0.25, mc::Distribution::Lognormal};
    mc::RunSettings settings;
    settings.samples = 3000;
    settings.seed = 42;
    const mc::Summary expected = mc::summarize(mc::run_samples(p, settings), settings);
    const mc::Summary& got = w->report()->summary;
    QCOMPARE(got.done, expected.done);
    QCOMPARE(got.percentiles[mc::kInitiation]->p50, expected.percentiles[mc::kInitiation]->p50);
    QCOMPARE(got.percentiles[mc::kEnd]->p95, expected.percentiles[mc::kEnd]->p95);
    QCOMPARE(w->percentileTable()->item(0, 2)->text(),
             QString::number(expected.percentiles[mc::kInitiation]->p50, 'f', 2));
    QCOMPARE(w->percentileTable()->item(2, 4)->text(),
             QString::number(*expected.targetAge[mc::kEnd], 'f', 2));
    // Every index drawn is a number on the axis: where no sample failed (age 0) the index is
    // a bound from the sample size, drawn as a mark of its own, never at infinity.
    auto* bChart = qobject_cast<QChartView*>(w->betaChart())->chart();
    QStringList names;
    bool bound = false;
    for (QAbstractSeries* series : bChart->series()) {
      names << series->name();
      if (auto* xy = qobject_cast<QXYSeries*>(series)) {
        for (const QPointF& pt : xy->points()) QVERIFY(std::isfinite(pt.y()));
        if (qobject_cast<QScatterSeries*>(series) && !xy->points().isEmpty()) {
          bound = true;
          QCOMPARE(xy->points().front().y(), expected.curve.front().index[0].value);
        }
      }
    }
    QVERIFY(bound);
    QVERIFY2(names.contains(QStringLiteral("目标 β = 1.3（t_i、t_d）")),
             qPrintable(names.join('|')));
    QVERIFY(names.contains(QStringLiteral("目标 β = 1.5（t_c）")));
    // The P chart marks the target age of the tables (by default the inspection age, 60 a).
    QCOMPARE(expected.atTarget.age, 60.0);
    auto* pChart = qobject_cast<QChartView*>(w->probabilityChart())->chart();
    bool tau = false;
    for (QAbstractSeries* series : pChart->series()) {
      auto* xy = qobject_cast<QXYSeries*>(series);
      if (xy == nullptr || series->name() != QStringLiteral("目标年龄 τ = 60 a")) continue;
      tau = xy->count() == 2 && xy->at(0).x() == 60 && xy->at(1).x() == 60;
    }
    QVERIFY(tau);
    // An index below its target is marked in the table, and only such an index.
    for (int i = 0; i < 3; ++i) {
      const bool below =
          expected.atTarget.index[std::size_t(i)].kind == mc::IndexValue::Kind::Exact &&
          expected.atTarget.index[std::size_t(i)].value < expected.targets[std::size_t(i)];
      QCOMPARE(w->atTargetTable()->item(i, 6)->text().contains(QStringLiteral("▼ 低于目标")),
               below);
    }
    // The tornado: one bar per scattering input and time.
    auto* tChart = qobject_cast<QChartView*>(w->tornadoChart())->chart();
    QCOMPARE(tChart->series().size(), 1);
    auto* bars = qobject_cast<QHorizontalBarSeries*>(tChart->series().front());
    QVERIFY(bars != nullptr);
    QCOMPARE(bars->count(), 3);
    QCOMPARE(bars->barSets().front()->count(), int(expected.tornado.size()));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("curves.csv"));
    dialogs_->next = path;
    QVERIFY(w->exportButton()->isEnabled());
    QTest::mouseClick(w->exportButton(), Qt::LeftButton);
    QCOMPARE(dialogs_->requests.size(), std::size_t{1});
    QCOMPARE(dialogs_->requests[0].filter, QStringLiteral("*.csv"));
    QVERIFY(dialogs_->requests[0].mode == SaveMode::Replace);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    std::ostringstream csv;
    mc::write_csv(csv, expected);
    QCOMPARE(file.readAll().toStdString(), csv.str());
  }

  // Which index lies below its target: an exact one below it, a bound below it from every
  // sample having failed; never a bound from no failure, which says only that beta is larger.
  void whichIndexIsBelowItsTarget_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("below");
    using K = mc::IndexValue::Kind;
    QTest::newRow("exact below") << int(K::Exact) << 1.0 << true;
    QTest::newRow("exact at") << int(K::Exact) << 1.3 << false;
    QTest::newRow("exact above") << int(K::Exact) << 2.0 << false;
    QTest::newRow("all failed") << int(K::Below) << -3.0 << true;
    QTest::newRow("none failed, bound under the target") << int(K::Above) << 1.0 << false;
    QTest::newRow("none failed") << int(K::Above) << 3.1 << false;
  }
  void whichIndexIsBelowItsTarget() {
    QFETCH(int, kind);
    QFETCH(double, value);
    QFETCH(bool, below);
    mc::Summary s;
    s.targets = {1.3, 1.3, 1.3};
    s.atTarget.index[2] = {static_cast<mc::IndexValue::Kind>(kind), value};
    QCOMPARE(below_target(s, 2), below);
    QCOMPARE(at_target_cells(s)[2].last().endsWith(QStringLiteral("▼ 低于目标")), below);
  }

  void cancelEndsTheRunAndKeepsThePreviousResults() {
    ReliabilityWindow* w = openAnalysis();
    QVERIFY(w != nullptr);
    auto cancelLongRun = [&] {
      w->samplesEdit()->setText(QStringLiteral("10000000"));
      QTest::mouseClick(w->calculateButton(), Qt::LeftButton);
      QVERIFY(w->isRunning());
      // The window keeps handling events while the samples run: it shows their progress.
      QTRY_VERIFY(w->progressBar()->value() > 0);
      QVERIFY(w->isRunning());
      QVERIFY(w->cancelButton()->isEnabled());
      QVERIFY(!w->exportButton()->isEnabled());
      QSignalSpy ended(w, &ReliabilityWindow::runEnded);
      QTest::mouseClick(w->cancelButton(), Qt::LeftButton);
      QVERIFY(ended.wait(10000));
      QVERIFY(!w->isRunning());
      // The bar starts afresh: no part of a run that gave nothing is shown as progress.
      QCOMPARE(w->progressBar()->value(), 0);
    };
    // Without an earlier run there is nothing to show.
    cancelLongRun();
    QVERIFY(!w->report().has_value());
    QVERIFY(w->statusLabel()->text().startsWith(QStringLiteral("已取消")));
    QVERIFY(w->statusLabel()->text().contains(QStringLiteral("尚无完成的计算结果")));
    QVERIFY(!w->exportButton()->isEnabled());

    // After a run, a cancelled one leaves its results, and says whose they are.
    QVERIFY(runSmall(w, QStringLiteral("500")));
    const QString median = w->percentileTable()->item(0, 2)->text();
    cancelLongRun();
    QVERIFY(w->report().has_value());
    QCOMPARE(w->report()->summary.samples, std::uint64_t{500});
    QCOMPARE(w->percentileTable()->item(0, 2)->text(), median);
    QVERIFY(w->statusLabel()->text().startsWith(QStringLiteral("已取消")));
    QVERIFY2(w->statusLabel()->text().contains(QStringLiteral("上一次完成的计算（500 个样本）")),
             qPrintable(w->statusLabel()->text()));
    QVERIFY(w->exportButton()->isEnabled());
    QCOMPARE(actions()->reliabilityRun(1), w);
  }

  void closingDuringARunStopsIt() {
    ReliabilityWindow* w = openAnalysis();
    QVERIFY(w != nullptr);
    w->samplesEdit()->setText(QStringLiteral("10000000"));
    QTest::mouseClick(w->calculateButton(), Qt::LeftButton);
    QVERIFY(w->isRunning());
    dialogs_->nextAnswer = 0;                      // 取消计算并关闭
    main_->mdiArea()->activeSubWindow()->close();  // deletes the window, which joins its run
    QTRY_COMPARE(main_->mdiArea()->subWindowList().size(), 1);  // the sheet
  }

  void reportIncludesTheRunAsTheWindowShowsIt() {
    ReliabilityWindow* w = openAnalysis(true);
    QVERIFY(w != nullptr);
    QVERIFY(!w->reportButton()->isEnabled());
    QTemporaryDir dir;

    // Before any run the sheet's report has no reliability section.
    const QString before = dir.filePath(QStringLiteral("before.pdf"));
    reportThroughMenu(main_->sheetView(1), before);
    QCOMPARE(questions(*dialogs_), QStringList{print_offer(before)});
    const QString plain = pdfText(before);
    QVERIFY2(plain.contains(QStringLiteral("计算结果")), qPrintable(plain.left(300)));
    QVERIFY(!plain.contains(QStringLiteral("可靠度分析")));
    QVERIFY(!plain.contains(QStringLiteral("可靠指标")));

    w->seedEdit()->setText(QStringLiteral("7"));
    QVERIFY(runSmall(w, QStringLiteral("400")));
    QVERIFY(w->reportButton()->isEnabled());
    QCOMPARE(actions()->reliabilityRun(1), w);

    // Through the menu, with the sheet active.
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    reportThroughMenu(main_->sheetView(1), pdf);
    QVERIFY2(dialogs_->shown.empty(),
             dialogs_->shown.empty() ? "" : qPrintable(dialogs_->shown.back().text));
    QCOMPARE(dialogs_->asked.size(), std::size_t{2});
    const QString text = pdfText(pdf);
    QVERIFY2(text.contains(QStringLiteral("可靠度分析")), qPrintable(text.right(600)));
    QVERIFY(text.contains(QStringLiteral("计算结果")));  // the sheet's own sections stay
    // Units as the window names them, never the sheet's misspelt hints.
    for (const char* hint : {"摄示度", "mpa"}) {
      QVERIFY2(!text.contains(QString::fromUtf8(hint)), hint);
    }
    QVERIFY(squeezed(text).contains(squeezed(QStringLiteral("环境温度（℃）"))));
    // The percentiles and the ages at the target as the window shows them.
    for (int r = 0; r < 3; ++r) {
      for (int c = 1; c < 5; ++c) {
        const QString cell = squeezed(w->percentileTable()->item(r, c)->text());
        QVERIFY(!cell.isEmpty());
        QVERIFY2(text.contains(cell), qPrintable(cell));
      }
    }
    // The inputs with their scatter and the settings.
    // (pdftotext reads a cell's wrapped lines apart from the cell's neighbours.)
    const QString inputs = text.mid(text.indexOf(QStringLiteral("输入参数的离散性")), 1500);
    QVERIFY2(inputs.contains(QStringLiteral("保护层厚度（mm）300.266667")), qPrintable(inputs));
    QVERIFY(inputs.contains(QStringLiteral("（8）")));
    QVERIFY(inputs.contains(QStringLiteral("3--9030，0.267fibBulletin34（2006）")));
    QVERIFY(text.contains(QStringLiteral("对数正态")));  // the strength
    QVERIFY(text.contains(QStringLiteral("随机数种子7")));
    QVERIFY(text.contains(QStringLiteral("样本数400")));
    const mc::Summary& run = w->report()->summary;
    const QString doneRow =
        QString::number(run.done) +
        QString::number(100.0 * double(run.done) / double(run.samples), 'f', 2) +
        QStringLiteral("%计算到底");
    QVERIFY2(text.contains(doneRow), qPrintable(doneRow));
    // Every sample counts; the source of each default is given.
    QVERIFY(text.contains(QStringLiteral("每个样本都计入概率，没有舍弃")));
    QVERIFY(text.contains(QStringLiteral("默认离散的来源：")));
    QVERIFY(
        text.contains(QStringLiteral("保护层厚度：fibBulletin34（2006）：保护层厚度服从正态分布")));
    QVERIFY(!text.contains(QStringLiteral("只计入计算到底")));
    // The chart titles and the axis title of the vector charts.
    QVERIFY(text.contains(QStringLiteral("概率P(t≤τ)")));
    QVERIFY(text.contains(QStringLiteral("可靠指标β(τ)")));
    QVERIFY(text.contains(QStringLiteral("年龄τ(a)")));
    QVERIFY2(text.contains(squeezed(QStringLiteral("目标 β = 1.3（t_i、t_d）"))),
             qPrintable(text.mid(text.indexOf(QStringLiteral("可靠指标β(τ)")), 600)));
    QVERIFY(text.contains(squeezed(QStringLiteral("敏感性：输入与 t_i、t_c、t_d 的秩相关系数"))));
    // The statistics at the target age as the window shows them.
    for (int c = 1; c < w->atTargetTable()->columnCount(); ++c) {
      const QString cell = squeezed(w->atTargetTable()->item(2, c)->text());
      QVERIFY2(text.contains(cell), qPrintable(cell));
    }
    // Same inputs as the sheet's calculation: no warning note.
    QVERIFY(!text.contains(QStringLiteral("不同")));

    const QStringList fonts =
        runTool(QStringLiteral("pdffonts"), {pdf}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(fonts.size() > 2);
    for (const QString& line : fonts.mid(2)) {
      // name type encoding emb sub uni object ID
      const QStringList cols = line.simplified().split(QLatin1Char(' '));
      QVERIFY2(cols.size() >= 5 && cols[cols.size() - 5] == QLatin1String("yes"), qPrintable(line));
    }

    // The window's own 报告 writes the same section.
    const QString own = dir.filePath(QStringLiteral("own.pdf"));
    dialogs_->next = own;
    QTest::mouseClick(w->reportButton(), Qt::LeftButton);
    QCOMPARE(dialogs_->asked.size(), std::size_t{3});
    QCOMPARE(questions(*dialogs_).back(), print_offer(own));
    const QString ownText = pdfText(own);
    QVERIFY(ownText.contains(QStringLiteral("可靠指标β(τ)")));
    QVERIFY(ownText.contains(w->percentileTable()->item(0, 2)->text()));
    QVERIFY(dialogs_->shown.empty());
  }

  void reportPrefersTheRunOfTheSheetsInputsAndNotesADifference() {
    ReliabilityWindow* same = openAnalysis(true);
    QVERIFY(same != nullptr);
    QVERIFY(runSmall(same, QStringLiteral("200")));
    ReliabilityWindow* other = openAnalysisWindow();
    QVERIFY(other != nullptr && other != same);
    setCell(other, 5, ReliabilityWindow::kMean, QStringLiteral("35"));
    QVERIFY(runSmall(other, QStringLiteral("200")));

    // The later, active run differs from the sheet: the run of the sheet's inputs is chosen.
    QCOMPARE(main_->mdiArea()->activeSubWindow()->widget(), other);
    QCOMPARE(actions()->reliabilityRun(1), same);

    // Asked for from the differing window itself, its run is reported with a note.
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("other.pdf"));
    dialogs_->next = pdf;
    QTest::mouseClick(other->reportButton(), Qt::LeftButton);
    QCOMPARE(questions(*dialogs_), QStringList{print_offer(pdf)});
    const QString text = pdfText(pdf);
    QVERIFY2(text.contains(QStringLiteral("保护层厚度：计算表30，可靠度分析35")),
             qPrintable(text.right(800)));
    QVERIFY(text.contains(other->percentileTable()->item(0, 2)->text()));

    // With only the differing run left, the menu's report takes it, with the note.
    main_->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(same->parentWidget()));
    dialogs_->nextAnswer = 0;  // its run was neither exported nor reported: 关闭
    main_->mdiArea()->activeSubWindow()->close();
    QTRY_COMPARE(actions()->reliabilityRun(1), other);
    const QString menuPdf = dir.filePath(QStringLiteral("menu.pdf"));
    reportThroughMenu(main_->sheetView(1), menuPdf);
    QVERIFY(pdfText(menuPdf).contains(QStringLiteral("计算表30，可靠度分析35")));

    // While a run goes on there is no run to report; a cancelled one leaves the one before.
    other->samplesEdit()->setText(QStringLiteral("10000000"));
    QTest::mouseClick(other->calculateButton(), Qt::LeftButton);
    QVERIFY(!other->reportButton()->isEnabled());
    QCOMPARE(actions()->reliabilityRun(1), nullptr);
    QSignalSpy ended(other, &ReliabilityWindow::runEnded);
    other->cancel();
    QVERIFY(ended.wait(10000));
    QCOMPARE(actions()->reliabilityRun(1), other);
    QCOMPARE(other->report()->summary.samples, std::uint64_t{200});
    QVERIFY(dialogs_->shown.empty());
  }

  void reportFromTheWindowBeforeTheSheetHasCalculated() {
    ReliabilityWindow* w = openAnalysis(false);
    QVERIFY(w != nullptr);
    QVERIFY(!main_->controller(1)->lastReport());
    QVERIFY(runSmall(w, QStringLiteral("200")));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("run.pdf"));
    dialogs_->next = pdf;
    QTest::mouseClick(w->reportButton(), Qt::LeftButton);
    QVERIFY(dialogs_->shown.empty());
    QCOMPARE(questions(*dialogs_), QStringList{print_offer(pdf)});
    const QString text = pdfText(pdf);
    QVERIFY2(text.contains(QStringLiteral("可靠度分析")), qPrintable(text.left(400)));
    QVERIFY(text.contains(QStringLiteral("计算表尚无完成的计算")));
    QVERIFY(text.contains(w->percentileTable()->item(1, 2)->text()));
    QVERIFY(!text.contains(QStringLiteral("计算结果")));
  }

  void aRunWithStopsSaysSoFirstAndDrawsTheBandBetweenTheBounds() {
    ReliabilityWindow* w = openSheetAnalysis(3, kVariable);
    QVERIFY(w != nullptr);
    QVERIFY(runSmall(w, QStringLiteral("2000")));
    const mc::Report& r = *w->report();
    const mc::Summary& s = r.summary;
    QVERIFY(s.rejected > 0);
    QVERIFY(s.survived > 0);

    // Above the results, in plain Chinese: the share that did not run to the end, each cause
    // and how it is counted, then the scatter the ranges cannot carry.
    QVERIFY(!w->warningLabel()->isHidden());
    const QString warnings = w->warningLabel()->text();
    QVERIFY2(warnings.startsWith(QStringLiteral("注意：2000 个样本中有 ")), qPrintable(warnings));
    QVERIFY(
        warnings.contains(QStringLiteral("一致性检查：实测浓度不低于表面浓度：模型无法跟踪，"
                                         "按最早可能失效的年龄计为失效（偏于安全）")));
    QVERIFY(warnings.contains(QStringLiteral("永远达不到开始锈蚀")));
    // The lower bound is named, with no word of the console inside the desktop.
    QVERIFY(warnings.contains(QStringLiteral("按未失效计的下界")));
    QVERIFY2(!warnings.contains(QStringLiteral("控制台")), qPrintable(warnings));
    QVERIFY(warnings.contains(QStringLiteral("注意：氯临界浓度的样本限于 1.2--1.6")));
    QVERIFY(w->warningLabel()->geometry().bottom() < w->resultTabs()->geometry().top());
    QVERIFY(w->statusLabel()->text().contains(QStringLiteral("计算前检查拒绝 %1").arg(s.rejected)));

    // Every sample in the table of how they ended, survivors included; the counts add up.
    QTableWidget* stops = w->stopsTable();
    QCOMPARE(stops->rowCount(), int(s.stops.size()) + 1);
    QCOMPARE(stops->item(0, 2)->text(), QStringLiteral("计算到底"));
    std::uint64_t total = 0;
    QStringList causes;
    for (int row = 0; row < stops->rowCount(); ++row) {
      total += stops->item(row, 0)->text().toULongLong();
      causes << stops->item(row, 2)->text() + QStringLiteral(" / ") + stops->item(row, 3)->text();
    }
    QCOMPARE(total, s.samples);
    QVERIFY2(
        causes.filter(QStringLiteral("临界浓度不低于表面浓度 / 永远达不到开始锈蚀")).size() == 1,
        qPrintable(causes.join('\n')));

    // The headline and its lower bound apart at the target age, and as a band in the chart.
    QVERIFY(s.atTarget.p[mc::kEnd] > s.atTarget.pLow[mc::kEnd]);
    QCOMPARE(w->atTargetTable()->item(2, 1)->text(),
             QString::number(s.atTarget.p[mc::kEnd], 'f', 5));
    QCOMPARE(w->atTargetTable()->item(2, 2)->text(),
             QString::number(s.atTarget.pLow[mc::kEnd], 'f', 5));
    auto* pChart = qobject_cast<QChartView*>(w->probabilityChart())->chart();
    int bands = 0;
    for (QAbstractSeries* series : pChart->series()) {
      auto* area = qobject_cast<QAreaSeries*>(series);
      if (!area) continue;
      ++bands;
      const QList<QPointF> upper = area->upperSeries()->points();
      const QList<QPointF> lower = area->lowerSeries()->points();
      QCOMPARE(upper.size(), int(s.curve.size()));
      for (int i = 0; i < upper.size(); ++i) QVERIFY(upper[i].y() >= lower[i].y());
    }
    QCOMPARE(bands, 3);  // refused samples are not followed in any of the three times

    // The binder sets the ageing exponent's default: 0.20 for slag, still the default.
    QVERIFY(w->binderBox() != nullptr);
    QVERIFY(w->variantBox() == nullptr);
    const int exponent = w->rowOf(7);
    QCOMPARE(w->inputTable()->item(exponent, ReliabilityWindow::kSd)->text(),
             QStringLiteral("0.12"));
    QCOMPARE(w->distributionBox(exponent)->currentText(), QStringLiteral("Beta"));
    w->binderBox()->setCurrentIndex(2);
    QCOMPARE(w->inputTable()->item(exponent, ReliabilityWindow::kSd)->text(),
             QStringLiteral("0.2"));
    QCOMPARE(w->inputTable()->item(exponent, ReliabilityWindow::kSource)->text(),
             QStringLiteral("fib Bulletin 34（2006）"));
    QVERIFY(runSmall(w, QStringLiteral("500")));
    QVERIFY(w->report()->binder == mc::Binder::Slag);

    // The report says it first too.
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("stops.pdf"));
    dialogs_->next = pdf;
    QTest::mouseClick(w->reportButton(), Qt::LeftButton);
    const QString text = pdfText(pdf);
    const qsizetype first = text.indexOf(QStringLiteral("首先请注意"));
    QVERIFY2(first >= 0, qPrintable(text.left(600)));
    QVERIFY(first < text.indexOf(QStringLiteral("输入参数的离散性")));
    QVERIFY(text.contains(QStringLiteral("胶凝材料掺矿渣")));
  }

  void theMarineSheetOffersBothWaysToItsInitiationTime() {
    ReliabilityWindow* w = openSheetAnalysis(4, kMarine);
    QVERIFY(w != nullptr);
    QVERIFY(w->variantBox() != nullptr);
    QVERIFY(w->binderBox() == nullptr);
    // The crossing is the analysis's default.
    QCOMPARE(w->variantBox()->currentText(), QStringLiteral("按临界浓度交点"));
    // Nothing scatters: each way gives its own deterministic initiation time.
    for (int row = 0; row < w->inputTable()->rowCount(); ++row) {
      w->inputTable()->item(row, ReliabilityWindow::kCov)->setText(QStringLiteral("0"));
    }
    QVERIFY(runSmall(w, QStringLiteral("50")));
    const double crossing = w->report()->summary.percentiles[mc::kInitiation]->p50;
    QVERIFY(w->report()->summary.variant == pellucor::analysis::InitiationVariant::Crossing);
    QVERIFY(w->statusLabel()->text().contains(QStringLiteral("开始锈蚀时间：按临界浓度交点")));
    w->variantBox()->setCurrentIndex(1);
    QCOMPARE(w->variantBox()->currentText(), QStringLiteral("按表单算法"));
    QVERIFY(runSmall(w, QStringLiteral("50")));
    QVERIFY(w->report()->summary.variant == pellucor::analysis::InitiationVariant::SheetSearch);
    // The sheet's search stops at 10.5 a; the concentration reaches C_cr later.
    QCOMPARE(w->report()->summary.percentiles[mc::kInitiation]->p50, 10.5);
    QVERIFY(crossing > 10.5 + 0.5);
  }

  void theSettingsReachTheRun() {
    ReliabilityWindow* w = openAnalysis();
    QVERIFY(w != nullptr);
    w->targetEdit(0)->setText(QStringLiteral("2"));
    w->targetEdit(1)->setText(QStringLiteral("2.5"));
    w->targetEdit(2)->setText(QStringLiteral("1.8"));
    w->modelCovEdit(0)->setText(QStringLiteral("0.1"));
    w->modelCovEdit(2)->setText(QStringLiteral("0.3"));
    w->targetAgeEdit()->setText(QStringLiteral("40"));
    w->stopCovEdit()->setText(QStringLiteral("0.05"));
    QVERIFY(runSmall(w, QStringLiteral("64000")));
    const mc::Report& r = *w->report();
    QCOMPARE(r.settings.targetBetaInitiation, 2.0);
    QCOMPARE(r.settings.targetBetaCracking, 2.5);
    QCOMPARE(r.settings.targetBeta, 1.8);
    QCOMPARE(r.summary.targets[1], 2.5);
    QCOMPARE(r.modelUncertainty.cov[0], 0.1);
    QCOMPARE(r.modelUncertainty.cov[1], 0.0);
    QCOMPARE(r.modelUncertainty.cov[2], 0.3);
    QCOMPARE(r.summary.atTarget.age, 40.0);
    QCOMPARE(r.summary.stopCov, 0.05);
    // The rule stopped the run at the end of a round, before the most samples.
    QVERIFY(r.summary.stoppedByRule);
    QVERIFY(r.summary.samples < 64000);
    QCOMPARE(w->atTargetTable()->item(2, 6)->text().right(6), QStringLiteral("（1.80）"));
    QVERIFY(w->statusLabel()->text().contains(QStringLiteral("停止准则（变异系数 < 0.05）已满足")));
  }

  // What a Chinese input method types (full-width digits, point and signs) reaches the run as
  // the sheets read it: the scatter cells, the settings, the sample count and the seed.
  void fullWidthNumbersReachTheRun() {
    ReliabilityWindow* w = openAnalysis();
    QVERIFY(w != nullptr);
    setCell(w, 5, ReliabilityWindow::kCov, QStringLiteral("０．１２"));
    w->targetEdit(2)->setText(QStringLiteral("１．８"));
    w->modelCovEdit(0)->setText(QStringLiteral("　０.１　"));
    w->seedEdit()->setText(QStringLiteral("＋７"));
    QVERIFY(runSmall(w, QStringLiteral("２００")));
    QVERIFY(dialogs_->shown.empty());
    const mc::Report& r = *w->report();
    QCOMPARE(r.settings.samples, std::uint64_t{200});
    QCOMPARE(r.settings.seed, std::uint64_t{7});
    QCOMPARE(r.settings.targetBeta, 1.8);
    QCOMPARE(r.modelUncertainty.cov[0], 0.1);
    const auto cover = std::find_if(r.inputs.begin(), r.inputs.end(),
                                    [](const mc::ReportInput& in) { return in.box == 5; });
    QVERIFY(cover != r.inputs.end());
    QCOMPARE(cover->scatter.cov, 0.12);
  }

  void theWindowFitsTheWorkspaceAndEveryButtonHasItsOwnAccessKey() {
    main_->resize(1024, 720);
    QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
    ReliabilityWindow* w = openAnalysis();
    QVERIFY(w != nullptr);
    QApplication::processEvents();
    auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    const QRect area = main_->mdiArea()->viewport()->rect();
    QVERIFY2(area.contains(sub->geometry()), qPrintable(QStringLiteral("%1,%2 %3x%4 in %5x%6")
                                                            .arg(sub->x())
                                                            .arg(sub->y())
                                                            .arg(sub->width())
                                                            .arg(sub->height())
                                                            .arg(area.width())
                                                            .arg(area.height())));
    // Nothing cut off: every button at least as wide as its text needs.
    const QString menuKeys = QStringLiteral("ABCDENWX");
    QString keys;
    for (QPushButton* b : w->findChildren<QPushButton*>()) {
      QVERIFY2(b->width() >= b->sizeHint().width(), qPrintable(b->text()));
      const qsizetype amp = b->text().indexOf(QLatin1Char('&'));
      QVERIFY2(amp >= 0 && amp + 1 < b->text().size(), qPrintable(b->text()));
      const QChar key = b->text().at(amp + 1).toUpper();
      QVERIFY2(!keys.contains(key) && !menuKeys.contains(key), qPrintable(b->text()));
      keys += key;
    }
    QCOMPARE(keys.size(), 4);
    // The settings show the most samples whole.
    QLineEdit* samples = w->samplesEdit();
    QVERIFY(samples->width() >=
            samples->fontMetrics().horizontalAdvance(QStringLiteral("10000000")) + 8);
  }

  // At the main window's design size: the window inside the client area, the sample box
  // showing its whole number (not scrolled to its last digits), every button with an access
  // key of its own.
  void atTheDesignSizeTheSampleBoxShowsItsWholeNumber() {
    main_->resize(main_->designSize());
    QApplication::processEvents();
    ReliabilityWindow* w = openAnalysis();
    QVERIFY(w != nullptr);
    QApplication::processEvents();
    auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    QVERIFY(main_->mdiArea()->viewport()->rect().contains(sub->geometry()));
    QCOMPARE(access_key_problems(*w), QStringList{});
    QLineEdit* samples = w->samplesEdit();
    QVERIFY(samples->isVisible());
    for (const QString& text : {QStringLiteral("10000"), QStringLiteral("10000000")}) {
      samples->setText(text);
      samples->setCursorPosition(int(text.size()));
      // The first digit still at the left edge with the cursor after the last one.
      const QRect r = samples->contentsRect();
      QCOMPARE(samples->cursorPositionAt(QPoint(r.left() + 3, r.center().y())), 0);
      QVERIFY2(samples->width() >= samples->fontMetrics().horizontalAdvance(text) + 8,
               qPrintable(QStringLiteral("%1 px").arg(samples->width())));
    }
    // After a run whose notes fill the frame above the tabs, the input table keeps room for
    // several rows and the measurements' note its whole text (the page scrolls instead).
    ReliabilityWindow* variable = openSheetAnalysis(3, kVariable);
    QVERIFY(variable != nullptr);
    QVERIFY(runSmall(variable, QStringLiteral("2000")));
    QVERIFY(!variable->warningLabel()->isHidden());
    variable->resultTabs()->setCurrentIndex(0);
    QApplication::processEvents();
    QTableWidget* inputs = variable->inputTable();
    QVERIFY2(inputs->viewport()->height() >= 4 * inputs->rowHeight(0),
             qPrintable(QStringLiteral("%1 px").arg(inputs->viewport()->height())));
    auto* note = variable->findChild<QLabel*>(QStringLiteral("measurementNote"));
    QVERIFY(note != nullptr);
    QVERIFY2(note->height() >= note->heightForWidth(note->width()),
             qPrintable(QStringLiteral("%1 of %2 px")
                            .arg(note->height())
                            .arg(note->heightForWidth(note->width()))));
    // Every label of the settings whole, on this sheet and on the marine one (which has a row
    // more).
    ReliabilityWindow* marine = openSheetAnalysis(4, kMarine);
    QVERIFY(marine != nullptr);
    QApplication::processEvents();
    for (ReliabilityWindow* window : {w, marine}) {
      auto* settings = window->samplesEdit()->parentWidget();
      for (QLabel* l : settings->findChildren<QLabel*>()) {
        QVERIFY2(l->width() >= l->sizeHint().width(), qPrintable(QStringLiteral("%1: %2 of %3 px")
                                                                     .arg(l->text())
                                                                     .arg(l->width())
                                                                     .arg(l->sizeHint().width())));
      }
    }
  }

  // Closing asks while a completed run is neither exported nor reported, and while a run goes
  // on; the answer keeps the window or closes it.
  void closingAsksBeforeAnUnsavedRunIsLost() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto closeWindow = [this](ReliabilityWindow* w, std::optional<int> answer) {
      const QPointer<QMdiSubWindow> sub(qobject_cast<QMdiSubWindow*>(w->parentWidget()));
      dialogs_->nextAnswer = answer;
      sub->close();
      QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      return sub.isNull();
    };
    const QString unsaved = QStringLiteral(
        "本窗口有已完成、尚未导出CSV也未写入报告的计算结果。关闭窗口后这些结果不保留。");

    // Nothing computed: no question.
    QVERIFY(closeWindow(openAnalysis(), std::nullopt));
    QCOMPARE(dialogs_->asked.size(), std::size_t{0});

    // A run: asked, with 取消 the default; the dialog closed or 取消 keep the window.
    ReliabilityWindow* w = openAnalysisWindow();
    QVERIFY(runSmall(w, QStringLiteral("200")));
    QVERIFY(w->hasUnsavedRun());
    QVERIFY(!closeWindow(w, std::nullopt));
    QVERIFY(!closeWindow(w, 1));
    QCOMPARE(dialogs_->asked.size(), std::size_t{2});
    QCOMPARE(dialogs_->asked[0].title, QStringLiteral("可靠度分析"));
    QCOMPARE(dialogs_->asked[0].text, unsaved);
    QCOMPARE(dialogs_->asked[0].answers, (QStringList{"关闭", "取消"}));
    QCOMPARE(dialogs_->asked[0].defaultAnswer, 1);
    // Exported: closes without asking. A failed export does not count.
    dialogs_->next = dir.filePath(QStringLiteral("missing/curves.csv"));
    QTest::mouseClick(w->exportButton(), Qt::LeftButton);
    QVERIFY(w->hasUnsavedRun());
    dialogs_->next = dir.filePath(QStringLiteral("curves.csv"));
    QTest::mouseClick(w->exportButton(), Qt::LeftButton);
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("curves.csv"))));
    QVERIFY(!w->hasUnsavedRun());
    // A new run is unsaved again.
    QVERIFY(runSmall(w, QStringLiteral("300")));
    QVERIFY(w->hasUnsavedRun());
    dialogs_->asked.clear();
    QVERIFY(closeWindow(w, 0));
    QCOMPARE(questions(*dialogs_), QStringList{unsaved});

    // Reported through its 报告 button: closes without asking.
    w = openAnalysisWindow();
    QVERIFY(runSmall(w, QStringLiteral("200")));
    dialogs_->next = dir.filePath(QStringLiteral("report.pdf"));
    QTest::mouseClick(w->reportButton(), Qt::LeftButton);
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("report.pdf"))));
    dialogs_->asked.clear();
    QVERIFY(closeWindow(w, std::nullopt));
    QCOMPARE(dialogs_->asked.size(), std::size_t{0});

    // A run going on: continuing keeps it; 取消计算并关闭 cancels it and closes.
    w = openAnalysisWindow();
    w->samplesEdit()->setText(QStringLiteral("5000000"));
    QTest::mouseClick(w->calculateButton(), Qt::LeftButton);
    QVERIFY(w->isRunning());
    QVERIFY(!closeWindow(w, 1));
    QCOMPARE(dialogs_->asked.back().answers, (QStringList{"取消计算并关闭", "继续"}));
    QVERIFY(w->isRunning());
    QVERIFY(closeWindow(w, 0));
  }

  void badInputIsRefusedWithAMessageAndNothingRuns_data() {
    QTest::addColumn<int>("box");  // 0: the sample count
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("negative CoV") << 5 << int(ReliabilityWindow::kCov) << "-0.1"
                                  << "保护层厚度的变异系数必须是不小于 0 的数!";
    QTest::newRow("CoV not a number") << 5 << int(ReliabilityWindow::kCov) << "abc"
                                      << "保护层厚度的变异系数必须是不小于 0 的数!";
    QTest::newRow("CoV with a letter") << 5 << int(ReliabilityWindow::kCov) << "0.1O"
                                       << "保护层厚度的变异系数必须是不小于 0 的数!";
    QTest::newRow("mean out of range") << 5 << int(ReliabilityWindow::kMean) << "95"
                                       << "您输入的保护层厚度不在有效范围！请输入 3--90 间的数!";
    QTest::newRow("CoV of an empty box") << 7 << int(ReliabilityWindow::kCov) << "0.1"
                                         << "实测碳化深度没有输入数值，不能取变异系数!";
    QTest::newRow("no samples") << 0 << 0 << "0"
                                << "样本数必须在 1--10000000 之间!";
    QTest::newRow("too many samples") << 0 << 0 << "10000001"
                                      << "样本数必须在 1--10000000 之间!";
    QTest::newRow("samples with a letter") << 0 << 0 << "2O0"
                                           << "样本数必须在 1--10000000 之间!";
    // Settings: -1 the target of t_c, -2 the model CoV of t_d, -3 the target age, -4 the
    // stopping rule.
    QTest::newRow("target not a number") << -1 << 0 << "abc"
                                         << "目标可靠指标必须是一个数!";
    QTest::newRow("negative model CoV") << -2 << 0 << "-0.1"
                                        << "模型不确定性系数的变异系数必须是不小于 0 的数!";
    QTest::newRow("target age of 0") << -3 << 0 << "0"
                                     << "目标年龄必须是大于 0 的数!";
    QTest::newRow("stopping rule not a number") << -4 << 0 << "x"
                                                << "停止准则的变异系数必须是不小于 0 的数!";
  }
  void badInputIsRefusedWithAMessageAndNothingRuns() {
    QFETCH(int, box);
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(QString, message);
    ReliabilityWindow* w = openAnalysis();
    QVERIFY(w != nullptr);
    QString before;
    QLineEdit* setting = box == 0    ? w->samplesEdit()
                         : box == -1 ? w->targetEdit(1)
                         : box == -2 ? w->modelCovEdit(2)
                         : box == -3 ? w->targetAgeEdit()
                         : box == -4 ? w->stopCovEdit()
                                     : nullptr;
    if (setting) {
      before = setting->text();
      setting->setText(text);
    } else {
      before = w->inputTable()->item(w->rowOf(box), column)->text();
      setCell(w, box, column, text);
    }
    QTest::mouseClick(w->calculateButton(), Qt::LeftButton);
    QVERIFY(!w->isRunning());
    QVERIFY(!w->report().has_value());
    QCOMPARE(dialogs_->shown.size(), std::size_t{1});
    QCOMPARE(dialogs_->shown[0].title, QStringLiteral("输入验证"));
    QCOMPARE(dialogs_->shown[0].text, message);

    // The box to put right has the focus.
    if (setting) QCOMPARE(QApplication::focusWidget(), setting);
    // Put right, the same window runs.
    if (setting) {
      setting->setText(box == 0 ? QStringLiteral("200") : before);
    } else {
      setCell(w, box, column, before);
    }
    w->samplesEdit()->setText(QStringLiteral("200"));
    QTest::mouseClick(w->calculateButton(), Qt::LeftButton);
    QVERIFY(waitForRun(w));
    QVERIFY(w->report().has_value());
  }
};

PELLUCOR_SHELL_TEST_MAIN(ReliabilityWindowTest)
#include "reliability_window_test.moc"
