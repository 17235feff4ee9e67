// The member table driven through its widgets (offscreen): the menu entry, paste, run in the
// worker thread, cancel, sort, import and export, and opening a member in its sheet.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/batch/batch_job.hpp"
#include "analysis/batch/result_columns.hpp"
#include "analysis/batch/workbook_reader.hpp"
#include "modules/registry.hpp"
#include "sheet_driver.hpp"
#include "shell/analysis_menu/analysis_actions.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/window_kit.hpp"
#include "shell/reports/pdf_report.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"
#include "shell/tables/assessment_panel.hpp"
#include "shell/tables/batch_window.hpp"
#include "shell/tables/member_columns.hpp"
#include "shell_fixture.hpp"

using pellucor::sheet::Control;
using namespace pellucor::shell;
using namespace pellucor::shell::testing;

namespace {

// The marine worked example in the order of the table's columns after the member: the 18
// boxes (Text10 to Text12 empty: the coefficient is typed), the source group, the steel kind.
QString marineRow(const QString& member, const QString& cover, const QString& age = "20") {
  return QStringList{member, "1.5", "20", "0.8", "30",  cover, age,  "1.5", "5", "1.4",       "",
                     "",     "",    "20", "20",  "1.0", "25",  "10", "5",   "",  "2 变形钢筋"}
      .join('\t');
}

QString cell(const QTableWidget* t, int row, int column) {
  const QTableWidgetItem* item = t->item(row, column);
  return item == nullptr ? QString() : item->text();
}

}  // namespace

class BatchWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<ScriptedDialogs> dialogs_;
  std::unique_ptr<MainWindow> window_;
  QAction* batchAction_ = nullptr;
  QTemporaryDir dir_;

  // Opens the marine sheet and, from the analysis menu, its member table.
  BatchWindow* openTable() {
    window_->menuAction(4)->trigger();
    QApplication::processEvents();
    if (!batchAction_->isEnabled()) return nullptr;
    batchAction_->trigger();
    QApplication::processEvents();
    QMdiSubWindow* active = window_->mdiArea()->activeSubWindow();
    return active == nullptr ? nullptr : qobject_cast<BatchWindow*>(active->widget());
  }

  QPushButton* button(BatchWindow* w, const char* name) {
    return w->findChild<QPushButton*>(QString::fromLatin1(name));
  }

  // Pastes through the clipboard with Ctrl+V at the table's first cell.
  void pasteRows(BatchWindow* w, const QStringList& rows) {
    QApplication::clipboard()->setText(rows.join('\n') + '\n');
    w->table()->setCurrentCell(0, 0);
    QTest::keyClick(w->table(), Qt::Key_V, Qt::ControlModifier);
  }

  bool runAll(BatchWindow* w) {
    QSignalSpy finished(w, &BatchWindow::finished);
    QTest::mouseClick(button(w, "calculateAll"), Qt::LeftButton);
    return finished.count() > 0 || finished.wait(60000);
  }

  int endOfLifeColumn(BatchWindow* w) { return w->columns().result("td"); }

 private slots:
  void init() {
    dialogs_ = std::make_unique<ScriptedDialogs>();
    window_ = std::make_unique<MainWindow>(*dialogs_);
    batchAction_ = install_analysis_menu(*window_)->batchAction();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }
  void cleanup() { window_.reset(); }

  void menuEntryOpensTheTableOfTheActiveSheet() {
    QVERIFY(window_->analysisMenu()->actions().contains(batchAction_));
    QCOMPARE(batchAction_->text(), QString("批量计算(&M)…"));
    QVERIFY(!batchAction_->isEnabled());  // no sheet yet
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    QCOMPARE(w->sheet(), 4);
    QCOMPARE(window_->mdiArea()->activeSubWindow()->windowTitle(),
             QString("批量计算 — 近海大气侵蚀引起的钢筋腐蚀"));
    // Labels with units; the valid range in the tool tip; drop-downs for lists and groups.
    const QTableWidgetItem* cover =
        w->table()->horizontalHeaderItem(w->columns().of(Control::Text5));
    QCOMPARE(cover->text(), QString("保护层厚度\n(mm)"));
    QVERIFY2(cover->toolTip().startsWith("有效范围 3--90"), qPrintable(cover->toolTip()));
    QCOMPARE(w->columns().of(Control::Option2), w->columns().of(Control::Option1));
    for (Control c : {Control::Combo1, Control::Option1}) {
      const QModelIndex index = w->table()->model()->index(0, w->columns().of(c));
      std::unique_ptr<QWidget> editor(w->table()->itemDelegate()->createEditor(
          w->table()->viewport(), QStyleOptionViewItem(), index));
      auto* box = qobject_cast<QComboBox*>(editor.get());
      QVERIFY(box != nullptr);
      QCOMPARE(box->count(), c == Control::Combo1 ? 4 : 3);  // an empty entry first
    }
    QCOMPARE(w->table()->horizontalHeaderItem(w->columns().status())->text(), QString("状态"));
    // t_d by its one name (the marine sheet's pane says 使用年限), in one column; what remains
    // is said once, by the assessment.
    QCOMPARE(w->table()->horizontalHeaderItem(endOfLifeColumn(w))->toolTip(),
             QString("耐久性终结时间 t_d (a)"));
    QStringList seen;
    for (const std::string& h : w->columns().exportHeader()) {
      const QString name = QString::fromStdString(h);
      if (name.contains("耐久性终结") || name.contains("使用年限") || name.contains("剩余")) {
        seen << name;
      }
    }
    QCOMPARE(seen, (QStringList{"耐久性终结时间 t_d (a)", "剩余寿命 (a)"}));
    QCOMPARE(w->table()->horizontalHeaderItem(w->columns().state())->text(), QString("检测时状态"));
    // Every button has an access key of its own.
    QCOMPARE(access_key_problems(*w), QStringList{});
    // The table window itself keeps the entry on (its own sheet).
    QVERIFY(batchAction_->isEnabled());
  }

  void pastedRowsRunAndStoppedRowsAreMarked() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    pasteRows(w, {marineRow("B1", "40"), marineRow("B2", "400")});
    QCOMPARE(w->table()->rowCount(), 2);
    QCOMPARE(cell(w->table(), 1, w->columns().of(Control::Text5)), QString("400"));
    QVERIFY(runAll(w));
    QCOMPARE(cell(w->table(), 0, w->columns().status()), QString("完成"));
    QCOMPARE(cell(w->table(), 0, endOfLifeColumn(w)), QString("29.86751"));
    // t = 20 a lies between t_i and t_c.
    QCOMPARE(cell(w->table(), 0, w->columns().state()), QString("锈蚀中、未开裂"));
    const QString message = "保护层厚度：您输入的保护层厚度不在有效范围！请输入 3--90 间的数!";
    QCOMPARE(cell(w->table(), 1, w->columns().status()), message);
    QTableWidgetItem* named = w->table()->item(1, w->columns().of(Control::Text5));
    QCOMPARE(named->toolTip(), message);
    QVERIFY(named->background().color() != w->table()->item(1, 0)->background().color());
    QVERIFY(w->table()->item(1, 0)->background().style() != Qt::NoBrush);
    QVERIFY(w->table()->item(0, 0)->background().style() == Qt::NoBrush);
    QCOMPARE(cell(w->table(), 1, endOfLifeColumn(w)), QString());
    QCOMPARE(w->progressBar()->value(), 2);
    QVERIFY(button(w, "calculateAll")->isEnabled());
  }

  // A crack width below zero (the cover not yet cracked at the inspection age) reads 未开裂,
  // the computed figure in its tip; a positive one stays a number.
  void aNegativeCrackWidthReadsNotCracked() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    pasteRows(w, {marineRow("B1", "40"), marineRow("B2", "80")});
    QVERIFY(runAll(w));
    const int width = w->columns().result("w");
    QVERIFY(width >= 0);
    QCOMPARE(cell(w->table(), 0, width), QString("0.1444208"));
    QCOMPARE(cell(w->table(), 1, width), QString("未开裂"));
    QVERIFY2(w->table()->item(1, width)->toolTip().contains(
                 QRegularExpression("计算值 -[0-9.]+ mm 小于零")),
             qPrintable(w->table()->item(1, width)->toolTip()));
    // Sorted by the width, 未开裂 stands for its value below zero: before the cracked member
    // going up, after it going down (as a text it would sort the other way round).
    w->table()->sortItems(width, Qt::AscendingOrder);
    QCOMPARE(cell(w->table(), 0, 0), QString("B2"));
    w->table()->sortItems(width, Qt::DescendingOrder);
    QCOMPARE(cell(w->table(), 0, 0), QString("B1"));
  }

  // A cover typed "4O" (letter O) is no 4: the row stops there, named as the box is labelled,
  // with no result and no grade; the same text opened in the sheet is refused with the same
  // words; full-width digits are a number.
  void aCellThatIsNotWhollyANumberIsRefusedAndNamed() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    pasteRows(w, {marineRow("B1", "4O"), marineRow("B2", "４０"), marineRow("B3", "40 mm")});
    QVERIFY(runAll(w));
    const int cover = w->columns().of(Control::Text5);
    QCOMPARE(cell(w->table(), 0, w->columns().status()), QString("保护层厚度：'4O' 不是数"));
    QCOMPARE(cell(w->table(), 1, w->columns().status()), QString("完成"));
    QCOMPARE(cell(w->table(), 2, w->columns().status()), QString("保护层厚度：'40 mm' 不是数"));
    for (int r : {0, 2}) {
      QCOMPARE(w->table()->item(r, cover)->toolTip(), cell(w->table(), r, w->columns().status()));
      QCOMPARE(cell(w->table(), r, endOfLifeColumn(w)), QString());
      QCOMPARE(cell(w->table(), r, w->columns().grade()), QString("未评定"));
    }
    QVERIFY(!cell(w->table(), 1, endOfLifeColumn(w)).isEmpty());
    w->openInSheet(0);
    QCOMPARE(dialogs_->shown.size(), std::size_t{1});
    QCOMPARE(dialogs_->shown[0].text, QString("保护层厚度：'4O' 不是数"));
    QVERIFY(window_->sheetView(4) == nullptr || !window_->sheetView(4)->holdsInputs());
  }

  void addsAndDeletesRows() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    pasteRows(w, {marineRow("A", "40"), marineRow("B", "41"), marineRow("C", "42")});
    QTest::mouseClick(button(w, "addRow"), Qt::LeftButton);
    QCOMPARE(w->table()->rowCount(), 4);
    QCOMPARE(w->table()->currentRow(), 3);
    // Deleting the selected rows B and the new one keeps A and C in their order.
    w->table()->clearSelection();
    w->table()->setRangeSelected(QTableWidgetSelectionRange(1, 0, 1, 2), true);
    w->table()->setRangeSelected(QTableWidgetSelectionRange(3, 4, 3, 4), true);
    QTest::mouseClick(button(w, "deleteRows"), Qt::LeftButton);
    QCOMPARE(w->table()->rowCount(), 2);
    QCOMPARE(cell(w->table(), 0, 0), QString("A"));
    QCOMPARE(cell(w->table(), 1, 0), QString("C"));
    QCOMPARE(cell(w->table(), 1, w->columns().of(Control::Text5)), QString("42"));
  }

  void cancelStopsTheRunAndLeavesTheRestUnrun() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    QStringList rows;
    for (int i = 0; i < 4000; ++i) rows << marineRow(QString("M%1").arg(i), "40");
    pasteRows(w, rows);
    QSignalSpy finished(w, &BatchWindow::finished);
    QTest::mouseClick(button(w, "calculateAll"), Qt::LeftButton);
    QVERIFY(w->isRunning());
    QVERIFY(button(w, "cancel")->isEnabled());
    QVERIFY(!button(w, "calculateAll")->isEnabled());
    // The window answers while the worker runs: the cancel button is pressed through it.
    QTest::mouseClick(button(w, "cancel"), Qt::LeftButton);
    QVERIFY(finished.count() > 0 || finished.wait(60000));
    QVERIFY(!w->isRunning());
    int unrun = 0;
    int done = 0;
    for (int r = 0; r < w->table()->rowCount(); ++r) {
      const QString status = cell(w->table(), r, w->columns().status());
      if (status == "未计算") {
        ++unrun;
        QCOMPARE(cell(w->table(), r, endOfLifeColumn(w)), QString());
      } else {
        QCOMPARE(status, QString("完成"));
        ++done;
      }
    }
    QVERIFY(unrun > 0);
    QCOMPARE(unrun + done, 4000);
    QVERIFY(button(w, "calculateAll")->isEnabled());
    QVERIFY(!button(w, "cancel")->isEnabled());
  }

  void sortsAnyColumnByValue() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    // Inspection ages 5, 30, 12 and a stopped row: the corrosion depth at the inspection age
    // grows with the age.
    pasteRows(w, {marineRow("A", "40", "5"), marineRow("B", "40", "30"),
                  marineRow("C", "400", "12"), marineRow("D", "40", "12")});
    QVERIFY(runAll(w));
    QHeaderView* header = w->table()->horizontalHeader();
    const int column = w->columns().result("dt");
    QVERIFY(column >= 0);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, 5));
    QStringList order;
    for (int r = 0; r < 4; ++r) order << cell(w->table(), r, 0);
    // By value (not by text); the stopped row, with no value, after the numbers.
    QCOMPARE(header->sortIndicatorSection(), column);
    if (header->sortIndicatorOrder() == Qt::AscendingOrder) {
      QCOMPARE(order, (QStringList{"A", "D", "B", "C"}));
    } else {
      QCOMPARE(order, (QStringList{"C", "B", "D", "A"}));
    }
    // A second click turns the order round.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, 5));
    QStringList reversed;
    for (int r = 3; r >= 0; --r) reversed << cell(w->table(), r, 0);
    QCOMPARE(reversed, order);
  }

  void exportsCsvAndXlsxAndImportsBack() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    pasteRows(w, {marineRow("B1", "40"), marineRow("B2", "400")});
    QVERIFY(runAll(w));
    const QString csv = dir_.filePath("members.csv");
    dialogs_->next = csv;
    QTest::mouseClick(button(w, "exportCsv"), Qt::LeftButton);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // The headers the window shows, unbroken: units in them (the sheet's misspelt ones
    // corrected); the status and the state in words.
    QVERIFY2(bytes.startsWith(
                 "\xEF\xBB\xBF" +
                 QString("构件,局部环境系数,环境温度 (℃),环境湿度,混凝土强度 (MPa),").toUtf8()),
             bytes.left(80).constData());
    QVERIFY(QString::fromUtf8(bytes).contains(",2 变形钢筋,完成,") &&
            QString::fromUtf8(bytes).contains(",钢筋种类,状态,"));
    const QString text = QString::fromUtf8(bytes);
    QVERIFY(text.contains(
        "\r\nB1,1.5,20,0.8,30,40,20,1.5,5,1.4,,,,20,20,1.0,25,10,5,,2 变形钢筋,完成,"));
    QVERIFY(text.contains(",0.1444208,锈蚀中、未开裂,"));
    QVERIFY(text.contains(",耐久性终结时间 t_d (a),") && !text.contains("使用年限"));
    QVERIFY(text.contains(",氯侵蚀系数 (m/a^0.5),"));
    QVERIFY(text.contains(",保护层开裂后钢筋锈蚀速度 (mm/a),"));
    QVERIFY(!w->hasUnexportedResults());

    const QString xlsx = dir_.filePath("members.xlsx");
    dialogs_->next = xlsx;
    QTest::mouseClick(button(w, "exportXlsx"), Qt::LeftButton);
    QFile book(xlsx);
    QVERIFY(book.open(QIODevice::ReadOnly));
    QCOMPARE(book.read(2), QByteArray("PK"));
    QCOMPARE(dialogs_->requests.size(), std::size_t{2});
    QCOMPARE(dialogs_->requests[0].defaultSuffix, QStringLiteral("csv"));
    QCOMPARE(dialogs_->requests[1].defaultSuffix, QStringLiteral("xlsx"));
    // Exports replace a file chosen again, after the dialog's question.
    QVERIFY(dialogs_->requests[0].mode == SaveMode::Replace);
    QVERIFY(dialogs_->shown.empty());

    // The workbook: columns as wide as their Chinese headers, and a sheet that says what wrote
    // it, when, and the units.
    auto unzip = [](const QString& book, const char* part) {
      QProcess p;
      p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), book, QLatin1String(part)});
      p.waitForFinished(30000);
      return QString::fromUtf8(p.readAllStandardOutput());
    };
    QVERIFY(unzip(xlsx, "xl/worksheets/sheet1.xml").contains(QStringLiteral("<cols>")));
    // (A workbook written row by row keeps its texts in the sheets.)
    const QString strings = unzip(xlsx, "xl/sharedStrings.xml") +
                            unzip(xlsx, "xl/worksheets/sheet1.xml") +
                            unzip(xlsx, "xl/worksheets/sheet2.xml");
    for (const QString& said : {program_title(), QStringLiteral("导出时间"), QStringLiteral("单位"),
                                QStringLiteral("m/a^0.5")}) {
      QVERIFY2(strings.contains(said), qPrintable(said));
    }
    QVERIFY(unzip(xlsx, "xl/workbook.xml").contains(QStringLiteral("name=\"说明\"")));

    // Both exported files come back in as the same rows, ready to run again.
    for (const QString& exported : {csv, xlsx}) {
      BatchWindow* again = openTable();
      QVERIFY(again != nullptr && again != w);
      dialogs_->nextOpen = exported;
      QTest::mouseClick(button(again, "importCsv"), Qt::LeftButton);
      QVERIFY2(dialogs_->shown.empty(),
               qPrintable(dialogs_->shown.empty() ? QString() : dialogs_->shown.back().text));
      QCOMPARE(again->table()->rowCount(), 2);
      for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < again->columns().status(); ++c) {
          // A workbook keeps a number's value, not the way it was typed ("1.0" comes back 1).
          const QString was = cell(w->table(), r, c);
          double a = 0, b = 0;
          if (exported == xlsx && pellucor::analysis::batch::number_cell(was.toStdString(), &a)) {
            QVERIFY(pellucor::analysis::batch::number_cell(cell(again->table(), r, c).toStdString(),
                                                           &b));
            QCOMPARE(b, a);
          } else {
            QCOMPARE(cell(again->table(), r, c), was);
          }
        }
      }
    }

    // The console's batch takes both exports as they stand: the labels with units name the
    // boxes, the status and results of this run are set aside, and its members come to what
    // the window computed.
    namespace batch = pellucor::analysis::batch;
    const auto& marine = *pellucor::modules::find_module("marine");
    for (const QString& exported : {csv, xlsx}) {
      const std::string path = exported.toStdString();
      std::unique_ptr<batch::MemberReader> reader =
          exported == xlsx ? batch::MemberReader::of_table(batch::workbook_member_table(path))
                           : batch::MemberReader::open(path, {});
      const auto columns = batch::resolve_columns(marine.table(), reader->header());
      QCOMPARE(columns.size(), static_cast<std::size_t>(w->columns().status()));
      QCOMPARE(batch::earlier_output_columns(reader->header()).front(), std::string("状态"));
      std::vector<batch::MemberRow> rows;
      while (reader->read(rows, 16)) {
      }
      const auto outcomes = batch::run_members(marine, columns, rows, {});
      QCOMPARE(outcomes.size(), std::size_t{2});
      QCOMPARE(outcomes[0].status, batch::RowOutcome::Status::Done);
      QCOMPARE(outcomes[1].status, batch::RowOutcome::Status::Stopped);
      const auto& results = outcomes[0].results;
      QCOMPARE(results.size(), batch::result_headers(4).size());
      for (int k = 0; k < w->columns().results(); ++k) {
        QCOMPARE(QString::fromStdString(results.at(w->columns().resultSource(k))),
                 cell(w->table(), 0, w->columns().firstResult() + k));
      }
    }
  }

  // The table takes what it writes: an export comes back in by its Chinese headers, in place of
  // the rows or after them as the user answers; what was computed before (statuses, results,
  // grades, the summary) is cleared until 全部计算 runs again. A pasted block that starts with a
  // header row goes by its names.
  void importsItsOwnExportReplacingOrAppending() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    pasteRows(w, {marineRow("B1", "40"), marineRow("B2", "55", "30")});
    QVERIFY(runAll(w));
    const QString csv = dir_.filePath("own.csv");
    QVERIFY(w->exportCsv(csv));
    QVERIFY(w->assessment()->gradeTable()->rowCount() > 0);
    // 取消 leaves everything; 追加 adds the rows after the last one.
    dialogs_->nextAnswer = 2;
    QVERIFY(!w->importCsv(csv));
    QCOMPARE(dialogs_->asked.back().answers, (QStringList{"替换", "追加", "取消"}));
    QCOMPARE(cell(w->table(), 0, w->columns().status()), QString("完成"));
    dialogs_->nextAnswer = 1;
    QVERIFY(w->importCsv(csv));
    QCOMPARE(w->table()->rowCount(), 4);
    QCOMPARE(cell(w->table(), 2, 0), QString("B1"));
    QCOMPARE(cell(w->table(), 3, w->columns().of(Control::Text5)), QString("55"));
    QVERIFY2(w->findChild<QLabel*>("summary")->text().startsWith("追加 2 行；状态列及其后的"),
             qPrintable(w->findChild<QLabel*>("summary")->text()));
    for (int r = 0; r < 4; ++r) {
      QCOMPARE(cell(w->table(), r, w->columns().status()), QString());
      QCOMPARE(cell(w->table(), r, w->columns().grade()), QString());
    }
    QCOMPARE(w->assessment()->gradeTable()->rowCount(), 0);
    QVERIFY(dialogs_->shown.empty());
    // 替换: the file's rows alone.
    dialogs_->nextAnswer = 0;
    QVERIFY(w->importCsv(csv));
    QCOMPARE(w->table()->rowCount(), 2);
    QVERIFY(runAll(w));
    QCOMPARE(cell(w->table(), 1, w->columns().status()), QString("完成"));

    // Paste of a block with its header row, as copied from the export: by the names, the
    // results set aside, from the current row on.
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString block = QString::fromUtf8(file.readAll());
    block.remove(QChar(0xFEFF));
    w->addRow();
    w->table()->setCurrentCell(2, 3);
    QApplication::clipboard()->setText(block);
    QTest::keyClick(w->table(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w->table()->rowCount(), 4);
    QCOMPARE(cell(w->table(), 2, 0), QString("B1"));
    QCOMPARE(cell(w->table(), 3, w->columns().of(Control::Text6)), QString("30"));
    QCOMPARE(cell(w->table(), 3, w->columns().status()), QString());
    QVERIFY(dialogs_->shown.empty());
  }

  void importTakesAliasesGbkAndMalformedRowsAndRefusesUnknownColumns() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    // GBK: "保护层厚度" as a column, "梁" as a member; the steel kind by number; a broken line.
    QByteArray bytes =
        "member,environment,temperature,humidity,strength,\xB1\xA3\xBB\xA4\xB2\xE3\xBA\xF1\xB6\xC8,"
        "age,Text7,surface,critical,cracking-time,diameter,accumulation,stable-time,"
        "initiation-time,t2,steel,Option2\n"
        "\xC1\xBA,1.5,20,0.8,30,40,20,1.5,5,1.4,20,20,1.0,25,10,5,3,0\n"
        "\"broken,1\n";
    const QString path = dir_.filePath("gbk.csv");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    QVERIFY(w->importCsv(path));
    QCOMPARE(w->table()->rowCount(), 2);
    QCOMPARE(cell(w->table(), 0, 0), QString("梁"));
    QCOMPARE(cell(w->table(), 0, w->columns().of(Control::Text5)), QString("40"));
    QCOMPARE(cell(w->table(), 0, w->columns().of(Control::Combo1)), QString("3 墙板配筋"));
    QCOMPARE(cell(w->table(), 0, w->columns().of(Control::Option1)), QString());
    QCOMPARE(cell(w->table(), 1, 0), QString("\"broken,1"));
    QCOMPARE(cell(w->table(), 1, w->columns().status()), QString("第 3 行无法读取：引号不成对"));
    QVERIFY(runAll(w));
    QCOMPARE(cell(w->table(), 0, w->columns().status()), QString("完成"));

    const QString bad = dir_.filePath("bad.csv");
    QFile badFile(bad);
    QVERIFY(badFile.open(QIODevice::WriteOnly));
    badFile.write("member,cover,colour\nx,40,red\n");
    badFile.close();
    QVERIFY(!w->importCsv(bad));
    QCOMPARE(dialogs_->shown.size(), std::size_t{1});
    // In the table's words.
    QCOMPARE(dialogs_->shown[0].text,
             QString("无法导入 %1：列名“colour”不是本计算表的输入（也不是“构件”或“状态”）")
                 .arg(QDir::toNativeSeparators(bad)));
    QCOMPARE(w->table()->rowCount(), 2);  // the table is left as it was
  }

  // A file whose bytes read both as GBK and as UTF-8 is not guessed at: the table asks.
  void importAsksForTheEncodingWhenTheBytesReadBothWays() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    const QString path = dir_.filePath("both.csv");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("member,cover\n\xC2\xBD\xC2\xB7-1,40\n");  // "陆路-1" in GBK, valid UTF-8 too
    file.close();
    QVERIFY(!w->importCsv(path));  // the question cancelled: nothing imported
    QCOMPARE(questions(*dialogs_).size(), 1);
    QVERIFY2(questions(*dialogs_)[0].contains("第 2 行"), qPrintable(questions(*dialogs_)[0]));
    QCOMPARE(dialogs_->asked[0].answers, (QStringList{"UTF-8", "GBK", "取消"}));
    QCOMPARE(cell(w->table(), 0, 0), QString());
    dialogs_->nextAnswer = 1;  // GBK
    QVERIFY(w->importCsv(path));
    QCOMPARE(cell(w->table(), 0, 0), QString("陆路-1"));
    QVERIFY(dialogs_->shown.empty());
  }

  // An export never changes a file it may not replace, and writes formula-like names as text.
  void exportsKeepAFileTheyMayNotReplaceAndNeutraliseFormulas() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    pasteRows(w, {marineRow("=SUM(1)", "40")});
    const QString locked = dir_.filePath("locked.csv");
    QFile file(locked);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("earlier");
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadOther));
    QVERIFY(!w->exportCsv(locked));
    QCOMPARE(dialogs_->shown.size(), std::size_t{1});
    QVERIFY2(dialogs_->shown[0].text.contains("没有写入权限"), qPrintable(dialogs_->shown[0].text));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("earlier"));
    file.close();

    const QString csv = dir_.filePath("formula.csv");
    QVERIFY(w->exportCsv(csv));
    QFile written(csv);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(written.readAll()).contains("\r\n'=SUM(1),1.5,"));
  }

  // Paste takes a spreadsheet's tab-separated block or CSV lines (quotes, commas in a cell);
  // copy gives the selected block back as tabs: pasting it elsewhere gives the same cells. What
  // would land in the status or result columns is not typed, and the user is told.
  void pasteAndCopyRoundTrip() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    QApplication::clipboard()->setText(
        "\"梁, 北\",1.5,20,0.8,30,40,20\r\nB2,1.5,20,0.8,30,\"45\",20\r\n");
    w->table()->setCurrentCell(0, 0);
    QTest::keyClick(w->table(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w->table()->rowCount(), 2);
    QCOMPARE(cell(w->table(), 0, 0), QString("梁, 北"));
    QCOMPARE(cell(w->table(), 1, w->columns().of(Control::Text5)), QString("45"));
    QCOMPARE(cell(w->table(), 1, w->columns().of(Control::Text6)), QString("20"));

    w->table()->clearSelection();
    w->table()->setRangeSelected(QTableWidgetSelectionRange(0, 0, 1, 6), true);
    QTest::keyClick(w->table(), Qt::Key_C, Qt::ControlModifier);
    const QString copied = QApplication::clipboard()->text();
    QCOMPARE(copied.split('\n').value(1), QString("B2\t1.5\t20\t0.8\t30\t45\t20"));
    QTest::mouseClick(button(w, "addRow"), Qt::LeftButton);
    QCOMPARE(w->table()->currentRow(), 2);
    QTest::keyClick(w->table(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w->table()->rowCount(), 4);
    for (int r = 0; r < 2; ++r) {
      for (int c = 0; c <= 6; ++c) QCOMPARE(cell(w->table(), r + 2, c), cell(w->table(), r, c));
    }
    QVERIFY(dialogs_->shown.empty());

    // A block reaching past the inputs: the inputs are pasted, the rest counted and said.
    w->table()->setCurrentCell(0, w->columns().status() - 1);
    w->paste("2 变形钢筋\tok\t12\n");
    QCOMPARE(cell(w->table(), 0, w->columns().status() - 1), QString("2 变形钢筋"));
    QCOMPARE(cell(w->table(), 0, w->columns().status()), QString());
    QCOMPARE(dialogs_->shown.size(), std::size_t{1});
    QVERIFY(dialogs_->shown[0].text.contains("2 个单元格"));
  }

  // Closing a table with computed rows not yet exported asks; 取消 keeps it open; after an
  // export it closes without a question.
  void closingAsksForUnexportedResults() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    pasteRows(w, {marineRow("B1", "40")});
    QVERIFY(runAll(w));
    QVERIFY(w->hasUnexportedResults());
    dialogs_->nextAnswer = 1;
    sub->close();
    QApplication::processEvents();
    QCOMPARE(dialogs_->asked.size(), std::size_t{1});
    QVERIFY(dialogs_->asked[0].text.contains("尚未导出"));
    QVERIFY(sub->isVisible());
    // The main window does not close over it either (取消 of its one question keeps every
    // window, the sheet too).
    dialogs_->nextAnswer = 1;
    window_->close();
    QVERIFY(window_->isVisible());
    QCOMPARE(window_->mdiArea()->subWindowList().size(), 2);
    QVERIFY(w->exportCsv(dir_.filePath("done.csv")));
    sub->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(dialogs_->asked.size(), std::size_t{2});
    QCOMPARE(window_->mdiArea()->subWindowList().size(), 1);  // the sheet
  }

  // The member column stays at the left edge when the table scrolls to the right.
  void memberColumnStaysInView() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    pasteRows(w, {marineRow("B1", "40")});
    auto* frozen = w->findChild<QTableView*>("frozenMemberColumn");
    QVERIFY(frozen != nullptr && frozen->isVisible());
    w->table()->horizontalScrollBar()->setValue(w->table()->horizontalScrollBar()->maximum());
    QApplication::processEvents();
    QVERIFY(w->table()->horizontalScrollBar()->value() > 0);
    QCOMPARE(frozen->model()->data(frozen->model()->index(0, 0)).toString(), QString("B1"));
    QVERIFY(frozen->isColumnHidden(1) && !frozen->isColumnHidden(0));
    QCOMPARE(frozen->geometry().left(),
             w->table()->verticalHeader()->width() + w->table()->frameWidth());
  }

  // The member table's own rows carry each member's grade: with only t_d counting, the
  // remaining life is the row's own remaining-life result (to 0.1 a), whatever order the rows
  // are sorted into before the settings change; the filter shows the rows of one grade.
  // The table's columns found by what they hold, on every sheet: the header the window shows
  // and the one an export writes stand where the names say; the words of an export are text
  // (a workbook keeps them as typed), its figures numbers; only the inputs are typed.
  void namedColumnsHoldWhatTheirNamesSayOnEverySheet() {
    for (int sheet = 1; sheet <= static_cast<int>(pellucor::modules::all_modules().size());
         ++sheet) {
      const MemberColumns c(sheet);
      const std::vector<std::string> header = c.exportHeader();
      const std::vector<bool> text = c.textColumns();
      QCOMPARE(c.headers().size(), c.count());
      QCOMPARE(c.tips().size(), c.count());
      QCOMPARE(static_cast<int>(header.size()), c.count());
      QCOMPARE(static_cast<int>(text.size()), c.count());
      // The console's results without its t_d−t; t_d among them once, whether the sheet prints
      // it or not, in the console's place for it and under the console's name.
      const auto& console = pellucor::analysis::batch::result_headers(sheet);
      QCOMPARE(c.results(), static_cast<int>(console.size()) - 1);
      const auto end = std::find(console.begin(), console.end(), "耐久性终结时间 t_d (a)");
      QCOMPARE(static_cast<int>(end - console.begin()), c.result("td") - c.firstResult());
      // Squares and cubes raised (m²/a, kg/m³), the a^0.5 of a rate as typed; an older export
      // with the carets imports to the same columns.
      std::vector<std::string> older;
      for (const std::string& h : header) {
        QVERIFY2(h.find("^2") == std::string::npos && h.find("^3") == std::string::npos, h.c_str());
        older.push_back(
            QString::fromStdString(h).replace("²", "^2").replace("³", "^3").toStdString());
      }
      const pellucor::sheet::SheetTable& table =
          pellucor::modules::all_modules().at(static_cast<std::size_t>(sheet - 1))->table();
      const auto now = pellucor::analysis::batch::resolve_columns(table, header);
      const auto before = pellucor::analysis::batch::resolve_columns(table, older);
      QCOMPARE(before.size(), now.size());
      for (std::size_t k = 0; k < now.size(); ++k) {
        QCOMPARE(before[k].control, now[k].control);
        QCOMPARE(before[k].group, now[k].group);
      }
      QVERIFY(c.result("td") >= c.firstResult() && c.result("td") < c.state());
      QCOMPARE(std::count(header.begin(), header.end(), std::string("耐久性终结时间 t_d (a)")), 1);
      const std::tuple<int, const char*, bool> named[] = {
          {c.member(), "构件", true},
          {c.status(), "状态", true},
          {c.state(), "检测时状态", true},
          {c.governing(), "控制极限状态", true},
          {c.remainingLife(), "剩余寿命 (a)", false},
          {c.margin(), "裕度 ξ", false},
          {c.grade(), "等级", true}};
      for (const auto& [column, name, isText] : named) {
        QCOMPARE(QString::fromStdString(header[static_cast<std::size_t>(column)]),
                 QString::fromUtf8(name));
        QCOMPARE(text[static_cast<std::size_t>(column)], isText);
      }
      QCOMPARE(c.headers()[c.grade()], QString("等级"));
      QCOMPARE(c.headers()[c.status()], QString("状态"));
      QCOMPARE(c.tips()[c.result("td")], QString("耐久性终结时间 t_d (a)"));
      QVERIFY(!text[static_cast<std::size_t>(c.firstResult())]);
      QVERIFY(text[static_cast<std::size_t>(c.of(Control::Combo1))]);
      QVERIFY(c.typed(c.of(Control::Text1)) && c.typed(c.status() - 1));
      QVERIFY(!c.typed(c.status()) && !c.typed(c.grade()));
      QCOMPARE(c.name(c.of(Control::Combo1)), QString("钢筋种类"));
    }
  }

  void assessmentColumnsFollowTheirRows() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    pasteRows(w, {marineRow("A", "30"), marineRow("B", "60"), marineRow("C", "400"),
                  marineRow("D", "90")});
    QVERIFY(runAll(w));
    QTableWidget* t = w->table();
    const MemberColumns& c = w->columns();
    QCOMPARE(t->horizontalHeaderItem(c.grade())->text(), QString("等级"));
    QCOMPARE(cell(t, 2, c.grade()), QString("未评定"));  // the cover out of range stopped it
    t->sortItems(w->columns().of(Control::Text5), Qt::DescendingOrder);
    QTableWidget* settings = w->assessment()->settingsTable();
    settings->item(AssessmentPanel::kFirstLimitState, 1)->setCheckState(Qt::Unchecked);
    settings->item(AssessmentPanel::kFirstLimitState + 1, 1)->setCheckState(Qt::Unchecked);
    int assessed = 0;
    for (int r = 0; r < t->rowCount(); ++r) {
      if (cell(t, r, w->columns().status()) != "完成") continue;
      QCOMPARE(cell(t, r, c.governing()), QString("耐久性终结"));
      const double remaining =
          cell(t, r, endOfLifeColumn(w)).toDouble() - cell(t, r, c.of(Control::Text6)).toDouble();
      QCOMPARE(cell(t, r, c.remainingLife()), QString::number(remaining, 'f', 1));
      ++assessed;
    }
    QCOMPARE(assessed, 3);
    // Only the grade c rows stay in view under the filter.
    w->assessment()->gradeFilter()->setCurrentIndex(3);
    for (int r = 0; r < t->rowCount(); ++r) {
      QCOMPARE(t->isRowHidden(r), cell(t, r, c.grade()) != "c");
    }
    w->assessment()->gradeFilter()->setCurrentIndex(0);
    for (int r = 0; r < t->rowCount(); ++r) QVERIFY(!t->isRowHidden(r));
    // The summary counts the four members.
    QVERIFY(w->assessment()->summaryLabel()->text().contains("构件共 4 个"));
  }

  void openInSheetTypesTheMemberIntoTheSheet() {
    BatchWindow* w = openTable();
    QVERIFY(w != nullptr);
    pasteRows(w, {marineRow("B1", "40"), marineRow("B2", "55", "30")});
    w->table()->setCurrentCell(1, 0);
    QTest::mouseClick(button(w, "openInSheet"), Qt::LeftButton);
    QtSheetView* view = window_->sheetView(4);
    QVERIFY(view != nullptr);
    QCOMPARE(window_->activeSheet(), 4);
    QCOMPARE(QString::fromStdString(view->text(Control::Text5)), QString("55"));
    QCOMPARE(QString::fromStdString(view->text(Control::Text6)), QString("30"));
    QCOMPARE(QString::fromStdString(view->text(Control::Combo1)), QString("2 变形钢筋"));
    QCOMPARE(QString::fromStdString(view->text(Control::Text10)), QString());  // locked, empty
    QVERIFY(dialogs_->shown.empty());
    QVERIFY(dialogs_->asked.empty());  // the sheet held nothing of its own
    QCOMPARE(view->parentWidget()->windowTitle(), QString("近海大气侵蚀引起的钢筋腐蚀 — 构件 B2"));
    // Another member over the sheet's inputs: asked first; 取消 leaves the sheet as it is.
    w->table()->setCurrentCell(0, 0);
    dialogs_->nextAnswer = 1;
    w->openInSheet(0);
    QCOMPARE(dialogs_->asked.size(), std::size_t{1});
    QVERIFY(dialogs_->asked[0].text.contains("“B1”"));
    QCOMPARE(QString::fromStdString(view->text(Control::Text5)), QString("55"));
    // The member is the sheet's now: Calculate gives the row's result.
    QVERIFY(view->controller().calculate().done());
    QVERIFY(runAll(w));
    const QString td = cell(w->table(), 1, endOfLifeColumn(w));
    QVERIFY(!td.isEmpty());
    QVERIFY2(view->paneLines().contains("使用年限: " + td + "  a"),
             qPrintable(view->paneLines().join('\n')));
  }
};

PELLUCOR_SHELL_TEST_MAIN(BatchWindowTest)
#include "batch_window_test.moc"
