#include "shell/kit/dialogs.hpp"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <vector>

#include "shell/kit/sheet_layout.hpp"

namespace pellucor::shell {

namespace {

// The file list of a dialog, its sizes and dates written as a Chinese reader reads them (the
// list otherwise follows the system's language, not the program's).
class ChineseFileList final : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || files == nullptr ||
        (index.column() != 1 && index.column() != 3)) {
      return QIdentityProxyModel::data(index, role);
    }
    const QFileInfo info = files->fileInfo(mapToSource(index));
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    if (index.column() == 1) {
      return info.isDir() ? QString() : chinese.formattedDataSize(info.size());
    }
    return chinese.toString(info.lastModified(), QStringLiteral("yyyy-MM-dd HH:mm"));
  }
};

}  // namespace

void list_files_in_chinese(QFileDialog& dialog) {
  dialog.setProxyModel(new ChineseFileList(&dialog));
  // The list's date column wide enough for the whole date and time it shows.
  if (auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
    const int date = list->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00")) + 24;
    if (list->header()->sectionSize(3) < date) list->header()->resizeSection(3, date);
  }
}

QString file_name_of(const QStringList& parts) {
  static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|\\s]+"));
  QStringList kept;
  for (QString p : parts) {
    p.replace(forbidden, QString());
    if (!p.isEmpty()) kept << p;
  }
  return kept.join(QLatin1Char('-'));
}

QString report_written_question(const QString& path) {
  return QStringLiteral("报告已写入：%1\n打开或打印报告？")
      .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

void offer_report(Dialogs& dialogs, QWidget* parent, const QString& title, const QString& path,
                  const std::function<void(QPrinter&)>& print, const QString& documentName) {
  // Neither is the default.
  const auto answer = dialogs.ask(parent, title, report_written_question(path), kReportAnswers, 2);
  if (answer == 0) {
    if (!dialogs.openExternally(path)) {
      dialogs.showWarning(parent, title,
                          QStringLiteral("桌面没有打开 PDF 文件的程序。报告在：%1")
                              .arg(QDir::toNativeSeparators(path)));
    }
  } else if (answer == 1) {
    if (auto printer = dialogs.choosePrinter(parent, documentName)) print(*printer);
  }
}

QString written_to(const QString& path) {
  return QStringLiteral("已写入：%1")
      .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

void QtDialogs::showWarning(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
  // The sheet's text face and size, for the Chinese text and its digits alike.
  box.setFont(sheet_font(SheetFont::Sheet));
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

std::optional<int> QtDialogs::ask(QWidget* parent, const QString& title, const QString& text,
                                  const QStringList& answers, int defaultAnswer) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
  box.setFont(sheet_font(SheetFont::Sheet));
  std::vector<QPushButton*> buttons;
  for (const QString& a : answers) buttons.push_back(box.addButton(a, QMessageBox::AcceptRole));
  if (defaultAnswer >= 0 && static_cast<std::size_t>(defaultAnswer) < buttons.size()) {
    box.setDefaultButton(buttons[static_cast<std::size_t>(defaultAnswer)]);
  }
  box.exec();
  const auto it = std::find(buttons.begin(), buttons.end(), box.clickedButton());
  if (it == buttons.end()) return std::nullopt;
  return static_cast<int>(it - buttons.begin());
}

std::optional<QString> QtDialogs::chooseSaveFile(QWidget* parent, const QString& title,
                                                 const QString& filter,
                                                 const QString& defaultSuffix, SaveMode mode,
                                                 const QString& suggested) {
  std::unique_ptr<QFileDialog> dialog;
  if (mode == SaveMode::Append) {
    dialog = std::make_unique<AppendingSaveDialog>(parent, title, filter, defaultSuffix);
  } else {
    // The toolkit's own dialog asks before an existing file is replaced.
    dialog = std::make_unique<QFileDialog>(parent, title);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(filter);
    dialog->setDefaultSuffix(defaultSuffix);
    list_files_in_chinese(*dialog);
  }
  if (!suggested.isEmpty()) dialog->selectFile(suggested);
  if (dialog->exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog->selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front();
}

std::optional<QString> QtDialogs::chooseOpenFile(QWidget* parent, const QString& title,
                                                 const QString& filter) {
  QFileDialog dialog(parent, title);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(filter);
  list_files_in_chinese(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

std::unique_ptr<QPrinter> QtDialogs::choosePrinter(QWidget* parent, const QString& name) {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setPageSize(QPageSize(QPageSize::A4));
  printer->setDocName(name);
  QPrintDialog dialog(printer.get(), parent);
  if (dialog.exec() != QDialog::Accepted) return nullptr;
  return printer;
}

bool QtDialogs::openExternally(const QString& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

std::optional<QString> QtDialogs::askText(QWidget* parent, const QString& title,
                                          const QString& label, const QString& initial) {
  QInputDialog dialog(parent);
  dialog.setFont(sheet_font(SheetFont::Sheet));
  dialog.setWindowTitle(title);
  dialog.setLabelText(label);
  dialog.setTextValue(initial);
  dialog.setOkButtonText(QStringLiteral("确定"));
  dialog.setCancelButtonText(QStringLiteral("取消"));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.textValue();
}

std::optional<ReportDetails> QtDialogs::askReportDetails(QWidget* parent,
                                                         const ReportDetails& initial) {
  ReportDetailsDialog dialog(initial, parent);
  dialog.setFont(sheet_font(SheetFont::Sheet));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.details();
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
  list_files_in_chinese(*this);
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

}  // namespace pellucor::shell
