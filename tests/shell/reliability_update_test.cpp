// The reliability window's 按检测数据更新 switch driven through its widgets (offscreen): an
// update gives what the update itself gives, prior and posterior side by side, with its
// diagnostics in plain Chinese above the results; a run below its diagnostics is said first
// and not graded; readings it cannot read are refused naming them, and the window stays usable;
// a member's measurements set from outside are used with the errors typed in the window.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QtCharts/QChartView>
#include <QtCharts/QScatterSeries>

#include "analysis/mc/problem.hpp"
#include "analysis/update/update.hpp"
#include "sheet_driver.hpp"
#include "shell/analysis_menu/analysis_actions.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/reliability/reliability_window.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"

using namespace pellucor::shell;
using namespace pellucor::shell::testing;
namespace mc = pellucor::analysis::mc;
namespace update = pellucor::analysis::update;
namespace sheet = pellucor::sheet;

namespace {

// The carbonation example: m 2, T 15, RH 0.7, f_cu 30, cover 30, t 60, CO2 1.5, d 20, tension,
// outdoor, plain round bar.
const std::vector<std::pair<int, QString>> kCarbonation = {
    {1, "2"}, {2, "15"}, {3, "0.7"}, {4, "30"}, {5, "30"}, {6, "60"}, {8, "1.5"}, {9, "20"}};

// Ten depths read at 30 a, as an engineer types them (blanks, commas and a full-width comma).
const QString kReadings = QStringLiteral("8.5 9.1, 7.8;10.2，9.6 8.8 9.9 7.5 8.1 9.4");
const std::vector<double> kDepths = {8.5, 9.1, 7.8, 10.2, 9.6, 8.8, 9.9, 7.5, 8.1, 9.4};

// The example as the sheet reads it.
mc::Problem example_problem(const sheet::Module& module) {
  sheet::SheetInputs typed;
  for (const auto& [n, text] : kCarbonation) typed.value[std::size_t(n)] = text.toDouble();
  typed.selected[1] = typed.selected[4] = true;
  typed.steelText = sheet::kSteelItems[0];
  typed.steelKind = 1;
  typed.steelName = "圆钢筋      ";
  return mc::with_defaults(module, typed);
}

QString plain(const QLabel* l) {
  return l->text();
}

}  // namespace

class ReliabilityUpdateTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<ScriptedDialogs> dialogs_;
  std::unique_ptr<MainWindow> main_;

  ReliabilityWindow* openCarbonation() {
    QtSheetView* view = main_->showSheet(1);
    fill(view, kCarbonation);
    click(view, sheet::Control::Option4);
    if (!chooseSteelKind(view, 1)) return nullptr;
    main_->findChild<QAction*>(QStringLiteral("menu_reliability"))->trigger();
    return qobject_cast<ReliabilityWindow*>(main_->mdiArea()->activeSubWindow()->widget());
  }

  static bool run(ReliabilityWindow* w) {
    QSignalSpy ended(w, &ReliabilityWindow::runEnded);
    QTest::mouseClick(w->calculateButton(), Qt::LeftButton);
    return w->isRunning() && ended.wait(120000);
  }

 private slots:
  void init() {
    dialogs_ = std::make_unique<ScriptedDialogs>();
    main_ = std::make_unique<MainWindow>(*dialogs_);
    install_analysis_menu(*main_);
    main_->show();
    QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
  }
  void cleanup() { main_.reset(); }

  void typedReadingsUpdateTheAnalysisAsTheUpdateItselfDoes() {
    ReliabilityWindow* w = openCarbonation();
    QVERIFY(w != nullptr);
    // Opened from a sheet: no member, the switch off, the results page says there is no update.
    QVERIFY(!w->updateSwitch()->isChecked());
    QVERIFY(plain(w->measurementLabel()).contains(QStringLiteral("无构件的检测数据")));
    QVERIFY(w->predictiveCharts().isEmpty());

    w->samplesEdit()->setText(QStringLiteral("2000"));
    w->depthReadingsEdit()->setText(kReadings);
    w->depthAgeEdit()->setText(QStringLiteral("30"));
    w->depthCovEdit()->setText(QStringLiteral("0.15"));
    w->updateSwitch()->setChecked(true);
    QVERIFY(run(w));
    QVERIFY(dialogs_->shown.empty());
    QVERIFY(w->updateResult().has_value());

    // The same update computed directly.
    update::Measurements m;
    m.depths.push_back({kDepths, 30, 0.15});
    update::UpdateSettings s;
    s.run.samples = 2000;
    s.run.seed = 1;
    const auto expected = update::run_update(example_problem(main_->controller(1)->module()), m, s);
    QVERIFY(expected.ok());
    const update::UpdateResult& got = *w->updateResult();
    QCOMPARE(got.measurements.depths.size(), std::size_t{1});
    QCOMPARE(got.measurements.depths[0].logs.size(), kDepths.size());
    QCOMPARE(got.diagnostics.draws, expected->diagnostics.draws);
    for (std::size_t k = 0; k < mc::kTimes; ++k) {
      QCOMPARE(got.posterior.atTarget.p[k], expected->posterior.atTarget.p[k]);
      QCOMPARE(got.prior.summary.atTarget.p[k], expected->prior.summary.atTarget.p[k]);
    }
    // The "结果" page keeps the prior: the run's report is the prior analysis.
    QCOMPARE(w->report()->summary.atTarget.p[0], expected->prior.summary.atTarget.p[0]);

    // Prior and posterior side by side, row t_i: P prior, P posterior (SE), beta prior, beta
    // posterior (target).
    QTableWidget* t = w->updateTable();
    QCOMPARE(t->rowCount(), 3);
    QCOMPARE(t->item(0, 1)->text(), QString::number(expected->prior.summary.atTarget.p[0], 'f', 4));
    QVERIFY(t->item(0, 2)->text().startsWith(
        QString::number(expected->posterior.atTarget.p[0], 'f', 4)));
    QVERIFY(t->horizontalHeaderItem(1)->text().startsWith(QStringLiteral("先验")));
    QVERIFY(t->item(0, 4)->text().endsWith(QStringLiteral("（1.3）")));
    QCOMPARE(w->updateInputTable()->rowCount(), static_cast<int>(got.inputs.size()));
    const int n = static_cast<int>(got.inputs.size());
    QCOMPARE(w->correlationTable()->rowCount(), n);
    QCOMPARE(w->correlationTable()->columnCount(), n + 1);
    QCOMPARE(w->correlationTable()->item(0, 1)->text(), QStringLiteral("1.00"));

    // The diagnostics in plain Chinese, the method and the effective samples named.
    const QString diagnostics = plain(w->diagnosticsLabel());
    QVERIFY2(diagnostics.contains(QStringLiteral("有效样本数")), qPrintable(diagnostics));
    QVERIFY(diagnostics.contains(
        QString::fromUtf8(update::method_text(got.diagnostics.method).data())));
    QVERIFY(diagnostics.contains(got.diagnostics.passed ? QStringLiteral("诊断通过")
                                                        : QStringLiteral("诊断未通过")));
    QVERIFY(diagnostics.contains(QStringLiteral("0.15")));  // the error's CoV, typed

    // The predictive curve carries the ten readings at 30 a.
    const QList<QWidget*> charts = w->predictiveCharts();
    QCOMPARE(charts.size(), 1);
    int measured = 0;
    for (auto* series : static_cast<QChartView*>(charts[0])->chart()->series()) {
      if (auto* sc = qobject_cast<QScatterSeries*>(series)) {
        for (const QPointF& p : sc->points()) {
          QCOMPARE(p.x(), 30.0);
          ++measured;
        }
      }
    }
    QCOMPARE(measured, static_cast<int>(kDepths.size()));
    // The inputs' chart: a segment per input, prior and posterior, and the two means' series.
    QCOMPARE(static_cast<QChartView*>(w->updateInputsChart())->chart()->series().size(), 2 * n + 2);

    // Switched off again: the next run is the plain analysis, and the update is gone.
    w->updateSwitch()->setChecked(false);
    QVERIFY(run(w));
    QVERIFY(!w->updateResult().has_value());
    QVERIFY(w->predictiveCharts().isEmpty());
  }

  void aRunBelowItsDiagnosticsIsSaidFirstAndNotGraded() {
    ReliabilityWindow* w = openCarbonation();
    QVERIFY(w != nullptr);
    // 30 samples: at most 90 draws, below the 100 effective samples the diagnostics ask.
    w->samplesEdit()->setText(QStringLiteral("30"));
    w->depthReadingsEdit()->setText(kReadings);
    w->depthAgeEdit()->setText(QStringLiteral("30"));
    w->updateSwitch()->setChecked(true);
    QVERIFY(run(w));
    QVERIFY(w->updateResult().has_value());
    QVERIFY(!w->updateResult()->diagnostics.passed);
    QVERIFY(w->warningLabel()->isVisible());
    QVERIFY2(
        w->warningLabel()->text().startsWith(QStringLiteral("注意：按检测数据更新的诊断未通过")),
        qPrintable(w->warningLabel()->text()));
    QVERIFY(w->warningLabel()->text().contains(QStringLiteral("不据以评级")));
    QVERIFY(w->statusLabel()->text().contains(QStringLiteral("诊断未通过")));
    QVERIFY(plain(w->diagnosticsLabel()).contains(QStringLiteral("诊断未通过")));
  }

  // What the window cannot read is refused before any run, naming it; the window stays usable.
  void readingsItCannotReadAreRefusedNamingThem() {
    ReliabilityWindow* w = openCarbonation();
    QVERIFY(w != nullptr);
    w->samplesEdit()->setText(QStringLiteral("500"));
    w->updateSwitch()->setChecked(true);
    struct Case {
      QString readings, age, corrosion, corrosionSd;
      QString said;  // in the message
      QLineEdit* (ReliabilityWindow::*focus)() const;
    };
    const Case cases[] = {
        {{},
         {},
         {},
         {},
         QStringLiteral("没有可用于更新的检测数据"),
         &ReliabilityWindow::depthReadingsEdit},
        {QStringLiteral("8 nine 10"),
         QStringLiteral("30"),
         {},
         {},
         QStringLiteral("“nine”"),
         &ReliabilityWindow::depthReadingsEdit},
        {QStringLiteral("8 9 10"),
         {},
         {},
         {},
         QStringLiteral("年龄"),
         &ReliabilityWindow::depthAgeEdit},
        {QStringLiteral("8 9 10"),
         QStringLiteral("30"),
         QStringLiteral("0.1"),
         {},
         QStringLiteral("锈蚀深度测量的标准差"),
         &ReliabilityWindow::corrosionSdEdit},
    };
    for (const Case& c : cases) {
      dialogs_->shown.clear();
      w->depthReadingsEdit()->setText(c.readings);
      w->depthAgeEdit()->setText(c.age);
      w->corrosionDepthEdit()->setText(c.corrosion);
      w->corrosionSdEdit()->setText(c.corrosionSd);
      QTest::mouseClick(w->calculateButton(), Qt::LeftButton);
      QVERIFY2(!w->isRunning(), qPrintable(c.said));
      QCOMPARE(dialogs_->shown.size(), std::size_t{1});
      QVERIFY2(dialogs_->shown[0].text.contains(c.said), qPrintable(dialogs_->shown[0].text));
      QCOMPARE(QApplication::focusWidget(), (w->*c.focus)());
    }
    // A reading the update itself refuses (a negative depth) comes back from the run as its
    // message, and the window keeps no result.
    dialogs_->shown.clear();
    w->depthReadingsEdit()->setText(QStringLiteral("8 -9 10"));
    w->depthAgeEdit()->setText(QStringLiteral("30"));
    w->corrosionDepthEdit()->clear();
    QVERIFY(run(w));
    QCOMPARE(dialogs_->shown.size(), std::size_t{1});
    QVERIFY(!w->report().has_value());
    QVERIFY(w->statusLabel()->text().contains(QStringLiteral("按检测数据更新未能运行")));
    QVERIFY(w->calculateButton()->isEnabled());
  }

  // A member's measurements given to the window switch it on, are named beside the switch, and
  // take the errors typed in the window.
  void aMembersMeasurementsTakeTheErrorsTypedHere() {
    ReliabilityWindow* w = openCarbonation();
    QVERIFY(w != nullptr);
    update::Measurements m;
    m.depths.push_back({kDepths, 42, std::nullopt});
    m.coverMm = {28, 31, 33};
    w->setMeasurements(m, QStringLiteral("工程中构件“柱 C1”的检测数据"));
    QVERIFY(w->updateSwitch()->isChecked());
    const QString note = plain(w->measurementLabel());
    QVERIFY2(note.contains(QStringLiteral("柱 C1")) &&
                 note.contains(QStringLiteral("10 个碳化深度读数（42 a）")) &&
                 note.contains(QStringLiteral("3 个保护层厚度读数")),
             qPrintable(note));
    auto used = w->measurementsToUse();
    QVERIFY(used.has_value());
    QCOMPARE(*used, m);  // nothing typed: the member's, with their estimated errors
    w->depthCovEdit()->setText(QStringLiteral("0.2"));
    w->corrosionDepthEdit()->setText(QStringLiteral("0.05"));
    w->corrosionSdEdit()->setText(QStringLiteral("0.02"));
    used = w->measurementsToUse();
    QVERIFY(used.has_value());
    QCOMPARE(used->depths.size(), std::size_t{1});
    QCOMPARE(used->depths[0].errorCov, std::optional<double>(0.2));
    QCOMPARE(used->depths[0].depthMm, kDepths);
    QCOMPARE(used->coverMm, m.coverMm);
    QVERIFY(used->corrosionDepth.has_value());
    QCOMPARE(used->corrosionDepth->value, 0.05);
    QCOMPARE(used->corrosionDepth->sd, 0.02);
    QVERIFY(dialogs_->shown.empty());
  }
};

QTEST_MAIN(ReliabilityUpdateTest)
#include "reliability_update_test.moc"
