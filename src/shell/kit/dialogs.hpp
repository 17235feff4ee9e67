// Every modal dialog of the desktop program goes through one seam, so that the windows can be
// driven by tests that answer them: messages, questions, the file dialogs and the print
// dialog. QtDialogs shows the real ones.
#pragma once

#include <QFileDialog>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "shell/kit/report_details.hpp"

class QWidget;

namespace pellucor::shell {

// What happens to a file chosen for writing when it exists already.
enum class SaveMode {
  Append,   // a result file: the new block is added at its end, earlier content kept (the
            // dialog says so and asks)
  Replace,  // a report, a picture, a table: the file is replaced (the dialog asks first)
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A modal message with the warning icon and a single OK button.
  virtual void showWarning(QWidget* parent, const QString& title, const QString& text) = 0;
  // A modal question with one button per answer, `defaultAnswer` the default; the index of the
  // answer given, none when the box was closed without one.
  virtual std::optional<int> ask(QWidget* parent, const QString& title, const QString& text,
                                 const QStringList& answers, int defaultAnswer) = 0;
  // The name of a file to write; nothing on Cancel. `filter` is a name pattern such as "*.DAT";
  // `defaultSuffix` is appended to a name without one; `suggested` is the name the dialog
  // offers (an export named after what it holds: the structure, the member, the sheet, the
  // chart), empty for none.
  virtual std::optional<QString> chooseSaveFile(QWidget* parent, const QString& title,
                                                const QString& filter, const QString& defaultSuffix,
                                                SaveMode mode, const QString& suggested = {}) = 0;
  // The name of an existing file to read; nothing on Cancel.
  virtual std::optional<QString> chooseOpenFile(QWidget* parent, const QString& title,
                                                const QString& filter) = 0;
  // A printer set up in the platform's print dialog for a document named `name`; none when
  // the dialog was cancelled.
  virtual std::unique_ptr<QPrinter> choosePrinter(QWidget* parent, const QString& name) = 0;
  // Opens a file the program wrote in the program the desktop opens it with (a PDF in its
  // viewer); false when the desktop has none. A front end without a desktop opens nothing.
  virtual bool openExternally(const QString& path) {
    (void)path;
    return false;
  }
  // A line of text the user gives (a name), starting from `initial`; none when cancelled. A
  // front end without a dialog takes the initial text.
  virtual std::optional<QString> askText(QWidget* parent, const QString& title,
                                         const QString& label, const QString& initial) {
    (void)parent;
    (void)title;
    (void)label;
    return initial;
  }
  // The details of a report (project, structure, member, who inspected and checked, date),
  // starting from `initial`; none when the user cancelled. A front end without a dialog takes
  // them as they are.
  virtual std::optional<ReportDetails> askReportDetails(QWidget* parent,
                                                        const ReportDetails& initial) {
    (void)parent;
    return initial;
  }
};

// The title of the message that refuses what was typed into a window beyond the sheets (the
// design, the reliability analysis): one title in all of them.
inline const QString kInputCheckTitle = QStringLiteral("输入验证");

// The answers of a yes-or-no question.
inline const QStringList kYesNo = {QStringLiteral("是"), QStringLiteral("否")};

// A name for a file to be written, from the parts that say what it holds (the structure, the
// member, the sheet, the chart; empty parts left out), joined by "-", with the characters a
// file name may not hold replaced: "跨海大桥-梁B1-钢筋处氯离子浓度".
QString file_name_of(const QStringList& parts);

// A line that says where a file was written: "已写入：/path/to/file".
QString written_to(const QString& path);

// The question after a report is written (it names the file): open it, print it, or neither.
inline const QStringList kReportAnswers = {QStringLiteral("打开"), QStringLiteral("打印"),
                                           QStringLiteral("关闭")};
QString report_written_question(const QString& path);
// Asks it and does what the answer says: false after a message when the file could not be
// opened. `print` prints the report (on a printer the user chooses).
void offer_report(Dialogs& dialogs, QWidget* parent, const QString& title, const QString& path,
                  const std::function<void(QPrinter&)>& print, const QString& documentName);

// The file dialog's list with sizes and dates in Chinese, whatever the system's language.
void list_files_in_chinese(QFileDialog& dialog);

// The real dialogs, in the program's language on every desktop; the message box in the sheets'
// typeface and size.
class QtDialogs final : public Dialogs {
 public:
  void showWarning(QWidget* parent, const QString& title, const QString& text) override;
  std::optional<int> ask(QWidget* parent, const QString& title, const QString& text,
                         const QStringList& answers, int defaultAnswer) override;
  std::optional<QString> chooseSaveFile(QWidget* parent, const QString& title,
                                        const QString& filter, const QString& defaultSuffix,
                                        SaveMode mode, const QString& suggested = {}) override;
  std::optional<QString> chooseOpenFile(QWidget* parent, const QString& title,
                                        const QString& filter) override;
  std::unique_ptr<QPrinter> choosePrinter(QWidget* parent, const QString& name) override;
  bool openExternally(const QString& path) override;
  std::optional<QString> askText(QWidget* parent, const QString& title, const QString& label,
                                 const QString& initial) override;
  std::optional<ReportDetails> askReportDetails(QWidget* parent,
                                                const ReportDetails& initial) override;
};

// Texts of the question asked when an existing file is chosen for saving. Save adds the report
// at the end of the file, so the question says so instead of offering to replace it.
inline constexpr const char* kAppendQuestion =
    "文件“%1”已经存在。\n\n本次计算结果将追加到该文件的末尾，文件中原有的内容保留不变。\n\n"
    "是否追加到这个文件？";
inline constexpr const char* kAppendButton = "追加";
inline constexpr const char* kCancelButton = "取消";

// Asks whether the report may be appended to the existing file `path`; true for 追加.
bool ask_append(QWidget* parent, const QString& title, const QString& path);

// The save dialog of a sheet: the toolkit's own dialog (so that it speaks the program's language
// on every desktop), which asks the append question when an existing file is chosen and stays
// open when the answer is 取消.
class AppendingSaveDialog final : public QFileDialog {
  Q_OBJECT

 public:
  AppendingSaveDialog(QWidget* parent, const QString& title, const QString& filter,
                      const QString& defaultSuffix);

 public slots:
  void accept() override;
};

}  // namespace pellucor::shell
