#include "shell/main_window.hpp"

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
#include <stdexcept>

#include "modules/registry.hpp"
#include "shell/qt_sheet_view.hpp"
#include "shell/sheet_layout.hpp"

namespace pellucor::shell {

namespace {

QString qs(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

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

  const QSize client =
      to_pixels(kClientWidthTwips, kClientHeightTwips, logicalDpiX(), logicalDpiY());
  resize(client.width(), client.height() + menuBar()->sizeHint().height());
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
  auto* exit = new QAction(QStringLiteral("退出(&X)"), this);
  exit->setObjectName(QStringLiteral("menu_%1").arg(sheetCount() + 2));
  connect(exit, &QAction::triggered, this, &QWidget::close);
  actions_.back() = exit;
}

void MainWindow::createMenus() {
  // Every entry sits on the menu bar itself and acts at once; only the window list drops down.
  QMenuBar* bar = menuBar();
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
  windowMenu_->clear();
  const QMdiSubWindow* active = mdi_->activeSubWindow();
  auto* group = new QActionGroup(windowMenu_);
  for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::CreationOrder)) {
    QAction* a = windowMenu_->addAction(w->windowTitle());
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
  for (QAction* a : windowMenu_->actions()) a->setChecked(a->data().value<QObject*>() == active);
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
  auto* window = new QMdiSubWindow;
  window->setWidget(content);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(title);
  mdi_->addSubWindow(window);
  window->show();
  mdi_->setActiveSubWindow(window);
  return window;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // No sheet asks anything on the way out.
  mdi_->closeAllSubWindows();
  event->accept();
}

}  // namespace pellucor::shell
