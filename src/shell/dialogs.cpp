#include "shell/dialogs.hpp"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "shell/sheet_layout.hpp"

namespace pellucor::shell {

void QtMessagePresenter::showWarning(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
  // The sheet's text face and size, for the Chinese text and its digits alike.
  box.setFont(sheet_font(SheetFont::Sheet));
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

bool ask_append(QWidget* parent, const QString& title, const QString& path) {
  const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
  QMessageBox box(QMessageBox::Question, title, QString::fromUtf8(kAppendQuestion).arg(shown),
                  QMessageBox::NoButton, parent);
  box.setObjectName(QStringLiteral("appendQuestion"));
  box.setFont(sheet_font(SheetFont::Sheet));
  QPushButton* append = box.addButton(QString::fromUtf8(kAppendButton), QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(QString::fromUtf8(kCancelButton), QMessageBox::RejectRole);
  box.setDefaultButton(append);
  box.setEscapeButton(cancel);
  box.exec();
  return box.clickedButton() == append;
}

AppendingSaveDialog::AppendingSaveDialog(QWidget* parent, const QString& title,
                                         const QString& filter, const QString& defaultSuffix)
    : QFileDialog(parent, title) {
  setObjectName(QStringLiteral("CommonDialog1"));
  // The desktop's own dialog would speak the desktop's language and ask its own question.
  setOption(QFileDialog::DontUseNativeDialog, true);
  setOption(QFileDialog::DontConfirmOverwrite, true);
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  setNameFilter(filter);
  setDefaultSuffix(defaultSuffix);
}

void AppendingSaveDialog::accept() {
  const QStringList files = selectedFiles();
  if (files.size() == 1) {
    const QFileInfo info(files.front());
    // A folder is entered by the dialog itself; an existing file is only ever appended to.
    if (info.exists() && !info.isDir() && !ask_append(this, windowTitle(), files.front())) {
      return;  // the dialog stays open for another choice
    }
  }
  QFileDialog::accept();
}

std::optional<QString> QtFileChooser::chooseSaveFile(QWidget* parent, const QString& title,
                                                     const QString& filter,
                                                     const QString& defaultSuffix) {
  AppendingSaveDialog dialog(parent, title, filter, defaultSuffix);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front();
}

}  // namespace pellucor::shell
