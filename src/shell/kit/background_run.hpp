// Work on a thread of its own whose end reaches a window as a queued call on the window's
// thread: the one way the desktop's windows hand over what a worker computed. While it runs, a
// tick on the window's thread lets the window show the progress the work counts.
//
//   run_ = std::make_unique<BackgroundRun>(
//       this, [job] { job->compute(); },           // on the worker thread
//       [this](const QString& error) { ... },      // afterwards, on this window's thread
//       [this] { progress_->setValue(done_); });   // every kTick while it runs
//
// The window owns its run and destroys it before it goes itself; destroying the run waits for
// the thread (tell the work to stop first), and no call reaches the window after that.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <thread>

class QObject;
class QTimer;

namespace pellucor::shell {

class BackgroundRun {
 public:
  // Milliseconds between two ticks.
  static constexpr int kTick = 50;

  // Starts `work` on a thread of its own. `finished` gets the text of an exception that ended
  // the work (empty when it returned); `tick` (may be empty) runs while the work goes on. Both
  // run on `context`'s thread, never after this run is gone; the run must not outlive
  // `context`.
  BackgroundRun(QObject* context, std::function<void()> work,
                std::function<void(const QString& error)> finished,
                std::function<void()> tick = {});
  ~BackgroundRun();
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  std::unique_ptr<QTimer> timer_;
  std::thread thread_;
};

}  // namespace pellucor::shell
