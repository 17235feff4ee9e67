#include "shell/kit/background_run.hpp"

#include <QMetaObject>
#include <QTimer>
#include <exception>
#include <new>
#include <utility>

namespace pellucor::shell {

// What the worker thread and the queued call share with the run; touched on the window's
// thread only, except `work`, which the worker runs.
struct BackgroundRun::Shared {
  std::function<void()> work;
  std::function<void(const QString&)> finished;
  bool alive = true;  // false once the run is destroyed: the queued call does nothing
};

BackgroundRun::BackgroundRun(QObject* context, std::function<void()> work,
                             std::function<void(const QString& error)> finished,
                             std::function<void()> tick)
    : shared_(std::make_shared<Shared>()) {
  shared_->work = std::move(work);
  shared_->finished = std::move(finished);
  if (tick) {
    timer_ = std::make_unique<QTimer>();
    timer_->setInterval(kTick);
    QObject::connect(timer_.get(), &QTimer::timeout, context, std::move(tick));
    timer_->start();
  }
  thread_ = std::thread([shared = shared_, context] {
    QString error;
    try {
      shared->work();
    } catch (const std::bad_alloc&) {
      error = QStringLiteral("内存不足");
    } catch (const std::exception& e) {
      error = QString::fromUtf8(e.what());
      if (error.isEmpty()) error = QStringLiteral("未知错误");
    } catch (...) {
      error = QStringLiteral("未知错误");
    }
    // The window outlives the thread (its run is destroyed first); the call is queued on the
    // window's thread, and dropped by Qt should the window be gone by the time it is due.
    QMetaObject::invokeMethod(
        context,
        [shared, error] {
          if (shared->alive && shared->finished) shared->finished(error);
        },
        Qt::QueuedConnection);
  });
}

BackgroundRun::~BackgroundRun() {
  shared_->alive = false;
  if (timer_) timer_->stop();
  if (thread_.joinable()) thread_.join();
}

}  // namespace pellucor::shell
