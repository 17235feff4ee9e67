// What every desktop test needs: a main window with answering dialogs (or the real ones), the
// sheets opened through the menu, the result file decoded, modal windows answered as they come
// up, and a main() that starts the application the way the program does.
#pragma once

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/text_encoding.hpp"
#include "sheet_driver.hpp"
#include "shell/analysis_menu/analysis_actions.hpp"
#include "shell/frame/application.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/window_kit.hpp"
#include "worked_examples.hpp"

namespace pellucor::shell::testing {

// The worked example of the admixed-chloride sheet: K_e 1, T 20, RH 0.8, f_cu 30, cover 30,
// t 30, t_c* 20, C_0 6, d 20, deformed bars.
inline const WorkedExample& admixedExample() {
  return worked_examples().at(4);
}
inline const std::vector<std::pair<int, QString>>& kAdmixedExample = admixedExample().boxes;

// A main window over recording dialogs, or over the real ones.
class Session {
 public:
  // Every session starts without remembered sizes, report details or recent projects, unless
  // it stands for the program started again over what the last run left.
  enum class Settings { Fresh, Kept };
  explicit Session(bool realDialogs = false, Settings settings = Settings::Fresh) {
    if (settings == Settings::Fresh) program_settings()->clear();
    if (realDialogs) {
      window = std::make_unique<MainWindow>(real);
    } else {
      window = std::make_unique<MainWindow>(dialogs);
    }
    actions = install_analysis_menu(*window);
    window->show();
    active = QTest::qWaitForWindowActive(window.get());
  }
  ~Session() {
    window.reset();
    QApplication::processEvents();
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Opens sheet n through its menu entry, as the user does.
  QtSheetView* open(int n) {
    window->menuAction(n)->trigger();
    QApplication::processEvents();
    return window->sheetView(n);
  }

  // The captions of the window list's entries, as the menu shows them when it drops down.
  QStringList windowList() {
    emit window->windowMenu()->aboutToShow();
    QStringList texts;
    for (QAction* a : window->windowListActions()) texts << a->property("caption").toString();
    return texts;
  }

  ScriptedDialogs dialogs;
  QtDialogs real;
  std::unique_ptr<MainWindow> window;
  AnalysisActions* actions = nullptr;  // the window's analysis menu
  bool active = false;
};

// A test class whose every test function starts with a fresh session over recording dialogs,
// closed again after it.
class SessionTest : public QObject {
  Q_OBJECT

 protected:
  // Replaces the session by a new one, over the real dialogs when asked; true when its main
  // window became active.
  bool restartSession(bool realDialogs) {
    s_.reset();
    s_ = std::make_unique<Session>(realDialogs);
    return s_->active;
  }

  std::unique_ptr<Session> s_;

 private slots:
  void init() { QVERIFY(restartSession(false)); }
  void cleanup() { s_.reset(); }
};

// Fills the admixed sheet with its worked example and chooses deformed bars.
inline bool fillAdmixedExample(QtSheetView* view) {
  fill(view, kAdmixedExample);
  return chooseSteelKind(view, admixedExample().steelKind);
}

// Selects the focused box's text and types `text` over it.
inline void typeHere(const QString& text) {
  QWidget* w = QApplication::focusWidget();
  QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(w, text);
}

// The result file is GBK text.
inline QString fromGbk(const QByteArray& bytes) {
  platform::GbkConversion conversion(platform::GbkConversion::Direction::FromGbk);
  const std::string_view in(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  std::string out;
  if (conversion.convert(in, out) != in.size()) return {};
  return QString::fromStdString(out);
}

// Answers modal windows as they come up, one step each, in order. A step waits until the active
// modal window is of its kind (T), then acts on it. Actions run from a fresh event-loop turn, so
// that an action which opens another modal window (Enter in the save dialog raising a question)
// does not stop the watching. Whatever is still open after the time limit is closed, and the
// script reports that it did not finish.
class ModalScript {
 public:
  template <class T>
  void then(std::function<void(T*)> act) {
    steps_.push_back({[](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
                      [act](QWidget* w) { act(qobject_cast<T*>(w)); }});
  }

  // Runs `trigger` (which opens the first modal window and returns when the last one is gone)
  // while the steps answer. True when every step ran.
  bool run(const std::function<void()>& trigger, int limitMs = 20000) {
    QTimer poll;
    poll.setInterval(10);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (clock.elapsed() > limitMs) {
        timedOut_ = true;
        if (modal) modal->close();
        return;
      }
      if (!modal || busy_ || steps_.empty() || !steps_.front().matches(modal)) return;
      Step step = std::move(steps_.front());
      steps_.pop_front();
      busy_ = true;
      QPointer<QWidget> target(modal);
      QTimer::singleShot(0, [this, step, target] {
        busy_ = false;
        if (target) step.act(target);
      });
    });
    poll.start();
    trigger();
    poll.stop();
    return steps_.empty() && !timedOut_;
  }

 private:
  struct Step {
    std::function<bool(QWidget*)> matches;
    std::function<void(QWidget*)> act;
  };
  std::deque<Step> steps_;
  bool busy_ = false;
  bool timedOut_ = false;
};

}  // namespace pellucor::shell::testing

// Starts the application as the desktop program does (name, icon, Chinese toolkit texts) and
// runs one test class. The program's settings go to a folder of the run's own, never the user's.
#define PELLUCOR_SHELL_TEST_MAIN(TestClass)                                                \
  int main(int argc, char** argv) {                                                        \
    QApplication app(argc, argv);                                                          \
    app.setAttribute(Qt::AA_Use96Dpi, true);                                               \
    pellucor::shell::prepare_application(app);                                             \
    QTemporaryDir settingsFolder;                                                          \
    if (!settingsFolder.isValid()) return 1;                                               \
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder.path()); \
    TestClass tc;                                                                          \
    QTEST_SET_MAIN_SOURCE_PATH                                                             \
    return QTest::qExec(&tc, argc, argv);                                                  \
  }
