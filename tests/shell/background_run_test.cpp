// The worker runs of the windows: the work on a thread of its own, its end (or the exception
// that ended it) handed to the window's thread, ticks while it runs, and nothing after the run
// is gone.
#include <QObject>
#include <QTest>
#include <QThread>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "shell/kit/background_run.hpp"
#include "shell_fixture.hpp"

using pellucor::shell::BackgroundRun;

class BackgroundRunTest : public QObject {
  Q_OBJECT

 private slots:
  void handsTheEndToTheWindowsThread() {
    QObject window;
    std::atomic<bool> release{false};
    Qt::HANDLE worker = nullptr;
    Qt::HANDLE receiver = nullptr;
    std::optional<QString> error;
    int ticks = 0;
    BackgroundRun run(
        &window,
        [&] {
          worker = QThread::currentThreadId();
          while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        },
        [&](const QString& e) {
          receiver = QThread::currentThreadId();
          error = e;
        },
        [&] {
          // The work goes on until the window has seen two ticks.
          if (++ticks == 2) release = true;
        });
    QTRY_VERIFY_WITH_TIMEOUT(error.has_value(), 10000);
    QCOMPARE(*error, QString());
    QCOMPARE(receiver, QThread::currentThreadId());
    QVERIFY(worker != nullptr && worker != receiver);
    QVERIFY(ticks >= 2);
  }

  void anExceptionReachesTheWindowAsItsText_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("with a text") << 0 << QStringLiteral("第 3 行无法计算");
    QTest::newRow("without one") << 1 << QStringLiteral("未知错误");
  }
  void anExceptionReachesTheWindowAsItsText() {
    QFETCH(int, kind);
    QFETCH(QString, text);
    QObject window;
    std::optional<QString> error;
    BackgroundRun run(
        &window,
        [kind] {
          if (kind == 0) throw std::runtime_error("第 3 行无法计算");
          throw 42;
        },
        [&](const QString& e) { error = e; });
    QTRY_VERIFY_WITH_TIMEOUT(error.has_value(), 10000);
    QCOMPARE(*error, text);
  }

  void nothingArrivesOnceTheRunIsGone() {
    QObject window;
    std::atomic<bool> stop{false};
    std::atomic<bool> started{false};
    bool called = false;
    {
      BackgroundRun run(
          &window,
          [&] {
            started = true;
            while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          },
          [&](const QString&) { called = true; });
      QTRY_VERIFY(started.load());
      stop = true;  // the window tells its work to stop and goes
    }
    // The end was queued by the worker before the run waited for it; it must do nothing.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QVERIFY(!called);
  }
};

PELLUCOR_SHELL_TEST_MAIN(BackgroundRunTest)
#include "background_run_test.moc"
