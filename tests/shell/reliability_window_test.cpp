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
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QtCharts/QChartView>
#include <sstream>

#include "analysis/mc/engine.hpp"
#include "analysis/mc/summary.hpp"
#include "sheet_driver.hpp"
#include "shell/analysis_actions.hpp"
#include "shell/main_window.hpp"
#include "shell/pdf_report.hpp"
#include "shell/qt_sheet_view.hpp"
#include "shell/reliability_window.hpp"
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
    QCOMPARE(t->item(cover, ReliabilityWindow::kLabel)->text(), QStringLiteral("保护层厚度"));
    QCOMPARE(t->item(cover, ReliabilityWindow::kMean)->text(), QStringLiteral("30"));
    // The cover's default is an absolute deviation of 8 mm: a CoV of 8/30 at this mean.
    QCOMPARE(t->item(cover, ReliabilityWindow::kCov)->text(), QStringLiteral("0.266666666666667"));
    QCOMPARE(t->item(cover, ReliabilityWindow::kRange)->text(), QStringLiteral("3--90"));
    QCOMPARE(w->distributionBox(w->rowOf(4))->currentText(), QStringLiteral("对数正态"));
    // The inspection age and the empty measured depth stay as typed.
    QCOMPARE(t->item(w->rowOf(6), ReliabilityWindow::kCov)->text(), QStringLiteral("0"));
    QCOMPARE(t->item(w->rowOf(7), ReliabilityWindow::kMean)->text(), QStringLiteral("0"));
    QCOMPARE(t->item(w->rowOf(7), ReliabilityWindow::kCov)->text(), QStringLiteral("0"));
    QCOMPARE(w->samplesEdit()->text(), QStringLiteral("10000"));
    QCOMPARE(w->targetEdit()->text(), QStringLiteral("1.3"));
    QVERIFY(!w->exportButton()->isEnabled());
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
    const mc::Summary expected = mc::summarize(mc::run_samples(p, settings), 1.3);
    const mc::Summary& got = w->report()->summary;
    QCOMPARE(got.done, expected.done);
    QCOMPARE(got.percentiles[mc::kInitiation]->p50, expected.percentiles[mc::kInitiation]->p50);
    QCOMPARE(got.percentiles[mc::kEnd]->p95, expected.percentiles[mc::kEnd]->p95);
    QCOMPARE(w->percentileTable()->item(0, 1)->text(),
             QString::number(expected.percentiles[mc::kInitiation]->p50, 'f', 2));
    QCOMPARE(w->percentileTable()->item(2, 3)->text(),
             QString::number(*expected.targetAge[mc::kEnd], 'f', 2));
    auto* pChart = qobject_cast<QChartView*>(w->probabilityChart())->chart();
    auto* bChart = qobject_cast<QChartView*>(w->betaChart())->chart();
    QCOMPARE(pChart->series().size(), 3);
    QCOMPARE(bChart->series().size(), 4);  // three indices and the target line

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

  void cancelEndsTheRunAndLeavesTheWindowUsable() {
    ReliabilityWindow* w = openAnalysis();
    QVERIFY(w != nullptr);
    w->samplesEdit()->setText(QStringLiteral("10000000"));
    QTest::mouseClick(w->calculateButton(), Qt::LeftButton);
    QVERIFY(w->isRunning());
    // The window keeps handling events while the samples run: it shows their progress.
    QTRY_VERIFY(w->progressBar()->value() > 0);
    QVERIFY(w->isRunning());
    QVERIFY(w->cancelButton()->isEnabled());
    QSignalSpy ended(w, &ReliabilityWindow::runEnded);
    QTest::mouseClick(w->cancelButton(), Qt::LeftButton);
    QVERIFY(ended.wait(10000));
    QVERIFY(!w->isRunning());
    QVERIFY(!w->report().has_value());
    QVERIFY(w->statusLabel()->text().startsWith(QStringLiteral("已取消")));
    QVERIFY(w->progressBar()->value() < 10000000);
    QVERIFY(!w->exportButton()->isEnabled());

    w->samplesEdit()->setText(QStringLiteral("500"));
    QTest::mouseClick(w->calculateButton(), Qt::LeftButton);
    QVERIFY(waitForRun(w));
    QCOMPARE(w->report()->summary.samples, std::uint64_t{500});
  }

  void closingDuringARunStopsIt() {
    ReliabilityWindow* w = openAnalysis();
    QVERIFY(w != nullptr);
    w->samplesEdit()->setText(QStringLiteral("10000000"));
    QTest::mouseClick(w->calculateButton(), Qt::LeftButton);
    QVERIFY(w->isRunning());
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
    // The percentiles and the ages at the target as the window shows them.
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 4; ++c) {
        const QString cell = w->percentileTable()->item(r, c)->text();
        QVERIFY(!cell.isEmpty());
        QVERIFY2(text.contains(cell), qPrintable(cell));
      }
    }
    // The inputs with their scatter and the settings.
    QVERIFY(text.contains(QStringLiteral("保护层厚度300.266666666666667正态3--90")));
    QVERIFY(text.contains(QStringLiteral("对数正态")));  // the strength
    QVERIFY(text.contains(QStringLiteral("随机数种子7")));
    QVERIFY(text.contains(QStringLiteral("样本数400")));
    QVERIFY(text.contains(QStringLiteral("计算到底的样本") +
                          QString::number(w->report()->summary.done)));
    // The chart titles and the axis title of the vector charts.
    QVERIFY(text.contains(QStringLiteral("概率P(t≤τ)")));
    QVERIFY(text.contains(QStringLiteral("可靠指标β(τ)")));
    QVERIFY(text.contains(QStringLiteral("年龄τ(a)")));
    QVERIFY(text.contains(squeezed(QStringLiteral("目标 β = 1.3"))));
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
    QVERIFY(ownText.contains(w->percentileTable()->item(0, 1)->text()));
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
    QVERIFY(text.contains(other->percentileTable()->item(0, 1)->text()));

    // With only the differing run left, the menu's report takes it, with the note.
    main_->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(same->parentWidget()));
    main_->mdiArea()->activeSubWindow()->close();
    QTRY_COMPARE(actions()->reliabilityRun(1), other);
    const QString menuPdf = dir.filePath(QStringLiteral("menu.pdf"));
    reportThroughMenu(main_->sheetView(1), menuPdf);
    QVERIFY(pdfText(menuPdf).contains(QStringLiteral("计算表30，可靠度分析35")));

    // A run that is cancelled leaves no run to report.
    other->samplesEdit()->setText(QStringLiteral("10000000"));
    QTest::mouseClick(other->calculateButton(), Qt::LeftButton);
    QVERIFY(!other->reportButton()->isEnabled());
    QCOMPARE(actions()->reliabilityRun(1), nullptr);
    QSignalSpy ended(other, &ReliabilityWindow::runEnded);
    other->cancel();
    QVERIFY(ended.wait(10000));
    QCOMPARE(actions()->reliabilityRun(1), nullptr);
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
    QVERIFY(text.contains(w->percentileTable()->item(1, 1)->text()));
    QVERIFY(!text.contains(QStringLiteral("计算结果")));
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
    QTest::newRow("mean out of range") << 5 << int(ReliabilityWindow::kMean) << "95"
                                       << "您输入的保护层厚度不在有效范围！请输入 3--90 间的数!";
    QTest::newRow("CoV of an empty box") << 7 << int(ReliabilityWindow::kCov) << "0.1"
                                         << "实测碳化深度没有输入数值，不能取变异系数!";
    QTest::newRow("no samples") << 0 << 0 << "0"
                                << "样本数必须在 1--10000000 之间!";
    QTest::newRow("too many samples") << 0 << 0 << "10000001"
                                      << "样本数必须在 1--10000000 之间!";
  }
  void badInputIsRefusedWithAMessageAndNothingRuns() {
    QFETCH(int, box);
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(QString, message);
    ReliabilityWindow* w = openAnalysis();
    QVERIFY(w != nullptr);
    QString before;
    if (box == 0) {
      before = w->samplesEdit()->text();
      w->samplesEdit()->setText(text);
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

    // Put right, the same window runs.
    if (box == 0) {
      w->samplesEdit()->setText(QStringLiteral("200"));
    } else {
      setCell(w, box, column, before);
      w->samplesEdit()->setText(QStringLiteral("200"));
    }
    QTest::mouseClick(w->calculateButton(), Qt::LeftButton);
    QVERIFY(waitForRun(w));
    QVERIFY(w->report().has_value());
  }
};

PELLUCOR_SHELL_TEST_MAIN(ReliabilityWindowTest)
#include "reliability_window_test.moc"
