#include "shell/kit/window_kit.hpp"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <map>

namespace pellucor::shell {

namespace {

constexpr const char* kSizesGroup = "windowSizes";

// The workspace that shows `window`, and the part of it that is visible.
QRect visible_area(const QMdiSubWindow& window) {
  const QMdiArea* area = window.mdiArea();
  if (area == nullptr) return {};
  return area->viewport()->rect();
}

// Saves the window's size at the end of a resize by the user and when it closes.
class SizeKeeper final : public QObject {
 public:
  SizeKeeper(QMdiSubWindow& window, QString key) : QObject(&window), key_(std::move(key)) {
    window.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* window = qobject_cast<QMdiSubWindow*>(watched);
    if (window != nullptr && (event->type() == QEvent::Close || event->type() == QEvent::Resize) &&
        window->isVisible() && !window->isMaximized() && !window->isMinimized() &&
        !window->isShaded()) {
      remember_size(key_, window->size());
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QString key_;
};

}  // namespace

QString settings_file() {
  // The file QSettings would keep for the program, found without opening anything: a format of
  // an extension no one makes files of has the INI format's folder (QSettings::setPath
  // included), and its settings object names its file without reading it, as it does not exist.
  static const QString extension = QStringLiteral("pellucor-where");
  static const QSettings::Format where = QSettings::registerFormat(
      extension, [](QIODevice&, QSettings::SettingsMap&) { return true; },
      [](QIODevice&, const QSettings::SettingsMap&) { return true; });
  QString file =
      QSettings(where, QSettings::UserScope, QStringLiteral("Pellucor"), QStringLiteral("pellucor"))
          .fileName();
  file.chop(extension.size());
  return file + QStringLiteral("ini");
}

QString settings_problem() {
  const QString file = settings_file();
  // The lock file QSettings takes before it writes is read when it exists: a pipe there would
  // wait for ever too.
  for (const QString& name : {file, file + QStringLiteral(".lock")}) {
    const QFileInfo info(name);
    if (!info.exists()) continue;
    if (!info.isFile()) {
      return QStringLiteral("设置文件 %1 不是普通文件（可能是管道、设备或文件夹）。")
          .arg(QDir::toNativeSeparators(name));
    }
    if (info.size() > kMaxSettingsBytes) {
      return QStringLiteral("设置文件 %1 大于 %2 MiB，不是本程序写出的。")
          .arg(QDir::toNativeSeparators(name))
          .arg(kMaxSettingsBytes >> 20);
    }
  }
  return {};
}

std::unique_ptr<QSettings> program_settings() {
  if (settings_problem().isEmpty()) {
    return std::make_unique<QSettings>(settings_file(), QSettings::IniFormat);
  }
  // Kept for this run only, in a folder of its own that goes with the program.
  static QTemporaryDir run;
  return std::make_unique<QSettings>(run.filePath(QStringLiteral("pellucor.ini")),
                                     QSettings::IniFormat);
}

void fit_into_workspace(QMdiSubWindow& window, QSize preferred) {
  const QRect area = visible_area(window);
  if (area.isEmpty()) {
    window.resize(preferred);
    return;
  }
  // What the layout needs, when the area can give it; otherwise the whole area (the window's
  // own scroll areas and layouts take what is missing).
  const QSize needed = window.minimumSizeHint().expandedTo(window.minimumSize());
  QSize size = preferred.expandedTo(needed.boundedTo(area.size()));
  size = size.boundedTo(area.size());
  window.resize(size);
  keep_inside_workspace(window);
}

void keep_inside_workspace(QMdiSubWindow& window) {
  const QRect area = visible_area(window);
  if (area.isEmpty() || window.isMaximized() || window.isMinimized()) return;
  if (window.width() > area.width() || window.height() > area.height()) {
    window.resize(window.size().boundedTo(area.size()));
  }
  QPoint at = window.pos();
  at.setX(std::clamp(at.x(), 0, std::max(0, area.width() - window.width())));
  at.setY(std::clamp(at.y(), 0, std::max(0, area.height() - window.height())));
  if (at != window.pos()) window.move(at);
}

std::vector<QRect> cascade_layout(const QRect& area, const std::vector<QSize>& sizes, int step) {
  std::vector<QRect> out;
  out.reserve(sizes.size());
  step = std::max(step, 1);
  int stair = 0;
  for (const QSize& wanted : sizes) {
    const QSize size = wanted.boundedTo(area.size());
    QPoint at = area.topLeft() + QPoint(stair * step, stair * step);
    if (stair > 0 &&
        (at.x() + size.width() > area.right() + 1 || at.y() + size.height() > area.bottom() + 1)) {
      stair = 0;
      at = area.topLeft();
    }
    out.emplace_back(at, size);
    ++stair;
  }
  return out;
}

std::vector<QRect> tile_layout(const QRect& area, const std::vector<QSize>& minimums,
                               const std::vector<QSize>& maximums) {
  const int n = static_cast<int>(minimums.size());
  std::vector<QRect> out;
  if (n == 0) return out;
  out.reserve(minimums.size());
  const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
  const int rows = (n + columns - 1) / columns;
  const QSize cell(std::max(area.width() / columns, 1), std::max(area.height() / rows, 1));
  // Rows filled left to right; a window that does not fit beside the last one starts a row
  // below the tallest of the row before.
  int x = area.left();
  int y = area.top();
  int rowBottom = area.top();
  for (int i = 0; i < n; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const QSize most = k < maximums.size() ? maximums[k] : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QSize size = cell.boundedTo(most).expandedTo(minimums[k]);
    if (x > area.left() && x + size.width() > area.right() + 1) {
      x = area.left();
      y = rowBottom;
    }
    out.emplace_back(QPoint(x, y), size);
    x += size.width();
    rowBottom = std::max(rowBottom, y + size.height());
  }
  return out;
}

bool activate_child(QWidget* content) {
  auto* sub = content != nullptr ? qobject_cast<QMdiSubWindow*>(content->parentWidget()) : nullptr;
  if (sub == nullptr || sub->mdiArea() == nullptr) return false;
  if (sub->isMinimized()) sub->showNormal();
  sub->mdiArea()->setActiveSubWindow(sub);
  return true;
}

QSize remembered_size(const QString& key, QSize fallback) {
  auto settings = program_settings();
  settings->beginGroup(QString::fromLatin1(kSizesGroup));
  const QSize size = settings->value(key).toSize();
  return size.isValid() && !size.isEmpty() ? size : fallback;
}

void remember_size(const QString& key, QSize size) {
  if (key.isEmpty() || !size.isValid() || size.isEmpty()) return;
  auto settings = program_settings();
  settings->beginGroup(QString::fromLatin1(kSizesGroup));
  settings->setValue(key, size);
}

void remember_size_of(QMdiSubWindow& window, const QString& key) {
  if (!key.isEmpty()) new SizeKeeper(window, key);
}

QString with_access_key(const QString& caption, QChar key) {
  const QString ellipsis = QStringLiteral("…");
  QString head = caption;
  QString tail;
  if (head.endsWith(ellipsis)) {
    head.chop(ellipsis.size());
    tail = ellipsis;
  }
  return head + QStringLiteral("(&") + key.toUpper() + QStringLiteral(")") + tail;
}

QChar access_key(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != QLatin1Char('&')) continue;
    if (caption[i + 1] == QLatin1Char('&')) {
      ++i;  // a literal ampersand
      continue;
    }
    return caption[i + 1].toUpper();
  }
  return {};
}

namespace {

// Whether `w` shows in `root` once the pages that hold it are shown: hidden only by a tab page
// (or a stack) that is not the current one, never by itself.
bool shows_in(const QWidget* w, const QWidget& root) {
  for (const QWidget* p = w; p != nullptr && p != &root; p = p->parentWidget()) {
    if (p->isHidden() && !(p->parentWidget() && p->parentWidget()->inherits("QStackedWidget"))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::vector<AccessKey> access_keys(const QWidget& root) {
  std::vector<AccessKey> keys;
  for (QWidget* w : root.findChildren<QWidget*>()) {
    if (!shows_in(w, root)) continue;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      if (const QChar k = access_key(b->text()); !k.isNull()) keys.push_back({k, b, b->text()});
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
      if (l->buddy() == nullptr) continue;
      if (const QChar k = access_key(l->text()); !k.isNull()) keys.push_back({k, l, l->text()});
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
      if (const QChar k = access_key(g->title()); !k.isNull()) keys.push_back({k, g, g->title()});
    } else if (auto* t = qobject_cast<QTabBar*>(w)) {
      for (int i = 0; i < t->count(); ++i) {
        if (const QChar k = access_key(t->tabText(i)); !k.isNull()) {
          keys.push_back({k, t, t->tabText(i), i});
        }
      }
    }
  }
  return keys;
}

std::vector<std::pair<QChar, QString>> menu_bar_keys(const QMenuBar& bar) {
  std::vector<std::pair<QChar, QString>> keys;
  for (const QAction* a : bar.actions()) {
    if (!a->isVisible() || a->isSeparator()) continue;
    if (const QChar k = access_key(a->text()); !k.isNull()) keys.emplace_back(k, a->text());
  }
  return keys;
}

QStringList access_key_problems(const QWidget& root, const QMenuBar* menuBar) {
  QStringList problems;
  for (const QPushButton* b : root.findChildren<QPushButton*>()) {
    if (b->isVisibleTo(&root) && access_key(b->text()).isNull()) {
      problems << QStringLiteral("“%1”没有快捷键").arg(b->text());
    }
  }
  std::map<QChar, QString> used;
  if (menuBar != nullptr) {
    for (const auto& [key, caption] : menu_bar_keys(*menuBar)) {
      used.emplace(key, QStringLiteral("菜单“%1”").arg(caption));
    }
  }
  for (const AccessKey& k : access_keys(root)) {
    const auto [at, fresh] = used.emplace(k.key, QStringLiteral("“%1”").arg(k.caption));
    if (!fresh) problems << QStringLiteral("“%1”与%2的快捷键相同").arg(k.caption, at->second);
  }
  return problems;
}

QFont report_font(qreal points, bool bold) {
  // One TrueType face with the Chinese glyphs and the Latin letters and digits alike: the PDF
  // writer embeds it as a searchable subset. The others stand in on a machine without it.
  QFont f;
  f.setFamilies({QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Sans CJK SC"),
                 QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("AR PL UKai CN")});
  f.setPointSizeF(points);
  f.setBold(bold);
  return f;
}

}  // namespace pellucor::shell
