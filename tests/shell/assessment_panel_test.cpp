// The assessment beside a member table, driven through its widgets (offscreen): the grades of
// hand-made time courses worked out by hand, sorting worst first and filtering by grade, the
// settings edited into new grades (and a setting without a meaning refused in place while the
// last valid ones stay), the four columns a member table adds, the chart of remaining lives.
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>

#include "modules/registry.hpp"
#include "shell/tables/assessment_panel.hpp"
#include "shell_fixture.hpp"

using namespace pellucor::shell;
namespace assess = pellucor::analysis::assess;

namespace {

pellucor::analysis::Timeline times(double t, double ti, double tc, double td) {
  pellucor::analysis::Timeline tl;
  tl.t = t;
  tl.ti = ti;
  tl.prop.tc = tc;
  tl.prop.td = td;
  return tl;
}

// Inspected at 20 a, target 50 a: 30 a of target life left. Only t_d counts below.
std::vector<AssessmentPanel::Member> members() {
  const auto* sheet = pellucor::modules::find_module("chloride-constant");
  return {
      {QStringLiteral("梁 A"), sheet, times(20, 5, 30, 74), QString(), {}},  // ξ = 1.8: a
      {QStringLiteral("梁 B"), sheet, times(20, 5, 30, 50), QString(), {}},  // ξ = 1: b
      {QStringLiteral("梁 C"), sheet, times(20, 5, 10, 18), QString(), {}},  // passed: c
      {QStringLiteral("梁 D"), sheet, std::nullopt, QStringLiteral("您未输入氯离子临界浓度"), {}},
      {QStringLiteral("梁 E"), sheet, times(20, 5, 30, 35), QString(), {}},  // ξ = 0.5: c
  };
}

QStringList column(const QTableWidget* t, int c, bool visibleOnly = false) {
  QStringList out;
  for (int r = 0; r < t->rowCount(); ++r) {
    if (visibleOnly && t->isRowHidden(r)) continue;
    out << t->item(r, c)->text();
  }
  return out;
}

}  // namespace

class AssessmentPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void gradesSortsAndFilters() {
    AssessmentPanel panel;
    assess::Settings s;
    s.limitStates = {assess::LimitState::EndOfLife};
    panel.setSettings(s);
    panel.setMembers(members());
    QCOMPARE(panel.columnCells(0), (QStringList{"耐久性终结", "54.0", "1.80", "a"}));
    QCOMPARE(panel.columnCells(1), (QStringList{"耐久性终结", "30.0", "1.00", "b"}));
    QCOMPARE(panel.columnCells(2),
             (QStringList{"耐久性终结", "已超过（18.0 a 时达到）", "已超过", "c"}));
    QCOMPARE(panel.columnCells(3), (QStringList{"", "", "", "未评定"}));
    QVERIFY(panel.summaryLabel()->text().contains(
        QStringLiteral("a 级 1 个，b 级 1 个，c 级 2 个，未评定 1 个")));

    // Sorted by grade, worst first: not assessed, the passed member, the smaller margin.
    QTableWidget* t = panel.gradeTable();
    t->sortItems(4);
    QCOMPARE(column(t, 0), (QStringList{"梁 D", "梁 C", "梁 E", "梁 B", "梁 A"}));
    t->sortItems(2, Qt::DescendingOrder);  // the longest remaining life first
    QCOMPARE(column(t, 0).first(), QStringLiteral("梁 A"));
    // Filtered by grade.
    panel.gradeFilter()->setCurrentIndex(3);  // c
    QCOMPARE(column(t, 0, true).size(), 2);
    QVERIFY(!panel.passesFilter(0) && panel.passesFilter(2) && panel.passesFilter(4));
    panel.gradeFilter()->setCurrentIndex(4);  // not assessed
    QCOMPARE(column(t, 0, true), (QStringList{"梁 D"}));

    // The chart: every assessed member, shortest remaining life at the top.
    auto* axis =
        qobject_cast<QBarCategoryAxis*>(panel.chartView()->chart()->axes(Qt::Vertical).value(0));
    QVERIFY(axis);
    QCOMPARE(axis->categories().size(), 4);
    QCOMPARE(axis->categories().last(), QStringLiteral("梁 C（已超过）"));
  }

  void settingsEditedIntoNewGrades() {
    AssessmentPanel panel;
    panel.setMembers(members());
    QSignalSpy changed(&panel, &AssessmentPanel::settingsChanged);
    QTableWidget* st = panel.settingsTable();
    // The defaults shown beside the values.
    QCOMPARE(st->item(AssessmentPanel::kTarget, 2)->text(), QStringLiteral("50"));
    QCOMPARE(st->item(AssessmentPanel::kAge, 1)->text(), QString());
    // Only t_d counts: the first limit-state rows unchecked.
    st->item(AssessmentPanel::kFirstLimitState, 1)->setCheckState(Qt::Unchecked);
    st->item(AssessmentPanel::kFirstLimitState + 1, 1)->setCheckState(Qt::Unchecked);
    QCOMPARE(panel.settings().limitStates, std::vector{assess::LimitState::EndOfLife});
    // γ = 1.5: 45 a of target life; t_d = 74 a gives ξ = 54 / 45 = 1.2, b.
    st->item(AssessmentPanel::kGamma, 1)->setText(QStringLiteral("1.5"));
    QCOMPARE(panel.settings().gamma, 1.5);
    QCOMPARE(panel.columnCells(0)[3], QStringLiteral("b"));
    QCOMPARE(panel.columnCells(0)[2], QStringLiteral("1.20"));
    QCOMPARE(changed.size(), 3);

    // Thresholds the wrong way round: said in place, the last valid settings kept.
    st->item(AssessmentPanel::kThresholdB, 1)->setText(QStringLiteral("2.5"));
    QVERIFY(panel.settingsMessage()->text().contains(QStringLiteral("等级界限")));
    QCOMPARE(panel.settings().thresholdB, 1.0);
    QCOMPARE(changed.size(), 3);
    st->item(AssessmentPanel::kThresholdB, 1)->setText(QStringLiteral("1.0"));
    QVERIFY(panel.settingsMessage()->text().isEmpty());
    // Not a number.
    st->item(AssessmentPanel::kTarget, 1)->setText(QStringLiteral("五十"));
    QVERIFY(panel.settingsMessage()->text().contains(QStringLiteral("目标使用年限")));
    QCOMPARE(panel.settings().targetLife, 50.0);
    // Typed under a Chinese input method: full-width digits are read as the sheets read them;
    // a stray letter is no number (not read as the number before it).
    st->item(AssessmentPanel::kTarget, 1)->setText(QStringLiteral("６０"));
    QVERIFY(panel.settingsMessage()->text().isEmpty());
    QCOMPARE(panel.settings().targetLife, 60.0);
    st->item(AssessmentPanel::kTarget, 1)->setText(QStringLiteral("5O"));
    QVERIFY(panel.settingsMessage()->text().contains(QStringLiteral("目标使用年限")));
    QCOMPARE(panel.settings().targetLife, 60.0);
    // An age of assessment for every member: t0 = 30 a leaves 20 a (×1.5 = 30 a); t_d = 50 a
    // gives ξ = 20 / 30.
    st->item(AssessmentPanel::kTarget, 1)->setText(QStringLiteral("50"));
    st->item(AssessmentPanel::kAge, 1)->setText(QStringLiteral("30"));
    QCOMPARE(panel.columnCells(1)[2], QStringLiteral("0.67"));
  }
};

PELLUCOR_SHELL_TEST_MAIN(AssessmentPanelTest)
#include "assessment_panel_test.moc"
