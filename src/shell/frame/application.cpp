#include "shell/frame/application.hpp"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "shell/kit/sheet_layout.hpp"

namespace pellucor::shell {

namespace {

// The sizes the icon generator draws (resources :/shell/icons/pellucor-N.png).
constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

}  // namespace

QString install_chinese_translations(QCoreApplication& app) {
  // The program speaks Chinese on every machine: the locale is fixed, not taken from the
  // environment. qtbase carries the standard buttons and the file dialog.
  const QLocale chinese(QLocale::Chinese, QLocale::China);
  auto* translator = new QTranslator(&app);
  if (!translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return {};
  }
  QCoreApplication::installTranslator(translator);
  // Sizes and dates in the save dialog's file list in the same language.
  QLocale::setDefault(chinese);
  return translator->filePath();
}

QIcon application_icon() {
  QIcon icon;
  for (const int size : kIconSizes) {
    icon.addFile(QStringLiteral(":/shell/icons/pellucor-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

void prepare_application(QApplication& app) {
  QApplication::setApplicationName(QStringLiteral("Pellucor"));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopName));
  QApplication::setWindowIcon(application_icon());
  install_chinese_translations(app);
  // The menu bar and every menu (the window list, the analysis menu, a box's context menu) in
  // the sheets' typeface, not the toolkit's Latin default with a fallback for the Chinese.
  const QFont menus = sheet_font(SheetFont::Frame);
  QApplication::setFont(menus, "QMenuBar");
  QApplication::setFont(menus, "QMenu");
}

}  // namespace pellucor::shell
