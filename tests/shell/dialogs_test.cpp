// The real message box and save dialog: the toolkit's texts in Chinese whatever the locale, the
// sheet's typeface in the message box, the sheet fonts found on the machine.
#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <memory>

#include "sheet/sheet_table.hpp"
#include "shell/kit/sheet_layout.hpp"
#include "shell_fixture.hpp"

using pellucor::sheet::Control;
using pellucor::sheet::text_box;
using namespace pellucor::shell;
using namespace pellucor::shell::testing;
namespace sheet = pellucor::sheet;

class DialogsTest : public SessionTest {
  Q_OBJECT

 private slots:
  void realMessageBoxAppears() {
    QVERIFY(restartSession(true));
    QtSheetView* view = s_->open(3);

    struct Seen {
      bool found = false;
      QMessageBox::Icon icon = QMessageBox::NoIcon;
      QString title;
      QString text;
      QMessageBox::StandardButtons buttons;
      QString okText;
      QFont font;
    } seen;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      seen = {true,
              box->icon(),
              box->windowTitle(),
              box->text(),
              box->standardButtons(),
              box->button(QMessageBox::Ok)->text(),
              box->findChild<QLabel*>("qt_msgbox_label")->font()};
      poll.stop();
      QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    poll.start();
    press(Qt::Key_Tab);
    poll.stop();

    QVERIFY(seen.found);
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.title, QString("有效性验证"));
    QCOMPARE(seen.text, QString("您输入的局部环境系数不在有效范围！请输入 1.0--5.5 的数!"));
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    // The toolkit's own button text in Chinese, whatever the machine's locale.
    QCOMPARE(seen.okText, QString("确定"));
    // The sheet's typeface and size, not the desktop's smaller one.
    const QFontInfo sheetFace(sheet_font(SheetFont::Sheet));
    QCOMPARE(QFontInfo(seen.font).family(), sheetFace.family());
    QCOMPARE(seen.font.pointSizeF(), 12.0);
    QCOMPARE(box(view, 1)->text(), QString());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
  }

  // The design faces are Windows fonts; the fallbacks must give faces that have the glyphs.
  void sheetFontsResolveToInstalledFaces() {
    const QStringList chinese = {
        "宋体", "SimSun", "隶书", "LiSu", "AR PL UMing CN", "AR PL UKai CN", "Noto Serif CJK SC"};
    for (const SheetFont kind : {SheetFont::Sheet, SheetFont::Frame, SheetFont::Button}) {
      const QFontInfo info(sheet_font(kind));
      QVERIFY2(chinese.contains(info.family()), qPrintable(info.family()));
      QVERIFY(QFontMetrics(sheet_font(kind)).inFont(QChar(0x8BA1)));  // 计
    }
  }

  // The real save dialog speaks Chinese: its buttons, labels and title.
  void saveDialogSpeaksChinese() {
    QVERIFY(restartSession(true));
    QtSheetView* view = s_->open(5);
    QVERIFY(fillAdmixedExample(view));
    click(view, Control::CmdCal);

    QStringList seen;
    ModalScript script;
    script.then<QFileDialog>([&](QFileDialog* d) {
      auto* buttons = d->findChild<QDialogButtonBox*>("buttonBox");
      seen << d->windowTitle() << buttons->button(QDialogButtonBox::Save)->text()
           << buttons->button(QDialogButtonBox::Cancel)->text()
           << d->findChild<QLabel*>("lookInLabel")->text()
           << d->findChild<QLabel*>("fileNameLabel")->text()
           << d->findChild<QLabel*>("fileTypeLabel")->text();
      QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    });
    QVERIFY(script.run([&] { click(view, Control::CmdSave); }));
    QCOMPARE(seen.size(), 6);
    QCOMPARE(seen[0], QString("保存数据"));
    QVERIFY2(seen[1].startsWith("保存"), qPrintable(seen[1]));
    QVERIFY2(seen[2].startsWith("取消"), qPrintable(seen[2]));
    for (int i = 3; i < 6; ++i) {
      QVERIFY2(!seen[i].contains(QRegularExpression("[A-Za-z]{2}")), qPrintable(seen[i]));
    }
    // Cancelled: nothing asked, nothing written, the results shown again.
    QVERIFY(s_->dialogs.shown.empty());
    QCOMPARE(view->paneLines().front(), qs(sheet::kResultsHeader));
  }

  // A question shows its answers in order with the default chosen; the answer given is returned.
  void questionOffersItsAnswers() {
    QtDialogs dialogs;
    QStringList buttons;
    QString defaultButton;
    ModalScript script;
    script.then<QMessageBox>([&](QMessageBox* box) {
      for (QAbstractButton* b : box->buttons()) buttons << b->text();
      defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
      QTest::mouseClick(box->buttons().at(0), Qt::LeftButton);
    });
    std::optional<int> answer;
    QVERIFY(script.run(
        [&] { answer = dialogs.ask(s_->window.get(), "分析", "是否打印报告？", kYesNo, 1); }));
    QCOMPARE(buttons, kYesNo);
    QCOMPARE(defaultButton, QStringLiteral("否"));
    QCOMPARE(answer, std::optional<int>(0));
  }

  // A report, a picture or a table replaces the file chosen: the dialog asks before replacing
  // it, never the result file's question that promises to keep the earlier content.
  void replacingSaveDialogAsksToReplace() {
    QTemporaryDir dir;
    QFile earlier(dir.filePath("report.pdf"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.close();
    QtDialogs dialogs;
    QString question;
    ModalScript script;
    script.then<QFileDialog>([&](QFileDialog* d) {
      d->setDirectory(dir.path());
      auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
      edit->setText("report.pdf");
      QTest::keyClick(edit, Qt::Key_Return);
    });
    script.then<QMessageBox>([&](QMessageBox* box) {
      question = box->text();
      QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    std::optional<QString> chosen;
    QVERIFY(script.run([&] {
      chosen =
          dialogs.chooseSaveFile(s_->window.get(), "保存报告", "*.pdf", "pdf", SaveMode::Replace);
    }));
    QVERIFY2(question.contains("report.pdf"), qPrintable(question));
    QVERIFY2(question.contains("替换") && !question.contains("追加"), qPrintable(question));
    QCOMPARE(chosen, std::optional<QString>(dir.filePath("report.pdf")));
  }

  // The save dialog offers the name it is given; its list gives sizes and dates as a Chinese
  // reader writes them, whatever the system's language.
  void saveDialogOffersANameAndListsInChinese() {
    QTemporaryDir dir;
    QFile earlier(dir.filePath("梁B1.csv"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    QVERIFY(earlier.write(QByteArray(3000, 'x')) == 3000);
    earlier.close();
    QtDialogs dialogs;
    QString offered;
    QString size;
    QString date;
    bool dateWhole = false;
    ModalScript script;
    script.then<QFileDialog>([&](QFileDialog* d) {
      offered = d->findChild<QLineEdit*>("fileNameEdit")->text();
      d->setDirectory(dir.path());
      QAbstractItemModel* list = d->proxyModel();
      QVERIFY(list != nullptr);
      // The folder is read in the background.
      QModelIndex file;
      QTRY_VERIFY((file = find_file(*list, "梁B1.csv")).isValid());
      size = list->index(file.row(), 1, file.parent()).data().toString();
      date = list->index(file.row(), 3, file.parent()).data().toString();
      // The date column shows its whole text.
      auto* view = d->findChild<QTreeView*>(QStringLiteral("treeView"));
      QVERIFY(view != nullptr);
      dateWhole = view->header()->sectionSize(3) >= view->fontMetrics().horizontalAdvance(date) + 8;
      d->reject();
    });
    QVERIFY(script.run([&] {
      dialogs.chooseSaveFile(
          s_->window.get(), "导出CSV", "*.csv", "csv", SaveMode::Replace,
          file_name_of({"跨海 大桥", "梁B1", "渗氯盐_常系数", "构件表"}) + ".csv");
    }));
    QCOMPARE(offered, QString("跨海大桥-梁B1-渗氯盐_常系数-构件表.csv"));
    QCOMPARE(size, QLocale(QLocale::Chinese, QLocale::China).formattedDataSize(3000));
    QVERIFY2(QRegularExpression("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}$").match(date).hasMatch(),
             qPrintable(date));
    QVERIFY(dateWhole);
  }

 private:
  // The row of a file named `name` anywhere in a dialog's list, or an invalid index.
  static QModelIndex find_file(const QAbstractItemModel& list, const QString& name,
                               const QModelIndex& parent = {}) {
    for (int r = 0; r < list.rowCount(parent); ++r) {
      const QModelIndex at = list.index(r, 0, parent);
      if (at.data().toString() == name) return at;
      if (const QModelIndex deeper = find_file(list, name, at); deeper.isValid()) return deeper;
    }
    return {};
  }
};

PELLUCOR_SHELL_TEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
