#include "shell/frame/main_window.hpp"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <algorithm>
#include <stdexcept>

#include "modules/registry.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/sheet_layout.hpp"
#include "shell/kit/text.hpp"
#include "shell/kit/unsaved_work.hpp"
#include "shell/kit/window_kit.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"

namespace pellucor::shell {

namespace {

// The client area: the background picture drawn unscaled at the top left on the workspace colour.
class BackgroundArea final : public QMdiArea {
 public:
  explicit BackgroundArea(QWidget* parent) : QMdiArea(parent) {
    picture_ = QPixmap::fromImage(QImage(QStringLiteral(":/shell/background.bmp")));
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), background());
    if (picture_.isNull()) return;
    // One picture pixel to one device pixel, whatever the screen's scaling.
    picture_.setDevicePixelRatio(viewport()->devicePixelRatioF());
    painter.drawPixmap(QPoint(0, 0), picture_);
  }

 private:
  QPixmap picture_;
};

// The window menu's 关闭 (Ctrl+F4) closes the active child from anywhere; the child's own menu
// keeps its entry without the key, which would otherwise make the key ambiguous and do nothing.
void leave_ctrl_f4_to_the_window_menu(QMdiSubWindow& window) {
  if (QMenu* menu = window.systemMenu()) {
    for (QAction* a : menu->actions()) {
      if (a->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_F4)) a->setShortcut(QKeySequence());
    }
  }
}

}  // namespace

MainWindow::MainWindow(Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), slots_(pellucor::modules::all_modules().size()) {
  setObjectName(QStringLiteral("MDI_calculate"));
  setWindowTitle(QStringLiteral("Pellucor"));

  mdi_ = new BackgroundArea(this);
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);

  createActions();
  createMenus();
  // Child windows stay inside the client area when it shrinks.
  mdi_->viewport()->installEventFilter(this);

  // The design size at the least; on a larger screen, a larger window in its middle.
  const QSize design = designSize();
  QSize size = design;
  if (const QScreen* screen = this->screen()) {
    const QRect free = screen->availableGeometry();
    size = QSize(std::max(design.width(), std::min(1280, free.width() * 4 / 5)),
                 std::max(design.height(), std::min(960, free.height() * 17 / 20)));
    resize(size);
    const QPoint corner = free.center() - QPoint(size.width() / 2, size.height() / 2);
    move(std::max(free.left(), corner.x()), std::max(free.top(), corner.y()));
  } else {
    resize(size);
  }
}

QSize MainWindow::designSize() const {
  const QSize client =
      to_pixels(kClientWidthTwips, kClientHeightTwips, logicalDpiX(), logicalDpiY());
  return {client.width(), client.height() + menuBar()->sizeHint().height()};
}

void MainWindow::rememberGeometry() {
  rememberGeometry_ = true;
  const QByteArray saved =
      program_settings()->value(QStringLiteral("mainWindow/geometry")).toByteArray();
  // The toolkit puts a window that no longer fits any screen back onto one.
  if (!saved.isEmpty()) restoreGeometry(saved);
}

MainWindow::~MainWindow() {
  // The sheets' windows go before their controllers.
  mdi_->closeAllSubWindows();
}

void MainWindow::createActions() {
  const auto& modules = pellucor::modules::all_modules();
  actions_.assign(modules.size() + 2, nullptr);
  for (int i = 0; i < sheetCount(); ++i) {
    const int number = i + 1;
    auto* action = new QAction(qs(modules[static_cast<std::size_t>(i)]->table().menuCaption), this);
    action->setObjectName(QStringLiteral("menu_%1").arg(number));
    connect(action, &QAction::triggered, this, [this, number] { showSheet(number); });
    actions_[static_cast<std::size_t>(i)] = action;
  }
  cascade_ = new QAction(QStringLiteral("层叠(&C)"), this);
  cascade_->setObjectName(QStringLiteral("cascadeWindows"));
  connect(cascade_, &QAction::triggered, this, [this] { arrangeWindows(false); });
  tile_ = new QAction(QStringLiteral("平铺(&T)"), this);
  tile_->setObjectName(QStringLiteral("tileWindows"));
  connect(tile_, &QAction::triggered, this, [this] { arrangeWindows(true); });
  close_ = new QAction(QStringLiteral("关闭(&O)"), this);
  close_->setObjectName(QStringLiteral("closeWindow"));
  close_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
  close_->setShortcutContext(Qt::WindowShortcut);
  connect(close_, &QAction::triggered, mdi_, &QMdiArea::closeActiveSubWindow);
  // Ctrl+F4 acts whether or not the menu has ever dropped down.
  addAction(close_);
  closeAll_ = new QAction(QStringLiteral("全部关闭(&L)"), this);
  closeAll_->setObjectName(QStringLiteral("closeAllWindows"));
  connect(closeAll_, &QAction::triggered, mdi_, &QMdiArea::closeAllSubWindows);

  auto* exit = new QAction(QStringLiteral("退出(&X)"), this);
  exit->setObjectName(QStringLiteral("menu_%1").arg(sheetCount() + 2));
  connect(exit, &QAction::triggered, this, &QWidget::close);
  actions_.back() = exit;
}

void MainWindow::arrangeWindows(bool tile) {
  // In the order they were opened, the active one last (on top of a cascade); minimised ones
  // stay where they are.
  QList<QMdiSubWindow*> windows;
  QMdiSubWindow* active = mdi_->activeSubWindow();
  for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::CreationOrder)) {
    if (w->isHidden() || w->isMinimized() || w == active) continue;
    windows << w;
  }
  if (active != nullptr && !active->isHidden() && !active->isMinimized()) windows << active;
  std::vector<QSize> sizes;
  std::vector<QSize> minimums;
  std::vector<QSize> maximums;
  for (QMdiSubWindow* w : windows) {
    if (w->isMaximized()) w->showNormal();
    sizes.push_back(w->size());
    minimums.push_back(w->minimumSizeHint().expandedTo(w->minimumSize()));
    // A window whose content has a fixed size (a sheet) grows no further than its content.
    QSize most = w->maximumSize();
    if (const QWidget* content = w->widget()) {
      const QSize frame = w->size() - content->size();
      const QSize limit = content->maximumSize();
      if (limit.width() < QWIDGETSIZE_MAX) most.setWidth(limit.width() + frame.width());
      if (limit.height() < QWIDGETSIZE_MAX) most.setHeight(limit.height() + frame.height());
    }
    maximums.push_back(most);
  }
  const QRect area = mdi_->viewport()->rect();
  // A cascade's stair is one title bar high, so that every caption shows.
  const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this) + 4;
  const std::vector<QRect> places =
      tile ? tile_layout(area, minimums, maximums) : cascade_layout(area, sizes, step);
  for (qsizetype i = 0; i < windows.size(); ++i) {
    windows[i]->setGeometry(places[static_cast<std::size_t>(i)]);
    windows[i]->raise();
  }
  if (active != nullptr) mdi_->setActiveSubWindow(active);
}

namespace {

// The menu bar's entries set closer together than the toolkit's style sets them (each keeps a
// margin of 4 pixels either side of its text, with no further gap between entries): at the
// design size of the main window every entry, the specified 退出 last, stays on the bar with the
// project and analysis menus added, instead of going behind the bar's » for entries that do not
// fit.
class CompactMenuBarStyle final : public QProxyStyle {
 public:
  explicit CompactMenuBarStyle(QStyle* base) : QProxyStyle(base) {}

  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override {
    QSize s = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == CT_MenuBarItem && !s.isEmpty()) {
      s.setWidth(std::min(s.width(), size.width() + 8));
    }
    return s;
  }
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    if (metric == PM_MenuBarItemSpacing) return 0;
    if (metric == PM_MenuBarHMargin) return 2;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

// A maximised window keeps its own title bar inside the workspace, rather than putting its
// icon and buttons on the menu bar, where they would push the specified entries (退出 last)
// behind the bar's ».
class OwnTitleBarStyle final : public QProxyStyle {
 public:
  explicit OwnTitleBarStyle(QStyle* base) : QProxyStyle(base) {}

  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returned) const override {
    if (hint == SH_Workspace_FillSpaceOnMaximize) return 1;
    return QProxyStyle::styleHint(hint, option, widget, returned);
  }
};

}  // namespace

void MainWindow::createMenus() {
  // Every entry sits on the menu bar itself and acts at once; only the window list drops down.
  QMenuBar* bar = menuBar();
  auto* compact = new CompactMenuBarStyle(QStyleFactory::create(style()->name()));
  compact->setParent(bar);
  bar->setStyle(compact);
  for (int i = 0; i < sheetCount(); ++i) bar->addAction(actions_[static_cast<std::size_t>(i)]);
  analysisMenu_ = new QMenu(QStringLiteral("分析(&N)"), this);
  analysisMenu_->setObjectName(QStringLiteral("analysisMenu"));
  bar->addMenu(analysisMenu_)->setObjectName(QStringLiteral("menu_analysis"));
  windowMenu_ = new QMenu(QStringLiteral("窗口(&W)"), this);
  windowMenu_->setObjectName(QStringLiteral("windowList"));
  QAction* windowEntry = bar->addMenu(windowMenu_);
  windowEntry->setObjectName(QStringLiteral("menu_%1").arg(sheetCount() + 1));
  actions_[static_cast<std::size_t>(sheetCount())] = windowEntry;
  // Filled each time it drops down (as the MDI example does), never while one of its own
  // entries is being triggered.
  connect(windowMenu_, &QMenu::aboutToShow, this, &MainWindow::updateWindowMenu);
  connect(mdi_, &QMdiArea::subWindowActivated, this, &MainWindow::updateMenus);
  bar->addAction(actions_.back());
  updateWindowMenu();
}

void MainWindow::updateWindowMenu() {
  // The commands stay (the window owns them); the numbered entries are made afresh.
  windowMenu_->clear();
  const QList<QMdiSubWindow*> open = mdi_->subWindowList(QMdiArea::CreationOrder);
  for (QAction* command : {cascade_, tile_, close_, closeAll_}) {
    command->setEnabled(!open.isEmpty());
    windowMenu_->addAction(command);
  }
  listSeparator_ = windowMenu_->addSeparator();
  listSeparator_->setVisible(!open.isEmpty());
  const QMdiSubWindow* active = mdi_->activeSubWindow();
  auto* group = new QActionGroup(windowMenu_);
  int number = 0;
  for (QMdiSubWindow* w : open) {
    ++number;
    // The first nine are chosen by their digit; the caption itself is left as it is.
    QString text = w->windowTitle();
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    text = (number < 10 ? QStringLiteral("&%1 ") : QStringLiteral("%1 ")).arg(number) + text;
    QAction* a = windowMenu_->addAction(text);
    a->setProperty("caption", w->windowTitle());
    a->setData(QVariant::fromValue<QObject*>(w));
    a->setCheckable(true);
    a->setChecked(w == active);
    group->addAction(a);
    const QPointer<QMdiSubWindow> target(w);
    connect(a, &QAction::triggered, this, [this, target] {
      if (!target) return;
      if (target->isMinimized()) target->showNormal();
      mdi_->setActiveSubWindow(target);
    });
  }
}

void MainWindow::updateMenus() {
  // The window list marks the active sheet.
  const QObject* active = mdi_->activeSubWindow();
  for (QAction* a : windowListActions()) a->setChecked(a->data().value<QObject*>() == active);
}

QList<QAction*> MainWindow::windowListActions() const {
  QList<QAction*> entries;
  for (QAction* a : windowMenu_->actions()) {
    if (a->data().value<QObject*>() != nullptr) entries << a;
  }
  return entries;
}

QAction* MainWindow::menuAction(int entry) const {
  return entry >= 1 && entry <= static_cast<int>(actions_.size())
             ? actions_[static_cast<std::size_t>(entry - 1)]
             : nullptr;
}

QtSheetView* MainWindow::showSheet(int number) {
  if (number < 1 || number > sheetCount()) return nullptr;
  Slot& s = slots_[static_cast<std::size_t>(number - 1)];
  if (!s.controller) {
    s.controller = std::make_unique<sheet::SheetController>(
        *pellucor::modules::all_modules()[static_cast<std::size_t>(number - 1)]);
  }
  if (s.window && s.view && s.view->isAttached()) {
    // Already open: only brought to the front, its contents as they are.
    if (s.window->isMinimized()) s.window->showNormal();
    mdi_->setActiveSubWindow(s.window);
    return s.view;
  }
  // (Re)built from the design: the controller puts the defaults in and focuses Text1.
  auto* view = new QtSheetView(*s.controller, dialogs_);
  connect(view, &QtSheetView::calculationFinished, this,
          [this, number](bool completed) { emit calculationFinished(number, completed); });
  auto* window = new QMdiSubWindow;
  window->setWidget(view);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(view->windowTitle());
  window->setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint);
  mdi_->addSubWindow(window);
  leave_ctrl_f4_to_the_window_menu(*window);
  s.window = window;
  s.view = view;
  s.controller->open(*view);
  window->show();
  mdi_->setActiveSubWindow(window);
  return view;
}

QtSheetView* MainWindow::sheetView(int number) const {
  if (number < 1 || number > sheetCount()) return nullptr;
  const Slot& s = slots_[static_cast<std::size_t>(number - 1)];
  return s.view && s.view->isAttached() ? s.view.data() : nullptr;
}

sheet::SheetController* MainWindow::controller(int number) const {
  if (number < 1 || number > sheetCount()) return nullptr;
  return slots_[static_cast<std::size_t>(number - 1)].controller.get();
}

int MainWindow::activeSheet() const {
  const QMdiSubWindow* active = mdi_->activeSubWindow();
  if (active == nullptr) return 0;
  for (int i = 0; i < sheetCount(); ++i) {
    const Slot& s = slots_[static_cast<std::size_t>(i)];
    if (s.window == active && s.view && s.view->isAttached()) return i + 1;
  }
  return 0;
}

QMdiSubWindow* MainWindow::addChildWindow(QWidget* content, const QString& title) {
  // The size the content asked for (it resized itself), or what its layout suggests.
  const QSize own = content->testAttribute(Qt::WA_Resized) ? content->size() : content->sizeHint();
  auto* window = new QMdiSubWindow;
  if (ownTitleBar_ == nullptr) {
    ownTitleBar_ = new OwnTitleBarStyle(QStyleFactory::create(style()->name()));
    ownTitleBar_->setParent(this);
  }
  window->setStyle(ownTitleBar_);
  window->setWidget(content);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(title);
  mdi_->addSubWindow(window);
  leave_ctrl_f4_to_the_window_menu(*window);
  window->show();
  const QString kind = content->objectName();
  const QSize frame = (window->size() - content->size()).expandedTo(QSize(0, 0));
  fit_into_workspace(*window, kind.isEmpty() ? own + frame : remembered_size(kind, own + frame));
  remember_size_of(*window, kind);
  connect(window, &QMdiSubWindow::windowStateChanged, this,
          [window](Qt::WindowStates, Qt::WindowStates now) {
            if (!(now & (Qt::WindowMaximized | Qt::WindowMinimized)))
              keep_inside_workspace(*window);
          });
  mdi_->setActiveSubWindow(window);
  return window;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mdi_->viewport() && event->type() == QEvent::Resize) {
    for (QMdiSubWindow* w : mdi_->subWindowList()) keep_inside_workspace(*w);
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::addUnsavedSource(UnsavedSource source) {
  unsavedSources_.push_back(std::move(source));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // No sheet asks anything on the way out; what the other windows and the project would lose
  // is asked for once, all of it in one question.
  QStringList lines;
  std::vector<const UnsavedSource*> savable;
  for (const UnsavedSource& s : unsavedSources_) {
    const QStringList l = s.lines ? s.lines() : QStringList();
    if (l.isEmpty()) continue;
    lines << l;
    if (s.save) savable.push_back(&s);
  }
  std::vector<UnsavedWork*> windows;
  for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::CreationOrder)) {
    auto* work = dynamic_cast<UnsavedWork*>(w->widget());
    if (work == nullptr) continue;
    windows.push_back(work);
    for (const QString& line : work->unsavedWork()) {
      lines << QStringLiteral("%1：%2").arg(w->windowTitle(), line);
    }
  }
  if (!lines.isEmpty()) {
    QStringList answers;
    for (const UnsavedSource* s : savable) answers << s->saveAnswer;
    answers << (savable.empty() ? QStringLiteral("退出") : QStringLiteral("不保存，退出"))
            << QStringLiteral("取消");
    const auto answer = dialogs_.ask(this, QStringLiteral("退出"),
                                     QStringLiteral("以下内容尚未保存，退出后将不再保留：\n\n· ") +
                                         lines.join(QStringLiteral("\n· ")),
                                     answers, savable.empty() ? 1 : 0);
    const int saveAnswers = static_cast<int>(savable.size());
    if (!answer || *answer > saveAnswers) {
      event->ignore();
      return;
    }
    if (*answer < saveAnswers && !savable[static_cast<std::size_t>(*answer)]->save()) {
      event->ignore();
      return;
    }
  }
  for (UnsavedWork* work : windows) work->closeWithoutAsking();
  mdi_->closeAllSubWindows();
  for (const QMdiSubWindow* w : mdi_->subWindowList()) {
    if (w->isVisible()) {
      event->ignore();
      return;
    }
  }
  if (rememberGeometry_) {
    program_settings()->setValue(QStringLiteral("mainWindow/geometry"), saveGeometry());
  }
  event->accept();
}

}  // namespace pellucor::shell
