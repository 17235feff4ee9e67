// Calculate and Save through the sheet's buttons: the report in the pane, the block appended to the
// result file, and the real save dialog with its question about an existing file.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "sheet/sheet_table.hpp"
#include "shell/kit/sheet_layout.hpp"
#include "shell_fixture.hpp"

using pellucor::sheet::Control;
using pellucor::sheet::text_box;
using namespace pellucor::shell;
using namespace pellucor::shell::testing;
namespace sheet = pellucor::sheet;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Types a name into the save dialog's name box key by key and presses Enter.
void enterName(QFileDialog* dialog, const QString& name) {
  auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
  if (!edit) return;
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(edit, name);
  // The name completer may have offered a list; Enter is meant for the dialog.
  if (edit->completer() && edit->completer()->popup()->isVisible()) {
    edit->completer()->popup()->hide();
  }
  QTest::keyClick(edit, Qt::Key_Return);
}

// The block Save appends for the sheet's last report, CR LF ended, decoded.
QString expectedBlock(const QtSheetView* view) {
  const auto& report = view->controller().lastReport();
  if (!report) return {};
  QStringList block{qs(sheet::kEqualsLine), qs(sheet::kParametersHeader)};
  for (const auto& l : report->echo) block << qs(l);
  block << qs(sheet::kHyphensLine) << qs(sheet::kResultsHeader);
  for (const auto& l : report->file) block << qs(l);
  block << qs(sheet::kEqualsLine);
  return block.join("\r\n") + "\r\n";
}

}  // namespace

class CalculateSaveTest : public SessionTest {
  Q_OBJECT

 private slots:
  void calculateShowsTheReport() {
    QtSheetView* view = s_->open(5);
    QVERIFY(fillAdmixedExample(view));
    click(view, Control::CmdCal);
    QVERIFY(s_->dialogs.shown.empty());
    const auto& report = view->controller().lastReport();
    QVERIFY(report.has_value());
    QStringList expected{qs(sheet::kResultsHeader), qs(sheet::kEqualsLine)};
    for (const auto& line : report->pane) expected << qs(line);
    QCOMPARE(view->paneLines(), expected);
    QVERIFY(!view->paneLines().contains(qs(sheet::kWaitLine)));
    QVERIFY(view->isEnabled(Control::CmdSave));
    // The iteration wrote its last assumed cracking time back, with a leading blank.
    QVERIFY(box(view, 7)->text().startsWith(' '));
    QVERIFY(box(view, 7)->text() != QString("20"));
  }

  void saveAppendsTheBlockToTheChosenFile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("RESULT.DAT");
    {
      QFile f(path);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("earlier\r\n");
    }
    QtSheetView* view = s_->open(5);
    QVERIFY(fillAdmixedExample(view));
    click(view, Control::CmdCal);
    QVERIFY(view->isEnabled(Control::CmdSave));

    for (int round = 1; round <= 2; ++round) {
      s_->dialogs.next = path;
      click(view, Control::CmdSave);
    }
    s_->dialogs.next.reset();
    click(view, Control::CmdSave);  // cancelled: nothing written
    QVERIFY(s_->dialogs.shown.empty());
    QCOMPARE(s_->dialogs.requests.size(), std::size_t{3});
    QCOMPARE(s_->dialogs.requests.front().title, QString("保存数据"));
    QCOMPARE(s_->dialogs.requests.front().filter, QString("*.DAT"));
    QCOMPARE(s_->dialogs.requests.front().defaultSuffix, QString("DAT"));
    QVERIFY(s_->dialogs.requests.front().mode == SaveMode::Append);

    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("earlier\r\n"));
    const QString text = fromGbk(bytes.mid(9));
    QVERIFY(!text.isEmpty());
    QVERIFY(text.endsWith(qs(sheet::kEqualsLine) + "\r\n"));
    const QStringList lines = text.chopped(2).split("\r\n");
    const auto& report = view->controller().lastReport();
    QStringList block{qs(sheet::kEqualsLine), qs(sheet::kParametersHeader)};
    for (const auto& l : report->echo) block << qs(l);
    block << qs(sheet::kHyphensLine) << qs(sheet::kResultsHeader);
    for (const auto& l : report->file) block << qs(l);
    block << qs(sheet::kEqualsLine);
    QCOMPARE(lines, block + block);

    // After Save the pane shows the results again, without the wait line.
    QCOMPARE(view->paneLines().front(), qs(sheet::kResultsHeader));
    QCOMPARE(view->paneLines().size(), static_cast<qsizetype>(report->pane.size() + 2));
  }

  // Choosing an existing file in the real save dialog asks truthfully: the question names the
  // file, says that the report goes to its end and the earlier content stays, and offers 追加 and
  // 取消. 取消 leaves the file untouched and the dialog open; 追加 appends.
  void existingFileIsOnlyAppendedTo() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("RESULT.DAT");
    const QByteArray earlier = "earlier\r\n";
    writeFile(path, earlier);
    QVERIFY(restartSession(true));
    QtSheetView* view = s_->open(5);
    QVERIFY(fillAdmixedExample(view));
    click(view, Control::CmdCal);
    QVERIFY(view->isEnabled(Control::CmdSave));

    struct Asked {
      QString title;
      QString text;
      QStringList buttons;
      QString family;
    };
    std::vector<Asked> asked;
    bool reopened = false;
    QByteArray afterCancel;
    auto answer = [&](QMessageBox* question, const QString& choice) {
      QStringList buttons;
      for (QAbstractButton* b : question->buttons()) buttons << b->text();
      buttons.sort();
      asked.push_back(
          {question->windowTitle(), question->text(), buttons,
           QFontInfo(question->findChild<QLabel*>("qt_msgbox_label")->font()).family()});
      for (QAbstractButton* b : question->buttons()) {
        if (b->text() == choice) QTest::mouseClick(b, Qt::LeftButton);
      }
    };
    ModalScript script;
    script.then<QFileDialog>([&](QFileDialog* d) { enterName(d, path); });
    script.then<QMessageBox>([&](QMessageBox* q) { answer(q, "取消"); });
    script.then<QFileDialog>([&](QFileDialog* d) {
      reopened = d->isVisible();
      afterCancel = readFile(path);
      QTest::keyClick(d->findChild<QLineEdit*>("fileNameEdit"), Qt::Key_Return);
    });
    script.then<QMessageBox>([&](QMessageBox* q) { answer(q, "追加"); });
    QVERIFY(script.run([&] { click(view, Control::CmdSave); }));

    QVERIFY(reopened);
    QCOMPARE(afterCancel, earlier);
    QCOMPARE(asked.size(), std::size_t{2});
    for (const Asked& a : asked) {
      QCOMPARE(a.title, QString("保存数据"));
      QVERIFY2(a.text.contains(QDir::toNativeSeparators(path)), qPrintable(a.text));
      QVERIFY(a.text.contains("追加到该文件的末尾"));
      QVERIFY(a.text.contains("原有的内容保留不变"));
      QVERIFY(!a.text.contains("替换"));
      QCOMPARE(a.buttons, (QStringList{"取消", "追加"}));
      QCOMPARE(a.family, QFontInfo(sheet_font(SheetFont::Sheet)).family());
    }
    const QByteArray bytes = readFile(path);
    QVERIFY(bytes.startsWith(earlier));
    QCOMPARE(fromGbk(bytes.mid(earlier.size())), expectedBlock(view));
    QVERIFY(s_->dialogs.shown.empty());
  }

  // A new name: no question, the default extension added, the file created with one block.
  void newFileIsCreatedWithoutAQuestion() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(restartSession(true));
    QtSheetView* view = s_->open(5);
    QVERIFY(fillAdmixedExample(view));
    click(view, Control::CmdCal);

    ModalScript script;
    script.then<QFileDialog>([&](QFileDialog* d) { enterName(d, dir.filePath("NEW")); });
    // A question would stay unanswered: the script closes it at the time limit and fails.
    QVERIFY(script.run([&] { click(view, Control::CmdSave); }, 5000));
    QCOMPARE(fromGbk(readFile(dir.filePath("NEW.DAT"))), expectedBlock(view));
  }
};

PELLUCOR_SHELL_TEST_MAIN(CalculateSaveTest)
#include "save_test.moc"
