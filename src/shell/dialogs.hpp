// The two modal dialogs a sheet needs, behind small interfaces so that the sheet window can be
// driven by tests that answer them.
#pragma once

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

// The real message box.
class QtMessagePresenter final : public MessagePresenter {
 public:
  void showWarning(QWidget* parent, const QString& title, const QString& text) override;
};

// The real save dialog.
class QtFileChooser final : public FileChooser {
 public:
  std::optional<QString> chooseSaveFile(QWidget* parent, const QString& title,
                                        const QString& filter,
                                        const QString& defaultSuffix) override;
};

}  // namespace pellucor::shell
