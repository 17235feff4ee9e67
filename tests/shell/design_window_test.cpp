// The design window driven through its widgets (offscreen): opened from the analysis menu for
// the active sheet, a deterministic search that gives what the analysis gives for the sheet's
// member, its answer typed into the sheet so that the sheet's own Calculate meets the target,
// the closest end and the refusals in plain Chinese, the probabilistic search with its error
// and cancel, and the question before an answer goes into a sheet whose inputs changed.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <optional>

#include "analysis/assess/design.hpp"
#include "analysis/project/project.hpp"
#include "sheet_driver.hpp"
#include "shell/charts/chart_window.hpp"
#include "shell/design/design_window.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"
#include "shell_fixture.hpp"

using namespace pellucor::shell;
using namespace pellucor::shell::testing;
namespace assess = pellucor::analysis::assess;
namespace sheet = pellucor::sheet;

class DesignWindowTest : public SessionTest {
  Q_OBJECT

  // Sheet n with its worked example typed in, and the design window opened from the menu.
  DesignWindow* openDesign(int n) {
    const WorkedExample& ex = worked_examples().at(static_cast<std::size_t>(n - 1));
    QtSheetView* view = s_->open(n);
    fill(view, ex.boxes);
    for (sheet::Control c : ex.options) click(view, c);
    if (!chooseSteelKind(view, ex.steelKind)) return nullptr;
    s_->window->findChild<QAction*>(QStringLiteral("menu_design"))->trigger();
    QMdiSubWindow* sub = s_->window->mdiArea()->activeSubWindow();
    return sub ? qobject_cast<DesignWindow*>(sub->widget()) : nullptr;
  }

  static bool solve(DesignWindow* w) {
    QSignalSpy ended(w, &DesignWindow::searchEnded);
    QTest::mouseClick(w->solveButton(), Qt::LeftButton);
    return w->isRunning() ? ended.wait(120000) : !ended.isEmpty();
  }

  // The sheet's inputs as the analysis reads them.
  std::vector<pellucor::analysis::batch::Entry> sheetMember(int n) {
    return pellucor::analysis::project::member_entries(
        pellucor::analysis::project::member_from_view({}, s_->window->controller(n)->module(),
                                                      *s_->window->sheetView(n)));
  }

 private slots:
  void menuNeedsAnActiveSheet() {
    s_->window->findChild<QAction*>(QStringLiteral("menu_design"))->trigger();
    QCOMPARE(s_->dialogs.shown.size(), std::size_t{1});
    QCOMPARE(s_->dialogs.shown[0].title, QStringLiteral("设计"));
    QCOMPARE(s_->window->mdiArea()->subWindowList().size(), 0);
  }

  // The answer is the analysis's for the sheet's member; typed into the sheet, the sheet's own
  // Calculate reaches the target life.
  void answerGoesIntoTheSheetAndMeetsTheTarget() {
    DesignWindow* w = openDesign(2);
    QVERIFY(w);
    QCOMPARE(w->boxChoice()->currentData().toString(), QStringLiteral("Text5"));
    QCOMPARE(w->limitChoice()->currentText(), QStringLiteral("耐久性终结"));
    QVERIFY(!w->betaEdit()->isEnabled());
    QVERIFY(!w->fillButton()->isEnabled());
    QVERIFY(solve(w));
    QVERIFY(w->result());
    const auto expected =
        assess::design_for_target_life({&s_->window->controller(2)->module(), sheetMember(2),
                                        "cover", assess::LimitState::EndOfLife, 50});
    QVERIFY(expected.ok());
    QCOMPARE(*w->result()->solve.answer, *expected->solve.answer);
    // Rounded up to the cover's step of 1 mm (the life grows with the cover), the exact value
    // beside it with the figure the analysis's own summary, which follows, writes.
    QCOMPARE(w->stepEdit()->text(), QStringLiteral("1"));
    const double up = std::ceil(*expected->solve.answer);
    QVERIFY(up > *expected->solve.answer);
    QVERIFY(w->rounded());
    QCOMPARE(*w->rounded(), up);
    QVERIFY2(w->summaryLabel()->text().startsWith(
                 QStringLiteral(
                     "取整答案：保护层厚度 = %1 mm（按步长 1 mm 取在满足目标的一侧；精确值 %2 mm）")
                     .arg(up)
                     .arg(digits(*expected->written))),
             qPrintable(w->summaryLabel()->text()));
    QVERIFY(w->summaryLabel()->text().contains(
        QStringLiteral("保护层厚度不小于 %1 mm").arg(digits(*expected->written))));
    QVERIFY(w->summaryLabel()->text().contains(QStringLiteral("满足目标")));
    QVERIFY(w->summaryLabel()->text().contains(QStringLiteral("\n保护层厚度不小于")));
    QVERIFY(w->chartView());
    QCOMPARE(w->chartView()->curves().guides.size(), std::size_t{2});

    QVERIFY(w->fillButton()->isEnabled());
    QTest::mouseClick(w->fillButton(), Qt::LeftButton);
    QtSheetView* view = s_->window->sheetView(2);
    QCOMPARE(box(view, 5)->text(), QString::number(up));
    QCOMPARE(s_->window->activeSheet(), 2);
    click(view, sheet::Control::CmdCal);
    const auto& record = s_->window->controller(2)->lastRecord();
    QVERIFY(record);
    QVERIFY(*record->value("td") >= 50.0);
    QVERIFY(s_->dialogs.asked.empty());

    // A step of 5 mm: the next multiple of 5 above the answer; no step: the exact answer.
    w->stepEdit()->setText(QStringLiteral("5"));
    QVERIFY(solve(w));
    QCOMPARE(*w->rounded(), 5 * std::ceil(*expected->solve.answer / 5));
    w->stepEdit()->clear();
    QVERIFY(solve(w));
    QVERIFY(!w->rounded());
    QVERIFY(w->summaryLabel()->text().startsWith(QStringLiteral("保护层厚度不小于")));
    // A target met just above the range's lower end (3 mm): the window says so.
    const auto& scan = w->result()->solve.evaluations;
    QVERIFY(scan.size() > 2 && scan[0].value == 3 && scan[0].result && scan[1].result);
    const double nearEnd = *scan[0].result + 0.02 * (*scan[1].result - *scan[0].result);
    w->stepEdit()->setText(QStringLiteral("1"));
    w->targetLifeEdit()->setText(QString::number(nearEnd, 'f', 6));
    QVERIFY(solve(w));
    QVERIFY(w->result()->solve.answer && *w->result()->solve.answer < 4);
    QVERIFY2(w->summaryLabel()->text().contains(QStringLiteral("有效范围 3--90 的端点附近")),
             qPrintable(w->summaryLabel()->text()));
  }

  void saysWhichEndComesClosestAndWhyItRefuses() {
    DesignWindow* w = openDesign(2);
    QVERIFY(w);
    w->targetLifeEdit()->setText(QStringLiteral("5000"));
    QVERIFY(solve(w));
    QVERIFY(w->summaryLabel()->text().contains(QStringLiteral("最接近的是 90 端")));
    QVERIFY(!w->fillButton()->isEnabled());  // no answer to fill in

    // The diffusion coefficient typed on the sheet disables the water-cement ratio.
    w->choose(QStringLiteral("water-cement"), assess::LimitState::EndOfLife);
    w->targetLifeEdit()->setText(QStringLiteral("50"));
    QVERIFY(solve(w));
    QVERIFY(!w->result());
    QVERIFY(w->summaryLabel()->text().startsWith(QStringLiteral("未能求解：")));
    QVERIFY(w->summaryLabel()->text().contains(QStringLiteral("禁用")));
    QVERIFY(!w->chartView());

    // A target that is no number: a message, nothing run.
    w->targetLifeEdit()->setText(QStringLiteral("五十"));
    QTest::mouseClick(w->solveButton(), Qt::LeftButton);
    QVERIFY(!w->isRunning());
    QCOMPARE(s_->dialogs.shown.back().text, QStringLiteral("目标使用年限须为大于 0 的数!"));
  }

  // What a Chinese input method types (full-width digits, point and signs) is read as the
  // sheets read it: the same answer as the half-width text, by either method.
  void fullWidthNumbersGiveTheSameAnswer() {
    DesignWindow* w = openDesign(2);
    QVERIFY(w);
    auto answer = [&](const QString& target) -> std::optional<double> {
      w->targetLifeEdit()->setText(target);
      if (!solve(w) || !w->result()) return std::nullopt;
      return w->result()->solve.answer;
    };
    const auto half = answer(QStringLiteral("50"));
    const auto full = answer(QStringLiteral("５０"));
    QVERIFY(half && full);
    QCOMPARE(*full, *half);

    w->probabilisticButton()->setChecked(true);
    auto reliable = [&](const QString& beta, const QString& samples, const QString& seed) {
      w->betaEdit()->setText(beta);
      w->samplesEdit()->setText(samples);
      w->seedEdit()->setText(seed);
      return answer(QStringLiteral("30"));
    };
    const auto halfBeta =
        reliable(QStringLiteral("0.5"), QStringLiteral("1000"), QStringLiteral("3"));
    const auto fullBeta =
        reliable(QStringLiteral("０．５"), QStringLiteral("１０００"), QStringLiteral("＋３"));
    QVERIFY(halfBeta && fullBeta);
    QCOMPARE(*fullBeta, *halfBeta);
    QVERIFY(s_->dialogs.shown.empty());
  }

  // A text that is not wholly a number is refused before anything runs, never read as the
  // number it begins with.
  void numbersThatAreNotWhollyNumbersAreRefused_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("target with a letter") << "target"
                                          << "5O"
                                          << "目标使用年限须为大于 0 的数!";
    QTest::newRow("beta with a unit") << "beta"
                                      << "0.5β"
                                      << "目标可靠指标必须是一个数!";
    QTest::newRow("samples with an exponent") << "samples"
                                              << "1e3"
                                              << "样本数必须在 1--10000000 之间!";
    QTest::newRow("negative seed") << "seed"
                                   << "-3"
                                   << "随机数种子必须是不小于 0 的整数!";
  }
  void numbersThatAreNotWhollyNumbersAreRefused() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    DesignWindow* w = openDesign(2);
    QVERIFY(w);
    w->probabilisticButton()->setChecked(true);
    w->targetLifeEdit()->setText(QStringLiteral("30"));
    w->betaEdit()->setText(QStringLiteral("0.5"));
    w->samplesEdit()->setText(QStringLiteral("1000"));
    QLineEdit* edit = field == "target"    ? w->targetLifeEdit()
                      : field == "beta"    ? w->betaEdit()
                      : field == "samples" ? w->samplesEdit()
                                           : w->seedEdit();
    edit->setText(text);
    QTest::mouseClick(w->solveButton(), Qt::LeftButton);
    QVERIFY(!w->isRunning());
    QVERIFY(!w->result());
    QCOMPARE(s_->dialogs.shown.size(), std::size_t{1});
    QCOMPARE(s_->dialogs.shown[0].text, message);
    // Titled as the reliability analysis titles what it refuses.
    QCOMPARE(s_->dialogs.shown[0].title, QStringLiteral("输入验证"));
    QCOMPARE(QApplication::focusWidget(), edit);
  }

  void probabilisticSearchGivesItsErrorAndCancels() {
    DesignWindow* w = openDesign(2);
    QVERIFY(w);
    w->probabilisticButton()->setChecked(true);
    QVERIFY(w->betaEdit()->isEnabled());
    w->targetLifeEdit()->setText(QStringLiteral("30"));
    w->betaEdit()->setText(QStringLiteral("0.5"));
    w->samplesEdit()->setText(QStringLiteral("1000"));
    QVERIFY(solve(w));
    QVERIFY(w->result());
    QCOMPARE(w->result()->solve.status, assess::SolveStatus::Solved);
    QVERIFY(w->summaryLabel()->text().contains(QStringLiteral("Monte Carlo 标准误")));
    QCOMPARE(w->chartView()->curves().guides[0].value, 0.5);

    // A large search cancelled at once ends without an answer.
    w->samplesEdit()->setText(QStringLiteral("2000000"));
    QSignalSpy ended(w, &DesignWindow::searchEnded);
    QTest::mouseClick(w->solveButton(), Qt::LeftButton);
    QVERIFY(w->isRunning());
    QVERIFY(w->cancelButton()->isEnabled());
    QTest::mouseClick(w->cancelButton(), Qt::LeftButton);
    QVERIFY(ended.wait(120000));
    QVERIFY(!w->result());
    QVERIFY(w->summaryLabel()->text().contains(QStringLiteral("已取消")));
  }

  // An answer found for other inputs than the sheet now holds goes in only when the user says
  // so.
  void asksBeforeFillingASheetWhoseInputsChanged() {
    DesignWindow* w = openDesign(1);
    QVERIFY(w);
    w->choose(QStringLiteral("cover"), assess::LimitState::Cracking);
    w->targetLifeEdit()->setText(QStringLiteral("100"));
    QVERIFY(solve(w));
    QVERIFY(w->result() && w->result()->written);
    QtSheetView* view = s_->window->sheetView(1);
    typeInto(view, 4, QStringLiteral("35"));  // the strength changed after the search
    s_->dialogs.nextAnswer = 1;               // 否
    QTest::mouseClick(w->fillButton(), Qt::LeftButton);
    QCOMPARE(s_->dialogs.asked.size(), std::size_t{1});
    QVERIFY(s_->dialogs.asked[0].text.contains(QStringLiteral("已改变")));
    QCOMPARE(box(view, 5)->text(), QStringLiteral("30"));
    s_->dialogs.nextAnswer = 0;  // 是
    QTest::mouseClick(w->fillButton(), Qt::LeftButton);
    QVERIFY(w->rounded());
    QCOMPARE(box(view, 5)->text(), QString::number(*w->rounded()));
  }
};

PELLUCOR_SHELL_TEST_MAIN(DesignWindowTest)
#include "design_window_test.moc"
