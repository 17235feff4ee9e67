// What every window of the desktop program shares beyond the sheets: a child window placed and
// sized inside the workspace, sizes remembered between runs, access keys on buttons, and one
// type family for the charts and the printed report.
//
//   QMdiSubWindow* sub = main.addChildWindow(content, title);    // fitted and remembered
//   button->setText(with_access_key(QStringLiteral("导出CSV…"), 'E'));   // "导出CSV(&E)…"
//   chart->setTitleFont(report_font(11));
#pragma once

#include <QFont>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QMdiSubWindow;
class QMenuBar;
class QSettings;
class QWidget;

namespace pellucor::shell {

// The settings the program keeps between runs (window sizes, the report's details): an INI file
// in the user's configuration folder. Tests point the folder elsewhere with QSettings::setPath.
// A file there that is no regular file (a pipe would make the start wait for ever, a device
// read without end) or is larger than kMaxSettingsBytes is neither read nor written: the
// settings of the run are then kept in a private file that goes with it, and
// settings_problem() says why.
std::unique_ptr<QSettings> program_settings();
inline constexpr qint64 kMaxSettingsBytes = 1 << 20;
// The INI file the settings are kept in.
QString settings_file();
// Why the settings file cannot be used (Chinese, naming the file); empty when it can.
QString settings_problem();

// Sizes `window` to `preferred` (the size of its frame) as far as the workspace's visible area
// allows, never below what its layout needs when the area has room for that, and moves it so
// that it lies wholly inside the area (its top left never at a negative position).
void fit_into_workspace(QMdiSubWindow& window, QSize preferred);
// Moves `window` back inside the workspace, shrinking it when it is larger than the area.
void keep_inside_workspace(QMdiSubWindow& window);

// Where the window menu's 层叠 puts windows of the given sizes (in the order given, the last
// on top): each keeps its size (bounded by the area) and lies `step` right of and below the
// one before, wholly inside the area; a window that would reach out of it starts the stair
// again at the top left.
std::vector<QRect> cascade_layout(const QRect& area, const std::vector<QSize>& sizes, int step);
// Where 平铺 puts windows that take at least `minimums` and at most `maximums` (a sheet's
// fixed size is both): the area's grid of about as many columns as rows, each window its cell
// as far as its limits allow, laid left to right in rows that never overlap. Windows too large
// for the area together go on below it (the workspace scrolls to them) rather than on top of
// one another.
std::vector<QRect> tile_layout(const QRect& area, const std::vector<QSize>& minimums,
                               const std::vector<QSize>& maximums);

// Brings the child window holding `content` to the front (shown again when it was
// minimised); false when `content` is in no child window.
bool activate_child(QWidget* content);

// The size remembered for the windows of one kind (`key`, e.g. the content's object name), or
// `fallback` when none is.
QSize remembered_size(const QString& key, QSize fallback);
void remember_size(const QString& key, QSize size);
// Remembers the size of `window` under `key` whenever the user leaves it at a new size (not
// maximised or minimised) and when it closes.
void remember_size_of(QMdiSubWindow& window, const QString& key);

// A caption with its access key in the Chinese manner: "导出CSV" and 'E' give "导出CSV(&E)"; an
// ellipsis at the end stays at the end ("导出CSV(&E)…").
QString with_access_key(const QString& caption, QChar key);
// The access key of a caption ("导出(&E)…" gives 'E'), or a null character.
QChar access_key(const QString& caption);

// An access key a window offers: the key, the widget it acts on (a button, check box or radio
// button is pressed; a label's key focuses its buddy; a tab's key shows its page) and the
// caption that carries it.
struct AccessKey {
  QChar key;
  QWidget* holder = nullptr;
  QString caption;
  int tab = -1;  // a tab's key: its index in the tab bar `holder`
};
// The access keys of the widgets of `root` that are visible in it (or would be when its page
// is shown: every tab page counts), in the order of the widgets.
std::vector<AccessKey> access_keys(const QWidget& root);
// The access keys of the entries of a menu bar, with their captions.
std::vector<std::pair<QChar, QString>> menu_bar_keys(const QMenuBar& bar);
// What is wrong with the access keys of `root`: a push button without one, a key used twice in
// the window, a key that an entry of `menuBar` (its main window's) already uses, whose key the
// menu bar would take instead of the window's own control. Empty when every key is its own.
QStringList access_key_problems(const QWidget& root, const QMenuBar* menuBar = nullptr);

// The one type family of the charts and the printed report, in `points`.
QFont report_font(qreal points, bool bold = false);

}  // namespace pellucor::shell
