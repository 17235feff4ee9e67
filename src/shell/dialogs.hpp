// The two modal dialogs a sheet needs, behind small interfaces so that the sheet window can be
// driven by tests that answer them.
#pragma once

#include <QFileDialog>
#include <QString>
#include <optional>

class QWidget;

namespace pellucor::shell {

// Shows a modal message with the warning icon and a single OK button.
class MessagePresenter {
 public:
  virtual ~MessagePresenter() = default;
  virtual void showWarning(QWidget* parent, const QString& title, const QString& text) = 0;
};

// Asks for the name of a file to save to; nothing on Cancel.
class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // filter: a name pattern such as "*.DAT"; defaultSuffix is appended to a name without one.
  // The chooser asks before an existing file is picked.
  virtual std::optional<QString> chooseSaveFile(QWidget* parent, const QString& title,
                                                const QString& filter,
                                                const QString& defaultSuffix) = 0;
};

// The real message box, in the sheets' typeface and size.
class QtMessagePresenter final : public MessagePresenter {
 public:
  void showWarning(QWidget* parent, const QString& title, const QString& text) override;
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

// The real save dialog.
class QtFileChooser final : public FileChooser {
 public:
  std::optional<QString> chooseSaveFile(QWidget* parent, const QString& title,
                                        const QString& filter,
                                        const QString& defaultSuffix) override;
};

}  // namespace pellucor::shell
