// The structure report of a project of three members read back with pdftotext: the cover page,
// the settings, the summary by grade, the table of every member with the figures of its own
// assessment, each member on a page of its own with its fits and why one could not be assessed;
// the reliability runs when asked for; the program writing it without a display, with its exit
// statuses; and the desktop's menu entry.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QXYSeries>
#include <algorithm>
#include <memory>

#include "analysis/inspect/chloride_profile.hpp"
#include "analysis/project/project.hpp"
#include "analysis/structure/assessment_table.hpp"
#include "analysis/structure/structure.hpp"
#include "analysis/update/updated_grades.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/project/project_menu.hpp"
#include "shell/project/project_session.hpp"
#include "shell/reports/structure_report.hpp"
#include "shell_fixture.hpp"

using namespace pellucor::shell;
using namespace pellucor::shell::testing;
namespace assess = pellucor::analysis::assess;
namespace inspect = pellucor::analysis::inspect;
namespace project = pellucor::analysis::project;
using pellucor::sheet::Control;

namespace {

QString run_tool(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    return QStringLiteral("<%1 failed>").arg(program);
  }
  return QString::fromUtf8(p.readAllStandardOutput());
}

// The pages of a PDF as text without blanks (pdftotext spaces CJK text freely).
QStringList pdf_pages(const QString& pdf) {
  QStringList pages = run_tool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")})
                          .split(QLatin1Char('\f'), Qt::SkipEmptyParts);
  for (QString& p : pages) p.remove(QRegularExpression(QStringLiteral("\\s")));
  pages.removeAll(QString());
  return pages;
}

inspect::ProfileInput core() {
  inspect::ProfileInput in;
  in.depthMm = {1, 3, 5, 7, 9, 11, 13, 15};
  in.chloride = {5.1, 4.6, 3.7, 2.8, 2.0, 1.3, 0.9, 0.6};
  in.ageYears = 20;
  return in;
}

// Three members: a carbonation column with its readings, a chloride beam with a core and a
// cover survey, and a beam whose sheet stops (no critical concentration).
project::Project three_members() {
  project::Project p;
  p.structure = {"码头耐久性评估", "高桩码头", "宁波", "港务局", "李工", "2026年12月", ""};
  p.assessment.targetLife = 100;
  project::Member column;
  column.name = "柱 C1";
  column.sheet = "carbonation";
  column.boxes = {{Control::Text1, "2"},   {Control::Text2, "15"}, {Control::Text3, "0.7"},
                  {Control::Text4, "30"},  {Control::Text5, "30"}, {Control::Text6, "60"},
                  {Control::Text8, "1.5"}, {Control::Text9, "20"}};
  column.steel = "1 圆钢筋";
  column.options = {Control::Option1, Control::Option4};
  column.inspection.carbonation = inspect::CarbonationInput{{12, 14.5, 9, 11}, 60};
  project::Member beam;
  beam.name = "梁 B1";
  beam.sheet = "chloride-constant";
  beam.boxes = {{Control::Text1, "1.5"}, {Control::Text2, "20"}, {Control::Text3, "0.8"},
                {Control::Text4, "30"},  {Control::Text5, "40"}, {Control::Text6, "20"},
                {Control::Text7, "1.5"}, {Control::Text8, "5"},  {Control::Text9, "1.4"},
                {Control::Text13, "20"}, {Control::Text14, "20"}};
  beam.steel = "2 变形钢筋";
  beam.options = {Control::Option1};
  beam.limitStates = std::vector{assess::LimitState::EndOfLife};
  beam.inspection.profiles.push_back({"芯样 K1", core(), std::nullopt});
  beam.inspection.cover = inspect::CoverInput{{38, 41.5, 36, 44, 40}, 40.0};
  project::Member stopped = beam;
  stopped.name = "梁 B2";
  stopped.boxes.erase(Control::Text9);
  stopped.limitStates.reset();
  stopped.inspection = {};
  p.members = {column, beam, stopped};
  return p;
}

}  // namespace

class StructureReportTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

  QString write_report(const project::Project& p, const assess::StructureAssessment& s,
                       const QString& name) {
    const QString path = dir_.filePath(name);
    QString error;
    if (!structure_report(p, s).writePdf(path, &error)) return {};
    return path;
  }

  // The page that starts with `text` (a section or member that begins a page).
  static int index_of(const QStringList& pages, const QString& text) {
    for (int i = 0; i < pages.size(); ++i) {
      if (pages[i].startsWith(text)) return i;
    }
    return -1;
  }

 private slots:
  void initTestCase() { QVERIFY(dir_.isValid()); }

  void reportOfThreeMembersReadsBack() {
    const project::Project p = three_members();
    const auto s = assess::assess_structure(p);
    QVERIFY(s.ok());
    const QString pdf = write_report(p, *s, QStringLiteral("three.pdf"));
    QVERIFY(!pdf.isEmpty());
    const QStringList pages = pdf_pages(pdf);
    QVERIFY(pages.size() >= 6);

    // The first page: the project, then what the engineer reads first, the settings as used
    // and the summary by grade.
    for (const char* text : {"结构耐久性评估报告：码头耐久性评估", "高桩码头", "宁波", "港务局",
                             "李工", "2026年12月", "构件数3"}) {
      QVERIFY2(pages[0].contains(QString::fromUtf8(text)), text);
    }
    const int settings = 0;
    QVERIFY(pages[0].contains(QStringLiteral("评估设置")));
    QVERIFY(pages[0].indexOf(QStringLiteral("构件数3")) <
            pages[0].indexOf(QStringLiteral("评估设置")));
    QVERIFY(pages[0].contains(QStringLiteral("目标使用年限T=100a")));
    QVERIFY(pages[0].contains(QStringLiteral("未评定1")));
    const assess::GradeSummary& g = s->summary;
    QVERIFY(pages[0].contains(QStringLiteral("c级%1").arg(g.counts[2])));

    // The table of every member carries each member's own figures.
    const assess::AssessmentTable table = assess::assessment_table(*s);
    const int list = index_of(pages, QStringLiteral("构件一览"));
    QVERIFY(list > settings);
    // Every member's name, governing limit state, remaining life, margin and grade (the
    // explanation, wrapped in its narrow column, is checked on the member's page).
    for (const auto& row : table.rows) {
      for (std::size_t c = 0; c + 1 < row.size(); ++c) {
        const QString cell = qs(row[c]).remove(QRegularExpression(QStringLiteral("\\s")));
        QVERIFY2(pages[list].contains(cell), qPrintable(cell));
      }
    }
    // Each member from a page of its own, in order.
    int previous = list;
    for (int i = 0; i < 3; ++i) {
      const QString title = QStringLiteral("构件%1/3：%2")
                                .arg(i + 1)
                                .arg(qs(p.members[static_cast<std::size_t>(i)].name))
                                .remove(QLatin1Char(' '));
      const int at = index_of(pages, title);
      QVERIFY2(at > previous, qPrintable(title));
      previous = at;
    }
    // The column: its margins, its inputs and results, its carbonation readings.
    const int c1 = index_of(pages, QStringLiteral("构件1/3"));
    QVERIFY(pages[c1].contains(QStringLiteral("评定：") +
                               qs(s->members[0].assessment->summary()).remove(QLatin1Char(' '))));
    QVERIFY(pages[c1].contains(QStringLiteral("钢筋开始锈蚀时间")));
    const QString rest = pages.mid(c1, 3).join(QString());
    QVERIFY(rest.contains(QStringLiteral("碳化深度读数")));
    // The beam: its own limit state, the fit of its core with the fit's own figures.
    const auto fit = inspect::fit_profile(core());
    QVERIFY(fit.ok());
    const int b1 = index_of(pages, QStringLiteral("构件2/3"));
    const QString beam = pages.mid(b1, 3).join(QString());
    QVERIFY(beam.contains(QStringLiteral("（本构件自选的极限状态）")));
    QVERIFY(beam.contains(QStringLiteral("芯样K1")));
    QVERIFY(beam.contains(QString::number(fit->surface.value, 'g', 3) + QStringLiteral("±")));
    QVERIFY(beam.contains(QStringLiteral("保护层厚度读数")));
    // The beam the sheet stops: why, and its texts as typed.
    const int b2 = index_of(pages, QStringLiteral("构件3/3"));
    QVERIFY(pages[b2].contains(QStringLiteral("未评定：计算停在提示：您未输入氯离子临界浓度")));
    QVERIFY(pages[b2].contains(QStringLiteral("钢筋种类2变形钢筋")));
    QVERIFY(!pages.join(QString()).contains(QStringLiteral("可靠度分析：每个构件")));
  }

  // The figure of a core's fit shows the readings as points (the one left out among them) and
  // the fitted curve as a line: a line through the readings would pass for a second curve.
  void aCoreIsDrawnAsItsReadingsAndTheFittedCurve() {
    const project::Project p = three_members();
    const auto s = assess::assess_structure(p);
    QVERIFY(s.ok());
    const ReportDocument doc = structure_report(p, *s);
    const ReportSection* fits = nullptr;
    for (const ReportSection& sec : doc.sections()) {
      if (sec.title == QStringLiteral("检测数据的拟合") && !sec.charts.empty()) fits = &sec;
    }
    QVERIFY(fits != nullptr);
    std::unique_ptr<QChart> chart(fits->charts.front()());
    QStringList points, lines;
    for (QAbstractSeries* series : chart->series()) {
      auto* xy = qobject_cast<QXYSeries*>(series);
      QVERIFY(xy != nullptr);
      (qobject_cast<QScatterSeries*>(series) ? points : lines) << xy->name();
      if (xy->name() == QStringLiteral("未参与回归")) QCOMPARE(xy->count(), 1);
    }
    QCOMPARE(points, (QStringList{"参与回归", "未参与回归"}));
    QVERIFY(lines.contains(QStringLiteral("拟合曲线")));
  }

  void reliabilityRunsAreReportedWhenAsked() {
    project::Project p = three_members();
    p.reliability.samples = 400;
    assess::StructureOptions options;
    options.reliability = true;
    const auto s = assess::assess_structure(p, options);
    QVERIFY(s.ok());
    QVERIFY(s->members[1].reliability);
    const QString pdf = write_report(p, *s, QStringLiteral("reliability.pdf"));
    const QString text = pdf_pages(pdf).join(QString());
    QVERIFY(text.contains(QStringLiteral("可靠度分析：每个构件400个样本")));
    QVERIFY(text.contains(QStringLiteral("按可靠指标评定：") +
                          qs(s->members[1].reliability->summary()).remove(QLatin1Char(' '))));
    QVERIFY(text.contains(QStringLiteral("按可靠指标的等级")));
  }

  // `--report … --reliability --updated` grades the members with inspection data as the
  // console's `assess --reliability --updated` does (one function, the member's own update
  // settings), says so on the summary page and prints each update after its member's run.
  void updatedReportGradesAsTheConsoleDoes() {
    project::Project p = three_members();
    p.reliability.samples = 1000;
    project::UpdateRecord settings;
    settings.profileSd = 0.4;  // the beam's cores compared with this error, not their fit's
    p.members[1].update = settings;
    const QString projectPath = dir_.filePath(QStringLiteral("updated.pellucor"));
    project::save_project(projectPath.toStdString(), p);

    assess::StructureOptions options;
    options.reliability = true;
    const auto outcome = assess::assess_structure(p, options);
    QVERIFY(outcome.ok());
    assess::StructureAssessment expected = *outcome;
    const auto grades = pellucor::analysis::update::grade_updated(p, {}, expected);
    QCOMPARE(grades.graded + grades.notGraded, std::size_t{2});  // the column and the beam
    QCOMPARE(grades.withoutData, std::size_t{0});                // the third member is not assessed

    const QString pdf = dir_.filePath(QStringLiteral("updated.pdf"));
    QProcess proc;
    proc.start(QStringLiteral(PELLUCOR_APP),
               {QStringLiteral("--report"), projectPath, QStringLiteral("-o"), pdf,
                QStringLiteral("--reliability"), QStringLiteral("--updated")});
    QVERIFY(proc.waitForFinished(300000));
    const QString out = QString::fromUtf8(proc.readAllStandardOutput());
    QCOMPARE(proc.exitCode(), 2);  // written; the third member is not assessed
    for (const auto& line : grades.lines) {
      QVERIFY2(out.contains(QString::fromStdString(line)), qPrintable(out));
    }
    const QString text = pdf_pages(pdf).join(QString());
    QVERIFY(text.contains(QString::fromStdString(grades.lines[0]).remove(QLatin1Char(' '))));
    QCOMPARE(text.count(QStringLiteral("按检测数据更新的可靠度分析")),
             static_cast<int>(std::count_if(grades.results.begin(), grades.results.end(),
                                            [](const auto& r) { return r.has_value(); })));
    // The beta grade of the member table is the posterior's where it was graded.
    for (std::size_t i = 0; i < 2; ++i) {
      if (!expected.members[i].reliability) continue;
      QVERIFY(
          text.contains(qs(expected.members[i].reliability->summary()).remove(QLatin1Char(' '))));
    }

    // --updated asks for the reliability runs it updates.
    QProcess refused;
    refused.start(QStringLiteral(PELLUCOR_APP),
                  {QStringLiteral("--report"), projectPath, QStringLiteral("-o"),
                   dir_.filePath(QStringLiteral("refused.pdf")), QStringLiteral("--updated")});
    QVERIFY(refused.waitForFinished(60000));
    QCOMPARE(refused.exitCode(), 1);
    QVERIFY(QString::fromUtf8(refused.readAllStandardError())
                .contains(QStringLiteral("--reliability")));
    QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("refused.pdf"))));
  }

  // `pellucor --report` with no display at all: the program draws offscreen by itself.
  void programWritesTheReportWithoutADisplay() {
    const QString projectPath = dir_.filePath(QStringLiteral("wharf.pellucor"));
    project::save_project(projectPath.toStdString(), three_members());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
      env.remove(QString::fromLatin1(name));
    }
    const auto run = [&](const QStringList& args, QString* err = nullptr) {
      QProcess proc;
      proc.setProcessEnvironment(env);
      proc.start(QStringLiteral(PELLUCOR_APP), args);
      if (!proc.waitForFinished(120000)) return -1;
      if (err) *err = QString::fromUtf8(proc.readAllStandardError());
      return proc.exitCode();
    };
    const QString pdf = dir_.filePath(QStringLiteral("cli.pdf"));
    QString err;
    // One member cannot be assessed: the report is written, the status says so.
    QCOMPARE(run({QStringLiteral("--report"), projectPath, QStringLiteral("-o"), pdf}, &err), 2);
    QVERIFY(QFile::exists(pdf));
    QVERIFY(pdf_pages(pdf).join(QString()).contains(QStringLiteral("码头耐久性评估")));
    // Refused before anything is computed.
    QCOMPARE(run({QStringLiteral("--report"), projectPath}, &err), 1);
    QVERIFY(err.contains(QStringLiteral("-o a PDF file")));
    QCOMPARE(run({QStringLiteral("--report"), dir_.filePath(QStringLiteral("none.pellucor")),
                  QStringLiteral("-o"), dir_.filePath(QStringLiteral("x.pdf"))},
                 &err),
             1);
    QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("x.pdf"))));
    QCOMPARE(run({QStringLiteral("--report"), projectPath, QStringLiteral("-o"),
                  dir_.filePath(QStringLiteral("no/such/folder/x.pdf"))},
                 &err),
             1);
    QVERIFY(err.contains(QStringLiteral("nothing was computed")));
    // The project itself as the output: refused, the project left as it was.
    QFile before(projectPath);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();
    before.close();
    QCOMPARE(
        run({QStringLiteral("--report"), projectPath, QStringLiteral("-o"), projectPath}, &err), 1);
    QVERIFY(err.contains(QStringLiteral("same file")));
    QFile after(projectPath);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), bytes);
  }

  // The program's own command line: help without a window or a display, an argument it does
  // not know refused, and the project files that once ended it refused with the file's name
  // and the place in it.
  void programHelpAndDamagedProjects() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
      env.remove(QString::fromLatin1(name));
    }
    struct Ran {
      int status = -1;
      QString out;
      QString err;
    };
    const auto run = [&](const QStringList& args) {
      QProcess proc;
      proc.setProcessEnvironment(env);
      proc.start(QStringLiteral(PELLUCOR_APP), args);
      Ran r;
      if (!proc.waitForFinished(60000)) {
        proc.kill();
        proc.waitForFinished();
        return r;
      }
      r.status = proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -2;
      r.out = QString::fromUtf8(proc.readAllStandardOutput());
      r.err = QString::fromUtf8(proc.readAllStandardError());
      return r;
    };
    for (const QString& help : {QStringLiteral("--help"), QStringLiteral("-h")}) {
      const Ran r = run({help});
      QCOMPARE(r.status, 0);
      QVERIFY2(r.out.startsWith(QStringLiteral("Usage: pellucor")), qPrintable(r.out));
      QVERIFY(r.out.contains(QStringLiteral("--report")));
    }
    const Ran unknown = run({QStringLiteral("--no-such-option"), QStringLiteral("-platform"),
                             QStringLiteral("offscreen")});
    QCOMPARE(unknown.status, 1);
    QVERIFY2(unknown.err.contains(QStringLiteral("unexpected argument '--no-such-option'")),
             qPrintable(unknown.err));

    const QString head = QStringLiteral(R"({"format":"pellucor-project","schemaVersion":1)");
    const struct {
      const char* name;
      QString bytes;
      QString says;
    } cases[] = {
        {"overflow.pellucor", head + QStringLiteral(R"(,"assessment":{"targetLife":1e400}})"),
         QStringLiteral("line 1, column 75: the number 1e400 is out of range")},
        {"format.pellucor", QStringLiteral(R"({"format": 5, "schemaVersion": 1})"),
         QStringLiteral("/format")},
        {"nested.pellucor",
         head + QStringLiteral(R"(,"members":[{"name":"m","sheet":"admixed","options":)") +
             QString(100000, QLatin1Char('[')) + QString(100000, QLatin1Char(']')) +
             QStringLiteral("}]}"),
         QStringLiteral("nested more than 64 levels deep")},
        {"empty.pellucor", head + QStringLiteral("}"),
         QStringLiteral("the project holds no member to assess")},
        {"gamma.pellucor",
         head + QStringLiteral(R"(,"assessment":{"gamma":1e-308},"members":[{"name":"m"}]})"),
         QStringLiteral("the factor gamma must lie between 0.1 and 10")},
    };
    for (const auto& c : cases) {
      const QString path = dir_.filePath(QString::fromLatin1(c.name));
      QFile f(path);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(c.bytes.toUtf8());
      f.close();
      const QString pdf = dir_.filePath(QStringLiteral("damaged.pdf"));
      const Ran r = run({QStringLiteral("--report"), path, QStringLiteral("-o"), pdf});
      QCOMPARE(r.status, 1);
      QVERIFY2(r.err.contains(path + QStringLiteral(": ")) && r.err.contains(c.says),
               qPrintable(r.err));
      QVERIFY(r.err.contains(QStringLiteral("nothing was computed")));
      QVERIFY(!QFile::exists(pdf));
    }
  }

  void menuEntryAssessesAProjectAndWritesItsReport() {
    Session s;
    install_project_menu(*s.window, *s.actions);  // no project open: the entry asks for a file
    const QString projectPath = dir_.filePath(QStringLiteral("menu.pellucor"));
    project::save_project(projectPath.toStdString(), three_members());
    const QString pdf = dir_.filePath(QStringLiteral("menu.pdf"));
    s.dialogs.nextOpen = projectPath;
    s.dialogs.nextAnswer = 1;  // no reliability runs
    s.dialogs.next = pdf;
    s.window->findChild<QAction*>(QStringLiteral("menu_structure_report"))->trigger();
    QVERIFY(s.dialogs.shown.empty());
    // The reliability question, then opening or printing the report written (neither: closed).
    QCOMPARE(s.dialogs.asked.size(), std::size_t{2});
    QCOMPARE(s.dialogs.asked[1].text, report_written_question(pdf));
    QCOMPARE(s.dialogs.asked[1].answers, (QStringList{"打开", "打印", "关闭"}));
    QVERIFY(s.dialogs.requests.back().suggested.endsWith(QStringLiteral("结构评估报告.pdf")));
    QVERIFY(pdf_pages(pdf).join(QString()).contains(QStringLiteral("构件3/3：梁B2")));
    // The project file chosen for the report: refused, the project left whole.
    s.dialogs.nextOpen = projectPath;
    s.dialogs.nextAnswer = 1;
    s.dialogs.next = projectPath;
    s.window->findChild<QAction*>(QStringLiteral("menu_structure_report"))->trigger();
    QCOMPARE(s.dialogs.shown.size(), std::size_t{1});
    QVERIFY(s.dialogs.shown[0].text.startsWith(QStringLiteral("报告不能写入工程文件本身")));
    QVERIFY(project::open_project(projectPath.toStdString()).ok());
    s.dialogs.shown.clear();
    // A file that is not a project: a message, nothing written.
    const QString foreign = dir_.filePath(QStringLiteral("foreign.pellucor"));
    QFile f(foreign);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[1, 2]");
    f.close();
    s.dialogs.nextOpen = foreign;
    s.window->findChild<QAction*>(QStringLiteral("menu_structure_report"))->trigger();
    QCOMPARE(s.dialogs.shown.size(), std::size_t{1});
    // The message names the file and what is wrong with it.
    QVERIFY(s.dialogs.shown[0].text.startsWith(QStringLiteral("无法打开工程 ") + foreign));
    QVERIFY2(s.dialogs.shown[0].text.contains(
                 QStringLiteral("这不是本程序的工程文件（不是 JSON 对象）")),
             qPrintable(s.dialogs.shown[0].text));
  }

  // The report tells its progress section by section, first laying the pages out, then drawing
  // them; a progress that answers no stops it, and nothing is written.
  void progressCountsTheSectionsAndCanStopTheReport() {
    const project::Project p = three_members();
    const auto s = assess::assess_structure(p);
    QVERIFY(s.ok());
    ReportDocument doc = structure_report(p, *s);
    std::vector<std::size_t> steps;
    std::size_t total = 0;
    doc.setProgress([&](std::size_t done, std::size_t all) {
      steps.push_back(done);
      total = all;
      return true;
    });
    QByteArray pdf;
    QVERIFY(doc.pdf(pdf));
    QCOMPARE(total, 2 * doc.sections().size());
    QCOMPARE(steps.size(), total);
    for (std::size_t i = 0; i < steps.size(); ++i) QCOMPARE(steps[i], i);
    for (const std::size_t stopAt : {std::size_t{2}, doc.sections().size() + 3}) {
      doc.setProgress([stopAt](std::size_t done, std::size_t) { return done < stopAt; });
      const QString file = dir_.filePath(QStringLiteral("stopped.pdf"));
      QVERIFY(!doc.writePdf(file));
      QVERIFY(!QFile::exists(file));
    }
  }

  // A report of many members shows its progress, and 取消 stops it: no file, no message.
  void menuEntryShowsProgressAndCancels() {
    Session s;
    install_project_menu(*s.window, *s.actions);  // no project open: the entry asks for a file
    project::Project p = three_members();
    const project::Member column = p.members[0];
    p.members.clear();
    for (int i = 0; i < 300; ++i) {
      project::Member m = column;
      m.name = "柱 " + std::to_string(i + 1);
      p.members.push_back(m);
    }
    const QString projectPath = dir_.filePath(QStringLiteral("many.pellucor"));
    project::save_project(projectPath.toStdString(), p);
    const QString pdf = dir_.filePath(QStringLiteral("many.pdf"));
    s.dialogs.nextOpen = projectPath;
    s.dialogs.nextAnswer = 1;
    s.dialogs.next = pdf;
    bool seen = false;
    QTimer cancel;
    cancel.setInterval(200);
    QObject::connect(&cancel, &QTimer::timeout, [&] {
      auto* progress =
          s.window->findChild<QProgressDialog*>(QStringLiteral("structureReportProgress"));
      if (progress == nullptr || !progress->isVisible()) return;
      seen = progress->labelText().contains(QStringLiteral("300 个构件"));
      progress->cancel();
    });
    cancel.start();
    s.window->findChild<QAction*>(QStringLiteral("menu_structure_report"))->trigger();
    cancel.stop();
    QVERIFY(seen);
    QVERIFY(!QFile::exists(pdf));
    QVERIFY(s.dialogs.shown.empty());
  }

  // With a project open, the menu entry reports it as it stands in the program, unsaved changes
  // included, and says so on the cover; it asks for no project file, and never writes over the
  // project's own file.
  void menuEntryReportsTheOpenProject() {
    Session s;
    ProjectSession* session = install_project_menu(*s.window, *s.actions);
    const QString projectPath = dir_.filePath(QStringLiteral("open.pellucor"));
    project::save_project(projectPath.toStdString(), three_members());
    QVERIFY(session->openFile(projectPath));
    QFile saved(projectPath);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    saved.close();
    session->update([](project::Project& p) { p.members[2].name = "梁 B9"; });
    QVERIFY(session->isModified());

    const QString pdf = dir_.filePath(QStringLiteral("open.pdf"));
    s.dialogs.nextOpen = dir_.filePath(QStringLiteral("menu.pellucor"));  // not to be asked for
    s.dialogs.nextAnswer = 1;                                             // no reliability runs
    s.dialogs.next = pdf;
    s.window->findChild<QAction*>(QStringLiteral("menu_structure_report"))->trigger();
    QVERIFY(s.dialogs.shown.empty());
    QVERIFY(s.dialogs.nextOpen.has_value());
    QCOMPARE(s.dialogs.asked.size(), std::size_t{2});
    QVERIFY2(s.dialogs.asked[0].text.contains(QStringLiteral("open.pellucor")) &&
                 s.dialogs.asked[0].text.contains(QStringLiteral("含未保存的改动")),
             qPrintable(s.dialogs.asked[0].text));
    const QStringList pages = pdf_pages(pdf);
    QVERIFY(!pages.isEmpty());
    QVERIFY2(pages[0].contains(QStringLiteral("open.pellucor（含未保存的改动）")),
             qPrintable(pages[0]));
    QVERIFY(pages[0].contains(QStringLiteral("其中有尚未保存的改动")));
    QVERIFY(pages.join(QString()).contains(QStringLiteral("构件3/3：梁B9")));
    // The member's own pages: the sheet's method, inputs and results as its report prints them.
    QVERIFY(pages.join(QString()).contains(QStringLiteral("计算方法")));

    // The project's own file as the report: refused, the file as it was, the project unsaved.
    s.dialogs.nextAnswer = 1;
    s.dialogs.next = projectPath;
    s.window->findChild<QAction*>(QStringLiteral("menu_structure_report"))->trigger();
    QCOMPARE(s.dialogs.shown.size(), std::size_t{1});
    QVERIFY(s.dialogs.shown[0].text.startsWith(QStringLiteral("报告不能写入工程文件本身")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), bytes);
    saved.close();
    QVERIFY(session->isModified());

    // Saved, the cover names the file without a word on unsaved changes.
    QVERIFY(session->save());
    s.dialogs.nextAnswer = 1;
    s.dialogs.next = pdf;
    s.window->findChild<QAction*>(QStringLiteral("menu_structure_report"))->trigger();
    const QString first = pdf_pages(pdf).value(0);
    QVERIFY2(first.contains(QStringLiteral("open.pellucor")), qPrintable(first));
    QVERIFY(!first.contains(QStringLiteral("未保存")));

    // A file opened with a part it could not read: the report of the open project says so.
    std::string text = project::project_bytes(three_members());
    text.insert(text.find("\"members\""), "\"future\": {\"x\": 1},\n  ");
    const QString lossy = dir_.filePath(QStringLiteral("lossy.pellucor"));
    QFile lf(lossy);
    QVERIFY(lf.open(QIODevice::WriteOnly));
    lf.write(QByteArray::fromStdString(text));
    lf.close();
    QVERIFY(session->openFile(lossy));
    s.dialogs.nextAnswer = 1;
    s.dialogs.next = pdf;
    s.window->findChild<QAction*>(QStringLiteral("menu_structure_report"))->trigger();
    const QString cover = pdf_pages(pdf).value(0);
    QVERIFY2(cover.contains(QStringLiteral("读取工程文件时有1处未能读入")), qPrintable(cover));
    QVERIFY(cover.contains(QStringLiteral("/future")));

    // An open project without members: refused by name, no file asked for, nothing written.
    const QString empty = dir_.filePath(QStringLiteral("empty.pellucor"));
    project::save_project(empty.toStdString(), project::Project{});
    QVERIFY(session->openFile(empty));
    QFile::remove(pdf);
    s.dialogs.shown.clear();
    s.dialogs.asked.clear();
    s.dialogs.nextOpen = projectPath;  // not to be asked for
    s.window->findChild<QAction*>(QStringLiteral("menu_structure_report"))->trigger();
    QCOMPARE(s.dialogs.shown.size(), std::size_t{1});
    QVERIFY2(s.dialogs.shown[0].text.startsWith(QStringLiteral("工程“empty.pellucor”中没有构件")),
             qPrintable(s.dialogs.shown[0].text));
    QVERIFY(s.dialogs.asked.empty());
    QVERIFY(s.dialogs.nextOpen.has_value());
    QVERIFY(!QFile::exists(pdf));
  }
};

PELLUCOR_SHELL_TEST_MAIN(StructureReportTest)
#include "structure_report_test.moc"
