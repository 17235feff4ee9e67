// What the desktop program sets up once at start-up, before its first window: its name and icon,
// the name of its desktop entry, and the toolkit's own texts in Chinese.
#pragma once

#include <QIcon>
#include <QString>

class QApplication;
class QCoreApplication;

namespace pellucor::shell {

// Name of the desktop entry (pellucor.desktop) and of the icon in the icon theme.
inline constexpr const char* kDesktopName = "pellucor";

// Loads the toolkit's Chinese translations (standard buttons, the save dialog, its questions)
// whatever the machine's locale says. Returns the file loaded, empty when none was found.
QString install_chinese_translations(QCoreApplication& app);

// The program's own icon in every size it ships with.
QIcon application_icon();

// Name, desktop entry, window icon and translations of the desktop program.
void prepare_application(QApplication& app);

}  // namespace pellucor::shell
