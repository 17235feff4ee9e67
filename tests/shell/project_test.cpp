// The project on the desktop: a new user's whole round trip (a member saved from its sheet, a
// measured profile pasted and fitted, D and C_s sent to the sheet and to the reliability
// analysis, carbonation and cover readings, the project saved, the program closed, the project
// opened again from the recent list and everything found as it was); files that open with
// parts skipped say what; unsaved changes and lossy files are not lost without asking; the
// members of a sheet open as a member table and are saved back from it.
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QXYSeries>
#include <cmath>
#include <fstream>
#include <sstream>

#include "analysis/project/project.hpp"
#include "analysis/structure/structure.hpp"
#include "sheet/number_form.hpp"
#include "shell/kit/text.hpp"
#include "shell/project/fit_profile_window.hpp"
#include "shell/project/fit_readings.hpp"
#include "shell/project/fit_survey_windows.hpp"
#include "shell/project/project_assessment_window.hpp"
#include "shell/project/project_menu.hpp"
#include "shell/project/project_session.hpp"
#include "shell/project/project_window.hpp"
#include "shell/reliability/reliability_window.hpp"
#include "shell/tables/assessment_panel.hpp"
#include "shell/tables/batch_window.hpp"
#include "shell_fixture.hpp"

namespace pellucor::shell::testing {
namespace {

namespace project = analysis::project;

template <class T>
T* child(const MainWindow& w) {
  for (QMdiSubWindow* sub : w.mdiArea()->subWindowList()) {
    if (auto* t = qobject_cast<T*>(sub->widget())) return t;
  }
  return nullptr;
}

template <class T>
int children(const MainWindow& w) {
  int n = 0;
  for (QMdiSubWindow* sub : w.mdiArea()->subWindowList())
    n += qobject_cast<T*>(sub->widget()) != nullptr;
  return n;
}

// Chinese text as an input method commits it into the widget with the focus.
void commit(QWidget* w, const QString& text) {
  w->setFocus();
  QInputMethodEvent e;
  e.setCommitString(text);
  QApplication::sendEvent(w, &e);
}

QAction* action(const MainWindow& w, const char* name) {
  return w.findChild<QAction*>(QString::fromLatin1(name));
}

// A profile of C_s = 4 kg/m³ and D = 30 mm²/a at 10 a, as a spreadsheet copies it (a header
// line, tab-separated cells).
QString pasted_profile() {
  QString text = QStringLiteral("深度 (mm)\t氯离子含量 (kg/m3)\n");
  for (double x : {1.0, 3.0, 5.0, 7.0, 9.0, 11.0, 13.0, 15.0, 17.0}) {
    // A little scatter that does not change the expected values much.
    const double noise = (static_cast<int>(x) % 4 == 1 ? 0.004 : -0.004);
    text += QStringLiteral("%1\t%2\n")
                .arg(x)
                .arg(4.0 * std::erfc(x / (2 * std::sqrt(300.0))) + noise, 0, 'f', 4);
  }
  return text;
}

// A new member of the constant-coefficient chloride sheet.
ProjectSession::MemberId constant_member(ProjectSession& session, const char* name) {
  project::Member m;
  m.name = name;
  m.sheet = "chloride-constant";
  return *session.addMember(m);
}

QString utf8(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString cell(const QTableWidget* t, int r, int c) {
  const QTableWidgetItem* i = t->item(r, c);
  return i != nullptr ? i->text() : QString();
}

// The row of a results table whose first cell starts with `name`.
int row_named(const QTableWidget* t, const QString& name) {
  for (int r = 0; r < t->rowCount(); ++r) {
    if (cell(t, r, 0).startsWith(name)) return r;
  }
  return -1;
}

std::string read_file(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const QString& path, const std::string& bytes) {
  std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

class ProjectTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<Session> s_;
  ProjectSession* project_ = nullptr;

  // A fresh program: the main window, its analysis and project menus.
  // The program started; `again` keeps what the last run left in the settings (recent projects).
  void start(bool again = false) {
    s_.reset();
    s_ = std::make_unique<Session>(false,
                                   again ? Session::Settings::Kept : Session::Settings::Fresh);
    project_ = install_project_menu(*s_->window, *s_->actions);
  }
  QString path(const QString& name) const { return dir_.filePath(name); }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    // The recent projects go to the test's own settings.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.filePath("settings"));
  }
  void init() { start(); }
  void cleanup() { s_.reset(); }

  // The menu: 工程 after the sheets' entries, before 分析; the specified entries in their order.
  void projectMenuLeavesTheSpecifiedEntriesInTheirOrder() {
    QStringList names;
    for (QAction* a : s_->window->menuBar()->actions()) names << a->objectName();
    QCOMPARE(names, (QStringList{"menu_1", "menu_2", "menu_3", "menu_4", "menu_5", "menu_project",
                                 "menu_analysis", "menu_6", "menu_7"}));
    QCOMPARE(s_->window->windowTitle(), QStringLiteral("Pellucor"));
    // The project's entry in the analysis menu stands after the analysis windows' entries.
    names.clear();
    for (QAction* a : s_->window->analysisMenu()->actions()) names << a->objectName();
    QCOMPARE(names, (QStringList{"menu_charts", "menu_report", "menu_batch", "menu_reliability",
                                 "menu_design", "menu_structure_report"}));
  }

  // At the main window's design size every entry of the menu bar stays on the bar, the
  // specified 退出 last among them: none is left behind the bar's » for entries that do not fit.
  void everyMenuEntryFitsAtTheDesignSize() {
    s_->window->resize(s_->window->designSize());
    QApplication::processEvents();
    QMenuBar* bar = s_->window->menuBar();
    auto allOnTheBar = [bar] {
      // The bar's » for entries that do not fit stays hidden, and no entry lies under a widget
      // in a corner of the bar.
      const auto* more = bar->findChild<QWidget*>(QStringLiteral("qt_menubar_ext_button"));
      if (more != nullptr && more->isVisible()) return QStringLiteral("»");
      for (QAction* a : bar->actions()) {
        const QRect r = bar->actionGeometry(a);
        if (r.isEmpty() || r.right() >= bar->width() || bar->actionAt(r.center()) != a) {
          return a->text();
        }
        for (Qt::Corner c : {Qt::TopLeftCorner, Qt::TopRightCorner}) {
          const QWidget* w = bar->cornerWidget(c);
          if (w != nullptr && w->isVisible() && w->geometry().intersects(r)) return a->text();
        }
      }
      return QString();
    };
    QCOMPARE(allOnTheBar(), QString());
    // A maximised window too (it keeps its title bar in the workspace, not on the menu bar).
    ProjectWindow* pw = show_project_window(*project_);
    auto* sub = qobject_cast<QMdiSubWindow*>(pw->parentWidget());
    QVERIFY(sub != nullptr);
    sub->showMaximized();
    QApplication::processEvents();
    QCOMPARE(allOnTheBar(), QString());
  }

  // What a new user does, start to end.
  void aProfileFittedSentAndSavedComesBackAsItWas() {
    MainWindow& main = *s_->window;
    ScriptedDialogs& d = s_->dialogs;
    // The member's inputs typed into the constant-coefficient sheet (a diffusion coefficient
    // from the design, to be replaced by the fit), saved as a member under the name given.
    QtSheetView* sheet = s_->open(2);
    fill(sheet, {{1, "1.5"},
                 {2, "20"},
                 {3, "0.8"},
                 {4, "30"},
                 {5, "40"},
                 {6, "10"},
                 {7, "1.5"},
                 {8, "5"},
                 {9, "1.4"},
                 {13, "20"},
                 {14, "20"}});
    QVERIFY(chooseSteelKind(sheet, 2));
    d.nextText = QStringLiteral("梁 B1");
    action(main, "projectSaveSheet")->trigger();
    QCOMPARE(d.textsAsked.size(), std::size_t{1});
    QCOMPARE(project_->project().members.size(), std::size_t{1});
    QCOMPARE(project_->project().members[0].name, std::string("梁 B1"));
    ProjectWindow* pw = child<ProjectWindow>(main);
    QVERIFY(pw != nullptr);
    commit(pw->structureEdit(0), QStringLiteral("跨海大桥"));
    QCOMPARE(project_->project().structure.name, std::string("跨海大桥"));
    pw->membersTable()->item(0, 0)->setText(QStringLiteral("主梁 B1"));
    QApplication::processEvents();
    QCOMPARE(project_->project().members[0].name, std::string("主梁 B1"));
    const auto beam = *project_->idAt(0);

    // The profile pasted and fitted.
    pw->selectMember(beam);
    pw->button("profiles")->click();
    FitProfileWindow* fit = child<FitProfileWindow>(main);
    QVERIFY(fit != nullptr);
    // It starts from the member's inspection age.
    QCOMPARE(fit->ageEdit()->text(), QStringLiteral("10"));
    QApplication::clipboard()->setText(pasted_profile());
    fit->readings()->setFocus();
    fit->readings()->setCurrentCell(0, 0);
    QTest::keyClick(fit->readings(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(fit->statusLabel()->text(),
             QStringLiteral("首行“深度 (mm)\t氯离子含量 (kg/m3)”是列名，未粘贴。"));
    QCOMPARE(cell(fit->readings(), 8, 0), QStringLiteral("17"));
    QVERIFY(!fit->toSheetButton()->isEnabled());
    fit->fitButton()->click();
    QVERIFY2(fit->fit().has_value(), qPrintable(fit->statusLabel()->text()));
    QVERIFY(d.shown.empty());
    const analysis::inspect::ProfileFit f = *fit->fit();  // the window goes with the program
    QVERIFY(std::fabs(f.surface.value - 4.0) < 0.05);
    QVERIFY(std::fabs(f.diffusion.value - 30.0) < 1.5);
    // The estimates with their intervals, R², the residual of every point, the charts.
    QTableWidget* est = fit->estimatesTable();
    QCOMPARE(est->rowCount(), 4);
    QCOMPARE(cell(est, 0, 1), number_text(f.surface.value));
    QCOMPARE(cell(est, 0, 3), number_text(f.surface.lower));
    QCOMPARE(cell(est, 2, 1), number_text(f.diffusion.value / 100));
    QVERIFY(fit->summaryLabel()->text().startsWith(QStringLiteral("R² = ")));
    QCOMPARE(cell(fit->readings(), 0, 5), QStringLiteral("否"));  // the outermost layer
    QCOMPARE(cell(fit->readings(), 4, 4), number_text(f.points[4].residual, 3));
    QVERIFY(fit->profileChart()->chart()->series().size() >= 3);
    QVERIFY(fit->residualChart()->chart()->series().size() >= 2);

    // D and C_s to the sheet, their scatter to the reliability analysis.
    fit->toSheetButton()->click();
    QCOMPARE(box(sheet, 6)->text(), QStringLiteral("10"));
    const QString dText = QString::fromStdString(sheet::general_digits(f.diffusion.value / 100, 4));
    QCOMPARE(box(sheet, 7)->text(), dText);
    QCOMPARE(project_->member(beam)->boxes.at(sheet::Control::Text7), dText.toStdString());
    fit->toReliabilityButton()->click();
    ReliabilityWindow* rel = child<ReliabilityWindow>(main);
    QVERIFY(rel != nullptr);
    const int dRow = rel->rowOf(7);
    // The CoV the fit hands on for D: that of a lognormal law holding its whole interval.
    const auto handed = analysis::inspect::constant_sheet_transfer(f);
    QCOMPARE(handed.scatter.size(), std::size_t{2});
    const double dCov = handed.scatter[0].scatter.cov;
    QVERIFY(dCov > 0);
    QCOMPARE(rel->inputTable()->item(dRow, ReliabilityWindow::kCov)->text(),
             QString::fromStdString(sheet::general_digits(dCov, 15)));
    QCOMPARE(rel->distributionBox(dRow)->currentIndex(), 1);           // lognormal
    QCOMPARE(rel->distributionBox(rel->rowOf(8))->currentIndex(), 0);  // C_s normal
    const auto scatter = project_->member(beam)->scatter;
    QCOMPARE(scatter.at(sheet::Control::Text7).cov, dCov);

    // A carbonation member with its readings, and cover readings.
    d.nextAnswer = 0;  // the carbonation sheet
    pw->button("addMember")->click();
    QCOMPARE(project_->project().members.size(), std::size_t{2});
    const auto column = *project_->idAt(1);
    pw->selectMember(column);
    pw->button("carbonation")->click();
    CarbonationWindow* carb = child<CarbonationWindow>(main);
    QVERIFY(carb != nullptr);
    carb->fieldEdit()->setFocus();
    QTest::keyClicks(carb->fieldEdit(), QStringLiteral("25"));
    QString refusal;
    QVERIFY(carb->readings()->paste(QStringLiteral("12\n14.5\n９\n0\n"), &refusal));
    QVERIFY(carb->calculate());
    pw->button("cover")->click();
    CoverWindow* cover = child<CoverWindow>(main);
    QVERIFY(cover != nullptr);
    QVERIFY(cover->readings()->paste(QStringLiteral("38 41.5 36\n44\n40\n35\n42\n39\n"), &refusal));
    QVERIFY(cover->calculate());
    QCOMPARE(cell(cover->resultsTable(),
                  row_named(cover->resultsTable(), QStringLiteral("读数个数")), 1),
             QStringLiteral("8"));

    // Saved, and the program closed without a question.
    const project::Project before = project_->project();
    d.next = path(QStringLiteral("跨海大桥.pellucor"));
    action(main, "projectSave")->trigger();
    QVERIFY(!project_->isModified());
    QCOMPARE(d.asked.size(), std::size_t{1});  // only the sheet for the new member
    main.close();
    QCOMPARE(d.asked.size(), std::size_t{1});
    const std::string saved = read_file(path(QStringLiteral("跨海大桥.pellucor")));

    // The program again: the project from the recent list, everything as it was.
    start(true);
    QMenu* recent = s_->window->findChild<QMenu*>(QStringLiteral("recentProjects"));
    QVERIFY(recent != nullptr && !recent->actions().isEmpty());
    recent->actions().front()->trigger();
    QCOMPARE(project_->path(),
             QFileInfo(path(QStringLiteral("跨海大桥.pellucor"))).absoluteFilePath());
    QVERIFY(project_->project() == before);
    QVERIFY(s_->dialogs.shown.empty());
    // Saving what was opened gives the same bytes.
    QVERIFY(project_->saveTo(project_->path()));
    QCOMPARE(read_file(project_->path()), saved);

    action(*s_->window, "projectWindow")->trigger();
    ProjectWindow* again = child<ProjectWindow>(*s_->window);
    QVERIFY(again != nullptr);
    QCOMPARE(again->structureEdit(0)->text(), QStringLiteral("跨海大桥"));
    QCOMPARE(cell(again->membersTable(), 0, 0), QStringLiteral("主梁 B1"));
    again->selectMember(*project_->idAt(0));
    again->button("profiles")->click();
    FitProfileWindow* fit2 = child<FitProfileWindow>(*s_->window);
    QVERIFY(fit2 != nullptr && fit2->fit().has_value());
    QCOMPARE(fit2->ageEdit()->text(), QStringLiteral("10"));
    QCOMPARE(cell(fit2->estimatesTable(), 0, 1), number_text(f.surface.value));
    QCOMPARE(cell(fit2->readings(), 4, 4), number_text(f.points[4].residual, 3));
    again->button("openInSheet")->click();
    QtSheetView* sheet2 = s_->window->sheetView(2);
    QVERIFY(sheet2 != nullptr);
    QCOMPARE(box(sheet2, 7)->text(), dText);
    QCOMPARE(box(sheet2, 5)->text(), QStringLiteral("40"));
    again->selectMember(*project_->idAt(1));
    again->button("carbonation")->click();
    CarbonationWindow* carb2 = child<CarbonationWindow>(*s_->window);
    QVERIFY(carb2 != nullptr && carb2->survey().has_value());
    QCOMPARE(cell(carb2->readings(), 2, 0), QStringLiteral("9"));
    QVERIFY(!project_->isModified());  // looking changes nothing
  }

  // A file that opens with parts skipped says what, and saving over it asks first.
  void skippedPartsAreNamedAndSavingOverTheFileAsks() {
    project::Project p;
    project::Member m;
    m.name = "B9";
    m.sheet = "chloride-constant";
    m.boxes = {{sheet::Control::Text5, "400"}};
    p.members = {m};
    std::string bytes = project::project_bytes(p);
    bytes.replace(bytes.find("\"schemaVersion\": 1"), 18, "\"schemaVersion\": 7");
    bytes.insert(bytes.find("\"members\""), "\"future\": {\"x\": 1},\n  ");
    const QString file = path(QStringLiteral("newer.pellucor"));
    write_file(file, bytes);
    QVERIFY(project_->openFile(file));
    ScriptedDialogs& d = s_->dialogs;
    QCOMPARE(d.shown.size(), std::size_t{1});
    const QString text = d.shown[0].text;
    QVERIFY2(text.contains(QStringLiteral("较新版本（格式 7）")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("/future")));
    QVERIFY(text.contains(QStringLiteral("保护层厚度")) && text.contains(QStringLiteral("'400'")));
    QCOMPARE(project_->project().members.size(), std::size_t{1});  // kept as typed

    // Saving over it asks; 取消 leaves the file as it was.
    d.nextAnswer = 2;
    QVERIFY(!project_->save());
    QVERIFY(questions(d).last().contains(QStringLiteral("部分内容未能读入")));
    QCOMPARE(read_file(file), bytes);
    d.nextAnswer = 0;
    QVERIFY(project_->save());
    QVERIFY(read_file(file) != bytes);
    QCOMPARE(read_file(file + ".bak"), bytes);

    // A damaged file is refused with its reason; the project open stays.
    write_file(path(QStringLiteral("cut.pellucor")), bytes.substr(0, 40));
    QVERIFY(!project_->openFile(path(QStringLiteral("cut.pellucor"))));
    QVERIFY(d.shown.back().text.contains(QStringLiteral("文件已损坏")));
    QCOMPARE(project_->path(), QFileInfo(file).absoluteFilePath());
  }

  // Files that once ended the program (an exception out of the reader, a stack overflow) or
  // would make it wait for ever: 打开 and 最近的工程 refuse each with a message that names the
  // file and the place in it, and the project open, unsaved changes and all, stays as it was.
  void hostileFilesAreRefusedAndNothingUnsavedIsLost() {
    ScriptedDialogs& d = s_->dialogs;
    const QString good = path(QStringLiteral("good.pellucor"));
    project::Project p;
    project::Member m;
    m.name = "B1";
    m.sheet = "carbonation";
    p.members = {m};
    project::save_project(good.toStdString(), p);
    QVERIFY(project_->openFile(good));  // on the recent list now
    project_->update([](project::Project& q) { q.structure.notes = "未保存的说明"; });
    QVERIFY(project_->isModified());
    const project::Project before = project_->project();

    const std::string head = R"({"format":"pellucor-project","schemaVersion":1)";
#ifdef _WIN32
    // Windows has no pipe in a folder: a folder named like a project is no plain file either.
    const QString pipe = path(QStringLiteral("folder.pellucor"));
    QVERIFY(QDir().mkpath(pipe));
#else
    const QString pipe = path(QStringLiteral("pipe.pellucor"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
#endif
    const struct {
      QString file;
      std::string bytes;  // empty: the file as it is
      QString says;
    } cases[] = {
        {path(QStringLiteral("overflow.pellucor")), head + R"(,"assessment":{"targetLife":1e400}})",
         QStringLiteral("第 1 行第 75 列的数值 1e400 超出范围")},
        {path(QStringLiteral("format.pellucor")), R"({"format": 5, "schemaVersion": 1})",
         QStringLiteral("/format 不是")},
        {path(QStringLiteral("nested.pellucor")),
         head + R"(,"members":[{"name":"m","sheet":"admixed","options":)" +
             std::string(100000, '[') + std::string(100000, ']') + "}]}",
         QStringLiteral("嵌套超过 64 层")},
        {pipe, {}, QStringLiteral("不是普通文件")},
    };
    for (const auto& c : cases) {
      if (!c.bytes.empty()) write_file(c.file, c.bytes);
      d.nextAnswer = 1;  // 不保存: the changes may go, were another project opened
      d.shown.clear();
      QVERIFY(!project_->openFile(c.file));
      QCOMPARE(d.shown.size(), std::size_t{1});
      const QString text = d.shown[0].text;
      QVERIFY2(text.contains(QDir::toNativeSeparators(c.file)) && text.contains(c.says),
               qPrintable(text));
      QVERIFY(project_->project() == before);
      QVERIFY(project_->isModified());
      QCOMPARE(project_->path(), QFileInfo(good).absoluteFilePath());
    }
    // The file on the recent list damaged since: the same from 最近的工程.
    write_file(good, head + R"(,"assessment":{"targetLife":1e400}})");
    QMenu* recent = s_->window->findChild<QMenu*>(QStringLiteral("recentProjects"));
    QVERIFY(recent != nullptr);
    QAction* entry = nullptr;
    for (QAction* a : recent->actions()) {
      if (a->text().contains(QStringLiteral("good.pellucor"))) entry = a;
    }
    QVERIFY(entry != nullptr);
    d.nextAnswer = 1;
    d.shown.clear();
    entry->trigger();
    QCOMPARE(d.shown.size(), std::size_t{1});
    QVERIFY2(d.shown[0].text.contains(QStringLiteral("超出范围")), qPrintable(d.shown[0].text));
    QVERIFY(project_->project() == before);
    QVERIFY(project_->isModified());

    // Members of one name open, and the message says they cannot be graded until renamed.
    project::Project twice = p;
    twice.members.push_back(m);
    const QString named = path(QStringLiteral("twice.pellucor"));
    write_file(named, project::project_bytes(twice));
    d.nextAnswer = 1;
    d.shown.clear();
    QVERIFY(project_->openFile(named));
    QCOMPARE(d.shown.size(), std::size_t{1});
    QVERIFY2(d.shown[0].text.contains(QStringLiteral("members[1] B1")) &&
                 d.shown[0].text.contains(QStringLiteral("无法评定")),
             qPrintable(d.shown[0].text));
  }

  // Unsaved changes: a new project, another file and the end of the program ask first.
  void unsavedChangesAreNotLostWithoutAsking() {
    ScriptedDialogs& d = s_->dialogs;
    project_->update([](project::Project& p) { p.structure.name = "A"; });
    QVERIFY(project_->isModified());
    d.nextAnswer = 2;  // 取消
    QVERIFY(!project_->newProject());
    QCOMPARE(project_->project().structure.name, std::string("A"));
    d.nextAnswer = 2;
    s_->window->close();
    QVERIFY(s_->window->isVisible());
    QCOMPARE(d.asked.size(), std::size_t{2});
    QVERIFY(d.asked.back().text.contains(QStringLiteral("尚未保存的修改")));
    d.nextAnswer = 0;  // 保存, into a file chosen then
    d.next = path(QStringLiteral("a.pellucor"));
    QVERIFY(project_->newProject());
    QVERIFY(project_->project().members.empty() && project_->project().structure.name.empty());
    const auto opened = project::open_project(path(QStringLiteral("a.pellucor")).toStdString());
    QVERIFY(opened.ok());
    QCOMPARE(opened->project.structure.name, std::string("A"));
    d.nextAnswer = 1;  // 不保存
    project_->update([](project::Project& p) { p.structure.name = "B"; });
    s_->window->close();
    QVERIFY(!s_->window->isVisible());
  }

  // The members of a sheet as a member table, and back.
  void theMemberTableOpensFromTheProjectAndSavesToIt() {
    for (const char* name : {"B1", "B2"}) {
      project::Member m;
      m.name = name;
      m.sheet = "chloride-constant";
      m.boxes = {{sheet::Control::Text5, "40"}};
      m.inspection.cover = analysis::inspect::CoverInput{{38, 40}, std::nullopt};
      project_->addMember(m);
    }
    project::Member other;
    other.name = "C1";
    other.sheet = "carbonation";
    project_->addMember(other);
    BatchWindow* w = open_member_table(*project_, 2);
    QVERIFY(w != nullptr);
    QTableWidget* t = w->table();
    QCOMPARE(cell(t, 0, 0), QStringLiteral("B1"));
    QCOMPARE(cell(t, 1, w->columns().of(sheet::Control::Text5)), QStringLiteral("40"));
    QCOMPARE(cell(t, 0, w->columns().of(sheet::Control::Text6)), QString());
    // B2 changed, B1 gone, B3 new.
    t->item(1, w->columns().of(sheet::Control::Text5))->setText(QStringLiteral("55"));
    t->removeRow(0);
    w->addRow();
    t->item(1, 0)->setText(QStringLiteral("B3"));
    t->item(1, w->columns().of(sheet::Control::Combo1))->setText(QStringLiteral("2"));
    s_->dialogs.nextAnswer = 0;  // remove B1
    QVERIFY(save_member_table(*project_, *w));
    QVERIFY(questions(s_->dialogs).last().contains(QStringLiteral("B1")));
    const auto& members = project_->project().members;
    QCOMPARE(members.size(), std::size_t{3});
    QCOMPARE(members[0].name, std::string("B2"));
    QCOMPARE(members[0].boxes.at(sheet::Control::Text5), std::string("55"));
    QVERIFY(members[0].inspection.cover.has_value());  // its readings stay
    QCOMPARE(members[1].name, std::string("C1"));
    QCOMPARE(members[2].name, std::string("B3"));
    QCOMPARE(members[2].steel, std::string("2 变形钢筋"));
    // A name twice is refused and changes nothing.
    t->item(1, 0)->setText(QStringLiteral("B2"));
    QVERIFY(!save_member_table(*project_, *w));
    QVERIFY(s_->dialogs.shown.back().text.contains(QStringLiteral("出现了两次")));
    QCOMPARE(project_->project().members.size(), std::size_t{3});
  }

  // The assessment settings are the project's: the member table's panel starts from them, an
  // edit marks the project unsaved and comes back with the file; a project opened later
  // replaces them. A member that counts its own limit states is graded on them, as the
  // structure's assessment grades it.
  void assessmentSettingsLiveInTheProject() {
    project::Member beam;
    beam.name = "B1";
    beam.sheet = "chloride-constant";
    beam.boxes = {{sheet::Control::Text1, "1.5"}, {sheet::Control::Text2, "20"},
                  {sheet::Control::Text3, "0.8"}, {sheet::Control::Text4, "30"},
                  {sheet::Control::Text5, "40"},  {sheet::Control::Text6, "20"},
                  {sheet::Control::Text7, "1.5"}, {sheet::Control::Text8, "5"},
                  {sheet::Control::Text9, "1.4"}, {sheet::Control::Text13, "20"},
                  {sheet::Control::Text14, "20"}};
    beam.steel = "2 变形钢筋";
    beam.options = {sheet::Control::Option1};
    project::Member own = beam;
    own.name = "B2";
    own.limitStates = std::vector{analysis::assess::LimitState::EndOfLife};
    project_->update([&](project::Project& p) {
      p.assessment.targetLife = 80;
      p.members = {beam, own};
    });
    const QString file = path(QStringLiteral("assessed.pellucor"));
    QVERIFY(project_->saveTo(file));

    BatchWindow* w = open_member_table(*project_, 2);
    QVERIFY(w != nullptr);
    QTableWidget* st = w->assessment()->settingsTable();
    QCOMPARE(st->item(AssessmentPanel::kTarget, 1)->text(), QStringLiteral("80"));
    QVERIFY(!project_->isModified());

    // The grades of a run agree with the structure's assessment, member by member.
    QSignalSpy finished(w, &BatchWindow::finished);
    w->calculateAll();
    QVERIFY(finished.count() > 0 || finished.wait(60000));
    const auto structure = analysis::assess::assess_structure(project_->project(), {});
    QVERIFY(structure.ok());
    for (int r = 0; r < 2; ++r) {
      const auto& m = structure->members[static_cast<std::size_t>(r)];
      QVERIFY(m.assessment.has_value());
      const QStringList cells = w->assessment()->columnCells(static_cast<std::size_t>(r));
      QCOMPARE(cells.value(0), utf8(analysis::assess::limit_state_name(m.assessment->governing)));
      QCOMPARE(cells.value(3), utf8(analysis::assess::grade_name(m.assessment->grade)));
    }
    QCOMPARE(w->assessment()->columnCells(1).value(0), QStringLiteral("耐久性终结"));
    QVERIFY(w->assessment()->columnCells(0) != w->assessment()->columnCells(1));

    // An edit goes into the project, unsaved; saved, closed and opened again, the panel shows it.
    st->item(AssessmentPanel::kGamma, 1)->setText(QStringLiteral("1.25"));
    st->item(AssessmentPanel::kThresholdA, 1)->setText(QStringLiteral("2.2"));
    QCOMPARE(project_->project().assessment.gamma, 1.25);
    QCOMPARE(project_->project().assessment.thresholdA, 2.2);
    QVERIFY(project_->isModified());
    QVERIFY(project_->save());
    start(true);
    QVERIFY(project_->openFile(file));
    w = open_member_table(*project_, 2);
    QVERIFY(w != nullptr);
    st = w->assessment()->settingsTable();
    QCOMPARE(st->item(AssessmentPanel::kGamma, 1)->text(), QStringLiteral("1.25"));
    QCOMPARE(st->item(AssessmentPanel::kThresholdA, 1)->text(), QStringLiteral("2.2"));
    QCOMPARE(st->item(AssessmentPanel::kTarget, 1)->text(), QStringLiteral("80"));
    QCOMPARE(w->assessment()->settings().thresholdA, 2.2);

    // A new project replaces the settings of the panel still open.
    QVERIFY(project_->newProject());
    QCOMPARE(w->assessment()->settings(), analysis::assess::Settings{});
    QCOMPARE(st->item(AssessmentPanel::kGamma, 1)->text(), QStringLiteral("1"));
    QVERIFY(!project_->isModified());
  }

  // A survey's result goes to its own member in the sheet: the member is opened there first
  // when the sheet holds another; a box the member's other inputs disable is named, not typed.
  void resultsGoToTheirMemberAndADisabledBoxIsNamed() {
    project::Member column;
    column.name = "柱 C-3";
    column.sheet = "carbonation";
    column.boxes = {{sheet::Control::Text1, "2"},   {sheet::Control::Text2, "15"},
                    {sheet::Control::Text3, "0.7"}, {sheet::Control::Text4, "30"},
                    {sheet::Control::Text5, "30"},  {sheet::Control::Text8, "1.5"}};
    const auto withCo2 = *project_->addMember(column);
    project::Member other;
    other.name = "柱 C-4";
    other.sheet = "carbonation";
    const auto empty = *project_->addMember(other);
    QVERIFY(project_->openInSheet(empty) != nullptr);
    QCOMPARE(*project_->memberInSheet(1), empty);

    CarbonationWindow* w = CarbonationWindow::show(*project_, withCo2);
    w->fieldEdit()->setText(QStringLiteral("16"));
    QString refusal;
    w->readings()->setCurrentCell(0, 0);
    QVERIFY(w->readings()->paste(QStringLiteral("8 12 10"), &refusal));
    QVERIFY(w->calculate());
    QVERIFY(w->sendToSheet());
    QCOMPARE(*project_->memberInSheet(1), withCo2);
    QtSheetView* sheet = s_->window->sheetView(1);
    QCOMPARE(box(sheet, 8)->text(), QStringLiteral("1.5"));  // the member's own input
    QCOMPARE(box(sheet, 6)->text(), QStringLiteral("16"));   // the survey's age
    QCOMPARE(box(sheet, 7)->text(), QString());  // emptied and disabled by the CO2 coefficient
    QVERIFY(!box(sheet, 7)->isEnabled());
    QVERIFY(!s_->dialogs.shown.empty());
    QVERIFY2(s_->dialogs.shown.back().text.contains(QStringLiteral("实测碳化深度")),
             qPrintable(s_->dialogs.shown.back().text));
    // The member keeps what its sheet took, not the depth the sheet would not take.
    QCOMPARE(project_->member(withCo2)->boxes.at(sheet::Control::Text6), std::string("16"));
    QVERIFY(!project_->member(withCo2)->boxes.contains(sheet::Control::Text7));
  }

  // A nearly flat profile: the window shows the fit with D as not determined, says why and
  // what to do, hands nothing on, and the project keeps no fit of it.
  void aProfileThatDoesNotDetermineDIsSaidSo() {
    const auto id = constant_member(*project_, "B2");
    FitProfileWindow* fit = FitProfileWindow::show(*project_, id);
    QString refusal;
    fit->readings()->setCurrentCell(0, 0);
    QVERIFY(fit->readings()->paste(
        QStringLiteral("2.5\t3.1\n7.5\t2.9\n12.5\t3.05\n17.5\t2.95\n22.5\t2.98\n"
                       "27.5\t3.02\n32.5\t2.88\n37.5\t2.97\n42.5\t2.93\n47.5\t2.9\n"),
        &refusal));
    fit->ageEdit()->setText(QStringLiteral("10"));
    QVERIFY(!fit->fitProfile());
    QVERIFY(fit->fit().has_value());
    QVERIFY(!fit->fit()->determined());
    QVERIFY(s_->dialogs.shown.back().text.contains(QStringLiteral("无法确定表观扩散系数 D_a")));
    QVERIFY(fit->statusLabel()->text().contains(QStringLiteral("请取更深")));
    QTableWidget* est = fit->estimatesTable();
    QCOMPARE(cell(est, 1, 1), QStringLiteral("无法确定"));
    QCOMPARE(cell(est, 1, 4), QStringLiteral("无界"));
    QCOMPARE(cell(est, 0, 1), number_text(fit->fit()->surface.value));
    QVERIFY(!fit->toSheetButton()->isEnabled());
    QVERIFY(!fit->toReliabilityButton()->isEnabled());
    QVERIFY(!fit->exportButton()->isEnabled());
    QVERIFY(!project_->member(id)->inspection.profiles.at(0).fit.has_value());
  }

  // A realistic profile whose D lies below the constant-coefficient sheet's range: the window
  // says so before sending; sending asks, types only what the sheet takes (its own D stays, no
  // message box of the sheet, no box locked by a refused value), and the project never keeps
  // the value the sheet refuses; the reliability analysis opens on the sheet's own D.
  void aFittedValueTheSheetRefusesIsNeverTyped() {
    const WorkedExample& e = worked_examples().at(1);
    project::Member m;
    m.name = "B2";
    m.sheet = "chloride-constant";
    for (const auto& [n, text] : e.boxes) m.boxes[sheet::text_box(n)] = text.toStdString();
    m.steel = "2 变形钢筋";
    const auto id = *project_->addMember(m);
    FitProfileWindow* fit = FitProfileWindow::show(*project_, id);
    // The window starts from the member's own inspection age.
    QCOMPARE(fit->ageEdit()->text(), QStringLiteral("20"));
    fit->readings()->setCurrentCell(0, 0);
    QString refusal;
    QVERIFY(fit->readings()->paste(
        QStringLiteral("2.5\t3.99\n7.5\t3.12\n12.5\t2.40\n17.5\t1.71\n22.5\t1.20\n"
                       "27.5\t0.78\n32.5\t0.50\n"),
        &refusal));
    QVERIFY(fit->fitProfile());
    const double d = fit->fit()->diffusionCm2PerYear();
    QVERIFY2(d > 0.09 && d < 0.12, qPrintable(QString::number(d)));
    QVERIFY2(fit->statusLabel()->text().contains(QStringLiteral("不接受 离子扩散系数")),
             qPrintable(fit->statusLabel()->text()));
    ScriptedDialogs& dlg = s_->dialogs;
    dlg.asked.clear();
    dlg.shown.clear();

    // 取消: nothing is typed, no sheet opened.
    dlg.nextAnswer = 1;
    QVERIFY(!fit->sendToSheet());
    QCOMPARE(dlg.asked.size(), std::size_t{1});
    QCOMPARE(dlg.asked[0].answers, (QStringList{"只送入其余的值", "取消"}));
    QVERIFY2(dlg.asked[0].text.contains(QStringLiteral("离子扩散系数")) &&
                 dlg.asked[0].text.contains(QStringLiteral("0.2--8")),
             qPrintable(dlg.asked[0].text));
    QVERIFY(s_->window->sheetView(2) == nullptr);

    // The rest: the age and C_s typed, the member's own D kept; the sheet computes.
    dlg.nextAnswer = 0;
    QVERIFY(fit->sendToSheet());
    QtSheetView* sheet = s_->window->sheetView(2);
    QVERIFY(sheet != nullptr);
    QCOMPARE(box(sheet, 7)->text(), QStringLiteral("1.5"));
    const QString cs = QString::fromStdString(sheet::general_digits(fit->fit()->surface.value, 4));
    QCOMPARE(box(sheet, 8)->text(), cs);
    QVERIFY2(dlg.shown.empty(), qPrintable(dlg.shown.empty() ? QString() : dlg.shown[0].text));
    QVERIFY(sheet->controller().calculate().done());
    QCOMPARE(project_->member(id)->boxes.at(sheet::Control::Text7), std::string("1.5"));
    QCOMPARE(project_->member(id)->boxes.at(sheet::Control::Text8), cs.toStdString());
    QVERIFY(ProjectSession::refusal(*project_->member(id)).isEmpty());

    // The reliability analysis: its means are the sheet's, D without the fit's scatter.
    dlg.nextAnswer = 0;
    QVERIFY(fit->sendToReliability());
    ReliabilityWindow* rel = child<ReliabilityWindow>(*s_->window);
    QVERIFY(rel != nullptr);
    QCOMPARE(cell(rel->inputTable(), rel->rowOf(7), ReliabilityWindow::kMean),
             QStringLiteral("1.5"));
    QVERIFY(!project_->member(id)->scatter.contains(sheet::Control::Text7));
    QVERIFY(project_->member(id)->scatter.contains(sheet::Control::Text8));
  }

  // A member whose sheet cannot compute after the rest is sent: the sheet says what it lacks,
  // and no reliability analysis opens on it. A reading's age other than the sheet's is asked
  // about before it replaces it.
  void aSheetThatCannotComputeSaysWhatItLacks() {
    const auto id = constant_member(*project_, "B3");
    QVERIFY(project_->updateMember(
        id, [](project::Member& m) { m.boxes[sheet::Control::Text6] = "25"; }));
    FitProfileWindow* fit = FitProfileWindow::show(*project_, id);
    QCOMPARE(fit->ageEdit()->text(), QStringLiteral("25"));
    fit->ageEdit()->setText(QStringLiteral("10"));
    fit->readings()->setCurrentCell(0, 0);
    QString refusal;
    QVERIFY(fit->readings()->paste(pasted_profile(), &refusal));
    QVERIFY(fit->fitProfile());
    ScriptedDialogs& dlg = s_->dialogs;
    dlg.asked.clear();
    dlg.shown.clear();
    dlg.nextAnswer = 1;  // 保留 25 a
    QVERIFY(fit->sendToSheet());
    QCOMPARE(dlg.asked.size(), std::size_t{1});
    QCOMPARE(dlg.asked[0].answers, (QStringList{"改为 10 a", "保留 25 a", "取消"}));
    QtSheetView* sheet = s_->window->sheetView(2);
    QCOMPARE(box(sheet, 6)->text(), QStringLiteral("25"));
    QVERIFY(!box(sheet, 7)->text().isEmpty());  // D from the fit
    QVERIFY(!dlg.shown.empty());
    QStringList said;
    for (const auto& m : dlg.shown) said << m.title + ": " + m.text;
    QVERIFY2(dlg.shown.size() == 1 && dlg.shown[0].text.contains(QStringLiteral("现在还不能计算")),
             qPrintable(said.join('\n')));
    QVERIFY(!why_sheet_stops(*project_, 2).isEmpty());
    dlg.nextAnswer = 1;
    QVERIFY(!fit->sendToReliability());
    QCOMPARE(testing::children<ReliabilityWindow>(*s_->window), 0);
    QVERIFY(dlg.shown.back().text.contains(QStringLiteral("可靠度分析未打开")));
  }

  // No member goes into the project with texts its sheet refuses: a change, a new member, a
  // member table's rows are refused with a message naming member and box; a sheet that does
  // not compute is not saved as a member, one that does is saved under the name asked for.
  void noMemberTheSheetRefusesIsStored() {
    ScriptedDialogs& dlg = s_->dialogs;
    const auto id = constant_member(*project_, "B1");
    QVERIFY(!project_->updateMember(
        id, [](project::Member& m) { m.boxes[sheet::Control::Text5] = "4O"; }));
    QVERIFY(!project_->member(id)->boxes.contains(sheet::Control::Text5));
    QVERIFY2(dlg.shown.back().text.contains(QStringLiteral("“保护层厚度”的文本 '4O' 不是数")),
             qPrintable(dlg.shown.back().text));
    project::Member far;
    far.name = "B9";
    far.sheet = "chloride-constant";
    far.boxes = {{sheet::Control::Text5, "400"}};
    QVERIFY(!project_->addMember(far));
    QVERIFY(dlg.shown.back().text.contains(QStringLiteral("构件“B9”")));
    QCOMPARE(project_->project().members.size(), std::size_t{1});

    BatchWindow* w = open_member_table(*project_, 2);
    w->table()->item(0, w->columns().of(sheet::Control::Text5))->setText(QStringLiteral("4O"));
    QVERIFY(!save_member_table(*project_, *w));
    QVERIFY2(dlg.shown.back().text.contains(QStringLiteral("构件“B1”：“保护层厚度”的文本 '4O'")),
             qPrintable(dlg.shown.back().text));
    QVERIFY(!project_->member(id)->boxes.contains(sheet::Control::Text5));

    // 将当前表单存为构件: a sheet that stops is refused; one that computes asks for the name.
    QtSheetView* view = s_->open(5);
    fill(view, {{1, "1"}, {2, "20"}});
    dlg.textsAsked.clear();
    action(*s_->window, "projectSaveSheet")->trigger();
    QCOMPARE(project_->project().members.size(), std::size_t{1});
    QVERIFY(dlg.textsAsked.empty());
    QVERIFY(dlg.shown.back().text.contains(QStringLiteral("不能完成计算")));
    QVERIFY(fillAdmixedExample(view));
    dlg.nextText = QStringLiteral("B1");  // taken: asked again, with a fresh name offered
    action(*s_->window, "projectSaveSheet")->trigger();
    QCOMPARE(dlg.textsAsked.size(), std::size_t{2});
    QVERIFY(dlg.shown.back().text.contains(QStringLiteral("已有构件“B1”")));
    QCOMPARE(project_->project().members.size(), std::size_t{2});
    QCOMPARE(project_->project().members[1].name, dlg.textsAsked[1].answers[0].toStdString());
  }

  // The project is the home of the work: the main window names it and its unsaved state; a
  // new project opens the project window; the project-wide view grades every member of every
  // sheet, filters by sheet and grade, follows every change and closes without a question.
  void theProjectIsTheHomeOfTheWork() {
    MainWindow& main = *s_->window;
    QCOMPARE(main.windowTitle(), QStringLiteral("Pellucor"));
    action(main, "projectNew")->trigger();
    QVERIFY(child<ProjectWindow>(main) != nullptr);
    for (int n : {1, 2, 5}) {
      const WorkedExample& e = worked_examples().at(static_cast<std::size_t>(n - 1));
      project::Member m;
      m.name = e.name;
      m.sheet = e.name;
      for (const auto& [box, text] : e.boxes) m.boxes[sheet::text_box(box)] = text.toStdString();
      m.steel = std::string(sheet::kSteelItems[static_cast<std::size_t>(e.steelKind - 1)]);
      m.options = e.options;
      QVERIFY(project_->addMember(m));
    }
    QCOMPARE(main.windowTitle(), QStringLiteral("Pellucor — 未命名工程[*]"));
    QVERIFY(main.isWindowModified());
    action(main, "projectAssessment")->trigger();
    ProjectAssessmentWindow* view = child<ProjectAssessmentWindow>(main);
    QVERIFY(view != nullptr);
    QSignalSpy updated(view, &ProjectAssessmentWindow::updated);
    QTRY_VERIFY(!view->isComputing());
    QTableWidget* grades = view->panel()->gradeTable();
    QCOMPARE(grades->rowCount(), 3);
    QCOMPARE(grades->horizontalHeaderItem(1)->text(), QStringLiteral("计算表"));
    QStringList sheets;
    for (int r = 0; r < 3; ++r) {
      sheets << cell(grades, r, 1);
      QVERIFY2(!cell(grades, r, 5).isEmpty(), qPrintable(cell(grades, r, 0)));  // a grade
    }
    sheets.sort();
    QCOMPARE(sheets, (QStringList{"掺氯盐", "渗氯盐_常系数", "碳化"}));
    view->panel()->sheetFilter()->setCurrentIndex(2);  // the constant-coefficient sheet
    int shown = 0;
    for (int r = 0; r < 3; ++r) shown += grades->isRowHidden(r) ? 0 : 1;
    QCOMPARE(shown, 1);
    view->panel()->sheetFilter()->setCurrentIndex(0);
    // A change of a member's cover is graded again: a deeper cover, a longer remaining life;
    // closing the view asks nothing.
    auto remaining = [grades] {
      for (int r = 0; r < grades->rowCount(); ++r) {
        if (cell(grades, r, 0) == QStringLiteral("chloride-constant")) {
          return grades->item(r, 3)->data(Qt::UserRole).toDouble();  // what it sorts by
        }
      }
      return -1.0;
    };
    const double before = remaining();
    QVERIFY(before > -1e300);  // assessed
    QVERIFY(project_->updateMember(
        *project_->idAt(1), [](project::Member& m) { m.boxes[sheet::Control::Text5] = "60"; }));
    QVERIFY(updated.wait(30000));
    QTRY_VERIFY(!view->isComputing());
    QVERIFY2(remaining() > before,
             qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(remaining())));
    s_->dialogs.asked.clear();
    qobject_cast<QMdiSubWindow*>(view->parentWidget())->close();
    QVERIFY(s_->dialogs.asked.empty());
  }

  // A fit shown again keeps its commands; a profile the fit refuses is still drawn.
  void aFitShownAgainKeepsItsCommandsAndARefusedProfileIsDrawn() {
    const auto id = constant_member(*project_, "B4");
    FitProfileWindow* fit = FitProfileWindow::show(*project_, id);
    fit->ageEdit()->setText(QStringLiteral("10"));
    fit->readings()->setCurrentCell(0, 0);
    QString refusal;
    QVERIFY(fit->readings()->paste(pasted_profile(), &refusal));
    QVERIFY(fit->fitProfile());
    qobject_cast<QMdiSubWindow*>(fit->parentWidget())->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    fit = FitProfileWindow::show(*project_, id);
    QVERIFY(fit->fit().has_value());
    QVERIFY(fit->toSheetButton()->isEnabled());
    QVERIFY(fit->toReliabilityButton()->isEnabled());
    QVERIFY(fit->exportButton()->isEnabled());
    // A profile that rises inwards: refused, its points drawn.
    fit->readings()->setValues({{2, 4, 6, 8, 10, 12, 14}, {0.5, 0.8, 1.1, 1.5, 1.9, 2.4, 2.8}});
    QVERIFY(!fit->fitProfile());
    QVERIFY(!fit->fit().has_value());
    int points = 0;
    for (QAbstractSeries* series : fit->profileChart()->chart()->series()) {
      if (auto* xy = qobject_cast<QXYSeries*>(series)) points += static_cast<int>(xy->count());
    }
    QCOMPARE(points, 7);
  }

  // Typed and pasted readings: numbers only, nothing pasted when a cell is not one.
  // The analysis of a member with inspection data opens with its measurements and its update
  // settings; a completed update is kept with the member, its settings and its result.
  void aMembersUpdateOpensWithItsDataAndIsKept() {
    MainWindow& main = *s_->window;
    analysis::project::Member column;
    column.name = "柱 C1";
    column.sheet = "carbonation";
    column.boxes = {{sheet::Control::Text1, "2"},   {sheet::Control::Text2, "15"},
                    {sheet::Control::Text3, "0.7"}, {sheet::Control::Text4, "30"},
                    {sheet::Control::Text5, "30"},  {sheet::Control::Text6, "60"},
                    {sheet::Control::Text8, "1.5"}, {sheet::Control::Text9, "20"}};
    column.steel = "1 圆钢筋";
    column.options = {sheet::Control::Option1, sheet::Control::Option4};
    column.inspection.carbonation =
        analysis::inspect::CarbonationInput{{8.5, 9.1, 7.8, 10.2, 9.6, 8.8}, 30};
    analysis::project::UpdateRecord settings;
    settings.depthCov = 0.2;
    column.update = settings;
    const auto added = project_->addMember(column);
    QVERIFY(added.has_value());
    const auto id = *added;
    ProjectWindow* pw = show_project_window(*project_);
    pw->selectMember(id);
    pw->openReliability();
    ReliabilityWindow* rel = child<ReliabilityWindow>(main);
    QVERIFY(rel != nullptr);
    QVERIFY(rel->updateSwitch()->isChecked());
    QVERIFY(rel->measurementLabel()->text().contains(QStringLiteral("柱 C1")));
    QCOMPARE(rel->depthCovEdit()->text(), QStringLiteral("0.2"));

    rel->samplesEdit()->setText(QStringLiteral("500"));
    QSignalSpy ended(rel, &ReliabilityWindow::runEnded);
    rel->calculateButton()->click();
    QVERIFY(ended.wait(120000));
    QVERIFY(rel->updateResult().has_value());
    // The depths compared with the error typed for the member, not their own scatter.
    QCOMPARE(rel->updateResult()->measurements.depths.at(0).cov, 0.2);
    const auto& kept = project_->member(id)->update;
    QVERIFY(kept.has_value());
    QCOMPARE(kept->depthCov, std::optional<double>(0.2));
    QVERIFY(kept->last.has_value());
    QCOMPARE(kept->last->samples, std::uint64_t{500});
    QCOMPARE(kept->last->posteriorP[0], rel->updateResult()->posterior.atTarget.p[0]);
    QCOMPARE(kept->last->priorP[0], rel->updateResult()->prior.summary.atTarget.p[0]);
    QCOMPARE(kept->last->passed, rel->updateResult()->diagnostics.passed);

    // Depths typed for the update are kept with the member (a saved project keeps them) and
    // stand in their boxes again when its settings come back.
    rel->depthReadingsEdit()->setText(QStringLiteral("11, 12.5，10"));
    rel->depthAgeEdit()->setText(QStringLiteral("42"));
    rel->calculateButton()->click();
    QVERIFY(ended.wait(120000));
    const auto& again = project_->member(id)->update;
    QVERIFY(again.has_value() && again->typedDepths.has_value());
    QCOMPARE(again->typedDepths->depthMm, (std::vector<double>{11, 12.5, 10}));
    QCOMPARE(again->typedDepths->ageYears, 42.0);
    rel->depthReadingsEdit()->clear();
    rel->depthAgeEdit()->clear();
    rel->setUpdateRecord(*again);
    QCOMPARE(rel->depthReadingsEdit()->text(), QStringLiteral("11, 12.5, 10"));
    QCOMPARE(rel->depthAgeEdit()->text(), QStringLiteral("42"));
  }

  void readingsTakeNumbersOnly() {
    const auto id = constant_member(*project_, "B1");
    FitProfileWindow* fit = FitProfileWindow::show(*project_, id);
    ReadingsTable* t = fit->readings();
    t->setCurrentCell(0, 0);
    QString refusal;
    QVERIFY(!t->paste(QStringLiteral("1\t3\n3\tabc\n"), &refusal));
    QCOMPARE(refusal, QStringLiteral("粘贴内容第 2 行的“abc”不是数，未粘贴。"));
    QCOMPARE(cell(t, 0, 0), QString());
    QVERIFY(!t->paste(QStringLiteral("1\t3\t4\n"), &refusal));
    QVERIFY(t->paste(QStringLiteral("1,3\n"), &refusal));
    QCOMPARE(cell(t, 0, 1), QStringLiteral("3"));
    // Fitting too few points says why and gives no number.
    fit->ageEdit()->setText(QStringLiteral("10"));
    QVERIFY(!fit->fitProfile());
    QVERIFY(s_->dialogs.shown.back().text.contains(QStringLiteral("至少需要 6 个")));
    QVERIFY(!fit->fit().has_value());
    QVERIFY(!fit->toSheetButton()->isEnabled());
  }
};

}  // namespace
}  // namespace pellucor::shell::testing

PELLUCOR_SHELL_TEST_MAIN(pellucor::shell::testing::ProjectTest)
#include "project_test.moc"
