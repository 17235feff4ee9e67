#include "shell/dialogs.hpp"

#include <QFileDialog>
#include <QMessageBox>

namespace pellucor::shell {

void QtMessagePresenter::showWarning(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

std::optional<QString> QtFileChooser::chooseSaveFile(QWidget* parent, const QString& title,
                                                     const QString& filter,
                                                     const QString& defaultSuffix) {
  QFileDialog dialog(parent, title);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(filter);
  dialog.setDefaultSuffix(defaultSuffix);
  // Existing files: the dialog asks before it accepts one (the file is appended to anyway).
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front();
}

}  // namespace pellucor::shell
