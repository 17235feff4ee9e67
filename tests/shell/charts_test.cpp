// The chart window and the PDF report, driven offscreen through the menu as a user does:
// every sheet's worked example, the charts against the result record, PNG and SVG export,
// the PDF read back with pdftotext and pdffonts, following the sheet through later
// calculations, and the paths that cannot be written.
#include <QAction>
#include <QApplication>
#include <QDate>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>

#include "analysis/curves/curves.hpp"
#include "analysis/timeline.hpp"
#include "modules/registry.hpp"
#include "sheet/number_form.hpp"
#include "sheet/numeric.hpp"
#include "sheet_driver.hpp"
#include "shell/analysis_menu/analysis_actions.hpp"
#include "shell/charts/chart_builder.hpp"
#include "shell/charts/chart_window.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/reliability/reliability_window.hpp"
#include "shell/reports/pdf_report.hpp"
#include "shell/reports/presentation.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"
#include "shell_fixture.hpp"
#include "worked_examples.hpp"

using pellucor::sheet::Control;
using namespace pellucor::shell;
using namespace pellucor::shell::testing;
namespace curves = pellucor::analysis::curves;

namespace {

QString run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    return QStringLiteral("<%1 failed: %2>")
        .arg(program, QString::fromUtf8(p.readAllStandardError()));
  }
  return QString::fromUtf8(p.readAllStandardOutput());
}

QList<QPointF> curvePoints(const curves::Series& s) {
  QList<QPointF> pts;
  for (const auto& p : s.points) pts.append(QPointF(p.x, p.y));
  return pts;
}

template <class S>
QList<S*> seriesWithRole(QChart* chart, const char* role) {
  QList<S*> out;
  for (QAbstractSeries* s : chart->series()) {
    if (s->property(kRoleProperty).toString() == QLatin1String(role)) {
      if (auto* x = qobject_cast<S*>(s)) out.append(x);
    }
  }
  return out;
}

}  // namespace

class ChartsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<ScriptedDialogs> dialogs_;
  std::unique_ptr<MainWindow> window_;
  AnalysisActions* actions_ = nullptr;

  AnalysisActions* actions() const { return actions_; }

  QtSheetView* calculateExample(const WorkedExample& e) {
    window_->menuAction(e.sheet)->trigger();
    QApplication::processEvents();
    QtSheetView* view = window_->sheetView(e.sheet);
    if (!view) return nullptr;
    fill(view, e.boxes);
    for (const Control c : e.options) click(view, c);
    if (!chooseSteelKind(view, e.steelKind)) return nullptr;
    click(view, Control::CmdCal);
    QApplication::processEvents();
    return view;
  }

  QStringList windowList() {
    emit window_->windowMenu()->aboutToShow();
    QStringList texts;
    for (QAction* a : window_->windowListActions()) texts << a->property("caption").toString();
    return texts;
  }

  // The chart window shows exactly the curves of the sheet's last completed run.
  void verifyShows(ChartWindow* w, const curves::Curves& expected) {
    QCOMPARE(w->tabs()->count(), static_cast<int>(expected.charts.size()));
    for (int i = 0; i < w->tabs()->count(); ++i) {
      const curves::Chart& c = expected.charts[static_cast<std::size_t>(i)];
      QCOMPARE(w->tabs()->tabText(i), qs(c.title));
      QChart* chart = w->chartView(i)->chart();
      const auto lines = seriesWithRole<QLineSeries>(chart, kRoleCurve);
      QCOMPARE(lines.size(), static_cast<qsizetype>(c.series.size()));
      for (qsizetype k = 0; k < lines.size(); ++k) {
        QCOMPARE(lines[k]->points(), curvePoints(c.series[static_cast<std::size_t>(k)]));
      }
      const auto dots = seriesWithRole<QScatterSeries>(chart, kRoleMarker);
      QCOMPARE(dots.size(), static_cast<qsizetype>(c.markers.size()));
      // Every marked point is in the legend with its values, and the first carries its name
      // beside it (others too where there is room): on its own box inside the plot, none on
      // top of another.
      w->tabs()->setCurrentIndex(i);
      QTRY_VERIFY(dots.isEmpty() || !marker_label_boxes(*chart).isEmpty());
      const QList<QRectF> names = marker_label_boxes(*chart);
      for (qsizetype k = 0; k < names.size(); ++k) {
        QVERIFY(chart->plotArea().contains(names[k]));
        for (qsizetype j = 0; j < k; ++j) QVERIFY(!names[j].intersects(names[k]));
      }
      for (qsizetype k = 0; k < dots.size(); ++k) {
        const auto& m = c.markers[static_cast<std::size_t>(k)];
        QCOMPARE(dots[k]->points(), QList<QPointF>{QPointF(m.at.x, m.at.y)});
        QCOMPARE(dots[k]->name(), qs(m.label));
        QVERIFY(qs(m.label).startsWith(marker_tag(m)) && !marker_tag(m).isEmpty());
      }
      // Phases shaded on every chart against age.
      QCOMPARE(seriesWithRole<QAbstractSeries>(chart, kRolePhase).size(),
               static_cast<qsizetype>(c.bands.size()));
      const auto axes = chart->axes();
      QStringList titles;
      for (QAbstractAxis* a : axes) titles << a->titleText();
      QVERIFY(titles.contains(axis_title(c.xName, c.xUnit)));
      QVERIFY(titles.contains(axis_title(c.yName, c.yUnit)));
    }
  }

 private slots:
  void init() {
    dialogs_ = std::make_unique<ScriptedDialogs>();
    window_ = std::make_unique<MainWindow>(*dialogs_);
    actions_ = install_analysis_menu(*window_);
    window_->show();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  }
  void cleanup() { window_.reset(); }

  void analysisMenuHoldsChartsAndReport() {
    // The chart and report entries come first; the analyses of many calculations follow. The
    // main window alone has the menu empty: only the installer fills it.
    QCOMPARE(MainWindow(*dialogs_).analysisMenu()->actions().size(), 0);
    const auto entries = window_->analysisMenu()->actions();
    QStringList texts;
    for (const QAction* a : entries) texts << a->text();
    QCOMPARE(texts, (QStringList{"曲线图(&G)", "报告(&R)…", "批量计算(&M)…", "可靠度分析(&P)…",
                                 "设计(&D)…"}));
    QCOMPARE(entries[2], actions()->batchAction());
    QCOMPARE(entries[3], actions()->reliabilityAction());
    // With no sheet open there is nothing to draw or report.
    entries[0]->trigger();
    entries[1]->trigger();
    QCOMPARE(dialogs_->shown.size(), 2u);
    QVERIFY(dialogs_->requests.empty());
  }

  void everySheetsWorkedExample_data() {
    QTest::addColumn<int>("index");
    for (std::size_t i = 0; i < worked_examples().size(); ++i) {
      QTest::newRow(worked_examples()[i].name) << static_cast<int>(i);
    }
  }
  void everySheetsWorkedExample() {
    QFETCH(int, index);
    const WorkedExample& e = worked_examples()[static_cast<std::size_t>(index)];
    QtSheetView* view = calculateExample(e);
    QVERIFY(view);
    QVERIFY(dialogs_->shown.empty());
    const auto* controller = window_->controller(e.sheet);
    QVERIFY(controller->lastReport().has_value());

    window_->analysisMenu()->actions()[0]->trigger();
    ChartWindow* w = actions()->chartWindow(e.sheet);
    QVERIFY(w);
    const QString title = QStringLiteral("曲线图 — ") + qs(controller->table().caption);
    QCOMPARE(w->parentWidget()->windowTitle(), title);
    QVERIFY(windowList().contains(title));
    QCOMPARE(window_->mdiArea()->activeSubWindow()->widget(), w);

    const auto expected = curves::curves(controller->lastRun());
    QVERIFY(expected.has_value());
    verifyShows(w, *expected);

    // The marked points against the result record: the cracking depth and the inspection
    // depth the report prints.
    const auto tl = pellucor::analysis::timeline(controller->lastRun());
    QVERIFY(tl.has_value());
    const auto* depth = expected->find(curves::ChartKind::Depth);
    QVERIFY(depth);
    const QString pane = view->paneLines().join(QLatin1Char('\n'));
    for (const auto& m : depth->markers) {
      if (m.mark == curves::Mark::Cracking) QCOMPARE(m.at.y, tl->prop.dcr);
      if (m.mark == curves::Mark::Inspection && tl->t >= tl->ti) QCOMPARE(m.at.y, tl->prop.dt);
    }
    QVERIFY(pane.contains(qs(pellucor::sheet::number_single(tl->prop.dcr))));
    QVERIFY(pane.contains(qs(pellucor::sheet::number_single(tl->prop.dt))));
    QCOMPARE(expected->find(curves::ChartKind::Profile) != nullptr, e.sheet >= 2 && e.sheet <= 4);
    QCOMPARE(expected->find(curves::ChartKind::Carbonation) != nullptr, e.sheet == 1);

    // Export of every chart.
    QTemporaryDir dir;
    for (int i = 0; i < w->tabs()->count(); ++i) {
      const QString png = dir.filePath(QStringLiteral("chart%1.png").arg(i));
      const QString svg = dir.filePath(QStringLiteral("chart%1.svg").arg(i));
      QVERIFY(w->exportPng(i, png));
      QVERIFY(w->exportSvg(i, svg));
      // At 300 dpi by default: the chart shown, drawn at 300/96 of its pixels, saying so.
      const QImage image(png);
      const CurveChartView* shown = w->chartView(i);
      QCOMPARE(image.width(), qRound(shown->width() * 300 / 96.0));
      QCOMPARE(qRound(image.dotsPerMeterX() * 0.0254), 300);
      if (i == 0) {
        QVERIFY(w->exportPng(i, png, 96));
        QCOMPARE(QImage(png).width(), shown->width());
        // Through its button: the name offered says what it holds; the window says where it
        // wrote.
        w->tabs()->setCurrentIndex(0);
        dialogs_->next = png;
        QTest::mouseClick(w->findChild<QPushButton*>("exportPng"), Qt::LeftButton);
        QVERIFY2(dialogs_->requests.back().suggested == w->exportName(0) + ".png" &&
                     w->exportName(0).contains(qs(shown->curves().title)),
                 qPrintable(dialogs_->requests.back().suggested));
        QCOMPARE(w->status(), written_to(png));
        dialogs_->requests.clear();
      }
      QFile f(svg);
      QVERIFY(f.open(QIODevice::ReadOnly));
      const QString text = QString::fromUtf8(f.readAll());
      QVERIFY(text.contains(QStringLiteral("<svg")));
      QVERIFY(text.contains(QStringLiteral("<path")));
      // At the size shown, and every text with typefaces besides the program's own.
      const CurveChartView* view = w->chartView(i);
      const auto width = QRegularExpression(QStringLiteral("<svg[^>]*width=\"([0-9.]+)mm\""))
                             .match(text)
                             .captured(1)
                             .toDouble();
      QVERIFY(std::fabs(width - view->width() * 25.4 / view->logicalDpiX()) < 0.5);
      const auto families =
          QRegularExpression(QStringLiteral("font-family=\"([^\"]*)\"")).globalMatch(text);
      int seen = 0;
      for (auto it = families; it.hasNext(); ++seen) {
        QVERIFY(it.next().captured(1).endsWith(QStringLiteral("sans-serif")));
      }
      QVERIFY(seen > 0);
    }

    // The report, through the menu, with the sheet active again.
    window_->menuAction(e.sheet)->trigger();
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    dialogs_->next = pdf;
    window_->analysisMenu()->actions()[1]->trigger();
    QVERIFY2(dialogs_->shown.empty(),
             dialogs_->shown.empty() ? "" : qPrintable(dialogs_->shown.back().text));
    // The report replaces a file chosen again (the dialog asks so) and is offered under a
    // name that says what it holds; opening and printing are offered, neither the default.
    QCOMPARE(dialogs_->requests.size(), std::size_t{1});
    QVERIFY(dialogs_->requests[0].mode == SaveMode::Replace);
    QVERIFY2(dialogs_->requests[0].suggested.endsWith(
                 file_name_of({qs(controller->table().menuCaption).section("(&", 0, 0), "报告"}) +
                 ".pdf"),
             qPrintable(dialogs_->requests[0].suggested));
    QCOMPARE(questions(*dialogs_), QStringList{print_offer(pdf)});
    QCOMPARE(dialogs_->asked[0].answers, (QStringList{"打开", "打印", "关闭"}));
    QCOMPARE(dialogs_->asked[0].defaultAnswer, 2);
    QCOMPARE(dialogs_->printDialogs, 0);
    QVERIFY(dialogs_->opened.isEmpty());
    // 打开 opens the file written in the desktop's viewer.
    dialogs_->next = pdf;
    dialogs_->nextAnswer = 0;
    window_->analysisMenu()->actions()[1]->trigger();
    QCOMPARE(dialogs_->opened, QStringList{pdf});
    const QString text =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY2(text.contains(qs(controller->table().caption)), qPrintable(text.left(400)));
    QVERIFY(text.contains(program_title()));
    QVERIFY(text.contains(QStringLiteral("第 1 页")));
    QVERIFY(text.contains(QStringLiteral("龄期 (a)")));  // axis titles of the vector charts
    const ReportTable results = result_table(*controller->lastRecord());
    QVERIFY(results.rows.size() >= 7);
    for (const QStringList& row : results.rows) {
      QVERIFY2(text.contains(row[0]), qPrintable(row[0]));
      QVERIFY2(text.contains(row[1]), qPrintable(row[1]));
    }
    const ReportTable inputs = input_table(*controller->lastRecord());
    QVERIFY(inputs.rows.size() >= 8);
    for (const QStringList& row : inputs.rows) QVERIFY2(text.contains(row[0]), qPrintable(row[0]));
    const QStringList fonts =
        run(QStringLiteral("pdffonts"), {pdf}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(fonts.size() > 2);
    for (const QString& line : fonts.mid(2)) {
      // name type encoding emb sub uni object ID
      const QStringList cols = line.simplified().split(QLatin1Char(' '));
      QVERIFY2(cols.size() >= 5 && cols[cols.size() - 5] == QLatin1String("yes"), qPrintable(line));
    }
  }

  // The carbonation example has not cracked at its inspection age: its crack width reads
  // 未开裂 in the report's results, the computed figure beside it.
  void aNegativeCrackWidthReadsNotCrackedInTheReport() {
    QtSheetView* view = calculateExample(worked_examples()[0]);
    QVERIFY(view);
    const ReportTable results = result_table(*window_->controller(1)->lastRecord());
    bool found = false;
    for (const QStringList& row : results.rows) {
      if (!row[0].contains(QStringLiteral("裂缝宽度"))) continue;
      found = true;
      QVERIFY2(row[1].startsWith(QStringLiteral("未开裂（计算值 -1.1")), qPrintable(row[1]));
    }
    QVERIFY(found);
  }

  // 报告 after the boxes changed: the question first (with the change), then the details dialog;
  // the details and the change reach the first page; the details are offered again next time,
  // all but the member.
  void reportAsksAndCarriesItsDetails() {
    const WorkedExample& e = worked_examples()[4];
    QtSheetView* view = calculateExample(e);
    QVERIFY(view);
    typeInto(view, 5, QStringLiteral("35"));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    ReportDetails details;
    details.project = QStringLiteral("滨海大桥检测");
    details.structure = QStringLiteral("引桥第三跨");
    details.member = QStringLiteral("梁 B-12");
    details.inspector = QStringLiteral("张工");
    details.checker = QStringLiteral("李工");
    details.date = QDate(2026, 12, 1);

    // Refused at the question: no dialog at all.
    dialogs_->nextAnswer = 1;
    actions()->reportAction()->trigger();
    QCOMPARE(dialogs_->asked.size(), std::size_t{1});
    QVERIFY(dialogs_->asked[0].text.contains(QStringLiteral("保护层厚度：计算时 30，现在 35")));
    QCOMPARE(dialogs_->asked[0].answers, (QStringList{"仍然写报告", "取消"}));
    QVERIFY(dialogs_->detailsAsked.empty() && dialogs_->requests.empty());

    dialogs_->nextAnswer = 0;
    dialogs_->nextDetails = details;
    dialogs_->next = pdf;
    actions()->reportAction()->trigger();
    QCOMPARE(dialogs_->detailsAsked.size(), std::size_t{1});
    QCOMPARE(dialogs_->requests.size(), std::size_t{1});
    const QString first = run(QStringLiteral("pdftotext"),
                              {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                               QStringLiteral("1"), pdf, QStringLiteral("-")})
                              .remove(QRegularExpression(QStringLiteral("\\s")));
    for (const QString& part :
         {details.project, details.structure, details.member, details.inspector, details.checker,
          QStringLiteral("2026-12-01"), QStringLiteral("保护层厚度：计算时 30，现在 35")}) {
      QVERIFY2(first.contains(QString(part).remove(QLatin1Char(' '))),
               qPrintable(part + QStringLiteral(" in ") + first.left(600)));
    }
    // The figures are numbered with captions.
    const QString all = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY(all.contains(QRegularExpression(QStringLiteral("图\\s*1\\s"))));
    QVERIFY(all.contains(QRegularExpression(QStringLiteral("图\\s*2\\s"))));

    // Cancelled details: nothing written; the remembered ones come back without the member.
    dialogs_->nextAnswer = 0;
    dialogs_->cancelDetails = true;
    actions()->reportAction()->trigger();
    QCOMPARE(dialogs_->detailsAsked.size(), std::size_t{2});
    QCOMPARE(dialogs_->requests.size(), std::size_t{1});
    ReportDetails remembered = details;
    remembered.member.clear();
    remembered.date = QDate::currentDate();
    QCOMPARE(dialogs_->detailsAsked[1], remembered);
  }

  // A reliability run on the sheet's own values is the same calculation (the assumed cracking
  // time that the iteration rewrote is a starting value, not an input of the member); one with
  // another mean says so on page 1, naming the input.
  void reliabilityRunThatDiffersIsSaidOnPageOne() {
    const WorkedExample& e = worked_examples()[3];  // marine: the iteration rewrites Text13
    QtSheetView* view = calculateExample(e);
    QVERIFY(view);
    window_->menuAction(e.sheet)->trigger();
    ReliabilityWindow* w = actions()->openReliability();
    QVERIFY(w);
    w->samplesEdit()->setText(QStringLiteral("300"));
    auto runOnce = [&] {
      QSignalSpy ended(w, &ReliabilityWindow::runEnded);
      w->calculate();
      return ended.count() > 0 || ended.wait(60000);
    };
    QVERIFY(runOnce() && w->report());
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("r.pdf"));
    auto firstPage = [&] {
      return run(QStringLiteral("pdftotext"),
                 {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                  QStringLiteral("1"), pdf, QStringLiteral("-")})
          .remove(QRegularExpression(QStringLiteral("\\s")));
    };
    QVERIFY(actions()->writeReport(e.sheet, pdf, w));
    QVERIFY2(!firstPage().contains(QStringLiteral("不可直接对照")), qPrintable(firstPage()));

    w->inputTable()->item(w->rowOf(5), ReliabilityWindow::kMean)->setText(QStringLiteral("45"));
    QVERIFY(runOnce() && w->report());
    QVERIFY(actions()->writeReport(e.sheet, pdf, w));
    const QString page = firstPage();
    QVERIFY2(page.contains(QStringLiteral("不可直接对照")), qPrintable(page));
    QVERIFY2(page.contains(QStringLiteral("保护层厚度：计算表40，可靠度分析45")), qPrintable(page));
  }

  // The marine worked example: the sheet's half-year search (t_i 10.5 a) and the real crossing
  // (12.77 a) lie apart. The reader meets it first: framed on page 1 of the report, and on the
  // sheet's status line beside the pane (which keeps the sheet's own report).
  void theMarineSearchAgainstTheCrossingIsReadFirst() {
    const WorkedExample& e = worked_examples()[3];
    QtSheetView* view = calculateExample(e);
    QVERIFY(view);
    QVERIFY2(
        view->statusLine().contains(QStringLiteral("按临界浓度交点 t_i=12.77 a（表单 10.5 a）")),
        qPrintable(view->statusLine()));
    QVERIFY2(view->statusLine().contains(QStringLiteral("t_d=31.83 a（表单 29.87 a）")),
             qPrintable(view->statusLine()));
    // Whole on the line at the sheet's design width, not cut short.
    const auto* status = view->findChild<QLabel*>(QStringLiteral("sheetStatus"));
    QVERIFY(status != nullptr);
    QCOMPARE(status->text(), view->statusLine());
    QVERIFY(!view->paneLines().join('\n').contains(QStringLiteral("12.77")));
    const ReportDocument doc = actions()->report(e.sheet);
    QCOMPARE(doc.notices().size(), 1);
    QVERIFY(doc.notices()[0].contains(QStringLiteral("12.77")));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("m.pdf"));
    QVERIFY(actions()->writeReport(e.sheet, pdf));
    const QString first = run(QStringLiteral("pdftotext"),
                              {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                               QStringLiteral("1"), pdf, QStringLiteral("-")})
                              .remove(QRegularExpression(QStringLiteral("\\s")));
    QVERIFY2(first.contains(QStringLiteral("钢筋处浓度实际达到临界浓度的年龄12.77a")),
             qPrintable(first));
    // Another calculation that brings them together clears the line.
    typeInto(view, 17, QStringLiteral("12.5"));
    click(view, Control::CmdCal);
    QVERIFY2(!view->statusLine().contains(QStringLiteral("临界浓度")),
             qPrintable(view->statusLine()));
  }

  void followsItsSheetThroughLaterCalculations() {
    const WorkedExample& e = worked_examples()[2];  // time-dependent coefficient
    QtSheetView* view = calculateExample(e);
    QVERIFY(view);
    ChartWindow* w = actions()->showCharts(e.sheet);
    QVERIFY(w);
    const auto* controller = window_->controller(e.sheet);
    const auto before = curves::curves(controller->lastRun());
    verifyShows(w, *before);

    // A new cover: Calculate runs to its end and the charts are those of the new run.
    window_->menuAction(e.sheet)->trigger();
    typeInto(view, 5, QStringLiteral("45"));
    QCOMPARE(box(view, 5)->text(), QStringLiteral("45"));
    click(view, Control::CmdCal);
    QApplication::processEvents();
    QVERIFY(dialogs_->shown.empty());
    QCOMPARE(std::get<pellucor::model::ChlorideVariableRun>(controller->lastRun()).in.coverMm,
             45.0);
    const auto after = curves::curves(controller->lastRun());
    QVERIFY(curvePoints(after->charts[0].series[0]) != curvePoints(before->charts[0].series[0]));
    verifyShows(w, *after);
    QCOMPARE(actions()->showCharts(e.sheet), w);  // one window per sheet

    // A measured concentration equal to the surface one stops Calculate: nothing new is
    // drawn, and the window says so.
    window_->menuAction(e.sheet)->trigger();
    const QString shownStatus = w->status();
    typeInto(view, 11, QStringLiteral("5"));
    click(view, Control::CmdCal);
    QApplication::processEvents();
    QCOMPARE(dialogs_->shown.size(), 1u);
    QCOMPARE(dialogs_->shown[0].title, QStringLiteral("输入验证"));
    verifyShows(w, *after);
    QVERIFY(w->status() != shownStatus);
    QVERIFY(w->status().contains(QStringLiteral("上一次完成的计算")));
  }

  void chartsBeforeAnyCalculationWaitForOne() {
    window_->menuAction(2)->trigger();
    window_->analysisMenu()->actions()[0]->trigger();
    ChartWindow* w = actions()->chartWindow(2);
    QVERIFY(w);
    QCOMPARE(w->tabs()->count(), 0);
    QVERIFY(w->status().contains(QStringLiteral("尚无完成的计算")));
    QVERIFY(!w->exportPng(0, QStringLiteral("unused.png")));
    // Nothing to export: the buttons say so.
    for (const char* name : {"exportPng", "exportSvg"}) {
      QVERIFY(!w->findChild<QPushButton*>(QLatin1String(name))->isEnabled());
    }
    // The report needs a completed calculation: a message, no dialog.
    window_->menuAction(2)->trigger();
    window_->analysisMenu()->actions()[1]->trigger();
    QCOMPARE(dialogs_->shown.size(), 1u);
    QVERIFY(dialogs_->requests.empty());
  }

  void unwritablePathsGiveAMessageAndTheSheetStaysUsable() {
    const WorkedExample& e = worked_examples()[4];
    QtSheetView* view = calculateExample(e);
    QVERIFY(view);
    ChartWindow* w = actions()->showCharts(e.sheet);
    const QString bad = QStringLiteral("/nonexistent-folder/x/report.pdf");
    window_->menuAction(e.sheet)->trigger();
    dialogs_->next = bad;
    window_->analysisMenu()->actions()[1]->trigger();
    QCOMPARE(dialogs_->shown.size(), 1u);
    QVERIFY(dialogs_->shown[0].text.contains(bad));
    QVERIFY(dialogs_->asked.empty());
    QVERIFY(!QFile::exists(bad));
    QVERIFY(!w->exportPng(0, QStringLiteral("/nonexistent-folder/c.png")));
    QVERIFY(!w->exportSvg(0, QStringLiteral("/nonexistent-folder/c.svg")));
    // The sheet still calculates.
    dialogs_->shown.clear();
    click(view, Control::CmdCal);
    QApplication::processEvents();
    QVERIFY(dialogs_->shown.empty());
    QVERIFY(window_->controller(e.sheet)->lastReport().has_value());
  }

  void wallReinforcementHasNoWidthChartAndSaysSo() {
    WorkedExample e = worked_examples()[0];
    e.steelKind = 3;
    QVERIFY(calculateExample(e));
    QVERIFY(dialogs_->shown.empty());
    ChartWindow* w = actions()->showCharts(e.sheet);
    QStringList titles;
    for (int i = 0; i < w->tabs()->count(); ++i) titles << w->tabs()->tabText(i);
    QCOMPARE(titles, (QStringList{QStringLiteral("碳化深度"), QStringLiteral("锈蚀深度")}));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("wall.pdf"));
    QVERIFY(actions()->writeReport(e.sheet, pdf));
    const QString text =
        run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}).simplified().remove(' ');
    QVERIFY(text.contains(QStringLiteral("检测时锈胀裂缝宽度：不计算（墙板配筋）")));
    QVERIFY(text.contains(QStringLiteral("墙板配筋不计算锈胀裂缝宽度。")));
  }

  void reportTablesShowWhatTheSheetPrints() {
    // Names with the units the texts state (misspelt units corrected), inputs as typed, results
    // with the digits an engineer reads; a text instead of a value (wall reinforcement) stays a
    // row without a unit; what the sheet does not print stays out (the humidity as typed), but
    // t_d and the member's state close the results on every sheet.
    pellucor::sheet::SheetInputs in;
    for (const auto& [n, v] : std::vector<std::pair<int, double>>{
             {1, 2}, {2, 15}, {3, 0.9}, {4, 30}, {5, 30}, {6, 60}, {8, 1.5}, {9, 20}}) {
      in.value[static_cast<std::size_t>(n)] = v;
    }
    in.selected = {false, true, false, false, true};  // tension, outdoors
    in.steelText = pellucor::sheet::kSteelItems[2];
    in.steelKind = pellucor::sheet::steel_kind(in.steelText);
    in.steelName = pellucor::sheet::steel_name(in.steelText);
    struct Sink final : pellucor::sheet::CalculationSink {
      void passStarted(double) override {}
      void passFinished(const std::vector<std::string>&) override {}
    } sink;
    const auto out = pellucor::modules::all_modules()[0]->calculate(in, sink);
    QVERIFY(!out.stop);
    const ReportTable inputs = input_table(out.record);
    const QList<QStringList> expectedInputs = {
        {"局部环境系数", "2", ""},      {"环境温度", "15", "℃"},
        {"环境湿度", "0.8", ""},        {"混凝土强度", "30", "MPa"},
        {"保护层厚度", "30", "mm"},     {"结构使用（检测）时间", "60", "a"},
        {"实测碳化深度", "未输入", ""}, {"二氧化碳浓度系数", "1.5", ""},
        {"钢筋直径", "20", "mm"},       {"钢筋种类", "墙板配筋", ""},
        {"结构工作条件", "室外", ""},   {"钢筋应力状态", "受拉", ""}};
    QCOMPARE(inputs.rows, expectedInputs);
    const ReportTable results = result_table(out.record);
    QCOMPARE(results.rows.size(), 14);
    QCOMPARE(results.rows[0][0], QStringLiteral("碳化系数"));
    QCOMPARE(results.rows[0][2], QString());
    const double tc = *out.record.value("tc");
    QCOMPARE(results.rows[6], (QStringList{"保护层开裂时间", QString::number(tc, 'f', 1), "a"}));
    QCOMPARE(results.rows[9], (QStringList{"检测时锈胀裂缝宽度", "不计算（墙板配筋）", ""}));
    const double td = *out.record.value("td");
    QCOMPARE(results.rows[12],
             (QStringList{"耐久性终结时间 t_d", QString::number(td, 'f', 1), "a"}));
    QCOMPARE(results.rows[13][0], QStringLiteral("检测时（t = 60 a）构件的状态"));
    QCOMPARE(results.rows[13][1], state_name(*member_state(out.record)));
  }

  // Where a sheet's own label is wrong for its value, the report says what the value is; the
  // pane keeps the sheet's text. Checked against the model: K = 2·z·√D with D in m²/a, and the
  // marine sheet's "depth" after cracking is the rate λ1.
  void reportCorrectsWrongLabels_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("paneText");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("unit");
    QTest::newRow("K, constant coefficient") << 1 << "K"
                                             << "氯侵蚀系数:"
                                             << "氯侵蚀系数"
                                             << "m/a^0.5";
    QTest::newRow("K, marine") << 3 << "K"
                               << "氯侵蚀系数:"
                               << "氯侵蚀系数"
                               << "m/a^0.5";
    QTest::newRow("rate after cracking, marine") << 3 << "lambda1"
                                                 << "保护层开裂后钢筋锈蚀深度:"
                                                 << "保护层开裂后钢筋锈蚀速度"
                                                 << "mm/a";
    QTest::newRow("rate after cracking, constant coefficient") << 1 << "lambda1"
                                                               << "保护层开裂后钢筋锈蚀速度:"
                                                               << "保护层开裂后钢筋锈蚀速度"
                                                               << "mm/a";
  }
  void reportCorrectsWrongLabels() {
    QFETCH(int, index);
    QFETCH(QString, key);
    QFETCH(QString, paneText);
    QFETCH(QString, name);
    QFETCH(QString, unit);
    QtSheetView* view = calculateExample(worked_examples()[static_cast<std::size_t>(index)]);
    QVERIFY(view);
    const auto& record = *view->controller().lastRecord();
    const auto* item = record.find(key.toStdString());
    QVERIFY(item && item->value);
    QVERIFY(view->paneLines().join('\n').contains(paneText));
    const ReportTable results = result_table(record);
    const QStringList expected = {name, engineer_digits(*item->value, unit.toStdString()), unit};
    QVERIFY2(results.rows.contains(expected), qPrintable(expected.join(' ')));
  }

  // The state at the inspection age from t, t_i, t_c and t_d; the end of life wins when it
  // comes before the cover cracks.
  void stateAtTheInspectionAge_data() {
    QTest::addColumn<double>("t");
    QTest::addColumn<double>("td");
    QTest::addColumn<QString>("state");
    // t_i = 10, t_c = 20
    QTest::newRow("before initiation") << 5.0 << 30.0 << "尚未锈蚀";
    QTest::newRow("at initiation") << 10.0 << 30.0 << "锈蚀中、未开裂";
    QTest::newRow("cracked") << 25.0 << 30.0 << "已开裂";
    QTest::newRow("at the end") << 30.0 << 30.0 << "耐久性已终结";
    QTest::newRow("ended before cracking") << 16.0 << 15.0 << "耐久性已终结";
  }
  void stateAtTheInspectionAge() {
    QFETCH(double, t);
    QFETCH(double, td);
    QFETCH(QString, state);
    static const pellucor::sheet::ItemText age{.key = "age"}, ti{.key = "ti"}, tc{.key = "tc"},
        end{.key = "td"};
    pellucor::sheet::ResultRecord r;
    r.input(age, t).result(ti, 10).result(tc, 20).result(end, td);
    QCOMPARE(state_name(*member_state(r)), state);
    pellucor::sheet::ResultRecord withoutEnd;
    withoutEnd.input(age, t).result(ti, 10).result(tc, 20);
    QVERIFY(!member_state(withoutEnd));
  }

  void readoutShowsAgeAndValueUnderTheMouse() {
    QtSheetView* view = calculateExample(worked_examples()[0]);
    QVERIFY(view);
    ChartWindow* w = actions()->showCharts(1);
    QApplication::processEvents();
    w->tabs()->setCurrentIndex(1);  // corrosion depth
    CurveChartView* v = w->chartView(1);
    QVERIFY(v);
    QTRY_VERIFY(v->chart()->plotArea().width() > 0 && v->chart()->plotArea().height() > 0);
    const QRectF plot = v->chart()->plotArea();
    const QPoint inside = v->mapFromScene(v->chart()->mapToScene(plot.center()));
    const QString text = v->readoutAt(inside);
    QVERIFY2(text.startsWith(QStringLiteral("龄期 ")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("钢筋锈蚀深度: ")));
    QVERIFY(text.contains(QStringLiteral(" mm")));
    QVERIFY(v->readoutAt(QPoint(1, 1)).isEmpty());  // off the plot
    // Half way along the age axis the value is the depth curve's there.
    const double age = v->chart()->mapToValue(v->chart()->mapFromScene(v->mapToScene(inside))).x();
    QVERIFY(text.contains(QString::number(age, 'g', 5)));
  }
};

PELLUCOR_SHELL_TEST_MAIN(ChartsTest)
#include "charts_test.moc"
