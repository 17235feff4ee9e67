// What a sheet window adds to the specified behaviour: Ctrl+Enter and Ctrl+S from any box, the
// reason of a plausibility stop in the pane once its (unchanged) message box is answered, the
// question before Save writes results that no longer match the boxes, and the status line
// below the sheet that says how a text was read.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "sheet/sheet_table.hpp"
#include "shell_fixture.hpp"

using pellucor::sheet::Control;
using namespace pellucor::shell;
using namespace pellucor::shell::testing;
namespace sheet = pellucor::sheet;

namespace {

const QString kPlausibility = QStringLiteral("请您检查输入数据的合理性!");
const QString kWaitLine = QStringLiteral("正在计算，请稍候………………");

// Fills sheet n with its worked example, each box replaced by `changes` where given.
bool fillExample(QtSheetView* view, int n, const std::vector<std::pair<int, QString>>& changes) {
  const WorkedExample& e = worked_examples().at(static_cast<std::size_t>(n - 1));
  std::vector<std::pair<int, QString>> boxes = e.boxes;
  for (auto& [box, text] : boxes) {
    for (const auto& [changed, to] : changes) {
      if (changed == box) text = to;
    }
  }
  fill(view, boxes);
  for (const Control c : e.options) click(view, c);
  return chooseSteelKind(view, e.steelKind);
}

}  // namespace

class SheetStateTest : public SessionTest {
  Q_OBJECT

 private slots:
  // From a box, with the focus still in it: Ctrl+Enter calculates, Ctrl+S saves; the buttons
  // keep their captions and name the keys in their tool-tips.
  void keysPressTheButtons() {
    QtSheetView* view = s_->open(5);
    QVERIFY(fillAdmixedExample(view));
    auto* calculate = qobject_cast<QPushButton*>(control(view, Control::CmdCal));
    auto* save = qobject_cast<QPushButton*>(control(view, Control::CmdSave));
    QCOMPARE(calculate->text(), QString("计 算"));
    QCOMPARE(save->text(), QString("保存数据"));
    QVERIFY(calculate->toolTip().contains("Ctrl+Enter"));
    QVERIFY(save->toolTip().contains("Ctrl+S"));

    // Ctrl+S before any calculation: Save is disabled, nothing happens.
    typeInto(view, 3, "0.8");
    press(Qt::Key_S, Qt::ControlModifier);
    QVERIFY(s_->dialogs.requests.empty());

    press(Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(s_->dialogs.shown.empty());
    QCOMPARE(view->paneLines().value(0), QString("计算结果如下:"));
    QVERIFY(view->isEnabled(Control::CmdSave));

    QTemporaryDir dir;
    const QString path = dir.filePath("R.DAT");
    s_->dialogs.next = path;
    typeInto(view, 2, "20");  // focus back in a box, value unchanged
    press(Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(s_->dialogs.requests.size(), std::size_t{1});
    QVERIFY(s_->dialogs.asked.empty());  // the boxes still match: no question
    QVERIFY(QFile(path).size() > 0);
  }

  // The keys go through the leave check as a click does: a box holding a value out of range
  // keeps the focus and nothing is calculated.
  void keysRunTheLeaveCheckFirst() {
    QtSheetView* view = s_->open(5);
    QVERIFY(fillAdmixedExample(view));
    typeInto(view, 5, "95");  // cover: 3--90
    press(Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(s_->dialogs.shown.size(), std::size_t{1});
    QCOMPARE(s_->dialogs.shown[0].title, QString("有效性验证"));
    QCOMPARE(QApplication::focusWidget(), box(view, 5));
    QVERIFY(!view->controller().lastRecord());
  }

  // After a plausibility stop the message box is the specified one, alone; then the pane says
  // what made the model give up, naming the quantity, instead of the wait line. Save keeps its
  // state.
  void stopReasonReplacesTheWaitLine_data() {
    QTest::addColumn<int>("sheet");
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("reason");
    QTest::newRow("carbonation, humidity at the rate's limit")
        << 1 << 3 << "0.45"
        << "原因：环境湿度 0.45 太低：室外构件的锈蚀速度公式要求环境湿度大于 0.45";
    QTest::newRow("carbonation, saturated air")
        << 1 << 3 << "1.0"
        << "原因：环境湿度 1：按二氧化碳系数推算时，环境湿度为 1 使碳化系数为零";
    QTest::newRow("surface below the critical concentration")
        << 2 << 8 << "1.2"
        << "原因：氯临界浓度 1.4 不低于表面氯浓度 1.2";
  }
  void stopReasonReplacesTheWaitLine() {
    QFETCH(int, sheet);
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(QString, reason);
    QtSheetView* view = s_->open(sheet);
    QVERIFY(fillExample(view, sheet, {{box, typed}}));
    QVERIFY(s_->dialogs.shown.empty());
    click(view, Control::CmdCal);
    QCOMPARE(s_->dialogs.shown.size(), std::size_t{1});
    QCOMPARE(s_->dialogs.shown[0].title, QString("输入验证"));
    QCOMPARE(s_->dialogs.shown[0].text, kPlausibility);
    const QStringList pane = view->paneLines();
    QVERIFY2(!pane.contains(kWaitLine), qPrintable(pane.join('\n')));
    QCOMPARE(pane.value(0), QString(" 计算未完成。"));
    QVERIFY2(pane.value(1).trimmed().startsWith(reason), qPrintable(pane.join('\n')));
    QVERIFY(pane.value(2).startsWith(" 请检查："));
    QVERIFY(!view->isEnabled(Control::CmdSave));
  }

  // Save after the boxes changed: the question names the change; 取消 writes nothing, the
  // first answer writes the earlier calculation as before. Driven by the keys alone.
  // A text the prefix rule reads as another number than it shows is said on the status line
  // below the sheet, outside the pane: the pane, the result and the message boxes are the
  // sheet's own, exactly as for the number itself.
  void theStatusLineSaysHowATextWasRead() {
    QtSheetView* view = s_->open(1);
    QVERIFY(fillExample(view, 1, {{5, "30mm"}}));
    // Full-width digits as a Chinese input method types them: a number, nothing to say.
    click(view, sheet::text_box(6));
    QTest::keyClick(box(view, 6), Qt::Key_A, Qt::ControlModifier);
    for (const QString& digit : {QStringLiteral("６"), QStringLiteral("０")}) {
      QTest::sendKeyEvent(QTest::Click, box(view, 6), Qt::Key_unknown, digit, Qt::NoModifier);
    }
    QCOMPARE(box(view, 6)->text(), QStringLiteral("６０"));
    click(view, Control::CmdCal);
    QVERIFY(view->controller().lastRecord());
    const QStringList pane = view->paneLines();
    QCOMPARE(view->statusLine(), QString("输入读法：保护层厚度 '30mm' 按 30 读入"));
    QVERIFY(view->statusLabel()->geometry().top() >=
            view->widget(Control::Picture1)->geometry().bottom());
    QVERIFY(s_->dialogs.shown.empty());
    typeInto(view, 5, "30");
    click(view, Control::CmdCal);
    QCOMPARE(view->paneLines(), pane);
    QCOMPARE(view->statusLine(), QString());
  }

  void saveAsksWhenTheBoxesChanged() {
    QtSheetView* view = s_->open(5);
    QVERIFY(fillAdmixedExample(view));
    press(Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(view->controller().lastRecord());
    const QStringList report = view->paneLines();
    typeInto(view, 5, "35");
    QTemporaryDir dir;
    const QString path = dir.filePath("R.DAT");

    s_->dialogs.nextAnswer = 1;  // 取消
    s_->dialogs.next = path;
    press(Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(s_->dialogs.asked.size(), std::size_t{1});
    const auto& q = s_->dialogs.asked[0];
    QCOMPARE(q.title, QString("保存数据"));
    QVERIFY2(q.text.contains("保护层厚度：计算时 30，现在 35"), qPrintable(q.text));
    QCOMPARE(q.answers, (QStringList{"仍然保存", "取消"}));
    QCOMPARE(q.defaultAnswer, 1);
    QVERIFY(s_->dialogs.requests.empty());
    QVERIFY(!QFile::exists(path));

    s_->dialogs.nextAnswer = 0;
    typeInto(view, 2, "20");
    press(Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(s_->dialogs.asked.size(), std::size_t{2});
    QCOMPARE(s_->dialogs.requests.size(), std::size_t{1});
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString written = fromGbk(file.readAll());
    // The earlier calculation: cover 30 in the echo, the results that the pane showed.
    QVERIFY2(written.contains("保护层厚度（单位为mm）= 30 ,"), qPrintable(written));
    QCOMPARE(view->paneLines(), report);

    // Calculating again makes the boxes and the results agree: no more question.
    press(Qt::Key_Return, Qt::ControlModifier);
    s_->dialogs.next = path;
    press(Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(s_->dialogs.asked.size(), std::size_t{2});
    QCOMPARE(s_->dialogs.requests.size(), std::size_t{2});
  }
};

PELLUCOR_SHELL_TEST_MAIN(SheetStateTest)
#include "sheet_state_test.moc"
