// The main window: a multiple-document area with the background picture, the module menu, the
// window menu (cascade, tile, close, close all and the numbered list of the open windows) and
// Exit. It keeps one SheetController per sheet kind for the whole run. The analysis menu stands
// empty between the sheets' entries and the window menu; the windows that analyse the sheets
// fill it (install_analysis_menu), the main window knows none of them.
//
// Closing it (退出, the frame's close button) asks once for everything that would be lost: the
// unsaved work of every child window (see UnsavedWork) and of the sources added with
// addUnsavedSource() (the project); the sheets ask nothing.
//
// It opens at the design size of its client area, larger when the screen has room; with
// rememberGeometry() it comes back where and as large as it was left, and it keeps every child
// window inside its client area.
#pragma once

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "sheet/controller.hpp"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

class QStyle;

namespace pellucor::shell {

class Dialogs;
class QtSheetView;

// Design size of the main window's client area, twips (748 x 621 pixels at 96 dpi).
inline constexpr int kClientWidthTwips = 11220;
inline constexpr int kClientHeightTwips = 9315;

class MainWindow final : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(Dialogs& dialogs, QWidget* parent = nullptr);
  ~MainWindow() override;

  QMdiArea* mdiArea() const { return mdi_; }
  // The number of sheets: one per module of the registry (five).
  int sheetCount() const { return static_cast<int>(slots_.size()); }
  // Entries 1..sheetCount() show the sheets, the next is the window list's menu action, the
  // last is Exit (6 and 7 with five sheets).
  QAction* menuAction(int entry) const;
  QMenu* windowMenu() const { return windowMenu_; }
  // The numbered entries of the window menu, one per open window in the order they were
  // opened ("&1 " + the window's caption; the caption alone in the entry's "caption" property).
  // Filled each time the menu drops down.
  QList<QAction*> windowListActions() const;
  // The window menu's commands: 层叠, 平铺, 关闭 (Ctrl+F4), 全部关闭.
  QAction* cascadeAction() const { return cascade_; }
  QAction* tileAction() const { return tile_; }
  QAction* closeAction() const { return close_; }
  QAction* closeAllAction() const { return closeAll_; }
  // The size of the main window whose client area has the design size (748 x 621 pixels at
  // 96 dpi) under the menu bar.
  QSize designSize() const;
  // Restores the position and size the window had when it was last closed (when it still fits
  // a screen) and remembers them again when it closes.
  void rememberGeometry();
  // The analysis menu 分析(&N), between the sheets' entries and the window list.
  QMenu* analysisMenu() const { return analysisMenu_; }
  // The dialogs of every window of the program.
  Dialogs& dialogs() const { return dialogs_; }

  // Shows sheet 1..sheetCount() as the menu entries do: creates its controller on first use, builds
  // its window if it is not open, and activates it. Returns its view.
  QtSheetView* showSheet(int number);
  // The open window of sheet 1..5, or nullptr.
  QtSheetView* sheetView(int number) const;
  // The controller of sheet 1..5, or nullptr before its first opening.
  sheet::SheetController* controller(int number) const;
  // The number of the sheet whose window is active, or 0 when no sheet window is active.
  int activeSheet() const;
  // Shows `content` as a child window of the workspace (listed in the window list like a
  // sheet) under `title`, and activates it. It opens at the size its kind was last left at
  // (remembered by the content's object name), else at the content's own size, and wholly
  // inside the client area. The window is deleted when closed; `content` may refuse to close
  // (its closeEvent), which keeps it and the main window open.
  QMdiSubWindow* addChildWindow(QWidget* content, const QString& title);

  // Work kept outside the child windows (the project) that the end of the program would lose:
  // `lines` names it (empty: nothing), `saveAnswer` is the answer that keeps it before the
  // program ends ("保存工程并退出") and `save` keeps it (false: not kept, the program stays).
  struct UnsavedSource {
    std::function<QStringList()> lines;
    QString saveAnswer;
    std::function<bool()> save;
  };
  void addUnsavedSource(UnsavedSource source);

 signals:
  // A Calculate on sheet 1..5 has ended; `completed` when it ran to its end (the sheet's
  // controller then holds the new results), false when a check or the model stopped it.
  void calculationFinished(int sheet, bool completed);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Slot {
    std::unique_ptr<sheet::SheetController> controller;
    QPointer<QMdiSubWindow> window;
    QPointer<QtSheetView> view;
  };

  void createActions();
  void createMenus();
  // The window menu's 层叠 (false) or 平铺 (true) of the open windows.
  void arrangeWindows(bool tile);
  void updateWindowMenu();
  void updateMenus();

  Dialogs& dialogs_;
  QMdiArea* mdi_ = nullptr;
  std::vector<QAction*> actions_;
  QMenu* windowMenu_ = nullptr;
  QMenu* analysisMenu_ = nullptr;
  QAction* cascade_ = nullptr;
  QAction* tile_ = nullptr;
  QAction* close_ = nullptr;
  QAction* closeAll_ = nullptr;
  QAction* listSeparator_ = nullptr;
  bool rememberGeometry_ = false;
  std::vector<Slot> slots_;
  std::vector<UnsavedSource> unsavedSources_;
  QStyle* ownTitleBar_ = nullptr;  // the style of maximised child windows
};

}  // namespace pellucor::shell
